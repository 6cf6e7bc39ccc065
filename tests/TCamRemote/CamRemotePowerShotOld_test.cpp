// The camera component over the older-PowerShot back-end and its simulated camera: the callbacks of
// that SDK, called from its own thread, reach the component's events through the queue.
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

using testhelpers::runUntil;

class CamRemotePowerShotOld : public testing::Test {
protected:
    void SetUp() override
    {
        SimCamera::useStandIns();
        qputenv("JEX4_SIMCAM_CAMERAS", "ps-old,live");
        const CameraConnectedType names = cam.OpenCameraEnumeration();
        ASSERT_TRUE(sim.attach(QStringLiteral("CDSDK.DLL")));
        ASSERT_EQ(names.PowerShotCameras.size(), 1);
        ASSERT_EQ(names.EOSCameras, QStringList({"EOS SimCam Live"}));
        const ConnectInfoType info = cam.Connect(CamModPowerShot, 0);
        ASSERT_EQ(info.CameraModel, CamModPowerShot);
    }
    void TearDown() override
    {
        cam.Disconnect();
        cam.CloseCameraEnumeration();
    }

    FakeCamClock clock;
    CamClockScope clockScope{clock};
    TCamRemote cam;
    SimCamera sim;
};

} // namespace

TEST_F(CamRemotePowerShotOld, ReleaseProgressAndPictureArriveThroughTheQueue)
{
    EXPECT_EQ(cam.GetBodyID(), QString()); // PowerShot cameras have none to give
    cam.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("IMG.jpg"));
    std::vector<RemoteEventCallbackType> remote;
    int pictures = -1;
    int lastProgress = -1;
    cam.setOnRemoteTakePictureEvent([&](int p) { lastProgress = p; });
    cam.setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType& d) {
        remote.push_back(e);
        if (e == RemoteEventCallbackReleaseComplete) {
            pictures = d.NumOfEvents;
            cam.RemoteGetPicture(file, PictureTypeFull);
        }
    });
    cam.RemoteTakePicture();
    ASSERT_TRUE(runUntil([&] { return QFile::exists(file) && lastProgress == 100; }, kSimPictureFuseMs));
    EXPECT_EQ(remote, std::vector<RemoteEventCallbackType>({RemoteEventCallbackReleaseStart,
                                                            RemoteEventCallbackReleaseComplete}));
    EXPECT_EQ(pictures, 1);
    QImageReader reader(file);
    EXPECT_EQ(reader.size(), QSize(2048, 1536));
}

TEST_F(CamRemotePowerShotOld, LiveViewPicturesFromTheSdksThreadReachTheHandler)
{
    cam.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    int frames = 0;
    bool decodable = true;
    cam.setOnViewfinderEvent([&](const QByteArray& jpeg, const ViewfinderPositionType&) {
        ++frames;
        decodable = decodable && jpeg.startsWith("\xFF\xD8");
    });
    cam.RemoteStartViewfinder(false);
    EXPECT_TRUE(runUntil([&] { return frames >= 3; }));
    cam.RemoteStopViewfinder();
    EXPECT_TRUE(decodable);
}

TEST_F(CamRemotePowerShotOld, CameraEventsArriveAndTheSwitchOffAnnouncementIsAnswered)
{
    std::vector<EventCallbackType> events;
    cam.setOnEvent([&](const EventCallbackType& e) { events.push_back(e); });
    const int reads = sim.SimCam_CallCount("CDGetDevicePropertyData");
    ASSERT_EQ(sim.SimCam_RaiseEvent(0, 0x00020001, 4), 0); // battery weak, a warning
    ASSERT_EQ(sim.SimCam_RaiseEvent(0, 0x00000005, 0), 0); // switching off soon
    ASSERT_EQ(sim.SimCam_RaiseEvent(0, 0x0004000D, 0), 0); // connection gone
    ASSERT_TRUE(runUntil([&] { return events.size() >= 2 && sim.SimCam_CallCount("CDGetDevicePropertyData") > reads; }));
    EXPECT_EQ(events, std::vector<EventCallbackType>({{EventSeverityWarning, EventBatteryLevelWeak},
                                                      {EventSeverityClosing, EventConnectionDisappeared}}));
}
