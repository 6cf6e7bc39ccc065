// Image window: loading, stitching, saving and the clipboard.
// Not built yet: every routine below is a placeholder.
#include "workspace/TF_SMDI.h"
#include "project/TStitchObject.h"

void TF_SMDI::LoadMultiImages(const QStringList&) {}
void TF_SMDI::AcceptFiles(const QStringList&) {}
int TF_SMDI::LoadImage(const QString&, bool) { return -1; }
int TF_SMDI::LoadImageFromHandle(const QImage&) { return 0; }
void TF_SMDI::ReloadImage(TStitchObject*) {}
int TF_SMDI::SaveImage(TStitchObject*, const QString&) { return -1; }
TStitchObject* TF_SMDI::GetStitchObjectByFilename(const QString&) const { return nullptr; }
QList<TStitchObject*> TF_SMDI::GetSelectedStitchObject() const { return {}; }
bool TF_SMDI::ImagesAreSave() const { return true; }
bool TF_SMDI::HasMeasurements() const { return false; }
void TF_SMDI::CopyToClipBoard() {}
void TF_SMDI::PasteFromClipBoard() {}
void TF_SMDI::MergeFromClipBoard() {}
TF_SMDI* LoadImageFiles(TF_SMDI* window, const QStringList&) { return window; }
