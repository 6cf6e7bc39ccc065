// Hand-made project layouts for the tests.
#include "support/ProjectObjects.h"

#include "project/TJEXObject.h"
#include "project/TStitchObject.h"
#include "workspace/TF_SMDI.h"

#include <memory>

namespace testhelpers {

TStitchObject* addImage(TF_SMDI& w, int x, int y, int width, int height)
{
    auto so = std::make_unique<TStitchObject>();
    so->x = x;
    so->y = y;
    so->Width = width;
    so->Height = height;
    TStitchObject* raw = so.get();
    w.StitchList.push_back(std::move(so));
    return raw;
}

TIndex* addIndex(TPath& path, QPoint pos)
{
    auto index = std::make_unique<TIndex>();
    index->Pos = pos;
    index->Path = &path;
    TIndex* raw = index.get();
    path.ObjectList.push_back(std::move(index));
    return raw;
}

TMeasurement* addMeasurement(TIndex& index, QPoint pos)
{
    auto m = std::make_unique<TMeasurement>();
    m->Pos = pos;
    m->Index = &index;
    m->Path = index.Path;
    TMeasurement* raw = m.get();
    index.ObjectList.push_back(std::move(m));
    return raw;
}

} // namespace testhelpers
