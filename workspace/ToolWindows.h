// What the tool windows share: the dock widget a form sits in once it can dock, and the sizing
// and showing of a form whether it stands alone, floats in that carrier or is docked.
#pragma once

class QDockWidget;
class QWidget;

// The dock widget that carries the form; none for a form that stands alone.
QDockWidget* CarrierOf(const QWidget* form);

// Gives the form this height (not below its minimum): alone it is resized, floating its carrier
// is, docked the frame's dock layout is asked for it.
void SetClientHeight(QWidget* form, int height);

// Shows or hides the form together with its carrier.
void ShowToolWindow(QWidget* form, bool visible);

// The least height of the form's contents while it is docked at a side of the frame, where it
// shares one column with the other docked windows; floating it keeps its own minimum. 0: its own
// minimum holds docked too.
void SetDockedMinimumHeight(QWidget* form, int height);
int DockedMinimumHeight(const QWidget* form);
