// The canvas extent of all images of a window.
#pragma once

#include <QtGlobal>

#include <cstdlib>
#include <limits>

class TArea {
public:
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;

    // Never negative, whatever the corner order; computed in 64 bits and capped, since the span
    // of two extreme corners does not fit an int.
    int width() const { return span(x1, x2); }
    int height() const { return span(y1, y2); }

private:
    static int span(int a, int b)
    {
        const qint64 d = std::llabs(qint64(b) - qint64(a));
        return int(qMin<qint64>(d, std::numeric_limits<int>::max()));
    }
};
