// The image buffer: sizing, sub-images, pixel access, copying, palettes and drawing tools.
// Byte counts and row offsets are 64-bit: a 40000 x 30000 scan has rows far past 2^31 bytes.
#include "image/TFastDIB.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

quint32 lowBits(int n) { return n >= 32 ? 0xFFFFFFFFu : (n <= 0 ? 0u : (1u << n) - 1u); }

// Length of a mask's run: highest set bit minus lowest set bit, plus 1; 0 for an empty mask.
quint8 runLength(quint32 mask)
{
    if (mask == 0)
        return 0;
    return quint8((31 - std::countl_zero(mask)) - std::countr_zero(mask) + 1);
}

// Widens an n-bit channel value to 8 bits by repeating its bits; wider channels keep their low byte.
quint8 replicate(quint32 v, int n)
{
    switch (n) {
    case 0:
        return 0;
    case 1:
        return v ? 255 : 0;
    case 2:
        return quint8(v * 64 + v * 16 + v * 4 + v);
    case 3:
        return quint8(v * 32 + v * 4 + v / 2);
    case 4:
        return quint8(v * 16 + v);
    case 5:
        return quint8(v * 8 + v / 4);
    case 6:
        return quint8(v * 4 + v / 16);
    case 7:
        return quint8(v * 2 + v / 64);
    default:
        return quint8(v);
    }
}

// Above this many bytes a fill streams past the caches, as memset does for large blocks: a cached
// store would first read in every line it overwrites.
constexpr qint64 kStreamBytes = qint64(8) << 20;

// Fills n bytes with a unit of 1 to 4 bytes repeated (a 24-bit pixel, a 32-bit word, ...).
// Streamed stores need a fence (finishFill) before the pixels are read elsewhere.
void fillRepeating(quint8* dst, qint64 n, const quint8* unit, int unitLen, bool stream)
{
    if (n <= 0)
        return;
    if (std::all_of(unit, unit + unitLen, [unit](quint8 v) { return v == unit[0]; })) {
        std::memset(dst, unit[0], size_t(n));
        return;
    }
#if defined(__SSE2__)
    if (stream && n >= 256) {
        // 48 bytes hold whole units of 1 to 4 bytes: three aligned 16-byte stores per period.
        const qint64 head = qint64((16 - (reinterpret_cast<quintptr>(dst) & 15)) & 15);
        for (qint64 k = 0; k < head; ++k)
            dst[k] = unit[k % unitLen];
        alignas(16) quint8 period[48];
        for (int k = 0; k < 48; ++k)
            period[k] = unit[(head + k) % unitLen];
        const __m128i v0 = _mm_load_si128(reinterpret_cast<const __m128i*>(period));
        const __m128i v1 = _mm_load_si128(reinterpret_cast<const __m128i*>(period + 16));
        const __m128i v2 = _mm_load_si128(reinterpret_cast<const __m128i*>(period + 32));
        quint8* p = dst + head;
        qint64 left = n - head;
        for (; left >= 48; left -= 48, p += 48) {
            _mm_stream_si128(reinterpret_cast<__m128i*>(p), v0);
            _mm_stream_si128(reinterpret_cast<__m128i*>(p + 16), v1);
            _mm_stream_si128(reinterpret_cast<__m128i*>(p + 32), v2);
        }
        std::memcpy(p, period, size_t(left));
        return;
    }
#else
    Q_UNUSED(stream);
#endif
    // Cached: one period, then doubling copies of what is already filled.
    quint8 period[48];
    for (int k = 0; k < 48; ++k)
        period[k] = unit[k % unitLen];
    qint64 done = std::min<qint64>(48, n);
    std::memcpy(dst, period, size_t(done));
    while (done < n) {
        const qint64 chunk = std::min(done, n - done);
        std::memcpy(dst + done, dst, size_t(chunk));
        done += chunk;
    }
}

void finishFill()
{
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

} // namespace

// ---- life cycle -----------------------------------------------------------------------------------

struct TFastDIB::SharedBlock {
    HBITMAP section = nullptr;
    quint8* heap = nullptr;
    SharedBlock() = default;
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;
    ~SharedBlock()
    {
        if (section)
            DeleteObject(section);
        std::free(heap);
    }
};

TFastDIB::TFastDIB()
{
    std::memset(&Info, 0, sizeof Info);
    Info.Header.Size = 40;
    Info.Header.Planes = 1;
    Colors = Info.Colors;
}

TFastDIB::~TFastDIB() { PreDestroy(); }

void TFastDIB::PreDestroy()
{
    // The context goes before the objects selected into it. Released handles are cleared, so a
    // second release (PreDestroy, then destruction) cannot free them twice.
    if (FreeDC && hDC) {
        DeleteDC(hDC);
        hDC = nullptr;
    }
    if (FreeHandle && Handle) {
        DeleteObject(Handle);
        Handle = nullptr;
    }
    m_shared.reset(); // after the context that had the section selected
    if (hPen) {
        DeleteObject(hPen);
        hPen = nullptr;
    }
    if (hFont) {
        DeleteObject(hFont);
        hFont = nullptr;
    }
    if (hBrush) {
        DeleteObject(hBrush);
        hBrush = nullptr;
    }
    delete[] Scanlines;
    Scanlines = nullptr;
    Pixels8 = nullptr;
    Pixels16 = nullptr;
    Pixels24 = nullptr;
    Pixels32 = nullptr;
    if (FreeBits && Bits)
        std::free(Bits);
    Bits = nullptr;
    FreeDC = FreeBits = FreeHandle = false;
}

void TFastDIB::Release()
{
    m_shared.reset(); // a share handed over by Assign is the receiver's now
    hDC = nullptr;
    Handle = nullptr;
    hPen = nullptr;
    hFont = nullptr;
    hBrush = nullptr;
    Scanlines = nullptr;
    Pixels8 = nullptr;
    Pixels16 = nullptr;
    Pixels24 = nullptr;
    Pixels32 = nullptr;
    Bits = nullptr;
}

void TFastDIB::Assign(TFastDIB& Bmp)
{
    if (&Bmp == this)
        return;
    PreDestroy();
    hDC = Bmp.hDC;
    hBrush = Bmp.hBrush;
    hPen = Bmp.hPen;
    hFont = Bmp.hFont;
    Handle = Bmp.Handle;
    BWidth = Bmp.BWidth;
    AbsHeight = Bmp.AbsHeight;
    Gap = Bmp.Gap;
    Bits = Bmp.Bits;
    std::memcpy(&Info, &Bmp.Info, sizeof Info);
    Colors = Info.Colors;
    Bpb = Bmp.Bpb;
    Bpg = Bmp.Bpg;
    Bpr = Bmp.Bpr;
    BShr = Bmp.BShr;
    GShr = Bmp.GShr;
    RShr = Bmp.RShr;
    BShl = Bmp.BShl;
    GShl = Bmp.GShl;
    RShl = Bmp.RShl;
    Scanlines = Bmp.Scanlines;
    Pixels8 = Bmp.Pixels8;
    Pixels16 = Bmp.Pixels16;
    Pixels24 = Bmp.Pixels24;
    Pixels32 = Bmp.Pixels32;
    UseGDI = Bmp.UseGDI;
    FreeDC = Bmp.FreeDC;
    FreeBits = Bmp.FreeBits;
    FreeHandle = Bmp.FreeHandle;
    m_shared = Bmp.m_shared;
}

// ---- sizing ---------------------------------------------------------------------------------------

void TFastDIB::SetSize(qint32 fWidth, qint32 fHeight, quint8 fBpp) { SetInterface(nullptr, fWidth, fHeight, fBpp, 0, 0, 0); }

void TFastDIB::SetSizeEx(qint32 fWidth, qint32 fHeight, quint8 fBpp, quint8 fBpr, quint8 fBpg, quint8 fBpb)
{
    SetInterface(nullptr, fWidth, fHeight, fBpp, fBpr, fBpg, fBpb);
}

qint64 TFastDIB::imageBytes() const
{
    return Info.Header.SizeImage == 0 ? 0 : qint64(BWidth) * AbsHeight;
}

DibFormat TFastDIB::dibFormat() const
{
    DibFormat f;
    f.width = Info.Header.Width;
    f.height = Info.Header.Height;
    f.bitCount = Info.Header.BitCount;
    if (f.bitCount == 16 || f.bitCount == 32) {
        f.rMask = Info.RMask;
        f.gMask = Info.GMask;
        f.bMask = Info.BMask;
    } else {
        f.colors = reinterpret_cast<const quint32*>(Info.Colors);
    }
    return f;
}

void TFastDIB::buildRowTable(qint64 stride)
{
    delete[] Scanlines;
    Scanlines = AbsHeight > 0 ? new void*[size_t(AbsHeight)] : nullptr;
    for (qint64 i = 0; i < AbsHeight; ++i)
        Scanlines[i] = Bits ? static_cast<void*>(Bits + i * stride) : nullptr;
    Pixels8 = reinterpret_cast<PPixels8>(Scanlines);
    Pixels16 = reinterpret_cast<PPixels16>(Scanlines);
    Pixels24 = reinterpret_cast<PPixels24>(Scanlines);
    Pixels32 = reinterpret_cast<PPixels32>(Scanlines);
}

void TFastDIB::SetInterface(void* fBits, qint32 fWidth, qint32 fHeight, quint8 fBpp, quint8 fBpr, quint8 fBpg,
                            quint8 fBpb)
{
    // 1. Depth 0: the screen's, with its channel layout.
    if (fBpp == 0) {
        fBpp = quint8(GetDeviceCaps(nullptr, BITSPIXEL));
        if (fBpp == 16) {
            fBpr = 5;
            fBpg = quint8(Probe16BitFormat());
            fBpb = 5;
        } else if (fBpp == 32) {
            fBpr = fBpg = fBpb = 8;
        }
    }
    // 2. Explicit widths mean channel masks.
    if (fBpr || fBpg || fBpb) {
        Info.Header.Compression = 3;
    } else {
        Info.Header.Compression = 0;
        if (fBpp == 16)
            fBpr = fBpg = fBpb = 5;
        else if (fBpp == 32)
            fBpr = fBpg = fBpb = 8;
    }
    // 3. Masks from the widths; at other depths these words are palette entries and stay.
    if (fBpp == 16 || fBpp == 32) {
        Info.BMask = lowBits(fBpb);
        Info.GMask = fBpb >= 32 ? 0 : lowBits(fBpg) << fBpb;
        const int redShift = fBpb + fBpg;
        Info.RMask = redShift >= 32 ? 0
            : (fBpr + redShift >= 32) ? 0xFFFFFFFFu << redShift
                                      : lowBits(fBpr) << redShift;
    }
    // 4. Same size, depth and layout on an image with its own section: keep buffer and content.
    if (!fBits && fWidth == Info.Header.Width && fHeight == Info.Header.Height && fBpp == Info.Header.BitCount
        && fBpr == Bpr && fBpg == Bpg && fBpb == Bpb && UseGDI && hDC)
        return;

    const qint64 ownedBytes = qint64(BWidth) * AbsHeight; // of the block held so far

    // 5. Header and channel layout.
    if (fWidth < 0)
        fWidth = 0;
    const qint64 absHeight = fHeight < 0 ? -qint64(fHeight) : qint64(fHeight);
    // 6. Row geometry; sub-byte depths round the row up to whole bytes first.
    qint64 pixelBytes;
    switch (fBpp) {
    case 1:
        pixelBytes = (qint64(fWidth) + 7) / 8;
        break;
    case 4:
        pixelBytes = (qint64(fWidth) + 1) / 2;
        break;
    default:
        pixelBytes = (qint64(fWidth) * fBpp + 7) / 8;
        break;
    }
    const qint64 rowBits = (fBpp == 1 || fBpp == 4) ? pixelBytes * 8 : qint64(fWidth) * fBpp;
    qint64 bwidth = ((rowBits + 31) / 32) * 4;
    if (bwidth > std::numeric_limits<qint32>::max() || absHeight > std::numeric_limits<qint32>::max()) {
        // No row this long can be addressed: an empty image rather than wrapped sizes.
        fWidth = 0;
        fHeight = 0;
        bwidth = 0;
        pixelBytes = 0;
    }
    Info.Header.Width = fWidth;
    Info.Header.Height = fHeight;
    AbsHeight = qint32(fHeight == 0 ? 0 : absHeight);
    Info.Header.BitCount = fBpp;
    Bpr = fBpr;
    Bpg = fBpg;
    Bpb = fBpb;
    GShl = Bpb;
    RShl = quint8(Bpb + Bpg);
    BShr = Bpb < 8 ? quint8(8 - Bpb) : 0;
    GShr = Bpg < 8 ? quint8(8 - Bpg) : 0;
    RShr = Bpr < 8 ? quint8(8 - Bpr) : 0;
    BWidth = qint32(bwidth);
    Gap = fBpp == 32 ? 0 : qint32(bwidth - pixelBytes);
    const qint64 sizeImage = qint64(AbsHeight) * BWidth;
    // The header field is 32-bit; internally imageBytes() recomputes the full count.
    Info.Header.SizeImage = quint32(std::min<qint64>(sizeImage, std::numeric_limits<quint32>::max()));
    Colors = Info.Colors;

    if (fBits) {
        // 7. Borrowed pixels. What this image owned is released first: a heap block would
        // otherwise be freed later through the borrowed pointer, a section leak.
        auto* borrowed = static_cast<quint8*>(fBits);
        const bool ownBlock = Bits && (FreeBits || FreeHandle || m_shared);
        const bool insideOwn = ownBlock && borrowed >= Bits && borrowed < Bits + ownedBytes;
        if (ownBlock && !insideOwn) {
            quint8* keep = Bits;
            Bits = nullptr;
            if (FreeBits)
                std::free(keep);
            if (FreeDC && hDC)
                DeleteDC(hDC);
            if (FreeHandle && Handle)
                DeleteObject(Handle);
            hDC = nullptr;
            Handle = nullptr;
            FreeDC = FreeBits = FreeHandle = false;
            m_shared.reset();
        }
        Bits = borrowed;
    } else {
        // 8. A new pixel block; the old context, section and tools go first.
        if (FreeDC && hDC)
            DeleteDC(hDC);
        if (FreeHandle && Handle)
            DeleteObject(Handle);
        hDC = nullptr;
        Handle = nullptr;
        m_shared.reset();
        DeleteObject(hPen);
        DeleteObject(hFont);
        DeleteObject(hBrush);
        hPen = nullptr;
        hFont = nullptr;
        hBrush = nullptr;
        if (FreeBits && Bits)
            std::free(Bits);
        Bits = nullptr;
        if (UseGDI) {
            Handle = CreateDIBSection(dibFormat());
            Bits = Handle ? Handle->bits() : nullptr;
            hDC = CreateCompatibleDC(nullptr);
            hDC->SelectObject(Handle);
            FreeBits = false;
            FreeDC = true;
            FreeHandle = true;
        } else {
            // Zero-filled like a new section, so nothing of earlier contents shows through.
            Bits = sizeImage > 0 ? static_cast<quint8*>(std::calloc(size_t(sizeImage), 1)) : nullptr;
            FreeBits = Bits != nullptr;
            FreeDC = false;
            FreeHandle = false;
        }
    }
    // 9. Row table.
    buildRowTable(BWidth);
}

void TFastDIB::SetSizeIndirect(const TBMInfo& bmInfo) { SetInterfaceIndirect(nullptr, bmInfo); }

void TFastDIB::SetInterfaceIndirect(void* fBits, const TBMInfo& bmInfo)
{
    TBMInfo info;
    std::memcpy(&info, &bmInfo, sizeof info);
    if (info.Header.Compression == 1 || info.Header.Compression == 2)
        info.Header.Compression = (info.RMask || info.GMask || info.BMask) ? 3 : 0;
    quint8 r = 0, g = 0, b = 0;
    if ((info.Header.BitCount == 16 || info.Header.BitCount == 32) && info.Header.Compression == 3) {
        r = runLength(info.RMask);
        g = runLength(info.GMask);
        b = runLength(info.BMask);
    }
    // The palette goes into this image's own table, which sizing makes the one in use.
    if (info.Header.BitCount <= 8)
        std::memcpy(Info.Colors, info.Colors, sizeof Info.Colors);
    SetInterface(fBits, info.Header.Width, info.Header.Height, quint8(info.Header.BitCount), r, g, b);
}

void TFastDIB::SetSubset(TFastDIB& Bmp, int x, int y, int w, int h)
{
    if (&Bmp == this || !Bmp.Bits || x >= Bmp.Info.Header.Width || y >= Bmp.AbsHeight)
        return;
    qint64 X = x, Y = y, W = w, H = h;
    if (Bmp.Info.Header.Height > 0)
        Y = Bmp.AbsHeight - H - Y;
    if (X < 0) {
        W += X;
        X = 0;
    }
    if (Y < 0) {
        H += Y;
        Y = 0;
    }
    W = std::min(W, qint64(Bmp.Info.Header.Width) - X);
    H = std::min(H, qint64(Bmp.AbsHeight) - Y);
    if (W <= 0 || H <= 0)
        return;
    const int bpp = Bmp.Info.Header.BitCount;
    qint64 byteX;
    switch (bpp) {
    case 1:
        byteX = X / 8;
        break;
    case 4:
        byteX = X / 2;
        break;
    default:
        byteX = X * (bpp / 8);
        break;
    }
    quint8* first = Bmp.Bits + Y * Bmp.BWidth + byteX;
    SetInterface(first, int(W), int(H), quint8(bpp), Bmp.Bpr, Bmp.Bpg, Bmp.Bpb);
    Info.Header.SizeImage = 0;
    const qint64 ownBytes = BWidth - Gap; // the window's own pixel bytes per row
    Gap = qint32(Bmp.BWidth - ownBytes);
    BWidth = Bmp.BWidth;
    Colors = Bmp.Colors;
    hDC = Bmp.hDC;
    Handle = Bmp.Handle;
    FreeDC = false;
    FreeHandle = false;
    buildRowTable(Bmp.BWidth);
}

void TFastDIB::MakeCopy(const TFastDIB& Bmp, bool CopyBits)
{
    if (&Bmp == this)
        return;
    TBMInfo info;
    std::memcpy(&info, &Bmp.Info, sizeof info);
    // A sub-image's palette is its parent's.
    if (info.Header.BitCount <= 8 && Bmp.Colors != Bmp.Info.Colors)
        std::memcpy(info.Colors, Bmp.Colors, sizeof info.Colors);
    SetSizeIndirect(info);
    if (!CopyBits || !Bits || !Bmp.Bits)
        return;
    const qint64 whole = std::min(imageBytes(), Bmp.imageBytes());
    if (whole > 0 && BWidth == Bmp.BWidth) {
        std::memcpy(Bits, Bmp.Bits, size_t(whole));
        return;
    }
    // A sub-image has no block of its own: its rows are copied one by one.
    const qint64 rowBytes = std::min(qint64(BWidth) - Gap, qint64(Bmp.BWidth) - Bmp.Gap);
    const int rows = std::min(AbsHeight, Bmp.AbsHeight);
    for (int i = 0; i < rows; ++i)
        std::memcpy(Pixels8[i], Bmp.Pixels8[i], size_t(rowBytes));
}

void TFastDIB::makeSharedCopy(TFastDIB& Bmp)
{
    if (&Bmp == this)
        return;
    const bool ownsBlock = Bmp.m_shared || Bmp.FreeHandle || Bmp.FreeBits;
    if (!Bmp.Bits || !ownsBlock || Bmp.imageBytes() == 0) {
        MakeCopy(Bmp, true);
        return;
    }
    if (!Bmp.m_shared) {
        // The block's ownership moves into the shared holder; Bmp keeps its context and handle.
        Bmp.m_shared = std::make_shared<SharedBlock>();
        if (Bmp.FreeHandle)
            Bmp.m_shared->section = Bmp.Handle;
        else
            Bmp.m_shared->heap = Bmp.Bits;
        Bmp.FreeHandle = false;
        Bmp.FreeBits = false;
    }
    TBMInfo info;
    std::memcpy(&info, &Bmp.Info, sizeof info);
    if (info.Header.BitCount <= 8 && Bmp.Colors != Bmp.Info.Colors)
        std::memcpy(info.Colors, Bmp.Colors, sizeof info.Colors);
    PreDestroy();
    hDC = nullptr;
    Handle = nullptr;
    SetInterfaceIndirect(Bmp.Bits, info);
    m_shared = Bmp.m_shared;
}

void TFastDIB::detach()
{
    if (!isShared())
        return;
    TFastDIB own;
    own.UseGDI = UseGDI;
    own.MakeCopy(*this, true);
    if (!own.Bits)
        throw std::bad_alloc();
    Assign(own);
    own.Release();
}

// ---- pixel access ---------------------------------------------------------------------------------

quint8 TFastDIB::GetPixelB(int y, int x) const
{
    const quint8* row = Pixels8[y];
    switch (Info.Header.BitCount) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
    case 8:
        return row[x];
    default:
        return 0;
    }
}

void TFastDIB::SetPixelB(int y, int x, quint8 c)
{
    switch (Info.Header.BitCount) {
    case 1: {
        quint8& byte = Pixels8[y][x >> 3];
        const quint8 bit = quint8(0x80 >> (x & 7));
        byte = (c & 1) ? byte | bit : byte & ~bit;
        break;
    }
    case 4: {
        quint8& byte = Pixels8[y][x >> 1];
        byte = (x & 1) ? quint8((byte & 0xF0) | (c & 0x0F)) : quint8((byte & 0x0F) | (c << 4));
        break;
    }
    case 8:
        Pixels8[y][x] = c;
        break;
    default:
        break;
    }
}

TFColor TFastDIB::GetPixel(int y, int x) const
{
    const int bpp = Info.Header.BitCount;
    switch (bpp) {
    case 1:
    case 4:
    case 8:
        return Colors[GetPixelB(y, x)].c;
    case 24:
        return Pixels24[y][x];
    case 16:
    case 32: {
        if (bpp == 32 && Info.Header.Compression != 3)
            return Pixels32[y][x].c;
        const quint32 v = bpp == 16 ? quint32(Pixels16[y][x]) : Pixels32[y][x].i;
        TFColor c;
        c.r = replicate((v & Info.RMask) >> RShl, Bpr);
        c.g = replicate((v & Info.GMask) >> GShl, Bpg);
        c.b = replicate(v & Info.BMask, Bpb);
        return c;
    }
    default:
        return TFColor{0, 0, 0};
    }
}

void TFastDIB::SetPixel(int y, int x, TFColor c)
{
    const int bpp = Info.Header.BitCount;
    switch (bpp) {
    case 1:
    case 4:
    case 8:
        SetPixelB(y, x, NearestPaletteIndex(c));
        break;
    case 24:
        Pixels24[y][x] = c;
        break;
    case 16:
    case 32: {
        if (bpp == 32 && Info.Header.Compression != 3) {
            Pixels32[y][x].c = c; // the fourth byte stays
            break;
        }
        const quint32 v = (quint32(c.r >> RShr) << RShl) | (quint32(c.g >> GShr) << GShl) | quint32(c.b >> BShr);
        if (bpp == 16)
            Pixels16[y][x] = quint16(v);
        else
            Pixels32[y][x].i = v;
        break;
    }
    default:
        break;
    }
}

quint8 TFastDIB::NearestPaletteIndex(TFColor c) const
{
    const int bpp = Info.Header.BitCount;
    if (bpp < 1 || bpp > 8)
        return 0;
    const int n = 1 << bpp;
    int best = 0;
    int bestDistance = 765;
    for (int i = 0; i < n; ++i) {
        const TFColorA& e = Colors[i];
        const int d = std::abs(int(e.b) - c.b) + std::abs(int(e.g) - c.g) + std::abs(int(e.r) - c.r);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return quint8(best);
}

// ---- copying and filling ----------------------------------------------------------------------------

void TFastDIB::CopyRect(const TFastDIB& Src, int x, int y, int w, int h, int sx, int sy)
{
    if (!Bits || !Src.Bits)
        return;
    qint64 X = x, Y = y, W = w, H = h, SX = sx, SY = sy;
    // 1. Both rectangles addressed by their lowest memory row.
    if (Info.Header.Height > 0)
        Y = AbsHeight - H - Y;
    if (Src.Info.Header.Height > 0)
        SY = Src.Info.Header.Height - H - SY;
    // 2. Clipping, in this order.
    if (X < 0) {
        SX -= X;
        W += X;
        X = 0;
    }
    if (Y < 0) {
        SY -= Y;
        H += Y;
        Y = 0;
    }
    if (SX < 0) {
        X -= SX;
        W += SX;
        SX = 0;
    }
    if (SY < 0) {
        Y -= SY;
        H += SY;
        SY = 0;
    }
    if (SX >= Src.Info.Header.Width || SY >= Src.AbsHeight || X >= Info.Header.Width || Y >= AbsHeight)
        return;
    W = std::min(W, qint64(Src.Info.Header.Width) - SX);
    H = std::min(H, qint64(Src.AbsHeight) - SY);
    W = std::min(W, qint64(Info.Header.Width) - X);
    H = std::min(H, qint64(AbsHeight) - Y);
    // Clipping may leave nothing; a negative width must not reach the copy.
    if (W <= 0 || H <= 0)
        return;

    // Copying within one image: walk rows (and columns) away from the overlap.
    const bool self = &Src == this;
    const bool rowsDown = self && Y > SY;
    const int bpp = Info.Header.BitCount;
    if (bpp < 8 || bpp != Src.Info.Header.BitCount) {
        // 3. Pixel by pixel: colours converted, a paletted destination takes the nearest entries.
        const bool colsDown = self && X > SX;
        for (qint64 k = 0; k < H; ++k) {
            const qint64 i = rowsDown ? H - 1 - k : k;
            for (qint64 m = 0; m < W; ++m) {
                const qint64 j = colsDown ? W - 1 - m : m;
                SetPixel(int(Y + i), int(X + j), Src.GetPixel(int(SY + i), int(SX + j)));
            }
        }
        return;
    }
    // 4. Whole rows of bytes; at 8 bits the indices go across as they are.
    const qint64 bytesPerPixel = bpp / 8;
    const size_t n = size_t(W * bytesPerPixel);
    // Rows that span both images from their first column lie back to back in memory: one block,
    // the padding between them included (memmove keeps a copy within one image right).
    const bool wholeRows = X == 0 && SX == 0 && BWidth == Src.BWidth && qint64(n) >= qint64(BWidth) - Gap
                           && qint64(n) >= qint64(Src.BWidth) - Src.Gap && H > 1
                           && Pixels8[Y + H - 1] == Pixels8[Y] + (H - 1) * qint64(BWidth)
                           && Src.Pixels8[SY + H - 1] == Src.Pixels8[SY] + (H - 1) * qint64(BWidth);
    if (wholeRows) {
        std::memmove(Pixels8[Y], Src.Pixels8[SY], size_t((H - 1) * qint64(BWidth)) + n);
        return;
    }
    for (qint64 k = 0; k < H; ++k) {
        const qint64 i = rowsDown ? H - 1 - k : k;
        std::memmove(Pixels8[Y + i] + X * bytesPerPixel, Src.Pixels8[SY + i] + SX * bytesPerPixel, n);
    }
}

void TFastDIB::Clear(TFColor c)
{
    const int bpp = Info.Header.BitCount;
    switch (bpp) {
    case 1:
    case 4:
    case 8:
        ClearB(NearestPaletteIndex(c));
        break;
    case 24:
        ClearB(quint32(c.b) | (quint32(c.g) << 8) | (quint32(c.r) << 16));
        break;
    case 16:
    case 32:
        if (bpp == 32 && Info.Header.Compression != 3)
            ClearB(quint32(c.b) | (quint32(c.g) << 8) | (quint32(c.r) << 16));
        else
            ClearB((quint32(c.r >> RShr) << RShl) | (quint32(c.g >> GShr) << GShl) | quint32(c.b >> BShr));
        break;
    default:
        break;
    }
}

void TFastDIB::ClearB(quint32 c)
{
    if (!Bits || AbsHeight <= 0)
        return;
    const int bpp = Info.Header.BitCount;
    const qint64 pixelBytes = qint64(BWidth) - Gap;
    const bool stream = qint64(BWidth) * AbsHeight >= kStreamBytes;
    if (bpp == 24) {
        // Pixel bytes only; the row padding keeps what it holds.
        const quint8 color[3] = {quint8(c), quint8(c >> 8), quint8(c >> 16)};
        const qint64 rowBytes = qint64(Info.Header.Width) * 3;
        if (stream) {
            for (qint64 i = 0; i < AbsHeight; ++i)
                fillRepeating(Pixels8[i], rowBytes, color, 3, true);
            finishFill();
            return;
        }
        // One row built, then copied into every other row.
        fillRepeating(Pixels8[0], rowBytes, color, 3, false);
        for (qint64 i = 1; i < AbsHeight; ++i)
            std::memcpy(Pixels8[i], Pixels8[0], size_t(pixelBytes));
        return;
    }
    // 1. The value as a 32-bit fill pattern.
    quint32 pattern = c;
    if (bpp <= 8) {
        if (bpp == 1 && c == 1)
            c = 15;
        quint32 byte = c & 0xFF;
        if (bpp == 1 || bpp == 4)
            byte = (c & 0x0F) | ((c & 0x0F) << 4);
        pattern = byte * 0x01010101u;
    } else if (bpp == 16) {
        pattern = (c & 0xFFFF) | ((c & 0xFFFF) << 16);
    }
    const quint8 unit[4] = {quint8(pattern), quint8(pattern >> 8), quint8(pattern >> 16), quint8(pattern >> 24)};
    // 2. The whole block, or row by row for a sub-image (its pixel bytes only).
    const qint64 whole = imageBytes();
    if (whole > 0) {
        fillRepeating(Bits, whole, unit, 4, stream);
    } else {
        for (qint64 i = 0; i < AbsHeight; ++i)
            fillRepeating(Pixels8[i], pixelBytes, unit, 4, stream);
    }
    if (stream)
        finishFill();
}

// ---- palette ----------------------------------------------------------------------------------------

void TFastDIB::FillColors(int i1, int i2, std::span<const TFColor> list)
{
    if (list.empty() || i2 < i1)
        return;
    auto put = [this](qint64 index, const TFColor& c) {
        if (index >= 0 && index <= 255)
            Colors[index].c = c;
    };
    const qint64 n = qint64(i2) - i1;
    const qint64 last = qint64(list.size()) - 1;
    if (n == 0 || last == 0) {
        // One entry, or one colour: nothing to blend.
        for (qint64 k = i1; k <= i2; ++k)
            put(k, list[0]);
    } else {
        // 16.16 fixed point along the list; entries land exactly on a colour when it is nearer
        // than half a step.
        const qint64 step = (last * 65536) / n;
        TFColor hi = list[1];
        for (qint64 k = 0; k < n; ++k) {
            const qint64 p = k * step;
            const qint64 index = std::min(p / 65536, last);
            const TFColor lo = list[size_t(index)];
            if (index < last)
                hi = list[size_t(index + 1)];
            const qint64 f = p % 65536;
            const qint64 wa = 65536 - f;
            TFColor out;
            if (wa < step - wa) {
                out = hi;
            } else if (f < step - f) {
                out = lo;
            } else {
                out.b = quint8((lo.b * wa + hi.b * f) >> 16);
                out.g = quint8((lo.g * wa + hi.g * f) >> 16);
                out.r = quint8((lo.r * wa + hi.r * f) >> 16);
            }
            put(i1 + k, out);
        }
        put(i2, hi);
    }
    if (hDC)
        UpdateColors();
}

void TFastDIB::ShiftColors(int i1, int i2, int Amount)
{
    const qint64 n = qint64(i2) - i1;
    if (Amount > 0 && Amount < n && i1 >= 0 && i2 <= 256)
        std::rotate(Colors + i1, Colors + i2 - Amount, Colors + i2);
    if (hDC)
        UpdateColors();
}

void TFastDIB::UpdateColors()
{
    const int bpp = Info.Header.BitCount;
    if (!hDC || bpp < 1 || bpp > 8)
        return;
    HBITMAP section = hDC->currentBitmap();
    if (!section)
        return;
    const int n = 1 << bpp;
    for (int i = 0; i < n; ++i)
        section->colorTable()[i] = Colors[i].i;
}

// ---- drawing tools ----------------------------------------------------------------------------------

void TFastDIB::SetPen(quint32 Style, quint32 Width, quint32 Color)
{
    HPEN pen = CreatePen(int(Style), int(std::min<quint32>(Width, 0x7FFFFFFF)), Color);
    // Without a context the previous pen is still ours to delete.
    HPEN old = hDC ? hDC->SelectObject(pen) : hPen;
    hPen = pen;
    DeleteObject(old);
}

void TFastDIB::SetBrush(quint32 Style, quint32 Hatch, quint32 Color)
{
    HBRUSH brush = CreateBrushIndirect(LOGBRUSH{int(Style), Color, int(Hatch)});
    HBRUSH old = hDC ? hDC->SelectObject(brush) : hBrush;
    hBrush = brush;
    DeleteObject(old);
}

void TFastDIB::SetFont(const QString& Font, qint32 Size)
{
    LOGFONT lf;
    lf.lfHeight = Size;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfFaceName = Font;
    HFONT font = CreateFontIndirect(lf);
    HFONT old = hDC ? hDC->SelectObject(font) : hFont;
    hFont = font;
    DeleteObject(old);
}

void TFastDIB::SetFontEx(const QString& Font, qint32 Width, qint32 Height, qint32 Weight, bool Italic, bool Underline,
                         bool Strike)
{
    LOGFONT lf;
    lf.lfHeight = Height;
    lf.lfWidth = Width;
    lf.lfWeight = Weight;
    lf.lfItalic = Italic;
    lf.lfUnderline = Underline;
    lf.lfStrikeOut = Strike;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfFaceName = Font;
    HFONT font = CreateFontIndirect(lf);
    HFONT old = hDC ? hDC->SelectObject(font) : hFont;
    hFont = font;
    DeleteObject(old);
}

void TFastDIB::SetTextColor(quint32 Color) { ::SetTextColor(hDC, Color); }
void TFastDIB::SetBkColor(quint32 Color) { ::SetBkColor(hDC, Color); }
void TFastDIB::SetTransparent(bool Transparent) { ::SetBkMode(hDC, Transparent ? TRANSPARENT : OPAQUE); }
void TFastDIB::MoveTo(int x, int y) { ::MoveToEx(hDC, x, y, nullptr); }
void TFastDIB::LineTo(int x, int y) { ::LineTo(hDC, x, y); }
void TFastDIB::Rectangle(int x1, int y1, int x2, int y2) { ::Rectangle(hDC, x1, y1, x2, y2); }
void TFastDIB::Ellipse(int x1, int y1, int x2, int y2) { ::Ellipse(hDC, x1, y1, x2, y2); }

void TFastDIB::FillRect(const RECT& Rect)
{
    if (hBrush)
        ::FillRect(hDC, &Rect, hBrush);
}

void TFastDIB::Polygon(std::span<const POINT> Points) { ::Polygon(hDC, Points.data(), int(Points.size())); }
void TFastDIB::Polyline(std::span<const POINT> Points) { ::Polyline(hDC, Points.data(), int(Points.size())); }
void TFastDIB::TextOut(int x, int y, const QString& Text) { ::TextOut(hDC, x, y, Text); }
void TFastDIB::DrawText(const QString& Text, RECT Rect, quint32 Flags) { ::DrawText(hDC, Text, &Rect, Flags); }
