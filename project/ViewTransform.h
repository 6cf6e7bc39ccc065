// What drawing a project object needs of the view it lands in: the zoom and the scroll position,
// and the conversions between canvas and screen pixels they make. The image window fills one from
// its state; the objects draw through it without knowing any window.
#pragma once

#include <QPoint>
#include <QtGlobal>

struct ViewTransform {
    // Zoom z: 1..9 magnify (11 - z) : 1, 10 is 1:1, 11..999 reduce 1 : (z - 9).
    int zoom = 10;
    QPoint scroll; // the canvas point at the top-left corner of the screen (the scroll bars' values)

    // Canvas pixels per screen pixel at zoom z.
    static double zoomDiv(int z);
    double zoomDiv() const { return zoomDiv(zoom); }
    // Screen pixels per canvas pixel side at zoom z: above 1 only when magnifying.
    static int pixelSize(int z);
    // A canvas length as screen length at zoom z, rounded, in 64 bits.
    static qint64 screenLength(qint64 canvasLength, int z);

    // The screen point of a canvas point. At magnifying zooms it lands on the centre of its
    // magnified pixel.
    QPoint toScreen(QPoint canvas) const;
    // The canvas point under a screen point. Every screen pixel of a magnified canvas pixel maps to
    // that canvas pixel, so the magnified case truncates instead of rounding.
    QPoint toCanvas(int x, int y) const;
};
