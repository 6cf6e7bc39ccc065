// Shared routines that look across the open image windows and their paths.
// Image windows are searched in the main window's order: the active one first, then down the stack.
#pragma once

#include "project/Helpers.h"

#include <QString>

#include <memory>
#include <vector>

class TF_SMDI;
class TMeasurementData;
class TPath;

// A path of the window has this name, compared without regard to letter case.
bool PathNameExists(const TF_SMDI* window, const QString& name);

// The first image window whose project file is this file: the same file after following links
// and relative parts, with letter case significant. None when no window holds it.
TF_SMDI* FindProjectWindow(const QString& fileName);

// The first path, over the image windows and their paths in order, whose GUID equals the text
// exactly; an empty text finds none. True when one was found; both results are none otherwise.
bool FindPathByGUID(const QString& guid, TF_SMDI*& window, TPath*& path);

// CollectMeasurementData (project/Helpers.h) in the unit of SettingUnits with the resolution of the
// image window that holds the path, so a path's widths never depend on which window the tree
// happens to show. A path in no window is converted as the measurement tree converts (its bound
// window).
int CollectMeasurementData(const TPath& path, std::vector<std::unique_ptr<TMeasurementData>>& list);
