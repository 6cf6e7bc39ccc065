// The roads of the main window that meet an older .jex project: Load Project with the JEX3
// filter, recent files, the command line and drops import it; Save Project with the JEX3 filter
// writes it when the project fits and refuses otherwise.
#include "shell/TF_Main.h"

#include "platform/FakeDialogs.h"
#include "project/JEX3Project.h"
#include "project/JEX4_Objects.h"
#include "shell/RecentFiles.h"
#include "shell/TF_ConvertJEX3.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress.h"
#include "shell/TPageControlEx.h"
#include "support/JEX3Records.h"
#include "support/MainWindowTest.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Notes.h"
#include "workspace/TF_SMDI.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMdiArea>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>

namespace {

using testhelpers::jex3ImageRecord;
using testhelpers::jex3PointRecord;
using testhelpers::jex3ResolutionRecord;

class OlderProjects : public testhelpers::ShownMainWindowTest {
protected:
    void SetUp() override
    {
        ShownMainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        asked = fake->shown().size();
    }

    QString write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()) << name.toStdString();
        return path(name);
    }
    QByteArray read(const QString& file) const
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // An older project "<base>.jex" with its picture "<base>.jpg" beside it: two index points with
    // two and one measurement points.
    QString olderProject(const QString& base)
    {
        QImage picture(200, 40, QImage::Format_RGB32);
        picture.fill(QColor(150, 110, 60));
        EXPECT_TRUE(picture.save(path(base + QStringLiteral(".jpg")), "JPG"));
        return write(base + QStringLiteral(".jex"),
                     jex3ImageRecord("C:\\Kerne\\core.jpg") + jex3ResolutionRecord(2400) + jex3PointRecord(0, 10, 20, 1)
                         + jex3PointRecord(1, 40, 20, 1) + jex3PointRecord(1, 70, 20, 1) + jex3PointRecord(0, 100, 20, 2)
                         + jex3PointRecord(1, 130, 20, 2));
    }

    static int pointCount(const TF_SMDI* w)
    {
        int n = 0;
        for (const auto& i : w->PathList.front()->ObjectList)
            n += 1 + int(i->ObjectList.size());
        return n;
    }
    // The texts of the boxes shown since the set-up, file dialogs left out.
    QStringList newTexts() const
    {
        QStringList texts;
        for (const auto& shown : fake->shown().mid(asked))
            if (shown.kind == FakeDialogs::Kind::MessageDlg || shown.kind == FakeDialogs::Kind::ShowMessage)
                texts << shown.text;
        return texts;
    }
    bool logged(const QString& text) const
    {
        for (const auto& e : TF_ErrorLog::Entries())
            if (e->AMessage == text)
                return true;
        return false;
    }
    static void settle()
    {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    qsizetype asked = 0;
};

} // namespace

TEST_F(OlderProjects, EveryOpeningRoadImportsTheFileIntoOneWindow)
{
    // Each road once, on a fresh file; the window shows the file's points under its name, and the
    // file heads the recent files.
    struct Road {
        const char* what;
        std::function<void(const QString&)> open;
    } roads[] = {
        {"Load Project with the JEX3 filter",
         [&](const QString& file) {
             fake->answerFile(file, 2);
             main->A_LoadProject->trigger();
         }},
        {"recent-file entry",
         [&](const QString& file) {
             QAction entry(file);
             main->DynamicMenuExecute(&entry);
         }},
        {"command line",
         [&](const QString& file) {
             main->setCommandLineArguments(file.split(QLatin1Char(' ')));
             main->OpenCommandLineFile();
         }},
        {"drop",
         [&](const QString& file) {
             QMimeData data;
             data.setUrls({QUrl::fromLocalFile(file)});
             const QPoint at = main->mdiArea()->geometry().center();
             QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(main.get(), &enter);
             QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(main.get(), &drop);
         }},
    };
    int n = 0;
    for (const Road& road : roads) {
        const QString file = olderProject(QStringLiteral("Eiche %1").arg(++n));
        road.open(file);
        settle();
        ASSERT_EQ(main->MDIChildren().size(), n) << road.what;
        TF_SMDI* w = main->ActiveMDIChild();
        ASSERT_NE(w, nullptr) << road.what;
        EXPECT_EQ(w->Project->Filename, file) << road.what;
        EXPECT_EQ(w->DPI, 2400) << road.what;
        EXPECT_EQ(w->StitchList.size(), 1u) << road.what;
        EXPECT_EQ(pointCount(w), 5) << road.what;
        EXPECT_EQ(main->HL->entryFile(0), file) << road.what;
        EXPECT_TRUE(logged(QStringLiteral("JEX3 project ") + file + QStringLiteral(" imported successfully!")))
            << road.what;

        // Opened again by the same road, the window comes back instead of a second one.
        main->A_NewProject->trigger();
        settle();
        road.open(file);
        settle();
        EXPECT_EQ(main->ActiveMDIChild(), w) << road.what;
        EXPECT_EQ(main->MDIChildren().size(), n + 1) << road.what;
        ++n;
    }
    EXPECT_TRUE(newTexts().isEmpty()) << newTexts().join('\n').toStdString();
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(OlderProjects, ADamagedFileLeavesNoWindowInItsNameAndStaysOffTheRecentFiles)
{
    const QString good = olderProject(QStringLiteral("good"));
    QAction entry(good);
    main->DynamicMenuExecute(&entry);
    settle();
    ASSERT_EQ(main->HL->entryFile(0), good);

    // Nothing readable: no window at all.
    const QString nothing = write(QStringLiteral("nothing.jex"), "no older project");
    fake->answerFile(nothing, 2);
    main->A_LoadProject->trigger();
    settle();
    EXPECT_EQ(main->MDIChildren().size(), 1);
    EXPECT_EQ(main->HL->entryFile(0), good);
    EXPECT_TRUE(logged(QStringLiteral("Error importing JEX3 project ") + nothing));

    // Cut short after two points: those points stay in a new project, marked changed.
    ASSERT_TRUE(QFile::copy(path(QStringLiteral("good.jpg")), path(QStringLiteral("cut.jpg"))));
    const QString cut = write(QStringLiteral("cut.jex"), read(good).left(296 * 4 + 10));
    fake->answerFile(cut, 2);
    main->A_LoadProject->trigger();
    settle();
    ASSERT_EQ(main->MDIChildren().size(), 2);
    TF_SMDI* w = main->ActiveMDIChild();
    EXPECT_EQ(pointCount(w), 2);
    EXPECT_NE(w->Project->Filename, cut);
    EXPECT_TRUE(w->Project->Changed);
    EXPECT_EQ(main->HL->entryFile(0), good);

    // The chosen filter decides: a current project file chosen with the JEX3 filter goes to the import.
    const QString current = write(QStringLiteral("current.jex4"), "<?xml version=\"1.0\"?><JEX4Project/>");
    fake->answerFile(current, 2);
    main->A_LoadProject->trigger();
    settle();
    EXPECT_EQ(main->MDIChildren().size(), 2);

    const QStringList expected = {
        QStringLiteral("The file ") + nothing + QStringLiteral(" is damaged!"),
        QStringLiteral("The file ") + cut + QStringLiteral(" is damaged!"),
        QStringLiteral("The file ") + current + QStringLiteral(" is damaged!"),
    };
    EXPECT_EQ(newTexts(), expected);
}

TEST_F(OlderProjects, TheNotesFollowTheImportedWindow)
{
    // While the file is read no text moves; after it the notes edit the new project, not the one
    // that was in front before.
    F_Notes = new TF_Notes(main.get());
    main->A_NewProject->trigger();
    settle();
    TF_SMDI* before = main->ActiveMDIChild();
    ASSERT_EQ(F_Notes->EditObject(), before);
    TF_SMDI* w = main->ImportOlderProject(olderProject(QStringLiteral("noted")));
    ASSERT_NE(w, nullptr);
    settle();
    EXPECT_EQ(F_Notes->EditObject(), main->ActiveMDIChild());
    EXPECT_EQ(F_Notes->EditObject(), w);
    for (TF_SMDI* window : {before, w})
        window->Project->Changed = false;
}

TEST_F(OlderProjects, SaveWithTheJEX3FilterWritesProjectsThatFitAndRefusesTheRest)
{
    const QString source = olderProject(QStringLiteral("source"));
    TF_SMDI* w = main->ImportOlderProject(source);
    ASSERT_NE(w, nullptr);
    const QString target = path(QStringLiteral("copy.jex"));
    fake->answerFile(target, 2);
    main->A_SaveProject->trigger();
    settle();
    EXPECT_TRUE(newTexts().isEmpty()) << newTexts().join('\n').toStdString();
    EXPECT_EQ(fake->shown().last().request.filterIndex, 2);
    // The same records as the source but for the image record, which names the picture loaded.
    const QByteArray expected = jex3ImageRecord(path(QStringLiteral("source.jpg")).toLocal8Bit()) + read(source).mid(296);
    EXPECT_EQ(read(target), expected);
    EXPECT_EQ(w->Project->Filename, target);
    EXPECT_EQ(main->HL->entryFile(0), target);

    // Projects the format cannot hold are refused with the box, nothing written, the name kept.
    struct Case {
        const char* what;
        std::function<void(TF_SMDI*)> change;
    } cases[] = {
        {"no image", [](TF_SMDI* p) { p->StitchList.clear(); }},
        {"two paths", [](TF_SMDI* p) { p->PathList.push_back(std::make_unique<TPath>()); }},
    };
    for (const Case& c : cases) {
        TF_SMDI* p = main->ImportOlderProject(source);
        ASSERT_NE(p, nullptr) << c.what;
        ASSERT_NE(p, w) << c.what;
        c.change(p);
        const QString refused = path(QStringLiteral("refused.jex"));
        const qsizetype before = fake->shown().size();
        fake->answerFile(refused, 2);
        main->A_SaveProject->trigger();
        settle();
        ASSERT_EQ(fake->shown().size(), before + 2) << c.what;
        EXPECT_EQ(fake->shown().last().text, JEX3RefusalText) << c.what;
        EXPECT_FALSE(QFile::exists(refused)) << c.what;
        EXPECT_EQ(p->Project->Filename, source) << c.what;
        EXPECT_TRUE(logged(QStringLiteral("Error saving project to ") + refused)) << c.what;
        p->fImageLoadError = true;
        main->CloseMDI->trigger();
        settle();
    }
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(OlderProjects, BatchConvertOpensTheConverterOverTheMainWindowAndLendsItTheProgressBox)
{
    F_Progress = new TF_Progress(main.get());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("batch")));
    olderProject(QStringLiteral("batch/core"));
    main->AMUpdate();
    ASSERT_TRUE(main->A_ConvertJEX->isEnabled());
    main->A_ConvertJEX->trigger();
    QPointer<TF_ConvertJEX3> converter = main->findChild<TF_ConvertJEX3*>();
    ASSERT_NE(converter, nullptr);
    EXPECT_TRUE(converter->isVisible());
    EXPECT_EQ(converter->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(converter->windowTitle(), QStringLiteral("Convert JEX3 projects"));
    EXPECT_EQ(converter->PCE->currentWidget(), converter->TS_1);

    converter->SelectFolder(path(QStringLiteral("batch")));
    converter->B_Cont1->click();
    ASSERT_EQ(converter->LB_Files->count(), 1);
    // The main window is blocked by the converter: the box is the converter's while it works.
    QWidget* lentTo = nullptr;
    const QWidget* borrower = converter.data();
    QObject::connect(F_Progress->B_Cancel, &QPushButton::pressed, [&lentTo] { lentTo = F_Progress->parentWidget(); });
    QMetaObject::invokeMethod(
        qApp, [] { QTest::mouseClick(F_Progress->B_Cancel, Qt::LeftButton); }, Qt::QueuedConnection);
    fake->answerMessage(mrNo);
    converter->B_Convert->click();
    settle();
    EXPECT_EQ(lentTo, borrower);
    EXPECT_EQ(newTexts(), (QStringList{QStringLiteral("Cancel conversion?"), QStringLiteral("1 files converted!")}));
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("batch/core.jex4"))));
    EXPECT_EQ(converter, nullptr) << "the converter closes and goes";
    EXPECT_EQ(F_Progress->parentWidget(), main.get());
    EXPECT_TRUE(main->MDIChildren().isEmpty());
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}
