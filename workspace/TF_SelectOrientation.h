// The orientation dialog: asked when several images are loaded at once, it says in which
// direction they are placed one after the other. Its choice stays from one use to the next.
#pragma once

#include <QDialog>
#include <QPointer>

class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;

class TF_SelectOrientation : public QDialog {
    Q_OBJECT
public:
    explicit TF_SelectOrientation(QWidget* parent = nullptr);

    QRadioButton* RadioButton1 = nullptr; // "Left to Right", selected at start
    QRadioButton* RadioButton2 = nullptr; // "Right to Left"
    QRadioButton* RadioButton3 = nullptr; // "Top to Bottom"
    QRadioButton* RadioButton4 = nullptr; // "Bottom to Top"
    QFrame* P_Preview = nullptr;
    QLabel* I_LR = nullptr; // one arrangement sketch per button; only the selected one shows
    QLabel* I_RL = nullptr;
    QLabel* I_TB = nullptr;
    QLabel* I_BT = nullptr;
    QPushButton* B_Ok = nullptr; // "&Ok"; there is no Cancel

    void FormShow();
    void RadioButton1Click(); // shared by the four buttons

protected:
    void showEvent(QShowEvent* event) override;
};

// Created at start-up, or by the first list of images that needs it.
extern QPointer<TF_SelectOrientation> F_SelectOrientation;
