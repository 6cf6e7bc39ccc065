// The older-PowerShot SDK binding against the CDSDK.DLL stand-in and its fault folders: the version
// table, every one of the 153 entry points resolved, one load per process, and the failures. Each
// load runs in a child process of its own.
#include "TCamRemote/Sources/CDAPI.h"

#include "SdkBindingTest.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <set>
#include <string>

namespace {

using sdkbinding::SdkFolderCopy;

// The entry points named one by one in the library's family list, the decorated one as listed.
const char* const kNamedEntryPoints[] = {
    "CDStartSDK", "CDFinishSDK", "CDGetSDKVersion", "CDEnumDeviceReset", "CDEnumDeviceNext", "CDGetDeviceCount",
    "CDEnumDeviceRelease", "CDOpenSource", "CDCloseSource", "CDLockUI", "CDUnlockUI", "CDSetUILockTimeOutTime",
    "CDFormat", "CDEnterReleaseControl", "CDExitReleaseControl", "_CDGetReleaseControlFaculty@8",
    "CDSelectReleaseDataKind", "CDRelease", "CDGetReleasedData", "CDStartViewfinder", "CDTermViewfinder",
    "CDSelectViewFinderCameraOutput", "CDActViewfinderAutoFunctions", "CDGetMaximumZoomPos", "CDGetZoomPos",
    "CDGetDZoomMagnification", "CDSetZoomPos", "CDAFLock", "CDGetNumAvailableShot", "CDEnumRelCamSettingReset",
    "CDGetRelCamSettingDataCount", "CDGetImagePropertyPart", "CDEnumAvValueReset", "CDEnumAvValueNext",
    "CDEnumAvValueRelease", "CDGetAvValueCount", "CDGetAvValue", "CDSetAvValue",
};

// Each variable against the address the library exports under the entry point's plain name.
std::string variablesAgainst(void* handle, std::set<std::string>& names)
{
    std::string wrong;
#define CHECK_VARIABLE(name, ...)                                                                        \
    names.insert(#name);                                                                                 \
    if (!cd::name || reinterpret_cast<void*>(cd::name) != (handle ? dlsym(handle, #name) : nullptr))    \
        wrong += " " #name;
    CDSDK_ENTRY_POINTS(CHECK_VARIABLE)
#undef CHECK_VARIABLE
    return wrong;
}

bool allVariablesClear()
{
    bool clear = true;
#define CHECK_CLEAR(name, ...) clear = clear && !cd::name;
    CDSDK_ENTRY_POINTS(CHECK_CLEAR)
#undef CHECK_CLEAR
    return clear;
}

TEST(CDAPI, ChecksTheVersionTableInOrder)
{
    const SdkRuntimeFile expected[] = {
        {"cdDcd.dll", {7, 3, 0, 2}},    {"cdDvlp.dll", {7, 3, 0, 13}},  {"cdParse.dll", {7, 3, 0, 6}},
        {"CDPROC.exe", {7, 3, 0, 4}},   {"CDPROCMN.exe", {7, 3, 0, 4}}, {"CDPTPCLS.dll", {7, 3, 0, 3}},
        {"CDPTPCLT.dll", {7, 3, 0, 4}}, {"CDRAPCLS.dll", {7, 3, 0, 6}}, {"CDSDK.dll", {7, 3, 0, 6}},
        {"EWatch.exe", {1, 1, 0, 1}},   {"IWrap.dll", {1, 3, 0, 3}},    {"psCamDat.dll", {7, 0, 0, 4}},
    };
    ASSERT_EQ(CDSDKFiles().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_STREQ(CDSDKFiles()[i].FileName, expected[i].FileName);
        EXPECT_EQ(CDSDKFiles()[i].Version, expected[i].Version) << expected[i].FileName;
    }
}

TEST(CDAPI, LoadsOnceResolvingEveryEntryPoint)
{
    EXPECT_IN_CHILD(([] {
        SdkFolderCopy folder(CDSDKFiles());
        if (!allVariablesClear())
            return std::string("variables set before loading");
        const std::string first = sdkbinding::loadResult(LoadCDSDK);
        if (first != "loaded")
            return first;
        void* handle = dlopen(QFile::encodeName(folder.path("CDSDK.DLL")).constData(), RTLD_NOW | RTLD_NOLOAD);
        std::set<std::string> names;
        const std::string wrong = variablesAgainst(handle, names);
        if (!wrong.empty())
            return "wrong variables:" + wrong;
        if (names.size() != 153)
            return "entry points: " + std::to_string(names.size());
        for (const char* named : kNamedEntryPoints)
            if (!names.count(UndecoratedEntryPointName(named).toStdString()))
                return std::string("not resolved: ") + named;
        folder.remove("psCamDat.dll");
        folder.setVersion("cdDcd.dll", {7, 3, 0, 3});
        return sdkbinding::loadResult(LoadCDSDK);
    }),
                    "loaded");
}

TEST(CDAPI, FaultFoldersFailWithTheirTexts)
{
    const std::string incorrect = " is of incorrect file version. Please update the redist files from TCamRemote zip-file";
    const struct {
        const char* fault;
        std::string raised;
    } rows[] = {
        {"cdsdk-wrong-version", "CDSDK.dll" + incorrect},
        {"cdsdk-missing-runtime", "cdDcd.dll could not be found"},
        {"cdsdk-missing-library", "CDSDK.dll could not be found"},
        {"cdsdk-not-loadable", "CDSDK.DLL could not be loaded"},
        {"cdsdk-missing-entry-point", "CDAPI: entry point CDGetDZoomMagnification is missing in CDSDK.DLL"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.fault);
        EXPECT_IN_CHILD(([&] {
            qputenv("JEX4_CAMERA_SDK_PATH", JEX4_SDK_FAULT_DIR "/" + QByteArray(r.fault));
            qunsetenv("LD_LIBRARY_PATH");
            std::string result = sdkbinding::loadResult(LoadCDSDK);
            if (!allVariablesClear())
                result += "; variables stay set";
            // The same process once the files are right again: the next load checks again.
            qputenv("JEX4_CAMERA_SDK_PATH", JEX4_SDK_BIN_DIR);
            return result + "; then " + sdkbinding::loadResult(LoadCDSDK);
        }),
                        "raised " + r.raised + "; then loaded");
    }
}

TEST(CDAPI, DecoratedEntryPointMissingIsNamedAsListed)
{
    EXPECT_IN_CHILD(([] {
        SdkFolderCopy folder(CDSDKFiles());
        folder.hideEntryPoint("CDSDK.DLL", "CDGetReleaseControlFaculty");
        return sdkbinding::loadResult(LoadCDSDK) + (folder.isLoaded("CDSDK.DLL") ? "; stays loaded" : "");
    }),
                    "raised CDAPI: entry point _CDGetReleaseControlFaculty@8 is missing in CDSDK.DLL");
}

} // namespace
