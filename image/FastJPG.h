// JPEG reading and writing between a TFastDIB and memory, files and streams, over libjpeg-turbo.
// Hides the codec: its error handling (every failure comes back as a status, never as exit() or a
// jump through our frames), its memory limits, and the flip between the JPEG's top-down rows and
// the image's bottom-up ones.
#pragma once

#include "platform/PictureLimit.h"

#include <QString>
#include <QtGlobal>

#include <functional>

class QIODevice;
class TFastDIB;
struct TProcessorInfo;

// Decoding size; the value is the right shift applied to the JPEG's width and height.
enum TJPGScale : quint8 {
    jsNone = 0,  // full size
    jsHalf = 1,
    jsQuarter = 2,
    jsEighth = 3,
    jsThumbnail = 4, // the thumbnail of the EXIF block
};

// Colour codes of the image side.
enum : qint32 {
    jcBGR = 2,  // 24 bits, blue-green-red
    jcGray = 4, // 8 bits, the byte is the gray level
};

// What the codec reads and fills for one call.
struct TJPGProps {
    quint8* DIBBytes = nullptr; // the image's pixel area (Bits)
    quint32 DIBWidth = 0;
    qint32 DIBHeight = 0;       // minus the image's Height: negative for a bottom-up image
    quint32 DIBPadBytes = 0;    // the image's Gap
    quint32 DIBChannels = 0;    // 1 for an 8-bit image, 3 for a 24-bit image
    qint32 DIBColor = 0;        // jcGray or jcBGR
    QString FileName;           // for LoadFile and SaveFile
    const quint8* JPGBytes = nullptr; // JPEG data being read
    qint64 JPGSizeBytes = 0;    // size of that data; after writing, the bytes written
    quint32 JPGWidth = 0;
    quint32 JPGHeight = 0;
    quint32 JPGChannels = 0;    // 1 for a gray JPEG
    quint32 JPGThumbWidth = 0;  // of the EXIF thumbnail, filled by a jsThumbnail read; 0 without one
    quint32 JPGThumbHeight = 0;
    quint32 Quality = 75;       // encoding quality 1..100
    bool Smooth = false;        // interblock smoothing while decoding (progressive JPEGs)
};

// JPEG holds no picture wider or taller than this (libjpeg's JPEG_MAX_DIMENSION).
constexpr int MaxJPGDimension = 65500;

class TFastJPG {
public:
    TFastJPG();
    TFastJPG(const TFastJPG&) = delete;
    TFastJPG& operator=(const TFastJPG&) = delete;

    TJPGProps Props;
    TJPGScale Scale = jsNone;
    // Largest decoded image in bytes, below MaxPictureBytes too; the codec's own buffers are held
    // to the same amount.
    qint64 MaxImageBytes = MaxPictureBytes();
    // When set, the decoders hand it each run of picture rows as soon as they are decoded, top row
    // first, while the rows are still in the processor's cache: a pass over the pixels costs far
    // less there than over the finished picture. `rowBytes` leaves out the padding.
    std::function<void(const quint8* const* rows, int count, qint64 rowBytes)> RowsDecoded;

    // Back to the defaults (Quality 75, no smoothing, nothing attached in the record).
    void FlushProps();
    // The image that the loaders fill and the savers encode (not owned).
    void AttachImage(TFastDIB* image);
    TFastDIB* Bitmap() const { return fBmp; }

    // Reads only the header: JPGWidth, JPGHeight and JPGChannels. 0 done, -1 no readable header.
    int ReadParams(const quint8* Mem, qint64 Size);

    // Decoders: 0 done, the attached image now holds the picture at 8 (gray) or 24 bits at the
    // size the JPEG and Scale give; -1 failed, the image is as it was and lastError() says why.
    int LoadFile(const QString& FileName);
    int LoadMem(const quint8* Mem, qint64 Size);
    int LoadRes(const QString& ResPath); // a Qt resource holding a whole JPEG file
    // Decodes from the stream's position to its end. Done: the stream stands behind the end
    // marker the decoder read (for jsThumbnail: at the first FF D9 of the data, FindJPGEnd);
    // failed: it is back where it was.
    int LoadStream(QIODevice* Stream);

    // Encoders of an 8-bit (gray levels) or 24-bit image.
    int SaveFile(const QString& FileName); // 0 written, -1 failed (an existing file is kept)
    qint64 SaveMem(quint8* Mem, qint64 Size); // bytes written; -1 failed or did not fit in Size
    int SaveStream(QIODevice* Stream); // 0 written at the position, -1 failed (nothing written)
    // Hands the JPEG to `sink` in pieces of `pieceBytes` (the last one shorter) as the encoder
    // fills them, so that a caller passing them on never holds the whole JPEG; the sink returns
    // false to stop. 0 done; -1 failed, after some pieces may have been handed out.
    using PieceSink = std::function<bool(const quint8* data, qint64 size)>;
    int SaveInPieces(const PieceSink& sink, qint64 pieceBytes = qint64(1) << 18);

    QString lastError() const { return m_error; }

private:
    bool attachFields();
    bool decode(const quint8* data, qint64 size, qint64* consumed);
    bool encode(quint8* fixedBuffer, qint64 fixedSize, quint8** grown, qint64* written,
                const PieceSink* sink = nullptr);
    int fail(const QString& message);

    TFastDIB* fBmp = nullptr;
    QString m_error;
};

// Decodes one JPEG from the stream into the image (Smooth: see TJPGProps). 0 done, -1 failed.
int LoadJPGStream(TFastDIB* image, QIODevice* stream, bool Smooth);
// Encodes the image at the stream's position with the quality 1..100. 0 done, -1 failed.
int SaveJPGStream(TFastDIB* image, QIODevice* stream, int quality);

// 1-based position of the first byte 0xFF followed by 0xD9 (end of image), or count + 1.
qint64 FindJPGEnd(const quint8* memory, qint64 count);

// The processor generation hint 0..6 for the codec (6 with SSE2, 5 with SSE, at least 3 with MMX).
// Computed only: this platform has no machine-wide store for it, and libjpeg-turbo picks its
// own code paths.
int IJLCpuHint(const TProcessorInfo& info);
int WriteIJLCpuHint(); // IJLCpuHint of this machine's ProcessorInfo
