// Main window commands: the menus and the tool bar, and the commands that create, open, save,
// close and exchange projects and images. Every road that opens a project file goes through
// ProcessLoadProject.
#include "shell/TF_Main.h"

#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "platform/FileKey.h"
#include "project/BrushSets.h"
#include "project/Helpers.h"
#include "project/JEX3Project.h"
#include "workspace/TF_MatchImages.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "project/TBrushSet.h"
#include "project/TJEXObject.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/RecentFiles.h"
#include "shell/HelpViewer.h"
#include "shell/SettingsStore.h"
#include "shell/Startup.h"
#include "shell/TF_CheckForUpdates.h"
#include "shell/TF_ConvertJEX3.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Export.h"
#include "shell/TF_FileManager.h"
#include "shell/TF_Progress.h"
#include "shell/TF_Setup.h"
#include "shell/TF_Splash.h"
#include "workspace/ForwardedCommand.h"
#include "workspace/HelpersWindows.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Notes.h"
#include "workspace/TF_SMDI.h"
#include "workspace/ToolWindows.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <exception>

namespace {

QAction* makeAction(QObject* owner, const QString& caption, const QString& hint,
                    const QKeySequence& shortcut = QKeySequence())
{
    auto* a = new QAction(caption, owner);
    if (!hint.isEmpty()) {
        a->setToolTip(hint);
        a->setStatusTip(hint);
    }
    if (!shortcut.isEmpty())
        a->setShortcut(shortcut);
    return a;
}

} // namespace

// ---- actions, menus, tool bar, dialogs ----

void TF_Main::createActions()
{
    auto act = [this](const QString& caption, const QString& hint, void (TF_Main::*handler)(),
                      const QKeySequence& shortcut = QKeySequence()) {
        QAction* a = makeAction(this, caption, hint, shortcut);
        if (handler)
            connect(a, &QAction::triggered, this, handler);
        addAction(a); // shortcuts work anywhere in the frame
        return a;
    };
    auto icon = [this](QStyle::StandardPixmap p) { return style()->standardIcon(p); };

    A_NewProject = act(QStringLiteral("&New project"), QStringLiteral("Create new empty project"), &TF_Main::A_NewProjectExecute);
    A_NewProject->setIcon(icon(QStyle::SP_FileIcon));
    A_LoadProject = act(QStringLiteral("L&oad Project"), QStringLiteral("Load project from disk"), &TF_Main::A_LoadProjectExecute);
    A_LoadProject->setIcon(icon(QStyle::SP_DialogOpenButton));
    A_SaveProject = act(QStringLiteral("S&ave Project"), QStringLiteral("Save project to disk"), &TF_Main::A_SaveProjectExecute);
    A_SaveProject->setIcon(icon(QStyle::SP_DialogSaveButton));
    A_SaveProjectTo = act(QStringLiteral("&Save Project and images to"),
                          QStringLiteral("Save project and contained images to disk"), &TF_Main::A_SaveProjectToExecute);
    A_ExportData = act(QStringLiteral("E&xport data"), QStringLiteral("Export ring width data to FH, Tucson or ASCII"),
                       &TF_Main::A_ExportDataExecute);
    A_ConvertJEX = act(QStringLiteral("&Batch convert JEX3 projects"), QStringLiteral("Convert multiple JEX3 files"),
                       &TF_Main::A_ConvertJEXExecute);
    CloseMDI = act(QStringLiteral("&Close Project"), QStringLiteral("Close active project"), &TF_Main::CloseMDIExecute);
    A_Exit = act(QStringLiteral("&Exit program"), QStringLiteral("Exit program"), &TF_Main::A_ExitExecute);
    A_CopyImage = act(QStringLiteral("&Copy"), QStringLiteral("Copies the selection and puts it on the Clipboard"),
                      &TF_Main::A_CopyImageExecute, QKeySequence(Qt::CTRL | Qt::Key_C));
    A_PasteImage = act(QStringLiteral("&Paste to new project"), QStringLiteral("Inserts Clipboard contents"),
                       &TF_Main::A_PasteImageExecute, QKeySequence(Qt::CTRL | Qt::Key_V));
    A_MergeImage = act(QStringLiteral("&Merge image into project"), QStringLiteral("Merge image into current project"),
                       &TF_Main::A_MergeImageExecute, QKeySequence(Qt::CTRL | Qt::Key_E));
    A_AddImage = act(QStringLiteral("A&dd image"), QStringLiteral("Add image to current project"), &TF_Main::A_AddImageExecute);
    // Copy and paste keys belong to a text control when one has the focus.
    for (QAction* a : {A_CopyImage, A_PasteImage, A_MergeImage})
        a->setShortcutContext(Qt::WindowShortcut);

    // Scanner, image, window, settings and help commands. Those without a handler are not built
    // yet and stay disabled (AMUpdate).
    using H = void (TF_Main::*)();
    constexpr H none = nullptr;
    SelectSource = act(QStringLiteral("&Select scanner source"), QStringLiteral("Select TWAIN scanner"), &TF_Main::SelectSourceExecute);
    A_ScanNew = act(QStringLiteral("S&can to new project"), QStringLiteral("Aquire image from scanner"), &TF_Main::A_ScanNewExecute);
    A_ScanToCurrent = act(QStringLiteral("Sc&an to current project"), QStringLiteral("Scan image to active project"),
                          &TF_Main::A_ScanToCurrentExecute);
    A_CreateSeries = act(QStringLiteral("C&reate Image Series"), QStringLiteral("Create image series from video source"),
                         &TF_Main::A_CreateSeriesExecute);
    Brightness = act(QStringLiteral("A&djust image(s)"), QStringLiteral("Change image properties"), &TF_Main::BrightnessExecute);
    Grayscale = act(QStringLiteral("&Grayscale image(s)"), QStringLiteral("Grayscale image"), &TF_Main::GrayscaleExecute);
    Sharpen = act(QStringLiteral("S&harpen"), QStringLiteral("Sharpen image"), &TF_Main::SharpenExecute);
    Soften = act(QStringLiteral("&Soften"), QStringLiteral("Soften image"), &TF_Main::SoftenExecute);
    Invert = act(QStringLiteral("I&nvert"), QStringLiteral("Invert (negative) image"), &TF_Main::InvertExecute);
    AddBorder = act(QStringLiteral("&Add Border"), QStringLiteral("Add border to image"), &TF_Main::AddBorderExecute);
    A_Resample = act(QStringLiteral("R&esample"), QStringLiteral("Resize image"), &TF_Main::A_ResampleExecute);
    MirrorH = act(QStringLiteral("&Mirror horizontally"), QStringLiteral("Mirror image horizontally"), &TF_Main::MirrorHExecute);
    MirrorV = act(QStringLiteral("M&irror vertically"), QStringLiteral("Mirror image vertically"), &TF_Main::MirrorVExecute);
    A_Rotate = act(QStringLiteral("&Rotate"), QStringLiteral("Rotate image"), &TF_Main::A_RotateExecute);
    A_MatchImages = act(QStringLiteral("&Auto align images"), QStringLiteral("Start automatic alignment process"),
                        &TF_Main::A_MatchImagesExecute);
    A_CalibrateDPI = act(QStringLiteral("&Calibrate image resolution (dpi)"),
                         QStringLiteral("Calibrate image resolution (needs length marker in image)"),
                         &TF_Main::A_CalibrateDPIExecute);
    A_SetDPI = act(QStringLiteral("&Set image resolution (dpi)"), QStringLiteral("Set the image resolution (DPI value)"),
                   &TF_Main::A_SetDPIExecute);
    A_WindowMeasurements = act(QStringLiteral("&Project Manager"), QStringLiteral("Show/hide measurement/image list window"),
                               &TF_Main::A_WindowMeasurementsExecute, QKeySequence(Qt::Key_F6));
    A_WindowZoom = act(QStringLiteral("&Zoom window"), QStringLiteral("Show/hide zoom window"),
                       &TF_Main::A_WindowZoomExecute, QKeySequence(Qt::Key_F2));
    A_WindowBirdView = act(QStringLiteral("&Bird View"), QStringLiteral("Show/hide bird view"),
                           &TF_Main::A_WindowBirdViewExecute, QKeySequence(Qt::Key_F7));
    A_WindowFiles = act(QStringLiteral("&File Manager"), QStringLiteral("Show/hide File manager window"),
                        &TF_Main::A_WindowFilesExecute, QKeySequence(Qt::Key_F4));
    A_Notes = act(QStringLiteral("&Notes"), QStringLiteral("Switch on/off notes editor"), &TF_Main::A_NotesExecute,
                  QKeySequence(Qt::Key_F9));
    A_WindowHistogram = act(QStringLiteral("&Histogram"), QStringLiteral("Show/hide image histogram"),
                            &TF_Main::A_WindowHistogramExecute,
                            QKeySequence(Qt::SHIFT | Qt::Key_F6));
    A_WindowTRacker = act(QStringLiteral("Tracker Window"), QString(), &TF_Main::A_WindowTRackerExecute,
                          QKeySequence(Qt::SHIFT | Qt::Key_F5));
    addAction(A_WindowTRacker); // in no menu or tool bar: its key works through the frame
    A_SystemLog = act(QStringLiteral("&System Messages"), QStringLiteral("Show/hide system message window"),
                      &TF_Main::A_SystemLogExecute);
    A_Tile = act(QStringLiteral("&Tile windows"), QStringLiteral("Tile project windows horizontally"), &TF_Main::A_TileExecute);
    A_Zoom = act(QStringLiteral("Zoom"), QStringLiteral("Show/hide zoom window"), &TF_Main::A_WindowZoomExecute);
    A_RALToggle = act(QStringLiteral("Toggle Right angle lines"), QStringLiteral("Switch display of right angle lines on/off "), none);
    A_ObjectToggle = act(QStringLiteral("Toggle object display"),
                         QStringLiteral("Switch display of indices and measurements on/off "), none);
    A_LengthToggle = act(QStringLiteral("A_LengthToggle"), QStringLiteral("Switch display of measured lengths on/off"), none);
    A_TextToggle = act(QStringLiteral("A_TextToggle"), QStringLiteral("Switch display of info text on/off "), none);
    A_CADCursor = act(QString(), QStringLiteral("Switch full screen (CAD) Cursor on/off"), &TF_Main::A_CADCursorExecute);
    A_BrushSets = act(QStringLiteral("&Brush Sets"), QStringLiteral("Edit brush sets"), &TF_Main::A_BrushSetsExecute);
    A_Setup = act(QStringLiteral("Set&up"), QStringLiteral("Show setup dialog"), &TF_Main::A_SetupExecute);
    A_Help = act(QStringLiteral("&Help"), QStringLiteral("Display help dialog"), &TF_Main::A_HelpExecute,
                 QKeySequence(Qt::Key_F1));
    A_About = act(QStringLiteral("&About this program"), QStringLiteral("Show version information"), &TF_Main::A_AboutExecute);
    A_CheckForUpdates = act(QStringLiteral("&Check for updates"), QStringLiteral("Check availability of updates"),
                            &TF_Main::A_CheckForUpdatesExecute);
    A_ResetAllSettings = act(QStringLiteral("&Reset all settings to default values"),
                             QStringLiteral("Reset all settings to defaults and restart program"),
                             &TF_Main::A_ResetAllSettingsExecute);

    for (QAction* a : {A_WindowMeasurements, A_WindowZoom, A_WindowBirdView, A_WindowFiles, A_Notes, A_WindowHistogram,
                       A_WindowTRacker, A_SystemLog, A_Zoom, A_RALToggle, A_ObjectToggle, A_LengthToggle, A_TextToggle,
                       A_CADCursor})
        a->setCheckable(true);
    for (QAction* a : {A_RALToggle, A_ObjectToggle, A_LengthToggle, A_TextToggle})
        connect(a, &QAction::triggered, this, [this, a] { A_DisplayToggleExecute(a); });

    A_WindowMeasurements->setIcon(icon(QStyle::SP_FileDialogDetailedView));
    A_WindowFiles->setIcon(icon(QStyle::SP_DirIcon));
    A_WindowHistogram->setIcon(icon(QStyle::SP_FileDialogInfoView));
    A_Zoom->setIcon(icon(QStyle::SP_FileDialogContentsView));
    A_RALToggle->setIcon(icon(QStyle::SP_ToolBarHorizontalExtensionButton));
    A_ObjectToggle->setIcon(icon(QStyle::SP_DialogYesButton));
    A_LengthToggle->setIcon(icon(QStyle::SP_ArrowRight));
    A_TextToggle->setIcon(icon(QStyle::SP_MessageBoxInformation));
    A_CADCursor->setIcon(icon(QStyle::SP_TitleBarNormalButton));
    A_Tile->setIcon(icon(QStyle::SP_TitleBarMaxButton));
    A_ScanNew->setIcon(icon(QStyle::SP_DriveCDIcon));
    A_CreateSeries->setIcon(icon(QStyle::SP_MediaPlay));
    A_MatchImages->setIcon(icon(QStyle::SP_BrowserReload));
    A_BrushSets->setIcon(icon(QStyle::SP_DialogResetButton));
}

void TF_Main::createMenus()
{
    AMM1 = menuBar();
    M_File = AMM1->addMenu(QStringLiteral("&File"));
    M_File->addActions({A_LoadProject, A_SaveProject, A_SaveProjectTo});
    M_File->addSeparator();
    M_File->addActions({A_ExportData, A_ConvertJEX});
    M_File->addSeparator();
    M_File->addAction(CloseMDI);
    M_File->addSeparator();
    M_File->addAction(A_Exit);

    M_Edit = AMM1->addMenu(QStringLiteral("&Edit"));
    M_Edit->addActions({A_CopyImage, A_PasteImage, A_MergeImage});

    M_Project = AMM1->addMenu(QStringLiteral("P&roject"));
    M_Project->addActions({A_NewProject, A_AddImage, A_MatchImages});
    M_Paths = M_Project->addMenu(QStringLiteral("&Paths"));
    M_Project->addSeparator();
    M_ImageResolution = M_Project->addMenu(QStringLiteral("&Image resolution"));
    M_ImageResolution->addActions({A_CalibrateDPI, A_SetDPI});
    // The measurement tree's path commands join once that window exists.
    connect(M_Project, &QMenu::aboutToShow, this, &TF_Main::attachToolWindowActions);

    M_Aquire = AMM1->addMenu(QStringLiteral("&Aquire image"));
    M_Aquire->addActions({SelectSource, A_ScanNew, A_ScanToCurrent});
    M_Aquire->addSeparator();
    M_Aquire->addAction(A_CreateSeries);

    M_Image = AMM1->addMenu(QStringLiteral("&Image"));
    M_Image->addActions({Brightness, Grayscale, Sharpen, Soften, Invert});
    M_Image->addSeparator();
    M_Image->addActions({AddBorder, A_Resample, MirrorH, MirrorV, A_Rotate});

    M_Windows = AMM1->addMenu(QStringLiteral("&Windows"));
    M_Windows->addSeparator();
    M_Windows->addActions({A_WindowMeasurements, A_WindowZoom, A_WindowBirdView, A_WindowFiles, A_Notes,
                           A_WindowHistogram, A_SystemLog});
    M_Windows->addSeparator();
    M_Windows->addAction(A_Tile);

    M_Projects = AMM1->addMenu(QStringLiteral("Pr&ojects"));
    m_projectsFirst = M_Projects->addSeparator();

    AMM1->addSeparator();
    AMM1->addAction(A_Setup);
    AMM1->addSeparator();

    M_Help = AMM1->addMenu(QStringLiteral("&Help"));
    M_Help->addActions({A_Help, A_About});
    M_Help->addSeparator();
    M_Help->addAction(A_ResetAllSettings);
    M_Help->addSeparator();
    M_Help->addAction(A_CheckForUpdates);

    PAB_Main = new QMenu(this);
    PAB_Main->addAction(A_NewProject);
    PAB_Main->addSeparator();
    PAB_Main->addAction(A_Setup);
}

void TF_Main::createToolBar()
{
    AMM2 = addToolBar(QStringLiteral("Tools"));
    AMM2->setObjectName(QStringLiteral("AMM2"));
    AMM2->setToolButtonStyle(Qt::ToolButtonIconOnly);
    AMM2->setIconSize(QSize(16, 16));
    AMM2->addActions({A_WindowFiles, A_WindowMeasurements, A_WindowHistogram, A_Zoom, A_RALToggle, A_ObjectToggle,
                      A_LengthToggle, A_TextToggle, A_CADCursor, A_Tile});
    AMM2->addSeparator();

    M_Scan = new QMenu(this);
    ForwardCommand(M_Scan->addAction(QStringLiteral("&Scan to new project")), A_ScanNew);
    ForwardCommand(M_Scan->addAction(QStringLiteral("S&can to current project")), A_ScanToCurrent);
    TB_Scan = new QToolButton(AMM2);
    TB_Scan->setDefaultAction(A_ScanNew);
    TB_Scan->setToolTip(QStringLiteral("Scan to new project"));
    TB_Scan->setMenu(M_Scan);
    TB_Scan->setPopupMode(QToolButton::MenuButtonPopup);
    AMM2->addWidget(TB_Scan);
    AMM2->addActions({A_CreateSeries, A_MatchImages});
    AMM2->addSeparator();

    M_BrushSets = new QMenu(this);
    QAction* placeholder = M_BrushSets->addAction(QString());
    placeholder->setVisible(false);
    TB_BrushSets = new QToolButton(AMM2);
    TB_BrushSets->setDefaultAction(A_BrushSets);
    TB_BrushSets->setMenu(M_BrushSets);
    TB_BrushSets->setPopupMode(QToolButton::MenuButtonPopup);
    AMM2->addWidget(TB_BrushSets);
}

void TF_Main::createDialogs()
{
    OD.filter = QStringLiteral("JEX4 project files|*.jex4|JEX3.x measurement files|*.jex");
    OD.defaultExt = QStringLiteral("jex4");
    OD.overwritePrompt = false;

    SD_Project.filter = QStringLiteral("JEX4 Project file|*.jex4|JEX3.x measuement file|*.jex");
    SD_Project.defaultExt = QStringLiteral("jex4");
    SD_Project.overwritePrompt = true;
    SD_Project.onTypeChange = &TF_Main::SD_ProjectTypeChange;

    SD_SaveAs.filter = QStringLiteral("JEX4 project file|*.jex4");
    SD_SaveAs.defaultExt = QStringLiteral("jex4");
    SD_SaveAs.title = QStringLiteral("Save project to...");
    SD_SaveAs.overwritePrompt = false; // the command asks itself, naming the images too

    // Every picture the image road opens, TIFF included.
    OD_Image.filter = QStringLiteral("Supported image files|") + PictureFilePatterns();
    OD_Image.title = QStringLiteral("Locate image");
    OD_Image.overwritePrompt = false;

    SD_Image.filter = QStringLiteral("Windows Bitmap files|*.bmp|JPEG files|*.jpg|Portable Network Graphic|*.png");
    SD_Image.defaultExt = QStringLiteral("bmp");
    SD_Image.overwritePrompt = true;
    SD_Image.onTypeChange = &TF_Main::SD_ImageTypeChange;
}

QString TF_Main::SD_ProjectTypeChange(int filterIndex, const QString& currentName)
{
    const QString name = currentName.left(260);
    if (filterIndex == 1)
        return ChangeFileExt(name, QStringLiteral(".jex4"));
    if (filterIndex == 2)
        return ChangeFileExt(name, QStringLiteral(".jex"));
    return QString();
}

QString TF_Main::SD_ImageTypeChange(int filterIndex, const QString& currentName)
{
    if (currentName.isEmpty() || QFileInfo(currentName).isDir())
        return QString();
    const QString ext = ImageSaveExtension(filterIndex);
    if (ext.isEmpty())
        return QString();
    return ChangeFileExt(ExtractFileName(currentName), ext);
}

void TF_Main::AddRecentFile(const QString& fileName)
{
    // The path is both the file and the name shown; missing files are not listed.
    if (!HL)
        return;
    HL->addFilename(fileName, fileName);
    if (m_recentMenuFilled)
        FillRecentFilesMenu();
}

void TF_Main::FillRecentFilesMenu()
{
    if (!HL || !M_File)
        return;
    // An entry may be the one whose choice led here: it goes later.
    for (QAction* a : std::as_const(m_recentActions)) {
        M_File->removeAction(a);
        a->deleteLater();
    }
    m_recentActions.clear();
    if (m_recentSeparator) {
        M_File->removeAction(m_recentSeparator);
        m_recentSeparator->deleteLater();
        m_recentSeparator = nullptr;
    }
    if (HL->entryCount() > 0)
        m_recentSeparator = M_File->addSeparator();
    // Entries whose files have gone are left out; the list itself keeps them until saved.
    m_recentActions = HL->fillMenu(M_File);
    for (QAction* a : std::as_const(m_recentActions)) {
        a->setObjectName(QStringLiteral("dynamic"));
        connect(a, &QAction::triggered, this, [this, a] { DynamicMenuExecute(a); });
    }
}

// ---- brush sets and settings reset ----

void TF_Main::SetBrushSets()
{
    const QList<QAction*> entries = M_BrushSets->actions();
    for (qsizetype i = 1; i < entries.size(); ++i) {
        M_BrushSets->removeAction(entries[i]);
        entries[i]->deleteLater(); // it may be the entry whose choice led here
    }
    m_brushSetActions.clear();
    for (size_t i = 0; i < BrushSetList.size(); ++i) {
        const TBrushSet* set = BrushSetList[i].get();
        QString caption = set->BName;
        caption.replace(QLatin1Char('&'), QLatin1String("&&")); // a name's "&" is no access key
        auto* a = new QAction(caption, M_BrushSets);
        a->setObjectName(QStringLiteral("dynamic"));
        a->setData(int(i));
        a->setCheckable(true);
        a->setChecked(set == CurrentBrushSet);
        connect(a, &QAction::triggered, this, [this, a] { BrushSetChange(a); });
        M_BrushSets->addAction(a);
        m_brushSetActions << a;
    }
    TB_BrushSets->setPopupMode(QToolButton::MenuButtonPopup);
}

void TF_Main::BrushSetChange(QAction* Sender)
{
    if (!Sender)
        return;
    const int tag = Sender->data().toInt();
    // The list may have changed since the menu was built; an entry without its set does nothing.
    if (tag < 0 || size_t(tag) >= BrushSetList.size())
        return;
    for (QAction* a : std::as_const(m_brushSetActions))
        a->setChecked(false);
    Sender->setChecked(true);
    TBrushSet* set = BrushSetList[size_t(tag)].get();
    if (F_Setup) {
        F_Setup->ChangeBrushSet(set);
        return;
    }
    // What the settings dialog's ChangeBrushSet does: settings, display toggles, overlays.
    CurrentBrushSet = set;
    ApplyBrushSetToSettings(*set);
    A_LengthToggle->setChecked(set->LVisible);
    A_RALToggle->setChecked(set->RALVisible);
    A_ObjectToggle->setChecked(set->OVisible);
    A_TextToggle->setChecked(set->TVisible);
    for (TF_SMDI* w : MDIChildren())
        w->SmoothDraw(false);
}

void TF_Main::A_WindowFilesExecute()
{
    ToggleToolWindow(F_FileManager);
    UpdateDock();
}

void TF_Main::A_CheckForUpdatesExecute()
{
    if (!MDIChildren().isEmpty()) {
        MessageDlg(QStringLiteral("Please close all projects before proceeding!"), mtWarning, TMsgDlgButtons{mbOK});
        return;
    }
    if (F_CheckForUpdates)
        F_CheckForUpdates->exec();
}

void TF_Main::CheckForUpdatesAtStart()
{
    QPointer<TF_CheckForUpdates> window = F_CheckForUpdates.data();
    if (!window || Closing || !window->IsUpdateAvailable() || Closing || !window)
        return;
    bool again = SettingAutoCheckUpdates;
    const int answer = MessageDlgWithCheckBox(
        QStringLiteral("Search for updates"),
        QStringLiteral("An update for this program is available for downloading!\r\nDo you want to download and install this update now?"),
        QStringLiteral("Search next time the program is started"), again);
    SettingAutoCheckUpdates = again;
    if (answer == mrYes && window) {
        window->Tag = 100;
        window->exec();
    }
}

void TF_Main::A_SetupExecute()
{
    if (!F_Setup)
        return;
    F_Setup->Tag = 0;
    F_Setup->exec();
}

void TF_Main::A_BrushSetsExecute()
{
    if (!F_Setup)
        return;
    F_Setup->Tag = 2;
    F_Setup->exec();
}

void TF_Main::A_ResetAllSettingsExecute()
{
    if (MessageDlg(QStringLiteral("This will reset all program settings to default values and close the program.\r\n"
                                  "Continue?"),
                   mtConfirmation, mbYesNo)
        == mrNo)
        return;
    // The program ends without its normal closing, so unsaved work is offered as closing offers it;
    // a cancel there keeps the settings and the program.
    for (TF_SMDI* w : MDIChildren())
        if (!w->fImageLoadError && w->HasUnsavedWork() && !w->AskToClose())
            return;
    ResetSettings();
    Halt(0);
}

QString TF_Main::StripAccessKeys(const QString& caption)
{
    // "&&" stands for an ampersand of the name itself; any other "&" marks an access key.
    QString name;
    name.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&')) {
            name += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) {
            name += QLatin1Char('&');
            ++i;
        }
    }
    return name;
}

// ---- project files ----

int TF_Main::readProject(TF_SMDI* window, const QString& fileName)
{
    // A file read in part keeps its window: the reader has said what it left out.
    const int result = LoadProjectXML(window, fileName);
    if (result != ProjectRead && result != ProjectReadDamaged)
        return -1;
    return window->Project->Changed ? 1 : 0;
}

int TF_Main::writeProject(TF_SMDI* window, const QString& fileName)
{
    return SaveProjectXML(window, fileName, true);
}

TF_SMDI* TF_Main::newImageWindow()
{
    TF_SMDI* w = CreateImageWindow();
    UpdateProjectList();
    return w;
}

TF_SMDI* TF_Main::ImportOlderProject(const QString& AFilename)
{
    if (TF_SMDI* open = FindProjectWindow(AFilename)) {
        ActivateMDIChild(open);
        BrowseFileManagerTo(AFilename);
        return open;
    }
    bool damaged = false;
    QPointer<TF_SMDI> result;
    {
        // As while a project file loads: the link and the file manager hold back meanwhile.
        struct Loading {
            bool before = ProjectLoading;
            Loading() { ProjectLoading = true; }
            ~Loading() { ProjectLoading = before; }
        } loading;
        result = ImportJEX3Project(AFilename, true, &damaged);
    }
    if (F_Notes)
        F_Notes->setEditObject(ActiveMDIChild());
    UpdateProjectList();
    SetCaption();
    if (!result) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Error importing JEX3 project ") + AFilename);
        return nullptr;
    }
    // A damaged file keeps what could be read in a new project; the file itself is not offered again.
    if (!damaged) {
        AddRecentFile(AFilename);
        TF_ErrorLog::AddLog(2, QStringLiteral("JEX3 project ") + AFilename + QStringLiteral(" imported successfully!"));
    }
    BrowseFileManagerTo(AFilename);
    return result;
}

TF_SMDI* TF_Main::ProcessLoadProject(const QString& AFilename)
{
    ProjectLoading = true;
    if (TF_SMDI* open = FindProjectWindow(AFilename)) {
        ActivateMDIChild(open);
        ProjectLoading = false;
        BrowseFileManagerTo(AFilename);
        return open;
    }

    QPointer<TF_SMDI> result;
    QString failure;
    bool repaired = false; // what the file holds is not what the window shows
    try {
        result = newImageWindow();
        QCoreApplication::processEvents();
        const int read = result ? readProject(result, AFilename) : -1;
        repaired = read == 1;
        if (result && read < 0) {
            // Rejected, damaged or cancelled: no window bears the file's name.
            DiscardImageWindow(result);
            result = nullptr;
        }
        if (F_Progress)
            F_Progress->hide();
        if (F_Measurements)
            F_Measurements->FillMeasurements(result, false);
        if (result) {
            result->UpdateArea();
            result->FitToScreen();
            result->SmoothDraw(true);
            result->SetCaption();
            AddRecentFile(AFilename);
            BrowseFileManagerTo(AFilename);
        }
        SetCaption();
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        failure = QStringLiteral("Unknown exception");
    }
    if (!failure.isEmpty()) {
        // Half-read projects are not shown as if they were the file.
        TF_ErrorLog::AddLog(0, failure);
        if (F_Progress)
            F_Progress->hide();
        if (result) {
            if (F_Measurements && F_Measurements->MDIForm() == result)
                F_Measurements->ClearAll();
            DiscardImageWindow(result);
        }
        result = nullptr;
    }

    if (result)
        result->document().setChanged(repaired);
    ProjectLoading = false;
    // The notes follow the window that is in front now: the new one, or after a failure the one
    // that was before.
    if (F_Notes)
        F_Notes->setEditObject(result ? result.data() : ActiveMDIChild());
    if (result) {
        TF_ErrorLog::AddLog(2, QStringLiteral("JEX4 project ") + AFilename + QStringLiteral(" loaded successfully!"));
        if (TF_SMDI* active = ActiveMDIChild()) {
            for (const auto& so : active->StitchList)
                active->ResampleStitchObjects(so.get());
            active->SmoothDraw(true);
        }
    } else {
        TF_ErrorLog::AddLog(0, QStringLiteral("Error loading JEX4 project ") + AFilename);
    }
    UpdateProjectList();
    return result;
}

void TF_Main::A_LoadProjectExecute()
{
    FileDialogRequest request = OD;
    const FileDialogAnswer answer = dialogs().openFile(request);
    if (!answer.accepted || answer.fileName().isEmpty())
        return;
    const QString fileName = answer.fileName();
    // The chosen filter decides, not the file's extension.
    if (answer.filterIndex == 2) {
        ImportOlderProject(fileName); // which joins the recent files only when it was imported
        return;
    }
    ProcessLoadProject(fileName);
    AddRecentFile(fileName);
}

void TF_Main::DynamicMenuExecute(QAction* Sender)
{
    if (!Sender)
        return;
    // The entry carries its real path; a caption alone loses its access-key marks.
    const QString stored = Sender->data().toString();
    const QString fileName = stored.isEmpty() ? StripAccessKeys(Sender->text()) : stored;
    if (!QFileInfo(fileName).isFile())
        return;
    const QString ext = ExtractFileExt(fileName).toUpper();
    if (ext == QStringLiteral(".JEX4")) {
        ProcessLoadProject(fileName);
    } else if (ext == QStringLiteral(".JEX")) {
        ImportOlderProject(fileName);
    } else {
        TF_SMDI* w = newImageWindow();
        QPointer<TF_SMDI> guard(w);
        QCoreApplication::processEvents();
        if (guard)
            guard->LoadImage(fileName, true);
    }
    BrowseFileManagerTo(fileName);
}

void TF_Main::BrowseFileManagerTo(const QString& fileName)
{
    if (F_FileManager && !Closing)
        F_FileManager->BrowseTo(fileName);
}

void TF_Main::A_NewProjectExecute()
{
    TF_SMDI* w = newImageWindow();
    QPointer<TF_SMDI> guard(w);
    QCoreApplication::processEvents();
    if (!guard)
        return;
    if (F_Measurements)
        F_Measurements->FillMeasurements(w, false);
    w->UpdateArea();
    w->FitToScreen();
    w->SmoothDraw(true);
    w->SetCaption();
    SetCaption();
    w->document().setChanged(true);
    if (QMdiSubWindow* sub = w->mdiFrame())
        sub->resize(640, 480);
    else
        w->resize(640, 480);
    UpdateProjectList();
}

void TF_Main::A_SaveProjectExecute()
{
    TF_SMDI* w = ActiveMDIChild();
    if (!w)
        return;
    QPointer<TF_SMDI> guard(w);
    FileDialogRequest request = SD_Project;
    const QString dir = ExtractFileDir(w->Project->Filename);
    request.initialDir = !dir.isEmpty() && QFileInfo(dir).isDir() ? dir : GetDataFolder();

    // Changed pixels go into the project file only when embedded; otherwise they need files of their own.
    if (!w->ImagesAreSave() || (!SettingEmbedImages && w->HasChangedImagesOutsideProject())) {
        const int answer = MessageDlg(QStringLiteral("The images contained in this project were not yet saved!\r\n"
                                                     "Save images and project into one folder?"),
                                      mtConfirmation, mbYesNoCancel);
        if (answer == mrYes) {
            A_SaveProjectToExecute();
            return;
        }
        if (answer != mrNo)
            return;
    }
    if (!guard)
        return;
    request.fileName = ExtractFileName(w->Project->Caption());
    request.filterIndex = ExtractFileExt(w->Project->Filename).toUpper() == QStringLiteral(".JEX") ? 2 : 1;
    const FileDialogAnswer answer = dialogs().saveFile(request);
    if (!answer.accepted || answer.fileName().isEmpty() || !guard)
        return;
    const QString fileName = answer.fileName();

    if (answer.filterIndex == 2) {
        // A project without an image is refused too: the format cannot hold it.
        if (!FitsJEX3(w)) {
            ShowMessage(JEX3RefusalText);
            TF_ErrorLog::AddLog(0, QStringLiteral("Error saving project to ") + fileName);
            return;
        }
        // Nothing written keeps the project's own name.
        if (ExportJEX3Project(w, fileName) != 0) {
            TF_ErrorLog::AddLog(0, QStringLiteral("Error saving project to ") + fileName);
            return;
        }
    } else {
        if (writeProject(w, fileName) != 0) {
            // Nothing written keeps the project's own name, as for the older format.
            TF_ErrorLog::AddLog(0, QStringLiteral("Error saving project to ") + fileName);
            return;
        }
        if (guard && w->HasChangedImagesOutsideProject())
            TF_ErrorLog::AddLog(3, QStringLiteral("Project ") + fileName
                                       + QStringLiteral(" saved, but the changes of its images are not: save the "
                                                        "changed images or embed them in the project"));
        else
            TF_ErrorLog::AddLog(2, QStringLiteral("Project ") + fileName + QStringLiteral(" saved successfully!"));
    }
    if (!guard)
        return;
    w->Project->Filename = fileName;
    w->SetCaption();
    if (F_Measurements && F_Measurements->VST_SO)
        F_Measurements->VST_SO->viewport()->update();
    AddRecentFile(fileName);
    UpdateProjectList();
}

void TF_Main::A_SaveProjectToExecute()
{
    TF_SMDI* w = ActiveMDIChild();
    if (!w)
        return;
    QPointer<TF_SMDI> guard(w);
    const FileDialogAnswer answer = dialogs().saveFile(SD_SaveAs);
    if (!answer.accepted || answer.fileName().isEmpty() || !guard)
        return;
    const QString fileName = answer.fileName();
    const QString folder = ExtractFileDir(fileName);
    if (!CanWriteFolder(folder)) {
        ShowMessage(QStringLiteral("You do not have permissions to write to the target directory!\r\n"
                                   "Please select a different directory for your project."));
        return;
    }
    if (QFileInfo::exists(fileName)
        && MessageDlg(fileName + QStringLiteral("\r\n") + QStringLiteral("already exists!") + QStringLiteral("\r\n")
                          + QStringLiteral("Replace file and attached images?"),
                      mtConfirmation, TMsgDlgButtons{mbYes, mbCancel})
               != mrYes)
        return;
    const QString base = FileBaseName(fileName);
    bool saveImages = true;
    if (SettingEmbedImages) {
        const int embed = MessageDlg(QStringLiteral("You have selected to embed images into JEX project files.\r\n"
                                                    "Save images anyway?"),
                                     mtConfirmation, mbYesNoCancel);
        if (embed == mrNo)
            saveImages = false;
        else if (embed != mrYes)
            return;
    }
    if (!guard)
        return;

    if (saveImages) {
        // Two images must never be written to one file: a later one would replace an earlier one.
        QSet<QString> used;
        int i = 0;
        for (const auto& owned : w->StitchList) {
            ++i;
            TStitchObject* so = owned.get();
            const bool hasFile = QFileInfo(so->filename).isFile();
            const QString ext = hasFile ? ExtractFileExt(so->filename) : QStringLiteral(".jpg");
            QString target = folder + QLatin1Char('/')
                + (hasFile ? ExtractFileName(so->filename) : base + QLatin1Char('_') + QString::number(i) + ext);
            if (used.contains(fileKey(target))) {
                target = folder + QLatin1Char('/') + base + QLatin1Char('_') + QString::number(i) + ext;
                for (int k = 2; used.contains(fileKey(target)); ++k)
                    target = folder + QLatin1Char('/') + base + QLatin1Char('_') + QString::number(i) + QLatin1Char('_')
                        + QString::number(k) + ext;
            }
            used.insert(fileKey(target));
            // An image that cannot go there stops the save, told by SaveImage: the folder was to hold
            // the project with all its images, and an old project file of that name stays as it was.
            // The image keeps pointing at the file that still holds it.
            const bool written = w->SaveImage(so, target) == 0;
            if (!guard || !written)
                return;
            so->filename = target;
            so->ImageChanged = false;
        }
    }
    // Nothing written keeps the project's own name: the file there is not this project.
    const bool written = writeProject(w, fileName) == 0;
    if (!written)
        TF_ErrorLog::AddLog(0, QStringLiteral("Error saving project to ") + fileName);
    if (!written || !guard)
        return;
    w->Project->Filename = fileName;
    w->SetCaption();
    AddRecentFile(fileName);
    UpdateProjectList();
}

void TF_Main::A_ExportDataExecute()
{
    // Enabled only while the active window holds images; without a window there is nothing to export.
    TF_SMDI* w = ActiveMDIChild();
    if (!w)
        return;
    if (!F_Export)
        F_Export = new TF_Export(this);
    // Hidden first, so that showing it fills the series tree from this window even if it was open.
    F_Export->hide();
    F_Export->MDI = w;
    // Modal for the user, without an event loop of its own: nothing waits here for the wizard, and
    // the link's reads and the idle work keep running on the one loop meanwhile.
    F_Export->setWindowModality(Qt::ApplicationModal);
    F_Export->show();
    F_Export->raise();
    F_Export->activateWindow();
}

// ---- image, window and help commands ----

namespace {

// After an image operation: the display copies of every image are made anew, then a full repaint.
void rebuildAndRepaint(TF_SMDI* w)
{
    for (const auto& so : w->StitchList)
        w->ResampleStitchObjects(so.get());
    w->SmoothDraw(true);
}

} // namespace

void TF_Main::InvertExecute()
{
    if (TF_SMDI* w = ActiveMDIChild()) {
        w->DoInvert();
        rebuildAndRepaint(w);
    }
}

// The amount, border, resample and rotate dialogs belong to the image window's commands, which ask
// their gates, run the operation and repaint.
void TF_Main::BrightnessExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->AdjustImagesCommand();
}

void TF_Main::GrayscaleExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->GrayscaleCommand();
}

void TF_Main::SharpenExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->SharpenCommand();
}

void TF_Main::SoftenExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->SoftenCommand();
}

void TF_Main::AddBorderExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->AddBorderCommand();
}

void TF_Main::A_ResampleExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->ResampleCommand();
}

void TF_Main::A_RotateExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->RotateCommand();
}

void TF_Main::MirrorHExecute()
{
    TF_SMDI* w = ActiveMDIChild();
    if (!w)
        return;
    if (w->StitchList.size() > 1) {
        ShowMessage(QStringLiteral("This operation can only be performed on single images!"));
        return;
    }
    w->Mirror(true);
    rebuildAndRepaint(w);
}

void TF_Main::MirrorVExecute()
{
    TF_SMDI* w = ActiveMDIChild();
    if (!w)
        return;
    if (w->StitchList.size() > 1) {
        ShowMessage(QStringLiteral("This operation can only be performed on single images!"));
        return;
    }
    w->Mirror(false);
    rebuildAndRepaint(w);
}

void TF_Main::A_CalibrateDPIExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->SB_DPIMouseDown(Qt::LeftButton);
}

void TF_Main::A_SetDPIExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->SB_DPIMouseDown(Qt::RightButton);
}

void TF_Main::A_WindowMeasurementsExecute()
{
    ToggleToolWindow(F_Measurements);
    UpdateDock();
}

void TF_Main::A_SystemLogExecute()
{
    ToggleToolWindow(F_ErrorLog);
}

void TF_Main::A_TileExecute()
{
    const QList<TF_SMDI*> windows = MDIChildren();
    if (windows.isEmpty())
        return;
    const int zoom = windows.first()->zoom();
    for (TF_SMDI* w : windows) {
        w->setZoom(zoom);
        w->SetCaption();
        w->SmoothDraw(true);
    }
    m_mdiArea->tileSubWindows();
}

void TF_Main::A_DisplayToggleExecute(QAction* Sender)
{
    if (Sender == A_RALToggle)
        SettingRALVisible = Sender->isChecked();
    else if (Sender == A_ObjectToggle)
        SettingOVisible = Sender->isChecked();
    else if (Sender == A_TextToggle)
        SettingTVisible = Sender->isChecked();
    else if (Sender == A_LengthToggle)
        SettingLVisible = Sender->isChecked();
    else
        return;
    for (TF_SMDI* w : MDIChildren())
        w->SmoothDraw(false);
}

void TF_Main::A_CADCursorExecute()
{
    SettingCADCursor = A_CADCursor->isChecked();
    if (TF_SMDI* w = ActiveMDIChild())
        w->SmoothDraw(false);
}

void TF_Main::A_HelpExecute()
{
    if (!F_Help)
        F_Help = new HelpViewer(this);
    F_Help->ShowContents();
}

void TF_Main::A_AboutExecute()
{
    if (!F_Splash)
        return;
    F_Splash->Tag = 1;
    F_Splash->exec();
}

void TF_Main::A_MatchImagesExecute()
{
    TF_SMDI* w = ActiveMDIChild();
    if (!w)
        return;
    if (w->HasMeasurements()) {
        ShowMessage(QStringLiteral("This operation can only be performed on empty projects that do not contain "
                                   "measurement or index points!"));
        return;
    }
    for (const auto& so : w->StitchList)
        if (!QFileInfo::exists(so->filename)) {
            ShowMessage(QStringLiteral("Images must be saved before matching!"));
            return;
        }
    // Modal for the user without a loop of its own, as the export wizard; it goes when it closes.
    auto* wizard = new TF_MatchImages(this);
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    wizard->SMDI = w;
    wizard->setWindowModality(Qt::ApplicationModal);
    wizard->show();
    wizard->raise();
    wizard->activateWindow();
}

void TF_Main::A_ConvertJEXExecute()
{
    // Modal for the user, without an event loop of its own (as the export wizard): the link and
    // the idle work keep running meanwhile. The window goes when it closes.
    auto* converter = new TF_ConvertJEX3(this);
    converter->setAttribute(Qt::WA_DeleteOnClose);
    converter->setWindowModality(Qt::ApplicationModal);
    converter->show();
    converter->raise();
    converter->activateWindow();
}

void TF_Main::CloseMDIExecute()
{
    TF_SMDI* w = ActiveMDIChild();
    if (!w)
        return;
    if (QMdiSubWindow* sub = w->mdiFrame())
        sub->close();
    else
        w->close();
}

void TF_Main::A_ExitExecute()
{
    close();
}

void TF_Main::A_CopyImageExecute()
{
    TF_SMDI* w = ActiveMDIChild();
    if (!w)
        return;
    w->CopyToClipBoard();
    w->CopyRect = false;
    w->SmoothDraw(true);
    SetCaption();
}

void TF_Main::A_PasteImageExecute()
{
    TF_SMDI* w = newImageWindow();
    w->PasteFromClipBoard();
    w->show();
}

void TF_Main::A_MergeImageExecute()
{
    if (TF_SMDI* w = ActiveMDIChild())
        w->MergeFromClipBoard();
}

void TF_Main::A_AddImageExecute()
{
    TF_SMDI* w = ActiveMDIChild();
    if (!w)
        return;
    QPointer<TF_SMDI> guard(w);
    const FileDialogAnswer answer = dialogs().openFiles(OD_Image);
    if (!answer.accepted)
        return;
    for (const QString& file : answer.fileNames) {
        if (!guard)
            return; // a failed first image closes an empty window
        guard->LoadImage(file, true);
    }
    if (guard)
        guard->SmoothDraw(true);
}
