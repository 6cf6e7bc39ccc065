// Frame decoders against pixels computed here from the conversion formula, and refusals of frames
// whose size does not match.
#include "acquisition/VFrameDecode.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "platform/DeviceContext.h"
#include "platform/VideoCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr quint32 I420 = MakeFourCC('I', '4', '2', '0');
constexpr quint32 IYUV = MakeFourCC('I', 'Y', 'U', 'V');
constexpr quint32 YV12 = MakeFourCC('Y', 'V', '1', '2');
constexpr quint32 BY8 = MakeFourCC('B', 'Y', '8', ' ');
constexpr quint32 YUY2 = MakeFourCC('Y', 'U', 'Y', '2');
constexpr quint32 YUYV = MakeFourCC('Y', 'U', 'Y', 'V');
constexpr quint32 YUNV = MakeFourCC('Y', 'U', 'N', 'V');
constexpr quint32 MJPG = MakeFourCC('M', 'J', 'P', 'G');
constexpr quint32 NV12 = MakeFourCC('N', 'V', '1', '2');

// The conversion written out with its constants, independent of the tables.
TFColor reference(int Y, int U, int V)
{
    auto r = [](long double v) { return qint32(std::nearbyintl(v)); };
    auto clip = [](qint32 v) { return quint8(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    const qint32 y = r(Y * 298.082L);
    const qint32 b = (y + r(U * 516.412L - 70870.016L)) / 256;
    const qint32 g = (y + r(U * -100.291L) + r(V * -208.12L + 34707.456L)) / 256;
    const qint32 rr = (y + r(V * 408.583L - 57067.776L)) / 256;
    return TFColor{clip(b), clip(g), clip(rr)};
}

TFColor pixelAt(const TFastDIB& bmp, int x, int y) // y from the top
{
    return bmp.GetPixel(bmp.AbsHeight - 1 - y, x);
}

void expectPixel(const TFastDIB& bmp, int x, int y, TFColor want)
{
    const TFColor got = pixelAt(bmp, x, y);
    EXPECT_TRUE(got.b == want.b && got.g == want.g && got.r == want.r)
        << "pixel (" << x << ", " << y << "): got " << int(got.b) << "," << int(got.g) << "," << int(got.r)
        << " want " << int(want.b) << "," << int(want.g) << "," << int(want.r);
}

TFastDIB& sized(TFastDIB& bmp, int w, int h)
{
    bmp.SetSize(w, h, 24);
    return bmp;
}

// A 4 x 2 picture: luma per pixel, chroma per pixel pair.
const quint8 lumaRows[2][4] = {{16, 235, 81, 145}, {60, 200, 128, 30}};
const quint8 chromaU[2] = {90, 240};
const quint8 chromaV[2] = {240, 110};

std::vector<quint8> planar(bool vFirst)
{
    std::vector<quint8> f;
    for (auto& row : lumaRows)
        f.insert(f.end(), row, row + 4);
    const quint8* first = vFirst ? chromaV : chromaU;
    const quint8* second = vFirst ? chromaU : chromaV;
    f.insert(f.end(), first, first + 2);
    f.insert(f.end(), second, second + 2);
    return f;
}

} // namespace

TEST(YUVTables, MatchTheFormulaAndClip)
{
    const TYUVTables& t = YUVTables();
    for (int i : {0, 1, 16, 128, 235, 255}) {
        EXPECT_EQ(t.ValueY_298[i], qint32(std::nearbyintl(i * 298.082L))) << i;
        EXPECT_EQ(t.ValueU_516[i], qint32(std::nearbyintl(i * 516.412L - 70870.016L))) << i;
        EXPECT_EQ(t.ValueV_208[i], qint32(std::nearbyintl(i * -208.12L + 34707.456L))) << i;
    }
    EXPECT_EQ(t.clip(-1023), 0);
    EXPECT_EQ(t.clip(-1), 0);
    EXPECT_EQ(t.clip(0), 0);
    EXPECT_EQ(t.clip(200), 200);
    EXPECT_EQ(t.clip(256), 255);
    EXPECT_EQ(t.clip(1023), 255);
}

TEST(UnpackVideoFrame, PlanarFormatsDecodeEachPixelWithItsPairsChroma)
{
    struct Case { quint32 code; bool vFirst; };
    for (const Case c : {Case{I420, false}, Case{IYUV, false}, Case{BY8, false}, Case{YV12, true}}) {
        SCOPED_TRACE(FourCCText(c.code).toStdString());
        const std::vector<quint8> frame = planar(c.vFirst);
        TFastDIB bmp;
        QString error;
        ASSERT_EQ(UnpackVideoFrame(c.code, frame.data(), qint64(frame.size()), sized(bmp, 4, 2), &error), 0) << error.toStdString();
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                expectPixel(bmp, x, y, reference(lumaRows[y][x], chromaU[x / 2], chromaV[x / 2]));
    }
}

TEST(UnpackVideoFrame, PackedFormatsDecodeTwoPixelsPerGroup)
{
    // Y0 U Y1 V per group, rows top-down.
    std::vector<quint8> frame;
    for (auto& row : lumaRows)
        for (int g = 0; g < 2; ++g)
            frame.insert(frame.end(), {row[2 * g], chromaU[g], row[2 * g + 1], chromaV[g]});
    for (quint32 code : {YUY2, YUYV, YUNV}) {
        TFastDIB bmp;
        ASSERT_EQ(UnpackVideoFrame(code, frame.data(), qint64(frame.size()), sized(bmp, 4, 2)), 0);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                expectPixel(bmp, x, y, reference(lumaRows[y][x], chromaU[x / 2], chromaV[x / 2]));
    }
}

TEST(UnpackVideoFrame, GreyInputGivesGreyAndTheVideoRangeEnds)
{
    struct Case { quint8 y; int level; }; // level -1: equal channels, any value
    for (const Case c : {Case{16, 0}, Case{235, 255}, Case{100, -1}, Case{0, 0}, Case{255, 255}}) {
        const std::vector<quint8> frame = {c.y, 128, c.y, 128};
        TFastDIB bmp;
        ASSERT_EQ(UnpackVideoFrame(YUY2, frame.data(), 4, sized(bmp, 2, 1)), 0);
        const TFColor p = pixelAt(bmp, 1, 0);
        EXPECT_EQ(p.r, p.g) << int(c.y);
        EXPECT_EQ(p.g, p.b) << int(c.y);
        if (c.level >= 0) {
            EXPECT_EQ(p.r, c.level) << int(c.y);
        }
    }
}

TEST(UnpackVideoFrame, I420AndYV12OfOnePictureGiveOneBitmap)
{
    const std::vector<quint8> i420 = planar(false);
    const std::vector<quint8> yv12 = planar(true);
    TFastDIB a, b;
    ASSERT_EQ(UnpackVideoFrame(I420, i420.data(), qint64(i420.size()), sized(a, 4, 2)), 0);
    ASSERT_EQ(UnpackVideoFrame(YV12, yv12.data(), qint64(yv12.size()), sized(b, 4, 2)), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            expectPixel(b, x, y, pixelAt(a, x, y));
}

TEST(UnpackVideoFrame, RgbRowsArriveTopDownAndStayUpright)
{
    // 3 x 2 (rows of 9 bytes: no padding in the frame, padding in the bitmap).
    std::vector<quint8> frame;
    for (int i = 0; i < 18; ++i)
        frame.push_back(quint8(10 * i));
    TFastDIB bmp;
    ASSERT_EQ(UnpackVideoFrame(0, frame.data(), 18, sized(bmp, 3, 2)), 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const int o = (y * 3 + x) * 3;
            expectPixel(bmp, x, y, TFColor{frame[o], frame[o + 1], frame[o + 2]});
        }
}

TEST(UnpackVideoFrame, RefusesFramesOfTheWrongSizeAndUnknownCodes)
{
    std::vector<quint8> bytes(4096, 77);
    struct Case { quint32 code; int w, h; qint64 size; };
    const Case cases[] = {
        {YUY2, 640, 480, 640 * 480 * 2 - 1}, // one byte short
        {YUY2, 4, 2, 17},                    // one byte over
        {I420, 4, 2, 11},
        {YV12, 4, 4, 25},
        {0, 3, 2, 20},                        // padded rows: 2 rows of 10 bytes
        {0, 4, 4, 0},                         // empty
        {NV12, 4, 2, 12},                     // a code no decoder knows
        {I420, 4, 3, 18},                     // odd height: the last chroma row lies past the bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(FourCCText(c.code).toStdString() + " " + std::to_string(c.size));
        TFastDIB bmp;
        QString error;
        EXPECT_EQ(UnpackVideoFrame(c.code, bytes.data(), c.size, sized(bmp, c.w, c.h), &error), -1);
        EXPECT_FALSE(error.isEmpty());
    }
    TFastDIB bmp;
    EXPECT_EQ(UnpackVideoFrame(YUY2, nullptr, 16, sized(bmp, 4, 2)), -1);
}

TEST(UnpackVideoFrame, MotionJpegIsDrawnAtTheTopLeftAndDamageIsRefused)
{
    TFastDIB source;
    source.SetSize(16, 8, 24);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            source.SetPixel(y, x, x < 8 ? TFColor{0, 0, 250} : TFColor{250, 0, 0}); // left red, right blue
    std::vector<quint8> jpeg(65536);
    TFastJPG encoder;
    encoder.AttachImage(&source);
    encoder.Props.Quality = 95;
    const qint64 n = encoder.SaveMem(jpeg.data(), qint64(jpeg.size()));
    ASSERT_GT(n, 0);
    // The frame is larger than the JPEG picture: the rest stays as it was.
    TFastDIB bmp;
    sized(bmp, 20, 10);
    ASSERT_EQ(UnpackVideoFrame(MJPG, jpeg.data(), n, bmp), 0);
    const TFColor left = pixelAt(bmp, 2, 2), right = pixelAt(bmp, 13, 2), outside = pixelAt(bmp, 18, 9);
    EXPECT_GT(left.r, 200);
    EXPECT_LT(left.b, 50);
    EXPECT_GT(right.b, 200);
    EXPECT_LT(right.r, 50);
    EXPECT_EQ(outside.r + outside.g + outside.b, 0);

    QString error;
    EXPECT_EQ(UnpackVideoFrame(MJPG, jpeg.data(), n / 3, bmp, &error), -1);
    EXPECT_FALSE(error.isEmpty());
    const quint8 junk[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(UnpackVideoFrame(MJPG, junk, 5, bmp), -1);
}

TEST(DrawCompressionMessage, WritesTwoLinesAtTheTopLeft)
{
    TFastDIB bmp;
    sized(bmp, 300, 60);
    bmp.Clear(TFColor{255, 255, 255});
    DrawCompressionMessage(bmp, 1234, YUY2);
    // Ink in the first line and in the second, nothing far below them.
    auto inkInRows = [&bmp](int from, int to) {
        int ink = 0;
        for (int y = from; y < to; ++y)
            for (int x = 0; x < 300; ++x) {
                const TFColor p = pixelAt(bmp, x, y);
                ink += p.r + p.g + p.b < 300;
            }
        return ink;
    };
    EXPECT_GT(inkInRows(0, 12), 0);
    EXPECT_GT(inkInRows(14, 28), 0);
    EXPECT_EQ(inkInRows(40, 60), 0);

    // The very words: the same two lines written here from the message's wording, as the screen
    // shows them.
    const struct {
        quint32 fourCC;
        const char* second;
    } rows[] = {{YUY2, "DataSize: 1234  FourCC: YUY2"}, {0, "DataSize: 1234  FourCC: RGB"}};
    for (const auto& r : rows) {
        TFastDIB got, want;
        for (TFastDIB* b : {&got, &want}) {
            sized(*b, 300, 60);
            b->Clear(TFColor{255, 255, 255});
        }
        DrawCompressionMessage(got, 1234, r.fourCC);
        want.SetFont(QStringLiteral("Tahoma"), -11);
        SIZE x{0, 0};
        GetTextExtentPoint32(want.hDC, QStringLiteral("X"), &x);
        want.TextOut(0, 0, QStringLiteral("Unknown compression"));
        want.TextOut(0, x.cy, QString::fromLatin1(r.second));
        int differing = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 300; ++x) {
                const TFColor a = pixelAt(got, x, y), b = pixelAt(want, x, y);
                differing += a.r != b.r || a.g != b.g || a.b != b.b;
            }
        EXPECT_EQ(differing, 0) << r.second;
    }
}

TEST(VideoFrameRequiredSize, FollowsTheFormat)
{
    EXPECT_EQ(VideoFrameRequiredSize(0, 640, 480), 640 * 480 * 3);
    EXPECT_EQ(VideoFrameRequiredSize(I420, 640, 480), 640 * 480 * 3 / 2);
    EXPECT_EQ(VideoFrameRequiredSize(YUY2, 640, 480), 640 * 480 * 2);
    EXPECT_EQ(VideoFrameRequiredSize(MJPG, 640, 480), -1);
    EXPECT_EQ(VideoFrameRequiredSize(YUY2, 1 << 16, 1 << 16), qint64(1) << 33); // no 32-bit overflow
}
