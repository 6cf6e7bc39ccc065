// The fused adjustment pass against the four colour effects run one after the other, on random
// pixels at every depth, for settings that exercise each step alone and all together; images big
// enough to be split over threads give the same bytes as small ones.
#include "image/ImageAdjustments.h"

#include "image/ColorEffects.h"
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<quint8> bytesOf(const TFastDIB& dib)
{
    std::vector<quint8> v(dib.Bits, dib.Bits + qint64(dib.BWidth) * dib.AbsHeight);
    if (dib.Info.Header.BitCount <= 8)
        v.insert(v.end(), reinterpret_cast<const quint8*>(dib.Colors),
                 reinterpret_cast<const quint8*>(dib.Colors) + 4 * (1 << dib.Info.Header.BitCount));
    return v;
}

void fillRandom(TFastDIB& dib, unsigned seed)
{
    std::mt19937 rng(seed);
    for (int y = 0; y < dib.AbsHeight; ++y)
        for (int i = 0; i < dib.BWidth; ++i)
            dib.Pixels8[y][i] = quint8(rng());
    if (dib.Info.Header.BitCount <= 8)
        for (int i = 0; i < (1 << dib.Info.Header.BitCount); ++i)
            dib.Colors[i].c = TFColor{quint8(rng()), quint8(rng()), quint8(rng())};
}

void oneAfterTheOther(TFastDIB& dib, const ImageAdjustments& a)
{
    RGBContrast(dib, a.Contrast, a.Contrast, a.Contrast);
    RGBLightness(dib, a.Lightness, a.Lightness, a.Lightness);
    AdjustSaturation(dib, a.Saturation);
    RGBAdd(dib, a.Red, a.Green, a.Blue);
}

struct Setting {
    const char* name;
    ImageAdjustments a;
};

const Setting settings[] = {
    {"neutral", {}},
    {"contrast up", {60, 0, 255, 0, 0, 0}},
    {"contrast down past inversion", {-200, 0, 255, 0, 0, 0}},
    {"brightness up", {0, 90, 255, 0, 0, 0}},
    {"brightness down", {0, -255, 255, 0, 0, 0}},
    {"gray", {0, 0, 0, 0, 0, 0}},
    {"half saturation", {0, 0, 128, 0, 0, 0}},
    {"beyond gray", {0, 0, -255, 0, 0, 0}},
    {"saturation 256", {0, 0, 256, 0, 0, 0}},
    {"bias", {0, 0, 255, 40, -70, 255}},
    {"everything", {35, -20, 90, -10, 25, 5}},
    {"out of range amounts are limited", {400, -400, 255, 999, -999, 0}},
    {"saturation beyond the slider", {10, 0, 700, 0, 0, 0}},
    {"negative saturation beyond the slider", {0, 10, -300, 0, 0, 0}},
};

} // namespace

TEST(ImageAdjustments, EqualsTheFourEffectsInTurn)
{
    for (int bpp : {8, 16, 24, 32})
        for (const Setting& s : settings) {
            SCOPED_TRACE(testing::Message() << bpp << " bits, " << s.name);
            TFastDIB fused, reference;
            fused.SetSize(37, 11, quint8(bpp));
            reference.SetSize(37, 11, quint8(bpp));
            fillRandom(fused, unsigned(bpp));
            fillRandom(reference, unsigned(bpp));
            ApplyAdjustments(fused, s.a);
            oneAfterTheOther(reference, s.a);
            const std::vector<quint8> got = bytesOf(fused), want = bytesOf(reference);
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_EQ(got[i], want[i]) << "first difference at byte " << i;
        }
}

TEST(ImageAdjustments, LargeImagesSplitOverThreadsGiveTheSameBytes)
{
    const ImageAdjustments a{35, -20, 90, -10, 25, 5};
    TFastDIB fused, reference;
    fused.UseGDI = reference.UseGDI = false;
    fused.SetSize(1999, 1501, 24); // odd sizes: bands of unequal rows
    reference.SetSize(1999, 1501, 24);
    fillRandom(fused, 3);
    fillRandom(reference, 3);
    ApplyAdjustments(fused, a);
    oneAfterTheOther(reference, a);
    EXPECT_EQ(std::memcmp(fused.Bits, reference.Bits, size_t(qint64(fused.BWidth) * fused.AbsHeight)), 0);
}

TEST(ImageAdjustments, SubImageChangesOnlyItsOwnPixels)
{
    TFastDIB parent, sub, reference, refSub;
    parent.SetSize(9, 6, 24);
    reference.SetSize(9, 6, 24);
    fillRandom(parent, 5);
    fillRandom(reference, 5);
    sub.SetSubset(parent, 2, 1, 4, 3);
    refSub.SetSubset(reference, 2, 1, 4, 3);
    const ImageAdjustments a{0, 0, 0, 10, 0, 0};
    ApplyAdjustments(sub, a);
    oneAfterTheOther(refSub, a);
    EXPECT_EQ(bytesOf(parent), bytesOf(reference));
}
