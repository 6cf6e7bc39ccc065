#include "shell/DockPanel.h"

#include "workspace/ToolWindows.h"

#include <QDockWidget>
#include <QEvent>
#include <QLayout>
#include <QMainWindow>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <utility>

DockSite::DockSite(QMainWindow* frame, Qt::DockWidgetArea area)
    : QObject(frame)
    , m_frame(frame)
    , m_area(area)
{
}

bool DockSite::accepts(QWidget* form) const
{
    return form && PanelDockOver && PanelDockOver(form);
}

QDockWidget* DockSite::dockWidgetOf(QWidget* form) const
{
    for (const QPointer<QDockWidget>& dock : m_docks)
        if (dock && dock->widget() == form)
            return dock;
    return nullptr;
}

QDockWidget* DockSite::wrap(QWidget* form)
{
    if (QDockWidget* existing = dockWidgetOf(form))
        return existing;
    auto* dock = new QDockWidget(form->windowTitle(), m_frame);
    dock->setObjectName(QStringLiteral("Dock_") + form->metaObject()->className());
    // Dragged, it may go to every site that takes it, and each site follows it.
    Qt::DockWidgetAreas areas;
    const QList<DockSite*> sites = m_frame->findChildren<DockSite*>(Qt::FindDirectChildrenOnly);
    for (DockSite* site : sites)
        if (site->accepts(form))
            areas |= site->area();
    dock->setAllowedAreas(areas | m_area);
    const bool wasVisible = form->isVisible();
    dock->setWidget(form); // the form becomes a plain child; it keeps its own caption
    form->setVisible(true);
    connect(form, &QWidget::windowTitleChanged, dock, &QDockWidget::setWindowTitle);
    // A form's own maximum width would bind every window docked beside it: docked at a side, it
    // may be as wide as the site; floating, it keeps its own. Its own minimum height, made for a
    // window of its own, would squeeze the others of a crowded column to their title bars (and lay
    // them over each other) on a small screen: docked at a side it may go down to its docked one.
    const int ownMaximum = form->maximumWidth();
    const int ownMinimum = form->minimumHeight();
    auto fitBounds = [this, dock, form, ownMaximum, ownMinimum] {
        const Qt::DockWidgetArea at = m_frame->dockWidgetArea(dock);
        const bool side = !dock->isFloating() && (at == Qt::LeftDockWidgetArea || at == Qt::RightDockWidgetArea);
        form->setMaximumWidth(side ? qMax(ownMaximum, MaxWidth) : ownMaximum);
        if (const int docked = DockedMinimumHeight(form); docked > 0)
            form->setMinimumHeight(side ? docked : ownMinimum);
    };
    connect(dock, &QDockWidget::topLevelChanged, form, fitBounds);
    connect(dock, &QDockWidget::dockLocationChanged, form, fitBounds);
    // A form that goes away takes its carrier along.
    connect(form, &QObject::destroyed, dock, [dock] { dock->deleteLater(); });
    dock->setVisible(wasVisible);
    m_docks.append(dock);
    for (DockSite* site : sites)
        site->watch(dock);
    return dock;
}

void DockSite::watch(QDockWidget* dock)
{
    auto changed = [this] {
        if (m_following)
            clientsChanged();
    };
    connect(dock, &QDockWidget::dockLocationChanged, this, changed);
    connect(dock, &QDockWidget::topLevelChanged, this, changed);
    connect(dock, &QDockWidget::visibilityChanged, this, changed);
    dock->installEventFilter(this);
}

QSet<QDockWidget*> DockSite::shownHere() const
{
    QSet<QDockWidget*> shown;
    for (const QPointer<QDockWidget>& dock : m_docks)
        if (dock && !dock->isHidden() && !dock->isFloating() && m_frame->dockWidgetArea(dock) == m_area)
            shown.insert(dock);
    return shown;
}

bool DockSite::eventFilter(QObject* watched, QEvent* event)
{
    // A docked window resized sideways while the same windows show here and no fitting waits:
    // the user dragged the splitter or the site was given a width, and that is its width now. A
    // window shown or hidden makes the frame lay the site out anew; that width is not kept.
    if (event->type() == QEvent::Resize && m_following && m_trackWidth && m_visible && !m_fitPending
        && m_frame->isVisible() && (m_area == Qt::LeftDockWidgetArea || m_area == Qt::RightDockWidgetArea)) {
        auto* dock = qobject_cast<QDockWidget*>(watched);
        if (dock && dock->isVisible() && !dock->isFloating() && m_frame->dockWidgetArea(dock) == m_area
            && dock->geometry().intersects(m_frame->rect()) && shownHere() == m_settled)
            m_keptWidth = dock->width();
    }
    return QObject::eventFilter(watched, event);
}

void DockSite::fitWidth()
{
    // The frame lays the site out anew after the change that asked for this: fit it then.
    if (std::exchange(m_fitPending, true))
        return;
    QTimer::singleShot(0, this, [this] {
        if (m_following)
            fitNow();
        m_fitPending = false;
    });
}

void DockSite::fitNow()
{
    int own = 0, least = 2;
    bool shown = false;
    for (QWidget* form : clients())
        if (QDockWidget* dock = dockWidgetOf(form); dock && dock->isVisible()) {
            shown = true;
            own = qMax(own, form->sizeHint().width());
            least = qMax(least, dock->minimumSizeHint().width());
        }
    if (!shown) {
        m_settled = shownHere();
        return;
    }
    // A window that needs more widens the site while it shows; the width given stays kept.
    if (m_keptWidth <= 0)
        m_keptWidth = qMin(int(MaxWidth), own);
    applyWidth(qMin(int(MaxWidth), qMax(least, m_keptWidth)));
    // Laid out now, not at the next turn: whoever asked sees the width it gets.
    if (QLayout* layout = m_frame->layout())
        layout->activate();
}

QList<QDockWidget*> DockSite::shownDocks() const
{
    QList<QDockWidget*> docks;
    const QList<QDockWidget*> all = m_frame->findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly);
    for (QDockWidget* dock : all)
        if (!dock->isFloating() && !dock->isHidden() && m_frame->dockWidgetArea(dock) == m_area)
            docks << dock;
    const bool across = m_area == Qt::TopDockWidgetArea || m_area == Qt::BottomDockWidgetArea;
    std::sort(docks.begin(), docks.end(),
              [across](QDockWidget* a, QDockWidget* b) { return across ? a->x() < b->x() : a->y() < b->y(); });
    return docks;
}

bool DockSite::dock(QWidget* form, bool atTop)
{
    if (!accepts(form))
        return false;
    const bool wasVisible = form->isVisible() || (dockWidgetOf(form) && dockWidgetOf(form)->isVisible());
    QDockWidget* dock = wrap(form);
    dock->setFloating(false);
    // Stacked along the site's edge: one above the other at a side, side by side at the bottom.
    const Qt::Orientation along = (m_area == Qt::TopDockWidgetArea || m_area == Qt::BottomDockWidgetArea)
        ? Qt::Horizontal
        : Qt::Vertical;
    if (atTop) {
        // Re-add every other docked window below this one.
        const QList<QWidget*> others = clients();
        m_frame->addDockWidget(m_area, dock, along);
        for (QWidget* other : others)
            if (other != form)
                if (QDockWidget* d = dockWidgetOf(other))
                    m_frame->splitDockWidget(dock, d, along);
    } else {
        m_frame->addDockWidget(m_area, dock, along);
    }
    dock->setVisible(wasVisible && m_visible);
    clientsChanged();
    return true;
}

void DockSite::undock(QWidget* form)
{
    QDockWidget* dock = dockWidgetOf(form);
    if (!dock)
        return;
    const QRect bounds(form->mapToGlobal(QPoint(0, 0)), form->size());
    dock->setFloating(true);
    dock->setGeometry(bounds);
    clientsChanged();
}

QDockWidget* DockSite::carry(QWidget* form)
{
    if (QDockWidget* existing = dockWidgetOf(form))
        return existing;
    if (!accepts(form))
        return nullptr;
    const QRect bounds = form->geometry();
    const bool wasVisible = form->isVisible();
    QDockWidget* dock = wrap(form);
    m_frame->addDockWidget(m_area, dock);
    dock->setFloating(true);
    dock->move(bounds.topLeft());
    dock->resize(dock->size() - form->size() + bounds.size());
    dock->setVisible(wasVisible);
    return dock;
}

bool DockSite::isDocked(QWidget* form) const
{
    QDockWidget* dock = dockWidgetOf(form);
    return dock && !dock->isFloating() && m_frame->dockWidgetArea(dock) == m_area;
}

QRect DockSite::dockPos(QWidget* form) const
{
    if (!isDocked(form))
        return QRect(0, 0, 0, 0);
    return dockWidgetOf(form)->geometry();
}

QList<QWidget*> DockSite::clients() const
{
    QList<QDockWidget*> docks;
    for (const QPointer<QDockWidget>& dock : m_docks)
        if (dock && !dock->isFloating() && m_frame->dockWidgetArea(dock) == m_area)
            docks << dock;
    std::sort(docks.begin(), docks.end(), [](QDockWidget* a, QDockWidget* b) { return a->y() < b->y(); });
    QList<QWidget*> forms;
    for (QDockWidget* dock : docks)
        forms << dock->widget();
    return forms;
}

void DockSite::showForm(QWidget* form, bool visible)
{
    if (QDockWidget* dock = dockWidgetOf(form)) {
        dock->setVisible(visible);
        form->setVisible(visible);
    } else if (form) {
        form->setVisible(visible);
    }
}

int DockSite::width() const
{
    if (!m_visible)
        return 0;
    int w = 0;
    for (QWidget* form : clients())
        if (QDockWidget* dock = dockWidgetOf(form); dock && dock->isVisible())
            w = qMax(w, dock->width());
    return w;
}

void DockSite::setWidth(int width)
{
    m_keptWidth = width;
    applyWidth(width);
}

void DockSite::applyWidth(int width)
{
    m_settled = shownHere();
    QList<QDockWidget*> docks;
    QList<int> sizes;
    for (QWidget* form : clients()) {
        docks << dockWidgetOf(form);
        sizes << width;
    }
    if (!docks.isEmpty())
        m_frame->resizeDocks(docks, sizes, Qt::Horizontal);
}

void DockSite::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    // Hiding keeps each window's own visibility for the next showing.
    for (QWidget* form : clients())
        if (QDockWidget* dock = dockWidgetOf(form))
            dock->setVisible(visible && form->isVisibleTo(dock));
}

// ---- the dock panel ----

TDockPanel::TDockPanel(QMainWindow* frame, Qt::DockWidgetArea area)
    : DockSite(frame, area)
{
    QTabWidget::TabPosition tabs = QTabWidget::North;
    switch (area) {
    case Qt::TopDockWidgetArea:
        tabs = QTabWidget::South;
        break;
    case Qt::LeftDockWidgetArea:
        tabs = QTabWidget::East;
        break;
    case Qt::RightDockWidgetArea:
        tabs = QTabWidget::West;
        break;
    default:
        break;
    }
    frame->setTabPosition(area, tabs);
}

bool TDockPanel::across() const
{
    return area() == Qt::BottomDockWidgetArea || area() == Qt::TopDockWidgetArea;
}

int TDockPanel::depth() const
{
    // A window behind another's tab is laid out nowhere: it does not count.
    int d = 0;
    for (QDockWidget* dock : shownDocks())
        if (dock->geometry().intersects(frame()->rect()))
            d = qMax(d, across() ? dock->height() : dock->width());
    return d;
}

void TDockPanel::follow(QDockWidget* dock)
{
    if (m_undockedSize.contains(dock))
        return;
    m_undockedSize.insert(dock, dock->isFloating() ? dock->size() : QSize());
    dock->installEventFilter(this);
    connect(dock, &QObject::destroyed, this, [this, dock] { m_undockedSize.remove(dock); });
}

bool TDockPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && following()) {
        auto* dock = static_cast<QDockWidget*>(watched);
        if (dock->isFloating())
            m_undockedSize[dock] = dock->size();
        else if (frame()->dockWidgetArea(dock) == area() && m_shown > 0)
            m_lastDepth = depth();
    }
    return DockSite::eventFilter(watched, event);
}

void TDockPanel::clientsChanged()
{
    const QList<QDockWidget*> all = frame()->findChildren<QDockWidget*>(Qt::FindDirectChildrenOnly);
    for (QDockWidget* dock : all)
        follow(dock);
    const QList<QDockWidget*> docks = shownDocks();
    const int shown = int(docks.size());
    if (shown > 0 && m_shown == 0)
        showDockArea(true, docks.first());
    else if (shown == 0 && m_shown > 0)
        showDockArea(false, nullptr);
    m_shown = shown;
    if (shown > 0)
        m_lastDepth = depth();
}

void TDockPanel::showDockArea(bool Show, QDockWidget* Client)
{
    if (!Show) {
        // The frame's layout gives the space back by itself.
        m_rememberedDepth = m_lastDepth;
        return;
    }
    if (!Client)
        return;
    const QSize own = m_undockedSize.value(Client);
    int size = across() ? own.height() : own.width();
    if (size <= 0)
        size = m_rememberedDepth;
    if (size <= 0)
        size = 200;
    m_lastDepth = size;
    // The frame lays the new client out after the signal that brought it here: size it then.
    QPointer<QDockWidget> client = Client;
    QTimer::singleShot(0, this, [this, client, size] {
        if (client && following() && !client->isFloating() && frame()->dockWidgetArea(client) == area())
            frame()->resizeDocks({client.data()}, {size}, across() ? Qt::Vertical : Qt::Horizontal);
    });
}
