// The file preview popup: a small picture of an image file next to the mouse while the left button
// is held on it in a file list. Whoever starts its timer says, through SelectedFile, which file is
// meant; the popup knows nothing of the list itself.
#pragma once

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QTimer;

// Bilinear fit of Src into the already sized Dst in 16.16 fixed point; both end up 24 bits. Equal
// sizes copy Src.
void SmoothFitBitmap(const QImage& Src, QImage& Dst);
// A JPEG or PNG file read through the toolkit's picture classes; false (and the bitmap as it was)
// for an empty name or any error.
bool LoadJPEGBitmap(QImage& Bitmap, const QString& FileName);
bool LoadPNGBitmap(QImage& Bitmap, const QString& FileName);

class TF_Preview : public QWidget {
    Q_OBJECT
public:
    explicit TF_Preview(QWidget* parent = nullptr);

    QTimer* Timer1 = nullptr; // 300 ms; started by the file list on a plain left press
    QImage B;                 // the scaled picture, as wide as the popup

    // The file the timer should show: the entry under the press. Set by the file list.
    std::function<QString()> SelectedFile;

    QString Filename() const { return m_filename; }
    // Shows the picture of a .BMP, .PNG or .JPG file; anything else shows nothing.
    void ApplyFilename(const QString& Value);

    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_filename;
};

// Created at start-up.
extern QPointer<TF_Preview> F_Preview;
