// The EOS SDK binding: the version table, the entry point names and the function variables.
#include "TCamRemote/Sources/EDSDK.h"

#include <iterator>
#include <string_view>

namespace eds {
#define JEX4_EDSDK_VARIABLE(name, params) pfn_##name name = nullptr;
EDSDK_ENTRY_POINTS(JEX4_EDSDK_VARIABLE)
#undef JEX4_EDSDK_VARIABLE
} // namespace eds

namespace {

const SdkRuntimeFile kFiles[] = {
    {"EDSDK.DLL", {2, 13, 20, 6}},  {"EdsImage.dll", {2, 13, 0, 0}}, {"DPPDLL.dll", {3, 13, 20, 1}},
    {"DPPLibCom.dll", {3, 13, 0, 0}}, {"DPPRSC.dll", {3, 13, 20, 0}}, {"MLib.dll", {1, 3, 0, 6}},
    {"Ucs32P.dll", {3, 1, 5, 1}},
};

// The list names one entry point with its stdcall decoration; the loader looks it up by its plain name.
constexpr const char* listedName(const char* name)
{
    return std::string_view(name) == "EdsCreateStream" ? "_EdsCreateStream@8" : name;
}

const SdkEntryPoint kEntryPoints[] = {
#define JEX4_EDSDK_ENTRY(name, params) {listedName(#name), [](void* a) { eds::name = reinterpret_cast<pfn_##name>(a); }},
    EDSDK_ENTRY_POINTS(JEX4_EDSDK_ENTRY)
#undef JEX4_EDSDK_ENTRY
};
static_assert(std::size(kEntryPoints) == 54 && EDSDK_ENTRY_POINT_COUNT == 54);

SdkModule gLibrary{"EDSDK", "EDSDK.DLL", kFiles, kEntryPoints};

} // namespace

void LoadEDSDK() { LoadSdkLibrary(gLibrary); }

std::span<const SdkRuntimeFile> EDSDKFiles() { return kFiles; }
