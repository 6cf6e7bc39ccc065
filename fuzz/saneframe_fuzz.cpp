// A scanner frame as it might come from a driver: the first bytes give the announced format,
// depth, width, bytes per line and lines, the rest are the frame's bytes. The conversion must
// refuse what the bytes cannot hold and otherwise give a picture of the announced size.
#include "platform/Twain.h"

#include <sane/sane.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 10)
        return 0;
    const int format = data[0] % 6;
    const int depth = data[1] % 20;
    uint16_t ppl, bpl, lines;
    std::memcpy(&ppl, data + 2, 2);
    std::memcpy(&bpl, data + 4, 2);
    std::memcpy(&lines, data + 6, 2);
    const int pixels = int(ppl % 2048) - 8; // a few negative widths too
    const unsigned char* frame = data + 10;
    const qsizetype frameSize = qsizetype(size - 10);
    QString error;
    const QImage image = SaneFrameToImage(format, depth, pixels, int(bpl % 8192), int(lines % 512), frame, frameSize, &error);
    if (image.isNull()) {
        if (error.isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    if (image.width() != pixels || image.height() != int(lines % 512))
        std::abort();
    if (qint64(bpl % 8192) * (lines % 512) > frameSize)
        std::abort(); // accepted more lines than the bytes hold
    return 0;
}
