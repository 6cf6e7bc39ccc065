#include "shell/TThinTrackBar.h"

TThinTrackBar::TThinTrackBar(QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
{
    setRange(0, 10);
    setSingleStep(1);
    setPageStep(2);
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(1);
}
