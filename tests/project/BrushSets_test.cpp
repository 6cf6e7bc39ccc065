// Brush-set file: the round trip with awkward names, the line layout (key order, one object per
// line, CR LF), the current preset, empty and missing files, damaged lines, a failed save, and
// what choosing a preset copies into the drawing settings.
#include "project/BrushSets.h"

#include "project/Settings.h"
#include "project/TBrushSet.h"
#include "shell/TF_ErrorLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

const char* const kKeys[] = {"BName",    "CadColor", "MColor",    "IColor",   "ILColor", "MLColor",    "MSColor",
                             "ISColor",  "RALColor", "ISize",     "MSize",    "RALLength", "ILWidth",  "MWidth",
                             "RALWidth", "MCursor",  "ICursor",   "SCursor",  "ScaleRAL", "LVisible",  "RALVisible",
                             "TVisible", "OVisible", "Current"};

// A preset whose fields differ from each other's and from those of the presets made with the
// neighbouring seeds, every value inside the range of its setting.
std::unique_ptr<TBrushSet> preset(const QString& name, int seed)
{
    auto s = std::make_unique<TBrushSet>();
    s->BName = name;
    int* colours[] = {&s->CadColor, &s->MColor, &s->IColor, &s->ILColor, &s->MLColor, &s->MSColor, &s->ISColor, &s->RALColor};
    int k = 1;
    for (int* c : colours)
        *c = 0x00FFFFFF - 16 * seed - k++; // colours use the whole range
    s->ISize = 1 + seed % 20;
    s->MSize = 1 + (seed + 7) % 20;
    s->RALLength = 100 * seed;
    s->ILWidth = 1 + seed % 5;
    s->MWidth = 1 + (seed + 1) % 5;
    s->RALWidth = 1 + (seed + 2) % 5;
    s->MCursor = seed % 6;
    s->ICursor = (seed + 1) % 6;
    s->SCursor = (seed + 2) % 6;
    s->ScaleRAL = seed % 2;
    s->LVisible = seed % 3 == 0;
    s->RALVisible = seed % 2 == 0;
    s->TVisible = true;
    s->OVisible = seed % 5 != 0;
    return s;
}

void expectSame(const TBrushSet& a, const TBrushSet& b)
{
    EXPECT_EQ(a.BName, b.BName);
    EXPECT_EQ(a.CadColor, b.CadColor);
    EXPECT_EQ(a.MColor, b.MColor);
    EXPECT_EQ(a.IColor, b.IColor);
    EXPECT_EQ(a.ILColor, b.ILColor);
    EXPECT_EQ(a.MLColor, b.MLColor);
    EXPECT_EQ(a.MSColor, b.MSColor);
    EXPECT_EQ(a.ISColor, b.ISColor);
    EXPECT_EQ(a.RALColor, b.RALColor);
    EXPECT_EQ(a.ISize, b.ISize);
    EXPECT_EQ(a.MSize, b.MSize);
    EXPECT_EQ(a.RALLength, b.RALLength);
    EXPECT_EQ(a.ILWidth, b.ILWidth);
    EXPECT_EQ(a.MWidth, b.MWidth);
    EXPECT_EQ(a.RALWidth, b.RALWidth);
    EXPECT_EQ(a.MCursor, b.MCursor);
    EXPECT_EQ(a.ICursor, b.ICursor);
    EXPECT_EQ(a.SCursor, b.SCursor);
    EXPECT_EQ(a.ScaleRAL, b.ScaleRAL);
    EXPECT_EQ(a.LVisible, b.LVisible);
    EXPECT_EQ(a.RALVisible, b.RALVisible);
    EXPECT_EQ(a.TVisible, b.TVisible);
    EXPECT_EQ(a.OVisible, b.OVisible);
}

class BrushSetFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
    }
    void TearDown() override { InitSettingVariables(); }

    QString file() const { return dir.path() + QStringLiteral("/BrushSets"); }

    QByteArray bytes() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    void writeBytes(const QByteArray& content) const
    {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    QStringList logTexts(int type) const
    {
        QStringList texts;
        for (const auto& e : TF_ErrorLog::Entries())
            if (e->AType == type)
                texts << e->AMessage;
        return texts;
    }

    QTemporaryDir dir;
};

TEST_F(BrushSetFile, HardNamesAndEveryFieldSurviveASaveAndALoad)
{
    const QString names[] = {
        QStringLiteral("Oak"),
        QString::fromUtf8("Ölbaum – Eiche €"),      // in the code page and outside it
        QString::fromUtf8("年輪 \U0001F333"),         // outside any code page, with a surrogate pair
        QStringLiteral("say \"ring\""),
        QStringLiteral("C:\\sets\\\\two"),
        QStringLiteral("tab\tline\r\nbreak"),
        QStringLiteral("Oak & Ash"),
        QString(),
    };
    std::vector<std::unique_ptr<TBrushSet>> expected;
    int seed = 1;
    for (const QString& name : names) {
        BrushSetList.push_back(preset(name, seed));
        expected.push_back(preset(name, seed));
        ++seed;
    }
    CurrentBrushSet = BrushSetList[2].get();
    ASSERT_EQ(SaveBrushSets(file()), 0);

    BrushSetList.clear();
    CurrentBrushSet = nullptr;
    ASSERT_EQ(LoadBrushSets(file()), 0);
    ASSERT_EQ(BrushSetList.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        expectSame(*BrushSetList[i], *expected[i]);
        EXPECT_EQ(BrushSetList[i]->Current, i == 2);
    }
    EXPECT_EQ(CurrentBrushSet, BrushSetList[2].get());
    EXPECT_TRUE(logTexts(3).isEmpty()) << logTexts(3).join('\n').toStdString();
}

TEST_F(BrushSetFile, EachPresetIsOneAsciiLineWithTheKeysInDeclarationOrder)
{
    BrushSetList.push_back(preset(QString::fromUtf8("Größe \"x\"\n"), 1));
    BrushSetList.push_back(preset(QStringLiteral("B"), 2));
    BrushSetList.push_back(preset(QStringLiteral("C"), 3));
    CurrentBrushSet = BrushSetList[1].get();
    ASSERT_EQ(SaveBrushSets(file()), 0);

    const QByteArray content = bytes();
    ASSERT_TRUE(content.endsWith("\r\n"));
    const QList<QByteArray> lines = content.left(content.size() - 2).split('\n');
    ASSERT_EQ(lines.size(), 3);
    int currentLines = 0;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        SCOPED_TRACE(line.toStdString());
        EXPECT_FALSE(line.contains('\r'));
        for (char c : line)
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "byte " << int(static_cast<unsigned char>(c));
        EXPECT_TRUE(line.startsWith(R"({"type":"JEX4_Objects.TBrushSet","id":1,"fields":{"BName":)"));
        EXPECT_TRUE(line.endsWith("}}"));
        qsizetype last = -1;
        for (const char* key : kKeys) {
            const qsizetype at = line.indexOf(QByteArray("\"") + key + "\":");
            ASSERT_GT(at, last) << key;
            last = at;
        }
        if (line.contains("\"Current\":true"))
            ++currentLines;
        else
            EXPECT_TRUE(line.contains("\"Current\":false"));
    }
    EXPECT_EQ(currentLines, 1);
    EXPECT_TRUE(lines[0].contains(R"("BName":"Gr\u00f6\u00dfe \"x\"\n")")) << lines[0].toStdString();
}

TEST_F(BrushSetFile, WithoutACurrentPresetNoLineIsCurrentAndNoneComesBack)
{
    BrushSetList.push_back(preset(QStringLiteral("A"), 1));
    BrushSetList.push_back(preset(QStringLiteral("B"), 2));
    BrushSetList[0]->Current = true; // a stale flag is rewritten from CurrentBrushSet
    ASSERT_EQ(SaveBrushSets(file()), 0);
    EXPECT_FALSE(bytes().contains("\"Current\":true"));
    EXPECT_EQ(bytes().count("\"Current\":false"), 2);

    BrushSetList.clear();
    ASSERT_EQ(LoadBrushSets(file()), 0);
    EXPECT_EQ(BrushSetList.size(), 2u);
    EXPECT_EQ(CurrentBrushSet, nullptr);
}

TEST_F(BrushSetFile, AnEmptyListWritesAnEmptyFileThatReadsBackEmpty)
{
    writeBytes("old content\r\n");
    ASSERT_EQ(SaveBrushSets(file()), 0);
    EXPECT_TRUE(QFile::exists(file()));
    EXPECT_TRUE(bytes().isEmpty());
    ASSERT_EQ(LoadBrushSets(file()), 0);
    EXPECT_TRUE(BrushSetList.empty());
}

TEST_F(BrushSetFile, AMissingFileGivesMinusOneAndLeavesTheListAlone)
{
    BrushSetList.push_back(preset(QStringLiteral("kept"), 1));
    CurrentBrushSet = BrushSetList[0].get();
    EXPECT_EQ(LoadBrushSets(file()), -1);
    ASSERT_EQ(BrushSetList.size(), 1u);
    EXPECT_EQ(BrushSetList[0]->BName, QStringLiteral("kept"));
    EXPECT_EQ(CurrentBrushSet, BrushSetList[0].get());

    // A folder of that name cannot be read as the file either.
    ASSERT_TRUE(QDir().mkpath(file()));
    EXPECT_EQ(LoadBrushSets(file()), -1);
    EXPECT_EQ(BrushSetList.size(), 1u);
}

TEST_F(BrushSetFile, DamagedLinesAreSkippedWithANoteAndTheOthersLoad)
{
    TBrushSet a = *preset(QStringLiteral("first"), 1);
    TBrushSet b = *preset(QStringLiteral("second"), 2);
    a.Current = true;
    b.Current = true; // with several current lines the last wins
    struct Line {
        QByteArray text;
        bool noted; // a note in the log names the line
    };
    const Line lines[] = {
        {BrushSetToJson(a).toLatin1(), false},
        {"", false},
        {"   ", false},
        {"not json at all", true},
        {"[1,2,3]", true},
        {R"({"type":"JEX4_Objects.TOther","id":1,"fields":{}})", true},
        {R"({"type":"JEX4_Objects.TBrushSet","id":1})", true},
        {R"({"type":"JEX4_Objects.TBrushSet","id":1,"fields":{"MColor":"red"}})", true},
        {R"({"type":"JEX4_Objects.TBrushSet","id":1,"fields":{"MSize":1e12}})", true},
        {R"({"type":"JEX4_Objects.TBrushSet","id":1,"fields":{"MSize":2.5}})", true},
        {R"({"type":"JEX4_Objects.TBrushSet","id":1,"fields":{"ScaleRAL":1}})", true},
        {R"({"type":"JEX4_Objects.TBrushSet","id":1,"fields":{"BName":"cut off)", true},
        {"\x01\x02\xff\xfe", true},
        {BrushSetToJson(b).toLatin1(), false},
    };
    QByteArray content;
    for (const Line& l : lines)
        content += l.text + "\r\n";
    writeBytes(content);

    ASSERT_EQ(LoadBrushSets(file()), 0);
    ASSERT_EQ(BrushSetList.size(), 2u);
    expectSame(*BrushSetList[0], a);
    expectSame(*BrushSetList[1], b);
    EXPECT_EQ(CurrentBrushSet, BrushSetList[1].get());

    const QStringList notes = logTexts(3);
    int noted = 0;
    for (int i = 0; i < int(std::size(lines)); ++i) {
        const QString mark = QStringLiteral(": line %1 skipped").arg(i + 1);
        const bool found = notes.filter(mark).size() == 1;
        EXPECT_EQ(found, lines[i].noted) << "line " << i + 1;
        noted += lines[i].noted;
    }
    EXPECT_EQ(notes.size(), noted);
}

TEST_F(BrushSetFile, AFieldLeftOutIsZeroOrTheSmallestSizeItsSettingTakes)
{
    writeBytes(R"({"type":"JEX4_Objects.TBrushSet","id":7,"fields":{"BName":"short","MSize":9}})"
               "\n");
    ASSERT_EQ(LoadBrushSets(file()), 0);
    ASSERT_EQ(BrushSetList.size(), 1u);
    TBrushSet expected;
    expected.BName = QStringLiteral("short");
    expected.MSize = 9;
    expected.ISize = 1;
    expected.ILWidth = 1;
    expected.MWidth = 1;
    expected.RALWidth = 1;
    expectSame(*BrushSetList[0], expected);
}

// Painting takes these numbers as they are: a size of 2^31 or a cursor of 99 never gets there.
TEST_F(BrushSetFile, ValuesOutsideTheirSettingsRangeAreRepairedWithANote)
{
    TBrushSet sound = *preset(QStringLiteral("sound"), 3);
    QString line = BrushSetToJson(sound);
    const struct {
        const char* key;
        int stored;
        int TBrushSet::*field;
        int expected;
    } rows[] = {
        {"MSize", 2147483647, &TBrushSet::MSize, 20},          // cut to the largest
        {"RALLength", -5, &TBrushSet::RALLength, 0},           // cut to the smallest
        {"MWidth", -2147483647 - 1, &TBrushSet::MWidth, 1},
        {"CadColor", -1, &TBrushSet::CadColor, 0x00FFFFFF},    // a colour gets its setting's default
        {"MCursor", 99, &TBrushSet::MCursor, 1},               // and so does a choice
    };
    for (const auto& r : rows)
        line.replace(QStringLiteral("\"%1\":%2,").arg(QLatin1String(r.key)).arg(sound.*r.field),
                     QStringLiteral("\"%1\":%2,").arg(QLatin1String(r.key)).arg(r.stored));
    writeBytes(BrushSetToJson(sound).toLatin1() + "\r\n" + line.toLatin1() + "\r\n");

    ASSERT_EQ(LoadBrushSets(file()), 0);
    ASSERT_EQ(BrushSetList.size(), 2u);
    expectSame(*BrushSetList[0], sound);
    TBrushSet expected = sound;
    for (const auto& r : rows)
        expected.*r.field = r.expected;
    expectSame(*BrushSetList[1], expected);
    const QStringList notes = logTexts(3);
    EXPECT_EQ(notes.size(), int(std::size(rows))) << notes.join('\n').toStdString();
    for (const auto& r : rows)
        EXPECT_EQ(notes.filter(QStringLiteral(": line 2, \"%1\" = %2 ").arg(QLatin1String(r.key)).arg(r.stored)).size(), 1)
            << r.key;
}

TEST_F(BrushSetFile, AFailedSaveIsReportedAndReplacesNothing)
{
    BrushSetList.push_back(preset(QStringLiteral("A"), 1));
    ASSERT_TRUE(QDir().mkpath(file())); // a folder stands where the file should go
    EXPECT_EQ(SaveBrushSets(file()), -1);
    EXPECT_TRUE(QFileInfo(file()).isDir());
    EXPECT_EQ(logTexts(0).size(), 1);
    EXPECT_TRUE(logTexts(0).value(0).startsWith(QStringLiteral("Brush set file ") + file()));

    // Nor is a folder made for it.
    const QString inMissingFolder = dir.path() + QStringLiteral("/gone/BrushSets");
    EXPECT_EQ(SaveBrushSets(inMissingFolder), -1);
    EXPECT_FALSE(QFile::exists(inMissingFolder));
}

TEST_F(BrushSetFile, APresetIsCopiedIntoTheDrawingSettings)
{
    const std::unique_ptr<TBrushSet> s = preset(QStringLiteral("P"), 7);
    s->ScaleRAL = true;
    s->LVisible = false;
    s->RALVisible = true;
    s->TVisible = false;
    s->OVisible = true;
    ApplyBrushSetToSettings(*s);
    struct Pair {
        const char* name;
        int setting;
        int field;
    };
    const Pair pairs[] = {
        {"CADColor", SettingCADColor, s->CadColor},   {"MColor", SettingMColor, s->MColor},
        {"MLColor", SettingMLColor, s->MLColor},      {"MSColor", SettingMSColor, s->MSColor},
        {"IColor", SettingIColor, s->IColor},         {"ILColor", SettingILColor, s->ILColor},
        {"ISColor", SettingISColor, s->ISColor},      {"RALColor", SettingRALColor, s->RALColor},
        {"ISize", SettingISize, s->ISize},            {"MSize", SettingMSize, s->MSize},
        {"RALLength", SettingRALLength, s->RALLength}, {"ILWidth", SettingILWidth, s->ILWidth},
        {"MWidth", SettingMWidth, s->MWidth},         {"RALWidth", SettingRALWidth, s->RALWidth},
        {"MCursor", SettingMCursor, s->MCursor},      {"ICursor", SettingICursor, s->ICursor},
        {"SCursor", SettingSCursor, s->SCursor},      {"ScaleRAL", SettingScaleRAL, s->ScaleRAL},
        {"LVisible", SettingLVisible, s->LVisible},   {"RALVisible", SettingRALVisible, s->RALVisible},
        {"TVisible", SettingTVisible, s->TVisible},   {"OVisible", SettingOVisible, s->OVisible},
    };
    for (const Pair& p : pairs)
        EXPECT_EQ(p.setting, p.field) << p.name;
}

} // namespace
