// The entry list of the system-message log, apart from the window that shows it.
#include "project/ErrorLog.h"

#include "platform/Dialogs.h"
#include "platform/TextFile.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QThread>

namespace {

std::vector<std::unique_ptr<TErrorLogMessage>>& entryList()
{
    static std::vector<std::unique_ptr<TErrorLogMessage>> entries;
    return entries;
}

ErrorLog::Listener& currentListener()
{
    static ErrorLog::Listener current;
    return current;
}

// Work for the entry list must run on the GUI thread; true when it was handed there.
template <class F>
bool handedToGuiThread(F&& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return false;
    QMetaObject::invokeMethod(app, std::forward<F>(work), Qt::QueuedConnection);
    return true;
}

// The locale's long time format without its time-zone field, which the log has never shown and
// which the saved code page could not always hold.
QString longTimeFormat()
{
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't') {
            while (!result.isEmpty() && result.back().isSpace())
                result.chop(1);
            continue;
        }
        result += c;
    }
    return result.trimmed();
}

} // namespace

namespace ErrorLog {

void AddLog(int AType, const QString& AMessage)
{
    if (handedToGuiThread([AType, AMessage] { AddLog(AType, AMessage); }))
        return;
    auto entry = std::make_unique<TErrorLogMessage>();
    entry->AType = AType;
    entry->ADate = QDateTime::currentDateTime();
    entry->AMessage = AMessage;
    TErrorLogMessage* shown = entry.get();
    entryList().push_back(std::move(entry));
    if (currentListener().added)
        currentListener().added(shown);
}

void Error(const QString& AMessage, bool DisplayErrorDialog)
{
    if (handedToGuiThread([AMessage, DisplayErrorDialog] { Error(AMessage, DisplayErrorDialog); }))
        return;
    AddLog(0, AMessage);
    if (DisplayErrorDialog)
        MessageDlg(AMessage, mtError, TMsgDlgButtons{mbOK});
}

const std::vector<std::unique_ptr<TErrorLogMessage>>& Entries()
{
    return entryList();
}

void ClearLog()
{
    // Views point at the entries: they let go first.
    if (currentListener().clearing)
        currentListener().clearing();
    entryList().clear();
}

QString DateTimeText(const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(when.time(), longTimeFormat());
}

QStringList LogLines()
{
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines;
    for (const auto& entry : entryList()) {
        const QString line = QString::number(entry->AType) + QLatin1Char('\t') + DateTimeText(entry->ADate)
            + QLatin1Char('\t') + entry->AMessage;
        lines += line.split(lineBreak);
    }
    return lines;
}

int SaveLog(const QString& fileName)
{
    QString reason;
    if (writeTextFile(fileName, LogLines(), &reason) == 0)
        return 0;
    Error(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, reason).trimmed(), false);
    return -1;
}

void SetListener(Listener listener)
{
    currentListener() = std::move(listener);
}

} // namespace ErrorLog
