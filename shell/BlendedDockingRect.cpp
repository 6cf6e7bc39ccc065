#include "shell/BlendedDockingRect.h"

#include <QChildEvent>
#include <QEvent>
#include <QMainWindow>
#include <QPainter>
#include <QPalette>
#include <QRubberBand>

namespace {

constexpr char kHookName[] = "jex4DockHook";

// Watches the frame for the markers its dock layout makes (lazily, on the first drag) and paints
// them. Owned by the frame.
class TDragDockObjectEx_AlphaBlend : public QObject {
public:
    explicit TDragDockObjectEx_AlphaBlend(QMainWindow* frame)
        : QObject(frame)
    {
        setObjectName(QLatin1String(kHookName));
        frame->installEventFilter(this);
        const QList<QRubberBand*> existing = frame->findChildren<QRubberBand*>(Qt::FindDirectChildrenOnly);
        for (QRubberBand* band : existing)
            adopt(band);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
            if (auto* band = qobject_cast<QRubberBand*>(static_cast<QChildEvent*>(event)->child()))
                adopt(band);
            return false;
        }
        auto* band = qobject_cast<QRubberBand*>(watched);
        if (!band)
            return false;
        if (event->type() == QEvent::Paint) {
            // Laid over what the frame drew beneath, so the docked windows show through.
            QPainter painter(band);
            painter.fillRect(band->rect(), DockRectColor(band->palette()));
            return true;
        }
        if (event->type() == QEvent::Show)
            band->raise(); // above the docked windows it marks
        return false;
    }

private:
    void adopt(QRubberBand* band)
    {
        if (band->property("jex4DockRect").toBool())
            return;
        band->setProperty("jex4DockRect", true);
        band->setAttribute(Qt::WA_TransparentForMouseEvents);
        band->installEventFilter(this);
    }
};

} // namespace

void installDockHook(QMainWindow* frame)
{
    if (frame && !frame->findChild<QObject*>(QLatin1String(kHookName), Qt::FindDirectChildrenOnly))
        new TDragDockObjectEx_AlphaBlend(frame);
}

QColor DockRectColor(const QPalette& palette)
{
    QColor c = palette.color(QPalette::Active, QPalette::Highlight);
    c.setAlpha(127);
    return c;
}
