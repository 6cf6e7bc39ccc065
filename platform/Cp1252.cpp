// Only 0x80..0x9F differ from Latin-1; the five undefined bytes keep their C1 control characters
// so that no byte is lost on a round trip.
#include "platform/Cp1252.h"

#include <QHash>

namespace {

constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98..9F
};

const QHash<char16_t, char>& reverseHigh()
{
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> t;
        for (int i = 0; i < 32; ++i)
            t.insert(kHigh[i], static_cast<char>(0x80 + i));
        return t;
    }();
    return table;
}

} // namespace

namespace Cp1252 {

QByteArray fromUnicode(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    const auto& high = reverseHigh();
    for (int i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.append(static_cast<char>(u));
            continue;
        }
        const auto it = high.constFind(u);
        if (it != high.constEnd()) {
            out.append(it.value());
            continue;
        }
        out.append('?');
        // A surrogate pair is one character and gets one '?'.
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    return out;
}

QString toUnicode(const QByteArray& bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *dst++ = QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char16_t(b));
    }
    return out;
}

} // namespace Cp1252
