// The document owns the model objects and announces what its own functions change.
#include "project/ProjectDocument.h"

#include "project/TControlPoint.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"

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
