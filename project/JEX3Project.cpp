// Older project files (.jex). The format is not read or written yet: both roads say so and change
// nothing, so no window, file or list ever takes a name it does not hold.
#include "project/JEX3Project.h"

#include "platform/Dialogs.h"
#include "project/TF_ErrorLog.h"

TF_SMDI* ImportJEX3Project(const QString& AFilename, bool Interactive)
{
    TF_ErrorLog::AddLog(0, QStringLiteral("Cannot import JEX3 project ") + AFilename);
    if (Interactive)
        MessageDlg(QStringLiteral("JEX3 projects (.jex) cannot be opened by this version yet:\r\n") + AFilename
                       + QStringLiteral("\r\n\r\nNothing was opened."),
                   mtInformation, TMsgDlgButtons{mbOK});
    return nullptr;
}

int ExportJEX3Project(TF_SMDI* window, const QString& AFilename)
{
    Q_UNUSED(window);
    TF_ErrorLog::AddLog(0, QStringLiteral("Error saving project to ") + AFilename);
    MessageDlg(QStringLiteral("JEX3 projects (.jex) cannot be written by this version yet:\r\n") + AFilename
                   + QStringLiteral("\r\n\r\nThe project was not saved. Please save it as a JEX4 project instead."),
               mtInformation, TMsgDlgButtons{mbOK});
    return -1;
}
