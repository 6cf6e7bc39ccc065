// A picture view on a dark ground: the picture centred, drawn pixel by pixel (nearest neighbour)
// at a scale, or fitted when larger than the view. Scroll bars appear when the scaled picture
// outgrows the view and they are allowed. Converts view positions to picture pixels.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointF>

class TImgView32 : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class ScaleMode {
        Scale,   // the picture at Scale()
        Optimal, // fitted into the view when larger, 1:1 otherwise
    };

    static constexpr QRgb Background = 0xFF4B4B4B;

    explicit TImgView32(QWidget* parent = nullptr);

    void setBitmap(const QImage& picture);
    const QImage& bitmap() const { return m_bitmap; }

    void setScaleMode(ScaleMode mode);
    ScaleMode scaleMode() const { return m_mode; }
    void setScale(double scale);
    double scale() const { return m_scale; }

    // The factor the picture is drawn at now, and where its top left corner lies in the view.
    double effectiveScale() const;
    QPointF pictureOrigin() const;
    // A point of the view (viewport coordinates) in picture pixels; may lie outside the picture.
    QPointF ControlToBitmap(const QPointF& p) const;

    // Scrolls by a distance in view pixels (no effect where nothing scrolls).
    void scrollByPixels(const QPoint& delta);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateScrollBars();
    QSizeF scaledSize() const;

    QImage m_bitmap;
    ScaleMode m_mode = ScaleMode::Scale;
    double m_scale = 1.0;
};
