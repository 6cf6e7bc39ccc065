// Image window: screen modes, mouse and keys, measuring clicks.
// Not built yet: every routine below is a placeholder.
#include "workspace/TF_SMDI.h"
#include "project/TStitchObject.h"

void TF_SMDI::ApplyScreenMode(int Value) { fScreenMode = Value; }
void TF_SMDI::PBMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void TF_SMDI::PBMouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, int, int) {}
void TF_SMDI::PBMouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int, int) {}
void TF_SMDI::T_GestureTimer() {}
void TF_SMDI::FormKeyDown(int&, Qt::KeyboardModifiers) {}
void TF_SMDI::FormKeyUp(int&, Qt::KeyboardModifiers) {}
void TF_SMDI::PAB_MDIPopup() {}
void TF_SMDI::PAB_SelectedPopup() {}
void TF_SMDI::SB_DPIMouseDown(Qt::MouseButton) {}
void TF_SMDI::SB_AnchorStrictClick() {}
void TF_SMDI::A_SelectRegionExecute() {}
void TF_SMDI::A_ArrowExecute() {}
void TF_SMDI::A_RectangleExecute() {}
void TF_SMDI::SetInfoBar() {}
int TF_SMDI::GetAnchorPos(int&, int&) { return -1; }
