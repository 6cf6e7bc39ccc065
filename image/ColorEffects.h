// Colour effects that work in place on an image buffer of any depth: per-channel lookup tables
// (colour bias, contrast, brightness), saturation and inversion. Paletted images change only
// their palette (inversion only their indices); depths other than 1, 4, 8, 16, 24 and 32 bits and
// images without pixels are left alone.
#pragma once

#include <QtGlobal>

#include <array>

class TFastDIB;

// Entry v of a channel table is the new value of a channel whose value is v.
using TChannelTable = std::array<quint8, 256>;

// Fills entries x1..x2 with a 16.16 ramp from y1: step ((y2 - y1 + 1) * 65536) div (x2 - x1),
// entry x1 + k = (y1 * 65536 + k * step) div 65536, at most 255. The last entry comes out as
// y2 + 1 when the division is exact. Nothing is written when x2 <= x1.
void FillRamp(TChannelTable& Table, quint8 x1, quint8 y1, quint8 x2, quint8 y2);

// Amounts are limited to -255..255 first. Negative contrast compresses the range towards the
// middle (below -128 it inverts); positive contrast stretches it, from 128 on to a threshold.
void ContrastTable(int Amount, TChannelTable& Table);
// Negative scales the values down; positive lifts the black point.
void LightnessTable(int Amount, TChannelTable& Table);
// Entry v = v + Amount, limited to 0..255.
void AddTable(int Amount, TChannelTable& Table);

// Every pixel's red, green and blue through the three tables: the palette at 1 to 8 bits, every
// 16-bit value through one table built from all 65536 values, the first three bytes at 24 and
// 32 bits (the fourth byte stays).
void ApplyChannelTables(TFastDIB& Dib, const TChannelTable& Red, const TChannelTable& Green,
                        const TChannelTable& Blue);

void RGBAdd(TFastDIB& Dib, int Red, int Green, int Blue);
void RGBContrast(TFastDIB& Dib, int Red, int Green, int Blue);
void RGBLightness(TFastDIB& Dib, int Red, int Green, int Blue);

// Mixes each channel with the pixel's mean m = (b + g + r) div 3: with A[k] = floor(a (k + 1) / 256)
// each channel c becomes m - A[m] + A[c], limited to 0..255. 0 gives gray, 255 and 256 leave the
// image as it is, negative amounts push colours beyond gray towards their complement.
void AdjustSaturation(TFastDIB& Dib, int Amount);

// Complements every byte of the pixel rows: on paletted images the indices (the palette stays),
// on 32-bit images the fourth byte too. A whole buffer is inverted padding included; a sub-image
// row by row, its parent's pixels outside it untouched. Inverting twice restores the image.
void InvertPixels(TFastDIB& Dib);
