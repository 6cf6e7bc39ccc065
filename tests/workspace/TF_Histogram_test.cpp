// Histogram window: counting the pixels of all images of a window, the curves and colour bars
// following the check boxes, the empty states, and the tick at the gray value under the mouse.
#include "workspace/TF_Histogram.h"

#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "project/Settings.h"
#include "project/TStitchObject.h"
#include "workspace/TF_SMDI.h"

#include "support/ImageWindowTest.h"
#include "support/ProjectObjects.h"

#include <QCheckBox>
#include <QApplication>
#include <QCoreApplication>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using testhelpers::addImage;
using testhelpers::patterned;

// A project image: 24 bits per pixel, as every picture is held once read.
void toDIB24(const QImage& picture, TFastDIB& dib)
{
    BitmapToDIB(picture.convertToFormat(QImage::Format_RGB888), dib);
}

// The four histograms drawn independently, pixel by pixel through the toolkit's colours.
HistogramCounts referenceCounts(const std::vector<QImage>& images)
{
    HistogramCounts c;
    for (const QImage& img : images)
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb p = img.pixel(x, y);
                ++c.Red[size_t(qRed(p))];
                ++c.Green[size_t(qGreen(p))];
                ++c.Blue[size_t(qBlue(p))];
                ++c.Brightness[size_t((qRed(p) + qGreen(p) + qBlue(p)) / 3)];
            }
    return c;
}

void expectSameCounts(const HistogramCounts& actual, const HistogramCounts& expected)
{
    for (int v = 0; v < 256; ++v) {
        SCOPED_TRACE(v);
        ASSERT_EQ(actual.Brightness[size_t(v)], expected.Brightness[size_t(v)]);
        ASSERT_EQ(actual.Red[size_t(v)], expected.Red[size_t(v)]);
        ASSERT_EQ(actual.Green[size_t(v)], expected.Green[size_t(v)]);
        ASSERT_EQ(actual.Blue[size_t(v)], expected.Blue[size_t(v)]);
    }
}

TEST(CountHistogram, CountsEveryPixelOfA24BitImage)
{
    struct Row {
        const char* name;
        QImage picture;
    };
    QImage white(10, 10, QImage::Format_RGB32);
    white.fill(Qt::white);
    const Row rows[] = {
        {"all white", white},
        {"patterned, odd width (row padding)", patterned(37, 23, 5)},
        {"one pixel", patterned(1, 1, 9)},
        {"large enough to be counted in bands side by side", patterned(1501, 1403, 4)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TFastDIB dib;
        toDIB24(r.picture, dib);
        ASSERT_EQ(dib.Info.Header.BitCount, 24);
        HistogramCounts counts;
        CountHistogram(dib, counts);
        expectSameCounts(counts, referenceCounts({r.picture}));
    }

    TFastDIB white24;
    toDIB24(white, white24);
    HistogramCounts counts;
    CountHistogram(white24, counts);
    EXPECT_EQ(counts.Brightness[255], 100u);
    EXPECT_EQ(counts.Red[255], 100u);
    EXPECT_EQ(counts.Red[254], 0u);
}

TEST(CountHistogram, ImagesWithoutPixelsOrOfAnotherDepthAddNothing)
{
    HistogramCounts counts;
    TFastDIB empty;
    CountHistogram(empty, counts);
    TFastDIB gray;
    gray.SetSize(4, 4, 8);
    CountHistogram(gray, counts);
    expectSameCounts(counts, HistogramCounts());
}

TEST(CountHistogram, SeveralImagesAtOnceCountEachPixelOnce)
{
    // Large enough for bands on several threads, with last bands shorter than the others; one
    // image twice, and images that add nothing between them.
    const QImage large = patterned(1501, 1403, 4), wide = patterned(2903, 401, 6), small = patterned(3, 2, 7);
    TFastDIB a, b, c, empty, gray;
    toDIB24(large, a);
    toDIB24(wide, b);
    toDIB24(small, c);
    gray.SetSize(600, 600, 8);
    HistogramCounts counts;
    CountHistograms({&a, &empty, &b, &gray, &c, &a}, counts);
    expectSameCounts(counts, referenceCounts({large, wide, small, large}));
}

class Histogram : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        ApplyAbsentSettingDefaults();
        ImageWindowTest::SetUp();
        histogram = new TF_Histogram;
        F_Histogram = histogram;
        histogram->resize(361, 200);
        histogram->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        delete histogram.data();
        ImageWindowTest::TearDown();
    }
    TStitchObject* addPicture(int x, int y, const QImage& picture)
    {
        TStitchObject* so = addImage(*w, x, y, picture.width(), picture.height());
        toDIB24(picture, *so->FD);
        return so;
    }
    // Pixels of this colour in the drawn chart.
    int pixelsOf(QColor color) const
    {
        const QImage chart = histogram->chartImage(QSize(361, 180));
        int n = 0;
        for (int y = 0; y < chart.height(); ++y)
            for (int x = 0; x < chart.width(); ++x)
                n += chart.pixel(x, y) == color.rgb();
        return n;
    }

    QPointer<TF_Histogram> histogram;
};

TEST_F(Histogram, AddsUpTheImagesOfTheWindowAndSkipsThoseWithoutPixels)
{
    const QImage a = patterned(30, 20, 1), b = patterned(17, 9, 2);
    addPicture(0, 0, a);
    addPicture(40, 5, b);
    addImage(*w, 0, 30, 50, 50); // its pixels are not in memory
    w->UpdateArea();             // the image window's own road to the histogram
    EXPECT_EQ(histogram->MDI, w.data());
    expectSameCounts(histogram->counts(), referenceCounts({a, b}));
    EXPECT_TRUE(histogram->C_Histo->isVisible());
}

TEST_F(Histogram, ViewChangesCountNothingAgainButChangedPicturesAre)
{
    QImage gray(200, 150, QImage::Format_RGB32);
    gray.fill(QColor(100, 100, 100));
    TStitchObject* so = addPicture(0, 0, gray);
    w->UpdateArea();
    ASSERT_EQ(histogram->counts().Brightness[100], 30000u);

    // One pixel between the sampled ones: a zoom or a resize keeps the counts as they were.
    so->FD->SetPixel(0, 1, TFColor{0, 0, 0});
    w->setZoom(w->zoom() + 1);
    w->resize(w->width() + 10, w->height());
    w->UpdateArea();
    EXPECT_EQ(histogram->counts().Brightness[100], 30000u) << "no pixel is counted again for a view change";
    histogram->RecountHistogram(w); // the Refresh button's road
    EXPECT_EQ(histogram->counts().Brightness[100], 29999u);
    EXPECT_EQ(histogram->counts().Brightness[0], 1u);

    // A whole-picture change is counted at the next canvas update.
    so->FD->Clear(TFColor{200, 200, 200});
    w->UpdateArea();
    EXPECT_EQ(histogram->counts().Brightness[200], 30000u);
}

TEST_F(Histogram, CheckBoxesChooseTheCurvesAndAllUntickedHideTheChart)
{
    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(QColor(200, 0, 0));
    addPicture(0, 0, red);
    histogram->UpdateHistogram(w);
    ASSERT_TRUE(histogram->CB_Brightness->isChecked()) << "only brightness at start";
    EXPECT_FALSE(histogram->CB_Red->isChecked());
    EXPECT_EQ(pixelsOf(Qt::red), 0) << "no red curve and no mark yet";

    QTest::mouseClick(histogram->CB_Red, Qt::LeftButton);
    EXPECT_TRUE(histogram->seriesShown(1));
    EXPECT_GT(pixelsOf(Qt::red), 200) << "the red curve runs across the chart";
    const QImage bars = histogram->gradientImage(QSize(276, 26), 276);
    const ChartAxis x = TF_Histogram::bottomAxis(276);
    EXPECT_EQ(bars.pixel(x.toPixel(0), 0), qRgb(255, 0, 0)) << "the red bar comes first, red at 0";
    EXPECT_EQ(bars.pixel(x.toPixel(255), 2), qRgb(255, 255, 255)) << "white at 255";
    EXPECT_EQ(bars.pixel(x.toPixel(0), 6), qRgb(0, 0, 0)) << "the brightness bar under it";

    for (QCheckBox* box : {histogram->CB_Red, histogram->CB_Brightness})
        QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(histogram->C_Histo->isVisible()) << "\"No data available\" shows";
    const QImage white = histogram->gradientImage(QSize(276, 26), 276);
    EXPECT_EQ(white.pixel(x.toPixel(0), 0), qRgb(255, 255, 255)) << "the bars go with the curves";

    QTest::mouseClick(histogram->CB_Green, Qt::LeftButton);
    EXPECT_TRUE(histogram->C_Histo->isVisible());
}

TEST_F(Histogram, NoWindowHidesTheChart)
{
    addPicture(0, 0, patterned(5, 5));
    histogram->UpdateHistogram(w);
    ASSERT_TRUE(histogram->C_Histo->isVisible());
    histogram->UpdateHistogram(nullptr);
    EXPECT_FALSE(histogram->C_Histo->isVisible());
    expectSameCounts(histogram->counts(), HistogramCounts());

    histogram->UpdateHistogram(w);
    w->close(); // closing empties it
    QCoreApplication::processEvents();
    EXPECT_FALSE(histogram->C_Histo->isVisible());
}

TEST_F(Histogram, AHiddenWindowCountsWhenShown)
{
    const QImage a = patterned(12, 12, 3);
    addPicture(0, 0, a);
    histogram->hide();
    histogram->UpdateHistogram(w);
    EXPECT_EQ(histogram->counts().Brightness, HistogramCounts().Brightness) << "nothing counted while hidden";
    histogram->show(); // no main window: the window last given
    expectSameCounts(histogram->counts(), referenceCounts({a}));
}

TEST_F(Histogram, TheMouseOverTheFirstImageMarksItsGrayValue)
{
    QImage picture(20, 20, QImage::Format_RGB32);
    picture.fill(QColor(30, 60, 90)); // gray 60
    picture.setPixel(5, 3, qRgb(200, 100, 0)); // gray 100
    addPicture(10, 10, picture); // off the canvas origin: counted from the image's corner
    w->UpdateArea();
    w->setZoom(10);
    w->SB_H->setValue(w->SB_H->minimum());
    w->SB_V->setValue(w->SB_V->minimum());
    QApplication::setActiveWindow(w);

    struct Row {
        QPoint canvas;
        int gray;
    } rows[] = {{{15, 13}, 100}, {{11, 11}, 60}, {{200, 200}, -1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.gray);
        const QPoint screen = w->ToScreen(r.canvas);
        QTest::mouseMove(w->PB, screen);
        QCoreApplication::processEvents();
        ASSERT_EQ(w->AbsMouse, r.canvas);
        EXPECT_EQ(histogram->MarkValue(), r.gray);
    }

    histogram->setMarkValue(100);
    const QImage chart = histogram->chartImage(QSize(361, 180));
    const int x = TF_Histogram::bottomAxis(361).toPixel(100);
    EXPECT_EQ(chart.pixel(x, 180 - 30), qRgb(255, 0, 0)) << "the red tick from 30 to 23 pixels above the bottom";
    EXPECT_EQ(chart.pixel(x, 180 - 24), qRgb(255, 0, 0));
    EXPECT_NE(chart.pixel(x, 180 - 22), qRgb(255, 0, 0));
}

TEST_F(Histogram, MarkerShadingGraysThePlotAndKeepsTheCurves)
{
    // Both markers at 0: the second band covers the plot, white turns light gray.
    const QImage chart = histogram->chartImage(QSize(300, 180));
    EXPECT_EQ(chart.pixel(150, 60), qRgb(229, 229, 229));
    EXPECT_EQ(chart.pixel(150, 5), qRgb(255, 255, 255)) << "above the band";
    EXPECT_EQ(chart.pixel(300 - 12, 60), qRgb(255, 255, 255)) << "the band stops 12 pixels short of the edge";
}

} // namespace
