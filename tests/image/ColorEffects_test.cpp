// Colour effects: table formulas worked out by hand from the 16.16 ramps, the tables applied at
// every depth, saturation, and inversion of every pixel byte at every depth and on sub-images.
#include "image/ColorEffects.h"
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
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

// ---- channel tables -----------------------------------------------------------------------------

namespace {

struct TableCase {
    const char* name;
    std::function<void(TChannelTable&)> make;
    std::vector<std::pair<int, int>> entries; // (index, expected value)
};

TChannelTable filled(quint8 v)
{
    TChannelTable t;
    t.fill(v);
    return t;
}

std::vector<std::pair<int, int>> everyEntry(std::function<int(int)> f)
{
    std::vector<std::pair<int, int>> e;
    for (int v = 0; v < 256; ++v)
        e.emplace_back(v, f(v));
    return e;
}

} // namespace

TEST(ColorEffects, TablesFollowTheirRamps)
{
    // Ramps by hand: step = ((y2 - y1 + 1) * 65536) div n, entry = (y1 * 65536 + k * step) div 65536.
    const TableCase cases[] = {
        // step 65536: 0, 1, 2, 3 and the last entry y2 + 1 = 4; the entries around stay.
        {"rising ramp", [](TChannelTable& t) { FillRamp(t, 10, 0, 14, 3); },
         {{9, 7}, {10, 0}, {11, 1}, {12, 2}, {13, 3}, {14, 4}, {15, 7}}},
        // step -9 * 65536 / 3 = -196608: 10, 7, 4, 1.
        {"falling ramp", [](TChannelTable& t) { FillRamp(t, 0, 10, 3, 0); }, {{0, 10}, {1, 7}, {2, 4}, {3, 1}, {4, 7}}},
        // step 196608: 250, 253, 256 capped at 255.
        {"ramp capped at 255", [](TChannelTable& t) { FillRamp(t, 0, 250, 2, 255); }, {{0, 250}, {1, 253}, {2, 255}}},
        {"empty ramp", [](TChannelTable& t) { FillRamp(t, 5, 0, 5, 255); }, {{4, 7}, {5, 7}, {6, 7}}},
        {"backward ramp", [](TChannelTable& t) { FillRamp(t, 9, 0, 3, 255); }, {{3, 7}, {9, 7}}},
        {"add 100", [](TChannelTable& t) { AddTable(100, t); }, {{0, 100}, {154, 254}, {155, 255}, {255, 255}}},
        {"add -300 limited to -255", [](TChannelTable& t) { AddTable(-300, t); }, everyEntry([](int) { return 0; })},
        {"add 0", [](TChannelTable& t) { AddTable(0, t); }, everyEntry([](int v) { return v; })},
        // step 255 * 65536 / 255 = 65536: 1 + k, the last 256 capped.
        {"lightness +1", [](TChannelTable& t) { LightnessTable(1, t); }, {{0, 1}, {100, 101}, {254, 255}, {255, 255}}},
        // step 16777216 div 255 = 65792: k + k / 256 truncates back to k.
        {"lightness 0", [](TChannelTable& t) { LightnessTable(0, t); }, everyEntry([](int v) { return v; })},
        // step 156 * 65536 div 255 = 40092: entry 128 = 5131776 div 65536 = 78, entry 255 = 155.
        {"lightness -100", [](TChannelTable& t) { LightnessTable(-100, t); }, {{0, 0}, {128, 78}, {255, 155}}},
        // step 257: every entry 255 * 65536 + k * 257 over 65536 is 255.
        {"lightness +400 counts as 255", [](TChannelTable& t) { LightnessTable(400, t); },
         everyEntry([](int) { return 255; })},
        {"lightness -400 counts as -255", [](TChannelTable& t) { LightnessTable(-400, t); },
         everyEntry([](int) { return 0; })},
        {"contrast 0", [](TChannelTable& t) { ContrastTable(0, t); }, everyEntry([](int v) { return v; })},
        {"contrast +127", [](TChannelTable& t) { ContrastTable(127, t); },
         everyEntry([](int v) { return v <= 127 ? 0 : 255; })},
        {"contrast +200", [](TChannelTable& t) { ContrastTable(200, t); },
         everyEntry([](int v) { return v < 56 ? 0 : 255; })},
        // step 56 * 65536 div 255 = 14392: entry 255 = (6553600 + 3669960) div 65536 = 155.
        {"contrast -100", [](TChannelTable& t) { ContrastTable(-100, t); }, {{0, 100}, {255, 155}}},
        // Falling: step -144 * 65536 div 255 = -37008; entry 128 = 8370176 div 65536 = 127, entry 255 = 56.
        {"contrast -200 inverts", [](TChannelTable& t) { ContrastTable(-200, t); }, {{0, 200}, {128, 127}, {255, 56}}},
        // 255: a threshold at 1.
        {"contrast +300 counts as 255", [](TChannelTable& t) { ContrastTable(300, t); },
         everyEntry([](int v) { return v == 0 ? 0 : 255; })},
        // -255: step -254 * 65536 div 255 = -65278; entry 1 = 16646402 div 65536 = 254, entry 255 = 1.
        {"contrast -300 counts as -255", [](TChannelTable& t) { ContrastTable(-300, t); },
         {{0, 255}, {1, 254}, {255, 1}}},
    };
    for (const TableCase& c : cases) {
        SCOPED_TRACE(c.name);
        TChannelTable t = filled(7);
        c.make(t);
        for (auto [index, expected] : c.entries)
            EXPECT_EQ(int(t[index]), expected) << "entry " << index;
    }
}

namespace {

// The channel amounts of an effect applied to an image, and the expected colour of one pixel.
struct PixelCase {
    const char* name;
    std::function<void(TFastDIB&)> effect;
    TFColor in, out; // blue, green, red
};

const PixelCase pixelCases[] = {
    // Red +10, green -20, blue +300 (limited to 255): each channel through its own table.
    {"bias", [](TFastDIB& d) { RGBAdd(d, 10, -20, 300); }, {0, 15, 250}, {255, 0, 255}},
    {"neutral contrast", [](TFastDIB& d) { RGBContrast(d, 0, 0, 0); }, {3, 128, 254}, {3, 128, 254}},
    // Contrast 127 on red only: a threshold at 128.
    {"contrast", [](TFastDIB& d) { RGBContrast(d, 127, 0, 0); }, {3, 128, 127}, {3, 128, 0}},
    // Lightness -100 on green: entry 128 = 78 (see the table cases).
    {"lightness", [](TFastDIB& d) { RGBLightness(d, 0, -100, 0); }, {255, 128, 9}, {255, 78, 9}},
    // Mean 30: A[k] = floor((k + 1) / 2), base 30 - 15; 15 + 5, 15 + 10, 15 + 30.
    {"saturation 128", [](TFastDIB& d) { AdjustSaturation(d, 128); }, {10, 20, 60}, {20, 25, 45}},
    // The neutral settings 255 and 256 keep the colour.
    {"saturation 255", [](TFastDIB& d) { AdjustSaturation(d, 255); }, {10, 20, 60}, {10, 20, 60}},
    {"saturation 256", [](TFastDIB& d) { AdjustSaturation(d, 256); }, {10, 20, 60}, {10, 20, 60}},
    {"saturation 255 at white", [](TFastDIB& d) { AdjustSaturation(d, 255); }, {255, 255, 255}, {255, 255, 255}},
    // 0 gives the mean (10 + 20 + 60) div 3.
    {"saturation 0", [](TFastDIB& d) { AdjustSaturation(d, 0); }, {10, 20, 60}, {30, 30, 30}},
    // Mean 30 of (11, 20, 59); A rounds towards minus infinity: A[30] = floor(-15.5) = -16, base 46;
    // A[11] = -6, A[20] = floor(-10.5) = -11, A[59] = -30.
    {"saturation -128", [](TFastDIB& d) { AdjustSaturation(d, -128); }, {11, 20, 59}, {40, 35, 16}},
    // Mean 85: A[85] = floor(-255 * 86 / 256) = -86, base 171; A[0] = -1, A[255] = -255, limited to 0.
    {"saturation -255", [](TFastDIB& d) { AdjustSaturation(d, -255); }, {0, 0, 255}, {170, 170, 0}},
    // Far outside the control's range: A[85] = 335, base -250; A[0] = 3, A[255] = 1000.
    {"saturation 1000", [](TFastDIB& d) { AdjustSaturation(d, 1000); }, {0, 0, 255}, {0, 0, 255}},
};

bool sameColour(TFColor a, TFColor b)
{
    return a.b == b.b && a.g == b.g && a.r == b.r;
}

} // namespace

TEST(ColorEffects, EffectsGiveHandComputedPixels)
{
    for (int bpp : {24, 32})
        for (const PixelCase& c : pixelCases) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << bpp << " bits");
            TFastDIB dib;
            dib.SetSize(2, 2, quint8(bpp));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 2; ++x)
                    dib.SetPixel(y, x, c.in);
            if (bpp == 32)
                dib.Pixels32[1][1].a = 0x5A;
            c.effect(dib);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 2; ++x) {
                    const TFColor got = dib.GetPixel(y, x);
                    EXPECT_TRUE(sameColour(got, c.out)) << "row " << y << ", column " << x << ": " << int(got.b)
                                                        << ", " << int(got.g) << ", " << int(got.r);
                }
            if (bpp == 32) {
                EXPECT_EQ(dib.Pixels32[1][1].a, 0x5A) << "the fourth byte stays";
            }
        }
}

TEST(ColorEffects, PalettedImagesChangeOnlyTheirPalette)
{
    for (int bpp : {1, 4, 8})
        for (const PixelCase& c : pixelCases) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << bpp << " bits");
            TFastDIB dib;
            dib.SetSize(9, 2, quint8(bpp));
            const int used = 1 << bpp;
            for (int i = 0; i < 256; ++i) {
                dib.Colors[i].c = i < used ? c.in : TFColor{1, 2, 3};
                dib.Colors[i].a = quint8(i);
            }
            fillRandom(dib, unsigned(bpp));
            const std::vector<quint8> before = block(dib);
            c.effect(dib);
            EXPECT_EQ(block(dib), before) << "the indices stay";
            for (int i = 0; i < 256; ++i) {
                const TFColor want = i < used ? c.out : TFColor{1, 2, 3};
                ASSERT_TRUE(sameColour(dib.Colors[i].c, want)) << "entry " << i;
                ASSERT_EQ(dib.Colors[i].a, quint8(i)) << "entry " << i;
            }
            // Pixel access sees the new palette through the image's section as well.
            const TFColor got = dib.GetPixel(0, 0);
            EXPECT_TRUE(sameColour(got, c.out));
        }
}

TEST(ColorEffects, SixteenBitPixelsAreWidenedChangedAndNarrowed)
{
    struct Layout {
        int r, g, b;
    };
    for (Layout l : {Layout{5, 5, 5}, Layout{5, 6, 5}}) {
        SCOPED_TRACE(testing::Message() << l.r << "-" << l.g << "-" << l.b);
        TFastDIB dib;
        if (l.g == 5)
            dib.SetSize(3, 1, 16);
        else
            dib.SetSizeEx(3, 1, 16, 5, 6, 5);
        const int gShift = l.b, rShift = l.b + l.g;
        // Red 16 widens to 132, green 8 (5 bits) to 66 or 32 (6 bits) to 130, blue 31 to 255.
        const int g = l.g == 5 ? 8 : 32;
        const quint16 pixel = quint16(16 << rShift | g << gShift | 31);
        for (int x = 0; x < 3; ++x)
            dib.Pixels16[0][x] = pixel;
        RGBAdd(dib, 10, 0, -255);
        // Red 142 narrows to 17, green stays, blue 0.
        const quint16 want = quint16(17 << rShift | g << gShift | 0);
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(dib.Pixels16[0][x], want) << "column " << x;

        // Saturation 0: widened (132, gray, 255) to their mean, then narrowed.
        for (int x = 0; x < 3; ++x)
            dib.Pixels16[0][x] = pixel;
        AdjustSaturation(dib, 0);
        const int wideG = l.g == 5 ? 66 : 130;
        const int m = (132 + wideG + 255) / 3;
        const quint16 gray = quint16((m >> 3) << rShift | (m >> (8 - l.g)) << gShift | (m >> 3));
        EXPECT_EQ(dib.Pixels16[0][0], gray);
    }
}

TEST(ColorEffects, TablesOnSubImageChangeOnlyItsPixels)
{
    TFastDIB parent, sub;
    parent.SetSize(5, 4, 24);
    fillRandom(parent, 11);
    const std::vector<quint8> before = block(parent);
    sub.SetSubset(parent, 1, 1, 2, 2); // columns 1..2 of picture rows 1..2: memory rows 1..2
    RGBAdd(sub, 255, 255, 255);
    const std::vector<quint8> after = block(parent);
    for (int y = 0; y < 4; ++y)
        for (int i = 0; i < parent.BWidth; ++i) {
            const size_t at = size_t(y) * parent.BWidth + i;
            const bool inside = (y == 1 || y == 2) && i >= 3 && i < 9;
            ASSERT_EQ(after[at], inside ? 255 : before[at]) << "row " << y << ", byte " << i;
        }
}

TEST(ColorEffects, EffectsOnEmptyImageDoNothing)
{
    TFastDIB empty;
    RGBAdd(empty, 10, 10, 10);
    RGBContrast(empty, 10, 10, 10);
    RGBLightness(empty, 10, 10, 10);
    AdjustSaturation(empty, 0);
    EXPECT_EQ(empty.Bits, nullptr);
}
