// Every picture writer on a disk that fills while it writes: the failure is reported and the old
// file stays byte for byte, with no temporary left beside it.
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"

#include "support/SmallDisk.h"

#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using testhelpers::SmallDisk;

QByteArray readBytes(const QString& fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// Noise, so neither JPEG nor PNG can make the file small.
void fillNoise(TFastDIB& image, int w, int h)
{
    image.SetSize(w, h, 24);
    quint32 state = 12345;
    for (int y = 0; y < image.AbsHeight; ++y) {
        auto* row = static_cast<quint8*>(image.Scanlines[y]);
        for (int x = 0; x < 3 * w; ++x) {
            state = state * 1103515245u + 12345u;
            row[x] = quint8(state >> 24);
        }
    }
}

QImage noiseImage(int w, int h)
{
    TFastDIB dib;
    fillNoise(dib, w, h);
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto* p = static_cast<const quint8*>(dib.Scanlines[y]) + 3 * x;
            image.setPixel(x, y, qRgb(p[2], p[1], p[0]));
        }
    return image;
}

using Writer = std::function<int(const QString& fileName, int side)>;

TEST(PictureWritersOnFullDisk, FailAndKeepTheOldFile)
{
    SmallDisk disk(qint64(8) << 20);
    SKIP_WITHOUT_SMALL_DISK(disk);
    const Writer bmp = [](const QString& name, int side) {
        TFastDIB dib;
        fillNoise(dib, side, side);
        return dib.SaveToFile(name);
    };
    const Writer jpg = [](const QString& name, int side) {
        TFastDIB dib;
        fillNoise(dib, side, side);
        TFastJPG encoder;
        encoder.AttachImage(&dib);
        encoder.Props.Quality = 95;
        return encoder.SaveFile(name);
    };
    const Writer png = [](const QString& name, int side) { return WritePicture(noiseImage(side, side), name, "png"); };
    const Writer jpeg = [](const QString& name, int side) {
        return WritePicture(noiseImage(side, side), name, "jpg", 95);
    };
    struct Row { const char* what; Writer write; int side; qint64 freeBytes; };
    // Small pictures stay in the file buffer until the end; large ones run out part-way.
    const Row rows[] = {
        {"small BMP", bmp, 20, 0},         {"large BMP", bmp, 800, 256 * 1024},
        {"small JPEG", jpg, 20, 0},        {"large JPEG", jpg, 800, 256 * 1024},
        {"small PNG picture", png, 20, 0}, {"large PNG picture", png, 800, 256 * 1024},
        {"small JPEG picture", jpeg, 20, 0}, {"large JPEG picture", jpeg, 800, 256 * 1024},
    };
    const QString name = disk.path("picture");
    const QByteArray old(5000, 'o');
    for (const Row& r : rows) {
        disk.empty();
        QFile::remove(name);
        {
            QFile f(name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            ASSERT_EQ(f.write(old), old.size());
        }
        ASSERT_TRUE(disk.fillLeaving(r.freeBytes)) << r.what;
        EXPECT_EQ(r.write(name, r.side), -1) << r.what;
        EXPECT_EQ(readBytes(name), old) << r.what;
        EXPECT_EQ(disk.entries(), QStringList{"picture"}) << r.what;

        // With room again the same writer goes through: the row failed for the disk alone.
        disk.empty();
        EXPECT_EQ(r.write(name, r.side), 0) << r.what;
        EXPECT_NE(readBytes(name), old) << r.what;
    }
}

} // namespace
