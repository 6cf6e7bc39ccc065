// Two-colour gradient fills of rectangles, as the charts draw their colour bars and gray scales.
#pragma once

#include <QRect>
#include <QtGlobal>

class QPainter;

// Fills r from c1 at its left (or top) edge to c2 at its right (or bottom) edge, colours
// $00BBGGRR; vertical: the colour changes from top to bottom, else from left to right. Each
// channel is interpolated linearly and rounded, so the first line is c1 and the last c2. False,
// and nothing drawn, without a painter or for an empty rectangle.
bool GradientFillRect(QPainter* dc, const QRect& r, quint32 c1, quint32 c2, bool vertical);
