// The close-project dialog: its report of the project and the images, saving the selected images
// (own file, asked name, cancel, failure, a full disk), saving the project, and the closing of an
// image window and of the main window, which go on only when the dialog is not cancelled.
#include "shell/TF_CloseManager.h"

#include "platform/FakeDialogs.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "samples/SampleCore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress.h"
#include "support/MainWindowTest.h"
#include "support/ModalDialogs.h"
#include "support/SmallDisk.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimeZone>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>

namespace {

using testhelpers::whenShown;

const QDateTime kOld = QDateTime(QDate(2001, 1, 1), QTime(12, 0), QTimeZone::utc());

class CloseManager : public testhelpers::ShownMainWindowTest {
protected:
    void addWindows() override
    {
        F_Progress = new TF_Progress(main.get());
        F_CloseManager = new TF_CloseManager(main.get());
    }

    // A picture file of the sample core, dated long ago so that a rewrite shows.
    QString writeImage(const QString& name)
    {
        samples::CoreRecipe recipe;
        recipe.width = 120;
        recipe.height = 30;
        const QString file = path(name);
        const QByteArray format = QFileInfo(file).suffix().toUpper().toLatin1();
        EXPECT_TRUE(samples::makeCore(recipe).save(file, format.constData())) << file.toStdString();
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadWrite));
        EXPECT_TRUE(f.setFileTime(kOld, QFileDevice::FileModificationTime));
        return file;
    }
    static bool rewritten(const QString& file) { return QFileInfo(file).lastModified() > kOld.addDays(1); }

    TF_SMDI* newProject()
    {
        main->A_NewProject->trigger();
        QCoreApplication::processEvents();
        return main->ActiveMDIChild();
    }

    TStitchObject* addImage(TF_SMDI* w, const QString& file, bool changed)
    {
        EXPECT_EQ(w->LoadImage(file, true), 0);
        TStitchObject* so = w->StitchList.back().get();
        so->ImageChanged = changed;
        return so;
    }

    // Lets the window go without any question at the end of a case.
    void discard(TF_SMDI* w)
    {
        w->fImageLoadError = true;
        w->close();
        settle();
    }

    static void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static QList<bool> selection()
    {
        QList<bool> s;
        for (int i = 0; i < F_CloseManager->VST_SO->topLevelItemCount(); ++i)
            s << F_CloseManager->VST_SO->topLevelItem(i)->isSelected();
        return s;
    }
    static QList<int> pictures()
    {
        QList<int> p;
        for (int i = 0; i < F_CloseManager->VST_SO->topLevelItemCount(); ++i)
            p << F_CloseManager->VST_SOGetImageIndex(F_CloseManager->VST_SO->topLevelItem(i), 0);
        return p;
    }
    static QString nameAt(int row)
    {
        return F_CloseManager->VST_SO->topLevelItem(row)->text(1);
    }
};

// ---- the report ----

TEST_F(CloseManager, ReportShowsTheProjectStateAndEveryImageWithItsPicture)
{
    TF_SMDI* w = newProject();
    ASSERT_NE(w, nullptr);
    addImage(w, writeImage(QStringLiteral("a.png")), false);
    addImage(w, writeImage(QStringLiteral("b.png")), true);
    TStitchObject* missing = addImage(w, writeImage(QStringLiteral("c.png")), false);
    TStitchObject* embedded = addImage(w, writeImage(QStringLiteral("d.png")), false);
    TStitchObject* unnamed = addImage(w, writeImage(QStringLiteral("e.png")), false);
    missing->filename = path(QStringLiteral("gone.png"));
    embedded->Embedded = true;
    unnamed->filename.clear();

    TStitchObject* changed = w->StitchList[1].get();
    struct Row {
        bool projectChanged;
        bool imageChanged; // b.png, held by its file only
        QString state;
    };
    for (const Row& r : {Row{true, true, QStringLiteral("The project is NOT saved!")},
                         Row{false, true, QStringLiteral("The project is NOT saved!")},
                         Row{false, false, QStringLiteral("The project is saved!")}}) {
        w->Project->Changed = r.projectChanged;
        changed->ImageChanged = r.imageChanged;
        F_CloseManager->MakeReport(w);
        EXPECT_EQ(F_CloseManager->L_Projectstate->text(), r.state) << r.projectChanged << r.imageChanged;
        EXPECT_EQ(F_CloseManager->MDI, w);
    }
    changed->ImageChanged = true;
    F_CloseManager->MakeReport(w);
    EXPECT_EQ(pictures(), (QList<int>{0, 7, 1, 6, 1}));
    EXPECT_EQ(selection(), (QList<bool>{false, true, false, false, false}));
    EXPECT_EQ(nameAt(0), path(QStringLiteral("a.png")));
    EXPECT_EQ(nameAt(2), path(QStringLiteral("gone.png")));
    EXPECT_EQ(nameAt(4), QStringLiteral("New image"));
    // A changed picture wins over embedded.
    embedded->ImageChanged = true;
    F_CloseManager->MakeReport(w);
    EXPECT_EQ(pictures(), (QList<int>{0, 7, 1, 7, 1}));

    // No window: an empty report that keeps the last window.
    F_CloseManager->MakeReport(nullptr);
    EXPECT_EQ(F_CloseManager->VST_SO->topLevelItemCount(), 0);
    EXPECT_EQ(F_CloseManager->MDI, w);
    discard(w);
}

// A project repaired while it loaded is not what its file holds: closing reports it not saved, and
// a project read as it was is reported saved.
TEST_F(CloseManager, ARepairMadeWhileLoadingIsReportedNotSaved)
{
    QDir().mkpath(path(QStringLiteral("old")));
    QDir().mkpath(path(QStringLiteral("new")));
    const QString image = writeImage(QStringLiteral("old/core.png"));
    const QString project = path(QStringLiteral("Oak.jex4"));
    {
        TF_SMDI* w = newProject();
        addImage(w, image, false);
        ASSERT_EQ(SaveProjectXML(w, project, false), 0);
        discard(w);
    }
    QFile f(project);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray saved = f.readAll();
    f.close();
    ASSERT_TRUE(saved.contains("Notes=\"\""));

    struct Row {
        const char* name;
        std::function<void()> prepare; // file changes and the answers the load needs
        const char* state;
    };
    const QString moved = path(QStringLiteral("new/core.png"));
    const Row rows[] = {
        {"read as it was", [] {}, "The project is saved!"},
        {"image located elsewhere", [&] {
             ASSERT_TRUE(QFile::rename(image, moved));
             fake->answerMessage(mrYes); // search for it
             fake->answerFile(moved);
         }, "The project is NOT saved!"},
        {"damaged part left out", [&] {
             QFile out(project);
             ASSERT_TRUE(out.open(QIODevice::WriteOnly));
             QByteArray damaged = saved;
             out.write(damaged.replace("Notes=\"\"", "Notes=\"*not Base64*\""));
             fake->answerMessage(mrYes);
             fake->answerFile(moved);
             fake->answerMessage(mrOk); // the damage report
         }, "The project is NOT saved!"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_NO_FATAL_FAILURE(r.prepare());
        TF_SMDI* w = main->ProcessLoadProject(project);
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(w->StitchList.size(), 1u);
        F_CloseManager->MakeReport(w);
        EXPECT_EQ(F_CloseManager->L_Projectstate->text(), QString::fromLatin1(r.state));
        discard(w);
    }
    EXPECT_EQ(fake->unusedAnswers(), 0);
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(CloseManager, AnImageRemovedWhileTheDialogIsOpenIsNoLongerReportedOrSaved)
{
    TF_SMDI* w = newProject();
    addImage(w, writeImage(QStringLiteral("a.png")), true);
    F_CloseManager->MakeReport(w);
    QTreeWidgetItem* node = F_CloseManager->VST_SO->topLevelItem(0);
    ASSERT_NE(F_CloseManager->GetNodeObject(node), nullptr);
    w->StitchList.clear();
    EXPECT_EQ(F_CloseManager->GetNodeObject(node), nullptr);
    EXPECT_EQ(F_CloseManager->VST_SOGetImageIndex(node, 0), -1);
    F_CloseManager->BB_SaveImagesClick(); // nothing to save, nothing asked
    EXPECT_EQ(fake->callCount(), 1);      // only the first showing's question
    discard(w);
}

// ---- saving the selected images ----

TEST_F(CloseManager, SaveSelectedImagesSavesExactlyTheChangedOnes)
{
    TF_SMDI* w = newProject();
    const QString a = writeImage(QStringLiteral("a.png"));
    const QString b = writeImage(QStringLiteral("b.bmp"));
    const QString c = writeImage(QStringLiteral("c.jpg"));
    addImage(w, a, true);
    addImage(w, b, false);
    addImage(w, c, true);
    F_CloseManager->MakeReport(w);
    ASSERT_EQ(selection(), (QList<bool>{true, false, true}));
    const int asked = fake->callCount();

    F_CloseManager->BB_SaveImagesClick();
    EXPECT_EQ(fake->callCount(), asked); // files of their own: no question
    EXPECT_TRUE(rewritten(a));
    EXPECT_FALSE(rewritten(b));
    EXPECT_TRUE(rewritten(c));
    for (const auto& so : w->StitchList)
        EXPECT_FALSE(so->ImageChanged);
    EXPECT_EQ(pictures(), (QList<int>{0, 0, 0}));
    EXPECT_EQ(selection(), (QList<bool>{false, false, false}));
    EXPECT_FALSE(F_Progress->isVisible());
    EXPECT_EQ(F_Progress->L_1->text(), QStringLiteral("Saving files... "));
    EXPECT_EQ(F_Progress->PB->maximum(), 1);
    discard(w);
}

TEST_F(CloseManager, AnImageWithoutFileIsSavedUnderTheAskedNameWithTheChosenTypesExtension)
{
    struct Row {
        QString oldName;  // the image's name before
        int preselected;  // type the dialog opens with
        QString answer;   // typed name
        int chosenType;
        QString saved;    // name saved under
    };
    const Row rows[] = {
        {QStringLiteral("Not saved"), 1, QStringLiteral("scan.png"), 2, QStringLiteral("scan.jpg")},
        {QStringLiteral("old.PNG"), 3, QStringLiteral("noext"), 3, QStringLiteral("noext.png")},
        {QStringLiteral("old.jpg"), 2, QStringLiteral("pic.jpeg"), 1, QStringLiteral("pic.bmp")},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.answer.toStdString());
        TF_SMDI* w = newProject();
        TStitchObject* so = addImage(w, writeImage(QStringLiteral("source.png")), true);
        so->filename = r.oldName;
        F_CloseManager->MakeReport(w);
        fake->answerFile(path(r.answer), r.chosenType);
        F_CloseManager->BB_SaveImagesClick();
        ASSERT_EQ(fake->shown().last().kind, FakeDialogs::Kind::SaveFile);
        EXPECT_EQ(fake->shown().last().request.filterIndex, r.preselected);
        EXPECT_EQ(fake->shown().last().request.fileName, r.oldName);
        EXPECT_TRUE(QFileInfo::exists(path(r.saved)));
        EXPECT_FALSE(QFileInfo::exists(path(r.answer)) && r.answer != r.saved);
        EXPECT_EQ(so->filename, path(r.saved));
        EXPECT_FALSE(so->ImageChanged);
        EXPECT_EQ(nameAt(0), path(r.saved));
        discard(w);
    }
}

TEST_F(CloseManager, CancelInTheSaveDialogEndsTheSavingAndKeepsWhatWasSaved)
{
    TF_SMDI* w = newProject();
    const QString a = writeImage(QStringLiteral("a.png"));
    const QString c = writeImage(QStringLiteral("c.png"));
    addImage(w, a, true);
    TStitchObject* scanned = addImage(w, writeImage(QStringLiteral("b.png")), true);
    scanned->filename = QStringLiteral("Not saved");
    addImage(w, c, true);
    F_CloseManager->MakeReport(w);
    fake->cancelFile();
    F_CloseManager->BB_SaveImagesClick();
    EXPECT_TRUE(rewritten(a));
    EXPECT_FALSE(rewritten(c)); // after the cancel nothing more
    EXPECT_EQ(pictures(), (QList<int>{0, 7, 7}));
    EXPECT_EQ(selection(), (QList<bool>{false, true, true}));
    EXPECT_EQ(scanned->filename, QStringLiteral("Not saved"));
    EXPECT_FALSE(F_Progress->isVisible());
    EXPECT_EQ(fake->unusedAnswers(), 0);
    discard(w);
}

TEST_F(CloseManager, AFailedImageSaveKeepsTheImageChangedSaysSoAndGoesOnWithTheNext)
{
    TF_SMDI* w = newProject();
    TStitchObject* first = addImage(w, writeImage(QStringLiteral("a.png")), true);
    first->filename = QStringLiteral("Not saved");
    const QString b = writeImage(QStringLiteral("b.png"));
    addImage(w, b, true);
    F_CloseManager->MakeReport(w);
    const QString unreachable = path(QStringLiteral("no such folder/a.png"));
    fake->answerFile(unreachable, 3);
    fake->answerMessage(mrOk); // the error box
    F_CloseManager->BB_SaveImagesClick();
    EXPECT_EQ(fake->unusedAnswers(), 0);
    ASSERT_FALSE(fake->shown().isEmpty());
    EXPECT_EQ(fake->shown().last().type, mtError);
    EXPECT_TRUE(fake->shown().last().text.contains(unreachable));
    EXPECT_TRUE(first->ImageChanged);
    EXPECT_EQ(first->filename, QStringLiteral("Not saved")); // never named after a file that is not there
    EXPECT_TRUE(rewritten(b));
    EXPECT_EQ(pictures(), (QList<int>{7, 0}));
    EXPECT_EQ(selection(), (QList<bool>{true, false}));

    // The window still asks: Cancel keeps it with its image.
    QPointer<TF_SMDI> guard(w);
    whenShown<TF_CloseManager>([](TF_CloseManager* d) { d->B_Cancel->click(); });
    EXPECT_FALSE(w->close());
    settle();
    ASSERT_FALSE(guard.isNull());
    EXPECT_EQ(w->StitchList.size(), 2u);
    discard(w);
}

TEST_F(CloseManager, OnAFullDiskNoImageIsMarkedSavedAndEachOldFileStays)
{
    testhelpers::SmallDisk disk;
    SKIP_WITHOUT_SMALL_DISK(disk);
    // PNG is left out: the toolkit's encoder leaks when its write fails, and this file runs with
    // the leak check.
    const struct {
        const char* target;
        bool ownFile; // else the image has none and the name is asked
    } rows[] = {
        {"own.bmp", true}, {"own.jpg", true}, {"asked.bmp", false}, {"asked.jpg", false},
    };
    const QByteArray old(3000, 'o');
    for (const auto& r : rows) {
        SCOPED_TRACE(r.target);
        const QString file = disk.path(QString::fromLatin1(r.target));
        disk.empty();
        QFile::remove(file);
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            ASSERT_EQ(f.write(old), old.size());
        }
        TF_SMDI* w = newProject();
        TStitchObject* so = addImage(w, writeImage(QStringLiteral("source.png")), true);
        so->filename = r.ownFile ? file : QStringLiteral("Not saved");
        w->Project->Changed = false;
        F_CloseManager->MakeReport(w);
        ASSERT_EQ(selection(), QList<bool>{true});
        if (!r.ownFile)
            fake->answerFile(file, file.endsWith(QLatin1String(".jpg")) ? 2 : 1);
        ASSERT_TRUE(disk.fillLeaving(0));
        F_CloseManager->BB_SaveImagesClick();
        ASSERT_FALSE(fake->shown().isEmpty());
        EXPECT_EQ(fake->shown().last().type, mtError);
        EXPECT_TRUE(fake->shown().last().text.contains(file)) << fake->shown().last().text.toStdString();
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old);
        EXPECT_EQ(disk.entries(), QStringList{QString::fromLatin1(r.target)}) << "no temporary is left";
        EXPECT_TRUE(so->ImageChanged);
        EXPECT_EQ(so->filename, r.ownFile ? file : QStringLiteral("Not saved"));
        EXPECT_FALSE(w->Project->Changed);
        EXPECT_EQ(pictures(), QList<int>{7}) << "still reported not saved";
        EXPECT_EQ(selection(), QList<bool>{true});
        EXPECT_EQ(fake->unusedAnswers(), 0);
        f.remove();
        disk.empty();
        discard(w);
    }
}

// ---- saving the project ----

TEST_F(CloseManager, SaveProjectReportsWhatTheSaveReallyDid)
{
    TF_SMDI* w = newProject();
    addImage(w, writeImage(QStringLiteral("a.png")), false);
    w->Project->Changed = true;
    F_CloseManager->MakeReport(w);

    // Cancelled in the save dialog: still not saved, and the report says so.
    fake->cancelFile();
    F_CloseManager->BB_SaveProjectClick();
    EXPECT_TRUE(w->Project->Changed);
    EXPECT_EQ(F_CloseManager->L_Projectstate->text(), QStringLiteral("The project is NOT saved!"));

    // A failed write (missing folder): the error box shows and the project stays NOT saved.
    fake->answerFile(path(QStringLiteral("no such folder/p.jex4")), 1);
    fake->answerMessage(mrOk);
    F_CloseManager->BB_SaveProjectClick();
    EXPECT_TRUE(w->Project->Changed);
    EXPECT_EQ(F_CloseManager->L_Projectstate->text(), QStringLiteral("The project is NOT saved!"));

    const QString project = path(QStringLiteral("p.jex4"));
    fake->answerFile(project, 1);
    F_CloseManager->BB_SaveProjectClick();
    EXPECT_TRUE(QFileInfo::exists(project));
    EXPECT_FALSE(w->Project->Changed);
    EXPECT_EQ(F_CloseManager->L_Projectstate->text(), QStringLiteral("The project is saved!"));
    EXPECT_EQ(fake->unusedAnswers(), 0);
    discard(w);
}

// Edited pixels are in no file until the image is saved or embedded: the project is never called
// saved before that, and the save says what it left out.
TEST_F(CloseManager, EditedPicturesAreNeverReportedSavedUntilTheyAre)
{
    const QString image = writeImage(QStringLiteral("a.png"));
    const QString project = path(QStringLiteral("p.jex4"));
    const QString saved = QStringLiteral("Project ") + project + QStringLiteral(" saved successfully!");
    auto logged = [](const QString& text) {
        for (const auto& e : TF_ErrorLog::Entries())
            if (e->AMessage == text)
                return true;
        return false;
    };
    const QString question =
        QStringLiteral("The images contained in this project were not yet saved!\r\nSave images and project into one folder?");

    TF_SMDI* w = newProject();
    TStitchObject* so = addImage(w, image, false);
    fake->answerFile(project, 1);
    main->A_SaveProjectExecute();
    ASSERT_TRUE(w->ProjectSaved());

    // Each kind of picture edit marks the image.
    const struct {
        const char* name;
        std::function<void()> edit;
    } edits[] = {
        {"invert", [w] { w->DoInvert(); }},
        {"sharpen", [w] { w->DoSharpen(); }},
        {"mirror", [w] { w->Mirror(true); }},
    };
    for (const auto& e : edits) {
        SCOPED_TRACE(e.name);
        so->ImageChanged = false;
        w->Project->Changed = false;
        e.edit();
        EXPECT_TRUE(so->ImageChanged);
        EXPECT_FALSE(w->ProjectSaved());
        F_CloseManager->MakeReport(w);
        EXPECT_EQ(F_CloseManager->L_Projectstate->text(), QStringLiteral("The project is NOT saved!"));
        EXPECT_EQ(selection(), QList<bool>{true});
        EXPECT_EQ(pictures(), QList<int>{7});
    }

    // Saved without the images: the save is asked about, and no "saved successfully".
    TF_ErrorLog::ClearLog();
    const int questions = int(fake->shownTexts().count(question));
    fake->answerMessage(mrNo);
    fake->answerFile(project, 1);
    main->A_SaveProjectExecute();
    EXPECT_EQ(fake->shownTexts().count(question), questions + 1);
    EXPECT_FALSE(logged(saved));
    EXPECT_FALSE(w->ProjectSaved());
    F_CloseManager->MakeReport(w);
    EXPECT_EQ(F_CloseManager->L_Projectstate->text(), QStringLiteral("The project is NOT saved!"));

    // Saving the image to its file makes the project whole again.
    F_CloseManager->BB_SaveImagesClick();
    EXPECT_FALSE(so->ImageChanged);
    EXPECT_TRUE(rewritten(image));
    EXPECT_EQ(F_CloseManager->L_Projectstate->text(), QStringLiteral("The project is saved!"));

    // Embedded: the project file holds the pixels, and an edit after that saving changes the project.
    SettingEmbedImages = true;
    w->DoInvert();
    TF_ErrorLog::ClearLog();
    fake->answerFile(project, 1);
    main->A_SaveProjectExecute();
    EXPECT_TRUE(logged(saved));
    EXPECT_TRUE(so->Embedded);
    EXPECT_TRUE(w->ProjectSaved());
    w->DoInvert();
    EXPECT_TRUE(w->Project->Changed);
    EXPECT_FALSE(w->ProjectSaved());
    SettingEmbedImages = false;
    EXPECT_EQ(fake->unusedAnswers(), 0);
    discard(w);
}

TEST_F(CloseManager, SaveProjectSavesTheWindowBeingClosedEvenWhenAnotherIsActive)
{
    TF_SMDI* closing = newProject();
    closing->Project->Changed = true;
    TF_SMDI* other = newProject();
    other->Project->Changed = true;
    ASSERT_EQ(main->ActiveMDIChild(), other);
    F_CloseManager->MakeReport(closing);
    fake->answerFile(path(QStringLiteral("closing.jex4")), 1);
    F_CloseManager->BB_SaveProjectClick();
    EXPECT_FALSE(closing->Project->Changed);
    EXPECT_TRUE(other->Project->Changed);
    EXPECT_EQ(closing->Project->Filename, path(QStringLiteral("closing.jex4")));
    discard(closing);
    discard(other);
}

// ---- closing ----

TEST_F(CloseManager, TheWindowClosesOnlyWhenTheDialogIsNotCancelled)
{
    TF_SMDI* w = newProject();
    QPointer<TF_SMDI> guard(w);
    addImage(w, writeImage(QStringLiteral("a.png")), false);
    w->Project->Changed = false;
    const int asked = fake->callCount();

    // Even a saved project shows the dialog: it is the list of what is and is not on disk.
    QString state;
    whenShown<TF_CloseManager>([&](TF_CloseManager* d) {
        state = d->L_Projectstate->text();
        d->B_Cancel->click();
    });
    EXPECT_FALSE(w->close());
    settle();
    ASSERT_FALSE(guard.isNull());
    EXPECT_EQ(state, QStringLiteral("The project is saved!"));

    whenShown<TF_CloseManager>([](TF_CloseManager* d) { d->B_Ok->click(); });
    EXPECT_TRUE(w->close());
    settle();
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(fake->callCount(), asked); // no message box besides the dialog
}

TEST_F(CloseManager, APastedPictureSavedIntoTheProjectClosesWithoutAnyQuestion)
{
    QImage picture(64, 32, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    QGuiApplication::clipboard()->setImage(picture);
    QCoreApplication::processEvents();
    main->AMUpdate();
    main->A_PasteImage->trigger();
    settle();
    QGuiApplication::clipboard()->clear();
    ASSERT_EQ(main->MDIChildren().size(), 1);
    QPointer<TF_SMDI> w = main->MDIChildren()[0];
    ASSERT_EQ(w->StitchList.size(), 1u);

    // Saved into the project file with the picture embedded.
    const QString project = path(QStringLiteral("pasted.jex4"));
    fake->answerMessage(mrNo); // not into one folder with the images
    fake->answerFile(project, 1);
    main->A_SaveProject->trigger();
    settle();
    ASSERT_TRUE(QFileInfo::exists(project));
    ASSERT_TRUE(w->StitchList[0]->Embedded);
    const int asked = fake->callCount();

    QString state;
    whenShown<TF_CloseManager>([&](TF_CloseManager* d) {
        state = d->L_Projectstate->text();
        d->B_Ok->click();
    });
    EXPECT_TRUE(w->close());
    settle();
    EXPECT_TRUE(w.isNull());
    EXPECT_EQ(state, QStringLiteral("The project is saved!"));
    EXPECT_EQ(fake->callCount(), asked); // no "Close it anyway?" on top of the dialog
    EXPECT_EQ(fake->unusedAnswers(), 0);
}

TEST_F(CloseManager, CancelStopsTheShutDownOfTheMainWindowWithAllWindowsKept)
{
    TF_SMDI* first = newProject();
    TF_SMDI* second = newProject();
    first->Project->Changed = true;
    second->Project->Changed = true;
    int shown = 0;
    whenShown<TF_CloseManager>([&](TF_CloseManager* d) {
        ++shown;
        d->B_Cancel->click();
    });
    EXPECT_FALSE(main->close());
    settle();
    EXPECT_EQ(shown, 1); // the first refusal ends the asking
    EXPECT_TRUE(main->isVisible());
    EXPECT_FALSE(main->Closing);
    EXPECT_EQ(main->MDIChildren().size(), 2);
    discard(first);
    discard(second);
}

} // namespace
