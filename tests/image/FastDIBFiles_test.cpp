// Bitmap files, the clipboard and toolkit images in and out of TFastDIB. Files are built and
// read back byte by byte here, independently of the reader and writer under test.
#include "image/TFastDIB.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtEndian>

#include <bit>
#include <csignal>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

void put16(QByteArray& b, int at, quint16 v) { qToLittleEndian(v, b.data() + at); }
void put32(QByteArray& b, int at, quint32 v) { qToLittleEndian(v, b.data() + at); }
quint16 get16(const QByteArray& b, int at) { return qFromLittleEndian<quint16>(b.constData() + at); }
quint32 get32(const QByteArray& b, int at) { return qFromLittleEndian<quint32>(b.constData() + at); }

qint64 strideOf(int width, int bpp) { return ((qint64(width) * bpp + 31) / 32) * 4; }
qint64 pixelBytesOf(int width, int bpp) { return (qint64(width) * bpp + 7) / 8; }

quint8 patternByte(int row, int k) { return quint8(row * 53 + k * 17 + 11); }

TFColorA paletteEntry(int i) { return TFColorA{{quint8(i * 3), quint8(255 - i), quint8(i * 7), 0}}; }

void fillPattern(TFastDIB& dib)
{
    const qint64 bytes = pixelBytesOf(dib.Info.Header.Width, dib.Info.Header.BitCount);
    for (int y = 0; y < dib.AbsHeight; ++y)
        for (qint64 k = 0; k < bytes; ++k)
            dib.Pixels8[y][k] = patternByte(y, int(k));
}

// Describes the first row whose pixel bytes differ from `expected(row, byte)`, or returns "".
std::string firstDifference(const TFastDIB& dib, const std::function<quint8(int, int)>& expected)
{
    const qint64 bytes = pixelBytesOf(dib.Info.Header.Width, dib.Info.Header.BitCount);
    for (int y = 0; y < dib.AbsHeight; ++y)
        for (qint64 k = 0; k < bytes; ++k)
            if (dib.Pixels8[y][k] != expected(y, int(k)))
                return "memory row " + std::to_string(y) + ", byte " + std::to_string(k) + ": got "
                    + std::to_string(dib.Pixels8[y][k]) + ", expected " + std::to_string(expected(y, int(k)));
    return {};
}

// Describes the first of `count` palette entries that is not paletteEntry(i) (or 0 from `known` on).
std::string firstPaletteDifference(const TFColorA* colors, int count, int known)
{
    for (int i = 0; i < count; ++i) {
        const quint32 expected = i < known ? paletteEntry(i).i : 0u;
        if (colors[i].i != expected)
            return "palette entry " + std::to_string(i) + ": got " + std::to_string(colors[i].i) + ", expected "
                + std::to_string(expected);
    }
    return {};
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A bitmap file: file header, info header of `headerSize` bytes (12: core), `table` (palette or
// masks), then `pixels`.
QByteArray bitmapFile(int headerSize, qint32 w, qint32 h, int bpp, quint32 compression, const QByteArray& table,
                      const QByteArray& pixels, quint32 clrUsed = 0)
{
    QByteArray b(14 + headerSize, '\0');
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 10, quint32(14 + headerSize + table.size()));
    put32(b, 14, quint32(headerSize));
    if (headerSize == 12) {
        put16(b, 18, quint16(w));
        put16(b, 20, quint16(h));
        put16(b, 22, 1);
        put16(b, 24, quint16(bpp));
    } else {
        put32(b, 18, quint32(w));
        put32(b, 22, quint32(h));
        put16(b, 26, 1);
        put16(b, 28, quint16(bpp));
        put32(b, 30, compression);
        put32(b, 34, quint32(pixels.size()));
        put32(b, 46, clrUsed);
    }
    b += table;
    b += pixels;
    put32(b, 2, quint32(b.size()));
    return b;
}

QByteArray masks(quint32 r, quint32 g, quint32 b)
{
    QByteArray m(12, '\0');
    put32(m, 0, r);
    put32(m, 4, g);
    put32(m, 8, b);
    return m;
}

QByteArray quadPalette(int count)
{
    QByteArray p;
    for (int i = 0; i < count; ++i) {
        const TFColorA e = paletteEntry(i);
        p += char(e.b);
        p += char(e.g);
        p += char(e.r);
        p += char(0);
    }
    return p;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b += char(quint8(v));
    return b;
}

class FastDIBFilesTest : public testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

// ---- round trip -----------------------------------------------------------------------------------

struct DepthCase {
    const char* name;
    int bpp;
    int r, g, b; // explicit channel widths (masks), or 0
    int width;
    int height; // negative: top-down
    int paletteBytes;
    quint32 compression;
    quint32 rMask, gMask, bMask; // written when compression is 3
};

TEST_F(FastDIBFilesTest, SavesAndLoadsEveryDepth)
{
    const DepthCase cases[] = {
        {"1 bit", 1, 0, 0, 0, 13, 3, 8, 0, 0, 0, 0},
        {"4 bits", 4, 0, 0, 0, 5, 3, 64, 0, 0, 0, 0},
        {"8 bits", 8, 0, 0, 0, 5, 3, 1024, 0, 0, 0, 0},
        {"8 bits top-down", 8, 0, 0, 0, 5, -3, 1024, 0, 0, 0, 0},
        {"16 bits 5-5-5", 16, 0, 0, 0, 5, 3, 0, 0, 0, 0, 0},
        {"16 bits 5-6-5 masks", 16, 5, 6, 5, 5, 3, 12, 3, 0xF800, 0x07E0, 0x001F},
        {"24 bits 3 x 2", 24, 0, 0, 0, 3, 2, 0, 0, 0, 0, 0},
        {"24 bits", 24, 0, 0, 0, 5, 3, 0, 0, 0, 0, 0},
        {"24 bits top-down", 24, 0, 0, 0, 5, -3, 0, 0, 0, 0, 0},
        {"32 bits", 32, 0, 0, 0, 5, 3, 0, 0, 0, 0, 0},
        {"32 bits masks 8-8-8", 32, 8, 8, 8, 5, 3, 12, 3, 0xFF0000, 0x00FF00, 0x0000FF},
    };
    for (const DepthCase& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB dib;
        dib.SetSizeEx(c.width, c.height, quint8(c.bpp), quint8(c.r), quint8(c.g), quint8(c.b));
        ASSERT_NE(dib.Bits, nullptr);
        fillPattern(dib);
        if (c.bpp <= 8) {
            for (int i = 0; i < (1 << c.bpp); ++i)
                dib.Info.Colors[i] = paletteEntry(i);
        }
        dib.Info.Header.XPelsPerMeter = 47244; // 1200 dpi
        dib.Info.Header.YPelsPerMeter = 47244;

        const QString file = path(QStringLiteral("round.bmp"));
        QString error;
        ASSERT_EQ(dib.SaveToFile(file, &error), 0) << error.toStdString();

        // The file, byte by byte.
        const QByteArray b = readAll(file);
        const int rows = c.height < 0 ? -c.height : c.height;
        const qint64 stride = strideOf(c.width, c.bpp);
        const qint64 offset = 54 + c.paletteBytes;
        ASSERT_EQ(b.size(), offset + stride * rows);
        EXPECT_EQ(b.left(2), QByteArray("BM"));
        EXPECT_EQ(get32(b, 2), quint32(b.size()));
        EXPECT_EQ(get32(b, 6), 0u);
        EXPECT_EQ(get32(b, 10), quint32(offset));
        EXPECT_EQ(get32(b, 14), 40u);
        EXPECT_EQ(qint32(get32(b, 18)), c.width);
        EXPECT_EQ(qint32(get32(b, 22)), c.height);
        EXPECT_EQ(get16(b, 26), 1);
        EXPECT_EQ(get16(b, 28), c.bpp);
        EXPECT_EQ(get32(b, 30), c.compression);
        EXPECT_EQ(get32(b, 34), quint32(stride * rows));
        EXPECT_EQ(get32(b, 38), 47244u);
        if (c.compression == 3) {
            EXPECT_EQ(get32(b, 54), c.rMask);
            EXPECT_EQ(get32(b, 58), c.gMask);
            EXPECT_EQ(get32(b, 62), c.bMask);
        }
        if (c.bpp <= 8) {
            EXPECT_EQ(firstPaletteDifference(reinterpret_cast<const TFColorA*>(b.constData() + 54), 1 << c.bpp, 256), "");
        }
        for (int y = 0; y < rows; ++y)
            for (qint64 k = 0; k < pixelBytesOf(c.width, c.bpp); ++k)
                ASSERT_EQ(quint8(b[offset + y * stride + k]), patternByte(y, int(k))) << "row " << y << " byte " << k;

        // Read back into an image that held something else.
        TFastDIB back;
        back.SetSize(2, 2, 24);
        ASSERT_TRUE(back.LoadFromFile(file, &error)) << error.toStdString();
        EXPECT_EQ(back.Info.Header.Width, c.width);
        EXPECT_EQ(back.Info.Header.Height, c.height);
        EXPECT_EQ(back.Info.Header.BitCount, c.bpp);
        EXPECT_EQ(back.Info.Header.Compression, c.compression);
        EXPECT_EQ(back.Info.Header.XPelsPerMeter, 47244);
        if (c.bpp == 16 || c.bpp == 32) {
            EXPECT_EQ(back.Info.RMask, dib.Info.RMask);
            EXPECT_EQ(back.Info.GMask, dib.Info.GMask);
            EXPECT_EQ(back.Info.BMask, dib.Info.BMask);
        }
        if (c.bpp <= 8) {
            EXPECT_EQ(firstPaletteDifference(back.Colors, 1 << c.bpp, 256), "");
        }
        EXPECT_EQ(firstDifference(back, patternByte), "");
    }
}

// ---- files from elsewhere -------------------------------------------------------------------------

struct ForeignCase {
    const char* name;
    QByteArray file;
    int width, height, bpp;
    quint32 compression;
    quint32 rMask, gMask, bMask;
    int paletteEntries;        // entries expected as paletteEntry(i); the rest must be 0
    QByteArray expectedPixels; // pixel bytes of each memory row, one row after the other
};

TEST_F(FastDIBFilesTest, ReadsHeadersOfEveryKind)
{
    QByteArray corePalette;
    for (int i = 0; i < 256; ++i) {
        const TFColorA e = paletteEntry(i);
        corePalette += char(e.b);
        corePalette += char(e.g);
        corePalette += char(e.r);
    }
    QByteArray v5Masks(124 - 40, '\0');
    put32(v5Masks, 0, 0x00FF0000);
    put32(v5Masks, 4, 0x0000FF00);
    put32(v5Masks, 8, 0x000000FF);
    put32(v5Masks, 12, 0xFF000000);
    QByteArray v5 = bitmapFile(40, 2, 1, 32, 3, QByteArray(), bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    v5.insert(54, v5Masks); // a 124-byte header: the masks are part of it
    put32(v5, 14, 124);
    put32(v5, 10, 14 + 124);
    put32(v5, 2, quint32(v5.size()));
    QByteArray v4 = bitmapFile(40, 2, 1, 16, 3, QByteArray(), bytes({0x1F, 0xF8, 0xE0, 0x07}));
    QByteArray v4Rest(108 - 40, '\0');
    put32(v4Rest, 0, 0xF800);
    put32(v4Rest, 4, 0x07E0);
    put32(v4Rest, 8, 0x001F);
    v4.insert(54, v4Rest);
    put32(v4, 14, 108);
    put32(v4, 10, 14 + 108);
    put32(v4, 2, quint32(v4.size()));
    QByteArray gap = bitmapFile(40, 2, 1, 8, 0, quadPalette(256) + bytes({9, 9, 9, 9}), bytes({4, 5, 0, 0}));

    const ForeignCase cases[] = {
        {"core header, 8 bits: palette of three-byte entries", bitmapFile(12, 2, 2, 8, 0, corePalette, bytes({1, 2, 0, 0, 3, 4, 0, 0})),
         2, 2, 8, 0, 0, 0, 0, 256, bytes({1, 2, 3, 4})},
        {"core header, 24 bits", bitmapFile(12, 2, 1, 24, 0, QByteArray(), bytes({1, 2, 3, 4, 5, 6, 0, 0})), 2, 1, 24, 0, 0,
         0, 0, 0, bytes({1, 2, 3, 4, 5, 6})},
        {"short colour table (ClrUsed 2)", bitmapFile(40, 4, 1, 8, 0, quadPalette(2), bytes({0, 1, 1, 0}), 2), 4, 1, 8, 0,
         0, 0, 0, 2, bytes({0, 1, 1, 0})},
        {"pixel offset past the colour table", gap, 2, 1, 8, 0, 0, 0, 0, 256, bytes({4, 5})},
        {"colour table ends at the pixel offset (ClrUsed 0)", bitmapFile(40, 4, 1, 8, 0, quadPalette(2), bytes({1, 0, 0, 1})),
         4, 1, 8, 0, 0, 0, 0, 2, bytes({1, 0, 0, 1})},
        {"40-byte header with 5-6-5 masks", bitmapFile(40, 2, 1, 16, 3, masks(0xF800, 0x07E0, 0x001F), bytes({1, 2, 3, 4})),
         2, 1, 16, 3, 0xF800, 0x07E0, 0x001F, 0, bytes({1, 2, 3, 4})},
        {"108-byte header, 16 bits 5-6-5", v4, 2, 1, 16, 3, 0xF800, 0x07E0, 0x001F, 0, bytes({0x1F, 0xF8, 0xE0, 0x07})},
        {"124-byte header, 32 bits with alpha mask", v5, 2, 1, 32, 3, 0xFF0000, 0xFF00, 0xFF, 0,
         bytes({1, 2, 3, 4, 5, 6, 7, 8})},
        {"top-down 24 bits", bitmapFile(40, 1, -2, 24, 0, QByteArray(), bytes({1, 2, 3, 0, 4, 5, 6, 0})), 1, -2, 24, 0, 0,
         0, 0, 0, bytes({1, 2, 3, 4, 5, 6})},
        {"last row without its padding", bitmapFile(40, 1, 2, 24, 0, QByteArray(), bytes({1, 2, 3, 0, 4, 5, 6})), 1, 2,
         24, 0, 0, 0, 0, 0, bytes({1, 2, 3, 4, 5, 6})},
    };
    for (const ForeignCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(QStringLiteral("foreign.bmp"));
        ASSERT_TRUE(writeAll(file, c.file));
        TFastDIB dib;
        QString error;
        ASSERT_TRUE(dib.LoadFromFile(file, &error)) << error.toStdString();
        EXPECT_EQ(dib.Info.Header.Width, c.width);
        EXPECT_EQ(dib.Info.Header.Height, c.height);
        EXPECT_EQ(dib.Info.Header.BitCount, c.bpp);
        EXPECT_EQ(dib.Info.Header.Compression, c.compression);
        if (c.compression == 3) {
            EXPECT_EQ(dib.Info.RMask, c.rMask);
            EXPECT_EQ(dib.Info.GMask, c.gMask);
            EXPECT_EQ(dib.Info.BMask, c.bMask);
        }
        if (c.bpp <= 8) {
            EXPECT_EQ(firstPaletteDifference(dib.Colors, 1 << c.bpp, c.paletteEntries), "");
        }
        const int rowBytes = int(pixelBytesOf(c.width, c.bpp));
        EXPECT_EQ(firstDifference(dib, [&](int y, int k) { return quint8(c.expectedPixels[y * rowBytes + k]); }), "");
    }
}

// ---- run-length data ------------------------------------------------------------------------------

struct RleCase {
    const char* name;
    int bpp; // 8: compression 1, 4: compression 2
    int width, height;
    QByteArray data;
    std::vector<std::vector<int>> indices; // per memory row, from row 0 (the bottom row)
};

int indexAt(const TFastDIB& dib, int row, int x)
{
    const quint8* line = dib.Pixels8[row];
    if (dib.Info.Header.BitCount == 8)
        return line[x];
    return (x & 1) ? line[x >> 1] & 0x0F : line[x >> 1] >> 4;
}

TEST_F(FastDIBFilesTest, DecodesRunLengthData)
{
    const RleCase cases[] = {
        {"8 bits: a run, end of row, a literal, end of data", 8, 4, 2, bytes({3, 7, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1}),
         {{7, 7, 7, 0}, {1, 2, 3, 0}}},
        {"8 bits: a run longer than the row stops at its end", 8, 4, 2, bytes({6, 9, 0, 0, 2, 5, 0, 1}),
         {{9, 9, 9, 9}, {5, 5, 0, 0}}},
        {"8 bits: a literal longer than the row stops at its end", 8, 2, 2, bytes({0, 3, 4, 5, 6, 0, 0, 0, 1, 8, 0, 1}),
         {{4, 5}, {8, 0}}},
        {"8 bits: an offset moves right and up", 8, 4, 3, bytes({1, 4, 0, 2, 2, 1, 1, 8, 0, 1}),
         {{4, 0, 0, 0}, {0, 0, 0, 8}, {0, 0, 0, 0}}},
        {"8 bits: no end code after the last row", 8, 2, 2, bytes({2, 1, 0, 0, 2, 2, 0, 0}), {{1, 1}, {2, 2}}},
        {"8 bits: an offset past the last row ends the data", 8, 2, 2, bytes({1, 3, 0, 2, 0, 5, 9, 9}), {{3, 0}, {0, 0}}},
        {"4 bits: a run alternates the nibbles", 4, 6, 2, bytes({5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1}),
         {{1, 2, 1, 2, 1, 0}, {3, 4, 5, 0, 0, 0}}},
        {"4 bits: an odd literal is padded to an even byte count", 4, 6, 2,
         bytes({0, 5, 0x12, 0x34, 0x50, 0x00, 0, 0, 2, 0x77, 0, 1}), {{1, 2, 3, 4, 5, 0}, {7, 7, 0, 0, 0, 0}}},
        {"4 bits: a run is cut at the row's end", 4, 3, 1, bytes({9, 0xAB, 0, 1}), {{0xA, 0xB, 0xA}}},
    };
    for (const RleCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(QStringLiteral("rle.bmp"));
        ASSERT_TRUE(writeAll(file, bitmapFile(40, c.width, c.height, c.bpp, c.bpp == 8 ? 1 : 2, quadPalette(1 << c.bpp), c.data)));
        TFastDIB dib;
        QString error;
        ASSERT_TRUE(dib.LoadFromFile(file, &error)) << error.toStdString();
        ASSERT_EQ(dib.Info.Header.Width, c.width);
        ASSERT_EQ(dib.Info.Header.Height, c.height);
        ASSERT_EQ(dib.Info.Header.BitCount, c.bpp);
        EXPECT_EQ(dib.Info.Header.Compression, 0u); // decoded into plain rows
        for (int row = 0; row < c.height; ++row)
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(indexAt(dib, row, x), c.indices[row][x]) << "memory row " << row << ", column " << x;
    }
}

// ---- bad input ------------------------------------------------------------------------------------

struct BadCase {
    const char* name;
    QByteArray file;
    const char* reason; // part of the message
};

QByteArray with32(QByteArray b, int at, quint32 v)
{
    put32(b, at, v);
    return b;
}

QByteArray with16(QByteArray b, int at, quint16 v)
{
    put16(b, at, v);
    return b;
}

TEST_F(FastDIBFilesTest, RefusesBadFilesAndKeepsTheImage)
{
    const QByteArray rgb = bitmapFile(40, 2, 2, 24, 0, QByteArray(), QByteArray(16, '\x5A'));
    const QByteArray indexed = bitmapFile(40, 2, 2, 8, 0, quadPalette(256), QByteArray(8, '\x01'));
    const QByteArray rle = bitmapFile(40, 2, 3, 8, 1, quadPalette(256), bytes({2, 1, 0, 0, 2, 2, 0, 1}));
    const QByteArray masked = bitmapFile(40, 2, 1, 16, 3, masks(0xF800, 0x07E0, 0x001F), bytes({1, 2, 3, 4}));
    const qint32 minInt = std::numeric_limits<qint32>::min();

    const BadCase cases[] = {
        {"empty file", QByteArray(), "Not a bitmap"},
        {"only the signature", QByteArray("BM"), "Not a bitmap"},
        {"wrong signature", rgb.mid(2).prepend("XY"), "Not a bitmap"},
        {"file header only", rgb.left(14), "Not a bitmap"},
        {"info header cut short", rgb.left(30), "header is cut short"},
        {"header size 20", with32(rgb, 14, 20), "header size"},
        {"header size 64", with32(rgb, 14, 64), "header size"},
        {"header size 0xFFFFFFFF", with32(rgb, 14, 0xFFFFFFFFu), "header size"},
        {"width 0", with32(rgb, 18, 0), "Invalid bitmap size"},
        {"negative width", with32(rgb, 18, quint32(-2)), "Invalid bitmap size"},
        {"height 0", with32(rgb, 22, 0), "Invalid bitmap size"},
        {"height of the smallest int", with32(rgb, 22, quint32(minInt)), "Invalid bitmap size"},
        {"depth 7", with16(rgb, 28, 7), "depth"},
        {"depth 0", with16(rgb, 28, 0), "depth"},
        {"core header at 16 bits", with16(bitmapFile(12, 2, 1, 24, 0, QByteArray(), QByteArray(8, 0)), 24, 16), "depth"},
        {"JPEG compression", with32(rgb, 30, 4), "compression"},
        {"run-length compression at 24 bits", with32(rgb, 30, 1), "compression"},
        {"masks at 8 bits", with32(indexed, 30, 3), "compression"},
        {"masks with a hole", with32(masked, 58, 0x0AE0), "channel masks"},
        {"a mask of 0", with32(masked, 58, 0), "channel masks"},
        {"masks in another order", bitmapFile(40, 2, 1, 16, 3, masks(0x001F, 0x07E0, 0xF800), bytes({1, 2, 3, 4})), "channel masks"},
        {"masks wider than the pixel", bitmapFile(40, 2, 1, 16, 3, masks(0xFF0000, 0xFF00, 0xFF), bytes({1, 2, 3, 4})), "channel masks"},
        {"masks cut short", masked.left(60), "masks are cut short"},
        {"pixel offset past the end", with32(rgb, 10, 1000), "offset"},
        {"pixel offset inside the header", with32(rgb, 10, 20), "offset"},
        {"pixels cut short", rgb.left(rgb.size() - 3), "pixel data is cut short"},
        {"no pixels at all", rgb.left(54), "pixel data is cut short"},
        {"file ends inside the colour table", indexed.left(54 + 100), "offset"},
        {"size far beyond the bytes", with32(with32(rgb, 18, 100000), 22, 100000), "too large"},
        {"size beyond the bytes but within the format", with32(with32(rgb, 18, 10000), 22, 10000), "pixel data is cut short"},
        {"row beyond any address", with16(with32(rgb, 18, 0x7FFFFFFF), 28, 32), "too large"},
        {"run-length image of absurd size", with32(with32(rle, 18, 60000), 22, 60000), "too large"},
        {"run-length image stored top-down", with32(rle, 22, quint32(-3)), "bottom-up"},
        {"run-length data ends inside a pair", rle.left(rle.size() - 7), "run-length pixel data"},
        {"run-length literal beyond the data", bitmapFile(40, 4, 1, 8, 1, quadPalette(256), bytes({0, 4, 1, 2})), "run-length pixel data"},
        {"run-length offset cut short", bitmapFile(40, 4, 2, 8, 1, quadPalette(256), bytes({0, 2, 1})), "run-length pixel data"},
        {"run-length data ends before the last row", rle.left(rle.size() - 2), "run-length pixel data"},
    };

    const QString file = path(QStringLiteral("bad.bmp"));
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeAll(file, c.file));
        TFastDIB dib;
        dib.SetSize(3, 1, 24);
        for (int k = 0; k < 9; ++k)
            dib.Pixels8[0][k] = quint8(100 + k);
        quint8* bits = dib.Bits;
        QString error;
        EXPECT_FALSE(dib.LoadFromFile(file, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
        EXPECT_EQ(dib.Bits, bits);
        EXPECT_EQ(dib.Info.Header.Width, 3);
        EXPECT_EQ(dib.Info.Header.Height, 1);
        EXPECT_EQ(dib.Info.Header.BitCount, 24);
        EXPECT_EQ(firstDifference(dib, [](int, int k) { return quint8(100 + k); }), "");
    }
}

TEST_F(FastDIBFilesTest, MissingFileOrResourceKeepsTheImage)
{
    const QString missing[] = {path(QStringLiteral("none.bmp")), QStringLiteral(":/no/such/bitmap.bmp")};
    for (const QString& name : missing) {
        SCOPED_TRACE(name.toStdString());
        TFastDIB dib;
        dib.SetSize(2, 2, 8);
        quint8* bits = dib.Bits;
        QString error;
        EXPECT_FALSE(dib.LoadFromFile(name, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_FALSE(dib.LoadFromRes(name, &error));
        EXPECT_EQ(dib.Bits, bits);
        EXPECT_EQ(dib.Info.Header.BitCount, 8);
    }
}

TEST_F(FastDIBFilesTest, ResourcePathReadsLikeAFile)
{
    const QString file = path(QStringLiteral("res.bmp"));
    ASSERT_TRUE(writeAll(file, bitmapFile(40, 1, 1, 24, 0, QByteArray(), bytes({7, 8, 9, 0}))));
    TFastDIB dib;
    ASSERT_TRUE(dib.LoadFromRes(file));
    EXPECT_EQ(firstDifference(dib, [](int, int k) { return quint8(7 + k); }), "");
}

// ---- saving ---------------------------------------------------------------------------------------

// Files larger than the limit cannot be written while it holds; the signal it raises is ignored so
// that the write fails with an error instead.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};

TEST_F(FastDIBFilesTest, FailedSaveReportsAndKeepsTheOldFile)
{
    const QString file = path(QStringLiteral("old.bmp"));
    const QByteArray old("previous contents");
    TFastDIB big;
    big.SetSize(200, 200, 24);
    TFastDIB empty;

    struct SaveCase {
        const char* name;
        const TFastDIB* image;
        QString target;
        bool limitSize;
    };
    const SaveCase cases[] = {
        {"folder missing", &big, path(QStringLiteral("no/such/folder/x.bmp")), false},
        {"image without pixels", &empty, file, false},
        {"write cut short", &big, file, true},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeAll(file, old));
        QString error;
        int result = 0;
        {
            std::unique_ptr<FileSizeLimit> limit(c.limitSize ? new FileSizeLimit(4096) : nullptr);
            result = c.image->SaveToFile(c.target, &error);
        }
        EXPECT_EQ(result, -1);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(readAll(file), old);
        EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("old.bmp")});
    }
}

TEST_F(FastDIBFilesTest, SubImageSavesAsACompleteFile)
{
    for (int bpp : {8, 24}) {
        SCOPED_TRACE(bpp);
        TFastDIB parent;
        parent.SetSize(6, 5, quint8(bpp));
        fillPattern(parent);
        for (int i = 0; i < 256; ++i)
            parent.Info.Colors[i] = paletteEntry(i);
        TFastDIB sub;
        sub.SetSubset(parent, 1, 1, 3, 2); // picture columns 1..3, rows 1..2
        const QString file = path(QStringLiteral("sub.bmp"));
        QString error;
        ASSERT_EQ(sub.SaveToFile(file, &error), 0) << error.toStdString();
        EXPECT_EQ(readAll(file).size(), 54 + (bpp == 8 ? 1024 : 0) + 2 * strideOf(3, bpp));

        TFastDIB back;
        ASSERT_TRUE(back.LoadFromFile(file, &error)) << error.toStdString();
        ASSERT_EQ(back.Info.Header.Width, 3);
        ASSERT_EQ(back.Info.Header.Height, 2);
        const int bytesPerPixel = bpp / 8;
        // The window's memory row 0 is its lowest picture row (2), parent memory row 5 - 1 - 2.
        EXPECT_EQ(firstDifference(back, [&](int y, int k) { return patternByte(y + 2, k + bytesPerPixel); }), "");
        if (bpp == 8) {
            EXPECT_EQ(back.Colors[200].i, paletteEntry(200).i);
        }
    }
}

// ---- toolkit images and the clipboard -------------------------------------------------------------

QRgb testColor(int x, int y) { return qRgb(x * 40 + 10, y * 60 + 5, (x + y) * 25 + 1); }

struct HandleCase {
    const char* name;
    QImage::Format format;
    int bpp;
    quint32 compression;
    quint32 rMask, gMask, bMask;
};

// The colour a loaded pixel shows, decoded here from its raw bytes.
QRgb loadedColor(const TFastDIB& dib, int row, int x)
{
    const quint8* line = dib.Pixels8[row];
    // A channel of n bits widened to 8 by repeating its bits.
    auto widen = [](quint32 v, quint32 mask) {
        if (!mask)
            return 0;
        const int n = std::popcount(mask);
        const quint32 value = (v & mask) >> std::countr_zero(mask);
        if (n >= 8)
            return int(value >> (n - 8));
        int r = 0;
        for (int shift = 8 - n; shift > -n; shift -= n)
            r |= shift >= 0 ? int(value << shift) : int(value >> -shift);
        return r & 0xFF;
    };
    switch (dib.Info.Header.BitCount) {
    case 1: {
        const TFColorA c = dib.Colors[(line[x >> 3] >> (7 - (x & 7))) & 1];
        return qRgb(c.r, c.g, c.b);
    }
    case 8: {
        const TFColorA c = dib.Colors[line[x]];
        return qRgb(c.r, c.g, c.b);
    }
    case 16: {
        const quint32 v = qFromLittleEndian<quint16>(line + 2 * x);
        return qRgb(widen(v, dib.Info.RMask), widen(v, dib.Info.GMask), widen(v, dib.Info.BMask));
    }
    case 24:
        return qRgb(line[3 * x + 2], line[3 * x + 1], line[3 * x]);
    case 32:
        return qRgba(line[4 * x + 2], line[4 * x + 1], line[4 * x], line[4 * x + 3]);
    }
    return 0;
}

TEST_F(FastDIBFilesTest, TakesOverToolkitImages)
{
    const HandleCase cases[] = {
        {"mono", QImage::Format_Mono, 1, 0, 0, 0, 0},
        {"mono, least significant bit first", QImage::Format_MonoLSB, 1, 0, 0, 0, 0},
        {"indexed", QImage::Format_Indexed8, 8, 0, 0, 0, 0},
        {"gray", QImage::Format_Grayscale8, 8, 0, 0, 0, 0},
        {"5-5-5", QImage::Format_RGB555, 16, 0, 0x7C00, 0x03E0, 0x001F},
        {"5-6-5", QImage::Format_RGB16, 16, 3, 0xF800, 0x07E0, 0x001F},
        {"RGB bytes", QImage::Format_RGB888, 24, 0, 0, 0, 0},
        {"BGR bytes", QImage::Format_BGR888, 24, 0, 0, 0, 0},
        {"RGB32", QImage::Format_RGB32, 32, 0, 0xFF0000, 0xFF00, 0xFF},
        {"ARGB32 premultiplied", QImage::Format_ARGB32_Premultiplied, 32, 0, 0xFF0000, 0xFF00, 0xFF},
        {"ARGB32", QImage::Format_ARGB32, 32, 0, 0xFF0000, 0xFF00, 0xFF},
        {"RGBA bytes: device-dependent, masks 8-8-8", QImage::Format_RGBA8888, 32, 3, 0xFF0000, 0xFF00, 0xFF},
        {"30 bits: device-dependent, masks 8-8-8", QImage::Format_RGB30, 32, 3, 0xFF0000, 0xFF00, 0xFF},
    };
    const int w = 5, h = 3;
    for (const HandleCase& c : cases) {
        SCOPED_TRACE(c.name);
        QImage source(w, h, QImage::Format_ARGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                source.setPixel(x, y, c.format == QImage::Format_ARGB32 && x == 1 ? qRgba(200, 100, 50, 128) : testColor(x, y));
        QImage image = c.format == QImage::Format_Mono || c.format == QImage::Format_MonoLSB
            ? source.convertToFormat(c.format, Qt::ThresholdDither)
            : source.convertToFormat(c.format);
        image.setDotsPerMeterX(23622);
        ASSERT_EQ(image.format(), c.format);

        TFastDIB dib;
        ASSERT_TRUE(dib.LoadFromHandle(image));
        ASSERT_EQ(dib.Info.Header.Width, w);
        ASSERT_EQ(dib.Info.Header.Height, h); // bottom-up, like every image the system makes
        ASSERT_EQ(dib.Info.Header.BitCount, c.bpp);
        EXPECT_EQ(dib.Info.Header.Compression, c.compression);
        EXPECT_EQ(dib.Info.Header.XPelsPerMeter, 23622);
        if (c.bpp >= 16) {
            EXPECT_EQ(dib.Info.RMask, c.rMask);
            EXPECT_EQ(dib.Info.GMask, c.gMask);
            EXPECT_EQ(dib.Info.BMask, c.bMask);
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                QRgb expected = image.pixel(x, y);
                if (c.bpp == 32)
                    expected = c.compression == 3 ? (expected | 0xFF000000u) : qPremultiply(expected);
                else
                    expected |= 0xFF000000u;
                QRgb got = loadedColor(dib, h - 1 - y, x);
                if (c.bpp != 32)
                    got |= 0xFF000000u;
                ASSERT_EQ(got, expected) << "picture pixel (" << x << ", " << y << ")";
            }
    }
}

TEST_F(FastDIBFilesTest, NullToolkitImageKeepsTheImage)
{
    TFastDIB dib;
    dib.SetSize(2, 2, 24);
    quint8* bits = dib.Bits;
    EXPECT_FALSE(dib.LoadFromHandle(QImage()));
    EXPECT_EQ(dib.Bits, bits);
}

TEST_F(FastDIBFilesTest, ClipboardRoundTripKeepsDepthPaletteAndPixels)
{
    struct ClipCase {
        const char* name;
        int bpp, r, g, b;
    };
    const ClipCase cases[] = {
        {"1 bit", 1, 0, 0, 0},     {"8 bits", 8, 0, 0, 0},  {"16 bits 5-6-5", 16, 5, 6, 5},
        {"16 bits 5-5-5", 16, 0, 0, 0}, {"24 bits", 24, 0, 0, 0}, {"32 bits", 32, 0, 0, 0},
    };
    for (const ClipCase& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB dib;
        dib.SetSizeEx(16, 3, quint8(c.bpp), quint8(c.r), quint8(c.g), quint8(c.b));
        fillPattern(dib);
        if (c.bpp <= 8) {
            for (int i = 0; i < (1 << c.bpp); ++i)
                dib.Info.Colors[i] = paletteEntry(i);
        }
        ASSERT_TRUE(dib.SaveToClipboard());
        dib.Pixels8[0][0] ^= 0xFF; // the clipboard holds a copy of its own

        TFastDIB back;
        ASSERT_TRUE(back.LoadFromClipboard());
        ASSERT_EQ(back.Info.Header.Width, 16);
        ASSERT_EQ(back.Info.Header.Height, 3);
        ASSERT_EQ(back.Info.Header.BitCount, c.bpp);
        EXPECT_EQ(back.Info.RMask, dib.Info.RMask);
        if (c.bpp <= 8) {
            EXPECT_EQ(firstPaletteDifference(back.Colors, 1 << c.bpp, 256), "");
        }
        EXPECT_EQ(firstDifference(back,
                                  [&](int y, int k) {
                                      if (c.bpp == 32 && k % 4 == 3)
                                          return back.Pixels8[y][k]; // the fourth byte is no colour
                                      return patternByte(y, k);
                                  }),
                  "");
    }
}

TEST_F(FastDIBFilesTest, EmptyClipboardKeepsTheImage)
{
    QGuiApplication::clipboard()->clear();
    TFastDIB dib;
    dib.SetSize(2, 2, 24);
    quint8* bits = dib.Bits;
    EXPECT_FALSE(dib.LoadFromClipboard());
    EXPECT_EQ(dib.Bits, bits);
    EXPECT_EQ(dib.Info.Header.Width, 2);
}

// ---- attaching to a section -----------------------------------------------------------------------

TEST_F(FastDIBFilesTest, AttachesToASectionWithoutOwningIt)
{
    quint32 table[256] = {};
    for (int i = 0; i < 256; ++i)
        table[i] = paletteEntry(i).i;
    DibFormat format;
    format.width = 4;
    format.height = -3;
    format.bitCount = 8;
    format.colors = table;
    HBITMAP section = CreateDIBSection(format);
    ASSERT_NE(section, nullptr);
    {
        TFastDIB dib;
        dib.SetSize(10, 10, 24); // what it owned before goes
        ASSERT_TRUE(dib.AttachToHandle(nullptr, section));
        EXPECT_EQ(dib.Bits, section->bits());
        EXPECT_EQ(dib.Handle, section);
        EXPECT_EQ(dib.hDC, nullptr);
        EXPECT_FALSE(dib.FreeDC || dib.FreeBits || dib.FreeHandle);
        EXPECT_EQ(dib.Info.Header.Width, 4);
        EXPECT_EQ(dib.Info.Header.Height, -3);
        EXPECT_EQ(dib.Colors[77].i, paletteEntry(77).i);
        dib.Pixels8[2][3] = 42; // memory row 2 of a top-down section is its third row
        EXPECT_EQ(section->bits()[2 * 4 + 3], 42);
    }
    // The section outlived the image: it can still be deleted exactly once.
    EXPECT_TRUE(DeleteObject(section));
}

TEST_F(FastDIBFilesTest, AttachRefusesWhatItCannotShow)
{
    DibFormat format;
    format.width = 2;
    format.height = 2;
    format.bitCount = 16;
    format.rMask = 0x001F; // red lowest: not this buffer's layout
    format.gMask = 0x07E0;
    format.bMask = 0xF800;
    HBITMAP reversed = CreateDIBSection(format);
    ASSERT_NE(reversed, nullptr);
    for (HBITMAP handle : {HBITMAP(nullptr), reversed}) {
        TFastDIB dib;
        dib.SetSize(2, 2, 24);
        quint8* bits = dib.Bits;
        EXPECT_FALSE(dib.AttachToHandle(nullptr, handle));
        EXPECT_EQ(dib.Bits, bits);
        EXPECT_TRUE(dib.FreeHandle);
    }
    DeleteObject(reversed);
}

} // namespace
