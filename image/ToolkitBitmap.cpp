// Hand-over to and from QImage. A QImage cannot take over bottom-up memory, so the pixels are
// copied with the rows flipped, and the TFastDIB then gives up what it owns.
#include "image/ToolkitBitmap.h"

#include "image/TFastDIB.h"
#include "platform/AtomicFile.h"

#include <QImageWriter>

#include <cstring>

namespace {

QRgb rgbOf(const TFColorA& c)
{
    return qRgb(c.r, c.g, c.b);
}

QRgb rgbOf(const TFColor& c)
{
    return qRgb(c.r, c.g, c.b);
}

QVector<QRgb> colourTable(const TFastDIB& dib, int entries)
{
    QVector<QRgb> table(entries);
    for (int i = 0; i < entries; ++i)
        table[i] = rgbOf(dib.Colors[i]);
    return table;
}

bool hasPixels(const TFastDIB& dib)
{
    const int bpp = dib.Info.Header.BitCount;
    return dib.Scanlines && dib.Info.Header.Width > 0 && dib.AbsHeight > 0
        && (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32);
}

} // namespace

QImage dibPicture(const TFastDIB& dib)
{
    if (!hasPixels(dib))
        return {};

    const int w = dib.Info.Header.Width, h = dib.AbsHeight;
    const int bpp = dib.Info.Header.BitCount;
    const bool bottomUp = dib.Info.Header.Height > 0;
    auto memoryRow = [&](int y) { return bottomUp ? h - 1 - y : y; };

    QImage::Format format = QImage::Format_RGB32;
    if (bpp == 1)
        format = QImage::Format_Mono;
    else if (bpp == 4 || bpp == 8)
        format = QImage::Format_Indexed8;
    else if (bpp == 16 && dib.Bpr == 5 && dib.Bpg == 5 && dib.Bpb == 5)
        format = QImage::Format_RGB555;
    else if (bpp == 16 && dib.Bpr == 5 && dib.Bpg == 6 && dib.Bpb == 5)
        format = QImage::Format_RGB16;

    QImage image(w, h, format);
    if (image.isNull())
        return image;
    if (bpp <= 8)
        image.setColorTable(colourTable(dib, 1 << bpp));

    const bool plain32 = bpp == 32 && dib.Bpr == 8 && dib.Bpg == 8 && dib.Bpb == 8;
    for (int y = 0; y < h; ++y) {
        const int my = memoryRow(y);
        const quint8* s = static_cast<const quint8*>(dib.Scanlines[my]);
        uchar* d = image.scanLine(y);
        if (bpp == 1 || bpp == 8 || format == QImage::Format_RGB555 || format == QImage::Format_RGB16) {
            std::memcpy(d, s, (size_t(w) * bpp + 7) / 8);
        } else if (bpp == 4) {
            for (int x = 0; x < w; ++x)
                d[x] = (x & 1) ? s[x >> 1] & 0x0F : s[x >> 1] >> 4;
        } else {
            QRgb* out = reinterpret_cast<QRgb*>(d);
            if (bpp == 24) {
                for (int x = 0; x < w; ++x, s += 3)
                    out[x] = qRgb(s[2], s[1], s[0]);
            } else if (plain32) {
                for (int x = 0; x < w; ++x, s += 4)
                    out[x] = qRgb(s[2], s[1], s[0]);
            } else {
                // Other channel masks: the colours pixel access shows.
                for (int x = 0; x < w; ++x)
                    out[x] = rgbOf(dib.GetPixel(my, x));
            }
        }
    }
    return image;
}

bool BitmapToDIB(const QImage& Bitmap, TFastDIB& Dib)
{
    return Dib.LoadFromHandle(Bitmap);
}

void DIBToBitmap(TFastDIB& Dib, QImage& Bitmap)
{
    QImage picture = dibPicture(Dib);
    if (picture.isNull())
        return; // nothing to hand over, or no memory for the copy: the image keeps its pixels
    Bitmap = picture;
    // The pixels now live in the bitmap; the image gives up what it owns and forgets the rest.
    Dib.PreDestroy();
    Dib.Release();
}

void DIBToGraphic(TFastDIB& Dib, QImage& Graphic)
{
    QImage bitmap;
    DIBToBitmap(Dib, bitmap);
    if (!bitmap.isNull())
        Graphic = bitmap;
}

int WritePicture(const QImage& Picture, const QString& FileName, const QByteArray& Format, int Quality,
                 QString* ErrorText)
{
    auto fail = [ErrorText](const QString& why) {
        if (ErrorText)
            *ErrorText = why;
        return -1;
    };
    if (Picture.isNull())
        return fail(QStringLiteral("No picture to write"));
    QString error;
    const auto fill = [&](QFileDevice& file, QString& reason) {
        QImageWriter writer(&file, Format);
        if (Quality >= 0)
            writer.setQuality(Quality);
        if (writer.write(Picture))
            return true;
        reason = writer.errorString();
        return false;
    };
    if (writeFileAtomically(FileName, fill, &error) != 0)
        return fail(error);
    return 0;
}
