#include "TCamRemote/Sources/TCDSDK.h"

#include "TCamRemote/Sources/CDSDKBinding.h"

#include "TCamRemote/Sources/CamConverters.h"
#include "TCamRemote/Sources/CamParamFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtEndian>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace {

constexpr uint32_t kDeviceNotFound = 0x80;
constexpr uint32_t kPropOwner = 0x0800000C;
constexpr uint32_t kPropBattery = 0x0F;
constexpr uint32_t kPropTime = 0x0800000D;

// An older PowerShot camera inside the SDK: cameras by index, device properties, settings with the
// codes it accepts, the lists it can enumerate, and a card. Every call lands in `calls`; a call
// named in `fail` returns that result instead of working.
class SimCD : public CDSDKCalls {
public:
    struct Camera {
        QString name, nameInOS;
    };
    std::vector<Camera> cameras;
    std::map<uint32_t, QByteArray> properties; // in enumeration order of their ids
    std::map<QString, uint32_t> fail;
    QStringList calls;
    int propertyResets = 0, propertyReleases = 0;

    // Settings: current value and the codes a set accepts (empty: any).
    std::map<QString, uint32_t> current;
    std::map<QString, std::set<uint32_t>> accepts;
    std::set<uint32_t> modesAllowingManual{1};
    std::map<CDValueList, std::vector<std::pair<uint32_t, uint32_t>>> lists; // what the camera enumerates
    std::map<uint32_t, std::vector<uint32_t>> settingLists;                  // RelCamSettingData by id
    std::vector<std::pair<QString, uint32_t>> sets;                          // every set call, in order

    uint32_t volumeAt8 = 1000, volumeAt12 = 500;
    QStringList items;
    std::vector<CDHandle> opened;
    QStringList written; // files written by CDGetImageData

    uint32_t result(const char* name)
    {
        calls << QString::fromLatin1(name);
        const auto it = fail.find(QString::fromLatin1(name));
        return it == fail.end() ? 0 : it->second;
    }
    uint32_t set(const QString& key, uint32_t value)
    {
        calls << QStringLiteral("set ") + key;
        sets.emplace_back(key, value);
        const auto f = fail.find(key);
        if (f != fail.end())
            return f->second;
        const auto a = accepts.find(key);
        if (a != accepts.end() && !a->second.count(value))
            return 0x86; // device invalid parameter
        current[key] = value;
        return 0;
    }
    uint32_t get(const QString& key, uint32_t& value)
    {
        const auto it = current.find(key);
        if (it == current.end())
            return CDSDKCalls::NotSupported;
        value = it->second;
        return 0;
    }

    uint32_t CDStartSDK(uint16_t Size, uint16_t Major, uint16_t Minor, uint32_t) override
    {
        calls << QStringLiteral("CDStartSDK %1.%2.%3").arg(Size).arg(Major).arg(Minor);
        return 0;
    }
    uint32_t CDFinishSDK() override { return result("CDFinishSDK"); }
    uint32_t CDEnumDeviceReset(uint32_t, CDHandle& Enum) override { Enum = 0; return result("CDEnumDeviceReset"); }
    uint32_t CDGetDeviceCount(CDHandle, uint32_t& Count) override
    {
        Count = uint32_t(cameras.size());
        return result("CDGetDeviceCount");
    }
    uint32_t CDEnumDeviceNext(CDHandle, CDSourceRecord& Source) override
    {
        Source.fill(0);
        Source[0] = m_nextDevice++;
        return result("CDEnumDeviceNext");
    }
    uint32_t CDEnumDeviceRelease(CDHandle) override { m_nextDevice = 0; return result("CDEnumDeviceRelease"); }
    QString NameSource(const CDSourceRecord& Source) override { return cameras.at(Source[0]).name; }
    QString NameInOS(const CDSourceRecord& Source) override { return cameras.at(Source[0]).nameInOS; }
    uint32_t CDOpenSource(const CDSourceRecord& Source, CDHandle& Handle) override
    {
        Handle = 100 + Source[0];
        return result("CDOpenSource");
    }
    uint32_t CDCloseSource(CDHandle) override { return result("CDCloseSource"); }

    uint32_t CDEnumDevicePropertyReset(CDHandle, uint32_t, CDHandle& Enum) override
    {
        ++propertyResets;
        m_nextProperty = properties.begin();
        Enum = 1;
        return result("CDEnumDevicePropertyReset");
    }
    uint32_t CDEnumDevicePropertyNext(CDHandle, uint32_t& Id, uint32_t& Size) override
    {
        if (const uint32_t r = result("CDEnumDevicePropertyNext"))
            return r;
        if (m_nextProperty == properties.end())
            return kDeviceNotFound;
        Id = m_nextProperty->first;
        Size = uint32_t(m_nextProperty->second.size());
        ++m_nextProperty;
        return 0;
    }
    uint32_t CDEnumDevicePropertyRelease(CDHandle) override
    {
        ++propertyReleases;
        return result("CDEnumDevicePropertyRelease");
    }
    uint32_t CDGetDevicePropertyData(CDHandle, uint32_t Id, uint32_t& Size, void* Data) override
    {
        if (const uint32_t r = result("CDGetDevicePropertyData"))
            return r;
        const QByteArray& value = properties.at(Id);
        Size = std::min<uint32_t>(Size, uint32_t(value.size()));
        std::memcpy(Data, value.constData(), Size);
        return 0;
    }
    uint32_t CDSetDevicePropertyData(CDHandle, uint32_t Id, uint32_t Size, const void* Data) override
    {
        if (const uint32_t r = result("CDSetDevicePropertyData"))
            return r;
        properties[Id] = QByteArray(static_cast<const char*>(Data), int(Size));
        return 0;
    }
    uint32_t CDRegisterEventCallbackFunction(CDHandle, void* Callback, uintptr_t Context, CDHandle& Handle) override
    {
        calls << QStringLiteral("callback context %1").arg(Context);
        Handle = 7;
        return result("CDRegisterEventCallbackFunction");
    }
    uint32_t CDUnregisterEventCallbackFunction(CDHandle, CDHandle Handle) override
    {
        return result("CDUnregisterEventCallbackFunction");
    }

    uint32_t CDEnumVolumeReset(CDHandle, CDHandle& Enum) override { Enum = 2; return result("CDEnumVolumeReset"); }
    uint32_t CDEnumVolumeNext(CDHandle, CDHandle& Volume) override { Volume = 9; return result("CDEnumVolumeNext"); }
    uint32_t CDEnumVolumeRelease(CDHandle) override { return result("CDEnumVolumeRelease"); }
    uint32_t CDGetVolumeInfo(CDHandle, uint32_t& At8, uint32_t& At12) override
    {
        At8 = volumeAt8;
        At12 = volumeAt12;
        return result("CDGetVolumeInfo");
    }
    uint32_t CDFormat(CDHandle Volume) override { return result("CDFormat"); }

    uint32_t faculty = 0x40000000 | 0x1F;
    uint32_t CDGetReleaseControlFaculty(CDHandle, uint32_t& Faculty) override
    {
        Faculty = faculty;
        return result("CDGetReleaseControlFaculty");
    }
    uint32_t CDEnterReleaseControl(CDHandle, void*, uintptr_t) override { return result("CDEnterReleaseControl"); }
    uint32_t CDExitReleaseControl(CDHandle) override { return result("CDExitReleaseControl"); }
    uint32_t CDSelectReleaseDataKind(CDHandle, uint32_t Kind) override
    {
        calls << QStringLiteral("kind %1").arg(Kind);
        return result("CDSelectReleaseDataKind");
    }
    uint32_t CDSelectViewFinderCameraOutput(CDHandle, uint32_t Output) override
    {
        calls << QStringLiteral("output %1").arg(Output);
        return result("CDSelectViewFinderCameraOutput");
    }
    uint32_t CDRelease(CDHandle, uint32_t Sync, void*, uintptr_t Context, uint32_t Option, uint32_t& Count) override
    {
        calls << QStringLiteral("release %1 %2 %3").arg(Sync).arg(Context).arg(Option);
        return result("CDRelease");
    }

    // Release settings.
    uint32_t CDGetImageFormatAttribute(CDHandle, uint32_t& Quality, uint32_t& Size) override
    {
        return get("quality", Quality) | get("size", Size);
    }
    uint32_t CDSetImageFormatAttribute(CDHandle, uint32_t Quality, uint32_t Size) override
    {
        calls << QStringLiteral("set format");
        sets.emplace_back(QStringLiteral("format"), Quality << 16 | Size);
        if (accepts.count("format") && !accepts["format"].count(Quality << 16 | Size))
            return 0x86;
        current["quality"] = Quality;
        current["size"] = Size;
        return 0;
    }
    uint32_t CDGetShootingMode(CDHandle, uint32_t& Mode) override { return get("mode", Mode); }
    uint32_t CDSetShootingMode(CDHandle, uint32_t Mode) override { return set("mode", Mode); }
    uint32_t CDGetAvValue(CDHandle, uint32_t& Value) override { return get("av", Value); }
    uint32_t CDSetAvValue(CDHandle, uint32_t Value) override { return manual() ? set("av", Value) : 0x86; }
    uint32_t CDGetTvValue(CDHandle, uint32_t& Value) override { return get("tv", Value); }
    uint32_t CDSetTvValue(CDHandle, uint32_t Value) override { return manual() ? set("tv", Value) : 0x86; }
    uint32_t CDGetExposureComp(CDHandle, uint32_t& Value) override { return get("exposure", Value); }
    uint32_t CDSetExposureComp(CDHandle, uint32_t Value) override { return set("exposure", Value); }
    uint32_t CDGetWBSetting(CDHandle, uint32_t& Value) override { return get("wb", Value); }
    uint32_t CDSetWBSetting(CDHandle, uint32_t Value) override { return set("wb", Value); }
    uint32_t CDGetAFDistanceSetting(CDHandle, uint32_t& Value) override { return get("afdist", Value); }
    uint32_t CDSetAFDistanceSetting(CDHandle, uint32_t Value) override { return set("afdist", Value); }
    uint32_t CDGetFlashSetting(CDHandle, uint32_t& Mode, uint32_t& Comp) override
    {
        return get("flash", Mode) | get("flashcomp", Comp);
    }
    uint32_t CDSetFlashSetting(CDHandle, uint32_t Mode, uint32_t Comp) override
    {
        if (Mode != 255)
            return set("flash", Mode);
        return set("flashcomp", Comp);
    }
    uint32_t CDGetRelCamSettingData(CDHandle, uint32_t Id, uint32_t Size, uint32_t& Value) override
    {
        return get(QStringLiteral("rel %1/%2").arg(Id, 0, 16).arg(Size), Value);
    }
    uint32_t CDSetRelCamSettingData(CDHandle, uint32_t Id, uint32_t Size, uint32_t Value) override
    {
        return set(QStringLiteral("rel %1/%2").arg(Id, 0, 16).arg(Size), Value);
    }

    uint32_t EnumValuesReset(CDValueList List, CDHandle, uint32_t Id, CDHandle& Enum) override
    {
        if (List == CDValueList::RelCamSettingData ? !settingLists.count(Id) : !lists.count(List))
            return CDSDKCalls::NotSupported;
        m_list.clear();
        if (List == CDValueList::RelCamSettingData)
            for (uint32_t v : settingLists[Id])
                m_list.emplace_back(v, 0);
        else
            m_list = lists[List];
        m_listPos = 0;
        ++listsOpen;
        return 0;
    }
    uint32_t GetValuesCount(CDValueList, CDHandle, uint32_t& Count) override
    {
        Count = uint32_t(m_list.size());
        return 0;
    }
    uint32_t EnumValuesNext(CDValueList, CDHandle, uint32_t& Value, uint32_t& Value2) override
    {
        Value = m_list.at(m_listPos).first;
        Value2 = m_list.at(m_listPos).second;
        ++m_listPos;
        return 0;
    }
    uint32_t EnumValuesRelease(CDValueList, CDHandle) override
    {
        --listsOpen;
        return 0;
    }
    int listsOpen = 0;

    // Card.
    uint32_t CDEnumImageItemReset(CDHandle Volume, uint32_t Level, uint32_t Option, CDHandle& Enum) override
    {
        calls << QStringLiteral("items %1 %2 %3").arg(Volume).arg(Level).arg(Option);
        m_nextItem = 0;
        Enum = 3;
        return result("CDEnumImageItemReset");
    }
    uint32_t CDGetImageItemCount(CDHandle, uint32_t& Count) override
    {
        Count = uint32_t(items.size());
        return result("CDGetImageItemCount");
    }
    uint32_t CDEnumImageItemNext(CDHandle, CDHandle& Item) override
    {
        Item = 1000 + m_nextItem++;
        return result("CDEnumImageItemNext");
    }
    uint32_t CDEnumImageItemRelease(CDHandle) override { return result("CDEnumImageItemRelease"); }
    uint32_t CDGetItemInfo(CDHandle Item, QString& Name) override
    {
        Name = items.at(int(Item - 1000));
        return result("CDGetItemInfo");
    }
    uint32_t CDOpenImage(CDHandle Item, CDHandle& Image) override
    {
        Image = Item + 1000;
        opened.push_back(Image);
        return result("CDOpenImage");
    }
    uint32_t CDCloseImage(CDHandle Image) override
    {
        opened.erase(std::find(opened.begin(), opened.end(), Image));
        return result("CDCloseImage");
    }
    uint32_t CDGetThumbnail(CDHandle Image, CDHandle& Data) override
    {
        Data = Image;
        if (items.at(int(Image - 2000)).endsWith(QLatin1String(".AVI")))
            return CDSDKCalls::NotSupported;
        return result("CDGetThumbnail");
    }
    uint32_t CDGetPicture(CDHandle Image, CDHandle& Data) override
    {
        Data = Image;
        return result("CDGetPicture");
    }
    uint32_t CDGetImageData(CDHandle Data, const QByteArray& FileName, void*, uintptr_t, uint32_t Option) override
    {
        if (const uint32_t r = result("CDGetImageData"))
            return r;
        // A picture as wide as its item number, so each thumbnail is told apart.
        const QString name = QFile::decodeName(FileName);
        QImage(int(Data - 2000 + 1), 3, QImage::Format_RGB32).save(name, "JPG");
        written << QStringLiteral("%1 option %2").arg(QFileInfo(name).fileName()).arg(Option);
        return 0;
    }
    uint32_t CDDeleteImage(CDHandle, CDHandle Item) override
    {
        calls << QStringLiteral("delete %1").arg(Item);
        return result("CDDeleteImage");
    }

private:
    bool manual() const
    {
        const auto it = current.find("mode");
        return it != current.end() && it->second == 4;
    }
    uint8_t m_nextDevice = 0;
    std::map<uint32_t, QByteArray>::iterator m_nextProperty;
    std::vector<std::pair<uint32_t, uint32_t>> m_list;
    std::size_t m_listPos = 0;
    uint32_t m_nextItem = 0;
};

// The back-end with its probe's progress kept.
class RecordingCDSDK : public TCDSDK {
public:
    using TCDSDK::TCDSDK;
    std::vector<int> progress;
    void ReportProbeProgress(int Percentage) override { progress.push_back(Percentage); }
};

class TCDSDKTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim = std::make_shared<SimCD>();
        sim->cameras = {{"PowerShot G3", "Canon PowerShot G3 #1"}, {"PowerShot S45", "Canon PowerShot S45 #2"}};
        sim->properties[kPropBattery] = QByteArray(1, char(0x16));
        sim->properties[kPropOwner] = QByteArray("Lab 3\0\0\0\0\0", 10);
        sim->properties[kPropTime] = QByteArray(4, '\0');
        cd = std::make_unique<RecordingCDSDK>(sim);
    }
    void TearDown() override { CDCameraList().clear(); }

    void connectSecond()
    {
        QStringList names;
        cd->EnumerateCameras(names);
        cd->Connect(nullptr, 1, 5);
    }

    static QString raised(const std::function<void()>& call)
    {
        try {
            call();
        } catch (const ECamException& e) {
            return e.message();
        }
        return QStringLiteral("<nothing raised>");
    }

    std::shared_ptr<SimCD> sim;
    std::unique_ptr<RecordingCDSDK> cd;
};

// --- Error texts --------------------------------------------------------------------------------

TEST(CDErrorText, TextsGoByTheLow16BitsAndUnknownCodesSaySo)
{
    struct Row { uint32_t code; const char* text; };
    const Row rows[] = {
        {1, "Unimplemented"}, {11, "Selection unavailable"}, {12, "Unkown error"},
        {34, "File not found"}, {0x12340022, "File not found"}, {46, "File naming not applicable"},
        {82, "Unkown error"}, {83, "Properties not loaded"}, {137, "Device CompactFlash gate changed"},
        {172, "Stream end of stream"}, {196, "Communication USB bus error"}, {244, "Wait timeout error"},
        {0, "Unkown error"}, {0xFFFF, "Unkown error"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(CDErrorText(r.code), QString::fromLatin1(r.text)) << r.code;

    int known = 0;
    for (uint32_t code = 0; code <= 0xFFFF; ++code)
        known += CDErrorText(code) != QLatin1String("Unkown error");
    EXPECT_EQ(known, 85);

    EXPECT_NO_THROW(CDSDKCheck(0, QStringLiteral("CDOpenSource")));
    try {
        CDSDKCheck(0x00010022, QStringLiteral("CDOpenSource"));
        ADD_FAILURE() << "nothing raised";
    } catch (const ECamException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("CDOpenSource errorcode 0x00010022, File not found"));
    }
}

// --- Without an SDK -----------------------------------------------------------------------------

TEST(TCDSDKWithoutSDK, StartsAndFindsNoCamera)
{
    TCDSDK cd(std::make_shared<CDSDKCalls>());
    cd.InitCommunications();
    CDCameraList().assign(1, CDSourceRecord{});
    QStringList names{QStringLiteral("stale")};
    cd.EnumerateCameras(names);
    EXPECT_TRUE(names.isEmpty());
    EXPECT_TRUE(CDCameraList().empty());
    EXPECT_THROW(cd.Connect(nullptr, 0, 1), ECamException);
    cd.FinilizeCommunications();
}

// This program never loads CDSDK.DLL: calls into the unloaded library are refused, not made.
TEST(TCDSDKWithoutSDK, CallsBeforeTheLibraryIsLoadedAreRefused)
{
    CDSDKBinding sdk;
    uint32_t shots = 0;
    EXPECT_EQ(sdk.CDGetNumAvailableShot(1, shots), 0xF1u);
    EXPECT_EQ(sdk.CDCloseSource(1), 0xF1u);
    EXPECT_EQ(sdk.CDFinishSDK(), 0u);

    TCDSDK cd;
    EXPECT_NO_THROW(cd.Disconnect());
    EXPECT_NO_THROW(cd.RemoteStopViewfinder());
    try {
        cd.RemoteGetNumberOfAvailableShots();
        ADD_FAILURE() << "nothing raised";
    } catch (const ECamException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("CDGetNumAvailableShot errorcode 0x000000F1, Invalid function call"));
    }
}

// --- Cameras and connection ---------------------------------------------------------------------

TEST_F(TCDSDKTest, EnumerationListsTheCamerasAndConnectChecksTheNumber)
{
    cd->InitCommunications();
    EXPECT_TRUE(sim->calls.contains(QStringLiteral("CDStartSDK 40.7.3")));
    QStringList names;
    cd->EnumerateCameras(names);
    EXPECT_EQ(names, (QStringList{"Canon PowerShot G3 #1", "Canon PowerShot S45 #2"}));
    EXPECT_EQ(CDCameraList().size(), 2u);

    EXPECT_EQ(raised([&] { cd->Connect(nullptr, -1, 5); }),
              QStringLiteral("Not valid value in parameter ConnectToCamera when calling Connect. Value must be at "
                             "least zero. Currently ConnectToCamera = -1"));
    EXPECT_EQ(raised([&] { cd->Connect(nullptr, 2, 5); }),
              QStringLiteral("Not valid value in parameter ConnectToCamera when calling Connect. There are only 2 "
                             "PowerShot cameras connected. Currently is parameter ConnectToCamera = 2"));

    const ConnectInfoType info = cd->Connect(nullptr, 1, 5);
    EXPECT_EQ(info.CameraModel, CamModPowerShot);
    EXPECT_EQ(info.CameraModelName, QStringLiteral("PowerShot S45"));
    EXPECT_EQ(info.OwnerName, QStringLiteral("Lab 3"));
    EXPECT_EQ(info.Battery, (BatteryType{BatterySourceAC, BatteryStatusNormal}));
    EXPECT_TRUE(sim->calls.contains(QStringLiteral("callback context 5")));
    EXPECT_EQ(sim->propertyResets, 2);
    EXPECT_EQ(sim->propertyReleases, 2);

    CDCameraList().clear();
    EXPECT_EQ(raised([&] { cd->Connect(nullptr, 0, 5); }),
              QStringLiteral("There seems to be no connected PowerShot cameras connected. Have you called the "
                             "EnumerateCameras function before calling Connect?"));
}

TEST_F(TCDSDKTest, BatteryValueNamesSourceAndState)
{
    struct Row { uint8_t value; BatterySourceType source; BatteryStatusType status; };
    const Row rows[] = {
        {0x16, BatterySourceAC, BatteryStatusNormal},       {0x24, BatterySourceLitium, BatteryStatusWeak},
        {0x33, BatterySourceNiMH, BatteryStatusSafetyLow},  {0x46, BatterySourceNiCD, BatteryStatusNormal},
        {0x55, BatterySourceAlMN, BatteryStatusUnknown},    {0x06, BatterySourceUnknown, BatteryStatusNormal},
        {0xF0, BatterySourceUnknown, BatteryStatusUnknown},
    };
    QStringList names;
    cd->EnumerateCameras(names);
    for (const Row& r : rows) {
        sim->properties[kPropBattery] = QByteArray(1, char(r.value));
        const ConnectInfoType info = cd->Connect(nullptr, 0, 5);
        EXPECT_EQ(info.Battery, (BatteryType{r.source, r.status})) << int(r.value);
    }
}

TEST_F(TCDSDKTest, PropertyFailuresRaiseAndStillReleaseTheEnumeration)
{
    QStringList names;
    cd->EnumerateCameras(names);
    sim->properties.erase(kPropBattery);
    EXPECT_EQ(raised([&] { cd->Connect(nullptr, 0, 5); }),
              QStringLiteral("CDEnumDevicePropertyNext errorcode 0x00000080, Device not found"));
    EXPECT_EQ(sim->propertyResets, sim->propertyReleases);

    sim->properties[kPropBattery] = QByteArray(1, char(0x16));
    cd->Connect(nullptr, 0, 5);
    EXPECT_EQ(raised([&] { cd->SetOwnerName(QString(32, QLatin1Char('x'))); }),
              QStringLiteral("The owner name to set is too long"));
    cd->SetOwnerName(QString(31, QLatin1Char('y')));
    EXPECT_EQ(sim->properties[kPropOwner], QByteArray(31, 'y') + '\0');

    sim->fail["CDSetDevicePropertyData"] = 0x81;
    EXPECT_EQ(raised([&] { cd->SetOwnerName(QStringLiteral("Lab")); }),
              QStringLiteral("It is not possible to set owner name in the current connected camera"));
    EXPECT_EQ(raised([&] { cd->SetTimeInCamera(QDateTime::currentDateTime()); }),
              QStringLiteral("It is not possible to set time in the current connected camera"));
    EXPECT_EQ(sim->propertyResets, sim->propertyReleases);
}

// The camera keeps universal time; summer time counts, so July in Berlin is two hours ahead.
TEST_F(TCDSDKTest, CameraTimeIsUniversalSecondsSince1970)
{
    connectSecond();
    struct Row { QDateTime time; uint32_t seconds; };
    const Row rows[] = {
        {QDateTime(QDate(2024, 7, 1), QTime(12, 0, 0), QTimeZone("Europe/Berlin")), 1719828000},
        {QDateTime(QDate(2024, 1, 1), QTime(12, 0, 0), QTimeZone("Europe/Berlin")), 1704106800},
        {QDateTime(QDate(2024, 1, 1), QTime(0, 0, 0, 600), QTimeZone::utc()), 1704067201},
    };
    for (const Row& r : rows) {
        cd->SetTimeInCamera(r.time);
        const QByteArray v = sim->properties[kPropTime];
        ASSERT_EQ(v.size(), 4);
        EXPECT_EQ(qFromLittleEndian<quint32>(v.constData()), r.seconds) << r.time.toString(Qt::ISODate).toStdString();
    }
}

// --- Remote control -----------------------------------------------------------------------------

TEST_F(TCDSDKTest, RemoteStartSelectsTheDataKindAndReadsTheFaculty)
{
    connectSecond();
    struct Row { ReleaseModeType mode; ReleaseDataKindType kind; int code; };
    const Row rows[] = {
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyThumbnail, 1},
        {ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, 2},
        {ReleaseModeOnlyToPC, ReleaseDataKingTakeBothThumbAndPic, 3},
        {ReleaseModeBothPCAndCamera, ReleaseDataKindTakeOnlyThumbnail, 5},
        {ReleaseModeBothPCAndCamera, ReleaseDataKindTakeOnlyPicture, 10},
        {ReleaseModeBothPCAndCamera, ReleaseDataKingTakeBothThumbAndPic, 15},
        {ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyThumbnail, 4},
        {ReleaseModeOnlyToCamera, ReleaseDataKindTakeOnlyPicture, 8},
        {ReleaseModeOnlyToCamera, ReleaseDataKingTakeBothThumbAndPic, 12},
    };
    for (const Row& r : rows) {
        sim->calls.clear();
        cd->RemoteStart(r.mode, r.kind, false, QString(), nullptr, 5);
        EXPECT_TRUE(sim->calls.contains(QStringLiteral("kind %1").arg(r.code))) << r.code;
    }
    sim->faculty = 0x15;
    const RemoteFuncType func = cd->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, QString(),
                                                nullptr, 5);
    EXPECT_TRUE(func.DoSupportZoom);
    EXPECT_FALSE(func.DoSupportShootingPara);
    EXPECT_TRUE(func.DoSupportViewfinder);
    EXPECT_FALSE(func.ReqViewfinderOffWhenShooting);
    EXPECT_TRUE(func.DoSupportAfLockUnlock);
    EXPECT_TRUE(cd->progress.empty()) << "no probe without shooting parameters";

    EXPECT_FALSE(cd->RemoteSupported());
    sim->faculty = 0x40000000;
    EXPECT_TRUE(cd->RemoteSupported());
    sim->fail["CDGetReleaseControlFaculty"] = 0x80;
    EXPECT_TRUE(cd->RemoteSupported()) << "a failed query counts as supported";
    EXPECT_EQ(raised([&] { cd->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, false, QString(),
                                           nullptr, 5); }),
              QStringLiteral("CDGetReleaseControlFaculty errorcode 0x00000080, Device not found"));
}

TEST_F(TCDSDKTest, SmallOperationsPassTheirCodes)
{
    connectSecond();
    const std::pair<RemoteViewFinderOutputType, int> outputs[] = {
        {RemoteViewFinderOutputLCD, 1}, {RemoteViewFinderOutputVideo, 2}, {RemoteViewFinderOutputOff, 3}};
    for (const auto& [output, code] : outputs) {
        sim->calls.clear();
        cd->RemoteSetViewfinderOutput(output);
        EXPECT_EQ(sim->calls.first(), QStringLiteral("output %1").arg(code));
    }
    cd->RemoteTakePicture(nullptr, 5);
    EXPECT_TRUE(sim->calls.contains(QStringLiteral("release 0 5 3")));
    sim->fail["CDRelease"] = 0x00A0;
    EXPECT_EQ(raised([&] { cd->RemoteTakePicture(nullptr, 5); }),
              QStringLiteral("CDRelease errorcode 0x000000A0, Stream IO error"));
    EXPECT_EQ(raised([&] { cd->RemoteGetNumberOfAvailableShots(); }),
              QStringLiteral("CDGetNumAvailableShot errorcode 0x00000007, Not supported"));
}

// --- Release parameters -------------------------------------------------------------------------

TEST_F(TCDSDKTest, ParametersAreWrittenAsCameraCodesAndReadBack)
{
    connectSecond();
    RemoteReleaseParametersType p;
    p.CompQuality = RemoteFormatQualitySuperfine;
    p.ImageSize = RemoteFormatSizeMedium2;
    p.ImageMode = RemoteFormatShootingModeManual;
    p.Av = RemoteFormatAV5_6;
    p.Tv = RemoteFormatTV1_125;
    p.ExposureCompensation = RemoteFormatExposureComp033Minus;
    p.WhiteBalanceSetting = RemoteFormatWBKelvin;
    p.WhiteBalanceKelvin = 5200;
    p.AFDistance = RemoteFormatAFDistInfinity;
    p.StrobeSetting = RemoteFormatFlashRedEye;
    p.StrobeCompSetting = RemoteFormatFlashComp100Plus;
    p.MLWeiMode = RemoteFormatMLWeiSpot;
    p.ISO = RemoteFormatISO400;
    p.Contrast = RemoteFormatLevelLow;
    p.ColorGain = RemoteFormatLevelHigh;
    p.Sharpness = RemoteFormatLevelHigh;
    p.PhotoEffect = RemoteFormatPhotoEffectSepia;
    p.Beep = RemoteFormatBeepOff;
    cd->RemoteSetRemoteParams(p);

    const std::pair<const char*, uint32_t> expected[] = {
        {"format", 5u << 16 | 6}, {"mode", 4}, {"av", 48}, {"tv", 112}, {"exposure", 27}, {"wb", 9},
        {"rel 1100/2", 5200}, {"afdist", 10}, {"flash", 3}, {"flashcomp", 16}, {"rel 8000004/1", 1},
        {"rel 800000c/2", 88}, {"rel 8000008/1", 0xFF}, {"rel 8000009/1", 1}, {"rel 800000a/1", 0xFF},
        {"rel 8000b00/2", 3}, {"rel 8000002/1", 0},
    };
    ASSERT_EQ(sim->sets.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(sim->sets[i].first, QString::fromLatin1(expected[i].first)) << i;
        EXPECT_EQ(sim->sets[i].second, expected[i].second) << expected[i].first;
    }

    RemoteReleaseParametersType back = cd->RemoteGetRemoteParams();
    EXPECT_EQ(back, p);

    // Fields not set are not written; quality needs its size.
    sim->sets.clear();
    RemoteReleaseParametersType partial;
    partial.CompQuality = RemoteFormatQualityFine;
    partial.Beep = RemoteFormatBeepOn;
    cd->RemoteSetRemoteParams(partial);
    ASSERT_EQ(sim->sets.size(), 1u);
    EXPECT_EQ(sim->sets[0].first, QStringLiteral("rel 8000002/1"));

    // Reads that fail leave their fields unset.
    sim->current.clear();
    sim->current["wb"] = 3;
    RemoteReleaseParametersType onlyWB;
    onlyWB.WhiteBalanceSetting = RemoteFormatWBTungsten;
    EXPECT_EQ(cd->RemoteGetRemoteParams(), onlyWB);
}

// A camera that lists nothing: every value is tried; Manual mode refused means no apertures and no
// shutter speeds.
TEST_F(TCDSDKTest, ProbeTriesEveryValueWhenTheCameraListsNone)
{
    connectSecond();
    sim->current = {{"mode", 1}, {"wb", 1}, {"rel 8000002/1", 1}};
    sim->accepts["format"] = {3u << 16 | 0, 2u << 16 | 1};
    sim->accepts["mode"] = {1, 2, 3, 105};
    sim->accepts["wb"] = {0, 1, 9, 99};
    sim->accepts["flash"] = {};
    sim->accepts["flashcomp"] = {24};
    sim->accepts["rel 800000c/2"] = {72, 88};
    sim->accepts["rel 8000002/1"] = {0, 1};
    for (const char* key : {"exposure", "afdist", "rel 8000004/1", "rel 8000008/1", "rel 8000009/1",
                            "rel 800000a/1", "rel 8000b00/2"})
        sim->accepts[key] = {};

    const RemoteFuncType func = cd->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, QString(),
                                                nullptr, 5);
    const RemoteReleaseAvailParametersType& a = func.RemoteParamSupported;

    auto on = [](const auto& flags) {
        std::vector<int> set;
        for (std::size_t i = 0; i < flags.size(); ++i)
            if (flags[i])
                set.push_back(int(i));
        return set;
    };
    using V = std::vector<int>;
    EXPECT_EQ(on(a.CompQuality), (V{RemoteFormatQualityNormal, RemoteFormatQualityFine}));
    EXPECT_EQ(on(a.ImageSize), (V{RemoteFormatSizeLarge, RemoteFormatSizeMedium}));
    EXPECT_EQ(on(a.ImageMode), (V{RemoteFormatShootingModeNightScene, RemoteFormatShootingModeProgram,
                                  RemoteFormatShootingModeTV, RemoteFormatShootingModeAV}));
    EXPECT_EQ(on(a.Av), V{0});
    EXPECT_EQ(on(a.Tv), V{0});
    EXPECT_EQ(on(a.WhiteBalanceSetting), (V{RemoteFormatWBAuto, RemoteFormatWBDaylight, RemoteFormatWBKelvin}));
    EXPECT_EQ(on(a.StrobeSetting), V{0});
    EXPECT_EQ(on(a.StrobeCompSetting), V{RemoteFormatFlashComp0});
    EXPECT_EQ(on(a.ISO), (V{RemoteFormatISO100, RemoteFormatISO400}));
    EXPECT_EQ(on(a.Beep), (V{RemoteFormatBeepOn, RemoteFormatBeepOff}));
    EXPECT_EQ(on(a.ExposureCompensation), V{0});
    EXPECT_EQ(on(a.AFDistance), V{0});
    EXPECT_EQ(on(a.AFMode), V{0});
    EXPECT_EQ(on(a.DriveMode), V{0});
    EXPECT_EQ(on(a.CompQualityPic2RAW), V{0});
    EXPECT_FALSE(a.WhiteBalanceShift || a.PictureStyle);

    EXPECT_EQ(cd->progress, (std::vector<int>{6, 18, 24, 29, 35, 41, 47, 53, 65, 71, 76, 82, 88, 94, 100, 100, 100}));
    // What the probe changed is set back, and the camera ends in Program mode.
    EXPECT_EQ(sim->current["wb"], 1u);
    EXPECT_EQ(sim->current["rel 8000002/1"], 1u);
    EXPECT_EQ(sim->current["mode"], 1u);
}

TEST_F(TCDSDKTest, ProbeReadsWhatTheCameraListsAndTriesShutterSpeedsInManualMode)
{
    connectSecond();
    sim->current = {{"mode", 1}};
    sim->lists[CDValueList::ImageFormatAttribute] = {{3, 0}, {5, 2}, {99, 99}};
    sim->lists[CDValueList::ShootingMode] = {{1, 0}, {4, 0}};
    sim->lists[CDValueList::AvValue] = {{40, 0}, {43, 0}};
    sim->settingLists[0x0800000C] = {0x0148, 96}; // only the low byte counts: 72 and 96
    sim->accepts["mode"] = {1, 4};
    sim->accepts["tv"] = {16, 56, 168};

    const RemoteFuncType func = cd->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, QString(),
                                                nullptr, 5);
    const RemoteReleaseAvailParametersType& a = func.RemoteParamSupported;
    EXPECT_TRUE(a.CompQuality[RemoteFormatQualityFine] && a.CompQuality[RemoteFormatQualitySuperfine]);
    EXPECT_FALSE(a.CompQuality[RemoteFormatQualityNotUsed]);
    EXPECT_TRUE(a.ImageSize[RemoteFormatSizeLarge] && a.ImageSize[RemoteFormatSizeSmall]);
    EXPECT_TRUE(a.ImageMode[RemoteFormatShootingModeProgram] && a.ImageMode[RemoteFormatShootingModeManual]);
    EXPECT_TRUE(a.Av[RemoteFormatAV4_0] && a.Av[RemoteFormatAV4_5]);
    EXPECT_EQ(std::count(a.Tv.begin(), a.Tv.end(), true), 3);
    EXPECT_TRUE(a.Tv[RemoteFormatTV30sec] && a.Tv[RemoteFormatTV1sec] && a.Tv[RemoteFormatTV1_16000]);
    EXPECT_TRUE(a.ISO[RemoteFormatISO100] && a.ISO[RemoteFormatISO800]);
    EXPECT_EQ(std::count(a.ISO.begin(), a.ISO.end(), true), 2);
    EXPECT_EQ(sim->listsOpen, 0);
    // All 59 shutter speeds were tried, no aperture was.
    int tvTries = 0, avTries = 0;
    for (const auto& [key, value] : sim->sets) {
        tvTries += key == QLatin1String("tv");
        avTries += key == QLatin1String("av");
    }
    EXPECT_EQ(tvTries, 59);
    EXPECT_EQ(avTries, 0);
}

TEST_F(TCDSDKTest, ProbeWithACacheRunsOnceAndThenReadsTheCache)
{
    connectSecond();
    QTemporaryDir dir;
    sim->current = {{"mode", 105}};
    sim->accepts["mode"] = {1, 105};
    cd->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, dir.path(), nullptr, 5);
    ASSERT_FALSE(cd->progress.empty());
    // The mode read after switching to Program names the file.
    const QString file = dir.filePath(QStringLiteral("PowerShot S45 Mode%1").arg(int(RemoteFormatShootingModeProgram)));
    RemoteReleaseAvailParametersType cached;
    ASSERT_TRUE(LoadRemoteParamCache(file, cached));

    cd->progress.clear();
    sim->sets.clear();
    const RemoteFuncType again = cd->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, dir.path(),
                                                 nullptr, 5);
    EXPECT_EQ(again.RemoteParamSupported, cached);
    EXPECT_TRUE(cd->progress.empty());
    for (const auto& [key, value] : sim->sets) {
        EXPECT_EQ(key, QStringLiteral("mode")) << "only the shooting mode is set";
    }

    // A model name with folder separators stays a name inside the cache folder.
    sim->cameras[1].name = QStringLiteral("../G3\\x");
    connectSecond();
    cd->RemoteStart(ReleaseModeOnlyToPC, ReleaseDataKindTakeOnlyPicture, true, dir.path(), nullptr, 5);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral(".._G3_x Mode%1").arg(int(RemoteFormatShootingModeProgram)))));
}

// --- Card ---------------------------------------------------------------------------------------

TEST_F(TCDSDKTest, CardPicturesListWithThumbnailsAndDelete)
{
    connectSecond();
    QTemporaryDir dir;
    sim->items = {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "MVI_0004.AVI"};
    ImageListType list = cd->OpenCameraCollection(dir.path(), true);
    ASSERT_EQ(list.size(), 4);
    EXPECT_TRUE(list[3].Thumbnail.isNull()) << "a movie has no thumbnail and ends nothing";
    list.removeLast();
    sim->items.removeLast();
    EXPECT_TRUE(sim->calls.contains(QStringLiteral("items 9 3 1")));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(list[i].NameOfImage, sim->items[i]);
        EXPECT_EQ(list[i].Thumbnail.width(), i + 1) << "each picture has its own thumbnail";
    }
    EXPECT_TRUE(sim->opened.empty()) << "every opened image is closed";

    cd->GetPicture(1, dir.filePath(QStringLiteral("picture.jpg")), nullptr, 5);
    EXPECT_EQ(sim->written.last(), QStringLiteral("picture.jpg option 3"));
    EXPECT_EQ(raised([&] { cd->GetPicture(4, dir.filePath(QStringLiteral("x.jpg")), nullptr, 5); }),
              QStringLiteral("Not valid number of picture to get"));
    sim->fail["CDGetPicture"] = 0x80;
    EXPECT_THROW(cd->GetPicture(0, dir.filePath(QStringLiteral("x.jpg")), nullptr, 5), ECamException);
    EXPECT_TRUE(sim->opened.empty());

    EXPECT_EQ(raised([&] { cd->DeletePicture(list, 3); }), QStringLiteral("Not valid number of picture to delete"));
    EXPECT_EQ(raised([&] { cd->DeletePicture(list, -1); }), QStringLiteral("Not valid number of picture to delete"));
    auto deleted = [&](int nr) {
        sim->calls.clear();
        cd->DeletePicture(list, nr);
        return sim->calls.first();
    };
    EXPECT_EQ(deleted(2), QStringLiteral("delete 1002"));
    EXPECT_EQ(deleted(0), QStringLiteral("delete 1000"));
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].NameOfImage, QStringLiteral("IMG_0002.JPG"));
    EXPECT_EQ(deleted(0), QStringLiteral("delete 1001")) << "item handles move with their pictures";

    cd->CloseCameraCollection(list);
    EXPECT_TRUE(list.isEmpty());
}

TEST_F(TCDSDKTest, AnEmptyVolumeIsAnError)
{
    connectSecond();
    sim->volumeAt8 = 0;
    sim->volumeAt12 = 0;
    EXPECT_EQ(raised([&] { cd->FormatCameraCard(); }), QStringLiteral("OpenCameraCollection volume error"));
    EXPECT_EQ(sim->calls.count(QStringLiteral("CDEnumVolumeRelease")), 1);
    EXPECT_FALSE(sim->calls.contains(QStringLiteral("CDFormat")));
    sim->volumeAt12 = 1;
    cd->FormatCameraCard();
    EXPECT_TRUE(sim->calls.contains(QStringLiteral("CDFormat")));
}

} // namespace
