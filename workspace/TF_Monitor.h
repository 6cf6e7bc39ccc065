// A diagnostic window that counts the image windows' repaints. No command shows it.
#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

class TF_Monitor : public QWidget {
    Q_OBJECT
public:
    explicit TF_Monitor(QWidget* parent = nullptr);

    QLabel* L_SmoothDraw = nullptr;
    QLabel* L_FillMeasurements = nullptr;
    int iSmoothDraw = 0;
    int iFillMeasurements = 0;

    // One repaint of any image window.
    void SmoothDraw();
};

extern QPointer<TF_Monitor> F_Monitor;
