// The fault folders the build makes for the loader's tests: each holds one stand-in library's
// files with exactly one thing wrong, and everything else as in the stand-in folder.
#include "support/SdkTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

struct StandIn {
    const char* stem;
    const char* library;
    VersionNote version;
    std::vector<const char*> runtime; // the first is the one the missing-runtime folder lacks
    const char* omitted;              // the entry point the missing-entry-point library lacks
    const char* present;              // one it still exports
};

const std::vector<StandIn>& standIns()
{
    static const std::vector<StandIn> all = {
        {"edsdk", "EDSDK.DLL", {2, 13, 20, 6},
         {"EdsImage.dll", "DPPDLL.dll", "DPPLibCom.dll", "DPPRSC.dll", "MLib.dll", "Ucs32P.dll"},
         "EdsGetEvent", "EdsInitializeSDK"},
        {"prsdk", "PRSDK.DLL", {1, 1, 0, 20}, {"PRLIB.dll"}, "PR_RC_FocusUnlock", "PR_RC_FocusLock"},
        {"cdsdk", "CDSDK.DLL", {7, 3, 0, 6},
         {"cdDcd.dll", "cdDvlp.dll", "cdParse.dll", "CDPROC.exe", "CDPROCMN.exe", "CDPTPCLS.dll", "CDPTPCLT.dll",
          "CDRAPCLS.dll", "EWatch.exe", "IWrap.dll", "psCamDat.dll"},
         "CDGetDZoomMagnification", "CDGetZoomPos"},
    };
    return all;
}

bool exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

TEST(SdkFaultFolders, EachFolderHasExactlyItsOneFault)
{
    for (const StandIn& s : standIns()) {
        SCOPED_TRACE(s.stem);
        const std::string stem = s.stem;
        VersionNote newer = s.version;
        ++newer.build;

        const std::string wrong = sdkFaultDir(stem + "-wrong-version");
        EXPECT_EQ(readVersionNote(wrong + "/" + s.library), newer);
        SdkLibrary wrongLibrary(wrong + "/" + s.library);
        EXPECT_TRUE(wrongLibrary.handle) << wrongLibrary.error; // only its version is wrong

        const std::string missingRuntime = sdkFaultDir(stem + "-missing-runtime");
        EXPECT_FALSE(exists(missingRuntime + "/" + s.runtime[0]));
        EXPECT_EQ(readVersionNote(missingRuntime + "/" + s.library), s.version);

        const std::string missingLibrary = sdkFaultDir(stem + "-missing-library");
        EXPECT_FALSE(exists(missingLibrary + "/" + s.library));

        const std::string notLoadable = sdkFaultDir(stem + "-not-loadable");
        EXPECT_EQ(readVersionNote(notLoadable + "/" + s.library), s.version);
        SdkLibrary broken(notLoadable + "/" + s.library);
        EXPECT_FALSE(broken.handle);

        const std::string missingEntry = sdkFaultDir(stem + "-missing-entry-point");
        EXPECT_EQ(readVersionNote(missingEntry + "/" + s.library), s.version);
        SdkLibrary partial(missingEntry + "/" + s.library);
        ASSERT_TRUE(partial.handle) << partial.error;
        EXPECT_EQ(partial.resolve(s.omitted), nullptr);
        EXPECT_NE(partial.resolve(s.present), nullptr);
        EXPECT_NE(partial.resolve("SimCam_FailNext"), nullptr);

        // Every runtime file the folder is not meant to lack is there with its version.
        for (const std::string& folder : {wrong, missingLibrary, notLoadable, missingEntry, missingRuntime}) {
            for (const char* file : s.runtime) {
                if (folder == missingRuntime && file == s.runtime[0])
                    continue;
                const auto found = readVersionNote(folder + "/" + file);
                EXPECT_TRUE(found.has_value()) << folder << "/" << file;
                EXPECT_EQ(found, readVersionNote(sdkBinDir() + "/" + file)) << folder << "/" << file;
            }
        }
    }
}

} // namespace
