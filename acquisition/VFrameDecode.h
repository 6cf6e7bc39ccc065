// Decoders of the video frame formats into a 24-bit bitmap: uncompressed RGB, planar 4:2:0
// (I420, IYUV, YV12, BY8), packed 4:2:2 (YUY2, YUNV, YUYV) and Motion JPEG. Pure code: each reads
// only the bytes it was given and refuses a frame of the wrong size instead of reading past it.
#pragma once

#include <QString>
#include <QtGlobal>

class TFastDIB;

// Integer lookup tables of the YUV to RGB conversion, built once.
struct TYUVTables {
    qint32 ValueY_298[256];
    qint32 ValueU_100[256];
    qint32 ValueU_516[256];
    qint32 ValueV_409[256];
    qint32 ValueV_208[256];
    quint8 ValueClip[2047]; // index -1023 .. +1023, stored from 0
    quint8 clip(qint32 i) const { return ValueClip[i + 1023]; }
};
const TYUVTables& YUVTables();

// The bytes a frame of this format and size must have; -1 for compressed formats (any size)
// and for codes the decoders do not know.
qint64 VideoFrameRequiredSize(quint32 fourCC, qint32 width, qint32 height);
// Whether one of the decoders handles the code.
bool IsKnownVideoFourCC(quint32 fourCC);

// Decodes one frame into `bitmap`, which is 24-bit and of the frame's size (the stream format's
// width and height). Rows come top-down and stay upright. A Motion JPEG picture is drawn at (0, 0)
// whatever its size. 0 done; -1 the frame cannot be decoded (wrong size, unknown code, damaged
// JPEG): `bitmap` may hold part of it and `error` says why.
int UnpackVideoFrame(quint32 fourCC, const quint8* data, qint64 size, TFastDIB& bitmap, QString* error = nullptr);

// The two lines that replace a frame that could not be decoded, drawn at the bitmap's top left:
// "Unknown compression", and "DataSize: n  FourCC: code" below it.
void DrawCompressionMessage(TFastDIB& bitmap, qint64 size, quint32 fourCC);
