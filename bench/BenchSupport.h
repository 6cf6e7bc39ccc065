// What the image benchmarks share: a wood-like test scan and libjpeg-turbo's own decode and encode
// with the binding's settings, the reference the measured code is read against.
#pragma once

#include "image/TFastDIB.h"

#include <QByteArray>
#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace bench {

// Smooth gradients with a little noise, like a scan of sanded wood; each seed a little different.
// The image must already be sized to 24 bits.
inline void fillScan(TFastDIB& dib, int width, int height, int seed)
{
    quint32 noise = 12345u + quint32(seed);
    for (int y = 0; y < height; ++y) {
        auto* p = static_cast<quint8*>(dib.Scanlines[height - 1 - y]);
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = int(noise >> 29) - 4;
            const int ring = (x / 3 + seed * 40) % 160;
            p[3 * x] = quint8(qBound(0, 40 + ring / 4 + n, 255));
            p[3 * x + 1] = quint8(qBound(0, 90 + ring / 2 + y / 60 + n, 255));
            p[3 * x + 2] = quint8(qBound(0, 150 + ring / 3 + n, 255));
        }
    }
}

// Plain top-down copy of a 24-bit image's pixels, as the reference encoder reads them.
inline std::vector<JSAMPLE> topDownPixels(const TFastDIB& dib, int width, int height)
{
    std::vector<JSAMPLE> v(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        std::memcpy(v.data() + std::size_t(y) * width * 3, dib.Scanlines[height - 1 - y], std::size_t(width) * 3);
    return v;
}

// The binding's settings: blue-green-red out, accurate integer DCT, default upsampling.
inline void referenceDecode(const QByteArray& jpeg)
{
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

// Encodes top-down blue-green-red pixels with the binding's settings at the given quality, into
// memory or, given a file, through libjpeg's own file output.
inline void referenceEncode(const std::vector<JSAMPLE>& pixels, int width, int height, int quality,
                            FILE* file = nullptr)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (file)
        jpeg_stdio_dest(&cinfo, file);
    else
        jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[std::size_t(y)] = const_cast<JSAMPLE*>(pixels.data()) + std::size_t(y) * width * 3;
    while (cinfo.next_scanline < cinfo.image_height)
        jpeg_write_scanlines(&cinfo, rows.data() + cinfo.next_scanline, cinfo.image_height - cinfo.next_scanline);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    benchmark::DoNotOptimize(out);
    std::free(out);
}

} // namespace bench
