// Program entry: creates the application, the main window and the windows that live for the whole
// run, then runs the event loop. Exceptions inside the loop end in the log.
#include "platform/JexApplication.h"
#include "project/TF_ErrorLog.h"
#include "shell/TF_Main.h"
#include "shell/TF_Progress.h"
#include "workspace/TF_Measurements.h"

#include <exception>

int main(int argc, char** argv)
{
    JexApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("JEX4"));
    QApplication::setOrganizationName(QStringLiteral("LUMEK"));
    app.setExceptionHandler(&TF_Main::ApplicationEventsException);

    int rc = 0;
    try {
        F_Main = new TF_Main;
        F_Main->setCommandLineArguments(QCoreApplication::arguments().mid(1));
        // A window's creation may use only those made before it; the tool windows float over
        // the main window, which therefore owns them.
        F_ErrorLog = new TF_ErrorLog(F_Main);
        QCoreApplication::processEvents();
        F_Measurements = new TF_Measurements(F_Main);
        QCoreApplication::processEvents();
        F_Progress = new TF_Progress(F_Main);
        QCoreApplication::processEvents();
        // The first showing docks the tool windows and opens the command line's file.
        F_Main->show();
        rc = app.exec();
    } catch (const std::exception&) {
        rc = 1; // start-up failed: the program ends without a window to say so
    } catch (...) {
        rc = 1;
    }
    delete F_Main; // takes its tool windows along
    F_Main = nullptr;
    return rc;
}
