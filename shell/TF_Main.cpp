// Main window frame: creation, first showing, closing, the project list, caption, cursors and
// status hints, docking, idle work and command enabling, wheel zoom, key preview and file drops.
#include "shell/TF_Main.h"

#include "platform/Delphi.h"
#include "project/BrushSets.h"
#include "project/FileAssociation.h"
#include "project/Helpers.h"
#include "project/JEX3Project.h"
#include "project/Settings.h"
#include "project/TArea.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/BlendedDockingRect.h"
#include "shell/HelpViewer.h"
#include "shell/RecentFiles.h"
#include "shell/SettingsStore.h"
#include "shell/TF_CheckForUpdates.h"
#include "shell/TF_FileManager.h"
#include "shell/TF_AdjustDPI.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress.h"
#include "shell/TF_Splash.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_Histogram.h"
#include "workspace/TF_Notes.h"
#include "workspace/TF_Tracker.h"
#include "workspace/ForwardedCommand.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TF_Zoom.h"
#include "workspace/ToolWindows.h"

#include <QAbstractEventDispatcher>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>

#include <exception>
#include <utility>

TF_Main* F_Main = nullptr;

// ---- cursors ----

namespace {

struct ProgramCursorDef {
    int number;
    const char* name;
};

constexpr ProgramCursorDef programCursors[] = {
    {crXWhite, "XWhite"},       {crXAnchor, "XAnchor"}, {crXBlackWhite1, "XBlackWhite1"},
    {crXScissors, "XScissors"}, {crXRedPin, "XRedPin"}, {crXLupe, "XLupe"},
    {crXHand, "XHand"},         {crXYellowPin, "XYellowPin"}, {crXRed, "XRed"},
    {crXBlack, "XBlack"},       {crXMover, "XMover"},   {crXDoubleCross, "XDoubleCross"},
};

// A thin cross through the hot spot (15, 15) of a 32 x 32 cursor, with an outline so it shows on
// any background.
QPixmap crossPixmap(QColor line, QColor outline, bool gap)
{
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    auto bar = [&](int x1, int y1, int x2, int y2, QColor c, int w) {
        p.setPen(QPen(c, w, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(x1, y1, x2, y2);
    };
    for (int pass = 0; pass < 2; ++pass) {
        const QColor c = pass == 0 ? outline : line;
        const int w = pass == 0 ? 3 : 1;
        const int inner = gap ? 3 : 0;
        bar(0, 15, 15 - inner, 15, c, w);
        bar(15 + inner + 1, 15, 31, 15, c, w);
        bar(15, 0, 15, 15 - inner, c, w);
        bar(15, 15 + inner + 1, 15, 31, c, w);
    }
    return QPixmap::fromImage(img);
}

// A pin whose needle point is the hot spot at the bottom left.
QPixmap pinPixmap(QColor head)
{
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(1, 30, 12, 19);
    p.setBrush(head);
    p.drawEllipse(QPointF(17, 14), 7, 7);
    return QPixmap::fromImage(img);
}

QPixmap drawnPixmap(int number)
{
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen outline(Qt::white, 3);
    const QPen ink(Qt::black, 1);
    switch (number) {
    case crXAnchor: // an anchor under a cross hair
        p.setPen(ink);
        p.drawLine(15, 4, 15, 26);
        p.drawLine(9, 8, 21, 8);
        p.drawArc(QRect(7, 14, 16, 14), 180 * 16, 180 * 16);
        p.drawLine(0, 15, 6, 15);
        p.drawLine(24, 15, 31, 15);
        break;
    case crXScissors:
        p.setPen(ink);
        p.drawEllipse(QRect(4, 20, 7, 7));
        p.drawEllipse(QRect(20, 20, 7, 7));
        p.drawLine(9, 21, 22, 2);
        p.drawLine(22, 21, 9, 2);
        break;
    case crXLupe: // magnifier: glass round the hot spot, handle to the bottom right
        p.setPen(outline);
        p.drawEllipse(QPointF(12, 12), 8, 8);
        p.drawLine(18, 18, 29, 29);
        p.setPen(QPen(Qt::black, 2));
        p.drawEllipse(QPointF(12, 12), 8, 8);
        p.drawLine(18, 18, 29, 29);
        break;
    case crXHand: { // open hand
        p.setPen(ink);
        p.setBrush(Qt::white);
        QPainterPath hand;
        hand.addRoundedRect(QRectF(8, 14, 16, 14), 4, 4);
        for (int i = 0; i < 4; ++i)
            hand.addRoundedRect(QRectF(8 + i * 4, 5 + (i == 0 || i == 3 ? 3 : 0), 4, 12), 2, 2);
        p.drawPath(hand.simplified());
        break;
    }
    case crXMover: // four arrows round the hot spot
        p.setPen(outline);
        p.drawLine(15, 2, 15, 29);
        p.drawLine(2, 15, 29, 15);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(15, 2, 15, 29);
        p.drawLine(2, 15, 29, 15);
        p.setBrush(Qt::black);
        p.drawPolygon(QPolygon({QPoint(15, 0), QPoint(11, 5), QPoint(19, 5)}));
        p.drawPolygon(QPolygon({QPoint(15, 31), QPoint(11, 26), QPoint(19, 26)}));
        p.drawPolygon(QPolygon({QPoint(0, 15), QPoint(5, 11), QPoint(5, 19)}));
        p.drawPolygon(QPolygon({QPoint(31, 15), QPoint(26, 11), QPoint(26, 19)}));
        break;
    case crXDoubleCross: // two crosses: aligning one point onto another
        p.setPen(ink);
        p.drawLine(0, 15, 31, 15);
        p.drawLine(15, 0, 15, 31);
        p.setPen(QPen(Qt::red, 1));
        p.drawLine(6, 6, 25, 25);
        p.drawLine(25, 6, 6, 25);
        break;
    default:
        break;
    }
    return QPixmap::fromImage(img);
}

QCursor makeProgramCursor(int number)
{
    switch (number) {
    case crXWhite: return QCursor(crossPixmap(Qt::white, Qt::black, false), 15, 15);
    case crXBlack: return QCursor(crossPixmap(Qt::black, Qt::white, false), 15, 15);
    case crXRed: return QCursor(crossPixmap(Qt::red, Qt::white, false), 15, 15);
    case crXBlackWhite1: return QCursor(crossPixmap(Qt::black, Qt::white, true), 15, 15);
    case crXRedPin: return QCursor(pinPixmap(Qt::red), 1, 30);
    case crXYellowPin: return QCursor(pinPixmap(Qt::yellow), 1, 30);
    case crXLupe: return QCursor(drawnPixmap(number), 12, 12);
    default: return QCursor(drawnPixmap(number), 15, 15);
    }
}

QHash<int, QCursor>& cursorTable()
{
    static QHash<int, QCursor> table;
    return table;
}

void registerProgramCursors()
{
    if (!cursorTable().isEmpty())
        return;
    for (const ProgramCursorDef& def : programCursors)
        cursorTable().insert(def.number, makeProgramCursor(def.number));
}

int g_screenCursor = crDefault;
bool g_overridePushed = false;

} // namespace

QString ProgramCursorName(int number)
{
    for (const ProgramCursorDef& def : programCursors)
        if (def.number == number)
            return QString::fromLatin1(def.name);
    return QString();
}

QCursor CursorByNumber(int number)
{
    switch (number) {
    case crDefault:
    case crArrow: return QCursor(Qt::ArrowCursor);
    case crNone: return QCursor(Qt::BlankCursor);
    case crSizeAll: return QCursor(Qt::SizeAllCursor);
    default: break;
    }
    registerProgramCursors();
    return cursorTable().value(number, QCursor(Qt::ArrowCursor));
}

void SetScreenCursorNumber(int number)
{
    g_screenCursor = number;
    if (number == crDefault) {
        if (g_overridePushed)
            QApplication::restoreOverrideCursor();
        g_overridePushed = false;
        return;
    }
    if (g_overridePushed) {
        QApplication::changeOverrideCursor(CursorByNumber(number));
    } else {
        QApplication::setOverrideCursor(CursorByNumber(number));
        g_overridePushed = true;
    }
}

int ScreenCursorNumber() { return g_screenCursor; }

// ---- the frame ----

TF_Main::TF_Main(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("JEX4"));
    setMinimumSize(640, 480);
    resize(828, 526);
    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setBackground(QColor(0x00, 0x37, 0x6F)); // $6F3700
    setCentralWidget(m_mdiArea);
    m_mdiArea->viewport()->installEventFilter(this);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, this, &TF_Main::onSubWindowActivated);

    createStatusBar();
    createDocks();
    createDialogs();
    createActions();
    createMenus();
    createToolBar();
    FormCreate();
    createLink();
    createScanner();
}

TF_Main::~TF_Main()
{
    if (qApp)
        qApp->removeEventFilter(this);
    if (F_Main == this)
        F_Main = nullptr;
    // The children go after this part of the object: none of their signals may reach it then.
    disconnect(m_mdiArea, nullptr, this, nullptr);
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        disconnect(dispatcher, nullptr, this, nullptr);
    if (QClipboard* clip = QGuiApplication::clipboard())
        disconnect(clip, nullptr, this, nullptr);
    // The dock layout goes before the dock widgets tell of their hiding.
    for (DockSite* site : {P_Dock, static_cast<DockSite*>(DP_Bottom)})
        if (site)
            site->stopFollowing();
    Closing = true;
}

void TF_Main::createStatusBar()
{
    SB_Main = statusBar();
    SB_Main->setSizeGripEnabled(true);
    SB_MainPanel0 = new QLabel(SB_Main);
    SB_MainPanel0->setFixedWidth(250);
    SB_MainPanel1 = new QLabel(SB_Main);
    SB_MainPanel1->setMinimumWidth(500);
    SB_Main->addWidget(SB_MainPanel0);
    SB_Main->addWidget(SB_MainPanel1, 1);
    SB_MainPanel0->installEventFilter(this);
    SB_MainPanel1->installEventFilter(this);
    SB_Main->installEventFilter(this);
    const QIcon on = style()->standardIcon(QStyle::SP_DialogApplyButton);
    const QIcon off = style()->standardIcon(QStyle::SP_DialogCancelButton);
    I_Connected = new QLabel(SB_Main);
    I_Connected->setPixmap(on.pixmap(16, 16));
    I_Connected->hide();
    I_Disconnected = new QLabel(SB_Main);
    I_Disconnected->setPixmap(off.pixmap(16, 16));
    I_Disconnected->hide();
}

void TF_Main::createDocks()
{
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks | QMainWindow::AllowTabbedDocks);
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    P_Dock = new DockSite(this, Qt::LeftDockWidgetArea);
    P_Dock->PanelDockOver = [](QWidget*) { return true; };
    DP_Bottom = new TDockPanel(this, Qt::BottomDockWidgetArea);
    DP_Bottom->PanelDockOver = &TF_Main::DP_BottomPanelDockOver;
    installDockHook(this);
}

bool TF_Main::DP_BottomPanelDockOver(QWidget* form)
{
    return form && form->inherits("TF_Notes");
}

void TF_Main::FormCreate()
{
    registerProgramCursors();
    // Setting the maximum loads the stored entries.
    HL = new THistoryList(this);
    HL->setRegPath(QStringLiteral("LUMEK\\JEX4"));
    HL->setRegKey(QStringLiteral("RecentFiles"));
    HL->setMaxItems(8);
    setAcceptDrops(true);
    if (qApp)
        qApp->installEventFilter(this); // key preview, wheel zoom and hints for the whole frame

    if (QClipboard* clip = QGuiApplication::clipboard()) {
        auto refresh = [this, clip] {
            const QMimeData* data = clip->mimeData();
            m_clipboardHasImage = data && data->hasImage();
        };
        refresh();
        connect(clip, &QClipboard::dataChanged, this, refresh);
    }
    // Idle work: the dynamic images of every window, then the commands' states.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TF_Main::onIdle);
}

TF_SMDI* TF_Main::ActiveMDIChild() const
{
    QMdiSubWindow* sub = m_mdiArea->activeSubWindow();
    if (!sub) {
        // An area without focus (the frame inactive) still has a current window.
        sub = m_mdiArea->currentSubWindow();
    }
    auto* w = sub ? qobject_cast<TF_SMDI*>(sub->widget()) : nullptr;
    return (w && !w->Closing) ? w : nullptr;
}

QList<TF_SMDI*> TF_Main::MDIChildren() const
{
    QList<TF_SMDI*> result;
    for (QMdiSubWindow* sub : m_mdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto* w = qobject_cast<TF_SMDI*>(sub->widget()); w && !w->Closing)
            result << w;
    return result;
}

void TF_Main::ActivateMDIChild(TF_SMDI* window)
{
    if (!window)
        return;
    if (QMdiSubWindow* sub = window->mdiFrame()) {
        if (sub->isMinimized())
            sub->showNormal();
        m_mdiArea->setActiveSubWindow(sub);
    }
    window->raise();
    window->setFocus();
}

void TF_Main::onSubWindowActivated(QMdiSubWindow*)
{
    UpdateProjectList();
    SetScreenCursor();
    AMUpdate();
    TF_SMDI* active = ActiveMDIChild();
    // The histogram and a shown tracker turn to the window in front without waiting for Refresh;
    // a window that closed has emptied them already.
    if (active) {
        if (F_Histogram && F_Histogram->MDI != active)
            F_Histogram->UpdateHistogram(active);
        if (F_Tracker && F_Tracker->isVisible() && F_Tracker->MDI != active)
            F_Tracker->UpdateTracker(active);
    }
    emit activeWindowChanged(active);
}

void TF_Main::SetCaption()
{
    if (Closing)
        return;
    setWindowTitle(QStringLiteral("JEX ") + QString::number(VersionMajor) + QLatin1Char('.')
                   + QString::number(VersionMinor));
}

QString TF_Main::ProjectListCaption(const TF_SMDI* window)
{
    if (!window || !window->Project)
        return QStringLiteral("Not saved");
    // Unsaved projects are told apart by their names, which no two open windows share.
    if (window->Project->Filename.isEmpty())
        return window->Project->Name + QStringLiteral(" [Not saved]");
    const QString file = window->Project->Filename;
    return file + QStringLiteral(" [") + file + QStringLiteral("]");
}

void TF_Main::UpdateProjectList()
{
    for (QAction* a : m_projectActions) {
        M_Projects->removeAction(a);
        a->deleteLater();
    }
    m_projectActions.clear();
    const TF_SMDI* active = ActiveMDIChild();
    const QList<TF_SMDI*> windows = MDIChildren();
    for (int i = 0; i < windows.size(); ++i) {
        // "&" would turn the next letter of a file name into an access key.
        QString caption = ProjectListCaption(windows[i]);
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto* a = new QAction(caption, this);
        a->setData(i); // Tag
        a->setCheckable(true);
        a->setChecked(windows[i] == active);
        connect(a, &QAction::triggered, this, [this, a] { ChangeActiveProject(a); });
        M_Projects->addAction(a);
        m_projectActions << a;
    }
}

void TF_Main::ChangeActiveProject(QAction* Sender)
{
    if (!Sender)
        return;
    const QList<TF_SMDI*> windows = MDIChildren();
    const int tag = Sender->data().toInt();
    if (tag >= 0 && tag < windows.size())
        ActivateMDIChild(windows[tag]);
}

void TF_Main::SetScreenCursor()
{
    TF_SMDI* w = ActiveMDIChild();
    if (!w) {
        SetScreenCursorNumber(crDefault);
        return;
    }
    auto finish = [w] {
        // Setting the position again makes the new shape show at once.
        QCursor::setPos(QCursor::pos());
        Q_UNUSED(w);
    };
    if (ImagePanning) {
        SetScreenCursorNumber(crSizeAll);
        finish();
        return;
    }
    if (IsCtrlDown()) {
        w->setCursor(CursorByNumber(crSizeAll));
        finish();
        return;
    }
    if (w->ALTChanged)
        w->SmoothDraw(true);
    auto choice = [](int setting) {
        return CursorChoices[static_cast<size_t>(qBound(0, setting, int(CursorChoices.size()) - 1))];
    };
    int cursor = crDefault;
    QString hint;
    switch (w->ScreenMode()) {
    case mmSelect:
        SetScreenCursorNumber(crDefault);
        hint = QStringLiteral("Click to select object, hold ALT to drag selection.");
        break;
    case mmDPIPoint1:
    case mmDPIPoint2:
        cursor = choice(SettingSCursor);
        break;
    case mmNewIndex:
    case mmAnchorLine:
        cursor = choice(SettingICursor);
        break;
    case mmNewMeasurement:
    case mmArrowStart:
    case mmArrowEnd:
    case mmRectangleStart:
    case mmRectangleEnd:
        cursor = choice(SettingMCursor);
        break;
    case mmAlignImages:
        cursor = crXMover;
        hint = QStringLiteral("(CTRL)+Click to select image(s), hold ALT to drag selection.");
        break;
    default:
        break;
    }
    if (SettingCADCursor && SettingSwitchOffCursor)
        cursor = crNone; // the crosshair drawn by the window stands in for it
    w->setCursor(CursorByNumber(cursor));
    if (w->SB_MDIPanels.size() > 4)
        w->SB_MDIPanels[4]->setText(hint);
    finish();
}

void TF_Main::UpdateDock()
{
    P_Dock->fitWidth();
}

bool TF_Main::IsDocked(QWidget* AForm) const { return P_Dock->isDocked(AForm); }

QRect TF_Main::GetDockPos(QWidget* AForm) const { return P_Dock->dockPos(AForm); }

void TF_Main::ToggleToolWindow(QWidget* form)
{
    if (form)
        ShowToolWindow(form, !form->isVisible());
}

void TF_Main::A_WindowBirdViewExecute()
{
    ToggleToolWindow(F_BirdView);
}

void TF_Main::A_WindowZoomExecute()
{
    ToggleToolWindow(F_Zoom);
}

void TF_Main::A_WindowHistogramExecute()
{
    ToggleToolWindow(F_Histogram);
}

void TF_Main::A_WindowTRackerExecute()
{
    ToggleToolWindow(F_Tracker);
}

void TF_Main::A_NotesExecute()
{
    if (!F_Notes)
        return;
    const bool show = A_Notes->isChecked();
    if (show)
        DP_Bottom->dock(F_Notes);
    else
        DP_Bottom->undock(F_Notes);
    DP_Bottom->showForm(F_Notes, show);
    F_Notes->Docked = DP_Bottom->isDocked(F_Notes);
}

QDockWidget* TF_Main::RegisterToolWindow(QWidget* form)
{
    if (!form)
        return nullptr;
    QDockWidget* dock = CarrierOf(form);
    if (!dock) {
        // Docked on the left from the start, shown or hidden as it was: a window of its own
        // would open at the size of its contents, over the others.
        if (P_Dock->dock(form))
            dock = P_Dock->dockWidgetOf(form);
        else
            dock = DP_Bottom->carry(form);
    }
    if (!dock)
        return nullptr;
    connect(dock, &QDockWidget::topLevelChanged, this, &TF_Main::UpdateDock, Qt::UniqueConnection);
    connect(dock, &QDockWidget::visibilityChanged, this, &TF_Main::UpdateDock, Qt::UniqueConnection);
    return dock;
}

void TF_Main::raiseFloatingToolWindows()
{
    const QList<QDockWidget*> docks = findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly);
    for (QDockWidget* dock : docks)
        if (dock->isFloating() && dock->isVisible())
            dock->raise();
}

void TF_Main::carryToolWindows()
{
    for (QWidget* form : std::initializer_list<QWidget*>{F_BirdView, F_Zoom, F_Histogram, F_Tracker})
        RegisterToolWindow(form);
}

void TF_Main::dockToolWindows()
{
    // The settings store places them once it exists; until then the project window docks on the left.
    if (F_Measurements && !P_Dock->dockWidgetOf(F_Measurements))
        P_Dock->dock(F_Measurements);
    if (F_FileManager && !P_Dock->dockWidgetOf(F_FileManager))
        P_Dock->dock(F_FileManager, true);
    // Docked or floated again by the user: the site takes the width it needs.
    for (QWidget* form : std::initializer_list<QWidget*>{F_Measurements, F_FileManager})
        if (QDockWidget* dock = form ? P_Dock->dockWidgetOf(form) : nullptr)
            connect(dock, &QDockWidget::topLevelChanged, this, &TF_Main::UpdateDock, Qt::UniqueConnection);
}

void TF_Main::attachToolWindowActions()
{
    if (!F_Measurements || !M_Paths)
        return;
    const QList<QAction*> paths = {F_Measurements->A_NewPath, F_Measurements->A_DeletePath,
                                   F_Measurements->A_PathProperties, F_Measurements->A_PathInfo,
                                   F_Measurements->A_ActivatePath};
    if (!M_Paths->actions().isEmpty())
        return;
    for (QAction* a : paths)
        if (a)
            M_Paths->addAction(a);
    if (F_Measurements->A_ExportImageToSingleFile && M_Project && !M_Project->actions().isEmpty()) {
        // "Export as single image" follows "Add image".
        const QList<QAction*> items = M_Project->actions();
        const int at = items.indexOf(A_AddImage);
        QAction* before = at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr;
        M_Project->insertAction(before, F_Measurements->A_ExportImageToSingleFile);
    }
}

// ---- first showing ----

void TF_Main::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TF_Main::FormShow()
{
    m_shown = true;
    // The help is built into the program.
    const QString helpFile = HelpViewer::contentsUrl().toString();
    TF_ErrorLog::AddLog(2, QStringLiteral("JEX4 Version ") + QString::number(VersionMajor) + QLatin1Char('.')
                               + QString::number(VersionMinor) + QLatin1Char('.') + QString::number(VersionBuild)
                               + QStringLiteral(" started."));
    TF_ErrorLog::AddLog(2, QStringLiteral("Help file ") + helpFile + QStringLiteral(" loaded."));

    try {
        DataFolder = GetDataFolder();
        QDir().mkpath(DataFolder); // a folder that cannot be made is not fatal
        const QString brushSetFile = BrushSetFileName();
        if (LoadBrushSets(brushSetFile) != 0) {
            // A file that is there but cannot be read stays as it is for the user to repair.
            m_keepBrushSetFile = QFileInfo::exists(brushSetFile);
            TF_ErrorLog::AddLog(0, QStringLiteral("Brush set file not found!"));
        } else {
            TF_ErrorLog::AddLog(2, QStringLiteral("Brush set ") + brushSetFile + QStringLiteral(" loaded"));
        }
        SetBrushSets();
        StepSplash();
        carryToolWindows();
        LoadSettings();
        dockToolWindows();
        TF_ErrorLog::AddLog(3, QStringLiteral("JEX4 folder is ") + DataFolder);
        const QString temp = GetTempFolder();
        TF_ErrorLog::AddLog(3, QStringLiteral("Temp folder is ") + temp);
        if (!temp.isEmpty() && CanWriteFile(temp + QStringLiteral("test.tmp"), false))
            TF_ErrorLog::AddLog(2, QStringLiteral("Temp folder is writable!"));
        else
            TF_ErrorLog::AddLog(0, QStringLiteral("Temp folder is NOT writable!"));
        if (QFileInfo::exists(SettingPath_CPFind))
            TF_ErrorLog::AddLog(3, QStringLiteral("Hugin cpfind found at ") + SettingPath_CPFind);
        else
            TF_ErrorLog::AddLog(3, QStringLiteral("Hugin cpfind not found/installed!"));
        if (QFileInfo::exists(SettingPath_PTOGen))
            TF_ErrorLog::AddLog(3, QStringLiteral("Hugin pto_gen found at ") + SettingPath_PTOGen);
        else
            TF_ErrorLog::AddLog(3, QStringLiteral("Hugin pto_gen not found/installed!"));
        StepSplash();

        if (!FileAssociationsRegistered()
            && MessageDlg(QStringLiteral("Files with the extension .jex4 are currently not associated with this "
                                         "version of JEX\r\nDo you want to change the file association now?"),
                          mtConfirmation, mbYesNo)
                   == mrYes) {
            RegisterFileAssociations();
            TF_ErrorLog::AddLog(2, QStringLiteral("JEX4 files associated with JEX"));
        }

        // Link icons over status panel 0.
        const QRect p0 = SB_MainPanel0->geometry();
        for (QLabel* icon : {I_Connected, I_Disconnected}) {
            icon->setGeometry(p0.left() + 1, p0.top() + 1, 16, qMax(1, p0.height() - 2));
            icon->raise();
        }

        A_RALToggle->setChecked(SettingRALVisible);
        A_ObjectToggle->setChecked(SettingOVisible);
        A_TextToggle->setChecked(SettingTVisible);
        A_LengthToggle->setChecked(SettingLVisible);
        TWAINSourceIndex = -1;
        StepSplash();
        SetCaption();

        M_Projects->addSeparator();
        StepSplash();
        m_recentMenuFilled = true;
        FillRecentFilesMenu();
        StepSplash();
        UpdateDock();
        StepSplash();
        attachToolWindowActions();
        OpenCommandLineFile();
    } catch (const std::exception& e) {
        ApplicationEventsException(QString::fromLocal8Bit(e.what()));
    }

    // Closing steps: run also after a failure above.
    StepSplash();
    StartLink();
    P_Dock->setVisible(true);
    StepSplash();
    if (F_Splash)
        F_Splash->Timer1->start(); // fades out, or closes unseen when it was never shown
    if (F_Measurements)
        P_Dock->showForm(F_Measurements, true);
    if (F_FileManager) {
        // Above the project window, unless the layout the user left places it.
        if (!P_Dock->dockWidgetOf(F_FileManager))
            P_Dock->dock(F_FileManager, true);
        P_Dock->showForm(F_FileManager, true);
        // The file the program was started with, else where the user left the manager.
        F_FileManager->BrowseTo(m_openedAtStart.isEmpty() ? WindowValues().FileManager.SelectedPath : m_openedAtStart);
    }
    UpdateDock();
    // The command line's project was fitted while the docks were hidden: fit it to what is left.
    if (layout())
        layout()->activate();
    for (TF_SMDI* w : MDIChildren()) {
        w->FitToScreen();
        w->SetCaption(); // the zoom box follows the new zoom
    }
    m_firstShowingDone = true;
    // Floating tool windows were shown before the frame: they come up over it, not behind.
    QTimer::singleShot(0, this, &TF_Main::raiseFloatingToolWindows);
    // Laying the frame out as it first shows is no width the user chose.
    QTimer::singleShot(0, P_Dock, [dock = P_Dock] { dock->trackWidth(); });
    if (SettingAutoCheckUpdates && F_CheckForUpdates)
        QTimer::singleShot(0, this, &TF_Main::CheckForUpdatesAtStart);
    for (const QStringList& handOver : std::exchange(m_pendingHandOvers, {}))
        OneInstanceNewInstanceLoad(handOver);
}

// ---- closing ----

bool TF_Main::FormCloseQuery()
{
    // Every image window is asked before any of them closes; one refusal keeps them all.
    for (TF_SMDI* w : MDIChildren())
        if (!w->FormCloseQuery())
            return false;
    Closing = true;
    return true;
}

namespace {

// One step of the close handler: a failure is logged and the next step still runs, so one
// store that cannot be written never costs the others.
template <class Step>
void closingStep(Step step)
{
    try {
        step();
    } catch (const std::exception& e) {
        TF_Main::ApplicationEventsException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        TF_Main::ApplicationEventsException(QStringLiteral("Unknown exception while closing"));
    }
}

} // namespace

void TF_Main::FormClose()
{
    StopLink(); // first: nothing arrives from RAXO while the windows close
    // After a settings reset nothing at all is written: the next start begins from the defaults.
    const bool keep = !SettingsResetPending();
    if (keep) {
        closingStep([] { SaveSettings(); });
        closingStep([this] {
            if (m_keepBrushSetFile)
                TF_ErrorLog::AddLog(0, QStringLiteral("Brush set file ") + BrushSetFileName()
                                           + QStringLiteral(" could not be read at start and is not written over"));
            else if (m_shown && !DataFolder.isEmpty()) // only what the first showing read
                SaveBrushSets(BrushSetFileName());
        });
    }
    closingStep([this] {
        for (TF_SMDI* w : MDIChildren()) {
            w->FormClose();
            if (QMdiSubWindow* sub = w->mdiFrame())
                sub->close();
        }
    });
    closingStep([] {
        if (F_Measurements)
            F_Measurements->close();
    });
    if (keep)
        closingStep([this] { HL->saveToRegistry(); });
}

void TF_Main::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    try {
        FormClose();
    } catch (const std::exception& e) {
        ApplicationEventsException(QString::fromLocal8Bit(e.what()));
    }
    event->accept();
}

// ---- idle and enabling ----

void TF_Main::onIdle()
{
    if (m_updating || Closing)
        return;
    m_updating = true;
    for (TF_SMDI* w : MDIChildren())
        w->UpdateDOState();
    AMUpdate();
    m_updating = false;
}

void TF_Main::AMUpdate()
{
    TF_SMDI* w = ActiveMDIChild();
    const size_t n = w ? w->StitchList.size() : 0;
    auto visible = [](QWidget* form) { return form && form->isVisible(); };
    A_WindowMeasurements->setChecked(visible(F_Measurements));
    A_SystemLog->setChecked(visible(F_ErrorLog));
    A_WindowBirdView->setChecked(visible(F_BirdView));
    A_WindowBirdView->setEnabled(F_BirdView);
    for (QAction* a : {A_WindowZoom, A_Zoom}) {
        a->setChecked(visible(F_Zoom));
        a->setEnabled(F_Zoom);
    }
    A_WindowFiles->setChecked(visible(F_FileManager));
    A_WindowTRacker->setChecked(visible(F_Tracker));
    // Closed by its own button, the notes window unchecks its command too.
    A_Notes->setChecked(visible(F_Notes));
    A_Notes->setEnabled(F_Notes);
    A_WindowTRacker->setEnabled(F_Tracker);
    A_WindowHistogram->setChecked(visible(F_Histogram));
    A_WindowHistogram->setEnabled(F_Histogram);

    for (QAction* a : {CloseMDI, A_SaveProject, A_SaveProjectTo, A_ScanToCurrent, A_AddImage})
        a->setEnabled(w != nullptr);
    for (QAction* a : {A_CopyImage, Brightness, Grayscale, Sharpen, Soften, Invert, A_ExportData,
                       A_CalibrateDPI, A_SetDPI})
        a->setEnabled(w && n > 0);
    A_CalibrateDPI->setEnabled(A_CalibrateDPI->isEnabled() && F_AdjustDPI);
    A_MatchImages->setEnabled(w && n > 1);
    for (QAction* a : {AddBorder, A_Resample, MirrorH, MirrorV, A_Rotate})
        a->setEnabled(w && n == 1);
    A_PasteImage->setEnabled(m_clipboardHasImage);
    A_MergeImage->setEnabled(w && m_clipboardHasImage);
    A_BrushSets->setEnabled(!BrushSetList.empty());
    if (TB_BrushSets)
        TB_BrushSets->setEnabled(A_BrushSets->isEnabled());
    A_WindowMeasurements->setEnabled(F_Measurements);
    A_SystemLog->setEnabled(F_ErrorLog);
    A_About->setEnabled(F_Splash);
    A_Tile->setEnabled(w != nullptr);

    // Items that pass a command on are as enabled as the command.
    for (QAction* item : M_Scan->actions())
        if (QAction* command = ForwardedCommand(item))
            item->setEnabled(command->isEnabled());
}

void TF_Main::ApplicationEventsException(const QString& message)
{
    TF_ErrorLog::Error(message, false);
}

void TF_Main::ApplicationEventsHint(const QString& hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    SB_MainPanel1->setText(bar >= 0 ? hint.mid(bar + 1) : hint);
}

bool TF_Main::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::StatusTip:
        ApplicationEventsHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    case QEvent::WindowActivate:
        SetCaption();
        break;
    default:
        break;
    }
    return QMainWindow::event(event);
}

// ---- command line and files ----

QString TF_Main::CommandLineFileName(const QStringList& arguments)
{
    return arguments.join(QLatin1Char(' '));
}

void TF_Main::OpenCommandLineFile()
{
    const QString fileName = CommandLineFileName(m_arguments);
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return;
    // The name keeps its letter case: on Linux another case is another file.
    const QString ext = ExtractFileExt(fileName).toUpper();
    if (ext == QStringLiteral(".JEX4") || ext == QStringLiteral(".JEX")) {
        OpenFile(fileName);
        m_openedAtStart = fileName;
    }
}

void TF_Main::OneInstanceNewInstanceLoad(const QStringList& arguments)
{
    if (!m_firstShowingDone) {
        m_pendingHandOvers << arguments;
        return;
    }
    const QString fileName = CommandLineFileName(arguments);
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return; // the running program is not even brought forward
    const QString ext = ExtractFileExt(fileName).toUpper();
    if (ext != QStringLiteral(".JEX4") && ext != QStringLiteral(".JEX"))
        return;
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
    OpenFile(fileName);
}

void TF_Main::OpenFile(const QString& fileName)
{
    if (ProjectLoading || !QFileInfo(fileName).isFile())
        return;
    const QString ext = ExtractFileExt(fileName).toUpper();
    if (ext == QStringLiteral(".JEX4")) {
        ProcessLoadProject(fileName);
    } else if (ext == QStringLiteral(".JEX")) {
        ImportOlderProject(fileName);
    } else if (IsImageFileName(fileName)) {
        // The progress box goes however the load ends.
        struct HideProgress {
            ~HideProgress()
            {
                if (F_Progress)
                    F_Progress->hide();
            }
        } hideProgress;
        if (F_Progress) {
            F_Progress->L_1->setText(QStringLiteral("Loading..."));
            F_Progress->L_2->setText(QStringLiteral("Loading image ") + ShortenText(fileName, 50));
            F_Progress->PB->setRange(0, 1);
            F_Progress->PB->setValue(0);
            F_Progress->show();
        }
        TF_SMDI* w = newImageWindow();
        TF_ErrorLog::AddLog(2, QStringLiteral("Image ") + fileName + QStringLiteral(" loaded into new project"));
        w->document().setChanged(true);
        QPointer<TF_SMDI> guard(w);
        QCoreApplication::processEvents();
        if (guard) {
            guard->LoadImage(fileName, true);
            SD_Project.initialDir = ExtractFileDir(fileName);
            AddRecentFile(fileName);
        }
        if (F_Progress) {
            F_Progress->DoStep();
            F_Progress->repaint();
        }
    }
}

void TF_Main::AcceptFiles(const QStringList& files)
{
    for (const QString& file : files) {
        if (F_FileManager)
            F_FileManager->BrowseTo(file);
        OpenFile(file);
    }
}

void TF_Main::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TF_Main::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TF_Main::dropEvent(QDropEvent* event)
{
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    AcceptFiles(files);
}

// ---- popup, wheel and keys ----

void TF_Main::contextMenuEvent(QContextMenuEvent* event)
{
    // Only the empty frame area; image and tool windows have their own popups.
    event->accept();
}

bool TF_Main::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
        if (watched == SB_Main || watched == SB_MainPanel0 || watched == SB_MainPanel1)
            SetCaption();
        break;
    case QEvent::ContextMenu:
        if (watched == m_mdiArea->viewport()) {
            // Clicks over an image window that it left unhandled arrive here too: not ours.
            auto* e = static_cast<QContextMenuEvent*>(event);
            if (m_mdiArea->viewport()->childAt(e->pos()))
                return false;
            PAB_Main->popup(e->globalPos());
            return true;
        }
        break;
    case QEvent::Wheel:
        if (handleWheel(watched, static_cast<QWheelEvent*>(event)))
            return true;
        break;
    case QEvent::KeyPress:
        if (previewKey(watched, static_cast<QKeyEvent*>(event)))
            return true;
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {

// The widget's top-level window is the frame itself, not a floating tool window or a dock widget.
bool insideFrame(QObject* object, const QWidget* frame)
{
    auto* w = qobject_cast<QWidget*>(object);
    if (!w || w->window() != frame)
        return false;
    for (QWidget* p = w; p; p = p->parentWidget())
        if (qobject_cast<QDockWidget*>(p))
            return false;
    return true;
}

// Controls that take typed text: keys belong to them.
bool takesText(const QWidget* w)
{
    if (!w)
        return false;
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w)
        || qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w))
        return true;
    if (auto* combo = qobject_cast<const QComboBox*>(w))
        return combo->isEditable();
    // An item view's in-place editor is a line edit of its own and has the focus while editing.
    return false;
}

} // namespace

bool TF_Main::handleWheel(QObject* receiver, QWheelEvent* event)
{
    TF_SMDI* w = ActiveMDIChild();
    if (!MouseOverImage || !w || !insideFrame(receiver, this))
        return false;
    const int dy = event->angleDelta().y();
    if (dy == 0)
        return false;
    zoomByWheel(w, dy < 0);
    event->accept();
    return true;
}

void TF_Main::zoomByWheel(TF_SMDI* w, bool down)
{
    QPointer<TF_SMDI> guard(w);
    QCoreApplication::processEvents();
    if (!guard)
        return;
    const QPoint before = w->AbsMouse;
    w->Drawing = true;
    try {
        w->setZoom(w->zoom() + (down ? 1 : -1));
        const QPoint p = w->ToReal(w->Mouse.x(), w->Mouse.y());
        if (p.x() <= w->Area->x2 && p.y() <= w->Area->y2) {
            w->SB_H->setValue(w->SB_H->value() + before.x() - p.x());
            w->SB_V->setValue(w->SB_V->value() + before.y() - p.y());
        }
    } catch (...) {
        w->Drawing = false;
        throw;
    }
    w->Drawing = false;
    w->SetCaption();
    w->SmoothDraw(true);
}

bool TF_Main::previewKey(QObject* receiver, QKeyEvent* event)
{
    const int key = event->key();
    if (key != Qt::Key_Insert && key != Qt::Key_Delete && key != Qt::Key_I)
        return false;
    if (!F_Measurements)
        return false;
    // Only the first receiver of a key previews it; the parents it propagates to do not.
    QWidget* focus = QApplication::focusWidget();
    auto* target = qobject_cast<QWidget*>(receiver);
    if (!target || target != (focus ? focus : target->window()))
        return false;
    if (target->window() != this || takesText(target))
        return false;
    // The tool window handles its own keys when it has the focus.
    if (F_Measurements->isAncestorOf(target) || target == F_Measurements)
        return false;
    int k = key;
    F_Measurements->FormKeyDown(k, event->modifiers());
    if (k != 0)
        return false;
    event->accept();
    return true;
}
