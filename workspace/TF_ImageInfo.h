// The image information window: file, pixel size, memory and file size and a few EXIF fields of
// one image of a project.
#pragma once

#include "project/TJEXObject.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TStitchObject;

// The EXIF fields the window shows, as texts; all empty for a file without EXIF data.
struct ImageExifInfo {
    QDateTime dateTime; // invalid when absent
    QString cameraModel;
    QString resolution; // "300 x 300 inch"
    QString focalLength;
    double shutterSpeedMs = 0.0;
    QString apertureValue;
    QString imageUID;
};

// A rational as numerator "/" denominator, the numerator alone over 1, empty over 0.
QString FractionText(qint64 numerator, qint64 denominator);
ImageExifInfo ReadImageExif(const QString& fileName);
// Bytes in KiB, rounded half to even.
qint64 BytesToKiB(qint64 bytes);
// The memo lines. `pixelBytes` is the full copy's pixel data; `fileSize` is -1 when the file is
// not on disk.
QStringList ImageInfoLines(const QString& fileName, int width, int height, qint64 pixelBytes, qint64 fileSize,
                           const ImageExifInfo& exif);

class TF_ImageInfo : public QDialog {
    Q_OBJECT
public:
    explicit TF_ImageInfo(QWidget* parent = nullptr);

    ObjectRef<TStitchObject> SO; // set by the caller before showing; reads as none once freed

    QLabel* I_Icon = nullptr;
    QLabel* L_ImageName = nullptr;
    QPlainTextEdit* M_ImageInfo = nullptr;
    QPushButton* B_Ok = nullptr;

    void UpdateInfo();
    void FormShow();
    void B_OkClick();

protected:
    void showEvent(QShowEvent* event) override;
};

extern QPointer<TF_ImageInfo> F_ImageInfo;
