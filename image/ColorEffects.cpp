// Colour effects on image buffers: channel tables, saturation and inversion.
#include "image/ColorEffects.h"

#include "image/PixelProbe.h"
#include "image/TFastDIB.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

int limitAmount(int a)
{
    return std::clamp(a, -255, 255);
}

// Every 16-bit value of Dib's layout mapped through f on its colour, widened and narrowed exactly
// as GetPixel and SetPixel do, so one lookup per pixel gives the same result as a per-pixel effect.
template <typename F>
std::vector<quint16> table16(const TFastDIB& Dib, F f)
{
    TFastDIB probe;
    MakePixelProbe(probe, Dib);
    std::vector<quint16> table(65536);
    for (quint32 v = 0; v < 65536; ++v) {
        probe.Pixels16[0][0] = quint16(v);
        probe.SetPixel(0, 0, f(probe.GetPixel(0, 0)));
        table[v] = probe.Pixels16[0][0];
    }
    return table;
}

// Runs f on the colour of every pixel (every palette entry at 1 to 8 bits); the fourth byte of
// 32-bit pixels and of palette entries stays.
template <typename F>
void mapColours(TFastDIB& Dib, F f)
{
    const int bpp = Dib.Info.Header.BitCount;
    const qint64 width = Dib.Info.Header.Width;
    if (!Dib.Bits || !Dib.Scanlines || width <= 0 || Dib.AbsHeight <= 0)
        return;
    switch (bpp) {
    case 1:
    case 4:
    case 8: {
        if (!Dib.Colors)
            return;
        for (int i = 0; i < (1 << bpp); ++i)
            Dib.Colors[i].c = f(Dib.Colors[i].c);
        if (Dib.hDC)
            Dib.UpdateColors();
        return;
    }
    case 16: {
        const std::vector<quint16> table = table16(Dib, f);
        for (int y = 0; y < Dib.AbsHeight; ++y) {
            quint8* p = Dib.Pixels8[y];
            for (qint64 x = 0; x < width; ++x, p += 2) {
                quint16 v;
                std::memcpy(&v, p, 2);
                v = table[v];
                std::memcpy(p, &v, 2);
            }
        }
        return;
    }
    case 24:
    case 32: {
        const int bytes = bpp / 8;
        for (int y = 0; y < Dib.AbsHeight; ++y) {
            quint8* p = Dib.Pixels8[y];
            for (qint64 x = 0; x < width; ++x, p += bytes) {
                const TFColor c = f(TFColor{p[0], p[1], p[2]});
                p[0] = c.b;
                p[1] = c.g;
                p[2] = c.r;
            }
        }
        return;
    }
    default:
        return;
    }
}

void invertBytes(quint8* p, qint64 n)
{
    // Whole words first; memcpy keeps the access legal at any alignment and compiles to plain moves.
    for (; n >= 8; n -= 8, p += 8) {
        quint64 w;
        std::memcpy(&w, p, 8);
        w = ~w;
        std::memcpy(p, &w, 8);
    }
    for (; n > 0; --n, ++p)
        *p = quint8(~*p);
}

} // namespace

void InvertPixels(TFastDIB& Dib)
{
    if (!Dib.Bits || !Dib.Scanlines || Dib.AbsHeight <= 0)
        return;
    if (Dib.Info.Header.SizeImage != 0) {
        // SizeImage is capped at 32 bits; the block itself is BWidth x AbsHeight.
        invertBytes(Dib.Bits, qint64(Dib.BWidth) * Dib.AbsHeight);
        return;
    }
    // A sub-image: its rows lie inside a wider parent, so only its own bytes of each row change.
    const qint64 rowBytes = qint64(Dib.BWidth) - Dib.Gap;
    for (int y = 0; y < Dib.AbsHeight; ++y)
        invertBytes(Dib.Pixels8[y], rowBytes);
}

void FillRamp(TChannelTable& Table, quint8 x1, quint8 y1, quint8 x2, quint8 y2)
{
    const int n = int(x2) - int(x1);
    if (n <= 0)
        return;
    // 16.16 fixed point; a falling ramp has a negative step (the division truncates towards zero).
    const qint32 step = ((qint32(y2) - qint32(y1) + 1) * 65536) / n;
    for (int k = 0; k <= n; ++k) {
        const qint32 v = (qint32(y1) * 65536 + k * step) / 65536;
        Table[x1 + k] = quint8(std::clamp(v, 0, 255));
    }
}

void ContrastTable(int Amount, TChannelTable& Table)
{
    // Amounts are bytes of the ramp's end points: beyond 255 they would wrap round.
    const int a = limitAmount(Amount);
    if (a < 0) {
        FillRamp(Table, 0, quint8(-a), 255, quint8(255 + a));
        return;
    }
    std::fill(Table.begin(), Table.begin() + a, quint8(0));
    FillRamp(Table, quint8(a), 0, quint8(255 - a), 255);
    // Written last, so from 128 on the 255-run wins where it overlaps the 0-run: a threshold.
    std::fill(Table.begin() + (256 - a), Table.end(), quint8(255));
}

void LightnessTable(int Amount, TChannelTable& Table)
{
    const int a = limitAmount(Amount);
    if (a < 0)
        FillRamp(Table, 0, 0, 255, quint8(255 + a));
    else
        FillRamp(Table, 0, quint8(a), 255, 255);
}

void AddTable(int Amount, TChannelTable& Table)
{
    const int a = limitAmount(Amount);
    for (int v = 0; v < 256; ++v)
        Table[v] = quint8(std::clamp(v + a, 0, 255));
}

void ApplyChannelTables(TFastDIB& Dib, const TChannelTable& Red, const TChannelTable& Green,
                        const TChannelTable& Blue)
{
    mapColours(Dib, [&](TFColor c) { return TFColor{Blue[c.b], Green[c.g], Red[c.r]}; });
}

namespace {

using TableMaker = void (*)(int, TChannelTable&);

void applyAmounts(TFastDIB& Dib, TableMaker make, int Red, int Green, int Blue)
{
    TChannelTable r{}, g{}, b{};
    make(Red, r);
    make(Green, g);
    make(Blue, b);
    ApplyChannelTables(Dib, r, g, b);
}

} // namespace

void RGBAdd(TFastDIB& Dib, int Red, int Green, int Blue)
{
    applyAmounts(Dib, AddTable, Red, Green, Blue);
}

void RGBContrast(TFastDIB& Dib, int Red, int Green, int Blue)
{
    applyAmounts(Dib, ContrastTable, Red, Green, Blue);
}

void RGBLightness(TFastDIB& Dib, int Red, int Green, int Blue)
{
    applyAmounts(Dib, LightnessTable, Red, Green, Blue);
}

void AdjustSaturation(TFastDIB& Dib, int Amount)
{
    // A[k] = floor(a (k + 1) / 256), 64-bit so that no amount overflows. The gray table holds
    // m - A[m] for every sum of three channels; with a of 255 or 256, A[k] is k (k + 1 at 256
    // cancels out), so the neutral setting leaves every pixel as it was.
    std::array<qint64, 256> A;
    for (int k = 0; k < 256; ++k) {
        const qint64 p = qint64(Amount) * (k + 1);
        A[k] = p >= 0 ? p / 256 : -((-p + 255) / 256);
    }
    std::array<qint64, 768> G;
    for (int s = 0; s < 768; ++s) {
        const int m = s / 3;
        G[s] = m - A[m];
    }
    auto channel = [&A](qint64 base, quint8 c) { return quint8(std::clamp<qint64>(base + A[c], 0, 255)); };
    mapColours(Dib, [&](TFColor c) {
        const qint64 base = G[c.b + c.g + c.r];
        return TFColor{channel(base, c.b), channel(base, c.g), channel(base, c.r)};
    });
}
