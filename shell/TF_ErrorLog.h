// The system-message log's tool window: shows the log's entries (project/ErrorLog) and can save
// them as tab-separated text or clear them.
//
// The entries belong to the log itself, not to the window: the static members are the log's own
// routines and work at any time, with or without a window. A window shows every entry made so far
// when it is created and each new one as it comes.
#pragma once

#include "project/ErrorLog.h"

#include <QDateTime>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QAction;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

class TF_ErrorLog : public QWidget {
    Q_OBJECT
public:
    // `parent` is the main window: the log floats above it as a tool window.
    explicit TF_ErrorLog(QWidget* parent = nullptr);
    ~TF_ErrorLog() override;

    // Records a message with the current date and time; every log window appends it as its last
    // node and, once the event loop runs, selects the newest node alone and scrolls it into view
    // (one layout of the tree for however many messages came meanwhile).
    static void AddLog(int AType, const QString& AMessage);
    // AddLog with type 0; with DisplayErrorDialog also an error box with the text and OK.
    static void Error(const QString& AMessage, bool DisplayErrorDialog);

    // The entries in the order they were made.
    static const std::vector<std::unique_ptr<TErrorLogMessage>>& Entries();
    // Frees every entry and empties every log window, without asking.
    static void ClearLog();

    // The "Date/Time" text: the user's short date and long time (without time zone).
    static QString DateTimeText(const QDateTime& when);
    // One line per entry: type, tab, date and time, tab, message; a message with line breaks
    // continues on further lines.
    static QStringList LogLines();
    // Writes LogLines as Windows-1252 text with CR LF line ends, replacing the file atomically.
    // 0 written; -1 failed, with a failure entry in the log and an existing file left as it was.
    static int SaveLog(const QString& fileName);

    QTreeWidget* VST_Log = nullptr;
    QMenu* PM_LOg = nullptr;
    QAction* PM_save = nullptr;
    QAction* PM_Clear = nullptr;

public slots:
    void PM_saveClick();  // asks for a file, then SaveLog
    void PM_ClearClick(); // "Clear system log?"; Yes clears

private:
    void createTree();
    void createPopupMenu();
    void appendNode(TErrorLogMessage* entry);
    void showNewest();
    void clearTree();

    std::array<QIcon, 4> IL_Log; // by AType; types without an icon show none
    bool m_showNewestPosted = false;
};

// The one log window of the program, created at start-up; none before that.
extern TF_ErrorLog* F_ErrorLog;
