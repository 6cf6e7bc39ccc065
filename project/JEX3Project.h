// Older project files (.jex): every road that opens or writes one comes through these two routines,
// the menus, drops, the command line, the recent files, RAXO's OPEN, saving with the JEX3 filter
// and the reload button. Until the format is read and written, each tells the user so in a box.
#pragma once

#include <QString>

class TF_SMDI;

// Reads an older project into a new image window. Returns that window, or none when nothing was
// opened (the user has been told why when `Interactive`); no window, recent-file entry or caption
// then bears the file's name.
TF_SMDI* ImportJEX3Project(const QString& AFilename, bool Interactive);

// Writes the window's first image and first path as an older project. 0 written; -1 not written
// (a box has told the user why), an existing file kept and the window's file name unchanged.
int ExportJEX3Project(TF_SMDI* window, const QString& AFilename);
