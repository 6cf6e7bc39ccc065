// A one-pixel image in another image's layout: tables built through it convert pixels exactly as
// TFastDIB's GetPixel and SetPixel do for that layout.
#pragma once

#include "image/TFastDIB.h"

#include <cstring>

// Makes the fresh image `probe` one pixel in Dib's format, masks and palette, kept out of the GDI.
inline void MakePixelProbe(TFastDIB& probe, const TFastDIB& Dib)
{
    probe.UseGDI = false;
    TBMInfo info;
    std::memcpy(&info, &Dib.Info, sizeof info);
    info.Header.Width = 1;
    info.Header.Height = 1;
    probe.SetSizeIndirect(info);
}
