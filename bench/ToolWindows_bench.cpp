// The tool windows on a 4-tray canvas: four 47244 x 9449 scans stacked (1.8 gigapixels, 5.4 GB),
// shown in a 1920 x 1080 image window. Measured: the bird's-eye view brought up to date after a
// pan and after a zoom step (overview built, framed and painted), a whole pan as the user waits
// for it, and the magnifier following one mouse move over the image window (move handled, square
// enlarged, magnifier painted), and the tracker's profile along a path across a whole tray (47244
// samples, one ring border every 120 pixels) built and drawn, and the histogram of all four trays
// counted, and not counted again after a zoom. References: QPainter drawing the same overview out of the same
// scans, QPainter enlarging the same square, a plain loop reading the gray values of the
// tracker's pixels straight from the rows, and one plain read of every byte of the trays. Needs about 5.5 GB: run it under the bench lock.
#include "image/TFastDIB.h"
#include "project/JEX4_Objects.h"
#include "project/TJEXObject.h"
#include "project/Settings.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_Histogram.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TF_Tracker.h"
#include "workspace/TF_Zoom.h"

#include "MedianRatio.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

namespace {

constexpr int kTrayW = 47244;
constexpr int kTrayH = 9449;
constexpr int kTrays = 4;
constexpr int kViewW = 1920;
constexpr int kViewH = 1080;

// Wood-like stripes along the tray, shifting every 200 rows; every tray differs.
void fillTray(TFastDIB& dib, int seed)
{
    std::unique_ptr<quint8[]> row(new quint8[size_t(kTrayW) * 3]);
    for (int y = 0; y < kTrayH; ++y) {
        if (y % 200 == 0)
            for (int x = 0; x < kTrayW; ++x) {
                const int ring = (x / 7 + seed * 31 + y / 200) % 180;
                row[size_t(x) * 3] = quint8(50 + ring / 3);
                row[size_t(x) * 3 + 1] = quint8(90 + ring / 2);
                row[size_t(x) * 3 + 2] = quint8(140 + ring / 3);
            }
        std::memcpy(dib.Scanlines[y], row.get(), size_t(kTrayW) * 3);
    }
}

struct Canvas {
    std::unique_ptr<TF_SMDI> window;
    std::unique_ptr<TF_BirdView> bird;
    std::unique_ptr<TF_Zoom> zoom;
    std::unique_ptr<TF_Histogram> histogram;
};

bool g_canvasMade = false;

// One canvas for all runs: filling 5.4 GB takes seconds.
Canvas& canvas()
{
    static Canvas c = [] {
        g_canvasMade = true;
        ApplyAbsentSettingDefaults();
        // Display copies by nearest pixels: the zoom step's own cost is not measured here.
        SettingResamplingAlgorithm = 0;
        Canvas made;
        made.bird = std::make_unique<TF_BirdView>();
        F_BirdView = made.bird.get();
        made.bird->resize(286, 229);
        made.bird->show();
        made.zoom = std::make_unique<TF_Zoom>();
        F_Zoom = made.zoom.get();
        made.zoom->resize(171, 171);
        made.zoom->show();
        made.histogram = std::make_unique<TF_Histogram>();
        made.histogram->show(); // counts only once the window below is given to it

        made.window = std::make_unique<TF_SMDI>();
        TF_SMDI& w = *made.window;
        for (int i = 0; i < kTrays; ++i) {
            auto so = std::make_unique<TStitchObject>();
            so->y = i * kTrayH;
            so->Width = kTrayW;
            so->Height = kTrayH;
            so->FD->SetSize(kTrayW, kTrayH, 24);
            fillTray(*so->FD, i);
            w.StitchList.push_back(std::move(so));
        }
        w.resize(kViewW, kViewH);
        w.show();
        QCoreApplication::processEvents();
        w.setZoom(10);
        w.UpdateArea();
        w.SB_H->setValue(20000);
        w.SB_V->setValue(2 * kTrayH - 400);
        w.FormActivate();
        return made;
    }();
    return c;
}

// Two view positions a pan moves between, inside the bar's range at the current zoom.
int panPosition(const TF_SMDI& w, int step)
{
    const int lo = w.SB_H->minimum(), hi = w.SB_H->maximum();
    return lo + (hi - lo) / (step % 2 ? 3 : 2);
}

// The overview afresh for the current view, and the bird's-eye view painted.
void birdViewUpToDate(Canvas& c)
{
    c.window->UpdateBird(false);
    c.bird->repaint();
    benchmark::DoNotOptimize(c.bird->view().constBits());
}

void BM_BirdView_AfterPan(benchmark::State& state)
{
    Canvas& c = canvas();
    TF_SMDI& w = *c.window;
    w.setZoom(int(state.range(0)));
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The pan itself (the window's own repaint) is left out; see BM_Pan_WholeRepaint.
        w.Drawing = true;
        w.SB_H->setValue(panPosition(w, ++step));
        w.Drawing = false;
        state.ResumeTiming();
        birdViewUpToDate(c);
    }
}
BENCHMARK(BM_BirdView_AfterPan)->ArgsProduct({bench::sizes({10, 30})})->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

void BM_BirdView_AfterZoom(benchmark::State& state)
{
    Canvas& c = canvas();
    TF_SMDI& w = *c.window;
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The zoom step itself (the window's display copies of 1.8 gigapixels) is left out.
        w.Drawing = true;
        w.setZoom(++step % 2 ? 30 : 31);
        w.Drawing = false;
        state.ResumeTiming();
        birdViewUpToDate(c);
    }
}
BENCHMARK(BM_BirdView_AfterZoom)->Unit(benchmark::kMillisecond)->Iterations(bench::iterations(5))->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

// What the user waits for on a pan: the window composed anew, with the bird's-eye view in it.
void BM_Pan_WholeRepaint(benchmark::State& state)
{
    Canvas& c = canvas();
    TF_SMDI& w = *c.window;
    w.setZoom(int(state.range(0)));
    int step = 0;
    for (auto _ : state) {
        w.SB_H->setValue(panPosition(w, ++step)); // repaints completely
        c.bird->repaint();
        benchmark::DoNotOptimize(c.bird->view().constBits());
    }
}
BENCHMARK(BM_Pan_WholeRepaint)->ArgsProduct({bench::sizes({10, 30})})->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

// Reference: QPainter draws each scan, reduced by nearest pixels, into an overview of the same size.
void BM_Reference_QPainterOverview(benchmark::State& state)
{
    Canvas& c = canvas();
    TF_SMDI& w = *c.window;
    w.UpdateBird(false);
    const int z = c.bird->Zoom;
    QImage overview(w.B_Bird.size(), QImage::Format_RGB32);
    std::vector<QImage> scans;
    for (const auto& so : w.StitchList)
        scans.emplace_back(so->FD->Bits, kTrayW, kTrayH, qsizetype(so->FD->BWidth), QImage::Format_BGR888);
    for (auto _ : state) {
        QPainter p(&overview);
        p.fillRect(overview.rect(), Qt::white);
        for (size_t i = 0; i < scans.size(); ++i) {
            const TStitchObject& so = *w.StitchList[i];
            p.drawImage(QRect(w.ScaleBird(so.x, z), w.ScaleBird(so.y, z), w.ScaleBird(so.Width, z),
                              w.ScaleBird(so.Height, z)),
                        scans[i]);
        }
        p.end();
        benchmark::DoNotOptimize(overview.constBits());
    }
}
BENCHMARK(BM_Reference_QPainterOverview)->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

void BM_Magnifier_MouseMove(benchmark::State& state)
{
    Canvas& c = canvas();
    TF_SMDI& w = *c.window;
    w.setZoom(int(state.range(0)));
    w.SmoothDraw(true);
    int step = 0;
    for (auto _ : state) {
        ++step;
        const QPointF at(900 + step % 40, 500 + step % 17);
        QMouseEvent move(QEvent::MouseMove, at, w.PB->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w.PB, &move);
        c.zoom->repaint();
        benchmark::DoNotOptimize(c.zoom->view().constBits());
    }
}
BENCHMARK(BM_Magnifier_MouseMove)->ArgsProduct({bench::sizes({10, 30})})->Unit(benchmark::kMicrosecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

// The magnifier's own part of a move: the square enlarged and the magnifier painted.
void BM_Magnifier_UpdateZoom(benchmark::State& state)
{
    Canvas& c = canvas();
    TF_SMDI& w = *c.window;
    int step = 0;
    for (auto _ : state) {
        ++step;
        w.Mouse = QPoint(900 + step % 40, 500);
        c.zoom->UpdateZoom(&w);
        c.zoom->repaint();
        benchmark::DoNotOptimize(c.zoom->view().constBits());
    }
}
BENCHMARK(BM_Magnifier_UpdateZoom)->Unit(benchmark::kMicrosecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

// Reference: QPainter enlarges the same 40 x 40 square over the same client area.
void BM_Reference_QPainterMagnify(benchmark::State& state)
{
    Canvas& c = canvas();
    TF_SMDI& w = *c.window;
    QImage client(c.zoom->size(), QImage::Format_RGB32);
    int step = 0;
    for (auto _ : state) {
        QPainter p(&client);
        p.drawImage(client.rect(), w.B_Background, QRect(880 + (++step % 40), 480, 40, 40));
        p.end();
        benchmark::DoNotOptimize(client.constBits());
    }
}
BENCHMARK(BM_Reference_QPainterMagnify)->Unit(benchmark::kMicrosecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

// The histogram of all four trays counted afresh (Refresh, or pictures changed).
void BM_Histogram_CountFourTrays(benchmark::State& state)
{
    Canvas& c = canvas();
    F_Histogram = c.histogram.get();
    for (auto _ : state) {
        c.histogram->RecountHistogram(c.window.get());
        benchmark::DoNotOptimize(c.histogram->counts().Brightness.data());
    }
    F_Histogram = nullptr;
}
BENCHMARK(BM_Histogram_CountFourTrays)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(bench::repetitions(5))->ReportAggregatesOnly(true);

// A zoom step with the histogram shown: the pictures are unchanged, so nothing is counted again.
void BM_Histogram_AfterZoom(benchmark::State& state)
{
    Canvas& c = canvas();
    F_Histogram = c.histogram.get();
    c.histogram->RecountHistogram(c.window.get());
    for (auto _ : state) {
        c.histogram->UpdateHistogram(c.window.get());
        benchmark::DoNotOptimize(c.histogram->counts().Brightness.data());
    }
    F_Histogram = nullptr;
}
BENCHMARK(BM_Histogram_AfterZoom)->Unit(benchmark::kMicrosecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

// Reference: every byte of the same four trays read once and summed, what any count must at least do.
void BM_Reference_ReadFourTrays(benchmark::State& state)
{
    Canvas& c = canvas();
    for (auto _ : state) {
        quint64 sum = 0;
        for (const auto& so : c.window->StitchList) {
            const TFastDIB& fd = *so->FD;
            for (int y = 0; y < fd.AbsHeight; ++y) {
                const auto* p = reinterpret_cast<const quint64*>(fd.Scanlines[y]);
                const int words = kTrayW * 3 / 8;
                for (int i = 0; i < words; ++i)
                    sum += p[i] & 0x00FF00FF00FF00FFull;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_Reference_ReadFourTrays)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(bench::repetitions(5))->ReportAggregatesOnly(true);

// The tracker's own window: one tray-wide scan, 400 rows high, with its tracker copy, and a path
// from its left to its right edge with a ring border every 120 pixels.
struct TrackerCanvas {
    std::unique_ptr<TF_SMDI> window;
    std::unique_ptr<TF_Tracker> tracker;
};

constexpr int kTrackerRows = 400;
constexpr int kRingWidth = 120;

TrackerCanvas& trackerCanvas()
{
    static TrackerCanvas c = [] {
        ApplyAbsentSettingDefaults();
        TrackerCanvas made;
        made.tracker = std::make_unique<TF_Tracker>();
        F_Tracker = made.tracker.get();
        made.tracker->resize(800, 300);
        made.tracker->show();
        made.window = std::make_unique<TF_SMDI>();
        TF_SMDI& w = *made.window;
        auto so = std::make_unique<TStitchObject>();
        so->Width = kTrayW;
        so->Height = kTrackerRows;
        so->FD->SetSize(kTrayW, kTrackerRows, 24);
        so->FT->SetSize(kTrayW, kTrackerRows, 24);
        std::unique_ptr<quint8[]> row(new quint8[size_t(kTrayW) * 3]);
        for (int x = 0; x < kTrayW; ++x) {
            const int ring = (x / 7) % 180;
            row[size_t(x) * 3] = quint8(50 + ring / 3);
            row[size_t(x) * 3 + 1] = quint8(90 + ring / 2);
            row[size_t(x) * 3 + 2] = quint8(140 + ring / 3);
        }
        for (int y = 0; y < kTrackerRows; ++y)
            std::memcpy(so->FT->Scanlines[y], row.get(), size_t(kTrayW) * 3);
        w.StitchList.push_back(std::move(so));
        auto path = std::make_unique<TPath>();
        auto index = std::make_unique<TIndex>();
        index->Pos = QPoint(0, kTrackerRows / 2);
        index->Path = path.get();
        for (int x = kRingWidth; x < kTrayW; x += kRingWidth) {
            auto m = std::make_unique<TMeasurement>();
            m->Pos = QPoint(x, kTrackerRows / 2 + (x / kRingWidth) % 3 - 1); // a slightly wavy path
            m->Path = path.get();
            m->Index = index.get();
            index->ObjectList.push_back(std::move(m));
        }
        auto last = std::make_unique<TMeasurement>();
        last->Pos = QPoint(kTrayW - 1, kTrackerRows / 2);
        last->Path = path.get();
        last->Index = index.get();
        index->ObjectList.push_back(std::move(last));
        path->ObjectList.push_back(std::move(index));
        w.CurrentPath = path.get();
        w.PathList.push_back(std::move(path));
        return made;
    }();
    return c;
}

// What the user waits for after a point changes: the profile rebuilt and the chart drawn.
void BM_Tracker_ProfileAcrossATray(benchmark::State& state)
{
    TrackerCanvas& c = trackerCanvas();
    for (auto _ : state) {
        c.tracker->UpdateTracker(c.window.get());
        c.tracker->Chart->repaint();
        benchmark::DoNotOptimize(c.tracker->profile().Points.data());
    }
    state.counters["samples"] = double(c.tracker->profile().Points.size());
}
BENCHMARK(BM_Tracker_ProfileAcrossATray)->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

// The profile alone, as the reference does the same reads.
void BM_Tracker_BuildProfile(benchmark::State& state)
{
    TrackerCanvas& c = trackerCanvas();
    for (auto _ : state) {
        c.tracker->UpdateTracker(c.window.get());
        benchmark::DoNotOptimize(c.tracker->profile().Points.data());
    }
}
BENCHMARK(BM_Tracker_BuildProfile)->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

// Reference: the gray values of the same pixels read straight from the rows into a plain array.
void BM_Reference_GrayAlongTheRows(benchmark::State& state)
{
    TrackerCanvas& c = trackerCanvas();
    c.tracker->UpdateTracker(c.window.get());
    std::vector<QPoint> pixels;
    for (const TFDPoint& p : c.tracker->profile().Points)
        pixels.emplace_back(p.x, p.y);
    const TFastDIB& ft = *c.window->StitchList[0]->FT;
    std::vector<int> gray(pixels.size());
    for (auto _ : state) {
        for (size_t i = 0; i < pixels.size(); ++i) {
            const quint8* px = static_cast<const quint8*>(ft.Scanlines[kTrackerRows - 1 - pixels[i].y()]) + 3 * pixels[i].x();
            gray[i] = (px[0] + px[1] + px[2]) / 3;
        }
        benchmark::DoNotOptimize(gray.data());
    }
}
BENCHMARK(BM_Reference_GrayAlongTheRows)->Unit(benchmark::kMillisecond)->Repetitions(bench::repetitions(7))->ReportAggregatesOnly(true);

} // namespace

static void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet); // the offscreen platform complains of every raise()
    QApplication app(argc, argv);
    std::vector<char*> args = bench::quickArgs(argc, argv);
    if (!bench::initialize(args))
        return 1;
    bench::MedianRatioReporter reporter({
        {"BM_BirdView_AfterPan/10", "BM_Reference_QPainterOverview"},
        {"BM_BirdView_AfterPan/30", "BM_Reference_QPainterOverview"},
        {"BM_BirdView_AfterZoom", "BM_Reference_QPainterOverview"},
        {"BM_Magnifier_MouseMove/10", "BM_Reference_QPainterMagnify"},
        {"BM_Magnifier_MouseMove/30", "BM_Reference_QPainterMagnify"},
        {"BM_Magnifier_UpdateZoom", "BM_Reference_QPainterMagnify"},
        {"BM_Tracker_BuildProfile", "BM_Reference_GrayAlongTheRows"},
        {"BM_Histogram_CountFourTrays", "BM_Reference_ReadFourTrays"},
    });
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // The windows go while the application still exists.
    if (g_canvasMade) {
        Canvas& c = canvas();
        c.window.reset();
        c.bird.reset();
        c.zoom.reset();
        c.histogram.reset();
    }
    trackerCanvas().window.reset();
    trackerCanvas().tracker.reset();
    return 0;
}
