#include "shell/TFindFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// A tree of folders and files made for each case; names relative to its root.
class TFindFileTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString root() const { return dir.path() + QLatin1Char('/'); }
    void folder(const QString& name) { ASSERT_TRUE(QDir().mkpath(root() + name)); }
    void file(const QString& name, int bytes = 0)
    {
        QFile f(root() + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(name);
        f.write(QByteArray(bytes, 'x'));
    }
    // Files listed, relative to the root.
    QStringList listed(const TFindFile& ff) const
    {
        QStringList names;
        for (const QString& path : ff.Files()) {
            EXPECT_TRUE(path.startsWith(root())) << qPrintable(path);
            names << path.mid(root().size());
        }
        return names;
    }
    // The folders the scan announced, relative to the root.
    QStringList entered(TFindFile& ff)
    {
        QStringList folders;
        ff.setOnNewPath([&](TFindFile*, const QString& path, bool&) { folders << path.mid(root().size()); });
        ff.Execute();
        return folders;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(TFindFileTest, CreatedWithEverythingPatternAndTheDefaultAttributes)
{
    TFindFile ff;
    EXPECT_EQ(ff.Filter(), QStringLiteral("*.*"));
    EXPECT_EQ(ff.Attributes(), ffReadOnly | ffHidden | ffSystem | ffArchive);
    EXPECT_TRUE(ff.Files().isEmpty());
    EXPECT_FALSE(ff.Recurse());
}

TEST_F(TFindFileTest, EmptyDirectoryListsNothingButStillNotifies)
{
    file(QStringLiteral("a.jex"));
    TFindFile ff;
    ff.Files() << QStringLiteral("left over");
    QStringList calls;
    ff.setBeforeExecute([&](TFindFile* sender) { calls << QStringLiteral("before"); EXPECT_EQ(sender, &ff); });
    ff.setAfterExecute([&](TFindFile*) { calls << QStringLiteral("after"); });
    ff.setOnNewPath([&](TFindFile*, const QString&, bool&) { calls << QStringLiteral("path"); });
    ff.Execute();
    EXPECT_EQ(calls, (QStringList{QStringLiteral("before"), QStringLiteral("after")}));
    EXPECT_TRUE(ff.Files().isEmpty());
}

TEST_F(TFindFileTest, TreeIsEnteredBreadthFirstInNameOrder)
{
    for (const char* name : {"a/b/d", "a/c", "a/B2"})
        folder(QString::fromLatin1(name));
    TFindFile ff;
    ff.setDirectory(root() + QStringLiteral("a"));
    ff.setRecurse(true);
    EXPECT_EQ(entered(ff), (QStringList{QStringLiteral("a/"), QStringLiteral("a/b/"), QStringLiteral("a/B2/"),
                                        QStringLiteral("a/c/"), QStringLiteral("a/b/d/")}));
}

TEST_F(TFindFileTest, ListsFilesOfTheWholeTreeButNotTheFoldersThemselves)
{
    folder(QStringLiteral("a/b"));
    folder(QStringLiteral("a/.hidden"));
    file(QStringLiteral("a/one.jex"), 10);
    file(QStringLiteral("a/b/two.JEX"), 20);
    file(QStringLiteral("a/.hidden/three.jex"), 30);
    file(QStringLiteral("a/b/noext"), 5);
    TFindFile ff;
    ff.setDirectory(root() + QStringLiteral("a"));
    ff.setRecurse(true);
    ff.Execute();
    // Hidden folders are entered too: ListSubFolders searches with every attribute.
    EXPECT_EQ(listed(ff), (QStringList{QStringLiteral("a/one.jex"), QStringLiteral("a/.hidden/three.jex"),
                                       QStringLiteral("a/b/noext"), QStringLiteral("a/b/two.JEX")}));
    EXPECT_EQ(ff.TotalFile(), 4);
    EXPECT_EQ(ff.TotalDir(), 0);
    EXPECT_EQ(ff.TotalSpace(), 65);
}

TEST_F(TFindFileTest, StartFolderWithAndWithoutTrailingDelimiterListTheSame)
{
    folder(QStringLiteral("a/b"));
    file(QStringLiteral("a/x.jex"));
    file(QStringLiteral("a/b/y.jex"));
    for (bool recurse : {false, true}) {
        TFindFile with, without;
        with.setRecurse(recurse);
        without.setRecurse(recurse);
        with.setDirectory(root() + QStringLiteral("a/"));
        without.setDirectory(root() + QStringLiteral("a"));
        with.Execute();
        without.Execute();
        EXPECT_EQ(with.Files(), without.Files()) << "recurse " << recurse;
        EXPECT_FALSE(with.Files().isEmpty());
    }
}

TEST_F(TFindFileTest, AttributeMaskDecidesWhichSpecialEntriesAreListed)
{
    folder(QStringLiteral("sub"));
    folder(QStringLiteral(".hiddensub"));
    file(QStringLiteral("plain.jex"), 3);
    file(QStringLiteral(".hidden.jex"));
    file(QStringLiteral("locked.jex"));
    QFile::setPermissions(root() + QStringLiteral("locked.jex"), QFileDevice::ReadOwner);
    ASSERT_EQ(mkfifo(qPrintable(root() + QStringLiteral("pipe")), 0600), 0);

    struct Case {
        TAttrOptions mask;
        QStringList expected;
        int dirs;
    } cases[] = {
        {0, {QStringLiteral("locked.jex"), QStringLiteral("plain.jex")}, 0},
        {ffReadOnly | ffArchive, {QStringLiteral("locked.jex"), QStringLiteral("plain.jex")}, 0},
        {ffHidden, {QStringLiteral(".hidden.jex"), QStringLiteral("locked.jex"), QStringLiteral("plain.jex")}, 0},
        {ffSystem, {QStringLiteral("locked.jex"), QStringLiteral("pipe"), QStringLiteral("plain.jex")}, 0},
        {ffDirectory, {QStringLiteral("locked.jex"), QStringLiteral("plain.jex"), QStringLiteral("sub")}, 1},
        // A hidden folder is not exactly a folder: it counts among the files.
        {ffDirectory | ffHidden,
         {QStringLiteral(".hidden.jex"), QStringLiteral(".hiddensub"), QStringLiteral("locked.jex"),
          QStringLiteral("plain.jex"), QStringLiteral("sub")},
         1},
    };
    for (const Case& c : cases) {
        TFindFile ff;
        ff.setAttributes(c.mask);
        ff.setDirectory(root());
        ff.Execute();
        EXPECT_EQ(listed(ff), c.expected) << "mask " << c.mask;
        EXPECT_EQ(ff.TotalDir(), c.dirs) << "mask " << c.mask;
        EXPECT_EQ(ff.TotalFile(), c.expected.size() - c.dirs) << "mask " << c.mask;
    }
    EXPECT_EQ(TFindFile::EntryAttributes(root() + QStringLiteral("locked.jex")), ffReadOnly | ffArchive);
    EXPECT_EQ(TFindFile::EntryAttributes(root() + QStringLiteral("sub")), ffDirectory);
}

TEST_F(TFindFileTest, PatternsMatchAsTheOlderSystemDid)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {
        {"*.*", "core.jex", true},     {"*.*", "README", true},       {"*.*", ".profile", true},
        {"*.jex", "CORE.JEX", true},   {"*.jex", "core.jex4", false}, {"*.jex*", "core.jex4", true},
        {"c?re.*", "core.jex", true},  {"c?re.*", "core", true},      {"c?re.*", "cre.jex", false},
        {"*", "", true},               {"a*b*c", "aXbYbZc", true},    {"a*b*c", "aXbYcZ", false},
        {"\u00e9*.jex", "\u00c9t\u00e9.jex", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TFindFile::MatchesPattern(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.match)
            << c.pattern << " / " << c.name;

    folder(QStringLiteral("d"));
    file(QStringLiteral("d/a.jex"));
    file(QStringLiteral("d/b.JEX"));
    file(QStringLiteral("d/c.jex4"));
    TFindFile ff;
    ff.setFilter(QStringLiteral("*.jex"));
    ff.setDirectory(root() + QStringLiteral("d"));
    ff.Execute();
    EXPECT_EQ(listed(ff), (QStringList{QStringLiteral("d/a.jex"), QStringLiteral("d/b.JEX")}));
}

TEST_F(TFindFileTest, AbortStopsTheScan)
{
    folder(QStringLiteral("a/b"));
    folder(QStringLiteral("a/c"));
    file(QStringLiteral("a/x.jex"));
    file(QStringLiteral("a/b/y.jex"));
    file(QStringLiteral("a/c/z.jex"));

    // Set in the first call: the start folder is not listed and nothing more is entered.
    TFindFile first;
    first.setDirectory(root() + QStringLiteral("a"));
    first.setRecurse(true);
    int calls = 0;
    first.setOnNewPath([&](TFindFile*, const QString&, bool& abort) {
        ++calls;
        abort = true;
    });
    first.Execute();
    EXPECT_TRUE(first.Files().isEmpty());
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(first.Abort()); // Execute does not reset it

    // Set by the owner after the second folder was listed: the scan ends there.
    TFindFile later;
    later.setDirectory(root() + QStringLiteral("a"));
    later.setRecurse(true);
    QStringList folders;
    later.setOnNewPath([&](TFindFile* sender, const QString& path, bool&) {
        folders << path;
        if (folders.size() == 3)
            sender->setAbort(true);
    });
    later.Execute();
    EXPECT_EQ(folders.size(), 3);
    EXPECT_EQ(listed(later), (QStringList{QStringLiteral("a/x.jex"), QStringLiteral("a/b/y.jex")}));
}

TEST_F(TFindFileTest, LinkBackToAFolderAboveIsEnteredOnce)
{
    folder(QStringLiteral("a/b"));
    file(QStringLiteral("a/b/y.jex"));
    ASSERT_TRUE(QFile::link(root() + QStringLiteral("a"), root() + QStringLiteral("a/b/up")));
    TFindFile ff;
    ff.setDirectory(root() + QStringLiteral("a"));
    ff.setRecurse(true);
    EXPECT_EQ(entered(ff), (QStringList{QStringLiteral("a/"), QStringLiteral("a/b/")}));
    EXPECT_EQ(listed(ff), QStringList{QStringLiteral("a/b/y.jex")});
}

TEST_F(TFindFileTest, FolderScanWithoutRecurseStaysInTheFolder)
{
    folder(QStringLiteral("a/b"));
    file(QStringLiteral("a/x.jex"));
    file(QStringLiteral("a/b/y.jex"));
    TFindFile ff;
    ff.setDirectory(root() + QStringLiteral("a"));
    EXPECT_EQ(entered(ff), QStringList{QStringLiteral("a/")});
    EXPECT_EQ(listed(ff), QStringList{QStringLiteral("a/x.jex")});
}
