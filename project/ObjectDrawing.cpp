// How index and measurement points, anchor points, arrows and rectangles draw themselves onto a
// view's device context, and the canvas state (pen, brush, font) they draw with.
// Point sizes are screen pixels; arrows and rectangles are canvas-sized and follow the zoom.
#include "project/ObjectDrawing.h"

#include "platform/Delphi.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "project/TJEXObject.h"
#include "project/ViewTransform.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <tuple>

// ---- canvas state ---------------------------------------------------------------------------------

namespace {

// Objects made by the canvas calls; only these are freed when replaced, so a context that holds
// someone else's pen keeps it alive. GUI thread only, like all drawing.
QSet<const GdiObject*>& madeTools()
{
    static QSet<const GdiObject*> made;
    return made;
}

template <class H>
H made(H object)
{
    madeTools().insert(object);
    return object;
}

// Pens made by the canvas calls, kept for reuse by what they draw: a repaint goes back and forth
// between a few pens for thousands of objects. Bounded by letting them all go.
std::map<std::tuple<int, int, COLORREF>, HPEN>& keptPens()
{
    static std::map<std::tuple<int, int, COLORREF>, HPEN> kept;
    return kept;
}
constexpr size_t MaxKeptPens = 64;

// Whether a live object is one of the kept pens.
bool isKeptPen(HGDIOBJ object)
{
    if (!object || object->kind() != GdiObject::Kind::Pen)
        return false;
    const LOGPEN& log = static_cast<HPEN>(object)->log;
    const auto it = keptPens().find({log.lopnStyle, log.lopnWidth, log.lopnColor});
    return it != keptPens().end() && it->second == object;
}

// Objects handed here are alive: deleting one deselects it from every context.
void freeIfMade(HGDIOBJ object)
{
    if (object && !isKeptPen(object) && madeTools().remove(object))
        DeleteObject(object);
}

HPEN keptPen(int style, int width, COLORREF color)
{
    auto& kept = keptPens();
    const auto it = kept.find({style, width, color});
    if (it != kept.end()) {
        // A pen someone else deleted is made again; its memory may hold another object by now.
        HPEN pen = it->second;
        if (GetObjectType(pen) == OBJ_PEN && pen->log.lopnStyle == style && pen->log.lopnWidth == width
            && pen->log.lopnColor == color)
            return pen;
        kept.erase(it);
    }
    if (kept.size() >= MaxKeptPens) {
        // Contexts still holding one of them go on drawing with its description.
        for (const auto& [key, pen] : kept)
            if (GetObjectType(pen) == OBJ_PEN && madeTools().remove(pen))
                DeleteObject(pen);
        kept.clear();
    }
    HPEN pen = made(CreatePen(style, width, color));
    kept.emplace(std::tuple{style, width, color}, pen);
    return pen;
}

int pointsToHeight(int size)
{
    return -MulDiv(size, 96, 72);
}

// v + d kept within int. Points near the ends of the range lie far out of view, where a corner
// held at the end draws the same nothing, and nothing wraps round into view.
int moved(int v, qint64 d)
{
    return int(std::clamp<qint64>(qint64(v) + d, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

QPoint moved(QPoint p, qint64 dx, qint64 dy)
{
    return {moved(p.x(), dx), moved(p.y(), dy)};
}

} // namespace

void CanvasPen(HDC dc, COLORREF color, int width, int style)
{
    if (!dc)
        return;
    color &= 0xFFFFFF;
    const LOGPEN& now = dc->pen();
    if (madeTools().contains(dc->currentPen()) && now.lopnColor == color && now.lopnWidth == width
        && now.lopnStyle == style)
        return;
    freeIfMade(dc->SelectObject(keptPen(style, width, color)));
}

void CanvasBrush(HDC dc, COLORREF color, int style)
{
    if (!dc)
        return;
    color &= 0xFFFFFF;
    LOGBRUSH lb{BS_SOLID, color, 0};
    if (style == bsClear)
        lb.lbStyle = BS_NULL;
    else if (style >= bsHorizontal && style <= bsDiagCross)
        lb = LOGBRUSH{BS_HATCHED, color, style - bsHorizontal};
    // Text and hatch gaps follow the brush: opaque in its colour when solid, else transparent.
    dc->SetBkMode(lb.lbStyle == BS_SOLID ? OPAQUE : TRANSPARENT);
    dc->SetBkColor(lb.lbStyle == BS_SOLID ? color : ~color & 0xFFFFFF);
    const LOGBRUSH& now = dc->brush();
    if (madeTools().contains(dc->currentBrush()) && now.lbStyle == lb.lbStyle && now.lbColor == lb.lbColor
        && now.lbHatch == lb.lbHatch)
        return;
    freeIfMade(dc->SelectObject(made(CreateBrushIndirect(lb))));
}

void CanvasFont(HDC dc, const QString& face, int size, COLORREF color)
{
    if (!dc)
        return;
    dc->SetTextColor(color & 0xFFFFFF);
    LOGFONT lf = dc->font();
    if (!face.isEmpty())
        lf.lfFaceName = face.left(31);
    lf.lfHeight = pointsToHeight(size);
    lf.lfEscapement = 0;
    lf.lfOrientation = 0;
    const LOGFONT& now = dc->font();
    if (madeTools().contains(dc->currentFont()) && now.lfHeight == lf.lfHeight && now.lfFaceName == lf.lfFaceName
        && now.lfEscapement == 0)
        return;
    freeIfMade(dc->SelectObject(made(CreateFontIndirect(lf))));
}

void ReleaseCanvasTools(HDC dc)
{
    if (!dc)
        return;
    freeIfMade(dc->SelectObject(static_cast<HPEN>(GetStockObject(BLACK_PEN))));
    freeIfMade(dc->SelectObject(static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))));
    freeIfMade(dc->SelectObject(static_cast<HFONT>(GetStockObject(SYSTEM_FONT))));
}

int LabelFontSize(double zoomDiv)
{
    if (SettingFixedFontSize)
        return SettingFSize;
    return Round(2.0 * SettingFSize / zoomDiv);
}

QString RingWidthText(double value, int digits)
{
    return FloatToStrF(value, ffFixed, 4, digits);
}

void TextOutRotated(HDC dc, int angle, int x, int y, const QString& text, bool bottomLeft)
{
    if (!dc || text.isEmpty())
        return;
    LOGFONT lf = dc->font();
    lf.lfEscapement = angle * 10;
    lf.lfOrientation = angle * 10;
    HFONT rotated = CreateFontIndirect(lf);
    HFONT previous = dc->SelectObject(rotated);
    if (bottomLeft) {
        // The context places text by the top-left of its cell; the cell's top lies one cell height
        // "up" from the bottom, and up turns with the text.
        const int h = dc->GetTextExtent(text).cy;
        const double a = angle * std::numbers::pi / 180.0;
        x = moved(x, -Round(h * std::sin(a)));
        y = moved(y, -Round(h * std::cos(a)));
    }
    dc->TextOut(x, y, text);
    dc->SelectObject(previous);
    DeleteObject(rotated);
}

// ---- the objects ----------------------------------------------------------------------------------

namespace {

void line(HDC c, QPoint a, QPoint b)
{
    c->MoveToEx(a.x(), a.y());
    c->LineTo(b.x(), b.y());
}

void keepBrushColourClear(HDC c)
{
    CanvasBrush(c, c->brush().lbColor, bsClear);
}

// Square of half side s, the selection outline S pixels further out, and the label.
QPoint drawPointSquare(const ViewTransform* f, HDC c, const TJEXObject& point, int color, int s,
                       int selectionColor)
{
    const QPoint p = f->toScreen(point.Pos);
    keepBrushColourClear(c);
    CanvasPen(c, COLORREF(color), 1);
    const QPoint a = moved(p, -s, -s), b = moved(p, s, s);
    c->Rectangle(a.x(), a.y(), b.x(), b.y());
    if (point.selected) {
        const qint64 S = SettingSSize;
        CanvasPen(c, COLORREF(selectionColor), 2);
        const QPoint outer1 = moved(p, -s - S, -s - S), outer2 = moved(p, s + S + 1, s + S + 1);
        c->Rectangle(outer1.x(), outer1.y(), outer2.x(), outer2.y());
    }
    if (point.SapWood || (SettingTVisible && !point.Comment.isEmpty())) {
        QString text = point.Comment;
        if (point.SapWood)
            text += QStringLiteral(" Sapwood border");
        CanvasFont(c, SettingFontName, LabelFontSize(f->zoomDiv()), COLORREF(SettingTextColor));
        TextOutRotated(c, SettingTextAngle, p.x(), moved(p.y(), -2), text, true);
    }
    return p;
}

} // namespace

QPoint TIndex::Draw(const ViewTransform* f, DeviceContext* ACanvas)
{
    if (!f)
        return {};
    if (!ACanvas)
        return f->toScreen(Pos);
    return drawPointSquare(f, ACanvas, *this, SettingIColor, SettingISize, SettingISColor);
}

QPoint TIndex::Draw(const ViewTransform* f, DeviceContext* ACanvas, bool Pith)
{
    Q_UNUSED(Pith);
    if (!f)
        return {};
    if (ACanvas) {
        const QPoint p = f->toScreen(Pos);
        const int s = SettingISize;
        keepBrushColourClear(ACanvas);
        CanvasPen(ACanvas, COLORREF(SettingIColor), 2);
        const QPoint a = moved(p, -qint64(s) - 4, -qint64(s) - 4), b = moved(p, qint64(s) + 4, qint64(s) + 4);
        ACanvas->Ellipse(a.x(), a.y(), b.x(), b.y());
    }
    return Draw(f, ACanvas);
}

QPoint TMeasurement::Draw(const ViewTransform* f, DeviceContext* ACanvas)
{
    if (!f)
        return {};
    if (!ACanvas)
        return f->toScreen(Pos);
    return drawPointSquare(f, ACanvas, *this, SettingMColor, SettingMSize, SettingMSColor);
}

QPoint TAnchorPoint::Draw(const ViewTransform* f, DeviceContext* ACanvas)
{
    if (!f)
        return {};
    const QPoint p = f->toScreen(Pos);
    if (!ACanvas)
        return p;
    const int s = SettingISize;
    keepBrushColourClear(ACanvas);
    CanvasPen(ACanvas, COLORREF(selected ? SettingISColor : SettingIColor), 1);
    const qint64 reach = qint64(s) + 1;
    line(ACanvas, moved(p, -reach, 0), moved(p, reach, 0));
    line(ACanvas, moved(p, 0, -reach), moved(p, 0, reach));
    return p;
}

namespace {

// End mark of an arrow at `end` (canvas pixels) whose shaft comes from `other`; `screenEnd` is
// the end's screen point. Construction is in canvas pixels, each point converted on its own.
void drawArrowMark(const ViewTransform* f, HDC c, int type, int w, QPoint end, QPoint other, QPoint screenEnd,
                   bool tip, QPoint base, QPoint tipPoint)
{
    switch (type) {
    case 1: {
        CanvasBrush(c, c->pen().lopnColor, bsSolid);
        const QPoint a = f->toScreen(moved(end, -qint64(w), -qint64(w)));
        const QPoint b = f->toScreen(moved(end, w, w));
        c->Ellipse(a.x(), a.y(), b.x(), b.y());
        break;
    }
    case 2: {
        const auto [a, b] = PerpendicularEnds(end.x(), end.y(), other.x(), other.y(), w);
        line(c, f->toScreen(a), f->toScreen(b));
        break;
    }
    case 3: {
        if (base == tipPoint)
            break;
        const double dx = double(tipPoint.x()) - base.x();
        const double dy = double(tipPoint.y()) - base.y();
        const double L = std::sqrt(dx * dx + dy * dy);
        const double ux = dx / L, uy = dy / L;
        const QPoint along(Round(w * ux), Round(w * uy));
        const qint64 sign = tip ? -4 : 4;
        const QPoint c0 = moved(tip ? tipPoint : base, sign * along.x(), sign * along.y());
        const QPoint side(Round(w * uy), Round(-double(w) * ux)); // w may be INT_MIN
        line(c, screenEnd, f->toScreen(moved(c0, side.x(), side.y())));
        line(c, screenEnd, f->toScreen(moved(c0, -qint64(side.x()), -qint64(side.y()))));
        break;
    }
    default:
        break;
    }
}

} // namespace

QPoint TArrow::Draw(const ViewTransform* f, DeviceContext* ACanvas)
{
    if (!f)
        return {};
    const QPoint p1 = f->toScreen(x1);
    if (!ACanvas)
        return p1;
    const QPoint p2 = f->toScreen(x2);
    const double g = f->zoomDiv();
    keepBrushColourClear(ACanvas);
    CanvasPen(ACanvas, COLORREF(Color), Round(Width / g));
    line(ACanvas, p1, p2);
    if (!caption.isEmpty()) {
        CanvasFont(ACanvas, QString(), Round(10.0 * Width / g), ACanvas->pen().lopnColor);
        ACanvas->TextOut(p1.x(), p1.y(), caption);
    }
    drawArrowMark(f, ACanvas, BaseType, BaseWidth, x1, x2, p1, false, x1, x2);
    drawArrowMark(f, ACanvas, TipType, TipWidth, x2, x1, p2, true, x1, x2);
    return p1;
}

QPoint TRectangle::Draw(const ViewTransform* f, DeviceContext* ACanvas)
{
    if (!f)
        return {};
    const QPoint a = f->toScreen(x1);
    if (!ACanvas)
        return a;
    const QPoint b = f->toScreen(x2);
    const double g = f->zoomDiv();
    CanvasPen(ACanvas, COLORREF(PColor), Round(PWidth / g));
    CanvasBrush(ACanvas, COLORREF(BColor), Transparent ? bsClear : bsSolid);
    ACanvas->Rectangle(a.x(), a.y(), b.x(), b.y());
    return a;
}
