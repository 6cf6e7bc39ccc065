// Gray-value tracker: the samples along the current path (count, order, shared joints, values and
// -1 off the image), the window following point edits, pointing into the image window, selecting
// a ring border by a click near its cross, and the axis controls.
#include "workspace/TF_Tracker.h"

#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "project/Settings.h"
#include "project/TJEXObject.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "workspace/TF_SMDI.h"

#include "support/ImageWindowTest.h"
#include "support/ProjectObjects.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using testhelpers::addImage;
using testhelpers::addIndex;
using testhelpers::addMeasurement;
using testhelpers::patterned;

// The pixels of a Bresenham line, each computed on its own: sample i of the longer axis has taken
// floor((2 i d_minor + d_major) / (2 d_major)) steps on the shorter one.
std::vector<QPoint> referenceLine(QPoint a, QPoint b)
{
    const int dx = std::abs(b.x() - a.x()), dy = std::abs(b.y() - a.y());
    const int sx = b.x() >= a.x() ? 1 : -1, sy = b.y() >= a.y() ? 1 : -1;
    std::vector<QPoint> out;
    if (dy < dx)
        for (int i = 0; i <= dx; ++i)
            out.emplace_back(a.x() + sx * i, a.y() + sy * ((2 * i * dy + dx) / (2 * dx)));
    else
        for (int i = 0; i <= dy; ++i)
            out.emplace_back(a.x() + sx * (dy ? (2 * i * dx + dy) / (2 * dy) : 0), a.y() + sy * i);
    return out;
}

void toDIB24(const QImage& picture, TFastDIB& dib)
{
    BitmapToDIB(picture.convertToFormat(QImage::Format_RGB888), dib);
}

int grayAt(const QImage& picture, QPoint p)
{
    if (!picture.rect().contains(p))
        return -1;
    const QRgb c = picture.pixel(p);
    return (qRed(c) + qGreen(c) + qBlue(c)) / 3;
}

TEST(TrackerProfile, LinesAreSampledPixelByPixelWithTheJointsTwice)
{
    const QImage picture = patterned(60, 50, 4);
    TFastDIB image;
    toDIB24(picture, image);
    struct Row {
        const char* name;
        std::vector<std::vector<QPoint>> indices; // each: the index point, then its measurements
    };
    const Row rows[] = {
        {"one ring across", {{{0, 0}, {10, 0}}}},
        {"two rings, steep and shallow", {{{5, 5}, {8, 30}, {40, 20}}}},
        {"backwards and upwards", {{{50, 45}, {3, 40}, {3, 2}}}},
        {"two index points", {{{1, 1}, {20, 7}}, {{30, 30}, {30, 30}, {59, 49}}}},
        {"leaving the picture", {{{55, 10}, {70, 12}, {-5, -3}}}},
        {"an index point without rings adds nothing", {{{4, 4}}, {{6, 6}, {9, 6}}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TPath path;
        std::vector<QPoint> expected;
        std::vector<int> markers;
        for (const auto& points : r.indices) {
            TIndex* index = addIndex(path, points[0]);
            for (size_t i = 1; i < points.size(); ++i) {
                addMeasurement(*index, points[i]);
                const std::vector<QPoint> line = referenceLine(points[i - 1], points[i]);
                expected.insert(expected.end(), line.begin(), line.end());
                markers.push_back(int(expected.size()) - 1);
            }
        }
        const TrackerProfile profile = BuildProfile(&path, image);
        ASSERT_EQ(profile.Points.size(), expected.size());
        EXPECT_EQ(profile.Markers, markers);
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            ASSERT_EQ(QPoint(profile.Points[i].x, profile.Points[i].y), expected[i]);
            ASSERT_EQ(profile.Points[i].Color, grayAt(picture, expected[i]));
        }
    }
}

TEST(TrackerProfile, TheSpecimenCountsOfSamplesAndMarkers)
{
    TFastDIB image;
    toDIB24(patterned(40, 40), image);
    TPath path;
    TIndex* index = addIndex(path, {0, 0});
    addMeasurement(*index, {10, 0});
    TrackerProfile one = BuildProfile(&path, image);
    EXPECT_EQ(one.Points.size(), 11u);
    EXPECT_EQ(one.Markers, std::vector<int>{10});

    addMeasurement(*index, {10, 7}); // a line of 8 samples
    TrackerProfile two = BuildProfile(&path, image);
    EXPECT_EQ(two.Points.size(), 19u);
    EXPECT_EQ(two.Markers, (std::vector<int>{10, 18}));
    EXPECT_EQ(two.Points[11].x, two.Points[10].x) << "the joint is sampled again";
    EXPECT_EQ(two.Points[11].y, two.Points[10].y);

    TFastDIB empty;
    for (const TFDPoint& p : BuildProfile(&path, empty).Points)
        ASSERT_EQ(p.Color, -1) << "no pixels: every sample off the image";
    EXPECT_TRUE(BuildProfile(nullptr, image).Points.empty());
}

TEST(TrackerProfile, SmoothingAveragesTheNeighboursAndFewerAtTheEnds)
{
    std::vector<TFDPoint> points;
    for (int c : {10, 20, 30, 40, 100})
        points.push_back(TFDPoint{0, 0, c});
    struct Row {
        int smooth;
        std::vector<double> values;
    };
    const Row rows[] = {
        {0, {10, 20, 30, 40, 100}},
        {1, {15, 20, 30, 170.0 / 3, 70}},
        {2, {20, 25, 40, 47.5, 170.0 / 3}},
        {9, {40, 40, 40, 40, 40}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.smooth);
        const std::vector<double> v = PlottedValues(points, r.smooth);
        ASSERT_EQ(v.size(), r.values.size());
        for (size_t i = 0; i < v.size(); ++i)
            EXPECT_DOUBLE_EQ(v[i], r.values[i]) << "sample " << i;
    }
    EXPECT_TRUE(PlottedValues({}, 3).empty());
}

class Tracker : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        ApplyAbsentSettingDefaults();
        ImageWindowTest::SetUp();
        tracker = new TF_Tracker;
        F_Tracker = tracker;
        tracker->resize(500, 250);
        tracker->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        delete tracker.data();
        ImageWindowTest::TearDown();
    }
    // A picture at (x, y) whose tracker copy is read; a path with one index point and rings.
    TPath* pathOver(const QImage& picture, QPoint at, std::vector<QPoint> points)
    {
        TStitchObject* so = addImage(*w, at.x(), at.y(), picture.width(), picture.height());
        toDIB24(picture, *so->FD);
        toDIB24(picture, *so->FT);
        auto path = std::make_unique<TPath>();
        TPath* p = path.get();
        w->PathList.push_back(std::move(path));
        w->CurrentPath = p;
        TIndex* index = addIndex(*p, points[0]);
        for (size_t i = 1; i < points.size(); ++i)
            addMeasurement(*index, points[i]);
        w->UpdateArea();
        return p;
    }
    // The chart point of sample i, in the middle of the plot's height.
    QPoint chartPointOf(int i) const
    {
        tracker->layoutAxes(tracker->Chart->size());
        const ChartAxis x = tracker->bottomAxis(), y = tracker->leftAxis();
        return QPoint(x.toPixel(i), (y.StartPixel + y.EndPixel) / 2);
    }

    QPointer<TF_Tracker> tracker;
};

TEST_F(Tracker, SamplesTheFirstImagesTrackerCopyAtCanvasCoordinates)
{
    const QImage picture = patterned(50, 40, 2);
    pathOver(picture, {20, 10}, {{0, 0}, {30, 0}});
    tracker->UpdateTracker(w);
    const auto& points = tracker->profile().Points;
    ASSERT_EQ(points.size(), 31u);
    EXPECT_EQ(points[5].Color, grayAt(picture, {5, 0})) << "no offset for the image's place";
    EXPECT_EQ(tracker->SB_Hor->maximum(), 31);

    tracker->UpdateTracker(nullptr);
    EXPECT_TRUE(tracker->profile().Points.empty());
    EXPECT_EQ(tracker->SB_Hor->maximum(), 0);

    tracker->UpdateTracker(w);
    w->Project->Changed = false;
    w->close(); // its window closing empties the profile
    QCoreApplication::processEvents();
    EXPECT_TRUE(tracker->profile().Points.empty());
}

TEST_F(Tracker, FollowsPointsAsTheyChange)
{
    TPath* path = pathOver(patterned(80, 40), {0, 0}, {{0, 0}, {10, 0}});
    tracker->UpdateTracker(w);
    ASSERT_EQ(tracker->profile().Points.size(), 11u);

    addMeasurement(*path->ObjectList[0], {30, 0});
    w->SmoothDraw(false); // every change of points ends in a repaint
    EXPECT_EQ(tracker->profile().Points.size(), 32u);
    EXPECT_EQ(tracker->profile().Markers, (std::vector<int>{10, 31}));

    path->ObjectList[0]->ObjectList[0]->Pos = QPoint(12, 0);
    w->SmoothDraw(false);
    EXPECT_EQ(tracker->profile().Markers, (std::vector<int>{12, 31})) << "a moved point";

    tracker->hide();
    addMeasurement(*path->ObjectList[0], {40, 0});
    w->SmoothDraw(false);
    EXPECT_EQ(tracker->profile().Markers.size(), 2u) << "a hidden tracker does no work";
}

TEST_F(Tracker, PointingIntoTheProfileShowsThePlaceInTheImageWindow)
{
    pathOver(patterned(200, 60), {0, 0}, {{10, 20}, {150, 20}});
    tracker->UpdateTracker(w);
    tracker->SB_SMDICursor->setChecked(true);
    const QPoint at = chartPointOf(40);
    QMouseEvent move(QEvent::MouseMove, at, tracker->Chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(tracker->Chart, &move);
    EXPECT_EQ(w->TrackerPos, QPoint(50, 20));
    EXPECT_TRUE(tracker->E_Position->text().startsWith(QStringLiteral("40 / "))) << tracker->E_Position->text().toStdString();

    // While the user works in the tracker the image window draws the tracker's crosshair.
    QApplication::setActiveWindow(tracker);
    ASSERT_TRUE(tracker->isActiveForm());
    w->SmoothDraw(false);
    const QPoint t = w->ToScreen(w->TrackerPos);
    const QRgb cad = qRgb(SettingCADColor & 0xFF, (SettingCADColor >> 8) & 0xFF, (SettingCADColor >> 16) & 0xFF);
    EXPECT_EQ(w->B_Foreground.pixel(t.x(), 2), cad) << "vertical line through the sample";
    EXPECT_EQ(w->B_Foreground.pixel(w->B_Foreground.width() - 3, t.y()), cad) << "horizontal line";

    tracker->SB_SMDICursor->setChecked(false);
    w->SmoothDraw(false);
    EXPECT_NE(w->B_Foreground.pixel(t.x(), 2), cad) << "the cursor button up: no crosshair";
}

TEST_F(Tracker, PointingAtTheLastSampleShowsItAndJustPastItNothing)
{
    pathOver(patterned(200, 60), {0, 0}, {{10, 20}, {150, 20}});
    tracker->UpdateTracker(w);
    const int samples = int(tracker->profile().Points.size());
    ASSERT_EQ(samples, 141);
    const struct {
        int sample;
        bool shown;
    } rows[] = {{samples - 1, true}, {samples, false}};
    for (const auto& r : rows) {
        tracker->E_Position->clear();
        w->TrackerPos = QPoint(-1, -1);
        const QPoint at = chartPointOf(r.sample);
        QMouseEvent move(QEvent::MouseMove, at, tracker->Chart->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(tracker->Chart, &move);
        EXPECT_EQ(tracker->E_Position->text().startsWith(QString::number(r.sample) + QStringLiteral(" / ")), r.shown)
            << r.sample << ": " << tracker->E_Position->text().toStdString();
        EXPECT_EQ(w->TrackerPos, r.shown ? QPoint(150, 20) : QPoint(-1, -1)) << r.sample;
    }
}

TEST_F(Tracker, AClickNearARingBorderSelectsItAndNearAnIndexPointNothing)
{
    TPath* path = pathOver(patterned(200, 60), {0, 0}, {{10, 20}, {60, 20}, {110, 20}});
    tracker->UpdateTracker(w);
    TMeasurement* second = path->ObjectList[0]->ObjectList[1].get();
    TMeasurement* first = path->ObjectList[0]->ObjectList[0].get();
    first->selected = true;

    QTest::mouseClick(tracker->Chart, Qt::LeftButton, {}, chartPointOf(95)); // sample at x 105
    EXPECT_TRUE(second->selected);
    EXPECT_FALSE(first->selected) << "the others are unselected";

    second->selected = false;
    QTest::mouseClick(tracker->Chart, Qt::LeftButton, {}, chartPointOf(2)); // beside the index point
    EXPECT_FALSE(first->selected);
    EXPECT_FALSE(second->selected);
    EXPECT_FALSE(path->ObjectList[0]->selected);
}

TEST_F(Tracker, AxisControlsSetTheRangesAtOnce)
{
    tracker->TB_Ver->setValue(300);
    EXPECT_EQ(tracker->leftAxis().Maximum, 300);
    tracker->UD_Ordinate->setValue(200);
    EXPECT_EQ(tracker->leftAxis().Minimum, 55) << "the position the control shows, not the one it left";
    tracker->SB_Log->click();
    EXPECT_EQ(tracker->leftAxis().Logarithmic, tracker->SB_Log->isChecked());
    tracker->TB_Hor->setValue(400);
    tracker->SB_Hor->setMaximum(1000);
    tracker->SB_Hor->setValue(120);
    EXPECT_EQ(tracker->bottomAxis().Minimum, 120);
    EXPECT_EQ(tracker->bottomAxis().Maximum, 520);
}

TEST_F(Tracker, TheGrayBarRunsFromTheAxisMinimumAtTheTopToItsMaximum)
{
    tracker->UD_Ordinate->setValue(255 - 40); // minimum 40
    tracker->TB_Ver->setValue(200);
    const QImage chart = tracker->chartImage();
    const ChartAxis y = tracker->leftAxis();
    EXPECT_EQ(chart.pixel(10, y.toPixel(200)), qRgb(40, 40, 40));
    EXPECT_EQ(chart.pixel(10, y.toPixel(40)), qRgb(200, 200, 200));
}

} // namespace
