// Nearest-neighbour resize and the two-pass filtered resampler with its sixteen kernels.
// Results are bit-exact to the fixed-point recipe: weights Round(K × 65536), sums below 1 taken
// as 1, each pass dividing with a truncating division after adding half the sum, clamped to 0..255.
#include "image/Resample.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>
#include <vector>

namespace {

constexpr double Pi = std::numbers::pi;

double sinc(double a)
{
    if (a == 0.0)
        return 1.0;
    const double x = Pi * a;
    return std::sin(x) / x;
}

// Kernel value at distance x; every kernel is evaluated on |x|.
double kernelValue(int kernel, double x)
{
    const double a = std::fabs(x);
    switch (kernel) {
    case rkPoint:
        return 1.0;
    case rkBox:
        return a <= 0.5 ? 1.0 : 0.0;
    case rkTriangle:
        return a < 1.0 ? 1.0 - a : 0.0;
    case rkCosine:
        return a < 1.0 ? 0.5 + 0.5 * std::cos(Pi * a) : 0.0;
    case rkHamming:
        return a < 1.0 ? 0.54 + 0.46 * std::cos(Pi * a) : 0.0;
    case rkHermite:
        return a < 1.0 ? 2.0 * a * a * a - 3.0 * a * a + 1.0 : 0.0;
    case rkQuadraticBell:
        if (a < 0.5)
            return 0.75 - a * a;
        if (a < 1.5)
            return 0.5 * (a - 1.5) * (a - 1.5);
        return 0.0;
    case rkCatmullRom:
        if (a < 1.0)
            return (3.0 * a * a * a - 5.0 * a * a + 2.0) / 2.0;
        if (a < 2.0)
            return (-a * a * a + 5.0 * a * a - 8.0 * a + 4.0) / 2.0;
        return 0.0;
    case rkBSpline:
        if (a < 1.0)
            return (3.0 * a * a * (a - 2.0) + 4.0) / 6.0;
        if (a < 2.0)
            return (2.0 - a) * (2.0 - a) * (2.0 - a) / 6.0;
        return 0.0;
    case rkSpline16:
        if (a < 1.0)
            return a * a * a - 1.8 * a * a - 0.2 * a + 1.0;
        if (a < 2.0) {
            const double c = a - 1.0;
            return -c * c * c / 3.0 + 0.8 * c * c - (7.0 / 15.0) * c;
        }
        return 0.0;
    case rkMitchell:
        if (a < 1.0)
            return (7.0 / 6.0) * a * a * a - 2.0 * a * a + 8.0 / 9.0;
        if (a < 2.0)
            return -(7.0 / 18.0) * a * a * a + 2.0 * a * a - (10.0 / 3.0) * a + 16.0 / 9.0;
        return 0.0;
    case rkGaussian:
        return a < 2.0 ? std::exp(-2.0 * a * a) * 0.7978845608 : 0.0;
    case rkSpline36:
        if (a < 1.0)
            return (13.0 / 11.0) * a * a * a - (453.0 / 209.0) * a * a - (3.0 / 209.0) * a + 1.0;
        if (a < 2.0) {
            const double c = a - 1.0;
            return -(6.0 / 11.0) * c * c * c + (270.0 / 209.0) * c * c - (156.0 / 209.0) * c;
        }
        if (a < 3.0) {
            const double c = a - 2.0;
            return (1.0 / 11.0) * c * c * c - (45.0 / 209.0) * c * c + (26.0 / 209.0) * c;
        }
        return 0.0;
    case rkSinc:
        return a < 3.0 ? sinc(a) : 0.0;
    case rkLanczos3:
        return a < 3.0 ? sinc(a) * sinc(a / 3.0) : 0.0;
    case rkBlackmanSinc:
        return a < 3.0 ? (0.42 + 0.5 * std::cos(Pi * a / 3.0) + 0.08 * std::cos(2.0 * Pi * a / 3.0)) * sinc(a)
                       : 0.0;
    default:
        return 0.0;
    }
}

// Distance beyond which the kernel is 0, in source pixels.
double kernelSupport(int kernel)
{
    static constexpr double support[ResampleKernelCount] = {0.0, 0.5, 1, 1, 1, 1, 1.5, 2, 2, 2, 2, 2, 3, 3, 3, 3};
    return support[kernel];
}

struct Tap {
    int index;  // source column or memory row
    int weight; // 16.16
};

// For every destination position the contributing source positions with their weights. Taps of
// weight 0 (outside the source, or where the kernel vanishes) add nothing and are left out.
struct WeightList {
    std::vector<Tap> taps;
    std::vector<size_t> start; // position p uses taps[start[p] .. start[p + 1])
    std::vector<int> sum;      // sum of p's weights, at least 1
};

WeightList buildWeights(int srcSize, int dstSize, int kernel)
{
    WeightList list;
    const double scale = double(dstSize) / double(srcSize);
    const double support = kernelSupport(kernel);
    const double width = scale >= 1.0 ? support : support / scale;
    const int half = Trunc(width);
    const qint64 taps = 2 * qint64(half) + 1;

    list.start.reserve(size_t(dstSize) + 1);
    list.sum.reserve(size_t(dstSize));
    list.start.push_back(0);
    for (int j = 0; j < dstSize; ++j) {
        // Kept in this order (j / scale, not j × (1 / scale)): a centre that lies on a half goes
        // to Round, and its neighbour depends on the last bit of the double.
        const double centre = j / scale - (1.0 - 1.0 / scale) * 0.5;
        const qint64 first = half == 0 ? Round64(centre) : qint64(CeilInt(centre - width));
        int sum = 0;
        for (qint64 t = 0; t < taps; ++t) {
            const qint64 i = first + t;
            if (i < 0 || i >= srcSize)
                continue;
            const double d = centre - double(i);
            const double k = scale >= 1.0 ? kernelValue(kernel, d) : scale * kernelValue(kernel, scale * d);
            const int weight = Round(k * 65536.0);
            sum += weight;
            if (weight != 0)
                list.taps.push_back({int(i), weight});
        }
        list.sum.push_back(sum < 1 ? 1 : sum);
        list.start.push_back(list.taps.size());
    }
    return list;
}

inline quint8 clampByte(qint64 v)
{
    return quint8(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// (Σ value × weight + sum div 2) div sum, the division truncating toward zero as the integer
// division of the original does for negative totals near sharp edges.
inline quint8 normalise(qint64 total, int sum)
{
    return clampByte((total + sum / 2) / sum);
}

// First pass: one row of C-byte pixels filtered horizontally.
template <int C>
void filterRow(const quint8* src, quint8* dst, const WeightList& list, int dstWidth)
{
    for (int j = 0; j < dstWidth; ++j) {
        qint64 acc[C] = {};
        for (size_t t = list.start[j]; t < list.start[j + 1]; ++t) {
            const quint8* p = src + size_t(list.taps[t].index) * C;
            const int w = list.taps[t].weight;
            for (int c = 0; c < C; ++c)
                acc[c] += qint64(p[c]) * w;
        }
        const int sum = list.sum[j];
        for (int c = 0; c < C; ++c)
            dst[size_t(j) * C + c] = normalise(acc[c], sum);
    }
}

// 16-bit pixels as 8-bit channels, each shifted left to 8 bits with zero low bits.
void widenRow16(const TFastDIB& dib, const quint16* src, quint8* dst, int width)
{
    const quint32 bMask = dib.Info.BMask, gMask = dib.Info.GMask, rMask = dib.Info.RMask;
    for (int x = 0; x < width; ++x) {
        const quint32 p = src[x];
        dst[3 * x + 0] = quint8((p & bMask) << dib.BShr);
        dst[3 * x + 1] = quint8(((p & gMask) >> dib.GShl) << dib.GShr);
        dst[3 * x + 2] = quint8(((p & rMask) >> dib.RShl) << dib.RShr);
    }
}

void narrowRow16(const TFastDIB& dib, const quint8* src, quint16* dst, int width)
{
    for (int x = 0; x < width; ++x) {
        const quint32 b = src[3 * x], g = src[3 * x + 1], r = src[3 * x + 2];
        dst[x] = quint16(((r >> dib.RShr) << dib.RShl) | ((g >> dib.GShr) << dib.GShl) | (b >> dib.BShr));
    }
}

template <int C>
void resampleChannels(const TFastDIB& Src, TFastDIB& Dst, int kernel)
{
    const int srcW = Src.Info.Header.Width, srcH = Src.AbsHeight;
    const int dstW = Dst.Info.Header.Width, dstH = Dst.AbsHeight;
    const bool packed16 = Src.Info.Header.BitCount == 16;

    const WeightList horizontal = buildWeights(srcW, dstW, kernel);
    const WeightList vertical = buildWeights(srcH, dstH, kernel);

    // Intermediate image: destination width, source rows, C bytes a pixel, no padding.
    const size_t midStride = size_t(dstW) * C;
    std::vector<quint8> mid(midStride * size_t(srcH));
    std::vector<quint8> unpacked(packed16 ? size_t(srcW) * 3 : 0);
    for (int y = 0; y < srcH; ++y) {
        const quint8* row = static_cast<const quint8*>(Src.Scanlines[y]);
        if (packed16) {
            widenRow16(Src, reinterpret_cast<const quint16*>(row), unpacked.data(), srcW);
            row = unpacked.data();
        }
        filterRow<C>(row, mid.data() + size_t(y) * midStride, horizontal, dstW);
    }

    // Second pass: the same filter down the columns, one destination row at a time so the
    // intermediate rows are read in order.
    std::vector<qint64> acc(midStride);
    std::vector<quint8> out(packed16 ? midStride : 0);
    for (int r = 0; r < dstH; ++r) {
        std::fill(acc.begin(), acc.end(), 0);
        for (size_t t = vertical.start[r]; t < vertical.start[r + 1]; ++t) {
            const quint8* row = mid.data() + size_t(vertical.taps[t].index) * midStride;
            const qint64 w = vertical.taps[t].weight;
            for (size_t k = 0; k < midStride; ++k)
                acc[k] += row[k] * w;
        }
        const int sum = vertical.sum[r];
        quint8* dst = packed16 ? out.data() : static_cast<quint8*>(Dst.Scanlines[r]);
        for (size_t k = 0; k < midStride; ++k)
            dst[k] = normalise(acc[k], sum);
        if (packed16)
            narrowRow16(Dst, out.data(), static_cast<quint16*>(Dst.Scanlines[r]), dstW);
    }
}

bool hasPixels(const TFastDIB& dib)
{
    return dib.Scanlines && dib.Info.Header.Width > 0 && dib.AbsHeight > 0;
}

template <int Bytes>
void copyNearestRows(const TFastDIB& Src, TFastDIB& Dst, const std::vector<size_t>& columns, quint64 sy)
{
    const int dstW = Dst.Info.Header.Width;
    for (int j = 0; j < Dst.AbsHeight; ++j) {
        const size_t srcRow = size_t(((sy >> 1) + quint64(j) * sy) >> 16);
        const quint8* s = static_cast<const quint8*>(Src.Scanlines[srcRow]);
        quint8* d = static_cast<quint8*>(Dst.Scanlines[j]);
        for (int i = 0; i < dstW; ++i, d += Bytes)
            std::memcpy(d, s + columns[i], Bytes);
    }
}

} // namespace

int CeilInt(double x)
{
    const int t = Trunc(x);
    return (x - double(t)) > 0.0 ? t + 1 : t;
}

void ResizeNearest(const TFastDIB& Src, TFastDIB& Dst)
{
    if (!hasPixels(Src) || !hasPixels(Dst))
        return;
    const int bpp = Src.Info.Header.BitCount;
    if (Dst.Info.Header.BitCount != bpp || (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32))
        return;
    const int bytes = bpp / 8;

    // 16.16 steps in 64 bits: Src width × 65536 passes 32 bits from 65536 pixels on, and the
    // running offset j × step reaches Src width × 65536 at the last position.
    const quint64 sx = (quint64(Src.Info.Header.Width) << 16) / quint64(Dst.Info.Header.Width);
    const quint64 sy = (quint64(Src.AbsHeight) << 16) / quint64(Dst.AbsHeight);

    std::vector<size_t> columns(size_t(Dst.Info.Header.Width));
    for (size_t i = 0; i < columns.size(); ++i)
        columns[i] = size_t(((sx >> 1) + i * sx) >> 16) * size_t(bytes);

    switch (bytes) {
    case 1: copyNearestRows<1>(Src, Dst, columns, sy); break;
    case 2: copyNearestRows<2>(Src, Dst, columns, sy); break;
    case 3: copyNearestRows<3>(Src, Dst, columns, sy); break;
    case 4: copyNearestRows<4>(Src, Dst, columns, sy); break;
    }
}

void ResampleFiltered(const TFastDIB& Src, TFastDIB& Dst, int Kernel)
{
    if (Kernel < 0 || Kernel >= ResampleKernelCount)
        return;
    if (!hasPixels(Src) || !hasPixels(Dst))
        return;
    const int bpp = Dst.Info.Header.BitCount;
    if (Src.Info.Header.BitCount != bpp)
        return;
    try {
        switch (bpp) {
        case 8: resampleChannels<1>(Src, Dst, Kernel); break;
        case 16: // through 24-bit channels
        case 24: resampleChannels<3>(Src, Dst, Kernel); break;
        case 32: resampleChannels<4>(Src, Dst, Kernel); break;
        default: break;
        }
    } catch (const std::bad_alloc&) {
        // Image operations report nothing; the destination keeps what it held.
    }
}
