// The newer-PowerShot SDK binding against the PRSDK.DLL stand-in: the version table, every entry
// point resolved, one load per process, and the failures in the order of the checks. Each load
// runs in a child process of its own.
#include "TCamRemote/Sources/PRAPI.h"

#include "SdkBindingTest.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <set>
#include <string>

namespace {

using sdkbinding::SdkFolderCopy;

const char* const kListedNames[] = {
    "PR_StartSDK", "PR_FinishSDK", "PR_GetDllsVersion", "PR_GetDeviceList", "PR_CreateCameraObject",
    "PR_DestroyCameraObject", "PR_ConnectCamera", "PR_DisconnectCamera", "PR_SetEventCallBack",
    "PR_ClearEventCallBack", "PR_GetDeviceInfo", "PR_InitiateReleaseControl", "PR_TerminateReleaseControl",
    "PR_RC_Release", "PR_RC_GetReleasedData", "PR_RC_GetNumAvailableShot", "PR_RC_StartViewFinder",
    "PR_RC_TermViewFinder", "PR_RC_DoAeAfAwb", "PR_RC_FocusLock", "PR_RC_FocusUnlock", "PR_GetDevicePropDesc",
    "PR_GetDevicePropValue", "PR_SetDevicePropValue", "PR_RC_GetChangedReleaseParamesList",
};

std::string variablesAgainst(void* handle)
{
    std::string wrong;
    std::set<std::string> variables;
#define CHECK_VARIABLE(name, ...)                                                                        \
    variables.insert(#name);                                                                             \
    if (!pr::name || reinterpret_cast<void*>(pr::name) != (handle ? dlsym(handle, #name) : nullptr))    \
        wrong += " " #name;
    PRSDK_ENTRY_POINTS(CHECK_VARIABLE)
#undef CHECK_VARIABLE
    if (variables != std::set<std::string>(std::begin(kListedNames), std::end(kListedNames)))
        wrong += " (the variables are not the listed entry points)";
    return wrong;
}

bool allVariablesClear()
{
    bool clear = true;
#define CHECK_CLEAR(name, ...) clear = clear && !pr::name;
    PRSDK_ENTRY_POINTS(CHECK_CLEAR)
#undef CHECK_CLEAR
    return clear;
}

TEST(PRAPI, ChecksTheVersionTableInOrder)
{
    const SdkRuntimeFile expected[] = {{"PRLIB.dll", {1, 1, 0, 12}}, {"PRSDK.dll", {1, 1, 0, 20}}};
    ASSERT_EQ(PRSDKFiles().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_STREQ(PRSDKFiles()[i].FileName, expected[i].FileName);
        EXPECT_EQ(PRSDKFiles()[i].Version, expected[i].Version) << expected[i].FileName;
    }
}

TEST(PRAPI, LoadsOnceResolvingEveryEntryPoint)
{
    EXPECT_IN_CHILD(([] {
        SdkFolderCopy folder(PRSDKFiles());
        if (!allVariablesClear())
            return std::string("variables set before loading");
        const std::string first = sdkbinding::loadResult(LoadPRSDK);
        if (first != "loaded")
            return first;
        void* handle = dlopen(QFile::encodeName(folder.path("PRSDK.DLL")).constData(), RTLD_NOW | RTLD_NOLOAD);
        const std::string wrong = variablesAgainst(handle);
        if (!wrong.empty())
            return "wrong variables:" + wrong;
        folder.remove("PRLIB.dll");
        return sdkbinding::loadResult(LoadPRSDK);
    }),
                    "loaded");
}

TEST(PRAPI, FailuresNameTheFileAndLeaveTheLibraryUnloaded)
{
    const std::string incorrect = " is of incorrect file version. Please update the redist files from TCamRemote zip-file";
    const struct {
        const char* what;
        void (*spoil)(const SdkFolderCopy&);
        std::string raised;
    } rows[] = {
        {"an older PRLIB.dll", [](const SdkFolderCopy& f) { f.setVersion("PRLIB.dll", {1, 1, 0, 11}); }, "PRLIB.dll" + incorrect},
        {"a newer library", [](const SdkFolderCopy& f) { f.setVersion("PRSDK.DLL", {1, 1, 0, 21}); }, "PRSDK.dll" + incorrect},
        {"no PRLIB.dll", [](const SdkFolderCopy& f) { f.remove("PRLIB.dll"); }, "PRLIB.dll could not be found"},
        {"no library", [](const SdkFolderCopy& f) { f.remove("PRSDK.DLL"); }, "PRSDK.dll could not be found"},
        {"not a library", [](const SdkFolderCopy& f) { f.rewrite("PRSDK.DLL", [](QByteArray& b) { b.remove(0, 64); }); },
         "PRSDK.DLL could not be loaded"},
        {"an entry point not exported", [](const SdkFolderCopy& f) { f.hideEntryPoint("PRSDK.DLL", "PR_RC_FocusUnlock"); },
         "PRAPI: entry point PR_RC_FocusUnlock is missing in PRSDK.DLL"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_IN_CHILD(([&] {
            std::string result;
            {
                SdkFolderCopy spoilt(PRSDKFiles());
                r.spoil(spoilt);
                result = sdkbinding::loadResult(LoadPRSDK);
                if (spoilt.isLoaded("PRSDK.DLL"))
                    result += "; PRSDK.DLL stays loaded";
                if (!allVariablesClear())
                    result += "; variables stay set";
            }
            SdkFolderCopy mended(PRSDKFiles());
            return result + "; then " + sdkbinding::loadResult(LoadPRSDK);
        }),
                        "raised " + r.raised + "; then loaded");
    }
}

} // namespace
