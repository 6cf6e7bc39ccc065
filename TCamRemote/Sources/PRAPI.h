// The newer-PowerShot SDK binding: loads PRSDK.DLL once its runtime files are of the expected
// versions, and keeps its 25 entry points in process-wide function variables. The newer-PowerShot
// back-end calls the SDK only through these variables (namespace pr: pr::PR_StartSDK()).
#pragma once

#define PRSDK_NO_PROTOTYPES
#include "prsdk_api.h"

#include "TCamRemote/Sources/SDKErrorText.h"
#include "TCamRemote/Sources/SDKLoader.h"

#include <span>

namespace pr {
#define JEX4_PRSDK_VARIABLE(name, ...) extern pfn_##name name;
PRSDK_ENTRY_POINTS(JEX4_PRSDK_VARIABLE)
#undef JEX4_PRSDK_VARIABLE
} // namespace pr

// Checks the runtime files, loads PRSDK.DLL and resolves every entry point; a second call in the
// process does nothing. Failures raise std::runtime_error as LoadEDSDK's do, and the next call
// checks again.
void LoadPRSDK();

// The files checked before the library is loaded, in the order they are checked.
std::span<const SdkRuntimeFile> PRSDKFiles();
