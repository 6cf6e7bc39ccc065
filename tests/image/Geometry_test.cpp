// Mirroring, flipping, quarter turns and free rotation, checked pixel by pixel against the picture
// arithmetic written out here.
#include "image/Geometry.h"
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Layout {
    int bpp;
    int greenBits; // 16 bits only
    const char* name;
};

constexpr Layout wholeByteLayouts[] = {
    {8, 0, "8"}, {16, 5, "16 (5-5-5)"}, {16, 6, "16 (5-6-5)"}, {24, 0, "24"}, {32, 0, "32"},
};
constexpr Layout allLayouts[] = {
    {1, 0, "1"}, {4, 0, "4"}, {8, 0, "8"}, {16, 6, "16 (5-6-5)"}, {24, 0, "24"}, {32, 0, "32"},
};

void sizeDib(TFastDIB& dib, int w, int h, const Layout& layout)
{
    if (layout.bpp == 16)
        dib.SetSizeEx(w, h, 16, 5, quint8(layout.greenBits), 5);
    else
        dib.SetSize(w, h, quint8(layout.bpp));
}

// Random bytes over whole rows, padding included, so a routine that touches padding shows.
void fillRandom(TFastDIB& dib, unsigned seed)
{
    std::mt19937 rng(seed);
    for (int y = 0; y < dib.AbsHeight; ++y)
        for (int i = 0; i < dib.BWidth; ++i)
            dib.Pixels8[y][i] = quint8(rng());
}

// One pixel's value at memory row y, column x: the index at 1 to 8 bits, the raw bytes above.
quint32 pixelAt(const TFastDIB& dib, int y, int x)
{
    const int bpp = dib.Info.Header.BitCount;
    if (bpp <= 8)
        return dib.GetPixelB(y, x);
    quint32 v = 0;
    std::memcpy(&v, dib.Pixels8[y] + qint64(x) * (bpp / 8), size_t(bpp / 8));
    return v;
}

// Picture coordinates: row 0 at the top.
quint32 pictureAt(const TFastDIB& dib, int x, int y)
{
    return pixelAt(dib, dib.AbsHeight - 1 - y, x);
}

std::vector<quint8> rowBytes(const TFastDIB& dib, int y)
{
    return {dib.Pixels8[y], dib.Pixels8[y] + dib.BWidth};
}

// Compares every pixel with `expected(x, y)` in picture coordinates and names the first mismatch.
template <class F>
::testing::AssertionResult picturesMatch(const TFastDIB& dib, F expected)
{
    for (int y = 0; y < dib.AbsHeight; ++y)
        for (int x = 0; x < dib.Info.Header.Width; ++x) {
            const quint32 got = pictureAt(dib, x, y), want = expected(x, y);
            if (got != want)
                return ::testing::AssertionFailure()
                    << "first difference at picture row " << y << ", column " << x << ": got " << got
                    << ", expected " << want;
        }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Geometry, MirrorRowsReversesEveryRowAtEveryDepth)
{
    const int widths[] = {1, 2, 7, 10, 13};
    for (const Layout& layout : allLayouts)
        for (int w : widths) {
            SCOPED_TRACE(testing::Message() << layout.name << " bits, width " << w);
            TFastDIB original, dib;
            sizeDib(original, w, 3, layout);
            fillRandom(original, unsigned(w * 31 + layout.bpp));
            dib.MakeCopy(original, true);
            MirrorRows(dib);
            EXPECT_TRUE(picturesMatch(dib, [&](int x, int y) { return pictureAt(original, w - 1 - x, y); }));
            MirrorRows(dib);
            for (int y = 0; y < dib.AbsHeight; ++y)
                ASSERT_EQ(rowBytes(dib, y), rowBytes(original, y)) << "twice mirrored, memory row " << y;
        }
}

TEST(Geometry, MirrorOfOneBitRowOfTenPixels)
{
    TFastDIB dib;
    dib.SetSize(10, 1, 1);
    dib.SetPixelB(0, 0, 1); // only pixel 0 set
    MirrorRows(dib);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(dib.GetPixelB(0, x), x == 9 ? 1 : 0) << "column " << x;
}

TEST(Geometry, FlipRowsExchangesRowsAndKeepsPadding)
{
    for (const Layout& layout : allLayouts)
        for (int h : {1, 2, 3, 6}) {
            SCOPED_TRACE(testing::Message() << layout.name << " bits, height " << h);
            TFastDIB original, dib;
            sizeDib(original, 5, h, layout);
            fillRandom(original, unsigned(h * 7 + layout.bpp));
            dib.MakeCopy(original, true);
            FlipRows(dib);
            const qint64 pixelBytes = dib.BWidth - dib.Gap;
            for (int y = 0; y < h; ++y) {
                const std::vector<quint8> got = rowBytes(dib, y), mirrored = rowBytes(original, h - 1 - y),
                                          own = rowBytes(original, y);
                EXPECT_TRUE(std::equal(got.begin(), got.begin() + pixelBytes, mirrored.begin())) << "row " << y;
                EXPECT_TRUE(std::equal(got.begin() + pixelBytes, got.end(), own.begin() + pixelBytes))
                    << "padding of row " << y;
            }
        }
}

TEST(Geometry, QuarterTurnOfTwoPixels)
{
    TFastDIB src, cw, ccw;
    src.SetSize(2, 1, 24);
    src.Pixels24[0][0] = TFColor{1, 1, 1}; // A, left
    src.Pixels24[0][1] = TFColor{2, 2, 2}; // B, right
    Rotate90CW(src, cw);
    Rotate90CCW(src, ccw);
    ASSERT_EQ(cw.Info.Header.Width, 1);
    ASSERT_EQ(cw.AbsHeight, 2);
    EXPECT_EQ(pictureAt(cw, 0, 0), 0x010101u) << "A at the top";
    EXPECT_EQ(pictureAt(cw, 0, 1), 0x020202u);
    EXPECT_EQ(pictureAt(ccw, 0, 0), 0x020202u) << "B at the top";
    EXPECT_EQ(pictureAt(ccw, 0, 1), 0x010101u);
}

// Every pixel lands where a quarter turn puts it, even and odd sides alike.
TEST(Geometry, QuarterTurnsMapEveryPixel)
{
    const QSize sizes[] = {{1, 1}, {2, 2}, {3, 2}, {4, 6}, {5, 3}, {7, 7}};
    for (const Layout& layout : wholeByteLayouts)
        for (QSize s : sizes) {
            SCOPED_TRACE(testing::Message() << layout.name << " bits, " << s.width() << " x " << s.height());
            const int w = s.width(), h = s.height();
            TFastDIB src, cw, ccw;
            sizeDib(src, w, h, layout);
            fillRandom(src, unsigned(w * 100 + h));
            Rotate90CW(src, cw);
            Rotate90CCW(src, ccw);
            ASSERT_EQ(cw.Info.Header.Width, h);
            ASSERT_EQ(cw.AbsHeight, w);
            ASSERT_EQ(cw.Info.Header.BitCount, layout.bpp);
            EXPECT_EQ(cw.Info.GMask, src.Info.GMask);
            EXPECT_TRUE(picturesMatch(cw, [&](int x, int y) { return pictureAt(src, y, h - 1 - x); }));
            EXPECT_TRUE(picturesMatch(ccw, [&](int x, int y) { return pictureAt(src, w - 1 - y, x); }));
        }
}

// For odd sides the fixed-point rotation with exact sine and cosine is itself exact: the direct
// quarter turns must agree with it.
TEST(Geometry, QuarterTurnsAgreeWithFixedPointRotationOnOddSides)
{
    for (const Layout& layout : wholeByteLayouts)
        for (bool clockwise : {true, false}) {
            SCOPED_TRACE(testing::Message() << layout.name << (clockwise ? " clockwise" : " counter-clockwise"));
            TFastDIB src, direct, fixed;
            sizeDib(src, 5, 3, layout);
            fillRandom(src, 99);
            clockwise ? Rotate90CW(src, direct) : Rotate90CCW(src, direct);
            sizeDib(fixed, 3, 5, layout);
            RotateFixed(src, fixed, 3 >> 1, 5 >> 1, clockwise ? 65536 : -65536, 0, false);
            EXPECT_TRUE(picturesMatch(direct, [&](int x, int y) { return pictureAt(fixed, x, y); }));
        }
}

TEST(Geometry, RotatedSize)
{
    struct Row {
        int w, h;
        double angle;
        int ew, eh;
    };
    const Row rows[] = {
        {100, 60, 0, 100, 60}, {100, 60, 90, 60, 100}, {100, 100, 45, 142, 142},
        {100, 60, -90, 60, 100}, {100, 60, 180, 100, 60}, {1, 1, 30, 2, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.angle);
        TFastDIB src, dst;
        src.SetSize(r.w, r.h, 24);
        RotatedSize(src, dst, r.angle);
        EXPECT_EQ(dst.Info.Header.Width, r.ew);
        EXPECT_EQ(dst.AbsHeight, r.eh);
        EXPECT_EQ(dst.Info.Header.BitCount, 24);
    }
}

TEST(Geometry, FreeRotationByZeroAndHalfTurn)
{
    TFastDIB src;
    src.SetSize(5, 3, 24);
    fillRandom(src, 5);
    for (bool smooth : {false, true}) {
        SCOPED_TRACE(smooth ? "smooth" : "nearest");
        TFastDIB same, half;
        RotatedSize(src, same, 0);
        RotateAngle(src, same, smooth, 0);
        EXPECT_TRUE(picturesMatch(same, [&](int x, int y) { return pictureAt(src, x, y); }));
        RotatedSize(src, half, 180);
        RotateAngle(src, half, smooth, 180);
        EXPECT_TRUE(picturesMatch(half, [&](int x, int y) { return pictureAt(src, 4 - x, 2 - y); }));
    }
}

// A 40 cm core at 2400 dpi is 37800 pixels long: every column beyond 32767 must turn too.
TEST(Geometry, FreeRotationOfImagesLongerThan32767Pixels)
{
    const int n = 40000;
    TFastDIB wide;
    wide.SetSize(n, 3, 24);
    fillRandom(wide, 40);
    for (bool smooth : {false, true}) {
        SCOPED_TRACE(smooth ? "smooth" : "nearest");
        TFastDIB same;
        RotatedSize(wide, same, 0);
        RotateAngle(wide, same, smooth, 0);
        EXPECT_TRUE(picturesMatch(same, [&](int x, int y) { return pictureAt(wide, x, y); }));
    }
    // A quarter turn by the free angle: the long side becomes the height.
    TFastDIB tall;
    RotatedSize(wide, tall, 90);
    ASSERT_EQ(tall.Info.Header.Width, 3);
    ASSERT_EQ(tall.AbsHeight, n);
    RotateAngle(wide, tall, false, 90);
    EXPECT_TRUE(picturesMatch(tall, [&](int x, int y) { return pictureAt(wide, y, 2 - x); }));
    // And back: the tall image's rows beyond 32767 land in the wide one's columns.
    TFastDIB back;
    RotatedSize(tall, back, -90);
    RotateAngle(tall, back, false, -90);
    EXPECT_TRUE(picturesMatch(back, [&](int x, int y) { return pictureAt(tall, 2 - y, x); }));
}

TEST(Geometry, FreeRotationLeavesUnreachedCornersAlone)
{
    TFastDIB src, dst;
    src.SetSize(40, 20, 24);
    src.Clear(TFColor{10, 20, 30});
    RotatedSize(src, dst, 30);
    dst.Clear(TFColor{1, 2, 3});
    RotateAngle(src, dst, false, 30);
    const int w = dst.Info.Header.Width, h = dst.AbsHeight;
    for (QPoint corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        EXPECT_EQ(pictureAt(dst, corner.x(), corner.y()), 0x030201u) << corner.x() << ", " << corner.y();
    EXPECT_EQ(pictureAt(dst, w / 2, h / 2), 0x1E140Au);
}

// A half-pixel shift (source one pixel wider than the destination) blends neighbours with weight
// 1/2; a falling difference rounds towards minus infinity.
TEST(Geometry, SmoothRotationBlendsWithArithmeticShift)
{
    TFastDIB src, dst;
    src.SetSize(3, 1, 8);
    dst.SetSize(2, 1, 8);
    const quint8 values[] = {10, 20, 31};
    for (int x = 0; x < 3; ++x)
        src.Pixels8[0][x] = values[x];
    RotateFixed(src, dst, 1, 0, 0, 65536, true);
    EXPECT_EQ(dst.Pixels8[0][0], 15);
    EXPECT_EQ(dst.Pixels8[0][1], 25); // 20 + floor(11 / 2)

    src.Pixels8[0][0] = 31;
    src.Pixels8[0][1] = 20;
    RotateFixed(src, dst, 1, 0, 0, 65536, true);
    EXPECT_EQ(dst.Pixels8[0][0], 25); // 31 + floor(-11 / 2) = 31 - 6
}

// Samples beyond the source's border are the destination's own pixels, not black.
TEST(Geometry, SmoothRotationBlendsWithDestinationAtTheBorder)
{
    TFastDIB src, dst;
    src.SetSize(1, 1, 24);
    src.Pixels24[0][0] = TFColor{100, 100, 100};
    dst.SetSize(2, 1, 24);
    dst.Clear(TFColor{200, 200, 200});
    // Source one pixel narrower: the destination samples half a pixel to the left.
    RotateFixed(src, dst, 0, 0, 0, 65536, true);
    EXPECT_EQ(dst.Pixels24[0][0].b, 150);
    EXPECT_EQ(dst.Pixels24[0][1].b, 150);
}

// At 16 bits the channels are widened by shifting (low bits 0), not by replicating bits.
TEST(Geometry, SmoothRotationWidensSixteenBitChannelsByShifting)
{
    TFastDIB src, dst;
    src.SetSizeEx(3, 1, 16, 5, 6, 5);
    dst.SetSizeEx(2, 1, 16, 5, 6, 5);
    src.Pixels16[0][0] = 31; // blue 31
    src.Pixels16[0][1] = 30; // blue 30
    src.Pixels16[0][2] = 30;
    RotateFixed(src, dst, 1, 0, 0, 65536, true);
    // (248 + 240) / 2 = 244 narrows to 30; replicated bits (255, 247) would give 31.
    EXPECT_EQ(dst.Pixels16[0][0], 30);
}

TEST(Geometry, EmptyImagesAreLeftAlone)
{
    TFastDIB empty, dst;
    empty.SetSize(0, 0, 24);
    MirrorRows(empty);
    FlipRows(empty);
    Rotate90CW(empty, dst);
    EXPECT_EQ(dst.Info.Header.Width, 0);
    RotatedSize(empty, dst, 30);
    RotateAngle(empty, dst, true, 30);
    EXPECT_EQ(dst.Bits, nullptr);
}

// A turn done in bands of rows is the whole turn, at each depth, smoothed or not.
TEST(Geometry, RotationInBandsOfRowsEqualsTheWholeTurn)
{
    for (int bpp : {8, 16, 24, 32})
        for (bool smooth : {false, true}) {
            SCOPED_TRACE(testing::Message() << bpp << " bits, smooth " << smooth);
            TFastDIB src, whole, bands;
            src.SetSize(37, 23, quint8(bpp));
            for (int y = 0; y < src.AbsHeight; ++y)
                for (int i = 0; i < src.BWidth; ++i)
                    src.Pixels8[y][i] = quint8(y * 31 + i * 7);
            RotatedSize(src, whole, 33.3);
            RotatedSize(src, bands, 33.3);
            RotateAngle(src, whole, smooth, 33.3);
            const int rows = bands.AbsHeight;
            for (int first = 0; first < rows; first += 5)
                RotateAngleRows(src, bands, smooth, 33.3, first, std::min(first + 5, rows));
            ASSERT_EQ(std::memcmp(whole.Bits, bands.Bits, size_t(qint64(whole.BWidth) * rows)), 0);
        }
}
