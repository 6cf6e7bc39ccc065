// TFastDIB: sizing, masks, pixel access, copying, filling, palettes, sub-images and drawing.
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

TFColor rgb(int r, int g, int b) { return TFColor{quint8(b), quint8(g), quint8(r)}; }
bool same(const TFColor& a, const TFColor& b) { return a.b == b.b && a.g == b.g && a.r == b.r; }
std::string str(const TFColor& c)
{
    return "(r" + std::to_string(c.r) + " g" + std::to_string(c.g) + " b" + std::to_string(c.b) + ")";
}

// Bit replication written out as repetition of the bit pattern, independent of the class's table.
int repeatBits(int v, int n)
{
    if (n == 0)
        return 0;
    int out = 0, filled = 0;
    while (filled < 8) {
        out = (out << n) | v;
        filled += n;
    }
    return out >> (filled - 8);
}

// Nearest entry by |db| + |dg| + |dr|, the lower index on ties.
int nearestOf(const TFColorA* pal, int n, TFColor c)
{
    int best = -1, bestD = 1 << 30;
    for (int i = 0; i < n; ++i) {
        const int d = std::abs(pal[i].b - c.b) + std::abs(pal[i].g - c.g) + std::abs(pal[i].r - c.r);
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

void grayPalette(TFastDIB& d)
{
    for (int i = 0; i < 256; ++i) {
        d.Colors[i].b = d.Colors[i].g = d.Colors[i].r = quint8(i);
        d.Colors[i].a = 0;
    }
    d.UpdateColors();
}

// ---- sizing -------------------------------------------------------------------------------------

TEST(TFastDIB, RowWidthsAndGapsPerDepth)
{
    struct Case {
        int bpp, width, bwidth, gap;
    } cases[] = {
        {1, 10, 4, 2},  {1, 32, 4, 0},  {1, 33, 8, 3},   {4, 3, 4, 2},   {4, 8, 4, 0},  {4, 9, 8, 3},
        {8, 5, 8, 3},   {8, 8, 8, 0},   {16, 3, 8, 2},   {16, 2, 4, 0},  {24, 1, 4, 1}, {24, 4, 12, 0},
        {24, 5, 16, 1}, {32, 3, 12, 0}, {24, 0, 0, 0},
    };
    for (bool gdi : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "gdi " << gdi << ", " << c.bpp << " bits, width " << c.width);
            TFastDIB d;
            d.UseGDI = gdi;
            d.SetSize(c.width, 3, quint8(c.bpp));
            EXPECT_EQ(d.BWidth, c.bwidth);
            EXPECT_EQ(d.Gap, c.gap);
            EXPECT_EQ(d.AbsHeight, 3);
            EXPECT_EQ(d.Info.Header.SizeImage, quint32(3 * c.bwidth));
            EXPECT_EQ(d.Info.Header.BitCount, c.bpp);
            EXPECT_EQ(d.Info.Header.Size, 40u);
            EXPECT_EQ(d.Info.Header.Planes, 1);
            if (c.width == 0)
                continue;
            ASSERT_NE(d.Bits, nullptr);
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(d.Scanlines[i], d.Bits + i * c.bwidth);
            EXPECT_EQ(d.Pixels24[2], reinterpret_cast<TFColor*>(d.Bits + 2 * c.bwidth));
            EXPECT_EQ(d.hDC != nullptr, gdi);
            EXPECT_EQ(d.FreeDC, gdi);
            EXPECT_EQ(d.FreeHandle, gdi);
            EXPECT_EQ(d.FreeBits, !gdi);
            // New buffers start zero-filled, padding included.
            for (int i = 0; i < 3 * c.bwidth; ++i)
                ASSERT_EQ(d.Bits[i], 0) << "byte " << i;
        }
    }
}

// Byte counts of a real scan pass 2^31; the row table must not wrap.
TEST(TFastDIB, SizesOfLargeScansUse64BitOffsets)
{
    quint8 pixels[16] = {};
    TFastDIB d;
    d.SetInterface(pixels, 40000, 30000, 24, 0, 0, 0);
    EXPECT_EQ(d.BWidth, 120000);
    EXPECT_EQ(d.Info.Header.SizeImage, 3600000000u);
    const auto offset = [&](int row) {
        return qint64(reinterpret_cast<quintptr>(d.Scanlines[row]) - reinterpret_cast<quintptr>(d.Bits));
    };
    EXPECT_EQ(offset(29999), qint64(29999) * 120000);
    EXPECT_EQ(offset(17896), qint64(17896) * 120000); // first row past 2^31
    EXPECT_FALSE(d.FreeBits); // borrowed: destruction frees the row table only
}

TEST(TFastDIB, ImagesWiderThan32767Pixels)
{
    TFastDIB src, dst;
    src.SetSize(40000, 3, 24);
    dst.SetSize(40000, 3, 24);
    ASSERT_NE(src.Bits, nullptr);
    src.SetPixel(1, 39999, rgb(1, 2, 3));
    src.SetPixel(1, 33000, rgb(4, 5, 6));
    dst.CopyRect(src, 32800, 0, 7200, 3, 32800, 0);
    EXPECT_TRUE(same(dst.GetPixel(1, 39999), rgb(1, 2, 3)));
    EXPECT_TRUE(same(dst.GetPixel(1, 33000), rgb(4, 5, 6)));
    dst.SetBrush(BS_SOLID, 0, RGB(9, 8, 7));
    dst.FillRect(RECT{39990, 0, 40000, 1}); // picture row 0 is memory row 2
    EXPECT_TRUE(same(dst.GetPixel(2, 39995), rgb(9, 8, 7)));
    EXPECT_TRUE(same(dst.GetPixel(2, 39989), rgb(0, 0, 0)));
}

TEST(TFastDIB, MasksAndCompression)
{
    struct Case {
        const char* name;
        int bpp, r, g, b; // widths given to SetSizeEx; all 0: SetSize
        quint32 rMask, gMask, bMask, compression;
        int rShl, gShl, rShr, gShr, bShr;
    } cases[] = {
        {"16 plain", 16, 0, 0, 0, 0x7C00, 0x03E0, 0x001F, 0, 10, 5, 3, 3, 3},
        {"16 5-6-5", 16, 5, 6, 5, 0xF800, 0x07E0, 0x001F, 3, 11, 5, 3, 2, 3},
        {"16 5-5-5 explicit", 16, 5, 5, 5, 0x7C00, 0x03E0, 0x001F, 3, 10, 5, 3, 3, 3},
        {"32 plain", 32, 0, 0, 0, 0x00FF0000, 0x0000FF00, 0x000000FF, 0, 16, 8, 0, 0, 0},
        {"32 16-8-8", 32, 16, 8, 8, 0xFFFF0000, 0x0000FF00, 0x000000FF, 3, 16, 8, 0, 0, 0},
        {"32 10-10-10", 32, 10, 10, 10, 0x3FF00000, 0x000FFC00, 0x000003FF, 3, 20, 10, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB d;
        if (c.r || c.g || c.b)
            d.SetSizeEx(4, 2, quint8(c.bpp), quint8(c.r), quint8(c.g), quint8(c.b));
        else
            d.SetSize(4, 2, quint8(c.bpp));
        EXPECT_EQ(d.Info.RMask, c.rMask);
        EXPECT_EQ(d.Info.GMask, c.gMask);
        EXPECT_EQ(d.Info.BMask, c.bMask);
        EXPECT_EQ(d.Info.Header.Compression, c.compression);
        EXPECT_EQ(d.RShl, c.rShl);
        EXPECT_EQ(d.GShl, c.gShl);
        EXPECT_EQ(d.BShl, 0);
        EXPECT_EQ(d.RShr, c.rShr);
        EXPECT_EQ(d.GShr, c.gShr);
        EXPECT_EQ(d.BShr, c.bShr);

        // The same layout through a bitmap info: widths come back from the mask runs.
        TFastDIB again;
        again.SetSizeIndirect(d.Info);
        EXPECT_EQ(again.Info.RMask, c.rMask);
        EXPECT_EQ(again.Info.GMask, c.gMask);
        EXPECT_EQ(again.Info.BMask, c.bMask);
        EXPECT_EQ(again.Info.Header.Compression, c.compression);
    }

    // Depth 0 is the screen's: 32 bits with 8-8-8 masks.
    TFastDIB screen;
    screen.SetSize(2, 2, 0);
    EXPECT_EQ(screen.Info.Header.BitCount, 32);
    EXPECT_EQ(screen.Info.Header.Compression, 3u);
    EXPECT_EQ(screen.Info.RMask, 0x00FF0000u);

    // Run-length data counts as masked when the first colour words hold masks.
    TBMInfo info{};
    info.Header.Size = 40;
    info.Header.Width = 3;
    info.Header.Height = 2;
    info.Header.BitCount = 16;
    info.Header.Compression = 1;
    info.RMask = 0xF800;
    info.GMask = 0x07E0;
    info.BMask = 0x001F;
    TFastDIB rle;
    rle.SetSizeIndirect(info);
    EXPECT_EQ(rle.Info.Header.Compression, 3u);
    EXPECT_EQ(rle.Bpg, 6);
    // A paletted info brings its palette.
    info.Header.BitCount = 8;
    info.Header.Compression = 0;
    info.Colors[200].r = 77;
    rle.SetSizeIndirect(info);
    EXPECT_EQ(rle.Colors[200].r, 77);
}

TEST(TFastDIB, SetSizeKeepsTheBufferOnlyWhenNothingChanges)
{
    TFastDIB d;
    d.SetSize(5, 4, 24);
    d.SetPixel(1, 2, rgb(10, 20, 30));
    quint8* bits = d.Bits;
    HDC dc = d.hDC;
    d.SetSize(5, 4, 24);
    EXPECT_EQ(d.Bits, bits);
    EXPECT_EQ(d.hDC, dc);
    EXPECT_TRUE(same(d.GetPixel(1, 2), rgb(10, 20, 30)));

    struct Change {
        const char* name;
        int w, h, bpp;
    } changes[] = {{"height", 5, 5, 24}, {"row order", 5, -4, 24}, {"depth", 5, 4, 32}};
    for (const Change& c : changes) {
        SCOPED_TRACE(c.name);
        d.SetSize(5, 4, 24);
        d.SetPixel(1, 2, rgb(10, 20, 30));
        d.SetSize(c.w, c.h, quint8(c.bpp));
        EXPECT_TRUE(same(d.GetPixel(1, 2), rgb(0, 0, 0))) << "a new buffer starts zero-filled";
    }

    // Heap images are always re-made.
    TFastDIB heap;
    heap.UseGDI = false;
    heap.SetSize(5, 4, 24);
    heap.SetPixel(1, 2, rgb(10, 20, 30));
    heap.SetSize(5, 4, 24);
    EXPECT_TRUE(same(heap.GetPixel(1, 2), rgb(0, 0, 0)));
}

// ---- pixel access ---------------------------------------------------------------------------------

TEST(TFastDIB, GetPixelReplicatesChannelBits)
{
    // Every value of every channel width 1..8, each width placed as red, green and blue in turn.
    for (int n = 1; n <= 8; ++n) {
        for (int channel = 0; channel < 3; ++channel) {
            const int widths[3] = {channel == 0 ? n : 8, channel == 1 ? n : 8, channel == 2 ? n : 8};
            TFastDIB d;
            d.SetSizeEx(1, 1, 32, quint8(widths[0]), quint8(widths[1]), quint8(widths[2]));
            const int shift = channel == 0 ? d.RShl : channel == 1 ? d.GShl : 0;
            for (int v = 0; v < (1 << n); ++v) {
                d.Pixels32[0][0].i = quint32(v) << shift;
                const TFColor c = d.GetPixel(0, 0);
                const int got = channel == 0 ? c.r : channel == 1 ? c.g : c.b;
                ASSERT_EQ(got, repeatBits(v, n)) << "width " << n << ", channel " << channel << ", value " << v;
            }
        }
    }
    TFastDIB d565;
    d565.SetSizeEx(1, 1, 16, 5, 6, 5);
    d565.Pixels16[0][0] = 0xFFFF;
    EXPECT_TRUE(same(d565.GetPixel(0, 0), rgb(255, 255, 255)));
    d565.Pixels16[0][0] = quint16(16 << 11);
    EXPECT_EQ(d565.GetPixel(0, 0).r, 132);
}

TEST(TFastDIB, SetPixelWritesEachDepthsLayout)
{
    const TFColor c = rgb(200, 100, 50);
    struct Case {
        const char* name;
        std::function<void(TFastDIB&)> size;
        std::function<quint32(const TFastDIB&)> raw; // pixel (0, 1) as stored
        quint32 expected;
    } cases[] = {
        {"16 5-5-5", [](TFastDIB& d) { d.SetSize(3, 2, 16); },
         [](const TFastDIB& d) { return quint32(d.Pixels16[0][1]); },
         quint32((200 >> 3) << 10 | (100 >> 3) << 5 | (50 >> 3))},
        {"16 5-6-5", [](TFastDIB& d) { d.SetSizeEx(3, 2, 16, 5, 6, 5); },
         [](const TFastDIB& d) { return quint32(d.Pixels16[0][1]); },
         quint32((200 >> 3) << 11 | (100 >> 2) << 5 | (50 >> 3))},
        {"24", [](TFastDIB& d) { d.SetSize(3, 2, 24); },
         [](const TFastDIB& d) {
             const quint8* p = d.Pixels8[0] + 3;
             return quint32(p[0] | p[1] << 8 | p[2] << 16);
         },
         0xC86432u},
        {"32 keeps its fourth byte",
         [](TFastDIB& d) {
             d.SetSize(3, 2, 32);
             d.Pixels32[0][1].a = 0xAB;
         },
         [](const TFastDIB& d) { return d.Pixels32[0][1].i; }, 0xABC86432u},
        {"32 masked replaces the whole pixel",
         [](TFastDIB& d) {
             d.SetSizeEx(3, 2, 32, 8, 8, 8);
             d.Pixels32[0][1].a = 0xAB;
         },
         [](const TFastDIB& d) { return d.Pixels32[0][1].i; }, 0x00C86432u},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TFastDIB d;
        k.size(d);
        d.SetPixel(0, 1, c);
        EXPECT_EQ(k.raw(d), k.expected);
        EXPECT_EQ(d.Pixels8[0][0], 0) << "the neighbour stays";
    }

    // Sub-byte depths keep the other pixels of a shared byte.
    struct SubByte {
        int bpp, x;
        quint8 index, byte0, byte1;
    } subs[] = {{1, 0, 1, 0x80, 0}, {1, 9, 1, 0, 0x40}, {4, 0, 5, 0x50, 0}, {4, 3, 7, 0, 0x07}};
    for (const SubByte& s : subs) {
        SCOPED_TRACE(testing::Message() << s.bpp << " bits, x " << s.x);
        TFastDIB d;
        d.SetSize(16, 1, quint8(s.bpp));
        d.SetPixelB(0, s.x, s.index);
        EXPECT_EQ(d.Pixels8[0][0], s.byte0);
        EXPECT_EQ(d.Pixels8[0][1], s.byte1);
        EXPECT_EQ(d.GetPixelB(0, s.x), s.index);
        d.SetPixelB(0, s.x ^ 1, 1); // the neighbour in the same byte
        EXPECT_EQ(d.GetPixelB(0, s.x), s.index);
    }
}

TEST(TFastDIB, NearestPaletteEntry)
{
    TFastDIB d;
    d.SetSize(2, 1, 8);
    for (int i = 0; i < 256; ++i)
        d.Colors[i].i = 0x00FFFFFF; // white everywhere
    d.Colors[3].c = rgb(10, 10, 10);
    d.Colors[7].c = rgb(10, 10, 10); // a duplicate further on
    d.Colors[9].c = rgb(200, 0, 0);
    struct Case {
        TFColor c;
        int index;
    } cases[] = {
        {rgb(10, 10, 10), 3},  // exact, the lower of two equal entries
        {rgb(12, 9, 10), 3},   // near
        {rgb(190, 5, 0), 9},   // |10| + |5| + 0
        {rgb(250, 250, 250), 0}, // white: entry 0 is the first white
        {rgb(0, 0, 0), 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(d.NearestPaletteIndex(c.c), c.index) << str(c.c);
        d.SetPixel(0, 1, c.c);
        EXPECT_EQ(d.Pixels8[0][1], c.index);
    }
    // No entry below the largest distance: entry 0.
    for (int i = 0; i < 256; ++i)
        d.Colors[i].i = 0x00FFFFFF;
    EXPECT_EQ(d.NearestPaletteIndex(rgb(0, 0, 0)), 0);
    // A 1-bit image looks at entries 0 and 1 only.
    TFastDIB mono;
    mono.SetSize(8, 1, 1);
    mono.Colors[0].c = rgb(0, 0, 0);
    mono.Colors[1].c = rgb(255, 255, 255);
    mono.Colors[2].c = rgb(120, 120, 120);
    EXPECT_EQ(mono.NearestPaletteIndex(rgb(120, 120, 120)), 0);
    EXPECT_EQ(mono.NearestPaletteIndex(rgb(130, 130, 130)), 1);
}

// ---- copying ----------------------------------------------------------------------------------------

// Source pixels differ everywhere: a colour from the picture position.
TFColor patternAt(int px, int py) { return rgb(px * 20 + 5, py * 30 + 7, (px + py) * 11); }

// Fills an image at any depth through picture coordinates (bottom-up: memory row = H - 1 - y).
void paintPattern(TFastDIB& d)
{
    for (int py = 0; py < d.AbsHeight; ++py)
        for (int px = 0; px < d.Info.Header.Width; ++px)
            d.SetPixel(d.AbsHeight - 1 - py, px, patternAt(px, py));
}

TEST(TFastDIB, CopyRectClipsInPictureCoordinates)
{
    constexpr int SW = 7, SH = 6, DW = 8, DH = 5;
    struct Case {
        const char* name;
        int x, y, w, h, sx, sy;
    } cases[] = {
        {"inside", 1, 1, 3, 2, 2, 3},
        {"x = -5 starts 5 columns further right", -5, 0, 8, 3, 0, 0},
        {"negative y", 2, -2, 4, 4, 1, 1},
        {"negative sx", 0, 0, 5, 2, -3, 0},
        {"negative sy", 0, 0, 3, 4, 0, -2},
        {"larger than both", -1, -1, 50, 50, 0, 0},
        {"bottom-right corner", 6, 3, 5, 5, 5, 4},
        {"wholly right of the destination", DW, 0, 3, 3, 0, 0},
        {"wholly below the source", 0, 0, 3, 3, 0, SH},
        {"left of the source", 0, 0, 3, 3, -3, 0},
        {"zero width", 0, 0, 0, 3, 0, 0},
        {"negative size", 2, 2, -4, -4, 1, 1},
        {"clipped to nothing by both offsets", -4, 0, 3, 2, -1, 0},
    };
    struct Depths {
        int src, dst;
    } depths[] = {{24, 24}, {32, 32}, {24, 32}, {32, 24}, {16, 24}};
    const TFColor background = rgb(1, 2, 3);
    for (const Depths& dep : depths) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << dep.src << " -> " << dep.dst << " bits: " << c.name);
            TFastDIB src, dst;
            src.SetSize(SW, SH, quint8(dep.src));
            dst.SetSize(DW, DH, quint8(dep.dst));
            paintPattern(src);
            dst.Clear(background);
            dst.CopyRect(src, c.x, c.y, c.w, c.h, c.sx, c.sy);
            // Reference: every destination pixel of the rectangle whose source pixel exists.
            for (int py = 0; py < DH; ++py) {
                for (int px = 0; px < DW; ++px) {
                    const int i = py - c.y, j = px - c.x;
                    const int spx = c.sx + j, spy = c.sy + i;
                    const bool copied =
                        i >= 0 && i < c.h && j >= 0 && j < c.w && spx >= 0 && spx < SW && spy >= 0 && spy < SH;
                    const TFColor want = copied ? src.GetPixel(SH - 1 - spy, spx) : background;
                    const TFColor got = dst.GetPixel(DH - 1 - py, px);
                    ASSERT_TRUE(same(got, want)) << "first difference at picture row " << py << ", column " << px
                                                 << ": got " << str(got) << ", expected " << str(want);
                }
            }
        }
    }
}

TEST(TFastDIB, CopyRectConvertsBetweenDepths)
{
    constexpr int W = 6, H = 4;
    // 24 -> 8: each pixel the nearest entry of a gray palette.
    {
        TFastDIB src, dst;
        src.SetSize(W, H, 24);
        dst.SetSize(W, H, 8);
        grayPalette(dst);
        paintPattern(src);
        dst.CopyRect(src, 0, 0, W, H, 0, 0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                ASSERT_EQ(dst.Pixels8[y][x], nearestOf(dst.Colors, 256, src.Pixels24[y][x]))
                    << "row " << y << ", column " << x;
    }
    // 8 -> 8: indices go across whatever the palettes hold.
    {
        TFastDIB src, dst;
        src.SetSize(W, H, 8);
        dst.SetSize(W, H, 8);
        grayPalette(src);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                src.Pixels8[y][x] = quint8(y * W + x + 100);
        dst.CopyRect(src, 0, 0, W, H, 0, 0);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                ASSERT_EQ(dst.Pixels8[y][x], y * W + x + 100) << "row " << y << ", column " << x;
    }
    // 1 -> 1 at odd columns: pixel by pixel, the neighbours in shared bytes kept.
    {
        TFastDIB src, dst;
        src.SetSize(20, 2, 1);
        dst.SetSize(20, 2, 1);
        for (TFastDIB* d : {&src, &dst}) {
            d->Colors[0].c = rgb(0, 0, 0);
            d->Colors[1].c = rgb(255, 255, 255);
        }
        for (int x = 0; x < 20; ++x)
            src.SetPixelB(0, x, quint8((x % 3) == 0));
        dst.ClearB(1);
        dst.CopyRect(src, 3, 1, 9, 1, 5, 1); // picture row 1 = memory row 0
        for (int x = 0; x < 20; ++x) {
            const int want = (x >= 3 && x < 12) ? ((x + 2) % 3 == 0) : 1;
            ASSERT_EQ(dst.GetPixelB(0, x), want) << "column " << x;
            ASSERT_EQ(dst.GetPixelB(1, x), 1) << "column " << x;
        }
    }
}

TEST(TFastDIB, CopyRectWithinOneImageOverlapping)
{
    TFastDIB d;
    d.SetSize(6, 6, 24);
    paintPattern(d);
    TFastDIB before;
    before.MakeCopy(d, true);
    d.CopyRect(d, 1, 2, 4, 4, 0, 0); // down and right: the source overlaps what is written
    for (int py = 0; py < 6; ++py)
        for (int px = 0; px < 6; ++px) {
            const bool copied = px >= 1 && px < 5 && py >= 2;
            const TFColor want = copied ? before.GetPixel(5 - (py - 2), px - 1) : before.GetPixel(5 - py, px);
            ASSERT_TRUE(same(d.GetPixel(5 - py, px), want)) << "picture row " << py << ", column " << px;
        }
}

TEST(TFastDIB, CopyRectOfWholeRowsCopiesThemAsTheyLie)
{
    // Rectangles as wide as both images go across as one block, padding and all; the rows outside
    // stay, in either row order and within one image moving up or down.
    constexpr int W = 7, H = 6; // 21 bytes of pixels and 3 of padding per 24-bit row
    struct Case {
        const char* name;
        bool srcTopDown, dstTopDown, self;
        int y, h, sy;
    } cases[] = {
        {"all rows", false, false, false, 0, H, 0},
        {"middle rows", false, false, false, 2, 3, 1},
        {"top-down source", true, false, false, 1, 4, 0},
        {"top-down destination", false, true, false, 0, 3, 3},
        {"both top-down", true, true, false, 1, 5, 0},
        {"within one image, down", false, false, true, 2, 4, 0},
        {"within one image, up", false, false, true, 0, 4, 2},
        {"within a top-down image, down", true, true, true, 1, 5, 0},
    };
    const TFColor background = rgb(9, 8, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB src, dst;
        src.SetSize(W, c.srcTopDown ? -H : H, 24);
        paintPattern(src);
        TFastDIB& target = c.self ? src : dst;
        if (!c.self) {
            dst.SetSize(W, c.dstTopDown ? -H : H, 24);
            dst.Clear(background);
        }
        TFastDIB before, sourceBefore;
        before.MakeCopy(target, true);
        sourceBefore.MakeCopy(src, true);
        target.CopyRect(src, 0, c.y, W, c.h, 0, c.sy);
        // Both rectangles are addressed by their lowest memory row and go across row for row in
        // memory order (a picture changing row order arrives upside down, as it always did).
        const int Y = target.Info.Header.Height > 0 ? H - c.h - c.y : c.y;
        const int SY = src.Info.Header.Height > 0 ? H - c.h - c.sy : c.sy;
        for (int r = 0; r < H; ++r)
            for (int x = 0; x < W; ++x) {
                const bool copied = r >= Y && r < Y + c.h;
                const TFColor want = copied ? sourceBefore.GetPixel(SY + r - Y, x) : before.GetPixel(r, x);
                ASSERT_TRUE(same(target.GetPixel(r, x), want)) << "memory row " << r << ", column " << x;
            }
    }

    // A sub-image has its parent's row stride but is narrower: its rows go one by one.
    TFastDIB parent, window, dst;
    parent.SetSize(W + 3, H, 24);
    paintPattern(parent);
    window.SetSubset(parent, 2, 0, W, H);
    dst.SetSize(W, H, 24);
    dst.CopyRect(window, 0, 0, W, H, 0, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ASSERT_TRUE(same(dst.GetPixel(y, x), parent.GetPixel(y, x + 2))) << "memory row " << y << ", column " << x;
}

TEST(TFastDIB, SharedCopiesReadAsCopiesUntilOneOfThemIsWritten)
{
    for (bool gdi : {true, false}) {
        SCOPED_TRACE(gdi ? "section" : "heap");
        auto source = std::make_unique<TFastDIB>();
        source->UseGDI = gdi;
        source->SetSize(9, 5, 24);
        paintPattern(*source);
        TFastDIB original;
        original.MakeCopy(*source, true);
        auto equal = [](const TFastDIB& a, const TFastDIB& b) {
            if (a.Info.Header.Width != b.Info.Header.Width || a.AbsHeight != b.AbsHeight)
                return false;
            for (int y = 0; y < a.AbsHeight; ++y)
                if (std::memcmp(a.Scanlines[y], b.Scanlines[y], size_t(a.BWidth - a.Gap)) != 0)
                    return false;
            return true;
        };

        TFastDIB shared;
        shared.makeSharedCopy(*source);
        EXPECT_EQ(shared.Bits, source->Bits) << "no pixels are copied";
        EXPECT_TRUE(shared.isShared());
        EXPECT_TRUE(equal(shared, original));

        // The source is written after detaching: the copy keeps the old pixels.
        source->detach();
        EXPECT_NE(shared.Bits, source->Bits);
        EXPECT_FALSE(shared.isShared());
        source->Clear(rgb(1, 1, 1));
        EXPECT_TRUE(equal(shared, original));
        if (gdi) {
            source->SetBrush(BS_SOLID, 0, 0x00FFFFFF);
            source->FillRect(RECT{0, 0, 2, 2});
            EXPECT_TRUE(same(source->GetPixel(4, 0), rgb(255, 255, 255))) << "the source keeps painting";
        }

        // The copy is written after detaching: the source keeps its pixels.
        TFastDIB second;
        second.makeSharedCopy(*source);
        second.detach();
        second.Clear(rgb(7, 7, 7));
        EXPECT_TRUE(same(source->GetPixel(2, 3), rgb(1, 1, 1)));

        // The source goes (resized, then destroyed): the copy still holds the pixels.
        TFastDIB third;
        third.makeSharedCopy(*source);
        source->SetSize(0, 0, 24);
        EXPECT_TRUE(same(third.GetPixel(2, 3), rgb(1, 1, 1)));
        source.reset();
        EXPECT_TRUE(same(third.GetPixel(2, 3), rgb(1, 1, 1)));
        EXPECT_FALSE(third.isShared()) << "the last holder owns the pixels";
    }

    // A sub-image owns no block: it is copied at once.
    TFastDIB parent, window, copy;
    parent.SetSize(10, 6, 24);
    paintPattern(parent);
    window.SetSubset(parent, 2, 1, 5, 3);
    copy.makeSharedCopy(window);
    EXPECT_FALSE(copy.isShared());
    EXPECT_NE(copy.Bits, window.Bits);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_TRUE(same(copy.GetPixel(y, x), window.GetPixel(y, x))) << "memory row " << y << ", column " << x;
}

// ---- filling ----------------------------------------------------------------------------------------

TEST(TFastDIB, ClearAtEachDepth)
{
    struct Case {
        const char* name;
        std::function<void(TFastDIB&)> size;
        TFColor color;
        std::vector<quint8> unit; // the bytes every pixel (or byte, below 8 bits) holds afterwards
        bool wholeRow;            // padding filled too (all depths but 24)
    } cases[] = {
        {"1 bit white",
         [](TFastDIB& d) {
             d.SetSize(10, 3, 1);
             d.Colors[1].c = rgb(255, 255, 255);
         },
         rgb(250, 250, 250), {0xFF}, true},
        {"1 bit black", [](TFastDIB& d) { d.SetSize(10, 3, 1); d.Colors[1].c = rgb(255, 255, 255); },
         rgb(3, 3, 3), {0x00}, true},
        {"4 bits",
         [](TFastDIB& d) {
             d.SetSize(5, 3, 4);
             d.Colors[6].c = rgb(90, 90, 90);
             for (int i = 0; i < 16; ++i)
                 if (i != 6)
                     d.Colors[i].c = rgb(255, 0, 255);
         },
         rgb(90, 90, 90), {0x66}, true},
        {"8 bits", [](TFastDIB& d) { d.SetSize(5, 3, 8); grayPalette(d); }, rgb(40, 42, 44), {42}, true},
        {"16 bits 5-6-5", [](TFastDIB& d) { d.SetSizeEx(3, 3, 16, 5, 6, 5); }, rgb(255, 0, 8),
         {0x01, 0xF8}, true},
        {"24 bits", [](TFastDIB& d) { d.SetSize(5, 3, 24); }, rgb(1, 2, 3), {3, 2, 1}, false},
        {"32 bits, fourth byte 0",
         [](TFastDIB& d) {
             d.SetSize(3, 3, 32);
             std::memset(d.Bits, 0xEE, d.Info.Header.SizeImage);
         },
         rgb(1, 2, 3), {3, 2, 1, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB d;
        c.size(d);
        if (!c.wholeRow)
            std::memset(d.Bits, 0xEE, d.Info.Header.SizeImage);
        d.Clear(c.color);
        const int filled = c.wholeRow ? d.BWidth : d.BWidth - d.Gap;
        for (int y = 0; y < d.AbsHeight; ++y) {
            for (int i = 0; i < d.BWidth; ++i) {
                const int want = i < filled ? c.unit[i % c.unit.size()] : 0xEE;
                ASSERT_EQ(d.Pixels8[y][i], want) << "row " << y << ", byte " << i;
            }
        }
    }
}

// Images of several megabytes are filled by a different path (stores that bypass the cache).
TEST(TFastDIB, ClearOfLargeImagesFillsTheSameBytes)
{
    struct Case {
        const char* name;
        int width, height, bpp;
        TFColor color;
        std::vector<quint8> unit;
        bool padding; // padding bytes filled too
    } cases[] = {
        {"24 bits with padding", 2001, 1500, 24, rgb(1, 2, 3), {3, 2, 1}, false},
        {"32 bits", 1501, 1500, 32, rgb(1, 2, 3), {3, 2, 1, 0}, true},
        {"16 bits", 2049, 2100, 16, rgb(255, 0, 8), {0x01, 0x7C}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB d;
        d.SetSize(c.width, c.height, quint8(c.bpp));
        ASSERT_GE(qint64(d.BWidth) * d.AbsHeight, qint64(8) << 20);
        std::memset(d.Bits, 0xEE, d.Info.Header.SizeImage);
        d.Clear(c.color);
        const int filled = c.padding ? d.BWidth : d.BWidth - d.Gap;
        for (int y = 0; y < d.AbsHeight; ++y)
            for (int i = 0; i < d.BWidth; ++i) {
                const int want = i < filled ? c.unit[i % c.unit.size()] : 0xEE;
                ASSERT_EQ(d.Pixels8[y][i], want) << "row " << y << ", byte " << i;
            }
    }
    // A window of a large image: only its own bytes.
    TFastDIB parent, sub;
    parent.SetSize(2001, 1500, 24);
    sub.SetSubset(parent, 3, 5, 1001, 700);
    sub.Clear(rgb(7, 8, 9));
    for (int py = 0; py < 1500; py += 7)
        for (int px = 0; px < 2001; ++px) {
            const bool inside = px >= 3 && px < 1004 && py >= 5 && py < 705;
            ASSERT_TRUE(same(parent.GetPixel(1499 - py, px), inside ? rgb(7, 8, 9) : rgb(0, 0, 0)))
                << "picture row " << py << ", column " << px;
        }
}

TEST(TFastDIB, ClearOfASubImageStaysInsideIt)
{
    TFastDIB parent, sub;
    parent.SetSize(9, 7, 32);
    sub.SetSubset(parent, 2, 1, 4, 3);
    ASSERT_NE(sub.Bits, nullptr);
    sub.Clear(rgb(9, 9, 9));
    for (int py = 0; py < 7; ++py)
        for (int px = 0; px < 9; ++px) {
            const bool inside = px >= 2 && px < 6 && py >= 1 && py < 4;
            ASSERT_TRUE(same(parent.GetPixel(6 - py, px), inside ? rgb(9, 9, 9) : rgb(0, 0, 0)))
                << "picture row " << py << ", column " << px;
        }
}

TEST(TFastDIB, ShiftColorsRotatesUpward)
{
    struct Case {
        int i1, i2, amount;
        std::vector<int> order; // entries i1 .. i2 - 1 afterwards, as old entry numbers
    } cases[] = {
        {0, 4, 1, {3, 0, 1, 2}},
        {0, 4, 3, {1, 2, 3, 0}},
        {2, 6, 2, {4, 5, 2, 3}},
        {0, 4, 0, {0, 1, 2, 3}},
        {0, 4, 4, {0, 1, 2, 3}},
        {0, 4, -1, {0, 1, 2, 3}},
        {250, 260, 3, {250, 251, 252, 253, 254, 255}}, // past the table: nothing moves
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.i1 << ".." << c.i2 << " by " << c.amount);
        TFastDIB d;
        d.SetSize(1, 1, 8);
        for (int i = 0; i < 256; ++i)
            d.Colors[i].i = quint32(i);
        d.ShiftColors(c.i1, c.i2, c.amount);
        for (size_t k = 0; k < c.order.size(); ++k)
            EXPECT_EQ(d.Colors[c.i1 + int(k)].i, quint32(c.order[k])) << "entry " << c.i1 + int(k);
        EXPECT_EQ(d.Colors[c.i1 == 0 ? 200 : 0].i, quint32(c.i1 == 0 ? 200 : 0));
    }
}

TEST(TFastDIB, FillColorsGradients)
{
    TFastDIB d;
    d.SetSize(4, 1, 8);
    d.FillColors(0, 255, {rgb(0, 0, 0), rgb(255, 255, 255)});
    EXPECT_EQ(d.Colors[0].r, 0);
    for (int k = 1; k <= 254; ++k) {
        ASSERT_EQ(d.Colors[k].r, k - 1) << "entry " << k;
        ASSERT_EQ(d.Colors[k].g, k - 1);
        ASSERT_EQ(d.Colors[k].b, k - 1);
    }
    EXPECT_EQ(d.Colors[255].r, 255);

    // The palette reaches the section: a pixel of index 100 reads back through the context.
    d.Pixels8[0][2] = 100;
    EXPECT_EQ(GetPixel(d.hDC, 2, 0), RGB(99, 99, 99));

    // Guarded cases.
    struct Guard {
        const char* name;
        int i1, i2;
        std::vector<TFColor> colors;
        int first, last; // entries expected to change, all to colors[0] or a blend
    } guards[] = {
        {"one colour fills the range", 10, 20, {rgb(7, 8, 9)}, 10, 20},
        {"one entry", 30, 30, {rgb(7, 8, 9), rgb(50, 50, 50)}, 30, 30},
        {"reversed range changes nothing", 40, 35, {rgb(7, 8, 9), rgb(50, 50, 50)}, 1, 0},
        {"no colours change nothing", 40, 45, {}, 1, 0},
    };
    for (const Guard& g : guards) {
        SCOPED_TRACE(g.name);
        for (int i = 0; i < 256; ++i)
            d.Colors[i].i = 0x00ABCDEF;
        d.FillColors(g.i1, g.i2, std::span<const TFColor>(g.colors));
        for (int i = 0; i < 256; ++i) {
            if (i >= g.first && i <= g.last)
                EXPECT_TRUE(same(d.Colors[i].c, g.colors[0])) << "entry " << i;
            else
                EXPECT_EQ(d.Colors[i].i, 0x00ABCDEFu) << "entry " << i;
        }
    }
    // A range running past 255 fills what exists and writes nothing beyond.
    d.FillColors(250, 300, {rgb(0, 0, 0), rgb(255, 255, 255)});
    EXPECT_EQ(d.Colors[250].r, 0);
    EXPECT_GT(d.Colors[255].r, 0);
    EXPECT_LT(d.Colors[255].r, 40);
}

// ---- sub-images, copies, ownership ------------------------------------------------------------------

TEST(TFastDIB, SubsetIsAWindowOntoItsParent)
{
    TFastDIB parent;
    parent.SetSize(100, 100, 24);
    TFastDIB sub;
    sub.SetSubset(parent, 10, 10, 5, 5);
    EXPECT_EQ(sub.Info.Header.Width, 5);
    EXPECT_EQ(sub.Info.Header.Height, 5);
    EXPECT_EQ(sub.Bits, parent.Bits + 85 * parent.BWidth + 30);
    EXPECT_EQ(sub.Info.Header.SizeImage, 0u);
    EXPECT_EQ(sub.BWidth, parent.BWidth);
    EXPECT_EQ(sub.Gap, parent.BWidth - 15);
    EXPECT_EQ(sub.hDC, parent.hDC);
    EXPECT_FALSE(sub.FreeDC || sub.FreeHandle || sub.FreeBits);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(sub.Scanlines[i], parent.Bits + (85 + i) * parent.BWidth + 30);
    sub.SetPixel(0, 0, rgb(1, 2, 3));
    EXPECT_TRUE(same(parent.GetPixel(85, 10), rgb(1, 2, 3)));
    parent.SetPixel(89, 14, rgb(4, 5, 6));
    EXPECT_TRUE(same(sub.GetPixel(4, 4), rgb(4, 5, 6)));

    // Clipped at the edges; nothing when wholly outside.
    struct Case {
        int x, y, w, h, width, height;
    } cases[] = {{-3, 0, 10, 5, 7, 5}, {95, 97, 10, 10, 5, 3}, {100, 0, 5, 5, 0, 0}, {0, 100, 5, 5, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        TFastDIB s;
        s.SetSubset(parent, c.x, c.y, c.w, c.h);
        EXPECT_EQ(s.Info.Header.Width, c.width);
        EXPECT_EQ(s.AbsHeight, c.height);
    }

    // An 8-bit window shares its parent's palette.
    TFastDIB pal;
    pal.SetSize(8, 8, 8);
    pal.Colors[5].c = rgb(9, 9, 9);
    TFastDIB window;
    window.SetSubset(pal, 1, 1, 3, 3);
    window.SetPixelB(0, 0, 5);
    EXPECT_TRUE(same(window.GetPixel(0, 0), rgb(9, 9, 9)));

    // A sub-image that owned a buffer releases it before borrowing (no leak under the sanitizer).
    TFastDIB reused;
    reused.UseGDI = false;
    reused.SetSize(10, 10, 24);
    reused.SetSubset(parent, 0, 0, 2, 2);
    EXPECT_FALSE(reused.FreeBits);
    EXPECT_EQ(reused.Colors, parent.Colors);
}

TEST(TFastDIB, MakeCopyAndHandOver)
{
    TFastDIB a;
    a.SetSize(5, 3, 8);
    grayPalette(a);
    a.Pixels8[1][2] = 77;
    TFastDIB b;
    b.MakeCopy(a, true);
    EXPECT_EQ(b.Pixels8[1][2], 77);
    EXPECT_EQ(b.Colors[77].r, 77);
    EXPECT_NE(b.Bits, a.Bits);
    TFastDIB blank;
    blank.MakeCopy(a, false);
    EXPECT_EQ(blank.Pixels8[1][2], 0);

    // A copy of a window holds the window's pixels.
    TFastDIB window, copy;
    window.SetSubset(a, 1, 0, 3, 2); // picture rows 0..1 = memory rows 1..2
    copy.MakeCopy(window, true);
    EXPECT_EQ(copy.Info.Header.Width, 3);
    EXPECT_EQ(copy.Pixels8[0][1], 77);
    EXPECT_EQ(copy.Colors[77].r, 77);

    // Assign then Release moves the resources; both objects then go without a double release.
    auto source = std::make_unique<TFastDIB>();
    source->SetSize(4, 4, 24);
    source->SetPen(PS_SOLID, 1, 0);
    source->SetPixel(0, 0, rgb(3, 3, 3));
    quint8* bits = source->Bits;
    TFastDIB target;
    target.SetSize(2, 2, 24); // released by Assign
    target.Assign(*source);
    source->Release();
    source.reset();
    EXPECT_EQ(target.Bits, bits);
    EXPECT_TRUE(same(target.GetPixel(0, 0), rgb(3, 3, 3)));
    target.LineTo(3, 0); // its context still works
    target.PreDestroy();
    target.PreDestroy(); // a second release finds nothing left
    EXPECT_EQ(target.Bits, nullptr);

    // Borrowing pixels releases what the image owned, and never frees the borrowed block.
    std::vector<quint8> outside(4 * 4 * 4);
    TFastDIB borrower;
    borrower.UseGDI = false;
    borrower.SetSize(4, 4, 32);
    borrower.SetInterface(outside.data(), 4, 4, 32, 0, 0, 0);
    EXPECT_FALSE(borrower.FreeBits);
    EXPECT_EQ(borrower.Bits, outside.data());
}

// ---- drawing ----------------------------------------------------------------------------------------

TEST(TFastDIB, DrawsUprightAndInPlace)
{
    constexpr int W = 60, H = 40;
    TFastDIB d;
    d.SetSize(W, H, 24);
    d.Clear(rgb(255, 255, 255));
    d.SetBrush(BS_SOLID, 0, RGB(0, 0, 255));
    d.FillRect(RECT{5, 4, 15, 10});
    d.SetPen(PS_SOLID, 1, RGB(255, 0, 0));
    d.MoveTo(2, 20);
    d.LineTo(30, 20);

    // Memory rows are bottom-up: picture row y is memory row H - 1 - y.
    for (int py = 0; py < 22; ++py)
        for (int px = 0; px < W; ++px) {
            TFColor want = rgb(255, 255, 255);
            if (px >= 5 && px < 15 && py >= 4 && py < 10)
                want = rgb(0, 0, 255);
            if (py == 20 && px >= 2 && px < 30)
                want = rgb(255, 0, 0);
            const TFColor got = d.Pixels24[H - 1 - py][px];
            ASSERT_TRUE(same(got, want)) << "first difference at picture row " << py << ", column " << px << ": got "
                                         << str(got) << ", expected " << str(want);
        }

    // Text: "T" at (30, 22) in black; its bar is at the top of the ink, its stem below.
    d.SetFont(QStringLiteral("Tahoma"), -16);
    d.SetTextColor(RGB(0, 0, 0));
    d.SetTransparent(true);
    d.TextOut(30, 22, QStringLiteral("T"));
    int top = H, bottom = -1, left = W, right = -1;
    auto ink = [&](int py, int px) { return d.Pixels24[H - 1 - py][px].r < 128; };
    for (int py = 22; py < H; ++py)
        for (int px = 30; px < W; ++px)
            if (ink(py, px)) {
                top = std::min(top, py);
                bottom = std::max(bottom, py);
                left = std::min(left, px);
                right = std::max(right, px);
            }
    ASSERT_LE(top, bottom) << "no text drawn";
    for (int py = 0; py < 22; ++py)
        for (int px = 30; px < W; ++px)
            ASSERT_FALSE(ink(py, px)) << "ink above the text cell at picture row " << py;
    auto inkCount = [&](int py) {
        int n = 0;
        for (int px = left; px <= right; ++px)
            n += ink(py, px);
        return n;
    };
    EXPECT_GT(inkCount(top), 2 * inkCount(bottom)) << "the bar of the T must be at the top";
    EXPECT_LT(bottom - top, 16);
}

TEST(TFastDIB, DrawsOnPalettedImagesWithNearestEntries)
{
    TFastDIB d;
    d.SetSize(8, 6, 8);
    grayPalette(d);
    d.SetBrush(BS_SOLID, 0, RGB(100, 102, 98));
    d.FillRect(RECT{1, 1, 4, 3});
    for (int py = 0; py < 6; ++py)
        for (int px = 0; px < 8; ++px)
            ASSERT_EQ(d.Pixels8[5 - py][px], (px >= 1 && px < 4 && py >= 1 && py < 3) ? 100 : 0)
                << "picture row " << py << ", column " << px;
}

TEST(TFastDIB, DrawingToolsSelectIntoTheContext)
{
    TFastDIB d;
    d.SetSize(10, 10, 24);
    d.SetFontEx(QStringLiteral("DejaVuSans"), 0, -12, FW_BOLD, true, false, true);
    const LOGFONT& lf = d.hDC->font();
    EXPECT_EQ(lf.lfFaceName, QStringLiteral("DejaVuSans"));
    EXPECT_EQ(lf.lfHeight, -12);
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_TRUE(lf.lfItalic && lf.lfStrikeOut && !lf.lfUnderline);
    EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(d.hDC->currentFont(), d.hFont);
    d.SetFont(QStringLiteral("Consolas"), 20);
    EXPECT_EQ(d.hDC->font().lfWeight, 0);
    EXPECT_EQ(d.hDC->font().lfHeight, 20);
    d.SetPen(PS_DASH, 1, RGB(1, 2, 3));
    EXPECT_EQ(d.hDC->pen().lopnStyle, PS_DASH);
    EXPECT_EQ(d.hDC->currentPen(), d.hPen);
    d.SetBrush(BS_HATCHED, HS_CROSS, RGB(4, 5, 6));
    EXPECT_EQ(d.hDC->brush().lbHatch, HS_CROSS);
    d.SetTransparent(true);
    EXPECT_EQ(d.hDC->bkMode(), TRANSPARENT);
    d.SetBkColor(RGB(7, 8, 9));
    EXPECT_EQ(d.hDC->bkColor(), RGB(7, 8, 9));

    // Without a context the tools change nothing visible and leak nothing.
    TFastDIB heap;
    heap.UseGDI = false;
    heap.SetSize(4, 4, 24);
    heap.SetPen(PS_SOLID, 1, 0);
    heap.SetPen(PS_SOLID, 2, 0);
    heap.SetBrush(BS_SOLID, 0, 0xFF);
    heap.FillRect(RECT{0, 0, 4, 4});
    heap.LineTo(3, 3);
    for (int i = 0; i < heap.BWidth * 4; ++i)
        ASSERT_EQ(heap.Bits[i], 0);
}

} // namespace
