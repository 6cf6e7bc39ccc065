// The older-PowerShot SDK binding: the version table, the entry point names and the function variables.
#include "TCamRemote/Sources/CDAPI.h"

#include <iterator>
#include <string_view>

namespace cd {
#define JEX4_CDSDK_VARIABLE(name, ...) pfn_##name name = nullptr;
CDSDK_ENTRY_POINTS(JEX4_CDSDK_VARIABLE)
#undef JEX4_CDSDK_VARIABLE
} // namespace cd

namespace {

const SdkRuntimeFile kFiles[] = {
    {"cdDcd.dll", {7, 3, 0, 2}},    {"cdDvlp.dll", {7, 3, 0, 13}},   {"cdParse.dll", {7, 3, 0, 6}},
    {"CDPROC.exe", {7, 3, 0, 4}},   {"CDPROCMN.exe", {7, 3, 0, 4}},  {"CDPTPCLS.dll", {7, 3, 0, 3}},
    {"CDPTPCLT.dll", {7, 3, 0, 4}}, {"CDRAPCLS.dll", {7, 3, 0, 6}},  {"CDSDK.dll", {7, 3, 0, 6}},
    {"EWatch.exe", {1, 1, 0, 1}},   {"IWrap.dll", {1, 3, 0, 3}},     {"psCamDat.dll", {7, 0, 0, 4}},
};

// The list names one entry point with its stdcall decoration; the loader looks it up by its plain name.
constexpr const char* listedName(const char* name)
{
    return std::string_view(name) == "CDGetReleaseControlFaculty" ? "_CDGetReleaseControlFaculty@8" : name;
}

const SdkEntryPoint kEntryPoints[] = {
#define JEX4_CDSDK_ENTRY(name, ...) {listedName(#name), [](void* a) { cd::name = reinterpret_cast<pfn_##name>(a); }},
    CDSDK_ENTRY_POINTS(JEX4_CDSDK_ENTRY)
#undef JEX4_CDSDK_ENTRY
};
static_assert(std::size(kEntryPoints) == 153);

SdkModule gLibrary{"CDAPI", "CDSDK.DLL", kFiles, kEntryPoints};

} // namespace

void LoadCDSDK() { LoadSdkLibrary(gLibrary); }

std::span<const SdkRuntimeFile> CDSDKFiles() { return kFiles; }
