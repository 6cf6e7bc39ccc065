#include "platform/TextFile.h"

#include "support/PermissionsBind.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray readBytes(const QString& fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& fileName, const QByteArray& bytes)
{
    QFile f(fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class TextFileTest : public testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList entries() const { return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); }
    QTemporaryDir m_dir;
};

TEST_F(TextFileTest, WritesCp1252WithCrLfAndReadsItBack)
{
    const QStringList lines = {QStringLiteral("Ring 1\t123"), QString(), QStringLiteral(u"Äpfel \u20AC 5 \u00B5m"),
                               QStringLiteral(u"\u4E2D")};
    ASSERT_EQ(writeTextFile(path("a.txt"), lines), 0);
    EXPECT_EQ(readBytes(path("a.txt")), QByteArray("Ring 1\t123\r\n\r\n\xC4pfel \x80 5 \xB5m\r\n?\r\n"));

    QStringList back;
    ASSERT_EQ(readTextFile(path("a.txt"), back), 0);
    EXPECT_EQ(back, (QStringList{lines[0], QString(), lines[2], QStringLiteral("?")}));
}

TEST_F(TextFileTest, EmptyListWritesAnEmptyFile)
{
    writeBytes(path("e.txt"), "old content\r\n");
    ASSERT_EQ(writeTextFile(path("e.txt"), {}), 0);
    EXPECT_EQ(readBytes(path("e.txt")), QByteArray());
    QStringList back = {QStringLiteral("stale")};
    ASSERT_EQ(readTextFile(path("e.txt"), back), 0);
    EXPECT_TRUE(back.isEmpty());
}

TEST_F(TextFileTest, ReadAcceptsEveryLineEnd)
{
    struct Row { QByteArray bytes; QStringList lines; };
    const Row rows[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},               // no line end after the last line
        {"a\r\n\r\n", {"a", ""}},
        {"a\r\r\nb", {"a", "", "b"}},          // CR, then CR LF
        {"a\n\rb", {"a", "", "b"}},            // LF CR is two line ends
        {"\r\n", {""}},
        {"", {}},
        {QByteArray("a\0b\r\n", 5), {QString::fromLatin1("a\0b", 3)}}, // a NUL does not end the text
        {"\x93quoted\x94", {QStringLiteral(u"\u201Cquoted\u201D")}},
    };
    int n = 0;
    for (const Row& r : rows) {
        const QString name = path(QStringLiteral("r%1.txt").arg(n++));
        writeBytes(name, r.bytes);
        QStringList lines;
        ASSERT_EQ(readTextFile(name, lines), 0);
        EXPECT_EQ(lines, r.lines) << r.bytes.toPercentEncoding().toStdString();
    }
}

TEST_F(TextFileTest, FailuresReturnMinusOneAndKeepTheOldFile)
{
    writeBytes(path("keep.txt"), "old\r\n");
    QDir(m_dir.path()).mkdir(QStringLiteral("folder"));

    struct Row { const char* what; QString target; };
    const Row rows[] = {
        {"missing folder", path("missing/x.txt")},
        {"target is a folder", path("folder")},
        {"empty name", QString()},
    };
    for (const Row& r : rows) {
        QString error;
        EXPECT_EQ(writeTextFile(r.target, {QStringLiteral("new")}, &error), -1) << r.what;
        EXPECT_FALSE(error.isEmpty()) << r.what;
    }
    EXPECT_EQ(readBytes(path("keep.txt")), QByteArray("old\r\n"));
    EXPECT_TRUE(QFileInfo(path("folder")).isDir());

    QStringList lines = {QStringLiteral("untouched")};
    for (const QString& name : {path("nothing.txt"), path("folder")})
        EXPECT_EQ(readTextFile(name, lines), -1) << name.toStdString();
    EXPECT_EQ(lines, QStringList{QStringLiteral("untouched")});
}

TEST_F(TextFileTest, WriteCutShortByTheDiskKeepsTheOldFileAndLeavesNoTemporary)
{
    // A file-size limit makes the write fail part-way, as a full disk would; small texts go through
    // the file buffer, large ones past it.
    struct Row { int lineCount; rlim_t limit; };
    const Row rows[] = {{200, 1000}, {20000, 100000}};
    for (const Row& r : rows) {
        writeBytes(path("keep.txt"), "old\r\n");
        struct rlimit saved;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = r.limit;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int rc = writeTextFile(path("keep.txt"), QStringList(r.lineCount, QStringLiteral("0123456789")));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        EXPECT_EQ(rc, -1) << r.lineCount;
        EXPECT_EQ(readBytes(path("keep.txt")), QByteArray("old\r\n")) << r.lineCount;
        EXPECT_EQ(entries(), QStringList{QStringLiteral("keep.txt")}) << r.lineCount;
    }
}

TEST_F(TextFileTest, ReadOnlyFolderKeepsTheOldFile)
{
    writeBytes(path("keep.txt"), "old\r\n");
    QFile::setPermissions(path("keep.txt"), QFileDevice::ReadOwner);
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    int rc = 0;
    bool bound = false;
    {
        testhelpers::PermissionsBind bind; // as root too
        bound = bind.active();
        rc = writeTextFile(path("keep.txt"), {QStringLiteral("new")});
    }
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_TRUE(bound);
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(readBytes(path("keep.txt")), QByteArray("old\r\n"));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("keep.txt")});
}

TEST(TextLines, SplitMatchesTheFileReader)
{
    EXPECT_EQ(splitTextLines(QStringLiteral("a\r\nb\nc\rd")), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(splitTextLines(QStringLiteral("x\n")), QStringList{"x"});
    EXPECT_TRUE(splitTextLines(QString()).isEmpty());
}

} // namespace
