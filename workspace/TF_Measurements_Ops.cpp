// Measurement operations of the project tool window: creating, inserting, deleting, finding and
// numbering paths and points, sapwood, comments, keys and the unit conversion.
#include "workspace/TF_Measurements.h"

TPath* TF_Measurements::NewPath(TF_SMDI* f, const QString& Name)
{
    Q_UNUSED(f);
    Q_UNUSED(Name);
    return nullptr;
}

QString TF_Measurements::GetUniquePathName(const TF_SMDI* f, const QString& s)
{
    Q_UNUSED(f);
    Q_UNUSED(s);
    return {};
}

TIndex* TF_Measurements::NewIndex(TF_SMDI* f, TPath* Path, int x, int y)
{
    Q_UNUSED(f);
    Q_UNUSED(Path);
    Q_UNUSED(x);
    Q_UNUSED(y);
    return nullptr;
}

TMeasurement* TF_Measurements::NewMeasurement(TF_SMDI* f, TPath* Path, TIndex* Index, int x, int y)
{
    Q_UNUSED(f);
    Q_UNUSED(Path);
    Q_UNUSED(Index);
    Q_UNUSED(x);
    Q_UNUSED(y);
    return nullptr;
}

TAnchorPoint* TF_Measurements::NewAnchorPoint(TF_SMDI* f, int x, int y)
{
    Q_UNUSED(f);
    Q_UNUSED(x);
    Q_UNUSED(y);
    return nullptr;
}

int TF_Measurements::CountMeasurements(TF_SMDI* f, TPath* Path)
{
    Q_UNUSED(f);
    Q_UNUSED(Path);
    return 0;
}

void TF_Measurements::InsertIndex()
{
}

void TF_Measurements::InsertMeasurement()
{
}

void TF_Measurements::DeleteMeasurement(TF_SMDI* f, TMeasurement* AMeasurement)
{
    Q_UNUSED(f);
    Q_UNUSED(AMeasurement);
}

void TF_Measurements::DeleteIndex(TF_SMDI* f, TIndex* AnIndex)
{
    Q_UNUSED(f);
    Q_UNUSED(AnIndex);
}

void TF_Measurements::DeletePath(TF_SMDI* f, TJEXObject* APath)
{
    Q_UNUSED(f);
    Q_UNUSED(APath);
}

TJEXObject* TF_Measurements::FindNearest(TF_SMDI* f, TPath* Path, int x, int y)
{
    Q_UNUSED(f);
    Q_UNUSED(Path);
    Q_UNUSED(x);
    Q_UNUSED(y);
    return nullptr;
}

double TF_Measurements::GetDistance(double APixelDistance) const
{
    Q_UNUSED(APixelDistance);
    return 0.0;
}

double TF_Measurements::GetDistance(double APixelDistance, const TF_SMDI* f)
{
    Q_UNUSED(APixelDistance);
    Q_UNUSED(f);
    return 0.0;
}

void TF_Measurements::SelectMeasurement(TF_SMDI* f, TPath* APath, int index)
{
    Q_UNUSED(f);
    Q_UNUSED(APath);
    Q_UNUSED(index);
}

void TF_Measurements::EditInfo(TJEXObject* AnObject)
{
    Q_UNUSED(AnObject);
}

void TF_Measurements::EditInfos()
{
}

void TF_Measurements::FormKeyDown(int& Key, Qt::KeyboardModifiers Shift)
{
    Q_UNUSED(Key);
    Q_UNUSED(Shift);
}

void TF_Measurements::SetSapwoodFlag(TJEXObject* obj)
{
    Q_UNUSED(obj);
}

void TF_Measurements::ClearSapwoodFlags()
{
}

void TF_Measurements::A_NewPathExecute()
{
}

void TF_Measurements::A_DeletePathExecute()
{
}

void TF_Measurements::A_ActivatePathExecute()
{
}

void TF_Measurements::A_PathInfoExecute()
{
}

void TF_Measurements::A_PathPropertiesExecute()
{
}

void TF_Measurements::PM_PithClick()
{
}

void TF_Measurements::A_SapwoodExecute()
{
}

void TF_Measurements::A_InsertIndexExecute()
{
}

void TF_Measurements::PM_InsertMeasurementClick()
{
}

void TF_Measurements::PM_DeleteIndexClick()
{
}

void TF_Measurements::PM_DeleteMeasurementsClick()
{
}

void TF_Measurements::A_CreateNewPathFromDataExecute()
{
}

void TF_Measurements::A_RemoveAllAnchorPointsExecute()
{
}

void TF_Measurements::A_DeleteDOExecute()
{
}

void TF_Measurements::A_EditDOExecute()
{
}

