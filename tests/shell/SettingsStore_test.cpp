// Settings store: names, kinds and defaults of every value, the round trip through a fresh store,
// damaged values, reset, and what reaches and comes back from the windows.
#include "shell/SettingsStore.h"

#include "project/Settings.h"
#include "shell/RecentFiles.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMdiArea>
#include <QSet>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <memory>
#include <variant>

namespace {

const QString kRoot = QStringLiteral("\\SOFTWARE\\LUMEK\\JEX4");

using Value = std::variant<int, bool, QString>;
using Ref = std::variant<std::monostate, int*, bool*, QString*, QStringList*>;

enum Mode {
    RW, // read and written
    R,  // read, never written
};

struct Row {
    QString name;
    Value absent; // what an absent value gives
    Mode mode;
    Ref variable; // the settings variable behind it; none for window values
};

Row win(const char* name, Value absent, Mode mode = RW)
{
    return Row{QString::fromLatin1(name), std::move(absent), mode, std::monostate()};
}

template <class T>
Row var(const char* name, Value absent, T* variable)
{
    return Row{QString::fromLatin1(name), std::move(absent), RW, variable};
}

Value text(const char* s) { return Value(QString::fromLatin1(s)); }

// Every value the store reads, with kind and default as the program documents them.
std::vector<Row> storedValues()
{
    const QString home = QDir::homePath();
    return {
        win("RAXO4IP", text("127.0.0.1")),
        win("RAXO4TCP", 13000),
        win("MainForm_X", 0),
        win("MainForm_Y", 0),
        win("MainForm_Width", 1024),
        win("MainForm_Height", 768),
        win("MeasurementForm_X", 300),
        win("MeasurementForm_Y", 300),
        win("MeasurementForm_Width", 250),
        win("MeasurementForm_Height", 180),
        win("MeasurementForm_VSTSOHeight", 100),
        win("MeasurementForm_D1", 0),
        win("MeasurementForm_D2", 0),
        win("MeasurementForm_D3", 250),
        win("MeasurementForm_D4", 180),
        win("MeasurementForm_Col1Visible", true),
        win("MeasurementForm_Col2Visible", true),
        win("MeasurementForm_Col3Visible", true),
        win("ZoomForm_X", 100),
        win("ZoomForm_Y", 100),
        win("ZoomForm_Width", 100),
        win("ZoomForm_Height", 100),
        win("ZoomForm_CrossHairColor", 0x0000CCFF),
        win("ZoomForm_DisplayCrossHairs", true),
        win("ZoomFormVisible", false),
        win("EditNotesFontName", text("Consolas")),
        win("EditNotesFontSize", 10),
        win("EditNotesFontColor", 0),
        win("EditNotesVisible", false),
        win("EditNotesDocked", true),
        win("BirdviewFormVisible", false),
        win("BirdviewForm_X", 150),
        win("BirdviewForm_Y", 150),
        win("BirdviewForm_Width", 200),
        win("BirdviewForm_Height", 100),
        win("BirdviewForm_Thumbnailcolor", 0x0000CCFF),
        win("BirdviewForm_HighlightArea", true),
        win("FileManagerForm_X", 150),
        win("FileManagerForm_Y", 150),
        win("FileManagerForm_Width", 200),
        win("FileManagerForm_Height", 100),
        win("FileManagerFilenameWidth", 250, R),
        win("FileManagerForm_SelectedPath", home),
        win("FileManagerForm_D1", 20),
        win("FileManagerForm_D2", 20),
        win("FileManagerForm_D3", 20),
        win("FileManagerForm_D4", 20),
        win("TrackerFormVisible", false),
        win("TrackerForm_X", 250),
        win("TrackerForm_Y", 250),
        win("TrackerForm_Width", 400),
        win("TrackerFormForm_Height", 250),
        win("TrackerHMin", 0, R),
        win("TrackerHMax", 255, R),
        win("TrackerFormVZoom", 50),
        win("TrackerFormHZoom", 0),
        win("TrackerFormVShift", 255),
        win("TrackerFormLog", true),
        win("TrackerFormDisplayCross", true),
        win("TrackerFromSmooth", 0),
        win("HistogramVisible", false),
        win("Histogram_X", 300),
        win("Histogram_Y", 100),
        win("Histogram_Height", 300),
        win("ICEInitialDir", home),
        win("ClearClipboard", false),
        win("DesktopColor", 0x006F3700),
        win("CreateSeries_SelectedCamera", -1),

        var("FileManagerDisplayEverything", true, &SettingFileManagerDisplayEverything),
        var("FileManagerDisplayExtensions", text("jex,jex4,png,jpg,jpeg,bmp"), &SettingFileManagerDisplayExtensions),
        var("Path_PTOGen", text("/usr/bin/pto_gen"), &SettingPath_PTOGen),
        var("Path_CPFind", text("/usr/bin/cpfind"), &SettingPath_CPFind),
        var("MovingTransparency", 150, &SettingMovingTransparency),
        var("UseMovingTransparency", true, &SettingUseMovingTransparency),
        var("AutoCheckUpdates", true, &SettingAutoCheckUpdates),
        var("StandardDPI", 1200, &SettingStandardDPI),
        var("AutoScrollSpeed", 5, &SettingAutoScrollSpeed),
        var("ScaleRAL", false, &SettingScaleRAL),
        var("EnableAutoScroll", false, &SettingEnableAutoScroll),
        var("CADCursor", false, &SettingCADCursor),
        var("SwitchOffCursor", false, &SettingSwitchOffCursor),
        var("CADColor", 0x00FFFFFF, &SettingCADColor),
        var("FixedFontSize", true, &SettingFixedFontSize),
        var("SSize", 2, &SettingSSize),
        var("MSize", 4, &SettingMSize),
        var("ISize", 4, &SettingISize),
        var("FSize", 12, &SettingFSize),
        var("MCursor", 1, &SettingMCursor),
        var("ICursor", 1, &SettingICursor),
        var("SCursor", 3, &SettingSCursor),
        var("MColor", 0x0000CCFF, &SettingMColor),
        var("IColor", 0x0000FFFF, &SettingIColor),
        var("ILColor", 0x0000FFFF, &SettingILColor),
        var("MLColor", 0x0000CCFF, &SettingMLColor),
        var("MSColor", 0x0000FF00, &SettingMSColor),
        var("ISColor", 0x0000FF00, &SettingISColor),
        var("AreaColor", 0, &SettingAreaColor),
        var("AreaBrush", 7, &SettingAreaBrush),
        var("TextColor", 0x0000FFFF, &SettingTextColor),
        var("RALColor", 0x0000FFFF, &SettingRALColor),
        var("RALLength", 50, &SettingRALLength),
        var("RALVisible", true, &SettingRALVisible),
        var("RALWidth", 1, &SettingRALWidth),
        var("MWidth", 1, &SettingMWidth),
        var("ILWidth", 1, &SettingILWidth),
        var("TextAngle", 0, &SettingTextAngle),
        var("OVisible", true, &SettingOVisible),
        var("TVisible", true, &SettingTVisible),
        var("LVisible", true, &SettingLVisible),
        var("DynamicImages", false, &SettingDynamicImages),
        var("ResamplingAlgorithm", 1, &SettingResamplingAlgorithm),
        var("Units", 3, &SettingUnits),
        var("Digits", 2, &SettingDigits),
        var("FontName", text("Consolas"), &SettingFontName),
        var("TWAINCancel", false, &SettingTWAINCancel),
        var("EmbedImages", false, &SettingEmbedImages),
        var("ZoomWidth", 41, &SettingZoomWidth),
        var("DrawIndexLines", true, &SettingDrawIndexLines),
        var("TCPIPAutoConnect", false, &SettingTCPIPAutoConnect),
        var("FilePreview", true, &SettingFilePreview),
        var("GestureScrolling", true, &SettingGestureScrolling),
        var("AutoFocus", true, &SettingAutoFocus),
        var("ProxyServer", text(""), &SettingProxyServer),
        var("ProxyPort", 80, &SettingProxyPort),
        var("ProxyUser", text(""), &SettingProxyUser),
        var("ProxyPassword", text(""), &SettingProxyPassword),
        var("ProxyUseAuthentication", false, &SettingProxyUseAuthentication),
        var("UseProxy", false, &SettingUseProxy),
    };
}

// What the stored integers may hold. Sizes outside are cut to the nearer end; choices and colours
// (cut false) get their default.
struct Range {
    int min;
    int max;
    bool cut;
};

const QHash<QString, Range>& integerRanges()
{
    static const QHash<QString, Range> ranges = [] {
        const Range position{-32768, 32767, true}, size{0, 32767, true}, colour{0, 0xFFFFFF, false};
        QHash<QString, Range> r;
        for (const char* form : {"MainForm", "MeasurementForm", "ZoomForm", "BirdviewForm", "FileManagerForm", "TrackerForm"}) {
            const QString f = QString::fromLatin1(form);
            r.insert(f + "_X", position);
            r.insert(f + "_Y", position);
            r.insert(f + "_Width", size);
            r.insert(f == QLatin1String("TrackerForm") ? QStringLiteral("TrackerFormForm_Height") : f + "_Height", size);
        }
        for (const char* form : {"MeasurementForm", "FileManagerForm"})
            for (int i = 1; i <= 4; ++i)
                r.insert(QStringLiteral("%1_D%2").arg(QLatin1String(form)).arg(i), position);
        r.insert("Histogram_X", position);
        r.insert("Histogram_Y", position);
        r.insert("Histogram_Height", size);
        r.insert("MeasurementForm_VSTSOHeight", size);
        r.insert("FileManagerFilenameWidth", size);
        r.insert("RAXO4TCP", {1, 65535, false});
        r.insert("EditNotesFontSize", {1, 1000, true});
        r.insert("TrackerHMin", {0, 255, true});
        r.insert("TrackerHMax", {1, 1000, true});
        r.insert("TrackerFormVZoom", {1, 1000, true});
        r.insert("TrackerFormHZoom", {0, 1500, true});
        r.insert("TrackerFormVShift", {0, 255, true});
        r.insert("TrackerFromSmooth", {0, 255, true});
        r.insert("CreateSeries_SelectedCamera", {-1, 3, false});
        for (const char* c : {"ZoomForm_CrossHairColor", "EditNotesFontColor", "BirdviewForm_Thumbnailcolor", "DesktopColor",
                              "CADColor", "MColor", "IColor", "ILColor", "MLColor", "MSColor", "ISColor", "AreaColor",
                              "TextColor", "RALColor"})
            r.insert(QString::fromLatin1(c), colour);
        r.insert("MovingTransparency", {0, 255, true});
        r.insert("AutoScrollSpeed", {2, 20, true});
        r.insert("SSize", {1, 5, true});
        r.insert("MSize", {1, 20, true});
        r.insert("ISize", {1, 20, true});
        r.insert("FSize", {1, 1000, true});
        for (const char* c : {"MCursor", "ICursor", "SCursor"})
            r.insert(QString::fromLatin1(c), {0, 5, false});
        r.insert("AreaBrush", {0, 7, false});
        r.insert("RALLength", {0, 32767, true});
        for (const char* w : {"RALWidth", "MWidth", "ILWidth"})
            r.insert(QString::fromLatin1(w), {1, 5, true});
        r.insert("TextAngle", {0, 90, true});
        r.insert("ResamplingAlgorithm", {0, 3, false});
        r.insert("Units", {0, 7, false});
        r.insert("Digits", {0, 4, true});
        r.insert("ZoomWidth", {10, 100, true});
        r.insert("ProxyPort", {1, 65535, false});
        return r;
    }();
    return ranges;
}

// Values that only a living window can tell, and the notes bounds nobody knows without one.
const char* const kWrittenOnlyWithWindows[] = {
    "MeasurementForm_Visible", "MeasurementForm_Docked", "FileManagerFormVisible", "FileManagerForm_Docked",
    "Histogram_Width", "ZoomForm_Docked", "BirdViewForm_Docked", "ZoomForm_D1", "ZoomForm_D4", "BirdviewForm_D1",
    "BirdviewForm_D4", "EditNotesX1", "EditNotesY1", "EditNotesX2", "EditNotesY2", "MainForm_DockLayout",
};

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

// The value as the store keeps it; none when it is absent or of another kind than `like`.
std::optional<Value> storedValue(const Registry& reg, const QString& name, const Value& like)
{
    if (!reg.ValueExists(name))
        return std::nullopt;
    try {
        if (std::holds_alternative<QString>(like))
            return Value(reg.ReadString(name));
        if (std::holds_alternative<bool>(like)) {
            const int n = reg.ReadInteger(name);
            if (n != 0 && n != 1)
                return Value(n); // a Boolean is stored as 0 or 1
            return Value(n == 1);
        }
        return Value(reg.ReadInteger(name));
    } catch (const ERegistryException&) {
        return std::nullopt;
    }
}

void store(Registry& reg, const QString& name, const Value& v)
{
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, QString>)
                reg.WriteString(name, x);
            else if constexpr (std::is_same_v<T, bool>)
                reg.WriteBool(name, x);
            else
                reg.WriteInteger(name, x);
        },
        v);
}

// A value unlike the default of the same kind.
Value sampleFor(const Row& row, int i)
{
    if (row.name == QLatin1String("FileManagerDisplayExtensions"))
        return text("tif,png");
    return std::visit(
        [&](const auto& x) -> Value {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, QString>) {
                return QStringLiteral("sample %1 \u00E4&\\").arg(i);
            } else if constexpr (std::is_same_v<T, bool>) {
                return !x;
            } else {
                const auto range = integerRanges().constFind(row.name);
                if (range == integerRanges().constEnd() || x + 1000 + i <= range->max)
                    return x + 1000 + i;
                // A small range: some other value inside it.
                const int span = range->max - range->min + 1;
                const int v = range->min + i % span;
                return v != x ? v : range->min + (i + 1) % span;
            }
        },
        row.absent);
}

// The variable's value in the form the store keeps it; none for window values.
std::optional<Value> variableValue(const Ref& ref)
{
    if (auto p = std::get_if<int*>(&ref))
        return Value(**p);
    if (auto p = std::get_if<bool*>(&ref))
        return Value(**p);
    if (auto p = std::get_if<QString*>(&ref))
        return Value(**p);
    if (auto p = std::get_if<QStringList*>(&ref))
        return Value((*p)->join(QLatin1Char(',')));
    return std::nullopt;
}

int failuresMentioning(const QString& name)
{
    int n = 0;
    for (const auto& e : TF_ErrorLog::Entries())
        if (e->AType == 0 && e->AMessage.contains(QLatin1Char('"') + name + QLatin1Char('"')))
            ++n;
    return n;
}

int failureCount()
{
    int n = 0;
    for (const auto& e : TF_ErrorLog::Entries())
        n += e->AType == 0;
    return n;
}

void writeStoreText(const QByteArray& ini)
{
    QDir().mkpath(QFileInfo(Registry::storeFileName()).absolutePath());
    QFile file(Registry::storeFileName());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ini);
}

class SettingsStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitSettingVariables();
        WindowValues() = StoredWindowValues();
        ForgetSettingsStoreState();
        TF_ErrorLog::ClearLog();
    }
    void TearDown() override
    {
        WindowValues() = StoredWindowValues();
        ForgetSettingsStoreState();
    }
};

TEST_F(SettingsStoreTest, EmptyStoreGivesEveryDefaultAndSaveWritesExactlyTheKnownValues)
{
    ASSERT_FALSE(QFileInfo::exists(Registry::storeFileName()));
    LoadSettings();
    EXPECT_TRUE(SettingsLoaded());
    EXPECT_EQ(failureCount(), 0);
    SaveSettings();

    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    QSet<QString> expectedNames;
    for (const Row& row : storedValues()) {
        SCOPED_TRACE(row.name.toStdString());
        if (const auto v = variableValue(row.variable)) {
            EXPECT_EQ(*v, row.absent) << show(*v);
        }
        const std::optional<Value> stored = storedValue(reg, row.name, row.absent);
        if (row.mode == R) {
            EXPECT_FALSE(reg.ValueExists(row.name)) << "read-only values are never written";
            continue;
        }
        expectedNames << row.name;
        ASSERT_TRUE(stored.has_value()) << "missing or of another kind";
        EXPECT_EQ(*stored, row.absent) << show(*stored);
    }
    for (const char* name : kWrittenOnlyWithWindows)
        EXPECT_FALSE(reg.ValueExists(QString::fromLatin1(name))) << name;
    const QStringList written = reg.GetValueNames();
    EXPECT_EQ(QSet<QString>(written.begin(), written.end()), expectedNames);
}

TEST_F(SettingsStoreTest, EveryValueSurvivesASaveAndALoadInAFreshStore)
{
    const std::vector<Row> rows = storedValues();
    std::vector<Value> samples;
    QHash<QString, Value> sampleOf;
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        for (size_t i = 0; i < rows.size(); ++i) {
            samples.push_back(sampleFor(rows[i], int(i)));
            sampleOf.insert(rows[i].name, samples.back());
            store(reg, rows[i].name, samples.back());
        }
    }
    LoadSettings();
    EXPECT_EQ(failureCount(), 0);
    for (size_t i = 0; i < rows.size(); ++i)
        if (const auto v = variableValue(rows[i].variable)) {
            EXPECT_EQ(*v, samples[i]) << rows[i].name.toStdString() << " holds " << show(*v);
        }
    EXPECT_EQ(WindowValues().Tracker.HMax, std::get<int>(sampleOf.value("TrackerHMax"))) << "read-only values load too";

    // Only what the program holds goes back: the read-only values do not.
    Registry().DeleteKey(kRoot);
    SaveSettings();
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, false));
        for (size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(rows[i].name.toStdString());
            const std::optional<Value> stored = storedValue(reg, rows[i].name, rows[i].absent);
            if (rows[i].mode == R) {
                EXPECT_FALSE(stored.has_value());
            } else {
                ASSERT_TRUE(stored.has_value());
                EXPECT_EQ(*stored, samples[i]) << show(*stored);
            }
        }
    }

    // A restart reads them back.
    InitSettingVariables();
    WindowValues() = StoredWindowValues();
    LoadSettings();
    for (size_t i = 0; i < rows.size(); ++i)
        if (const auto v = variableValue(rows[i].variable)) {
            EXPECT_EQ(*v, samples[i]) << rows[i].name.toStdString();
        }
    EXPECT_EQ(WindowValues().MainForm.Top, std::get<int>(sampleOf.value("MainForm_X")));
    EXPECT_EQ(WindowValues().Tracker.Smooth, std::get<int>(sampleOf.value("TrackerFromSmooth")));
    EXPECT_EQ(WindowValues().FileManager.SelectedPath, std::get<QString>(sampleOf.value("FileManagerForm_SelectedPath")));
}

TEST_F(SettingsStoreTest, DamagedValuesGetTheirDefaultsAndAreLoggedWhileTheOthersLoad)
{
    // Hand-edited and mistyped values amid sound ones; the first damaged one comes early in the
    // reading order, sound ones follow it.
    writeStoreText("[General]\n"
                   "RAXO4IP=dword:0000002a\n"        // number where text belongs
                   "RAXO4TCP=dword:00001f90\n"       // sound: 8080
                   "MainForm_Width=sz:wide\n"        // text where a number belongs
                   "MainForm_Height=dword:00000258\n" // sound: 600
                   "FSize=sz:twelve\n"
                   "FontName=dword:00000007\n"
                   "TVisible=hex:000000000000f03f\n" // a float where a Boolean belongs
                   "MColor=dword:zz\n"               // garbage number
                   "StandardDPI=dword:123456789\n"   // more than 32 bits
                   "MSize=dword:00000009\n"          // sound
                   "Units=dword:00000005\n"          // sound
                   "UseProxy=dword:00000001\n"       // sound, last in the reading order
                   "TrackerFromSmooth=plain\n");     // no kind at all
    LoadSettings();

    struct Damaged {
        const char* name;
        std::function<bool()> hasDefault;
    };
    const Damaged damaged[] = {
        {"RAXO4IP", [] { return WindowValues().LinkAddress == QLatin1String("127.0.0.1"); }},
        {"MainForm_Width", [] { return WindowValues().MainForm.Width == 1024; }},
        {"FSize", [] { return SettingFSize == 12; }},
        {"FontName", [] { return SettingFontName == QLatin1String("Consolas"); }},
        {"TVisible", [] { return SettingTVisible; }},
        {"MColor", [] { return SettingMColor == 0x0000CCFF; }},
        {"StandardDPI", [] { return SettingStandardDPI == 1200; }},
        {"TrackerFromSmooth", [] { return WindowValues().Tracker.Smooth == 0; }},
    };
    for (const Damaged& d : damaged) {
        EXPECT_TRUE(d.hasDefault()) << d.name;
        EXPECT_EQ(failuresMentioning(QString::fromLatin1(d.name)), 1) << d.name;
    }
    EXPECT_EQ(failureCount(), int(std::size(damaged)));
    EXPECT_EQ(WindowValues().LinkPort, 8080);
    EXPECT_EQ(WindowValues().MainForm.Height, 600);
    EXPECT_EQ(SettingMSize, 9);
    EXPECT_EQ(SettingUnits, 5);
    EXPECT_TRUE(SettingUseProxy);
    // Everything else loaded too, so nothing of the user's is lost at exit.
    EXPECT_EQ(SettingISize, 4);
    EXPECT_EQ(SettingZoomWidth, 41);

    SaveSettings();
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("RAXO4TCP")), 8080);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("MSize")), 9);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Units")), 5);
    EXPECT_TRUE(reg.ReadBool(QStringLiteral("UseProxy")));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("FSize")), 12);
    EXPECT_EQ(reg.ReadString(QStringLiteral("RAXO4IP")), QStringLiteral("127.0.0.1"));
}

TEST_F(SettingsStoreTest, SpecialValuesReadAndWriteByTheirRules)
{
    struct Case {
        const char* name;
        Value stored;
        std::function<bool()> loaded;
        Value writtenBack;
    };
    const Case cases[] = {
        {"StandardDPI", 0, [] { return SettingStandardDPI == 1200; }, 1200},
        {"StandardDPI", -300, [] { return SettingStandardDPI == 1200; }, 1200},
        {"StandardDPI", 96, [] { return SettingStandardDPI == 96; }, 96},
        {"FileManagerDisplayExtensions", text(""),
         [] { return SettingFileManagerDisplayExtensions == QStringList{"jex", "jex4", "png", "jpg", "bmp"}; },
         text("jex,jex4,png,jpg,bmp")},
        {"FileManagerDisplayExtensions", text("tif"), [] { return SettingFileManagerDisplayExtensions == QStringList{"tif"}; },
         text("tif")},
        {"TVisible", 7, [] { return SettingTVisible; }, true}, // any non-zero number is true
        {"SSize", 3, [] { return SettingSSize == 3; }, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " = " + show(c.stored));
        Registry().DeleteKey(kRoot);
        {
            Registry reg;
            ASSERT_TRUE(reg.OpenKey(kRoot, true));
            store(reg, QString::fromLatin1(c.name), c.stored);
        }
        InitSettingVariables();
        LoadSettings();
        EXPECT_TRUE(c.loaded());
        SaveSettings();
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, false));
        const auto back = storedValue(reg, QString::fromLatin1(c.name), c.writtenBack);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, c.writtenBack) << show(*back);
    }
}

// A hand-edited store (or another program's) must not bring a size of 2^31 into painting or a
// unit of 5000 into the exports: every integer is put back into its range, with a note each.
TEST_F(SettingsStoreTest, IntegersOutsideTheirRangeAreRepairedAndLogged)
{
    std::vector<Row> integers;
    for (const Row& r : storedValues())
        if (std::holds_alternative<int>(r.absent) && r.name != QLatin1String("StandardDPI"))
            integers.push_back(r);
    for (const Row& r : integers)
        EXPECT_TRUE(integerRanges().contains(r.name)) << r.name.toStdString() << " has no range";

    const bool below[] = {true, false};
    for (const bool low : below) {
        for (const bool far : {true, false}) {
            SCOPED_TRACE(std::string(low ? "below" : "above") + (far ? ", far" : ", by one"));
            Registry().DeleteKey(kRoot);
            {
                Registry reg;
                ASSERT_TRUE(reg.OpenKey(kRoot, true));
                for (const Row& r : integers) {
                    const Range range = integerRanges().value(r.name);
                    const int value = far ? (low ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max())
                                          : (low ? range.min - 1 : range.max + 1);
                    reg.WriteInteger(r.name, value);
                }
            }
            InitSettingVariables();
            WindowValues() = StoredWindowValues();
            TF_ErrorLog::ClearLog();
            LoadSettings();
            EXPECT_EQ(failureCount(), 0);
            SaveSettings();
            Registry reg;
            ASSERT_TRUE(reg.OpenKey(kRoot, false));
            for (const Row& r : integers) {
                const Range range = integerRanges().value(r.name);
                const int expected = range.cut ? (low ? range.min : range.max) : std::get<int>(r.absent);
                if (const auto v = variableValue(r.variable)) {
                    EXPECT_EQ(*v, Value(expected)) << r.name.toStdString();
                }
                if (r.mode == RW) {
                    EXPECT_EQ(reg.ReadInteger(r.name), expected) << r.name.toStdString() << " is written repaired";
                }
                int notes = 0;
                for (const auto& e : TF_ErrorLog::Entries())
                    notes += e->AType == 3 && e->AMessage.contains(QLatin1Char('"') + r.name + QLatin1Char('"'));
                EXPECT_EQ(notes, 1) << r.name.toStdString();
            }
        }
    }
    EXPECT_EQ(WindowValues().Tracker.HMin, 255) << "read-only values are repaired too";

    // Inside the range nothing is said.
    Registry().DeleteKey(kRoot);
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteInteger(QStringLiteral("MSize"), 20);
        reg.WriteInteger(QStringLiteral("Digits"), 0);
    }
    TF_ErrorLog::ClearLog();
    LoadSettings();
    EXPECT_EQ(SettingMSize, 20);
    EXPECT_EQ(SettingDigits, 0);
    EXPECT_TRUE(TF_ErrorLog::Entries().empty());
}

TEST_F(SettingsStoreTest, ResetRemovesEverythingAndNothingIsWrittenAfterIt)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.jex4"));
    QFile(file).open(QIODevice::WriteOnly);
    THistoryList recent;
    recent.setRegPath(QStringLiteral("LUMEK\\JEX4"));
    recent.setRegKey(QStringLiteral("RecentFiles"));
    recent.setMaxItems(8);
    recent.addFilename(file, file);

    LoadSettings();
    SettingFSize = 30;
    SaveSettings();
    recent.saveToRegistry();
    ASSERT_TRUE(Registry().KeyExists(kRoot + QStringLiteral("\\RecentFiles")));

    ResetSettings();
    EXPECT_TRUE(SettingsResetPending());
    EXPECT_FALSE(Registry().KeyExists(kRoot));

    // What the program would write at exit.
    SaveSettings();
    recent.saveToRegistry();
    SaveCreateSeriesSettings(CreateSeriesValues());
    EXPECT_FALSE(Registry().KeyExists(kRoot));
    EXPECT_FALSE(QFileInfo::exists(Registry::storeFileName()));

    // The next start has all defaults and no recent files.
    ForgetSettingsStoreState();
    InitSettingVariables();
    LoadSettings();
    EXPECT_EQ(SettingFSize, 12);
    THistoryList next;
    next.setRegPath(QStringLiteral("LUMEK\\JEX4"));
    next.setRegKey(QStringLiteral("RecentFiles"));
    next.setMaxItems(8);
    EXPECT_EQ(next.entryCount(), 0);
}

TEST_F(SettingsStoreTest, SaveBeforeLoadKeepsTheUsersValues)
{
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteInteger(QStringLiteral("FSize"), 20);
        reg.WriteString(QStringLiteral("FontName"), QStringLiteral("Mono"));
    }
    // The start values (FSize 0, no font) must never replace them.
    SaveSettings();
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("FSize")), 20);
    EXPECT_EQ(reg.ReadString(QStringLiteral("FontName")), QStringLiteral("Mono"));
    EXPECT_EQ(reg.GetValueNames().size(), 2);
}

TEST_F(SettingsStoreTest, WindowsThatExistArePlacedAndReadBack)
{
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteInteger(QStringLiteral("MainForm_X"), 40); // top
        reg.WriteInteger(QStringLiteral("MainForm_Y"), 30); // left
        reg.WriteInteger(QStringLiteral("MainForm_Width"), 900);
        reg.WriteInteger(QStringLiteral("MainForm_Height"), 700);
        reg.WriteInteger(QStringLiteral("DesktopColor"), 0x00112233);
        reg.WriteBool(QStringLiteral("MeasurementForm_Col2Visible"), false);
        reg.WriteInteger(QStringLiteral("ZoomForm_X"), 11); // top
        reg.WriteInteger(QStringLiteral("ZoomForm_Y"), 22); // left
        reg.WriteInteger(QStringLiteral("ZoomForm_Width"), 130);
        reg.WriteInteger(QStringLiteral("ZoomForm_Height"), 140);
        reg.WriteBool(QStringLiteral("ZoomFormVisible"), true);
    }
    TF_Main main;
    F_Main = &main;
    auto tool = std::make_unique<TF_Measurements>();
    F_Measurements = tool.get();
    QWidget zoom(nullptr, Qt::Tool);
    WindowValues().Zoom.Form = &zoom;

    LoadSettings();
    EXPECT_EQ(main.pos(), QPoint(30, 40));
    EXPECT_EQ(main.size(), QSize(900, 700));
    EXPECT_EQ(main.mdiArea()->background().color(), QColor(0x33, 0x22, 0x11));
    EXPECT_TRUE(main.IsDocked(tool.get()));
    EXPECT_FALSE(main.P_Dock->isVisible()) << "the main window shows the dock after loading";
    EXPECT_FALSE(tool->VST->isColumnHidden(MeasurementTreeModel::ColComment));
    EXPECT_TRUE(tool->VST->isColumnHidden(MeasurementTreeModel::ColDistance));
    EXPECT_FALSE(tool->VST->isColumnHidden(MeasurementTreeModel::ColCoordinates));
    EXPECT_EQ(zoom.pos(), QPoint(22, 11));
    EXPECT_EQ(zoom.size(), QSize(130, 140));
    EXPECT_TRUE(zoom.isVisible());

    main.move(50, 60);
    main.mdiArea()->setBackground(QColor(0x01, 0x02, 0x03));
    tool->VST->setColumnHidden(MeasurementTreeModel::ColComment, true);
    zoom.move(5, 6);
    zoom.hide();
    SaveSettings();

    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("MainForm_X")), 60);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("MainForm_Y")), 50);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("DesktopColor")), 0x00030201);
    EXPECT_FALSE(reg.ReadBool(QStringLiteral("MeasurementForm_Col1Visible")));
    EXPECT_FALSE(reg.ReadBool(QStringLiteral("MeasurementForm_Col2Visible")));
    EXPECT_TRUE(reg.ReadBool(QStringLiteral("MeasurementForm_Col3Visible")));
    EXPECT_TRUE(reg.ReadBool(QStringLiteral("MeasurementForm_Docked")));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("ZoomForm_X")), 6);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("ZoomForm_Y")), 5);
    EXPECT_FALSE(reg.ReadBool(QStringLiteral("ZoomFormVisible")));
    EXPECT_FALSE(reg.ReadBool(QStringLiteral("ZoomForm_Docked")));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("ZoomForm_D3")), 0) << "not docked: empty rectangle";
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("BirdViewForm_Docked"))) << "no bird's-eye view exists";

    F_Measurements = nullptr;
    tool.reset();
    F_Main = nullptr;
}

TEST_F(SettingsStoreTest, SeriesValuesRoundTripAndAMissingFolderGivesTheDataFolder)
{
    QTemporaryDir images;
    DataFolder = QStringLiteral("/data/folder");
    CreateSeriesValues values;
    EXPECT_EQ(LoadCreateSeriesSettings(values), 0);
    EXPECT_EQ(values.LastPath, DataFolder) << "the default \"c:\" is no folder here";
    EXPECT_EQ(values.Placement.Top, 100);
    EXPECT_EQ(values.Placement.Width, 800);
    EXPECT_EQ(values.CrossHairsColor, 0x000080FF);
    EXPECT_TRUE(values.CrossHairsVisible);

    const CreateSeriesValues saved{{12, 34, 560, 780}, images.path(), 0x00123456, false};
    SaveCreateSeriesSettings(saved);
    CreateSeriesValues back;
    LoadCreateSeriesSettings(back);
    EXPECT_EQ(back.Placement.Top, 12);
    EXPECT_EQ(back.Placement.Left, 34);
    EXPECT_EQ(back.Placement.Width, 560);
    EXPECT_EQ(back.Placement.Height, 780);
    EXPECT_EQ(back.LastPath, images.path());
    EXPECT_EQ(back.CrossHairsColor, 0x00123456);
    EXPECT_FALSE(back.CrossHairsVisible);

    const QString gone = images.path();
    images.remove();
    CreateSeriesValues later;
    LoadCreateSeriesSettings(later);
    EXPECT_NE(later.LastPath, gone);
    EXPECT_EQ(later.LastPath, DataFolder);

    // Out of range: the placement is cut to what the window system holds, the colour is the default.
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteInteger(QStringLiteral("CreateSeriesW"), std::numeric_limits<int>::max());
        reg.WriteInteger(QStringLiteral("CreateSeriesX"), std::numeric_limits<int>::min());
        reg.WriteInteger(QStringLiteral("CreateSeries_CrossHairsColor"), -16);
    }
    CreateSeriesValues repaired;
    LoadCreateSeriesSettings(repaired);
    EXPECT_EQ(repaired.Placement.Width, 32767);
    EXPECT_EQ(repaired.Placement.Top, -32768);
    EXPECT_EQ(repaired.CrossHairsColor, 0x000080FF);
    DataFolder.clear();
}

} // namespace
