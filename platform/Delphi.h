// The runtime semantics the program's arithmetic, number texts and file names rely on: rounding,
// truncation, number formatting and parsing, and file-name splitting. A small family in one pair.
// Numbers always use '.' as decimal separator and ',' as thousands separator (C locale).
#pragma once

#include <QString>

#include <QtGlobal>

#include <concepts>
#include <limits>
#include <stdexcept>
#include <type_traits>

// Raised by the strict conversions (StrToInt, StrToFloat, StrToBool) on a text that is not a number.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// --- Integer arithmetic -----------------------------------------------------------------------

// Nearest integer, halves to the even neighbour: Round(0.5) = 0, Round(1.5) = 2, Round(-2.5) = -2.
// Out-of-range values saturate at the type's limits and NaN gives 0, so a huge coordinate never
// turns into undefined behaviour.
int Round(double value);
qint64 Round64(double value);

// Drops the fraction (toward zero), saturating like Round.
int Trunc(double value);
qint64 Trunc64(double value);

// The value without its fraction, still a double: Int(-2.7) = -2.0.
double Int(double value);
// The fraction with the value's sign: Frac(-2.75) = -0.75.
double Frac(double value);

// Integer division truncating toward zero (Delphi's div), in the wider of the two types. A zero
// divisor throws std::domain_error "Division by zero" instead of trapping, and the one overflowing
// quotient (minimum / -1) wraps to the minimum as the processor's plain division would.
template <std::integral A, std::integral B>
std::common_type_t<A, B> Div(A a, B b)
{
    using T = std::common_type_t<A, B>;
    const T x = static_cast<T>(a);
    const T y = static_cast<T>(b);
    if (y == 0)
        throw std::domain_error("Division by zero");
    if constexpr (std::is_signed_v<T>) {
        if (y == T(-1))
            return static_cast<T>(std::make_unsigned_t<T>(0) - static_cast<std::make_unsigned_t<T>>(x));
    }
    return x / y;
}

// a * b / c with a 64-bit product, rounded half away from zero. Returns -1 when c is 0 or the
// result does not fit in 32 bits (-2147483648 counts as not fitting).
int MulDiv(int a, int b, int c);

// --- Numbers to text --------------------------------------------------------------------------

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber };

// Decimal digits are taken from the value's 15-significant-digit form (more when precision asks
// for up to 17) and then rounded half away from zero, so 2.675 with two decimals gives "2.68".
// A result that rounds to zero carries no minus sign.
//
// ffGeneral: at most `precision` significant digits, trailing zeros dropped; fixed notation while
//   the integer part has at most `precision` digits and the value is at least 0.0001, otherwise
//   "d.dddE-n" with at least `digits` (0..4) exponent digits and no '+' ("1E20", "1.5E-7").
// ffExponent: "d.ddd...E+nn" with exactly `precision` significant digits and at least `digits`
//   (0..4) exponent digits; the exponent always has a sign.
// ffFixed: the value rounded to `precision` significant digits but no more than `digits` (0..18)
//   decimals, then padded with zeros to `digits` decimals: (123.456, 4, 3) gives "123.500". When
//   the integer part needs more than `precision` digits the result is the ffGeneral form with
//   exponent digits 0: (12345.6, 4, 2) gives "1.235E4".
// ffNumber: ffFixed with ',' between groups of three integer digits.
// NaN and infinities give "NAN", "INF" and "-INF". Precision is clamped to 1..18.
QString FloatToStrF(double value, TFloatFormat format, int precision, int digits);

// ffGeneral with 15 significant digits: 0.1 + 0.2 gives "0.3", 1e20 gives "1E20".
QString FloatToStr(double value);

// Formats by a picture of up to three sections "positive;negative;zero":
//   '0' a digit always shown, '#' a digit shown when significant, '.' the decimal point (shown only
//   when decimals follow), ',' anywhere among the digits groups the integer part by thousands,
//   "E+0"/"E-0" (or e) scientific notation with at least as many exponent digits as '0's ('+'
//   always shows the sign, '-' only a minus), text in '...' or "..." and any other character is
//   copied as it is. Rounds half away from zero on the decimal digits: FormatFloat("0", 0.5) = "1".
// A negative value without a negative section gets a leading '-'; an empty format is FloatToStr.
QString FormatFloat(const QString& format, double value);

template <std::integral T>
QString IntToStr(T value)
{
    return QString::number(value);
}

// "-1" and "0" (useBoolStrs false), or "True" and "False".
QString BoolToStr(bool value, bool useBoolStrs = false);

// --- Text to numbers --------------------------------------------------------------------------

// Accepts leading blanks, an optional sign, then decimal digits or '$' / "0x" and hexadecimal
// digits, and nothing after them. Hexadecimal covers the full 32 bits ("$FFFFFFFF" is -1);
// decimal must fit in an int.
bool TryStrToInt(const QString& text, int& value);
int StrToIntDef(const QString& text, int defaultValue);
// Throws EConvertError "'<text>' is not a valid integer value".
int StrToInt(const QString& text);

// Accepts blanks around an optional sign, digits with an optional '.' fraction and an optional
// exponent (E or e); no thousands separators, no "INF" or "NAN".
bool TryStrToFloat(const QString& text, double& value);
double StrToFloatDef(const QString& text, double defaultValue);
// Throws EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(const QString& text);

// A number (non-zero is true) or "True"/"False" in any letter case.
bool TryStrToBool(const QString& text, bool& value);
bool StrToBoolDef(const QString& text, bool defaultValue);
// Throws EConvertError "'<text>' is not a valid boolean value".
bool StrToBool(const QString& text);

// --- File names -------------------------------------------------------------------------------
// Both '\' and '/' delimit folders, so names from older project files written on Windows split
// the same way as our own.

// "C:\data\core.jpg" -> "core.jpg".
QString ExtractFileName(const QString& fileName);
// The folder with its trailing delimiter: "/data/core.jpg" -> "/data/"; "" without a folder.
QString ExtractFilePath(const QString& fileName);
// The folder without its trailing delimiter, except for a root: "/data/a" -> "/data", "/a" -> "/".
QString ExtractFileDir(const QString& fileName);
// The extension with its dot, or "": "core.tar.gz" -> ".gz", "/a.b/core" -> "".
QString ExtractFileExt(const QString& fileName);
// Replaces the extension (or appends one); extension comes with its dot, "" removes it.
QString ChangeFileExt(const QString& fileName, const QString& extension);
// Adds '/' unless the text already ends in '/' or '\'.
QString IncludeTrailingPathDelimiter(const QString& path);
// Removes one trailing '/' or '\'.
QString ExcludeTrailingPathDelimiter(const QString& path);

// Equal without regard to letter case.
bool SameText(const QString& a, const QString& b);
