// Canvas state for drawing project objects onto a device context the way the toolkit's canvas
// does it: pen, brush and font are set as values and become GDI objects; brushes and fonts are
// freed when replaced, pens are kept for reuse. Shared by the objects' own drawing and the image
// window's painting.
#pragma once

#include "platform/DeviceContext.h"

#include <QString>

// Brush styles as the toolkit numbers them (the area brush setting uses these numbers).
enum : int {
    bsSolid = 0,
    bsClear = 1,
    bsHorizontal = 2,
    bsVertical = 3,
    bsFDiagonal = 4,
    bsBDiagonal = 5,
    bsCross = 6,
    bsDiagCross = 7,
};

// Selects a solid pen (or `style`) of the colour and width; width 0 draws one pixel wide. Pens are
// made once per style, width and colour and kept (a few dozen at most) for the next call.
void CanvasPen(HDC dc, COLORREF color, int width, int style = PS_SOLID);
// Selects a brush of the colour and toolkit style. As the toolkit's canvas does, a solid brush
// makes text and hatch gaps opaque in its colour, any other style makes them transparent.
void CanvasBrush(HDC dc, COLORREF color, int style);
// Selects an upright font of `size` points (at 96 dpi; 0 is the face's default size) and sets the
// text colour. An empty face keeps the face selected now.
void CanvasFont(HDC dc, const QString& face, int size, COLORREF color);
// Selects the stock objects back and frees what the calls above made for this context, but for
// the kept pens.
void ReleaseCanvasTools(HDC dc);

// Font size of point and ring-width labels: SettingFSize when SettingFixedFontSize is on, else
// twice it at 1:1, scaled with the zoom (`zoomDiv` canvas pixels per screen pixel).
int LabelFontSize(double zoomDiv);

// Text of a ring-width label: the value rounded to 4 significant digits with exactly `digits`
// decimals, in scientific notation once its integer part needs more than 4 digits.
QString RingWidthText(double value, int digits);

// Writes `text` with the selected font turned by `angle` degrees about (x, y), which is the
// bottom-left corner of the text cell when `bottomLeft`, else its top-left corner.
void TextOutRotated(HDC dc, int angle, int x, int y, const QString& text, bool bottomLeft);
