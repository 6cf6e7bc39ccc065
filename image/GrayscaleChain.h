// The grayscale dialog's filter chain as plain code: the settings of its controls and the steps
// they switch on, run in their fixed order on a 24-bit image in place.
#pragma once

#include <array>

class TFastDIB;

struct GrayscaleSettings {
    bool MedianCut = false;         // median of radius 1
    bool Smooth = false;            // soften SmoothTimes times
    int SmoothTimes = 1;
    bool BlackWhite = false;        // threshold on the gray value
    int Threshold = 128;
    bool GrayScale = false;         // weighted gray, percent per channel
    int Red = 30, Green = 59, Blue = 11;
    bool Bitplane = false;
    std::array<bool, 8> Bits{false, false, false, false, false, false, false, true};
    bool KeepBits = false;
    bool InvertBits = false;
    bool Slicing = false;           // brightness slicing over Lower .. Lower + Width
    int Lower = 128, Width = 20;
    bool IncludeSlice = true;
    bool KeepSlice = false;
    bool InvertSlice = false;
    bool Despeckle = false;
    bool Dilate = false;
    bool EdgeEnhance = false;
};

// Every pixel whose gray value (r + g + b) div 3 is at least Threshold becomes white, every other
// black. 24 and 32 bits; other depths and empty images are left alone.
void BlackWhite(TFastDIB& Dib, int Threshold);

// Median cut, smoothing, black and white, gray scale, bit planes, brightness slicing, despeckle,
// dilate and edge enhancement, each when switched on, in this order.
void ApplyGrayscaleChain(TFastDIB& Dib, const GrayscaleSettings& s);
