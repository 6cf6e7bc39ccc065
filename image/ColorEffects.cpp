// Colour effects on image buffers.
#include "image/ColorEffects.h"

#include "image/TFastDIB.h"

#include <cstring>

namespace {

void invertBytes(quint8* p, qint64 n)
{
    // Whole words first; memcpy keeps the access legal at any alignment and compiles to plain moves.
    for (; n >= 8; n -= 8, p += 8) {
        quint64 w;
        std::memcpy(&w, p, 8);
        w = ~w;
        std::memcpy(p, &w, 8);
    }
    for (; n > 0; --n, ++p)
        *p = quint8(~*p);
}

} // namespace

void InvertPixels(TFastDIB& Dib)
{
    if (!Dib.Bits || !Dib.Scanlines || Dib.AbsHeight <= 0)
        return;
    if (Dib.Info.Header.SizeImage != 0) {
        // SizeImage is capped at 32 bits; the block itself is BWidth x AbsHeight.
        invertBytes(Dib.Bits, qint64(Dib.BWidth) * Dib.AbsHeight);
        return;
    }
    // A sub-image: its rows lie inside a wider parent, so only its own bytes of each row change.
    const qint64 rowBytes = qint64(Dib.BWidth) - Dib.Gap;
    for (int y = 0; y < Dib.AbsHeight; ++y)
        invertBytes(Dib.Pixels8[y], rowBytes);
}
