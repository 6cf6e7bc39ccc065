// The project document on its own: no window and no widget header, only the model and its signals.
#include "project/ProjectDocument.h"

#include "project/TControlPoint.h"
#include "project/TJEXObject.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Two images joined by a control point, a path with an index point and its measurement, an arrow
// on the path, and the path and index point current.
struct Filling {
    TStitchObject* image1 = nullptr;
    TStitchObject* image2 = nullptr;
    TPath* path = nullptr;
    TIndex* index = nullptr;
    TMeasurement* measurement = nullptr;
};

Filling fill(ProjectDocument& doc)
{
    Filling f;
    f.image1 = doc.addImage(std::make_unique<TStitchObject>());
    f.image2 = doc.addImage(std::make_unique<TStitchObject>());
    auto cp = std::make_unique<TControlPoint>();
    cp->SO1 = f.image1;
    cp->SO2 = f.image2;
    doc.CPList.push_back(std::move(cp));

    auto path = std::make_unique<TPath>();
    f.path = path.get();
    doc.PathList.push_back(std::move(path));
    auto index = std::make_unique<TIndex>();
    f.index = index.get();
    f.index->Path = f.path;
    f.path->ObjectList.push_back(std::move(index));
    auto measurement = std::make_unique<TMeasurement>();
    f.measurement = measurement.get();
    f.measurement->Path = f.path;
    f.measurement->Index = f.index;
    f.index->ObjectList.push_back(std::move(measurement));

    auto arrow = std::make_unique<TArrow>();
    arrow->Path = f.path;
    doc.DrawList.push_back(std::move(arrow));
    doc.CurrentPath = f.path;
    doc.CurrentIndex = f.index;
    return f;
}

TEST(ProjectDocument, StartsWithARecordAnAnchorLineAndTheDefaultView)
{
    ProjectDocument doc;
    ASSERT_NE(doc.Project, nullptr);
    ASSERT_NE(doc.AnchorLine, nullptr);
    EXPECT_FALSE(doc.isChanged());
    EXPECT_EQ(doc.AnchorLine->Count(), 0);
    EXPECT_EQ(doc.Zoom, 10);
    EXPECT_EQ(doc.DPI, 1200);
    EXPECT_EQ(doc.CurrentPath.get(), nullptr);
}

TEST(ProjectDocument, AnnouncesOnlyFlipsOfTheChangedFlag)
{
    ProjectDocument doc;
    QSignalSpy spy(&doc, &ProjectDocument::modificationChanged);
    const struct {
        bool set;
        bool announced;
    } steps[] = {{false, false}, {true, true}, {true, false}, {false, true}, {false, false}, {true, true}};
    for (const auto& step : steps) {
        const qsizetype before = spy.count();
        doc.setChanged(step.set);
        EXPECT_EQ(bool(doc.Project->Changed), step.set);
        ASSERT_EQ(spy.count() - before, step.announced ? 1 : 0) << "setChanged(" << step.set << ")";
        if (step.announced) {
            EXPECT_EQ(spy.last().at(0).toBool(), step.set);
        }
    }
}

TEST(ProjectDocument, AddedImagesGoOnTopAndAreAnnounced)
{
    ProjectDocument doc;
    QSignalSpy images(&doc, &ProjectDocument::imagesChanged);
    TStitchObject* first = doc.addImage(std::make_unique<TStitchObject>());
    TStitchObject* second = doc.addImage(std::make_unique<TStitchObject>());
    ASSERT_EQ(doc.StitchList.size(), 2u);
    EXPECT_EQ(doc.StitchList[0].get(), first);
    EXPECT_EQ(doc.StitchList[1].get(), second); // drawn last, so on top
    EXPECT_EQ(images.count(), 2);
}

TEST(ProjectDocument, ClearingFreesWhatWasAskedAndAnnouncesWhatWent)
{
    const struct {
        bool data, images;
    } cases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "clear(data " << c.data << ", images " << c.images << ")");
        ProjectDocument doc;
        const Filling f = fill(doc);
        const ObjectRef<TStitchObject> image(f.image1);
        const ObjectRef<TMeasurement> measurement(f.measurement);
        QSignalSpy images(&doc, &ProjectDocument::imagesChanged);
        QSignalSpy paths(&doc, &ProjectDocument::pathChanged);

        doc.clear(c.data, c.images);

        // Control points and draw objects go in every case: they point into the other lists.
        EXPECT_TRUE(doc.CPList.empty());
        EXPECT_TRUE(doc.DrawList.empty());
        EXPECT_EQ(doc.StitchList.empty(), c.images);
        EXPECT_EQ(image.get() == nullptr, c.images);
        EXPECT_EQ(doc.PathList.empty(), c.data);
        EXPECT_EQ(measurement.get() == nullptr, c.data);
        EXPECT_EQ(doc.CurrentPath.get(), c.data ? nullptr : f.path);
        EXPECT_EQ(doc.CurrentIndex.get(), c.data ? nullptr : f.index);

        EXPECT_EQ(images.count(), c.images ? 1 : 0);
        ASSERT_EQ(paths.count(), c.data ? 1 : 0);
        if (c.data) {
            EXPECT_EQ(paths.first().at(0).value<TPath*>(), nullptr); // the set of paths, not one path
        }

        // What is gone is not announced again.
        doc.clear(c.data, c.images);
        EXPECT_EQ(images.count(), c.images ? 1 : 0);
        EXPECT_EQ(paths.count(), c.data ? 1 : 0);
    }
}

TEST(ProjectDocument, ItsObjectsGoWithItsOwnerAndLinksToThemReadNull)
{
    auto owner = std::make_unique<QObject>();
    auto* doc = new ProjectDocument(owner.get());
    const Filling f = fill(*doc);
    const ObjectRef<TStitchObject> image(f.image2);
    const ObjectRef<TPath> path(f.path);
    const ObjectRef<TMeasurement> measurement(f.measurement);
    const ObjectRef<TAnchorLine> anchor(doc->AnchorLine.get());
    ASSERT_NE(image.get(), nullptr);
    ASSERT_NE(anchor.get(), nullptr);

    QSignalSpy destroyed(doc, &QObject::destroyed);
    owner.reset();
    EXPECT_EQ(destroyed.count(), 1);
    EXPECT_EQ(image.get(), nullptr);
    EXPECT_EQ(path.get(), nullptr);
    EXPECT_EQ(measurement.get(), nullptr);
    EXPECT_EQ(anchor.get(), nullptr);
}

} // namespace

namespace {

// Measuring on a bare document: paths named in turn, points numbered through the path whatever
// path the caller names, and a click found near its point.
TEST(ProjectDocument, MeasuresWithoutAWindow)
{
    ProjectDocument doc;
    QSignalSpy paths(&doc, &ProjectDocument::pathChanged);
    TPath* first = doc.newPath(QString());
    TPath* second = doc.newPath(QString());
    EXPECT_EQ(first->Name, QStringLiteral("Path 1"));
    EXPECT_EQ(second->Name, QStringLiteral("Path 2"));
    EXPECT_EQ(paths.count(), 2);

    TIndex* i1 = ProjectDocument::newIndex(first, 0, 0);
    ProjectDocument::newMeasurement(first, i1, 30, 40);
    TIndex* i2 = ProjectDocument::newIndex(first, 100, 40);
    // Named for the other path, the point still goes where its index point is.
    TMeasurement* m = ProjectDocument::newMeasurement(second, i2, 130, 80);
    EXPECT_EQ(m->Path.get(), first);
    EXPECT_EQ(m->Name, QStringLiteral("M 2"));
    EXPECT_EQ(i2->Name, QStringLiteral("Index 2"));
    EXPECT_DOUBLE_EQ(m->distance, 50.0);
    EXPECT_EQ(ProjectDocument::countMeasurements(first), 2);

    EXPECT_EQ(ProjectDocument::findNearest(first, 128, 78), m);
    EXPECT_EQ(ProjectDocument::findNearest(first, 200, 200), nullptr);
    EXPECT_EQ(ProjectDocument::newIndex(nullptr, 1, 1), nullptr);
    EXPECT_EQ(ProjectDocument::newMeasurement(first, nullptr, 1, 1), nullptr);
}

TEST(ProjectDocument, SnapsToItsAnchorLine)
{
    ProjectDocument doc;
    int x = 5, y = 9;
    EXPECT_EQ(doc.anchorPos(x, y), -1); // no line yet
    doc.newAnchorPoint(0, 0);
    doc.newAnchorPoint(10, 2);
    EXPECT_EQ(doc.AnchorLine->Count(), 2);
    EXPECT_EQ(doc.anchorPos(x, y), 5);
    EXPECT_EQ(QPoint(x, y), QPoint(5, 1));
    x = 20;
    y = 9;
    EXPECT_EQ(doc.anchorPos(x, y), -1); // past the line's end: left as it was
    EXPECT_EQ(QPoint(x, y), QPoint(20, 9));
}

} // namespace
