// The camera component over the newer-PowerShot back-end and its simulated camera, on a system that
// starts that SDK (before Vista): scan, connect, remote release, the picture handed over into a
// file, live view, and the SDK's failures reaching the caller with the call's name, code and text.
#include "SimCamera.h"

#include "TCamRemote/Sources/CamRemote.h"
#include "support/TestHelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// Runs the event loop (the notification timer ticks in it) until `done`, or gives up after 30 s.
using testhelpers::runUntil;

class CamRemotePowerShot : public testing::Test {
protected:
    void SetUp() override
    {
        TCamRemote::OSMajorVersion = [] { return std::optional<int>(5); }; // Windows XP
        SimCamera::useStandIns();
        qputenv("JEX4_SIMCAM_CAMERAS", "ps-new");
        qputenv("JEX4_SIMCAM_RELEASE_MS", "0");
        const CameraConnectedType names = cam.OpenCameraEnumeration();
        EXPECT_EQ(names.PowerShotCameras, QStringList{"PowerShot SimCam N"});
        EXPECT_TRUE(names.EOSCameras.isEmpty());
        const ConnectInfoType info = cam.Connect(CamModPowerShot, 0);
        ASSERT_EQ(info.CameraModel, CamModPowerShot);
        EXPECT_EQ(info.CameraModelName, QStringLiteral("PowerShot SimCam N"));
        EXPECT_EQ(info.Battery.BatterySource, BatterySourceLitium);
    }
    void TearDown() override
    {
        cam.Disconnect();
        EXPECT_EQ(cam.CameraInfo().CameraModel, CamModNone);
        cam.CloseCameraEnumeration();
        TCamRemote::OSMajorVersion = m_savedVersion;
    }

    TCamRemote cam;

private:
    std::function<std::optional<int>()> m_savedVersion = TCamRemote::OSMajorVersion;
};

} // namespace

TEST_F(CamRemotePowerShot, ReleasedPictureIsWrittenToTheFileAsked)
{
    cam.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("powershot.jpg"));
    std::vector<RemoteEventCallbackType> remote;
    bool fetched = false;
    cam.setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType&) {
        remote.push_back(e);
        if (e == RemoteEventCallbackReleaseComplete && !fetched) {
            fetched = true;
            cam.RemoteGetPicture(file, PictureTypeFull);
        }
    });
    cam.RemoteTakePicture();
    ASSERT_TRUE(runUntil([&] { return fetched; }, kSimPictureFuseMs)) << "no picture announced";
    ASSERT_TRUE(QFile::exists(file));
    QImageReader reader(file);
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_EQ(reader.size(), QSize(2592, 1944));
    EXPECT_FALSE(reader.read().isNull());
    EXPECT_EQ(remote.front(), RemoteEventCallbackReleaseComplete);
}

TEST_F(CamRemotePowerShot, LiveViewPicturesReachTheHandler)
{
    cam.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    std::vector<QImage> frames;
    cam.setOnViewfinderEvent([&](const QByteArray& jpeg, const ViewfinderPositionType&) {
        frames.push_back(QImage::fromData(jpeg, "JPEG"));
    });
    cam.RemoteStartViewfinder(false);
    ASSERT_TRUE(runUntil([&] { return frames.size() >= 2; }));
    cam.RemoteStopViewfinder();
    EXPECT_EQ(frames.front().size(), QSize(320, 240));
}

TEST_F(CamRemotePowerShot, SdkFailuresReachTheCallerWithTheCallsNameCodeAndText)
{
    SimCamera sim;
    ASSERT_TRUE(sim.attach(QStringLiteral("PRSDK.DLL")));
    cam.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    sim.SimCam_FailNext("PR_RC_Release", 0x2019, 1);
    try {
        cam.RemoteTakePicture();
        ADD_FAILURE() << "released";
    } catch (const ECamException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("PR_RC_Release errorcode 0x00002019, Device busy"));
    }
    try {
        cam.RemoteStart(ReleaseModeBothPCAndCamera, ReleaseDataKindTakeOnlyPicture, false, QString());
        ADD_FAILURE() << "started";
    } catch (const ECamException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Release to both camera and PC does not work for the connected camera"));
    }
}
