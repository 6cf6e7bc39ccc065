// The system-message log: entries before and with a window, selection of the newest node, error
// boxes, saving as Windows-1252 tab-separated text with CR LF, failed saves, and clearing.
#include "shell/TF_ErrorLog.h"

#include "platform/Cp1252.h"
#include "platform/FakeDialogs.h"
#include "project/Helpers.h"
#include "workspace/HelpersWidgets.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <thread>

namespace {

class ErrorLogTest : public testing::Test {
protected:
    void SetUp() override
    {
        TF_ErrorLog::ClearLog();
        ASSERT_TRUE(dir.isValid());
        fake = new FakeDialogs;
        previous = setDialogs(std::unique_ptr<Dialogs>(fake));
    }
    void TearDown() override
    {
        EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
        EXPECT_EQ(fake->unusedAnswers(), 0);
        setDialogs(std::move(previous));
        TF_ErrorLog::ClearLog();
    }

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    static QByteArray readAll(const QString& fileName)
    {
        QFile f(fileName);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }
    static QStringList messages(const QTreeWidget* tree)
    {
        QStringList texts;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            texts << tree->topLevelItem(i)->text(2);
        return texts;
    }

    QTemporaryDir dir;
    FakeDialogs* fake = nullptr;
    std::unique_ptr<Dialogs> previous;
};

TEST_F(ErrorLogTest, EntriesMadeBeforeTheWindowShowWhenItIsCreated)
{
    TF_ErrorLog::AddLog(2, QStringLiteral("JEX4 Version 4.0.0 started."));
    TF_ErrorLog::AddLog(3, QStringLiteral("Temp folder is /scratch/x/"));
    ASSERT_EQ(TF_ErrorLog::Entries().size(), 2u);

    TF_ErrorLog log;
    EXPECT_EQ(messages(log.VST_Log), QStringList({"JEX4 Version 4.0.0 started.", "Temp folder is /scratch/x/"}));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(GetNodeObject<TErrorLogMessage>(log.VST_Log, log.VST_Log->topLevelItem(i)),
                  TF_ErrorLog::Entries()[size_t(i)].get());
}

TEST_F(ErrorLogTest, AddLogAppendsSelectsAndStampsTheNewestEntry)
{
    TF_ErrorLog log;
    F_ErrorLog = &log;
    const QDateTime before = QDateTime::currentDateTime();
    const struct {
        int type;
        const char* message;
        bool icon;
    } rows[] = {{0, "Brush set file not found!", true}, {2, "Temp folder is writable!", true},
                {3, "Hugin CPFind.exe not found/installed!", true}, {7, "odd type", false}};
    for (const auto& r : rows)
        TF_ErrorLog::AddLog(r.type, QString::fromLatin1(r.message));
    const QDateTime after = QDateTime::currentDateTime();
    QCoreApplication::processEvents(); // the newest node is selected once the event loop runs

    QTreeWidget* tree = log.VST_Log;
    ASSERT_EQ(tree->topLevelItemCount(), int(std::size(rows)));
    for (int i = 0; i < int(std::size(rows)); ++i) {
        const QTreeWidgetItem* node = tree->topLevelItem(i);
        const TErrorLogMessage* entry = GetNodeObject<TErrorLogMessage>(tree, node);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->AType, rows[i].type);
        EXPECT_EQ(entry->AMessage, QString::fromLatin1(rows[i].message));
        EXPECT_GE(entry->ADate, before);
        EXPECT_LE(entry->ADate, after);
        EXPECT_TRUE(node->text(0).isEmpty());
        EXPECT_EQ(node->text(1), TF_ErrorLog::DateTimeText(entry->ADate));
        EXPECT_EQ(node->text(2), entry->AMessage);
        EXPECT_EQ(!node->icon(0).isNull(), rows[i].icon) << "type " << rows[i].type;
        EXPECT_TRUE(node->icon(1).isNull());
    }
    const QList<QTreeWidgetItem*> selected = tree->selectedItems();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first(), tree->topLevelItem(tree->topLevelItemCount() - 1));
    EXPECT_EQ(tree->currentItem(), selected.first());
    EXPECT_EQ(F_ErrorLog, &log);
}

TEST_F(ErrorLogTest, ABurstOfMessagesSelectsOnlyTheNewestOnce)
{
    // Selecting a node lays out the whole tree: a burst of messages must not do it per message.
    TF_ErrorLog log;
    log.show();
    TF_ErrorLog::AddLog(2, QStringLiteral("before"));
    QCoreApplication::processEvents();
    QSignalSpy currentChanges(log.VST_Log->selectionModel(), &QItemSelectionModel::currentChanged);
    constexpr int burst = 2000;
    for (int i = 0; i < burst; ++i)
        TF_ErrorLog::AddLog(3, QStringLiteral("message %1").arg(i));
    EXPECT_EQ(log.VST_Log->topLevelItemCount(), burst + 1) << "every message is in the tree at once";
    EXPECT_EQ(currentChanges.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(currentChanges.count(), 1);
    ASSERT_EQ(log.VST_Log->selectedItems().size(), 1);
    EXPECT_EQ(log.VST_Log->selectedItems().first()->text(2), QStringLiteral("message %1").arg(burst - 1));
    EXPECT_EQ(log.VST_Log->currentItem(), log.VST_Log->topLevelItem(burst));

    // Cleared before the event loop ran: nothing is left to select, and nothing breaks.
    TF_ErrorLog::AddLog(3, QStringLiteral("gone at once"));
    TF_ErrorLog::ClearLog();
    QCoreApplication::processEvents();
    EXPECT_EQ(log.VST_Log->topLevelItemCount(), 0);
    EXPECT_TRUE(log.VST_Log->selectedItems().isEmpty());
}

TEST_F(ErrorLogTest, WindowIsAToolWindowCalledLogWithItsPopupMenu)
{
    QWidget mainWindow;
    TF_ErrorLog log(&mainWindow);
    EXPECT_EQ(log.windowTitle(), QStringLiteral("Log"));
    EXPECT_TRUE(log.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(log.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(log.parentWidget(), &mainWindow);
    EXPECT_EQ(log.size(), QSize(540, 100));
    EXPECT_EQ(log.VST_Log->headerItem()->text(1), QStringLiteral("Date/Time"));
    EXPECT_EQ(log.VST_Log->headerItem()->text(2), QStringLiteral("Message"));
    ASSERT_EQ(log.PM_LOg->actions().size(), 2);
    EXPECT_EQ(log.PM_LOg->actions()[0], log.PM_save);
    EXPECT_EQ(log.PM_save->text(), QStringLiteral("&Save log"));
    EXPECT_EQ(log.PM_Clear->text(), QStringLiteral("&Clear"));
}

TEST_F(ErrorLogTest, DestroyedWindowStopsBeingTheLogWindow)
{
    auto* log = new TF_ErrorLog;
    F_ErrorLog = log;
    delete log;
    EXPECT_EQ(F_ErrorLog, nullptr);
    TF_ErrorLog::AddLog(2, QStringLiteral("still recorded"));
    EXPECT_EQ(TF_ErrorLog::Entries().size(), 1u);
}

TEST_F(ErrorLogTest, ErrorLogsAFailureAndShowsABoxOnlyWhenAsked)
{
    TF_ErrorLog::Error(QStringLiteral("File too large! Error loading image a.jpg!"), false);
    EXPECT_EQ(fake->callCount(), 0);

    fake->answerMessage(mrOk);
    TF_ErrorLog::Error(QStringLiteral("Shown as well"), true);
    ASSERT_EQ(fake->shown().size(), 1);
    EXPECT_EQ(fake->shown()[0].text, QStringLiteral("Shown as well"));
    EXPECT_EQ(fake->shown()[0].type, mtError);
    EXPECT_EQ(fake->shown()[0].buttons, TMsgDlgButtons{mbOK});

    ASSERT_EQ(TF_ErrorLog::Entries().size(), 2u);
    EXPECT_EQ(TF_ErrorLog::Entries()[0]->AType, 0);
    EXPECT_EQ(TF_ErrorLog::Entries()[1]->AType, 0);
    EXPECT_EQ(TF_ErrorLog::Entries()[1]->AMessage, QStringLiteral("Shown as well"));
}

TEST_F(ErrorLogTest, AddLogFromAnotherThreadArrivesOnTheGuiThread)
{
    TF_ErrorLog log;
    std::thread worker([] { TF_ErrorLog::AddLog(3, QStringLiteral("from a worker")); });
    worker.join();
    EXPECT_TRUE(TF_ErrorLog::Entries().empty()) << "the list is only touched on the GUI thread";
    QTRY_COMPARE_WITH_TIMEOUT(int(TF_ErrorLog::Entries().size()), 1, 30000);
    EXPECT_EQ(messages(log.VST_Log), QStringList({"from a worker"}));
}

TEST_F(ErrorLogTest, DateTimeTextHasDateAndSecondsButNoTimeZone)
{
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 3, 9));
    const QString text = TF_ErrorLog::DateTimeText(when);
    EXPECT_TRUE(text.startsWith(QLocale::system().toString(when.date(), QLocale::ShortFormat))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("03"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("09")) || text.contains(QStringLiteral("09 "))) << text.toStdString();
    EXPECT_FALSE(text.contains(when.timeZoneAbbreviation())) << text.toStdString();
}

TEST_F(ErrorLogTest, SavedLogIsTabSeparatedWindows1252WithCrLf)
{
    TF_ErrorLog::AddLog(2, QString::fromUtf8("Gr\xC3\xBC\xC3\x9F" "e from the \xE2\x82\xAC zone"));
    TF_ErrorLog::AddLog(0, QStringLiteral("first line\nsecond line\r\nthird line"));
    TF_ErrorLog::AddLog(3, QStringLiteral("note"));
    const auto& e = TF_ErrorLog::Entries();

    ASSERT_EQ(TF_ErrorLog::SaveLog(path("log.txt")), 0);
    const QByteArray bytes = readAll(path("log.txt"));

    const QByteArray expected = "2\t" + Cp1252::fromUnicode(TF_ErrorLog::DateTimeText(e[0]->ADate))
        + "\tGr\xFC\xDF" "e from the \x80 zone\r\n"
        + "0\t" + Cp1252::fromUnicode(TF_ErrorLog::DateTimeText(e[1]->ADate)) + "\tfirst line\r\nsecond line\r\nthird line\r\n"
        + "3\t" + Cp1252::fromUnicode(TF_ErrorLog::DateTimeText(e[2]->ADate)) + "\tnote\r\n";
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(e[1]->AMessage, QStringLiteral("first line\nsecond line\r\nthird line")) << "stored unchanged";
}

TEST_F(ErrorLogTest, EmptyLogSavesAnEmptyFile)
{
    ASSERT_EQ(TF_ErrorLog::SaveLog(path("empty.txt")), 0);
    EXPECT_TRUE(QFileInfo::exists(path("empty.txt")));
    EXPECT_EQ(readAll(path("empty.txt")), QByteArray());
}

TEST_F(ErrorLogTest, FailedSaveKeepsWhatWasThereAndLogsAFailure)
{
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    QFile plain(path("plainfile"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("old content");
    plain.close();
    const struct {
        const char* why;
        QString fileName;
    } rows[] = {
        {"missing folder", path("missing/log.txt")},
        {"a folder in place of the file", path("folder")},
        {"a file in place of the folder", path("plainfile/log.txt")},
    };
    for (const auto& r : rows) {
        TF_ErrorLog::ClearLog();
        TF_ErrorLog::AddLog(2, QStringLiteral("something"));
        EXPECT_EQ(TF_ErrorLog::SaveLog(r.fileName), -1) << r.why;
        ASSERT_EQ(TF_ErrorLog::Entries().size(), 2u) << r.why;
        EXPECT_EQ(TF_ErrorLog::Entries()[1]->AType, 0) << r.why;
        EXPECT_TRUE(TF_ErrorLog::Entries()[1]->AMessage.startsWith(QStringLiteral("Cannot create file \"") + r.fileName + "\""))
            << TF_ErrorLog::Entries()[1]->AMessage.toStdString();
    }
    EXPECT_TRUE(QFileInfo(path("folder")).isDir());
    EXPECT_EQ(readAll(path("plainfile")), QByteArray("old content"));
    EXPECT_FALSE(QFileInfo::exists(path("missing")));
    EXPECT_EQ(fake->callCount(), 0) << "the failure goes to the log, not into a box";
}

TEST_F(ErrorLogTest, SaveCommandAsksForATextFile)
{
    TF_ErrorLog log;
    TF_ErrorLog::AddLog(2, QStringLiteral("saved by the menu"));

    fake->cancelFile();
    log.PM_save->trigger();
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    fake->answerFile(path("chosen.txt"));
    log.PM_save->trigger();
    EXPECT_TRUE(readAll(path("chosen.txt")).endsWith("\tsaved by the menu\r\n"));

    ASSERT_EQ(fake->shown().size(), 2);
    const FileDialogRequest& sd = fake->shown()[1].request;
    EXPECT_EQ(sd.filter, QStringLiteral("Text files|*.txt"));
    EXPECT_EQ(sd.defaultExt, QStringLiteral("txt"));
    EXPECT_TRUE(sd.overwritePrompt);
}

TEST_F(ErrorLogTest, ClearAsksFirstAndTheNextEntryIsTheOnlyOne)
{
    TF_ErrorLog log;
    TF_ErrorLog::AddLog(2, QStringLiteral("one"));
    TF_ErrorLog::AddLog(2, QStringLiteral("two"));

    fake->answerMessage(mrNo);
    log.PM_Clear->trigger();
    EXPECT_EQ(TF_ErrorLog::Entries().size(), 2u);
    EXPECT_EQ(log.VST_Log->topLevelItemCount(), 2);

    fake->answerMessage(mrYes);
    log.PM_Clear->trigger();
    EXPECT_TRUE(TF_ErrorLog::Entries().empty());
    EXPECT_EQ(log.VST_Log->topLevelItemCount(), 0);

    ASSERT_EQ(fake->shown().size(), 2);
    EXPECT_EQ(fake->shown()[0].text, QStringLiteral("Clear system log?"));
    EXPECT_EQ(fake->shown()[0].type, mtConfirmation);
    EXPECT_EQ(fake->shown()[0].buttons, mbYesNo);

    TF_ErrorLog::AddLog(3, QStringLiteral("after clearing"));
    EXPECT_EQ(messages(log.VST_Log), QStringList({"after clearing"}));
    QCoreApplication::processEvents();
    ASSERT_EQ(log.VST_Log->selectedItems().size(), 1);
    EXPECT_EQ(log.VST_Log->selectedItems().first(), log.VST_Log->topLevelItem(0));
}

TEST_F(ErrorLogTest, EveryOpenWindowFollowsTheLog)
{
    TF_ErrorLog first;
    TF_ErrorLog::AddLog(2, QStringLiteral("a"));
    TF_ErrorLog second;
    TF_ErrorLog::AddLog(2, QStringLiteral("b"));
    EXPECT_EQ(messages(first.VST_Log), QStringList({"a", "b"}));
    EXPECT_EQ(messages(second.VST_Log), QStringList({"a", "b"}));
    TF_ErrorLog::ClearLog();
    EXPECT_EQ(first.VST_Log->topLevelItemCount(), 0);
    EXPECT_EQ(second.VST_Log->topLevelItemCount(), 0);
}

} // namespace
