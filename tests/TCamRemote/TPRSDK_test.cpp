// The newer-PowerShot back-end: its readers of the SDK's datasets and the merging of the camera
// names, then the operations against the PRSDK.DLL stand-in and its simulated camera.
#include "TCamRemote/Sources/TPRSDK.h"

#include "TCamRemote/Sources/CamConverters.h"
#include "TCamRemote/Sources/CamParamFiles.h"
#include "TCamRemote/Sources/PRAPI.h"

#include "simcam_control.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtEndian>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

namespace {

// Little-endian dataset bytes, written field by field.
class DataSet {
public:
    DataSet& u8(quint32 v) { return put(v, 1); }
    DataSet& u16(quint32 v) { return put(v, 2); }
    DataSet& u32(quint32 v) { return put(v, 4); }
    DataSet& codes(std::initializer_list<quint16> list)
    {
        u32(quint32(list.size()));
        for (const quint16 c : list)
            u16(c);
        return *this;
    }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    DataSet& put(quint32 v, int width)
    {
        for (int i = 0; i < width; ++i)
            m_bytes.push_back(uint8_t(v >> (8 * i)));
        return *this;
    }
    std::vector<uint8_t> m_bytes;
};

// A device information dataset with a two-character vendor description.
DataSet deviceInfo(std::initializer_list<quint16> operations, std::initializer_list<quint16> events,
                   std::initializer_list<quint16> properties)
{
    DataSet d;
    d.u16(100).u32(11).u16(200).u8(2).u16('C').u16('a').u16(0);
    d.codes(operations).codes(events).codes(properties);
    return d;
}

TEST(TPRSDKDataSets, DeviceInfoSetsTheFlagsOfItsCodes)
{
    const DataSet d = deviceInfo({0x1001, 0x9008, 0x900B, 0x9014}, {0x4002, 0xD017},
                                 {0xD006, 0xD019, 0xD02A, 0xD00B, 0xD041, 0x5001});
    CameraDeviceInfoType operationsOnly;
    ReadPRDeviceInfo(d.bytes().data(), d.bytes().size(), false, operationsOnly);
    CameraDeviceInfoType expected;
    expected.RemoteSupported = expected.ViewfinderSupported = expected.AfLockUnlockSupported = true;
    EXPECT_EQ(operationsOnly, expected);

    CameraDeviceInfoType all;
    ReadPRDeviceInfo(d.bytes().data(), d.bytes().size(), true, all);
    // The event list's 0xD017 is an event code, not the contrast property.
    expected.CompQualitySupported = expected.SharpnessSupported = expected.ZoomSupported = true;
    expected.BeepSupported = expected.AFAssistLightSupported = true;
    EXPECT_EQ(all, expected);
}

TEST(TPRSDKDataSets, DeviceInfoCutShortGivesWhatItHolds)
{
    const DataSet d = deviceInfo({0x9008, 0x900B}, {}, {0xD01C, 0xD01D});
    const std::vector<uint8_t>& bytes = d.bytes();
    const size_t header = 2 + 4 + 2 + 1 + 4 + 2 + 4; // through the operation count
    const struct {
        size_t size;
        bool remote, viewfinder, iso, av;
    } rows[] = {
        {0, false, false, false, false},
        {header, false, false, false, false},
        {header + 2, true, false, false, false},
        {header + 3, true, false, false, false},
        {header + 4 + 4 + 4 + 2, true, true, true, false},
        {bytes.size() - 1, true, true, true, false},
        {bytes.size(), true, true, true, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.size);
        CameraDeviceInfoType info;
        ReadPRDeviceInfo(bytes.data(), r.size, true, info);
        EXPECT_EQ(info.RemoteSupported, r.remote);
        EXPECT_EQ(info.ViewfinderSupported, r.viewfinder);
        EXPECT_EQ(info.ISOSupported, r.iso);
        EXPECT_EQ(info.AvSupported, r.av);
    }
    // Counts far beyond the bytes present end at the end of the bytes.
    DataSet hostile;
    hostile.u16(0).u32(0).u16(0).u8(255).u16(0x9008).u32(0xFFFFFFFF).u16(0x9008);
    CameraDeviceInfoType info;
    ReadPRDeviceInfo(hostile.bytes().data(), hostile.bytes().size(), true, info);
    EXPECT_EQ(info, CameraDeviceInfoType());
}

TEST(TPRSDKDataSets, EnumerationDescriptorValues)
{
    DataSet narrow; // code, data type, get/set, default, current, form, count, values
    narrow.u16(0xD008).u16(2).u8(1).u8(1).u8(2).u8(2).u16(3).u8(0).u8(1).u8(2);
    EXPECT_EQ(ReadPREnumValues(narrow.bytes().data(), narrow.bytes().size(), 1), (QList<quint32>{0, 1, 2}));

    DataSet wide;
    wide.u16(0xD01D).u16(4).u8(1).u16(0x20).u16(0x28).u8(2).u16(2).u16(0x20).u16(0x58);
    EXPECT_EQ(ReadPREnumValues(wide.bytes().data(), wide.bytes().size(), 2), (QList<quint32>{0x20, 0x58}));
    EXPECT_EQ(ReadPREnumValues(wide.bytes().data(), wide.bytes().size() - 1, 2), (QList<quint32>{0x20}));
    EXPECT_EQ(ReadPREnumValues(wide.bytes().data(), 5, 2), QList<quint32>());

    DataSet endless;
    endless.u16(0xD00B).u16(2).u8(1).u8(0).u8(0).u8(2).u16(0xFFFF).u8(1);
    EXPECT_EQ(ReadPREnumValues(endless.bytes().data(), endless.bytes().size(), 1), QList<quint32>{1});
}

CDSourceRecord olderRecord(uint8_t tag)
{
    CDSourceRecord record{};
    record[0] = tag;
    return record;
}

TEST(TPRSDKEnumeration, CameraSeenByBothSdksIsListedOnceAfterTheOlderOnes)
{
    const struct {
        const char* what;
        QStringList older;
        QStringList newer;
        QStringList names;
        std::vector<uint8_t> olderLeft; // tags of the older records left
    } rows[] = {
        {"apart", {"A", "B"}, {"C"}, {"A", "B", "C"}, {0, 1}},
        {"one in both", {"A", "B", "C"}, {"B"}, {"A", "C", "B"}, {0, 2}},
        {"all in both", {"A", "B"}, {"B", "A"}, {"B", "A"}, {}},
        {"older twice", {"A", "X", "A"}, {"A"}, {"X", "A"}, {1}},
        {"newer twice", {"A", "B"}, {"A", "A"}, {"B", "A", "A"}, {1}},
        {"no older", {}, {"A", "B"}, {"A", "B"}, {}},
        {"no newer", {"A"}, {}, {"A"}, {0}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        QStringList names = r.older;
        std::vector<CDSourceRecord> olderList;
        for (int i = 0; i < r.older.size(); ++i)
            olderList.push_back(olderRecord(uint8_t(i)));
        int olderCount = int(r.older.size());
        for (const QString& name : r.newer)
            AddPRCameraName(names, olderCount, name, olderList);
        EXPECT_EQ(names, r.names);
        EXPECT_EQ(olderCount, int(r.olderLeft.size()));
        std::vector<uint8_t> left;
        for (const CDSourceRecord& record : olderList)
            left.push_back(record[0]);
        EXPECT_EQ(left, r.olderLeft);
    }
}

} // namespace

// --- Against the stand-in --------------------------------------------------------------------


namespace {

// The simulated camera's control functions, from the library the binding loaded.
struct SimCam {
#define SIMCAM_POINTER(ret, name, params) pfn_##name name = nullptr;
    SIMCAM_CONTROL_FUNCTIONS(SIMCAM_POINTER)
#undef SIMCAM_POINTER
};

SimCam& simCam()
{
    static SimCam functions = [] {
        SimCam f;
        void* handle = dlopen(JEX4_SDK_BIN_DIR "/PRSDK.DLL", RTLD_NOW | RTLD_NOLOAD);
        EXPECT_NE(handle, nullptr) << "the binding has not loaded the stand-in";
#define SIMCAM_RESOLVE(ret, name, params) f.name = reinterpret_cast<pfn_##name>(handle ? dlsym(handle, #name) : nullptr);
        SIMCAM_CONTROL_FUNCTIONS(SIMCAM_RESOLVE)
#undef SIMCAM_RESOLVE
        return f;
    }();
    return functions;
}

// What the SDK hands to the callbacks, kept for the test's thread.
std::mutex gLock;
std::vector<PRReleaseRecord> gEvents;
prHandle gCamera = 0; // the camera object, as the SDK names it to the callbacks
QByteArray gPicture;
bool gPictureEnded = false;

prResponse recordEvent(prHandle camera, prContext, const prVoid* data)
{
    PRReleaseRecord record{};
    std::memcpy(record.data(), data, record.size());
    const std::lock_guard guard(gLock);
    gEvents.push_back(record);
    gCamera = camera;
    return 0;
}

prResponse receivePicture(prHandle, prContext, const prVoid* data)
{
    const auto* progress = static_cast<const prProgress*>(data);
    const std::lock_guard guard(gLock);
    if (progress->lLength == 0)
        gPictureEnded = true;
    else
        gPicture.append(reinterpret_cast<const char*>(progress->pbData), qsizetype(progress->lLength));
    return 0;
}

// Records the probe's progress instead of queueing it for a component.
class ProbingPRSDK : public TPRSDK {
public:
    void ReportProbeProgress(int Percentage) override { progress.append(Percentage); }
    QList<int> progress;
};

// One newer PowerShot camera plugged in, the SDK started and the camera connected.
class PRSimCam : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qputenv("JEX4_CAMERA_SDK_PATH", JEX4_SDK_BIN_DIR);
        qunsetenv("LD_LIBRARY_PATH");
        LoadPRSDK();
    }

    void SetUp() override
    {
        qputenv("JEX4_SIMCAM_CAMERAS", "ps-new");
        simCam().SimCam_Reset();
        PRCameraList().clear();
        CDCameraList().clear();
        gEvents.clear();
        gCamera = 0;
        gPicture.clear();
        gPictureEnded = false;
        sdk.InitCommunications();
        QStringList names;
        sdk.EnumerateCameras(names);
        ASSERT_EQ(names, QStringList{"PowerShot SimCam N"});
        info = sdk.Connect(reinterpret_cast<void*>(&recordEvent), 0, 7);
    }

    void TearDown() override
    {
        sdk.Disconnect();
        sdk.FinilizeCommunications();
        PRCameraList().clear();
        CDCameraList().clear();
    }

    // A property read straight through the SDK, as the camera holds it.
    static quint32 cameraValue(quint16 code, prUInt32 width)
    {
        uint8_t bytes[4] = {};
        EXPECT_EQ(pr::PR_GetDevicePropValue(cameraHandle(), code, &width, bytes), 0u) << std::hex << code;
        return width == 1 ? bytes[0] : width == 2 ? qFromLittleEndian<quint16>(bytes) : qFromLittleEndian<quint32>(bytes);
    }

    // The camera object the back-end opened, learnt from an event: the camera's own change of a
    // setting (the beep) announces itself to the event callback the back-end registered.
    static prHandle cameraHandle()
    {
        {
            const std::lock_guard guard(gLock);
            if (gCamera)
                return gCamera;
        }
        simCam().SimCam_SetProperty(0, 0xD00B, 1);
        EXPECT_TRUE(simCam().SimCam_WaitIdle(30000));
        const std::lock_guard guard(gLock);
        EXPECT_NE(gCamera, 0u) << "no event reached the callback";
        return gCamera;
    }

    ProbingPRSDK sdk;
    ConnectInfoType info;
};

TEST_F(PRSimCam, ConnectReadsTheCamera)
{
    ConnectInfoType expected;
    expected.CameraModel = CamModPowerShot;
    expected.CameraModelName = QStringLiteral("PowerShot SimCam N");
    expected.Battery = {BatterySourceLitium, BatteryStatusNormal};
    EXPECT_EQ(info, expected);
    EXPECT_TRUE(sdk.RemoteSupported());
    EXPECT_EQ(sdk.GetFirmwareVersion(), QStringLiteral("Firmware version 01000200"));
    EXPECT_EQ(sdk.GetBodyID() & 0xFF000000u, 0x51000000u);
}

TEST_F(PRSimCam, ConnectRefusesCameraNumbersOutsideTheNewerList)
{
    sdk.Disconnect();
    CDCameraList().resize(2); // two older PowerShot cameras listed first
    const QString prefix = QStringLiteral("Not valid value in parameter ConnectToCamera when calling Connect (PR). ");
    const struct {
        int camera;
        bool newerListed;
        QString raised;
    } rows[] = {
        {1, true, prefix + "Value must be at least zero. Currently ConnectToCamera = 1 and2 old Powershot cameras connected"},
        {-5, true, prefix + "Value must be at least zero. Currently ConnectToCamera = -5 and2 old Powershot cameras connected"},
        {3, true, prefix + "There are only 1 new PowerShot cameras connected. Currently is parameter ConnectToCamera = 3 and2 old Powershot cameras connected"},
        {2, false, "There seems to be no connected PowerShot cameras (newer than S80) connected. Have you called the EnumerateCameras function before calling Connect?"},
    };
    const std::vector<PRDeviceRecord> listed = PRCameraList();
    for (const auto& r : rows) {
        SCOPED_TRACE(r.camera);
        PRCameraList() = r.newerListed ? listed : std::vector<PRDeviceRecord>();
        try {
            sdk.Connect(reinterpret_cast<void*>(&recordEvent), r.camera, 7);
            ADD_FAILURE() << "connected";
        } catch (const ECamException& e) {
            EXPECT_EQ(e.message(), r.raised);
        }
    }
    PRCameraList() = listed;
    EXPECT_EQ(sdk.Connect(reinterpret_cast<void*>(&recordEvent), 2, 7).CameraModelName, QStringLiteral("PowerShot SimCam N"));
}

TEST_F(PRSimCam, FailedCallsRaiseTheirNameCodeAndText)
{
    sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString(), nullptr, 7);
    const struct {
        const char* entry;
        quint32 result;
        std::function<void()> call;
        QString raised;
    } rows[] = {
        {"PR_RC_Release", 0x2019, [&] { sdk.RemoteTakePicture(nullptr, 7); }, "PR_RC_Release errorcode 0x00002019, Device busy"},
        {"PR_RC_GetNumAvailableShot", 0xA009, [&] { sdk.RemoteGetNumberOfAvailableShots(); },
         "PR_RC_GetNumAvailableShot errorcode 0x0000A009, Extension low battery"},
        {"PR_GetDevicePropValue", 0x12342003, [&] { sdk.GetBodyID(); }, "PR_GetDevicePropValue errorcode 0x12342003, Session not ppen"},
        {"PR_RC_FocusLock", 0x8D01, [&] { sdk.RemoteAFLock(true); }, "PR_RC_FocusLock errorcode 0x00008D01, Unkown error"},
        {"PR_RC_DoAeAfAwb", 0x0007, [&] { sdk.RemoteActivateViewfinderAuto(); }, "PR_RC_DoAeAfAwb errorcode 0x00000007, Not supported"},
        // Replaced by their own texts.
        {"PR_SetDevicePropValue", 0x2019, [&] { sdk.SetTimeInCamera(QDateTime::currentDateTime()); },
         "It is not possible to set time in the current connected camera"},
        {"PR_SetDevicePropValue", 0x2019, [&] { sdk.SetOwnerName("Lab"); },
         "It is not possible to set owner name in the current connected camera"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.entry);
        simCam().SimCam_FailNext(r.entry, r.result, 1);
        try {
            r.call();
            ADD_FAILURE() << "nothing raised";
        } catch (const ECamException& e) {
            EXPECT_EQ(e.message(), r.raised);
        }
        simCam().SimCam_FailNext(r.entry, 0, 0);
    }
    EXPECT_EQ(sdk.RemoteGetNumberOfAvailableShots(), 812) << "a failure passes";
}

TEST_F(PRSimCam, OwnerNameOfUpTo31Characters)
{
    const QString longest(31, QLatin1Char('w'));
    sdk.SetOwnerName(longest);
    uint8_t owner[260] = {};
    prUInt32 size = sizeof owner;
    ASSERT_EQ(pr::PR_GetDevicePropValue(cameraHandle(), 0xD033, &size, owner), 0u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(owner)), longest.toLatin1());

    const int writes = simCam().SimCam_CallCount("PR_SetDevicePropValue");
    try {
        sdk.SetOwnerName(longest + QLatin1Char('w'));
        ADD_FAILURE() << "32 characters accepted";
    } catch (const ECamException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("The owner name to set is too long"));
    }
    EXPECT_EQ(simCam().SimCam_CallCount("PR_SetDevicePropValue"), writes);

    // The next connect reads the name back, in the code page's characters.
    sdk.SetOwnerName(QStringLiteral("J\u00F6rg"));
    sdk.Disconnect();
    EXPECT_EQ(sdk.Connect(reinterpret_cast<void*>(&recordEvent), 0, 7).OwnerName, QStringLiteral("J\u00F6rg"));
}

TEST_F(PRSimCam, TimeIsTheClockReadingInWholeSeconds)
{
    sdk.SetTimeInCamera(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58, 600)));
    EXPECT_EQ(cameraValue(0xD034, 4), quint32(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59), QTimeZone::utc()).toSecsSinceEpoch()));
}

TEST_F(PRSimCam, RemoteStartWithBothReleaseTargetsWritesNothing)
{
    const int writes = simCam().SimCam_CallCount("PR_SetDevicePropValue");
    const int initiates = simCam().SimCam_CallCount("PR_InitiateReleaseControl");
    try {
        sdk.RemoteStart(ReleaseModeBothPCAndCamera, ReleaseDataKindTakeOnlyPicture, true, QString(), nullptr, 7);
        ADD_FAILURE() << "started";
    } catch (const ECamException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Release to both camera and PC does not work for the connected camera"));
    }
    EXPECT_EQ(simCam().SimCam_CallCount("PR_SetDevicePropValue"), writes);
    EXPECT_EQ(simCam().SimCam_CallCount("PR_InitiateReleaseControl"), initiates) << "the camera stays out of release control";
    EXPECT_TRUE(sdk.progress.isEmpty());
}

TEST_F(PRSimCam, RemoteStartSetsTheTransferModeAndReportsWhatTheCameraOffers)
{
    const struct {
        ReleaseModeType mode;
        ReleaseDataKindType kind;
        quint32 transfer;
    } rows[] = {
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyThumbnail, 1},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 2},
        {ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic, 3},
        {ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyThumbnail, 4},
        {ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture, 8},
        {ReleaseModeOnlyToCamera, ReleaseDataKingTakeBothThumbAndPic, 12},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.transfer);
        const RemoteFuncType func = sdk.RemoteStart(r.mode, r.kind, false, QString(), nullptr, 7);
        EXPECT_EQ(cameraValue(0xD029, 2), r.transfer);
        EXPECT_TRUE(func.DoSupportZoom);
        EXPECT_TRUE(func.DoSupportShootingPara);
        EXPECT_TRUE(func.DoSupportViewfinder);
        EXPECT_TRUE(func.DoSupportAfLockUnlock);
        EXPECT_FALSE(func.ReqViewfinderOffWhenShooting);
        EXPECT_EQ(func.RemoteParamSupported, RemoteReleaseAvailParametersType()) << "no probe asked for";
        sdk.RemoteEnd();
    }
    EXPECT_TRUE(sdk.progress.isEmpty());
}

TEST_F(PRSimCam, ProbeMarksTheOfferedValuesAndWritesTheCache)
{
    // Colour gain offers only its default; sharpness all three levels.
    const int32_t gain[] = {0};
    ASSERT_EQ(simCam().SimCam_SetAllowedValues(0, 0xD018, gain, 1), 0);
    QTemporaryDir cache;
    const RemoteFuncType func = sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, cache.path(), nullptr, 7);
    const RemoteReleaseAvailParametersType& avail = func.RemoteParamSupported;

    ASSERT_EQ(sdk.progress.size(), 21);
    EXPECT_EQ(sdk.progress.first(), 5);
    EXPECT_EQ(sdk.progress.last(), 100);
    for (int i = 1; i < sdk.progress.size(); ++i)
        EXPECT_LT(sdk.progress[i - 1], sdk.progress[i]);

    const auto offered = [](const auto& set) {
        QList<int> values;
        for (size_t i = 0; i < set.size(); ++i)
            if (set[i])
                values.append(int(i));
        return values;
    };
    EXPECT_EQ(offered(avail.Sharpness), (QList<int>{RemoteFormatLevelLow, RemoteFormatLevelDefault, RemoteFormatLevelHigh}));
    EXPECT_EQ(offered(avail.ColorGain), QList<int>{RemoteFormatLevelDefault});
    EXPECT_EQ(offered(avail.Contrast), (QList<int>{RemoteFormatLevelLow, RemoteFormatLevelDefault, RemoteFormatLevelHigh}));
    // Quality from 0xD006 and RAW from the image type 0xD007.
    EXPECT_EQ(offered(avail.CompQuality), (QList<int>{RemoteFormatQualityNormal, RemoteFormatQualityFine,
                                                      RemoteFormatQualitySuperfine, RemoteFormatQualityRAW}));
    // The self-timer code offers both timers.
    EXPECT_TRUE(avail.DriveMode[RemoteFormatDriveMode10SecSelfTimer]);
    EXPECT_TRUE(avail.DriveMode[RemoteFormatDriveMode2SecSelfTimer]);
    // Apertures, which the camera lists only in manual mode: its codes 32 to 64 in thirds.
    EXPECT_EQ(offered(avail.Av).first(), int(RemoteFormatAV2_8));
    EXPECT_EQ(offered(avail.Av).last(), int(AvFromCode(64)));
    EXPECT_EQ(offered(avail.Av).size(), 13);
    EXPECT_FALSE(avail.Tv[0]);
    EXPECT_FALSE(avail.ISO[0]);
    // What the newer PowerShot never has.
    for (const auto& none : {offered(avail.CompQualityPic2RAW), offered(avail.ImageSizePic2RAW), offered(avail.ColorSpace),
                             offered(avail.AFMode)})
        EXPECT_EQ(none, QList<int>{0});
    EXPECT_FALSE(avail.WhiteBalanceShift);
    EXPECT_FALSE(avail.PictureStyle);
    // The camera is left in Program mode.
    EXPECT_EQ(cameraValue(0xD00C, 1), 1u);

    RemoteReleaseAvailParametersType cached;
    ASSERT_TRUE(LoadRemoteParamCache(cache.filePath(QStringLiteral("PowerShot SimCam N Mode0")), cached));
    EXPECT_EQ(cached, avail);
}

TEST_F(PRSimCam, ProbeCacheStaysInsideItsFolder)
{
    // The model name is the camera's word, as its device record gives it.
    sdk.Disconnect();
    const QString hostile = QStringLiteral("../P\\S");
    for (int i = 0; i < 32; ++i)
        qToLittleEndian<quint16>(i < hostile.size() ? hostile[i].unicode() : 0, PRCameraList()[0].data() + 1024 + 2 * i);
    EXPECT_EQ(sdk.Connect(reinterpret_cast<void*>(&recordEvent), 0, 7).CameraModelName, hostile);
    QTemporaryDir root;
    const QString cache = root.filePath(QStringLiteral("cache"));
    sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, cache, nullptr, 7);
    EXPECT_EQ(QDir(cache).entryList(QDir::Files | QDir::Hidden), QStringList{".._P_S Mode0"});
    EXPECT_EQ(QDir(root.path()).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"cache"});
}

TEST_F(PRSimCam, ReleaseParametersRoundTrip)
{
    sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString(), nullptr, 7);
    RemoteReleaseParametersType set;
    set.ImageMode = RemoteFormatShootingModeManual;
    set.CompQuality = RemoteFormatQualitySuperfine;
    set.DriveMode = RemoteFormatDriveMode2SecSelfTimer;
    set.Av = RemoteFormatAV4_0;
    set.Tv = RemoteFormatTV1_125;
    set.Sharpness = RemoteFormatLevelHigh;
    set.ColorGain = RemoteFormatLevelLow;
    set.AFAssistLight = RemoteFormatAFLightOff;
    sdk.RemoteSetRemoteParams(set);
    EXPECT_EQ(cameraValue(0xD00E, 1), 2u) << "the self-timer drive mode";
    EXPECT_EQ(cameraValue(0xD009, 2), 20u) << "two seconds";
    EXPECT_EQ(cameraValue(0xD007, 1), 1u) << "JPEG";

    const RemoteReleaseParametersType got = sdk.RemoteGetRemoteParams();
    EXPECT_EQ(got.ImageMode, set.ImageMode);
    EXPECT_EQ(got.CompQuality, set.CompQuality);
    EXPECT_EQ(got.DriveMode, set.DriveMode);
    EXPECT_EQ(got.Av, set.Av);
    EXPECT_EQ(got.Tv, set.Tv);
    EXPECT_EQ(got.Sharpness, set.Sharpness);
    EXPECT_EQ(got.ColorGain, set.ColorGain);
    EXPECT_EQ(got.AFAssistLight, set.AFAssistLight);
    EXPECT_EQ(got.PictureStyle, PictureStyleType()) << "not a PowerShot setting";

    // In Program mode aperture and shutter speed are neither written nor read.
    RemoteReleaseParametersType program = set;
    program.ImageMode = RemoteFormatShootingModeProgram;
    program.Av = RemoteFormatAV8_0;
    sdk.RemoteSetRemoteParams(program);
    const RemoteReleaseParametersType inProgram = sdk.RemoteGetRemoteParams();
    EXPECT_EQ(inProgram.Av, RemoteFormatAVNotUsed);
    EXPECT_EQ(inProgram.Tv, RemoteFormatTVNotUsed);
    EXPECT_EQ(cameraValue(0xD01D, 2), quint32(AvValue(RemoteFormatAV4_0)));
}

TEST_F(PRSimCam, ZoomRange)
{
    sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString(), nullptr, 7);
    sdk.RemoteSetZoomPos(6);
    RemoteZoomCapabilityType expected;
    expected.CurrentZoomPos = 6;
    expected.MaxZoomPos = 14;
    expected.MaxOpticalZoomPos = 9;
    EXPECT_EQ(sdk.RemoteGetZoomPos(), expected);
}

TEST_F(PRSimCam, ReleasedPictureIsHandedOverThroughTheCallback)
{
    sdk.RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString(), nullptr, 7);
    {
        const std::lock_guard guard(gLock);
        gEvents.clear();
    }
    sdk.RemoteTakePicture(nullptr, 7);
    ASSERT_TRUE(simCam().SimCam_WaitIdle(30000)); // the camera has announced what it made
    PRReleaseRecord released{};
    {
        const std::lock_guard guard(gLock);
        for (const PRReleaseRecord& record : gEvents)
            if (qFromLittleEndian<quint16>(record.data() + 6) == 0xC008)
                released = record;
    }
    ASSERT_NE(released[0], 0) << "no picture announced";
    sdk.RemoteGetPicture(released, reinterpret_cast<void*>(&receivePicture), 7);
    const std::lock_guard guard(gLock);
    EXPECT_TRUE(gPictureEnded);
    EXPECT_EQ(quint32(gPicture.size()), qFromLittleEndian<quint32>(released.data() + 16)) << "the size the event gave";
    const QImage picture = QImage::fromData(gPicture, "JPEG");
    EXPECT_EQ(picture.size(), QSize(2592, 1944));
}

TEST_F(PRSimCam, OperationsTheCameraLacks)
{
    ImageListType list;
    const std::pair<std::function<void()>, QString> rows[] = {
        {[&] { sdk.FormatCameraCard(); }, "FormatCameraCard is not supported for you camera."},
        {[&] { sdk.OpenCameraCollection(QString(), true); }, "OpenCameraCollection is not supported for you camera."},
        {[&] { sdk.CloseCameraCollection(list); }, "CloseCameraCollection is not supported for you camera."},
        {[&] { sdk.GetPicture(0, QString(), nullptr, 7); }, "GetPicture is not supported for you camera."},
        {[&] { sdk.DeletePicture(list, 0); }, "DeletePicture is not supported for you camera."},
    };
    for (const auto& [call, raised] : rows) {
        try {
            call();
            ADD_FAILURE() << raised.toStdString();
        } catch (const ECamException& e) {
            EXPECT_EQ(e.message(), raised);
        }
    }
}

// A camera both SDKs list: the older-PowerShot entry of the same name goes, with its record.
TEST_F(PRSimCam, EnumerationListsACameraOfBothSdksOnce)
{
    sdk.Disconnect();
    sdk.FinilizeCommunications();
    qputenv("JEX4_SIMCAM_CAMERAS", "ps-new,ps-both");
    simCam().SimCam_Reset();
    sdk.InitCommunications();
    QStringList names = {"PowerShot SimCam Twin", "PowerShot A1"};
    CDCameraList() = {olderRecord(0), olderRecord(1)};
    sdk.EnumerateCameras(names);
    EXPECT_EQ(names, (QStringList{"PowerShot A1", "PowerShot SimCam N", "PowerShot SimCam Twin"}));
    ASSERT_EQ(CDCameraList().size(), 1u);
    EXPECT_EQ(CDCameraList()[0][0], 1);
    ASSERT_EQ(PRCameraList().size(), 2u);
    // The twin is the second newer camera: number 1 older + 1.
    EXPECT_EQ(sdk.Connect(reinterpret_cast<void*>(&recordEvent), 2, 7).CameraModelName, QStringLiteral("PowerShot SimCam Twin"));
}

} // namespace
