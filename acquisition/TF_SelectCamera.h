// The camera selection wizard: the user picks the picture source of the image series, an EOS
// camera (scanned, connected and described with model, owner, body ID and power supply) or a
// video capture device. It also puts the chosen source to work for the image-series window and
// stops it again.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>

#include <vector>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class TPageControlEx;

class TF_SelectCamera : public QDialog {
    Q_OBJECT
public:
    // Creates the image-series window too, owned by the wizard, into F_CreateSeries.
    explicit TF_SelectCamera(QWidget* parent = nullptr);
    ~TF_SelectCamera() override;

    int ActiveCameraType = 0; // 1 EOS camera, 2 the second family (never offered), 3 video, -1 back at the start
    int Tag = 0;              // 1: scan for cameras when the camera page is entered next

    TPageControlEx* PCE = nullptr;
    QWidget* TS_1 = nullptr; // camera type
    QWidget* TS_2 = nullptr; // EOS cameras
    QWidget* TS_3 = nullptr; // the second family, without function
    QWidget* TS_4 = nullptr; // video devices

    QRadioButton* RB_Canon = nullptr;
    QRadioButton* RB_IS = nullptr;
    QRadioButton* RB_VfW = nullptr;
    QLabel* I_Canon = nullptr;
    QLabel* I_IS = nullptr;
    QLabel* I_VfW = nullptr;
    QPushButton* BB_Next = nullptr; // "Continue"

    QComboBox* CB_CanonDevices = nullptr;
    QPushButton* BB_CanonScan = nullptr;
    QPlainTextEdit* M_CanonInfo = nullptr;
    QLabel* L_CanonPowerSource = nullptr;
    QProgressBar* PB_CanonBattery = nullptr;
    QPushButton* BB_CanonConnect = nullptr;
    QPushButton* BB_CanonBack = nullptr;

    QComboBox* CB_ISDevices = nullptr;
    QComboBox* CB_ISFormat = nullptr;
    QComboBox* CB_ISFPS = nullptr;
    QPushButton* BB_ISScan = nullptr;
    QPushButton* BB_ISConnect = nullptr;
    QPushButton* BB_ISBack = nullptr;

    QComboBox* CB_VFWDevices = nullptr;
    QPushButton* BB_VFWScan = nullptr;
    QPushButton* BB_VFWConnect = nullptr;
    QPushButton* BB_VfWBack = nullptr;

    // 0 EOS camera, 1 the second family, 2 video, 3 no source; 64 x 64.
    std::vector<QIcon> IL_CameraTypes;

    // ---- handlers ----
    void FormShow();
    void BitBtn2Click(); // "Continue"
    void CB_CanonDevicesChange();
    void BB_CanonScanClick();
    void BB_CanonConnectClick();
    void BB_CanonBackClick();
    void BB_VFWScanClick();
    void BB_VFWConnectClick();
    void BB_VfWBackClick();

    // ---- methods ----
    // Connects entry `index` of the camera list and describes it; -1 clears the description. A
    // camera failure is reported; the Connect button follows the list in every case.
    void CanonGetCameraInfo(int index);
    // Lists the EOS cameras; none found is reported. False when the scan failed or found none.
    bool Canon_Scan();
    // Remote mode and live view of the connected camera for the series window.
    bool Canon_Connect();
    void Canon_Disconnect();
    void VFW_Scan();
    void VfW_Connect();
    void VfW_Disconnect();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createTypePage();
    void createCanonPage();
    void createISPage();
    void createVfWPage();
};

extern QPointer<TF_SelectCamera> F_SelectCamera;
