// A menu item that runs another window's command (the image window's alignment popup runs the
// image tree's commands, the scan drop-down the scan commands). The item remembers its command, so
// whoever enables commands, and any check of them, can follow it to where the work is done.
#pragma once

class QAction;

// Makes `item` trigger `command`, while the command exists and is enabled. The item's own enabled
// state is its form's to set; it should never be enabled while the command is not.
void ForwardCommand(QAction* item, QAction* command);

// The command `item` passes on to; none for an item that does its own work or whose command has gone.
QAction* ForwardedCommand(const QAction* item);
