// Image window: screen modes, press, move and release on the paint box, inertia after a quick
// drag, keys, region selection, arrows and rectangles, the resolution and strict-alignment
// buttons, the popups, and the snapping of new points to the anchor line.
#include "workspace/TF_SMDI.h"

#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "project/TStopUhr.h"
#include "shell/TF_AdjustDPI.h"
#include "shell/TF_Main.h"
#include "workspace/ForwardedCommand.h"
#include "workspace/HelpersWidgets.h"
#include "workspace/TF_EditDrawObject.h"
#include "workspace/TF_Histogram.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Zoom.h"

#include <QAction>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

// The keys of a shift state; the buttons are passed apart.
Qt::KeyboardModifiers keysOf(Qt::KeyboardModifiers m)
{
    return m & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

// Exactly the left button, no key held.
bool plainLeft(Qt::MouseButtons buttons, Qt::KeyboardModifiers m)
{
    return buttons == Qt::LeftButton && keysOf(m) == Qt::NoModifier;
}

int clampInt(qint64 v)
{
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void moveBar(QScrollBar* bar, qint64 delta)
{
    bar->setValue(clampInt(qint64(bar->value()) + delta));
}

// Displacement of the current image drag (vertical part positive upward); one drag at a time in
// the whole program.
QPoint dragDisplacement;

// Repaints asked for by one handler, done once at its end.
struct RepaintRequests {
    bool items = false; // overlays only
    bool all = false;   // background and images too
};

// Moves in a window that is not the active one do nothing; a window outside an MDI area is its
// own active one.
bool isActiveChild(const TF_SMDI* w)
{
    QMdiSubWindow* frame = w->mdiFrame();
    if (!frame)
        return true;
    QMdiArea* area = frame->mdiArea();
    return !area || area->activeSubWindow() == frame;
}

// Clears the selection of a path's points in the model and in the tree.
void unselectPoints(TF_SMDI* f, TPath* path)
{
    if (!path)
        return;
    for (const auto& index : path->ObjectList) {
        index->selected = false;
        for (const auto& m : index->ObjectList)
            m->selected = false;
    }
    if (F_Measurements)
        F_Measurements->UnselectMeasurements(f, path);
}

void unselectAnchorPoints(TF_SMDI* f)
{
    if (f->AnchorLine)
        for (const auto& ap : f->AnchorLine->AnchorPoints)
            ap->selected = false;
    if (F_Measurements)
        F_Measurements->UnselectAnchorPoints(f);
}

void unselectImages(TF_SMDI* f)
{
    for (const auto& so : f->StitchList)
        so->Selected = false;
    if (F_Measurements)
        F_Measurements->UnselectStitchObjects(f);
}

// Rebuilds the trees and scrolls to the object that a click has just made.
void showNewObject(TF_SMDI* f, TJEXObject* object)
{
    if (!F_Measurements)
        return;
    F_Measurements->FillMeasurements(f, false);
    F_Measurements->MakeVisible(f, object);
}

TPath* pathOf(TJEXObject* object)
{
    if (auto* index = dynamic_cast<TIndex*>(object))
        return index->Path;
    if (auto* m = dynamic_cast<TMeasurement*>(object))
        return m->Path;
    return nullptr;
}

// The object being placed, when it is still in the window's draw list (the tree may have
// deleted it meanwhile).
TDrawObject* liveDrawObject(TF_SMDI* f)
{
    for (const auto& d : f->DrawList)
        if (d.get() == f->DrawObject)
            return d.get();
    return nullptr;
}

void setFirstPoint(TDrawObject* d, QPoint p)
{
    if (auto* arrow = dynamic_cast<TArrow*>(d))
        arrow->x1 = p;
    else if (auto* rect = dynamic_cast<TRectangle*>(d))
        rect->x1 = p;
}

void setSecondPoint(TDrawObject* d, QPoint p)
{
    if (auto* arrow = dynamic_cast<TArrow*>(d))
        arrow->x2 = p;
    else if (auto* rect = dynamic_cast<TRectangle*>(d))
        rect->x2 = p;
}

} // namespace

void TF_SMDI::ApplyScreenMode(int Value)
{
    if (Value == fScreenMode)
        return;
    fScreenMode = Value;
    setScreenCursor();
}

QPoint TF_SMDI::popupPosition(int X, int Y) const
{
    // The offsets stand for the frame borders, menu and tool bar above the window.
    int mainLeft = 0, mainTop = 0, dockWidth = 0;
    const QWidget* window = this;
    if (QMdiSubWindow* frame = mdiFrame()) {
        window = frame;
        if (F_Main) {
            mainLeft = F_Main->x();
            mainTop = F_Main->y();
            if (F_Main->P_Dock)
                dockWidth = F_Main->P_Dock->width();
        }
    }
    return {X + mainLeft + dockWidth + window->x() + 20, Y + mainTop + window->y() + 90};
}

void TF_SMDI::PBMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    QPointer<TF_SMDI> self(this); // a message box runs events: the window may close meanwhile
    const Qt::KeyboardModifiers keys = keysOf(Shift);
    const bool left = Button == Qt::LeftButton;
    const bool plain = plainLeft(Button, Shift);

    if (F_Measurements && F_Measurements->MDIForm() != this)
        F_Measurements->FillMeasurements(this, false);

    GestureMD = QPoint(X, Y);
    TDelta_X = 0;
    TDelta_Y = 0;
    MouseDown = ToReal(X, Y);

    if (fScreenMode > 1) {
        m_doc.setChanged(true);
        SetCaption();
    }

    if (fScreenMode == mmSelect && plain && !IsCtrlDown())
        ImagePanning = true;

    RepaintRequests repaint;
    if (Button == Qt::RightButton && keys == Qt::NoModifier) {
        QMenu* menu = fScreenMode == mmAlignImages ? PAB_Selected : PAB_MDI;
        menu->popup(popupPosition(X, Y));
    } else if (!StitchList.empty()) {
        // The steps run in this order on the mode as each leaves it: a press that ends a region
        // also selects a point near it, a press in 500 makes one index point and no measurement.
        if (fScreenMode == mmAlignImages) {
            ImageMoving = false;
            dragDisplacement = QPoint();
            if (plain || (left && keys.testFlag(Qt::ShiftModifier))) {
                if (TStitchObject* so = GetStitchObjectAt(MouseDown)) {
                    if (plain)
                        unselectImages(this);
                    so->Selected = !so->Selected;
                    if (F_Measurements) {
                        F_Measurements->SOMakeVisible(this, so);
                        F_Measurements->FillProject(this);
                    }
                }
            }
        }

        if (fScreenMode == mmRegionDrag && plain)
            ApplyScreenMode(mmSelect);

        if (fScreenMode == mmSelectRegion && plain) {
            ClipbrdPT1 = ClipbrdPT2 = ToReal(X, Y);
            CopyRect = true;
            ApplyScreenMode(mmRegionDrag);
        }

        if (fScreenMode == mmDPIPoint2 && plain) {
            ApplyScreenMode(mmDPIDone);
            if (F_AdjustDPI)
                F_AdjustDPI->UpdateScreen();
            setScreenCursor();
            repaint.items = true;
        }

        if (fScreenMode == mmDPIPoint1 && plain) {
            ApplyScreenMode(mmDPIPoint2);
            if (F_AdjustDPI)
                F_AdjustDPI->UpdateScreen();
        }

        if (fScreenMode == mmSelect && !keys.testFlag(Qt::AltModifier)) {
            if (TJEXObject* hit = TF_Measurements::FindNearest(nullptr, CurrentPath, MouseDown.x(), MouseDown.y())) {
                const bool wasSelected = hit->selected;
                if (!keys.testFlag(Qt::ShiftModifier))
                    unselectPoints(this, CurrentPath);
                hit->selected = !wasSelected;
                if (F_Measurements)
                    F_Measurements->ToggleSelection(hit->Node, wasSelected);
                repaint.items = true;
            }
        }

        if (fScreenMode == mmAnchorLine && plain) {
            if (F_Measurements) {
                if (TAnchorPoint* ap = F_Measurements->NewAnchorPoint(this, MouseDown.x(), MouseDown.y())) {
                    unselectPoints(this, CurrentPath);
                    unselectAnchorPoints(this);
                    ap->selected = true;
                    showNewObject(this, ap);
                }
            }
            setScreenCursor();
            repaint.items = true;
        }

        bool measuringDone = false;
        if (fScreenMode == mmNewMeasurement && plain) {
            measuringDone = true; // the missing-index case must not fall through to mode 500
            if (!CurrentIndex) {
                // Only reachable when the index point went away under the mode (deleted in the
                // tree): the user is led to set a new one first.
                ShowMessage(QStringLiteral("You must create an Index first!"));
                if (!self)
                    return;
                A_NewIndexExecute();
            } else if (F_Measurements) {
                const QPoint p = SB_AnchorStrict->isChecked() ? Anchor : MouseDown;
                TIndex* index = CurrentIndex;
                TPath* path = index->Path;
                if (!path)
                    path = CurrentPath;
                if (TMeasurement* m = F_Measurements->NewMeasurement(this, path, index, p.x(), p.y())) {
                    unselectPoints(this, CurrentPath);
                    m->selected = true;
                    RecomputeDistances(path);
                    showNewObject(this, m);
                }
            }
            setScreenCursor();
            repaint.items = true;
        }

        if (fScreenMode == mmNewIndex && plain && !measuringDone) {
            const QPoint p = SB_AnchorStrict->isChecked() ? Anchor : MouseDown;
            if (F_Measurements && CurrentPath) {
                TPath* path = CurrentPath;
                if (TIndex* index = F_Measurements->NewIndex(this, path, p.x(), p.y())) {
                    CurrentIndex = index;
                    unselectPoints(this, path);
                    index->selected = true;
                    RecomputeDistances(path);
                    showNewObject(this, index);
                    ApplyScreenMode(mmNewMeasurement);
                }
            }
            setScreenCursor();
            repaint.items = true;
        }

        if ((fScreenMode == mmArrowEnd || fScreenMode == mmRectangleEnd) && plain) {
            if (TDrawObject* d = liveDrawObject(this))
                setSecondPoint(d, ToReal(X, Y));
            ApplyScreenMode(mmSelect);
        }

        if ((fScreenMode == mmArrowStart || fScreenMode == mmRectangleStart) && plain) {
            if (TDrawObject* d = liveDrawObject(this)) {
                setFirstPoint(d, ToReal(X, Y));
                ApplyScreenMode(fScreenMode + 1);
            } else {
                DrawObject = nullptr; // deleted before it was placed
                ApplyScreenMode(mmSelect);
            }
        }

        setScreenCursor();
    }

    if (Stopwatch)
        Stopwatch->Start();

    // A press asks for overlays only or for everything; the overlays request wins.
    if (repaint.items)
        SmoothDraw(false);
    else if (repaint.all)
        SmoothDraw(true);
}

void TF_SMDI::PBMouseMove(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Shift, int X, int Y)
{
    const Qt::KeyboardModifiers keys = keysOf(Shift);
    const bool left = Buttons.testFlag(Qt::LeftButton);

    // Focus follows the mouse only while no calibration window is visible.
    if (SettingAutoFocus && !(F_AdjustDPI && F_AdjustDPI->isVisible())) {
        QWidget* window = mdiFrame() ? static_cast<QWidget*>(mdiFrame()) : static_cast<QWidget*>(this);
        if (IsOwnWindowForeground()) {
            if (F_Main && mdiFrame())
                F_Main->ActivateMDIChild(this);
            PB->setFocus();
        }
        window->raise();
    }

    if (!isActiveChild(this))
        return;
    if (F_Main)
        F_Main->MouseOverImage = true;

    const bool wasDrawing = Drawing;
    Drawing = true;
    RepaintRequests repaint;
    bool normaliseAfter = false;

    Mouse = QPoint(X, Y);
    if (F_Zoom && F_Zoom->isVisible())
        F_Zoom->UpdateZoom(this);
    AbsMouse = ToReal(X, Y);
    SB_MDIPanels[3]->setText(QString::number(AbsMouse.x()) + QLatin1Char('/') + QString::number(AbsMouse.y()));
    Anchor = AbsMouse;
    GetAnchorPos(Anchor.rx(), Anchor.ry());

    if ((fScreenMode == mmSelect && plainLeft(Buttons, Shift)) || (left && keys.testFlag(Qt::ControlModifier))) {
        // The canvas point grabbed at the press stays under the mouse.
        if (SB_H->isEnabled())
            moveBar(SB_H, qint64(MouseDown.x()) - AbsMouse.x());
        if (SB_V->isEnabled())
            moveBar(SB_V, qint64(MouseDown.y()) - AbsMouse.y());
        repaint.all = true;
    } else {
        if (SettingCADCursor)
            repaint.items = true;
        if (fScreenMode == mmRegionDrag) {
            ClipbrdPT2 = ToReal(X, Y);
            SetInfoBar();
        }

        if (!StitchList.empty()) {
            if (F_Histogram) {
                const TStitchObject& first = *StitchList[0];
                F_Histogram->setMarkValue(first.FD ? GetGrayValue(*first.FD, AbsMouse.x() - first.x, AbsMouse.y() - first.y) : -1);
            }

            if (SettingEnableAutoScroll && !(fScreenMode == mmAlignImages && keys.testFlag(Qt::AltModifier))) {
                const qint64 step = Round64(GetZoomDiv(fZoom) * SettingAutoScrollSpeed);
                bool scrolled = false;
                if (X < 20 && SB_H->isEnabled() && SB_H->value() - step > SB_H->minimum()) {
                    moveBar(SB_H, -step);
                    scrolled = true;
                }
                if (X > PB->width() - 20 && SB_H->isEnabled() && SB_H->value() + step < SB_H->maximum()) {
                    moveBar(SB_H, step);
                    scrolled = true;
                }
                if (Y > PB->height() - 20 && SB_V->isEnabled() && SB_V->value() + step < SB_V->maximum()) {
                    moveBar(SB_V, step);
                    scrolled = true;
                }
                if (Y < 20 && SB_V->isEnabled() && SB_V->value() - step > SB_V->minimum()) {
                    moveBar(SB_V, -step);
                    scrolled = true;
                }
                if (scrolled) {
                    repaint.all = true;
                    // A mouse resting at the edge sends no further moves; one is queued so the
                    // view keeps scrolling until the mouse leaves the edge or the bar ends.
                    if (!m_edgeMovePending) {
                        m_edgeMovePending = true;
                        QTimer::singleShot(0, this, [this] {
                            m_edgeMovePending = false;
                            const QPoint global = QCursor::pos();
                            const QPoint local = PB->mapFromGlobal(global);
                            if (!PB->isVisible() || !PB->rect().contains(local))
                                return;
                            QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(global), Qt::NoButton,
                                             QGuiApplication::mouseButtons(), QGuiApplication::queryKeyboardModifiers());
                            QCoreApplication::sendEvent(PB, &move);
                        });
                    }
                }
            }

            if (fScreenMode != mmSelect)
                m_doc.setChanged(true);

            switch (fScreenMode) {
            case mmSelect:
                if (left && keys.testFlag(Qt::AltModifier)) {
                    TJEXObject* point = F_Measurements ? F_Measurements->GetSelectedMeasurement() : nullptr;
                    if (!point)
                        break;
                    const QPoint p = ToReal(X, Y);
                    const QPoint offset = p - point->Pos;
                    point->Pos = p;
                    if (keys.testFlag(Qt::ShiftModifier))
                        if (auto* index = dynamic_cast<TIndex*>(point))
                            for (const auto& m : index->ObjectList)
                                m->Pos += offset;
                    RecomputeDistances(pathOf(point));
                    repaint.items = true;
                    if (F_Measurements->VST)
                        F_Measurements->VST->viewport()->update();
                    m_doc.setChanged(true);
                }
                break;
            case mmDPIPoint1:
                DPI1 = AbsMouse;
                if (F_AdjustDPI)
                    F_AdjustDPI->UpdateScreen();
                repaint.items = true;
                break;
            case mmDPIPoint2:
                DPI2 = AbsMouse;
                if (F_AdjustDPI)
                    F_AdjustDPI->UpdateScreen();
                repaint.items = true;
                break;
            case mmNewIndex:
            case mmNewMeasurement:
            case mmAnchorLine:
                repaint.items = true; // rubber bands
                break;
            case mmAlignImages:
                if (plainLeft(Buttons, Shift)) {
                    repaint.all = true;
                } else if (left && keys.testFlag(Qt::AltModifier)) {
                    ImageMoving = true;
                    const QPoint p = ToReal(X, Y);
                    const QList<TStitchObject*> selected = GetSelectedStitchObject();
                    if (selected.isEmpty())
                        break;
                    const QPoint d = p - MouseDown;
                    for (TStitchObject* so : selected) {
                        so->x = clampInt(qint64(so->x) + d.x());
                        so->y = clampInt(qint64(so->y) + d.y());
                    }
                    dragDisplacement += QPoint(d.x(), -d.y());
                    SB_MDIPanels[4]->setText(QString::number(dragDisplacement.x()) + QStringLiteral("  ")
                                             + QString::number(dragDisplacement.y()));
                    MouseDown = p;
                    repaint.all = true;
                    m_doc.setChanged(true);
                    SetCaption();
                    normaliseAfter = true;
                }
                break;
            case mmRegionDrag:
                ClipbrdPT2 = ToReal(X, Y);
                repaint.all = true;
                break;
            case mmArrowEnd:
            case mmRectangleEnd:
                if (TDrawObject* d = liveDrawObject(this)) {
                    setSecondPoint(d, ToReal(X, Y));
                    repaint.items = true;
                }
                break;
            default:
                break;
            }
        }
    }

    Drawing = wasDrawing;
    // A move asks for overlays only or for everything; everything wins.
    if (repaint.all)
        SmoothDraw(true);
    else if (repaint.items)
        SmoothDraw(false);
    // Images dragged left of or above the origin are brought back during the drag.
    if (normaliseAfter)
        UpdateArea();
}

void TF_SMDI::PBMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y)
{
    Q_UNUSED(Button);
    Q_UNUSED(Shift);
    ImagePanning = false;
    qint64 elapsed = 0;
    if (Stopwatch) {
        Stopwatch->Stop();
        elapsed = Stopwatch->StoppedTime();
    }
    GestureMU = QPoint(X, Y);
    GestureInertiaTime = std::max<qint64>(std::llabs(elapsed), 200);
    // Only a quick drag leaves the view moving; speeds are screen pixels x zoom x 50 per ms.
    if (GestureInertiaTime < 1000) {
        TDelta_X = Round(double(GestureMU.x() - GestureMD.x()) * fZoom * 50 / double(GestureInertiaTime));
        TDelta_Y = Round(double(GestureMU.y() - GestureMD.y()) * fZoom * 50 / double(GestureInertiaTime));
        if (!T_Gesture->isActive())
            T_Gesture->start();
    } else {
        TDelta_X = 0;
        TDelta_Y = 0;
    }
    ImageMoving = false;
}

void TF_SMDI::T_GestureTimer()
{
    const bool alt = IsAltDown();
    ALTChanged = alt != ALTState;
    ALTState = alt;
    // The main window repaints on ALTChanged, so semi-transparent images follow the Alt key.
    setScreenCursor();

    if (!SettingGestureScrolling)
        return;
    const bool moving = TDelta_X != 0 || TDelta_Y != 0;
    UpdateByGesture = true;
    // Each tick slows the speed by 3 toward rest; the view moves against the drag's speed, so the
    // picture follows the hand.
    auto slowDown = [](int& speed, QScrollBar* bar) {
        if (speed == 0)
            return;
        speed = speed > 0 ? std::max(speed - 3, 0) : std::min(speed + 3, 0);
        moveBar(bar, -(speed / 50));
    };
    slowDown(TDelta_X, SB_H);
    slowDown(TDelta_Y, SB_V);
    UpdateByGesture = false;
    if (moving)
        SmoothDraw(true);
}

void TF_SMDI::FormKeyDown(int& Key, Qt::KeyboardModifiers Shift)
{
    switch (Key) {
    case Qt::Key_Escape:
        if (fScreenMode == mmSelectRegion || fScreenMode == mmRegionDrag)
            ApplyScreenMode(mmSelect);
        CopyRect = false;
        SetInfoBar();
        unselectPoints(this, CurrentPath);
        for (const auto& path : PathList)
            path->selected = false;
        SmoothDraw(true);
        break;
    case Qt::Key_Alt:
        SmoothDraw(true);
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (F_Measurements && F_Measurements->VST) {
            QKeyEvent press(QEvent::KeyPress, Key, Shift);
            QCoreApplication::sendEvent(F_Measurements->VST, &press);
            Key = 0;
        }
        break;
    case Qt::Key_Insert:
    case Qt::Key_Delete:
    case Qt::Key_I:
        if (F_Measurements)
            F_Measurements->FormKeyDown(Key, Shift);
        break;
    default:
        break;
    }
}

void TF_SMDI::FormKeyUp(int& Key, Qt::KeyboardModifiers Shift)
{
    Q_UNUSED(Key);
    Q_UNUSED(Shift);
    setScreenCursor();
}

void TF_SMDI::PAB_MDIPopup()
{
    M_Draw->menuAction()->setEnabled(CurrentPath != nullptr);
    if (F_Measurements && F_Measurements->A_Sapwood) {
        TJEXObject* first = F_Measurements->FirstSelectedObject();
        const bool point = dynamic_cast<TIndex*>(first) || dynamic_cast<TMeasurement*>(first);
        F_Measurements->A_Sapwood->setEnabled(point && CurrentPath != nullptr);
    }
    A_Align->setChecked(fScreenMode == mmAlignImages);
    QCursor::setPos(QCursor::pos() - QPoint(2, 2));
}

void TF_SMDI::PAB_SelectedPopup()
{
    bool anySelected = false;
    if (F_Measurements && F_Measurements->VST_SO)
        if (QItemSelectionModel* selection = F_Measurements->VST_SO->selectionModel())
            anySelected = selection->hasSelection();
    // An item is no more enabled than the image-tree command it passes on to.
    for (QAction* item : {M_RemoveImage, M_SaveImage, M_BringToFront, M_SendToBack, M_OneUp, M_OneDown}) {
        const QAction* command = ForwardedCommand(item);
        item->setEnabled(anySelected && command && command->isEnabled());
    }
}

void TF_SMDI::SB_DPIMouseDown(Qt::MouseButton Button)
{
    if (keysOf(QGuiApplication::keyboardModifiers()) != Qt::NoModifier)
        return;

    if (Button == Qt::LeftButton) {
        QPointer<TF_SMDI> self(this);
        if (F_AdjustDPI && F_AdjustDPI->isVisible()) {
            if (MessageDlg(QStringLiteral("This will interrupt the current resolution adaption!\r\nContinue?"),
                           mtConfirmation, mbYesNo)
                    == mrNo
                || !self)
                return;
            m_doc.setChanged(true);
            if (TF_SMDI* running = F_AdjustDPI ? F_AdjustDPI->MDIForm.data() : nullptr) {
                running->ApplyScreenMode(mmSelect);
                running->SmoothDraw(true);
            }
            if (F_AdjustDPI)
                F_AdjustDPI->hide();
        }
        ApplyScreenMode(mmDPIPoint1);
        setScreenCursor();
        if (F_AdjustDPI) {
            F_AdjustDPI->MDIForm = this;
            F_AdjustDPI->show();
            F_AdjustDPI->raise();
        }
        return;
    }

    if (Button != Qt::RightButton)
        return;
    QPointer<TF_SMDI> self(this);
    m_doc.setChanged(true);
    QString text = QString::number(DPI);
    // Cancel changes nothing; a change is announced only when one was made.
    if (!InputQuery(QStringLiteral("JEX"), QStringLiteral("Enter DPI value:"), text) || !self)
        return;
    const int n = StrToIntDef(text, -1);
    if (n == -1)
        return;
    if (n <= 0) {
        // Every distance divides by the resolution.
        MessageDlg(QStringLiteral("The DPI value must be greater than 0!"), mtError, {mbOK});
        return;
    }
    DPI = n;
    SmoothDraw(true);
    SetCaption();
    if (F_Measurements && F_Measurements->VST)
        F_Measurements->VST->viewport()->update();
    ShowMessage(QStringLiteral("The DPI resolution was changed to ") + QString::number(n) + QStringLiteral(" dpi."));
}

void TF_SMDI::SB_AnchorStrictClick()
{
    if (AnchorLine && AnchorLine->Count() > 0) {
        SmoothDraw(true);
        return;
    }
    MessageDlg(QStringLiteral("You must set an Anchor line before switching to strict point alignment mode!"),
               mtError, {mbOK});
    SB_AnchorStrict->setChecked(false);
}

void TF_SMDI::A_SelectRegionExecute()
{
    SetScreenCursorNumber(crXDoubleCross);
    ApplyScreenMode(mmSelectRegion);
    ClipbrdPT1 = ClipbrdPT2 = ToReal(0, 0);
    SmoothDraw(true);
}

void TF_SMDI::A_ArrowExecute()
{
    TPath* path = CurrentPath;
    if (!path)
        return;
    auto arrow = std::make_unique<TArrow>();
    arrow->Color = 0x00FFFF;
    arrow->Width = 3;
    arrow->BaseType = 0;
    arrow->TipType = 3;
    arrow->BaseWidth = 10;
    arrow->TipWidth = 10;
    arrow->MDIForm = this;
    arrow->Path = path;
    arrow->Name = QStringLiteral("Arrow");
    TArrow* raw = arrow.get();
    DrawList.push_back(std::move(arrow));
    DrawObject = raw;
    ApplyScreenMode(mmArrowStart);
    setScreenCursor();
    path->expanded = true;
    if (F_Measurements) {
        F_Measurements->FillMeasurements(this, false);
        F_Measurements->ShowMeasurementsPage();
        F_Measurements->SelectOnly(raw);
    }
    EditDrawObjectForm()->Edit(raw);
}

void TF_SMDI::A_RectangleExecute()
{
    TPath* path = CurrentPath;
    if (!path)
        return;
    auto rect = std::make_unique<TRectangle>();
    rect->MDIForm = this;
    rect->Path = path;
    rect->Name = QStringLiteral("Rectangle");
    rect->Transparent = true;
    rect->PColor = 0x00FFFF;
    rect->PWidth = 3;
    rect->BColor = 0;
    TRectangle* raw = rect.get();
    DrawList.push_back(std::move(rect));
    DrawObject = raw;
    ApplyScreenMode(mmRectangleStart);
    setScreenCursor();
    path->expanded = true;
    if (F_Measurements) {
        F_Measurements->FillMeasurements(this, false);
        F_Measurements->SelectOnly(raw);
    }
    EditDrawObjectForm()->Edit(raw);
}

void TF_SMDI::SetInfoBar()
{
    if (!CopyRect) {
        SB_MDIPanels[4]->clear();
        return;
    }
    const QPoint a = ClipbrdPT1, b = ClipbrdPT2;
    SB_MDIPanels[4]->setText(QString::number(a.x()) + QLatin1Char('/') + QString::number(a.y()) + QStringLiteral(" -> ")
                             + QString::number(b.x()) + QLatin1Char('/') + QString::number(b.y()) + QStringLiteral(" = ")
                             + QString::number(std::llabs(qint64(b.x()) - a.x())) + QLatin1Char('/')
                             + QString::number(std::llabs(qint64(b.y()) - a.y())));
}

// Snaps along the longer axis of the first active segment that reaches the point: on a flat
// segment the point moves up or down onto it, on a steep one left or right. The step count
// runs on over the segments walked before.
int TF_SMDI::GetAnchorPos(int& AnchorCX, int& AnchorCY) { return m_doc.anchorPos(AnchorCX, AnchorCY); }
