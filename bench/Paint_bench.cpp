// Repaints of a 1920 x 1080 image window over three 20000 x 4000 scans with a measured path of
// 3000 points, at the default drawing settings (labels and right-angle lines shown):
// - a complete repaint at 6:1, 1:1, 1:5, 1:11 and 1:60, against QPainter drawing the same 24-bit
//   pixels at the same scale over the area colour;
// - the overlay repaint of a mouse move while measuring at 1:1, 1:5 and 1:60, against QPainter
//   drawing the same squares, lines, labels and bars over a copy of the background.
// Times are the process's CPU time, the toolkit held to one thread of its pool.
#include "Ratios.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"
#include "project/Helpers.h"
#include "project/JEX4_Objects.h"
#include "project/ObjectDrawing.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kViewW = 1920;
constexpr int kViewH = 1080;
constexpr int kImageW = 20000;
constexpr int kImageH = 4000;
constexpr int kImages = 3;
constexpr int kPoints = 3000;

// Wood-like stripes, so that nothing compresses or repeats in whole rows.
void fillScan(TFastDIB& dib, int seed)
{
    for (int row = 0; row < dib.AbsHeight; ++row) {
        TFColor* p = dib.Pixels24[row];
        for (int x = 0; x < dib.Info.Header.Width; ++x)
            p[x] = TFColor{quint8(x * 3 + seed), quint8((x >> 4) + row), quint8(row * 5 + seed * 7)};
    }
}

// One window for all runs: building the scans takes seconds. It goes before the application.
std::unique_ptr<TF_SMDI>& windowStore()
{
    static std::unique_ptr<TF_SMDI> w;
    return w;
}

TF_SMDI& window()
{
    std::unique_ptr<TF_SMDI>& w = windowStore();
    if (w)
        return *w;
    w = [] {
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
        // One path across the whole canvas: an index point and 14 ring borders after it, 200 times;
        // the borders wander a little up and down as a real path does.
        TPath* path = win->PathList.front().get();
        const int step = kImages * kImageW / kPoints;
        for (int n = 0; n < kPoints; ++n) {
            const QPoint pos(n * step + 10, kImageH / 2 + (n % 7) * 9);
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
        win->CurrentPath = path;
        win->CurrentIndex = path->ObjectList.back().get();
        win->UpdateArea();
        return win;
    }();
    return *w;
}

// The view centred on the seam of the first two scans, at zoom z.
void showZoom(int z)
{
    TF_SMDI& w = window();
    w.ApplyScreenMode(0);
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

std::string named(const char* name, int z)
{
    return std::string(name) + "/" + std::to_string(z);
}

void BM_CompleteRepaint(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    TF_SMDI& w = window();
    for (auto _ : state) {
        bench::timeByCpu(state, [&] {
            w.SmoothDraw(true);
            benchmark::DoNotOptimize(w.B_Foreground.constBits());
        });
    }
}
BENCHMARK(BM_CompleteRepaint)->Arg(5)->Arg(10)->Arg(14)->Arg(20)->Arg(69)->UseManualTime()->Unit(benchmark::kMillisecond);

// Reference: the area colour over the whole layer, then the same 24-bit pixels the repaint shows,
// drawn by QPainter at the same scale: the visible part of each scan at 1:1 and magnified, the
// reduced copy at reducing zooms. The pixels are top-down copies made beforehand.
void BM_Reference_QPainterPixels(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    TF_SMDI& w = window();
    const int H = w.SB_H->value(), V = w.SB_V->value();
    struct Piece {
        QImage pixels; // Format_BGR888
        QRect target, source;
    };
    std::vector<Piece> pieces;
    for (const auto& so : w.StitchList) {
        const TFastDIB& dib = z > 10 ? *so->FZ : *so->FD;
        const QImage bottomUp(static_cast<const uchar*>(dib.Bits), dib.Info.Header.Width, dib.AbsHeight, dib.BWidth,
                              QImage::Format_BGR888);
        const int k = w.GetPixelSize(z);
        const QRect placed(w.Scale(so->x - H), w.Scale(so->y - V), z > 10 ? dib.Info.Header.Width : so->Width * k,
                           z > 10 ? dib.AbsHeight : so->Height * k);
        const QRect shown = placed & QRect(0, 0, kViewW, kViewH);
        if (shown.isEmpty())
            continue;
        const QRect source((shown.x() - placed.x()) / k, (shown.y() - placed.y()) / k, shown.width() / k,
                           shown.height() / k);
        QImage topDown = bottomUp.mirrored().copy(source);
        pieces.push_back({topDown, QRect(shown.topLeft(), source.size() * k), QRect(QPoint(0, 0), source.size())});
    }
    QImage layer(kViewW, kViewH, QImage::Format_RGB32);
    const QColor area(qRed(SettingAreaColor), qGreen(SettingAreaColor), qBlue(SettingAreaColor));
    for (auto _ : state) {
        bench::timeByCpu(state, [&] {
            QPainter p(&layer);
            p.fillRect(layer.rect(), area);
            for (const Piece& piece : pieces)
                p.drawImage(piece.target, piece.pixels, piece.source);
            p.end();
            benchmark::DoNotOptimize(layer.constBits());
        });
    }
}
BENCHMARK(BM_Reference_QPainterPixels)->Arg(5)->Arg(10)->Arg(14)->Arg(20)->Arg(69)->UseManualTime()->Unit(benchmark::kMillisecond);

// Measuring: every mouse move repaints the overlays with the rubber band to the mouse.
void BM_OverlayOnMouseMove(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    TF_SMDI& w = window();
    w.ApplyScreenMode(mmNewMeasurement);
    int n = 0;
    for (auto _ : state) {
        bench::timeByCpu(state, [&] {
            w.Mouse = QPoint(900 + (n & 31), 500 + (n & 15));
            ++n;
            w.SmoothDraw(false);
            benchmark::DoNotOptimize(w.B_Foreground.constBits());
        });
    }
    w.ApplyScreenMode(0);
}
BENCHMARK(BM_OverlayOnMouseMove)->Arg(10)->Arg(14)->Arg(69)->UseManualTime()->Unit(benchmark::kMillisecond);

// Reference: the background copied, then QPainter draws what the overlay holds with one pen and
// one font set up per kind: each point's square, the line to it, its label and its bar, and the
// rubber band, skipping what lies out of view as the repaint does.
void BM_Reference_QPainterOverlay(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    TF_SMDI& w = window();
    struct Item {
        QPoint from, to;
        QString label;
        QPoint labelAt;
        QPoint bar1, bar2;
    };
    std::vector<Item> items;
    const double g = w.GetZoomDiv(z);
    const int ral = SettingScaleRAL ? Round(SettingRALLength / g) : SettingRALLength;
    QFont font(SettingFontName);
    font.setPixelSize(MulDiv(LabelFontSize(g), 96, 72));
    const QFontMetrics fm(font);
    const QRect view(-64, -64, kViewW + 128, kViewH + 128);
    QPoint last;
    bool first = true;
    for (const auto& index : w.PathList.front()->ObjectList) {
        const QPoint s = w.ToScreen(index->Pos);
        if (!first && (view.contains(s) || view.contains(last)))
            items.push_back({last, s, {}, {}, {}, {}});
        first = false;
        last = s;
        for (const auto& m : index->ObjectList) {
            const QPoint t = w.ToScreen(m->Pos);
            if (view.contains(t) || view.contains(last)) {
                const QString text = RingWidthText(PixelsToUnit(m->distance, SettingUnits, w.DPI), SettingDigits);
                const QPoint at(last.x() + (t.x() - last.x()) / 2 - fm.horizontalAdvance(text) / 2,
                                last.y() + (t.y() - last.y()) / 2);
                const auto [e1, e2] = PerpendicularEnds(last.x(), last.y(), t.x(), t.y(), ral);
                items.push_back({last, t, text, at, e1, e2});
            }
            last = t;
        }
    }
    const QImage background = w.B_Background.copy();
    QImage layer(kViewW, kViewH, QImage::Format_RGB32);
    auto colour = [](int c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); };
    int n = 0;
    for (auto _ : state) {
        bench::timeByCpu(state, [&] {
            std::memcpy(layer.bits(), background.constBits(), size_t(background.sizeInBytes()));
            QPainter p(&layer);
            p.setPen(QPen(colour(SettingMColor), 0));
            for (const Item& it : items)
                p.drawRect(QRect(it.to - QPoint(SettingMSize, SettingMSize), QSize(2 * SettingMSize, 2 * SettingMSize)));
            p.setPen(QPen(colour(SettingMLColor), 0));
            for (const Item& it : items)
                p.drawLine(it.from, it.to);
            p.setPen(QPen(colour(SettingRALColor), 0));
            for (const Item& it : items)
                if (!it.label.isEmpty())
                    p.drawLine(it.bar1, it.bar2);
            p.setFont(font);
            p.setPen(colour(SettingTextColor));
            for (const Item& it : items)
                if (!it.label.isEmpty())
                    p.drawText(it.labelAt.x(), it.labelAt.y() + fm.ascent(), it.label);
            p.setPen(QPen(colour(SettingMLColor), 0));
            p.drawLine(last, QPoint(900 + (n & 31), 500 + (n & 15)));
            ++n;
            p.end();
            benchmark::DoNotOptimize(layer.constBits());
        });
    }
}
BENCHMARK(BM_Reference_QPainterOverlay)->Arg(10)->Arg(14)->Arg(69)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::oneToolkitThread();
    for (const int z : {5, 10, 14, 20, 69})
        bench::compare(named("BM_CompleteRepaint", z), named("BM_Reference_QPainterPixels", z));
    for (const int z : {10, 14, 69})
        bench::compare(named("BM_OverlayOnMouseMove", z), named("BM_Reference_QPainterOverlay", z));
    const int result = bench::runWithRatios(argc, argv);
    windowStore().reset();
    return result;
}
