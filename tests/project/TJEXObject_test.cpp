// Ownership of paths, index and measurement points and anchor points; links that outlive their
// target; GUIDs of new paths; the abstract Draw slots.
#include "project/TJEXObject.h"

#include <QObject>
#include <QSet>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

namespace {

// Counts live points so a test can see what a deletion freed.
int g_liveIndices = 0;
int g_liveMeasurements = 0;
int g_liveAnchorPoints = 0;

class CountedIndex : public TIndex {
public:
    CountedIndex() { ++g_liveIndices; }
    ~CountedIndex() override { --g_liveIndices; }
};

class CountedMeasurement : public TMeasurement {
public:
    CountedMeasurement() { ++g_liveMeasurements; }
    ~CountedMeasurement() override { --g_liveMeasurements; }
};

class CountedAnchorPoint : public TAnchorPoint {
public:
    CountedAnchorPoint() { ++g_liveAnchorPoints; }
    ~CountedAnchorPoint() override { --g_liveAnchorPoints; }
};

class PathOwnership : public testing::Test {
protected:
    void SetUp() override
    {
        g_liveIndices = g_liveMeasurements = 0;
        path = std::make_unique<TPath>();
        for (int i = 0; i < 3; ++i) {
            auto index = std::make_unique<CountedIndex>();
            index->Path = path.get();
            for (int m = 0; m < 4; ++m) {
                auto point = std::make_unique<CountedMeasurement>();
                point->Path = path.get();
                point->Index = index.get();
                index->ObjectList.push_back(std::move(point));
            }
            path->ObjectList.push_back(std::move(index));
        }
        ASSERT_EQ(g_liveIndices, 3);
        ASSERT_EQ(g_liveMeasurements, 12);
    }

    std::unique_ptr<TPath> path;
};

} // namespace

TEST_F(PathOwnership, FreeingAPathFreesItsIndexAndMeasurementPoints)
{
    path.reset();
    EXPECT_EQ(g_liveIndices, 0);
    EXPECT_EQ(g_liveMeasurements, 0);
}

TEST_F(PathOwnership, RemovingAnIndexFreesOnlyItsOwnMeasurements)
{
    path->ObjectList.erase(path->ObjectList.begin() + 1);
    EXPECT_EQ(g_liveIndices, 2);
    EXPECT_EQ(g_liveMeasurements, 8);
    for (const auto& index : path->ObjectList) {
        EXPECT_EQ(index->Path.get(), path.get());
        for (const auto& m : index->ObjectList)
            EXPECT_EQ(m->Index.get(), index.get());
    }
}

TEST_F(PathOwnership, PointMovedOutOfAFreedIndexLosesItsLinks)
{
    TIndex* first = path->ObjectList.front().get();
    std::unique_ptr<TMeasurement> moved = std::move(first->ObjectList.back());
    first->ObjectList.pop_back();
    EXPECT_EQ(moved->Index.get(), first);

    path->ObjectList.erase(path->ObjectList.begin());
    EXPECT_EQ(moved->Index.get(), nullptr);
    EXPECT_EQ(moved->Path.get(), path.get());

    path.reset();
    EXPECT_EQ(moved->Path.get(), nullptr);
    EXPECT_EQ(g_liveMeasurements, 1);
}

TEST(ObjectRef, ReadsNullOnceItsTargetIsFreed)
{
    auto path = std::make_unique<TPath>();
    TArrow arrow;
    EXPECT_FALSE(arrow.Path);
    arrow.Path = path.get();
    ASSERT_TRUE(arrow.Path);
    EXPECT_EQ(arrow.Path->GUID, path->GUID);

    const ObjectRef<TPath> copy = arrow.Path;
    path.reset();
    EXPECT_EQ(arrow.Path.get(), nullptr);
    EXPECT_EQ(copy.get(), nullptr);
    EXPECT_TRUE(arrow.Path == nullptr);

    // A freed link can be pointed at a new target, and cleared by hand.
    auto other = std::make_unique<TPath>();
    arrow.Path = other.get();
    EXPECT_EQ(arrow.Path.get(), other.get());
    arrow.Path = nullptr;
    EXPECT_EQ(arrow.Path.get(), nullptr);
    EXPECT_NE(other->GUID, QString()); // the target is untouched by clearing the link
}

TEST(ObjectRef, SeveralLinksToOneTargetAllClear)
{
    auto path = std::make_unique<TPath>();
    TRectangle rect;
    TArrow arrow;
    TIndex index;
    rect.Path = path.get();
    arrow.Path = path.get();
    index.Path = path.get();
    path.reset();
    EXPECT_EQ(rect.Path.get(), nullptr);
    EXPECT_EQ(arrow.Path.get(), nullptr);
    EXPECT_EQ(index.Path.get(), nullptr);
}

TEST(DrawObject, WindowLinkClearsWhenTheWindowGoes)
{
    auto window = std::make_unique<QObject>();
    TArrow arrow;
    arrow.MDIForm = window.get();
    window.reset();
    EXPECT_EQ(arrow.MDIForm.data(), nullptr);
}

TEST(Path, EveryNewPathGetsItsOwnGuid)
{
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        TPath path;
        EXPECT_FALSE(seen.contains(path.GUID)) << path.GUID.toStdString();
        seen.insert(path.GUID);
    }
}

TEST(AnchorLine, ClearFreesEveryPointAndEmptyClearIsHarmless)
{
    g_liveAnchorPoints = 0;
    TAnchorLine line;
    line.Clear();
    EXPECT_EQ(line.Count(), 0);

    for (int i = 0; i < 5; ++i) {
        auto point = std::make_unique<CountedAnchorPoint>();
        point->AnchorLine = &line;
        line.AnchorPoints.push_back(std::move(point));
    }
    EXPECT_EQ(line.Count(), 5);
    EXPECT_EQ(line.AnchorPoints.back()->AnchorLine.get(), &line);

    line.Clear();
    EXPECT_EQ(line.Count(), 0);
    EXPECT_EQ(g_liveAnchorPoints, 0);
}

TEST(AnchorLine, DestructionFreesItsPoints)
{
    g_liveAnchorPoints = 0;
    {
        TAnchorLine line;
        line.AnchorPoints.push_back(std::make_unique<CountedAnchorPoint>());
        line.AnchorPoints.push_back(std::make_unique<CountedAnchorPoint>());
        ASSERT_EQ(g_liveAnchorPoints, 2);
    }
    EXPECT_EQ(g_liveAnchorPoints, 0);
}

// Slots a class never overrides stay abstract and throw; the anchor line's slot 0 draws nothing.
TEST(DrawSlots, UnoverriddenSlotsThrowAndTheAnchorLineDrawsNothing)
{
    struct Case {
        const char* name;
        std::function<std::unique_ptr<TJEXObject>()> make;
        bool slot0Throws;
        bool slot1Throws;
    };
    const Case cases[] = {
        {"TPath", [] { return std::make_unique<TPath>(); }, true, true},
        {"TDrawObject", [] { return std::make_unique<TDrawObject>(); }, true, true},
        {"TMeasurement slot 1", [] { return std::make_unique<TMeasurement>(); }, false, true},
        {"TAnchorPoint slot 1", [] { return std::make_unique<TAnchorPoint>(); }, false, true},
        {"TArrow slot 1", [] { return std::make_unique<TArrow>(); }, false, true},
        {"TRectangle slot 1", [] { return std::make_unique<TRectangle>(); }, false, true},
        {"TAnchorLine", [] { return std::make_unique<TAnchorLine>(); }, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::unique_ptr<TJEXObject> object = c.make();
        if (c.slot0Throws) {
            EXPECT_THROW(object->Draw(nullptr, nullptr), std::logic_error);
        }
        if (c.slot1Throws) {
            EXPECT_THROW(object->Draw(nullptr, nullptr, true), std::logic_error);
        }
    }

    // Neither the view nor the canvas is touched, so none is needed.
    TAnchorLine line;
    line.Pos = QPoint(40, 50);
    TJEXObject& asBase = line;
    EXPECT_NO_THROW(asBase.Draw(nullptr, nullptr));
}
