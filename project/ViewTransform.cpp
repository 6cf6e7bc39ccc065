// Canvas and screen pixels of a view. The conversions work on integers where the ratio is whole,
// so a magnified pixel maps back exactly; lengths that can exceed 32 bits at strong reductions or
// magnifications are computed in 64 bits and clamped.
#include "project/ViewTransform.h"

#include "platform/Delphi.h"

#include <algorithm>
#include <limits>

namespace {

int clampInt(qint64 v)
{
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

double ViewTransform::zoomDiv(int z)
{
    if (z < 10)
        return 1.0 / double(11 - z);
    return double(z - 9);
}

int ViewTransform::pixelSize(int z)
{
    return z < 10 ? 11 - qMax(z, 1) : 1;
}

qint64 ViewTransform::screenLength(qint64 canvasLength, int z)
{
    if (z < 10)
        return canvasLength * (11 - z);
    return Round64(double(canvasLength) / double(z - 9));
}

QPoint ViewTransform::toScreen(QPoint canvas) const
{
    const int s = pixelSize(zoom) / 2;
    return {clampInt(screenLength(qint64(canvas.x()) - scroll.x(), zoom) + s),
            clampInt(screenLength(qint64(canvas.y()) - scroll.y(), zoom) + s)};
}

QPoint ViewTransform::toCanvas(int x, int y) const
{
    auto convert = [this](qint64 v, int position) -> int {
        const qint64 c = zoom < 10 ? v / (11 - zoom) : v * (zoom - 9);
        return clampInt(c + position);
    };
    return {convert(x, scroll.x()), convert(y, scroll.y())};
}
