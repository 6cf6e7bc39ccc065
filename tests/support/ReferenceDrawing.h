// Pictures the drawing tests work out pixel by pixel, apart from the code under test: GDI's
// 1-pixel lines and frames, and comparisons that name the first differing pixel.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

namespace testhelpers {

// A COLORREF (0x00BBGGRR) as a Qt colour.
QRgb rgbOf(int colorref);

// Sets a pixel; points off the picture are left out, as a clipped pen leaves them.
void setPx(QImage& img, int x, int y, QRgb c);

// GDI's 1-pixel line: a pixel per step along the longer axis, the other coordinate rounded half
// up, the end pixel left out.
void gdiLine(QImage& img, QPoint a, QPoint b, QRgb c);

// Outline of the rectangle [l, r) x [t, b) as a 1-pixel pen draws it.
void gdiFrame(QImage& img, int l, int t, int r, int b, QRgb c);

// Same size and same colours (alpha ignored); a failure names the first differing pixel.
void expectSameImage(const QImage& actual, const QImage& expected);

// Bounding box of the pixels that differ between two pictures; empty when none do.
QRect changedBox(const QImage& a, const QImage& b);

} // namespace testhelpers
