#include "platform/PictureLimit.h"

namespace {

// 2^31 pixels at 3 bytes: what 8 GiB of 32-bit rows, the toolkit reader's bound, holds.
constexpr qint64 DefaultMaxPictureBytes = qint64(3) << 31;
qint64 maxPictureBytes = DefaultMaxPictureBytes;

} // namespace

qint64 MaxPictureBytes()
{
    return maxPictureBytes;
}

void SetMaxPictureBytes(qint64 bytes)
{
    maxPictureBytes = bytes > 0 ? bytes : DefaultMaxPictureBytes;
}

bool PictureFitsLimit(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        return true;
    const qint64 rowBytes = (width * 24 + 31) / 32 * 4;
    return height <= maxPictureBytes / rowBytes; // divided: the product may overflow
}
