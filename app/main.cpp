// Program entry: creates the application and the main window and runs the message loop.
#include "platform/JexApplication.h"
#include "shell/TF_Main.h"

int main(int argc, char** argv)
{
    JexApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("JEX4"));
    QApplication::setOrganizationName(QStringLiteral("LUMEK"));
    F_Main = new TF_Main;
    F_Main->show();
    const int rc = app.exec();
    delete F_Main;
    F_Main = nullptr;
    return rc;
}
