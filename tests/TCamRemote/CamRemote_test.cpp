// The camera component's own logic against recording back-ends: the order of its checks, the
// dispatch rule between the three back-ends, its states, the SDK start and its waits.
#include "CamRemoteFakes.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>

namespace {

// Answers the operating system's version for one test.
class OSVersionScope {
public:
    explicit OSVersionScope(std::optional<int> major) : m_saved(TCamRemote::OSMajorVersion)
    {
        TCamRemote::OSMajorVersion = [major] { return major; };
    }
    ~OSVersionScope() { TCamRemote::OSMajorVersion = m_saved; }

private:
    std::function<std::optional<int>()> m_saved;
};

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

enum class State { Nothing, PowerShot, EOS, PowerShotRemote, EOSRemote, PowerShotLiveView, EOSLiveView };

void enter(FakeCamera& f, State state)
{
    f.cd->cameras = {QStringLiteral("PowerShot A")};
    f.ed->cameras = {QStringLiteral("EOS B")};
    if (state == State::Nothing)
        return;
    f.cam->OpenCameraEnumeration();
    const bool eos = state == State::EOS || state == State::EOSRemote || state == State::EOSLiveView;
    f.cam->Connect(eos ? CamModEOS : CamModPowerShot, 0);
    if (state == State::PowerShot || state == State::EOS)
        return;
    f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic, false, QString());
    if (state == State::PowerShotLiveView || state == State::EOSLiveView)
        f.cam->RemoteStartViewfinder(true);
}

const QString kRemote = QStringLiteral("Camera not in remote mode");
const QString kViewfinder = QStringLiteral("Camera not in viewfinder mode");
const QString kCamera = QStringLiteral("No camera is connected");
const QString kPowerShot = QStringLiteral("Not supported by PowerShot cameras");

} // namespace

// Each check raises before anything reaches a back-end; the first failing check of the operation's
// list names the error.
TEST(CamRemote, ChecksComeInTheirOrderAndStopBeforeTheBackEnd)
{
    struct Case {
        const char* what;
        State state;
        std::function<void(TCamRemote&)> operation;
        QString expected;
    };
    const Case cases[] = {
        {"take picture, nothing connected", State::Nothing, [](TCamRemote& c) { c.RemoteTakePicture(); }, kRemote},
        {"take picture before RemoteStart", State::EOS, [](TCamRemote& c) { c.RemoteTakePicture(); }, kRemote},
        {"owner name without camera", State::Nothing, [](TCamRemote& c) { c.SetOwnerName("x"); }, kCamera},
        {"body id without camera", State::Nothing, [](TCamRemote& c) { c.GetBodyID(); }, kCamera},
        {"zoom, PowerShot in live view", State::PowerShotLiveView,
         [](TCamRemote& c) { c.RemoteSetViewfinderZoom(RemoteViewFinderZoomx5); }, kPowerShot},
        {"zoom, PowerShot without live view", State::PowerShotRemote,
         [](TCamRemote& c) { c.RemoteSetViewfinderZoom(RemoteViewFinderZoomx5); }, kViewfinder},
        {"zoom, EOS without live view", State::EOSRemote,
         [](TCamRemote& c) { c.RemoteSetViewfinderZoom(RemoteViewFinderZoomx5); }, kViewfinder},
        {"zoom, nothing at all", State::Nothing,
         [](TCamRemote& c) { c.RemoteSetViewfinderZoom(RemoteViewFinderZoomx5); }, kViewfinder},
        {"viewfinder output, nothing at all", State::Nothing,
         [](TCamRemote& c) { c.RemoteSetViewfinderOutput(RemoteViewFinderOutputLCD); }, kViewfinder},
        {"shutter, PowerShot", State::PowerShot,
         [](TCamRemote& c) { c.RemotePressShutter(RemoteShutterButtonHalfPressed); }, kPowerShot},
        {"shutter, nothing connected", State::Nothing,
         [](TCamRemote& c) { c.RemotePressShutter(RemoteShutterButtonHalfPressed); }, kCamera},
        {"movie download, PowerShot in remote mode", State::PowerShotRemote,
         [](TCamRemote& c) { c.RemoteGetMovie("m.mov", false); }, kPowerShot},
        {"movie download, EOS before RemoteStart", State::EOS,
         [](TCamRemote& c) { c.RemoteGetMovie("m.mov", false); }, kRemote},
        {"live view before RemoteStart", State::EOS, [](TCamRemote& c) { c.RemoteStartViewfinder(true); }, kRemote},
        {"remote params before RemoteStart", State::PowerShot, [](TCamRemote& c) { c.RemoteGetRemoteParams(); }, kRemote},
        {"end recording that never started", State::EOSRemote, [](TCamRemote& c) { c.RemoteEndMovieRecording(); },
         QStringLiteral("Camera not in movie recording mode")},
        {"second connect", State::EOS, [](TCamRemote& c) { c.Connect(CamModPowerShot, 7); },
         QStringLiteral("Camera already connected.")},
        {"card collection without camera", State::Nothing,
         [](TCamRemote& c) { c.OpenCameraCollection(QString(), false); }, kCamera},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeCamera f;
        enter(f, c.state);
        const int before = f.log.calls.size();
        EXPECT_EQ(messageOf([&] { c.operation(*f.cam); }), c.expected);
        EXPECT_EQ(f.log.calls.mid(before), QStringList()) << "a back-end was reached";
    }
}

TEST(CamRemote, ConnectBeforeAnyScanFailsWithTheEOSBackEndsMessage)
{
    FakeCamera f;
    const QString message = messageOf([&] { f.cam->Connect(CamModEOS, 0); });
    EXPECT_TRUE(message.startsWith("There seems to be no connected EOS cameras connected.")) << message.toStdString();
    EXPECT_EQ(f.cam->CameraInfo().CameraModel, CamModNone);
    // The failure left the connect flag clear: the next connect runs.
    f.ed->cameras = {QStringLiteral("EOS B")};
    EXPECT_EQ(f.cam->Connect(CamModEOS, 0).CameraModel, CamModEOS);
}

// Older-PowerShot cameras come first in the PowerShot list; a number at or beyond their count
// belongs to the newer-PowerShot SDK, which runs only before Vista.
TEST(CamRemote, PowerShotNumbersGoToTheBackEndOfTheirPartOfTheList)
{
    struct Case {
        std::optional<int> osMajor;
        int number;
        QString connectCall;
        CamModType model;
    };
    const Case cases[] = {
        {5, 0, "CD.Connect 0", CamModPowerShot},
        {5, 1, "CD.Connect 1", CamModPowerShot},
        {5, 2, "PR.Connect 2", CamModPowerShot},
        {6, 1, "CD.Connect 1", CamModPowerShot},
        {6, 2, QString(), CamModNone}, // no newer-PowerShot SDK on Vista and later
        {10, 2, QString(), CamModNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        SCOPED_TRACE(*c.osMajor);
        OSVersionScope os(c.osMajor);
        FakeCamera f;
        f.cd->cameras = {QStringLiteral("A"), QStringLiteral("B")};
        f.pr->cameras = {QStringLiteral("C")};
        const CameraConnectedType names = f.cam->OpenCameraEnumeration();
        const bool older = *c.osMajor <= 5;
        EXPECT_EQ(names.PowerShotCameras, older ? QStringList({"A", "B", "C"}) : QStringList({"A", "B"}));
        EXPECT_EQ(f.log.has("PR.InitCommunications"), older);
        EXPECT_EQ(f.cam->Connect(CamModPowerShot, c.number).CameraModel, c.model);
        if (!c.connectCall.isEmpty())
            EXPECT_TRUE(f.log.has(c.connectCall)) << f.log.calls.join(", ").toStdString();
        else
            EXPECT_FALSE(f.log.has("PR.Connect 2"));
        if (c.model == CamModNone) {
            EXPECT_EQ(messageOf([&] { f.cam->RemoteSupported(); }), kCamera);
            continue;
        }
        f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
        f.cam->RemoteTakePicture();
        EXPECT_TRUE(f.log.has(c.connectCall.left(2) + ".RemoteTakePicture"));
    }
}

TEST(CamRemote, ScanStartsTheSdksOnceAndClosingFinishesThem)
{
    OSVersionScope os(6);
    FakeCamera f;
    f.cd->cameras = {QStringLiteral("A")};
    f.ed->cameras = {QStringLiteral("E1"), QStringLiteral("E2")};
    const CameraConnectedType first = f.cam->OpenCameraEnumeration();
    EXPECT_EQ(first.EOSCameras, QStringList({"E1", "E2"}));
    EXPECT_EQ(first.PowerShotCameras, QStringList({"A"}));
    f.cam->OpenCameraEnumeration();
    EXPECT_EQ(f.log.count("CD.InitCommunications"), 1);
    EXPECT_EQ(f.log.count("ED.InitCommunications"), 1);
    EXPECT_EQ(f.log.count("ED.EnumerateCameras"), 2);
    ASSERT_NE(f.cam->NotifyTimer(), nullptr);
    EXPECT_EQ(f.cam->NotifyTimer()->interval(), 25);
    EXPECT_TRUE(f.cam->NotifyTimer()->isActive());

    f.cam->CloseCameraEnumeration();
    EXPECT_EQ(f.log.calls.mid(f.log.calls.size() - 2), QStringList({"CD.FinilizeCommunications", "ED.FinilizeCommunications"}));
    EXPECT_EQ(f.cam->NotifyTimer(), nullptr);
    // Closing twice, and disconnecting without a camera, do nothing and raise nothing.
    const int before = f.log.calls.size();
    EXPECT_EQ(messageOf([&] {
        f.cam->CloseCameraEnumeration();
        f.cam->Disconnect();
    }), QString());
    EXPECT_EQ(f.log.calls.size(), before);
}

TEST(CamRemote, FailedSdkStartIsTriedAgainFromTheFirstSdk)
{
    FakeCamera f;
    f.cd->failInit = true;
    EXPECT_EQ(messageOf([&] { f.cam->OpenCameraEnumeration(); }), "CDStartSDK errorcode 0x00000080, Device not found");
    EXPECT_FALSE(f.log.has("ED.InitCommunications"));
    f.cd->failInit = false;
    f.cam->OpenCameraEnumeration();
    EXPECT_EQ(f.log.count("CD.InitCommunications"), 2);
    EXPECT_EQ(f.log.count("ED.InitCommunications"), 1);
}

TEST(CamRemote, UnknownSystemVersionRefusesTheScan)
{
    OSVersionScope os(std::nullopt);
    FakeCamera f;
    EXPECT_EQ(messageOf([&] { f.cam->OpenCameraEnumeration(); }),
              "other: Could not detect windows version, which is required for EOS-support (StartTheSDKs)");
    EXPECT_TRUE(f.log.calls.isEmpty());
}

TEST(CamRemote, BodyIdAndZoomDependOnTheCameraKind)
{
    {
        FakeCamera f;
        enter(f, State::PowerShotRemote);
        EXPECT_EQ(f.cam->GetBodyID(), QString());
        EXPECT_EQ(f.cam->RemoteGetZoomPos(), (RemoteZoomCapabilityType{3, 4, 12}));
        f.cam->RemoteSetZoomPos(2);
        EXPECT_TRUE(f.log.has("CD.RemoteSetZoomPos"));
    }
    {
        FakeCamera f;
        enter(f, State::EOSRemote);
        EXPECT_EQ(f.cam->GetBodyID(), "0123456789");
        EXPECT_EQ(f.cam->RemoteGetZoomPos(), RemoteZoomCapabilityType{});
        const int before = f.log.calls.size();
        f.cam->RemoteSetZoomPos(2);
        EXPECT_EQ(f.log.calls.size(), before);
    }
}

TEST(CamRemote, LiveViewStopsOnceAndThenRefusesItsOperations)
{
    FakeCamera f;
    f.cam->RemoteStopViewfinder(); // off: nothing happens
    EXPECT_TRUE(f.log.calls.isEmpty());
    enter(f, State::EOSLiveView);
    EXPECT_TRUE(f.cam->TimerEOSViewfinder->isActive());
    EXPECT_EQ(f.cam->TimerEOSViewfinder->interval(), 50);
    f.cam->RemoteSetViewfinderZoom(RemoteViewFinderZoomx10);
    EXPECT_TRUE(f.log.has("ED.RemoteSetViewfinderZoom"));
    f.cam->RemoteStopViewfinder();
    f.cam->RemoteStopViewfinder();
    EXPECT_EQ(f.log.count("ED.RemoteStopViewfinder"), 1);
    EXPECT_FALSE(f.cam->TimerEOSViewfinder->isActive());
    EXPECT_EQ(messageOf([&] { f.cam->RemoteSetViewfinderZoom(RemoteViewFinderZoomFit); }), kViewfinder);
    EXPECT_EQ(messageOf([&] { f.cam->RemoteActivateViewfinderAuto(false); }), kViewfinder);
}

TEST(CamRemote, SingleLiveViewPicturesAreAskedForOneAtATime)
{
    FakeCamera f;
    f.cam->setEOSViewfinderRefreshInterval(0);
    EXPECT_TRUE(f.cam->RemoteGetViewfinderImage()); // no camera: nothing to ask
    enter(f, State::EOSLiveView);
    EXPECT_FALSE(f.cam->TimerEOSViewfinder->isActive()); // no polling
    EXPECT_FALSE(f.cam->RemoteGetViewfinderImage());
    EXPECT_TRUE(f.cam->TimerEOSViewfinder->isActive());
    EXPECT_EQ(f.cam->TimerEOSViewfinder->interval(), 50);
    f.cam->TimerEOSViewfinder->stop();
    EXPECT_FALSE(f.cam->RemoteGetViewfinderImage()); // still pending: not armed again
    EXPECT_FALSE(f.cam->TimerEOSViewfinder->isActive());
    // The tick ends the request (no handler: nothing fetched) and is a single shot.
    f.cam->TimerEOSViewfinder->start();
    f.cam->TimerEOSViewfinderTimer();
    EXPECT_FALSE(f.cam->TimerEOSViewfinder->isActive());
    EXPECT_FALSE(f.cam->RemoteGetViewfinderImage());
    EXPECT_TRUE(f.cam->TimerEOSViewfinder->isActive());
}

TEST(CamRemote, MovieRecordingStatesFollowTheCameraKind)
{
    {
        FakeCamera f;
        enter(f, State::EOSRemote);
        f.cam->RemoteStartMovieRecording();
        EXPECT_EQ(messageOf([&] { f.cam->RemoteStartMovieRecording(); }), "Camera already in recording mode");
        // A new RemoteStart with an EOS camera ends the recording state.
        f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
        f.cam->RemoteStartMovieRecording();
        f.cam->RemoteEndMovieRecording();
        EXPECT_EQ(f.log.count("ED.RemoteStartMovieRecording"), 2);
        EXPECT_EQ(f.log.count("ED.RemoteEndMovieRecording"), 1);
    }
    {
        FakeCamera f;
        enter(f, State::PowerShotRemote);
        f.cam->RemoteStartMovieRecording();
        f.cam->RemoteStartMovieRecording(); // no state was set
        EXPECT_EQ(messageOf([&] { f.cam->RemoteEndMovieRecording(); }), "Camera not in movie recording mode");
    }
}

TEST(CamRemote, RemoteModeAndLiveViewOutliveDisconnect)
{
    FakeCamera f;
    enter(f, State::EOSLiveView);
    f.cam->Disconnect();
    EXPECT_TRUE(f.log.has("ED.Disconnect"));
    EXPECT_EQ(f.cam->CameraInfo().CameraModel, CamModNone);
    // Remote mode and live view are still set: the camera check is the one that fails.
    EXPECT_EQ(messageOf([&] { f.cam->RemoteTakePicture(); }), kCamera);
    EXPECT_EQ(messageOf([&] { f.cam->RemoteSetViewfinderZoom(RemoteViewFinderZoomFit); }), kCamera);
    EXPECT_TRUE(f.cam->TimerEOSViewfinder->isActive());
    f.cam->TimerEOSViewfinderTimer(); // ticks without a camera do nothing
    // RemoteEnd without a camera leaves remote mode set.
    f.cam->RemoteEnd();
    f.cam->Connect(CamModEOS, 0);
    f.cam->RemoteTakePicture();
    EXPECT_TRUE(f.log.has("ED.RemoteTakePicture"));
}

TEST(CamRemote, RemoteStartRecordsTheReleaseSettingsEvenWhenItFails)
{
    FakeCamera f;
    EXPECT_EQ(messageOf([&] {
        f.cam->RemoteStart(ReleaseModeOnlyToCamera, ReleaseDataKingTakeBothThumbAndPic, false, QString());
    }), kCamera);
    EXPECT_EQ(f.cam->ReleaseMode(), ReleaseModeOnlyToCamera);
    EXPECT_EQ(f.cam->ReleaseDataKind(), ReleaseDataKingTakeBothThumbAndPic);
}

TEST(CamRemote, ConnectWaitsThroughTheCameraClockWhileAnotherConnectRuns)
{
    FakeCamClock clock;
    CamClockScope scope(clock);
    FakeCamera f;
    enter(f, State::Nothing);
    f.cam->OpenCameraEnumeration();
    CamRemoteConnectBusy = true;
    clock.onSleep = [&](int) {
        if (clock.sleepCount() == 3)
            CamRemoteConnectBusy = false; // the other connect ends
    };
    EXPECT_EQ(f.cam->Connect(CamModEOS, 0).CameraModel, CamModEOS);
    EXPECT_EQ(clock.sleptMs(), 150);
    EXPECT_FALSE(CamRemoteConnectBusy);
}

TEST(CamRemote, InstancesKeepTheirSlotsAndTheLastOneFreesTheLists)
{
    auto first = std::make_unique<FakeCamera>();
    auto second = std::make_unique<FakeCamera>();
    EXPECT_EQ(second->cam->InstanceNumber(), first->cam->InstanceNumber() + 1);
    EXPECT_EQ(second->ed->mInstanceNumber, uint32_t(second->cam->InstanceNumber()));
    EXPECT_EQ(second->cd->mInstanceNumber, second->cam->InstanceNumber());
    second->cd->cameras = {QStringLiteral("A"), QStringLiteral("B")};
    second->cam->OpenCameraEnumeration();
    const int slotCount = CamRemoteSlotCount();
    first.reset();
    EXPECT_EQ(CamRemoteSlotCount(), slotCount); // slots are not reused or compacted
    EXPECT_EQ(CDCameraList().size(), 2u);
    second.reset();
    EXPECT_EQ(CamRemoteSlotCount(), 0);
    EXPECT_TRUE(CDCameraList().empty());
    FakeCamera third;
    EXPECT_EQ(third.cam->InstanceNumber(), 0);
}

TEST(CamRemote, ReleaseParametersGoThroughTheCameraParameterFile)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("studio.cam"));
    FakeCamera f;
    enter(f, State::EOS);
    EXPECT_EQ(messageOf([&] { f.cam->RemoteSaveCameraRemoteParams(file); }), kRemote);
    EXPECT_FALSE(QFile::exists(file));

    f.cam->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString());
    f.ed->params.ISO = RemoteFormatISO400;
    f.ed->params.Av = RemoteFormatAV5_6;
    f.ed->params.WhiteBalanceSetting = RemoteFormatWBKelvin;
    f.ed->params.WhiteBalanceKelvin = 5200;
    const RemoteReleaseParametersType saved = f.ed->params;
    f.cam->RemoteSaveCameraRemoteParams(file);
    f.ed->params = {};
    f.cam->RemoteLoadCameraRemoteParams(file);
    EXPECT_EQ(f.ed->params, saved);

    // A damaged file reaches no camera.
    QFile damaged(file);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("not a parameter file");
    damaged.close();
    const int before = f.log.calls.size();
    EXPECT_FALSE(messageOf([&] { f.cam->RemoteLoadCameraRemoteParams(file); }).isEmpty());
    EXPECT_EQ(f.log.calls.mid(before), QStringList());
}
