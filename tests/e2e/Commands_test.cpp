// Every command a user can reach, in the running program with a project open: the main window's
// menus, tool bar and popup, the image window's popups and the project window's tree popups, in
// the states they are enabled for. None may be enabled while nothing does its work.
#include "shell/Startup.h"

#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "samples/SampleCore.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "support/CommandAudit.h"
#include "support/ProjectObjects.h"
#include "workspace/ForwardedCommand.h"
#include "workspace/ImageTreeModel.h"
#include "workspace/MeasurementTreeModel.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

class Commands : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        ASSERT_TRUE(dir.isValid());
        TF_ErrorLog::ClearLog();
        InitSettingVariables();
        ForgetSettingsStoreState();
        fake->answerMessage(mrNo); // the file association question
        CreateStartupWindows({QStringLiteral("no such file")});
        ShowMainWindow();
        QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        DestroyStartupWindows();
        InitSettingVariables();
        ForgetSettingsStoreState();
    }

    // Every window the program has made, hidden or not.
    static QList<QWidget*> programWindows()
    {
        QList<QWidget*> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            windows << w;
        return windows;
    }

    // The commands' states as the program sets them when it falls idle.
    static void idle()
    {
        QCoreApplication::processEvents();
        F_Main->AMUpdate();
        for (TF_SMDI* w : F_Main->MDIChildren())
            w->AM_MDIUpdate();
        if (F_Measurements)
            F_Measurements->AM_MeasurementsUpdate();
    }

    // A project with `images` pictures of the sample core, a path with an index point and two
    // measurements, an arrow and an anchor line of two points.
    TF_SMDI* openProject(int images)
    {
        F_Main->A_NewProject->trigger();
        QCoreApplication::processEvents();
        TF_SMDI* w = F_Main->ActiveMDIChild();
        EXPECT_NE(w, nullptr);
        if (!w)
            return nullptr;
        for (int i = 0; i < images; ++i) {
            samples::CoreRecipe recipe;
            recipe.width = 300;
            recipe.height = 60;
            const QString file = dir.filePath(QStringLiteral("core%1.png").arg(i));
            EXPECT_TRUE(samples::makeCore(recipe).save(file, "PNG"));
            EXPECT_EQ(w->LoadImage(file, true), 0);
        }
        TPath* path = w->CurrentPath;
        TIndex* index = testhelpers::addIndex(*path, QPoint(10, 20));
        testhelpers::addMeasurement(*index, QPoint(40, 20));
        testhelpers::addMeasurement(*index, QPoint(80, 20));
        w->CurrentIndex = index;
        w->A_Arrow->trigger();
        w->A_SelectionMode->trigger();
        F_Measurements->NewAnchorPoint(w, 5, 50);
        F_Measurements->NewAnchorPoint(w, 250, 50);
        F_Measurements->FillMeasurements(w, false);
        return w;
    }

    // Each popup of the project window's trees, prepared as for a right click on each of its rows.
    QStringList deadInTreePopups()
    {
        QStringList dead;
        MeasurementTreeModel* model = F_Measurements->measurementModel();
        for (TreeNode* node : model->allNodes()) {
            F_Measurements->VST->selectionModel()->select(model->indexFromNode(node),
                                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            idle();
            if (QMenu* menu = F_Measurements->VSTGetPopupMenu(node))
                dead << testhelpers::deadCommands(menu->actions());
        }
        if (QMenu* menu = F_Measurements->VSTGetPopupMenu(nullptr))
            dead << testhelpers::deadCommands(menu->actions());
        emit F_Measurements->PM_Header->aboutToShow();
        dead << testhelpers::deadCommands(F_Measurements->PM_Header->actions());
        ImageTreeModel* images = F_Measurements->imageModel();
        for (TreeNode* node : images->allNodes()) {
            F_Measurements->VST_SO->selectionModel()->select(images->indexFromNode(node),
                                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            idle();
            if (QMenu* menu = F_Measurements->VST_SOGetPopupMenu(node))
                dead << testhelpers::deadCommands(menu->actions());
        }
        return dead;
    }

    // The image window's popups as a right click opens them, in selection and alignment mode.
    static QStringList deadInImagePopups(TF_SMDI* w)
    {
        QStringList dead;
        idle();
        w->PAB_MDIPopup();
        dead << testhelpers::deadCommands(w->PAB_MDI->actions());
        dead << testhelpers::deadCommands(w->M_Draw->actions());
        w->PAB_SelectedPopup();
        dead << testhelpers::deadCommands(w->PAB_Selected->actions());
        return dead;
    }

    FakeDialogs* fake = nullptr;
    QTemporaryDir dir;
};

TEST_F(Commands, NoReachableCommandIsEnabledWithoutItsWork)
{
    struct State {
        const char* name;
        int images; // -1: no project open
    };
    for (const State& state : {State{"no project", -1}, State{"one image", 1}, State{"two images", 2}}) {
        SCOPED_TRACE(state.name);
        TF_SMDI* w = state.images >= 0 ? openProject(state.images) : nullptr;
        idle();
        QStringList dead = testhelpers::deadCommands(testhelpers::reachableActions(programWindows()));
        if (w) {
            dead << deadInImagePopups(w);
            dead << deadInTreePopups();
        }
        dead.removeDuplicates();
        EXPECT_TRUE(dead.isEmpty()) << dead.join(QLatin1Char('\n')).toStdString();
        if (w) {
            w->Project->Changed = false;
            for (const auto& so : w->StitchList)
                so->ImageChanged = false;
            w->fImageLoadError = true; // closes without the close-project dialog
            w->close();
            QCoreApplication::processEvents();
        }
    }
}

// The audit itself: a handler counts, the toolkit's own connections for menus, tool bars and
// buttons do not, and an item that passes on is as alive as its command.
TEST_F(Commands, TheAuditTellsHandledFromDeadCommands)
{
    QWidget window;
    QMenu menu(&window);
    QAction dead(QStringLiteral("Dead"));
    QAction handled(QStringLiteral("Handled"));
    QAction checkable(QStringLiteral("Checkable"));
    checkable.setCheckable(true);
    QObject::connect(&handled, &QAction::triggered, &window, [] {});
    QObject::connect(&checkable, &QAction::toggled, &window, [](bool) {});
    for (QAction* a : {&dead, &handled, &checkable}) {
        menu.addAction(a);
        window.addAction(a);
    }
    QMenu sub(QStringLiteral("Sub"));
    menu.addMenu(&sub);
    QAction passesOn(QStringLiteral("Passes on"));
    menu.addAction(&passesOn);
    ForwardCommand(&passesOn, &dead);
    QList<QAction*> all = testhelpers::reachableActions({&window});
    EXPECT_EQ(testhelpers::deadCommands(all), (QStringList{QStringLiteral("Dead"), QStringLiteral("Passes on (passes on to Dead)")}));
    dead.setEnabled(false);
    EXPECT_EQ(testhelpers::deadCommands(all), QStringList{QStringLiteral("Passes on (passes on to Dead)")});
    passesOn.setEnabled(false);
    EXPECT_TRUE(testhelpers::deadCommands(all).isEmpty());
    EXPECT_EQ(testhelpers::ownHandlers(&handled), 1);
    EXPECT_EQ(testhelpers::ownHandlers(&dead), 0);
}

} // namespace
