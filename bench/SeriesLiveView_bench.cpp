// One live camera picture of 960 x 640 shown in the image-series window, decoded and shaded outside
// the crop frame, as the camera delivers it 20 times a second; reference: libjpeg-turbo decoding
// the same bytes. The difference is the shade, the copy into the view and the crosshair refresh.
#include "BenchSupport.h"
#include "MedianRatio.h"

#include "acquisition/TF_CreateSeries.h"
#include "image/FastJPG.h"
#include "image/TFastDIB.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

QByteArray g_jpeg;
TF_CreateSeries* g_window = nullptr;

QByteArray livePicture()
{
    TFastDIB dib;
    dib.SetSize(960, 640, 24);
    bench::fillScan(dib, 960, 640, 7);
    TFastJPG jpg;
    jpg.AttachImage(&dib);
    jpg.Props.Quality = 75;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    jpg.SaveStream(&buffer);
    return buffer.data();
}

void BM_ShowLivePictureShaded(benchmark::State& state)
{
    for (auto _ : state)
        g_window->CamRemoteViewfinderEvent(g_jpeg, ViewfinderPositionType{});
}

void BM_DecodeSameJpeg(benchmark::State& state)
{
    for (auto _ : state)
        bench::referenceDecode(g_jpeg);
}

constexpr int Repetitions = 15;
BENCHMARK(BM_ShowLivePictureShaded)->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(Repetitions))->ReportAggregatesOnly(true);
BENCHMARK(BM_DecodeSameJpeg)->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(Repetitions))->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    g_jpeg = livePicture();
    auto window = std::make_unique<TF_CreateSeries>();
    g_window = window.get();
    window->resize(1000, 700);
    window->show();
    window->ActiveCameraType = 1;
    window->SetCameraType();
    window->CB_Frame->setChecked(true);
    window->Frame = QRect(200, 100, 500, 400);

    const bool ran = bench::runInterleaved(argc, argv, {{"BM_ShowLivePictureShaded", "BM_DecodeSameJpeg"}});
    g_window = nullptr;
    return ran ? 0 : 1;
}
