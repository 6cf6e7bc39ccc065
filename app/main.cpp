// Program entry: the application object, whose event loop logs every exception that reaches it,
// and the program's start-up, run and shut-down.
#include "platform/JexApplication.h"
#include "shell/Startup.h"
#include "shell/TF_Main.h"

int main(int argc, char** argv)
{
    JexApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("JEX4"));
    QApplication::setOrganizationName(QStringLiteral("LUMEK"));
    app.setExceptionHandler(&TF_Main::ApplicationEventsException);
    return RunProgram(QCoreApplication::arguments().mid(1));
}
