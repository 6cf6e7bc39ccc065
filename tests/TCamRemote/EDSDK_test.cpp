// The EOS SDK binding against the EDSDK.DLL stand-in: the checks before loading in their order,
// every entry point resolved, one load per process, and the library freed at process end. Each
// load runs in a child process of its own.
#include "TCamRemote/Sources/EDSDK.h"

#include "SdkBindingTest.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <set>
#include <string>

namespace {

using sdkbinding::SdkFolderCopy;

// The entry points as the library's documentation lists them.
const char* const kListedNames[] = {
    "EdsInitializeSDK", "EdsTerminateSDK", "EdsRetain", "EdsRelease", "EdsGetChildCount", "EdsGetChildAtIndex",
    "EdsGetParent", "EdsGetPropertySize", "EdsGetPropertyData", "EdsSetPropertyData", "EdsGetPropertyDesc",
    "EdsGetCameraList", "EdsGetDeviceInfo", "EdsOpenSession", "EdsCloseSession", "EdsSendCommand",
    "EdsSendStatusCommand", "EdsSetCapacity", "EdsGetVolumeInfo", "EdsFormatVolume", "EdsGetDirectoryItemInfo",
    "EdsDeleteDirectoryItem", "EdsDownload", "EdsDownloadCancel", "EdsDownloadComplete", "EdsDownloadThumbnail",
    "EdsGetAttribute", "EdsSetAttribute", "EdsCreateFileStream", "EdsCreateMemoryStream", "EdsCreateFileStreamEx",
    "EdsCreateMemoryStreamFromPointer", "EdsGetPointer", "EdsRead", "EdsWrite", "EdsSeek", "EdsGetPosition",
    "EdsGetLength", "EdsCopyData", "EdsSetProgressCallback", "EdsCreateImageRef", "EdsGetImageInfo", "EdsGetImage",
    "EdsSaveImage", "EdsCacheImage", "EdsReflectImageProperty", "EdsCreateEvfImageRef", "EdsDownloadEvfImage",
    "EdsSetCameraAddedHandler", "EdsSetPropertyEventHandler", "EdsSetObjectEventHandler",
    "EdsSetCameraStateEventHandler", "_EdsCreateStream@8", "EdsGetEvent",
};

// Each variable against the address the library exports under the entry point's plain name; empty
// when every one matches, else the names that do not.
std::string variablesAgainst(void* handle)
{
    std::string wrong;
    std::set<QByteArray> variables;
#define CHECK_VARIABLE(name, params)                                                                     \
    variables.insert(#name);                                                                             \
    if (!eds::name || reinterpret_cast<void*>(eds::name) != (handle ? dlsym(handle, #name) : nullptr))  \
        wrong += " " #name;
    EDSDK_ENTRY_POINTS(CHECK_VARIABLE)
#undef CHECK_VARIABLE
    std::set<QByteArray> listed;
    for (const char* name : kListedNames)
        listed.insert(UndecoratedEntryPointName(name));
    if (variables != listed)
        wrong += " (the variables are not the listed entry points)";
    return wrong;
}

bool allVariablesClear()
{
    bool clear = true;
#define CHECK_CLEAR(name, params) clear = clear && !eds::name;
    EDSDK_ENTRY_POINTS(CHECK_CLEAR)
#undef CHECK_CLEAR
    return clear;
}

TEST(EDSDK, ChecksTheVersionTableInOrder)
{
    const SdkRuntimeFile expected[] = {
        {"EDSDK.DLL", {2, 13, 20, 6}},    {"EdsImage.dll", {2, 13, 0, 0}}, {"DPPDLL.dll", {3, 13, 20, 1}},
        {"DPPLibCom.dll", {3, 13, 0, 0}}, {"DPPRSC.dll", {3, 13, 20, 0}}, {"MLib.dll", {1, 3, 0, 6}},
        {"Ucs32P.dll", {3, 1, 5, 1}},
    };
    ASSERT_EQ(EDSDKFiles().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_STREQ(EDSDKFiles()[i].FileName, expected[i].FileName);
        EXPECT_EQ(EDSDKFiles()[i].Version, expected[i].Version) << expected[i].FileName;
    }
}

TEST(EDSDK, LoadsOnceResolvingEveryEntryPoint)
{
    EXPECT_IN_CHILD(([] {
        SdkFolderCopy folder(EDSDKFiles());
        if (!allVariablesClear())
            return std::string("variables set before loading");
        const std::string first = sdkbinding::loadResult(LoadEDSDK);
        if (first != "loaded")
            return first;
        void* handle = dlopen(QFile::encodeName(folder.path("EDSDK.DLL")).constData(), RTLD_NOW | RTLD_NOLOAD);
        const std::string wrong = variablesAgainst(handle);
        if (!wrong.empty())
            return "wrong variables:" + wrong;
        // The second load compares no versions: the runtime files may be gone meanwhile.
        for (const SdkRuntimeFile& file : EDSDKFiles())
            if (QString::fromLatin1(file.FileName) != "EDSDK.DLL")
                folder.remove(QString::fromLatin1(file.FileName));
        folder.setVersion("EDSDK.DLL", {2, 13, 20, 7});
        const std::string second = sdkbinding::loadResult(LoadEDSDK);
        return second + (variablesAgainst(handle).empty() ? "" : " with other variables");
    }),
                    "loaded");
}

TEST(EDSDK, FailuresNameTheFileAndLeaveTheLibraryUnloaded)
{
    const std::string incorrect = " is of incorrect file version. Please update the redist files from TCamRemote zip-file";
    const struct {
        const char* what;
        void (*spoil)(const SdkFolderCopy&);
        std::string raised;
    } rows[] = {
        {"a newer EDSDK.DLL", [](const SdkFolderCopy& f) { f.setVersion("EDSDK.DLL", {2, 13, 20, 7}); }, "EDSDK.DLL" + incorrect},
        {"an older MLib.dll", [](const SdkFolderCopy& f) { f.setVersion("MLib.dll", {1, 3, 0, 5}); }, "MLib.dll" + incorrect},
        {"a newer Ucs32P.dll", [](const SdkFolderCopy& f) { f.setVersion("Ucs32P.dll", {3, 1, 5, 2}); }, "Ucs32P.dll" + incorrect},
        {"no EdsImage.dll", [](const SdkFolderCopy& f) { f.remove("EdsImage.dll"); }, "EdsImage.dll could not be found"},
        {"no EDSDK.DLL", [](const SdkFolderCopy& f) { f.remove("EDSDK.DLL"); }, "EDSDK.DLL could not be found"},
        // A file of the right version that the system cannot load.
        {"EDSDK.DLL not a library", [](const SdkFolderCopy& f) { f.rewrite("EDSDK.DLL", [](QByteArray& b) { b.remove(0, 64); }); },
         "EDSDK.DLL could not be loaded"},
        {"EdsGetEvent not exported", [](const SdkFolderCopy& f) { f.hideEntryPoint("EDSDK.DLL", "EdsGetEvent"); },
         "EDSDK: entry point EdsGetEvent is missing in EDSDK.DLL"},
        {"EdsCreateStream not exported", [](const SdkFolderCopy& f) { f.hideEntryPoint("EDSDK.DLL", "EdsCreateStream"); },
         "EDSDK: entry point _EdsCreateStream@8 is missing in EDSDK.DLL"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        // The failure, then the same process after the files are mended: the next load checks again.
        EXPECT_IN_CHILD(([&] {
            std::string result;
            {
                SdkFolderCopy spoilt(EDSDKFiles());
                r.spoil(spoilt);
                result = sdkbinding::loadResult(LoadEDSDK);
                if (spoilt.isLoaded("EDSDK.DLL"))
                    result += "; EDSDK.DLL stays loaded";
                if (!allVariablesClear())
                    result += "; variables stay set";
            }
            SdkFolderCopy mended(EDSDKFiles());
            return result + "; then " + sdkbinding::loadResult(LoadEDSDK);
        }),
                        "raised " + r.raised + "; then loaded");
    }
}

// At process end the library is freed: an exit handler registered before the load runs after the
// binding's and finds the library gone.
TEST(EDSDK, FreedAtProcessEnd)
{
    static QByteArray libraryPath;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(sdkbinding::runInChild([] {
        static SdkFolderCopy folder(EDSDKFiles()); // outlives the exit handlers
        libraryPath = QFile::encodeName(folder.path("EDSDK.DLL"));
        std::atexit([] {
            void* handle = dlopen(libraryPath.constData(), RTLD_NOW | RTLD_NOLOAD);
            std::fprintf(stderr, "at exit: %s\n", handle ? "still loaded" : "freed");
        });
        const std::string result = sdkbinding::loadResult(LoadEDSDK);
        return result + (folder.isLoaded("EDSDK.DLL") ? " and mapped" : " but not mapped");
    }),
                testing::ExitedWithCode(0), "result: \\[loaded and mapped\\].*at exit: freed");
}

} // namespace
