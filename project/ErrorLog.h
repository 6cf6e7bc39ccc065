// The system-message log's entries: typed, time-stamped diagnostics of the whole program. The
// entries belong to the log, not to any window, so the model, batch code and tests log without
// one; the log window (TF_ErrorLog) listens for new entries and shows them.
//
// AddLog and Error work at any time, before any window exists (start-up) and from other threads
// (they hand the entry to the GUI thread).
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// One log entry.
class TErrorLogMessage {
public:
    int AType = 0;     // 0 failure, 2 completed step or information, 3 note or warning; the icon number
    QDateTime ADate;   // when the entry was made
    QString AMessage;
};

namespace ErrorLog {

// Records a message with the current date and time and tells the listener.
void AddLog(int AType, const QString& AMessage);
// AddLog with type 0; with DisplayErrorDialog also an error box with the text and OK.
void Error(const QString& AMessage, bool DisplayErrorDialog);

// The entries in the order they were made.
const std::vector<std::unique_ptr<TErrorLogMessage>>& Entries();
// Frees every entry, without asking; the listener is told first, while they still exist.
void ClearLog();

// The "Date/Time" text: the user's short date and long time (without time zone).
QString DateTimeText(const QDateTime& when);
// One line per entry: type, tab, date and time, tab, message; a message with line breaks
// continues on further lines.
QStringList LogLines();
// Writes LogLines as Windows-1252 text with CR LF line ends, replacing the file atomically.
// 0 written; -1 failed, with a failure entry in the log and an existing file left as it was.
int SaveLog(const QString& fileName);

// Whoever shows the log: told of each new entry and before the entries are freed. One listener
// for the program; setting another replaces it.
struct Listener {
    std::function<void(TErrorLogMessage*)> added;
    std::function<void()> clearing;
};
void SetListener(Listener listener);

} // namespace ErrorLog
