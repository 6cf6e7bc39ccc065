// Older project file .jex: records laid out by hand from the format's table and compared with the
// writer, files built record by record (sound, cut short, of the wrong kinds, with huge values) read
// through the import, and round trips through the writer and the reader.
#include "project/JEX3Project.h"

#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Progress.h"
#include "support/JEX3Records.h"
#include "support/ProjectObjects.h"
#include "workspace/TF_SMDI.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <limits>
#include <memory>

#include <sys/resource.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

using testhelpers::addImage;
using testhelpers::addIndex;
using testhelpers::addMeasurement;

FakeDialogs& fake()
{
    return static_cast<FakeDialogs&>(dialogs());
}

using testhelpers::jex3ImageRecord;
using testhelpers::jex3PointRecord;
using testhelpers::jex3Record;
using testhelpers::jex3ResolutionRecord;

// Everything a point is read into, for comparing.
struct Point {
    bool index;
    QPoint pos;
    QString comment;
    bool operator==(const Point&) const = default;
};

void PrintTo(const Point& p, std::ostream* os)
{
    *os << (p.index ? "index" : "measurement") << " (" << p.pos.x() << ", " << p.pos.y() << ") \""
        << p.comment.toStdString() << '"';
}

std::vector<Point> pointsOf(const TPath& path)
{
    std::vector<Point> points;
    for (const auto& i : path.ObjectList) {
        points.push_back({true, i->Pos, i->Comment});
        for (const auto& m : i->ObjectList)
            points.push_back({false, m->Pos, m->Comment});
    }
    return points;
}

class JEX3RecordTest : public testing::Test {};

class JEX3ProjectTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
        F_Progress = new TF_Progress;
    }
    void TearDown() override
    {
        for (TF_SMDI* w : ImageWindows()) {
            w->fImageLoadError = true; // nothing to ask about
            w->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete F_Progress.data();
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
    }

    QString file(const QString& name) const { return dir.filePath(name); }
    QString write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(file(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()) << name.toStdString();
        return file(name);
    }
    QByteArray read(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QString picture(const QString& name, int w = 60, int h = 40, const char* format = nullptr) const
    {
        QDir().mkpath(QFileInfo(file(name)).absolutePath());
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(QColor(120, 80, 40));
        EXPECT_TRUE(image.save(file(name), format)) << name.toStdString();
        return file(name);
    }
    bool logged(const QString& text) const
    {
        for (const auto& e : TF_ErrorLog::Entries())
            if (e->AMessage == text)
                return true;
        return false;
    }
    static QString damaged(const QString& path) { return QStringLiteral("The file ") + path + QStringLiteral(" is damaged!"); }

    QTemporaryDir dir;
};

} // namespace

// ---- records ---------------------------------------------------------------------------------

TEST_F(JEX3RecordTest, WriterLaysOutEachKindAsTheTableSays)
{
    struct Case {
        const char* what;
        JEX3Record record;
        QByteArray expected;
    } cases[] = {
        {"image", JEX3ImageRecord(QStringLiteral("C:\\Kerne\\Eiche 3.jpg")), jex3ImageRecord("C:\\Kerne\\Eiche 3.jpg")},
        {"resolution", JEX3ResolutionRecord(2400), jex3ResolutionRecord(2400)},
        {"index point", JEX3PointRecord(false, {1234, 56}, QStringLiteral("Frost \u00b4\u00e9\u20ac"), 3),
         jex3PointRecord(0, 1234, 56, 3, "Frost \xB4\xE9\x80")},
        {"measurement point", JEX3PointRecord(true, {2147483647, 0}, QString(), 1),
         jex3PointRecord(1, 2147483647, 0, 1)},
        {"letters outside the code page", JEX3PointRecord(true, {1, 2}, QStringLiteral("\u0414\u0443\u0431"), 1),
         jex3PointRecord(1, 1, 2, 1, "???")},
        {"text cut to 255 bytes", JEX3PointRecord(false, {7, 8}, QString(300, QLatin1Char('x')), 2),
         jex3PointRecord(0, 7, 8, 2, QByteArray(255, 'x'))},
    };
    for (const Case& c : cases) {
        const QByteArray bytes = EncodeJEX3Record(c.record);
        ASSERT_EQ(bytes.size(), 296) << c.what;
        for (int i = 0; i < 296; ++i)
            ASSERT_EQ(quint8(bytes[i]), quint8(c.expected[i])) << c.what << ": first difference at byte " << i;
    }
}

TEST_F(JEX3RecordTest, ReaderTakesTheTextByItsLengthAndLeavesFillerAlone)
{
    const QByteArray bytes = jex3PointRecord(1, 300, 400, 2, "Riss \xE9", char(0x55));
    const JEX3Record r = DecodeJEX3Record(bytes.constData());
    EXPECT_EQ(r.text, QStringLiteral("Riss \u00e9"));
    EXPECT_EQ(r.kind, 1);
    EXPECT_EQ(r.x, 300);
    EXPECT_EQ(r.y, 400);
    EXPECT_EQ(r.number, 2);
    EXPECT_EQ(r.fx, 300.0);
    EXPECT_EQ(r.fy, 400.0);

    // Every byte value in the text survives the way through the code page and back.
    QByteArray all(255, '\0');
    for (int i = 0; i < 255; ++i)
        all[i] = char(i + 1);
    const QByteArray full = jex3PointRecord(0, 0, 0, 0, all);
    EXPECT_EQ(EncodeJEX3Record(DecodeJEX3Record(full.constData())), full);
}

TEST_F(JEX3RecordTest, KindFollowsTheIntegerPosition)
{
    struct Case {
        qint32 x, y;
        quint8 kind;
        JEX3RecordType type;
    } cases[] = {
        {-9, -9, 0, JEX3RecordType::Image},
        {-9, -9, 1, JEX3RecordType::Image},
        {-10, -10, 0, JEX3RecordType::Resolution},
        {-9, -10, 0, JEX3RecordType::Other},
        {-10, -9, 0, JEX3RecordType::Other},
        {-1, 5, 0, JEX3RecordType::Other},
        {5, -1, 1, JEX3RecordType::Other},
        {std::numeric_limits<qint32>::min(), 0, 0, JEX3RecordType::Other},
        {0, 0, 0, JEX3RecordType::IndexPoint},
        {0, 0, 1, JEX3RecordType::MeasurementPoint},
        {10, 20, 255, JEX3RecordType::MeasurementPoint},
    };
    for (const Case& c : cases) {
        JEX3Record r;
        r.x = c.x;
        r.y = c.y;
        r.kind = c.kind;
        EXPECT_EQ(RecordType(r), c.type) << c.x << ", " << c.y << " kind " << int(c.kind);
    }
}

// ---- import ----------------------------------------------------------------------------------

TEST_F(JEX3ProjectTest, ImportReadsImageResolutionAndPointsInPathOrder)
{
    picture(QStringLiteral("Eiche 3.jpg"), 60, 40, "JPG");
    const QString jex = write(QStringLiteral("Eiche 3.jex"),
                              jex3ImageRecord("C:\\Kerne\\Eiche 3.jpg") + jex3ResolutionRecord(2400)
                                  + jex3PointRecord(1, 1, 1, 0, "before any index") // skipped
                                  + jex3PointRecord(0, 10, 20, 1, "Anfang \xE9") + jex3PointRecord(1, 40, 20, 1)
                                  + jex3PointRecord(7, 70, 20, 1, "any kind but 0") // a measurement point
                                  + jex3Record("ignored", 0, -9, -10, 0) + jex3Record("ignored", 1, -3, 5, 0)
                                  + jex3ImageRecord("C:\\other.jpg") // the window has its image
                                  + jex3PointRecord(0, 100, 20, std::numeric_limits<qint32>::max())
                                  + jex3PointRecord(1, 130, 20, -5, "Riss"));
    TF_SMDI* w = ImportJEX3Project(jex, true);
    ASSERT_NE(w, nullptr);

    EXPECT_EQ(F_Progress->L_1->text(), QStringLiteral("Importing JEX3 project ") + ShortenText(jex, 40));
    EXPECT_EQ(F_Progress->PB->maximum(), 2);
    EXPECT_FALSE(F_Progress->isVisible());
    EXPECT_TRUE(fake().shown().isEmpty()) << fake().shownTexts().join(QLatin1Char('\n')).toStdString();

    ASSERT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->StitchList[0]->filename, file(QStringLiteral("Eiche 3.jpg")));
    EXPECT_TRUE(w->StitchList[0]->Loaded);
    EXPECT_EQ(w->StitchList[0]->FD->Info.Header.Width, 60);
    EXPECT_EQ(w->DPI, 2400);
    ASSERT_EQ(w->PathList.size(), 1u);
    const TPath& path = *w->PathList[0];
    const std::vector<Point> expected = {
        {true, {10, 20}, QStringLiteral("Anfang \u00e9")}, {false, {40, 20}, QString()},
        {false, {70, 20}, QStringLiteral("any kind but 0")}, {true, {100, 20}, QString()},
        {false, {130, 20}, QStringLiteral("Riss")},
    };
    EXPECT_EQ(pointsOf(path), expected);
    ASSERT_EQ(path.ObjectList.size(), 2u);
    const TIndex& second = *path.ObjectList[1];
    EXPECT_EQ(second.Name, QStringLiteral("Index 2"));
    EXPECT_EQ(second.ObjectList[0]->Name, QStringLiteral("M 3"));
    EXPECT_EQ(second.ObjectList[0]->Index.get(), &second);
    EXPECT_EQ(second.ObjectList[0]->Path.get(), &path);
    EXPECT_TRUE(second.FirstVisible);
    EXPECT_TRUE(second.ObjectList[0]->FirstVisible);
    EXPECT_EQ(second.distance, 30.0);            // from the first index point's last measurement
    EXPECT_EQ(second.ObjectList[0]->distance, 30.0);
    EXPECT_EQ(w->CurrentPath.get(), &path);
    EXPECT_EQ(w->CurrentIndex.get(), &second);

    EXPECT_EQ(w->Project->Filename, jex);
    EXPECT_EQ(w->Project->Name, jex);
    EXPECT_EQ(w->windowTitle(), jex);
    EXPECT_FALSE(w->Project->Changed);
}

TEST_F(JEX3ProjectTest, HeaderRecordsAloneGiveAPathWithoutPoints)
{
    picture(QStringLiteral("core.jpg"), 30, 20, "JPG");
    const QString jex = write(QStringLiteral("core.jex"), jex3ImageRecord("core.jpg") + jex3ResolutionRecord(1600));
    TF_SMDI* w = ImportJEX3Project(jex, true);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->StitchList.size(), 1u);
    EXPECT_EQ(w->DPI, 1600);
    ASSERT_EQ(w->PathList.size(), 1u);
    EXPECT_TRUE(w->PathList[0]->ObjectList.empty());
}

TEST_F(JEX3ProjectTest, DamagedFilesAreReportedAndNeverPoseAsTheFile)
{
    const QByteArray header = jex3ImageRecord("core.jpg") + jex3ResolutionRecord(1200);
    const QByteArray points = jex3PointRecord(0, 10, 10, 1) + jex3PointRecord(1, 20, 10, 1) + jex3PointRecord(1, 30, 10, 1);
    struct Case {
        const char* what;
        QByteArray bytes;
        bool window;     // what could be read stays
        size_t points;   // index and measurement points kept
    } cases[] = {
        {"cut inside the last record", header + points + jex3PointRecord(1, 40, 10, 1).left(100), true, 3},
        {"cut inside a text", header + points.left(296 + 1 + 3), true, 1},
        {"cut inside the image record", header.left(295), false, 0},
        {"one byte", QByteArray(1, '\x05'), false, 0},
        {"empty", QByteArray(), false, 0},
        {"beginning with the resolution", jex3ResolutionRecord(1200) + header + points, false, 0},
        {"beginning with a point", points + header, false, 0},
        {"something else", QByteArray(296 * 3, '\xFF'), false, 0},
    };
    picture(QStringLiteral("core.jpg"), 30, 20, "JPG");
    for (const Case& c : cases) {
        setDialogs(std::make_unique<FakeDialogs>());
        TF_ErrorLog::ClearLog();
        const QString jex = write(QStringLiteral("core.jex"), c.bytes);
        bool wasDamaged = false;
        TF_SMDI* w = ImportJEX3Project(jex, true, &wasDamaged);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        EXPECT_EQ(fake().shownTexts(), QStringList{damaged(jex)}) << c.what;
        EXPECT_TRUE(logged(damaged(jex))) << c.what;
        EXPECT_FALSE(F_Progress->isVisible()) << c.what;
        for (TF_SMDI* open : ImageWindows())
            EXPECT_NE(open->Project->Filename, jex) << c.what;
        if (!c.window) {
            EXPECT_EQ(w, nullptr) << c.what;
            EXPECT_TRUE(ImageWindows().isEmpty()) << c.what;
            continue;
        }
        ASSERT_NE(w, nullptr) << c.what;
        EXPECT_TRUE(wasDamaged) << c.what;
        EXPECT_EQ(pointsOf(*w->PathList[0]).size(), c.points) << c.what;
        EXPECT_TRUE(w->Project->Changed) << c.what; // closing offers to save what was read
        EXPECT_TRUE(w->Project->Filename.isEmpty()) << c.what;
        EXPECT_TRUE(w->Project->Name.startsWith(QStringLiteral("New Project"))) << c.what;
        EXPECT_EQ(read(jex), c.bytes) << c.what;
        w->fImageLoadError = true;
        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(JEX3ProjectTest, MissingRecordedImageStopsOnlyAnInteractiveImport)
{
    const QString jex = write(QStringLiteral("lost.jex"), jex3ImageRecord("C:\\Kerne\\gone.jpg") + jex3ResolutionRecord(2400)
                                                             + jex3PointRecord(0, 5, 5, 1));
    EXPECT_EQ(ImportJEX3Project(jex, true), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(fake().shownTexts(), QStringList{QStringLiteral("Can\u00b4t find image file C:\\Kerne\\gone.jpg!")});
    EXPECT_TRUE(ImageWindows().isEmpty());
    EXPECT_NE(SettingStandardDPI, 2400); // the discarded window's resolution does not pass on

    setDialogs(std::make_unique<FakeDialogs>());
    TF_SMDI* w = ImportJEX3Project(jex, false);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(fake().shown().isEmpty());
    EXPECT_TRUE(w->StitchList.empty());
    EXPECT_EQ(w->DPI, 2400);
    EXPECT_EQ(pointsOf(*w->PathList[0]).size(), 1u);
    EXPECT_EQ(w->Project->Filename, jex);
}

TEST_F(JEX3ProjectTest, ImagesBesideTheFileAreLoadedJpgFirstInAnyLetterCase)
{
    QDir().mkpath(file(QStringLiteral("both")));
    QDir().mkpath(file(QStringLiteral("upper")));
    picture(QStringLiteral("both/core.jpg"), 30, 20, "JPG");
    picture(QStringLiteral("both/core.bmp"), 50, 20, "BMP");
    picture(QStringLiteral("upper/CORE.JPG"), 30, 20, "JPG");
    const QByteArray bytes = jex3ImageRecord("C:\\missing.jpg") + jex3ResolutionRecord(1200);
    const QString both = write(QStringLiteral("both/core.jex"), bytes);
    const QString upper = write(QStringLiteral("upper/core.jex"), bytes);

    TF_SMDI* w = ImportJEX3Project(both, true);
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->StitchList.size(), 2u);
    EXPECT_EQ(w->StitchList[0]->filename, file(QStringLiteral("both/core.jpg")));
    EXPECT_EQ(w->StitchList[1]->filename, file(QStringLiteral("both/core.bmp")));
    EXPECT_EQ(w->StitchList[1]->x, 30); // right of the first
    EXPECT_EQ(F_Progress->PB->value(), 2);

    TF_SMDI* u = ImportJEX3Project(upper, true);
    ASSERT_NE(u, nullptr);
    ASSERT_EQ(u->StitchList.size(), 1u);
    EXPECT_EQ(u->StitchList[0]->filename, file(QStringLiteral("upper/CORE.JPG")));

    // Without interaction the images are named, not read: the converter needs no pixels.
    TF_SMDI* quiet = ImportJEX3Project(both, false);
    ASSERT_NE(quiet, nullptr);
    ASSERT_EQ(quiet->StitchList.size(), 2u);
    EXPECT_FALSE(quiet->StitchList[0]->Loaded);
    EXPECT_TRUE(fake().shown().isEmpty());
}

TEST_F(JEX3ProjectTest, UnreadableImageBesideTheFileLeavesNoWindow)
{
    write(QStringLiteral("core.jpg"), QByteArray("not a picture"));
    const QString jex = write(QStringLiteral("core.jex"), jex3ImageRecord("core.jpg") + jex3ResolutionRecord(1200));
    fake().answerMessage(mrOk);
    EXPECT_EQ(ImportJEX3Project(jex, true), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(ImageWindows().isEmpty());
    EXPECT_FALSE(F_Progress->isVisible());
    EXPECT_EQ(fake().shown().size(), 1);
}

TEST_F(JEX3ProjectTest, ResolutionOfZeroOrLessIsReadAs1200)
{
    for (qint32 dpi : {0, -300, std::numeric_limits<qint32>::min()}) {
        TF_ErrorLog::ClearLog();
        const QString jex = write(QStringLiteral("r.jex"), jex3ImageRecord("x") + jex3ResolutionRecord(dpi));
        TF_SMDI* w = ImportJEX3Project(jex, false);
        ASSERT_NE(w, nullptr) << dpi;
        EXPECT_EQ(w->DPI, 1200) << dpi;
        EXPECT_TRUE(logged(QStringLiteral("Project file %1: a resolution of %2 dpi was read as 1200 dpi.").arg(jex).arg(dpi)))
            << dpi;
    }
}

TEST_F(JEX3ProjectTest, MissingFileGivesNoWindow)
{
    EXPECT_EQ(ImportJEX3Project(file(QStringLiteral("nothing.jex")), true), nullptr);
    EXPECT_TRUE(ImageWindows().isEmpty());
    EXPECT_FALSE(F_Progress->isVisible());
    EXPECT_TRUE(fake().shown().isEmpty());
}

TEST_F(JEX3ProjectTest, ManyPointsWithHugeValuesReadInFull)
{
    QByteArray bytes = jex3ImageRecord("x") + jex3ResolutionRecord(std::numeric_limits<qint32>::max());
    const int indexes = 2000;
    for (int i = 0; i < indexes; ++i) {
        bytes += jex3PointRecord(0, i, std::numeric_limits<qint32>::max(), std::numeric_limits<qint32>::min(),
                             QByteArray(255, char(0x80 + i % 100)));
        bytes += jex3PointRecord(255, std::numeric_limits<qint32>::max(), i, i);
    }
    const QString jex = write(QStringLiteral("big.jex"), bytes);
    TF_SMDI* w = ImportJEX3Project(jex, false);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->DPI, std::numeric_limits<qint32>::max());
    const TPath& path = *w->PathList[0];
    ASSERT_EQ(path.ObjectList.size(), size_t(indexes));
    EXPECT_EQ(path.ObjectList.back()->Comment.size(), 255);
    EXPECT_EQ(path.ObjectList.back()->ObjectList[0]->Pos, QPoint(std::numeric_limits<qint32>::max(), indexes - 1));
}

// ---- export and round trip -------------------------------------------------------------------

TEST_F(JEX3ProjectTest, ExportWritesTheFirstImageAndPathRecordByRecord)
{
    TF_SMDI w;
    w.DPI = 2400;
    addImage(w)->filename = QStringLiteral("/Kerne/Eiche 3.jpg");
    addImage(w)->filename = QStringLiteral("/Kerne/second.jpg"); // not written
    TPath* path = w.PathList[0].get();
    TIndex* first = addIndex(*path, {10, 20}); // no comment
    addMeasurement(*first, {40, 21})->Comment = QStringLiteral("Frost \u00e9");
    addMeasurement(*first, {70, 22});
    TIndex* second = addIndex(*path, {100, 23});
    second->Comment = QString(300, QLatin1Char('c'));
    addMeasurement(*second, {130, 24});
    auto other = std::make_unique<TPath>();
    addIndex(*other, {5, 5}); // not written
    w.PathList.push_back(std::move(other));

    const QString target = file(QStringLiteral("out.jex"));
    w.Project->Changed = true;
    ASSERT_EQ(ExportJEX3Project(&w, target), 0);
    EXPECT_FALSE(w.Project->Changed);
    const QByteArray expected = jex3ImageRecord("/Kerne/Eiche 3.jpg") + jex3ResolutionRecord(2400)
        + jex3PointRecord(0, 10, 20, 1) + jex3PointRecord(1, 40, 21, 1, "Frost \xE9") + jex3PointRecord(1, 70, 22, 1)
        + jex3PointRecord(0, 100, 23, 2, QByteArray(255, 'c')) + jex3PointRecord(1, 130, 24, 2);
    EXPECT_EQ(read(target), expected);
    EXPECT_EQ(JEX3ProjectBytes(&w), expected);
    EXPECT_TRUE(fake().shown().isEmpty());
}

TEST_F(JEX3ProjectTest, ProjectWhoseLastPathWasDeletedWritesTheTwoHeaderRecords)
{
    TF_SMDI w;
    w.DPI = 1600;
    addImage(w)->filename = QStringLiteral("core.bmp");
    w.PathList.clear(); // as after deleting its last path
    const QString target = file(QStringLiteral("out.jex"));
    ASSERT_EQ(ExportJEX3Project(&w, target), 0);
    EXPECT_EQ(read(target), jex3ImageRecord("core.bmp") + jex3ResolutionRecord(1600));
}

TEST_F(JEX3ProjectTest, RoundTripThroughWriterAndReaderKeepsWhatTheFormatHolds)
{
    const QString image = picture(QStringLiteral("scans/Eiche.jpg"), 80, 50, "JPG");
    TF_SMDI w;
    w.DPI = 3200;
    addImage(w)->filename = image;
    TPath* path = w.PathList[0].get();
    for (int i = 0; i < 3; ++i) {
        TIndex* index = addIndex(*path, {10 + 100 * i, 5 + i});
        index->Comment = i == 1 ? QStringLiteral("Astl\u00f6ch \u00b4\u20ac") : QString();
        for (int m = 1; m <= i + 1; ++m)
            addMeasurement(*index, {10 + 100 * i + 20 * m, 5 + i})->Comment = QStringLiteral("m%1").arg(m);
    }
    // Elsewhere than its image, so that only the image record can bring the image back.
    const QString target = file(QStringLiteral("projects/Eiche.jex"));
    QDir().mkpath(file(QStringLiteral("projects")));
    ASSERT_EQ(ExportJEX3Project(&w, target), 0);

    for (bool interactive : {true, false}) {
        TF_SMDI* back = ImportJEX3Project(target, interactive);
        ASSERT_NE(back, nullptr) << interactive;
        EXPECT_EQ(back->DPI, 3200) << interactive;
        ASSERT_EQ(back->StitchList.size(), 1u) << interactive;
        EXPECT_EQ(back->StitchList[0]->filename, image) << interactive;
        EXPECT_EQ(back->StitchList[0]->Loaded, interactive) << interactive;
        EXPECT_EQ(pointsOf(*back->PathList[0]), pointsOf(*path)) << interactive;
        EXPECT_EQ(JEX3ProjectBytes(back), read(target)) << interactive;
    }
    EXPECT_TRUE(fake().shown().isEmpty());
}

TEST_F(JEX3ProjectTest, FailedExportSaysSoAndKeepsTheOldFile)
{
    TF_SMDI w;
    addImage(w)->filename = QStringLiteral("core.jpg");
    addIndex(*w.PathList[0], {1, 1});
    const QString blocker = write(QStringLiteral("plain file"), "x");
    const QString keep = write(QStringLiteral("keep.jex"), "old");

    EXPECT_EQ(ExportJEX3Project(&w, blocker + QStringLiteral("/inside.jex")), -1);
    ASSERT_EQ(fake().shown().size(), 1);
    EXPECT_TRUE(fake().shown()[0].text.startsWith(QStringLiteral("An error occured while saving to ") + blocker))
        << fake().shown()[0].text.toStdString();

    // A file-size limit fails the write part-way, as a full disk would, and binds root too.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 500;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    w.Project->Changed = true;
    const int rc = ExportJEX3Project(&w, keep);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(rc, -1);
    EXPECT_TRUE(w.Project->Changed);
    EXPECT_EQ(read(keep), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary left behind
    EXPECT_EQ(fake().shown().size(), 2);

    TF_SMDI empty;
    EXPECT_EQ(ExportJEX3Project(&empty, file(QStringLiteral("none.jex"))), -1);
    EXPECT_FALSE(QFile::exists(file(QStringLiteral("none.jex"))));
}

TEST_F(JEX3ProjectTest, OnlyOneNonPngImageAndOnePathFitTheFormat)
{
    struct Case {
        const char* what;
        QStringList images;
        int paths;
        bool fits;
    } cases[] = {
        {"one jpg, one path", {QStringLiteral("a.jpg")}, 1, true},
        {"one bmp, no path", {QStringLiteral("a.bmp")}, 0, true},
        {"no image", {}, 1, false},
        {"a png", {QStringLiteral("a.PNG")}, 1, false},
        {"two images", {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}, 1, false},
        {"two paths", {QStringLiteral("a.jpg")}, 2, false},
    };
    for (const Case& c : cases) {
        TF_SMDI w;
        w.ClearData(true, true);
        for (const QString& name : c.images)
            addImage(w)->filename = name;
        for (int i = 0; i < c.paths; ++i)
            w.PathList.push_back(std::make_unique<TPath>());
        EXPECT_EQ(FitsJEX3(&w), c.fits) << c.what;
    }
}
