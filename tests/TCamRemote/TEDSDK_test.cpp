// The EOS back-end against the simulated camera of the EDSDK.DLL stand-in, loaded through the binding:
// call sequences, the texts of SDK failures, retries on the test clock, downloads that never leave a
// half-written file, the card collection, and the release parameters with the probe and its cache.
#include "TCamRemote/Sources/TEDSDK.h"

#include "TCamRemote/Sources/CamConverters.h"
#include "TCamRemote/Sources/CamRemote.h"
#include "TCamRemote/Sources/CamParamFiles.h"
#include "TCamRemote/Sources/EDSDK.h"

#include "SimCamera.h"
#include "simcam_control.h"
#include "support/TestHelpers.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <type_traits>
#include <vector>

namespace {

// The simulated camera's control functions, found in the library the binding loaded.
struct SimCam {
    pfn_SimCam_Reset Reset = nullptr;
    pfn_SimCam_SetCameras SetCameras = nullptr;
    pfn_SimCam_FailNext FailNext = nullptr;
    pfn_SimCam_CallCount CallCount = nullptr;
    pfn_SimCam_DisconnectDuringTransfer DisconnectDuringTransfer = nullptr;
    pfn_SimCam_WaitIdle WaitIdle = nullptr;
    pfn_SimCam_SetProperty SetProperty = nullptr;
    pfn_SimCam_LiveObjects LiveObjects = nullptr;
    pfn_SimCam_RefuseValue RefuseValue = nullptr;

    static SimCam& get()
    {
        static SimCam sim = [] {
            SimCam s;
            void* handle = dlopen(JEX4_SDK_BIN_DIR "/EDSDK.DLL", RTLD_NOW | RTLD_NOLOAD);
            EXPECT_NE(handle, nullptr) << "the binding has not loaded the stand-in";
            const auto find = [handle](auto& fn, const char* name) {
                fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
                EXPECT_NE(fn, nullptr) << name;
            };
            find(s.Reset, "SimCam_Reset");
            find(s.SetCameras, "SimCam_SetCameras");
            find(s.FailNext, "SimCam_FailNext");
            find(s.CallCount, "SimCam_CallCount");
            find(s.DisconnectDuringTransfer, "SimCam_DisconnectDuringTransfer");
            find(s.WaitIdle, "SimCam_WaitIdle");
            find(s.SetProperty, "SimCam_SetProperty");
            find(s.LiveObjects, "SimCam_LiveObjects");
            find(s.RefuseValue, "SimCam_RefuseValue");
            return s;
        }();
        return sim;
    }
};

std::string raised(const std::function<void()>& work)
{
    try {
        work();
    } catch (const ECamException& e) {
        return e.what();
    }
    return "nothing raised";
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

uint32_t readProperty(void* camera, EdsPropertyID id)
{
    uint32_t v = 0;
    EXPECT_EQ(eds::EdsGetPropertyData(static_cast<EdsBaseRef>(camera), id, 0, sizeof v, &v), 0u) << std::hex << id;
    return v;
}

EdsError writeProperty(void* camera, EdsPropertyID id, uint32_t v)
{
    return eds::EdsSetPropertyData(static_cast<EdsBaseRef>(camera), id, 0, sizeof v, &v);
}

// Collects the items the camera announces, as the component's object event handler does.
struct Announced {
    std::mutex lock;
    std::vector<EdsBaseRef> released;
    std::vector<EdsBaseRef> onCard;
};

EdsError collectObject(EdsObjectEvent event, EdsBaseRef ref, EdsVoid* context)
{
    auto* announced = static_cast<Announced*>(context);
    std::lock_guard<std::mutex> hold(announced->lock);
    if (event == kEdsObjectEvent_DirItemRequestTransfer)
        announced->released.push_back(ref);
    else if (event == kEdsObjectEvent_DirItemCreated)
        announced->onCard.push_back(ref);
    else if (ref)
        eds::EdsRelease(ref);
    return 0;
}

class TEDSDKTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qputenv("JEX4_CAMERA_SDK_PATH", JEX4_SDK_BIN_DIR);
        LoadEDSDK();
    }

    void SetUp() override { start(); }

    void start(const char* camera = "live")
    {
        sim().Reset();
        sim().SetCameras(camera);
        sdk.InitCommunications();
        QStringList names;
        sdk.EnumerateCameras(names);
        ASSERT_FALSE(names.isEmpty());
        info = sdk.Connect(nullptr, 0, 0);
        started = true;
    }

    void TearDown() override { stop(); }

    void stop()
    {
        if (!started)
            return;
        sim().WaitIdle(30000);
        sdk.Disconnect();
        for (void* camera : EOSCameraList())
            eds::EdsRelease(static_cast<EdsBaseRef>(camera));
        EOSCameraList().clear();
        sdk.FinilizeCommunications();
        started = false;
    }

    // Releases a picture and puts it on the back-end's download list.
    void takePicture()
    {
        ASSERT_EQ(eds::EdsSetObjectEventHandler(static_cast<EdsBaseRef>(sdk.mCameraDevice), kEdsObjectEvent_All,
                                                collectObject, &announced),
                  0u);
        sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString(), nullptr, 0);
        const size_t before = sdk.mPicList.size();
        sdk.RemoteTakePicture(0);
        ASSERT_TRUE(sim().WaitIdle(30000));
        std::lock_guard<std::mutex> hold(announced.lock);
        ASSERT_FALSE(announced.released.empty()) << "the camera announced no picture";
        for (EdsBaseRef item : announced.released)
            sdk.AddPictureToDownload(item);
        announced.released.clear();
        ASSERT_GT(sdk.mPicList.size(), before);
    }

    int calls(const char* name) { return sim().CallCount(name); }
    static SimCam& sim() { return SimCam::get(); }

    FakeCamClock clock;
    CamClockScope clockScope{clock};
    TEDSDK sdk;
    ConnectInfoType info;
    Announced announced;
    QTemporaryDir dir;
    bool started = false;
};

} // namespace

TEST(EDSDKCheckTest, FailuresReadAsTheCallTheCodeAndTheSDKText)
{
    const struct {
        uint32_t code;
        const char* name;
        const char* expected;
    } cases[] = {
        {0x81, "EdsSendCommand", "EdsSendCommand errorcode 0x00000081, Device busy"},
        {0xC1, "EdsDownload", "EdsDownload errorcode 0x000000C1, Communication disconnected"},
        {0x8D01, "EdsSendCommand", "EdsSendCommand errorcode 0x00008D01, Take picture error, focus failed"},
        {0xA1028D01, "EdsSendCommand", "EdsSendCommand errorcode 0xA1028D01, Take picture error, focus failed"},
        {0x52, "EdsGetPropertyData, kEdsPropID_OwnerName",
         "EdsGetPropertyData, kEdsPropID_OwnerName errorcode 0x00000052, Unkown error"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(raised([&] { EDSDKCheck(c.code, QString::fromLatin1(c.name)); }), c.expected);
    EXPECT_EQ(raised([] { EDSDKCheck(0, QStringLiteral("EdsOpenSession")); }), "nothing raised");
}

TEST_F(TEDSDKTest, ConnectReportsTheCameraAndRefusesNumbersOutsideTheList)
{
    EXPECT_EQ(info.CameraModel, CamModEOS);
    EXPECT_EQ(info.CameraModelName, QStringLiteral("EOS SimCam Live"));
    EXPECT_EQ(info.Battery.BatterySource, BatterySourceAC); // the simulator runs on mains by default
    EXPECT_EQ(info.Battery.BatteryStatus, BatteryStatusNormal);

    TEDSDK other;
    const int count = int(EOSCameraList().size());
    EXPECT_EQ(raised([&] { other.Connect(nullptr, count, 0); }),
              "Not valid value in parameter ConnectToCamera when calling Connect. There are only "
                  + std::to_string(count) + " EOS cameras connected. Currently is parameter ConnectToCamera = "
                  + std::to_string(count));
    EXPECT_EQ(raised([&] { other.Connect(nullptr, -1, 0); }),
              "Not valid value in parameter ConnectToCamera when calling Connect. Value must be at least zero. "
              "Currently ConnectToCamera = -1");

    stop();
    EXPECT_EQ(raised([&] { other.Connect(nullptr, 0, 0); }),
              "There seems to be no connected EOS cameras connected. Have you called the EnumerateCameras function "
              "before calling Connect?");
}

TEST_F(TEDSDKTest, BatteryLevelsMapToSourceAndStatus)
{
    const struct {
        const char* level;
        BatterySourceType source;
        BatteryStatusType status;
    } cases[] = {
        {"4294967295", BatterySourceAC, BatteryStatusNormal}, {"9", BatterySourceLitium, BatteryStatusSafetyLow},
        {"49", BatterySourceLitium, BatteryStatusWeak},       {"80", BatterySourceLitium, BatteryStatusNormal},
        {"100", BatterySourceUnknown, BatteryStatusUnknown},  {"511", BatterySourceAC, BatteryStatusNormal},
    };
    for (const auto& c : cases) {
        stop();
        qputenv("JEX4_SIMCAM_BATTERY", c.level);
        start();
        EXPECT_EQ(info.Battery.BatterySource, c.source) << c.level;
        EXPECT_EQ(info.Battery.BatteryStatus, c.status) << c.level;
    }
    qunsetenv("JEX4_SIMCAM_BATTERY");
}

TEST_F(TEDSDKTest, EverySDKFailureReachesTheCallerWithItsText)
{
    const struct {
        const char* entryPoint;
        uint32_t code;
        std::function<void(TEDSDK&)> work;
        const char* expected;
    } cases[] = {
        {"EdsGetPropertyData", 0x81, [](TEDSDK& s) { s.GetBodyID(); },
         "EdsGetPropertyData, kEdsPropID_BodyIDEx errorcode 0x00000081, Device busy"},
        {"EdsGetPropertyData", 0xC1, [](TEDSDK& s) { s.RemoteGetNumberOfAvailableShots(); },
         "EdsGetPropertyData, kEdsPropID_AvailableShots errorcode 0x000000C1, Communication disconnected"},
        {"EdsSendCommand", 0x8D01, [](TEDSDK& s) { s.RemoteTakePicture(0); },
         "EdsSendCommand errorcode 0x00008D01, Take picture error, focus failed"},
        {"EdsSendCommand", 0x81, [](TEDSDK& s) { s.ExtendShutdownTimer(); },
         "EdsSendCommand errorcode 0x00000081, Device busy"},
        {"EdsFormatVolume", 0x87, [](TEDSDK& s) { s.FormatCameraCard(); },
         "EdsFormatVolume errorcode 0x00000087, Device no disk"},
        {"EdsGetChildCount", 0x61, [](TEDSDK& s) { s.OpenCameraCollection(QString(), false); },
         "EdsGetChildCount errorcode 0x00000061, Invalid handle"},
        {"EdsSetPropertyData", 0x201C, [](TEDSDK& s) { s.RemoteSetViewfinderZoom(RemoteViewFinderZoomx5); },
         "EdsSetPropertyData, kEdsPropID_Evf_Zoom errorcode 0x0000201C, PTP invalid device prop value"},
        {"EdsGetDeviceInfo", 0xC1,
         [](TEDSDK& s) { s.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString(), nullptr, 0); },
         "EdsGetDeviceInfo errorcode 0x000000C1, Communication disconnected"},
        {"EdsGetPropertySize", 0x50, [](TEDSDK& s) { s.SetOwnerName(QStringLiteral("Lab")); },
         "EdsGetPropertySize errorcode 0x00000050, Properties unavailable"},
    };
    for (const auto& c : cases) {
        sim().FailNext(c.entryPoint, c.code, 1);
        EXPECT_EQ(raised([&] { c.work(sdk); }), c.expected) << c.entryPoint;
        sim().FailNext(c.entryPoint, 0, 0);
    }
}

TEST_F(TEDSDKTest, TheCardVolumeIsReleasedAfterAFailedFormat)
{
    const int releases = calls("EdsRelease");
    sim().FailNext("EdsFormatVolume", 0x88, 1);
    EXPECT_EQ(raised([&] { sdk.FormatCameraCard(); }), "EdsFormatVolume errorcode 0x00000088, Device disk error");
    EXPECT_EQ(calls("EdsRelease"), releases + 1);
}

TEST_F(TEDSDKTest, OwnerNameFitsThirtyOneCharacters)
{
    const QString name31(31, QLatin1Char('A'));
    sdk.SetOwnerName(name31);
    char owner[256] = {};
    ASSERT_EQ(eds::EdsGetPropertyData(static_cast<EdsBaseRef>(sdk.mCameraDevice), kEdsPropID_OwnerName, 0,
                                      sizeof owner, owner),
              0u);
    EXPECT_EQ(QString::fromLatin1(owner), name31);

    const int writes = calls("EdsSetPropertyData");
    EXPECT_EQ(raised([&] { sdk.SetOwnerName(QString(32, QLatin1Char('B'))); }), "The owner name to set is too long");
    EXPECT_EQ(raised([&] { sdk.SetOwnerName(QString(255, QLatin1Char('B'))); }), "The owner name to set is too long");
    EXPECT_EQ(calls("EdsSetPropertyData"), writes);
}

TEST_F(TEDSDKTest, ShutterButtonIsRetriedWhileTheCameraIsBusy)
{
    // Busy twice: the third try goes through after two waits of 200 ms.
    const int sends = calls("EdsSendCommand");
    sim().FailNext("EdsSendCommand", 0x81, 2);
    EXPECT_EQ(raised([&] { sdk.RemotePressShutter(RemoteShutterButtonHalfPressed); }), "nothing raised");
    EXPECT_EQ(calls("EdsSendCommand"), sends + 3);
    EXPECT_EQ(clock.sleptMs(), 400);

    // Busy for good: 27 tries over five seconds, then the last failure is raised.
    sim().FailNext("EdsSendCommand", 0x81, 100);
    EXPECT_EQ(raised([&] { sdk.RemotePressShutter(RemoteShutterButtonOff); }),
              "EdsSendCommand errorcode 0x00000081, Device busy");
    sim().FailNext("EdsSendCommand", 0, 0);
    EXPECT_EQ(calls("EdsSendCommand"), sends + 3 + 27);
    EXPECT_EQ(clock.sleptMs(), 400 + 25 * 200);
}

TEST_F(TEDSDKTest, MovieRecordingIsRetriedASecondApart)
{
    sdk.RemoteStartViewfinder(); // a movie needs live view
    ASSERT_EQ(clock.sleptMs(), 0);
    const int writes = calls("EdsSetPropertyData");
    sim().FailNext("EdsSetPropertyData", 0x81, 3);
    sdk.RemoteStartMovieRecording();
    EXPECT_EQ(calls("EdsSetPropertyData"), writes + 4);
    EXPECT_EQ(clock.sleptMs(), 3000);
    EXPECT_EQ(readProperty(sdk.mCameraDevice, kEdsPropID_Record), 4u);

    // Busy for good: five repeats, then the last try raises.
    sim().FailNext("EdsSetPropertyData", 0x81, 7);
    EXPECT_EQ(raised([&] { sdk.RemoteEndMovieRecording(); }),
              "EdsSetPropertyData, kEdsPropID_Record - end errorcode 0x00000081, Device busy");
    EXPECT_EQ(clock.sleptMs(), 3000 + 5000);
    EXPECT_EQ(readProperty(sdk.mCameraDevice, kEdsPropID_Record), 4u);
}

TEST_F(TEDSDKTest, LiveViewOutputToTheCameraScreenIsAddedOnlyWhenMissing)
{
    sdk.RemoteStartViewfinder();
    EXPECT_EQ(readProperty(sdk.mCameraDevice, kEdsPropID_Evf_Mode), 1u);
    EXPECT_EQ(readProperty(sdk.mCameraDevice, kEdsPropID_Evf_OutputDevice), 2u);
    sdk.RemoteSetViewfinderOutput(RemoteViewFinderOutputLCD);
    EXPECT_EQ(readProperty(sdk.mCameraDevice, kEdsPropID_Evf_OutputDevice), 3u);

    const int writes = calls("EdsSetPropertyData");
    sdk.RemoteSetViewfinderOutput(RemoteViewFinderOutputLCD);
    EXPECT_EQ(calls("EdsSetPropertyData"), writes) << "output 3 already shows on the camera";
    sdk.RemoteSetViewfinderOutput(RemoteViewFinderOutputOff);
    EXPECT_EQ(readProperty(sdk.mCameraDevice, kEdsPropID_Evf_OutputDevice), 2u);

    sdk.RemoteStopViewfinder();
    EXPECT_EQ(readProperty(sdk.mCameraDevice, kEdsPropID_Evf_Mode), 0u);
    EXPECT_EQ(readProperty(sdk.mCameraDevice, kEdsPropID_Evf_OutputDevice), 0u);
}

TEST_F(TEDSDKTest, LiveViewOutputIsRetriedUntilTheCameraTakesIt)
{
    // The camera is busy for three seconds: the third repeat goes through.
    sim().RefuseValue(kEdsPropID_Evf_OutputDevice, 2, 0x81);
    clock.onSleep = [this](int) {
        if (clock.sleepCount() == 3)
            sim().RefuseValue(kEdsPropID_Evf_OutputDevice, 2, 0);
    };
    sdk.RemoteStartViewfinder();
    EXPECT_EQ(clock.sleptMs(), 3000);
    EXPECT_EQ(readProperty(sdk.mCameraDevice, kEdsPropID_Evf_OutputDevice), 2u);
    clock.onSleep = nullptr;

    // Busy for good: five repeats a second apart, then the last try raises.
    sdk.RemoteStopViewfinder();
    sim().RefuseValue(kEdsPropID_Evf_OutputDevice, 2, 0x81);
    EXPECT_EQ(raised([&] { sdk.RemoteStartViewfinder(); }),
              "EdsSetPropertyData, kEdsPropID_Evf_OutputDevice errorcode 0x00000081, Device busy");
    EXPECT_EQ(clock.sleptMs(), 3000 + 5000);
    sim().RefuseValue(kEdsPropID_Evf_OutputDevice, 2, 0);
}

TEST_F(TEDSDKTest, LiveViewSettingsReachTheCamera)
{
    void* cam = sdk.mCameraDevice;
    sdk.RemoteStartViewfinder();

    sdk.RemoteSetViewfinderAutofocusMode(RemoteViewFinderAFModeLiveFace);
    EXPECT_EQ(readProperty(cam, kEdsPropID_Evf_AFMode), 2u);
    EXPECT_EQ(sdk.RemoteGetViewfinderAutofocusMode(), RemoteViewFinderAFModeLiveFace);
    sim().FailNext("EdsGetPropertyData", 0x81, 1);
    EXPECT_EQ(sdk.RemoteGetViewfinderAutofocusMode(), RemoteViewFinderAFModeNotUsed) << "a failed read";

    sdk.RemoteSetViewfinderDepthOfFieldPreview(true);
    EXPECT_EQ(readProperty(cam, kEdsPropID_Evf_DepthOfFieldPreview), 1u);
    EXPECT_TRUE(sdk.RemoteGetViewfinderDepthOfFieldPreview());
    sdk.RemoteSetViewfinderDepthOfFieldPreview(false);
    EXPECT_FALSE(sdk.RemoteGetViewfinderDepthOfFieldPreview());

    sdk.RemoteSetViewfinderZoom(RemoteViewFinderZoomx10);
    EXPECT_EQ(readProperty(cam, kEdsPropID_Evf_Zoom), 10u);
    sdk.RemoteSetViewfinderZoomPosition(100, 200);
    EdsPoint point{};
    ASSERT_EQ(eds::EdsGetPropertyData(static_cast<EdsBaseRef>(cam), kEdsPropID_Evf_ZoomPosition, 0, sizeof point,
                                      &point),
              0u);
    EXPECT_EQ(point.x, 100);
    EXPECT_EQ(point.y, 200);
    EXPECT_EQ(raised([&] { sdk.RemoteSetViewfinderZoomPosition(-1, 0); }),
              "EdsSetPropertyData, kEdsPropID_Evf_ZoomPosition errorcode 0x0000201C, PTP invalid device prop value");

    const int sends = calls("EdsSendCommand");
    sdk.RemoteSetViewfinderDriveLens(RemoteViewFinderDriveLensFar2);
    sdk.RemoteSetViewfinderWhitebalance(320, 240);
    sdk.RemoteActivateViewfinderAuto(true);
    EXPECT_EQ(calls("EdsSendCommand"), sends + 3);
    sim().FailNext("EdsSendCommand", 0xA005, 1);
    EXPECT_EQ(raised([&] { sdk.RemoteActivateViewfinderAuto(false); }),
              "EdsSendCommand errorcode 0x0000A005, PTP vendor operation refused");
}

TEST_F(TEDSDKTest, TimeFirmwareAndBodyIDOfTheCamera)
{
    const QDateTime when(QDate(2026, 3, 14), QTime(15, 9, 26, 535));
    sdk.SetTimeInCamera(when);
    EdsTime t{};
    ASSERT_EQ(eds::EdsGetPropertyData(static_cast<EdsBaseRef>(sdk.mCameraDevice), kEdsPropID_DateTime, 0, sizeof t,
                                      &t),
              0u);
    EXPECT_EQ((std::array<EdsUInt32, 7>{t.year, t.month, t.day, t.hour, t.minute, t.second, t.milliseconds}),
              (std::array<EdsUInt32, 7>{2026, 3, 14, 15, 9, 26, 535}));
    EXPECT_EQ(sdk.GetFirmwareVersion(), QStringLiteral("2.1.2"));
    EXPECT_EQ(sdk.GetBodyID().length(), 10);
}

TEST_F(TEDSDKTest, AutofocusInfoFillsTheCameraFramesOnly)
{
    const AFFocusInfoType af = sdk.RemoteGetViewfinderAutofocusInfo();
    ASSERT_EQ(af.NrOfFrames, 9);
    EXPECT_GT(af.PictureSize.Width, 0);
    for (int i = 0; i < 128; ++i)
        EXPECT_EQ(af.Frames[size_t(i)].Present, i < 9) << i;
    EXPECT_NE(af.Frames[4].Rect, (std::array<int, 4>{}));
}

TEST_F(TEDSDKTest, ReleasedPictureDownloadsThumbnailFirstThenWhole)
{
    const int objects = sim().LiveObjects();
    takePicture();
    const QString file = dir.filePath(QStringLiteral("core_1.jpg"));

    sdk.RemoteGetPicture(file, PictureTypeThumbnail, 0);
    const QByteArray thumb = readFile(file);
    sdk.RemoteGetPicture(file, PictureTypeThumbnail, 0);
    EXPECT_EQ(readFile(file), thumb) << "a thumbnail leaves the picture waiting";
    EXPECT_FALSE(QImage::fromData(thumb).isNull());

    sdk.RemoteGetPicture(file, PictureTypeFull, 0);
    const QImage picture(file);
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), QImage::fromData(thumb).width());
    EXPECT_TRUE(sdk.mPicList.empty());
    EXPECT_EQ(sdk.mTypeOfFileTransfer, FileTransferNotUsed);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("core_1.jpg")});
    EXPECT_EQ(sim().LiveObjects(), objects) << "the picture and the file streams are released";

    EXPECT_EQ(raised([&] { sdk.RemoteGetPicture(file, PictureTypeFull, 0); }), "There are no pictures to download");
}

TEST_F(TEDSDKTest, CameraUnpluggedDuringADownloadLeavesNoHalfFile)
{
    takePicture();
    const QString fresh = dir.filePath(QStringLiteral("new.jpg"));
    sim().DisconnectDuringTransfer(5000);
    // The download fails, and so do the steps after it on a camera that is gone; the last failure
    // is the one reported.
    const std::string error = raised([&] { sdk.RemoteGetPicture(fresh, PictureTypeFull, 0); });
    EXPECT_NE(error.find(" errorcode 0x"), std::string::npos) << error;
    EXPECT_FALSE(QFile::exists(fresh));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "no partial file is left";
    EXPECT_TRUE(sdk.mPicList.empty()) << "a failed full download ends the picture";
    EXPECT_EQ(sdk.mTypeOfFileTransfer, FileTransferNotUsed);
}

TEST_F(TEDSDKTest, ABrokenDownloadKeepsTheOlderFileOfThatName)
{
    takePicture();
    const QString older = dir.filePath(QStringLiteral("older.jpg"));
    writeFile(older, "the picture of yesterday");
    sim().DisconnectDuringTransfer(5000);
    EXPECT_NE(raised([&] { sdk.RemoteGetPicture(older, PictureTypeFull, 0); }), "nothing raised");
    EXPECT_EQ(readFile(older), QByteArray("the picture of yesterday"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("older.jpg")});
}

TEST_F(TEDSDKTest, ADownloadRefusesOverlongNamesBeforeCreatingAFile)
{
    takePicture();
    const QString name = dir.filePath(QString(260, QLatin1Char('n')));
    const int streams = calls("EdsCreateFileStream");
    EXPECT_EQ(raised([&] { sdk.RemoteGetPicture(name, PictureTypeFull, 0); }),
              "Filename " + name.toStdString() + " too long");
    EXPECT_EQ(calls("EdsCreateFileStream"), streams);
    EXPECT_EQ(sdk.mPicList.size(), 1u) << "the picture still waits";
}

TEST_F(TEDSDKTest, APictureWaitsWhenItsFileCannotBeCreated)
{
    takePicture();
    const QString nowhere = dir.filePath(QStringLiteral("no such folder/core.jpg"));
    const std::string error = raised([&] { sdk.RemoteGetPicture(nowhere, PictureTypeFull, 0); });
    EXPECT_EQ(error.rfind("EdsCreateFileStream errorcode 0x", 0), 0u) << error;
    ASSERT_EQ(sdk.mPicList.size(), 1u) << "nothing was transferred, so the picture is kept";

    const QString file = dir.filePath(QStringLiteral("core.jpg"));
    sdk.RemoteGetPicture(file, PictureTypeFull, 0);
    EXPECT_FALSE(QImage(file).isNull());
    EXPECT_TRUE(sdk.mPicList.empty());
}

TEST_F(TEDSDKTest, CardCollectionListsEveryFolderDepthFirst)
{
    const int objects = sim().LiveObjects();
    ImageListType list = sdk.OpenCameraCollection(QString(), true);
    QStringList names;
    for (const ImageDataType& entry : list)
        names << entry.NameOfImage;
    EXPECT_EQ(names, (QStringList{"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.CR2", "MVI_0004.MOV", "IMG_0005.JPG"}));
    ASSERT_EQ(list.size(), 5);
    EXPECT_FALSE(list[0].Thumbnail.isNull());
    EXPECT_TRUE(list[2].Thumbnail.isNull()) << "only .JPG files have thumbnails";
    EXPECT_TRUE(list[3].Thumbnail.isNull());

    const QString file = dir.filePath(QStringLiteral("card.jpg"));
    sdk.GetPicture(4, file, 0);
    EXPECT_FALSE(QImage(file).isNull());
    EXPECT_EQ(raised([&] { sdk.GetPicture(5, file, 0); }), "Requested download of picture 5 but max is only 4");

    sdk.DeletePicture(list, 1);
    EXPECT_EQ(list.size(), 4);
    EXPECT_EQ(list[1].NameOfImage, QStringLiteral("IMG_0003.CR2"));
    EXPECT_EQ(raised([&] { sdk.DeletePicture(list, 4); }), "Requested delete of picture 4 but max is only 3");

    sdk.CloseCameraCollection(list);
    EXPECT_TRUE(list.isEmpty());
    EXPECT_TRUE(sdk.mPicOnCamList.empty());
    EXPECT_EQ(sim().LiveObjects(), objects) << "folders, files, the volume and the streams are all released";
    // The deleted file is gone from the card.
    list = sdk.OpenCameraCollection(QString(), false);
    EXPECT_EQ(list.size(), 4);
    sdk.CloseCameraCollection(list);
}

TEST_F(TEDSDKTest, CardDownloadCutShortLeavesNoFile)
{
    ImageListType list = sdk.OpenCameraCollection(QString(), false);
    const QString file = dir.filePath(QStringLiteral("card.jpg"));
    sim().DisconnectDuringTransfer(1000);
    const std::string error = raised([&] { sdk.GetPicture(0, file, 0); });
    EXPECT_NE(error.find(" errorcode 0x"), std::string::npos) << error;
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    list.clear(); // the camera is gone with its card
}

// ---- release parameters ----

TEST_F(TEDSDKTest, CameraCodesReadAsTheirValues)
{
    void* cam = sdk.mCameraDevice;
    const struct {
        EdsPropertyID property;
        uint32_t code;
        std::function<int(const RemoteReleaseParametersType&)> field;
        int expected;
    } cases[] = {
        {kEdsPropID_AEMode, 3, [](auto& r) { return int(r.ImageMode); }, RemoteFormatShootingModeManual},
        {kEdsPropID_AEMode, 2, [](auto& r) { return int(r.ImageMode); }, RemoteFormatShootingModeAV},
        {kEdsPropID_Av, 48, [](auto& r) { return int(r.Av); }, RemoteFormatAV5_6},
        {kEdsPropID_Av, 88, [](auto& r) { return int(r.Av); }, RemoteFormatAV32_0},
        {kEdsPropID_Tv, 21, [](auto& r) { return int(r.Tv); }, RemoteFormatTV20sec},
        {kEdsPropID_Tv, 4, [](auto& r) { return int(r.Tv); }, RemoteFormatTVBulb},
        {kEdsPropID_ISOSpeed, 72, [](auto& r) { return int(r.ISO); }, RemoteFormatISO100},
        {kEdsPropID_ISOSpeed, 0, [](auto& r) { return int(r.ISO); }, RemoteFormatISOAuto},
        {kEdsPropID_ExposureCompensation, 253, [](auto& r) { return int(r.ExposureCompensation); },
         RemoteFormatExposureComp033Minus},
        {kEdsPropID_ExposureCompensation, 8, [](auto& r) { return int(r.ExposureCompensation); },
         RemoteFormatExposureComp100Plus},
        {kEdsPropID_WhiteBalance, 8, [](auto& r) { return int(r.WhiteBalanceSetting); }, RemoteFormatWBShade},
        {kEdsPropID_DriveMode, 16, [](auto& r) { return int(r.DriveMode); }, RemoteFormatDriveMode10SecSelfTimer},
        {kEdsPropID_MeteringMode, 5, [](auto& r) { return int(r.MLWeiMode); },
         RemoteFormatMLWeiCenterwWeightedAveraging},
        {kEdsPropID_ColorSpace, 2, [](auto& r) { return int(r.ColorSpace); }, RemoteFormatColorSpaceAdobeRGB},
        {kEdsPropID_AFMode, 1, [](auto& r) { return int(r.AFMode); }, RemoteFormatAFModeAIServo},
        {kEdsPropID_PictureStyle, 0x86, [](auto& r) { return int(r.PictureStyle.PictureStyle); },
         PictureStyleMonochrome},
        {kEdsPropID_ImageQuality, 0x0113FF0F, [](auto& r) { return int(r.ImageSize); }, RemoteFormatSizeMedium},
        {kEdsPropID_ImageQuality, 0x0113FF0F, [](auto& r) { return int(r.CompQuality); }, RemoteFormatQualityFine},
        {kEdsPropID_ImageQuality, 0x00640013, [](auto& r) { return int(r.CompQuality); }, RemoteFormatQualityRAW},
        {kEdsPropID_ImageQuality, 0x00640013, [](auto& r) { return int(r.CompQualityPic2RAW); },
         RemoteFormatQualityFine},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(writeProperty(cam, c.property, c.code), 0u) << std::hex << c.property << " " << c.code;
        EXPECT_EQ(c.field(sdk.RemoteGetRemoteParams()), c.expected) << std::hex << c.property << " " << c.code;
    }
    // Not EOS parameters.
    const RemoteReleaseParametersType r = sdk.RemoteGetRemoteParams();
    EXPECT_EQ(r.StrobeSetting, RemoteFormatFlashNotUsed);
    EXPECT_EQ(r.Beep, RemoteFormatBeepNotUsed);
    EXPECT_EQ(r.Contrast, RemoteFormatLevelNotUsed);
}

TEST_F(TEDSDKTest, WrittenValuesReachTheCameraAsTheirCodes)
{
    void* cam = sdk.mCameraDevice;
    RemoteReleaseParametersType p;
    p.CompQuality = RemoteFormatQualityNormal;
    p.ImageSize = RemoteFormatSizeSmall;
    p.ImageMode = RemoteFormatShootingModeAV;
    p.Av = RemoteFormatAV8_0;
    p.Tv = RemoteFormatTV1_125;
    p.ExposureCompensation = RemoteFormatExposureComp066Minus;
    p.WhiteBalanceSetting = RemoteFormatWBKelvin;
    p.WhiteBalanceKelvin = 5250;
    p.WhiteBalanceShift = {true, -3, 2};
    p.DriveMode = RemoteFormatDriveMode2SecSelfTimer;
    p.MLWeiMode = RemoteFormatMLWeiSpot;
    p.ColorSpace = RemoteFormatColorSpaceAdobeRGB;
    p.ISO = RemoteFormatISO400;
    p.AFMode = RemoteFormatAFModeAIFocus;
    p.PictureStyle.PictureStyleEnabled = true;
    p.PictureStyle.PictureStyle = PictureStyleLandscape;
    p.PictureStyle.Contrast = -2;
    p.PictureStyle.Sharpness = 5;
    p.PictureStyle.SaturationUsed = true;
    p.PictureStyle.Saturation = 1;

    // Live view found by RemoteStart: the white balance goes to live view as well.
    sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString(), nullptr, 0);
    sdk.RemoteSetRemoteParams(p);
    EXPECT_EQ(clock.sleptMs(), 0) << "the camera took every value at once";

    const struct {
        EdsPropertyID property;
        uint32_t code;
    } expected[] = {
        {kEdsPropID_ImageQuality, 0x0212FF0F}, {kEdsPropID_AEMode, 2},      {kEdsPropID_Av, 56},
        {kEdsPropID_Tv, 112},                 {kEdsPropID_ExposureCompensation, 0xFB},
        {kEdsPropID_WhiteBalance, 9},          {kEdsPropID_ColorTemperature, 5200},
        {kEdsPropID_Evf_WhiteBalance, 9},      {kEdsPropID_DriveMode, 17},   {kEdsPropID_MeteringMode, 1},
        {kEdsPropID_ColorSpace, 2},            {kEdsPropID_ISOSpeed, 88},    {kEdsPropID_AFMode, 2},
        {kEdsPropID_PictureStyle, 0x83},
    };
    for (const auto& e : expected)
        EXPECT_EQ(readProperty(cam, e.property), e.code) << std::hex << e.property;

    int32_t shift[2] = {};
    ASSERT_EQ(eds::EdsGetPropertyData(static_cast<EdsBaseRef>(cam), kEdsPropID_WhiteBalanceShift, 0, sizeof shift,
                                      shift),
              0u);
    EXPECT_EQ(shift[0], -3);
    EXPECT_EQ(shift[1], 2);
    int32_t style[6] = {};
    ASSERT_EQ(eds::EdsGetPropertyData(static_cast<EdsBaseRef>(cam), kEdsPropID_PictureStyleDesc, 0, sizeof style,
                                      style),
              0u);
    EXPECT_EQ(style[0], -2);
    EXPECT_EQ(style[1], 5);
    EXPECT_EQ(style[2], 1);
    EXPECT_EQ(style[3], 0x7FFFFFFF) << "colour tone not used";
    EXPECT_EQ(style[4], -1);
    EXPECT_EQ(style[5], -1);

    // Read back, the record is the one written.
    const RemoteReleaseParametersType back = sdk.RemoteGetRemoteParams();
    EXPECT_EQ(back.Av, p.Av);
    EXPECT_EQ(back.Tv, p.Tv);
    EXPECT_EQ(back.WhiteBalanceKelvin, 5200);
    EXPECT_EQ(back.WhiteBalanceShift, p.WhiteBalanceShift);
    EXPECT_EQ(back.PictureStyle, p.PictureStyle);
}

TEST_F(TEDSDKTest, ACameraWithoutStylesOrShiftReadsThemDisabled)
{
    ASSERT_EQ(sim().SetProperty(0, kEdsPropID_WhiteBalanceShift, 0x7FFFFFFF), 0);
    ASSERT_TRUE(sim().WaitIdle(30000));
    EXPECT_EQ(sdk.RemoteGetRemoteParams().WhiteBalanceShift, RemoteWhitebalanceShiftType{});

    stop();
    start("classic");
    const RemoteReleaseParametersType r = sdk.RemoteGetRemoteParams();
    EXPECT_FALSE(r.PictureStyle.PictureStyleEnabled);
    EXPECT_FALSE(r.WhiteBalanceShift.WBShiftEnabled);
    EXPECT_EQ(r.PhotoEffect, RemoteFormatPhotoEffectOff);
    EXPECT_EQ(r.CompQuality, RemoteFormatQualityFine);
    EXPECT_EQ(r.ImageSize, RemoteFormatSizeLarge);
}

TEST_F(TEDSDKTest, ImageQualityIsWrittenOnlyWhenComplete)
{
    void* cam = sdk.mCameraDevice;
    const uint32_t before = readProperty(cam, kEdsPropID_ImageQuality);

    RemoteReleaseParametersType p;
    p.CompQuality = RemoteFormatQualityNormal; // no size: not written
    sdk.RemoteSetRemoteParams(p);
    EXPECT_EQ(readProperty(cam, kEdsPropID_ImageQuality), before);

    p.CompQuality = RemoteFormatQualityRAW; // RAW needs no size
    sdk.RemoteSetRemoteParams(p);
    EXPECT_EQ(readProperty(cam, kEdsPropID_ImageQuality), 0x00640F0Fu);
}

TEST_F(TEDSDKTest, ARefusedValueIsRetriedFiveSecondsAndTheCameraKeepsItsOwn)
{
    void* cam = sdk.mCameraDevice;
    const uint32_t iso = readProperty(cam, kEdsPropID_ISOSpeed);
    RemoteReleaseParametersType p;
    p.ISO = RemoteFormatISO102400; // this camera stops at ISO 6400
    p.Av = RemoteFormatAV11_0;
    const int writes = calls("EdsSetPropertyData");
    EXPECT_EQ(raised([&] { sdk.RemoteSetRemoteParams(p); }), "nothing raised");
    EXPECT_EQ(clock.sleptMs(), 5000);
    EXPECT_EQ(calls("EdsSetPropertyData"), writes + 1 + 51);
    EXPECT_EQ(readProperty(cam, kEdsPropID_ISOSpeed), iso);
    EXPECT_EQ(sdk.RemoteGetRemoteParams().ISO, ISOFromEds(int(iso)));
    EXPECT_EQ(sdk.RemoteGetRemoteParams().Av, RemoteFormatAV11_0);

    // A busy camera takes the value on a later try.
    sim().FailNext("EdsSetPropertyData", 0x81, 4);
    p.ISO = RemoteFormatISO200;
    sdk.RemoteSetRemoteParams(p);
    EXPECT_EQ(sdk.RemoteGetRemoteParams().ISO, RemoteFormatISO200);
    EXPECT_EQ(clock.sleptMs(), 5000 + 400);
}

// ---- the probe ----

TEST_F(TEDSDKTest, ProbeFindsTheCameraValuesAndRestoresTheParameters)
{
    const RemoteReleaseParametersType before = sdk.RemoteGetRemoteParams();
    const RemoteFuncType f =
        sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, QString(), nullptr, 0);
    const RemoteReleaseAvailParametersType& a = f.RemoteParamSupported;

    EXPECT_TRUE(f.DoSupportViewfinder);
    EXPECT_TRUE(a.CompQuality[RemoteFormatQualityFine]);
    EXPECT_TRUE(a.CompQuality[RemoteFormatQualityNormal]);
    EXPECT_TRUE(a.CompQuality[RemoteFormatQualityRAW]);
    EXPECT_FALSE(a.CompQuality[RemoteFormatQualityEconomy]);
    EXPECT_TRUE(a.ImageSize[RemoteFormatSizeSmall]);
    EXPECT_FALSE(a.ImageSize[RemoteFormatSizeMedium3]);
    EXPECT_TRUE(a.ImageMode[RemoteFormatShootingModeManual]);
    EXPECT_TRUE(a.ImageMode[RemoteFormatShootingModeCreativeAuto]);
    EXPECT_FALSE(a.ImageMode[RemoteFormatShootingModeNotUsed]);
    EXPECT_TRUE(a.Av[RemoteFormatAV4_0]);
    EXPECT_TRUE(a.Av[RemoteFormatAV22_0]);
    EXPECT_FALSE(a.Av[RemoteFormatAV2_8]);
    EXPECT_TRUE(a.Tv[RemoteFormatTVBulb]);
    EXPECT_TRUE(a.ISO[RemoteFormatISO6400]);
    EXPECT_FALSE(a.ISO[RemoteFormatISO12800]);
    EXPECT_TRUE(a.WhiteBalanceSetting[RemoteFormatWBKelvin]);
    EXPECT_FALSE(a.WhiteBalanceSetting[RemoteFormatWBPCSet1]);
    EXPECT_TRUE(a.AFMode[RemoteFormatAFModeManual]);
    EXPECT_TRUE(a.DriveMode[RemoteFormatDriveMode2SecSelfTimer]);
    EXPECT_FALSE(a.DriveMode[RemoteFormatDriveModeVideo]);
    EXPECT_TRUE(a.ColorSpace[RemoteFormatColorSpaceAdobeRGB]);
    EXPECT_TRUE(a.WhiteBalanceShift);
    EXPECT_TRUE(a.PictureStyle);
    // A parameter the camera lacks offers only NotUsed.
    EXPECT_TRUE(a.StrobeSetting[0]);
    EXPECT_EQ(std::count(a.StrobeSetting.begin(), a.StrobeSetting.end(), true), 1);
    EXPECT_TRUE(a.PhotoEffect[0]) << "this camera has no photo effects";
    EXPECT_EQ(std::count(a.PhotoEffect.begin(), a.PhotoEffect.end(), true), 1);

    const RemoteReleaseParametersType after = sdk.RemoteGetRemoteParams();
    EXPECT_EQ(after.WhiteBalanceSetting, before.WhiteBalanceSetting);
    EXPECT_EQ(after.DriveMode, before.DriveMode);
    EXPECT_EQ(after.ColorSpace, before.ColorSpace);
    EXPECT_EQ(after.AFMode, before.AFMode);
}

TEST_F(TEDSDKTest, ProbeOfAnOlderCameraTriesEveryImageQuality)
{
    stop();
    start("classic");
    const RemoteFuncType f =
        sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, QString(), nullptr, 0);
    const RemoteReleaseAvailParametersType& a = f.RemoteParamSupported;
    EXPECT_FALSE(f.DoSupportViewfinder);
    EXPECT_TRUE(a.CompQuality[RemoteFormatQualityFine]);
    EXPECT_TRUE(a.CompQuality[RemoteFormatQualityRAW]);
    EXPECT_FALSE(a.CompQuality[RemoteFormatQualitySuperfine]);
    EXPECT_TRUE(a.ImageSize[RemoteFormatSizeLarge]);
    EXPECT_TRUE(a.CompQualityPic2RAW[RemoteFormatQualityFine]);
    EXPECT_TRUE(a.ImageSizePic2RAW[RemoteFormatSizeLarge]);
    EXPECT_FALSE(a.ImageSizePic2RAW[RemoteFormatSizeSmall]);
    EXPECT_TRUE(a.PhotoEffect[RemoteFormatPhotoEffectBW]);
    EXPECT_FALSE(a.PictureStyle);
    // 50 ms after each accepted value: Normal and Fine in three sizes, RAW (which carries no size)
    // with each of the six sizes tried, and RAW with a large fine JPEG.
    EXPECT_EQ(clock.sleptMs(), 50 * (6 + 6 + 1));
}

TEST_F(TEDSDKTest, ProbeCacheIsUsedForTheSameModelAndRebuiltWhenDamaged)
{
    const QString cacheDir = dir.filePath(QStringLiteral("cache/eos"));
    const auto probe = [&] {
        return sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, cacheDir, nullptr, 0)
            .RemoteParamSupported;
    };
    const RemoteReleaseAvailParametersType first = probe();
    const QString cacheFile = QDir(cacheDir).filePath(QStringLiteral("EOS SimCam Live Mode2")); // manual
    ASSERT_TRUE(QFile::exists(cacheFile)) << QDir(cacheDir).entryList().join(',').toStdString();
    EXPECT_EQ(QFileInfo(cacheFile).size(), 344);

    // Second probe: read from the cache, the camera untouched (only RemoteStart's own save-to write).
    const int writes = calls("EdsSetPropertyData");
    EXPECT_EQ(probe(), first);
    EXPECT_EQ(calls("EdsSetPropertyData"), writes + 1);

    // Another shooting mode has a cache of its own.
    ASSERT_EQ(sim().SetProperty(0, kEdsPropID_AEMode, 2), 0); // Av
    ASSERT_TRUE(sim().WaitIdle(30000));
    const int beforeAv = calls("EdsSetPropertyData");
    probe();
    EXPECT_GT(calls("EdsSetPropertyData"), beforeAv + 1);
    EXPECT_TRUE(QFile::exists(QDir(cacheDir).filePath(QStringLiteral("EOS SimCam Live Mode18"))));
    ASSERT_EQ(sim().SetProperty(0, kEdsPropID_AEMode, 3), 0);
    ASSERT_TRUE(sim().WaitIdle(30000));

    // A cache that ends early is used as far as it goes: the camera is not probed again.
    {
        QByteArray bytes = readFile(cacheFile);
        bytes.truncate(100);
        QFile::remove(cacheFile);
        writeFile(cacheFile, bytes);
        const int before = calls("EdsSetPropertyData");
        const RemoteReleaseAvailParametersType got = probe();
        EXPECT_EQ(RemoteParamCacheRecord(got).left(96), RemoteParamCacheRecord(first).left(96));
        EXPECT_EQ(calls("EdsSetPropertyData"), before + 1) << "only RemoteStart's own write";
        EXPECT_EQ(QFileInfo(cacheFile).size(), 100) << "kept as it is";
    }

    const struct {
        const char* what;
        std::function<void(QByteArray&)> damage;
    } damages[] = {
        {"wrong magic", [](QByteArray& b) { b[0] = char(316 & 0xFF); }},
        {"flag byte 7", [](QByteArray& b) { b[20] = 7; }},
        {"empty", [](QByteArray& b) { b.clear(); }},
    };
    for (const auto& d : damages) {
        QByteArray bytes = readFile(cacheFile);
        d.damage(bytes);
        QFile::remove(cacheFile);
        writeFile(cacheFile, bytes);
        const int before = calls("EdsSetPropertyData");
        EXPECT_EQ(probe(), first) << d.what;
        EXPECT_GT(calls("EdsSetPropertyData"), before + 1) << d.what << ": the probe ran again";
        EXPECT_EQ(QFileInfo(cacheFile).size(), 344) << d.what << ": the cache was rebuilt";
    }
}

TEST_F(TEDSDKTest, ProbeCacheNameStaysInItsFolder)
{
    // A model name is the camera's text: it must not lead the cache file elsewhere.
    const QString cacheDir = dir.filePath(QStringLiteral("cache"));
    sdk.mCameraInfo.CameraModelName = QStringLiteral("../../escape");
    sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, cacheDir, nullptr, 0);
    const QStringList files = QDir(cacheDir).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(files.size(), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("escape Mode2"))));
}

// ---- RAW development ----

TEST_F(TEDSDKTest, RawPictureFromTheCardDevelopsWithItsWhiteBalance)
{
    ImageListType list = sdk.OpenCameraCollection(QString(), false);
    ASSERT_EQ(list[2].NameOfImage, QStringLiteral("IMG_0003.CR2"));
    const QString raw = dir.filePath(QStringLiteral("IMG_0003.CR2"));
    sdk.GetPicture(2, raw, 0);
    sdk.CloseCameraCollection(list);

    const int objects = sim().LiveObjects();
    const RAWObjectDevAvailType avail = sdk.OpenRAWObject(raw);
    EXPECT_TRUE(avail.WhiteBalance[RemoteFormatWBDaylight]);
    EXPECT_TRUE(avail.WhiteBalance[RemoteFormatWBKelvin]);
    EXPECT_FALSE(avail.WhiteBalance[RemoteFormatWBCustom]) << "no EOS code";
    const RAWObjectDevType kept = sdk.GetRAWDevelopmentParameters();

    sdk.SetRAWDevelopmentParameters({RemoteFormatWBKelvin, 6480});
    EXPECT_EQ(sdk.GetRAWDevelopmentParameters(), (RAWObjectDevType{RemoteFormatWBKelvin, 6400}));
    EXPECT_EQ(raised([&] { sdk.SetRAWDevelopmentParameters({RemoteFormatWBCustom, 0}); }), "Whitebalance not known");

    const QString jpeg = dir.filePath(QStringLiteral("developed.jpg"));
    sdk.DevelopRAWPicture(jpeg, FileFormatJPEG, BitsPerPixel24Bits, QString(), 90);
    EXPECT_FALSE(QImage(jpeg).isNull());
    const QString tiff = dir.filePath(QStringLiteral("developed.tif"));
    sdk.DevelopRAWPicture(tiff, FileFormatTIFF, BitsPerPixel48Bits, QString(), 0);
    EXPECT_GT(QFileInfo(tiff).size(), 0);

    const QString none = dir.filePath(QStringLiteral("none.jpg"));
    EXPECT_EQ(raised([&] { sdk.DevelopRAWPicture(none, FileFormatThumbnail, BitsPerPixel24Bits, QString(), 90); }),
              "Thumbnail in RAW development not implemented");
    EXPECT_EQ(raised([&] { sdk.DevelopRAWPicture(none, FileFormatJPEGInRaw, BitsPerPixel24Bits, QString(), 90); }),
              "JPEG in RAW development not implemented");
    sim().FailNext("EdsSaveImage", 0x28, 1);
    EXPECT_EQ(raised([&] { sdk.DevelopRAWPicture(none, FileFormatJPEG, BitsPerPixel24Bits, QString(), 90); }),
              "EdsSaveImage errorcode 0x00000028, File write error");
    EXPECT_FALSE(QFile::exists(none)) << "a failed development leaves no file";
    EXPECT_EQ(raised([&] { sdk.DevelopRAWPicture(none, FileFormatJPEG, BitsPerPixel24Bits, QString(300, 'p'), 90); }),
              "ICC profile filename " + std::string(300, 'p') + " too long");

    sdk.SetRAWDevelopmentParameters(kept);
    sdk.CloseRAWObject();
    EXPECT_EQ(sdk.mRAWFileImageRef, nullptr);
    EXPECT_EQ(sim().LiveObjects(), objects);
}

// ---- with the camera component ----

namespace {

class NoOlderPowerShots : public TCDSDK {
public:
    void InitCommunications() override {}
    void EnumerateCameras(QStringList&) override {}
    void FinilizeCommunications() override {}
};

class NoNewerPowerShots : public TPRSDK {
public:
    void InitCommunications() override {}
    void EnumerateCameras(QStringList&) override {}
    void FinilizeCommunications() override {}
};

// The component delivers its notifications from a timer of the event loop.
using testhelpers::runUntil;

} // namespace

TEST(EOSComponentTest, ProbeReportsItsStepsAndAReleasedPictureReachesItsFile)
{
    qputenv("JEX4_CAMERA_SDK_PATH", JEX4_SDK_BIN_DIR);
    LoadEDSDK();
    SimCam::get().Reset();
    SimCam::get().SetCameras("live");
    FakeCamClock clock;
    CamClockScope clockScope(clock);
    QTemporaryDir dir;

    TCamRemote cam(nullptr, std::make_unique<NoOlderPowerShots>(), std::make_unique<NoNewerPowerShots>(), nullptr);
    std::vector<int> percents;
    std::vector<RemoteEventCallbackType> events;
    cam.setOnRemoteProbeParamEvent([&](int percent) { percents.push_back(percent); });
    cam.setOnRemoteEvent([&](RemoteEventCallbackType event, const AdditionNotifyRemoteEventType&) {
        events.push_back(event);
    });

    EXPECT_EQ(cam.OpenCameraEnumeration().EOSCameras, QStringList{QStringLiteral("EOS SimCam Live")});
    EXPECT_EQ(cam.Connect(CamModEOS, 0).CameraModelName, QStringLiteral("EOS SimCam Live"));
    cam.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, QString());
    const std::vector<int> steps = {6, 24, 29, 35, 41, 47, 53, 59, 65, 71, 76, 82, 88, 94, 100};
    EXPECT_TRUE(runUntil([&] { return percents.size() >= steps.size(); }));
    EXPECT_EQ(percents, steps);

    cam.RemoteTakePicture();
    EXPECT_TRUE(runUntil([&] {
        return std::find(events.begin(), events.end(), RemoteEventCallbackReleaseImageReady) != events.end();
    }, kSimPictureFuseMs));
    const QString file = dir.filePath(QStringLiteral("release.jpg"));
    cam.RemoteGetPicture(file, PictureTypeFull);
    EXPECT_FALSE(QImage(file).isNull());

    cam.Disconnect();
    cam.CloseCameraEnumeration();
}
