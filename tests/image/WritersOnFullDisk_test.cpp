// The program's own picture writers on a disk that fills while they write: the failure is reported
// and the old file stays byte for byte, with no temporary left beside it.
#include "image/FastJPG.h"
#include "image/TFastDIB.h"

#include "support/WritersOnFullDisk.h"

#include <gtest/gtest.h>

namespace {

using namespace testhelpers;

TEST(PictureWritersOnFullDisk, FailAndKeepTheOldFile)
{
    SmallDisk disk(qint64(8) << 20);
    SKIP_WITHOUT_SMALL_DISK(disk);
    const PictureWriter bmp = [](const QString& name, int side) {
        TFastDIB dib;
        fillNoise(dib, side, side);
        return dib.SaveToFile(name);
    };
    const PictureWriter jpg = [](const QString& name, int side) {
        TFastDIB dib;
        fillNoise(dib, side, side);
        TFastJPG encoder;
        encoder.AttachImage(&dib);
        encoder.Props.Quality = 95;
        return encoder.SaveFile(name);
    };
    // Small pictures stay in the file buffer until the end; large ones run out part-way.
    expectFailsAndKeepsTheOldFile(disk, {
        {"small BMP", bmp, 20, 0}, {"large BMP", bmp, 800, 256 * 1024},
        {"small JPEG", jpg, 20, 0}, {"large JPEG", jpg, 800, 256 * 1024},
    });
}

} // namespace
