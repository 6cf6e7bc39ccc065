// Dock sites and the dock panel in a frame of their own: what may dock where, the panel opening to
// its first window's size (or what it remembers, or 200 pixels) and collapsing when the last one
// leaves, tabs on the edge facing the frame's middle, and the translucent rectangle of dock drags.
#include "shell/DockPanel.h"

#include "shell/BlendedDockingRect.h"
#include "support/TestHelpers.h"
#include "workspace/ToolWindows.h"

#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QRubberBand>
#include <QTabBar>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

class DockPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        frame = std::make_unique<QMainWindow>();
        frame->setDockOptions(QMainWindow::AllowNestedDocks | QMainWindow::AllowTabbedDocks); // no animation
        frame->setCentralWidget(new QLabel(QStringLiteral("images")));
        panel = new TDockPanel(frame.get(), Qt::BottomDockWidgetArea);
        panel->PanelDockOver = [](QWidget*) { return true; };
        frame->resize(900, 700);
        frame->show();
        settle();
    }
    void TearDown() override
    {
        panel->stopFollowing();
        frame.reset();
    }
    // The panel sizes a new client once the frame has laid it out: a few turns of the event loop.
    static void settle() { testhelpers::turnEventLoop(); }
    // A tool window that floated at this height before it was docked.
    QWidget* floated(int height)
    {
        auto* form = new QLabel(QStringLiteral("tool"), frame.get());
        form->setWindowTitle(QStringLiteral("Tool %1").arg(++made));
        QDockWidget* dock = panel->carry(form);
        dock->show();
        dock->resize(300, height);
        settle();
        return form;
    }
    // A tool window that was never anywhere else: its size before docking is unknown.
    QWidget* fresh()
    {
        auto* form = new QLabel(QStringLiteral("tool"), frame.get());
        form->setWindowTitle(QStringLiteral("Tool %1").arg(++made));
        return form;
    }

    std::unique_ptr<QMainWindow> frame;
    TDockPanel* panel = nullptr;
    int made = 0;
};

TEST_F(DockPanelTest, OpensToItsFirstWindowsHeightAndCollapsesWhenTheLastLeaves)
{
    EXPECT_EQ(panel->depth(), 0) << "collapsed while empty";

    QWidget* first = floated(180);
    ASSERT_TRUE(panel->dock(first));
    settle();
    EXPECT_EQ(panel->depth(), 180);

    // A second window beside it changes nothing; neither does its leaving.
    QWidget* second = floated(120);
    ASSERT_TRUE(panel->dock(second));
    settle();
    EXPECT_EQ(panel->depth(), 180);
    panel->undock(second);
    settle();
    EXPECT_EQ(panel->depth(), 180);

    panel->undock(first);
    settle();
    EXPECT_EQ(panel->depth(), 0) << "the last one leaving collapses it";
    EXPECT_EQ(panel->rememberedDepth(), 180);

    // A window of unknown size opens it to the depth it had.
    QWidget* third = fresh();
    ASSERT_TRUE(panel->dock(third));
    panel->showForm(third, true);
    settle();
    EXPECT_EQ(panel->depth(), 180);
}

TEST_F(DockPanelTest, UnknownSizeAndNothingRememberedGive200Pixels)
{
    ASSERT_EQ(panel->rememberedDepth(), 0);
    QWidget* form = fresh();
    ASSERT_TRUE(panel->dock(form));
    panel->showForm(form, true);
    settle();
    EXPECT_EQ(panel->depth(), 200);
}

TEST_F(DockPanelTest, WindowsSharingThePanelShowTabsAtItsTop)
{
    QWidget* a = floated(150);
    QWidget* b = floated(150);
    ASSERT_TRUE(panel->dock(a));
    ASSERT_TRUE(panel->dock(b));
    frame->tabifyDockWidget(panel->dockWidgetOf(a), panel->dockWidgetOf(b));
    EXPECT_EQ(frame->tabPosition(Qt::BottomDockWidgetArea), QTabWidget::North);
    QTabBar* tabs = nullptr;
    auto tabsShown = [&] {
        tabs = nullptr;
        for (QTabBar* bar : frame->findChildren<QTabBar*>())
            if (bar->isVisible() && bar->count() == 2)
                tabs = bar;
        return tabs && std::abs(panel->depth() + tabs->height() - 150) <= 2;
    };
    // The frame lays out the tabs and the panel resizes in later turns; a busy machine needs more of them.
    (void)testhelpers::runUntil(tabsShown); // the checks below say what is missing
    ASSERT_NE(tabs, nullptr) << "a tab per window";
    EXPECT_TRUE(tabs->shape() == QTabBar::RoundedNorth || tabs->shape() == QTabBar::TriangularNorth);
    QDockWidget* current = panel->dockWidgetOf(b);
    EXPECT_LT(tabs->mapTo(frame.get(), QPoint(0, 0)).y(), current->geometry().top()) << "above the windows";
    EXPECT_NEAR(panel->depth() + tabs->height(), 150, 2) << "the tab bar shares the panel's height";
}

TEST_F(DockPanelTest, TabsFaceTheMiddleOfTheFrameOnEveryEdge)
{
    const struct {
        Qt::DockWidgetArea area;
        QTabWidget::TabPosition tabs;
    } rows[] = {
        {Qt::TopDockWidgetArea, QTabWidget::South},
        {Qt::LeftDockWidgetArea, QTabWidget::East},
        {Qt::RightDockWidgetArea, QTabWidget::West},
        {Qt::BottomDockWidgetArea, QTabWidget::North},
    };
    for (const auto& row : rows) {
        TDockPanel side(frame.get(), row.area);
        EXPECT_EQ(frame->tabPosition(row.area), row.tabs) << row.area;
        side.stopFollowing();
    }
}

TEST_F(DockPanelTest, OnlyWhatTheHandlerAllowsDocksAndWithoutOneNothing)
{
    QWidget* notes = fresh();
    notes->setObjectName(QStringLiteral("notes"));
    QWidget* other = fresh();
    panel->PanelDockOver = [](QWidget* form) { return form->objectName() == QLatin1String("notes"); };
    EXPECT_FALSE(panel->dock(other));
    EXPECT_EQ(panel->dockWidgetOf(other), nullptr);
    EXPECT_TRUE(panel->dock(notes));
    panel->PanelDockOver = nullptr;
    EXPECT_FALSE(panel->accepts(notes));
    EXPECT_FALSE(panel->dock(fresh()));
}

// A form may be dragged to every site that takes it, and to no other.
TEST_F(DockPanelTest, DragTargetsAreTheSitesThatTakeTheForm)
{
    DockSite left(frame.get(), Qt::LeftDockWidgetArea);
    left.PanelDockOver = [](QWidget*) { return true; };
    panel->PanelDockOver = [](QWidget* form) { return form->objectName() == QLatin1String("notes"); };
    QWidget* notes = fresh();
    notes->setObjectName(QStringLiteral("notes"));
    QWidget* tool = fresh();
    QDockWidget* notesDock = left.carry(notes);
    QDockWidget* toolDock = left.carry(tool);
    ASSERT_TRUE(notesDock && toolDock);
    EXPECT_EQ(notesDock->allowedAreas(), Qt::LeftDockWidgetArea | Qt::BottomDockWidgetArea);
    EXPECT_EQ(toolDock->allowedAreas(), Qt::DockWidgetAreas(Qt::LeftDockWidgetArea));

    // Dropped into the panel by the user: the panel opens for it though another site made it.
    notesDock->show();
    notesDock->resize(300, 140);
    settle();
    frame->addDockWidget(Qt::BottomDockWidgetArea, notesDock);
    notesDock->setFloating(false);
    settle();
    EXPECT_EQ(panel->depth(), 140);
    left.stopFollowing();
}

// Docked at a side a form shares a column with the others: it may go down to its docked minimum
// height there; floating or docked across the bottom it keeps its own. A form that names none keeps
// its own everywhere.
TEST_F(DockPanelTest, AtASideAFormMayShrinkToItsDockedMinimumHeight)
{
    DockSite left(frame.get(), Qt::LeftDockWidgetArea);
    left.PanelDockOver = [](QWidget*) { return true; };
    QWidget* tool = fresh();
    tool->setMinimumHeight(180);
    SetDockedMinimumHeight(tool, 130);
    QWidget* plain = fresh();
    plain->setMinimumHeight(180);
    ASSERT_TRUE(left.dock(tool));
    ASSERT_TRUE(left.dock(plain));
    settle();
    struct Row {
        const char* where;
        Qt::DockWidgetArea area; // none: floating
        int tool;                // its minimum height there
    };
    const Row rows[] = {
        {"floating", Qt::NoDockWidgetArea, 180},
        {"docked on the left", Qt::LeftDockWidgetArea, 130},
        {"docked at the bottom", Qt::BottomDockWidgetArea, 180},
        {"docked on the right", Qt::RightDockWidgetArea, 130},
        {"floating again", Qt::NoDockWidgetArea, 180},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.where);
        for (QWidget* form : {tool, plain}) {
            QDockWidget* dock = left.dockWidgetOf(form);
            dock->setAllowedAreas(Qt::AllDockWidgetAreas);
            if (r.area == Qt::NoDockWidgetArea) {
                dock->setFloating(true);
            } else {
                frame->addDockWidget(r.area, dock);
                dock->setFloating(false);
            }
        }
        settle();
        EXPECT_EQ(tool->minimumHeight(), r.tool);
        EXPECT_EQ(plain->minimumHeight(), 180) << "names no docked minimum";
    }
    left.stopFollowing();
}

// The gap marker the dock layout moves along a drag: painted as a translucent rectangle in the
// active caption colour, and never in the mouse's way.
TEST_F(DockPanelTest, DockMarkerIsATranslucentRectangleTheMousePassesThrough)
{
    installDockHook(frame.get());
    installDockHook(frame.get()); // once per frame
    EXPECT_EQ(frame->findChildren<QObject*>(QStringLiteral("jex4DockHook")).size(), 1);
    auto* marker = new QRubberBand(QRubberBand::Rectangle, frame.get());
    marker->setGeometry(10, 10, 60, 40);
    marker->show();
    settle();
    EXPECT_TRUE(marker->testAttribute(Qt::WA_TransparentForMouseEvents));
    const QColor expected = DockRectColor(marker->palette());
    EXPECT_EQ(expected.alpha(), 127);
    EXPECT_EQ(expected.rgb() & 0xFFFFFF, marker->palette().color(QPalette::Active, QPalette::Highlight).rgb() & 0xFFFFFF);
    const QImage picture = marker->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    for (QPoint p : {QPoint(0, 0), QPoint(30, 20), QPoint(59, 39)}) {
        const QColor got = picture.pixelColor(p);
        EXPECT_NEAR(got.alpha(), 127, 1) << p.x() << "," << p.y();
        EXPECT_NEAR(got.red(), expected.red(), 2);
        EXPECT_NEAR(got.green(), expected.green(), 2);
        EXPECT_NEAR(got.blue(), expected.blue(), 2);
    }
    // Over the frame it lets what lies beneath show through, half and half.
    const QColor under = frame->palette().color(QPalette::Window);
    const QImage onFrame = frame->grab(marker->geometry()).toImage();
    const QColor mixed = onFrame.pixelColor(30, 20);
    auto blend = [](int top, int below) { return (top * 127 + below * 128) / 255; };
    EXPECT_NEAR(mixed.red(), blend(expected.red(), under.red()), 3);
    EXPECT_NEAR(mixed.green(), blend(expected.green(), under.green()), 3);
    EXPECT_NEAR(mixed.blue(), blend(expected.blue(), under.blue()), 3);
}

} // namespace
