// The newer-PowerShot back-end: drives PowerShot cameras through the newer PowerShot SDK, in PTP
// terms (device properties by 16-bit code, their descriptors, the device information dataset). The
// camera component owns one and sends it the PowerShot cameras listed after the older-PowerShot
// ones; the SDK is started only before Windows Vista, so on this system the component never starts it.
#pragma once

#include "CamDefines.h"
#include "TCDSDK.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

// The SDK's 412-byte event record of a released picture, kept by the component until it is fetched.
using PRReleaseRecord = std::array<uint8_t, 412>;

// The SDK's 1,106-byte device record of one newer-PowerShot camera.
using PRDeviceRecord = std::array<uint8_t, 1106>;
// The process-wide list of enumerated newer-PowerShot cameras, in the order their names were added to
// the PowerShot names; Connect indexes it. Freed with the last camera component.
std::vector<PRDeviceRecord>& PRCameraList();

// What the connected camera offers, from its device information dataset.
struct CameraDeviceInfoType {
    bool RemoteSupported = false;
    bool ViewfinderSupported = false;
    bool ZoomSupported = false;
    bool AfLockUnlockSupported = false;
    bool CompQualitySupported = false;
    bool ImageSizeSupported = false;
    bool StrobeSettingSupported = false;
    bool StrobeCompSettingSupported = false;
    bool ImageModeSupported = false;
    bool DriveModeSupported = false;
    bool MLWeiModeSupported = false;
    bool AFDistanceSupported = false;
    bool AFFocusingPointSupported = false;
    bool AFAssistLightSupported = false;
    bool WhiteBalanceSettingSupported = false;
    bool ContrastSupported = false;
    bool ColorGainSupported = false;
    bool SharpnessSupported = false;
    bool ISOSupported = false;
    bool AvSupported = false;
    bool TvSupported = false;
    bool ExposureCompensationSupported = false;
    bool PhotoEffectSupported = false;
    bool BeepSupported = false;
    bool operator==(const CameraDeviceInfoType&) const = default;
};

// Readers of the SDK's PTP datasets. They read only the `size` bytes the SDK filled: a dataset that
// ends early gives what it holds up to there.
// The device information: the supported operations set the three operation flags; withProperties
// also reads the events (skipped) and the device properties, which set the parameter flags.
void ReadPRDeviceInfo(const uint8_t* data, size_t size, bool withProperties, CameraDeviceInfoType& info);
// The values of an enumeration descriptor of a property `width` bytes wide.
QList<quint32> ReadPREnumValues(const uint8_t* data, size_t size, int width);

// Appends a newer-PowerShot camera's name to the PowerShot names, whose first olderCount entries
// are the older-PowerShot cameras, and deletes those of the same name, last first, with their
// records in olderList: a camera both SDKs see is listed once, as a newer-PowerShot camera, and the
// remaining older entries still match their records. olderCount counts the deletions down.
void AddPRCameraName(QStringList& CameraList, int& olderCount, const QString& name, std::vector<CDSourceRecord>& olderList);

// The operations are virtual only so that tests can stand a fake camera in for the SDK. The
// callbacks are the notification unit's SDK callbacks, handed over as the SDK's function pointers.
class TPRSDK {
public:
    TPRSDK();
    virtual ~TPRSDK();

    int32_t mInstanceNumber = 0; // the component's slot, the context of every callback

    virtual void InitCommunications();
    virtual void EnumerateCameras(QStringList& CameraList);
    virtual ConnectInfoType Connect(void* EventCallback, int ConnectToCamera, int InstanceNumber);
    virtual void Disconnect();
    virtual void FinilizeCommunications();

    virtual void SetTimeInCamera(const QDateTime& TimeToSet);
    virtual void SetOwnerName(const QString& OwnerName);
    virtual uint32_t GetBodyID();
    virtual QString GetFirmwareVersion();
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
    // The data arrive through ProgressCallback, which writes the component's open picture file.
    virtual void RemoteGetPicture(const PRReleaseRecord& PicData, void* ProgressCallback, int InstanceNumber);
    virtual void ExtendShutdownTimer();

    virtual ImageListType OpenCameraCollection(const QString& TempDir, bool GetThumbnails);
    virtual void CloseCameraCollection(ImageListType& ImageListToClear);
    virtual void GetPicture(int NrInList, const QString& FileName, void* ProgressCallback, int InstanceNumber);
    virtual void DeletePicture(ImageListType& ImageList, int NrInList);

    // Queues the probe's progress for the component of mInstanceNumber.
    virtual void ReportProbeProgress(int Percentage);

private:
    void readDeviceInfo(bool withProperties);
    void probeRemoteParameters(RemoteReleaseAvailParametersType& avail, const QString& cacheDir);

    uint32_t mCameraHandle = 0; // the SDK's camera object
    ConnectInfoType mCameraInfo;
    CameraDeviceInfoType mCameraDeviceInfo;
};
