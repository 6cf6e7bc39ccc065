// The largest picture the program holds. It lives below the picture code because the scanner layer
// bounds its input by it too.
#pragma once

#include <QtGlobal>

// The largest picture the program holds, counted as its 24-bit pixel bytes. Picture files and
// embedded pictures are refused alike above it, so a picture read from a file can be embedded and
// read back.
qint64 MaxPictureBytes();
// Tests set a small limit; 0 or less restores the default.
void SetMaxPictureBytes(qint64 bytes);
// True when a picture of this size, at 24 bits, stays within MaxPictureBytes.
bool PictureFitsLimit(qint64 width, qint64 height);
