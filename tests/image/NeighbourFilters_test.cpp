// Sharpen and soften against references written here on plain integer planes: the same visiting
// order (memory row 0 first, left to right) with every result visible to the pixels after it.
#include "image/NeighbourFilters.h"
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Channel values of an image: memory rows x columns x channels.
struct Planes {
    int w = 0, h = 0, channels = 0;
    std::vector<int> v;
    int& at(int y, int x, int c) { return v[(size_t(y) * w + x) * channels + c]; }
};

// 8 bits: the byte; 24 and 32: blue, green, red; 16: channels widened as GetPixel widens them.
Planes planesOf(const TFastDIB& dib)
{
    Planes p;
    p.w = dib.Info.Header.Width;
    p.h = dib.AbsHeight;
    p.channels = dib.Info.Header.BitCount == 8 ? 1 : 3;
    p.v.resize(size_t(p.w) * p.h * p.channels);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            if (p.channels == 1) {
                p.at(y, x, 0) = dib.Pixels8[y][x];
                continue;
            }
            const TFColor c = dib.GetPixel(y, x);
            p.at(y, x, 0) = c.b;
            p.at(y, x, 1) = c.g;
            p.at(y, x, 2) = c.r;
        }
    return p;
}

Planes referenceFilter5(Planes p, int d, int wc, int w1, int w2, int w3, int w4)
{
    int sum = wc + w1 + w2 + w3 + w4;
    if (sum == 0)
        sum = 1;
    auto cl = [](int v, int n) { return std::clamp(v, 0, n - 1); };
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x)
            for (int c = 0; c < p.channels; ++c) {
                const int t = wc * p.at(y, x, c) + w1 * p.at(cl(y - d, p.h), cl(x - d, p.w), c)
                    + w2 * p.at(cl(y - d, p.h), cl(x + d, p.w), c) + w3 * p.at(cl(y + d, p.h), cl(x - d, p.w), c)
                    + w4 * p.at(cl(y + d, p.h), cl(x + d, p.w), c);
                p.at(y, x, c) = std::clamp(t / sum, 0, 255);
            }
    return p;
}

Planes referenceSoften(Planes p)
{
    for (int y = 0; y < p.h; ++y)
        for (int c = 0; c < p.channels; ++c) {
            std::vector<int> old(size_t(p.w));
            for (int x = 0; x < p.w; ++x)
                old[size_t(x)] = p.at(y, x, c);
            const int last = p.w - 1;
            p.at(y, 0, c) = (old[0] + old[1]) / 2;
            for (int x = 1; x < last; ++x)
                p.at(y, x, c) = (p.at(y, x - 1, c) + old[size_t(x + 1)]) / 2;
            p.at(y, last, c) = (old[size_t(last)] + p.at(y, last - 1, c)) / 2;
        }
    return p;
}

::testing::AssertionResult planesEqual(Planes got, Planes want)
{
    for (int y = 0; y < got.h; ++y)
        for (int x = 0; x < got.w; ++x)
            for (int c = 0; c < got.channels; ++c)
                if (got.at(y, x, c) != want.at(y, x, c))
                    return ::testing::AssertionFailure() << "first difference at memory row " << y << ", column " << x
                                                         << ", channel " << c << ": got " << got.at(y, x, c)
                                                         << ", expected " << want.at(y, x, c);
    return ::testing::AssertionSuccess();
}

struct Layout {
    int bpp;
    int greenBits;
    const char* name;
};

void makeRandom(TFastDIB& dib, const Layout& l, int w, int h, unsigned seed)
{
    if (l.bpp == 16)
        dib.SetSizeEx(w, h, 16, 5, quint8(l.greenBits), 5);
    else
        dib.SetSize(w, h, quint8(l.bpp));
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < dib.BWidth; ++i)
            dib.Pixels8[y][i] = quint8(rng());
}

} // namespace

TEST(NeighbourFilters, Filter5MatchesInPlaceReference)
{
    const Layout layouts[] = {{8, 0, "8"}, {24, 0, "24"}, {32, 0, "32"}};
    struct Weights {
        int d, wc, w1, w2, w3, w4;
    };
    const Weights weights[] = {
        {1, -10, 1, 1, 1, 1}, // sharpen
        {2, -10, 1, 1, 1, 1},
        {1, 4, -1, -1, -1, -1}, // weights summing to 0 divide by 1
        {1, 1, 2, 0, 3, 1},
    };
    for (const Layout& l : layouts)
        for (const Weights& k : weights) {
            SCOPED_TRACE(testing::Message() << l.name << " bits, d " << k.d << ", wc " << k.wc);
            TFastDIB dib;
            makeRandom(dib, l, 9, 7, unsigned(l.bpp * 13 + k.wc));
            std::vector<quint8> fourth;
            if (l.bpp == 32)
                for (int y = 0; y < 7; ++y)
                    for (int x = 0; x < 9; ++x)
                        fourth.push_back(dib.Pixels32[y][x].a);
            Planes want = referenceFilter5(planesOf(dib), k.d, k.wc, k.w1, k.w2, k.w3, k.w4);
            Filter5(dib, k.d, k.wc, k.w1, k.w2, k.w3, k.w4);
            EXPECT_TRUE(planesEqual(planesOf(dib), want));
            if (l.bpp == 32) {
                size_t i = 0;
                for (int y = 0; y < 7; ++y)
                    for (int x = 0; x < 9; ++x)
                        ASSERT_EQ(dib.Pixels32[y][x].a, fourth[i++]) << "fourth byte at " << y << ", " << x;
            }
        }
}

// At 16 bits every result is narrowed before later pixels read it: the reference packs and
// widens each value as it writes it.
TEST(NeighbourFilters, Filter5AtSixteenBitsPacksEachResult)
{
    TFastDIB dib;
    makeRandom(dib, Layout{16, 6, "16"}, 6, 5, 3);
    Planes p = planesOf(dib);
    TFastDIB one;
    one.MakeCopy(dib, false);
    auto packed = [&one](int b, int g, int r) {
        one.SetPixel(0, 0, TFColor{quint8(b), quint8(g), quint8(r)});
        return one.GetPixel(0, 0);
    };
    auto cl = [](int v, int n) { return std::clamp(v, 0, n - 1); };
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            int out[3];
            for (int c = 0; c < 3; ++c) {
                const int t = -10 * p.at(y, x, c) + p.at(cl(y - 1, p.h), cl(x - 1, p.w), c)
                    + p.at(cl(y - 1, p.h), cl(x + 1, p.w), c) + p.at(cl(y + 1, p.h), cl(x - 1, p.w), c)
                    + p.at(cl(y + 1, p.h), cl(x + 1, p.w), c);
                out[c] = std::clamp(t / -6, 0, 255);
            }
            const TFColor q = packed(out[0], out[1], out[2]);
            p.at(y, x, 0) = q.b;
            p.at(y, x, 1) = q.g;
            p.at(y, x, 2) = q.r;
        }
    SharpenPixels(dib, 1);
    EXPECT_TRUE(planesEqual(planesOf(dib), p));
}

TEST(NeighbourFilters, SharpenKeepsUniformImagesAndClampsPeaks)
{
    TFastDIB dib;
    dib.SetSize(5, 5, 24);
    dib.Clear(TFColor{77, 77, 77});
    SharpenPixels(dib, 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(dib.Pixels24[y][x].g, 77) << y << ", " << x;

    dib.Clear(TFColor{0, 0, 0});
    dib.Pixels24[2][2] = TFColor{255, 255, 255};
    SharpenPixels(dib, 1);
    EXPECT_EQ(dib.Pixels24[2][2].r, 255); // 425 before clamping
}

TEST(NeighbourFilters, SoftenRowExample)
{
    TFastDIB dib;
    dib.SetSize(4, 1, 8);
    const quint8 row[] = {0, 100, 0, 100};
    std::memcpy(dib.Pixels8[0], row, 4);
    SoftenPixels(dib);
    EXPECT_EQ(dib.Pixels8[0][0], 50);
    EXPECT_EQ(dib.Pixels8[0][1], 25);
    EXPECT_EQ(dib.Pixels8[0][2], 62);
    EXPECT_EQ(dib.Pixels8[0][3], 81);
}

TEST(NeighbourFilters, SoftenMatchesReference)
{
    const Layout layouts[] = {{8, 0, "8"}, {24, 0, "24"}, {32, 0, "32"}};
    for (const Layout& l : layouts)
        for (int w : {2, 3, 11}) {
            SCOPED_TRACE(testing::Message() << l.name << " bits, width " << w);
            TFastDIB dib;
            makeRandom(dib, l, w, 4, unsigned(w + l.bpp));
            const Planes want = referenceSoften(planesOf(dib));
            const quint8 alpha = l.bpp == 32 ? dib.Pixels32[1][0].a : 0;
            SoftenPixels(dib);
            EXPECT_TRUE(planesEqual(planesOf(dib), want));
            if (l.bpp == 32) {
                EXPECT_EQ(dib.Pixels32[1][0].a, alpha);
            }
        }
}

TEST(NeighbourFilters, LeftAloneWhereTheFiltersDoNotApply)
{
    struct Row {
        int w, h, bpp;
        bool sharpen;
    };
    const Row rows[] = {
        {5, 3, 16, false}, // soften skips 16 bits
        {1, 4, 24, false}, // soften needs two pixels per row
        {5, 3, 4, true},   // sharpen skips 4 bits
        {5, 3, 1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.w << " x " << r.h << " at " << r.bpp);
        TFastDIB dib;
        makeRandom(dib, Layout{r.bpp, 5, ""}, r.w, r.h, 8);
        std::vector<quint8> before(dib.Bits, dib.Bits + dib.BWidth * dib.AbsHeight);
        r.sharpen ? SharpenPixels(dib, 1) : SoftenPixels(dib);
        EXPECT_TRUE(std::equal(before.begin(), before.end(), dib.Bits));
    }
    TFastDIB empty;
    SharpenPixels(empty, 1);
    SoftenPixels(empty);
    EXPECT_EQ(empty.Bits, nullptr);
}
