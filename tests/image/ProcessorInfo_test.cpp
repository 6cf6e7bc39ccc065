#include "image/ProcessorInfo.h"

#include <gtest/gtest.h>

#include <QThread>

namespace {

// Packs four characters the way cpuid returns them: first character in the lowest byte.
std::uint32_t chars(const char* s)
{
    return std::uint32_t(quint8(s[0])) | std::uint32_t(quint8(s[1])) << 8 | std::uint32_t(quint8(s[2])) << 16
        | std::uint32_t(quint8(s[3])) << 24;
}

std::uint32_t bits(std::initializer_list<int> positions)
{
    std::uint32_t v = 0;
    for (int p : positions)
        v |= 1u << p;
    return v;
}

struct DecodeCase {
    const char* name;
    CpuidAnswers answers;
    int processorCount;
    const char* vendor;
    ProcessorFeatures features;
    int family;
    int model;
    int count;
};

CpuidAnswers answers(bool identifiable, const char* ebx, const char* edx, const char* ecx, std::uint32_t maxBasic,
                     std::uint32_t eax1, std::uint32_t edx1, std::uint32_t maxExtended, std::uint32_t edxExt1)
{
    CpuidAnswers a;
    a.identifiable = identifiable;
    a.basic0 = {maxBasic, chars(ebx), chars(ecx), chars(edx)};
    a.basic1 = {eax1, 0xFFFFFFFFu, 0xFFFFFFFFu, edx1};
    a.extended0 = {maxExtended, 0, 0, 0};
    a.extended1 = {0, 0, 0xFFFFFFFFu, edxExt1};
    return a;
}

TEST(ProcessorInfo, DecodesRegisterValues)
{
    const std::uint32_t allBasic = bits({8, 15, 23, 25, 26});
    const std::uint32_t allExtended = bits({22, 30, 31});
    const ProcessorFeatures basicSet = pfCX8 | pfCMOV | pfMMX | pfSSE | pfSSE2;
    const DecodeCase cases[] = {
        {"no identification flag: only the count",
         answers(false, "Genu", "ineI", "ntel", 0x16, 0x000906EA, allBasic, 0x80000008, allExtended), 8, "", {}, 0, 0, 8},
        {"Intel: basic features, extended family and model bits ignored",
         answers(true, "Genu", "ineI", "ntel", 0x16, 0x000906EA, 0xBFEBFBFF, 0x80000008, bits({11, 20, 26, 27, 29})), 4,
         "GenuineIntel", basicSet, 6, 0xE, 4},
        {"AMD K7: 3DNow and MMX extensions, no SSE2",
         answers(true, "Auth", "enti", "cAMD", 1, 0x00000662, bits({8, 15, 23, 25}), 0x80000001, allExtended), 1,
         "AuthenticAMD", pfCX8 | pfCMOV | pfMMX | pfSSE | pfMMXExt | pf3DNow | pf3DNowExt, 6, 6, 1},
        {"each extended bit alone: 22", answers(true, "Auth", "enti", "cAMD", 1, 0, 0, 0x80000001, bits({22})), 1,
         "AuthenticAMD", pfMMXExt, 0, 0, 1},
        {"each extended bit alone: 31", answers(true, "Auth", "enti", "cAMD", 1, 0, 0, 0x80000001, bits({31})), 1,
         "AuthenticAMD", pf3DNow, 0, 0, 1},
        {"each extended bit alone: 30", answers(true, "Auth", "enti", "cAMD", 1, 0, 0, 0x80000001, bits({30})), 1,
         "AuthenticAMD", pf3DNowExt, 0, 0, 1},
        {"highest function 0: function 1 is not consulted",
         answers(true, "Genu", "ineI", "ntel", 0, 0x00000F4A, allBasic, 0x80000008, 0), 2, "GenuineIntel", {}, 0, 0, 2},
        {"highest extended function 0x80000000: extended flags not consulted",
         answers(true, "Genu", "ineI", "ntel", 1, 0x00000F4A, 0, 0x80000000, allExtended), 2, "GenuineIntel", {}, 0xF, 4,
         2},
        {"family 15 with extended family bits set",
         answers(true, "Genu", "ineI", "ntel", 1, 0x0FF00F10, bits({26}), 0, allExtended), 2, "GenuineIntel", pfSSE2, 0xF,
         1, 2},
        {"vendor stops at the first zero byte", answers(true, "AB\0\0", "CDEF", "GHIJ", 0, 0, 0, 0, 0), 1, "AB", {}, 0, 0, 1},
        {"count beyond a byte is capped", answers(true, "Genu", "ineI", "ntel", 0, 0, 0, 0, 0), 300, "GenuineIntel", {}, 0,
         0, 255},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TProcessorInfo info = decodeProcessorInfo(c.answers, c.processorCount);
        EXPECT_EQ(info.Vendor, QString::fromLatin1(c.vendor));
        EXPECT_EQ(int(info.FeatureFlags), int(c.features));
        EXPECT_EQ(info.Family, c.family);
        EXPECT_EQ(info.Model, c.model);
        EXPECT_EQ(info.ProcessorCount, c.count);
    }
}

#if defined(__x86_64__)
// Every x86-64 processor has CX8, CMOV, MMX, SSE and SSE2, so the live query must report them.
TEST(ProcessorInfo, DetectsThisProcessor)
{
    DetectCPU();
    EXPECT_EQ(ProcessorInfo.Vendor.size(), 12);
    const ProcessorFeatures baseline = pfCX8 | pfCMOV | pfMMX | pfSSE | pfSSE2;
    EXPECT_EQ(ProcessorInfo.FeatureFlags & baseline, baseline);
    EXPECT_EQ(ProcessorInfo.ProcessorCount, std::min(QThread::idealThreadCount(), 255));
    EXPECT_GT(ProcessorInfo.Family, 0);
}
#endif

} // namespace
