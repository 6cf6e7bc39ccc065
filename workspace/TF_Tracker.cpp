// Gray-value tracker: sampling the path's lines, drawing the profile with its axes, gray bar and
// crosses, and the mouse over the chart pointing into the image window.
#include "workspace/TF_Tracker.h"

#include "image/TFastDIB.h"
#include "platform/GradientFill.h"
#include "project/Helpers.h"
#include "project/TJEXObject.h"
#include "project/TStitchObject.h"
#include "shell/TF_Main.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"
#include "workspace/ToolWindows.h"

#include <QApplication>
#include <QDockWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

QPointer<TF_Tracker> F_Tracker;

namespace {

const QString kFontFace = QStringLiteral("DejaVu Sans");
const QColor kBackground(1, 7, 35);
const QColor kProfile(255, 198, 0);
const QColor kCross(255, 0, 0);
const QColor kCursorLine(255, 255, 0);
constexpr int kPlotLeft = 25; // the gray bar stands from x = 5 to 20
constexpr int kPlotRight = 10;
constexpr int kPlotTop = 5;
constexpr int kPlotBottom = 5 + 15; // margin and bottom labels

// A chart area whose owner paints it and takes its mouse.
class ChartArea : public QWidget {
public:
    explicit ChartArea(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
        setCursor(Qt::CrossCursor);
        setMinimumSize(60, 40);
    }
};

quint64 mix(quint64 h, quint64 v)
{
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return h;
}

} // namespace

double AddLine(const TFastDIB& image, QPoint p1, QPoint p2, std::vector<TFDPoint>& out)
{
    const int dx = std::abs(p2.x() - p1.x()), dy = std::abs(p2.y() - p1.y());
    const int sx = p2.x() >= p1.x() ? 1 : -1, sy = p2.y() >= p1.y() ? 1 : -1;
    const int dx2 = 2 * dx, dy2 = 2 * dy;
    int x = p1.x(), y = p1.y();
    const int steps = std::max(dx, dy) + 1;
    double sum = 0;
    // Project images are 24-bit: their pixels are read straight from the rows, others through
    // the general reader; both give (R + G + B) div 3 with rows counted from the top, -1 outside.
    const bool direct = image.Scanlines && image.Info.Header.BitCount == 24;
    const int width = image.Info.Header.Width, height = image.AbsHeight;
    const bool bottomUp = image.Info.Header.Height > 0;
    auto gray = [&](int px, int py) {
        if (!direct)
            return GetGrayValue(image, px, py);
        if (px < 0 || py < 0 || px >= width || py >= height)
            return -1;
        const quint8* p = static_cast<const quint8*>(image.Scanlines[bottomUp ? height - 1 - py : py]) + 3 * px;
        return (p[0] + p[1] + p[2]) / 3;
    };
    auto sample = [&] {
        const int g = gray(x, y);
        out.push_back(TFDPoint{x, y, g});
        sum += g;
    };
    if (dy2 < dx2) {
        int e = dy2 - dx;
        for (int i = 0; i < steps; ++i) {
            sample();
            if (e >= 0) {
                y += sy;
                e += dy2 - dx2;
            } else {
                e += dy2;
            }
            x += sx;
        }
    } else {
        int e = dx2 - dy;
        for (int i = 0; i < steps; ++i) {
            sample();
            if (e >= 0) {
                x += sx;
                e += dx2 - dy2;
            } else {
                e += dx2;
            }
            y += sy;
        }
    }
    return sum / steps;
}

TrackerProfile BuildProfile(const TPath* path, const TFastDIB& image)
{
    TrackerProfile result;
    if (!path)
        return result;
    size_t total = 0;
    for (const auto& index : path->ObjectList) {
        QPoint from = index->Pos;
        for (const auto& m : index->ObjectList) {
            total += size_t(std::max(std::abs(qint64(m->Pos.x()) - from.x()), std::abs(qint64(m->Pos.y()) - from.y()))) + 1;
            from = m->Pos;
        }
    }
    result.Points.reserve(total);
    for (const auto& index : path->ObjectList) {
        QPoint from = index->Pos;
        for (const auto& m : index->ObjectList) {
            AddLine(image, from, m->Pos, result.Points);
            result.Markers.push_back(int(result.Points.size()) - 1);
            from = m->Pos;
        }
    }
    return result;
}

std::vector<double> PlottedValues(const std::vector<TFDPoint>& points, int smooth)
{
    const int n = int(points.size());
    std::vector<double> values(static_cast<size_t>(n));
    if (smooth <= 0) {
        for (int i = 0; i < n; ++i)
            values[size_t(i)] = points[size_t(i)].Color;
        return values;
    }
    std::vector<double> prefix(static_cast<size_t>(n) + 1);
    for (int i = 0; i < n; ++i)
        prefix[size_t(i) + 1] = prefix[size_t(i)] + points[size_t(i)].Color;
    for (int i = 0; i < n; ++i) {
        const int a = std::max(0, i - smooth), b = std::min(n - 1, i + smooth);
        values[size_t(i)] = (prefix[size_t(b) + 1] - prefix[size_t(a)]) / (b - a + 1);
    }
    return values;
}

TF_Tracker::TF_Tracker(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Tracker"));
    setObjectName(QStringLiteral("F_Tracker"));
    resize(400, 250);
    m_left.Minimum = 0;
    m_left.Maximum = 255;
    m_bottom.Minimum = 0;
    m_bottom.Maximum = 100;

    Chart = new ChartArea(this);
    Chart->installEventFilter(this);
    TB_Ver = new QSlider(Qt::Vertical, this);
    TB_Ver->setRange(1, 1000);
    TB_Ver->setValue(50);
    TB_Ver->setInvertedAppearance(false);
    UD_Ordinate = new QSpinBox(this);
    UD_Ordinate->setRange(0, 255);
    UD_Ordinate->setValue(255);
    UD_Ordinate->setToolTip(QStringLiteral("Lowest gray value shown: 255 - value"));
    TB_Hor = new QSlider(Qt::Horizontal, this);
    TB_Hor->setRange(100, 1500);
    SB_Hor = new QScrollBar(Qt::Horizontal, this);
    SB_Hor->setRange(0, 0);

    SB_Tracker = new QStatusBar(this);
    SB_Tracker->setSizeGripEnabled(false);
    P_Status = new QWidget(SB_Tracker);
    auto* status = new QHBoxLayout(P_Status);
    status->setContentsMargins(2, 0, 2, 0);
    status->setSpacing(3);
    auto button = [this, status](const QString& text, const QString& hint, bool checkable) {
        auto* b = new QToolButton(P_Status);
        b->setText(text);
        b->setToolTip(hint);
        b->setAutoRaise(true);
        b->setCheckable(checkable);
        status->addWidget(b);
        return b;
    };
    SB_Refresh = button(QStringLiteral("Refresh"), QStringLiteral("Profile of the active image window's current path"), false);
    SB_Refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    SB_Log = button(QStringLiteral("Log"), QStringLiteral("Logarithmic gray-value axis"), true);
    SB_Log->setChecked(true);
    SB_DisplayCross = button(QStringLiteral("Cross"), QStringLiteral("Mark the ring borders"), true);
    SB_DisplayCross->setChecked(true);
    SB_SMDICursor = button(QStringLiteral("Cursor"), QStringLiteral("Show the pointed place in the image window"), true);
    L_Smooth = new QLabel(QStringLiteral("Smooth"), P_Status);
    status->addWidget(L_Smooth);
    SE_Smooth = new QSpinBox(P_Status);
    SE_Smooth->setRange(0, 255);
    status->addWidget(SE_Smooth);
    E_Position = new QLineEdit(P_Status);
    E_Position->setReadOnly(true);
    E_Position->setMinimumWidth(70);
    status->addWidget(E_Position, 1);
    SB_Tracker->addWidget(P_Status, 1);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(TB_Hor, 0, 1);
    grid->addWidget(TB_Ver, 1, 0);
    grid->addWidget(Chart, 1, 1);
    grid->addWidget(UD_Ordinate, 2, 0);
    grid->addWidget(SB_Hor, 2, 1);
    grid->addWidget(SB_Tracker, 3, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(1, 1);

    connect(SB_Refresh, &QToolButton::clicked, this, &TF_Tracker::SB_RefreshClick);
    connect(SB_DisplayCross, &QToolButton::clicked, this, [this] { UpdateTracker(MDI); });
    connect(SB_SMDICursor, &QToolButton::clicked, this, [this] {
        UpdateTracker(MDI);
        if (MDI)
            MDI->SmoothDraw(false);
    });
    connect(SB_Log, &QToolButton::clicked, this, &TF_Tracker::SB_LogClick);
    connect(TB_Ver, &QSlider::valueChanged, this, &TF_Tracker::TB_VerChange);
    connect(UD_Ordinate, &QSpinBox::valueChanged, this, &TF_Tracker::UD_OrdinateChanging);
    connect(TB_Hor, &QSlider::valueChanged, this, &TF_Tracker::TB_HorChange);
    connect(SB_Hor, &QScrollBar::valueChanged, this, &TF_Tracker::SB_HorChange);
    connect(SE_Smooth, &QSpinBox::valueChanged, Chart, qOverload<>(&QWidget::update));
    m_left.Logarithmic = SB_Log->isChecked();
}

void TF_Tracker::setLeftRange(int minimum, int maximum)
{
    m_left.Minimum = minimum;
    m_left.Maximum = maximum;
    Chart->update();
}

void TF_Tracker::ClearPList()
{
    m_profile = TrackerProfile();
}

quint64 TF_Tracker::signatureOf(TF_SMDI* f) const
{
    quint64 h = mix(0, quintptr(f));
    if (!f)
        return h;
    const TPath* path = f->CurrentPath;
    h = mix(h, quintptr(path));
    if (path)
        for (const auto& index : path->ObjectList) {
            h = mix(h, (quint64(quint32(index->Pos.x())) << 32) | quint32(index->Pos.y()));
            h = mix(h, index->ObjectList.size());
            for (const auto& m : index->ObjectList)
                h = mix(h, (quint64(quint32(m->Pos.x())) << 32) | quint32(m->Pos.y()));
        }
    if (!f->StitchList.empty() && f->StitchList[0]->FT) {
        const TFastDIB& ft = *f->StitchList[0]->FT;
        h = mix(h, quintptr(ft.Bits));
        h = mix(h, (quint64(quint32(ft.Info.Header.Width)) << 32) | quint32(ft.AbsHeight));
    }
    return h;
}

void TF_Tracker::UpdateTracker(TF_SMDI* f)
{
    MDI = f;
    ClearPList();
    m_signature = signatureOf(f);
    if (f) {
        GrayMean = 0;
        static const TFastDIB none;
        const TFastDIB& image =
            !f->StitchList.empty() && f->StitchList[0]->FT ? *f->StitchList[0]->FT : none;
        m_profile = BuildProfile(f->CurrentPath, image);
    }
    const QSignalBlocker block(SB_Hor);
    SB_Hor->setMaximum(int(m_profile.Points.size()));
    Chart->update();
}

void TF_Tracker::FollowWindow(TF_SMDI* f)
{
    if (!f || f != MDI || !isVisible())
        return;
    if (signatureOf(f) != m_signature)
        UpdateTracker(f);
}

bool TF_Tracker::isActiveForm() const
{
    if (!isVisible())
        return false;
    if (Chart->underMouse())
        return true;
    const QWidget* focus = QApplication::focusWidget();
    if (focus && isAncestorOf(focus))
        return true;
    // Floating on its own, it is active when its window is.
    return window() != static_cast<QWidget*>(F_Main) && isActiveWindow();
}

void TF_Tracker::layoutAxes(QSize chartSize) const
{
    m_left.StartPixel = chartSize.height() - 1 - kPlotBottom;
    m_left.EndPixel = kPlotTop;
    m_bottom.StartPixel = kPlotLeft;
    m_bottom.EndPixel = std::max(kPlotLeft + 1, chartSize.width() - 1 - kPlotRight);
}

void TF_Tracker::FormShow()
{
    const QSignalBlocker blockVer(TB_Ver);
    TB_Ver->setValue(int(std::lround(m_left.Maximum)));
    m_left.Minimum = 255 - UD_Ordinate->value();
    m_left.Maximum = TB_Ver->value();
    {
        const QSignalBlocker blockHor(TB_Hor);
        TB_Hor->setRange(100, 1500);
        TB_Hor->setValue(Chart->width() - 100);
    }
    m_bottom.Maximum = m_bottom.Minimum + TB_Hor->value();
    SB_Hor->setValue(0);
    SB_HorChange();
}

void TF_Tracker::SB_RefreshClick()
{
    if (TF_SMDI* w = F_Main ? F_Main->ActiveMDIChild() : nullptr)
        UpdateTracker(w);
}

void TF_Tracker::TB_VerChange()
{
    m_left.Minimum = 255 - UD_Ordinate->value();
    m_left.Maximum = TB_Ver->value();
    Chart->update();
}

void TF_Tracker::UD_OrdinateChanging(int position)
{
    // The axis takes the position the control now shows, not the one it left.
    m_left.Minimum = 255 - position;
    Chart->update();
}

void TF_Tracker::TB_HorChange()
{
    m_bottom.Maximum = m_bottom.Minimum + TB_Hor->value();
    Chart->update();
}

void TF_Tracker::SB_HorChange()
{
    m_bottom.Minimum = SB_Hor->value();
    m_bottom.Maximum = SB_Hor->value() + TB_Hor->value();
    Chart->update();
}

void TF_Tracker::SB_LogClick()
{
    m_left.Logarithmic = SB_Log->isChecked();
    Chart->update();
}

int TF_Tracker::sampleAt(QPoint at) const
{
    if (m_profile.Points.empty())
        return -1;
    layoutAxes(Chart->size());
    const long i = std::lround(m_bottom.toValue(at.x()));
    if (i < m_bottom.Minimum || i >= long(m_profile.Points.size()))
        return -1;
    return int(i);
}

void TF_Tracker::ChartMouseMove(Qt::MouseButtons buttons, QPoint at)
{
    const int i = sampleAt(at);
    if (i >= 0) {
        E_Position->setText(QString::number(i) + QStringLiteral(" / ")
                            + QString::number(std::lround(m_left.toValue(at.y()))));
        if (TF_SMDI* w = MDI) {
            const TFDPoint& p = m_profile.Points[size_t(i)];
            w->TrackerPos = QPoint(p.x, p.y);
            w->SmoothDraw(false);
        }
    }
    m_lastMoveX = at.x();
    Chart->update();
    if (buttons == Qt::LeftButton) {
        SB_Hor->setValue(SB_Hor->value() + (m_lastPress.x() - at.x()));
        m_lastPress = at;
    }
}

void TF_Tracker::ChartMouseDown(QPoint at)
{
    m_lastPress = at;
    TF_SMDI* w = MDI;
    if (!w)
        return;
    const int i = sampleAt(at);
    if (i < 0)
        return;
    const TFDPoint& p = m_profile.Points[size_t(i)];
    TPath* path = w->CurrentPath;
    auto* m = dynamic_cast<TMeasurement*>(TF_Measurements::FindNearest(nullptr, path, p.x, p.y));
    if (!m)
        return; // an index point (the start of a line) selects nothing
    QPointer<TF_SMDI> guard(w);
    w->GotoScreenPos(m->Pos.x(), m->Pos.y());
    if (!guard)
        return;
    if (F_Measurements) {
        F_Measurements->UnselectMeasurements(w, path);
        m->selected = true;
        F_Measurements->MarkNode(w, m->Node);
    } else {
        for (const auto& index : path->ObjectList) {
            index->selected = false;
            for (const auto& other : index->ObjectList)
                other->selected = false;
        }
        m->selected = true;
    }
    w->SmoothDraw(false);
}

QImage TF_Tracker::chartImage() const
{
    QImage image(Chart->size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    drawChart(image);
    return image;
}

void TF_Tracker::drawChart(QImage& image) const
{
    image.fill(kBackground);
    layoutAxes(image.size());
    const ChartAxis& x = m_bottom;
    const ChartAxis& y = m_left;
    const QRect plot(QPoint(x.StartPixel, y.EndPixel), QPoint(x.EndPixel, y.StartPixel));

    QPainter p(&image);
    QFont font(kFontFace);
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(QColor(Qt::lightGray)); // silver
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    // Bottom labels about every 80 pixels, at round sample numbers.
    const double span = x.Maximum - x.Minimum;
    if (span > 0 && plot.width() > 0) {
        const double raw = span * 80 / plot.width();
        const double mag = std::pow(10.0, std::floor(std::log10(std::max(raw, 1.0))));
        double step = mag;
        for (double m : {1.0, 2.0, 5.0, 10.0})
            if (m * mag >= raw) {
                step = m * mag;
                break;
            }
        for (double v = std::ceil(x.Minimum / step) * step; v <= x.Maximum; v += step) {
            const int px = x.toPixel(v);
            p.setPen(QColor(Qt::lightGray));
            p.drawLine(px, plot.bottom(), px, plot.bottom() + 3);
            p.setPen(Qt::white);
            p.drawText(QRect(px - 30, plot.bottom() + 3, 60, 13), Qt::AlignHCenter | Qt::AlignTop,
                       QString::number(qint64(v)));
        }
    }

    const auto& points = m_profile.Points;
    const int n = int(points.size());
    if (n > 0) {
        const std::vector<double> plotted = PlottedValues(points, SE_Smooth->value());
        auto value = [&plotted](int i) { return plotted[size_t(i)]; };
        const int first = std::max(0, int(std::floor(x.Minimum)) - 1);
        const int last = std::min(n - 1, int(std::ceil(x.Maximum)) + 1);
        p.setClipRect(plot.adjusted(0, 0, 1, 1));
        if (first <= last) {
            QPolygonF line;
            line.reserve(last - first + 1);
            for (int i = first; i <= last; ++i)
                line << QPointF(x.toPixelF(i), y.toPixelF(value(i)));
            p.setPen(QPen(kProfile, 1));
            p.drawPolyline(line);
        }
        if (SB_DisplayCross->isChecked()) {
            p.setPen(QPen(kCross, 1));
            for (int m : m_profile.Markers) {
                if (m < first || m > last)
                    continue;
                const QPoint c(x.toPixel(m), y.toPixel(value(m)));
                p.drawLine(c + QPoint(-3, -3), c + QPoint(3, 3));
                p.drawLine(c + QPoint(-3, 3), c + QPoint(3, -3));
            }
        }
        p.setClipping(false);
    }
    if (m_lastMoveX >= 0) {
        p.setPen(QPen(kCursorLine, 1));
        p.drawLine(m_lastMoveX, 0, m_lastMoveX, image.height() - 1);
    }

    // The gray bar beside the left axis: the axis minimum's gray at the top, the maximum's below.
    auto grayOf = [](double v) {
        const int g = std::clamp(int(std::lround(v)), 0, 255);
        return quint32(g) | (quint32(g) << 8) | (quint32(g) << 16);
    };
    const int top = y.toPixel(y.Maximum), bottom = y.toPixel(y.Minimum);
    GradientFillRect(&p, QRect(QPoint(5, std::min(top, bottom)), QPoint(19, std::max(top, bottom))), grayOf(y.Minimum),
                     grayOf(y.Maximum), true);
    p.end();
}

void TF_Tracker::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    FormShow();
}

bool TF_Tracker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != Chart)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Paint: {
        QPainter p(Chart);
        p.drawImage(0, 0, chartImage());
        return true;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        ChartMouseMove(e->buttons(), e->position().toPoint());
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton)
            ChartMouseDown(e->position().toPoint());
        return true;
    }
    case QEvent::Leave:
        if (MDI)
            MDI->SmoothDraw(false); // the crosshair goes back to the mouse
        return false;
    default:
        return QWidget::eventFilter(watched, event);
    }
}
