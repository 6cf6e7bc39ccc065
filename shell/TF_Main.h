// The main window: the frame that holds the image windows (one per open project), docks the tool
// windows on its left, and carries the program-wide commands, menus, tool bar and status bar.
// TF_Main.cpp holds the frame (creation, first showing, closing, cursors, docking, enabling, wheel,
// keys, drops); TF_Main_Commands.cpp the menus and the project and file commands.
#pragma once

#include "platform/Dialogs.h"
#include "shell/DockPanel.h"

#include <QCursor>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QStringList>


class QAction;
class QDockWidget;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolBar;
class QToolButton;
class RAXOLink;
class TF_SMDI;
class THistoryList;
class TStitchObject;
class TTwain;

// Cursor numbers of the screen object: the standard shapes the program uses and its own twelve.
inline constexpr int crDefault = 0;
inline constexpr int crNone = -1;
inline constexpr int crArrow = -2;
inline constexpr int crSizeAll = -22; // four-way move
inline constexpr int crXWhite = -53;
inline constexpr int crXAnchor = -54;
inline constexpr int crXBlackWhite1 = -55;
inline constexpr int crXScissors = -56;
inline constexpr int crXRedPin = -57;
inline constexpr int crXLupe = -58;
inline constexpr int crXHand = -59;
inline constexpr int crXYellowPin = -60;
inline constexpr int crXRed = -61;
inline constexpr int crXBlack = -62;
inline constexpr int crXMover = -63;
inline constexpr int crXDoubleCross = -64;

// The cursor of a cursor number; unknown numbers give the arrow. The twelve program cursors are
// drawn once, on first use.
QCursor CursorByNumber(int number);
// The name under which a program cursor is known ("XWhite" for -53); empty for other numbers.
QString ProgramCursorName(int number);

// The screen's cursor: one shape over every window of the program while it is not crDefault.
void SetScreenCursorNumber(int number);
int ScreenCursorNumber();

class TF_Main : public QMainWindow {
    Q_OBJECT
public:
    explicit TF_Main(QWidget* parent = nullptr);
    ~TF_Main() override;

    // ---- public fields ----
    bool Closing = false;        // the close query has passed: captions stay as they are
    bool MouseOverImage = false; // the wheel zooms only while the mouse is over an image window

    // ---- link to RAXO (TF_Main_Link.cpp) ----
    // The link owns the socket, its reconnect timer and the marks. fs, fr and OldDatagram are the
    // link's own fields, reached here under the names the image windows use.
    RAXOLink* Link = nullptr;
    QPointer<TF_SMDI>& fs(); // window marked as sample by the link
    QPointer<TF_SMDI>& fr(); // window marked as reference by the link
    QString& OldDatagram();  // last message accepted on the link
    // Pictures of the image windows' commands, 16 x 16; 8 marks the reference, 9 the sample.
    QList<QIcon> IL_MDI;
    // Sends the update request to RAXO; false when the link is not connected.
    bool RequestR5Update();
    // End of the first showing: the stored address and port, then the reconnect timer.
    void StartLink();
    // Close handler: the socket goes inactive, and its address and port go back to the store.
    void StopLink();
private:
    void createLink(); // with the frame: inactive, status widgets, glyphs and openers set
public:
    // ---- end of link to RAXO ----

    // ---- scanner (TF_Main_Scanner.cpp) ----
    TTwain* TWAIN = nullptr;
    bool ScanToCurrentProject = false; // the running acquisition was started by "Scan to current project"
    int CurrentTwainSource = -1;       // index of the source enabled last
    void SelectSourceExecute();
    void A_ScanNewExecute();
    void A_ScanToCurrentExecute();
    void TWAINTwainAcquire(TTwain* Sender, int Index, const QImage& Image, bool& Cancel);
    void TWAINAcquireCancel(TTwain* Sender);
    void TWAINAcquireError(TTwain* Sender);
private:
    void createScanner();
    void scanTo(bool currentProject);
    // Offers the save dialog for a scanned image S of W, JPEG preselected.
    void SaveScannedImage(TF_SMDI* W, TStitchObject* S);
public:
    // ---- end of scanner ----

    // ---- components ----
    QMdiArea* mdiArea() const { return m_mdiArea; }
    QStatusBar* SB_Main = nullptr;
    QLabel* SB_MainPanel0 = nullptr; // 250 px: link state
    QLabel* SB_MainPanel1 = nullptr; // 500 px: long hint of the control under the mouse
    QLabel* I_Connected = nullptr;
    QLabel* I_Disconnected = nullptr;
    DockSite* P_Dock = nullptr;      // left dock site
    TDockPanel* DP_Bottom = nullptr; // bottom dock panel, only for the notes window
    QMenuBar* AMM1 = nullptr;      // menu bar
    QToolBar* AMM2 = nullptr;      // tool bar
    QMenu* PAB_Main = nullptr;     // popup of the empty frame area

    QMenu* M_File = nullptr;
    QMenu* M_Edit = nullptr;
    QMenu* M_Project = nullptr;
    QMenu* M_Paths = nullptr;
    QMenu* M_ImageResolution = nullptr;
    QMenu* M_Aquire = nullptr;
    QMenu* M_Image = nullptr;
    QMenu* M_Windows = nullptr;
    QMenu* M_Projects = nullptr; // one entry per image window after its first item
    QMenu* M_Help = nullptr;
    QToolButton* TB_Scan = nullptr;      // drop-down: scan to new or current project
    QToolButton* TB_BrushSets = nullptr; // drop-down: one entry per brush set
    QMenu* M_Scan = nullptr;
    QMenu* M_BrushSets = nullptr;        // its first entry is a hidden placeholder
    THistoryList* HL = nullptr;          // recent files: "RecentFiles", at most 8

    // Project and file commands.
    QAction* A_NewProject = nullptr;
    QAction* A_LoadProject = nullptr;
    QAction* A_SaveProject = nullptr;
    QAction* A_SaveProjectTo = nullptr;
    QAction* A_ExportData = nullptr;
    QAction* A_ConvertJEX = nullptr;
    QAction* CloseMDI = nullptr;
    QAction* A_Exit = nullptr;
    QAction* A_CopyImage = nullptr;
    QAction* A_PasteImage = nullptr;
    QAction* A_MergeImage = nullptr;
    QAction* A_AddImage = nullptr;
    // Scanner commands.
    QAction* SelectSource = nullptr;
    QAction* A_ScanNew = nullptr;
    QAction* A_ScanToCurrent = nullptr;
    // Image, window, settings and help commands. Those whose work is not built yet stay disabled
    // (AMUpdate).
    QAction* Brightness = nullptr;
    QAction* Grayscale = nullptr;
    QAction* Sharpen = nullptr;
    QAction* Soften = nullptr;
    QAction* Invert = nullptr;
    QAction* AddBorder = nullptr;
    QAction* A_Resample = nullptr;
    QAction* MirrorH = nullptr;
    QAction* MirrorV = nullptr;
    QAction* A_Rotate = nullptr;
    QAction* A_MatchImages = nullptr;
    QAction* A_CalibrateDPI = nullptr;
    QAction* A_SetDPI = nullptr;
    QAction* A_CreateSeries = nullptr;
    QAction* A_WindowMeasurements = nullptr;
    QAction* A_WindowZoom = nullptr;
    QAction* A_WindowBirdView = nullptr;
    QAction* A_WindowFiles = nullptr;
    QAction* A_Notes = nullptr;
    QAction* A_WindowHistogram = nullptr;
    QAction* A_WindowTRacker = nullptr;
    QAction* A_SystemLog = nullptr;
    QAction* A_Tile = nullptr;
    QAction* A_Zoom = nullptr;
    QAction* A_RALToggle = nullptr;
    QAction* A_ObjectToggle = nullptr;
    QAction* A_LengthToggle = nullptr;
    QAction* A_TextToggle = nullptr;
    QAction* A_CADCursor = nullptr;
    QAction* A_BrushSets = nullptr;
    QAction* A_Setup = nullptr;
    QAction* A_Help = nullptr;
    QAction* A_About = nullptr;
    QAction* A_CheckForUpdates = nullptr;
    QAction* A_ResetAllSettings = nullptr;

    // File dialogs; each use copies the request and fills in names and folders.
    FileDialogRequest OD;         // open project
    FileDialogRequest SD_Project; // save project
    FileDialogRequest SD_SaveAs;  // save project with its images
    FileDialogRequest OD_Image;   // add images
    FileDialogRequest SD_Image;   // save one image

    // ---- frame (TF_Main.cpp) ----
    // The active image window; none when no project is open.
    TF_SMDI* ActiveMDIChild() const;
    // The image windows in the frame's child order.
    QList<TF_SMDI*> MDIChildren() const;
    // Brings an image window to the front and gives it the focus.
    void ActivateMDIChild(TF_SMDI* window);

    void SetCaption();        // "JEX " + major + "." + minor; nothing once Closing is set
    void UpdateProjectList(); // rebuilds the Projects menu
    void SetScreenCursor();   // cursor and status hint of the active image window by its screen mode
    // Once the frame has laid it out, P_Dock takes the width it was given or the user dragged it
    // to (the first time: its widest docked window's), at least what its shown windows need, at
    // most 800 pixels.
    void UpdateDock();
    // Shows a hidden tool window and hides a shown one, with the dock widget that carries it.
    void ToggleToolWindow(QWidget* form);
    void A_WindowBirdViewExecute();
    void A_WindowZoomExecute();
    void A_WindowHistogramExecute();
    void A_WindowTRackerExecute();
    void A_NotesExecute();
    // Lets a tool window dock: in its dock widget it docks on the left, shown or hidden as it
    // was, may float, shares tabs, and keeps its place across restarts; docking and undocking
    // it resize the left dock. Call once the window exists, before the settings load at the first
    // showing. Returns its dock widget.
    QDockWidget* RegisterToolWindow(QWidget* form);
    // The bottom panel takes only the notes window.
    static bool DP_BottomPanelDockOver(QWidget* form);
    bool IsDocked(QWidget* AForm) const;
    QRect GetDockPos(QWidget* AForm) const;
    // The text of a Projects-menu entry: "<file> [<file>]", or "<name> [Not saved]" without a file
    // name.
    static QString ProjectListCaption(const TF_SMDI* window);
    void ChangeActiveProject(QAction* Sender);
    void AMUpdate(); // enables and checks the commands from the current state

    // The first showing: start-up steps, then (also after a failure) docks and timers. Runs once.
    void FormShow();
    // Close query and close handler of the frame. The image windows are asked first.
    bool FormCloseQuery();
    void FormClose();

    // The command line names one file: all arguments joined with single blanks.
    static QString CommandLineFileName(const QStringList& arguments);
    // Arguments after the program name (none unless the program's entry hands them over).
    void setCommandLineArguments(const QStringList& arguments) { m_arguments = arguments; }
    // Opens the command line's file when it exists and is a project; other files are ignored.
    void OpenCommandLineFile();
    // A second start handed over its arguments (one file name): a project or older project that
    // exists opens as from the command line; anything else is ignored. Before the first showing
    // has ended the hand-over waits for it.
    void OneInstanceNewInstanceLoad(const QStringList& arguments);
    // Dropped files, each opened as the file manager opens a double-clicked file.
    void AcceptFiles(const QStringList& files);
    // Opens a project, an older project or an image file; other files are ignored.
    void OpenFile(const QString& fileName);

    // Every exception that reaches the event loop ends here: a failure in the log, no dialog.
    static void ApplicationEventsException(const QString& message);
    // Status panel 1 shows the long part of the hint ("short|long").
    void ApplicationEventsHint(const QString& hint);

    // ---- commands (TF_Main_Commands.cpp) ----
    // Opens a project file and returns its window, or none when loading failed or was cancelled.
    // A window that shows this file already comes to the front instead.
    TF_SMDI* ProcessLoadProject(const QString& AFilename);
    // Every road that meets an older .jex project comes here: imports it into a new window and
    // puts it at the top of the recent files, or brings a window showing this file to the front.
    // None when nothing was imported (the import has said why).
    TF_SMDI* ImportOlderProject(const QString& AFilename);
    void DynamicMenuExecute(QAction* Sender);
    // The file manager shows a file that was opened, on whichever road it came.
    void BrowseFileManagerTo(const QString& fileName);
    void A_NewProjectExecute();
    void A_LoadProjectExecute();
    void A_SaveProjectExecute();
    void A_SaveProjectToExecute();
    void A_ExportDataExecute();
    void A_ConvertJEXExecute();
    void A_MatchImagesExecute();
    void CloseMDIExecute();
    void A_ExitExecute();
    void A_CopyImageExecute();
    void A_PasteImageExecute();
    void A_MergeImageExecute();
    void A_AddImageExecute();
    // Opens the image-series window modally; defined with that window.
    void A_CreateSeriesExecute();
    // The name typed in the project save dialog with the extension of the chosen filter
    // (1 ".jex4", 2 ".jex").
    static QString SD_ProjectTypeChange(int filterIndex, const QString& currentName);
    // The name part of the image save dialog's name with the extension of the chosen filter
    // (1 ".bmp", 2 ".jpg", 3 ".png"); empty (leave it) when the name is an existing folder.
    static QString SD_ImageTypeChange(int filterIndex, const QString& currentName);
    // A menu caption without its access-key marks: the file name of a recent-file entry.
    static QString StripAccessKeys(const QString& caption);
    // Puts a file at the top of the recent-files list; once the File menu holds the entries it
    // shows the new order at once.
    void AddRecentFile(const QString& fileName);
    // The recent-file entries after "Exit program", below a separator, most recent first.
    void FillRecentFilesMenu();
    // Rebuilds the brush-set drop-down: one checkable entry per brush set, the current one checked.
    void SetBrushSets();
    // A brush-set entry was chosen: it becomes the current set and the drawing settings take it.
    void BrushSetChange(QAction* Sender);
    // Asks, then deletes every stored setting and ends the program without saving anything.
    void A_ResetAllSettingsExecute();
    // The update window, modally; refused while a project is open.
    void A_CheckForUpdatesExecute();
    // The check at start-up: runs after the first showing has ended, so it never holds up the
    // start; an update found is offered, and the answer's check box sets whether to look again.
    void CheckForUpdatesAtStart();
    // Shows or hides the file manager; the left dock site takes the width it needs.
    void A_WindowFilesExecute();
    // The settings dialog, modally: on its first page, or on the brush-set page.
    void A_SetupExecute();
    void A_BrushSetsExecute();

    // ---- image, window and help commands (TF_Main_Commands.cpp) ----
    // The operations on the active window's images; each rebuilds its display copies and repaints.
    void InvertExecute();
    // Sharpen and soften by the amount asked, add a border, resample and rotate: the active
    // window's commands with their dialogs and gates.
    void SharpenExecute();
    void BrightnessExecute(); // the adjustment dialog on the active window
    void GrayscaleExecute();  // the grayscale dialog on the active window
    void SoftenExecute();
    void AddBorderExecute();
    void A_ResampleExecute();
    void A_RotateExecute();
    void MirrorHExecute(); // a window of several images gets the single-image message instead
    void MirrorVExecute();
    // Starts the calibration wizard on the active window, as a left click on its resolution
    // button does.
    void A_CalibrateDPIExecute();
    // Asks for the active window's resolution, as a right click on its resolution button does.
    void A_SetDPIExecute();
    // Show or hide the project window and the log window.
    void A_WindowMeasurementsExecute();
    void A_SystemLogExecute();
    // Every image window takes the first one's zoom and repaints; then they are tiled.
    void A_TileExecute();
    // The display toggles: each sets its setting from its check mark and every window repaints its
    // overlay; the crosshair cursor repaints only the active window.
    void A_DisplayToggleExecute(QAction* Sender);
    void A_CADCursorExecute();
    // The help window at its table of contents.
    void A_HelpExecute();
    // The splash window as About box, modally.
    void A_AboutExecute();

signals:
    // The active image window changed (none when the last one went).
    void activeWindowChanged(TF_SMDI* window);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void createStatusBar();
    void createDocks();
    void createActions();  // TF_Main_Commands.cpp
    void createMenus();    // TF_Main_Commands.cpp
    void createToolBar();  // TF_Main_Commands.cpp
    void createDialogs();  // TF_Main_Commands.cpp
    void attachToolWindowActions(); // the measurement tree's actions in the Project menu
    void dockToolWindows();
    void carryToolWindows(); // the tool windows that may dock, in their dock widgets
    void raiseFloatingToolWindows();
    void onIdle();
    void onSubWindowActivated(QMdiSubWindow* window);
    bool handleWheel(QObject* receiver, QWheelEvent* event);
    bool previewKey(QObject* receiver, QKeyEvent* event);
    void zoomByWheel(TF_SMDI* window, bool down);
    // Reads a project file into a window. 0 read, 1 read with repairs (an image located elsewhere,
    // damaged parts left out) that the file does not hold yet, -1 cancelled or failed.
    int readProject(TF_SMDI* window, const QString& fileName);
    // Writes a window's project. 0 written, -1 failed.
    int writeProject(TF_SMDI* window, const QString& fileName);
    TF_SMDI* newImageWindow();

    QMdiArea* m_mdiArea = nullptr;
    QStringList m_arguments;
    QList<QStringList> m_pendingHandOvers; // arrived before the first showing ended
    QString m_openedAtStart;               // the command line's file, once opened
    bool m_firstShowingDone = false;
    bool m_shown = false;    // the first showing has run
    bool m_updating = false; // AMUpdate is running
    bool m_clipboardHasImage = false;
    QList<QAction*> m_projectActions; // entries of the Projects menu
    QList<QAction*> m_recentActions;  // recent-file entries of the File menu
    QAction* m_recentSeparator = nullptr;
    bool m_recentMenuFilled = false;  // the first showing has put the entries into the File menu
    QList<QAction*> m_brushSetActions; // entries of the brush-set drop-down, by list index
    bool m_keepBrushSetFile = false;   // the file could not be read: closing must not replace it
    QAction* m_projectsFirst = nullptr; // the Projects menu's fixed first item
};

// The one main window; none before it is created.
extern TF_Main* F_Main;
