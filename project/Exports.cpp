// Text of the ring-width and coordinate exports.
#include "project/Exports.h"

#include "platform/Delphi.h"
#include "project/Helpers.h"
#include "project/PathDistances.h"
#include "project/TJEXObject.h"
#include "project/TMeasurementData.h"

#include <memory>
#include <vector>

namespace {

const QString kSpace = QStringLiteral(" ");

// Numbers longer than the field are written whole, so the field only ever grows.
QString rightAligned(int value, int width, QChar fill = QLatin1Char(' '))
{
    return QString::number(value).rightJustified(width, fill);
}

} // namespace

QVector<RingValue> ringValues(TPath& path, int units, int dpi)
{
    RecomputeDistances(&path);
    std::vector<std::unique_ptr<TMeasurementData>> records;
    CollectMeasurementData(path, records, [units, dpi](double pixels) { return PixelsToUnit(pixels, units, dpi); });
    QVector<RingValue> values;
    values.reserve(qsizetype(records.size()));
    for (const auto& r : records)
        values.append(RingValue{r->UnitDistance, r->Info, 0.0});
    // The records hold rounded values only; walk the points in the same order for the exact ones.
    qsizetype i = 0;
    for (const auto& index : path.ObjectList)
        for (const auto& point : index->ObjectList)
            if (i < values.size())
                values[i++].exact = PixelsToUnit(point->distance, units, dpi);
    return values;
}

QVector<int> widthsOf(const QVector<RingValue>& values)
{
    QVector<int> widths;
    widths.reserve(values.size());
    for (const RingValue& v : values)
        widths.append(v.width);
    return widths;
}

QVector<double> exactWidthsOf(const QVector<RingValue>& values)
{
    QVector<double> widths;
    widths.reserve(values.size());
    for (const RingValue& v : values)
        widths.append(v.exact);
    return widths;
}

QStringList heidelbergLines(const HeidelbergHeader& header, const QVector<RingValue>& values)
{
    QStringList lines;
    lines << QStringLiteral("HEADER:");
    lines << QStringLiteral("Keycode=") + header.keycode;
    if (!header.species.isEmpty())
        lines << QStringLiteral("Species=") + header.species;
    if (!header.location.isEmpty())
        lines << QStringLiteral("Location=") + header.location;
    if (!header.comment.isEmpty())
        lines << QStringLiteral("Comment=") + header.comment;
    const qsizetype n = values.size();
    lines << QStringLiteral("Length=") + QString::number(n);
    lines << QStringLiteral("DATA:Tree");

    // `a <= n`, not `a < n`: a count that is a multiple of ten gets a closing line of ten 0.
    for (qsizetype a = 0; a <= n; a += 10) {
        const qsizetype end = qMin(a + 10, n);
        bool commented = false;
        for (qsizetype i = a; i < end; ++i)
            commented = commented || !values[i].info.isEmpty();
        if (commented) {
            for (qsizetype i = a; i < end; ++i) {
                QString line = QStringLiteral("   ") + rightAligned(values[i].width, 3);
                if (!values[i].info.isEmpty())
                    line += QStringLiteral(";;") + values[i].info;
                lines << line;
            }
        } else {
            QString line;
            for (qsizetype i = a; i < a + 10; ++i)
                line += QStringLiteral("   ") + rightAligned(i < n ? values[i].width : 0, 3);
            lines << line;
        }
    }
    return lines;
}

QString tucsonIdentifier(const QString& prefix, int k)
{
    const QString number = QString::number(k);
    const qsizetype room = qMax<qsizetype>(0, 6 - number.size());
    return prefix.left(room).leftJustified(room, QLatin1Char('0')) + number;
}

QStringList tucsonLines(const QString& identifier, const QVector<int>& widths)
{
    const QString marker = QStringLiteral("   999");
    auto lineStart = [&identifier](qsizetype firstRing) {
        return identifier + kSpace + kSpace + rightAligned(int(firstRing), 4, QLatin1Char('0'));
    };
    QStringList lines;
    const qsizetype n = widths.size();
    for (qsizetype a = 0; a < n; a += 10) {
        QString line = lineStart(a);
        const qsizetype end = qMin(a + 10, n);
        for (qsizetype i = a; i < end; ++i)
            line += rightAligned(widths[i], 6);
        if (end == n && end - a < 10)
            line += marker;
        lines << line;
    }
    // A full last line (or no values at all) leaves the marker for a line of its own.
    if (n % 10 == 0)
        lines << lineStart(n) + marker;
    return lines;
}

int asciiDecimals(int units)
{
    static constexpr int decimals[8] = {3, 2, 1, 0, 4, 3, 2, 0}; // cm, mm, 1/10 mm, 1/100 mm, inch, ...
    return units >= 0 && units < 8 ? decimals[units] : 0;
}

QString asciiNumber(double value, int decimals)
{
    if (decimals <= 0)
        return QString::number(Round(value));
    // QString::number ignores the locale: always a point.
    return QString::number(value, 'f', decimals);
}

QStringList asciiLines(const QString& name, const QVector<double>& widths, const AsciiOptions& options)
{
    QStringList lines;
    lines << name;
    const int perLine = qMax(1, options.valuesPerLine);
    QString line;
    int onLine = 0;
    for (double w : widths) {
        const QString number = asciiNumber(w, options.decimals);
        line += options.fillLength > 0 ? number.rightJustified(options.fillLength, options.fill) : number;
        if (perLine > 1)
            line += options.separator;
        if (++onLine == perLine) {
            lines << line;
            line.clear();
            onLine = 0;
        }
    }
    if (onLine > 0)
        lines << line;
    return lines;
}

QString coordinateHeaderLine(const QString& separator)
{
    const QString& s = separator;
    return QStringLiteral("Type") + s + QStringLiteral("X") + s + QStringLiteral("Y") + s + QStringLiteral("Comment");
}

QStringList coordinateLines(const TPath& path, const CoordinateOptions& options)
{
    const QString& s = options.separator;
    auto pointLine = [&s](const char* type, const TJEXObject& o) {
        return QLatin1String(type) + s + QString::number(o.Pos.x()) + s + QString::number(o.Pos.y()) + s + o.Comment;
    };
    QStringList lines;
    lines << (options.includePathName ? path.Name : QString());
    for (const auto& index : path.ObjectList) {
        if (options.indexPoints)
            lines << pointLine("I", *index);
        if (options.measurementPoints)
            for (const auto& m : index->ObjectList)
                lines << pointLine("M", *m);
    }
    return lines;
}

QStringList separatorEntries()
{
    return {QStringLiteral("TAB (ASCII Code 9)"), QStringLiteral("SPC (ASCII Code 32)"),
            QStringLiteral("COMMA (ASCII Code 44)"), QStringLiteral("NULLSTRING")};
}

QString separatorOf(int entryIndex)
{
    switch (entryIndex) {
    case 0:
        return QStringLiteral("\t");
    case 2:
        return QStringLiteral(",");
    case 3:
        return QString();
    default:
        return kSpace;
    }
}

QStringList fillEntries()
{
    return {QStringLiteral("SPC (ASCII Code 32)"), QStringLiteral("ZERO (ASCII Code 48)")};
}

QChar fillOf(int entryIndex)
{
    return entryIndex == 1 ? QLatin1Char('0') : QLatin1Char(' ');
}

QStringList speciesCodes()
{
    return QStringLiteral(
               "ABAL ABAM ABBO ABCE ABCO ABLA ABMA ABNO ABPI ABPN ABPR ABSB ABSP ACSH ADHO ADUS AGAU ARAR ATCU "
               "ATSE AUCH CDBR CDLI CEAN CESP CMJA DABI DACO FAGR FICU FREX FRNI JGAU JUOC JUSC JUSP JUVI LADE "
               "LAGM LALA LALY LAOC LASI LIBI NOBE NODO NOGU NOME NOPB NOPD NOPU NOSO PCAB PCEN PCEX PCGL PCMA "
               "PCOM PCOR PCPU PCRU PCSI PHAL PHAS PHGL PHTR PIAL PIAR PIBA PIBN PIBR PICE PICM PICO PIEC PIED "
               "PIFL PIHA PIJE PILA PILE PILO PIMO PIMU PINI PIPE PIPI PIPN PIPO PIRE PIRI PISF PISP PIST PISY "
               "PLUV PSMA PSME QUAL QULY QUMA QUPE QUPR QURO QURU QUSP QUST QUVE TADI THOC THPL TSCA TSCR TSHE "
               "TSME WICE")
        .split(QLatin1Char(' '));
}
