// Which steps of a pixel walk land inside a rectangle. GDI's lines and the line walker visit
// pixel(i) for i = 0 .. count - 1 with each coordinate moving one way only as i grows, so the
// steps inside a rectangle form one run: found by bisection, a segment billions of pixels long
// costs what its visible part costs.
#pragma once

#include <QRect>
#include <QtGlobal>

#include <algorithm>

struct StepPixel {
    qint64 x = 0;
    qint64 y = 0;
};

// Steps first .. end - 1; empty when end <= first.
struct StepRun {
    qint64 first = 0;
    qint64 end = 0;
    qint64 length() const { return end > first ? end - first : 0; }
};

namespace linesteps {

// First i in [lo, hi) with pred(i), for a predicate that is false, then true; hi when none.
template <class Pred>
qint64 firstTrue(qint64 lo, qint64 hi, Pred&& pred)
{
    while (lo < hi) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (pred(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

// The steps whose coordinate coord(i), monotone in i, lies in [low, high].
template <class Coord>
StepRun within(qint64 count, qint64 low, qint64 high, Coord&& coord)
{
    if (coord(count - 1) >= coord(0))
        return {firstTrue(0, count, [&](qint64 i) { return coord(i) >= low; }),
                firstTrue(0, count, [&](qint64 i) { return coord(i) > high; })};
    return {firstTrue(0, count, [&](qint64 i) { return coord(i) <= high; }),
            firstTrue(0, count, [&](qint64 i) { return coord(i) < low; })};
}

} // namespace linesteps

// The run of steps in [0, count) whose pixel lies in `rect`; pixelAt(i) gives a StepPixel.
template <class PixelAt>
StepRun stepsInside(qint64 count, const QRect& rect, PixelAt&& pixelAt)
{
    if (count <= 0 || rect.isEmpty())
        return {};
    const StepRun xs = linesteps::within(count, rect.left(), rect.right(), [&](qint64 i) { return pixelAt(i).x; });
    const StepRun ys = linesteps::within(count, rect.top(), rect.bottom(), [&](qint64 i) { return pixelAt(i).y; });
    return {std::max(xs.first, ys.first), std::min(xs.end, ys.end)};
}
