// The toolkit connects itself to an action's signals for each menu, tool bar and button that
// shows it, so a plain "is it connected" says nothing. A fresh probe action put into the same
// places gives the toolkit's share; what the real action has beyond it is its own handlers.
#include "support/CommandAudit.h"

#include "workspace/ForwardedCommand.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSet>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <QWidgetAction>

#include <memory>

namespace testhelpers {

namespace {

// QObject::receivers is protected: a pointer to it formed in a subclass may be called on any object.
struct Receivers : QObject {
    static int of(const QObject* object, const char* signal)
    {
        const auto count = &Receivers::receivers;
        return (object->*count)(signal);
    }
};

int signalReceivers(const QObject* action)
{
    return Receivers::of(action, SIGNAL(triggered(bool))) + Receivers::of(action, SIGNAL(toggled(bool)));
}

QString describe(const QAction* action)
{
    QString where;
    for (QObject* o : action->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(o); menu && !menu->title().isEmpty()) {
            where = menu->title() + QStringLiteral(" > ");
            break;
        }
    QString text = action->text().isEmpty() ? action->toolTip() : action->text();
    if (text.isEmpty())
        text = action->objectName();
    if (text.isEmpty() && action->parent())
        text = QStringLiteral("untitled action of ") + QString::fromLatin1(action->parent()->metaObject()->className());
    where += text;
    where.remove(QLatin1Char('&'));
    return where;
}

} // namespace

QList<QAction*> reachableActions(const QList<QWidget*>& windows)
{
    QList<QAction*> result;
    QSet<QAction*> seen;
    auto add = [&](QAction* a) {
        if (a && !seen.contains(a)) {
            seen.insert(a);
            result << a;
        }
    };
    for (QWidget* window : windows) {
        if (!window)
            continue;
        for (QAction* a : window->findChildren<QAction*>())
            add(a);
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* w : widgets) {
            for (QAction* a : w->actions())
                add(a);
            if (auto* button = qobject_cast<QToolButton*>(w)) {
                add(button->defaultAction());
                if (button->menu())
                    for (QAction* a : button->menu()->actions())
                        add(a);
            }
        }
    }
    return result;
}

int ownHandlers(QAction* action)
{
    auto probe = std::make_unique<QAction>(QStringLiteral("probe"));
    probe->setCheckable(action->isCheckable());
    std::unique_ptr<QActionGroup> group;
    if (action->actionGroup()) {
        group = std::make_unique<QActionGroup>(nullptr);
        probe->setActionGroup(group.get());
    }
    // A tool bar makes a button of its own for each action; the probe gets one from the tool bar.
    const QList<QObject*> places = action->associatedObjects();
    auto madeByToolBar = [&places](const QWidget* w) {
        return qobject_cast<const QToolButton*>(w) && qobject_cast<QToolBar*>(w->parentWidget())
            && places.contains(w->parentWidget());
    };
    QList<QWidget*> holders;
    for (QObject* o : places)
        if (auto* w = qobject_cast<QWidget*>(o); w && !madeByToolBar(w)) {
            w->addAction(probe.get());
            holders << w;
        }
    const int toolkit = signalReceivers(probe.get());
    for (QWidget* w : holders)
        w->removeAction(probe.get());
    return signalReceivers(action) - toolkit;
}

QStringList deadCommands(const QList<QAction*>& actions)
{
    QStringList dead;
    for (QAction* a : actions) {
        if (!a->isEnabled() || !a->isVisible() || a->isSeparator() || a->associatedObjects().isEmpty())
            continue;
        if (QMenu::menuInAction(a))
            continue; // opens its submenu
        if (qobject_cast<QWidgetAction*>(a))
            continue; // places a widget, whose own actions are audited
        if (QAction* command = ForwardedCommand(a)) {
            if (!command->isEnabled() || ownHandlers(command) <= 0)
                dead << describe(a) + QStringLiteral(" (passes on to ") + describe(command) + QStringLiteral(")");
            continue;
        }
        if (ownHandlers(a) <= 0)
            dead << describe(a);
    }
    return dead;
}

} // namespace testhelpers
