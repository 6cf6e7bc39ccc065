// The program's own loader against the fault folders: each folder's one fault ends the load with
// the failure text the loader gives for it, and the stand-in folder itself loads.
#include "TCamRemote/Sources/CDAPI.h"
#include "TCamRemote/Sources/EDSDK.h"
#include "TCamRemote/Sources/PRAPI.h"
#include "support/SdkTestSupport.h"

#include <QByteArray>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace {

// The failure text of a load from `folder`, empty when it loads.
std::string loadFrom(const std::string& folder, const std::function<void()>& load)
{
    qputenv("JEX4_CAMERA_SDK_PATH", QByteArray::fromStdString(folder));
    qunsetenv("LD_LIBRARY_PATH");
    try {
        load();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

const std::string kUpdate = " is of incorrect file version. Please update the redist files from TCamRemote zip-file";

struct FaultCase {
    const char* folder;
    std::string expected;
};

// Cases run in order in one process: a library that loads stays loaded, so the good folder comes last.
void checkLibrary(const char* stem, const std::function<void()>& load, const std::vector<FaultCase>& cases)
{
    for (const FaultCase& c : cases)
        EXPECT_EQ(loadFrom(sdkFaultDir(std::string(stem) + "-" + c.folder), load), c.expected) << stem << " " << c.folder;
    EXPECT_EQ(loadFrom(sdkBinDir(), load), "") << stem;
}

TEST(SdkFaultLoading, EachEosFaultEndsTheLoadWithItsTextAndTheStandInsLoad)
{
    checkLibrary("edsdk", LoadEDSDK,
                 {
                     {"wrong-version", "EDSDK.DLL" + kUpdate},
                     {"missing-runtime", "EdsImage.dll could not be found"},
                     {"missing-library", "EDSDK.DLL could not be found"},
                     {"not-loadable", "EDSDK.DLL could not be loaded"},
                     {"missing-entry-point", "EDSDK: entry point EdsGetEvent is missing in EDSDK.DLL"},
                 });
    ASSERT_NE(eds::EdsInitializeSDK, nullptr);
    EXPECT_EQ(eds::EdsInitializeSDK(), 0u);
    EXPECT_EQ(eds::EdsTerminateSDK(), 0u);
}

TEST(SdkFaultLoading, EachNewerPowerShotFaultEndsTheLoadWithItsTextAndTheStandInsLoad)
{
    checkLibrary("prsdk", LoadPRSDK,
                 {
                     {"wrong-version", "PRSDK.dll" + kUpdate},
                     {"missing-runtime", "PRLIB.dll could not be found"},
                     {"missing-library", "PRSDK.dll could not be found"},
                     {"not-loadable", "PRSDK.DLL could not be loaded"},
                     {"missing-entry-point", "PRAPI: entry point PR_RC_FocusUnlock is missing in PRSDK.DLL"},
                 });
    ASSERT_NE(pr::PR_StartSDK, nullptr);
    EXPECT_EQ(pr::PR_StartSDK(), 0u);
    EXPECT_EQ(pr::PR_FinishSDK(), 0u);
}

TEST(SdkFaultLoading, EachOlderPowerShotFaultEndsTheLoadWithItsTextAndTheStandInsLoad)
{
    checkLibrary("cdsdk", LoadCDSDK,
                 {
                     {"wrong-version", "CDSDK.dll" + kUpdate},
                     {"missing-runtime", "cdDcd.dll could not be found"},
                     {"missing-library", "CDSDK.dll could not be found"},
                     {"not-loadable", "CDSDK.DLL could not be loaded"},
                     {"missing-entry-point", "CDAPI: entry point CDGetDZoomMagnification is missing in CDSDK.DLL"},
                 });
    ASSERT_NE(cd::CDGetSDKVersion, nullptr);
    cdVersionInfo version{};
    EXPECT_EQ(cd::CDGetSDKVersion(&version), 0u);
    EXPECT_EQ(version.MajorVersion, 7u);
}

} // namespace
