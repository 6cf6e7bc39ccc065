// The older-PowerShot back-end over CDSDKCalls: connection, device properties, remote release with
// its parameters and the probe of supported values, live view, zoom, and the pictures on the card.
#include "TCamRemote/Sources/TCDSDK.h"

#include "TCamRemote/Sources/CDSDKBinding.h"
#include "TCamRemote/Sources/CamConverters.h"
#include "TCamRemote/Sources/CamNotify.h"
#include "TCamRemote/Sources/CamParamFiles.h"
#include "platform/Delphi.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <iterator>

std::vector<CDSourceRecord>& CDCameraList()
{
    static std::vector<CDSourceRecord> list;
    return list;
}

void CDSDKCheck(uint32_t Result, const QString& Funcname)
{
    if (Result == 0)
        return;
    throw ECamException(Funcname + QStringLiteral(" errorcode 0x")
                        + QStringLiteral("%1").arg(Result, 8, 16, QLatin1Char('0')).toUpper() + QStringLiteral(", ")
                        + CDErrorText(Result));
}

// --- Helpers ------------------------------------------------------------------------------------

namespace {

constexpr uint32_t kPropOwnerName = 0x0800000C;
constexpr uint32_t kPropBattery = 0x0000000F;
constexpr uint32_t kPropCameraTime = 0x0800000D;

constexpr uint32_t kSetMetering = 0x08000004;
constexpr uint32_t kSetISO = 0x0800000C;
constexpr uint32_t kSetContrast = 0x08000008;
constexpr uint32_t kSetColorGain = 0x08000009;
constexpr uint32_t kSetSharpness = 0x0800000A;
constexpr uint32_t kSetPhotoEffect = 0x08000B00;
constexpr uint32_t kSetBeep = 0x08000002;
constexpr uint32_t kSetColorTemperature = 0x1100;

constexpr uint32_t kModeProgram = 1;
constexpr uint32_t kModeManual = 4;
constexpr uint32_t kFlashUnchanged = 255; // leaves the other half of the flash setting alone
constexpr int kProbeSteps = 17;

QString listName(CDValueList list)
{
    switch (list) {
    case CDValueList::ImageFormatAttribute: return QStringLiteral("ImageFormatAttribute");
    case CDValueList::ShootingMode: return QStringLiteral("ShootingMode");
    case CDValueList::AvValue: return QStringLiteral("AvValue");
    case CDValueList::TvValue: return QStringLiteral("TvValue");
    case CDValueList::ExposureComp: return QStringLiteral("ExposureComp");
    case CDValueList::WBSetting: return QStringLiteral("WBSetting");
    case CDValueList::AFDistanceSetting: return QStringLiteral("AFDistanceSetting");
    case CDValueList::FlashSetting: return QStringLiteral("FlashSetting");
    case CDValueList::RelCamSettingData: return QStringLiteral("RelCamSettingData");
    }
    return QString();
}

// Runs `body`, then `cleanup` whether or not `body` raised.
template <typename Body, typename Cleanup>
void withCleanup(Body body, Cleanup cleanup)
{
    try {
        body();
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
}

// The top four bits of a battery value name its source, the low four its state.
BatteryType batteryFrom(uint32_t value, uint32_t size)
{
    const int bits = 8 * int(std::clamp<uint32_t>(size, 1, 4));
    const uint32_t source = (value >> (bits - 4)) & 0xF;
    BatteryType battery;
    switch (source) {
    case 1: battery.BatterySource = BatterySourceAC; break;
    case 2: battery.BatterySource = BatterySourceLitium; break;
    case 3: battery.BatterySource = BatterySourceNiMH; break;
    case 4: battery.BatterySource = BatterySourceNiCD; break;
    case 5: battery.BatterySource = BatterySourceAlMN; break;
    default: battery.BatterySource = BatterySourceUnknown; break;
    }
    switch (value & 0xF) {
    case 6: battery.BatteryStatus = BatteryStatusNormal; break;
    case 4: battery.BatteryStatus = BatteryStatusWeak; break;
    case 3: battery.BatteryStatus = BatteryStatusSafetyLow; break;
    default: battery.BatteryStatus = BatteryStatusUnknown; break;
    }
    return battery;
}

// Codes of the release data kind: thumbnail only, picture only, both, per release mode.
uint32_t releaseDataKindCode(ReleaseModeType mode, ReleaseDataKindType kind)
{
    static const uint32_t kCodes[3][3] = {{1, 2, 3}, {5, 10, 15}, {4, 8, 12}};
    return kCodes[std::min<int>(mode, 2)][std::min<int>(kind, 2)];
}

// Text of at most `max` 8-bit characters, ending at the first zero.
QString text8(const QByteArray& bytes, int max)
{
    QByteArray t = bytes.left(max);
    const int zero = t.indexOf('\0');
    if (zero >= 0)
        t.truncate(zero);
    return QString::fromLatin1(t);
}

uint32_t littleEndian(const QByteArray& bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < std::min<int>(4, int(bytes.size())); ++i)
        value |= uint32_t(uint8_t(bytes[i])) << (8 * i);
    return value;
}

// A set of flags with its NotUsed entry telling whether none of the others is set.
template <std::size_t N>
void settleNotUsed(std::array<bool, N>& flags)
{
    flags[0] = std::none_of(flags.begin() + 1, flags.end(), [](bool b) { return b; });
}

template <std::size_t N>
void onlyNotUsed(std::array<bool, N>& flags)
{
    flags.fill(false);
    flags[0] = true;
}

// The bytes the SDK wrote, no more than the room it was given.
QByteArray readProperty(CDSDKCalls& sdk, CDHandle source, uint32_t id, uint32_t room)
{
    QByteArray data(int(room), '\0');
    uint32_t got = room;
    CDSDKCheck(sdk.CDGetDevicePropertyData(source, id, got, data.data()), QStringLiteral("CDGetDevicePropertyData"));
    data.truncate(int(std::min(got, room)));
    return data;
}

} // namespace

// --- Life -----------------------------------------------------------------------------------------

TCDSDK::TCDSDK(std::shared_ptr<CDSDKCalls> SDK)
    : mSDK(SDK ? std::move(SDK) : std::make_shared<CDSDKBinding>())
{
}

TCDSDK::~TCDSDK() = default;

void TCDSDK::InitCommunications()
{
    mSDK->Load();
    CDSDKCheck(mSDK->CDStartSDK(40, 7, 3, 0), QStringLiteral("CDStartSDK"));
}

void TCDSDK::EnumerateCameras(QStringList& CameraList)
{
    CameraList.clear();
    mSDK->Load();
    CDHandle devices = 0;
    CDSDKCheck(mSDK->CDEnumDeviceReset(1, devices), QStringLiteral("CDEnumDeviceReset"));
    bool released = false;
    withCleanup(
        [&] {
            uint32_t count = 0;
            CDSDKCheck(mSDK->CDGetDeviceCount(devices, count), QStringLiteral("CDGetDeviceCount"));
            CDCameraList().clear();
            for (uint32_t i = 0; i < count; ++i) {
                CDSDKCheck(mSDK->CDEnumDeviceNext(devices, mCameraDevice), QStringLiteral("CDEnumDeviceNext"));
                CameraList.append(mSDK->NameInOS(mCameraDevice));
                CDCameraList().push_back(mCameraDevice);
            }
            released = true;
            CDSDKCheck(mSDK->CDEnumDeviceRelease(devices), QStringLiteral("CDEnumDeviceRelease"));
        },
        [&] {
            if (!released)
                mSDK->CDEnumDeviceRelease(devices); // the failure above is the one to report
        });
}

template <typename Use>
void TCDSDK::WithDeviceProperty(uint32_t Id, Use use, const QString& failure)
{
    CDHandle properties = 0;
    CDSDKCheck(mSDK->CDEnumDevicePropertyReset(mCameraSource, 0, properties),
               QStringLiteral("CDEnumDevicePropertyReset"));
    withCleanup(
        [&] {
            try {
                uint32_t id = 0, size = 0;
                do {
                    CDSDKCheck(mSDK->CDEnumDevicePropertyNext(properties, id, size),
                               QStringLiteral("CDEnumDevicePropertyNext"));
                } while (id != Id);
                use(size);
            } catch (const ECamException&) {
                if (failure.isEmpty())
                    throw;
                throw ECamException(failure);
            }
        },
        [&] { mSDK->CDEnumDevicePropertyRelease(properties); });
}

uint32_t TCDSDK::ReadDeviceProperty(uint32_t Id)
{
    uint32_t value = 0;
    WithDeviceProperty(Id, [&](uint32_t size) {
        value = littleEndian(readProperty(*mSDK, mCameraSource, Id, std::min<uint32_t>(size, 64)));
    });
    return value;
}

ConnectInfoType TCDSDK::Connect(void* EventCallback, int ConnectToCamera, int InstanceNumber)
{
    mSDK->Load();
    const int n = int(CDCameraList().size());
    if (ConnectToCamera < 0)
        throw ECamException(QStringLiteral("Not valid value in parameter ConnectToCamera when calling Connect. Value "
                                           "must be at least zero. Currently ConnectToCamera = %1")
                                .arg(ConnectToCamera));
    if (n == 0)
        throw ECamException(QStringLiteral("There seems to be no connected PowerShot cameras connected. Have you "
                                           "called the EnumerateCameras function before calling Connect?"));
    if (ConnectToCamera > n - 1)
        throw ECamException(QStringLiteral("Not valid value in parameter ConnectToCamera when calling Connect. There "
                                           "are only %1 PowerShot cameras connected. Currently is parameter "
                                           "ConnectToCamera = %2")
                                .arg(n)
                                .arg(ConnectToCamera));

    mCameraInfo = ConnectInfoType{};
    mCameraDevice = CDCameraList()[std::size_t(ConnectToCamera)];
    CDSDKCheck(mSDK->CDOpenSource(mCameraDevice, mCameraSource), QStringLiteral("CDOpenSource"));
    mCameraInfo.CameraModel = CamModPowerShot;
    mCameraInfo.CameraModelName = mSDK->NameSource(mCameraDevice);

    WithDeviceProperty(kPropOwnerName, [&](uint32_t size) {
        mCameraInfo.OwnerName = text8(readProperty(*mSDK, mCameraSource, kPropOwnerName, std::min<uint32_t>(size, 32)), 32);
    });
    WithDeviceProperty(kPropBattery, [&](uint32_t size) {
        const uint32_t room = std::clamp<uint32_t>(size, 1, 4);
        mCameraInfo.Battery = batteryFrom(littleEndian(readProperty(*mSDK, mCameraSource, kPropBattery, room)), room);
    });

    CDSDKCheck(mSDK->CDRegisterEventCallbackFunction(mCameraSource, EventCallback, uintptr_t(InstanceNumber),
                                                     mEventCallbackHandle),
               QStringLiteral("CDRegisterEventCallbackFunction"));
    return mCameraInfo;
}

void TCDSDK::Disconnect()
{
    mSDK->CDUnregisterEventCallbackFunction(mCameraSource, mEventCallbackHandle);
    mCameraInfo.CameraModel = CamModNone;
    mSDK->CDCloseSource(mCameraSource);
}

void TCDSDK::FinilizeCommunications()
{
    CDCameraList().clear();
    mSDK->CDFinishSDK();
}

// --- Device properties --------------------------------------------------------------------------

void TCDSDK::SetTimeInCamera(const QDateTime& TimeToSet)
{
    // Seconds since 1970 in universal time, with the offset the zone has at that date (summer time
    // included, so the camera is not an hour off half the year).
    const uint32_t seconds = uint32_t(Round64(double(TimeToSet.toMSecsSinceEpoch()) / 1000.0));
    WithDeviceProperty(
        kPropCameraTime,
        [&](uint32_t) {
            uint8_t data[4];
            for (int i = 0; i < 4; ++i)
                data[i] = uint8_t(seconds >> (8 * i));
            CDSDKCheck(mSDK->CDSetDevicePropertyData(mCameraSource, kPropCameraTime, 4, data),
                       QStringLiteral("CDSetDevicePropertyData"));
        },
        QStringLiteral("It is not possible to set time in the current connected camera"));
}

void TCDSDK::SetOwnerName(const QString& OwnerName)
{
    if (OwnerName.size() >= 32)
        throw ECamException(QStringLiteral("The owner name to set is too long"));
    QByteArray data;
    for (QChar c : OwnerName)
        data.append(char(c.unicode() & 0xFF));
    data.append('\0');
    WithDeviceProperty(
        kPropOwnerName,
        [&](uint32_t) {
            CDSDKCheck(mSDK->CDSetDevicePropertyData(mCameraSource, kPropOwnerName, uint32_t(data.size()),
                                                     data.constData()),
                       QStringLiteral("CDSetDevicePropertyData"));
        },
        QStringLiteral("It is not possible to set owner name in the current connected camera"));
}

void TCDSDK::ExtendShutdownTimer()
{
    ReadDeviceProperty(kPropOwnerName);
}

// --- Card ---------------------------------------------------------------------------------------

void TCDSDK::OpenFirstVolume()
{
    CDHandle volumes = 0;
    CDSDKCheck(mSDK->CDEnumVolumeReset(mCameraSource, volumes), QStringLiteral("CDEnumVolumeReset"));
    withCleanup(
        [&] {
            CDSDKCheck(mSDK->CDEnumVolumeNext(volumes, mVolume), QStringLiteral("CDEnumVolumeNext"));
            uint32_t at8 = 0, at12 = 0;
            CDSDKCheck(mSDK->CDGetVolumeInfo(mVolume, at8, at12), QStringLiteral("CDGetVolumeInfo"));
            if (at8 == 0 && at12 == 0)
                throw ECamException(QStringLiteral("OpenCameraCollection volume error"));
        },
        [&] { mSDK->CDEnumVolumeRelease(volumes); });
}

void TCDSDK::FormatCameraCard()
{
    OpenFirstVolume();
    CDSDKCheck(mSDK->CDFormat(mVolume), QStringLiteral("CDFormat"));
}

ImageListType TCDSDK::OpenCameraCollection(const QString& TempDir, bool GetThumbnails)
{
    OpenFirstVolume();
    CDSDKCheck(mSDK->CDEnumImageItemReset(mVolume, 3, 1, mPicCollectionEnum), QStringLiteral("CDEnumImageItemReset"));
    uint32_t count = 0;
    CDSDKCheck(mSDK->CDGetImageItemCount(mPicCollectionEnum, count), QStringLiteral("CDGetImageItemCount"));

    ImageListType list;
    list.resize(qsizetype(count));
    mImageItemsArray.assign(count, 0);
    const QString thumbFile = QDir(TempDir).filePath(QStringLiteral("Thumb.jpg"));
    for (uint32_t i = 0; i < count; ++i) {
        CDHandle& item = mImageItemsArray[i];
        CDSDKCheck(mSDK->CDEnumImageItemNext(mPicCollectionEnum, item), QStringLiteral("CDEnumImageItemNext"));
        QString name;
        if (mSDK->CDGetItemInfo(item, name) == 0)
            list[i].NameOfImage = name.left(512);
        if (!GetThumbnails)
            continue;
        CDHandle image = 0;
        bool hasThumbnail = true;
        CDSDKCheck(mSDK->CDOpenImage(item, image), QStringLiteral("CDOpenImage"));
        withCleanup(
            [&] {
                CDHandle data = 0;
                // A file without a thumbnail (a movie) is listed without one, not the end of the list.
                const uint32_t thumb = mSDK->CDGetThumbnail(image, data);
                hasThumbnail = thumb != CDSDKCalls::NotSupported;
                if (!hasThumbnail)
                    return;
                CDSDKCheck(thumb, QStringLiteral("CDGetThumbnail"));
                CDSDKCheck(mSDK->CDGetImageData(data, QFile::encodeName(thumbFile), nullptr, 0, 0),
                           QStringLiteral("CDGetImageData"));
            },
            [&] { mSDK->CDCloseImage(image); });
        if (hasThumbnail)
            list[i].Thumbnail = QImage(thumbFile, "JPG");
    }
    return list;
}

void TCDSDK::CloseCameraCollection(ImageListType& ImageListToClear)
{
    CDSDKCheck(mSDK->CDEnumImageItemRelease(mPicCollectionEnum), QStringLiteral("CDEnumImageItemRelease"));
    ImageListToClear.clear();
    mImageItemsArray.clear();
}

void TCDSDK::GetPicture(int NrInList, const QString& FileName, void* ProgressCallback, int InstanceNumber)
{
    if (NrInList < 0 || std::size_t(NrInList) >= mImageItemsArray.size())
        throw ECamException(QStringLiteral("Not valid number of picture to get"));
    CDHandle image = 0;
    CDSDKCheck(mSDK->CDOpenImage(mImageItemsArray[std::size_t(NrInList)], image), QStringLiteral("CDOpenImage"));
    withCleanup(
        [&] {
            CDHandle data = 0;
            CDSDKCheck(mSDK->CDGetPicture(image, data), QStringLiteral("CDGetPicture"));
            CDSDKCheck(mSDK->CDGetImageData(data, QFile::encodeName(FileName), ProgressCallback,
                                            uintptr_t(InstanceNumber), 3),
                       QStringLiteral("CDGetImageData"));
        },
        [&] { mSDK->CDCloseImage(image); });
}

void TCDSDK::DeletePicture(ImageListType& ImageList, int NrInList)
{
    if (NrInList < 0 || NrInList >= ImageList.size() || std::size_t(NrInList) >= mImageItemsArray.size())
        throw ECamException(QStringLiteral("Not valid number of picture to delete"));
    CDSDKCheck(mSDK->CDDeleteImage(mVolume, mImageItemsArray[std::size_t(NrInList)]), QStringLiteral("CDDeleteImage"));
    ImageList.removeAt(NrInList);
    mImageItemsArray.erase(mImageItemsArray.begin() + NrInList);
}

// --- Remote control -----------------------------------------------------------------------------

bool TCDSDK::RemoteSupported()
{
    uint32_t faculty = 0;
    if (mSDK->CDGetReleaseControlFaculty(mCameraSource, faculty) != 0)
        return true;
    return (faculty & 0x40000000) != 0;
}

RemoteFuncType TCDSDK::RemoteStart(ReleaseModeType ReleaseMode, ReleaseDataKindType ReleaseDataKind,
                                   bool ProbeRemoteParameters, const QString& CacheRemoteParamDir,
                                   void* RemoteEventCallback, int InstanceNumber)
{
    RemoteFuncType result;
    CDSDKCheck(mSDK->CDEnterReleaseControl(mCameraSource, RemoteEventCallback, uintptr_t(InstanceNumber)),
               QStringLiteral("CDEnterReleaseControl"));
    CDSDKCheck(mSDK->CDSelectReleaseDataKind(mCameraSource, releaseDataKindCode(ReleaseMode, ReleaseDataKind)),
               QStringLiteral("CDSelectReleaseDataKind"));
    uint32_t faculty = 0;
    CDSDKCheck(mSDK->CDGetReleaseControlFaculty(mCameraSource, faculty), QStringLiteral("CDGetReleaseControlFaculty"));
    result.DoSupportZoom = faculty & 0x01;
    result.DoSupportShootingPara = faculty & 0x02;
    result.DoSupportViewfinder = faculty & 0x04;
    result.ReqViewfinderOffWhenShooting = faculty & 0x08;
    result.DoSupportAfLockUnlock = faculty & 0x10;
    if (result.DoSupportShootingPara && ProbeRemoteParameters)
        this->ProbeRemoteParameters(CacheRemoteParamDir, result.RemoteParamSupported);
    return result;
}

void TCDSDK::RemoteEnd()
{
    mSDK->CDExitReleaseControl(mCameraSource);
}

int TCDSDK::RemoteGetNumberOfAvailableShots()
{
    uint32_t shots = 0;
    CDSDKCheck(mSDK->CDGetNumAvailableShot(mCameraSource, shots), QStringLiteral("CDGetNumAvailableShot"));
    return int(shots);
}

void TCDSDK::RemoteStartViewfinder(void* Viewfindercallback, int InstanceNumber)
{
    CDSDKCheck(mSDK->CDStartViewfinder(mCameraSource, 0, Viewfindercallback, uintptr_t(InstanceNumber)),
               QStringLiteral("CDStartViewfinder"));
}

void TCDSDK::RemoteStopViewfinder()
{
    mSDK->CDTermViewfinder(mCameraSource);
}

void TCDSDK::RemoteSetViewfinderOutput(RemoteViewFinderOutputType ViewfinderOutput)
{
    uint32_t output = 1; // LCD
    if (ViewfinderOutput == RemoteViewFinderOutputVideo)
        output = 2;
    else if (ViewfinderOutput == RemoteViewFinderOutputOff)
        output = 3;
    CDSDKCheck(mSDK->CDSelectViewFinderCameraOutput(mCameraSource, output),
               QStringLiteral("CDSelectViewFinderCameraOutput"));
}

void TCDSDK::RemoteActivateViewfinderAuto()
{
    CDSDKCheck(mSDK->CDActViewfinderAutoFunctions(mCameraSource, 7), QStringLiteral("CDActViewfinderAutoFunctions"));
}

RemoteZoomCapabilityType TCDSDK::RemoteGetZoomPos()
{
    uint32_t maximum = 0, optical = 0, current = 0;
    CDSDKCheck(mSDK->CDGetMaximumZoomPos(mCameraSource, maximum, optical), QStringLiteral("CDGetMaximumZoomPos"));
    CDSDKCheck(mSDK->CDGetZoomPos(mCameraSource, current), QStringLiteral("CDGetZoomPos"));
    RemoteZoomCapabilityType zoom;
    zoom.CurrentZoomPos = int(current);
    zoom.MaxOpticalZoomPos = int(optical);
    zoom.MaxZoomPos = int(maximum);
    return zoom;
}

void TCDSDK::RemoteSetZoomPos(int ZoomPos)
{
    CDSDKCheck(mSDK->CDSetZoomPos(mCameraSource, uint32_t(ZoomPos)), QStringLiteral("CDSetZoomPos"));
}

void TCDSDK::RemoteAFLock(bool AFLock)
{
    CDSDKCheck(mSDK->CDAFLock(mCameraSource, AFLock ? 1 : 0), QStringLiteral("CDAFLock"));
}

void TCDSDK::RemoteTakePicture(void* ProgressCallback, int InstanceNumber)
{
    uint32_t count = 0;
    CDSDKCheck(mSDK->CDRelease(mCameraSource, 0, ProgressCallback, uintptr_t(InstanceNumber), 3, count),
               QStringLiteral("CDRelease"));
}

void TCDSDK::RemoteGetPicture(const QString& FileName, void* ProgressCallback, int InstanceNumber)
{
    CDSDKCheck(mSDK->CDGetReleasedData(mCameraSource, ProgressCallback, uintptr_t(InstanceNumber), 3,
                                       QFile::encodeName(FileName)),
               QStringLiteral("CDGetReleasedData"));
}

// --- Release parameters -------------------------------------------------------------------------

RemoteReleaseParametersType TCDSDK::RemoteGetRemoteParams()
{
    RemoteReleaseParametersType p;
    const CDHandle src = mCameraSource;
    uint32_t a = 0, b = 0;
    if (mSDK->CDGetImageFormatAttribute(src, a, b) == 0) {
        p.CompQuality = QualityFromCd(int(a));
        p.ImageSize = SizeFromCd(int(b));
    }
    if (mSDK->CDGetShootingMode(src, a) == 0)
        p.ImageMode = ShootingModeFromCd(int(a));
    if (mSDK->CDGetAvValue(src, a) == 0)
        p.Av = AvFromCode(int(a));
    if (mSDK->CDGetTvValue(src, a) == 0)
        p.Tv = TvFromCode(int(a));
    if (mSDK->CDGetExposureComp(src, a) == 0)
        p.ExposureCompensation = ExposureCompFromCd(int(a));
    if (mSDK->CDGetWBSetting(src, a) == 0)
        p.WhiteBalanceSetting = WBFromCd(int(a));
    p.WhiteBalanceKelvin = 0;
    if (p.WhiteBalanceSetting == RemoteFormatWBKelvin
        && mSDK->CDGetRelCamSettingData(src, kSetColorTemperature, 2, a) == 0)
        p.WhiteBalanceKelvin = int(a);
    if (mSDK->CDGetAFDistanceSetting(src, a) == 0)
        p.AFDistance = AFDistFromCd(int(a));
    if (mSDK->CDGetFlashSetting(src, a, b) == 0) {
        p.StrobeSetting = FlashFromCd(int(a));
        p.StrobeCompSetting = FlashCompFromCd(int(b));
    }
    if (mSDK->CDGetRelCamSettingData(src, kSetMetering, 1, a) == 0)
        p.MLWeiMode = MLWeiFromCd(int(a));
    if (mSDK->CDGetRelCamSettingData(src, kSetISO, 2, a) == 0)
        p.ISO = ISOFromCd(int(a & 0xFF));
    if (mSDK->CDGetRelCamSettingData(src, kSetContrast, 1, a) == 0)
        p.Contrast = ContrastFromCd(int(a));
    if (mSDK->CDGetRelCamSettingData(src, kSetColorGain, 1, a) == 0)
        p.ColorGain = ColorGainFromCd(int(a));
    if (mSDK->CDGetRelCamSettingData(src, kSetSharpness, 1, a) == 0)
        p.Sharpness = SharpnessFromCd(int(a));
    if (mSDK->CDGetRelCamSettingData(src, kSetPhotoEffect, 2, a) == 0)
        p.PhotoEffect = PhotoEffectFromCd(int(a));
    if (mSDK->CDGetRelCamSettingData(src, kSetBeep, 1, a) == 0)
        p.Beep = BeepFromCd(int(a));
    return p;
}

void TCDSDK::RemoteSetRemoteParams(const RemoteReleaseParametersType& RemoteParam)
{
    const RemoteReleaseParametersType& p = RemoteParam;
    const CDHandle src = mCameraSource;
    // Codes of the one-byte settings go out as bytes: -1 is 255.
    auto byte = [](int code) { return uint32_t(code) & 0xFF; };
    if (p.CompQuality != RemoteFormatQualityNotUsed && p.ImageSize != RemoteFormatSizeNotUsed)
        mSDK->CDSetImageFormatAttribute(src, uint32_t(CdQualityValue(p.CompQuality)), uint32_t(CdSizeValue(p.ImageSize)));
    if (p.ImageMode != RemoteFormatShootingModeNotUsed)
        mSDK->CDSetShootingMode(src, uint32_t(CdShootingModeValue(p.ImageMode)));
    if (p.Av != RemoteFormatAVNotUsed)
        mSDK->CDSetAvValue(src, uint32_t(AvValue(p.Av)));
    if (p.Tv != RemoteFormatTVNotUsed)
        mSDK->CDSetTvValue(src, uint32_t(TvValue(p.Tv)));
    if (p.ExposureCompensation != RemoteFormatExposureCompNotUsed)
        mSDK->CDSetExposureComp(src, uint32_t(CdExposureCompValue(p.ExposureCompensation)));
    if (p.WhiteBalanceSetting != RemoteFormatWBNotUsed) {
        mSDK->CDSetWBSetting(src, uint32_t(CdWBValue(p.WhiteBalanceSetting)));
        if (p.WhiteBalanceSetting == RemoteFormatWBKelvin)
            mSDK->CDSetRelCamSettingData(src, kSetColorTemperature, 2, uint32_t(p.WhiteBalanceKelvin) & 0xFFFF);
    }
    if (p.AFDistance != RemoteFormatAFDistNotUsed)
        mSDK->CDSetAFDistanceSetting(src, uint32_t(CdAFDistValue(p.AFDistance)));
    if (p.StrobeSetting != RemoteFormatFlashNotUsed)
        mSDK->CDSetFlashSetting(src, uint32_t(CdFlashValue(p.StrobeSetting)), kFlashUnchanged);
    if (p.StrobeCompSetting != RemoteFormatFlashCompNotUsed)
        mSDK->CDSetFlashSetting(src, kFlashUnchanged, uint32_t(CdFlashCompValue(p.StrobeCompSetting)));
    if (p.MLWeiMode != RemoteFormatMLWeiNotUsed)
        mSDK->CDSetRelCamSettingData(src, kSetMetering, 1, byte(CdMLWeiValue(p.MLWeiMode)));
    if (p.ISO != RemoteFormatISONotUsed)
        mSDK->CDSetRelCamSettingData(src, kSetISO, 2, uint32_t(CdISOValue(p.ISO)));
    if (p.Contrast != RemoteFormatLevelNotUsed)
        mSDK->CDSetRelCamSettingData(src, kSetContrast, 1, byte(CdContrastValue(p.Contrast)));
    if (p.ColorGain != RemoteFormatLevelNotUsed)
        mSDK->CDSetRelCamSettingData(src, kSetColorGain, 1, byte(CdColorGainValue(p.ColorGain)));
    if (p.Sharpness != RemoteFormatLevelNotUsed)
        mSDK->CDSetRelCamSettingData(src, kSetSharpness, 1, byte(CdSharpnessValue(p.Sharpness)));
    if (p.PhotoEffect != RemoteFormatPhotoEffectNotUsed)
        mSDK->CDSetRelCamSettingData(src, kSetPhotoEffect, 2, uint32_t(CdPhotoEffectValue(p.PhotoEffect)));
    if (p.Beep != RemoteFormatBeepNotUsed)
        mSDK->CDSetRelCamSettingData(src, kSetBeep, 1, byte(CdBeepValue(p.Beep)));
}

void TCDSDK::ReportProbeProgress(int Percentage)
{
    ::ReportProbeProgress(mInstanceNumber, Percentage);
}

void TCDSDK::ProbeRemoteParameters(const QString& CacheRemoteParamDir, RemoteReleaseAvailParametersType& Avail)
{
    const CDHandle src = mCameraSource;
    mSDK->CDSetShootingMode(src, kModeProgram);

    QString cacheFile;
    if (!CacheRemoteParamDir.isEmpty()) {
        uint32_t mode = 0;
        const int ordinal = mSDK->CDGetShootingMode(src, mode) == 0 ? int(ShootingModeFromCd(int(mode))) : 0;
        // The model name comes from the camera: it must not lead out of the cache folder.
        QString model = mCameraInfo.CameraModelName;
        model.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
        cacheFile = QDir(CacheRemoteParamDir).filePath(model + QStringLiteral(" Mode") + QString::number(ordinal));
        if (LoadRemoteParamCache(cacheFile, Avail)) {
            mSDK->CDSetShootingMode(src, kModeProgram);
            return;
        }
    }

    const RemoteReleaseParametersType saved = RemoteGetRemoteParams();
    int step = 1;
    auto report = [&] { ReportProbeProgress(Round(double(step) / kProbeSteps * 100.0)); };
    report();

    // Reads the values the camera lists; false when it cannot list them.
    auto enumerate = [&](CDValueList list, uint32_t id, const auto& mark) {
        CDHandle values = 0;
        if (mSDK->EnumValuesReset(list, src, id, values) != 0)
            return false;
        const QString name = listName(list);
        bool released = false;
        withCleanup(
            [&] {
                uint32_t count = 0;
                CDSDKCheck(mSDK->GetValuesCount(list, values, count), QStringLiteral("CDGet%1Count").arg(name));
                for (uint32_t i = 0; i < count; ++i) {
                    uint32_t value = 0, value2 = 0;
                    CDSDKCheck(mSDK->EnumValuesNext(list, values, value, value2),
                               QStringLiteral("CDEnum%1Next").arg(name));
                    mark(value, value2);
                }
                released = true;
                CDSDKCheck(mSDK->EnumValuesRelease(list, values), QStringLiteral("CDEnum%1Release").arg(name));
            },
            [&] {
                if (!released)
                    mSDK->EnumValuesRelease(list, values);
            });
        return true;
    };
    // Tries each value from 1 to `last` on the camera; an accepted one is supported.
    auto trySet = [](auto& flags, int last, const auto& set) {
        for (int v = 1; v <= last; ++v)
            if (set(v) == 0)
                flags[std::size_t(v)] = true;
    };
    auto markIn = [](auto& flags, int value) {
        if (value > 0 && std::size_t(value) < flags.size())
            flags[std::size_t(value)] = true;
    };

    // Image quality and size, as pairs.
    if (!enumerate(CDValueList::ImageFormatAttribute, 0, [&](uint32_t quality, uint32_t size) {
            markIn(Avail.CompQuality, QualityFromCd(int(quality)));
            markIn(Avail.ImageSize, SizeFromCd(int(size)));
        })) {
        for (int q = RemoteFormatQualityEconomy; q <= RemoteFormatQualityRAW; ++q)
            for (int s = RemoteFormatSizeLarge; s <= RemoteFormatSizeMedium3; ++s)
                if (mSDK->CDSetImageFormatAttribute(src, uint32_t(CdQualityValue(RemoteFormatQualityType(q))),
                                                    uint32_t(CdSizeValue(RemoteFormatSizeType(s))))
                    == 0) {
                    Avail.CompQuality[std::size_t(q)] = true;
                    Avail.ImageSize[std::size_t(s)] = true;
                }
    }
    settleNotUsed(Avail.CompQuality);
    settleNotUsed(Avail.ImageSize);
    step += 2;
    report();

    if (!enumerate(CDValueList::ShootingMode, 0,
                   [&](uint32_t v, uint32_t) { markIn(Avail.ImageMode, ShootingModeFromCd(int(v))); })) {
        trySet(Avail.ImageMode, RemoteFormatShootingModeCandlelightPortraits, [&](int v) {
            return mSDK->CDSetShootingMode(src, uint32_t(CdShootingModeValue(RemoteFormatShootingModeType(v))));
        });
        mSDK->CDSetShootingMode(src, kModeManual);
    }
    settleNotUsed(Avail.ImageMode);
    ++step;
    report();

    // Aperture and shutter speed: trying them needs the manual mode.
    if (!enumerate(CDValueList::AvValue, 0, [&](uint32_t v, uint32_t) { markIn(Avail.Av, AvFromCode(int(v))); })) {
        if (mSDK->CDSetShootingMode(src, kModeManual) == 0)
            trySet(Avail.Av, RemoteFormatAV91_0,
                   [&](int v) { return mSDK->CDSetAvValue(src, uint32_t(AvValue(RemoteFormatAVType(v)))); });
    }
    settleNotUsed(Avail.Av);
    ++step;
    report();
    if (!enumerate(CDValueList::TvValue, 0, [&](uint32_t v, uint32_t) { markIn(Avail.Tv, TvFromCode(int(v))); })) {
        if (mSDK->CDSetShootingMode(src, kModeManual) == 0)
            trySet(Avail.Tv, RemoteFormatTV1_16000,
                   [&](int v) { return mSDK->CDSetTvValue(src, uint32_t(TvValue(RemoteFormatTVType(v)))); });
        mSDK->CDSetShootingMode(src, kModeProgram);
    }
    settleNotUsed(Avail.Tv);
    ++step;
    report();

    if (!enumerate(CDValueList::ExposureComp, 0,
                   [&](uint32_t v, uint32_t) { markIn(Avail.ExposureCompensation, ExposureCompFromCd(int(v))); })) {
        trySet(Avail.ExposureCompensation, RemoteFormatExposureComp500Minus, [&](int v) {
            return mSDK->CDSetExposureComp(src, uint32_t(CdExposureCompValue(RemoteFormatExposureCompType(v))));
        });
    }
    settleNotUsed(Avail.ExposureCompensation);
    ++step;
    report();

    if (!enumerate(CDValueList::WBSetting, 0,
                   [&](uint32_t v, uint32_t) { markIn(Avail.WhiteBalanceSetting, WBFromCd(int(v))); })) {
        trySet(Avail.WhiteBalanceSetting, RemoteFormatWBPCSet3,
               [&](int v) { return mSDK->CDSetWBSetting(src, uint32_t(CdWBValue(RemoteFormatWBType(v)))); });
    }
    settleNotUsed(Avail.WhiteBalanceSetting);
    ++step;
    report();

    if (!enumerate(CDValueList::AFDistanceSetting, 0,
                   [&](uint32_t v, uint32_t) { markIn(Avail.AFDistance, AFDistFromCd(int(v))); })) {
        trySet(Avail.AFDistance, RemoteFormatAFDistSuperMacroOCM, [&](int v) {
            return mSDK->CDSetAFDistanceSetting(src, uint32_t(CdAFDistValue(RemoteFormatAFDistType(v))));
        });
    }
    settleNotUsed(Avail.AFDistance);
    ++step;
    report();

    // Flash modes, then in either case the compensation by trying it.
    if (!enumerate(CDValueList::FlashSetting, 0,
                   [&](uint32_t v, uint32_t) { markIn(Avail.StrobeSetting, FlashFromCd(int(v))); })) {
        trySet(Avail.StrobeSetting, RemoteFormatFlashOnRedEye, [&](int v) {
            return mSDK->CDSetFlashSetting(src, uint32_t(CdFlashValue(RemoteFormatFlashType(v))), kFlashUnchanged);
        });
    }
    trySet(Avail.StrobeCompSetting, RemoteFormatFlashComp200Minus, [&](int v) {
        return mSDK->CDSetFlashSetting(src, kFlashUnchanged, uint32_t(CdFlashCompValue(RemoteFormatFlashCompType(v))));
    });
    settleNotUsed(Avail.StrobeSetting);
    settleNotUsed(Avail.StrobeCompSetting);
    step += 2;
    report();

    // The release-camera settings, each by its id and size.
    auto setting = [&](auto& flags, uint32_t id, uint32_t size, int last, auto toValue, auto toCode, int weight) {
        using E = std::remove_cvref_t<decltype(toValue(0))>;
        const uint32_t mask = size == 2 ? 0xFFFF : 0xFF;
        if (!enumerate(CDValueList::RelCamSettingData, id,
                       [&](uint32_t v, uint32_t) { markIn(flags, toValue(int(v & mask))); })) {
            trySet(flags, last,
                   [&](int v) { return mSDK->CDSetRelCamSettingData(src, id, size, uint32_t(toCode(E(v))) & mask); });
        }
        settleNotUsed(flags);
        step += weight;
        report();
    };
    setting(Avail.MLWeiMode, kSetMetering, 1, RemoteFormatMLWeiCenterwWeightedAveraging, MLWeiFromCd, CdMLWeiValue, 1);
    setting(Avail.ISO, kSetISO, 2, RemoteFormatISO102400, [](int c) { return ISOFromCd(c & 0xFF); }, CdISOValue, 1);
    setting(Avail.Contrast, kSetContrast, 1, RemoteFormatLevelHigh, ContrastFromCd, CdContrastValue, 1);
    setting(Avail.ColorGain, kSetColorGain, 1, RemoteFormatLevelHigh, ColorGainFromCd, CdColorGainValue, 1);
    setting(Avail.Sharpness, kSetSharpness, 1, RemoteFormatLevelHigh, SharpnessFromCd, CdSharpnessValue, 1);
    setting(Avail.PhotoEffect, kSetPhotoEffect, 2, RemoteFormatPhotoEffectBW, PhotoEffectFromCd, CdPhotoEffectValue, 1);
    setting(Avail.Beep, kSetBeep, 1, RemoteFormatBeepOff, BeepFromCd, CdBeepValue, 0);

    // What this camera family never offers.
    onlyNotUsed(Avail.CompQualityPic2RAW);
    onlyNotUsed(Avail.ImageSizePic2RAW);
    onlyNotUsed(Avail.AFMode);
    onlyNotUsed(Avail.DriveMode);
    onlyNotUsed(Avail.ColorSpace);
    onlyNotUsed(Avail.AFFocusingPoint);
    onlyNotUsed(Avail.AFAssistLight);
    Avail.WhiteBalanceShift = false;
    Avail.PictureStyle = false;
    report();

    RemoteSetRemoteParams(saved);
    if (!cacheFile.isEmpty())
        SaveRemoteParamCache(cacheFile, Avail);
    mSDK->CDSetShootingMode(src, kModeProgram);
}
