// The EOS library stand-in as the program meets it: found in the stand-in folder, loaded with
// dlopen, every entry point resolved by name, every runtime file carrying its version note.
#include "support/SdkTestSupport.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

namespace {

// The names the loader resolves, as the Windows library exports them.
const char* const kEntryPoints[] = {
    "EdsInitializeSDK", "EdsTerminateSDK", "EdsRetain", "EdsRelease", "EdsGetChildCount",
    "EdsGetChildAtIndex", "EdsGetParent", "EdsGetPropertySize", "EdsGetPropertyData",
    "EdsSetPropertyData", "EdsGetPropertyDesc", "EdsGetCameraList", "EdsGetDeviceInfo",
    "EdsOpenSession", "EdsCloseSession", "EdsSendCommand", "EdsSendStatusCommand", "EdsSetCapacity",
    "EdsGetVolumeInfo", "EdsFormatVolume", "EdsGetDirectoryItemInfo", "EdsDeleteDirectoryItem",
    "EdsDownload", "EdsDownloadCancel", "EdsDownloadComplete", "EdsDownloadThumbnail",
    "EdsGetAttribute", "EdsSetAttribute", "EdsCreateFileStream", "EdsCreateMemoryStream",
    "EdsCreateFileStreamEx", "EdsCreateMemoryStreamFromPointer", "EdsGetPointer", "EdsRead",
    "EdsWrite", "EdsSeek", "EdsGetPosition", "EdsGetLength", "EdsCopyData", "EdsSetProgressCallback",
    "EdsCreateImageRef", "EdsGetImageInfo", "EdsGetImage", "EdsSaveImage", "EdsCacheImage",
    "EdsReflectImageProperty", "EdsCreateEvfImageRef", "EdsDownloadEvfImage",
    "EdsSetCameraAddedHandler", "EdsSetPropertyEventHandler", "EdsSetObjectEventHandler",
    "EdsSetCameraStateEventHandler", "_EdsCreateStream@8", "EdsGetEvent",
};

TEST(EdsdkStandIn, ExportsEveryEntryPointTheLoaderResolves)
{
    ASSERT_EQ(std::size(kEntryPoints), 54u);
    SdkLibrary lib(sdkBinDir() + "/EDSDK.DLL");
    ASSERT_TRUE(lib.handle) << lib.error;
    for (const char* name : kEntryPoints)
        EXPECT_NE(lib.resolve(name), nullptr) << name;
}

TEST(EdsdkStandIn, LibraryAndRuntimeFilesCarryTheirVersions)
{
    const struct {
        const char* file;
        VersionNote version;
    } cases[] = {
        {"EDSDK.DLL", {2, 13, 20, 6}},  {"EdsImage.dll", {2, 13, 0, 0}}, {"DPPDLL.dll", {3, 13, 20, 1}},
        {"DPPLibCom.dll", {3, 13, 0, 0}}, {"DPPRSC.dll", {3, 13, 20, 0}}, {"MLib.dll", {1, 3, 0, 6}},
        {"Ucs32P.dll", {3, 1, 5, 1}},
    };
    for (const auto& c : cases) {
        const auto found = readVersionNote(sdkBinDir() + "/" + c.file);
        ASSERT_TRUE(found.has_value()) << c.file;
        EXPECT_EQ(*found, c.version) << c.file;
    }
}

} // namespace
