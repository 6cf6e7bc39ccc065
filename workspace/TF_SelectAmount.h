// The amount dialog of "Sharpen" and "Soften": how many times the filter runs, 1 to 10. The
// position stays from one use to the next.
#pragma once

#include <QDialog>
#include <QPointer>

class QPushButton;
class TThinTrackBar;

class TF_SelectAmount : public QDialog {
    Q_OBJECT
public:
    explicit TF_SelectAmount(QWidget* parent = nullptr);

    TThinTrackBar* TB_Amount = nullptr; // 1 ("Faint") .. 10 ("Strong")
    QPushButton* B_Apply = nullptr;     // OK
    QPushButton* B_Cancel = nullptr;    // the default button

protected:
    void showEvent(QShowEvent* event) override;
};

// Created at start-up, or by the first "Sharpen" or "Soften".
extern QPointer<TF_SelectAmount> F_SelectAmount;
