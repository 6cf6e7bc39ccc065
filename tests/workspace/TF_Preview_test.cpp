// File preview popup: the bilinear fit against values worked out by hand and against a per-pixel
// reference, and which files the popup shows at which size.
#include "workspace/TF_Preview.h"

#include "image/TFastDIB.h"
#include "project/Settings.h"

#include "support/ImageWindowTest.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QImage grayRow(std::initializer_list<int> values)
{
    QImage img(int(values.size()), 1, QImage::Format_RGB888);
    int x = 0;
    for (int v : values)
        img.setPixel(x++, 0, qRgb(v, v, v));
    return img;
}

// The fit worked out per destination pixel from its own position k * step, without the running sums.
QRgb referencePixel(const QImage& src, int dw, int dh, int col, int row)
{
    auto step = [](qint64 n, qint64 d) { return (n * 65536 + d / 2) / d; };
    const qint64 x = col * step(src.width() - 1, dw), y = row * step(src.height() - 1, dh);
    const int top = int(y / 65536), bottom = qMin(top + 1, src.height() - 1);
    const int left = int(x / 65536), right = qMin(left + 1, src.width() - 1);
    const qint64 wTop = 65536 - y % 65536, wBottom = y % 65536 + 1;
    auto channel = [&](int (QColor::*get)() const) {
        auto at = [&](int px, int py) { return qint64((QColor(src.pixel(px, py)).*get)()); };
        const qint64 tr = x % 65536 * wTop / 65536, br = x % 65536 * wBottom / 65536;
        const qint64 sum = at(left, top) * (wTop - tr) + at(right, top) * tr + at(left, bottom) * (wBottom - br)
                           + at(right, bottom) * br;
        return int(sum >> 16);
    };
    return qRgb(channel(&QColor::red), channel(&QColor::green), channel(&QColor::blue));
}

class Preview : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        InitSettingVariables();
        preview = std::make_unique<TF_Preview>();
        preview->resize(300, 244);
    }
    void TearDown() override { InitSettingVariables(); }

    QString file(const QString& name, const QImage& img, const char* format)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(img.save(path, format));
        return path;
    }

    QTemporaryDir dir;
    std::unique_ptr<TF_Preview> preview;
};

} // namespace

TEST(SmoothFitBitmap, InterpolatesBetweenNeighbours)
{
    // Step (3 - 1) * 65536 / 4 = 32768: the odd pixels fall half-way. 100 * 32768 + 200 * 32768
    // plus the lower row's weight 1 on 100 gives 150.0006, shifted to 150.
    QImage dst(4, 1, QImage::Format_RGB888);
    SmoothFitBitmap(grayRow({0, 100, 200}), dst);
    const int want[] = {0, 50, 100, 150};
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(qRed(dst.pixel(x, 0)), want[x]) << "column " << x;
}

TEST(SmoothFitBitmap, MatchesReferenceInBothDirections)
{
    const QImage src = testhelpers::patterned(37, 23, 3);
    const struct {
        int w, h;
    } sizes[] = {{10, 7}, {80, 50}, {37, 5}, {1, 1}};
    for (const auto& s : sizes) {
        QImage dst(s.w, s.h, QImage::Format_RGB888);
        SmoothFitBitmap(src, dst);
        ASSERT_EQ(dst.format(), QImage::Format_RGB888);
        for (int y = 0; y < s.h; ++y)
            for (int x = 0; x < s.w; ++x)
                ASSERT_EQ(dst.pixel(x, y), referencePixel(src, s.w, s.h, x, y))
                    << s.w << " x " << s.h << ": first difference at (" << x << ", " << y << ")";
    }
}

TEST(SmoothFitBitmap, EqualSizeCopiesAndThinPicturesStayInside)
{
    const QImage src = testhelpers::patterned(9, 4, 1);
    QImage same(9, 4, QImage::Format_RGB32);
    SmoothFitBitmap(src, same);
    EXPECT_EQ(same, src.convertToFormat(QImage::Format_RGB888));

    // One column and one row: no neighbour to the right or below.
    QImage column(1, 3, QImage::Format_RGB888);
    column.setPixel(0, 0, qRgb(10, 20, 30));
    column.setPixel(0, 1, qRgb(40, 50, 60));
    column.setPixel(0, 2, qRgb(70, 80, 90));
    QImage wide(5, 2, QImage::Format_RGB888);
    SmoothFitBitmap(column, wide);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(wide.pixel(x, 0), qRgb(10, 20, 30)) << x;
}

TEST_F(Preview, ShowsPicturesScaledToItsWidth)
{
    const QImage picture = testhelpers::patterned(1000, 500, 2);
    const struct {
        const char* name;
        const char* format;
    } files[] = {{"a.png", "PNG"}, {"b.JPG", "JPEG"}, {"c.bmp", "BMP"}};
    for (const auto& f : files) {
        preview->hide();
        preview->B = QImage();
        preview->ApplyFilename(file(QString::fromLatin1(f.name), picture, f.format));
        EXPECT_TRUE(preview->isVisible()) << f.name;
        EXPECT_EQ(preview->B.size(), QSize(300, 150)) << f.name;
        EXPECT_EQ(preview->height(), 170) << f.name;
    }
}

TEST_F(Preview, OtherAndBrokenFilesShowNothing)
{
    const QImage picture = testhelpers::patterned(40, 20);
    const QString tif = file(QStringLiteral("scan.TIF"), picture, "PNG");
    const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
    QFile out(broken);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("\xFF\xD8\xFF\xE0 not a picture");
    out.close();

    for (const QString& f : {tif, QString(), broken}) {
        preview->Timer1->start();
        preview->ApplyFilename(f);
        EXPECT_FALSE(preview->isVisible()) << f.toStdString();
        EXPECT_TRUE(preview->B.isNull()) << f.toStdString();
    }
    // A failed JPEG or PNG stops the timer.
    EXPECT_FALSE(preview->Timer1->isActive());
}

TEST_F(Preview, TimerShowsTheSelectedImageFileOnlyWithThePreviewSetting)
{
    QString selected = file(QStringLiteral("core.png"), testhelpers::patterned(60, 30), "PNG");
    preview->SelectedFile = [&selected] { return selected; };

    SettingFilePreview = false;
    preview->Timer1->start();
    preview->Timer1Timer();
    EXPECT_FALSE(preview->isVisible());
    EXPECT_TRUE(preview->Timer1->isActive()); // runs on until the popup closes
    preview->close();
    EXPECT_FALSE(preview->Timer1->isActive());

    SettingFilePreview = true;
    selected = dir.filePath(QStringLiteral("notes.txt"));
    preview->Timer1->start();
    preview->Timer1Timer();
    EXPECT_FALSE(preview->isVisible());
    EXPECT_FALSE(preview->Timer1->isActive());

    selected = dir.filePath(QStringLiteral("core.png"));
    preview->Timer1->start();
    preview->Timer1Timer();
    EXPECT_TRUE(preview->isVisible());
    EXPECT_EQ(preview->Filename(), selected);
    EXPECT_EQ(preview->B.size(), QSize(300, 150));
}
