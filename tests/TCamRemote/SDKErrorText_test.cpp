// The EOS and newer-PowerShot result texts: chosen by the low 16 bits, the SDKs' spelling kept.
#include "TCamRemote/Sources/SDKErrorText.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

const QString kUnknown = QStringLiteral("Unkown error");

TEST(SDKErrorText, EosTextsByLowWord)
{
    const struct {
        std::uint32_t code;
        const char* text;
    } rows[] = {
        {0x00000001, "Unimplemented"},
        {0x0000000B, "Selection unavailable"},
        {0x00000061, "Invalid handle"},
        {0x00000081, "Device busy"},
        {0x00002008, "PTP invalid strage id"},
        {0x00002017, "PTP unknown vender code"},
        {0x00002014, "PTP specifi" "cation by format unsupported"},
        {0x00008D01, "Take picture error, focus failed"},
        {0x12348D01, "Take picture error, focus failed"}, // the high word is the SDK's component id
        {0xFFFF8D01, "Take picture error, focus failed"},
        {0x00008D04, "Take picture error, scurrently cleaning sensor"},
        {0x0000A006, "PTP vendor lenc cover close"},
        {0x0000A102, "PTP vendor object not ready"},
        {0x0000A106, "PTP vendor memorystatus not ready"},
        {0x00000000, "Unkown error"},
        {0x00000052, "Unkown error"}, // a gap in the properties row
        {0x0000000C, "Unkown error"},
        {0x00002019, "Unkown error"}, // busy in the PowerShot table only
        {0x0000A107, "Unkown error"},
        {0xFFFFFFFF, "Unkown error"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(EDSErrorText(r.code), QString::fromLatin1(r.text)) << std::hex << r.code;
}

TEST(SDKErrorText, PowerShotTextsByLowWord)
{
    const struct {
        std::uint32_t code;
        const char* text;
    } rows[] = {
        {0x00000001, "Unimplemented"},
        {0x0000000A, "Mission subcomponent"},
        {0x0000000B, "Selection unavailable"},
        {0x00000021, "Invalid parameter"}, // a file error in the EOS table
        {0x00000064, "Event callback exists"},
        {0x00002003, "Session not ppen"},
        {0x00002019, "Device busy"},
        {0x0001201D, "Invalid parameter"},
        {0x0000A002, "Extension memoey allocation failed"},
        {0x0000A00A, "Extension already exit"},
        {0x00000000, "Unkown error"},
        {0x00000020, "Unkown error"},
        {0x00000081, "Unkown error"},
        {0x00002001, "Unkown error"},
        {0x00008D01, "Unkown error"},
        {0x0000A00B, "Unkown error"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(PRErrorText(r.code), QString::fromLatin1(r.text)) << std::hex << r.code;
}

// Every low word once: the tables hold exactly their 125 and 60 codes, and the eleven general codes
// read alike in both.
TEST(SDKErrorText, TablesHoldTheirCodesOnly)
{
    int eos = 0;
    int powerShot = 0;
    for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
        eos += EDSErrorText(code) != kUnknown;
        powerShot += PRErrorText(code) != kUnknown;
        EXPECT_EQ(EDSErrorText(code), EDSErrorText(code | 0xABCD0000));
    }
    EXPECT_EQ(eos, 125);
    EXPECT_EQ(powerShot, 60);
    for (std::uint32_t code = 1; code <= 0xB; ++code)
        EXPECT_EQ(PRErrorText(code), EDSErrorText(code));
}

} // namespace
