// Every pair of depths against a per-pixel reference written here from the colour rules:
// packing with the destination's shifts, widening ((v + 1) shl (8 - n)) - 1, palettes of the
// colours met in memory order. Odd widths make every row end in padding, which must stay as it was.
#include "image/DepthConversion.h"
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace {

struct Layout {
    int bpp;
    int r = 0, g = 0, b = 0; // channel widths at 16 and 32 bits; 0 for the defaults
    const char* name = "";

    int rw() const { return r ? r : (bpp == 16 ? 5 : 8); }
    int gw() const { return g ? g : (bpp == 16 ? 5 : 8); }
    int bw() const { return b ? b : (bpp == 16 ? 5 : 8); }
    int gShl() const { return bw(); }
    int rShl() const { return bw() + gw(); }
    static int shr(int n) { return n < 8 ? 8 - n : 0; }
    bool is888() const { return rw() == 8 && gw() == 8 && bw() == 8; }
    bool paletted() const { return bpp <= 8; }
};

const Layout layouts[] = {
    {1, 0, 0, 0, "1"},
    {4, 0, 0, 0, "4"},
    {8, 0, 0, 0, "8"},
    {16, 0, 0, 0, "16 (5-5-5)"},
    {16, 5, 6, 5, "16 (5-6-5)"},
    {24, 0, 0, 0, "24"},
    {32, 0, 0, 0, "32 (8-8-8)"},
    {32, 6, 6, 6, "32 (6-6-6 masks)"},
};

void sizeDib(TFastDIB& dib, int w, int h, const Layout& l)
{
    if (l.r)
        dib.SetSizeEx(w, h, quint8(l.bpp), quint8(l.r), quint8(l.g), quint8(l.b));
    else
        dib.SetSize(w, h, quint8(l.bpp));
}

size_t pixelBytesPerRow(int w, int bpp)
{
    return (size_t(w) * bpp + 7) / 8;
}

// Raw pixel value: index, 16-bit value, b | g << 8 | r << 16, or the 32-bit value.
quint32 rawAt(const TFastDIB& dib, int bpp, int y, int x)
{
    const auto* row = static_cast<const quint8*>(dib.Scanlines[y]);
    switch (bpp) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
    case 8: return row[x];
    case 16: return quint32(row[2 * x]) | quint32(row[2 * x + 1]) << 8;
    case 24: return quint32(row[3 * x]) | quint32(row[3 * x + 1]) << 8 | quint32(row[3 * x + 2]) << 16;
    default:
        return quint32(row[4 * x]) | quint32(row[4 * x + 1]) << 8 | quint32(row[4 * x + 2]) << 16
            | quint32(row[4 * x + 3]) << 24;
    }
}

void setRaw(TFastDIB& dib, int bpp, int y, int x, quint32 v)
{
    auto* row = static_cast<quint8*>(dib.Scanlines[y]);
    switch (bpp) {
    case 1: row[x / 8] = quint8((row[x / 8] & ~(0x80 >> x % 8)) | ((v & 1) << (7 - x % 8))); break;
    case 4:
        row[x / 2] = x % 2 ? quint8((row[x / 2] & 0xF0) | (v & 15)) : quint8((row[x / 2] & 0x0F) | ((v & 15) << 4));
        break;
    case 8: row[x] = quint8(v); break;
    case 16: row[2 * x] = quint8(v), row[2 * x + 1] = quint8(v >> 8); break;
    case 24: row[3 * x] = quint8(v), row[3 * x + 1] = quint8(v >> 8), row[3 * x + 2] = quint8(v >> 16); break;
    default: std::memcpy(row + 4 * x, &v, 4); break;
    }
}

quint32 bgr(quint32 b, quint32 g, quint32 r)
{
    return (b & 255) | (g & 255) << 8 | (r & 255) << 16;
}

// ---- the colour rules, written from their description ------------------------------------------

quint32 widenRef(quint32 p, int n, int position)
{
    const quint32 v = (p >> position) & ((1u << n) - 1);
    return n >= 8 ? (v & 255) : ((((v + 1) << (8 - n)) - 1) & 255);
}

// b | g << 8 | r << 16 of a 16- or 32-bit pixel, widened.
quint32 widenedColour(quint32 p, const Layout& l)
{
    return bgr(widenRef(p, l.bw(), 0), widenRef(p, l.gw(), l.gShl()), widenRef(p, l.rw(), l.rShl()));
}

// GetPixel's bit replication of an n-bit channel.
quint32 replicate(quint32 v, int n)
{
    switch (n) {
    case 1: return v ? 255 : 0;
    case 2: return v * 64 + v * 16 + v * 4 + v;
    case 3: return v * 32 + v * 4 + v / 2;
    case 4: return v * 16 + v;
    case 5: return v * 8 + v / 4;
    case 6: return v * 4 + v / 16;
    case 7: return v * 2 + v / 64;
    default: return v & 255;
    }
}

quint32 replicatedColour(quint32 p, const Layout& l)
{
    auto channel = [p](int n, int pos) { return replicate((p >> pos) & ((1u << n) - 1), n); };
    return bgr(channel(l.bw(), 0), channel(l.gw(), l.gShl()), channel(l.rw(), l.rShl()));
}

quint32 packRef(quint32 colour, const Layout& l)
{
    const quint32 b = colour & 255, g = (colour >> 8) & 255, r = (colour >> 16) & 255;
    return (r >> Layout::shr(l.rw())) << l.rShl() | (g >> Layout::shr(l.gw())) << l.gShl() | (b >> Layout::shr(l.bw()));
}

// ---- one conversion, expected ------------------------------------------------------------------

struct Expected {
    std::vector<quint32> pixels;  // raw destination values, memory row by row
    std::vector<quint32> palette; // 256 entries; only checked for paletted destinations
};

Expected reference(const TFastDIB& src, const Layout& s, const TFastDIB& dstBefore, const Layout& d)
{
    const int w = src.Info.Header.Width, h = src.AbsHeight;
    Expected e;
    e.palette.resize(256);
    for (int i = 0; i < 256; ++i)
        e.palette[i] = dstBefore.Colors[i].i;
    auto srcPalette = [&](quint32 index) { return src.Colors[index].i & 0xFFFFFF; };

    // Palette of the colours met, with the index a colour gets once it is full.
    std::map<quint32, quint32> met;
    quint32 first = 0, second = 0;
    bool haveSecond = false;
    if (d.bpp == 1 && !s.paletted()) {
        first = rawAt(src, s.bpp, 0, 0);
        for (int y = 0; y < h && !haveSecond; ++y)
            for (int x = 0; x < w && !haveSecond; ++x)
                if (rawAt(src, s.bpp, y, x) != first)
                    second = rawAt(src, s.bpp, y, x), haveSecond = true;
        auto entry = [&](quint32 v) { return s.bpp == 24 ? v : widenedColour(v, s); };
        e.palette[0] = entry(first);
        e.palette[1] = entry(haveSecond ? second : first);
    }
    if (d.paletted() && s.paletted()) {
        for (int i = 0; i < (1 << std::min(s.bpp, d.bpp)); ++i)
            e.palette[i] = src.Colors[i].i;
    }

    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const quint32 p = rawAt(src, s.bpp, y, x);
            quint32 v = 0;
            if (s.bpp == d.bpp) {
                v = p;
            } else if (d.paletted() && s.paletted()) {
                v = p & ((1u << d.bpp) - 1);
            } else if (d.bpp == 1) {
                v = haveSecond && p == second ? 1 : 0;
            } else if (d.paletted()) {
                const quint32 key = s.bpp == 32 ? (p & 0xFFFFFF) : p;
                auto it = met.find(key);
                if (it != met.end()) {
                    v = it->second;
                } else if (met.size() < (d.bpp == 4 ? 16u : 256u)) {
                    v = quint32(met.size());
                    met[key] = v;
                    if (s.bpp == 24)
                        e.palette[v] = p;
                    else if (s.bpp == 16)
                        e.palette[v] = d.bpp == 4 ? replicatedColour(p, s) : widenedColour(p, s);
                    else
                        e.palette[v] = d.bpp == 4 ? p : widenedColour(p, s);
                } else {
                    v = d.bpp == 4 ? 15 : (s.bpp == 16 ? 255 : 0);
                }
            } else {
                // Direct destination: the colour as bytes b, g, r first.
                quint32 colour = 0;
                if (s.paletted())
                    colour = srcPalette(p);
                else if (s.bpp == 24)
                    colour = p;
                else if (s.bpp == 32 && d.bpp == 24 && s.is888())
                    colour = p & 0xFFFFFF;
                else
                    colour = widenedColour(p, s);

                if (d.bpp == 24)
                    v = colour;
                else if (d.bpp == 16)
                    v = packRef(colour, d);
                else if (s.bpp == 16 && p == 0)
                    v = 0;
                else if (s.bpp == 24 && d.is888())
                    v = colour | (rawAt(dstBefore, 32, y, x) & 0xFF000000u); // fourth byte kept
                else
                    v = packRef(colour, d);
            }
            e.pixels.push_back(v);
        }
    }
    return e;
}

// ---- fixtures ----------------------------------------------------------------------------------

// Source pixels: paletted sources use the indices the destination can take (0 and 1 into 1 bit,
// 0..15 from 8 into 4 bits); direct sources draw from a pool small enough that 1-bit
// destinations see a third colour and 4- and 8-bit destinations run out of entries.
void fillSource(TFastDIB& src, const Layout& s, const Layout& d, std::mt19937& rng)
{
    if (s.paletted()) // at 16 and 32 bits the first entries are the masks
        for (int i = 0; i < 256; ++i)
            src.Colors[i].i = quint32(rng());
    quint32 indexMask = (1u << std::min(s.bpp, 8)) - 1;
    if (s.paletted() && d.bpp == 1)
        indexMask = 1;
    else if (s.bpp == 8 && d.bpp == 4)
        indexMask = 15;
    const size_t poolSize = d.bpp == 1 ? 3 : (d.bpp == 4 ? 20 : 300);
    std::vector<quint32> pool(poolSize);
    for (quint32& v : pool)
        v = quint32(rng());
    pool.push_back(0); // the 16-bit value 0 takes its own route into 32 bits

    const int w = src.Info.Header.Width;
    for (int y = 0; y < src.AbsHeight; ++y) {
        auto* row = static_cast<quint8*>(src.Scanlines[y]);
        for (int i = 0; i < src.BWidth; ++i) // padding gets junk too: it must not be read
            row[i] = quint8(rng());
        for (int x = 0; x < w; ++x) {
            quint32 v = s.paletted() ? quint32(rng()) & indexMask : pool[rng() % pool.size()];
            if (s.bpp == 16)
                v &= 0xFFFF;
            if (s.bpp == 24)
                v &= 0xFFFFFF;
            setRaw(src, s.bpp, y, x, v);
        }
    }
}

void fillPattern(TFastDIB& dib, quint8 value)
{
    for (int y = 0; y < dib.AbsHeight; ++y)
        std::memset(dib.Scanlines[y], value, size_t(dib.BWidth));
    if (dib.Info.Header.BitCount <= 8) // at 16 and 32 bits the first entries are the masks
        for (int i = 0; i < 256; ++i)
            dib.Colors[i].i = 0xC3C3C3C3u;
}

struct Size {
    int w, h;
};

// 41 × 19 meets more than 256 of the pool's 300 colours.
constexpr Size sizes[] = {{1, 1}, {5, 3}, {10, 2}, {13, 4}, {41, 19}};

std::string layoutName(const Layout& l)
{
    return l.name;
}

class DepthConversionPairs : public ::testing::TestWithParam<std::tuple<Layout, Layout>> {};

TEST_P(DepthConversionPairs, MatchesTheColourRulesPixelByPixel)
{
    const auto& [s, d] = GetParam();
    std::mt19937 rng(1234 + s.bpp * 7 + d.bpp);
    for (const Size& size : sizes) {
        SCOPED_TRACE(::testing::Message() << size.w << "x" << size.h);
        TFastDIB src, dst;
        sizeDib(src, size.w, size.h, s);
        sizeDib(dst, size.w, size.h, d);
        ASSERT_TRUE(src.Scanlines && dst.Scanlines);
        fillSource(src, s, d, rng);
        fillPattern(dst, 0xC3);

        TFastDIB before;
        sizeDib(before, size.w, size.h, d);
        for (int y = 0; y < dst.AbsHeight; ++y)
            std::memcpy(before.Scanlines[y], dst.Scanlines[y], size_t(dst.BWidth));
        std::memcpy(before.Colors, dst.Colors, sizeof(TFColorTable));

        const Expected e = reference(src, s, before, d);
        ConvertPixels(src, dst);

        size_t i = 0;
        for (int y = 0; y < size.h; ++y) {
            for (int x = 0; x < size.w; ++x, ++i) {
                const quint32 got = rawAt(dst, d.bpp, y, x);
                ASSERT_EQ(got, e.pixels[i]) << "first difference at memory row " << y << ", column " << x << std::hex
                                            << ": got 0x" << got << ", expected 0x" << e.pixels[i];
            }
            // Row padding is neither read as pixels nor written.
            const size_t used = pixelBytesPerRow(size.w, d.bpp);
            const auto* row = static_cast<const quint8*>(dst.Scanlines[y]);
            for (size_t b = used; b < size_t(dst.BWidth); ++b)
                ASSERT_EQ(row[b], 0xC3) << "padding byte " << b << " of memory row " << y;
        }
        if (d.paletted() && s.bpp != d.bpp) {
            for (int k = 0; k < 256; ++k)
                ASSERT_EQ(dst.Colors[k].i, e.palette[k]) << "palette entry " << k << std::hex << ": got 0x"
                                                         << dst.Colors[k].i << ", expected 0x" << e.palette[k];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllDepths, DepthConversionPairs,
                         ::testing::Combine(::testing::ValuesIn(layouts), ::testing::ValuesIn(layouts)),
                         [](const auto& info) {
                             std::string name = layoutName(std::get<0>(info.param)) + "_to_"
                                 + layoutName(std::get<1>(info.param));
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

// ---- the cases the rules single out ------------------------------------------------------------

TEST(DepthConversion, ColoursBeyondThe256thGetIndex0)
{
    // 300 distinct colours; the first 256 met from the bottom row upward get 0..255 in order.
    TFastDIB src, dst;
    src.SetSize(20, 15, 24);
    dst.SetSize(20, 15, 8);
    for (int k = 0; k < 300; ++k)
        src.Pixels24[k / 20][k % 20] = TFColor{quint8(k), quint8(k >> 8), 77};
    ConvertPixels(src, dst);
    for (int k = 0; k < 300; ++k) {
        ASSERT_EQ(dst.Pixels8[k / 20][k % 20], k < 256 ? k : 0) << "pixel " << k;
        if (k < 256) {
            ASSERT_EQ(dst.Colors[k].i, quint32(k) | quint32(k >> 8) << 8 | 77u << 16) << "entry " << k;
        }
    }
}

TEST(DepthConversion, TwoColoursMetFirstMakeTheOneBitPalette)
{
    const TFColor A{1, 2, 3}, B{40, 50, 60}, C{200, 100, 0};
    const TFColor pixels[2][5] = {{A, A, B, C, A}, {C, B, A, B, C}}; // B is met before C
    TFastDIB src, dst;
    src.SetSize(5, 2, 24);
    dst.SetSize(5, 2, 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x)
            src.Pixels24[y][x] = pixels[y][x];
    ConvertPixels(src, dst);
    EXPECT_EQ(dst.Colors[0].i, 0x030201u);
    EXPECT_EQ(dst.Colors[1].i, 0x3C3228u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            const TFColor c = pixels[y][x];
            const bool isB = c.b == B.b && c.g == B.g && c.r == B.r;
            EXPECT_EQ(rawAt(dst, 1, y, x), isB ? 1u : 0u) << "row " << y << ", column " << x;
        }
}

TEST(DepthConversion, OneColourIntoOneBitGivesAllZero)
{
    TFastDIB src, dst;
    src.SetSize(9, 2, 24);
    dst.SetSize(9, 2, 1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 9; ++x)
            src.Pixels24[y][x] = TFColor{9, 8, 7};
    fillPattern(dst, 0xFF);
    ConvertPixels(src, dst);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(rawAt(dst, 1, y, x), 0u);
    EXPECT_EQ(dst.Colors[0].i, 0x070809u);
    EXPECT_EQ(dst.Colors[1].i, 0x070809u);
}

TEST(DepthConversion, FiveFiveFiveExtremesWiden)
{
    struct Case {
        quint16 pixel;
        int bpp;
        quint32 expected; // 24 bits: b | g << 8 | r << 16; 32 bits: the value
    };
    const Case cases[] = {
        {0x0000, 24, 0x070707}, {0x7FFF, 24, 0xFFFFFF}, {0x0000, 32, 0}, {0x7FFF, 32, 0xFFFFFF},
        {0x001F, 24, 0x0707FF}, // blue only
    };
    for (const Case& c : cases) {
        TFastDIB src, dst;
        src.SetSize(1, 1, 16);
        dst.SetSize(1, 1, quint8(c.bpp));
        src.Pixels16[0][0] = c.pixel;
        ConvertPixels(src, dst);
        EXPECT_EQ(rawAt(dst, c.bpp, 0, 0), c.expected) << std::hex << c.pixel << " into " << std::dec << c.bpp;
    }
}

TEST(DepthConversion, EightBitsInto32GiveBlueGreenRedZero)
{
    TFastDIB src, dst;
    src.SetSize(3, 1, 8);
    dst.SetSize(3, 1, 32);
    src.Colors[5].i = 0xAA112233u; // a fourth palette byte does not reach the pixel
    src.Pixels8[0][1] = 5;
    fillPattern(dst, 0xEE);
    ConvertPixels(src, dst);
    const TFColorA p = dst.Pixels32[0][1];
    EXPECT_EQ(p.b, 0x33);
    EXPECT_EQ(p.g, 0x22);
    EXPECT_EQ(p.r, 0x11);
    EXPECT_EQ(p.a, 0);
}

TEST(DepthConversion, SmallerDestinationTakesTheCommonArea)
{
    TFastDIB src, dst;
    src.SetSize(9, 6, 24);
    dst.SetSize(4, 3, 32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x)
            src.Pixels24[y][x] = TFColor{quint8(x), quint8(y), 1};
    ConvertPixels(src, dst);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(dst.Pixels32[y][x].i, quint32(x) | quint32(y) << 8 | 1u << 16);

    TFastDIB wide;
    wide.SetSize(12, 8, 8);
    ConvertPixels(src, wide); // a larger destination is written only where the source reaches
    EXPECT_EQ(wide.Pixels8[7][11], 0);
}

// ---- SetPixelDepth -----------------------------------------------------------------------------

TEST(SetPixelDepth, SameDepthKeepsTheBuffer)
{
    TFastDIB dib;
    dib.SetSize(5, 3, 24);
    dib.Pixels24[1][2] = TFColor{1, 2, 3};
    const quint8* bits = dib.Bits;
    SetPixelDepth(dib, 24);
    EXPECT_EQ(dib.Bits, bits);
    EXPECT_EQ(dib.Pixels24[1][2].r, 3);
}

TEST(SetPixelDepth, BringsEveryDepthTo24Bits)
{
    std::mt19937 rng(77);
    const Layout to24{24, 0, 0, 0, "24"};
    for (const Layout& s : layouts) {
        if (s.bpp == 24)
            continue;
        SCOPED_TRACE(s.name);
        TFastDIB dib;
        sizeDib(dib, 7, 3, s);
        fillSource(dib, s, to24, rng);
        TFastDIB dst24;
        dst24.SetSize(7, 3, 24);
        const Expected e = reference(dib, s, dst24, to24);

        SetPixelDepth(dib, 24);
        ASSERT_EQ(dib.Info.Header.BitCount, 24);
        EXPECT_EQ(dib.Info.Header.Width, 7);
        EXPECT_EQ(dib.Info.Header.Height, 3);
        ASSERT_NE(dib.Scanlines, nullptr);
        for (int y = 0, i = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x, ++i)
                ASSERT_EQ(rawAt(dib, 24, y, x), e.pixels[i]) << "row " << y << ", column " << x;
    }
}

TEST(SetPixelDepth, RefusesDepthsThatDoNotExist)
{
    for (int bpp : {0, 2, 15, 33}) {
        TFastDIB dib;
        dib.SetSize(3, 2, 8);
        const quint8* bits = dib.Bits;
        SetPixelDepth(dib, quint8(bpp));
        EXPECT_EQ(dib.Info.Header.BitCount, 8) << bpp;
        EXPECT_EQ(dib.Bits, bits) << bpp;
    }
}

} // namespace
