// Settings variables: start values, defaults for absent registry entries, the store's names and
// order, and the small conversions the store relies on.
#include "project/Settings.h"

#include "JexVersion.h"
#include "project/TBrushSet.h"
#include "project/TStopUhr.h"

#include <gtest/gtest.h>

#include <variant>

namespace {

using Ref = std::variant<bool*, int*, QString*>;
using Value = std::variant<bool, int, QString>;

struct Expected {
    const char* name; // registry value name; "" for variables the store does not keep
    Ref variable;
    Value start;
    Value absent; // ignored when name is ""
};

Value currentValue(const Ref& ref)
{
    return std::visit([](auto* v) { return Value(*v); }, ref);
}

std::string show(const Value& v)
{
    return std::visit(
        [](const auto& x) -> std::string {
            if constexpr (std::is_same_v<std::decay_t<decltype(x)>, QString>)
                return '"' + x.toStdString() + '"';
            else
                return std::to_string(x);
        },
        v);
}

const QString empty;

// Stored variables in the registry store's reading order, then the run-time ones.
const Expected expectedVariables[] = {
    {"FileManagerDisplayEverything", &SettingFileManagerDisplayEverything, false, true},
    {"Path_PTOGen", &SettingPath_PTOGen, empty, QStringLiteral("/usr/bin/pto_gen")},
    {"Path_CPFind", &SettingPath_CPFind, empty, QStringLiteral("/usr/bin/cpfind")},
    {"MovingTransparency", &SettingMovingTransparency, 0, 150},
    {"UseMovingTransparency", &SettingUseMovingTransparency, false, true},
    {"AutoCheckUpdates", &SettingAutoCheckUpdates, false, true},
    {"StandardDPI", &SettingStandardDPI, 0, 1200},
    {"AutoScrollSpeed", &SettingAutoScrollSpeed, 5, 5},
    {"ScaleRAL", &SettingScaleRAL, false, false},
    {"EnableAutoScroll", &SettingEnableAutoScroll, false, false},
    {"CADCursor", &SettingCADCursor, false, false},
    {"SwitchOffCursor", &SettingSwitchOffCursor, false, false},
    {"CADColor", &SettingCADColor, 0x00FFFFFF, 0x00FFFFFF},
    {"FixedFontSize", &SettingFixedFontSize, false, true},
    {"SSize", &SettingSSize, 0, 2},
    {"MSize", &SettingMSize, 4, 4},
    {"ISize", &SettingISize, 4, 4},
    {"FSize", &SettingFSize, 0, 12},
    {"MCursor", &SettingMCursor, 0, 1},
    {"ICursor", &SettingICursor, 0, 1},
    {"SCursor", &SettingSCursor, 0, 3},
    {"MColor", &SettingMColor, 0x0000CCFF, 0x0000CCFF},
    {"IColor", &SettingIColor, 0x0000FFFF, 0x0000FFFF},
    {"ILColor", &SettingILColor, 0x0000FFFF, 0x0000FFFF},
    {"MLColor", &SettingMLColor, 0x0000CCFF, 0x0000CCFF},
    {"MSColor", &SettingMSColor, 0x0000FF00, 0x0000FF00},
    {"ISColor", &SettingISColor, 0x0000FF00, 0x0000FF00},
    {"AreaColor", &SettingAreaColor, 0, 0},
    {"AreaBrush", &SettingAreaBrush, 7, 7},
    {"TextColor", &SettingTextColor, 0, 0x0000FFFF},
    {"RALColor", &SettingRALColor, 0x0000FFFF, 0x0000FFFF},
    {"RALLength", &SettingRALLength, 50, 50},
    {"RALVisible", &SettingRALVisible, true, true},
    {"RALWidth", &SettingRALWidth, 0, 1},
    {"MWidth", &SettingMWidth, 0, 1},
    {"ILWidth", &SettingILWidth, 0, 1},
    {"TextAngle", &SettingTextAngle, 0, 0},
    {"OVisible", &SettingOVisible, true, true},
    {"TVisible", &SettingTVisible, false, true},
    {"LVisible", &SettingLVisible, false, true},
    {"DynamicImages", &SettingDynamicImages, false, false},
    {"ResamplingAlgorithm", &SettingResamplingAlgorithm, 0, 1},
    {"Units", &SettingUnits, 3, 3},
    {"Digits", &SettingDigits, 0, 2},
    {"FontName", &SettingFontName, empty, QStringLiteral("Consolas")},
    {"TWAINCancel", &SettingTWAINCancel, false, false},
    {"EmbedImages", &SettingEmbedImages, false, false},
    {"ZoomWidth", &SettingZoomWidth, 0, 41},
    {"DrawIndexLines", &SettingDrawIndexLines, false, true},
    {"TCPIPAutoConnect", &SettingTCPIPAutoConnect, false, false},
    {"FilePreview", &SettingFilePreview, false, true},
    {"GestureScrolling", &SettingGestureScrolling, false, true},
    {"AutoFocus", &SettingAutoFocus, false, true},
    {"ProxyServer", &SettingProxyServer, empty, empty},
    {"ProxyPort", &SettingProxyPort, 0, 80},
    {"ProxyUser", &SettingProxyUser, empty, empty},
    {"ProxyPassword", &SettingProxyPassword, empty, empty},
    {"ProxyUseAuthentication", &SettingProxyUseAuthentication, false, false},
    {"UseProxy", &SettingUseProxy, false, false},
    {"", &ProjectLoading, false, false},
    {"", &ImagePanning, false, false},
    {"", &TWAINSourceIndex, 0, 0},
    {"", &DataFolder, empty, empty},
};

// Puts a value unlike `target` into every variable, so a value that merely stayed from before
// cannot pass.
void scrambleAwayFrom(Value Expected::*target)
{
    for (const Expected& e : expectedVariables)
        std::visit(
            [&](auto* v) {
                using T = std::remove_pointer_t<decltype(v)>;
                const T& wanted = std::get<T>(e.*target);
                if constexpr (std::is_same_v<T, bool>)
                    *v = !wanted;
                else if constexpr (std::is_same_v<T, int>)
                    *v = wanted + 777;
                else
                    *v = wanted + QStringLiteral("scrambled");
            },
            e.variable);
    SettingFileManagerDisplayExtensions = {QStringLiteral("scrambled")};
}

class SettingsTest : public testing::Test {
protected:
    void TearDown() override { InitSettingVariables(); }
};

TEST_F(SettingsTest, InitGivesEveryVariableItsStartValue)
{
    scrambleAwayFrom(&Expected::start);
    InitSettingVariables();
    for (const Expected& e : expectedVariables)
        EXPECT_EQ(currentValue(e.variable), e.start)
            << (e.name[0] ? e.name : "run-time variable") << ": " << show(currentValue(e.variable)) << " instead of "
            << show(e.start);
    EXPECT_TRUE(SettingFileManagerDisplayExtensions.isEmpty());
}

TEST_F(SettingsTest, AbsentDefaultsCoverEveryStoredVariableAndLeaveRunTimeValuesAlone)
{
    scrambleAwayFrom(&Expected::absent);
    ProjectLoading = true;
    TWAINSourceIndex = -1;
    DataFolder = QStringLiteral("/data");
    ApplyAbsentSettingDefaults();
    for (const Expected& e : expectedVariables) {
        if (!e.name[0])
            continue;
        EXPECT_EQ(currentValue(e.variable), e.absent)
            << e.name << ": " << show(currentValue(e.variable)) << " instead of " << show(e.absent);
    }
    EXPECT_TRUE(ProjectLoading);
    EXPECT_EQ(TWAINSourceIndex, -1);
    EXPECT_EQ(DataFolder, QStringLiteral("/data"));
    EXPECT_EQ(SettingFileManagerDisplayExtensions,
              QStringList({"jex", "jex4", "png", "jpg", "jpeg", "bmp"}));
}

// The store reads in table order and names each value after the table; a wrong pointer behind a
// right name would store one setting under another's name.
TEST_F(SettingsTest, TableNamesPointAtTheRightVariablesInStoreOrder)
{
    const auto& table = SettingVariables();
    QStringList storedNames;
    for (const SettingVariable& v : table)
        if (v.Absent)
            storedNames << v.Name;

    QStringList expectedNames;
    for (const Expected& e : expectedVariables)
        if (e.name[0])
            expectedNames << QString::fromLatin1(e.name);
    expectedNames.insert(1, QStringLiteral("FileManagerDisplayExtensions"));
    EXPECT_EQ(storedNames, expectedNames);

    for (const Expected& e : expectedVariables) {
        if (!e.name[0])
            continue;
        const auto it = std::find_if(table.begin(), table.end(),
                                     [&](const SettingVariable& v) { return v.Name == QLatin1String(e.name); });
        ASSERT_NE(it, table.end()) << e.name;
        const void* tablePointer = std::visit([](auto* p) -> const void* { return p; }, it->Variable);
        const void* expectedPointer = std::visit([](auto* p) -> const void* { return p; }, e.variable);
        EXPECT_EQ(tablePointer, expectedPointer) << e.name;
    }
    EXPECT_EQ(table.size(), std::size(expectedVariables) + 1); // + the extension list
}

TEST_F(SettingsTest, LabelsAreOffBeforeTheStoreAndOnInConsolasAfterAnEmptyRegistry)
{
    InitSettingVariables();
    EXPECT_FALSE(SettingTVisible);
    EXPECT_TRUE(SettingFontName.isEmpty());
    ApplyAbsentSettingDefaults();
    EXPECT_TRUE(SettingTVisible);
    EXPECT_EQ(SettingFontName, QStringLiteral("Consolas"));
    EXPECT_EQ(SettingFSize, 12);
    EXPECT_EQ(SettingTextColor, 0x0000FFFF);
}

TEST_F(SettingsTest, InitEmptiesTheBrushSetsAndMakesANewStopwatch)
{
    BrushSetList.push_back(std::make_unique<TBrushSet>());
    CurrentBrushSet = BrushSetList.back().get();
    Stopwatch->setMeasureMethode(su_Performance);
    InitSettingVariables();
    EXPECT_TRUE(BrushSetList.empty());
    EXPECT_EQ(CurrentBrushSet, nullptr);
    ASSERT_NE(Stopwatch, nullptr);
    EXPECT_EQ(Stopwatch->MeasureMethode(), su_DateTime);
}

TEST(SettingsModule, VersionNumbersComeFromTheBuild)
{
    EXPECT_EQ(VersionMajor, JexVersion::Major);
    EXPECT_EQ(VersionMinor, JexVersion::Minor);
    EXPECT_EQ(VersionBuild, JexVersion::Build);
}

TEST(SettingsModule, ResolutionOfZeroOrLessIsReplacedBy1200)
{
    const struct {
        int stored, expected;
    } rows[] = {{0, 1200}, {-1, 1200}, {-2147483647 - 1, 1200}, {1, 1}, {300, 300}, {2400, 2400}};
    for (const auto& r : rows)
        EXPECT_EQ(NormalizedStandardDPI(r.stored), r.expected) << r.stored;
}

TEST(SettingsModule, FileManagerExtensionsText)
{
    const struct {
        const char* text;
        QStringList list;
    } rows[] = {
        {"", {"jex", "jex4", "png", "jpg", "bmp"}}, // an empty stored text means the built-in list
        {"jex,jex4,png,jpg,jpeg,bmp", {"jex", "jex4", "png", "jpg", "jpeg", "bmp"}},
        {"tif", {"tif"}},
        {"tif, png", {"tif", "png"}},
        {"tif,", {"tif", ""}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FileManagerExtensionsFromText(QString::fromLatin1(r.text)), r.list) << r.text;

    const QStringList list = {"jex", "tif", "png"};
    EXPECT_EQ(FileManagerExtensionsToText(list), QStringLiteral("jex,tif,png"));
    EXPECT_EQ(FileManagerExtensionsFromText(FileManagerExtensionsToText(list)), list);
}

TEST(SettingsModule, SaveExtensionByFilterIndex)
{
    const struct {
        int index;
        const char* extension;
    } rows[] = {{0, ""}, {1, ".bmp"}, {2, ".jpg"}, {3, ".png"}, {4, ""}, {-1, ""}};
    for (const auto& r : rows)
        EXPECT_EQ(ImageSaveExtension(r.index), QString::fromLatin1(r.extension)) << r.index;
}

TEST(SettingsModule, CursorChoicesMapToProgramCursorNumbers)
{
    const std::array<int, 6> expected = {0, -62, -53, -61, -57, -60};
    EXPECT_EQ(CursorChoices, expected);
}

} // namespace
