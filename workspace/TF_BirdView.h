// The bird's-eye view: the whole canvas of one image window reduced, with a frame round the part
// the window shows. Dragging in it moves the window's view, the wheel zooms the window. The image
// window builds the overview (TF_SMDI::UpdateBird); this window only frames and shows it.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QAction;
class QMenu;
class TF_SMDI;

class TF_BirdView : public QWidget {
    Q_OBJECT
public:
    explicit TF_BirdView(QWidget* parent = nullptr);

    bool BirdHighLight = true;       // darken the overview outside the frame
    int Zoom = 0;                    // bird zoom of the overview shown (20 or more)
    QPointer<TF_SMDI> MDIForm;       // the window shown; none
    int Thumbnailcolor = 0x0000CCFF; // frame colour, $00BBGGRR

    QMenu* PM_Birdview = nullptr;
    QAction* PM_Setup = nullptr; // "&Setup", the default item

    // Shows a's overview B_Bird at bird zoom z with the frame of a's view; none clears the view.
    // Nothing while the view is hidden.
    void UpdateBird(TF_SMDI* a, int z);
    // The empty view: "No bird view available" on white.
    void ClearBird();

    // The part of the canvas that a shows, in overview pixels of bird zoom z.
    static QRect FrameRect(const TF_SMDI& a, int z);
    // The point size of the empty view's text in a view this wide: from 36 down until the text
    // with a blank on each side fits (1 at the least).
    static int EmptyTextSize(int clientWidth);
    // What the view shows now, as large as its client area.
    const QImage& view() const { return m_view; }
    // Sets the client height for an overview about to be shown; the resize builds nothing itself.
    // Docked it is never lower than DockedHeight: a long core's overview would leave a strip.
    void setClientHeight(int height);
    static constexpr int DockedHeight = 100;
    static constexpr int MinimumHeight = 20;
    QSize sizeHint() const override { return {286, DockedHeight}; }

    void FormShow();
    void FormResize();
    void FormMouseDown(int X, int Y);
    void FormMouseMove(Qt::MouseButtons Buttons, int X, int Y);
    void FormMouseWheelDown();
    void FormMouseWheelUp();
    void PM_SetupClick();
    void FormEndDock();
    void FormClose();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void wheelZoom(int step);
    QImage& canvas(); // m_view at the client size

    int mx = 0, my = 0; // last mouse position over the view
    bool m_sizing = false; // setClientHeight is resizing
    QImage BG;          // darkened copy of the overview
    QImage m_view;
};

extern QPointer<TF_BirdView> F_BirdView;
