// Image window: components, creation and the Qt event plumbing that hands events to the
// window's handlers. Life cycle and commands live here too.
#include "workspace/TF_SMDI.h"

#include "image/TFastDIB.h"
#include "project/TArea.h"
#include "project/TJEXObject.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "project/TControlPoint.h"
#include "project/TJEXObject.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

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

QToolButton* speedButton(QWidget* parent, const QString& caption, const QString& hint, int w, int h)
{
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setToolTip(hint);
    b->setFixedSize(w, h);
    b->setAutoRaise(true);
    return b;
}

} // namespace

TF_SMDI::TF_SMDI(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(150, 120);
    resize(669, 277);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(14);
    setFont(f);

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
    SB_MDIPanels[3]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    outer->addWidget(SB_MDI);

    QFont small = font();
    small.setPixelSize(11);
    SB_Size1 = speedButton(SB_MDIPanels[0], QStringLiteral("1:1"), QStringLiteral("Display image 1:1"), 26, 21);
    SB_Size1->setFont(small);
    SB_SizeFit = speedButton(SB_MDIPanels[0], QStringLiteral("Fit"), QStringLiteral("Fit image to window"), 26, 21);
    SB_Align = speedButton(SB_MDI, QStringLiteral("Align images"), QString(), 85, 21);
    SB_Align->setCheckable(true);
    SB_DPI = speedButton(SB_MDI, QStringLiteral("1200"),
        QStringLiteral("Left click to adjust resolution, right click to directly set a new DPI value."), 75, 21);
    SB_DPI->setCheckable(true);
    CB_Zoom = new QComboBox(SB_MDI);
    CB_Zoom->setFixedWidth(64);
    for (const char* item : {"10:1", "9:1", "8:1", "7:1", "6:1", "5:1", "4:1", "3:1", "2:1", "1:1"})
        CB_Zoom->addItem(QString::fromLatin1(item));
    SB_AnchorStrict = speedButton(SB_MDI, QString(), QStringLiteral("Strict point alignment along an anchor line"), 21, 21);
    SB_AnchorStrict->setCheckable(true);

    T_AntRect = new QTimer(this);
    T_AntRect->setInterval(100);
    T_Gesture = new QTimer(this);
    T_Gesture->setInterval(50);

    FX = std::make_unique<TFastDIB>();
    Area = std::make_unique<TArea>();
    Project = std::make_unique<TJEXProject>();
    AnchorLine = std::make_unique<TAnchorLine>();
}

TF_SMDI::~TF_SMDI() = default;

void TF_SMDI::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TF_SMDI::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
}

void TF_SMDI::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
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

// Not built yet: the life-cycle routines below are placeholders.
void TF_SMDI::FormShow() {}
void TF_SMDI::FormActivate() {}
void TF_SMDI::FormDeactivate() {}
bool TF_SMDI::FormCloseQuery() { return true; }
void TF_SMDI::FormClose() {}
void TF_SMDI::ClearData(bool, bool) {}
void TF_SMDI::SetCaption() {}
void TF_SMDI::UpdateDOState() {}
void TF_SMDI::AM_MDIUpdate() {}
void TF_SMDI::A_AlignExecute() {}
void TF_SMDI::SB_AlignClick() {}
void TF_SMDI::SB_UpdateRAXOClick() {}
void TF_SMDI::M_QuitMovingClick() {}
void TF_SMDI::M_BringToFrontClick(QAction*) {}
