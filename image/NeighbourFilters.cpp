// Neighbourhood filters: the five-tap diagonal filter behind sharpening, and softening.
#include "image/NeighbourFilters.h"

#include "image/PixelProbe.h"
#include "image/TFastDIB.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace {

inline int clampIndex(qint64 v, int last)
{
    return int(std::clamp<qint64>(v, 0, last));
}

inline quint8 toByte(int t)
{
    return quint8(std::clamp(t, 0, 255));
}

struct Weights {
    int wc, w1, w2, w3, w4, divisor;
    quint8 apply(int c, int n1, int n2, int n3, int n4) const
    {
        // Division truncates towards zero, as the integer division of the weights' sum does.
        return toByte((wc * c + w1 * n1 + w2 * n2 + w3 * n3 + w4 * n4) / divisor);
    }
};

// Channels of 16-bit pixels widened exactly as TFastDIB::GetPixel widens them, for every value.
std::vector<TFColor> widen16Table(const TFastDIB& Dib)
{
    TFastDIB probe;
    MakePixelProbe(probe, Dib);
    std::vector<TFColor> table(65536);
    for (quint32 v = 0; v < 65536; ++v) {
        probe.Pixels16[0][0] = quint16(v);
        table[v] = probe.GetPixel(0, 0);
    }
    return table;
}

// 8-bit channel values back into a 16-bit pixel's channel bits.
struct Narrow16 {
    std::array<quint16, 256> r, g, b;
    explicit Narrow16(const TFastDIB& Dib)
    {
        for (int v = 0; v < 256; ++v) {
            r[v] = quint16(((v >> Dib.RShr) << Dib.RShl) & Dib.Info.RMask);
            g[v] = quint16(((v >> Dib.GShr) << Dib.GShl) & Dib.Info.GMask);
            b[v] = quint16((v >> Dib.BShr) & Dib.Info.BMask);
        }
    }
    quint16 pack(TFColor c) const { return quint16(r[c.r] | g[c.g] | b[c.b]); }
};

} // namespace

void Filter5(TFastDIB& Dib, int d, int wc, int w1, int w2, int w3, int w4)
{
    const int bpp = Dib.Info.Header.BitCount;
    const int width = Dib.Info.Header.Width;
    const int height = Dib.AbsHeight;
    if (!Dib.Scanlines || width <= 0 || height <= 0)
        return;
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return;
    int sum = wc + w1 + w2 + w3 + w4;
    const Weights k{wc, w1, w2, w3, w4, sum == 0 ? 1 : sum};

    std::vector<TFColor> widen;
    std::unique_ptr<Narrow16> narrow;
    if (bpp == 16) {
        widen = widen16Table(Dib);
        narrow = std::make_unique<Narrow16>(Dib);
    }

    const int bytes = bpp / 8;
    // Memory row 0 first, left to right, each result written back at once: the rows above (y - d)
    // already hold filtered values when row y is computed.
    for (int y = 0; y < height; ++y) {
        quint8* up = Dib.Pixels8[clampIndex(qint64(y) - d, height - 1)];
        quint8* row = Dib.Pixels8[y];
        quint8* down = Dib.Pixels8[clampIndex(qint64(y) + d, height - 1)];
        for (int x = 0; x < width; ++x) {
            const int xl = clampIndex(qint64(x) - d, width - 1);
            const int xr = clampIndex(qint64(x) + d, width - 1);
            if (bpp == 16) {
                auto at = [&widen](const quint8* r, int i) {
                    quint16 v;
                    std::memcpy(&v, r + 2 * i, 2);
                    return widen[v];
                };
                const TFColor c = at(row, x), n1 = at(up, xl), n2 = at(up, xr), n3 = at(down, xl), n4 = at(down, xr);
                TFColor out;
                out.b = k.apply(c.b, n1.b, n2.b, n3.b, n4.b);
                out.g = k.apply(c.g, n1.g, n2.g, n3.g, n4.g);
                out.r = k.apply(c.r, n1.r, n2.r, n3.r, n4.r);
                const quint16 packed = narrow->pack(out);
                std::memcpy(row + 2 * x, &packed, 2);
                continue;
            }
            // 8 bits: the byte; 24: blue, green, red; 32: the same three, the fourth stays.
            const int channels = bpp == 8 ? 1 : 3;
            const qint64 cx = qint64(x) * bytes, l = qint64(xl) * bytes, r = qint64(xr) * bytes;
            for (int ch = 0; ch < channels; ++ch)
                row[cx + ch] = k.apply(row[cx + ch], up[l + ch], up[r + ch], down[l + ch], down[r + ch]);
        }
    }
}

void SharpenPixels(TFastDIB& Dib, int d)
{
    Filter5(Dib, d, -10, 1, 1, 1, 1);
}

void SoftenPixels(TFastDIB& Dib)
{
    const int bpp = Dib.Info.Header.BitCount;
    const int width = Dib.Info.Header.Width;
    if (!Dib.Scanlines || width < 2 || Dib.AbsHeight <= 0)
        return;
    if (bpp != 8 && bpp != 24 && bpp != 32)
        return;
    const int bytes = bpp / 8;
    const int channels = bpp == 8 ? 1 : 3;
    for (int y = 0; y < Dib.AbsHeight; ++y) {
        quint8* row = Dib.Pixels8[y];
        for (int ch = 0; ch < channels; ++ch) {
            quint8* p = row + ch;
            const quint8 lastOld = p[qint64(width - 1) * bytes];
            p[0] = quint8((p[0] + p[bytes]) >> 1);
            // The left neighbour is the value just written; the pixel's own old value drops out.
            for (qint64 i = 1; i <= width - 2; ++i)
                p[i * bytes] = quint8((p[(i - 1) * bytes] + p[(i + 1) * bytes]) >> 1);
            p[qint64(width - 1) * bytes] = quint8((lastOld + p[qint64(width - 2) * bytes]) >> 1);
        }
    }
}
