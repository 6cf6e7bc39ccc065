#include "samples/SampleCore.h"

#include <algorithm>
#include <cstdint>

namespace samples {

namespace {

// Small LCG: the sample must look the same on every machine and library version.
struct Lcg {
    uint32_t state;
    uint32_t next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    int range(int lo, int hi) { return lo + int(next() % uint32_t(hi - lo + 1)); }
};

int clamp255(int v) { return std::clamp(v, 0, 255); }

} // namespace

QVector<int> ringBorders(const CoreRecipe& recipe)
{
    Lcg rng{recipe.seed};
    QVector<int> borders;
    int x = recipe.firstBorder;
    while (x < recipe.width - 40) {
        borders << x;
        // Ring widths wander like a real series: wide young rings, narrower with age.
        const int base = std::max(40, 170 - int(borders.size()) * 2);
        x += std::max(25, base + rng.range(-35, 35));
    }
    return borders;
}

QImage makeCore(const CoreRecipe& recipe)
{
    QImage img(recipe.width, recipe.height, QImage::Format_RGB32);
    const QVector<int> borders = ringBorders(recipe);

    // Per column: position inside its ring, 0 at the border (earlywood) to 1 before the next one.
    QVector<double> phase(recipe.width, 0.0);
    for (int x = 0; x < recipe.width; ++x) {
        auto it = std::upper_bound(borders.begin(), borders.end(), x);
        const int start = it == borders.begin() ? 0 : *(it - 1);
        const int end = it == borders.end() ? recipe.width : *it;
        phase[x] = end > start ? double(x - start) / double(end - start) : 0.0;
    }

    Lcg rng{recipe.seed * 7919u + 17u};
    for (int y = 0; y < recipe.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < recipe.width; ++x) {
            // Light earlywood darkening slowly, then dense latewood in the last fifth of the ring.
            const double p = phase[x];
            const double dark = p < 0.8 ? p * 0.25 : 0.2 + (p - 0.8) * 3.5;
            const int n = recipe.noise ? rng.range(-recipe.noise, recipe.noise) : 0;
            const int r = clamp255(int(228 - 120 * dark) + n);
            const int g = clamp255(int(198 - 115 * dark) + n);
            const int b = clamp255(int(150 - 95 * dark) + n);
            row[x] = qRgb(r, g, b);
        }
    }
    return img;
}

} // namespace samples
