// Picture files into and out of image buffers, on generated files of each kind and on broken and
// hostile ones; gray values by picture coordinates.
#include "project/Helpers.h"

#include "image/TFastDIB.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

namespace {

// A small picture whose every pixel differs, so a flipped or shifted row shows.
QImage pattern(int w = 7, int h = 5)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(30 * x + 10, 40 * y + 20, (x * 13 + y * 29) % 256));
    return image;
}

// Pixel of a TFastDIB at picture coordinates (row 0 at the top).
QRgb pictureAt(const TFastDIB& dib, int x, int y)
{
    const int row = dib.Info.Header.Height > 0 ? dib.AbsHeight - 1 - y : y;
    const TFColor c = dib.GetPixel(row, x);
    return qRgb(c.r, c.g, c.b);
}

// The first pixel that differs by more than `tolerance` in a channel, as a message; empty when none.
std::string firstDifference(const TFastDIB& dib, const QImage& expected, int tolerance)
{
    if (dib.Info.Header.Width != expected.width() || dib.AbsHeight != expected.height())
        return "size " + std::to_string(dib.Info.Header.Width) + "x" + std::to_string(dib.AbsHeight);
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb got = pictureAt(dib, x, y), want = expected.pixel(x, y);
            if (std::abs(qRed(got) - qRed(want)) > tolerance || std::abs(qGreen(got) - qGreen(want)) > tolerance
                || std::abs(qBlue(got) - qBlue(want)) > tolerance)
                return "row " + std::to_string(y) + " column " + std::to_string(x) + ": got "
                    + QString::number(got & 0xFFFFFF, 16).toStdString() + ", want "
                    + QString::number(want & 0xFFFFFF, 16).toStdString();
        }
    return {};
}

void fill24(TFastDIB& dib, const QImage& picture, bool topDown = false)
{
    dib.SetSize(picture.width(), topDown ? -picture.height() : picture.height(), 24);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            const int row = topDown ? y : picture.height() - 1 - y;
            dib.SetPixel(row, x, TFColor{quint8(qBlue(p)), quint8(qGreen(p)), quint8(qRed(p))});
        }
}


// A JPEG made with libjpeg directly; `variant` picks the chroma sampling (0: 4:2:0, 1: 4:2:2,
// 2: 4:4:4). The density is written in the JFIF header when its unit is 1 (inch) or 2 (cm).
QByteArray rawJpeg(int width, int height, int components, bool progressive, int variant = 0, int densityUnit = 0,
                   int density = 0)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (components == 3 && variant > 0) {
        cinfo.comp_info[0].v_samp_factor = 1;
        cinfo.comp_info[0].h_samp_factor = variant == 1 ? 2 : 1;
    }
    if (progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.density_unit = UINT8(densityUnit);
    cinfo.X_density = cinfo.Y_density = UINT16(density);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width) * components);
    for (int y = 0; y < height; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = JSAMPLE((i * 7 + y * 13 + (i * y) % 31) & 0xFF);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray result(reinterpret_cast<const char*>(out), qsizetype(outSize));
    std::free(out);
    return result;
}

// A small valid JPEG whose frame header claims another size: a decompression bomb.
QByteArray jpegClaiming(int width, int height)
{
    QByteArray jpeg = rawJpeg(16, 16, 3, false);
    const qsizetype sof = jpeg.indexOf("\xFF\xC0");
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height & 0xFF);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width & 0xFF);
    return jpeg;
}

// The entropy-coded data overwritten in its middle with a restart marker that cannot be there.
QByteArray damagedScan(QByteArray jpeg)
{
    const qsizetype sos = jpeg.indexOf("\xFF\xDA");
    const qsizetype middle = sos + (jpeg.size() - sos) / 2;
    jpeg[middle] = char(0xFF);
    jpeg[middle + 1] = char(0xD5);
    return jpeg;
}

QByteArray bmpOf(const QImage& picture)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP");
    return bytes;
}

// What the toolkit's own reader makes of a file, handed over as the program did before.
bool toolkitRead(const QString& fileName, TFastDIB& dib)
{
    QImageReader reader(fileName);
    reader.setAutoTransform(false);
    const QImage picture = reader.read();
    return !picture.isNull() && dib.LoadFromHandle(picture.convertToFormat(QImage::Format_BGR888));
}

class PictureFileTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString path(const QString& name) const { return dir.filePath(name); }
    void writeBytes(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray readBytes(const QString& fileName)
    {
        QFile f(fileName);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
};

TEST_F(PictureFileTest, ReadsEachKindAs24BitsTopRowFirst)
{
    const QImage picture = pattern();
    const struct {
        const char* name;
        const char* format;
        int tolerance;
    } rows[] = {
        {"p.png", "png", 0}, {"p.bmp", "bmp", 0}, {"p.tif", "tiff", 0}, {"p.jpg", "jpg", 40},
        {"P.JPEG", "jpg", 40},       {"p.TIFF", "tiff", 0},
    };
    for (const auto& r : rows) {
        QImageWriter writer(path(QString::fromLatin1(r.name)), r.format);
        if (QByteArray(r.format) == "jpg")
            writer.setQuality(100);
        ASSERT_TRUE(writer.write(picture)) << r.name << ": " << writer.errorString().toStdString();

        TFastDIB dib;
        ASSERT_EQ(LoadPictureToDIB(dib, path(QString::fromLatin1(r.name))), 0) << r.name;
        EXPECT_EQ(dib.Info.Header.BitCount, 24) << r.name;
        EXPECT_EQ(firstDifference(dib, picture, r.tolerance), "") << r.name;
    }
}

TEST_F(PictureFileTest, ReadsGif)
{
    // 2 x 1 GIF: a red and a blue pixel from a four-entry palette.
    const QByteArray gif = QByteArray::fromHex("47494638396102000100810000ff00000000ff000000000000"
                                               "2c0000000002000100000202440a003b");
    writeBytes(QStringLiteral("p.gif"), gif);
    TFastDIB dib;
    ASSERT_EQ(LoadPictureToDIB(dib, path(QStringLiteral("p.gif"))), 0);
    ASSERT_EQ(dib.Info.Header.Width, 2);
    ASSERT_EQ(dib.AbsHeight, 1);
    EXPECT_EQ(pictureAt(dib, 0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(pictureAt(dib, 1, 0), qRgb(0, 0, 255));
}

TEST_F(PictureFileTest, TransparentPartsBecomeWhite)
{
    QImage picture(3, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(200, 10, 10, 255));
    picture.setPixel(1, 0, qRgba(200, 10, 10, 0));
    picture.setPixel(2, 0, qRgba(0, 0, 0, 128));
    ASSERT_TRUE(picture.save(path(QStringLiteral("alpha.png"))));
    TFastDIB dib;
    ASSERT_EQ(LoadPictureToDIB(dib, path(QStringLiteral("alpha.png"))), 0);
    EXPECT_EQ(pictureAt(dib, 0, 0), qRgb(200, 10, 10));
    EXPECT_EQ(pictureAt(dib, 1, 0), qRgb(255, 255, 255));
    EXPECT_NEAR(qRed(pictureAt(dib, 2, 0)), 127, 2);
}

// A 1 x 1 PNG whose header claims the given size: the reader must refuse before allocating.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(1, 1, QImage::Format_RGB32).save(&buffer, "PNG");
    // Width and height are the first 8 bytes of the IHDR data (offset 16); the chunk's CRC over
    // its type and 13 data bytes is made right again, so only the size can be refused.
    const auto put32 = [&png](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            png[at + i] = char((v >> (24 - 8 * i)) & 0xFF);
    };
    put32(16, width);
    put32(20, height);
    put32(29, quint32(crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 17)));
    return png;
}

TEST_F(PictureFileTest, BrokenOrHostileFilesRaiseAndLeaveTheImageAlone)
{
    QByteArray validPng;
    {
        QBuffer buffer(&validPng);
        buffer.open(QIODevice::WriteOnly);
        pattern().save(&buffer, "PNG");
    }
    QDir(dir.path()).mkdir(QStringLiteral("folder.png"));
    const struct {
        const char* name;
        QByteArray content;
    } rows[] = {
        {"empty.png", QByteArray()},
        {"truncated.png", validPng.left(validPng.size() / 2)},
        {"header-only.png", validPng.left(30)},
        {"garbage.jpg", QByteArray(4096, '\x5A')},
        {"text.bmp", QByteArray("BM this is not a bitmap")},
        {"huge.png", pngClaiming(200000, 200000)},
        {"bomb.png", pngClaiming(20000, 20000)}, // 400 million pixels cannot inflate from 70 bytes
        {"bomb.jpg", jpegClaiming(20000, 20000)},
        {"bomb46000.jpg", jpegClaiming(46000, 46000)},
        {"cut.jpg", rawJpeg(64, 48, 3, false).chopped(200)}, // libjpeg only warns and fills with gray
        {"damaged.jpg", damagedScan(rawJpeg(64, 48, 3, false))},
        {"cut.bmp", bmpOf(pattern(40, 30)).left(400)},
    };
    for (const auto& r : rows) {
        writeBytes(QString::fromLatin1(r.name), r.content);
        TFastDIB dib;
        fill24(dib, pattern(2, 2));
        EXPECT_THROW(LoadPictureToDIB(dib, path(QString::fromLatin1(r.name))), EInvalidGraphic) << r.name;
        EXPECT_EQ(firstDifference(dib, pattern(2, 2), 0), "") << r.name << ": the image must stay as it was";
    }

    const char* missing[] = {"missing.png", "folder.png", ""};
    for (const char* name : missing) {
        TFastDIB dib;
        fill24(dib, pattern(2, 2));
        EXPECT_EQ(LoadPictureToDIB(dib, *name ? path(QString::fromLatin1(name)) : QString()), -1) << name;
        EXPECT_EQ(firstDifference(dib, pattern(2, 2), 0), "") << name;
    }
}

TEST_F(PictureFileTest, JpegsReadByteForByteAsTheToolkitReadsThem)
{
    const struct {
        const char* name;
        int width, height, components;
        bool progressive;
        int variant, densityUnit, density;
    } rows[] = {
        {"420.jpg", 37, 21, 3, false, 0, 0, 0},    {"422.jpg", 37, 21, 3, false, 1, 0, 0},
        {"444.jpg", 37, 21, 3, false, 2, 0, 0},    {"gray.jpg", 37, 21, 1, false, 0, 0, 0},
        {"progressive.jpg", 40, 33, 3, true, 0, 0, 0}, {"gray-progressive.jpg", 9, 70, 1, true, 0, 0, 0},
        {"300dpi.jpg", 16, 8, 3, false, 0, 1, 300}, {"118dpcm.jpg", 16, 8, 3, false, 0, 2, 118},
        {"1x1.jpg", 1, 1, 3, false, 0, 0, 0},
    };
    for (const auto& r : rows) {
        const QString name = path(QString::fromLatin1(r.name));
        writeBytes(QString::fromLatin1(r.name),
                   rawJpeg(r.width, r.height, r.components, r.progressive, r.variant, r.densityUnit, r.density));
        TFastDIB ours, toolkit;
        ASSERT_EQ(LoadPictureToDIB(ours, name), 0) << r.name;
        ASSERT_TRUE(toolkitRead(name, toolkit)) << r.name;
        ASSERT_EQ(ours.Info.Header.BitCount, 24) << r.name;
        ASSERT_EQ(ours.Info.Header.Width, toolkit.Info.Header.Width) << r.name;
        ASSERT_EQ(ours.Info.Header.Height, toolkit.Info.Header.Height) << r.name;
        EXPECT_EQ(ours.Info.Header.XPelsPerMeter, toolkit.Info.Header.XPelsPerMeter) << r.name;
        EXPECT_EQ(ours.Info.Header.YPelsPerMeter, toolkit.Info.Header.YPelsPerMeter) << r.name;
        for (int y = 0; y < ours.AbsHeight; ++y)
            ASSERT_EQ(std::memcmp(ours.Scanlines[y], toolkit.Scanlines[y], size_t(ours.BWidth)), 0)
                << r.name << ": memory row " << y;
    }
}

TEST_F(PictureFileTest, TheExtensionChoosesTheFormatAndTheContentMustMatch)
{
    QByteArray png, xpm, pbm, gif;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        pattern().save(&b, "PNG");
    }
    {
        QBuffer b(&xpm);
        b.open(QIODevice::WriteOnly);
        ASSERT_TRUE(pattern().save(&b, "XPM"));
    }
    pbm = QByteArray("P1\n2 2\n1 0\n0 1\n");
    const struct {
        const char* name;
        QByteArray content;
    } rows[] = {
        {"xpm.jpg", xpm},  {"pbm.bmp", pbm},  {"png.jpg", png},       {"jpeg.png", rawJpeg(8, 8, 3, false)},
        {"picture.xpm", xpm}, {"picture.pbm", pbm}, {"picture", png}, {"picture.jpg.txt", rawJpeg(8, 8, 3, false)},
    };
    for (const auto& r : rows) {
        writeBytes(QString::fromLatin1(r.name), r.content);
        TFastDIB dib;
        fill24(dib, pattern(2, 2));
        EXPECT_THROW(LoadPictureToDIB(dib, path(QString::fromLatin1(r.name))), EInvalidGraphic) << r.name;
        EXPECT_EQ(firstDifference(dib, pattern(2, 2), 0), "") << r.name << ": the image must stay as it was";
    }
}

TEST_F(PictureFileTest, PicturesLargerThanTheMemoryLimitAreRefusedBeforeReading)
{
    // A 600 x 400 picture needs 720,000 bytes at 24 bits.
    const QImage picture = pattern(600, 400);
    writeBytes(QStringLiteral("big.jpg"), rawJpeg(600, 400, 3, false));
    writeBytes(QStringLiteral("big-gray.jpg"), rawJpeg(600, 400, 1, false));
    ASSERT_TRUE(picture.save(path(QStringLiteral("big.png"))));
    ASSERT_TRUE(picture.save(path(QStringLiteral("big.bmp"))));
    // A 2 x 1 frame on a 600 x 400 logical screen, which is what the reader gives.
    QByteArray gif = QByteArray::fromHex("47494638396158029001810000ff00000000ff000000000000"
                                         "2c0000000002000100000202440a003b");
    writeBytes(QStringLiteral("big.gif"), gif);
    const char* names[] = {"big.jpg", "big-gray.jpg", "big.png", "big.bmp", "big.gif"};
    struct Restore {
        ~Restore() { SetPictureMemoryLimit(0); }
    } restore;
    for (const char* name : names) {
        SetPictureMemoryLimit(500'000);
        TFastDIB dib;
        fill24(dib, pattern(2, 2));
        EXPECT_THROW(LoadPictureToDIB(dib, path(QString::fromLatin1(name))), EInvalidGraphic) << name;
        EXPECT_EQ(firstDifference(dib, pattern(2, 2), 0), "") << name;
        SetPictureMemoryLimit(20'000'000);
        EXPECT_EQ(LoadPictureToDIB(dib, path(QString::fromLatin1(name))), 0) << name;
        EXPECT_EQ(dib.Info.Header.Width, 600) << name;
    }
    SetPictureMemoryLimit(0);
    EXPECT_GT(PictureMemoryLimit(), 0) << "without a limit set, the memory available counts";
}

TEST_F(PictureFileTest, SavesPngAndJpegOfACopy)
{
    const QImage picture = pattern(9, 4);
    const struct {
        bool topDown;
    } layouts[] = {{false}, {true}};
    for (const auto& l : layouts) {
        TFastDIB dib;
        fill24(dib, picture, l.topDown);
        ASSERT_EQ(SaveDIBAsPNG(dib, path(QStringLiteral("out.png"))), 0);
        ASSERT_EQ(SaveDIBAsJPEG(dib, path(QStringLiteral("out.jpg"))), 0);
        EXPECT_EQ(firstDifference(dib, picture, 0), "") << "the image itself stays";

        const QImage png(path(QStringLiteral("out.png")));
        ASSERT_EQ(png.size(), picture.size());
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                ASSERT_EQ(png.pixel(x, y) & 0xFFFFFF, picture.pixel(x, y) & 0xFFFFFF) << x << "," << y;

        EXPECT_EQ(readBytes(path(QStringLiteral("out.jpg"))).left(3), QByteArray("\xFF\xD8\xFF"));
        TFastDIB back;
        ASSERT_EQ(LoadPictureToDIB(back, path(QStringLiteral("out.jpg"))), 0);
        EXPECT_EQ(firstDifference(back, picture, 48), "") << "quality 95 stays close";
    }
}

TEST_F(PictureFileTest, FailedSaveKeepsTheOldFile)
{
    TFastDIB dib;
    fill24(dib, pattern());
    writeBytes(QStringLiteral("plain"), "old");
    QDir(dir.path()).mkdir(QStringLiteral("folder.png"));
    const QString targets[] = {path(QStringLiteral("missing/out.png")), path(QStringLiteral("plain/out.png")),
                               path(QStringLiteral("folder.png"))};
    for (const QString& target : targets) {
        EXPECT_EQ(SaveDIBAsPNG(dib, target), -1) << target.toStdString();
        EXPECT_EQ(SaveDIBAsJPEG(dib, target), -1) << target.toStdString();
    }
    EXPECT_EQ(readBytes(path(QStringLiteral("plain"))), QByteArray("old"));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("folder.png"))).isDir());

    TFastDIB empty;
    EXPECT_EQ(SaveDIBAsPNG(empty, path(QStringLiteral("empty.png"))), -1);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("empty.png"))));
}

TEST(GetGrayValue, CountsRowsFromThePictureTopAndRefusesOutsidePoints)
{
    QImage picture(3, 2, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(30, 60, 90));   // 60
    picture.setPixel(1, 0, qRgb(255, 255, 255)); // 255
    picture.setPixel(2, 0, qRgb(1, 1, 2));       // 4 div 3 = 1
    picture.setPixel(0, 1, qRgb(0, 0, 0));       // 0
    picture.setPixel(1, 1, qRgb(100, 0, 0));     // 33
    picture.setPixel(2, 1, qRgb(0, 0, 200));     // 66
    const struct {
        int x, y, gray;
    } rows[] = {{0, 0, 60}, {1, 0, 255}, {2, 0, 1}, {0, 1, 0}, {1, 1, 33}, {2, 1, 66},
                {-1, 0, -1}, {3, 0, -1}, {0, -1, -1}, {0, 2, -1}};
    for (bool topDown : {false, true}) {
        TFastDIB dib;
        fill24(dib, picture, topDown);
        for (const auto& r : rows)
            EXPECT_EQ(GetGrayValue(dib, r.x, r.y), r.gray) << (topDown ? "top-down " : "bottom-up ") << r.x << "," << r.y;
    }
    TFastDIB empty;
    EXPECT_EQ(GetGrayValue(empty, 0, 0), -1);
}

} // namespace
