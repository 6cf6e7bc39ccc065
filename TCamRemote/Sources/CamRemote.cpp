// The camera component: state checks, the dispatch to the back-ends, the SDK start, the notification
// queue's owner side and the EOS live-view polling.
#include "TCamRemote/Sources/CamRemote.h"

#include "TCamRemote/Sources/CamParamFiles.h"
#include "TCamRemote/Sources/EDSDK.h"
#include "TCamRemote/Sources/SDKErrorText.h"
#include "platform/AtomicFile.h"
#include "platform/JexApplication.h"

#include <QTimer>

#include <cstring>
#include <stdexcept>

bool CamRemoteConnectBusy = false;
bool CamRemoteDestroyBusy = false;

// Linux counts as "Vista or later" (major version 6).
std::function<std::optional<int>()> TCamRemote::OSMajorVersion = [] { return std::optional<int>(6); };

namespace {

// Process-wide: the names shown to the user and whether the SDKs run.
CameraConnectedType g_cameraConnected;
bool g_sdksStarted = false;

const QString kNoCamera = QStringLiteral("No camera is connected");
const QString kNotRemote = QStringLiteral("Camera not in remote mode");
const QString kNotViewfinder = QStringLiteral("Camera not in viewfinder mode");
const QString kNotPowerShot = QStringLiteral("Not supported by PowerShot cameras");

// Clears a busy flag when the guarded operation ends, also on failure.
class BusyFlag {
public:
    explicit BusyFlag(bool& flag) : m_flag(flag)
    {
        while (m_flag)
            camClock().sleep(50);
        m_flag = true;
    }
    ~BusyFlag() { m_flag = false; }

private:
    bool& m_flag;
};

void* callback(auto* function)
{
    return reinterpret_cast<void*>(function);
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// Construction

TCamRemote::TCamRemote(QObject* AOwner) : TCamRemote(AOwner, nullptr, nullptr, nullptr)
{
}

TCamRemote::TCamRemote(QObject* AOwner, std::unique_ptr<TCDSDK> CDSDK, std::unique_ptr<TPRSDK> PRSDK,
                       std::unique_ptr<TEDSDK> EDSDK)
    : QObject(AOwner),
      mCDSDK(CDSDK ? std::move(CDSDK) : std::make_unique<TCDSDK>()),
      mPRSDK(PRSDK ? std::move(PRSDK) : std::make_unique<TPRSDK>()),
      mEDSDK(EDSDK ? std::move(EDSDK) : std::make_unique<TEDSDK>())
{
    TimerEOSViewfinder = new QTimer(); // no owner, as the component frees it itself
    TimerEOSViewfinder->setInterval(mEOSViewfinderRefresh);
    connect(TimerEOSViewfinder, &QTimer::timeout, this, [this] {
        // A failed picture goes to the log as any failed event would, without unwinding through
        // the event loop; the next tick tries again.
        try {
            TimerEOSViewfinderTimer();
        } catch (const ECamException& e) {
            JexApplication::reportException(e.message());
        } catch (const std::exception& e) {
            JexApplication::reportException(QString::fromLocal8Bit(e.what()));
        }
    });

    mInstanceNumber = RegisterCamRemote(this);
    mCDSDK->mInstanceNumber = mInstanceNumber;
    mPRSDK->mInstanceNumber = mInstanceNumber;
    mEDSDK->mInstanceNumber = static_cast<uint32_t>(mInstanceNumber);
}

TCamRemote::~TCamRemote()
{
    BusyFlag busy(CamRemoteDestroyBusy);
    if (UnregisterCamRemote(mInstanceNumber)) {
        // The last component: the process-wide camera lists go with the instance list.
        EOSCameraList().clear();
        PRCameraList().clear();
        CDCameraList().clear();
    }
    // No callback reaches this component any more; what waits is dropped.
    FreeNotifyQueue();
    {
        std::lock_guard lock(mNotifyLock);
        mShared.PRRemotePictureFile = nullptr;
        mShared.PRTakenPicList.clear();
    }
    mCDSDK.reset();
    mPRSDK.reset();
    delete TimerEOSViewfinder;
    TimerEOSViewfinder = nullptr;
    mEDSDK.reset();
}

// ---------------------------------------------------------------------------------------------------
// Events

#define CAM_EVENT_PROPERTY(Type, Name, Field)                                                      \
    Type TCamRemote::Name() const                                                                  \
    {                                                                                              \
        std::lock_guard lock(mNotifyLock);                                                         \
        return Field;                                                                              \
    }                                                                                              \
    void TCamRemote::set##Name(Type h)                                                             \
    {                                                                                              \
        std::lock_guard lock(mNotifyLock);                                                         \
        Field = std::move(h);                                                                      \
    }

CAM_EVENT_PROPERTY(TNotifyCameraEvent, OnEvent, mNotifyEvent)
CAM_EVENT_PROPERTY(TNotifyGetPictureEvent, OnGetPictureEvent, mNotifyGetPictureEvent)
CAM_EVENT_PROPERTY(TNotifyRemoteEvent, OnRemoteEvent, mNotifyRemoteEvent)
CAM_EVENT_PROPERTY(TNotifyRemoteTakePictureEvent, OnRemoteTakePictureEvent, mNotifyRemoteTakePictureEvent)
CAM_EVENT_PROPERTY(TNotifyRemoteGetPictureEvent, OnRemoteGetPictureEvent, mNotifyRemoteGetPictureEvent)
CAM_EVENT_PROPERTY(TNotifyRemoteGetMovieEvent, OnRemoteGetMovieEvent, mNotifyRemoteGetMovieEvent)
CAM_EVENT_PROPERTY(TNotifyRemoteProbeParamEvent, OnRemoteProbeParamEvent, mNotifyRemoteProbeParamEvent)
CAM_EVENT_PROPERTY(TNotifyRawDevelopEvent, OnRawDevelopEvent, mNotifyRawDevelopEvent)
CAM_EVENT_PROPERTY(TNotifyViewfinderEvent, OnViewfinderEvent, mNotifyViewfinderEvent)

#undef CAM_EVENT_PROPERTY

ReleaseDataKindType TCamRemote::ReleaseDataKind() const
{
    std::lock_guard lock(mNotifyLock);
    return mShared.ReleaseDataKind;
}

ReleaseModeType TCamRemote::ReleaseMode() const
{
    std::lock_guard lock(mNotifyLock);
    return mShared.ReleaseMode;
}

// ---------------------------------------------------------------------------------------------------
// Checks and the dispatch rule

void TCamRemote::CheckRemote() const
{
    if (!mRemoteModeEnabled)
        throw ECamException(kNotRemote);
}

void TCamRemote::CheckViewfinder() const
{
    if (!mRemoteViewfinderEnabled)
        throw ECamException(kNotViewfinder);
}

void TCamRemote::CheckCamera() const
{
    if (mCameraInfo.CameraModel == CamModNone)
        throw ECamException(kNoCamera);
}

void TCamRemote::CheckEOS() const
{
    if (mCameraInfo.CameraModel == CamModPowerShot)
        throw ECamException(kNotPowerShot);
}

TCamRemote::TBackEnd TCamRemote::BackEndOf() const
{
    switch (mCameraInfo.CameraModel) {
    case CamModPowerShot:
        return mCameraNumber < static_cast<int>(CDCameraList().size()) ? BackEndCD : BackEndPR;
    case CamModEOS:
        return BackEndED;
    default:
        return BackEndNone;
    }
}

// Runs the operation of the connected camera's back-end; a model other than the three returns the
// type's zero value.
#define CAM_DISPATCH(call)                                                                         \
    switch (BackEndOf()) {                                                                         \
    case BackEndCD:                                                                                \
        return mCDSDK->call;                                                                       \
    case BackEndPR:                                                                                \
        return mPRSDK->call;                                                                       \
    case BackEndED:                                                                                \
        return mEDSDK->call;                                                                       \
    case BackEndNone:                                                                              \
        break;                                                                                     \
    }

// ---------------------------------------------------------------------------------------------------
// SDKs and cameras

void TCamRemote::StartTheSDKs()
{
    const std::optional<int> major = OSMajorVersion ? OSMajorVersion() : std::nullopt;
    if (!major)
        throw std::runtime_error("Could not detect windows version, which is required for EOS-support (StartTheSDKs)");
    mWinVista = *major > 5;
    if (g_sdksStarted)
        return;
    mCDSDK->InitCommunications();
    if (!mWinVista)
        mPRSDK->InitCommunications();
    mEDSDK->InitCommunications();
    g_sdksStarted = true;
}

CameraConnectedType TCamRemote::OpenCameraEnumeration()
{
    {
        std::lock_guard lock(mNotifyLock);
        mShared.NewViewfinderPic = false;
    }
    StartTheSDKs();
    g_cameraConnected.PowerShotCameras.clear();
    g_cameraConnected.EOSCameras.clear();
    mCDSDK->EnumerateCameras(g_cameraConnected.PowerShotCameras);
    if (!mWinVista)
        mPRSDK->EnumerateCameras(g_cameraConnected.PowerShotCameras);
    mEDSDK->EnumerateCameras(g_cameraConnected.EOSCameras);

    if (!mNotifyTimer) {
        {
            std::lock_guard lock(mNotifyLock);
            mNotifyQueue = std::make_unique<std::deque<TNotifyEntry>>();
        }
        mNotifyTimer = new QTimer(this);
        mNotifyTimer->setInterval(25);
        connect(mNotifyTimer, &QTimer::timeout, this, [this] { NotifyTimerTimer(); });
        mNotifyTimer->start();
    }
    return g_cameraConnected;
}

ConnectInfoType TCamRemote::Connect(CamModType CameraType, int CameraNumber)
{
    BusyFlag busy(CamRemoteConnectBusy);
    mCameraNumber = CameraNumber;
    if (mCameraInfo.CameraModel != CamModNone)
        throw ECamException(QStringLiteral("Camera already connected."));
    if (CameraType == CamModPowerShot) {
        if (CameraNumber < static_cast<int>(CDCameraList().size()))
            mCameraInfo = mCDSDK->Connect(callback(&CDEventCallback), CameraNumber, mInstanceNumber);
        else if (!mWinVista)
            mCameraInfo = mPRSDK->Connect(callback(&PREventCallback), CameraNumber, mInstanceNumber);
    } else if (CameraType == CamModEOS) {
        mCameraInfo = mEDSDK->Connect(callback(&EOSStateEventCallback), CameraNumber, mInstanceNumber);
    }
    return mCameraInfo;
}

void TCamRemote::Disconnect()
{
    switch (BackEndOf()) {
    case BackEndCD:
        mCDSDK->Disconnect();
        break;
    case BackEndPR:
        if (!mWinVista)
            mPRSDK->Disconnect();
        break;
    case BackEndED:
        mEDSDK->Disconnect();
        break;
    case BackEndNone:
        break;
    }
    mCameraInfo.CameraModel = CamModNone;
}

void TCamRemote::CloseCameraEnumeration()
{
    if (g_sdksStarted) {
        g_cameraConnected.PowerShotCameras.clear();
        g_cameraConnected.EOSCameras.clear();
        mCDSDK->FinilizeCommunications();
        if (!mWinVista)
            mPRSDK->FinilizeCommunications();
        mEDSDK->FinilizeCommunications();
        g_sdksStarted = false;
    }
    FreeNotifyQueue();
}

void TCamRemote::FreeNotifyQueue()
{
    delete mNotifyTimer;
    mNotifyTimer = nullptr;
    std::unique_ptr<std::deque<TNotifyEntry>> dropped;
    {
        std::lock_guard lock(mNotifyLock);
        dropped = std::move(mNotifyQueue);
        mShared.NewViewfinderPic = false;
    }
    // The payloads are freed outside the lock.
}

void TCamRemote::SetTimeInCamera(const QDateTime& TimeToSet)
{
    CheckCamera();
    CAM_DISPATCH(SetTimeInCamera(TimeToSet))
}

void TCamRemote::SetOwnerName(const QString& OwnerName)
{
    CheckCamera();
    CAM_DISPATCH(SetOwnerName(OwnerName))
}

QString TCamRemote::GetBodyID()
{
    CheckCamera();
    if (BackEndOf() == BackEndED)
        return mEDSDK->GetBodyID();
    return QString();
}

void TCamRemote::FormatCameraCard()
{
    CheckCamera();
    CAM_DISPATCH(FormatCameraCard())
}

bool TCamRemote::RemoteSupported()
{
    CheckCamera();
    CAM_DISPATCH(RemoteSupported())
    return false;
}

// ---------------------------------------------------------------------------------------------------
// Remote release

RemoteFuncType TCamRemote::RemoteStart(ReleaseModeType ReleaseMode, ReleaseDataKindType ReleaseDataKind,
                                       bool ProbeRemoteParameters, const QString& CacheRemoteParamDir)
{
    {
        std::lock_guard lock(mNotifyLock);
        mShared.ReleaseMode = ReleaseMode;
        mShared.ReleaseDataKind = ReleaseDataKind;
    }
    CheckCamera();
    RemoteFuncType result;
    const TBackEnd backEnd = BackEndOf();
    switch (backEnd) {
    case BackEndCD:
        result = mCDSDK->RemoteStart(ReleaseMode, ReleaseDataKind, ProbeRemoteParameters, CacheRemoteParamDir,
                                     callback(&SDKRemoteEventCallback), mInstanceNumber);
        break;
    case BackEndPR:
        result = mPRSDK->RemoteStart(ReleaseMode, ReleaseDataKind, ProbeRemoteParameters, CacheRemoteParamDir,
                                     callback(&SDKRemoteEventCallback), mInstanceNumber);
        break;
    case BackEndED:
        result = mEDSDK->RemoteStart(ReleaseMode, ReleaseDataKind, ProbeRemoteParameters, CacheRemoteParamDir,
                                     callback(&SDKRemoteEventCallback), mInstanceNumber);
        break;
    case BackEndNone:
        return result;
    }
    mRemoteModeEnabled = true;
    if (backEnd == BackEndED)
        mRemoteMovieRecordingEnabled = false;
    return result;
}

void TCamRemote::RemoteEnd()
{
    if (BackEndOf() == BackEndNone)
        return;
    mRemoteModeEnabled = false;
    CAM_DISPATCH(RemoteEnd())
}

int TCamRemote::RemoteGetNumberOfAvailableShots()
{
    CheckRemote();
    CheckCamera();
    CAM_DISPATCH(RemoteGetNumberOfAvailableShots())
    return 0;
}

void TCamRemote::RemoteTakePicture()
{
    CheckRemote();
    CheckCamera();
    switch (BackEndOf()) {
    case BackEndCD:
        mCDSDK->RemoteTakePicture(callback(&TakePictureProgress), mInstanceNumber);
        break;
    case BackEndPR:
        mPRSDK->RemoteTakePicture(callback(&TakePictureProgress), mInstanceNumber);
        break;
    case BackEndED:
        mEDSDK->RemoteTakePicture(mInstanceNumber);
        break;
    case BackEndNone:
        break;
    }
}

void TCamRemote::RemotePressShutter(RemoteShutterButtonType ShutterButton)
{
    CheckCamera();
    CheckEOS();
    if (BackEndOf() == BackEndED)
        mEDSDK->RemotePressShutter(ShutterButton);
}

void TCamRemote::RemoteGetMovie(const QString& FileName, bool DeleteFromCameraAfterTransfer)
{
    CheckRemote();
    CheckCamera();
    CheckEOS();
    if (BackEndOf() == BackEndED)
        mEDSDK->RemoteGetMovie(FileName, DeleteFromCameraAfterTransfer, mInstanceNumber);
}

void TCamRemote::RemoteGetCFPicture(const QString& FileName, bool DeleteFromCameraAfterTransfer)
{
    CheckRemote();
    CheckCamera();
    CheckEOS();
    if (BackEndOf() == BackEndED)
        mEDSDK->RemoteGetCFPicture(FileName, DeleteFromCameraAfterTransfer, mInstanceNumber);
}

void TCamRemote::RemoteGetPicture(const QString& FileName, PictureTypeType PictureType)
{
    CheckRemote();
    CheckCamera();
    switch (BackEndOf()) {
    case BackEndCD:
        mCDSDK->RemoteGetPicture(FileName, callback(&CDRemoteGetPictureProgress), mInstanceNumber);
        break;
    case BackEndPR: {
        PRReleaseRecord record;
        {
            std::lock_guard lock(mNotifyLock);
            // Nothing was released: no picture to fetch, and no file touched.
            if (mShared.PRTakenPicList.empty())
                throw ECamException(QStringLiteral("There are no pictures to download"));
            record = mShared.PRTakenPicList.front();
        }
        // The receiver callback writes the blocks into a temporary file beside the target; the
        // target is replaced only when the last block arrived and every block was written, so a
        // full disk or a transfer cut short leaves an older file of that name as it was.
        const auto receive = [&](QFileDevice& device, QString& reason) {
            {
                std::lock_guard lock(mNotifyLock);
                mShared.PRRemotePictureFile = &device;
                mShared.PRFileReceiving = false;
                mShared.PRFileComplete = false;
                mShared.PRFileWriteFailed = false;
            }
            // Blocks that come after the call are no longer written: the file may be gone by then.
            const auto detach = [this] {
                mShared.PRRemotePictureFile = nullptr;
                mShared.PRFileReceiving = false;
            };
            try {
                mPRSDK->RemoteGetPicture(record, callback(&PRGetPictureCallback), mInstanceNumber);
            } catch (...) {
                std::lock_guard lock(mNotifyLock);
                detach();
                throw;
            }
            std::lock_guard lock(mNotifyLock);
            detach();
            // The camera has handed the picture over and keeps it no longer, whatever the file got.
            if (!mShared.PRTakenPicList.empty())
                mShared.PRTakenPicList.pop_front();
            if (mShared.PRFileWriteFailed)
                return false; // the device tells why
            if (!mShared.PRFileComplete) {
                reason = QStringLiteral("The camera ended the transfer before the last block.");
                return false;
            }
            return true;
        };
        QString error;
        if (writeFileAtomically(FileName, receive, &error) != 0)
            throw ECamException(QStringLiteral("Cannot create file \"%1\". %2").arg(FileName, error));
        break;
    }
    case BackEndED:
        mEDSDK->RemoteGetPicture(FileName, PictureType, mInstanceNumber);
        break;
    case BackEndNone:
        break;
    }
}

RemoteReleaseParametersType TCamRemote::RemoteGetRemoteParams()
{
    CheckRemote();
    CheckCamera();
    CAM_DISPATCH(RemoteGetRemoteParams())
    return {};
}

void TCamRemote::RemoteSetRemoteParams(const RemoteReleaseParametersType& RemoteParam)
{
    CheckRemote();
    CheckCamera();
    const RemoteReleaseParametersType copy = RemoteParam;
    CAM_DISPATCH(RemoteSetRemoteParams(copy))
}

void TCamRemote::RemoteLoadCameraRemoteParams(const QString& FileName)
{
    CheckRemote();
    RemoteSetRemoteParams(LoadCameraRemoteParams(FileName));
}

void TCamRemote::RemoteSaveCameraRemoteParams(const QString& FileName)
{
    CheckRemote();
    SaveCameraRemoteParams(FileName, RemoteGetRemoteParams());
}

RemoteZoomCapabilityType TCamRemote::RemoteGetZoomPos()
{
    CheckRemote();
    CheckCamera();
    switch (BackEndOf()) {
    case BackEndCD:
        return mCDSDK->RemoteGetZoomPos();
    case BackEndPR:
        return mPRSDK->RemoteGetZoomPos();
    default:
        return {};
    }
}

void TCamRemote::RemoteSetZoomPos(int ZoomPos)
{
    CheckRemote();
    CheckCamera();
    switch (BackEndOf()) {
    case BackEndCD:
        mCDSDK->RemoteSetZoomPos(ZoomPos);
        break;
    case BackEndPR:
        mPRSDK->RemoteSetZoomPos(ZoomPos);
        break;
    default:
        break;
    }
}

void TCamRemote::RemoteAFLock(bool AFLock)
{
    CheckRemote();
    CheckCamera();
    CAM_DISPATCH(RemoteAFLock(AFLock))
}

void TCamRemote::RemoteStartMovieRecording()
{
    CheckRemote();
    if (mRemoteMovieRecordingEnabled)
        throw ECamException(QStringLiteral("Camera already in recording mode"));
    CheckCamera();
    if (BackEndOf() == BackEndED) {
        mEDSDK->RemoteStartMovieRecording();
        mRemoteMovieRecordingEnabled = true;
    }
}

void TCamRemote::RemoteEndMovieRecording()
{
    if (!mRemoteMovieRecordingEnabled)
        throw ECamException(QStringLiteral("Camera not in movie recording mode"));
    CheckCamera();
    if (BackEndOf() == BackEndED) {
        mEDSDK->RemoteEndMovieRecording();
        mRemoteMovieRecordingEnabled = false;
    }
}

// ---------------------------------------------------------------------------------------------------
// Live view

void TCamRemote::RemoteStartViewfinder(bool ViewfinderUseCanonThread)
{
    {
        std::lock_guard lock(mNotifyLock);
        mShared.ViewfinderUseCanonThread = ViewfinderUseCanonThread;
    }
    CheckRemote();
    CheckCamera();
    auto enable = [this] {
        mRemoteViewfinderEnabled = true;
        std::lock_guard lock(mNotifyLock);
        mShared.RemoteViewfinderEnabled = true;
    };
    switch (BackEndOf()) {
    case BackEndCD:
        mCDSDK->RemoteStartViewfinder(callback(&CDViewfinderCallback), mInstanceNumber);
        enable();
        break;
    case BackEndPR:
        mPRSDK->RemoteStartViewfinder(callback(&PRViewfinderCallback), mInstanceNumber);
        enable();
        break;
    case BackEndED:
        mEDSDK->RemoteStartViewfinder();
        enable();
        mEOSViewfinderAction = false;
        if (mEOSViewfinderRefresh > 0) {
            TimerEOSViewfinder->setInterval(mEOSViewfinderRefresh);
            TimerEOSViewfinder->start();
        }
        break;
    case BackEndNone:
        break;
    }
}

void TCamRemote::RemoteStopViewfinder()
{
    if (!mRemoteViewfinderEnabled)
        return;
    auto disable = [this] {
        mRemoteViewfinderEnabled = false;
        std::lock_guard lock(mNotifyLock);
        mShared.RemoteViewfinderEnabled = false;
    };
    switch (BackEndOf()) {
    case BackEndCD:
        disable();
        mCDSDK->RemoteStopViewfinder();
        break;
    case BackEndPR:
        disable();
        mPRSDK->RemoteStopViewfinder();
        break;
    case BackEndED:
        TimerEOSViewfinder->stop();
        mEDSDK->RemoteStopViewfinder();
        disable();
        break;
    case BackEndNone:
        break;
    }
}

void TCamRemote::RemoteSetViewfinderOutput(RemoteViewFinderOutputType ViewfinderOutput)
{
    CheckViewfinder();
    CheckCamera();
    CAM_DISPATCH(RemoteSetViewfinderOutput(ViewfinderOutput))
}

// The live-view operations that only an EOS camera offers.
#define CAM_EOS_VIEWFINDER(call)                                                                   \
    CheckViewfinder();                                                                             \
    CheckCamera();                                                                                 \
    CheckEOS();                                                                                    \
    if (BackEndOf() == BackEndED)                                                                  \
        return mEDSDK->call;

void TCamRemote::RemoteSetViewfinderDriveLens(RemoteViewFinderDriveLensType DriveLens)
{
    CAM_EOS_VIEWFINDER(RemoteSetViewfinderDriveLens(DriveLens))
}

void TCamRemote::RemoteSetViewfinderWhitebalance(int XCoord, int YCoord)
{
    CAM_EOS_VIEWFINDER(RemoteSetViewfinderWhitebalance(XCoord, YCoord))
}

void TCamRemote::RemoteSetViewfinderAutofocusMode(RemoteViewFinderAFModeType AFMode)
{
    CAM_EOS_VIEWFINDER(RemoteSetViewfinderAutofocusMode(AFMode))
}

RemoteViewFinderAFModeType TCamRemote::RemoteGetViewfinderAutofocusMode()
{
    CAM_EOS_VIEWFINDER(RemoteGetViewfinderAutofocusMode())
    return RemoteViewFinderAFModeNotUsed;
}

AFFocusInfoType TCamRemote::RemoteGetViewfinderAutofocusInfo()
{
    CAM_EOS_VIEWFINDER(RemoteGetViewfinderAutofocusInfo())
    return {};
}

void TCamRemote::RemoteSetViewfinderZoom(RemoteViewFinderZoomType Zoom)
{
    CAM_EOS_VIEWFINDER(RemoteSetViewfinderZoom(Zoom))
}

void TCamRemote::RemoteSetViewfinderZoomPosition(int X, int Y)
{
    CAM_EOS_VIEWFINDER(RemoteSetViewfinderZoomPosition(X, Y))
}

void TCamRemote::RemoteSetViewfinderDepthOfFieldPreview(bool Activate)
{
    CAM_EOS_VIEWFINDER(RemoteSetViewfinderDepthOfFieldPreview(Activate))
}

bool TCamRemote::RemoteGetViewfinderDepthOfFieldPreview()
{
    CAM_EOS_VIEWFINDER(RemoteGetViewfinderDepthOfFieldPreview())
    return false;
}

#undef CAM_EOS_VIEWFINDER

void TCamRemote::RemoteActivateViewfinderAuto(bool EOSLockAF)
{
    CheckViewfinder();
    CheckCamera();
    switch (BackEndOf()) {
    case BackEndCD:
        mCDSDK->RemoteActivateViewfinderAuto();
        break;
    case BackEndPR:
        mPRSDK->RemoteActivateViewfinderAuto();
        break;
    case BackEndED:
        mEDSDK->RemoteActivateViewfinderAuto(EOSLockAF);
        break;
    case BackEndNone:
        break;
    }
}

bool TCamRemote::RemoteGetViewfinderImage()
{
    if (BackEndOf() != BackEndED)
        return true;
    if (!mEOSViewfinderAction) {
        mEOSViewfinderAction = true;
        TimerEOSViewfinder->setInterval(50);
        TimerEOSViewfinder->start();
    }
    return false;
}

void TCamRemote::TimerEOSViewfinderTimer()
{
    if (mEOSViewfinderRefresh == 0)
        TimerEOSViewfinder->stop(); // a single picture was asked for
    if (!OnViewfinderEvent() || mCameraInfo.CameraModel != CamModEOS) {
        // Nothing to fetch; a single request is answered all the same, or it would block every later one.
        mEOSViewfinderAction = false;
        return;
    }
    QByteArray jpeg;
    if (!FetchEOSViewfinderPicture(jpeg))
        return;
    // The handler may let the event loop run, and a disconnect or a new scan meanwhile ends the SDK
    // session: nothing of the SDK's is held past this point.
    if (const TNotifyViewfinderEvent handler = OnViewfinderEvent())
        handler(jpeg, mViewfinderMetadata);
}

bool TCamRemote::FetchEOSViewfinderPicture(QByteArray& Jpeg)
{
    EdsStreamRef stream = nullptr;
    EdsEvfImageRef evfImage = nullptr;
    // Whatever happens, the picture reference and the stream are given back.
    struct Release {
        TCamRemote* self;
        EdsStreamRef& stream;
        EdsEvfImageRef& evfImage;
        ~Release() noexcept(false)
        {
            self->mEOSViewfinderAction = false;
            const bool unwinding = std::uncaught_exceptions() > 0;
            const EdsError imageResult = evfImage ? eds::EdsRelease(evfImage) : EDS_ERR_OK;
            const EdsError streamResult = stream ? eds::EdsRelease(stream) : EDS_ERR_OK;
            if (unwinding)
                return; // the first failure is the one reported
            EDSDKCheck(imageResult, QStringLiteral("EdsRelease(evfImage)"));
            EDSDKCheck(streamResult, QStringLiteral("EdsRelease(stream)"));
        }
    } release{this, stream, evfImage};

    EDSDKCheck(eds::EdsCreateMemoryStream(0, &stream), QStringLiteral("EdsCreateMemoryStream"));
    EDSDKCheck(eds::EdsCreateEvfImageRef(stream, &evfImage), QStringLiteral("EdsCreateEvfImageRef"));
    const EdsError result = eds::EdsDownloadEvfImage(static_cast<EdsCameraRef>(mEDSDK->mCameraDevice), evfImage);
    if (result == EDS_ERR_INVALID_HANDLE || result == EDS_ERR_DEVICE_BUSY || result == EDS_ERR_OBJECT_NOTREADY)
        return false; // no picture ready yet
    // A camera that went away is reported by its state event and disconnected on it; until then
    // every tick would fail the same way.
    if (result == EDS_ERR_COMM_DISCONNECTED)
        return false;
    if (result != EDS_ERR_OK)
        throw ECamException(QStringLiteral("EdsDownloadEvfImage errorcode 0x%1, %2")
                                .arg(QString::number(result, 16).rightJustified(8, QLatin1Char('0')).toUpper(),
                                     EDSErrorText(result)));

    mViewfinderMetadata.Valid = true;
    auto read = [&](EdsPropertyID id, void* target, EdsUInt32 size) {
        return eds::EdsGetPropertyData(evfImage, id, 0, size, target) == EDS_ERR_OK;
    };
    qint32 pair[2] = {0, 0};
    qint32 rect[4] = {0, 0, 0, 0};
    mViewfinderMetadata.ZoomPosition = read(kEdsPropID_Evf_ZoomPosition, pair, sizeof pair)
        ? QPoint(pair[0], pair[1]) : QPoint();
    if (read(kEdsPropID_Evf_ZoomRect, rect, sizeof rect))
        mViewfinderMetadata.ZoomRect = {QPoint(rect[0], rect[1]), {rect[2], rect[3]}};
    else
        mViewfinderMetadata.ZoomRect = {};
    pair[0] = pair[1] = 0;
    mViewfinderMetadata.ImagePosition = read(kEdsPropID_Evf_ImagePosition, pair, sizeof pair)
        ? QPoint(pair[0], pair[1]) : QPoint();
    pair[0] = pair[1] = 0;
    mViewfinderMetadata.CoordSystem = read(kEdsPropID_Evf_CoordinateSystem, pair, sizeof pair)
        ? TPicRect{pair[0], pair[1]} : TPicRect{};
    HistogramType histogram{};
    if (read(kEdsPropID_Evf_Histogram, histogram.data(), sizeof histogram))
        mViewfinderMetadata.Histogram = histogram; // a failed read keeps the previous one

    EdsVoid* data = nullptr;
    EdsUInt64 length = 0;
    EDSDKCheck(eds::EdsGetPointer(stream, &data), QStringLiteral("EdsGetPointer"));
    EDSDKCheck(eds::EdsGetLength(stream, &length), QStringLiteral("EdsGetLength"));
    Jpeg = QByteArray(static_cast<const char*>(data), static_cast<qsizetype>(length));
    return true;
}

// ---------------------------------------------------------------------------------------------------
// Pictures on the card and RAW development

ImageListType TCamRemote::OpenCameraCollection(const QString& TempDir, bool GetThumbnails)
{
    CheckCamera();
    CAM_DISPATCH(OpenCameraCollection(TempDir, GetThumbnails))
    return {};
}

void TCamRemote::CloseCameraCollection(ImageListType& ImageListToClear)
{
    CheckCamera();
    CAM_DISPATCH(CloseCameraCollection(ImageListToClear))
}

void TCamRemote::GetPicture(int NrInList, bool GetJPEGInRaw, const QString& FileName)
{
    Q_UNUSED(GetJPEGInRaw);
    CheckCamera();
    switch (BackEndOf()) {
    case BackEndCD:
        mCDSDK->GetPicture(NrInList, FileName, callback(&CDGetPictureProgress), mInstanceNumber);
        break;
    case BackEndPR:
        mPRSDK->GetPicture(NrInList, FileName, nullptr, mInstanceNumber);
        break;
    case BackEndED:
        mEDSDK->GetPicture(NrInList, FileName, mInstanceNumber);
        break;
    case BackEndNone:
        break;
    }
}

void TCamRemote::DeletePicture(ImageListType& ImageList, int NrInList)
{
    CheckCamera();
    CAM_DISPATCH(DeletePicture(ImageList, NrInList))
}

RAWObjectDevAvailType TCamRemote::OpenRAWObject(const QString& FileName)
{
    StartTheSDKs();
    return mEDSDK->OpenRAWObject(FileName);
}

void TCamRemote::SetRAWDevelopmentParameters(const RAWObjectDevType& RAWDevPara)
{
    mEDSDK->SetRAWDevelopmentParameters(RAWDevPara);
}

RAWObjectDevType TCamRemote::GetRAWDevelopmentParameters()
{
    return mEDSDK->GetRAWDevelopmentParameters();
}

void TCamRemote::DevelopRAWPicture(const QString& OutFileName, FileFormatType FileFormat,
                                   BitsPerPixelType BitsPerPixel, const QString& ICCProfileFileName,
                                   int JPEGQuality)
{
    mEDSDK->DevelopRAWPicture(OutFileName, FileFormat, BitsPerPixel, ICCProfileFileName, JPEGQuality);
}

void TCamRemote::CloseRAWObject()
{
    mEDSDK->CloseRAWObject();
    if (mCameraInfo.CameraModel == CamModNone)
        CloseCameraEnumeration();
}

void TCamRemote::DoExtendShutdownTimer()
{
    CheckCamera();
    CAM_DISPATCH(ExtendShutdownTimer())
}

#undef CAM_DISPATCH

// ---------------------------------------------------------------------------------------------------
// The notification queue, owner side

bool TCamRemote::EventAssigned(int kind) const
{
    switch (kind) {
    case NotifyEvent:
        return bool(mNotifyEvent);
    case NotifyViewfinder:
        return bool(mNotifyViewfinderEvent);
    case NotifyRemote:
        return bool(mNotifyRemoteEvent);
    case NotifyRemoteTakePicture:
        return bool(mNotifyRemoteTakePictureEvent);
    case NotifyRemoteGetPicture:
        return bool(mNotifyRemoteGetPictureEvent);
    case NotifyRemoteGetMovie:
        return bool(mNotifyRemoteGetMovieEvent);
    case NotifyGetPicture:
        return bool(mNotifyGetPictureEvent);
    case NotifyRemoteProbeParam:
        return bool(mNotifyRemoteProbeParamEvent);
    case NotifyRawDevelop:
        return bool(mNotifyRawDevelopEvent);
    case NotifyAction:
        return true;
    default:
        return false;
    }
}

bool TCamRemote::EnqueueNotification(TNotifyEntry entry)
{
    std::lock_guard lock(mNotifyLock);
    const int required = entry.Info == NotifyAction ? entry.RequiredEvent : entry.Info;
    if (!mNotifyQueue || (required >= 0 && !EventAssigned(required)))
        return false;
    if (entry.Info == NotifyViewfinder) {
        if (mShared.NewViewfinderPic)
            return false; // one picture waits already: a slow handler lowers the frame rate
        mShared.NewViewfinderPic = true;
    }
    mNotifyQueue->push_back(std::move(entry));
    return true;
}

bool TCamRemote::IsEventAssigned(int kind) const
{
    std::lock_guard lock(mNotifyLock);
    return EventAssigned(kind);
}

void TCamRemote::WithNotifyLock(const std::function<void()>& work)
{
    std::lock_guard lock(mNotifyLock);
    work();
}

int TCamRemote::NotifyQueueCount() const
{
    std::lock_guard lock(mNotifyLock);
    return mNotifyQueue ? static_cast<int>(mNotifyQueue->size()) : 0;
}

void TCamRemote::NotifyTimerTimer()
{
    TNotifyEntry entry;
    {
        std::lock_guard lock(mNotifyLock);
        if (!mNotifyQueue || mNotifyQueue->empty())
            return;
        entry = std::move(mNotifyQueue->front());
        mNotifyQueue->pop_front();
        if (entry.Info == NotifyViewfinder) {
            mShared.NewViewfinderPic = false;
            if (mShared.ViewfinderMetadataInvalidated) {
                mViewfinderMetadata.Valid = false;
                mShared.ViewfinderMetadataInvalidated = false;
            }
        }
    }
    if (entry.Action)
        entry.Action(*this);
    // Each event is read at the moment of the call: one unassigned since the entry was queued is
    // not called.
    switch (entry.Info) {
    case NotifyEvent:
        if (auto h = OnEvent())
            h(entry.Event);
        break;
    case NotifyViewfinder:
        if (auto h = OnViewfinderEvent())
            h(entry.Jpeg, mViewfinderMetadata);
        break;
    case NotifyRemote:
        if (auto h = OnRemoteEvent())
            h(entry.Remote, entry.RemoteData);
        break;
    case NotifyRemoteTakePicture:
        if (auto h = OnRemoteTakePictureEvent())
            h(entry.Percent);
        break;
    case NotifyRemoteGetPicture:
        if (auto h = OnRemoteGetPictureEvent())
            h(entry.Percent);
        break;
    case NotifyRemoteGetMovie:
        if (auto h = OnRemoteGetMovieEvent())
            h(entry.Percent);
        break;
    case NotifyGetPicture:
        if (auto h = OnGetPictureEvent())
            h(entry.Percent);
        break;
    case NotifyRemoteProbeParam:
        if (auto h = OnRemoteProbeParamEvent())
            h(entry.Percent);
        break;
    case NotifyRawDevelop:
        if (auto h = OnRawDevelopEvent())
            h(entry.Percent);
        break;
    default:
        break;
    }
}
