// Colour effects that work in place on an image buffer of any depth.
#pragma once

class TFastDIB;

// Complements every byte of the pixel rows: on paletted images the indices (the palette stays),
// on 32-bit images the fourth byte too. A whole buffer is inverted padding included; a sub-image
// row by row, its parent's pixels outside it untouched. Inverting twice restores the image.
void InvertPixels(TFastDIB& Dib);
