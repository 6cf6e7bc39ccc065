// The progress box: two text lines and a bar that a long loop on the GUI thread steps.
// The box runs no work; its Cancel button only raises the flag in Tag for the loop to poll.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

class TF_Progress : public QWidget {
    Q_OBJECT
public:
    static constexpr int TagCancelled = 255;

    explicit TF_Progress(QWidget* parent = nullptr);

    // Advances PB by one and processes pending events: this is where the program repaints
    // during the loop and where a Cancel click arrives. Anything the loop works on may be
    // closed meanwhile, so callers guard it with a QPointer.
    void DoStep();

    QLabel* I_JEX = nullptr;   // product icon, 32 x 32
    QLabel* L_1 = nullptr;     // the operation, bold
    QLabel* L_2 = nullptr;     // the current item
    QProgressBar* PB = nullptr;
    QPushButton* B_Cancel = nullptr;

    int Tag = 0; // 0 running, 255 Cancel pressed

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void B_CancelClick();
    void placeOverMainWindow();
};

// Created at start-up, lives for the whole run.
extern QPointer<TF_Progress> F_Progress;
