// Adjust image properties dialog.
#include "workspace/TF_Contrast.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"
#include "project/TStitchObject.h"
#include "shell/TFloatEdit.h"
#include "shell/TF_Main.h"
#include "workspace/AdjustPreview.h"
#include "workspace/OperationProgress.h"
#include "workspace/TF_Histogram.h"
#include "workspace/TF_SMDI.h"
#include "workspace/WaitCursor.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

QPointer<TF_Contrast> F_Contrast;

namespace {

QScrollBar* amountBar(QWidget* parent, int value)
{
    auto* b = new QScrollBar(Qt::Horizontal, parent);
    b->setRange(-255, 255);
    b->setSingleStep(1);
    b->setPageStep(16);
    b->setValue(value);
    b->setMinimumWidth(160);
    return b;
}

TFloatEdit* amountEdit(QWidget* parent)
{
    auto* e = new TFloatEdit(parent);
    e->setMin(-255);
    e->setMax(255);
    e->setDigits(0);
    e->setErrorMessage(TFloatEdit::NoText);
    e->setFixedWidth(48);
    return e;
}

QFrame* colourShape(QWidget* parent, QColor colour)
{
    auto* f = new QFrame(parent);
    f->setFixedSize(14, 14);
    f->setFrameStyle(QFrame::Box | QFrame::Plain);
    f->setStyleSheet(QStringLiteral("background: %1; border: 1px solid black;").arg(colour.name()));
    return f;
}

} // namespace

TF_Contrast::TF_Contrast(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
    , ContrastPreviewDIB(std::make_unique<TFastDIB>())
{
    setWindowTitle(QStringLiteral("Adjust image properties"));
    setSizeGripEnabled(true);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    setFont(font);

    auto* left = new QWidget(this);
    auto* grid = new QGridLayout(left);
    int row = 0;
    auto addAmount = [&](const QString& caption, QScrollBar*& bar, TFloatEdit*& edit, int value) {
        grid->addWidget(new QLabel(caption, left), row++, 0, 1, 2);
        bar = amountBar(left, value);
        edit = amountEdit(left);
        grid->addWidget(bar, row, 0);
        grid->addWidget(edit, row++, 1);
    };
    addAmount(QStringLiteral("Contrast"), SB_Contrast, FE_Contrast, 0);
    addAmount(QStringLiteral("Brightness"), SB_Lightness, FE_Lightness, 0);
    addAmount(QStringLiteral("Color Saturation"), SB_Saturation, FE_Saturation, 255);

    auto* bias = new QGroupBox(QStringLiteral("Color Bias"), left);
    auto* biasGrid = new QGridLayout(bias);
    const QColor shapes[] = {Qt::red, Qt::green, QColor(0, 0, 128)};
    QScrollBar** bars[] = {&SB_Red, &SB_green, &SB_Blue};
    QLabel** labels[] = {&L_Red, &L_Green, &L_Blue};
    for (int i = 0; i < 3; ++i) {
        *bars[i] = amountBar(bias, 0);
        *labels[i] = new QLabel(QStringLiteral("0"), bias);
        (*labels[i])->setFixedWidth(32);
        biasGrid->addWidget(colourShape(bias, shapes[i]), i, 0);
        biasGrid->addWidget(*bars[i], i, 1);
        biasGrid->addWidget(*labels[i], i, 2);
    }
    grid->addWidget(bias, row++, 0, 1, 2);

    B_reset = new QPushButton(QStringLiteral("&Reset"), left);
    BitBtn1 = new QPushButton(QStringLiteral("Histogram"), left);
    auto* leftButtons = new QHBoxLayout;
    leftButtons->addWidget(B_reset);
    leftButtons->addWidget(BitBtn1);
    grid->addLayout(leftButtons, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
    left->setFixedWidth(290);

    const ImageDialogParts parts = LayOutImageDialog(this, left);
    CB_PreviewImage = parts.images;
    CB_ApplyAll = parts.applyAll;
    PB_Contrast = parts.preview;
    B_Ok = parts.ok;
    B_Cancel = parts.cancel;
    B_Cancel->setDefault(true); // default and cancel button
    B_Cancel->setAutoDefault(true);
    B_Ok->setAutoDefault(false);

    Timer1 = new QTimer(this);
    Timer1->setInterval(250);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TF_Contrast::RefreshView);
    m_refresh = new QTimer(this);
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(0);
    connect(m_refresh, &QTimer::timeout, this, [this] {
        BuildPreview();
        RefreshView();
    });

    for (QScrollBar* b : {SB_Contrast, SB_Lightness, SB_Saturation, SB_Red, SB_green, SB_Blue})
        connect(b, &QScrollBar::valueChanged, this, &TF_Contrast::sliderMoved);
    const std::pair<TFloatEdit*, QScrollBar*> pairs[] = {
        {FE_Contrast, SB_Contrast}, {FE_Lightness, SB_Lightness}, {FE_Saturation, SB_Saturation}};
    for (const auto& [edit, bar] : pairs) {
        connect(edit, &TFloatEdit::OnEnterPress, this, [this, edit = edit, bar = bar] { enterPressed(edit, bar); });
        // Leaving a field by Tab or a click counts as much as Enter. Queued: the box puts a
        // refused number back first.
        connect(
            edit, &QLineEdit::editingFinished, this, [edit = edit, bar = bar] { bar->setValue(Round(edit->Value())); },
            Qt::QueuedConnection);
    }
    connect(B_reset, &QPushButton::clicked, this, &TF_Contrast::B_resetClick);
    connect(BitBtn1, &QPushButton::clicked, this, [] {
        if (F_Main)
            F_Main->A_WindowHistogram->trigger();
        else if (F_Histogram)
            F_Histogram->setVisible(!F_Histogram->isVisible());
    });
    connect(CB_PreviewImage, &QComboBox::activated, this, [this] {
        B_reset->setFocus();
        BeginImageEdit();
    });
    connect(B_Ok, &QPushButton::clicked, this, &TF_Contrast::B_OkClick);
    connect(B_Cancel, &QPushButton::clicked, this, &TF_Contrast::B_CancelClick);
    PB_Contrast->onPan = [this](QPoint delta) {
        BW_X += delta.x();
        BW_Y += delta.y();
        RefreshView();
    };
    sliderMoved();
    m_refresh->stop();
    resize(820, 480);
}

TF_Contrast::~TF_Contrast() = default;

ImageAdjustments TF_Contrast::Settings() const
{
    ImageAdjustments a;
    a.Contrast = SB_Contrast->value();
    a.Lightness = SB_Lightness->value();
    a.Saturation = SB_Saturation->value();
    a.Red = SB_Red->value();
    a.Green = SB_green->value();
    a.Blue = SB_Blue->value();
    return a;
}

void TF_Contrast::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        if (QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr)
            move(owner->geometry().center() - rect().center());
        FormShow();
    }
}

void TF_Contrast::FormShow()
{
    ListImages(CB_PreviewImage, MDI);
    BeginImageEdit();
}

void TF_Contrast::BeginImageEdit()
{
    const int i = CB_PreviewImage->currentIndex();
    PIC = MDI && i >= 0 && size_t(i) < MDI->StitchList.size() ? MDI->StitchList[size_t(i)]->FD.get() : nullptr;
    Timer1->stop();
    // No backup of the full picture is taken: the picture changes only on OK, and Reset's
    // neutral settings leave it as it is, so the preview reads the picture itself.
    ContrastSize = 5;
    BW_X = BW_Y = 1;
    BuildPreview();
    Timer1->start();
}

void TF_Contrast::BuildPreview()
{
    if (!PIC) {
        ContrastPreviewDIB->PreDestroy();
        return;
    }
    ReducedCopy(*PIC, *ContrastPreviewDIB, ContrastSize);
    ApplyAdjustments(*ContrastPreviewDIB, Settings());
}

void TF_Contrast::RefreshView()
{
    L_Red->setText(QString::number(SB_Red->value()));
    L_Green->setText(QString::number(SB_green->value()));
    L_Blue->setText(QString::number(SB_Blue->value()));
    PB_Contrast->setPicture(ContrastPreviewDIB->Bits ? ContrastPreviewDIB.get() : nullptr, QPoint(BW_X, BW_Y));
}

void TF_Contrast::sliderMoved()
{
    FE_Contrast->setValue(SB_Contrast->value());
    FE_Lightness->setValue(SB_Lightness->value());
    FE_Saturation->setValue(SB_Saturation->value());
    L_Red->setText(QString::number(SB_Red->value()));
    L_Green->setText(QString::number(SB_green->value()));
    L_Blue->setText(QString::number(SB_Blue->value()));
    scheduleRefresh();
}

void TF_Contrast::scheduleRefresh()
{
    // While the slider is dragged the moves come faster than a preview is made: the last wins.
    if (!m_refresh->isActive())
        m_refresh->start();
}

void TF_Contrast::enterPressed(TFloatEdit* edit, QScrollBar* bar)
{
    bar->setValue(Round(edit->Value()));
    edit->selectAll();
}

void TF_Contrast::ZoomBy(int delta)
{
    ContrastSize = delta > 0 ? std::max(ContrastSize - 1, 1) : std::min(ContrastSize + 1, 61);
    BuildPreview();
    RefreshView();
}

void TF_Contrast::wheelEvent(QWheelEvent* event)
{
    const bool listHadFocus = CB_PreviewImage->hasFocus();
    B_reset->setFocus();
    if (!listHadFocus)
        ZoomBy(event->angleDelta().y());
    event->accept();
}

void TF_Contrast::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    PlaceOkCancel(B_Ok, B_Cancel, width());
    if (isVisible()) {
        BuildPreview();
        RefreshView();
    }
}

void TF_Contrast::afterImageChange()
{
    if (!MDI)
        return;
    MDI->RebuildImages();
    if (F_Histogram)
        F_Histogram->UpdateHistogram(MDI);
}

void TF_Contrast::B_PreviewClick()
{
    if (!PIC)
        return;
    {
        WaitCursor wait;
        ApplyAdjustments(*PIC, Settings());
    }
    // The preview works on the picture itself, so it stays changed even when the dialog is cancelled.
    if (MDI)
        for (const auto& so : MDI->StitchList)
            if (so->FD.get() == PIC)
                MDI->MarkImageChanged(so.get());
    afterImageChange();
}

void TF_Contrast::B_resetClick()
{
    BW_X = BW_Y = 1;
    const QSignalBlocker blocks[] = {QSignalBlocker(SB_Contrast), QSignalBlocker(SB_Lightness),
                                     QSignalBlocker(SB_Saturation), QSignalBlocker(SB_Red),
                                     QSignalBlocker(SB_green), QSignalBlocker(SB_Blue)};
    const ImageAdjustments neutral;
    SB_Contrast->setValue(neutral.Contrast);
    SB_Lightness->setValue(neutral.Lightness);
    SB_Saturation->setValue(neutral.Saturation);
    SB_Red->setValue(neutral.Red);
    SB_green->setValue(neutral.Green);
    SB_Blue->setValue(neutral.Blue);
    sliderMoved();
    m_refresh->stop();
    BuildPreview();
    RefreshView();
    // The neutral settings change no pixel: the picture is shown as it is.
    afterImageChange();
}

void TF_Contrast::B_OkClick()
{
    if (MDI) {
        const ImageAdjustments a = Settings();
        qint64 pixels = 0;
        const std::vector<TStitchObject*> images =
            ChosenImages(*MDI, CB_PreviewImage->currentIndex(), CB_ApplyAll->isChecked(), &pixels);
        {
            WaitCursor wait;
            // Each picture in bands of rows, so that the box moves on a big one; every pixel
            // depends on itself only, so the bands together are the whole.
            constexpr int Bands = 16;
            OperationProgress progress(QStringLiteral("Adjusting images..."), int(images.size()) * Bands, pixels);
            for (TStitchObject* so : images) {
                MDI->MarkImageChanged(so);
                so->FD->detach(); // the tracker's copy may share the pixels: each is adjusted once
                const int w = so->FD->Info.Header.Width, h = so->FD->AbsHeight;
                for (int i = 0; i < Bands; ++i) {
                    const int top = int(qint64(h) * i / Bands), bottom = int(qint64(h) * (i + 1) / Bands);
                    if (bottom > top) {
                        TFastDIB band;
                        band.SetSubset(*so->FD, 0, top, w, bottom - top);
                        ApplyAdjustments(band, a);
                    }
                    progress.step(ExtractFileName(so->filename));
                }
                // The tracker's copy shows what the picture shows.
                if (so->FT->Bits)
                    ApplyAdjustments(*so->FT, a);
            }
        }
        afterImageChange();
    }
    accept();
}

void TF_Contrast::B_CancelClick()
{
    reject();
}

void TF_Contrast::reject()
{
    if (MDI) {
        MDI->SmoothDraw(true);
        if (F_Histogram)
            F_Histogram->UpdateHistogram(MDI);
    }
    QDialog::reject();
}

void TF_Contrast::FormClose()
{
    ContrastPreviewDIB->PreDestroy();
    PIC = nullptr;
    PB_Contrast->setPicture(nullptr, QPoint(BW_X, BW_Y));
}

void TF_Contrast::done(int result)
{
    FormClose();
    QDialog::done(result);
}
