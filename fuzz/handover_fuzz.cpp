// The hand-over reader on arbitrary bytes fed in arbitrary pieces: no crash, no undefined
// behaviour; a complete message holds only bounded, printable arguments and packs back to itself.
#include "shell/TOneInstance.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte picks the piece length, so splits inside the header are explored.
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 16;
    HandOverReader reader;
    HandOverReader::State state = HandOverReader::State::NeedMore;
    QByteArray fed;
    for (size_t at = 1; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        const QByteArray bytes(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(n));
        fed += bytes;
        state = reader.feed(bytes);
    }
    if (state != HandOverReader::State::Complete) {
        if (!reader.arguments().isEmpty())
            std::abort();
        return 0;
    }
    const QStringList args = reader.arguments();
    if (args.size() > HandOverReader::MaxArguments)
        std::abort();
    for (const QString& a : args)
        for (QChar c : a)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                std::abort();
    // The message read is the start of what was fed, byte for byte; what followed it is left.
    if (!fed.startsWith(HandOverReader::pack(args)))
        std::abort();
    return 0;
}
