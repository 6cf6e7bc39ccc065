// Gray-value filters of the grayscale dialog and the bird's-eye view's darkening. The filters
// work on 24-bit images only (other depths and empty images are left as they are): each reduces a
// pixel to its gray value (r + g + b) div 3 and writes its result into all three channels.
// Neighbours lie one row and one column away (rows in memory order), clamped into the image, so an
// edge pixel counts its own row or column twice.
#pragma once

#include <QtGlobal>

#include <array>
#include <span>

class QImage;
class TFastDIB;

constexpr quint8 ClampByte(qint64 Value)
{
    return Value < 0 ? 0 : Value > 255 ? 255 : quint8(Value);
}

// The median of the values: for an even count the mean of the two middle values, rounded half to
// even (1, 2, 3, 4, 5, 6 gives 4). An empty list gives 0.
int MedianOf(std::span<const int> Values);

// Median of the (2 Radius + 1)^2 gray values around each pixel (the program uses radius 1), from
// the image as it was. A negative radius leaves the image alone.
void MedianFilter(TFastDIB& Dib, int Radius);

// Bits[i] selects bit i of the gray value. With Keep the result is the gray value with every bit
// not selected cleared; without it 255 when any selected bit is set, else 0. Invert complements
// the result.
void BitPlaneFilter(TFastDIB& Dib, const std::array<bool, 8>& Bits, bool Keep, bool Invert);

// Gray = Round(r * Red / 100 + g * Green / 100 + b * Blue / 100) (halves to even), limited to 0..255.
void ChannelMixGray(TFastDIB& Dib, int Red, int Green, int Blue);

// Brightness slicing over the band Lower .. min(Upper, 255): with Include gray values outside the
// band become 0, without it those inside. Without Keep what is still non-zero becomes 255. Invert
// complements the result.
void ThresholdBand(TFastDIB& Dib, int Lower, int Upper, bool Include, bool Keep, bool Invert);

// For black-and-white images; reads the blue byte only. A pixel whose eight neighbours are all 255
// becomes 255; otherwise it becomes 255 when it and at least one neighbour are non-zero, else 0.
// Works from the image as it was.
void DespeckleFilter(TFastDIB& Dib);

// In place in memory order, so the row before and the pixel to the left already hold new values:
// a pixel of gray 0 stays 0, any other becomes 255 when one of its eight neighbours has a non-zero
// gray value, else 0.
void DilateFilter(TFastDIB& Dib);

// t = k[0] up + k[1] down + k[2] right + k[3] left + k[4] up-left + k[5] up-right + k[6] down-left
// + k[7] down-right + k[8] centre over the gray values of the image as it was ("up" is memory row
// y - 1), summed in this order in floating point; the result is Round(t) limited to 0..255.
void Convolve3x3(TFastDIB& Dib, const std::array<double, 9>& k);

// Convolve3x3 with 8 for the centre and -1 for the eight neighbours: 0 in uniform areas.
void EdgeEnhanceFilter(TFastDIB& Dib);

// Every colour channel c becomes c + MulDiv(c, Percent, 100) (halves away from zero), limited to
// 0..255. RGB32, ARGB32, RGB888 and BGR888 pictures keep their format (alpha stays); any other is
// first converted to 24-bit RGB888. A null picture is left alone.
void BrightenBitmap(QImage& Bitmap, int Percent);
