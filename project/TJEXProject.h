// The project record of one image window: name, file, notes and the unsaved-changes flag.
#pragma once

#include <QString>

class TJEXProject {
public:
    QString Name;     // on import of an older file, that file's full path
    QString Filename; // empty until the project is first saved
    QString Notes;    // rich text (RTF) of the notes editor
    bool Changed = false;
};
