// Processor detection: cpuid on x86, an empty record elsewhere.
#include "image/ProcessorInfo.h"

#include <QThread>

#include <algorithm>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define JEX4_HAVE_CPUID 1
#endif

namespace {

constexpr std::uint32_t kExtendedBase = 0x80000000u;

bool bit(std::uint32_t value, int n) { return (value >> n) & 1u; }

int systemProcessorCount() { return QThread::idealThreadCount(); }

} // namespace

TProcessorInfo decodeProcessorInfo(const CpuidAnswers& answers, int processorCount)
{
    TProcessorInfo info;
    info.ProcessorCount = quint8(std::clamp(processorCount, 0, 255));
    if (!answers.identifiable)
        return info;

    // The vendor string is EBX, EDX, ECX in this order, four little-endian bytes each.
    char vendor[12];
    const std::uint32_t words[3] = {answers.basic0.ebx, answers.basic0.edx, answers.basic0.ecx};
    for (int w = 0; w < 3; ++w)
        for (int b = 0; b < 4; ++b)
            vendor[w * 4 + b] = char((words[w] >> (8 * b)) & 0xFF);
    const int length = int(std::find(vendor, vendor + 12, '\0') - vendor);
    info.Vendor = QString::fromLatin1(vendor, length);

    if (answers.basic0.eax >= 1) {
        const std::uint32_t eax = answers.basic1.eax;
        const std::uint32_t edx = answers.basic1.edx;
        info.Family = quint8((eax >> 8) & 0xF);
        info.Model = quint8((eax >> 4) & 0xF);
        if (bit(edx, 8))
            info.FeatureFlags |= pfCX8;
        if (bit(edx, 15))
            info.FeatureFlags |= pfCMOV;
        if (bit(edx, 23))
            info.FeatureFlags |= pfMMX;
        if (bit(edx, 25))
            info.FeatureFlags |= pfSSE;
        if (bit(edx, 26))
            info.FeatureFlags |= pfSSE2;
    }

    if (answers.extended0.eax > kExtendedBase) {
        const std::uint32_t edx = answers.extended1.edx;
        if (bit(edx, 22))
            info.FeatureFlags |= pfMMXExt;
        if (bit(edx, 31))
            info.FeatureFlags |= pf3DNow;
        if (bit(edx, 30))
            info.FeatureFlags |= pf3DNowExt;
    }
    return info;
}

CpuidAnswers queryCpuid()
{
    CpuidAnswers answers;
#ifdef JEX4_HAVE_CPUID
    // __get_cpuid_max toggles the ID flag on 32-bit processors and returns 0 when it sticks.
    if (__get_cpuid_max(0, nullptr) == 0)
        return answers;
    answers.identifiable = true;
    CpuidRegisters& b0 = answers.basic0;
    __cpuid(0, b0.eax, b0.ebx, b0.ecx, b0.edx);
    if (b0.eax >= 1) {
        CpuidRegisters& b1 = answers.basic1;
        __cpuid(1, b1.eax, b1.ebx, b1.ecx, b1.edx);
    }
    CpuidRegisters& e0 = answers.extended0;
    __cpuid(kExtendedBase, e0.eax, e0.ebx, e0.ecx, e0.edx);
    if (e0.eax > kExtendedBase) {
        CpuidRegisters& e1 = answers.extended1;
        __cpuid(kExtendedBase + 1, e1.eax, e1.ebx, e1.ecx, e1.edx);
    }
#endif
    return answers;
}

void DetectCPU()
{
    ProcessorInfo = decodeProcessorInfo(queryCpuid(), systemProcessorCount());
}

TProcessorInfo ProcessorInfo = decodeProcessorInfo(queryCpuid(), systemProcessorCount());
