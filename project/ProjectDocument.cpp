// The document owns the model objects and announces what its own functions change.
#include "project/ProjectDocument.h"

#include "project/Helpers.h"
#include "project/PathDistances.h"
#include "project/TControlPoint.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"

#include <QPointF>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace {

int clampInt(qint64 v)
{
    return int(std::clamp<qint64>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Walks one segment pixel by pixel (Bresenham) along its longer axis, counting steps into
// `steps`, until the walked coordinate equals `target`. The step's point goes to (along, across).
bool walkSegment(qint64 a, qint64 b, qint64 c, qint64 d, qint64 target, qint64& steps, qint64& along, qint64& across)
{
    const qint64 da = std::llabs(c - a);
    const qint64 db = std::llabs(d - b);
    const int sa = c > a ? 1 : -1;
    const int sb = d > b ? 1 : -1;
    qint64 x = a, y = b, err = 2 * db - da;
    while (x != c) {
        x += sa;
        if (err >= 0) {
            y += sb;
            err += 2 * db - 2 * da;
        } else {
            err += 2 * db;
        }
        ++steps;
        if (x == target) {
            along = x;
            across = y;
            return true;
        }
    }
    return false;
}

} // namespace

ProjectDocument::ProjectDocument(QObject* parent)
    : QObject(parent)
    , AnchorLine(std::make_unique<TAnchorLine>())
    , Project(std::make_unique<TJEXProject>())
{
}

ProjectDocument::~ProjectDocument() = default;

bool ProjectDocument::isChanged() const { return Project->Changed; }

void ProjectDocument::setChanged(bool changed)
{
    if (Project->Changed == changed)
        return;
    Project->Changed = changed;
    emit modificationChanged(changed);
}

void ProjectDocument::clear(bool data, bool images)
{
    CPList.clear();
    const bool hadImages = images && !StitchList.empty();
    if (images)
        StitchList.clear(); // each image frees its FD, FT and FZ
    const bool hadPaths = data && !PathList.empty();
    if (data) {
        PathList.clear(); // a path frees its index points, each index point its measurements
        CurrentPath = nullptr;
        CurrentIndex = nullptr;
    }
    DrawList.clear();
    if (hadImages)
        emit imagesChanged();
    if (hadPaths)
        emit pathChanged(nullptr);
}

TStitchObject* ProjectDocument::addImage(std::unique_ptr<TStitchObject> image)
{
    TStitchObject* added = image.get();
    StitchList.push_back(std::move(image));
    emit imagesChanged();
    return added;
}

QString ProjectDocument::uniquePathName(const QString& s) const
{
    for (int n = 1;; ++n) {
        const QString name = s + QStringLiteral(" ") + QString::number(n);
        if (std::none_of(PathList.begin(), PathList.end(), [&](const auto& p) { return p->Name == name; }))
            return name;
    }
}

TPath* ProjectDocument::newPath(const QString& name)
{
    auto path = std::make_unique<TPath>();
    path->Name = name.isEmpty() ? uniquePathName(QStringLiteral("Path")) : name;
    path->expanded = true;
    path->Pith = false;
    PathList.push_back(std::move(path));
    emit pathChanged(nullptr);
    return PathList.back().get();
}

TIndex* ProjectDocument::newIndex(TPath* path, int x, int y)
{
    if (!path)
        return nullptr;
    auto index = std::make_unique<TIndex>();
    index->Pos = QPoint(x, y);
    index->Path = path;
    path->ObjectList.push_back(std::move(index));
    RecomputeDistances(path);
    return path->ObjectList.back().get();
}

TMeasurement* ProjectDocument::newMeasurement(TPath* path, TIndex* index, int x, int y)
{
    if (!index)
        return nullptr;
    if (index->Path)
        path = index->Path;
    auto m = std::make_unique<TMeasurement>();
    m->Pos = QPoint(x, y);
    m->Path = path;
    m->Index = index;
    index->ObjectList.push_back(std::move(m));
    TMeasurement* result = index->ObjectList.back().get();
    countMeasurements(path);
    RecomputeDistances(path);
    return result;
}

int ProjectDocument::countMeasurements(TPath* path)
{
    if (!path)
        return 0;
    int m = 0;
    int i = 0;
    for (const auto& index : path->ObjectList) {
        index->Name = QStringLiteral("Index ") + QString::number(++i);
        for (const auto& meas : index->ObjectList)
            meas->Name = QStringLiteral("M ") + QString::number(++m);
    }
    return m;
}

TJEXObject* ProjectDocument::findNearest(const TPath* path, int x, int y)
{
    if (!path)
        return nullptr;
    const QPointF at(x, y);
    double best = 100000;
    TJEXObject* result = nullptr;
    // Strictly smaller only: on a tie the point earlier in the path stays.
    auto consider = [&](TJEXObject* o) {
        const double d = PointDistanceF(QPointF(o->Pos), at);
        if (d >= 0 && d < best) {
            best = d;
            result = o;
        }
    };
    for (const auto& index : path->ObjectList) {
        consider(index.get());
        for (const auto& m : index->ObjectList)
            consider(m.get());
    }
    return result && best <= 30 ? result : nullptr;
}

TAnchorPoint* ProjectDocument::newAnchorPoint(int x, int y)
{
    auto ap = std::make_unique<TAnchorPoint>();
    ap->Pos = QPoint(x, y);
    ap->Active = true;
    ap->AnchorLine = AnchorLine.get();
    AnchorLine->AnchorPoints.push_back(std::move(ap));
    return AnchorLine->AnchorPoints.back().get();
}

int ProjectDocument::anchorPos(int& cx, int& cy) const
{
    if (!AnchorLine || AnchorLine->AnchorPoints.size() < 2)
        return -1;
    const auto& points = AnchorLine->AnchorPoints;
    qint64 steps = 0;
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        if (!points[i]->Active)
            continue;
        const qint64 a = points[i]->Pos.x(), b = points[i]->Pos.y();
        const qint64 c = points[i + 1]->Pos.x(), d = points[i + 1]->Pos.y();
        const bool flat = std::llabs(d - b) < std::llabs(c - a);
        if (flat ? a == cx : b == cy) {
            cx = int(a);
            cy = int(b);
            return clampInt(steps);
        }
        qint64 along = 0, across = 0;
        if (flat && walkSegment(a, b, c, d, cx, steps, along, across)) {
            cx = int(along);
            cy = int(across);
            return clampInt(steps);
        }
        if (!flat && walkSegment(b, a, d, c, cy, steps, along, across)) {
            cx = int(across);
            cy = int(along);
            return clampInt(steps);
        }
    }
    return -1;
}
