// Arbitrary bytes through the project reader into a bare project document: every input must end
// in a read project, a partial read or a clean failure, never in a crash or a hang.
#include "platform/Dialogs.h"
#include "project/ProjectDocument.h"
#include "project/ProjectIO.h"
#include "project/ProjectXML.h"
#include "project/TF_ErrorLog.h"

#include <QByteArray>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

// Answers No to every question, so a missing image is skipped and the read goes on.
class NoDialogs : public Dialogs {
public:
    int messageDlg(const QString&, TMsgDlgType, TMsgDlgButtons buttons, int) override
    {
        return buttons.contains(mbNo) ? mrNo : escapeResultOf(buttons);
    }
    void showMessage(const QString&) override {}
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    int messageDlgWithCheckBox(const QString&, const QString&, const QString&, bool&) override { return mrNo; }
    FileDialogAnswer openFile(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer openFiles(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer saveFile(const FileDialogRequest&) override { return {}; }
    QString selectDirectory(const QString&, const QString&) override { return {}; }
};

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

ProjectDocument* document = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    static int qtArgc = 1;
    static char name[] = "jex4_fuzz";
    static char* qtArgv[] = {name, nullptr};
    new QGuiApplication(qtArgc, qtArgv); // pictures
    setDialogs(std::make_unique<NoDialogs>());
    document = new ProjectDocument;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    ProjectIOHooks hooks;
    const int read = LoadProjectXMLData(*document, bytes, QStringLiteral("/nonexistent/fuzz.jex4"), hooks);
    if (read != ProjectRead && read != ProjectReadDamaged && read != ProjectReadFailed)
        std::abort(); // nothing cancels a bare read
    TF_ErrorLog::ClearLog(); // the log would grow over millions of runs
    return 0;
}
