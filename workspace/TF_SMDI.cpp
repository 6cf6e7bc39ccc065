// Image window: components, creation and the Qt event plumbing that hands events to the
// window's handlers. Life cycle and commands live here too. The window is the widget inside a
// QMdiSubWindow of the main window; it follows that sub-window's activation and closes it along.
#include "workspace/TF_SMDI.h"

#include "image/TFastDIB.h"
#include "platform/Cp1252.h"
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/JEX3Project.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "project/TArea.h"
#include "project/TControlPoint.h"
#include "project/TJEXObject.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/RAXOLink.h"
#include "shell/TF_CloseManager.h"
#include "shell/TF_AdjustDPI.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "shell/TF_Setup.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_Contrast.h"
#include "workspace/TF_Grayscale.h"
#include "workspace/TF_Histogram.h"
#include "workspace/ForwardedCommand.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Notes.h"
#include "workspace/TF_Tracker.h"
#include "workspace/TF_Zoom.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>

TPaintBox::TPaintBox(TF_SMDI* owner, QWidget* parent)
    : QWidget(parent)
    , m_owner(owner)
{
    setMouseTracking(true);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
}

void TPaintBox::paintEvent(QPaintEvent*) { m_owner->PBPaint(); }

void TPaintBox::mousePressEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    m_owner->PBMouseDown(e->button(), e->modifiers(), p.x(), p.y());
}

void TPaintBox::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    m_owner->PBMouseMove(e->buttons(), e->modifiers(), p.x(), p.y());
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* e)
{
    const QPoint p = e->position().toPoint();
    m_owner->PBMouseUp(e->button(), e->modifiers(), p.x(), p.y());
}

// Every drag over the paint box is accepted; dropped files are loaded as images.
void TPaintBox::dragEnterEvent(QDragEnterEvent* e) { e->acceptProposedAction(); }
void TPaintBox::dragMoveEvent(QDragMoveEvent* e) { e->acceptProposedAction(); }

void TPaintBox::dropEvent(QDropEvent* e)
{
    QStringList files;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    if (!files.isEmpty()) {
        e->acceptProposedAction();
        m_owner->AcceptFiles(files);
    }
}

namespace {

// Windows from creation until their close, in creation order.
QList<TF_SMDI*>& openWindows()
{
    static QList<TF_SMDI*> windows;
    return windows;
}

QToolButton* speedButton(QWidget* parent, const QString& caption, const QString& hint, int w, int h)
{
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setToolTip(hint);
    b->setFixedSize(w, h);
    b->setAutoRaise(true);
    return b;
}

// Hands a finished request to RAXO over the main window's link. Returns false when it was not sent.
bool sendToRAXO(const QByteArray& message)
{
    RAXOLink* link = RAXOLink::Current();
    return link && link->Send(message);
}

} // namespace

QList<TF_SMDI*> ImageWindows()
{
    QList<TF_SMDI*> result;
    if (F_Main && F_Main->mdiArea())
        for (QMdiSubWindow* sub : F_Main->mdiArea()->subWindowList(QMdiArea::CreationOrder))
            if (auto* w = qobject_cast<TF_SMDI*>(sub->widget()); w && openWindows().contains(w))
                result << w;
    for (TF_SMDI* w : openWindows())
        if (!result.contains(w))
            result << w;
    return result;
}

QString NewProjectName(const TF_SMDI* window)
{
    const QList<TF_SMDI*> windows = ImageWindows();
    auto taken = [&](const QString& name) {
        for (const TF_SMDI* w : windows)
            if (w != window && w->Project && w->Project->Name == name)
                return true;
        return false;
    };
    for (qsizetype n = qMax<qsizetype>(1, windows.size());; ++n) {
        const QString name = QStringLiteral("New Project ") + QString::number(n);
        if (!taken(name))
            return name;
    }
}

TF_SMDI* CreateImageWindow()
{
    auto* window = new TF_SMDI;
    if (F_Main && F_Main->mdiArea())
        F_Main->mdiArea()->addSubWindow(window);
    window->show();
    return window;
}

void DiscardImageWindow(TF_SMDI* w)
{
    if (!w)
        return;
    QPointer<TF_SMDI> guard(w);
    // Its resolution came from the rejected file: the next new window must not start with it.
    const int standardDPI = SettingStandardDPI;
    if (!w->Closing)
        w->FormClose();
    SettingStandardDPI = standardDPI;
    if (!guard)
        return;
    if (QMdiSubWindow* sub = guard->mdiFrame())
        sub->close();
    else
        guard->close();
}

QByteArray RAXOReloadRequest(const QString& projectFile, const QString& pathGUID)
{
    return Cp1252::fromUnicode(QStringLiteral("JEX\r\nRELOAD\r\n") + projectFile + QStringLiteral("\r\n") + pathGUID);
}

TF_SMDI::TF_SMDI(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(150, 120);
    resize(669, 277);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(14);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xFF, 0xFB, 0xF0)); // cream
    setPalette(pal);
    setAutoFillBackground(true);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    P_UpdateRAXO = new QFrame(this);
    P_UpdateRAXO->setFixedHeight(25);
    auto* raxoLayout = new QHBoxLayout(P_UpdateRAXO);
    raxoLayout->setContentsMargins(0, 0, 0, 0);
    SB_UpdateRAXO = new QToolButton(P_UpdateRAXO);
    SB_UpdateRAXO->setToolTip(QStringLiteral("Save changes and reload record in RAXO5"));
    SB_UpdateRAXO->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    raxoLayout->addWidget(SB_UpdateRAXO);
    P_UpdateRAXO->hide();
    outer->addWidget(P_UpdateRAXO);

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    PB = new TPaintBox(this, this);
    middle->addWidget(PB, 1);
    P_Right = new QFrame(this);
    P_Right->setFixedWidth(17);
    auto* rightLayout = new QVBoxLayout(P_Right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    SB_V = new QScrollBar(Qt::Vertical, P_Right);
    SB_V->setPageStep(0);
    SB_V->setRange(0, 0);
    rightLayout->addWidget(SB_V);
    middle->addWidget(P_Right);
    outer->addLayout(middle, 1);

    P_Bottom = new QFrame(this);
    P_Bottom->setFixedHeight(17);
    auto* bottomLayout = new QHBoxLayout(P_Bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->setSpacing(0);
    SB_H = new QScrollBar(Qt::Horizontal, P_Bottom);
    SB_H->setPageStep(0);
    SB_H->setRange(0, 0);
    bottomLayout->addWidget(SB_H, 1);
    P_TopRight = new QFrame(P_Bottom);
    P_TopRight->setFixedWidth(21);
    bottomLayout->addWidget(P_TopRight);
    outer->addWidget(P_Bottom);

    SB_MDI = new QStatusBar(this);
    SB_MDI->setFixedHeight(25);
    SB_MDI->setSizeGripEnabled(false);
    for (int w : {120, 160, 70, 105, 60}) {
        auto* panel = new QLabel(SB_MDI);
        panel->setFixedWidth(w);
        SB_MDI->addWidget(panel);
        SB_MDIPanels << panel;
    }
    // The last panel holds the mode hints and the region sizes: like the last panel of a Windows
    // status bar it takes the rest of the bar, its 60 pixels being only its least width.
    SB_MDIPanels[4]->setMinimumWidth(60);
    SB_MDIPanels[4]->setMaximumWidth(QWIDGETSIZE_MAX);
    SB_MDI->removeWidget(SB_MDIPanels[4]);
    SB_MDI->addWidget(SB_MDIPanels[4], 1);
    SB_MDIPanels[4]->show();
    SB_MDIPanels[3]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    outer->addWidget(SB_MDI);

    // The buttons and the zoom list sit over the first status panels; FormShow places them. The
    // form's 14-pixel font does not fit their design widths.
    QFont small = font();
    small.setPixelSize(11);
    QFont bar = font();
    bar.setPixelSize(12);
    SB_Size1 = speedButton(SB_MDI, QStringLiteral("1:1"), QStringLiteral("Display image 1:1"), 26, 21);
    SB_Size1->setFont(small);
    SB_SizeFit = speedButton(SB_MDI, QStringLiteral("Fit"), QStringLiteral("Fit image to window"), 26, 21);
    SB_Align = speedButton(SB_MDI, QStringLiteral("Align images"), QString(), 85, 21);
    SB_Align->setCheckable(true);
    SB_DPI = speedButton(SB_MDI, QStringLiteral("1200"),
        QStringLiteral("Left click to adjust resolution, right click to directly set a new DPI value."), 75, 21);
    CB_Zoom = new QComboBox(SB_MDI);
    CB_Zoom->setFixedWidth(64);
    for (const char* item : {"10:1", "9:1", "8:1", "7:1", "6:1", "5:1", "4:1", "3:1", "2:1", "1:1"})
        CB_Zoom->addItem(QString::fromLatin1(item));
    SB_AnchorStrict = speedButton(SB_MDI, QString(), QStringLiteral("Strict point alignment along an anchor line"), 21, 21);
    SB_AnchorStrict->setCheckable(true);
    for (QWidget* w : std::initializer_list<QWidget*>{SB_SizeFit, SB_Align, SB_DPI, CB_Zoom, SB_AnchorStrict})
        w->setFont(bar);

    T_AntRect = new QTimer(this);
    T_AntRect->setInterval(100);
    T_Gesture = new QTimer(this);
    T_Gesture->setInterval(50);

    createActions();
    createMenus();
    connectComponents();

    openWindows().append(this);
    FormCreate();
}

TF_SMDI::~TF_SMDI()
{
    openWindows().removeAll(this);
    // FormDestroy: the lists themselves go with their owners below. Points and images still held
    // (a window destroyed without closing) are freed by the same owners.
    DrawObject = nullptr;
}

void TF_SMDI::FormCreate()
{
    AnchorLine = std::make_unique<TAnchorLine>();
    CPList.clear();
    fImageLoadError = false;
    Area = std::make_unique<TArea>();
    SB_H->setValue(0);
    SB_V->setValue(0);

    // A resolution of 0 or less would divide by zero in every distance; it never enters.
    SettingStandardDPI = NormalizedStandardDPI(SettingStandardDPI);
    DPI = SettingStandardDPI;

    fZoom = 10;
    fScreenMode = mmSelect;
    StitchList.clear();
    PathList.clear();
    DrawList.clear();

    B_Background = QImage();
    B_Image = QImage();
    B_Foreground = QImage();
    B_Bird = QImage();
    const int zw = qMax(0, SettingZoomWidth);
    B_Zoom = QImage(zw, zw, QImage::Format_RGB32);
    B_Zoom.fill(0);
    FX = std::make_unique<TFastDIB>();

    // Every new window starts with one empty path, made by the tool window when there is one.
    QString pathName = TF_Measurements::GetUniquePathName(this, QStringLiteral("Path"));
    if (pathName.isEmpty())
        pathName = QStringLiteral("Path 1"); // the window has no path yet
    if (F_Measurements)
        CurrentPath = F_Measurements->NewPath(this, pathName);
    if (!CurrentPath) {
        auto path = std::make_unique<TPath>();
        path->Name = pathName;
        path->expanded = true;
        path->Pith = false;
        CurrentPath = path.get();
        PathList.push_back(std::move(path));
    }

    Project = std::make_unique<TJEXProject>();
    Project->Name = NewProjectName(this);
    Project->Filename.clear(); // not saved yet
    m_doc.setChanged(false);

    if (F_Main)
        F_Main->UpdateProjectList();

    for (int n = 2; n <= 99; ++n)
        CB_Zoom->addItem(QStringLiteral("1:") + QString::number(n));

    SetCaption();
    T_AntRect->start();
    T_Gesture->start();
    // Commands are enabled from the window's state whenever the program falls idle.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
            if (!Closing)
                AM_MDIUpdate();
        });
}

void TF_SMDI::createActions()
{
    auto action = [this](const QString& caption, void (TF_SMDI::*handler)()) {
        auto* a = new QAction(caption, this);
        connect(a, &QAction::triggered, this, handler);
        addAction(a);
        return a;
    };
    A_SelectionMode = action(QStringLiteral("Selection Mode"), &TF_SMDI::A_SelectionModeExecute);
    A_NewIndex = action(QStringLiteral("New Index"), &TF_SMDI::A_NewIndexExecute);
    A_NewMeasurements = action(QStringLiteral("New Measurements"), &TF_SMDI::A_NewMeasurementsExecute);
    A_Setup = action(QStringLiteral("Setup"), &TF_SMDI::A_SetupExecute);
    A_DoZoom = new QAction(QStringLiteral("Zoom"), this);
    A_InsertIndex = action(QStringLiteral("Insert Index"), &TF_SMDI::A_InsertIndexExecute);
    A_InsertMeasurement = action(QStringLiteral("Insert Measurement"), &TF_SMDI::A_InsertMeasurementExecute);
    A_SelectRegion = action(QStringLiteral("Select region"), &TF_SMDI::A_SelectRegionExecute);
    A_EditInfo = action(QStringLiteral("Edit info"), &TF_SMDI::A_EditInfoExecute);
    A_Arrow = action(QStringLiteral("Arrow"), &TF_SMDI::A_ArrowExecute);
    A_Rectangle = action(QStringLiteral("Rectangle"), &TF_SMDI::A_RectangleExecute);
    A_Delete = action(QStringLiteral("Delete selected point(s)"), &TF_SMDI::A_DeleteExecute);
    // Checks itself: the mark is toggled before the handler runs.
    A_Align = action(QStringLiteral("Align images"), &TF_SMDI::A_AlignExecute);
    A_Align->setCheckable(true);
    A_AnchorPoint = action(QStringLiteral("Set Anchor point"), &TF_SMDI::A_AnchorPointExecute);
    A_AnchorPoint->setToolTip(QStringLiteral("Set a new anchorpoint"));
    A_AnchorPoint->setStatusTip(QStringLiteral("Set a new anchorpoint"));
    // Pictures from the main window's image list, by their places in it.
    if (F_Main) {
        const std::pair<QAction*, int> icons[] = {
            {A_SelectionMode, 0}, {A_NewIndex, 1}, {A_NewMeasurements, 2}, {A_DoZoom, 3}, {A_InsertIndex, 4},
            {A_InsertMeasurement, 5}, {A_SelectRegion, 6}, {A_EditInfo, 7}, {A_Align, 10}, {A_Rectangle, 11},
            {A_Arrow, 12}, {A_Delete, 14}, {A_AnchorPoint, 15},
        };
        for (const auto& [action, index] : icons)
            action->setIcon(F_Main->IL_MDI.value(index));
    }
}

void TF_SMDI::createMenus()
{
    PAB_MDI = new QMenu(this);
    PAB_MDI->addAction(A_SelectionMode);
    PAB_MDI->addAction(A_NewIndex);
    PAB_MDI->addAction(A_NewMeasurements);
    PAB_MDI->addAction(A_Delete);
    M_Draw = PAB_MDI->addMenu(QStringLiteral("Draw"));
    M_Draw->addAction(A_Arrow);
    M_Draw->addAction(A_Rectangle);
    PAB_MDI->addAction(A_SelectRegion);
    PAB_MDI->addSeparator();
    if (F_Measurements && F_Measurements->A_Sapwood)
        PAB_MDI->addAction(F_Measurements->A_Sapwood);
    PAB_MDI->addAction(A_AnchorPoint);
    PAB_MDI->addSeparator();
    PAB_MDI->addAction(A_InsertIndex);
    PAB_MDI->addAction(A_InsertMeasurement);
    PAB_MDI->addAction(A_EditInfo);
    PAB_MDI->addSeparator();
    PAB_MDI->addAction(A_Align);
    PAB_MDI->addAction(A_Setup);
    PAB_MDI->setDefaultAction(A_Setup);

    PAB_Selected = new QMenu(this);
    M_QuitMoving = PAB_Selected->addAction(QStringLiteral("Quit aligning images"));
    connect(M_QuitMoving, &QAction::triggered, this, &TF_SMDI::M_QuitMovingClick);
    PAB_Selected->addSeparator();
    M_RemoveImage = PAB_Selected->addAction(QStringLiteral("Remove image from project"));
    M_SaveImage = PAB_Selected->addAction(QStringLiteral("Save image as..."));
    PAB_Selected->addSeparator();
    M_BringToFront = PAB_Selected->addAction(QStringLiteral("Move to front"));
    M_SendToBack = PAB_Selected->addAction(QStringLiteral("Send to back"));
    M_OneUp = PAB_Selected->addAction(QStringLiteral("One up"));
    M_OneDown = PAB_Selected->addAction(QStringLiteral("One down"));
    // The image items pass on to the project window's image-tree commands.
    if (F_Measurements) {
        ForwardCommand(M_RemoveImage, F_Measurements->A_RemoveImage);
        ForwardCommand(M_SaveImage, F_Measurements->A_SaveImageAs);
        ForwardCommand(M_BringToFront, F_Measurements->PM_SOMoveToFront);
        ForwardCommand(M_SendToBack, F_Measurements->PM_SOSendToBack);
        ForwardCommand(M_OneUp, F_Measurements->PM_SOOneUp);
        ForwardCommand(M_OneDown, F_Measurements->PM_SOOneDown);
    }
}

void TF_SMDI::connectComponents()
{
    connect(SB_H, &QScrollBar::valueChanged, this, &TF_SMDI::SB_HChange);
    connect(SB_V, &QScrollBar::valueChanged, this, &TF_SMDI::SB_HChange);
    // The bar's value, not the signal's: a handler above may have moved it again meanwhile.
    connect(SB_H, &QScrollBar::valueChanged, &m_doc, [this] { m_doc.ScrollX = SB_H->value(); });
    connect(SB_V, &QScrollBar::valueChanged, &m_doc, [this] { m_doc.ScrollY = SB_V->value(); });
    // Whoever marks the project changed or saved, the caption and the project row's icon follow.
    connect(&m_doc, &ProjectDocument::modificationChanged, this, [this] {
        SetCaption();
        if (!F_Measurements || F_Measurements->MDIForm() != this)
            return;
        ImageTreeModel* images = F_Measurements->imageModel();
        const TreeNode* projectRow = images->nodeFromIndex(images->index(0, 0));
        if (projectRow && images->GetNodeWindow(projectRow) == this)
            images->refreshNode(projectRow);
    });
    // Only a choice of the user changes the zoom; SetCaption selects items without effect.
    connect(CB_Zoom, &QComboBox::activated, this, &TF_SMDI::CB_ZoomChange);
    connect(SB_Size1, &QToolButton::clicked, this, &TF_SMDI::SB_Size1Click);
    connect(SB_SizeFit, &QToolButton::clicked, this, &TF_SMDI::SB_SizeFitClick);
    connect(SB_Align, &QToolButton::clicked, this, &TF_SMDI::SB_AlignClick);
    connect(SB_AnchorStrict, &QToolButton::clicked, this, &TF_SMDI::SB_AnchorStrictClick);
    connect(SB_UpdateRAXO, &QToolButton::clicked, this, &TF_SMDI::SB_UpdateRAXOClick);
    SB_DPI->installEventFilter(this); // it tells the left from the right button
    connect(T_AntRect, &QTimer::timeout, this, &TF_SMDI::T_AntRectTimer);
    connect(T_Gesture, &QTimer::timeout, this, &TF_SMDI::T_GestureTimer);
    connect(PAB_MDI, &QMenu::aboutToShow, this, [this] {
        AM_MDIUpdate();
        PAB_MDIPopup();
    });
    connect(PAB_Selected, &QMenu::aboutToShow, this, [this] {
        AM_MDIUpdate();
        PAB_SelectedPopup();
    });
}

bool TF_SMDI::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SB_DPI && event->type() == QEvent::MouseButtonPress)
        SB_DPIMouseDown(static_cast<QMouseEvent*>(event)->button());
    return QWidget::eventFilter(watched, event);
}

QMdiSubWindow* TF_SMDI::mdiFrame() const
{
    return qobject_cast<QMdiSubWindow*>(parentWidget());
}

// Activation follows the sub-window's active state; a window standing alone follows its own.
void TF_SMDI::attachToFrame()
{
    QMdiSubWindow* frame = mdiFrame();
    if (!frame || frame == m_frame)
        return;
    if (m_frame)
        disconnect(m_frame, nullptr, this, nullptr);
    m_frame = frame;
    connect(frame, &QMdiSubWindow::windowStateChanged, this, &TF_SMDI::frameStateChanged);
    // Activated before this connection existed (the area activates a sub-window as it shows).
    if (frame->windowState().testFlag(Qt::WindowActive))
        FormActivate();
}

void TF_SMDI::frameStateChanged(Qt::WindowStates oldState, Qt::WindowStates newState)
{
    const bool was = oldState.testFlag(Qt::WindowActive);
    const bool is = newState.testFlag(Qt::WindowActive);
    if (!was && is)
        FormActivate();
    else if (was && !is)
        FormDeactivate();
}

void TF_SMDI::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isWindow() && !Closing) {
        if (isActiveWindow())
            FormActivate();
        else
            FormDeactivate();
    }
}

void TF_SMDI::closeEvent(QCloseEvent* event)
{
    if (Closing) { // closed already; the sub-window passes its own close on to us
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    // Closed on its own (not through the sub-window): the empty frame goes too.
    if (QMdiSubWindow* frame = mdiFrame())
        frame->close();
}

void TF_SMDI::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TF_SMDI::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    attachToFrame();
    if (!event->spontaneous())
        FormShow();
}

void TF_SMDI::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    FormKeyDown(key, event->modifiers());
    if (key == 0)
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

void TF_SMDI::keyReleaseEvent(QKeyEvent* event)
{
    int key = event->key();
    FormKeyUp(key, event->modifiers());
    if (key == 0)
        event->accept();
    else
        QWidget::keyReleaseEvent(event);
}

// ---- life cycle ----

void TF_SMDI::placeStatusButtons()
{
    if (QLayout* l = SB_MDI->layout())
        l->activate();
    const QRect p0 = SB_MDIPanels[0]->geometry();
    const QRect p2 = SB_MDIPanels[2]->geometry();
    const int h = p0.height();
    SB_Size1->setFixedSize(SB_Size1->width(), qMax(1, h - 2));
    SB_Size1->move(p0.left() + 1, p0.top() + 1);
    SB_SizeFit->setFixedSize(SB_SizeFit->width(), qMax(1, h - 2));
    SB_SizeFit->move(p0.left() + 26, p0.top() + 1);
    SB_Align->setFixedSize(SB_Align->width(), qMax(1, h - 2));
    SB_Align->move(p0.left() + 52, p0.top() + 1);
    SB_DPI->setFixedSize(SB_DPI->width(), qMax(1, h - 1));
    SB_DPI->move(SB_Align->width() + 52, p0.top() + 1);
    CB_Zoom->setFixedHeight(qMax(1, h - 1));
    CB_Zoom->move(SB_DPI->geometry().right() + 1, p0.top() + 1);
    SB_AnchorStrict->move(p2.left(), p2.top() + 1);
    for (QWidget* w : {static_cast<QWidget*>(SB_Size1), static_cast<QWidget*>(SB_SizeFit),
                       static_cast<QWidget*>(SB_Align), static_cast<QWidget*>(SB_DPI),
                       static_cast<QWidget*>(CB_Zoom), static_cast<QWidget*>(SB_AnchorStrict)})
        w->raise();
}

void TF_SMDI::FormShow()
{
    Closing = false;
    placeStatusButtons();
    // Dropped files arrive through the paint box, which accepts drops from creation on.
}

void TF_SMDI::FormActivate()
{
    if (Closing)
        return;
    if (F_Main)
        F_Main->UpdateProjectList();
    if (F_Measurements)
        F_Measurements->FillMeasurements(this, true);
    if (F_BirdView)
        F_BirdView->ClearBird();
    UpdateBird(true);
    if (F_Notes)
        F_Notes->setEditObject(this);
    emit activated(this);
}

void TF_SMDI::FormDeactivate()
{
    if (Closing)
        return;
    if (F_Measurements)
        F_Measurements->SaveVSTState(this);
}

void TF_SMDI::FormResize()
{
    if (!Area)
        return; // a resize before creation has finished
    UpdateArea();
    SmoothDraw(true);
}

void TF_SMDI::forgetBirdView()
{
    if (F_BirdView && F_BirdView->MDIForm == this)
        F_BirdView->MDIForm = nullptr;
}

bool TF_SMDI::HasUnsavedWork() const
{
    bool changed = Project->Changed;
    for (const auto& so : StitchList)
        changed = changed || so->ImageChanged;
    return changed;
}

bool TF_SMDI::AskToClose()
{
    if (F_CloseManager) {
        F_CloseManager->MDI = this;
        return F_CloseManager->exec() != QDialog::Rejected;
    }
    // Without the close-project dialog only a changed project or image is asked about.
    return !HasUnsavedWork()
        || MessageDlg(QStringLiteral("The project \"") + Project->Name
                          + QStringLiteral("\" is NOT saved!\r\nClose it anyway?"),
                      mtConfirmation, mbYesNo)
        == mrYes;
}

bool TF_SMDI::FormCloseQuery()
{
    if (fImageLoadError)
        return true;
    if (!AskToClose())
        return false;
    forgetBirdView();
    return true;
}

void TF_SMDI::FormClose()
{
    Closing = true;
    T_AntRect->stop();
    T_Gesture->stop();
    openWindows().removeAll(this);
    // The next new window starts with this resolution; an unusable one does not pass on.
    SettingStandardDPI = NormalizedStandardDPI(DPI);

    try {
        if (F_BirdView)
            F_BirdView->UpdateBird(nullptr, 0);
        if (F_Histogram)
            F_Histogram->UpdateHistogram(nullptr);
        // A profile of pixels that are going is no profile to point into.
        if (F_Tracker && F_Tracker->MDI == this)
            F_Tracker->UpdateTracker(nullptr);
        // The image dialogs working on this window go with it, before its pixels do.
        if (F_Grayscale && F_Grayscale->isVisible() && F_Grayscale->MDI == this)
            F_Grayscale->reject();
        if (F_Contrast && F_Contrast->isVisible() && F_Contrast->MDI == this)
            F_Contrast->reject();
        if (F_Zoom)
            F_Zoom->UpdateZoom(nullptr);
        // A calibration of this window ends with it.
        if (F_AdjustDPI && F_AdjustDPI->MDIForm == this)
            F_AdjustDPI->hide();
        ClearData(true, true);
        CurrentPath = nullptr;
        if (F_Measurements)
            F_Measurements->ClearAll();
        if (F_Main) {
            if (F_Main->fs() == this)
                F_Main->fs() = nullptr;
            if (F_Main->fr() == this)
                F_Main->fr() = nullptr;
        }
        FX.reset();
        B_Background = QImage();
        B_Image = QImage();
        B_Foreground = QImage();
        B_Zoom = QImage();
        B_Bird = QImage();
        if (F_Main)
            F_Main->SetCaption();
    } catch (const std::exception& e) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Error while closing ") + Project->Name + QStringLiteral(": ")
                                   + QString::fromLocal8Bit(e.what()));
    }

    if (F_Measurements)
        F_Measurements->FillProject(nullptr);
    if (F_Main)
        F_Main->UpdateProjectList();
    QCoreApplication::processEvents();
    // The notes go back into this project before the editor leaves it.
    if (F_Notes && F_Notes->EditObject() == this)
        F_Notes->setEditObject(nullptr);
    // The tool windows end bound to the last of the remaining windows.
    QList<QPointer<TF_SMDI>> others;
    for (TF_SMDI* w : ImageWindows())
        others << w;
    for (const QPointer<TF_SMDI>& other : others)
        if (other) // a window may have gone while the activations ran
            other->FormActivate();
    emit closing(this);
}

void TF_SMDI::ClearData(bool Data, bool Images)
{
    // The trees show the objects about to go; they are emptied first and rebuilt by the caller.
    if (F_Measurements && F_Measurements->MDIForm() == this)
        F_Measurements->ClearAll();
    DrawObject = nullptr;
    m_doc.clear(Data, Images);
}

void TF_SMDI::SetCaption()
{
    SB_DPI->setText(QString::number(DPI));
    setWindowTitle(Project->Caption());
    CB_Zoom->setCurrentIndex(fZoom - 1 < CB_Zoom->count() ? fZoom - 1 : -1);
    if (F_Main)
        F_Main->SetCaption();
}

// Pixels of images out of view are given back and read again when they come into view. Pixels
// that exist nowhere else (changed, or without a readable file) are never given back.
void TF_SMDI::UpdateDOState()
{
    if (!SettingDynamicImages)
        return;
    bool anyRead = false;
    // A file that no longer reads is reported once (the image then counts as loaded) and does not
    // keep the other images from their turn.
    auto reload = [this](TStitchObject* so) {
        try {
            ReloadImage(so);
        } catch (const std::exception& e) {
            so->Loaded = true;
            TF_ErrorLog::AddLog(0, QString::fromUtf8(e.what()));
        }
    };
    for (const auto& owned : StitchList) {
        TStitchObject* so = owned.get();
        if (so->Embedded) {
            if (!so->Loaded) {
                reload(so);
                anyRead = true;
            }
            continue;
        }
        if (so->FD->Bits) {
            so->Width = so->FD->Info.Header.Width;
            so->Height = so->FD->AbsHeight;
        }
        if (!so->Displayed) {
            if (so->Loaded && !so->ImageChanged && !so->filename.isEmpty() && QFile::exists(so->filename)) {
                so->FD->SetSize(0, 0, 24);
                so->Loaded = false;
            }
        } else if (!so->Loaded) {
            reload(so);
            PB->update();
            so->Visible = true;
            so->Loaded = true;
            anyRead = true;
        }
    }
    if (anyRead)
        SmoothDraw(true);
}

// ---- commands ----

void TF_SMDI::setScreenCursor()
{
    if (F_Main)
        F_Main->SetScreenCursor();
}

void TF_SMDI::AM_MDIUpdate()
{
    const size_t n = StitchList.size();
    const bool images = n > 0;
    const bool path = CurrentPath != nullptr;
    A_SelectionMode->setEnabled(true);
    A_NewIndex->setEnabled(images && path);
    A_NewMeasurements->setEnabled(images && path);
    A_Setup->setEnabled(true);
    A_DoZoom->setEnabled(images);
    A_InsertIndex->setEnabled(images && path);
    A_InsertMeasurement->setEnabled(images && path);
    A_SelectRegion->setEnabled(images && fScreenMode == mmSelect);
    A_EditInfo->setEnabled(images && path);
    A_Arrow->setEnabled(images);
    A_Rectangle->setEnabled(images);
    const bool treeSelection = F_Measurements && F_Measurements->FirstSelectedObject();
    A_Delete->setEnabled(images && path && treeSelection);
    if (treeSelection && F_Measurements->A_InsertIndex)
        F_Measurements->A_InsertIndex->setEnabled(true);
    A_Align->setEnabled(n > 1);
    A_AnchorPoint->setEnabled(images);
    PAB_SelectedPopup(); // the alignment popup's image items
    A_AlignUpdate();
}

void TF_SMDI::A_SelectionModeExecute()
{
    ApplyScreenMode(mmSelect);
    SB_MDIPanels[4]->clear();
    setScreenCursor();
    SmoothDraw(true);
}

void TF_SMDI::A_NewIndexExecute()
{
    ApplyScreenMode(mmNewIndex);
    setScreenCursor();
    if (F_Measurements)
        F_Measurements->ShowMeasurementsPage();
    PB->update();
}

void TF_SMDI::A_NewMeasurementsExecute()
{
    if (!CurrentIndex) {
        // Measuring needs an index point to follow: the user is led to set one first.
        ShowMessage(QStringLiteral("You must create an Index first!"));
        A_NewIndexExecute();
        return;
    }
    ApplyScreenMode(mmNewMeasurement);
    setScreenCursor();
    if (F_Measurements)
        F_Measurements->ShowMeasurementsPage();
    PB->update();
}

void TF_SMDI::A_SetupExecute()
{
    if (!F_Setup)
        return;
    F_Setup->Tag = 1; // "General display parameters"
    F_Setup->exec();
}

void TF_SMDI::A_InsertIndexExecute()
{
    if (F_Measurements)
        F_Measurements->InsertIndex();
}

void TF_SMDI::A_InsertMeasurementExecute()
{
    if (F_Measurements)
        F_Measurements->InsertMeasurement();
}

void TF_SMDI::A_EditInfoExecute()
{
    if (F_Measurements)
        F_Measurements->EditInfos();
    SmoothDraw(true);
}

void TF_SMDI::A_DeleteExecute()
{
    if (F_Measurements) {
        int key = Qt::Key_Delete;
        F_Measurements->FormKeyDown(key, Qt::NoModifier);
    }
}

void TF_SMDI::A_AnchorPointExecute()
{
    ApplyScreenMode(mmAnchorLine);
    setScreenCursor();
    if (F_Measurements)
        F_Measurements->ShowMeasurementsPage();
    PB->update();
}

void TF_SMDI::A_AlignExecute()
{
    if (A_Align->isChecked()) {
        ApplyScreenMode(fScreenMode == mmAlignImages ? mmSelect : mmAlignImages);
        setScreenCursor();
    } else {
        A_SelectionModeExecute();
    }
    SB_Align->setChecked(fScreenMode == mmAlignImages);
    if (F_Measurements)
        F_Measurements->ShowImagesPage();
}

void TF_SMDI::A_AlignUpdate()
{
    SB_Align->setChecked(A_Align->isChecked());
}

void TF_SMDI::SB_AlignClick()
{
    // The button only mirrors the command: it toggles the mark and runs it.
    if (A_Align->isEnabled())
        A_Align->trigger();
    A_AlignUpdate();
}

void TF_SMDI::M_QuitMovingClick()
{
    ApplyScreenMode(mmSelect);
    A_Align->setChecked(false);
    A_AlignExecute();
    setScreenCursor();
    SB_MDIPanels[4]->clear();
}

void TF_SMDI::SB_UpdateRAXOClick()
{
    QPointer<TF_SMDI> self(this);
    QString fileName = Project->Filename;
    int saved = -1;
    if (fileName.isEmpty()) {
        // Never saved, or a new project since an image was added: the user says where, as for
        // Save Project.
        if (F_Main) {
            F_Main->ActivateMDIChild(this);
            if (F_Main->ActiveMDIChild() == this)
                F_Main->A_SaveProjectExecute();
        }
        if (!self || Project->Filename.isEmpty() || Project->Changed)
            return; // cancelled or not written
        fileName = Project->Filename;
        saved = 0;
    } else {
        try {
            if (ExtractFileExt(fileName).toUpper() == QStringLiteral(".JEX")) {
                // The older format holds one image and one path: writing more would drop the rest
                // from the file RAXO reloads while the window still shows it.
                if (FitsJEX3(this))
                    saved = ExportJEX3Project(this, fileName);
                else
                    ShowMessage(JEX3RefusalText);
            } else {
                saved = SaveProjectXML(this, fileName, true);
            }
        } catch (const std::exception& e) {
            TF_ErrorLog::AddLog(0, QStringLiteral("Error saving project to ") + fileName + QStringLiteral(": ")
                                       + QString::fromLocal8Bit(e.what()));
            saved = -1;
        }
    }
    // RAXO reloads what is on disk: a failed save must not be announced.
    if (saved != 0)
        return;
    if (!CurrentPath) {
        TF_ErrorLog::AddLog(3, QStringLiteral("No current path: RAXO was not asked to reload ") + fileName);
        return;
    }
    if (!sendToRAXO(RAXOReloadRequest(fileName, CurrentPath->GUID)))
        TF_ErrorLog::AddLog(0, QStringLiteral("RAXO is not connected: reload request for ") + fileName
                                   + QStringLiteral(" not sent"));
}
