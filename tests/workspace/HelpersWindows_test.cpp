// Lookups across the open image windows and their paths, and the export records of a path.
#include "project/Helpers.h"

#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "shell/TF_Main.h"
#include "workspace/HelpersWindows.h"
#include "workspace/TF_SMDI.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TPath> makePath(const char* name, const char* guid)
{
    auto path = std::make_unique<TPath>();
    path->Name = QString::fromLatin1(name);
    path->GUID = QString::fromLatin1(guid);
    return path;
}

// A main window with image windows; the last one added is the active one.
class ImageWindowsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        main = std::make_unique<TF_Main>();
        F_Main = main.get();
    }
    void TearDown() override
    {
        F_Main = nullptr;
        main.reset();
    }

    TF_SMDI* addWindow(const QString& fileName)
    {
        auto* window = new TF_SMDI;
        window->Project->Filename = fileName;
        QMdiSubWindow* sub = main->mdiArea()->addSubWindow(window);
        sub->show();
        main->mdiArea()->setActiveSubWindow(sub);
        return window;
    }
    QString file(const char* name) const
    {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }

    QTemporaryDir dir;
    std::unique_ptr<TF_Main> main;
};

TEST_F(ImageWindowsTest, PathNameExistsIgnoresLetterCase)
{
    TF_SMDI* window = addWindow(QString());
    window->PathList.push_back(makePath("Path 1", "{A}"));
    window->PathList.push_back(makePath("Oak North", "{B}"));
    const struct {
        const char* name;
        bool exists;
    } rows[] = {{"Path 1", true}, {"path 1", true}, {"OAK NORTH", true}, {"Path 2", false}, {"Path 1 ", false}, {"", false}};
    for (const auto& r : rows)
        EXPECT_EQ(PathNameExists(window, QString::fromLatin1(r.name)), r.exists) << r.name;
    EXPECT_FALSE(PathNameExists(nullptr, QStringLiteral("Path 1")));
}

TEST_F(ImageWindowsTest, FindProjectWindowMatchesTheSameFile)
{
    const QString a = file("a.jex4");
    const QString b = file("b.jex4");
    QFile::link(b, dir.filePath(QStringLiteral("link.jex4")));
    TF_SMDI* first = addWindow(a);
    TF_SMDI* second = addWindow(b);
    TF_SMDI* unsaved = addWindow(QString());
    Q_UNUSED(unsaved);

    const struct {
        QString name;
        TF_SMDI* window;
    } rows[] = {
        {a, first},
        {b, second},
        {dir.filePath(QStringLiteral("sub/../a.jex4")), first},
        {dir.filePath(QStringLiteral("link.jex4")), second},
        {dir.filePath(QStringLiteral("A.JEX4")), nullptr}, // another file on this system
        {dir.filePath(QStringLiteral("c.jex4")), nullptr},
        {QString(), nullptr}, // unsaved projects have no file to match
    };
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    for (const auto& r : rows)
        EXPECT_EQ(FindProjectWindow(r.name), r.window) << r.name.toStdString();
}

TEST_F(ImageWindowsTest, TheActiveWindowIsSearchedFirst)
{
    const QString a = file("same.jex4");
    TF_SMDI* older = addWindow(a);
    TF_SMDI* newer = addWindow(a);
    EXPECT_EQ(FindProjectWindow(a), newer);
    main->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(older->parentWidget()));
    EXPECT_EQ(FindProjectWindow(a), older);
}

TEST_F(ImageWindowsTest, FindPathByGUIDIsExact)
{
    TF_SMDI* first = addWindow(QString());
    first->PathList.push_back(makePath("p1", "{11111111-AAAA-BBBB-CCCC-000000000001}"));
    TPath* p1 = first->PathList.back().get();
    first->PathList.push_back(makePath("no id", ""));
    TF_SMDI* second = addWindow(QString());
    second->PathList.push_back(makePath("p2", "{11111111-AAAA-BBBB-CCCC-000000000002}"));
    TPath* p2 = second->PathList.back().get();

    const struct {
        const char* guid;
        TF_SMDI* window;
        TPath* path;
    } rows[] = {
        {"{11111111-AAAA-BBBB-CCCC-000000000001}", first, p1},
        {"{11111111-AAAA-BBBB-CCCC-000000000002}", second, p2},
        {"{11111111-aaaa-bbbb-cccc-000000000002}", nullptr, nullptr}, // case differs
        {"11111111-AAAA-BBBB-CCCC-000000000002", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const auto& r : rows) {
        TF_SMDI* window = reinterpret_cast<TF_SMDI*>(1);
        TPath* path = reinterpret_cast<TPath*>(1);
        EXPECT_EQ(FindPathByGUID(QString::fromLatin1(r.guid), window, path), r.window != nullptr) << r.guid;
        EXPECT_EQ(window, r.window) << r.guid;
        EXPECT_EQ(path, r.path) << r.guid;
    }
}

// A path whose measurement points lie `widths` pixels apart along x.
std::unique_ptr<TPath> pathWithWidths(std::initializer_list<double> widths)
{
    auto path = std::make_unique<TPath>();
    auto index = std::make_unique<TIndex>();
    for (double w : widths) {
        auto m = std::make_unique<TMeasurement>();
        m->distance = w;
        index->ObjectList.push_back(std::move(m));
    }
    path->ObjectList.push_back(std::move(index));
    return path;
}

TEST_F(ImageWindowsTest, UnitsFollowTheResolutionOfTheWindowHoldingThePath)
{
    const int units = SettingUnits;
    SettingUnits = 3; // 1/100 mm
    TF_SMDI* coarse = addWindow(QString());
    coarse->DPI = 600;
    coarse->PathList.push_back(pathWithWidths({120, 60}));
    TF_SMDI* fine = addWindow(QString());
    fine->DPI = 2400;
    fine->PathList.push_back(pathWithWidths({120}));

    std::vector<std::unique_ptr<TMeasurementData>> list;
    ASSERT_EQ(CollectMeasurementData(*coarse->PathList.back(), list), 2);
    EXPECT_EQ(list[0]->UnitDistance, 508); // 120 px at 600 dpi = 5.08 mm
    EXPECT_EQ(list[1]->UnitDistance, 254);
    list.clear();
    ASSERT_EQ(CollectMeasurementData(*fine->PathList.back(), list), 1);
    EXPECT_EQ(list[0]->UnitDistance, 127); // 120 px at 2400 dpi = 1.27 mm
    EXPECT_EQ(list[0]->Distance, 120);
    SettingUnits = units;
}

TEST(FindWithoutMainWindow, FindsNothing)
{
    ASSERT_EQ(F_Main, nullptr);
    TF_SMDI* window = nullptr;
    TPath* path = nullptr;
    EXPECT_EQ(FindProjectWindow(QStringLiteral("/data/a.jex4")), nullptr);
    EXPECT_FALSE(FindPathByGUID(QStringLiteral("{X}"), window, path));
}

TEST(CollectMeasurementData, OneRecordPerMeasurementPointInPathOrder)
{
    TPath path;
    const struct {
        double distance;
        const char* comment;
    } points[2][3] = {{{10.4, "a"}, {2.5, ""}, {3.5, "c"}}, {{0.0, "d"}, {7.6, "sap"}, {-1, nullptr}}};
    for (const auto& segment : points) {
        auto index = std::make_unique<TIndex>();
        index->distance = 99; // index points give no record
        for (const auto& p : segment) {
            if (!p.comment)
                break;
            auto m = std::make_unique<TMeasurement>();
            m->distance = p.distance;
            m->Comment = QString::fromLatin1(p.comment);
            index->ObjectList.push_back(std::move(m));
        }
        path.ObjectList.push_back(std::move(index));
    }
    path.ObjectList.push_back(std::make_unique<TIndex>()); // an index point without measurements

    std::vector<std::unique_ptr<TMeasurementData>> list;
    list.push_back(std::make_unique<TMeasurementData>()); // records already there stay
    // 1200 dpi in 1/100 mm: pixels * 25.4 / 1200 * 100.
    const auto toUnit = [](double pixels) { return pixels * 2540.0 / 1200.0; };
    ASSERT_EQ(CollectMeasurementData(path, list, toUnit), 6);

    const struct {
        int distance, unitDistance;
        const char* info;
    } expected[] = {{10, 22, "a"}, {2, 5, ""}, {4, 7, "c"}, {0, 0, "d"}, {8, 16, "sap"}};
    // 2.5 -> 2 and 3.5 -> 4: halves go to the even neighbour. 10.4 px = 22.01, 2.5 px = 5.29,
    // 3.5 px = 7.41, 7.6 px = 16.09 units.
    for (size_t i = 0; i < std::size(expected); ++i) {
        const TMeasurementData& r = *list[i + 1];
        EXPECT_EQ(r.Distance, expected[i].distance) << i;
        EXPECT_EQ(r.UnitDistance, expected[i].unitDistance) << i;
        EXPECT_EQ(r.Info, QString::fromLatin1(expected[i].info)) << i;
    }
}

} // namespace
