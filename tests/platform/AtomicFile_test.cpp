#include "platform/AtomicFile.h"

#include "support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using testhelpers::SmallDisk;

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

QByteArray pattern(qint64 size)
{
    QByteArray bytes(size, '\0');
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 23);
    return bytes;
}

TEST(AtomicFile, ReplacesTheWholeContentAndLeavesNoTemporary)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("a.bin");
    writeBytes(name, pattern(100000));
    ASSERT_EQ(writeFileAtomically(name, QByteArray("short")), 0);
    EXPECT_EQ(readBytes(name), QByteArray("short"));
    ASSERT_EQ(writeFileAtomically(name, [](QFileDevice& d, QString&) { return d.write("streamed") == 8; }), 0);
    EXPECT_EQ(readBytes(name), QByteArray("streamed"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.bin"});
}

// A writer that gives up, throws or cannot even start leaves the old file byte for byte.
TEST(AtomicFile, FailedWriterKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("keep.bin");
    const QByteArray old = pattern(3000);
    struct Row { const char* what; QString target; AtomicFill fill; const char* reason; };
    const Row rows[] = {
        {"gives up with a reason", name,
         [](QFileDevice& d, QString& why) { d.write(pattern(50000)); why = "encoder failed"; return false; },
         "encoder failed"},
        {"gives up silently", name, [](QFileDevice& d, QString&) { d.write("x"); return false; }, nullptr},
        {"folder missing", dir.filePath("no/such/folder/f.bin"), [](QFileDevice&, QString&) { return true; }, nullptr},
    };
    for (const Row& r : rows) {
        writeBytes(name, old);
        QString error;
        EXPECT_EQ(writeFileAtomically(r.target, r.fill, &error), -1) << r.what;
        EXPECT_FALSE(error.isEmpty()) << r.what;
        if (r.reason) {
            EXPECT_EQ(error, QLatin1String(r.reason)) << r.what;
        }
        EXPECT_EQ(readBytes(name), old) << r.what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bin"}) << r.what;
    }

    writeBytes(name, old);
    EXPECT_THROW(writeFileAtomically(name,
                                     [](QFileDevice& d, QString&) -> bool {
                                         d.write(pattern(70000));
                                         throw std::runtime_error("window closed");
                                     }),
                 std::runtime_error);
    EXPECT_EQ(readBytes(name), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bin"});
}

// The disk fills while writing: small contents sit in the file buffer until the end, large ones
// run out part-way. Either way the write is reported and the old file stays.
TEST(AtomicFile, FullDiskKeepsTheOldFileAndReportsIt)
{
    SmallDisk disk;
    SKIP_WITHOUT_SMALL_DISK(disk);
    struct Row { qint64 size; qint64 freeBytes; bool streamed; };
    const Row rows[] = {
        {10, 0, false},         {5000, 0, false},     {15000, 4096, false}, {300000, 65536, false},
        {5000, 0, true},        {300000, 65536, true},
    };
    const QString name = disk.path("target.bin");
    const QByteArray old = pattern(20000);
    for (const Row& r : rows) {
        const std::string what = std::to_string(r.size) + (r.streamed ? " streamed" : " whole");
        disk.empty();
        writeBytes(name, old);
        ASSERT_TRUE(disk.fillLeaving(r.freeBytes)) << what;
        const QByteArray content = pattern(r.size);
        QString error;
        const int rc = r.streamed ? writeFileAtomically(
                                        name,
                                        [&content](QFileDevice& d, QString&) {
                                            // Pieces as an encoder hands them over; results unchecked,
                                            // as image writers do.
                                            for (qint64 at = 0; at < content.size(); at += 1000)
                                                d.write(content.constData() + at, qMin<qint64>(1000, content.size() - at));
                                            return true;
                                        },
                                        &error)
                                  : writeFileAtomically(name, content, &error);
        EXPECT_EQ(rc, -1) << what;
        EXPECT_FALSE(error.isEmpty()) << what;
        EXPECT_EQ(readBytes(name), old) << what;
        EXPECT_EQ(disk.entries(), QStringList{"target.bin"}) << what;
    }
    // With room again the same write goes through.
    disk.empty();
    ASSERT_EQ(writeFileAtomically(name, pattern(300000)), 0);
    EXPECT_EQ(readBytes(name), pattern(300000));
}

} // namespace
