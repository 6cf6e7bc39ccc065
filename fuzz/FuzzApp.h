// What the fuzz targets that need the toolkit start from: an offscreen application with a quiet log, and dialogs
// that answer at once, so no box ever waits for a user.
#pragma once

#include "platform/Dialogs.h"

#include <QApplication>
#include <QByteArray>

#include <memory>
#include <string>

namespace fuzzing {

// Questions get the answer Esc would give, or No where the box offers No (a missing image is then
// skipped and the read goes on); nothing is chosen in a file dialog and nothing typed into a query.
class ScriptedDialogs : public Dialogs {
public:
    enum class Answer { Escape, NoWhereOffered };
    explicit ScriptedDialogs(Answer answer) : m_answer(answer) {}

    int messageDlg(const QString&, TMsgDlgType, TMsgDlgButtons buttons, int) override
    {
        if (m_answer == Answer::NoWhereOffered && buttons.contains(mbNo))
            return mrNo;
        return escapeResultOf(buttons);
    }
    void showMessage(const QString&) override {}
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    int messageDlgWithCheckBox(const QString&, const QString&, const QString&, bool&) override { return mrNo; }
    FileDialogAnswer openFile(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer openFiles(const FileDialogRequest&) override { return {}; }
    FileDialogAnswer saveFile(const FileDialogRequest&) override { return {}; }
    QString selectDirectory(const QString&, const QString&) override { return {}; }

private:
    Answer m_answer;
};

inline void quietMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

// Once per process, from LLVMFuzzerInitialize; program is the name the application goes by. Targets
// that read into a bare document need no widgets and start a core or GUI application.
template <class Application = QApplication>
void startFuzzApplication(const char* program, ScriptedDialogs::Answer answer)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    static std::string name = program;
    static int argc = 1;
    static char* argv[] = {name.data(), nullptr};
    new Application(argc, argv);
    setDialogs(std::make_unique<ScriptedDialogs>(answer));
}

} // namespace fuzzing
