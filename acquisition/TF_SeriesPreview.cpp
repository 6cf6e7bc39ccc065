#include "acquisition/TF_SeriesPreview.h"

#include "acquisition/ImageView32.h"
#include "acquisition/TF_CreateSeries.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "image/ToolkitBitmap.h"
#include "platform/Delphi.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress2.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <QWheelEvent>

#include <algorithm>
#include <memory>

QPointer<TF_SeriesPreview> F_SeriesPreview;

TF_SeriesPreview::TF_SeriesPreview(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose); // the close action is "free"
    setSizeGripEnabled(true);
    resize(658, 486);

    IV_Preview = new TImgView32(this);
    IV_Preview->setScaleMode(TImgView32::ScaleMode::Optimal);
    IV_Preview->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    IV_Preview->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    IV_Preview->viewport()->installEventFilter(this);

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(16);
    auto button = [this, &font](const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setFixedSize(40, 32);
        b->setFont(font);
        b->setFlat(true);
        b->setAutoDefault(false);
        b->setFocusPolicy(Qt::NoFocus);
        b->setStyleSheet(QStringLiteral("QPushButton { color: #FF8000; background: transparent; border: none; }"));
        return b;
    };
    B_Previous = button(QStringLiteral("<"));
    B_Next = button(QStringLiteral(">"));
    connect(B_Previous, &QPushButton::clicked, this, &TF_SeriesPreview::B_PreviousClick);
    connect(B_Next, &QPushButton::clicked, this, &TF_SeriesPreview::B_NextClick);
    FormResize();
}

TF_SeriesPreview::~TF_SeriesPreview() = default;

void TF_SeriesPreview::Reload(const QString& AFilename)
{
    QPointer<TF_SeriesPreview> self(this);
    // The box goes in every case; its Cancel could not stop one decoding.
    std::unique_ptr<TF_Progress2> busy(new TF_Progress2(this));
    F_Progress2 = busy.get();
    busy->L_Info->setText(QStringLiteral("Loading image..."));
    busy->Button1->hide();
    busy->show();
    QCoreApplication::processEvents();
    if (!self) {
        busy.release(); // went with its owner
        return;
    }

    TFastDIB dib;
    TFastJPG jpg;
    jpg.AttachImage(&dib);
    QImage picture;
    QString error;
    if (jpg.LoadFile(AFilename) != 0)
        error = jpg.lastError();
    else
        DIBToBitmap(dib, picture);
    busy.reset();

    // A picture that could not be read leaves the view empty rather than showing the one before
    // under the new name.
    IV_Preview->setScaleMode(TImgView32::ScaleMode::Optimal);
    IV_Preview->setBitmap(picture);
    Filename = AFilename;
    setWindowTitle(ExtractFileName(AFilename) + QStringLiteral(" (") + QString::number(picture.width())
                   + QStringLiteral(" x ") + QString::number(picture.height()) + QLatin1Char(')'));
    if (!error.isEmpty())
        TF_ErrorLog::Error(QStringLiteral("Error loading image ") + AFilename + QStringLiteral("!\r\n\r\n") + error, true);
}

void TF_SeriesPreview::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TF_SeriesPreview::FormShow()
{
    zoom = 100;
    IV_Preview->setScale(1.0);
}

void TF_SeriesPreview::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void TF_SeriesPreview::FormResize()
{
    IV_Preview->setGeometry(rect());
    B_Previous->move(width() / 2 - B_Previous->width() - 10, height() - 80);
    B_Next->move(width() / 2 + 10, height() - 80);
    B_Previous->raise();
    B_Next->raise();
}

void TF_SeriesPreview::B_NextClick()
{
    step(+1);
}

void TF_SeriesPreview::B_PreviousClick()
{
    step(-1);
}

void TF_SeriesPreview::step(int direction)
{
    if (!F_CreateSeries)
        return;
    QTreeWidget* list = F_CreateSeries->VST;
    QTreeWidgetItem* first = nullptr;
    for (int i = 0; i < list->topLevelItemCount() && !first; ++i)
        if (list->topLevelItem(i)->isSelected())
            first = list->topLevelItem(i);
    if (!first)
        return;
    QTreeWidgetItem* target = list->topLevelItem(list->indexOfTopLevelItem(first) + direction);
    if (!target)
        return;
    list->clearSelection();
    target->setSelected(true);
    list->setCurrentItem(target, 0, QItemSelectionModel::NoUpdate);
    list->scrollToItem(target);
    F_CreateSeries->VSTDblClick();
}

void TF_SeriesPreview::wheel(int delta, Qt::KeyboardModifiers modifiers)
{
    if (delta == 0)
        return;
    // Zooming starts from what the view shows, fitted or not.
    if (IV_Preview->scaleMode() == TImgView32::ScaleMode::Optimal) {
        zoom = std::max(1, Round(IV_Preview->effectiveScale() * 100));
        IV_Preview->setScaleMode(TImgView32::ScaleMode::Scale);
    }
    const int stepSize = modifiers & Qt::ControlModifier ? 10 : 1;
    zoom = std::max(1, zoom + (delta > 0 ? stepSize : -stepSize));
    IV_Preview->setScale(zoom / 100.0);
}

bool TF_SeriesPreview::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == IV_Preview->viewport()) {
        switch (event->type()) {
        case QEvent::Wheel: {
            auto* e = static_cast<QWheelEvent*>(event);
            wheel(e->angleDelta().y(), e->modifiers());
            return true;
        }
        case QEvent::MouseButtonPress:
            P_M = static_cast<QMouseEvent*>(event)->position().toPoint();
            break;
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->buttons() == Qt::LeftButton) {
                const QPoint at = e->position().toPoint();
                IV_Preview->scrollByPixels(P_M - at);
                P_M = at;
            }
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}
