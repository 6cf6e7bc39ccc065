// Scripted dialogs for tests: answers come from per-kind queues, every question shown is recorded,
// and a call the script does not cover (or an answer the real dialog could not give) is recorded
// as an error the test can assert on.
#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <set>

class FakeDialogs : public Dialogs {
public:
    enum class Kind { MessageDlg, ShowMessage, InputQuery, MessageDlgWithCheckBox, OpenFile, OpenFiles, SaveFile, SelectDirectory };

    // One question as it was shown.
    struct Shown {
        Kind kind;
        QString caption;         // box caption or dialog title
        QString text;            // message box: the message; input: the prompt; file and folder: the title
        QString detail;          // input: the preset value; check box: its label; file: the filter; folder: the start
        TMsgDlgType type = mtCustom;
        TMsgDlgButtons buttons;
        int helpCtx = 0;
        FileDialogRequest request; // file dialogs only
    };

    // --- Script: each call of a kind takes the next answer of that kind.
    void answerMessage(int modalResult);
    void answerInput(const QString& value);   // OK with this text
    void cancelInput();                       // Cancel
    void answerCheckBox(int modalResult, bool checked);
    // One name for openFile/saveFile, several for openFiles; an empty list is a cancel.
    void answerFile(const QStringList& fileNames, int filterIndex = 1);
    void answerFile(const QString& fileName, int filterIndex = 1) { answerFile(QStringList{fileName}, filterIndex); }
    void cancelFile();
    void answerDirectory(const QString& folder); // empty: cancelled

    // The n-th call (1-based, counted over all kinds, ShowMessage included) is cancelled as the
    // user would (Esc: see escapeResultOf), without taking a scripted answer.
    void cancelCall(int n);

    // --- What happened.
    const QList<Shown>& shown() const { return m_shown; }
    QStringList shownTexts() const;           // the `text` of each question, in order
    int callCount() const { return m_calls; }
    // Unscripted calls and answers the real dialog could not give, one line each.
    const QStringList& errors() const { return m_errors; }
    // Number of scripted answers no call has taken yet.
    int unusedAnswers() const;

    // --- Dialogs
    int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx) override;
    void showMessage(const QString& text) override;
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    int messageDlgWithCheckBox(const QString& caption, const QString& text, const QString& checkText,
                               bool& checked) override;
    FileDialogAnswer openFile(const FileDialogRequest& request) override;
    FileDialogAnswer openFiles(const FileDialogRequest& request) override;
    FileDialogAnswer saveFile(const FileDialogRequest& request) override;
    QString selectDirectory(const QString& title, const QString& initialDir) override;
    using Dialogs::openFile;
    using Dialogs::openFiles;
    using Dialogs::saveFile;

private:
    struct InputAnswer { bool ok; QString value; };
    struct CheckAnswer { int result; bool checked; };

    bool beginCall(const Shown& shown); // records; true when this call is to be cancelled
    FileDialogAnswer fileDialog(Kind kind, const FileDialogRequest& request);
    void complain(const QString& what);

    QList<Shown> m_shown;
    QStringList m_errors;
    int m_calls = 0;
    std::set<int> m_cancelled;
    std::deque<int> m_messages;
    std::deque<InputAnswer> m_inputs;
    std::deque<CheckAnswer> m_checks;
    std::deque<FileDialogAnswer> m_files;
    std::deque<QString> m_folders;
};
