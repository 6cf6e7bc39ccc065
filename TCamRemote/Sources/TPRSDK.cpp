// The newer-PowerShot back-end: each operation is a fixed sequence of PR SDK calls on the connected
// camera, in PTP terms (device properties by 16-bit code, descriptors, the device information dataset).
#include "TCamRemote/Sources/TPRSDK.h"

#include "TCamRemote/Sources/CamConverters.h"
#include "TCamRemote/Sources/CamNotify.h"
#include "TCamRemote/Sources/CamParamFiles.h"
#include "TCamRemote/Sources/PRAPI.h"
#include "TCamRemote/Sources/TCDSDK.h"

#include "platform/Cp1252.h"
#include "platform/Delphi.h"

#include <QDir>
#include <QTimeZone>
#include <QtEndian>

#include <cstring>
#include <vector>

std::vector<PRDeviceRecord>& PRCameraList()
{
    static std::vector<PRDeviceRecord> list;
    return list;
}

namespace {

// Device properties (PTP codes of the PR SDK).
constexpr quint16 PropBatteryKind = 0xD002;
constexpr quint16 PropBatteryStatus = 0xD003;
constexpr quint16 PropImageQuality = 0xD006;
constexpr quint16 PropImageType = 0xD007;
constexpr quint16 PropImageSize = 0xD008;
constexpr quint16 PropSelfTimerTime = 0xD009;
constexpr quint16 PropFlash = 0xD00A;
constexpr quint16 PropBeep = 0xD00B;
constexpr quint16 PropShootingMode = 0xD00C;
constexpr quint16 PropDriveMode = 0xD00E;
constexpr quint16 PropMetering = 0xD010;
constexpr quint16 PropFocusDistance = 0xD011;
constexpr quint16 PropFocusingPoint = 0xD012;
constexpr quint16 PropWhiteBalance = 0xD013;
constexpr quint16 PropContrast = 0xD017;
constexpr quint16 PropColorGain = 0xD018;
constexpr quint16 PropSharpness = 0xD019;
constexpr quint16 PropISO = 0xD01C;
constexpr quint16 PropAv = 0xD01D;
constexpr quint16 PropTv = 0xD01E;
constexpr quint16 PropExposureComp = 0xD01F;
constexpr quint16 PropFlashComp = 0xD020;
constexpr quint16 PropCaptureTransferMode = 0xD029;
constexpr quint16 PropZoomPosition = 0xD02A;
constexpr quint16 PropFirmwareVersion = 0xD031;
constexpr quint16 PropOwnerName = 0xD033;
constexpr quint16 PropCameraTime = 0xD034;
constexpr quint16 PropViewfinderOutput = 0xD036;
constexpr quint16 PropOpticalZoomLimit = 0xD03D;
constexpr quint16 PropPhotoEffect = 0xD040;
constexpr quint16 PropAFAssistLight = 0xD041;
constexpr quint16 PropBodyID = 0xD049;

constexpr int OwnerNameBytes = 260;
constexpr int DescriptorBufferBytes = 1024 * 1024;
constexpr int DeviceRecordBytes = 1106;
constexpr int DeviceListMaxRecords = 100;
constexpr int ModelNameOffset = 1024; // after the internal device name of 512 UTF-16 characters
constexpr int ModelNameChars = 32;
constexpr quint32 ReleasedDataBlockBytes = 100000;
constexpr int ShootingModeProgram = 1;
constexpr int ShootingModeManual = 4;
constexpr int ProbeSteps = 21;

// A failed raising call: the function's name, the result in eight hex digits and the SDK's text.
void PRCheck(quint32 result, const char* name)
{
    if (result != 0)
        throw ECamException(QString::fromLatin1(name) + QStringLiteral(" errorcode 0x")
                            + QStringLiteral("%1").arg(result, 8, 16, QLatin1Char('0')).toUpper() + QStringLiteral(", ")
                            + PRErrorText(result));
}

quint32 le(const uint8_t* p, int width)
{
    switch (width) {
    case 1: return p[0];
    case 2: return qFromLittleEndian<quint16>(p);
    default: return qFromLittleEndian<quint32>(p);
    }
}

// Reads the dataset from front to back and never beyond the bytes the SDK filled; a read past
// the end marks the reader as failed and gives 0.
class DataSetReader {
public:
    DataSetReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    quint32 read(int width)
    {
        if (m_failed || m_size - m_pos < size_t(width)) {
            m_failed = true;
            return 0;
        }
        const quint32 value = le(m_data + m_pos, width);
        m_pos += width;
        return value;
    }
    void skip(size_t bytes)
    {
        if (m_failed || m_size - m_pos < bytes)
            m_failed = true;
        else
            m_pos += bytes;
    }
    bool failed() const { return m_failed; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_failed = false;
};

QString modelName(const PRDeviceRecord& record)
{
    QString name;
    for (int i = 0; i < ModelNameChars; ++i) {
        const quint16 c = qFromLittleEndian<quint16>(record.data() + ModelNameOffset + 2 * i);
        if (c == 0)
            break;
        name.append(QChar(c));
    }
    return name;
}

template <typename E>
void markAvailable(CamEnumArray<E>& available, E value)
{
    if (size_t(value) < available.size())
        available[value] = true;
}

} // namespace

// --- Datasets --------------------------------------------------------------------------------

void ReadPRDeviceInfo(const uint8_t* data, size_t size, bool withProperties, CameraDeviceInfoType& info)
{
    DataSetReader in(data, size);
    in.read(2); // standard version
    in.read(4); // vendor extension ID
    in.read(2); // vendor extension version
    in.skip(size_t(in.read(1)) * 2); // vendor extension description
    in.read(2);                      // functional mode
    const quint32 operations = in.read(4);
    for (quint32 i = 0; i < operations && !in.failed(); ++i) {
        switch (in.read(2)) {
        case 0x9008: info.RemoteSupported = true; break;
        case 0x900B: info.ViewfinderSupported = true; break;
        case 0x9014: info.AfLockUnlockSupported = true; break;
        }
    }
    if (!withProperties)
        return;
    const quint32 events = in.read(4);
    for (quint32 i = 0; i < events && !in.failed(); ++i)
        in.read(2);
    const quint32 properties = in.read(4);
    for (quint32 i = 0; i < properties && !in.failed(); ++i) {
        const quint32 code = in.read(2);
        if (in.failed())
            break;
        switch (code) {
        case PropImageQuality:
        case PropImageType: info.CompQualitySupported = true; break;
        case PropImageSize: info.ImageSizeSupported = true; break;
        case PropFlash: info.StrobeSettingSupported = true; break;
        case PropFlashComp: info.StrobeCompSettingSupported = true; break;
        case PropShootingMode: info.ImageModeSupported = true; break;
        case PropDriveMode: info.DriveModeSupported = true; break;
        case PropMetering: info.MLWeiModeSupported = true; break;
        case PropFocusDistance: info.AFDistanceSupported = true; break;
        case PropFocusingPoint: info.AFFocusingPointSupported = true; break;
        case PropAFAssistLight: info.AFAssistLightSupported = true; break;
        case PropWhiteBalance: info.WhiteBalanceSettingSupported = true; break;
        case PropContrast: info.ContrastSupported = true; break;
        case PropColorGain: info.ColorGainSupported = true; break;
        case PropSharpness: info.SharpnessSupported = true; break;
        case PropISO: info.ISOSupported = true; break;
        case PropAv: info.AvSupported = true; break;
        case PropTv: info.TvSupported = true; break;
        case PropExposureComp: info.ExposureCompensationSupported = true; break;
        case PropPhotoEffect: info.PhotoEffectSupported = true; break;
        case PropBeep: info.BeepSupported = true; break;
        case PropZoomPosition: info.ZoomSupported = true; break;
        }
    }
}

QList<quint32> ReadPREnumValues(const uint8_t* data, size_t size, int width)
{
    DataSetReader in(data, size);
    in.read(2);     // property code
    in.read(2);     // data type
    in.read(1);     // get/set
    in.read(width); // factory default
    in.read(width); // current value
    in.read(1);     // form flag
    const quint32 count = in.read(2);
    QList<quint32> values;
    for (quint32 i = 0; i < count; ++i) {
        const quint32 value = in.read(width);
        if (in.failed())
            break;
        values.append(value);
    }
    return values;
}

void AddPRCameraName(QStringList& CameraList, int& olderCount, const QString& name, std::vector<CDSourceRecord>& olderList)
{
    CameraList.append(name);
    olderCount = qBound(0, olderCount, int(CameraList.size()) - 1);
    for (int j = olderCount - 1; j >= 0 && olderCount > 0; --j) {
        if (CameraList[j] != name)
            continue;
        CameraList.removeAt(j);
        if (size_t(j) < olderList.size())
            olderList.erase(olderList.begin() + j);
        --olderCount;
    }
}

// --- The SDK calls ---------------------------------------------------------------------------

namespace {

// A raising call loads the library first when nobody has (no call ever goes to an unresolved entry
// point), then checks the result. A silent call without a library does nothing.
#define PR_RAISING(fn, ...) (LoadPRSDK(), PRCheck(pr::fn(__VA_ARGS__), #fn))
#define PR_SILENT(fn, ...)                                                                                     \
    do {                                                                                                       \
        if (pr::fn)                                                                                            \
            pr::fn(__VA_ARGS__);                                                                               \
    } while (false)

quint32 getPropValue(prHandle camera, quint16 code, void* data, quint32 size)
{
    LoadPRSDK();
    prUInt32 filled = size;
    return pr::PR_GetDevicePropValue(camera, code, &filled, data);
}

quint32 setPropValue(prHandle camera, quint16 code, quint32 value, int width)
{
    if (!pr::PR_SetDevicePropValue)
        LoadPRSDK();
    uint8_t bytes[4] = {};
    qToLittleEndian<quint32>(value, bytes);
    return pr::PR_SetDevicePropValue(camera, code, prUInt32(width), bytes);
}

void setPropRaising(prHandle camera, quint16 code, quint32 value, int width)
{
    PRCheck(setPropValue(camera, code, value, width), "PR_SetDevicePropValue");
}

void setPropSilent(prHandle camera, quint16 code, quint32 value, int width)
{
    if (pr::PR_SetDevicePropValue)
        setPropValue(camera, code, value, width);
}

quint32 readPropRaising(prHandle camera, quint16 code, int width)
{
    uint8_t bytes[4] = {};
    PRCheck(getPropValue(camera, code, bytes, quint32(width)), "PR_GetDevicePropValue");
    return le(bytes, width);
}

// A silent read: false when the camera refuses, the value stays untouched.
bool readPropSilent(prHandle camera, quint16 code, int width, quint32& value)
{
    if (!pr::PR_GetDevicePropValue)
        return false;
    uint8_t bytes[4] = {};
    if (getPropValue(camera, code, bytes, quint32(width)) != 0)
        return false;
    value = le(bytes, width);
    return true;
}

// The descriptor of a property into a 1 MiB buffer, trimmed to the bytes the SDK filled.
std::vector<uint8_t> readPropDesc(prHandle camera, quint16 code)
{
    std::vector<uint8_t> buffer(DescriptorBufferBytes);
    prUInt32 size = prUInt32(buffer.size());
    PR_RAISING(PR_GetDevicePropDesc, camera, code, &size, buffer.data());
    buffer.resize(qMin<size_t>(size, buffer.size()));
    return buffer;
}

} // namespace

// --- TPRSDK ----------------------------------------------------------------------------------

TPRSDK::TPRSDK() = default;

TPRSDK::~TPRSDK() = default;

void TPRSDK::InitCommunications()
{
    LoadPRSDK();
    PR_RAISING(PR_StartSDK);
}

void TPRSDK::EnumerateCameras(QStringList& CameraList)
{
    int olderCount = int(CameraList.size()); // the older-PowerShot cameras found just before
    std::vector<uint8_t> buffer(4 + DeviceListMaxRecords * DeviceRecordBytes);
    prUInt32 size = prUInt32(buffer.size());
    PR_RAISING(PR_GetDeviceList, &size, reinterpret_cast<prDeviceList*>(buffer.data()));
    PRCameraList().clear();
    // Never more records than the buffer holds, whatever count the SDK writes.
    const size_t filled = qMin<size_t>(size, buffer.size());
    const size_t records = filled < 4 ? 0 : qMin<size_t>(qFromLittleEndian<quint32>(buffer.data()), (filled - 4) / DeviceRecordBytes);
    for (size_t i = 0; i < records; ++i) {
        PRDeviceRecord record;
        std::memcpy(record.data(), buffer.data() + 4 + i * DeviceRecordBytes, DeviceRecordBytes);
        PRCameraList().push_back(record);
        AddPRCameraName(CameraList, olderCount, modelName(record), CDCameraList());
    }
}

ConnectInfoType TPRSDK::Connect(void* EventCallback, int ConnectToCamera, int InstanceNumber)
{
    const int n = int(CDCameraList().size());
    const int m = int(PRCameraList().size());
    const int k = ConnectToCamera - n;
    if (k < 0)
        throw ECamException(QStringLiteral("Not valid value in parameter ConnectToCamera when calling Connect (PR). Value must be at least zero. Currently ConnectToCamera = ")
                            + QString::number(ConnectToCamera) + QStringLiteral(" and") + QString::number(n)
                            + QStringLiteral(" old Powershot cameras connected"));
    if (m == 0)
        throw ECamException(QStringLiteral("There seems to be no connected PowerShot cameras (newer than S80) connected. Have you called the EnumerateCameras function before calling Connect?"));
    if (k > m - 1)
        throw ECamException(QStringLiteral("Not valid value in parameter ConnectToCamera when calling Connect (PR). There are only ")
                            + QString::number(m) + QStringLiteral(" new PowerShot cameras connected. Currently is parameter ConnectToCamera = ")
                            + QString::number(ConnectToCamera) + QStringLiteral(" and") + QString::number(n)
                            + QStringLiteral(" old Powershot cameras connected"));
    mInstanceNumber = InstanceNumber;
    mCameraInfo.CameraModel = CamModNone;
    PRDeviceRecord& record = PRCameraList()[size_t(k)];
    PR_RAISING(PR_CreateCameraObject, reinterpret_cast<prDeviceInfoTable*>(record.data()), &mCameraHandle);
    PR_RAISING(PR_ConnectCamera, mCameraHandle);
    mCameraInfo.CameraModel = CamModPowerShot;
    mCameraInfo.CameraModelName = modelName(record);

    uint8_t owner[OwnerNameBytes] = {};
    PRCheck(getPropValue(mCameraHandle, PropOwnerName, owner, OwnerNameBytes), "PR_GetDevicePropValue");
    mCameraInfo.OwnerName = Cp1252::toUnicode(QByteArray(reinterpret_cast<const char*>(owner), qstrnlen(reinterpret_cast<const char*>(owner), 256)));

    switch (readPropRaising(mCameraHandle, PropBatteryKind, 2)) {
    case 1: mCameraInfo.Battery.BatterySource = BatterySourceAC; break;
    case 2: mCameraInfo.Battery.BatterySource = BatterySourceLitium; break;
    case 3: mCameraInfo.Battery.BatterySource = BatterySourceNiMH; break;
    case 4: mCameraInfo.Battery.BatterySource = BatterySourceNiCD; break;
    case 5: mCameraInfo.Battery.BatterySource = BatterySourceAlMN; break;
    default: mCameraInfo.Battery.BatterySource = BatterySourceUnknown; break;
    }
    switch (readPropRaising(mCameraHandle, PropBatteryStatus, 4)) {
    case 1: mCameraInfo.Battery.BatteryStatus = BatteryStatusNormal; break;
    case 2: mCameraInfo.Battery.BatteryStatus = BatteryStatusWeak; break;
    case 3: mCameraInfo.Battery.BatteryStatus = BatteryStatusSafetyLow; break;
    default: mCameraInfo.Battery.BatteryStatus = BatteryStatusUnknown; break;
    }
    PR_RAISING(PR_SetEventCallBack, mCameraHandle, prContext(mInstanceNumber), reinterpret_cast<prSetEventCB>(EventCallback));
    mCameraDeviceInfo = {};
    readDeviceInfo(false);
    return mCameraInfo;
}

void TPRSDK::readDeviceInfo(bool withProperties)
{
    std::vector<uint8_t> buffer(DescriptorBufferBytes);
    prUInt32 size = prUInt32(buffer.size());
    PR_RAISING(PR_GetDeviceInfo, mCameraHandle, &size, buffer.data());
    ReadPRDeviceInfo(buffer.data(), qMin<size_t>(size, buffer.size()), withProperties, mCameraDeviceInfo);
}

void TPRSDK::Disconnect()
{
    PR_SILENT(PR_ClearEventCallBack, mCameraHandle);
    mCameraInfo.CameraModel = CamModNone;
    PR_SILENT(PR_DisconnectCamera, mCameraHandle);
    PR_SILENT(PR_DestroyCameraObject, mCameraHandle);
}

void TPRSDK::FinilizeCommunications()
{
    PR_SILENT(PR_FinishSDK);
}

void TPRSDK::SetTimeInCamera(const QDateTime& TimeToSet)
{
    try {
        // The camera keeps local time: the clock's reading counts as if it were universal time.
        const QDateTime asUtc(TimeToSet.date(), TimeToSet.time(), QTimeZone::utc());
        const qint64 seconds = Round64(double(asUtc.toMSecsSinceEpoch()) / 1000.0);
        setPropRaising(mCameraHandle, PropCameraTime, quint32(seconds), 4);
    } catch (const std::exception&) {
        throw ECamException(QStringLiteral("It is not possible to set time in the current connected camera"));
    }
}

void TPRSDK::SetOwnerName(const QString& OwnerName)
{
    if (OwnerName.size() >= 32)
        throw ECamException(QStringLiteral("The owner name to set is too long"));
    try {
        uint8_t bytes[OwnerNameBytes] = {};
        for (qsizetype i = 0; i < OwnerName.size(); ++i)
            bytes[i] = uint8_t(OwnerName[i].unicode() & 0xFF);
        LoadPRSDK();
        PRCheck(pr::PR_SetDevicePropValue(mCameraHandle, PropOwnerName, OwnerNameBytes, bytes), "PR_SetDevicePropValue");
    } catch (const std::exception&) {
        throw ECamException(QStringLiteral("It is not possible to set owner name in the current connected camera"));
    }
}

uint32_t TPRSDK::GetBodyID()
{
    return readPropRaising(mCameraHandle, PropBodyID, 4);
}

QString TPRSDK::GetFirmwareVersion()
{
    return QString::asprintf("Firmware version %.8x", readPropRaising(mCameraHandle, PropFirmwareVersion, 4));
}

void TPRSDK::FormatCameraCard()
{
    throw ECamException(QStringLiteral("FormatCameraCard is not supported for you camera."));
}

bool TPRSDK::RemoteSupported()
{
    return mCameraDeviceInfo.RemoteSupported;
}

RemoteFuncType TPRSDK::RemoteStart(ReleaseModeType ReleaseMode, ReleaseDataKindType ReleaseDataKind,
                                   bool ProbeRemoteParameters, const QString& CacheRemoteParamDir,
                                   void* RemoteEventCallback, int InstanceNumber)
{
    RemoteFuncType result;
    // The release mode is checked before the camera enters release control, so a refused mode
    // leaves the camera as it was.
    const int kind = ReleaseDataKind == ReleaseDataKindTakeOnlyThumbnail ? 1 : ReleaseDataKind == ReleaseDataKindTakeOnlyPicture ? 2 : 3;
    int transferMode = 0;
    switch (ReleaseMode) {
    case ReleaseModeOnlyToPC: transferMode = kind; break;
    case ReleaseModeOnlyToCamera: transferMode = kind * 4; break;
    default: throw ECamException(QStringLiteral("Release to both camera and PC does not work for the connected camera"));
    }
    PR_RAISING(PR_InitiateReleaseControl, mCameraHandle);
    setPropRaising(mCameraHandle, PropCaptureTransferMode, quint32(transferMode), 2);
    setPropSilent(mCameraHandle, PropShootingMode, ShootingModeProgram, 1);
    mCameraDeviceInfo = {};
    readDeviceInfo(true);
    result.DoSupportZoom = mCameraDeviceInfo.ZoomSupported;
    result.DoSupportShootingPara = true;
    result.DoSupportViewfinder = mCameraDeviceInfo.ViewfinderSupported;
    result.ReqViewfinderOffWhenShooting = false;
    result.DoSupportAfLockUnlock = mCameraDeviceInfo.AfLockUnlockSupported;
    if (ProbeRemoteParameters)
        probeRemoteParameters(result.RemoteParamSupported, CacheRemoteParamDir);
    return result;
}

void TPRSDK::ReportProbeProgress(int Percentage)
{
    ::ReportProbeProgress(mInstanceNumber, Percentage);
}

void TPRSDK::probeRemoteParameters(RemoteReleaseAvailParametersType& avail, const QString& cacheDir)
{
    const CameraDeviceInfoType& info = mCameraDeviceInfo;
    int step = 1;
    ReportProbeProgress(Round(step * 100.0 / ProbeSteps));
    // One parameter: its values as the descriptor lists them, then its NotUsed entry says whether
    // the camera offers it at all.
    auto probe = [&](bool supported, auto& available, const std::function<void()>& markValues) {
        if (supported)
            markValues();
        available[0] = !supported;
        ++step;
        ReportProbeProgress(Round(step * 100.0 / ProbeSteps));
    };
    auto values = [&](quint16 code, int width) {
        const std::vector<uint8_t> desc = readPropDesc(mCameraHandle, code);
        return ReadPREnumValues(desc.data(), desc.size(), width);
    };
    auto each = [&](quint16 code, int width, auto& available, auto toValue) {
        for (const quint32 v : values(code, width))
            markAvailable(available, toValue(int(v)));
    };

    probe(info.ImageSizeSupported, avail.ImageSize, [&] { each(PropImageSize, 1, avail.ImageSize, SizeFromPr); });
    probe(info.CompQualitySupported, avail.CompQuality, [&] {
        each(PropImageQuality, 1, avail.CompQuality, QualityFromPr);
        for (const quint32 v : values(PropImageType, 1))
            if (v == 2)
                markAvailable(avail.CompQuality, RemoteFormatQualityRAW);
    });
    probe(info.ImageModeSupported, avail.ImageMode, [&] { each(PropShootingMode, 1, avail.ImageMode, ShootingModeFromPr); });
    // Manual mode, so the camera lists every aperture and shutter speed it has.
    setPropSilent(mCameraHandle, PropShootingMode, ShootingModeManual, 1);
    probe(info.AvSupported, avail.Av, [&] { each(PropAv, 2, avail.Av, AvFromCode); });
    probe(info.TvSupported, avail.Tv, [&] { each(PropTv, 2, avail.Tv, TvFromCode); });
    setPropSilent(mCameraHandle, PropShootingMode, ShootingModeProgram, 1);
    probe(info.ExposureCompensationSupported, avail.ExposureCompensation,
          [&] { each(PropExposureComp, 1, avail.ExposureCompensation, ExposureCompFromPr); });
    probe(info.WhiteBalanceSettingSupported, avail.WhiteBalanceSetting,
          [&] { each(PropWhiteBalance, 1, avail.WhiteBalanceSetting, WBFromPr); });
    probe(info.AFDistanceSupported, avail.AFDistance, [&] { each(PropFocusDistance, 1, avail.AFDistance, AFDistFromPr); });
    probe(info.AFFocusingPointSupported, avail.AFFocusingPoint,
          [&] { each(PropFocusingPoint, 2, avail.AFFocusingPoint, AFFocusingPointFromPr); });
    probe(info.AFAssistLightSupported, avail.AFAssistLight, [&] { each(PropAFAssistLight, 2, avail.AFAssistLight, AFLightFromPr); });
    probe(info.StrobeSettingSupported, avail.StrobeSetting, [&] { each(PropFlash, 1, avail.StrobeSetting, FlashFromPr); });
    probe(info.StrobeCompSettingSupported, avail.StrobeCompSetting,
          [&] { each(PropFlashComp, 1, avail.StrobeCompSetting, FlashCompFromPr); });
    probe(info.DriveModeSupported, avail.DriveMode, [&] {
        for (const quint32 v : values(PropDriveMode, 1)) {
            if (v == 2) { // the self-timer: its time tells which one, so both are offered
                markAvailable(avail.DriveMode, RemoteFormatDriveMode10SecSelfTimer);
                markAvailable(avail.DriveMode, RemoteFormatDriveMode2SecSelfTimer);
            } else {
                markAvailable(avail.DriveMode, DriveModeFromPr(int(v)));
            }
        }
    });
    probe(info.MLWeiModeSupported, avail.MLWeiMode, [&] { each(PropMetering, 1, avail.MLWeiMode, MLWeiFromPr); });
    probe(info.ISOSupported, avail.ISO, [&] { each(PropISO, 2, avail.ISO, ISOFromPr); });
    probe(info.ContrastSupported, avail.Contrast, [&] { each(PropContrast, 1, avail.Contrast, ContrastFromPr); });
    probe(info.ColorGainSupported, avail.ColorGain, [&] { each(PropColorGain, 1, avail.ColorGain, ColorGainFromPr); });
    probe(info.SharpnessSupported, avail.Sharpness, [&] { each(PropSharpness, 1, avail.Sharpness, SharpnessFromPr); });
    probe(info.PhotoEffectSupported, avail.PhotoEffect, [&] { each(PropPhotoEffect, 2, avail.PhotoEffect, PhotoEffectFromPr); });
    probe(info.BeepSupported, avail.Beep, [&] { each(PropBeep, 1, avail.Beep, BeepFromPr); });

    avail.CompQualityPic2RAW[0] = true;
    avail.ImageSizePic2RAW[0] = true;
    avail.ColorSpace[0] = true;
    avail.AFMode[0] = true;
    avail.WhiteBalanceShift = false;
    avail.PictureStyle = false;
    if (!cacheDir.isEmpty()) {
        // The model name comes from the camera: it must not lead out of the cache folder.
        QString model = mCameraInfo.CameraModelName;
        model.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
        SaveRemoteParamCache(QDir(cacheDir).filePath(model + QStringLiteral(" Mode") + QStringLiteral("0")), avail);
    }
    setPropSilent(mCameraHandle, PropShootingMode, ShootingModeProgram, 1);
}

void TPRSDK::RemoteEnd()
{
    PR_SILENT(PR_TerminateReleaseControl, mCameraHandle);
}

int TPRSDK::RemoteGetNumberOfAvailableShots()
{
    prUInt32 shots = 0;
    PR_RAISING(PR_RC_GetNumAvailableShot, mCameraHandle, &shots);
    return int(shots);
}

void TPRSDK::RemoteStartViewfinder(void* Viewfindercallback, int InstanceNumber)
{
    PR_RAISING(PR_RC_StartViewFinder, mCameraHandle, prContext(InstanceNumber), reinterpret_cast<prViewFinderCB>(Viewfindercallback));
}

void TPRSDK::RemoteStopViewfinder()
{
    PR_SILENT(PR_RC_TermViewFinder, mCameraHandle);
}

void TPRSDK::RemoteSetViewfinderOutput(RemoteViewFinderOutputType ViewfinderOutput)
{
    switch (ViewfinderOutput) {
    case RemoteViewFinderOutputLCD: setPropSilent(mCameraHandle, PropViewfinderOutput, 1, 1); break;
    case RemoteViewFinderOutputVideo: setPropSilent(mCameraHandle, PropViewfinderOutput, 2, 1); break;
    case RemoteViewFinderOutputOff: setPropSilent(mCameraHandle, PropViewfinderOutput, 3, 1); break;
    }
}

void TPRSDK::RemoteActivateViewfinderAuto()
{
    // Exposure, focus and white balance, one after the other.
    for (const quint32 what : {1u, 2u, 4u})
        PR_RAISING(PR_RC_DoAeAfAwb, mCameraHandle, what);
}

RemoteReleaseParametersType TPRSDK::RemoteGetRemoteParams()
{
    RemoteReleaseParametersType p;
    const prHandle camera = mCameraHandle;
    quint32 v = 0;
    if (readPropSilent(camera, PropImageSize, 1, v))
        p.ImageSize = SizeFromPr(int(v));
    if (readPropSilent(camera, PropImageType, 1, v) && v == 2)
        p.CompQuality = RemoteFormatQualityRAW;
    else if (readPropSilent(camera, PropImageQuality, 1, v))
        p.CompQuality = QualityFromPr(int(v));
    if (readPropSilent(camera, PropShootingMode, 1, v))
        p.ImageMode = ShootingModeFromPr(int(v));
    if (readPropSilent(camera, PropDriveMode, 1, v)) {
        if (v != 2)
            p.DriveMode = DriveModeFromPr(int(v));
        else if (readPropSilent(camera, PropSelfTimerTime, 2, v))
            p.DriveMode = SelfTimerFromPr(int(v));
    }
    if ((p.ImageMode == RemoteFormatShootingModeManual || p.ImageMode == RemoteFormatShootingModeAV)
        && readPropSilent(camera, PropAv, 2, v))
        p.Av = AvFromCode(int(v));
    if ((p.ImageMode == RemoteFormatShootingModeManual || p.ImageMode == RemoteFormatShootingModeTV)
        && readPropSilent(camera, PropTv, 2, v))
        p.Tv = TvFromCode(int(v));
    if (readPropSilent(camera, PropExposureComp, 1, v))
        p.ExposureCompensation = ExposureCompFromPr(int(v));
    if (readPropSilent(camera, PropWhiteBalance, 1, v))
        p.WhiteBalanceSetting = WBFromPr(int(v));
    if (readPropSilent(camera, PropFocusDistance, 1, v))
        p.AFDistance = AFDistFromPr(int(v));
    if (readPropSilent(camera, PropFocusingPoint, 2, v))
        p.AFFocusingPoint = AFFocusingPointFromPr(int(v));
    if (readPropSilent(camera, PropAFAssistLight, 2, v))
        p.AFAssistLight = AFLightFromPr(int(v));
    if (readPropSilent(camera, PropFlash, 1, v))
        p.StrobeSetting = FlashFromPr(int(v));
    if (readPropSilent(camera, PropFlashComp, 1, v))
        p.StrobeCompSetting = FlashCompFromPr(int(v));
    if (readPropSilent(camera, PropMetering, 1, v))
        p.MLWeiMode = MLWeiFromPr(int(v));
    if (readPropSilent(camera, PropISO, 2, v))
        p.ISO = ISOFromPr(int(v));
    if (readPropSilent(camera, PropContrast, 1, v))
        p.Contrast = ContrastFromPr(int(v));
    if (readPropSilent(camera, PropColorGain, 1, v))
        p.ColorGain = ColorGainFromPr(int(v));
    if (readPropSilent(camera, PropSharpness, 1, v))
        p.Sharpness = SharpnessFromPr(int(v));
    if (readPropSilent(camera, PropPhotoEffect, 2, v))
        p.PhotoEffect = PhotoEffectFromPr(int(v));
    if (readPropSilent(camera, PropBeep, 1, v))
        p.Beep = BeepFromPr(int(v));
    return p;
}

void TPRSDK::RemoteSetRemoteParams(const RemoteReleaseParametersType& RemoteParam)
{
    const RemoteReleaseParametersType& p = RemoteParam;
    const prHandle camera = mCameraHandle;
    auto write = [&](bool used, quint16 code, int value, int width) {
        if (used)
            setPropSilent(camera, code, quint32(value), width);
    };
    write(p.ImageSize != RemoteFormatSizeNotUsed, PropImageSize, PrSizeValue(p.ImageSize), 1);
    if (p.CompQuality != RemoteFormatQualityNotUsed) {
        write(true, PropImageType, p.CompQuality == RemoteFormatQualityRAW ? 2 : 1, 1);
        write(true, PropImageQuality, PrQualityValue(p.CompQuality), 1);
    }
    write(p.ImageMode != RemoteFormatShootingModeNotUsed, PropShootingMode, PrShootingModeValue(p.ImageMode), 1);
    if (p.DriveMode == RemoteFormatDriveMode10SecSelfTimer || p.DriveMode == RemoteFormatDriveMode2SecSelfTimer) {
        write(true, PropDriveMode, 2, 1);
        write(true, PropSelfTimerTime, PrSelfTimerValue(p.DriveMode), 2);
    } else {
        write(p.DriveMode != RemoteFormatDriveModeNotUsed, PropDriveMode, PrDriveModeValue(p.DriveMode), 1);
    }
    const bool manual = p.ImageMode == RemoteFormatShootingModeManual;
    write(p.Av != RemoteFormatAVNotUsed && (manual || p.ImageMode == RemoteFormatShootingModeAV), PropAv, AvValue(p.Av), 2);
    write(p.Tv != RemoteFormatTVNotUsed && (manual || p.ImageMode == RemoteFormatShootingModeTV), PropTv, TvValue(p.Tv), 2);
    write(p.ExposureCompensation != RemoteFormatExposureCompNotUsed, PropExposureComp, PrExposureCompValue(p.ExposureCompensation), 1);
    write(p.WhiteBalanceSetting != RemoteFormatWBNotUsed, PropWhiteBalance, PrWBValue(p.WhiteBalanceSetting), 1);
    write(p.AFDistance != RemoteFormatAFDistNotUsed, PropFocusDistance, PrAFDistValue(p.AFDistance), 1);
    write(p.AFFocusingPoint != RemoteFormatAFFocusingPointNotUsed, PropFocusingPoint, PrAFFocusingPointValue(p.AFFocusingPoint), 2);
    write(p.AFAssistLight != RemoteFormatAFLightNotUsed, PropAFAssistLight, p.AFAssistLight == RemoteFormatAFLightOn ? 1 : 0, 2);
    write(p.StrobeSetting != RemoteFormatFlashNotUsed, PropFlash, PrFlashValue(p.StrobeSetting), 1);
    write(p.StrobeCompSetting != RemoteFormatFlashCompNotUsed, PropFlashComp, PrFlashCompValue(p.StrobeCompSetting), 1);
    write(p.MLWeiMode != RemoteFormatMLWeiNotUsed, PropMetering, PrMLWeiValue(p.MLWeiMode), 1);
    write(p.ISO != RemoteFormatISONotUsed, PropISO, PrISOValue(p.ISO), 2);
    write(p.Contrast != RemoteFormatLevelNotUsed, PropContrast, PrContrastValue(p.Contrast), 1);
    write(p.ColorGain != RemoteFormatLevelNotUsed, PropColorGain, PrColorGainValue(p.ColorGain), 1);
    write(p.Sharpness != RemoteFormatLevelNotUsed, PropSharpness, PrSharpnessValue(p.Sharpness), 1);
    write(p.PhotoEffect != RemoteFormatPhotoEffectNotUsed, PropPhotoEffect, PrPhotoEffectValue(p.PhotoEffect), 2);
    write(p.Beep != RemoteFormatBeepNotUsed, PropBeep, PrBeepValue(p.Beep), 1);
}

RemoteZoomCapabilityType TPRSDK::RemoteGetZoomPos()
{
    RemoteZoomCapabilityType zoom;
    if (!mCameraDeviceInfo.ZoomSupported)
        return zoom;
    // The range descriptor: code 2, data type 2, get/set 1, factory default 2, current value 2,
    // form flag 1, minimum 2, maximum 2, step 2. Bytes the SDK did not fill read as 0.
    std::vector<uint8_t> desc = readPropDesc(mCameraHandle, PropZoomPosition);
    desc.resize(qMax<size_t>(desc.size(), 16));
    zoom.CurrentZoomPos = qFromLittleEndian<quint16>(desc.data() + 7);
    zoom.MaxZoomPos = qFromLittleEndian<quint16>(desc.data() + 12);
    zoom.MaxOpticalZoomPos = zoom.MaxZoomPos;
    const quint32 opticalLimit = readPropRaising(mCameraHandle, PropOpticalZoomLimit, 2);
    if (opticalLimit != 255)
        zoom.MaxOpticalZoomPos = int(opticalLimit) - 1;
    return zoom;
}

void TPRSDK::RemoteSetZoomPos(int ZoomPos)
{
    if (mCameraDeviceInfo.ZoomSupported)
        setPropRaising(mCameraHandle, PropZoomPosition, quint32(ZoomPos), 2);
}

void TPRSDK::RemoteAFLock(bool AFLock)
{
    if (AFLock)
        PR_RAISING(PR_RC_FocusLock, mCameraHandle);
    else
        PR_RAISING(PR_RC_FocusUnlock, mCameraHandle);
}

void TPRSDK::RemoteTakePicture(void* ProgressCallback, int InstanceNumber)
{
    PR_RAISING(PR_RC_Release, mCameraHandle);
}

void TPRSDK::RemoteGetPicture(const PRReleaseRecord& PicData, void* ProgressCallback, int InstanceNumber)
{
    // The event record: length 4, container type 2, event code 2, transaction 4, then the parameters.
    const quint16 eventCode = qFromLittleEndian<quint16>(PicData.data() + 6);
    const quint32 objectHandle = qFromLittleEndian<quint32>(PicData.data() + 12);
    PR_RAISING(PR_RC_GetReleasedData, mCameraHandle, objectHandle, eventCode, ReleasedDataBlockBytes,
               prContext(InstanceNumber), reinterpret_cast<prGetFileDataCB>(ProgressCallback));
}

void TPRSDK::ExtendShutdownTimer()
{
    uint8_t owner[OwnerNameBytes] = {};
    PRCheck(getPropValue(mCameraHandle, PropOwnerName, owner, OwnerNameBytes), "PR_GetDevicePropValue");
}

ImageListType TPRSDK::OpenCameraCollection(const QString& TempDir, bool GetThumbnails)
{
    throw ECamException(QStringLiteral("OpenCameraCollection is not supported for you camera."));
}

void TPRSDK::CloseCameraCollection(ImageListType& ImageListToClear)
{
    throw ECamException(QStringLiteral("CloseCameraCollection is not supported for you camera."));
}

void TPRSDK::GetPicture(int NrInList, const QString& FileName, void* ProgressCallback, int InstanceNumber)
{
    throw ECamException(QStringLiteral("GetPicture is not supported for you camera."));
}

void TPRSDK::DeletePicture(ImageListType& ImageList, int NrInList)
{
    throw ECamException(QStringLiteral("DeletePicture is not supported for you camera."));
}
