// Reading and writing projects on a bare ProjectDocument: what the readers and writers ask of their
// hooks (steps, Cancel, a missing image, the view), a cancelled read leaving a sound document, the
// older format's import and the batch converter's work for one file, all without a window.
#include "project/ProjectIO.h"

#include "platform/FakeDialogs.h"
#include "project/Helpers.h"
#include "project/JEX3Project.h"
#include "project/JEX4_Objects.h"
#include "project/ProjectDocument.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/TF_ConvertJEX3.h"
#include "shell/TF_ErrorLog.h"
#include "support/JEX3Records.h"
#include "workspace/TF_SMDI.h"

#include <QFile>
#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

FakeDialogs& fake()
{
    return static_cast<FakeDialogs&>(dialogs());
}

bool writeAll(const QString& fileName, const QByteArray& bytes)
{
    QFile f(fileName);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Writes down every call; Cancel and the answers to missing images are scripted.
class RecordingHooks : public ProjectIOHooks {
public:
    QStringList calls;
    std::function<bool()> cancelWhen = [] { return false; };
    QList<Located> answers; // taken in order; Skip when none is left
    QStringList asked;      // the images asked for

    void begin(const QString& title, const QString& text) override { calls << QStringLiteral("begin ") + title + QLatin1Char('|') + text; }
    void setSteps(int count) override { calls << QStringLiteral("steps %1").arg(count); }
    void step(const QString& text) override { calls << QStringLiteral("step ") + text; }
    bool cancelled() override { return cancelWhen(); }
    void end() override { calls << QStringLiteral("end"); }
    Located locateImage(const QString& fileName, const QString& projectFile) override
    {
        asked << fileName + QLatin1Char('|') + projectFile;
        return answers.isEmpty() ? Located{} : answers.takeFirst();
    }
    bool addImage(ProjectDocument& doc, const QString& fileName, bool readPixels) override
    {
        calls << QStringLiteral("add ") + fileName + (readPixels ? QStringLiteral(" pixels") : QString());
        return ProjectIOHooks::addImage(doc, fileName, readPixels);
    }
    void imageRead(TStitchObject& image) override { calls << QStringLiteral("pixels ") + image.filename; }
    void showImages() override { calls << QStringLiteral("show"); }
    void viewRead(ProjectDocument& doc, int zoom, int scrollX, int scrollY) override
    {
        calls << QStringLiteral("view %1 %2 %3").arg(zoom).arg(scrollX).arg(scrollY);
        ProjectIOHooks::viewRead(doc, zoom, scrollX, scrollY);
    }
    void readDone(ProjectDocument& doc, int scrollX, int scrollY) override
    {
        calls << QStringLiteral("done %1 %2").arg(scrollX).arg(scrollY);
        ProjectIOHooks::readDone(doc, scrollX, scrollY);
    }
    void abandoned() override { calls << QStringLiteral("abandoned"); }
    QString newProjectName() override { return QStringLiteral("Fresh"); }

    QStringList callsStartingWith(const QString& prefix) const
    {
        QStringList found;
        for (const QString& c : calls)
            if (c.startsWith(prefix))
                found << c;
        return found;
    }
};

// Every pointer of the document leads into its own lists, and every point to its path and index.
void expectConsistent(const ProjectDocument& doc)
{
    auto ownsPath = [&](const TPath* p) {
        return std::any_of(doc.PathList.begin(), doc.PathList.end(), [p](const auto& q) { return q.get() == p; });
    };
    EXPECT_TRUE(!doc.CurrentPath || ownsPath(doc.CurrentPath.get()));
    bool currentIndexFound = !doc.CurrentIndex;
    for (const auto& path : doc.PathList)
        for (const auto& index : path->ObjectList) {
            EXPECT_EQ(index->Path.get(), path.get());
            currentIndexFound = currentIndexFound || index.get() == doc.CurrentIndex.get();
            for (const auto& m : index->ObjectList) {
                EXPECT_EQ(m->Index.get(), index.get());
                EXPECT_EQ(m->Path.get(), path.get());
            }
        }
    EXPECT_TRUE(currentIndexFound);
    for (const auto& object : doc.DrawList)
        EXPECT_TRUE(!object->Path || ownsPath(object->Path.get()));
}

class ProjectIOTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
    }
    void TearDown() override
    {
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
    }

    QString file(const QString& name) const { return dir.filePath(name); }

    QString picture(const QString& name, int width, int height) const
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(QColor(90, 120, 150));
        EXPECT_TRUE(image.save(file(name)));
        return file(name);
    }

    // Three images (one embedded), two paths with points, a rectangle, zoom and scroll.
    void fill(ProjectDocument& doc) const
    {
        doc.DPI = 2400;
        doc.Zoom = 20;
        doc.ScrollX = 11;
        doc.ScrollY = 22;
        doc.Project->Name = QStringLiteral("Oak");
        for (int i = 0; i < 3; ++i) {
            auto so = std::make_unique<TStitchObject>();
            so->filename = picture(QStringLiteral("scan%1.png").arg(i), 30, 20);
            so->x = 30 * i;
            so->Visible = true;
            so->DropBorder = 0;
            ReadImagePixels(*so);
            so->Embedded = i == 1;
            doc.StitchList.push_back(std::move(so));
        }
        for (int p = 0; p < 2; ++p) {
            TPath* path = doc.newPath(QString());
            TIndex* index = ProjectDocument::newIndex(path, 5 + p, 5);
            ProjectDocument::newMeasurement(path, index, 15 + p, 5);
            ProjectDocument::newMeasurement(path, index, 25 + p, 6);
            ProjectDocument::newIndex(path, 40, 7);
        }
        auto rectangle = std::make_unique<TRectangle>();
        rectangle->Name = QStringLiteral("Box");
        rectangle->x2 = {9, 9};
        rectangle->Path = doc.PathList[1].get();
        doc.DrawList.push_back(std::move(rectangle));
    }

    QString savedProject(const QString& name)
    {
        ProjectDocument source;
        fill(source);
        RecordingHooks hooks;
        EXPECT_EQ(SaveProjectXML(source, file(name), hooks), 0);
        return file(name);
    }

    QTemporaryDir dir;
};

// ---- .jex4 ---------------------------------------------------------------------------------------

TEST_F(ProjectIOTest, WriterAndReaderTellTheirStepsAndRoundTripABareDocument)
{
    ProjectDocument source;
    fill(source);
    source.Project->Changed = true;
    RecordingHooks writing;
    const QString name = file(QStringLiteral("bare.jex4"));
    ASSERT_EQ(SaveProjectXML(source, name, writing), 0);
    EXPECT_FALSE(source.isChanged());
    EXPECT_EQ(writing.calls, (QStringList{QStringLiteral("begin Saving project|Creating XML core..."),
                                          QStringLiteral("steps 5"), QStringLiteral("step Encoding image 1/3"),
                                          QStringLiteral("step Encoding image 2/3"), QStringLiteral("step Encoding image 3/3"),
                                          QStringLiteral("step Formatting measurement data"),
                                          QStringLiteral("step Saving project file"), QStringLiteral("end")}));

    ProjectDocument doc;
    RecordingHooks reading;
    ASSERT_EQ(LoadProjectXML(doc, name, reading), ProjectRead);
    QStringList expected{QStringLiteral("begin Loading project ") + ShortenText(name, 50) + QLatin1Char('|'),
                         QStringLiteral("view 20 11 22"), QStringLiteral("steps 3")};
    for (int i = 0; i < 3; ++i) {
        expected << QStringLiteral("step Loading image ") + ShortenText(file(QStringLiteral("scan%1.png").arg(i)), 50);
        if (i != 1)
            expected << QStringLiteral("pixels ") + file(QStringLiteral("scan%1.png").arg(i));
        expected << QStringLiteral("show");
        if (i == 1)
            expected << QStringLiteral("pixels ") + file(QStringLiteral("scan1.png")); // the embedded picture
    }
    expected << QStringLiteral("done 11 22");
    EXPECT_EQ(reading.calls, expected);

    EXPECT_EQ(doc.DPI, 2400);
    EXPECT_EQ(doc.Zoom, 20);
    EXPECT_EQ(doc.ScrollX, 11);
    EXPECT_EQ(doc.ScrollY, 22);
    EXPECT_EQ(doc.Project->Name, QStringLiteral("Oak"));
    EXPECT_EQ(doc.Project->Filename, name);
    EXPECT_FALSE(doc.isChanged());
    ASSERT_EQ(doc.StitchList.size(), 3u);
    for (const auto& so : doc.StitchList) {
        EXPECT_EQ(so->Width, 30);
        EXPECT_EQ(so->Height, 20);
    }
    EXPECT_TRUE(doc.StitchList[1]->Embedded);
    ASSERT_EQ(doc.PathList.size(), 2u);
    EXPECT_EQ(doc.PathList[1]->ObjectList.size(), 2u);
    EXPECT_EQ(doc.PathList[1]->ObjectList[0]->ObjectList[1]->Name, QStringLiteral("M 2"));
    EXPECT_EQ(doc.CurrentPath.get(), doc.PathList[1].get());
    ASSERT_EQ(doc.DrawList.size(), 1u);
    EXPECT_EQ(doc.DrawList[0]->Path.get(), doc.PathList[1].get());
    EXPECT_EQ(doc.DrawList[0]->MDIForm.data(), nullptr) << "no window holds a bare document's objects";
    expectConsistent(doc);
    EXPECT_TRUE(fake().shown().isEmpty());
}

TEST_F(ProjectIOTest, CancelMidReadLeavesAConsistentDocument)
{
    const QString name = savedProject(QStringLiteral("cancel.jex4"));
    // Pressed while image 1, 2 or 3 loads: that image is not taken. Pressed once the third was
    // shown: asked again at the first path, which is not read.
    for (int at = 1; at <= 4; ++at) {
        ProjectDocument doc;
        RecordingHooks hooks;
        hooks.cancelWhen = [&] {
            return at <= 3 ? hooks.callsStartingWith(QStringLiteral("step ")).size() >= at
                           : hooks.callsStartingWith(QStringLiteral("show")).size() >= 3;
        };
        EXPECT_EQ(LoadProjectXML(doc, name, hooks), ProjectCancelled) << at;
        EXPECT_EQ(doc.StitchList.size(), size_t(std::min(at - 1, 3))) << at;
        EXPECT_TRUE(doc.PathList.empty()) << at;
        EXPECT_TRUE(doc.DrawList.empty()) << at;
        EXPECT_TRUE(hooks.callsStartingWith(QStringLiteral("done")).isEmpty()) << at;
        EXPECT_TRUE(fake().shown().isEmpty()) << at;
        expectConsistent(doc);
        // What a cancelled read left can be written and read again.
        RecordingHooks again;
        ASSERT_EQ(SaveProjectXML(doc, file(QStringLiteral("left%1.jex4").arg(at)), again), 0) << at;
        ProjectDocument back;
        EXPECT_EQ(LoadProjectXML(back, file(QStringLiteral("left%1.jex4").arg(at)), again), ProjectRead) << at;
        EXPECT_EQ(back.StitchList.size(), doc.StitchList.size()) << at;
    }
}

TEST_F(ProjectIOTest, DocumentGoneMidReadEndsTheReadAsCancelled)
{
    const QString name = savedProject(QStringLiteral("gone.jex4"));
    auto* doc = new ProjectDocument;
    RecordingHooks hooks;
    hooks.cancelWhen = [&] {
        delete doc; // whatever owned it went while a step ran events
        doc = nullptr;
        return false;
    };
    QPointer<ProjectDocument> watch(doc);
    EXPECT_EQ(LoadProjectXML(*doc, name, hooks), ProjectCancelled);
    EXPECT_TRUE(watch.isNull());
}

TEST_F(ProjectIOTest, MissingImageIsAskedOfTheHooks)
{
    const QString located = picture(QStringLiteral("found.png"), 40, 30);
    const QByteArray project = "<JEX4><Image FileName=\"/old/place/a.png\"/><Image FileName=\"/old/place/b.png\"/>"
                               "<Image FileName=\"/old/place/c.png\"/><Path Name=\"kept\"><Index XPOS=\"4\"/></Path></JEX4>";
    const QString name = file(QStringLiteral("p.jex4"));
    using Located = ProjectIOHooks::Located;
    struct Case {
        const char* what;
        QList<Located> answers;
        int result;
        QStringList images;
        bool changed;
        int asked;
    };
    const Case cases[] = {
        {"none located", {}, ProjectRead, {}, false, 3},
        {"the first located, its folder tried for the others",
         {Located{Located::Found, located}},
         ProjectRead,
         {located},
         true,
         3},
        {"skipped, then cancelled",
         {Located{}, Located{Located::Cancel, QString()}},
         ProjectCancelled,
         {},
         false,
         2},
    };
    for (const Case& c : cases) {
        ProjectDocument doc;
        RecordingHooks hooks;
        hooks.answers = c.answers;
        EXPECT_EQ(LoadProjectXMLData(doc, project, name, hooks), c.result) << c.what;
        ASSERT_EQ(hooks.asked.size(), c.asked) << c.what;
        EXPECT_EQ(hooks.asked[0], QStringLiteral("/old/place/a.png|") + name) << c.what;
        if (c.asked > 1) {
            EXPECT_EQ(hooks.asked[1].section(QLatin1Char('|'), 0, 0).section(QLatin1Char('/'), -1), QStringLiteral("b.png"))
                << c.what;
        }
        QStringList images;
        for (const auto& so : doc.StitchList)
            images << so->filename;
        EXPECT_EQ(images, c.images) << c.what;
        EXPECT_EQ(doc.isChanged(), c.changed) << c.what;
        EXPECT_EQ(doc.PathList.size(), c.result == ProjectRead ? 1u : 0u) << c.what;
        expectConsistent(doc);
    }
    EXPECT_TRUE(fake().shown().isEmpty()) << "a bare read asks no box";
}

TEST_F(ProjectIOTest, FailedReadEmptiesTheDocumentAndSaysSo)
{
    ProjectDocument doc;
    fill(doc);
    doc.DPI = 600;
    RecordingHooks hooks;
    EXPECT_EQ(LoadProjectXMLData(doc, "<JEX4><Path Name=\"x\"><Index", file(QStringLiteral("cut.jex4")), hooks),
              ProjectReadFailed);
    EXPECT_TRUE(doc.StitchList.empty());
    EXPECT_TRUE(doc.PathList.empty());
    EXPECT_TRUE(doc.Project->Filename.isEmpty());
    EXPECT_EQ(doc.DPI, 600);
    EXPECT_EQ(hooks.calls.mid(hooks.calls.size() - 2), (QStringList{QStringLiteral("abandoned"), QStringLiteral("end")}));
    ASSERT_EQ(fake().shown().size(), 1);
    EXPECT_TRUE(fake().shownTexts()[0].startsWith(QStringLiteral("The project file ") + file(QStringLiteral("cut.jex4"))));
}

// ---- .jex ----------------------------------------------------------------------------------------

class JEX3DocumentTest : public ProjectIOTest {
protected:
    // An image record naming `image`, a resolution, an index point with two measurements, a second
    // index point; `damaged` cuts the file inside its last record.
    QString jexFile(const QString& name, const QString& image, bool damaged = false) const
    {
        using namespace testhelpers;
        QByteArray bytes = jex3ImageRecord(image.toLocal8Bit()) + jex3ResolutionRecord(1600)
                           + jex3PointRecord(0, 10, 10, 1, "pith") + jex3PointRecord(1, 20, 10, 1)
                           + jex3PointRecord(1, 30, 11, 1, "frost") + jex3PointRecord(0, 50, 12, 2);
        if (damaged)
            bytes.chop(100);
        EXPECT_TRUE(writeAll(file(name), bytes));
        return file(name);
    }
};

TEST_F(JEX3DocumentTest, ImportReadsImagePointsAndResolutionIntoABareDocument)
{
    const QString image = picture(QStringLiteral("core.jpg"), 40, 30);
    const QString jex = jexFile(QStringLiteral("core.jex"), image);
    ProjectDocument doc;
    RecordingHooks hooks;
    QString missing = QStringLiteral("stale");
    ASSERT_EQ(ImportJEX3Document(doc, jex, hooks, false, &missing), JEX3Import::Imported);
    EXPECT_TRUE(missing.isEmpty());
    // The image beside the file under its name; the record names the same one, taken already.
    EXPECT_EQ(hooks.callsStartingWith(QStringLiteral("add")), QStringList{QStringLiteral("add ") + image});
    ASSERT_EQ(doc.StitchList.size(), 1u);
    EXPECT_EQ(doc.StitchList[0]->filename, image);
    EXPECT_FALSE(doc.StitchList[0]->Loaded) << "no pixels outside an interactive import";
    EXPECT_EQ(doc.DPI, 1600);
    EXPECT_EQ(doc.Project->Name, jex);
    EXPECT_EQ(doc.Project->Filename, jex);
    ASSERT_EQ(doc.PathList.size(), 1u);
    const TPath& path = *doc.PathList[0];
    ASSERT_EQ(path.ObjectList.size(), 2u);
    ASSERT_EQ(path.ObjectList[0]->ObjectList.size(), 2u);
    EXPECT_EQ(path.ObjectList[0]->Comment, QStringLiteral("pith"));
    EXPECT_EQ(path.ObjectList[0]->ObjectList[1]->Comment, QStringLiteral("frost"));
    EXPECT_EQ(path.ObjectList[0]->ObjectList[1]->Name, QStringLiteral("M 2"));
    EXPECT_EQ(doc.CurrentIndex.get(), path.ObjectList[1].get());
    expectConsistent(doc);
    EXPECT_TRUE(fake().shown().isEmpty());

    ProjectDocument withPixels;
    RecordingHooks interactive;
    ASSERT_EQ(ImportJEX3Document(withPixels, jex, interactive, true), JEX3Import::Imported);
    ASSERT_EQ(withPixels.StitchList.size(), 1u);
    EXPECT_EQ(withPixels.StitchList[0]->Width, 40);
}

TEST_F(JEX3DocumentTest, ImportOutcomesWithoutAWindow)
{
    struct Case {
        const char* what;
        bool imageThere;
        bool damaged;
        bool interactive;
        JEX3Import result;
        QString name; // the project's name afterwards
        bool changed;
        bool abandoned;
        int boxes;
    };
    const QString jex = file(QStringLiteral("p.jex"));
    const Case cases[] = {
        {"image elsewhere and missing, batch", false, false, false, JEX3Import::Imported, jex, false, false, 0},
        {"image missing, interactive", false, false, true, JEX3Import::Failed, QString(), false, true, 1},
        {"damaged after the first records", true, true, false, JEX3Import::Damaged, QStringLiteral("Fresh"), true, false, 1},
    };
    for (const Case& c : cases) {
        setDialogs(std::make_unique<FakeDialogs>());
        const QString image = c.imageThere ? picture(QStringLiteral("elsewhere.png"), 8, 8) : file(QStringLiteral("no.jpg"));
        jexFile(QStringLiteral("p.jex"), image, c.damaged);
        ProjectDocument doc;
        RecordingHooks hooks;
        QString missing;
        EXPECT_EQ(ImportJEX3Document(doc, jex, hooks, c.interactive, &missing), c.result) << c.what;
        EXPECT_EQ(missing, c.imageThere ? QString() : image) << c.what;
        if (c.result != JEX3Import::Failed) {
            EXPECT_EQ(doc.Project->Name, c.name) << c.what;
            EXPECT_EQ(doc.isChanged(), c.changed) << c.what;
            EXPECT_EQ(doc.Project->Filename.isEmpty(), c.damaged) << c.what;
        }
        EXPECT_EQ(hooks.calls.contains(QStringLiteral("abandoned")), c.abandoned) << c.what;
        EXPECT_EQ(fake().shown().size(), c.boxes) << c.what;
        expectConsistent(doc);
    }
    // A file that is not there is no project: nothing is said.
    setDialogs(std::make_unique<FakeDialogs>());
    ProjectDocument doc;
    RecordingHooks hooks;
    EXPECT_EQ(ImportJEX3Document(doc, file(QStringLiteral("none.jex")), hooks, true), JEX3Import::Failed);
    EXPECT_EQ(hooks.calls, QStringList{QStringLiteral("end")});
    EXPECT_TRUE(fake().shown().isEmpty());
}

TEST_F(JEX3DocumentTest, ConverterWorksOnOneFileWithoutAWindow)
{
    const QString image = picture(QStringLiteral("conv.jpg"), 16, 12);
    const QString jex = jexFile(QStringLiteral("conv.jex"), image);
    const int windowsBefore = int(ImageWindows().size());
    ASSERT_TRUE(ConvertJEX3File(jex, true));
    EXPECT_EQ(int(ImageWindows().size()), windowsBefore);
    EXPECT_FALSE(QFile::exists(jex)) << "converted with \"delete files\"";

    ProjectDocument back;
    RecordingHooks hooks;
    ASSERT_EQ(LoadProjectXML(back, file(QStringLiteral("conv.jex4")), hooks), ProjectRead);
    ASSERT_EQ(back.StitchList.size(), 1u);
    EXPECT_EQ(back.StitchList[0]->filename, image);
    EXPECT_EQ(back.DPI, 1600);
    ASSERT_EQ(back.PathList.size(), 1u);
    EXPECT_EQ(back.PathList[0]->ObjectList.size(), 2u);
    EXPECT_EQ(back.PathList[0]->ObjectList[0]->ObjectList.size(), 2u);

    // A second run finds the target there and leaves the source.
    const QString again = jexFile(QStringLiteral("conv.jex"), image);
    EXPECT_FALSE(ConvertJEX3File(again, true));
    EXPECT_TRUE(QFile::exists(again));
}

} // namespace
