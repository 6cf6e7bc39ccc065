// Video frame decoders: table lookups and shifts per pixel, every read checked against the size.
#include "acquisition/VFrameDecode.h"

#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "platform/DeviceContext.h"
#include "platform/VideoCapture.h"

#include <cmath>
#include <cstring>

namespace {

constexpr quint32 FourCC_I420 = MakeFourCC('I', '4', '2', '0');
constexpr quint32 FourCC_IYUV = MakeFourCC('I', 'Y', 'U', 'V');
constexpr quint32 FourCC_YV12 = MakeFourCC('Y', 'V', '1', '2');
constexpr quint32 FourCC_BY8 = MakeFourCC('B', 'Y', '8', ' ');
constexpr quint32 FourCC_YUY2 = MakeFourCC('Y', 'U', 'Y', '2');
constexpr quint32 FourCC_YUNV = MakeFourCC('Y', 'U', 'N', 'V');
constexpr quint32 FourCC_YUYV = MakeFourCC('Y', 'U', 'Y', 'V');
constexpr quint32 FourCC_MJPG = MakeFourCC('M', 'J', 'P', 'G');

enum class Kind { Rgb, Planar, PlanarVU, Packed, Jpeg, Unknown };

Kind kindOf(quint32 fourCC)
{
    switch (fourCC) {
    case 0:
        return Kind::Rgb;
    case FourCC_I420:
    case FourCC_IYUV:
    case FourCC_BY8:
        return Kind::Planar;
    case FourCC_YV12:
        return Kind::PlanarVU;
    case FourCC_YUY2:
    case FourCC_YUNV:
    case FourCC_YUYV:
        return Kind::Packed;
    case FourCC_MJPG:
        return Kind::Jpeg;
    default:
        return Kind::Unknown;
    }
}

// Picture row y (top-down) of a 24-bit image, whichever way its memory runs.
TFColor* pictureRow(const TFastDIB& bmp, int y)
{
    const int memoryRow = bmp.Info.Header.Height > 0 ? bmp.AbsHeight - 1 - y : y;
    return static_cast<TFColor*>(bmp.Scanlines[memoryRow]);
}

TYUVTables buildTables()
{
    TYUVTables t;
    // Products in long double and halves to even, as the tables were always computed.
    for (int i = 0; i < 256; ++i) {
        const long double v = i;
        t.ValueY_298[i] = qint32(std::nearbyintl(v * 298.082L));
        t.ValueU_100[i] = qint32(std::nearbyintl(v * -100.291L));
        t.ValueU_516[i] = qint32(std::nearbyintl(v * 516.412L - 70870.016L));
        t.ValueV_409[i] = qint32(std::nearbyintl(v * 408.583L - 57067.776L));
        t.ValueV_208[i] = qint32(std::nearbyintl(v * -208.12L + 34707.456L));
    }
    for (int i = -1023; i <= 1023; ++i)
        t.ValueClip[i + 1023] = quint8(i < 0 ? 0 : (i > 255 ? 255 : i));
    return t;
}

inline TFColor yuvPixel(const TYUVTables& t, quint8 Y, qint32 u516, qint32 uv, qint32 v409)
{
    const qint32 y = t.ValueY_298[Y];
    // div 256 truncates toward zero, so the plain integer division, not a shift
    return TFColor{t.clip((y + u516) / 256), t.clip((y + uv) / 256), t.clip((y + v409) / 256)};
}

int fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return -1;
}

void unpackPlanar(const quint8* data, int W, int H, bool vFirst, TFastDIB& bmp)
{
    const TYUVTables& t = YUVTables();
    const qint64 lumaSize = qint64(W) * H;
    const quint8* first = data + lumaSize;
    const quint8* second = first + lumaSize / 4;
    const quint8* planeU = vFirst ? second : first;
    const quint8* planeV = vFirst ? first : second;
    const int pairs = W / 2;
    for (int r = 0; r < H; ++r) {
        // Luma by row: the same bytes as reading the plane straight through, also for odd widths.
        const quint8* y = data + qint64(r) * W;
        const quint8* u = planeU + qint64(pairs) * (r / 2);
        const quint8* v = planeV + qint64(pairs) * (r / 2);
        TFColor* out = pictureRow(bmp, r);
        for (int i = 0; i < pairs; ++i) {
            const qint32 u516 = t.ValueU_516[u[i]];
            const qint32 uv = t.ValueU_100[u[i]] + t.ValueV_208[v[i]];
            const qint32 v409 = t.ValueV_409[v[i]];
            *out++ = yuvPixel(t, y[0], u516, uv, v409);
            *out++ = yuvPixel(t, y[1], u516, uv, v409);
            y += 2;
        }
    }
}

void unpackPacked(const quint8* data, int W, int H, TFastDIB& bmp)
{
    const TYUVTables& t = YUVTables();
    const int groups = W / 2;
    for (int r = 0; r < H; ++r) {
        const quint8* p = data + qint64(r) * W * 2;
        TFColor* out = pictureRow(bmp, r);
        for (int g = 0; g < groups; ++g, p += 4) {
            const qint32 u516 = t.ValueU_516[p[1]];
            const qint32 uv = t.ValueU_100[p[1]] + t.ValueV_208[p[3]];
            const qint32 v409 = t.ValueV_409[p[3]];
            *out++ = yuvPixel(t, p[0], u516, uv, v409);
            *out++ = yuvPixel(t, p[2], u516, uv, v409);
        }
    }
}

int unpackJpeg(const quint8* data, qint64 size, TFastDIB& bmp, QString* error)
{
    TFastDIB picture;
    TFastJPG jpg;
    // A damaged header may claim any size: a frame's picture is not much larger than its stream.
    jpg.MaxImageBytes = qMin(jpg.MaxImageBytes, qMax<qint64>(qint64(16) << 20, qint64(bmp.BWidth) * bmp.AbsHeight * 4));
    jpg.AttachImage(&picture);
    if (jpg.LoadMem(data, size) != 0)
        return fail(error, jpg.lastError());
    const int w = qMin(picture.Info.Header.Width, bmp.Info.Header.Width);
    const int h = qMin(picture.AbsHeight, bmp.AbsHeight);
    const bool gray = picture.Info.Header.BitCount == 8;
    for (int y = 0; y < h; ++y) {
        TFColor* out = pictureRow(bmp, y);
        const int memoryRow = picture.Info.Header.Height > 0 ? picture.AbsHeight - 1 - y : y;
        const quint8* in = static_cast<const quint8*>(picture.Scanlines[memoryRow]);
        if (gray) {
            for (int x = 0; x < w; ++x)
                out[x] = TFColor{in[x], in[x], in[x]};
        } else {
            std::memcpy(out, in, size_t(w) * 3);
        }
    }
    return 0;
}

} // namespace

const TYUVTables& YUVTables()
{
    static const TYUVTables tables = buildTables();
    return tables;
}

bool IsKnownVideoFourCC(quint32 fourCC) { return kindOf(fourCC) != Kind::Unknown; }

qint64 VideoFrameRequiredSize(quint32 fourCC, qint32 width, qint32 height)
{
    const qint64 pixels = qint64(qMax(width, 0)) * qMax(height, 0);
    switch (kindOf(fourCC)) {
    case Kind::Rgb:
        return pixels * 3;
    case Kind::Planar:
    case Kind::PlanarVU:
        return pixels * 3 / 2;
    case Kind::Packed:
        return pixels * 2;
    default:
        return -1;
    }
}

int UnpackVideoFrame(quint32 fourCC, const quint8* data, qint64 size, TFastDIB& bitmap, QString* error)
{
    const int W = bitmap.Info.Header.Width;
    const int H = bitmap.AbsHeight;
    Q_ASSERT(bitmap.Info.Header.BitCount == 24 || W == 0 || H == 0);
    if (!data || size <= 0)
        return fail(error, QStringLiteral("The frame holds no data."));
    if (W <= 0 || H <= 0 || bitmap.Info.Header.BitCount != 24 || !bitmap.Scanlines)
        return fail(error, QStringLiteral("The stream has no picture size."));
    const Kind kind = kindOf(fourCC);
    if (kind == Kind::Unknown)
        return fail(error, QStringLiteral("Frames of the format %1 cannot be decoded.").arg(FourCCText(fourCC)));
    if (kind == Kind::Jpeg)
        return unpackJpeg(data, size, bitmap, error);

    const qint64 required = VideoFrameRequiredSize(fourCC, W, H);
    if (size != required)
        return fail(error, QStringLiteral("The frame has %1 bytes; a %2 x %3 frame of the format %4 has %5.")
                               .arg(size).arg(W).arg(H).arg(FourCCText(fourCC)).arg(required));
    switch (kind) {
    case Kind::Rgb:
        // Rows arrive top-down, blue, green, red, unpadded.
        for (int r = 0; r < H; ++r)
            std::memcpy(pictureRow(bitmap, r), data + qint64(r) * W * 3, size_t(W) * 3);
        return 0;
    case Kind::Planar:
    case Kind::PlanarVU: {
        // With an odd height the last chroma row lies past the planes' nominal quarter size.
        const qint64 lumaSize = qint64(W) * H;
        const qint64 chromaEnd = lumaSize + lumaSize / 4 + qint64(W / 2) * ((H - 1) / 2 + 1);
        if (chromaEnd > size)
            return fail(error, QStringLiteral("The frame's chroma planes are shorter than its height needs."));
        unpackPlanar(data, W, H, kind == Kind::PlanarVU, bitmap);
        return 0;
    }
    case Kind::Packed:
        unpackPacked(data, W, H, bitmap);
        return 0;
    default:
        return -1;
    }
}

void DrawCompressionMessage(TFastDIB& bitmap, qint64 size, quint32 fourCC)
{
    if (!bitmap.hDC)
        return;
    bitmap.SetFont(QStringLiteral("Tahoma"), -11);
    SIZE extent{0, 0};
    GetTextExtentPoint32(bitmap.hDC, QStringLiteral("X"), &extent);
    const QString code = fourCC == 0 ? QStringLiteral("RGB") : FourCCText(fourCC);
    bitmap.TextOut(0, 0, QStringLiteral("Unknown compression"));
    bitmap.TextOut(0, extent.cy, QStringLiteral("DataSize: %1  FourCC: %2").arg(size).arg(code));
}
