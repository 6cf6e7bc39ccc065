// Back-ends that only record what the camera component asks of them, so its own logic (checks,
// dispatch rule, states) shows without an SDK. Each fake writes "<back-end>.<operation>" to a shared
// log; the enumerations fill the process-wide camera lists as the real back-ends do.
#pragma once

#include "TCamRemote/Sources/CamRemote.h"

#include <QStringList>

#include <cstring>
#include <memory>

struct CamCallLog {
    QStringList calls;
    bool has(const QString& call) const { return calls.contains(call); }
    int count(const QString& call) const { return int(calls.count(call)); }
};

class FakeCDSDK : public TCDSDK {
public:
    explicit FakeCDSDK(CamCallLog& log) : m_log(log) {}
    QStringList cameras; // the names the enumeration finds
    bool failInit = false;

    void InitCommunications() override
    {
        m_log.calls << "CD.InitCommunications";
        if (failInit)
            throw ECamException(QStringLiteral("CDStartSDK errorcode 0x00000080, Device not found"));
    }
    void EnumerateCameras(QStringList& CameraList) override
    {
        m_log.calls << "CD.EnumerateCameras";
        CameraList = cameras;
        CDCameraList().assign(cameras.size(), CDSourceRecord{});
    }
    ConnectInfoType Connect(void* EventCallback, int ConnectToCamera, int InstanceNumber) override
    {
        m_log.calls << QStringLiteral("CD.Connect %1").arg(ConnectToCamera);
        lastCallback = EventCallback;
        return {CamModPowerShot, cameras.value(ConnectToCamera), QString(), {}};
    }
    void Disconnect() override { m_log.calls << "CD.Disconnect"; }
    void FinilizeCommunications() override { m_log.calls << "CD.FinilizeCommunications"; }
    RemoteFuncType RemoteStart(ReleaseModeType, ReleaseDataKindType, bool, const QString&, void* cb, int) override
    {
        m_log.calls << "CD.RemoteStart";
        lastCallback = cb;
        return {};
    }
    void RemoteEnd() override { m_log.calls << "CD.RemoteEnd"; }
    void RemoteStartViewfinder(void* cb, int) override
    {
        m_log.calls << "CD.RemoteStartViewfinder";
        lastCallback = cb;
    }
    void RemoteStopViewfinder() override { m_log.calls << "CD.RemoteStopViewfinder"; }
    void RemoteSetViewfinderOutput(RemoteViewFinderOutputType) override { m_log.calls << "CD.RemoteSetViewfinderOutput"; }
    void RemoteActivateViewfinderAuto() override { m_log.calls << "CD.RemoteActivateViewfinderAuto"; }
    void RemoteTakePicture(void* cb, int) override
    {
        m_log.calls << "CD.RemoteTakePicture";
        lastCallback = cb;
    }
    RemoteZoomCapabilityType RemoteGetZoomPos() override
    {
        m_log.calls << "CD.RemoteGetZoomPos";
        return {3, 4, 12};
    }
    void RemoteSetZoomPos(int) override { m_log.calls << "CD.RemoteSetZoomPos"; }
    void ExtendShutdownTimer() override { m_log.calls << "CD.ExtendShutdownTimer"; }
    void* lastCallback = nullptr;

private:
    CamCallLog& m_log;
};

class FakePRSDK : public TPRSDK {
public:
    explicit FakePRSDK(CamCallLog& log) : m_log(log) {}
    QStringList cameras; // appended after the older-PowerShot names
    // RemoteGetPicture hands these blocks to the receiver callback, then the closing empty block
    // unless told to end without it.
    QList<QByteArray> blocks;
    bool closingBlock = true;

    void InitCommunications() override { m_log.calls << "PR.InitCommunications"; }
    void EnumerateCameras(QStringList& CameraList) override
    {
        m_log.calls << "PR.EnumerateCameras";
        CameraList += cameras;
        PRCameraList().assign(cameras.size(), PRDeviceRecord{});
    }
    ConnectInfoType Connect(void*, int ConnectToCamera, int) override
    {
        m_log.calls << QStringLiteral("PR.Connect %1").arg(ConnectToCamera);
        return {CamModPowerShot, QStringLiteral("PR camera"), QString(), {}};
    }
    void Disconnect() override { m_log.calls << "PR.Disconnect"; }
    void FinilizeCommunications() override { m_log.calls << "PR.FinilizeCommunications"; }
    RemoteFuncType RemoteStart(ReleaseModeType, ReleaseDataKindType, bool, const QString&, void*, int) override
    {
        m_log.calls << "PR.RemoteStart";
        return {};
    }
    void RemoteGetPicture(const PRReleaseRecord& PicData, void* ProgressCallback, int InstanceNumber) override;
    void RemoteTakePicture(void*, int) override { m_log.calls << "PR.RemoteTakePicture"; }
    void RemoteStartViewfinder(void*, int) override { m_log.calls << "PR.RemoteStartViewfinder"; }
    void RemoteStopViewfinder() override { m_log.calls << "PR.RemoteStopViewfinder"; }

private:
    CamCallLog& m_log;
};

class FakeEDSDK : public TEDSDK {
public:
    explicit FakeEDSDK(CamCallLog& log) : m_log(log) {}
    QStringList cameras;

    void InitCommunications() override { m_log.calls << "ED.InitCommunications"; }
    void EnumerateCameras(QStringList& CameraList) override
    {
        m_log.calls << "ED.EnumerateCameras";
        CameraList = cameras;
    }
    ConnectInfoType Connect(void*, int ConnectToCamera, int) override
    {
        m_log.calls << QStringLiteral("ED.Connect %1").arg(ConnectToCamera);
        if (cameras.isEmpty())
            throw ECamException(QStringLiteral("There seems to be no connected EOS cameras connected. Have you "
                                               "called the EnumerateCameras function before calling Connect?"));
        return {CamModEOS, cameras.value(ConnectToCamera), QString(), {}};
    }
    void Disconnect() override { m_log.calls << "ED.Disconnect"; }
    void FinilizeCommunications() override { m_log.calls << "ED.FinilizeCommunications"; }
    QString GetBodyID() override { return QStringLiteral("0123456789"); }
    RemoteFuncType RemoteStart(ReleaseModeType, ReleaseDataKindType, bool, const QString&, void*, int) override
    {
        m_log.calls << "ED.RemoteStart";
        return {};
    }
    void RemoteEnd() override { m_log.calls << "ED.RemoteEnd"; }
    void RemoteStartViewfinder() override { m_log.calls << "ED.RemoteStartViewfinder"; }
    void RemoteStopViewfinder() override { m_log.calls << "ED.RemoteStopViewfinder"; }
    void RemoteSetViewfinderZoom(RemoteViewFinderZoomType) override { m_log.calls << "ED.RemoteSetViewfinderZoom"; }
    void RemoteStartMovieRecording() override { m_log.calls << "ED.RemoteStartMovieRecording"; }
    void RemoteEndMovieRecording() override { m_log.calls << "ED.RemoteEndMovieRecording"; }
    void RemoteTakePicture(int) override { m_log.calls << "ED.RemoteTakePicture"; }
    void ExtendShutdownTimer() override { m_log.calls << "ED.ExtendShutdownTimer"; }
    RemoteReleaseParametersType RemoteGetRemoteParams() override
    {
        m_log.calls << "ED.RemoteGetRemoteParams";
        return params;
    }
    void RemoteSetRemoteParams(const RemoteReleaseParametersType& RemoteParam) override
    {
        m_log.calls << "ED.RemoteSetRemoteParams";
        params = RemoteParam;
    }
    RemoteReleaseParametersType params;
    void AddPictureToDownload(void* Picture) override
    {
        m_log.calls << "ED.AddPictureToDownload";
        downloads.push_back(Picture);
    }
    void AddMovieToDownload(void* Movie) override
    {
        m_log.calls << "ED.AddMovieToDownload";
        downloads.push_back(Movie);
    }
    void AddCFPictureToDownload(void* Picture) override
    {
        m_log.calls << "ED.AddCFPictureToDownload";
        downloads.push_back(Picture);
    }
    std::vector<void*> downloads;

private:
    CamCallLog& m_log;
};

// Hands each block to the receiver callback as the SDK's progress record (percent at byte 8, length
// at byte 16, the block's address at byte 28), then the empty block that ends the transfer.
inline void FakePRSDK::RemoteGetPicture(const PRReleaseRecord& PicData, void* ProgressCallback, int InstanceNumber)
{
    m_log.calls << "PR.RemoteGetPicture";
    auto receiver = reinterpret_cast<decltype(&PRGetPictureCallback)>(ProgressCallback);
    QList<QByteArray> all = blocks;
    if (closingBlock)
        all << QByteArray();
    for (int i = 0; i < all.size(); ++i) {
        unsigned char record[40] = {};
        const uint32_t percent = uint32_t(100 * (i + 1) / all.size());
        const uint32_t length = uint32_t(all[i].size());
        const char* data = all[i].constData();
        std::memcpy(record + 8, &percent, 4);
        std::memcpy(record + 16, &length, 4);
        std::memcpy(record + 28, &data, sizeof data);
        receiver(0, uintptr_t(InstanceNumber), record);
    }
}

// A component over the three fakes, the fakes kept reachable.
struct FakeCamera {
    CamCallLog log;
    FakeCDSDK* cd = nullptr;
    FakePRSDK* pr = nullptr;
    FakeEDSDK* ed = nullptr;
    std::unique_ptr<TCamRemote> cam;

    FakeCamera()
    {
        auto c = std::make_unique<FakeCDSDK>(log);
        auto p = std::make_unique<FakePRSDK>(log);
        auto e = std::make_unique<FakeEDSDK>(log);
        cd = c.get();
        pr = p.get();
        ed = e.get();
        cam = std::make_unique<TCamRemote>(nullptr, std::move(c), std::move(p), std::move(e));
    }
    ~FakeCamera()
    {
        // Leave the process-wide state as a fresh process has it.
        try {
            cam->Disconnect();
            cam->CloseCameraEnumeration();
        } catch (...) {
        }
    }
};
