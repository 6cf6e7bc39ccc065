// Where a dragged tool window would dock is shown as a translucent rectangle in the active caption
// colour, through which the mouse passes, instead of the style's own marker. The frame's dock
// layout places its gap marker (a rubber band among the frame's children) on the would-be dock
// rectangle and moves it with the drag; the hook paints every such marker of the frame.
#pragma once

#include <QColor>

class QMainWindow;
class QPalette;

// Paints the dock markers of this frame from now on; once per frame.
void installDockHook(QMainWindow* frame);

// The rectangle's colour: the active caption colour, half covering (alpha 127 of 255).
QColor DockRectColor(const QPalette& palette);
