#include "acquisition/TF_EOSCameraSettings.h"

#include "TCamRemote/Sources/CamRemote.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

QPointer<TF_EOSCameraSettings> F_EOSCameraSettings;

namespace {

// Every value from 1 to the last of the enumeration is offered, whatever the camera reported.
template <typename E>
void fill(QComboBox* list, std::vector<E>& values, const QStringList& texts, E current)
{
    values.clear();
    for (int v = 1; v < CamEnumCount<E>; ++v)
        values.push_back(E(v));
    list->setEnabled(false);
    list->clear();
    for (E v : values) {
        list->setEnabled(true);
        list->addItem(texts.value(int(v)));
    }
    list->setCurrentIndex(-1);
    for (size_t i = 0; i < values.size(); ++i)
        if (values[i] == current && current != E(0))
            list->setCurrentIndex(int(i));
}

template <typename E>
E chosen(const QComboBox* list, const std::vector<E>& values)
{
    const int i = list->currentIndex();
    if (!list->isEnabled() || i < 0 || size_t(i) >= values.size())
        return E(0); // not used
    return values[size_t(i)];
}

} // namespace

TF_EOSCameraSettings::TF_EOSCameraSettings(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Camera settings"));
    auto list = [this] {
        auto* c = new QComboBox(this);
        c->setMinimumWidth(120);
        return c;
    };
    auto* image = new QGroupBox(QStringLiteral("Image settings"), this);
    auto* il = new QFormLayout(image);
    il->addRow(QStringLiteral("Size"), CB_ImageSize = list());
    il->addRow(QStringLiteral("Quality"), CB_Quality = list());
    il->addRow(QStringLiteral("Contrast"), CB_Contrast = list());
    il->addRow(QStringLiteral("Sharpness"), CB_Sharpness = list());
    il->addRow(QStringLiteral("Color gain"), CB_ColorGain = list());
    auto* camera = new QGroupBox(QStringLiteral("Camera parameters"), this);
    auto* cl = new QFormLayout(camera);
    cl->addRow(QStringLiteral("Exposure time"), CB_ExposureTime = list());
    cl->addRow(QStringLiteral("ISO"), CB_ISO = list());
    cl->addRow(QStringLiteral("Flash"), CB_Flash = list());
    B_Set = new QPushButton(QStringLiteral("&Set "), this);
    B_Set->setAutoDefault(false);
    connect(B_Set, &QPushButton::clicked, this, &TF_EOSCameraSettings::B_SetClick);

    auto* layout = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    groups->addWidget(image);
    groups->addWidget(camera);
    layout->addLayout(groups);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(B_Set);
    layout->addLayout(row);
}

void TF_EOSCameraSettings::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TF_EOSCameraSettings::FormShow()
{
    if (!CamRemote)
        return;
    if (!CameraCall([this] { inParams = CamRemote->RemoteGetRemoteParams(); }))
        return;
    FillParameterLists();
}

void TF_EOSCameraSettings::FillParameterLists()
{
    fill(CB_ImageSize, mCameraRemoteParam.ImageSize, ImageSizeTexts(), inParams.ImageSize);
    fill(CB_Quality, mCameraRemoteParam.CompQuality, CompQualityTexts(), inParams.CompQuality);
    fill(CB_ExposureTime, mCameraRemoteParam.Tv, TvTexts(), inParams.Tv);
    fill(CB_ISO, mCameraRemoteParam.ISO, ISOTexts(), inParams.ISO);
    fill(CB_Flash, mCameraRemoteParam.StrobeSetting, FlashTexts(), inParams.StrobeSetting);
    fill(CB_Contrast, mCameraRemoteParam.Contrast, LevelTexts(), inParams.Contrast);
    fill(CB_ColorGain, mCameraRemoteParam.ColorGain, LevelTexts(), inParams.ColorGain);
    fill(CB_Sharpness, mCameraRemoteParam.Sharpness, LevelTexts(), inParams.Sharpness);
}

void TF_EOSCameraSettings::B_SetClick()
{
    inParams.ImageSize = chosen(CB_ImageSize, mCameraRemoteParam.ImageSize);
    inParams.Tv = chosen(CB_ExposureTime, mCameraRemoteParam.Tv);
    inParams.ISO = chosen(CB_ISO, mCameraRemoteParam.ISO);
    inParams.StrobeSetting = chosen(CB_Flash, mCameraRemoteParam.StrobeSetting);
    inParams.CompQuality = chosen(CB_Quality, mCameraRemoteParam.CompQuality);
    inParams.Contrast = chosen(CB_Contrast, mCameraRemoteParam.Contrast);
    inParams.ColorGain = chosen(CB_ColorGain, mCameraRemoteParam.ColorGain);
    inParams.Sharpness = chosen(CB_Sharpness, mCameraRemoteParam.Sharpness);
    if (CamRemote)
        CameraCall([this] { CamRemote->RemoteSetRemoteParams(inParams); });
}
