// Width and height of the canvas extent never go negative, whatever the corner order.
#include "project/TArea.h"

#include <gtest/gtest.h>

#include <climits>

TEST(Area, WidthAndHeightAreTheAbsoluteSpan)
{
    struct Case {
        int x1, y1, x2, y2;
        int width, height;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0, 0},
        {10, 20, 110, 70, 100, 50},
        {110, 70, 10, 20, 100, 50},   // both corners swapped
        {10, 70, 110, 20, 100, 50},   // one axis swapped
        {-30, -5, 20, 5, 50, 10},     // across the origin
        {-5, -40, -25, -10, 20, 30},  // wholly negative
        {INT_MIN, 0, 0, INT_MAX, INT_MAX, INT_MAX},
        {INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MAX, INT_MAX}, // span beyond an int is capped
    };
    for (const Case& c : cases) {
        TArea a;
        a.x1 = c.x1;
        a.y1 = c.y1;
        a.x2 = c.x2;
        a.y2 = c.y2;
        SCOPED_TRACE(testing::Message() << "(" << c.x1 << "," << c.y1 << ")-(" << c.x2 << "," << c.y2 << ")");
        EXPECT_EQ(a.width(), c.width);
        EXPECT_EQ(a.height(), c.height);
    }
}
