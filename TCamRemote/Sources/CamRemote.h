// The camera component: one interface to Canon cameras of three generations. It checks its own state,
// then hands each operation to the back-end of the connected camera (older PowerShot, newer PowerShot
// or EOS); the SDKs' callbacks reach its events on the GUI thread through its notification queue
// (CamNotify), and it polls an EOS camera's live view with a timer. No widgets: tests drive it plainly.
#pragma once

#include "TCamRemote/Sources/CamDefines.h"
#include "TCamRemote/Sources/CamNotify.h"
#include "TCamRemote/Sources/TCDSDK.h"
#include "TCamRemote/Sources/TEDSDK.h"
#include "TCamRemote/Sources/TPRSDK.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QFileDevice;
class QTimer;

class TCamRemote : public QObject {
public:
    explicit TCamRemote(QObject* AOwner = nullptr);
    // Tests stand fakes in for the back-ends; a null one gets the real back-end.
    TCamRemote(QObject* AOwner, std::unique_ptr<TCDSDK> CDSDK, std::unique_ptr<TPRSDK> PRSDK,
               std::unique_ptr<TEDSDK> EDSDK);
    ~TCamRemote() override;

    // The operating system's major version (6 is Windows Vista), or none when it cannot be told. This
    // system counts as Vista or later, so the newer-PowerShot SDK is never started; tests answer
    // otherwise to cover the older road.
    static std::function<std::optional<int>()> OSMajorVersion;

    // ---- properties ----
    float Version() const { return mCamRemoteVersion; }
    void setVersion(float v) { mCamRemoteVersion = v; }
    int EOSViewfinderRefreshInterval() const { return mEOSViewfinderRefresh; }
    void setEOSViewfinderRefreshInterval(int ms) { mEOSViewfinderRefresh = ms; }
    ReleaseDataKindType ReleaseDataKind() const;
    ReleaseModeType ReleaseMode() const;

    // The events. Setting one is safe while SDK threads run: a callback looks at them under the
    // queue's lock.
    TNotifyCameraEvent OnEvent() const;
    void setOnEvent(TNotifyCameraEvent h);
    TNotifyGetPictureEvent OnGetPictureEvent() const;
    void setOnGetPictureEvent(TNotifyGetPictureEvent h);
    TNotifyRemoteEvent OnRemoteEvent() const;
    void setOnRemoteEvent(TNotifyRemoteEvent h);
    TNotifyRemoteTakePictureEvent OnRemoteTakePictureEvent() const;
    void setOnRemoteTakePictureEvent(TNotifyRemoteTakePictureEvent h);
    TNotifyRemoteGetPictureEvent OnRemoteGetPictureEvent() const;
    void setOnRemoteGetPictureEvent(TNotifyRemoteGetPictureEvent h);
    TNotifyRemoteGetMovieEvent OnRemoteGetMovieEvent() const;
    void setOnRemoteGetMovieEvent(TNotifyRemoteGetMovieEvent h);
    TNotifyRemoteProbeParamEvent OnRemoteProbeParamEvent() const;
    void setOnRemoteProbeParamEvent(TNotifyRemoteProbeParamEvent h);
    TNotifyRawDevelopEvent OnRawDevelopEvent() const;
    void setOnRawDevelopEvent(TNotifyRawDevelopEvent h);
    TNotifyViewfinderEvent OnViewfinderEvent() const;
    void setOnViewfinderEvent(TNotifyViewfinderEvent h);

    // ---- operations ----
    // The names of the cameras found; the lists are process-wide and refilled by the next scan.
    CameraConnectedType OpenCameraEnumeration();
    ConnectInfoType Connect(CamModType CameraType, int CameraNumber);
    void Disconnect();
    void CloseCameraEnumeration();
    void SetTimeInCamera(const QDateTime& TimeToSet);
    void SetOwnerName(const QString& OwnerName);
    QString GetBodyID();
    void FormatCameraCard();
    bool RemoteSupported();
    RemoteFuncType RemoteStart(ReleaseModeType ReleaseMode, ReleaseDataKindType ReleaseDataKind,
                               bool ProbeRemoteParameters, const QString& CacheRemoteParamDir);
    void RemoteEnd();
    int RemoteGetNumberOfAvailableShots();
    void RemoteStartViewfinder(bool ViewfinderUseCanonThread);
    void RemoteStopViewfinder();
    void RemoteSetViewfinderOutput(RemoteViewFinderOutputType ViewfinderOutput);
    void RemoteSetViewfinderDriveLens(RemoteViewFinderDriveLensType DriveLens);
    void RemoteSetViewfinderWhitebalance(int XCoord, int YCoord);
    void RemoteSetViewfinderAutofocusMode(RemoteViewFinderAFModeType AFMode);
    RemoteViewFinderAFModeType RemoteGetViewfinderAutofocusMode();
    AFFocusInfoType RemoteGetViewfinderAutofocusInfo();
    void RemoteSetViewfinderZoom(RemoteViewFinderZoomType Zoom);
    void RemoteSetViewfinderZoomPosition(int X, int Y);
    void RemoteSetViewfinderDepthOfFieldPreview(bool Activate);
    bool RemoteGetViewfinderDepthOfFieldPreview();
    void RemoteActivateViewfinderAuto(bool EOSLockAF);
    // EOS: asks for one live-view picture about 50 ms later and returns false; other cameras: true.
    bool RemoteGetViewfinderImage();
    void RemoteTakePicture();
    void RemotePressShutter(RemoteShutterButtonType ShutterButton);
    void RemoteGetMovie(const QString& FileName, bool DeleteFromCameraAfterTransfer);
    void RemoteGetCFPicture(const QString& FileName, bool DeleteFromCameraAfterTransfer);
    void RemoteGetPicture(const QString& FileName, PictureTypeType PictureType);
    RemoteReleaseParametersType RemoteGetRemoteParams();
    void RemoteSetRemoteParams(const RemoteReleaseParametersType& RemoteParam);
    void RemoteLoadCameraRemoteParams(const QString& FileName);
    void RemoteSaveCameraRemoteParams(const QString& FileName);
    RemoteZoomCapabilityType RemoteGetZoomPos();
    void RemoteSetZoomPos(int ZoomPos);
    void RemoteAFLock(bool AFLock);
    void RemoteStartMovieRecording();
    void RemoteEndMovieRecording();
    ImageListType OpenCameraCollection(const QString& TempDir, bool GetThumbnails);
    void CloseCameraCollection(ImageListType& ImageListToClear);
    void GetPicture(int NrInList, bool GetJPEGInRaw, const QString& FileName);
    void DeletePicture(ImageListType& ImageList, int NrInList);
    RAWObjectDevAvailType OpenRAWObject(const QString& FileName);
    void SetRAWDevelopmentParameters(const RAWObjectDevType& RAWDevPara);
    RAWObjectDevType GetRAWDevelopmentParameters();
    void DevelopRAWPicture(const QString& OutFileName, FileFormatType FileFormat, BitsPerPixelType BitsPerPixel,
                           const QString& ICCProfileFileName, int JPEGQuality);
    void CloseRAWObject();

    // The live-view polling timer and its tick; the tick raises what fails, after releasing the SDK's
    // stream and picture reference. The timer hands such failures to the program's log.
    QTimer* TimerEOSViewfinder = nullptr;
    void TimerEOSViewfinderTimer();

    // The notification dispatcher, the tick of the notification timer: hands the oldest waiting
    // notification to its event, one per tick. The timer is none before the first OpenCameraEnumeration.
    void NotifyTimerTimer();
    QTimer* NotifyTimer() const { return mNotifyTimer; }
    int NotifyQueueCount() const;

    const ConnectInfoType& CameraInfo() const { return mCameraInfo; }
    int InstanceNumber() const { return mInstanceNumber; }

    // ---- for the SDK callbacks (CamNotify) ----
    // Appends `entry` when the event of its kind is set (NotifyAction always) and the queue exists;
    // a live-view picture only when none waits. Returns whether it was queued. Any thread.
    bool EnqueueNotification(TNotifyEntry entry);
    bool IsEventAssigned(int kind) const;
    // Runs `work` under the queue's lock, for state the callbacks share with the GUI thread.
    void WithNotifyLock(const std::function<void()>& work);
    void DoExtendShutdownTimer();

    // Shared with the callbacks; read and written under the queue's lock only.
    struct TShared {
        ReleaseDataKindType ReleaseDataKind = ReleaseDataKindTakeOnlyThumbnail;
        ReleaseModeType ReleaseMode = ReleaseModeOnlyToPC;
        bool RemoteViewfinderEnabled = false;
        bool ViewfinderUseCanonThread = false;
        bool NewViewfinderPic = false;                  // a live-view picture waits in the queue
        std::deque<PRReleaseRecord> PRTakenPicList;     // released pictures of a newer PowerShot
        QFileDevice* PRRemotePictureFile = nullptr;     // the picture file being received, not owned
        bool PRFileReceiving = false;
        bool PRFileComplete = false;                    // the last block arrived
        bool PRFileWriteFailed = false;                 // a block did not reach the file
        bool ViewfinderMetadataInvalidated = false;     // a picture without metadata arrived
    };
    TShared& SharedState() { return mShared; } // only under WithNotifyLock

    TCDSDK& CDSDK() { return *mCDSDK; }
    TPRSDK& PRSDK() { return *mPRSDK; }
    TEDSDK& EDSDK() { return *mEDSDK; }

private:
    enum TBackEnd { BackEndNone, BackEndCD, BackEndPR, BackEndED };
    TBackEnd BackEndOf() const; // the dispatch rule
    void CheckRemote() const;
    void CheckViewfinder() const;
    void CheckCamera() const;
    void CheckEOS() const;
    void StartTheSDKs();
    // Downloads one live-view picture and its metadata, and gives the SDK's references back; false
    // when the camera has none ready.
    bool FetchEOSViewfinderPicture(QByteArray& Jpeg);
    void FreeNotifyQueue();
    bool EventAssigned(int kind) const; // under the lock

    ConnectInfoType mCameraInfo;
    bool mRemoteModeEnabled = false;
    bool mRemoteViewfinderEnabled = false;

    mutable std::mutex mNotifyLock;
    TShared mShared;
    TNotifyCameraEvent mNotifyEvent;
    TNotifyViewfinderEvent mNotifyViewfinderEvent;
    TNotifyRemoteEvent mNotifyRemoteEvent;
    TNotifyRemoteTakePictureEvent mNotifyRemoteTakePictureEvent;
    TNotifyRemoteGetPictureEvent mNotifyRemoteGetPictureEvent;
    TNotifyRemoteGetMovieEvent mNotifyRemoteGetMovieEvent;
    TNotifyGetPictureEvent mNotifyGetPictureEvent;
    TNotifyRemoteProbeParamEvent mNotifyRemoteProbeParamEvent;
    TNotifyRawDevelopEvent mNotifyRawDevelopEvent;
    // The notification queue, kinds and payloads kept together in one list of entries; none
    // before the first OpenCameraEnumeration and after CloseCameraEnumeration.
    std::unique_ptr<std::deque<TNotifyEntry>> mNotifyQueue;
    QTimer* mNotifyTimer = nullptr; // owned by the component

    int mInstanceNumber = 0;
    int mCameraNumber = 0;
    bool mWinVista = true;
    float mCamRemoteVersion = 7.3f;
    ViewfinderPositionType mViewfinderMetadata;
    int mEOSViewfinderRefresh = 50;
    bool mEOSViewfinderAction = false;
    bool mRemoteMovieRecordingEnabled = false;
    std::unique_ptr<TCDSDK> mCDSDK;
    std::unique_ptr<TPRSDK> mPRSDK;
    std::unique_ptr<TEDSDK> mEDSDK;
};

// Process-wide busy flags of Connect and of destruction: a second one that starts while one runs waits
// in 50 ms pauses (through the camera clock) until the first ends.
extern bool CamRemoteConnectBusy;
extern bool CamRemoteDestroyBusy;
