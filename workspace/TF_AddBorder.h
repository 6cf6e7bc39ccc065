// The add-border dialog of the "Add Border" command: four border widths, or one for every side,
// and the border colour. The command reads the controls after OK; the values stay for next time.
#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QPushButton;
class QSpinBox;
class TColorPickerButton;

class TF_AddBorder : public QDialog {
    Q_OBJECT
public:
    explicit TF_AddBorder(QWidget* parent = nullptr);

    QSpinBox* SE_Left = nullptr; // 0..9999 pixels each
    QSpinBox* SE_Top = nullptr;
    QSpinBox* SE_Right = nullptr;
    QSpinBox* SE_Bottom = nullptr;
    QCheckBox* CB_Symmetric = nullptr; // every side takes the left width
    TColorPickerButton* CPB = nullptr; // the border colour, $00BBGGRR
    QPushButton* B_Ok = nullptr;
    QPushButton* B_Cancel = nullptr;

    void CB_SymmetricClick();
    void SE_LeftChange();

protected:
    void showEvent(QShowEvent* event) override;
};

// Created at start-up, or by the first "Add Border".
extern QPointer<TF_AddBorder> F_AddBorder;
