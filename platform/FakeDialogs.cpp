// The fake mirrors what the real dialogs can answer, so a script that the real dialog could not
// produce (Yes from an OK box, two files from a single-file dialog) shows up as an error.
#include "platform/FakeDialogs.h"

#include "platform/Delphi.h"

#include <QtDebug>

namespace {

const char* kindName(FakeDialogs::Kind kind)
{
    switch (kind) {
    case FakeDialogs::Kind::MessageDlg: return "MessageDlg";
    case FakeDialogs::Kind::ShowMessage: return "ShowMessage";
    case FakeDialogs::Kind::InputQuery: return "InputQuery";
    case FakeDialogs::Kind::MessageDlgWithCheckBox: return "MessageDlgWithCheckBox";
    case FakeDialogs::Kind::OpenFile: return "OpenFile";
    case FakeDialogs::Kind::OpenFiles: return "OpenFiles";
    case FakeDialogs::Kind::SaveFile: return "SaveFile";
    case FakeDialogs::Kind::SelectDirectory: return "SelectDirectory";
    }
    return "?";
}

// The one answer a box with a single button (or none, which shows OK) can give.
int onlyAnswer(TMsgDlgButtons buttons)
{
    for (int b = mbYes; b <= mbYesToAll; ++b) {
        if (buttons.contains(static_cast<TMsgDlgBtn>(b)))
            return modalResultOf(static_cast<TMsgDlgBtn>(b));
    }
    return mrOk;
}

bool offers(TMsgDlgButtons buttons, int result)
{
    if (buttons.isEmpty())
        return result == mrOk;
    if (result == escapeResultOf(buttons))
        return true;
    for (int b = mbYes; b <= mbYesToAll; ++b) {
        if (buttons.contains(static_cast<TMsgDlgBtn>(b)) && modalResultOf(static_cast<TMsgDlgBtn>(b)) == result)
            return true;
    }
    return false;
}

} // namespace

void FakeDialogs::answerMessage(int modalResult)
{
    m_messages.push_back(modalResult);
}

void FakeDialogs::answerInput(const QString& value)
{
    m_inputs.push_back({true, value});
}

void FakeDialogs::cancelInput()
{
    m_inputs.push_back({false, QString()});
}

void FakeDialogs::answerCheckBox(int modalResult, bool checked)
{
    m_checks.push_back({modalResult, checked});
}

void FakeDialogs::answerFile(const QStringList& fileNames, int filterIndex)
{
    FileDialogAnswer answer;
    answer.accepted = !fileNames.isEmpty();
    answer.fileNames = fileNames;
    answer.filterIndex = filterIndex;
    m_files.push_back(answer);
}

void FakeDialogs::cancelFile()
{
    m_files.push_back(FileDialogAnswer());
}

void FakeDialogs::answerDirectory(const QString& folder)
{
    m_folders.push_back(folder);
}

void FakeDialogs::cancelCall(int n)
{
    m_cancelled.insert(n);
}

QStringList FakeDialogs::shownTexts() const
{
    QStringList texts;
    for (const Shown& s : m_shown)
        texts << s.text;
    return texts;
}

int FakeDialogs::unusedAnswers() const
{
    return static_cast<int>(m_messages.size() + m_inputs.size() + m_checks.size() + m_files.size() + m_folders.size());
}

bool FakeDialogs::beginCall(const Shown& shown)
{
    m_shown << shown;
    ++m_calls;
    return m_cancelled.count(m_calls) > 0;
}

void FakeDialogs::complain(const QString& what)
{
    m_errors << what;
    qWarning().noquote() << "FakeDialogs:" << what;
}

int FakeDialogs::messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx)
{
    Shown s{Kind::MessageDlg, messageDlgCaption(type), text, QString(), type, buttons, helpCtx, {}};
    if (beginCall(s))
        return escapeResultOf(buttons);
    if (m_messages.empty()) {
        if (buttons.count() <= 1)
            return onlyAnswer(buttons);
        complain(QStringLiteral("unscripted MessageDlg: %1").arg(text));
        return escapeResultOf(buttons);
    }
    const int result = m_messages.front();
    m_messages.pop_front();
    if (!offers(buttons, result))
        complain(QStringLiteral("MessageDlg answered %1, which its buttons do not offer: %2").arg(result).arg(text));
    return result;
}

void FakeDialogs::showMessage(const QString& text)
{
    beginCall({Kind::ShowMessage, messageDlgCaption(mtCustom), text, QString(), mtCustom, TMsgDlgButtons{mbOK}, 0, {}});
}

bool FakeDialogs::inputQuery(const QString& caption, const QString& prompt, QString& value)
{
    if (beginCall({Kind::InputQuery, caption, prompt, value, mtCustom, mbOKCancel, 0, {}}))
        return false;
    if (m_inputs.empty()) {
        complain(QStringLiteral("unscripted InputQuery: %1").arg(prompt));
        return false;
    }
    const InputAnswer answer = m_inputs.front();
    m_inputs.pop_front();
    if (answer.ok)
        value = answer.value;
    return answer.ok;
}

int FakeDialogs::messageDlgWithCheckBox(const QString& caption, const QString& text, const QString& checkText,
                                        bool& checked)
{
    if (beginCall({Kind::MessageDlgWithCheckBox, caption, text, checkText, mtWarning, mbYesNo, 0, {}}))
        return mrNo;
    if (m_checks.empty()) {
        complain(QStringLiteral("unscripted MessageDlgWithCheckBox: %1").arg(text));
        return mrNo;
    }
    const CheckAnswer answer = m_checks.front();
    m_checks.pop_front();
    if (answer.result != mrYes && answer.result != mrNo)
        complain(QStringLiteral("MessageDlgWithCheckBox answered %1, not Yes or No: %2").arg(answer.result).arg(text));
    checked = answer.checked;
    return answer.result;
}

FileDialogAnswer FakeDialogs::fileDialog(Kind kind, const FileDialogRequest& request)
{
    if (beginCall({kind, request.title, request.title, request.filter, mtCustom, TMsgDlgButtons{}, 0, request}))
        return FileDialogAnswer();
    if (m_files.empty()) {
        complain(QStringLiteral("unscripted %1: %2").arg(QLatin1String(kindName(kind)), request.title));
        return FileDialogAnswer();
    }
    FileDialogAnswer answer = m_files.front();
    m_files.pop_front();
    if (!answer.accepted)
        return FileDialogAnswer();
    if (kind != Kind::OpenFiles && answer.fileNames.size() > 1)
        complain(QStringLiteral("%1 answered with %2 files: %3").arg(QLatin1String(kindName(kind))).arg(answer.fileNames.size()).arg(request.title));
    const int filters = static_cast<int>(qtNameFilters(request.filter).size());
    if (answer.filterIndex < 1 || answer.filterIndex > std::max(1, filters))
        complain(QStringLiteral("%1 answered filter %2 of %3: %4").arg(QLatin1String(kindName(kind))).arg(answer.filterIndex).arg(filters).arg(request.title));
    // The real save dialog appends the default extension to a name that has none.
    if (kind == Kind::SaveFile && !request.defaultExt.isEmpty()) {
        for (QString& name : answer.fileNames) {
            if (ExtractFileExt(name).isEmpty())
                name += QLatin1Char('.') + request.defaultExt;
        }
    }
    return answer;
}

FileDialogAnswer FakeDialogs::openFile(const FileDialogRequest& request)
{
    return fileDialog(Kind::OpenFile, request);
}

FileDialogAnswer FakeDialogs::openFiles(const FileDialogRequest& request)
{
    return fileDialog(Kind::OpenFiles, request);
}

FileDialogAnswer FakeDialogs::saveFile(const FileDialogRequest& request)
{
    return fileDialog(Kind::SaveFile, request);
}

QString FakeDialogs::selectDirectory(const QString& title, const QString& initialDir)
{
    if (beginCall({Kind::SelectDirectory, title, title, initialDir, mtCustom, TMsgDlgButtons{}, 0, {}}))
        return QString();
    if (m_folders.empty()) {
        complain(QStringLiteral("unscripted SelectDirectory: %1").arg(title));
        return QString();
    }
    const QString folder = m_folders.front();
    m_folders.pop_front();
    return folder;
}
