// Bird's-eye view: framing and showing the image window's overview, and moving and zooming that
// window from it.
#include "workspace/TF_BirdView.h"

#include "image/GrayFilters.h"
#include "platform/Delphi.h"
#include "platform/DeviceContext.h"
#include "project/ObjectDrawing.h"
#include "shell/TF_Main.h"
#include "shell/TF_Setup.h"
#include "workspace/TF_SMDI.h"
#include "workspace/ToolWindows.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

QPointer<TF_BirdView> F_BirdView;

namespace {

const QString kEmptyText = QStringLiteral("No bird view available");
const QString kFontFace = QStringLiteral("DejaVu Sans");
constexpr COLORREF clGray = 0x808080;

} // namespace

TF_BirdView::TF_BirdView(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Bird view"));
    setObjectName(QStringLiteral("F_BirdView"));
    setMinimumSize(50, MinimumHeight);
    SetDockedMinimumHeight(this, DockedHeight);
    resize(286, 62);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);

    PM_Birdview = new QMenu(this);
    PM_Setup = PM_Birdview->addAction(QStringLiteral("&Setup"), this, &TF_BirdView::PM_SetupClick);
    PM_Birdview->setDefaultAction(PM_Setup);

    if (parent) {
        const QRect owner = parent->window()->frameGeometry();
        move(owner.center() - rect().center());
    }
}

QImage& TF_BirdView::canvas()
{
    const QSize size(qMax(1, width()), qMax(1, height()));
    if (m_view.size() != size) {
        m_view = QImage(size, QImage::Format_RGB32);
        m_view.fill(Qt::white);
    }
    return m_view;
}

int TF_BirdView::EmptyTextSize(int clientWidth)
{
    QImage probe(1, 1, QImage::Format_RGB32);
    QPainter painter(&probe);
    DeviceContext dc(&painter);
    int size = 36;
    for (;;) {
        CanvasFont(&dc, kFontFace, size, clGray);
        if (size <= 1 || dc.GetTextExtent(QLatin1Char(' ') + kEmptyText + QLatin1Char(' ')).cx <= clientWidth)
            break;
        --size;
    }
    ReleaseCanvasTools(&dc);
    return size;
}

void TF_BirdView::ClearBird()
{
    QImage& image = canvas();
    const int size = EmptyTextSize(image.width());
    {
        QPainter painter(&image);
        DeviceContext dc(&painter);
        CanvasPen(&dc, 0xFFFFFF, 1);
        CanvasBrush(&dc, 0xFFFFFF, bsSolid);
        dc.Rectangle(0, 0, image.width(), image.height());
        CanvasBrush(&dc, 0xFFFFFF, bsClear);
        CanvasFont(&dc, kFontFace, size, clGray);
        RECT r{0, 0, image.width(), image.height()};
        dc.DrawText(kEmptyText, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        ReleaseCanvasTools(&dc);
    }
    update();
}

QRect TF_BirdView::FrameRect(const TF_SMDI& a, int z)
{
    const double bird = a.GetZoomDiv(z);
    const double view = a.GetZoomDiv(a.zoom());
    return QRect(Round(a.SB_H->value() / bird), Round(a.SB_V->value() / bird), Round(view * a.width() / bird),
                 Round(view * a.height() / bird));
}

void TF_BirdView::UpdateBird(TF_SMDI* a, int z)
{
    if (!isVisible())
        return;
    Zoom = z;
    MDIForm = a;
    if (!a) {
        ClearBird();
        return;
    }
    QImage& image = canvas();
    const QRect frame = FrameRect(*a, z);
    QPainter painter(&image);
    painter.fillRect(image.rect(), Qt::white);
    if (!BirdHighLight) {
        painter.drawImage(0, 0, a->B_Bird);
    } else {
        BG = a->B_Bird.copy();
        BrightenBitmap(BG, -30);
        // Only the framed part keeps its brightness.
        QPainter bg(&BG);
        bg.setCompositionMode(QPainter::CompositionMode_Source);
        bg.drawImage(frame.topLeft(), a->B_Bird, frame);
        bg.end();
        painter.drawImage(0, 0, BG);
    }
    DeviceContext dc(&painter);
    CanvasPen(&dc, COLORREF(Thumbnailcolor), 1);
    CanvasBrush(&dc, COLORREF(Thumbnailcolor), bsClear);
    dc.Rectangle(frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height());
    ReleaseCanvasTools(&dc);
    painter.end();
    update();
}

void TF_BirdView::FormShow()
{
    MDIForm = F_Main ? F_Main->ActiveMDIChild() : nullptr;
    // The overview is built afresh: while the view was hidden its bird zoom did not follow.
    if (MDIForm)
        MDIForm->UpdateBird(true);
    else
        ClearBird();
}

void TF_BirdView::FormResize()
{
    if (MDIForm)
        MDIForm->UpdateBird(true);
    else
        ClearBird();
}

void TF_BirdView::FormMouseDown(int X, int Y)
{
    mx = X;
    my = Y;
}

void TF_BirdView::FormMouseMove(Qt::MouseButtons Buttons, int X, int Y)
{
    TF_SMDI* w = MDIForm;
    if (!w)
        return;
    if (Buttons == Qt::LeftButton) {
        // The frame follows the mouse: an overview pixel is GetZoomDiv(Zoom) canvas pixels.
        const double div = w->GetZoomDiv(Zoom);
        const int dx = Round(div * (X - mx)), dy = Round(div * (Y - my));
        QPointer<TF_SMDI> guard(w);
        w->SB_H->setValue(w->SB_H->value() + dx);
        if (guard)
            w->SB_V->setValue(w->SB_V->value() + dy);
    }
    mx = X;
    my = Y;
}

void TF_BirdView::wheelZoom(int step)
{
    TF_SMDI* w = MDIForm;
    if (!w)
        return;
    w->Drawing = true;
    w->setZoom(w->zoom() + step);
    w->Drawing = false;
    w->SetCaption();
    w->SmoothDraw(true);
}

void TF_BirdView::FormMouseWheelDown()
{
    wheelZoom(+1);
}

void TF_BirdView::FormMouseWheelUp()
{
    wheelZoom(-1);
}

void TF_BirdView::PM_SetupClick()
{
    if (!F_Setup)
        return;
    F_Setup->Tag = 3; // "Helper windows"
    F_Setup->exec();
    if (MDIForm)
        MDIForm->UpdateBird(false);
}

void TF_BirdView::FormEndDock()
{
    if (F_Main)
        F_Main->UpdateDock();
}

void TF_BirdView::FormClose()
{
    if (F_Main)
        F_Main->UpdateDock();
}

void TF_BirdView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_view.size() != size())
        painter.fillRect(rect(), Qt::white);
    painter.drawImage(0, 0, m_view);
}

void TF_BirdView::setClientHeight(int height)
{
    // Among the docked windows the overview takes the top and the canvas colour fills the rest;
    // the others may not squeeze it either.
    QDockWidget* dock = CarrierOf(this);
    const bool docked = dock && !dock->isFloating();
    setMinimumHeight(docked ? DockedHeight : MinimumHeight);
    if (docked)
        height = qMax(height, DockedHeight);
    m_sizing = true;
    SetClientHeight(this, height);
    m_sizing = false;
}

void TF_BirdView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Only the user's resizing rebuilds; the height set for a window's overview must not start another.
    if (isVisible() && !m_sizing)
        FormResize();
}

void TF_BirdView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TF_BirdView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        FormClose();
}

void TF_BirdView::mousePressEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    FormMouseDown(p.x(), p.y());
}

void TF_BirdView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    FormMouseMove(event->buttons(), p.x(), p.y());
}

void TF_BirdView::wheelEvent(QWheelEvent* event)
{
    const int dy = event->angleDelta().y();
    if (dy < 0)
        FormMouseWheelDown();
    else if (dy > 0)
        FormMouseWheelUp();
    event->accept();
}

void TF_BirdView::contextMenuEvent(QContextMenuEvent* event)
{
    PM_Birdview->popup(event->globalPos());
}
