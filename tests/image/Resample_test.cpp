// Nearest-neighbour resize and the filtered resampler against references written here from the
// fixed-point recipe: kernel weights Round(K × 65536), sums below 1 taken as 1, two passes of
// (Σ value × weight + sum div 2) div sum clamped to 0..255.
#include "image/Resample.h"
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr double Pi = std::numbers::pi;

// ---- images ------------------------------------------------------------------------------------

// Pixel layouts the resampler handles; 16-bit images come as 5-5-5 and 5-6-5.
struct Layout {
    int bpp;
    int greenBits; // 16 bits only
    const char* name;
};

constexpr Layout layouts[] = {
    {8, 0, "8"}, {16, 5, "16 (5-5-5)"}, {16, 6, "16 (5-6-5)"}, {24, 0, "24"}, {32, 0, "32"},
};

void sizeDib(TFastDIB& dib, int w, int h, const Layout& layout)
{
    if (layout.bpp == 16)
        dib.SetSizeEx(w, h, 16, 5, quint8(layout.greenBits), 5);
    else
        dib.SetSize(w, h, quint8(layout.bpp));
}

int pixelBytes(const Layout& layout)
{
    return layout.bpp / 8;
}

void fillRandom(TFastDIB& dib, const Layout& layout, unsigned seed)
{
    std::mt19937 rng(seed);
    const int bytes = dib.Info.Header.Width * pixelBytes(layout);
    for (int y = 0; y < dib.AbsHeight; ++y) {
        auto* row = static_cast<quint8*>(dib.Scanlines[y]);
        for (int i = 0; i < bytes; ++i)
            row[i] = quint8(rng());
    }
}

void fillBytes(TFastDIB& dib, quint8 value)
{
    if (!dib.Scanlines || !dib.Bits)
        return;
    for (int y = 0; y < dib.AbsHeight; ++y)
        std::memset(dib.Scanlines[y], value, size_t(dib.BWidth));
}

std::vector<quint8> allRows(const TFastDIB& dib)
{
    std::vector<quint8> bytes;
    if (!dib.Scanlines || !dib.Bits)
        return bytes;
    for (int y = 0; y < dib.AbsHeight; ++y) {
        const auto* row = static_cast<const quint8*>(dib.Scanlines[y]);
        bytes.insert(bytes.end(), row, row + dib.BWidth);
    }
    return bytes;
}

// Channels of one image as plain integers: rows × columns × channels.
struct Planes {
    int w = 0, h = 0, channels = 0;
    std::vector<int> v;
    int& at(int y, int x, int c) { return v[(size_t(y) * w + x) * channels + c]; }
    int at(int y, int x, int c) const { return v[(size_t(y) * w + x) * channels + c]; }
};

int channelsOf(const Layout& layout)
{
    return layout.bpp == 8 ? 1 : (layout.bpp == 32 ? 4 : 3);
}

quint32 raw16(const TFastDIB& dib, int y, int x)
{
    const auto* row = static_cast<const quint8*>(dib.Scanlines[y]);
    return quint32(row[2 * x]) | (quint32(row[2 * x + 1]) << 8);
}

// 16-bit channels shifted left to 8 bits with zero low bits, as the resampler sees them.
Planes readPlanes(const TFastDIB& dib, const Layout& layout)
{
    Planes p{dib.Info.Header.Width, dib.AbsHeight, channelsOf(layout), {}};
    p.v.resize(size_t(p.w) * p.h * p.channels);
    for (int y = 0; y < p.h; ++y) {
        const auto* row = static_cast<const quint8*>(dib.Scanlines[y]);
        for (int x = 0; x < p.w; ++x) {
            if (layout.bpp == 16) {
                const quint32 v = raw16(dib, y, x);
                const int g = layout.greenBits;
                p.at(y, x, 0) = int(v & 31) << 3;
                p.at(y, x, 1) = int((v >> 5) & ((1u << g) - 1)) << (8 - g);
                p.at(y, x, 2) = int((v >> (5 + g)) & 31) << 3;
            } else {
                for (int c = 0; c < p.channels; ++c)
                    p.at(y, x, c) = row[x * p.channels + c];
            }
        }
    }
    return p;
}

// What the destination's memory should hold for channel values p.
std::vector<quint8> packPlanes(const Planes& p, const Layout& layout)
{
    std::vector<quint8> out;
    for (int y = 0; y < p.h; ++y) {
        for (int x = 0; x < p.w; ++x) {
            if (layout.bpp == 16) {
                const int g = layout.greenBits;
                const quint32 v = quint32(p.at(y, x, 0) >> 3) | (quint32(p.at(y, x, 1) >> (8 - g)) << 5)
                    | (quint32(p.at(y, x, 2) >> 3) << (5 + g));
                out.push_back(quint8(v));
                out.push_back(quint8(v >> 8));
            } else {
                for (int c = 0; c < p.channels; ++c)
                    out.push_back(quint8(p.at(y, x, c)));
            }
        }
    }
    return out;
}

std::vector<quint8> pixelBytesOf(const TFastDIB& dib, const Layout& layout)
{
    std::vector<quint8> out;
    const int bytes = dib.Info.Header.Width * pixelBytes(layout);
    for (int y = 0; y < dib.AbsHeight; ++y) {
        const auto* row = static_cast<const quint8*>(dib.Scanlines[y]);
        out.insert(out.end(), row, row + bytes);
    }
    return out;
}

// First differing byte as "row r, column c: got g, expected e".
::testing::AssertionResult samePixels(const std::vector<quint8>& got, const std::vector<quint8>& expected, int width,
                                      int bytesPerPixel)
{
    if (got.size() != expected.size())
        return ::testing::AssertionFailure() << "sizes differ: " << got.size() << " vs " << expected.size();
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != expected[i]) {
            const size_t pixel = i / bytesPerPixel;
            return ::testing::AssertionFailure()
                << "first difference at row " << pixel / width << ", column " << pixel % width << ", byte "
                << i % bytesPerPixel << ": got " << int(got[i]) << ", expected " << int(expected[i]);
        }
    }
    return ::testing::AssertionSuccess();
}

// ---- the reference resampler -------------------------------------------------------------------

double refSinc(double a)
{
    return a == 0 ? 1.0 : std::sin(Pi * a) / (Pi * a);
}

double refKernel(int k, double x)
{
    const double a = std::abs(x);
    switch (k) {
    case 0: return 1;
    case 1: return a <= 0.5 ? 1 : 0;
    case 2: return a < 1 ? 1 - a : 0;
    case 3: return a < 1 ? 0.5 + 0.5 * std::cos(Pi * a) : 0;
    case 4: return a < 1 ? 0.54 + 0.46 * std::cos(Pi * a) : 0;
    case 5: return a < 1 ? 2 * a * a * a - 3 * a * a + 1 : 0;
    case 6: return a < 0.5 ? 0.75 - a * a : (a < 1.5 ? 0.5 * (a - 1.5) * (a - 1.5) : 0);
    case 7:
        return a < 1 ? (3 * a * a * a - 5 * a * a + 2) / 2 : (a < 2 ? (-a * a * a + 5 * a * a - 8 * a + 4) / 2 : 0);
    case 8: return a < 1 ? (3 * a * a * (a - 2) + 4) / 6 : (a < 2 ? (2 - a) * (2 - a) * (2 - a) / 6 : 0);
    case 9:
        if (a < 1)
            return a * a * a - 1.8 * a * a - 0.2 * a + 1;
        if (a < 2)
            return -(a - 1) * (a - 1) * (a - 1) / 3 + 0.8 * (a - 1) * (a - 1) - (7.0 / 15.0) * (a - 1);
        return 0;
    case 10:
        if (a < 1)
            return (7.0 / 6.0) * a * a * a - 2 * a * a + 8.0 / 9.0;
        if (a < 2)
            return -(7.0 / 18.0) * a * a * a + 2 * a * a - (10.0 / 3.0) * a + 16.0 / 9.0;
        return 0;
    case 11: return a < 2 ? std::exp(-2 * a * a) * 0.7978845608 : 0;
    case 12:
        if (a < 1)
            return (13.0 / 11.0) * a * a * a - (453.0 / 209.0) * a * a - (3.0 / 209.0) * a + 1;
        if (a < 2)
            return -(6.0 / 11.0) * (a - 1) * (a - 1) * (a - 1) + (270.0 / 209.0) * (a - 1) * (a - 1)
                - (156.0 / 209.0) * (a - 1);
        if (a < 3)
            return (1.0 / 11.0) * (a - 2) * (a - 2) * (a - 2) - (45.0 / 209.0) * (a - 2) * (a - 2)
                + (26.0 / 209.0) * (a - 2);
        return 0;
    case 13: return a < 3 ? refSinc(a) : 0;
    case 14: return a < 3 ? refSinc(a) * refSinc(a / 3) : 0;
    case 15:
        return a < 3 ? (0.42 + 0.5 * std::cos(Pi * a / 3) + 0.08 * std::cos(2 * Pi * a / 3)) * refSinc(a) : 0;
    }
    return 0;
}

constexpr double refSupport[16] = {0, 0.5, 1, 1, 1, 1, 1.5, 2, 2, 2, 2, 2, 3, 3, 3, 3};

// Every tap, zero weights included, as the recipe lists them.
struct RefList {
    std::vector<long long> first; // first source position of each destination position
    std::vector<std::vector<long long>> weights;
    std::vector<long long> sum;
};

RefList refWeights(int src, int dst, int kernel)
{
    RefList list;
    const double scale = double(dst) / double(src);
    const double w = scale >= 1 ? refSupport[kernel] : refSupport[kernel] / scale;
    const long long taps = 2 * (long long)std::trunc(w) + 1;
    for (int j = 0; j < dst; ++j) {
        const double centre = j / scale - (1 - 1 / scale) * 0.5;
        const long long first = std::trunc(w) == 0 ? (long long)std::nearbyint(centre) : (long long)std::ceil(centre - w);
        std::vector<long long> weights;
        long long sum = 0;
        for (long long t = 0; t < taps; ++t) {
            const long long i = first + t;
            long long weight = 0;
            if (i >= 0 && i < src) {
                const double k = scale >= 1 ? refKernel(kernel, centre - i) : scale * refKernel(kernel, scale * (centre - i));
                weight = (long long)std::nearbyint(k * 65536);
            }
            weights.push_back(weight);
            sum += weight;
        }
        list.first.push_back(first);
        list.weights.push_back(weights);
        list.sum.push_back(sum < 1 ? 1 : sum);
    }
    return list;
}

int refDivide(long long total, long long sum, bool* clamped)
{
    const long long v = (total + sum / 2) / sum; // C++ division truncates toward zero, as div does
    if (v < 0 || v > 255) {
        if (clamped)
            *clamped = true;
        return v < 0 ? 0 : 255;
    }
    return int(v);
}

// First pass along each row, second pass down each column of the intermediate image.
Planes refResample(const Planes& src, int dstW, int dstH, int kernel, bool* clamped = nullptr)
{
    const RefList hl = refWeights(src.w, dstW, kernel);
    Planes mid{dstW, src.h, src.channels, std::vector<int>(size_t(dstW) * src.h * src.channels)};
    for (int y = 0; y < src.h; ++y)
        for (int j = 0; j < dstW; ++j)
            for (int c = 0; c < src.channels; ++c) {
                long long total = 0;
                for (size_t t = 0; t < hl.weights[j].size(); ++t) {
                    const long long i = hl.first[j] + (long long)t;
                    if (i >= 0 && i < src.w)
                        total += src.at(y, int(i), c) * hl.weights[j][t];
                }
                mid.at(y, j, c) = refDivide(total, hl.sum[j], clamped);
            }
    const RefList vl = refWeights(src.h, dstH, kernel);
    Planes out{dstW, dstH, src.channels, std::vector<int>(size_t(dstW) * dstH * src.channels)};
    for (int x = 0; x < dstW; ++x)
        for (int r = 0; r < dstH; ++r)
            for (int c = 0; c < src.channels; ++c) {
                long long total = 0;
                for (size_t t = 0; t < vl.weights[r].size(); ++t) {
                    const long long i = vl.first[r] + (long long)t;
                    if (i >= 0 && i < src.h)
                        total += mid.at(int(i), x, c) * vl.weights[r][t];
                }
                out.at(r, x, c) = refDivide(total, vl.sum[r], clamped);
            }
    return out;
}

struct SizeCase {
    int srcW, srcH, dstW, dstH;
};

constexpr SizeCase sizeCases[] = {
    {7, 5, 13, 9},  // enlarging both ways
    {13, 9, 5, 4},  // reducing both ways
    {9, 3, 4, 7},   // reducing across, enlarging down
    {2, 2, 4, 4},   // doubling: centres fall on halves
    {1, 1, 5, 3},   // one source pixel
    {5, 3, 1, 1},   // one destination pixel
    {1, 6, 3, 1},
    {11, 4, 11, 4}, // same size
    // Sizes for the vector roads: rows of 16 pixels and more, runs of many taps, rows skipped.
    {150, 70, 7, 3},   // 1:21, as a zoomed-out view
    {64, 40, 32, 20},  // half size
    {97, 31, 45, 30},  // reducing across, nearly the same down
    {40, 300, 41, 13}, // tall, reduced down
};

// ---- filtered resampling -----------------------------------------------------------------------

class ResampleKernels : public ::testing::TestWithParam<int> {};

TEST_P(ResampleKernels, MatchesTheFixedPointReferenceAtEveryDepthAndSize)
{
    const int kernel = GetParam();
    unsigned seed = 1;
    for (const int bits : {256, 0}) {
        SetResampleVectorBits(bits);
        for (const Layout& layout : layouts) {
            for (const SizeCase& s : sizeCases) {
                SCOPED_TRACE(::testing::Message() << bits << "-bit vectors, depth " << layout.name << ", " << s.srcW
                                                  << "x" << s.srcH << " -> " << s.dstW << "x" << s.dstH);
                TFastDIB src, dst;
                sizeDib(src, s.srcW, s.srcH, layout);
                sizeDib(dst, s.dstW, s.dstH, layout);
                ASSERT_TRUE(src.Scanlines && dst.Scanlines);
                fillRandom(src, layout, seed++);
                fillBytes(dst, 0x5A); // every pixel must be written

                const Planes expected = refResample(readPlanes(src, layout), s.dstW, s.dstH, kernel);
                ResampleFiltered(src, dst, kernel);
                EXPECT_TRUE(samePixels(pixelBytesOf(dst, layout), packPlanes(expected, layout), s.dstW,
                                       pixelBytes(layout)));
            }
        }
    }
    SetResampleVectorBits(256);
}

TEST_P(ResampleKernels, OneColourStaysThatColour)
{
    const int kernel = GetParam();
    const Layout layout{24, 0, "24"};
    for (const SizeCase& s : sizeCases) {
        TFastDIB src, dst;
        src.SetSize(s.srcW, s.srcH, 24);
        dst.SetSize(s.dstW, s.dstH, 24);
        for (int y = 0; y < src.AbsHeight; ++y)
            for (int x = 0; x < s.srcW; ++x)
                src.Pixels24[y][x] = TFColor{37, 142, 250};
        ResampleFiltered(src, dst, kernel);
        const std::vector<quint8> got = pixelBytesOf(dst, layout);
        std::vector<quint8> expected;
        for (int i = 0; i < s.dstW * s.dstH; ++i)
            expected.insert(expected.end(), {37, 142, 250});
        EXPECT_TRUE(samePixels(got, expected, s.dstW, 3))
            << s.srcW << "x" << s.srcH << " -> " << s.dstW << "x" << s.dstH;
    }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, ResampleKernels, ::testing::Range(0, 16));

TEST(ResampleFiltered, PointKernelDoublingSamplesColumnsByRoundedCentre)
{
    // Centres -0.25, 0.25, 0.75, 1.25 round (halves to even) to columns 0, 0, 1, 1.
    TFastDIB src, dst;
    src.SetSize(2, 1, 8);
    dst.SetSize(4, 1, 8);
    src.Pixels8[0][0] = 10;
    src.Pixels8[0][1] = 200;
    ResampleFiltered(src, dst, rkPoint);
    const int expected[] = {10, 10, 200, 200};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(dst.Pixels8[0][x], expected[x]) << "column " << x;
}

TEST(ResampleFiltered, TriangleHalvingWeighsFiveTaps)
{
    // Column 0: centre 0.5, taps -1..3 with weights 0, 24576, 24576, 8192, 0 (sum 57344), so
    // (0·24576 + 100·24576 + 200·8192 + 28672) div 57344 = 71.
    TFastDIB src, dst;
    src.SetSize(4, 1, 8);
    dst.SetSize(2, 1, 8);
    const quint8 values[] = {0, 100, 200, 255};
    for (int x = 0; x < 4; ++x)
        src.Pixels8[0][x] = values[x];
    ResampleFiltered(src, dst, rkTriangle);
    EXPECT_EQ(dst.Pixels8[0][0], 71);
}

TEST(ResampleFiltered, SharpEdgesUnderSincKernelsAreClampedTo0And255)
{
    for (int kernel : {int(rkSinc), int(rkLanczos3), int(rkBlackmanSinc)}) {
        TFastDIB src, dst;
        src.SetSize(8, 1, 8);
        dst.SetSize(29, 1, 8);
        for (int x = 0; x < 8; ++x)
            src.Pixels8[0][x] = (x / 2) % 2 ? 255 : 0;
        Planes p{8, 1, 1, std::vector<int>(8)};
        for (int x = 0; x < 8; ++x)
            p.at(0, x, 0) = src.Pixels8[0][x];
        bool clamped = false;
        const Planes expected = refResample(p, 29, 1, kernel, &clamped);
        ASSERT_TRUE(clamped) << "kernel " << kernel << " should overshoot on this edge";
        ResampleFiltered(src, dst, kernel);
        for (int x = 0; x < 29; ++x)
            ASSERT_EQ(dst.Pixels8[0][x], expected.at(0, x, 0)) << "kernel " << kernel << ", column " << x;
    }
}

TEST(ResampleFiltered, RefusedCallsLeaveTheDestinationAlone)
{
    struct Case {
        const char* what;
        int kernel;
        int dstW, dstH, dstBpp;
    };
    const Case cases[] = {
        {"kernel 16", 16, 4, 4, 24},
        {"kernel -1", -1, 4, 4, 24},
        {"depth differs", rkGaussian, 4, 4, 32},
        {"destination width 0", rkGaussian, 0, 4, 24},
    };
    for (const Case& c : cases) {
        TFastDIB src, dst;
        src.SetSize(6, 5, 24);
        fillRandom(src, Layout{24, 0, "24"}, 7);
        dst.SetSize(c.dstW, c.dstH, quint8(c.dstBpp));
        fillBytes(dst, 0x33);
        const std::vector<quint8> before = allRows(dst);
        ResampleFiltered(src, dst, c.kernel);
        EXPECT_EQ(allRows(dst), before) << c.what;
    }

    TFastDIB empty, dst;
    dst.SetSize(3, 3, 24);
    fillBytes(dst, 0x44);
    const std::vector<quint8> before = allRows(dst);
    ResampleFiltered(empty, dst, rkGaussian);
    ResizeNearest(empty, dst);
    EXPECT_EQ(allRows(dst), before) << "empty source";
}

TEST(ResampleFiltered, WideSourceReducesLikeTheReference)
{
    struct Case {
        int srcW, dstW, kernel;
        const char* what;
    } cases[] = {
        // Each destination column weighs 20001 taps; positions and the intermediate image stay in range.
        {70000, 7, rkTriangle, "70000 columns into 7"},
        // A point weight of Round(65536 / 140000) = 0: no tap at all, every pixel 0.
        {140000, 1, rkPoint, "140000 columns into 1"},
        {140000, 3, rkGaussian, "140000 columns into 3"},
    };
    const Layout layout{24, 0, "24"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TFastDIB src, dst;
        src.SetSize(c.srcW, 2, 24);
        dst.SetSize(c.dstW, 1, 24);
        fillRandom(src, layout, 99);
        fillBytes(dst, 0x5A);
        const Planes expected = refResample(readPlanes(src, layout), c.dstW, 1, c.kernel);
        ResampleFiltered(src, dst, c.kernel);
        EXPECT_TRUE(samePixels(pixelBytesOf(dst, layout), packPlanes(expected, layout), c.dstW, 3));
    }
}

TEST(ResampleFiltered, LargeImagesSplitOverThreadsGiveTheReferenceBytes)
{
    // Large enough for several threads, each taking chunks of rows in both passes; the chunks'
    // ends fall inside the runs of rows that one destination row reads.
    struct Case {
        Layout layout;
        int kernel, srcW, srcH, dstW, dstH;
    } cases[] = {
        {{24, 0, "24"}, rkGaussian, 1500, 700, 61, 29},
        {{24, 0, "24"}, rkLanczos3, 1500, 700, 113, 301},
        {{32, 0, "32"}, rkTriangle, 1300, 600, 97, 45},
        {{16, 6, "16 (5-6-5)"}, rkMitchell, 1300, 600, 50, 70},
        {{8, 0, "8"}, rkBox, 2000, 900, 90, 40},
    };
    for (const int threads : {4, 1}) {
        SetResampleThreads(threads);
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << threads << " threads, depth " << c.layout.name << ", kernel " << c.kernel);
            TFastDIB src, dst;
            sizeDib(src, c.srcW, c.srcH, c.layout);
            sizeDib(dst, c.dstW, c.dstH, c.layout);
            fillRandom(src, c.layout, unsigned(c.kernel + 11));
            fillBytes(dst, 0x5A);
            const Planes expected = refResample(readPlanes(src, c.layout), c.dstW, c.dstH, c.kernel);
            ResampleFiltered(src, dst, c.kernel);
            EXPECT_TRUE(samePixels(pixelBytesOf(dst, c.layout), packPlanes(expected, c.layout), c.dstW,
                                   pixelBytes(c.layout)));
        }
    }
    SetResampleThreads(0);
}

TEST(CeilInt, GivesTheSmallestIntegerNotBelow)
{
    struct Case {
        double x;
        int expected;
    };
    const Case cases[] = {{0.0, 0}, {-0.0, 0}, {1.0, 1}, {1.2, 2}, {0.5, 1}, {-1.2, -1}, {-2.0, -2}, {-0.5, 0}, {1e-12, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(CeilInt(c.x), c.expected) << c.x;
}

// ---- nearest neighbour -------------------------------------------------------------------------

// Source position of destination position i: the centre of its span in 16.16, computed in
// 64 bits.
long long nearestSource(long long src, long long dst, long long i)
{
    const unsigned long long step = ((unsigned long long)src << 16) / (unsigned long long)dst;
    return (long long)(((step >> 1) + (unsigned long long)i * step) >> 16);
}

TEST(ResizeNearest, SamplesTheCentreOfEachSpan)
{
    // The documented mappings first, then the formula on odd sizes.
    EXPECT_EQ(nearestSource(4, 2, 0), 1);
    EXPECT_EQ(nearestSource(4, 2, 1), 3);
    EXPECT_EQ(nearestSource(2, 4, 1), 0);
    EXPECT_EQ(nearestSource(2, 4, 2), 1);

    const SizeCase cases[] = {{4, 2, 2, 4}, {2, 4, 4, 2}, {7, 3, 3, 7}, {3, 7, 7, 3}, {1, 1, 5, 4}, {5, 4, 1, 1}, {9, 5, 9, 5}};
    unsigned seed = 11;
    for (const Layout& layout : layouts) {
        for (const SizeCase& s : cases) {
            SCOPED_TRACE(::testing::Message() << "depth " << layout.name << ", " << s.srcW << "x" << s.srcH << " -> "
                                              << s.dstW << "x" << s.dstH);
            TFastDIB src, dst;
            sizeDib(src, s.srcW, s.srcH, layout);
            sizeDib(dst, s.dstW, s.dstH, layout);
            fillRandom(src, layout, seed++);
            fillBytes(dst, 0x5A);
            const int bytes = pixelBytes(layout);
            std::vector<quint8> expected;
            for (int j = 0; j < s.dstH; ++j) {
                const auto* row = static_cast<const quint8*>(src.Scanlines[nearestSource(s.srcH, s.dstH, j)]);
                for (int i = 0; i < s.dstW; ++i) {
                    const quint8* p = row + nearestSource(s.srcW, s.dstW, i) * bytes;
                    expected.insert(expected.end(), p, p + bytes);
                }
            }
            ResizeNearest(src, dst);
            EXPECT_TRUE(samePixels(pixelBytesOf(dst, layout), expected, s.dstW, bytes));
        }
    }
}

TEST(ResizeNearest, WideSourcesDoNotOverflowTheStep)
{
    // 70000 × 65536 passes 32 bits; 40000 × 65536 passes 31, so a signed 32-bit offset would
    // turn negative at the last columns.
    struct Case {
        int srcW, dstW;
        std::vector<int> columns;
    };
    const Case cases[] = {
        {70000, 7, {5000, 15000, 25000, 35000, 45000, 55000, 65000}},
        {40000, 3, {6666, 19999, 33333}},
        {100001, 2, {25000, 75000}},
    };
    for (const Case& c : cases) {
        TFastDIB src, dst;
        src.SetSize(c.srcW, 1, 32);
        dst.SetSize(c.dstW, 1, 32);
        for (int x = 0; x < c.srcW; ++x)
            src.Pixels32[0][x].i = quint32(x);
        ResizeNearest(src, dst);
        for (int i = 0; i < c.dstW; ++i)
            EXPECT_EQ(int(dst.Pixels32[0][i].i), c.columns[i]) << c.srcW << " -> " << c.dstW << ", column " << i;
    }
}

TEST(ResizeNearest, RefusesDepthsItDoesNotHandle)
{
    for (int bpp : {1, 4}) {
        TFastDIB src, dst;
        src.SetSize(8, 2, quint8(bpp));
        dst.SetSize(4, 1, quint8(bpp));
        fillBytes(src, 0xFF);
        fillBytes(dst, 0x00);
        ResizeNearest(src, dst);
        EXPECT_EQ(allRows(dst), std::vector<quint8>(size_t(dst.BWidth), 0)) << bpp << " bits";
    }
    TFastDIB src, dst;
    src.SetSize(8, 2, 24);
    dst.SetSize(4, 1, 32);
    fillBytes(src, 0xFF);
    fillBytes(dst, 0x00);
    ResizeNearest(src, dst);
    EXPECT_EQ(allRows(dst), std::vector<quint8>(size_t(dst.BWidth), 0)) << "24 into 32";
}

} // namespace
