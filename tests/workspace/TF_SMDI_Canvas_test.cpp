// Zoom model, screen/canvas conversions, canvas extent, scroll bars and fitting of the image window.
#include "workspace/TF_SMDI.h"

#include "project/JEX4_Objects.h"
#include "shell/TF_Progress2.h"

#include "support/ImageWindowTest.h"
#include "support/ProjectObjects.h"

#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

using testhelpers::addImage;

// A shown window of a known size; its paint box gets what the bars and status bar leave.
class Canvas : public ::testing::Test {
protected:
    void SetUp() override
    {
        w = new TF_SMDI;
        w->resize(417, 342);
        w->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override { delete w.data(); }

    // Bars wide enough for any position the tests set.
    void openBars()
    {
        w->SB_H->setRange(-100000, 100000);
        w->SB_V->setRange(-100000, 100000);
    }

    QPointer<TF_SMDI> w;
};

} // namespace

TEST_F(Canvas, ZoomTable)
{
    struct Row {
        int z;
        double div;
        int pixelSize;
    };
    const Row rows[] = {
        {1, 1.0 / 10, 10}, {5, 1.0 / 6, 6}, {9, 0.5, 2}, {10, 1, 1}, {11, 2, 1}, {12, 3, 1}, {108, 99, 1}, {999, 990, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.z);
        EXPECT_DOUBLE_EQ(w->GetZoomDiv(r.z), r.div);
        EXPECT_EQ(w->GetPixelSize(r.z), r.pixelSize);
    }
}

TEST_F(Canvas, ScreenToCanvasAndBack)
{
    openBars();
    struct Row {
        int zoom, hPos, vPos;
        QPoint screen, canvas;
        bool toReal; // true: screen -> canvas, false: canvas -> screen
    };
    const Row rows[] = {
        // 10:1: the ten screen pixels of a canvas pixel all map to it; a point sits at its centre.
        {1, 0, 0, {0, 0}, {0, 0}, true},
        {1, 0, 0, {9, 9}, {0, 0}, true},
        {1, 0, 0, {10, 19}, {1, 1}, true},
        {1, 0, 0, {35, 35}, {3, 3}, false},
        // 2:1: Int truncates toward zero, so the pixel left of the box still maps to 0.
        {9, 0, 0, {-1, -1}, {0, 0}, true},
        {9, 0, 0, {7, 7}, {3, 3}, false},
        // 1:1 with scrolling.
        {10, 250, -30, {5, 5}, {255, -25}, true},
        {10, 250, -30, {5, 5}, {255, -25}, false},
        // 1:3.
        {12, 100, 0, {10, 0}, {130, 0}, true},
        {12, 100, 0, {10, 0}, {131, 0}, false}, // Round(31 / 3) = 10
        // 1:2: halves go to the even neighbour.
        {11, 0, 0, {2, 4}, {5, 7}, false},     // 2.5 -> 2, 3.5 -> 4
        {11, 0, 0, {-2, 4}, {-5, 9}, false},   // -2.5 -> -2, 4.5 -> 4
        {11, 10, 20, {0, 6}, {11, 33}, false}, // 0.5 -> 0, 6.5 -> 6
        // 1:990 far out saturates instead of wrapping.
        {999, 0, 0, {2200000, -2200000}, {INT_MAX, INT_MIN}, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "zoom " << r.zoom << " pos " << r.hPos << "/" << r.vPos << " screen "
                                        << r.screen.x() << "/" << r.screen.y());
        w->ApplyZoom(r.zoom);
        w->SB_H->setValue(r.hPos);
        w->SB_V->setValue(r.vPos);
        if (r.toReal)
            EXPECT_EQ(w->ToReal(r.screen.x(), r.screen.y()), r.canvas);
        else
            EXPECT_EQ(w->ToScreen(r.canvas), r.screen);
    }
}

// Magnified: a point drawn at its pixel's centre in the view is found again under the mouse. Reduced: every
// screen pixel's canvas point is drawn back at that screen pixel.
TEST_F(Canvas, ConversionsInvertEachOther)
{
    openBars();
    for (int zoom : {1, 2, 5, 8, 9, 10, 11, 12, 17, 108, 999}) {
        w->ApplyZoom(zoom);
        for (int pos : {0, 37, -13}) {
            w->SB_H->setValue(pos);
            w->SB_V->setValue(-pos);
            for (int v = -25; v <= 25; ++v) {
                SCOPED_TRACE(testing::Message() << "zoom " << zoom << " pos " << pos << " value " << v);
                if (zoom < 10) {
                    // Points inside the view: left of it Int rounds toward zero, as specified.
                    const QPoint p(pos + 25 + v, -pos + 50 + 2 * v);
                    const QPoint s = w->ToScreen(p);
                    EXPECT_EQ(w->ToReal(s.x(), s.y()), p);
                } else {
                    const QPoint c = w->ToReal(v, 2 * v);
                    EXPECT_EQ(w->ToScreen(c), QPoint(v, 2 * v));
                }
            }
        }
    }
}

TEST_F(Canvas, ScaleRoundsHalvesToEven)
{
    struct Row {
        int zoom, value, scaled;
    };
    const Row rows[] = {
        {1, 3, 30}, {9, -7, -14}, {10, 123, 123}, {11, 5, 2}, {11, 7, 4}, {11, -5, -2}, {12, 31, 10}, {20, 300, 27},
        {1, 300000000, INT_MAX},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "zoom " << r.zoom << " value " << r.value);
        w->ApplyZoom(r.zoom);
        EXPECT_EQ(w->Scale(r.value), r.scaled);
        // The bird view's scale is the same rule for any zoom, whatever the window shows.
        w->ApplyZoom(r.zoom == 10 ? 11 : 10);
        EXPECT_EQ(w->ScaleBird(r.value, r.zoom), r.scaled);
    }
}

TEST_F(Canvas, GotoScreenPosCentresTheWholeWindowOnAPoint)
{
    w->resize(417, 338); // half the client size: 208 x 169
    addImage(*w, 0, 0, 50000, 40000);
    w->UpdateArea();
    ASSERT_TRUE(w->SB_H->isEnabled());
    ASSERT_TRUE(w->SB_V->isEnabled());
    struct Row {
        int zoom;
        int expectH, expectV;
    };
    const Row rows[] = {
        {10, 3000 - 208, 2000 - 169},
        {12, 3000 - 3 * 208, 2000 - 3 * 169},
        {9, 3000 - 104, 2000 - 84}, // 2:1: 84.5 goes to the even 84
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.zoom);
        w->ApplyZoom(r.zoom);
        w->GotoScreenPos(3000, 2000);
        EXPECT_EQ(w->SB_H->value(), r.expectH);
        EXPECT_EQ(w->SB_V->value(), r.expectV);
    }
    // A disabled bar does not move.
    w->SB_V->setEnabled(false);
    w->GotoScreenPos(5000, 5000);
    EXPECT_EQ(w->SB_V->value(), rows[2].expectV);
}

TEST_F(Canvas, UpdateAreaMovesImagesAndPathPointsOffNegativeCoordinates)
{
    TStitchObject* a = addImage(*w, -40, 10, 1000, 500);
    TStitchObject* b = addImage(*w, 1200, -30, 800, 900);
    TPath* path = w->CurrentPath;
    ASSERT_NE(path, nullptr);
    auto index = std::make_unique<TIndex>();
    index->Pos = QPoint(0, 0);
    auto m = std::make_unique<TMeasurement>();
    m->Pos = QPoint(5, 5);
    TMeasurement* mRaw = m.get();
    index->ObjectList.push_back(std::move(m));
    TIndex* indexRaw = index.get();
    path->ObjectList.push_back(std::move(index));
    auto anchor = std::make_unique<TAnchorPoint>();
    anchor->Pos = QPoint(7, 7);
    TAnchorPoint* anchorRaw = anchor.get();
    w->AnchorLine->AnchorPoints.push_back(std::move(anchor));
    auto arrow = std::make_unique<TArrow>();
    arrow->x1 = QPoint(1, 1);
    arrow->x2 = QPoint(2, 2);
    TArrow* arrowRaw = arrow.get();
    w->DrawList.push_back(std::move(arrow));

    w->UpdateArea();

    EXPECT_EQ(QPoint(a->x, a->y), QPoint(0, 40));
    EXPECT_EQ(QPoint(b->x, b->y), QPoint(1240, 0));
    EXPECT_EQ(indexRaw->Pos, QPoint(40, 30));
    EXPECT_EQ(mRaw->Pos, QPoint(45, 35));
    EXPECT_EQ(anchorRaw->Pos, QPoint(7, 7));
    EXPECT_EQ(arrowRaw->x1, QPoint(1, 1));
    EXPECT_EQ(arrowRaw->x2, QPoint(2, 2));
    EXPECT_EQ(w->Area->x1, 0);
    EXPECT_EQ(w->Area->y1, 0);
    EXPECT_EQ(w->Area->x2, 2040);
    EXPECT_EQ(w->Area->y2, 900);
    // The horizontal range reaches the new right edge less one view.
    EXPECT_EQ(w->SB_H->minimum(), 0);
    EXPECT_EQ(w->SB_H->maximum(), 2040 - w->PB->width());
    EXPECT_EQ(w->SB_V->maximum(), 900 - w->PB->height());
    EXPECT_EQ(w->SB_H->pageStep(), w->PB->width()) << "at 1:1 a page is what the view shows";
    EXPECT_TRUE(w->SB_H->isEnabled());
    EXPECT_TRUE(w->SB_V->isEnabled());

    // Already normalised: a second run changes nothing.
    w->UpdateArea();
    EXPECT_EQ(QPoint(a->x, a->y), QPoint(0, 40));
    EXPECT_EQ(indexRaw->Pos, QPoint(40, 30));
}

TEST_F(Canvas, UpdateAreaWithoutImagesDisablesTheBars)
{
    addImage(*w, 0, 0, 5000, 5000);
    w->UpdateArea();
    ASSERT_TRUE(w->SB_H->isEnabled());
    w->StitchList.clear();
    w->UpdateArea();
    EXPECT_FALSE(w->SB_H->isEnabled());
    EXPECT_FALSE(w->SB_V->isEnabled());
    EXPECT_EQ(w->Area->width(), 0);
    EXPECT_EQ(w->Area->height(), 0);
}

TEST_F(Canvas, NarrowCanvasKeepsTheRangeAndABarScrolledAwayStaysUsable)
{
    addImage(*w, 0, 0, 1000, 100);
    w->UpdateArea();
    const int max = 1000 - w->PB->width();
    ASSERT_EQ(w->SB_H->maximum(), max);
    w->SB_H->setValue(500);

    w->ApplyZoom(13); // 1:4: the canvas is now narrower than the view
    EXPECT_EQ(w->SB_H->minimum(), 0);
    EXPECT_EQ(w->SB_H->maximum(), max);
    EXPECT_EQ(w->SB_H->value(), 500);
    EXPECT_TRUE(w->SB_H->isEnabled());

    w->SB_H->setValue(0);
    w->UpdateArea();
    EXPECT_FALSE(w->SB_H->isEnabled());
    EXPECT_EQ(w->SB_H->maximum(), max);
}

// A larger window shows more of the canvas: the resize handler recomputes the ranges.
TEST_F(Canvas, ResizingTheWindowUpdatesTheBars)
{
    addImage(*w, 0, 0, 800, 600);
    w->UpdateArea();
    ASSERT_TRUE(w->SB_H->isEnabled());
    ASSERT_EQ(w->SB_H->maximum(), 800 - w->PB->width());

    w->resize(1000, 900);
    EXPECT_FALSE(w->SB_H->isEnabled());
    EXPECT_FALSE(w->SB_V->isEnabled());

    w->resize(500, 400);
    EXPECT_TRUE(w->SB_H->isEnabled());
    EXPECT_EQ(w->SB_H->maximum(), 800 - w->PB->width());
    EXPECT_EQ(w->SB_V->maximum(), 600 - w->PB->height());
}

// A click on the track turns the view by what it shows; an arrow by a tenth of that, at every zoom.
TEST_F(Canvas, TrackClicksTurnAPageAndArrowsATenthOfTheView)
{
    addImage(*w, 0, 0, 60000, 40000);
    for (int zoom : {10, 12, 5}) {
        SCOPED_TRACE(zoom);
        w->ApplyZoom(zoom);
        w->UpdateArea();
        const int pixel = w->GetPixelSize(zoom);
        for (QScrollBar* bar : {w->SB_H, w->SB_V}) {
            const bool horizontal = bar == w->SB_H;
            const int view = horizontal ? w->PB->width() : w->PB->height();
            auto along = [&](QPoint p) { return horizontal ? p.x() : p.y(); };
            bar->setValue(1000);
            const QPoint farEdge = horizontal ? w->ToReal(view, 0) : w->ToReal(0, view);

            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            // What stood at the far edge now stands at the near one.
            EXPECT_NEAR(along(w->ToReal(0, 0)), along(farEdge), 1);

            const QPoint nearEdge = w->ToReal(0, 0);
            bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            EXPECT_NEAR(along(w->ToScreen(nearEdge)), -view / 10, pixel + 1);

            bar->triggerAction(QAbstractSlider::SliderPageStepSub);
            bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            EXPECT_EQ(bar->value(), 1000);
        }
    }
}

TEST_F(Canvas, GetStitchObjectAtFindsTheTopmostImageEdgesIncluded)
{
    TStitchObject* a = addImage(*w, 0, 0, 100, 100);
    TStitchObject* b = addImage(*w, 50, 50, 100, 100);
    struct Row {
        QPoint p;
        TStitchObject* expected;
    };
    const Row rows[] = {
        {{10, 10}, a}, {{75, 75}, b}, {{100, 100}, b}, {{150, 150}, b}, {{0, 0}, a},
        {{151, 150}, nullptr}, {{-1, 0}, nullptr}, {{120, 20}, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.p.x() << "/" << r.p.y());
        EXPECT_EQ(w->GetStitchObjectAt(r.p), r.expected);
    }
    std::swap(w->StitchList[0], w->StitchList[1]);
    EXPECT_EQ(w->GetStitchObjectAt({75, 75}), a);
}

TEST_F(Canvas, ApplyZoomIgnoresTheCurrentAndOutOfRangeValues)
{
    TStitchObject* a = addImage(*w, -40, 0, 100, 100);
    for (int value : {10, 0, -3, 1000}) {
        SCOPED_TRACE(value);
        w->ApplyZoom(value);
        EXPECT_EQ(w->zoom(), 10);
        EXPECT_EQ(a->x, -40); // no UpdateArea ran
    }
    w->setZoom(999);
    EXPECT_EQ(w->zoom(), 999);
    EXPECT_EQ(a->x, 0);
}

TEST_F(Canvas, ZoomListAndButtons)
{
    ASSERT_EQ(w->CB_Zoom->count(), 108);
    EXPECT_EQ(w->CB_Zoom->itemText(0), QStringLiteral("10:1"));
    EXPECT_EQ(w->CB_Zoom->itemText(9), QStringLiteral("1:1"));
    EXPECT_EQ(w->CB_Zoom->itemText(10), QStringLiteral("1:2"));
    EXPECT_EQ(w->CB_Zoom->itemText(107), QStringLiteral("1:99"));

    w->CB_Zoom->setCurrentIndex(10);
    emit w->CB_Zoom->activated(10);
    EXPECT_EQ(w->zoom(), 11);
    EXPECT_TRUE(F_Progress2.isNull()); // the busy box lives only while the zoom changes

    // Choosing no item leaves the zoom alone.
    w->CB_Zoom->setCurrentIndex(-1);
    emit w->CB_Zoom->activated(-1);
    EXPECT_EQ(w->zoom(), 11);

    QTest::mouseClick(w->SB_Size1, Qt::LeftButton);
    EXPECT_EQ(w->zoom(), 10);
    EXPECT_EQ(w->CB_Zoom->currentIndex(), 9);
}

// The window sits in an MDI area placed so that the free space is 1000 x 600 pixels.
TEST(TF_SMDI_Fit, FitToScreenPicksTheSmallestZoomThatFitsBothWays)
{
    struct Row {
        int canvasW, canvasH;
        int zoom;
    };
    const Row rows[] = {
        {0, 0, 1},            // no image: 10:1
        {99, 59, 1},          // 990 x 590 fits at 10:1
        {100, 10, 2},         // 1000 does not fit into 1000
        {999, 10, 10},
        {1000, 10, 11},
        {10, 600, 11},        // the height decides
        {3000, 1200, 13},     // 750 x 300 at 1:4
        {100000, 10, 110},    // beyond the list's items
        {2000000, 10, 999},   // nothing fits: the strongest reduction, the window takes the free space
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.canvasW << " x " << r.canvasH);
        QMdiArea area;
        area.resize(1400, 1000);
        area.show();
        auto* w = new TF_SMDI;
        QMdiSubWindow* frame = area.addSubWindow(w);
        w->show();
        QCoreApplication::processEvents();
        frame->move(area.viewport()->width() - 50 - 1000, area.viewport()->height() - 50 - 600);
        if (r.canvasW > 0)
            addImage(*w, 0, 0, r.canvasW, r.canvasH);
        w->UpdateArea();
        w->SB_H->setValue(w->SB_H->maximum());

        w->FitToScreen();

        EXPECT_EQ(w->zoom(), r.zoom);
        EXPECT_FALSE(w->Drawing);
        EXPECT_EQ(w->SB_H->value(), w->SB_H->minimum());
        const int z = r.zoom;
        auto screen = [z](int len) { return z < 10 ? len * (11 - z) : qRound(double(len) / (z - 9)); };
        // The frame stands so that 1000 pixels are free to its right.
        const QSize expected(qMax(150, qMin(screen(r.canvasW) + 25, 1000 + 25)), qMax(120, 25 + screen(r.canvasH) + 25));
        EXPECT_EQ(w->size(), expected);
    }
}

TEST(TF_SMDI_Fit, WithoutFreeSpaceTheSearchStopsAt999)
{
    QWidget holder;
    holder.resize(300, 200);
    auto* w = new TF_SMDI(&holder);
    holder.show();
    QCoreApplication::processEvents();
    w->move(260, 10); // right of the holder's free width
    addImage(*w, 0, 0, 10, 10);
    w->UpdateArea();
    w->FitToScreen();
    EXPECT_EQ(w->zoom(), 999);
}

TEST(TF_SMDI_Fit, MaximizedWindowKeepsItsSize)
{
    QMdiArea area;
    area.resize(900, 700);
    area.show();
    auto* w = new TF_SMDI;
    QMdiSubWindow* frame = area.addSubWindow(w);
    w->show();
    frame->showMaximized();
    QCoreApplication::processEvents();
    const QSize before = w->size();
    addImage(*w, 0, 0, 50, 50);
    w->UpdateArea();
    w->FitToScreen();
    EXPECT_EQ(w->size(), before);
    EXPECT_EQ(w->zoom(), 1);
}
