// Decoding and encoding a long scan (12000 x 3000, 24 bits, quality 100 as in project files):
// our binding into and out of a TFastDIB next to libjpeg-turbo's own decode and encode of the same
// data in plain top-down memory. Read the results as ratios to the Reference rows.
#include "BenchSupport.h"
#include "Ratios.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"
#include "project/Helpers.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr int Width = 12000;
constexpr int Height = 3000;
constexpr int Quality = 100;

TFastDIB& sourceImage()
{
    static TFastDIB* image = [] {
        auto* dib = new TFastDIB;
        dib->SetSize(Width, Height, 24);
        bench::fillScan(*dib, Width, Height, 0);
        return dib;
    }();
    return *image;
}

const QByteArray& sourceJpeg()
{
    static const QByteArray bytes = [] {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        if (SaveJPGStream(&sourceImage(), &buffer, Quality) != 0)
            std::abort();
        return out;
    }();
    return bytes;
}

void setCounters(benchmark::State& state)
{
    state.SetBytesProcessed(state.iterations() * qint64(Width) * Height * 3);
    state.counters["jpeg_MB"] = double(sourceJpeg().size()) / 1e6;
}

void BM_Decode_TFastDIB(benchmark::State& state)
{
    const QByteArray& jpeg = sourceJpeg();
    for (auto _ : state) {
        TFastDIB image;
        TFastJPG jpg;
        jpg.AttachImage(&image);
        if (jpg.LoadMem(reinterpret_cast<const quint8*>(jpeg.constData()), jpeg.size()) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.Bits);
    }
    setCounters(state);
}

// The same settings as the binding: blue-green-red out, accurate integer DCT, default upsampling.
void BM_Decode_LibjpegReference(benchmark::State& state)
{
    const QByteArray& jpeg = sourceJpeg();
    for (auto _ : state)
        bench::referenceDecode(jpeg);
    setCounters(state);
}

void BM_Encode_TFastDIB(benchmark::State& state)
{
    TFastDIB& image = sourceImage();
    for (auto _ : state) {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        if (SaveJPGStream(&image, &buffer, Quality) != 0)
            state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(out.data());
    }
    setCounters(state);
}

void BM_Encode_LibjpegReference(benchmark::State& state)
{
    // Plain top-down copy of the same pixels, made once.
    static const std::vector<JSAMPLE> pixels = bench::topDownPixels(sourceImage(), Width, Height);
    for (auto _ : state)
        bench::referenceEncode(pixels, Width, Height, Quality);
    setCounters(state);
}

// ---- the picture-file road -------------------------------------------------------------------------

const QString& sourceFile()
{
    static QTemporaryDir dir;
    static const QString name = [] {
        const QString file = dir.filePath(QStringLiteral("scan.jpg"));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(sourceJpeg()) != sourceJpeg().size())
            std::abort();
        return file;
    }();
    return name;
}

// Opening an image file: extension and content checks, the size checks, the decode, 24 bits.
void BM_LoadPictureToDIB(benchmark::State& state)
{
    const QString& file = sourceFile();
    for (auto _ : state) {
        TFastDIB image;
        if (LoadPictureToDIB(image, file) != 0)
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(image.Bits);
    }
    setCounters(state);
}

// Reading the same file and decoding it with libjpeg-turbo alone.
void BM_ReadAndDecode_LibjpegReference(benchmark::State& state)
{
    const QString& file = sourceFile();
    for (auto _ : state) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            state.SkipWithError("read failed");
        bench::referenceDecode(f.readAll());
    }
    setCounters(state);
}

} // namespace

BENCHMARK(BM_LoadPictureToDIB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadAndDecode_LibjpegReference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Decode_TFastDIB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Decode_LibjpegReference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Encode_TFastDIB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Encode_LibjpegReference)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    bench::compare("BM_LoadPictureToDIB", "BM_ReadAndDecode_LibjpegReference");
    bench::compare("BM_Decode_TFastDIB", "BM_Decode_LibjpegReference");
    bench::compare("BM_Encode_TFastDIB", "BM_Encode_LibjpegReference");
    return bench::runWithRatios(argc, argv);
}
