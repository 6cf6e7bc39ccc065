// The camera SDK files' version note reader on arbitrary bytes: no crash, no undefined behaviour,
// and the piecewise read finds the same note as a scan of the whole file at once. The first byte
// chooses the piece size, so notes fall across piece boundaries.
#include "TCamRemote/Sources/SDKLoader.h"

#include <QBuffer>
#include <QtEndian>

#include <cstdint>
#include <cstdlib>

namespace {

std::optional<SdkFileVersion> wholeScan(const QByteArray& bytes)
{
    for (qsizetype at = 0; at + 52 <= bytes.size(); at += 4) {
        const char* p = bytes.constData() + at;
        if (qFromLittleEndian<quint32>(p) != 0xFEEF04BD || qFromLittleEndian<quint32>(p + 4) != 0x00010000)
            continue;
        const quint32 ms = qFromLittleEndian<quint32>(p + 8);
        const quint32 ls = qFromLittleEndian<quint32>(p + 12);
        return SdkFileVersion{int(ms >> 16), int(ms & 0xFFFF), int(ls >> 16), int(ls & 0xFFFF)};
    }
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const qint64 pieceBytes = (data[0] % 32 + 1) * 4;
    QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const std::optional<SdkFileVersion> found = ReadVersionNote(buffer, pieceBytes);
    const std::optional<SdkFileVersion> expected = wholeScan(bytes);
    if (found != expected)
        std::abort();
    return 0;
}
