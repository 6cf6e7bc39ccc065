// Histogram window: counting the images' pixels, and drawing the curves, the colour bars, the
// mark of the value under the mouse and the marker shading.
#include "workspace/TF_Histogram.h"

#include "image/TFastDIB.h"
#include "platform/GradientFill.h"
#include "project/TStitchObject.h"
#include "shell/TF_Main.h"
#include "workspace/TF_SMDI.h"
#include "workspace/ToolWindows.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

QPointer<TF_Histogram> F_Histogram;

namespace {

const QString kFontFace = QStringLiteral("DejaVu Sans");
constexpr int kRightMargin = 5;
constexpr int kLeftMargin = 12;
constexpr int kLabelHeight = 16; // bottom axis labels under the plot
constexpr int kBarHeight = 6;
// Docked among other windows: the check boxes and a chart still readable beside them.
constexpr int kDockedHeight = 130;
constexpr QRgb kShading = 0xFFE5E5E5; // RGB 229, 229, 229

// Series colours in series order: brightness, red, green, blue.
const QColor kSeriesColors[4] = {QColor(0, 0, 0), QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255)};

const std::array<quint64, 256>& seriesCounts(const HistogramCounts& c, int series)
{
    switch (series) {
    case 1:
        return c.Red;
    case 2:
        return c.Green;
    case 3:
        return c.Blue;
    default:
        return c.Brightness;
    }
}

// A plot area that paints what its owner draws.
class ChartBox : public QWidget {
public:
    ChartBox(QWidget* parent, std::function<void(QPainter&, QSize)> draw)
        : QWidget(parent)
        , m_draw(std::move(draw))
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        m_draw(p, size());
    }

private:
    std::function<void(QPainter&, QSize)> m_draw;
};

// The panel behind the chart: its caption shows where the chart is hidden.
class CaptionPanel : public QWidget {
public:
    CaptionPanel(QWidget* parent, QString caption)
        : QWidget(parent)
        , m_caption(std::move(caption))
    {
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, Qt::white);
        setPalette(pal);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QFont f(kFontFace);
        f.setPixelSize(27); // 20 points at 96 dpi
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(rect(), Qt::AlignCenter, m_caption);
    }

private:
    QString m_caption;
};

} // namespace

namespace {

// Four sets of 32-bit bins, one per pixel of a group of four: wood has long runs of the same values,
// and one set would make every increment wait for the one before. All four stay in the
// first-level cache.
struct Bins {
    std::array<quint32, 256> b{}, g{}, r{};
    std::array<quint32, 766> sum{};
};
using BinSets = std::array<Bins, 4>;

// Adds the bins to the counts and empties them.
void flushBins(BinSets& sets, HistogramCounts& counts)
{
    for (Bins& s : sets) {
        for (size_t v = 0; v < 256; ++v) {
            counts.Blue[v] += s.b[v];
            counts.Green[v] += s.g[v];
            counts.Red[v] += s.r[v];
        }
        for (size_t v = 0; v < 766; ++v)
            counts.Brightness[v / 3] += s.sum[v];
        s = Bins();
    }
}

// Adds rows [first, end) of a 24-bit image to the bins.
void countRows(const TFastDIB& image, int first, int end, BinSets& sets)
{
    const int width = image.Info.Header.Width;
    auto add = [](Bins& s, const quint8* q) {
        ++s.b[q[0]];
        ++s.g[q[1]];
        ++s.r[q[2]];
        ++s.sum[size_t(q[0] + q[1] + q[2])];
    };
    Bins& s0 = sets[0];
    Bins& s1 = sets[1];
    Bins& s2 = sets[2];
    Bins& s3 = sets[3];
    for (int y = first; y < end; ++y) {
        const quint8* p = static_cast<const quint8*>(image.Scanlines[y]);
        int x = 0;
        for (; x + 4 <= width; x += 4, p += 12) {
            add(s0, p);
            add(s1, p + 3);
            add(s2, p + 6);
            add(s3, p + 9);
        }
        for (; x < width; ++x, p += 3)
            add(s0, p);
    }
}

bool countable(const TFastDIB& image)
{
    return image.Bits && image.Scanlines && image.Info.Header.BitCount == 24 && image.Info.Header.Width > 0
        && image.AbsHeight > 0;
}

// Rows a thread takes at a time: small enough that a thread the system holds back costs the
// others little waiting at the end, large enough that taking one costs nothing.
constexpr qint64 kBandPixels = qint64(1) << 18;
// Pixels one thread counts at least before another one is worth starting.
constexpr qint64 kPixelsPerThread = qint64(1) << 20;

struct Band {
    const TFastDIB* image;
    int first, end;
    qint64 pixels;
};

} // namespace

void CountHistogram(const TFastDIB& image, HistogramCounts& counts)
{
    CountHistograms({&image}, counts);
}

void CountHistograms(const std::vector<const TFastDIB*>& images, HistogramCounts& counts)
{
    // Trays hold hundreds of millions of pixels: the bands of rows of all images go to the
    // processor's threads, each taking the next band as soon as it is done with one.
    std::vector<Band> bands;
    qint64 pixels = 0;
    for (const TFastDIB* image : images) {
        if (!image || !countable(*image))
            continue;
        const int width = image->Info.Header.Width, rows = image->AbsHeight;
        const int step = int(std::clamp<qint64>(kBandPixels / width, 1, rows));
        for (int y = 0; y < rows; y += step) {
            const int end = std::min(rows, y + step);
            bands.push_back({image, y, end, qint64(width) * (end - y)});
        }
        pixels += qint64(width) * rows;
    }
    if (bands.empty())
        return;
    const qint64 cores = std::max(1u, std::thread::hardware_concurrency());
    const int threads = int(std::clamp<qint64>(pixels / kPixelsPerThread, 1, std::min<qint64>(cores, qint64(bands.size()))));
    std::atomic<size_t> next{0};
    std::vector<HistogramCounts> parts(static_cast<size_t>(threads));
    auto work = [&](HistogramCounts& part) {
        auto sets = std::make_unique<BinSets>();
        qint64 inBins = 0; // pixels in the bins, kept below their 32-bit limit
        for (size_t i = next++; i < bands.size(); i = next++) {
            const Band& band = bands[i];
            if (inBins + band.pixels > qint64(std::numeric_limits<quint32>::max())) {
                flushBins(*sets, part);
                inBins = 0;
            }
            countRows(*band.image, band.first, band.end, *sets);
            inBins += band.pixels;
        }
        flushBins(*sets, part);
    };
    {
        std::vector<std::jthread> workers;
        for (int i = 1; i < threads; ++i)
            workers.emplace_back([&, i] { work(parts[size_t(i)]); });
        work(parts[0]);
    }
    for (const HistogramCounts& part : parts)
        for (size_t v = 0; v < 256; ++v) {
            counts.Brightness[v] += part.Brightness[v];
            counts.Red[v] += part.Red[v];
            counts.Green[v] += part.Green[v];
            counts.Blue[v] += part.Blue[v];
        }
}

quint64 ImageFingerprint(const TFastDIB& image)
{
    auto mix = [](quint64 h, quint64 v) { return h ^ (v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2)); };
    quint64 h = mix(0x51ED27u, quintptr(image.Bits));
    const int width = image.Info.Header.Width, height = image.AbsHeight;
    h = mix(h, (quint64(quint32(width)) << 32) | quint32(height));
    h = mix(h, image.Info.Header.BitCount);
    if (!image.Bits || !image.Scanlines || image.Info.Header.BitCount != 24 || width <= 0 || height <= 0)
        return h;
    // 64 rows by 64 columns, spread over the whole picture.
    for (int i = 0; i < 64; ++i) {
        const int y = int(qint64(height - 1) * i / 63);
        const quint8* row = static_cast<const quint8*>(image.Scanlines[y]);
        for (int j = 0; j < 64; ++j) {
            const int x = int(qint64(width - 1) * j / 63);
            const quint8* p = row + 3 * qint64(x);
            h = mix(h, quint64(p[0]) | (quint64(p[1]) << 8) | (quint64(p[2]) << 16));
        }
    }
    return h;
}

TF_Histogram::TF_Histogram(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Histogram"));
    setObjectName(QStringLiteral("F_Histogram"));
    setMinimumSize(180, 180);
    SetDockedMinimumHeight(this, kDockedHeight);
    setMaximumWidth(381);
    resize(361, 180);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    P_Status = new QWidget(this);
    P_Status->setFixedWidth(85);
    auto* status = new QVBoxLayout(P_Status);
    status->setContentsMargins(4, 4, 4, 4);
    status->setSpacing(2);
    SB_Refresh = new QToolButton(P_Status);
    SB_Refresh->setText(QStringLiteral("Refresh"));
    SB_Refresh->setAutoRaise(true);
    SB_Refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    SB_Refresh->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    status->addWidget(SB_Refresh);
    CB_Red = new QCheckBox(QStringLiteral("Red"), P_Status);
    CB_Green = new QCheckBox(QStringLiteral("Green"), P_Status);
    CB_Blue = new QCheckBox(QStringLiteral("Blue"), P_Status);
    CB_Brightness = new QCheckBox(QStringLiteral("Brght."), P_Status);
    CB_Brightness->setChecked(true);
    for (QCheckBox* box : {CB_Red, CB_Green, CB_Blue, CB_Brightness}) {
        status->addWidget(box);
        connect(box, &QCheckBox::clicked, this, &TF_Histogram::CB_RedClick);
    }
    status->addStretch(1);
    connect(SB_Refresh, &QToolButton::clicked, this, &TF_Histogram::SB_RefreshClick);

    Panel1 = new CaptionPanel(this, QStringLiteral("No data available"));
    C_Histo = new ChartBox(Panel1, [this](QPainter& p, QSize s) { p.drawImage(0, 0, chartImage(s)); });
    PB_Gradient = new ChartBox(Panel1, [this](QPainter& p, QSize s) {
        p.drawImage(0, 0, gradientImage(s, C_Histo->width()));
    });
    PB_Gradient->setFixedHeight(26);
    auto* panel = new QVBoxLayout(Panel1);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->setSpacing(0);
    panel->addWidget(C_Histo, 1);
    panel->addWidget(PB_Gradient);
    C_Histo->hide();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(P_Status);
    layout->addWidget(Panel1, 1);
}

bool TF_Histogram::seriesShown(int series) const
{
    switch (series) {
    case 0:
        return CB_Brightness->isChecked();
    case 1:
        return CB_Red->isChecked();
    case 2:
        return CB_Green->isChecked();
    case 3:
        return CB_Blue->isChecked();
    default:
        return false;
    }
}

void TF_Histogram::setMarkValue(int value)
{
    if (value == m_markValue)
        return;
    m_markValue = value;
    if (C_Histo->isVisible())
        C_Histo->update();
}

void TF_Histogram::PrepareHistogram()
{
    // The next count starts afresh.
    m_counts.Brightness.fill(0);
    m_countedFingerprint = 0;
    m_hasData = false;
}

quint64 TF_Histogram::fingerprintOf(TF_SMDI* f) const
{
    quint64 h = quintptr(f) | 1; // never 0
    for (const auto& so : f->StitchList)
        h = h * 1099511628211ull ^ (so && so->FD ? ImageFingerprint(*so->FD) : 0);
    return h ? h : 1;
}

void TF_Histogram::count(TF_SMDI* f)
{
    const quint64 fingerprint = fingerprintOf(f);
    if (m_hasData && fingerprint == m_countedFingerprint)
        return; // the same pixels as counted last
    m_countedFingerprint = fingerprint;
    m_counts = HistogramCounts();
    std::vector<const TFastDIB*> images;
    for (const auto& so : f->StitchList)
        if (so && so->FD)
            images.push_back(so->FD.get());
    CountHistograms(images, m_counts);
    m_hasData = true;
}

void TF_Histogram::UpdateHistogram(TF_SMDI* f)
{
    if (!f) {
        m_counts = HistogramCounts();
        m_hasData = false;
        m_countedFingerprint = 0;
        C_Histo->hide();
        return;
    }
    MDI = f;
    // Counting a large canvas takes a while: a hidden window only remembers whose it is.
    if (!isVisible()) {
        m_hasData = false;
        return;
    }
    count(f);
    CB_RedClick();
}

void TF_Histogram::RecountHistogram(TF_SMDI* f)
{
    PrepareHistogram();
    UpdateHistogram(f);
}

void TF_Histogram::SB_RefreshClick()
{
    if (TF_SMDI* w = F_Main ? F_Main->ActiveMDIChild() : nullptr)
        RecountHistogram(w);
}

void TF_Histogram::FormShow()
{
    PrepareHistogram();
    TF_SMDI* w = F_Main ? F_Main->ActiveMDIChild() : nullptr;
    if (!w)
        w = MDI; // standing alone, the window last given
    if (w)
        UpdateHistogram(w);
}

void TF_Histogram::CB_RedClick()
{
    bool any = false;
    for (int s = 0; s < 4; ++s)
        any = any || seriesShown(s);
    C_Histo->setVisible(any && m_hasData);
    C_Histo->update();
    PB_Gradient->update();
}

void TF_Histogram::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FormShow();
}

ChartAxis TF_Histogram::bottomAxis(int chartWidth)
{
    ChartAxis axis;
    axis.Minimum = 0;
    axis.Maximum = 255;
    axis.StartPixel = kLeftMargin;
    axis.EndPixel = std::max(kLeftMargin + 1, chartWidth - 1 - kRightMargin);
    return axis;
}

QImage TF_Histogram::chartImage(QSize size) const
{
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    const int w = image.width(), h = image.height();
    const ChartAxis x = bottomAxis(w);
    const int plotBottom = h - 1 - kLabelHeight;

    // The left axis is hidden and follows the highest count shown.
    quint64 highest = 1;
    for (int s = 0; s < 4; ++s)
        if (seriesShown(s))
            for (quint64 n : seriesCounts(m_counts, s))
                highest = std::max(highest, n);
    ChartAxis y;
    y.Minimum = 0;
    y.Maximum = double(highest);
    y.Logarithmic = true;
    y.StartPixel = plotBottom;
    y.EndPixel = 4;

    QPainter p(&image);
    QFont font(kFontFace);
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawLine(x.StartPixel, plotBottom, x.EndPixel, plotBottom);
    // Labels every 50 values, fewer where they would run into each other.
    const int labelStep = x.EndPixel - x.StartPixel >= 200 ? 50 : x.EndPixel - x.StartPixel >= 100 ? 100 : 250;
    for (int v = 0; v <= 250; v += labelStep) {
        const int px = x.toPixel(v);
        p.drawLine(px, plotBottom, px, plotBottom + 3);
        p.drawText(QRect(px - 20, plotBottom + 3, 40, kLabelHeight - 3), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(v));
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int s = 0; s < 4; ++s) {
        if (!seriesShown(s) || !m_hasData)
            continue;
        const auto& counts = seriesCounts(m_counts, s);
        QPolygon line;
        line.reserve(256);
        for (int v = 0; v < 256; ++v)
            line << QPoint(x.toPixel(v), y.toPixel(double(counts[size_t(v)])));
        p.setPen(QPen(kSeriesColors[s], 1));
        p.drawPolyline(line);
    }

    // The value under the image window's mouse.
    if (m_markValue >= 0) {
        p.setPen(QPen(Qt::red, 1));
        const int px = x.toPixel(m_markValue);
        p.drawLine(px, h - 30, px, h - 23);
    }

    // Marker shading: the light gray ANDed into the pixels, so white turns gray and curves stay.
    p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    const int top = 10, bottom = h - 35;
    if (bottom > top) {
        const int l = x.toPixel(LMarker), r = x.toPixel(RMarker);
        if (l > 12)
            p.fillRect(QRect(QPoint(12, top), QPoint(l - 1, bottom - 1)), QColor::fromRgb(kShading));
        if (w - 12 > r)
            p.fillRect(QRect(QPoint(r, top), QPoint(w - 12 - 1, bottom - 1)), QColor::fromRgb(kShading));
    }
    p.end();
    return image;
}

QImage TF_Histogram::gradientImage(QSize size, int chartWidth) const
{
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::white);
    if (C_Histo->isHidden())
        return image;
    const ChartAxis x = bottomAxis(chartWidth);
    QPainter p(&image);
    // Bars in the order Red, Green, Blue, Brightness, each under the one before.
    const struct {
        int series;
        quint32 color; // $00BBGGRR
    } bars[] = {{1, 0x0000FF}, {2, 0x008000}, {3, 0xFF0000}, {0, 0x000000}};
    int top = 0;
    for (const auto& bar : bars) {
        if (!seriesShown(bar.series))
            continue;
        GradientFillRect(&p, QRect(QPoint(x.toPixel(0), top), QPoint(x.toPixel(255), top + kBarHeight - 1)), bar.color,
                         0xFFFFFF, false);
        top += kBarHeight;
    }
    p.end();
    return image;
}
