// Ring widths from point positions, and the length units.
#include "project/PathDistances.h"

#include "project/Helpers.h"
#include "project/TJEXObject.h"

void RecomputeDistances(TPath* path)
{
    if (!path)
        return;
    const TJEXObject* previous = nullptr; // the point before in path order
    for (const auto& index : path->ObjectList) {
        index->distance = previous ? PointDistance(previous->Pos, index->Pos) : 0.0;
        previous = index.get();
        for (const auto& m : index->ObjectList) {
            m->distance = PointDistance(previous->Pos, m->Pos);
            previous = m.get();
        }
    }
}

double PixelsToUnit(double pixels, int units, int dpi)
{
    if (units == 7 || units < 0 || units > 7)
        return pixels;
    if (dpi <= 0)
        return 0.0;
    static constexpr long double factors[7] = {2.54L, 25.4L, 254.0L, 2540.0L, 1.0L, 10.0L, 100.0L};
    const long double inches = static_cast<long double>(pixels) / dpi;
    return static_cast<double>(inches * factors[units]);
}
