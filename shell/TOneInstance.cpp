// Single-instance control over QLocalServer / QLocalSocket.
#include "shell/TOneInstance.h"

#include "shell/TF_ErrorLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>
#include <QtEndian>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr char Magic[4] = {'J', 'E', 'X', '4'};

// The one byte that says a hand-over was taken, sent past the socket's buffer: false when the
// sender is gone, which must not raise SIGPIPE in the running program.
bool answer(QLocalSocket* socket)
{
    const qintptr fd = socket->socketDescriptor();
    if (fd < 0)
        return false;
    ssize_t sent;
    do
        sent = ::send(int(fd), &TOneInstance::Accepted, 1, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == 1;
}

} // namespace

// ---- messages ----

QByteArray HandOverReader::pack(const QStringList& arguments)
{
    QByteArray payload;
    int count = 0;
    for (const QString& a : arguments) {
        const QByteArray bytes = a.toUtf8();
        if (count == MaxArguments || quint32(payload.size() + bytes.size() + 1) > MaxPayloadBytes)
            break;
        payload += bytes;
        payload += '\0';
        ++count;
    }
    QByteArray message(Magic, 4);
    char length[4];
    qToLittleEndian<quint32>(quint32(payload.size()), length);
    message.append(length, 4);
    message += payload;
    return message;
}

HandOverReader::State HandOverReader::fail(const QString& why)
{
    m_state = State::Invalid;
    m_problem = why;
    m_buffer.clear();
    m_arguments.clear();
    return m_state;
}

HandOverReader::State HandOverReader::feed(const QByteArray& bytes)
{
    if (m_state != State::NeedMore)
        return m_state;
    // Never more than one message's worth is kept: the header says how much that is.
    m_buffer += bytes;
    if (m_buffer.size() >= 4 && !m_buffer.startsWith(QByteArray(Magic, 4)))
        return fail(QStringLiteral("no hand-over message"));
    if (m_buffer.size() < HeaderBytes)
        return m_state;
    const quint32 length = qFromLittleEndian<quint32>(m_buffer.constData() + 4);
    if (length > MaxPayloadBytes)
        return fail(QStringLiteral("hand-over message of %1 bytes is too long").arg(length));
    if (m_buffer.size() < HeaderBytes + qsizetype(length))
        return m_state;
    // One message per connection: whatever follows it is not read, however it arrived.
    m_buffer.truncate(HeaderBytes + qsizetype(length));
    return parse();
}

HandOverReader::State HandOverReader::parse()
{
    const QByteArray payload = m_buffer.mid(HeaderBytes);
    m_buffer.clear();
    if (!payload.isEmpty() && !payload.endsWith('\0'))
        return fail(QStringLiteral("hand-over argument without its end"));
    QStringList arguments;
    qsizetype at = 0;
    while (at < payload.size()) {
        const qsizetype end = payload.indexOf('\0', at);
        if (arguments.size() == MaxArguments)
            return fail(QStringLiteral("too many hand-over arguments"));
        // A leading byte-order mark is part of the name, not a mark to drop.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        const QString argument = utf8(QByteArrayView(payload).sliced(at, end - at));
        if (utf8.hasError())
            return fail(QStringLiteral("hand-over argument is no UTF-8 text"));
        for (QChar c : argument)
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                return fail(QStringLiteral("hand-over argument with a control character"));
        arguments << argument;
        at = end + 1;
    }
    m_arguments = arguments;
    m_state = State::Complete;
    return m_state;
}

// ---- the control ----

TOneInstance::TOneInstance(const QString& serverName, QObject* parent)
    : QObject(parent)
    , m_name(serverName)
{
}

TOneInstance::~TOneInstance()
{
    if (m_server)
        m_server->close(); // removes the socket file: the next start is a first instance
}

QString TOneInstance::DefaultServerName()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const qint64 size = QFileInfo(QCoreApplication::applicationFilePath()).size();
    return QDir(folder).filePath(QStringLiteral("JEX4-%1-%2").arg(getuid()).arg(size));
}

bool TOneInstance::isListening() const
{
    return m_server && m_server->isListening();
}

bool TOneInstance::HandOver(const QStringList& arguments)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(m_timeout))
        return false; // nobody listens: also a socket file a crashed instance left behind
    socket.write(HandOverReader::pack(arguments));
    if (!socket.waitForBytesWritten(m_timeout) && socket.bytesToWrite() > 0)
        return false;
    // The message counts only once the first instance said it took it. Closing without the
    // answer tells it this start gave up, so it does not open the file as well.
    while (socket.bytesAvailable() == 0 && socket.waitForReadyRead(m_timeout)) {
    }
    char answer = 0;
    const bool taken = socket.getChar(&answer) && answer == Accepted;
    socket.abort();
    return taken;
}

bool TOneInstance::Listen()
{
    if (isListening())
        return true;
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption); // nobody else may hand over
        m_server->setMaxPendingConnections(MaxPendingConnections);
        connect(m_server, &QLocalServer::newConnection, this, &TOneInstance::acceptConnections);
    }
    // Someone answering on the name is a running first instance. Silence is a crash's leftover,
    // which listening replaces (the socket is made aside and renamed over the name).
    {
        QLocalSocket probe;
        probe.connectToServer(m_name);
        if (probe.waitForConnected(m_timeout)) {
            probe.abort();
            return false;
        }
    }
    QLocalServer::removeServer(m_name);
    if (m_server->listen(m_name))
        return true;
    TF_ErrorLog::AddLog(0, QStringLiteral("Single-instance socket ") + m_name + QStringLiteral(" cannot be made: ")
                               + m_server->errorString());
    return false;
}

void TOneInstance::acceptConnections()
{
    m_acceptPosted = false;
    // Beyond the readers at work the others wait in the server's queue and the system's backlog:
    // each gets its turn as a reader ends, and its sender waits for the answer.
    while (m_readers.size() < MaxPendingConnections) {
        QLocalSocket* socket = m_server->nextPendingConnection();
        if (!socket)
            return;
        m_readers.insert(socket, HandOverReader());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            readFrom(socket); // what came with the close
            drop(socket);
        });
        // A sender that stalls does not hold its place for ever.
        QTimer::singleShot(m_timeout, socket, [this, socket] { drop(socket); });
        readFrom(socket);
    }
}

void TOneInstance::readFrom(QLocalSocket* socket)
{
    auto it = m_readers.find(socket);
    if (it == m_readers.end())
        return;
    const QByteArray bytes = socket->read(HandOverReader::HeaderBytes + HandOverReader::MaxPayloadBytes + 1);
    if (bytes.isEmpty())
        return;
    switch (it->feed(bytes)) {
    case HandOverReader::State::NeedMore:
        return;
    case HandOverReader::State::Invalid:
        refuse(it->problem());
        drop(socket);
        return;
    case HandOverReader::State::Complete: {
        const QStringList arguments = it->arguments();
        socket->disconnect(this); // a failed answer closes the socket: nothing more to read
        // A sender that is gone gave up waiting and opens the file itself.
        const bool answered = socket->state() == QLocalSocket::ConnectedState && answer(socket);
        drop(socket);
        if (!answered) {
            refuse(QStringLiteral("the second start no longer waits for it"));
            return;
        }
        emit OnNewInstanceLoad(arguments);
        return;
    }
    }
}

void TOneInstance::refuse(const QString& why)
{
    // A flood of bad hand-overs must not fill the log.
    ++m_refusals;
    if (m_refusals <= MaxLoggedRefusals)
        TF_ErrorLog::AddLog(0, QStringLiteral("Ignored a hand-over from a second start: ") + why);
    if (m_refusals == MaxLoggedRefusals)
        TF_ErrorLog::AddLog(0, QStringLiteral("Further ignored hand-overs are not logged"));
}

void TOneInstance::drop(QLocalSocket* socket)
{
    if (m_readers.remove(socket) == 0)
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    // A place is free for a connection that waits.
    if (!m_acceptPosted && m_server) {
        m_acceptPosted = true;
        QMetaObject::invokeMethod(this, &TOneInstance::acceptConnections, Qt::QueuedConnection);
    }
}
