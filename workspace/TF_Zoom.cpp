// Magnifier: the image window's background square around the mouse, stretched over the client
// area with nearest pixels, under optional crosshairs.
#include "workspace/TF_Zoom.h"

#include "platform/Delphi.h"
#include "platform/DeviceContext.h"
#include "project/ObjectDrawing.h"
#include "project/Settings.h"
#include "shell/TF_Main.h"
#include "shell/TF_Setup.h"
#include "workspace/TF_SMDI.h"
#include "workspace/ToolWindows.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

#include <vector>

QPointer<TF_Zoom> F_Zoom;

namespace {

// Nearest-pixel stretch of `from` in `src` onto `to` in `dst` (both RGB32): each destination pixel
// takes the source pixel under its middle, in integers so the choice is exact. Destination pixels
// whose source lies off `src` keep what they hold.
void stretchNearest(QImage& dst, const QRect& to, const QImage& src, const QRect& from)
{
    if (to.isEmpty() || from.isEmpty() || src.isNull())
        return;
    const QRect clip = to & dst.rect();
    std::vector<int> columns(size_t(clip.width()));
    for (int x = clip.left(); x <= clip.right(); ++x)
        columns[size_t(x - clip.left())] =
            from.x() + int((2 * qint64(x - to.x()) + 1) * from.width() / (2 * qint64(to.width())));
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        const int sy = from.y() + int((2 * qint64(y - to.y()) + 1) * from.height() / (2 * qint64(to.height())));
        if (sy < 0 || sy >= src.height())
            continue;
        const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(sy));
        auto* out = reinterpret_cast<QRgb*>(dst.scanLine(y));
        for (int x = clip.left(); x <= clip.right(); ++x) {
            const int sx = columns[size_t(x - clip.left())];
            if (sx >= 0 && sx < src.width())
                out[x] = in[sx];
        }
    }
}

} // namespace

TF_Zoom::TF_Zoom(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Zoom"));
    setObjectName(QStringLiteral("F_Zoom"));
    resize(171, 149);
    SetDockedMinimumHeight(this, DockedHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);

    PM_Zoom = new QMenu(this);
    PM_Crosshairs = PM_Zoom->addAction(QStringLiteral("&Crosshairs"), this, &TF_Zoom::PM_CrosshairsClick);
    PM_Crosshairs->setCheckable(true);
    PM_Setup = PM_Zoom->addAction(QStringLiteral("&Setup"), this, &TF_Zoom::PM_SetupClick);
    PM_Zoom->setDefaultAction(PM_Setup);
    connect(PM_Zoom, &QMenu::aboutToShow, this, &TF_Zoom::PM_ZoomPopup);
}

QImage& TF_Zoom::canvas()
{
    const QSize size(qMax(1, width()), qMax(1, height()));
    if (m_view.size() != size) {
        m_view = QImage(size, QImage::Format_RGB32);
        m_view.fill(Qt::white);
    }
    return m_view;
}

QRect TF_Zoom::SourceSquare(QPoint mouse, int w)
{
    // From mouse - w div 2 up to (not including) mouse + w div 2: an odd side loses a pixel.
    const int h = w / 2;
    return QRect(mouse.x() - h, mouse.y() - h, 2 * h, 2 * h);
}

void TF_Zoom::UpdateZoom(TF_SMDI* a)
{
    MDIForm = a;
    QImage& image = canvas();
    if (!a || a->B_Zoom.isNull()) {
        image.fill(Qt::white);
        update();
        return;
    }
    const int w = SettingZoomWidth;
    QImage& square = a->B_Zoom;
    {
        QPainter painter(&square);
        DeviceContext dc(&painter);
        const QColor face = QApplication::palette().color(QPalette::Button);
        const COLORREF faceRef = RGB(face.red(), face.green(), face.blue());
        CanvasPen(&dc, faceRef, 1);
        CanvasBrush(&dc, faceRef, bsSolid);
        dc.Rectangle(0, 0, square.width(), square.height());
        // As the canvas background, but a clear brush stays clear here.
        CanvasPen(&dc, COLORREF(SettingAreaColor), 1);
        CanvasBrush(&dc, COLORREF(SettingAreaColor), SettingAreaBrush);
        dc.Rectangle(0, 0, square.width(), square.height());
        ReleaseCanvasTools(&dc);
    }
    // Parts of the square beyond the background keep the fill.
    if (w > 0 && a->B_Background.format() == QImage::Format_RGB32)
        stretchNearest(square, QRect(0, 0, w, w), a->B_Background, SourceSquare(a->Mouse, w));
    stretchNearest(image, image.rect(), square, square.rect());

    QPainter painter(&image);
    if (drawcrosshairs && w > 0) {
        // Half a magnified pixel to the right and down: the lines pass the mouse pixel's middle.
        const int c = Round(double(image.width()) / w) / 2;
        const int x = image.width() / 2 + c, y = image.height() / 2 + c;
        DeviceContext dc(&painter);
        CanvasPen(&dc, COLORREF(crosshaircolor), 1);
        dc.MoveToEx(x, 0);
        dc.LineTo(x, image.height());
        dc.MoveToEx(0, y);
        dc.LineTo(image.width(), y);
        ReleaseCanvasTools(&dc);
    }
    painter.end();
    update();
}

void TF_Zoom::FormResize()
{
    if (m_squaring)
        return;
    m_squaring = true;
    SetClientHeight(this, width());
    m_squaring = false;
    UpdateZoom(MDIForm);
}

void TF_Zoom::PM_CrosshairsClick()
{
    drawcrosshairs = !drawcrosshairs;
    UpdateZoom(MDIForm);
}

void TF_Zoom::PM_ZoomPopup()
{
    PM_Crosshairs->setChecked(drawcrosshairs);
}

void TF_Zoom::PM_SetupClick()
{
    if (!F_Setup)
        return;
    F_Setup->Tag = 3; // "Helper windows"
    F_Setup->exec();
}

void TF_Zoom::FormEndDock()
{
    if (F_Main)
        F_Main->UpdateDock();
}

void TF_Zoom::FormClose()
{
    if (F_Main)
        F_Main->UpdateDock();
}

void TF_Zoom::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_view.size() != size())
        painter.fillRect(rect(), Qt::white);
    painter.drawImage(0, 0, m_view);
}

void TF_Zoom::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TF_Zoom::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        FormClose();
}

void TF_Zoom::contextMenuEvent(QContextMenuEvent* event)
{
    PM_Zoom->popup(event->globalPos());
}
