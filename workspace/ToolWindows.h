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
