// Number texts are built from a decimal digit string (value = 0.d1d2... x 10^exponent) so that
// rounding happens on decimal digits, half away from zero, as the program's texts expect.
#include "platform/Delphi.h"

#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

EConvertError::EConvertError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

// --- Integer arithmetic -----------------------------------------------------------------------

namespace {

template <typename T>
T saturate(double value)
{
    if (std::isnan(value))
        return 0;
    // Both limits are exact as doubles for int; for 64 bits the upper one rounds up to 2^63.
    constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<T>::max());
    if (value <= lo)
        return std::numeric_limits<T>::min();
    if (value >= hi)
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

} // namespace

int Round(double value)
{
    return saturate<int>(std::nearbyint(value));
}

qint64 Round64(double value)
{
    return saturate<qint64>(std::nearbyint(value));
}

int Trunc(double value)
{
    return saturate<int>(std::trunc(value));
}

qint64 Trunc64(double value)
{
    return saturate<qint64>(std::trunc(value));
}

double Int(double value)
{
    return std::trunc(value);
}

double Frac(double value)
{
    return value - std::trunc(value);
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    qint64 product = static_cast<qint64>(a) * b;
    qint64 divisor = c;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    // Adding half the divisor before the truncating division rounds halves away from zero.
    const qint64 half = divisor / 2;
    const qint64 result = (product >= 0 ? product + half : product - half) / divisor;
    if (result > 2147483647 || result < -2147483647)
        return -1;
    return static_cast<int>(result);
}

// --- Decimal digits -----------------------------------------------------------------------------

namespace {

struct Decimal {
    bool negative = false;
    QByteArray digits; // no leading or trailing zeros; empty for zero
    int exponent = 0;  // value = 0.digits x 10^exponent
    bool isZero() const { return digits.isEmpty(); }
};

void stripTrailingZeros(Decimal& d)
{
    while (!d.digits.isEmpty() && d.digits.back() == '0')
        d.digits.chop(1);
}

// The value with `significant` (1..17) digits, correctly rounded. Not printf: its decimal mark
// follows the process's locale, and under a decimal comma the comma would end up among the digits.
Decimal toDecimal(double value, int significant)
{
    Decimal d;
    d.negative = std::signbit(value);
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf - 1, std::fabs(value), std::chars_format::scientific,
                                         significant - 1);
    Q_ASSERT(ec == std::errc());
    *end = '\0';
    const char* e = std::strchr(buf, 'e');
    for (const char* p = buf; p < e; ++p) {
        if (*p != '.')
            d.digits.append(*p);
    }
    d.exponent = std::atoi(e + 1) + 1;
    stripTrailingZeros(d);
    if (d.digits.startsWith('0')) // only for zero: "0.000e+00"
        d.digits.clear();
    return d;
}

// The digits the conversion starts from: 15 hide the binary noise of a double (2.675 stays
// 2.67500...), more are used only when the caller asks for them.
int baseDigits(int precision)
{
    return precision <= 15 ? 15 : std::min(precision, 17);
}

// Keeps `count` significant digits, rounding half away from zero; count <= 0 rounds at (or above)
// the first digit.
void roundDigits(Decimal& d, int count)
{
    if (d.isZero() || count >= d.digits.size())
        return;
    if (count < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[count] >= '5';
    d.digits.truncate(count);
    if (up) {
        int i = count - 1;
        while (i >= 0 && d.digits[i] == '9') {
            d.digits[i] = '0';
            --i;
        }
        if (i >= 0) {
            d.digits[i] = static_cast<char>(d.digits[i] + 1);
        } else {
            d.digits = "1";
            ++d.exponent;
        }
    }
    stripTrailingZeros(d);
}

QChar digitAt(const Decimal& d, int index)
{
    return index >= 0 && index < d.digits.size() ? QChar::fromLatin1(d.digits[index]) : QLatin1Char('0');
}

QString exponentText(int exponent, bool alwaysSign, int minDigits)
{
    QString s = QString::number(std::abs(exponent));
    if (s.size() < minDigits)
        s.prepend(QString(minDigits - s.size(), QLatin1Char('0')));
    if (exponent < 0)
        s.prepend(QLatin1Char('-'));
    else if (alwaysSign)
        s.prepend(QLatin1Char('+'));
    return s;
}

QString withSign(const Decimal& d, QString text)
{
    if (d.negative && !d.isZero())
        text.prepend(QLatin1Char('-'));
    return text;
}

// Digits already rounded to the wanted precision; trailing zeros are not shown.
QString generalText(const Decimal& d, int precision, int expDigits)
{
    if (d.isZero())
        return QStringLiteral("0");
    QString s;
    if (d.exponent > precision || d.exponent < -3) {
        s += QChar::fromLatin1(d.digits[0]);
        if (d.digits.size() > 1)
            s += QLatin1Char('.') + QString::fromLatin1(d.digits.mid(1));
        s += QLatin1Char('E') + exponentText(d.exponent - 1, false, expDigits);
    } else if (d.exponent <= 0) {
        s = QStringLiteral("0.") + QString(-d.exponent, QLatin1Char('0')) + QString::fromLatin1(d.digits);
    } else {
        for (int i = 0; i < d.exponent; ++i)
            s += digitAt(d, i);
        if (d.digits.size() > d.exponent)
            s += QLatin1Char('.') + QString::fromLatin1(d.digits.mid(d.exponent));
    }
    return withSign(d, s);
}

QString groupThousands(const QString& integer)
{
    QString s;
    const int n = integer.size();
    for (int i = 0; i < n; ++i) {
        s += integer[i];
        const int left = n - 1 - i;
        if (left > 0 && left % 3 == 0)
            s += QLatin1Char(',');
    }
    return s;
}

QString fixedText(const Decimal& d, int decimals, bool thousands)
{
    QString integer;
    if (d.isZero() || d.exponent <= 0) {
        integer = QStringLiteral("0");
    } else {
        for (int i = 0; i < d.exponent; ++i)
            integer += digitAt(d, i);
    }
    QString s = thousands ? groupThousands(integer) : integer;
    if (decimals > 0) {
        s += QLatin1Char('.');
        for (int i = 0; i < decimals; ++i)
            s += d.isZero() ? QLatin1Char('0') : digitAt(d, d.exponent + i);
    }
    return withSign(d, s);
}

QString exponentFormText(const Decimal& d, int precision, int expDigits)
{
    QString s;
    s += d.isZero() ? QLatin1Char('0') : digitAt(d, 0);
    if (precision > 1) {
        s += QLatin1Char('.');
        for (int i = 1; i < precision; ++i)
            s += digitAt(d, i);
    }
    s += QLatin1Char('E') + exponentText(d.isZero() ? 0 : d.exponent - 1, true, expDigits);
    return withSign(d, s);
}

} // namespace

// --- Numbers to text --------------------------------------------------------------------------

QString FloatToStrF(double value, TFloatFormat format, int precision, int digits)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    precision = std::clamp(precision, 1, 18);
    Decimal d = toDecimal(value, baseDigits(precision));
    switch (format) {
    case ffGeneral:
        roundDigits(d, precision);
        return generalText(d, precision, std::clamp(digits, 0, 4));
    case ffExponent:
        roundDigits(d, precision);
        return exponentFormText(d, precision, std::clamp(digits, 0, 4));
    case ffFixed:
    case ffNumber:
        digits = std::clamp(digits, 0, 18);
        roundDigits(d, std::min(precision, d.exponent + digits));
        if (!d.isZero() && d.exponent > precision)
            return generalText(d, precision, 0);
        return fixedText(d, digits, format == ffNumber);
    }
    return QString();
}

QString FloatToStr(double value)
{
    return FloatToStrF(value, ffGeneral, 15, 0);
}

namespace {

// One section of a FormatFloat picture, as far as the digits are concerned.
struct Picture {
    int placeholders = 0;  // '0' and '#' outside the exponent
    int decimalIndex = -1; // placeholders before the first '.'
    int firstZero = -1;    // index of the first '0' placeholder
    int lastZeroEnd = 0;   // index after the last '0' placeholder
    bool thousands = false;
    bool scientific = false;
};

// Index after a quoted run starting at i (the quote itself at i).
int skipQuoted(const QString& s, int i)
{
    const QChar quote = s[i];
    ++i;
    while (i < s.size() && s[i] != quote)
        ++i;
    return std::min<int>(i + 1, s.size());
}

QStringList splitSections(const QString& format)
{
    QStringList sections;
    int start = 0;
    for (int i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            i = skipQuoted(format, i);
        } else if (c == QLatin1Char(';')) {
            sections << format.mid(start, i - start);
            start = ++i;
        } else {
            ++i;
        }
    }
    sections << format.mid(start);
    return sections;
}

bool isExponentAt(const QString& s, int i)
{
    return (s[i] == QLatin1Char('E') || s[i] == QLatin1Char('e')) && i + 1 < s.size()
        && (s[i + 1] == QLatin1Char('+') || s[i + 1] == QLatin1Char('-'));
}

Picture parsePicture(const QString& s)
{
    Picture p;
    for (int i = 0; i < s.size();) {
        const QChar c = s[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            i = skipQuoted(s, i);
            continue;
        }
        if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            if (c == QLatin1Char('0')) {
                if (p.firstZero < 0)
                    p.firstZero = p.placeholders;
                p.lastZeroEnd = p.placeholders + 1;
            }
            ++p.placeholders;
        } else if (c == QLatin1Char('.')) {
            if (p.decimalIndex < 0)
                p.decimalIndex = p.placeholders;
        } else if (c == QLatin1Char(',')) {
            p.thousands = true;
        } else if (isExponentAt(s, i)) {
            p.scientific = true;
            i += 2;
            while (i < s.size() && s[i] == QLatin1Char('0'))
                ++i;
            continue;
        }
        ++i;
    }
    if (p.decimalIndex < 0)
        p.decimalIndex = p.placeholders;
    return p;
}

QString formatSection(const QString& section, double magnitude, bool minus)
{
    const Picture p = parsePicture(section);
    const int minInt = p.firstZero >= 0 && p.firstZero < p.decimalIndex ? p.decimalIndex - p.firstZero : 0;
    const int maxFrac = p.placeholders - p.decimalIndex;
    const int minFrac = std::max(0, p.lastZeroEnd - p.decimalIndex);

    QString intDigits;
    QString fracDigits;
    int exponent = 0;
    if (p.scientific) {
        const int precision = std::clamp(p.placeholders, 1, 18);
        Decimal d = toDecimal(magnitude, baseDigits(precision));
        roundDigits(d, precision);
        if (d.isZero()) {
            intDigits = QStringLiteral("0");
            fracDigits = QString(maxFrac, QLatin1Char('0'));
        } else {
            exponent = d.exponent - p.decimalIndex;
            for (int i = 0; i < p.decimalIndex; ++i)
                intDigits += digitAt(d, i);
            for (int i = 0; i < maxFrac; ++i)
                fracDigits += digitAt(d, p.decimalIndex + i);
        }
    } else {
        Decimal d = toDecimal(magnitude, 15);
        roundDigits(d, d.exponent + maxFrac);
        for (int i = 0; !d.isZero() && i < d.exponent; ++i)
            intDigits += digitAt(d, i);
        for (int i = 0; i < maxFrac; ++i)
            fracDigits += d.isZero() ? QLatin1Char('0') : digitAt(d, d.exponent + i);
    }
    if (intDigits.size() < minInt)
        intDigits.prepend(QString(minInt - intDigits.size(), QLatin1Char('0')));
    while (fracDigits.size() > minFrac && fracDigits.endsWith(QLatin1Char('0')))
        fracDigits.chop(1);

    const bool group = p.thousands && !p.scientific;
    QString out;
    // An integer digit at `pos` places left of the point, with the group separator after it.
    auto putIntDigit = [&](int pos) {
        if (pos > intDigits.size())
            return;
        out += intDigits[intDigits.size() - pos];
        if (group && pos > 1 && (pos - 1) % 3 == 0)
            out += QLatin1Char(',');
    };
    int placeholder = 0;
    bool pointDone = false;
    for (int i = 0; i < section.size();) {
        const QChar c = section[i];
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const int end = skipQuoted(section, i);
            const int closing = (end - 1 > i && section[end - 1] == c) ? end - 1 : end;
            out += section.mid(i + 1, closing - i - 1);
            i = end;
            continue;
        }
        if (c == QLatin1Char('0') || c == QLatin1Char('#')) {
            if (placeholder < p.decimalIndex) {
                const int pos = p.decimalIndex - placeholder;
                if (placeholder == 0) {
                    for (int extra = intDigits.size(); extra > pos; --extra)
                        putIntDigit(extra);
                }
                putIntDigit(pos);
            } else {
                const int j = placeholder - p.decimalIndex;
                if (j < fracDigits.size())
                    out += fracDigits[j];
            }
            ++placeholder;
        } else if (c == QLatin1Char('.')) {
            if (!pointDone && !fracDigits.isEmpty())
                out += QLatin1Char('.');
            pointDone = true;
        } else if (c == QLatin1Char(',')) {
            // a flag, not a character of the result
        } else if (p.scientific && isExponentAt(section, i)) {
            const bool plus = section[i + 1] == QLatin1Char('+');
            out += c;
            i += 2;
            int zeros = 0;
            while (i < section.size() && section[i] == QLatin1Char('0')) {
                ++zeros;
                ++i;
            }
            out += exponentText(exponent, plus, zeros);
            continue;
        } else {
            out += c;
        }
        ++i;
    }
    if (minus)
        out.prepend(QLatin1Char('-'));
    return out;
}

bool roundsToZero(const QString& section, double magnitude)
{
    const Picture p = parsePicture(section);
    if (p.scientific)
        return magnitude == 0.0;
    Decimal d = toDecimal(magnitude, 15);
    roundDigits(d, d.exponent + p.placeholders - p.decimalIndex);
    return d.isZero();
}

} // namespace

QString FormatFloat(const QString& format, double value)
{
    if (format.isEmpty() || std::isnan(value) || std::isinf(value))
        return FloatToStr(value);
    const QStringList sections = splitSections(format);
    auto section = [&](int i) { return i < sections.size() ? sections[i] : QString(); };
    const double magnitude = std::fabs(value);

    // The zero section also takes values that round to zero, and those never carry a sign.
    if (value == 0.0 || roundsToZero(section(value < 0 && !section(1).isEmpty() ? 1 : 0), magnitude)) {
        if (!section(2).isEmpty())
            return formatSection(section(2), 0.0, false);
        return formatSection(section(0), 0.0, false);
    }
    // Beyond 18 integer digits the picture cannot hold the number.
    if (magnitude >= 1e18 && !parsePicture(section(0)).scientific)
        return FloatToStr(value);
    if (value < 0) {
        if (!section(1).isEmpty())
            return formatSection(section(1), magnitude, false);
        return formatSection(section(0), magnitude, true);
    }
    return formatSection(section(0), magnitude, false);
}

QString BoolToStr(bool value, bool useBoolStrs)
{
    if (useBoolStrs)
        return value ? QStringLiteral("True") : QStringLiteral("False");
    return value ? QStringLiteral("-1") : QStringLiteral("0");
}

// --- Text to numbers --------------------------------------------------------------------------

namespace {

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

} // namespace

bool TryStrToInt(const QString& text, int& value)
{
    int i = 0;
    const int n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n && text[i] == QLatin1Char('$')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') && (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return false;
    quint64 magnitude = 0;
    const quint64 limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    for (; i < n; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0 || (!hex && digit > 9))
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + digit;
        if (magnitude > limit)
            return false;
    }
    // Hexadecimal gives the 32-bit pattern: "$FFFFFFFF" is -1.
    const auto bits = static_cast<quint32>(magnitude);
    const quint32 result = negative ? 0u - bits : bits;
    value = static_cast<int>(result);
    return true;
}

int StrToIntDef(const QString& text, int defaultValue)
{
    int value;
    return TryStrToInt(text, value) ? value : defaultValue;
}

int StrToInt(const QString& text)
{
    int value;
    if (!TryStrToInt(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

bool TryStrToFloat(const QString& text, double& value)
{
    const QString t = text.trimmed();
    int i = 0;
    const int n = t.size();
    auto isDigit = [&](int k) { return k < n && t[k] >= QLatin1Char('0') && t[k] <= QLatin1Char('9'); };
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        ++i;
    int mantissaDigits = 0;
    while (isDigit(i)) {
        ++i;
        ++mantissaDigits;
    }
    if (i < n && t[i] == QLatin1Char('.')) {
        ++i;
        while (isDigit(i)) {
            ++i;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (i < n && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
            ++i;
        if (!isDigit(i))
            return false;
        while (isDigit(i))
            ++i;
    }
    if (i != n)
        return false;
    QByteArray bytes = t.toLatin1();
    if (bytes.startsWith('+'))
        bytes.remove(0, 1);
    double parsed = 0;
    const auto [end, ec] = std::from_chars(bytes.constData(), bytes.constData() + bytes.size(), parsed);
    if (ec != std::errc() || end != bytes.constData() + bytes.size() || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

double StrToFloatDef(const QString& text, double defaultValue)
{
    double value;
    return TryStrToFloat(text, value) ? value : defaultValue;
}

double StrToFloat(const QString& text)
{
    double value;
    if (!TryStrToFloat(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}

bool TryStrToBool(const QString& text, bool& value)
{
    double number;
    if (TryStrToFloat(text, number)) {
        value = number != 0.0;
        return true;
    }
    if (SameText(text, QStringLiteral("True"))) {
        value = true;
        return true;
    }
    if (SameText(text, QStringLiteral("False"))) {
        value = false;
        return true;
    }
    return false;
}

bool StrToBoolDef(const QString& text, bool defaultValue)
{
    bool value;
    return TryStrToBool(text, value) ? value : defaultValue;
}

bool StrToBool(const QString& text)
{
    bool value;
    if (!TryStrToBool(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(text));
    return value;
}

// --- File names -------------------------------------------------------------------------------

namespace {

bool isDelimiter(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
}

int lastDelimiter(const QString& s)
{
    for (int i = s.size() - 1; i >= 0; --i) {
        if (isDelimiter(s[i]))
            return i;
    }
    return -1;
}

// Index of the extension's dot, or -1.
int extensionDot(const QString& s)
{
    for (int i = s.size() - 1; i >= 0; --i) {
        if (s[i] == QLatin1Char('.'))
            return i;
        if (isDelimiter(s[i]))
            return -1;
    }
    return -1;
}

} // namespace

QString ExtractFileName(const QString& fileName)
{
    return fileName.mid(lastDelimiter(fileName) + 1);
}

QString ExtractFilePath(const QString& fileName)
{
    return fileName.left(lastDelimiter(fileName) + 1);
}

QString ExtractFileDir(const QString& fileName)
{
    const int i = lastDelimiter(fileName);
    if (i < 0)
        return QString();
    // A root keeps its delimiter: "/", "C:\".
    if (i == 0 || isDelimiter(fileName[i - 1]) || fileName[i - 1] == QLatin1Char(':'))
        return fileName.left(i + 1);
    return fileName.left(i);
}

QString ExtractFileExt(const QString& fileName)
{
    const int dot = extensionDot(fileName);
    return dot < 0 ? QString() : fileName.mid(dot);
}

QString ChangeFileExt(const QString& fileName, const QString& extension)
{
    const int dot = extensionDot(fileName);
    return (dot < 0 ? fileName : fileName.left(dot)) + extension;
}

QString IncludeTrailingPathDelimiter(const QString& path)
{
    if (!path.isEmpty() && isDelimiter(path.back()))
        return path;
    return path + QLatin1Char('/');
}

QString ExcludeTrailingPathDelimiter(const QString& path)
{
    if (!path.isEmpty() && isDelimiter(path.back()))
        return path.left(path.size() - 1);
    return path;
}

bool SameText(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
