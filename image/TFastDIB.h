// The one image type: a device-independent bitmap (rows in bitmap layout, a row table, a palette or
// channel masks) with, normally, a device context of its own to paint on it.
// Pixel access takes memory rows (row 0 is the picture's bottom row for bottom-up images);
// CopyRect, SetSubset and the drawing tools take picture coordinates (origin top-left).
#pragma once

#include "platform/DeviceContext.h"

#include <QString>
#include <QtGlobal>

#include <initializer_list>
#include <memory>
#include <span>

// ---- pixel and palette records (packed, no padding) ---------------------------------------------

#pragma pack(push, 1)

struct TFColor {
    quint8 b;
    quint8 g;
    quint8 r;
};

union TFColorA {
    struct {
        quint8 b, g, r, a;
    };
    TFColor c; // the first three bytes
    quint32 i; // all four bytes
    struct {
        quint16 hi; // the first two bytes
        quint16 lo; // the last two bytes
    };
};

#pragma pack(pop)

static_assert(sizeof(TFColor) == 3);
static_assert(sizeof(TFColorA) == 4);

using TFColorTable = TFColorA[256];
using PFColorTable = TFColorA*; // the first of 256 entries

// Rows of each pixel kind, and row tables. The 16-bit index limit of the original declarations
// belongs to the callers that check it; the buffer allocates exactly one pointer per row.
using PLine8 = quint8*;
using PLine16 = quint16*;
using PLine24 = TFColor*;
using PLine32 = TFColorA*;
using PLines = void**;
using PPixels8 = PLine8*;
using PPixels16 = PLine16*;
using PPixels24 = PLine24*;
using PPixels32 = PLine32*;

#pragma pack(push, 1)

struct TBMInfoHeader {
    quint32 Size;        // 40
    qint32 Width;
    qint32 Height;       // > 0: rows bottom-up; < 0: top-down
    quint16 Planes;      // 1
    quint16 BitCount;    // 1, 4, 8, 16, 24 or 32
    quint32 Compression; // 0 plain, 3 channel masks; 1 and 2 (run-length) only in data being read
    quint32 SizeImage;   // bytes of pixel data; 0 for a sub-image
    qint32 XPelsPerMeter;
    qint32 YPelsPerMeter;
    quint32 ClrUsed;
    quint32 ClrImportant;
};

struct TBMInfo {
    TBMInfoHeader Header;
    union {
        TFColorA Colors[256];
        struct {
            quint32 RMask, GMask, BMask;
        };
    };
};

#pragma pack(pop)

static_assert(sizeof(TBMInfoHeader) == 40);
static_assert(sizeof(TBMInfo) == 40 + 1024);

// ---- the image buffer ---------------------------------------------------------------------------

class TFastDIB {
public:
    HDC hDC = nullptr;       // own memory context over the pixels; none for heap or borrowed pixels
    HBRUSH hBrush = nullptr; // tools made by SetBrush, SetPen, SetFont/SetFontEx
    HPEN hPen = nullptr;
    HFONT hFont = nullptr;
    HBITMAP Handle = nullptr; // the section that holds the pixels
    qint32 BWidth = 0;        // bytes per row including padding
    qint32 AbsHeight = 0;     // number of rows
    qint32 Gap = 0;           // padding bytes at the end of a row
    quint8* Bits = nullptr;   // first byte of memory row 0
    PFColorTable Colors;      // palette in use: Info.Colors, or a parent's for a sub-image
    TBMInfo Info;
    quint8 Bpb = 0, Bpg = 0, Bpr = 0;    // channel widths at 16 and 32 bits
    quint8 BShr = 0, GShr = 0, RShr = 0; // narrow an 8-bit value to the channel width
    quint8 BShl = 0, GShl = 0, RShl = 0; // channel positions in the pixel (BShl stays 0)
    PLines Scanlines = nullptr;          // AbsHeight row pointers, entry i = Bits + i * BWidth
    PPixels8 Pixels8 = nullptr;          // the same table, typed
    PPixels16 Pixels16 = nullptr;
    PPixels24 Pixels24 = nullptr;
    PPixels32 Pixels32 = nullptr;
    bool UseGDI = true; // pixels in a section with a device context; false: on the heap
    bool FreeDC = false, FreeBits = false, FreeHandle = false; // what this image owns

    TFastDIB();
    ~TFastDIB();
    TFastDIB(const TFastDIB&) = delete;
    TFastDIB& operator=(const TFastDIB&) = delete;

    void PreDestroy();
    void Release();
    void Assign(TFastDIB& Bmp);

    void SetSize(qint32 fWidth, qint32 fHeight, quint8 fBpp);
    void SetSizeEx(qint32 fWidth, qint32 fHeight, quint8 fBpp, quint8 fBpr, quint8 fBpg, quint8 fBpb);
    void SetSizeIndirect(const TBMInfo& bmInfo);
    void SetInterface(void* fBits, qint32 fWidth, qint32 fHeight, quint8 fBpp, quint8 fBpr, quint8 fBpg,
                      quint8 fBpb);
    void SetInterfaceIndirect(void* fBits, const TBMInfo& bmInfo);
    void SetSubset(TFastDIB& Bmp, int x, int y, int w, int h);
    void MakeCopy(const TFastDIB& Bmp, bool CopyBits);
    // Reads as MakeCopy(Bmp, true) but holds Bmp's pixels together with it until one of the two
    // lets them go (copy on write): whoever writes pixels of a shared image calls detach() first.
    // A sub-image or borrowed pixels are copied at once.
    void makeSharedCopy(TFastDIB& Bmp);
    // Makes the pixels this image's own when another image shares them; throws std::bad_alloc
    // when there is no memory for the copy (the image is then unchanged).
    void detach();
    bool isShared() const { return m_shared && m_shared.use_count() > 1; }

    // Memory row y, column x; no bounds checks.
    TFColor GetPixel(int y, int x) const;
    void SetPixel(int y, int x, TFColor c);
    quint8 GetPixelB(int y, int x) const;
    void SetPixelB(int y, int x, quint8 c);
    // Entry of 0 .. 2^BitCount - 1 nearest to c (|db| + |dg| + |dr|, first on ties).
    quint8 NearestPaletteIndex(TFColor c) const;

    void CopyRect(const TFastDIB& Src, int x, int y, int w, int h, int sx, int sy);
    void Clear(TFColor c);
    void ClearB(quint32 c);
    void FillColors(int i1, int i2, std::span<const TFColor> Colors);
    void FillColors(int i1, int i2, std::initializer_list<TFColor> Colors)
    {
        FillColors(i1, i2, std::span<const TFColor>(Colors.begin(), Colors.size()));
    }
    void ShiftColors(int i1, int i2, int Amount);
    void UpdateColors();

    // Drawing tools: picture coordinates, colours $00BBGGRR; nothing happens without hDC.
    void SetPen(quint32 Style, quint32 Width, quint32 Color);
    void SetBrush(quint32 Style, quint32 Hatch, quint32 Color);
    void SetFont(const QString& Font, qint32 Size);
    void SetFontEx(const QString& Font, qint32 Width, qint32 Height, qint32 Weight, bool Italic, bool Underline,
                   bool Strike);
    void SetTextColor(quint32 Color);
    void SetBkColor(quint32 Color);
    void SetTransparent(bool Transparent);
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Rectangle(int x1, int y1, int x2, int y2);
    void Ellipse(int x1, int y1, int x2, int y2);
    void FillRect(const RECT& Rect);
    void Polygon(std::span<const POINT> Points);
    void Polygon(std::initializer_list<POINT> Points)
    {
        Polygon(std::span<const POINT>(Points.begin(), Points.size()));
    }
    void Polyline(std::span<const POINT> Points);
    void Polyline(std::initializer_list<POINT> Points)
    {
        Polyline(std::span<const POINT>(Points.begin(), Points.size()));
    }
    void TextOut(int x, int y, const QString& Text);
    void DrawText(const QString& Text, RECT Rect, quint32 Flags);

    // -- files and drawing --
    // Loaders return true when the image was read; on false the image is as it was and Error says why.
    bool LoadFromFile(const QString& FileName, QString* Error = nullptr);
    bool LoadFromRes(const QString& ResPath, QString* Error = nullptr); // a Qt resource holding a whole bitmap file
    bool LoadFromClipboard();                   // false: no image on the clipboard
    bool LoadFromHandle(const QImage& hBmp);    // false: a null image
    bool AttachToHandle(HDC hDC, HBITMAP hBmp); // false: no section
    int SaveToFile(const QString& FileName, QString* Error = nullptr) const; // 0 written, -1 failed (old file kept)
    bool SaveToClipboard() const;

    // Source positions count from the image's top-left corner.
    void Draw(HDC fDC, int x, int y) const;
    void Stretch(HDC fDC, int x, int y, int w, int h) const;
    void DrawRect(HDC fDC, int x, int y, int w, int h, int sx, int sy) const;
    void StretchRect(HDC fDC, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const;
    void PlgDraw(HDC fDC, int x1, int y1, int x2, int y2, int x3, int y3) const;
    void MaskDraw(HDC fDC, int x, int y, const TFastDIB& Mono) const;
    void MaskRect(HDC fDC, int x, int y, int w, int h, int sx, int sy, int mx, int my, const TFastDIB& Mono) const;
    void TransDraw(HDC fDC, int x, int y, TFColor c) const;
    void TransStretch(HDC fDC, int x, int y, int w, int h, TFColor c) const;
    void AlphaDraw(HDC fDC, int x, int y, quint8 a, bool hasAlpha) const;
    void AlphaStretch(HDC fDC, int x, int y, int w, int h, quint8 a, bool hasAlpha) const;
    void TileDraw(HDC fDC, int x, int y, int w, int h) const;

private:
    // The pixels as a QImage in memory-row order: a view of Bits where Qt has the format, else a copy
    // (4 bits as Indexed8, unusual masks as RGB32). Null without pixels.
    QImage memoryImage() const;

public:
    // -- end files and drawing --

    // -- depth conversion --
    // -- end depth conversion --

private:
    struct SharedBlock; // a pixel block held by the images that share it; frees it with the last
    std::shared_ptr<SharedBlock> m_shared;

    void buildRowTable(qint64 stride);
    qint64 imageBytes() const; // SizeImage without its 32-bit limit; 0 for a sub-image
    DibFormat dibFormat() const;
};
