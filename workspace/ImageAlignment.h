// Automatic image alignment without the wizard: reading the panorama tools' project files (.pto)
// and moving a window's images by the mean offset of their control points. Plain code over the
// model, so tests run it without the tools and without widgets.
#pragma once

#include "project/TControlPoint.h"
#include "project/TStitchObject.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// What the alignment reads of a .pto file.
struct PTOContent {
    QStringList images;        // image n's file name; names relative to the file's folder made absolute
    QStringList controlPoints; // the lines beginning with "c n", as they are
};

// Image lines ("i "): the name is what follows the first n" up to the line's end, without the
// closing quote. Control-point lines ("c n") are kept for ParseControlPointLine.
PTOContent ParsePTOLines(const QStringList& lines, const QString& folder);

// Reads a .pto file. False with the reason when it cannot be read or is larger than any project
// of the tools could be.
bool ReadPTOFile(const QString& fileName, PTOContent& content, QString* error = nullptr);

// Fields 1 to 6 of a control-point line ("c n0 N1 x.. y.. X.. Y.."), each without its leading
// letter, read with "." as the decimal point and rounded halves to even.
struct ControlPointNumbers {
    int index1 = 0, index2 = 0; // the images' numbers in the .pto file
    int x1 = 0, y1 = 0;         // pixel in image index1's file
    int x2 = 0, y2 = 0;         // the matching pixel in image index2's file
};
// False when field 0 is not "c", a field is missing or not a number, or an image number is negative.
bool ParseControlPointLine(const QString& line, ControlPointNumbers& numbers);

// One row of the wizard's result: two images and how many control points joined them.
struct TPairing {
    ObjectRef<TStitchObject> Image1;
    ObjectRef<TStitchObject> Image2;
    int ControlPoints = 0;
};

// The control points of the file among the images: each line's images are looked up by name
// (`imageOf`), lines that cannot be read or name an image the window does not hold are left out.
// A point is turned so that its first image is the one handed to the tools first, and Pairing is
// the number of its pair of images, pairs numbered in the order of their image numbers.
std::vector<TControlPoint> MakeControlPoints(const PTOContent& pto,
                                             const std::function<TStitchObject*(const QString&)>& imageOf);

struct AlignmentOutcome {
    std::vector<TPairing> pairings; // one per pair of images with control points, in pair order
    bool warning = false; // an image handed to the tools has no control points towards an earlier one
    bool moved = false;   // any image changed its position
};

// Places each pair's second image where the mean offset of its control points puts it relative
// to the first (pairs in order, so an image follows a partner placed just before), the dropped
// borders taken into account, then shifts all images so the leftmost and topmost start at 0.
// Only the points that agree with the offset most of the pair's points give (within 3 pixels)
// are averaged: the others paired look-alike rings.
// `imageCount` is the number of images handed to the tools.
AlignmentOutcome PlaceImages(const std::vector<std::unique_ptr<TStitchObject>>& images,
                             const std::vector<TControlPoint>& points, int imageCount);
