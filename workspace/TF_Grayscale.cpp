// Grayscale and black-and-white dialog.
#include "workspace/TF_Grayscale.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"
#include "project/TStitchObject.h"
#include "shell/TThinTrackBar.h"
#include "workspace/AdjustPreview.h"
#include "workspace/OperationProgress.h"
#include "workspace/TF_Histogram.h"
#include "workspace/TF_SMDI.h"
#include "workspace/WaitCursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

QPointer<TF_Grayscale> F_Grayscale;

namespace {

QSpinBox* spin(QWidget* parent, int min, int max, int value)
{
    auto* s = new QSpinBox(parent);
    s->setRange(min, max);
    s->setValue(value);
    return s;
}

// Gradient from white at the left to black at the right, under the threshold bar.
class ThresholdScale : public QWidget {
public:
    explicit ThresholdScale(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(255, 13);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QLinearGradient g(0, 0, width(), 0);
        g.setColorAt(0, Qt::white);
        g.setColorAt(1, Qt::black);
        p.fillRect(rect(), g);
    }
};

} // namespace

TF_Grayscale::TF_Grayscale(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
    , GrayPreviewDIB(std::make_unique<TFastDIB>())
{
    setWindowTitle(QStringLiteral("Grayscale - Black & White"));
    setSizeGripEnabled(true);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    setFont(font);

    auto* left = new QWidget(this);
    left->setFixedWidth(290);
    auto* column = new QVBoxLayout(left);
    column->setContentsMargins(0, 0, 0, 0);

    auto* bw = new QGroupBox(left);
    auto* bwBox = new QVBoxLayout(bw);
    CB_BlackWhite = new QCheckBox(QStringLiteral("Black && White Threshold"), bw);
    PB_Scale = new ThresholdScale(bw);
    TB_Threshold = new TThinTrackBar(bw);
    TB_Threshold->setRange(0, 255);
    TB_Threshold->setTickInterval(16);
    TB_Threshold->setPageStep(16);
    TB_Threshold->setFixedWidth(255);
    bwBox->addWidget(CB_BlackWhite);
    bwBox->addWidget(PB_Scale);
    bwBox->addWidget(TB_Threshold);
    column->addWidget(bw);

    auto* gray = new QGroupBox(left);
    auto* grayGrid = new QGridLayout(gray);
    CB_GrayScale = new QCheckBox(QStringLiteral("Gray scale"), gray);
    grayGrid->addWidget(CB_GrayScale, 0, 0, 1, 3);
    grayGrid->addWidget(new QLabel(QStringLiteral("Conversion algorithm"), gray), 1, 0, 1, 3);
    RB_Neutral = new QRadioButton(QStringLiteral("Neutral"), gray);
    RB_NTSC = new QRadioButton(QStringLiteral("NTSC"), gray);
    RB_Free = new QRadioButton(QStringLiteral("Free"), gray);
    RB_NTSC->setChecked(true);
    grayGrid->addWidget(RB_Neutral, 2, 0);
    grayGrid->addWidget(RB_NTSC, 2, 1);
    grayGrid->addWidget(RB_Free, 2, 2);
    SE_Red = spin(gray, 0, 100, 30);
    SE_Green = spin(gray, 0, 100, 59);
    SE_Blue = spin(gray, 0, 100, 11);
    grayGrid->addWidget(SE_Red, 3, 0);
    grayGrid->addWidget(SE_Green, 3, 1);
    grayGrid->addWidget(SE_Blue, 3, 2);
    column->addWidget(gray);

    auto* planes = new QGroupBox(left);
    auto* planeGrid = new QGridLayout(planes);
    CB_Bitplane = new QCheckBox(QStringLiteral("Bitplanes"), planes);
    planeGrid->addWidget(CB_Bitplane, 0, 0, 1, 8);
    planeGrid->addWidget(new QLabel(QStringLiteral("Bit 0 (LSB)"), planes), 1, 0, 1, 4);
    auto* msb = new QLabel(QStringLiteral("Bit 7 (MSB)"), planes);
    msb->setAlignment(Qt::AlignRight);
    planeGrid->addWidget(msb, 1, 4, 1, 4);
    for (int i = 0; i < 8; ++i) {
        CB_Bits[i] = new QCheckBox(planes);
        CB_Bits[i]->setChecked(i == 7);
        CB_Bits[i]->setToolTip(QStringLiteral("Bit %1").arg(i));
        planeGrid->addWidget(CB_Bits[i], 2, i);
    }
    CB_KeepGrayscales = new QCheckBox(QStringLiteral("Keep Bit values"), planes);
    CB_Invert = new QCheckBox(QStringLiteral("Invert"), planes);
    planeGrid->addWidget(CB_KeepGrayscales, 3, 0, 1, 5);
    planeGrid->addWidget(CB_Invert, 3, 5, 1, 3);
    column->addWidget(planes);

    auto* slicing = new QGroupBox(left);
    auto* sliceGrid = new QGridLayout(slicing);
    CB_BrightnessSlicing = new QCheckBox(QStringLiteral("Brightness Slicing"), slicing);
    sliceGrid->addWidget(CB_BrightnessSlicing, 0, 0, 1, 2);
    sliceGrid->addWidget(new QLabel(QStringLiteral("Lower threshold"), slicing), 1, 0);
    SE_Lower = spin(slicing, 0, 255, 128);
    sliceGrid->addWidget(SE_Lower, 1, 1);
    sliceGrid->addWidget(new QLabel(QStringLiteral("Slice width"), slicing), 2, 0);
    SE_Higher = spin(slicing, 0, 255, 20);
    sliceGrid->addWidget(SE_Higher, 2, 1);
    CB_InvertSlice = new QCheckBox(QStringLiteral("Invert"), slicing);
    CB_KeepGrayScalesSlice = new QCheckBox(QStringLiteral("Keep Bit values"), slicing);
    CB_IncludeSlice = new QCheckBox(QStringLiteral("Include Slice"), slicing);
    CB_IncludeSlice->setChecked(true);
    sliceGrid->addWidget(CB_InvertSlice, 3, 0);
    sliceGrid->addWidget(CB_KeepGrayScalesSlice, 3, 1);
    sliceGrid->addWidget(CB_IncludeSlice, 4, 0);
    column->addWidget(slicing);

    GB_EdgeDetection = new QGroupBox(QStringLiteral("Edge detection"), left);
    auto* edgeBox = new QVBoxLayout(GB_EdgeDetection);
    CB_MedianCut = new QCheckBox(QStringLiteral("Median Cut Filter"), GB_EdgeDetection);
    CB_Smooth = new QCheckBox(QStringLiteral("Smooth"), GB_EdgeDetection);
    SE_Smooth = spin(GB_EdgeDetection, 1, 9, 1);
    RB_Despecle = new QCheckBox(QStringLiteral("Despecle"), GB_EdgeDetection);
    CB_EdgeEnhance = new QCheckBox(QStringLiteral("Edge Enhancement"), GB_EdgeDetection);
    RB_Dilate = new QCheckBox(QStringLiteral("Dilate"), GB_EdgeDetection);
    for (QWidget* c : std::initializer_list<QWidget*>{CB_MedianCut, CB_Smooth, SE_Smooth, RB_Despecle, CB_EdgeEnhance, RB_Dilate})
        edgeBox->addWidget(c);
    GB_EdgeDetection->hide();
    column->addWidget(GB_EdgeDetection);

    B_Reset = new QPushButton(QStringLiteral("&Reset"), left);
    column->addWidget(B_Reset, 0, Qt::AlignLeft);
    column->addStretch(1);

    const ImageDialogParts parts = LayOutImageDialog(this, left);
    CB_PreviewImage = parts.images;
    CB_ApplyAll = parts.applyAll;
    PB_Preview = parts.preview;
    B_Ok = parts.ok;
    B_Cancel = parts.cancel;

    // Reactions: a group's own box or the threshold rebuild; a control inside a group ticks it first.
    for (QCheckBox* c : {CB_BlackWhite, CB_GrayScale, CB_Bitplane, CB_BrightnessSlicing, CB_MedianCut, CB_Smooth,
                         RB_Despecle, CB_EdgeEnhance, RB_Dilate})
        connect(c, &QCheckBox::clicked, this, &TF_Grayscale::Rebuild);
    connect(SE_Smooth, &QSpinBox::valueChanged, this, &TF_Grayscale::Rebuild);
    connect(TB_Threshold, &QSlider::valueChanged, this, &TF_Grayscale::Rebuild);
    auto ticking = [this](QCheckBox* group) {
        return [this, group] {
            group->setChecked(true);
            Rebuild();
        };
    };
    for (QCheckBox* c : CB_Bits)
        connect(c, &QCheckBox::clicked, this, ticking(CB_Bitplane));
    for (QCheckBox* c : {CB_KeepGrayscales, CB_Invert})
        connect(c, &QCheckBox::clicked, this, ticking(CB_Bitplane));
    for (QSpinBox* s : {SE_Lower, SE_Higher})
        connect(s, &QSpinBox::valueChanged, this, ticking(CB_BrightnessSlicing));
    for (QCheckBox* c : {CB_InvertSlice, CB_KeepGrayScalesSlice, CB_IncludeSlice})
        connect(c, &QCheckBox::clicked, this, ticking(CB_BrightnessSlicing));
    for (QRadioButton* r : {RB_Neutral, RB_NTSC, RB_Free})
        connect(r, &QRadioButton::clicked, this, &TF_Grayscale::presetChosen);
    for (QSpinBox* s : {SE_Red, SE_Green, SE_Blue})
        connect(s, &QSpinBox::valueChanged, this, &TF_Grayscale::weightChanged);
    connect(CB_PreviewImage, &QComboBox::activated, this, [this] {
        BuildPreview();
        PB_Preview->update();
        B_Reset->setFocus();
    });
    connect(B_Reset, &QPushButton::clicked, this, &TF_Grayscale::B_ResetClick);
    connect(B_Ok, &QPushButton::clicked, this, &TF_Grayscale::B_OkClick);
    connect(B_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    PB_Preview->onPan = [this](QPoint delta) {
        BW_X += delta.x();
        BW_Y += delta.y();
        DrawPreview();
    };
    PB_Preview->installEventFilter(this);
    resize(860, 560);
}

TF_Grayscale::~TF_Grayscale() = default;

GrayscaleSettings TF_Grayscale::Settings() const
{
    GrayscaleSettings s;
    s.MedianCut = CB_MedianCut->isChecked();
    s.Smooth = CB_Smooth->isChecked();
    s.SmoothTimes = SE_Smooth->value();
    s.BlackWhite = CB_BlackWhite->isChecked();
    s.Threshold = TB_Threshold->value();
    s.GrayScale = CB_GrayScale->isChecked();
    s.Red = SE_Red->value();
    s.Green = SE_Green->value();
    s.Blue = SE_Blue->value();
    s.Bitplane = CB_Bitplane->isChecked();
    for (int i = 0; i < 8; ++i)
        s.Bits[size_t(i)] = CB_Bits[i]->isChecked();
    s.KeepBits = CB_KeepGrayscales->isChecked();
    s.InvertBits = CB_Invert->isChecked();
    s.Slicing = CB_BrightnessSlicing->isChecked();
    s.Lower = SE_Lower->value();
    s.Width = SE_Higher->value();
    s.IncludeSlice = CB_IncludeSlice->isChecked();
    s.KeepSlice = CB_KeepGrayScalesSlice->isChecked();
    s.InvertSlice = CB_InvertSlice->isChecked();
    s.Despeckle = RB_Despecle->isChecked();
    s.Dilate = RB_Dilate->isChecked();
    s.EdgeEnhance = CB_EdgeEnhance->isChecked();
    return s;
}

void TF_Grayscale::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        if (const QScreen* screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        FormShow();
    }
}

void TF_Grayscale::FormShow()
{
    ListImages(CB_PreviewImage, MDI);
    BW_Size = 3;
    BW_X = BW_Y = 1;
    {
        const QSignalBlocker quiet(TB_Threshold);
        TB_Threshold->setValue(128);
    }
    // Written as a user would: the dialog then shows "Free" with these weights.
    {
        const QSignalBlocker r(SE_Red), g(SE_Green), b(SE_Blue);
        SE_Red->setValue(30);
        SE_Green->setValue(59);
        SE_Blue->setValue(11);
    }
    RB_Free->setChecked(true);
    Rebuild();
}

TFastDIB* TF_Grayscale::chosenImage() const
{
    const int i = CB_PreviewImage->currentIndex();
    return MDI && i >= 0 && size_t(i) < MDI->StitchList.size() ? MDI->StitchList[size_t(i)]->FD.get() : nullptr;
}

void TF_Grayscale::BuildPreview()
{
    TFastDIB* full = chosenImage();
    if (!full) {
        GrayPreviewDIB->PreDestroy();
        return;
    }
    ReducedCopy(*full, *GrayPreviewDIB, BW_Size);
    ApplyGrayscaleChain(*GrayPreviewDIB, Settings());
}

void TF_Grayscale::DrawPreview()
{
    PB_Preview->setPicture(GrayPreviewDIB->Bits ? GrayPreviewDIB.get() : nullptr, QPoint(BW_X, BW_Y));
}

void TF_Grayscale::Rebuild()
{
    BuildPreview();
    DrawPreview();
}

void TF_Grayscale::presetChosen()
{
    CB_GrayScale->setChecked(true);
    DontApply = true;
    auto write = [this](int r, int g, int b) {
        SE_Red->setValue(r);
        SE_Green->setValue(g);
        SE_Blue->setValue(b);
    };
    if (RB_Neutral->isChecked())
        write(33, 34, 33);
    else if (RB_NTSC->isChecked())
        write(30, 59, 11);
    DontApply = false;
    Rebuild();
}

void TF_Grayscale::weightChanged()
{
    if (DontApply)
        return;
    RB_Free->setChecked(true);
    if (!SE_Red->cleanText().isEmpty() && !SE_Green->cleanText().isEmpty() && !SE_Blue->cleanText().isEmpty())
        Rebuild();
}

void TF_Grayscale::B_ResetClick()
{
    BW_X = BW_Y = 1;
    for (QCheckBox* c : {CB_BlackWhite, CB_GrayScale, CB_Bitplane, CB_BrightnessSlicing, CB_Smooth, CB_EdgeEnhance,
                         CB_MedianCut, RB_Dilate})
        c->setChecked(false);
    Rebuild();
}

void TF_Grayscale::ZoomBy(int delta)
{
    BW_Size = delta > 0 ? std::max(BW_Size - 1, 1) : std::min(BW_Size + 1, 61);
    Rebuild();
}

void TF_Grayscale::wheelEvent(QWheelEvent* event)
{
    ZoomBy(event->angleDelta().y());
    event->accept();
}

bool TF_Grayscale::eventFilter(QObject* watched, QEvent* event)
{
    // The preview takes no wheel of its own: it zooms like the dialog around it.
    if (watched == PB_Preview && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TF_Grayscale::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    PlaceOkCancel(B_Ok, B_Cancel, width());
    DrawPreview();
}

void TF_Grayscale::B_OkClick()
{
    if (MDI) {
        const GrayscaleSettings s = Settings();
        qint64 pixels = 0;
        const std::vector<TStitchObject*> images =
            ChosenImages(*MDI, CB_PreviewImage->currentIndex(), CB_ApplyAll->isChecked(), &pixels);
        {
            WaitCursor wait;
            OperationProgress progress(QStringLiteral("Filtering images..."), int(images.size()), pixels);
            for (TStitchObject* so : images) {
                MDI->MarkImageChanged(so);
                so->FD->detach(); // the tracker's copy may share the pixels
                ApplyGrayscaleChain(*so->FD, s);
                // The tracker's copy shows what the picture now shows.
                if (so->FT->Bits)
                    so->FT->MakeCopy(*so->FD, true);
                progress.step(ExtractFileName(so->filename));
            }
        }
        MDI->RebuildImages();
    }
    accept();
}

void TF_Grayscale::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TF_Grayscale::FormClose()
{
    if (F_Histogram && F_Histogram->isVisible())
        F_Histogram->close();
    GrayPreviewDIB->PreDestroy();
    PB_Preview->setPicture(nullptr, QPoint(BW_X, BW_Y));
}
