// Export record of one measurement point; a list of them belongs to the caller that asked for it.
#pragma once

#include <QString>

class TMeasurementData {
public:
    int Distance = 0;     // whole pixels
    int UnitDistance = 0; // in the unit of SettingUnits, rounded
    QString Info;         // the point's comment
};
