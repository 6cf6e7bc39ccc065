// Path statistics window.
#include "workspace/TF_PathInfo.h"

#include "project/PathDistances.h"
#include "project/Settings.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_SMDI.h"

#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

QPointer<TF_PathInfo> F_PathInfo;

InfoWindowParts BuildInfoWindow(QDialog* window, const QIcon& icon)
{
    InfoWindowParts parts;
    QPalette pal = window->palette();
    pal.setColor(QPalette::Window, Qt::white);
    window->setPalette(pal);
    window->setAutoFillBackground(true);
    window->resize(360, 300);

    parts.icon = new QLabel(window);
    parts.icon->setFixedSize(32, 32);
    parts.icon->setPixmap(icon.pixmap(32, 32));
    parts.name = new QLabel(window);
    QFont nameFont(QStringLiteral("DejaVu Sans"));
    nameFont.setPixelSize(13);
    nameFont.setBold(true);
    parts.name->setFont(nameFont);

    parts.memo = new QPlainTextEdit(window);
    parts.memo->setReadOnly(true);
    parts.memo->setEnabled(false);
    // Disabled only to take no focus: the text reads black on white, not as greyed out.
    QPalette memoPal = parts.memo->palette();
    for (QPalette::ColorGroup group : {QPalette::Disabled, QPalette::Active, QPalette::Inactive}) {
        memoPal.setColor(group, QPalette::Base, Qt::white);
        memoPal.setColor(group, QPalette::Window, Qt::white);
        memoPal.setColor(group, QPalette::Text, Qt::black);
    }
    parts.memo->setPalette(memoPal);
    parts.memo->setFrameShape(QFrame::NoFrame);
    QFont memoFont(QStringLiteral("DejaVu Sans Mono"));
    memoFont.setPixelSize(12);
    parts.memo->setFont(memoFont);

    auto* bottom = new QWidget(window);
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->addStretch();
    parts.ok = new QPushButton(QStringLiteral("&Ok"), bottom);
    parts.ok->setDefault(true);
    bottomLayout->addWidget(parts.ok);

    auto* top = new QHBoxLayout;
    top->addWidget(parts.icon);
    top->addWidget(parts.name, 1);
    auto* layout = new QVBoxLayout(window);
    layout->addLayout(top);
    layout->addWidget(parts.memo, 1);
    layout->addWidget(bottom);
    return parts;
}

void CentreOnMainWindow(QWidget* window)
{
    QRect area;
    if (QWidget* owner = window->parentWidget())
        area = owner->window()->frameGeometry();
    else if (QScreen* screen = window->screen())
        area = screen->availableGeometry();
    if (area.isValid())
        window->move(area.center() - window->rect().center());
}

PathStatistics ComputePathStatistics(TPath& path, int units, int dpi)
{
    RecomputeDistances(&path);
    PathStatistics s;
    s.pith = path.Pith;
    s.indexCount = int(path.ObjectList.size());
    std::vector<double> widths;
    for (const auto& index : path.ObjectList)
        for (const auto& m : index->ObjectList)
            widths.push_back(PixelsToUnit(m->distance, units, dpi));
    s.measurementCount = int(widths.size());
    if (widths.empty())
        return s;
    s.minimum = 1000000.0;
    s.maximum = -1000000.0;
    for (double w : widths) {
        s.sum += w;
        s.minimum = std::min(s.minimum, w);
        s.maximum = std::max(s.maximum, w);
    }
    const double n = double(widths.size());
    s.mean = s.sum / n;
    double squares = 0.0;
    for (double w : widths)
        squares += (w - s.mean) * (w - s.mean);
    s.stdDev = std::sqrt(squares / n);
    return s;
}

QString FormatStatistic(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    // Rounded to six significant digits first, as the two decimals may show more than six.
    const double rounded = QString::number(value, 'g', 6).toDouble();
    if (std::fabs(rounded) >= 1e6)
        return QString::number(rounded, 'E', 5);
    QString text = QString::number(rounded, 'f', 2);
    if (text == QStringLiteral("-0.00"))
        text.remove(0, 1);
    return text;
}

QString OverallLengthText(double sum, int units)
{
    struct Larger {
        double divisor;
        const char* suffix;
    };
    static constexpr Larger table[] = {{100, " m"},  {1000, " m"}, {100, " cm"},   {100, " mm"},
                                       {12, " ft"},  {120, " ft"}, {100, " inch"}, {1, " px"}};
    if (units < 0 || units > 7)
        return FormatStatistic(sum);
    return FormatStatistic(sum / table[units].divisor) + QString::fromLatin1(table[units].suffix);
}

QString UnitText(int units)
{
    static const char* names[] = {"cm",   "mm",          "1/10th mm",    "1/100th mm",
                                  "inch", "1/10th inch", "1/100th inch", "pixels"};
    return units >= 0 && units <= 7 ? QString::fromLatin1(names[units]) : QString();
}

QStringList PathInfoLines(const PathStatistics& s, int units)
{
    QStringList lines;
    lines << QString::number(s.indexCount) + QStringLiteral(" index points");
    lines << QString::number(s.measurementCount) + QStringLiteral(" measuring points");
    if (s.measurementCount > 0) {
        const QString unit = QLatin1Char(' ') + UnitText(units);
        lines << QString();
        lines << QStringLiteral("Overall length:  ") + OverallLengthText(s.sum, units);
        lines << QStringLiteral("Mean ring width: ") + FormatStatistic(s.mean) + unit;
        lines << QStringLiteral("Std. Dev.: ") + FormatStatistic(s.stdDev) + unit;
        lines << QStringLiteral("Min ring width: ") + FormatStatistic(s.minimum) + unit;
        lines << QStringLiteral("Max ring width: ") + FormatStatistic(s.maximum) + unit;
    }
    lines << (s.pith ? QStringLiteral("Pith flag SET") : QStringLiteral("Pith flag NOT SET"));
    return lines;
}

TF_PathInfo::TF_PathInfo(QWidget* parent)
    : QDialog(parent, Qt::Tool)
{
    setWindowTitle(QStringLiteral("Information"));
    const InfoWindowParts parts = BuildInfoWindow(this, MeasurementTreeModel::IL(10));
    I_Icon = parts.icon;
    L_PathName = parts.name;
    M_PathInfo = parts.memo;
    B_Ok = parts.ok;
    connect(B_Ok, &QPushButton::clicked, this, &TF_PathInfo::B_OkClick);
}

void TF_PathInfo::UpdateInfo()
{
    L_PathName->clear();
    M_PathInfo->clear();
    TPath* path = Path.get();
    if (!path)
        return;
    L_PathName->setText(path->Name);
    const PathStatistics s = ComputePathStatistics(*path, SettingUnits, DPI);
    M_PathInfo->setPlainText(PathInfoLines(s, SettingUnits).join(QLatin1Char('\n')));
}

void TF_PathInfo::FormShow()
{
    CentreOnMainWindow(this);
    UpdateInfo();
}

void TF_PathInfo::B_OkClick()
{
    reject();
}

void TF_PathInfo::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}
