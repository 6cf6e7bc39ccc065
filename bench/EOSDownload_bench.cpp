// A 64 MB file from the simulated EOS camera's card, fetched by the EOS back-end (through a private
// file renamed onto the target once the transfer is whole, with progress reports); reference: the
// the same SDK calls with the same progress reports writing straight into the target, as a download
// that can leave half a file would. The difference is the price of never leaving one.
#include "MedianRatio.h"

#include "TCamRemote/Sources/CamNotify.h"
#include "TCamRemote/Sources/EDSDK.h"
#include "TCamRemote/Sources/TEDSDK.h"

#include "simcam_control.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint64_t FileBytes = 64ull << 20;
const char* const BigFile = "MVI_9000.MOV";

// One camera with the big file on its card, connected, its card list open.
struct Camera {
    TEDSDK sdk;
    ImageListType list;
    int index = -1;

    Camera()
    {
        void* handle = dlopen(QFile::encodeName(sdkFolder() + QStringLiteral("/EDSDK.DLL")).constData(),
                              RTLD_NOW | RTLD_NOLOAD);
        auto setCameras = reinterpret_cast<pfn_SimCam_SetCameras>(dlsym(handle, "SimCam_SetCameras"));
        auto addCardFile = reinterpret_cast<pfn_SimCam_AddCardFile>(dlsym(handle, "SimCam_AddCardFile"));
        if (!setCameras || !addCardFile) {
            std::fprintf(stderr, "the EOS stand-in has no control functions\n");
            std::exit(1);
        }
        setCameras("live");
        sdk.InitCommunications();
        QStringList names;
        sdk.EnumerateCameras(names);
        sdk.Connect(nullptr, 0, 0);
        addCardFile(0, "DCIM/102SIMCM", BigFile, FileBytes);
        list = sdk.OpenCameraCollection(QString(), false);
        for (int i = 0; i < list.size(); ++i)
            if (list[i].NameOfImage == QLatin1String(BigFile))
                index = i;
    }
    ~Camera()
    {
        sdk.CloseCameraCollection(list);
        sdk.Disconnect();
        EOSCameraList().clear();
        sdk.FinilizeCommunications();
    }

    static QString sdkFolder() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../sdk/bin"); }
};

Camera* g_camera = nullptr;

void BM_BackEndDownload(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("movie.mov"));
    for (auto _ : state)
        g_camera->sdk.GetPicture(g_camera->index, file, 0);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FileBytes));
}

void BM_DirectSdkDownload(benchmark::State& state)
{
    QTemporaryDir dir;
    const QByteArray file = QFile::encodeName(dir.filePath(QStringLiteral("movie.mov")));
    auto* item = static_cast<EdsDirectoryItemRef>(g_camera->sdk.mPicOnCamList[size_t(g_camera->index)]);
    for (auto _ : state) {
        EdsStreamRef stream = nullptr;
        EdsDirectoryItemInfo info{};
        if (eds::EdsCreateFileStream(file.constData(), kEdsFileCreateDisposition_CreateAlways, kEdsAccess_Write,
                                     &stream)
                != 0
            || eds::EdsGetDirectoryItemInfo(item, &info) != 0
            || eds::EdsSetProgressCallback(stream, EOSProgressCallback, kEdsProgressOption_Periodically,
                                           &g_camera->sdk.mInstanceNumber)
                   != 0
            || eds::EdsDownload(item, info.size, stream) != 0) {
            state.SkipWithError("the direct download failed");
            break;
        }
        eds::EdsRelease(stream);
        eds::EdsDownloadComplete(item);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FileBytes));
}

// One download per repetition, the repetitions of both rows interleaved, so that the disk's and the
// machine's moods fall on both alike.
constexpr int Repetitions = 21;
BENCHMARK(BM_BackEndDownload)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(bench::repetitions(Repetitions))->ReportAggregatesOnly(true);
BENCHMARK(BM_DirectSdkDownload)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(bench::repetitions(Repetitions))->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qputenv("JEX4_CAMERA_SDK_PATH", QFile::encodeName(Camera::sdkFolder()));
    LoadEDSDK();
    Camera camera;
    if (camera.index < 0) {
        std::fprintf(stderr, "the big file is not on the simulated card\n");
        return 1;
    }
    g_camera = &camera;
    return bench::runInterleaved(argc, argv, {{"BM_BackEndDownload", "BM_DirectSdkDownload"}}) ? 0 : 1;
}
