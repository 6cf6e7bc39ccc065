// The brush-set file: BrushSetList kept as one JSON object per line ("type", "id", "fields" with
// the preset's fields in declaration order) in the file "BrushSets" of the data folder.
#pragma once

#include <QString>

#include <memory>

class TBrushSet;

// "BrushSets" in DataFolder.
QString BrushSetFileName();

// Appends the file's presets to BrushSetList; a preset whose "Current" is true becomes
// CurrentBrushSet (with several, the last). Empty lines are passed over; a line that does not
// describe a brush set is skipped with a note in the log, and a size, cursor or colour outside
// the range of its setting is repaired as the settings store does (with a note). The drawing
// settings are not touched.
// 0 read; -1 the file does not exist or cannot be read, the list is left as it was.
int LoadBrushSets(const QString& FileName);

// Writes BrushSetList in order, one line per preset, replacing the file atomically; each preset's
// Current becomes whether it is CurrentBrushSet. 0 written; -1 failed (logged), the old file stays.
int SaveBrushSets(const QString& FileName);

// Copies a preset into the drawing settings it mirrors (colours, sizes, widths, cursors, the
// right-angle scaling and the four display toggles). BName and Current stay out of it.
void ApplyBrushSetToSettings(const TBrushSet& set);

// One preset as its line of the file. Characters outside ASCII are written as \u escapes, so any
// name survives the file's code page.
QString BrushSetToJson(const TBrushSet& set);
// The preset a line describes; none for anything else, with the reason in `why` when given.
// Absent fields keep their zero values; a field of the wrong kind rejects the line.
std::unique_ptr<TBrushSet> BrushSetFromJson(const QString& line, QString* why = nullptr);
