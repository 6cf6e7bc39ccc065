// The Ok / Cancel row at the foot of the small edit dialogs.
#pragma once

class QDialog;
class QHBoxLayout;
class QPushButton;

// Makes the two buttons (Ok the default; they accept and reject `dialog`) and returns their
// right-aligned row for the caller's layout.
QHBoxLayout* makeOkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel);
