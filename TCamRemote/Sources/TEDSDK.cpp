// The EOS back-end. Each operation is the SDK call sequence of the EOS camera; the release parameters
// and the probe of supported values live in EOSReleaseParams.cpp.
#include "TEDSDK.h"

#include "CamConverters.h"
#include "CamNotify.h"
#include "CamParamFiles.h"
#include "EDSDK.h"
#include "SDKErrorText.h"

#include "platform/Cp1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>

#include <cstdio>
#include <cstring>

namespace {

// The header keeps the SDK's references opaque.
EdsBaseRef R(void* ref)
{
    return static_cast<EdsBaseRef>(ref);
}

// Camera properties and commands the back-end uses (the release parameters are in EOSReleaseParams.cpp).
constexpr EdsPropertyID PropOwnerName = 0x4;
constexpr EdsPropertyID PropDateTime = 0x6;
constexpr EdsPropertyID PropFirmwareVersion = 0x7;
constexpr EdsPropertyID PropBatteryLevel = 0x8;
constexpr EdsPropertyID PropSaveTo = 0xB;
constexpr EdsPropertyID PropBodyIDEx = 0x15;
constexpr EdsPropertyID PropFocusInfo = 0x104;
constexpr EdsPropertyID PropWhiteBalance = 0x106;
constexpr EdsPropertyID PropColorTemperature = 0x107;
constexpr EdsPropertyID PropAvailableShots = 0x40A;
constexpr EdsPropertyID PropEvfOutputDevice = 0x500;
constexpr EdsPropertyID PropEvfMode = 0x501;
constexpr EdsPropertyID PropEvfDepthOfFieldPreview = 0x504;
constexpr EdsPropertyID PropEvfZoom = 0x507;
constexpr EdsPropertyID PropEvfZoomPosition = 0x508;
constexpr EdsPropertyID PropEvfAFMode = 0x50E;
constexpr EdsPropertyID PropRecord = 0x510;

constexpr EdsUInt32 CmdTakePicture = 0;
constexpr EdsUInt32 CmdExtendShutDownTimer = 1;
constexpr EdsUInt32 CmdPressShutterButton = 4;
constexpr EdsUInt32 CmdDoEvfAf = 0x102;
constexpr EdsUInt32 CmdDriveLensEvf = 0x103;
constexpr EdsUInt32 CmdDoClickWBEvf = 0x104;
constexpr EdsUInt32 StatusCmdUIUnlock = 1; // gives the camera's own controls back

constexpr EdsUInt32 DataTypeString = 2;
constexpr EdsUInt32 DataTypeTime = 23;

constexpr int DispositionCreateAlways = 1;
constexpr int DispositionOpenExisting = 2;
constexpr int AccessRead = 0;
constexpr int AccessWrite = 1;
constexpr int ProgressOptionPeriodically = 2;

constexpr int MaxFileNameLength = 254; // the SDK takes names as 256-byte texts

// A camera text (owner name, model, file name on the card) up to its terminating zero.
QString CameraText(const char* bytes, size_t size)
{
    return Cp1252::toUnicode(QByteArray(bytes, int(strnlen(bytes, size))));
}

void CheckFileNameLength(const QString& FileName, const QString& prefix = QStringLiteral("Filename "))
{
    if (FileName.length() > MaxFileNameLength)
        throw ECamException(prefix + FileName + QStringLiteral(" too long"));
}

EdsError ReadUInt32(EdsBaseRef ref, EdsPropertyID property, uint32_t& value)
{
    return eds::EdsGetPropertyData(ref, property, 0, sizeof(value), &value);
}

EdsError WriteUInt32(EdsBaseRef ref, EdsPropertyID property, uint32_t value)
{
    return eds::EdsSetPropertyData(ref, property, 0, sizeof(value), &value);
}

// The steps that follow an operation always, also after a failure: every step runs, then the first
// failing one raises, in place of a failure of the operation itself.
class Steps {
public:
    void add(EdsError result, const QString& name)
    {
        if (result != 0 && m_first == 0) {
            m_first = result;
            m_name = name;
        }
    }
    void check() const { EDSDKCheck(m_first, m_name); }

private:
    EdsError m_first = 0;
    QString m_name;
};

template <class Body, class Cleanup>
void WithCleanup(Body body, Cleanup cleanup)
{
    try {
        body();
    } catch (...) {
        cleanup();
        throw;
    }
    cleanup();
}

// A download lands in a file beside the target under a private name and is renamed onto the target
// only when the SDK reported the whole transfer done, so a camera unplugged mid-transfer leaves
// neither a half-written picture nor a damaged older file of that name.
class PartialFile {
public:
    explicit PartialFile(const QString& target) : m_target(target)
    {
        const QFileInfo info(target);
        const QString stem = QStringLiteral(".~jex4-");
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QString name = info.dir().filePath(
                stem + QString::number(QRandomGenerator::global()->generate(), 36) + QStringLiteral(".part"));
            if (!QFileInfo::exists(name)) {
                m_temp = name;
                break;
            }
        }
        if (m_temp.isEmpty())
            m_temp = target + QStringLiteral(".part");
    }
    ~PartialFile()
    {
        if (!m_committed)
            QFile::remove(m_temp);
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    QByteArray sdkName() const { return QFile::encodeName(m_temp); }

    // Puts the finished file in place of the target.
    void commit()
    {
        // rename() replaces an older file of that name in one step.
        if (::rename(QFile::encodeName(m_temp).constData(), QFile::encodeName(m_target).constData()) != 0)
            throw ECamException(QStringLiteral("Could not write ") + m_target);
        m_committed = true;
    }

private:
    QString m_target;
    QString m_temp;
    bool m_committed = false;
};

EdsStreamRef CreateFileStream(const QByteArray& name, int disposition, int access)
{
    EdsStreamRef stream = nullptr;
    EDSDKCheck(eds::EdsCreateFileStream(name.constData(), EdsFileCreateDisposition(disposition),
                                        EdsAccess(access), &stream),
               QStringLiteral("EdsCreateFileStream"));
    return stream;
}

// Takes the front reference of a download list under the lists' lock.
EdsDirectoryItemRef FrontOf(std::mutex& lock, std::vector<void*>& list)
{
    std::lock_guard<std::mutex> hold(lock);
    return list.empty() ? nullptr : R(list.front());
}

void PopFront(std::mutex& lock, std::vector<void*>& list)
{
    std::lock_guard<std::mutex> hold(lock);
    if (!list.empty())
        list.erase(list.begin());
}

// The thumbnail of a card file, or none: only upper-case ".JPG" files get one (".jpg" does not).
QImage DownloadThumbnail(EdsDirectoryItemRef item, EdsStreamRef stream, const QString& name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || name.mid(dot) != QStringLiteral(".JPG"))
        return {};
    EDSDKCheck(eds::EdsDownloadThumbnail(item, stream), QStringLiteral("EdsDownloadThumbnail"));
    EDSDKCheck(eds::EdsSeek(stream, 0, EdsSeekOrigin(1)), QStringLiteral("EdsSeek"));
    EdsUInt64 length = 0;
    EDSDKCheck(eds::EdsGetLength(stream, &length), QStringLiteral("EdsGetLength"));
    QByteArray bytes;
    bytes.reserve(int(std::min<EdsUInt64>(length, 16u << 20)));
    // Read until the stream gives nothing more; its length is only a hint.
    char chunk[65536];
    for (;;) {
        EdsUInt64 got = 0;
        EDSDKCheck(eds::EdsRead(stream, sizeof chunk, chunk, &got), QStringLiteral("EdsRead"));
        if (got < 1)
            break;
        bytes.append(chunk, int(std::min<EdsUInt64>(got, sizeof chunk)));
    }
    QImage thumbnail;
    thumbnail.loadFromData(bytes, "JPEG");
    return thumbnail;
}

} // namespace

void EDSDKCheck(uint32_t Value, const QString& Funcname)
{
    if (Value == 0)
        return;
    throw ECamException(Funcname + QStringLiteral(" errorcode 0x")
                        + QStringLiteral("%1").arg(Value, 8, 16, QLatin1Char('0')).toUpper() + QStringLiteral(", ")
                        + EDSErrorText(Value));
}

std::vector<void*>& EOSCameraList()
{
    static std::vector<void*> list;
    return list;
}

TEDSDK::TEDSDK() = default;

// The references still waiting are not released: the SDK drops them when it terminates.
TEDSDK::~TEDSDK() = default;

void TEDSDK::InitCommunications()
{
    LoadEDSDK();
    EDSDKCheck(eds::EdsInitializeSDK(), QStringLiteral("EdsInitializeSDK"));
}

void TEDSDK::EnumerateCameras(QStringList& CameraList)
{
    CameraList.clear();
    EOSCameraList().clear();

    EdsCameraListRef list = nullptr;
    EDSDKCheck(eds::EdsGetCameraList(&list), QStringLiteral("EdsGetCameraList"));
    WithCleanup(
        [&] {
            EdsUInt32 count = 0;
            EDSDKCheck(eds::EdsGetChildCount(list, &count), QStringLiteral("EdsGetChildCount"));
            for (EdsUInt32 i = 0; i < count; ++i) {
                EdsCameraRef camera = nullptr;
                EDSDKCheck(eds::EdsGetChildAtIndex(list, EdsInt32(i), &camera),
                           QStringLiteral("EdsGetChildAtIndex"));
                // The reference is the list's from here, so that Connect can use it.
                EOSCameraList().push_back(camera);
                EdsDeviceInfo info{};
                EDSDKCheck(eds::EdsGetDeviceInfo(camera, &info), QStringLiteral("EdsGetDeviceInfo"));
                CameraList.append(CameraText(info.szDeviceDescription, sizeof info.szDeviceDescription));
            }
        },
        [&] { EDSDKCheck(eds::EdsRelease(list), QStringLiteral("EdsRelease")); });
}

ConnectInfoType TEDSDK::Connect(void* /*EventCallback*/, int ConnectToCamera, int /*InstanceNumber*/)
{
    LoadEDSDK();
    if (ConnectToCamera < 0)
        throw ECamException(QStringLiteral("Not valid value in parameter ConnectToCamera when calling Connect. Value "
                                           "must be at least zero. Currently ConnectToCamera = ")
                            + QString::number(ConnectToCamera));
    const auto& cameras = EOSCameraList();
    if (cameras.empty())
        throw ECamException(QStringLiteral("There seems to be no connected EOS cameras connected. Have you called "
                                           "the EnumerateCameras function before calling Connect?"));
    if (size_t(ConnectToCamera) >= cameras.size())
        throw ECamException(QStringLiteral("Not valid value in parameter ConnectToCamera when calling Connect. There "
                                           "are only ")
                            + QString::number(cameras.size())
                            + QStringLiteral(" EOS cameras connected. Currently is parameter ConnectToCamera = ")
                            + QString::number(ConnectToCamera));

    mCameraInfo.CameraModel = CamModNone;
    mCameraDevice = cameras[size_t(ConnectToCamera)];

    EDSDKCheck(eds::EdsSetObjectEventHandler(R(mCameraDevice), kEdsObjectEvent_All, EOSObjectEventCallback,
                                             &mInstanceNumber),
               QStringLiteral("EdsSetObjectEventHandler"));
    EDSDKCheck(eds::EdsSetPropertyEventHandler(R(mCameraDevice), kEdsPropertyEvent_All, EOSPropertyEventCallback,
                                               &mInstanceNumber),
               QStringLiteral("EdsSetPropertyEventHandler"));
    EDSDKCheck(eds::EdsSetCameraStateEventHandler(R(mCameraDevice), kEdsStateEvent_All, EOSStateEventCallback,
                                                  &mInstanceNumber),
               QStringLiteral("EdsSetCameraStateEventHandler"));

    EDSDKCheck(eds::EdsOpenSession(R(mCameraDevice)), QStringLiteral("EdsOpenSession"));
    mCameraInfo.CameraModel = CamModEOS;

    EdsDeviceInfo info{};
    EDSDKCheck(eds::EdsGetDeviceInfo(R(mCameraDevice), &info), QStringLiteral("EdsGetDeviceInfo"));
    mCameraInfo.CameraModelName = CameraText(info.szDeviceDescription, sizeof info.szDeviceDescription);

    char owner[256] = {};
    EDSDKCheck(eds::EdsGetPropertyData(R(mCameraDevice), PropOwnerName, 0, sizeof owner, owner),
               QStringLiteral("EdsGetPropertyData, kEdsPropID_OwnerName"));
    mCameraInfo.OwnerName = CameraText(owner, sizeof owner);

    uint32_t battery = 0;
    EDSDKCheck(ReadUInt32(R(mCameraDevice), PropBatteryLevel, battery),
               QStringLiteral("EdsGetPropertyData, kEdsPropID_BatteryLevel"));
    switch (battery & 0xFF) {
    case 0xFF:
        mCameraInfo.Battery = {BatterySourceAC, BatteryStatusNormal};
        break;
    case 9:
        mCameraInfo.Battery = {BatterySourceLitium, BatteryStatusSafetyLow};
        break;
    case 0x31:
        mCameraInfo.Battery = {BatterySourceLitium, BatteryStatusWeak};
        break;
    case 0x50:
        mCameraInfo.Battery = {BatterySourceLitium, BatteryStatusNormal};
        break;
    default:
        mCameraInfo.Battery = {BatterySourceUnknown, BatteryStatusUnknown};
        break;
    }
    return mCameraInfo;
}

void TEDSDK::Disconnect()
{
    eds::EdsCloseSession(R(mCameraDevice));
}

void TEDSDK::FinilizeCommunications()
{
    eds::EdsTerminateSDK();
}

void TEDSDK::SetTimeInCamera(const QDateTime& TimeToSet)
{
    EdsDataType type{};
    EdsUInt32 size = 0;
    EDSDKCheck(eds::EdsGetPropertySize(R(mCameraDevice), PropDateTime, 0, &type, &size),
               QStringLiteral("EdsGetPropertySize"));
    if (EdsUInt32(type) != DataTypeTime)
        throw ECamException(QStringLiteral("SetTimeInCamera : Date/Time is of incorrect type"));
    const QDate d = TimeToSet.date();
    const QTime t = TimeToSet.time();
    const uint32_t time[7] = {uint32_t(d.year()),   uint32_t(d.month()),  uint32_t(d.day()),  uint32_t(t.hour()),
                              uint32_t(t.minute()), uint32_t(t.second()), uint32_t(t.msec())};
    EDSDKCheck(eds::EdsSetPropertyData(R(mCameraDevice), PropDateTime, 0, sizeof time, time),
               QStringLiteral("EdsSetPropertyData, kEdsPropID_DateTime"));
}

void TEDSDK::SetOwnerName(const QString& NameOfOwner)
{
    if (NameOfOwner.length() > 254)
        throw ECamException(QStringLiteral("The owner name to set is too long"));
    const QByteArray ansi = Cp1252::fromUnicode(NameOfOwner);
    EdsDataType type{};
    EdsUInt32 size = 0;
    EDSDKCheck(eds::EdsGetPropertySize(R(mCameraDevice), PropOwnerName, 0, &type, &size),
               QStringLiteral("EdsGetPropertySize"));
    if (EdsUInt32(type) != DataTypeString)
        throw ECamException(QStringLiteral("SetOwnerName : Owner name is of incorrect type"));
    if (ansi.length() > 31)
        throw ECamException(QStringLiteral("The owner name to set is too long"));
    EDSDKCheck(eds::EdsSetPropertyData(R(mCameraDevice), PropOwnerName, 0, EdsUInt32(ansi.length() + 1),
                                       ansi.constData()),
               QStringLiteral("EdsSetPropertyData, kEdsPropID_OwnerName"));
}

QString TEDSDK::GetBodyID()
{
    char body[2001] = {};
    EDSDKCheck(eds::EdsGetPropertyData(R(mCameraDevice), PropBodyIDEx, 0, sizeof body, body),
               QStringLiteral("EdsGetPropertyData, kEdsPropID_BodyIDEx"));
    return CameraText(body, sizeof body);
}

QString TEDSDK::GetFirmwareVersion()
{
    EdsDataType type{};
    EdsUInt32 size = 0;
    EDSDKCheck(eds::EdsGetPropertySize(R(mCameraDevice), PropFirmwareVersion, 0, &type, &size),
               QStringLiteral("EdsGetPropertySize"));
    if (EdsUInt32(type) != DataTypeString)
        throw ECamException(QStringLiteral("GetFirmwareVersion : Firmware version is of incorrect type"));
    char version[256] = {};
    EDSDKCheck(eds::EdsGetPropertyData(R(mCameraDevice), PropFirmwareVersion, 0, sizeof version, version),
               QStringLiteral("EdsGetPropertyData, kEdsPropID_FirmwareVersion"));
    return CameraText(version, sizeof version);
}

void TEDSDK::FormatCameraCard()
{
    EdsUInt32 count = 0;
    EDSDKCheck(eds::EdsGetChildCount(R(mCameraDevice), &count), QStringLiteral("EdsGetChildCount"));
    if (count == 0)
        throw ECamException(QStringLiteral("FormatCameraCard : No volumes found"));
    EdsVolumeRef volume = nullptr;
    EDSDKCheck(eds::EdsGetChildAtIndex(R(mCameraDevice), 0, &volume), QStringLiteral("EdsGetChildAtIndex"));
    WithCleanup([&] { EDSDKCheck(eds::EdsFormatVolume(volume), QStringLiteral("EdsFormatVolume")); },
                [&] { EDSDKCheck(eds::EdsRelease(volume), QStringLiteral("EdsRelease")); });
}

bool TEDSDK::IsNewerKind()
{
    EdsDeviceInfo info{};
    EDSDKCheck(eds::EdsGetDeviceInfo(R(mCameraDevice), &info), QStringLiteral("EdsGetDeviceInfo"));
    return info.deviceSubType != 0;
}

RemoteFuncType TEDSDK::RemoteStart(ReleaseModeType ReleaseMode, ReleaseDataKindType /*ReleaseDataKind*/,
                                   bool ProbeRemoteParameters, const QString& CacheRemoteParamDir,
                                   void* /*RemoteEventCallback*/, int /*InstanceNumber*/)
{
    RemoteFuncType result{};
    uint32_t saveTo = 2;
    switch (ReleaseMode) {
    case ReleaseModeOnlyToPC:
        saveTo = 2;
        break;
    case ReleaseModeBothPCAndCamera:
        saveTo = 3;
        break;
    case ReleaseModeOnlyToCamera:
        saveTo = 1;
        break;
    }
    EDSDKCheck(WriteUInt32(R(mCameraDevice), PropSaveTo, saveTo), QStringLiteral("EdsSetPropertyData, kEdsPropID_SaveTo"));

    result.DoSupportShootingPara = true;
    result.DoSupportZoom = false;
    result.DoSupportViewfinder = false;
    result.ReqViewfinderOffWhenShooting = false;
    result.DoSupportAfLockUnlock = false;

    if (IsNewerKind()) {
        uint32_t output = 0;
        if (ReadUInt32(R(mCameraDevice), PropEvfOutputDevice, output) == 0)
            result.DoSupportViewfinder = true;
        // The space the computer offers for released pictures: effectively unlimited.
        EdsCapacity capacity{};
        capacity.numberOfFreeClusters = 0x7FFFFFFF;
        capacity.bytesPerSector = 4096;
        capacity.reset = 1;
        EDSDKCheck(eds::EdsSetCapacity(R(mCameraDevice), capacity), QStringLiteral("EdsSetCapacity"));
    }
    mSupportViewfinder = result.DoSupportViewfinder;

    eds::EdsSendStatusCommand(R(mCameraDevice), StatusCmdUIUnlock, 0);

    if (ProbeRemoteParameters)
        this->ProbeRemoteParameters(CacheRemoteParamDir, result.RemoteParamSupported);
    return result;
}

bool TEDSDK::RemoteSupported()
{
    return true;
}

void TEDSDK::RemoteEnd() {}

int TEDSDK::RemoteGetNumberOfAvailableShots()
{
    uint32_t shots = 0;
    EDSDKCheck(ReadUInt32(R(mCameraDevice), PropAvailableShots, shots),
               QStringLiteral("EdsGetPropertyData, kEdsPropID_AvailableShots"));
    return int(shots);
}

void TEDSDK::RemoteTakePicture(int /*InstanceNumber*/)
{
    EDSDKCheck(eds::EdsSendCommand(R(mCameraDevice), CmdTakePicture, 0), QStringLiteral("EdsSendCommand"));
}

void TEDSDK::RemotePressShutter(RemoteShutterButtonType ShutterButton)
{
    const EdsInt32 button = EdsInt32(EdsShutterButtonValue(ShutterButton));
    if (eds::EdsSendCommand(R(mCameraDevice), CmdPressShutterButton, button) == 0)
        return;
    // A busy camera takes the button a moment later: up to 25 more tries 200 ms apart.
    for (int repeat = 0; repeat < 25; ++repeat) {
        camClock().sleep(200);
        if (eds::EdsSendCommand(R(mCameraDevice), CmdPressShutterButton, button) == 0)
            return;
    }
    EDSDKCheck(eds::EdsSendCommand(R(mCameraDevice), CmdPressShutterButton, button), QStringLiteral("EdsSendCommand"));
}

void TEDSDK::ExtendShutdownTimer()
{
    EDSDKCheck(eds::EdsSendCommand(R(mCameraDevice), CmdExtendShutDownTimer, 0), QStringLiteral("EdsSendCommand"));
}

void TEDSDK::RemoteGetPicture(const QString& FileName, PictureTypeType PictureType, int /*InstanceNumber*/)
{
    EdsDirectoryItemRef item = FrontOf(mListLock, mPicList);
    if (!item)
        throw ECamException(QStringLiteral("There are no pictures to download"));
    CheckFileNameLength(FileName);

    // A thumbnail leaves the picture waiting so that the full picture can follow; a full download,
    // successful or not, ends it.
    if (PictureType == PictureTypeFull) {
        DownloadItem(item, FileName, FileTransferFromCameraMemory, &mPicList, false);
        return;
    }
    // A file that cannot be created leaves the picture waiting: nothing has been transferred yet.
    PartialFile file(FileName);
    EdsStreamRef stream = CreateFileStream(file.sdkName(), DispositionCreateAlways, AccessWrite);
    WithCleanup([&] { EDSDKCheck(eds::EdsDownloadThumbnail(item, stream), QStringLiteral("EdsDownloadThumbnail")); },
                [&] { EDSDKCheck(eds::EdsRelease(stream), QStringLiteral("EdsRelease")); });
    file.commit();
}

void TEDSDK::RemoteGetMovie(const QString& FileName, bool DeleteFromCameraAfterTransfer, int /*InstanceNumber*/)
{
    if (FrontOf(mListLock, mMovieList) == nullptr)
        throw ECamException(QStringLiteral("There are no movies to download"));
    DownloadFromList(mMovieList, FileName, DeleteFromCameraAfterTransfer);
}

void TEDSDK::RemoteGetCFPicture(const QString& FileName, bool DeleteFromCameraAfterTransfer, int /*InstanceNumber*/)
{
    if (FrontOf(mListLock, mPicCFList) == nullptr)
        throw ECamException(QStringLiteral("There are no pictures on CF card to download"));
    DownloadFromList(mPicCFList, FileName, DeleteFromCameraAfterTransfer);
}

void TEDSDK::DownloadFromList(std::vector<void*>& list, const QString& FileName,
                              bool DeleteFromCameraAfterTransfer)
{
    CheckFileNameLength(FileName);
    DownloadItem(FrontOf(mListLock, list), FileName, FileTransferFromCameraCard, &list, DeleteFromCameraAfterTransfer);
}

void TEDSDK::DownloadItem(void* itemRef, const QString& FileName, FileTransferType Transfer,
                          std::vector<void*>* TakenFrom, bool DeleteFromCamera)
{
    EdsDirectoryItemRef item = R(itemRef);
    // A file that cannot be created leaves the item where it is: nothing has been transferred yet.
    PartialFile file(FileName);
    EdsStreamRef stream = CreateFileStream(file.sdkName(), DispositionCreateAlways, AccessWrite);
    WithCleanup(
        [&] {
            EdsDirectoryItemInfo info{};
            EDSDKCheck(eds::EdsGetDirectoryItemInfo(item, &info), QStringLiteral("EdsGetDirectoryItemInfo"));
            EDSDKCheck(eds::EdsSetProgressCallback(stream, EOSProgressCallback,
                                                   EdsProgressOption(ProgressOptionPeriodically), &mInstanceNumber),
                       QStringLiteral("EdsSetProgressCallback"));
            mTypeOfFileTransfer = Transfer;
            EDSDKCheck(eds::EdsDownload(item, info.size, stream), QStringLiteral("EdsDownload"));
        },
        [&] {
            mTypeOfFileTransfer = FileTransferNotUsed;
            Steps steps;
            steps.add(eds::EdsRelease(stream), QStringLiteral("EdsRelease"));
            steps.add(eds::EdsDownloadComplete(item), QStringLiteral("EdsDownloadComplete"));
            if (TakenFrom) {
                if (DeleteFromCamera)
                    steps.add(eds::EdsDeleteDirectoryItem(item), QStringLiteral("EdsDeleteDirectoryItem"));
                steps.add(eds::EdsRelease(item), QStringLiteral("EdsRelease"));
                PopFront(mListLock, *TakenFrom);
            }
            steps.check();
        });
    file.commit();
}

RemoteZoomCapabilityType TEDSDK::RemoteGetZoomPos()
{
    throw ECamException(QStringLiteral("RemoteGetZoomPos is not supported for your EOS camera."));
}

void TEDSDK::RemoteSetZoomPos(int /*ZoomPos*/)
{
    throw ECamException(QStringLiteral("RemoteSetZoomPos is not supported for your EOS camera."));
}

void TEDSDK::RemoteAFLock(bool /*AFLock*/)
{
    throw ECamException(QStringLiteral("RemoteAFLock is not supported for your EOS camera."));
}

void TEDSDK::AddPictureToDownload(void* Picture)
{
    std::lock_guard<std::mutex> hold(mListLock);
    mPicList.push_back(Picture);
}

void TEDSDK::AddMovieToDownload(void* Movie)
{
    std::lock_guard<std::mutex> hold(mListLock);
    mMovieList.push_back(Movie);
}

void TEDSDK::AddCFPictureToDownload(void* Picture)
{
    std::lock_guard<std::mutex> hold(mListLock);
    mPicCFList.push_back(Picture);
}

ImageListType TEDSDK::OpenCameraCollection(const QString& /*TempDir*/, bool GetThumbnails)
{
    ImageListType result;
    EdsUInt32 count = 0;
    EDSDKCheck(eds::EdsGetChildCount(R(mCameraDevice), &count), QStringLiteral("EdsGetChildCount"));
    if (count == 0)
        throw ECamException(QStringLiteral("OpenCameraCollection : No volumes found"));
    EdsVolumeRef volume = nullptr;
    EDSDKCheck(eds::EdsGetChildAtIndex(R(mCameraDevice), 0, &volume), QStringLiteral("EdsGetChildAtIndex"));
    mVolumeRef = volume;
    EdsUInt32 items = 0;
    EDSDKCheck(eds::EdsGetChildCount(R(mVolumeRef), &items), QStringLiteral("EdsGetChildCount"));
    for (EdsUInt32 i = 0; i < items; ++i)
        AddCollectionChild(mVolumeRef, i, GetThumbnails, result);
    return result;
}

void TEDSDK::AddCollectionChild(void* parent, uint32_t index, bool GetThumbnails, ImageListType& result)
{
    EdsDirectoryItemRef child = nullptr;
    EDSDKCheck(eds::EdsGetChildAtIndex(R(parent), EdsInt32(index), &child), QStringLiteral("EdsGetChildAtIndex"));
    // A folder is released once walked, also after a failure below it (the card's top folders too, or
    // their references would outlive the collection); files stay referenced by the collection.
    WithCleanup([&] { AddCollectionItem(child, GetThumbnails, result); },
                [&] {
                    EdsDirectoryItemInfo childInfo{};
                    EDSDKCheck(eds::EdsGetDirectoryItemInfo(child, &childInfo),
                               QStringLiteral("EdsGetDirectoryItemInfo"));
                    if (childInfo.isFolder)
                        EDSDKCheck(eds::EdsRelease(child), QStringLiteral("EdsRelease"));
                });
}

void TEDSDK::AddCollectionItem(void* itemRef, bool GetThumbnails, ImageListType& result)
{
    EdsDirectoryItemRef item = R(itemRef);
    EdsDirectoryItemInfo info{};
    EDSDKCheck(eds::EdsGetDirectoryItemInfo(item, &info), QStringLiteral("EdsGetDirectoryItemInfo"));
    if (info.isFolder) {
        EdsUInt32 count = 0;
        EDSDKCheck(eds::EdsGetChildCount(item, &count), QStringLiteral("EdsGetChildCount"));
        for (EdsUInt32 i = 0; i < count; ++i)
            AddCollectionChild(item, i, GetThumbnails, result);
        return;
    }

    mPicOnCamList.push_back(item);
    EDSDKCheck(eds::EdsGetDirectoryItemInfo(item, &info), QStringLiteral("EdsGetDirectoryItemInfo"));
    ImageDataType entry;
    entry.NameOfImage = CameraText(info.szFileName, sizeof info.szFileName);
    entry.RAWJpegExists = false;
    if (GetThumbnails) {
        EdsStreamRef stream = nullptr;
        EDSDKCheck(eds::EdsCreateMemoryStream(0, &stream), QStringLiteral("EdsCreateMemoryStream"));
        WithCleanup([&] { entry.Thumbnail = DownloadThumbnail(item, stream, entry.NameOfImage); },
                    [&] { EDSDKCheck(eds::EdsRelease(stream), QStringLiteral("EdsRelease")); });
    }
    result.push_back(entry);
}

void TEDSDK::CloseCameraCollection(ImageListType& ImageListToClear)
{
    EdsVolumeRef volume = R(mVolumeRef);
    mVolumeRef = nullptr;
    if (volume)
        EDSDKCheck(eds::EdsRelease(volume), QStringLiteral("EdsRelease"));
    while (!mPicOnCamList.empty()) {
        EdsDirectoryItemRef item = R(mPicOnCamList.back());
        mPicOnCamList.pop_back();
        EDSDKCheck(eds::EdsRelease(item), QStringLiteral("EdsRelease"));
    }
    ImageListToClear.clear();
}

void TEDSDK::GetPicture(int NrInList, const QString& FileName, int /*InstanceNumber*/)
{
    CheckFileNameLength(FileName);
    if (NrInList < 0 || size_t(NrInList) >= mPicOnCamList.size())
        throw ECamException(QStringLiteral("Requested download of picture ") + QString::number(NrInList)
                            + QStringLiteral(" but max is only ") + QString::number(int(mPicOnCamList.size()) - 1));
    EdsDirectoryItemRef item = R(mPicOnCamList[size_t(NrInList)]);

    DownloadItem(item, FileName, FileTransferFromCameraCard); // the item stays in the collection
}

void TEDSDK::DeletePicture(ImageListType& ImageList, int NrInList)
{
    if (NrInList < 0 || size_t(NrInList) >= mPicOnCamList.size())
        throw ECamException(QStringLiteral("Requested delete of picture ") + QString::number(NrInList)
                            + QStringLiteral(" but max is only ") + QString::number(int(mPicOnCamList.size()) - 1));
    EdsDirectoryItemRef item = R(mPicOnCamList[size_t(NrInList)]);
    EDSDKCheck(eds::EdsDeleteDirectoryItem(item), QStringLiteral("EdsDeleteDirectoryItem"));
    mPicOnCamList.erase(mPicOnCamList.begin() + NrInList);
    if (NrInList < int(ImageList.size()))
        ImageList.erase(ImageList.begin() + NrInList);
    // The collection held the file's reference; with the file gone nothing would release it.
    EDSDKCheck(eds::EdsRelease(item), QStringLiteral("EdsRelease"));
}

RAWObjectDevAvailType TEDSDK::OpenRAWObject(const QString& FileName)
{
    RAWObjectDevAvailType result{};
    CheckFileNameLength(FileName);
    mRAWFileStream = CreateFileStream(QFile::encodeName(FileName), DispositionOpenExisting, AccessRead);
    EdsImageRef image = nullptr;
    EDSDKCheck(eds::EdsCreateImageRef(R(mRAWFileStream), &image), QStringLiteral("EdsCreateImageRef"));
    mRAWFileImageRef = image;
    const RAWObjectDevType kept = GetRAWDevelopmentParameters();
    for (int wb = RemoteFormatWBAuto; wb <= RemoteFormatWBPCSet3; ++wb) {
        const int code = EdsWBValue(RemoteFormatWBType(wb));
        if (code == -10)
            continue;
        const int32_t value = code;
        if (eds::EdsSetPropertyData(R(mRAWFileImageRef), PropWhiteBalance, 0, sizeof value, &value) == 0)
            result.WhiteBalance[wb] = true;
    }
    SetRAWDevelopmentParameters(kept);
    return result;
}

void TEDSDK::SetRAWDevelopmentParameters(const RAWObjectDevType& RAWDevPara)
{
    const int code = EdsWBValue(RAWDevPara.WhiteBalance);
    if (code == -10)
        throw ECamException(QStringLiteral("Whitebalance not known"));
    const int32_t value = code;
    EDSDKCheck(eds::EdsSetPropertyData(R(mRAWFileImageRef), PropWhiteBalance, 0, sizeof value, &value),
               QStringLiteral("EdsSetPropertyData, kEdsPropID_WhiteBalance"));
    if (RAWDevPara.WhiteBalance == RemoteFormatWBKelvin) {
        const int32_t kelvin = RAWDevPara.WhiteBalanceKelvin / 100 * 100;
        EDSDKCheck(eds::EdsSetPropertyData(R(mRAWFileImageRef), PropColorTemperature, 0, sizeof kelvin, &kelvin),
                   QStringLiteral("EdsSetPropertyData, kEdsPropID_ColorTemperature"));
    }
}

RAWObjectDevType TEDSDK::GetRAWDevelopmentParameters()
{
    RAWObjectDevType result{};
    uint32_t wb = 0;
    result.WhiteBalance = ReadUInt32(R(mRAWFileImageRef), PropWhiteBalance, wb) == 0
                              ? WBFromEds(int32_t(wb))
                              : RemoteFormatWBNotUsed;
    result.WhiteBalanceKelvin = 0;
    uint32_t kelvin = 0;
    if (result.WhiteBalance == RemoteFormatWBKelvin && ReadUInt32(R(mRAWFileImageRef), PropColorTemperature, kelvin) == 0)
        result.WhiteBalanceKelvin = int(kelvin);
    return result;
}

void TEDSDK::DevelopRAWPicture(const QString& OutFileName, FileFormatType FileFormat, BitsPerPixelType BitsPerPixel,
                               const QString& ICCProfileFileName, int JPEGQuality)
{
    CheckFileNameLength(OutFileName);
    CheckFileNameLength(ICCProfileFileName, QStringLiteral("ICC profile filename "));

    PartialFile file(OutFileName);
    EdsStreamRef out = nullptr;
    EdsStreamRef profile = nullptr;
    WithCleanup(
        [&] {
            out = CreateFileStream(file.sdkName(), DispositionCreateAlways, AccessWrite);
            if (!ICCProfileFileName.isEmpty())
                profile = CreateFileStream(QFile::encodeName(ICCProfileFileName), DispositionOpenExisting, AccessRead);
            EdsUInt32 target = 0;
            switch (FileFormat) {
            case FileFormatTIFF:
                target = BitsPerPixel == BitsPerPixel48Bits ? 8 : 7;
                break;
            case FileFormatJPEG:
                target = 1;
                break;
            case FileFormatThumbnail:
                throw ECamException(QStringLiteral("Thumbnail in RAW development not implemented"));
            case FileFormatJPEGInRaw:
                throw ECamException(QStringLiteral("JPEG in RAW development not implemented"));
            }
            EdsSaveImageSetting settings{};
            settings.JPEGQuality = EdsUInt32(JPEGQuality);
            settings.iccProfileStream = profile;
            settings.reserved = 0;
            EDSDKCheck(eds::EdsSaveImage(R(mRAWFileImageRef), EdsTargetImageType(target), settings, out),
                       QStringLiteral("EdsSaveImage"));
        },
        [&] {
            Steps steps;
            if (profile)
                steps.add(eds::EdsRelease(profile), QStringLiteral("EdsRelease"));
            if (out)
                steps.add(eds::EdsRelease(out), QStringLiteral("EdsRelease"));
            steps.check();
        });
    file.commit();
}

void TEDSDK::CloseRAWObject()
{
    EdsImageRef image = R(mRAWFileImageRef);
    EdsStreamRef stream = R(mRAWFileStream);
    mRAWFileImageRef = nullptr;
    mRAWFileStream = nullptr;
    Steps steps;
    if (image)
        steps.add(eds::EdsRelease(image), QStringLiteral("EdsRelease"));
    if (stream)
        steps.add(eds::EdsRelease(stream), QStringLiteral("EdsRelease"));
    steps.check();
}

void TEDSDK::SetPropertyWithRetries(uint32_t property, uint32_t value, const QString& callName)
{
    if (WriteUInt32(R(mCameraDevice), property, value) == 0)
        return;
    for (int repeat = 0; repeat < 5; ++repeat) {
        camClock().sleep(1000);
        if (WriteUInt32(R(mCameraDevice), property, value) == 0)
            return;
    }
    EDSDKCheck(WriteUInt32(R(mCameraDevice), property, value), callName);
}

void TEDSDK::RemoteStartViewfinder()
{
    EDSDKCheck(WriteUInt32(R(mCameraDevice), PropEvfMode, 1), QStringLiteral("EdsSetPropertyData, kEdsPropID_Evf_Mode"));
    SetPropertyWithRetries(PropEvfOutputDevice, 2, QStringLiteral("EdsSetPropertyData, kEdsPropID_Evf_OutputDevice"));
    eds::EdsSendStatusCommand(R(mCameraDevice), StatusCmdUIUnlock, 0);
}

void TEDSDK::RemoteStopViewfinder()
{
    WriteUInt32(R(mCameraDevice), PropEvfOutputDevice, 0);
    WriteUInt32(R(mCameraDevice), PropEvfMode, 0);
}

void TEDSDK::RemoteSetViewfinderOutput(RemoteViewFinderOutputType ViewfinderOutput)
{
    switch (ViewfinderOutput) {
    case RemoteViewFinderOutputLCD: {
        uint32_t output = 0;
        EDSDKCheck(ReadUInt32(R(mCameraDevice), PropEvfOutputDevice, output),
                   QStringLiteral("EdsGetPropertyData, kEdsPropID_Evf_OutputDevice"));
        if ((output & 1) == 0)
            EDSDKCheck(WriteUInt32(R(mCameraDevice), PropEvfOutputDevice, output + 1),
                       QStringLiteral("EdsSetPropertyData, kEdsPropID_Evf_OutputDevice"));
        break;
    }
    case RemoteViewFinderOutputOff:
        EDSDKCheck(WriteUInt32(R(mCameraDevice), PropEvfOutputDevice, 2),
                   QStringLiteral("EdsSetPropertyData, kEdsPropID_Evf_OutputDevice"));
        break;
    case RemoteViewFinderOutputVideo:
        break;
    }
}

void TEDSDK::RemoteSetViewfinderDriveLens(RemoteViewFinderDriveLensType DriveLens)
{
    EDSDKCheck(eds::EdsSendCommand(R(mCameraDevice), CmdDriveLensEvf, EdsInt32(EdsDriveLensValue(DriveLens))),
               QStringLiteral("EdsSendCommand"));
}

void TEDSDK::RemoteSetViewfinderWhitebalance(int XCoord, int YCoord)
{
    const uint32_t point = uint32_t(XCoord) * 65536u + uint32_t(YCoord);
    EDSDKCheck(eds::EdsSendCommand(R(mCameraDevice), CmdDoClickWBEvf, EdsInt32(point)), QStringLiteral("EdsSendCommand"));
}

void TEDSDK::RemoteSetViewfinderAutofocusMode(RemoteViewFinderAFModeType AFMode)
{
    EDSDKCheck(WriteUInt32(R(mCameraDevice), PropEvfAFMode, uint32_t(EdsEvfAFModeValue(AFMode))),
               QStringLiteral("EdsSetPropertyData, kEdsPropID_Evf_AFMode"));
}

RemoteViewFinderAFModeType TEDSDK::RemoteGetViewfinderAutofocusMode()
{
    uint32_t mode = 0;
    if (ReadUInt32(R(mCameraDevice), PropEvfAFMode, mode) != 0)
        return RemoteViewFinderAFModeNotUsed;
    return EvfAFModeFromEds(mode);
}

AFFocusInfoType TEDSDK::RemoteGetViewfinderAutofocusInfo()
{
    AFFocusInfoType result{};
    std::vector<unsigned char> raw(4120, 0);
    if (eds::EdsGetPropertyData(R(mCameraDevice), PropFocusInfo, 0, EdsUInt32(raw.size()), raw.data()) != 0)
        return result;
    auto at = [&raw](size_t offset) {
        uint32_t v = 0;
        std::memcpy(&v, raw.data() + offset, 4);
        return v;
    };
    result.PictureSize.Width = int(at(8));
    result.PictureSize.Height = int(at(12));
    result.NrOfFrames = int(at(16));
    // The record holds 128 frames; a larger count from the camera must not read past it.
    const int frames = std::clamp(result.NrOfFrames, 0, 128);
    for (int i = 0; i < frames; ++i) {
        auto& frame = result.Frames[i];
        const size_t base = 24 + 32 * size_t(i);
        frame.Present = true;
        frame.Selected = at(base) != 0;
        frame.InFocus = (at(base + 4) & 1) != 0;
        frame.Rect[0] = int(at(base + 8));
        frame.Rect[1] = int(at(base + 12));
        frame.Rect[2] = int(at(base + 16));
        frame.Rect[3] = int(at(base + 20));
    }
    return result;
}

void TEDSDK::RemoteSetViewfinderZoom(RemoteViewFinderZoomType Zoom)
{
    EDSDKCheck(WriteUInt32(R(mCameraDevice), PropEvfZoom, uint32_t(EdsEvfZoomValue(Zoom))),
               QStringLiteral("EdsSetPropertyData, kEdsPropID_Evf_Zoom"));
}

void TEDSDK::RemoteSetViewfinderZoomPosition(int X, int Y)
{
    const int32_t point[2] = {X, Y};
    EDSDKCheck(eds::EdsSetPropertyData(R(mCameraDevice), PropEvfZoomPosition, 0, sizeof point, point),
               QStringLiteral("EdsSetPropertyData, kEdsPropID_Evf_ZoomPosition"));
}

void TEDSDK::RemoteSetViewfinderDepthOfFieldPreview(bool Activate)
{
    EDSDKCheck(WriteUInt32(R(mCameraDevice), PropEvfDepthOfFieldPreview, Activate ? 1 : 0),
               QStringLiteral("EdsSetPropertyData, kEdsPropID_Evf_DepthOfFieldPreview"));
}

bool TEDSDK::RemoteGetViewfinderDepthOfFieldPreview()
{
    uint32_t value = 0;
    EDSDKCheck(ReadUInt32(R(mCameraDevice), PropEvfDepthOfFieldPreview, value),
               QStringLiteral("EdsGetPropertyData, kEdsPropID_Evf_DepthOfFieldPreview"));
    return value == 1;
}

void TEDSDK::RemoteActivateViewfinderAuto(bool EOSLockAF)
{
    EDSDKCheck(eds::EdsSendCommand(R(mCameraDevice), CmdDoEvfAf, EOSLockAF ? 1 : 0), QStringLiteral("EdsSendCommand"));
}

void TEDSDK::RemoteStartMovieRecording()
{
    SetPropertyWithRetries(PropRecord, 4, QStringLiteral("EdsSetPropertyData, kEdsPropID_Record - start"));
}

void TEDSDK::RemoteEndMovieRecording()
{
    SetPropertyWithRetries(PropRecord, 0, QStringLiteral("EdsSetPropertyData, kEdsPropID_Record - end"));
}
