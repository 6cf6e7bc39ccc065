// Arbitrary bytes through the project reader into one image window, then one repaint of what was
// read: every input must end in a read project, a partial read or a clean failure, and paint in
// what the view costs, never in a crash or a hang.
#include "platform/Dialogs.h"
#include "project/ProjectXML.h"
#include "project/TF_ErrorLog.h"
#include "workspace/TF_SMDI.h"

#include <QApplication>
#include <QByteArray>

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

TF_SMDI* window = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quiet);
    static int qtArgc = 1;
    static char name[] = "jex4_fuzz";
    static char* qtArgv[] = {name, nullptr};
    new QApplication(qtArgc, qtArgv);
    setDialogs(std::make_unique<NoDialogs>());
    window = new TF_SMDI;
    window->resize(320, 240);
    window->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    LoadProjectXMLData(window, bytes, QStringLiteral("/nonexistent/fuzz.jex4"));
    // Points and objects anywhere in the int range, at any zoom: drawn as the window would.
    window->SmoothDraw(true);
    TF_ErrorLog::ClearLog(); // the log would grow over millions of runs
    return 0;
}
