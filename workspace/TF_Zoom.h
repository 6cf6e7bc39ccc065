// The magnifier: the square of an image window's background picture around the mouse, enlarged to
// the window's client area, with optional crosshairs. It stays square.
#pragma once

#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QAction;
class QMenu;
class TF_SMDI;

class TF_Zoom : public QWidget {
    Q_OBJECT
public:
    explicit TF_Zoom(QWidget* parent = nullptr);

    bool drawcrosshairs = true;
    int crosshaircolor = 0x0000CCFF; // $00BBGGRR
    QPointer<TF_SMDI> MDIForm;       // the window shown; none

    QMenu* PM_Zoom = nullptr;
    QAction* PM_Crosshairs = nullptr; // "&Crosshairs"
    QAction* PM_Setup = nullptr;      // "&Setup", the default item

    // Draws the square of a's background around a's mouse position; none fills the view white.
    void UpdateZoom(TF_SMDI* a);
    // Docked among other windows it keeps at least this height: a square of some use.
    static constexpr int DockedHeight = 100;
    // The paint-box square that a magnifier of square side w copies around the mouse.
    static QRect SourceSquare(QPoint mouse, int w);
    // What the magnifier shows now, as large as its client area.
    const QImage& view() const { return m_view; }

    void FormResize();
    void PM_CrosshairsClick();
    void PM_ZoomPopup();
    void PM_SetupClick();
    void FormEndDock();
    void FormClose();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QImage& canvas();

    QImage m_view;
    bool m_squaring = false; // FormResize is making the window square
};

extern QPointer<TF_Zoom> F_Zoom;
