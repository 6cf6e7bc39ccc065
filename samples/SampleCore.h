// Synthetic wood core: an image with tree rings of known widths, for tests, benchmarks and the
// sample project. Deterministic: the same arguments give the same pixels.
#pragma once

#include <QImage>
#include <QVector>

namespace samples {

struct CoreRecipe {
    int width = 6000;
    int height = 600;
    int dpi = 2400;
    int firstBorder = 150;   // x of the first ring border
    unsigned seed = 1;       // ring widths and noise
    int noise = 6;           // +- gray-level noise
};

// X positions (pixels) of the ring borders: the sharp step from dark latewood to light earlywood.
QVector<int> ringBorders(const CoreRecipe& recipe);

// The core image (Format_RGB32), rings running top to bottom, the core axis left to right.
QImage makeCore(const CoreRecipe& recipe);

} // namespace samples
