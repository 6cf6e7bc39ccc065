// Arbitrary bytes as a bitmap file. The reader must fail cleanly with a message, or give an image
// that saves and reads back to the same size, depth, palette and pixels.
#include "image/TFastDIB.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void writeFile(const QString& path, const uint8_t* data, size_t size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
}

bool sameImage(const TFastDIB& a, const TFastDIB& b)
{
    const TBMInfoHeader& ha = a.Info.Header;
    const TBMInfoHeader& hb = b.Info.Header;
    if (ha.Width != hb.Width || ha.Height != hb.Height || ha.BitCount != hb.BitCount || ha.Compression != hb.Compression)
        return false;
    if (ha.BitCount <= 8 && std::memcmp(a.Colors, b.Colors, sizeof(TFColorA) << ha.BitCount) != 0)
        return false;
    if ((ha.BitCount == 16 || ha.BitCount == 32)
        && (a.Info.RMask != b.Info.RMask || a.Info.GMask != b.Info.GMask || a.Info.BMask != b.Info.BMask))
        return false;
    const size_t rowBytes = size_t((qint64(ha.Width) * ha.BitCount + 7) / 8);
    for (int y = 0; y < a.AbsHeight; ++y)
        if (std::memcmp(a.Scanlines[y], b.Scanlines[y], rowBytes) != 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    static const QString input = dir.filePath(QStringLiteral("input.bmp"));
    static const QString output = dir.filePath(QStringLiteral("output.bmp"));
    writeFile(input, data, size);

    TFastDIB dib;
    QString error;
    if (!dib.LoadFromFile(input, &error)) {
        if (error.isEmpty() || dib.Bits)
            std::abort(); // a failure must say why and leave the (empty) image as it was
        return 0;
    }
    if (!dib.Bits || dib.Info.Header.Width <= 0 || dib.AbsHeight <= 0)
        std::abort();
    // Round trips of large run-length images would only slow the search down.
    if (qint64(dib.BWidth) * dib.AbsHeight > (qint64(1) << 20))
        return 0;
    if (dib.SaveToFile(output, &error) != 0)
        std::abort();
    TFastDIB back;
    if (!back.LoadFromFile(output, &error) || !sameImage(dib, back))
        std::abort();
    return 0;
}
