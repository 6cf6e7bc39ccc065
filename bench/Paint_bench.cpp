// Repaint of a 1920 x 1080 image window over three 20000 x 4000 scans with 300 measured points:
// a complete repaint (images composed anew) and an overlay-only repaint at magnifying, 1:1 and
// reducing zooms, beside a bare QPainter drawImage of the same visible pixels as reference.
#include "image/TFastDIB.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

constexpr int kViewW = 1920;
constexpr int kViewH = 1080;
constexpr int kImageW = 20000;
constexpr int kImageH = 4000;
constexpr int kImages = 3;
constexpr int kPoints = 300;

// Wood-like stripes, so that nothing compresses or repeats in whole rows.
void fillScan(TFastDIB& dib, int seed)
{
    for (int row = 0; row < dib.AbsHeight; ++row) {
        TFColor* p = dib.Pixels24[row];
        for (int x = 0; x < dib.Info.Header.Width; ++x)
            p[x] = TFColor{quint8(x * 3 + seed), quint8((x >> 4) + row), quint8(row * 5 + seed * 7)};
    }
}

// One window for all runs: building the scans takes seconds.
TF_SMDI& window()
{
    static std::unique_ptr<TF_SMDI> w = [] {
        ApplyAbsentSettingDefaults();
        auto win = std::make_unique<TF_SMDI>();
        win->PB->resize(kViewW, kViewH);
        for (int i = 0; i < kImages; ++i) {
            auto so = std::make_unique<TStitchObject>();
            so->x = i * kImageW;
            so->Width = kImageW;
            so->Height = kImageH;
            so->FD->SetSize(kImageW, kImageH, 24);
            fillScan(*so->FD, i);
            win->StitchList.push_back(std::move(so));
        }
        // One path across the whole canvas: an index point and 14 ring borders after it, 20 times.
        TPath* path = win->PathList.front().get();
        const int step = kImages * kImageW / kPoints;
        for (int n = 0; n < kPoints; ++n) {
            const QPoint pos(n * step + 50, kImageH / 2 + (n % 7) * 9);
            if (n % 15 == 0) {
                auto index = std::make_unique<TIndex>();
                index->Pos = pos;
                index->Path = path;
                path->ObjectList.push_back(std::move(index));
            } else {
                auto m = std::make_unique<TMeasurement>();
                m->Pos = pos;
                m->Path = path;
                m->Index = path->ObjectList.back().get();
                path->ObjectList.back()->ObjectList.push_back(std::move(m));
            }
        }
        win->UpdateArea();
        return win;
    }();
    return *w;
}

// The view centred on the seam of the first two scans, at zoom z.
void showZoom(int z)
{
    TF_SMDI& w = window();
    w.setZoom(z);
    w.ResampleStitchObjects(nullptr);
    w.UpdateArea();
    const double div = w.GetZoomDiv(z);
    w.SB_H->setRange(0, kImages * kImageW);
    w.SB_V->setRange(0, kImageH);
    w.SB_H->setValue(int(kImageW - div * kViewW / 2));
    w.SB_V->setValue(int(kImageH / 2 - div * kViewH / 2));
    w.SmoothDraw(true);
}

void BM_SmoothDrawComplete(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    TF_SMDI& w = window();
    for (auto _ : state) {
        w.SmoothDraw(true);
        benchmark::DoNotOptimize(w.B_Foreground.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SmoothDrawComplete)->Arg(5)->Arg(10)->Arg(11)->Arg(20)->Arg(60)->Unit(benchmark::kMillisecond);

void BM_SmoothDrawOverlays(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    TF_SMDI& w = window();
    for (auto _ : state) {
        w.SmoothDraw(false);
        benchmark::DoNotOptimize(w.B_Foreground.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SmoothDrawOverlays)->Arg(5)->Arg(10)->Arg(11)->Arg(20)->Arg(60)->Unit(benchmark::kMillisecond);

// Reference: the visible pixels, already RGB32, drawn by QPainter into a layer of the same size.
void BM_Reference_DrawImage(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    const QImage visible = window().B_Background.copy();
    QImage layer(kViewW, kViewH, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&layer);
        p.drawImage(0, 0, visible);
        p.end();
        benchmark::DoNotOptimize(layer.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Reference_DrawImage)->Arg(5)->Arg(10)->Arg(11)->Arg(20)->Arg(60)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
