// Image window: the Image menu's commands with their dialogs. Each command asks its gates and its
// dialog, runs the operation of TF_SMDI_ImageOps.cpp, then makes the zoomed copies anew and
// repaints. A cancelled dialog leaves the images as they were.
#include "workspace/TF_SMDI.h"

#include "image/TFastDIB.h"
#include "platform/Dialogs.h"
#include "project/TStitchObject.h"
#include "shell/TColorPickerButton.h"
#include "shell/TFloatEdit.h"
#include "shell/TF_Main.h"
#include "shell/TThinTrackBar.h"
#include "workspace/OperationProgress.h"
#include "workspace/TF_AddBorder.h"
#include "workspace/TF_Contrast.h"
#include "workspace/TF_Grayscale.h"
#include "workspace/TF_Resample.h"
#include "workspace/TF_Rotate.h"
#include "workspace/TF_SelectAmount.h"

#include <QApplication>
#include <QCheckBox>
#include <QPointer>
#include <QRadioButton>
#include <QSpinBox>

#include <cmath>

const QString SingleImagesText = QStringLiteral("This operation can only be performed on single images!");
const QString AspectChangeText =
    QStringLiteral("The new size changes the aspect ratio of the image.\r\n"
                   "Distances will then depend on their direction, and only horizontal ones will be true.\r\n"
                   "Resample anyway?");
const QString EmptyProjectText =
    QStringLiteral("This operation can only be performed on empty projects that do not contain measurement or index points!");

namespace {

// Dialogs that live for the whole run float over the main window; without one (tests, a window
// standing alone) over the image window's own top level.
QWidget* dialogOwner(TF_SMDI* w)
{
    return F_Main ? static_cast<QWidget*>(F_Main) : w->window();
}

template <typename D>
D* theDialog(QPointer<D>& global, TF_SMDI* w)
{
    if (!global)
        global = new D(dialogOwner(w));
    return global;
}

// The gates of the first-image commands that move pixels under the points: false, with the
// message shown, when the window holds several images or measurements.
bool singleEmptyImage(const TF_SMDI& w)
{
    if (w.StitchList.size() > 1) {
        ShowMessage(SingleImagesText);
        return false;
    }
    if (w.HasMeasurements()) {
        ShowMessage(EmptyProjectText);
        return false;
    }
    return true;
}

// One resolution serves both directions: a size whose sides do not keep the first image's ratio
// (beyond the pixel that rounding costs) makes distances depend on their direction.
bool changesAspect(const TF_SMDI& w, int x1, int y1)
{
    if (w.StitchList.empty())
        return false;
    const TStitchObject& so = *w.StitchList.front();
    if (so.Width <= 0 || so.Height <= 0)
        return false;
    const double heightKept = double(x1) * so.Height / so.Width;
    const double widthKept = double(y1) * so.Width / so.Height;
    return std::abs(y1 - heightKept) > 1.0 && std::abs(x1 - widthKept) > 1.0;
}

qint64 pixelsOf(const TF_SMDI& w)
{
    qint64 n = 0;
    for (const auto& so : w.StitchList)
        n += qint64(so->Width) * so->Height;
    return n;
}

// A neighbourhood filter `times` times over every image, the box stepping once per pass.
void repeatFilter(TF_SMDI& w, const QString& caption, int times, void (TF_SMDI::*filter)())
{
    const qint64 pixels = pixelsOf(w) * times;
    OperationProgress progress(caption, times, pixels);
    for (int i = 0; i < times; ++i) {
        (w.*filter)();
        progress.step(QStringLiteral("Pass %1 of %2").arg(i + 1).arg(times));
    }
}

} // namespace

void TF_SMDI::RebuildImages()
{
    for (const auto& so : StitchList)
        ResampleStitchObjects(so.get());
    SmoothDraw(true);
}

void TF_SMDI::SharpenCommand()
{
    QPointer<TF_SMDI> self(this);
    if (theDialog(F_SelectAmount, this)->exec() != QDialog::Accepted || !self)
        return;
    repeatFilter(*this, QStringLiteral("Sharpening..."), F_SelectAmount->TB_Amount->value(), &TF_SMDI::DoSharpen);
    RebuildImages();
}

void TF_SMDI::SoftenCommand()
{
    QPointer<TF_SMDI> self(this);
    if (theDialog(F_SelectAmount, this)->exec() != QDialog::Accepted || !self)
        return;
    repeatFilter(*this, QStringLiteral("Softening..."), F_SelectAmount->TB_Amount->value(), &TF_SMDI::DoSoften);
    RebuildImages();
}

void TF_SMDI::AddBorderCommand()
{
    if (!singleEmptyImage(*this))
        return;
    QPointer<TF_SMDI> self(this);
    TF_AddBorder* d = theDialog(F_AddBorder, this);
    if (d->exec() != QDialog::Accepted || !self)
        return;
    AddBorder(d->SE_Left->value(), d->SE_Top->value(), d->SE_Right->value(), d->SE_Bottom->value(),
              d->CB_Symmetric->isChecked(), uint32_t(d->CPB->color()));
    RebuildImages();
}

void TF_SMDI::ResampleCommand()
{
    if (!singleEmptyImage(*this))
        return;
    QPointer<TF_SMDI> self(this);
    TF_Resample* d = theDialog(F_Resample, this);
    d->f = this;
    if (d->exec() != QDialog::Accepted || !self)
        return;
    if (changesAspect(*this, d->resultX, d->resultY)
        && (MessageDlg(AspectChangeText, mtConfirmation, mbYesNo) != mrYes || !self))
        return;
    Resample(d->resultX, d->resultY);
    RebuildImages();
}

void TF_SMDI::RotateCommand()
{
    if (!singleEmptyImage(*this))
        return;
    QPointer<TF_SMDI> self(this);
    TF_Rotate d(dialogOwner(this));
    const bool ok = d.exec() == QDialog::Accepted;
    if (!self)
        return;
    if (ok) {
        const bool clockwise = d.CB_Clockwise->isChecked();
        // RotateFree turns clockwise; the other way round is the rest of the full turn.
        if (d.RB_90->isChecked())
            Rotate90(clockwise);
        else if (d.RB_180->isChecked())
            RotateFree(180, true);
        else if (d.RB_270->isChecked())
            RotateFree(clockwise ? 270 : 90, true);
        else if (d.RB_Free->isChecked())
            RotateFree(clockwise ? d.FE_Angle->Value() : 360 - d.FE_Angle->Value(), true);
    }
    if (self)
        RebuildImages();
}

void TF_SMDI::AdjustImagesCommand()
{
    if (StitchList.empty())
        return;
    TF_Contrast* d = theDialog(F_Contrast, this);
    d->MDI = this;
    d->exec();
}

void TF_SMDI::GrayscaleCommand()
{
    if (StitchList.empty())
        return;
    TF_Grayscale* d = theDialog(F_Grayscale, this);
    d->MDI = this;
    SmoothDraw(true);
    d->exec();
}
