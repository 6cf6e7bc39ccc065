// Ring widths recomputed from point positions, and the length units.
#include "project/PathDistances.h"

#include "project/TJEXObject.h"

#include "support/ProjectObjects.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using testhelpers::addIndex;
using testhelpers::addMeasurement;

TEST(RecomputeDistances, EachPointMeasuresFromThePointBeforeItInThePath)
{
    TPath path;
    TIndex* i1 = addIndex(path, {10, 10});
    TMeasurement* m1 = addMeasurement(*i1, {13, 14});
    TMeasurement* m2 = addMeasurement(*i1, {13, 20});
    TIndex* i2 = addIndex(path, {13, 32});      // from m2, the end of the previous segment
    TIndex* i3 = addIndex(path, {18, 44});      // from i2, which has no measurements
    TMeasurement* m3 = addMeasurement(*i3, {18, 44}); // on its index point
    i1->distance = 99; // stale values are overwritten, the first index point included

    RecomputeDistances(&path);

    EXPECT_EQ(i1->distance, 0.0);
    EXPECT_DOUBLE_EQ(m1->distance, 5.0);
    EXPECT_DOUBLE_EQ(m2->distance, 6.0);
    EXPECT_DOUBLE_EQ(i2->distance, 12.0);
    EXPECT_DOUBLE_EQ(i3->distance, 13.0);
    EXPECT_EQ(m3->distance, 0.0);
}

TEST(RecomputeDistances, MovingAPointChangesItsWidthAndTheNextOne)
{
    TPath path;
    TIndex* i1 = addIndex(path, {0, 0});
    TMeasurement* m1 = addMeasurement(*i1, {0, 10});
    TMeasurement* m2 = addMeasurement(*i1, {0, 20});
    RecomputeDistances(&path);
    ASSERT_DOUBLE_EQ(m1->distance, 10.0);

    m1->Pos = {0, 14};
    RecomputeDistances(&path);
    EXPECT_DOUBLE_EQ(m1->distance, 14.0);
    EXPECT_DOUBLE_EQ(m2->distance, 6.0);
}

TEST(RecomputeDistances, FarApartPointsAndNoPath)
{
    TPath path;
    addIndex(path, {0, 0});
    TMeasurement* far = addMeasurement(*path.ObjectList[0], {2000000000, 0});
    RecomputeDistances(&path);
    EXPECT_DOUBLE_EQ(far->distance, 2e9);
    RecomputeDistances(nullptr); // does nothing
}

TEST(PixelsToUnit, OnePixelAt1200DpiInEveryUnit)
{
    struct Row {
        int units;
        double expected;
    };
    const Row rows[] = {
        {0, 2.54 / 1200}, {1, 25.4 / 1200}, {2, 254.0 / 1200}, {3, 2540.0 / 1200},
        {4, 1.0 / 1200},  {5, 10.0 / 1200}, {6, 100.0 / 1200}, {7, 1.0},
    };
    for (const Row& r : rows)
        EXPECT_DOUBLE_EQ(PixelsToUnit(1.0, r.units, 1200), r.expected) << "units " << r.units;
}

TEST(PixelsToUnit, TwelvePixelsAt1200DpiAreAQuarterMillimetre)
{
    EXPECT_DOUBLE_EQ(PixelsToUnit(12, 3, 1200), 25.4);
    EXPECT_DOUBLE_EQ(PixelsToUnit(12, 7, 1200), 12);
}

TEST(PixelsToUnit, NoResolutionGivesZeroAndUnknownUnitsStayInPixels)
{
    for (int dpi : {0, -1, -1200})
        for (int units = 0; units < 7; ++units) {
            const double v = PixelsToUnit(12, units, dpi);
            EXPECT_EQ(v, 0.0) << "dpi " << dpi << " units " << units;
        }
    EXPECT_EQ(PixelsToUnit(12, 7, 0), 12.0);
    EXPECT_EQ(PixelsToUnit(12, 8, 1200), 12.0);
    EXPECT_EQ(PixelsToUnit(12, -1, 0), 12.0);
}
