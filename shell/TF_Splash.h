// The splash window: shown while the program starts and faded out once the main window has
// finished its first showing; the same window serves as the About box.
#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TF_Splash : public QDialog {
    Q_OBJECT
public:
    static constexpr int ProgressMax = 300;
    static constexpr int ProgressStep = 10;
    static constexpr int FadeInterval = 20; // ms between two fade steps
    static constexpr int FadeStep = 10;     // alpha taken away per step

    explicit TF_Splash(QWidget* parent = nullptr);

    // 0: splash at start-up (progress bar, no button); any other value: About box (button, no bar).
    int Tag = 0;

    QLabel* L_Product = nullptr;
    QLabel* L_Rights = nullptr;
    QLabel* L_Version = nullptr;
    QProgressBar* PB = nullptr;
    QPushButton* B_Ok = nullptr;
    QTimer* Timer1 = nullptr; // the fade; off until the start-up is complete or Ok is pressed

    // 255 opaque; the window's opacity follows it.
    int AlphaBlendValue() const { return m_alpha; }
    void setAlphaBlendValue(int value);

    // Prepares the window for its mode: fade stopped, opaque, bar or button, current version.
    void FormShow();
    void B_OkClick();
    // One fade step: 10 less alpha; below 10 the timer stops and the window closes.
    void Timer1Timer();

    // "Version " + major + "." + minor + "." + build.
    static QString VersionText();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int m_alpha = 255;
};

// The one splash window, made first at start-up and kept until the program ends; none before.
extern QPointer<TF_Splash> F_Splash;

// Advances the splash bar by one step (when there is a splash window) and processes pending
// events, so the splash repaints between two steps of the start-up.
void StepSplash();
