// The project record of one image window: name, file, notes and the unsaved-changes flag.
#pragma once

#include <QString>

class TJEXProject {
public:
    QString Name;     // on import of an older file, that file's full path
    QString Filename; // empty until the project is first saved; never a bare name, which would be
                      // a file in whatever the working folder happens to be
    QString Notes;    // rich text (RTF) of the notes editor
    bool Changed = false;

    // What windows and lists show for the project: its file, or its name while it has none.
    QString Caption() const { return Filename.isEmpty() ? Name : Filename; }
};
