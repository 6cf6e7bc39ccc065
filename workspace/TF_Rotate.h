// The rotate dialog of the "Rotate" command, made for each use: a quarter, half or three-quarter
// turn or a free angle, clockwise or not. The command reads the choice after OK.
#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class TFloatEdit;

class TF_Rotate : public QDialog {
    Q_OBJECT
public:
    explicit TF_Rotate(QWidget* parent = nullptr);

    QGroupBox* GB_Angle = nullptr;
    QRadioButton* RB_90 = nullptr; // selected at start
    QRadioButton* RB_180 = nullptr;
    QRadioButton* RB_270 = nullptr;
    QRadioButton* RB_Free = nullptr;
    TFloatEdit* FE_Angle = nullptr; // degrees, 0..359.9999, two decimals
    QCheckBox* CB_Clockwise = nullptr; // ticked at start
    QPushButton* B_Ok = nullptr;
    QPushButton* B_Cancel = nullptr;

    void FE_AngleEnter();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
