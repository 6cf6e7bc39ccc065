// The camera component over the EOS back-end and the simulated camera, the road the program takes:
// scan, connect, remote mode, live view, release, download, disconnect, close; and the SDK's
// failures reaching the caller with the call's name, code and text.
#include "SimCamera.h"

#include "TCamRemote/Sources/CamRemote.h"
#include "support/TestHelpers.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace {

QString messageOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const ECamException& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QStringLiteral("other: ") + QString::fromUtf8(e.what());
    }
    return QString();
}

// Runs the event loop (the notification timer ticks in it) until `done`, or gives up after 30 s.
using testhelpers::runUntil;

class CamRemoteEOS : public testing::Test {
protected:
    void SetUp() override
    {
        SimCamera::useStandIns();
        qputenv("JEX4_SIMCAM_CAMERAS", "live");
        qputenv("JEX4_SIMCAM_RELEASE_MS", "0");
        const CameraConnectedType names = cam.OpenCameraEnumeration();
        ASSERT_TRUE(sim.attach());
        ASSERT_EQ(names.EOSCameras, QStringList({"EOS SimCam Live"}));
        EXPECT_TRUE(names.PowerShotCameras.isEmpty());
    }
    void TearDown() override
    {
        cam.Disconnect();
        cam.CloseCameraEnumeration();
    }
    void connectAndStart()
    {
        const ConnectInfoType info = cam.Connect(CamModEOS, 0);
        ASSERT_EQ(info.CameraModel, CamModEOS);
        EXPECT_EQ(info.CameraModelName, "EOS SimCam Live");
        cam.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic, false, QString());
    }

    FakeCamClock clock; // the back-end's retries wait on it, not for real
    CamClockScope clockScope{clock};
    TCamRemote cam;
    SimCamera sim;
};

} // namespace

TEST_F(CamRemoteEOS, TheProgramsRoadFromScanToPictureFile)
{
    connectAndStart();
    EXPECT_FALSE(cam.GetBodyID().isEmpty());

    // Live view: the polling timer runs; each tick hands one JPEG with its metadata to the handler.
    std::vector<QImage> frames;
    ViewfinderPositionType metadata;
    cam.setOnViewfinderEvent([&](const QByteArray& jpeg, const ViewfinderPositionType& m) {
        frames.push_back(QImage::fromData(jpeg, "JPEG"));
        metadata = m;
    });
    cam.RemoteStartViewfinder(true);
    ASSERT_TRUE(cam.TimerEOSViewfinder->isActive());
    cam.TimerEOSViewfinderTimer();
    cam.TimerEOSViewfinderTimer();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FALSE(frames[0].isNull());
    EXPECT_TRUE(metadata.Valid);
    EXPECT_GT(metadata.CoordSystem.Width, 0);
    cam.RemoteSetViewfinderOutput(RemoteViewFinderOutputLCD);

    // Release: the camera announces the picture from its own thread; the handler fetches it.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("JEX4_EOSCapture.jpg"));
    std::vector<RemoteEventCallbackType> remote;
    int lastProgress = -1;
    cam.setOnRemoteTakePictureEvent([&](int p) { lastProgress = p; });
    cam.setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType& d) {
        remote.push_back(e);
        if (e == RemoteEventCallbackReleaseImageReady) {
            EXPECT_EQ(d.TypeOfPicture, TypeOfPicturePicture);
            cam.RemoteGetPicture(file, PictureTypeFull);
        }
    });
    cam.RemoteTakePicture();
    ASSERT_TRUE(runUntil([&] { return QFile::exists(file) && lastProgress == 100; }, kSimPictureFuseMs))
        << remote.size() << " remote events, progress " << lastProgress << ", file " << QFile::exists(file)
        << ", queued " << cam.NotifyQueueCount() << ", camera jobs " << sim.SimCam_PendingEvents();
    EXPECT_EQ(remote, std::vector<RemoteEventCallbackType>({RemoteEventCallbackReleaseImageReady}));
    QImageReader reader(file);
    EXPECT_EQ(reader.format(), "jpeg");
    EXPECT_TRUE(reader.size().isValid());
    EXPECT_FALSE(reader.read().isNull());

    cam.RemoteStopViewfinder();
    cam.Disconnect();
    EXPECT_EQ(cam.CameraInfo().CameraModel, CamModNone);
    cam.CloseCameraEnumeration();
    EXPECT_EQ(cam.NotifyTimer(), nullptr);
}

TEST_F(CamRemoteEOS, LiveViewFailuresAreQuietOrNamedAndAlwaysReleaseTheirReferences)
{
    connectAndStart();
    int frames = 0;
    cam.setOnViewfinderEvent([&](const QByteArray&, const ViewfinderPositionType&) { ++frames; });
    cam.RemoteStartViewfinder(true);
    cam.TimerEOSViewfinderTimer(); // one good tick first, so the camera's own objects exist
    const int live = sim.SimCam_LiveObjects();

    for (const uint32_t quiet : {0x61u, 0x81u, 0xA102u}) {
        sim.SimCam_FailNext("EdsDownloadEvfImage", quiet, 1);
        EXPECT_EQ(messageOf([&] { cam.TimerEOSViewfinderTimer(); }), QString()) << quiet;
    }
    sim.SimCam_FailNext("EdsDownloadEvfImage", 0x8D01, 1);
    EXPECT_EQ(messageOf([&] { cam.TimerEOSViewfinderTimer(); }),
              "EdsDownloadEvfImage errorcode 0x00008D01, Take picture error, focus failed");
    sim.SimCam_FailNext("EdsCreateEvfImageRef", 0x03, 1);
    EXPECT_EQ(messageOf([&] { cam.TimerEOSViewfinderTimer(); }),
              "EdsCreateEvfImageRef errorcode 0x00000003, Memory allocation failed");
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(sim.SimCam_LiveObjects(), live) << "a stream or picture reference was kept";
    cam.TimerEOSViewfinderTimer();
    EXPECT_EQ(frames, 2);
}

// The series window's picture handler lets the event loop run, and a click on Change meanwhile
// disconnects the camera, ends the SDK session, perhaps connects again. The tick that called the
// handler must not give back SDK references that went with the session (or now name others).
TEST_F(CamRemoteEOS, LiveViewHandlerMayDisconnectOrSwitchTheCamera)
{
    const struct {
        const char* what;
        std::function<void(TCamRemote&)> meanwhile;
        int laterFrames; // what the next tick delivers
    } rows[] = {
        {"disconnect", [](TCamRemote& c) { c.Disconnect(); }, 0},
        {"disconnect and close the scan",
         [](TCamRemote& c) {
             c.Disconnect();
             c.CloseCameraEnumeration();
         },
         0},
        {"choose the camera again",
         [](TCamRemote& c) {
             c.Disconnect();
             c.CloseCameraEnumeration();
             c.OpenCameraEnumeration();
             c.Connect(CamModEOS, 0);
             c.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic, false, QString());
             c.RemoteStartViewfinder(true);
         },
         1},
    };
    for (const auto& r : rows) {
        cam.Disconnect();
        cam.CloseCameraEnumeration();
        cam.OpenCameraEnumeration();
        connectAndStart();
        int frames = 0;
        bool switched = false;
        cam.setOnViewfinderEvent([&](const QByteArray& jpeg, const ViewfinderPositionType&) {
            ++frames;
            EXPECT_FALSE(QImage::fromData(jpeg, "JPEG").isNull()) << r.what;
            if (!std::exchange(switched, true))
                r.meanwhile(cam);
        });
        cam.RemoteStartViewfinder(true);
        EXPECT_EQ(messageOf([&] { cam.TimerEOSViewfinderTimer(); }), QString()) << r.what;
        ASSERT_EQ(frames, 1) << r.what;
        EXPECT_EQ(messageOf([&] { cam.TimerEOSViewfinderTimer(); }), QString()) << r.what;
        EXPECT_EQ(frames, 1 + r.laterFrames) << r.what;
        cam.setOnViewfinderEvent(nullptr);
    }
}

// An unplugged camera answers every live-view download with "disconnected" until its state event
// has been handled; the ticks meanwhile stay quiet, and nothing is delivered.
TEST_F(CamRemoteEOS, AnUnpluggedCameraLeavesTheLiveViewQuiet)
{
    connectAndStart();
    int frames = 0;
    cam.setOnViewfinderEvent([&](const QByteArray&, const ViewfinderPositionType&) { ++frames; });
    cam.RemoteStartViewfinder(true);
    cam.TimerEOSViewfinderTimer();
    ASSERT_EQ(frames, 1);
    const int live = sim.SimCam_LiveObjects();
    const int downloads = sim.SimCam_CallCount("EdsDownloadEvfImage");
    ASSERT_EQ(sim.SimCam_Unplug(0), 0);
    for (int tick = 0; tick < 3; ++tick)
        EXPECT_EQ(messageOf([&] { cam.TimerEOSViewfinderTimer(); }), QString()) << tick;
    EXPECT_EQ(sim.SimCam_CallCount("EdsDownloadEvfImage"), downloads + 3);
    EXPECT_EQ(frames, 1);
    EXPECT_LE(sim.SimCam_LiveObjects(), live) << "a stream or picture reference was kept";
}

// The timer's tick runs inside the event loop: a failed picture is handed to the program's log,
// nothing unwinds through the loop, and the next tick delivers again.
TEST_F(CamRemoteEOS, AFailedLiveViewTickStaysInsideTheTimer)
{
    connectAndStart();
    int frames = 0;
    cam.setOnViewfinderEvent([&](const QByteArray&, const ViewfinderPositionType&) { ++frames; });
    sim.SimCam_FailNext("EdsDownloadEvfImage", 0x8D01, 2);
    cam.RemoteStartViewfinder(true);
    bool escaped = false;
    try {
        EXPECT_TRUE(runUntil([&] { return frames == 1; }));
    } catch (...) {
        escaped = true;
    }
    sim.SimCam_FailNext("EdsDownloadEvfImage", 0, 0); // nothing armed is left for the next test
    EXPECT_FALSE(escaped) << "an exception left the timer's tick";
    EXPECT_GE(sim.SimCam_CallCount("EdsDownloadEvfImage"), 3);
    EXPECT_TRUE(cam.TimerEOSViewfinder->isActive());
}

// With the interval 0 the caller asks for each picture; it arrives about 50 ms later, and the
// timer stops after it, so nothing more comes until the next request.
TEST_F(CamRemoteEOS, SingleLiveViewPicturesArriveOnRequest)
{
    cam.setEOSViewfinderRefreshInterval(0);
    connectAndStart();
    int frames = 0;
    cam.setOnViewfinderEvent([&](const QByteArray&, const ViewfinderPositionType&) { ++frames; });
    cam.RemoteStartViewfinder(true);
    EXPECT_FALSE(cam.TimerEOSViewfinder->isActive());
    for (int request = 1; request <= 2; ++request) {
        SCOPED_TRACE(request);
        EXPECT_FALSE(cam.RemoteGetViewfinderImage());
        EXPECT_FALSE(cam.RemoteGetViewfinderImage()); // asked again while one is on its way: still one
        EXPECT_TRUE(cam.TimerEOSViewfinder->isActive());
        ASSERT_TRUE(runUntil([&] { return frames >= request; }));
        EXPECT_EQ(frames, request);
        EXPECT_FALSE(cam.TimerEOSViewfinder->isActive());
    }
}

TEST_F(CamRemoteEOS, SdkFailuresReachTheCallerWithTheCallsNameCodeAndText)
{
    connectAndStart();
    struct Case {
        uint32_t code;
        QString text;
    };
    const Case cases[] = {
        {0x81, "EdsSendCommand errorcode 0x00000081, Device busy"},
        {0xA102, "EdsSendCommand errorcode 0x0000A102, PTP vendor object not ready"},
        {0x8D06, "EdsSendCommand errorcode 0x00008D06, Take picture error, card not installed"},
        {0x2019, "EdsSendCommand errorcode 0x00002019, Unkown error"},
    };
    for (const Case& c : cases) {
        sim.SimCam_FailNext("EdsSendCommand", c.code, 1);
        EXPECT_EQ(messageOf([&] { cam.RemoteTakePicture(); }), c.text);
    }
    EXPECT_EQ(messageOf([&] { cam.RemoteGetPicture(QStringLiteral("x.jpg"), PictureTypeFull); }),
              "There are no pictures to download");
}

// The camera's announcement that it will switch itself off soon is answered on the GUI thread.
TEST_F(CamRemoteEOS, SwitchOffAnnouncementFromTheCamerasThreadExtendsItsTimer)
{
    connectAndStart();
    std::vector<EventCallbackType> events;
    cam.setOnEvent([&](const EventCallbackType& e) { events.push_back(e); });
    const int commands = sim.SimCam_CallCount("EdsSendCommand");
    ASSERT_EQ(sim.SimCam_RaiseEvent(0, kEdsStateEvent_WillSoonShutDown, 0), 0);
    ASSERT_EQ(sim.SimCam_RaiseEvent(0, kEdsPropertyEvent_PropertyChanged, kEdsPropID_ISOSpeed), 0);
    EXPECT_TRUE(runUntil([&] { return !events.empty() && sim.SimCam_CallCount("EdsSendCommand") > commands; }));
    EXPECT_EQ(sim.SimCam_CallCount("EdsSendCommand"), commands + 1);
    EXPECT_EQ(events, std::vector<EventCallbackType>({{EventSeverityInfo, EventRemoteParameterChanged}}));
}

// A recording that ends puts a movie on the card; the camera names it with an upper-case ".MOV",
// so it goes on the movie list and is fetched as a movie.
TEST_F(CamRemoteEOS, AFinishedRecordingIsAnnouncedAndFetchedAsAMovie)
{
    connectAndStart();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("movie.mov"));
    std::vector<RemoteEventCallbackType> remote;
    cam.setOnRemoteEvent([&](RemoteEventCallbackType e, const AdditionNotifyRemoteEventType&) {
        remote.push_back(e);
        if (e == RemoteEventCallbackReleaseMovieReady)
            cam.RemoteGetMovie(file, true);
    });
    cam.RemoteStartViewfinder(true); // the camera films only with live view on
    cam.RemoteStartMovieRecording();
    cam.RemoteEndMovieRecording();
    ASSERT_TRUE(runUntil([&] { return QFile::exists(file); }, kSimPictureFuseMs));
    EXPECT_EQ(remote, std::vector<RemoteEventCallbackType>({RemoteEventCallbackReleaseMovieReady}));
    EXPECT_EQ(messageOf([&] { cam.RemoteGetMovie(file, true); }), "There are no movies to download");
}
