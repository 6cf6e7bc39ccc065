// The resample dialog of the "Resample" command: the new size of the window's first image in
// pixels or in percent of the present size, the aspect ratio kept when asked. The command reads
// resultX and resultY after OK.
#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TF_SMDI;
class TFastDIB;

class TF_Resample : public QDialog {
    Q_OBJECT
public:
    explicit TF_Resample(QWidget* parent = nullptr);

    QRadioButton* RB_Pixel = nullptr;
    QGroupBox* GB_PixelSize = nullptr;
    QSpinBox* SE_PixelWidth = nullptr;  // 1..99999
    QSpinBox* SE_PixelHeight = nullptr; // 1..99999
    QRadioButton* RB_Percent = nullptr;
    QGroupBox* GB_Percent = nullptr;
    QSpinBox* SE_PercentX = nullptr; // 1..999
    QSpinBox* SE_PercentY = nullptr; // 1..999
    QCheckBox* CB_Keep = nullptr;
    QPushButton* B_Ok = nullptr;
    QPushButton* B_Cancel = nullptr;

    double ratio = 1.0; // width / height of the image
    QPointer<TF_SMDI> f; // the window whose first image is resampled; set before showing
    TFastDIB* FD = nullptr; // the first image's full copy, taken when shown
    int resultX = 0;
    int resultY = 0;

    void FormShow();
    void B_OkClick();
    void SE_PixelWidthChange();
    void SE_PixelHeightChange();
    void SE_PercentXChange();
    void SE_PercentYChange();
    void RB_PixelClick(); // shared by both radio buttons

protected:
    void showEvent(QShowEvent* event) override;

private:
    int imageWidth() const;
    int imageHeight() const;

    bool Updating = false;  // the pixel fields are being set by the other one
    bool Updating2 = false; // the percent fields likewise
};

// Created at start-up, or by the first "Resample".
extern QPointer<TF_Resample> F_Resample;
