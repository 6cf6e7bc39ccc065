// Hand-over between TFastDIB and QImage: formats, flipped rows, the image left empty, round
// trips both ways, and pictures written through QImageWriter.
#include "image/ToolkitBitmap.h"
#include "image/TFastDIB.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

struct Layout {
    int bpp;
    int r = 0, g = 0, b = 0; // explicit channel widths, 0 for the defaults
    QImage::Format format;   // what the hand-over gives
    const char* name;
};

const Layout layouts[] = {
    {1, 0, 0, 0, QImage::Format_Mono, "1"},
    {4, 0, 0, 0, QImage::Format_Indexed8, "4"},
    {8, 0, 0, 0, QImage::Format_Indexed8, "8"},
    {16, 0, 0, 0, QImage::Format_RGB555, "16 (5-5-5)"},
    {16, 5, 6, 5, QImage::Format_RGB16, "16 (5-6-5)"},
    {24, 0, 0, 0, QImage::Format_RGB32, "24"},
    {32, 0, 0, 0, QImage::Format_RGB32, "32 (8-8-8)"},
    {32, 6, 6, 6, QImage::Format_RGB32, "32 (6-6-6 masks)"},
};

void sizeDib(TFastDIB& dib, int w, int h, const Layout& l)
{
    if (l.r)
        dib.SetSizeEx(w, h, quint8(l.bpp), quint8(l.r), quint8(l.g), quint8(l.b));
    else
        dib.SetSize(w, h, quint8(l.bpp));
}

void fillRandom(TFastDIB& dib, unsigned seed)
{
    std::mt19937 rng(seed);
    for (int i = 0; i < 256 && dib.Info.Header.BitCount <= 8; ++i)
        dib.Colors[i].i = quint32(rng());
    const size_t bytes = (size_t(dib.Info.Header.Width) * dib.Info.Header.BitCount + 7) / 8;
    for (int y = 0; y < dib.AbsHeight; ++y) {
        auto* row = static_cast<quint8*>(dib.Scanlines[y]);
        for (size_t i = 0; i < bytes; ++i)
            row[i] = quint8(rng());
    }
}

quint32 replicate(quint32 v, int n)
{
    switch (n) {
    case 5: return v * 8 + v / 4;
    case 6: return v * 4 + v / 16;
    default: return v & 255;
    }
}

// What a pixel of memory row y, column x looks like, from the raw bytes.
QRgb colourAt(const TFastDIB& dib, const Layout& l, int y, int x)
{
    const auto* row = static_cast<const quint8*>(dib.Scanlines[y]);
    auto palette = [&](int i) {
        const TFColorA c = dib.Colors[i];
        return qRgb(c.r, c.g, c.b);
    };
    switch (l.bpp) {
    case 1: return palette((row[x / 8] >> (7 - x % 8)) & 1);
    case 4: return palette(x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4);
    case 8: return palette(row[x]);
    case 16: {
        const quint32 p = row[2 * x] | row[2 * x + 1] << 8;
        const int g = l.g ? l.g : 5;
        return qRgb(replicate((p >> (5 + g)) & 31, 5), replicate((p >> 5) & ((1u << g) - 1), g), replicate(p & 31, 5));
    }
    case 24: return qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default: {
        quint32 p;
        std::memcpy(&p, row + 4 * x, 4);
        if (!l.r)
            return qRgb((p >> 16) & 255, (p >> 8) & 255, p & 255);
        return qRgb(replicate((p >> 12) & 63, 6), replicate((p >> 6) & 63, 6), replicate(p & 63, 6));
    }
    }
}

int memoryRow(const TFastDIB& dib, int pictureRow)
{
    return dib.Info.Header.Height > 0 ? dib.AbsHeight - 1 - pictureRow : pictureRow;
}

::testing::AssertionResult showsDib(const QImage& image, const TFastDIB& dib, const Layout& l)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb expected = colourAt(dib, l, memoryRow(dib, y), x);
            if (image.pixel(x, y) != expected)
                return ::testing::AssertionFailure() << "first difference at row " << y << ", column " << x << std::hex
                                                     << ": got 0x" << image.pixel(x, y) << ", expected 0x" << expected;
        }
    return ::testing::AssertionSuccess();
}

TEST(DIBToBitmap, HandsOverEveryDepthWithRowsFlipped)
{
    unsigned seed = 3;
    for (const Layout& l : layouts) {
        for (int height : {3, -3}) { // bottom-up, then top-down
            SCOPED_TRACE(::testing::Message() << l.name << " bits, height " << height);
            TFastDIB dib, copy;
            sizeDib(dib, 7, height, l);
            sizeDib(copy, 7, height, l);
            fillRandom(dib, seed++);
            for (int y = 0; y < dib.AbsHeight; ++y)
                std::memcpy(copy.Scanlines[y], dib.Scanlines[y], size_t(dib.BWidth));
            std::memcpy(copy.Colors, dib.Colors, sizeof(TFColorTable));

            QImage bitmap;
            DIBToBitmap(dib, bitmap);
            ASSERT_EQ(bitmap.format(), l.format);
            ASSERT_EQ(bitmap.size(), QSize(7, 3));
            EXPECT_TRUE(showsDib(bitmap, copy, l));
            if (l.bpp == 16) { // the 16-bit values themselves, not only what they look like
                for (int y = 0; y < 3; ++y)
                    EXPECT_EQ(std::memcmp(bitmap.constScanLine(y), copy.Scanlines[memoryRow(copy, y)], 14), 0) << "row " << y;
            }

            // The image gives its pixels up and keeps its header.
            EXPECT_EQ(dib.Bits, nullptr);
            EXPECT_EQ(dib.Scanlines, nullptr);
            EXPECT_EQ(dib.hDC, nullptr);
            EXPECT_EQ(dib.Handle, nullptr);
            EXPECT_EQ(dib.Info.Header.Width, 7);
        }
    }
}

TEST(DIBToBitmap, EmptyImageLeavesTheBitmapAlone)
{
    TFastDIB dib;
    QImage bitmap(2, 2, QImage::Format_RGB32);
    bitmap.fill(Qt::red);
    DIBToBitmap(dib, bitmap);
    EXPECT_EQ(bitmap.size(), QSize(2, 2));
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(255, 0, 0));
}

// The copy the live views and video windows paint: 24-bit BGR memory, padded rows, either row
// order. Padding bytes are set so that a copy reading them would show them; the image keeps
// every byte it had.
TEST(DibPicture, CopiesTwentyFourBitsTopRowFirstAndLeavesTheImage)
{
    struct Case {
        int width, height; // height < 0: top-down memory
    };
    const Case cases[] = {{1, 1}, {1, 3}, {2, -2}, {5, 3}, {7, -4}, {8, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        TFastDIB dib;
        dib.SetSize(c.width, c.height, 24);
        const int h = dib.AbsHeight;
        // Picture row y, column x: red from x, green from y, blue from both, never equal.
        auto colour = [](int x, int y) { return qRgb(16 * x + 1, 40 * y + 2, 3 * x + 7 * y + 200); };
        for (int y = 0; y < h; ++y) {
            auto* row = static_cast<quint8*>(dib.Scanlines[memoryRow(dib, y)]);
            std::memset(row, 0xEE, size_t(dib.BWidth));
            for (int x = 0; x < c.width; ++x) {
                row[3 * x] = quint8(qBlue(colour(x, y)));
                row[3 * x + 1] = quint8(qGreen(colour(x, y)));
                row[3 * x + 2] = quint8(qRed(colour(x, y)));
            }
        }
        const QByteArray before(reinterpret_cast<const char*>(dib.Bits), qsizetype(dib.BWidth) * h);

        const QImage picture = dibPicture(dib);
        ASSERT_EQ(picture.format(), QImage::Format_RGB32);
        ASSERT_EQ(picture.size(), QSize(c.width, h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(picture.pixel(x, y), colour(x, y)) << "row " << y << ", column " << x;
        ASSERT_NE(dib.Bits, nullptr);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(dib.Bits), before.size()), before);
    }
}

// A grey JPEG decodes to 8 bits: the copy keeps the palette, so it paints grey.
TEST(DibPicture, EightBitsKeepThePaletteAndEmptyImagesGiveNothing)
{
    TFastDIB grey;
    grey.SetSize(3, 2, 8);
    for (int i = 0; i < 256; ++i)
        grey.Colors[i].b = grey.Colors[i].g = grey.Colors[i].r = quint8(i);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            static_cast<quint8*>(grey.Scanlines[memoryRow(grey, y)])[x] = quint8(100 * y + 10 * x);
    const QImage shown = dibPicture(grey).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(3, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(shown.pixel(x, y), qRgb(100 * y + 10 * x, 100 * y + 10 * x, 100 * y + 10 * x)) << "row " << y << ", column " << x;

    EXPECT_TRUE(dibPicture(TFastDIB()).isNull());
}

// The image comes back at the bitmap's depth (4 bits as 8, 24 as 32) with the same colours.
TEST(ToolkitBitmap, DibRoundTripKeepsColours)
{
    unsigned seed = 50;
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        TFastDIB dib, copy;
        sizeDib(dib, 9, 4, l);
        sizeDib(copy, 9, 4, l);
        fillRandom(dib, seed++);
        for (int y = 0; y < 4; ++y)
            std::memcpy(copy.Scanlines[y], dib.Scanlines[y], size_t(dib.BWidth));
        std::memcpy(copy.Colors, dib.Colors, sizeof(TFColorTable));

        QImage bitmap;
        DIBToBitmap(dib, bitmap);
        TFastDIB back;
        ASSERT_TRUE(BitmapToDIB(bitmap, back));
        ASSERT_EQ(back.Info.Header.BitCount, bitmap.depth());
        ASSERT_EQ(back.Info.Header.Width, 9);
        ASSERT_EQ(back.AbsHeight, 4);
        for (int py = 0; py < 4; ++py)
            for (int x = 0; x < 9; ++x) {
                const TFColor c = back.GetPixel(memoryRow(back, py), x);
                ASSERT_EQ(qRgb(c.r, c.g, c.b), colourAt(copy, l, memoryRow(copy, py), x)) << "row " << py << ", column " << x;
            }
    }
}

TEST(ToolkitBitmap, QImageRoundTripKeepsEveryPixel)
{
    const QImage::Format formats[] = {
        QImage::Format_RGB32,     QImage::Format_ARGB32, QImage::Format_RGB888, QImage::Format_BGR888,
        QImage::Format_Indexed8,  QImage::Format_Mono,   QImage::Format_RGB16,  QImage::Format_RGB555,
        QImage::Format_Grayscale8,
    };
    std::mt19937 rng(8);
    for (QImage::Format format : formats) {
        SCOPED_TRACE(::testing::Message() << "format " << int(format));
        QImage original(11, 5, QImage::Format_RGB32);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x)
                original.setPixel(x, y, qRgb(rng() & 255, rng() & 255, rng() & 255));
        if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono)
            original = original.convertToFormat(format, Qt::ThresholdDither);
        else
            original = original.convertToFormat(format);

        TFastDIB dib;
        ASSERT_TRUE(BitmapToDIB(original, dib));
        QImage back;
        DIBToBitmap(dib, back);
        ASSERT_EQ(back.size(), original.size());
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x)
                ASSERT_EQ(back.pixel(x, y), original.pixel(x, y)) << "row " << y << ", column " << x;
    }
}

// ---- graphics and files ------------------------------------------------------------------------

TEST(DIBToGraphic, PngOfTheGraphicShowsTheImage)
{
    QTemporaryDir dir;
    for (const Layout& l : {layouts[2], layouts[5]}) {
        SCOPED_TRACE(l.name);
        TFastDIB dib, copy;
        sizeDib(dib, 13, 6, l);
        sizeDib(copy, 13, 6, l);
        fillRandom(dib, 21);
        for (int y = 0; y < 6; ++y)
            std::memcpy(copy.Scanlines[y], dib.Scanlines[y], size_t(dib.BWidth));
        std::memcpy(copy.Colors, dib.Colors, sizeof(TFColorTable));

        QImage graphic;
        DIBToGraphic(dib, graphic);
        EXPECT_EQ(dib.Scanlines, nullptr);
        const QString file = dir.filePath(QStringLiteral("picture.png"));
        ASSERT_EQ(WritePicture(graphic, file, "png"), 0);
        QImage read(file);
        ASSERT_EQ(read.size(), QSize(13, 6));
        EXPECT_TRUE(showsDib(read.convertToFormat(QImage::Format_RGB32), copy, l));
    }
}

TEST(WritePicture, JpegIsWrittenAtItsSize)
{
    QTemporaryDir dir;
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 30));
    const QString file = dir.filePath(QStringLiteral("p.jpg"));
    ASSERT_EQ(WritePicture(picture, file, "jpg", 90), 0);
    QImageReader reader(file);
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_EQ(reader.size(), QSize(40, 30));
}

TEST(WritePicture, FailureKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("old.png"));
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old content");
    }
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::blue);

    struct Case {
        const char* what;
        QImage picture;
        QString file;
        QByteArray format;
    };
    const Case cases[] = {
        {"unknown format", picture, existing, "no-such-format"},
        {"no picture", QImage(), existing, "png"},
        {"missing folder", picture, dir.filePath(QStringLiteral("missing/new.png")), "png"},
    };
    for (const Case& c : cases) {
        QString why;
        EXPECT_EQ(WritePicture(c.picture, c.file, c.format, -1, &why), -1) << c.what;
        EXPECT_FALSE(why.isEmpty()) << c.what;
    }
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old content"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing/new.png"))));
}

} // namespace
