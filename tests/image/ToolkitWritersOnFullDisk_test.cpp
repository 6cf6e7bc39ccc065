// Pictures written through the toolkit's encoders on a disk that fills while they write. A file of its
// own, because the toolkit's PNG encoder leaks its row table when a write fails, so these run without
// the leak check.
#include "image/ToolkitBitmap.h"

#include "support/WritersOnFullDisk.h"

#include <gtest/gtest.h>

namespace {

using namespace testhelpers;

TEST(ToolkitPictureWritersOnFullDisk, FailAndKeepTheOldFile)
{
    SmallDisk disk(qint64(8) << 20);
    SKIP_WITHOUT_SMALL_DISK(disk);
    const PictureWriter png = [](const QString& name, int side) {
        return WritePicture(noiseImage(side, side), name, "png");
    };
    const PictureWriter jpeg = [](const QString& name, int side) {
        return WritePicture(noiseImage(side, side), name, "jpg", 95);
    };
    expectFailsAndKeepsTheOldFile(disk, {
        {"small PNG picture", png, 20, 0}, {"large PNG picture", png, 800, 256 * 1024},
        {"small JPEG picture", jpeg, 20, 0}, {"large JPEG picture", jpeg, 800, 256 * 1024},
    });
}

} // namespace
