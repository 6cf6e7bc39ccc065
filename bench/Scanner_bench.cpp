// Scanning a 12000 x 3000 colour picture from SANE's test device: from the scan's start to the
// picture arriving in the image event, beside the device's own delivery of the same scan read
// with a plain sane_read loop into one buffer.
#include "Ratios.h"

#include "platform/Twain.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <cstring>
#include <string>
#include <memory>
#include <vector>

namespace {

constexpr int kDpi = 1200;
constexpr int kWidth = 12000;
constexpr int kHeight = 3000;

// A SANE configuration with only the test device, its picture 12000 x 3000 at 1200 dpi.
bool makeConfig(QTemporaryDir& dir)
{
    QFile dll(dir.filePath(QStringLiteral("dll.conf")));
    QFile test(dir.filePath(QStringLiteral("test.conf")));
    if (!dll.open(QIODevice::WriteOnly) || !test.open(QIODevice::WriteOnly))
        return false;
    dll.write("test\n");
    // Millimetres a little over 10 x 2.5 inches; the device truncates to whole pixels.
    test.write("number_of_devices 1\nmode Color\ndepth 8\nresolution 1200\ntest-picture \"Color pattern\"\n"
               "geometry_max 300.0\ntl_x 0.0\ntl_y 0.0\nbr_x 254.01\nbr_y 63.51\n");
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(dir.path()));
    return true;
}

void BM_ScanArrivesInTheImageEvent(benchmark::State& state)
{
    TTwain twain;
    if (!twain.LoadSourceManager() || twain.SourceList().isEmpty()) {
        state.SkipWithError("no SANE test device");
        return;
    }
    QImage last;
    QEventLoop loop;
    bool failed = false;
    twain.OnTwainAcquire = [&](TTwain*, int, const QImage& image, bool& cancel) {
        last = image;
        cancel = false; // keep the device open for the next round
        loop.quit();
    };
    twain.OnAcquireError = [&](TTwain*) { failed = true; loop.quit(); };
    twain.OnAcquireCancel = [&](TTwain*) { failed = true; loop.quit(); };
    twain.OnSourceOpened = [&](TTwain*) { loop.quit(); };
    twain.EnableSource(0, false);
    loop.exec();
    if (failed || !twain.SourceOpen()) {
        state.SkipWithError("the test device did not open");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        bench::timeByWall(state, cpu, [&] {
            twain.Acquire({QStringLiteral("Color"), kDpi});
            loop.exec();
        });
        if (failed || last.width() != kWidth || last.height() != kHeight) {
            state.SkipWithError("the scan did not arrive at its size");
            return;
        }
        last = QImage();
    }
    bench::reportCpu(state, cpu);
    twain.DisableSource();
}
BENCHMARK(BM_ScanArrivesInTheImageEvent)->UseManualTime()->Iterations(bench::iterations(3))->Unit(benchmark::kMillisecond);

// The device alone: the same options, sane_start, and sane_read into a new buffer until the end.
void BM_Reference_PlainSaneReadLoop(benchmark::State& state)
{
    SANE_Int version = 0;
    SANE_Handle h = nullptr;
    if (sane_init(&version, nullptr) != SANE_STATUS_GOOD || sane_open("test:0", &h) != SANE_STATUS_GOOD) {
        state.SkipWithError("no SANE test device");
        return;
    }
    SANE_Int count = 0;
    sane_control_option(h, 0, SANE_ACTION_GET_VALUE, &count, nullptr);
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(h, i);
        if (!d || !d->name)
            continue;
        if (std::strcmp(d->name, SANE_NAME_SCAN_MODE) == 0) {
            std::vector<char> mode(size_t(d->size), 0);
            std::strcpy(mode.data(), "Color");
            sane_control_option(h, i, SANE_ACTION_SET_VALUE, mode.data(), nullptr);
        } else if (std::strcmp(d->name, SANE_NAME_SCAN_RESOLUTION) == 0) {
            SANE_Word dpi = d->type == SANE_TYPE_FIXED ? SANE_FIX(kDpi) : kDpi;
            sane_control_option(h, i, SANE_ACTION_SET_VALUE, &dpi, nullptr);
        }
    }
    const size_t size = size_t(kWidth) * 3 * kHeight;
    double cpu = 0;
    for (auto _ : state) {
        size_t got = 0;
        // Each scan is a new picture, so each gets memory of its own, as the layer's does.
        std::unique_ptr<unsigned char[]> buffer;
        bench::timeByWall(state, cpu, [&] {
            buffer.reset(new unsigned char[size]);
            if (sane_start(h) != SANE_STATUS_GOOD)
                return;
            SANE_Int len = 0;
            while (got < size
                   && sane_read(h, buffer.get() + got, SANE_Int(std::min<size_t>(size - got, 1 << 24)), &len)
                          == SANE_STATUS_GOOD)
                got += size_t(len);
            sane_cancel(h);
        });
        if (got != size) {
            state.SkipWithError("the scan did not arrive at its size");
            break;
        }
        benchmark::DoNotOptimize(buffer.get());
    }
    bench::reportCpu(state, cpu);
    sane_close(h);
    sane_exit();
}
BENCHMARK(BM_Reference_PlainSaneReadLoop)->UseManualTime()->Iterations(bench::iterations(3))->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir dir;
    if (!dir.isValid() || !makeConfig(dir))
        return 1;
    QCoreApplication app(argc, argv);
    const std::string iterations = "/iterations:" + std::to_string(bench::iterations(3));
    bench::compare("BM_ScanArrivesInTheImageEvent" + iterations, "BM_Reference_PlainSaneReadLoop" + iterations);
    return bench::runWithRatios(argc, argv);
}
