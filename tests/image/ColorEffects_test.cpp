// Inversion: every pixel byte complemented, at every depth and on sub-images.
#include "image/ColorEffects.h"
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<quint8> block(const TFastDIB& dib)
{
    return {dib.Bits, dib.Bits + qint64(dib.BWidth) * dib.AbsHeight};
}

void fillRandom(TFastDIB& dib, unsigned seed)
{
    std::mt19937 rng(seed);
    for (int y = 0; y < dib.AbsHeight; ++y)
        for (int i = 0; i < dib.BWidth; ++i)
            dib.Pixels8[y][i] = quint8(rng());
}

} // namespace

TEST(ColorEffects, InvertComplementsEveryByteAtEveryDepth)
{
    for (int bpp : {1, 4, 8, 16, 24, 32})
        for (int w : {1, 3, 13}) {
            SCOPED_TRACE(testing::Message() << bpp << " bits, width " << w);
            TFastDIB dib;
            dib.SetSize(w, 3, quint8(bpp));
            fillRandom(dib, unsigned(bpp * 17 + w));
            TFColorA palette[256];
            std::memcpy(palette, dib.Info.Colors, sizeof palette);
            const std::vector<quint8> before = block(dib);
            InvertPixels(dib);
            const std::vector<quint8> after = block(dib);
            for (size_t i = 0; i < before.size(); ++i)
                ASSERT_EQ(after[i], quint8(~before[i])) << "byte " << i;
            EXPECT_EQ(std::memcmp(palette, dib.Info.Colors, sizeof palette), 0) << "the palette stays";
            InvertPixels(dib);
            EXPECT_EQ(block(dib), before) << "inverting twice restores";
        }
}

TEST(ColorEffects, InvertOfSubImageChangesOnlyItsOwnBytes)
{
    TFastDIB parent, sub;
    parent.SetSize(4, 3, 24);
    fillRandom(parent, 4);
    const std::vector<quint8> before = block(parent);
    sub.SetSubset(parent, 2, 0, 1, 3); // one pixel wide, every row
    ASSERT_EQ(sub.Info.Header.SizeImage, 0u);
    InvertPixels(sub);
    const std::vector<quint8> after = block(parent);
    for (int y = 0; y < 3; ++y)
        for (int i = 0; i < parent.BWidth; ++i) {
            const size_t at = size_t(y) * parent.BWidth + i;
            const bool inside = i >= 6 && i < 9;
            ASSERT_EQ(after[at], inside ? quint8(~before[at]) : before[at]) << "row " << y << ", byte " << i;
        }
}

TEST(ColorEffects, InvertOfEmptyImageDoesNothing)
{
    TFastDIB empty;
    InvertPixels(empty);
    EXPECT_EQ(empty.Bits, nullptr);
}
