// Shared routines that need widgets: a program's output into a memo, the program's active window,
// and the object pointer each node of a tree carries.
#pragma once

#include "project/Helpers.h"

#include <QString>

class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

// RunAndCapture (project/Helpers.h) appending to a memo; a memo closed meanwhile simply receives
// nothing more.
int RunAndCapture(const QString& commandLine, QPlainTextEdit* control);

// True when one of the program's windows is the active one.
bool IsOwnWindowForeground();

// --- Tree nodes -------------------------------------------------------------------------------

// The one object pointer each node of a tree carries.
void SetNodeObject(QTreeWidget* tree, QTreeWidgetItem* node, void* object);
// None when the node carries no object.
void* GetNodeObject(const QTreeWidget* tree, const QTreeWidgetItem* node);
template <class T>
T* GetNodeObject(const QTreeWidget* tree, const QTreeWidgetItem* node)
{
    return static_cast<T*>(GetNodeObject(tree, node));
}
