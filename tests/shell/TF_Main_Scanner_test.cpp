// Main window scanner commands against SANE's test device: scanning to a new project with the
// scan's resolution, to the current project in the alignment mode, saving with the chosen type's
// extension, a save that meets a full disk, a closed target window, cancels, device errors and a
// machine without scanners.
#include "shell/TF_Main.h"

#include "platform/FakeDialogs.h"
#include "platform/TScanDialog.h"
#include "platform/Twain.h"
#include "project/JEX4_Objects.h"
#include "project/Settings.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "shell/TF_ErrorLog.h"
#include "support/MainWindowTest.h"
#include "support/SaneTestDevice.h"
#include "support/SmallDisk.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QImage>
#include <QMdiSubWindow>
#include <QPushButton>
#include <gtest/gtest.h>


namespace {

using testhelpers::SaneTestDevice;
using testhelpers::waitUntil;

class Scanner : public testhelpers::ShownMainWindowTest {
protected:
    void SetUp() override
    {
        ShownMainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        main->TWAIN->SelectDialog = [this](QWidget*, const QList<TTwainSource>& sources) {
            offered = sources.size();
            return choice;
        };
    }

    // Waits for the scan dialog to be ready, sets its choices and scans.
    void scanWithDialog(const QString& mode, int dpi)
    {
        ASSERT_TRUE(waitUntil([&] { return main->TWAIN->SourceOpen() || !main->TWAIN->SourceEnabled(); }));
        TScanDialog* d = main->TWAIN->Dialog();
        ASSERT_NE(d, nullptr);
        d->CB_Mode->setCurrentText(mode);
        const int i = d->CB_Resolution->findData(dpi);
        ASSERT_GE(i, 0);
        d->CB_Resolution->setCurrentIndex(i);
        d->B_Scan->click();
    }

    bool waitForEnd()
    {
        return waitUntil([&] { return !main->TWAIN->SourceEnabled(); });
    }

    TF_SMDI* projectWithOneImage()
    {
        main->A_NewProject->trigger();
        QCoreApplication::processEvents();
        TF_SMDI* w = main->ActiveMDIChild();
        QImage picture(60, 30, QImage::Format_RGB888);
        picture.fill(Qt::darkYellow);
        EXPECT_EQ(w->LoadImageFromHandle(picture), 1);
        return w;
    }

    int offered = -1;
    int choice = 0;
};

const QString saveQuestion = QStringLiteral("It is recommended to save the image before measuring!\r\nSave image now?");

TEST_F(Scanner, ScanToNewProjectOpensAWindowWithTheScanAndItsResolution)
{
    SaneTestDevice sane;
    choice = 1;
    fake->answerMessage(mrNo); // save now?
    main->A_ScanNew->trigger();
    EXPECT_EQ(offered, 2);
    EXPECT_EQ(TWAINSourceIndex, 1);
    scanWithDialog(QStringLiteral("Color"), 200);
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(main->MDIChildren().size(), 1);
    TF_SMDI* w = main->MDIChildren().front();
    ASSERT_EQ(w->StitchList.size(), 1u);
    const TStitchObject& so = *w->StitchList.front();
    EXPECT_EQ(so.Width, 200);
    EXPECT_EQ(so.Height, 100);
    EXPECT_EQ(so.filename, QStringLiteral("Not saved"));
    EXPECT_TRUE(so.ImageChanged);
    EXPECT_EQ(w->DPI, 200);
    EXPECT_TRUE(w->Project->Changed);
    EXPECT_EQ(F_Measurements->MDIForm(), w);
    EXPECT_TRUE(fake->shownTexts().contains(saveQuestion));
    EXPECT_EQ(main->TWAIN->Dialog(), nullptr); // one image, then the acquisition ends
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();

    // The source stays chosen: the next scan asks no more.
    offered = -1;
    fake->answerMessage(mrNo);
    main->A_ScanNew->trigger();
    EXPECT_EQ(offered, -1);
    scanWithDialog(QStringLiteral("Gray"), 100);
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(main->MDIChildren().size(), 2);
    EXPECT_EQ(main->MDIChildren().back()->DPI, 100);
}

TEST_F(Scanner, ScanToCurrentProjectSelectsTheNewImageForAlignmentAndSavesItAsJpeg)
{
    SaneTestDevice sane;
    TF_SMDI* w = projectWithOneImage();
    fake->answerMessage(mrYes);
    const QString typed = dir.path() + QStringLiteral("/core7"); // no extension, JPEG chosen
    fake->answerFile(typed, 2);
    main->A_ScanToCurrent->trigger();
    scanWithDialog(QStringLiteral("Color"), 100);
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(main->MDIChildren().size(), 1);
    ASSERT_EQ(w->StitchList.size(), 2u);
    TStitchObject& added = *w->StitchList.back();
    EXPECT_TRUE(added.Selected);
    EXPECT_FALSE(w->StitchList.front()->Selected);
    EXPECT_EQ(w->ScreenMode(), mmAlignImages);
    EXPECT_EQ(added.filename, typed + QStringLiteral(".jpg"));
    EXPECT_FALSE(added.ImageChanged);
    EXPECT_TRUE(QFile::exists(typed + QStringLiteral(".jpg")));
    EXPECT_TRUE(w->Project->Changed);
    // The save dialog opened on JPEG.
    ASSERT_FALSE(fake->shown().isEmpty());
    EXPECT_EQ(fake->shown().back().request.filterIndex, 2);
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

TEST_F(Scanner, AnImageForAClosedWindowGoesToANewProject)
{
    SaneTestDevice sane;
    TF_SMDI* w = projectWithOneImage();
    main->A_ScanToCurrent->trigger();
    ASSERT_TRUE(waitUntil([&] { return main->TWAIN->SourceOpen(); }));
    w->Project->Changed = false;
    w->StitchList.front()->ImageChanged = false;
    main->CloseMDI->trigger();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(main->MDIChildren().isEmpty());
    fake->answerMessage(mrNo);
    scanWithDialog(QStringLiteral("Gray"), 100);
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(main->MDIChildren().size(), 1);
    EXPECT_EQ(main->MDIChildren().front()->StitchList.size(), 1u);
}

TEST_F(Scanner, AKeptConnectionPutsEachScanInItsOwnWindow)
{
    SaneTestDevice sane;
    SettingTWAINCancel = true;
    fake->answerMessage(mrNo);
    fake->answerMessage(mrNo);
    main->A_ScanNew->trigger();
    scanWithDialog(QStringLiteral("Color"), 100);
    ASSERT_TRUE(waitUntil([&] { return main->MDIChildren().size() == 1 && main->TWAIN->SourceOpen(); }));
    scanWithDialog(QStringLiteral("Color"), 100);
    ASSERT_TRUE(waitUntil([&] { return main->MDIChildren().size() == 2 && main->TWAIN->SourceOpen(); }));
    ASSERT_NE(main->TWAIN->Dialog(), nullptr);
    main->TWAIN->Dialog()->B_Cancel->click(); // closing after images is no cancel
    EXPECT_FALSE(main->TWAIN->SourceEnabled());
    EXPECT_FALSE(fake->shownTexts().contains(QStringLiteral("Scanning cancelled by user!")));
}

TEST_F(Scanner, ASaveOnAFullDiskSaysSoKeepsTheOldFileAndLeavesTheScanNotSaved)
{
    testhelpers::SmallDisk disk;
    SKIP_WITHOUT_SMALL_DISK(disk);
    SaneTestDevice sane;
    const struct {
        int chosenType;
        const char* written;
    } rows[] = {{1, "scan.bmp"}, {2, "scan.jpg"}, {3, "scan.png"}};
    const QByteArray old(3000, 'o');
    for (const auto& r : rows) {
        SCOPED_TRACE(r.written);
        const QString file = disk.path(QString::fromLatin1(r.written));
        disk.empty();
        {
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            ASSERT_EQ(f.write(old), old.size());
        }
        ASSERT_TRUE(disk.fillLeaving(0));
        fake->answerMessage(mrYes); // save now?
        fake->answerFile(disk.path(QStringLiteral("scan")), r.chosenType);
        const QList<TF_SMDI*> before = main->MDIChildren();
        main->A_ScanNew->trigger();
        scanWithDialog(QStringLiteral("Color"), 100);
        ASSERT_TRUE(waitForEnd());
        ASSERT_EQ(main->MDIChildren().size(), before.size() + 1);
        TF_SMDI* w = nullptr;
        for (TF_SMDI* candidate : main->MDIChildren())
            if (!before.contains(candidate))
                w = candidate;
        ASSERT_NE(w, nullptr);
        ASSERT_EQ(w->StitchList.size(), 1u);
        EXPECT_EQ(w->StitchList.front()->filename, QStringLiteral("Not saved"));
        EXPECT_TRUE(w->StitchList.front()->ImageChanged);
        ASSERT_FALSE(fake->shown().isEmpty());
        EXPECT_EQ(fake->shown().last().type, mtError);
        EXPECT_TRUE(fake->shown().last().text.startsWith(QStringLiteral("Error saving image ") + file))
            << fake->shown().last().text.toStdString();
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old);
        EXPECT_EQ(disk.entries(), QStringList{QString::fromLatin1(r.written)}) << "no temporary is left";
        f.remove();
    }
    EXPECT_EQ(fake->unusedAnswers(), 0);
    EXPECT_TRUE(fake->errors().isEmpty()) << fake->errors().join('\n').toStdString();
}

// SANE reads its configuration when it starts, so each device setup has a main window of its own.
TEST_F(Scanner, CancelIsReported)
{
    {
        SaneTestDevice sane;
        main->A_ScanNew->trigger();
        ASSERT_TRUE(waitUntil([&] { return main->TWAIN->SourceOpen(); }));
        main->TWAIN->Dialog()->B_Cancel->click();
        EXPECT_EQ(fake->shownTexts().last(), QStringLiteral("Scanning cancelled by user!"));
        EXPECT_TRUE(main->MDIChildren().isEmpty());
    }
}

TEST_F(Scanner, ADeviceErrorIsReportedAndLogged)
{
    {
        SaneTestDevice sane({"enable-test-options true", "read-status-code \"SANE_STATUS_JAMMED\""});
        main->A_ScanNew->trigger();
        scanWithDialog(QStringLiteral("Color"), 100);
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(fake->shownTexts().last(), QStringLiteral("Error getting image from scanner!"));
        EXPECT_TRUE(main->MDIChildren().isEmpty());
        ASSERT_FALSE(TF_ErrorLog::Entries().empty());
        EXPECT_TRUE(TF_ErrorLog::Entries().back()->AMessage.contains("jammed"))
            << TF_ErrorLog::Entries().back()->AMessage.toStdString();
    }
}

TEST_F(Scanner, NoSourceChosenStopsQuietly)
{
    SaneTestDevice sane;
    choice = -1;
    main->A_ScanNew->trigger();
    EXPECT_EQ(TWAINSourceIndex, -1);
    EXPECT_FALSE(main->TWAIN->SourceEnabled());
    EXPECT_EQ(fake->callCount(), 1); // the first showing's question only
}

// The lookup takes seconds with some backends: the cursor says so, and is back to normal when
// the list is offered.
TEST_F(Scanner, TheCursorIsBusyWhileTheScannersAreLookedUp)
{
    SaneTestDevice sane;
    TF_SMDI* w = projectWithOneImage();
    main->AMUpdate();
    choice = -1;
    auto busy = [] { return QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor; };
    for (QAction* command : {main->SelectSource, main->A_ScanToCurrent}) {
        SCOPED_TRACE(command->text().toStdString());
        TWAINSourceIndex = -1;
        bool busyDuringLookup = false;
        bool busyWhenOffered = true;
        main->TWAIN->SelectDialog = [&](QWidget*, const QList<TTwainSource>&) {
            busyWhenOffered = busy();
            return choice;
        };
        // The first event handled after the command starts is handled inside the lookup.
        QMetaObject::invokeMethod(qApp, [&] { busyDuringLookup = busy(); }, Qt::QueuedConnection);
        command->trigger();
        EXPECT_TRUE(busyDuringLookup);
        EXPECT_FALSE(busyWhenOffered);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    w->Project->Changed = false;
}

TEST_F(Scanner, NoScannerThereIsSaid)
{
    {
        SaneTestDevice sane({}, false);
        main->SelectSource->trigger();
        EXPECT_EQ(fake->shownTexts().last(), QStringLiteral("No scanner found!"));
        EXPECT_EQ(TWAINSourceIndex, -1);
    }
}

} // namespace
