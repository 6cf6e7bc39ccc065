// Common ground of the main-window tests: scripted dialogs, a temporary folder, fresh settings and an
// empty error log before each case; the main window goes first at the end, then the settings reset.
// ShownMainWindowTest adds the main window as the user first sees it.
#pragma once

#include "platform/FakeDialogs.h"
#include "project/Settings.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "workspace/TF_Measurements.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace testhelpers {

class MainWindowTest : public ::testing::Test {
protected:
    // A fixture that adds to this calls it first and stops on a fatal failure.
    void SetUp() override
    {
        fake = dynamic_cast<FakeDialogs*>(&dialogs());
        ASSERT_NE(fake, nullptr);
        ASSERT_TRUE(dir.isValid());
        TF_ErrorLog::ClearLog();
        InitSettingVariables();
    }
    void TearDown() override
    {
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        InitSettingVariables();
    }

    // The main window, known to the program as F_Main; not shown yet.
    void createMain()
    {
        main = std::make_unique<TF_Main>();
        F_Main = main.get();
    }

    // A file of the temporary folder.
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    FakeDialogs* fake = nullptr;
    QTemporaryDir dir;
    std::unique_ptr<TF_Main> main;
};

// The main window with its measurement window, shown, the first showing's question answered and the
// log empty again. A fixture that adds to this calls SetUp first and stops on a fatal failure.
class ShownMainWindowTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        createMain();
        F_Measurements = new TF_Measurements(main.get());
        addWindows();
        fake->answerMessage(mrNo); // the file association question of the first showing
        main->show();
        QCoreApplication::processEvents();
        TF_ErrorLog::ClearLog();
    }

    // The fixture's own windows, made before the first showing.
    virtual void addWindows() {}
};

} // namespace testhelpers
