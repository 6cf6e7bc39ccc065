// Image window: canvas extent, zoom model and the conversions between screen and canvas pixels.
// Not built yet: every routine below is a placeholder.
#include "workspace/TF_SMDI.h"
#include "project/TStitchObject.h"

double TF_SMDI::GetZoomDiv(int) const { return 1.0; }
int TF_SMDI::GetPixelSize(int) const { return 1; }
int TF_SMDI::Scale(int AValue) const { return AValue; }
int TF_SMDI::ScaleBird(int AValue, int) const { return AValue; }
QPoint TF_SMDI::ToReal(int x, int y) const { return {x, y}; }
QPoint TF_SMDI::ToScreen(QPoint p) const { return p; }
void TF_SMDI::GotoScreenPos(int, int) {}
void TF_SMDI::UpdateArea() {}
void TF_SMDI::FitToScreen() {}
TStitchObject* TF_SMDI::GetStitchObjectAt(QPoint) const { return nullptr; }
void TF_SMDI::ApplyZoom(int) {}
void TF_SMDI::CB_ZoomChange() {}
void TF_SMDI::SB_Size1Click() {}
void TF_SMDI::SB_SizeFitClick() {}
void TF_SMDI::SB_HChange() {}
