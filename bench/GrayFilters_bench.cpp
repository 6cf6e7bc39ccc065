// The grayscale dialog's filters on a 12000 × 3000 24-bit scan, each applied to a fresh copy of
// the scan (the copy is not timed). Reference: a memory copy of the same bytes. Rates are
// megapixels per second.
#include "Ratios.h"

#include "image/GrayFilters.h"
#include "image/TFastDIB.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr int Width = 12000;
constexpr int Height = 3000;

// Ring-like gradients with noise; a quarter of the pixels dark, so the binary filters find specks.
const TFastDIB& scan()
{
    static TFastDIB* dib = [] {
        auto* d = new TFastDIB;
        d->UseGDI = false;
        d->SetSize(Width, Height, 24);
        std::mt19937 rng(7);
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const quint8 v = (rng() & 3) == 0 ? 0 : quint8((x * 7 + (rng() & 31)) & 255);
                d->Pixels24[y][x] = TFColor{v, quint8(v ^ (y & 15)), quint8(v + 3)};
            }
        return d;
    }();
    return *dib;
}

qint64 bytes(const TFastDIB& d)
{
    return qint64(d.BWidth) * d.AbsHeight;
}

void setRate(benchmark::State& state)
{
    state.counters["MPix"] =
        benchmark::Counter(double(state.iterations()) * Width * Height / 1e6, benchmark::Counter::kIsRate);
}

void runFilter(benchmark::State& state, const std::function<void(TFastDIB&)>& filter)
{
    const TFastDIB& src = scan();
    TFastDIB work;
    work.UseGDI = false;
    work.SetSize(Width, Height, 24);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.Bits, src.Bits, size_t(bytes(src)));
        state.ResumeTiming();
        filter(work);
        benchmark::DoNotOptimize(work.Bits);
        benchmark::ClobberMemory();
    }
    setRate(state);
}

void BM_MedianFilter(benchmark::State& state)
{
    runFilter(state, [](TFastDIB& d) { MedianFilter(d, 1); });
}
BENCHMARK(BM_MedianFilter)->Unit(benchmark::kMillisecond);

void BM_ChannelMixGray(benchmark::State& state)
{
    runFilter(state, [](TFastDIB& d) { ChannelMixGray(d, 30, 59, 11); });
}
BENCHMARK(BM_ChannelMixGray)->Unit(benchmark::kMillisecond);

void BM_BitPlaneFilter(benchmark::State& state)
{
    const std::array<bool, 8> bit7{false, false, false, false, false, false, false, true};
    runFilter(state, [&bit7](TFastDIB& d) { BitPlaneFilter(d, bit7, false, false); });
}
BENCHMARK(BM_BitPlaneFilter)->Unit(benchmark::kMillisecond);

void BM_ThresholdBand(benchmark::State& state)
{
    runFilter(state, [](TFastDIB& d) { ThresholdBand(d, 128, 148, true, false, false); });
}
BENCHMARK(BM_ThresholdBand)->Unit(benchmark::kMillisecond);

void BM_DespeckleFilter(benchmark::State& state)
{
    runFilter(state, [](TFastDIB& d) { DespeckleFilter(d); });
}
BENCHMARK(BM_DespeckleFilter)->Unit(benchmark::kMillisecond);

void BM_DilateFilter(benchmark::State& state)
{
    runFilter(state, [](TFastDIB& d) { DilateFilter(d); });
}
BENCHMARK(BM_DilateFilter)->Unit(benchmark::kMillisecond);

void BM_EdgeEnhanceFilter(benchmark::State& state)
{
    runFilter(state, [](TFastDIB& d) { EdgeEnhanceFilter(d); });
}
BENCHMARK(BM_EdgeEnhanceFilter)->Unit(benchmark::kMillisecond);

// Reference: copying the scan's bytes once.
void BM_MemcpyScanBytes(benchmark::State& state)
{
    const TFastDIB& src = scan();
    std::vector<quint8> target(size_t(bytes(src)));
    for (auto _ : state) {
        std::memcpy(target.data(), src.Bits, target.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    setRate(state);
}
BENCHMARK(BM_MemcpyScanBytes)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    for (const char* filter : {"BM_MedianFilter", "BM_ChannelMixGray", "BM_BitPlaneFilter", "BM_ThresholdBand",
                               "BM_DespeckleFilter", "BM_DilateFilter", "BM_EdgeEnhanceFilter"})
        bench::compare(filter, "BM_MemcpyScanBytes");
    return bench::runWithRatios(argc, argv);
}
