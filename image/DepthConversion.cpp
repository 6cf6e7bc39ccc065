// Depth conversions: one routine per kind of destination, each walking the rows of both images
// from their own starts (row padding is never read as pixels or written). Per-pixel work is a
// table lookup built once per call; paletted destinations get the colours met, in memory order.
#include "image/DepthConversion.h"

#include "image/TFastDIB.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

bool isDepth(int bpp)
{
    return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

bool isPaletted(int bpp)
{
    return bpp <= 8;
}

const quint8* rowOf(const TFastDIB& dib, int y)
{
    return static_cast<const quint8*>(dib.Scanlines[y]);
}

quint8* rowOf(TFastDIB& dib, int y)
{
    return static_cast<quint8*>(dib.Scanlines[y]);
}

// Sub-byte layouts: the leftmost pixel in the most significant bit or the high nibble.
inline int index1(const quint8* row, int x)
{
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

inline int index4(const quint8* row, int x)
{
    return (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
}

inline int readIndex(int bpp, const quint8* row, int x)
{
    switch (bpp) {
    case 1: return index1(row, x);
    case 4: return index4(row, x);
    default: return row[x];
    }
}

// Writes only the pixel's own bits; the other pixels sharing the byte keep theirs.
inline void writeIndex(int bpp, quint8* row, int x, int index)
{
    switch (bpp) {
    case 1: {
        const quint8 bit = quint8(0x80 >> (x & 7));
        row[x >> 3] = quint8((row[x >> 3] & ~bit) | ((index & 1) ? bit : 0));
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = quint8((row[x >> 1] & 0xF0) | (index & 0x0F));
        else
            row[x >> 1] = quint8((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
        break;
    default:
        row[x] = quint8(index);
        break;
    }
}

inline quint32 read16(const quint8* row, int x)
{
    quint16 v;
    std::memcpy(&v, row + 2 * x, 2);
    return v;
}

inline quint32 read24(const quint8* row, int x)
{
    const quint8* p = row + 3 * x;
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16);
}

inline quint32 read32(const quint8* row, int x)
{
    quint32 v;
    std::memcpy(&v, row + 4 * x, 4);
    return v;
}

inline void write16(quint8* row, int x, quint32 v)
{
    const quint16 w = quint16(v);
    std::memcpy(row + 2 * x, &w, 2);
}

inline void write32(quint8* row, int x, quint32 v)
{
    std::memcpy(row + 4 * x, &v, 4);
}

bool is888(const TFastDIB& dib)
{
    return dib.Bpr == 8 && dib.Bpg == 8 && dib.Bpb == 8;
}

// A channel of n bits widened to a byte as ((v + 1) shl (8 - n)) - 1, so 0 becomes 2^(8-n) - 1
// and the largest value 255. Deliberately not the bit replication of GetPixel.
inline quint8 widenChannel(quint32 v, int n)
{
    if (n >= 8)
        return quint8(v);
    v &= (1u << n) - 1;
    return quint8(((v + 1) << (8 - n)) - 1);
}

TFColorA widened(const TFastDIB& src, quint32 p)
{
    TFColorA c;
    c.b = widenChannel(p & src.Info.BMask, src.Bpb);
    c.g = widenChannel(p >> src.GShl, src.Bpg);
    c.r = widenChannel(p >> src.RShl, src.Bpr);
    c.a = 0;
    return c;
}

// Packing into a 16- or 32-bit destination with its channel shifts.
inline quint32 pack(const TFastDIB& dst, quint32 r, quint32 g, quint32 b)
{
    return ((r >> dst.RShr) << dst.RShl) | ((g >> dst.GShr) << dst.GShl) | (b >> dst.BShr);
}

inline quint32 pack(const TFastDIB& dst, TFColorA c)
{
    return pack(dst, c.r, c.g, c.b);
}

TFColorA entryOf(quint8 b, quint8 g, quint8 r)
{
    TFColorA c;
    c.b = b;
    c.g = g;
    c.r = r;
    c.a = 0;
    return c;
}

TFColorA entryOf(TFColor c)
{
    return entryOf(c.b, c.g, c.r);
}

// Colours met, indexed directly by their value (2^24 for 24- and 32-bit sources, 2^16 for
// 16-bit ones). Each new colour takes the next index until `limit`; later new colours get
// `fullIndex`. The index table is only read where the seen bit is set, so it stays uninitialised.
class MetColours {
public:
    MetColours(size_t span, int limit, int fullIndex)
        : m_seen((span + 63) / 64), m_index(new quint8[span]), m_limit(limit), m_fullIndex(fullIndex)
    {
    }

    template <typename NewEntry>
    int indexOf(quint32 key, NewEntry&& newEntry)
    {
        quint64& word = m_seen[key >> 6];
        const quint64 bit = quint64(1) << (key & 63);
        if (word & bit)
            return m_index[key];
        if (m_count >= m_limit)
            return m_fullIndex;
        word |= bit;
        m_index[key] = quint8(m_count);
        newEntry(m_count);
        return m_count++;
    }

private:
    std::vector<quint64> m_seen;
    std::unique_ptr<quint8[]> m_index;
    int m_limit;
    int m_fullIndex;
    int m_count = 0;
};

struct Area {
    int width;
    int rows;
};

// Equal depths: the pixel bytes of each row as they are; palettes and masks are not touched.
void copyRows(const TFastDIB& src, TFastDIB& dst, Area area)
{
    const size_t bytes = (size_t(area.width) * src.Info.Header.BitCount + 7) / 8;
    for (int y = 0; y < area.rows; ++y)
        std::memmove(rowOf(dst, y), rowOf(src, y), bytes); // Src may be Dst
}

// Paletted source into a paletted destination: indices carried over, the palette entries the
// source can use copied.
void palettedToPaletted(const TFastDIB& src, TFastDIB& dst, Area area)
{
    const int sb = src.Info.Header.BitCount, db = dst.Info.Header.BitCount;
    const int entries = 1 << std::min(sb, db);
    for (int i = 0; i < entries; ++i)
        dst.Colors[i] = src.Colors[i];
    // Indices beyond the destination's range keep their low bit or nibble.
    for (int y = 0; y < area.rows; ++y) {
        const quint8* s = rowOf(src, y);
        quint8* d = rowOf(dst, y);
        for (int x = 0; x < area.width; ++x)
            writeIndex(db, d, x, readIndex(sb, s, x));
    }
}

// 16-, 24- or 32-bit source into 1 bit: the colour of memory row 0, column 0 and the first
// colour that differs from it, in memory order, become entries 0 and 1; pixels of the second
// colour are 1, all others 0.
void directTo1(const TFastDIB& src, TFastDIB& dst, Area area)
{
    const int sb = src.Info.Header.BitCount;
    auto key = [sb](const quint8* row, int x) {
        return sb == 16 ? read16(row, x) : (sb == 24 ? read24(row, x) : read32(row, x));
    };
    auto entry = [&src, sb](quint32 k) {
        return sb == 24 ? entryOf(quint8(k), quint8(k >> 8), quint8(k >> 16)) : widened(src, k);
    };

    const quint32 first = key(rowOf(src, 0), 0);
    quint32 second = first;
    bool found = false;
    for (int y = 0; y < area.rows && !found; ++y) {
        const quint8* s = rowOf(src, y);
        for (int x = 0; x < area.width; ++x) {
            const quint32 k = key(s, x);
            if (k != first) {
                second = k;
                found = true;
                break;
            }
        }
    }
    dst.Colors[0] = entry(first);
    dst.Colors[1] = entry(second);
    for (int y = 0; y < area.rows; ++y) {
        const quint8* s = rowOf(src, y);
        quint8* d = rowOf(dst, y);
        for (int x = 0; x < area.width; ++x)
            writeIndex(1, d, x, (found && key(s, x) == second) ? 1 : 0);
    }
}

// 16-, 24- or 32-bit source into 4 or 8 bits through the palette of colours met.
void directToPaletted(const TFastDIB& src, TFastDIB& dst, Area area)
{
    const int sb = src.Info.Header.BitCount, db = dst.Info.Header.BitCount;
    const int limit = db == 4 ? 16 : 256;
    // The index a colour gets once the palette is full differs by route.
    const int fullIndex = db == 4 ? 15 : (sb == 16 ? 255 : 0);
    MetColours met(sb == 16 ? size_t(1) << 16 : size_t(1) << 24, limit, fullIndex);

    for (int y = 0; y < area.rows; ++y) {
        const quint8* s = rowOf(src, y);
        quint8* d = rowOf(dst, y);
        for (int x = 0; x < area.width; ++x) {
            int index = 0;
            if (sb == 16) {
                const quint32 p = read16(s, x);
                index = met.indexOf(p, [&](int i) {
                    // To 4 bits the entry is what GetPixel shows; to 8 bits the widened channels.
                    dst.Colors[i] = db == 4 ? entryOf(src.GetPixel(y, x)) : widened(src, p);
                });
            } else if (sb == 24) {
                const quint32 p = read24(s, x);
                index = met.indexOf(p, [&](int i) { dst.Colors[i] = entryOf(quint8(p), quint8(p >> 8), quint8(p >> 16)); });
            } else {
                const quint32 p = read32(s, x);
                index = met.indexOf(p & 0xFFFFFFu, [&](int i) {
                    if (db == 4)
                        dst.Colors[i].i = p; // the whole pixel, fourth byte included
                    else
                        dst.Colors[i] = widened(src, p);
                });
            }
            writeIndex(db, d, x, index);
        }
    }
}

// Paletted source into 16, 24 or 32 bits through a table of 256 destination values.
void palettedToDirect(const TFastDIB& src, TFastDIB& dst, Area area)
{
    const int sb = src.Info.Header.BitCount, db = dst.Info.Header.BitCount;
    quint32 table[256];
    for (int i = 0; i < 256; ++i) {
        const TFColorA c = src.Colors[i];
        table[i] = db == 24 ? (quint32(c.b) | (quint32(c.g) << 8) | (quint32(c.r) << 16)) : pack(dst, c);
    }
    for (int y = 0; y < area.rows; ++y) {
        const quint8* s = rowOf(src, y);
        quint8* d = rowOf(dst, y);
        for (int x = 0; x < area.width; ++x) {
            const quint32 v = table[readIndex(sb, s, x)];
            if (db == 16)
                write16(d, x, v);
            else if (db == 32)
                write32(d, x, v);
            else
                std::memcpy(d + 3 * x, &v, 3);
        }
    }
}

// 16-bit source into 24 or 32 bits through a table of all 65536 values.
void from16(const TFastDIB& src, TFastDIB& dst, Area area)
{
    const int db = dst.Info.Header.BitCount;
    std::vector<quint32> table(65536);
    for (quint32 p = 0; p < 65536; ++p) {
        const TFColorA c = widened(src, p);
        if (db == 24)
            table[p] = quint32(c.b) | (quint32(c.g) << 8) | (quint32(c.r) << 16);
        else
            table[p] = p == 0 ? 0 : pack(dst, c); // the value 0 stays 0 at 32 bits only
    }
    for (int y = 0; y < area.rows; ++y) {
        const quint8* s = rowOf(src, y);
        quint8* d = rowOf(dst, y);
        for (int x = 0; x < area.width; ++x) {
            const quint32 v = table[read16(s, x)];
            if (db == 24)
                std::memcpy(d + 3 * x, &v, 3);
            else
                write32(d, x, v);
        }
    }
}

// 24 or 32 bits into 16 bits, 32 into 24, and 24 into 32.
void directToDirect(const TFastDIB& src, TFastDIB& dst, Area area)
{
    const int sb = src.Info.Header.BitCount, db = dst.Info.Header.BitCount;
    const bool src888 = is888(src), dst888 = is888(dst);
    for (int y = 0; y < area.rows; ++y) {
        const quint8* s = rowOf(src, y);
        quint8* d = rowOf(dst, y);
        for (int x = 0; x < area.width; ++x) {
            if (sb == 24 && db == 16) {
                const quint8* p = s + 3 * x;
                write16(d, x, pack(dst, p[2], p[1], p[0]));
            } else if (sb == 32 && db == 16) {
                write16(d, x, pack(dst, widened(src, read32(s, x))));
            } else if (sb == 32 && db == 24) {
                if (src888) {
                    std::memcpy(d + 3 * x, s + 4 * x, 3);
                } else {
                    const TFColorA c = widened(src, read32(s, x));
                    std::memcpy(d + 3 * x, &c, 3);
                }
            } else { // 24 into 32
                const quint8* p = s + 3 * x;
                if (dst888)
                    std::memcpy(d + 4 * x, p, 3); // the fourth byte keeps its value
                else
                    write32(d, x, pack(dst, p[2], p[1], p[0]));
            }
        }
    }
}

} // namespace

void ConvertPixels(const TFastDIB& Src, TFastDIB& Dst)
{
    const int sb = Src.Info.Header.BitCount, db = Dst.Info.Header.BitCount;
    if (!isDepth(sb) || !isDepth(db) || !Src.Scanlines || !Dst.Scanlines)
        return;
    // A destination sized differently from the source is not read or written beyond either.
    const Area area{std::min(Src.Info.Header.Width, Dst.Info.Header.Width), std::min(Src.AbsHeight, Dst.AbsHeight)};
    if (area.width <= 0 || area.rows <= 0)
        return;

    if (sb == db) {
        copyRows(Src, Dst, area);
        return;
    }
    try {
        if (db == 1 && sb >= 16)
            directTo1(Src, Dst, area);
        else if (isPaletted(db) && isPaletted(sb))
            palettedToPaletted(Src, Dst, area);
        else if (isPaletted(db))
            directToPaletted(Src, Dst, area);
        else if (isPaletted(sb))
            palettedToDirect(Src, Dst, area);
        else if (sb == 16)
            from16(Src, Dst, area);
        else
            directToDirect(Src, Dst, area);
    } catch (const std::bad_alloc&) {
        // The colour tables did not fit: image operations report nothing, Dst stays as it was.
        return;
    }
    if (isPaletted(db) && Dst.hDC)
        Dst.UpdateColors();
}

void SetPixelDepth(TFastDIB& Dib, quint8 fBpp)
{
    if (fBpp == Dib.Info.Header.BitCount || !isDepth(fBpp))
        return;
    auto converted = std::make_unique<TFastDIB>();
    converted->SetSize(Dib.Info.Header.Width, Dib.Info.Header.Height, fBpp);
    // A buffer that could not be made must not cost the image its pixels.
    if (Dib.Scanlines && !converted->Scanlines)
        return;
    ConvertPixels(Dib, *converted);
    Dib.Assign(*converted);
    converted->Release();
}
