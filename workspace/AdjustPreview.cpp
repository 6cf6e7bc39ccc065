// Adjustment preview box.
#include "workspace/AdjustPreview.h"

#include "image/Resample.h"
#include "image/TFastDIB.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

void ReducedCopy(const TFastDIB& Full, TFastDIB& Preview, int Size)
{
    const int w = Size > 0 ? Full.Info.Header.Width / Size : 0;
    const int h = Size > 0 ? Full.AbsHeight / Size : 0;
    if (!Full.Bits || w <= 0 || h <= 0) {
        Preview.PreDestroy();
        return;
    }
    if (Preview.Info.Header.Width != w || Preview.AbsHeight != h || Preview.Info.Header.BitCount != Full.Info.Header.BitCount
        || !Preview.Bits) {
        Preview.UseGDI = false;
        Preview.SetSize(w, h, Full.Info.Header.BitCount);
    }
    ResizeNearest(Full, Preview);
}

AdjustPreview::AdjustPreview(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
}

void AdjustPreview::setPicture(const TFastDIB* picture, QPoint at)
{
    m_picture = picture;
    m_at = at;
    update();
}

void AdjustPreview::render(QPainter& p) const
{
    p.fillRect(QRect(0, 0, width() + 1, height() + 1), QColor(128, 128, 128));
    const TFastDIB* d = m_picture;
    const int bpp = d ? d->Info.Header.BitCount : 0;
    if (!d || !d->Bits || (bpp != 24 && bpp != 32))
        return;
    // The rows lie bottom-up: the view is drawn upside down into place.
    const QImage view(d->Bits, d->Info.Header.Width, d->AbsHeight, d->BWidth,
                      bpp == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32);
    p.save();
    p.translate(m_at.x(), m_at.y() + d->AbsHeight);
    p.scale(1, -1);
    // Only what the box shows is converted.
    const QRect visible = QRect(-m_at.x(), m_at.y() + d->AbsHeight - height(), width(), height()).intersected(view.rect());
    if (!visible.isEmpty())
        p.drawImage(visible.topLeft(), view, visible);
    p.restore();
}

void AdjustPreview::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    render(p);
}

void AdjustPreview::mousePressEvent(QMouseEvent* event)
{
    m_last = event->position().toPoint();
    setCursor(Qt::SizeAllCursor);
}

void AdjustPreview::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->buttons() == Qt::LeftButton && onPan)
        onPan(pos - m_last);
    m_last = pos;
}

void AdjustPreview::mouseReleaseEvent(QMouseEvent*)
{
    unsetCursor();
}
