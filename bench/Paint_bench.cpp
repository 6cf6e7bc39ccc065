// Repaints of a 1920 x 1080 image window over three 20000 x 4000 scans with a measured path of
// 3000 points, at the default drawing settings (labels and right-angle lines shown):
// - a complete repaint at 6:1, 1:1, 1:5, 1:11 and 1:60, against QPainter drawing the same 24-bit
//   pixels at the same scale over the area colour and then the same squares, lines, labels and
//   bars; and with the overlays hidden, against QPainter drawing only those pixels;
// - the overlay repaint of a mouse move while measuring at 1:1, 1:5 and 1:60, against QPainter
//   drawing the same squares, lines, labels and bars over a copy of the background.
// - a complete repaint at 1:1, 1:5 and 1:60 with the bird's-eye view shown (286 x 229, the window
//   on screen), against the same repaint without the view;
// - on screen in new-measurement mode at 1:1 and 1:60, a mouse move near the path's last point,
//   the rubber band following it, and the paint it causes, against QPainter drawing the overlays
//   and the rubber band over a copy of the background.
// Times are the process's CPU time, the toolkit held to one thread of its pool.
#include "Ratios.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"
#include "project/Helpers.h"
#include "project/JEX4_Objects.h"
#include "project/ObjectDrawing.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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

// Scrolling by this many canvas pixels moves the picture by a few screen pixels.
int scrollStep(int z)
{
    return std::max(1, int(window().GetZoomDiv(z))) * 3;
}

// The view centred on the seam of the first two scans, or `step` scroll steps from there.
void scrollTo(int z, int step)
{
    TF_SMDI& w = window();
    const double div = w.GetZoomDiv(z);
    w.SB_H->setValue(int(kImageW - div * kViewW / 2) + step * scrollStep(z));
    w.SB_V->setValue(int(kImageH / 2 - div * kViewH / 2) + step * scrollStep(z));
}

// Zoom z, centred.
void showZoom(int z)
{
    TF_SMDI& w = window();
    w.ApplyScreenMode(0);
    w.setZoom(z);
    w.ResampleStitchObjects(nullptr);
    w.UpdateArea();
    w.SB_H->setRange(0, kImages * kImageW);
    w.SB_V->setRange(0, kImageH);
    scrollTo(z, 0);
    w.SmoothDraw(true);
}

std::string named(const char* name, int z)
{
    return std::string(name) + "/" + std::to_string(z);
}

// Complete repaints, the view scrolled a little before each, to and fro as a user scrolls.
void repaintWhileScrolling(benchmark::State& state, int z)
{
    showZoom(z);
    TF_SMDI& w = window();
    int step = 0;
    for (auto _ : state) {
        w.Drawing = true; // the scroll bars repaint only when told
        step ^= 1;
        scrollTo(z, step);
        w.Drawing = false;
        bench::timeByCpu(state, [&] {
            w.SmoothDraw(true);
            benchmark::DoNotOptimize(w.B_Foreground.constBits());
        });
    }
}

void BM_CompleteRepaint(benchmark::State& state)
{
    repaintWhileScrolling(state, int(state.range(0)));
}
BENCHMARK(BM_CompleteRepaint)->ArgsProduct({bench::sizes({5, 10, 14, 20, 69})})->UseManualTime()->Unit(benchmark::kMillisecond);

// The 24-bit pixels the repaint shows, top-down copies made beforehand: the visible part of each
// scan at 1:1 and magnified, the reduced copy at reducing zooms.
struct Piece {
    QImage pixels; // Format_BGR888
    QRect target, source;
};

std::vector<Piece> shownPieces(int z)
{
    TF_SMDI& w = window();
    const int H = w.SB_H->value(), V = w.SB_V->value();
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
    return pieces;
}

// The area colour over the whole layer, then the pieces.
void drawPixels(QPainter& p, const QRect& layer, const std::vector<Piece>& pieces)
{
    const QColor area(qRed(SettingAreaColor), qGreen(SettingAreaColor), qBlue(SettingAreaColor));
    p.fillRect(layer, area);
    for (const Piece& piece : pieces)
        p.drawImage(piece.target, piece.pixels, piece.source);
}

// What the overlays of the path show in view: each point's square, the line to it, its label and
// its bar; drawn by QPainter with one pen and one font set up per kind.
class Overlay {
public:
    explicit Overlay(int z)
    {
        TF_SMDI& w = window();
        const double g = w.GetZoomDiv(z);
        const int ral = SettingScaleRAL ? Round(SettingRALLength / g) : SettingRALLength;
        m_font = QFont(SettingFontName);
        m_font.setPixelSize(MulDiv(LabelFontSize(g), 96, 72));
        const QFontMetrics fm(m_font);
        m_ascent = fm.ascent();
        const QRect view(-64, -64, kViewW + 128, kViewH + 128);
        bool first = true;
        for (const auto& index : w.PathList.front()->ObjectList) {
            const QPoint s = w.ToScreen(index->Pos);
            if (!first && (view.contains(s) || view.contains(m_last)))
                m_items.push_back({m_last, s, {}, {}, {}, {}});
            first = false;
            m_last = s;
            for (const auto& m : index->ObjectList) {
                const QPoint t = w.ToScreen(m->Pos);
                if (view.contains(t) || view.contains(m_last)) {
                    const QString text = RingWidthText(PixelsToUnit(m->distance, SettingUnits, w.DPI), SettingDigits);
                    const QPoint at(m_last.x() + (t.x() - m_last.x()) / 2 - fm.horizontalAdvance(text) / 2,
                                    m_last.y() + (t.y() - m_last.y()) / 2);
                    const auto [e1, e2] = PerpendicularEnds(m_last.x(), m_last.y(), t.x(), t.y(), ral);
                    m_items.push_back({m_last, t, text, at, e1, e2});
                }
                m_last = t;
            }
        }
    }

    // Everything, and the rubber band from the last point to `mouse` when one is given.
    void draw(QPainter& p, const QPoint* mouse = nullptr) const
    {
        auto colour = [](int c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); };
        p.setPen(QPen(colour(SettingMColor), 0));
        for (const Item& it : m_items)
            p.drawRect(QRect(it.to - QPoint(SettingMSize, SettingMSize), QSize(2 * SettingMSize, 2 * SettingMSize)));
        p.setPen(QPen(colour(SettingMLColor), 0));
        for (const Item& it : m_items)
            p.drawLine(it.from, it.to);
        p.setPen(QPen(colour(SettingRALColor), 0));
        for (const Item& it : m_items)
            if (!it.label.isEmpty())
                p.drawLine(it.bar1, it.bar2);
        p.setFont(m_font);
        p.setPen(colour(SettingTextColor));
        for (const Item& it : m_items)
            if (!it.label.isEmpty())
                p.drawText(it.labelAt.x(), it.labelAt.y() + m_ascent, it.label);
        if (mouse) {
            p.setPen(QPen(colour(SettingMLColor), 0));
            p.drawLine(m_last, *mouse);
        }
    }

private:
    struct Item {
        QPoint from, to;
        QString label;
        QPoint labelAt;
        QPoint bar1, bar2;
    };
    std::vector<Item> m_items;
    QFont m_font;
    int m_ascent = 0;
    QPoint m_last;
};

// Reference: the same pixels at the same scroll positions, then the same overlays, all by QPainter.
void BM_Reference_QPainterRepaint(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    std::vector<Piece> pieces[2];
    std::optional<Overlay> overlay[2];
    for (const int step : {0, 1}) {
        scrollTo(z, step);
        pieces[step] = shownPieces(z);
        overlay[step].emplace(z);
    }
    QImage layer(kViewW, kViewH, QImage::Format_RGB32);
    int step = 0;
    for (auto _ : state) {
        step ^= 1;
        bench::timeByCpu(state, [&] {
            QPainter p(&layer);
            drawPixels(p, layer.rect(), pieces[step]);
            overlay[step]->draw(p);
            p.end();
            benchmark::DoNotOptimize(layer.constBits());
        });
    }
}
BENCHMARK(BM_Reference_QPainterRepaint)->ArgsProduct({bench::sizes({5, 10, 14, 20, 69})})->UseManualTime()->Unit(benchmark::kMillisecond);

// The complete repaint with the overlays switched off: the pixels alone.
void BM_CompleteRepaintPixels(benchmark::State& state)
{
    SettingOVisible = false;
    repaintWhileScrolling(state, int(state.range(0)));
    SettingOVisible = true;
}
BENCHMARK(BM_CompleteRepaintPixels)->ArgsProduct({bench::sizes({5, 10, 14, 20, 69})})->UseManualTime()->Unit(benchmark::kMillisecond);

// Reference: the area colour over the whole layer, then the same 24-bit pixels, by QPainter.
void BM_Reference_QPainterPixels(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    std::vector<Piece> pieces[2];
    for (const int step : {0, 1}) {
        scrollTo(z, step);
        pieces[step] = shownPieces(z);
    }
    QImage layer(kViewW, kViewH, QImage::Format_RGB32);
    int step = 0;
    for (auto _ : state) {
        step ^= 1;
        bench::timeByCpu(state, [&] {
            QPainter p(&layer);
            drawPixels(p, layer.rect(), pieces[step]);
            p.end();
            benchmark::DoNotOptimize(layer.constBits());
        });
    }
}
BENCHMARK(BM_Reference_QPainterPixels)->ArgsProduct({bench::sizes({5, 10, 14, 20, 69})})->UseManualTime()->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_OverlayOnMouseMove)->ArgsProduct({bench::sizes({10, 14, 69})})->UseManualTime()->Unit(benchmark::kMillisecond);

// Reference: the background copied, then QPainter draws the overlays and the rubber band.
void BM_Reference_QPainterOverlay(benchmark::State& state)
{
    const int z = int(state.range(0));
    showZoom(z);
    TF_SMDI& w = window();
    const Overlay overlay(z);
    const QImage background = w.B_Background.copy();
    QImage layer(kViewW, kViewH, QImage::Format_RGB32);
    int n = 0;
    for (auto _ : state) {
        bench::timeByCpu(state, [&] {
            std::memcpy(layer.bits(), background.constBits(), size_t(background.sizeInBytes()));
            QPainter p(&layer);
            const QPoint mouse(900 + (n & 31), 500 + (n & 15));
            ++n;
            overlay.draw(p, &mouse);
            p.end();
            benchmark::DoNotOptimize(layer.constBits());
        });
    }
}
BENCHMARK(BM_Reference_QPainterOverlay)->ArgsProduct({bench::sizes({10, 14, 69})})->UseManualTime()->Unit(benchmark::kMillisecond);

// The bird's-eye view and the window on screen, made once. The benchmarks from here on need
// them; the repaints above do without.
TF_BirdView* onScreen()
{
    static TF_BirdView* bird = [] {
        auto* view = new TF_BirdView;
        F_BirdView = view;
        view->resize(286, 229);
        view->show();
        TF_SMDI& w = window();
        w.resize(kViewW + 40, kViewH + 80);
        w.show();
        // The paint box the size the repaints above were measured at, by the window's layout.
        QCoreApplication::processEvents();
        w.resize(w.size() + QSize(kViewW, kViewH) - w.PB->size());
        QCoreApplication::processEvents();
        w.PB->resize(kViewW, kViewH);
        return view;
    }();
    return bird;
}

// Last but one: the window goes on screen here.
void BM_CompleteRepaintWithBirdView(benchmark::State& state)
{
    TF_BirdView* bird = onScreen();
    const int z = int(state.range(0));
    showZoom(z);
    window().FormActivate(); // the view shows this window
    if (bird->MDIForm != &window() || window().PB->size() != QSize(kViewW, kViewH)) {
        state.SkipWithError("the bird's-eye view does not show the window");
        return;
    }
    repaintWhileScrolling(state, z);
    benchmark::DoNotOptimize(bird->view().constBits());
}
BENCHMARK(BM_CompleteRepaintWithBirdView)->ArgsProduct({bench::sizes({10, 14, 69})})->UseManualTime()->Unit(benchmark::kMillisecond);

// Measuring on screen: the view shows the path's last point, left of the middle, and the mouse
// wanders right of it, so the rubber band from that point follows the mouse.
QPoint showLastPoint(int z)
{
    showZoom(z);
    TF_SMDI& w = window();
    const QPoint last = w.PathList.front()->ObjectList.back()->ObjectList.back()->Pos;
    const double div = w.GetZoomDiv(z);
    w.SB_H->setValue(int(last.x() - div * kViewW / 4));
    w.SB_V->setValue(int(last.y() - div * kViewH / 2));
    w.SmoothDraw(true);
    return w.ToScreen(last);
}

// Counts the paints a widget gets.
class PaintCount : public QObject {
public:
    explicit PaintCount(QWidget* widget) : m_widget(widget) { widget->installEventFilter(this); }
    ~PaintCount() override { m_widget->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
    benchmark::IterationCount count = 0;

private:
    QWidget* m_widget;
};

// The n-th mouse position: up to 600 pixels right of the last point and 40 above or below it.
QPoint mouseNear(QPoint last, int n)
{
    return last + QPoint(20 + (n * 37) % 600, (n * 13) % 81 - 40);
}

// One mouse move: the event the paint box gets, and the paint of the window it causes.
void BM_RubberBandMove(benchmark::State& state)
{
    onScreen();
    const int z = int(state.range(0));
    const QPoint last = showLastPoint(z);
    TF_SMDI& w = window();
    w.A_NewMeasurementsExecute();
    QCoreApplication::processEvents();
    if (w.ScreenMode() != mmNewMeasurement || w.PB->size() != QSize(kViewW, kViewH)) {
        state.SkipWithError("the window is not measuring in a view of the size asked for");
        return;
    }
    // Focus following the mouse raises the window at every move, which is the platform's work.
    const bool autoFocus = std::exchange(SettingAutoFocus, false);
    PaintCount paints(w.PB);
    int n = 0;
    for (auto _ : state) {
        bench::timeByCpu(state, [&] {
            const QPointF at(mouseNear(last, n++));
            QMouseEvent move(QEvent::MouseMove, at, w.PB->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(w.PB, &move);
            w.PB->repaint(); // what the move asked for, painted now
        });
    }
    SettingAutoFocus = autoFocus;
    w.ApplyScreenMode(0);
    if (paints.count < state.iterations())
        state.SkipWithError("a mouse move painted nothing");
}
BENCHMARK(BM_RubberBandMove)->ArgsProduct({bench::sizes({10, 69})})->UseManualTime()->Unit(benchmark::kMillisecond);

// Reference: the background copied, then QPainter draws the overlays and the rubber band, in the
// same view with the same mouse positions.
void BM_Reference_RubberBand(benchmark::State& state)
{
    onScreen();
    const int z = int(state.range(0));
    const QPoint last = showLastPoint(z);
    const Overlay overlay(z);
    const QImage background = window().B_Background.copy();
    QImage layer(background.size(), QImage::Format_RGB32);
    int n = 0;
    for (auto _ : state) {
        bench::timeByCpu(state, [&] {
            std::memcpy(layer.bits(), background.constBits(), size_t(background.sizeInBytes()));
            QPainter p(&layer);
            const QPoint mouse = mouseNear(last, n++);
            overlay.draw(p, &mouse);
            p.end();
            benchmark::DoNotOptimize(layer.constBits());
        });
    }
}
BENCHMARK(BM_Reference_RubberBand)->ArgsProduct({bench::sizes({10, 69})})->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::oneToolkitThread();
    for (const int z : {5, 10, 14, 20, 69})
        bench::compare(named("BM_CompleteRepaint", z), named("BM_Reference_QPainterRepaint", z));
    for (const int z : {5, 10, 14, 20, 69})
        bench::compare(named("BM_CompleteRepaintPixels", z), named("BM_Reference_QPainterPixels", z));
    for (const int z : {10, 14, 69})
        bench::compare(named("BM_OverlayOnMouseMove", z), named("BM_Reference_QPainterOverlay", z));
    for (const int z : {10, 14, 69})
        bench::compare(named("BM_CompleteRepaintWithBirdView", z), named("BM_CompleteRepaint", z));
    for (const int z : {10, 69})
        bench::compare(named("BM_RubberBandMove", z), named("BM_Reference_RubberBand", z));
    const int result = bench::runWithRatios(argc, argv);
    windowStore().reset();
    delete F_BirdView.data();
    return result;
}
