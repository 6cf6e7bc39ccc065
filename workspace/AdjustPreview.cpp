// Adjustment preview box.
#include "workspace/AdjustPreview.h"

#include "image/Resample.h"
#include "image/TFastDIB.h"
#include "platform/Delphi.h"
#include "project/TStitchObject.h"
#include "workspace/TF_SMDI.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

void ReducedCopy(const TFastDIB& Full, TFastDIB& Preview, int Size)
{
    const int w = Size > 0 ? Full.Info.Header.Width / Size : 0;
    const int h = Size > 0 ? Full.AbsHeight / Size : 0;
    if (!Full.Bits || w <= 0 || h <= 0) {
        Preview.PreDestroy();
        return;
    }
    if (Preview.Info.Header.Width != w || Preview.AbsHeight != h || Preview.Info.Header.BitCount != Full.Info.Header.BitCount
        || !Preview.Bits) {
        Preview.UseGDI = false;
        Preview.SetSize(w, h, Full.Info.Header.BitCount);
    }
    ResizeNearest(Full, Preview);
}

AdjustPreview::AdjustPreview(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
}

void AdjustPreview::setPicture(const TFastDIB* picture, QPoint at)
{
    m_picture = picture;
    m_at = at;
    update();
}

void AdjustPreview::render(QPainter& p) const
{
    p.fillRect(QRect(0, 0, width() + 1, height() + 1), QColor(128, 128, 128));
    const TFastDIB* d = m_picture;
    const int bpp = d ? d->Info.Header.BitCount : 0;
    if (!d || !d->Bits || (bpp != 24 && bpp != 32))
        return;
    // The rows lie bottom-up: the view is drawn upside down into place.
    const QImage view(d->Bits, d->Info.Header.Width, d->AbsHeight, d->BWidth,
                      bpp == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32);
    p.save();
    p.translate(m_at.x(), m_at.y() + d->AbsHeight);
    p.scale(1, -1);
    // Only what the box shows is converted.
    const QRect visible = QRect(-m_at.x(), m_at.y() + d->AbsHeight - height(), width(), height()).intersected(view.rect());
    if (!visible.isEmpty())
        p.drawImage(visible.topLeft(), view, visible);
    p.restore();
}

void AdjustPreview::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    render(p);
}

void AdjustPreview::mousePressEvent(QMouseEvent* event)
{
    m_last = event->position().toPoint();
    setCursor(Qt::SizeAllCursor);
}

void AdjustPreview::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->buttons() == Qt::LeftButton && onPan)
        onPan(pos - m_last);
    m_last = pos;
}

void AdjustPreview::mouseReleaseEvent(QMouseEvent*)
{
    unsetCursor();
}

ImageDialogParts LayOutImageDialog(QDialog* dialog, QWidget* left)
{
    ImageDialogParts parts;
    auto* right = new QWidget(dialog);
    auto* rightBox = new QVBoxLayout(right);
    rightBox->setContentsMargins(0, 0, 0, 0);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Image"), right));
    parts.images = new QComboBox(right);
    parts.images->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    parts.images->setMinimumContentsLength(20);
    top->addWidget(parts.images, 1);
    parts.applyAll = new QCheckBox(QStringLiteral("Apply to all images"), right);
    top->addWidget(parts.applyAll);
    rightBox->addLayout(top);
    parts.preview = new AdjustPreview(right);
    rightBox->addWidget(parts.preview, 1);

    auto* buttons = new QWidget(dialog);
    buttons->setFixedHeight(36);
    parts.ok = new QPushButton(QStringLiteral("&Ok"), buttons);
    parts.cancel = new QPushButton(QStringLiteral("&Cancel"), buttons);
    parts.ok->resize(75, 25);
    parts.cancel->resize(75, 25);

    auto* body = new QHBoxLayout;
    body->addWidget(left);
    body->addWidget(right, 1);
    auto* all = new QVBoxLayout(dialog);
    all->addLayout(body, 1);
    all->addWidget(buttons);
    return parts;
}

void PlaceOkCancel(QPushButton* ok, QPushButton* cancel, int width)
{
    ok->move(width / 2 - ok->width() - 50, 6);
    cancel->move(width / 2 + 50, 6);
}

void ListImages(QComboBox* images, const TF_SMDI* window)
{
    images->clear();
    if (window)
        for (const auto& so : window->StitchList)
            images->addItem(ExtractFileName(so->filename));
    images->setCurrentIndex(images->count() > 0 ? 0 : -1);
}

std::vector<TStitchObject*> ChosenImages(const TF_SMDI& window, int chosen, bool all, qint64* pixels)
{
    std::vector<TStitchObject*> images;
    for (size_t i = 0; i < window.StitchList.size(); ++i)
        if (all || int(i) == chosen)
            images.push_back(window.StitchList[i].get());
    *pixels = 0;
    for (const TStitchObject* so : images)
        *pixels += qint64(so->Width) * so->Height;
    return images;
}
