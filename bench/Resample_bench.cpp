// Building a half-size display copy of a 12000 × 3000 24-bit scan with the point, triangle and
// Gaussian kernels, and by nearest neighbour. Reference: a memory copy of the same source bytes.
// Rates are source megapixels per second.
#include "image/Resample.h"
#include "image/TFastDIB.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

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

void BM_ResampleFilteredHalf(benchmark::State& state)
{
    TFastDIB& src = scan();
    TFastDIB dst;
    dst.UseGDI = false;
    dst.SetSize(SrcWidth / 2, SrcHeight / 2, 24);
    const int kernel = int(state.range(0));
    for (auto _ : state) {
        ResampleFiltered(src, dst, kernel);
        benchmark::DoNotOptimize(dst.Bits);
        benchmark::ClobberMemory();
    }
    setRate(state);
}
BENCHMARK(BM_ResampleFilteredHalf)->Arg(rkPoint)->Arg(rkTriangle)->Arg(rkGaussian)->Unit(benchmark::kMillisecond);

void BM_ResizeNearestHalf(benchmark::State& state)
{
    TFastDIB& src = scan();
    TFastDIB dst;
    dst.UseGDI = false;
    dst.SetSize(SrcWidth / 2, SrcHeight / 2, 24);
    for (auto _ : state) {
        ResizeNearest(src, dst);
        benchmark::DoNotOptimize(dst.Bits);
        benchmark::ClobberMemory();
    }
    setRate(state);
}
BENCHMARK(BM_ResizeNearestHalf)->Unit(benchmark::kMillisecond);

// Reference: copying the source's bytes once.
void BM_MemcpySourceBytes(benchmark::State& state)
{
    TFastDIB& src = scan();
    const size_t bytes = size_t(src.BWidth) * size_t(src.AbsHeight);
    std::vector<quint8> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), src.Bits, bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setRate(state);
}
BENCHMARK(BM_MemcpySourceBytes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
