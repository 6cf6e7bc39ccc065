// Arbitrary bytes through the JPEG decoder, at one of the reduced sizes and as a thumbnail read:
// every input must end in a decoded image or a clean failure.
#include "image/FastJPG.h"
#include "image/TFastDIB.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TFastDIB image;
    image.UseGDI = false;
    TFastJPG jpg;
    jpg.AttachImage(&image);
    // The size picks the scale so that the seeds stay plain JPEG files.
    jpg.Scale = TJPGScale(size % 4);
    jpg.LoadMem(data, qint64(size));
    jpg.Scale = jsThumbnail;
    jpg.LoadMem(data, qint64(size));
    FindJPGEnd(data, qint64(size));
    return 0;
}
