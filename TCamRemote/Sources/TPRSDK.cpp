// The newer-PowerShot back-end until it is built: every operation refuses with "Not supported".
#include "TCamRemote/Sources/TPRSDK.h"

std::vector<PRDeviceRecord>& PRCameraList()
{
    static std::vector<PRDeviceRecord> list;
    return list;
}

namespace {

[[noreturn]] void notSupported()
{
    throw ECamException(QStringLiteral("Not supported"));
}

} // namespace

TPRSDK::TPRSDK() = default;

TPRSDK::~TPRSDK() = default;

void TPRSDK::InitCommunications()
{
    notSupported();
}

void TPRSDK::EnumerateCameras(QStringList& CameraList)
{
    notSupported();
}

ConnectInfoType TPRSDK::Connect(void* EventCallback, int ConnectToCamera, int InstanceNumber)
{
    notSupported();
}

void TPRSDK::Disconnect()
{
    notSupported();
}

void TPRSDK::FinilizeCommunications()
{
    notSupported();
}

void TPRSDK::SetTimeInCamera(const QDateTime& TimeToSet)
{
    notSupported();
}

void TPRSDK::SetOwnerName(const QString& OwnerName)
{
    notSupported();
}

uint32_t TPRSDK::GetBodyID()
{
    notSupported();
}

QString TPRSDK::GetFirmwareVersion()
{
    notSupported();
}

void TPRSDK::FormatCameraCard()
{
    notSupported();
}

bool TPRSDK::RemoteSupported()
{
    notSupported();
}

RemoteFuncType TPRSDK::RemoteStart(ReleaseModeType ReleaseMode, ReleaseDataKindType ReleaseDataKind, bool ProbeRemoteParameters, const QString& CacheRemoteParamDir, void* RemoteEventCallback, int InstanceNumber)
{
    notSupported();
}

void TPRSDK::RemoteEnd()
{
    notSupported();
}

int TPRSDK::RemoteGetNumberOfAvailableShots()
{
    notSupported();
}

void TPRSDK::RemoteStartViewfinder(void* Viewfindercallback, int InstanceNumber)
{
    notSupported();
}

void TPRSDK::RemoteStopViewfinder()
{
    notSupported();
}

void TPRSDK::RemoteSetViewfinderOutput(RemoteViewFinderOutputType ViewfinderOutput)
{
    notSupported();
}

void TPRSDK::RemoteActivateViewfinderAuto()
{
    notSupported();
}

RemoteReleaseParametersType TPRSDK::RemoteGetRemoteParams()
{
    notSupported();
}

void TPRSDK::RemoteSetRemoteParams(const RemoteReleaseParametersType& RemoteParam)
{
    notSupported();
}

RemoteZoomCapabilityType TPRSDK::RemoteGetZoomPos()
{
    notSupported();
}

void TPRSDK::RemoteSetZoomPos(int ZoomPos)
{
    notSupported();
}

void TPRSDK::RemoteAFLock(bool AFLock)
{
    notSupported();
}

void TPRSDK::RemoteTakePicture(void* ProgressCallback, int InstanceNumber)
{
    notSupported();
}

void TPRSDK::RemoteGetPicture(const PRReleaseRecord& PicData, void* ProgressCallback, int InstanceNumber)
{
    notSupported();
}

void TPRSDK::ExtendShutdownTimer()
{
    notSupported();
}

ImageListType TPRSDK::OpenCameraCollection(const QString& TempDir, bool GetThumbnails)
{
    notSupported();
}

void TPRSDK::CloseCameraCollection(ImageListType& ImageListToClear)
{
    notSupported();
}

void TPRSDK::GetPicture(int NrInList, const QString& FileName, void* ProgressCallback, int InstanceNumber)
{
    notSupported();
}

void TPRSDK::DeletePicture(ImageListType& ImageList, int NrInList)
{
    notSupported();
}
