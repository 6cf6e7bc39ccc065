// Repaint monitor.
#include "workspace/TF_Monitor.h"

#include "platform/Dialogs.h"

#include <QLabel>

QPointer<TF_Monitor> F_Monitor;

TF_Monitor::TF_Monitor(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("F_Monitor"));
    giveWayToQuestions(this);
    resize(254, 169);
    L_SmoothDraw = new QLabel(QStringLiteral("***"), this);
    L_SmoothDraw->setGeometry(8, 8, 238, 16);
    L_FillMeasurements = new QLabel(QStringLiteral("***"), this);
    L_FillMeasurements->setGeometry(8, 32, 238, 16);
}

void TF_Monitor::SmoothDraw()
{
    ++iSmoothDraw;
    L_SmoothDraw->setText(QStringLiteral("SmoothDraw") + QString::number(iSmoothDraw));
}
