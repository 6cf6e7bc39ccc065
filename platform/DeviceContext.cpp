// GDI-shaped device contexts over QPainter; see DeviceContext.h.
// Pictures of 1, 4 and 8 bits (and unusual masks) have no QImage format QPainter can paint on:
// they are painted on an RGB32 copy that is written back with the nearest palette entries.
#include "platform/DeviceContext.h"

#include "platform/LineSteps.h"

#include <QFontMetrics>
#include <QHash>
#include <QMutex>
#include <QPaintDevice>
#include <QPainterPath>
#include <QSet>
#include <QStaticText>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace {

// Live objects and contexts, so that deleting a stale handle is refused as GDI refuses it, and a
// deleted pen, brush or font is no longer reported as selected anywhere. Never destroyed: images
// held in statics may release their handles during exit.
QMutex& registryMutex()
{
    static auto* mutex = new QMutex;
    return *mutex;
}
QSet<GdiObject*>& liveObjects()
{
    static auto* set = new QSet<GdiObject*>;
    return *set;
}
QSet<DeviceContext*>& liveContexts()
{
    static auto* set = new QSet<DeviceContext*>;
    return *set;
}

// Channel of a 16- or 32-bit pixel: its position and width in bits.
struct Channel {
    int shift = 0;
    int width = 0;
};

Channel channelOf(quint32 mask)
{
    if (mask == 0)
        return {};
    const int low = std::countr_zero(mask);
    const int high = 31 - std::countl_zero(mask);
    return {low, high - low + 1};
}

struct Masks {
    Channel r, g, b;
};

Masks masksOf(const DibFormat& f)
{
    quint32 r = f.rMask, g = f.gMask, b = f.bMask;
    if (r == 0 && g == 0 && b == 0) {
        if (f.bitCount == 16) {
            r = 0x7C00;
            g = 0x03E0;
            b = 0x001F;
        } else {
            r = 0xFF0000;
            g = 0x00FF00;
            b = 0x0000FF;
        }
    }
    return {channelOf(r), channelOf(g), channelOf(b)};
}

// Widens an n-bit value to 8 bits by repeating its bits; wider channels keep their top 8 bits.
int widen(quint32 v, int n)
{
    if (n <= 0)
        return 0;
    if (n >= 8)
        return int((v >> (n - 8)) & 0xFF);
    int r = 0;
    for (int shift = 8 - n; shift > -n; shift -= n)
        r |= shift >= 0 ? int(v << shift) : int(v >> -shift);
    return r & 0xFF;
}

quint32 narrow(int c8, const Channel& ch)
{
    if (ch.width <= 0)
        return 0;
    const quint32 v = ch.width >= 8 ? quint32(c8) << (ch.width - 8) : quint32(c8) >> (8 - ch.width);
    return v << ch.shift;
}

quint32 decodeMasked(quint32 px, const Masks& m)
{
    auto get = [px](const Channel& ch) {
        const quint32 v = ch.width >= 32 ? px : (px >> ch.shift) & ((1u << ch.width) - 1);
        return widen(v, ch.width);
    };
    return 0xFF000000u | (quint32(get(m.r)) << 16) | (quint32(get(m.g)) << 8) | quint32(get(m.b));
}

QRgb paletteRgb(const DibFormat& f, int index)
{
    if (!f.colors)
        return index ? 0xFFFFFFFFu : 0xFF000000u;
    return 0xFF000000u | (f.colors[index] & 0x00FFFFFFu);
}

int nearestIndex(const DibFormat& f, QRgb c)
{
    const int n = 1 << f.bitCount;
    int best = 0;
    int bestDistance = 765;
    for (int i = 0; i < n; ++i) {
        const QRgb p = paletteRgb(f, i);
        const int d = std::abs(qRed(p) - qRed(c)) + std::abs(qGreen(p) - qGreen(c)) + std::abs(qBlue(p) - qBlue(c));
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

int absHeightOf(const DibFormat& f) { return f.height < 0 ? -f.height : f.height; }

QString mapFace(const QString& face)
{
    if (face.isEmpty() || face.compare(QLatin1String("Tahoma"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("DejaVu Sans");
    if (face.compare(QLatin1String("Consolas"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("DejaVu Sans Mono");
    return face;
}

// GDI's styles for 1-pixel pens, in pixels on and off.
std::span<const int> dashPattern(int style)
{
    static const int dash[] = {18, 6};
    static const int dot[] = {3, 3};
    static const int dashDot[] = {9, 6, 3, 6};
    static const int dashDotDot[] = {9, 3, 3, 3, 3, 3};
    switch (style) {
    case PS_DASH:
        return dash;
    case PS_DOT:
        return dot;
    case PS_DASHDOT:
        return dashDot;
    case PS_DASHDOTDOT:
        return dashDotDot;
    default:
        return {};
    }
}

// Picture rows of a target in memory order: y' = height - y turns picture rows into memory rows.
QTransform flipFor(int absHeight) { return QTransform(1, 0, 0, -1, 0, absHeight); }

// Removes GDI's mnemonic prefixes: "&x" shows x, "&&" shows "&".
QString stripPrefix(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        else if (text[i] == QLatin1Char('&'))
            continue;
        out += text[i];
    }
    return out;
}

} // namespace

// ---- objects --------------------------------------------------------------------------------------

GdiObject::GdiObject(Kind kind) : m_kind(kind)
{
    QMutexLocker lock(&registryMutex());
    liveObjects().insert(this);
}

GdiObject::~GdiObject()
{
    QMutexLocker lock(&registryMutex());
    liveObjects().remove(this);
}

GdiFont::GdiFont(const LOGFONT& lf) : GdiObject(Kind::Font), log(lf)
{
    log.lfFaceName.truncate(31);
}

DibSection::DibSection() : GdiObject(Kind::Bitmap) {}

DibSection::~DibSection() { std::free(m_bits); }

DibFormat DibSection::format() const
{
    DibFormat f;
    f.width = m_width;
    f.height = m_height;
    f.bitCount = m_bitCount;
    f.rMask = m_rMask;
    f.gMask = m_gMask;
    f.bMask = m_bMask;
    f.colors = m_colors;
    return f;
}

HBITMAP CreateDIBSection(const DibFormat& format)
{
    static const int depths[] = {1, 4, 8, 16, 24, 32};
    if (format.width <= 0 || format.height == 0 || format.height == std::numeric_limits<int>::min()
        || std::find(std::begin(depths), std::end(depths), format.bitCount) == std::end(depths))
        return nullptr;
    const qint64 bpl = format.bytesPerLine();
    const qint64 rows = absHeightOf(format);
    if (bpl > std::numeric_limits<qint64>::max() / rows)
        return nullptr;
    // calloc: the pixels start zero-filled, and large blocks come as untouched pages.
    void* bits = std::calloc(size_t(bpl * rows), 1);
    if (!bits)
        return nullptr;
    auto* s = new DibSection;
    s->m_width = format.width;
    s->m_height = format.height;
    s->m_bitCount = format.bitCount;
    s->m_bytesPerLine = bpl;
    s->m_bits = static_cast<uchar*>(bits);
    s->m_rMask = format.rMask;
    s->m_gMask = format.gMask;
    s->m_bMask = format.bMask;
    if (format.colors)
        std::memcpy(s->m_colors, format.colors, sizeof s->m_colors);
    return s;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height)
{
    DibFormat f;
    f.width = width;
    f.height = -height;
    f.bitCount = 32;
    return CreateDIBSection(f);
}

HPEN CreatePen(int style, int width, COLORREF color) { return new GdiPen(LOGPEN{style, width, color}); }
HBRUSH CreateSolidBrush(COLORREF color) { return new GdiBrush(LOGBRUSH{BS_SOLID, color, 0}); }
HBRUSH CreateHatchBrush(int hatch, COLORREF color) { return new GdiBrush(LOGBRUSH{BS_HATCHED, color, hatch}); }
HBRUSH CreateBrushIndirect(const LOGBRUSH& lb) { return new GdiBrush(lb); }
HFONT CreateFontIndirect(const LOGFONT& lf) { return new GdiFont(lf); }

bool DeleteObject(HGDIOBJ object)
{
    {
        QMutexLocker lock(&registryMutex());
        if (!object || !liveObjects().contains(object) || object->isStock())
            return false;
        // A section still selected is still painted on: refused, as GDI refuses it.
        if (object->kind() == GdiObject::Kind::Bitmap && object->m_selections.load() > 0)
            return false;
        // A pen, brush or font still selected somewhere is taken out of those contexts.
        const QSet<DeviceContext*> holders = object->m_selections.load() > 0 ? liveContexts() : QSet<DeviceContext*>();
        for (DeviceContext* dc : holders) {
            if (dc->currentPen() == object)
                dc->SelectObject(static_cast<HPEN>(nullptr));
            if (dc->currentBrush() == object)
                dc->SelectObject(static_cast<HBRUSH>(nullptr));
            if (dc->currentFont() == object)
                dc->SelectObject(static_cast<HFONT>(nullptr));
        }
    }
    delete object;
    return true;
}

namespace {

template <class T, class Log>
T* makeStock(const Log& log)
{
    return new T(log);
}

} // namespace

HGDIOBJ GetStockObject(int index)
{
    static GdiObject* stock[SYSTEM_FONT + 1] = {};
    static const bool made = [] {
        LOGFONT system;
        system.lfHeight = 16;
        system.lfFaceName = QStringLiteral("DejaVu Sans");
        stock[WHITE_BRUSH] = makeStock<GdiBrush>(LOGBRUSH{BS_SOLID, 0xFFFFFF, 0});
        stock[BLACK_BRUSH] = makeStock<GdiBrush>(LOGBRUSH{BS_SOLID, 0x000000, 0});
        stock[NULL_BRUSH] = makeStock<GdiBrush>(LOGBRUSH{BS_NULL, 0, 0});
        stock[WHITE_PEN] = makeStock<GdiPen>(LOGPEN{PS_SOLID, 1, 0xFFFFFF});
        stock[BLACK_PEN] = makeStock<GdiPen>(LOGPEN{PS_SOLID, 1, 0x000000});
        stock[NULL_PEN] = makeStock<GdiPen>(LOGPEN{PS_NULL, 1, 0});
        stock[SYSTEM_FONT] = makeStock<GdiFont>(system);
        for (GdiObject* o : stock) {
            if (o)
                o->m_stock = true;
        }
        return true;
    }();
    Q_UNUSED(made);
    return index >= 0 && index <= SYSTEM_FONT ? stock[index] : nullptr;
}

DWORD GetObjectType(HGDIOBJ object)
{
    QMutexLocker lock(&registryMutex());
    if (!object || !liveObjects().contains(object))
        return 0;
    switch (object->kind()) {
    case GdiObject::Kind::Pen:
        return OBJ_PEN;
    case GdiObject::Kind::Brush:
        return OBJ_BRUSH;
    case GdiObject::Kind::Font:
        return OBJ_FONT;
    case GdiObject::Kind::Bitmap:
        return OBJ_BITMAP;
    }
    return 0;
}

int GetDeviceCaps(HDC, int index)
{
    switch (index) {
    case BITSPIXEL:
        return 32;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return 96;
    default:
        return 0;
    }
}

int Probe16BitFormat()
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(dc, 1, 1);
    HBITMAP old = dc->SelectObject(bmp);
    dc->SetPixel(0, 0, RGB(0, 100, 0));
    const COLORREF back = dc->GetPixel(0, 0);
    dc->SelectObject(old);
    DeleteObject(bmp);
    DeleteDC(dc);
    return back != CLR_INVALID && GetGValue(back) < 100 ? 5 : 6;
}

// ---- pixel codecs -----------------------------------------------------------------------------------

QImage DibImage(const DibFormat& f, uchar* bits)
{
    const int h = absHeightOf(f);
    if (!bits || f.width <= 0 || h <= 0)
        return {};
    const qsizetype bpl = f.bytesPerLine();
    const Masks m = masksOf(f);
    auto is = [&m](int rs, int rw, int gs, int gw, int bs, int bw) {
        return m.r.shift == rs && m.r.width == rw && m.g.shift == gs && m.g.width == gw && m.b.shift == bs
            && m.b.width == bw;
    };
    QImage img;
    switch (f.bitCount) {
    case 32:
        if (is(16, 8, 8, 8, 0, 8))
            img = QImage(bits, f.width, h, bpl, QImage::Format_RGB32);
        break;
    case 24:
        img = QImage(bits, f.width, h, bpl, QImage::Format_BGR888);
        break;
    case 16:
        if (is(10, 5, 5, 5, 0, 5))
            img = QImage(bits, f.width, h, bpl, QImage::Format_RGB555);
        else if (is(11, 5, 5, 6, 0, 5))
            img = QImage(bits, f.width, h, bpl, QImage::Format_RGB16);
        break;
    case 8:
    case 1: {
        img = QImage(bits, f.width, h, bpl, f.bitCount == 8 ? QImage::Format_Indexed8 : QImage::Format_Mono);
        QList<QRgb> table(1 << f.bitCount);
        for (int i = 0; i < table.size(); ++i)
            table[i] = paletteRgb(f, i);
        img.setColorTable(table);
        break;
    }
    default:
        break;
    }
    return img;
}

QImage DibToRgb32(const DibFormat& f, const uchar* bits, const QRect& rect)
{
    const QRect r = rect & QRect(0, 0, f.width, absHeightOf(f));
    if (!bits || r.isEmpty())
        return {};
    QImage out(r.size(), QImage::Format_RGB32);
    if (out.isNull())
        return {};
    const qint64 bpl = f.bytesPerLine();
    const Masks m = masksOf(f);
    for (int row = 0; row < r.height(); ++row) {
        const uchar* src = bits + qint64(r.y() + row) * bpl;
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(row));
        for (int col = 0; col < r.width(); ++col) {
            const qint64 x = r.x() + col;
            switch (f.bitCount) {
            case 1:
                dst[col] = paletteRgb(f, (src[x >> 3] >> (7 - (x & 7))) & 1);
                break;
            case 4:
                dst[col] = paletteRgb(f, (x & 1) ? src[x >> 1] & 0x0F : src[x >> 1] >> 4);
                break;
            case 8:
                dst[col] = paletteRgb(f, src[x]);
                break;
            case 16: {
                quint16 v;
                std::memcpy(&v, src + 2 * x, 2);
                dst[col] = decodeMasked(v, m);
                break;
            }
            case 24:
                dst[col] = qRgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                break;
            case 32: {
                quint32 v;
                std::memcpy(&v, src + 4 * x, 4);
                dst[col] = decodeMasked(v, m);
                break;
            }
            default:
                dst[col] = 0xFF000000u;
            }
        }
    }
    return out;
}

void Rgb32ToDib(const QImage& rgbIn, const DibFormat& f, uchar* bits, const QRect& rect)
{
    const QRect r = rect & QRect(0, 0, f.width, absHeightOf(f));
    if (!bits || r.isEmpty() || rgbIn.isNull())
        return;
    const QImage rgb = rgbIn.format() == QImage::Format_RGB32 ? rgbIn : rgbIn.convertToFormat(QImage::Format_RGB32);
    const qint64 bpl = f.bytesPerLine();
    const Masks m = masksOf(f);
    QHash<QRgb, int> nearest; // painted pictures hold few colours
    auto indexOf = [&](QRgb c) {
        c |= 0xFF000000u;
        auto it = nearest.constFind(c);
        if (it != nearest.constEnd())
            return *it;
        const int i = nearestIndex(f, c);
        nearest.insert(c, i);
        return i;
    };
    const int rows = std::min(r.height(), rgb.height());
    const int cols = std::min(r.width(), rgb.width());
    for (int row = 0; row < rows; ++row) {
        uchar* dst = bits + qint64(r.y() + row) * bpl;
        const auto* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(row));
        for (int col = 0; col < cols; ++col) {
            const qint64 x = r.x() + col;
            const QRgb c = src[col];
            switch (f.bitCount) {
            case 1: {
                const uchar bit = uchar(0x80 >> (x & 7));
                dst[x >> 3] = indexOf(c) ? dst[x >> 3] | bit : dst[x >> 3] & ~bit;
                break;
            }
            case 4: {
                const int i = indexOf(c);
                dst[x >> 1] = (x & 1) ? uchar((dst[x >> 1] & 0xF0) | i) : uchar((dst[x >> 1] & 0x0F) | (i << 4));
                break;
            }
            case 8:
                dst[x] = uchar(indexOf(c));
                break;
            case 16: {
                const quint16 v = quint16(narrow(qRed(c), m.r) | narrow(qGreen(c), m.g) | narrow(qBlue(c), m.b));
                std::memcpy(dst + 2 * x, &v, 2);
                break;
            }
            case 24:
                dst[3 * x] = uchar(qBlue(c));
                dst[3 * x + 1] = uchar(qGreen(c));
                dst[3 * x + 2] = uchar(qRed(c));
                break;
            case 32: {
                const quint32 v = narrow(qRed(c), m.r) | narrow(qGreen(c), m.g) | narrow(qBlue(c), m.b);
                std::memcpy(dst + 4 * x, &v, 4);
                break;
            }
            default:
                break;
            }
        }
    }
}

struct DeviceContext::FontCache {
    LOGFONT log;
    QFont font;
    QFontMetrics metrics;
    QString key; // the font's key among the kept texts
    // Its kept texts, found once per font instead of hashing the long key at every text; valid
    // while the kept texts' generation is the one noted.
    QHash<QString, TextEntry>* texts = nullptr;
    quint64 generation = 0;
    // The entry found last, while no entry has been added anywhere since.
    QString lastText;
    const TextEntry* lastEntry = nullptr;
    quint64 lastStamp = 0;
};

struct DeviceContext::TextEntry {
    int width = 0; // horizontal advance
    QStaticText layout;
};

namespace {

qsizetype keptTextCount = 0;
constexpr qsizetype MaxKeptTexts = 20000;
quint64 keptTextGeneration = 1; // counts the changes that can move a font's kept texts
quint64 keptTextStamp = 1;      // counts the changes that can move any kept text

} // namespace

// Texts drawn or measured, with their widths and layouts, per font, for every context: labels
// come back at every repaint. GUI thread only, like all drawing; bounded by dropping them all.
QHash<QString, QHash<QString, DeviceContext::TextEntry>>& DeviceContext::keptTexts()
{
    static auto* kept = new QHash<QString, QHash<QString, TextEntry>>;
    return *kept;
}

// ---- one drawing call ---------------------------------------------------------------------------------

namespace {

// Every pixel of the painter's device that drawing can reach, in the painter's coordinates; the
// whole plane when the device has no size or the transform cannot be undone.
QRect visibleRectOf(const QPainter& p)
{
    constexpr int big = std::numeric_limits<int>::max() / 2;
    const QRect everything(QPoint(-big, -big), QPoint(big, big));
    const QPaintDevice* device = p.device();
    if (!device || device->width() <= 0 || device->height() <= 0)
        return everything;
    bool invertible = false;
    const QTransform back = p.deviceTransform().inverted(&invertible);
    if (!invertible)
        return everything;
    QRectF seen = back.mapRect(QRectF(0, 0, device->width(), device->height()));
    if (p.hasClipping())
        seen &= p.clipBoundingRect();
    if (seen.isEmpty())
        return {};
    // Pixels whose squares the rectangle touches; one more on each side covers rounding.
    return seen.toAlignedRect().adjusted(-1, -1, 1, 1);
}

} // namespace

// One drawing call: a painter set up in picture coordinates on whatever the context paints on.
// A painter handed to the context is set up only when the call draws through it (prepared()):
// one-pixel lines written straight into the pixels leave its state alone and save nothing.
class DeviceContext::PaintScope {
public:
    explicit PaintScope(const DeviceContext& dc) : m_dc(dc)
    {
        if (dc.m_external) {
            if (!dc.m_external->isActive())
                return;
            m_painter = dc.m_external;
        } else if (dc.m_bitmap) {
            const DibFormat f = dc.m_bitmap->format();
            m_target = DibImage(f, dc.m_bitmap->bits());
            if (m_target.isNull() || f.bitCount <= 8) {
                m_target = DibToRgb32(f, dc.m_bitmap->bits(), QRect(0, 0, f.width, absHeightOf(f)));
                m_shadow = true;
            }
            if (m_target.isNull() || !m_own.begin(&m_target))
                return;
            m_painter = &m_own;
            if (dc.m_bitmap->bottomUp()) {
                m_painter->setTransform(flipFor(dc.m_bitmap->absHeight()));
                m_flipped = true;
            }
        } else if (dc.m_device) {
            if (dc.m_device->devType() == QInternal::Image) {
                const auto* img = static_cast<const QImage*>(dc.m_device);
                if (img->format() == QImage::Format_Indexed8 || img->depth() < 8)
                    return;
            }
            if (!m_own.begin(dc.m_device))
                return;
            m_painter = &m_own;
        }
        if (m_painter) {
            if (m_painter == &m_own || dc.m_replayClip)
                prepared();
            if (dc.m_replayClip)
                m_painter->setClipRect(*dc.m_replayClip, Qt::IntersectClip);
            m_visible = visibleRectOf(*m_painter);
        }
    }

    ~PaintScope()
    {
        if (!m_painter)
            return;
        if (m_painter == m_dc.m_external) {
            if (m_prepared)
                m_painter->restore();
            return;
        }
        m_own.end();
        if (m_shadow) {
            const DibFormat f = m_dc.m_bitmap->format();
            Rgb32ToDib(m_target, f, m_dc.m_bitmap->bits(), QRect(0, 0, f.width, absHeightOf(f)));
        }
    }

    // The painter, not set up: for finding out where and whether to draw. Null: nothing to draw on.
    QPainter* painter() const { return m_painter; }
    // The painter set up for drawing; a handed-over painter gets its state back afterwards.
    QPainter& prepared()
    {
        if (!m_prepared) {
            m_prepared = true;
            if (m_painter == m_dc.m_external)
                m_painter->save();
            m_painter->setRenderHint(QPainter::Antialiasing, false);
            m_painter->setRenderHint(QPainter::TextAntialiasing, m_dc.m_logFont.lfQuality != 3);
            m_painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
            m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        return *m_painter;
    }
    bool flipped() const { return m_flipped; }
    // The part of the picture that can change, in picture coordinates: the target, less what the
    // painter's clip leaves out.
    const QRect& visible() const { return m_visible; }

private:
    const DeviceContext& m_dc;
    QPainter m_own;
    QPainter* m_painter = nullptr;
    QImage m_target;
    bool m_shadow = false;
    bool m_flipped = false;
    bool m_prepared = false;
    QRect m_visible;
};

// ---- drawing records ----------------------------------------------------------------------------

namespace {

enum CallKind : int {
    CallLine,
    CallRectangle,
    CallEllipse,
    CallPolygon,
    CallPolyline,
    CallFill,
    CallText,
    CallTextBox,
    CallPixel,
    CallImage,
};

bool sameFont(const LOGFONT& a, const LOGFONT& b)
{
    return a.lfHeight == b.lfHeight && a.lfWidth == b.lfWidth && a.lfEscapement == b.lfEscapement
        && a.lfOrientation == b.lfOrientation && a.lfWeight == b.lfWeight && a.lfItalic == b.lfItalic
        && a.lfUnderline == b.lfUnderline && a.lfStrikeOut == b.lfStrikeOut && a.lfCharSet == b.lfCharSet
        && a.lfQuality == b.lfQuality && a.lfFaceName == b.lfFaceName;
}

bool samePen(const LOGPEN& a, const LOGPEN& b)
{
    return a.lopnStyle == b.lopnStyle && a.lopnWidth == b.lopnWidth && a.lopnColor == b.lopnColor;
}

bool sameBrush(const LOGBRUSH& a, const LOGBRUSH& b)
{
    return a.lbStyle == b.lbStyle && a.lbColor == b.lbColor && a.lbHatch == b.lbHatch;
}

int clampToInt(qint64 v)
{
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// A rectangle from 64-bit edges (right and bottom included), held within int.
QRect rectOf(qint64 l, qint64 t, qint64 r, qint64 b)
{
    return QRect(QPoint(clampToInt(l), clampToInt(t)), QPoint(clampToInt(r), clampToInt(b)));
}

QRect everywhere()
{
    constexpr int big = std::numeric_limits<int>::max() / 2;
    return QRect(QPoint(-big, -big), QPoint(big, big));
}

// How far beyond its geometry a pen can colour pixels.
qint64 penReach(const LOGPEN& pen)
{
    return pen.lopnStyle == PS_NULL ? 0 : qint64(std::max(1, pen.lopnWidth)) + 1; // widths come from files
}

QRect lineBounds(qint64 x1, qint64 y1, qint64 x2, qint64 y2, qint64 reach)
{
    return rectOf(std::min(x1, x2) - reach, std::min(y1, y2) - reach, std::max(x1, x2) + reach, std::max(y1, y2) + reach);
}

// [left, right) x [top, bottom), corners in any order, widened by `reach`.
QRect boundsOf(qint64 left, qint64 top, qint64 right, qint64 bottom, qint64 reach)
{
    return rectOf(std::min(left, right) - reach, std::min(top, bottom) - reach, std::max(left, right) - 1 + reach,
                  std::max(top, bottom) - 1 + reach);
}

QRect boundsOf(std::span<const POINT> points, qint64 reach)
{
    qint64 l = points[0].x, t = points[0].y, r = l, b = t;
    for (const POINT& p : points) {
        l = std::min<qint64>(l, p.x);
        t = std::min<qint64>(t, p.y);
        r = std::max<qint64>(r, p.x);
        b = std::max<qint64>(b, p.y);
    }
    return rectOf(l - reach, t - reach, r + reach, b + reach);
}

} // namespace

struct DrawingRecord::Call {
    int kind = CallLine;
    QRect bounds; // every pixel the call can change
    // The context's state when it was made.
    LOGPEN pen;
    LOGBRUSH brush;
    int font = 0; // place in the record's fonts
    COLORREF textColor = 0, bkColor = 0;
    int bkMode = OPAQUE, stretchMode = BLACKONWHITE;
    // What the call was given, by kind.
    std::array<int, 4> coords{}; // ends, corners, the text's place, or the image's target
    LOGBRUSH fill;               // FillRect's brush; SetPixel's colour
    QString text;
    UINT flags = 0;
    std::vector<POINT> points;
    QImage image;
    QRect source;
    bool bottomUp = false;
    QPainter::CompositionMode mode = QPainter::CompositionMode_Source;
    qreal opacity = 1.0;
};

DrawingRecord::DrawingRecord() = default;
DrawingRecord::~DrawingRecord() = default;
DrawingRecord::DrawingRecord(DrawingRecord&&) noexcept = default;
DrawingRecord& DrawingRecord::operator=(DrawingRecord&&) noexcept = default;

qsizetype DrawingRecord::size() const { return qsizetype(m_calls.size()); }

void DrawingRecord::clear()
{
    m_calls.clear();
    m_fonts.clear();
}

namespace {

// Two calls that draw the same pixels over the same picture.
bool sameCall(const DrawingRecord::Call& a, const std::vector<LOGFONT>& aFonts, const DrawingRecord::Call& b,
              const std::vector<LOGFONT>& bFonts)
{
    if (a.kind != b.kind || a.bounds != b.bounds || a.coords != b.coords || !samePen(a.pen, b.pen)
        || !sameBrush(a.brush, b.brush) || a.textColor != b.textColor || a.bkColor != b.bkColor
        || a.bkMode != b.bkMode)
        return false;
    switch (a.kind) {
    case CallFill:
    case CallPixel:
        return sameBrush(a.fill, b.fill);
    case CallText:
    case CallTextBox:
        return a.flags == b.flags && a.text == b.text && sameFont(aFonts[size_t(a.font)], bFonts[size_t(b.font)]);
    case CallPolygon:
    case CallPolyline:
        return std::equal(a.points.begin(), a.points.end(), b.points.begin(), b.points.end(),
                          [](const POINT& p, const POINT& q) { return p.x == q.x && p.y == q.y; });
    case CallImage:
        return a.image.cacheKey() == b.image.cacheKey() && a.source == b.source && a.bottomUp == b.bottomUp
            && a.mode == b.mode && a.opacity == b.opacity && a.stretchMode == b.stretchMode;
    default:
        return true;
    }
}

} // namespace

QRegion DrawingRecord::differenceFrom(const DrawingRecord& previous) const
{
    // Walk both in order, pairing equal calls; where they part, look a few calls ahead on either
    // side for the pairing to go on. Pairs keep their order, so a pixel that only paired calls
    // touch ends the same in both pictures.
    constexpr size_t Lookahead = 16;
    const std::vector<Call>& a = previous.m_calls;
    const std::vector<Call>& b = m_calls;
    auto same = [&](size_t i, size_t j) { return sameCall(a[i], previous.m_fonts, b[j], m_fonts); };
    std::vector<QRect> changed;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (same(i, j)) {
            ++i;
            ++j;
            continue;
        }
        size_t skipB = 0, skipA = 0;
        for (size_t k = 1; k <= Lookahead && j + k < b.size() && !skipB; ++k)
            if (same(i, j + k))
                skipB = k;
        for (size_t k = 1; k <= Lookahead && i + k < a.size() && !skipA && !skipB; ++k)
            if (same(i + k, j))
                skipA = k;
        if (skipB) {
            for (; skipB; --skipB)
                changed.push_back(b[j++].bounds);
        } else if (skipA) {
            for (; skipA; --skipA)
                changed.push_back(a[i++].bounds);
        } else {
            changed.push_back(a[i++].bounds);
            changed.push_back(b[j++].bounds);
        }
    }
    for (; i < a.size(); ++i)
        changed.push_back(a[i].bounds);
    for (; j < b.size(); ++j)
        changed.push_back(b[j].bounds);
    QRegion region;
    for (const QRect& r : changed)
        region += r;
    return region;
}

DrawingRecord::Call& DeviceContext::recordCall(int kind, const QRect& bounds)
{
    std::vector<LOGFONT>& fonts = m_record->m_fonts;
    if (fonts.empty() || !sameFont(fonts.back(), m_logFont))
        fonts.push_back(m_logFont);
    DrawingRecord::Call& call = m_record->m_calls.emplace_back();
    call.kind = kind;
    call.bounds = bounds;
    call.pen = m_logPen;
    call.brush = m_logBrush;
    call.font = int(fonts.size()) - 1;
    call.textColor = m_textColor;
    call.bkColor = m_bkColor;
    call.bkMode = m_bkMode;
    call.stretchMode = m_stretchMode;
    return call;
}

QRect DeviceContext::textBounds(int x, int y, const QString& text) const
{
    cachedFont();
    const QFontMetrics& fm = m_fontCache->metrics;
    // Glyphs may overhang their cell by up to about a cell height (italics, accents).
    const qint64 pad = qint64(fm.height()) + 2;
    const qint64 w = textEntry(text).width, h = fm.ascent() + fm.descent();
    if (m_logFont.lfEscapement == 0)
        return rectOf(qint64(x) - pad, qint64(y) - pad, qint64(x) + w + pad, qint64(y) + h + pad);
    // Turned about (x, y): the cell's corners turned, then their box.
    const QRectF turned = QTransform().rotate(-m_logFont.lfEscapement / 10.0).mapRect(QRectF(0, 0, double(w), double(h)));
    return rectOf(qint64(x) + qint64(std::floor(turned.left())) - pad, qint64(y) + qint64(std::floor(turned.top())) - pad,
                  qint64(x) + qint64(std::ceil(turned.right())) + pad, qint64(y) + qint64(std::ceil(turned.bottom())) + pad);
}

void DeviceContext::applyCall(const DrawingRecord::Call& call, const DrawingRecord& record)
{
    m_logPen = call.pen;
    m_logBrush = call.brush;
    m_logFont = record.m_fonts[size_t(call.font)];
    m_textColor = call.textColor;
    m_bkColor = call.bkColor;
    m_bkMode = call.bkMode;
    m_stretchMode = call.stretchMode;
    const auto& [a, b, c, d] = call.coords;
    switch (call.kind) {
    case CallLine:
        MoveToEx(a, b);
        LineTo(c, d);
        break;
    case CallRectangle:
        Rectangle(a, b, c, d);
        break;
    case CallEllipse:
        Ellipse(a, b, c, d);
        break;
    case CallPolygon:
        Polygon(call.points);
        break;
    case CallPolyline:
        Polyline(call.points);
        break;
    case CallFill: {
        GdiBrush brush(call.fill);
        FillRect(RECT{a, b, c, d}, &brush);
        break;
    }
    case CallText:
        TextOut(a, b, call.text);
        break;
    case CallTextBox: {
        RECT box{a, b, c, d};
        DrawText(call.text, &box, call.flags);
        break;
    }
    case CallPixel:
        SetPixel(a, b, call.fill.lbColor);
        break;
    case CallImage:
        drawImage(QRect(a, b, c, d), call.image, call.source, call.bottomUp, call.mode, call.opacity);
        break;
    default:
        break;
    }
}

void DeviceContext::Replay(const DrawingRecord& record, const QRegion* within)
{
    DrawingRecord* const recording = std::exchange(m_record, nullptr);
    const LOGPEN pen = m_logPen;
    const LOGBRUSH brush = m_logBrush;
    const LOGFONT font = m_logFont;
    const COLORREF textColor = m_textColor, bkColor = m_bkColor;
    const int bkMode = m_bkMode, stretchMode = m_stretchMode;
    const POINT pos = m_pos;
    if (!within) {
        for (const DrawingRecord::Call& call : record.m_calls)
            applyCall(call, record);
    } else {
        // One rectangle at a time: the toolkit draws text glyph by glyph only under a clip that
        // is one rectangle, as it does without a clip.
        const QRect area = within->boundingRect();
        std::vector<const DrawingRecord::Call*> touching;
        for (const DrawingRecord::Call& call : record.m_calls)
            if (call.bounds.intersects(area) && within->intersects(call.bounds))
                touching.push_back(&call);
        for (const QRect& part : *within) {
            m_replayClip = part;
            for (const DrawingRecord::Call* call : touching)
                if (call->bounds.intersects(part))
                    applyCall(*call, record);
        }
        m_replayClip.reset();
    }
    m_logPen = pen;
    m_logBrush = brush;
    m_logFont = font;
    m_textColor = textColor;
    m_bkColor = bkColor;
    m_bkMode = bkMode;
    m_stretchMode = stretchMode;
    m_pos = pos;
    m_record = recording;
}

QRegion DrawingRecord::coverage(const QRect& within, int tile) const
{
    if (within.isEmpty() || tile < 1)
        return {};
    const int columns = (within.width() + tile - 1) / tile, rows = (within.height() + tile - 1) / tile;
    std::vector<quint8> marked(size_t(columns) * size_t(rows), 0);
    for (const Call& call : m_calls) {
        const QRect r = call.bounds & within;
        if (r.isEmpty())
            continue;
        const int c0 = (r.left() - within.left()) / tile, c1 = (r.right() - within.left()) / tile;
        const int r0 = (r.top() - within.top()) / tile, r1 = (r.bottom() - within.top()) / tile;
        for (int row = r0; row <= r1; ++row)
            std::fill_n(marked.begin() + ptrdiff_t(row) * columns + c0, c1 - c0 + 1, quint8(1));
    }
    // Runs of marked squares, row by row: bands of equal height, sorted, as QRegion keeps them.
    std::vector<QRect> runs;
    for (int row = 0; row < rows; ++row) {
        const quint8* m = marked.data() + size_t(row) * size_t(columns);
        for (int c = 0; c < columns;) {
            if (!m[c]) {
                ++c;
                continue;
            }
            const int start = c;
            while (c < columns && m[c])
                ++c;
            runs.push_back(QRect(within.left() + start * tile, within.top() + row * tile, (c - start) * tile, tile)
                               & within);
        }
    }
    QRegion region;
    region.setRects(runs.data(), int(runs.size()));
    return region;
}

bool DrawingRecord::clipsCleanly(const QRegion& region) const
{
    // Turned text comes out another way under any clip.
    for (const Call& call : m_calls)
        if ((call.kind == CallText || call.kind == CallTextBox) && m_fonts[size_t(call.font)].lfEscapement != 0
            && region.intersects(call.bounds))
            return false;
    return true;
}

// ---- device context ---------------------------------------------------------------------------------

namespace {

void registerContext(DeviceContext* dc)
{
    QMutexLocker lock(&registryMutex());
    liveContexts().insert(dc);
}

} // namespace

DeviceContext::DeviceContext()
{
    m_pen = static_cast<HPEN>(GetStockObject(BLACK_PEN));
    m_brush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    m_font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    m_logPen = m_pen->log;
    m_logBrush = m_brush->log;
    m_logFont = m_font->log;
    ++m_pen->m_selections;
    ++m_brush->m_selections;
    ++m_font->m_selections;
    registerContext(this);
}

DeviceContext::DeviceContext(QPaintDevice* device) : DeviceContext() { m_device = device; }

DeviceContext::DeviceContext(QPainter* painter) : DeviceContext() { m_external = painter; }

// Moves one selection from `old` to `now`.
void DeviceContext::countSelection(GdiObject* old, GdiObject* now)
{
    if (old == now)
        return;
    if (old)
        --old->m_selections;
    if (now)
        ++now->m_selections;
}

DeviceContext::~DeviceContext()
{
    QMutexLocker lock(&registryMutex());
    liveContexts().remove(this);
    for (GdiObject* object : {static_cast<GdiObject*>(m_pen), static_cast<GdiObject*>(m_brush),
                              static_cast<GdiObject*>(m_font), static_cast<GdiObject*>(m_bitmap)})
        if (object && liveObjects().contains(object))
            --object->m_selections;
}

HDC CreateCompatibleDC(HDC) { return new DeviceContext; }

bool DeleteDC(HDC dc)
{
    if (!dc)
        return false;
    delete dc;
    return true;
}

HPEN DeviceContext::SelectObject(HPEN pen)
{
    HPEN old = m_pen;
    countSelection(m_pen, pen);
    m_pen = pen;
    if (pen)
        m_logPen = pen->log;
    return old;
}

HBRUSH DeviceContext::SelectObject(HBRUSH brush)
{
    HBRUSH old = m_brush;
    countSelection(m_brush, brush);
    m_brush = brush;
    if (brush)
        m_logBrush = brush->log;
    return old;
}

HFONT DeviceContext::SelectObject(HFONT font)
{
    HFONT old = m_font;
    countSelection(m_font, font);
    m_font = font;
    if (font)
        m_logFont = font->log;
    return old;
}

HBITMAP DeviceContext::SelectObject(HBITMAP bitmap)
{
    HBITMAP old = m_bitmap;
    countSelection(m_bitmap, bitmap);
    m_bitmap = bitmap;
    return old;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object)
{
    if (!dc || !object)
        return nullptr;
    switch (object->kind()) {
    case GdiObject::Kind::Pen:
        return dc->SelectObject(static_cast<HPEN>(object));
    case GdiObject::Kind::Brush:
        return dc->SelectObject(static_cast<HBRUSH>(object));
    case GdiObject::Kind::Font:
        return dc->SelectObject(static_cast<HFONT>(object));
    case GdiObject::Kind::Bitmap:
        return dc->SelectObject(static_cast<HBITMAP>(object));
    }
    return nullptr;
}

COLORREF DeviceContext::SetTextColor(COLORREF c) { return std::exchange(m_textColor, c & 0xFFFFFF); }
COLORREF DeviceContext::SetBkColor(COLORREF c) { return std::exchange(m_bkColor, c & 0xFFFFFF); }
int DeviceContext::SetBkMode(int mode)
{
    if (mode != TRANSPARENT && mode != OPAQUE)
        return 0;
    return std::exchange(m_bkMode, mode);
}
int DeviceContext::SetStretchBltMode(int mode) { return std::exchange(m_stretchMode, mode); }

QFont DeviceContext::qFont() const
{
    const LOGFONT& lf = m_logFont;
    QFont f(mapFace(lf.lfFaceName));
    f.setStyleStrategy(lf.lfQuality == 3 ? QFont::NoAntialias : QFont::PreferDefault);
    f.setHintingPreference(QFont::PreferFullHinting);
    if (lf.lfHeight < 0) {
        f.setPixelSize(-lf.lfHeight);
    } else {
        // A positive height is the cell (ascent + descent); 0 asks for a default 16-pixel cell.
        const int cell = lf.lfHeight > 0 ? lf.lfHeight : 16;
        f.setPixelSize(cell);
        const int natural = QFontMetrics(f).height();
        if (natural > 0 && natural != cell)
            f.setPixelSize(std::max(1, int(qint64(cell) * cell / natural)));
    }
    f.setWeight(QFont::Weight(lf.lfWeight <= 0 ? FW_NORMAL : std::clamp(lf.lfWeight, 1, 1000)));
    f.setItalic(lf.lfItalic);
    f.setUnderline(lf.lfUnderline);
    f.setStrikeOut(lf.lfStrikeOut);
    if (lf.lfWidth > 0) {
        const int average = QFontMetrics(f).averageCharWidth();
        if (average > 0)
            f.setStretch(std::clamp(int(qint64(lf.lfWidth) * 100 / average), 1, 4000));
    }
    return f;
}

const QFont& DeviceContext::cachedFont() const
{
    if (!m_fontCache || !sameFont(m_fontCache->log, m_logFont)) {
        const QFont font = qFont();
        m_fontCache.reset(new FontCache{m_logFont, font, QFontMetrics(font), font.key(), nullptr, 0, {}, nullptr, 0});
    }
    return m_fontCache->font;
}

const DeviceContext::TextEntry& DeviceContext::textEntry(const QString& text) const
{
    const QFont& font = cachedFont();
    FontCache& cache = *m_fontCache;
    // A text is mostly measured and then drawn: the second asks for the entry the first found.
    if (cache.lastEntry && cache.lastStamp == keptTextStamp && cache.lastText == text)
        return *cache.lastEntry;
    if (keptTextCount >= MaxKeptTexts) {
        keptTexts().clear();
        keptTextCount = 0;
        ++keptTextGeneration;
        ++keptTextStamp;
    }
    if (cache.generation != keptTextGeneration) {
        auto& fonts = keptTexts();
        auto kept = fonts.find(cache.key);
        if (kept == fonts.end()) {
            // A new font may move the others' texts: every context finds its own again.
            kept = fonts.insert(cache.key, {});
            ++keptTextGeneration;
        }
        cache.texts = &*kept;
        cache.generation = keptTextGeneration;
    }
    QHash<QString, TextEntry>& ofFont = *cache.texts;
    auto it = ofFont.find(text);
    if (it == ofFont.end()) {
        TextEntry entry;
        entry.width = cache.metrics.horizontalAdvance(text);
        entry.layout.setText(text);
        entry.layout.setTextFormat(Qt::PlainText);
        entry.layout.setPerformanceHint(QStaticText::AggressiveCaching);
        entry.layout.prepare(QTransform(), font);
        it = ofFont.insert(text, std::move(entry));
        ++keptTextCount;
        ++keptTextStamp; // entries may have moved
    }
    cache.lastText = text;
    cache.lastEntry = &*it;
    cache.lastStamp = keptTextStamp;
    return *it;
}

QPen DeviceContext::qPen() const
{
    // Styled pens wider than one pixel draw solid in GDI.
    QPen pen(colorOf(m_logPen.lopnColor), std::max(1, m_logPen.lopnWidth), Qt::SolidLine, Qt::RoundCap,
             Qt::RoundJoin);
    return pen;
}

QBrush DeviceContext::qBrush(const LOGBRUSH& lb) const
{
    switch (lb.lbStyle) {
    case BS_SOLID:
        return QBrush(colorOf(lb.lbColor));
    case BS_HATCHED: {
        static const Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,   Qt::FDiagPattern,
                                                 Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        const int h = std::clamp(lb.lbHatch, 0, 5);
        return QBrush(colorOf(lb.lbColor), hatches[h]);
    }
    default:
        return Qt::NoBrush;
    }
}

namespace {

// Fills [left, right) x [top, bottom) with a brush, GDI style: hatches on the background colour when
// the background is opaque; hatches keep their slant on flipped targets.
void fillWith(QPainter& p, const QRect& r, const QBrush& brush, bool hatched, bool opaque, COLORREF bk, bool flipped)
{
    if (r.isEmpty() || brush.style() == Qt::NoBrush)
        return;
    if (hatched) {
        if (opaque)
            p.fillRect(r, colorOf(bk));
        QBrush b(brush);
        if (flipped)
            b.setTransform(QTransform(1, 0, 0, -1, 0, 0));
        p.fillRect(r, b);
        return;
    }
    p.fillRect(r, brush);
}

// A rectangle [l, r) x [t, b), corners in any order, in 64 bits: screen points near the ends of
// the int range must neither wrap nor overflow.
struct Box {
    qint64 l, t, r, b;
    bool empty() const { return r <= l || b <= t; }
    Box adjusted(qint64 dl, qint64 dt, qint64 dr, qint64 db) const { return {l + dl, t + dt, r + dr, b + db}; }
};

Box normalized(int left, int top, int right, int bottom)
{
    return {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

// The part of a box that lies in `visible`, as a QRect; empty when none.
QRect visiblePart(const Box& box, const QRect& visible)
{
    const qint64 l = std::max<qint64>(box.l, visible.left()), t = std::max<qint64>(box.t, visible.top());
    const qint64 r = std::min<qint64>(box.r, qint64(visible.right()) + 1);
    const qint64 b = std::min<qint64>(box.b, qint64(visible.bottom()) + 1);
    if (r <= l || b <= t)
        return {};
    return QRect(int(l), int(t), int(r - l), int(b - t));
}

} // namespace

namespace {

// GDI's 1-pixel line: one pixel per step along the major axis, the minor coordinate the exact
// quotient rounded half up, floor((2 d i + D) / 2D). Walked step by step, the quotient is carried
// with its remainder, so no step divides; at(i) works it out for any step, in 128 bits, as the
// numerator reaches 2^33 × 2^33.
class GdiLineWalk {
public:
    GdiLineWalk(qint64 x1, qint64 y1, qint64 x2, qint64 y2) : m_x1(x1), m_y1(y1)
    {
        const qint64 dx = x2 - x1, dy = y2 - y1;
        const qint64 adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
        m_xMajor = adx >= ady;
        m_steps = std::max(adx, ady);
        m_majorStep = (m_xMajor ? dx : dy) < 0 ? -1 : 1;
        m_minorDelta = m_xMajor ? dy : dx;
    }
    qint64 steps() const { return m_steps; }
    bool xMajor() const { return m_xMajor; }

    StepPixel at(qint64 i) const
    {
        if (m_steps == 0)
            return {m_x1, m_y1};
        const __int128 num = 2 * __int128(m_minorDelta) * i + m_steps, den = 2 * __int128(m_steps);
        const qint64 q = qint64(num >= 0 ? num / den : -((-num + den - 1) / den));
        return place(m_majorStep * i, q);
    }

    // Puts the walk at step i.
    void seek(qint64 i)
    {
        m_major = m_majorStep * i;
        if (m_steps == 0) {
            m_minor = 0;
            return;
        }
        const __int128 num = 2 * __int128(m_minorDelta) * i + m_steps, den = 2 * __int128(m_steps);
        const __int128 q = num >= 0 ? num / den : -((-num + den - 1) / den);
        m_minor = qint64(q);
        m_remainder = qint64(num - q * den);
    }
    StepPixel pixel() const { return place(m_major, m_minor); }
    void next()
    {
        m_major += m_majorStep;
        m_remainder += 2 * m_minorDelta;
        if (m_remainder >= 2 * m_steps) {
            m_remainder -= 2 * m_steps;
            ++m_minor;
        } else if (m_remainder < 0) {
            m_remainder += 2 * m_steps;
            --m_minor;
        }
    }

private:
    StepPixel place(qint64 major, qint64 minor) const
    {
        return m_xMajor ? StepPixel{m_x1 + major, m_y1 + minor} : StepPixel{m_x1 + minor, m_y1 + major};
    }

    qint64 m_x1, m_y1;
    bool m_xMajor = true;
    qint64 m_steps = 0, m_majorStep = 1, m_minorDelta = 0;
    qint64 m_major = 0, m_minor = 0, m_remainder = 0; // walking state: offsets from the start
};

// Where a dash pattern stands, moved on one pixel at a time.
class DashWalk {
public:
    DashWalk(std::span<const int> pattern, qint64 phase) : m_pattern(pattern)
    {
        if (m_pattern.empty())
            return;
        int period = 0;
        for (int v : m_pattern)
            period += v;
        qint64 p = phase % period;
        while (p >= m_pattern[m_index]) {
            p -= m_pattern[m_index];
            ++m_index;
        }
        m_left = int(m_pattern[m_index] - p);
    }
    bool on() const { return m_pattern.empty() || m_index % 2 == 0; }
    void next()
    {
        if (m_pattern.empty() || --m_left > 0)
            return;
        m_index = (m_index + 1) % m_pattern.size();
        m_left = m_pattern[m_index];
    }

private:
    std::span<const int> m_pattern;
    size_t m_index = 0;
    int m_left = 0;
};

// The pixels of a painter's picture, where copying an opaque colour into them is exactly what the
// painter would do with a one-pixel fill: an RGB32 picture, source-over at full opacity, no clip,
// and a transform that moves by whole pixels and may turn the rows upside down.
struct DirectPixels {
    uchar* bits = nullptr;
    qsizetype bytesPerLine = 0;
    int width = 0, height = 0;
    qint64 dx = 0, dy = 0; // pixel (x, y) covers the device square at (x + dx, sy y + dy), less one row when sy is -1
    int sy = 1;

    void set(qint64 x, qint64 y, QRgb colour) const
    {
        const qint64 X = x + dx, Y = sy > 0 ? y + dy : dy - y - 1;
        if (X >= 0 && Y >= 0 && X < width && Y < height)
            reinterpret_cast<QRgb*>(bits + Y * bytesPerLine)[X] = colour;
    }
};

std::optional<DirectPixels> directPixelsOf(QPainter& p)
{
    QPaintDevice* device = p.device();
    if (!device || device->devType() != QInternal::Image || p.hasClipping() || p.opacity() != 1.0)
        return std::nullopt;
    const QPainter::CompositionMode mode = p.compositionMode();
    if (mode != QPainter::CompositionMode_SourceOver && mode != QPainter::CompositionMode_Source)
        return std::nullopt;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format f = image->format();
    if ((f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied)
        || !image->isDetached())
        return std::nullopt;
    const QTransform t = p.deviceTransform();
    if (t.m11() != 1.0 || t.m12() != 0.0 || t.m21() != 0.0 || (t.m22() != 1.0 && t.m22() != -1.0) || t.m13() != 0.0
        || t.m23() != 0.0 || t.m33() != 1.0 || t.dx() != std::floor(t.dx()) || t.dy() != std::floor(t.dy())
        || std::abs(t.dx()) > 1e15 || std::abs(t.dy()) > 1e15)
        return std::nullopt;
    DirectPixels d;
    d.bits = image->bits();
    d.bytesPerLine = image->bytesPerLine();
    d.width = image->width();
    d.height = image->height();
    d.dx = qint64(t.dx());
    d.dy = qint64(t.dy());
    d.sy = t.m22() < 0 ? -1 : 1;
    return d;
}

} // namespace

// The pixels of a 1-pixel line, as GDI picks them, the end pixel only when `lastPixel`. Only the
// steps that land in `visible` are taken. On an RGB32 picture the pixels are written straight;
// elsewhere each run along the major axis is filled as one rectangle. `dashPhase` carries the
// style across the segments of one call, counting the steps left out too.
void DeviceContext::strokeLinePixels(PaintScope& s, qint64 x1, qint64 y1, qint64 x2, qint64 y2, bool lastPixel,
                                     qint64& dashPhase)
{
    const QRect& visible = s.visible();
    const std::span<const int> pattern = dashPattern(m_logPen.lopnStyle);
    const bool paintGaps = m_bkMode == OPAQUE;
    GdiLineWalk walk(x1, y1, x2, y2);
    const qint64 count = walk.steps() + (lastPixel ? 1 : 0);
    if (count == 0)
        return;

    // A segment within sight needs no search for its visible steps.
    const bool allInSight = std::min(x1, x2) >= visible.left() && std::max(x1, x2) <= visible.right()
        && std::min(y1, y2) >= visible.top() && std::max(y1, y2) <= visible.bottom();
    const StepRun run =
        allInSight ? StepRun{0, count} : stepsInside(count, visible, [&walk](qint64 i) { return walk.at(i); });
    m_pixelsStepped += run.length();
    if (run.length() == 0) {
        dashPhase += count;
        return;
    }
    DashWalk dash(pattern, dashPhase + run.first);
    walk.seek(run.first);

    if (const std::optional<DirectPixels> direct = directPixelsOf(*s.painter())) {
        const QRgb on = colorOf(m_logPen.lopnColor).rgba(), off = colorOf(m_bkColor).rgba();
        for (qint64 i = run.first; i < run.end; ++i) {
            if (dash.on())
                direct->set(walk.pixel().x, walk.pixel().y, on);
            else if (paintGaps)
                direct->set(walk.pixel().x, walk.pixel().y, off);
            walk.next();
            dash.next();
        }
        dashPhase += count;
        return;
    }

    QPainter& p = s.prepared();
    const QColor on = colorOf(m_logPen.lopnColor);
    const QColor off = colorOf(m_bkColor);
    StepPixel first = walk.pixel();
    StepPixel previous = first;
    bool runOn = dash.on();
    auto flush = [&] {
        if (runOn || paintGaps)
            p.fillRect(QRect(QPoint(int(std::min(first.x, previous.x)), int(std::min(first.y, previous.y))),
                             QPoint(int(std::max(first.x, previous.x)), int(std::max(first.y, previous.y)))),
                       runOn ? on : off);
    };
    for (qint64 i = run.first + 1; i < run.end; ++i) {
        walk.next();
        dash.next();
        const StepPixel pt = walk.pixel();
        const bool onNow = dash.on();
        if (onNow != runOn || (walk.xMajor() ? pt.y != previous.y : pt.x != previous.x)) {
            flush();
            first = pt;
            runOn = onNow;
        }
        previous = pt;
    }
    flush();
    dashPhase += count;
}

bool DeviceContext::MoveToEx(int x, int y, POINT* previous)
{
    if (previous)
        *previous = m_pos;
    m_pos = {x, y};
    return true;
}

bool DeviceContext::LineTo(int x, int y)
{
    const POINT from = m_pos;
    m_pos = {x, y};
    if (m_record) {
        if (m_logPen.lopnStyle != PS_NULL) {
            DrawingRecord::Call& call = recordCall(CallLine, lineBounds(from.x, from.y, x, y, penReach(m_logPen)));
            call.coords = {from.x, from.y, x, y};
        }
        return true;
    }
    PaintScope s(*this);
    if (!s.painter())
        return false;
    if (m_logPen.lopnStyle == PS_NULL)
        return true;
    if (m_logPen.lopnWidth <= 1) {
        qint64 phase = 0;
        strokeLinePixels(s, from.x, from.y, x, y, false, phase);
    } else {
        s.prepared().setPen(qPen());
        s.prepared().drawLine(QPointF(from.x + 0.5, from.y + 0.5), QPointF(x + 0.5, y + 0.5));
    }
    return true;
}

bool DeviceContext::Rectangle(int left, int top, int right, int bottom)
{
    if (m_record) {
        recordCall(CallRectangle, boundsOf(left, top, right, bottom, penReach(m_logPen))).coords = {left, top, right, bottom};
        return true;
    }
    PaintScope s(*this);
    if (!s.painter())
        return false;
    const QRect& visible = s.visible();
    Box r = normalized(left, top, right, bottom);
    const bool hatched = m_logBrush.lbStyle == BS_HATCHED;
    auto fill = [&](const Box& box) {
        // Hatches are laid from the brush origin, so the cut-off part changes none of them.
        const QRect part = visiblePart(box, visible);
        if (m_logBrush.lbStyle != BS_NULL && !part.isEmpty())
            fillWith(s.prepared(), part, qBrush(m_logBrush), hatched, m_bkMode == OPAQUE, m_bkColor, s.flipped());
    };
    if (m_logPen.lopnStyle == PS_NULL) {
        // Without a pen GDI fills one pixel less in each direction.
        fill(r.adjusted(0, 0, -1, -1));
        return true;
    }
    if (r.empty())
        return true;
    const int w = std::max(1, m_logPen.lopnWidth);
    if (w == 1) {
        fill(r.adjusted(1, 1, -1, -1));
        qint64 phase = 0;
        const qint64 l = r.l, t = r.t, rr = r.r - 1, b = r.b - 1;
        if (r.r - r.l == 1 || r.b - r.t == 1) {
            strokeLinePixels(s, l, t, rr, b, true, phase);
            return true;
        }
        // The dash phase runs on around the corners, so each side is stepped whole but for
        // what lies out of sight.
        strokeLinePixels(s, l, t, rr, t, false, phase);
        strokeLinePixels(s, rr, t, rr, b, false, phase);
        strokeLinePixels(s, rr, b, l, b, false, phase);
        strokeLinePixels(s, l, b, l, t, false, phase);
        return true;
    }
    // Wide pens draw solid: sides far out of sight are moved in to just out of sight, which
    // leaves every visible pixel of the outline and the fill as it was.
    const qint64 margin = qint64(w) + 2;
    r = Box{std::max<qint64>(r.l, visible.left() - margin), std::max<qint64>(r.t, visible.top() - margin),
            std::min<qint64>(r.r, qint64(visible.right()) + 1 + margin),
            std::min<qint64>(r.b, qint64(visible.bottom()) + 1 + margin)};
    if (r.empty())
        return true;
    // A wide pen is centred on the outline; PS_INSIDEFRAME keeps it inside the rectangle.
    QRectF outline(r.l + 0.5, r.t + 0.5, double(r.r - r.l - 1), double(r.b - r.t - 1));
    if (m_logPen.lopnStyle == PS_INSIDEFRAME)
        outline.adjust(w / 2, w / 2, -(w / 2), -(w / 2));
    fill(r);
    QPen pen = qPen();
    pen.setJoinStyle(Qt::MiterJoin);
    QPainter& p = s.prepared();
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(outline);
    return true;
}

bool DeviceContext::Ellipse(int left, int top, int right, int bottom)
{
    if (m_record) {
        recordCall(CallEllipse, boundsOf(left, top, right, bottom, penReach(m_logPen))).coords = {left, top, right, bottom};
        return true;
    }
    PaintScope s(*this);
    if (!s.painter())
        return false;
    QPainter& p = s.prepared();
    Box r = normalized(left, top, right, bottom);
    if (m_logPen.lopnStyle == PS_NULL)
        r = r.adjusted(0, 0, -1, -1);
    if (r.empty())
        return true;
    const qint64 reach = std::max(1, m_logPen.lopnWidth);
    if (visiblePart(r.adjusted(-reach, -reach, reach, reach), s.visible()).isEmpty())
        return true;
    QBrush brush = qBrush(m_logBrush);
    if (m_logBrush.lbStyle == BS_HATCHED && s.flipped())
        brush.setTransform(QTransform(1, 0, 0, -1, 0, 0));
    const double width = double(r.r - r.l), height = double(r.b - r.t);
    if (m_logPen.lopnStyle == PS_NULL) {
        p.setPen(Qt::NoPen);
        p.setBrush(brush);
        p.drawEllipse(QRectF(double(r.l), double(r.t), width, height));
        return true;
    }
    QPen pen = qPen();
    if (m_logPen.lopnWidth <= 1) {
        pen = QPen(colorOf(m_logPen.lopnColor), 0);
        static const Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                              Qt::DashDotDotLine};
        if (m_logPen.lopnStyle >= 0 && m_logPen.lopnStyle <= PS_DASHDOTDOT)
            pen.setStyle(styles[m_logPen.lopnStyle]);
    }
    p.setBackgroundMode(m_bkMode == OPAQUE ? Qt::OpaqueMode : Qt::TransparentMode);
    p.setBackground(colorOf(m_bkColor));
    p.setPen(pen);
    p.setBrush(brush);
    p.drawEllipse(QRectF(r.l + 0.5, r.t + 0.5, width - 1, height - 1));
    return true;
}

bool DeviceContext::Polygon(std::span<const POINT> points)
{
    if (points.size() < 2)
        return false;
    if (m_record) {
        recordCall(CallPolygon, boundsOf(points, penReach(m_logPen))).points.assign(points.begin(), points.end());
        return true;
    }
    PaintScope s(*this);
    if (!s.painter())
        return false;
    QPainter& p = s.prepared();
    QPolygon poly;
    for (const POINT& pt : points)
        poly << QPoint(pt.x, pt.y);
    // Integer corners put the edges between pixel centres: the right and bottom edges stay out.
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addPolygon(QPolygonF(poly));
    path.closeSubpath();
    QBrush brush = qBrush(m_logBrush);
    if (m_logBrush.lbStyle == BS_HATCHED) {
        if (s.flipped())
            brush.setTransform(QTransform(1, 0, 0, -1, 0, 0));
        if (m_bkMode == OPAQUE)
            p.fillPath(path, colorOf(m_bkColor));
    }
    p.fillPath(path, brush);
    if (m_logPen.lopnStyle == PS_NULL)
        return true;
    if (m_logPen.lopnWidth <= 1) {
        qint64 phase = 0;
        for (size_t i = 0; i < points.size(); ++i) {
            const POINT& a = points[i];
            const POINT& b = points[(i + 1) % points.size()];
            strokeLinePixels(s, a.x, a.y, b.x, b.y, false, phase);
        }
        return true;
    }
    QPolygonF centres;
    for (const POINT& pt : points)
        centres << QPointF(pt.x + 0.5, pt.y + 0.5);
    p.setPen(qPen());
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(centres);
    return true;
}

bool DeviceContext::Polyline(std::span<const POINT> points)
{
    if (points.size() < 2)
        return false;
    if (m_record) {
        recordCall(CallPolyline, boundsOf(points, penReach(m_logPen))).points.assign(points.begin(), points.end());
        return true;
    }
    PaintScope s(*this);
    if (!s.painter())
        return false;
    if (m_logPen.lopnStyle == PS_NULL)
        return true;
    QPainter& p = s.prepared();
    if (m_logPen.lopnWidth <= 1) {
        qint64 phase = 0;
        for (size_t i = 0; i + 1 < points.size(); ++i)
            strokeLinePixels(s, points[i].x, points[i].y, points[i + 1].x, points[i + 1].y, false,
                             phase);
        return true;
    }
    QPolygonF centres;
    for (const POINT& pt : points)
        centres << QPointF(pt.x + 0.5, pt.y + 0.5);
    p.setPen(qPen());
    p.drawPolyline(centres);
    return true;
}

bool DeviceContext::FillRect(const RECT& rect, HBRUSH brush)
{
    if (!brush)
        return false;
    if (m_record) {
        DrawingRecord::Call& call = recordCall(CallFill, boundsOf(rect.left, rect.top, rect.right, rect.bottom, 0));
        call.coords = {rect.left, rect.top, rect.right, rect.bottom};
        call.fill = brush->log;
        return true;
    }
    PaintScope s(*this);
    if (!s.painter())
        return false;
    // GDI leaves an inverted rectangle empty rather than normalising it.
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return true;
    const QRect r(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
    fillWith(s.prepared(), r, qBrush(brush->log), brush->log.lbStyle == BS_HATCHED, m_bkMode == OPAQUE, m_bkColor,
             s.flipped());
    return true;
}

bool DeviceContext::TextOut(int x, int y, const QString& text)
{
    if (m_record) {
        if (!text.isEmpty()) {
            DrawingRecord::Call& call = recordCall(CallText, textBounds(x, y, text));
            call.coords = {x, y, 0, 0};
            call.text = text;
        }
        return true;
    }
    PaintScope s(*this);
    if (!s.painter())
        return false;
    if (text.isEmpty())
        return true;
    QPainter& p = s.prepared();
    const QFont& font = cachedFont();
    const QFontMetrics& fm = m_fontCache->metrics;
    const TextEntry& entry = textEntry(text);
    p.setFont(font);
    // (x, y) is the top-left of the text cell; escapement turns the text about it, counter-clockwise.
    p.translate(x, y);
    if (m_logFont.lfEscapement != 0)
        p.rotate(-m_logFont.lfEscapement / 10.0);
    if (m_bkMode == OPAQUE)
        p.fillRect(QRect(0, 0, entry.width, fm.ascent() + fm.descent()), colorOf(m_bkColor));
    p.setPen(colorOf(m_textColor));
    // A text laid out once draws the same pixels as drawText, without shaping it again; only
    // where the painter merely moves, since a turned painter lays it out anew.
    if (p.worldTransform().type() <= QTransform::TxTranslate)
        p.drawStaticText(QPointF(0, 0), entry.layout);
    else
        p.drawText(QPointF(0, fm.ascent()), text);
    return true;
}

SIZE DeviceContext::GetTextExtent(const QString& text) const
{
    cachedFont();
    const QFontMetrics& fm = m_fontCache->metrics;
    return SIZE{textEntry(text).width, fm.ascent() + fm.descent()};
}

int DeviceContext::DrawText(const QString& textIn, RECT* rect, UINT flags)
{
    if (!rect)
        return 0;
    const QFont font = qFont();
    const QFontMetrics fm(font);
    QString text = (flags & DT_NOPREFIX) ? textIn : stripPrefix(textIn);
    if (flags & DT_EXPANDTABS)
        text.replace(QLatin1Char('\t'), QStringLiteral("        "));
    const int boxWidth = rect->right - rect->left;

    QStringList lines;
    if (flags & DT_SINGLELINE) {
        text.replace(QLatin1String("\r\n"), QLatin1String(" "));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        lines << text;
    } else {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
            if (!(flags & DT_WORDBREAK)) {
                lines << paragraph;
                continue;
            }
            // Greedy word wrap; a word wider than the box keeps a line of its own.
            QString line;
            for (const QString& word : paragraph.split(QLatin1Char(' '))) {
                const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
                if (!line.isEmpty() && fm.horizontalAdvance(candidate) > boxWidth) {
                    lines << line;
                    line = word;
                } else {
                    line = candidate;
                }
            }
            lines << line;
        }
    }
    if (flags & DT_END_ELLIPSIS) {
        const QString dots = QStringLiteral("...");
        for (QString& line : lines) {
            if (fm.horizontalAdvance(line) <= boxWidth)
                continue;
            while (!line.isEmpty() && fm.horizontalAdvance(line + dots) > boxWidth)
                line.chop(1);
            line += dots;
        }
    }

    const int lineHeight = fm.ascent() + fm.descent();
    const int total = lineHeight * int(lines.size());
    if (flags & DT_CALCRECT) {
        int widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, fm.horizontalAdvance(line));
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }

    int top = rect->top;
    if (flags & DT_SINGLELINE) {
        if (flags & DT_VCENTER)
            top = (rect->top + rect->bottom - lineHeight) / 2;
        else if (flags & DT_BOTTOM)
            top = rect->bottom - lineHeight;
    }
    if (m_record) {
        // Unclipped text may run anywhere along its lines.
        const QRect bounds = (flags & DT_NOCLIP) ? everywhere()
                                                 : boundsOf(rect->left, rect->top, rect->right, rect->bottom, 0);
        DrawingRecord::Call& call = recordCall(CallTextBox, bounds);
        call.coords = {rect->left, rect->top, rect->right, rect->bottom};
        call.text = textIn;
        call.flags = flags;
        return (top - rect->top) + total;
    }
    PaintScope s(*this);
    if (!s.painter())
        return 0;
    QPainter& p = s.prepared();
    p.setFont(font);
    if (!(flags & DT_NOCLIP))
        p.setClipRect(QRect(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1)),
                      Qt::IntersectClip);
    p.setPen(colorOf(m_textColor));
    int y = top;
    for (const QString& line : lines) {
        const int w = fm.horizontalAdvance(line);
        int x = rect->left;
        if (flags & DT_CENTER)
            x = (rect->left + rect->right - w) / 2;
        else if (flags & DT_RIGHT)
            x = rect->right - w;
        if (m_bkMode == OPAQUE)
            p.fillRect(QRect(x, y, w, lineHeight), colorOf(m_bkColor));
        p.drawText(QPointF(x, y + fm.ascent()), line);
        y += lineHeight;
    }
    return (top - rect->top) + total;
}

COLORREF DeviceContext::SetPixel(int x, int y, COLORREF c)
{
    c &= 0xFFFFFF;
    if (m_record) {
        DrawingRecord::Call& call = recordCall(CallPixel, QRect(x, y, 1, 1));
        call.coords = {x, y, 0, 0};
        call.fill.lbColor = c;
        return c;
    }
    if (m_bitmap) {
        const DibFormat f = m_bitmap->format();
        if (x < 0 || y < 0 || x >= f.width || y >= absHeightOf(f))
            return CLR_INVALID;
        const int row = m_bitmap->bottomUp() ? absHeightOf(f) - 1 - y : y;
        QImage one(1, 1, QImage::Format_RGB32);
        one.setPixel(0, 0, colorOf(c).rgb());
        Rgb32ToDib(one, f, m_bitmap->bits(), QRect(x, row, 1, 1));
        const QImage back = DibToRgb32(f, m_bitmap->bits(), QRect(x, row, 1, 1));
        const QRgb v = back.pixel(0, 0);
        return RGB(qRed(v), qGreen(v), qBlue(v));
    }
    PaintScope s(*this);
    if (!s.painter())
        return CLR_INVALID;
    s.prepared().fillRect(QRect(x, y, 1, 1), colorOf(c));
    return c;
}

COLORREF DeviceContext::GetPixel(int x, int y) const
{
    QImage pixel;
    if (m_bitmap) {
        const DibFormat f = m_bitmap->format();
        if (x < 0 || y < 0 || x >= f.width || y >= absHeightOf(f))
            return CLR_INVALID;
        const int row = m_bitmap->bottomUp() ? absHeightOf(f) - 1 - y : y;
        pixel = DibToRgb32(f, m_bitmap->bits(), QRect(x, row, 1, 1));
    } else if (m_device && m_device->devType() == QInternal::Image) {
        const auto* img = static_cast<const QImage*>(m_device);
        if (!img->valid(x, y))
            return CLR_INVALID;
        pixel = img->copy(x, y, 1, 1).convertToFormat(QImage::Format_RGB32);
    }
    if (pixel.isNull())
        return CLR_INVALID;
    const QRgb v = pixel.pixel(0, 0);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}

bool DeviceContext::drawImage(const QRect& target, const QImage& source, const QRect& sourceRect, bool sourceBottomUp,
                              QPainter::CompositionMode mode, qreal opacity)
{
    if (source.isNull() || target.isEmpty() || sourceRect.isEmpty())
        return false;
    if (m_record) {
        DrawingRecord::Call& call = recordCall(CallImage, target);
        call.image = source;
        call.source = sourceRect;
        call.coords = {target.x(), target.y(), target.width(), target.height()};
        call.bottomUp = sourceBottomUp;
        call.mode = mode;
        call.opacity = opacity;
        return true;
    }
    PaintScope s(*this);
    if (!s.painter())
        return false;
    QPainter& p = s.prepared();
    p.setCompositionMode(mode);
    p.setOpacity(opacity);
    p.setRenderHint(QPainter::SmoothPixmapTransform, m_stretchMode == HALFTONE);
    if (!sourceBottomUp) {
        p.drawImage(target, source, sourceRect);
        return true;
    }
    // Picture rows sy .. sy + sh - 1 are memory rows counted from the other end; draw them flipped.
    const QRect memory(sourceRect.x(), source.height() - sourceRect.y() - sourceRect.height(), sourceRect.width(),
                       sourceRect.height());
    p.translate(target.x(), target.y() + target.height());
    p.scale(1, -1);
    p.drawImage(QRect(0, 0, target.width(), target.height()), source, memory);
    return true;
}

QImage DeviceContext::sourceImage() const
{
    if (m_bitmap) {
        const DibFormat f = m_bitmap->format();
        QImage view = DibImage(f, m_bitmap->bits());
        if (view.isNull())
            view = DibToRgb32(f, m_bitmap->bits(), QRect(0, 0, f.width, absHeightOf(f)));
        return view;
    }
    if (m_device && m_device->devType() == QInternal::Image)
        return *static_cast<const QImage*>(m_device);
    return {};
}

bool DeviceContext::sourceBottomUp() const { return m_bitmap && m_bitmap->bottomUp(); }

QSize DeviceContext::size() const
{
    if (m_bitmap)
        return QSize(m_bitmap->width(), m_bitmap->absHeight());
    if (m_device)
        return QSize(m_device->width(), m_device->height());
    if (m_external && m_external->device())
        return QSize(m_external->device()->width(), m_external->device()->height());
    return {};
}

// ---- free functions ---------------------------------------------------------------------------------

COLORREF SetTextColor(HDC dc, COLORREF c) { return dc ? dc->SetTextColor(c) : CLR_INVALID; }
COLORREF SetBkColor(HDC dc, COLORREF c) { return dc ? dc->SetBkColor(c) : CLR_INVALID; }
int SetBkMode(HDC dc, int mode) { return dc ? dc->SetBkMode(mode) : 0; }
int SetStretchBltMode(HDC dc, int mode) { return dc ? dc->SetStretchBltMode(mode) : 0; }
bool MoveToEx(HDC dc, int x, int y, POINT* previous) { return dc && dc->MoveToEx(x, y, previous); }
bool LineTo(HDC dc, int x, int y) { return dc && dc->LineTo(x, y); }
bool Rectangle(HDC dc, int l, int t, int r, int b) { return dc && dc->Rectangle(l, t, r, b); }
bool Ellipse(HDC dc, int l, int t, int r, int b) { return dc && dc->Ellipse(l, t, r, b); }
bool Polygon(HDC dc, const POINT* points, int count)
{
    return dc && points && count > 0 && dc->Polygon(std::span<const POINT>(points, size_t(count)));
}
bool Polyline(HDC dc, const POINT* points, int count)
{
    return dc && points && count > 0 && dc->Polyline(std::span<const POINT>(points, size_t(count)));
}
bool FillRect(HDC dc, const RECT* rect, HBRUSH brush) { return dc && rect && dc->FillRect(*rect, brush); }
bool TextOut(HDC dc, int x, int y, const QString& text) { return dc && dc->TextOut(x, y, text); }
int DrawText(HDC dc, const QString& text, RECT* rect, UINT flags) { return dc ? dc->DrawText(text, rect, flags) : 0; }
bool GetTextExtentPoint32(HDC dc, const QString& text, SIZE* size)
{
    if (!dc || !size)
        return false;
    *size = dc->GetTextExtent(text);
    return true;
}
COLORREF SetPixel(HDC dc, int x, int y, COLORREF c) { return dc ? dc->SetPixel(x, y, c) : CLR_INVALID; }
COLORREF GetPixel(HDC dc, int x, int y) { return dc ? dc->GetPixel(x, y) : CLR_INVALID; }

bool StretchBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh, DWORD rop)
{
    if (!dst || !src || rop != SRCCOPY)
        return false;
    QImage image = src->sourceImage();
    if (image.isNull())
        return false;
    // Copying within one picture: read from a copy so the source cannot change under the copy.
    if (src == dst)
        image = image.copy();
    return dst->drawImage(QRect(x, y, w, h), image, QRect(sx, sy, sw, sh), src->sourceBottomUp());
}

bool BitBlt(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, DWORD rop)
{
    return StretchBlt(dst, x, y, w, h, src, sx, sy, w, h, rop);
}
