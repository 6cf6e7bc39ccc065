// File manager over a real folder: the listing filter and order, a large folder reaching the view
// in slices, browsing (also to what is missing), opening on a double-click, the preview on a plain
// left press, and its place in the main window (F4, the first showing, drops and loaded projects
// browse to their file).
#include "shell/TF_FileManager.h"

#include "platform/FakeDialogs.h"
#include "platform/Registry.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/RecentFiles.h"
#include "shell/FileListModel.h"
#include "shell/SettingsStore.h"
#include "shell/TF_Main.h"
#include "support/FakeRaxo.h"
#include "support/JEX3Records.h"
#include "support/ImageWindowTest.h"
#include "support/MainWindowTest.h"
#include "support/PermissionsBind.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Preview.h"
#include "workspace/TF_SMDI.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>


namespace {

using testhelpers::waitFor;

TEST(FileManagerListsFile, ExtensionsAnywhereInTheNameLetterCaseIgnored)
{
    const QStringList jpg = {QStringLiteral("jpg")};
    const QStringList jex = {QStringLiteral("jex")};
    const QStringList tarGz = {QStringLiteral("tar.gz")};
    const struct {
        const char* name;
        const QStringList* extensions;
        bool everything;
        bool listed;
    } rows[] = {
        {"photo.jpg", &jpg, false, true},     {"photo.JPG", &jpg, false, true},
        {"photo.jpg.txt", &jpg, false, true}, {"photo.jpeg", &jpg, false, false},
        {"photojpg", &jpg, false, false},     {"core.jex", &jex, false, true},
        {"core.jex4", &jex, false, true},     {"notes.txt", &jpg, true, true},
        {"caf\xe9.Jpg", &jpg, false, true},   {"caf\xe9.jpeg", &jpg, false, false},
        {"a.b.TAR.GZ", &tarGz, false, true},  {"a.tar.g", &tarGz, false, false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(FileManagerListsFile(QString::fromLatin1(r.name), r.everything, *r.extensions), r.listed) << r.name;
}

TEST(FolderProblem, NamesWhatCannotBeListed)
{
    QTemporaryDir dir;
    EXPECT_EQ(FolderProblem(dir.path()), QString());
    EXPECT_TRUE(FolderProblem(dir.filePath(QStringLiteral("gone"))).contains(QStringLiteral("does not exist")));
    const QString closed = dir.filePath(QStringLiteral("closed"));
    ASSERT_TRUE(QDir().mkdir(closed));
    QFile::setPermissions(closed, QFileDevice::WriteOwner);
    {
        testhelpers::PermissionsBind bind; // as root too
        ASSERT_TRUE(bind.active());
        EXPECT_TRUE(FolderProblem(closed).contains(QStringLiteral("cannot be read")));
    }
    QFile::setPermissions(closed, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

class FileManager : public testhelpers::MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        WindowValues() = StoredWindowValues();
        ProjectLoading = false;
        SettingFileManagerDisplayEverything = false;
        SettingFileManagerDisplayExtensions = {QStringLiteral("jpg"), QStringLiteral("jex4"), QStringLiteral("png")};
        for (const char* name : {"photo.jpg", "photo.JPG", "photo.jpg.txt", "photo.jpeg", "b.png", "a.png", "z.jex4"})
            touch(QString::fromLatin1(name));
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        createMain();
        F_Measurements = new TF_Measurements(main.get());
        F_FileManager = new TF_FileManager(main.get());
        fm = F_FileManager;
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        WindowValues() = StoredWindowValues();
        SettingFileManagerDisplayExtensions.clear();
    }

    void touch(const QString& name)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }

    // Browses and waits until the file list holds the folder's listed files.
    bool browse(const QString& path)
    {
        const bool ok = fm->BrowseTo(path);
        EXPECT_TRUE(waitFor([this] { return !fm->Files->isListing(); }));
        return ok;
    }

    // The names the file list shows, in its order.
    QStringList listed() const
    {
        QStringList names;
        for (int r = 0; r < fm->Files->rowCount(); ++r)
            names << fm->Files->index(r, 0).data().toString();
        return names;
    }

    QPoint centreOf(const QString& path)
    {
        const QModelIndex index = fm->Files->index(fm->Files->rowOf(QFileInfo(path).fileName()), 0);
        return fm->FileList->visualRect(index).center();
    }

    TF_FileManager* fm = nullptr;
};

TEST_F(FileManager, ListsFoldersAndTheChosenExtensionsSortedByExtension)
{
    QAbstractItemModelTester tester(fm->Files, QAbstractItemModelTester::FailureReportingMode::Warning);
    browse(dir.path());
    EXPECT_EQ(fm->SelectedPath(), dir.path());
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("z.jex4"), QStringLiteral("photo.JPG"),
                                     QStringLiteral("photo.jpg"), QStringLiteral("a.png"), QStringLiteral("b.png"),
                                     QStringLiteral("photo.jpg.txt")}));

    SettingFileManagerDisplayEverything = true;
    fm->RefreshFilter();
    ASSERT_TRUE(waitFor([this] { return !fm->Files->isListing(); }));
    EXPECT_EQ(listed().size(), 7);
    EXPECT_TRUE(listed().contains(QStringLiteral("photo.jpeg")));

    // A file that comes later shows without browsing again.
    touch(QStringLiteral("late.jpg"));
    EXPECT_TRUE(waitFor([this] { return listed().contains(QStringLiteral("late.jpg")); }));
}

// Hundreds of changes in a burst, some while a listing is on its way: the list ends with what the
// folder holds last.
TEST_F(FileManager, AfterABurstOfChangesTheListHoldsTheFoldersLastState)
{
    browse(dir.path());
    QStringList expected = listed();
    int relists = 0;
    QObject::connect(fm->Files, &FileListModel::listed, fm, [&relists] { ++relists; });
    for (int i = 0; i < 300; ++i) {
        const QString name = QStringLiteral("burst_%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        touch(name);
        if (i % 3 == 0)
            ASSERT_TRUE(QFile::remove(dir.filePath(name)));
        else
            expected << name;
        if (i % 50 == 0)
            QCoreApplication::processEvents(); // the watcher reports part of the burst on the way
    }
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("a.png"))));
    expected.removeOne(QStringLiteral("a.png"));
    ASSERT_TRUE(QFile::rename(dir.filePath(QStringLiteral("b.png")), dir.filePath(QStringLiteral("c.png"))));
    expected.replaceInStrings(QStringLiteral("b.png"), QStringLiteral("c.png"));

    auto sameNames = [&] {
        QStringList got = listed(), want = expected;
        got.sort();
        want.sort();
        return got == want;
    };
    EXPECT_TRUE(waitFor([&] { return !fm->Files->isListing() && sameNames(); }));
    EXPECT_LT(relists, 20) << "the changes were gathered, not listed one by one";
}

// The folder read again after a change keeps the rows it still holds: the view keeps its selection
// and no reset empties it, while a new file comes, a gone one goes and a changed one shows its size.
// The watch resumes after each reading, so a second change is seen too.
TEST_F(FileManager, ChangesUpdateTheListInPlace)
{
    QAbstractItemModelTester tester(fm->Files, QAbstractItemModelTester::FailureReportingMode::Warning);
    browse(dir.filePath(QStringLiteral("b.png")));
    ASSERT_EQ(fm->SelectedPath(), dir.filePath(QStringLiteral("b.png")));
    int resets = 0;
    QObject::connect(fm->Files, &QAbstractItemModel::modelReset, fm, [&resets] { ++resets; });
    auto sizeOf = [this](const char* name) {
        const int row = fm->Files->rowOf(QString::fromLatin1(name));
        return row < 0 ? QString() : fm->Files->index(row, FileListModel::ColSize).data().toString();
    };
    const QString emptySize = sizeOf("a.png");

    touch(QStringLiteral("new.jpg"));
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("z.jex4"))));
    {
        QFile f(dir.filePath(QStringLiteral("a.png")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(3000, 'x'));
    }
    EXPECT_TRUE(waitFor([&] {
        return !fm->Files->isListing() && listed().contains(QStringLiteral("new.jpg"))
            && !listed().contains(QStringLiteral("z.jex4")) && sizeOf("a.png") != emptySize;
    }));
    EXPECT_EQ(fm->SelectedPath(), dir.filePath(QStringLiteral("b.png")));

    touch(QStringLiteral("second.png"));
    EXPECT_TRUE(waitFor([&] { return listed().contains(QStringLiteral("second.png")); }));
    EXPECT_EQ(listed(), (QStringList{QStringLiteral("new.jpg"), QStringLiteral("photo.JPG"),
                                     QStringLiteral("photo.jpg"), QStringLiteral("a.png"), QStringLiteral("b.png"),
                                     QStringLiteral("second.png"), QStringLiteral("photo.jpg.txt")}));
    EXPECT_EQ(resets, 0);
}

TEST_F(FileManager, ManyFilesReachTheViewInSlices)
{
    QTemporaryDir many;
    for (int i = 0; i < 2500; ++i) {
        QFile f(many.filePath(QStringLiteral("core_%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    int largest = 0;
    QObject::connect(fm->Files, &QAbstractItemModel::rowsInserted, fm,
                     [&largest](const QModelIndex&, int first, int last) { largest = qMax(largest, last - first + 1); });
    fm->BrowseTo(many.filePath(QStringLiteral("core_2499.jpg")));
    ASSERT_TRUE(waitFor([this] { return !fm->Files->isListing(); }));
    EXPECT_EQ(fm->Files->rowCount(), 2500);
    EXPECT_EQ(largest, FileListModel::SliceRows);
    EXPECT_EQ(fm->SelectedPath(), many.filePath(QStringLiteral("core_2499.jpg"))) << "selected once its row came";
}

// The quick sort of a listing folds ASCII letter case by hand; among names of every kind its order
// is FileListLess's to the last place.
TEST(SortFileList, OrdersAsFileListLess)
{
    const char16_t* names[] = {
        u"b.JPG", u"B.jpg", u"a.jpg", u"A.JPG", u"a.jpg.txt", u"a.Jpg", u"core.jex4", u"core.JEX", u"noext",
        u"NoExt", u".hidden", u".Hidden.png", u"x.", u"x..png", u"_x.png", u"[x].png", u"Z.png", u"z.png",
        u"\u00c4rger.jpg", u"\u00e4rger.JPG", u"arger.jpg", u"Stra\u00dfe.png", u"strasse.PNG", u"photo.j\u00c9p",
        u"photo.jep", u"photo.JEP", u"\u0130.png", u"i.png", u"I.png", u"a.jp", u"a.jpgx", u"a.jpg0",
    };
    QVector<FileListEntry> entries;
    for (const char16_t* n : names)
        entries.push_back({QString::fromUtf16(n), 0, QDateTime()});
    QVector<FileListEntry> expected = entries;
    std::sort(expected.begin(), expected.end(), FileListLess);
    auto namesOf = [](const QVector<FileListEntry>& list) {
        QStringList out;
        for (const FileListEntry& e : list)
            out << e.name;
        return out;
    };
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        QVector<FileListEntry> shuffled = entries;
        std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(seed));
        SortFileList(shuffled);
        EXPECT_EQ(namesOf(shuffled), namesOf(expected)) << "seed " << seed;
    }
}

// A listing still being read when its model moves on or goes is dropped: the rows are the second
// folder's alone, and a model destroyed meanwhile is never called.
TEST(FileListModel, AListingOvertakenOrOrphanedIsDropped)
{
    QTemporaryDir first, second;
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(QFile(first.filePath(QStringLiteral("a_%1.jpg").arg(i))).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile(second.filePath(QStringLiteral("b.jpg"))).open(QIODevice::WriteOnly));
    const bool everything = std::exchange(SettingFileManagerDisplayEverything, true);

    FileListModel model;
    int listings = 0;
    QObject::connect(&model, &FileListModel::listed, [&listings] { ++listings; });
    model.setFolder(first.path());
    model.setFolder(second.path());
    auto orphan = std::make_unique<FileListModel>();
    orphan->setFolder(first.path());
    orphan.reset();
    ASSERT_TRUE(waitFor([&] { return !model.isListing(); }));
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(listings, 1);
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.filePath(0), second.filePath(QStringLiteral("b.jpg")));
    SettingFileManagerDisplayEverything = everything;
}

TEST_F(FileManager, BrowsingSelectsTheTargetAndReportsWhatIsMissing)
{
    const QString file = dir.filePath(QStringLiteral("a.png"));
    EXPECT_TRUE(browse(file));
    EXPECT_EQ(fm->SelectedPath(), file);
    EXPECT_EQ(WindowValues().FileManager.SelectedPath, file) << "kept for the next start";
    EXPECT_TRUE(fm->L_Error->isHidden());

    const QString gone = dir.filePath(QStringLiteral("gone/x.jex4"));
    EXPECT_FALSE(fm->BrowseTo(gone));
    EXPECT_FALSE(fm->L_Error->isHidden());
    EXPECT_TRUE(fm->L_Error->text().contains(QStringLiteral("does not exist")));
    EXPECT_EQ(fm->SelectedPath(), file) << "the selection stays";

    // A file the settings do not list: its folder is selected instead.
    EXPECT_TRUE(browse(dir.filePath(QStringLiteral("photo.jpeg"))));
    EXPECT_EQ(fm->SelectedPath(), dir.path());
    EXPECT_TRUE(fm->L_Error->isHidden());
}

TEST_F(FileManager, DoubleClickOpensImagesAndProjectsAndNothingElse)
{
    ASSERT_TRUE(testhelpers::patterned(30, 20).save(dir.filePath(QStringLiteral("scan.png"))));
    touch(QStringLiteral("scan.tiff"));
    SettingFileManagerDisplayEverything = true;
    fm->RefreshFilter();

    browse(dir.filePath(QStringLiteral("scan.tiff")));
    ASSERT_EQ(fm->SelectedPath(), dir.filePath(QStringLiteral("scan.tiff")));
    fm->VETDblClick();
    EXPECT_TRUE(main->MDIChildren().isEmpty());

    ProjectLoading = true;
    browse(dir.filePath(QStringLiteral("scan.png")));
    fm->VETDblClick();
    EXPECT_TRUE(main->MDIChildren().isEmpty()) << "ignored while a project loads";
    ProjectLoading = false;

    fm->VETDblClick();
    ASSERT_EQ(main->MDIChildren().size(), 1);
    EXPECT_EQ(main->MDIChildren()[0]->StitchList.size(), 1u);
    EXPECT_TRUE(main->HL->entryCount() > 0);

    // A project: its window comes, and the file manager shows it.
    TF_SMDI* w = main->MDIChildren()[0];
    const QString project = dir.filePath(QStringLiteral("saved.jex4"));
    ASSERT_EQ(SaveProjectXML(w, project, false), 0);
    w->Project->Changed = false;
    w->mdiFrame()->close();
    QCoreApplication::processEvents();
    browse(dir.path());
    main->OpenFile(project);
    ASSERT_EQ(main->MDIChildren().size(), 1);
    EXPECT_TRUE(waitFor([&] { return fm->SelectedPath() == project; }));
}

TEST_F(FileManager, PlainLeftPressStartsThePreviewAndReleaseClosesIt)
{
    F_Preview = new TF_Preview(main.get());
    fm->resize(600, 400);
    fm->show();
    const QString file = dir.filePath(QStringLiteral("a.png"));
    browse(file);
    QCoreApplication::processEvents();
    const QPoint at = centreOf(file);

    QTest::mousePress(fm->FileList->viewport(), Qt::LeftButton, Qt::ControlModifier, at);
    EXPECT_FALSE(F_Preview->Timer1->isActive()) << "a press with Ctrl selects, no preview";
    QTest::mouseRelease(fm->FileList->viewport(), Qt::LeftButton, Qt::ControlModifier, at);

    QTest::mousePress(fm->FileList->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_TRUE(F_Preview->Timer1->isActive());
    ASSERT_TRUE(F_Preview->SelectedFile);
    EXPECT_EQ(F_Preview->SelectedFile(), file);
    QTest::mouseRelease(fm->FileList->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_FALSE(F_Preview->isVisible());
    EXPECT_FALSE(F_Preview->Timer1->isActive());
    delete F_Preview.data();
}

TEST_F(FileManager, FirstShowingDocksItAboveTheProjectWindowAndF4TogglesIt)
{
    {
        // Where the tree was when the program last closed, as the settings store has it.
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(SettingsKey, true));
        reg.WriteString(QStringLiteral("FileManagerForm_SelectedPath"), dir.filePath(QStringLiteral("a.png")));
        reg.CloseKey();
    }
    fake->answerMessage(mrNo); // the file association question
    main->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(fm->isVisible());
    EXPECT_TRUE(main->IsDocked(fm));
    const QList<QWidget*> docked = main->P_Dock->clients();
    ASSERT_GE(docked.size(), 2);
    EXPECT_EQ(docked[0], fm);
    EXPECT_TRUE(waitFor([&] { return fm->SelectedPath() == dir.filePath(QStringLiteral("a.png")); }));

    main->AMUpdate();
    EXPECT_TRUE(main->A_WindowFiles->isChecked());
    main->A_WindowFiles->trigger();
    EXPECT_FALSE(fm->isVisible());
    main->AMUpdate();
    EXPECT_FALSE(main->A_WindowFiles->isChecked());
    main->A_WindowFiles->trigger();
    EXPECT_TRUE(fm->isVisible());
}

TEST_F(FileManager, DroppedFilesAreBrowsedTo)
{
    const QString file = dir.filePath(QStringLiteral("photo.jpg.txt")); // listed, opens nothing
    main->AcceptFiles({file});
    EXPECT_TRUE(waitFor([&] { return fm->SelectedPath() == file; }));
    EXPECT_TRUE(main->MDIChildren().isEmpty());
}

// Files dragged from the file list land in the image tree's window.
TEST_F(FileManager, FilesDraggedFromTheListGoIntoTheImageTreesWindow)
{
    fake->answerMessage(mrNo); // the file association question
    main->show();
    QCoreApplication::processEvents();
    QImage picture(60, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("a.png")), "PNG"));
    main->A_NewProject->trigger();
    QCoreApplication::processEvents();
    TF_SMDI* w = main->ActiveMDIChild();
    ASSERT_NE(w, nullptr);
    F_Measurements->FillMeasurements(w, false);

    browse(dir.filePath(QStringLiteral("a.png")));
    const int row = fm->Files->rowOf(QStringLiteral("a.png"));
    ASSERT_GE(row, 0);
    fm->FileList->selectionModel()->select(fm->FileList->model()->index(row, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_TRUE(F_Measurements->VST_SODragOver(fm->FileList));
    F_Measurements->VST_SODragDrop(fm->FileList);
    QCoreApplication::processEvents();
    ASSERT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->StitchList[0]->filename, dir.filePath(QStringLiteral("a.png")));
    w->Project->Changed = false;
    for (TF_SMDI* other : main->MDIChildren())
        other->Project->Changed = false;
}

// Whichever road opens a file, the file manager shows it.
TEST_F(FileManager, EveryRoadThatOpensAFileBrowsesToIt)
{
    const QString older = dir.filePath(QStringLiteral("older.jex"));
    {
        QFile f(older);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(testhelpers::jex3ImageRecord("C:\\cores\\older.jpg") + testhelpers::jex3ResolutionRecord(1200)
                + testhelpers::jex3PointRecord(0, 10, 10, 1) + testhelpers::jex3PointRecord(1, 40, 10, 1));
    }
    QImage picture(60, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(dir.filePath(QStringLiteral("older.jpg")), "JPG"));
    const QString image = dir.filePath(QStringLiteral("b.png"));
    ASSERT_TRUE(picture.save(image, "PNG"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("other")));
    const QString elsewhere = dir.filePath(QStringLiteral("other"));
    const QString started = dir.filePath(QStringLiteral("other/started.jex"));
    ASSERT_TRUE(QFile::copy(older, started));
    ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("older.jpg")), dir.filePath(QStringLiteral("other/started.jpg"))));

    // The command line's file wins over the place the manager was left at.
    WindowValues().FileManager.SelectedPath = dir.filePath(QStringLiteral("a.png"));
    main->setCommandLineArguments({started});
    fake->answerMessage(mrNo); // the file association question
    main->show();
    QCoreApplication::processEvents();
    ASSERT_EQ(main->MDIChildren().size(), 1) << fake->shownTexts().join('\n').toStdString();
    EXPECT_TRUE(waitFor([&] { return fm->SelectedPath() == started; })) << fm->SelectedPath().toStdString();

    struct Road {
        const char* what;
        QString file;
        std::function<void()> open;
    } roads[] = {
        {"Load Project with the older-project filter", older,
         [&] {
             fake->answerFile(older, 2);
             main->A_LoadProject->trigger();
         }},
        {"recent-file entry", image,
         [&] {
             QAction entry(image);
             entry.setData(image);
             main->DynamicMenuExecute(&entry);
         }},
        {"hand-over", started, [&] { main->OneInstanceNewInstanceLoad({started}); }},
    };
    for (const Road& road : roads) {
        browse(elsewhere);
        ASSERT_EQ(fm->SelectedPath(), elsewhere);
        road.open();
        QCoreApplication::processEvents();
        EXPECT_TRUE(waitFor([&] { return fm->SelectedPath() == road.file; })) << road.what;
    }
    for (TF_SMDI* w : main->MDIChildren())
        w->Project->Changed = false;
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

} // namespace
