#include "acquisition/ImageView32.h"

#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

TImgView32::TImgView32(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void TImgView32::setBitmap(const QImage& picture)
{
    const bool sizeChanged = picture.size() != m_bitmap.size();
    m_bitmap = picture;
    if (sizeChanged)
        updateScrollBars();
    viewport()->update();
}

void TImgView32::setScaleMode(ScaleMode mode)
{
    m_mode = mode;
    updateScrollBars();
    viewport()->update();
}

void TImgView32::setScale(double scale)
{
    if (!(scale > 0))
        return;
    m_scale = scale;
    updateScrollBars();
    viewport()->update();
}

double TImgView32::effectiveScale() const
{
    if (m_mode == ScaleMode::Scale || m_bitmap.isNull())
        return m_scale;
    const QSize view = viewport()->size();
    if (m_bitmap.width() <= view.width() && m_bitmap.height() <= view.height())
        return 1.0;
    return std::min(double(view.width()) / m_bitmap.width(), double(view.height()) / m_bitmap.height());
}

QSizeF TImgView32::scaledSize() const
{
    const double s = effectiveScale();
    return QSizeF(m_bitmap.width() * s, m_bitmap.height() * s);
}

QPointF TImgView32::pictureOrigin() const
{
    const QSizeF size = scaledSize();
    const QSize view = viewport()->size();
    // Centred where the picture is smaller than the view or cannot scroll, scrolled where it is
    // larger and may.
    const bool scrollsX = horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    const bool scrollsY = verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff;
    const double x = size.width() <= view.width() || !scrollsX ? std::floor((view.width() - size.width()) / 2)
                                                               : -double(horizontalScrollBar()->value());
    const double y = size.height() <= view.height() || !scrollsY ? std::floor((view.height() - size.height()) / 2)
                                                                 : -double(verticalScrollBar()->value());
    return QPointF(x, y);
}

QPointF TImgView32::ControlToBitmap(const QPointF& p) const
{
    const double s = effectiveScale();
    return (p - pictureOrigin()) / s;
}

void TImgView32::scrollByPixels(const QPoint& delta)
{
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + delta.x());
    verticalScrollBar()->setValue(verticalScrollBar()->value() + delta.y());
}

void TImgView32::updateScrollBars()
{
    const QSizeF size = scaledSize();
    const QSize view = viewport()->size();
    const int overX = std::max(0, int(std::ceil(size.width())) - view.width());
    const int overY = std::max(0, int(std::ceil(size.height())) - view.height());
    horizontalScrollBar()->setRange(0, overX);
    verticalScrollBar()->setRange(0, overY);
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setPageStep(view.height());
}

void TImgView32::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TImgView32::scrollContentsBy(int, int)
{
    viewport()->update();
}

void TImgView32::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    p.fillRect(event->rect(), QColor::fromRgb(Background));
    if (m_bitmap.isNull())
        return;
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(QRectF(pictureOrigin(), scaledSize()), m_bitmap);
}
