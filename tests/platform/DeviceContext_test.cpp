// Device contexts: GDI's pixel rules on every kind of section, text placement, blits and handles.
#include "platform/DeviceContext.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBlack = 0;

// The palette of the 8-bit targets holds every colour the cases draw, so nearest entries are exact.
const std::array<quint32, 256>& testPalette()
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        t[0] = 0x000000; // b, g, r, x as a little-endian word: 0x00RRGGBB
        t[1] = 0xFFFFFF;
        t[2] = 0xFF0000; // red
        t[3] = 0x0000FF; // blue
        return t;
    }();
    return table;
}

struct Target {
    const char* name;
    int bitCount;
    bool bottomUp;
};

const Target kTargets[] = {
    {"24-bit bottom-up", 24, true},
    {"32-bit top-down", 32, false},
    {"8-bit bottom-up", 8, true},
    {"16-bit 5-6-5 bottom-up", 16, true},
};

// The tools a case selected are the case's to delete, as in GDI.
void releaseTools(HDC dc)
{
    DeleteObject(SelectObject(dc, GetStockObject(BLACK_PEN)));
    DeleteObject(SelectObject(dc, GetStockObject(WHITE_BRUSH)));
    DeleteObject(SelectObject(dc, GetStockObject(SYSTEM_FONT)));
}

struct Section {
    HBITMAP bmp = nullptr;
    HDC dc = nullptr;
    Section(const Target& t, int w, int h)
    {
        DibFormat f;
        f.width = w;
        f.height = t.bottomUp ? h : -h;
        f.bitCount = t.bitCount;
        if (t.bitCount == 16) {
            f.rMask = 0xF800;
            f.gMask = 0x07E0;
            f.bMask = 0x001F;
        }
        f.colors = testPalette().data();
        bmp = CreateDIBSection(f);
        dc = CreateCompatibleDC(nullptr);
        dc->SelectObject(bmp);
    }
    ~Section()
    {
        releaseTools(dc);
        DeleteDC(dc);
        DeleteObject(bmp);
    }
    // Reads the pixel of picture row y straight from memory, independent of the context.
    COLORREF at(int x, int y) const
    {
        const int row = bmp->bottomUp() ? bmp->absHeight() - 1 - y : y;
        const uchar* p = bmp->bits() + qint64(row) * bmp->bytesPerLine();
        switch (bmp->bitCount()) {
        case 8: {
            const quint32 e = bmp->colorTable()[p[x]];
            return RGB((e >> 16) & 0xFF, (e >> 8) & 0xFF, e & 0xFF);
        }
        case 16: {
            quint16 v;
            std::memcpy(&v, p + 2 * x, 2);
            const int r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
            return RGB((r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2));
        }
        case 24:
            return RGB(p[3 * x + 2], p[3 * x + 1], p[3 * x]);
        case 32:
            return RGB(p[4 * x + 2], p[4 * x + 1], p[4 * x]);
        }
        return CLR_INVALID;
    }
};

using Expected = std::function<COLORREF(int x, int y)>;

// Compares the whole picture with the expectation; reports the first differing pixel.
::testing::AssertionResult matches(const Section& s, const Expected& expected)
{
    for (int y = 0; y < s.bmp->absHeight(); ++y) {
        for (int x = 0; x < s.bmp->width(); ++x) {
            const COLORREF got = s.at(x, y), want = expected(x, y);
            if (got != want)
                return ::testing::AssertionFailure()
                    << "first difference at row " << y << ", column " << x << ": got "
                    << QString::number(got, 16).toStdString() << ", expected " << QString::number(want, 16).toStdString();
        }
    }
    return ::testing::AssertionSuccess();
}

void whiteBackground(HDC dc, int w, int h)
{
    HBRUSH white = CreateSolidBrush(kWhite);
    RECT all{0, 0, w, h};
    FillRect(dc, &all, white);
    DeleteObject(white);
}

void usePen(HDC dc, int style, int width, COLORREF c) { DeleteObject(SelectObject(dc, CreatePen(style, width, c))); }
void useBrush(HDC dc, HBRUSH b) { DeleteObject(SelectObject(dc, b)); }

bool inside(int x, int y, int l, int t, int r, int b) { return x >= l && x < r && y >= t && y < b; }

struct PixelRuleCase {
    const char* name;
    std::function<void(HDC)> draw;
    Expected expected;
};

const PixelRuleCase kPixelRules[] = {
    {"FillRect leaves out right and bottom",
     [](HDC dc) {
         HBRUSH b = CreateSolidBrush(kRed);
         RECT r{2, 1, 6, 4};
         FillRect(dc, &r, b);
         DeleteObject(b);
     },
     [](int x, int y) { return inside(x, y, 2, 1, 6, 4) ? kRed : kWhite; }},
    {"FillRect of an inverted rectangle paints nothing",
     [](HDC dc) {
         HBRUSH b = CreateSolidBrush(kRed);
         RECT r{6, 4, 2, 1};
         FillRect(dc, &r, b);
         DeleteObject(b);
     },
     [](int, int) { return kWhite; }},
    {"Rectangle: 1-pixel outline on the excluded edge's inside, brush within",
     [](HDC dc) {
         usePen(dc, PS_SOLID, 1, kRed);
         useBrush(dc, CreateSolidBrush(kBlue));
         Rectangle(dc, 1, 1, 6, 5);
     },
     [](int x, int y) {
         if (!inside(x, y, 1, 1, 6, 5))
             return kWhite;
         return (x == 1 || x == 5 || y == 1 || y == 4) ? kRed : kBlue;
     }},
    {"Rectangle with swapped corners is normalised",
     [](HDC dc) {
         usePen(dc, PS_SOLID, 1, kRed);
         useBrush(dc, CreateSolidBrush(kBlue));
         Rectangle(dc, 6, 5, 1, 1);
     },
     [](int x, int y) {
         if (!inside(x, y, 1, 1, 6, 5))
             return kWhite;
         return (x == 1 || x == 5 || y == 1 || y == 4) ? kRed : kBlue;
     }},
    {"Rectangle without a pen fills one pixel less",
     [](HDC dc) {
         SelectObject(dc, GetStockObject(NULL_PEN));
         useBrush(dc, CreateSolidBrush(kBlue));
         Rectangle(dc, 1, 1, 6, 5);
     },
     [](int x, int y) { return inside(x, y, 1, 1, 5, 4) ? kBlue : kWhite; }},
    {"Rectangle with a null brush draws only the outline",
     [](HDC dc) {
         usePen(dc, PS_SOLID, 1, kRed);
         SelectObject(dc, GetStockObject(NULL_BRUSH));
         Rectangle(dc, 0, 0, 3, 3);
     },
     [](int x, int y) { return inside(x, y, 0, 0, 3, 3) && !(x == 1 && y == 1) ? kRed : kWhite; }},
    {"LineTo right leaves out its end pixel",
     [](HDC dc) {
         usePen(dc, PS_SOLID, 1, kRed);
         MoveToEx(dc, 1, 2, nullptr);
         LineTo(dc, 6, 2);
     },
     [](int x, int y) { return y == 2 && x >= 1 && x <= 5 ? kRed : kWhite; }},
    {"LineTo left leaves out its end pixel",
     [](HDC dc) {
         usePen(dc, PS_SOLID, 1, kRed);
         MoveToEx(dc, 6, 2, nullptr);
         LineTo(dc, 1, 2);
     },
     [](int x, int y) { return y == 2 && x >= 2 && x <= 6 ? kRed : kWhite; }},
    {"LineTo down and diagonal",
     [](HDC dc) {
         usePen(dc, PS_SOLID, 1, kRed);
         MoveToEx(dc, 0, 0, nullptr);
         LineTo(dc, 0, 4);
         LineTo(dc, 4, 8); // continues from the current position
     },
     [](int x, int y) {
         if (x == 0 && y <= 3)
             return kRed;
         return (y >= 4 && y <= 7 && x == y - 4) ? kRed : kWhite;
     }},
    {"LineTo to its own start draws nothing",
     [](HDC dc) {
         usePen(dc, PS_SOLID, 1, kRed);
         MoveToEx(dc, 3, 3, nullptr);
         LineTo(dc, 3, 3);
     },
     [](int, int) { return kWhite; }},
    {"a dotted pen leaves gaps in transparent mode",
     [](HDC dc) {
         usePen(dc, PS_DOT, 1, kRed);
         SetBkMode(dc, TRANSPARENT);
         MoveToEx(dc, 0, 1, nullptr);
         LineTo(dc, 9, 1);
     },
     [](int x, int y) { return y == 1 && x < 9 && (x / 3) % 2 == 0 ? kRed : kWhite; }},
    {"a dotted pen fills its gaps with the background colour when opaque",
     [](HDC dc) {
         usePen(dc, PS_DOT, 1, kRed);
         SetBkMode(dc, OPAQUE);
         SetBkColor(dc, kBlue);
         MoveToEx(dc, 0, 1, nullptr);
         LineTo(dc, 9, 1);
     },
     [](int x, int y) {
         if (y != 1 || x >= 9)
             return kWhite;
         return (x / 3) % 2 == 0 ? kRed : kBlue;
     }},
    {"Polyline leaves out the last point",
     [](HDC dc) {
         usePen(dc, PS_SOLID, 1, kRed);
         const POINT pts[] = {{1, 1}, {4, 1}, {4, 4}};
         Polyline(dc, pts, 3);
     },
     [](int x, int y) { return (y == 1 && x >= 1 && x <= 3) || (x == 4 && y >= 1 && y <= 3) ? kRed : kWhite; }},
    {"Polygon: filled inside, outline through every corner",
     [](HDC dc) {
         usePen(dc, PS_SOLID, 1, kRed);
         useBrush(dc, CreateSolidBrush(kBlue));
         const POINT pts[] = {{1, 1}, {5, 1}, {5, 5}, {1, 5}};
         Polygon(dc, pts, 4);
     },
     [](int x, int y) {
         if (!inside(x, y, 1, 1, 6, 6))
             return kWhite;
         return (x == 1 || x == 5 || y == 1 || y == 5) ? kRed : kBlue;
     }},
    {"SetPixel sets one picture pixel",
     [](HDC dc) { SetPixel(dc, 2, 1, kBlue); },
     [](int x, int y) { return x == 2 && y == 1 ? kBlue : kWhite; }},
};

TEST(DeviceContext, GdiPixelRulesOnEveryKindOfSection)
{
    constexpr int W = 10, H = 9;
    for (const Target& target : kTargets) {
        for (const PixelRuleCase& c : kPixelRules) {
            SCOPED_TRACE(std::string(target.name) + ": " + c.name);
            Section s(target, W, H);
            ASSERT_NE(s.bmp, nullptr);
            whiteBackground(s.dc, W, H);
            c.draw(s.dc);
            EXPECT_TRUE(matches(s, c.expected));
        }
    }
}

TEST(DeviceContext, EllipseStaysInsideItsRectangleAndIsFilled)
{
    Section s({"24", 24, true}, 12, 10);
    whiteBackground(s.dc, 12, 10);
    usePen(s.dc, PS_SOLID, 1, kRed);
    useBrush(s.dc, CreateSolidBrush(kBlue));
    Ellipse(s.dc, 1, 1, 11, 9);
    EXPECT_TRUE(matches(s, [&](int x, int y) {
        const COLORREF c = s.at(x, y);
        if (!inside(x, y, 1, 1, 11, 9))
            return kWhite; // nothing outside, right and bottom edges excluded
        return c;
    }));
    EXPECT_EQ(s.at(6, 5), kBlue);  // centre filled
    EXPECT_EQ(s.at(6, 1), kRed);   // top of the outline
    EXPECT_EQ(s.at(6, 8), kRed);   // bottom of the outline, inside the excluded edge
    EXPECT_EQ(s.at(1, 1), kWhite); // corners stay out
}

// Wide scans: coordinates beyond 32767 draw where they say.
TEST(DeviceContext, DrawsBeyond32767Pixels)
{
    constexpr int W = 40000, H = 4;
    Section s({"24", 24, true}, W, H);
    ASSERT_NE(s.bmp, nullptr);
    whiteBackground(s.dc, W, H);
    usePen(s.dc, PS_SOLID, 1, kRed);
    MoveToEx(s.dc, 32000, 1, nullptr);
    LineTo(s.dc, W, 1);
    HBRUSH b = CreateSolidBrush(kBlue);
    RECT r{W - 5, 2, W, 4};
    FillRect(s.dc, &r, b);
    DeleteObject(b);
    EXPECT_TRUE(matches(s, [](int x, int y) {
        if (y == 1 && x >= 32000)
            return kRed;
        return (y >= 2 && x >= W - 5) ? kBlue : kWhite;
    }));
}

// Ink of a picture: the bounding box of the pixels that differ from white.
QRect inkBox(const Section& s)
{
    QRect box;
    for (int y = 0; y < s.bmp->absHeight(); ++y)
        for (int x = 0; x < s.bmp->width(); ++x)
            if (s.at(x, y) != kWhite)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(DeviceContext, TextCellStartsAtTheGivenPointAndEscapementTurnsIt)
{
    LOGFONT lf;
    lf.lfHeight = -20;
    lf.lfFaceName = QStringLiteral("Tahoma");
    struct Case {
        int escapement;
        bool tallerThanWide;
    } cases[] = {{0, false}, {900, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.escapement);
        Section s({"24", 24, true}, 120, 120);
        whiteBackground(s.dc, 120, 120);
        lf.lfEscapement = c.escapement;
        DeleteObject(SelectObject(s.dc, CreateFontIndirect(lf)));
        SetBkMode(s.dc, TRANSPARENT);
        SetTextColor(s.dc, kBlack);
        const SIZE extent = s.dc->GetTextExtent(QStringLiteral("HHHH"));
        TextOut(s.dc, 50, 60, QStringLiteral("HHHH"));
        const QRect ink = inkBox(s);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_EQ(ink.width() > ink.height(), !c.tallerThanWide);
        if (c.escapement == 0) {
            // Upright: the cell's top-left is (50, 60); the ink lies inside the cell.
            EXPECT_GE(ink.left(), 50);
            EXPECT_GE(ink.top(), 60);
            EXPECT_LE(ink.right(), 50 + extent.cx);
            EXPECT_LE(ink.bottom(), 60 + extent.cy);
        } else {
            // Turned a quarter counter-clockwise about (50, 60): the text runs upward from there.
            EXPECT_LE(ink.bottom(), 60);
            EXPECT_GE(ink.top(), 60 - extent.cx - 1);
            EXPECT_GE(ink.left(), 50);
            EXPECT_LE(ink.right(), 50 + extent.cy);
        }
    }
}

TEST(DeviceContext, OpaqueTextFillsItsCellWithTheBackground)
{
    Section s({"24", 24, true}, 80, 40);
    whiteBackground(s.dc, 80, 40);
    SetBkMode(s.dc, OPAQUE);
    SetBkColor(s.dc, kBlue);
    SetTextColor(s.dc, kRed);
    TextOut(s.dc, 3, 4, QStringLiteral("ab"));
    const SIZE e = s.dc->GetTextExtent(QStringLiteral("ab"));
    EXPECT_EQ(s.at(3, 4), kBlue);
    EXPECT_EQ(s.at(3 + e.cx - 1, 4 + e.cy - 1), kBlue);
    EXPECT_EQ(s.at(3 + e.cx, 4), kWhite);
    EXPECT_EQ(s.at(3, 4 + e.cy), kWhite);
}

TEST(DeviceContext, DrawTextFlags)
{
    Section s({"24", 24, true}, 100, 40);
    const QString text = QStringLiteral("Wood rings");
    const SIZE e = s.dc->GetTextExtent(text);

    RECT calc{10, 5, 10, 5};
    const int h = DrawText(s.dc, text, &calc, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(h, e.cy);
    EXPECT_EQ(calc.right - calc.left, e.cx);
    EXPECT_EQ(calc.bottom - calc.top, e.cy);

    RECT two{0, 0, 1000, 0};
    EXPECT_EQ(DrawText(s.dc, QStringLiteral("a\r\nb"), &two, DT_CALCRECT), 2 * e.cy);
    RECT wrapped{0, 0, e.cx - 1, 0}; // too narrow for both words
    EXPECT_EQ(DrawText(s.dc, text, &wrapped, DT_CALCRECT | DT_WORDBREAK), 2 * e.cy);
    RECT narrow{0, 0, e.cx / 2, 0};
    DrawText(s.dc, text, &narrow, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
    EXPECT_LE(narrow.right, e.cx / 2);
    RECT prefixed{0, 0, 0, 0}, plain{0, 0, 0, 0};
    DrawText(s.dc, QStringLiteral("&File"), &prefixed, DT_CALCRECT | DT_SINGLELINE);
    DrawText(s.dc, QStringLiteral("File"), &plain, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(prefixed.right, plain.right);

    // Right-aligned, vertically centred, clipped to the box.
    whiteBackground(s.dc, 100, 40);
    SetBkMode(s.dc, TRANSPARENT);
    RECT box{20, 10, 90, 30};
    DrawText(s.dc, QStringLiteral("WWW"), &box, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    const QRect ink = inkBox(s);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LE(ink.right(), 89);
    EXPECT_GE(ink.right(), 85);
    EXPECT_GE(ink.top(), 10);
    EXPECT_LE(ink.bottom(), 29);
}

TEST(DeviceContext, BlitsKeepThePictureUpright)
{
    // Source: bottom-up, top row red, the rest blue.
    Section src({"24", 24, true}, 4, 3);
    whiteBackground(src.dc, 4, 3);
    HBRUSH red = CreateSolidBrush(kRed), blue = CreateSolidBrush(kBlue);
    RECT top{0, 0, 4, 1}, rest{0, 1, 4, 3};
    FillRect(src.dc, &top, red);
    FillRect(src.dc, &rest, blue);
    DeleteObject(red);
    DeleteObject(blue);

    Section dst({"32", 32, false}, 10, 8);
    whiteBackground(dst.dc, 10, 8);
    ASSERT_TRUE(BitBlt(dst.dc, 1, 1, 4, 3, src.dc, 0, 0, SRCCOPY));
    ASSERT_TRUE(StretchBlt(dst.dc, 5, 2, 4, 6, src.dc, 0, 0, 2, 3, SRCCOPY)); // 2x, nearest pixels
    EXPECT_TRUE(matches(dst, [](int x, int y) {
        if (inside(x, y, 1, 1, 5, 4))
            return y == 1 ? kRed : kBlue;
        if (inside(x, y, 5, 2, 9, 8))
            return y < 4 ? kRed : kBlue;
        return kWhite;
    }));
    EXPECT_FALSE(BitBlt(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, 0x00EE0086)); // only SRCCOPY
}

TEST(DeviceContext, HandlesBehaveLikeGdiHandles)
{
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_FALSE(DeleteObject(pen)) << "a second delete of the same handle is refused";
    EXPECT_FALSE(DeleteObject(GetStockObject(BLACK_PEN)));
    EXPECT_FALSE(DeleteObject(nullptr));

    // A section selected into a context cannot go; once deselected it can.
    Section s({"24", 24, true}, 2, 2);
    EXPECT_FALSE(DeleteObject(s.bmp));
    HBITMAP kept = s.dc->SelectObject(static_cast<HBITMAP>(nullptr));
    EXPECT_EQ(kept, s.bmp);
    s.dc->SelectObject(kept);

    // Deleting a selected pen leaves the context drawing with it, and no longer reporting it.
    HPEN red = CreatePen(PS_SOLID, 1, kRed);
    HGDIOBJ previous = SelectObject(s.dc, red);
    EXPECT_EQ(previous, GetStockObject(BLACK_PEN));
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_EQ(s.dc->currentPen(), nullptr);
    MoveToEx(s.dc, 0, 0, nullptr);
    LineTo(s.dc, 2, 0);
    EXPECT_EQ(s.at(1, 0), kRed);

    // Selections are counted per handle: a section held by two contexts goes only when both let
    // it go, by deselecting or by being deleted; a pen held by two is taken out of both.
    HDC a = CreateCompatibleDC(nullptr);
    HDC b = CreateCompatibleDC(nullptr);
    HBITMAP shared = CreateCompatibleBitmap(a, 2, 2);
    a->SelectObject(shared);
    b->SelectObject(shared);
    a->SelectObject(shared); // selecting again counts once
    EXPECT_FALSE(DeleteObject(shared));
    a->SelectObject(static_cast<HBITMAP>(nullptr));
    EXPECT_FALSE(DeleteObject(shared)) << "still selected into the second context";
    DeleteDC(b);
    EXPECT_TRUE(DeleteObject(shared));
    HPEN green = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
    HDC c = CreateCompatibleDC(nullptr);
    SelectObject(a, green);
    SelectObject(c, green);
    EXPECT_TRUE(DeleteObject(green));
    EXPECT_EQ(a->currentPen(), nullptr);
    EXPECT_EQ(c->currentPen(), nullptr);
    HPEN blue = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    SelectObject(a, blue);
    SelectObject(a, GetStockObject(BLACK_PEN));
    EXPECT_TRUE(DeleteObject(blue)) << "no longer selected";
    EXPECT_EQ(a->currentPen(), GetStockObject(BLACK_PEN));
    DeleteDC(a);
    DeleteDC(c);

    // The face name keeps at most 31 characters, as GDI's field.
    LOGFONT lf;
    lf.lfFaceName = QString(40, QLatin1Char('x'));
    HFONT f = CreateFontIndirect(lf);
    EXPECT_EQ(f->log.lfFaceName.size(), 31);
    DeleteObject(f);

    // A context without a target draws nothing and says so.
    HDC empty = CreateCompatibleDC(nullptr);
    EXPECT_FALSE(LineTo(empty, 3, 3));
    EXPECT_EQ(GetPixel(empty, 0, 0), CLR_INVALID);
    DeleteDC(empty);
    EXPECT_FALSE(LineTo(nullptr, 1, 1));
}

TEST(DeviceContext, PaletteTargetsTakeTheNearestEntry)
{
    Section s({"8", 8, true}, 3, 2);
    EXPECT_EQ(SetPixel(s.dc, 1, 0, RGB(250, 10, 10)), kRed);
    EXPECT_EQ(s.bmp->bits()[s.bmp->bytesPerLine() + 1], 2); // picture row 0 is memory row 1
    EXPECT_EQ(GetPixel(s.dc, 1, 0), kRed);
    EXPECT_EQ(GetPixel(s.dc, 3, 0), CLR_INVALID);
}

TEST(DeviceContext, PaintsThroughAWindowPainter)
{
    QImage window(8, 6, QImage::Format_RGB32);
    window.fill(Qt::white);
    {
        QPainter painter(&window);
        DeviceContext dc(&painter);
        HBRUSH b = CreateSolidBrush(kBlue);
        RECT r{1, 1, 4, 3};
        dc.FillRect(r, b);
        DeleteObject(b);
    }
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(window.pixel(x, y), inside(x, y, 1, 1, 4, 3) ? qRgb(0, 0, 255) : qRgb(255, 255, 255))
                << "row " << y << ", column " << x;
}

TEST(DeviceContext, DibImageSharesTheSectionsMemory)
{
    for (const Target& t : kTargets) {
        SCOPED_TRACE(t.name);
        Section s(t, 5, 3);
        const QImage view = DibImage(s.bmp->format(), s.bmp->bits());
        ASSERT_FALSE(view.isNull());
        EXPECT_EQ(view.constBits(), s.bmp->bits());
        EXPECT_EQ(view.bytesPerLine(), s.bmp->bytesPerLine());
    }
    DibFormat four;
    four.width = 3;
    four.height = 1;
    four.bitCount = 4;
    uchar bytes[4] = {};
    EXPECT_TRUE(DibImage(four, bytes).isNull()); // no QImage format holds 4 bits
}


// ---- clipping ---------------------------------------------------------------------------------------
// Drawing steps only what can be seen: a window into a picture shows exactly that part of the
// picture drawn whole, at every pen style, width, background mode and brush, for shapes that
// cross the window, touch it, lie inside it or miss it.

// The whole picture is 48 x 40; the window shows its columns 16 .. 39 and rows 16 .. 31. Offsets
// and sizes are multiples of 8, so hatches line up in both.
constexpr int kWholeW = 48, kWholeH = 40;
const QRect kWindow(16, 16, 24, 16);

// Lines and outlines are stepped here; fills and curves are the toolkit's, whose rasterizer
// rounds a flipped picture differently and starts dashes of curves afresh at a clip edge: those
// are compared in one row order and, for curves, with solid pens.
enum class Drawn { Stepped, Filled, Curve };

struct ClipShape {
    const char* name;
    std::function<void(HDC, int dx, int dy)> draw; // drawn with every point moved by (-dx, -dy)
    Drawn drawn = Drawn::Stepped;
};

std::function<void(HDC, int, int)> segment(int x1, int y1, int x2, int y2)
{
    return [=](HDC dc, int dx, int dy) {
        MoveToEx(dc, x1 - dx, y1 - dy, nullptr);
        LineTo(dc, x2 - dx, y2 - dy);
    };
}
std::function<void(HDC, int, int)> rectangle(int l, int t, int r, int b)
{
    return [=](HDC dc, int dx, int dy) { Rectangle(dc, l - dx, t - dy, r - dx, b - dy); };
}

const ClipShape kClipShapes[] = {
    {"line crossing horizontally", segment(2, 20, 46, 20)},
    {"line crossing diagonally", segment(3, 5, 45, 38)},
    {"steep line crossing", segment(30, 1, 22, 39)},
    {"line crossing backwards", segment(46, 30, 2, 18)},
    {"line through the top-left corner", segment(10, 22, 22, 10)},
    {"line ending on the left edge", segment(4, 24, 16, 24)},
    {"line ending one short of the left edge", segment(4, 24, 15, 24)},
    {"line starting on the right edge", segment(39, 20, 47, 30)},
    {"line inside", segment(20, 18, 35, 29)},
    {"line missing, its box overlapping", segment(2, 29, 14, 39)},
    {"line outside", segment(1, 1, 12, 6)},
    {"rectangle around the window", rectangle(4, 6, 44, 38)},
    {"rectangle over a corner", rectangle(24, 20, 46, 39)},
    {"rectangle inside", rectangle(20, 18, 30, 26)},
    {"rectangle ending at the window", rectangle(2, 2, 17, 17)},
    {"rectangle touching from outside", rectangle(2, 2, 16, 16)},
    {"rectangle one pixel wide", rectangle(25, 2, 26, 38)},
    {"ellipse crossing", [](HDC dc, int dx, int dy) { Ellipse(dc, 8 - dx, 8 - dy, 40 - dx, 36 - dy); }, Drawn::Curve},
    {"polyline crossing",
     [](HDC dc, int dx, int dy) {
         const POINT pts[] = {{2 - dx, 18 - dy}, {30 - dx, 24 - dy}, {20 - dx, 38 - dy}, {45 - dx, 2 - dy}};
         Polyline(dc, pts, 4);
     }},
    {"polygon crossing",
     [](HDC dc, int dx, int dy) {
         const POINT pts[] = {{10 - dx, 10 - dy}, {44 - dx, 22 - dy}, {18 - dx, 36 - dy}};
         Polygon(dc, pts, 3);
     },
     Drawn::Filled},
};

struct ClipTools {
    int style, width, bkMode;
    int brush; // 0 none, 1 solid, 2 hatched
};

void selectTools(HDC dc, const ClipTools& t)
{
    usePen(dc, t.style, t.width, kRed);
    if (t.brush == 0)
        SelectObject(dc, GetStockObject(NULL_BRUSH));
    else
        useBrush(dc, t.brush == 1 ? CreateSolidBrush(kBlue) : CreateHatchBrush(HS_DIAGCROSS, kBlue));
    SetBkMode(dc, t.bkMode);
    SetBkColor(dc, kBlack);
}

std::vector<ClipTools> everyTool()
{
    std::vector<ClipTools> all;
    for (int style : {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME})
        for (int width : {1, 3})
            for (int bk : {TRANSPARENT, OPAQUE})
                for (int brush : {0, 1, 2})
                    all.push_back({style, width, bk, brush});
    return all;
}

QImage whiteImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

QImage sectionPicture(const Section& s)
{
    QImage img(s.bmp->width(), s.bmp->absHeight(), QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const COLORREF c = s.at(x, y);
            img.setPixel(x, y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
        }
    return img;
}

::testing::AssertionResult samePixels(const QImage& got, const QImage& want)
{
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x)
            if ((got.pixel(x, y) & 0xFFFFFF) != (want.pixel(x, y) & 0xFFFFFF))
                return ::testing::AssertionFailure() << "first difference at row " << y << ", column " << x << ": got "
                                                     << std::hex << (got.pixel(x, y) & 0xFFFFFF) << ", expected "
                                                     << (want.pixel(x, y) & 0xFFFFFF);
    return ::testing::AssertionSuccess();
}

TEST(DeviceContext, ClippedDrawingEqualsThatPartOfTheWholeDrawing)
{
    for (const ClipTools& t : everyTool()) {
        for (const ClipShape& shape : kClipShapes) {
            if (shape.drawn == Drawn::Curve && t.width == 1 && t.style >= PS_DASH && t.style <= PS_DASHDOTDOT)
                continue;
            SCOPED_TRACE(testing::Message() << shape.name << ", style " << t.style << ", width " << t.width
                                            << (t.bkMode == OPAQUE ? ", opaque" : ", transparent") << ", brush "
                                            << t.brush);
            // The whole picture, drawn where nothing is cut off.
            QImage whole = whiteImage(kWholeW, kWholeH);
            {
                QPainter painter(&whole);
                DeviceContext dc(&painter);
                selectTools(&dc, t);
                shape.draw(&dc, 0, 0);
                releaseTools(&dc);
            }
            const QImage want = whole.copy(kWindow);

            // A painter on a picture the window's size, its coordinates moved.
            QImage moved = whiteImage(kWindow.width(), kWindow.height());
            {
                QPainter painter(&moved);
                painter.translate(-kWindow.x(), -kWindow.y());
                DeviceContext dc(&painter);
                selectTools(&dc, t);
                shape.draw(&dc, 0, 0);
                releaseTools(&dc);
            }
            EXPECT_TRUE(samePixels(moved, want)) << "moved painter";

            // A painter clipped to the window: nothing outside changes.
            QImage clipped = whiteImage(kWholeW, kWholeH);
            {
                QPainter painter(&clipped);
                painter.setClipRect(kWindow);
                DeviceContext dc(&painter);
                selectTools(&dc, t);
                shape.draw(&dc, 0, 0);
                releaseTools(&dc);
            }
            QImage wantClipped = whiteImage(kWholeW, kWholeH);
            {
                QPainter painter(&wantClipped);
                painter.drawImage(kWindow.topLeft(), want);
            }
            EXPECT_TRUE(samePixels(clipped, wantClipped)) << "clipped painter";

            // Sections of the window's size in both row orders, the points moved instead.
            for (const Target& target : {kTargets[0], kTargets[1]}) {
                if (target.bottomUp && shape.drawn != Drawn::Stepped)
                    continue;
                Section s(target, kWindow.width(), kWindow.height());
                whiteBackground(s.dc, kWindow.width(), kWindow.height());
                selectTools(s.dc, t);
                shape.draw(s.dc, kWindow.x(), kWindow.y());
                EXPECT_TRUE(samePixels(sectionPicture(s), want)) << target.name;
            }
        }
    }
}


// GDI's pixel of step i of a 1-pixel line, worked out on its own: the major coordinate moves one
// pixel a step, the minor one is rounded half up, in 128 bits.
QPoint gdiLinePixel(qint64 x1, qint64 y1, qint64 x2, qint64 y2, qint64 i)
{
    const qint64 dx = x2 - x1, dy = y2 - y1;
    const qint64 adx = std::llabs(dx), ady = std::llabs(dy);
    auto roundHalfUp = [](__int128 n, __int128 d) {
        const __int128 num = 2 * n + d, den = 2 * d;
        return qint64(num >= 0 ? num / den : -((-num + den - 1) / den));
    };
    if (adx >= ady)
        return QPoint(int(x1 + (dx < 0 ? -i : i)), int(y1 + roundHalfUp(__int128(dy) * i, adx)));
    return QPoint(int(x1 + roundHalfUp(__int128(dx) * i, ady)), int(y1 + (dy < 0 ? -i : i)));
}

// Segments billions of pixels long cost what their visible part costs, and show the pixels GDI
// would: the expected picture visits only the steps whose major coordinate lies in the target.
TEST(DeviceContext, FarEndsStepOnlyTheVisiblePixels)
{
    constexpr int W = 24, H = 16;
    constexpr int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
    struct Case {
        const char* name;
        int x1, y1, x2, y2;
    } cases[] = {
        {"shallow, both ends far", -2000000000, 5, 2000000000, 9},
        {"steep, both ends far", 10, -2147483000, 12, 2147483000},
        {"corner to corner of the int range", lo, lo, hi, hi},
        {"from far away into the target", -2000000000, 3, 5, 3},
        {"backwards from far away", 2100000000, 14, 7, 2},
        {"far away above the target", -2000000000, -2000000000, 2000000000, -1000000000},
    };
    for (const int style : {PS_SOLID, PS_DASHDOT}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", style " << style);
            QImage img = whiteImage(W, H);
            QImage want = whiteImage(W, H);
            QPainter painter(&img);
            DeviceContext dc(&painter);
            usePen(&dc, style, 1, kRed);
            SetBkMode(&dc, TRANSPARENT);
            MoveToEx(&dc, c.x1, c.y1, nullptr);
            LineTo(&dc, c.x2, c.y2);
            painter.end();
            EXPECT_LE(dc.pixelsStepped(), W + H + 4);

            const qint64 dx = qint64(c.x2) - c.x1, dy = qint64(c.y2) - c.y1;
            const bool xMajor = std::llabs(dx) >= std::llabs(dy);
            const qint64 from = xMajor ? c.x1 : c.y1, size = xMajor ? W : H;
            const int sign = (xMajor ? dx : dy) < 0 ? -1 : 1;
            const qint64 steps = std::max(std::llabs(dx), std::llabs(dy));
            // Dash-dot: 9 on, 6 off, 3 on, 6 off, counted from the line's start.
            auto on = [style](qint64 i) {
                const qint64 p = i % 24;
                return style == PS_SOLID || p < 9 || (p >= 15 && p < 18);
            };
            for (qint64 m = 0; m < size; ++m) {
                const qint64 i = (m - from) * sign;
                if (i < 0 || i >= steps || !on(i))
                    continue;
                const QPoint px = gdiLinePixel(c.x1, c.y1, c.x2, c.y2, i);
                if (want.valid(px))
                    want.setPixel(px, qRgb(255, 0, 0));
            }
            EXPECT_TRUE(samePixels(img, want));
            releaseTools(&dc);
        }
    }

    // Outlines of far rectangles: the sides in sight, the fill between them.
    for (const int width : {1, 3}) {
        SCOPED_TRACE(testing::Message() << "rectangle, pen width " << width);
        QImage img = whiteImage(W, H);
        QPainter painter(&img);
        DeviceContext dc(&painter);
        usePen(&dc, PS_SOLID, width, kRed);
        useBrush(&dc, CreateSolidBrush(kBlue));
        Rectangle(&dc, -2000000000, 4, 2000000000, 11);
        painter.end();
        EXPECT_LE(dc.pixelsStepped(), 2 * (W + H + 4));
        const int half = width / 2;
        EXPECT_TRUE(samePixels(img, [&] {
            QImage want = whiteImage(W, H);
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    if (std::abs(y - 4) <= half || std::abs(y - 10) <= half)
                        want.setPixel(x, y, qRgb(255, 0, 0));
                    else if (y > 4 && y < 10)
                        want.setPixel(x, y, qRgb(0, 0, 255));
            return want;
        }()));
        releaseTools(&dc);
    }
}

// Pen widths come from project files: the widest pen's reach must neither overflow nor cull the line.
TEST(DeviceContext, TheWidestPenStillDraws)
{
    constexpr int W = 24, H = 16;
    QImage img = whiteImage(W, H);
    QPainter painter(&img);
    DeviceContext dc(&painter);
    usePen(&dc, PS_SOLID, std::numeric_limits<int>::max(), kRed);
    MoveToEx(&dc, 2, 8, nullptr);
    LineTo(&dc, 20, 8);
    painter.end();
    EXPECT_EQ(img.pixel(10, 8), qRgb(255, 0, 0));
    releaseTools(&dc);
}

// 1-pixel lines go straight into the pixels of RGB32 pictures and through one fill per run
// elsewhere: a fan of lines in every direction, at every style and background mode, comes out
// the same both ways, upright and in bottom-up sections.
TEST(DeviceContext, StraightPixelWritesMatchTheFilledRuns)
{
    constexpr int W = 41, H = 37;
    const QPoint centre(20, 18);
    auto fan = [&](HDC dc) {
        for (int angle = 0; angle < 360; angle += 7) {
            const double a = angle * 3.14159265358979 / 180;
            const int length = 5 + angle % 23;
            MoveToEx(dc, centre.x(), centre.y(), nullptr);
            LineTo(dc, centre.x() + int(std::lround(length * std::cos(a))), centre.y() + int(std::lround(length * std::sin(a))));
        }
        Rectangle(dc, 2, 3, 12, 30); // corners and the dash phase around them
        Rectangle(dc, 30, 1, 31, 20);
    };
    for (int style : {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT}) {
        for (int bk : {TRANSPARENT, OPAQUE}) {
            SCOPED_TRACE(testing::Message() << "style " << style << (bk == OPAQUE ? ", opaque" : ", transparent"));
            auto draw = [&](QImage& img) {
                img.fill(Qt::white);
                QPainter painter(&img);
                DeviceContext dc(&painter);
                usePen(&dc, style, 1, kRed);
                SelectObject(&dc, GetStockObject(NULL_BRUSH));
                SetBkMode(&dc, bk);
                SetBkColor(&dc, kBlue);
                fan(&dc);
                releaseTools(&dc);
            };
            QImage straight(W, H, QImage::Format_RGB32), filled(W, H, QImage::Format_BGR888);
            draw(straight);
            draw(filled);
            EXPECT_TRUE(samePixels(straight, filled.convertToFormat(QImage::Format_RGB32))) << "upright";

            Section flipped32({"32-bit bottom-up", 32, true}, W, H), flipped24({"24-bit bottom-up", 24, true}, W, H);
            for (Section* s : {&flipped32, &flipped24}) {
                whiteBackground(s->dc, W, H);
                usePen(s->dc, style, 1, kRed);
                SelectObject(s->dc, GetStockObject(NULL_BRUSH));
                SetBkMode(s->dc, bk);
                SetBkColor(s->dc, kBlue);
                fan(s->dc);
            }
            EXPECT_TRUE(samePixels(sectionPicture(flipped32), sectionPicture(flipped24))) << "bottom-up";
            EXPECT_TRUE(samePixels(sectionPicture(flipped32), straight)) << "bottom-up against upright";
        }
    }
}


// Upright texts are laid out once and kept; they draw the pixels the painter's own text drawing
// gives (DrawText's road), and measure as it does, for every face, size, weight and quality.
TEST(DeviceContext, KeptTextLayoutsDrawLikeTheToolkitsText)
{
    struct FontCase {
        const char* face;
        int height, weight, quality;
        bool italic;
    } fonts[] = {
        {"Tahoma", -16, 0, 0, false}, {"Tahoma", -11, 700, 0, false}, {"Consolas", -13, 0, 0, true},
        {"DejaVu Sans", 20, 0, 3, false}, {"Tahoma", 0, 0, 0, false},
    };
    const QString texts[] = {QStringLiteral("12.34"), QStringLiteral("1.23E4"), QStringLiteral("M 17 Sapwood border"),
                             QStringLiteral("Größe ½"), QStringLiteral("0")};
    for (const FontCase& f : fonts) {
        LOGFONT lf;
        lf.lfFaceName = QString::fromLatin1(f.face);
        lf.lfHeight = f.height;
        lf.lfWeight = f.weight;
        lf.lfQuality = f.quality;
        lf.lfItalic = f.italic;
        for (const QString& text : texts) {
            for (int bk : {TRANSPARENT, OPAQUE}) {
                SCOPED_TRACE(testing::Message() << f.face << " " << f.height << ", '" << text.toStdString() << "'"
                                                << (bk == OPAQUE ? ", opaque" : ", transparent"));
                auto draw = [&](bool kept) {
                    QImage img = whiteImage(220, 40);
                    QPainter painter(&img);
                    DeviceContext dc(&painter);
                    DeleteObject(SelectObject(&dc, CreateFontIndirect(lf)));
                    SetBkMode(&dc, bk);
                    SetBkColor(&dc, kBlue);
                    SetTextColor(&dc, kRed);
                    if (kept) {
                        TextOut(&dc, 7, 5, text);
                        TextOut(&dc, 7, 5, text); // the second time from the kept layout
                    } else {
                        RECT box{7, 5, 1000, 1000};
                        DrawText(&dc, text, &box, DT_NOCLIP | DT_SINGLELINE | DT_NOPREFIX);
                        DrawText(&dc, text, &box, DT_NOCLIP | DT_SINGLELINE | DT_NOPREFIX);
                    }
                    RECT calc{0, 0, 0, 0};
                    DrawText(&dc, text, &calc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
                    EXPECT_EQ(dc.GetTextExtent(text).cx, calc.right);
                    releaseTools(&dc);
                    return img;
                };
                const QImage kept = draw(true);
                EXPECT_NE(kept, whiteImage(220, 40));
                EXPECT_TRUE(samePixels(kept, draw(false)));
            }
        }
    }
}

// Contexts share the kept texts: while others add texts and fonts (and the store is let go when
// full), every context still measures each text as it did the first time.
TEST(DeviceContext, KeptTextsStayRightWhileOtherContextsAddTexts)
{
    QImage img = whiteImage(50, 20);
    QPainter painter(&img);
    DeviceContext a(&painter), b(&painter), c(&painter), twin(&painter);
    auto font = [](HDC dc, int height, int weight) {
        LOGFONT lf;
        lf.lfFaceName = QStringLiteral("Tahoma");
        lf.lfHeight = height;
        lf.lfWeight = weight;
        DeleteObject(SelectObject(dc, CreateFontIndirect(lf)));
    };
    font(&a, -16, 0);
    font(&twin, -16, 0); // shares a's kept texts
    font(&b, -11, 700);
    std::map<QString, int> widthA, widthB;
    auto text = [](int i) { return QString(i % 23 + 1, QLatin1Char('W')) + QString::number(i); };
    for (int i = 0; i < 22000; ++i) {
        const QString t = text(i), earlier = text(i / 2);
        widthA.emplace(t, a.GetTextExtent(t).cx);
        ASSERT_EQ(a.GetTextExtent(t).cx, widthA[t]) << "the same text asked again, " << i;
        twin.GetTextExtent(QString::number(-i)); // added where a's texts are kept
        ASSERT_EQ(a.GetTextExtent(t).cx, widthA[t]) << "after its twin added a text, " << i;
        widthB.emplace(t, b.GetTextExtent(t).cx);
        if (i % 500 == 0)
            font(&c, -8 - i / 500, 0); // a new font among the kept ones
        ASSERT_EQ(a.GetTextExtent(earlier).cx, widthA[earlier]) << "after other texts were added, " << i;
        ASSERT_EQ(b.GetTextExtent(earlier).cx, widthB[earlier]) << "after other texts were added, " << i;
    }
    EXPECT_NE(widthA[text(100)], widthB[text(100)]) << "the fonts measure differently";
    releaseTools(&a);
    releaseTools(&b);
    releaseTools(&c);
    releaseTools(&twin);
}

// ---- drawing records ----------------------------------------------------------------------------

// One drawing call of a random scene, with the tools it is made with.
struct SceneCall {
    int kind; // 0 line, 1 rectangle, 2 ellipse, 3 polygon, 4 polyline, 5 fill, 6 text, 7 pixel, 8 image, 9 text box
    int x1, y1, x2, y2, x3, y3;
    int penStyle, penWidth, brushKind, hatch, escapement, bkMode;
    COLORREF penColour, brushColour, textColour, bkColour;
    int textIndex;
};

SceneCall randomCall(std::mt19937& rng, int w, int h)
{
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const COLORREF colours[] = {kRed, kBlue, kBlack, RGB(0, 160, 0), RGB(200, 200, 0)};
    SceneCall c;
    c.kind = pick(10);
    c.x1 = pick(w + 20) - 10;
    c.y1 = pick(h + 20) - 10;
    c.x2 = pick(w + 20) - 10;
    c.y2 = pick(h + 20) - 10;
    c.x3 = pick(w + 20) - 10;
    c.y3 = pick(h + 20) - 10;
    c.penStyle = pick(7);
    c.penWidth = pick(4);
    c.brushKind = pick(3);
    c.hatch = pick(6);
    c.escapement = pick(30) == 0 ? 450 : 0;
    c.bkMode = pick(2) ? OPAQUE : TRANSPARENT;
    c.penColour = colours[pick(5)];
    c.brushColour = colours[pick(5)];
    c.textColour = colours[pick(5)];
    c.bkColour = colours[pick(5)];
    c.textIndex = pick(3);
    return c;
}

const QImage& sceneImage()
{
    static const QImage image = [] {
        QImage img(7, 5, QImage::Format_RGB32);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
                img.setPixel(x, y, qRgb(x * 30, y * 50, 90));
        return img;
    }();
    return image;
}

void drawCall(HDC dc, const SceneCall& c)
{
    usePen(dc, c.penStyle, c.penWidth, c.penColour);
    if (c.brushKind == 0)
        SelectObject(dc, GetStockObject(NULL_BRUSH));
    else
        useBrush(dc, c.brushKind == 1 ? CreateSolidBrush(c.brushColour) : CreateHatchBrush(c.hatch, c.brushColour));
    LOGFONT lf;
    lf.lfHeight = -12;
    lf.lfEscapement = c.escapement;
    lf.lfFaceName = QStringLiteral("Tahoma");
    DeleteObject(SelectObject(dc, CreateFontIndirect(lf)));
    SetTextColor(dc, c.textColour);
    SetBkColor(dc, c.bkColour);
    SetBkMode(dc, c.bkMode);
    const QString texts[] = {QStringLiteral("12.34"), QStringLiteral("Sapwood"), QStringLiteral("W")};
    const POINT points[] = {{c.x1, c.y1}, {c.x2, c.y2}, {c.x3, c.y3}};
    switch (c.kind) {
    case 0:
        MoveToEx(dc, c.x1, c.y1, nullptr);
        LineTo(dc, c.x2, c.y2);
        break;
    case 1:
        Rectangle(dc, c.x1, c.y1, c.x2, c.y2);
        break;
    case 2:
        Ellipse(dc, c.x1, c.y1, c.x2, c.y2);
        break;
    case 3:
        Polygon(dc, points, 3);
        break;
    case 4:
        Polyline(dc, points, 3);
        break;
    case 5: {
        HBRUSH b = CreateHatchBrush(c.hatch, c.brushColour);
        RECT r{std::min(c.x1, c.x2), std::min(c.y1, c.y2), std::max(c.x1, c.x2), std::max(c.y1, c.y2)};
        FillRect(dc, &r, b);
        DeleteObject(b);
        break;
    }
    case 6:
        TextOut(dc, c.x1, c.y1, texts[c.textIndex]);
        break;
    case 7:
        SetPixel(dc, c.x1, c.y1, c.penColour);
        break;
    case 8:
        dc->drawImage(QRect(c.x1, c.y1, 14, 5), sceneImage(), QRect(0, 0, 7, 5));
        break;
    case 9: {
        RECT box{c.x1, c.y1, c.x1 + 30, c.y1 + 16};
        DrawText(dc, texts[c.textIndex], &box, DT_SINGLELINE);
        break;
    }
    }
}

QImage drawScene(const std::vector<SceneCall>& scene, int w, int h)
{
    QImage img = whiteImage(w, h);
    QPainter painter(&img);
    DeviceContext dc(&painter);
    for (const SceneCall& c : scene)
        drawCall(&dc, c);
    releaseTools(&dc);
    return img;
}

DrawingRecord recordScene(const std::vector<SceneCall>& scene)
{
    DrawingRecord record;
    DeviceContext dc;
    dc.setRecord(&record);
    for (const SceneCall& c : scene)
        drawCall(&dc, c);
    releaseTools(&dc);
    return record;
}

// A recorded scene replays to the picture drawn directly. A changed scene (calls added, dropped,
// altered, moved) replayed only where the two records differ, over the old picture, gives the
// new picture exactly.
TEST(DeviceContext, RecordsReplayAndRedrawOnlyWhereTheyDiffer)
{
    constexpr int W = 64, H = 48;
    std::mt19937 rng(20240611);
    int turned = 0;
    for (int trial = 0; trial < 60; ++trial) {
        SCOPED_TRACE(testing::Message() << "trial " << trial);
        std::vector<SceneCall> before;
        for (int n = 0; n < 40; ++n)
            before.push_back(randomCall(rng, W, H));
        std::vector<SceneCall> after = before;
        for (int change = 0; change < 1 + int(rng() % 4); ++change) {
            const size_t at = rng() % after.size();
            switch (rng() % 4) {
            case 0:
                after.insert(after.begin() + at, randomCall(rng, W, H));
                break;
            case 1:
                after.erase(after.begin() + at);
                break;
            case 2:
                after[at].x2 += 3;
                after[at].penColour = kBlack;
                break;
            default:
                std::swap(after[at], after[(at + 1) % after.size()]);
                break;
            }
        }

        const QImage oldPicture = drawScene(before, W, H);
        const QImage newPicture = drawScene(after, W, H);
        const DrawingRecord oldRecord = recordScene(before);
        const DrawingRecord newRecord = recordScene(after);
        // Lines without a pen draw nothing and are not kept.
        EXPECT_LE(oldRecord.size(), qsizetype(before.size()));
        EXPECT_GT(oldRecord.size(), 0);

        QImage replayed = whiteImage(W, H);
        {
            QPainter painter(&replayed);
            DeviceContext dc(&painter);
            dc.Replay(oldRecord);
        }
        EXPECT_TRUE(samePixels(replayed, oldPicture)) << "whole replay";

        // The new picture from the old: the background back where they differ, the new record
        // there, unless turned text lies there, which only a whole replay draws right.
        const QRegion changed = newRecord.differenceFrom(oldRecord);
        if (!newRecord.clipsCleanly(changed)) {
            ++turned;
            continue;
        }
        QImage updated = oldPicture;
        {
            QPainter painter(&updated);
            painter.setClipRegion(changed);
            painter.fillRect(updated.rect(), Qt::white);
            painter.setClipping(false);
            DeviceContext dc(&painter);
            dc.Replay(newRecord, &changed);
        }
        EXPECT_TRUE(samePixels(updated, newPicture)) << "replay where the records differ";
        EXPECT_TRUE(oldRecord.differenceFrom(oldRecord).isEmpty());
    }
    EXPECT_LT(turned, 30) << "most scenes must take the partial road";
}

} // namespace
