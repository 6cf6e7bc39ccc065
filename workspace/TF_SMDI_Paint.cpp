// Image window: painting of the layers, overlays, overview and zoomed copies.
// Not built yet: every routine below is a placeholder.
#include "workspace/TF_SMDI.h"
#include "project/TStitchObject.h"

void TF_SMDI::SmoothDraw(bool) {}
void TF_SMDI::DrawItems(DeviceContext*) {}
void TF_SMDI::PaintTo(QImage&, bool) {}
void TF_SMDI::UpdateBird(bool) {}
void TF_SMDI::DrawBird(int) {}
void TF_SMDI::ResampleStitchObjects(TStitchObject*) {}
void TF_SMDI::PBPaint() {}
void TF_SMDI::T_AntRectTimer() {}
