// Image window: whole-image operations. Sharpen, soften and invert work on every image; resample,
// rotations, mirroring and the border on the first one. Points of the paths follow the image where
// the picture moves under them (mirror, border, resample); a resample also carries anchor points and
// draw objects along and scales the resolution, so measurements stay true.
#include "workspace/TF_SMDI.h"

#include "image/ColorEffects.h"
#include "image/Geometry.h"
#include "image/NeighbourFilters.h"
#include "image/Resample.h"
#include "image/TFastDIB.h"
#include "project/PathDistances.h"
#include "project/TArea.h"
#include "project/TJEXObject.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/TF_ErrorLog.h"
#include "workspace/OperationProgress.h"
#include "workspace/TF_Measurements.h"
#include "workspace/WaitCursor.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

// The first image, or none with a failure in the log: nothing may change on an empty window.
TStitchObject* firstImage(TF_SMDI& w, const QString& operation)
{
    if (w.StitchList.empty() || !w.StitchList.front()->FD->Bits) {
        TF_ErrorLog::AddLog(0, operation + QStringLiteral(": the project \"") + w.Project->Name
                                   + QStringLiteral("\" has no image"));
        return nullptr;
    }
    return w.StitchList.front().get();
}

void reportNoMemory(const QString& operation)
{
    TF_ErrorLog::Error(operation + QStringLiteral(": not enough memory for the new image!"), true);
}

// FD takes over the pixels of `image`, which is left empty.
void takeOver(TF_SMDI& w, TStitchObject& so, TFastDIB& image)
{
    so.FD->Assign(image);
    image.Release();
    so.Width = so.FD->Info.Header.Width;
    so.Height = so.FD->AbsHeight;
    w.MarkImageChanged(&so);
}

// The gray-value tracker reads FT: where it holds pixels it keeps showing what FD shows.
void followTracker(TStitchObject& so)
{
    if (so.FT->Bits)
        so.FT->makeSharedCopy(*so.FD);
}

int clampInt(qint64 v)
{
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Every index and measurement point of every path; their widths are recomputed afterwards.
void movePoints(TF_SMDI& w, const std::function<void(QPoint&)>& move)
{
    for (const auto& path : w.PathList) {
        for (const auto& index : path->ObjectList) {
            move(index->Pos);
            for (const auto& m : index->ObjectList)
                move(m->Pos);
        }
        RecomputeDistances(path.get());
    }
}

// After `so` was resampled from oldWidth x oldHeight: everything drawn on the image moves with its
// pixels and the resolution follows the horizontal factor, so every ring width stays what it was.
void keepMeasurementsTrue(TF_SMDI& w, const TStitchObject& so, int oldWidth, int oldHeight)
{
    if (oldWidth <= 0 || oldHeight <= 0)
        return;
    const double fx = double(so.Width) / oldWidth;
    const double fy = double(so.Height) / oldHeight;
    const QPoint origin(so.x, so.y);
    auto scale = [&](QPoint& p) {
        p = QPoint(clampInt(origin.x() + llround((qint64(p.x()) - origin.x()) * fx)),
                   clampInt(origin.y() + llround((qint64(p.y()) - origin.y()) * fy)));
    };
    movePoints(w, scale);
    if (w.AnchorLine)
        for (const auto& a : w.AnchorLine->AnchorPoints)
            scale(a->Pos);
    for (const auto& d : w.DrawList) {
        scale(d->Pos);
        if (auto* arrow = dynamic_cast<TArrow*>(d.get())) {
            scale(arrow->x1);
            scale(arrow->x2);
        } else if (auto* rect = dynamic_cast<TRectangle*>(d.get())) {
            scale(rect->x1);
            scale(rect->x2);
        }
    }
    // A resolution below 1 has no meaning; a tiny image of a coarse scan keeps 1.
    w.DPI = std::max(1, clampInt(llround(w.DPI * fx)));
    w.document().setChanged(true);
}

// A pixel operation on every image under the hourglass, then one repaint.
void changeEveryImage(TF_SMDI& w, const std::function<void(TFastDIB&)>& change)
{
    WaitCursor wait;
    for (const auto& so : w.StitchList) {
        so->FD->detach(); // the tracker may share the pixels
        change(*so->FD);
        w.MarkImageChanged(so.get());
        followTracker(*so);
    }
    w.SmoothDraw(true);
}

// Paints the window before a long operation; false when the window closed or went away while the
// pending events ran.
bool repaintedAndOpen(TF_SMDI& w)
{
    QPointer<TF_SMDI> self(&w);
    w.repaint();
    QCoreApplication::processEvents();
    return self && !self->Closing;
}

} // namespace

void TF_SMDI::DoSharpen()
{
    changeEveryImage(*this, [](TFastDIB& fd) { SharpenPixels(fd, 1); });
}

void TF_SMDI::DoSoften()
{
    changeEveryImage(*this, [](TFastDIB& fd) { SoftenPixels(fd); });
}

void TF_SMDI::DoInvert()
{
    changeEveryImage(*this, [](TFastDIB& fd) { InvertPixels(fd); });
}

void TF_SMDI::Resample(int x1, int y1)
{
    const QString operation = QStringLiteral("Resample");
    TStitchObject* so = firstImage(*this, operation);
    if (!so)
        return;
    if (x1 <= 0 || y1 <= 0) {
        TF_ErrorLog::Error(QStringLiteral("Resample: %1 x %2 pixels is no image size!").arg(x1).arg(y1), true);
        return;
    }
    WaitCursor wait;
    const int oldWidth = so->Width;
    const int oldHeight = so->Height;
    TFastDIB full, tracker;
    full.SetSize(x1, y1, 24);
    const bool withTracker = so->FT->Bits != nullptr;
    if (withTracker)
        tracker.SetSize(x1, y1, 24);
    if (!full.Bits || (withTracker && !tracker.Bits)) {
        reportNoMemory(operation);
        return;
    }
    OperationProgress progress(operation + QStringLiteral("..."), withTracker ? 2 : 1,
                               std::max(qint64(x1) * y1, qint64(so->Width) * so->Height));
    ResizeNearest(*so->FD, full);
    progress.step();
    if (withTracker) {
        ResizeNearest(*so->FT, tracker);
        progress.step();
    }
    takeOver(*this, *so, full);
    if (withTracker) {
        so->FT->Assign(tracker);
        tracker.Release();
    }
    keepMeasurementsTrue(*this, *so, oldWidth, oldHeight);
    if (F_Measurements)
        F_Measurements->FillMeasurements(this, false);
    UpdateArea();
    SetCaption();
    SmoothDraw(true);
}

void TF_SMDI::RotateFree(double Angle, bool smooth)
{
    Q_UNUSED(smooth); // the rotation is always smoothed
    if (!repaintedAndOpen(*this))
        return;
    const QString operation = QStringLiteral("Rotate");
    TStitchObject* so = firstImage(*this, operation);
    if (!so)
        return;
    WaitCursor wait;
    TFastDIB rotated; // new pixels black
    RotatedSize(*so->FD, rotated, Angle);
    if (!rotated.Bits) {
        reportNoMemory(operation);
        return;
    }
    {
        // In bands of rows, so that the box moves on a big picture.
        constexpr int Bands = 32;
        const int rows = rotated.AbsHeight;
        OperationProgress progress(operation + QStringLiteral("..."), Bands,
                                   qint64(rotated.Info.Header.Width) * rotated.AbsHeight);
        for (int i = 0; i < Bands; ++i) {
            RotateAngleRows(*so->FD, rotated, true, Angle, int(qint64(rows) * i / Bands), int(qint64(rows) * (i + 1) / Bands));
            progress.step();
        }
    }
    takeOver(*this, *so, rotated);
    followTracker(*so);
    UpdateArea();
    FitToScreen();
    SmoothDraw(true);
}

void TF_SMDI::Rotate90(bool clockwise)
{
    if (!repaintedAndOpen(*this))
        return;
    const QString operation = QStringLiteral("Rotate");
    TStitchObject* so = firstImage(*this, operation);
    if (!so)
        return;
    WaitCursor wait;
    TFastDIB turned;
    OperationProgress progress(operation + QStringLiteral("..."), 1, qint64(so->Width) * so->Height);
    if (clockwise)
        Rotate90CW(*so->FD, turned);
    else
        Rotate90CCW(*so->FD, turned);
    if (!turned.Bits) {
        reportNoMemory(operation);
        return;
    }
    progress.step();
    takeOver(*this, *so, turned);
    followTracker(*so);
    UpdateArea();
    FitToScreen();
    SmoothDraw(true);
    SetCaption();
}

void TF_SMDI::Mirror(bool Horizontally)
{
    TStitchObject* so = firstImage(*this, QStringLiteral("Mirror"));
    if (!so)
        return;
    WaitCursor wait;
    // The image's own size, not its canvas position: exact for the single image at the origin
    // that the commands allow.
    const int w = so->Width;
    const int h = so->Height;
    so->FD->detach(); // the tracker may share the pixels
    if (Horizontally) {
        movePoints(*this, [h](QPoint& p) { p.setY(clampInt(qint64(h) - p.y())); });
        FlipRows(*so->FD);
    } else {
        movePoints(*this, [w](QPoint& p) { p.setX(clampInt(qint64(w) - p.x())); });
        MirrorRows(*so->FD);
    }
    MarkImageChanged(so);
    followTracker(*so);
    m_doc.setChanged(true);
    SetCaption();
    SmoothDraw(true);
    if (F_Measurements)
        F_Measurements->FillMeasurements(this, false);
}

void TF_SMDI::AddBorder(int x1, int y1, int x2, int y2, bool symmetric, uint32_t Color)
{
    const QString operation = QStringLiteral("Add Border");
    TStitchObject* so = firstImage(*this, operation);
    if (!so)
        return;
    if (symmetric)
        y1 = x2 = y2 = x1;
    // A colour with the top bit set is a system colour, not RGB.
    if (qint32(Color) < 0) {
        TF_ErrorLog::AddLog(0, operation + QStringLiteral(": range check error, colour $%1 is no RGB value")
                                   .arg(Color, 8, 16, QLatin1Char('0'))
                                   .toUpper());
        return;
    }
    const qint64 width = qint64(so->FD->Info.Header.Width) + x1 + x2;
    const qint64 height = qint64(so->FD->AbsHeight) + y1 + y2;
    if (x1 < 0 || y1 < 0 || x2 < 0 || y2 < 0 || width > std::numeric_limits<int>::max()
        || height > std::numeric_limits<int>::max()) {
        TF_ErrorLog::Error(operation + QStringLiteral(": borders of %1, %2, %3 and %4 pixels are not possible!")
                               .arg(x1)
                               .arg(y1)
                               .arg(x2)
                               .arg(y2),
                           true);
        return;
    }
    WaitCursor wait;
    TFastDIB framed;
    framed.SetSize(int(width), int(height), 24);
    if (!framed.Bits) {
        reportNoMemory(operation);
        return;
    }
    // $00BBGGRR
    framed.Clear(TFColor{quint8(Color >> 16), quint8(Color >> 8), quint8(Color)});
    framed.CopyRect(*so->FD, x1, y1, so->FD->Info.Header.Width, so->FD->AbsHeight, 0, 0);
    takeOver(*this, *so, framed);
    followTracker(*so);
    movePoints(*this, [x1, y1](QPoint& p) { p = QPoint(clampInt(qint64(p.x()) + x1), clampInt(qint64(p.y()) + y1)); });
    UpdateArea();
    SmoothDraw(true);
    SetCaption();
}
