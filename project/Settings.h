// The program's behaviour and drawing settings as process-wide variables, with their start values
// and the defaults the registry store gives them when the registry holds none, plus a few shared
// run-time values (brush sets, version numbers, data folder, project-loading flag, stopwatch).
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <limits>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

class TBrushSet;
class TStopUhr;

// Booleans.
extern bool SettingEnableAutoScroll;
extern bool SettingCADCursor;
extern bool SettingRALVisible;
extern bool SettingOVisible;
extern bool SettingTVisible;
extern bool SettingLVisible;
extern bool SettingScaleRAL;
extern bool SettingSwitchOffCursor;
extern bool SettingTWAINCancel;
extern bool SettingDynamicImages;
extern bool SettingEmbedImages;
extern bool SettingDrawIndexLines;
extern bool ProjectLoading; // a project file is being read into a new image window
extern bool SettingTCPIPAutoConnect;
extern bool SettingFilePreview;
extern bool SettingGestureScrolling;
extern bool SettingFixedFontSize;
extern bool SettingAutoFocus;
extern bool SettingAutoCheckUpdates;
extern bool SettingFileManagerDisplayEverything;
extern bool ImagePanning; // the image is dragged with the plain left button in selection mode
extern bool SettingUseMovingTransparency;
extern bool SettingUseProxy;
extern bool SettingProxyUseAuthentication;

// Version of the program file.
extern quint16 VersionMajor;
extern quint16 VersionMinor;
extern quint16 VersionBuild; // shown as the third number

// Integers. Sizes and lengths are screen pixels unless said otherwise.
extern int SettingAutoScrollSpeed;
extern int TWAINSourceIndex; // -1: no scanner source chosen
extern int SettingMSize;     // half side of the measurement-point square
extern int SettingSSize;     // how far a selected point's outline exceeds the point
extern int SettingFSize;     // label font size in points
extern int SettingISize;     // half side of the index-point square, half length of the anchor cross
extern int SettingRALLength; // half length of a right-angle line
extern int SettingUnits;     // 0 cm, 1 mm, 2 1/10 mm, 3 1/100 mm, 4 inch, 5 1/10 inch, 6 1/100 inch, 7 pixels
extern int SettingZoomWidth; // side of the square the magnifier enlarges
extern int SettingAreaBrush; // brush style of the canvas around the images (7 diagonal cross)
extern int SettingMCursor;   // cursor choice 0 to 5, see CursorChoices
extern int SettingICursor;
extern int SettingSCursor;
extern int SettingDigits; // decimal places of ring widths
extern int SettingTextAngle; // degrees
extern int SettingResamplingAlgorithm; // 0 fast resize, 1 point, 2 Gaussian, 3 Lanczos kernel
extern int SettingRALWidth;
extern int SettingILWidth;
extern int SettingMWidth;
extern int SettingStandardDPI; // resolution of a new image window; always > 0 once the store ran
extern int SettingMovingTransparency; // opacity 0 to 255
extern int SettingProxyPort;

// Colours, $00BBGGRR.
extern int SettingCADColor;
extern int SettingMColor;
extern int SettingIColor;
extern int SettingILColor;
extern int SettingMLColor;
extern int SettingMSColor;
extern int SettingISColor;
extern int SettingRALColor;
extern int SettingAreaColor;
extern int SettingTextColor;

// Texts and objects.
extern std::vector<std::unique_ptr<TBrushSet>> BrushSetList; // owned presets, in list order
extern QStringList SettingFileManagerDisplayExtensions;
extern std::unique_ptr<TStopUhr> Stopwatch; // times mouse presses for inertia scrolling
extern TBrushSet* CurrentBrushSet; // one of BrushSetList or none
extern QString SettingFontName;
extern QString DataFolder;
extern QString SettingProxyServer;
extern QString SettingProxyUser;
extern QString SettingProxyPassword; // plain text, as stored
extern QString SettingPath_PTOGen;
extern QString SettingPath_CPFind;

// Where the packaged panorama tools (hugin-tools) put pto_gen and cpfind; the settings start there.
inline constexpr const char* DefaultPath_PTOGen = "/usr/bin/pto_gen";
inline constexpr const char* DefaultPath_CPFind = "/usr/bin/cpfind";

// The resolution a new image window gets when nothing better is known.
inline constexpr int DefaultStandardDPI = 1200;

// A resolution of 0 or less would divide by zero in every unit conversion, so it never enters
// SettingStandardDPI: the store passes what it read through here.
int NormalizedStandardDPI(int value);

// The registry holds the file manager's extensions as one comma-separated text.
// An empty text stands for the built-in list "jex,jex4,png,jpg,bmp".
QStringList FileManagerExtensionsFromText(const QString& text);
QString FileManagerExtensionsToText(const QStringList& extensions);

// Extension for the filter index 1 (".bmp"), 2 (".jpg") or 3 (".png") of an image save dialog;
// empty for any other index.
inline constexpr std::array<const char*, 3> ImageSaveExtensions = {".bmp", ".jpg", ".png"};
QString ImageSaveExtension(int filterIndex);

// Cursor numbers of the cursor choices 0 to 5 (SettingMCursor, SettingICursor, SettingSCursor):
// the standard arrow, XBlack, XWhite, XRed, XRedPin, XYellowPin.
inline constexpr std::array<int, 6> CursorChoices = {0, -62, -53, -61, -57, -60};

// The values a stored integer may take. Painting, the link and the dialogs take these numbers as
// they are, so whatever loads them from a file (the store, the brush-set file) repairs a value
// outside first: a size is cut to the nearer end, a choice or a colour gets its default.
struct SettingRange {
    int Min = std::numeric_limits<int>::min();
    int Max = std::numeric_limits<int>::max();
    bool CutToEnd = true; // false: a value outside gets the default

    bool contains(int value) const { return value >= Min && value <= Max; }
};
inline constexpr SettingRange ColourRange{0, 0x00FFFFFF, false}; // $00BBGGRR, no system colours

// Puts `value` back into `range` (the nearer end, or `fallback`). Returns the note for the log,
// naming `name`, the value and what is used instead; empty when the value was in range.
QString RepairToRange(const QString& name, int& value, const SettingRange& range, int fallback);

// One plain settings variable with its start value and, for those the registry store keeps,
// the value an absent registry entry gives.
using SettingRef = std::variant<bool*, int*, QString*, QStringList*>;
using SettingValue = std::variant<bool, int, QString, QStringList>;

struct SettingVariable {
    QString Name;       // registry value name: the variable's name without "Setting"
    SettingRef Variable;
    SettingValue Start; // from program start until the store runs
    std::optional<SettingValue> Absent; // none: not kept in the registry
    std::optional<SettingRange> Range;  // stored integers: the values they may take
};

// Every plain variable above; the stored ones first, in the order the store reads them.
// The version numbers, brush sets and stopwatch are not plain and not listed.
const std::vector<SettingVariable>& SettingVariables();

// RepairToRange with the range and default of the stored integer variable named `name` (letter
// case aside: the brush-set file says "CadColor" for "CADColor"); nothing for any other name.
QString RepairStoredSetting(const QString& name, int& value);

// Gives every listed variable its start value, as at program start; empties the brush sets,
// forgets the current one and restarts the stopwatch as new.
void InitSettingVariables();

// Gives every stored variable the value of an absent registry entry.
void ApplyAbsentSettingDefaults();
