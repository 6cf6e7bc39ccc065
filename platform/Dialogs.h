// Answers to modal questions: message boxes, input boxes and file and folder dialogs. Everything
// asks through dialogs(), so tests put a FakeDialogs in place and script the answers.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <memory>

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll };

// A set of buttons, written like the Delphi set: TMsgDlgButtons{mbYes, mbNo}.
class TMsgDlgButtons {
public:
    constexpr TMsgDlgButtons() = default;
    constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons)
    {
        for (TMsgDlgBtn b : buttons)
            m_bits |= 1u << b;
    }
    constexpr bool contains(TMsgDlgBtn b) const { return (m_bits >> b) & 1u; }
    constexpr bool isEmpty() const { return m_bits == 0; }
    constexpr int count() const
    {
        int n = 0;
        for (unsigned bits = m_bits; bits; bits &= bits - 1)
            ++n;
        return n;
    }
    constexpr unsigned bits() const { return m_bits; }
    friend constexpr bool operator==(TMsgDlgButtons a, TMsgDlgButtons b) { return a.m_bits == b.m_bits; }

private:
    unsigned m_bits = 0;
};

inline constexpr TMsgDlgButtons mbYesNo{mbYes, mbNo};
inline constexpr TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
inline constexpr TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
inline constexpr TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};

// Modal results, with the numbers callers store and compare.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrAll = 8;
inline constexpr int mrNoToAll = 9;
inline constexpr int mrYesToAll = 10;

// The modal result a button gives.
int modalResultOf(TMsgDlgBtn button);
// The answer of a message box closed with Esc or its close box: Cancel when offered, else No, else
// OK, else mrCancel.
int escapeResultOf(TMsgDlgButtons buttons);
// The box's caption for its type: "Warning", "Error", "Information", "Confirm"; the application
// title for mtCustom.
QString messageDlgCaption(TMsgDlgType type);

// A file filter in the form "Text files|*.txt|All|*.*" as name filters for a Qt file dialog:
// {"Text files (*.txt)", "All (*)"}. Patterns split at ';' (blanks around them dropped); "*.*"
// becomes "*" since on Linux it would miss names without a dot. A trailing name without patterns
// gets "*".
QStringList qtNameFilters(const QString& delphiFilter);

// One file dialog request. Filter indices count from 1, as the callers' tables do.
struct FileDialogRequest {
    QString title;
    QString filter;           // "Name|*.ext|Name|*.a;*.b"
    QString initialDir;       // empty: the dialog's own choice
    QString fileName;         // name preset in the dialog
    QString defaultExt;       // without dot; appended to a saved name that has no extension
    int filterIndex = 1;      // filter selected when the dialog opens
    bool overwritePrompt = true; // save only: ask before replacing an existing file
    // Save only: called when the user picks another filter with the new index and the current name;
    // what it returns becomes the name in the dialog (empty: leave the name alone).
    std::function<QString(int filterIndex, const QString& currentName)> onTypeChange;
};

struct FileDialogAnswer {
    bool accepted = false;   // false: cancelled
    QStringList fileNames;   // one name, or several from a multi-select open
    int filterIndex = 1;     // the filter chosen when the dialog closed
    QString fileName() const { return fileNames.isEmpty() ? QString() : fileNames.first(); }
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Returns the modal result of the pressed button (mrYes, mrNo, ...). helpCtx is the help topic.
    virtual int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx) = 0;
    // An information box with OK, captioned with the application title.
    virtual void showMessage(const QString& text) = 0;
    // Asks for one line of text; true with `value` changed on OK, false with it untouched on Cancel.
    virtual bool inputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
    // A warning box with Yes and No and a check box under the text. Returns mrYes when Yes was
    // pressed and mrNo otherwise; `checked` holds the box's state on entry and receives it on return.
    virtual int messageDlgWithCheckBox(const QString& caption, const QString& text, const QString& checkText,
                                       bool& checked) = 0;

    virtual FileDialogAnswer openFile(const FileDialogRequest& request) = 0;
    virtual FileDialogAnswer openFiles(const FileDialogRequest& request) = 0; // multi-select
    virtual FileDialogAnswer saveFile(const FileDialogRequest& request) = 0;
    // The chosen folder, empty when cancelled.
    virtual QString selectDirectory(const QString& title, const QString& initialDir) = 0;

    // Short forms. Each gives an empty result when cancelled.
    QString openFile(const QString& title, const QString& filter, const QString& initialDir = {});
    QStringList openFiles(const QString& title, const QString& filter, const QString& initialDir = {});
    // `filterIndex` (optional) receives the chosen filter, 1-based.
    QString saveFile(const QString& title, const QString& filter, const QString& defaultExt,
                     const QString& initialName = {}, int* filterIndex = nullptr);
};

// The dialogs the program shows. Made on first use (the real ones) unless setDialogs put another.
Dialogs& dialogs();
// Puts `replacement` in place (tests: a FakeDialogs); nullptr goes back to the real dialogs.
// Returns the previous one.
std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> replacement);

// The real dialogs, on Qt widgets, parented to the active window.
class WidgetDialogs : public Dialogs {
public:
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
};

class QWidget;

// A window that stays on top of the program's windows (the progress and busy boxes, the log
// window, the splash) gives way to questions: while any modal window is up it stays on top no
// more, so the question stands above it and takes mouse and keys; when the last question has gone
// it stays on top again. Questions are never parented to such a window, which would carry them
// down with it.
void giveWayToQuestions(QWidget* window);

// The Delphi-named entry points the program's code calls.
int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx = 0);
void ShowMessage(const QString& text);
bool InputQuery(const QString& caption, const QString& prompt, QString& value);
// The entered text, or `defaultValue` when cancelled.
QString InputBox(const QString& caption, const QString& prompt, const QString& defaultValue);
