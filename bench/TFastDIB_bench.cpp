// TFastDIB on a 20000 x 4000 24-bit scan: sizing, Clear and a full-image CopyRect, each beside the
// memory operation on the same bytes (calloc, memset, memcpy), so the results read as ratios.
#include "Ratios.h"
#include "image/TFastDIB.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int kWidth = 20000;
constexpr int kHeight = 4000;
constexpr size_t kBytes = size_t(((kWidth * 24 + 31) / 32) * 4) * kHeight;

void setBytes(benchmark::State& state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}

// Sizing a new image: a zero-filled block, touched once so the pages are really there.
void BM_SetSize(benchmark::State& state)
{
    for (auto _ : state) {
        TFastDIB d;
        d.SetSize(kWidth, kHeight, 24);
        for (size_t i = 0; i < kBytes; i += 4096)
            d.Bits[i] = 1;
        benchmark::DoNotOptimize(d.Bits);
    }
    setBytes(state);
}
BENCHMARK(BM_SetSize)->Unit(benchmark::kMillisecond);

void BM_SetSize_Reference_calloc(benchmark::State& state)
{
    for (auto _ : state) {
        auto* p = static_cast<unsigned char*>(std::calloc(kBytes, 1));
        for (size_t i = 0; i < kBytes; i += 4096)
            p[i] = 1;
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
    setBytes(state);
}
BENCHMARK(BM_SetSize_Reference_calloc)->Unit(benchmark::kMillisecond);

void BM_Clear(benchmark::State& state)
{
    TFastDIB d;
    d.SetSize(kWidth, kHeight, 24);
    for (auto _ : state) {
        d.Clear(TFColor{10, 20, 30});
        benchmark::ClobberMemory();
    }
    setBytes(state);
}
BENCHMARK(BM_Clear)->Unit(benchmark::kMillisecond);

void BM_Clear_Reference_memset(benchmark::State& state)
{
    std::unique_ptr<unsigned char[]> p(new unsigned char[kBytes]);
    for (auto _ : state) {
        std::memset(p.get(), 10, kBytes);
        benchmark::ClobberMemory();
    }
    setBytes(state);
}
BENCHMARK(BM_Clear_Reference_memset)->Unit(benchmark::kMillisecond);

void BM_CopyRect(benchmark::State& state)
{
    TFastDIB src, dst;
    src.SetSize(kWidth, kHeight, 24);
    dst.SetSize(kWidth, kHeight, 24);
    src.Clear(TFColor{1, 2, 3});
    dst.Clear(TFColor{0, 0, 0});
    for (auto _ : state) {
        dst.CopyRect(src, 0, 0, kWidth, kHeight, 0, 0);
        benchmark::ClobberMemory();
    }
    setBytes(state);
}
BENCHMARK(BM_CopyRect)->Unit(benchmark::kMillisecond);

void BM_CopyRect_Reference_memcpy(benchmark::State& state)
{
    std::unique_ptr<unsigned char[]> a(new unsigned char[kBytes]), b(new unsigned char[kBytes]);
    std::memset(a.get(), 1, kBytes);
    std::memset(b.get(), 0, kBytes);
    for (auto _ : state) {
        std::memcpy(b.get(), a.get(), kBytes);
        benchmark::ClobberMemory();
    }
    setBytes(state);
}
BENCHMARK(BM_CopyRect_Reference_memcpy)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    bench::compare("BM_SetSize", "BM_SetSize_Reference_calloc");
    bench::compare("BM_Clear", "BM_Clear_Reference_memset");
    bench::compare("BM_CopyRect", "BM_CopyRect_Reference_memcpy");
    return bench::runWithRatios(argc, argv);
}
