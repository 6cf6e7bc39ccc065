// TFastDIB drawn onto another device context: plain, stretched, masked, with a transparent colour,
// with constant or per-pixel alpha, mapped onto a parallelogram, or tiled.
// Every operation hands a QImage of the pixels to DeviceContext::drawImage; scaling picks the nearest
// pixel unless the destination's stretch mode is HALFTONE.
#include "image/TFastDIB.h"

#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

QRgb rgbOf(const TFColorA& c) { return qRgb(c.r, c.g, c.b); }
QRgb rgbOf(const TFColor& c) { return qRgb(c.r, c.g, c.b); }

QList<QRgb> colorTableOf(const TFColorA* colors, int count)
{
    QList<QRgb> table(count);
    for (int i = 0; i < count; ++i)
        table[i] = rgbOf(colors[i]);
    return table;
}

bool sourceBottomUp(const TFastDIB& dib) { return dib.Info.Header.Height > 0; }

QRect wholePicture(const TFastDIB& dib) { return QRect(0, 0, dib.Info.Header.Width, dib.AbsHeight); }

// The source must not be the memory the destination paints into, or the copy reads its own output.
bool sharesMemory(HDC fDC, const TFastDIB& dib)
{
    const HBITMAP target = fDC->currentBitmap();
    if (!target || !target->bits())
        return false;
    const auto begin = reinterpret_cast<std::uintptr_t>(target->bits());
    const auto end = begin + std::uintptr_t(target->sizeImage());
    const auto bits = reinterpret_cast<std::uintptr_t>(dib.Bits);
    return bits >= begin && bits < end;
}

// Opaque colours in RGB32, for operations that blend and so must not see the fourth byte.
QImage opaqueRgb32(const QImage& image)
{
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    if (out.isNull())
        return out;
    if (image.format() == QImage::Format_RGB32) {
        out.detach();
        for (int y = 0; y < out.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                line[x] |= 0xFF000000u;
        }
    }
    return out;
}

bool usable(HDC fDC, const TFastDIB& dib) { return fDC && dib.Bits && dib.Info.Header.Width > 0 && dib.AbsHeight > 0; }

} // namespace

QImage TFastDIB::memoryImage() const
{
    const int w = Info.Header.Width;
    const int h = AbsHeight;
    if (!Bits || w <= 0 || h <= 0)
        return {};
    // A writable view so that setColorTable keeps sharing the pixels; nothing here writes through it.
    uchar* bits = Bits;
    const qsizetype stride = BWidth;
    auto masks = [this](quint32 r, quint32 g, quint32 b) { return Info.RMask == r && Info.GMask == g && Info.BMask == b; };

    switch (Info.Header.BitCount) {
    case 1: {
        QImage img(bits, w, h, stride, QImage::Format_Mono);
        img.setColorTable(colorTableOf(Colors, 2));
        return img;
    }
    case 8: {
        QImage img(bits, w, h, stride, QImage::Format_Indexed8);
        img.setColorTable(colorTableOf(Colors, 256));
        return img;
    }
    case 4: {
        // Qt has no 4-bit format: nibbles become indices of an 8-bit copy.
        QImage img(w, h, QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        img.setColorTable(colorTableOf(Colors, 16));
        for (int y = 0; y < h; ++y) {
            const uchar* src = bits + qint64(y) * stride;
            uchar* dst = img.scanLine(y);
            for (int x = 0; x < w; ++x)
                dst[x] = (x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4;
        }
        return img;
    }
    case 16:
        if (masks(0x7C00, 0x03E0, 0x001F))
            return QImage(bits, w, h, stride, QImage::Format_RGB555);
        if (masks(0xF800, 0x07E0, 0x001F))
            return QImage(bits, w, h, stride, QImage::Format_RGB16);
        break;
    case 24:
        return QImage(bits, w, h, stride, QImage::Format_BGR888);
    case 32:
        if (masks(0xFF0000, 0x00FF00, 0x0000FF))
            return QImage(bits, w, h, stride, QImage::Format_RGB32);
        break;
    default:
        return {};
    }

    // Channel layouts Qt does not know: decoded by GetPixel's bit replication.
    QImage img(w, h, QImage::Format_RGB32);
    if (img.isNull())
        return {};
    for (int y = 0; y < h; ++y) {
        auto* dst = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            dst[x] = rgbOf(GetPixel(y, x));
    }
    return img;
}

void TFastDIB::Draw(HDC fDC, int x, int y) const
{
    StretchRect(fDC, x, y, Info.Header.Width, AbsHeight, 0, 0, Info.Header.Width, AbsHeight);
}

void TFastDIB::Stretch(HDC fDC, int x, int y, int w, int h) const
{
    StretchRect(fDC, x, y, w, h, 0, 0, Info.Header.Width, AbsHeight);
}

void TFastDIB::DrawRect(HDC fDC, int x, int y, int w, int h, int sx, int sy) const
{
    StretchRect(fDC, x, y, w, h, sx, sy, w, h);
}

void TFastDIB::StretchRect(HDC fDC, int x, int y, int w, int h, int sx, int sy, int sw, int sh) const
{
    if (!usable(fDC, *this))
        return;
    QImage source = memoryImage();
    if (sharesMemory(fDC, *this))
        source = source.copy();
    fDC->drawImage(QRect(x, y, w, h), source, QRect(sx, sy, sw, sh), sourceBottomUp(*this));
}

void TFastDIB::TransDraw(HDC fDC, int x, int y, TFColor c) const
{
    TransStretch(fDC, x, y, Info.Header.Width, AbsHeight, c);
}

void TFastDIB::TransStretch(HDC fDC, int x, int y, int w, int h, TFColor c) const
{
    if (!usable(fDC, *this))
        return;
    // The transparent colour is compared as the pixel format holds it: a 16-bit image cannot hold
    // every 8-bit channel value, so the key goes through the same narrowing first.
    QRgb key = rgbOf(c);
    const int depth = Info.Header.BitCount;
    if (depth == 16 || (depth == 32 && Info.Header.Compression == 3)) {
        TFastDIB probe;
        probe.UseGDI = false;
        probe.SetSizeEx(1, 1, quint8(depth), Bpr, Bpg, Bpb);
        if (probe.Bits) {
            probe.SetPixel(0, 0, c);
            key = rgbOf(probe.GetPixel(0, 0));
        }
    }
    QImage keyed = memoryImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (keyed.isNull())
        return;
    for (int row = 0; row < keyed.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(keyed.scanLine(row));
        for (int col = 0; col < keyed.width(); ++col)
            line[col] = (line[col] & 0x00FFFFFFu) == (key & 0x00FFFFFFu) ? 0u : line[col] | 0xFF000000u;
    }
    fDC->drawImage(QRect(x, y, w, h), keyed, wholePicture(*this), sourceBottomUp(*this),
                   QPainter::CompositionMode_SourceOver);
}

void TFastDIB::AlphaDraw(HDC fDC, int x, int y, quint8 a, bool hasAlpha) const
{
    AlphaStretch(fDC, x, y, Info.Header.Width, AbsHeight, a, hasAlpha);
}

void TFastDIB::AlphaStretch(HDC fDC, int x, int y, int w, int h, quint8 a, bool hasAlpha) const
{
    if (!usable(fDC, *this) || a == 0)
        return;
    QImage source;
    if (hasAlpha && Info.Header.BitCount == 32) {
        // The fourth byte is a premultiplied opacity. A colour above its opacity is not premultiplied
        // data; it is cut to the opacity so the blend cannot overflow into the next channel.
        source = memoryImage().convertToFormat(QImage::Format_RGB32).copy();
        source.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
        for (int row = 0; row < source.height(); ++row) {
            const auto* raw = reinterpret_cast<const TFColorA*>(Scanlines[row]);
            auto* line = reinterpret_cast<QRgb*>(source.scanLine(row));
            for (int col = 0; col < source.width(); ++col) {
                const int alpha = raw[col].a;
                const QRgb c = line[col];
                line[col] = qRgba(std::min(qRed(c), alpha), std::min(qGreen(c), alpha), std::min(qBlue(c), alpha), alpha);
            }
        }
    } else {
        source = opaqueRgb32(memoryImage());
    }
    if (source.isNull())
        return;
    fDC->drawImage(QRect(x, y, w, h), source, wholePicture(*this), sourceBottomUp(*this),
                   QPainter::CompositionMode_SourceOver, a / 255.0);
}

void TFastDIB::MaskDraw(HDC fDC, int x, int y, const TFastDIB& Mono) const
{
    MaskRect(fDC, x, y, Info.Header.Width, AbsHeight, 0, 0, 0, 0, Mono);
}

void TFastDIB::MaskRect(HDC fDC, int x, int y, int w, int h, int sx, int sy, int mx, int my, const TFastDIB& Mono) const
{
    if (!usable(fDC, *this) || w <= 0 || h <= 0 || Mono.Info.Header.BitCount != 1 || !Mono.Bits)
        return;
    const QImage colours = memoryImage().convertToFormat(QImage::Format_RGB32);
    QImage part(w, h, QImage::Format_ARGB32_Premultiplied);
    if (colours.isNull() || part.isNull())
        return;
    // A mask bit of 1 keeps the destination; so does any pixel outside the image or the mask.
    const int width = Info.Header.Width;
    const int maskWidth = Mono.Info.Header.Width;
    for (int i = 0; i < h; ++i) {
        auto* out = reinterpret_cast<QRgb*>(part.scanLine(i));
        const qint64 py = qint64(sy) + i;
        const qint64 my0 = qint64(my) + i;
        const bool rowInside = py >= 0 && py < AbsHeight && my0 >= 0 && my0 < Mono.AbsHeight;
        const QRgb* src = nullptr;
        const quint8* mask = nullptr;
        if (rowInside) {
            src = reinterpret_cast<const QRgb*>(colours.constScanLine(int(sourceBottomUp(*this) ? AbsHeight - 1 - py : py)));
            mask = static_cast<const quint8*>(
                Mono.Scanlines[sourceBottomUp(Mono) ? Mono.AbsHeight - 1 - my0 : my0]);
        }
        for (int j = 0; j < w; ++j) {
            const qint64 px = qint64(sx) + j;
            const qint64 mxj = qint64(mx) + j;
            bool copy = rowInside && px >= 0 && px < width && mxj >= 0 && mxj < maskWidth;
            if (copy)
                copy = ((mask[mxj >> 3] >> (7 - (mxj & 7))) & 1) == 0;
            out[j] = copy ? src[px] | 0xFF000000u : 0u;
        }
    }
    fDC->drawImage(QRect(x, y, w, h), part, part.rect(), false, QPainter::CompositionMode_SourceOver);
}

void TFastDIB::PlgDraw(HDC fDC, int x1, int y1, int x2, int y2, int x3, int y3) const
{
    if (!usable(fDC, *this))
        return;
    const int w = Info.Header.Width;
    const int h = AbsHeight;
    const qint64 cross = qint64(x2 - x1) * (y3 - y1) - qint64(y2 - y1) * (x3 - x1);
    if (cross == 0)
        return; // the three points lie on one line: no parallelogram
    const int x4 = x2 + x3 - x1;
    const int y4 = y2 + y3 - y1;
    const QRect box = QRect(QPoint(std::min({x1, x2, x3, x4}), std::min({y1, y2, y3, y4})),
                            QPoint(std::max({x1, x2, x3, x4}) - 1, std::max({y1, y2, y3, y4}) - 1));
    if (box.isEmpty())
        return;
    QImage mapped(box.size(), QImage::Format_ARGB32_Premultiplied);
    if (mapped.isNull())
        return;
    mapped.fill(Qt::transparent);
    QImage picture = opaqueRgb32(memoryImage());
    if (sourceBottomUp(*this))
        picture = picture.mirrored(false, true);
    {
        QPainter p(&mapped);
        p.setRenderHint(QPainter::SmoothPixmapTransform, fDC->stretchBltMode() == HALFTONE);
        // Source corner (0,0) goes to point 1, (w,0) to point 2, (0,h) to point 3.
        p.setTransform(QTransform(double(x2 - x1) / w, double(y2 - y1) / w, double(x3 - x1) / h, double(y3 - y1) / h,
                                  x1 - box.x(), y1 - box.y()));
        p.drawImage(0, 0, picture);
    }
    fDC->drawImage(box, mapped, mapped.rect(), false, QPainter::CompositionMode_SourceOver);
}

void TFastDIB::TileDraw(HDC fDC, int x, int y, int w, int h) const
{
    if (!usable(fDC, *this) || w <= 0 || h <= 0)
        return;
    QImage picture = memoryImage().convertToFormat(QImage::Format_RGB32);
    if (sourceBottomUp(*this))
        picture = picture.mirrored(false, true);
    QImage tiles(w, h, QImage::Format_RGB32);
    if (picture.isNull() || tiles.isNull())
        return;
    const int tileW = picture.width();
    const int tileH = picture.height();
    // The first tile row is built by doubling the filled width; every later row repeats one of them.
    for (int row = 0; row < std::min(h, tileH); ++row) {
        uchar* line = tiles.scanLine(row);
        const qint64 rowBytes = qint64(w) * 4;
        qint64 filled = qint64(std::min(w, tileW)) * 4;
        std::memcpy(line, picture.constScanLine(row), size_t(filled));
        while (filled < rowBytes) {
            const qint64 n = std::min(filled, rowBytes - filled);
            std::memcpy(line + filled, line, size_t(n));
            filled += n;
        }
    }
    for (int row = tileH; row < h; ++row)
        std::memcpy(tiles.scanLine(row), tiles.constScanLine(row % tileH), size_t(qint64(w) * 4));
    fDC->drawImage(QRect(x, y, w, h), tiles, tiles.rect());
}
