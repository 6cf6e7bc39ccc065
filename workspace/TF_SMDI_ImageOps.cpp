// Image window: pixel operations on the project's images.
// Not built yet: every routine below is a placeholder.
#include "workspace/TF_SMDI.h"
#include "project/TStitchObject.h"

void TF_SMDI::DoSharpen() {}
void TF_SMDI::DoSoften() {}
void TF_SMDI::DoInvert() {}
void TF_SMDI::Resample(int, int) {}
void TF_SMDI::RotateFree(double, bool) {}
void TF_SMDI::Rotate90(bool) {}
void TF_SMDI::Mirror(bool) {}
void TF_SMDI::AddBorder(int, int, int, int, bool, uint32_t) {}
