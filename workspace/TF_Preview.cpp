// File preview popup.
#include "workspace/TF_Preview.h"

#include "platform/Dialogs.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "shell/TF_ErrorLog.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <new>

QPointer<TF_Preview> F_Preview;

namespace {

// a * b / c rounded half away from zero, as MulDiv does, in 64 bits: (width - 1) * 65536 of a
// wide scan does not fit 32 bits.
qint64 mulDiv64(qint64 a, qint64 b, qint64 c)
{
    const qint64 product = a * b;
    return (product >= 0 ? product + c / 2 : product - c / 2) / c;
}

bool loadWithReader(QImage& bitmap, const QString& fileName, const char* format)
{
    if (fileName.isEmpty())
        return false;
    try {
        QImageReader reader(fileName, format);
        reader.setAutoTransform(false);
        QImage picture = reader.read();
        if (picture.isNull())
            return false;
        bitmap = std::move(picture);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace

void SmoothFitBitmap(const QImage& Src, QImage& Dst)
{
    const QImage src = Src.format() == QImage::Format_RGB888 ? Src : Src.convertToFormat(QImage::Format_RGB888);
    if (Dst.format() != QImage::Format_RGB888)
        Dst = Dst.convertToFormat(QImage::Format_RGB888);
    if (src.isNull() || Dst.isNull())
        return;
    if (src.size() == Dst.size()) {
        Dst = src.copy();
        return;
    }
    const int sw = src.width(), sh = src.height();
    const int dw = Dst.width(), dh = Dst.height();
    const qint64 sx = mulDiv64(sw - 1, 65536, dw);
    const qint64 sy = mulDiv64(sh - 1, 65536, dh);
    qint64 y = 0;
    for (int row = 0; row < dh; ++row, y += sy) {
        const int upper = int(qMin<qint64>(y >> 16, sh - 1));
        const int lower = upper < sh - 1 ? upper + 1 : upper;
        const qint64 fy = y & 0xFFFF;
        // The two weights sum to 65537: a full white stays 255 after the shift.
        const qint64 wUpper = 65536 - fy;
        const qint64 wLower = fy + 1;
        const uchar* up = src.constScanLine(upper);
        const uchar* down = src.constScanLine(lower);
        uchar* out = Dst.scanLine(row);
        qint64 x = 0;
        for (int col = 0; col < dw; ++col, x += sx) {
            const qint64 fx = x & 0xFFFF;
            const int left = int(qMin<qint64>(x >> 16, sw - 1));
            const int right = left < sw - 1 ? left + 1 : left; // a one-column picture has no right neighbour
            const qint64 upRight = fx * wUpper / 65536, upLeft = wUpper - upRight;
            const qint64 downRight = fx * wLower / 65536, downLeft = wLower - downRight;
            for (int ch = 0; ch < 3; ++ch) {
                const qint64 sum = up[3 * left + ch] * upLeft + up[3 * right + ch] * upRight
                                   + down[3 * left + ch] * downLeft + down[3 * right + ch] * downRight;
                out[3 * col + ch] = uchar(sum >> 16);
            }
        }
    }
}

bool LoadJPEGBitmap(QImage& Bitmap, const QString& FileName)
{
    return loadWithReader(Bitmap, FileName, "jpeg");
}

bool LoadPNGBitmap(QImage& Bitmap, const QString& FileName)
{
    return loadWithReader(Bitmap, FileName, "png");
}

TF_Preview::TF_Preview(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
{
    giveWayToQuestions(this);
    setWindowTitle(QStringLiteral("Preview"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The platform draws no glass frame; a little translucency stands in for the alpha blend.
    setWindowOpacity(0.95);
    resize(315, 244);
    Timer1 = new QTimer(this);
    Timer1->setInterval(300);
    connect(Timer1, &QTimer::timeout, this, &TF_Preview::Timer1Timer);
}

void TF_Preview::Timer1Timer()
{
    // With previews switched off the timer runs on until the popup is closed.
    if (!SettingFilePreview)
        return;
    const QString file = SelectedFile ? SelectedFile() : QString();
    if (!file.isEmpty() && IsImageFileName(file))
        ApplyFilename(file);
    Timer1->stop();
}

void TF_Preview::ApplyFilename(const QString& Value)
{
    m_filename = Value;
    const QString ext = QFileInfo(Value).suffix().toUpper();
    QImage picture;
    if (ext == QLatin1String("BMP")) {
        TFastDIB dib;
        QString error;
        if (!dib.LoadFromFile(Value, &error)) {
            TF_ErrorLog::AddLog(0, QStringLiteral("Preview of %1: %2").arg(Value, error));
            return;
        }
        DIBToBitmap(dib, picture);
    } else if (ext == QLatin1String("PNG") || ext == QLatin1String("JPG")) {
        const bool loaded = ext == QLatin1String("PNG") ? LoadPNGBitmap(picture, Value) : LoadJPEGBitmap(picture, Value);
        if (!loaded) {
            Timer1->stop();
            return;
        }
    } else {
        return;
    }
    if (picture.isNull() || picture.width() <= 0)
        return;

    const int w = width();
    const qint64 h = mulDiv64(w, picture.height(), picture.width());
    B = QImage(w, int(std::clamp<qint64>(h, 1, 32767)), QImage::Format_RGB888);
    if (B.isNull())
        return;
    SmoothFitBitmap(picture, B);
    resize(w, B.height() + 20);
    show();
    update();
}

void TF_Preview::showEvent(QShowEvent* event)
{
    move(QCursor::pos() + QPoint(20, 20));
    QWidget::showEvent(event);
}

void TF_Preview::closeEvent(QCloseEvent* event)
{
    Timer1->stop();
    QWidget::closeEvent(event);
}

void TF_Preview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, B);
}
