// The camera notification queue: what an SDK callback and the dispatcher's tick cost together.
// - a live-view picture (300 KB) handed in by the callback and delivered to the handler; reference:
//   the copy of the same bytes into a new buffer, which the callback cannot do without;
// - a progress notification; reference: the same value through a plain locked queue.
#include "MedianRatio.h"

#include "TCamRemote/Sources/CamRemote.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <deque>
#include <memory>
#include <mutex>

namespace {

// An EOS back-end without an SDK: the scan finds nothing, which is all the queue needs.
class NoEDSDK : public TEDSDK {
public:
    void InitCommunications() override {}
    void EnumerateCameras(QStringList& CameraList) override { CameraList.clear(); }
    void FinilizeCommunications() override {}
};

std::unique_ptr<TCamRemote> scannedComponent()
{
    auto cam = std::make_unique<TCamRemote>(nullptr, nullptr, nullptr, std::make_unique<NoEDSDK>());
    cam->OpenCameraEnumeration();
    cam->NotifyTimer()->stop(); // the benchmark ticks itself
    return cam;
}

QByteArray livePicture()
{
    QByteArray bytes(300 * 1024, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 31 + (i >> 8));
    return bytes;
}

void BM_LiveViewPictureThroughQueue(benchmark::State& state)
{
    auto cam = scannedComponent();
    const QByteArray picture = livePicture();
    qint64 delivered = 0;
    cam->setOnViewfinderEvent([&](const QByteArray& jpeg, const ViewfinderPositionType&) { delivered += jpeg.at(7); });
    const uintptr_t slot = uintptr_t(cam->InstanceNumber());
    for (auto _ : state) {
        CDViewfinderCallback(picture.constData(), uint32_t(picture.size()), 0, slot);
        cam->NotifyTimerTimer();
    }
    benchmark::DoNotOptimize(delivered);
    cam->CloseCameraEnumeration();
}

void BM_CopyPicture(benchmark::State& state)
{
    const QByteArray picture = livePicture();
    qint64 delivered = 0;
    for (auto _ : state) {
        const QByteArray copy(picture.constData(), picture.size());
        delivered += copy.at(7);
    }
    benchmark::DoNotOptimize(delivered);
}

void BM_ProgressThroughQueue(benchmark::State& state)
{
    auto cam = scannedComponent();
    qint64 sum = 0;
    cam->setOnRemoteTakePictureEvent([&](int p) { sum += p; });
    const uintptr_t slot = uintptr_t(cam->InstanceNumber());
    for (auto _ : state) {
        TakePictureProgress(42, 0, slot);
        cam->NotifyTimerTimer();
    }
    benchmark::DoNotOptimize(sum);
    cam->CloseCameraEnumeration();
}

void BM_PlainLockedQueue(benchmark::State& state)
{
    std::mutex lock;
    std::deque<int> queue;
    qint64 sum = 0;
    for (auto _ : state) {
        {
            std::lock_guard guard(lock);
            queue.push_back(42);
        }
        std::lock_guard guard(lock);
        sum += queue.front();
        queue.pop_front();
    }
    benchmark::DoNotOptimize(sum);
}

BENCHMARK(BM_LiveViewPictureThroughQueue)->Repetitions(bench::repetitions(9))->ReportAggregatesOnly(true);
BENCHMARK(BM_CopyPicture)->Repetitions(bench::repetitions(9))->ReportAggregatesOnly(true);
BENCHMARK(BM_ProgressThroughQueue)->Repetitions(bench::repetitions(9))->ReportAggregatesOnly(true);
BENCHMARK(BM_PlainLockedQueue)->Repetitions(bench::repetitions(9))->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Making the component loads the PowerShot SDK: the stand-ins built beside the benchmarks.
    qputenv("JEX4_CAMERA_SDK_PATH", QFile::encodeName(QCoreApplication::applicationDirPath() + QStringLiteral("/../sdk/bin")));
    std::vector<char*> args = bench::quickArgs(argc, argv);
    if (!bench::initialize(args))
        return 1;
    bench::MedianRatioReporter reporter({{"BM_LiveViewPictureThroughQueue", "BM_CopyPicture"},
                                         {"BM_ProgressThroughQueue", "BM_PlainLockedQueue"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
