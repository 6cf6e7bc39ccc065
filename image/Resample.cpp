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

// For every destination position the weights (16.16) of a run of neighbouring source positions.
// Taps outside the source, and zero weights at either end of the run, add nothing and are left out.
struct WeightList {
    std::vector<int> weights;
    std::vector<size_t> start; // position p: weights[start[p] .. start[p + 1]) ...
    std::vector<int> first;    // ... for source positions first[p] onward
    std::vector<int> sum;      // sum of p's weights, at least 1
    qint64 bound = 0;          // largest |Σ 255 × weight| + sum div 2 of any position
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
    list.first.reserve(size_t(dstSize));
    list.sum.reserve(size_t(dstSize));
    list.start.push_back(0);
    for (int j = 0; j < dstSize; ++j) {
        // Kept in this order (j / scale, not j × (1 / scale)): a centre that lies on a half goes
        // to Round, and its neighbour depends on the last bit of the double.
        const double centre = j / scale - (1.0 - 1.0 / scale) * 0.5;
        const qint64 first = half == 0 ? Round64(centre) : qint64(CeilInt(centre - width));
        int sum = 0;
        qint64 absolute = 0;
        qint64 runStart = -1; // source position of weights[list.start.back()]
        for (qint64 t = 0; t < taps; ++t) {
            const qint64 i = first + t;
            if (i < 0 || i >= srcSize)
                continue;
            const double d = centre - double(i);
            const double k = scale >= 1.0 ? kernelValue(kernel, d) : scale * kernelValue(kernel, scale * d);
            const int weight = Round(k * 65536.0);
            sum += weight;
            absolute += weight < 0 ? -qint64(weight) : weight;
            if (runStart < 0 && weight == 0)
                continue;
            if (runStart < 0)
                runStart = i;
            list.weights.push_back(weight);
        }
        while (list.weights.size() > list.start.back() && list.weights.back() == 0)
            list.weights.pop_back();
        list.first.push_back(runStart < 0 ? 0 : int(runStart));
        list.sum.push_back(sum < 1 ? 1 : sum);
        list.bound = std::max(list.bound, 255 * absolute + list.sum.back() / 2);
        list.start.push_back(list.weights.size());
    }
    return list;
}

// Divisors of one pass, one per destination byte of a row (the first pass) or per row (the
// second), with half of each for the rounding.
struct Divisors {
    std::vector<qint64> half;
    std::vector<qint64> sum;
    std::vector<double> inverse; // 1 / sum
};

Divisors divisorsOf(const WeightList& list, int repeat)
{
    Divisors d;
    for (const int sum : list.sum)
        for (int c = 0; c < repeat; ++c) {
            d.half.push_back(sum / 2);
            d.sum.push_back(sum);
            d.inverse.push_back(1.0 / sum);
        }
    return d;
}

// (Σ value × weight + sum div 2) div sum limited to 0..255. The division truncates toward zero,
// so every negative numerator ends as 0. For a numerator t ≥ 0 below 2^31, (t + 0.5) / sum is never
// a whole number and lies at least 0.5 / sum from one, far beyond the rounding error of the
// multiplication by 1 / sum, so truncating it gives t div sum without an integer division.
template <typename Acc>
inline quint8 normalise(Acc total, qint64 half, qint64 sum, double inverse)
{
    if constexpr (sizeof(Acc) == 4) {
        const Acc t = total + Acc(half);
        if (t < 0)
            return 0;
        const qint32 q = qint32((double(t) + 0.5) * inverse);
        return quint8(q > 255 ? 255 : q);
    } else {
        const qint64 q = (total + half) / sum;
        return quint8(q < 0 ? 0 : (q > 255 ? 255 : q));
    }
}

// First pass: one row of C-byte pixels filtered horizontally.
template <int C, typename Acc>
void filterRow(const quint8* src, quint8* dst, const WeightList& list, const Divisors& d, Acc* acc, int dstWidth)
{
    for (int j = 0; j < dstWidth; ++j) {
        // One named total per channel keeps them in registers.
        Acc a0 = 0, a1 = 0, a2 = 0, a3 = 0;
        const quint8* p = src + size_t(list.first[j]) * C;
        const int* w = list.weights.data() + list.start[j];
        const size_t n = list.start[j + 1] - list.start[j];
        for (size_t t = 0; t < n; ++t, p += C) {
            const Acc wt = w[t];
            a0 += Acc(p[0]) * wt;
            if constexpr (C >= 3) {
                a1 += Acc(p[1]) * wt;
                a2 += Acc(p[2]) * wt;
            }
            if constexpr (C == 4)
                a3 += Acc(p[3]) * wt;
        }
        Acc* out = acc + size_t(j) * C;
        out[0] = a0;
        if constexpr (C >= 3) {
            out[1] = a1;
            out[2] = a2;
        }
        if constexpr (C == 4)
            out[3] = a3;
    }
    const size_t n = size_t(dstWidth) * C;
    for (size_t k = 0; k < n; ++k)
        dst[k] = normalise<Acc>(acc[k], d.half[k], d.sum[k], d.inverse[k]);
}

// Second pass for one destination row: the weighted intermediate rows, added column by column.
template <typename Acc>
void filterColumns(const quint8* mid, size_t midStride, const WeightList& list, const Divisors& d, int r, Acc* acc,
                   quint8* dst)
{
    std::fill(acc, acc + midStride, Acc(0));
    for (size_t t = list.start[r]; t < list.start[r + 1]; ++t) {
        const quint8* row = mid + (size_t(list.first[r]) + (t - list.start[r])) * midStride;
        const Acc w = list.weights[t];
        for (size_t k = 0; k < midStride; ++k)
            acc[k] += Acc(row[k]) * w;
    }
    const qint64 half = d.half[r], sum = d.sum[r];
    const double inverse = d.inverse[r];
    for (size_t k = 0; k < midStride; ++k)
        dst[k] = normalise<Acc>(acc[k], half, sum, inverse);
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

template <int C, typename Acc>
void filterPasses(const TFastDIB& Src, TFastDIB& Dst, const WeightList& horizontal, const WeightList& vertical)
{
    const int srcW = Src.Info.Header.Width, srcH = Src.AbsHeight;
    const int dstW = Dst.Info.Header.Width, dstH = Dst.AbsHeight;
    const bool packed16 = Src.Info.Header.BitCount == 16;
    const Divisors across = divisorsOf(horizontal, C);
    const Divisors down = divisorsOf(vertical, 1);

    // Intermediate image: destination width, source rows, C bytes a pixel, no padding.
    const size_t midStride = size_t(dstW) * C;
    std::vector<quint8> mid(midStride * size_t(srcH));
    std::vector<quint8> unpacked(packed16 ? size_t(srcW) * 3 : 0);
    std::vector<quint8> packedOut(packed16 ? midStride : 0);
    std::vector<Acc> acc(midStride);

    for (int y = 0; y < srcH; ++y) {
        const quint8* row = static_cast<const quint8*>(Src.Scanlines[y]);
        if (packed16) {
            widenRow16(Src, reinterpret_cast<const quint16*>(row), unpacked.data(), srcW);
            row = unpacked.data();
        }
        filterRow<C, Acc>(row, mid.data() + size_t(y) * midStride, horizontal, across, acc.data(), dstW);
    }

    // Second pass: the same filter down the columns, one destination row at a time so the
    // intermediate rows are read in order.
    for (int r = 0; r < dstH; ++r) {
        quint8* dst = packed16 ? packedOut.data() : static_cast<quint8*>(Dst.Scanlines[r]);
        filterColumns<Acc>(mid.data(), midStride, vertical, down, r, acc.data(), dst);
        if (packed16)
            narrowRow16(Dst, packedOut.data(), static_cast<quint16*>(Dst.Scanlines[r]), dstW);
    }
}

template <int C>
void resampleChannels(const TFastDIB& Src, TFastDIB& Dst, int kernel)
{
    const WeightList horizontal = buildWeights(Src.Info.Header.Width, Dst.Info.Header.Width, kernel);
    const WeightList vertical = buildWeights(Src.AbsHeight, Dst.AbsHeight, kernel);
    // Totals fit 32 bits for every practical list (a weight sum near 65536 gives about 2^24);
    // lists whose weights add up to far more take 64-bit totals, with the same results.
    const qint64 bound = std::max(horizontal.bound, vertical.bound);
    if (bound < (qint64(1) << 31))
        filterPasses<C, qint32>(Src, Dst, horizontal, vertical);
    else
        filterPasses<C, qint64>(Src, Dst, horizontal, vertical);
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
