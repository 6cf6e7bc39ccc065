// Fused colour adjustments.
#include "image/ImageAdjustments.h"

#include "image/ColorEffects.h"
#include "image/TFastDIB.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <array>
#include <thread>
#include <vector>

namespace {

// The steps folded into few lookups per channel. Without saturation: one table per channel from
// the byte to its result. With it: per byte the value after contrast and brightness together
// with the saturation's term A of that value; the mean's part G of the three values' sum; and
// per channel a table from the saturated value (offset, before its limit to 0..255) to the result
// after the bias.
struct Tables {
    bool saturate = false;
    TChannelTable direct[3]{};        // blue, green, red: without saturation
    std::array<quint32, 256> pre{};   // value | (A[value] + Offset) << 16
    std::array<qint16, 768> G{};      // m - A[m] for a sum with mean m
    std::array<quint8, 1536> post[3]{}; // blue, green, red: bias of the limited value at index v + Offset
    static constexpr int Offset = 512;  // |G| and |A| stay below 512, so indices are never negative
};

Tables makeTables(const ImageAdjustments& a)
{
    Tables t;
    TChannelTable contrast{}, lightness{}, bias[3]{};
    ContrastTable(a.Contrast, contrast);
    LightnessTable(a.Lightness, lightness);
    AddTable(a.Blue, bias[0]);
    AddTable(a.Green, bias[1]);
    AddTable(a.Red, bias[2]);
    t.saturate = a.Saturation != 255 && a.Saturation != 256;
    // AdjustSaturation's terms: A[k] = floor(a (k + 1) / 256).
    std::array<int, 256> A{};
    for (int k = 0; k < 256; ++k) {
        const qint64 p = qint64(a.Saturation) * (k + 1);
        A[k] = int(p >= 0 ? p / 256 : -((-p + 255) / 256));
    }
    for (int v = 0; v < 256; ++v) {
        const int pre = lightness[contrast[v]];
        t.pre[v] = quint32(pre) | (quint32(A[pre] + Tables::Offset) << 16);
        for (int c = 0; c < 3; ++c)
            t.direct[c][v] = bias[c][pre];
    }
    for (int s = 0; s < 768; ++s)
        t.G[s] = qint16(s / 3 - A[s / 3]);
    for (int i = 0; i < 1536; ++i)
        for (int c = 0; c < 3; ++c)
            t.post[c][i] = bias[c][std::clamp(i - Tables::Offset, 0, 255)];
    return t;
}

// One pixel's three channels, in and out.
template <bool Saturate>
inline void adjustPixel(const Tables& t, quint32& b, quint32& g, quint32& r)
{
    if constexpr (Saturate) {
        const quint32 pb = t.pre[b], pg = t.pre[g], pr = t.pre[r];
        const int base = t.G[(pb & 0xFFFF) + (pg & 0xFFFF) + (pr & 0xFFFF)];
        b = t.post[0][base + int(pb >> 16)];
        g = t.post[1][base + int(pg >> 16)];
        r = t.post[2][base + int(pr >> 16)];
    } else {
        b = t.direct[0][b];
        g = t.direct[1][g];
        r = t.direct[2][r];
    }
}

template <int Bytes, bool Saturate>
void adjustRows(const TFastDIB& Dib, const Tables& t, int firstRow, int endRow)
{
    const qint64 width = Dib.Info.Header.Width;
    for (int y = firstRow; y < endRow; ++y) {
        quint8* p = Dib.Pixels8[y];
        for (qint64 x = 0; x < width; ++x, p += Bytes) {
            quint32 b = p[0], g = p[1], r = p[2];
            adjustPixel<Saturate>(t, b, g, r);
            p[0] = quint8(b);
            p[1] = quint8(g);
            p[2] = quint8(r);
        }
    }
}

void adjustBand(const TFastDIB& Dib, const Tables& t, int firstRow, int endRow)
{
    const bool b32 = Dib.Info.Header.BitCount == 32;
    if (b32)
        t.saturate ? adjustRows<4, true>(Dib, t, firstRow, endRow) : adjustRows<4, false>(Dib, t, firstRow, endRow);
    else
        t.saturate ? adjustRows<3, true>(Dib, t, firstRow, endRow) : adjustRows<3, false>(Dib, t, firstRow, endRow);
}

// Below this many pixels a thread costs more than it saves.
constexpr qint64 PixelsPerThread = 1'000'000;

} // namespace

void ApplyAdjustments(TFastDIB& Dib, const ImageAdjustments& a, int MaxThreads)
{
    const int bpp = Dib.Info.Header.BitCount;
    if (!Dib.Bits || !Dib.Scanlines || Dib.Info.Header.Width <= 0 || Dib.AbsHeight <= 0)
        return;
    if ((bpp != 24 && bpp != 32) || std::abs(a.Saturation) > 256) {
        // Palettes and 16-bit pixels: the routines one after the other (a 16-bit pixel's spare bit
        // does not survive them, even at neutral settings). Saturation amounts beyond the slider's
        // range would overflow the folded tables.
        RGBContrast(Dib, a.Contrast, a.Contrast, a.Contrast);
        RGBLightness(Dib, a.Lightness, a.Lightness, a.Lightness);
        AdjustSaturation(Dib, a.Saturation);
        RGBAdd(Dib, a.Red, a.Green, a.Blue);
        return;
    }
    if (a.isNeutral())
        return;
    const Tables t = makeTables(a);
    const qint64 pixels = qint64(Dib.Info.Header.Width) * Dib.AbsHeight;
    const int threads = int(std::clamp<qint64>(pixels / PixelsPerThread, 1,
                                               std::clamp(int(std::thread::hardware_concurrency()), 1, std::max(MaxThreads, 1))));
    if (threads == 1) {
        adjustBand(Dib, t, 0, Dib.AbsHeight);
        return;
    }
    std::vector<std::jthread> workers;
    const int rows = Dib.AbsHeight;
    for (int i = 1; i < threads; ++i)
        workers.emplace_back([&, i] { adjustBand(Dib, t, int(qint64(rows) * i / threads), int(qint64(rows) * (i + 1) / threads)); });
    adjustBand(Dib, t, 0, rows / threads);
}
