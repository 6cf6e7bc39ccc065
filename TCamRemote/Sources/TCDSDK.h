// The older-PowerShot back-end: drives the older PowerShot cameras through their camera SDK. The camera
// component owns one, starts its SDK at the first camera scan on every system and lists its cameras
// first in the combined PowerShot list.
#pragma once

#include "CamDefines.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

// The SDK's 400-byte source record of one older-PowerShot camera.
using CDSourceRecord = std::array<uint8_t, 400>;
// The process-wide list of enumerated older-PowerShot cameras, in the order of their names; the
// newer-PowerShot enumeration may delete entries. Freed with the last camera component.
std::vector<CDSourceRecord>& CDCameraList();

// The operations are virtual only so that tests can stand a fake camera in for the SDK. The
// callbacks are the notification unit's SDK callbacks, handed over as the SDK's function pointers.
class TCDSDK {
public:
    TCDSDK();
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
};
