// Recent-files list: order, duplicates, the maximum, missing files, the stored "File"/"Name"
// pairs (gaps, surplus, damage), when nothing is read or written, and the menu entries.
#include "shell/RecentFiles.h"

#include "platform/Registry.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kKey = QStringLiteral("\\Software\\LUMEK\\JEX4\\RecentFiles");

class RecentFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ForgetSettingsStoreState();
        TF_ErrorLog::ClearLog();
    }
    void TearDown() override { ForgetSettingsStoreState(); }

    // An existing file in the test folder.
    QString file(const QString& name) const
    {
        const QString path = dir.path() + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        return path;
    }

    // The list of the main window: "LUMEK\JEX4", "RecentFiles", at most `max` entries.
    static std::unique_ptr<THistoryList> programList(int max = 8)
    {
        auto list = std::make_unique<THistoryList>();
        list->setRegPath(QStringLiteral("LUMEK\\JEX4"));
        list->setRegKey(QStringLiteral("RecentFiles"));
        list->setMaxItems(max);
        return list;
    }

    static QStringList files(const THistoryList& list)
    {
        QStringList out;
        for (int i = 0; i < list.entryCount(); ++i)
            out << list.entryFile(i);
        return out;
    }

    // Stored values below the list's key, name -> text.
    static void store(const QList<std::pair<QString, QString>>& values)
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        for (const auto& [name, text] : values)
            reg.WriteString(name, text);
        reg.CloseKey();
    }

    static QStringList storedNames()
    {
        Registry reg;
        if (!reg.OpenKey(kKey, false))
            return {};
        QStringList names = reg.GetValueNames();
        names.sort();
        return names;
    }

    QTemporaryDir dir;
};

TEST_F(RecentFiles, NewestFirstWithoutDuplicatesAndAtMostTheMaximum)
{
    THistoryList list;
    list.setMaxItems(8);
    const QString a = file(QStringLiteral("a.jex4"));
    const QString b = file(QStringLiteral("b.jex4"));
    const QString c = file(QStringLiteral("c.jex4"));
    list.addFilename(a, a);
    list.addFilename(b, b);
    list.addFilename(c, c);
    list.addFilename(b, QStringLiteral("new caption"));
    EXPECT_EQ(files(list), (QStringList{b, c, a}));
    EXPECT_EQ(list.entryCaption(0), QStringLiteral("new caption"));

    QStringList added = {b, c, a};
    for (int i = 0; i < 6; ++i) {
        const QString f = file(QStringLiteral("more%1.jex4").arg(i));
        list.addFilename(f, f);
        added.prepend(f);
    }
    ASSERT_EQ(list.entryCount(), 8);
    EXPECT_EQ(files(list), added.mid(0, 8)); // the oldest, a, went
    EXPECT_FALSE(files(list).contains(a));
    EXPECT_EQ(list.entryFile(8), QString());
    EXPECT_EQ(list.entryFile(-1), QString());
}

TEST_F(RecentFiles, OnlyExistingFilesWithExactNamesCount)
{
    THistoryList list;
    list.setMaxItems(8);
    const QString lower = file(QStringLiteral("core.jex4"));
    const QString upper = file(QStringLiteral("CORE.jex4"));
    list.addFilename(lower, lower);
    list.addFilename(upper, upper); // another file on this system, and another entry anyway
    EXPECT_EQ(files(list), (QStringList{upper, lower}));

    const QStringList before = files(list);
    list.addFilename(dir.path() + QStringLiteral("/missing.jex4"), QStringLiteral("x"));
    list.addFilename(QString(), QStringLiteral("x"));
    list.addFilename(dir.path(), dir.path()); // a folder is no file
    EXPECT_EQ(files(list), before);

    THistoryList folders;
    folders.setMaxItems(4);
    folders.setDirectories(true);
    folders.addFilename(lower, lower);
    folders.addFilename(dir.path(), dir.path());
    EXPECT_EQ(files(folders), QStringList{dir.path()});
}

TEST_F(RecentFiles, LoweringTheMaximumDropsTheOldestAndNonPositiveValuesAreIgnored)
{
    THistoryList list;
    list.setMaxItems(8);
    QStringList added;
    for (int i = 0; i < 5; ++i) {
        const QString f = file(QStringLiteral("f%1").arg(i));
        list.addFilename(f, f);
        added.prepend(f);
    }
    list.setMaxItems(0);
    list.setMaxItems(-3);
    EXPECT_EQ(list.MaxItems(), 8);
    list.setMaxItems(3);
    EXPECT_EQ(files(list), added.mid(0, 3));
}

TEST_F(RecentFiles, LoadingKeepsTheNewestExistingFilesAndSavingRemovesTheSurplus)
{
    QList<std::pair<QString, QString>> values;
    QStringList paths;
    for (int i = 0; i < 10; ++i) {
        const QString f = file(QStringLiteral("p%1.jex4").arg(i));
        paths << f;
        values << std::pair{QStringLiteral("File%1").arg(i), f} << std::pair{QStringLiteral("Name%1").arg(i), f};
    }
    store(values);

    auto list = programList();
    EXPECT_EQ(files(*list), paths.mid(0, 8));
    list->saveToRegistry();
    QStringList expected;
    for (int i = 0; i < 8; ++i)
        expected << QStringLiteral("File%1").arg(i) << QStringLiteral("Name%1").arg(i);
    expected.sort();
    EXPECT_EQ(storedNames(), expected);

    // A file deleted since is not listed at the next start, and the rest move up.
    ASSERT_TRUE(QFile::remove(paths[1]));
    auto next = programList();
    QStringList remaining = paths.mid(0, 8);
    remaining.removeAt(1);
    EXPECT_EQ(files(*next), remaining);
}

TEST_F(RecentFiles, ADamagedEntryIsSkippedWithAFailureAndAGapEndsTheList)
{
    const QString a = file(QStringLiteral("a.jex4"));
    const QString b = file(QStringLiteral("b.jex4"));
    const QString c = file(QStringLiteral("c.jex4"));
    const QString d = file(QStringLiteral("d.jex4"));
    store({{QStringLiteral("File0"), a}, {QStringLiteral("Name0"), a}, {QStringLiteral("File1"), b},
           {QStringLiteral("File2"), c}, {QStringLiteral("Name2"), c}, {QStringLiteral("File4"), d},
           {QStringLiteral("Name4"), d}});
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteInteger(QStringLiteral("Name1"), 7); // not a text
        reg.CloseKey();
    }
    auto list = programList();
    EXPECT_EQ(files(*list), (QStringList{a, c})); // entry 1 is damaged; File3 is missing, so File4 is never read
    ASSERT_EQ(TF_ErrorLog::Entries().size(), 1u);
    EXPECT_EQ(TF_ErrorLog::Entries()[0]->AType, 0);
    EXPECT_TRUE(TF_ErrorLog::Entries()[0]->AMessage.startsWith(QStringLiteral("Recent file entry 1 is damaged")));
}

TEST_F(RecentFiles, NothingIsReadOrWrittenWithoutAPathAnEntryOrAWritableStore)
{
    const QString a = file(QStringLiteral("a.jex4"));
    store({{QStringLiteral("File0"), a}, {QStringLiteral("Name0"), a}});

    // Until the maximum is set, and without a registry path, nothing loads.
    THistoryList unset;
    unset.setRegPath(QStringLiteral("LUMEK\\JEX4"));
    unset.setRegKey(QStringLiteral("RecentFiles"));
    EXPECT_EQ(unset.entryCount(), 0);
    THistoryList noPath;
    noPath.setRegKey(QStringLiteral("RecentFiles"));
    noPath.setMaxItems(8);
    EXPECT_EQ(noPath.entryCount(), 0);
    EXPECT_EQ(noPath.registryKeyPath(), QStringLiteral("\\Software\\Company\\Program Name\\RecentFiles"));

    // A list left empty (its one stored file has gone) leaves the stored values as they are.
    const QString otherKey = QStringLiteral("\\Software\\LUMEK\\JEX4\\Other");
    const QString missing = dir.path() + QStringLiteral("/missing.jex4");
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(otherKey, true));
        reg.WriteString(QStringLiteral("File0"), missing);
        reg.WriteString(QStringLiteral("Name0"), missing);
        reg.CloseKey();
    }
    THistoryList empty;
    empty.setRegPath(QStringLiteral("LUMEK\\JEX4"));
    empty.setRegKey(QStringLiteral("Other"));
    empty.setMaxItems(8);
    EXPECT_EQ(empty.entryCount(), 0);
    empty.saveToRegistry();
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(otherKey, false));
        EXPECT_EQ(reg.ReadString(QStringLiteral("File0")), missing);
        EXPECT_EQ(reg.ReadString(QStringLiteral("Name0")), missing);
    }

    // After a reset the list writes nothing.
    auto list = programList();
    const QString b = file(QStringLiteral("b.jex4"));
    list->addFilename(b, b);
    ResetSettings();
    list->saveToRegistry();
    EXPECT_FALSE(Registry().KeyExists(kKey));
}

TEST_F(RecentFiles, MenuEntriesShowAmpersandsAndCarryTheRealPath)
{
    const QString plain = file(QStringLiteral("plain.jex4"));
    const QString amp = file(QStringLiteral("Oak & Ash.jex4"));
    const QString gone = file(QStringLiteral("gone.jex4"));
    auto list = programList();
    list->addFilename(plain, plain);
    list->addFilename(gone, gone);
    list->addFilename(amp, amp);
    ASSERT_TRUE(QFile::remove(gone));

    QMenu menu;
    const QList<QAction*> actions = list->fillMenu(&menu);
    ASSERT_EQ(actions.size(), 2); // the file that went is left out
    QString shown = amp;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    EXPECT_EQ(actions[0]->text(), shown);
    EXPECT_EQ(actions[0]->data().toString(), amp);
    EXPECT_EQ(actions[1]->data().toString(), plain);
    EXPECT_EQ(menu.actions(), actions);
    EXPECT_EQ(list->entryCount(), 3); // the list keeps it until it is saved and read again

    QSignalSpy clicked(list.get(), &THistoryList::OnClick);
    actions[0]->trigger();
    ASSERT_EQ(clicked.size(), 1);
    EXPECT_EQ(clicked[0][0].toString(), amp);
    EXPECT_TRUE(list->fillMenu(nullptr).isEmpty());
}

} // namespace
