// The shared routines that work on image buffers: picture files in and out, and gray values.
#include "project/Helpers.h"

#include "image/DepthConversion.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <new>

namespace {

// Scans of whole cores exceed Qt's default limit of 256 MB many times over; the limit stays
// finite so a hostile header cannot ask for any amount of memory.
constexpr int pictureAllocationLimitMB = 8192;

void raiseAllocationLimit()
{
    if (QImageReader::allocationLimit() != 0 && QImageReader::allocationLimit() < pictureAllocationLimitMB)
        QImageReader::setAllocationLimit(pictureAllocationLimitMB);
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

// A copy of the image at its own size and depth, which DIBToGraphic may then empty.
int savePicture(const TFastDIB& image, const QString& fileName, const QByteArray& format, int quality)
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
        return WritePicture(graphic, fileName, format, quality);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

} // namespace

int LoadPictureToDIB(TFastDIB& image, const QString& fileName)
{
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return -1;
    raiseAllocationLimit();

    QImageReader reader(fileName);
    reader.setAutoTransform(false); // pixels as stored, as the other image roads give them
    QImage picture;
    try {
        picture = reader.read();
        if (picture.isNull())
            throw EInvalidGraphic(QStringLiteral("Cannot read image %1: %2").arg(fileName, reader.errorString()));
        picture = opaque24(std::move(picture));
        if (picture.isNull())
            throw EInvalidGraphic(QStringLiteral("Not enough memory for image %1").arg(fileName));
    } catch (const std::bad_alloc&) {
        throw EInvalidGraphic(QStringLiteral("Not enough memory for image %1").arg(fileName));
    }

    // The hand-over fills a buffer of its own first, so a failure leaves `image` untouched.
    if (!BitmapToDIB(picture, image))
        throw EInvalidGraphic(QStringLiteral("Not enough memory for image %1").arg(fileName));
    return 0;
}

int SaveDIBAsPNG(const TFastDIB& image, const QString& fileName)
{
    return savePicture(image, fileName, "png", -1);
}

int SaveDIBAsJPEG(const TFastDIB& image, const QString& fileName)
{
    return savePicture(image, fileName, "jpg", 95);
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
