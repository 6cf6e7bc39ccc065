// Gradient fills: one solid line per step, so the colours are exact and the same on every screen.
#include "platform/GradientFill.h"

#include <QColor>
#include <QPainter>

bool GradientFillRect(QPainter* dc, const QRect& r, quint32 c1, quint32 c2, bool vertical)
{
    if (!dc || r.isEmpty())
        return false;
    const int steps = vertical ? r.height() : r.width();
    auto channel = [steps](quint32 a, quint32 b, int shift, int i) {
        const int from = int((a >> shift) & 0xFF), to = int((b >> shift) & 0xFF);
        if (steps <= 1)
            return from;
        // Rounded to nearest, halves up: 2 * (from * (n - 1) + (to - from) * i) over 2 * (n - 1).
        const int num = 2 * (from * (steps - 1) + (to - from) * i) + (steps - 1);
        return num / (2 * (steps - 1));
    };
    for (int i = 0; i < steps; ++i) {
        const QColor c(channel(c1, c2, 0, i), channel(c1, c2, 8, i), channel(c1, c2, 16, i));
        if (vertical)
            dc->fillRect(QRect(r.left(), r.top() + i, r.width(), 1), c);
        else
            dc->fillRect(QRect(r.left() + i, r.top(), 1, r.height()), c);
    }
    return true;
}
