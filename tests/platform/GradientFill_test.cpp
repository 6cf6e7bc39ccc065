// Gradient fills: the end colours exact, every step in between the rounded linear value, both
// directions, and nothing drawn for an empty rectangle.
#include "platform/GradientFill.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(GradientFillRect, RunsLinearlyFromTheFirstColourToTheSecond)
{
    struct Row {
        const char* name;
        QRect rect;
        quint32 c1, c2; // $00BBGGRR
        bool vertical;
    };
    const Row rows[] = {
        {"red to white, left to right", QRect(2, 1, 50, 4), 0x0000FF, 0xFFFFFF, false},
        {"gray scale, top to bottom", QRect(0, 0, 3, 37), 0x101010, 0xF0F0F0, true},
        {"falling channels", QRect(1, 1, 9, 2), 0x80FF40, 0x000102, false},
        {"one line", QRect(0, 0, 1, 5), 0x123456, 0xABCDEF, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QImage image(60, 40, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter p(&image);
        ASSERT_TRUE(GradientFillRect(&p, r.rect, r.c1, r.c2, r.vertical));
        p.end();
        const int steps = r.vertical ? r.rect.height() : r.rect.width();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                QRgb expected = qRgb(0, 0, 0);
                if (r.rect.contains(x, y)) {
                    const int i = r.vertical ? y - r.rect.top() : x - r.rect.left();
                    auto ch = [&](int shift) {
                        const double a = (r.c1 >> shift) & 0xFF, b = (r.c2 >> shift) & 0xFF;
                        return steps > 1 ? int(std::floor(a + (b - a) * i / (steps - 1) + 0.5)) : int(a);
                    };
                    expected = qRgb(ch(0), ch(8), ch(16));
                }
                ASSERT_EQ(image.pixel(x, y), expected) << "at " << x << ", " << y;
            }
    }
}

TEST(GradientFillRect, DrawsNothingWithoutRectangleOrPainter)
{
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    EXPECT_FALSE(GradientFillRect(&p, QRect(1, 1, 0, 3), 0xFFFFFF, 0xFFFFFF, false));
    EXPECT_FALSE(GradientFillRect(nullptr, QRect(0, 0, 2, 2), 0xFFFFFF, 0xFFFFFF, true));
    p.end();
    EXPECT_EQ(image.pixel(1, 1), qRgb(0, 0, 0));
}

} // namespace
