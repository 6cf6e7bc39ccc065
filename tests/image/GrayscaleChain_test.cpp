// The grayscale dialog's chain: the black-and-white threshold worked out per pixel, and the chain
// against its filters run by hand in their order.
#include "image/GrayscaleChain.h"

#include "image/GrayFilters.h"
#include "image/NeighbourFilters.h"
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

void fillRandom(TFastDIB& dib, unsigned seed)
{
    std::mt19937 rng(seed);
    for (int y = 0; y < dib.AbsHeight; ++y)
        for (int i = 0; i < dib.BWidth; ++i)
            dib.Pixels8[y][i] = quint8(rng());
}

bool sameBytes(const TFastDIB& a, const TFastDIB& b)
{
    return std::memcmp(a.Bits, b.Bits, size_t(qint64(a.BWidth) * a.AbsHeight)) == 0;
}

} // namespace

TEST(GrayscaleChain, BlackWhiteComparesTheMeanWithTheThreshold)
{
    struct Case {
        TFColor in;
        int threshold;
        quint8 out;
    };
    const Case cases[] = {
        {{0, 0, 0}, 0, 255},       // threshold 0: everything white
        {{254, 255, 255}, 255, 0}, // mean 254
        {{255, 255, 255}, 255, 255},
        {{10, 20, 32}, 20, 255},   // 62 div 3 = 20
        {{10, 20, 31}, 21, 0},     // 61 div 3 = 20
        {{200, 0, 0}, 67, 0},      // 200 div 3 = 66
    };
    for (const Case& c : cases) {
        TFastDIB d;
        d.SetSize(1, 1, 24);
        d.Pixels24[0][0] = c.in;
        BlackWhite(d, c.threshold);
        const TFColor got = d.Pixels24[0][0];
        EXPECT_EQ(got.b, c.out) << "threshold " << c.threshold;
        EXPECT_EQ(got.g, c.out);
        EXPECT_EQ(got.r, c.out);
    }
}

TEST(GrayscaleChain, RunsTheTickedStepsInTheirOrder)
{
    GrayscaleSettings s;
    s.MedianCut = true;
    s.Smooth = true;
    s.SmoothTimes = 2;
    s.GrayScale = true;
    s.Red = 33;
    s.Green = 34;
    s.Blue = 33;
    s.Slicing = true;
    s.Lower = 60;
    s.Width = 90;
    s.KeepSlice = true;
    s.Dilate = true;

    TFastDIB chain, byHand;
    chain.SetSize(23, 9, 24);
    byHand.SetSize(23, 9, 24);
    fillRandom(chain, 9);
    fillRandom(byHand, 9);
    ApplyGrayscaleChain(chain, s);
    MedianFilter(byHand, 1);
    SoftenPixels(byHand);
    SoftenPixels(byHand);
    ChannelMixGray(byHand, 33, 34, 33);
    ThresholdBand(byHand, 60, 150, true, true, false);
    DilateFilter(byHand);
    EXPECT_TRUE(sameBytes(chain, byHand));

    // Threshold before gray: the black-and-white picture stays as it is under the gray step.
    GrayscaleSettings bw;
    bw.BlackWhite = true;
    bw.Threshold = 100;
    bw.GrayScale = true;
    bw.Bitplane = true; // bit 7 only
    TFastDIB a, b;
    a.SetSize(23, 9, 24);
    b.SetSize(23, 9, 24);
    fillRandom(a, 4);
    fillRandom(b, 4);
    ApplyGrayscaleChain(a, bw);
    BlackWhite(b, 100);
    ChannelMixGray(b, 30, 59, 11);
    BitPlaneFilter(b, {false, false, false, false, false, false, false, true}, false, false);
    EXPECT_TRUE(sameBytes(a, b));
}
