// File keys: one key per file whatever road the name takes, none for an empty name.
#include "platform/FileKey.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(FileKey, OneKeyPerFileAndNoneForAnEmptyName)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = QDir(dir.path()).canonicalPath();
    ASSERT_TRUE(QDir(root).mkdir(QStringLiteral("sub")));
    QFile file(root + QStringLiteral("/sub/core.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/sub/core.jpg"), root + QStringLiteral("/link.jpg")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/sub"), root + QStringLiteral("/folder-link")));

    struct Case {
        QString name, key;
    };
    const Case cases[] = {
        {QString(), QString()},
        {QStringLiteral(""), QString()},
        {root + QStringLiteral("/sub/core.jpg"), root + QStringLiteral("/sub/core.jpg")},
        {root + QStringLiteral("/sub/./../sub//core.jpg"), root + QStringLiteral("/sub/core.jpg")},
        {root + QStringLiteral("/link.jpg"), root + QStringLiteral("/sub/core.jpg")},           // links followed
        {root + QStringLiteral("/folder-link/core.jpg"), root + QStringLiteral("/sub/core.jpg")},
        {root + QStringLiteral("/folder-link/"), root + QStringLiteral("/sub")},               // a folder
        {root + QStringLiteral("/sub/CORE.jpg"), root + QStringLiteral("/sub/CORE.jpg")},       // case counts
        {root + QStringLiteral("/gone/../new/x.jpg/"), root + QStringLiteral("/new/x.jpg")},  // not there: cleaned
        {QStringLiteral("no-such-folder/../x.jpg"), QDir::cleanPath(QDir::currentPath() + QStringLiteral("/x.jpg"))},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileKey(c.name), c.key) << "name \"" << c.name.toStdString() << '"';
}

} // namespace
