// JPEG binding: round trips against the original pixels, orientation and channel order checked
// with Qt's own JPEG reader, scaled sizes, streams, and every way a decode or encode can fail.
#include "image/FastJPG.h"
#include "image/ExifThumbnail.h"
#include "image/ProcessorInfo.h"
#include "image/TFastDIB.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <libexif/exif-data.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using PixelFn = std::function<TFColor(int x, int y)>;

// Picture coordinates, origin top-left, whatever the memory row order.
quint8* pictureRow(const TFastDIB& image, int y)
{
    const int row = image.Info.Header.Height > 0 ? image.AbsHeight - 1 - y : y;
    return static_cast<quint8*>(image.Scanlines[row]);
}

TFColor pixelAt(const TFastDIB& image, int x, int y)
{
    const quint8* row = pictureRow(image, y);
    if (image.Info.Header.BitCount == 8) {
        const TFColorA& entry = image.Colors[row[x]];
        return {entry.b, entry.g, entry.r};
    }
    return {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
}

void fill(TFastDIB& image, int w, int h, int bpp, const PixelFn& fn)
{
    image.SetSize(w, h, quint8(bpp));
    ASSERT_NE(image.Bits, nullptr);
    for (int y = 0; y < h; ++y) {
        quint8* row = pictureRow(image, y);
        for (int x = 0; x < w; ++x) {
            const TFColor c = fn(x, y);
            if (bpp == 8) {
                row[x] = c.g;
            } else {
                row[3 * x] = c.b;
                row[3 * x + 1] = c.g;
                row[3 * x + 2] = c.r;
            }
        }
    }
    if (bpp == 8) {
        for (int i = 0; i < 256; ++i)
            image.Info.Colors[i] = TFColorA{{quint8(i), quint8(i), quint8(i), 0}};
        image.UpdateColors();
    }
}

quint8 clampByte(int v)
{
    return quint8(qBound(0, v, 255));
}

// Smooth colour gradients with luminance noise: what a scan of wood looks like to the codec.
PixelFn gradientWithNoise(int w, int h, unsigned seed)
{
    auto noise = std::make_shared<std::vector<int>>(std::size_t(w) * h);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> spread(-6, 6);
    for (int& n : *noise)
        n = spread(random);
    return [=](int x, int y) {
        const int n = (*noise)[std::size_t(y) * w + x];
        return TFColor{clampByte(40 + 150 * y / qMax(1, h - 1) + n), clampByte(80 + 100 * x / qMax(1, w - 1) + n),
                       clampByte(200 - 120 * (x + y) / qMax(1, w + h - 2) + n)};
    };
}

PixelFn flat(TFColor c)
{
    return [=](int, int) { return c; };
}

double psnr(const TFastDIB& a, const TFastDIB& b)
{
    const int w = a.Info.Header.Width;
    const int h = a.AbsHeight;
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const TFColor p = pixelAt(a, x, y);
            const TFColor q = pixelAt(b, x, y);
            sum += std::pow(p.b - q.b, 2) + std::pow(p.g - q.g, 2) + std::pow(p.r - q.r, 2);
        }
    const double mse = sum / (3.0 * w * h);
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

QByteArray encode(TFastDIB& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(SaveJPGStream(&image, &buffer, quality), 0);
    return bytes;
}

int decode(const QByteArray& bytes, TFastDIB& image, TJPGScale scale = jsNone, QString* error = nullptr)
{
    TFastJPG jpg;
    jpg.AttachImage(&image);
    jpg.Scale = scale;
    const int result = jpg.LoadMem(reinterpret_cast<const quint8*>(bytes.constData()), bytes.size());
    if (error)
        *error = jpg.lastError();
    return result;
}

bool near(TFColor a, TFColor b, int tolerance)
{
    return std::abs(a.b - b.b) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.r - b.r) <= tolerance;
}

::testing::AssertionResult samePixels(const TFastDIB& image, const TFastDIB& expected)
{
    if (image.Info.Header.Width != expected.Info.Header.Width || image.AbsHeight != expected.AbsHeight
        || image.Info.Header.BitCount != expected.Info.Header.BitCount)
        return ::testing::AssertionFailure() << "size or depth differ";
    for (int y = 0; y < image.AbsHeight; ++y)
        if (std::memcmp(image.Scanlines[y], expected.Scanlines[y], std::size_t(image.BWidth)) != 0)
            return ::testing::AssertionFailure() << "memory row " << y << " differs";
    return ::testing::AssertionSuccess();
}

// A JPEG made with libjpeg directly, for the kinds our encoder does not write.
struct RawJpegOptions {
    int width = 16;
    int height = 16;
    int components = 3;
    J_COLOR_SPACE space = JCS_RGB;
    bool progressive = false;
    bool fullChroma = false;                  // 4:4:4 instead of 4:2:0
    bool flatContent = false;                 // every sample 128
    bool optimizeCoding = false;              // Huffman tables fitted to the data
    std::vector<jpeg_scan_info> scans;        // own scan script
    QByteArray app1;                          // an APP1 block written after the header markers
};

QByteArray rawJpeg(const RawJpegOptions& o)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(o.width);
    cinfo.image_height = JDIMENSION(o.height);
    cinfo.input_components = o.components;
    cinfo.in_color_space = o.space;
    jpeg_set_defaults(&cinfo);
    if (o.fullChroma)
        for (int c = 0; c < cinfo.num_components; ++c)
            cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    if (o.progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.optimize_coding = o.optimizeCoding ? TRUE : FALSE;
    if (!o.scans.empty()) {
        cinfo.scan_info = o.scans.data();
        cinfo.num_scans = int(o.scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    if (!o.app1.isEmpty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(o.app1.constData()),
                          unsigned(o.app1.size()));
    std::vector<JSAMPLE> row(std::size_t(o.width) * o.components);
    for (int y = 0; y < o.height; ++y) {
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = o.flatContent ? 128 : JSAMPLE((i * 7 + y * 13) & 0xFF);
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray result(reinterpret_cast<const char*>(out), qsizetype(outSize));
    std::free(out);
    return result;
}

// Offset of the first marker FF code, -1 when absent.
qsizetype markerAt(const QByteArray& jpeg, quint8 code)
{
    for (qsizetype i = 0; i + 1 < jpeg.size(); ++i)
        if (quint8(jpeg[i]) == 0xFF && quint8(jpeg[i + 1]) == code)
            return i;
    return -1;
}

// The frame header's height and width, patched in place (any SOF marker C0..C2).
QByteArray withFrameSize(QByteArray jpeg, int width, int height)
{
    qsizetype sof = -1;
    for (quint8 code : {0xC0, 0xC1, 0xC2})
        if ((sof = markerAt(jpeg, code)) >= 0)
            break;
    EXPECT_GE(sof, 0);
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width);
    return jpeg;
}

// ---- round trips ------------------------------------------------------------------------------

struct RoundTripCase {
    int bpp;
    int quality;
    double minPsnr; // what the quality promises for a smooth picture with mild noise
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, ComesBackAtTheSameSizeAndDepthCloseToTheOriginal)
{
    const RoundTripCase c = GetParam();
    TFastDIB original;
    fill(original, 96, 64, c.bpp, gradientWithNoise(96, 64, 7));

    const QByteArray bytes = encode(original, c.quality);
    ASSERT_GT(bytes.size(), 100);
    TFastDIB decoded;
    ASSERT_EQ(decode(bytes, decoded), 0);
    EXPECT_EQ(decoded.Info.Header.Width, 96);
    EXPECT_EQ(decoded.AbsHeight, 64);
    EXPECT_GT(decoded.Info.Header.Height, 0) << "decoded images are bottom-up";
    EXPECT_EQ(decoded.Info.Header.BitCount, c.bpp);
    EXPECT_GE(psnr(decoded, original), c.minPsnr);
}

INSTANTIATE_TEST_SUITE_P(FastJPG, RoundTrip,
                         ::testing::Values(RoundTripCase{24, 50, 32}, RoundTripCase{24, 75, 33},
                                           RoundTripCase{24, 90, 35}, RoundTripCase{24, 100, 45},
                                           RoundTripCase{8, 50, 32}, RoundTripCase{8, 75, 33},
                                           RoundTripCase{8, 90, 35}, RoundTripCase{8, 100, 50}),
                         [](const auto& info) {
                             return "Bits" + std::to_string(info.param.bpp) + "Quality"
                                    + std::to_string(info.param.quality);
                         });

TEST(FastJPG, HigherQualityGivesLargerFilesAndSmallerErrors)
{
    TFastDIB original;
    fill(original, 96, 64, 24, gradientWithNoise(96, 64, 3));
    double lastPsnr = 0;
    qsizetype lastSize = 0;
    for (int quality : {30, 60, 85, 100}) {
        const QByteArray bytes = encode(original, quality);
        TFastDIB decoded;
        ASSERT_EQ(decode(bytes, decoded), 0);
        const double p = psnr(decoded, original);
        EXPECT_GT(p, lastPsnr) << "quality " << quality;
        EXPECT_GT(bytes.size(), lastSize) << "quality " << quality;
        lastPsnr = p;
        lastSize = bytes.size();
    }
}

// Qt's reader is an independent decoder: our JPEG must show red where the picture is red, at the
// top-left where the picture has it, so neither channel order nor row order can be flipped.
TEST(FastJPG, EncodedPictureKeepsOrientationAndChannelsForAnotherReader)
{
    TFastDIB original;
    fill(original, 64, 48, 24, [](int x, int y) {
        if (x < 16 && y < 16)
            return TFColor{0, 0, 255}; // red, top-left
        if (x >= 48 && y >= 32)
            return TFColor{255, 0, 0}; // blue, bottom-right
        return TFColor{0, 160, 0};
    });
    const QByteArray bytes = encode(original, 95);
    const QImage other = QImage::fromData(bytes, "JPEG");
    ASSERT_FALSE(other.isNull());
    ASSERT_EQ(other.size(), QSize(64, 48));
    const QColor topLeft = other.pixelColor(6, 6);
    const QColor bottomRight = other.pixelColor(57, 41);
    const QColor middle = other.pixelColor(32, 24);
    EXPECT_GT(topLeft.red(), 200);
    EXPECT_LT(topLeft.blue(), 60);
    EXPECT_GT(bottomRight.blue(), 200);
    EXPECT_LT(bottomRight.red(), 60);
    EXPECT_GT(middle.green(), 120);
    EXPECT_LT(middle.red(), 60);
}

TEST(FastJPG, DecodedPictureKeepsOrientationAndChannelsOfAnotherWriter)
{
    QImage other(64, 48, QImage::Format_RGB32);
    other.fill(QColor(0, 160, 0));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            other.setPixelColor(x, y, QColor(255, 0, 0));
    for (int y = 32; y < 48; ++y)
        for (int x = 48; x < 64; ++x)
            other.setPixelColor(x, y, QColor(0, 0, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(other.save(&buffer, "JPEG", 95));

    TFastDIB decoded;
    ASSERT_EQ(decode(bytes, decoded), 0);
    ASSERT_EQ(decoded.Info.Header.BitCount, 24);
    EXPECT_TRUE(near(pixelAt(decoded, 6, 6), TFColor{0, 0, 255}, 40));
    EXPECT_TRUE(near(pixelAt(decoded, 57, 41), TFColor{255, 0, 0}, 40));
    EXPECT_TRUE(near(pixelAt(decoded, 32, 24), TFColor{0, 160, 0}, 40));
    // Memory row 0 is the picture's bottom row.
    const auto* bottom = static_cast<const quint8*>(decoded.Scanlines[0]);
    EXPECT_GT(bottom[3 * 60], 200) << "blue byte of the bottom-right pixel";
}

// ---- gray -------------------------------------------------------------------------------------

TEST(FastJPG, GrayJpegDecodesToEightBitsWithTheIdentityPalette)
{
    TFastDIB original;
    fill(original, 40, 30, 8, [](int x, int y) {
        const quint8 v = quint8(x * 6 + y);
        return TFColor{v, v, v};
    });
    const QByteArray bytes = encode(original, 100);
    TFastDIB decoded;
    TFastJPG jpg;
    jpg.AttachImage(&decoded);
    ASSERT_EQ(jpg.LoadMem(reinterpret_cast<const quint8*>(bytes.constData()), bytes.size()), 0);
    EXPECT_EQ(jpg.Props.JPGChannels, 1u);
    EXPECT_EQ(jpg.Props.DIBChannels, 1u);
    EXPECT_EQ(jpg.Props.DIBColor, jcGray);
    ASSERT_EQ(decoded.Info.Header.BitCount, 8);
    for (int i = 0; i < 256; ++i) {
        const TFColorA e = decoded.Colors[i];
        ASSERT_TRUE(e.b == i && e.g == i && e.r == i) << "palette entry " << i << " is " << int(e.b) << ","
                                                      << int(e.g) << "," << int(e.r);
    }
    EXPECT_GE(psnr(decoded, original), 45);
}

TEST(FastJPG, ColourJpegOfGrayContentStaysTwentyFourBits)
{
    TFastDIB original;
    fill(original, 16, 16, 24, flat({128, 128, 128}));
    TFastDIB decoded;
    ASSERT_EQ(decode(encode(original, 90), decoded), 0);
    EXPECT_EQ(decoded.Info.Header.BitCount, 24);
}

// ---- scaled decoding and odd sizes ------------------------------------------------------------

struct ScaleCase {
    int width, height;
    TJPGScale scale;
    int expectedWidth, expectedHeight;
};

TEST(FastJPG, ScaledDecodingShiftsTheSizeAndKeepsTheQuadrants)
{
    const ScaleCase cases[] = {
        {640, 480, jsNone, 640, 480}, {640, 480, jsHalf, 320, 240},   {640, 480, jsQuarter, 160, 120},
        {640, 480, jsEighth, 80, 60}, {333, 251, jsHalf, 166, 125},   {333, 251, jsQuarter, 83, 62},
        {333, 251, jsEighth, 41, 31}, {7, 5, jsEighth, 1, 1}, // never shrinks to nothing
    };
    const TFColor quadrant[4] = {{0, 0, 220}, {0, 200, 0}, {220, 0, 0}, {0, 220, 220}};
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " scale " << int(c.scale));
        TFastDIB original;
        fill(original, c.width, c.height, 24, [&](int x, int y) {
            return quadrant[(y >= c.height / 2 ? 2 : 0) + (x >= c.width / 2 ? 1 : 0)];
        });
        TFastDIB decoded;
        ASSERT_EQ(decode(encode(original, 95), decoded, c.scale), 0);
        EXPECT_EQ(decoded.Info.Header.Width, c.expectedWidth);
        EXPECT_EQ(decoded.AbsHeight, c.expectedHeight);
        if (c.expectedWidth < 16)
            continue;
        const int w = c.expectedWidth;
        const int h = c.expectedHeight;
        const int probe[4][2] = {{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}};
        for (int q = 0; q < 4; ++q) {
            const TFColor p = pixelAt(decoded, probe[q][0], probe[q][1]);
            EXPECT_TRUE(near(p, quadrant[q], 30))
                << "quadrant " << q << " is " << int(p.b) << "," << int(p.g) << "," << int(p.r);
        }
    }
}

TEST(FastJPG, OddSizesFillEveryPixelAndLeaveThePaddingZero)
{
    for (int width : {1, 2, 3, 5, 7, 13, 17}) {
        for (int height : {1, 3, 9}) {
            for (int bpp : {8, 24}) {
                SCOPED_TRACE(testing::Message() << width << "x" << height << " at " << bpp << " bits");
                TFastDIB original;
                fill(original, width, height, bpp, flat({30, 140, 210}));
                TFastDIB decoded;
                ASSERT_EQ(decode(encode(original, 100), decoded), 0);
                ASSERT_EQ(decoded.Info.Header.Width, width);
                ASSERT_EQ(decoded.AbsHeight, height);
                const int pixelBytes = width * bpp / 8;
                EXPECT_EQ(decoded.Gap, decoded.BWidth - pixelBytes);
                for (int y = 0; y < height; ++y) {
                    const auto* row = static_cast<const quint8*>(decoded.Scanlines[y]);
                    for (int i = pixelBytes; i < decoded.BWidth; ++i)
                        ASSERT_EQ(row[i], 0) << "padding byte " << i << " of memory row " << y;
                    for (int x = 0; x < width; ++x)
                        ASSERT_TRUE(near(pixelAt(decoded, x, y), pixelAt(original, x, y), 3))
                            << "pixel " << x << "," << y;
                }
            }
        }
    }
}

// The rows handed out while decoding are the picture's, each once, top first, without padding:
// a fingerprint taken from them is the finished picture's. Scaled decoding takes the other road.
TEST(FastJPG, RowsDecodedSeesEveryRowOnceInPictureOrder)
{
    const struct {
        int width, height, bpp;
        TJPGScale scale;
    } cases[] = {{37, 45, 24, jsNone}, {37, 45, 8, jsNone}, {80, 60, 24, jsHalf}, {1, 1, 24, jsNone}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.bpp << " bits, scale " << int(c.scale));
        TFastDIB original;
        fill(original, c.width, c.height, c.bpp, [](int x, int y) {
            return TFColor{quint8(x * 7), quint8(y * 5), quint8(x ^ y)};
        });
        TFastDIB decoded;
        TFastJPG jpg;
        jpg.AttachImage(&decoded);
        jpg.Scale = c.scale;
        std::vector<QByteArray> seen;
        jpg.RowsDecoded = [&](const quint8* const* rows, int count, qint64 rowBytes) {
            for (int i = 0; i < count; ++i)
                seen.emplace_back(reinterpret_cast<const char*>(rows[i]), rowBytes);
        };
        const QByteArray bytes = encode(original, 90);
        ASSERT_EQ(jpg.LoadMem(reinterpret_cast<const quint8*>(bytes.constData()), bytes.size()), 0);
        ASSERT_EQ(seen.size(), size_t(decoded.AbsHeight));
        const qint64 pixelBytes = qint64(decoded.Info.Header.Width) * decoded.Info.Header.BitCount / 8;
        for (int y = 0; y < decoded.AbsHeight; ++y)
            ASSERT_EQ(seen[size_t(y)], QByteArray(reinterpret_cast<const char*>(pictureRow(decoded, y)), pixelBytes))
                << "picture row " << y;
    }
}

// ---- FindJPGEnd and streams -------------------------------------------------------------------

TEST(FastJPG, FindJPGEndGivesTheOneBasedPositionOfTheFirstEndMarker)
{
    QByteArray hundred(100, '\x11');
    hundred[0] = '\xFF';
    hundred[1] = '\xD8';
    hundred[98] = '\xFF';
    hundred[99] = '\xD9';
    const struct {
        QByteArray data;
        qint64 expected;
    } cases[] = {
        {QByteArray(), 1},
        {QByteArray("\xFF", 1), 2},
        {QByteArray("\xFF\xD9", 2), 1},
        {QByteArray("\x00\xFF\xD9", 3), 2},
        {QByteArray("\xFF\xFF\xD9", 3), 2},
        {QByteArray("\xD9\xFF", 2), 3},
        {QByteArray("\xFF\xD8\xFF\x00\xFF\xD9\xFF\xD9", 8), 5},
        {hundred, 99},
        {QByteArray(1000, '\xFF'), 1001},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindJPGEnd(reinterpret_cast<const quint8*>(c.data.constData()), c.data.size()), c.expected)
            << c.data.toHex().left(40).constData();
}

TEST(FastJPG, FindJPGEndStopsAtTheFirstOfConcatenatedPictures)
{
    TFastDIB a;
    fill(a, 20, 10, 24, flat({0, 0, 200}));
    const QByteArray first = encode(a, 80);
    const QByteArray both = first + first;
    EXPECT_EQ(FindJPGEnd(reinterpret_cast<const quint8*>(both.constData()), both.size()), first.size() - 1);
}

// Stream kinds: a memory stream decoded where it lies, and a file read into a buffer.
class StreamKinds : public ::testing::TestWithParam<bool> {
protected:
    std::unique_ptr<QIODevice> open(const QByteArray& content)
    {
        if (!GetParam()) {
            m_bytes = content;
            auto buffer = std::make_unique<QBuffer>(&m_bytes);
            buffer->open(QIODevice::ReadOnly);
            return buffer;
        }
        const QString path = m_dir.filePath("stream.bin");
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
        out.close();
        auto file = std::make_unique<QFile>(path);
        file->open(QIODevice::ReadOnly);
        return file;
    }

private:
    QByteArray m_bytes;
    QTemporaryDir m_dir;
};

TEST_P(StreamKinds, ReadsConcatenatedPicturesOneAfterTheOther)
{
    TFastDIB a, b;
    fill(a, 20, 10, 24, flat({0, 0, 200}));
    fill(b, 12, 30, 8, flat({90, 90, 90}));
    const QByteArray first = encode(a, 90);
    const QByteArray second = encode(b, 90);
    const QByteArray prefix("header bytes", 12);
    auto stream = open(prefix + first + second);
    ASSERT_TRUE(stream->seek(prefix.size()));

    TFastDIB decoded;
    ASSERT_EQ(LoadJPGStream(&decoded, stream.get(), false), 0);
    EXPECT_EQ(decoded.Info.Header.Width, 20);
    EXPECT_EQ(decoded.Info.Header.BitCount, 24);
    EXPECT_EQ(stream->pos(), prefix.size() + first.size());

    ASSERT_EQ(LoadJPGStream(&decoded, stream.get(), true), 0);
    EXPECT_EQ(decoded.Info.Header.Width, 12);
    EXPECT_EQ(decoded.AbsHeight, 30);
    EXPECT_EQ(decoded.Info.Header.BitCount, 8);
    EXPECT_TRUE(stream->atEnd());
}

TEST_P(StreamKinds, FailedReadLeavesStreamAndImageAsTheyWere)
{
    TFastDIB a;
    fill(a, 20, 10, 24, flat({0, 0, 200}));
    const QByteArray bytes = encode(a, 90);
    auto stream = open(QByteArray("xx") + bytes.left(bytes.size() / 2));
    ASSERT_TRUE(stream->seek(2));

    TFastDIB target, copy;
    fill(target, 5, 4, 24, gradientWithNoise(5, 4, 1));
    copy.MakeCopy(target, true);
    EXPECT_EQ(LoadJPGStream(&target, stream.get(), false), -1);
    EXPECT_EQ(stream->pos(), 2);
    EXPECT_TRUE(samePixels(target, copy));
}

INSTANTIATE_TEST_SUITE_P(FastJPG, StreamKinds, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });

TEST(FastJPG, SaveJPGStreamAppendsAtThePositionAndEndsWithTheEndMarker)
{
    TFastDIB image;
    fill(image, 33, 21, 24, gradientWithNoise(33, 21, 5));
    QByteArray bytes("lead");
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadWrite);
    buffer.seek(4);
    ASSERT_EQ(SaveJPGStream(&image, &buffer, 100), 0);
    EXPECT_TRUE(bytes.startsWith("lead\xFF\xD8"));
    EXPECT_TRUE(bytes.endsWith("\xFF\xD9"));
    EXPECT_EQ(buffer.pos(), bytes.size());
}

// Pieces put together are the bytes the stream gets; a sink that refuses or throws fails the save.
TEST(FastJPG, SaveInPiecesHandsOutTheStreamsBytes)
{
    TFastDIB image;
    fill(image, 233, 121, 24, gradientWithNoise(233, 121, 9));
    const QByteArray whole = encode(image, 100);
    for (qint64 piece : {qint64(1), qint64(5), qint64(4096), qint64(1) << 20}) {
        SCOPED_TRACE(testing::Message() << "pieces of " << piece);
        TFastJPG jpg;
        jpg.AttachImage(&image);
        jpg.Props.Quality = 100;
        QByteArray joined;
        std::vector<qint64> sizes;
        ASSERT_EQ(jpg.SaveInPieces([&](const quint8* data, qint64 size) {
            joined.append(reinterpret_cast<const char*>(data), size);
            sizes.push_back(size);
            return true;
        }, piece), 0) << jpg.lastError().toStdString();
        EXPECT_EQ(joined, whole);
        ASSERT_FALSE(sizes.empty());
        for (size_t i = 0; i + 1 < sizes.size(); ++i)
            ASSERT_EQ(sizes[i], piece) << "piece " << i;
        EXPECT_LE(sizes.back(), piece);
    }
    const struct {
        const char* name;
        std::function<bool(int)> take; // by the number of the piece
    } sinks[] = {{"refuses the third piece", [](int n) { return n < 2; }},
                 {"throws at the third piece", [](int n) -> bool {
                      if (n >= 2)
                          throw std::runtime_error("disk full");
                      return true;
                  }}};
    for (const auto& sink : sinks) {
        SCOPED_TRACE(sink.name);
        TFastJPG jpg;
        jpg.AttachImage(&image);
        int pieces = 0;
        EXPECT_EQ(jpg.SaveInPieces([&](const quint8*, qint64) { return sink.take(pieces++); }, 1000), -1);
        EXPECT_EQ(pieces, 3) << "no piece after the failed one";
        EXPECT_FALSE(jpg.lastError().isEmpty());
    }
}

// A tiny picture at the highest quality is larger than its own pixel bytes; it must come out whole.
TEST(FastJPG, TinyImageAtFullQualityIsWrittenWhole)
{
    TFastDIB image;
    fill(image, 1, 1, 24, flat({1, 2, 3}));
    const QByteArray bytes = encode(image, 100);
    EXPECT_GT(bytes.size(), qsizetype(image.Info.Header.SizeImage));
    TFastDIB decoded;
    ASSERT_EQ(decode(bytes, decoded), 0);
    EXPECT_TRUE(near(pixelAt(decoded, 0, 0), {1, 2, 3}, 2));
}

// ---- memory and file forms --------------------------------------------------------------------

TEST(FastJPG, SaveMemWritesTheSameBytesAsTheStreamOrFailsWhenTheBufferIsShort)
{
    TFastDIB image;
    fill(image, 50, 40, 24, gradientWithNoise(50, 40, 9));
    const QByteArray expected = encode(image, 85);

    TFastJPG jpg;
    jpg.AttachImage(&image);
    jpg.Props.Quality = 85;
    std::vector<quint8> buffer(std::size_t(expected.size()) + 100, 0xAB);
    ASSERT_EQ(jpg.SaveMem(buffer.data(), qint64(buffer.size())), expected.size());
    EXPECT_EQ(jpg.Props.JPGSizeBytes, expected.size());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(buffer.data()), expected.size()), expected);

    std::vector<quint8> tooSmall(std::size_t(expected.size()) / 2);
    EXPECT_EQ(jpg.SaveMem(tooSmall.data(), qint64(tooSmall.size())), -1);
    EXPECT_FALSE(jpg.lastError().isEmpty());
    EXPECT_EQ(jpg.SaveMem(nullptr, 100), -1);
}

TEST(FastJPG, FileRoundTripAndFileFailures)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("core.jpg");
    TFastDIB image;
    fill(image, 70, 30, 24, gradientWithNoise(70, 30, 11));

    TFastJPG writer;
    writer.AttachImage(&image);
    writer.Props.Quality = 95;
    ASSERT_EQ(writer.SaveFile(path), 0);
    TFastDIB decoded;
    TFastJPG reader;
    reader.AttachImage(&decoded);
    ASSERT_EQ(reader.LoadFile(path), 0);
    EXPECT_EQ(reader.Props.FileName, path);
    EXPECT_GE(psnr(decoded, image), 33);

    // An encode that fails keeps the file that was there.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    TFastDIB sixteen;
    sixteen.SetSize(8, 8, 16);
    TFastJPG bad;
    bad.AttachImage(&sixteen);
    EXPECT_EQ(bad.SaveFile(path), -1);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    file.close();

    EXPECT_EQ(writer.SaveFile(dir.filePath("no/such/folder/x.jpg")), -1);

    QFile truncated(dir.filePath("truncated.jpg"));
    ASSERT_TRUE(truncated.open(QIODevice::WriteOnly));
    truncated.write(before.left(before.size() - 40));
    truncated.close();
    TFastDIB copy;
    copy.MakeCopy(decoded, true);
    for (const QString& name : {QStringLiteral("missing.jpg"), QStringLiteral("truncated.jpg"), QString()}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(reader.LoadFile(dir.filePath(name)), -1);
        EXPECT_FALSE(reader.lastError().isEmpty());
        EXPECT_TRUE(samePixels(decoded, copy));
    }
    EXPECT_EQ(reader.LoadRes(QStringLiteral(":/no/such/picture.jpg")), -1);
    EXPECT_TRUE(samePixels(decoded, copy));
}

// ---- failures ---------------------------------------------------------------------------------

QByteArray validJpeg()
{
    TFastDIB image;
    fill(image, 48, 32, 24, gradientWithNoise(48, 32, 2));
    return encode(image, 90);
}

QByteArray withMarkerInsideTheScan()
{
    QByteArray bytes = validJpeg();
    const qsizetype sos = markerAt(bytes, 0xDA);
    const qsizetype at = sos + (bytes.size() - sos) / 2;
    bytes[at] = '\xFF';
    bytes[at + 1] = '\xD9';
    return bytes;
}

std::vector<jpeg_scan_info> tooManyScans()
{
    // Every coefficient on its own, refined bit by bit: a valid script of 568 scans.
    std::vector<jpeg_scan_info> scans;
    scans.push_back({1, {0, 0, 0, 0}, 0, 0, 0, 0});
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0, 0, 0, 0}, k, k, 0, 8});
        for (int al = 7; al >= 0; --al)
            scans.push_back({1, {0, 0, 0, 0}, k, k, al + 1, al});
    }
    return scans;
}

TEST(FastJPG, BadDataFailsAndLeavesTheImageAsItWas)
{
    const QByteArray good = validJpeg();
    const qsizetype sos = markerAt(good, 0xDA);
    RawJpegOptions cmyk;
    cmyk.components = 4;
    cmyk.space = JCS_CMYK;
    RawJpegOptions bigProgressive; // 4:4:4 coefficients need 6 bytes a pixel, the image 3
    bigProgressive.progressive = true;
    bigProgressive.fullChroma = true;
    RawJpegOptions manyScans;
    manyScans.width = manyScans.height = 8;
    manyScans.components = 1;
    manyScans.space = JCS_GRAYSCALE;
    manyScans.scans = tooManyScans();

    const struct {
        const char* name;
        QByteArray data;
        TJPGScale scale;
    } cases[] = {
        {"empty", QByteArray(), jsNone},
        {"not a JPEG", QByteArray("this is plain text, not a picture"), jsNone},
        {"start marker only", QByteArray("\xFF\xD8", 2), jsNone},
        {"cut in the header", good.left(sos / 2), jsNone},
        {"cut in the scan", good.left(sos + (good.size() - sos) / 2), jsNone},
        {"end marker missing", good.left(good.size() - 2), jsNone},
        {"marker inside the scan", withMarkerInsideTheScan(), jsNone},
        {"zero width", withFrameSize(good, 0, 32), jsNone},
        {"huge frame", withFrameSize(good, 65000, 65000), jsNone},
        {"frame larger than its data", withFrameSize(good, 4000, 4000), jsNone},
        {"huge progressive coefficients", withFrameSize(rawJpeg(bigProgressive), 25000, 20000), jsNone},
        {"too many progressive scans", rawJpeg(manyScans), jsNone},
        {"four colour components", rawJpeg(cmyk), jsNone},
        {"no thumbnail", good, jsThumbnail},
        {"unknown scale", good, TJPGScale(9)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFastDIB target, copy;
        fill(target, 5, 4, 24, gradientWithNoise(5, 4, 1));
        copy.MakeCopy(target, true);
        QString error;
        EXPECT_EQ(decode(c.data, target, c.scale, &error), -1);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_TRUE(samePixels(target, copy));
    }
}

// Fitted tables code a flat block in two bits, the least the size check allows for.
TEST(FastJPG, FlatPictureWithFittedTablesIsNotTakenForShortData)
{
    for (int components : {1, 3}) {
        RawJpegOptions flatPicture;
        flatPicture.width = flatPicture.height = 1024;
        flatPicture.components = components;
        flatPicture.space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
        flatPicture.flatContent = true;
        flatPicture.optimizeCoding = true;
        const QByteArray bytes = rawJpeg(flatPicture);
        TFastDIB decoded;
        QString error;
        ASSERT_EQ(decode(bytes, decoded, jsNone, &error), 0) << bytes.size() << " bytes: " << error.toStdString();
        EXPECT_EQ(decoded.Info.Header.Width, 1024);
        EXPECT_TRUE(near(pixelAt(decoded, 1023, 1023), {128, 128, 128}, 1));
    }
}

TEST(FastJPG, RefusesHugeFramesBeforeDecoding)
{
    TFastDIB target;
    QString error;
    EXPECT_EQ(decode(withFrameSize(validJpeg(), 65000, 65000), target, jsNone, &error), -1);
    EXPECT_TRUE(error.contains("too large")) << error.toStdString();
    // The same frame at an eighth is small enough, but its data is far too short.
    EXPECT_EQ(decode(withFrameSize(validJpeg(), 65000, 65000), target, jsEighth, &error), -1);
    EXPECT_TRUE(error.contains("too short")) << error.toStdString();
}

TEST(FastJPG, EncodingFailsCleanlyOnImagesItCannotWrite)
{
    TFastDIB empty;
    TFastDIB sixteen;
    sixteen.SetSize(8, 8, 16);
    TFastDIB thirtyTwo;
    thirtyTwo.SetSize(8, 8, 32);
    TFastDIB tooWide; // beyond the format's 65500 pixels
    tooWide.SetSize(65501, 1, 8);
    const struct {
        const char* name;
        TFastDIB* image;
    } cases[] = {{"empty", &empty}, {"16 bits", &sixteen}, {"32 bits", &thirtyTwo}, {"too wide", &tooWide}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        TFastJPG jpg;
        jpg.AttachImage(c.image);
        EXPECT_EQ(jpg.SaveStream(&buffer), -1);
        EXPECT_FALSE(jpg.lastError().isEmpty());
        EXPECT_TRUE(bytes.isEmpty());
    }
    TFastJPG detached;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(detached.SaveStream(&buffer), -1);
    EXPECT_EQ(detached.LoadMem(reinterpret_cast<const quint8*>("\xFF\xD8"), 2), -1);
    TFastDIB image;
    fill(image, 4, 4, 24, flat({1, 2, 3}));
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_EQ(SaveJPGStream(&image, &readOnly, 100), -1);
}

// ---- EXIF thumbnail ---------------------------------------------------------------------------

QByteArray exifWithThumbnail(const QByteArray& thumbnail)
{
    ExifData* exif = exif_data_new();
    exif->data = static_cast<unsigned char*>(std::malloc(std::size_t(thumbnail.size())));
    std::memcpy(exif->data, thumbnail.constData(), std::size_t(thumbnail.size()));
    exif->size = unsigned(thumbnail.size());
    unsigned char* block = nullptr;
    unsigned int size = 0;
    exif_data_save_data(exif, &block, &size);
    QByteArray result(reinterpret_cast<const char*>(block), qsizetype(size));
    std::free(block);
    exif_data_unref(exif);
    return result;
}

TEST(FastJPG, ThumbnailScaleDecodesTheExifThumbnail)
{
    TFastDIB small;
    fill(small, 32, 24, 24, flat({0, 0, 230}));
    const QByteArray thumbnail = encode(small, 90);
    RawJpegOptions options;
    options.width = 320;
    options.height = 240;
    options.app1 = exifWithThumbnail(thumbnail);
    ASSERT_FALSE(options.app1.isEmpty());
    const QByteArray photo = rawJpeg(options);

    TFastDIB decoded;
    TFastJPG jpg;
    jpg.AttachImage(&decoded);
    jpg.Scale = jsThumbnail;
    ASSERT_EQ(jpg.LoadMem(reinterpret_cast<const quint8*>(photo.constData()), photo.size()), 0)
        << jpg.lastError().toStdString();
    EXPECT_EQ(jpg.Props.JPGWidth, 320u);
    EXPECT_EQ(jpg.Props.JPGHeight, 240u);
    EXPECT_EQ(jpg.Props.JPGThumbWidth, 32u);
    EXPECT_EQ(jpg.Props.JPGThumbHeight, 24u);
    EXPECT_EQ(decoded.Info.Header.Width, 32);
    EXPECT_EQ(decoded.AbsHeight, 24);
    EXPECT_TRUE(near(pixelAt(decoded, 10, 10), {0, 0, 230}, 10));

    // Without the thumbnail scale the EXIF block is passed over.
    jpg.Scale = jsNone;
    ASSERT_EQ(jpg.LoadMem(reinterpret_cast<const quint8*>(photo.constData()), photo.size()), 0);
    EXPECT_EQ(decoded.Info.Header.Width, 320);
    EXPECT_EQ(decoded.AbsHeight, 240);

    // A thumbnail that is not JPEG data is no thumbnail.
    options.app1 = exifWithThumbnail(QByteArray(300, 'x'));
    const QByteArray odd = rawJpeg(options);
    jpg.Scale = jsThumbnail;
    EXPECT_EQ(jpg.LoadMem(reinterpret_cast<const quint8*>(odd.constData()), odd.size()), -1);
    EXPECT_EQ(decoded.Info.Header.Width, 320);
}

TEST(FastJPG, ExifThumbnailReaderRefusesDamagedBlocks)
{
    TFastDIB small;
    fill(small, 16, 8, 24, flat({200, 0, 0}));
    const QByteArray thumbnail = encode(small, 90);
    const QByteArray app1 = exifWithThumbnail(thumbnail);
    const qsizetype length = app1.size() + 2;
    const QByteArray photo = QByteArray("\xFF\xD8\xFF\xE1", 4) + char(length >> 8) + char(length & 0xFF) + app1
                             + validJpeg().mid(2);
    const qsizetype app1End = 6 + app1.size();
    auto read = [&](const QByteArray& data) {
        return ReadExifThumbnail(reinterpret_cast<const quint8*>(data.constData()), data.size());
    };
    EXPECT_EQ(read(photo), thumbnail);
    EXPECT_EQ(read(photo.left(app1End)), thumbnail);
    for (qsizetype cut : {qsizetype(3), qsizetype(12), app1End / 2, app1End - 1}) {
        SCOPED_TRACE(cut);
        EXPECT_TRUE(read(photo.left(cut)).isEmpty());
    }
    EXPECT_TRUE(read(validJpeg()).isEmpty());
    EXPECT_TRUE(ReadExifThumbnail(nullptr, 100).isEmpty());
    EXPECT_TRUE(read(QByteArray(5000, '\xFF')).isEmpty());
}

// ---- processor hint ---------------------------------------------------------------------------

TEST(FastJPG, ProcessorHintFollowsVendorFamilyModelAndFeatures)
{
    const struct {
        const char* vendor;
        int family, model;
        ProcessorFeatures flags;
        int expected;
    } cases[] = {
        {"GenuineIntel", 15, 2, pfSSE2, 6},
        {"AuthenticAMD", 15, 2, pfSSE2, 6},
        {"GenuineIntel", 6, 1, {}, 2},
        {"GenuineIntel", 6, 0, {}, 2},
        {"GenuineIntel", 6, 2, {}, 4},
        {"GenuineIntel", 6, 3, pfMMX, 4},
        {"GenuineIntel", 5, 4, {}, 1},
        {"GenuineIntel", 5, 4, pfMMX, 3},
        {"GenuineIntel", 15, 0, {}, 0},
        {"AuthenticAMD", 6, 2, {}, 0},
        {"AuthenticAMD", 6, 2, pfMMX, 3},
        {"AuthenticAMD", 6, 2, pfMMX | pfSSE, 5},
        {"", 0, 0, {}, 0},
    };
    for (const auto& c : cases) {
        TProcessorInfo info;
        info.Vendor = QString::fromLatin1(c.vendor);
        info.Family = quint8(c.family);
        info.Model = quint8(c.model);
        info.FeatureFlags = c.flags;
        EXPECT_EQ(IJLCpuHint(info), c.expected) << c.vendor << " family " << c.family << " model " << c.model;
    }
#if defined(__x86_64__)
    EXPECT_EQ(WriteIJLCpuHint(), 6) << "every 64-bit x86 processor has SSE2";
#endif
}

} // namespace
