// Geometry of image buffers: mirroring left to right and turning upside down in place, quarter
// turns, and rotation by a free angle in 16.16 fixed point into a second image.
#pragma once

class TFastDIB;

// Reverses every row in place (pixel i with pixel Width - 1 - i), at 1, 4, 8, 16, 24 and 32 bits.
void MirrorRows(TFastDIB& Dib);
// Exchanges row i with row AbsHeight - 1 - i in place, at every depth; padding stays.
void FlipRows(TFastDIB& Dib);

// Size Dst as Src with width and height exchanged (same depth, palette and masks) and turn Src into
// it by a quarter turn, clockwise or counter-clockwise as the picture is shown. Every pixel is
// moved exactly, whatever the sides; 8, 16, 24 and 32 bits. Src and Dst must be different images.
void Rotate90CW(const TFastDIB& Src, TFastDIB& Dst);
void Rotate90CCW(const TFastDIB& Src, TFastDIB& Dst);

// Sizes Dst (same depth, palette and masks as Src) to hold Src turned by Angle degrees:
// Round(|cos a W| + |sin a H| + 0.4) by Round(|sin a W| + |cos a H| + 0.4). Does not rotate.
void RotatedSize(const TFastDIB& Src, TFastDIB& Dst, double Angle);

// Turns Src into the already sized Dst about Dst's centre; a positive angle turns the picture
// clockwise on screen. Pixels of Dst that no source pixel reaches keep their value.
void RotateAngle(const TFastDIB& Src, TFastDIB& Dst, bool Smooth, double Angle);

// The rotation itself: every pixel of Dst is mapped back into Src with the centre (cx, cy) in Dst's
// pixels and sine and cosine in 16.16 fixed point (65536 = 1.0); positions are 64-bit, so images
// wider or taller than 32767 pixels turn whole. Without Smooth the nearest source pixel is copied; with Smooth the four around it are
// blended bilinearly, samples beyond Src's border standing in as Dst's current pixel. Only equal
// depths of 8, 16, 24 and 32 bits.
void RotateFixed(const TFastDIB& Src, TFastDIB& Dst, int cx, int cy, int sine, int cosine, bool Smooth);

// The same for Dst's memory rows FirstRow up to EndRow (excluded) only, so that long turns can be
// done in parts; the parts together give the whole turn.
void RotateAngleRows(const TFastDIB& Src, TFastDIB& Dst, bool Smooth, double Angle, int FirstRow, int EndRow);
void RotateFixedRows(const TFastDIB& Src, TFastDIB& Dst, int cx, int cy, int sine, int cosine, bool Smooth,
                     int FirstRow, int EndRow);
