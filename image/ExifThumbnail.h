// The thumbnail that cameras and editors keep in a JPEG's EXIF block, read through libexif.
#pragma once

#include <QByteArray>
#include <QtGlobal>

// The thumbnail's own JPEG bytes, or empty when the data has no EXIF block, the block has no
// thumbnail, or what it calls one is not JPEG data.
QByteArray ReadExifThumbnail(const quint8* data, qint64 size);
