// TFastDIB drawn into another image's device context. Expected pictures are computed here pixel by
// pixel from the colours the sources were built with; a mismatch names the first differing pixel.
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

bool operator==(const TFColor& a, const TFColor& b) { return a.b == b.b && a.g == b.g && a.r == b.r; }

std::string str(const TFColor& c)
{
    return "(r " + std::to_string(c.r) + ", g " + std::to_string(c.g) + ", b " + std::to_string(c.b) + ")";
}

int memoryRow(const TFastDIB& dib, int y) { return dib.Info.Header.Height > 0 ? dib.AbsHeight - 1 - y : y; }

TFColor pictureAt(const TFastDIB& dib24, int x, int y) { return dib24.Pixels24[memoryRow(dib24, y)][x]; }

void setPicture(TFastDIB& dib24, int x, int y, TFColor c) { dib24.Pixels24[memoryRow(dib24, y)][x] = c; }

TFColor background(int x, int y) { return TFColor{quint8(200 + x), quint8(100 + 9 * y), quint8(40 + 3 * x + y)}; }

TFColor sourceColor(int x, int y) { return TFColor{quint8(x * 60 + 3), quint8(y * 70 + 9), quint8(128 + x * 10 + y)}; }

// An n-bit channel value widened to 8 bits by repeating its bits.
quint8 widen(int v, int n)
{
    int r = 0;
    for (int shift = 8 - n; shift > -n; shift -= n)
        r |= shift >= 0 ? v << shift : v >> -shift;
    return quint8(r);
}

// A source image and the colour each of its picture pixels shows.
struct Picture {
    std::unique_ptr<TFastDIB> dib = std::make_unique<TFastDIB>();
    int w = 0, h = 0;
    std::vector<TFColor> colors;
    TFColor at(int x, int y) const { return colors[size_t(y * w + x)]; }
};

struct SourceCase {
    const char* name;
    int bpp;
    int r, g, b; // channel widths at 16 and 32 bits, 0 for the default layout
    bool topDown;
    bool heap; // pixels in ordinary memory, no device context of its own
};

Picture makePicture(const SourceCase& c, int w, int h)
{
    Picture p;
    p.w = w;
    p.h = h;
    p.colors.resize(size_t(w * h));
    TFastDIB& dib = *p.dib;
    dib.UseGDI = !c.heap;
    dib.SetSizeEx(w, c.topDown ? -h : h, quint8(c.bpp), quint8(c.r), quint8(c.g), quint8(c.b));
    const TFColor two[2] = {TFColor{10, 20, 30}, TFColor{240, 230, 220}};
    if (c.bpp == 1) {
        dib.Info.Colors[0].c = two[0];
        dib.Info.Colors[1].c = two[1];
    } else if (c.bpp <= 8) {
        for (int i = 0; i < w * h; ++i)
            dib.Info.Colors[i].c = sourceColor(i % w, i / w);
    }
    const int rw = c.r ? c.r : 5, gw = c.g ? c.g : 5, bw = c.b ? c.b : 5; // 16 bits
    for (int y = 0; y < h; ++y) {
        const int row = memoryRow(dib, y);
        for (int x = 0; x < w; ++x) {
            TFColor& expected = p.colors[size_t(y * w + x)];
            switch (c.bpp) {
            case 1: {
                const int bit = (x + y) & 1;
                quint8& byte = dib.Pixels8[row][x >> 3];
                byte = quint8(bit ? byte | (0x80 >> (x & 7)) : byte & ~(0x80 >> (x & 7)));
                expected = two[bit];
                break;
            }
            case 4: {
                const int i = y * w + x;
                quint8& byte = dib.Pixels8[row][x >> 1];
                byte = quint8((x & 1) ? (byte & 0xF0) | i : (byte & 0x0F) | (i << 4));
                expected = sourceColor(x, y);
                break;
            }
            case 8:
                dib.Pixels8[row][x] = quint8(y * w + x);
                expected = sourceColor(x, y);
                break;
            case 16: {
                const int rv = (x * 7 + y) % (1 << rw), gv = (x + y * 9 + 3) % (1 << gw), bv = (x * 3 + 5 + y) % (1 << bw);
                dib.Pixels16[row][x] = quint16((rv << (gw + bw)) | (gv << bw) | bv);
                expected = TFColor{widen(bv, bw), widen(gv, gw), widen(rv, rw)};
                break;
            }
            case 24:
                dib.Pixels24[row][x] = sourceColor(x, y);
                expected = sourceColor(x, y);
                break;
            case 32:
                dib.Pixels32[row][x].c = sourceColor(x, y);
                dib.Pixels32[row][x].a = 0;
                expected = sourceColor(x, y);
                break;
            }
        }
    }
    return p;
}

Picture rgbPicture(int w, int h) { return makePicture(SourceCase{"24 bits", 24, 0, 0, 0, false, false}, w, h); }

class FastDIBDrawTest : public testing::Test {
protected:
    static constexpr int W = 9, H = 7;

    void SetUp() override
    {
        dst.SetSize(W, H, 24);
        ASSERT_NE(dst.hDC, nullptr);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                setPicture(dst, x, y, background(x, y));
    }

    // The first destination pixel that is not expected(x, y) within `tolerance` per channel.
    std::string firstMismatch(const std::function<TFColor(int, int)>& expected, int tolerance = 0) const
    {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const TFColor got = pictureAt(dst, x, y);
                const TFColor want = expected(x, y);
                if (std::abs(got.r - want.r) > tolerance || std::abs(got.g - want.g) > tolerance
                    || std::abs(got.b - want.b) > tolerance)
                    return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + "): got " + str(got) + ", expected "
                        + str(want);
            }
        return {};
    }

    // `p` unscaled at (x, y) over the background.
    static std::function<TFColor(int, int)> drawn(const Picture& p, int x0, int y0)
    {
        return [&p, x0, y0](int x, int y) {
            const int sx = x - x0, sy = y - y0;
            return sx >= 0 && sx < p.w && sy >= 0 && sy < p.h ? p.at(sx, sy) : background(x, y);
        };
    }

    TFastDIB dst;
};

TEST_F(FastDIBDrawTest, DrawsEveryDepth)
{
    const SourceCase cases[] = {
        {"1 bit", 1, 0, 0, 0, false, false},
        {"4 bits", 4, 0, 0, 0, false, false},
        {"8 bits", 8, 0, 0, 0, false, false},
        {"16 bits 5-5-5", 16, 0, 0, 0, false, false},
        {"16 bits 5-6-5", 16, 5, 6, 5, false, false},
        {"16 bits 4-4-4, a layout Qt lacks", 16, 4, 4, 4, false, false},
        {"24 bits", 24, 0, 0, 0, false, false},
        {"24 bits top-down", 24, 0, 0, 0, true, false},
        {"24 bits in ordinary memory", 24, 0, 0, 0, false, true},
        {"32 bits", 32, 0, 0, 0, false, false},
    };
    const POINT places[] = {{2, 3}, {-1, 6}, {7, -1}};
    for (const SourceCase& c : cases) {
        for (const POINT& at : places) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(at.x) + ", " + std::to_string(at.y));
            SetUp();
            const Picture p = makePicture(c, 3, 2);
            p.dib->Draw(dst.hDC, at.x, at.y);
            EXPECT_EQ(firstMismatch(drawn(p, at.x, at.y)), "");
        }
    }
}

struct ScaleCase {
    const char* name;
    enum { Stretch, DrawRect, StretchRect } op;
    int x, y, w, h, sx, sy, sw, sh;
};

TEST_F(FastDIBDrawTest, StretchesAndPartsPickTheNearestPixel)
{
    const Picture p = rgbPicture(4, 3);
    const ScaleCase cases[] = {
        {"stretched twice as large", ScaleCase::Stretch, 1, 0, 8, 6, 0, 0, 4, 3},
        {"part stretched three times as wide", ScaleCase::StretchRect, 0, 1, 9, 3, 1, 0, 3, 3},
        {"squeezed from 3 x 3 to 2 x 1", ScaleCase::StretchRect, 2, 2, 2, 1, 0, 0, 3, 3},
        {"part, unscaled", ScaleCase::DrawRect, 1, 2, 2, 2, 1, 1, 2, 2},
        {"part, stretched", ScaleCase::StretchRect, 3, 1, 4, 4, 2, 1, 2, 2},
        {"stretched by 7/3", ScaleCase::StretchRect, 0, 0, 7, 7, 1, 0, 3, 3},
    };
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        switch (c.op) {
        case ScaleCase::Stretch:
            p.dib->Stretch(dst.hDC, c.x, c.y, c.w, c.h);
            break;
        case ScaleCase::DrawRect:
            p.dib->DrawRect(dst.hDC, c.x, c.y, c.w, c.h, c.sx, c.sy);
            break;
        case ScaleCase::StretchRect:
            p.dib->StretchRect(dst.hDC, c.x, c.y, c.w, c.h, c.sx, c.sy, c.sw, c.sh);
            break;
        }
        // The source pixel under the centre of each destination pixel. The cases avoid centres on a
        // boundary between two source pixels, where the pick depends on the source's row order.
        EXPECT_EQ(firstMismatch([&](int x, int y) {
                      if (x < c.x || x >= c.x + c.w || y < c.y || y >= c.y + c.h)
                          return background(x, y);
                      const int sx = c.sx + ((2 * (x - c.x) + 1) * c.sw) / (2 * c.w);
                      const int sy = c.sy + ((2 * (y - c.y) + 1) * c.sh) / (2 * c.h);
                      return p.at(sx, sy);
                  }),
                  "");
    }
}

TEST_F(FastDIBDrawTest, DrawingOntoItselfReadsTheOriginal)
{
    struct Shift {
        const char* name;
        int x, y, sx, sy; // a 3 x 3 part moved within a 4 x 4 image
    };
    const Shift shifts[] = {
        {"down", 0, 1, 0, 0}, {"up", 0, 0, 0, 1}, {"right", 1, 0, 0, 0}, {"left", 0, 0, 1, 0}};
    for (const Shift& s : shifts) {
        SCOPED_TRACE(s.name);
        const Picture p = rgbPicture(4, 4);
        p.dib->DrawRect(p.dib->hDC, s.x, s.y, 3, 3, s.sx, s.sy);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const bool moved = x >= s.x && x < s.x + 3 && y >= s.y && y < s.y + 3;
                const TFColor want = moved ? p.at(x - s.x + s.sx, y - s.y + s.sy) : p.at(x, y);
                ASSERT_EQ(str(pictureAt(*p.dib, x, y)), str(want)) << "pixel (" << x << ", " << y << ")";
            }
    }
}

TEST_F(FastDIBDrawTest, SubImageDrawsItsOwnWindow)
{
    const Picture parent = rgbPicture(6, 5);
    TFastDIB window;
    window.SetSubset(*parent.dib, 2, 1, 3, 2);
    window.Draw(dst.hDC, 4, 4);
    EXPECT_EQ(firstMismatch([&](int x, int y) {
                  const bool inside = x >= 4 && x < 7 && y >= 4 && y < 6;
                  return inside ? parent.at(x - 4 + 2, y - 4 + 1) : background(x, y);
              }),
              "");
}

struct TransCase {
    const char* name;
    SourceCase source;
    std::function<TFColor(const Picture&)> key; // the transparent colour, from the picture
    bool stretch;
};

TEST_F(FastDIBDrawTest, TransparentColourKeepsTheDestination)
{
    const TransCase cases[] = {
        {"24 bits", {"", 24, 0, 0, 0, false, false}, [](const Picture& p) { return p.at(1, 0); }, false},
        {"24 bits stretched", {"", 24, 0, 0, 0, false, false}, [](const Picture& p) { return p.at(2, 1); }, true},
        {"8 bits: a palette colour", {"", 8, 0, 0, 0, false, false}, [](const Picture& p) { return p.at(0, 1); }, false},
        {"1 bit", {"", 1, 0, 0, 0, false, false}, [](const Picture& p) { return p.at(0, 0); }, false},
        // The key's channels go through the 5-bit narrowing the pixels went through.
        {"16 bits: key given at 8 bits per channel", {"", 16, 0, 0, 0, false, false},
         [](const Picture& p) {
             TFColor k = p.at(2, 0);
             k.r ^= 0x04;
             k.g ^= 0x02;
             k.b ^= 0x01;
             return k;
         },
         false},
    };
    for (const TransCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        const Picture p = makePicture(c.source, 3, 2);
        const TFColor key = c.key(p);
        const TFColor keyShown = c.source.bpp == 16 ? p.at(2, 0) : key;
        const int scale = c.stretch ? 2 : 1;
        if (c.stretch)
            p.dib->TransStretch(dst.hDC, 1, 1, 6, 4, key);
        else
            p.dib->TransDraw(dst.hDC, 1, 1, key);
        int keyed = 0;
        EXPECT_EQ(firstMismatch([&](int x, int y) {
                      const int sx = (x - 1) / scale, sy = (y - 1) / scale;
                      if (x < 1 || y < 1 || sx >= p.w || sy >= p.h)
                          return background(x, y);
                      if (p.at(sx, sy) == keyShown) {
                          ++keyed;
                          return background(x, y);
                      }
                      return p.at(sx, sy);
                  }),
                  "");
        EXPECT_GT(keyed, 0);
    }
}

TEST_F(FastDIBDrawTest, ConstantAlphaBlends)
{
    // The 32-bit source has a fourth byte of 0 in every pixel, which must not count as opacity.
    for (const auto& [bpp, opacity] : std::vector<std::pair<int, int>>{
             {24, 0}, {24, 1}, {24, 77}, {24, 128}, {24, 254}, {24, 255}, {32, 0}, {32, 128}, {32, 255}, {8, 77}, {8, 255}}) {
        const int a = opacity; // a plain copy: older clang cannot capture a structured binding
        SCOPED_TRACE("depth " + std::to_string(bpp) + ", opacity " + std::to_string(a));
        const Picture p = makePicture(SourceCase{"", bpp, 0, 0, 0, false, false}, 3, 2);
        SetUp();
        p.dib->AlphaDraw(dst.hDC, 2, 3, quint8(a), false);
        // Opaque and invisible are exact; in between the blend may round either way.
        const int tolerance = (a == 0 || a == 255) ? 0 : 1;
        EXPECT_EQ(firstMismatch(
                      [&](int x, int y) {
                          const TFColor d = background(x, y);
                          const int sx = x - 2, sy = y - 3;
                          if (sx < 0 || sx >= p.w || sy < 0 || sy >= p.h)
                              return d;
                          const TFColor s = p.at(sx, sy);
                          auto mix = [a](int sc, int dc) { return quint8((sc * a + dc * (255 - a) + 127) / 255); };
                          return TFColor{mix(s.b, d.b), mix(s.g, d.g), mix(s.r, d.r)};
                      },
                      tolerance),
                  "");
    }

    SetUp();
    const Picture p = rgbPicture(3, 2);
    p.dib->AlphaStretch(dst.hDC, 0, 1, 6, 4, 255, false);
    EXPECT_EQ(firstMismatch([&](int x, int y) {
                  return x < 6 && y >= 1 && y < 5 ? p.at(x / 2, (y - 1) / 2) : background(x, y);
              }),
              "");
}

TEST_F(FastDIBDrawTest, PerPixelAlphaIsPremultiplied)
{
    // Opacities 0, 128 and 255 across the columns, colours premultiplied by them; the bottom row's
    // colours are not premultiplied and count only up to their opacity.
    Picture p = makePicture(SourceCase{"32 bits", 32, 0, 0, 0, false, false}, 3, 2);
    const int opacity[3] = {0, 128, 255};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            TFColorA& px = p.dib->Pixels32[memoryRow(*p.dib, y)][x];
            const TFColor c = sourceColor(x, y);
            const int scale = y == 0 ? opacity[x] : 255;
            px.b = quint8(c.b * scale / 255);
            px.g = quint8(c.g * scale / 255);
            px.r = quint8(c.r * scale / 255);
            px.a = quint8(opacity[x]);
        }
    for (int a : {255, 128}) {
        SCOPED_TRACE(a);
        SetUp();
        p.dib->AlphaDraw(dst.hDC, 4, 2, quint8(a), true);
        EXPECT_EQ(firstMismatch(
                      [&](int x, int y) {
                          const TFColor d = background(x, y);
                          const int sx = x - 4, sy = y - 2;
                          if (sx < 0 || sx >= 3 || sy < 0 || sy >= 2)
                              return d;
                          const TFColorA s = p.dib->Pixels32[memoryRow(*p.dib, sy)][sx];
                          const double sa = s.a * a / 255.0;
                          auto over = [&](int sc, int dc) {
                              sc = std::min<int>(sc, s.a);
                              return quint8(sc * a / 255.0 + dc * (255 - sa) / 255.0 + 0.5);
                          };
                          return TFColor{over(s.b, d.b), over(s.g, d.g), over(s.r, d.r)};
                      },
                      2),
                  "");
    }
}

struct MaskCase {
    const char* name;
    std::function<int(int, int)> bit; // mask bit at picture (x, y); 1 keeps the destination
    bool rect;                        // MaskRect with source and mask offsets
};

TEST_F(FastDIBDrawTest, MaskBitsProtectTheDestination)
{
    const Picture p = rgbPicture(4, 3);
    const MaskCase cases[] = {
        {"all ones: nothing drawn", [](int, int) { return 1; }, false},
        {"all zeros: drawn like Draw", [](int, int) { return 0; }, false},
        {"checkerboard", [](int x, int y) { return (x + y) & 1; }, false},
        {"part at offsets", [](int x, int y) { return x == 2 || y == 0; }, true},
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        TFastDIB mono;
        mono.SetSize(12, 4, 1); // wider than the image: bytes beyond the first are read too
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 12; ++x)
                mono.SetPixelB(memoryRow(mono, y), x, quint8(c.bit(x, y)));
        if (c.rect) {
            // 2 x 2 source pixels from (1, 1), mask from (1, 0), drawn at (5, 4).
            p.dib->MaskRect(dst.hDC, 5, 4, 2, 2, 1, 1, 1, 0, mono);
            EXPECT_EQ(firstMismatch([&](int x, int y) {
                          const int i = x - 5, j = y - 4;
                          if (i < 0 || i >= 2 || j < 0 || j >= 2 || c.bit(1 + i, j))
                              return background(x, y);
                          return p.at(1 + i, 1 + j);
                      }),
                      "");
        } else {
            p.dib->MaskDraw(dst.hDC, 3, 2, mono);
            EXPECT_EQ(firstMismatch([&](int x, int y) {
                          const int i = x - 3, j = y - 2;
                          if (i < 0 || i >= p.w || j < 0 || j >= p.h || c.bit(i, j))
                              return background(x, y);
                          return p.at(i, j);
                      }),
                      "");
        }
    }
}

TEST_F(FastDIBDrawTest, TilesFromTheTopLeftCorner)
{
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown ? "top-down source" : "bottom-up source");
        SetUp();
        const Picture p = makePicture(SourceCase{"", 24, 0, 0, 0, topDown, false}, 3, 2);
        p.dib->TileDraw(dst.hDC, 1, 1, 8, 5);
        EXPECT_EQ(firstMismatch([&](int x, int y) {
                      return x >= 1 && y >= 1 && y < 6 ? p.at((x - 1) % 3, (y - 1) % 2) : background(x, y);
                  }),
                  "");
    }
}

struct PlgCase {
    const char* name;
    POINT p1, p2, p3; // where the image's top-left, top-right and bottom-left corners go
    std::function<bool(int, int, int&, int&)> source; // destination pixel -> source pixel, false outside
};

TEST_F(FastDIBDrawTest, MapsOntoAParallelogram)
{
    const Picture p = rgbPicture(3, 2);
    const PlgCase cases[] = {
        {"unchanged", {2, 1}, {5, 1}, {2, 3},
         [](int x, int y, int& sx, int& sy) {
             sx = x - 2, sy = y - 1;
             return sx >= 0 && sx < 3 && sy >= 0 && sy < 2;
         }},
        {"mirrored left to right", {5, 1}, {2, 1}, {5, 3},
         [](int x, int y, int& sx, int& sy) {
             sx = 4 - x, sy = y - 1;
             return x >= 2 && x < 5 && sy >= 0 && sy < 2;
         }},
        {"upside down", {2, 3}, {5, 3}, {2, 1},
         [](int x, int y, int& sx, int& sy) {
             sx = x - 2, sy = 2 - y;
             return sx >= 0 && sx < 3 && y >= 1 && y < 3;
         }},
        {"quarter turn clockwise", {6, 1}, {6, 4}, {4, 1},
         [](int x, int y, int& sx, int& sy) {
             sx = y - 1, sy = 5 - x;
             return x >= 4 && x < 6 && y >= 1 && y < 4;
         }},
        {"twice as large", {0, 0}, {6, 0}, {0, 4},
         [](int x, int y, int& sx, int& sy) {
             sx = x / 2, sy = y / 2;
             return x < 6 && y < 4;
         }},
    };
    for (const PlgCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        p.dib->PlgDraw(dst.hDC, c.p1.x, c.p1.y, c.p2.x, c.p2.y, c.p3.x, c.p3.y);
        EXPECT_EQ(firstMismatch([&](int x, int y) {
                      int sx = 0, sy = 0;
                      return c.source(x, y, sx, sy) ? p.at(sx, sy) : background(x, y);
                  }),
                  "");
    }
}

TEST_F(FastDIBDrawTest, NothingToDrawLeavesTheDestination)
{
    const Picture p = rgbPicture(3, 2);
    TFastDIB empty;
    TFastDIB notAMask;
    notAMask.SetSize(3, 2, 8);
    p.dib->Draw(nullptr, 0, 0);
    empty.Draw(dst.hDC, 0, 0);
    empty.TileDraw(dst.hDC, 0, 0, 5, 5);
    p.dib->MaskDraw(dst.hDC, 0, 0, notAMask);
    p.dib->PlgDraw(dst.hDC, 0, 0, 3, 3, 6, 6); // three points on one line
    p.dib->TileDraw(dst.hDC, 0, 0, 0, 5);
    EXPECT_EQ(firstMismatch(background), "");
}

} // namespace
