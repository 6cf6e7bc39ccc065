// One wheel zoom step in a 1920 x 1080 image window over one and over four trays of
// 47244 x 9449 pixels (2400 dpi scans, stacked), next to the fitted zoom: the zoomed copies of
// all trays built anew at the resampling setting, then a complete repaint. Reference: the
// toolkit scaling the same pixels to the same sizes, nearest pixels for the point and nearest
// settings, smooth scaling for Gaussian and Lanczos. Both may use every processor thread, as
// they do for the user; times are the wall clock's, what the user waits for, with the process's
// CPU time beside them (cpu_ms). Four trays need about 5.5 GB.
#include "Ratios.h"

#include "image/TFastDIB.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>

namespace {

constexpr int kViewW = 1920;
constexpr int kViewH = 1080;
constexpr int kTrayW = 47244;
constexpr int kTrayH = 9449;

// Wood-like stripes with a little noise, so no row or column repeats.
void fillTray(TFastDIB& dib, int seed)
{
    quint32 noise = 12345u + quint32(seed);
    for (int row = 0; row < dib.AbsHeight; ++row) {
        TFColor* p = dib.Pixels24[row];
        for (int x = 0; x < dib.Info.Header.Width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = int(noise >> 29);
            const int ring = (x / 3 + seed * 40) % 160;
            p[x] = TFColor{quint8(40 + ring / 4 + n), quint8(90 + ring / 2 + row / 60 + n), quint8(150 + ring / 3 + n)};
        }
    }
}

std::unique_ptr<TF_SMDI>& windowStore()
{
    static std::unique_ptr<TF_SMDI> w;
    return w;
}

// The window with `trays` trays, made anew when the count changes.
TF_SMDI& window(int trays)
{
    std::unique_ptr<TF_SMDI>& w = windowStore();
    if (w && int(w->StitchList.size()) == trays)
        return *w;
    w.reset();
    ApplyAbsentSettingDefaults();
    w = std::make_unique<TF_SMDI>();
    w->PB->resize(kViewW, kViewH);
    for (int i = 0; i < trays; ++i) {
        auto so = std::make_unique<TStitchObject>();
        so->y = i * kTrayH;
        so->Width = kTrayW;
        so->Height = kTrayH;
        so->FD->SetSize(kTrayW, kTrayH, 24);
        fillTray(*so->FD, i);
        w->StitchList.push_back(std::move(so));
    }
    w->UpdateArea();
    return *w;
}

// The zoom at which the canvas fits the view with the margins the window keeps.
int fittedZoom(int trays)
{
    int z = 11;
    while (double(kTrayW) / (z - 9) >= kViewW - 50 || double(kTrayH) * trays / (z - 9) >= kViewH - 50)
        ++z;
    return z;
}

// As the main window's wheel handler: the zoom changes by one, the canvas point under the mouse
// stays, one complete repaint.
void wheelStep(TF_SMDI& w, int zoom)
{
    const QPoint before = w.AbsMouse;
    w.Drawing = true;
    w.setZoom(zoom);
    const QPoint p = w.ToReal(w.Mouse.x(), w.Mouse.y());
    if (p.x() <= w.Area->x2 && p.y() <= w.Area->y2) {
        w.SB_H->setValue(w.SB_H->value() + before.x() - p.x());
        w.SB_V->setValue(w.SB_V->value() + before.y() - p.y());
    }
    w.Drawing = false;
    w.SmoothDraw(true);
}

void BM_ZoomStep(benchmark::State& state)
{
    const int trays = int(state.range(0));
    SettingResamplingAlgorithm = int(state.range(1));
    TF_SMDI& w = window(trays);
    const int fitted = fittedZoom(trays);
    w.Mouse = QPoint(kViewW / 2, kViewH / 2);
    wheelStep(w, fitted);
    w.AbsMouse = w.ToReal(w.Mouse.x(), w.Mouse.y());
    // Untimed steps first: freshly written gigabytes read slowly the first time on some machines.
    wheelStep(w, fitted - 1);
    wheelStep(w, fitted);
    bool in = true;
    double cpu = 0;
    for (auto _ : state) {
        bench::timeByWall(state, cpu, [&] {
            wheelStep(w, in ? fitted - 1 : fitted);
            in = !in;
            benchmark::DoNotOptimize(w.B_Foreground.constBits());
        });
    }
    bench::reportCpu(state, cpu);
    SettingResamplingAlgorithm = 1;
}
BENCHMARK(BM_ZoomStep)
    ->ArgNames({"trays", "setting"})
    ->ArgsProduct({bench::sizes({1, 4}), {0, 1, 2, 3}})
    ->UseManualTime()->Unit(benchmark::kMillisecond);

// Reference: QImage scaling every tray's 24-bit pixels to the sizes the step builds, in turn.
void BM_Reference_QImageScale(benchmark::State& state)
{
    const int trays = int(state.range(0));
    const Qt::TransformationMode mode = state.range(1) ? Qt::SmoothTransformation : Qt::FastTransformation;
    TF_SMDI& w = window(trays);
    const int fitted = fittedZoom(trays);
    bool in = true;
    double cpu = 0;
    for (auto _ : state) {
        bench::timeByWall(state, cpu, [&] {
            const int div = (in ? fitted - 1 : fitted) - 9;
            in = !in;
            for (const auto& so : w.StitchList) {
                const TFastDIB& fd = *so->FD;
                const QImage pixels(static_cast<const uchar*>(fd.Bits), fd.Info.Header.Width, fd.AbsHeight, fd.BWidth,
                                    QImage::Format_BGR888);
                const QImage scaled = pixels.scaled(int(std::nearbyint(double(so->Width) / div)),
                                                    int(std::nearbyint(double(so->Height) / div)), Qt::IgnoreAspectRatio, mode);
                benchmark::DoNotOptimize(scaled.constBits());
            }
        });
    }
    bench::reportCpu(state, cpu);
}
BENCHMARK(BM_Reference_QImageScale)
    ->ArgNames({"trays", "smooth"})
    ->ArgsProduct({bench::sizes({1, 4}), {0, 1}})
    ->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    for (const int64_t trays : bench::sizes({1, 4})) {
        const std::string t = "trays:" + std::to_string(trays);
        for (const int setting : {0, 1, 2, 3})
            bench::compare("BM_ZoomStep/" + t + "/setting:" + std::to_string(setting),
                           "BM_Reference_QImageScale/" + t + "/smooth:" + std::to_string(setting >= 2 ? 1 : 0));
    }
    const int result = bench::runWithRatios(argc, argv);
    windowStore().reset();
    return result;
}
