// The adjustment dialogs on a 12000 × 3000 24-bit scan. OK's pixel work (the settings applied to
// the whole picture) beside a memory copy of the same bytes, on one thread and as the program
// runs it; the preview made anew after a slider change (reduced copy, settings, paint) beside the
// toolkit's fast scaling and drawing of the same picture to the same reduced size; the grayscale
// dialog's preview likewise at its reduction of three (the toolkit only scales; the dialog also
// runs its filters on the reduced copy).
#include "image/ImageAdjustments.h"
#include "image/TFastDIB.h"
#include "project/TStitchObject.h"
#include "workspace/AdjustPreview.h"
#include "workspace/TF_Contrast.h"
#include "workspace/TF_Grayscale.h"
#include "workspace/TF_SMDI.h"

#include "BenchSupport.h"
#include "Ratios.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QCheckBox>
#include <QScrollBar>
#include "shell/TThinTrackBar.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int Width = 12000;
constexpr int Height = 3000;
const ImageAdjustments Some{40, -15, 120, 10, -5, 30};

// Ring-like gradients with noise.
void fillScan(TFastDIB& d)
{
    std::mt19937 rng(7);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            const quint8 v = quint8((x * 7 + (rng() & 31)) & 255);
            d.Pixels24[y][x] = TFColor{v, quint8(v ^ (y & 15)), quint8(v + 3)};
        }
}

const TFastDIB& scan()
{
    static TFastDIB* dib = [] {
        auto* d = new TFastDIB;
        d->UseGDI = false;
        d->SetSize(Width, Height, 24);
        fillScan(*d);
        return d;
    }();
    return *dib;
}

size_t bytes(const TFastDIB& d)
{
    return size_t(qint64(d.BWidth) * d.AbsHeight);
}

void adjustFull(benchmark::State& state, int threads)
{
    const TFastDIB& src = scan();
    TFastDIB work;
    work.UseGDI = false;
    work.SetSize(Width, Height, 24);
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(work.Bits, src.Bits, bytes(src));
        state.ResumeTiming();
        ApplyAdjustments(work, Some, threads);
        benchmark::ClobberMemory();
    }
}

void BM_AdjustOk_OneThread(benchmark::State& state)
{
    adjustFull(state, 1);
}
BENCHMARK(BM_AdjustOk_OneThread)->Unit(benchmark::kMillisecond);

void BM_AdjustOk(benchmark::State& state)
{
    adjustFull(state, 4);
}
BENCHMARK(BM_AdjustOk)->Unit(benchmark::kMillisecond);

// Reference: copying the scan's bytes once.
void BM_Reference_MemcpyScanBytes(benchmark::State& state)
{
    const TFastDIB& src = scan();
    std::vector<quint8> target(bytes(src));
    for (auto _ : state) {
        std::memcpy(target.data(), src.Bits, target.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Reference_MemcpyScanBytes)->Unit(benchmark::kMillisecond);

// A slider moves: the dialog makes its preview anew and paints it, as its refresh does.
void BM_AdjustPreviewAfterSliderChange(benchmark::State& state)
{
    TF_SMDI w;
    auto so = std::make_unique<TStitchObject>();
    so->FD->SetSize(Width, Height, 24);
    fillScan(*so->FD);
    so->Width = Width;
    so->Height = Height;
    w.StitchList.push_back(std::move(so));
    TF_Contrast d;
    d.MDI = &w;
    d.resize(1000, 600);
    d.show();
    QCoreApplication::processEvents();
    QImage screen(d.PB_Contrast->size(), QImage::Format_RGB32);
    int n = 0;
    for (auto _ : state) {
        d.SB_Contrast->setValue(++n & 63); // what the slider sends
        d.BuildPreview();
        d.RefreshView();
        QPainter p(&screen);
        d.PB_Contrast->render(p);
        p.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
    d.reject();
}
BENCHMARK(BM_AdjustPreviewAfterSliderChange)->Unit(benchmark::kMillisecond);

// The grayscale dialog's threshold moves with black and white and gray ticked: the preview,
// reduced three times, is made and painted anew.
void BM_GrayscalePreviewAfterThresholdChange(benchmark::State& state)
{
    TF_SMDI w;
    auto so = std::make_unique<TStitchObject>();
    so->FD->SetSize(Width, Height, 24);
    fillScan(*so->FD);
    so->Width = Width;
    so->Height = Height;
    w.StitchList.push_back(std::move(so));
    TF_Grayscale d;
    d.MDI = &w;
    d.resize(1000, 600);
    d.show();
    d.CB_BlackWhite->setChecked(true);
    d.CB_GrayScale->setChecked(true);
    QCoreApplication::processEvents();
    QImage screen(d.PB_Preview->size(), QImage::Format_RGB32);
    int n = 0;
    for (auto _ : state) {
        d.TB_Threshold->setValue(64 + (++n & 63)); // rebuilds the preview
        QPainter p(&screen);
        d.PB_Preview->render(p);
        p.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
    d.reject();
}
BENCHMARK(BM_GrayscalePreviewAfterThresholdChange)->Unit(benchmark::kMillisecond);

// Reference: the toolkit scales the same picture by the same factor (the argument) and draws it.
void BM_Reference_QImageScaledPreview(benchmark::State& state)
{
    const TFastDIB& src = scan();
    const QImage picture(src.Bits, Width, Height, src.BWidth, QImage::Format_BGR888);
    QImage screen(QSize(690, 520), QImage::Format_RGB32);
    for (auto _ : state) {
        const int by = int(state.range(0));
        const QImage reduced = picture.scaled(Width / by, Height / by, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        QPainter p(&screen);
        p.fillRect(screen.rect(), QColor(128, 128, 128));
        p.drawImage(1, 1, reduced);
        p.end();
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(BM_Reference_QImageScaledPreview)->Arg(5)->Arg(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::oneToolkitThread();
    bench::compare("BM_AdjustOk_OneThread", "BM_Reference_MemcpyScanBytes");
    bench::compare("BM_AdjustOk", "BM_Reference_MemcpyScanBytes");
    bench::compare("BM_AdjustPreviewAfterSliderChange", "BM_Reference_QImageScaledPreview/5");
    bench::compare("BM_GrayscalePreviewAfterThresholdChange", "BM_Reference_QImageScaledPreview/3");
    return bench::runWithRatios(argc, argv);
}
