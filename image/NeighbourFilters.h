// Sharpening and softening in place on the pixel rows of an image buffer. Both overwrite the rows
// as they go, so pixels computed later see the new values of earlier ones; that order (memory
// row 0 first, left to right) is part of the result.
#pragma once

class TFastDIB;

// Each channel t = (wc * centre + w1 * n1 + w2 * n2 + w3 * n3 + w4 * n4) / (sum of the weights, 0
// counting as 1), truncated towards zero and limited to 0..255. The neighbours lie d rows and
// columns away diagonally (n1 row - d, column - d; n2 row - d, column + d; n3 row + d, column - d;
// n4 row + d, column + d, rows in memory order), clamped into the image. 8 bits filter the index
// as a number; 16 bits widen each channel as GetPixel does; the fourth byte at 32 bits stays.
// Other depths and empty images are left alone.
void Filter5(TFastDIB& Dib, int d, int wc, int w1, int w2, int w3, int w4);

// Filter5 with centre weight -10 and diagonal weights 1: v becomes (10 v - diagonals) / 6.
void SharpenPixels(TFastDIB& Dib, int d);

// Running horizontal average per row: the first pixel (p0 + p1) / 2, each inner pixel the mean of
// its new left and old right neighbour, the last (old own + new left) / 2. 8, 24 and 32 bits
// (the fourth byte stays); other depths and rows of fewer than two pixels are left alone.
void SoftenPixels(TFastDIB& Dib);
