// The link to RAXO: framing of its messages, the socket's life, and the commands.
#include "shell/RAXOLink.h"

#include "platform/Cp1252.h"
#include "platform/Delphi.h"
#include "platform/Dialogs.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "project/TJEXObject.h"
#include "shell/TF_ErrorLog.h"
#include "workspace/HelpersWindows.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTcpSocket>
#include <QTimer>
#include <QToolButton>

#include <exception>
#include <utility>

namespace {

RAXOLink* g_current = nullptr;

const QString kSender = QStringLiteral("RAXO");
const QByteArray kSenderBytes = QByteArrayLiteral("RAXO");

// A line of outside input, cut short for the log.
QString quoted(const QString& text)
{
    return QLatin1Char('"') + (text.size() > 60 ? text.left(57) + QStringLiteral("...") : text) + QLatin1Char('"');
}

} // namespace

// ---- messages ----------------------------------------------------------------------------------

QString RAXOMessage::datagram() const
{
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

int RAXOMessageParser::lineCount(const QString& command)
{
    if (command == QLatin1String("OPEN"))
        return 5;
    if (command == QLatin1String("DRAGRING") || command == QLatin1String("REFSAM"))
        return 9;
    return 0;
}

void RAXOMessageParser::feed(const QByteArray& bytes)
{
    m_endOfBurst = false;
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    while (p < end) {
        if (m_skipLF) {
            m_skipLF = false;
            if (*p == '\n') {
                ++p;
                continue;
            }
        }
        // The text up to the next line end goes in one piece.
        const char* stop = p;
        while (stop < end && *stop != '\r' && *stop != '\n')
            ++stop;
        if (!m_discarding) {
            const qsizetype room = MaxLineBytes - m_partial.size();
            if (stop - p > room) {
                problem(QStringLiteral("Line from RAXO longer than %1 bytes ignored").arg(MaxLineBytes));
                m_partial = QByteArray();
                m_discarding = true;
            } else {
                m_partial.append(p, stop - p);
            }
        }
        if (stop == end)
            break;
        m_skipLF = *stop == '\r';
        endLine();
        p = stop + 1;
    }
}

qsizetype RAXOMessageParser::messageLength(const Line& command)
{
    const int need = command.overlong ? 0 : lineCount(command.text);
    return need == 0 ? 3 : need; // unknown commands: the link ignores them
}

void RAXOMessageParser::endLine()
{
    const bool overlong = std::exchange(m_discarding, false);
    if (m_messageLines == 0) {
        // Between messages: a blank line carries nothing, stray text is only counted for its report,
        // so neither is kept, however much of it comes.
        if (!overlong && m_partial.isEmpty())
            return;
        if (overlong || m_partial != kSenderBytes) {
            if (m_strayLines++ == 0)
                m_strayFirst = Line{overlong ? QString() : Cp1252::toUnicode(m_partial), overlong};
            m_partial.resize(0);
            return;
        }
        endStray();
    }
    // A message's lines are kept whatever they hold, blank and sender mark included.
    Line line{overlong ? QString() : Cp1252::toUnicode(m_partial), overlong};
    m_partial.resize(0); // keeps its room for the next line
    if (++m_messageLines == 3)
        m_messageTake = messageLength(line);
    if (m_messageLines == m_messageTake)
        m_messageLines = m_messageTake = 0;
    m_lineBytes += line.text.size();
    m_lines << std::move(line);
}

void RAXOMessageParser::endStray()
{
    if (m_strayLines == 0)
        return;
    problem(QStringLiteral("Text from RAXO without its sender mark ignored (%1 line(s) from ").arg(m_strayLines)
            + (m_strayFirst.overlong ? QStringLiteral("an overlong line") : quoted(m_strayFirst.text)) + QLatin1Char(')'));
    m_strayLines = 0;
    m_strayFirst = Line{};
}

void RAXOMessageParser::removeLines(qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        m_lineBytes -= m_lines[i].text.size();
    m_lines.remove(0, count);
}

void RAXOMessageParser::problem(const QString& text)
{
    if (m_problems.size() < MaxProblems)
        m_problems << text;
    else
        ++m_moreProblems;
}

void RAXOMessageParser::skipLines(qsizetype count, const QString& why)
{
    count = qMin(count, m_lines.size());
    if (count <= 0)
        return;
    problem(why + QStringLiteral(" (%1 line(s) from ").arg(count)
            + (m_lines.first().overlong ? QStringLiteral("an overlong line") : quoted(m_lines.first().text))
            + QLatin1Char(')'));
    removeLines(count);
}

std::optional<RAXOMessage> RAXOMessageParser::next()
{
    // Only messages are held, each starting with its sender mark; the last may still lack lines.
    while (!m_lines.isEmpty()) {
        if (m_lines.size() == m_messageLines) { // the message being received
            if (!m_endOfBurst)
                return std::nullopt;
            skipLines(m_lines.size(), QStringLiteral("Incomplete message from RAXO ignored"));
            m_messageLines = m_messageTake = 0;
            continue;
        }
        const qsizetype take = messageLength(m_lines[2]);
        bool overlong = false;
        for (qsizetype i = 0; i < take; ++i)
            overlong = overlong || m_lines[i].overlong;
        if (overlong) {
            skipLines(take, QStringLiteral("Message from RAXO with an overlong line ignored"));
            continue;
        }
        RAXOMessage message;
        for (qsizetype i = 0; i < take; ++i)
            message.lines << m_lines[i].text;
        removeLines(take);
        return message;
    }
    return std::nullopt;
}

void RAXOMessageParser::flush()
{
    if (m_discarding || !m_partial.isEmpty())
        endLine();
    m_endOfBurst = true;
}

void RAXOMessageParser::clear()
{
    m_partial = QByteArray();
    m_lines = QList<Line>();
    m_lineBytes = 0;
    m_skipLF = false;
    m_discarding = false;
    m_endOfBurst = false;
    m_messageLines = m_messageTake = 0;
    m_strayLines = 0;
    m_strayFirst = Line{};
}

void RAXOMessageParser::release()
{
    // clear() on a list keeps its capacity; a fresh one gives the burst's memory back.
    if (m_lines.isEmpty())
        m_lines = QList<Line>();
    if (m_partial.isEmpty())
        m_partial = QByteArray();
    else
        m_partial.squeeze();
}

QStringList RAXOMessageParser::takeProblems()
{
    endStray();
    QStringList problems;
    problems.swap(m_problems);
    if (m_moreProblems > 0)
        problems << QStringLiteral("%1 more problem(s) with input from RAXO not listed").arg(m_moreProblems);
    m_moreProblems = 0;
    return problems;
}

// ---- the link ----------------------------------------------------------------------------------

RAXOLink::RAXOLink(QObject* parent)
    : QObject(parent)
{
    Clock = [] {
        static const QElapsedTimer since = [] {
            QElapsedTimer t;
            t.start();
            return t;
        }();
        return since.elapsed();
    };
    TCP = new QTcpSocket(this);
    // A full buffer stops the socket reading: the peer waits instead of our memory growing.
    TCP->setReadBufferSize(ReadBufferBytes);
    T_TCP = new QTimer(this);
    T_TCP->setInterval(ReconnectInterval);
    m_quiet = new QTimer(this);
    m_quiet->setSingleShot(true);
    m_quiet->setInterval(QuietInterval);

    connect(T_TCP, &QTimer::timeout, this, &RAXOLink::T_TCPTimer);
    connect(TCP, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState)
            TCPConnecting();
    });
    connect(TCP, &QAbstractSocket::connected, this, &RAXOLink::TCPConnect);
    connect(TCP, &QAbstractSocket::disconnected, this, &RAXOLink::TCPDisconnect);
    connect(TCP, &QAbstractSocket::errorOccurred, this, &RAXOLink::TCPError);
    connect(TCP, &QIODevice::readyRead, this, &RAXOLink::TCPRead);
    connect(m_quiet, &QTimer::timeout, this, [this] {
        if (m_handling) { // a command is still running; try again when it is done
            m_quiet->start();
            return;
        }
        if (TCP->bytesAvailable() > 0) { // not quiet after all
            postDrain();
            return;
        }
        m_parser.flush();
        drain();
    });
    g_current = this;
}

RAXOLink::~RAXOLink()
{
    // No status updates into windows that may already be gone.
    disconnect(TCP, nullptr, this, nullptr);
    TCP->abort();
    if (g_current == this)
        g_current = nullptr;
}

RAXOLink* RAXOLink::Current()
{
    return g_current;
}

bool RAXOLink::Connected() const
{
    return m_connected;
}

bool RAXOLink::SetAddress(const QString& address)
{
    if (TCP->state() == QAbstractSocket::ConnectedState) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Can't change value while socket is active"));
        return false;
    }
    m_address = address;
    return true;
}

bool RAXOLink::SetPort(int port)
{
    if (TCP->state() == QAbstractSocket::ConnectedState) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Can't change value while socket is active"));
        return false;
    }
    // A stored value comes from outside: cut to 16 bits it would name some other port.
    if (port < 1 || port > 65535) {
        TF_ErrorLog::AddLog(0, QStringLiteral("RAXO port %1 is no TCP port; port %2 is kept").arg(port).arg(m_port));
        return false;
    }
    m_port = port;
    return true;
}

void RAXOLink::SetStatusWidgets(QLabel* panel, QWidget* connectedIcon, QWidget* disconnectedIcon)
{
    m_panel = panel;
    m_connectedIcon = connectedIcon;
    m_disconnectedIcon = disconnectedIcon;
}

void RAXOLink::setStatus(const QString& text, bool connected)
{
    m_statusText = text;
    m_connected = connected;
    if (m_panel)
        m_panel->setText(text);
    if (m_connectedIcon)
        m_connectedIcon->setVisible(connected);
    if (m_disconnectedIcon)
        m_disconnectedIcon->setVisible(!connected);
    emit statusChanged();
}

bool RAXOLink::Send(const QByteArray& bytes)
{
    if (TCP->state() != QAbstractSocket::ConnectedState)
        return false;
    return TCP->write(bytes) == bytes.size();
}

QByteArray RAXOLink::UpdateRequest()
{
    return QByteArrayLiteral("JEX\r\nREQUESTUPDATE\r\n\r\n");
}

bool RAXOLink::RequestR5Update()
{
    return Send(UpdateRequest());
}

// ---- socket handlers ---------------------------------------------------------------------------

void RAXOLink::T_TCPTimer()
{
    if (TCP->state() == QAbstractSocket::UnconnectedState && SettingTCPIPAutoConnect)
        TCP->connectToHost(m_address, quint16(m_port));
}

void RAXOLink::TCPConnecting()
{
    setStatus(QStringLiteral("      Waiting for connection with ") + m_address, false);
}

void RAXOLink::TCPConnect()
{
    reportProblems();
    m_parser.clear();
    // A new connection is a new dialogue: RAXO's first message must not be taken for a repeat of
    // the last one before the break.
    OldDatagram.clear();
    setStatus(QStringLiteral("      Connected to RAXO5 at ") + m_address, true);
    RequestR5Update();
}

void RAXOLink::TCPDisconnect()
{
    m_quiet->stop();
    reportProblems();
    m_parser.clear();
    setStatus(QStringLiteral("      Disconnected"), false);
    for (TF_SMDI* window : ImageWindows())
        window->P_UpdateRAXO->hide();
}

void RAXOLink::TCPError()
{
    // Refused or broken connections are retried by the timer without a word.
    if (TCP->state() != QAbstractSocket::UnconnectedState)
        TCP->abort();
}

void RAXOLink::TCPRead()
{
    // Loading a project processes events; what arrives meanwhile is not acted on.
    if (ProjectLoading) {
        dropInput();
        return;
    }
    // Commands run after this handler has returned: the socket reports no further reads while its
    // read handler runs, and a command that loads a project must see (and drop) what comes meanwhile.
    postDrain();
}

void RAXOLink::postDrain()
{
    if (m_drainPosted)
        return;
    m_drainPosted = true;
    QMetaObject::invokeMethod(this, &RAXOLink::drain, Qt::QueuedConnection);
}

void RAXOLink::dropInput()
{
    qint64 dropped = 0;
    while (TCP->bytesAvailable() > 0) {
        const QByteArray bytes = TCP->read(ReadBufferBytes);
        if (bytes.isEmpty())
            break;
        dropped += bytes.size();
    }
    if (dropped == 0 && !m_parser.hasPending())
        return;
    m_parser.clear();
    if (!m_dropLogged) // once per load, however much comes
        TF_ErrorLog::AddLog(3, QStringLiteral("Message from RAXO dropped while a project loads"));
    m_dropLogged = true;
}

void RAXOLink::drain()
{
    m_drainPosted = false;
    if (m_handling)
        return; // the running command's loop goes on once it is done
    if (ProjectLoading) {
        dropInput();
        return;
    }
    m_dropLogged = false;
    m_handling = true;
    int handled = 0;
    qint64 read = 0;
    const qint64 turnStart = Clock();
    const auto turnExpired = [&] { return Clock() - turnStart > MaxTurnMs; };
    while (handled < MaxMessagesPerTurn && !turnExpired()) {
        std::optional<RAXOMessage> message = m_parser.next();
        if (!message) {
            // Only a parser without a complete message takes more: then it holds at most the start of
            // one, and after the piece fewer lines than half a piece.
            if (read >= MaxBytesPerTurn || TCP->bytesAvailable() <= 0)
                break;
            const QByteArray bytes = TCP->read(ReadChunkBytes);
            if (bytes.isEmpty())
                break;
            read += bytes.size();
            m_parser.feed(bytes);
            continue;
        }
        ++handled;
        try {
            HandleMessage(*message);
        } catch (const std::exception& e) {
            TF_ErrorLog::AddLog(0, QStringLiteral("RAXO command ") + message->command() + QStringLiteral(" failed: ")
                                       + QString::fromLocal8Bit(e.what()));
        }
        if (ProjectLoading) { // something the command did is loading a project
            m_handling = false;
            dropInput();
            return;
        }
    }
    m_handling = false;
    if (handled >= MaxMessagesPerTurn || turnExpired() || TCP->bytesAvailable() > 0) {
        // More is there: the event loop runs first, then the next turn.
        postDrain();
        return;
    }
    // The input has run dry: the end of a burst.
    reportProblems();
    if (m_parser.hasPending()) {
        m_quiet->start();
    } else {
        m_quiet->stop();
        m_parser.release();
    }
}

void RAXOLink::reportProblems()
{
    for (const QString& problem : m_parser.takeProblems())
        TF_ErrorLog::AddLog(3, problem);
    if (m_unknownCommands == 1)
        TF_ErrorLog::AddLog(3, QStringLiteral("Unknown command from RAXO ignored: ") + quoted(m_lastUnknown));
    else if (m_unknownCommands > 1)
        TF_ErrorLog::AddLog(3, QStringLiteral("%1 unknown commands from RAXO ignored, the last: ").arg(m_unknownCommands)
                                   + quoted(m_lastUnknown));
    m_unknownCommands = 0;
    m_lastUnknown.clear();
}

// ---- commands ----------------------------------------------------------------------------------

void RAXOLink::HandleMessage(const RAXOMessage& message)
{
    const QString datagram = message.datagram();
    if (datagram == OldDatagram)
        return;
    OldDatagram = datagram;
    const QStringList& l = message.lines;
    if (l.value(0) != kSender)
        return;
    const QString command = message.command();
    if (command == QLatin1String("OPEN") && l.size() >= 5)
        DoOpen(l[3], l[4]);
    else if (command == QLatin1String("DRAGRING") && l.size() >= 9)
        DoDragRing(l);
    else if (command == QLatin1String("REFSAM") && l.size() >= 9)
        DoRefSam(l);
    else { // the link ignores other commands; counted for one line in the log per burst
        ++m_unknownCommands;
        m_lastUnknown = command;
    }
}

bool RAXOLink::FindWindow(const QString& fileName, const QString& guid, TF_SMDI*& window, TPath*& path)
{
    FindPathByGUID(guid, window, path);
    if (!window) {
        path = nullptr;
        window = FindProjectWindow(fileName);
    }
    return window != nullptr;
}

void RAXOLink::showWindow(TF_SMDI* window)
{
    if (QMdiSubWindow* frame = window->mdiFrame()) {
        if (frame->isMinimized())
            frame->showNormal();
        if (QMdiArea* area = frame->mdiArea())
            area->setActiveSubWindow(frame);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void RAXOLink::DoOpen(const QString& fileName, const QString& guid)
{
    TF_SMDI* window = nullptr;
    TPath* path = nullptr;
    if (FindWindow(fileName, guid, window, path)) {
        showWindow(window);
        RequestR5Update();
        return;
    }
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.exists() || info.isDir()) {
        MessageDlg(QStringLiteral("The file ") + fileName + QStringLiteral(" cannot be found."), mtError, TMsgDlgButtons{mbOK});
        return;
    }
    const QString ext = ExtractFileExt(fileName).toUpper();
    std::function<TF_SMDI*(const QString&)> open;
    if (ext == QLatin1String(".JEX4"))
        open = LoadProject;
    else if (ext == QLatin1String(".JEX"))
        open = ImportProject;
    if (open) {
        // Cleared whatever happens, so the link does not stay deaf after a failed load.
        struct Loading {
            Loading() { ProjectLoading = true; }
            ~Loading() { ProjectLoading = false; }
        } loading;
        open(fileName);
    } else if (ext == QLatin1String(".JEX4") || ext == QLatin1String(".JEX")) {
        TF_ErrorLog::AddLog(0, QStringLiteral("Error loading JEX4 project ") + fileName);
    }
    ProjectLoading = false;
    RequestR5Update();
}

void RAXOLink::DoDragRing(const QStringList& lines)
{
    if (ImageWindows().isEmpty())
        return;
    for (int pair = 0; pair < 2; ++pair) {
        const int at = 3 + 3 * pair;
        const QString& guid = lines[at + 1];
        const int ring = StrToIntDef(lines[at + 2], -1);
        TF_SMDI* window = nullptr;
        TPath* path = nullptr;
        if (!FindWindow(lines[at], guid, window, path))
            continue;
        TPath* first = window->PathList.empty() ? nullptr : window->PathList.front().get();
        if (!path)
            path = first;
        if (first && first->GUID.isEmpty())
            first->GUID = guid;
        // Only the first pair's window follows with its current path.
        if (pair == 0) {
            if (path)
                window->CurrentPath = path;
            if (F_Measurements && F_Measurements->MDIForm() == window)
                F_Measurements->FillProject(window);
        }
        if (F_Measurements)
            F_Measurements->SelectMeasurement(window, path, ring);
        window->SmoothDraw(true);
    }
}

void RAXOLink::markWindow(TF_SMDI* window, const QString& caption, int glyph)
{
    window->SB_UpdateRAXO->setText(caption);
    window->SB_UpdateRAXO->setIcon(QIcon());
    window->SB_UpdateRAXO->setIcon(Glyph ? Glyph(glyph) : QIcon());
    window->SB_UpdateRAXO->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    window->P_UpdateRAXO->show();
}

void RAXOLink::DoRefSam(const QStringList& lines)
{
    if (fr)
        fr->P_UpdateRAXO->hide();
    if (fs)
        fs->P_UpdateRAXO->hide();
    if (ImageWindows().isEmpty())
        return;
    TF_SMDI* window = nullptr;
    TPath* path = nullptr;
    FindPathByGUID(lines[4], window, path);
    fr = window;
    FindPathByGUID(lines[7], window, path);
    fs = window;
    if (!fr)
        fr = FindProjectWindow(lines[3]);
    if (!fs)
        fs = FindProjectWindow(lines[6]);
    // The sample is set up second: a window named twice ends as the sample.
    if (fr)
        markWindow(fr, lines[5], 8);
    if (fs)
        markWindow(fs, lines[8], 9);
}
