// The newer-PowerShot SDK binding: the version table, the entry point names and the function variables.
#include "TCamRemote/Sources/PRAPI.h"

#include <iterator>

namespace pr {
#define JEX4_PRSDK_VARIABLE(name, ...) pfn_##name name = nullptr;
PRSDK_ENTRY_POINTS(JEX4_PRSDK_VARIABLE)
#undef JEX4_PRSDK_VARIABLE
} // namespace pr

namespace {

// The library is checked under the name its maker's table gives it; the system loads it as PRSDK.DLL.
const SdkRuntimeFile kFiles[] = {
    {"PRLIB.dll", {1, 1, 0, 12}},
    {"PRSDK.dll", {1, 1, 0, 20}},
};

const SdkEntryPoint kEntryPoints[] = {
#define JEX4_PRSDK_ENTRY(name, ...) {#name, [](void* a) { pr::name = reinterpret_cast<pfn_##name>(a); }},
    PRSDK_ENTRY_POINTS(JEX4_PRSDK_ENTRY)
#undef JEX4_PRSDK_ENTRY
};
static_assert(std::size(kEntryPoints) == 25);

SdkModule gLibrary{"PRAPI", "PRSDK.DLL", kFiles, kEntryPoints};

} // namespace

void LoadPRSDK() { LoadSdkLibrary(gLibrary); }

std::span<const SdkRuntimeFile> PRSDKFiles() { return kFiles; }
