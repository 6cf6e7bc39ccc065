// Whole-image operations of the image window on tiny images, against pixel values worked out here,
// and where the project's points, anchor points and draw objects end up.
#include "workspace/TF_SMDI.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/PathDistances.h"
#include "project/TJEXProject.h"
#include "shell/TF_ErrorLog.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/TF_Measurements.h"

#include "support/ImageWindowTest.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTreeView>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

using testhelpers::fdPixel;

// Gray value v of picture pixel (x, y) of a test image, different for every pixel.
int grayAt(int x, int y)
{
    return (x * 29 + y * 53 + 7) & 255;
}

QRgb colourAt(int x, int y)
{
    return qRgb(grayAt(x, y), (grayAt(x, y) * 3) & 255, 255 - grayAt(x, y));
}

QImage picture(int w, int h, const std::function<QRgb(int, int)>& pixel = colourAt)
{
    QImage img(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, pixel(x, y));
    return img;
}

::testing::AssertionResult fdIs(const TFastDIB& fd, int w, int h, const std::function<QRgb(int, int)>& want)
{
    if (fd.Info.Header.Width != w || fd.AbsHeight != h)
        return ::testing::AssertionFailure() << "size " << fd.Info.Header.Width << " x " << fd.AbsHeight;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (fdPixel(fd, x, y) != (want(x, y) | 0xFF000000u))
                return ::testing::AssertionFailure() << "first difference at (" << x << ", " << y << "): got " << std::hex
                                                     << fdPixel(fd, x, y) << ", expected " << (want(x, y) | 0xFF000000u);
    return ::testing::AssertionSuccess();
}

class ImageOps : public testhelpers::ImageWindowTest {
protected:
    TStitchObject* addImage(const QImage& img, int x = 0, int y = 0)
    {
        auto so = std::make_unique<TStitchObject>();
        so->FD->LoadFromHandle(img);
        so->FT->MakeCopy(*so->FD, true);
        so->x = x;
        so->y = y;
        so->Width = img.width();
        so->Height = img.height();
        TStitchObject* raw = so.get();
        w->StitchList.push_back(std::move(so));
        w->UpdateArea();
        return raw;
    }

    // An index point with one measurement point in the first path, one index point in a second
    // path, an anchor point and an arrow.
    void addObjects(QPoint index, QPoint measurement, QPoint other)
    {
        TPath* path = w->PathList.front().get();
        auto i = std::make_unique<TIndex>();
        i->Pos = index;
        i->Path = path;
        auto m = std::make_unique<TMeasurement>();
        m->Pos = measurement;
        m->Path = path;
        m->Index = i.get();
        indexPoint = i.get();
        measurementPoint = m.get();
        i->ObjectList.push_back(std::move(m));
        path->ObjectList.push_back(std::move(i));

        auto second = std::make_unique<TPath>();
        auto j = std::make_unique<TIndex>();
        j->Pos = other;
        j->Path = second.get();
        otherPoint = j.get();
        second->ObjectList.push_back(std::move(j));
        w->PathList.push_back(std::move(second));

        auto anchor = std::make_unique<TAnchorPoint>();
        anchor->Pos = {7, 8};
        anchorPoint = anchor.get();
        w->AnchorLine->AnchorPoints.push_back(std::move(anchor));
        auto arrow = std::make_unique<TArrow>();
        arrow->x1 = {1, 2};
        arrow->x2 = {9, 4};
        arrow->Pos = {1, 2};
        this->arrow = arrow.get();
        w->DrawList.push_back(std::move(arrow));
    }

    // Empties the window's images, points and drawings; the tree lets go of them first.
    void clearProject()
    {
        tool->ClearAll();
        w->StitchList.clear();
        w->PathList.resize(1);
        w->PathList.front()->ObjectList.clear();
        w->AnchorLine->AnchorPoints.clear();
        w->DrawList.clear();
    }

    void expectAnchorAndDrawingsStay()
    {
        EXPECT_EQ(anchorPoint->Pos, QPoint(7, 8));
        EXPECT_EQ(arrow->x1, QPoint(1, 2));
        EXPECT_EQ(arrow->x2, QPoint(9, 4));
        EXPECT_EQ(arrow->Pos, QPoint(1, 2));
    }

    TIndex* indexPoint = nullptr;
    TMeasurement* measurementPoint = nullptr;
    TIndex* otherPoint = nullptr;
    TAnchorPoint* anchorPoint = nullptr;
    TArrow* arrow = nullptr;
};

} // namespace

// ---- every image ----

TEST_F(ImageOps, InvertSharpenSoftenWorkOnEveryImage)
{
    // One row of gray values; worked out by hand:
    // sharpen [60, 90, 30]: (-10*60 + 2*60 + 2*90) / -6 = 50; then (-10*90 + 2*50 + 2*30) / -6 = 123
    //   (the left neighbours already sharpened); then (-10*30 + 2*123 + 2*30) / -6 = -1 -> 0.
    // soften [0, 100, 0, 100]: 50, (50 + 0) / 2 = 25, (25 + 100) / 2 = 62, (100 + 62) / 2 = 81.
    const int sharpenIn[] = {60, 90, 30}, sharpenOut[] = {50, 123, 0};
    const int softenIn[] = {0, 100, 0, 100}, softenOut[] = {50, 25, 62, 81};
    auto grayRow = [](const int* v) { return [v](int x, int) { return qRgb(v[x], v[x], v[x]); }; };
    struct Row {
        const char* name;
        void (TF_SMDI::*op)();
        int width;
        std::function<QRgb(int, int)> in, out;
    };
    const Row rows[] = {
        {"invert", &TF_SMDI::DoInvert, 5,
         colourAt,
         [](int x, int y) {
             const QRgb c = colourAt(x, y);
             return qRgb(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c));
         }},
        {"sharpen", &TF_SMDI::DoSharpen, 3, grayRow(sharpenIn), grayRow(sharpenOut)},
        {"soften", &TF_SMDI::DoSoften, 4, grayRow(softenIn), grayRow(softenOut)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        clearProject();
        TStitchObject* a = addImage(picture(r.width, 1, r.in));
        TStitchObject* b = addImage(picture(r.width, 1, r.in), r.width, 0);
        (w->*r.op)();
        for (TStitchObject* so : {a, b}) {
            EXPECT_TRUE(fdIs(*so->FD, r.width, 1, r.out));
            EXPECT_TRUE(so->ImageChanged);
            EXPECT_TRUE(fdIs(*so->FT, r.width, 1, r.out)) << "the tracker sees what is shown";
        }
    }
}

// ---- first image ----

TEST_F(ImageOps, ResampleResizesFirstImage)
{
    // Four quadrants of one colour each: halving keeps one pixel of each.
    const QRgb quads[] = {qRgb(200, 0, 0), qRgb(0, 200, 0), qRgb(0, 0, 200), qRgb(90, 90, 90)};
    auto quadrant = [&quads](int x, int y) { return quads[(y >= 4 ? 2 : 0) + (x >= 6 ? 1 : 0)]; };
    TStitchObject* so = addImage(picture(12, 8, quadrant));
    w->Resample(2, 2);
    EXPECT_TRUE(fdIs(*so->FD, 2, 2, [&quads](int x, int y) { return quads[y * 2 + x]; }));
    EXPECT_TRUE(fdIs(*so->FT, 2, 2, [&quads](int x, int y) { return quads[y * 2 + x]; }));
    EXPECT_EQ(QSize(so->Width, so->Height), QSize(2, 2));
    EXPECT_TRUE(so->ImageChanged);
    EXPECT_EQ(w->Area->width(), 2);
}

TEST_F(ImageOps, ResampleCarriesEverythingDrawnAlongAndKeepsEveryWidth)
{
    const struct {
        const char* name;
        QPoint origin; // the image's place on the canvas
        QSize from, to;
        int dpi, newDpi;
    } rows[] = {
        {"half", {0, 0}, {20, 16}, {10, 8}, 1200, 600},
        {"double, away from the origin", {10, 20}, {20, 16}, {40, 32}, 1200, 2400},
        {"wider only", {0, 0}, {20, 16}, {30, 16}, 1000, 1500},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        clearProject();
        addImage(picture(r.from.width(), r.from.height()), r.origin.x(), r.origin.y());
        w->DPI = r.dpi;
        w->Project->Changed = false;
        // Positions on even pixels of the image, so halving them needs no rounding.
        const QPoint o = r.origin;
        addObjects(o + QPoint(4, 4), o + QPoint(10, 4), o + QPoint(2, 6));
        anchorPoint->Pos = o + QPoint(8, 8);
        arrow->x1 = arrow->Pos = o + QPoint(2, 2);
        arrow->x2 = o + QPoint(12, 4);
        RecomputeDistances(w->PathList.front().get());
        const double ringMm = PixelsToUnit(measurementPoint->distance, 1, w->DPI);
        ASSERT_GT(ringMm, 0.0);

        w->Resample(r.to.width(), r.to.height());

        auto moved = [&r](QPoint p) {
            const QPoint d = p - r.origin;
            return r.origin + QPoint(d.x() * r.to.width() / r.from.width(), d.y() * r.to.height() / r.from.height());
        };
        EXPECT_EQ(indexPoint->Pos, moved(o + QPoint(4, 4)));
        EXPECT_EQ(measurementPoint->Pos, moved(o + QPoint(10, 4)));
        EXPECT_EQ(otherPoint->Pos, moved(o + QPoint(2, 6)));
        EXPECT_EQ(anchorPoint->Pos, moved(o + QPoint(8, 8)));
        EXPECT_EQ(arrow->x1, moved(o + QPoint(2, 2)));
        EXPECT_EQ(arrow->Pos, moved(o + QPoint(2, 2)));
        EXPECT_EQ(arrow->x2, moved(o + QPoint(12, 4)));
        EXPECT_EQ(w->DPI, r.newDpi);
        // The ring runs horizontally: its width is the same in every unit.
        EXPECT_DOUBLE_EQ(PixelsToUnit(measurementPoint->distance, 1, w->DPI), ringMm);
        EXPECT_TRUE(w->Project->Changed);
    }
}

// However resampling treats resolution and points, the trees must show the new state.
TEST_F(ImageOps, ResampleRefreshesTheProjectTrees)
{
    addImage(picture(12, 8));
    addObjects({5, 5}, {9, 5}, {3, 6});
    tool->FillMeasurements(w, false);
    QAbstractItemModel* images = tool->VST_SO->model();
    QSignalSpy imagesRebuilt(images, &QAbstractItemModel::modelReset);
    QSignalSpy pointsRebuilt(tool->VST->model(), &QAbstractItemModel::modelReset);
    w->Resample(6, 4);
    EXPECT_FALSE(imagesRebuilt.isEmpty());
    EXPECT_FALSE(pointsRebuilt.isEmpty());
    const QModelIndex window = images->index(0, 0);
    EXPECT_EQ(images->index(0, ImageTreeModel::ColSize, window).data().toString(), QStringLiteral("6x4"));
}

TEST_F(ImageOps, QuarterTurnsMoveEveryPixel)
{
    for (bool clockwise : {true, false}) {
        SCOPED_TRACE(clockwise ? "clockwise" : "counter-clockwise");
        clearProject();
        TStitchObject* so = addImage(picture(4, 2)); // even sides
        w->Rotate90(clockwise);
        EXPECT_TRUE(fdIs(*so->FD, 2, 4, [clockwise](int x, int y) {
            return clockwise ? colourAt(y, 2 - 1 - x) : colourAt(4 - 1 - y, x);
        }));
        EXPECT_EQ(QSize(so->Width, so->Height), QSize(2, 4));
        EXPECT_TRUE(so->ImageChanged);
        EXPECT_EQ(QSize(w->Area->width(), w->Area->height()), QSize(2, 4));
    }
}

TEST_F(ImageOps, FreeRotationTurnsClockwiseForPositiveAngles)
{
    struct Row {
        double angle;
        int w, h;
        std::function<QRgb(int, int)> want; // the 5 x 3 source turned
    };
    const Row rows[] = {
        {90, 3, 5, [](int x, int y) { return colourAt(y, 3 - 1 - x); }},
        {270, 3, 5, [](int x, int y) { return colourAt(5 - 1 - y, x); }},
        {180, 5, 3, [](int x, int y) { return colourAt(5 - 1 - x, 3 - 1 - y); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.angle);
        TStitchObject* so = addImage(picture(5, 3));
        addObjects({2, 1}, {3, 1}, {4, 2});
        w->RotateFree(r.angle, false);
        // Odd sides: the smoothing blends with weight 0, every pixel is an exact copy.
        EXPECT_TRUE(fdIs(*so->FD, r.w, r.h, r.want));
        EXPECT_EQ(QSize(so->Width, so->Height), QSize(r.w, r.h));
        EXPECT_EQ(indexPoint->Pos, QPoint(2, 1)) << "points are not rotated";
        clearProject();
    }
}

TEST_F(ImageOps, FreeRotationFillsNewCornersBlack)
{
    TStitchObject* so = addImage(picture(20, 10, [](int, int) { return qRgb(250, 250, 250); }));
    w->RotateFree(30, true);
    EXPECT_EQ(QSize(so->Width, so->Height), QSize(23, 19)); // Round(17.32 + 5 + 0.4), Round(10 + 8.66 + 0.4)
    EXPECT_EQ(fdPixel(*so->FD, 0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(fdPixel(*so->FD, 11, 9), qRgb(250, 250, 250));
}

TEST_F(ImageOps, MirrorMovesPointsWithThePicture)
{
    struct Row {
        bool horizontally;
        QPoint index, measurement, other;
        std::function<QRgb(int, int)> want;
    };
    const Row rows[] = {
        {true, {2, 1}, {5, 4}, {1, 2}, [](int x, int y) { return colourAt(x, 4 - 1 - y); }},
        {false, {4, 3}, {1, 0}, {5, 2}, [](int x, int y) { return colourAt(6 - 1 - x, y); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.horizontally ? "horizontally" : "vertically");
        clearProject();
        w->Project->Changed = false;
        TStitchObject* so = addImage(picture(6, 4));
        addObjects({2, 3}, {5, 0}, {1, 2});
        w->Mirror(r.horizontally);
        EXPECT_TRUE(fdIs(*so->FD, 6, 4, r.want));
        EXPECT_TRUE(fdIs(*so->FT, 6, 4, r.want));
        // H - y or W - x: the image's own size.
        EXPECT_EQ(indexPoint->Pos, r.index);
        EXPECT_EQ(measurementPoint->Pos, r.measurement);
        EXPECT_EQ(otherPoint->Pos, r.other);
        expectAnchorAndDrawingsStay();
        EXPECT_TRUE(so->ImageChanged);
        EXPECT_TRUE(w->Project->Changed);
        // The widths follow the points.
        EXPECT_DOUBLE_EQ(measurementPoint->distance, std::hypot(r.measurement.x() - r.index.x(),
                                                                r.measurement.y() - r.index.y()));
    }
}

TEST_F(ImageOps, MirrorOfTallImageMovesPointFrom100To500)
{
    addImage(picture(3, 600));
    addObjects({1, 100}, {2, 100}, {0, 0});
    w->Mirror(true);
    EXPECT_EQ(indexPoint->Pos, QPoint(1, 500));
}

TEST_F(ImageOps, AddBorderFramesTheImageAndMovesPoints)
{
    const uint32_t colour = 0x00123456; // $00BBGGRR: red 56, green 34, blue 12
    const QRgb border = qRgb(0x56, 0x34, 0x12);
    struct Row {
        int x1, y1, x2, y2;
        bool symmetric;
        int left, top, right, bottom; // what is added
    };
    const Row rows[] = {
        {10, 0, 0, 0, true, 10, 10, 10, 10},
        {1, 2, 3, 4, false, 1, 2, 3, 4},
        {0, 0, 0, 0, false, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.x1 << ", " << r.y1 << ", " << r.x2 << ", " << r.y2);
        clearProject();
        TStitchObject* so = addImage(picture(5, 3));
        addObjects({5, 5}, {2, 1}, {0, 3});
        w->AddBorder(r.x1, r.y1, r.x2, r.y2, r.symmetric, colour);
        const int width = 5 + r.left + r.right, height = 3 + r.top + r.bottom;
        EXPECT_TRUE(fdIs(*so->FD, width, height, [&r](int x, int y) {
            const int ix = x - r.left, iy = y - r.top;
            return ix >= 0 && ix < 5 && iy >= 0 && iy < 3 ? colourAt(ix, iy) : border;
        }));
        EXPECT_EQ(QSize(so->Width, so->Height), QSize(width, height));
        EXPECT_TRUE(so->ImageChanged);
        EXPECT_EQ(indexPoint->Pos, QPoint(5 + r.left, 5 + r.top));
        EXPECT_EQ(measurementPoint->Pos, QPoint(2 + r.left, 1 + r.top));
        EXPECT_EQ(otherPoint->Pos, QPoint(0 + r.left, 3 + r.top));
        expectAnchorAndDrawingsStay();
        EXPECT_EQ(QSize(w->Area->width(), w->Area->height()), QSize(width, height));
    }
}

TEST_F(ImageOps, AddBorderOf100By50)
{
    TStitchObject* so = addImage(picture(100, 50));
    addObjects({5, 5}, {6, 5}, {0, 0});
    w->AddBorder(10, 99, 99, 99, true, 0);
    EXPECT_EQ(QSize(so->Width, so->Height), QSize(120, 70));
    EXPECT_EQ(indexPoint->Pos, QPoint(15, 15));
}

// Refused operations change nothing and leave a failure in the log.
TEST_F(ImageOps, RefusedOperationsChangeNothing)
{
    struct Row {
        const char* name;
        bool withImage;
        std::function<void(TF_SMDI&)> op;
    };
    const Row rows[] = {
        {"system colour", true, [](TF_SMDI& f) { f.AddBorder(5, 5, 5, 5, true, 0xFF00000Fu); }},
        {"negative border", true, [](TF_SMDI& f) { f.AddBorder(-2, 0, 0, 0, false, 0); }},
        {"resample to nothing", true, [](TF_SMDI& f) { f.Resample(0, 10); }},
        {"mirror without image", false, [](TF_SMDI& f) { f.Mirror(true); }},
        {"rotate without image", false, [](TF_SMDI& f) { f.Rotate90(true); }},
        {"free rotation without image", false, [](TF_SMDI& f) { f.RotateFree(30, true); }},
        {"border without image", false, [](TF_SMDI& f) { f.AddBorder(1, 1, 1, 1, true, 0); }},
        {"resample without image", false, [](TF_SMDI& f) { f.Resample(10, 10); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TF_ErrorLog::ClearLog();
        clearProject();
        TStitchObject* so = r.withImage ? addImage(picture(5, 3)) : nullptr;
        addObjects({1, 1}, {2, 2}, {3, 0});
        r.op(*w);
        if (so) {
            EXPECT_TRUE(fdIs(*so->FD, 5, 3, colourAt));
            EXPECT_FALSE(so->ImageChanged);
        }
        EXPECT_EQ(indexPoint->Pos, QPoint(1, 1));
        ASSERT_FALSE(TF_ErrorLog::Entries().empty());
        EXPECT_EQ(TF_ErrorLog::Entries().front()->AType, 0);
    }
    // Sharpen, soften and invert have nothing to do on an empty window.
    clearProject();
    TF_ErrorLog::ClearLog();
    w->DoSharpen();
    w->DoSoften();
    w->DoInvert();
    EXPECT_TRUE(TF_ErrorLog::Entries().empty());
}
