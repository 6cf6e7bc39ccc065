// Drawing of index and measurement points, labels, the pith circle, anchor crosses, arrows and
// rectangles onto a device context, compared with pictures the tests draw pixel by pixel.
#include "project/ObjectDrawing.h"

#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "project/ViewTransform.h"

#include "support/ReferenceDrawing.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <limits>

#include <memory>

namespace {

using testhelpers::changedBox;
using testhelpers::expectSameImage;
using testhelpers::gdiFrame;
using testhelpers::gdiLine;
using testhelpers::rgbOf;
using testhelpers::setPx;

constexpr int kSize = 80;

QImage whiteImage()
{
    QImage img(kSize, kSize, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

// One view for the screen points and the zoom, and the drawing settings every test starts from.
class ObjectDrawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        ApplyAbsentSettingDefaults();
        SettingISize = 4;
        SettingMSize = 3;
        SettingSSize = 2;
        SettingIColor = 0x0000FFFF;  // yellow
        SettingMColor = 0x0000CCFF;  // orange
        SettingISColor = 0x0000FF00; // green
        SettingMSColor = 0x00FF00FF; // magenta
        SettingTextColor = 0x00FF0000; // blue
        SettingFontName = QStringLiteral("DejaVu Sans");
        SettingFSize = 12;
        SettingFixedFontSize = true;
        SettingTextAngle = 0;
        SettingTVisible = false;
    }

    // Draws with the object's Draw onto a white picture at zoom z.
    template <class F>
    QImage draw(int z, F&& paint)
    {
        view.zoom = z;
        QImage img = whiteImage();
        {
            QPainter painter(&img);
            DeviceContext dc(&painter);
            paint(&dc);
            ReleaseCanvasTools(&dc);
        }
        return img;
    }

    ViewTransform view; // unscrolled, as a fresh window
};

} // namespace

TEST_F(ObjectDrawing, PointSquaresSitOnTheirScreenPoint)
{
    struct Row {
        bool index;
        int zoom;
        QPoint pos;
        QPoint screen; // worked out by hand from the zoom table
    };
    const Row rows[] = {
        {true, 10, {20, 30}, {20, 30}},
        {false, 10, {40, 12}, {40, 12}},
        {true, 8, {10, 6}, {31, 19}},  // 3:1, a point sits in the middle of its 3 pixels
        {false, 12, {90, 60}, {30, 20}}, // 1:3
        {true, 11, {41, 45}, {20, 22}},  // 1:2, 20.5 and 22.5 round to even
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << (r.index ? "index" : "measurement") << " zoom " << r.zoom);
        std::unique_ptr<TJEXObject> point;
        if (r.index)
            point = std::make_unique<TIndex>();
        else
            point = std::make_unique<TMeasurement>();
        point->Pos = r.pos;
        QPoint returned;
        const QImage img = draw(r.zoom, [&](HDC dc) { returned = point->Draw(&view, dc); });
        EXPECT_EQ(returned, r.screen);

        const int s = r.index ? SettingISize : SettingMSize;
        QImage expected = whiteImage();
        gdiFrame(expected, r.screen.x() - s, r.screen.y() - s, r.screen.x() + s, r.screen.y() + s,
                 rgbOf(r.index ? SettingIColor : SettingMColor));
        expectSameImage(img, expected);
    }
}

TEST_F(ObjectDrawing, SelectedPointGetsAnOutlineInTheSelectionColour)
{
    for (const bool index : {true, false}) {
        SCOPED_TRACE(index ? "index" : "measurement");
        std::unique_ptr<TJEXObject> point;
        if (index)
            point = std::make_unique<TIndex>();
        else
            point = std::make_unique<TMeasurement>();
        point->Pos = QPoint(40, 40);
        point->selected = true;
        const QImage img = draw(10, [&](HDC dc) { point->Draw(&view, dc); });

        const QRgb selection = rgbOf(index ? SettingISColor : SettingMSColor);
        QRect box;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                if ((img.pixel(x, y) & 0xFFFFFF) == (selection & 0xFFFFFF))
                    box |= QRect(x, y, 1, 1);
        // The 2-pixel pen runs along (p - s - S) .. (p + s + S + 1), the right and bottom left out.
        const int e = (index ? SettingISize : SettingMSize) + SettingSSize;
        EXPECT_LE(box.left(), 40 - e);
        EXPECT_GE(box.left(), 40 - e - 1);
        EXPECT_GE(box.right(), 40 + e);
        EXPECT_LE(box.right(), 40 + e + 1);
        EXPECT_LE(box.top(), 40 - e);
        EXPECT_GE(box.bottom(), 40 + e);
        // The square itself stays in the point colour.
        EXPECT_EQ(img.pixel(40, 40 - (index ? SettingISize : SettingMSize)) & 0xFFFFFF,
                  rgbOf(index ? SettingIColor : SettingMColor) & 0xFFFFFF);
    }
}

TEST_F(ObjectDrawing, LabelAppearsForSapwoodOrAVisibleComment)
{
    struct Row {
        QString comment;
        bool sapwood;
        bool textVisible;
        bool label;
    };
    const Row rows[] = {
        {QString(), false, true, false},
        {QStringLiteral("x"), false, false, false},
        {QStringLiteral("x"), false, true, true},
        {QString(), true, false, true}, // " Sapwood border" alone
        {QStringLiteral("x"), true, false, true},
    };
    TMeasurement bare;
    bare.Pos = QPoint(10, 60);
    const QImage without = draw(10, [&](HDC dc) { bare.Draw(&view, dc); });
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "comment '" << r.comment.toStdString() << "' sapwood " << r.sapwood
                                        << " visible " << r.textVisible);
        SettingTVisible = r.textVisible;
        TMeasurement m;
        m.Pos = bare.Pos;
        m.Comment = r.comment;
        m.SapWood = r.sapwood;
        const QImage img = draw(10, [&](HDC dc) { m.Draw(&view, dc); });
        EXPECT_EQ(!changedBox(img, without).isEmpty(), r.label);
    }
}

TEST_F(ObjectDrawing, LabelStandsOnItsPointAndTurnsCounterClockwise)
{
    SettingTVisible = true;
    QFont font(SettingFontName);
    font.setPixelSize(16); // 12 points at 96 dpi
    const QFontMetrics fm(font);
    const QString text = QStringLiteral("Wq");
    const int textWidth = fm.horizontalAdvance(text), cell = fm.ascent() + fm.descent();

    TIndex bare;
    bare.Pos = QPoint(40, 60);
    const QImage without = draw(10, [&](HDC dc) { bare.Draw(&view, dc); });
    TIndex point;
    point.Pos = bare.Pos;
    point.Comment = text;
    const int refX = 40, refY = 58; // two pixels above the point

    SettingTextAngle = 0;
    QRect box = changedBox(draw(10, [&](HDC dc) { point.Draw(&view, dc); }), without);
    ASSERT_FALSE(box.isEmpty());
    // Bottom-left of the text cell at the reference point.
    EXPECT_GE(box.left(), refX - 1);
    EXPECT_LE(box.right(), refX + textWidth + 1);
    EXPECT_LE(box.bottom(), refY);
    EXPECT_GE(box.top(), refY - cell - 1);
    EXPECT_GT(box.width(), box.height());

    SettingTextAngle = 90;
    box = changedBox(draw(10, [&](HDC dc) { point.Draw(&view, dc); }), without);
    ASSERT_FALSE(box.isEmpty());
    // Turned a quarter counter-clockwise about the same corner: it rises from there, the tops
    // of the letters to the left.
    EXPECT_LE(box.right(), refX + 1);
    EXPECT_GE(box.left(), refX - cell - 1);
    EXPECT_LE(box.bottom(), refY + 1);
    EXPECT_GE(box.top(), refY - textWidth - 2);
    EXPECT_GT(box.height(), box.width());
}

TEST(LabelFontSize, FollowsTheZoomUnlessFixed)
{
    struct Row {
        bool fixed;
        int size;
        int zoom;
        int expected;
    };
    const Row rows[] = {
        {false, 12, 10, 24}, // 1:1 draws twice the setting
        {false, 12, 11, 12}, // 1:2
        {false, 12, 9, 48},  // 2:1
        {false, 5, 13, 2},   // 10 / 4 = 2.5 rounds to even
        {false, 7, 13, 4},   // 3.5 rounds to even
        {true, 12, 1, 12},
        {true, 12, 400, 12},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "fixed " << r.fixed << " size " << r.size << " zoom " << r.zoom);
        SettingFixedFontSize = r.fixed;
        SettingFSize = r.size;
        EXPECT_EQ(LabelFontSize(ViewTransform::zoomDiv(r.zoom)), r.expected);
    }
}

TEST(RingWidthText, FourSignificantDigitsPaddedToTheDecimals)
{
    struct Row {
        double value;
        int digits;
        const char* text;
    };
    const Row rows[] = {
        {123.456, 3, "123.500"}, // 4 significant digits, then padded
        {0.123456, 2, "0.12"},
        {1.5, 2, "1.50"},
        {0.0, 2, "0.00"},
        {2.5, 0, "3"},           // half away from zero
        {1234.4, 1, "1234.0"},
        {12345.6, 2, "1.235E4"}, // more than 4 integer digits: scientific
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.value << " with " << r.digits);
        EXPECT_EQ(RingWidthText(r.value, r.digits), QString::fromLatin1(r.text));
    }
}

TEST_F(ObjectDrawing, PithVariantAddsACircleAroundTheSquare)
{
    TIndex point;
    point.Pos = QPoint(40, 40);
    QPoint plain, pith;
    const QImage withoutCircle = draw(10, [&](HDC dc) { plain = point.Draw(&view, dc); });
    const QImage withCircle = draw(10, [&](HDC dc) { pith = point.Draw(&view, dc, true); });
    EXPECT_EQ(pith, plain);

    const int r = SettingISize + 4;
    const QRgb colour = rgbOf(SettingIColor) & 0xFFFFFF;
    // The circle reaches the edges of its box (p - s - 4 .. p + s + 4) on all four sides...
    for (const QPoint edge : {QPoint(40, 40 - r), QPoint(40, 40 + r - 1), QPoint(40 - r, 40), QPoint(40 + r - 1, 40)}) {
        SCOPED_TRACE(testing::Message() << edge.x() << "/" << edge.y());
        EXPECT_EQ(withCircle.pixel(edge) & 0xFFFFFF, colour);
        EXPECT_EQ(withoutCircle.pixel(edge) & 0xFFFFFF, 0xFFFFFFu);
    }
    // ... but not its corners, and the square is drawn as before.
    EXPECT_EQ(withCircle.pixel(40 - r, 40 - r) & 0xFFFFFF, 0xFFFFFFu);
    for (int x = 36; x < 44; ++x)
        EXPECT_EQ(withCircle.pixel(x, 36), withoutCircle.pixel(x, 36)) << "square column " << x;
}

TEST_F(ObjectDrawing, AnchorPointIsACross)
{
    for (const bool selected : {false, true}) {
        SCOPED_TRACE(selected ? "selected" : "plain");
        TAnchorPoint a;
        a.Pos = QPoint(30, 20);
        a.selected = selected;
        QPoint returned;
        const QImage img = draw(10, [&](HDC dc) { returned = a.Draw(&view, dc); });
        EXPECT_EQ(returned, QPoint(30, 20));
        const int s = SettingISize;
        const QRgb c = rgbOf(selected ? SettingISColor : SettingIColor);
        QImage expected = whiteImage();
        gdiLine(expected, {30 - s - 1, 20}, {30 + s + 1, 20}, c);
        gdiLine(expected, {30, 20 - s - 1}, {30, 20 + s + 1}, c);
        expectSameImage(img, expected);
    }
}

TEST_F(ObjectDrawing, ArrowHeadsPointOutwardAtBothEnds)
{
    struct Row {
        const char* name;
        QPoint x1, x2;
        quint8 baseType, tipType;
        int baseWidth, tipWidth;
        std::vector<std::pair<QPoint, QPoint>> extraLines; // besides the shaft, by hand
    };
    const Row rows[] = {
        {"horizontal tip", {10, 40}, {60, 40}, 0, 3, 0, 3, {{{60, 40}, {48, 37}}, {{60, 40}, {48, 43}}}},
        {"vertical tip", {30, 10}, {30, 70}, 0, 3, 0, 2, {{{30, 70}, {32, 62}}, {{30, 70}, {28, 62}}}},
        {"horizontal base", {10, 40}, {60, 40}, 3, 0, 2, 0, {{{10, 40}, {18, 38}}, {{10, 40}, {18, 42}}}},
        {"bar at the tip", {10, 40}, {60, 40}, 0, 2, 0, 4, {{{60, 36}, {60, 44}}}},
        {"unknown type", {10, 40}, {60, 40}, 7, 9, 3, 3, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TArrow arrow;
        arrow.x1 = r.x1;
        arrow.x2 = r.x2;
        arrow.Color = 0x000000FF;
        arrow.Width = 1;
        arrow.BaseType = r.baseType;
        arrow.TipType = r.tipType;
        arrow.BaseWidth = r.baseWidth;
        arrow.TipWidth = r.tipWidth;
        const QImage img = draw(10, [&](HDC dc) { arrow.Draw(&view, dc); });
        QImage expected = whiteImage();
        const QRgb red = qRgb(255, 0, 0);
        gdiLine(expected, r.x1, r.x2, red);
        for (const auto& [from, to] : r.extraLines)
            gdiLine(expected, from, to, red);
        expectSameImage(img, expected);
    }
}

TEST_F(ObjectDrawing, ArrowHeadsOfWidthsAtTheEndsOfTheIntRangeLeaveTheShaft)
{
    // Head widths come from project files as they are.
    for (const int width : {std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
        SCOPED_TRACE(width);
        TArrow arrow;
        arrow.x1 = QPoint(10, 40);
        arrow.x2 = QPoint(60, 40);
        arrow.Color = 0x000000FF;
        arrow.Width = 1;
        arrow.BaseType = 3;
        arrow.TipType = 3;
        arrow.BaseWidth = width;
        arrow.TipWidth = width;
        const QImage img = draw(10, [&](HDC dc) { arrow.Draw(&view, dc); });
        for (int x = 10; x < 60; ++x)
            EXPECT_EQ(img.pixel(x, 40), qRgb(255, 0, 0)) << "column " << x;
    }
}

TEST_F(ObjectDrawing, ArrowMarksOnCoincidingEndsAndDots)
{
    TArrow still;
    still.x1 = still.x2 = QPoint(40, 40);
    still.Color = 0x000000FF;
    still.Width = 1;
    still.TipType = 3;
    still.BaseType = 3;
    still.TipWidth = still.BaseWidth = 4;
    EXPECT_EQ(changedBox(draw(10, [&](HDC dc) { still.Draw(&view, dc); }), whiteImage()), QRect());

    TArrow dotted;
    dotted.x1 = QPoint(10, 40);
    dotted.x2 = QPoint(60, 40);
    dotted.Color = 0x00FF0000;
    dotted.Width = 1;
    dotted.TipType = 1;
    dotted.TipWidth = 5;
    const QImage img = draw(10, [&](HDC dc) { dotted.Draw(&view, dc); });
    const QRgb blue = qRgb(0, 0, 255);
    // A disc filled in the pen colour in the box 60 +- 5, 40 +- 5.
    EXPECT_EQ(img.pixel(60, 37) & 0xFFFFFF, blue & 0xFFFFFF);
    EXPECT_EQ(img.pixel(63, 40) & 0xFFFFFF, blue & 0xFFFFFF);
    EXPECT_EQ(img.pixel(55, 35) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(changedBox(img, whiteImage()).right(), 64);
}

TEST_F(ObjectDrawing, ArrowPenFollowsTheZoom)
{
    struct Row {
        int width, zoom, thickness;
    };
    const Row rows[] = {
        {3, 10, 3},
        {6, 11, 3},
        {3, 13, 1}, // Round(0.75)
        {3, 15, 1}, // Round(0.5) = 0, drawn one pixel wide
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "width " << r.width << " zoom " << r.zoom);
        TArrow arrow;
        const int d = int(ViewTransform::zoomDiv(r.zoom));
        arrow.x1 = QPoint(4 * d, 40 * d);
        arrow.x2 = QPoint(70 * d, 40 * d);
        arrow.Color = 0;
        arrow.Width = r.width;
        const QImage img = draw(r.zoom, [&](HDC dc) { arrow.Draw(&view, dc); });
        int count = 0;
        for (int y = 0; y < kSize; ++y)
            count += (img.pixel(30, y) & 0xFFFFFF) == 0;
        EXPECT_EQ(count, r.thickness);
    }
}

TEST_F(ObjectDrawing, ArrowCaptionIsWrittenAtTheBase)
{
    TArrow arrow;
    arrow.x1 = QPoint(10, 20);
    arrow.x2 = QPoint(10, 70);
    arrow.Color = 0x00FF0000;
    arrow.Width = 1;
    const QImage bare = draw(10, [&](HDC dc) { arrow.Draw(&view, dc); });
    arrow.caption = QStringLiteral("Crack");
    const QRect box = changedBox(draw(10, [&](HDC dc) { arrow.Draw(&view, dc); }), bare);
    ASSERT_FALSE(box.isEmpty());
    // Top-left of the text at the base, 10 points per unit of width.
    EXPECT_GE(box.left(), 10);
    EXPECT_GE(box.top(), 20);
    EXPECT_LE(box.top(), 26);
    EXPECT_LE(box.bottom(), 20 + 16);
}

TEST_F(ObjectDrawing, RectangleCornersInAnyOrder)
{
    struct Row {
        int zoom;
        QPoint a, b;       // canvas corners, top-left and bottom-right
        QRect screen;      // [left, right) x [top, bottom) by hand
        bool transparent;
    };
    const Row rows[] = {
        {10, {10, 12}, {50, 40}, QRect(QPoint(10, 12), QPoint(49, 39)), false},
        {10, {10, 12}, {50, 40}, QRect(QPoint(10, 12), QPoint(49, 39)), true},
        {11, {20, 24}, {100, 80}, QRect(QPoint(10, 12), QPoint(49, 39)), false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "zoom " << r.zoom << " transparent " << r.transparent);
        QImage expected = whiteImage();
        if (!r.transparent)
            for (int y = r.screen.top(); y <= r.screen.bottom(); ++y)
                for (int x = r.screen.left(); x <= r.screen.right(); ++x)
                    setPx(expected, x, y, qRgb(0, 255, 0));
        gdiFrame(expected, r.screen.left(), r.screen.top(), r.screen.right() + 1, r.screen.bottom() + 1,
                 qRgb(255, 0, 0));
        const std::pair<QPoint, QPoint> orders[] = {
            {r.a, r.b}, {r.b, r.a}, {{r.a.x(), r.b.y()}, {r.b.x(), r.a.y()}}, {{r.b.x(), r.a.y()}, {r.a.x(), r.b.y()}}};
        for (const auto& [c1, c2] : orders) {
            SCOPED_TRACE(testing::Message() << c1.x() << "/" << c1.y() << " to " << c2.x() << "/" << c2.y());
            TRectangle rect;
            rect.x1 = c1;
            rect.x2 = c2;
            rect.PColor = 0x000000FF;
            rect.BColor = 0x0000FF00;
            rect.PWidth = int(ViewTransform::zoomDiv(r.zoom));
            rect.Transparent = r.transparent;
            expectSameImage(draw(r.zoom, [&](HDC dc) { rect.Draw(&view, dc); }), expected);
        }
    }
}

TEST_F(ObjectDrawing, CanvasPensAreKeptForReuseAndOtherToolsFreed)
{
    QImage img = whiteImage();
    QPainter painter(&img);
    DeviceContext dc(&painter);
    CanvasPen(&dc, 0xFF, 1);
    HPEN first = dc.currentPen();
    CanvasPen(&dc, 0xFF, 1); // unchanged: kept
    EXPECT_EQ(dc.currentPen(), first);
    CanvasPen(&dc, 0xFF00, 3);
    EXPECT_NE(dc.currentPen(), first);
    CanvasPen(&dc, 0xFF, 1); // the same pen again, not a new one
    EXPECT_EQ(dc.currentPen(), first);
    EXPECT_EQ(GetObjectType(first), DWORD(OBJ_PEN));

    // A pen made elsewhere is replaced but left to its owner.
    HPEN foreign = CreatePen(PS_SOLID, 1, 0);
    dc.SelectObject(foreign);
    CanvasPen(&dc, 0xFF, 1);
    EXPECT_TRUE(DeleteObject(foreign));

    // A kept pen that its holder deleted is made anew, with what was asked for.
    EXPECT_TRUE(DeleteObject(first));
    CanvasPen(&dc, 0x00FF00, 2);
    CanvasPen(&dc, 0xFF, 1);
    EXPECT_EQ(GetObjectType(dc.currentPen()), DWORD(OBJ_PEN));
    EXPECT_EQ(dc.pen().lopnColor, COLORREF(0xFF));

    // So many pens that the kept ones are let go: the one in use still draws as asked.
    for (int c = 0; c < 200; ++c)
        CanvasPen(&dc, COLORREF(c), 1);
    EXPECT_EQ(dc.pen().lopnColor, COLORREF(199));

    // Fonts and brushes go when replaced and at the release.
    CanvasBrush(&dc, 0xFF, bsSolid);
    HBRUSH brush = dc.currentBrush();
    CanvasBrush(&dc, 0xFF00, bsSolid);
    EXPECT_FALSE(DeleteObject(brush)); // already freed
    CanvasFont(&dc, QStringLiteral("DejaVu Sans"), 9, 0);
    HFONT font = dc.currentFont();
    ReleaseCanvasTools(&dc);
    EXPECT_EQ(dc.currentPen(), static_cast<HPEN>(GetStockObject(BLACK_PEN)));
    EXPECT_FALSE(DeleteObject(font));
}
