// The main window's link to RAXO and its export command, through a real main window and a
// stand-in RAXO server: the link starts after the first showing with the stored address and port
// and shows its state in the status bar; OPEN loads projects through ProcessLoadProject; REFSAM
// puts the main window's glyphs on the reload buttons, which save and ask RAXO to reload; closing
// a marked window clears its mark; the export wizard opens on the active window.
#include "shell/TF_Main.h"

#include "image/TFastDIB.h"
#include "platform/Cp1252.h"
#include "platform/FakeDialogs.h"
#include "platform/Registry.h"
#include "project/JEX3Project.h"
#include "project/JEX4_Objects.h"
#include "project/ProjectXML.h"
#include "project/Settings.h"
#include "samples/SampleCore.h"
#include "shell/RAXOLink.h"
#include "shell/SettingsStore.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Export.h"
#include "shell/TPageControlEx.h"
#include "support/FakeRaxo.h"
#include "support/JEX3Records.h"
#include "support/MainWindowTest.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

using testhelpers::FakeRaxo;
using testhelpers::message;
using testhelpers::settle;
using testhelpers::waitFor;

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

class MainLink : public testhelpers::MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        ProjectLoading = false;
        ASSERT_TRUE(raxo.listen());
        storeLinkPort(raxo.port());

        createMain();
        F_Measurements = new TF_Measurements(main.get());
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        ProjectLoading = false;
        WindowValues().LinkAddress = StoredWindowValues().LinkAddress;
        WindowValues().LinkPort = StoredWindowValues().LinkPort;
    }

    // The port RAXO listens on, as the settings store holds it when the main window first shows.
    static void storeLinkPort(int port)
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(SettingsKey, true));
        reg.WriteInteger(QStringLiteral("RAXO4TCP"), port);
        reg.CloseKey();
        WindowValues().LinkPort = port;
    }

    void showFrame()
    {
        fake->answerMessage(mrNo); // the file association question of the first showing
        main->show();
        QCoreApplication::processEvents();
        TF_ErrorLog::ClearLog();
        SettingTCPIPAutoConnect = true; // the user's choice, over what the first showing loaded
    }

    // Connects now instead of at the next tick of the reconnect timer.
    void connectLink()
    {
        main->Link->T_TCPTimer();
        ASSERT_TRUE(raxo.accept());
        ASSERT_TRUE(waitFor([this] { return main->Link->Connected(); }));
        ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    }

    // A new project window of the main window whose paths have the given identifiers, each with
    // an index point at x = 10 and rings every 40 pixels; with an image of the sample core when
    // asked. The window is the active one.
    TF_SMDI* addWindow(const QString& projectFile, const QStringList& guids, bool withImage = false, int rings = 5)
    {
        main->A_NewProject->trigger();
        QCoreApplication::processEvents();
        TF_SMDI* w = main->ActiveMDIChild();
        EXPECT_NE(w, nullptr);
        if (!w)
            return nullptr;
        if (withImage) {
            samples::CoreRecipe recipe;
            recipe.width = 260;
            recipe.height = 40;
            const QString image = path(QStringLiteral("core%1.png").arg(main->MDIChildren().size()));
            EXPECT_TRUE(samples::makeCore(recipe).save(image, "PNG"));
            EXPECT_EQ(w->LoadImage(image, true), 0);
        }
        w->Project->Filename = projectFile;
        F_Measurements->ClearAll(); // the trees show none of the paths about to go
        w->PathList.clear();
        for (const QString& guid : guids) {
            auto p = std::make_unique<TPath>();
            p->Name = QStringLiteral("Path ") + QString::number(w->PathList.size() + 1);
            p->GUID = guid;
            auto index = std::make_unique<TIndex>();
            index->Pos = QPoint(10, 20);
            index->Path = p.get();
            for (int i = 1; i <= rings; ++i) {
                auto m = std::make_unique<TMeasurement>();
                m->Pos = QPoint(10 + 40 * i, 20);
                m->Path = p.get();
                m->Index = index.get();
                index->ObjectList.push_back(std::move(m));
            }
            p->ObjectList.push_back(std::move(index));
            w->PathList.push_back(std::move(p));
        }
        w->CurrentPath = w->PathList.empty() ? nullptr : w->PathList.front().get();
        F_Measurements->FillMeasurements(w, false);
        w->Project->Changed = false;
        for (const auto& so : w->StitchList)
            so->ImageChanged = false;
        return w;
    }

    static bool panelShown(TF_SMDI* w) { return !w->P_UpdateRAXO->isHidden(); }

    static bool logContains(const QString& text)
    {
        for (const auto& e : TF_ErrorLog::Entries())
            if (e->AMessage.contains(text))
                return true;
        return false;
    }

    FakeRaxo raxo;
};

// ---- connection ----

TEST_F(MainLink, FirstShowingStartsTheLinkWhichConnectsWithStatusAndAsksForAnUpdate)
{
    // Made with the frame, inactive until the first showing ends.
    ASSERT_NE(main->Link, nullptr);
    EXPECT_EQ(RAXOLink::Current(), main->Link);
    EXPECT_FALSE(main->Link->T_TCP->isActive());
    EXPECT_EQ(main->Link->TCP->state(), QAbstractSocket::UnconnectedState);
    EXPECT_EQ(main->IL_MDI.size(), 16);

    showFrame();
    EXPECT_TRUE(main->Link->T_TCP->isActive());
    EXPECT_EQ(main->Link->T_TCP->interval(), 2000);
    EXPECT_EQ(main->Link->Address(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(main->Link->Port(), raxo.port()); // the stored port

    // The timer's own tick connects; nothing but the timer was asked to.
    ASSERT_TRUE(raxo.accept());
    ASSERT_TRUE(waitFor([this] { return main->Link->Connected(); }));
    EXPECT_EQ(main->SB_MainPanel0->text(), QStringLiteral("      Connected to RAXO5 at 127.0.0.1"));
    EXPECT_TRUE(main->I_Connected->isVisible());
    EXPECT_FALSE(main->I_Disconnected->isVisible());
    EXPECT_TRUE(raxo.expect("JEX\r\nREQUESTUPDATE\r\n\r\n"));

    SettingTCPIPAutoConnect = false; // stays apart after RAXO has gone
    raxo.peer->disconnectFromHost();
    ASSERT_TRUE(waitFor([this] { return !main->Link->Connected(); }));
    EXPECT_EQ(main->SB_MainPanel0->text(), QStringLiteral("      Disconnected"));
    EXPECT_FALSE(main->I_Connected->isVisible());
    EXPECT_TRUE(main->I_Disconnected->isVisible());

    // Closing stops the link and hands its address and port back to the store.
    ASSERT_TRUE(main->Link->SetPort(raxo.port() + 1));
    EXPECT_TRUE(main->close());
    EXPECT_FALSE(main->Link->T_TCP->isActive());
    EXPECT_EQ(main->Link->TCP->state(), QAbstractSocket::UnconnectedState);
    EXPECT_EQ(WindowValues().LinkPort, raxo.port() + 1);
    EXPECT_EQ(WindowValues().LinkAddress, QStringLiteral("127.0.0.1"));
}

TEST_F(MainLink, AStoredPortThatIsNoTCPPortIsRefused)
{
    showFrame();
    SettingTCPIPAutoConnect = false;
    const int good = main->Link->Port();
    for (const int bad : {0, -1, 65536, 70000 /* would wrap to 4464 */}) {
        SCOPED_TRACE(bad);
        TF_ErrorLog::ClearLog();
        WindowValues().LinkPort = bad;
        main->StartLink();
        EXPECT_EQ(main->Link->Port(), good);
        EXPECT_TRUE(logContains(QStringLiteral("RAXO port %1 is no TCP port").arg(bad)));
    }
    WindowValues().LinkPort = 65535;
    main->StartLink();
    EXPECT_EQ(main->Link->Port(), 65535);
}

TEST_F(MainLink, ClosingTheFrameEndsAConnectedLink)
{
    showFrame();
    ASSERT_NO_FATAL_FAILURE(connectLink());
    EXPECT_TRUE(main->RequestR5Update());
    EXPECT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_TRUE(main->close());
    EXPECT_FALSE(main->RequestR5Update()); // nothing goes out any more
    EXPECT_EQ(main->Link->TCP->state(), QAbstractSocket::UnconnectedState);
    EXPECT_FALSE(main->Link->T_TCP->isActive());
    ASSERT_TRUE(waitFor([this] { return !raxo.peer || raxo.peer->state() == QAbstractSocket::UnconnectedState; }));
    settle(100);
    EXPECT_FALSE(raxo.server.hasPendingConnections()); // no new attempt after the close
}

// ---- OPEN ----

TEST_F(MainLink, OpenOfASavedProjectLoadsItThroughTheMainWindow)
{
    showFrame();
    const QString file = path(QStringLiteral("Oak.jex4"));
    {
        TF_SMDI* w = addWindow(file, {QStringLiteral("{OAK-1}")}, true);
        ASSERT_EQ(SaveProjectXML(w, file, false), 0);
        main->CloseMDI->trigger();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ASSERT_TRUE(main->MDIChildren().isEmpty());
    ASSERT_NO_FATAL_FAILURE(connectLink());
    TF_ErrorLog::ClearLog();

    raxo.send(message({"RAXO", "1", "OPEN", file.toLocal8Bit().constData(), "{OAK-1}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    ASSERT_EQ(main->MDIChildren().size(), 1);
    TF_SMDI* loaded = main->MDIChildren().first();
    EXPECT_EQ(loaded->Project->Filename, file);
    EXPECT_EQ(main->ActiveMDIChild(), loaded);
    ASSERT_EQ(loaded->PathList.size(), 1u);
    EXPECT_EQ(loaded->PathList.front()->GUID, QStringLiteral("{OAK-1}"));
    EXPECT_EQ(loaded->StitchList.size(), 1u);
    EXPECT_FALSE(loaded->Project->Changed);
    EXPECT_EQ(F_Measurements->MDIForm(), loaded);
    EXPECT_FALSE(ProjectLoading);
    // Only ProcessLoadProject says so.
    EXPECT_TRUE(logContains(QStringLiteral("JEX4 project ") + file + QStringLiteral(" loaded successfully!")));

    // Asked again (another message, so not a repeat): the open window answers, nothing loads twice.
    TF_ErrorLog::ClearLog();
    main->A_NewProject->trigger();
    QCoreApplication::processEvents();
    ASSERT_NE(main->ActiveMDIChild(), loaded);
    raxo.send(message({"RAXO", "2", "OPEN", file.toLocal8Bit().constData(), "{OAK-1}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_EQ(main->MDIChildren().size(), 2);
    EXPECT_EQ(main->ActiveMDIChild(), loaded);
    EXPECT_FALSE(logContains(QStringLiteral("loaded successfully")));
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(MainLink, OpenOfADamagedOrOlderProjectLeavesNoWindowAndKeepsTheLinkListening)
{
    showFrame();
    const QString damaged = path(QStringLiteral("damaged.jex4"));
    {
        QFile f(damaged);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a project file");
    }
    const QString older = path(QStringLiteral("old.jex"));
    {
        QFile f(older);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    ASSERT_NO_FATAL_FAILURE(connectLink());
    const qsizetype asked = fake->shown().size();
    fake->answerMessage(mrOk); // the reader's error box
    raxo.send(message({"RAXO", "1", "OPEN", damaged.toLocal8Bit().constData(), "{D}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_TRUE(main->MDIChildren().isEmpty());
    EXPECT_TRUE(logContains(QStringLiteral("Error loading JEX4 project ") + damaged));
    EXPECT_FALSE(ProjectLoading);
    ASSERT_EQ(fake->shown().size(), asked + 1);
    EXPECT_TRUE(fake->shown().last().text.startsWith(QStringLiteral("The project file ") + damaged));

    raxo.send(message({"RAXO", "1", "OPEN", older.toLocal8Bit().constData(), "{E}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_TRUE(main->MDIChildren().isEmpty());
    EXPECT_TRUE(logContains(QStringLiteral("Error importing JEX3 project ") + older));
    EXPECT_FALSE(ProjectLoading);
    ASSERT_EQ(fake->shown().size(), asked + 2);
    EXPECT_EQ(fake->shown().last().text, QStringLiteral("The file ") + older + QStringLiteral(" is damaged!"));
}

TEST_F(MainLink, OpenImportsAnOlderProjectWhoseReloadButtonWritesItBack)
{
    showFrame();
    samples::CoreRecipe recipe;
    recipe.width = 200;
    recipe.height = 40;
    ASSERT_TRUE(samples::makeCore(recipe).save(path(QStringLiteral("Eiche.jpg")), "JPG"));
    const QByteArray records = testhelpers::jex3ImageRecord("C:\\Kerne\\Eiche.jpg") + testhelpers::jex3ResolutionRecord(2400)
        + testhelpers::jex3PointRecord(0, 10, 20, 1) + testhelpers::jex3PointRecord(1, 50, 20, 1);
    const QString older = path(QStringLiteral("Eiche.jex"));
    {
        QFile f(older);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(records);
    }
    ASSERT_NO_FATAL_FAILURE(connectLink());
    raxo.send(message({"RAXO", "1", "OPEN", older.toLocal8Bit().constData(), "{X}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    ASSERT_EQ(main->MDIChildren().size(), 1);
    TF_SMDI* w = main->MDIChildren()[0];
    EXPECT_EQ(w->Project->Filename, older);
    EXPECT_FALSE(ProjectLoading);
    const QString guid = w->PathList[0]->GUID;
    raxo.send(message({"RAXO", "1", "REFSAM", "", guid.toLatin1().constData(), "Ref", "", "", ""}));
    ASSERT_TRUE(waitFor([&] { return panelShown(w); }));

    // A ring added, then the reload button: the file holds it in the older format, then RAXO hears.
    auto m = std::make_unique<TMeasurement>();
    m->Pos = QPoint(90, 20);
    m->Path = w->PathList[0].get();
    m->Index = w->PathList[0]->ObjectList[0].get();
    w->PathList[0]->ObjectList[0]->ObjectList.push_back(std::move(m));
    w->SB_UpdateRAXO->click();
    EXPECT_TRUE(raxo.expect("JEX\r\nRELOAD\r\n" + Cp1252::fromUnicode(older) + "\r\n" + guid.toLatin1()));
    QFile f(older);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), testhelpers::jex3ImageRecord(path(QStringLiteral("Eiche.jpg")).toLocal8Bit())
                               + records.mid(296, 296 * 3) + testhelpers::jex3PointRecord(1, 90, 20, 1));
    f.close();

    // A second path would not be in the file RAXO reloads: refused, and nothing asked of RAXO.
    w->PathList.push_back(std::make_unique<TPath>());
    const qsizetype asked = fake->shown().size();
    w->SB_UpdateRAXO->click();
    ASSERT_TRUE(main->RequestR5Update()); // goes after anything the click sent
    EXPECT_TRUE(raxo.expectOnly(RAXOLink::UpdateRequest())) << "nothing asked of RAXO";
    ASSERT_EQ(fake->shown().size(), asked + 1);
    EXPECT_EQ(fake->shown().last().text, JEX3RefusalText);
}

// ---- REFSAM and the reload button ----

TEST_F(MainLink, RefSamMarksWindowsWithTheMainWindowsGlyphs)
{
    showFrame();
    TF_SMDI* r = addWindow(path(QStringLiteral("r.jex4")), {QStringLiteral("{R1}")});
    TF_SMDI* s = addWindow(path(QStringLiteral("s.jex4")), {QStringLiteral("{S1}")});
    TF_SMDI* bystander = addWindow(path(QStringLiteral("x.jex4")), {QStringLiteral("{X1}")});
    ASSERT_NO_FATAL_FAILURE(connectLink());

    raxo.send(message({"RAXO", "1", "REFSAM", "", "{R1}", "Reference 1999", "", "{S1}", "Sample 2001"}));
    ASSERT_TRUE(waitFor([&] { return panelShown(r) && panelShown(s); }));
    EXPECT_FALSE(panelShown(bystander));
    EXPECT_EQ(r->SB_UpdateRAXO->text(), QStringLiteral("Reference 1999"));
    EXPECT_EQ(s->SB_UpdateRAXO->text(), QStringLiteral("Sample 2001"));
    ASSERT_FALSE(main->IL_MDI[8].isNull());
    EXPECT_NE(iconImage(main->IL_MDI[8]), iconImage(main->IL_MDI[9]));
    EXPECT_EQ(iconImage(r->SB_UpdateRAXO->icon()), iconImage(main->IL_MDI[8]));
    EXPECT_EQ(iconImage(s->SB_UpdateRAXO->icon()), iconImage(main->IL_MDI[9]));
    // One source of truth: the frame's fields are the link's.
    EXPECT_EQ(main->fr().data(), r);
    EXPECT_EQ(main->fs().data(), s);
    EXPECT_EQ(&main->fr(), &main->Link->fr);
    EXPECT_EQ(&main->fs(), &main->Link->fs);
    EXPECT_EQ(main->OldDatagram(), main->Link->OldDatagram);
    EXPECT_TRUE(main->OldDatagram().startsWith(QStringLiteral("RAXO\r\n1\r\nREFSAM\r\n")));
}

TEST_F(MainLink, ReloadButtonSavesTheProjectAndAsksRAXOToReloadIt)
{
    showFrame();
    const QString file = path(QStringLiteral("Eiche \u00e9.jex4"));
    TF_SMDI* w = addWindow(file, {QStringLiteral("{E1}"), QStringLiteral("{E2}")}, true);
    ASSERT_NO_FATAL_FAILURE(connectLink());
    raxo.send(message({"RAXO", "1", "REFSAM", "", "{E1}", "Ref", "", "", ""}));
    ASSERT_TRUE(waitFor([&] { return panelShown(w); }));

    w->CurrentPath = w->PathList[1].get();
    w->Project->Changed = true;
    ASSERT_FALSE(QFileInfo::exists(file));
    w->SB_UpdateRAXO->click();
    EXPECT_TRUE(raxo.expect("JEX\r\nRELOAD\r\n" + Cp1252::fromUnicode(file) + "\r\n{E2}"));
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_FALSE(w->Project->Changed);

    // What RAXO reloads is the saved project.
    ASSERT_TRUE(QFile::copy(file, path(QStringLiteral("copy.jex4"))));
    TF_SMDI* copy = main->ProcessLoadProject(path(QStringLiteral("copy.jex4")));
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->PathList.size(), 2u);
    EXPECT_EQ(copy->PathList[1]->GUID, QStringLiteral("{E2}"));

    // A save that fails asks RAXO for nothing.
    w->Project->Filename = path(QStringLiteral("no such folder/Eiche.jex4"));
    fake->answerMessage(mrOk); // the error box of the failed save
    w->SB_UpdateRAXO->click();
    ASSERT_TRUE(main->RequestR5Update()); // goes after anything the click sent
    EXPECT_TRUE(raxo.expectOnly(RAXOLink::UpdateRequest())) << "nothing asked of RAXO";
    EXPECT_EQ(fake->unusedAnswers(), 0);
}

// Adding an image makes a saved project a new, unsaved one: its reload asks where to save it and
// names that file to RAXO; nothing lands in the working folder.
TEST_F(MainLink, ReloadAfterAddingAnImageAsksWhereToSave)
{
    showFrame();
    const QString file = path(QStringLiteral("Oak.jex4"));
    TF_SMDI* w = addWindow(file, {QStringLiteral("{O1}")}, true);
    ASSERT_EQ(SaveProjectXML(w, file, false), 0);
    const QByteArray before = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_NO_FATAL_FAILURE(connectLink());
    raxo.send(message({"RAXO", "1", "REFSAM", "", "{O1}", "Oak", "", "", ""}));
    ASSERT_TRUE(waitFor([&] { return panelShown(w); }));

    QTemporaryDir working;
    ASSERT_TRUE(working.isValid());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(working.path()));
    struct Restore {
        QString dir;
        ~Restore() { QDir::setCurrent(dir); }
    } restore{previous};

    samples::CoreRecipe recipe;
    recipe.width = 120;
    recipe.height = 40;
    const QString added = path(QStringLiteral("added.png"));
    ASSERT_TRUE(samples::makeCore(recipe).save(added, "PNG"));
    fake->answerFile(QStringList{added});
    main->A_AddImage->trigger();
    ASSERT_EQ(w->StitchList.size(), 2u);
    EXPECT_TRUE(w->Project->Name.startsWith(QStringLiteral("New Project ")));
    EXPECT_TRUE(w->Project->Filename.isEmpty());
    EXPECT_EQ(w->windowTitle(), w->Project->Name);

    // Cancel: nothing written, nothing sent.
    const qsizetype asked = fake->shown().size();
    fake->cancelFile();
    w->SB_UpdateRAXO->click();
    ASSERT_TRUE(main->RequestR5Update()); // goes after anything the click sent
    EXPECT_TRUE(raxo.expectOnly(RAXOLink::UpdateRequest())) << "nothing asked of RAXO";
    EXPECT_GT(fake->shown().size(), asked);
    EXPECT_EQ(fake->shown().last().kind, FakeDialogs::Kind::SaveFile);

    // The chosen file is written and named to RAXO.
    const QString chosen = path(QStringLiteral("Oak with two images.jex4"));
    fake->answerFile(chosen, 1);
    w->SB_UpdateRAXO->click();
    EXPECT_TRUE(raxo.expect("JEX\r\nRELOAD\r\n" + Cp1252::fromUnicode(chosen) + "\r\n{O1}"));
    EXPECT_TRUE(QFileInfo::exists(chosen));
    EXPECT_EQ(w->Project->Filename, chosen);
    EXPECT_FALSE(w->Project->Changed);
    EXPECT_TRUE(QDir(working.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    QFile original(file);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), before);
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
    EXPECT_EQ(fake->unusedAnswers(), 0);
}

TEST_F(MainLink, ClosingAMarkedWindowClearsItsMark)
{
    showFrame();
    TF_SMDI* r = addWindow(path(QStringLiteral("r.jex4")), {QStringLiteral("{R}")});
    TF_SMDI* s = addWindow(path(QStringLiteral("s.jex4")), {QStringLiteral("{S}")});
    ASSERT_NO_FATAL_FAILURE(connectLink());
    raxo.send(message({"RAXO", "1", "REFSAM", "", "{R}", "Ref", "", "{S}", "Sam"}));
    ASSERT_TRUE(waitFor([&] { return panelShown(r) && panelShown(s); }));

    // The close handler lets go of the mark, before the window itself is gone.
    QPointer<TF_SMDI> sample(s);
    s->FormClose();
    ASSERT_TRUE(sample);
    EXPECT_TRUE(main->fs().isNull());
    EXPECT_TRUE(main->Link->fs.isNull());
    EXPECT_EQ(main->fr().data(), r);
    EXPECT_TRUE(panelShown(r));

    // Closing through the command does the same for the reference.
    main->ActivateMDIChild(r);
    main->CloseMDI->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(main->fr().isNull());

    // The next REFSAM naming windows that have gone marks nothing and breaks nothing.
    TF_SMDI* t = addWindow(path(QStringLiteral("t.jex4")), {QStringLiteral("{T}")});
    raxo.send(message({"RAXO", "1", "REFSAM", "", "{R}", "Ref", "", "{S}", "Sam2"}));
    // Messages are acted on in order: the answer to the next one shows the REFSAM was.
    raxo.send(message({"RAXO", "1", "OPEN", "", "{T}"}));
    ASSERT_TRUE(raxo.expect(RAXOLink::UpdateRequest()));
    EXPECT_EQ(main->ActiveMDIChild(), t);
    EXPECT_TRUE(main->fr().isNull());
    EXPECT_TRUE(main->fs().isNull());
}

// ---- export command ----

TEST_F(MainLink, ExportIsEnabledOnlyForAWindowWithImages)
{
    showFrame();
    main->AMUpdate();
    EXPECT_FALSE(main->A_ExportData->isEnabled());
    main->A_ExportDataExecute(); // without a window: nothing opens
    EXPECT_TRUE(!F_Export || !F_Export->isVisible());

    addWindow(path(QStringLiteral("bare.jex4")), {QStringLiteral("{B}")});
    main->AMUpdate();
    EXPECT_FALSE(main->A_ExportData->isEnabled());

    addWindow(path(QStringLiteral("imaged.jex4")), {QStringLiteral("{I}")}, true);
    main->AMUpdate();
    EXPECT_TRUE(main->A_ExportData->isEnabled());
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(MainLink, ExportOpensTheWizardOnTheActiveWindow)
{
    showFrame();
    TF_SMDI* oak = addWindow(path(QStringLiteral("oak.jex4")), {QStringLiteral("{O1}"), QStringLiteral("{O2}")}, true);
    oak->DPI = 2540; // one pixel is 1/100 mm: Heidelberg widths read as the distances between the points
    main->AMUpdate();
    ASSERT_TRUE(main->A_ExportData->isEnabled());
    main->A_ExportData->trigger();
    ASSERT_NE(F_Export, nullptr);
    EXPECT_TRUE(F_Export->isVisible());
    EXPECT_EQ(F_Export->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(F_Export->MDI.data(), oak);
    ASSERT_EQ(F_Export->VSTP->topLevelItemCount(), 2);
    EXPECT_EQ(F_Export->VSTP->topLevelItem(1)->text(0), QStringLiteral("Path 2"));
    EXPECT_EQ(F_Export->VSTP->topLevelItem(1)->text(1), QStringLiteral("5"));

    // Heidelberg of the first path only, saved where the user says.
    F_Export->RB_FH->setChecked(true);
    F_Export->B_Continue->click();
    F_Export->VSTP->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    F_Export->B_Continue->click();
    const QString out = path(QStringLiteral("oak.fh"));
    fake->answerFile(out);
    F_Export->B_Continue->click();
    EXPECT_FALSE(F_Export->isVisible());
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.startsWith("HEADER:\r\nKeycode=Path 1\r\n")) << text.constData();
    EXPECT_TRUE(text.contains("Length=5\r\nDATA:Tree\r\n    40    40    40    40    40     0     0     0     0     0\r\n"))
        << text.constData();
    EXPECT_FALSE(text.contains("Path 2"));

    // Another window: the wizard opens on it, with its own paths.
    TF_SMDI* beech = addWindow(path(QStringLiteral("beech.jex4")), {QStringLiteral("{B1}")}, true, 3);
    main->AMUpdate(); // as when idle
    main->A_ExportData->trigger();
    EXPECT_TRUE(F_Export->isVisible());
    EXPECT_EQ(F_Export->MDI.data(), beech);
    ASSERT_EQ(F_Export->VSTP->topLevelItemCount(), 1);
    EXPECT_EQ(F_Export->VSTP->topLevelItem(0)->text(1), QStringLiteral("3"));
    EXPECT_EQ(F_Export->PCE->currentWidget(), F_Export->TS_1);
    F_Export->B_Cancel->click();
    EXPECT_FALSE(F_Export->isVisible());
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

} // namespace
