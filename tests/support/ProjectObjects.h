// Project objects put straight into a window's or a path's lists, linked to their owners the way
// reading a project links them, for tests that lay out a project by hand.
#pragma once

#include <QPoint>

class TF_SMDI;
class TIndex;
class TMeasurement;
class TPath;
class TStitchObject;

namespace testhelpers {

// An image of the given place and size at the end of the window's list; no pixels yet.
TStitchObject* addImage(TF_SMDI& w, int x = 0, int y = 0, int width = 100, int height = 80);

// An index point at the end of the path.
TIndex* addIndex(TPath& path, QPoint pos);

// A measurement point at the end of the index point's list, in the index point's path.
TMeasurement* addMeasurement(TIndex& index, QPoint pos);

} // namespace testhelpers
