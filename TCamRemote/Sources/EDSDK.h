// The EOS SDK binding: loads EDSDK.DLL once its file and runtime files are of the expected versions,
// and keeps its 54 entry points in process-wide function variables. The EOS back-end calls the SDK
// only through these variables (namespace eds: eds::EdsInitializeSDK()), never through prototypes.
#pragma once

#define EDSDK_NO_PROTOTYPES
#include "edsdk_api.h"

#include "TCamRemote/Sources/SDKErrorText.h"
#include "TCamRemote/Sources/SDKLoader.h"

#include <span>

namespace eds {
#define JEX4_EDSDK_VARIABLE(name, params) extern pfn_##name name;
EDSDK_ENTRY_POINTS(JEX4_EDSDK_VARIABLE)
#undef JEX4_EDSDK_VARIABLE
} // namespace eds

// Checks EDSDK.DLL and its runtime files, loads it and resolves every entry point; a second call
// in the process does nothing. Raises std::runtime_error with the text of the failure (a missing
// file, a file of another version, a library that cannot be loaded, a missing entry point); the
// library then stays unloaded and the next call checks again.
void LoadEDSDK();

// The files checked before the library is loaded, in the order they are checked.
std::span<const SdkRuntimeFile> EDSDKFiles();
