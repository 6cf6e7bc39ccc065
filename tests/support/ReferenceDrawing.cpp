// Reference pictures for the drawing tests.
#include "support/ReferenceDrawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace testhelpers {

QRgb rgbOf(int colorref)
{
    return qRgb(colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
}

void setPx(QImage& img, int x, int y, QRgb c)
{
    if (img.valid(x, y))
        img.setPixel(x, y, c);
}

void gdiLine(QImage& img, QPoint a, QPoint b, QRgb c)
{
    // 64 bits and one division per pixel: lines across far-off points stay exact.
    const qint64 dx = b.x() - a.x(), dy = b.y() - a.y();
    const qint64 steps = std::max(std::llabs(dx), std::llabs(dy));
    for (qint64 i = 0; i < steps; ++i)
        setPx(img, a.x() + int(std::floor(double(dx) * i / steps + 0.5)),
              a.y() + int(std::floor(double(dy) * i / steps + 0.5)), c);
}

void gdiFrame(QImage& img, int l, int t, int r, int b, QRgb c)
{
    for (int x = l; x < r; ++x) {
        setPx(img, x, t, c);
        setPx(img, x, b - 1, c);
    }
    for (int y = t; y < b; ++y) {
        setPx(img, l, y, c);
        setPx(img, r - 1, y, c);
    }
}

void expectSameImage(const QImage& actual, const QImage& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb a = actual.pixel(x, y) & 0xFFFFFF, e = expected.pixel(x, y) & 0xFFFFFF;
            if (a != e) {
                ADD_FAILURE() << "first difference at row " << y << ", column " << x << ": got " << std::hex << a
                              << ", expected " << e;
                return;
            }
        }
}

QRect changedBox(const QImage& a, const QImage& b)
{
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF))
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace testhelpers
