// A named drawing-style preset; each field but BName and Current mirrors the settings variable
// of the same name (CadColor mirrors SettingCADColor).
#pragma once

#include <QString>

class TBrushSet {
public:
    QString BName;
    // Colours, $00BBGGRR.
    int CadColor = 0;
    int MColor = 0;
    int IColor = 0;
    int ILColor = 0;
    int MLColor = 0;
    int MSColor = 0;
    int ISColor = 0;
    int RALColor = 0;
    int ISize = 0;
    int MSize = 0;
    int RALLength = 0;
    int ILWidth = 0;
    int MWidth = 0;
    int RALWidth = 0;
    int MCursor = 0;
    int ICursor = 0;
    int SCursor = 0;
    bool ScaleRAL = false;
    bool LVisible = false;
    bool RALVisible = false;
    bool TVisible = false;
    bool OVisible = false;
    bool Current = false; // the current preset in the brush-set file
};
