// The older-PowerShot SDK binding: loads CDSDK.DLL once its runtime files are of the expected
// versions, and keeps its 153 entry points in process-wide function variables. The older-PowerShot
// back-end calls the SDK only through these variables (namespace cd: cd::CDStartSDK()).
#pragma once

#define CDSDK_NO_PROTOTYPES
#include "cdsdk_api.h"

#include "TCamRemote/Sources/SDKLoader.h"

#include <span>

namespace cd {
#define JEX4_CDSDK_VARIABLE(name, ...) extern pfn_##name name;
CDSDK_ENTRY_POINTS(JEX4_CDSDK_VARIABLE)
#undef JEX4_CDSDK_VARIABLE
} // namespace cd

// Checks the runtime files, loads CDSDK.DLL and resolves every entry point; a second call in the
// process does nothing. Failures raise std::runtime_error as LoadEDSDK's do, and the next call
// checks again.
void LoadCDSDK();

// The files checked before the library is loaded, in the order they are checked.
std::span<const SdkRuntimeFile> CDSDKFiles();
