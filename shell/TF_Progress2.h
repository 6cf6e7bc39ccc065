// The busy box for work without countable steps (one text line, an animation, Cancel), and the
// small spinning animation it shows. The box is created per use; Cancel only sets Tag to -1.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

// A 32 x 32 ring of dots turning while running. It advances on a timer, so it moves only
// while the GUI thread processes events.
class BusyAnimation : public QWidget {
    Q_OBJECT
public:
    explicit BusyAnimation(QWidget* parent = nullptr);

    void start();
    void stop();
    bool isRunning() const;
    int frame() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* m_timer = nullptr;
    int m_frame = 0;
};

class TF_Progress2 : public QWidget {
    Q_OBJECT
public:
    static constexpr int TagCancelled = -1;

    explicit TF_Progress2(QWidget* parent = nullptr);

    BusyAnimation* GIF = nullptr;
    QLabel* L_Info = nullptr;
    QPushButton* Button1 = nullptr;

    int Tag = 0; // 0 running, -1 Cancel pressed; callers set it back to 0 to go on

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Button1Click();
};

// The box of the operation running now; cleared by itself when that box is deleted.
extern QPointer<TF_Progress2> F_Progress2;
