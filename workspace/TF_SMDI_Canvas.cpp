// Image window: canvas extent and zoom model; the conversions between screen and canvas pixels
// are the view transform's, filled from the zoom and the scroll bars. Lengths that can exceed 32
// bits at strong reductions or magnifications are computed in 64 bits and clamped.
#include "workspace/TF_SMDI.h"

#include "platform/Delphi.h"
#include "project/TArea.h"
#include "project/TStitchObject.h"
#include "project/ViewTransform.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress2.h"
#include "workspace/TF_Histogram.h"

#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>

#include <algorithm>
#include <limits>

namespace {

constexpr int MinZoom = 1;
constexpr int MaxZoom = 999;

int clampInt(qint64 v)
{
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A canvas length as screen length at zoom z, unrounded: the comparisons of the fit and of the
// bar enabling are made on this real value.
double screenLengthF(qint64 canvasLength, int z)
{
    if (z < 10)
        return double(canvasLength) * (11 - z);
    return double(canvasLength) / double(z - 9);
}

// Round(canvasLength / GetZoomDiv(z)) in 64 bits.
qint64 screenLength(qint64 canvasLength, int z)
{
    return ViewTransform::screenLength(canvasLength, z);
}

} // namespace

double TF_SMDI::GetZoomDiv(int z) const
{
    return ViewTransform::zoomDiv(z);
}

int TF_SMDI::GetPixelSize(int z) const
{
    return ViewTransform::pixelSize(z);
}

int TF_SMDI::Scale(int AValue) const
{
    return clampInt(screenLength(AValue, fZoom));
}

int TF_SMDI::ScaleBird(int AValue, int z) const
{
    return clampInt(screenLength(AValue, z));
}

qint64 TF_SMDI::canvasLength(qint64 screenLen) const
{
    if (fZoom < 10)
        return Round64(double(screenLen) / double(11 - fZoom));
    return screenLen * (fZoom - 9);
}

ViewTransform TF_SMDI::viewTransform() const
{
    return {fZoom, QPoint(SB_H->value(), SB_V->value())};
}

QPoint TF_SMDI::ToReal(int x, int y) const
{
    return viewTransform().toCanvas(x, y);
}

QPoint TF_SMDI::ToScreen(QPoint p) const
{
    return viewTransform().toScreen(p);
}

void TF_SMDI::GotoScreenPos(int x, int y)
{
    // The client size of the whole window, not of the paint box.
    if (SB_H->isEnabled())
        SB_H->setValue(clampInt(x - canvasLength(width() / 2)));
    if (SB_V->isEnabled())
        SB_V->setValue(clampInt(y - canvasLength(height() / 2)));
}

void TF_SMDI::UpdateArea()
{
    *Area = TArea();
    if (StitchList.empty()) {
        SB_H->setEnabled(false);
        SB_V->setEnabled(false);
        return;
    }

    qint64 x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    for (const auto& so : StitchList) {
        x1 = qMin<qint64>(x1, so->x);
        y1 = qMin<qint64>(y1, so->y);
        x2 = qMax<qint64>(x2, qint64(so->x) + so->Width);
        y2 = qMax<qint64>(y2, qint64(so->y) + so->Height);
    }
    qint64 maxH = x2 - canvasLength(PB->width());
    qint64 maxV = y2 - canvasLength(PB->height());

    // Nothing may lie left of or above the origin: images and the points of the paths move
    // along; anchor points and draw objects stay where they are.
    if (x1 < 0 || y1 < 0) {
        const qint64 dx = x1 < 0 ? -x1 : 0;
        const qint64 dy = y1 < 0 ? -y1 : 0;
        auto shift = [dx, dy](QPoint& p) { p = QPoint(clampInt(p.x() + dx), clampInt(p.y() + dy)); };
        for (const auto& so : StitchList) {
            so->x = clampInt(so->x + dx);
            so->y = clampInt(so->y + dy);
        }
        for (const auto& path : PathList)
            for (const auto& index : path->ObjectList) {
                shift(index->Pos);
                for (const auto& m : index->ObjectList)
                    shift(m->Pos);
            }
        x1 += dx;
        x2 += dx;
        maxH += dx;
        y1 += dy;
        y2 += dy;
        maxV += dy;
    }
    Area->x1 = clampInt(x1);
    Area->y1 = clampInt(y1);
    Area->x2 = clampInt(x2);
    Area->y2 = clampInt(y2);

    // A canvas not larger than the view leaves the bar's range as it was. setRange keeps the
    // position where it lies inside the new range.
    if (x1 < maxH)
        SB_H->setRange(clampInt(x1), clampInt(maxH));
    if (y1 < maxV)
        SB_V->setRange(clampInt(y1), clampInt(maxV));

    // A click on the track turns a page of what the view shows, an arrow a tenth of it, at every
    // zoom.
    const int pageH = clampInt(qMax<qint64>(1, canvasLength(PB->width())));
    const int pageV = clampInt(qMax<qint64>(1, canvasLength(PB->height())));
    SB_H->setPageStep(pageH);
    SB_H->setSingleStep(qMax(1, pageH / 10));
    SB_V->setPageStep(pageV);
    SB_V->setSingleStep(qMax(1, pageV / 10));

    // A bar scrolled away from the canvas start stays usable even when the canvas now fits.
    SB_H->setEnabled(x1 < SB_H->value() || PB->width() <= screenLengthF(Area->width(), fZoom));
    SB_V->setEnabled(y1 < SB_V->value() || PB->height() <= screenLengthF(Area->height(), fZoom));

    UpdateBird(false);
    if (F_Histogram)
        F_Histogram->UpdateHistogram(this);
}

void TF_SMDI::FitToScreen()
{
    Drawing = true;

    // The free space is that of the MDI area (the main window's docks, menu, tool bar and status
    // bar lie outside it), or of whatever widget holds the window.
    QWidget* frame = mdiFrame() ? static_cast<QWidget*>(mdiFrame()) : this;
    int freeW = 0, freeH = 0;
    if (QWidget* container = frame->parentWidget()) {
        freeW = container->width() - frame->x() - 50;
        freeH = container->height() - frame->y() - 50;
    } else if (F_Main && F_Main->mdiArea()) {
        freeW = F_Main->mdiArea()->viewport()->width() - 50;
        freeH = F_Main->mdiArea()->viewport()->height() - 50;
    } else if (QScreen* screen = frame->screen() ? frame->screen() : QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        freeW = avail.x() + avail.width() - frame->x() - 50;
        freeH = avail.y() + avail.height() - frame->y() - 50;
    }

    // The smallest zoom from 10:1 downward at which the canvas fits both ways. Without free space
    // nothing fits; the search then ends at the strongest reduction.
    int z = MinZoom;
    while (z < MaxZoom && freeW <= screenLengthF(Area->width(), z))
        ++z;
    while (z < MaxZoom && freeH <= screenLengthF(Area->height(), z))
        ++z;
    ApplyZoom(z);

    if (!frame->isMaximized()) {
        // A canvas that does not fit even at the strongest reduction gets the free space, not a
        // window (and paint buffers) of its reduced size, which hostile positions make terabytes.
        auto fitted = [](qint64 wanted, int free) { return clampInt(free > 0 ? std::min<qint64>(wanted, free + 25) : wanted); };
        const int cw = fitted(qint64(screenLength(Area->width(), z)) + 25, freeW);
        const int ch = fitted(qint64(SB_MDI->height()) + screenLength(Area->height(), z) + 25,
                              freeH > 0 ? freeH + SB_MDI->height() : 0);
        if (frame == this)
            resize(cw, ch);
        else
            frame->resize(frame->size() - size() + QSize(cw, ch));
    }

    SB_H->setValue(SB_H->minimum());
    SB_V->setValue(SB_V->minimum());
    UpdateArea();
    Drawing = false;
    SmoothDraw(true);
}

// Later images are drawn over earlier ones, so the last hit is the one on top. Edges count on
// both sides.
TStitchObject* TF_SMDI::GetStitchObjectAt(QPoint Pos) const
{
    TStitchObject* found = nullptr;
    for (const auto& so : StitchList)
        if (so->x <= Pos.x() && Pos.x() <= qint64(so->x) + so->Width && so->y <= Pos.y()
            && Pos.y() <= qint64(so->y) + so->Height)
            found = so.get();
    return found;
}

void TF_SMDI::ApplyZoom(int Value)
{
    if (Value == fZoom || Value < MinZoom || Value > MaxZoom)
        return;
    fZoom = Value;
    if (Value > 10)
        requestZoomCopies(nullptr);
    UpdateArea();
    SmoothDraw(true);
}

void TF_SMDI::CB_ZoomChange()
{
    QPointer<TF_SMDI> self(this); // the user may close the window while events run
    auto* box = new TF_Progress2(QApplication::activeWindow());
    F_Progress2 = box;
    box->show();
    QCoreApplication::processEvents();
    if (self) {
        ApplyZoom(CB_Zoom->currentIndex() + 1);
        SmoothDraw(true);
    }
    delete box;
}

void TF_SMDI::SB_Size1Click()
{
    ApplyZoom(10);
    SmoothDraw(true);
    SetCaption();
}

void TF_SMDI::SB_SizeFitClick()
{
    FitToScreen();
    SmoothDraw(true);
}

void TF_SMDI::SB_HChange()
{
    if (!UpdateByGesture)
        SmoothDraw(true);
}
