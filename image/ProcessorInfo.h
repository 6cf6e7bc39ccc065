// The processor's vendor and feature flags, read once at start-up through cpuid.
// Decoding is a pure function of the register values so it can be checked without the hardware.
#pragma once

#include <QFlags>
#include <QString>

#include <cstdint>

enum ProcessorFeature : quint8 {
    pfCX8 = 0x01,
    pfCMOV = 0x02,
    pfMMX = 0x04,
    pfMMXExt = 0x08,
    pfSSE = 0x10,
    pfSSE2 = 0x20,
    pf3DNow = 0x40,
    pf3DNowExt = 0x80,
};
Q_DECLARE_FLAGS(ProcessorFeatures, ProcessorFeature)
Q_DECLARE_OPERATORS_FOR_FLAGS(ProcessorFeatures)

struct TProcessorInfo {
    QString Vendor;                  // up to 12 characters; empty when the processor cannot identify itself
    ProcessorFeatures FeatureFlags;
    quint8 ProcessorCount = 0;       // processors the system reports, capped at 255
    quint8 Family = 0;               // bits 8..11 of function 1's EAX (the extended family is not added)
    quint8 Model = 0;                // bits 4..7 of function 1's EAX
};

struct CpuidRegisters {
    std::uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// What the processor answered. Functions that were not asked (because the highest function number
// says they do not exist) are left zero; the decoder checks the limits again all the same.
struct CpuidAnswers {
    bool identifiable = false;       // the ID flag (bit 21 of the flags register) could be toggled
    CpuidRegisters basic0;           // function 0
    CpuidRegisters basic1;           // function 1
    CpuidRegisters extended0;        // function 0x80000000
    CpuidRegisters extended1;        // function 0x80000001
};

TProcessorInfo decodeProcessorInfo(const CpuidAnswers& answers, int processorCount);

// Asks this processor; on processors without cpuid the answers say not identifiable.
CpuidAnswers queryCpuid();

// Filled at start-up (static initialisation of the image library) and never changed afterwards
// but by DetectCPU, which start-up may call again harmlessly.
extern TProcessorInfo ProcessorInfo;

void DetectCPU();
