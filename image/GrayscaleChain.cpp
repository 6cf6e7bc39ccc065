// Grayscale filter chain.
#include "image/GrayscaleChain.h"

#include "image/GrayFilters.h"
#include "image/NeighbourFilters.h"
#include "image/TFastDIB.h"

void BlackWhite(TFastDIB& Dib, int Threshold)
{
    const int bpp = Dib.Info.Header.BitCount;
    if (!Dib.Bits || !Dib.Scanlines || (bpp != 24 && bpp != 32) || Dib.Info.Header.Width <= 0)
        return;
    // One entry per channel sum: white from the first sum whose mean reaches the threshold.
    quint8 table[766];
    for (int s = 0; s < 766; ++s)
        table[s] = s / 3 >= Threshold ? 255 : 0;
    const int bytes = bpp / 8;
    const qint64 width = Dib.Info.Header.Width;
    for (int y = 0; y < Dib.AbsHeight; ++y) {
        quint8* p = Dib.Pixels8[y];
        for (qint64 x = 0; x < width; ++x, p += bytes)
            p[0] = p[1] = p[2] = table[p[0] + p[1] + p[2]];
    }
}

void ApplyGrayscaleChain(TFastDIB& Dib, const GrayscaleSettings& s)
{
    if (s.MedianCut)
        MedianFilter(Dib, 1);
    if (s.Smooth)
        for (int i = 0; i < s.SmoothTimes; ++i)
            SoftenPixels(Dib);
    if (s.BlackWhite)
        BlackWhite(Dib, s.Threshold);
    if (s.GrayScale)
        ChannelMixGray(Dib, s.Red, s.Green, s.Blue);
    if (s.Bitplane)
        BitPlaneFilter(Dib, s.Bits, s.KeepBits, s.InvertBits);
    if (s.Slicing)
        ThresholdBand(Dib, s.Lower, s.Lower + s.Width, s.IncludeSlice, s.KeepSlice, s.InvertSlice);
    if (s.Despeckle)
        DespeckleFilter(Dib);
    if (s.Dilate)
        DilateFilter(Dib);
    if (s.EdgeEnhance)
        EdgeEnhanceFilter(Dib);
}
