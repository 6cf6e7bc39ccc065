// Mouse modes of the image window: mode changes by presses, measuring clicks on a sample core,
// snapping to the anchor line, selection and dragging, panning, edge scrolling, inertia, regions,
// arrows and rectangles, the resolution and strict-alignment buttons, keys and popups.
#include "workspace/TF_SMDI.h"

#include "image/DepthConversion.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "samples/SampleCore.h"
#include "workspace/ForwardedCommand.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/TF_Measurements.h"

#include "support/ImageWindowTest.h"
#include "support/ProjectObjects.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using testhelpers::addImage;
using testhelpers::addIndex;
using testhelpers::addMeasurement;

// A clock the test sets by hand, so press durations are exact.
class ManualClock : public StopwatchClock {
public:
    QDateTime now() const override { return m_start.addMSecs(ms); }
    quint32 tickCount() const override { return quint32(ms); }
    qint64 performanceCounter() const override { return ms; }
    qint64 performanceFrequency() const override { return 1000; }
    qint64 ms = 0;

private:
    QDateTime m_start = QDateTime(QDate(2024, 1, 1), QTime(12, 0));
};

const samples::CoreRecipe coreSpec{1500, 600, 2400, 150, 1, 6};

// The sample core as the window's only image, read into FD at 24 bits.
TStitchObject* addCore(TF_SMDI& w)
{
    TStitchObject* so = addImage(w, 0, 0, coreSpec.width, coreSpec.height);
    BitmapToDIB(samples::makeCore(coreSpec), *so->FD);
    SetPixelDepth(*so->FD, 24);
    so->Loaded = true;
    return so;
}

TAnchorPoint* addAnchor(TAnchorLine& line, QPoint pos, bool active = true)
{
    auto ap = std::make_unique<TAnchorPoint>();
    ap->Pos = pos;
    ap->Active = active;
    ap->AnchorLine = &line;
    TAnchorPoint* raw = ap.get();
    line.AnchorPoints.push_back(std::move(ap));
    return raw;
}

// A shown image window holding the sample core, with the project tool window, scripted dialogs
// and a stopwatch on a hand-set clock.
class Mouse : public testhelpers::ImageWindowTest {
protected:
    Mouse()
        : ImageWindowTest({669, 500}, QPoint(40, 30))
    {
    }

    void SetUp() override
    {
        InitSettingVariables();
        Stopwatch = std::make_unique<TStopUhr>(clock);
        ImageWindowTest::SetUp();
        w->DPI = coreSpec.dpi;
        core = addCore(*w);
        w->UpdateArea();
        w->SB_H->setValue(0);
        w->SB_V->setValue(0);
        w->Project->Changed = false;
    }

    void TearDown() override
    {
        for (QMenu* menu : {w->PAB_MDI, w->PAB_Selected})
            menu->hide();
        // The tool window goes before the window here.
        delete tool.data();
        F_Measurements = nullptr;
        ImageWindowTest::TearDown();
        InitSettingVariables();
    }

    void press(QPoint p, Qt::KeyboardModifiers keys = {}, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(w->PB, button, keys, p);
    }
    void release(QPoint p, Qt::MouseButton button = Qt::LeftButton) { QTest::mouseRelease(w->PB, button, {}, p); }
    void click(QPoint p, Qt::KeyboardModifiers keys = {}) { QTest::mouseClick(w->PB, Qt::LeftButton, keys, p); }
    // A move with the left button held and the given keys.
    void drag(QPoint p, Qt::KeyboardModifiers keys = {}) { w->PBMouseMove(Qt::LeftButton, keys, p.x(), p.y()); }
    QString panel(int i) const { return w->SB_MDIPanels[i]->text(); }

    ManualClock clock;
    TStitchObject* core = nullptr;
};

// ---- snapping -----------------------------------------------------------------------------------

TEST(AnchorSnap, StepWalkAlongTheLine)
{
    struct Anchor {
        QPoint pos;
        bool active;
    };
    struct Row {
        const char* what;
        std::vector<Anchor> line;
        QPoint mouse;
        int steps; // -1: no segment holds the point
        QPoint snapped;
    };
    const Row rows[] = {
        {"no line", {}, {50, 400}, -1, {50, 400}},
        {"one point", {{{0, 100}, true}}, {50, 400}, -1, {50, 400}},
        {"flat: straight above the mouse", {{{0, 100}, true}, {{200, 110}, true}}, {50, 400}, 50, {50, 103}},
        {"flat: beyond its end", {{{0, 100}, true}, {{200, 110}, true}}, {300, 400}, -1, {300, 400}},
        {"flat: at its start", {{{0, 100}, true}, {{200, 110}, true}}, {0, 7}, 0, {0, 100}},
        {"flat: at its end", {{{0, 100}, true}, {{200, 110}, true}}, {200, 7}, 200, {200, 110}},
        {"flat, walked leftward", {{{200, 110}, true}, {{0, 100}, true}}, {160, 0}, 40, {160, 108}},
        {"steep: straight beside the mouse", {{{10, 0}, true}, {{14, 40}, true}}, {99, 20}, 20, {12, 20}},
        {"steep, walked upward", {{{14, 40}, true}, {{10, 0}, true}}, {-5, 30}, 10, {13, 30}},
        {"inactive start skips its segment", {{{0, 0}, false}, {{100, 0}, true}, {{200, 0}, true}}, {50, 9}, -1, {50, 9}},
        {"inactive start: next segment answers", {{{0, 0}, false}, {{100, 0}, true}, {{200, 0}, true}}, {150, 9}, 50, {150, 0}},
        {"steps run on over walked segments",
         {{{0, 0}, true}, {{100, 0}, true}, {{110, 100}, true}},
         {500, 50},
         150,
         {105, 50}},
        {"first suitable segment wins", {{{0, 0}, true}, {{100, 0}, true}, {{0, 50}, true}}, {40, 30}, 40, {40, 0}},
        {"equal points hold nothing", {{{5, 5}, true}, {{5, 5}, true}}, {9, 9}, -1, {9, 9}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TF_SMDI w;
        for (const Anchor& a : r.line)
            addAnchor(*w.AnchorLine, a.pos, a.active);
        int x = r.mouse.x(), y = r.mouse.y();
        EXPECT_EQ(w.GetAnchorPos(x, y), r.steps);
        EXPECT_EQ(QPoint(x, y), r.snapped);
    }
}

// Every snapped point lies on the ideal line within half a pixel, whatever the slope.
TEST(AnchorSnap, SnappedPointsFollowTheLine)
{
    TF_SMDI w;
    const QPoint a(30, 700), b(1030, 377);
    addAnchor(*w.AnchorLine, a);
    addAnchor(*w.AnchorLine, b);
    for (int x = a.x(); x <= b.x(); x += 7) {
        int cx = x, cy = 0;
        ASSERT_EQ(w.GetAnchorPos(cx, cy), x - a.x());
        const double ideal = a.y() + double(b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
        EXPECT_LE(std::abs(cy - ideal), 0.5) << "x " << x;
    }
}

// ---- modes ------------------------------------------------------------------------------------

TEST_F(Mouse, PressesMoveTheModes)
{
    struct Row {
        int from;
        Qt::MouseButton button;
        Qt::KeyboardModifiers keys;
        int to;
    };
    const Row rows[] = {
        {mmSelectRegion, Qt::LeftButton, {}, mmRegionDrag},
        {mmSelectRegion, Qt::LeftButton, Qt::ShiftModifier, mmSelectRegion},
        {mmRegionDrag, Qt::LeftButton, {}, mmSelect},
        {mmDPIPoint1, Qt::LeftButton, {}, mmDPIPoint2},
        {mmDPIPoint2, Qt::LeftButton, {}, mmDPIDone},
        {mmDPIDone, Qt::LeftButton, {}, mmDPIDone},
        {mmArrowStart, Qt::LeftButton, {}, mmArrowEnd},
        {mmArrowStart, Qt::LeftButton, Qt::ControlModifier, mmArrowStart},
        {mmArrowEnd, Qt::LeftButton, {}, mmSelect},
        {mmRectangleStart, Qt::LeftButton, {}, mmRectangleEnd},
        {mmRectangleEnd, Qt::LeftButton, {}, mmSelect},
        {mmAlignImages, Qt::LeftButton, {}, mmAlignImages},
        {mmAnchorLine, Qt::MiddleButton, {}, mmAnchorLine},
        {mmSelect, Qt::LeftButton, {}, mmSelect},
        {mmSelectRegion, Qt::RightButton, {}, mmSelectRegion},
        {mmArrowStart, Qt::RightButton, {}, mmArrowStart},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "from " << r.from << " button " << r.button << " keys " << r.keys);
        if (r.from >= mmArrowStart && r.from <= mmRectangleEnd)
            w->A_ArrowExecute();
        w->ApplyScreenMode(r.from);
        press({120, 90}, r.keys, r.button);
        release({120, 90}, r.button);
        EXPECT_EQ(w->ScreenMode(), r.to);
        w->PAB_MDI->hide();
        w->ApplyScreenMode(mmSelect);
    }
}

TEST_F(Mouse, PressWithoutImagesOnlyMarksTheProject)
{
    w->StitchList.clear();
    w->UpdateArea();
    w->ApplyScreenMode(mmSelectRegion);
    click({50, 60});
    EXPECT_EQ(w->ScreenMode(), mmSelectRegion);
    EXPECT_FALSE(w->CopyRect);
    EXPECT_TRUE(w->Project->Changed); // modes above 1 mark the project at every press
}

// Any press in a mode above 1 marks the project changed; selecting does not.
TEST_F(Mouse, PressesMarkTheProjectAboveMode1)
{
    for (int mode : {mmSelect, mmDPIPoint1, mmDPIDone, mmNewIndex, mmAlignImages, mmAnchorLine}) {
        SCOPED_TRACE(mode);
        w->ApplyScreenMode(mode);
        w->Project->Changed = false;
        press({50, 60}, {}, Qt::MiddleButton);
        release({50, 60}, Qt::MiddleButton);
        EXPECT_EQ(w->Project->Changed, mode > 1);
    }
}

// Measuring clicks mark the project through its document, announced once however many points
// follow; the image tree's project row shows the changed icon, and the saved one again when the
// document is marked saved, told by the document alone.
TEST_F(Mouse, MeasuringMarksTheProjectThroughItsDocument)
{
    ImageTreeModel* images = tool->imageModel();
    ASSERT_GE(images->rowCount(), 1);
    // Asked afresh each time: a click refills the tree, and an older index would point at a freed node.
    auto projectRow = [images] { return images->index(0, 0); };
    ASSERT_EQ(images->GetNodeWindow(images->nodeFromIndex(projectRow())), w.data());
    auto rowIcon = [&] { return images->IconSlot(images->nodeFromIndex(projectRow())); };
    EXPECT_EQ(rowIcon(), 9);

    QSignalSpy flips(&w->document(), &ProjectDocument::modificationChanged);
    w->A_NewIndexExecute();
    click({50, 60});
    click({90, 60});
    ASSERT_NE(w->CurrentPath.get(), nullptr);
    ASSERT_EQ(w->CurrentPath->ObjectList.size(), 1u);
    EXPECT_EQ(w->CurrentPath->ObjectList[0]->ObjectList.size(), 1u);
    EXPECT_TRUE(w->Project->Changed);
    ASSERT_EQ(flips.count(), 1);
    EXPECT_TRUE(flips[0][0].toBool());
    EXPECT_EQ(rowIcon(), 8);

    QSignalSpy rows(images, &QAbstractItemModel::dataChanged);
    w->document().setChanged(false);
    ASSERT_EQ(flips.count(), 2);
    ASSERT_EQ(rows.count(), 1);
    EXPECT_EQ(rows[0][0].value<QModelIndex>(), projectRow());
    EXPECT_EQ(rowIcon(), 9);
}

// ---- measuring clicks ---------------------------------------------------------------------------

// Clicks at the ring borders of the sample core at 3:1, scrolled to each border in turn, make an
// index point and one measurement point per ring with the ring's width.
TEST_F(Mouse, MeasuringClicksAtRingBorders)
{
    const QVector<int> borders = samples::ringBorders(coreSpec);
    ASSERT_GE(borders.size(), 5);
    w->ApplyZoom(8); // 3:1: every screen pixel of a canvas pixel maps to it
    TPath* path = w->CurrentPath;
    ASSERT_NE(path, nullptr);
    w->A_NewIndexExecute();
    ASSERT_EQ(w->ScreenMode(), mmNewIndex);

    const int y = 100;
    for (int i = 0; i < 5; ++i) {
        w->SB_H->setValue(borders[i] - 50);
        ASSERT_EQ(w->SB_H->value(), borders[i] - 50);
        click({50 * 3 + 1, y * 3 + 2}); // inside the magnified pixel of canvas (border, y)
        if (i == 0) {
            EXPECT_EQ(w->ScreenMode(), mmNewMeasurement) << "one index point, no measurement, then measuring";
        }
    }

    ASSERT_EQ(path->ObjectList.size(), 1u);
    TIndex* index = path->ObjectList[0].get();
    EXPECT_EQ(index->Pos, QPoint(borders[0], y));
    EXPECT_EQ(static_cast<TIndex*>(w->CurrentIndex), index);
    ASSERT_EQ(index->ObjectList.size(), 4u);
    for (int i = 1; i < 5; ++i) {
        SCOPED_TRACE(i);
        const TMeasurement* m = index->ObjectList[size_t(i - 1)].get();
        EXPECT_EQ(m->Pos, QPoint(borders[i], y));
        EXPECT_DOUBLE_EQ(m->distance, borders[i] - borders[i - 1]);
        EXPECT_EQ(m->Name, QStringLiteral("M %1").arg(i));
        // 2400 dpi in 1/100 mm.
        EXPECT_NEAR(TF_Measurements::GetDistance(m->distance, w), (borders[i] - borders[i - 1]) / 2400.0 * 2540.0, 1e-9);
    }
    EXPECT_TRUE(index->ObjectList.back()->selected);
    EXPECT_FALSE(index->ObjectList.front()->selected);
    EXPECT_TRUE(w->Project->Changed);
}

TEST_F(Mouse, MeasuringWithoutIndexAsksForOne)
{
    w->ApplyScreenMode(mmNewMeasurement);
    ASSERT_EQ(static_cast<TIndex*>(w->CurrentIndex), nullptr);
    click({100, 100});
    EXPECT_EQ(dialogs->shownTexts(), QStringList{QStringLiteral("You must create an Index first!")});
    EXPECT_EQ(w->ScreenMode(), mmNewIndex);
    EXPECT_TRUE(w->CurrentPath->ObjectList.empty()) << "the click must not also place an index point";
}

// One active anchor point at (0, 100) and one at (200, 110): with strict alignment a click with the
// mouse over x = 50 lands on the line, one beyond its end stays at the mouse.
TEST_F(Mouse, StrictAlignmentPlacesPointsOnTheAnchorLine)
{
    addAnchor(*w->AnchorLine, {0, 100});
    addAnchor(*w->AnchorLine, {200, 110});
    TIndex* index = addIndex(*w->CurrentPath, {0, 50});
    w->CurrentIndex = index;
    w->SB_AnchorStrict->setChecked(true);
    w->ApplyScreenMode(mmNewMeasurement);

    w->PBMouseMove(Qt::NoButton, {}, 50, 400); // Anchor follows the mouse
    EXPECT_EQ(w->Anchor, QPoint(50, 103));
    click({50, 400});
    w->PBMouseMove(Qt::NoButton, {}, 300, 150);
    EXPECT_EQ(w->Anchor, QPoint(300, 150));
    click({300, 150});

    ASSERT_EQ(index->ObjectList.size(), 2u);
    EXPECT_EQ(index->ObjectList[0]->Pos, QPoint(50, 103));
    EXPECT_EQ(index->ObjectList[1]->Pos, QPoint(300, 150));
}

TEST_F(Mouse, AnchorModeAppendsSelectedAnchorPoints)
{
    w->ApplyScreenMode(mmAnchorLine);
    click({30, 40});
    click({90, 45});
    ASSERT_EQ(w->AnchorLine->Count(), 2);
    EXPECT_EQ(w->AnchorLine->AnchorPoints[1]->Pos, QPoint(90, 45));
    EXPECT_TRUE(w->AnchorLine->AnchorPoints[1]->Active);
    EXPECT_FALSE(w->AnchorLine->AnchorPoints[0]->selected);
    EXPECT_TRUE(w->AnchorLine->AnchorPoints[1]->selected);
    EXPECT_EQ(w->ScreenMode(), mmAnchorLine);
}

// ---- selecting and dragging points --------------------------------------------------------------

class SelectPoints : public Mouse {
protected:
    void SetUp() override
    {
        Mouse::SetUp();
        path = w->CurrentPath;
        index = addIndex(*path, {100, 100});
        m1 = addMeasurement(*index, {200, 100});
        m2 = addMeasurement(*index, {300, 100});
        tool->FillMeasurements(w, false);
    }
    TPath* path = nullptr;
    TIndex* index = nullptr;
    TMeasurement* m1 = nullptr;
    TMeasurement* m2 = nullptr;
};

TEST_F(SelectPoints, ClicksSelectTheNearestPoint)
{
    click({200, 130}); // 30 pixels away
    EXPECT_TRUE(m1->selected);
    click({300, 100}, Qt::ShiftModifier);
    EXPECT_TRUE(m1->selected) << "Shift keeps the others";
    EXPECT_TRUE(m2->selected);
    click({300, 100});
    EXPECT_FALSE(m1->selected);
    EXPECT_FALSE(m2->selected) << "a plain click on a selected point leaves nothing selected";
    click({100, 131}); // 31 pixels away
    EXPECT_FALSE(index->selected);
}

TEST_F(SelectPoints, AltDragMovesTheSelectedPointAndItsWidth)
{
    click({200, 100});
    ASSERT_TRUE(m1->selected);
    press({200, 100}, Qt::AltModifier);
    drag({230, 140}, Qt::AltModifier);
    EXPECT_EQ(m1->Pos, QPoint(230, 140));
    EXPECT_DOUBLE_EQ(m1->distance, std::hypot(130.0, 40.0));
    EXPECT_DOUBLE_EQ(m2->distance, std::hypot(70.0, 40.0));
    EXPECT_TRUE(w->Project->Changed);
}

TEST_F(SelectPoints, AltShiftDragCarriesTheIndexPointsMeasurements)
{
    click({100, 100});
    ASSERT_TRUE(index->selected);
    press({100, 100}, Qt::AltModifier | Qt::ShiftModifier);
    drag({110, 95}, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_EQ(index->Pos, QPoint(110, 95));
    EXPECT_EQ(m1->Pos, QPoint(210, 95));
    EXPECT_EQ(m2->Pos, QPoint(310, 95));
}

// Of several selected points, Alt drags the one selected last, as the tree reports it.
TEST_F(SelectPoints, AltDragWithSeveralSelectedMovesTheLastSelected)
{
    click({200, 100});
    click({300, 100}, Qt::ShiftModifier);
    ASSERT_TRUE(m1->selected && m2->selected);
    ASSERT_EQ(tool->GetSelectedMeasurement(), m2);
    press({300, 100}, Qt::AltModifier);
    drag({320, 130}, Qt::AltModifier);
    EXPECT_EQ(m2->Pos, QPoint(320, 130));
    EXPECT_EQ(m1->Pos, QPoint(200, 100));
}

// Up and Down in the image window walk the measurement tree, as they would in the tree itself.
TEST_F(SelectPoints, UpAndDownKeysWalkTheMeasurementTree)
{
    click({200, 100});
    ASSERT_EQ(tool->FirstSelectedObject(), m1);
    QTest::keyClick(w, Qt::Key_Down);
    EXPECT_EQ(tool->FirstSelectedObject(), m2);
    QTest::keyClick(w, Qt::Key_Up);
    QTest::keyClick(w, Qt::Key_Up);
    EXPECT_EQ(tool->FirstSelectedObject(), index);
}

// Delete in the image window acts on the tree's selection, as the tree's own key would.
TEST_F(SelectPoints, DeleteKeyReachesTheMeasurementTree)
{
    click({300, 100});
    ASSERT_TRUE(m2->selected);
    dialogs->answerMessage(mrYes);
    QTest::keyClick(w, Qt::Key_Delete);
    EXPECT_EQ(dialogs->shownTexts(), QStringList{QStringLiteral("Delete 1 measurements?")});
    ASSERT_EQ(index->ObjectList.size(), 1u);
    EXPECT_EQ(index->ObjectList[0].get(), m1);
}

// ---- panning, edge scrolling, inertia -----------------------------------------------------------

TEST_F(Mouse, PanningKeepsTheGrabbedPointUnderTheMouse)
{
    w->SB_H->setValue(300);
    w->SB_V->setValue(100);
    ASSERT_EQ(w->SB_V->value(), 100);
    press({200, 150});
    EXPECT_TRUE(ImagePanning);
    const QPoint grabbed = w->MouseDown;
    QTest::mouseMove(w->PB, {150, 120});
    EXPECT_EQ(w->SB_H->value(), 350);
    EXPECT_EQ(w->SB_V->value(), 130);
    EXPECT_EQ(w->ToReal(150, 120), grabbed);
    release({150, 120});
    EXPECT_FALSE(ImagePanning);

    // Ctrl pans in any mode.
    w->ApplyScreenMode(mmNewIndex);
    press({100, 100}, Qt::ControlModifier);
    drag({90, 100}, Qt::ControlModifier);
    release({90, 100});
    EXPECT_EQ(w->SB_H->value(), 360);
    EXPECT_TRUE(w->CurrentPath->ObjectList.empty()) << "a Ctrl press places no point";
}

TEST_F(Mouse, EdgeScrolling)
{
    SettingEnableAutoScroll = true;
    SettingAutoScrollSpeed = 5;
    const int right = w->PB->width() - 5;
    const int bottom = w->PB->height() - 5;
    struct Row {
        int zoom;
        int mode;
        Qt::KeyboardModifiers keys;
        QPoint mouse;
        int h, v;       // bar positions before
        int dh, dv;     // and their change
    };
    const Row rows[] = {
        {10, mmSelect, {}, {5, 100}, 100, 20, -5, 0},
        {10, mmSelect, {}, {right, 100}, 100, 20, 5, 0},
        {10, mmSelect, {}, {100, bottom}, 100, 20, 0, 5},
        {10, mmSelect, {}, {100, 5}, 100, 20, 0, -5},
        {10, mmSelect, {}, {5, 5}, 100, 20, -5, -5},
        {10, mmSelect, {}, {5, 100}, 5, 20, 0, 0},      // would reach the minimum
        {10, mmSelect, {}, {5, 100}, 6, 20, -5, 0},
        {10, mmSelect, {}, {100, 100}, 100, 20, 0, 0},  // away from the edges
        {12, mmSelect, {}, {5, 100}, 100, 20, -15, 0},  // 1:3 scrolls 3 canvas pixels per step
        {10, mmAlignImages, Qt::AltModifier, {5, 100}, 100, 20, 0, 0},
        {10, mmAlignImages, {}, {5, 100}, 100, 20, -5, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "zoom " << r.zoom << " mouse (" << r.mouse.x() << ", " << r.mouse.y() << ")");
        w->ApplyZoom(r.zoom);
        w->ApplyScreenMode(r.mode);
        for (QScrollBar* bar : {w->SB_H, w->SB_V}) {
            bar->setRange(0, 5000);
            bar->setEnabled(true);
        }
        w->SB_H->setValue(r.h);
        w->SB_V->setValue(r.v);
        w->PBMouseMove(Qt::NoButton, r.keys, r.mouse.x(), r.mouse.y());
        EXPECT_EQ(w->SB_H->value() - r.h, r.dh);
        EXPECT_EQ(w->SB_V->value() - r.v, r.dv);
    }
    SettingEnableAutoScroll = false;
    w->SB_H->setValue(100);
    w->PBMouseMove(Qt::NoButton, {}, 5, 100);
    EXPECT_EQ(w->SB_H->value(), 100);
}

TEST_F(Mouse, QuickDragLeavesInertia)
{
    struct Row {
        int dx;
        int ms;
        int zoom;
        int speed;
        qint64 inertiaTime;
        int firstTick; // change of the bar position at the first tick
    };
    const Row rows[] = {
        {100, 250, 10, 200, 250, -3},
        {100, 100, 10, 250, 200, -4}, // short presses count as 200 ms
        {-100, 250, 10, -200, 250, 3},
        {100, 999, 10, 50, 999, 0},
        {100, 1000, 10, 0, 1000, 0},
        {100, 5000, 10, 0, 5000, 0},
        {30, 400, 12, 45, 400, 0},
    };
    SettingGestureScrolling = true;
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.dx << " px in " << r.ms << " ms at zoom " << r.zoom);
        w->ApplyZoom(r.zoom);
        w->ApplyScreenMode(mmNewIndex); // no panning: only the timing counts
        w->PBMouseDown(Qt::LeftButton, Qt::ControlModifier, 300, 100);
        clock.ms += r.ms;
        w->PBMouseUp(Qt::LeftButton, {}, 300 + r.dx, 100);
        EXPECT_EQ(w->GestureInertiaTime, r.inertiaTime);
        ASSERT_EQ(w->TDelta_X, r.speed);
        EXPECT_EQ(w->TDelta_Y, 0);

        // The view keeps moving against the speed, slowing by 3 per tick until it rests.
        w->SB_H->setValue(700);
        int speed = r.speed, expected = 700, ticks = 0;
        do {
            w->T_GestureTimer();
            if (speed != 0) {
                speed = speed > 0 ? std::max(speed - 3, 0) : std::min(speed + 3, 0);
                expected -= speed / 50;
            }
            ASSERT_EQ(w->TDelta_X, speed);
            ASSERT_EQ(w->SB_H->value(), expected) << "tick " << ticks;
            if (ticks == 0) {
                EXPECT_EQ(w->SB_H->value() - 700, r.firstTick);
            }
        } while (speed != 0 && ++ticks < 1000);
    }
}

TEST_F(Mouse, InertiaNeedsGestureScrolling)
{
    w->PBMouseDown(Qt::LeftButton, Qt::ControlModifier, 300, 100);
    clock.ms += 250;
    w->PBMouseUp(Qt::LeftButton, {}, 400, 100);
    ASSERT_EQ(w->TDelta_X, 200);
    w->SB_H->setValue(700);
    w->T_GestureTimer();
    EXPECT_EQ(w->SB_H->value(), 700);
    EXPECT_EQ(w->TDelta_X, 200);
    // A new press stops the view.
    w->PBMouseDown(Qt::LeftButton, Qt::ControlModifier, 300, 100);
    EXPECT_EQ(w->TDelta_X, 0);
}

// ---- regions, arrows, rectangles ----------------------------------------------------------------

TEST_F(Mouse, RegionSelection)
{
    w->SB_H->setValue(0);
    w->SB_V->setValue(0);
    w->A_SelectRegion->trigger();
    EXPECT_EQ(w->ScreenMode(), mmSelectRegion);
    EXPECT_EQ(w->ClipbrdPT1, QPoint(0, 0));
    click({100, 100});
    EXPECT_EQ(w->ScreenMode(), mmRegionDrag);
    EXPECT_TRUE(w->CopyRect);
    EXPECT_EQ(w->ClipbrdPT1, QPoint(100, 100));
    w->PBMouseMove(Qt::NoButton, {}, 40, 60);
    EXPECT_EQ(w->ClipbrdPT2, QPoint(40, 60));
    EXPECT_EQ(panel(4), QStringLiteral("100/100 -> 40/60 = 60/40"));
    EXPECT_EQ(panel(3), QStringLiteral("40/60"));
    click({40, 60});
    EXPECT_EQ(w->ScreenMode(), mmSelect);
    EXPECT_TRUE(w->CopyRect) << "the region stays shown until Esc";

    QTest::keyClick(w, Qt::Key_Escape);
    EXPECT_FALSE(w->CopyRect);
    EXPECT_EQ(panel(4), QString());
}

TEST_F(Mouse, RegionCornersFollowScrollAndZoom)
{
    w->ApplyZoom(12); // 1:3
    w->SB_H->setValue(90);
    w->SB_V->setValue(30);
    w->A_SelectRegionExecute();
    EXPECT_EQ(w->ClipbrdPT1, QPoint(90, 30));
    click({10, 20});
    w->PBMouseMove(Qt::NoButton, {}, 50, 40);
    EXPECT_EQ(w->ClipbrdPT1, QPoint(120, 90));
    EXPECT_EQ(w->ClipbrdPT2, QPoint(240, 150));
    EXPECT_EQ(panel(4), QStringLiteral("120/90 -> 240/150 = 120/60"));
}

TEST_F(Mouse, EscLeavesRegionModesAndUnselects)
{
    TIndex* index = addIndex(*w->CurrentPath, {10, 10});
    index->selected = true;
    w->CurrentPath->selected = true;
    for (int mode : {mmSelectRegion, mmRegionDrag, mmNewIndex}) {
        SCOPED_TRACE(mode);
        w->ApplyScreenMode(mode);
        w->CopyRect = true;
        int key = Qt::Key_Escape;
        w->FormKeyDown(key, {});
        EXPECT_EQ(w->ScreenMode(), mode == mmNewIndex ? mmNewIndex : mmSelect);
        EXPECT_FALSE(w->CopyRect);
        EXPECT_FALSE(index->selected);
        EXPECT_FALSE(w->CurrentPath->selected);
    }
}

TEST_F(Mouse, ArrowIsPlacedByTwoPresses)
{
    w->A_Arrow->trigger();
    ASSERT_EQ(w->DrawList.size(), 1u);
    auto* arrow = dynamic_cast<TArrow*>(w->DrawList[0].get());
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(w->DrawObject, arrow);
    EXPECT_EQ(w->ScreenMode(), mmArrowStart);
    EXPECT_EQ(arrow->Name, QStringLiteral("Arrow"));
    EXPECT_EQ(arrow->Color, 0x00FFFF);
    EXPECT_EQ(arrow->Width, 3);
    EXPECT_EQ(arrow->BaseType, 0);
    EXPECT_EQ(arrow->TipType, 3);
    EXPECT_EQ(arrow->BaseWidth, 10);
    EXPECT_EQ(arrow->TipWidth, 10);
    EXPECT_EQ(arrow->MDIForm.data(), static_cast<QObject*>(w.data()));
    EXPECT_EQ(static_cast<TPath*>(arrow->Path), static_cast<TPath*>(w->CurrentPath));
    EXPECT_TRUE(w->CurrentPath->expanded);

    w->SB_H->setValue(10);
    click({20, 30});
    EXPECT_EQ(arrow->x1, QPoint(30, 30));
    EXPECT_EQ(w->ScreenMode(), mmArrowEnd);
    w->PBMouseMove(Qt::NoButton, {}, 70, 80);
    EXPECT_EQ(arrow->x2, QPoint(80, 80));
    click({90, 100});
    EXPECT_EQ(arrow->x2, QPoint(100, 100));
    EXPECT_EQ(w->ScreenMode(), mmSelect);
}

TEST_F(Mouse, RectangleIsPlacedByTwoPresses)
{
    w->A_Rectangle->trigger();
    ASSERT_EQ(w->DrawList.size(), 1u);
    auto* rect = dynamic_cast<TRectangle*>(w->DrawList[0].get());
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(w->ScreenMode(), mmRectangleStart);
    EXPECT_EQ(rect->Name, QStringLiteral("Rectangle"));
    EXPECT_TRUE(rect->Transparent);
    EXPECT_EQ(rect->PColor, 0x00FFFF);
    EXPECT_EQ(rect->PWidth, 3);
    EXPECT_EQ(rect->BColor, 0);
    click({40, 50});
    w->PBMouseMove(Qt::NoButton, {}, 10, 20);
    EXPECT_EQ(rect->x2, QPoint(10, 20));
    click({15, 25});
    EXPECT_EQ(rect->x1, QPoint(40, 50));
    EXPECT_EQ(rect->x2, QPoint(15, 25));
    EXPECT_EQ(w->ScreenMode(), mmSelect);
}

TEST_F(Mouse, DrawCommandsNeedACurrentPath)
{
    w->CurrentPath = nullptr;
    w->A_ArrowExecute();
    w->A_RectangleExecute();
    EXPECT_TRUE(w->DrawList.empty());
    EXPECT_EQ(w->ScreenMode(), mmSelect);
}

// The tree may delete the object while it is being placed; the presses must not reach it.
TEST_F(Mouse, DeletedDrawObjectIsNotTouched)
{
    w->A_ArrowExecute();
    w->DrawList.clear();
    w->PBMouseMove(Qt::NoButton, {}, 30, 30);
    click({30, 30});
    EXPECT_EQ(w->ScreenMode(), mmSelect);
    EXPECT_EQ(w->DrawObject, nullptr);

    w->A_RectangleExecute();
    click({30, 30});
    ASSERT_EQ(w->ScreenMode(), mmRectangleEnd);
    w->DrawList.clear();
    w->PBMouseMove(Qt::NoButton, {}, 50, 50);
    click({50, 50});
    EXPECT_EQ(w->ScreenMode(), mmSelect);
}

// ---- image alignment ----------------------------------------------------------------------------

TEST_F(Mouse, AlignmentPressesSelectImages)
{
    TStitchObject* second = addImage(*w, 1600, 0, 300, 200);
    w->UpdateArea();
    w->SB_H->setValue(0);
    w->ApplyScreenMode(mmAlignImages);
    click({100, 100});
    EXPECT_TRUE(core->Selected);
    w->SB_H->setValue(w->SB_H->maximum());
    const QPoint onSecond(1650 - w->SB_H->value(), 50);
    ASSERT_EQ(w->GetStitchObjectAt(w->ToReal(onSecond.x(), onSecond.y())), second);
    click(onSecond, Qt::ShiftModifier);
    EXPECT_TRUE(core->Selected) << "Shift adds";
    EXPECT_TRUE(second->Selected);
    click(onSecond);
    EXPECT_FALSE(core->Selected) << "a plain press selects only the image under it";
    EXPECT_TRUE(second->Selected);
}

// The alignment popup's image items need an image selected in the image tree, and are never more
// enabled than the image-tree command each passes on to.
TEST_F(Mouse, AlignmentPopupItemsFollowTheImageTreeSelection)
{
    const QList<QAction*> items = {w->M_RemoveImage, w->M_SaveImage, w->M_BringToFront,
                                   w->M_SendToBack, w->M_OneUp, w->M_OneDown};
    QList<QAction*> commands;
    for (QAction* item : items) {
        commands << ForwardedCommand(item);
        ASSERT_NE(commands.back(), nullptr) << item->text().toStdString();
    }
    tool->FillProject(w);
    const QModelIndex image = tool->imageModel()->indexFromNode(tool->imageModel()->findNode(core));
    ASSERT_TRUE(image.isValid());
    struct Row {
        const char* what;
        bool selected;
        bool commandsEnabled;
    } rows[] = {
        {"nothing selected", false, true},
        {"image selected", true, true},
        {"image selected, commands disabled", true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.selected)
            tool->VST_SO->selectionModel()->select(image, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        else
            tool->VST_SO->selectionModel()->clearSelection();
        for (QAction* command : commands)
            command->setEnabled(row.commandsEnabled);
        w->PAB_SelectedPopup();
        for (QAction* item : items)
            EXPECT_EQ(item->isEnabled(), row.selected && row.commandsEnabled) << item->text().toStdString();
    }
}

TEST_F(Mouse, AltDragMovesSelectedImages)
{
    TStitchObject* second = addImage(*w, 1600, 0, 300, 200);
    core->Selected = true;
    second->Selected = true;
    w->UpdateArea();
    w->ApplyScreenMode(mmAlignImages);
    w->PBMouseDown(Qt::LeftButton, Qt::AltModifier, 200, 100);
    drag({205, 102}, Qt::AltModifier);
    drag({210, 105}, Qt::AltModifier);
    EXPECT_EQ(QPoint(core->x, core->y), QPoint(10, 5));
    EXPECT_EQ(QPoint(second->x, second->y), QPoint(1610, 5));
    EXPECT_EQ(panel(4), QStringLiteral("10  -5"));
    EXPECT_TRUE(w->Project->Changed);

    // A new press starts a new displacement.
    w->PBMouseDown(Qt::LeftButton, Qt::AltModifier, 200, 100);
    drag({199, 100}, Qt::AltModifier);
    EXPECT_EQ(panel(4), QStringLiteral("-1  0"));
}

// ---- buttons, keys, popups ----------------------------------------------------------------------

TEST_F(Mouse, StrictAlignmentNeedsAnAnchorLine)
{
    QTest::mouseClick(w->SB_AnchorStrict, Qt::LeftButton);
    EXPECT_FALSE(w->SB_AnchorStrict->isChecked());
    EXPECT_EQ(dialogs->shownTexts(),
              QStringList{QStringLiteral("You must set an Anchor line before switching to strict point alignment mode!")});
    ASSERT_EQ(dialogs->shown().size(), 1);
    EXPECT_EQ(dialogs->shown()[0].type, mtError);

    addAnchor(*w->AnchorLine, {10, 10});
    QTest::mouseClick(w->SB_AnchorStrict, Qt::LeftButton);
    EXPECT_TRUE(w->SB_AnchorStrict->isChecked());
    EXPECT_EQ(dialogs->callCount(), 1);
}

TEST_F(Mouse, ResolutionTypedOnTheDPIButton)
{
    struct Row {
        const char* answer; // nullptr: Cancel
        int dpi;
        QStringList messages;
    };
    const Row rows[] = {
        {"1800", 1800, {QStringLiteral("The DPI resolution was changed to 1800 dpi.")}},
        {" 600", 600, {QStringLiteral("The DPI resolution was changed to 600 dpi.")}},
        {"abc", 2400, {}},
        {"-1", 2400, {}},
        {nullptr, 2400, {}},
        {"0", 2400, {QStringLiteral("The DPI value must be greater than 0!")}},
        {"-300", 2400, {QStringLiteral("The DPI value must be greater than 0!")}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.answer ? r.answer : "cancel");
        w->DPI = 2400;
        w->SetCaption();
        w->Project->Changed = false;
        auto fake = std::make_unique<FakeDialogs>();
        FakeDialogs* script = fake.get();
        setDialogs(std::move(fake));
        if (r.answer)
            script->answerInput(QString::fromLatin1(r.answer));
        else
            script->cancelInput();
        QTest::mousePress(w->SB_DPI, Qt::RightButton);
        QTest::mouseRelease(w->SB_DPI, Qt::RightButton);
        ASSERT_GE(script->shown().size(), 1);
        EXPECT_EQ(script->shown()[0].caption, QStringLiteral("JEX"));
        EXPECT_EQ(script->shown()[0].text, QStringLiteral("Enter DPI value:"));
        EXPECT_EQ(script->shown()[0].detail, QStringLiteral("2400"));
        EXPECT_EQ(script->shownTexts().mid(1), r.messages);
        EXPECT_EQ(w->DPI, r.dpi);
        EXPECT_EQ(w->SB_DPI->text(), QString::number(r.dpi));
        EXPECT_TRUE(w->Project->Changed);
        EXPECT_TRUE(script->errors().isEmpty()) << script->errors().join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(Mouse, CalibrationPointsFollowTheMouse)
{
    QTest::mousePress(w->SB_DPI, Qt::LeftButton);
    QTest::mouseRelease(w->SB_DPI, Qt::LeftButton);
    ASSERT_EQ(w->ScreenMode(), mmDPIPoint1);
    w->PBMouseMove(Qt::NoButton, {}, 100, 50);
    EXPECT_EQ(w->DPI1, QPoint(100, 50));
    click({100, 50});
    ASSERT_EQ(w->ScreenMode(), mmDPIPoint2);
    w->PBMouseMove(Qt::NoButton, {}, 354, 50);
    EXPECT_EQ(w->DPI1, QPoint(100, 50));
    EXPECT_EQ(w->DPI2, QPoint(354, 50));
    click({354, 50});
    EXPECT_EQ(w->ScreenMode(), mmDPIDone);
    w->PBMouseMove(Qt::NoButton, {}, 400, 60);
    EXPECT_EQ(w->DPI2, QPoint(354, 50)) << "both points are fixed";
}

TEST_F(Mouse, RightClickOpensThePopupAtTheComputedPlace)
{
    for (int mode : {mmSelect, mmAlignImages}) {
        SCOPED_TRACE(mode);
        w->ApplyScreenMode(mode);
        press({10, 12}, {}, Qt::RightButton);
        QMenu* open = mode == mmAlignImages ? w->PAB_Selected : w->PAB_MDI;
        QMenu* closed = mode == mmAlignImages ? w->PAB_MDI : w->PAB_Selected;
        ASSERT_TRUE(open->isVisible());
        EXPECT_FALSE(closed->isVisible());
        EXPECT_EQ(open->pos(), QPoint(10 + w->x() + 20, 12 + w->y() + 90));
        EXPECT_NE(open->pos(), w->PB->mapToGlobal(QPoint(10, 12)));
        EXPECT_EQ(w->ScreenMode(), mode);
        release({10, 12}, Qt::RightButton);
        open->hide();
    }
}

TEST_F(Mouse, MainPopupFollowsTheWindowState)
{
    w->ApplyScreenMode(mmAlignImages);
    w->PAB_MDIPopup();
    EXPECT_TRUE(w->A_Align->isChecked());
    EXPECT_TRUE(w->M_Draw->menuAction()->isEnabled());
    w->ApplyScreenMode(mmSelect);
    w->CurrentPath = nullptr;
    w->PAB_MDIPopup();
    EXPECT_FALSE(w->A_Align->isChecked());
    EXPECT_FALSE(w->M_Draw->menuAction()->isEnabled());
}

TEST_F(Mouse, MovesShowTheCanvasPosition)
{
    w->ApplyZoom(8); // 3:1
    w->SB_H->setValue(200);
    w->SB_V->setValue(40);
    w->PBMouseMove(Qt::NoButton, {}, 31, 62);
    EXPECT_EQ(w->Mouse, QPoint(31, 62));
    EXPECT_EQ(w->AbsMouse, QPoint(210, 60));
    EXPECT_EQ(panel(3), QStringLiteral("210/60"));
}

} // namespace
