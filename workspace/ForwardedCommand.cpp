#include "workspace/ForwardedCommand.h"

#include <QAction>
#include <QPointer>
#include <QVariant>

namespace {
constexpr char kForwardsTo[] = "jex4ForwardsTo";
} // namespace

void ForwardCommand(QAction* item, QAction* command)
{
    if (!item || !command)
        return;
    item->setProperty(kForwardsTo, QVariant::fromValue(QPointer<QObject>(command)));
    const QPointer<QAction> target(command);
    QObject::connect(item, &QAction::triggered, item, [target] {
        if (target && target->isEnabled())
            target->trigger();
    });
}

QAction* ForwardedCommand(const QAction* item)
{
    if (!item)
        return nullptr;
    return qobject_cast<QAction*>(item->property(kForwardsTo).value<QPointer<QObject>>().data());
}
