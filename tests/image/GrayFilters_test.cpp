// Gray-value filters on tiny images: hand-computed cases from the filters' formulas, and, for the
// neighbourhood filters, references written here that read every neighbour from a copy of the
// image taken before the filter ran (rows and columns clamped into the image).
#include "image/GrayFilters.h"
#include "image/TFastDIB.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <iterator>
#include <random>
#include <vector>

namespace {

// Gray values of memory rows, row 0 first.
using Grid = std::vector<std::vector<int>>;

void makeGray(TFastDIB& dib, const Grid& g)
{
    dib.SetSize(int(g[0].size()), int(g.size()), 24);
    for (size_t y = 0; y < g.size(); ++y)
        for (size_t x = 0; x < g[y].size(); ++x) {
            const quint8 v = quint8(g[y][x]);
            dib.Pixels24[y][x] = TFColor{v, v, v};
        }
}

void makeColours(TFastDIB& dib, const std::vector<std::vector<TFColor>>& c)
{
    dib.SetSize(int(c[0].size()), int(c.size()), 24);
    for (size_t y = 0; y < c.size(); ++y)
        for (size_t x = 0; x < c[y].size(); ++x)
            dib.Pixels24[y][x] = c[y][x];
}

// The image's pixels, each required to be gray (all three channels equal).
::testing::AssertionResult isGray(const TFastDIB& dib, const Grid& want)
{
    for (int y = 0; y < dib.AbsHeight; ++y)
        for (int x = 0; x < dib.Info.Header.Width; ++x) {
            const TFColor c = dib.Pixels24[y][x];
            if (c.b != want[y][x] || c.g != want[y][x] || c.r != want[y][x])
                return ::testing::AssertionFailure() << "row " << y << ", column " << x << ": got (" << int(c.b) << ", "
                                                     << int(c.g) << ", " << int(c.r) << "), want " << want[y][x];
        }
    return ::testing::AssertionSuccess();
}

Grid randomGrid(int w, int h, unsigned seed, bool binary)
{
    std::mt19937 rng(seed);
    Grid g(static_cast<size_t>(h), std::vector<int>(static_cast<size_t>(w)));
    for (auto& row : g)
        for (int& v : row)
            v = binary ? (rng() % 4 == 0 ? 255 : 0) : int(rng() % 256);
    return g;
}

// Random colours; returns their gray values.
Grid randomColours(TFastDIB& dib, int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<std::vector<TFColor>> c(static_cast<size_t>(h), std::vector<TFColor>(static_cast<size_t>(w)));
    Grid g(static_cast<size_t>(h), std::vector<int>(static_cast<size_t>(w)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            c[y][x] = TFColor{quint8(rng()), quint8(rng()), quint8(rng())};
            g[y][x] = (c[y][x].b + c[y][x].g + c[y][x].r) / 3;
        }
    makeColours(dib, c);
    return g;
}

int at(const Grid& g, int y, int x)
{
    const int h = int(g.size()), w = int(g[0].size());
    return g[std::clamp(y, 0, h - 1)][std::clamp(x, 0, w - 1)];
}

// The eight neighbours of (y, x) from the grid, clamped.
std::vector<int> neighbours(const Grid& g, int y, int x)
{
    std::vector<int> n;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            if (dy != 0 || dx != 0)
                n.push_back(at(g, y + dy, x + dx));
    return n;
}

Grid mapGrid(const Grid& g, const std::function<int(const Grid&, int, int)>& f)
{
    Grid out = g;
    for (int y = 0; y < int(g.size()); ++y)
        for (int x = 0; x < int(g[0].size()); ++x)
            out[y][x] = f(g, y, x);
    return out;
}

int referenceMedian(const Grid& g, int y, int x, int radius)
{
    std::vector<int> v;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            v.push_back(at(g, y + dy, x + dx));
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::vector<quint8> block(const TFastDIB& dib)
{
    return {dib.Bits, dib.Bits + qint64(dib.BWidth) * dib.AbsHeight};
}

} // namespace

// ---- MedianOf and ClampByte -----------------------------------------------------------------------

TEST(GrayFilters, MedianOfTakesTheMiddleOrTheRoundedMeanOfTheTwo)
{
    struct Case {
        std::vector<int> values;
        int median;
    };
    const Case cases[] = {
        {{3, 1, 2}, 2},
        {{4, 1, 3, 2}, 2},          // Round(2.5) = 2
        {{1, 2, 3, 4, 5, 6}, 4},    // Round(3.5) = 4
        {{1, 2}, 2},                // Round(1.5) = 2
        {{-3, -2}, -2},             // Round(-2.5) = -2
        {{5}, 5},
        {{7, 7}, 7},
        {{9, 0, 9, 0, 9, 0, 9, 0, 100}, 9},
        {{}, 0},                    // nothing to take the middle of
    };
    for (const Case& c : cases)
        EXPECT_EQ(MedianOf(c.values), c.median) << testing::PrintToString(c.values);
}

TEST(GrayFilters, ClampByteLimitsToAByte)
{
    EXPECT_EQ(ClampByte(-1), 0);
    EXPECT_EQ(ClampByte(0), 0);
    EXPECT_EQ(ClampByte(178), 178);
    EXPECT_EQ(ClampByte(255), 255);
    EXPECT_EQ(ClampByte(256), 255);
    EXPECT_EQ(ClampByte(-2147483647 - 1), 0);
}

// ---- per-pixel filters ---------------------------------------------------------------------------

TEST(GrayFilters, PerPixelFiltersMapGrayValues)
{
    struct Case {
        const char* name;
        std::function<void(TFastDIB&)> filter;
        std::vector<std::pair<int, int>> grays; // gray in, gray out
    };
    const std::array<bool, 8> bit7{false, false, false, false, false, false, false, true};
    const std::array<bool, 8> bits0and2{true, false, true, false, false, false, false, false};
    const Case cases[] = {
        {"bit 7 is a threshold at 128", [&](TFastDIB& d) { BitPlaneFilter(d, bit7, false, false); },
         {{0, 0}, {127, 0}, {128, 255}, {255, 255}}},
        {"bit 7 kept gives 0 or 128", [&](TFastDIB& d) { BitPlaneFilter(d, bit7, true, false); },
         {{127, 0}, {128, 128}, {255, 128}}},
        {"bits 0 and 2 kept", [&](TFastDIB& d) { BitPlaneFilter(d, bits0and2, true, false); },
         {{7, 5}, {2, 0}, {255, 5}, {4, 4}}},
        {"bits 0 and 2, any set", [&](TFastDIB& d) { BitPlaneFilter(d, bits0and2, false, false); },
         {{2, 0}, {1, 255}, {4, 255}, {250, 0}}},
        {"bit 7 inverted", [&](TFastDIB& d) { BitPlaneFilter(d, bit7, false, true); }, {{127, 255}, {128, 0}}},
        {"bit 7 kept and inverted", [&](TFastDIB& d) { BitPlaneFilter(d, bit7, true, true); },
         {{127, 255}, {200, 127}}},
        {"no bit", [&](TFastDIB& d) { BitPlaneFilter(d, {}, false, false); }, {{255, 0}, {0, 0}}},
        {"band 100..120 included", [](TFastDIB& d) { ThresholdBand(d, 100, 120, true, false, false); },
         {{0, 0}, {99, 0}, {100, 255}, {110, 255}, {120, 255}, {121, 0}, {255, 0}}},
        {"band 100..120 included, inverted", [](TFastDIB& d) { ThresholdBand(d, 100, 120, true, false, true); },
         {{0, 255}, {99, 255}, {100, 0}, {120, 0}, {121, 255}}},
        {"band 100..120 included, kept", [](TFastDIB& d) { ThresholdBand(d, 100, 120, true, true, false); },
         {{99, 0}, {100, 100}, {117, 117}, {121, 0}}},
        {"band 100..120 cut out", [](TFastDIB& d) { ThresholdBand(d, 100, 120, false, false, false); },
         {{0, 0}, {1, 255}, {99, 255}, {100, 0}, {120, 0}, {121, 255}}},
        {"band 100..120 cut out, kept and inverted", [](TFastDIB& d) { ThresholdBand(d, 100, 120, false, true, true); },
         {{0, 255}, {99, 156}, {100, 255}, {121, 134}}},
        // The dialog passes lower + slice width, up to 510: the band ends at 255.
        {"band 200..400", [](TFastDIB& d) { ThresholdBand(d, 200, 400, true, false, false); },
         {{199, 0}, {200, 255}, {255, 255}}},
        // Gray 0 inside the band stays 0: only non-zero values become 255.
        {"band 0..10 included", [](TFastDIB& d) { ThresholdBand(d, 0, 10, true, false, false); },
         {{0, 0}, {1, 255}, {10, 255}, {11, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each gray value between 1 and 254 made from unequal channels with that mean: (g - 1, g, g + 1).
        std::vector<TFColor> row;
        Grid want(1);
        for (auto [in, out] : c.grays) {
            const int d = in > 0 && in < 255 ? 1 : 0;
            row.push_back(TFColor{quint8(in - d), quint8(in), quint8(in + d)});
            want[0].push_back(out);
        }
        TFastDIB dib;
        makeColours(dib, {row});
        c.filter(dib);
        EXPECT_TRUE(isGray(dib, want));
    }
}

TEST(GrayFilters, ChannelMixWeighsEachChannelAndRoundsHalvesToEven)
{
    struct Case {
        int red, green, blue;
        TFColor in; // blue, green, red
        int gray;
    };
    const Case cases[] = {
        {30, 59, 11, {255, 255, 255}, 255},    // 76.5 + 150.45 + 28.05
        {100, 100, 100, {255, 255, 255}, 255}, // 765 limited
        {100, 100, 100, {30, 20, 10}, 60},
        {30, 59, 11, {10, 20, 30}, 22},        // 9 + 11.8 + 1.1 = 21.9
        {50, 0, 0, {0, 0, 5}, 2},              // 2.5 to the even 2
        {50, 0, 0, {0, 0, 3}, 2},              // 1.5 to the even 2
        {50, 0, 0, {0, 0, 1}, 0},              // 0.5 to the even 0
        {0, 0, 100, {77, 200, 100}, 77},       // blue alone
        {0, 100, 0, {77, 200, 100}, 200},      // green alone
        {-100, 0, 0, {0, 0, 10}, 0},           // limited below
        {2000000000, 0, 0, {0, 0, 255}, 255},  // a product beyond 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.red << ", " << c.green << ", " << c.blue);
        TFastDIB dib;
        makeColours(dib, {{c.in, c.in}});
        ChannelMixGray(dib, c.red, c.green, c.blue);
        EXPECT_TRUE(isGray(dib, {{c.gray, c.gray}}));
    }
}

// ---- neighbourhood filters ---------------------------------------------------------------------

TEST(GrayFilters, MedianHandComputedCases)
{
    struct Case {
        const char* name;
        Grid in, out;
    };
    const Case cases[] = {
        {"single white pixel removed",
         {{0, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 0, 0}},
         {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
        {"gray 100 among 0", {{0, 0, 0}, {0, 100, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
        // One row: every neighbour row is the row itself. Column 0 sees 10, 10, 50 three times.
        {"one row", {{10, 50, 30, 40}}, {{10, 30, 40, 40}}},
        // The corner counts itself four times and its right neighbour twice: six 200s of nine. The
        // pixel beside it sees only four.
        {"corner", {{200, 200, 0}, {0, 0, 0}}, {{200, 0, 0}, {0, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB dib;
        makeGray(dib, c.in);
        MedianFilter(dib, 1);
        EXPECT_TRUE(isGray(dib, c.out));
    }
}

TEST(GrayFilters, MedianMatchesReferenceOnColourImages)
{
    for (int radius : {0, 1, 2})
        for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 7}, std::pair{9, 1}, std::pair{13, 11}}) {
            SCOPED_TRACE(testing::Message() << "radius " << radius << ", " << w << " x " << h);
            TFastDIB dib;
            const Grid g = randomColours(dib, w, h, unsigned(w * 31 + h + radius));
            MedianFilter(dib, radius);
            EXPECT_TRUE(isGray(dib, mapGrid(g, [radius](const Grid& g, int y, int x) {
                return referenceMedian(g, y, x, radius);
            })));
        }
}

TEST(GrayFilters, DespeckleHandComputedCases)
{
    struct Case {
        const char* name;
        Grid in, out;
    };
    const Case cases[] = {
        {"white speck on black",
         {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 0, 0, 0}},
         {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}},
        {"black hole in white",
         {{255, 255, 255}, {255, 0, 255}, {255, 255, 255}},
         {{255, 255, 255}, {255, 255, 255}, {255, 255, 255}}},
        // Two touching specks keep each other; non-zero becomes 255.
        {"pair", {{0, 0, 0, 0}, {0, 9, 200, 0}, {0, 0, 0, 0}}, {{0, 0, 0, 0}, {0, 255, 255, 0}, {0, 0, 0, 0}}},
        // At the edge a pixel is its own clamped neighbour, so a speck there stays.
        {"speck at the edge", {{0, 0, 0}, {255, 0, 0}, {0, 0, 0}}, {{0, 0, 0}, {255, 0, 0}, {0, 0, 0}}},
        // A hole is filled only when all eight neighbours are exactly 255.
        {"hole beside 254", {{255, 255, 255}, {255, 0, 254}, {255, 255, 255}},
         {{255, 255, 255}, {255, 0, 255}, {255, 255, 255}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB dib;
        makeGray(dib, c.in);
        DespeckleFilter(dib);
        EXPECT_TRUE(isGray(dib, c.out));
    }
}

TEST(GrayFilters, DespeckleReadsTheBlueByteOnly)
{
    TFastDIB dib;
    // Blue 255 with red and green 0 counts as white; a pixel with blue 0 counts as black.
    makeColours(dib, {{TFColor{255, 0, 0}, TFColor{255, 0, 0}}, {TFColor{0, 255, 255}, TFColor{0, 255, 255}}});
    DespeckleFilter(dib);
    EXPECT_TRUE(isGray(dib, {{255, 255}, {0, 0}}));
}

TEST(GrayFilters, DespeckleAndDilateMatchReferencesOnBinaryImages)
{
    auto despeckle = [](const Grid& g, int y, int x) {
        const std::vector<int> n = neighbours(g, y, x);
        if (std::all_of(n.begin(), n.end(), [](int v) { return v == 255; }))
            return 255;
        const bool any = std::any_of(n.begin(), n.end(), [](int v) { return v != 0; });
        return g[y][x] != 0 && any ? 255 : 0;
    };
    // Only whether a neighbour is 0 matters, so reading the old or the new values gives one result.
    auto dilate = [](const Grid& g, int y, int x) {
        const std::vector<int> n = neighbours(g, y, x);
        const bool any = std::any_of(n.begin(), n.end(), [](int v) { return v != 0; });
        return g[y][x] != 0 && any ? 255 : 0;
    };
    for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 5}, std::pair{6, 1}, std::pair{17, 9}})
        for (unsigned seed : {1u, 2u, 3u}) {
            SCOPED_TRACE(testing::Message() << w << " x " << h << ", seed " << seed);
            const Grid g = randomGrid(w, h, seed, true);
            TFastDIB a, b;
            makeGray(a, g);
            DespeckleFilter(a);
            EXPECT_TRUE(isGray(a, mapGrid(g, despeckle))) << "despeckle";
            makeGray(b, g);
            DilateFilter(b);
            EXPECT_TRUE(isGray(b, mapGrid(g, dilate))) << "dilate";
        }
}

TEST(GrayFilters, DilateHandComputedCases)
{
    struct Case {
        const char* name;
        std::vector<std::vector<TFColor>> in;
        Grid out;
    };
    const TFColor k{0, 0, 0}, w{255, 255, 255}, dim{1, 1, 0}, some{30, 0, 3};
    const Case cases[] = {
        {"isolated pixel goes", {{k, k, k}, {k, w, k}, {k, k, k}}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
        // Gray (30 + 0 + 3) div 3 = 11 counts; gray (1 + 1 + 0) div 3 = 0 does not and becomes black.
        {"gray values decide",
         {{k, k, k, k}, {k, some, w, k}, {k, k, k, dim}},
         {{0, 0, 0, 0}, {0, 255, 255, 0}, {0, 0, 0, 0}}},
        {"diagonal pair stays", {{w, k, k}, {k, w, k}, {k, k, k}}, {{255, 0, 0}, {0, 255, 0}, {0, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB dib;
        makeColours(dib, c.in);
        DilateFilter(dib);
        EXPECT_TRUE(isGray(dib, c.out));
    }
}

TEST(GrayFilters, ConvolutionWeightsAddressTheirNeighbours)
{
    // Gray of memory row y, column x = 10 y + x + 1; the centre is (1, 1).
    const Grid g = {{1, 2, 3}, {11, 12, 13}, {21, 22, 23}};
    // Weight i alone picks: up, down, right, left, up-left, up-right, down-left, down-right, centre.
    const int picked[9] = {2, 22, 13, 11, 1, 3, 21, 23, 12};
    for (int i = 0; i < 9; ++i) {
        SCOPED_TRACE(testing::Message() << "weight " << i + 1);
        std::array<double, 9> k{};
        k[i] = 1;
        TFastDIB dib;
        makeGray(dib, g);
        Convolve3x3(dib, k);
        EXPECT_EQ(dib.Pixels24[1][1].b, picked[i]);
    }
}

TEST(GrayFilters, ConvolutionRoundsAndLimits)
{
    struct Case {
        std::array<double, 9> k;
        int centre, gray;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0, 0.5}, 5, 2},  // 2.5 to the even 2
        {{0, 0, 0, 0, 0, 0, 0, 0, 0.5}, 7, 4},  // 3.5 to the even 4
        {{0, 0, 0, 0, 0, 0, 0, 0, 2}, 200, 255},
        {{0, 0, 0, 0, 0, 0, 0, 0, -1}, 200, 0},
        {{0, 0, 0, 0, 0, 0, 0, 0, 1e300}, 200, 255},
    };
    for (const Case& c : cases) {
        TFastDIB dib;
        makeGray(dib, {{c.centre}});
        Convolve3x3(dib, c.k);
        EXPECT_TRUE(isGray(dib, {{c.gray}})) << c.k[8] << " x " << c.centre;
    }
}

TEST(GrayFilters, EdgeEnhanceHandComputedCases)
{
    struct Case {
        const char* name;
        Grid in, out;
    };
    const Case cases[] = {
        {"uniform", {{90, 90, 90}, {90, 90, 90}}, {{0, 0, 0}, {0, 0, 0}}},
        // 8 x 10 - 0 = 80 at the dot, 0 - 10 around it.
        {"dot", {{0, 0, 0}, {0, 10, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 80, 0}, {0, 0, 0}}},
        // Around a black hole: 8 x 255 - 7 x 255 - 0 = 255.
        {"hole", {{255, 255, 255}, {255, 0, 255}, {255, 255, 255}}, {{255, 255, 255}, {255, 0, 255}, {255, 255, 255}}},
        // The first and last rows count their own row as the one beyond: row 0 sees only 100s; row 1
        // gives 800 - 3 x 100 - 2 x 100 - 3 x 0 = 300, limited.
        {"horizontal edge", {{100, 100}, {100, 100}, {0, 0}, {0, 0}}, {{0, 0}, {255, 255}, {0, 0}, {0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB dib;
        makeGray(dib, c.in);
        EdgeEnhanceFilter(dib);
        EXPECT_TRUE(isGray(dib, c.out));
    }
}

TEST(GrayFilters, ConvolutionMatchesReferenceOnColourImages)
{
    // Fractional weights, and whole ones of both signs.
    const std::array<double, 9> weightSets[] = {{0.25, -1.5, 2, 0.125, -0.75, 1, 3, -2, 0.5},
                                                {3, -2, 0, 1, 5, -4, 2, 0, 1}};
    for (const auto& k : weightSets)
        for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 6}, std::pair{7, 1}, std::pair{12, 10}}) {
            SCOPED_TRACE(testing::Message() << "first weight " << k[0] << ", " << w << " x " << h);
            auto reference = [&k](const Grid& g, int y, int x) {
                const double t = k[0] * at(g, y - 1, x) + k[1] * at(g, y + 1, x) + k[2] * at(g, y, x + 1)
                    + k[3] * at(g, y, x - 1) + k[4] * at(g, y - 1, x - 1) + k[5] * at(g, y - 1, x + 1)
                    + k[6] * at(g, y + 1, x - 1) + k[7] * at(g, y + 1, x + 1) + k[8] * at(g, y, x);
                return int(std::clamp(std::nearbyint(t), 0.0, 255.0));
            };
            TFastDIB dib;
            const Grid g = randomColours(dib, w, h, unsigned(w + 100 * h));
            Convolve3x3(dib, k);
            EXPECT_TRUE(isGray(dib, mapGrid(g, reference)));
        }
}

// ---- depths, sub-images and wide images ----------------------------------------------------------

TEST(GrayFilters, OtherDepthsAreLeftAlone)
{
    const std::array<bool, 8> bit7{false, false, false, false, false, false, false, true};
    const std::function<void(TFastDIB&)> filters[] = {
        [](TFastDIB& d) { MedianFilter(d, 1); },
        [&](TFastDIB& d) { BitPlaneFilter(d, bit7, false, false); },
        [](TFastDIB& d) { ChannelMixGray(d, 30, 59, 11); },
        [](TFastDIB& d) { ThresholdBand(d, 0, 100, true, false, false); },
        [](TFastDIB& d) { DespeckleFilter(d); },
        [](TFastDIB& d) { DilateFilter(d); },
        [](TFastDIB& d) { EdgeEnhanceFilter(d); },
    };
    for (int bpp : {1, 4, 8, 16, 32})
        for (size_t i = 0; i < std::size(filters); ++i) {
            SCOPED_TRACE(testing::Message() << bpp << " bits, filter " << i);
            TFastDIB dib;
            dib.SetSize(5, 4, quint8(bpp));
            std::mt19937 rng(static_cast<unsigned>(bpp));
            for (int y = 0; y < 4; ++y)
                for (int b = 0; b < dib.BWidth; ++b)
                    dib.Pixels8[y][b] = quint8(rng());
            const std::vector<quint8> before = block(dib);
            filters[i](dib);
            EXPECT_EQ(block(dib), before);
        }
    TFastDIB empty;
    for (const auto& f : filters)
        f(empty);
    EXPECT_EQ(empty.Bits, nullptr);
}

TEST(GrayFilters, SubImageFiltersOnlyItsOwnPixels)
{
    TFastDIB parent, sub;
    const Grid g = randomGrid(6, 5, 9, false);
    makeGray(parent, g);
    const std::vector<quint8> before = block(parent);
    sub.SetSubset(parent, 1, 1, 3, 3); // picture rows 1..3 are memory rows 1..3 of 5
    EdgeEnhanceFilter(sub);
    // The sub-image's own neighbourhoods are clamped at its own border.
    Grid inner(3, std::vector<int>(3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            inner[y][x] = g[y + 1][x + 1];
    const Grid want = mapGrid(inner, [](const Grid& g, int y, int x) {
        int sum = 0;
        for (int n : neighbours(g, y, x))
            sum += n;
        return std::clamp(8 * g[y][x] - sum, 0, 255);
    });
    EXPECT_TRUE(isGray(sub, want));
    const std::vector<quint8> after = block(parent);
    for (int y = 0; y < 5; ++y)
        for (int i = 0; i < parent.BWidth; ++i) {
            const bool inside = y >= 1 && y <= 3 && i >= 3 && i < 12;
            if (!inside) {
                const size_t at = size_t(y) * parent.BWidth + i;
                ASSERT_EQ(after[at], before[at]) << "row " << y << ", byte " << i;
            }
        }
}

TEST(GrayFilters, ImagesWiderThanSixteenBitColumnsAreFilteredToTheirLastColumn)
{
    const int w = 70000;
    TFastDIB dib;
    dib.UseGDI = false;
    dib.SetSize(w, 3, 24);
    dib.Clear(TFColor{0, 0, 0});
    // A white speck beyond column 65535 and a dot of 10 in the last column.
    dib.Pixels24[1][66000] = TFColor{255, 255, 255};
    dib.Pixels24[1][w - 1] = TFColor{10, 10, 10};
    EdgeEnhanceFilter(dib);
    EXPECT_EQ(dib.Pixels24[1][66000].b, 255);      // 8 x 255
    EXPECT_EQ(dib.Pixels24[1][66000 - 65536].b, 0); // no wrap-around of the column index
    // The last column is its own right neighbour: 8 x 10 - 10 = 70.
    EXPECT_EQ(dib.Pixels24[1][w - 1].b, 70);
    MedianFilter(dib, 1);
    EXPECT_EQ(dib.Pixels24[1][66000].b, 0);
}

// ---- BrightenBitmap ------------------------------------------------------------------------------

TEST(GrayFilters, BrightenChangesEveryChannelByItsPercentage)
{
    struct Case {
        int percent, in, out;
    };
    const Case cases[] = {
        {-30, 255, 178}, // 255 - 76.5 rounded away from zero
        {-30, 100, 70},
        {-30, 5, 3},     // 5 - 1.5 -> 5 - 2
        {50, 101, 152},  // 101 + 50.5 -> 101 + 51
        {50, 200, 255},
        {0, 77, 77},
        {-100, 255, 0},
        {-1000, 255, 0},
        {1 << 30, 1, 255},
        {1 << 30, 255, 255}, // 255 x 2^30 is beyond 32 bits and still brightens
        {1 << 30, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.percent << " % of " << c.in);
        // Two rows; the second row's stride is the picture's, and the one-row case has no second row.
        for (int h : {1, 2}) {
            QImage img(3, h, QImage::Format_RGB32);
            img.fill(qRgb(c.in, c.in, c.in));
            BrightenBitmap(img, c.percent);
            ASSERT_EQ(img.format(), QImage::Format_RGB32);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(img.pixel(x, y), qRgb(c.out, c.out, c.out)) << "row " << y << ", column " << x;
        }
    }
}

TEST(GrayFilters, BrightenKeepsAlphaAndMakesOtherFormats24Bit)
{
    QImage argb(2, 2, QImage::Format_ARGB32);
    argb.fill(qRgba(100, 200, 10, 77));
    BrightenBitmap(argb, -30);
    EXPECT_EQ(argb.format(), QImage::Format_ARGB32);
    EXPECT_EQ(argb.pixel(1, 1), qRgba(70, 140, 7, 77));

    QImage rgb(5, 3, QImage::Format_RGB888);
    rgb.fill(qRgb(100, 200, 10));
    BrightenBitmap(rgb, -30);
    EXPECT_EQ(rgb.pixel(4, 2), qRgb(70, 140, 7));

    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(100, 200, 10), qRgb(255, 0, 5)});
    indexed.fill(1);
    BrightenBitmap(indexed, -30);
    EXPECT_EQ(indexed.format(), QImage::Format_RGB888);
    EXPECT_EQ(indexed.pixel(2, 1), qRgb(178, 0, 3));

    QImage none;
    BrightenBitmap(none, -30);
    EXPECT_TRUE(none.isNull());
}
