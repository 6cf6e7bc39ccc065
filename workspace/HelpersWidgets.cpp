// The shared routines that need widgets.
#include "workspace/HelpersWidgets.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTreeWidget>

int RunAndCapture(const QString& commandLine, QPlainTextEdit* control)
{
    QPointer<QPlainTextEdit> memo(control);
    return RunAndCapture(commandLine, [memo](const QString& text) {
        if (!memo)
            return;
        memo->moveCursor(QTextCursor::End);
        memo->insertPlainText(text);
    });
}

bool IsOwnWindowForeground()
{
    return QApplication::activeWindow() != nullptr;
}

// --- Tree nodes -------------------------------------------------------------------------------

namespace {
constexpr int nodeObjectRole = Qt::UserRole + 0x4A58; // one role for the whole program
}

void SetNodeObject(QTreeWidget* tree, QTreeWidgetItem* node, void* object)
{
    Q_UNUSED(tree);
    if (node)
        node->setData(0, nodeObjectRole, QVariant::fromValue(quintptr(object)));
}

void* GetNodeObject(const QTreeWidget* tree, const QTreeWidgetItem* node)
{
    Q_UNUSED(tree);
    if (!node)
        return nullptr;
    const QVariant data = node->data(0, nodeObjectRole);
    if (!data.isValid())
        return nullptr;
    return reinterpret_cast<void*>(data.value<quintptr>());
}
