// Mirroring, flipping and rotations of image buffers.
#include "image/Geometry.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <utility>
#include <vector>

namespace {

bool wholeBytePixels(int bpp)
{
    return bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

bool hasPixels(const TFastDIB& Dib)
{
    return Dib.Scanlines && Dib.Info.Header.Width > 0 && Dib.AbsHeight > 0;
}

// Sizes Dst after a copy of Src's header with another width and height; the row order (bottom-up
// or top-down) stays Src's.
void sizeLike(const TFastDIB& Src, TFastDIB& Dst, int width, int height)
{
    TBMInfo info;
    std::memcpy(&info, &Src.Info, sizeof info);
    if (info.Header.BitCount <= 8 && Src.Colors != Src.Info.Colors) // a sub-image uses its parent's palette
        std::memcpy(info.Colors, Src.Colors, sizeof info.Colors);
    info.Header.Width = width;
    info.Header.Height = Src.Info.Header.Height < 0 ? -height : height;
    Dst.SetSizeIndirect(info);
}

// Memory row of picture row y (counted from the top).
inline int memoryRow(const TFastDIB& Dib, int y)
{
    return Dib.Info.Header.Height > 0 ? Dib.AbsHeight - 1 - y : y;
}

// Picture coordinates: clockwise, Dst(x, y) = Src(y, H - 1 - x); counter-clockwise,
// Dst(x, y) = Src(W - 1 - y, x), with W and H the source's width and height.
void quarterTurn(const TFastDIB& Src, TFastDIB& Dst, bool clockwise)
{
    if (&Src == &Dst)
        return;
    const int w = Src.Info.Header.Width;
    const int h = Src.AbsHeight;
    sizeLike(Src, Dst, h, w);
    if (!hasPixels(Src) || !hasPixels(Dst) || !wholeBytePixels(Src.Info.Header.BitCount))
        return;
    const int bytes = Src.Info.Header.BitCount / 8;
    // Source rows by picture row, so the inner loop only indexes.
    std::vector<const quint8*> srcRow(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        srcRow[size_t(y)] = Src.Pixels8[memoryRow(Src, y)];
    for (int y = 0; y < w; ++y) { // Dst picture row
        quint8* out = Dst.Pixels8[memoryRow(Dst, y)];
        const qint64 column = qint64(clockwise ? y : w - 1 - y) * bytes;
        for (int x = 0; x < h; ++x, out += bytes) {
            const int sy = clockwise ? h - 1 - x : x;
            std::memcpy(out, srcRow[size_t(sy)] + column, size_t(bytes));
        }
    }
}

// 16-bit channels widened by shifting them up to 8 bits (low bits 0) and narrowed back.
struct Channels16 {
    std::vector<quint8> wr, wg, wb; // 65536 entries each
    std::array<quint16, 256> nr{}, ng{}, nb{};
    explicit Channels16(const TFastDIB& Dib)
        : wr(65536), wg(65536), wb(65536)
    {
        for (quint32 v = 0; v < 65536; ++v) {
            wr[v] = quint8(((v & Dib.Info.RMask) >> Dib.RShl) << Dib.RShr);
            wg[v] = quint8(((v & Dib.Info.GMask) >> Dib.GShl) << Dib.GShr);
            wb[v] = quint8((v & Dib.Info.BMask) << Dib.BShr);
        }
        for (int c = 0; c < 256; ++c) {
            nr[c] = quint16(((c >> Dib.RShr) << Dib.RShl) & Dib.Info.RMask);
            ng[c] = quint16(((c >> Dib.GShr) << Dib.GShl) & Dib.Info.GMask);
            nb[c] = quint16((c >> Dib.BShr) & Dib.Info.BMask);
        }
    }
};

inline quint8 lerp(int a, int b, qint32 f)
{
    // The shift is arithmetic: a falling difference rounds towards minus infinity.
    return quint8(a + (((b - a) * f) >> 16));
}

} // namespace

void MirrorRows(TFastDIB& Dib)
{
    if (!hasPixels(Dib))
        return;
    const int bpp = Dib.Info.Header.BitCount;
    const int width = Dib.Info.Header.Width;
    if (bpp == 1 || bpp == 4) {
        // Sub-byte pixels are exchanged one by one, so a partly used last byte mirrors exactly.
        for (int y = 0; y < Dib.AbsHeight; ++y)
            for (int i = 0, j = width - 1; i < j; ++i, --j) {
                const quint8 a = Dib.GetPixelB(y, i);
                Dib.SetPixelB(y, i, Dib.GetPixelB(y, j));
                Dib.SetPixelB(y, j, a);
            }
        return;
    }
    if (!wholeBytePixels(bpp))
        return;
    const int bytes = bpp / 8;
    quint8 tmp[4];
    for (int y = 0; y < Dib.AbsHeight; ++y) {
        quint8* left = Dib.Pixels8[y];
        quint8* right = left + qint64(width - 1) * bytes;
        for (; left < right; left += bytes, right -= bytes) {
            std::memcpy(tmp, left, size_t(bytes));
            std::memcpy(left, right, size_t(bytes));
            std::memcpy(right, tmp, size_t(bytes));
        }
    }
}

void FlipRows(TFastDIB& Dib)
{
    if (!hasPixels(Dib))
        return;
    const qint64 rowBytes = qint64(Dib.BWidth) - Dib.Gap;
    std::vector<quint8> buffer(static_cast<size_t>(rowBytes));
    for (int i = 0, j = Dib.AbsHeight - 1; i < j; ++i, --j) {
        std::memcpy(buffer.data(), Dib.Pixels8[i], size_t(rowBytes));
        std::memcpy(Dib.Pixels8[i], Dib.Pixels8[j], size_t(rowBytes));
        std::memcpy(Dib.Pixels8[j], buffer.data(), size_t(rowBytes));
    }
}

void Rotate90CW(const TFastDIB& Src, TFastDIB& Dst)
{
    quarterTurn(Src, Dst, true);
}

void Rotate90CCW(const TFastDIB& Src, TFastDIB& Dst)
{
    quarterTurn(Src, Dst, false);
}

void RotatedSize(const TFastDIB& Src, TFastDIB& Dst, double Angle)
{
    const double a = std::abs(Angle) * std::numbers::pi / 180.0;
    const double w = Src.Info.Header.Width;
    const double h = Src.AbsHeight;
    const int width = Round(std::abs(std::cos(a) * w) + std::abs(std::sin(a) * h) + 0.4);
    const int height = Round(std::abs(std::sin(a) * w) + std::abs(std::cos(a) * h) + 0.4);
    sizeLike(Src, Dst, width, height);
}

void RotateAngle(const TFastDIB& Src, TFastDIB& Dst, bool Smooth, double Angle)
{
    RotateAngleRows(Src, Dst, Smooth, Angle, 0, Dst.AbsHeight);
}

void RotateAngleRows(const TFastDIB& Src, TFastDIB& Dst, bool Smooth, double Angle, int FirstRow, int EndRow)
{
    const double a = Angle * std::numbers::pi / 180.0;
    const int sine = Round(std::sin(a) * 65536.0);
    const int cosine = Round(std::cos(a) * 65536.0);
    RotateFixedRows(Src, Dst, Dst.Info.Header.Width >> 1, Dst.AbsHeight >> 1, sine, cosine, Smooth, FirstRow, EndRow);
}

void RotateFixed(const TFastDIB& Src, TFastDIB& Dst, int cx, int cy, int sine, int cosine, bool Smooth)
{
    RotateFixedRows(Src, Dst, cx, cy, sine, cosine, Smooth, 0, Dst.AbsHeight);
}

void RotateFixedRows(const TFastDIB& Src, TFastDIB& Dst, int cx, int cy, int sine, int cosine, bool Smooth,
                     int FirstRow, int EndRow)
{
    const int bpp = Dst.Info.Header.BitCount;
    if (!wholeBytePixels(bpp) || Src.Info.Header.BitCount != bpp || !hasPixels(Src) || !hasPixels(Dst)
        || &Src == &Dst)
        return;
    const int bytes = bpp / 8;
    const qint64 sw = Src.Info.Header.Width, sh = Src.AbsHeight;
    const qint64 dw = Dst.Info.Header.Width, dh = Dst.AbsHeight;

    // 16.16 positions in 64 bits: on images wider or taller than 32767 pixels 32 bits would wrap.
    const qint64 S = sine, C = cosine;
    const qint64 dx = ((sw - dw) * 65536) >> 1;
    const qint64 dy = ((sh - dh) * 65536) >> 1;

    std::unique_ptr<Channels16> ch16;
    if (bpp == 16 && Smooth)
        ch16 = std::make_unique<Channels16>(Dst);

    for (qint64 Y = std::max(FirstRow, 0); Y < std::min<qint64>(EndRow, dh); ++Y) {
        qint64 xs = 65536 * qint64(cx) - qint64(cx) * C + (cy - Y) * S + dx;
        qint64 ys = 65536 * qint64(cy) - qint64(cx) * S - (cy - Y) * C + dy;
        quint8* out = Dst.Pixels8[Y];
        for (qint64 X = 0; X < dw; ++X, xs += C, ys += S, out += bytes) {
            if (!Smooth) {
                // Positions left of or below the source count as far outside.
                if (xs >= 0 && ys >= 0 && (xs >> 16) < sw && (ys >> 16) < sh)
                    std::memcpy(out, Src.Pixels8[ys >> 16] + (xs >> 16) * bytes, size_t(bytes));
                continue;
            }
            const qint64 x0 = xs >> 16, y0 = ys >> 16;
            if (xs < -65536 || ys < -65536 || x0 >= sw || y0 >= sh)
                continue;
            const qint32 fx = qint32(xs & 0xFFFF), fy = qint32(ys & 0xFFFF);
            // A sample beyond the source's border stands in as the destination's current pixel.
            auto sample = [&](qint64 x, qint64 y) -> const quint8* {
                if (x < 0 || y < 0 || x >= sw || y >= sh)
                    return out;
                return Src.Pixels8[y] + x * bytes;
            };
            const quint8* a = sample(x0, y0);
            const quint8* b = sample(x0 + 1, y0);
            const quint8* c = sample(x0, y0 + 1);
            const quint8* d = sample(x0 + 1, y0 + 1);
            auto blend = [fx, fy](int va, int vb, int vc, int vd) {
                const quint8 top = lerp(va, vb, fx);
                const quint8 bottom = lerp(vc, vd, fx);
                return lerp(top, bottom, fy);
            };
            if (bpp == 16) {
                quint16 pa, pb, pc, pd;
                std::memcpy(&pa, a, 2);
                std::memcpy(&pb, b, 2);
                std::memcpy(&pc, c, 2);
                std::memcpy(&pd, d, 2);
                const Channels16& t = *ch16;
                const quint16 v = quint16(t.nr[blend(t.wr[pa], t.wr[pb], t.wr[pc], t.wr[pd])]
                                          | t.ng[blend(t.wg[pa], t.wg[pb], t.wg[pc], t.wg[pd])]
                                          | t.nb[blend(t.wb[pa], t.wb[pb], t.wb[pc], t.wb[pd])]);
                std::memcpy(out, &v, 2);
                continue;
            }
            // 8 bits blend the index as a number; 24 and 32 bits blue, green, red (the fourth stays).
            const int channels = bpp == 8 ? 1 : 3;
            for (int k = 0; k < channels; ++k)
                out[k] = blend(a[k], b[k], c[k], d[k]);
        }
    }
}
