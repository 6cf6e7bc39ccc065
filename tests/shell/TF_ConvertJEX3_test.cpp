// The batch converter against folder trees made here: nested folders, both letter cases of the
// extension, a project whose recorded image is missing, an existing .jex4, a damaged file and a
// folder that cannot be written; the scan and the conversion cancelled through their boxes, and
// the list's popup menu.
#include "shell/TF_ConvertJEX3.h"

#include "platform/FakeDialogs.h"
#include "platform/ShellOpen.h"
#include "project/JEX4_Objects.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress.h"
#include "shell/TF_Progress2.h"
#include "shell/TPageControlEx.h"
#include "support/JEX3Records.h"
#include "support/PermissionsBind.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using testhelpers::jex3ImageRecord;
using testhelpers::jex3PointRecord;
using testhelpers::jex3ResolutionRecord;

FakeDialogs& fake()
{
    return static_cast<FakeDialogs&>(dialogs());
}

// Runs `act` when the conversion moves on to its n-th file (from 1): the progress bar counts the
// files done.
class OnFileStarted {
public:
    OnFileStarted(int n, std::function<void()> act)
    {
        m_connection = QObject::connect(F_Progress->PB, &QProgressBar::valueChanged, [n, act = std::move(act)](int done) {
            if (done == n - 1)
                act();
        });
    }
    ~OnFileStarted() { QObject::disconnect(m_connection); }

private:
    QMetaObject::Connection m_connection;
};

class ConvertJEX3Test : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
        F_Progress = new TF_Progress;
        converter = std::make_unique<TF_ConvertJEX3>();
    }
    void TearDown() override
    {
        converter.reset();
        for (TF_SMDI* w : ImageWindows()) {
            w->fImageLoadError = true;
            w->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete F_Progress.data();
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
        EXPECT_EQ(fake().errors(), QStringList());
    }

    QString file(const QString& name) const { return dir.filePath(name); }
    QString write(const QString& name, const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(file(name)).absolutePath());
        QFile f(file(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()) << name.toStdString();
        return file(name);
    }
    QByteArray read(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QString picture(const QString& name) const
    {
        QDir().mkpath(QFileInfo(file(name)).absolutePath());
        QImage image(80, 30, QImage::Format_RGB32);
        image.fill(QColor(140, 90, 50));
        EXPECT_TRUE(image.save(file(name), "JPG")) << name.toStdString();
        return file(name);
    }
    // An older project with `indices` index points of two measurements each, at x steps of 10.
    QString project(const QString& name, const QByteArray& imageRecord, int dpi = 2400, int indices = 2) const
    {
        QByteArray bytes = jex3ImageRecord(imageRecord) + jex3ResolutionRecord(dpi);
        int x = 5;
        for (int n = 1; n <= indices; ++n) {
            bytes += jex3PointRecord(0, x, 12, n, "start");
            bytes += jex3PointRecord(1, x += 10, 12, n);
            bytes += jex3PointRecord(1, x += 10, 12, n, "wide");
            x += 10;
        }
        return write(name, bytes);
    }
    QStringList listed() const
    {
        QStringList entries;
        for (int i = 0; i < converter->LB_Files->count(); ++i)
            entries << converter->LB_Files->item(i)->text();
        return entries;
    }
    void scan(const QString& folder, bool recurse = true)
    {
        converter->SelectFolder(folder);
        converter->CB_Recurse->setChecked(recurse);
        converter->B_Cont1Click();
    }
    QStringList shownSince(qsizetype from) const { return fake().shownTexts().mid(from); }

    QTemporaryDir dir;
    std::unique_ptr<TF_ConvertJEX3> converter;
};

// The tree most tests convert: nested folders, both letter cases, a missing recorded image.
struct Tree {
    QString withPicture, upperCase, missingImage, nested;
};

} // namespace

TEST(ConvertJEX3Paths, LongPathsAreCutInTheMiddle)
{
    const struct {
        QString path;
        int max;
        QString expected;
    } rows[] = {
        {QStringLiteral("/short"), 30, QStringLiteral("/short")},
        {QString(30, QLatin1Char('a')), 30, QString(30, QLatin1Char('a'))},
        {QStringLiteral("/srv/rings/cores/2019/site-north/plot-7"), 30,
         QStringLiteral("/srv/rings/cor...ite-north/plot-7")},
        {QStringLiteral("0123456789abcdefghij"), 10, QStringLiteral("...456789abcdefghij")},
    };
    for (const auto& r : rows)
        EXPECT_EQ(TF_ConvertJEX3::AbbreviatePath(r.path, r.max), r.expected) << r.path.toStdString();
}

TEST_F(ConvertJEX3Test, ScanListsTheOlderProjectsOfTheTreeInAnyLetterCase)
{
    write(QStringLiteral("root/a.jex"), "x");
    write(QStringLiteral("root/B.JEX"), "x");
    write(QStringLiteral("root/notes.txt"), "x");
    write(QStringLiteral("root/a.jex4"), "x");
    write(QStringLiteral("root/core.jexx"), "x");
    write(QStringLiteral("root/sub/c.Jex"), "x");
    write(QStringLiteral("root/sub/deeper/d.jex"), "x");
    write(QStringLiteral("root/other/e.jex"), "x");
    QDir().mkpath(file(QStringLiteral("root/empty")));
    const QString root = file(QStringLiteral("root"));

    const struct {
        const char* name;
        bool recurse;
        QStringList expected; // breadth first, names in order without regard to case
    } rows[] = {
        {"whole tree", true,
         {file(QStringLiteral("root/a.jex")), file(QStringLiteral("root/B.JEX")), file(QStringLiteral("root/other/e.jex")),
          file(QStringLiteral("root/sub/c.Jex")), file(QStringLiteral("root/sub/deeper/d.jex"))}},
        {"one folder", false, {file(QStringLiteral("root/a.jex")), file(QStringLiteral("root/B.JEX"))}},
    };
    for (const auto& r : rows) {
        converter = std::make_unique<TF_ConvertJEX3>();
        EXPECT_EQ(converter->PCE->currentWidget(), converter->TS_1) << r.name;
        scan(root, r.recurse);
        EXPECT_EQ(converter->PCE->currentWidget(), converter->TS_2) << r.name;
        EXPECT_EQ(listed(), r.expected) << r.name;
        EXPECT_EQ(converter->L_Count->text(), QString::number(r.expected.size()) + QStringLiteral(" JEX3 files found"))
            << r.name;
        EXPECT_EQ(F_Progress2, nullptr) << r.name << ": the busy box goes with the scan";
    }
}

TEST_F(ConvertJEX3Test, ATreeWithoutOlderProjectsListsNothing)
{
    write(QStringLiteral("root/sub/core.jex4"), "x");
    write(QStringLiteral("root/core.jpg"), "x");
    scan(file(QStringLiteral("root")));
    EXPECT_EQ(converter->LB_Files->count(), 0);
    EXPECT_EQ(converter->L_Count->text(), QStringLiteral("0 JEX3 files found"));
}

TEST_F(ConvertJEX3Test, ASelectedFileScansItsFolder)
{
    const QString a = write(QStringLiteral("root/a.jex"), "x");
    converter->SelectFolder(a);
    EXPECT_EQ(converter->SelectedFolder(), file(QStringLiteral("root")));
    converter->B_Cont1Click();
    EXPECT_EQ(listed(), QStringList{a});
}

TEST_F(ConvertJEX3Test, CancelDuringTheScanAsksAndYesStopsIt)
{
    write(QStringLiteral("root/a.jex"), "x");
    write(QStringLiteral("root/sub/b.jex"), "x");
    const struct {
        int answer;
        int listed;
    } rows[] = {{mrYes, 0}, {mrNo, 2}};
    for (const auto& r : rows) {
        converter = std::make_unique<TF_ConvertJEX3>();
        const qsizetype before = fake().shownTexts().size();
        fake().answerMessage(r.answer);
        // Arrives while the busy box first processes events, before the first folder is entered.
        QMetaObject::invokeMethod(
            qApp, [] { F_Progress2->Button1->click(); }, Qt::QueuedConnection);
        scan(file(QStringLiteral("root")));
        EXPECT_EQ(shownSince(before), QStringList{QStringLiteral("Cancel directory scan?")}) << r.answer;
        EXPECT_EQ(converter->LB_Files->count(), r.listed) << r.answer;
    }
}

TEST_F(ConvertJEX3Test, ConversionWritesEachProjectBesideItsSourceAndKeepsOrDeletesTheSources)
{
    for (const bool deleting : {false, true}) {
        const QString base = deleting ? QStringLiteral("del/") : QStringLiteral("keep/");
        picture(base + QStringLiteral("core1.jpg"));
        picture(base + QStringLiteral("lab/CORE2.JPG"));
        const Tree tree{
            project(base + QStringLiteral("core1.jex"), "C:\\old\\core1.jpg", 2400, 2),
            project(base + QStringLiteral("lab/CORE2.JEX"), "C:\\old\\core2.jpg", 1200, 3),
            project(base + QStringLiteral("lab/lost.jex"), "C:\\gone\\lost.jpg", 600, 1),
            project(base + QStringLiteral("lab/deep/deeper/core4.jex"), file(base + QStringLiteral("core1.jpg")).toLocal8Bit(),
                    3000, 1),
        };
        // Converted before: neither written over nor, with "delete files", its source deleted; the
        // older system's names match in any letter case.
        const QString before = project(base + QStringLiteral("lab/done.jex"), "C:\\old\\done.jpg");
        const QString done =
            write(base + (deleting ? QStringLiteral("lab/DONE.JEX4") : QStringLiteral("lab/done.jex4")), "<JEX4>kept</JEX4>");

        converter = std::make_unique<TF_ConvertJEX3>();
        scan(file(base));
        ASSERT_EQ(converter->LB_Files->count(), 5);
        converter->RB_Delete->setChecked(deleting);
        const qsizetype asked = fake().shownTexts().size();
        converter->B_ConvertClick();

        EXPECT_EQ(shownSince(asked),
                  (QStringList{QStringLiteral("File") + done
                                   + QStringLiteral(" already exists!\r\nThis file will not be converted!"),
                               QStringLiteral("4 files converted!")}))
            << "a missing recorded image converts without a message";
        EXPECT_EQ(converter->Converted(), 4);
        EXPECT_EQ(read(done), QByteArray("<JEX4>kept</JEX4>"));
        EXPECT_TRUE(QFile::exists(before));
        EXPECT_FALSE(F_Progress->isVisible());
        EXPECT_TRUE(ImageWindows().isEmpty()) << "every window of the run is closed";
        EXPECT_EQ(TF_ErrorLog::LogLines().join(QLatin1Char('\n')).contains(
                      QStringLiteral("lost.jex was not deleted: its image C:\\gone\\lost.jpg was not found")),
                  deleting)
            << TF_ErrorLog::LogLines().join(QLatin1Char('\n')).toStdString();

        const struct {
            QString source;
            int dpi;
            int indices;
            QString image; // empty: none
        } expected[] = {
            {tree.withPicture, 2400, 2, file(base + QStringLiteral("core1.jpg"))},
            {tree.upperCase, 1200, 3, file(base + QStringLiteral("lab/CORE2.JPG"))},
            {tree.missingImage, 600, 1, QString()},
            {tree.nested, 3000, 1, file(base + QStringLiteral("core1.jpg"))},
        };
        for (const auto& e : expected) {
            // A source whose image was not found is the only file naming it: never deleted.
            EXPECT_EQ(QFile::exists(e.source), !deleting || e.image.isEmpty()) << e.source.toStdString();
            const QString target = QFileInfo(e.source).path() + QLatin1Char('/') + QFileInfo(e.source).completeBaseName()
                + QStringLiteral(".jex4");
            auto w = std::make_unique<TF_SMDI>();
            ASSERT_EQ(LoadProjectXML(w.get(), target), ProjectRead) << target.toStdString();
            EXPECT_EQ(w->DPI, e.dpi) << target.toStdString();
            ASSERT_EQ(w->PathList.size(), 1u);
            const auto& indices = w->PathList.front()->ObjectList;
            ASSERT_EQ(int(indices.size()), e.indices) << target.toStdString();
            EXPECT_EQ(indices.front()->Pos, QPoint(5, 12));
            EXPECT_EQ(indices.front()->Comment, QStringLiteral("start"));
            ASSERT_EQ(indices.front()->ObjectList.size(), 2u);
            EXPECT_EQ(indices.front()->ObjectList.back()->Pos, QPoint(25, 12));
            EXPECT_EQ(indices.front()->ObjectList.back()->Comment, QStringLiteral("wide"));
            if (e.image.isEmpty()) {
                EXPECT_TRUE(w->StitchList.empty()) << target.toStdString();
            } else {
                ASSERT_EQ(w->StitchList.size(), 1u) << target.toStdString();
                EXPECT_EQ(w->StitchList.front()->filename, e.image);
            }
            w->fImageLoadError = true;
        }
    }
}

TEST_F(ConvertJEX3Test, ADamagedFileIsNeitherConvertedNorDeleted)
{
    const QByteArray whole = jex3ImageRecord("C:\\a.jpg") + jex3ResolutionRecord(1000) + jex3PointRecord(0, 1, 1, 1);
    const QString cut = write(QStringLiteral("root/cut.jex"), whole.left(whole.size() - 7));
    picture(QStringLiteral("root/sound.jpg")); // found: the source may go
    const QString sound = project(QStringLiteral("root/sound.jex"), "C:\\b.jpg");
    scan(file(QStringLiteral("root")));
    converter->RB_Delete->setChecked(true);
    const qsizetype asked = fake().shownTexts().size();
    converter->B_ConvertClick();

    EXPECT_EQ(shownSince(asked), (QStringList{QStringLiteral("The file ") + cut + QStringLiteral(" is damaged!"),
                                              QStringLiteral("1 files converted!")}));
    EXPECT_TRUE(QFile::exists(cut));
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("root/cut.jex4"))));
    EXPECT_FALSE(QFile::exists(sound));
    EXPECT_TRUE(QFile::exists(file(QStringLiteral("root/sound.jex4"))));
}

TEST_F(ConvertJEX3Test, AnUnwritableFolderKeepsItsSourcesAndTheRestConverts)
{
    const QString locked = project(QStringLiteral("root/locked/a.jex"), "C:\\a.jpg");
    picture(QStringLiteral("root/open/b.jpg"));
    const QString open = project(QStringLiteral("root/open/b.jex"), "C:\\b.jpg");
    scan(file(QStringLiteral("root")));
    ASSERT_EQ(converter->LB_Files->count(), 2);
    converter->RB_Delete->setChecked(true);
    const qsizetype asked = fake().shownTexts().size();

    QFile::setPermissions(file(QStringLiteral("root/locked")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    {
        testhelpers::PermissionsBind bind; // as root too
        ASSERT_TRUE(bind.active());
        converter->B_ConvertClick();
    }
    QFile::setPermissions(file(QStringLiteral("root/locked")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    const QStringList shown = shownSince(asked);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("An error occured while saving to ") + file(QStringLiteral("root/locked/a.jex4"))))
        << shown[0].toStdString();
    EXPECT_EQ(shown[1], QStringLiteral("1 files converted!"));
    EXPECT_TRUE(QFile::exists(locked));
    EXPECT_EQ(QDir(file(QStringLiteral("root/locked"))).entryList(QDir::Files), QStringList{QStringLiteral("a.jex")});
    EXPECT_FALSE(QFile::exists(open));
    EXPECT_TRUE(QFile::exists(file(QStringLiteral("root/open/b.jex4"))));
}

TEST_F(ConvertJEX3Test, CancelDuringTheConversionAsksAndYesReportsWhatWasConverted)
{
    const struct {
        int answer;
        int converted;
    } rows[] = {{mrNo, 4}, {mrYes, 2}};
    for (const auto& r : rows) {
        const QString base = QStringLiteral("answer%1/").arg(r.answer);
        for (int i = 1; i <= 4; ++i)
            project(base + QStringLiteral("core%1.jex").arg(i), "C:\\x.jpg");
        converter = std::make_unique<TF_ConvertJEX3>();
        scan(file(base));
        ASSERT_EQ(converter->LB_Files->count(), 4);

        int maximum = -1;
        QString title;
        // Cancel is pressed once the second file is converted; the question comes before the third.
        OnFileStarted press(3, [&] {
            maximum = F_Progress->PB->maximum();
            title = F_Progress->L_1->text();
            EXPECT_TRUE(F_Progress->isVisible());
            F_Progress->B_Cancel->click();
        });
        fake().answerMessage(r.answer);
        const qsizetype asked = fake().shownTexts().size();
        converter->B_ConvertClick();

        EXPECT_EQ(title, QStringLiteral("Converting projects"));
        EXPECT_EQ(maximum, 4);
        EXPECT_EQ(shownSince(asked), (QStringList{QStringLiteral("Cancel conversion?"),
                                                  QString::number(r.converted) + QStringLiteral(" files converted!")}))
            << r.answer;
        EXPECT_EQ(QDir(file(base)).entryList({QStringLiteral("*.jex4")}, QDir::Files).size(), r.converted) << r.answer;
        EXPECT_EQ(F_Progress->Tag, 0);
    }
}

TEST_F(ConvertJEX3Test, PopupMenuOpensFoldersAndDeletesEntriesAndFilesOnlyWhenConfirmed)
{
    const QString a = write(QStringLiteral("root/a.jex"), "x");
    const QString b = write(QStringLiteral("root/b.jex"), "x");
    const QString c = write(QStringLiteral("root/sub/c.jex"), "x");
    scan(file(QStringLiteral("root")));
    ASSERT_EQ(listed(), (QStringList{a, b, c}));
    const qsizetype asked = fake().shownTexts().size();

    // Nothing selected: nothing asked, nothing done.
    converter->LB_Files->setCurrentRow(-1);
    emit converter->PM->aboutToShow();
    EXPECT_FALSE(converter->PM_DeleteFile->isEnabled());
    converter->PM_DeleteFromListClick();
    converter->PM_DeleteFileClick();
    EXPECT_EQ(shownSince(asked), QStringList());

    QList<QUrl> opened;
    setUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    converter->LB_Files->setCurrentRow(2);
    emit converter->PM->aboutToShow();
    EXPECT_TRUE(converter->PM_OpenFolder->isEnabled());
    converter->PM_OpenFolder->trigger();
    setUrlOpener(nullptr);
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(file(QStringLiteral("root/sub")))});

    fake().answerMessage(mrNo);
    converter->LB_Files->setCurrentRow(0);
    converter->PM_DeleteFromList->trigger();
    fake().answerMessage(mrYes);
    converter->PM_DeleteFromList->trigger();
    EXPECT_EQ(listed(), (QStringList{b, c}));
    EXPECT_TRUE(QFile::exists(a)) << "only the list forgets it";

    fake().answerMessage(mrNo);
    converter->LB_Files->setCurrentRow(0);
    converter->PM_DeleteFile->trigger();
    EXPECT_TRUE(QFile::exists(b));
    fake().answerMessage(mrYes);
    converter->PM_DeleteFile->trigger();
    EXPECT_FALSE(QFile::exists(b));
    EXPECT_EQ(listed(), QStringList{c});
    EXPECT_EQ(converter->L_Count->text(), QStringLiteral("3 JEX3 files found")) << "counts what the scan found";

    // A file that cannot be deleted stays listed and says why.
    QFile::remove(c);
    fake().answerMessage(mrYes);
    converter->LB_Files->setCurrentRow(0);
    converter->PM_DeleteFile->trigger();
    EXPECT_EQ(listed(), QStringList{c});

    const QStringList shown = shownSince(asked);
    ASSERT_EQ(shown.size(), 7);
    EXPECT_EQ(shown.mid(0, 2), (QStringList(2, QStringLiteral("Delete ") + a + QStringLiteral(" from list?"))));
    EXPECT_EQ(shown.mid(2, 3), (QStringList{QStringLiteral("Delete file ") + b + QStringLiteral("?"),
                                            QStringLiteral("Delete file ") + b + QStringLiteral("?"),
                                            b + QStringLiteral(" successfully deleted!")}));
    EXPECT_EQ(shown[5], QStringLiteral("Delete file ") + c + QStringLiteral("?"));
    EXPECT_TRUE(shown[6].startsWith(QStringLiteral("The file ") + c + QStringLiteral(" could not be deleted!")))
        << shown[6].toStdString();
}
