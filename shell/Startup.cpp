// The program's own life: the order in which its windows come into being, and the one place
// where the event loop runs. The main window's close handler writes what must be kept; the loop
// ends once that window has closed.
#include "shell/Startup.h"

#include "project/Settings.h"
#include "shell/SettingsStore.h"
#include "shell/TF_AdjustDPI.h"
#include "shell/TF_CheckForUpdates.h"
#include "shell/TF_CloseManager.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TF_Export.h"
#include "shell/TF_FileManager.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress.h"
#include "shell/TF_Setup.h"
#include "shell/TF_Splash.h"
#include "shell/TOneInstance.h"
#include "workspace/TF_BirdView.h"
#include "workspace/TF_Histogram.h"
#include "workspace/TF_Notes.h"
#include "workspace/TF_Tracker.h"
#include "workspace/TF_ImageInfo.h"
#include "workspace/TF_EditDrawObject.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_Monitor.h"
#include "workspace/TF_PathInfo.h"
#include "workspace/TF_Preview.h"
#include "workspace/TF_SelectOrientation.h"
#include "workspace/TF_Zoom.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <exception>

namespace {

bool g_halted = false;
int g_haltStatus = 0;

// Ends the loop once the main window has passed its close query and gone.
class MainWindowWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && watched == F_Main && F_Main->Closing)
            QCoreApplication::exit(0);
        return QObject::eventFilter(watched, event);
    }
};

void reportStartupFailure(const QString& what)
{
    std::fprintf(stderr, "JEX4: start-up failed: %s\n", what.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

QList<StartupWindow> StartupWindows()
{
    // The tool windows float over the main window, which therefore owns them. Windows the program
    // does not have yet join at their places in the order: the amount dialog between the log and
    // the path information; the series preview and the camera settings before the update check;
    // the camera wizard (with the series window), contrast and grayscale after the export wizard;
    // the border and resample windows before the monitor; the file manager last of all, because
    // the first showing docks it.
    return {
        {QStringLiteral("F_ErrorLog"), [] { F_ErrorLog = new TF_ErrorLog(F_Main); }},
        {QStringLiteral("F_PathInfo"), [] { F_PathInfo = new TF_PathInfo(F_Main); }},
        {QStringLiteral("F_ImageInfo"), [] { F_ImageInfo = new TF_ImageInfo(F_Main); }},
        {QStringLiteral("F_CheckForUpdates"), [] { F_CheckForUpdates = new TF_CheckForUpdates(F_Main); }},
        {QStringLiteral("F_Tracker"), [] { F_Tracker = new TF_Tracker(F_Main); }},
        {QStringLiteral("F_Histogram"), [] { F_Histogram = new TF_Histogram(F_Main); }},
        {QStringLiteral("F_CloseManager"), [] { F_CloseManager = new TF_CloseManager(F_Main); }},
        {QStringLiteral("F_SelectOrientation"), [] { F_SelectOrientation = new TF_SelectOrientation(F_Main); }},
        {QStringLiteral("F_Preview"), [] { F_Preview = new TF_Preview(F_Main); }},
        {QStringLiteral("F_Export"), [] { F_Export = new TF_Export(F_Main); }},
        {QStringLiteral("F_Notes"), [] { F_Notes = new TF_Notes(F_Main); }},
        {QStringLiteral("F_Measurements"), [] { F_Measurements = new TF_Measurements(F_Main); }},
        {QStringLiteral("F_Monitor"), [] { F_Monitor = new TF_Monitor(F_Main); }},
        {QStringLiteral("F_Setup"), [] { F_Setup = new TF_Setup(F_Main); }},
        {QStringLiteral("F_BirdView"), [] { F_BirdView = new TF_BirdView(F_Main); }},
        {QStringLiteral("F_AdjustDPI"), [] { F_AdjustDPI = new TF_AdjustDPI(F_Main); }},
        {QStringLiteral("F_Zoom"), [] { F_Zoom = new TF_Zoom(F_Main); }},
        {QStringLiteral("F_EditDrawObject"), [] { F_EditDrawObject = new TF_EditDrawObject(F_Main); }},
        {QStringLiteral("F_Progress"), [] { F_Progress = new TF_Progress(F_Main); }},
        {QStringLiteral("F_FileManager"), [] { F_FileManager = new TF_FileManager(F_Main); }},
    };
}

void CreateStartupWindows(const QStringList& arguments, const QList<StartupWindow>& windows)
{
    F_Splash = new TF_Splash;
    F_Splash->Tag = 0;
    // With a file to open the splash is made and stepped but never shown.
    if (arguments.value(0).isEmpty()) {
        F_Splash->show();
        F_Splash->repaint();
        QCoreApplication::processEvents();
        QThread::msleep(50);
    }
    QGuiApplication::setApplicationDisplayName(QStringLiteral("JEX4"));

    F_Main = new TF_Main;
    F_Main->setCommandLineArguments(arguments);
    for (const StartupWindow& w : windows) {
        w.Create();
        StepSplash();
    }
}

void ShowMainWindow()
{
    QCoreApplication::processEvents();
    if (F_Main)
        F_Main->show();
}

void DestroyStartupWindows()
{
    delete F_Splash.data();
    // The main window takes the windows it owns along; their globals clear themselves.
    delete F_Main;
    F_Main = nullptr;
    F_Measurements = nullptr;
    F_ErrorLog = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int RunProgram(const QStringList& arguments, const QList<StartupWindow>& windows, const std::function<void()>& running)
{
    g_halted = false;
    g_haltStatus = 0;
    InitSettingVariables();
    ForgetSettingsStoreState();
    // Only the main window's closing ends the program, not the splash going or a dialog closing.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // A second start hands its file to the first and ends before any window of its own. The name
    // goes over as an absolute path: the first instance works in another folder.
    TOneInstance instance;
    const QString fileName = TF_Main::CommandLineFileName(arguments);
    const QStringList handOver = fileName.isEmpty() ? QStringList() : QStringList{QFileInfo(fileName).absoluteFilePath()};
    if (instance.HandOver(handOver))
        return 0;
    // Two starts at once: the one that did not get the socket hands over after all. A first
    // instance too busy to answer leaves this start to run on its own and open the file itself.
    if (!instance.Listen()) {
        if (instance.HandOver(handOver))
            return 0;
        if (!instance.isListening())
            TF_ErrorLog::AddLog(0, QStringLiteral("Could not hand over to the running program; this one opens ")
                                       + (handOver.isEmpty() ? QStringLiteral("nothing") : handOver.first())
                                       + QStringLiteral(" itself"));
    }
    QObject::connect(&instance, &TOneInstance::OnNewInstanceLoad, &instance, [](const QStringList& handed) {
        if (F_Main && !F_Main->Closing)
            F_Main->OneInstanceNewInstanceLoad(handed);
    });

    try {
        CreateStartupWindows(arguments, windows);
        ShowMainWindow();
    } catch (const std::exception& e) {
        reportStartupFailure(QString::fromLocal8Bit(e.what()));
        DestroyStartupWindows();
        return 1;
    } catch (...) {
        reportStartupFailure(QStringLiteral("unknown exception"));
        DestroyStartupWindows();
        return 1;
    }

    int status = g_haltStatus;
    if (F_Main && F_Main->isVisible() && !g_halted) {
        MainWindowWatcher watcher;
        F_Main->installEventFilter(&watcher);
        if (running)
            QTimer::singleShot(0, qApp, running);
        status = QApplication::exec();
        if (F_Main)
            F_Main->removeEventFilter(&watcher);
    }
    DestroyStartupWindows();
    return status;
}

void Halt(int status)
{
    g_halted = true;
    g_haltStatus = status;
    QCoreApplication::exit(status);
}

bool Halted()
{
    return g_halted;
}
