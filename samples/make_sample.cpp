// Writes the synthetic core image: make_sample <output.jpg> [width height dpi]
#include "samples/SampleCore.h"

#include <QGuiApplication>
#include <QImageWriter>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_sample <output.jpg> [width height dpi]\n");
        return 2;
    }
    samples::CoreRecipe recipe;
    if (argc >= 5) {
        recipe.width = std::atoi(argv[2]);
        recipe.height = std::atoi(argv[3]);
        recipe.dpi = std::atoi(argv[4]);
    }
    if (recipe.width < 100 || recipe.height < 10 || recipe.dpi <= 0) {
        std::fprintf(stderr, "make_sample: width >= 100, height >= 10 and dpi > 0 please\n");
        return 2;
    }
    QImage img = samples::makeCore(recipe);
    // dots per metre, so viewers and our loader see the resolution
    const int dpm = int(recipe.dpi / 0.0254 + 0.5);
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    QImageWriter writer(QString::fromLocal8Bit(argv[1]));
    writer.setQuality(92);
    if (!writer.write(img)) {
        std::fprintf(stderr, "make_sample: %s\n", qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
