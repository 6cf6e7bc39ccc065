// Image window life cycle and commands: creation defaults, clearing, closing, enabling, the
// measuring commands, dynamic images and the reload request.
#include "workspace/TF_SMDI.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "workspace/TF_Measurements.h"

#include "support/ProjectObjects.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace {

using testhelpers::addImage;
using testhelpers::addIndex;
using testhelpers::addMeasurement;

// Scripted dialogs for the test's duration; the real ones come back afterwards.
class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        SettingStandardDPI = 1200;
        auto fake = std::make_unique<FakeDialogs>();
        dialogs = fake.get();
        setDialogs(std::move(fake));
    }
    void TearDown() override
    {
        for (const QPointer<TF_SMDI>& w : windows)
            delete w.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        setDialogs(nullptr);
    }
    TF_SMDI* make()
    {
        auto* w = new TF_SMDI;
        windows << w;
        return w;
    }

    // Two new windows shown in `area`, the first one active.
    std::pair<TF_SMDI*, TF_SMDI*> makeTwoIn(QMdiArea& area)
    {
        area.resize(900, 700);
        area.show();
        TF_SMDI* w1 = make();
        TF_SMDI* w2 = make();
        area.addSubWindow(w2);
        w2->show();
        area.addSubWindow(w1);
        w1->show();
        area.setActiveSubWindow(w1->mdiFrame());
        QCoreApplication::processEvents();
        return {w1, w2};
    }

    FakeDialogs* dialogs = nullptr;
    QList<QPointer<TF_SMDI>> windows;
};

void processDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

TEST_F(Window, NewWindowsAreNumberedAndStartWithOneEmptyPath)
{
    TF_SMDI* w1 = make();
    EXPECT_EQ(w1->Project->Name, QStringLiteral("New Project 1"));
    EXPECT_TRUE(w1->Project->Filename.isEmpty()) << "not saved: no file, least of all one named like the project";
    EXPECT_FALSE(w1->Project->Changed);
    EXPECT_EQ(w1->windowTitle(), QStringLiteral("New Project 1"));
    ASSERT_EQ(w1->PathList.size(), 1u);
    EXPECT_EQ(w1->PathList[0]->Name, QStringLiteral("Path 1"));
    EXPECT_TRUE(w1->PathList[0]->ObjectList.empty());
    EXPECT_EQ(w1->PathList[0]->GUID.size(), 38);
    EXPECT_EQ(static_cast<TPath*>(w1->CurrentPath), w1->PathList[0].get());
    EXPECT_EQ(static_cast<TIndex*>(w1->CurrentIndex), nullptr);
    EXPECT_EQ(w1->zoom(), 10);
    EXPECT_EQ(w1->ScreenMode(), mmSelect);
    EXPECT_EQ(w1->CB_Zoom->currentIndex(), 9);
    EXPECT_EQ(w1->SB_DPI->text(), QStringLiteral("1200"));
    EXPECT_TRUE(w1->StitchList.empty());
    EXPECT_EQ(w1->AnchorLine->Count(), 0);

    TF_SMDI* w2 = make();
    EXPECT_EQ(w2->Project->Name, QStringLiteral("New Project 2"));
    EXPECT_EQ(ImageWindows(), (QList<TF_SMDI*>{w1, w2}));
}

TEST_F(Window, ResolutionOfANewWindow)
{
    struct Row {
        int standard, dpi;
    };
    const Row rows[] = {{1200, 1200}, {300, 300}, {0, 1200}, {-5, 1200}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.standard);
        SettingStandardDPI = r.standard;
        TF_SMDI* w = make();
        EXPECT_EQ(w->DPI, r.dpi);
        EXPECT_EQ(w->SB_DPI->text(), QString::number(r.dpi));
        EXPECT_EQ(SettingStandardDPI, r.dpi);
    }
}

TEST_F(Window, ClosingPassesTheResolutionToTheNextWindow)
{
    struct Row {
        int closedDpi, nextDpi;
    };
    const Row rows[] = {{450, 450}, {0, 1200}, {-1, 1200}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.closedDpi);
        TF_SMDI* w = make();
        w->DPI = r.closedDpi;
        ASSERT_TRUE(w->close());
        processDeletes();
        EXPECT_EQ(make()->DPI, r.nextDpi);
    }
}

TEST_F(Window, ClearDataFreesWhatItIsAskedTo)
{
    struct Row {
        bool data, images;
    };
    const Row rows[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "data " << r.data << " images " << r.images);
        TF_SMDI* w = make();
        addImage(*w);
        TIndex* index = addIndex(*w->CurrentPath, {1, 1});
        w->CurrentIndex = index;
        w->CPList.push_back(std::make_unique<TControlPoint>());
        w->DrawList.push_back(std::make_unique<TArrow>());
        w->DrawObject = w->DrawList.back().get();
        auto anchor = std::make_unique<TAnchorPoint>();
        w->AnchorLine->AnchorPoints.push_back(std::move(anchor));

        w->ClearData(r.data, r.images);

        EXPECT_TRUE(w->CPList.empty());
        EXPECT_TRUE(w->DrawList.empty());
        EXPECT_EQ(w->DrawObject, nullptr);
        EXPECT_EQ(w->AnchorLine->Count(), 1);
        EXPECT_EQ(w->StitchList.empty(), r.images);
        EXPECT_EQ(w->PathList.empty(), r.data);
        // Nothing points at freed paths or points afterwards.
        EXPECT_EQ(w->CurrentPath == nullptr, r.data);
        EXPECT_EQ(w->CurrentIndex == nullptr, r.data);
    }
}

// The project file keeps the zoom and scroll position from the document: they follow the window,
// whether the user scrolls or zooms, or the program does.
TEST_F(Window, TheDocumentKeepsTheWindowsViewState)
{
    TF_SMDI* w = make();
    w->resize(300, 200);
    w->show();
    addImage(*w, 0, 0, 2000, 1500);
    w->UpdateArea();
    QCoreApplication::processEvents();
    ASSERT_GT(w->SB_H->maximum(), 40);
    ASSERT_GT(w->SB_V->maximum(), 30);
    const ProjectDocument& doc = w->document();

    w->SB_H->setValue(40);
    w->SB_V->setValue(30);
    EXPECT_EQ(doc.ScrollX, w->SB_H->value());
    EXPECT_EQ(doc.ScrollY, w->SB_V->value());
    w->SB_H->triggerAction(QAbstractSlider::SliderSingleStepAdd); // a user's step
    EXPECT_NE(w->SB_H->value(), 40);
    EXPECT_EQ(doc.ScrollX, w->SB_H->value());

    w->setZoom(20);
    EXPECT_EQ(doc.Zoom, w->zoom());
    EXPECT_EQ(doc.ScrollX, w->SB_H->value()); // the bars follow a zoom: so does the document
    EXPECT_EQ(doc.ScrollY, w->SB_V->value());

    // What the window frees, its document announces.
    QSignalSpy images(&w->document(), &ProjectDocument::imagesChanged);
    w->ClearData(false, true);
    EXPECT_EQ(images.count(), 1);
}

TEST_F(Window, NewMeasurementsWithoutAnIndexLeadsToNewIndexMode)
{
    TF_SMDI* w = make();
    addImage(*w);
    w->AM_MDIUpdate();
    ASSERT_TRUE(w->A_NewMeasurements->isEnabled());

    w->A_NewMeasurements->trigger();
    EXPECT_EQ(dialogs->shownTexts(), QStringList{QStringLiteral("You must create an Index first!")});
    EXPECT_EQ(w->ScreenMode(), mmNewIndex);

    w->CurrentIndex = addIndex(*w->CurrentPath, {5, 5});
    w->A_NewMeasurements->trigger();
    EXPECT_EQ(w->ScreenMode(), mmNewMeasurement);
    EXPECT_EQ(dialogs->callCount(), 1);

    // The index point of a freed path does not count.
    w->PathList.clear();
    w->ApplyScreenMode(mmSelect);
    w->A_NewMeasurements->trigger();
    EXPECT_EQ(dialogs->callCount(), 2);
    EXPECT_EQ(w->ScreenMode(), mmNewIndex);
    EXPECT_TRUE(dialogs->errors().isEmpty()) << dialogs->errors().join('\n').toStdString();
}

TEST_F(Window, ModeCommands)
{
    TF_SMDI* w = make();
    addImage(*w);
    w->AM_MDIUpdate();
    struct Row {
        QAction* action;
        int mode;
    };
    const Row rows[] = {
        {w->A_NewIndex, mmNewIndex}, {w->A_AnchorPoint, mmAnchorLine}, {w->A_SelectionMode, mmSelect},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.action->text().toStdString());
        w->SB_MDIPanels[4]->setText(QStringLiteral("hint"));
        r.action->trigger();
        EXPECT_EQ(w->ScreenMode(), r.mode);
    }
    EXPECT_TRUE(w->SB_MDIPanels[4]->text().isEmpty()); // "Selection Mode" empties the hint
}

TEST_F(Window, CommandsAreEnabledByImagesPathAndMode)
{
    struct Row {
        int images;
        bool path;
        int mode;
        bool newIndex, selectRegion, arrow, align, anchor, doZoom;
    };
    const Row rows[] = {
        {0, true, mmSelect, false, false, false, false, false, false},
        {1, true, mmSelect, true, true, true, false, true, true},
        {1, false, mmSelect, false, true, true, false, true, true},
        {2, true, mmSelect, true, true, true, true, true, true},
        {2, true, mmNewIndex, true, false, true, true, true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.images << " images, path " << r.path << ", mode " << r.mode);
        TF_SMDI* w = make();
        for (int i = 0; i < r.images; ++i)
            addImage(*w, i * 100);
        if (!r.path)
            w->CurrentPath = nullptr;
        w->ApplyScreenMode(r.mode);
        w->AM_MDIUpdate();
        EXPECT_TRUE(w->A_SelectionMode->isEnabled());
        EXPECT_TRUE(w->A_Setup->isEnabled());
        for (QAction* a : {w->A_NewIndex, w->A_NewMeasurements, w->A_InsertIndex, w->A_InsertMeasurement, w->A_EditInfo})
            EXPECT_EQ(a->isEnabled(), r.newIndex) << a->text().toStdString();
        EXPECT_EQ(w->A_SelectRegion->isEnabled(), r.selectRegion);
        EXPECT_EQ(w->A_Arrow->isEnabled(), r.arrow);
        EXPECT_EQ(w->A_Rectangle->isEnabled(), r.arrow);
        EXPECT_EQ(w->A_Align->isEnabled(), r.align);
        EXPECT_EQ(w->A_AnchorPoint->isEnabled(), r.anchor);
        EXPECT_EQ(w->A_DoZoom->isEnabled(), r.doZoom);
    }
}

TEST_F(Window, AlignImagesTogglesTheAlignmentMode)
{
    TF_SMDI* w = make();
    addImage(*w, 0);
    addImage(*w, 100);
    w->AM_MDIUpdate();

    w->A_Align->trigger();
    EXPECT_TRUE(w->A_Align->isChecked());
    EXPECT_EQ(w->ScreenMode(), mmAlignImages);
    EXPECT_TRUE(w->SB_Align->isChecked());

    w->A_Align->trigger();
    EXPECT_FALSE(w->A_Align->isChecked());
    EXPECT_EQ(w->ScreenMode(), mmSelect);
    EXPECT_FALSE(w->SB_Align->isChecked());

    // The button runs the command.
    QTest::mouseClick(w->SB_Align, Qt::LeftButton);
    EXPECT_TRUE(w->A_Align->isChecked());
    EXPECT_EQ(w->ScreenMode(), mmAlignImages);
    EXPECT_TRUE(w->SB_Align->isChecked());

    w->SB_MDIPanels[4]->setText(QStringLiteral("10  -5"));
    w->M_QuitMoving->trigger();
    EXPECT_FALSE(w->A_Align->isChecked());
    EXPECT_EQ(w->ScreenMode(), mmSelect);
    EXPECT_FALSE(w->SB_Align->isChecked());
    EXPECT_TRUE(w->SB_MDIPanels[4]->text().isEmpty());

    // With one image the command is off, and the button cannot switch the mode on.
    w->StitchList.pop_back();
    w->AM_MDIUpdate();
    EXPECT_FALSE(w->A_Align->isEnabled());
    QTest::mouseClick(w->SB_Align, Qt::LeftButton);
    EXPECT_EQ(w->ScreenMode(), mmSelect);
    EXPECT_FALSE(w->SB_Align->isChecked());
}

TEST_F(Window, PopupMenusHoldTheirItemsInOrder)
{
    TF_SMDI* w = make();
    QStringList mdi;
    for (QAction* a : w->PAB_MDI->actions())
        mdi << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(mdi.mid(0, 6), (QStringList{"Selection Mode", "New Index", "New Measurements", "Delete selected point(s)",
                                         "Draw", "Select region"}));
    EXPECT_EQ(mdi.mid(mdi.size() - 7), (QStringList{"-", "Insert Index", "Insert Measurement", "Edit info", "-",
                                                   "Align images", "Setup"}));
    EXPECT_EQ(w->PAB_MDI->defaultAction(), w->A_Setup);
    EXPECT_EQ(w->M_Draw->actions(), (QList<QAction*>{w->A_Arrow, w->A_Rectangle}));

    QStringList selected;
    for (QAction* a : w->PAB_Selected->actions())
        selected << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(selected, (QStringList{"Quit aligning images", "-", "Remove image from project", "Save image as...", "-",
                                     "Move to front", "Send to back", "One up", "One down"}));
}

TEST_F(Window, CaptionShowsFileResolutionAndZoom)
{
    TF_SMDI* w = make();
    w->Project->Filename = QStringLiteral("/data/oak 12.jex4");
    w->DPI = 2400;
    struct Row {
        int zoom, item;
    };
    const Row rows[] = {{1, 0}, {12, 11}, {108, 107}, {109, -1}, {999, -1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.zoom);
        w->ApplyZoom(r.zoom);
        w->SetCaption();
        EXPECT_EQ(w->CB_Zoom->currentIndex(), r.item);
    }
    EXPECT_EQ(w->windowTitle(), QStringLiteral("/data/oak 12.jex4"));
    EXPECT_EQ(w->SB_DPI->text(), QStringLiteral("2400"));
}

TEST_F(Window, CloseQueryAsksOnlyAboutUnsavedWork)
{
    struct Row {
        bool loadError, projectChanged, imageChanged;
        int answer; // mrNone: no question expected
        bool closes;
    };
    const Row rows[] = {
        {false, false, false, mrNone, true},
        {false, true, false, mrNo, false},
        {false, true, false, mrYes, true},
        {false, false, true, mrNo, false},
        {true, true, true, mrNone, true}, // a failed load closes at once
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.loadError << r.projectChanged << r.imageChanged);
        const int before = dialogs->callCount();
        TF_SMDI* w = make();
        QPointer<TF_SMDI> guard(w);
        w->fImageLoadError = r.loadError;
        w->Project->Changed = r.projectChanged;
        addImage(*w)->ImageChanged = r.imageChanged;
        if (r.answer != mrNone)
            dialogs->answerMessage(r.answer);
        EXPECT_EQ(w->close(), r.closes);
        EXPECT_EQ(dialogs->callCount() - before, r.answer == mrNone ? 0 : 1);
        processDeletes();
        EXPECT_EQ(guard.isNull(), r.closes);
        if (guard) {
            EXPECT_FALSE(guard->StitchList.empty()); // nothing was freed
        }
    }
    EXPECT_EQ(dialogs->unusedAnswers(), 0);
    EXPECT_TRUE(dialogs->errors().isEmpty()) << dialogs->errors().join('\n').toStdString();
}

// Both windows sit in an MDI area; closing the active one leaves the other bound and alive.
TEST_F(Window, ClosingOneOfTwoWindowsActivatesTheOther)
{
    for (bool throughFrame : {true, false}) {
        SCOPED_TRACE(throughFrame ? "close the sub-window" : "close the image window");
        QMdiArea area;
        auto [w1, w2] = makeTwoIn(area);
        QPointer<TF_SMDI> gone(w1);
        QSignalSpy spy(w2, &TF_SMDI::activated);
        QSignalSpy closing(w1, &TF_SMDI::closing);

        ASSERT_TRUE(throughFrame ? w1->mdiFrame()->close() : w1->close());
        processDeletes();

        EXPECT_TRUE(gone.isNull());
        EXPECT_EQ(closing.count(), 1);
        ASSERT_GE(spy.count(), 1);
        EXPECT_EQ(spy.last().at(0).value<TF_SMDI*>(), w2);
        EXPECT_EQ(area.subWindowList().size(), 1);
        EXPECT_EQ(ImageWindows(), QList<TF_SMDI*>{w2});
        // Two windows open, and "New Project 2" is still the other's: the next free number.
        EXPECT_EQ(make()->Project->Name, QStringLiteral("New Project 3"));
        for (const QPointer<TF_SMDI>& w : windows)
            delete w.data();
        windows.clear();
    }
}

TEST_F(Window, CreateImageWindowPlacesTheWindowInTheMainWindow)
{
    TF_Main main; // not shown: its first showing is the program's start-up
    F_Main = &main;
    TF_SMDI* w = CreateImageWindow();
    windows << w;
    QCoreApplication::processEvents();
    ASSERT_NE(w->mdiFrame(), nullptr);
    EXPECT_EQ(main.mdiArea()->subWindowList(), QList<QMdiSubWindow*>{w->mdiFrame()});
    EXPECT_FALSE(w->isHidden());
    EXPECT_EQ(ImageWindows(), QList<TF_SMDI*>{w});
    delete w->mdiFrame();
    F_Main = nullptr;
}

TEST_F(Window, DynamicImagesGiveBackOnlyPixelsThatCanBeReadAgain)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("core.bmp"));
    QImage picture(6, 4, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(file, "BMP"));
    struct Row {
        const char* what;
        bool displayed, changed, embedded;
        QString filename;
        bool freed;
    };
    const Row rows[] = {
        {"out of view", false, false, false, file, true},
        {"in view", true, false, false, file, false},
        {"changed", false, true, false, file, false},
        {"no file name", false, false, false, QString(), false},
        {"file gone", false, false, false, dir.filePath(QStringLiteral("gone.bmp")), false},
        {"embedded", false, false, true, file, false},
    };
    SettingDynamicImages = true;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TF_SMDI* w = make();
        TStitchObject* so = addImage(*w, 0, 0, 1, 1);
        so->FD->SetSize(6, 4, 24);
        so->Width = so->Height = 1; // stale until refreshed
        so->Loaded = true;
        so->Displayed = r.displayed;
        so->ImageChanged = r.changed;
        so->Embedded = r.embedded;
        so->filename = r.filename;

        w->UpdateDOState();

        EXPECT_EQ(so->FD->Bits == nullptr, r.freed);
        EXPECT_EQ(so->Loaded, !r.freed);
        if (!r.embedded) {
            EXPECT_EQ(QSize(so->Width, so->Height), QSize(6, 4));
        }
    }

    // Coming back into view: read again and shown, even if it had been hidden.
    TF_SMDI* w = make();
    TStitchObject* so = addImage(*w);
    so->filename = file;
    so->Displayed = true;
    so->Visible = false;
    so->Loaded = false;
    w->UpdateDOState();
    EXPECT_TRUE(so->Loaded);
    EXPECT_TRUE(so->Visible);
    EXPECT_NE(so->FD->Bits, nullptr);
    EXPECT_EQ(QSize(so->Width, so->Height), QSize(6, 4));

    // An embedded image that is not loaded is read at once, wherever it lies.
    TStitchObject* embedded = addImage(*w);
    embedded->filename = file;
    embedded->Embedded = true;
    embedded->Displayed = false;
    embedded->Loaded = false;
    embedded->FD->SetSize(0, 0, 24);
    w->UpdateDOState();
    EXPECT_TRUE(embedded->Loaded);
    EXPECT_NE(embedded->FD->Bits, nullptr);
    EXPECT_EQ(QSize(embedded->Width, embedded->Height), QSize(6, 4));

    // A file that no longer decodes is logged once; the next image still gets its turn.
    const QString broken = dir.filePath(QStringLiteral("broken.bmp"));
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BM not a bitmap");
    }
    TF_SMDI* w2 = make();
    TStitchObject* bad = addImage(*w2);
    bad->filename = broken;
    bad->Displayed = true;
    TStitchObject* good = addImage(*w2);
    good->filename = file;
    good->Displayed = true;
    const size_t logged = TF_ErrorLog::Entries().size();
    EXPECT_NO_THROW(w2->UpdateDOState());
    EXPECT_TRUE(bad->Loaded);
    EXPECT_EQ(TF_ErrorLog::Entries().size(), logged + 1);
    EXPECT_NE(good->FD->Bits, nullptr);
    EXPECT_NO_THROW(w2->UpdateDOState());
    EXPECT_EQ(TF_ErrorLog::Entries().size(), logged + 1);

    // Switched off: nothing is touched.
    SettingDynamicImages = false;
    TStitchObject* kept = addImage(*w);
    kept->FD->SetSize(2, 2, 24);
    kept->Loaded = true;
    kept->filename = file;
    w->UpdateDOState();
    EXPECT_NE(kept->FD->Bits, nullptr);
}

// With the project tool window present: it makes the first path, follows the active window and
// carries out the window's point commands.
class WithToolWindow : public Window {
protected:
    void SetUp() override
    {
        Window::SetUp();
        tool = std::make_unique<TF_Measurements>();
        F_Measurements = tool.get();
    }
    void TearDown() override
    {
        Window::TearDown();
        F_Measurements = nullptr;
        tool.reset();
    }
    std::unique_ptr<TF_Measurements> tool;
};

TEST_F(WithToolWindow, NewWindowGetsItsPathFromTheToolWindow)
{
    TF_SMDI* w = make();
    ASSERT_EQ(w->PathList.size(), 1u);
    EXPECT_EQ(w->PathList[0]->Name, QStringLiteral("Path 1"));
    EXPECT_EQ(static_cast<TPath*>(w->CurrentPath), w->PathList[0].get());
    ASSERT_NE(tool->A_Sapwood, nullptr);
    EXPECT_TRUE(w->PAB_MDI->actions().contains(tool->A_Sapwood));
}

TEST_F(WithToolWindow, ClosingTheActiveWindowLeavesTheToolWindowBoundToAnother)
{
    QMdiArea area;
    auto [w1, w2] = makeTwoIn(area);
    ASSERT_EQ(tool->MDIForm(), w1);

    w1->mdiFrame()->close();
    processDeletes();
    EXPECT_EQ(tool->MDIForm(), w2);

    w2->close();
    processDeletes();
    EXPECT_EQ(tool->MDIForm(), nullptr);
}

TEST_F(WithToolWindow, DeleteCommandNeedsASelectedPointAndDeletesIt)
{
    TF_SMDI* w = make();
    addImage(*w);
    TIndex* index = addIndex(*w->CurrentPath, {10, 10});
    TMeasurement* mRaw = addMeasurement(*index, {20, 10});
    tool->FillMeasurements(w, false);

    w->AM_MDIUpdate();
    EXPECT_FALSE(w->A_Delete->isEnabled());

    tool->SelectOnly(mRaw);
    w->AM_MDIUpdate();
    ASSERT_TRUE(w->A_Delete->isEnabled());
    dialogs->answerMessage(mrYes);
    w->A_Delete->trigger();
    EXPECT_TRUE(index->ObjectList.empty());
    EXPECT_EQ(dialogs->unusedAnswers(), 0);
}

// RAXO reloads what is on disk: the request goes out only after the project was written. The
// link is not connected here, so an attempted send shows as its log line.
TEST_F(Window, ReloadButtonAsksRAXOOnlyAfterASuccessfulSave)
{
    QTemporaryDir dir;
    auto sendAttempts = [] {
        int n = 0;
        for (const auto& entry : TF_ErrorLog::Entries())
            n += entry->AMessage.contains(QStringLiteral("reload request"));
        return n;
    };
    TF_SMDI* w = make();
    w->Project->Changed = true;
    w->Project->Filename = dir.filePath(QStringLiteral("oak.jex4"));
    const int before = sendAttempts();
    w->SB_UpdateRAXO->click();
    EXPECT_TRUE(QFile::exists(w->Project->Filename));
    EXPECT_FALSE(w->Project->Changed);
    EXPECT_EQ(sendAttempts(), before + 1);

    w->Project->Filename = dir.filePath(QStringLiteral("no such folder/oak.jex4"));
    dialogs->answerMessage(mrOk);
    w->SB_UpdateRAXOClick();
    EXPECT_FALSE(QFile::exists(w->Project->Filename));
    EXPECT_EQ(sendAttempts(), before + 1);
}

TEST(TF_SMDI_Reload, RequestBytes)
{
    const QByteArray request = RAXOReloadRequest(QStringLiteral("C:\\cores\\Eiche 3 \u00e9.jex"),
                                                 QStringLiteral("{0A1B2C3D-0000-1111-2222-333344445555}"));
    EXPECT_EQ(request, QByteArray("JEX\r\nRELOAD\r\nC:\\cores\\Eiche 3 \xe9.jex\r\n{0A1B2C3D-0000-1111-2222-333344445555}"));
}
