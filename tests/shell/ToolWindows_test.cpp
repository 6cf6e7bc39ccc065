// The tool windows in the main window: their menu commands, tool-bar buttons and shortcuts, the
// checked states that follow them, docking into the left site, and their options and places kept
// across a restart by the settings store.
#include "shell/TF_Main.h"

#include "shell/TColorPickerButton.h"
#include "shell/TF_FileManager.h"
#include "shell/TF_Setup.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/Settings.h"
#include "project/ProjectXML.h"
#include "project/TJEXProject.h"
#include "project/TArea.h"
#include "project/TStitchObject.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "support/ModalDialogs.h"
#include "support/ProjectObjects.h"
#include "support/TestHelpers.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_Histogram.h"
#include "workspace/TF_Notes.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TF_Tracker.h"
#include "workspace/TF_Zoom.h"
#include "workspace/TRichTextEditor.h"
#include "workspace/ToolWindows.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDockWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <memory>

namespace {

class ToolWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        TF_ErrorLog::ClearLog();
        InitSettingVariables();
        ForgetSettingsStoreState();
        WindowValues() = StoredWindowValues();
        start();
    }
    void TearDown() override
    {
        stop();
        InitSettingVariables();
        ForgetSettingsStoreState();
    }
    // The main window and its tool windows, made and shown as the program does.
    void start()
    {
        main = std::make_unique<TF_Main>();
        F_Main = main.get();
        F_Measurements = new TF_Measurements(main.get());
        F_BirdView = new TF_BirdView(main.get());
        F_Zoom = new TF_Zoom(main.get());
        F_Histogram = new TF_Histogram(main.get());
        F_Tracker = new TF_Tracker(main.get());
        F_Notes = new TF_Notes(main.get());
        F_Setup = new TF_Setup(main.get());
        // The file manager docks above the project window at every start.
        F_FileManager = new TF_FileManager(main.get());
        fake->answerMessage(mrNo); // the file association
        main->show();
        QCoreApplication::processEvents();
    }
    // Closing writes the settings; the windows go with the main window.
    void stop()
    {
        if (!main)
            return;
        main->close();
        main.reset();
        F_Measurements = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void restart()
    {
        stop();
        WindowValues() = StoredWindowValues();
        ForgetSettingsStoreState();
        InitSettingVariables();
        start();
    }
    QAbstractButton* toolButton(QAction* action) const
    {
        return qobject_cast<QAbstractButton*>(main->AMM2->widgetForAction(action));
    }

    FakeDialogs* fake = nullptr;
    std::unique_ptr<TF_Main> main;
};

TEST_F(ToolWindows, EachOpensAndClosesFromItsCommandButtonAndKey)
{
    struct Row {
        const char* name;
        QWidget* form;
        QAction* command;
        QAction* button; // the tool bar's action, none when the window has no button
        QKeySequence key;
        bool inMenu = true; // the tracker works through its key only
    };
    const Row rows[] = {
        {"bird view", F_BirdView, main->A_WindowBirdView, nullptr, QKeySequence(Qt::Key_F7)},
        {"magnifier", F_Zoom, main->A_WindowZoom, main->A_Zoom, QKeySequence(Qt::Key_F2)},
        {"histogram", F_Histogram, main->A_WindowHistogram, main->A_WindowHistogram, QKeySequence(Qt::SHIFT | Qt::Key_F6)},
        {"tracker", F_Tracker, main->A_WindowTRacker, nullptr, QKeySequence(Qt::SHIFT | Qt::Key_F5), false},
        {"notes", F_Notes, main->A_Notes, nullptr, QKeySequence(Qt::Key_F9)},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_FALSE(r.form->isVisible());
        EXPECT_TRUE(r.command->isEnabled());
        EXPECT_EQ(r.command->shortcut(), r.key);
        EXPECT_EQ(main->M_Windows->actions().contains(r.command), r.inMenu) << "in the Windows menu";

        r.command->trigger();
        EXPECT_TRUE(r.form->isVisible()) << "the menu command shows it";
        main->AMUpdate();
        EXPECT_TRUE(r.command->isChecked());
        r.command->trigger();
        EXPECT_FALSE(r.form->isVisible()) << "and hides it";
        main->AMUpdate();
        EXPECT_FALSE(r.command->isChecked());

        if (r.button) {
            QAbstractButton* button = toolButton(r.button);
            ASSERT_NE(button, nullptr);
            QTest::mouseClick(button, Qt::LeftButton);
            EXPECT_TRUE(r.form->isVisible()) << "the tool-bar button shows it";
            main->AMUpdate();
            EXPECT_TRUE(button->isChecked());
            QTest::mouseClick(button, Qt::LeftButton);
            EXPECT_FALSE(r.form->isVisible());
        }

        QApplication::setActiveWindow(main.get());
        QTest::keySequence(main.get(), r.key);
        EXPECT_TRUE(r.form->isVisible()) << "the shortcut shows it";
        QTest::keySequence(main.get(), r.key);
        EXPECT_FALSE(r.form->isVisible());
    }
}

// Shown the first time, each opens docked on the left, as wide as the dock, not as a small window
// of its own over the others; it can float and dock again.
TEST_F(ToolWindows, ToolWindowsOpenDockedOnTheLeftAtAUsableSizeAndFloatAgain)
{
    for (QWidget* form : std::initializer_list<QWidget*>{F_BirdView, F_Zoom, F_Histogram, F_Tracker}) {
        SCOPED_TRACE(form->objectName().toStdString());
        QDockWidget* carrier = CarrierOf(form);
        ASSERT_NE(carrier, nullptr) << "carried in a dock widget from the first showing on";
        EXPECT_FALSE(carrier->isFloating());
        EXPECT_FALSE(form->isVisible());

        ShowToolWindow(form, true);
        QTest::qWait(20);
        EXPECT_TRUE(main->IsDocked(form));
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(main->dockWidgetArea(carrier), Qt::LeftDockWidgetArea);
        EXPECT_GE(main->GetDockPos(form).width(), 150) << "as wide as the left dock";

        main->P_Dock->undock(form);
        EXPECT_FALSE(main->IsDocked(form));
        EXPECT_TRUE(carrier->isFloating());
        ASSERT_TRUE(main->P_Dock->dock(form));
        ShowToolWindow(form, false);
    }
}

TEST_F(ToolWindows, NotesDockAtTheBottomAndKeepTheirFontAndPlace)
{
    main->A_Notes->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(F_Notes->isVisible());
    EXPECT_TRUE(main->DP_Bottom->isDocked(F_Notes)) << "docked at the bottom";
    EXPECT_TRUE(F_Notes->Docked);
    EXPECT_EQ(main->dockWidgetArea(CarrierOf(F_Notes)), Qt::BottomDockWidgetArea);
    F_Notes->RTFEditor->SelectFont(QStringLiteral("DejaVu Sans Mono"), 14, 0x00102030);

    restart();
    EXPECT_TRUE(F_Notes->isVisible());
    EXPECT_TRUE(main->DP_Bottom->isDocked(F_Notes));
    EXPECT_TRUE(F_Notes->Docked);
    EXPECT_EQ(F_Notes->RTFEditor->FontName, QStringLiteral("DejaVu Sans Mono"));
    EXPECT_EQ(F_Notes->RTFEditor->FontSize, 14);
    EXPECT_EQ(F_Notes->RTFEditor->FontColor, 0x00102030);

    main->AMUpdate(); // as the idle loop does: the command shows the window's state
    EXPECT_TRUE(main->A_Notes->isChecked());
    main->A_Notes->trigger(); // off: floats where it stood, hidden
    EXPECT_FALSE(F_Notes->isVisible());
    EXPECT_FALSE(main->DP_Bottom->isDocked(F_Notes));
    EXPECT_FALSE(F_Notes->Docked);
}

TEST_F(ToolWindows, NotesTravelWithTheirProjectThroughSavingAndLoading)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("notes.jex4"));
    main->A_NewProject->trigger();
    QCoreApplication::processEvents();
    TF_SMDI* first = main->ActiveMDIChild();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(F_Notes->EditObject(), first) << "the new window's notes are edited";
    F_Notes->RTFEditor->Editor->insertPlainText(QStringLiteral("Core 12, frost ring"));
    EXPECT_TRUE(first->Project->Changed);
    ASSERT_EQ(SaveProjectXML(first, file, false), 0);
    first->Project->Changed = false;
    first->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(F_Notes->EditObject(), nullptr);

    TF_SMDI* loaded = main->ProcessLoadProject(file);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(F_Notes->EditObject(), loaded);
    EXPECT_EQ(F_Notes->RTFEditor->Editor->toPlainText(), QStringLiteral("Core 12, frost ring"));
    EXPECT_FALSE(loaded->Project->Changed) << "showing the notes changes nothing";

    // A file that cannot be read leaves the notes with the window in front.
    fake->answerMessage(mrOk); // the reader says the file is missing
    EXPECT_EQ(main->ProcessLoadProject(dir.filePath(QStringLiteral("missing.jex4"))), nullptr);
    EXPECT_EQ(fake->unusedAnswers(), 0);
    EXPECT_EQ(F_Notes->EditObject(), main->ActiveMDIChild());
    EXPECT_EQ(F_Notes->RTFEditor->Editor->toPlainText(), QStringLiteral("Core 12, frost ring"));
    loaded->Project->Changed = false;
}

// Tool windows docked on the left can share one place as tabs, and stay so across a restart.
TEST_F(ToolWindows, TabbedToolWindowsStayTabbedAcrossARestart)
{
    for (QWidget* form : std::initializer_list<QWidget*>{F_BirdView, F_Zoom}) {
        ShowToolWindow(form, true);
        ASSERT_TRUE(main->P_Dock->dock(form));
    }
    main->tabifyDockWidget(CarrierOf(F_BirdView), CarrierOf(F_Zoom));
    QCoreApplication::processEvents();
    ASSERT_TRUE(main->tabifiedDockWidgets(CarrierOf(F_BirdView)).contains(CarrierOf(F_Zoom)));

    restart();
    QCoreApplication::processEvents();
    ASSERT_NE(CarrierOf(F_BirdView), nullptr);
    EXPECT_TRUE(main->IsDocked(F_BirdView));
    EXPECT_TRUE(main->IsDocked(F_Zoom));
    EXPECT_TRUE(main->tabifiedDockWidgets(CarrierOf(F_BirdView)).contains(CarrierOf(F_Zoom)));
}

// One call lets a window dock: it floats in its dock widget where it stood, may go to the left
// site only (the bottom panel takes the notes alone), and docking or floating it resizes the left
// dock to what is docked there.
TEST_F(ToolWindows, ARegisteredWindowDocksOnTheLeftAndResizesIt)
{
    auto* form = new QWidget(main.get(), Qt::Tool);
    form->setWindowTitle(QStringLiteral("Another tool"));
    form->setMinimumWidth(430);
    form->setGeometry(200, 150, 430, 300);
    form->show();
    QDockWidget* dock = main->RegisterToolWindow(form);
    ASSERT_NE(dock, nullptr);
    EXPECT_EQ(main->RegisterToolWindow(form), dock) << "once";
    EXPECT_FALSE(dock->isFloating());
    EXPECT_TRUE(main->IsDocked(form));
    EXPECT_TRUE(form->isVisible());
    dock->setFloating(true);
    EXPECT_EQ(dock->allowedAreas(), Qt::DockWidgetAreas(Qt::LeftDockWidgetArea));
    EXPECT_FALSE(main->DP_Bottom->accepts(form));

    main->P_Dock->setWidth(2);
    dock->setFloating(false);
    EXPECT_TRUE(testhelpers::runUntil([&] { return main->IsDocked(form) && main->P_Dock->width() >= 430; }));
    EXPECT_TRUE(main->IsDocked(form));
    EXPECT_GE(main->P_Dock->width(), 430) << "the left dock widened to the docked window";
}

// The width the user gives the left dock stays while tool windows come and go there, whatever
// width each would take of its own, and comes back after a restart.
TEST_F(ToolWindows, TheLeftDockKeepsTheWidthTheUserGaveIt)
{
    main->resize(1200, 900);
    QCoreApplication::processEvents();
    QDockWidget* files = CarrierOf(F_FileManager);
    ASSERT_NE(files, nullptr);
    ASSERT_TRUE(main->IsDocked(F_FileManager));
    const int widths[] = {420, 260};
    for (int width : widths) {
        main->resizeDocks({files}, {width}, Qt::Horizontal);
        QCoreApplication::processEvents();
        ASSERT_EQ(files->width(), width);
        for (QWidget* form : std::initializer_list<QWidget*>{F_Histogram, F_Tracker, F_BirdView, F_Zoom}) {
            SCOPED_TRACE(form->objectName().toStdString() + " at " + std::to_string(width));
            ShowToolWindow(form, true);
            QCoreApplication::processEvents();
            ASSERT_TRUE(main->IsDocked(form));
            // No narrower than the window can be while it shows.
            const int least = qMax(width, CarrierOf(form)->minimumSizeHint().width());
            EXPECT_EQ(files->width(), least) << "shown";
            EXPECT_EQ(CarrierOf(form)->width(), least);
            ShowToolWindow(form, false);
            QCoreApplication::processEvents();
            EXPECT_EQ(files->width(), width) << "hidden again";
        }
    }

    restart();
    EXPECT_EQ(CarrierOf(F_FileManager)->width(), widths[1]) << "after a restart";
}

TEST_F(ToolWindows, OptionsPlacesAndVisibilitySurviveARestart)
{
    F_Zoom->crosshaircolor = 0x00123456;
    F_Zoom->drawcrosshairs = false;
    F_BirdView->Thumbnailcolor = 0x00654321;
    F_BirdView->BirdHighLight = false;
    F_Tracker->TB_Ver->setValue(321);
    F_Tracker->UD_Ordinate->setValue(200);
    F_Tracker->SB_Log->setChecked(false);
    F_Tracker->SB_DisplayCross->setChecked(false);
    F_Tracker->SE_Smooth->setValue(7);
    main->A_WindowZoom->trigger();
    CarrierOf(F_Zoom)->setFloating(true);
    CarrierOf(F_Zoom)->move(130, 140);
    ShowToolWindow(F_BirdView, true);
    ASSERT_TRUE(main->P_Dock->dock(F_BirdView));
    QCoreApplication::processEvents();

    restart();
    EXPECT_EQ(F_Zoom->crosshaircolor, 0x00123456);
    EXPECT_FALSE(F_Zoom->drawcrosshairs);
    EXPECT_EQ(F_BirdView->Thumbnailcolor, 0x00654321);
    EXPECT_FALSE(F_BirdView->BirdHighLight);
    EXPECT_EQ(F_Tracker->TB_Ver->value(), 321);
    EXPECT_EQ(F_Tracker->UD_Ordinate->value(), 200);
    EXPECT_FALSE(F_Tracker->SB_Log->isChecked());
    EXPECT_FALSE(F_Tracker->leftAxis().Logarithmic);
    EXPECT_FALSE(F_Tracker->SB_DisplayCross->isChecked());
    EXPECT_EQ(F_Tracker->SE_Smooth->value(), 7);
    EXPECT_TRUE(F_Zoom->isVisible());
    EXPECT_EQ(CarrierOf(F_Zoom)->pos(), QPoint(130, 140));
    EXPECT_TRUE(F_BirdView->isVisible());
    EXPECT_TRUE(main->IsDocked(F_BirdView)) << "docked it was, docked it comes back";
}

TEST_F(ToolWindows, SetupFromTheirPopupsOpensTheHelperPageAndChangesThem)
{
    struct Row {
        const char* name;
        QAction* setup;
    };
    for (const Row& r : {Row{"bird view", F_BirdView->PM_Setup}, Row{"magnifier", F_Zoom->PM_Setup}}) {
        SCOPED_TRACE(r.name);
        EXPECT_TRUE(r.setup->isEnabled());
        int page = -1;
        testhelpers::whenShown<TF_Setup>([&page](TF_Setup* d) {
            page = d->TV_Select->indexOfTopLevelItem(d->TV_Select->currentItem());
            d->CB_ZoomDisplayCrosshairs->setChecked(!F_Zoom->drawcrosshairs);
            d->CPB_ZoomCrosshairsColor->setColor(0x00102030);
            d->CPB_BirdThumbnailcolor->setColor(0x00405060);
            d->CB_BirdHighlight->setChecked(!F_BirdView->BirdHighLight);
            d->B_Apply->click();
            d->B_Cancel->click();
        });
        const bool crosshairs = F_Zoom->drawcrosshairs, highlight = F_BirdView->BirdHighLight;
        r.setup->trigger();
        EXPECT_EQ(page, 3) << "\"Helper windows\"";
        EXPECT_EQ(F_Zoom->drawcrosshairs, !crosshairs);
        EXPECT_EQ(F_Zoom->crosshaircolor, 0x00102030);
        EXPECT_EQ(F_BirdView->Thumbnailcolor, 0x00405060);
        EXPECT_EQ(F_BirdView->BirdHighLight, !highlight);
    }
}

TEST_F(ToolWindows, BirdViewShowsTheActiveWindowWhenShown)
{
    main->A_NewProject->trigger();
    QCoreApplication::processEvents();
    TF_SMDI* w = main->ActiveMDIChild();
    ASSERT_NE(w, nullptr);
    TStitchObject* so = testhelpers::addImage(*w, 0, 0, 3000, 600);
    so->FD->SetSize(3000, 600, 24);
    w->UpdateArea();

    main->A_WindowBirdView->trigger();
    EXPECT_EQ(F_BirdView->MDIForm, w);
    EXPECT_EQ(F_BirdView->Zoom, w->BirdZoom(F_BirdView->width()));

    main->A_WindowBirdView->trigger();
    w->setZoom(w->zoom() + 3);
    F_BirdView->resize(F_BirdView->width() / 2, F_BirdView->height());
    main->A_WindowBirdView->trigger();
    EXPECT_EQ(F_BirdView->Zoom, w->BirdZoom(F_BirdView->width())) << "framed with the bird zoom of its width now";
    w->Project->Changed = false; // closes without asking
}

// A long core's overview is a strip a few pixels high: docked among the other windows, the bird
// view keeps a usable height and draws the overview at its top; floating, it is as high as the
// overview.
TEST_F(ToolWindows, DockedBirdViewOfALongCoreKeepsAUsableHeight)
{
    main->A_NewProject->trigger();
    QCoreApplication::processEvents();
    TF_SMDI* w = main->ActiveMDIChild();
    ASSERT_NE(w, nullptr);
    TStitchObject* so = testhelpers::addImage(*w, 0, 0, 6000, 800);
    so->FD->SetSize(6000, 800, 24);
    w->UpdateArea();

    main->A_WindowBirdView->trigger();
    QCoreApplication::processEvents();
    ASSERT_TRUE(main->IsDocked(F_BirdView));
    const int z = w->BirdZoom(F_BirdView->width());
    const int strip = w->ScaleBird(w->Area->height(), z);
    ASSERT_LT(strip, TF_BirdView::DockedHeight) << "the overview alone is a strip";
    EXPECT_GE(F_BirdView->height(), TF_BirdView::DockedHeight);
    EXPECT_EQ(F_BirdView->Zoom, z) << "the overview is scaled by the width alone";
    EXPECT_EQ(w->B_Bird.size(), F_BirdView->size());
    EXPECT_EQ(F_BirdView->view().size(), F_BirdView->size());

    main->P_Dock->undock(F_BirdView);
    w->UpdateBird(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(F_BirdView->height(), w->ScaleBird(w->Area->height(), w->BirdZoom(F_BirdView->width())))
        << "floating, as high as the overview";
    w->Project->Changed = false;
}

// Bringing another image window to the front is enough: no Refresh.
TEST_F(ToolWindows, HistogramAndTrackerFollowTheWindowInFront)
{
    QList<TF_SMDI*> windows;
    for (int i = 0; i < 2; ++i) {
        main->A_NewProject->trigger();
        QCoreApplication::processEvents();
        TF_SMDI* w = main->ActiveMDIChild();
        ASSERT_NE(w, nullptr);
        TStitchObject* so = testhelpers::addImage(*w, 0, 0, 300, 60);
        so->FD->SetSize(300, 60, 24);
        w->UpdateArea();
        windows << w;
    }
    main->A_WindowHistogram->trigger();
    main->A_WindowTRacker->trigger();
    ASSERT_TRUE(F_Histogram->isVisible());
    ASSERT_TRUE(F_Tracker->isVisible());
    for (TF_SMDI* w : {windows[0], windows[1], windows[0]}) {
        main->ActivateMDIChild(w);
        QCoreApplication::processEvents();
        ASSERT_EQ(main->ActiveMDIChild(), w);
        EXPECT_EQ(F_Histogram->MDI, w);
        EXPECT_EQ(F_Tracker->MDI, w);
    }
    for (TF_SMDI* w : windows)
        w->Project->Changed = false;
}

// A small screen with five windows docked on the left: each keeps at least the height it needs
// to be of use, under a title bar as high as its text needs, none laid over another and none
// under the status bar. Crowded, the project window once lay over the histogram's title bar and
// the magnifier shrank to its own.
TEST_F(ToolWindows, CrowdedLeftDockLeavesEveryWindowUsableUnderAWholeTitleBar)
{
    main->resize(1024, 768);
    main->A_NewProject->trigger();
    QCoreApplication::processEvents();
    TF_SMDI* w = main->ActiveMDIChild();
    ASSERT_NE(w, nullptr);
    TStitchObject* so = testhelpers::addImage(*w, 0, 0, 6000, 800);
    so->FD->SetSize(6000, 800, 24);
    w->UpdateArea();
    for (QAction* command : {main->A_WindowBirdView, main->A_WindowZoom, main->A_WindowHistogram})
        command->trigger();
    testhelpers::turnEventLoop();
    ASSERT_EQ(main->size(), QSize(1024, 768));

    struct Row {
        QWidget* form;
        int height; // least height of its contents that is of use
        int width;
    };
    const Row rows[] = {
        {F_FileManager, 100, 50}, // both lists a few rows high
        {F_Measurements, 130, 20},
        {F_BirdView, TF_BirdView::DockedHeight, 50},
        {F_Zoom, TF_Zoom::DockedHeight, TF_Zoom::DockedHeight}, // at least that square
        {F_Histogram, 130, 180},
    };
    const int statusTop = main->statusBar()->geometry().top();
    QList<QRect> carriers;
    for (const Row& r : rows) {
        QDockWidget* carrier = CarrierOf(r.form);
        ASSERT_NE(carrier, nullptr);
        ASSERT_TRUE(main->IsDocked(r.form));
        ASSERT_TRUE(r.form->isVisible());
        carriers << carrier->geometry();
    }
    for (const Row& r : rows) {
        SCOPED_TRACE(r.form->objectName().toStdString());
        QDockWidget* carrier = CarrierOf(r.form);
        // The contents as far as the carrier shows them; the other carriers lie clear of it.
        const QRect shown = QRect(r.form->mapTo(main.get(), QPoint(0, 0)), r.form->size()) & carrier->geometry();
        EXPECT_GE(shown.height(), r.height) << "carrier " << carrier->height() << ", contents " << r.form->height();
        EXPECT_GE(shown.width(), r.width);
        EXPECT_LE(carrier->geometry().bottom(), statusTop) << "above the status bar";
        for (const QRect& other : carriers)
            EXPECT_TRUE(other == carrier->geometry() || !carrier->geometry().intersects(other)) << "laid over another";
        // The title bar: the height the carrier asks for above the least contents, at least a line
        // of its font.
        const int title = carrier->minimumSizeHint().height() - r.form->minimumHeight();
        EXPECT_GE(title, carrier->fontMetrics().height());
        EXPECT_GE(r.form->y(), title) << "the title bar is whole";
    }
    w->Project->Changed = false;
}

// Floating, every tool window belongs to the main window as a tool window of it: the window
// manager keeps it above the main window, in its own order, when the main window comes to the
// front. The stacking itself shows only under a window manager; what asks for it shows here.
TEST_F(ToolWindows, FloatingToolWindowsStayToolWindowsOfTheMainWindow)
{
    main->A_Notes->trigger();
    for (QAction* command : {main->A_WindowBirdView, main->A_WindowZoom, main->A_WindowHistogram, main->A_WindowTRacker})
        command->trigger();
    const std::initializer_list<QWidget*> forms = {F_FileManager, F_Measurements, F_BirdView, F_Zoom,
                                                   F_Histogram,   F_Tracker,      F_Notes};
    for (QWidget* form : forms) {
        QDockWidget* carrier = CarrierOf(form);
        ASSERT_NE(carrier, nullptr) << form->objectName().toStdString();
        carrier->setFloating(true);
    }
    QApplication::setActiveWindow(main.get());
    main->activateWindow();
    main->raise();
    testhelpers::turnEventLoop();
    ASSERT_NE(main->windowHandle(), nullptr);
    for (QWidget* form : forms) {
        SCOPED_TRACE(form->objectName().toStdString());
        QDockWidget* carrier = CarrierOf(form);
        EXPECT_TRUE(carrier->isFloating());
        EXPECT_TRUE(carrier->isVisible()) << "still shown with the main window in front";
        EXPECT_TRUE(carrier->isWindow());
        EXPECT_EQ(carrier->windowType(), Qt::Tool);
        EXPECT_EQ(carrier->parentWidget(), main.get());
        ASSERT_NE(carrier->windowHandle(), nullptr);
        EXPECT_EQ(carrier->windowHandle()->transientParent(), main->windowHandle()) << "kept above the main window";
        EXPECT_FALSE(form->isWindow()) << "the form sits inside its carrier, not in a window of its own";
    }
}

} // namespace
