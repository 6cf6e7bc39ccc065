// Settings variables: one table gives each its start value and its default for an absent
// registry entry, so the start-up, the store and the tests read the same numbers.
#include "project/Settings.h"

#include "JexVersion.h"
#include "project/Helpers.h"
#include "project/TBrushSet.h"
#include "project/TStopUhr.h"

bool SettingEnableAutoScroll = false;
bool SettingCADCursor = false;
bool SettingRALVisible = false;
bool SettingOVisible = false;
bool SettingTVisible = false;
bool SettingLVisible = false;
bool SettingScaleRAL = false;
bool SettingSwitchOffCursor = false;
bool SettingTWAINCancel = false;
bool SettingDynamicImages = false;
bool SettingEmbedImages = false;
bool SettingDrawIndexLines = false;
bool ProjectLoading = false;
bool SettingTCPIPAutoConnect = false;
bool SettingFilePreview = false;
bool SettingGestureScrolling = false;
bool SettingFixedFontSize = false;
bool SettingAutoFocus = false;
bool SettingAutoCheckUpdates = false;
bool SettingFileManagerDisplayEverything = false;
bool ImagePanning = false;
bool SettingUseMovingTransparency = false;
bool SettingUseProxy = false;
bool SettingProxyUseAuthentication = false;

// The build's version constants stand in for the program file's version resource.
quint16 VersionMajor = JexVersion::Major;
quint16 VersionMinor = JexVersion::Minor;
quint16 VersionBuild = JexVersion::Build;

int SettingAutoScrollSpeed = 0;
int TWAINSourceIndex = 0;
int SettingMSize = 0;
int SettingSSize = 0;
int SettingFSize = 0;
int SettingISize = 0;
int SettingRALLength = 0;
int SettingUnits = 0;
int SettingZoomWidth = 0;
int SettingAreaBrush = 0;
int SettingMCursor = 0;
int SettingICursor = 0;
int SettingSCursor = 0;
int SettingDigits = 0;
int SettingTextAngle = 0;
int SettingResamplingAlgorithm = 0;
int SettingRALWidth = 0;
int SettingILWidth = 0;
int SettingMWidth = 0;
int SettingStandardDPI = 0;
int SettingMovingTransparency = 0;
int SettingProxyPort = 0;

int SettingCADColor = 0;
int SettingMColor = 0;
int SettingIColor = 0;
int SettingILColor = 0;
int SettingMLColor = 0;
int SettingMSColor = 0;
int SettingISColor = 0;
int SettingRALColor = 0;
int SettingAreaColor = 0;
int SettingTextColor = 0;

std::vector<std::unique_ptr<TBrushSet>> BrushSetList;
QStringList SettingFileManagerDisplayExtensions;
std::unique_ptr<TStopUhr> Stopwatch;
TBrushSet* CurrentBrushSet = nullptr;
QString SettingFontName;
QString DataFolder;
QString SettingProxyServer;
QString SettingProxyUser;
QString SettingProxyPassword;
QString SettingPath_PTOGen;
QString SettingPath_CPFind;

namespace {

const QString defaultExtensionsText = QStringLiteral("jex,jex4,png,jpg,jpeg,bmp");
const QString emptyExtensionsText = QStringLiteral("jex,jex4,png,jpg,bmp");

// Built member by member: a braced initialiser with a variant inside an optional makes GCC's
// sanitizer builds warn about an uninitialised temporary.
template <class T>
SettingVariable stored(const char* name, T* variable, const T& start, const T& absent)
{
    SettingVariable entry;
    entry.Name = QString::fromLatin1(name);
    entry.Variable = variable;
    entry.Start.emplace<T>(start);
    entry.Absent.emplace(std::in_place_type<T>, absent);
    return entry;
}

template <class T>
SettingVariable runTime(const char* name, T* variable, const T& start)
{
    SettingVariable entry;
    entry.Name = QString::fromLatin1(name);
    entry.Variable = variable;
    entry.Start.emplace<T>(start);
    return entry;
}

SettingVariable stored(const char* name, QString* variable, const char* start, const char* absent)
{
    return stored(name, variable, QString::fromLatin1(start), QString::fromLatin1(absent));
}

SettingVariable stored(const char* name, int* variable, int start, int absent, SettingRange range)
{
    SettingVariable entry = stored(name, variable, start, absent);
    entry.Range = range;
    return entry;
}

// Sizes are cut to their ends; choices and colours fall back to their default.
constexpr SettingRange sized(int min, int max) { return SettingRange{min, max, true}; }
constexpr SettingRange choice(int min, int max) { return SettingRange{min, max, false}; }

std::vector<SettingVariable> buildTable()
{
    std::vector<SettingVariable> t;
    // Stored ones, in the store's reading order.
    t.push_back(stored("FileManagerDisplayEverything", &SettingFileManagerDisplayEverything, false, true));
    t.push_back(stored("FileManagerDisplayExtensions", &SettingFileManagerDisplayExtensions, QStringList(),
                       FileManagerExtensionsFromText(defaultExtensionsText)));
    t.push_back(stored("Path_PTOGen", &SettingPath_PTOGen, "", DefaultPath_PTOGen));
    t.push_back(stored("Path_CPFind", &SettingPath_CPFind, "", DefaultPath_CPFind));
    t.push_back(stored("MovingTransparency", &SettingMovingTransparency, 0, 150, sized(0, 255)));
    t.push_back(stored("UseMovingTransparency", &SettingUseMovingTransparency, false, true));
    t.push_back(stored("AutoCheckUpdates", &SettingAutoCheckUpdates, false, true));
    t.push_back(stored("StandardDPI", &SettingStandardDPI, 0, DefaultStandardDPI));
    t.push_back(stored("AutoScrollSpeed", &SettingAutoScrollSpeed, 5, 5, sized(2, 20)));
    t.push_back(stored("ScaleRAL", &SettingScaleRAL, false, false));
    t.push_back(stored("EnableAutoScroll", &SettingEnableAutoScroll, false, false));
    t.push_back(stored("CADCursor", &SettingCADCursor, false, false));
    t.push_back(stored("SwitchOffCursor", &SettingSwitchOffCursor, false, false));
    t.push_back(stored("CADColor", &SettingCADColor, 0x00FFFFFF, 0x00FFFFFF, ColourRange));
    t.push_back(stored("FixedFontSize", &SettingFixedFontSize, false, true));
    t.push_back(stored("SSize", &SettingSSize, 0, 2, sized(1, 5)));
    t.push_back(stored("MSize", &SettingMSize, 4, 4, sized(1, 20)));
    t.push_back(stored("ISize", &SettingISize, 4, 4, sized(1, 20)));
    t.push_back(stored("FSize", &SettingFSize, 0, 12, sized(1, 1000)));
    t.push_back(stored("MCursor", &SettingMCursor, 0, 1, choice(0, 5)));
    t.push_back(stored("ICursor", &SettingICursor, 0, 1, choice(0, 5)));
    t.push_back(stored("SCursor", &SettingSCursor, 0, 3, choice(0, 5)));
    t.push_back(stored("MColor", &SettingMColor, 0x0000CCFF, 0x0000CCFF, ColourRange));
    t.push_back(stored("IColor", &SettingIColor, 0x0000FFFF, 0x0000FFFF, ColourRange));
    t.push_back(stored("ILColor", &SettingILColor, 0x0000FFFF, 0x0000FFFF, ColourRange));
    t.push_back(stored("MLColor", &SettingMLColor, 0x0000CCFF, 0x0000CCFF, ColourRange));
    t.push_back(stored("MSColor", &SettingMSColor, 0x0000FF00, 0x0000FF00, ColourRange));
    t.push_back(stored("ISColor", &SettingISColor, 0x0000FF00, 0x0000FF00, ColourRange));
    t.push_back(stored("AreaColor", &SettingAreaColor, 0, 0, ColourRange));
    t.push_back(stored("AreaBrush", &SettingAreaBrush, 7, 7, choice(0, 7)));
    t.push_back(stored("TextColor", &SettingTextColor, 0, 0x0000FFFF, ColourRange));
    t.push_back(stored("RALColor", &SettingRALColor, 0x0000FFFF, 0x0000FFFF, ColourRange));
    t.push_back(stored("RALLength", &SettingRALLength, 50, 50, sized(0, 32767)));
    t.push_back(stored("RALVisible", &SettingRALVisible, true, true));
    t.push_back(stored("RALWidth", &SettingRALWidth, 0, 1, sized(1, 5)));
    t.push_back(stored("MWidth", &SettingMWidth, 0, 1, sized(1, 5)));
    t.push_back(stored("ILWidth", &SettingILWidth, 0, 1, sized(1, 5)));
    t.push_back(stored("TextAngle", &SettingTextAngle, 0, 0, sized(0, 90)));
    t.push_back(stored("OVisible", &SettingOVisible, true, true));
    t.push_back(stored("TVisible", &SettingTVisible, false, true));
    t.push_back(stored("LVisible", &SettingLVisible, false, true));
    t.push_back(stored("DynamicImages", &SettingDynamicImages, false, false));
    t.push_back(stored("ResamplingAlgorithm", &SettingResamplingAlgorithm, 0, 1, choice(0, 3)));
    t.push_back(stored("Units", &SettingUnits, 3, 3, choice(0, 7)));
    t.push_back(stored("Digits", &SettingDigits, 0, 2, sized(0, 4)));
    t.push_back(stored("FontName", &SettingFontName, "", "Consolas"));
    t.push_back(stored("TWAINCancel", &SettingTWAINCancel, false, false));
    t.push_back(stored("EmbedImages", &SettingEmbedImages, false, false));
    t.push_back(stored("ZoomWidth", &SettingZoomWidth, 0, 41, sized(10, 100)));
    t.push_back(stored("DrawIndexLines", &SettingDrawIndexLines, false, true));
    t.push_back(stored("TCPIPAutoConnect", &SettingTCPIPAutoConnect, false, false));
    t.push_back(stored("FilePreview", &SettingFilePreview, false, true));
    t.push_back(stored("GestureScrolling", &SettingGestureScrolling, false, true));
    t.push_back(stored("AutoFocus", &SettingAutoFocus, false, true));
    t.push_back(stored("ProxyServer", &SettingProxyServer, "", ""));
    t.push_back(stored("ProxyPort", &SettingProxyPort, 0, 80, choice(1, 65535)));
    t.push_back(stored("ProxyUser", &SettingProxyUser, "", ""));
    t.push_back(stored("ProxyPassword", &SettingProxyPassword, "", ""));
    t.push_back(stored("ProxyUseAuthentication", &SettingProxyUseAuthentication, false, false));
    t.push_back(stored("UseProxy", &SettingUseProxy, false, false));
    // Run-time values the store leaves alone.
    t.push_back(runTime("ProjectLoading", &ProjectLoading, false));
    t.push_back(runTime("ImagePanning", &ImagePanning, false));
    t.push_back(runTime("TWAINSourceIndex", &TWAINSourceIndex, 0));
    t.push_back(runTime("DataFolder", &DataFolder, QString()));
    return t;
}

void assign(const SettingRef& ref, const SettingValue& value)
{
    std::visit(
        [&value](auto* variable) { *variable = std::get<std::remove_pointer_t<decltype(variable)>>(value); },
        ref);
}

// The module's start-up, before any window exists.
[[maybe_unused]] const bool started = [] {
    InitSettingVariables();
    return true;
}();

} // namespace

int NormalizedStandardDPI(int value)
{
    return value > 0 ? value : DefaultStandardDPI;
}

QStringList FileManagerExtensionsFromText(const QString& text)
{
    QStringList list;
    SplitDelimited(QLatin1Char(','), text.isEmpty() ? emptyExtensionsText : text, list);
    return list;
}

QString FileManagerExtensionsToText(const QStringList& extensions)
{
    return extensions.join(QLatin1Char(','));
}

QString ImageSaveExtension(int filterIndex)
{
    if (filterIndex < 1 || filterIndex > int(ImageSaveExtensions.size()))
        return QString();
    return QString::fromLatin1(ImageSaveExtensions[filterIndex - 1]);
}

QString RepairToRange(const QString& name, int& value, const SettingRange& range, int fallback)
{
    if (range.contains(value))
        return QString();
    const int repaired = range.CutToEnd ? (value < range.Min ? range.Min : range.Max) : fallback;
    const QString note = QStringLiteral("\"%1\" = %2 lies outside %3 to %4; %5 is used")
                             .arg(name)
                             .arg(value)
                             .arg(range.Min)
                             .arg(range.Max)
                             .arg(repaired);
    value = repaired;
    return note;
}

QString RepairStoredSetting(const QString& name, int& value)
{
    for (const SettingVariable& v : SettingVariables())
        if (v.Range && v.Name.compare(name, Qt::CaseInsensitive) == 0)
            return RepairToRange(name, value, *v.Range, std::get<int>(*v.Absent));
    return QString();
}

const std::vector<SettingVariable>& SettingVariables()
{
    static const std::vector<SettingVariable> table = buildTable();
    return table;
}

void InitSettingVariables()
{
    for (const SettingVariable& v : SettingVariables())
        assign(v.Variable, v.Start);
    CurrentBrushSet = nullptr;
    BrushSetList.clear();
    Stopwatch = std::make_unique<TStopUhr>();
}

void ApplyAbsentSettingDefaults()
{
    for (const SettingVariable& v : SettingVariables())
        if (v.Absent)
            assign(v.Variable, *v.Absent);
}
