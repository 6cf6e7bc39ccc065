// GDI-shaped drawing for code written against device contexts: DIB sections, pens, brushes, fonts
// and a DeviceContext that paints with QPainter onto a section, a QPaintDevice or a painter.
// It keeps GDI's pixel rules: rectangles and fills leave out the right and bottom edge, LineTo
// leaves out its end pixel, and a 1-pixel pen hits the pixels GDI hits. Drawing can be recorded
// and replayed, whole or where two records differ.
#pragma once

#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QPaintDevice;

// ---- plain GDI values ---------------------------------------------------------------------------

using COLORREF = quint32; // $00BBGGRR: red in the low byte
using UINT = unsigned int;
using DWORD = quint32;

struct POINT {
    int x = 0;
    int y = 0;
};

struct RECT {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct SIZE {
    int cx = 0;
    int cy = 0;
};

constexpr COLORREF RGB(int r, int g, int b)
{
    return COLORREF(quint8(r)) | (COLORREF(quint8(g)) << 8) | (COLORREF(quint8(b)) << 16);
}
constexpr quint8 GetRValue(COLORREF c) { return quint8(c); }
constexpr quint8 GetGValue(COLORREF c) { return quint8(c >> 8); }
constexpr quint8 GetBValue(COLORREF c) { return quint8(c >> 16); }

constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;

// Pen styles.
enum : int {
    PS_SOLID = 0,
    PS_DASH = 1,
    PS_DOT = 2,
    PS_DASHDOT = 3,
    PS_DASHDOTDOT = 4,
    PS_NULL = 5,
    PS_INSIDEFRAME = 6,
};

// Brush styles and hatches.
enum : int {
    BS_SOLID = 0,
    BS_NULL = 1,
    BS_HOLLOW = 1,
    BS_HATCHED = 2,
};
enum : int {
    HS_HORIZONTAL = 0,
    HS_VERTICAL = 1,
    HS_FDIAGONAL = 2,
    HS_BDIAGONAL = 3,
    HS_CROSS = 4,
    HS_DIAGCROSS = 5,
};

// Background modes.
enum : int {
    TRANSPARENT = 1,
    OPAQUE = 2,
};

// Font weights and character set.
enum : int {
    FW_DONTCARE = 0,
    FW_THIN = 100,
    FW_NORMAL = 400,
    FW_BOLD = 700,
    FW_HEAVY = 900,
};
enum : int {
    ANSI_CHARSET = 0,
    DEFAULT_CHARSET = 1,
};

// DrawText flags (GDI values).
enum : UINT {
    DT_TOP = 0x0000,
    DT_LEFT = 0x0000,
    DT_CENTER = 0x0001,
    DT_RIGHT = 0x0002,
    DT_VCENTER = 0x0004,
    DT_BOTTOM = 0x0008,
    DT_WORDBREAK = 0x0010,
    DT_SINGLELINE = 0x0020,
    DT_EXPANDTABS = 0x0040,
    DT_NOCLIP = 0x0100,
    DT_CALCRECT = 0x0400,
    DT_NOPREFIX = 0x0800,
    DT_END_ELLIPSIS = 0x8000,
};

// Raster operations understood by BitBlt/StretchBlt.
enum : DWORD {
    SRCCOPY = 0x00CC0020,
};

// Stretch modes; the default (BLACKONWHITE) and COLORONCOLOR pick nearest pixels, HALFTONE smooths.
enum : int {
    BLACKONWHITE = 1,
    WHITEONBLACK = 2,
    COLORONCOLOR = 3,
    HALFTONE = 4,
};

// GetDeviceCaps indices.
enum : int {
    BITSPIXEL = 12,
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
};

// Object types.
enum : DWORD {
    OBJ_PEN = 1,
    OBJ_BRUSH = 2,
    OBJ_FONT = 6,
    OBJ_BITMAP = 7,
};

// Stock objects.
enum : int {
    WHITE_BRUSH = 0,
    BLACK_BRUSH = 4,
    NULL_BRUSH = 5,
    WHITE_PEN = 6,
    BLACK_PEN = 7,
    NULL_PEN = 8,
    SYSTEM_FONT = 13,
};

struct LOGPEN {
    int lopnStyle = PS_SOLID;
    int lopnWidth = 1; // pixels; 0 counts as 1
    COLORREF lopnColor = 0;
};

struct LOGBRUSH {
    int lbStyle = BS_SOLID;
    COLORREF lbColor = 0;
    int lbHatch = 0;
};

struct LOGFONT {
    int lfHeight = 0;     // < 0: character height in pixels; > 0: cell height; 0: default size
    int lfWidth = 0;      // average character width; 0: natural
    int lfEscapement = 0; // tenths of a degree, counter-clockwise
    int lfOrientation = 0;
    int lfWeight = 0; // 0: normal
    bool lfItalic = false;
    bool lfUnderline = false;
    bool lfStrikeOut = false;
    int lfCharSet = DEFAULT_CHARSET;
    int lfOutPrecision = 0;
    int lfClipPrecision = 0;
    int lfQuality = 0;
    int lfPitchAndFamily = 0;
    QString lfFaceName; // at most 31 characters, as GDI's face-name field
};

// ---- GDI objects --------------------------------------------------------------------------------

// Base of pens, brushes, fonts and sections. Handles are plain pointers; DeleteObject only deletes
// objects it knows to be alive and not stock, so a stale or doubled delete is harmless, as in GDI.
class GdiObject {
public:
    enum class Kind { Pen, Brush, Font, Bitmap };
    virtual ~GdiObject();
    Kind kind() const { return m_kind; }
    bool isStock() const { return m_stock; }

protected:
    explicit GdiObject(Kind kind);

private:
    friend GdiObject* GetStockObject(int);
    friend class DeviceContext;
    friend bool DeleteObject(GdiObject*);
    Kind m_kind;
    bool m_stock = false;
    // Contexts that have this object selected: deleting an object that none holds needs no walk
    // over every context, so freeing thousands of images stays linear.
    std::atomic<int> m_selections{0};
};

class GdiPen : public GdiObject {
public:
    explicit GdiPen(const LOGPEN& lp) : GdiObject(Kind::Pen), log(lp) {}
    LOGPEN log;
};

class GdiBrush : public GdiObject {
public:
    explicit GdiBrush(const LOGBRUSH& lb) : GdiObject(Kind::Brush), log(lb) {}
    LOGBRUSH log;
};

class GdiFont : public GdiObject {
public:
    explicit GdiFont(const LOGFONT& lf);
    LOGFONT log;
};

// Pixel layout of a device-independent bitmap: what the 40-byte bitmap info says about it.
struct DibFormat {
    int width = 0;
    int height = 0;   // > 0: rows stored bottom-up; < 0: top-down
    int bitCount = 0; // 1, 4, 8, 16, 24 or 32
    quint32 rMask = 0, gMask = 0, bMask = 0; // 16 and 32 bits; all 0 means 5-5-5 or 8-8-8
    const quint32* colors = nullptr; // 256 palette entries as bytes b, g, r, x (QRgb order); 1 to 8 bits

    // Bytes of one row, padded to 4 bytes; 64-bit because wide scans overflow int.
    qint64 bytesPerLine() const { return ((qint64(width) * bitCount + 31) / 32) * 4; }
};

// A QImage over pixels in DIB layout, in memory-row order (row 0 is the first row in memory), or a
// null image when no QImage format matches (4 bits, unusual masks). Shares the memory: no copy.
// 8 and 1 bits come as Indexed8 / Mono with the palette as colour table (alpha forced to 255).
QImage DibImage(const DibFormat& format, uchar* bits);

// The same pixels decoded into a new RGB32 image, at every depth; rows in memory order.
QImage DibToRgb32(const DibFormat& format, const uchar* bits, const QRect& rect);

// Writes an RGB32 image back into DIB pixels at `rect`; at 1, 4 and 8 bits each colour becomes the
// nearest palette entry (sum of channel differences, lower index on ties).
void Rgb32ToDib(const QImage& rgb, const DibFormat& format, uchar* bits, const QRect& rect);

// A DIB section: zero-filled, 4-byte-padded pixel memory that the section owns, with its layout
// and colour table. HBITMAP points at one.
class DibSection : public GdiObject {
public:
    ~DibSection() override;
    DibFormat format() const; // colors point at this section's table
    int width() const { return m_width; }
    int height() const { return m_height; } // signed, as created
    int absHeight() const { return m_height < 0 ? -m_height : m_height; }
    bool bottomUp() const { return m_height > 0; }
    int bitCount() const { return m_bitCount; }
    qint64 bytesPerLine() const { return m_bytesPerLine; }
    qint64 sizeImage() const { return m_bytesPerLine * absHeight(); }
    uchar* bits() const { return m_bits; }
    quint32* colorTable() { return m_colors; }
    const quint32* colorTable() const { return m_colors; }
    quint32 rMask() const { return m_rMask; }
    quint32 gMask() const { return m_gMask; }
    quint32 bMask() const { return m_bMask; }

private:
    friend DibSection* CreateDIBSection(const DibFormat&);
    DibSection();
    int m_width = 0;
    int m_height = 0;
    int m_bitCount = 0;
    qint64 m_bytesPerLine = 0;
    uchar* m_bits = nullptr;
    quint32 m_colors[256] = {};
    quint32 m_rMask = 0, m_gMask = 0, m_bMask = 0;
};

using HGDIOBJ = GdiObject*;
using HPEN = GdiPen*;
using HBRUSH = GdiBrush*;
using HFONT = GdiFont*;
using HBITMAP = DibSection*;

// ---- device context -----------------------------------------------------------------------------

// A drawing kept instead of drawn: each call of a context with the state it was made in and the
// part of the picture it can change. Replayed later, whole or within a region; two records of
// the same scene tell where their pictures can differ, so only that part needs drawing again.
class DrawingRecord {
public:
    DrawingRecord();
    ~DrawingRecord();
    DrawingRecord(DrawingRecord&&) noexcept;
    DrawingRecord& operator=(DrawingRecord&&) noexcept;

    qsizetype size() const;
    // Empties the record for the next drawing, keeping its memory: a repaint records about as
    // many calls as the one before.
    void clear();
    // Where replaying this record can give other pixels than replaying `previous` over the same
    // picture. Calls found in both, in the same order, leave their pixels alone; every other
    // call marks what it can change.
    QRegion differenceFrom(const DrawingRecord& previous) const;
    // Every pixel of `within` that replaying the record can change, in squares of `tile` pixels
    // aligned to within's corner: a little more than the calls reach, in few rectangles.
    QRegion coverage(const QRect& within, int tile) const;
    // Whether replaying within `region` gives there the pixels a whole replay gives: not where
    // turned text lies, which the toolkit draws another way under a clip.
    bool clipsCleanly(const QRegion& region) const;

    struct Call;

private:
    friend class DeviceContext;
    std::vector<Call> m_calls;
    std::vector<LOGFONT> m_fonts; // calls name their font by its place here
};


// GDI drawing state over one paint target. Coordinates are the picture's: origin top-left, y down,
// whatever the row order of the pixels. Drawing on a context with no target does nothing.
class DeviceContext {
public:
    DeviceContext();                              // memory context with nothing selected
    explicit DeviceContext(QPaintDevice* device); // paints on a device (QImage, QPixmap, widget in paintEvent)
    explicit DeviceContext(QPainter* painter);    // paints through an active painter it does not own
    ~DeviceContext();
    DeviceContext(const DeviceContext&) = delete;
    DeviceContext& operator=(const DeviceContext&) = delete;

    // Selecting returns the object selected before (stock objects at first).
    HPEN SelectObject(HPEN pen);
    HBRUSH SelectObject(HBRUSH brush);
    HFONT SelectObject(HFONT font);
    HBITMAP SelectObject(HBITMAP bitmap); // memory contexts only; the section's rows set the orientation
    HPEN currentPen() const { return m_pen; }
    HBRUSH currentBrush() const { return m_brush; }
    HFONT currentFont() const { return m_font; }
    HBITMAP currentBitmap() const { return m_bitmap; }
    const LOGPEN& pen() const { return m_logPen; }
    const LOGBRUSH& brush() const { return m_logBrush; }
    const LOGFONT& font() const { return m_logFont; }

    COLORREF SetTextColor(COLORREF c);
    COLORREF SetBkColor(COLORREF c);
    int SetBkMode(int mode);
    int SetStretchBltMode(int mode);
    COLORREF textColor() const { return m_textColor; }
    COLORREF bkColor() const { return m_bkColor; }
    int bkMode() const { return m_bkMode; }
    int stretchBltMode() const { return m_stretchMode; }

    bool MoveToEx(int x, int y, POINT* previous = nullptr);
    bool LineTo(int x, int y);
    POINT currentPosition() const { return m_pos; }
    bool Rectangle(int left, int top, int right, int bottom);
    bool Ellipse(int left, int top, int right, int bottom);
    bool Polygon(std::span<const POINT> points);
    bool Polyline(std::span<const POINT> points);
    bool Polygon(std::initializer_list<POINT> points) { return Polygon(std::span<const POINT>(points.begin(), points.size())); }
    bool Polyline(std::initializer_list<POINT> points) { return Polyline(std::span<const POINT>(points.begin(), points.size())); }
    bool FillRect(const RECT& rect, HBRUSH brush);
    bool TextOut(int x, int y, const QString& text);
    int DrawText(const QString& text, RECT* rect, UINT flags); // height of the text; 0 on failure
    SIZE GetTextExtent(const QString& text) const;
    COLORREF SetPixel(int x, int y, COLORREF c); // the colour set, CLR_INVALID outside
    COLORREF GetPixel(int x, int y) const;       // CLR_INVALID outside or without pixels

    // BitBlt/StretchBlt-style copy: `sourceRect` of `source` into `target`, scaled when the sizes
    // differ (nearest pixels unless the stretch mode is HALFTONE). `sourceBottomUp`: the source
    // image's row 0 is the picture's bottom row and `sourceRect` is in picture coordinates.
    bool drawImage(const QRect& target, const QImage& source, const QRect& sourceRect, bool sourceBottomUp = false,
                   QPainter::CompositionMode mode = QPainter::CompositionMode_Source, qreal opacity = 1.0);

    // The selected section's pixels as a QImage in memory-row order (shared when a format matches,
    // else a converted RGB32 copy), or the image painted on; null when there is none.
    QImage sourceImage() const;
    bool sourceBottomUp() const; // sourceImage() is stored bottom-up
    QSize size() const;          // picture size of the target; empty when unknown

    // Pixels visited by the 1-pixel line stepping so far; only those that can be seen are.
    qint64 pixelsStepped() const { return m_pixelsStepped; }

    // While a record is set, drawing calls go into it instead of onto the target (none: draw).
    void setRecord(DrawingRecord* record) { m_record = record; }
    // Draws what a record holds onto this context's target, each call with the state it was made
    // in; when `within` is given, only there, clipped to it. The context's own state stays as it was.
    void Replay(const DrawingRecord& record, const QRegion* within = nullptr);

private:
    class PaintScope;
    friend class PaintScope;
    QFont qFont() const;
    struct FontCache;
    struct TextEntry;
    const QFont& cachedFont() const; // qFont() of the selected font, made again only when it changes
    const TextEntry& textEntry(const QString& text) const; // width and prepared layout of a text
    static QHash<QString, QHash<QString, TextEntry>>& keptTexts();
    QPen qPen() const;
    QBrush qBrush(const LOGBRUSH& lb) const;
    void strokeLinePixels(PaintScope& s, qint64 x1, qint64 y1, qint64 x2, qint64 y2, bool lastPixel, qint64& dashPhase);

    QPaintDevice* m_device = nullptr;
    QPainter* m_external = nullptr;
    static void countSelection(GdiObject* old, GdiObject* now);
    HBITMAP m_bitmap = nullptr;
    HPEN m_pen = nullptr;
    HBRUSH m_brush = nullptr;
    HFONT m_font = nullptr;
    LOGPEN m_logPen;
    LOGBRUSH m_logBrush;
    LOGFONT m_logFont;
    COLORREF m_textColor = 0x000000;
    COLORREF m_bkColor = 0xFFFFFF;
    int m_bkMode = OPAQUE;
    int m_stretchMode = BLACKONWHITE;
    POINT m_pos;
    qint64 m_pixelsStepped = 0;
    DrawingRecord* m_record = nullptr;
    std::optional<QRect> m_replayClip; // while replaying within a region: the part being drawn
    struct SavedState;
    DrawingRecord::Call& recordCall(int kind, const QRect& bounds);
    QRect textBounds(int x, int y, const QString& text) const; // what TextOut can change
    void applyCall(const DrawingRecord::Call& call, const DrawingRecord& record);
    // The font made from m_logFont, and the key its texts are kept under.
    mutable std::unique_ptr<FontCache> m_fontCache;
};

using HDC = DeviceContext*;

// ---- GDI functions; each tolerates a null context or object and then fails ---------------------

HDC CreateCompatibleDC(HDC reference); // a memory context with nothing selected
bool DeleteDC(HDC dc);
HBITMAP CreateDIBSection(const DibFormat& format); // null when the size is empty or too large
HBITMAP CreateCompatibleBitmap(HDC reference, int width, int height); // 32 bits, top-down
HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreateHatchBrush(int hatch, COLORREF color);
HBRUSH CreateBrushIndirect(const LOGBRUSH& lb);
HFONT CreateFontIndirect(const LOGFONT& lf);
bool DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int index);
// OBJ_PEN, OBJ_BRUSH, OBJ_FONT or OBJ_BITMAP for a live object; 0 for a deleted or unknown handle.
DWORD GetObjectType(HGDIOBJ object);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object); // returns the previous object of the same kind
int GetDeviceCaps(HDC dc, int index);         // BITSPIXEL 32 (our screens), LOGPIXELSX/Y 96

// Screen-compatible 16-bit pixels keep green in 6 bits; the answer is 5 or 6.
int Probe16BitFormat();

COLORREF SetTextColor(HDC dc, COLORREF c);
COLORREF SetBkColor(HDC dc, COLORREF c);
int SetBkMode(HDC dc, int mode);
int SetStretchBltMode(HDC dc, int mode);
bool MoveToEx(HDC dc, int x, int y, POINT* previous);
bool LineTo(HDC dc, int x, int y);
bool Rectangle(HDC dc, int left, int top, int right, int bottom);
bool Ellipse(HDC dc, int left, int top, int right, int bottom);
bool Polygon(HDC dc, const POINT* points, int count);
bool Polyline(HDC dc, const POINT* points, int count);
bool FillRect(HDC dc, const RECT* rect, HBRUSH brush);
bool TextOut(HDC dc, int x, int y, const QString& text);
int DrawText(HDC dc, const QString& text, RECT* rect, UINT flags);
bool GetTextExtentPoint32(HDC dc, const QString& text, SIZE* size);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF c);
COLORREF GetPixel(HDC dc, int x, int y);
bool BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, DWORD rop);
bool StretchBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh, DWORD rop);

// QColor of a COLORREF, opaque.
inline QColor colorOf(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
