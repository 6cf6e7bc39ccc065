// The EOS back-end: drives EOS cameras through the EOS camera SDK, one fixed sequence of SDK calls per
// operation. The camera component owns one and calls it for every EOS camera and for RAW development;
// every failure is raised as ECamException with the call's name, code and the SDK's error text.
#pragma once

#include "CamDefines.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <mutex>
#include <vector>

// Raises ECamException "<Funcname> errorcode 0x<eight upper-case hex digits>, <EOS error text>"
// unless Value is 0.
void EDSDKCheck(uint32_t Value, const QString& Funcname);

// The process-wide list of enumerated EOS cameras: EnumerateCameras fills it with the SDK's camera
// references in the order of the names it lists, Connect indexes it. The references stay held
// until the list is emptied.
std::vector<void*>& EOSCameraList();

// The kind of download running, read by the progress callback.
enum FileTransferType : uint8_t { FileTransferNotUsed, FileTransferFromCameraMemory, FileTransferFromCameraCard };

// The operations are virtual only so that tests can stand a fake camera in for the SDK.
class TEDSDK {
public:
    TEDSDK();
    virtual ~TEDSDK();

    uint32_t mInstanceNumber = 0; // the component's slot; its address is the context of every callback
    ConnectInfoType mCameraInfo;
    void* mCameraDevice = nullptr; // the SDK's reference of the connected camera

    virtual void InitCommunications();
    virtual void EnumerateCameras(QStringList& CameraList);
    // EventCallback is not used: the back-end registers the EOS callbacks of the notification unit itself.
    virtual ConnectInfoType Connect(void* EventCallback, int ConnectToCamera, int InstanceNumber);
    virtual void Disconnect();
    virtual void FinilizeCommunications();

    virtual void SetTimeInCamera(const QDateTime& TimeToSet);
    virtual void SetOwnerName(const QString& NameOfOwner);
    virtual QString GetBodyID();
    virtual QString GetFirmwareVersion();
    virtual void FormatCameraCard();
    virtual bool RemoteSupported();

    // ReleaseDataKind and RemoteEventCallback are not used by this back-end.
    virtual RemoteFuncType RemoteStart(ReleaseModeType ReleaseMode, ReleaseDataKindType ReleaseDataKind,
                                       bool ProbeRemoteParameters, const QString& CacheRemoteParamDir,
                                       void* RemoteEventCallback, int InstanceNumber);
    virtual void RemoteEnd();
    virtual int RemoteGetNumberOfAvailableShots();
    virtual void RemoteTakePicture(int InstanceNumber);
    virtual void RemotePressShutter(RemoteShutterButtonType ShutterButton);
    virtual void ExtendShutdownTimer();
    virtual void RemoteGetPicture(const QString& FileName, PictureTypeType PictureType, int InstanceNumber);
    virtual void RemoteGetMovie(const QString& FileName, bool DeleteFromCameraAfterTransfer, int InstanceNumber);
    virtual void RemoteGetCFPicture(const QString& FileName, bool DeleteFromCameraAfterTransfer, int InstanceNumber);
    virtual RemoteReleaseParametersType RemoteGetRemoteParams();
    virtual void RemoteSetRemoteParams(const RemoteReleaseParametersType& RemoteParam);
    virtual RemoteZoomCapabilityType RemoteGetZoomPos();
    virtual void RemoteSetZoomPos(int ZoomPos);
    virtual void RemoteAFLock(bool AFLock);

    // The download lists, filled from the SDK's object events (the notification unit).
    virtual void AddPictureToDownload(void* Picture);
    virtual void AddMovieToDownload(void* Movie);
    virtual void AddCFPictureToDownload(void* Picture);
    FileTransferType mTypeOfFileTransfer = FileTransferNotUsed; // read by the progress callback

    virtual ImageListType OpenCameraCollection(const QString& TempDir, bool GetThumbnails);
    virtual void CloseCameraCollection(ImageListType& ImageListToClear);
    virtual void GetPicture(int NrInList, const QString& FileName, int InstanceNumber);
    virtual void DeletePicture(ImageListType& ImageList, int NrInList);

    virtual RAWObjectDevAvailType OpenRAWObject(const QString& FileName);
    virtual void SetRAWDevelopmentParameters(const RAWObjectDevType& RAWDevPara);
    virtual RAWObjectDevType GetRAWDevelopmentParameters();
    virtual void DevelopRAWPicture(const QString& OutFileName, FileFormatType FileFormat,
                                   BitsPerPixelType BitsPerPixel, const QString& ICCProfileFileName,
                                   int JPEGQuality);
    virtual void CloseRAWObject();

    virtual void RemoteStartViewfinder();
    virtual void RemoteStopViewfinder();
    virtual void RemoteSetViewfinderOutput(RemoteViewFinderOutputType ViewfinderOutput);
    virtual void RemoteSetViewfinderDriveLens(RemoteViewFinderDriveLensType DriveLens);
    virtual void RemoteSetViewfinderWhitebalance(int XCoord, int YCoord);
    virtual void RemoteSetViewfinderAutofocusMode(RemoteViewFinderAFModeType AFMode);
    virtual RemoteViewFinderAFModeType RemoteGetViewfinderAutofocusMode();
    virtual AFFocusInfoType RemoteGetViewfinderAutofocusInfo();
    virtual void RemoteSetViewfinderZoom(RemoteViewFinderZoomType Zoom);
    virtual void RemoteSetViewfinderZoomPosition(int X, int Y);
    virtual void RemoteSetViewfinderDepthOfFieldPreview(bool Activate);
    virtual bool RemoteGetViewfinderDepthOfFieldPreview();
    virtual void RemoteActivateViewfinderAuto(bool EOSLockAF);

    virtual void RemoteStartMovieRecording();
    virtual void RemoteEndMovieRecording();

    // SDK references (the SDK's opaque handles).
    void* mVolumeRef = nullptr;             // the first card volume while a card collection is open
    std::vector<void*> mPicList;            // released pictures waiting for download
    std::vector<void*> mMovieList;          // movies on the card waiting for download
    std::vector<void*> mPicCFList;          // pictures on the card waiting for download
    std::vector<void*> mPicOnCamList;       // file items of the open card collection, in list order
    void* mRAWFileStream = nullptr;         // the open RAW file
    void* mRAWFileImageRef = nullptr;
    bool mSupportViewfinder = false;        // the camera offers live view (found by RemoteStart)

private:
    void DownloadFromList(std::vector<void*>& list, const QString& FileName, bool DeleteFromCameraAfterTransfer);
    // Writes a directory item to FileName, the whole file or none, reporting progress as Transfer.
    // The SDK hears the download ended also after a failure; then an item taken from the front of
    // TakenFrom is deleted from the camera when asked, released and taken off that list.
    void DownloadItem(void* item, const QString& FileName, FileTransferType Transfer,
                      std::vector<void*>* TakenFrom = nullptr, bool DeleteFromCamera = false);
    void AddCollectionItem(void* item, bool GetThumbnails, ImageListType& result);
    void AddCollectionChild(void* parent, uint32_t index, bool GetThumbnails, ImageListType& result);
    bool IsNewerKind();
    void ProbeRemoteParameters(const QString& CacheRemoteParamDir, RemoteReleaseAvailParametersType& Avail);
    void SetPropertyWithRetries(uint32_t property, uint32_t value, const QString& callName);

    std::mutex mListLock; // an object-event handler may fill the download lists from the SDK's thread
};
