// Conversions between the depths 1, 4, 8, 16, 24 and 32 bits of TFastDIB (one family in one pair).
// Images arriving at another depth are brought to 24 bits with SetPixelDepth.
#pragma once

#include <QtGlobal>

class TFastDIB;

// Converts the pixels of Src into Dst, which the caller has sized at its own depth. Rows are
// walked in memory order (memory row 0 first), which decides the palette built for 4- and 8-bit
// destinations. Only the area both images cover is converted; images without pixels are left alone.
void ConvertPixels(const TFastDIB& Src, TFastDIB& Dst);

// Converts Dib in place to fBpp bits (1, 4, 8, 16, 24 or 32); the object stays, its buffer is new.
// Nothing happens at the same depth, at another depth value, or when the new buffer cannot be had.
void SetPixelDepth(TFastDIB& Dib, quint8 fBpp);
