// The link's message parser on arbitrary bytes fed in arbitrary pieces: no crash, no undefined
// behaviour, and every message it hands out is complete and starts with the sender mark.
#include "shell/RAXOLink.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(const RAXOMessage& m)
{
    if (m.lines.value(0) != QLatin1String("RAXO") || m.lines.size() < 3)
        std::abort();
    const int need = RAXOMessageParser::lineCount(m.command());
    if (m.lines.size() != (need == 0 ? 3 : need))
        std::abort();
    for (const QString& line : m.lines)
        if (line.size() > RAXOMessageParser::MaxLineBytes || line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')))
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte picks the piece length, so splits inside lines and CR LF pairs are explored.
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 64;
    RAXOMessageParser parser;
    for (size_t at = 1; at < size; at += piece) {
        const size_t n = size - at < piece ? size - at : piece;
        parser.feed(QByteArray(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(n)));
        while (auto m = parser.next())
            check(*m);
    }
    parser.flush();
    while (auto m = parser.next())
        check(*m);
    if (parser.hasPending())
        std::abort(); // after a flush everything is handed out or dropped
    parser.takeProblems();
    return 0;
}
