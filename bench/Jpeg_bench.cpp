// Decoding and encoding a long scan (12000 x 3000, 24 bits, quality 100 as in project files):
// our binding into and out of a TFastDIB next to libjpeg-turbo's own decode and encode of the same
// data in plain top-down memory. Read the results as ratios to the Reference rows.
#include "image/FastJPG.h"
#include "image/TFastDIB.h"

#include <QBuffer>
#include <QByteArray>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int Width = 12000;
constexpr int Height = 3000;
constexpr int Quality = 100;

// Smooth gradients with a little noise, like a scan of sanded wood.
TFastDIB& sourceImage()
{
    static TFastDIB* image = [] {
        auto* dib = new TFastDIB;
        dib->SetSize(Width, Height, 24);
        quint32 noise = 12345;
        for (int y = 0; y < Height; ++y) {
            auto* p = static_cast<quint8*>(dib->Scanlines[Height - 1 - y]);
            for (int x = 0; x < Width; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const int n = int(noise >> 29) - 4;
                const int ring = (x / 3) % 160;
                p[3 * x] = quint8(qBound(0, 40 + ring / 4 + n, 255));
                p[3 * x + 1] = quint8(qBound(0, 90 + ring / 2 + y / 60 + n, 255));
                p[3 * x + 2] = quint8(qBound(0, 150 + ring / 3 + n, 255));
            }
        }
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
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.constData()), jpeg.size());
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        cinfo.dct_method = JDCT_ISLOW;
        jpeg_start_decompress(&cinfo);
        const std::size_t stride = std::size_t(cinfo.output_width) * 3;
        std::unique_ptr<JSAMPLE[]> pixels(new JSAMPLE[stride * cinfo.output_height]);
        std::vector<JSAMPROW> rows(cinfo.output_height);
        for (JDIMENSION y = 0; y < cinfo.output_height; ++y)
            rows[y] = pixels.get() + y * stride;
        while (cinfo.output_scanline < cinfo.output_height)
            jpeg_read_scanlines(&cinfo, rows.data() + cinfo.output_scanline, cinfo.output_height - cinfo.output_scanline);
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels.get());
    }
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
    static const std::vector<JSAMPLE> pixels = [] {
        TFastDIB& image = sourceImage();
        std::vector<JSAMPLE> v(std::size_t(Width) * Height * 3);
        for (int y = 0; y < Height; ++y)
            std::memcpy(v.data() + std::size_t(y) * Width * 3, image.Scanlines[Height - 1 - y], std::size_t(Width) * 3);
        return v;
    }();
    for (auto _ : state) {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* out = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&cinfo, &out, &size);
        cinfo.image_width = Width;
        cinfo.image_height = Height;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        cinfo.dct_method = JDCT_ISLOW;
        jpeg_set_quality(&cinfo, Quality, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        std::vector<JSAMPROW> rows(Height);
        for (int y = 0; y < Height; ++y)
            rows[std::size_t(y)] = const_cast<JSAMPLE*>(pixels.data()) + std::size_t(y) * Width * 3;
        while (cinfo.next_scanline < cinfo.image_height)
            jpeg_write_scanlines(&cinfo, rows.data() + cinfo.next_scanline, cinfo.image_height - cinfo.next_scanline);
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    setCounters(state);
}

} // namespace

BENCHMARK(BM_Decode_TFastDIB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Decode_LibjpegReference)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Encode_TFastDIB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Encode_LibjpegReference)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
