// Image information: sizes in KiB, fractions, the EXIF fields read from a file that has them and
// from one that has none, the window's texts, a missing file, a freed image, and the image tree's
// command that opens the window.
#include "workspace/TF_ImageInfo.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/TStitchObject.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include "support/ModalDialogs.h"
#include "support/ProjectObjects.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using testhelpers::addImage;
using testhelpers::whenShown;

void addAscii(ExifData* d, ExifIfd ifd, ExifTag tag, const char* text)
{
    ExifEntry* e = exif_entry_new();
    const size_t n = std::strlen(text) + 1;
    e->tag = tag;
    e->format = EXIF_FORMAT_ASCII;
    e->components = n;
    e->size = unsigned(n);
    e->data = static_cast<unsigned char*>(std::malloc(n));
    std::memcpy(e->data, text, n);
    exif_content_add_entry(d->ifd[ifd], e);
    exif_entry_unref(e);
}

void addRational(ExifData* d, ExifIfd ifd, ExifTag tag, ExifLong num, ExifLong den)
{
    ExifEntry* e = exif_entry_new();
    e->tag = tag;
    e->format = EXIF_FORMAT_RATIONAL;
    e->components = 1;
    e->size = 8;
    e->data = static_cast<unsigned char*>(std::malloc(8));
    exif_set_rational(e->data, EXIF_BYTE_ORDER_INTEL, ExifRational{num, den});
    exif_content_add_entry(d->ifd[ifd], e);
    exif_entry_unref(e);
}

void addShort(ExifData* d, ExifIfd ifd, ExifTag tag, ExifShort value)
{
    ExifEntry* e = exif_entry_new();
    e->tag = tag;
    e->format = EXIF_FORMAT_SHORT;
    e->components = 1;
    e->size = 2;
    e->data = static_cast<unsigned char*>(std::malloc(2));
    exif_set_short(e->data, EXIF_BYTE_ORDER_INTEL, value);
    exif_content_add_entry(d->ifd[ifd], e);
    exif_entry_unref(e);
}

QByteArray plainJpeg()
{
    QImage image(16, 8, QImage::Format_RGB888);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

// A small JPEG with an EXIF block holding the fields the window shows.
QByteArray jpegWithExif()
{
    ExifData* d = exif_data_new();
    exif_data_set_byte_order(d, EXIF_BYTE_ORDER_INTEL);
    addAscii(d, EXIF_IFD_0, EXIF_TAG_MODEL, "Scanner 9000");
    addRational(d, EXIF_IFD_0, EXIF_TAG_X_RESOLUTION, 300, 1);
    addRational(d, EXIF_IFD_0, EXIF_TAG_Y_RESOLUTION, 600, 1);
    addShort(d, EXIF_IFD_0, EXIF_TAG_RESOLUTION_UNIT, 2);
    addAscii(d, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, "2024:05:06 07:08:09");
    addRational(d, EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, 50, 1);
    addRational(d, EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME, 1, 250);
    addRational(d, EXIF_IFD_EXIF, EXIF_TAG_APERTURE_VALUE, 28, 10);
    addAscii(d, EXIF_IFD_EXIF, EXIF_TAG_IMAGE_UNIQUE_ID, "0123456789abcdef");
    unsigned char* block = nullptr;
    unsigned int size = 0;
    exif_data_save_data(d, &block, &size);
    exif_data_unref(d);
    const QByteArray exif(reinterpret_cast<const char*>(block), int(size));
    std::free(block);

    const QByteArray jpeg = plainJpeg();
    QByteArray out = jpeg.left(2); // SOI
    out += char(0xFF);
    out += char(0xE1);
    const int length = exif.size() + 2;
    out += char(length >> 8);
    out += char(length & 0xFF);
    out += exif;
    out += jpeg.mid(2);
    return out;
}

bool writeFile(const QString& name, const QByteArray& bytes)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

TEST(ImageInfoTexts, KiBAndFractions)
{
    const struct {
        qint64 bytes;
        qint64 kib;
    } sizes[] = {{0, 0}, {3000000, 2930}, {512, 0}, {1536, 2}, {2560, 2}, {1024, 1}, {5000000000LL, 4882812}};
    for (const auto& c : sizes)
        EXPECT_EQ(BytesToKiB(c.bytes), c.kib) << c.bytes;

    EXPECT_EQ(FractionText(28, 10), QStringLiteral("28/10"));
    EXPECT_EQ(FractionText(50, 1), QStringLiteral("50"));
    EXPECT_EQ(FractionText(5, 0), QString());
    EXPECT_EQ(FractionText(-1, 3), QStringLiteral("-1/3"));
}

TEST(ImageInfoTexts, ExifFieldsOfAFile)
{
    QTemporaryDir dir;
    const QString withExif = dir.filePath(QStringLiteral("with.jpg"));
    const QString without = dir.filePath(QStringLiteral("without.jpg"));
    ASSERT_TRUE(writeFile(withExif, jpegWithExif()));
    ASSERT_TRUE(writeFile(without, plainJpeg()));

    const ImageExifInfo e = ReadImageExif(withExif);
    EXPECT_EQ(e.dateTime, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
    EXPECT_EQ(e.cameraModel, QStringLiteral("Scanner 9000"));
    EXPECT_EQ(e.resolution, QStringLiteral("300 x 600 inch"));
    EXPECT_EQ(e.focalLength, QStringLiteral("50"));
    EXPECT_DOUBLE_EQ(e.shutterSpeedMs, 4.0);
    EXPECT_EQ(e.apertureValue, QStringLiteral("28/10"));
    EXPECT_EQ(e.imageUID, QStringLiteral("0123456789abcdef"));

    for (const QString& name : {without, dir.filePath(QStringLiteral("missing.jpg")), QString()}) {
        SCOPED_TRACE(name.toStdString());
        const ImageExifInfo none = ReadImageExif(name);
        EXPECT_FALSE(none.dateTime.isValid());
        EXPECT_TRUE(none.cameraModel.isEmpty());
        EXPECT_TRUE(none.resolution.isEmpty());
        EXPECT_TRUE(none.focalLength.isEmpty());
        EXPECT_EQ(none.shutterSpeedMs, 0.0);
        EXPECT_TRUE(none.apertureValue.isEmpty());
        EXPECT_TRUE(none.imageUID.isEmpty());
    }
}

TEST(ImageInfoTexts, MemoLines)
{
    ImageExifInfo e;
    e.dateTime = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
    e.cameraModel = QStringLiteral("Cam");
    e.shutterSpeedMs = 0.5;
    const QString date = QLocale::system().toString(QDate(2024, 5, 6), QLocale::ShortFormat) + QLatin1Char(' ')
        + QLocale::system().toString(QTime(7, 8, 9), QLocale::LongFormat);
    EXPECT_EQ(ImageInfoLines(QStringLiteral("/scans/a.jpg"), 1000, 1000, 3000000, 2048, e),
              (QStringList{"/scans/a.jpg", "", "Width:  1000 px", "Height: 1000 px", "Size:2930 KiB",
                           "File size:2 KiB", "", "EXIF data", "Date: " + date, "Camera model: Cam",
                           "Resolution: ", "Focal length: ", "Shutter speed: 0.5 ms", "Aperture value: ",
                           "Image UID: "}));
    EXPECT_EQ(ImageInfoLines(QString(), 0, 0, 0, -1, {}).value(5), QStringLiteral("File not saved to disk!"));
}

TEST(ImageInfoWindow, ShowsTheImageOnEveryShowing)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("core.jpg"));
    const QByteArray bytes = jpegWithExif();
    ASSERT_TRUE(writeFile(file, bytes));

    auto so = std::make_unique<TStitchObject>();
    so->filename = file;
    so->FD->SetSize(1000, 1000, 24); // rows of 3000 bytes
    so->Width = 1000;
    so->Height = 1000;

    TF_ImageInfo w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Image information"));
    EXPECT_EQ(w.B_Ok->text(), QStringLiteral("&Ok"));
    w.SO = so.get();
    w.show();
    const auto lines = [&] { return w.M_ImageInfo->toPlainText().split(QLatin1Char('\n')); };
    EXPECT_EQ(w.L_ImageName->text(), QStringLiteral("core.jpg"));
    EXPECT_EQ(lines().value(0), file);
    EXPECT_EQ(lines().value(4), QStringLiteral("Size:2930 KiB"));
    EXPECT_EQ(lines().value(5), QStringLiteral("File size:") + QString::number(BytesToKiB(bytes.size())) + " KiB");
    EXPECT_EQ(lines().value(9), QStringLiteral("Camera model: Scanner 9000"));
    w.B_Ok->click();
    EXPECT_FALSE(w.isVisible());

    // The file goes away: the next showing says so and the EXIF lines are empty.
    ASSERT_TRUE(QFile::remove(file));
    w.show();
    EXPECT_EQ(lines().value(5), QStringLiteral("File not saved to disk!"));
    EXPECT_EQ(lines().value(9), QStringLiteral("Camera model: "));
    w.hide();

    so.reset();
    w.show();
    EXPECT_TRUE(w.L_ImageName->text().isEmpty());
    EXPECT_TRUE(w.M_ImageInfo->toPlainText().isEmpty());
    w.hide();
}

class ImageInfoCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        setDialogs(std::make_unique<FakeDialogs>());
        tool = std::make_unique<TF_Measurements>();
        F_Measurements = tool.get();
        w = new TF_SMDI;
        w->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    void TearDown() override
    {
        delete F_ImageInfo.data();
        delete w.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        tool.reset();
        F_Measurements = nullptr;
        setDialogs(nullptr);
    }

    void selectOnly(const TJEXObject* o)
    {
        const QModelIndex idx = tool->imageModel()->indexFromNode(tool->imageModel()->findNode(o));
        ASSERT_TRUE(idx.isValid());
        tool->VST_SO->selectionModel()->select(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    std::unique_ptr<TF_Measurements> tool;
    QPointer<TF_SMDI> w;
};

TEST_F(ImageInfoCommand, ShowsTheSelectedImageModally)
{
    F_ImageInfo = new TF_ImageInfo;
    addImage(*w, 0, 0, 100, 80)->filename = QStringLiteral("/nowhere/first.png");
    TStitchObject* second = addImage(*w, 100, 0, 120, 80);
    second->filename = QStringLiteral("/nowhere/second.png");
    tool->FillMeasurements(w, false);
    selectOnly(second);

    QString name;
    QStringList shown;
    whenShown<TF_ImageInfo>([&](TF_ImageInfo* d) {
        name = d->L_ImageName->text();
        shown = d->M_ImageInfo->toPlainText().split(QLatin1Char('\n'));
        d->B_Ok->click();
    });
    tool->A_ImageInformation->trigger();
    EXPECT_EQ(name, QStringLiteral("second.png"));
    EXPECT_EQ(shown.value(2), QStringLiteral("Width:  120 px"));
    EXPECT_EQ(shown.value(5), QStringLiteral("File not saved to disk!"));
    EXPECT_FALSE(F_ImageInfo->isVisible());
}

TEST_F(ImageInfoCommand, WithoutTheWindowOrAnImageRowNothingOpens)
{
    TStitchObject* so = addImage(*w);
    tool->FillMeasurements(w, false);
    selectOnly(so);
    ASSERT_FALSE(F_ImageInfo);
    tool->A_ImageInformation->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // The root row is the project, not an image.
    F_ImageInfo = new TF_ImageInfo;
    tool->VST_SO->selectionModel()->select(tool->imageModel()->index(0, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tool->A_ImageInformation->trigger();
    EXPECT_FALSE(F_ImageInfo->isVisible());
}

} // namespace
