// Picture controls and capture formats of a video device, as plain Qt dialogs.
#include "acquisition/VideoDialogs.h"

#include "acquisition/VSample.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <vector>

namespace {

const char* const procAmpNames[VideoProcAmpCount] = {
    "Brightness", "Contrast", "Hue", "Saturation", "Sharpness", "Gamma", "Color enable", "White balance",
    "Backlight compensation", "Gain",
};

struct ControlRow {
    TVideoProcAmp property;
    qint32 value;  // as found
    qint32 flags;  // as found
    qint32 step;
    QSlider* slider;
    QCheckBox* autoBox; // none when the control cannot be automatic
};

} // namespace

bool ShowVideoProcAmpDialog(QWidget* owner, TVideoSample& graph, const QString& caption)
{
    QDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("VideoProcAmpDialog"));
    dialog.setWindowTitle(caption);
    auto* grid = new QGridLayout;
    std::vector<ControlRow> rows;
    for (int i = 0; i < VideoProcAmpCount; ++i) {
        const auto property = TVideoProcAmp(i);
        qint32 min = 0, max = 0, step = 0, def = 0, flags = 0, actual = 0;
        if (graph.GetVideoPropAmpEx(property, min, max, step, def, flags, actual) != S_OK)
            continue;
        TVideoProcAmpRange range;
        const qint32 supported = graph.GetVideoPropAmpRange(property, range) == S_OK ? range.Flags : VideoProcAmpFlagsManual;
        const int row = int(rows.size());
        auto* label = new QLabel(QString::fromLatin1(procAmpNames[i]));
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setObjectName(QStringLiteral("Slider_%1").arg(i));
        slider->setRange(min, max);
        slider->setSingleStep(qMax(step, 1));
        slider->setPageStep(qMax(step, 1) * 10);
        slider->setValue(actual);
        auto* valueLabel = new QLabel(QString::number(actual));
        valueLabel->setMinimumWidth(48);
        auto* reset = new QPushButton(QStringLiteral("Default"));
        QObject::connect(reset, &QPushButton::clicked, slider, [slider, def] { slider->setValue(def); });
        grid->addWidget(label, row, 0);
        grid->addWidget(slider, row, 1);
        grid->addWidget(valueLabel, row, 2);
        grid->addWidget(reset, row, 3);
        QCheckBox* autoBox = nullptr;
        if (supported & VideoProcAmpFlagsAuto) {
            autoBox = new QCheckBox(QStringLiteral("Auto"));
            autoBox->setChecked(flags == VideoProcAmpFlagsAuto);
            slider->setEnabled(!autoBox->isChecked());
            grid->addWidget(autoBox, row, 4);
        }
        rows.push_back({property, actual, flags, step, slider, autoBox});
        auto apply = [&graph, property, slider, autoBox, valueLabel] {
            const bool automatic = autoBox && autoBox->isChecked();
            slider->setEnabled(!automatic);
            valueLabel->setText(QString::number(slider->value()));
            graph.SetVideoPropAmpEx(property, automatic ? VideoProcAmpFlagsAuto : VideoProcAmpFlagsManual, slider->value());
        };
        QObject::connect(slider, &QSlider::valueChanged, &dialog, apply);
        if (autoBox)
            QObject::connect(autoBox, &QCheckBox::toggled, &dialog, apply);
    }
    auto* layout = new QVBoxLayout(&dialog);
    if (rows.empty())
        layout->addWidget(new QLabel(QStringLiteral("This video device has no picture controls.")));
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() == QDialog::Accepted)
        return true;
    for (const ControlRow& r : rows)
        graph.SetVideoPropAmpEx(r.property, r.flags, r.value);
    return false;
}

int ShowVideoFormatDialog(QWidget* owner, const TVideoSample& graph)
{
    QStringList sizes;
    graph.GetListOfVideoSizes(sizes);
    if (sizes.isEmpty())
        return -1;
    QDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("VideoFormatDialog"));
    dialog.setWindowTitle(QStringLiteral("Video format"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget;
    list->setObjectName(QStringLiteral("FormatList"));
    list->addItems(sizes);
    // The running format is the one whose size the stream reports.
    qint32 w = 0, h = 0;
    graph.GetVideoSize(w, h);
    const QList<TFormatInfo>& formats = graph.FormatArr();
    for (int i = 0; i < formats.size(); ++i)
        if (formats[i].Width == w && formats[i].Height == h) {
            list->setCurrentRow(i);
            break;
        }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    return list->currentRow();
}
