#include "platform/Cp1252.h"

#include <QHash>
#include <QStringDecoder>
#include <gtest/gtest.h>

namespace {

TEST(Cp1252, KnownCharactersMapBothWays)
{
    struct Row { char16_t unicode; unsigned char byte; };
    const Row rows[] = {
        {u'A', 0x41}, {0x0000, 0x00}, {0x007F, 0x7F}, {0x20AC, 0x80}, {0x201A, 0x82}, {0x0192, 0x83},
        {0x2026, 0x85}, {0x2030, 0x89}, {0x0160, 0x8A}, {0x0152, 0x8C}, {0x017D, 0x8E}, {0x2018, 0x91},
        {0x201D, 0x94}, {0x2013, 0x96}, {0x2014, 0x97}, {0x02DC, 0x98}, {0x2122, 0x99}, {0x0178, 0x9F},
        {0x00A0, 0xA0}, {0x00B4, 0xB4}, {0x00B5, 0xB5}, {0x00C4, 0xC4}, {0x00FF, 0xFF},
        // The five undefined bytes keep their control characters.
        {0x0081, 0x81}, {0x008D, 0x8D}, {0x008F, 0x8F}, {0x0090, 0x90}, {0x009D, 0x9D},
    };
    for (const Row& r : rows) {
        const QString text(QChar(r.unicode));
        EXPECT_EQ(Cp1252::fromUnicode(text), QByteArray(1, static_cast<char>(r.byte))) << std::hex << int(r.unicode);
        EXPECT_EQ(Cp1252::toUnicode(QByteArray(1, static_cast<char>(r.byte))), text) << std::hex << int(r.byte);
    }
}

TEST(Cp1252, UnmappableCharactersBecomeOneQuestionMarkEach)
{
    struct Row { QString text; QByteArray bytes; };
    const Row rows[] = {
        {QStringLiteral(u"a\u0080b"), "a?b"},          // 0x80 is the euro sign, not U+0080
        {QStringLiteral(u"\u0101"), "?"},              // a with macron
        {QStringLiteral(u"\u4E2D\u6587"), "??"},
        {QStringLiteral(u"x\U0001F600y"), "x?y"},      // a surrogate pair is one character
        {QString(QChar(0xD800)) + QLatin1Char('z'), "?z"}, // a lone surrogate
        {QStringLiteral(u"Ring \u00B5m \u20AC"), "Ring \xB5m \x80"},
        {QString(), QByteArray()},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Cp1252::fromUnicode(r.text), r.bytes) << r.text.toStdString();
}

TEST(Cp1252, AgreesWithTheSystemCodecOnEveryByte)
{
    QStringDecoder reference("windows-1252");
    if (!reference.isValid())
        GTEST_SKIP() << "no windows-1252 codec in this Qt build";
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString decoded = Cp1252::toUnicode(all);
    const QString expected = reference.decode(all);
    ASSERT_EQ(decoded.size(), 256);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(decoded[b].unicode(), expected[b].unicode()) << "byte 0x" << std::hex << b;
    EXPECT_EQ(Cp1252::fromUnicode(decoded), all) << "every byte survives a round trip";
}

TEST(Cp1252, EveryBasicPlaneCharacterEncodesToItsByteOrToQuestionMark)
{
    // Independent of the table: a character encodes to a byte exactly when that byte decodes back
    // to it; all others give '?'.
    QHash<char16_t, char> byteOf;
    for (int b = 0; b < 256; ++b)
        byteOf.insert(Cp1252::toUnicode(QByteArray(1, static_cast<char>(b)))[0].unicode(), static_cast<char>(b));
    for (int u = 0; u < 0x10000; ++u) {
        if (u >= 0xD800 && u < 0xE000)
            continue;
        const QByteArray got = Cp1252::fromUnicode(QString(QChar(char16_t(u))));
        const auto it = byteOf.constFind(char16_t(u));
        const QByteArray want(1, it == byteOf.constEnd() ? '?' : it.value());
        ASSERT_EQ(got, want) << "U+" << std::hex << u;
    }
}

} // namespace
