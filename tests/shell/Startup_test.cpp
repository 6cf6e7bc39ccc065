// Start-up and shut-down: the order of the windows and the splash, its fade and About mode, the
// whole program run more than once in one set of folders (settings, brush sets and recent files
// kept), the settings reset, a damaged settings store, a failed start-up, and a shut-down that a
// close question cancels. Also the recent-file and brush-set entries the first showing builds.
#include "shell/Startup.h"

#include "platform/FakeDialogs.h"
#include "platform/Registry.h"
#include "project/BrushSets.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "project/TBrushSet.h"
#include "project/TJEXProject.h"
#include "shell/RecentFiles.h"
#include "shell/TF_CloseManager.h"
#include "workspace/TF_ImageInfo.h"
#include "workspace/TF_PathInfo.h"
#include "workspace/TF_Preview.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress.h"
#include "shell/TF_AdjustDPI.h"
#include "shell/TF_CheckForUpdates.h"
#include "shell/TF_FileManager.h"
#include "shell/TF_Setup.h"
#include "shell/TF_Progress2.h"
#include "shell/TF_Splash.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Zoom.h"
#include "workspace/TF_EditDrawObject.h"
#include "workspace/TF_Monitor.h"
#include "project/TStitchObject.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Export.h"
#include "support/ModalDialogs.h"
#include "workspace/TF_SMDI.h"
#include "workspace/TF_SelectOrientation.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

namespace {

const QString kRoot = QStringLiteral("\\SOFTWARE\\LUMEK\\JEX4");

// Answers every close-project dialog that shows while it lives with "Close project".
class CloseEveryProject {
public:
    CloseEveryProject()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [] {
            if (auto* d = qobject_cast<TF_CloseManager*>(QApplication::activeModalWidget()))
                d->B_Ok->click();
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};
const QString kAssociationQuestion = QStringLiteral(
    "Files with the extension .jex4 are currently not associated with this version of JEX\r\nDo you want to change "
    "the file association now?");
const QString kResetQuestion =
    QStringLiteral("This will reset all program settings to default values and close the program.\r\nContinue?");

class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        ASSERT_TRUE(dir.isValid());
        TF_ErrorLog::ClearLog();
        InitSettingVariables();
        ForgetSettingsStoreState();
    }
    void TearDown() override
    {
        DestroyStartupWindows();
        InitSettingVariables();
        ForgetSettingsStoreState();
    }

    // Runs the whole program; `during` runs inside the event loop after the start-up and must end
    // it (closing the main window or halting). A watchdog ends a run that hangs with status 99.
    int run(const std::function<void()>& during, const QStringList& arguments = {})
    {
        fake->answerMessage(mrNo); // the file association question of every start
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { Halt(99); });
        watchdog.start(60000);
        return RunProgram(arguments, StartupWindows(), [&] {
            ranInLoop = true;
            during();
        });
    }

    // The start-up steps without the loop.
    void startWithoutLoop(const QStringList& arguments = {})
    {
        fake->answerMessage(mrNo);
        CreateStartupWindows(arguments);
        ShowMainWindow();
    }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    QString writeImage(const QString& name) const
    {
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::darkYellow);
        const QString file = path(name);
        EXPECT_TRUE(image.save(file, "PNG")) << file.toStdString();
        return file;
    }

    static QByteArray readAll(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static QStringList logTexts(int type)
    {
        QStringList texts;
        for (const auto& e : TF_ErrorLog::Entries())
            if (e->AType == type)
                texts << e->AMessage;
        return texts;
    }

    // The recent-file entries of the File menu, as the real paths they open.
    static QStringList recentMenuFiles()
    {
        QStringList files;
        for (QAction* a : F_Main->M_File->actions())
            if (a->objectName() == QLatin1String("dynamic"))
                files << a->data().toString();
        return files;
    }

    static int storedInteger(const QString& name, int absent = -12345)
    {
        Registry reg;
        if (!reg.OpenKey(kRoot, false) || !reg.ValueExists(name))
            return absent;
        try {
            return reg.ReadInteger(name);
        } catch (const ERegistryException&) {
            return absent - 1;
        }
    }

    // What the store gives for an absent integer setting.
    static int absentValue(const QString& name)
    {
        for (const SettingVariable& v : SettingVariables())
            if (v.Name == name && v.Absent)
                return std::get<int>(*v.Absent);
        ADD_FAILURE() << "no stored setting " << name.toStdString();
        return 0;
    }

    FakeDialogs* fake = nullptr;
    QTemporaryDir dir;
    bool ranInLoop = false;
};

// ---- order of the start-up ----

TEST_F(Startup, WindowsAreMadeInTheirOrderWithTheSplashSteppedAfterEach)
{
    QStringList names;
    for (const StartupWindow& w : StartupWindows())
        names << w.Name;
    EXPECT_EQ(names, (QStringList{QStringLiteral("F_ErrorLog"), QStringLiteral("F_PathInfo"),
                                  QStringLiteral("F_ImageInfo"), QStringLiteral("F_CheckForUpdates"),
                                  QStringLiteral("F_Tracker"), QStringLiteral("F_Histogram"),
                                  QStringLiteral("F_CloseManager"),
                                  QStringLiteral("F_SelectOrientation"), QStringLiteral("F_Preview"),
                                  QStringLiteral("F_Export"), QStringLiteral("F_Notes"),
                                  QStringLiteral("F_Measurements"), QStringLiteral("F_Monitor"), QStringLiteral("F_Setup"),
                                  QStringLiteral("F_BirdView"), QStringLiteral("F_AdjustDPI"), QStringLiteral("F_Zoom"),
                                  QStringLiteral("F_EditDrawObject"), QStringLiteral("F_Progress"), QStringLiteral("F_FileManager")}));

    // Each creation sees the splash, the main window and the windows made before it.
    QList<StartupWindow> recorded;
    QList<int> barAtCreation;
    QStringList seenBefore;
    for (const StartupWindow& w : StartupWindows()) {
        recorded << StartupWindow{w.Name, [&, w] {
                                      EXPECT_TRUE(F_Splash && F_Main) << w.Name.toStdString();
                                      barAtCreation << F_Splash->PB->value();
                                      QString seen = w.Name + QLatin1Char(':');
                                      seen += QLatin1Char(F_ErrorLog ? 'L' : '-');
                                      seen += QLatin1Char(F_Measurements ? 'M' : '-');
                                      seen += QLatin1Char(F_Progress ? 'P' : '-');
                                      seenBefore << seen;
                                      w.Create();
                                  }};
    }
    fake->answerMessage(mrNo);
    CreateStartupWindows({}, recorded);
    QList<int> steps; // ten per window made before
    for (int i = 0; i < int(recorded.size()); ++i)
        steps << 10 * i;
    EXPECT_EQ(barAtCreation, steps);
    EXPECT_EQ(seenBefore, (QStringList{QStringLiteral("F_ErrorLog:---"), QStringLiteral("F_PathInfo:L--"),
                                       QStringLiteral("F_ImageInfo:L--"), QStringLiteral("F_CheckForUpdates:L--"),
                                       QStringLiteral("F_Tracker:L--"), QStringLiteral("F_Histogram:L--"),
                                       QStringLiteral("F_CloseManager:L--"),
                                       QStringLiteral("F_SelectOrientation:L--"), QStringLiteral("F_Preview:L--"),
                                       QStringLiteral("F_Export:L--"), QStringLiteral("F_Notes:L--"),
                                       QStringLiteral("F_Measurements:L--"),
                                       QStringLiteral("F_Monitor:LM-"), QStringLiteral("F_Setup:LM-"), QStringLiteral("F_BirdView:LM-"),
                                       QStringLiteral("F_AdjustDPI:LM-"), QStringLiteral("F_Zoom:LM-"),
                                       QStringLiteral("F_EditDrawObject:LM-"), QStringLiteral("F_Progress:LM-"),
                                       QStringLiteral("F_FileManager:LMP")}));
    EXPECT_EQ(F_Splash->PB->value(), 10 * int(recorded.size()));
    EXPECT_TRUE(F_Splash->isVisible()); // no file to open: the splash shows during the start-up
    EXPECT_FALSE(F_Main->isVisible());
    for (QWidget* w : std::initializer_list<QWidget*>{F_ErrorLog, F_PathInfo, F_ImageInfo, F_CheckForUpdates, F_CloseManager,
                                                      F_SelectOrientation, F_Preview, F_Export,
                                                      F_Measurements, F_Monitor, F_Setup, F_BirdView, F_AdjustDPI, F_Zoom,
                                                      F_EditDrawObject, F_Progress, F_FileManager}) {
        ASSERT_NE(w, nullptr);
        EXPECT_FALSE(w->isVisible());
    }

    ShowMainWindow();
    EXPECT_TRUE(F_Main->isVisible());
    EXPECT_GT(F_Splash->PB->value(), 140); // the first showing steps the bar on
    EXPECT_TRUE(F_Splash->Timer1->isActive()); // and starts the fade
    EXPECT_TRUE(SettingsLoaded());
    EXPECT_TRUE(F_Main->IsDocked(F_Measurements));

    DestroyStartupWindows();
    EXPECT_EQ(F_Main, nullptr);
    EXPECT_TRUE(F_Splash.isNull());
    EXPECT_EQ(F_ErrorLog, nullptr);
    EXPECT_EQ(F_Measurements, nullptr);
    EXPECT_TRUE(F_Progress.isNull());
    EXPECT_TRUE(F_CloseManager.isNull());
    EXPECT_TRUE(F_PathInfo.isNull());
    EXPECT_TRUE(F_ImageInfo.isNull());
    EXPECT_EQ(F_Export, nullptr);
    EXPECT_TRUE(F_SelectOrientation.isNull());
    EXPECT_TRUE(F_Preview.isNull());
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

// Every window of the program that stays on top (the splash, the log, the progress and busy
// boxes, the file preview) steps down while a question is up and back up when it has gone.
TEST_F(Startup, EveryWindowThatStaysOnTopGivesWayToAQuestion)
{
    startWithoutLoop();
    new TF_Progress2(F_Main); // made per use
    QList<QWidget*> onTopWindows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
            w->show();
            onTopWindows << w;
        }
    QStringList classes;
    for (QWidget* w : onTopWindows)
        classes << QString::fromLatin1(w->metaObject()->className());
    for (const char* expected : {"TF_Splash", "TF_ErrorLog", "TF_Progress", "TF_Progress2", "TF_Preview", "TF_EditDrawObject", "TF_Monitor"})
        EXPECT_TRUE(classes.contains(QString::fromLatin1(expected))) << expected;
    QCoreApplication::processEvents();
    auto onTop = [](QWidget* w) { return w->windowHandle() && w->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); };

    QStringList stillOnTop;
    bool shown = false;
    testhelpers::whenShown<QDialog>([&](QDialog* d) {
        shown = true;
        for (QWidget* w : onTopWindows)
            if (onTop(w))
                stillOnTop << QString::fromLatin1(w->metaObject()->className());
        d->reject();
    });
    QDialog question(F_Main);
    question.exec();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(stillOnTop.isEmpty()) << stillOnTop.join(QLatin1Char(' ')).toStdString();
    for (QWidget* w : onTopWindows)
        EXPECT_TRUE(onTop(w)) << w->metaObject()->className();
}

TEST_F(Startup, WithAFileToOpenTheSplashIsSteppedAndFadedButNeverShown)
{
    const QString image = writeImage(QStringLiteral("first.png"));
    startWithoutLoop({image});
    ASSERT_TRUE(F_Splash);
    EXPECT_FALSE(F_Splash->isVisible());
    EXPECT_GT(F_Splash->PB->value(), 50);
    EXPECT_TRUE(F_Splash->Timer1->isActive());
    for (int i = 0; i < 30; ++i)
        F_Splash->Timer1Timer(); // closing a hidden window changes nothing
    EXPECT_FALSE(F_Splash->isVisible());
    EXPECT_FALSE(F_Splash->Timer1->isActive());
}

// ---- splash and About box ----

TEST_F(Startup, SplashFadesOutOnTheTwentyFifthStep)
{
    TF_Splash splash;
    splash.show();
    EXPECT_EQ(splash.AlphaBlendValue(), 255);
    EXPECT_TRUE(splash.PB->isVisible());
    EXPECT_FALSE(splash.B_Ok->isVisible());
    EXPECT_EQ(splash.L_Version->text(),
              QStringLiteral("Version %1.%2.%3").arg(VersionMajor).arg(VersionMinor).arg(VersionBuild));
    EXPECT_EQ(splash.size(), QSize(460, 305));
    EXPECT_EQ(splash.Timer1->interval(), 20);
    EXPECT_FALSE(splash.Timer1->isActive());

    splash.Timer1->start();
    for (int tick = 1; tick <= 24; ++tick)
        splash.Timer1Timer();
    EXPECT_EQ(splash.AlphaBlendValue(), 15);
    EXPECT_TRUE(splash.isVisible());
    splash.Timer1Timer();
    EXPECT_EQ(splash.AlphaBlendValue(), 5);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.Timer1->isActive());
}

TEST_F(Startup, AboutBoxShowsItsButtonAndOkFadesItOut)
{
    TF_Splash splash;
    splash.show();
    splash.Timer1->start();
    for (int i = 0; i < 10; ++i)
        splash.Timer1Timer();
    splash.hide();

    splash.Tag = 1;
    bool sawButton = false;
    bool sawBar = true;
    int alphaAtShow = 0;
    QTimer::singleShot(0, &splash, [&] {
        sawButton = splash.B_Ok->isVisible();
        sawBar = splash.PB->isVisible();
        alphaAtShow = splash.AlphaBlendValue();
        EXPECT_EQ(splash.B_Ok->text(), QStringLiteral("&Ok"));
        splash.B_Ok->click();
    });
    QTimer::singleShot(60000, &splash, [&] { splash.reject(); }); // a fuse: only if the fade never ends
    EXPECT_EQ(splash.exec(), QDialog::Accepted);
    EXPECT_TRUE(sawButton);
    EXPECT_FALSE(sawBar);
    EXPECT_EQ(alphaAtShow, 255); // opaque again after the earlier fade
    EXPECT_LT(splash.AlphaBlendValue(), 10);
}

// ---- the program run and run again ----

TEST_F(Startup, SettingsBrushSetsAndRecentFilesSurviveARestart)
{
    const QString image = writeImage(QStringLiteral("core.png"));
    int colorBefore = 0;
    EXPECT_EQ(run([&] {
                  colorBefore = SettingMColor;
                  SettingMColor = 0x00123456;
                  SettingSSize = 4;
                  SettingFontName = QStringLiteral("Serif & Co");
                  auto set = std::make_unique<TBrushSet>();
                  set->BName = QStringLiteral("Late wood");
                  set->MSize = 11;
                  BrushSetList.push_back(std::move(set));
                  CurrentBrushSet = BrushSetList.back().get();
                  F_Main->AddRecentFile(image);
                  F_Main->close();
              }),
              0);
    EXPECT_TRUE(ranInLoop);
    EXPECT_NE(colorBefore, 0x00123456);
    EXPECT_EQ(F_Main, nullptr);
    EXPECT_EQ(storedInteger(QStringLiteral("MColor")), 0x00123456);

    // A fresh start: the variables begin at their start values and read the stored ones.
    SettingMColor = 0;
    int color = 0;
    int selection = 0;
    QString font;
    QStringList brushSets;
    bool currentChecked = false;
    QStringList recent;
    EXPECT_EQ(run([&] {
                  color = SettingMColor;
                  selection = SettingSSize;
                  font = SettingFontName;
                  for (const auto& s : BrushSetList)
                      brushSets << s->BName + QLatin1Char('/') + QString::number(s->MSize);
                  const QList<QAction*> entries = F_Main->M_BrushSets->actions();
                  currentChecked = entries.size() == 2 && entries[1]->isChecked();
                  recent = recentMenuFiles();
                  F_Main->close();
              }),
              0);
    EXPECT_EQ(color, 0x00123456);
    EXPECT_EQ(selection, 4);
    EXPECT_EQ(font, QStringLiteral("Serif & Co"));
    EXPECT_EQ(brushSets, QStringList{QStringLiteral("Late wood/11")});
    EXPECT_TRUE(currentChecked);
    EXPECT_EQ(recent, QStringList{image});
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(Startup, ResetRemovesEveryStoredValueAndTheExitWritesNothing)
{
    const QString image = writeImage(QStringLiteral("core.png"));
    ASSERT_EQ(run([&] {
                  SettingMColor = 0x00ABCDEF;
                  BrushSetList.push_back(std::make_unique<TBrushSet>());
                  F_Main->AddRecentFile(image);
                  F_Main->close();
              }),
              0);
    ASSERT_EQ(storedInteger(QStringLiteral("MColor")), 0x00ABCDEF);
    ASSERT_TRUE(Registry().KeyExists(kRoot + QStringLiteral("\\RecentFiles")));
    const QString brushSetFile = GetDataFolder() + QStringLiteral("/BrushSets");
    const QByteArray brushSetsBefore = readAll(brushSetFile);
    ASSERT_FALSE(brushSetsBefore.isEmpty());

    bool stillRunningAfterNo = false;
    EXPECT_EQ(run([&] {
                  SettingMColor = 0x00000001; // would be written by a normal exit
                  BrushSetList.clear();
                  fake->answerMessage(mrNo);
                  F_Main->A_ResetAllSettings->trigger();
                  stillRunningAfterNo = F_Main->isVisible() && !Halted() && !SettingsResetPending();
                  fake->answerMessage(mrYes);
                  F_Main->A_ResetAllSettings->trigger();
              }),
              0);
    EXPECT_TRUE(stillRunningAfterNo);
    EXPECT_TRUE(Halted());
    EXPECT_EQ(fake->shownTexts().count(kResetQuestion), 2);
    EXPECT_FALSE(QFile::exists(Registry::storeFileName()));
    EXPECT_FALSE(Registry().KeyExists(kRoot));
    EXPECT_EQ(readAll(brushSetFile), brushSetsBefore); // the brush-set file is no setting of the store

    // The next start has every default and no recent files.
    int color = 0;
    QStringList recent = {QStringLiteral("unset")};
    EXPECT_EQ(run([&] {
                  color = SettingMColor;
                  recent = recentMenuFiles();
                  F_Main->close();
              }),
              0);
    EXPECT_EQ(color, absentValue(QStringLiteral("MColor")));
    EXPECT_TRUE(recent.isEmpty());
}

TEST_F(Startup, ResetOffersUnsavedWorkFirstAndACancelKeepsEverything)
{
    int dialogs = 0;
    bool runningAfterCancel = false;
    int windowsAfterCancel = 0;
    bool storeKeptAfterCancel = false;
    ASSERT_EQ(run([&] {
                  SettingMColor = 0x00ABCDEF;
                  F_Main->close();
              }),
              0);
    EXPECT_EQ(run([&] {
                  F_Main->A_NewProject->trigger(); // a changed, unsaved project
                  F_Main->A_NewProject->trigger();
                  F_Main->MDIChildren()[0]->Project->Changed = false; // nothing to lose here
                  fake->answerMessage(mrYes);
                  testhelpers::whenShown<TF_CloseManager>([&](TF_CloseManager* d) {
                      ++dialogs;
                      d->B_Cancel->click();
                  });
                  F_Main->A_ResetAllSettings->trigger();
                  runningAfterCancel = F_Main->isVisible() && !Halted() && !SettingsResetPending();
                  windowsAfterCancel = int(F_Main->MDIChildren().size());
                  storeKeptAfterCancel = Registry().KeyExists(kRoot);

                  fake->answerMessage(mrYes);
                  testhelpers::whenShown<TF_CloseManager>([&](TF_CloseManager* d) {
                      ++dialogs;
                      d->B_Ok->click();
                  });
                  F_Main->A_ResetAllSettings->trigger();
              }),
              0);
    EXPECT_TRUE(runningAfterCancel);
    EXPECT_EQ(windowsAfterCancel, 2);
    EXPECT_TRUE(storeKeptAfterCancel);
    EXPECT_EQ(dialogs, 2); // the changed project only, once per attempt
    EXPECT_TRUE(Halted());
    EXPECT_FALSE(Registry().KeyExists(kRoot));
    EXPECT_EQ(fake->unusedAnswers(), 0);
}

TEST_F(Startup, ResetWithoutALoopStillWritesNothingWhenTheWindowCloses)
{
    startWithoutLoop();
    SettingMColor = 0x00ABCDEF;
    fake->answerMessage(mrYes);
    F_Main->A_ResetAllSettings->trigger();
    EXPECT_TRUE(Halted());
    F_Main->close(); // the loop that would have ended is not running here
    EXPECT_FALSE(QFile::exists(Registry::storeFileName()));
    EXPECT_FALSE(QFile::exists(GetDataFolder() + QStringLiteral("/BrushSets")));
}

TEST_F(Startup, ADamagedValueKeepsTheOthersAndAnUnreadableStoreIsNotWrittenOver)
{
    ASSERT_EQ(run([&] {
                  SettingMColor = 0x00112233;
                  SettingSSize = 3;
                  SettingMSize = 9;
                  F_Main->close();
              }),
              0);

    // One value of the wrong kind: it gets its default, the others load and the exit saves.
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteString(QStringLiteral("MSize"), QStringLiteral("big"));
    }
    int color = 0;
    int size = 0;
    int mark = 0;
    EXPECT_EQ(run([&] {
                  color = SettingMColor;
                  size = SettingSSize;
                  mark = SettingMSize;
                  SettingSSize = 5; // a change of this run
                  F_Main->close();
              }),
              0);
    const int defaultMSize = absentValue(QStringLiteral("MSize"));
    ASSERT_NE(defaultMSize, 9);
    EXPECT_EQ(color, 0x00112233);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(mark, defaultMSize);
    EXPECT_EQ(logTexts(0).filter(QStringLiteral("Setting \"MSize\" is damaged")).size(), 1);
    EXPECT_EQ(storedInteger(QStringLiteral("MColor")), 0x00112233);
    EXPECT_EQ(storedInteger(QStringLiteral("SSize")), 5);
    EXPECT_EQ(storedInteger(QStringLiteral("MSize")), defaultMSize); // sound again

    // A store file the format cannot read as a whole: what it still gives is used, and the exit
    // leaves the file exactly as it was.
    {
        QFile f(Registry::storeFileName());
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("\n\x01\x02 not a line of this format\n[unfinished\n");
    }
    const QByteArray damaged = readAll(Registry::storeFileName());
    TF_ErrorLog::ClearLog();
    color = 0;
    EXPECT_EQ(run([&] {
                  color = SettingMColor;
                  size = SettingSSize;
                  SettingMColor = 0x00FFFFFF;
                  F_Main->AddRecentFile(writeImage(QStringLiteral("new.png")));
                  F_Main->close();
              }),
              0);
    EXPECT_EQ(color, 0x00112233);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(readAll(Registry::storeFileName()), damaged);
    EXPECT_EQ(logTexts(0).filter(QStringLiteral("is damaged; the values it still gives are used")).size(), 1);
    EXPECT_EQ(logTexts(0).filter(QStringLiteral("Settings not saved")).size(), 1);
}

TEST_F(Startup, AFailedStartUpIsPrintedAndEndsWithAFailureStatus)
{
    QList<StartupWindow> windows = StartupWindows();
    windows.insert(1, StartupWindow{QStringLiteral("F_Broken"), [] { throw std::runtime_error("no room for the window"); }});
    testing::internal::CaptureStderr();
    const int status = RunProgram({}, windows, [&] { ranInLoop = true; });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(status, 0);
    EXPECT_NE(err.find("start-up failed: no room for the window"), std::string::npos) << err;
    EXPECT_FALSE(ranInLoop);
    EXPECT_EQ(F_Main, nullptr);
    EXPECT_EQ(F_ErrorLog, nullptr);
    EXPECT_TRUE(F_Splash.isNull());
    EXPECT_FALSE(QFile::exists(Registry::storeFileName())); // nothing was loaded, nothing written
}

TEST_F(Startup, AShutDownCancelledByACloseQuestionKeepsTheProgramRunning)
{
    bool closed = true;
    bool visible = false;
    bool closing = true;
    bool storeWritten = true;
    int windows = 0;
    EXPECT_EQ(run([&] {
                  SettingMColor = 0x00445566;
                  F_Main->A_NewProject->trigger(); // a changed, unsaved project
                  testhelpers::whenShown<TF_CloseManager>([](TF_CloseManager* d) { d->B_Cancel->click(); });
                  closed = F_Main->close();
                  visible = F_Main->isVisible();
                  closing = F_Main->Closing;
                  storeWritten = storedInteger(QStringLiteral("MColor")) == 0x00445566;
                  windows = int(F_Main->MDIChildren().size());
                  // The loop goes on: the second attempt, answered "Close project", ends the program.
                  QTimer::singleShot(0, [] {
                      testhelpers::whenShown<TF_CloseManager>([](TF_CloseManager* d) { d->B_Ok->click(); });
                      F_Main->close();
                  });
              }),
              0);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(visible);
    EXPECT_FALSE(closing);
    EXPECT_FALSE(storeWritten);
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(storedInteger(QStringLiteral("MColor")), 0x00445566);
    EXPECT_FALSE(Halted());
    EXPECT_EQ(fake->unusedAnswers(), 0);
}

// ---- what the first showing builds ----

TEST_F(Startup, RecentFilesFillTheFileMenuAndOpenTheirRealPaths)
{
    QStringList stored;
    for (int i = 0; i < 9; ++i)
        stored << writeImage(QStringLiteral("scan%1.png").arg(i));
    const QString amp = writeImage(QStringLiteral("Oak & Ash.png"));
    const QString gone = path(QStringLiteral("gone.png"));
    stored.insert(1, gone);
    stored.prepend(amp);
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot + QStringLiteral("\\RecentFiles"), true));
        for (int i = 0; i < stored.size(); ++i) {
            reg.WriteString(QStringLiteral("File%1").arg(i), stored[i]);
            reg.WriteString(QStringLiteral("Name%1").arg(i), stored[i]);
        }
    }
    startWithoutLoop();
    QStringList expected = stored;
    expected.removeAll(gone);
    expected = expected.mid(0, 8);
    ASSERT_EQ(recentMenuFiles(), expected);

    // After "Exit program": a separator, then the entries.
    const QList<QAction*> items = F_Main->M_File->actions();
    const qsizetype exit = items.indexOf(F_Main->A_Exit);
    ASSERT_GE(exit, 0);
    ASSERT_EQ(items.size(), exit + 2 + 8);
    EXPECT_TRUE(items[exit + 1]->isSeparator());
    QAction* first = items[exit + 2];
    EXPECT_EQ(first->text(), QString(amp).replace(QLatin1Char('&'), QStringLiteral("&&")));

    first->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(F_Main->MDIChildren().size(), 1);
    ASSERT_EQ(F_Main->MDIChildren()[0]->StitchList.size(), 1u);
    EXPECT_EQ(F_Main->MDIChildren()[0]->StitchList[0]->filename, amp);

    // Saving a project puts it at the top of the menu at once; loading one too. The entry chosen
    // moved to the top as well.
    const QString saved = path(QStringLiteral("saved.jex4"));
    F_Main->A_NewProject->trigger();
    QCoreApplication::processEvents();
    fake->answerFile(saved, 1);
    F_Main->A_SaveProject->trigger();
    ASSERT_TRUE(QFile::exists(saved));
    EXPECT_EQ(F_Main->HL->entryFile(0), saved);
    EXPECT_EQ(recentMenuFiles().value(0), saved);
    const QString copy = path(QStringLiteral("copy.jex4"));
    ASSERT_TRUE(QFile::copy(saved, copy));
    ASSERT_NE(F_Main->ProcessLoadProject(copy), nullptr);
    EXPECT_EQ(F_Main->HL->entryFile(0), copy);
    EXPECT_EQ(F_Main->HL->entryFile(1), saved);
    QStringList now = QStringList{copy, saved} + expected;
    now.removeDuplicates();
    EXPECT_EQ(recentMenuFiles(), now.mid(0, 8));
    // One separator before the entries, however often they were rebuilt.
    const QList<QAction*> after = F_Main->M_File->actions();
    EXPECT_EQ(after.size(), after.indexOf(F_Main->A_Exit) + 2 + 8);

    for (TF_SMDI* w : F_Main->MDIChildren())
        w->Project->Changed = false;
    CloseEveryProject closeAll;
    ASSERT_TRUE(F_Main->close());
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot + QStringLiteral("\\RecentFiles"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("File0")), copy);
    EXPECT_EQ(reg.ReadString(QStringLiteral("File1")), saved);
    EXPECT_EQ(reg.ReadString(QStringLiteral("File2")), amp);
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("File8")));
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(Startup, BrushSetsFillTheDropDownAndAChosenOneBecomesCurrent)
{
    DataFolder = GetDataFolder();
    ASSERT_TRUE(QDir().mkpath(DataFolder));
    const QString file = BrushSetFileName();
    const char* names[] = {"Early", "Late & dark", "Bright"};
    int k = 1;
    for (const char* name : names) {
        auto s = std::make_unique<TBrushSet>();
        s->BName = QString::fromLatin1(name);
        s->MColor = 0x10 * k;
        s->MSize = k;
        s->LVisible = k == 3;
        s->RALVisible = k != 3;
        s->OVisible = true;
        s->TVisible = k == 3;
        BrushSetList.push_back(std::move(s));
        ++k;
    }
    CurrentBrushSet = BrushSetList[1].get();
    ASSERT_EQ(SaveBrushSets(file), 0);
    InitSettingVariables();

    startWithoutLoop();
    EXPECT_TRUE(logTexts(2).contains(QStringLiteral("Brush set ") + file + QStringLiteral(" loaded")));
    const QList<QAction*> entries = F_Main->M_BrushSets->actions();
    ASSERT_EQ(entries.size(), 4);
    EXPECT_FALSE(entries[0]->isVisible()); // the placeholder
    QStringList captions;
    QList<bool> checked;
    for (int i = 1; i < 4; ++i) {
        captions << entries[i]->text();
        checked << entries[i]->isChecked();
    }
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Early"), QStringLiteral("Late && dark"), QStringLiteral("Bright")}));
    EXPECT_EQ(checked, (QList<bool>{false, true, false}));
    F_Main->AMUpdate();
    EXPECT_TRUE(F_Main->A_BrushSets->isEnabled());
    EXPECT_EQ(F_Main->TB_BrushSets->popupMode(), QToolButton::MenuButtonPopup);

    entries[3]->trigger();
    EXPECT_EQ(CurrentBrushSet, BrushSetList[2].get());
    checked.clear();
    for (int i = 1; i < 4; ++i)
        checked << entries[i]->isChecked();
    EXPECT_EQ(checked, (QList<bool>{false, false, true}));
    EXPECT_EQ(SettingMColor, 0x30);
    EXPECT_EQ(SettingMSize, 3);
    EXPECT_TRUE(F_Main->A_LengthToggle->isChecked());
    EXPECT_FALSE(F_Main->A_RALToggle->isChecked());
    EXPECT_TRUE(F_Main->A_ObjectToggle->isChecked());
    EXPECT_TRUE(F_Main->A_TextToggle->isChecked());

    // A rebuilt menu follows the list; an entry left from before finds no set and does nothing.
    BrushSetList.pop_back();
    CurrentBrushSet = BrushSetList[0].get();
    F_Main->SetBrushSets();
    EXPECT_EQ(F_Main->M_BrushSets->actions().size(), 3);
    QAction stale;
    stale.setData(2);
    F_Main->BrushSetChange(&stale);
    EXPECT_EQ(CurrentBrushSet, BrushSetList[0].get());

    ASSERT_TRUE(F_Main->close());
    const QStringList lines = QString::fromLatin1(readAll(file)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("\"Current\":true")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("\"Current\":false")));
}

TEST_F(Startup, AMissingBrushSetFileIsLoggedAndAnUnreadableOneIsNotWrittenOver)
{
    startWithoutLoop();
    EXPECT_TRUE(logTexts(0).contains(QStringLiteral("Brush set file not found!")));
    EXPECT_EQ(F_Main->M_BrushSets->actions().size(), 1);
    F_Main->AMUpdate();
    EXPECT_FALSE(F_Main->A_BrushSets->isEnabled());
    ASSERT_TRUE(F_Main->close());
    EXPECT_TRUE(QFile::exists(BrushSetFileName())); // the closing writes the (empty) list
    DestroyStartupWindows();

    // Something stands at the file's place that cannot be read as it: it stays.
    ASSERT_TRUE(QFile::remove(BrushSetFileName()));
    ASSERT_TRUE(QDir().mkpath(BrushSetFileName() + QStringLiteral("/inside")));
    TF_ErrorLog::ClearLog();
    InitSettingVariables();
    startWithoutLoop();
    BrushSetList.push_back(std::make_unique<TBrushSet>());
    ASSERT_TRUE(F_Main->close());
    EXPECT_TRUE(QFileInfo(BrushSetFileName() + QStringLiteral("/inside")).isDir());
    EXPECT_EQ(logTexts(0).filter(QStringLiteral("is not written over")).size(), 1);
}

} // namespace
