// The preview of the adjustment dialogs: a reduced copy of one image on a gray ground, dragged
// with the left button. Also the reduction the preview is made with.
#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>

class TFastDIB;

// Sizes Preview to (width div Size, height div Size) of Full at Full's depth and fills it by the
// nearest-neighbour resize; an image that would have no pixel is left empty.
void ReducedCopy(const TFastDIB& Full, TFastDIB& Preview, int Size);

class AdjustPreview : public QWidget {
    Q_OBJECT
public:
    explicit AdjustPreview(QWidget* parent = nullptr);

    // What is drawn, at `at` from the top left (the dialogs' BW_X, BW_Y); none: gray only.
    void setPicture(const TFastDIB* picture, QPoint at);

    // Called with the mouse movement while the left button alone is down.
    std::function<void(QPoint delta)> onPan;

    // The box's picture as painted now.
    void render(QPainter& p) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const TFastDIB* m_picture = nullptr;
    QPoint m_at{1, 1};
    QPoint m_last; // MDX, MDY: the last mouse position while panning
};
