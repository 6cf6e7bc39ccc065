// The project's writers on a disk that fills while they write: the failure is told, the old file
// stays byte for byte, and the project is not marked saved. The settings store says once that it
// could not be saved.
#include "image/TFastDIB.h"
#include "platform/FakeDialogs.h"
#include "platform/TextFile.h"
#include "project/JEX3Project.h"
#include "project/ProjectXML.h"
#include "platform/Registry.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "workspace/TF_SMDI.h"
#include "support/SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using testhelpers::SmallDisk;

QByteArray readBytes(const QString& fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A window with one embedded picture of noise (JPEG cannot make it small) and a long note.
std::unique_ptr<TF_SMDI> projectWindow(int side)
{
    auto w = std::make_unique<TF_SMDI>();
    w->ClearData(true, true);
    w->Project->Notes = QStringLiteral("{\\rtf1 ") + QString(side * 10, QLatin1Char('n')) + QStringLiteral("}");
    auto so = std::make_unique<TStitchObject>();
    so->filename = QStringLiteral("gone.jpg");
    so->Embedded = true;
    so->Loaded = true;
    so->FD->SetSize(side, side, 24);
    quint32 state = 7;
    for (int y = 0; y < side; ++y) {
        auto* row = static_cast<quint8*>(so->FD->Scanlines[y]);
        for (int x = 0; x < 3 * side; ++x) {
            state = state * 1103515245u + 12345u;
            row[x] = quint8(state >> 24);
        }
    }
    so->Width = side;
    so->Height = side;
    w->StitchList.push_back(std::move(so));
    w->Project->Changed = true;
    return w;
}

class ProjectWritersOnFullDisk : public testing::Test {
protected:
    void SetUp() override
    {
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
        setDialogs(std::make_unique<FakeDialogs>());
    }
    void TearDown() override
    {
        InitSettingVariables();
        TF_ErrorLog::ClearLog();
    }
    FakeDialogs& fake() { return static_cast<FakeDialogs&>(dialogs()); }
};

TEST_F(ProjectWritersOnFullDisk, FailKeepTheOldFileAndMarkNothingSaved)
{
    SmallDisk disk(qint64(8) << 20);
    SKIP_WITHOUT_SMALL_DISK(disk);
    using Writer = std::function<int(TF_SMDI*, const QString&)>;
    const Writer jex4 = [](TF_SMDI* w, const QString& name) { return SaveProjectXML(w, name, false); };
    const Writer jex3 = [](TF_SMDI* w, const QString& name) { return ExportJEX3Project(w, name); };
    const Writer text = [](TF_SMDI* w, const QString& name) {
        return writeTextFile(name, QStringList(w->Project->Notes.size() / 10, QStringLiteral("0123456789")));
    };
    struct Row { const char* what; Writer write; int side; qint64 freeBytes; bool marksSaved; };
    const Row rows[] = {
        {"small project", jex4, 8, 0, true},     {"large project", jex4, 600, 256 * 1024, true},
        {"JEX3 export", jex3, 8, 0, true},       {"small text file", text, 8, 0, false},
        {"large text file", text, 3000, 8192, false},
    };
    const QString name = disk.path("target");
    const QByteArray old(3000, 'o');
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        disk.empty();
        QFile::remove(name);
        {
            QFile f(name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            ASSERT_EQ(f.write(old), old.size());
        }
        auto w = projectWindow(r.side);
        ASSERT_TRUE(disk.fillLeaving(r.freeBytes));
        const qsizetype shownBefore = fake().shownTexts().size();
        EXPECT_EQ(r.write(w.get(), name), -1);
        EXPECT_EQ(readBytes(name), old);
        EXPECT_EQ(disk.entries(), QStringList{"target"});
        if (r.marksSaved) {
            EXPECT_TRUE(w->Project->Changed) << "nothing marked saved";
            ASSERT_EQ(fake().shownTexts().size(), shownBefore + 1) << "the failure is told once";
            EXPECT_TRUE(fake().shownTexts().last().contains(name)) << fake().shownTexts().last().toStdString();
        }

        disk.empty();
        EXPECT_EQ(r.write(w.get(), name), 0);
        EXPECT_NE(readBytes(name), old);
        if (r.marksSaved) {
            EXPECT_FALSE(w->Project->Changed);
        }
    }
}

TEST_F(ProjectWritersOnFullDisk, ASettingsSaveThatFailsSaysSoOnceAndKeepsTheStore)
{
    SmallDisk disk;
    SKIP_WITHOUT_SMALL_DISK(disk);
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(disk.path("config")));
    struct Restore {
        QByteArray config;
        ~Restore()
        {
            qputenv("XDG_CONFIG_HOME", config);
            ForgetSettingsStoreState();
        }
    } restore{savedConfig};
    ASSERT_TRUE(QDir().mkpath(QFileInfo(Registry::storeFileName()).absolutePath()));
    ForgetSettingsStoreState();
    LoadSettings();
    SaveSettings();
    const QByteArray old = readBytes(Registry::storeFileName());
    ASSERT_FALSE(old.isEmpty());

    ASSERT_TRUE(disk.fillLeaving(0));
    SettingProxyServer = QString(64 * 1024, QLatin1Char('p')); // more than the disk has left
    const qsizetype shownBefore = fake().shownTexts().size();
    SaveSettings();
    SaveSettings(); // at every later save the user is not told again
    ASSERT_EQ(fake().shownTexts().size(), shownBefore + 1) << "the failure is told once";
    EXPECT_TRUE(fake().shownTexts().last().contains(QStringLiteral("could not be saved")))
        << fake().shownTexts().last().toStdString();
    EXPECT_EQ(readBytes(Registry::storeFileName()), old);

    disk.empty();
    SaveSettings();
    EXPECT_NE(readBytes(Registry::storeFileName()), old);
    EXPECT_EQ(fake().shownTexts().size(), shownBefore + 1);
}

} // namespace
