// A horizontal track bar with the trackbar defaults the forms were laid out with (range 0 to 10,
// a tick at every value, page step 2) and a plain channel without a selection range.
#pragma once

#include <QSlider>

class TThinTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TThinTrackBar(QWidget* parent = nullptr);
};
