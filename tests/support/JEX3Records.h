// Records of the older project file .jex laid out by hand from the format's table (296 bytes,
// little-endian), without the program's encoder, so tests can build files record by record and
// check the writer against them.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace testhelpers {

// The text's length byte and bytes, the kind, the two doubles, X, Y and the number; every other
// byte is `filler`, which a reader must not take for data.
QByteArray jex3Record(const QByteArray& text, quint8 kind, qint32 x, qint32 y, qint32 number, double fx = 0.0,
                      double fy = 0.0, char filler = 0);
// X = Y = -9, the image's file name.
QByteArray jex3ImageRecord(const QByteArray& name, char filler = 0);
// X = Y = -10, the resolution in the number.
QByteArray jex3ResolutionRecord(qint32 dpi, char filler = 0);
// A point (kind 0 index, other measurement) with its position also in the doubles.
QByteArray jex3PointRecord(quint8 kind, qint32 x, qint32 y, qint32 number, const QByteArray& comment = {},
                           char filler = 0);

} // namespace testhelpers
