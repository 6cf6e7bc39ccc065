// The older-PowerShot back-end: drives the older PowerShot cameras through their camera SDK. The camera
// component owns one, starts its SDK at the first camera scan on every system and lists its cameras
// first in the combined PowerShot list. Every SDK call goes through a CDSDKCalls; a failed call that
// must not pass raises ECamException naming the call, its result and the SDK's text for it.
#pragma once

#include "CamDefines.h"
#include "SDKErrorText.h"
#include "CDSDKCalls.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// The process-wide list of enumerated older-PowerShot cameras, in the order of their names; the
// newer-PowerShot enumeration may delete entries. Freed with the last camera component.
std::vector<CDSourceRecord>& CDCameraList();

// Raises ECamException "<Funcname> errorcode 0x<8 hex digits>, <text>" unless Result is 0.
void CDSDKCheck(uint32_t Result, const QString& Funcname);

// The operations are virtual only so that tests can stand a fake camera in for the SDK. The
// callbacks are the notification unit's SDK callbacks, handed over as the SDK's function pointers.
class TCDSDK {
public:
    // Without SDK given, the back-end calls CDSDK.DLL.
    explicit TCDSDK(std::shared_ptr<CDSDKCalls> SDK = nullptr);
    virtual ~TCDSDK();

    int32_t mInstanceNumber = 0; // the component's slot, the context of every callback

    virtual void InitCommunications();
    virtual void EnumerateCameras(QStringList& CameraList);
    virtual ConnectInfoType Connect(void* EventCallback, int ConnectToCamera, int InstanceNumber);
    virtual void Disconnect();
    virtual void FinilizeCommunications();

    virtual void SetTimeInCamera(const QDateTime& TimeToSet);
    virtual void SetOwnerName(const QString& OwnerName);
    virtual void FormatCameraCard();
    virtual bool RemoteSupported();

    virtual RemoteFuncType RemoteStart(ReleaseModeType ReleaseMode, ReleaseDataKindType ReleaseDataKind,
                                       bool ProbeRemoteParameters, const QString& CacheRemoteParamDir,
                                       void* RemoteEventCallback, int InstanceNumber);
    virtual void RemoteEnd();
    virtual int RemoteGetNumberOfAvailableShots();
    virtual void RemoteStartViewfinder(void* Viewfindercallback, int InstanceNumber);
    virtual void RemoteStopViewfinder();
    virtual void RemoteSetViewfinderOutput(RemoteViewFinderOutputType ViewfinderOutput);
    virtual void RemoteActivateViewfinderAuto();
    virtual RemoteReleaseParametersType RemoteGetRemoteParams();
    virtual void RemoteSetRemoteParams(const RemoteReleaseParametersType& RemoteParam);
    virtual RemoteZoomCapabilityType RemoteGetZoomPos();
    virtual void RemoteSetZoomPos(int ZoomPos);
    virtual void RemoteAFLock(bool AFLock);
    virtual void RemoteTakePicture(void* ProgressCallback, int InstanceNumber);
    virtual void RemoteGetPicture(const QString& FileName, void* ProgressCallback, int InstanceNumber);
    virtual void ExtendShutdownTimer();

    virtual ImageListType OpenCameraCollection(const QString& TempDir, bool GetThumbnails);
    virtual void CloseCameraCollection(ImageListType& ImageListToClear);
    virtual void GetPicture(int NrInList, const QString& FileName, void* ProgressCallback, int InstanceNumber);
    virtual void DeletePicture(ImageListType& ImageList, int NrInList);

    // Queues the probe's progress for the owning component.
    virtual void ReportProbeProgress(int Percentage);

private:
    // Finds the device property Id by enumerating the properties and hands its size to `use`; the
    // enumeration is released in every case. `failure`, when given, replaces the text of a
    // failure after the enumeration started.
    template <typename Use>
    void WithDeviceProperty(uint32_t Id, Use use, const QString& failure = QString());
    uint32_t ReadDeviceProperty(uint32_t Id);
    void OpenFirstVolume();
    void ProbeRemoteParameters(const QString& CacheRemoteParamDir, RemoteReleaseAvailParametersType& Avail);

    std::shared_ptr<CDSDKCalls> mSDK;
    CDSourceRecord mCameraDevice{};
    CDHandle mCameraSource = 0;
    ConnectInfoType mCameraInfo;
    CDHandle mEventCallbackHandle = 0;
    CDHandle mVolume = 0;
    CDHandle mPicCollectionEnum = 0;
    std::vector<CDHandle> mImageItemsArray; // parallel to the picture list
};
