// TFastDIB in and out: bitmap files and resources, the clipboard, and taking over toolkit images.
// The reader trusts nothing in a file: every size and offset is checked against the bytes present
// before anything is allocated, and the image is replaced only once the whole file has been read.
#include "image/TFastDIB.h"

#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr qint64 kFileHeaderSize = 14;
constexpr qint64 kInfoHeaderSize = 40;
constexpr qint64 kCoreHeaderSize = 12;
// Largest header (124) plus three masks plus a full palette: everything before the pixels.
constexpr qint64 kHeadBytes = kFileHeaderSize + 124 + 12 + 256 * 4;
// The file format's size fields are 32-bit.
constexpr qint64 kMaxPixelBytes = std::numeric_limits<quint32>::max();
// Run-length data can claim any size in a few bytes; this is far beyond any run-length image in use.
constexpr qint64 kMaxRlePixelBytes = qint64(64) << 20;

quint16 le16(const uchar* p) { return qFromLittleEndian<quint16>(p); }
quint32 le32(const uchar* p) { return qFromLittleEndian<quint32>(p); }

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

// Bytes of one stored row, padded to 4 bytes.
qint64 strideOf(qint64 width, int bitCount) { return ((width * bitCount + 31) / 32) * 4; }

// Bytes of one row that hold pixels (the partly used last byte at 1 and 4 bits counts).
qint64 pixelBytesOf(qint64 width, int bitCount) { return (width * bitCount + 7) / 8; }

// A channel mask this buffer can hold: one run of bits starting at `position`; its width, or -1.
int runWidth(quint32 mask, int position)
{
    if (mask == 0 || std::countr_zero(mask) != position)
        return -1;
    const quint32 run = mask >> position;
    return (run & (run + 1)) == 0 ? std::popcount(run) : -1;
}

// What the headers say, checked: how to size the image and where its pixels are.
struct BitmapLayout {
    TBMInfo info;            // sized with: width, height, depth, plain or masks, palette
    quint32 compression = 0; // as stored: 0 plain, 1 RLE8, 2 RLE4, 3 masks
    qint64 pixelOffset = 0;
    qint64 stride = 0;
    qint64 rows = 0;
};

bool parseHeaders(const QByteArray& head, qint64 fileSize, BitmapLayout& out, QString* error)
{
    const auto* p = reinterpret_cast<const uchar*>(head.constData());
    const qint64 n = head.size();
    if (n < kFileHeaderSize + 4 || p[0] != 'B' || p[1] != 'M')
        return fail(error, QStringLiteral("Not a bitmap file"));
    const qint64 headerSize = le32(p + kFileHeaderSize);
    static const qint64 knownSizes[] = {kCoreHeaderSize, 40, 52, 56, 108, 124};
    if (std::find(std::begin(knownSizes), std::end(knownSizes), headerSize) == std::end(knownSizes))
        return fail(error, QStringLiteral("Unsupported bitmap header size %1").arg(headerSize));
    if (n < kFileHeaderSize + headerSize)
        return fail(error, QStringLiteral("The bitmap header is cut short"));

    const uchar* h = p + kFileHeaderSize;
    TBMInfo& info = out.info;
    std::memset(&info, 0, sizeof info);
    info.Header.Size = kInfoHeaderSize;
    info.Header.Planes = 1;
    qint64 width = 0;
    qint64 height = 0;
    int bitCount = 0;
    bool core = headerSize == kCoreHeaderSize;
    if (core) {
        width = le16(h + 4);
        height = le16(h + 6);
        bitCount = le16(h + 10);
    } else {
        width = qint32(le32(h + 4));
        height = qint32(le32(h + 8));
        bitCount = le16(h + 14);
        out.compression = le32(h + 16);
        info.Header.XPelsPerMeter = qint32(le32(h + 24));
        info.Header.YPelsPerMeter = qint32(le32(h + 28));
        info.Header.ClrUsed = le32(h + 32);
        info.Header.ClrImportant = le32(h + 36);
    }

    static const int coreDepths[] = {1, 4, 8, 24};
    static const int depths[] = {1, 4, 8, 16, 24, 32};
    const bool depthKnown = core ? std::find(std::begin(coreDepths), std::end(coreDepths), bitCount) != std::end(coreDepths)
                                 : std::find(std::begin(depths), std::end(depths), bitCount) != std::end(depths);
    if (!depthKnown)
        return fail(error, QStringLiteral("Unsupported bitmap depth of %1 bits").arg(bitCount));
    const quint32 c = out.compression;
    const bool compressionFits = c == 0 || (c == 1 && bitCount == 8) || (c == 2 && bitCount == 4)
        || (c == 3 && (bitCount == 16 || bitCount == 32));
    if (!compressionFits)
        return fail(error, QStringLiteral("Unsupported bitmap compression %1 at %2 bits").arg(c).arg(bitCount));
    if (width <= 0 || height == 0 || height == std::numeric_limits<qint32>::min())
        return fail(error, QStringLiteral("Invalid bitmap size %1 x %2").arg(width).arg(height));
    const bool rle = c == 1 || c == 2;
    if (rle && height < 0)
        return fail(error, QStringLiteral("Run-length bitmaps must be stored bottom-up"));

    out.rows = height < 0 ? -height : height;
    out.stride = strideOf(width, bitCount);
    const qint64 limit = rle ? kMaxRlePixelBytes : kMaxPixelBytes;
    if (out.stride > std::numeric_limits<qint32>::max() || out.rows > limit / out.stride)
        return fail(error, QStringLiteral("The bitmap is too large (%1 x %2)").arg(width).arg(out.rows));

    // Masks follow a 40-byte header and sit at the same place inside the longer ones.
    qint64 headersEnd = kFileHeaderSize + headerSize;
    if (c == 3) {
        if (headerSize == kInfoHeaderSize)
            headersEnd += 12;
        if (n < kFileHeaderSize + kInfoHeaderSize + 12)
            return fail(error, QStringLiteral("The bitmap's channel masks are cut short"));
        const quint32 r = le32(h + 40), g = le32(h + 44), b = le32(h + 48);
        const int bw = runWidth(b, 0);
        const int gw = bw < 0 ? -1 : runWidth(g, bw);
        const int rw = gw < 0 ? -1 : runWidth(r, bw + gw);
        if (rw < 0 || bw + gw + rw > bitCount)
            return fail(error, QStringLiteral("Unsupported channel masks %1, %2, %3")
                                   .arg(r, 8, 16, QLatin1Char('0'))
                                   .arg(g, 8, 16, QLatin1Char('0'))
                                   .arg(b, 8, 16, QLatin1Char('0')));
        info.RMask = r;
        info.GMask = g;
        info.BMask = b;
    }

    out.pixelOffset = le32(p + 10);
    if (out.pixelOffset < headersEnd || out.pixelOffset > fileSize)
        return fail(error, QStringLiteral("Invalid pixel data offset %1").arg(out.pixelOffset));

    if (bitCount <= 8) {
        // Entries that lie between the headers and the pixels are read; missing ones stay black.
        const qint64 entrySize = core ? 3 : 4;
        const qint64 maxEntries = qint64(1) << bitCount;
        qint64 count = info.Header.ClrUsed != 0 ? std::min<qint64>(info.Header.ClrUsed, maxEntries) : maxEntries;
        count = std::min(count, (out.pixelOffset - headersEnd) / entrySize);
        if (headersEnd + count * entrySize > n)
            return fail(error, QStringLiteral("The bitmap's colour table is cut short"));
        const uchar* e = p + headersEnd;
        for (qint64 i = 0; i < count; ++i, e += entrySize) {
            info.Colors[i].b = e[0];
            info.Colors[i].g = e[1];
            info.Colors[i].r = e[2];
            info.Colors[i].a = 0;
        }
        if (info.Header.ClrUsed > maxEntries)
            info.Header.ClrUsed = quint32(maxEntries);
    } else {
        info.Header.ClrUsed = 0; // an optional table at 16 bits and more is not kept
    }

    info.Header.Width = qint32(width);
    info.Header.Height = qint32(height);
    info.Header.BitCount = quint16(bitCount);
    info.Header.Compression = c == 3 ? 3 : 0; // run-length data is decoded into plain rows
    return true;
}

// Run-length data (compression 1 into 8-bit, 2 into 4-bit rows), starting at memory row 0, column 0.
// Runs are cut at the row's end; nothing is written outside the image.
bool decodeRunLength(const uchar* p, qint64 n, TFastDIB& dib, bool fourBit, QString* error)
{
    const qint64 width = dib.Info.Header.Width;
    const int rows = dib.AbsHeight;
    qint64 i = 0;
    int row = 0;
    qint64 col = 0;
    auto put = [&](quint8 v) {
        if (col < width) {
            auto* line = static_cast<quint8*>(dib.Scanlines[row]);
            if (fourBit)
                line[col >> 1] = (col & 1) ? quint8((line[col >> 1] & 0xF0) | (v & 0x0F))
                                           : quint8((line[col >> 1] & 0x0F) | (v << 4));
            else
                line[col] = v;
        }
        ++col;
    };
    const QString truncated = QStringLiteral("The run-length pixel data is cut short");
    while (row < rows) {
        if (n - i < 2)
            return fail(error, truncated);
        const quint8 count = p[i];
        const quint8 value = p[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count && col < width; ++k)
                put(fourBit ? ((k & 1) ? value & 0x0F : value >> 4) : value);
        } else if (value == 0) {
            ++row;
            col = 0;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (n - i < 2)
                return fail(error, truncated);
            col += p[i];
            row += p[i + 1];
            i += 2;
        } else {
            const qint64 bytes = fourBit ? (value + 1) / 2 : value;
            const qint64 padded = bytes + (bytes & 1);
            if (n - i < bytes)
                return fail(error, truncated);
            for (int k = 0; k < value && col < width; ++k)
                put(fourBit ? ((k & 1) ? p[i + k / 2] & 0x0F : p[i + k / 2] >> 4) : p[i + k]);
            i += std::min(padded, n - i);
        }
    }
    return true;
}

// Reads a whole bitmap file from `device` into a new image; `dib` is untouched on failure.
bool readBitmap(QIODevice& device, TFastDIB& dib, QString* error)
{
    const qint64 fileSize = device.size();
    const QByteArray head = device.read(std::min(fileSize, kHeadBytes));
    BitmapLayout layout;
    if (!parseHeaders(head, fileSize, layout, error))
        return false;

    const qint64 available = fileSize - layout.pixelOffset;
    const int bitCount = layout.info.Header.BitCount;
    const bool rle = layout.compression == 1 || layout.compression == 2;
    // The last row may lack its padding; anything shorter is a cut file. Checked before allocating.
    const qint64 whole = layout.stride * layout.rows;
    const qint64 needed = whole - layout.stride + pixelBytesOf(layout.info.Header.Width, bitCount);
    if (!rle && available < needed)
        return fail(error, QStringLiteral("The pixel data is cut short (%1 of %2 bytes)").arg(available).arg(needed));

    TFastDIB loaded;
    loaded.UseGDI = dib.UseGDI;
    try {
        loaded.SetSizeIndirect(layout.info);
    } catch (const std::bad_alloc&) {
        loaded.Bits = nullptr;
    }
    if (!loaded.Bits || !loaded.Scanlines)
        return fail(error, QStringLiteral("Not enough memory for a %1 x %2 bitmap")
                               .arg(layout.info.Header.Width)
                               .arg(layout.rows));
    loaded.Info.Header.XPelsPerMeter = layout.info.Header.XPelsPerMeter;
    loaded.Info.Header.YPelsPerMeter = layout.info.Header.YPelsPerMeter;
    loaded.Info.Header.ClrUsed = layout.info.Header.ClrUsed;
    loaded.Info.Header.ClrImportant = layout.info.Header.ClrImportant;

    if (!device.seek(layout.pixelOffset))
        return fail(error, QStringLiteral("Cannot read the pixel data: %1").arg(device.errorString()));
    if (rle) {
        const QByteArray data = device.read(available);
        if (data.size() != available)
            return fail(error, QStringLiteral("Cannot read the pixel data: %1").arg(device.errorString()));
        if (!decodeRunLength(reinterpret_cast<const uchar*>(data.constData()), data.size(), loaded,
                             layout.compression == 2, error))
            return false;
    } else {
        const qint64 count = std::min(available, whole);
        if (device.read(reinterpret_cast<char*>(loaded.Bits), count) != count)
            return fail(error, QStringLiteral("Cannot read the pixel data: %1").arg(device.errorString()));
    }

    dib.Assign(loaded);
    loaded.Release();
    return true;
}

bool readBitmapFile(const QString& fileName, TFastDIB& dib, QString* error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("Cannot open %1: %2").arg(fileName, file.errorString()));
    return readBitmap(file, dib, error);
}

// Picture row y (from the top) of an image: its memory row.
int memoryRow(const TFastDIB& dib, int y) { return dib.Info.Header.Height > 0 ? dib.AbsHeight - 1 - y : y; }

// Copies the rows of a top-down QImage into a freshly sized bottom-up image.
void copyRows(const QImage& image, TFastDIB& dib, qint64 rowBytes)
{
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(dib.Scanlines[memoryRow(dib, y)], image.constScanLine(y), size_t(rowBytes));
}

void takeColorTable(const QImage& image, TFastDIB& dib, int entries)
{
    const QList<QRgb> table = image.colorTable();
    for (int i = 0; i < entries; ++i) {
        const QRgb c = i < table.size() ? table[i] : 0;
        dib.Info.Colors[i].b = quint8(qBlue(c));
        dib.Info.Colors[i].g = quint8(qGreen(c));
        dib.Info.Colors[i].r = quint8(qRed(c));
        dib.Info.Colors[i].a = 0;
    }
}

} // namespace

bool TFastDIB::LoadFromFile(const QString& FileName, QString* Error) { return readBitmapFile(FileName, *this, Error); }

bool TFastDIB::LoadFromRes(const QString& ResPath, QString* Error) { return readBitmapFile(ResPath, *this, Error); }

int TFastDIB::SaveToFile(const QString& FileName, QString* Error) const
{
    const int depth = Info.Header.BitCount;
    const qint64 width = Info.Header.Width;
    if (!Bits || !Scanlines || width <= 0 || AbsHeight <= 0) {
        fail(Error, QStringLiteral("There is no image to save"));
        return -1;
    }
    // Rows are written at their own padded length, so a sub-image (whose rows lie in a wider parent)
    // saves as a complete file.
    const qint64 stride = strideOf(width, depth);
    const qint64 rowBytes = std::min(pixelBytesOf(width, depth), stride);
    const qint64 pixelBytes = stride * AbsHeight;
    const quint32 clrUsed = std::min<quint32>(Info.Header.ClrUsed, 256);
    qint64 paletteBytes = 0;
    if (clrUsed != 0)
        paletteBytes = 4 * qint64(clrUsed);
    else if (Info.Header.Compression == 3)
        paletteBytes = 12;
    else if (depth <= 8)
        paletteBytes = 4 * (qint64(1) << depth);
    const qint64 offset = kFileHeaderSize + kInfoHeaderSize + paletteBytes;
    if (offset + pixelBytes > kMaxPixelBytes) {
        fail(Error, QStringLiteral("The image is too large for a bitmap file"));
        return -1;
    }

    QByteArray head(offset, '\0');
    auto* p = reinterpret_cast<uchar*>(head.data());
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(quint32(offset + pixelBytes), p + 2);
    qToLittleEndian<quint32>(quint32(offset), p + 10);
    uchar* h = p + kFileHeaderSize;
    qToLittleEndian<quint32>(quint32(kInfoHeaderSize), h);
    qToLittleEndian<qint32>(Info.Header.Width, h + 4);
    qToLittleEndian<qint32>(Info.Header.Height, h + 8);
    qToLittleEndian<quint16>(1, h + 12);
    qToLittleEndian<quint16>(Info.Header.BitCount, h + 14);
    qToLittleEndian<quint32>(Info.Header.Compression, h + 16);
    qToLittleEndian<quint32>(quint32(pixelBytes), h + 20);
    qToLittleEndian<qint32>(Info.Header.XPelsPerMeter, h + 24);
    qToLittleEndian<qint32>(Info.Header.YPelsPerMeter, h + 28);
    qToLittleEndian<quint32>(clrUsed, h + 32);
    qToLittleEndian<quint32>(Info.Header.ClrImportant, h + 36);
    // A sub-image's palette is its parent's (Colors); masks are always this image's own.
    const TFColorA* table = depth <= 8 ? Colors : Info.Colors;
    std::memcpy(h + kInfoHeaderSize, table, size_t(paletteBytes));

    const auto fill = [&](QFileDevice& file, QString&) {
        bool written = file.write(head) == head.size();
        if (written && BWidth == stride) {
            written = file.write(reinterpret_cast<const char*>(Bits), pixelBytes) == pixelBytes;
        } else {
            QByteArray row(stride, '\0');
            for (int y = 0; written && y < AbsHeight; ++y) {
                std::memcpy(row.data(), Scanlines[y], size_t(rowBytes));
                written = file.write(row) == stride;
            }
        }
        return written;
    };
    QString reason;
    if (writeFileAtomically(FileName, fill, &reason) != 0) {
        fail(Error, QStringLiteral("Cannot write %1: %2").arg(FileName, reason));
        return -1;
    }
    return 0;
}

bool TFastDIB::LoadFromHandle(const QImage& hBmp)
{
    if (hBmp.isNull())
        return false;
    // Formats that are a device-independent layout keep their depth; anything else arrives as the
    // screen's 32-bit pixels with 8-8-8 masks, as a device-dependent bitmap would.
    QImage image = hBmp;
    TBMInfo info;
    std::memset(&info, 0, sizeof info);
    info.Header.Size = kInfoHeaderSize;
    info.Header.Planes = 1;
    info.Header.Width = image.width();
    info.Header.Height = image.height();
    int bpr = 0, bpg = 0, bpb = 0;
    switch (image.format()) {
    case QImage::Format_MonoLSB:
        image = image.convertToFormat(QImage::Format_Mono);
        [[fallthrough]];
    case QImage::Format_Mono:
        info.Header.BitCount = 1;
        break;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
        info.Header.BitCount = 8;
        break;
    case QImage::Format_RGB555:
        info.Header.BitCount = 16;
        break;
    case QImage::Format_RGB16:
        info.Header.BitCount = 16;
        bpr = 5, bpg = 6, bpb = 5;
        break;
    case QImage::Format_RGB888:
        image = image.convertToFormat(QImage::Format_BGR888);
        [[fallthrough]];
    case QImage::Format_BGR888:
        info.Header.BitCount = 24;
        break;
    case QImage::Format_ARGB32:
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        [[fallthrough]];
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        info.Header.BitCount = 32;
        break;
    default:
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
        info.Header.BitCount = 32;
        bpr = 8, bpg = 8, bpb = 8;
        break;
    }
    if (image.isNull())
        return false;

    TFastDIB loaded;
    loaded.UseGDI = UseGDI;
    try {
        loaded.SetSizeEx(image.width(), image.height(), quint8(info.Header.BitCount), quint8(bpr), quint8(bpg),
                         quint8(bpb));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!loaded.Bits || !loaded.Scanlines)
        return false;
    if (image.format() == QImage::Format_Grayscale8) {
        for (int i = 0; i < 256; ++i)
            loaded.Info.Colors[i] = TFColorA{{quint8(i), quint8(i), quint8(i), 0}};
    } else if (info.Header.BitCount <= 8) {
        takeColorTable(image, loaded, 1 << info.Header.BitCount);
    }
    copyRows(image, loaded, std::min<qint64>(pixelBytesOf(image.width(), info.Header.BitCount), image.bytesPerLine()));
    // Resolution travels with the image (dots per metre in both).
    loaded.Info.Header.XPelsPerMeter = image.dotsPerMeterX();
    loaded.Info.Header.YPelsPerMeter = image.dotsPerMeterY();
    if (info.Header.BitCount <= 8)
        loaded.UpdateColors();

    Assign(loaded);
    loaded.Release();
    return true;
}

bool TFastDIB::AttachToHandle(HDC hDC, HBITMAP hBmp)
{
    Q_UNUSED(hDC);
    if (!hBmp || !hBmp->bits())
        return false;
    TBMInfo info;
    std::memset(&info, 0, sizeof info);
    info.Header.Size = kInfoHeaderSize;
    info.Header.Planes = 1;
    info.Header.Width = hBmp->width();
    info.Header.Height = hBmp->height();
    info.Header.BitCount = quint16(hBmp->bitCount());
    if (hBmp->rMask() || hBmp->gMask() || hBmp->bMask()) {
        // This buffer places blue lowest, then green, then red; a section laid out otherwise
        // cannot be shown through it.
        const int bw = runWidth(hBmp->bMask(), 0);
        const int gw = bw < 0 ? -1 : runWidth(hBmp->gMask(), bw);
        if (gw < 0 || runWidth(hBmp->rMask(), bw + gw) < 0)
            return false;
        info.Header.Compression = 3;
        info.RMask = hBmp->rMask();
        info.GMask = hBmp->gMask();
        info.BMask = hBmp->bMask();
    } else if (hBmp->bitCount() <= 8) {
        std::memcpy(info.Colors, hBmp->colorTable(), sizeof info.Colors);
    }
    // What this image owned goes first; afterwards it owns nothing of the section it shows.
    PreDestroy();
    Release();
    FreeDC = FreeBits = FreeHandle = false;
    SetInterfaceIndirect(hBmp->bits(), info);
    Handle = hBmp;
    hDC = nullptr;
    return true;
}

bool TFastDIB::LoadFromClipboard()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    return LoadFromHandle(clipboard->image());
}

bool TFastDIB::SaveToClipboard() const
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    QImage picture = memoryImage();
    if (!clipboard || picture.isNull())
        return false;
    // The clipboard keeps its own top-down copy; this image may change or go at once.
    picture = Info.Header.Height > 0 ? picture.mirrored(false, true) : picture.copy();
    picture.setDotsPerMeterX(Info.Header.XPelsPerMeter);
    picture.setDotsPerMeterY(Info.Header.YPelsPerMeter);
    clipboard->setImage(picture);
    return true;
}
