// The adjustment dialog's settings applied to an image: contrast, brightness, saturation and
// colour bias in this order, with the result of RGBContrast, RGBLightness, AdjustSaturation and
// RGBAdd run one after the other, but in one pass over the pixels at 24 and 32 bits.
#pragma once

class TFastDIB;

struct ImageAdjustments {
    int Contrast = 0;     // -255..255, the same for red, green and blue
    int Lightness = 0;    // -255..255
    int Saturation = 255; // -255..255; 255 leaves the colours as they are
    int Red = 0, Green = 0, Blue = 0; // colour bias, -255..255 each

    bool isNeutral() const
    {
        return Contrast == 0 && Lightness == 0 && (Saturation == 255 || Saturation == 256) && Red == 0 && Green == 0
            && Blue == 0;
    }
};

// Changes Dib in place. Work on large images is split by rows over up to MaxThreads threads (fewer
// on a machine with fewer cores); every pixel depends on itself only, so the result is the same.
void ApplyAdjustments(TFastDIB& Dib, const ImageAdjustments& a, int MaxThreads = 4);
