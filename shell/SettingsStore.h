// The per-user settings store: the settings variables and the placements and options of the
// windows, read once at the main window's first showing and written once when it closes. Windows
// that the program has not built keep their values here, so what was read is written back as it was.
#pragma once

#include "platform/Registry.h"

#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

// The key every value of the program lives under.
inline const QString SettingsKey = QStringLiteral("\\SOFTWARE\\LUMEK\\JEX4");

// The registry with readers that have a default. An absent value gives the default; a value of
// another kind (or a number that does not parse) gives the default too, with a failure in the log,
// so one damaged value never keeps the others from loading.
class TExtRegistry : public Registry {
public:
    using Registry::ReadBool;
    using Registry::ReadFloat;
    using Registry::ReadInteger;
    using Registry::ReadString;

    int ReadInteger(const QString& Key, int Default);
    QString ReadString(const QString& Key, const QString& Default);
    bool ReadBool(const QString& Key, bool Default);
    double ReadFloat(const QString& Key, double Default);

    // How many values were damaged since construction.
    int damagedValues() const { return m_damaged; }

private:
    template <class T, class Read>
    T readOr(const QString& Key, const T& Default, Read read);

    int m_damaged = 0;
};

// Where a window sits, in the store's meaning: "_X" holds the top edge, "_Y" the left edge.
struct FormPlacement {
    int Top = 0;
    int Left = 0;
    int Width = 0;
    int Height = 0;
};

// Moves and sizes a window to the placement; nothing without a window.
void ApplyPlacement(QWidget* form, const FormPlacement& placement);
// The window's current placement; `placement` stays as it is without a window.
void TakePlacement(const QWidget* form, FormPlacement& placement);

// A dock rectangle as stored ("_D1" to "_D4"): left, top, right, bottom, right and bottom just
// outside. All zero for a window that is not docked.
struct DockRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};
DockRect DockRectOf(const QRect& bounds);

// What every tool window keeps. `Form` is set by whoever builds the window; until then (and after
// it is gone) the values are only kept and written back as they were read.
struct ToolWindowValues {
    QPointer<QWidget> Form;
    FormPlacement Placement;
    bool Visible = false;
    bool Docked = false; // written only while the window exists
    DockRect Dock;
};

struct MeasurementWindowValues : ToolWindowValues {
    int VSTSOHeight = 100;                            // height of the image tree
    std::array<bool, 3> ColVisible{true, true, true}; // columns 1 to 3 of the measurement tree
};

struct ZoomWindowValues : ToolWindowValues {
    int CrossHairColor = 0x0000CCFF;
    bool DisplayCrossHairs = true;
};

// The notes window's placement defaults to where the window is; without a window and without
// stored values nothing is known and nothing is written.
struct NotesWindowValues : ToolWindowValues {
    bool PlacementKnown = false;
    QString FontName = QStringLiteral("Consolas");
    int FontSize = 10;
    int FontColor = 0;
    bool DockedAtBottom = true; // "EditNotesDocked"
};

struct BirdViewWindowValues : ToolWindowValues {
    int Thumbnailcolor = 0x0000CCFF;
    bool HighlightArea = true;
};

struct FileManagerWindowValues : ToolWindowValues {
    int FilenameWidth = 250; // first column of the folder tree; read only
    QString SelectedPath;
};

struct TrackerWindowValues : ToolWindowValues {
    int HMin = 0; // left axis of the chart; read only
    int HMax = 255;
    int VZoom = 50;
    int HZoom = 0;
    int VShift = 255;
    bool Log = true;
    bool DisplayCross = true;
    int Smooth = 0;
};

// Every window value of the store, with the default an absent value gives. Windows read their
// options from here when they are built and put changes back, so SaveSettings finds them.
struct StoredWindowValues {
    // Main window ("MainForm_..."), its link socket and dialogs.
    FormPlacement MainForm{0, 0, 1024, 768};
    QString LinkAddress = QStringLiteral("127.0.0.1"); // "RAXO4IP"
    int LinkPort = 13000;                              // "RAXO4TCP"
    QString ICEInitialDir;                             // initial folder of the ICE import dialog
    bool ClearClipboard = false;                       // settings dialog option
    int DesktopColor = 0x006F3700;                     // area behind the image windows, $00BBGGRR
    int SelectedCamera = -1;                           // camera wizard: 1 Canon, 2 IS, 3 VfW, -1 none
    // "MainForm_DockLayout": where the tool windows dock, float and share tabs, and their sizes
    // there, as the main window saves its layout (Base64); empty: the windows' own defaults.
    QString DockLayout;

    MeasurementWindowValues Measurement; // its Form follows F_Measurements
    ZoomWindowValues Zoom;
    NotesWindowValues Notes;
    BirdViewWindowValues BirdView;
    FileManagerWindowValues FileManager;
    TrackerWindowValues Tracker;
    ToolWindowValues Histogram;

    StoredWindowValues();
};

// The values the store holds; LoadSettings fills them.
StoredWindowValues& WindowValues();

// Reads every value into the settings variables and WindowValues(), places the existing windows
// and arranges the main window's left dock site. A damaged value gets its default and a line in
// the log; an absent one its default.
void LoadSettings();

// Writes what the program holds: the settings variables, and the window values, taken from each
// window that exists. Writes nothing before LoadSettings ran (the variables would still hold their
// start values, not the user's), nothing after ResetSettings, and nothing when LoadSettings found
// the store file unreadable or damaged as a whole (the user's values there are kept for repair).
// A single damaged value does not stop the save: it got its default and is written with the rest.
void SaveSettings();

// Deletes the whole key with its subkeys; from then on nothing of the store is written again.
void ResetSettings();
// True once ResetSettings ran: the caller ends the program without saving anything at exit.
bool SettingsResetPending();
// True once LoadSettings ran (and no reset followed).
bool SettingsLoaded();
// False after a reset and after loading from a store file that could not be read as a whole:
// nothing of the store (settings, recent files, series values) may be written then.
bool SettingsStoreWritable();
// Back to the state of a program start: nothing loaded, no reset pending.
void ForgetSettingsStoreState();

// The image-series window's own values.
struct CreateSeriesValues {
    FormPlacement Placement{100, 100, 800, 600};
    QString LastPath = QStringLiteral("c:"); // image folder
    int CrossHairsColor = 0x000080FF;
    bool CrossHairsVisible = true;
};

// Reads the series values; a last path that is not an existing folder becomes DataFolder. 0.
int LoadCreateSeriesSettings(CreateSeriesValues& values);
// Writes them; nothing while the store is not writable (SettingsStoreWritable).
void SaveCreateSeriesSettings(const CreateSeriesValues& values);
