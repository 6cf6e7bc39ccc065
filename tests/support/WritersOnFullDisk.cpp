#include "support/WritersOnFullDisk.h"

#include "image/TFastDIB.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>

namespace testhelpers {

namespace {

QByteArray readBytes(const QString& fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

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

void expectFailsAndKeepsTheOldFile(SmallDisk& disk, const std::vector<WriterCase>& cases)
{
    const QString name = disk.path("picture");
    const QByteArray old(5000, 'o');
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.what);
        disk.empty();
        QFile::remove(name);
        {
            QFile f(name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            ASSERT_EQ(f.write(old), old.size());
        }
        ASSERT_TRUE(disk.fillLeaving(c.freeBytes));
        EXPECT_EQ(c.write(name, c.side), -1);
        EXPECT_EQ(readBytes(name), old);
        EXPECT_EQ(disk.entries(), QStringList{"picture"});

        // With room again the same writer goes through: the case failed for the disk alone.
        disk.empty();
        EXPECT_EQ(c.write(name, c.side), 0);
        EXPECT_NE(readBytes(name), old);
    }
}

} // namespace testhelpers
