#include "samples/SampleCore.h"

#include <gtest/gtest.h>

namespace {

int gray(QRgb c) { return (qRed(c) + qGreen(c) + qBlue(c)) / 3; }

// Column mean along the core, so noise does not hide a step.
QVector<double> columnMeans(const QImage& img)
{
    QVector<double> mean(img.width(), 0.0);
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            mean[x] += gray(row[x]);
    }
    for (double& m : mean)
        m /= img.height();
    return mean;
}

} // namespace

TEST(SampleCore, BordersAreTheOnlySharpLightSteps)
{
    samples::CoreRecipe recipe;
    recipe.width = 2000;
    recipe.height = 40;
    const QImage img = samples::makeCore(recipe);
    const QVector<int> borders = samples::ringBorders(recipe);
    ASSERT_GE(borders.size(), 8);

    const QVector<double> mean = columnMeans(img);
    QVector<int> steps;
    for (int x = 1; x < img.width(); ++x)
        if (mean[x] - mean[x - 1] > 30.0)
            steps << x;
    EXPECT_EQ(steps, borders);
}

TEST(SampleCore, SameSpecGivesSamePixelsAndWidthsStayPlausible)
{
    samples::CoreRecipe recipe;
    recipe.width = 1500;
    recipe.height = 20;
    EXPECT_EQ(samples::makeCore(recipe), samples::makeCore(recipe));

    const QVector<int> borders = samples::ringBorders(recipe);
    for (int i = 1; i < borders.size(); ++i) {
        const int w = borders[i] - borders[i - 1];
        EXPECT_GE(w, 25) << "ring " << i;
        EXPECT_LE(w, 210) << "ring " << i;
    }
    recipe.seed = 2;
    EXPECT_NE(samples::ringBorders(recipe), borders);
}
