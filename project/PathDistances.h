// Ring widths of a path and their conversion into the chosen length unit. Pure routines: painting,
// the measurement tree, the project reader and the exports share them, so widths never go stale.
#pragma once

class TPath;

// Sets every point's `distance` of the path from the positions, as painting does: the first index
// point 0; a later index point the straight-line distance to the last point of the previous segment
// (the previous index point's last measurement point, or that index point when it has none); a
// measurement point the distance to the point before it in path order. Nothing for a null path.
void RecomputeDistances(TPath* path);

// A pixel distance in the unit `units` (0 cm, 1 mm, 2 1/10 mm, 3 1/100 mm, 4 inch, 5 1/10 inch,
// 6 1/100 inch, 7 pixels) at `dpi` dots per inch, divided by the resolution first and then scaled.
// A resolution of 0 or less has no meaning and gives 0 for every unit but pixels; a unit outside
// 0 to 7 leaves the pixel distance unchanged.
double PixelsToUnit(double pixels, int units, int dpi);
