// Tool-window helpers.
#include "workspace/ToolWindows.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QTimer>
#include <QVariant>

namespace {

constexpr char kDockedMinimumHeight[] = "jex4DockedMinimumHeight";

} // namespace

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
    if (QDockWidget* dock = CarrierOf(form)) {
        // A floating carrier that shows settles at its minimum size once the event loop turns:
        // it gets back the size it had, or the form's own when it never had one.
        const bool floatingUp = visible && !dock->isVisible() && dock->isFloating();
        QSize size = dock->size();
        if (size.width() < dock->minimumSizeHint().width() || size.height() < dock->minimumSizeHint().height())
            size = dock->sizeHint();
        dock->setVisible(visible);
        if (floatingUp)
            QTimer::singleShot(0, dock, [dock, size] {
                if (dock->isFloating() && dock->isVisible())
                    dock->resize(size);
            });
    }
    form->setVisible(visible);
}

void SetDockedMinimumHeight(QWidget* form, int height)
{
    if (form)
        form->setProperty(kDockedMinimumHeight, qMax(0, height));
}

int DockedMinimumHeight(const QWidget* form)
{
    return form ? form->property(kDockedMinimumHeight).toInt() : 0;
}
