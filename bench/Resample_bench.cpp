// Reduced copies of a 12000 x 3000 24-bit scan, at half size and at 1:22 (a zoomed-out view):
// nearest-neighbour resizing and filtered resampling with the point, triangle, Gaussian and
// Lanczos kernels. Reference: the toolkit's own scaling of the same pixels to the same size on one
// core, nearest pixels for the nearest resize and the point kernel, smooth scaling for the others.
// Times are the process's CPU time, the toolkit held to one thread of its pool and the resampler
// to the calling thread; rates are source megapixels per second.
#include "Ratios.h"

#include "image/Resample.h"
#include "image/TFastDIB.h"

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

constexpr int SrcWidth = 12000;
constexpr int SrcHeight = 3000;

// Smooth gradients with noise, so no kernel meets an all-equal image.
TFastDIB& scan()
{
    static TFastDIB* dib = [] {
        auto* d = new TFastDIB;
        d->UseGDI = false;
        d->SetSize(SrcWidth, SrcHeight, 24);
        std::mt19937 rng(5);
        for (int y = 0; y < SrcHeight; ++y)
            for (int x = 0; x < SrcWidth; ++x)
                d->Pixels24[y][x] = TFColor{quint8(x + (rng() & 15)), quint8(y + (rng() & 15)), quint8((x ^ y) >> 3)};
        return d;
    }();
    return *dib;
}

void setRate(benchmark::State& state)
{
    state.counters["MPix"] =
        benchmark::Counter(double(state.iterations()) * SrcWidth * SrcHeight / 1e6, benchmark::Counter::kIsRate);
}

// Kernel -1 is the nearest-neighbour resize; range(1) is the reduction (2: half size).
void BM_Resample(benchmark::State& state)
{
    TFastDIB& src = scan();
    const int kernel = int(state.range(0)), reduction = int(state.range(1));
    TFastDIB dst;
    dst.UseGDI = false;
    dst.SetSize(SrcWidth / reduction, SrcHeight / reduction, 24);
    for (auto _ : state) {
        bench::timeByCpu(state, [&] {
            if (kernel < 0)
                ResizeNearest(src, dst);
            else
                ResampleFiltered(src, dst, kernel);
            benchmark::DoNotOptimize(dst.Bits);
            benchmark::ClobberMemory();
        });
    }
    setRate(state);
}
BENCHMARK(BM_Resample)
    ->ArgNames({"kernel", "reduction"})
    ->ArgsProduct({{-1, rkPoint, rkTriangle, rkGaussian, rkLanczos3}, bench::sizes({2, 22})})
    ->UseManualTime()->Unit(benchmark::kMillisecond);

// Reference: QImage scaling the same 24-bit pixels to the same size.
void BM_Reference_QImageScale(benchmark::State& state)
{
    TFastDIB& src = scan();
    const Qt::TransformationMode mode = state.range(0) ? Qt::SmoothTransformation : Qt::FastTransformation;
    const int reduction = int(state.range(1));
    const QImage pixels(static_cast<const uchar*>(src.Bits), SrcWidth, SrcHeight, src.BWidth, QImage::Format_BGR888);
    for (auto _ : state) {
        bench::timeByCpu(state, [&] {
            const QImage scaled = pixels.scaled(SrcWidth / reduction, SrcHeight / reduction, Qt::IgnoreAspectRatio, mode);
            benchmark::DoNotOptimize(scaled.constBits());
        });
    }
    setRate(state);
}
BENCHMARK(BM_Reference_QImageScale)
    ->ArgNames({"smooth", "reduction"})
    ->ArgsProduct({{0, 1}, bench::sizes({2, 22})})
    ->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bench::oneToolkitThread();
    SetResampleThreads(1);
    for (const int reduction : {2, 22}) {
        const std::string r = "/reduction:" + std::to_string(reduction);
        for (const int kernel : {-1, int(rkPoint), int(rkTriangle), int(rkGaussian), int(rkLanczos3)})
            bench::compare("BM_Resample/kernel:" + std::to_string(kernel) + r,
                           "BM_Reference_QImageScale/smooth:" + std::string(kernel > rkPoint ? "1" : "0") + r);
    }
    return bench::runWithRatios(argc, argv);
}
