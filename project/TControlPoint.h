// A pair of matching pixels on two images, made by the image-alignment wizard.
#pragma once

#include "project/TStitchObject.h"

class TControlPoint {
public:
    ObjectRef<TStitchObject> SO1; // reads as null once the image is freed
    ObjectRef<TStitchObject> SO2;
    int Index1 = 0; // the images' numbers in the alignment tool's project
    int Index2 = 0;
    int Pairing = 0; // group number set by the wizard
    int X1 = 0;      // pixel in the first image
    int Y1 = 0;
    int X2 = 0;      // the matching pixel in the second image
    int Y2 = 0;
};
