// Image window: painting. A complete repaint composes B_Background (area fill, the images at the
// window's zoom); every repaint brings B_Foreground to it with the overlays drawn on, redrawing
// only where the recorded overlays differ from the last repaint's, and hands that to the paint
// box. Also the whole-canvas export, the bird's-eye overview and the zoomed copies.
// Images go from TFastDIB memory into the RGB32 layers by a row loop (magnified by pixel
// replication) instead of through QPainter, which keeps a full repaint within one frame.
#include "workspace/TF_SMDI.h"

#include "image/Resample.h"
#include "image/TFastDIB.h"
#include "platform/Delphi.h"
#include "platform/DeviceContext.h"
#include "platform/LineSteps.h"
#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/ObjectDrawing.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "project/TArea.h"
#include "project/TStitchObject.h"
#include "shell/TF_Progress.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Monitor.h"
#include "workspace/TF_Tracker.h"

#include <QCoreApplication>
#include <QHash>
#include <QRegion>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeView>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <optional>

#include <immintrin.h>

namespace {

constexpr COLORREF clRed = 0x0000FF;
constexpr COLORREF clNavy = 0x800000;
constexpr COLORREF clWhite = 0xFFFFFF;

// QPainter's raster engine addresses at most 32767 pixels a side; larger pictures get their
// overlays drawn in tiles of this size.
constexpr int TileSize = 16384;

// Sets the window's Drawing flag for a repaint and clears it on every way out.
class DrawingGuard {
public:
    explicit DrawingGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~DrawingGuard() { m_flag = false; }
    DrawingGuard(const DrawingGuard&) = delete;
    DrawingGuard& operator=(const DrawingGuard&) = delete;

private:
    bool& m_flag;
};

// Tells DrawItems which part of its target is seen, for one call.
class CullScope {
public:
    CullScope(QRect& cull, const QRect& seen) : m_cull(cull) { m_cull = seen; }
    ~CullScope() { m_cull = QRect(); }
    CullScope(const CullScope&) = delete;
    CullScope& operator=(const CullScope&) = delete;

private:
    QRect& m_cull;
};

inline QRgb rgbOf(const TFColor& c)
{
    return 0xFF000000u | (quint32(c.r) << 16) | (quint32(c.g) << 8) | quint32(c.b);
}

// Constant-opacity source over: a of 255 parts source, the rest destination.
inline QRgb blend(QRgb s, QRgb d, int a)
{
    const int b = 255 - a;
    auto mix = [a, b](quint32 sc, quint32 dc) { return (sc * a + dc * b + 127) / 255; };
    return 0xFF000000u | (mix((s >> 16) & 0xFF, (d >> 16) & 0xFF) << 16) | (mix((s >> 8) & 0xFF, (d >> 8) & 0xFF) << 8)
        | mix(s & 0xFF, d & 0xFF);
}

// One pixel of a memory row, by depth.
struct Fetch24 {
    QRgb operator()(const uchar* row, int x) const { return rgbOf(reinterpret_cast<const TFColor*>(row)[x]); }
};
struct Fetch32 {
    QRgb operator()(const uchar* row, int x) const { return rgbOf(reinterpret_cast<const TFColorA*>(row)[x].c); }
};
struct FetchAny {
    const TFastDIB* dib;
    int memRow;
    QRgb operator()(const uchar*, int x) const { return rgbOf(dib->GetPixel(memRow, x)); }
};

// Writes columns [x0, x1) of one layer row from source columns starting at `col`, each source
// pixel k screen pixels wide, the first one `lead` pixels cut off on the left.
template <class F>
void blitRow(const F& fetch, const uchar* in, int col, int lead, QRgb* out, qint64 x0, qint64 x1, int k, int opacity)
{
    if (k == 1) {
        if (opacity >= 255)
            for (qint64 x = x0; x < x1; ++x)
                out[x] = fetch(in, col++);
        else
            for (qint64 x = x0; x < x1; ++x)
                out[x] = blend(fetch(in, col++), out[x], opacity);
        return;
    }
    qint64 x = x0;
    qint64 run = k - lead;
    while (x < x1) {
        const QRgb v = fetch(in, col++);
        const qint64 end = std::min(x1, x + run);
        if (opacity >= 255)
            std::fill(out + x, out + end, v);
        else
            for (; x < end; ++x)
                out[x] = blend(v, out[x], opacity);
        x = end;
        run = k;
    }
}

// 24-bit pixels to RGB32 at 1:1, the common case: four pixels per shuffle where the processor
// has one, else four bytes read per pixel. The last pixels, whose extra bytes may lie past the
// image, are read byte by byte.
__attribute__((target("ssse3"))) void copyRow24Ssse3(const uchar* in, QRgb* out, qint64 n)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
    qint64 i = 0;
    for (; i + 6 <= n; i += 4) { // 16 bytes read, 12 used
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_or_si128(_mm_shuffle_epi8(v, spread), opaque));
    }
    for (; i < n; ++i)
        out[i] = rgbOf(*reinterpret_cast<const TFColor*>(in + 3 * i));
}

void copyRow24(const uchar* in, QRgb* out, qint64 n)
{
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        copyRow24Ssse3(in, out, n);
        return;
    }
    for (qint64 i = 0; i + 1 < n; ++i) {
        quint32 v;
        std::memcpy(&v, in + 3 * i, 4);
        out[i] = 0xFF000000u | qFromLittleEndian(v);
    }
    if (n > 0)
        out[n - 1] = rgbOf(*reinterpret_cast<const TFColor*>(in + 3 * (n - 1)));
}

// Copies the w x h pixels at picture position (sx, sy) of `src` into the RGB32 `dst` with their
// top-left at (dx, dy), each source pixel as a k x k block, clipped to `dst`. Memory rows of
// bottom-up images are read from the other end.
void blitDIB(const TFastDIB& src, int sx, int sy, int w, int h, QImage& dst, qint64 dx, qint64 dy, int k,
             int opacity = 255)
{
    if (!src.Bits || !src.Scanlines || dst.isNull() || k < 1 || opacity <= 0)
        return;
    if (sx < 0) {
        dx -= qint64(sx) * k;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= qint64(sy) * k;
        h += sy;
        sy = 0;
    }
    w = std::min<qint64>(w, qint64(src.Info.Header.Width) - sx);
    h = std::min<qint64>(h, qint64(src.AbsHeight) - sy);
    if (w <= 0 || h <= 0)
        return;
    const qint64 x0 = std::max<qint64>(0, dx), x1 = std::min<qint64>(dst.width(), dx + qint64(w) * k);
    const qint64 y0 = std::max<qint64>(0, dy), y1 = std::min<qint64>(dst.height(), dy + qint64(h) * k);
    if (x0 >= x1 || y0 >= y1)
        return;

    const bool bottomUp = src.Info.Header.Height > 0;
    const int depth = src.Info.Header.BitCount;
    uchar* base = dst.bits();
    const qsizetype bpl = dst.bytesPerLine();
    const int firstCol = sx + int((x0 - dx) / k);
    const int lead = int((x0 - dx) % k);
    int previousRow = -1;
    const QRgb* previousOut = nullptr;
    for (qint64 y = y0; y < y1; ++y) {
        auto* out = reinterpret_cast<QRgb*>(base + y * bpl);
        const int row = sy + int((y - dy) / k);
        // The rows of one magnified pixel are equal; opaque ones are copied.
        if (row == previousRow && opacity >= 255) {
            std::memcpy(out + x0, previousOut + x0, size_t(x1 - x0) * sizeof(QRgb));
            continue;
        }
        previousRow = row;
        previousOut = out;
        const int memRow = bottomUp ? src.AbsHeight - 1 - row : row;
        const auto* in = static_cast<const uchar*>(src.Scanlines[memRow]);
        switch (depth) {
        case 24:
            if (k == 1 && opacity >= 255)
                copyRow24(in + qsizetype(firstCol) * 3, out + x0, x1 - x0);
            else
                blitRow(Fetch24{}, in, firstCol, lead, out, x0, x1, k, opacity);
            break;
        case 32:
            blitRow(Fetch32{}, in, firstCol, lead, out, x0, x1, k, opacity);
            break;
        default:
            blitRow(FetchAny{&src, memRow}, in, firstCol, lead, out, x0, x1, k, opacity);
            break;
        }
    }
}

// The region outline's dash pattern: shifted one bit per pixel, for the whole run of the program,
// so each repaint continues the dashes where the last one stopped.
quint8 AntPattern = 0;

void AntStep()
{
    AntPattern = quint8(AntPattern << 1);
    if (AntPattern == 0)
        AntPattern = 1;
}

// 5 black pixels, then 3 white.
void AntLineProc(int X, int Y, QImage* canvas)
{
    AntStep();
    if (canvas && canvas->valid(X, Y))
        reinterpret_cast<QRgb*>(canvas->scanLine(Y))[X] = AntPattern >= 32 ? 0xFFFFFFFFu : 0xFF000000u;
}

// The pattern as n pixels out of sight would leave it. Within 8 steps any byte has become a
// single bit, which then comes round every 8 steps.
void AntSkip(qint64 n)
{
    const qint64 steps = n <= 8 ? n : 8 + (n - 8) % 8;
    for (qint64 i = 0; i < steps; ++i)
        AntStep();
}

// The platform's line walker: each pixel from (x1, y1) towards (x2, y2), the end pixel left
// out; one pixel per step along the longer axis, the other coordinate rounded. Only the pixels
// in `visible` are visited; `skip` hears how many steps were passed over before and after them.
template <class Proc, class Skip>
void LineDDA(int x1, int y1, int x2, int y2, const QRect& visible, Proc&& proc, Skip&& skip)
{
    const qint64 dx = qint64(x2) - x1, dy = qint64(y2) - y1;
    const qint64 steps = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
    auto pixelAt = [&](qint64 i) {
        return StepPixel{x1 + Round64(double(dx) * i / steps), y1 + Round64(double(dy) * i / steps)};
    };
    const StepRun run = stepsInside(steps, visible, pixelAt);
    if (run.length() == 0) {
        skip(steps);
        return;
    }
    skip(run.first);
    for (qint64 i = run.first; i < run.end; ++i) {
        const StepPixel p = pixelAt(i);
        proc(int(p.x), int(p.y));
    }
    skip(steps - run.end);
}

void line(HDC c, QPoint a, QPoint b)
{
    c->MoveToEx(a.x(), a.y());
    c->LineTo(b.x(), b.y());
}

int clampInt(qint64 v)
{
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A cross of strokes `reach` pixels long each way; screen points near the ends of the int range
// keep their strokes within it.
void cross(HDC c, QPoint p, int reach)
{
    line(c, {clampInt(qint64(p.x()) - reach), p.y()}, {clampInt(qint64(p.x()) + reach), p.y()});
    line(c, {p.x(), clampInt(qint64(p.y()) - reach)}, {p.x(), clampInt(qint64(p.y()) + reach)});
}

// The text of a ring-width label. Formatting the number costs more than drawing it, and a repaint
// shows the same widths as the last one: texts are kept by distance for the unit, resolution and
// decimals they were made for. GUI thread only; bounded by letting them all go.
const QString& ringWidthLabel(double distance, int units, int dpi, int digits)
{
    struct Kept {
        int units = -1, dpi = 0, digits = -1;
        QHash<quint64, QString> texts;
    };
    static auto* kept = new Kept; // never destroyed: strings must not outlive the program's end
    if (kept->units != units || kept->dpi != dpi || kept->digits != digits || kept->texts.size() > 50000) {
        kept->texts.clear();
        kept->units = units;
        kept->dpi = dpi;
        kept->digits = digits;
    }
    const quint64 key = std::bit_cast<quint64>(distance);
    auto it = kept->texts.find(key);
    if (it == kept->texts.end())
        it = kept->texts.insert(key, RingWidthText(PixelsToUnit(distance, units, dpi), digits));
    return *it;
}

// The two area fills: white, then the area colour in the area brush style (clear drawn solid).
void fillArea(HDC dc, int w, int h)
{
    CanvasPen(dc, clWhite, 1);
    CanvasBrush(dc, clWhite, bsSolid);
    dc->Rectangle(0, 0, w, h);
    CanvasPen(dc, COLORREF(SettingAreaColor), 1);
    CanvasBrush(dc, COLORREF(SettingAreaColor), SettingAreaBrush == bsClear ? bsSolid : SettingAreaBrush);
    dc->Rectangle(0, 0, w, h);
}

// The two area fills depend only on the size and the area settings; they are drawn once and
// copied where they show.
const QImage& areaLayer(QSize size)
{
    // Kept for the whole run and never destroyed: it must not outlive the painting system.
    static auto* cache = new QImage;
    static int color = -1, brush = -1;
    if (cache->size() != size || color != SettingAreaColor || brush != SettingAreaBrush) {
        *cache = QImage(size, QImage::Format_RGB32);
        if (!cache->isNull()) {
            QPainter painter(cache);
            DeviceContext dc(&painter);
            fillArea(&dc, size.width(), size.height());
            ReleaseCanvasTools(&dc);
        }
        color = SettingAreaColor;
        brush = SettingAreaBrush;
    }
    return *cache;
}

} // namespace

// ---- repaint --------------------------------------------------------------------------------------

void TF_SMDI::SmoothDraw(bool Complete)
{
    if (Closing || Drawing)
        return;
    DrawingGuard guard(Drawing);
    if (F_Monitor)
        F_Monitor->SmoothDraw();
    composeLayers(Complete);
    if (PB)
        PB->update();
    // Points moved, added or removed show in the profile too.
    if (F_Tracker)
        F_Tracker->FollowWindow(this);
    // Its rows show which images are displayed.
    if (F_Measurements && F_Measurements->MDIForm() == this && F_Measurements->VST_SO)
        F_Measurements->VST_SO->viewport()->update();
}

void TF_SMDI::composeLayers(bool Complete)
{
    if (!PB || !Area)
        return;
    // Anything else that wrote the background may have covered the fill.
    if (B_Background.cacheKey() != m_areaShownOn || m_areaShownColor != SettingAreaColor
        || m_areaShownBrush != SettingAreaBrush)
        m_areaShown = QRegion();
    // The background pixels the region outline changes, for the overlays to be drawn again there.
    QRegion outlined;
    if (CopyRect && !B_Background.isNull()) {
        const int H = SB_H->value(), V = SB_V->value();
        const QPoint c1(Scale(clampInt(qint64(ClipbrdPT1.x()) - H)), Scale(clampInt(qint64(ClipbrdPT1.y()) - V)));
        const QPoint c2(Scale(clampInt(qint64(ClipbrdPT2.x()) - H)), Scale(clampInt(qint64(ClipbrdPT2.y()) - V)));
        auto ant = [this](int x, int y) { AntLineProc(x, y, &B_Background); };
        const QRect seen = B_Background.rect();
        LineDDA(c1.x(), c1.y(), c1.x(), c2.y(), seen, ant, AntSkip);
        LineDDA(c1.x(), c1.y(), c2.x(), c1.y(), seen, ant, AntSkip);
        LineDDA(c2.x(), c1.y(), c2.x(), c2.y(), seen, ant, AntSkip);
        LineDDA(c1.x(), c2.y(), c2.x(), c2.y(), seen, ant, AntSkip);
        for (const auto& [a, b] : {std::pair{c1, QPoint(c1.x(), c2.y())}, std::pair{c1, QPoint(c2.x(), c1.y())},
                                   std::pair{QPoint(c2.x(), c1.y()), c2}, std::pair{QPoint(c1.x(), c2.y()), c2}})
            outlined += QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                              QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())))
                & seen;
        m_areaShown -= outlined;
        m_areaShownOn = B_Background.cacheKey();
    }

    // Where B_Foreground may show other background pixels than B_Background now holds.
    QRegion newBackground = outlined;
    if (Complete) {
        const QSize size = PB->size();
        if (B_Background.size() != size || B_Background.format() != QImage::Format_RGB32) {
            B_Background = QImage(size, QImage::Format_RGB32);
            m_areaShown = QRegion();
        }
        if (B_Image.size() != size || B_Image.format() != QImage::Format_RGB32) {
            B_Image = QImage(size, QImage::Format_RGB32);
            B_Image.fill(Qt::white);
        }
        newBackground += paintBackground();
        UpdateBird(false);
    }

    // The overlays are recorded first, then drawn. Where the last repaint's record draws the same
    // and the background stayed, B_Foreground already shows them: a mouse move while measuring
    // draws the rubber band again, not thousands of points and labels.
    const QRect layer = B_Background.rect();
    std::shared_ptr<DrawingRecord> now = std::exchange(m_spareOverlays, nullptr);
    if (now)
        now->clear();
    else
        now = std::make_shared<DrawingRecord>();
    {
        DeviceContext recorder;
        recorder.setRecord(now.get());
        CullScope cull(m_cull, layer);
        DrawItems(&recorder);
        ReleaseCanvasTools(&recorder);
    }

    // B_Foreground is B_Background with the last record's overlays drawn on, as long as no one
    // else wrote it. A complete repaint brings back the background where it changed or the last
    // overlays lay, and draws all overlays again; another repaint draws again where the records
    // differ. Either way, beyond a third of the layer one whole copy costs no more than the parts.
    const bool kept = m_overlays && B_Foreground.size() == B_Background.size()
        && B_Foreground.format() == QImage::Format_RGB32 && B_Foreground.cacheKey() == m_overlaysOn;
    bool whole = !kept;
    QRegion copied, redraw;
    if (kept) {
        if (Complete) {
            copied = (newBackground + m_overlays->coverage(layer, 32)) & layer;
        } else {
            redraw = (now->differenceFrom(*m_overlays) + outlined) & layer;
            copied = redraw;
        }
        qint64 area = 0;
        for (const QRect& r : copied)
            area += qint64(r.width()) * r.height();
        whole = area * 3 > qint64(layer.width()) * layer.height() || (!Complete && !now->clipsCleanly(redraw));
    }
    if (whole && B_Foreground.size() != B_Background.size())
        B_Foreground = QImage(B_Background.size(), QImage::Format_RGB32);
    if (!B_Background.isNull() && (whole || Complete || !redraw.isEmpty())) {
        const qsizetype bpl = B_Background.bytesPerLine();
        if (whole) {
            std::memcpy(B_Foreground.bits(), B_Background.constBits(), size_t(B_Background.sizeInBytes()));
        } else {
            uchar* to = B_Foreground.bits();
            for (const QRect& r : copied)
                for (int y = r.top(); y <= r.bottom(); ++y)
                    std::memcpy(to + y * bpl + qsizetype(r.left()) * 4,
                                B_Background.constScanLine(y) + qsizetype(r.left()) * 4, size_t(r.width()) * 4);
        }
        QPainter painter(&B_Foreground);
        DeviceContext dc(&painter);
        dc.Replay(*now, whole || Complete ? nullptr : &redraw);
    }
    m_spareOverlays = std::exchange(m_overlays, std::move(now));
    m_overlaysOn = B_Foreground.cacheKey();
}

QRegion TF_SMDI::paintBackground()
{
    buildDueZoomCopies();
    const int W = B_Background.width(), Hgt = B_Background.height();
    const int H = SB_H->value(), V = SB_V->value();
    const int z = fZoom;
    const bool transparent = SettingUseMovingTransparency && fScreenMode == mmAlignImages && IsAltDown();
    const int opacity = transparent ? std::clamp(SettingMovingTransparency, 0, 255) : 255;

    // What each displayed image puts where, in drawing order: unselected images first, so the
    // selected ones lie on top.
    struct Plan {
        TStitchObject* so;
        QRect outline;              // Scale(x - H), Scale(y - V), Scale(Width) x Scale(Height)
        const TFastDIB* source = nullptr; // none: an outline only
        int sx = 0, sy = 0, w = 0, h = 0, k = 1;
        qint64 dx = 0, dy = 0;
    };
    std::vector<Plan> plans;
    plans.reserve(StitchList.size());
    auto plan = [&](TStitchObject& so) {
        so.Displayed = false;
        if (qint64(Scale(so.x)) > qint64(Scale(H)) + W || qint64(so.x) + so.Width < H
            || qint64(Scale(so.y)) > qint64(Scale(V)) + Hgt || qint64(so.y) + so.Height < V)
            return;
        so.Displayed = true;
        Plan p{&so, QRect(Scale(so.x - H), Scale(so.y - V), Scale(so.Width), Scale(so.Height))};
        if (!so.Visible) {
        } else if (z < 10) {
            // Only the canvas columns and rows that fit whole into the paint box are shown.
            const int k = 11 - z;
            const qint64 a = std::max(H, so.x), b = std::max(V, so.y);
            const qint64 r = std::min<qint64>(qint64(so.x) + so.Width, W / k + qint64(H));
            const qint64 s = std::min<qint64>(qint64(so.y) + so.Height, Hgt / k + qint64(V));
            if (so.FD && r > a && s > b)
                p = Plan{&so, p.outline, so.FD.get(), int(a - so.x), int(b - so.y), int(r - a), int(s - b), k,
                         qint64(a - H) * k, qint64(b - V) * k};
        } else if (z == 10) {
            if (so.FD)
                p = Plan{&so, p.outline, so.FD.get(), 0, 0, so.Width, so.Height, 1, qint64(so.x) - H, qint64(so.y) - V};
        } else if (so.FZ) {
            p = Plan{&so, p.outline, so.FZ.get(), 0, 0, so.FZ->Info.Header.Width, so.FZ->AbsHeight, 1,
                     p.outline.x(), p.outline.y()};
        }
        plans.push_back(p);
    };
    for (const auto& so : StitchList)
        if (!so->Selected)
            plan(*so);
    for (const auto& so : StitchList)
        if (so->Selected)
            plan(*so);
    if (B_Background.isNull())
        return {};

    // The area fill shows only where no opaque picture covers it, and is drawn only where it
    // is not yet.
    const QRect layer(0, 0, W, Hgt);
    QRegion uncovered(layer), pictures;
    for (const Plan& p : plans)
        if (p.source && p.source->Bits) {
            const qint64 w = std::min<qint64>(p.w, qint64(p.source->Info.Header.Width) - p.sx);
            const qint64 h = std::min<qint64>(p.h, qint64(p.source->AbsHeight) - p.sy);
            const qint64 l = std::max<qint64>(p.dx, 0), t = std::max<qint64>(p.dy, 0);
            const qint64 r = std::min<qint64>(p.dx + w * p.k, W), b = std::min<qint64>(p.dy + h * p.k, Hgt);
            if (w > 0 && h > 0 && r > l && b > t)
                pictures += QRect(int(l), int(t), int(r - l), int(b - t));
        }
    if (opacity >= 255)
        uncovered -= pictures;
    const QRegion fill = uncovered - m_areaShown;
    const QImage& area = areaLayer(B_Background.size());
    const qsizetype bpl = B_Background.bytesPerLine();
    uchar* bits = B_Background.bits();
    for (const QRect& r : fill)
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::memcpy(bits + y * bpl + qsizetype(r.left()) * 4, area.constScanLine(y) + qsizetype(r.left()) * 4,
                        size_t(r.width()) * 4);

    // Outlines go through a painter, made only when one is drawn.
    std::optional<QPainter> painter;
    std::optional<DeviceContext> dc;
    QRegion outlines;
    auto outline = [&](const QRect& o, COLORREF colour) {
        if (!painter) {
            painter.emplace(&B_Background);
            dc.emplace(&*painter);
        }
        CanvasBrush(&*dc, dc->brush().lbColor, bsClear);
        CanvasPen(&*dc, colour, 1);
        dc->Rectangle(o.left(), o.top(), o.left() + o.width(), o.top() + o.height());
        outlines += o.adjusted(-1, -1, 1, 1) & layer;
    };
    for (const Plan& p : plans) {
        const QRect& o = p.outline;
        if (!p.so->Visible)
            outline(o, p.so->Selected ? clRed : clNavy);
        else if (p.source)
            blitDIB(*p.source, p.sx, p.sy, p.w, p.h, B_Background, p.dx, p.dy, p.k, opacity);
        if (fScreenMode == mmAlignImages && p.so->Selected)
            outline(o, COLORREF(SettingISColor));
    }
    if (dc)
        ReleaseCanvasTools(&*dc);
    dc.reset();
    painter.reset();

    m_areaShown = uncovered - pictures - outlines;
    m_areaShownOn = B_Background.cacheKey();
    m_areaShownColor = SettingAreaColor;
    m_areaShownBrush = SettingAreaBrush;
    return fill + pictures + outlines;
}

void TF_SMDI::PBPaint()
{
    if (!PB)
        return;
    // A paint box resized without a repaint yet (first show) gets its layers now.
    if (B_Foreground.size() != PB->size() && !Drawing && !Closing) {
        DrawingGuard guard(Drawing);
        composeLayers(true);
    }
    QPainter p(PB);
    if (!B_Foreground.isNull())
        p.drawImage(0, 0, B_Foreground);
    const QRect covered(QPoint(0, 0), B_Foreground.size());
    if (!covered.contains(PB->rect())) {
        const QRegion rest = QRegion(PB->rect()).subtracted(QRegion(covered));
        for (const QRect& r : rest)
            p.fillRect(r, Qt::white);
    }
}

void TF_SMDI::T_AntRectTimer()
{
    if (CopyRect)
        SmoothDraw(false);
}

// ---- overlays -------------------------------------------------------------------------------------

void TF_SMDI::DrawItems(DeviceContext* ACanvas)
{
    if (!ACanvas)
        return;
    HDC C = ACanvas;
    const int W = PB ? PB->width() : 0, Hgt = PB ? PB->height() : 0;
    const int z = fZoom;
    const double g = GetZoomDiv(z);
    const ViewTransform view = viewTransform();
    CanvasPen(C, clRed, C->pen().lopnWidth, C->pen().lopnStyle);

    // While the user points into the tracker's profile, its crosshair stands for the mouse's.
    const bool trackerActive = F_Tracker && F_Tracker->isActiveForm();
    if (trackerActive && F_Tracker->SB_SMDICursor->isChecked()) {
        const QPoint t = ToScreen(TrackerPos);
        CanvasPen(C, COLORREF(SettingCADColor), 1);
        line(C, {t.x(), 0}, {t.x(), Hgt});
        line(C, {0, t.y()}, {W, t.y()});
    }
    if (SettingCADCursor && !trackerActive) {
        CanvasPen(C, COLORREF(SettingCADColor), 1);
        line(C, {Mouse.x(), 0}, {Mouse.x(), Hgt});
        line(C, {0, Mouse.y()}, {W, Mouse.y()});
    }

    if (fScreenMode == mmDPIPoint2 || fScreenMode == mmDPIDone) {
        const QPoint d1 = ToScreen(DPI1), d2 = ToScreen(DPI2);
        CanvasPen(C, clRed, 1);
        cross(C, d1, 15);
        if (fScreenMode == mmDPIDone)
            cross(C, d2, 15);
        line(C, d1, d2);
    }

    if (AnchorLine) {
        const auto& points = AnchorLine->AnchorPoints;
        QPoint last;
        for (size_t i = 0; i < points.size(); ++i) {
            const QPoint s = points[i]->Draw(&view, C);
            if (i > 0 && points[i - 1]->Active)
                line(C, last, s);
            last = s;
        }
        if (fScreenMode == mmAnchorLine && !points.empty())
            line(C, last, Mouse);
    }

    const bool strict = SB_AnchorStrict && SB_AnchorStrict->isChecked();
    if (strict) {
        CanvasPen(C, clRed, 1);
        cross(C, ToScreen(Anchor), 7);
    }

    // Drawing that would land outside the seen part is skipped; screen points and widths are
    // worked out all the same, and every line sets its own pen.
    auto seenBox = [this](qint64 l, qint64 t, qint64 r, qint64 b) {
        return m_cull.isNull() || (l <= m_cull.right() && r >= m_cull.left() && t <= m_cull.bottom() && b >= m_cull.top());
    };
    auto seenLine = [&](QPoint a, QPoint b, int width) {
        const qint64 m = std::max(width, 1) + 1;
        return seenBox(qint64(std::min(a.x(), b.x())) - m, qint64(std::min(a.y(), b.y())) - m,
                       qint64(std::max(a.x(), b.x())) + m, qint64(std::max(a.y(), b.y())) + m);
    };
    const qint64 pointReach = std::max(std::abs(SettingISize), std::abs(SettingMSize)) + std::abs(SettingSSize) + 8;
    auto drawPoint = [&](TJEXObject& o, bool pith) {
        const QPoint p = view.toScreen(o.Pos);
        const bool labelled = o.SapWood || (SettingTVisible && !o.Comment.isEmpty());
        if (!labelled && !seenBox(p.x() - pointReach, p.y() - pointReach, p.x() + pointReach, p.y() + pointReach))
            return p;
        return pith ? o.Draw(&view, C, true) : o.Draw(&view, C);
    };
    const int ralLength = SettingScaleRAL ? Round(SettingRALLength / g) : SettingRALLength;
    auto rightAngle = [&](QPoint from, QPoint to, int width) {
        const auto [e1, e2] = PerpendicularEnds(from.x(), from.y(), to.x(), to.y(), ralLength);
        if (!seenLine(e1, e2, width))
            return;
        CanvasPen(C, COLORREF(SettingRALColor), width);
        line(C, e1, e2);
    };
    const int labelSize = LabelFontSize(g);
    const qint64 labelEm = labelSize == 0 ? 16 : std::abs(qint64(labelSize) * 96 / 72) + 1;
    const qint64 labelReach = labelEm * (8 + std::max(0, SettingDigits));

    for (const auto& path : PathList) {
        // Paths that are not drawn still get their widths from the positions, so the tree, the
        // statistics and the exports never depend on what was painted.
        if (!SettingOVisible || !path->visible) {
            RecomputeDistances(path.get());
            continue;
        }
        QPoint L, P;
        for (size_t i = 0; i < path->ObjectList.size(); ++i) {
            TIndex* I = path->ObjectList[i].get();
            I->distance = 0;
            const QPoint S = drawPoint(*I, i == 0 && path->Pith);
            if (i > 0) {
                const int width = z > 15 ? 1 : SettingILWidth;
                C->MoveToEx(S.x(), S.y());
                if (SettingDrawIndexLines && seenLine(S, L, width)) {
                    CanvasPen(C, COLORREF(SettingILColor), width);
                    C->LineTo(L.x(), L.y());
                }
                I->distance = PointDistance(I->Pos, P);
            }
            L = S;
            P = I->Pos;
            for (const auto& M : I->ObjectList) {
                const QPoint S2 = drawPoint(*M, false);
                M->distance = PointDistance(P, M->Pos);
                const int width = z > 15 ? 1 : SettingMWidth;
                if (seenLine(L, S2, width)) {
                    CanvasPen(C, COLORREF(SettingMLColor), width);
                    line(C, L, S2);
                }
                if (SettingLVisible) {
                    const qint64 left = L.x() + (qint64(S2.x()) - L.x()) / 2, top = L.y() + (qint64(S2.y()) - L.y()) / 2;
                    if (seenBox(left - labelReach, top, left + labelReach, top + 2 * labelEm)) {
                        CanvasBrush(C, C->brush().lbColor, bsClear);
                        CanvasFont(C, SettingFontName, labelSize, COLORREF(SettingTextColor));
                        const QString& text = ringWidthLabel(M->distance, SettingUnits, DPI, SettingDigits);
                        C->TextOut(clampInt(left - C->GetTextExtent(text).cx / 2), clampInt(top), text);
                    }
                }
                if (SettingRALVisible)
                    rightAngle(L, S2, z > 15 ? 1 : SettingRALWidth);
                L = S2;
                P = M->Pos;
            }
        }
        if ((fScreenMode == mmNewIndex || fScreenMode == mmNewMeasurement) && path.get() == CurrentPath.get()
            && !path->ObjectList.empty()) {
            const bool index = fScreenMode == mmNewIndex;
            const int width = z > 15 ? 1 : (index ? SettingILWidth : SettingMWidth);
            const QPoint target = strict ? ToScreen(Anchor) : Mouse;
            CanvasPen(C, COLORREF(index ? SettingILColor : SettingMLColor), width);
            line(C, L, target);
            if (SettingRALVisible)
                rightAngle(L, target, width);
        }
    }

    for (const auto& object : DrawList)
        object->Draw(&view, C);
}

// ---- whole-canvas export --------------------------------------------------------------------------

void TF_SMDI::PaintTo(QImage& ABMP, bool DrawMeasurements)
{
    const int w = Area->width(), h = Area->height();
    ABMP = QImage(w, h, QImage::Format_RGB32);
    if (ABMP.isNull())
        return;
    ABMP.fill(Qt::white);
    // The bitmap starts at the area's corner; images and overlays are both placed from there.
    const int ox = Area->x1, oy = Area->y1;

    QPointer<TF_SMDI> self(this); // the user may close the window while the progress box runs events
    if (F_Progress)
        F_Progress->PB->setMaximum(int(StitchList.size()) + 2);
    for (size_t i = 0; i < StitchList.size(); ++i) {
        if (F_Progress) {
            F_Progress->L_2->setText(QStringLiteral("Adding image ") + ExtractFileName(StitchList[i]->filename));
            F_Progress->DoStep();
            if (F_Progress && F_Progress->Tag == TF_Progress::TagCancelled) {
                if (MessageDlg(QStringLiteral("Cancel image export?"), mtConfirmation, mbYesNo) == mrYes)
                    return;
                if (F_Progress)
                    F_Progress->Tag = 0;
            }
            if (!self || i >= StitchList.size())
                return;
        }
        const TStitchObject& so = *StitchList[i];
        if (so.FD)
            blitDIB(*so.FD, 0, 0, so.Width, so.Height, ABMP, qint64(so.x) - ox, qint64(so.y) - oy, 1);
    }

    if (!DrawMeasurements)
        return;
    // Overlays go through ToScreen, which at 1:1 subtracts the scroll positions.
    const int shiftX = SB_H->value() - ox, shiftY = SB_V->value() - oy;
    const qsizetype bpl = ABMP.bytesPerLine();
    for (int ty = 0; ty < h; ty += TileSize) {
        for (int tx = 0; tx < w; tx += TileSize) {
            QImage tile(ABMP.bits() + qsizetype(ty) * bpl + qsizetype(tx) * 4, std::min(TileSize, w - tx),
                        std::min(TileSize, h - ty), bpl, QImage::Format_RGB32);
            QPainter painter(&tile);
            painter.translate(shiftX - tx, shiftY - ty);
            DeviceContext dc(&painter);
            CullScope cull(m_cull, QRect(tx - shiftX, ty - shiftY, tile.width(), tile.height()));
            DrawItems(&dc);
            ReleaseCanvasTools(&dc);
        }
    }
}

// ---- overview -------------------------------------------------------------------------------------

int TF_SMDI::BirdZoom(int BirdWidth) const
{
    if (BirdWidth <= 0)
        return 0;
    // The first z from 20 with BirdWidth > width / (z - 9).
    const qint64 z = qint64(Area->width()) / BirdWidth + 10;
    return int(std::max<qint64>(20, z));
}

int TF_SMDI::BuildBird(int BirdWidth)
{
    const int z = BirdZoom(BirdWidth);
    if (z <= 0)
        return 0;
    B_Bird = QImage(BirdWidth, ScaleBird(Area->height(), z), QImage::Format_RGB32);
    if (B_Bird.isNull())
        return 0;
    DrawBird(z);
    return z;
}

std::vector<qint64> TF_SMDI::birdSource(int z, QSize size) const
{
    std::vector<qint64> source = {z, size.width(), size.height(), SettingAreaColor, SettingAreaBrush, FX != nullptr};
    source.reserve(source.size() + StitchList.size() * 9);
    for (const auto& so : StitchList) {
        const TFastDIB* fd = so->FD.get();
        source.insert(source.end(), {qint64(quintptr(so.get())), so->x, so->y, so->Width, so->Height,
                                     qint64(so->Visible) | qint64(so->Selected) << 1, qint64(quintptr(fd)),
                                     fd ? qint64(quintptr(fd->Bits)) : 0,
                                     fd ? qint64(fd->Info.Header.Width) << 32 | fd->AbsHeight : 0});
    }
    return source;
}

void TF_SMDI::UpdateBird(bool ImageChanged)
{
    if (!F_BirdView || !isVisible() || (!ImageChanged && F_BirdView->MDIForm != this))
        return;
    try {
        const int z = BirdZoom(F_BirdView->width());
        if (z <= 0)
            return;
        F_BirdView->setClientHeight(ScaleBird(Area->height(), z));
        // The view's own size: docked or at its minimum it may not take the height asked for.
        const QSize size(F_BirdView->width(), F_BirdView->height());
        std::vector<qint64> source = birdSource(z, size);
        if (ImageChanged || B_Bird.size() != size || source != m_birdDrawnFrom) {
            QImage bird(size, QImage::Format_RGB32);
            if (bird.isNull())
                return; // the previous overview stays
            B_Bird = std::move(bird);
            m_birdDrawnFrom.clear(); // a throw while drawing leaves it to be drawn again
            DrawBird(z);
            m_birdDrawnFrom = std::move(source);
        }
        F_BirdView->UpdateBird(this, z);
    } catch (const std::exception&) {
        // The previous overview stays.
    }
}

void TF_SMDI::DrawBird(int z)
{
    if (B_Bird.isNull())
        return;
    QPainter painter(&B_Bird);
    DeviceContext dc(&painter);
    fillArea(&dc, B_Bird.width(), B_Bird.height());
    if (z <= 999) {
        for (const auto& so : StitchList) {
            const int x = ScaleBird(so->x, z), y = ScaleBird(so->y, z);
            const int w = ScaleBird(so->Width, z), h = ScaleBird(so->Height, z);
            if (!so->Visible) {
                CanvasBrush(&dc, dc.brush().lbColor, bsClear);
                CanvasPen(&dc, so->Selected ? clRed : clNavy, 1);
                dc.Rectangle(x, y, x + w, y + h);
            } else if (FX && so->FD) {
                FX->SetSize(w, h, 24);
                ResizeNearest(*so->FD, *FX);
                blitDIB(*FX, 0, 0, w, h, B_Bird, x, y, 1);
                FX->SetSize(0, 0, 24);
            }
        }
    }
    ReleaseCanvasTools(&dc);
}

// ---- zoomed copies --------------------------------------------------------------------------------

namespace {

// Sizes an image's zoomed copy for the window's zoom; false when none is shown (1:1 and larger
// zooms, no image), and the copy is then emptied.
bool sizeZoomCopy(const TF_SMDI& w, TStitchObject& so)
{
    if (w.zoom() <= 10 || !so.FD) {
        so.FZ->SetSize(0, 0, 24);
        return false;
    }
    const int width = w.Scale(so.Width), height = w.Scale(so.Height);
    if (so.FZ->Info.Header.Width != width || so.FZ->AbsHeight != height || so.FZ->Info.Header.BitCount != 24)
        so.FZ->SetSize(width, height, 24);
    return true;
}

} // namespace

void TF_SMDI::ResampleStitchObjects(TStitchObject* ASO)
{
    m_birdDrawnFrom.clear(); // the pixels may have changed
    requestZoomCopies(ASO);
}

void TF_SMDI::requestZoomCopies(TStitchObject* ASO)
{
    // The copies are sized now and filled by the next complete repaint, from the pixels and at
    // the zoom of then: the requests of one road (an image read, the fitted zoom, a rebuild after
    // loading) build each copy once, not once per request.
    auto request = [this](TStitchObject& so) {
        if (!so.FZ)
            return;
        if (sizeZoomCopy(*this, so))
            m_zoomCopiesDue.insert(&so);
        else
            m_zoomCopiesDue.erase(&so);
    };
    if (ASO) {
        request(*ASO);
        return;
    }
    for (const auto& so : StitchList)
        request(*so);
}

void TF_SMDI::buildDueZoomCopies()
{
    if (m_zoomCopiesDue.empty())
        return;
    for (const auto& so : StitchList) {
        if (!m_zoomCopiesDue.count(so.get()) || !so->FZ || !sizeZoomCopy(*this, *so))
            continue;
        if (SettingResamplingAlgorithm == 0)
            ResizeNearest(*so->FD, *so->FZ);
        else
            ResampleFiltered(*so->FD, *so->FZ, ResamplerIndex(SettingResamplingAlgorithm, rkPoint));
    }
    m_zoomCopiesDue.clear();
}
