// File associations: the mime package and desktop entry land in the test's own XDG data folder,
// registering twice changes nothing, and paths that cannot stand in a desktop entry are refused.
#include "project/FileAssociation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

QString dataHome()
{
    return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
}

const QString program = QStringLiteral("/opt/jex4/bin/jex4");

TEST(FileAssociation, FilesGoIntoTheUsersDataFolder)
{
    ASSERT_FALSE(dataHome().isEmpty());
    EXPECT_EQ(FileAssociationMimePackagePath(), dataHome() + "/mime/packages/jex4-project-files.xml");
    EXPECT_EQ(FileAssociationDesktopFilePath(), dataHome() + "/applications/jex4.desktop");
}

TEST(FileAssociation, RegisterWritesBothTypesAndTheProgram)
{
    EXPECT_FALSE(FileAssociationsRegistered());
    ASSERT_TRUE(RegisterFileAssociations(program));
    EXPECT_TRUE(FileAssociationsRegistered());

    const QByteArray mime = readAll(FileAssociationMimePackagePath());
    EXPECT_TRUE(mime.contains("<mime-type type=\"application/x-jex4-project\">"));
    EXPECT_TRUE(mime.contains("<glob pattern=\"*.jex4\"/>"));
    EXPECT_TRUE(mime.contains("<mime-type type=\"application/x-jex-project\">"));
    EXPECT_TRUE(mime.contains("<glob pattern=\"*.jex\"/>"));
    EXPECT_TRUE(mime.contains("<comment>JEX4_Project_File</comment>"));
    EXPECT_TRUE(mime.contains("<comment>JEX_Project_File</comment>"));

    const QList<QByteArray> desktop = readAll(FileAssociationDesktopFilePath()).split('\n');
    EXPECT_EQ(desktop.first(), QByteArray("[Desktop Entry]"));
    EXPECT_TRUE(desktop.contains("Type=Application"));
    EXPECT_TRUE(desktop.contains("Exec=\"/opt/jex4/bin/jex4\" %f"));
    EXPECT_TRUE(desktop.contains("MimeType=application/x-jex4-project;application/x-jex-project;"));
}

TEST(FileAssociation, RegisteringTwiceLeavesTheSameFiles)
{
    ASSERT_TRUE(RegisterFileAssociations(program));
    const QByteArray mime = readAll(FileAssociationMimePackagePath());
    const QByteArray desktop = readAll(FileAssociationDesktopFilePath());
    ASSERT_TRUE(RegisterFileAssociations(program));
    EXPECT_EQ(readAll(FileAssociationMimePackagePath()), mime);
    EXPECT_EQ(readAll(FileAssociationDesktopFilePath()), desktop);
    EXPECT_TRUE(FileAssociationsRegistered());
}

TEST(FileAssociation, AMissingOrForeignFileIsNotRegistered)
{
    ASSERT_TRUE(RegisterFileAssociations(program));
    ASSERT_TRUE(QFile::remove(FileAssociationDesktopFilePath()));
    EXPECT_FALSE(FileAssociationsRegistered());

    ASSERT_TRUE(RegisterFileAssociations(program));
    QFile mime(FileAssociationMimePackagePath());
    ASSERT_TRUE(mime.open(QIODevice::WriteOnly | QIODevice::Truncate));
    mime.write("<mime-info/>");
    mime.close();
    EXPECT_FALSE(FileAssociationsRegistered());
}

TEST(FileAssociation, TheRunningProgramIsTheDefault)
{
    ASSERT_TRUE(RegisterFileAssociations());
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    EXPECT_TRUE(readAll(FileAssociationDesktopFilePath()).contains(("Exec=\"" + self + "\" %f").toUtf8()));
}

TEST(FileAssociation, ExecLineQuotesAndEscapes)
{
    const struct {
        const char* path;
        const char* exec; // as written in the file
    } rows[] = {
        {"/usr/bin/jex4", R"("/usr/bin/jex4" %f)"},
        {"/opt/a b/jex4", R"("/opt/a b/jex4" %f)"},
        {"/opt/a\"b/jex4", R"("/opt/a\\"b/jex4" %f)"},
        {"/opt/$HOME/jex4", R"("/opt/\\$HOME/jex4" %f)"},
        {"/opt/a`b/jex4", R"("/opt/a\\`b/jex4" %f)"},
        {"/opt/a\\b/jex4", R"("/opt/a\\\\b/jex4" %f)"},
        {"/opt/100%/jex4", R"("/opt/100%%/jex4" %f)"},
        {"/opt/a\nb/jex4", ""},
        {"/opt/a\tb/jex4", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(DesktopExecLine(QString::fromUtf8(r.path)), QString::fromUtf8(r.exec)) << r.path;
}

TEST(FileAssociation, RefusedPathWritesNothing)
{
    EXPECT_FALSE(RegisterFileAssociations(QStringLiteral("/opt/evil\nExec=rm -rf ~/jex4")));
    EXPECT_FALSE(QFileInfo::exists(FileAssociationDesktopFilePath()));
    EXPECT_FALSE(QFileInfo::exists(FileAssociationMimePackagePath()));
    EXPECT_FALSE(FileAssociationsRegistered());
}

TEST(FileAssociation, UnwritableDataFolderIsAFailure)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // A data folder below a plain file cannot be made, not even by root.
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("file/share")).toLocal8Bit());
    EXPECT_FALSE(RegisterFileAssociations(program));
    EXPECT_FALSE(FileAssociationsRegistered());
}

TEST(FileAssociation, MimeDatabaseIsUpdatedWhenTheToolIsInstalled)
{
    if (QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty())
        GTEST_SKIP() << "update-mime-database is not installed";
    ASSERT_TRUE(RegisterFileAssociations(program));
    const QByteArray globs = readAll(dataHome() + "/mime/globs2");
    EXPECT_TRUE(globs.contains("application/x-jex4-project:*.jex4")) << globs.constData();
    EXPECT_TRUE(globs.contains("application/x-jex-project:*.jex")) << globs.constData();
}

} // namespace
