// Nearest-neighbour resize and the two-pass filtered resampler with its sixteen kernels.
// Results are bit-exact to the fixed-point recipe: weights Round(K × 65536), sums below 1 taken
// as 1, each pass dividing with a truncating division after adding half the sum, clamped to 0..255.
// Faster roads give the same bytes: one-tap lists (the point kernel) copy pixels, the first pass
// filters only the rows the second reads, AVX2 multiplies 16-bit pairs where weights fit, and
// large images are filtered by several threads, each row by one of them.
#include "image/Resample.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <memory>
#include <new>
#include <numbers>
#include <vector>

#include <immintrin.h>
#include <sys/mman.h>

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
    std::vector<qint32> half32;  // half, for the 32-bit totals' vector road
};

Divisors divisorsOf(const WeightList& list, int repeat)
{
    Divisors d;
    for (const int sum : list.sum)
        for (int c = 0; c < repeat; ++c) {
            d.half.push_back(sum / 2);
            d.sum.push_back(sum);
            d.inverse.push_back(1.0 / sum);
            d.half32.push_back(qint32(sum / 2));
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

// ---- the passes ----------------------------------------------------------------------------------
// Every road below gives the recipe's integers: totals are exact integer sums whatever order
// the taps are added in, and each byte is divided as the recipe divides.

// A list where every position takes one tap whose weight is its sum copies values unchanged:
// (v × w + w div 2) div w = v for 0 ≤ v ≤ 255 and w > 0. The point kernel always gives one.
bool singleTaps(const WeightList& list)
{
    for (size_t p = 0; p + 1 < list.start.size(); ++p)
        if (list.start[p + 1] - list.start[p] != 1 || list.weights[list.start[p]] != list.sum[p]
            || list.sum[p] <= 0)
            return false;
    return true;
}

// Weights that fit 16 bits, for the vector roads that multiply 16-bit pairs into 32-bit sums.
bool shortWeights(const WeightList& list)
{
    for (const int w : list.weights)
        if (w < -32768 || w > 32767)
            return false;
    return true;
}

// First pass, one tap a position: the pixels at the taps' columns.
template <int C>
void gatherRow(const quint8* src, quint8* dst, const WeightList& list, int dstWidth)
{
    for (int j = 0; j < dstWidth; ++j)
        std::memcpy(dst + size_t(j) * C, src + size_t(list.first[j]) * C, C);
}

// First pass: one row of C-byte pixels filtered horizontally, totals into acc.
template <int C, typename Acc>
void sumRowTaps(const quint8* src, const WeightList& list, Acc* acc, int dstWidth)
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
}

template <typename Acc>
void normaliseRow(const Acc* acc, quint8* dst, size_t n, const qint64* half, const qint64* sum, const double* inverse)
{
    for (size_t k = 0; k < n; ++k)
        dst[k] = normalise<Acc>(acc[k], half[k], sum[k], inverse[k]);
}

// Second pass for one destination row: the n intermediate rows from `rows` on, weighted and added
// column by column.
template <typename Acc>
void sumColumnTaps(const quint8* rows, size_t stride, const int* w, size_t n, Acc* acc)
{
    std::fill(acc, acc + stride, Acc(0));
    for (size_t t = 0; t < n; ++t) {
        const quint8* row = rows + t * stride;
        const Acc wt = w[t];
        for (size_t k = 0; k < stride; ++k)
            acc[k] += Acc(row[k]) * wt;
    }
}

// ---- vector roads (AVX2) ---------------------------------------------------------------------------

// The widest vectors the caller allows (SetResampleVectorBits).
std::atomic<int> vectorBitsAllowed{256};

bool hasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && vectorBitsAllowed.load(std::memory_order_relaxed) >= 256;
}

// The first pass's weights as 16-bit numbers, each position's run padded with zeros to whole
// vectors of 16, for the channel planes below.
struct PaddedTaps {
    std::vector<qint16> weights;
    std::vector<size_t> offset; // position p's weights start here ...
    std::vector<int> blocks;    // ... and fill this many vectors
    int widest = 0;             // the most taps any position reads, padding included
};

PaddedTaps padTaps(const WeightList& list)
{
    PaddedTaps taps;
    const size_t positions = list.first.size();
    taps.offset.reserve(positions);
    taps.blocks.reserve(positions);
    for (size_t p = 0; p < positions; ++p) {
        const size_t n = list.start[p + 1] - list.start[p];
        const int blocks = int((n + 15) / 16);
        taps.offset.push_back(taps.weights.size());
        taps.blocks.push_back(blocks);
        for (size_t t = 0; t < size_t(blocks) * 16; ++t)
            taps.weights.push_back(t < n ? qint16(list.weights[list.start[p] + t]) : qint16(0));
        taps.widest = std::max(taps.widest, blocks * 16);
    }
    return taps;
}

// The 16 bytes of one channel out of 48 bytes of pixels, widened to 16 bits.
__attribute__((target("avx2"))) inline __m256i pickChannel(__m128i a, __m128i b, __m128i c, const __m128i* masks)
{
    return _mm256_cvtepu8_epi16(_mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, masks[0]), _mm_shuffle_epi8(b, masks[1])),
                                             _mm_shuffle_epi8(c, masks[2])));
}

// One row's channels as 16-bit planes: plane c holds channel c of every pixel, then zeros, so a
// run of taps padded to whole vectors can read past the last pixel.
__attribute__((target("avx2"))) void splitChannels(const quint8* src, int width, int channels, qint16* planes,
                                                   size_t planeStride)
{
    int x = 0;
    if (channels == 3) {
        // 16 pixels from 48 bytes: byte 3i + c of the three loads goes to lane i of plane c.
        static const std::array<std::array<std::array<qint8, 16>, 3>, 3> masks = [] {
            std::array<std::array<std::array<qint8, 16>, 3>, 3> m{};
            for (int c = 0; c < 3; ++c)
                for (int part = 0; part < 3; ++part)
                    for (int i = 0; i < 16; ++i) {
                        const int byte = 3 * i + c - 16 * part;
                        m[c][part][i] = byte >= 0 && byte < 16 ? qint8(byte) : qint8(-1);
                    }
            return m;
        }();
        __m128i m[3][3];
        for (int c = 0; c < 3; ++c)
            for (int part = 0; part < 3; ++part)
                m[c][part] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(masks[c][part].data()));
        qint16* plane0 = planes;
        qint16* plane1 = planes + planeStride;
        qint16* plane2 = planes + 2 * planeStride;
        for (; x + 16 <= width; x += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x + 32));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(plane0 + x), pickChannel(a, b, c, m[0]));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(plane1 + x), pickChannel(a, b, c, m[1]));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(plane2 + x), pickChannel(a, b, c, m[2]));
        }
    } else if (channels == 1) {
        for (; x + 16 <= width; x += 16)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(planes + x),
                                _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x))));
    }
    for (; x < width; ++x)
        for (int c = 0; c < channels; ++c)
            planes[c * planeStride + x] = src[size_t(x) * channels + c];
}

__attribute__((target("avx2"))) inline __m256i load256(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// Pairs of 16-bit values times pairs of 16-bit weights, added onto 32-bit sums.
__attribute__((target("avx2"))) inline __m256i addProducts(__m256i sums, const qint16* values, __m256i weights)
{
    return _mm256_add_epi32(sums, _mm256_madd_epi16(load256(values), weights));
}

__attribute__((target("avx2"))) inline qint32 addLanes(__m256i v)
{
    __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0x4E));
    x = _mm_add_epi32(x, _mm_shuffle_epi32(x, 0xB1));
    return _mm_cvtsi128_si32(x);
}

// First pass over channel planes: for every position and channel the padded taps, 16 at a time.
// `acc` has room for one total more than the row holds.
template <int C>
__attribute__((target("avx2"))) void sumRowTapsAvx2(const qint16* planes, size_t planeStride, const WeightList& list,
                                                    const PaddedTaps& taps, qint32* acc, int dstWidth)
{
    for (int j = 0; j < dstWidth; ++j) {
        const qint16* w = taps.weights.data() + taps.offset[j];
        const qint16* p = planes + list.first[j];
        const int blocks = taps.blocks[j];
        if constexpr (C == 3) {
            __m256i s0 = _mm256_setzero_si256(), s1 = _mm256_setzero_si256(), s2 = _mm256_setzero_si256();
            for (int b = 0; b < blocks; ++b) {
                const __m256i weights = load256(w + 16 * b);
                s0 = addProducts(s0, p + 16 * b, weights);
                s1 = addProducts(s1, p + planeStride + 16 * b, weights);
                s2 = addProducts(s2, p + 2 * planeStride + 16 * b, weights);
            }
            // The three sums' lanes added in one tree: (s0, s1, s2, s2), the fourth written over next.
            const __m256i h = _mm256_hadd_epi32(_mm256_hadd_epi32(s0, s1), _mm256_hadd_epi32(s2, s2));
            const __m128i total = _mm_add_epi32(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + size_t(j) * 3), total);
        } else {
            for (int c = 0; c < C; ++c) {
                __m256i sum = _mm256_setzero_si256();
                for (int b = 0; b < blocks; ++b)
                    sum = addProducts(sum, p + c * planeStride + 16 * b, load256(w + 16 * b));
                acc[size_t(j) * C + c] = addLanes(sum);
            }
        }
    }
}

// (t + half) div sum limited to 0..255 for eight totals at a time, by the multiplication with
// 1 / sum that `normalise` explains. `half` and `inverse` step along with the totals, or stay
// (step 0) for a whole row.
__attribute__((target("avx2"))) void normaliseAvx2(const qint32* acc, quint8* dst, size_t n, const qint32* half,
                                                   const double* inverse, int step)
{
    size_t k = 0;
    const __m256i zero = _mm256_setzero_si256();
    const __m256d point5 = _mm256_set1_pd(0.5);
    for (; k + 8 <= n; k += 8) {
        const size_t at = step ? k : 0;
        const __m256i halves = step ? load256(half + at) : _mm256_set1_epi32(half[0]);
        const __m256i t = _mm256_max_epi32(_mm256_add_epi32(load256(acc + k), halves), zero);
        const __m256d inverseLow = step ? _mm256_loadu_pd(inverse + at) : _mm256_set1_pd(inverse[0]);
        const __m256d inverseHigh = step ? _mm256_loadu_pd(inverse + at + 4) : inverseLow;
        const __m256d low = _mm256_add_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(t)), point5);
        const __m256d high = _mm256_add_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(t, 1)), point5);
        const __m128i qLow = _mm256_cvttpd_epi32(_mm256_mul_pd(low, inverseLow));
        const __m128i qHigh = _mm256_cvttpd_epi32(_mm256_mul_pd(high, inverseHigh));
        // Saturating packs limit to 0..255; every quotient is at least 0 here.
        const __m128i words = _mm_packs_epi32(qLow, qHigh);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + k), _mm_packus_epi16(words, words));
    }
    for (; k < n; ++k) {
        const size_t at = step ? k : 0;
        dst[k] = normalise<qint32>(acc[k], half[at], 0, inverse[at]);
    }
}

// Second pass, 16 columns at a time: two rows' bytes interleaved and multiplied by their two
// weights in one step.
__attribute__((target("avx2"))) void sumColumnTapsAvx2(const quint8* rows, size_t stride, const int* w, size_t n,
                                                       qint32* acc)
{
    size_t k = 0;
    for (; k + 16 <= stride; k += 16) {
        __m256i low = _mm256_setzero_si256(), high = _mm256_setzero_si256();
        for (size_t t = 0; t < n; t += 2) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows + t * stride + k));
            const bool pair = t + 1 < n;
            const __m128i b = pair ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows + (t + 1) * stride + k))
                                   : _mm_setzero_si128();
            const __m256i weights = _mm256_set1_epi32(int((quint32(pair ? w[t + 1] : 0) << 16) | quint16(w[t])));
            low = _mm256_add_epi32(low, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(a, b)), weights));
            high = _mm256_add_epi32(high, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(a, b)), weights));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc + k), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(acc + k + 8), high);
    }
    for (; k < stride; ++k) {
        qint32 total = 0;
        for (size_t t = 0; t < n; ++t)
            total += qint32(rows[t * stride + k]) * w[t];
        acc[k] = total;
    }
}

// ---- both passes ------------------------------------------------------------------------------------

// An uninitialised buffer for the intermediate image, in 2 MB pages where the system gives them:
// tens of megabytes written once would otherwise fault in 4 KB at a time. Freed with std::free.
quint8* largeBuffer(size_t bytes)
{
    constexpr size_t Huge = size_t(2) << 20;
    if (bytes < Huge)
        return static_cast<quint8*>(std::malloc(bytes));
    const size_t rounded = (bytes + Huge - 1) / Huge * Huge;
    void* p = std::aligned_alloc(Huge, rounded);
    if (p)
        madvise(p, rounded, MADV_HUGEPAGE);
    return static_cast<quint8*>(p);
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


// ---- threads ----------------------------------------------------------------------------------------

// Threads a resample may use, the calling one included.
std::atomic<int> threadLimit{0}; // 0: one per processor thread

int threadsToUse()
{
    const int limit = threadLimit.load(std::memory_order_relaxed);
    return std::max(1, limit > 0 ? limit : QThread::idealThreadCount());
}

// The helpers' pool, apart from the toolkit's global one so that neither waits on the other.
// Never destroyed: its idle threads end with the process.
QThreadPool& helperPool()
{
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setExpiryTimeout(30000);
        return p;
    }();
    return *pool;
}

// Runs body(worker, first, end) over [0, count) in chunks handed out in turn to up to `workers`
// threads, the calling thread among them; returns when every chunk is done. Small jobs, and
// any job when a single thread is allowed, run on the calling thread alone. `body` must not throw.
template <class Body>
void inChunks(qint64 count, qint64 chunk, int workers, Body&& body)
{
    const qint64 chunks = (count + chunk - 1) / chunk;
    workers = int(std::min<qint64>(workers, chunks));
    if (workers <= 1) {
        body(0, qint64(0), count);
        return;
    }
    std::atomic<qint64> next{0};
    auto work = [&](int worker) {
        for (qint64 c = next.fetch_add(1); c < chunks; c = next.fetch_add(1))
            body(worker, c * chunk, std::min(count, (c + 1) * chunk));
    };
    QThreadPool& pool = helperPool();
    if (pool.maxThreadCount() < workers - 1)
        pool.setMaxThreadCount(workers - 1);
    std::latch done(workers - 1);
    for (int w = 1; w < workers; ++w)
        pool.start([&work, &done, w] {
            work(w);
            done.count_down();
        });
    work(0);
    done.wait();
}

// Source pixels a thread filters at least before another one is worth starting.
constexpr qint64 PixelsPerThread = qint64(1) << 18;

template <int C, typename Acc>
void filterPasses(const TFastDIB& Src, TFastDIB& Dst, const WeightList& horizontal, const WeightList& vertical)
{
    const int srcW = Src.Info.Header.Width, srcH = Src.AbsHeight;
    const int dstW = Dst.Info.Header.Width, dstH = Dst.AbsHeight;
    const bool packed16 = Src.Info.Header.BitCount == 16;
    const Divisors across = divisorsOf(horizontal, C);
    const Divisors down = divisorsOf(vertical, 1);

    // Only the source rows the second pass reads are filtered across (a 1:22 point reduction
    // reads one in 22). Each position reads a run of neighbouring rows, so the kept rows of one
    // run lie next to each other in the intermediate image too.
    std::vector<qint64> slot(size_t(srcH), -1);
    for (int r = 0; r < dstH; ++r)
        for (size_t t = vertical.start[r]; t < vertical.start[r + 1]; ++t)
            slot[size_t(vertical.first[r]) + (t - vertical.start[r])] = 0;
    std::vector<int> keptRows;
    for (int y = 0; y < srcH; ++y)
        if (slot[size_t(y)] == 0) {
            slot[size_t(y)] = qint64(keptRows.size());
            keptRows.push_back(y);
        } else {
            slot[size_t(y)] = -1;
        }
    const qint64 kept = qint64(keptRows.size());

    // Intermediate image: destination width, the kept source rows, C bytes a pixel, no padding.
    const size_t midStride = size_t(dstW) * C;
    const size_t midBytes = midStride * size_t(std::max<qint64>(kept, 1));
    const std::unique_ptr<quint8, void (*)(void*)> owned(largeBuffer(midBytes), std::free);
    if (!owned)
        throw std::bad_alloc();
    quint8* const mid = owned.get();

    constexpr bool exactIn32 = sizeof(Acc) == 4;
    const bool gather = singleTaps(horizontal);
    const bool vectorAcross = exactIn32 && !gather && hasAvx2() && shortWeights(horizontal);
    PaddedTaps taps;
    size_t planeStride = 0;
    if (vectorAcross) {
        taps = padTaps(horizontal);
        planeStride = size_t(srcW) + size_t(taps.widest) + 16;
    }

    // Each thread's rows of work. Made here, so that no thread allocates.
    const qint64 sourcePixels = kept * srcW;
    const int workers = int(std::clamp<qint64>(sourcePixels / PixelsPerThread, 1, threadsToUse()));
    struct Scratch {
        std::vector<quint8> unpacked, packedOut;
        std::vector<Acc> acc;
        std::vector<qint16> planes;
    };
    std::vector<Scratch> scratch(static_cast<size_t>(workers));
    for (Scratch& s : scratch) {
        s.unpacked.resize(packed16 ? size_t(srcW) * 3 : 0);
        s.packedOut.resize(packed16 ? midStride : 0);
        s.acc.resize(midStride + 4); // room for the vector road's spare total
        if (vectorAcross)
            s.planes.assign(planeStride * C, 0);
    }

    // First pass, in chunks of kept rows; every thread writes its own rows of the intermediate image.
    const qint64 rowsPerChunk = std::max<qint64>(1, (qint64(1) << 16) / std::max(srcW, 1));
    inChunks(kept, rowsPerChunk, workers, [&](int worker, qint64 first, qint64 end) {
        Scratch& s = scratch[size_t(worker)];
        for (qint64 k = first; k < end; ++k) {
            const quint8* row = static_cast<const quint8*>(Src.Scanlines[keptRows[size_t(k)]]);
            if (packed16) {
                widenRow16(Src, reinterpret_cast<const quint16*>(row), s.unpacked.data(), srcW);
                row = s.unpacked.data();
            }
            quint8* out = mid + size_t(k) * midStride;
            if (gather) {
                gatherRow<C>(row, out, horizontal, dstW);
                continue;
            }
            if constexpr (exactIn32) {
                if (vectorAcross) {
                    splitChannels(row, srcW, C, s.planes.data(), planeStride);
                    sumRowTapsAvx2<C>(s.planes.data(), planeStride, horizontal, taps, s.acc.data(), dstW);
                    normaliseAvx2(s.acc.data(), out, midStride, across.half32.data(), across.inverse.data(), 1);
                    continue;
                }
            }
            sumRowTaps<C, Acc>(row, horizontal, s.acc.data(), dstW);
            normaliseRow<Acc>(s.acc.data(), out, midStride, across.half.data(), across.sum.data(),
                              across.inverse.data());
        }
    });

    // Second pass: the same filter down the columns, one destination row at a time so the
    // intermediate rows are read in order.
    const bool copy = singleTaps(vertical);
    const bool vectorDown = exactIn32 && !copy && hasAvx2() && shortWeights(vertical);
    const qint64 outRowsPerChunk = std::max<qint64>(1, (qint64(1) << 14) / std::max<qint64>(qint64(midStride), 1));
    inChunks(dstH, outRowsPerChunk, workers, [&](int worker, qint64 first, qint64 end) {
        Scratch& s = scratch[size_t(worker)];
        for (int r = int(first); r < int(end); ++r) {
            quint8* dst = packed16 ? s.packedOut.data() : static_cast<quint8*>(Dst.Scanlines[r]);
            const size_t n = vertical.start[r + 1] - vertical.start[r];
            const quint8* rows = n ? mid + size_t(slot[size_t(vertical.first[r])]) * midStride : nullptr;
            if (copy) {
                std::memcpy(dst, rows, midStride);
            } else {
                const int* w = vertical.weights.data() + vertical.start[r];
                bool done = false;
                if constexpr (exactIn32) {
                    if (vectorDown) {
                        sumColumnTapsAvx2(rows, midStride, w, n, s.acc.data());
                        normaliseAvx2(s.acc.data(), dst, midStride, &down.half32[size_t(r)], &down.inverse[size_t(r)], 0);
                        done = true;
                    }
                }
                if (!done) {
                    sumColumnTaps<Acc>(rows, midStride, w, n, s.acc.data());
                    const qint64 half = down.half[r], sum = down.sum[r];
                    const double inverse = down.inverse[r];
                    for (size_t k = 0; k < midStride; ++k)
                        dst[k] = normalise<Acc>(s.acc[k], half, sum, inverse);
                }
            }
            if (packed16)
                narrowRow16(Dst, s.packedOut.data(), static_cast<quint16*>(Dst.Scanlines[r]), dstW);
        }
    });
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

void SetResampleVectorBits(int bits)
{
    vectorBitsAllowed.store(bits, std::memory_order_relaxed);
}

void SetResampleThreads(int count)
{
    threadLimit.store(std::max(0, count), std::memory_order_relaxed);
}

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
