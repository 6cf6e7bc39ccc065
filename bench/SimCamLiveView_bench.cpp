// One live-view frame of the simulated EOS camera as the component fetches it (a memory stream, a
// live-view reference, the download with its metadata, both released); reference: libjpeg-turbo
// encoding the same 960 x 640 pixels at the same quality. The difference is what drawing the scene
// and the SDK's bookkeeping add, the price of a frame the live view waits for.
#include "BenchSupport.h"
#include "MedianRatio.h"

#include "TCamRemote/Sources/EDSDK.h"

#include "simcam_control.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

EdsCameraRef g_camera = nullptr;
std::vector<JSAMPLE> g_pixels;
int g_width = 0, g_height = 0;

// One frame through the SDK; its bytes when asked for.
bool fetchFrame(QByteArray* bytes)
{
    EdsStreamRef stream = nullptr;
    EdsEvfImageRef evf = nullptr;
    bool ok = eds::EdsCreateMemoryStream(0, &stream) == 0 && eds::EdsCreateEvfImageRef(stream, &evf) == 0
              && eds::EdsDownloadEvfImage(g_camera, evf) == 0;
    if (ok && bytes) {
        void* data = nullptr;
        EdsUInt64 length = 0;
        ok = eds::EdsGetPointer(stream, &data) == 0 && eds::EdsGetLength(stream, &length) == 0;
        *bytes = QByteArray(static_cast<const char*>(data), qsizetype(length));
    }
    if (evf)
        eds::EdsRelease(evf);
    if (stream)
        eds::EdsRelease(stream);
    return ok;
}

void BM_SimulatedLiveViewFrame(benchmark::State& state)
{
    for (auto _ : state)
        if (!fetchFrame(nullptr)) {
            state.SkipWithError("the live-view frame failed");
            break;
        }
}

void BM_EncodeSamePixels(benchmark::State& state)
{
    for (auto _ : state)
        bench::referenceEncode(g_pixels, g_width, g_height, 75);
}

constexpr int Repetitions = 15;
BENCHMARK(BM_SimulatedLiveViewFrame)->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(Repetitions))->ReportAggregatesOnly(true);
BENCHMARK(BM_EncodeSamePixels)->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(Repetitions))->ReportAggregatesOnly(true);

QString sdkFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../sdk/bin");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qputenv("JEX4_CAMERA_SDK_PATH", QFile::encodeName(sdkFolder()));
    qputenv("JEX4_SIMCAM_CAMERAS", "live");
    LoadEDSDK();
    EdsCameraListRef list = nullptr;
    EdsUInt32 on = 1, pc = kEdsEvfOutputDevice_PC;
    if (eds::EdsInitializeSDK() != 0 || eds::EdsGetCameraList(&list) != 0 || eds::EdsGetChildAtIndex(list, 0, &g_camera) != 0
        || eds::EdsOpenSession(g_camera) != 0
        || eds::EdsSetPropertyData(g_camera, kEdsPropID_Evf_Mode, 0, sizeof on, &on) != 0
        || eds::EdsSetPropertyData(g_camera, kEdsPropID_Evf_OutputDevice, 0, sizeof pc, &pc) != 0) {
        std::fprintf(stderr, "the simulated EOS camera does not start live view\n");
        return 1;
    }
    eds::EdsRelease(list);

    // The reference's pixels: those of a frame, as the camera drew them.
    QByteArray frame;
    if (!fetchFrame(&frame)) {
        std::fprintf(stderr, "no live-view frame\n");
        return 1;
    }
    const QImage image = QImage::fromData(frame, "JPG").convertToFormat(QImage::Format_RGB888);
    g_width = image.width();
    g_height = image.height();
    g_pixels.resize(size_t(g_width) * size_t(g_height) * 3);
    for (int y = 0; y < g_height; ++y)
        std::memcpy(g_pixels.data() + size_t(y) * size_t(g_width) * 3, image.constScanLine(y), size_t(g_width) * 3);

    const bool ran = bench::runInterleaved(argc, argv, {{"BM_SimulatedLiveViewFrame", "BM_EncodeSamePixels"}});
    eds::EdsCloseSession(g_camera);
    eds::EdsRelease(g_camera);
    eds::EdsTerminateSDK();
    return ran ? 0 : 1;
}
