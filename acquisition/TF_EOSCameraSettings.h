// The camera settings dialog: eight release parameters of the connected EOS camera as lists,
// written back to the camera with "Set".
#pragma once

#include "acquisition/CanonEOS_Varia.h"

#include <QDialog>
#include <QPointer>

class QComboBox;
class QPushButton;
class TCamRemote;

class TF_EOSCameraSettings : public QDialog {
    Q_OBJECT
public:
    explicit TF_EOSCameraSettings(QWidget* parent = nullptr);

    TCamRemote* CamRemote = nullptr;
    RemoteReleaseParametersType inParams; // as read when shown; "Set" changes eight fields
    CameraRemoteParamType mCameraRemoteParam;

    QComboBox* CB_ImageSize = nullptr;
    QComboBox* CB_Quality = nullptr;
    QComboBox* CB_Contrast = nullptr;
    QComboBox* CB_Sharpness = nullptr;
    QComboBox* CB_ColorGain = nullptr;
    QComboBox* CB_ExposureTime = nullptr;
    QComboBox* CB_ISO = nullptr;
    QComboBox* CB_Flash = nullptr;
    QPushButton* B_Set = nullptr; // "&Set "

    // Reads the camera's parameters and fills the lists; a failure leaves them empty (reported).
    void FormShow();
    void B_SetClick();
    // Offers every value of each parameter and selects the one in inParams (none for not used).
    void FillParameterLists();

protected:
    void showEvent(QShowEvent* event) override;
};

extern QPointer<TF_EOSCameraSettings> F_EOSCameraSettings;
