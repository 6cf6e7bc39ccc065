// Measurement operations of the project tool window: creating, inserting, deleting, finding and
// numbering paths and points, sapwood, comments, keys and the unit conversion.
// Every change of points ends with the path's ring widths recomputed, so the tree, the statistics
// and the exports never read a width from before the change.
#include "workspace/TF_Measurements.h"

#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "project/TJEXObject.h"
#include "shell/TF_Main.h"
#include "workspace/HelpersWindows.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_EditBrushName.h"
#include "workspace/TF_EditDrawObject.h"
#include "workspace/TF_EditPathProps.h"
#include "workspace/TF_PathInfo.h"
#include "workspace/TF_SMDI.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>

namespace {

// Position of `p` in an owning list, or -1.
template <class T>
int positionOf(const std::vector<std::unique_ptr<T>>& list, const T* p)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == p)
            return int(i);
    return -1;
}

// The measuring modes need a current path (and mode 501 a current index point); after a deletion
// the window falls back to a mode it can serve instead of clicking into nothing.
void keepMeasuringModeValid(TF_SMDI* f)
{
    if (!f)
        return;
    const int mode = f->ScreenMode();
    if (!f->CurrentPath && (mode == mmNewIndex || mode == mmNewMeasurement))
        f->ApplyScreenMode(mmSelect);
    else if (!f->CurrentIndex && mode == mmNewMeasurement)
        f->ApplyScreenMode(mmNewIndex);
}

bool isPointObject(const TJEXObject* o)
{
    return dynamic_cast<const TIndex*>(o) || dynamic_cast<const TMeasurement*>(o);
}

TIndex* lastIndexOf(TPath* path)
{
    return path && !path->ObjectList.empty() ? path->ObjectList.back().get() : nullptr;
}

// A point just inserted into `path`: widths recomputed, the point alone selected in the current
// path, the tree refilled and the window repainted.
void showInsertedPoint(TF_Measurements& tool, TF_SMDI* f, TPath* path, TJEXObject* point)
{
    RecomputeDistances(path);
    tool.UnselectMeasurements(f, f->CurrentPath);
    point->selected = true;
    tool.FillMeasurements(f, true);
    f->SmoothDraw(false);
}

} // namespace

// ---- creating and numbering --------------------------------------------------------------------

QString TF_Measurements::GetUniquePathName(const TF_SMDI* f, const QString& s)
{
    return f ? f->document().uniquePathName(s) : s + QStringLiteral(" 1");
}

TPath* TF_Measurements::NewPath(TF_SMDI* f, const QString& Name)
{
    return f ? f->document().newPath(Name) : nullptr;
}

TIndex* TF_Measurements::NewIndex(TF_SMDI* f, TPath* Path, int x, int y)
{
    TIndex* index = ProjectDocument::newIndex(Path, x, y);
    if (f && index)
        emit f->document().pathChanged(Path);
    return index;
}

TMeasurement* TF_Measurements::NewMeasurement(TF_SMDI* f, TPath* Path, TIndex* Index, int x, int y)
{
    TMeasurement* m = ProjectDocument::newMeasurement(Path, Index, x, y);
    if (f && m)
        emit f->document().pathChanged(m->Path);
    return m;
}

TAnchorPoint* TF_Measurements::NewAnchorPoint(TF_SMDI* f, int x, int y)
{
    return f && f->AnchorLine ? f->document().newAnchorPoint(x, y) : nullptr;
}

int TF_Measurements::CountMeasurements(TF_SMDI* f, TPath* Path)
{
    Q_UNUSED(f);
    return ProjectDocument::countMeasurements(Path);
}

// ---- inserting ---------------------------------------------------------------------------------

void TF_Measurements::InsertIndex()
{
    TF_SMDI* f = MDIForm();
    TJEXObject* o = FirstSelectedObject();
    if (!f || !o)
        return;
    auto* m = dynamic_cast<TMeasurement*>(o);
    auto* i = m ? m->Index.get() : dynamic_cast<TIndex*>(o);
    auto* path = i ? i->Path.get() : dynamic_cast<TPath*>(o);
    if (!path)
        return;
    ShowMeasurementsPage();

    auto created = std::make_unique<TIndex>();
    created->Path = path;
    TIndex* n = created.get();
    if (i) {
        const int at = positionOf(path->ObjectList, i);
        if (at < 0)
            return;
        // The measurement points after the clicked one (all of them on an index point) follow the
        // new index point.
        const int firstMoved = m ? positionOf(i->ObjectList, m) + 1 : 0;
        n->Pos = (m ? m->Pos : i->Pos) + QPoint(20, 20);
        auto from = i->ObjectList.begin() + firstMoved;
        for (auto it = from; it != i->ObjectList.end(); ++it) {
            (*it)->Index = n;
            n->ObjectList.push_back(std::move(*it));
        }
        i->ObjectList.erase(from, i->ObjectList.end());
        path->ObjectList.insert(path->ObjectList.begin() + at + 1, std::move(created));
        if (f->CurrentIndex.get() == i)
            f->CurrentIndex = n;
    } else {
        const TIndex* first = path->ObjectList.empty() ? nullptr : path->ObjectList.front().get();
        n->Pos = first ? QPoint(std::max(0, first->Pos.x() - 10), std::max(0, first->Pos.y() - 10)) : QPoint(0, 0);
        path->ObjectList.insert(path->ObjectList.begin(), std::move(created));
        // Only an index point of the current path may lead the next measurements.
        if (path == f->CurrentPath.get())
            f->CurrentIndex = n;
    }
    showInsertedPoint(*this, f, path, n);
}

void TF_Measurements::InsertMeasurement()
{
    TF_SMDI* f = MDIForm();
    TJEXObject* o = FirstSelectedObject();
    if (!f || !o)
        return;
    auto* m = dynamic_cast<TMeasurement*>(o);
    auto* i = m ? m->Index.get() : dynamic_cast<TIndex*>(o);
    if (!i || !i->Path)
        return;
    TPath* path = i->Path;
    auto created = std::make_unique<TMeasurement>();
    created->Path = path;
    created->Index = i;
    TMeasurement* n = created.get();
    if (m) {
        const int at = positionOf(i->ObjectList, m);
        if (at < 0)
            return;
        n->Pos = m->Pos + QPoint(20, 20);
        i->ObjectList.insert(i->ObjectList.begin() + at + 1, std::move(created));
    } else {
        n->Pos = i->Pos + QPoint(20, 20);
        i->ObjectList.insert(i->ObjectList.begin(), std::move(created));
    }
    showInsertedPoint(*this, f, path, n);
}

// ---- deleting ----------------------------------------------------------------------------------

void TF_Measurements::DeleteMeasurement(TF_SMDI* f, TMeasurement* AMeasurement)
{
    Q_UNUSED(f);
    if (!AMeasurement || !AMeasurement->Index)
        return;
    TIndex* i = AMeasurement->Index;
    TPath* path = AMeasurement->Path;
    const int at = positionOf(i->ObjectList, AMeasurement);
    if (at < 0)
        return;
    i->ObjectList.erase(i->ObjectList.begin() + at);
    RecomputeDistances(path ? path : i->Path.get());
}

void TF_Measurements::DeleteIndex(TF_SMDI* f, TIndex* AnIndex)
{
    if (!AnIndex)
        return;
    TPath* path = AnIndex->Path;
    if (path) {
        const int at = positionOf(path->ObjectList, AnIndex);
        if (at < 0)
            return;
        path->ObjectList.erase(path->ObjectList.begin() + at); // frees its measurement points
        RecomputeDistances(path);
    }
    if (f) {
        f->CurrentIndex = lastIndexOf(f->CurrentPath);
        keepMeasuringModeValid(f);
    }
}

void TF_Measurements::DeletePath(TF_SMDI* f, TJEXObject* APath)
{
    auto* path = dynamic_cast<TPath*>(APath);
    if (!f || !path)
        return;
    const int at = positionOf(f->PathList, path);
    if (at < 0)
        return;
    for (int d = int(f->DrawList.size()) - 1; d >= 0; --d)
        if (f->DrawList[size_t(d)]->Path.get() == path) {
            if (f->DrawObject == f->DrawList[size_t(d)].get())
                f->DrawObject = nullptr;
            f->DrawList.erase(f->DrawList.begin() + d);
        }
    path->ObjectList.clear();
    f->PathList.erase(f->PathList.begin() + at);
    // CurrentPath and CurrentIndex read as none once their objects are gone.
    keepMeasuringModeValid(f);
}

// ---- finding and converting --------------------------------------------------------------------

TJEXObject* TF_Measurements::FindNearest(TF_SMDI* f, TPath* Path, int x, int y)
{
    Q_UNUSED(f);
    return ProjectDocument::findNearest(Path, x, y);
}

double TF_Measurements::GetDistance(double APixelDistance) const
{
    return GetDistance(APixelDistance, MDIForm());
}

double TF_Measurements::GetDistance(double APixelDistance, const TF_SMDI* f)
{
    return PixelsToUnit(APixelDistance, SettingUnits, f ? f->DPI : 0);
}

void TF_Measurements::SelectMeasurement(TF_SMDI* f, TPath* APath, int index)
{
    if (!f || !APath || index < 0)
        return;
    int count = 0;
    for (const auto& i : APath->ObjectList)
        for (const auto& m : i->ObjectList) {
            if (count++ != index)
                continue;
            UnselectMeasurements(f, APath);
            m->selected = true;
            f->GotoScreenPos(m->Pos.x(), m->Pos.y());
            MarkNode(f, GetNodeByObject(m.get()));
            return;
        }
}

// ---- sapwood, comments, keys -------------------------------------------------------------------

void TF_Measurements::SetSapwoodFlag(TJEXObject* obj)
{
    if (dynamic_cast<TIndex*>(obj) || dynamic_cast<TMeasurement*>(obj))
        obj->SapWood = true;
}

void TF_Measurements::ClearSapwoodFlags()
{
    TF_SMDI* f = MDIForm();
    if (!f)
        return;
    for (const auto& path : f->PathList)
        for (const auto& i : path->ObjectList) {
            i->SapWood = false;
            for (const auto& m : i->ObjectList)
                m->SapWood = false;
        }
}

void TF_Measurements::EditInfo(TJEXObject* AnObject)
{
    if (!AnObject)
        return;
    const ObjectRef<TJEXObject> guard(AnObject);
    QString value = AnObject->Comment;
    if (InputQuery(QStringLiteral("JEX4"), QStringLiteral("Comment:"), value) && guard)
        guard->Comment = value;
    measurementModel()->refreshAll();
    repaintWindow(false);
}

void TF_Measurements::EditInfos()
{
    if (!MDIForm() || SelectedCount() < 1)
        return;
    std::vector<ObjectRef<TJEXObject>> targets;
    for (const QModelIndex& idx : VST->selectionModel()->selectedRows())
        if (TJEXObject* o = measurementModel()->GetNodeObject(measurementModel()->nodeFromIndex(idx)))
            targets.emplace_back(o);
    QString value;
    if (targets.size() == 1 && SelectedCount() == 1)
        value = targets.front()->Comment;
    if (!InputQuery(QStringLiteral("JEX4"), QStringLiteral("Enter info:"), value))
        return;
    for (const auto& o : targets)
        if (o)
            o->Comment = value;
    measurementModel()->refreshAll();
}

void TF_Measurements::FormKeyDown(int& Key, Qt::KeyboardModifiers Shift)
{
    switch (Key) {
    case Qt::Key_Insert:
        Key = 0;
        if (Shift & Qt::ControlModifier)
            InsertIndex();
        else
            InsertMeasurement();
        break;
    case Qt::Key_Delete: {
        Key = 0;
        const TJEXObject* o = FirstSelectedObject();
        if (dynamic_cast<const TPath*>(o))
            A_DeletePathExecute();
        else if (dynamic_cast<const TIndex*>(o))
            PM_DeleteIndexClick();
        else if (dynamic_cast<const TMeasurement*>(o))
            PM_DeleteMeasurementsClick();
        break;
    }
    case Qt::Key_I:
        if (isEditing())
            break;
        Key = 0;
        EditInfo(FirstSelectedObject());
        break;
    default:
        break;
    }
}

// ---- commands ----------------------------------------------------------------------------------

void TF_Measurements::A_NewPathExecute()
{
    const QPointer<TF_SMDI> f = MDIForm();
    if (!f)
        return;
    TF_EditBrushName dialog(this);
    dialog.Label1->setText(QStringLiteral("Enter new path name:"));
    dialog.E_BrushName->setText(GetUniquePathName(f, QStringLiteral("Path")));
    if (dialog.exec() != QDialog::Accepted || !f)
        return;
    const QString name = dialog.E_BrushName->text();
    if (PathNameExists(f, name)) {
        MessageDlg(QStringLiteral("A path with this name already exists!\r\nPlease choose another name!"), mtError,
                   TMsgDlgButtons{mbOK});
        return;
    }
    if (name.isEmpty())
        return;
    TPath* path = NewPath(f, name);
    f->CurrentPath = path;
    f->CurrentIndex = nullptr;
    FillMeasurements(f, true);
    MakeVisible(f, path);
    f->ApplyScreenMode(mmSelect);
    if (F_Main)
        F_Main->SetScreenCursor();
}

void TF_Measurements::A_DeletePathExecute()
{
    const QPointer<TF_SMDI> f = MDIForm();
    auto* selected = dynamic_cast<TPath*>(FirstSelectedObject());
    if (!f || !selected)
        return;
    const ObjectRef<TPath> path(selected);
    const int a = positionOf(f->PathList, selected);
    if (MessageDlg(QStringLiteral("Delete Path ") + selected->Name + QStringLiteral(" and all contained objects?"),
                   mtConfirmation, mbYesNo)
            != mrYes
        || !f || !path)
        return;
    DeletePath(f, path);
    if (!f->PathList.empty()) {
        TPath* next = f->PathList[size_t(std::max(a - 1, 0))].get();
        f->CurrentPath = next;
        f->CurrentIndex = lastIndexOf(next);
    } else {
        f->CurrentPath = NewPath(f, GetUniquePathName(f, QStringLiteral("Path")));
        f->CurrentIndex = nullptr;
    }
    keepMeasuringModeValid(f);
    FillMeasurements(f, true);
    f->SmoothDraw(true);
}

void TF_Measurements::A_ActivatePathExecute()
{
    TF_SMDI* f = MDIForm();
    auto* path = dynamic_cast<TPath*>(FirstSelectedObject());
    if (!f || !path)
        return;
    f->CurrentPath = path;
    f->CurrentIndex = lastIndexOf(path);
    keepMeasuringModeValid(f);
    f->SmoothDraw(true);
    VST->selectionModel()->clearSelection();
    selectNode(GetNodeByObject(path), true);
    measurementModel()->refreshAll();
    AM_MeasurementsUpdate();
}

void TF_Measurements::A_PathInfoExecute()
{
    TF_SMDI* f = MDIForm();
    if (!f || !dynamic_cast<TPath*>(FirstSelectedObject()) || !F_PathInfo)
        return;
    F_PathInfo->Path = f->CurrentPath.get();
    F_PathInfo->DPI = f->DPI;
    F_PathInfo->exec();
}

void TF_Measurements::A_PathPropertiesExecute()
{
    const QPointer<TF_SMDI> f = MDIForm();
    auto* selected = dynamic_cast<TPath*>(FirstSelectedObject());
    if (!f || !selected)
        return;
    const ObjectRef<TPath> path(selected);
    TF_EditPathProps dialog(this);
    dialog.LoadFrom(*selected);
    if (dialog.exec() != QDialog::Accepted || !path)
        return;
    dialog.StoreTo(*path);
    measurementModel()->refreshAll();
    if (f)
        f->SmoothDraw(true);
}

void TF_Measurements::PM_PithClick()
{
    auto* path = dynamic_cast<TPath*>(FirstSelectedObject());
    if (!MDIForm() || !path)
        return;
    path->Pith = PM_Pith->isChecked();
    repaintWindow(false);
}

void TF_Measurements::A_SapwoodExecute()
{
    TJEXObject* o = FirstSelectedObject();
    if (!MDIForm() || !isPointObject(o))
        return;
    const bool had = o->SapWood;
    ClearSapwoodFlags();
    if (!had)
        SetSapwoodFlag(o);
    repaintWindow(true);
}

void TF_Measurements::A_InsertIndexExecute()
{
    InsertIndex();
}

void TF_Measurements::PM_InsertMeasurementClick()
{
    InsertMeasurement();
}

void TF_Measurements::PM_DeleteIndexClick()
{
    const QPointer<TF_SMDI> f = MDIForm();
    auto* selected = dynamic_cast<TIndex*>(FirstSelectedObject());
    if (!f || !selected)
        return;
    const ObjectRef<TIndex> index(selected);
    const int answer = MessageDlg(QStringLiteral("Delete ") + selected->Name
                                      + QStringLiteral(" and all contained measurements?"),
                                  mtConfirmation, mbYesNoCancel);
    if (answer == mrCancel || !f)
        return;
    if (answer == mrYes && index)
        DeleteIndex(f, index);
    FillMeasurements(f, true);
    f->SmoothDraw(true);
}

void TF_Measurements::PM_DeleteMeasurementsClick()
{
    const QPointer<TF_SMDI> f = MDIForm();
    if (!f || !dynamic_cast<TMeasurement*>(FirstSelectedObject()))
        return;
    std::vector<ObjectRef<TMeasurement>> targets;
    for (const QModelIndex& idx : VST->selectionModel()->selectedRows())
        if (auto* m = measurementModel()->GetNodeObjectAs<TMeasurement>(measurementModel()->nodeFromIndex(idx)))
            targets.emplace_back(m);
    if (MessageDlg(QStringLiteral("Delete ") + QString::number(SelectedCount()) + QStringLiteral(" measurements?"),
                   mtConfirmation, mbYesNo)
            != mrYes
        || !f)
        return;
    for (const auto& m : targets)
        if (m)
            DeleteMeasurement(f, m);
    FillMeasurements(f, true);
    f->SmoothDraw(false);
}

void TF_Measurements::A_CreateNewPathFromDataExecute()
{
    ShowMessage(QStringLiteral("Not yet implemented"));
}

void TF_Measurements::A_RemoveAllAnchorPointsExecute()
{
    const QPointer<TF_SMDI> f = MDIForm();
    if (!f || !f->AnchorLine)
        return;
    if (MessageDlg(QStringLiteral("Remove all anchor points?"), mtConfirmation, mbYesNo) != mrYes || !f)
        return;
    f->AnchorLine->Clear();
    if (f->SB_AnchorStrict)
        f->SB_AnchorStrict->setChecked(false);
    FillMeasurements(f, true);
    f->SmoothDraw(true);
}

void TF_Measurements::A_DeleteDOExecute()
{
    auto* selected = dynamic_cast<TDrawObject*>(FirstSelectedObject());
    if (!selected)
        return;
    const ObjectRef<TDrawObject> object(selected);
    if (MessageDlg(QStringLiteral("Delete object?"), mtConfirmation, mbYesNo) != mrYes || !object)
        return;
    // The object belongs to the window that holds it, which need not be the bound one.
    TF_SMDI* owner = qobject_cast<TF_SMDI*>(object->MDIForm.data());
    if (!owner)
        owner = MDIForm();
    if (!owner)
        return;
    const int at = positionOf(owner->DrawList, object.get());
    if (at < 0)
        return;
    if (owner->DrawObject == object.get())
        owner->DrawObject = nullptr;
    owner->DrawList.erase(owner->DrawList.begin() + at);
    owner->SmoothDraw(false);
    FillMeasurements(owner, true);
}

void TF_Measurements::A_EditDOExecute()
{
    if (auto* object = dynamic_cast<TDrawObject*>(FirstSelectedObject()))
        EditDrawObjectForm()->Edit(object);
}
