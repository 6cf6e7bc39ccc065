// Arbitrary bytes as a picture file, read with a small memory limit. Every input must end in a
// 24-bit picture within the limit, or in EInvalidGraphic with the image as it was. The extension
// follows the content's signature, so the seeds are plain picture files; content of no known kind
// is tried under one of the extensions, which must refuse it.
#include "image/TFastDIB.h"
#include "project/Helpers.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr qint64 MemoryLimit = qint64(64) << 20;

QString extensionFor(const uint8_t* data, size_t size)
{
    const QByteArray head(reinterpret_cast<const char*>(data), qsizetype(qMin<size_t>(size, 8)));
    if (head.startsWith("\xFF\xD8"))
        return QStringLiteral("jpg");
    if (head.startsWith("BM"))
        return QStringLiteral("bmp");
    if (head.startsWith("\x89PNG"))
        return QStringLiteral("png");
    if (head.startsWith("II") || head.startsWith("MM"))
        return QStringLiteral("tif");
    if (head.startsWith("GIF"))
        return QStringLiteral("gif");
    static const char* const any[] = {"jpg", "bmp", "png", "tiff", "gif", "jpeg"};
    return QString::fromLatin1(any[size % 6]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv); // the toolkit's image plug-ins
    SetPictureMemoryLimit(MemoryLimit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("input.") + extensionFor(data, size));
    {
        QFile f(name);
        if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }

    TFastDIB image;
    image.UseGDI = false;
    image.SetSize(1, 1, 24);
    image.Pixels24[0][0] = TFColor{1, 2, 3};
    try {
        if (LoadPictureToDIB(image, name) != 0)
            std::abort(); // the file exists
        if (image.Info.Header.BitCount != 24 || !image.Bits || image.Info.Header.Width <= 0 || image.AbsHeight <= 0
            || qint64(image.BWidth) * image.AbsHeight > MemoryLimit)
            std::abort();
    } catch (const EInvalidGraphic& e) {
        const TFColor kept = image.Pixels24[0][0];
        if (image.Info.Header.Width != 1 || image.AbsHeight != 1 || kept.b != 1 || kept.g != 2 || kept.r != 3)
            std::abort(); // a refused file leaves the image alone
        if (e.message().isEmpty())
            std::abort();
    }
    QFile::remove(name);
    return 0;
}
