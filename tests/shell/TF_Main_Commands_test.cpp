// Main window commands: new project, loading through ProcessLoadProject (open windows found by
// canonical path, damaged files leave nothing), saving with and without images, the dialogs'
// type changes, adding images, recent-file entries, closing and the clipboard.
#include "shell/TF_Main.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/Helpers.h"
#include "project/JEX4_Objects.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "samples/SampleCore.h"
#include "support/ImageWindowTest.h"
#include "support/MainWindowTest.h"
#include "workspace/TF_Measurements.h"
#include "shell/RAXOLink.h"
#include "shell/TF_AdjustDPI.h"
#include "shell/TThinTrackBar.h"
#include "workspace/TF_AddBorder.h"
#include "workspace/TF_Contrast.h"
#include "workspace/TF_Grayscale.h"
#include "workspace/TF_Resample.h"
#include "workspace/TF_Rotate.h"
#include "workspace/TF_SelectAmount.h"
#include "shell/RecentFiles.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress.h"
#include "shell/TF_Splash.h"
#include "support/ModalDialogs.h"
#include "support/ProjectObjects.h"
#include "support/SmallDisk.h"
#include "workspace/TF_SMDI.h"
#include "workspace/ToolWindows.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QComboBox>
#include <QScrollBar>
#include <QSpinBox>
#include <QRadioButton>
#include <QCheckBox>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class Commands : public testhelpers::ShownMainWindowTest {
protected:
    // A picture file of the sample core.
    QString writeImage(const QString& name, int width = 240)
    {
        samples::CoreRecipe recipe;
        recipe.width = width;
        recipe.height = 40;
        const QString file = path(name);
        QDir().mkpath(QFileInfo(file).path());
        const QByteArray format = QFileInfo(file).suffix().toUpper().toLatin1();
        EXPECT_TRUE(samples::makeCore(recipe).save(file, format.constData())) << file.toStdString();
        return file;
    }

    TF_SMDI* newProject()
    {
        main->A_NewProject->trigger();
        QCoreApplication::processEvents();
        return main->ActiveMDIChild();
    }

    // A project file with one image and one index point, written by the program's own writer.
    QString writeProject(const QString& name)
    {
        const QString image = writeImage(name + QStringLiteral(".png"));
        TF_SMDI* w = newProject();
        EXPECT_EQ(w->LoadImage(image, true), 0);
        auto index = std::make_unique<TIndex>();
        index->Pos = QPoint(30, 20);
        index->Path = w->PathList.front().get();
        w->PathList.front()->ObjectList.push_back(std::move(index));
        const QString file = path(name);
        EXPECT_EQ(SaveProjectXML(w, file, false), 0);
        discard(w);
        return file;
    }

    void discard(TF_SMDI* w)
    {
        w->Project->Changed = false;
        for (const auto& so : w->StitchList)
            so->ImageChanged = false;
        main->ActivateMDIChild(w);
        main->CloseMDI->trigger();
        settle();
    }

    static void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QStringList logTexts() const
    {
        QStringList texts;
        for (const auto& e : TF_ErrorLog::Entries())
            texts << e->AMessage;
        return texts;
    }
};

// ---- new project ----

TEST_F(Commands, NewProjectCreatesANamedChangedWindow)
{
    TF_SMDI* w = newProject();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Project->Name, QStringLiteral("New Project 1"));
    EXPECT_TRUE(w->Project->Changed);
    ASSERT_NE(w->mdiFrame(), nullptr);
    EXPECT_EQ(w->mdiFrame()->size(), QSize(640, 480));
    EXPECT_EQ(F_Measurements->MDIForm(), w);
    TF_SMDI* second = newProject();
    EXPECT_EQ(second->Project->Name, QStringLiteral("New Project 2"));
    EXPECT_EQ(main->MDIChildren(), (QList<TF_SMDI*>{w, second}));
    int entries = 0;
    for (QAction* a : main->M_Projects->actions())
        entries += a->isSeparator() ? 0 : 1;
    EXPECT_EQ(entries, 2);
}

// ---- loading ----

TEST_F(Commands, LoadingAProjectFillsAWindowAndLogsIt)
{
    const QString file = writeProject(QStringLiteral("Oak.jex4"));
    TF_ErrorLog::ClearLog();
    TF_SMDI* w = main->ProcessLoadProject(file);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Project->Filename, file);
    EXPECT_FALSE(w->Project->Changed);
    ASSERT_EQ(w->StitchList.size(), 1u);
    ASSERT_FALSE(w->PathList.empty());
    EXPECT_EQ(w->PathList.front()->ObjectList.size(), 1u);
    EXPECT_FALSE(ProjectLoading);
    EXPECT_EQ(main->ActiveMDIChild(), w);
    EXPECT_EQ(F_Measurements->MDIForm(), w);
    EXPECT_EQ(logTexts().last(), QStringLiteral("JEX4 project ") + file + QStringLiteral(" loaded successfully!"));
}

TEST_F(Commands, LoadingAnOpenProjectBringsItsWindowBack)
{
    const QString file = writeProject(QStringLiteral("Oak.jex4"));
    TF_SMDI* loaded = main->ProcessLoadProject(file);
    ASSERT_NE(loaded, nullptr);
    loaded->Project->Changed = true;
    TF_SMDI* other = newProject();
    ASSERT_EQ(main->ActiveMDIChild(), other);
    TF_ErrorLog::ClearLog();

    // The same file under other spellings of its path.
    ASSERT_TRUE(QFile::link(file, path(QStringLiteral("link.jex4"))));
    const QString spellings[] = {file, dir.path() + QStringLiteral("/./sub/../Oak.jex4"), path(QStringLiteral("link.jex4"))};
    for (const QString& name : spellings) {
        SCOPED_TRACE(name.toStdString());
        main->ActivateMDIChild(other);
        EXPECT_EQ(main->ProcessLoadProject(name), loaded);
        QCoreApplication::processEvents();
        EXPECT_EQ(main->ActiveMDIChild(), loaded);
        EXPECT_EQ(main->MDIChildren().size(), 2);
    }
    EXPECT_TRUE(loaded->Project->Changed);
    EXPECT_TRUE(TF_ErrorLog::Entries().empty());
    EXPECT_FALSE(ProjectLoading);

    // Another letter case names another file: it opens in a window of its own.
    const QString upper = path(QStringLiteral("OAK.jex4"));
    ASSERT_TRUE(QFile::copy(file, upper));
    TF_SMDI* third = main->ProcessLoadProject(upper);
    ASSERT_NE(third, nullptr);
    EXPECT_NE(third, loaded);
    EXPECT_EQ(third->Project->Filename, upper);
    EXPECT_EQ(main->MDIChildren().size(), 3);
}

TEST_F(Commands, AFileThatCannotBeReadLeavesNoWindow)
{
    struct Row {
        const char* name;
        QByteArray content; // empty name with null content: the file is missing
        bool exists;
    };
    const Row rows[] = {
        {"missing.jex4", QByteArray(), false},
        {"empty.jex4", QByteArray(""), true},
        {"garbage.jex4", QByteArray("\x89PNG\r\n\x1a\n not a project at all"), true},
        {"truncated.jex4", QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><JEX4><ProjectData Name=\"x\" DPI=\"12"), true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const QString file = path(QString::fromLatin1(r.name));
        if (r.exists) {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(r.content);
        }
        TF_ErrorLog::ClearLog();
        EXPECT_EQ(main->ProcessLoadProject(file), nullptr);
        settle();
        EXPECT_TRUE(main->MDIChildren().isEmpty());
        EXPECT_TRUE(main->mdiArea()->subWindowList().isEmpty());
        EXPECT_TRUE(ImageWindows().isEmpty());
        EXPECT_FALSE(ProjectLoading);
        const QStringList log = logTexts();
        ASSERT_FALSE(log.isEmpty());
        EXPECT_EQ(log.last(), QStringLiteral("Error loading JEX4 project ") + file);
        EXPECT_EQ(TF_ErrorLog::Entries().back()->AType, 0);
        for (const QString& line : log)
            EXPECT_FALSE(line.contains(QStringLiteral("loaded successfully")));
        EXPECT_EQ(F_Measurements->MDIForm(), nullptr);
    }
}

// The question about a missing image comes while the progress box of the load is up: the box
// stays on screen but no longer on top, and the question belongs to the main window.
TEST_F(Commands, AMissingImageIsAskedAboveTheProgressBox)
{
    F_Progress = new TF_Progress(main.get());
    const QString file = writeProject(QStringLiteral("Oak.jex4"));
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("Oak.jex4.png"))));
    setDialogs(std::make_unique<WidgetDialogs>());
    bool asked = false;
    testhelpers::whenShown<QMessageBox>([&](QMessageBox* box) {
        asked = true;
        EXPECT_TRUE(box->text().startsWith(QStringLiteral("Can\u00b4t locate image")));
        EXPECT_TRUE(F_Progress->isVisible());
        EXPECT_FALSE(F_Progress->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(box->parentWidget() ? box->parentWidget()->window() : nullptr, main.get());
        for (QAbstractButton* b : box->buttons())
            if (b->text() == QStringLiteral("&No"))
                b->click();
    });
    TF_SMDI* w = main->ProcessLoadProject(file);
    EXPECT_TRUE(asked);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->StitchList.empty());
    EXPECT_TRUE(F_Progress->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(Commands, LoadProjectCommandOpensTheChosenFile)
{
    const QString file = writeProject(QStringLiteral("Beech.jex4"));
    fake->cancelFile();
    main->A_LoadProject->trigger();
    EXPECT_TRUE(main->MDIChildren().isEmpty());
    fake->answerFile(file, 1);
    main->A_LoadProject->trigger();
    settle();
    ASSERT_EQ(main->MDIChildren().size(), 1);
    EXPECT_EQ(main->MDIChildren()[0]->Project->Filename, file);
    ASSERT_EQ(fake->shown().size(), 3);
    EXPECT_EQ(fake->shown()[2].request.filter, QStringLiteral("JEX4 project files|*.jex4|JEX3.x measurement files|*.jex"));
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

// ---- dialogs ----

TEST_F(Commands, SaveDialogsFollowTheChosenFilter)
{
    struct Row {
        int filter;
        QString name;
        QString project; // SD_ProjectTypeChange
        QString image;   // SD_ImageTypeChange
    };
    const Row rows[] = {
        {1, QStringLiteral("/data/core.jex"), QStringLiteral("/data/core.jex4"), QStringLiteral("core.bmp")},
        {2, QStringLiteral("/data/core.jex4"), QStringLiteral("/data/core.jex"), QStringLiteral("core.jpg")},
        {3, QStringLiteral("/data/Core.Scan.PNG"), QString(), QStringLiteral("Core.Scan.png")},
        {1, QStringLiteral("noext"), QStringLiteral("noext.jex4"), QStringLiteral("noext.bmp")},
        {4, QStringLiteral("core.bmp"), QString(), QString()},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name.toStdString());
        EXPECT_EQ(TF_Main::SD_ProjectTypeChange(r.filter, r.name), r.project);
        EXPECT_EQ(TF_Main::SD_ImageTypeChange(r.filter, r.name), r.image);
    }
    // A folder typed into the image dialog stays as it is.
    EXPECT_EQ(TF_Main::SD_ImageTypeChange(2, dir.path()), QString());
    EXPECT_TRUE(main->SD_Image.onTypeChange);
    EXPECT_TRUE(main->SD_Project.onTypeChange);
}

// ---- save project ----

TEST_F(Commands, TheImageListsSaveProjectIsTheMainWindowsSaveProject)
{
    TF_SMDI* w = newProject();
    ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("core.png")), true), 0);
    F_Measurements->FillMeasurements(w, false);
    F_Measurements->AM_MeasurementsUpdate();
    ASSERT_TRUE(F_Measurements->A_SaveProject->isEnabled());
    const QString file = path(QStringLiteral("FromTree.jex4"));
    fake->answerFile(file, 1);
    F_Measurements->A_SaveProject->trigger();
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(w->Project->Filename, file);
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(Commands, SaveProjectWithoutImagesWritesTheFile)
{
    TF_SMDI* w = newProject();
    const QString file = path(QStringLiteral("Empty.jex4"));
    fake->answerFile(file, 1);
    main->A_SaveProject->trigger();
    ASSERT_EQ(fake->shown().size(), 2);
    const FileDialogRequest& request = fake->shown()[1].request;
    EXPECT_EQ(request.fileName, QStringLiteral("New Project 1"));
    EXPECT_EQ(request.filterIndex, 1);
    EXPECT_EQ(request.initialDir, GetDataFolder());
    EXPECT_TRUE(QFile::exists(file));
    EXPECT_EQ(w->Project->Filename, file);
    EXPECT_FALSE(w->Project->Changed);
    EXPECT_EQ(logTexts().last(), QStringLiteral("Project ") + file + QStringLiteral(" saved successfully!"));

    // The next save starts in the project's folder with its name and format.
    w->Project->Filename = path(QStringLiteral("Older.jex"));
    fake->cancelFile();
    main->A_SaveProject->trigger();
    ASSERT_EQ(fake->shown().size(), 3);
    EXPECT_EQ(fake->shown()[2].request.initialDir, dir.path());
    EXPECT_EQ(fake->shown()[2].request.fileName, QStringLiteral("Older.jex"));
    EXPECT_EQ(fake->shown()[2].request.filterIndex, 2);
}

TEST_F(Commands, OlderFormatIsRefusedForPngImages)
{
    TF_SMDI* w = newProject();
    const QString image = writeImage(QStringLiteral("scan.png"));
    ASSERT_EQ(w->LoadImage(image, true), 0);
    const QString before = w->Project->Filename;
    const QString target = path(QStringLiteral("scan.jex"));
    fake->answerFile(target, 2);
    main->A_SaveProject->trigger();
    ASSERT_EQ(fake->shown().size(), 3);
    EXPECT_EQ(fake->shown()[2].kind, FakeDialogs::Kind::ShowMessage);
    EXPECT_TRUE(fake->shown()[2].text.startsWith(QStringLiteral("Can\u00b4t save this project to the selected file format!\r\n")));
    EXPECT_EQ(w->Project->Filename, before);
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(logTexts().last(), QStringLiteral("Error saving project to ") + target);
}

TEST_F(Commands, UnsavedImagesOfferToSaveEverythingIntoOneFolder)
{
    TF_SMDI* w = newProject();
    auto so = std::make_unique<TStitchObject>();
    so->FD->SetSize(20, 10, 24);
    so->filename = QStringLiteral("Not saved");
    w->StitchList.push_back(std::move(so));

    fake->answerMessage(mrCancel);
    main->A_SaveProject->trigger();
    ASSERT_EQ(fake->shown().size(), 2);
    EXPECT_EQ(fake->shown()[1].text, QStringLiteral("The images contained in this project were not yet saved!\r\n"
                                                    "Save images and project into one folder?"));

    fake->answerMessage(mrYes);
    fake->cancelFile();
    main->A_SaveProject->trigger();
    ASSERT_EQ(fake->shown().size(), 4);
    EXPECT_EQ(fake->shown()[3].kind, FakeDialogs::Kind::SaveFile);
    EXPECT_EQ(fake->shown()[3].request.title, QStringLiteral("Save project to..."));
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

// ---- save project and images to ----

TEST_F(Commands, SaveToGivesEveryImageAFileOfItsOwn)
{
    TF_SMDI* w = newProject();
    const QString a = writeImage(QStringLiteral("a/core.png"), 100);
    const QString b = writeImage(QStringLiteral("b/core.png"), 120);
    const QString x = writeImage(QStringLiteral("a/x.bmp"), 140);
    ASSERT_EQ(w->LoadImage(a, true), 0);
    auto pasted = std::make_unique<TStitchObject>();
    pasted->FD->SetSize(60, 30, 24);
    pasted->filename = QStringLiteral("Not saved");
    pasted->ImageChanged = true;
    w->StitchList.push_back(std::move(pasted));
    ASSERT_EQ(w->LoadImage(b, true), 0);
    ASSERT_EQ(w->LoadImage(x, true), 0);
    ASSERT_EQ(w->StitchList.size(), 4u);

    QDir().mkpath(path(QStringLiteral("out")));
    const QString target = path(QStringLiteral("out/C.jex4"));
    fake->answerFile(target, 1);
    main->A_SaveProjectTo->trigger();

    const QString expected[] = {path(QStringLiteral("out/core.png")), path(QStringLiteral("out/C_2.jpg")),
                                path(QStringLiteral("out/C_3.png")), path(QStringLiteral("out/x.bmp"))};
    const int widths[] = {100, 60, 120, 140};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(w->StitchList[size_t(i)]->filename, expected[i]);
        QImage written(expected[i]);
        EXPECT_EQ(written.width(), widths[i]);
    }
    EXPECT_FALSE(w->StitchList[1]->ImageChanged);
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_EQ(w->Project->Filename, target);
    // The sources stay where they were.
    EXPECT_EQ(QImage(a).width(), 100);
    EXPECT_EQ(QImage(b).width(), 120);
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(Commands, SaveToWithEmbeddedImagesAnsweredNoWritesOnlyTheProject)
{
    SettingEmbedImages = true;
    TF_SMDI* w = newProject();
    const QString a = writeImage(QStringLiteral("in/core.png"));
    ASSERT_EQ(w->LoadImage(a, true), 0);
    QDir().mkpath(path(QStringLiteral("out")));
    const QString target = path(QStringLiteral("out/P.jex4"));
    fake->answerFile(target, 1);
    fake->answerMessage(mrNo);
    main->A_SaveProjectTo->trigger();
    EXPECT_EQ(fake->shown().last().text, QStringLiteral("You have selected to embed images into JEX project files.\r\n"
                                                        "Save images anyway?"));
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_EQ(QDir(path(QStringLiteral("out"))).entryList(QDir::Files), QStringList{QStringLiteral("P.jex4")});
    EXPECT_EQ(w->StitchList[0]->filename, a);
    EXPECT_EQ(w->Project->Filename, target);
}

TEST_F(Commands, SaveToOverAnExistingFileAsksAndCancelKeepsIt)
{
    TF_SMDI* w = newProject();
    const QString target = path(QStringLiteral("Kept.jex4"));
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    const QString before = w->Project->Filename;
    fake->answerFile(target, 1);
    fake->answerMessage(mrCancel);
    main->A_SaveProjectTo->trigger();
    EXPECT_EQ(fake->shown().last().text, target + QStringLiteral("\r\nalready exists!\r\nReplace file and attached images?"));
    EXPECT_EQ(fake->shown().last().buttons, (TMsgDlgButtons{mbYes, mbCancel}));
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old"));
    EXPECT_EQ(w->Project->Filename, before);
}

// On a full disk the save to a new place says so once, keeps the old project and image files byte
// for byte and leaves the project as it was: not saved, under its own name, the new one not listed
// as recent. An image that cannot go there stops the save before the project file is touched.
TEST_F(Commands, SaveToOnAFullDiskKeepsTheOldFilesAndTheProjectUnsaved)
{
    testhelpers::SmallDisk disk;
    SKIP_WITHOUT_SMALL_DISK(disk);
    // BMP: the image's copy is as large as its pixels, far more than the project file. PNG is left
    // out: the toolkit's encoder leaks when its write fails, and this file runs with the leak check.
    const QString source = writeImage(QStringLiteral("in/core.bmp"), 600);
    const struct {
        const char* what;
        bool embed;        // images embedded and not saved beside the project: the project alone is written
        qint64 freeBytes;  // left on the disk
        bool imageFails;   // else the project file fails
    } rows[] = {
        {"embedded image, the project file alone", true, 0, false},
        {"nothing fits", false, 0, true},
        {"room for the project file only", false, 16 * 1024, true},
    };
    const QString target = disk.path(QStringLiteral("P.jex4"));
    const QString copy = disk.path(QStringLiteral("core.bmp"));
    const QByteArray old(3000, 'o');
    auto plantOld = [&old](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::WriteOnly) && f.write(old) == old.size();
    };
    auto contents = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    };
    auto recent = [this] {
        QStringList files;
        for (int i = 0; i < main->HL->entryCount(); ++i)
            files << main->HL->entryFile(i);
        return files;
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        SettingEmbedImages = r.embed;
        disk.empty();
        QFile::remove(target);
        QFile::remove(copy);
        ASSERT_TRUE(plantOld(target));
        ASSERT_TRUE(plantOld(copy));
        TF_SMDI* w = newProject();
        ASSERT_EQ(w->LoadImage(source, true), 0);
        TStitchObject* so = w->StitchList.front().get();
        w->Project->Changed = true;
        const QString before = w->Project->Filename;
        const QStringList recentBefore = recent();
        auto saveTo = [&] {
            fake->answerFile(target, 1);
            fake->answerMessage(mrYes); // replace the old file and images
            if (r.embed)
                fake->answerMessage(mrNo); // no images beside the project
            main->A_SaveProjectTo->trigger();
        };

        ASSERT_TRUE(disk.fillLeaving(r.freeBytes));
        const qsizetype shown = fake->shown().size();
        saveTo();
        QStringList errors;
        for (qsizetype i = shown; i < fake->shown().size(); ++i)
            if (fake->shown()[i].type == mtError)
                errors << fake->shown()[i].text;
        ASSERT_FALSE(errors.isEmpty()) << "the failure is told";
        EXPECT_EQ(errors.size(), 1) << "and told once: " << errors.join('\n').toStdString();
        EXPECT_TRUE(errors.first().contains(r.imageFails ? copy : target)) << errors.first().toStdString();
        EXPECT_EQ(contents(target), old);
        EXPECT_EQ(contents(copy), old);
        EXPECT_EQ(disk.entries(), (QStringList{QStringLiteral("P.jex4"), QStringLiteral("core.bmp")}))
            << "no temporary is left";
        EXPECT_TRUE(w->Project->Changed);
        EXPECT_EQ(w->Project->Filename, before);
        EXPECT_EQ(recent(), recentBefore);
        EXPECT_EQ(so->filename, source);

        // With room again the same command goes through: the failure was the disk's alone.
        disk.empty();
        saveTo();
        EXPECT_NE(contents(target), old);
        EXPECT_EQ(contents(copy) == old, r.embed) << "the image is copied unless embedded";
        EXPECT_FALSE(w->Project->Changed);
        EXPECT_EQ(w->Project->Filename, target);
        EXPECT_EQ(recent().value(0), target);
        EXPECT_EQ(so->filename, r.embed ? source : copy);
        EXPECT_EQ(fake->unusedAnswers(), 0);
        discard(w);
    }
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

// A plain save that the disk refuses leaves the project under its own name, unsaved and not listed
// as recent, and the old file as it was.
TEST_F(Commands, SaveOnAFullDiskKeepsTheProjectUnderItsOwnName)
{
    testhelpers::SmallDisk disk;
    SKIP_WITHOUT_SMALL_DISK(disk);
    SettingEmbedImages = true;
    const QString target = disk.path(QStringLiteral("P.jex4"));
    const QByteArray old(3000, 'o');
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
    }
    TF_SMDI* w = newProject();
    ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("in/core.bmp"), 600), true), 0);
    w->Project->Changed = true;
    const QString before = w->Project->Filename;
    const int recentBefore = main->HL->entryCount();

    ASSERT_TRUE(disk.fillLeaving(0));
    const qsizetype shown = fake->shown().size();
    fake->answerFile(target, 1);
    main->A_SaveProject->trigger();
    int told = 0;
    for (qsizetype i = shown; i < fake->shown().size(); ++i)
        told += fake->shown()[i].type == mtError && fake->shown()[i].text.contains(target);
    EXPECT_EQ(told, 1) << "the failure is told once";
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), old);
    EXPECT_TRUE(w->Project->Changed);
    EXPECT_EQ(w->Project->Filename, before);
    EXPECT_EQ(main->HL->entryCount(), recentBefore);
    EXPECT_EQ(fake->unusedAnswers(), 0);
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
    discard(w);
}

// ---- images ----

TEST_F(Commands, AddImageLoadsEveryChosenFileInOrder)
{
    TF_SMDI* w = newProject();
    const QString a = writeImage(QStringLiteral("one.png"), 100);
    const QString b = writeImage(QStringLiteral("two.bmp"), 150);
    fake->answerFile(QStringList{a, b});
    main->A_AddImage->trigger();
    ASSERT_EQ(w->StitchList.size(), 2u);
    EXPECT_EQ(w->StitchList[0]->filename, a);
    EXPECT_EQ(w->StitchList[1]->filename, b);
    EXPECT_EQ(fake->shown().last().request.title, QStringLiteral("Locate image"));
}

// The dialog lists every picture the image road opens, and nothing it refuses.
TEST_F(Commands, AddImageOffersEveryPictureTheImageRoadOpens)
{
    TF_SMDI* w = newProject();
    fake->cancelFile();
    main->A_AddImage->trigger();
    const QString filter = fake->shown().last().request.filter;
    const QStringList parts = filter.split(QLatin1Char('|'));
    ASSERT_EQ(parts.size(), 2) << filter.toStdString();
    EXPECT_EQ(parts[0], QStringLiteral("Supported image files"));
    const QStringList patterns = parts[1].split(QLatin1Char(';'));

    for (const char* name : {"a.jpg", "a.jpeg", "a.bmp", "a.png", "a.tif", "a.tiff"}) {
        const QString file = writeImage(QString::fromLatin1(name));
        TFastDIB picture;
        ASSERT_EQ(LoadPictureToDIB(picture, file), 0) << name;
        EXPECT_TRUE(QDir::match(patterns, QFileInfo(file).fileName())) << name << " is not offered";
    }
    for (const char* name : {"a.txt", "a.jex4", "a.tga"})
        EXPECT_FALSE(QDir::match(patterns, QString::fromLatin1(name))) << name;
    w->Project->Changed = false;
}

TEST_F(Commands, RecentFileEntriesOpenExistingFilesOnly)
{
    EXPECT_EQ(TF_Main::StripAccessKeys(QStringLiteral("/d/&Oak && Ash.png")), QStringLiteral("/d/Oak & Ash.png"));
    EXPECT_EQ(TF_Main::StripAccessKeys(QStringLiteral("&&&x")), QStringLiteral("&x"));

    const QString image = writeImage(QStringLiteral("Oak & Ash.png"));
    QString caption = image;
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction gone(QStringLiteral("&") + path(QStringLiteral("gone.png")));
    main->DynamicMenuExecute(&gone);
    settle();
    EXPECT_TRUE(main->MDIChildren().isEmpty());

    QAction entry(caption);
    main->DynamicMenuExecute(&entry);
    settle();
    ASSERT_EQ(main->MDIChildren().size(), 1);
    ASSERT_EQ(main->MDIChildren()[0]->StitchList.size(), 1u);
    EXPECT_EQ(main->MDIChildren()[0]->StitchList[0]->filename, image);

    const QString project = writeProject(QStringLiteral("Recent.jex4"));
    QAction projectEntry(project);
    main->DynamicMenuExecute(&projectEntry);
    settle();
    ASSERT_EQ(main->MDIChildren().size(), 2);
    EXPECT_EQ(main->ActiveMDIChild()->Project->Filename, project);
}

// ---- closing and the clipboard ----

TEST_F(Commands, CloseProjectAsksForAChangedProject)
{
    TF_SMDI* w = newProject();
    ASSERT_TRUE(w->Project->Changed);
    fake->answerMessage(mrNo);
    main->CloseMDI->trigger();
    settle();
    EXPECT_EQ(main->MDIChildren(), QList<TF_SMDI*>{w});
    fake->answerMessage(mrYes);
    main->CloseMDI->trigger();
    settle();
    EXPECT_TRUE(main->MDIChildren().isEmpty());
    EXPECT_TRUE(main->mdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(Commands, PasteMakesANewProjectOfTheClipboardPicture)
{
    QImage picture(64, 32, QImage::Format_RGB32);
    picture.fill(QColor(10, 200, 30));
    QGuiApplication::clipboard()->setImage(picture);
    QCoreApplication::processEvents();
    main->AMUpdate();
    ASSERT_TRUE(main->A_PasteImage->isEnabled());
    main->A_PasteImage->trigger();
    settle();
    ASSERT_EQ(main->MDIChildren().size(), 1);
    TF_SMDI* w = main->MDIChildren()[0];
    ASSERT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->StitchList[0]->FD->Info.Header.Width, 64);
    EXPECT_EQ(w->StitchList[0]->FD->AbsHeight, 32);
    EXPECT_TRUE(w->isVisible());
    QGuiApplication::clipboard()->clear();
}

// ---- older projects ----

// Every road to a .jex file goes through the one import or the one export: a file that cannot be
// read or written is told in a box, and no window, recent-file entry, caption or file takes the name.
TEST_F(Commands, EveryRoadToAnOlderProjectThatFailsSaysSoAndChangesNothing)
{
    const QString older = path(QStringLiteral("Oak 1987.jex"));
    {
        QFile f(older);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(296 * 3, '\0'));
    }
    struct Road {
        const char* name;
        std::function<void()> take;
    };
    const Road opening[] = {
        {"Load Project with the JEX3 filter", [&] {
             fake->answerFile(older, 2);
             main->A_LoadProject->trigger();
         }},
        {"recent-file entry", [&] {
             QAction entry(older);
             main->DynamicMenuExecute(&entry);
         }},
        {"file drop", [&] { main->AcceptFiles({older}); }},
        {"command line", [&] {
             main->setCommandLineArguments(older.split(QLatin1Char(' ')));
             main->OpenCommandLineFile();
         }},
        {"RAXO OPEN", [&] { main->Link->ImportProject(older); }},
    };
    for (const Road& road : opening) {
        SCOPED_TRACE(road.name);
        const qsizetype asked = fake->shown().size();
        road.take();
        settle();
        ASSERT_GT(fake->shown().size(), asked);
        // Records of zeros: no image record first, so nothing of it is read.
        EXPECT_EQ(fake->shown().last().text, QStringLiteral("The file ") + older + QStringLiteral(" is damaged!"));
        EXPECT_TRUE(main->MDIChildren().isEmpty());
        EXPECT_EQ(main->HL->entryCount(), 0);
        EXPECT_EQ(main->windowTitle(), QStringLiteral("JEX %1.%2").arg(VersionMajor).arg(VersionMinor));
    }

    // A project that the older format could hold: one JPEG image, one path.
    TF_SMDI* w = newProject();
    ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("oak.jpg")), true), 0);
    const QString own = path(QStringLiteral("Oak.jex4"));
    w->Project->Filename = own;
    w->SetCaption();
    const QString target = path(QStringLiteral("no such folder/Oak written.jex"));
    const Road writing[] = {
        {"Save Project with the JEX3 filter", [&] {
             fake->answerFile(target, 2);
             main->A_SaveProject->trigger();
         }},
        {"reload button", [&] {
             w->Project->Filename = target;
             w->SB_UpdateRAXOClick();
             w->Project->Filename = own;
         }},
    };
    for (const Road& road : writing) {
        SCOPED_TRACE(road.name);
        fake->answerMessage(mrOk);
        road.take();
        settle();
        EXPECT_TRUE(fake->shown().last().text.startsWith(QStringLiteral("An error occured while saving to ") + target))
            << fake->shown().last().text.toStdString();
        EXPECT_FALSE(QFile::exists(target));
        EXPECT_EQ(w->Project->Filename, own);
        EXPECT_EQ(w->windowTitle(), own);
        EXPECT_EQ(main->HL->entryCount(), 0);
    }
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
    EXPECT_EQ(fake->unusedAnswers(), 0);
}

// ---- image, window and help commands ----

TEST_F(Commands, ImageCommandsChangeTheActiveWindowsPixelsAndRepaint)
{
    struct Row {
        const char* name;
        QAction* TF_Main::*command;
        std::function<QRgb(const QImage&, int, int)> expected; // from the file's picture
    };
    const Row rows[] = {
        {"Invert", &TF_Main::Invert, [](const QImage& p, int x, int y) {
             const QRgb c = p.pixel(x, y);
             return qRgb(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c));
         }},
        {"Mirror horizontally", &TF_Main::MirrorH,
         [](const QImage& p, int x, int y) { return p.pixel(x, p.height() - 1 - y) | 0xFF000000u; }},
        {"Mirror vertically", &TF_Main::MirrorV,
         [](const QImage& p, int x, int y) { return p.pixel(p.width() - 1 - x, y) | 0xFF000000u; }},
    };
    const QString file = writeImage(QStringLiteral("core.png"));
    const QImage picture = QImage(file).convertToFormat(QImage::Format_RGB32);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TF_SMDI* w = newProject();
        ASSERT_EQ(w->LoadImage(file, true), 0);
        w->SmoothDraw(true);
        const QImage before = w->B_Background.copy();
        main->AMUpdate();
        QAction* command = main.get()->*r.command;
        ASSERT_TRUE(command->isEnabled());
        command->trigger();
        const TFastDIB& fd = *w->StitchList[0]->FD;
        for (QPoint p : {QPoint(0, 0), QPoint(7, 3), QPoint(picture.width() - 1, picture.height() - 1), QPoint(120, 21)})
            EXPECT_EQ(testhelpers::fdPixel(fd, p.x(), p.y()), r.expected(picture, p.x(), p.y()))
                << "at " << p.x() << ", " << p.y();
        EXPECT_TRUE(w->StitchList[0]->ImageChanged);
        EXPECT_NE(w->B_Background, before) << "the window shows the new pixels";
        discard(w);
    }
}

TEST_F(Commands, ImageMenuOpensTheWindowsDialogsAndRunsTheirOperation)
{
    struct Row {
        const char* name;
        QAction* TF_Main::*command;
        std::function<void()> answer; // arms the dialog's answer before the command runs
        QSize size;                   // of the image afterwards, from 240 x 40
    };
    const Row rows[] = {
        {"Sharpen", &TF_Main::Sharpen,
         [] { testhelpers::whenShown<TF_SelectAmount>([](TF_SelectAmount* d) { d->TB_Amount->setValue(2); d->accept(); }); },
         {240, 40}},
        {"Soften", &TF_Main::Soften,
         [] { testhelpers::whenShown<TF_SelectAmount>([](TF_SelectAmount* d) { d->accept(); }); }, {240, 40}},
        {"Add Border", &TF_Main::AddBorder, [] {
             testhelpers::whenShown<TF_AddBorder>([](TF_AddBorder* d) {
                 d->CB_Symmetric->setChecked(true);
                 d->SE_Left->setValue(3);
                 d->B_Ok->click();
             });
         }, {246, 46}},
        {"Resample", &TF_Main::A_Resample, [] {
             testhelpers::whenShown<TF_Resample>([](TF_Resample* d) {
                 d->RB_Pixel->click();
                 d->CB_Keep->setChecked(false);
                 d->SE_PixelWidth->setValue(120);
                 d->SE_PixelHeight->setValue(20);
                 d->B_Ok->click();
             });
         }, {120, 20}},
        {"Rotate", &TF_Main::A_Rotate,
         [] { testhelpers::whenShown<TF_Rotate>([](TF_Rotate* d) { d->RB_90->setChecked(true); d->accept(); }); },
         {40, 240}},
    };
    const QString file = writeImage(QStringLiteral("core.png"));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        TF_SMDI* w = newProject();
        ASSERT_EQ(w->LoadImage(file, true), 0);
        main->AMUpdate();
        QAction* command = main.get()->*r.command;
        ASSERT_TRUE(command->isEnabled());
        r.answer();
        command->trigger();
        const TStitchObject& so = *w->StitchList[0];
        EXPECT_TRUE(so.ImageChanged);
        EXPECT_EQ(QSize(so.Width, so.Height), r.size);
        discard(w);
    }

    // The gates of the first-image commands answer before any dialog (the menu items themselves
    // are disabled then).
    TF_SMDI* w = newProject();
    ASSERT_EQ(w->LoadImage(file, true), 0);
    ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("second.png")), true), 0);
    for (void (TF_Main::*command)() : {&TF_Main::AddBorderExecute, &TF_Main::A_ResampleExecute, &TF_Main::A_RotateExecute}) {
        (main.get()->*command)();
        EXPECT_EQ(fake->shown().last().text, QStringLiteral("This operation can only be performed on single images!"));
    }
    EXPECT_FALSE(w->StitchList[0]->ImageChanged);
    discard(w);
}

// Adjust and Grayscale open their dialogs on the active window; OK changes the chosen image.
TEST_F(Commands, AdjustAndGrayscaleOpenTheirDialogsOnTheActiveWindow)
{
    const QString file = writeImage(QStringLiteral("core.png"));
    TF_SMDI* w = newProject();
    ASSERT_EQ(w->LoadImage(file, true), 0);
    main->AMUpdate();
    ASSERT_TRUE(main->Brightness->isEnabled());
    ASSERT_TRUE(main->Grayscale->isEnabled());
    testhelpers::whenShown<TF_Contrast>([w](TF_Contrast* d) {
        EXPECT_EQ(d->MDI, w);
        d->SB_Lightness->setValue(50);
        d->B_Ok->click();
    });
    main->Brightness->trigger();
    EXPECT_TRUE(w->StitchList[0]->ImageChanged);
    w->StitchList[0]->ImageChanged = false;
    testhelpers::whenShown<TF_Grayscale>([w](TF_Grayscale* d) {
        EXPECT_EQ(d->MDI, w);
        d->B_Cancel->click();
    });
    main->Grayscale->trigger();
    EXPECT_FALSE(w->StitchList[0]->ImageChanged);
    discard(w);
}

TEST_F(Commands, MirroringSeveralImagesIsRefusedWithTheSingleImageMessage)
{
    TF_SMDI* w = newProject();
    ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("a.png")), true), 0);
    ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("b.png")), true), 0);
    main->AMUpdate();
    EXPECT_FALSE(main->MirrorH->isEnabled());
    EXPECT_FALSE(main->MirrorV->isEnabled());
    const QRgb corner = testhelpers::fdPixel(*w->StitchList[0]->FD, 0, 0);
    for (void (TF_Main::*mirror)() : {&TF_Main::MirrorHExecute, &TF_Main::MirrorVExecute}) {
        (main.get()->*mirror)();
        EXPECT_EQ(fake->shown().last().text, QStringLiteral("This operation can only be performed on single images!"));
    }
    EXPECT_EQ(testhelpers::fdPixel(*w->StitchList[0]->FD, 0, 0), corner);
    EXPECT_FALSE(w->StitchList[0]->ImageChanged);
}

TEST_F(Commands, SetImageResolutionAsksForTheDPIAsTheButtonsRightClickDoes)
{
    TF_SMDI* w = newProject();
    main->AMUpdate();
    EXPECT_FALSE(main->A_SetDPI->isEnabled()) << "a window without images has no resolution to set";
    ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("core.png")), true), 0);
    main->AMUpdate();
    ASSERT_TRUE(main->A_SetDPI->isEnabled());
    fake->answerInput(QStringLiteral("2400"));
    main->A_SetDPI->trigger();
    EXPECT_EQ(w->DPI, 2400);
    EXPECT_EQ(w->SB_DPI->text(), QStringLiteral("2400"));
    ASSERT_GE(fake->shown().size(), 2);
    EXPECT_EQ(fake->shown()[fake->shown().size() - 2].text, QStringLiteral("Enter DPI value:"));
    EXPECT_EQ(fake->shown().last().text, QStringLiteral("The DPI resolution was changed to 2400 dpi."));
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(Commands, CalibrateImageResolutionStartsTheWizardOnTheActiveWindow)
{
    TF_SMDI* w = newProject();
    ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("core.png")), true), 0);
    main->AMUpdate();
    EXPECT_FALSE(main->A_CalibrateDPI->isEnabled()) << "no wizard, no calibration";
    F_AdjustDPI = new TF_AdjustDPI(main.get());
    main->AMUpdate();
    ASSERT_TRUE(main->A_CalibrateDPI->isEnabled());
    main->A_CalibrateDPI->trigger();
    EXPECT_EQ(w->ScreenMode(), mmDPIPoint1);
    EXPECT_TRUE(F_AdjustDPI->isVisible());
    EXPECT_EQ(F_AdjustDPI->MDIForm, w);
    F_AdjustDPI->B_CancelClick();
    EXPECT_EQ(w->ScreenMode(), mmSelect);
    delete F_AdjustDPI.data();
}

TEST_F(Commands, WindowCommandsBringBackWhatTheUserClosed)
{
    F_ErrorLog = new TF_ErrorLog(main.get());
    struct Row {
        const char* name;
        QAction* action;
        QWidget* form;
    };
    const Row rows[] = {
        {"Project Manager", main->A_WindowMeasurements, F_Measurements},
        {"System Messages", main->A_SystemLog, F_ErrorLog},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ShowToolWindow(r.form, true);
        // Closed by the user, with its title bar's close box or its dock widget's.
        if (QDockWidget* dock = CarrierOf(r.form))
            dock->close();
        else
            r.form->close();
        settle();
        main->AMUpdate();
        ASSERT_FALSE(r.form->isVisible());
        EXPECT_FALSE(r.action->isChecked());
        ASSERT_TRUE(r.action->isEnabled());
        r.action->trigger();
        settle();
        EXPECT_TRUE(r.form->isVisible());
        main->AMUpdate();
        EXPECT_TRUE(r.action->isChecked());
        r.action->trigger();
        settle();
        EXPECT_FALSE(r.form->isVisible());
    }
}

TEST_F(Commands, TileGivesEveryWindowTheFirstOnesZoom)
{
    TF_SMDI* first = newProject();
    TF_SMDI* second = newProject();
    first->setZoom(12);
    second->setZoom(15);
    main->AMUpdate();
    ASSERT_TRUE(main->A_Tile->isEnabled());
    main->A_Tile->trigger();
    settle();
    EXPECT_EQ(second->zoom(), 12);
    EXPECT_EQ(second->CB_Zoom->currentText(), QStringLiteral("1:3"));
    // Side by side, not on top of each other.
    EXPECT_FALSE(first->mdiFrame()->geometry().intersects(second->mdiFrame()->geometry()));
}

TEST_F(Commands, DisplayTogglesSetTheirSettingsAndRepaintTheOverlays)
{
    TF_SMDI* w = newProject();
    ASSERT_EQ(w->LoadImage(writeImage(QStringLiteral("core.png")), true), 0);
    TIndex* index = testhelpers::addIndex(*w->CurrentPath, QPoint(20, 20));
    testhelpers::addMeasurement(*index, QPoint(90, 20))->Comment = QStringLiteral("frost ring");
    F_Measurements->FillMeasurements(w, false);
    struct Row {
        const char* name;
        QAction* TF_Main::*toggle;
        bool* setting;
    };
    const Row rows[] = {
        {"objects", &TF_Main::A_ObjectToggle, &SettingOVisible},
        {"lengths", &TF_Main::A_LengthToggle, &SettingLVisible},
        {"texts", &TF_Main::A_TextToggle, &SettingTVisible},
        {"right-angle lines", &TF_Main::A_RALToggle, &SettingRALVisible},
        {"crosshair cursor", &TF_Main::A_CADCursor, &SettingCADCursor},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QAction* toggle = main.get()->*r.toggle;
        for (int round = 0; round < 2; ++round) {
            const bool before = *r.setting;
            toggle->setChecked(before);
            toggle->trigger();
            EXPECT_EQ(toggle->isChecked(), !before);
            EXPECT_EQ(*r.setting, !before);
        }
    }
    // What the overlay shows follows at once.
    SettingOVisible = true;
    w->SmoothDraw(true);
    const QImage shown = w->B_Foreground.copy();
    main->A_ObjectToggle->setChecked(true);
    main->A_ObjectToggle->trigger();
    EXPECT_FALSE(SettingOVisible);
    EXPECT_NE(w->B_Foreground, shown);
    main->A_ObjectToggle->trigger();
    EXPECT_EQ(w->B_Foreground, shown);
}

TEST_F(Commands, AboutShowsTheSplashWithItsButton)
{
    F_Splash = new TF_Splash;
    main->AMUpdate();
    ASSERT_TRUE(main->A_About->isEnabled());
    bool sawButton = false;
    testhelpers::whenShown<TF_Splash>([&](TF_Splash* about) {
        sawButton = about->B_Ok->isVisible();
        EXPECT_EQ(about->Tag, 1);
        about->reject();
    });
    main->A_About->trigger();
    EXPECT_TRUE(sawButton);
    delete F_Splash.data();
}

} // namespace
