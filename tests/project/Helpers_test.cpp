// Shared routines: texts, geometry, identifiers, folders and file probes, the outside-program run,
// the admin test, text drawing and tree-node objects.
#include "project/Helpers.h"

#include "JexVersion.h"
#include "platform/Dialogs.h"
#include "platform/FakeDialogs.h"
#include "project/Settings.h"
#include "support/PermissionsBind.h"
#include "workspace/HelpersWidgets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <unistd.h>

namespace {

// --- Texts ------------------------------------------------------------------------------------

TEST(SplitDelimited, FollowsTheDelimitedTextRules)
{
    const struct {
        char delimiter;
        const char* text;
        QStringList parts;
    } rows[] = {
        {',', "a,b,c", {"a", "b", "c"}},
        {',', "", {}},
        {',', "   ", {}},
        {',', " a , b ", {"a", "b"}},
        {',', "a,,b", {"a", "", "b"}},
        {',', "a,", {"a", ""}},
        {',', ",a", {"", "a"}},
        {',', "a b,c", {"a", "b", "c"}},             // blanks separate outside quotes
        {',', "\"a b\",c", {"a b", "c"}},            // quotes group
        {',', "\"a,b\",c", {"a,b", "c"}},
        {',', "\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}}, // doubled quote inside quotes
        {',', "\"open", {"open"}},                   // a missing closing quote takes the rest
        {',', "\"ab\"cd,e", {"ab", "cd", "e"}},
        {';', "a;b,c", {"a", "b,c"}},
        {',', "a\tb", {"a", "b"}},
    };
    for (const auto& r : rows) {
        QStringList list = {"left over"};
        SplitDelimited(QLatin1Char(r.delimiter), QString::fromLatin1(r.text), list);
        EXPECT_EQ(list, r.parts) << r.text;
    }
}

TEST(SplitDelimited, StopsAtANulCharacter)
{
    QStringList list;
    SplitDelimited(QLatin1Char(','), QStringLiteral("a,b") + QChar(u'\0') + QStringLiteral(",c"), list);
    EXPECT_EQ(list, QStringList({"a", "b"}));
}

TEST(ShortenText, KeepsHeadAndTailAroundThreeDots)
{
    const QString sixty = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX");
    ASSERT_EQ(sixty.size(), 60);
    const struct {
        QString text;
        int max;
        QString expected;
    } rows[] = {
        {sixty, 50, sixty.left(21) + "..." + sixty.right(26)},
        {sixty, 60, sixty},
        {sixty, 61, sixty},
        {sixty, 59, sixty.left(25) + "..." + sixty.right(30)},
        {QStringLiteral("abcdefghij"), 9, QStringLiteral("...fghij")}, // head 0
        {QStringLiteral("abcdefghij"), 4, QStringLiteral("...hij")},   // a negative head gives nothing
        {QStringLiteral("abc"), 0, QStringLiteral("...c")},
        {QStringLiteral("abc"), -10, QStringLiteral("...")},
        {QString(), 0, QString()},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ShortenText(r.text, r.max), r.expected) << r.text.toStdString() << " max " << r.max;
    EXPECT_EQ(ShortenText(sixty, 50).size(), 50);
}

TEST(NewGUIDString, IsUpperCaseInBracesAndNewEachTime)
{
    static const QRegularExpression form(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    const QString a = NewGUIDString();
    const QString b = NewGUIDString();
    EXPECT_EQ(a.size(), 38);
    EXPECT_TRUE(form.match(a).hasMatch()) << a.toStdString();
    EXPECT_TRUE(form.match(b).hasMatch()) << b.toStdString();
    EXPECT_NE(a, b);
}

TEST(FileNames, BaseNameAndImageExtensions)
{
    const struct {
        const char* path;
        const char* base;
    } bases[] = {
        {"C:\\data\\core.jpg", "core"}, {"/data/core.jpg", "core"}, {"core.tar.gz", "core.tar"},
        {"/a.b/core", "core"},          {"plain", "plain"},         {"/data/", ""},
    };
    for (const auto& r : bases)
        EXPECT_EQ(FileBaseName(QString::fromLatin1(r.path)), QString::fromLatin1(r.base)) << r.path;

    const struct {
        const char* name;
        bool image;
    } images[] = {
        {"a.jpg", true},   {"a.JPG", true},    {"a.Bmp", true},   {"a.png", true},  {"a.tif", true},
        {"a.jpeg", false}, {"a.tiff", false},  {"a.gif", false},  {"jpg", false},   {"a.jpg.txt", false},
        {"C:\\x.y\\a.TIF", true}, {"/x.jpg/a", false},
    };
    for (const auto& r : images)
        EXPECT_EQ(IsImageFileName(QString::fromLatin1(r.name)), r.image) << r.name;
}

// --- Geometry ---------------------------------------------------------------------------------

TEST(Geometry, PointDistance)
{
    EXPECT_DOUBLE_EQ(PointDistance(QPoint(1, 2), QPoint(4, 6)), 5.0);
    EXPECT_DOUBLE_EQ(PointDistance(QPoint(7, 7), QPoint(7, 7)), 0.0);
    // The difference overflows 32 bits.
    EXPECT_DOUBLE_EQ(PointDistance(QPoint(-2000000000, 0), QPoint(2000000000, 0)), 4e9);
    EXPECT_DOUBLE_EQ(PointDistance(QPoint(0, -2000000000), QPoint(0, 2000000000)), 4e9);

    EXPECT_DOUBLE_EQ(PointDistanceF(QPointF(0.5, 0.5), QPointF(3.5, 4.5)), 5.0);
    EXPECT_DOUBLE_EQ(PointDistanceF(QPointF(1, 1), QPointF(1, 1)), 0.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_DOUBLE_EQ(PointDistanceF(QPointF(nan, 0), QPointF(0, 0)), -1.0);
}

TEST(Geometry, PerpendicularEnds)
{
    const struct {
        int x1, y1, x2, y2;
        double d;
        QPoint a, b;
    } rows[] = {
        {5, 5, 5, 5, 3, {5, 5}, {5, 5}},         // coinciding points: the first point twice
        {0, 0, 10, 0, 3, {0, 3}, {0, -3}},       // horizontal line: a vertical bar
        {0, 0, 0, 10, 3, {-3, 0}, {3, 0}},       // vertical line: a horizontal bar
        {10, 20, 13, 24, 5, {6, 23}, {14, 17}},  // 3-4-5 triangle
        {0, 0, 10, 0, 2.5, {0, 2}, {0, -2}},     // halves go to the even neighbour
        {0, 1, 10, 1, 2.5, {0, 4}, {0, -2}},     // 3.5 -> 4, -1.5 -> -2
    };
    for (const auto& r : rows) {
        const auto [a, b] = PerpendicularEnds(r.x1, r.y1, r.x2, r.y2, r.d);
        EXPECT_EQ(a, r.a) << r.x1 << "," << r.y1 << " -> " << r.x2 << "," << r.y2 << " d " << r.d;
        EXPECT_EQ(b, r.b) << r.x1 << "," << r.y1 << " -> " << r.x2 << "," << r.y2 << " d " << r.d;
    }
}

TEST(Geometry, ResamplerIndex)
{
    const struct {
        int setting, expected;
    } rows[] = {{1, 0}, {2, 11}, {3, 14}, {0, 99}, {4, 99}, {-1, 99}};
    for (const auto& r : rows)
        EXPECT_EQ(ResamplerIndex(r.setting, 99), r.expected) << r.setting;
}

// Bounding box of the dark pixels of a white image.
QRect inkBox(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(TextOutRotated, TurnsCounterClockwiseAboutTheAlignedReferencePoint)
{
    const struct {
        int angle;
        Qt::Alignment align;
        const char* where; // of the ink relative to the reference point (100, 100)
        std::function<bool(const QRect&)> holds;
    } rows[] = {
        {0, Qt::AlignLeft | Qt::AlignTop, "right and below",
         [](const QRect& r) { return r.left() >= 99 && r.top() >= 99 && r.width() > r.height(); }},
        {0, Qt::AlignLeft | Qt::AlignBottom, "right and above",
         [](const QRect& r) { return r.left() >= 99 && r.bottom() <= 100 && r.width() > r.height(); }},
        {0, Qt::AlignRight | Qt::AlignTop, "left and below",
         [](const QRect& r) { return r.right() <= 101 && r.top() >= 99; }},
        {90, Qt::AlignLeft | Qt::AlignTop, "above, running upward",
         [](const QRect& r) { return r.bottom() <= 101 && r.left() >= 99 && r.height() > r.width(); }},
        {90, Qt::AlignLeft | Qt::AlignBottom, "above and left",
         [](const QRect& r) { return r.bottom() <= 101 && r.right() <= 101 && r.height() > r.width(); }},
        {180, Qt::AlignLeft | Qt::AlignTop, "left and above",
         [](const QRect& r) { return r.right() <= 101 && r.bottom() <= 101 && r.width() > r.height(); }},
    };
    for (const auto& r : rows) {
        QImage image(200, 200, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setPixelSize(16);
            painter.setFont(font);
            painter.setPen(Qt::black);
            TextOutRotated(&painter, r.angle, 100, 100, QStringLiteral("MMMMMM"), r.align);
        }
        const QRect box = inkBox(image);
        ASSERT_FALSE(box.isEmpty()) << r.angle << " " << r.where;
        EXPECT_TRUE(r.holds(box)) << "angle " << r.angle << ": ink should be " << r.where << " of (100, 100), is at "
                                  << box.left() << "," << box.top() << " " << box.width() << "x" << box.height();
    }
}

// --- Program, version, accounts ---------------------------------------------------------------

TEST(ProgramVersion, TextAndVersionOfTheProgramFile)
{
    const quint16 major = VersionMajor, minor = VersionMinor, build = VersionBuild;
    VersionMajor = 4;
    VersionMinor = 12;
    VersionBuild = 345;
    EXPECT_EQ(ProgramVersionText(), QStringLiteral("JEX 4.12.345"));
    VersionMajor = major;
    VersionMinor = minor;
    VersionBuild = build;

    quint16 a = 99, b = 99, c = 99, d = 99;
    ASSERT_TRUE(GetFileVersionParts(QCoreApplication::applicationFilePath(), &a, &b, &c, &d));
    EXPECT_EQ(a, JexVersion::Major);
    EXPECT_EQ(b, JexVersion::Minor);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(d, JexVersion::Build);
    EXPECT_TRUE(GetFileVersionParts(QCoreApplication::applicationFilePath(), nullptr, nullptr, nullptr, nullptr));

    a = 99;
    EXPECT_FALSE(GetFileVersionParts(QStringLiteral("/bin/sh"), &a, nullptr, nullptr, nullptr));
    EXPECT_EQ(a, 99);
    EXPECT_FALSE(GetFileVersionParts(QStringLiteral("/no/such/file"), &a, nullptr, nullptr, nullptr));
    EXPECT_FALSE(GetFileVersionParts(QString(), &a, nullptr, nullptr, nullptr));
}

TEST(IsUserAdmin, RootOrSudoOrWheel)
{
    const struct {
        uint uid;
        QStringList groups;
        bool admin;
    } rows[] = {
        {0, {}, true},
        {1000, {"users"}, false},
        {1000, {"users", "sudo"}, true},
        {1000, {"wheel"}, true},
        {1000, {"sudoers", "Wheel"}, false},
        {1000, {}, false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(IsAdminAccount(r.uid, r.groups), r.admin) << r.uid << " " << r.groups.join(',').toStdString();
}

TEST(IsUserAdmin, TestsCanPutAnAnswerInPlace)
{
    SetUserAdminProbe([] { return false; });
    EXPECT_FALSE(IsUserAdmin());
    SetUserAdminProbe([] { return true; });
    EXPECT_TRUE(IsUserAdmin());
    SetUserAdminProbe({});
    if (geteuid() == 0) {
        EXPECT_TRUE(IsUserAdmin());
    }
}

// --- Folders and file probes ------------------------------------------------------------------

TEST(Folders, DataFolderIsJex4InTheDocumentsFolder)
{
    const QString documents = GetMyDocumentsFolder();
    ASSERT_FALSE(documents.isEmpty());
    EXPECT_TRUE(documents.startsWith(QString::fromLocal8Bit(qgetenv("HOME")))) << documents.toStdString();
    EXPECT_EQ(GetDataFolder(), documents + QStringLiteral("/JEX4"));
}

TEST(Folders, TempFolderIsPrivateAndStable)
{
    const QString folder = GetTempFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(folder.endsWith(QLatin1Char('/')));
    EXPECT_EQ(GetTempFolder(), folder);
    EXPECT_NE(QDir::cleanPath(folder), QDir::cleanPath(QDir::tempPath()));
    const QFileInfo info(folder);
    EXPECT_TRUE(info.isDir());
    EXPECT_EQ(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                    | QFile::WriteOther | QFile::ExeOther),
              QFile::Permissions());
    EXPECT_EQ(info.ownerId(), geteuid());
}

class FileProbeTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        fake = new FakeDialogs;
        previous = setDialogs(std::unique_ptr<Dialogs>(fake));
    }
    void TearDown() override { setDialogs(std::move(previous)); }

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    static void writeBytes(const QString& fileName, const QByteArray& bytes)
    {
        QFile f(fileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QTemporaryDir dir;
    FakeDialogs* fake = nullptr;
    std::unique_ptr<Dialogs> previous;
};

TEST_F(FileProbeTest, CanWriteFileLeavesFilesAsTheyWere)
{
    writeBytes(path("existing.jex4"), "keep me");
    EXPECT_TRUE(CanWriteFile(path("existing.jex4"), true));
    QFile existing(path("existing.jex4"));
    ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
    EXPECT_EQ(existing.readAll(), QByteArray("keep me"));

    EXPECT_TRUE(CanWriteFile(path("new.jex4"), true));
    EXPECT_FALSE(QFileInfo::exists(path("new.jex4"))) << "the probe file must not stay behind";
    EXPECT_EQ(fake->callCount(), 0);
}

TEST_F(FileProbeTest, CanWriteFileFailsAndTellsWhenAsked)
{
    writeBytes(path("plainfile"), "x");
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    const struct {
        const char* why;
        QString fileName;
    } rows[] = {
        {"missing folder", path("missing/a.jex4")},
        {"a file in place of the folder", path("plainfile/a.jex4")},
        {"a folder in place of the file", path("folder")},
        {"no name", QString()},
    };
    for (const auto& r : rows) {
        EXPECT_FALSE(CanWriteFile(r.fileName, false)) << r.why;
        EXPECT_EQ(fake->callCount(), 0) << r.why;

        fake->answerMessage(mrOk);
        EXPECT_FALSE(CanWriteFile(r.fileName, true)) << r.why;
        ASSERT_EQ(fake->shown().size(), 1) << r.why;
        const auto& box = fake->shown().first();
        EXPECT_EQ(box.text, QStringLiteral("An error occured while saving to ") + r.fileName
                                + QStringLiteral("\r\n\r\nPlease make sure you have write permissions for this file/folder."));
        EXPECT_EQ(box.type, mtError);
        EXPECT_EQ(box.buttons, TMsgDlgButtons{mbOK});
        EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
        fake = new FakeDialogs;
        setDialogs(std::unique_ptr<Dialogs>(fake));
    }
    EXPECT_TRUE(QDir(path("folder")).exists());
    EXPECT_FALSE(QFileInfo::exists(path("missing")));
}

TEST_F(FileProbeTest, CanWriteFolderMakesAndRemovesAProbe)
{
    EXPECT_TRUE(CanWriteFolder(dir.path()));
    EXPECT_TRUE(CanWriteFolder(dir.path() + QLatin1Char('/')));
    EXPECT_TRUE(QDir(dir.path()).isEmpty()) << "the probe file must be gone";

    writeBytes(path("plainfile"), "x");
    EXPECT_FALSE(CanWriteFolder(path("missing")));
    EXPECT_FALSE(CanWriteFolder(path("plainfile")));
    EXPECT_FALSE(CanWriteFolder(QString()));
    QDir(dir.path()).mkdir(QStringLiteral("readonly"));
    QFile::setPermissions(path("readonly"), QFile::ReadOwner | QFile::ExeOwner);
    testhelpers::PermissionsBind bind; // as root too
    ASSERT_TRUE(bind.active());
    EXPECT_FALSE(CanWriteFolder(path("readonly")));
}

TEST_F(FileProbeTest, MessageDlgWithCheckBoxAsksThroughTheDialogs)
{
    const struct {
        int answer;
        bool checked;
        int result;
    } rows[] = {{mrYes, true, mrYes}, {mrNo, false, mrNo}, {mrNo, true, mrNo}};
    for (const auto& r : rows)
        fake->answerCheckBox(r.answer, r.checked);
    for (const auto& r : rows) {
        bool checked = !r.checked;
        EXPECT_EQ(MessageDlgWithCheckBox(QStringLiteral("Search for updates"), QStringLiteral("text"),
                                         QStringLiteral("Don't ask again"), checked),
                  r.result);
        EXPECT_EQ(checked, r.checked);
    }
    ASSERT_EQ(fake->shown().size(), 3);
    EXPECT_EQ(fake->shown().first().caption, QStringLiteral("Search for updates"));
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(FileProbeTest, IsShellFolderAsksTheModel)
{
    writeBytes(path("file.jpg"), "x");
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    QFileSystemModel model;
    model.setRootPath(dir.path());
    const QModelIndex file = model.index(path("file.jpg"));
    const QModelIndex folder = model.index(path("sub"));
    ASSERT_TRUE(file.isValid());
    ASSERT_TRUE(folder.isValid());
    EXPECT_FALSE(IsShellFolder(model, file));
    EXPECT_TRUE(IsShellFolder(model, folder));
}

// --- RunAndCapture ----------------------------------------------------------------------------

TEST(RunAndCapture, GathersOutputAndGivesTheExitCode)
{
    const struct {
        const char* why;
        QString script;
        QString output;
        int exitCode;
    } rows[] = {
        {"plain output", QStringLiteral("printf 'hello world'"), QStringLiteral("hello world"), 0},
        {"exit code", QStringLiteral("printf 'before'; exit 3"), QStringLiteral("before"), 3},
        {"short blocks with pauses", QStringLiteral("printf a; sleep 0.2; printf b; sleep 0.2; printf c"),
         QStringLiteral("abc"), 0},
        {"a character split between two blocks", QStringLiteral("printf '\\303'; sleep 0.2; printf '\\244'"),
         QString::fromUtf8("\xC3\xA4"), 0},
        {"standard error is not output", QStringLiteral("printf out; printf err >&2"), QStringLiteral("out"), 0},
        {"no input to wait for", QStringLiteral("cat; printf done"), QStringLiteral("done"), 0},
        {"crash", QStringLiteral("printf partial; kill -SEGV $$"), QStringLiteral("partial"), -1},
    };
    for (const auto& r : rows) {
        QString output;
        const int rc = RunAndCapture(QStringLiteral("/bin/sh -c \"") + r.script + QLatin1Char('"'),
                                     [&output](const QString& text) { output += text; });
        EXPECT_EQ(output, r.output) << r.why;
        EXPECT_EQ(rc, r.exitCode) << r.why;
    }
}

TEST(RunAndCapture, LargeOutputNeitherStallsNorIsCut)
{
    // Far beyond a pipe's buffer; a reader that waits for the end first would hang here.
    QString output;
    const int rc = RunAndCapture(QStringLiteral("/bin/sh -c \"i=0; while [ $i -lt 20000 ]; do echo line$i; i=$((i+1)); done\""),
                                 [&output](const QString& text) { output += text; });
    EXPECT_EQ(rc, 0);
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 20000);
    EXPECT_EQ(lines.first(), QStringLiteral("line0"));
    EXPECT_EQ(lines.last(), QStringLiteral("line19999"));
}

TEST(RunAndCapture, MissingProgramOrEmptyCommand)
{
    int calls = 0;
    const auto count = [&calls](const QString&) { ++calls; };
    EXPECT_EQ(RunAndCapture(QStringLiteral("/no/such/program --flag"), count), -1);
    EXPECT_EQ(RunAndCapture(QString(), count), -1);
    EXPECT_EQ(calls, 0);
}

TEST(RunAndCapture, AppendsToAMemoAndKeepsEventsFlowing)
{
    QPlainTextEdit memo;
    memo.setPlainText(QStringLiteral("pto_gen:\n"));
    bool posted = false;
    QMetaObject::invokeMethod(&memo, [&posted] { posted = true; }, Qt::QueuedConnection);
    const int rc = RunAndCapture(QStringLiteral("/bin/sh -c \"sleep 0.3; printf 'found 2 images'\""), &memo);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("pto_gen:\nfound 2 images"));
    EXPECT_TRUE(posted) << "events must be processed while the tool runs";
}

TEST(RunAndCapture, AMemoClosedMeanwhileIsLeftAlone)
{
    auto* memo = new QPlainTextEdit;
    // Closed as soon as the first words are in, while the tool still runs.
    QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [memo] { memo->deleteLater(); });
    const QPointer<QPlainTextEdit> closed(memo);
    const int rc = RunAndCapture(QStringLiteral("/bin/sh -c \"printf early; sleep 0.4; printf late\""), memo);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(closed.isNull()) << "the memo went while the tool ran";
    delete closed.data();
}

// --- Tree nodes -------------------------------------------------------------------------------

TEST(NodeObjects, EachNodeCarriesOnePointer)
{
    QTreeWidget tree;
    int a = 1, b = 2;
    auto* first = new QTreeWidgetItem(&tree);
    auto* second = new QTreeWidgetItem(&tree);
    auto* bare = new QTreeWidgetItem(&tree);
    SetNodeObject(&tree, first, &a);
    SetNodeObject(&tree, second, &b);
    EXPECT_EQ(GetNodeObject<int>(&tree, first), &a);
    EXPECT_EQ(GetNodeObject<int>(&tree, second), &b);
    EXPECT_EQ(GetNodeObject(&tree, bare), nullptr);
    EXPECT_EQ(GetNodeObject(&tree, nullptr), nullptr);
    SetNodeObject(&tree, first, &b);
    EXPECT_EQ(GetNodeObject<int>(&tree, first), &b);
    SetNodeObject(&tree, first, nullptr);
    EXPECT_EQ(GetNodeObject(&tree, first), nullptr);
}

} // namespace
