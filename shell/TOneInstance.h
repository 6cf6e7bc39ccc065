// One running program per user: the first start listens on a local socket in the user's runtime
// folder; a second start hands its command-line arguments over that socket and ends. What crosses
// the socket: "JEX4", a 32-bit little-endian payload length, then each argument in UTF-8 followed
// by a zero byte. The reader parses a message only once it is complete and refuses anything else.
// The first instance answers a message it takes with one byte; only then has the hand-over happened.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>

class QLocalServer;
class QLocalSocket;
class QTimer;

// Bytes in, one hand-over message out; no socket.
class HandOverReader {
public:
    static constexpr qsizetype HeaderBytes = 8;
    static constexpr quint32 MaxPayloadBytes = 64 * 1024; // far above any real command line
    static constexpr int MaxArguments = 256;

    enum class State { NeedMore, Complete, Invalid };

    // The message for `arguments`; an argument longer than the payload allows is cut off whole
    // (the reader would refuse the message), so a packed message always reads back.
    static QByteArray pack(const QStringList& arguments);

    // Takes the next bytes. The message is complete with its last byte; bytes after it, in the
    // same piece or later, change nothing (nor does anything after Invalid).
    State feed(const QByteArray& bytes);
    State state() const { return m_state; }
    // The arguments of a complete message; empty otherwise.
    QStringList arguments() const { return m_arguments; }
    // Why the message was refused.
    QString problem() const { return m_problem; }

private:
    State fail(const QString& why);
    State parse();

    QByteArray m_buffer;
    State m_state = State::NeedMore;
    QStringList m_arguments;
    QString m_problem;
};

class TOneInstance : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxPendingConnections = 8; // read at once; more wait their turn
    static constexpr int MaxLoggedRefusals = 16;    // refused hand-overs logged one by one
    static constexpr char Accepted = 'A';           // the answer to a message taken

    explicit TOneInstance(const QString& serverName = DefaultServerName(), QObject* parent = nullptr);
    ~TOneInstance() override;

    // In the user's runtime folder, named per user and per program file: builds of another size
    // keep apart, as they do not know each other's messages.
    static QString DefaultServerName();
    QString serverName() const { return m_name; }

    // Hands the arguments to a running first instance. True when one answered that it took them:
    // this start ends. False when none runs (a socket left by a crashed instance counts as none)
    // or when it did not answer within MsgTransportTimeout: then it never opens them either.
    bool HandOver(const QStringList& arguments);

    // Milliseconds each step of a hand-over may take, either side.
    int MsgTransportTimeout() const { return m_timeout; }
    void setMsgTransportTimeout(int ms) { m_timeout = ms; }

    // Becomes the first instance: listens, replacing a stale socket. False when another first
    // instance answers on the name (the caller then hands over) or the socket cannot be made.
    bool Listen();
    bool isListening() const;

signals:
    // A second start handed over its arguments (a well-formed message, complete).
    void OnNewInstanceLoad(const QStringList& arguments);

private:
    void acceptConnections();
    void readFrom(QLocalSocket* socket);
    void drop(QLocalSocket* socket);
    void refuse(const QString& why);

    QString m_name;
    int m_timeout = 3000;
    QLocalServer* m_server = nullptr;
    QHash<QLocalSocket*, HandOverReader> m_readers;
    int m_refusals = 0; // hand-overs refused so far
    bool m_acceptPosted = false;
};
