// Image window painting: the composed layers at magnifying, 1:1 and reducing zooms against a
// picture the test works out pixel by pixel, ring widths, labels, the region outline, the area
// hatch, the whole-canvas export, the overview and the Drawing flag.
#include "workspace/TF_SMDI.h"

#include "image/TFastDIB.h"
#include "platform/DeviceContext.h"
#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/ObjectDrawing.h"
#include "project/Settings.h"
#include "shell/TF_Progress.h"

#include "support/ProjectObjects.h"
#include "support/ReferenceDrawing.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QToolButton>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>

namespace {

using testhelpers::addIndex;
using testhelpers::addMeasurement;
using testhelpers::changedBox;
using testhelpers::expectSameImage;
using testhelpers::gdiFrame;
using testhelpers::gdiLine;
using testhelpers::rgbOf;

constexpr int kViewW = 100;
constexpr int kViewH = 40;

// Picture pixel (x, y) of the test images: a different colour for every pixel and image.
QRgb patternAt(int seed, int x, int y)
{
    return qRgb((seed * 40 + x * 7) & 0xFF, (y * 11 + seed) & 0xFF, (seed * 3 + x + 5 * y) & 0xFF);
}

// A bottom-up 24-bit image filled with the pattern through its row table.
void fillImage(TStitchObject& so, int seed)
{
    so.FD->SetSize(so.Width, so.Height, 24);
    for (int y = 0; y < so.Height; ++y)
        for (int x = 0; x < so.Width; ++x) {
            const QRgb c = patternAt(seed, x, y);
            so.FD->Pixels24[so.Height - 1 - y][x] = TFColor{quint8(qBlue(c)), quint8(qGreen(c)), quint8(qRed(c))};
        }
}

// Nearest-neighbour resizing takes the source pixel under the middle of each destination pixel,
// counting rows in memory order: bottom-up images count from the bottom.
int nearestColumn(int x, int sourceWidth, int width)
{
    return int(std::floor((x + 0.5) * sourceWidth / width));
}
int nearestRow(int y, int sourceHeight, int height)
{
    return sourceHeight - 1 - int(std::floor((height - 1 - y + 0.5) * sourceHeight / height));
}

// Halves to the even neighbour, as the window's Scale does; computed apart from its code.
int roundEven(double v)
{
    return int(std::nearbyint(v));
}

class Paint : public ::testing::Test {
protected:
    void SetUp() override
    {
        ApplyAbsentSettingDefaults();
        SettingAreaBrush = bsSolid;
        SettingAreaColor = 0x00808080;
        SettingOVisible = true;
        SettingLVisible = false;
        SettingTVisible = false;
        SettingRALVisible = false;
        SettingCADCursor = false;
        SettingDrawIndexLines = true;
        SettingUseMovingTransparency = false;
        SettingResamplingAlgorithm = 0;
        SettingISize = 2;
        SettingMSize = 1;
        SettingIColor = 0x0000FFFF;
        SettingMColor = 0x00FF00FF;
        SettingILColor = 0x000000FF;
        SettingMLColor = 0x00FF0000;
        SettingILWidth = 1;
        SettingMWidth = 1;
        SettingUnits = 7; // pixels
        SettingDigits = 2;
        SettingFixedFontSize = true;
        SettingFSize = 8;
        SettingFontName = QStringLiteral("DejaVu Sans");
        SettingTextColor = 0x00000000;

        w = std::make_unique<TF_SMDI>();
        w->PB->resize(kViewW, kViewH);
        w->SB_H->setRange(-1000, 1000);
        w->SB_V->setRange(-1000, 1000);
    }
    void TearDown() override { w.reset(); }

    TStitchObject* addImage(int x, int y, int width, int height, int seed)
    {
        auto so = std::make_unique<TStitchObject>();
        so->x = x;
        so->y = y;
        so->Width = width;
        so->Height = height;
        fillImage(*so, seed);
        seeds.push_back(seed);
        TStitchObject* raw = so.get();
        w->StitchList.push_back(std::move(so));
        return raw;
    }

    TPath* addPath()
    {
        auto p = std::make_unique<TPath>();
        TPath* raw = p.get();
        w->PathList.push_back(std::move(p));
        return raw;
    }

    void view(int zoom, int h, int v)
    {
        w->setZoom(zoom);
        w->SB_H->setValue(h);
        w->SB_V->setValue(v);
        w->UpdateArea();
        w->ResampleStitchObjects(nullptr); // images added since the zoom was set
    }

    // Screen point of a canvas point, from the zoom table.
    QPoint screenOf(QPoint p) const
    {
        const int z = w->zoom(), h = w->SB_H->value(), v = w->SB_V->value();
        if (z < 10) {
            const int k = 11 - z;
            return {(p.x() - h) * k + k / 2, (p.y() - v) * k + k / 2};
        }
        return {roundEven(double(p.x() - h) / (z - 9)), roundEven(double(p.y() - v) / (z - 9))};
    }

    // Colour of screen pixel (X, Y) by the images alone; false where the background shows.
    bool imagePixel(int X, int Y, QRgb& out) const
    {
        const int z = w->zoom(), h = w->SB_H->value(), v = w->SB_V->value();
        bool hit = false;
        auto consider = [&](const TStitchObject& so, int seed) {
            if (!so.Visible)
                return;
            int px, py; // picture pixel of the image
            if (z < 10) {
                const int k = 11 - z;
                if (X >= k * (kViewW / k) || Y >= k * (kViewH / k))
                    return; // a partly shown magnified pixel stays background
                px = X / k + h - so.x;
                py = Y / k + v - so.y;
            } else if (z == 10) {
                px = X + h - so.x;
                py = Y + v - so.y;
            } else {
                // The reduced copy (sizes here are multiples of d).
                const int d = z - 9;
                const int fx = X - roundEven(double(so.x - h) / d), fy = Y - roundEven(double(so.y - v) / d);
                if (fx < 0 || fy < 0 || fx >= so.Width / d || fy >= so.Height / d)
                    return;
                px = nearestColumn(fx, so.Width, so.Width / d);
                py = nearestRow(fy, so.Height, so.Height / d);
            }
            if (px < 0 || py < 0 || px >= so.Width || py >= so.Height)
                return;
            out = patternAt(seed, px, py);
            hit = true;
        };
        for (size_t i = 0; i < w->StitchList.size(); ++i)
            if (!w->StitchList[i]->Selected)
                consider(*w->StitchList[i], seeds[i]);
        for (size_t i = 0; i < w->StitchList.size(); ++i)
            if (w->StitchList[i]->Selected)
                consider(*w->StitchList[i], seeds[i]);
        return hit;
    }

    // The background layer as it should be: area colour, then the images.
    QImage expectedBackground() const
    {
        QImage img(kViewW, kViewH, QImage::Format_RGB32);
        for (int y = 0; y < kViewH; ++y)
            for (int x = 0; x < kViewW; ++x) {
                QRgb c = rgbOf(SettingAreaColor);
                imagePixel(x, y, c);
                img.setPixel(x, y, c);
            }
        return img;
    }

    // The path overlays in the order painting draws them: each point's square, then the line
    // that reaches it.
    void drawExpectedPath(QImage& img, const TPath& path) const
    {
        QPoint L;
        for (size_t i = 0; i < path.ObjectList.size(); ++i) {
            const TIndex& I = *path.ObjectList[i];
            const QPoint S = screenOf(I.Pos);
            const int s = SettingISize;
            gdiFrame(img, S.x() - s, S.y() - s, S.x() + s, S.y() + s, rgbOf(SettingIColor));
            if (i > 0)
                gdiLine(img, S, L, rgbOf(SettingILColor));
            L = S;
            for (const auto& M : I.ObjectList) {
                const QPoint S2 = screenOf(M->Pos);
                const int m = SettingMSize;
                gdiFrame(img, S2.x() - m, S2.y() - m, S2.x() + m, S2.y() + m, rgbOf(SettingMColor));
                gdiLine(img, L, S2, rgbOf(SettingMLColor));
                L = S2;
            }
        }
    }

    // The whole canvas without overlays: every image at its canvas place on white.
    QImage expectedImagesOnWhite(QSize size) const
    {
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::white);
        for (size_t i = 0; i < w->StitchList.size(); ++i) {
            const TStitchObject& so = *w->StitchList[i];
            for (int y = 0; y < so.Height; ++y)
                for (int x = 0; x < so.Width; ++x)
                    img.setPixel(so.x + x, so.y + y, patternAt(seeds[i], x, y));
        }
        return img;
    }

    std::unique_ptr<TF_SMDI> w;
    std::vector<int> seeds;
};

} // namespace

TEST_F(Paint, CompleteRepaintAtEveryZoomRange)
{
    TStitchObject* a = addImage(0, 0, 40, 20, 1);
    addImage(32, 8, 24, 16, 2);
    TStitchObject* far = addImage(600, 0, 8, 8, 3);
    TPath* path = addPath();
    TIndex* i1 = addIndex(*path, {4, 4});
    addMeasurement(*i1, {10, 6});
    addMeasurement(*i1, {18, 6});
    TIndex* i2 = addIndex(*path, {24, 12});
    addMeasurement(*i2, {30, 14});

    struct Row {
        int zoom, h, v;
        bool firstSelected;
    };
    const Row rows[] = {
        {10, 0, 0, false},
        {10, 5, 3, false},
        {10, 0, 0, true}, // the selected first image lies on top of the second
        {8, 0, 0, false}, // 3:1: 33 columns over 99 pixels, the last column is background
        {5, 12, 4, false},
        {1, 3, 2, false},
        {11, 0, 0, false}, // 1:2 from the zoomed copies
        {11, 2, 2, true},
        {13, 0, 0, false}, // 1:4: the second image starts at Round(32 / 4) = 8
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "zoom " << r.zoom << " at " << r.h << "/" << r.v
                                        << (r.firstSelected ? " first selected" : ""));
        a->Selected = r.firstSelected;
        view(r.zoom, r.h, r.v);
        w->SmoothDraw(true);

        expectSameImage(w->B_Background, expectedBackground());
        QImage expected = expectedBackground();
        drawExpectedPath(expected, *path);
        expectSameImage(w->B_Foreground, expected);
        EXPECT_TRUE(a->Displayed);
        EXPECT_FALSE(far->Displayed);
        EXPECT_FALSE(w->Drawing);
    }
}

TEST_F(Paint, HiddenImagesShowAsOutlines)
{
    struct Row {
        bool selected;
        QRgb colour;
    };
    const Row rows[] = {{true, qRgb(255, 0, 0)}, {false, qRgb(0, 0, 128)}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.selected ? "selected" : "not selected");
        w->StitchList.clear();
        seeds.clear();
        addImage(0, 0, 40, 20, 1);
        TStitchObject* hidden = addImage(10, 6, 30, 20, 2);
        hidden->Visible = false;
        hidden->Selected = r.selected;
        view(11, 0, 0);
        w->SmoothDraw(true);

        QImage expected = expectedBackground();
        gdiFrame(expected, 5, 3, 5 + 15, 3 + 10, r.colour);
        expectSameImage(w->B_Background, expected);

        // The overview marks it likewise at its canvas position.
        ASSERT_EQ(w->BuildBird(50), 20);
        QImage bird(50, roundEven(26.0 / 11), QImage::Format_RGB32);
        bird.fill(rgbOf(SettingAreaColor));
        for (int y = 0; y < bird.height(); ++y)
            for (int x = 0; x < roundEven(40.0 / 11); ++x)
                if (y < roundEven(20.0 / 11))
                    bird.setPixel(x, y, patternAt(1, nearestColumn(x, 40, roundEven(40.0 / 11)),
                                                  nearestRow(y, 20, roundEven(20.0 / 11))));
        gdiFrame(bird, roundEven(10.0 / 11), roundEven(6.0 / 11), roundEven(10.0 / 11) + roundEven(30.0 / 11),
                 roundEven(6.0 / 11) + roundEven(20.0 / 11), r.colour);
        expectSameImage(w->B_Bird, bird);
    }
}

TEST_F(Paint, AreaHatchIsADiagonalCrossOnWhite)
{
    SettingAreaBrush = bsDiagCross;
    SettingAreaColor = 0;
    view(10, 0, 0);
    w->SmoothDraw(true);
    const QImage& img = w->B_Background;
    // The rectangle's pen frames the layer in the area colour.
    for (int x = 0; x < kViewW; ++x) {
        EXPECT_EQ(img.pixel(x, 0) & 0xFFFFFF, 0u);
        EXPECT_EQ(img.pixel(x, kViewH - 1) & 0xFFFFFF, 0u);
    }
    // Inside, black lines along both diagonals, every 8 pixels, white between them.
    auto black = [&](int x, int y) { return (img.pixel(x, y) & 0xFFFFFF) == 0; };
    bool matched = false;
    for (int a = 0; a < 8 && !matched; ++a)
        for (int b = 0; b < 8 && !matched; ++b) {
            bool all = true;
            for (int y = 1; y < kViewH - 1 && all; ++y)
                for (int x = 1; x < kViewW - 1 && all; ++x) {
                    const QRgb c = img.pixel(x, y) & 0xFFFFFF;
                    all = (c == 0 || c == 0xFFFFFF) && black(x, y) == (((x - y) & 7) == a || ((x + y) & 7) == b);
                }
            matched = all;
        }
    EXPECT_TRUE(matched);
}

TEST_F(Paint, RingWidthsFollowThePointsBeforeThem)
{
    TPath* path = addPath();
    TIndex* i1 = addIndex(*path, {0, 0});
    TIndex* i2 = addIndex(*path, {3, 4});
    TPath* second = addPath();
    TIndex* j1 = addIndex(*second, {0, 0});
    TMeasurement* m1 = addMeasurement(*j1, {6, 8});
    TMeasurement* m2 = addMeasurement(*j1, {6, 20});
    TIndex* j2 = addIndex(*second, {11, 20});
    view(10, 0, 0);

    struct Row {
        bool overlays, firstVisible;
    };
    // Widths come from the positions whether a path is drawn or not.
    const Row rows[] = {{true, true}, {false, true}, {true, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "overlays " << r.overlays << " first visible " << r.firstVisible);
        SettingOVisible = r.overlays;
        path->visible = r.firstVisible;
        for (TJEXObject* o : std::initializer_list<TJEXObject*>{i1, i2, j1, m1, m2, j2})
            o->distance = -1;
        w->SmoothDraw(false);
        EXPECT_DOUBLE_EQ(i1->distance, 0);
        EXPECT_DOUBLE_EQ(i2->distance, 5);  // from the first index point
        EXPECT_DOUBLE_EQ(j1->distance, 0);
        EXPECT_DOUBLE_EQ(m1->distance, 10);
        EXPECT_DOUBLE_EQ(m2->distance, 12);
        EXPECT_DOUBLE_EQ(j2->distance, 5); // from the last measurement point before it
    }
}

TEST_F(Paint, RingWidthLabelCentredOnItsSegment)
{
    addImage(0, 0, 40, 20, 1);
    QFont font(SettingFontName);
    font.setPixelSize(11); // 8 points at 96 dpi
    const QFontMetrics fm(font);
    struct Row {
        int h;
        QPoint from, to;
        const char* text;
    };
    const Row rows[] = {
        {0, {10, 20}, {40, 20}, "30.00"},
        {30, {10, 20}, {30, 20}, "20.00"}, // its middle lies left of the view, its end inside
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        w->PathList.clear();
        TPath* path = addPath();
        addMeasurement(*addIndex(*path, r.from), r.to);
        SettingLVisible = false;
        view(10, r.h, 0);
        w->SmoothDraw(true);
        const QImage without = w->B_Foreground.copy();
        SettingLVisible = true;
        w->SmoothDraw(false);
        const QRect box = changedBox(w->B_Foreground, without);
        ASSERT_FALSE(box.isEmpty());

        const int textWidth = fm.horizontalAdvance(QString::fromLatin1(r.text));
        const int left = (r.from.x() - r.h) + (r.to.x() - r.from.x()) / 2 - textWidth / 2, top = r.from.y();
        EXPECT_GE(box.left(), std::max(0, left - 1));
        EXPECT_LE(box.right(), left + textWidth + 1);
        EXPECT_GE(box.right(), left + textWidth - 4);
        EXPECT_GE(box.top(), top);
        EXPECT_LE(box.bottom(), top + fm.ascent() + fm.descent());
    }
}

TEST_F(Paint, LinesOneWideFromZoom16)
{
    SettingMWidth = 5;
    SettingRALVisible = true;
    SettingRALWidth = 5;
    SettingRALLength = 6;
    SettingScaleRAL = false;
    struct Row {
        int zoom, thickness;
    };
    const Row rows[] = {{15, 5}, {16, 1}, {20, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "zoom " << r.zoom);
        w->PathList.clear();
        const int d = r.zoom - 9;
        TPath* path = addPath();
        TIndex* i1 = addIndex(*path, {10 * d, 20 * d});
        addMeasurement(*i1, {80 * d, 20 * d});
        view(r.zoom, 0, 0);
        w->SmoothDraw(true);
        const QImage& img = w->B_Foreground;
        int line = 0, bar = 0;
        for (int y = 0; y < kViewH; ++y)
            line += (img.pixel(50, y) & 0xFFFFFF) == (rgbOf(SettingMLColor) & 0xFFFFFF);
        for (int x = 0; x < 20; ++x)
            bar += (img.pixel(x, 17) & 0xFFFFFF) == (rgbOf(SettingRALColor) & 0xFFFFFF);
        EXPECT_EQ(line, r.thickness);
        EXPECT_EQ(bar, r.thickness);
    }
}

TEST_F(Paint, DrawingFlagClearedWhenDrawingThrows)
{
    addImage(0, 0, 40, 20, 1);
    view(10, 0, 0);
    w->DrawList.push_back(std::make_unique<TDrawObject>()); // no drawing of its own: throws
    EXPECT_THROW(w->SmoothDraw(true), std::logic_error);
    EXPECT_FALSE(w->Drawing);
    EXPECT_THROW(w->SmoothDraw(false), std::logic_error);
    EXPECT_FALSE(w->Drawing);

    w->DrawList.clear();
    w->SmoothDraw(true);
    expectSameImage(w->B_Foreground, expectedBackground());

    // While the flag is set a repaint does nothing.
    w->B_Foreground.fill(Qt::black);
    w->Drawing = true;
    w->SmoothDraw(true);
    EXPECT_EQ(w->B_Foreground.pixel(0, 0) & 0xFFFFFF, 0u);
    EXPECT_TRUE(w->Drawing);
}

TEST_F(Paint, RegionOutlineMarchesOnFromRepaintToRepaint)
{
    SettingAreaColor = 0x00FF0000; // neither black nor white
    view(10, 0, 0);
    w->SmoothDraw(true);
    w->CopyRect = true;
    w->ClipbrdPT1 = QPoint(10, 5);
    w->ClipbrdPT2 = QPoint(30, 25);

    // The walk: left side down, top side, right side down, bottom side; no end pixels.
    std::vector<QPoint> walk;
    for (int y = 5; y < 25; ++y)
        walk.push_back({10, y});
    for (int x = 10; x < 30; ++x)
        walk.push_back({x, 5});
    for (int y = 5; y < 25; ++y)
        walk.push_back({30, y});
    for (int x = 10; x < 30; ++x)
        walk.push_back({x, 25});
    // 5 black then 3 white, from some phase the tests cannot know.
    auto outlineFor = [&](int phase) {
        QImage img = w->B_Foreground.copy();
        img.fill(rgbOf(SettingAreaColor));
        for (size_t i = 0; i < walk.size(); ++i)
            img.setPixel(walk[i], (phase + i) % 8 < 5 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        return img;
    };

    w->SmoothDraw(false);
    int phase = -1;
    for (int p = 0; p < 8; ++p)
        if (changedBox(w->B_Foreground, outlineFor(p)).isEmpty())
            phase = p;
    ASSERT_GE(phase, 0) << "no dash phase gives the outline";

    w->T_AntRectTimer(); // the next tick goes on where this one stopped
    expectSameImage(w->B_Foreground, outlineFor(int((phase + walk.size()) % 8)));
}

TEST_F(Paint, ExportOfACanvasWiderThanOnePainter)
{
    addImage(4, 0, 8, 6, 1);
    addImage(33000, 2, 8, 6, 2);
    TPath* path = addPath();
    addIndex(*path, {6, 3});
    addIndex(*path, {33004, 5});
    view(10, 0, 0);

    QImage out;
    w->PaintTo(out, true);
    ASSERT_EQ(out.size(), QSize(33008, 8));

    // Images and overlays share the canvas origin.
    QImage expected = expectedImagesOnWhite(out.size());
    drawExpectedPath(expected, *path);
    expectSameImage(out, expected);

    // Without the overlays only the images.
    w->PaintTo(out, false);
    expectSameImage(out, expectedImagesOnWhite(out.size()));
}

TEST_F(Paint, ExportCancelledKeepsTheImagesDrawnSoFar)
{
    auto fake = std::make_unique<FakeDialogs>();
    FakeDialogs* dialogs = fake.get();
    setDialogs(std::move(fake));
    dialogs->answerMessage(mrYes);
    auto* progress = new TF_Progress;
    F_Progress = progress;
    // Cancel is pressed while the second image is announced.
    int steps = 0;
    QObject::connect(progress->PB, &QProgressBar::valueChanged, progress, [progress, &steps] {
        if (++steps == 2)
            progress->Tag = TF_Progress::TagCancelled;
    });

    addImage(0, 0, 6, 4, 1);
    addImage(6, 0, 6, 4, 2);
    addImage(12, 0, 6, 4, 3);
    view(10, 0, 0);
    QImage out;
    w->PaintTo(out, true);

    EXPECT_EQ(dialogs->shownTexts(), QStringList{QStringLiteral("Cancel image export?")});
    QImage expected(18, 4, QImage::Format_RGB32);
    expected.fill(Qt::white);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            expected.setPixel(x, y, patternAt(1, x, y));
    expectSameImage(out, expected);

    delete progress;
    setDialogs(nullptr);
}

TEST_F(Paint, BirdZoomIsTheFirstFromTwentyThatFits)
{
    struct Row {
        int canvasWidth, birdWidth, zoom;
    };
    const Row rows[] = {
        {300, 200, 20},  // reduced at least 1:11
        {5000, 200, 35}, // 200 > 5000 / 26, but not > 5000 / 25
        {5000, 250, 30}, // 250 > 5000 / 21
        {300, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.canvasWidth << " in " << r.birdWidth);
        w->StitchList.clear();
        seeds.clear();
        addImage(0, 0, r.canvasWidth, 2, 1);
        w->UpdateArea();
        EXPECT_EQ(w->BirdZoom(r.birdWidth), r.zoom);
    }
}

TEST_F(Paint, ZoomedCopiesOnlyForReducingZooms)
{
    TStitchObject* so = addImage(0, 0, 40, 20, 1);
    struct Row {
        int zoom;
        QSize size;
    };
    const Row rows[] = {{11, {20, 10}}, {13, {10, 5}}, {10, {0, 0}}, {4, {0, 0}}, {12, {13, 7}}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.zoom);
        w->setZoom(r.zoom);
        w->ResampleStitchObjects(so);
        EXPECT_EQ(QSize(so->FZ->Info.Header.Width, so->FZ->AbsHeight), r.size);
    }
}

TEST_F(Paint, PaintBoxShowsTheForeground)
{
    addImage(0, 0, 40, 20, 1);
    w->resize(300, 200);
    w->show();
    QCoreApplication::processEvents();
    view(10, 0, 0);
    w->SmoothDraw(true);
    const QImage shown = w->PB->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), w->B_Foreground.size());
    expectSameImage(shown, w->B_Foreground);
}

// Points near the end of the int range: the overlays step only the pixels in view, and those
// come out as they would from a drawing of the visible part alone.
TEST_F(Paint, FarAwayObjectsCostWhatIsVisible)
{
    constexpr int far = 2147483000;
    SettingIColor = 0x0000FFFF;
    SettingMLColor = 0x00FF0000;
    TPath* path = addPath();
    TIndex* i1 = addIndex(*path, {5, 20});
    addMeasurement(*i1, {far, 20});          // to the right, off the view
    TIndex* i2 = addIndex(*path, {60, far}); // its index line stays out of view
    addMeasurement(*i2, {60, -far});         // straight up through the view
    for (const int y : {far, -far}) {
        auto point = std::make_unique<TAnchorPoint>();
        point->Pos = QPoint(3, y);
        point->Active = true;
        w->AnchorLine->AnchorPoints.push_back(std::move(point));
    }
    auto frame = std::make_unique<TRectangle>();
    frame->x1 = QPoint(-far, 10);
    frame->x2 = QPoint(far, 35);
    frame->PWidth = 1;
    frame->PColor = 0x00008000;
    frame->Transparent = true;
    w->DrawList.push_back(std::move(frame));
    view(10, 0, 0);

    QImage drawn(kViewW, kViewH, QImage::Format_RGB32);
    drawn.fill(Qt::white);
    QPainter painter(&drawn);
    DeviceContext dc(&painter);
    w->DrawItems(&dc);
    ReleaseCanvasTools(&dc);
    painter.end();
    // Three lines across the view, two rows of the frame and one point square.
    EXPECT_LE(dc.pixelsStepped(), 3 * (kViewW + 4) + 2 * (kViewH + 4) + 4 * (2 * SettingISize + 2));

    QImage expected(kViewW, kViewH, QImage::Format_RGB32);
    expected.fill(Qt::white);
    gdiLine(expected, {3, kViewH + 4}, {3, -4}, rgbOf(SettingIColor));
    gdiFrame(expected, 5 - SettingISize, 20 - SettingISize, 5 + SettingISize, 20 + SettingISize, rgbOf(SettingIColor));
    gdiLine(expected, {5, 20}, {kViewW + 4, 20}, rgbOf(SettingMLColor));
    gdiLine(expected, {60, kViewH + 4}, {60, -4}, rgbOf(SettingMLColor));
    for (int x = 0; x < kViewW; ++x)
        for (const int y : {10, 34})
            expected.setPixel(x, y, qRgb(0, 0x80, 0));
    expectSameImage(drawn, expected);
}

// A region reaching far off the view: its outline is walked where it shows, and the dashes run
// on by the length of the whole outline from one repaint to the next.
TEST_F(Paint, FarRegionOutlineMarchesOnByItsWholeLength)
{
    constexpr qint64 far = 2147483000;
    SettingAreaColor = 0x00FF0000;
    view(10, 0, 0);
    w->SmoothDraw(true);
    w->CopyRect = true;
    w->ClipbrdPT1 = QPoint(10, 5);
    w->ClipbrdPT2 = QPoint(int(far), int(far));

    // In view: the left side from row 5 down, then the top side from column 10 right.
    const qint64 leftSide = far - 5, topSide = far - 10, walk = 2 * leftSide + 2 * topSide;
    auto outlineFor = [&](qint64 phase) {
        QImage img(kViewW, kViewH, QImage::Format_RGB32);
        img.fill(rgbOf(SettingAreaColor));
        auto dash = [](qint64 i) { return i % 8 < 5 ? qRgb(0, 0, 0) : qRgb(255, 255, 255); };
        for (int y = 5; y < kViewH; ++y)
            img.setPixel(10, y, dash(phase + (y - 5)));
        for (int x = 10; x < kViewW; ++x)
            img.setPixel(x, 5, dash(phase + leftSide + (x - 10)));
        return img;
    };

    w->SmoothDraw(false);
    int phase = -1;
    for (int p = 0; p < 8; ++p)
        if (changedBox(w->B_Foreground, outlineFor(p)).isEmpty())
            phase = p;
    ASSERT_GE(phase, 0) << "no dash phase gives the outline";

    w->T_AntRectTimer();
    expectSameImage(w->B_Foreground, outlineFor((phase + walk) % 8));
}

// Objects at the very ends of the int range, labelled, selected and marked, at magnifying, 1:1
// and reducing zooms: drawing them steps no more than the view holds (and, in the sanitizer
// build, no arithmetic overflows on the way).
TEST_F(Paint, ObjectsAtTheEndsOfTheIntRangeStepOnlyTheView)
{
    constexpr int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
    SettingTVisible = true;
    SettingLVisible = true;
    SettingRALVisible = true;
    SettingCADCursor = true;
    TPath* path = addPath();
    path->Pith = true;
    const QPoint corners[] = {{lo, lo}, {hi, hi}, {lo, hi}, {hi, lo}, {5, 5}};
    TIndex* index = addIndex(*path, corners[0]);
    index->Comment = QStringLiteral("far");
    index->selected = true;
    for (const QPoint& p : corners) {
        TMeasurement* m = addMeasurement(*index, p);
        m->SapWood = true;
        m->selected = true;
        auto anchor = std::make_unique<TAnchorPoint>();
        anchor->Pos = p;
        anchor->Active = true;
        w->AnchorLine->AnchorPoints.push_back(std::move(anchor));
    }
    auto arrow = std::make_unique<TArrow>();
    arrow->x1 = QPoint(lo, 7);
    arrow->x2 = QPoint(hi, 9);
    arrow->Width = 1;
    arrow->BaseType = 1;
    arrow->BaseWidth = hi;
    arrow->TipType = 3;
    arrow->TipWidth = hi;
    w->DrawList.push_back(std::move(arrow));
    auto frame = std::make_unique<TRectangle>();
    frame->x1 = QPoint(lo, lo);
    frame->x2 = QPoint(hi, hi);
    frame->PWidth = 1;
    w->DrawList.push_back(std::move(frame));
    w->SB_AnchorStrict->setChecked(true);
    w->Anchor = QPoint(hi, lo);

    for (const int zoom : {1, 10, 60}) {
        SCOPED_TRACE(testing::Message() << "zoom " << zoom);
        for (const int mode : {int(mmNewMeasurement), int(mmAnchorLine), int(mmDPIDone)}) {
            w->ApplyScreenMode(mode);
            w->DPI1 = QPoint(lo, hi);
            w->DPI2 = QPoint(hi, lo);
            view(zoom, 0, 0);
            QImage drawn(kViewW, kViewH, QImage::Format_RGB32);
            QPainter painter(&drawn);
            DeviceContext dc(&painter);
            w->DrawItems(&dc);
            ReleaseCanvasTools(&dc);
            // No more than a few dozen lines across the view.
            EXPECT_LE(dc.pixelsStepped(), 40 * (kViewW + kViewH));
        }
    }
}

// Overlay repaints draw again only where the overlays changed; what they leave on the layer is
// always the background with every overlay drawn on it, whatever moved between two repaints.
TEST_F(Paint, OverlayRepaintsMatchTheWholeDrawingAfterEveryChange)
{
    SettingLVisible = true;
    SettingRALVisible = true;
    SettingRALLength = 6;
    SettingScaleRAL = false;
    SettingTVisible = true;
    addImage(0, 0, 40, 20, 1);
    addImage(40, 5, 60, 30, 2);
    TPath* path = addPath();
    TIndex* i1 = addIndex(*path, {4, 4});
    i1->Comment = QStringLiteral("pith");
    TMeasurement* m1 = addMeasurement(*i1, {20, 12});
    addMeasurement(*i1, {37, 9});
    TIndex* i2 = addIndex(*path, {50, 25});
    addMeasurement(*i2, {70, 30});
    auto frame = std::make_unique<TRectangle>();
    frame->x1 = QPoint(60, 2);
    frame->x2 = QPoint(90, 20);
    frame->PWidth = 1;
    frame->PColor = 0x00008000;
    frame->Transparent = true;
    w->DrawList.push_back(std::move(frame));
    w->CurrentPath = path;
    w->CurrentIndex = i2;
    view(10, 0, 0);
    w->ApplyScreenMode(mmNewMeasurement);
    w->SmoothDraw(true);

    auto wholeDrawing = [&] {
        QImage img = w->B_Background.copy();
        QPainter painter(&img);
        DeviceContext dc(&painter);
        w->DrawItems(&dc);
        ReleaseCanvasTools(&dc);
        return img;
    };
    struct Step {
        const char* what;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"mouse moves", [&] { w->Mouse = QPoint(80, 30); }},
        {"mouse moves a little", [&] { w->Mouse = QPoint(81, 31); }},
        {"mouse moves across the labels", [&] { w->Mouse = QPoint(10, 5); }},
        {"nothing changes", [] {}},
        {"crosshair shown", [&] { SettingCADCursor = true; }},
        {"mouse moves with the crosshair", [&] { w->Mouse = QPoint(55, 20); }},
        {"a point moves", [&] { m1->Pos = QPoint(24, 15); }},
        {"a point is selected", [&] { m1->selected = true; }},
        {"line colour changes", [&] { SettingMLColor = 0x0000FFFF; }},
        {"region outline marches", [&] {
             w->CopyRect = true;
             w->ClipbrdPT1 = QPoint(15, 3);
             w->ClipbrdPT2 = QPoint(45, 33);
         }},
        {"outline marches on", [] {}},
        {"the mode changes", [&] { w->ApplyScreenMode(mmSelect); }},
        {"someone draws on the layer", [&] { w->B_Foreground.fill(Qt::black); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        w->SmoothDraw(false);
        expectSameImage(w->B_Foreground, wholeDrawing());
    }
}

// A complete repaint draws the area fill only where it is not yet and brings back the foreground
// only where the background changed or the last overlays lay; after every change its layers are
// those of a repaint from nothing.
TEST_F(Paint, CompleteRepaintsMatchARepaintFromNothingAfterEveryChange)
{
    SettingLVisible = true;
    SettingRALVisible = true;
    SettingRALLength = 6;
    SettingScaleRAL = false;
    TStitchObject* first = addImage(0, 0, 40, 20, 1);
    TStitchObject* second = addImage(40, 5, 60, 30, 2);
    addImage(400, 150, 30, 20, 3); // a canvas wider and taller than the view
    TStitchObject* aside = addImage(200, 80, 50, 25, 4); // away from the overlays
    // Pictures cover little of the view, so that the repaints bring back parts, not the whole.
    w->PB->resize(300, 120);
    TPath* path = addPath();
    TIndex* i1 = addIndex(*path, {4, 4});
    TMeasurement* m1 = addMeasurement(*i1, {20, 12});
    addMeasurement(*i1, {37, 9});
    TIndex* i2 = addIndex(*path, {50, 25});
    addMeasurement(*i2, {70, 30});
    w->CurrentPath = path;
    w->CurrentIndex = i2;
    auto scroll = [&](int zoom, int h, int v) {
        view(zoom, h, v);
        ASSERT_EQ(QPoint(w->SB_H->value(), w->SB_V->value()), QPoint(h, v)) << "the view scrolls there";
    };
    scroll(10, 5, 3);
    w->SmoothDraw(true);

    struct Step {
        const char* what;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"nothing changes", [] {}},
        {"scrolled a little", [&] { scroll(10, 9, 1); }},
        {"scrolled further", [&] { scroll(10, 60, 8); }},
        {"zoomed out", [&] { scroll(12, 20, 4); }},
        {"scrolled while zoomed out", [&] { scroll(12, 14, 0); }},
        {"zoomed in", [&] { scroll(6, 30, 12); }},
        {"scrolled while zoomed in", [&] { scroll(6, 33, 10); }},
        {"a point moves", [&] {
             scroll(10, 5, 3);
             m1->Pos = QPoint(24, 15);
         }},
        {"area colour changes", [&] { SettingAreaColor = 0x00306090; }},
        {"area hatched", [&] { SettingAreaBrush = bsDiagCross; }},
        {"scrolled over the hatch", [&] { scroll(10, 7, 5); }},
        {"area solid again", [&] { SettingAreaBrush = bsSolid; }},
        {"an image hidden", [&] { aside->Visible = false; }},
        {"scrolled with the outline", [&] { scroll(10, 25, 10); }},
        {"the hidden image moved", [&] {
             aside->x -= 12;
             aside->y -= 6;
         }},
        {"the image shown again", [&] { aside->Visible = true; }},
        {"an image selected while aligning", [&] {
             first->Selected = true;
             w->ApplyScreenMode(mmAlignImages);
         }},
        {"aligned image moved", [&] {
             first->x = 30;
             w->UpdateArea();
         }},
        {"the mode changes", [&] {
             first->Selected = false;
             w->ApplyScreenMode(mmNewMeasurement);
         }},
        {"the region outline marched over the area", [&] {
             w->CopyRect = true;
             w->ClipbrdPT1 = QPoint(35, 15);
             w->ClipbrdPT2 = QPoint(180, 85);
             w->SmoothDraw(false);
             w->SmoothDraw(false);
         }},
        {"someone drew on the background", [&] { w->B_Background.fill(Qt::black); }},
        {"the paint box grows", [&] { w->PB->resize(307, 123); }},
        {"image pixels change", [&] { fillImage(*second, 9); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        w->SmoothDraw(true);
        const QImage background = w->B_Background.copy(), foreground = w->B_Foreground.copy();
        w->B_Background = QImage();
        w->B_Foreground = QImage();
        w->SmoothDraw(true);
        expectSameImage(background, w->B_Background);
        expectSameImage(foreground, w->B_Foreground);
    }
}

// Zoomed copies asked for by several steps of one road are made once, by the repaint that shows
// them, from the pixels and at the zoom of that repaint; an image gone meanwhile is left out.
TEST_F(Paint, ZoomedCopiesAreMadeByTheRepaintThatShowsThem)
{
    TStitchObject* a = addImage(0, 0, 40, 20, 1);
    addImage(40, 0, 40, 20, 2);
    view(12, 0, 0); // asks for both copies at 1:3
    w->setZoom(11); // and again at 1:2
    w->ResampleStitchObjects(a);
    EXPECT_EQ(QSize(a->FZ->Info.Header.Width, a->FZ->AbsHeight), QSize(20, 10)); // sized at once

    // The pixels change before the repaint: the copy shows them as they are then.
    fillImage(*a, 7);
    seeds[0] = 7;
    w->StitchList.pop_back(); // the second image goes before its copy was made
    seeds.pop_back();
    w->UpdateArea();
    w->SmoothDraw(true);
    expectSameImage(w->B_Background, expectedBackground());
}
