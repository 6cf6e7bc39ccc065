// Path statistics: counts, length and ring-width statistics from point positions in every unit,
// the window's texts, a path changing or going away between showings, and the measurement tree's
// command that opens the window.
#include "workspace/TF_PathInfo.h"

#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include "support/ModalDialogs.h"
#include "support/ProjectObjects.h"

#include <QAction>
#include <QDialog>
#include <QIcon>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using testhelpers::addIndex;
using testhelpers::addMeasurement;
using testhelpers::whenShown;

// At 2540 dpi one pixel is exactly 1/100 mm, so pixel offsets read as ring widths in that unit.
constexpr int Dpi2540 = 2540;

// Index points at the given x (on y = 0), each followed by measurement points at the given x.
struct Layout {
    int indexX;
    std::vector<int> measurementX;
};

std::unique_ptr<TPath> makePath(const std::vector<Layout>& layout, bool pith = false)
{
    auto path = std::make_unique<TPath>();
    path->Name = QStringLiteral("Core 1");
    path->Pith = pith;
    for (const Layout& l : layout) {
        TIndex* index = addIndex(*path, {l.indexX, 0});
        for (int x : l.measurementX)
            addMeasurement(*index, {x, 0});
    }
    return path;
}

struct StatisticsCase {
    const char* name;
    std::vector<Layout> layout;
    int units;
    int dpi;
    int indexCount;
    int measurementCount;
    double sum, mean, stdDev, minimum, maximum;
};

TEST(PathStatistics, FromPointPositions)
{
    const StatisticsCase cases[] = {
        {"no points", {}, 3, Dpi2540, 0, 0, 0, 0, 0, 0, 0},
        {"index point alone", {{0, {}}}, 3, Dpi2540, 1, 0, 0, 0, 0, 0, 0},
        {"one ring", {{0, {150}}}, 3, Dpi2540, 1, 1, 150, 150, 0, 150, 150},
        {"three rings", {{0, {100, 300, 600}}}, 3, Dpi2540, 1, 3, 600, 200, 81.649658, 100, 300},
        // The first point after the second index point counts its distance from that index point,
        // not from the last point before it; the spread is of the whole path.
        {"two index points", {{0, {100}}, {1000, {1200, 1500}}}, 3, Dpi2540, 2, 3, 600, 200, 81.649658, 100, 300},
        {"many rings in pixels", {{0, {10, 30}}, {50, {54}}, {100, {101, 111}}}, 7, 0, 3, 5, 45, 9, 6.511528, 1, 20}, // sqrt(212 / 5),
        {"millimetres", {{0, {100, 300}}}, 1, Dpi2540, 1, 2, 3, 1.5, 0.5, 1, 2},
        {"inches", {{0, {2540, 7620}}}, 4, Dpi2540, 1, 2, 3, 1.5, 0.5, 1, 2},
        {"resolution 0", {{0, {100, 300}}}, 3, 0, 1, 2, 0, 0, 0, 0, 0},
        {"negative resolution", {{0, {100, 300}}}, 0, -300, 1, 2, 0, 0, 0, 0, 0},
    };
    for (const StatisticsCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto path = makePath(c.layout);
        const PathStatistics s = ComputePathStatistics(*path, c.units, c.dpi);
        EXPECT_EQ(s.indexCount, c.indexCount);
        EXPECT_EQ(s.measurementCount, c.measurementCount);
        EXPECT_NEAR(s.sum, c.sum, 1e-9);
        EXPECT_NEAR(s.mean, c.mean, 1e-9);
        EXPECT_NEAR(s.stdDev, c.stdDev, 1e-4);
        EXPECT_NEAR(s.minimum, c.minimum, 1e-9);
        EXPECT_NEAR(s.maximum, c.maximum, 1e-9);
    }
}

TEST(PathStatistics, StaleStoredWidthsAreRecomputedFromPositions)
{
    auto path = makePath({{0, {100, 300}}});
    // A hidden path is not painted, so what painting stored may be out of date.
    path->visible = false;
    for (auto& m : path->ObjectList[0]->ObjectList)
        m->distance = 999;
    const PathStatistics s = ComputePathStatistics(*path, 7, 0);
    EXPECT_DOUBLE_EQ(s.sum, 300);
    EXPECT_DOUBLE_EQ(s.maximum, 200);
}

TEST(PathStatistics, Formatting)
{
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {81.6496580927726, "81.65"}, {0, "0.00"},           {200, "200.00"},
        {12345.678, "12345.70"},     {-0.001, "0.00"},      {1234567, "1.23457E+06"},
        {-2.345, "-2.35"},           {999999.4, "999999.00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatStatistic(c.value), QString::fromLatin1(c.text)) << c.value;
}

TEST(PathStatistics, OverallLengthInTheLargerUnit)
{
    const struct {
        int units;
        double sum;
        const char* text;
    } cases[] = {
        {0, 250, "2.50 m"},    {1, 2500, "2.50 m"}, {2, 250, "2.50 cm"},   {3, 600, "6.00 mm"},
        {4, 30, "2.50 ft"},    {5, 300, "2.50 ft"}, {6, 250, "2.50 inch"}, {7, 1234, "1234.00 px"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OverallLengthText(c.sum, c.units), QString::fromLatin1(c.text)) << c.units;
    EXPECT_EQ(UnitText(3), QStringLiteral("1/100th mm"));
    EXPECT_EQ(UnitText(8), QString());
}

TEST(PathStatistics, MemoLines)
{
    auto three = makePath({{0, {100}}, {1000, {1200, 1500}}}, true);
    EXPECT_EQ(PathInfoLines(ComputePathStatistics(*three, 3, Dpi2540), 3),
              (QStringList{"2 index points", "3 measuring points", "", "Overall length:  6.00 mm",
                           "Mean ring width: 200.00 1/100th mm", "Std. Dev.: 81.65 1/100th mm",
                           "Min ring width: 100.00 1/100th mm", "Max ring width: 300.00 1/100th mm",
                           "Pith flag SET"}));

    auto bare = makePath({{0, {}}});
    EXPECT_EQ(PathInfoLines(ComputePathStatistics(*bare, 3, Dpi2540), 3),
              (QStringList{"1 index points", "0 measuring points", "Pith flag NOT SET"}));

    // No resolution: every width is 0 and nothing is divided by it.
    EXPECT_EQ(PathInfoLines(ComputePathStatistics(*three, 2, 0), 2).mid(3, 2),
              (QStringList{"Overall length:  0.00 cm", "Mean ring width: 0.00 1/10th mm"}));
}

class PathInfoWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedUnits = SettingUnits;
        SettingUnits = 3;
    }
    void TearDown() override { SettingUnits = savedUnits; }

    QStringList memo(const TF_PathInfo& w) const { return w.M_PathInfo->toPlainText().split(QLatin1Char('\n')); }

    int savedUnits = 0;
};

// The memo of both information windows takes no focus, yet its text reads black on white
// instead of greyed out.
TEST(InfoWindowMemo, TextIsDrawnDarkOnWhite)
{
    QDialog window;
    const InfoWindowParts parts = BuildInfoWindow(&window, QIcon());
    parts.memo->setPlainText(QStringLiteral("MMMMMMMM 12 index points\nMMMMMMMM 34 measuring points"));
    window.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(parts.memo->isEnabled());

    const QImage shot = parts.memo->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    int darkest = 255;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            darkest = std::min(darkest, qGray(shot.pixel(x, y)));
    EXPECT_LT(darkest, 60) << "the text is drawn black, not grey";
    EXPECT_EQ(qGray(shot.pixel(shot.width() - 2, shot.height() - 2)), 255) << "on white";
}

TEST_F(PathInfoWindow, ShowsThePathAndFollowsItOnEveryShowing)
{
    TF_PathInfo w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Information"));
    EXPECT_EQ(w.B_Ok->text(), QStringLiteral("&Ok"));
    EXPECT_TRUE(w.M_PathInfo->isReadOnly());

    auto path = makePath({{0, {100, 300, 600}}});
    w.Path = path.get();
    w.DPI = Dpi2540;
    w.show();
    EXPECT_EQ(w.L_PathName->text(), QStringLiteral("Core 1"));
    EXPECT_EQ(memo(w).value(3), QStringLiteral("Overall length:  6.00 mm"));
    EXPECT_EQ(memo(w).value(4), QStringLiteral("Mean ring width: 200.00 1/100th mm"));

    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());

    // A new ring and a new unit show on the next showing.
    addMeasurement(*path->ObjectList[0], {1000, 0});
    path->Name = QStringLiteral("Core 2");
    SettingUnits = 7;
    w.show();
    EXPECT_EQ(w.L_PathName->text(), QStringLiteral("Core 2"));
    EXPECT_EQ(memo(w).value(1), QStringLiteral("4 measuring points"));
    EXPECT_EQ(memo(w).value(3), QStringLiteral("Overall length:  1000.00 px"));
    EXPECT_EQ(memo(w).value(7), QStringLiteral("Max ring width: 400.00 pixels"));
    w.B_Ok->click();
    EXPECT_FALSE(w.isVisible());

    // A freed path leaves an empty window.
    path.reset();
    w.show();
    EXPECT_TRUE(w.L_PathName->text().isEmpty());
    EXPECT_TRUE(w.M_PathInfo->toPlainText().isEmpty());
    w.hide();
}

class PathInfoCommand : public PathInfoWindow {
protected:
    void SetUp() override
    {
        PathInfoWindow::SetUp();
        setDialogs(std::make_unique<FakeDialogs>());
        tool = std::make_unique<TF_Measurements>();
        F_Measurements = tool.get();
        w = new TF_SMDI;
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->PathList.clear();
        w->DPI = Dpi2540;
    }
    void TearDown() override
    {
        delete F_PathInfo.data();
        delete w.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        tool.reset();
        F_Measurements = nullptr;
        setDialogs(nullptr);
        PathInfoWindow::TearDown();
    }

    TPath* addPath(std::unique_ptr<TPath> p)
    {
        w->PathList.push_back(std::move(p));
        return w->PathList.back().get();
    }
    void selectOnly(const TJEXObject* o)
    {
        const QModelIndex idx = tool->measurementModel()->indexFromNode(tool->GetNodeByObject(o));
        ASSERT_TRUE(idx.isValid());
        tool->VST->selectionModel()->select(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    std::unique_ptr<TF_Measurements> tool;
    QPointer<TF_SMDI> w;
};

TEST_F(PathInfoCommand, ShowsTheCurrentPathModally)
{
    F_PathInfo = new TF_PathInfo;
    TPath* path = addPath(makePath({{0, {100, 300, 600}}}, true));
    w->CurrentPath = path;
    tool->FillMeasurements(w, false);
    selectOnly(path);

    QStringList shown;
    QString name;
    whenShown<TF_PathInfo>([&](TF_PathInfo* d) {
        name = d->L_PathName->text();
        shown = d->M_PathInfo->toPlainText().split(QLatin1Char('\n'));
        d->B_Ok->click();
    });
    tool->A_PathInfo->trigger();
    EXPECT_EQ(name, QStringLiteral("Core 1"));
    EXPECT_EQ(shown.value(5), QStringLiteral("Std. Dev.: 81.65 1/100th mm"));
    EXPECT_EQ(shown.value(8), QStringLiteral("Pith flag SET"));
    EXPECT_FALSE(F_PathInfo->isVisible());
}

TEST_F(PathInfoCommand, WithoutTheWindowNothingOpens)
{
    TPath* path = addPath(makePath({{0, {100}}}));
    w->CurrentPath = path;
    tool->FillMeasurements(w, false);
    selectOnly(path);
    ASSERT_FALSE(F_PathInfo);
    tool->A_PathInfo->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
