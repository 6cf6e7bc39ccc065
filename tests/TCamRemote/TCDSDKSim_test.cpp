// The older-PowerShot back-end against the simulated camera of the CDSDK.DLL stand-in, loaded
// through the binding: the road from start to a downloaded picture, the probe of a camera that
// cannot list its shutter speeds, the card, and SDK failures with their texts.
#include "TCamRemote/Sources/TCDSDK.h"

#include "TCamRemote/Sources/CDAPI.h"
#include "TCamRemote/Sources/CamNotify.h"

#include "simcam_control.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

// The component's callbacks; slot 3 belongs to no component, so they only return.
void* const kEvents = reinterpret_cast<void*>(&CDEventCallback);
void* const kRelease = reinterpret_cast<void*>(&SDKRemoteEventCallback);
void* const kProgress = reinterpret_cast<void*>(&TakePictureProgress);

// The simulated camera's control functions, found in the library the binding loaded.
struct SimCam {
    pfn_SimCam_Reset Reset = nullptr;
    pfn_SimCam_SetCameras SetCameras = nullptr;
    pfn_SimCam_FailNext FailNext = nullptr;
    pfn_SimCam_WaitIdle WaitIdle = nullptr;
    pfn_SimCam_SetCard SetCard = nullptr;

    static SimCam& get()
    {
        static SimCam sim = [] {
            SimCam s;
            void* handle = dlopen(JEX4_SDK_BIN_DIR "/CDSDK.DLL", RTLD_NOW | RTLD_NOLOAD);
            EXPECT_NE(handle, nullptr);
            auto find = [&](auto& fn, const char* name) {
                fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
                EXPECT_NE(fn, nullptr) << name;
            };
            find(s.Reset, "SimCam_Reset");
            find(s.SetCameras, "SimCam_SetCameras");
            find(s.FailNext, "SimCam_FailNext");
            find(s.WaitIdle, "SimCam_WaitIdle");
            find(s.SetCard, "SimCam_SetCard");
            return s;
        }();
        return sim;
    }
};

// The back-end with its probe's progress kept.
class RecordingCDSDK : public TCDSDK {
public:
    std::vector<int> progress;
    void ReportProbeProgress(int Percentage) override { progress.push_back(Percentage); }
};

class TCDSDKSimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qputenv("JEX4_CAMERA_SDK_PATH", JEX4_SDK_BIN_DIR);
        LoadCDSDK();
    }

    void SetUp() override
    {
        SimCam::get().Reset();
        SimCam::get().SetCameras("ps-old,ps-both");
        cd.InitCommunications();
        cd.EnumerateCameras(names);
    }

    void TearDown() override
    {
        cd.Disconnect();
        cd.FinilizeCommunications();
    }

    RecordingCDSDK cd;
    QStringList names;
};

TEST_F(TCDSDKSimTest, ConnectsAndDownloadsAReleasedPicture)
{
    ASSERT_EQ(names, (QStringList{"PowerShot SimCam O", "PowerShot SimCam Twin"}));
    const ConnectInfoType info = cd.Connect(kEvents, 0, 3);
    EXPECT_EQ(info.CameraModel, CamModPowerShot);
    EXPECT_EQ(info.CameraModelName, QStringLiteral("PowerShot SimCam O"));
    EXPECT_EQ(info.Battery, (BatteryType{BatterySourceLitium, BatteryStatusNormal}));

    cd.SetOwnerName(QStringLiteral("Dendro lab"));
    cd.Disconnect();
    EXPECT_EQ(cd.Connect(kEvents, 0, 3).OwnerName, QStringLiteral("Dendro lab"));

    const RemoteFuncType func = cd.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString(),
                                               kRelease, 3);
    EXPECT_TRUE(func.DoSupportShootingPara);
    EXPECT_TRUE(cd.RemoteSupported());
    cd.RemoteTakePicture(kProgress, 3);
    ASSERT_TRUE(SimCam::get().WaitIdle(30000)); // the picture is made and announced
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("shot.jpg"));
    cd.RemoteGetPicture(file, kProgress, 3);
    QImage picture(file);
    EXPECT_EQ(picture.size(), QSize(2048, 1536));
    cd.RemoteEnd();
}

TEST_F(TCDSDKSimTest, ParametersRoundTripAndTheProbeTriesTheShutterSpeeds)
{
    cd.Connect(kEvents, 0, 3);
    const RemoteFuncType func = cd.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, QString(),
                                               kRelease, 3);
    const RemoteReleaseAvailParametersType& a = func.RemoteParamSupported;
    EXPECT_FALSE(a.Tv[RemoteFormatTVNotUsed]) << "shutter speeds found by trying them in manual mode";
    EXPECT_GT(std::count(a.Tv.begin(), a.Tv.end(), true), 10);
    EXPECT_FALSE(a.ImageMode[RemoteFormatShootingModeNotUsed]);
    EXPECT_FALSE(a.CompQuality[RemoteFormatQualityNotUsed]);
    EXPECT_TRUE(a.DriveMode[RemoteFormatDriveModeNotUsed]);
    ASSERT_FALSE(cd.progress.empty());
    EXPECT_EQ(cd.progress.front(), 6);
    EXPECT_EQ(cd.progress.back(), 100);

    RemoteReleaseParametersType p = cd.RemoteGetRemoteParams();
    EXPECT_NE(p.ImageMode, RemoteFormatShootingModeNotUsed);
    // Every value the probe found can be written and reads back.
    for (int v = 1; v < CamEnumCount<RemoteFormatWBType>; ++v) {
        if (!a.WhiteBalanceSetting[std::size_t(v)])
            continue;
        p.WhiteBalanceSetting = RemoteFormatWBType(v);
        cd.RemoteSetRemoteParams(p);
        EXPECT_EQ(cd.RemoteGetRemoteParams().WhiteBalanceSetting, v);
    }
    cd.RemoteEnd();
}

TEST_F(TCDSDKSimTest, CardPicturesAndFailures)
{
    cd.Connect(kEvents, 0, 3);
    QTemporaryDir dir;
    ImageListType list = cd.OpenCameraCollection(dir.path(), true);
    ASSERT_EQ(list.size(), 4);
    for (const ImageDataType& picture : list) {
        // Pictures come with their thumbnail, the movie without one.
        EXPECT_EQ(picture.Thumbnail.isNull(), picture.NameOfImage.endsWith(QLatin1String(".AVI")))
            << picture.NameOfImage.toStdString();
    }
    EXPECT_EQ(list[0].NameOfImage, QStringLiteral("IMG_0001.JPG"));
    const QString file = dir.filePath(QStringLiteral("card.jpg"));
    cd.GetPicture(0, file, kProgress, 3);
    EXPECT_FALSE(QImage(file).isNull());
    const qsizetype before = list.size();
    cd.DeletePicture(list, 0);
    EXPECT_EQ(list.size(), before - 1);
    cd.CloseCameraCollection(list);

    SimCam::get().FailNext("CDGetNumAvailableShot", 0x81, 1);
    try {
        cd.RemoteGetNumberOfAvailableShots();
        ADD_FAILURE() << "nothing raised";
    } catch (const ECamException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("CDGetNumAvailableShot errorcode 0x00000081, Device busy"));
    }

    SimCam::get().SetCard(0, 0);
    EXPECT_THROW(cd.FormatCameraCard(), ECamException);
}

} // namespace
