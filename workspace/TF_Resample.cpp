// Resample dialog.
#include "workspace/TF_Resample.h"
#include "workspace/FormLook.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"
#include "project/TStitchObject.h"
#include "workspace/TF_SMDI.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>

QPointer<TF_Resample> F_Resample;

namespace {

QSpinBox* sizeEdit(QWidget* parent, int max, int x, int y)
{
    auto* e = new QSpinBox(parent);
    e->setRange(1, max);
    e->setGeometry(x, y, 68, 22);
    return e;
}

// "Width [edit] X Height [edit]" inside a group box.
void layOutPair(QGroupBox* group, QSpinBox*& a, QSpinBox*& b, int max)
{
    auto* wl = new QLabel(QStringLiteral("Width"), group);
    wl->setGeometry(8, 16, 68, 14);
    auto* hl = new QLabel(QStringLiteral("Height"), group);
    hl->setGeometry(98, 16, 68, 14);
    a = sizeEdit(group, max, 8, 31);
    auto* x = new QLabel(QStringLiteral("X"), group);
    x->setGeometry(82, 35, 12, 14);
    b = sizeEdit(group, max, 98, 31);
    wl->setBuddy(a);
    hl->setBuddy(b);
}

} // namespace

TF_Resample::TF_Resample(QWidget* parent)
    : QDialog(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Resample"));
    setFixedSize(196, 208);
    UseSmallDialogLook(this);

    RB_Pixel = new QRadioButton(this);
    RB_Pixel->setGeometry(6, 26, 16, 16);
    GB_PixelSize = new QGroupBox(QStringLiteral("Pixel size"), this);
    GB_PixelSize->setGeometry(24, 4, 168, 62);
    layOutPair(GB_PixelSize, SE_PixelWidth, SE_PixelHeight, 99999);

    RB_Percent = new QRadioButton(this);
    RB_Percent->setGeometry(6, 92, 16, 16);
    GB_Percent = new QGroupBox(QStringLiteral("Percentage of original size"), this);
    GB_Percent->setGeometry(24, 70, 168, 62);
    layOutPair(GB_Percent, SE_PercentX, SE_PercentY, 999);

    CB_Keep = new QCheckBox(this);
    CB_Keep->setGeometry(8, 140, 184, 19);
    CB_Keep->setChecked(true);

    B_Ok = new QPushButton(QStringLiteral("&Ok"), this);
    B_Ok->setGeometry(16, 174, 75, 25);
    B_Ok->setDefault(true);
    B_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    B_Cancel->setGeometry(104, 174, 75, 25);
    connect(B_Ok, &QPushButton::clicked, this, &TF_Resample::B_OkClick);
    connect(B_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    RB_Pixel->setChecked(true);
    connect(RB_Pixel, &QRadioButton::clicked, this, &TF_Resample::RB_PixelClick);
    connect(RB_Percent, &QRadioButton::clicked, this, &TF_Resample::RB_PixelClick);
    connect(SE_PixelWidth, &QSpinBox::valueChanged, this, &TF_Resample::SE_PixelWidthChange);
    connect(SE_PixelHeight, &QSpinBox::valueChanged, this, &TF_Resample::SE_PixelHeightChange);
    connect(SE_PercentX, &QSpinBox::valueChanged, this, &TF_Resample::SE_PercentXChange);
    connect(SE_PercentY, &QSpinBox::valueChanged, this, &TF_Resample::SE_PercentYChange);
}

void TF_Resample::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
            move(owner->geometry().center() - rect().center());
        FormShow();
    }
}

int TF_Resample::imageWidth() const
{
    return FD ? FD->Info.Header.Width : 0;
}

int TF_Resample::imageHeight() const
{
    return FD ? FD->AbsHeight : 0;
}

void TF_Resample::FormShow()
{
    FD = f && !f->StitchList.empty() ? f->StitchList.front()->FD.get() : nullptr;
    const int w = imageWidth();
    const int h = imageHeight();
    Updating = Updating2 = true;
    SE_PixelWidth->setValue(w);
    SE_PixelHeight->setValue(h);
    SE_PercentX->setValue(100);
    SE_PercentY->setValue(100);
    ratio = h > 0 ? double(w) / h : 1.0;
    QString text = FloatToStrF(ratio, ffFixed, 3, 2);
    text.replace(QLatin1Char('.'), QLocale().decimalPoint());
    CB_Keep->setText(QStringLiteral("Keep aspect ratio (") + text + QStringLiteral(":1") + QStringLiteral(")"));
    Updating = Updating2 = false;
    RB_Pixel->setChecked(true);
    RB_PixelClick();
}

void TF_Resample::RB_PixelClick()
{
    GB_PixelSize->setEnabled(RB_Pixel->isChecked());
    GB_Percent->setEnabled(!RB_Pixel->isChecked());
}

void TF_Resample::SE_PixelWidthChange()
{
    if (SE_PixelWidth->cleanText().isEmpty() || SE_PixelHeight->cleanText().isEmpty())
        return;
    if (CB_Keep->isChecked() && !Updating && ratio > 0) {
        Updating = true;
        SE_PixelHeight->setValue(Round(SE_PixelWidth->value() / ratio));
        Updating = false;
    }
}

void TF_Resample::SE_PixelHeightChange()
{
    if (SE_PixelWidth->cleanText().isEmpty() || SE_PixelHeight->cleanText().isEmpty())
        return;
    if (CB_Keep->isChecked() && !Updating) {
        Updating = true;
        SE_PixelWidth->setValue(Round(SE_PixelHeight->value() * ratio));
        Updating = false;
    }
}

void TF_Resample::SE_PercentXChange()
{
    if (SE_PercentX->cleanText().isEmpty() || SE_PercentY->cleanText().isEmpty())
        return;
    if (CB_Keep->isChecked() && !Updating2) {
        Updating2 = true;
        SE_PercentY->setValue(SE_PercentX->value());
        Updating2 = false;
    }
    SE_PixelWidth->setValue(Round(SE_PercentX->value() * double(imageWidth()) / 100));
}

void TF_Resample::SE_PercentYChange()
{
    if (SE_PercentX->cleanText().isEmpty() || SE_PercentY->cleanText().isEmpty())
        return;
    if (CB_Keep->isChecked() && !Updating2) {
        Updating2 = true;
        SE_PercentX->setValue(SE_PercentY->value());
        Updating2 = false;
    }
    SE_PixelHeight->setValue(Round(SE_PercentY->value() * double(imageHeight()) / 100));
}

void TF_Resample::B_OkClick()
{
    if (!SE_PixelWidth->cleanText().isEmpty() && !SE_PixelHeight->cleanText().isEmpty()) {
        resultX = SE_PixelWidth->value();
        resultY = SE_PixelHeight->value();
    }
    accept();
}
