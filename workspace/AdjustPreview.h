// The preview of the adjustment dialogs: a reduced copy of one image on a gray ground, dragged
// with the left button. Also the reduction the preview is made with.
#pragma once

#include <QPoint>
#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialog;
class QPushButton;
class TFastDIB;
class TF_SMDI;
class TStitchObject;
class AdjustPreview;

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

// The parts both image dialogs share: the chosen image with "Apply to all images" above the
// preview on the right, and Ok and Cancel in a bar below everything.
struct ImageDialogParts {
    QComboBox* images = nullptr;
    QCheckBox* applyAll = nullptr;
    AdjustPreview* preview = nullptr;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};
// Lays `left` beside the preview pane and the button bar below both, in `dialog`.
ImageDialogParts LayOutImageDialog(QDialog* dialog, QWidget* left);
// Ok and Cancel sit 50 pixels either side of the middle.
void PlaceOkCancel(QPushButton* ok, QPushButton* cancel, int width);
// The names of the window's images, the first chosen.
void ListImages(QComboBox* images, const TF_SMDI* window);
// The image the list names, or all of them; and their pixel count for the progress box.
std::vector<TStitchObject*> ChosenImages(const TF_SMDI& window, int chosen, bool all, qint64* pixels);
