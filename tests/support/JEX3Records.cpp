#include "support/JEX3Records.h"

#include <QDataStream>
#include <QIODevice>

namespace testhelpers {

QByteArray jex3Record(const QByteArray& text, quint8 kind, qint32 x, qint32 y, qint32 number, double fx, double fy,
                      char filler)
{
    QByteArray r(296, filler);
    r[0] = char(text.size());
    for (int i = 0; i < text.size(); ++i)
        r[1 + i] = text[i];
    r[256] = char(kind);
    QByteArray tail;
    QDataStream out(&tail, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.setFloatingPointPrecision(QDataStream::DoublePrecision);
    out << fx << fy << x << y << number;
    r.replace(264, tail.size(), tail);
    return r;
}

QByteArray jex3ImageRecord(const QByteArray& name, char filler)
{
    return jex3Record(name, 0, -9, -9, 0, 0.0, 0.0, filler);
}

QByteArray jex3ResolutionRecord(qint32 dpi, char filler)
{
    return jex3Record(QByteArray(), 0, -10, -10, dpi, 0.0, 0.0, filler);
}

QByteArray jex3PointRecord(quint8 kind, qint32 x, qint32 y, qint32 number, const QByteArray& comment, char filler)
{
    return jex3Record(comment, kind, x, y, number, x, y, filler);
}

} // namespace testhelpers
