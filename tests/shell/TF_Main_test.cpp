// Main window frame: cursors and hints of the screen modes, project list, caption, command
// enabling, closing, command line, wheel zoom, key preview, drops, docking and the exception log.
#include "shell/TF_Main.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "samples/SampleCore.h"
#include "shell/TF_ErrorLog.h"
#include "support/ProjectObjects.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QSet>
#include <QTest>
#include <QToolBar>
#include <QUrl>
#include <gtest/gtest.h>

#include <memory>

namespace {

// A loaded 24-bit image of the given size at the window's origin, its pixels all black.
TStitchObject* addLoadedImage(TF_SMDI& w, int width = 200, int height = 100)
{
    TStitchObject* so = testhelpers::addImage(w, 0, 0, width, height);
    so->FD->SetSize(width, height, 24);
    so->Loaded = true;
    return so;
}

// A main window with the project tool window, as the program starts them.
class Frame : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        TF_ErrorLog::ClearLog();
        InitSettingVariables();
        main = std::make_unique<TF_Main>();
        F_Main = main.get();
        F_Measurements = new TF_Measurements(main.get());
    }
    void TearDown() override
    {
        main.reset(); // takes the image and tool windows along
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetScreenCursorNumber(crDefault);
        InitSettingVariables();
    }
    // Shows the frame; its first showing asks about the file association once.
    void showFrame()
    {
        fake->answerMessage(mrNo);
        main->show();
        QCoreApplication::processEvents();
    }
    TF_SMDI* newWindow()
    {
        main->A_NewProject->trigger();
        QCoreApplication::processEvents();
        return main->ActiveMDIChild();
    }
    QStringList logTexts() const
    {
        QStringList texts;
        for (const auto& e : TF_ErrorLog::Entries())
            texts << e->AMessage;
        return texts;
    }

    FakeDialogs* fake = nullptr;
    std::unique_ptr<TF_Main> main;
};

// ---- cursors ----

TEST_F(Frame, TwelveProgramCursorsHaveTheirNamesAndPictures)
{
    const char* names[] = {"XWhite", "XAnchor", "XBlackWhite1", "XScissors", "XRedPin", "XLupe",
                           "XHand", "XYellowPin", "XRed", "XBlack", "XMover", "XDoubleCross"};
    QSet<qint64> pictures;
    for (int i = 0; i < 12; ++i) {
        const int number = -53 - i;
        SCOPED_TRACE(number);
        EXPECT_EQ(ProgramCursorName(number), QString::fromLatin1(names[i]));
        const QCursor c = CursorByNumber(number);
        ASSERT_EQ(c.shape(), Qt::BitmapCursor);
        ASSERT_FALSE(c.pixmap().isNull());
        pictures.insert(c.pixmap().toImage().cacheKey());
        // Registered once: every lookup gives the same picture.
        EXPECT_EQ(CursorByNumber(number).pixmap().cacheKey(), c.pixmap().cacheKey());
    }
    EXPECT_EQ(pictures.size(), 12);
    EXPECT_TRUE(ProgramCursorName(-52).isEmpty());
    EXPECT_EQ(CursorByNumber(-65).shape(), Qt::ArrowCursor);
}

bool sameCursor(const QCursor& a, const QCursor& b)
{
    if (a.shape() != b.shape())
        return false;
    return a.shape() != Qt::BitmapCursor || a.pixmap().cacheKey() == b.pixmap().cacheKey();
}

TEST_F(Frame, ScreenModeGivesCursorAndHint)
{
    const QString selectHint = QStringLiteral("Click to select object, hold ALT to drag selection.");
    const QString alignHint = QStringLiteral("(CTRL)+Click to select image(s), hold ALT to drag selection.");
    struct Row {
        int mode;
        int mCursor, iCursor, sCursor;
        bool cad, switchOff;
        int expected;
        QString hint;
    };
    const Row rows[] = {
        {mmSelect, 1, 2, 3, false, false, crDefault, selectHint},
        {mmDPIPoint1, 1, 2, 3, false, false, crXRed, {}},
        {mmDPIPoint2, 1, 2, 4, false, false, crXRedPin, {}},
        {mmDPIDone, 1, 2, 3, false, false, crDefault, {}},
        {mmNewIndex, 1, 2, 3, false, false, crXWhite, {}},
        {mmAnchorLine, 1, 5, 3, false, false, crXYellowPin, {}},
        {mmNewMeasurement, 1, 2, 3, false, false, crXBlack, {}},
        {mmArrowStart, 0, 2, 3, false, false, crDefault, {}},
        {mmArrowEnd, 3, 2, 3, false, false, crXRed, {}},
        {mmRectangleStart, 4, 2, 3, false, false, crXRedPin, {}},
        {mmRectangleEnd, 5, 2, 3, false, false, crXYellowPin, {}},
        {mmAlignImages, 1, 2, 3, false, false, crXMover, alignHint},
        {mmSelectRegion, 1, 2, 3, false, false, crDefault, {}},
        // The crosshair drawn by the window replaces the cursor only with both settings.
        {mmNewMeasurement, 1, 2, 3, true, false, crXBlack, {}},
        {mmNewMeasurement, 1, 2, 3, true, true, crNone, {}},
        {mmAlignImages, 1, 2, 3, true, true, crNone, alignHint},
        // A setting out of range must not read past the table.
        {mmNewMeasurement, 99, 2, 3, false, false, crXYellowPin, {}},
    };
    showFrame();
    TF_SMDI* w = newWindow();
    ASSERT_NE(w, nullptr);
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << r.mode << " cad " << r.cad << " off " << r.switchOff);
        SettingMCursor = r.mCursor;
        SettingICursor = r.iCursor;
        SettingSCursor = r.sCursor;
        SettingCADCursor = r.cad;
        SettingSwitchOffCursor = r.switchOff;
        w->SB_MDIPanels[4]->setText(QStringLiteral("old"));
        w->ApplyScreenMode(r.mode);
        main->SetScreenCursor();
        EXPECT_TRUE(sameCursor(w->cursor(), CursorByNumber(r.expected)))
            << "shape " << w->cursor().shape();
        EXPECT_EQ(w->SB_MDIPanels[4]->text(), r.hint);
        EXPECT_EQ(ScreenCursorNumber(), crDefault);
    }
}

// The hint panel takes the rest of the status bar: in a window wide enough the whole hint shows,
// and the panel grows and shrinks with the window.
TEST_F(Frame, ModeHintsGetTheRestOfTheStatusBar)
{
    showFrame();
    main->resize(1400, 900);
    TF_SMDI* w = newWindow();
    ASSERT_NE(w, nullptr);
    QLabel* panel = w->SB_MDIPanels[4];
    for (int width : {1000, 1200}) {
        w->mdiFrame()->resize(width, 400);
        for (int mode : {mmSelect, mmAlignImages}) {
            SCOPED_TRACE(testing::Message() << "width " << width << " mode " << mode);
            w->ApplyScreenMode(mode);
            main->SetScreenCursor();
            QCoreApplication::processEvents();
            const QString hint = panel->text();
            ASSERT_FALSE(hint.isEmpty());
            EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(hint));
            EXPECT_LE(panel->geometry().right(), w->SB_MDI->contentsRect().right());
            // The rest of the bar, whatever the hint.
            EXPECT_GE(panel->geometry().right(), w->SB_MDI->contentsRect().right() - 20);
        }
    }
    w->mdiFrame()->resize(500, 300);
    QCoreApplication::processEvents();
    EXPECT_GE(panel->width(), 60);
    EXPECT_LE(panel->geometry().right(), w->SB_MDI->contentsRect().right());
}

TEST_F(Frame, PanningSetsTheScreenCursorAndNoWindowClearsIt)
{
    showFrame();
    TF_SMDI* w = newWindow();
    ASSERT_NE(w, nullptr);
    ImagePanning = true;
    w->SB_MDIPanels[4]->setText(QStringLiteral("kept"));
    main->SetScreenCursor();
    EXPECT_EQ(ScreenCursorNumber(), crSizeAll);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::SizeAllCursor);
    EXPECT_EQ(w->SB_MDIPanels[4]->text(), QStringLiteral("kept"));

    ImagePanning = false;
    w->ApplyScreenMode(mmSelect);
    main->SetScreenCursor();
    EXPECT_EQ(ScreenCursorNumber(), crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    SetScreenCursorNumber(crXDoubleCross);
    w->Project->Changed = false;
    main->CloseMDI->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    main->SetScreenCursor();
    EXPECT_EQ(ScreenCursorNumber(), crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// ---- project list and caption ----

TEST_F(Frame, ProjectListHoldsOneCheckedEntryPerWindow)
{
    showFrame();
    TF_SMDI* a = newWindow();
    TF_SMDI* b = newWindow();
    ASSERT_TRUE(a && b && a != b);
    b->Project->Filename = QStringLiteral("/data/Oak & Ash.jex4");
    a->Project->Filename.clear();
    main->UpdateProjectList();

    QList<QAction*> entries;
    for (QAction* item : main->M_Projects->actions())
        if (!item->isSeparator())
            entries << item;
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0]->text(), a->Project->Name + QStringLiteral(" [Not saved]"));
    // The ampersand of the name is shown, not taken as an access key.
    EXPECT_EQ(entries[1]->text(), QStringLiteral("/data/Oak && Ash.jex4 [/data/Oak && Ash.jex4]"));
    EXPECT_FALSE(entries[0]->isChecked());
    EXPECT_TRUE(entries[1]->isChecked());
    EXPECT_TRUE(main->M_Projects->actions().first()->isSeparator()); // the fixed first item stays

    entries[0]->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(main->ActiveMDIChild(), a);
    main->UpdateProjectList();
    int checked = 0;
    for (QAction* item : main->M_Projects->actions())
        checked += item->isChecked() ? 1 : 0;
    EXPECT_EQ(checked, 1);
}

// After a window closed, the next new one never takes a name another open window bears, and
// the menu tells the unsaved projects apart.
TEST_F(Frame, UnsavedProjectsHaveNamesOfTheirOwnInTheMenu)
{
    showFrame();
    TF_SMDI* first = newWindow();
    TF_SMDI* second = newWindow();
    ASSERT_TRUE(first && second);
    first->Project->Changed = false;
    main->ActivateMDIChild(first);
    main->CloseMDI->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(main->MDIChildren().size(), 1);
    TF_SMDI* third = newWindow();
    TF_SMDI* fourth = newWindow();
    ASSERT_TRUE(third && fourth);

    QStringList names, texts;
    for (TF_SMDI* w : main->MDIChildren())
        names << w->Project->Name;
    for (QAction* item : main->M_Projects->actions())
        if (!item->isSeparator())
            texts << item->text();
    ASSERT_EQ(names.size(), 3);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 3) << names.join(", ").toStdString();
    EXPECT_EQ(texts.size(), 3);
    EXPECT_EQ(QSet<QString>(texts.begin(), texts.end()).size(), 3) << texts.join(", ").toStdString();
    EXPECT_TRUE(texts.contains(second->Project->Name + QStringLiteral(" [Not saved]")));
    for (TF_SMDI* w : main->MDIChildren())
        w->Project->Changed = false;
}

TEST_F(Frame, CaptionShowsTheVersionUntilClosing)
{
    main->SetCaption();
    EXPECT_EQ(main->windowTitle(), QStringLiteral("JEX %1.%2").arg(VersionMajor).arg(VersionMinor));
    main->setWindowTitle(QStringLiteral("x"));
    main->Closing = true;
    main->SetCaption();
    EXPECT_EQ(main->windowTitle(), QStringLiteral("x"));
    main->Closing = false;
}

TEST_F(Frame, HintShowsItsLongPartInPanelOne)
{
    QStatusTipEvent both(QStringLiteral("Short|Long text"));
    QApplication::sendEvent(main.get(), &both);
    EXPECT_EQ(main->SB_MainPanel1->text(), QStringLiteral("Long text"));
    QStatusTipEvent one(QStringLiteral("Only one"));
    QApplication::sendEvent(main.get(), &one);
    EXPECT_EQ(main->SB_MainPanel1->text(), QStringLiteral("Only one"));
}

// ---- command enabling ----

TEST_F(Frame, CommandsFollowTheActiveWindowAndItsImages)
{
    showFrame();
    struct Expect {
        QAction* action;
        bool none, empty, one, two; // no window, 0, 1 and 2 images
    };
    const QList<Expect> table = {
        {main->CloseMDI, false, true, true, true},
        {main->A_SaveProject, false, true, true, true},
        {main->A_SaveProjectTo, false, true, true, true},
        {main->A_AddImage, false, true, true, true},
        {main->A_Tile, false, true, true, true},
        {main->A_CopyImage, false, false, true, true},
        {main->Invert, false, false, true, true},
        {main->A_ExportData, false, false, true, true},
        {main->A_SetDPI, false, false, true, true},
        {main->MirrorH, false, false, true, false},
        {main->MirrorV, false, false, true, false},
        {main->Sharpen, false, false, true, true},
        {main->Soften, false, false, true, true},
        {main->Brightness, false, false, true, true},
        {main->Grayscale, false, false, true, true},
        {main->AddBorder, false, false, true, false},
        {main->A_Resample, false, false, true, false},
        {main->A_Rotate, false, false, true, false},
        {main->A_NewProject, true, true, true, true},
        {main->A_MatchImages, false, false, false, true},
        {main->SelectSource, true, true, true, true},
        {main->A_ScanNew, true, true, true, true},
        {main->A_ScanToCurrent, false, true, true, true},
    };
    auto check = [&](int column) {
        main->AMUpdate();
        for (const Expect& e : table) {
            const bool want = column == 0 ? e.none : column == 1 ? e.empty : column == 2 ? e.one : e.two;
            EXPECT_EQ(e.action->isEnabled(), want) << e.action->text().toStdString() << " column " << column;
        }
    };
    check(0);
    TF_SMDI* w = newWindow();
    ASSERT_NE(w, nullptr);
    check(1);
    addLoadedImage(*w);
    check(2);
    addLoadedImage(*w);
    check(3);
}

TEST_F(Frame, PasteAndMergeFollowTheClipboard)
{
    showFrame();
    QGuiApplication::clipboard()->clear();
    QCoreApplication::processEvents();
    main->AMUpdate();
    EXPECT_FALSE(main->A_PasteImage->isEnabled());
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    QCoreApplication::processEvents();
    main->AMUpdate();
    EXPECT_TRUE(main->A_PasteImage->isEnabled());
    EXPECT_FALSE(main->A_MergeImage->isEnabled()); // no window to merge into
    newWindow();
    main->AMUpdate();
    EXPECT_TRUE(main->A_MergeImage->isEnabled());
    QGuiApplication::clipboard()->clear();
}

TEST_F(Frame, WindowCommandsAreCheckedByVisibility)
{
    showFrame();
    main->AMUpdate();
    EXPECT_TRUE(main->A_WindowMeasurements->isChecked()); // shown by the first showing
    main->P_Dock->showForm(F_Measurements, false);
    main->AMUpdate();
    EXPECT_FALSE(main->A_WindowMeasurements->isChecked());
}

// ---- docking ----

TEST_F(Frame, FirstShowingDocksTheProjectWindowOnTheLeft)
{
    EXPECT_FALSE(main->IsDocked(F_Measurements));
    showFrame();
    EXPECT_TRUE(main->IsDocked(F_Measurements));
    EXPECT_TRUE(F_Measurements->isVisible());
    const QRect pos = main->GetDockPos(F_Measurements);
    EXPECT_FALSE(pos.isEmpty());
    EXPECT_LT(pos.right(), main->mdiArea()->geometry().left() + 1);
    EXPECT_GE(main->P_Dock->width(), 2);
    EXPECT_EQ(main->P_Dock->clients(), QList<QWidget*>{F_Measurements});

    QWidget loose;
    EXPECT_FALSE(main->IsDocked(&loose));
    EXPECT_EQ(main->GetDockPos(&loose), QRect(0, 0, 0, 0));
    EXPECT_FALSE(main->DP_Bottom->dock(&loose)); // the bottom site takes only the notes window

    main->P_Dock->undock(F_Measurements);
    EXPECT_FALSE(main->IsDocked(F_Measurements));
    EXPECT_EQ(main->GetDockPos(F_Measurements), QRect(0, 0, 0, 0));
}

TEST_F(Frame, FirstShowingLogsTheStartAndItsChecks)
{
    showFrame();
    const QStringList log = logTexts();
    EXPECT_TRUE(log.contains(QStringLiteral("JEX4 Version %1.%2.%3 started.").arg(VersionMajor).arg(VersionMinor).arg(VersionBuild)));
    EXPECT_TRUE(log.contains(QStringLiteral("Temp folder is writable!")));
    // Whether the panorama tools are installed depends on the machine; either way it is said.
    EXPECT_TRUE(log.contains(QFileInfo::exists(SettingPath_CPFind)
                                 ? QStringLiteral("Hugin cpfind found at ") + SettingPath_CPFind
                                 : QStringLiteral("Hugin cpfind not found/installed!")));
    // Names of this system's own files and tools, not of another one's.
    EXPECT_TRUE(log.contains(QStringLiteral("Help file qrc:/help/index.html loaded.")));
    for (const QString& line : log) {
        EXPECT_FALSE(line.contains(QStringLiteral(".exe"), Qt::CaseInsensitive)) << line.toStdString();
        EXPECT_FALSE(line.contains(QStringLiteral(".chm"), Qt::CaseInsensitive)) << line.toStdString();
    }
    EXPECT_TRUE(QFileInfo(DataFolder).isDir());
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_EQ(fake->shown()[0].text, QStringLiteral("Files with the extension .jex4 are currently not associated with "
                                                    "this version of JEX\r\nDo you want to change the file association now?"));
    // It runs once.
    main->hide();
    main->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(fake->shown().size(), 1);
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

// ---- closing ----

TEST_F(Frame, ClosingAsksEveryChangedProjectAndCancelKeepsTheProgram)
{
    showFrame();
    TF_SMDI* a = newWindow();
    TF_SMDI* b = newWindow();
    ASSERT_TRUE(a && b);
    a->Project->Changed = false;
    b->Project->Changed = true;
    fake->answerMessage(mrNo); // keep the changed project
    EXPECT_FALSE(main->close());
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(main->Closing);
    EXPECT_EQ(main->MDIChildren().size(), 2); // the unchanged one was not closed either
    main->setWindowTitle(QString());
    main->SetCaption();
    EXPECT_FALSE(main->windowTitle().isEmpty()); // the caption keeps updating

    fake->answerMessage(mrYes);
    EXPECT_TRUE(main->close());
    EXPECT_TRUE(main->Closing);
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(fake->unusedAnswers(), 0);
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

// ---- command line ----

TEST_F(Frame, CommandLineArgumentsJoinIntoOneFile)
{
    struct Row {
        QStringList args;
        QString joined;
    };
    const Row rows[] = {
        {{}, {}},
        {{QStringLiteral("/a/b.jex4")}, QStringLiteral("/a/b.jex4")},
        {{QStringLiteral("/my"), QStringLiteral("oak"), QStringLiteral("core.jex4")}, QStringLiteral("/my oak core.jex4")},
        {{QStringLiteral("/x/"), QString()}, QStringLiteral("/x/ ")},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TF_Main::CommandLineFileName(r.args), r.joined);
}

TEST_F(Frame, CommandLineOpensAProjectNamedAcrossArgumentsAndIgnoresOtherFiles)
{
    QTemporaryDir dir;
    const QString project = dir.path() + QStringLiteral("/Oak Core.JEX4");
    const QString text = dir.path() + QStringLiteral("/Oak notes.txt");
    for (const QString& f : {project, text}) {
        QFile file(f);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    showFrame();
    // A window that shows the project already: opening it brings that window back.
    TF_SMDI* holder = newWindow();
    TF_SMDI* other = newWindow();
    holder->Project->Filename = project;
    ASSERT_EQ(main->ActiveMDIChild(), other);

    main->setCommandLineArguments({dir.path() + QStringLiteral("/Oak"), QStringLiteral("notes.txt")});
    main->OpenCommandLineFile();
    EXPECT_EQ(main->ActiveMDIChild(), other);

    main->setCommandLineArguments({dir.path() + QStringLiteral("/Oak"), QStringLiteral("Core.JEX4")});
    main->OpenCommandLineFile();
    QCoreApplication::processEvents();
    EXPECT_EQ(main->ActiveMDIChild(), holder);
    EXPECT_EQ(main->MDIChildren().size(), 2);
    // The name kept its case: the window still bears it as given.
    EXPECT_EQ(holder->Project->Filename, project);
}

// ---- wheel ----

TEST_F(Frame, WheelZoomsTheActiveWindowOnlyWhileTheMouseIsOverIt)
{
    showFrame();
    TF_SMDI* w = newWindow();
    ASSERT_NE(w, nullptr);
    addLoadedImage(*w, 2000, 1000);
    w->UpdateArea();
    w->setZoom(10);
    auto wheel = [&](int delta) {
        const QPointF at(20, 20);
        QWheelEvent e(at, w->PB->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(w->PB, &e);
    };
    main->MouseOverImage = false;
    wheel(-120);
    EXPECT_EQ(w->zoom(), 10);

    main->MouseOverImage = true;
    wheel(-120);
    EXPECT_EQ(w->zoom(), 11);
    wheel(120);
    wheel(120);
    EXPECT_EQ(w->zoom(), 9);
    EXPECT_FALSE(w->Drawing);

    w->setZoom(999);
    wheel(-120);
    EXPECT_EQ(w->zoom(), 999);
    EXPECT_FALSE(w->Drawing);

    // Over the docked project window the wheel scrolls that window, never the image.
    w->setZoom(10);
    QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(F_Measurements, &e);
    EXPECT_EQ(w->zoom(), 10);
}

TEST_F(Frame, WheelKeepsTheCanvasPointUnderTheMouse)
{
    showFrame();
    TF_SMDI* w = newWindow();
    ASSERT_NE(w, nullptr);
    if (QMdiSubWindow* sub = w->mdiFrame())
        sub->resize(500, 400);
    QCoreApplication::processEvents();
    addLoadedImage(*w, 4000, 3000);
    w->UpdateArea();
    w->setZoom(14); // 1:5
    w->SB_H->setValue(200);
    w->SB_V->setValue(100);
    const QPoint mouse(100, 80);
    w->Mouse = mouse;
    w->AbsMouse = w->ToReal(mouse.x(), mouse.y());
    const QPoint under = w->AbsMouse;
    main->MouseOverImage = true;
    QWheelEvent e(QPointF(mouse), w->PB->mapToGlobal(QPointF(mouse)), QPoint(), QPoint(0, 120), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w->PB, &e);
    ASSERT_EQ(w->zoom(), 13);
    const QPoint after = w->ToReal(mouse.x(), mouse.y());
    EXPECT_NEAR(after.x(), under.x(), 4);
    EXPECT_NEAR(after.y(), under.y(), 4);
}

// ---- keys ----

TEST_F(Frame, KeyPreviewNeverTakesKeysFromATextEditor)
{
    showFrame();
    TF_SMDI* w = newWindow();
    ASSERT_NE(w, nullptr);
    auto* edit = new QLineEdit(main.get());
    main->AMM2->addWidget(edit);
    F_Measurements->FillMeasurements(w, false);
    F_Measurements->MarkNode(w, F_Measurements->GetNodeByObject(w->PathList.front().get()));
    ASSERT_NE(F_Measurements->FirstSelectedObject(), nullptr);
    QApplication::setActiveWindow(main.get());

    // In the editor the key is text.
    edit->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), edit);
    QTest::keyClick(edit, Qt::Key_I);
    EXPECT_EQ(edit->text(), QStringLiteral("i"));
    EXPECT_EQ(fake->shown().size(), 1); // only the start-up question

    // Anywhere else in the frame it goes to the measurement tree, which asks for a comment.
    fake->answerInput(QStringLiteral("pith offset"));
    w->PB->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), w->PB);
    QTest::keyClick(w->PB, Qt::Key_I);
    ASSERT_EQ(fake->shown().size(), 2);
    EXPECT_EQ(fake->shown()[1].kind, FakeDialogs::Kind::InputQuery);
    EXPECT_EQ(w->PathList.front()->Comment, QStringLiteral("pith offset"));
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

// ---- drops ----

TEST_F(Frame, DroppedFilesOpenImagesAndIgnoreOthers)
{
    QTemporaryDir dir;
    samples::CoreRecipe recipe;
    recipe.width = 300;
    recipe.height = 60;
    const QString image = dir.path() + QStringLiteral("/Core A.PNG");
    ASSERT_TRUE(samples::makeCore(recipe).save(image, "PNG"));
    const QString other = dir.path() + QStringLiteral("/readme.txt");
    QFile(other).open(QIODevice::WriteOnly);
    showFrame();

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(other), QUrl::fromLocalFile(image), QUrl::fromLocalFile(dir.path() + "/gone.png")});
    const QPoint at = main->mdiArea()->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main.get(), &drop);
    QCoreApplication::processEvents();

    const QList<TF_SMDI*> windows = main->MDIChildren();
    ASSERT_EQ(windows.size(), 1);
    ASSERT_EQ(windows[0]->StitchList.size(), 1u);
    EXPECT_EQ(windows[0]->StitchList[0]->filename, image);
    EXPECT_EQ(windows[0]->StitchList[0]->FD->Info.Header.Width, 300);
    EXPECT_TRUE(logTexts().contains(QStringLiteral("Image ") + image + QStringLiteral(" loaded into new project")));
}

// ---- popup ----

TEST_F(Frame, RightClickOnTheEmptyAreaOnlyOpensTheFramePopup)
{
    showFrame();
    TF_SMDI* w = newWindow();
    ASSERT_NE(w, nullptr);
    if (QMdiSubWindow* sub = w->mdiFrame())
        sub->setGeometry(0, 0, 200, 150);
    QWidget* viewport = main->mdiArea()->viewport();
    const QPoint empty(viewport->width() - 5, viewport->height() - 5);
    ASSERT_EQ(viewport->childAt(empty), nullptr);
    QContextMenuEvent overWindow(QContextMenuEvent::Mouse, QPoint(10, 10), viewport->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(viewport, &overWindow);
    EXPECT_FALSE(main->PAB_Main->isVisible());
    QContextMenuEvent overEmpty(QContextMenuEvent::Mouse, empty, viewport->mapToGlobal(empty));
    QApplication::sendEvent(viewport, &overEmpty);
    EXPECT_TRUE(main->PAB_Main->isVisible());
    main->PAB_Main->hide();
}

// ---- exceptions ----

TEST_F(Frame, ExceptionsEndInTheLogAsFailuresWithoutABox)
{
    TF_Main::ApplicationEventsException(QStringLiteral("list index out of bounds (3)"));
    ASSERT_FALSE(TF_ErrorLog::Entries().empty());
    EXPECT_EQ(TF_ErrorLog::Entries().back()->AType, 0);
    EXPECT_EQ(TF_ErrorLog::Entries().back()->AMessage, QStringLiteral("list index out of bounds (3)"));
    EXPECT_EQ(fake->callCount(), 0);
}

} // namespace
