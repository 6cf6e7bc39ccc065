// A newer-PowerShot picture whose hand-over the camera cuts short (on a system older than Vista,
// the only one that starts that SDK): the failure names the call, and no half-written file stays.
#include "SimCamera.h"

#include "TCamRemote/Sources/CamRemote.h"
#include "support/TestHelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using testhelpers::runUntil;

class CamRemotePowerShotNew : public testing::Test {
protected:
    void SetUp() override
    {
        TCamRemote::OSMajorVersion = [] { return std::optional<int>(5); };
        SimCamera::useStandIns();
        qputenv("JEX4_SIMCAM_CAMERAS", "ps-new");
        qputenv("JEX4_SIMCAM_RELEASE_MS", "0");
        const CameraConnectedType names = cam.OpenCameraEnumeration();
        ASSERT_TRUE(sim.attach(QStringLiteral("PRSDK.DLL")));
        ASSERT_EQ(names.PowerShotCameras, QStringList({"PowerShot SimCam N"}));
        ASSERT_EQ(cam.Connect(CamModPowerShot, 0).CameraModelName, "PowerShot SimCam N");
        cam.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    }
    void TearDown() override
    {
        cam.Disconnect();
        cam.CloseCameraEnumeration();
        TCamRemote::OSMajorVersion = [] { return std::optional<int>(6); };
    }

    FakeCamClock clock;
    CamClockScope clockScope{clock};
    TCamRemote cam;
    SimCamera sim;
};

} // namespace

TEST_F(CamRemotePowerShotNew, TransferCutShortLeavesNoFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("IMG.jpg"));
    QString failure;
    bool tried = false;
    cam.setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType&) {
        if (e != RemoteEventCallbackReleaseComplete)
            return;
        sim.SimCam_DisconnectDuringTransfer(5000);
        try {
            cam.RemoteGetPicture(file, PictureTypeFull);
        } catch (const ECamException& x) {
            failure = x.message();
        }
        tried = true;
    });
    cam.RemoteTakePicture();
    ASSERT_TRUE(runUntil([&] { return tried; }, kSimPictureFuseMs));
    EXPECT_EQ(failure, "PR_RC_GetReleasedData errorcode 0x00002007, Incomplete transfer");
    EXPECT_FALSE(QFile::exists(file));
}
