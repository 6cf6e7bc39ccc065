// Export writers: every layout is read back by a reader written here from the formats' layouts,
// value for value, and the exact bytes of the documented cases are checked.
#include "project/Exports.h"

#include "platform/Delphi.h"
#include "project/JEX4_Objects.h"
#include "project/PathDistances.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

// Widths with short, three-digit, four- and five-digit numbers, so fields that grow are covered.
QVector<int> sampleWidths(int n)
{
    static const int pool[] = {7, 123, 45, 999, 1234, 0, 88, 56789, 301, 12, 5, 640, 9, 77, 1000};
    QVector<int> widths;
    for (int i = 0; i < n; ++i)
        widths << pool[(i * 7 + n) % int(std::size(pool))];
    return widths;
}

QVector<RingValue> withComments(const QVector<int>& widths, const QList<int>& commented)
{
    QVector<RingValue> values;
    for (int i = 0; i < widths.size(); ++i)
        values << RingValue{widths[i], commented.contains(i) ? QStringLiteral("false ring %1").arg(i) : QString()};
    return values;
}

// --- Heidelberg reader: key=value header lines up to "DATA:Tree", then data lines. A data line
// with ";;" carries one value and its comment; any other carries ten blank-separated values.
struct Heidelberg {
    QMap<QString, QString> header;
    QStringList keys; // in file order
    QVector<int> values;
    QMap<int, QString> comments;
    int dataLines = 0;
};

std::optional<Heidelberg> readHeidelberg(const QStringList& lines, QString& why)
{
    Heidelberg h;
    int i = 0;
    if (lines.value(i++) != QLatin1String("HEADER:")) {
        why = QStringLiteral("no HEADER: line");
        return std::nullopt;
    }
    for (; i < lines.size() && lines[i] != QLatin1String("DATA:Tree"); ++i) {
        const qsizetype eq = lines[i].indexOf(QLatin1Char('='));
        if (eq <= 0) {
            why = QStringLiteral("header line without key: ") + lines[i];
            return std::nullopt;
        }
        h.keys << lines[i].left(eq);
        h.header[lines[i].left(eq)] = lines[i].mid(eq + 1);
    }
    if (i == lines.size()) {
        why = QStringLiteral("no DATA:Tree line");
        return std::nullopt;
    }
    for (++i; i < lines.size(); ++i) {
        const QString& line = lines[i];
        ++h.dataLines;
        const qsizetype semi = line.indexOf(QStringLiteral(";;"));
        const QString numbers = semi < 0 ? line : line.left(semi);
        // Every field starts with at least three blanks, so fields stay apart however wide they grow.
        static const QRegularExpression field(QStringLiteral("^ {3,}(\\d+)"));
        QString rest = numbers;
        QVector<int> onLine;
        while (!rest.isEmpty()) {
            const auto m = field.match(rest);
            if (!m.hasMatch()) {
                why = QStringLiteral("bad field in: ") + line;
                return std::nullopt;
            }
            onLine << m.captured(1).toInt();
            rest = rest.mid(m.capturedLength());
        }
        if (semi >= 0 && onLine.size() != 1) {
            why = QStringLiteral("comment line with %1 values").arg(onLine.size());
            return std::nullopt;
        }
        if (semi >= 0)
            h.comments[int(h.values.size())] = line.mid(semi + 2);
        h.values += onLine;
    }
    return h;
}

struct HeidelbergRow {
    int n;
    QList<int> commented;
    const char* species;
    const char* location;
    const char* comment;
};

TEST(HeidelbergExport, ReadsBackValueForValue)
{
    const HeidelbergRow rows[] = {
        {0, {}, "", "", ""},         {3, {}, "QURO", "", ""},          {10, {}, "", "Hainich", ""},
        {13, {}, "PCAB", "Harz", "core A"}, {20, {}, "", "", "two blocks"}, {25, {}, "", "", ""},
        {13, {0}, "", "", ""},       {25, {10, 24}, "FASY", "", ""},   {20, {19}, "", "", ""},
    };
    for (const HeidelbergRow& r : rows) {
        const QVector<int> widths = sampleWidths(r.n);
        HeidelbergHeader header;
        header.keycode = QStringLiteral("K-Path 1");
        header.species = QString::fromLatin1(r.species);
        header.location = QString::fromLatin1(r.location);
        header.comment = QString::fromLatin1(r.comment);
        const QStringList lines = heidelbergLines(header, withComments(widths, r.commented));
        const std::string what = "n=" + std::to_string(r.n) + " comments=" + std::to_string(r.commented.size());

        QString why;
        const std::optional<Heidelberg> h = readHeidelberg(lines, why);
        ASSERT_TRUE(h) << what << ": " << why.toStdString();

        QStringList expectedKeys = {QStringLiteral("Keycode")};
        if (*r.species)
            expectedKeys << QStringLiteral("Species");
        if (*r.location)
            expectedKeys << QStringLiteral("Location");
        if (*r.comment)
            expectedKeys << QStringLiteral("Comment");
        expectedKeys << QStringLiteral("Length");
        EXPECT_EQ(h->keys, expectedKeys) << what;
        EXPECT_EQ(h->header.value(QStringLiteral("Keycode")), header.keycode) << what;
        EXPECT_EQ(h->header.value(QStringLiteral("Species")), header.species) << what;
        EXPECT_EQ(h->header.value(QStringLiteral("Location")), header.location) << what;
        EXPECT_EQ(h->header.value(QStringLiteral("Comment")), header.comment) << what;
        const int length = h->header.value(QStringLiteral("Length")).toInt();
        ASSERT_EQ(length, r.n) << what;

        // The first Length values are the series; what follows is padding of 0.
        ASSERT_GE(h->values.size(), length) << what;
        EXPECT_EQ(h->values.mid(0, length), widths) << what;
        for (qsizetype i = length; i < h->values.size(); ++i)
            EXPECT_EQ(h->values[i], 0) << what << " padding " << i;
        for (int c : r.commented)
            EXPECT_EQ(h->comments.value(c), QStringLiteral("false ring %1").arg(c)) << what;
        EXPECT_EQ(h->comments.size(), r.commented.size()) << what;

        // Blocks start at 0, 10, ... up to and including n: a full last block adds a line of ten 0.
        int expectedLines = 0;
        for (int a = 0; a <= r.n; a += 10) {
            bool commentBlock = false;
            for (int c : r.commented)
                commentBlock = commentBlock || (c >= a && c < a + 10);
            expectedLines += commentBlock ? qMin(10, r.n - a) : 1;
        }
        EXPECT_EQ(h->dataLines, expectedLines) << what;
    }
}

TEST(HeidelbergExport, FieldsAreThreeBlanksAndAThreeCharacterNumber)
{
    HeidelbergHeader header;
    header.keycode = QStringLiteral("A1");
    // Value 10 carries the comment: block 0..9 stays a normal line, block 10..11 goes line by line.
    QVector<RingValue> values = withComments({1, 22, 333, 4444, 5, 6, 7, 8, 9, 10, 11, 12}, {10});
    const QStringList lines = heidelbergLines(header, values);
    const QStringList expected = {
        "HEADER:",
        "Keycode=A1",
        "Length=12",
        "DATA:Tree",
        "     1    22   333   4444     5     6     7     8     9    10",
        "    11;;false ring 10",
        "    12",
    };
    EXPECT_EQ(lines, expected);

    // No values: only a line of ten 0.
    const QStringList empty = heidelbergLines(header, {});
    ASSERT_EQ(empty.size(), 5);
    EXPECT_EQ(empty.last(), QStringLiteral("     0").repeated(10));
}

// --- Tucson reader, by column: identifier 1-6, two blanks, year 9-12, then 6-character fields;
// "   999" ends the series.
struct Tucson {
    QString id;
    QVector<int> values;
    QVector<int> years; // of each line
    bool ended = false;
};

std::optional<Tucson> readTucson(const QStringList& lines, QString& why)
{
    Tucson t;
    for (const QString& line : lines) {
        if (t.ended) {
            why = QStringLiteral("line after the end marker");
            return std::nullopt;
        }
        if (line.size() < 12 || (line.size() - 12) % 6 != 0 || line.mid(6, 2) != QLatin1String("  ")) {
            why = QStringLiteral("bad layout: '") + line + QLatin1Char('\'');
            return std::nullopt;
        }
        const QString id = line.left(6);
        if (!t.id.isEmpty() && id != t.id) {
            why = QStringLiteral("identifier changes");
            return std::nullopt;
        }
        t.id = id;
        bool ok = false;
        const int year = line.mid(8, 4).toInt(&ok);
        if (!ok || year != t.values.size()) {
            why = QStringLiteral("year field ") + line.mid(8, 4) + QStringLiteral(" does not count the values");
            return std::nullopt;
        }
        t.years << year;
        const qsizetype fields = (line.size() - 12) / 6;
        if (fields > 10) {
            why = QStringLiteral("more than ten values on a line");
            return std::nullopt;
        }
        for (qsizetype f = 0; f < fields; ++f) {
            const QString field = line.mid(12 + 6 * f, 6);
            if (field == QLatin1String("   999")) {
                t.ended = true;
                if (f != fields - 1) {
                    why = QStringLiteral("values after the end marker");
                    return std::nullopt;
                }
                break;
            }
            t.values << field.trimmed().toInt(&ok);
            if (!ok) {
                why = QStringLiteral("field is no number: '") + field + QLatin1Char('\'');
                return std::nullopt;
            }
        }
    }
    if (!t.ended) {
        why = QStringLiteral("no end marker");
        return std::nullopt;
    }
    return t;
}

TEST(TucsonExport, ReadsBackValueForValue)
{
    // A series may not hold 999 itself: the reader takes it as the end (the format's own limit).
    auto widthsWithout999 = [](int n) {
        QVector<int> w = sampleWidths(n);
        for (int& v : w)
            if (v == 999)
                v = 998;
        return w;
    };
    const int counts[] = {0, 3, 10, 13, 20, 25};
    for (int n : counts) {
        const QVector<int> widths = widthsWithout999(n);
        const QStringList lines = tucsonLines(QStringLiteral("ABC001"), widths);
        QString why;
        const std::optional<Tucson> t = readTucson(lines, why);
        ASSERT_TRUE(t) << "n=" << n << ": " << why.toStdString();
        EXPECT_EQ(t->id, QStringLiteral("ABC001")) << n;
        EXPECT_EQ(t->values, widths) << n;
        EXPECT_EQ(lines.size(), n / 10 + 1) << n; // a full last line puts the marker on its own
    }
}

TEST(TucsonExport, DocumentedLayouts)
{
    const QVector<int> ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(tucsonLines(QStringLiteral("XYZ001"), ten),
              (QStringList{"XYZ001  0000     1     2     3     4     5     6     7     8     9    10",
                           "XYZ001  0010   999"}));
    EXPECT_EQ(tucsonLines(QStringLiteral("XYZ001"), ten + QVector<int>{11, 1234, 123456}),
              (QStringList{"XYZ001  0000     1     2     3     4     5     6     7     8     9    10",
                           "XYZ001  0010    11  1234123456   999"}));
    EXPECT_EQ(tucsonLines(QStringLiteral("000002"), {}), QStringList{"000002  0000   999"});
}

TEST(TucsonExport, IdentifiersFillOrCutThePrefix)
{
    const struct {
        const char* prefix;
        int k;
        const char* id;
    } rows[] = {
        {"", 1, "000001"},         {"", 2, "000002"},        {"ABC", 1, "ABC001"},   {"ABC", 12, "ABC012"},
        {"LONGPREFIX", 1, "LONGP1"}, {"LONGPREFIX", 123, "LON123"}, {"ABCDEF", 100000, "100000"},
        {"AB", 1234567, "1234567"}, {"\u00c4\u00d6", 3, "\u00c4\u00d60003"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(tucsonIdentifier(QString::fromUtf8(r.prefix), r.k), QString::fromUtf8(r.id)) << r.prefix << " " << r.k;
}

// --- Free ASCII reader: the name line, then values separated (and each followed) by the
// separator, or fixed fields of the fill length when there is no separator.
struct AsciiRow {
    int n;
    int perLine;
    int separatorEntry; // -1 no selection
    int fillLength;
    int fillEntry;
};

std::optional<QVector<int>> readAscii(const QStringList& lines, const AsciiRow& r, const QString& name, QString& why)
{
    if (lines.value(0) != name) {
        why = QStringLiteral("no name line");
        return std::nullopt;
    }
    const QString sep = r.perLine > 1 ? separatorOf(r.separatorEntry) : QString();
    const QChar fill = fillOf(r.fillEntry);
    QVector<int> values;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QStringList fields;
        const QString& line = lines[i];
        if (r.perLine == 1) {
            fields << line;
        } else if (!sep.isEmpty()) {
            if (!line.endsWith(sep)) {
                why = QStringLiteral("last value without separator: '") + line + QLatin1Char('\'');
                return std::nullopt;
            }
            // A blank between blank-filled fields cannot be told from the fill: split on blanks.
            if (sep == QLatin1String(" ") && fill == QLatin1Char(' '))
                fields = line.simplified().split(QLatin1Char(' '));
            else
                fields = line.left(line.size() - sep.size()).split(sep);
        } else {
            for (qsizetype at = 0; at < line.size(); at += r.fillLength)
                fields << line.mid(at, r.fillLength);
        }
        if (fields.size() > r.perLine || (i + 1 < lines.size() && fields.size() != r.perLine)) {
            why = QStringLiteral("%1 values on line %2").arg(fields.size()).arg(i);
            return std::nullopt;
        }
        for (const QString& f : fields) {
            const bool blankSplit = r.perLine > 1 && sep == QLatin1String(" ") && fill == QLatin1Char(' ');
            if (r.fillLength > 0 && f.size() < r.fillLength && !blankSplit) {
                why = QStringLiteral("field shorter than the fill length: '") + f + QLatin1Char('\'');
                return std::nullopt;
            }
            QString digits = f;
            while (digits.size() > 1 && digits[0] == fill)
                digits.remove(0, 1);
            bool ok = false;
            values << digits.toInt(&ok);
            if (!ok) {
                why = QStringLiteral("not a number: '") + f + QLatin1Char('\'');
                return std::nullopt;
            }
        }
    }
    return values;
}

TEST(AsciiExport, ReadsBackValueForValue)
{
    std::vector<AsciiRow> rows;
    for (int n : {0, 3, 10, 13, 20, 25})
        rows.push_back({n, 10, 0, 6, 0});
    for (int sep : {-1, 0, 1, 2})
        for (int fill : {0, 1})
            rows.push_back({25, 10, sep, 6, fill});
    rows.push_back({13, 3, 2, 0, 0});
    rows.push_back({13, 3, 3, 6, 1}); // no separator: fields of the fill length
    rows.push_back({13, 1, 2, 6, 1}); // one per line: no separator at all
    rows.push_back({13, 1, 0, 0, 0});
    rows.push_back({13, 4, 1, 2, 1}); // fill shorter than most numbers: written whole
    for (const AsciiRow& r : rows) {
        // A fixed-field read needs every number to fit its field.
        QVector<int> widths = sampleWidths(r.n);
        if (r.perLine > 1 && separatorOf(r.separatorEntry).isEmpty())
            for (int& w : widths)
                w %= 100000;
        AsciiOptions o;
        o.valuesPerLine = r.perLine;
        o.separator = separatorOf(r.separatorEntry);
        o.fillLength = r.fillLength;
        o.fill = fillOf(r.fillEntry);
        const QString name = QStringLiteral("Path \u00e9 1");
        const QStringList lines = asciiLines(name, QVector<double>(widths.begin(), widths.end()), o);
        const std::string what = "n=" + std::to_string(r.n) + " perLine=" + std::to_string(r.perLine)
            + " sep=" + std::to_string(r.separatorEntry) + " len=" + std::to_string(r.fillLength)
            + " fill=" + std::to_string(r.fillEntry);
        QString why;
        const auto values = readAscii(lines, r, name, why);
        ASSERT_TRUE(values) << what << ": " << why.toStdString();
        EXPECT_EQ(*values, widths) << what;
        EXPECT_EQ(lines.size(), 1 + (r.n + r.perLine - 1) / r.perLine) << what;
        if (r.perLine == 1) {
            for (const QString& l : lines.mid(1)) {
                EXPECT_FALSE(l.contains(QLatin1Char(',')) || l.contains(QLatin1Char('\t'))) << what;
            }
        }
    }
}

TEST(AsciiExport, DocumentedLayouts)
{
    AsciiOptions o;
    o.valuesPerLine = 3;
    o.separator = QStringLiteral(",");
    o.fillLength = 4;
    o.fill = QLatin1Char('0');
    EXPECT_EQ(asciiLines(QStringLiteral("P"), {5, 12345, 67, 8}, o), (QStringList{"P", "0005,12345,0067,", "0008,"}));
    o.valuesPerLine = 1;
    o.fillLength = 0;
    EXPECT_EQ(asciiLines(QStringLiteral("P"), {5, 67}, o), (QStringList{"P", "5", "67"}));
}

TEST(ExportLists, SeparatorsAndFills)
{
    EXPECT_EQ(separatorEntries(), (QStringList{"TAB (ASCII Code 9)", "SPC (ASCII Code 32)", "COMMA (ASCII Code 44)", "NULLSTRING"}));
    const struct {
        int entry;
        const char* text;
    } seps[] = {{0, "\t"}, {1, " "}, {2, ","}, {3, ""}, {-1, " "}, {4, " "}};
    for (const auto& s : seps)
        EXPECT_EQ(separatorOf(s.entry), QString::fromLatin1(s.text)) << s.entry;
    EXPECT_EQ(fillEntries(), (QStringList{"SPC (ASCII Code 32)", "ZERO (ASCII Code 48)"}));
    EXPECT_EQ(fillOf(0), QLatin1Char(' '));
    EXPECT_EQ(fillOf(1), QLatin1Char('0'));
    EXPECT_EQ(fillOf(-1), QLatin1Char(' '));

    QStringList species = speciesCodes();
    EXPECT_EQ(species.size(), 116);
    EXPECT_EQ(species.first(), QStringLiteral("ABAL"));
    EXPECT_EQ(species.last(), QStringLiteral("WICE"));
    for (const QString& code : species)
        EXPECT_EQ(code.size(), 4) << code.toStdString();
    EXPECT_EQ(species.removeDuplicates(), 0);
}

// --- A path with known positions.
class PathExport : public testing::Test {
protected:
    void SetUp() override
    {
        path.Name = QStringLiteral("Oak 7");
        // Index 1 at the origin with rings of 100 and 150 px; index 2 further on with one of 30 px.
        TIndex* i1 = addIndex(QPoint(0, 0), QStringLiteral("start"));
        addMeasurement(i1, QPoint(100, 0), QString());
        addMeasurement(i1, QPoint(250, 0), QStringLiteral("frost"));
        TIndex* i2 = addIndex(QPoint(400, 0), QString());
        addMeasurement(i2, QPoint(400, 30), QString());
    }
    TIndex* addIndex(QPoint pos, const QString& comment)
    {
        auto index = std::make_unique<TIndex>();
        index->Pos = pos;
        index->Comment = comment;
        index->Path = &path;
        path.ObjectList.push_back(std::move(index));
        return path.ObjectList.back().get();
    }
    void addMeasurement(TIndex* index, QPoint pos, const QString& comment)
    {
        auto m = std::make_unique<TMeasurement>();
        m->Pos = pos;
        m->Comment = comment;
        m->Path = &path;
        m->Index = index;
        index->ObjectList.push_back(std::move(m));
    }
    TPath path;
};

TEST_F(PathExport, WidthsComeFromPositionsEvenWhenNeverPainted)
{
    for (const auto& i : path.ObjectList)
        for (const auto& m : i->ObjectList)
            ASSERT_EQ(m->distance, 0.0); // as a path that was never drawn

    const struct {
        int units;
        int dpi;
        QVector<int> widths;
    } rows[] = {
        {7, 1200, {100, 150, 30}},  // pixels
        {3, 2540, {100, 150, 30}},  // 1/100 mm at 2540 dpi: one pixel is 0.01 mm
        {3, 1200, {Round(100 * 2540.0 / 1200), Round(150 * 2540.0 / 1200), Round(30 * 2540.0 / 1200)}},
        {1, 1200, {2, 3, 1}},       // whole millimetres
    };
    for (const auto& r : rows) {
        const QVector<RingValue> values = ringValues(path, r.units, r.dpi);
        EXPECT_EQ(widthsOf(values), r.widths) << r.units << "/" << r.dpi;
        ASSERT_EQ(values.size(), 3);
        EXPECT_EQ(values[1].info, QStringLiteral("frost"));
        EXPECT_TRUE(values[0].info.isEmpty());
    }
    // Moving a point changes the next export without any painting in between.
    path.ObjectList[0]->ObjectList[0]->Pos = QPoint(60, 0);
    EXPECT_EQ(widthsOf(ringValues(path, 7, 1200)), (QVector<int>{60, 190, 30}));
}

TEST_F(PathExport, FreeAsciiKeepsAHundredthOfAMillimetreInEveryUnit)
{
    // 100, 150 and 30 px at 1200 dpi: rings of about 2.12, 3.18 and 0.64 mm, which whole centimetres,
    // inches or millimetres would write as 0, 0 and 0 or as 2, 3 and 1.
    const struct {
        int units;
        double mmPerUnit;
        QStringList line; // fill to 6 with blanks, a comma after each value
    } rows[] = {
        {0, 10.0, {"Oak 7", " 0.212, 0.318, 0.064,"}},
        {1, 1.0, {"Oak 7", "  2.12,  3.17,  0.64,"}}, // 3.175 is a hair below in binary
        {2, 0.1, {"Oak 7", "  21.2,  31.8,   6.3,"}},
        {3, 0.01, {"Oak 7", "   212,   318,    64,"}},
        {4, 25.4, {"Oak 7", "0.0833,0.1250,0.0250,"}},
        {5, 2.54, {"Oak 7", " 0.833, 1.250, 0.250,"}},
        {6, 0.254, {"Oak 7", "  8.33, 12.50,  2.50,"}},
        {7, 25.4 / 1200, {"Oak 7", "   100,   150,    30,"}},
    };
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); // a comma as decimal mark
    for (const auto& r : rows) {
        const QVector<RingValue> values = ringValues(path, r.units, 1200);
        AsciiOptions o;
        o.decimals = asciiDecimals(r.units);
        o.separator = QStringLiteral(",");
        const QStringList lines = asciiLines(path.Name, exactWidthsOf(values), o);
        EXPECT_EQ(lines, r.line) << "unit " << r.units;

        // Read back, each value is within half a hundredth of a millimetre of the true width.
        const double trueMm[] = {100 * 25.4 / 1200, 150 * 25.4 / 1200, 30 * 25.4 / 1200};
        const QStringList fields = lines.value(1).split(QLatin1Char(','), Qt::SkipEmptyParts);
        ASSERT_EQ(fields.size(), 3) << "unit " << r.units;
        for (int i = 0; i < 3; ++i) {
            bool ok = false;
            const double mm = fields[i].trimmed().toDouble(&ok) * r.mmPerUnit;
            ASSERT_TRUE(ok) << fields[i].toStdString();
            EXPECT_LE(std::abs(mm - trueMm[i]), 0.005 + 1e-9) << "unit " << r.units << " value " << i;
        }

        // Hundredths of a millimetre and pixels write the whole numbers the other exports write.
        if (asciiDecimals(r.units) == 0) {
            QStringList whole;
            for (int w : widthsOf(values))
                whole << QString::number(w);
            EXPECT_EQ(lines.value(1).split(QLatin1Char(','), Qt::SkipEmptyParts).replaceInStrings(QStringLiteral(" "), QString()), whole);
        }
    }
    QLocale::setDefault(before);
}

TEST(AsciiExport, NumbersRoundAsTheOtherExports)
{
    const struct {
        double value;
        int decimals;
        const char* text;
    } rows[] = {
        {2.5, 0, "2"}, {3.5, 0, "4"}, {212.49, 0, "212"}, // halves to even, as Round
        {2.116666, 2, "2.12"}, {0.0833333, 4, "0.0833"}, {0.0, 3, "0.000"}, {1234.5678, 1, "1234.6"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(asciiNumber(r.value, r.decimals), QString::fromLatin1(r.text)) << r.value << "/" << r.decimals;
}

TEST_F(PathExport, CoordinatesPerOption)
{
    CoordinateOptions o;
    o.separator = QStringLiteral(";");
    EXPECT_EQ(coordinateHeaderLine(o.separator), QStringLiteral("Type;X;Y;Comment"));
    EXPECT_EQ(coordinateLines(path, o),
              (QStringList{"Oak 7", "I;0;0;start", "M;100;0;", "M;250;0;frost", "I;400;0;", "M;400;30;"}));

    const struct {
        bool name, index, mp;
        QStringList expected;
    } rows[] = {
        {false, true, false, {"", "I;0;0;start", "I;400;0;"}},
        {true, false, true, {"Oak 7", "M;100;0;", "M;250;0;frost", "M;400;30;"}},
        {false, false, false, {""}},
    };
    for (const auto& r : rows) {
        o.includePathName = r.name;
        o.indexPoints = r.index;
        o.measurementPoints = r.mp;
        EXPECT_EQ(coordinateLines(path, o), r.expected) << r.name << r.index << r.mp;
    }
    // Every separator, read back by splitting.
    o = CoordinateOptions();
    for (int entry : {0, 1, 2}) {
        o.separator = separatorOf(entry);
        const QStringList lines = coordinateLines(path, o);
        ASSERT_EQ(lines.size(), 6);
        const QStringList fields = lines[3].split(o.separator);
        EXPECT_EQ(fields, (QStringList{"M", "250", "0", "frost"})) << entry;
    }
    o.separator = separatorOf(3);
    EXPECT_EQ(coordinateLines(path, o).value(3), QStringLiteral("M2500frost"));
}

} // namespace
