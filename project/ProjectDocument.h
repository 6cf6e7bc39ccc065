// The project of one image window apart from any view: its images, paths, draw objects, control
// points and anchor line, the project record, the resolution, where new points go and the view
// state the project file keeps. No widget comes near it, so readers, writers and tests use it bare.
#pragma once

#include "project/TJEXObject.h"

#include <QObject>

#include <memory>
#include <vector>

class TControlPoint;
class TJEXProject;
class TStitchObject;

class ProjectDocument : public QObject {
    Q_OBJECT
public:
    explicit ProjectDocument(QObject* parent = nullptr);
    ~ProjectDocument() override;

    // Declared in the order the window held them: a list is freed before the lists it points into.
    std::vector<std::unique_ptr<TStitchObject>> StitchList; // images, in drawing order
    std::vector<std::unique_ptr<TControlPoint>> CPList;
    std::vector<std::unique_ptr<TPath>> PathList;
    std::vector<std::unique_ptr<TDrawObject>> DrawList; // arrows and rectangles
    std::unique_ptr<TAnchorLine> AnchorLine;            // never null
    ObjectRef<TPath> CurrentPath;   // where new points go; reads as null once the path is freed
    ObjectRef<TIndex> CurrentIndex; // the index point new measurements follow; null once freed
    std::unique_ptr<TJEXProject> Project; // never null
    int DPI = 1200; // resolution of the project's images, dots per inch

    // What the project file keeps of the view: zoom (1..999, 10 is 1:1) and scroll position as the
    // window's bars hold it. The window mirrors them here; the document gives them no meaning.
    int Zoom = 10;
    int ScrollX = 0;
    int ScrollY = 0;

    bool isChanged() const;
    // Sets Project->Changed and announces a flip. Writing the field directly announces nothing.
    void setChanged(bool changed);

    // Frees the control points and draw objects, and the images and the paths as asked. A list that
    // held something is announced.
    void clear(bool data, bool images);
    // Takes an image as the topmost and announces it; returns it.
    TStitchObject* addImage(std::unique_ptr<TStitchObject> image);

    // ---- paths and their points ----
    // s + " " + n for the smallest n >= 1 that no path carries exactly (letter case counts).
    QString uniquePathName(const QString& s) const;
    // A new visible, expanded path named `name`, or "Path n" when empty, after the others; announced.
    TPath* newPath(const QString& name);
    // An index point at the end of the path, the path's widths recomputed; no renumbering. None
    // without a path.
    static TIndex* newIndex(TPath* path, int x, int y);
    // A measurement point at the end of the index point's list. It belongs to the path that owns the
    // index point, whatever `path` says; that path is renumbered and its widths recomputed. None
    // without an index point.
    static TMeasurement* newMeasurement(TPath* path, TIndex* index, int x, int y);
    // Renames the path's points ("Index n", "M n" counted through the path) and returns the number
    // of its measurement points; 0 without a path.
    static int countMeasurements(TPath* path);
    // The index or measurement point of the path nearest to (x, y) within 30 canvas pixels; the
    // earliest in path order wins a tie. None without a path or a point that near.
    static TJEXObject* findNearest(const TPath* path, int x, int y);

    // ---- the anchor line ----
    // An active anchor point at the end of the anchor line.
    TAnchorPoint* newAnchorPoint(int x, int y);
    // Snaps (cx, cy) to the anchor line: walking the active segments pixel by pixel along their
    // longer axis, the first point whose walked coordinate equals cx (flat segment) or cy (steep
    // one). Returns the pixel steps from the line's start to it, or -1 when the line has fewer than
    // two points or never reaches the coordinate, leaving (cx, cy) as they were.
    int anchorPos(int& cx, int& cy) const;

signals:
    // Images came, went, moved in the drawing order or were replaced. Whoever changes StitchList
    // directly emits it.
    void imagesChanged();
    // The points of `path` changed; null: paths came or went. Whoever changes them directly emits it.
    void pathChanged(TPath* path);
    // setChanged flipped the project's unsaved-changes flag.
    void modificationChanged(bool changed);
};
