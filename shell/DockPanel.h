// The frame's dock sites: DockSite, the tool windows docked on one side, and TDockPanel, a site
// that stays collapsed while nothing is docked in it, opens to a usable size when the first window
// docks, shows tabs while docked windows share its place, and collapses again when the last window
// leaves. The frame's dock layout draws the splitters and the tab bars; the sites decide what may
// dock and the sizes.
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSet>
#include <QSize>

#include <functional>

class QDockWidget;
class QMainWindow;
class QWidget;

// A dock site of the frame: the tool windows docked on one side, stacked or sharing tabs. Each
// form is wrapped once in its own QDockWidget, which follows the form's caption and may be dragged
// to every site that accepts the form.
class DockSite : public QObject {
    Q_OBJECT
public:
    DockSite(QMainWindow* frame, Qt::DockWidgetArea area);

    // Decides which forms may dock here; without it nothing can.
    std::function<bool(QWidget* form)> PanelDockOver;
    bool accepts(QWidget* form) const;
    Qt::DockWidgetArea area() const { return m_area; }

    // Docks the form (at the bottom of the stack, or at the top). False when it is not accepted.
    bool dock(QWidget* form, bool atTop = false);
    // Lets the form float at its current screen bounds.
    void undock(QWidget* form);
    // Puts a form that is not docked here yet into its dock widget, floating where the form stood
    // and as visible as it was, so that it can be docked by dragging. Returns the dock widget.
    QDockWidget* carry(QWidget* form);
    bool isDocked(QWidget* form) const;
    // Bounds of a docked form in frame coordinates; the empty rectangle otherwise.
    QRect dockPos(QWidget* form) const;
    // The docked forms, top to bottom.
    QList<QWidget*> clients() const;
    // The dock widget that carries the form; none when the form never docked here.
    QDockWidget* dockWidgetOf(QWidget* form) const;
    // Shows or hides the form together with the dock widget that carries it.
    void showForm(QWidget* form, bool visible);

    // No site at a side is wider.
    static constexpr int MaxWidth = 800;

    // Width of the site: its widest docked window, 0 while hidden or empty.
    int width() const;
    // Gives the docked windows this width and keeps it as the site's width.
    void setWidth(int width);
    // After windows showed, hid, docked or left, once the frame has laid the site out: the site
    // takes the width it was last given or dragged to (the first time its windows' widest own
    // width), never narrower than a shown window can be, never wider than MaxWidth.
    void fitWidth();
    // The width the site was last given, or took while the same windows showed in it (the user
    // dragged the splitter, the frame shrank); 0 before any. Windows coming and going leave it.
    int keptWidth() const { return m_keptWidth; }
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);

    // Follows a dock widget of the frame, whichever site made it: docked here or leaving.
    void watch(QDockWidget* dock);
    // The frame has shown and laid itself out for the first time: widths it takes from now on
    // while the same windows show are kept.
    void trackWidth() { m_trackWidth = true; }
    // The frame is going: its dock layout can no longer be asked.
    void stopFollowing() { m_following = false; }

protected:
    // A window docked here, left, or was shown or hidden while docked.
    virtual void clientsChanged() {}
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The dock widgets docked here and shown, top to bottom (left to right at the bottom).
    QList<QDockWidget*> shownDocks() const;
    // The dock widgets made here that are docked here and not hidden, behind a tab or not.
    QSet<QDockWidget*> shownHere() const;
    QMainWindow* frame() const { return m_frame; }
    bool following() const { return m_following; }

private:
    QDockWidget* wrap(QWidget* form);
    void fitNow();
    void applyWidth(int width);

    QMainWindow* m_frame;
    Qt::DockWidgetArea m_area;
    QList<QPointer<QDockWidget>> m_docks;
    bool m_visible = true;
    bool m_following = true;
    int m_keptWidth = 0;
    QSet<QDockWidget*> m_settled; // shownHere() when the width was last fitted or given
    bool m_fitPending = false;
    bool m_trackWidth = false;
};


class TDockPanel : public DockSite {
    Q_OBJECT
public:
    // Tabs sit on the edge that faces the frame's middle: at the top of a bottom panel, at the
    // bottom of a top panel, on the right of a left panel, on the left of a right panel.
    TDockPanel(QMainWindow* frame, Qt::DockWidgetArea area);

    // Height (bottom, top) or width (left, right) of the panel: 0 while collapsed.
    int depth() const;
    // The depth it had when the last window left; 0 before any window docked.
    int rememberedDepth() const { return m_rememberedDepth; }

protected:
    void clientsChanged() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool across() const; // a bottom or top panel: its depth is a height
    // Opens the panel for its first client (its own size before docking, the remembered depth,
    // or 200 pixels), or remembers the depth as the last client leaves.
    void showDockArea(bool Show, QDockWidget* Client);
    void follow(QDockWidget* dock);

    int m_shown = 0;           // clients docked and shown at the last change
    int m_rememberedDepth = 0; // FOHeight or FOWidth
    int m_lastDepth = 0;       // while clients were docked
    QHash<QDockWidget*, QSize> m_undockedSize; // each dock widget's last size while floating
};
