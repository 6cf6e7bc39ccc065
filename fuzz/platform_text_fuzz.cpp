// Number parsing, number pictures, line splitting and the code page on arbitrary bytes: no crash,
// no undefined behaviour, and every byte string survives the code page round trip.
#include "platform/Cp1252.h"
#include "platform/Delphi.h"
#include "platform/TextFile.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    double value = 0;
    if (size >= sizeof value)
        std::memcpy(&value, data, sizeof value);
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = Cp1252::toUnicode(bytes);
    if (Cp1252::fromUnicode(text) != bytes)
        std::abort();

    int i = 0;
    double d = 0;
    bool b = false;
    TryStrToInt(text, i);
    TryStrToFloat(text, d);
    TryStrToBool(text, b);
    splitTextLines(text);
    FormatFloat(text.left(64), value);
    FloatToStrF(value, static_cast<TFloatFormat>(size % 4), static_cast<int>(size % 20), static_cast<int>(size % 21));
    Round(value);
    Trunc64(value);
    ExtractFileDir(text);
    ChangeFileExt(text, QStringLiteral(".x"));
    return 0;
}
