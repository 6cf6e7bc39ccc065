// Hand-over between TFastDIB and the toolkit's bitmaps (QImage), and writing such a picture to
// a file. TFastDIB keeps rows bottom-up; QImage is top-down, so every hand-over flips the rows.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class TFastDIB;

// Copies the bitmap into Dib at the bitmap's size and depth (TFastDIB::LoadFromHandle).
// True when the image was taken.
bool BitmapToDIB(const QImage& Bitmap, TFastDIB& Dib);

// A copy of Dib's picture, top row first whatever the row order in memory: 1 bit Mono, 4 and 8
// bits Indexed8 with the palette, 5-5-5 and 5-6-5 RGB555 and RGB16, 24 and 32 bits RGB32 (other
// channel masks as pixel access shows them). Dib is left as it is. Null when Dib has no pixels,
// a depth not listed here, or the copy cannot be allocated.
QImage dibPicture(const TFastDIB& Dib);

// Hands the pixels of Dib to Bitmap and leaves Dib empty (no pixels, no device context, no row
// table; its header keeps the old size). 1 bit becomes Mono, 4 and 8 bits Indexed8 with the
// palette, 5-5-5 and 5-6-5 RGB555 and RGB16, 24 and 32 bits RGB32. Nothing happens when Dib
// has no pixels or the bitmap cannot be allocated.
void DIBToBitmap(TFastDIB& Dib, QImage& Bitmap);

// The same for a graphic that is about to be written (PNG, JPEG): Graphic takes a copy of the
// picture; Dib is left empty.
void DIBToGraphic(TFastDIB& Dib, QImage& Graphic);

// Writes Picture as a file of the given format ("png", "jpg", "bmp") through QImageWriter; the
// file is replaced only when the whole picture was written. Quality -1 is the writer's default.
// 0 written, -1 failed (the reason in *ErrorText when given).
int WritePicture(const QImage& Picture, const QString& FileName, const QByteArray& Format, int Quality = -1,
                 QString* ErrorText = nullptr);
