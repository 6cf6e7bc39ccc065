// Shared ground of the full-disk tests of the picture writers: noise pictures that no encoder can
// make small, and the check every writer must pass.
#pragma once

#include "support/SmallDisk.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

class TFastDIB;

namespace testhelpers {

// Returns 0 on success and -1 on failure, as the program's writers do.
using PictureWriter = std::function<int(const QString& fileName, int side)>;

struct WriterCase {
    const char* what;
    PictureWriter write;
    int side;          // of the square picture
    qint64 freeBytes;  // left on the disk before the write
};

void fillNoise(TFastDIB& image, int w, int h);
QImage noiseImage(int w, int h);

// Each case fails on the nearly full disk, keeps the old file byte for byte and leaves no temporary,
// then succeeds with room again.
void expectFailsAndKeepsTheOldFile(SmallDisk& disk, const std::vector<WriterCase>& cases);

} // namespace testhelpers
