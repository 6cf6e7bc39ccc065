// Tool-window helpers.
#include "workspace/ToolWindows.h"

#include <QDockWidget>
#include <QMainWindow>

QDockWidget* CarrierOf(const QWidget* form)
{
    return form ? qobject_cast<QDockWidget*>(form->parentWidget()) : nullptr;
}

void SetClientHeight(QWidget* form, int height)
{
    if (!form)
        return;
    height = qBound(form->minimumHeight(), height, form->maximumHeight());
    if (form->height() == height)
        return;
    QDockWidget* dock = CarrierOf(form);
    if (!dock) {
        form->resize(form->width(), height);
        return;
    }
    // The carrier's title bar and margins stay as they are.
    const int extra = dock->height() - form->height();
    auto* frame = qobject_cast<QMainWindow*>(dock->parentWidget());
    if (dock->isFloating() || !frame)
        dock->resize(dock->width(), height + extra);
    else
        frame->resizeDocks({dock}, {height + extra}, Qt::Vertical);
    // A carrier that is not laid out yet (hidden) passes nothing on to the form.
    if (!dock->isVisible())
        form->resize(form->width(), height);
}

void ShowToolWindow(QWidget* form, bool visible)
{
    if (!form)
        return;
    if (QDockWidget* dock = CarrierOf(form))
        dock->setVisible(visible);
    form->setVisible(visible);
}
