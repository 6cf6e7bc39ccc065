// Bird's-eye view: the empty view, the frame round the part the window shows with and without
// darkening, moving the window's view by dragging, zooming it by the wheel, and following the
// windows as they are activated, hidden and closed.
#include "workspace/TF_BirdView.h"

#include "image/GrayFilters.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/DeviceContext.h"
#include "project/ObjectDrawing.h"
#include "project/Settings.h"
#include "project/TStitchObject.h"
#include "workspace/TF_SMDI.h"

#include "support/ImageWindowTest.h"
#include "support/ProjectObjects.h"
#include "support/ReferenceDrawing.h"

#include <QCoreApplication>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using testhelpers::addImage;
using testhelpers::expectSameImage;
using testhelpers::gdiFrame;
using testhelpers::patterned;
using testhelpers::rgbOf;

class BirdView : public testhelpers::ImageWindowTest {
protected:
    void SetUp() override
    {
        ApplyAbsentSettingDefaults();
        ImageWindowTest::SetUp();
        view = new TF_BirdView;
        F_BirdView = view;
        view->resize(100, 40);
        view->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        delete view.data();
        ImageWindowTest::TearDown();
    }

    // A picture of w x h at (x, y) on the canvas.
    TStitchObject* addPicture(int x, int y, int width, int height, int seed = 0)
    {
        TStitchObject* so = addImage(*w, x, y, width, height);
        BitmapToDIB(patterned(width, height, seed), *so->FD);
        return so;
    }

    QPointer<TF_BirdView> view;
};

int roundEven(double v)
{
    return int(std::nearbyint(v));
}

TEST_F(BirdView, EmptyViewShrinksItsTextUntilItFits)
{
    EXPECT_EQ(TF_BirdView::EmptyTextSize(2000), 36) << "a wide view starts at 36 points";
    for (int width : {60, 120, 250}) {
        SCOPED_TRACE(width);
        const int size = TF_BirdView::EmptyTextSize(width);
        EXPECT_LT(size, 36);
        QImage probe(1, 1, QImage::Format_RGB32);
        QPainter painter(&probe);
        DeviceContext dc(&painter);
        auto textWidth = [&dc](int points) {
            CanvasFont(&dc, QStringLiteral("DejaVu Sans"), points, 0);
            return dc.GetTextExtent(QStringLiteral(" No bird view available ")).cx;
        };
        EXPECT_LE(textWidth(size), width) << "it fits";
        EXPECT_GT(textWidth(size + 1), width) << "one point larger would not";
        ReleaseCanvasTools(&dc);
    }

    view->resize(120, 40);
    view->ClearBird();
    const QImage& shown = view->view();
    ASSERT_EQ(shown.size(), QSize(120, 40));
    bool gray = false;
    for (int y = 0; y < shown.height(); ++y) {
        EXPECT_EQ(shown.pixel(0, y), qRgb(255, 255, 255)) << "left edge, row " << y;
        EXPECT_EQ(shown.pixel(119, y), qRgb(255, 255, 255)) << "right edge, row " << y;
        for (int x = 0; x < shown.width(); ++x)
            gray = gray || (qRed(shown.pixel(x, y)) < 200 && qRed(shown.pixel(x, y)) == qBlue(shown.pixel(x, y)));
    }
    EXPECT_TRUE(gray) << "the gray text is drawn";
}

TEST_F(BirdView, FrameIsThePartTheWindowShowsInOverviewPixels)
{
    addPicture(0, 0, 3000, 2000);
    w->UpdateArea();
    struct Row {
        int zoom, h, v, birdZoom;
        QRect frame;
    };
    // Window 500 x 400; at zoom z one screen pixel is GetZoomDiv(z) canvas pixels.
    const Row rows[] = {
        {10, 220, 110, 20, QRect(20, 10, roundEven(500 / 11.0), roundEven(400 / 11.0))},
        {12, 0, 0, 20, QRect(0, 0, roundEven(3.0 * 500 / 11), roundEven(3.0 * 400 / 11))},
        {5, 605, 0, 39, QRect(roundEven(605 / 30.0), 0, roundEven(500 / 6.0 / 30), roundEven(400 / 6.0 / 30))},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.zoom);
        w->setZoom(r.zoom);
        w->SB_H->setValue(r.h);
        w->SB_V->setValue(r.v);
        ASSERT_EQ(w->SB_H->value(), r.h);
        EXPECT_EQ(TF_BirdView::FrameRect(*w, r.birdZoom), r.frame);
    }
}

TEST_F(BirdView, HighlightDarkensAllButTheFramedPart)
{
    // The first bird zoom from 20 with 100 > 1099 / (z - 9) is 20.
    addPicture(0, 0, 1099, 440);
    w->UpdateArea();
    w->SB_H->setValue(220);
    w->SmoothDraw(true);
    w->FormActivate();
    ASSERT_EQ(view->MDIForm, w.data());
    ASSERT_EQ(view->Zoom, 20);
    EXPECT_EQ(view->height(), 40) << "the view is as high as the canvas at bird zoom 20";
    ASSERT_EQ(w->B_Bird.size(), QSize(100, 40));

    const QRect frame = TF_BirdView::FrameRect(*w, 20);
    ASSERT_EQ(frame.topLeft(), QPoint(20, 0));
    struct Row {
        bool highlight;
    };
    for (const Row& r : {Row{true}, Row{false}}) {
        SCOPED_TRACE(r.highlight ? "highlight" : "plain");
        view->BirdHighLight = r.highlight;
        view->Thumbnailcolor = 0x0000CCFF;
        view->UpdateBird(w, 20);
        QImage expected = w->B_Bird.copy();
        if (r.highlight) {
            QImage dark = expected.copy();
            BrightenBitmap(dark, -30);
            for (int y = 0; y < expected.height(); ++y)
                for (int x = 0; x < expected.width(); ++x)
                    if (!frame.contains(x, y))
                        expected.setPixel(x, y, dark.pixel(x, y));
        }
        gdiFrame(expected, frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height(),
                 rgbOf(0x0000CCFF));
        expectSameImage(view->view(), expected);
    }
}

TEST_F(BirdView, DraggingMovesTheViewByOverviewPixelsTimesTheBirdZoom)
{
    addPicture(0, 0, 1000, 800);
    w->UpdateArea();
    w->FormActivate();
    ASSERT_EQ(view->Zoom, 20);
    const int h = w->SB_H->value(), v = w->SB_V->value();
    QTest::mousePress(view, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    // A move with the left button held.
    QMouseEvent drag(QEvent::MouseMove, QPointF(15, 8), view->mapToGlobal(QPointF(15, 8)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &drag);
    EXPECT_EQ(w->SB_H->value(), h + 110) << "10 overview pixels at bird zoom 20";
    EXPECT_EQ(w->SB_V->value(), v + 33);

    // Without a button the frame stays and the position is only remembered.
    view->FormMouseMove(Qt::NoButton, 40, 20);
    view->FormMouseMove(Qt::LeftButton | Qt::RightButton, 60, 20);
    EXPECT_EQ(w->SB_H->value(), h + 110);
    view->FormMouseMove(Qt::LeftButton, 62, 20);
    EXPECT_EQ(w->SB_H->value(), h + 110 + 2 * 11) << "from the last position, not the press";
}

TEST_F(BirdView, WheelZoomsTheWindowByOneStep)
{
    addPicture(0, 0, 2200, 800);
    w->UpdateArea();
    w->FormActivate();
    w->setZoom(12);
    QWheelEvent down(QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &down);
    EXPECT_EQ(w->zoom(), 13) << "wheel down reduces";
    EXPECT_FALSE(w->Drawing);
    QWheelEvent up(QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &up);
    QCoreApplication::sendEvent(view, &up);
    EXPECT_EQ(w->zoom(), 11) << "wheel up magnifies";
    EXPECT_EQ(view->Zoom, 32) << "the overview was built again";
    EXPECT_EQ(TF_BirdView::FrameRect(*w, 32).width(), roundEven(2.0 * 500 / 23));
}

TEST_F(BirdView, FollowsActivationAndEmptiesWhenItsWindowCloses)
{
    addPicture(0, 0, 2200, 800);
    w->UpdateArea();
    w->FormActivate();
    ASSERT_EQ(view->MDIForm, w.data());

    // A repaint of another window does not take the view; its activation does.
    auto other = std::make_unique<TF_SMDI>();
    other->resize(300, 200);
    other->show();
    addImage(*other, 0, 0, 330, 110);
    other->UpdateArea();
    other->SmoothDraw(true);
    EXPECT_EQ(view->MDIForm, w.data());
    other->FormActivate();
    EXPECT_EQ(view->MDIForm, other.get());

    // Closing empties the view; the remaining window then takes it.
    other->FormClose();
    EXPECT_EQ(view->MDIForm, w.data());
    w->FormClose();
    EXPECT_EQ(view->MDIForm, nullptr);
    QImage empty = view->view().copy();
    view->ClearBird();
    expectSameImage(empty, view->view());
}

TEST_F(BirdView, HiddenViewTakesNothingAndResizingBuildsForTheNewWidth)
{
    addPicture(0, 0, 2200, 1800);
    w->UpdateArea();
    w->FormActivate();
    ASSERT_EQ(view->Zoom, 32);
    view->hide();
    w->UpdateBird(true);
    view->UpdateBird(w, 33);
    EXPECT_EQ(view->Zoom, 32) << "a hidden view takes nothing";

    view->show();
    view->UpdateBird(w, 32);
    view->resize(50, 40);
    EXPECT_EQ(view->Zoom, 54) << "the window built its overview for 50 pixels";
    EXPECT_EQ(view->height(), roundEven(1800 / 45.0));
    EXPECT_EQ(w->B_Bird.size(), view->size());
}

// A complete repaint draws the overview again only when the pictures or their placement changed;
// what it shows is then what an overview drawn afresh shows.
TEST_F(BirdView, RepaintsRedrawTheOverviewOnlyWhenThePicturesChange)
{
    TStitchObject* first = addPicture(0, 0, 1000, 440, 1);
    addPicture(1000, 0, 600, 440, 2);
    w->UpdateArea();
    w->FormActivate();
    w->SmoothDraw(true);
    ASSERT_EQ(view->MDIForm, w.data());

    auto drawnAfresh = [&] {
        const QImage shown = w->B_Bird.copy();
        const QImage viewShown = view->view().copy();
        w->UpdateBird(true);
        expectSameImage(shown, w->B_Bird);
        expectSameImage(viewShown, view->view());
    };
    struct Row {
        const char* change;
        std::function<void()> apply;
        bool redrawn;
    };
    const Row rows[] = {
        {"pan", [&] { w->SB_H->setValue(w->SB_H->value() + 200); }, false},
        {"zoom", [&] { w->setZoom(12); }, false},
        {"moved", [&] { first->y = 100; w->UpdateArea(); }, true},
        {"hidden", [&] { first->Visible = false; }, true},
        {"selected", [&] { first->Selected = true; }, true},
        {"area colour", [&] { SettingAreaColor = 0x00102030; }, true},
        {"pixels", [&] { BitmapToDIB(patterned(1000, 440, 7), *first->FD); w->ResampleStitchObjects(first); }, true},
        {"removed", [&] { w->StitchList.pop_back(); w->UpdateArea(); }, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.change);
        const qint64 before = w->B_Bird.cacheKey();
        r.apply();
        w->SmoothDraw(true);
        EXPECT_EQ(w->B_Bird.cacheKey() != before, r.redrawn);
        drawnAfresh();
    }
}

} // namespace
