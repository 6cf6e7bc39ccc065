// The older-PowerShot back-end until it is built: its SDK starts and finishes as nothing and finds no
// camera, so the camera scan goes on to the EOS cameras; every camera operation refuses with
// "Not supported".
#include "TCamRemote/Sources/TCDSDK.h"

std::vector<CDSourceRecord>& CDCameraList()
{
    static std::vector<CDSourceRecord> list;
    return list;
}

namespace {

[[noreturn]] void notSupported()
{
    throw ECamException(QStringLiteral("Not supported"));
}

} // namespace

TCDSDK::TCDSDK() = default;

TCDSDK::~TCDSDK() = default;

void TCDSDK::InitCommunications()
{
}

void TCDSDK::EnumerateCameras(QStringList& CameraList)
{
    CameraList.clear();
    CDCameraList().clear();
}

ConnectInfoType TCDSDK::Connect(void* EventCallback, int ConnectToCamera, int InstanceNumber)
{
    notSupported();
}

void TCDSDK::Disconnect()
{
    notSupported();
}

void TCDSDK::FinilizeCommunications()
{
    CDCameraList().clear();
}

void TCDSDK::SetTimeInCamera(const QDateTime& TimeToSet)
{
    notSupported();
}

void TCDSDK::SetOwnerName(const QString& OwnerName)
{
    notSupported();
}

void TCDSDK::FormatCameraCard()
{
    notSupported();
}

bool TCDSDK::RemoteSupported()
{
    notSupported();
}

RemoteFuncType TCDSDK::RemoteStart(ReleaseModeType ReleaseMode, ReleaseDataKindType ReleaseDataKind, bool ProbeRemoteParameters, const QString& CacheRemoteParamDir, void* RemoteEventCallback, int InstanceNumber)
{
    notSupported();
}

void TCDSDK::RemoteEnd()
{
    notSupported();
}

int TCDSDK::RemoteGetNumberOfAvailableShots()
{
    notSupported();
}

void TCDSDK::RemoteStartViewfinder(void* Viewfindercallback, int InstanceNumber)
{
    notSupported();
}

void TCDSDK::RemoteStopViewfinder()
{
    notSupported();
}

void TCDSDK::RemoteSetViewfinderOutput(RemoteViewFinderOutputType ViewfinderOutput)
{
    notSupported();
}

void TCDSDK::RemoteActivateViewfinderAuto()
{
    notSupported();
}

RemoteReleaseParametersType TCDSDK::RemoteGetRemoteParams()
{
    notSupported();
}

void TCDSDK::RemoteSetRemoteParams(const RemoteReleaseParametersType& RemoteParam)
{
    notSupported();
}

RemoteZoomCapabilityType TCDSDK::RemoteGetZoomPos()
{
    notSupported();
}

void TCDSDK::RemoteSetZoomPos(int ZoomPos)
{
    notSupported();
}

void TCDSDK::RemoteAFLock(bool AFLock)
{
    notSupported();
}

void TCDSDK::RemoteTakePicture(void* ProgressCallback, int InstanceNumber)
{
    notSupported();
}

void TCDSDK::RemoteGetPicture(const QString& FileName, void* ProgressCallback, int InstanceNumber)
{
    notSupported();
}

void TCDSDK::ExtendShutdownTimer()
{
    notSupported();
}

ImageListType TCDSDK::OpenCameraCollection(const QString& TempDir, bool GetThumbnails)
{
    notSupported();
}

void TCDSDK::CloseCameraCollection(ImageListType& ImageListToClear)
{
    notSupported();
}

void TCDSDK::GetPicture(int NrInList, const QString& FileName, void* ProgressCallback, int InstanceNumber)
{
    notSupported();
}

void TCDSDK::DeletePicture(ImageListType& ImageList, int NrInList)
{
    notSupported();
}
