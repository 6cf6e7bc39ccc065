// Finding commands that are enabled while nothing does their work: every action a user can reach
// (in a menu, a tool bar, a popup or as a window's shortcut) that is enabled must have a handler of
// its own, open a submenu, or pass on to a command that is enabled and handled.
#pragma once

#include <QList>
#include <QStringList>

class QAction;
class QWidget;

namespace testhelpers {

// The actions of the windows and of every menu and tool button inside them, once each.
QList<QAction*> reachableActions(const QList<QWidget*>& windows);

// Connections to the action's triggered and toggled signals beyond those the toolkit makes itself
// for the menus, tool bars, buttons and groups that show it.
int ownHandlers(QAction* action);

// One line ("Menu > Caption") for each enabled, visible and reachable action of the list that
// nothing handles.
QStringList deadCommands(const QList<QAction*>& actions);

} // namespace testhelpers
