// The shared routines that work on image buffers: picture files in and out, and gray values.
// Picture files are read only in the formats the program names, chosen by extension and confirmed
// by content, and only when their pixels fit the file's size and the memory left.
#include "project/Helpers.h"

#include "image/DepthConversion.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/Memory.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <QPainter>
#include <QtEndian>

#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <optional>

namespace {

// Scans of whole cores exceed Qt's default limit of 256 MB many times over; our own check against
// the memory left comes first, this one stays as a last guard.
constexpr int pictureAllocationLimitMB = 8192;

// Deflate (PNG) gives at most 1032 bytes for one byte of input.
constexpr qint64 MaxDeflateRatio = 1032;

qint64 g_memoryLimit = 0; // 0: what the machine has available

void raiseAllocationLimit()
{
    if (QImageReader::allocationLimit() != 0 && QImageReader::allocationLimit() < pictureAllocationLimitMB)
        QImageReader::setAllocationLimit(pictureAllocationLimitMB);
}

enum class PictureKind { Jpeg, Bmp, Png, Tiff, Gif };

struct PictureFormat {
    PictureKind kind;
    const char* qtFormat; // the toolkit's reader for it
    const char* name;     // in messages
};

// Every extension the reader takes, with its format; the open dialogs' filters come from here too.
const struct {
    const char* extension;
    PictureFormat format;
} kPictureExtensions[] = {
    {"jpg", {PictureKind::Jpeg, "jpeg", "JPEG"}}, {"jpeg", {PictureKind::Jpeg, "jpeg", "JPEG"}},
    {"bmp", {PictureKind::Bmp, "bmp", "BMP"}},    {"png", {PictureKind::Png, "png", "PNG"}},
    {"tif", {PictureKind::Tiff, "tiff", "TIFF"}}, {"tiff", {PictureKind::Tiff, "tiff", "TIFF"}},
    {"gif", {PictureKind::Gif, "gif", "GIF"}},
};

std::optional<PictureFormat> formatByExtension(const QString& fileName)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    for (const auto& e : kPictureExtensions)
        if (ext == QLatin1String(e.extension))
            return e.format;
    return std::nullopt;
}

// The signature each format's files begin with.
bool contentConfirms(PictureKind kind, const QByteArray& head)
{
    switch (kind) {
    case PictureKind::Jpeg:
        return head.startsWith("\xFF\xD8\xFF");
    case PictureKind::Bmp:
        return head.startsWith("BM");
    case PictureKind::Png:
        return head.startsWith("\x89PNG\r\n\x1A\n");
    case PictureKind::Tiff: // classic and big TIFF, either byte order
        return head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4))
            || head.startsWith(QByteArray("II+\0", 4)) || head.startsWith(QByteArray("MM\0+", 4));
    case PictureKind::Gif:
        return head.startsWith("GIF87a") || head.startsWith("GIF89a");
    }
    return false;
}

qint64 rowBytes24(qint64 width)
{
    return (width * 24 + 31) / 32 * 4;
}

// Sizes from headers multiply past 64 bits; such a product stands for "too much".
qint64 times(qint64 a, qint64 b)
{
    qint64 product = 0;
    return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<qint64>::max() : product;
}

[[noreturn]] void refuse(const QString& fileName, const QString& why)
{
    throw EInvalidGraphic(QStringLiteral("Cannot read image %1: %2").arg(fileName, why));
}

// Picture files and embedded pictures share one size limit, so every picture a project holds can
// be embedded and read back.
void checkPictureSize(const QString& fileName, qint64 width, qint64 height)
{
    if (!PictureFitsLimit(width, height))
        refuse(fileName, QStringLiteral("a picture of %1 x %2 pixels is too large").arg(width).arg(height));
}

// Bytes that reading the picture will hold at its peak must be there before any is allocated.
void checkMemory(const QString& fileName, qint64 width, qint64 height, qint64 peakBytes)
{
    if (peakBytes > PictureMemoryLimit())
        refuse(fileName, QStringLiteral("a picture of %1 x %2 pixels needs more memory than is available").arg(width).arg(height));
}

// What the file's size allows, for the formats whose compression has a bound: an uncompressed
// bitmap needs all its rows, a PNG cannot inflate beyond deflate's ratio.
void checkFileSize(const QString& fileName, PictureKind kind, const QByteArray& head, qint64 fileSize)
{
    const auto* h = reinterpret_cast<const uchar*>(head.constData());
    if (kind == PictureKind::Png && head.size() >= 26) {
        const qint64 width = qFromBigEndian<quint32>(h + 16);
        const qint64 height = qFromBigEndian<quint32>(h + 20);
        const int bitDepth = h[24];
        const int channels = std::array<int, 7>{1, 0, 3, 1, 2, 0, 4}[qMin<int>(h[25], 6)];
        const qint64 filtered = times(height, 1 + (width * bitDepth * qMax(1, channels) + 7) / 8);
        if (filtered > times(fileSize, MaxDeflateRatio))
            refuse(fileName, QStringLiteral("the file is too short for a picture of %1 x %2 pixels").arg(width).arg(height));
    } else if (kind == PictureKind::Bmp && head.size() >= 34) {
        const qint64 offset = qFromLittleEndian<quint32>(h + 10);
        const quint32 headerSize = qFromLittleEndian<quint32>(h + 14);
        qint64 width = 0, height = 0;
        int bitCount = 0;
        quint32 compression = 0;
        if (headerSize == 12) {
            width = qFromLittleEndian<quint16>(h + 18);
            height = qFromLittleEndian<quint16>(h + 20);
            bitCount = qFromLittleEndian<quint16>(h + 24);
        } else {
            width = qFromLittleEndian<qint32>(h + 18);
            height = qAbs(qint64(qFromLittleEndian<qint32>(h + 22)));
            bitCount = qFromLittleEndian<quint16>(h + 28);
            compression = qFromLittleEndian<quint32>(h + 30);
        }
        // Run-length data may skip any part of the picture; only plain rows have a known size.
        const bool plainRows = compression == 0 || compression == 3 || compression == 6;
        if (plainRows && width > 0 && bitCount > 0
            && times((width * bitCount + 31) / 32 * 4, height) > fileSize - offset)
            refuse(fileName, QStringLiteral("the file is too short for a picture of %1 x %2 pixels").arg(width).arg(height));
    }
}

// The toolkit's resolution for a picture that names none.
qint32 defaultDotsPerMeter()
{
    return QImage(1, 1, QImage::Format_Mono).dotsPerMeterX();
}

// JPEG straight into the image's buffer; damage the decoder only warns about fails the read.
// False: the codec does not take this kind of JPEG (neither gray nor three colours).
bool loadJpeg(TFastDIB& image, const QString& fileName, QFile& file)
{
    const qint64 size = file.size();
    const uchar* data = file.map(0, size);
    QByteArray copy;
    if (!data) {
        copy = file.readAll();
        if (copy.size() != size)
            refuse(fileName, file.errorString());
        data = reinterpret_cast<const uchar*>(copy.constData());
    }
    TFastJPG jpg;
    jpg.MaxImageBytes = PictureMemoryLimit();
    if (jpg.ReadParams(data, size) != 0)
        refuse(fileName, jpg.lastError());
    const qint64 width = jpg.Props.JPGWidth;
    const qint64 height = jpg.Props.JPGHeight;
    const quint32 channels = jpg.Props.JPGChannels;
    if (channels != 1 && channels != 3)
        return false;
    checkPictureSize(fileName, width, height);
    // A gray picture is decoded at 8 bits and widened: both images are held for a moment.
    const qint64 gray = channels == 1 ? (width + 3) / 4 * 4 * height : 0;
    checkMemory(fileName, width, height, times(rowBytes24(width), height) + gray);

    TFastDIB loaded;
    loaded.UseGDI = image.UseGDI;
    jpg.AttachImage(&loaded);
    if (jpg.LoadMem(data, size) != 0)
        refuse(fileName, jpg.lastError());
    if (loaded.Info.Header.BitCount != 24) {
        SetPixelDepth(loaded, 24);
        if (loaded.Info.Header.BitCount != 24)
            refuse(fileName, QStringLiteral("not enough memory"));
    }
    if (loaded.Info.Header.XPelsPerMeter == 0 || loaded.Info.Header.YPelsPerMeter == 0)
        loaded.Info.Header.XPelsPerMeter = loaded.Info.Header.YPelsPerMeter = defaultDotsPerMeter();
    image.Assign(loaded);
    loaded.Release();
    return true;
}

// The picture as 24-bit blue-green-red rows; transparent parts are laid on white, as drawing it
// onto a fresh bitmap does.
QImage opaque24(QImage picture)
{
    if (picture.hasAlphaChannel()) {
        QImage canvas(picture.size(), QImage::Format_RGB32);
        if (canvas.isNull())
            return QImage();
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        painter.drawImage(0, 0, picture);
        painter.end();
        picture = QImage(); // give the memory back before the next copy
        picture = canvas;
    }
    return picture.convertToFormat(QImage::Format_BGR888);
}

// Any of the formats through the toolkit's reader for that format alone.
void loadThroughToolkit(TFastDIB& image, const QString& fileName, const PictureFormat& format, const QByteArray& head)
{
    raiseAllocationLimit();
    QImageReader reader(fileName, format.qtFormat);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false); // pixels as stored, as the other image roads give them
    QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        refuse(fileName, reader.errorString());
    if (format.kind == PictureKind::Gif && head.size() >= 10) {
        // A GIF's frame is drawn onto its logical screen, which is what the reader gives.
        const auto* h = reinterpret_cast<const uchar*>(head.constData());
        size = size.expandedTo(QSize(qFromLittleEndian<quint16>(h + 6), qFromLittleEndian<quint16>(h + 8)));
    }
    const qint64 width = size.width(), height = size.height();
    checkPictureSize(fileName, width, height);
    // The decoded picture, its opaque 24-bit copy and the image's own rows.
    const QImage::Format decoded = reader.imageFormat();
    const int decodedBits = decoded == QImage::Format_Invalid ? 64 : QImage::toPixelFormat(decoded).bitsPerPixel();
    checkMemory(fileName, width, height,
                times((width * decodedBits + 31) / 32 * 4 + 2 * rowBytes24(width), height));

    QImage picture = reader.read();
    if (picture.isNull())
        refuse(fileName, reader.errorString());
    if (picture.width() > width || picture.height() > height)
        refuse(fileName, QStringLiteral("the picture is larger than its header says"));
    picture = opaque24(std::move(picture));
    if (picture.isNull())
        refuse(fileName, QStringLiteral("not enough memory"));
    // The hand-over fills a buffer of its own first, so a failure leaves `image` untouched.
    if (!BitmapToDIB(picture, image))
        refuse(fileName, QStringLiteral("not enough memory"));
}

// A copy of the image at its own size and depth, which DIBToGraphic may then empty.
int savePicture(const TFastDIB& image, const QString& fileName, const QByteArray& format, int quality, int dpi)
{
    if (!image.Bits || image.Info.Header.Width <= 0 || image.AbsHeight <= 0)
        return -1;
    try {
        TFastDIB copy;
        copy.UseGDI = false;
        copy.SetSizeIndirect(image.Info);
        ConvertPixels(image, copy);
        QImage graphic;
        DIBToGraphic(copy, graphic);
        if (graphic.isNull())
            return -1;
        if (dpi > 0) {
            graphic.setDotsPerMeterX(DotsPerMetre(dpi));
            graphic.setDotsPerMeterY(DotsPerMetre(dpi));
        }
        return WritePicture(graphic, fileName, format, quality);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

} // namespace

qint64 PictureMemoryLimit()
{
    if (g_memoryLimit > 0)
        return g_memoryLimit;
    const qint64 available = AvailableMemoryBytes();
    return available > 0 ? available : qint64(pictureAllocationLimitMB) << 20;
}

void SetPictureMemoryLimit(qint64 bytes)
{
    g_memoryLimit = qMax<qint64>(0, bytes);
}

QString PictureFilePatterns()
{
    QStringList patterns;
    for (const auto& e : kPictureExtensions)
        patterns << QStringLiteral("*.") + QLatin1String(e.extension);
    return patterns.join(QLatin1Char(';'));
}

int LoadPictureToDIB(TFastDIB& image, const QString& fileName)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return -1;
    const std::optional<PictureFormat> format = formatByExtension(fileName);
    if (!format)
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1) of %2")
                                  .arg(QFileInfo(fileName).suffix(), fileName));
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        refuse(fileName, file.errorString());
    const QByteArray head = file.peek(64);
    if (!contentConfirms(format->kind, head))
        refuse(fileName, QStringLiteral("the file is no %1 picture").arg(QLatin1String(format->name)));
    try {
        checkFileSize(fileName, format->kind, head, file.size());
        if (format->kind == PictureKind::Jpeg && loadJpeg(image, fileName, file))
            return 0;
        file.close();
        loadThroughToolkit(image, fileName, *format, head);
    } catch (const std::bad_alloc&) {
        refuse(fileName, QStringLiteral("not enough memory"));
    }
    return 0;
}

int SaveDIBAsPNG(const TFastDIB& image, const QString& fileName, int dpi)
{
    return savePicture(image, fileName, "png", -1, dpi);
}

int SaveDIBAsJPEG(const TFastDIB& image, const QString& fileName, int dpi)
{
    return savePicture(image, fileName, "jpg", ImageJPEGQuality, dpi);
}

int DotsPerMetre(int dpi)
{
    return int(std::lround(dpi / 0.0254));
}

int GetGrayValue(const TFastDIB& image, int x, int y)
{
    const int width = image.Info.Header.Width;
    const int height = image.AbsHeight;
    if (!image.Scanlines || x < 0 || y < 0 || x >= width || y >= height)
        return -1;
    // Row y counts from the top of the picture; a bottom-up image keeps that row last in memory.
    const int memoryRow = image.Info.Header.Height > 0 ? height - 1 - y : y;
    const TFColor c = image.GetPixel(memoryRow, x);
    return (c.r + c.g + c.b) / 3;
}
