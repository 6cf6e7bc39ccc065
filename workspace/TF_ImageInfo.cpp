// Image information window.
#include "workspace/TF_ImageInfo.h"

#include "image/TFastDIB.h"
#include "project/TStitchObject.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/TF_PathInfo.h"
#include "workspace/TF_SMDI.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

#include <libexif/exif-data.h>

#include <cmath>
#include <memory>

QPointer<TF_ImageInfo> F_ImageInfo;

namespace {

struct ExifDataDeleter {
    void operator()(ExifData* d) const { exif_data_unref(d); }
};

ExifEntry* findEntry(ExifData* data, ExifTag tag)
{
    for (int i = 0; i < EXIF_IFD_COUNT; ++i)
        if (ExifEntry* e = exif_content_get_entry(data->ifd[i], tag))
            return e;
    return nullptr;
}

QString asciiOf(ExifData* data, ExifTag tag)
{
    ExifEntry* e = findEntry(data, tag);
    if (!e || e->format != EXIF_FORMAT_ASCII || !e->data)
        return {};
    return QString::fromLatin1(reinterpret_cast<const char*>(e->data), int(qstrnlen(reinterpret_cast<const char*>(e->data), e->size)))
        .trimmed();
}

// Signed and unsigned rationals alike; false when absent.
bool rationalOf(ExifData* data, ExifTag tag, qint64& num, qint64& den)
{
    ExifEntry* e = findEntry(data, tag);
    if (!e || e->components < 1 || !e->data)
        return false;
    const ExifByteOrder order = exif_data_get_byte_order(data);
    if (e->format == EXIF_FORMAT_RATIONAL && e->size >= 8) {
        const ExifRational r = exif_get_rational(e->data, order);
        num = r.numerator;
        den = r.denominator;
        return true;
    }
    if (e->format == EXIF_FORMAT_SRATIONAL && e->size >= 8) {
        const ExifSRational r = exif_get_srational(e->data, order);
        num = r.numerator;
        den = r.denominator;
        return true;
    }
    return false;
}

QString rationalText(ExifData* data, ExifTag tag)
{
    qint64 num = 0, den = 0;
    if (!rationalOf(data, tag, num, den))
        return {};
    return FractionText(num, den);
}

} // namespace

QString FractionText(qint64 numerator, qint64 denominator)
{
    if (denominator == 0)
        return {};
    if (denominator == 1)
        return QString::number(numerator);
    return QString::number(numerator) + QLatin1Char('/') + QString::number(denominator);
}

ImageExifInfo ReadImageExif(const QString& fileName)
{
    ImageExifInfo info;
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
        return info;
    std::unique_ptr<ExifData, ExifDataDeleter> data(exif_data_new_from_file(QFile::encodeName(fileName).constData()));
    if (!data)
        return info;
    ExifData* d = data.get();

    QString stamp = asciiOf(d, EXIF_TAG_DATE_TIME_ORIGINAL);
    if (stamp.isEmpty())
        stamp = asciiOf(d, EXIF_TAG_DATE_TIME);
    info.dateTime = QDateTime::fromString(stamp, QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    info.cameraModel = asciiOf(d, EXIF_TAG_MODEL);

    const QString x = rationalText(d, EXIF_TAG_X_RESOLUTION);
    const QString y = rationalText(d, EXIF_TAG_Y_RESOLUTION);
    if (!x.isEmpty() || !y.isEmpty()) {
        QString unit;
        if (ExifEntry* e = findEntry(d, EXIF_TAG_RESOLUTION_UNIT); e && e->format == EXIF_FORMAT_SHORT && e->size >= 2) {
            const int u = exif_get_short(e->data, exif_data_get_byte_order(d));
            unit = u == 3 ? QStringLiteral(" cm") : u == 2 ? QStringLiteral(" inch") : QString();
        }
        info.resolution = x + QStringLiteral(" x ") + y + unit;
    }
    info.focalLength = rationalText(d, EXIF_TAG_FOCAL_LENGTH);

    qint64 num = 0, den = 0;
    if (rationalOf(d, EXIF_TAG_EXPOSURE_TIME, num, den) && den != 0)
        info.shutterSpeedMs = 1000.0 * double(num) / double(den);
    else if (rationalOf(d, EXIF_TAG_SHUTTER_SPEED_VALUE, num, den) && den != 0)
        info.shutterSpeedMs = 1000.0 * std::pow(2.0, -double(num) / double(den));
    info.apertureValue = rationalText(d, EXIF_TAG_APERTURE_VALUE);
    info.imageUID = asciiOf(d, EXIF_TAG_IMAGE_UNIQUE_ID);
    return info;
}

qint64 BytesToKiB(qint64 bytes)
{
    return qint64(std::nearbyint(double(bytes) / 1024.0));
}

QStringList ImageInfoLines(const QString& fileName, int width, int height, qint64 pixelBytes, qint64 fileSize,
                           const ImageExifInfo& exif)
{
    QStringList lines;
    lines << fileName << QString();
    lines << QStringLiteral("Width:  ") + QString::number(width) + QStringLiteral(" px");
    lines << QStringLiteral("Height: ") + QString::number(height) + QStringLiteral(" px");
    lines << QStringLiteral("Size:") + QString::number(BytesToKiB(pixelBytes)) + QStringLiteral(" KiB");
    if (fileSize >= 0)
        lines << QStringLiteral("File size:") + QString::number(BytesToKiB(fileSize)) + QStringLiteral(" KiB");
    else
        lines << QStringLiteral("File not saved to disk!");
    lines << QString() << QStringLiteral("EXIF data");
    QString date;
    if (exif.dateTime.isValid()) {
        const QLocale locale = QLocale::system();
        date = locale.toString(exif.dateTime.date(), QLocale::ShortFormat) + QLatin1Char(' ')
            + locale.toString(exif.dateTime.time(), QLocale::LongFormat);
    }
    lines << QStringLiteral("Date: ") + date;
    lines << QStringLiteral("Camera model: ") + exif.cameraModel;
    lines << QStringLiteral("Resolution: ") + exif.resolution;
    lines << QStringLiteral("Focal length: ") + exif.focalLength;
    lines << QStringLiteral("Shutter speed: ") + QString::number(exif.shutterSpeedMs, 'g') + QStringLiteral(" ms");
    lines << QStringLiteral("Aperture value: ") + exif.apertureValue;
    lines << QStringLiteral("Image UID: ") + exif.imageUID;
    return lines;
}

TF_ImageInfo::TF_ImageInfo(QWidget* parent)
    : QDialog(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Image information"));
    const InfoWindowParts parts = BuildInfoWindow(this, ImageTreeModel::IL_SO(13));
    I_Icon = parts.icon;
    L_ImageName = parts.name;
    M_ImageInfo = parts.memo;
    B_Ok = parts.ok;
    connect(B_Ok, &QPushButton::clicked, this, &TF_ImageInfo::B_OkClick);
}

void TF_ImageInfo::UpdateInfo()
{
    L_ImageName->clear();
    M_ImageInfo->clear();
    TStitchObject* so = SO.get();
    if (!so)
        return;
    L_ImageName->setText(QFileInfo(so->filename).fileName());
    // The full copy's pixel bytes: whole padded rows, without the header's 32-bit limit.
    const qint64 pixelBytes = so->FD ? qint64(so->FD->BWidth) * so->FD->AbsHeight : 0;
    const QFileInfo file(QDir::cleanPath(QDir::fromNativeSeparators(so->filename)));
    const qint64 fileSize = !so->filename.isEmpty() && file.isFile() ? file.size() : -1;
    const ImageExifInfo exif = ReadImageExif(so->filename);
    M_ImageInfo->setPlainText(
        ImageInfoLines(so->filename, so->Width, so->Height, pixelBytes, fileSize, exif).join(QLatin1Char('\n')));
}

void TF_ImageInfo::FormShow()
{
    CentreOnMainWindow(this);
    UpdateInfo();
}

void TF_ImageInfo::B_OkClick()
{
    accept();
}

void TF_ImageInfo::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}
