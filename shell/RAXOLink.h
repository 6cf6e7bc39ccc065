// The TCP client link to the analysis program RAXO: the message parser (bytes in, complete messages
// out) and the link itself with its socket, reconnect timer, status, the requests it sends and the
// actions on OPEN, DRAGRING and REFSAM. Text on the wire is Windows-1252, lines end with CR LF.
#pragma once

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QLabel;
class QTcpSocket;
class QTimer;
class TF_SMDI;
class TPath;

// One complete message from RAXO: the sender mark "RAXO", a line nobody reads, the command and its
// arguments. Unknown commands come as their first three lines.
struct RAXOMessage {
    QStringList lines;

    QString command() const { return lines.value(2); }
    // The lines, each followed by CR LF: the form duplicates are compared in.
    QString datagram() const;
};

// Cuts the byte stream into messages. Lines end with CR LF, a lone CR or a lone LF (a CR LF split
// between two reads is still one line end). A message is handed out only once all the lines its
// command needs are there; lines outside a message and overlong lines are skipped and reported.
// It frames as it is fed and holds only the lines of messages not handed out yet, the last perhaps
// incomplete: blank lines between messages and stray text are never kept. A message (or its start)
// of n lines takes at least 2n + 1 bytes, so a piece of a few hundred bytes or more, fed while at
// most the start of a message is held, leaves fewer lines held than half its bytes.
class RAXOMessageParser {
public:
    static constexpr qsizetype MaxLineBytes = 32 * 1024; // far above any file name or caption
    static constexpr int MaxProblems = 20; // reports kept between two takeProblems; the rest counted

    // Lines a command needs, the sender mark included; 0 for an unknown command.
    static int lineCount(const QString& command);

    // Appends received bytes.
    void feed(const QByteArray& bytes);
    // The next complete message, or none while more lines are needed.
    std::optional<RAXOMessage> next();
    // The sender has gone quiet: an unterminated last line counts as complete, and a message that
    // still lacks lines is dropped (and reported).
    void flush();
    // Forgets everything received so far.
    void clear();

    // Something is held that may still become (or end) a message.
    bool hasPending() const { return !m_partial.isEmpty() || !m_lines.isEmpty(); }
    // Complete lines held, and the bytes held in them and in the line being received.
    qsizetype pendingLines() const { return m_lines.size(); }
    qsizetype pendingBytes() const { return m_lineBytes + m_partial.size(); }
    // Gives the memory of a burst back once nothing is held any more.
    void release();
    // Reports on skipped input since the last call, one line each; past MaxProblems, one line
    // with the count of the others.
    QStringList takeProblems();

private:
    struct Line {
        QString text;
        bool overlong = false; // stands for a line that was too long to keep
    };

    static qsizetype messageLength(const Line& command); // lines of the message with this command
    void endLine();
    void endStray(); // reports the run of stray lines just ended
    void skipLines(qsizetype count, const QString& why);
    void removeLines(qsizetype count);
    void problem(const QString& text);

    QByteArray m_partial;   // the line being received
    QList<Line> m_lines;    // lines of messages not yet handed out
    qsizetype m_messageLines = 0; // lines of the last message in m_lines while it is incomplete
    qsizetype m_messageTake = 0;  // that message's length, once its command is there
    qsizetype m_strayLines = 0;   // stray lines since the last message, reported as one run
    Line m_strayFirst;            // the first of them, for the report
    qsizetype m_lineBytes = 0; // text held in m_lines, in characters
    bool m_endOfBurst = false; // flushed since the last bytes: a short message will stay short
    bool m_skipLF = false;  // the last byte was a CR: an LF right after it ends nothing more
    bool m_discarding = false; // inside an overlong line: dropped up to its end
    QStringList m_problems;
    qint64 m_moreProblems = 0; // past MaxProblems
};

// The link. The main window owns one; the image windows' reload buttons reach it through Current().
//
// Input is taken from the socket only as fast as it is acted on: the socket buffers at most
// ReadBufferBytes (then the peer waits), the parser is fed ReadChunkBytes at a time once it has no
// message left, and one turn of the event loop acts on at most MaxMessagesPerTurn messages and
// starts no new one after MaxTurnMs (a repaint per DRAGRING can be slow on big scans). While
// a command runs (a question box, a project load), nothing more is read; while a project loads,
// what arrives is read and dropped.
class RAXOLink : public QObject {
    Q_OBJECT
public:
    static constexpr int ReconnectInterval = 2000; // ms of T_TCP
    static constexpr int QuietInterval = 250;      // ms after which an unterminated last line counts
    static constexpr qint64 ReadBufferBytes = 256 * 1024;
    static constexpr qint64 ReadChunkBytes = 16 * 1024;
    static constexpr int MaxMessagesPerTurn = 100;
    static constexpr int MaxTurnMs = 50;
    static constexpr qint64 MaxBytesPerTurn = ReadBufferBytes;

    explicit RAXOLink(QObject* parent = nullptr);
    ~RAXOLink() override;

    // The link the program uses; none before the main window made it.
    static RAXOLink* Current();

    // ---- components and fields ----
    QTcpSocket* TCP = nullptr;
    QTimer* T_TCP = nullptr;        // not running until the main window's first showing ends
    QPointer<TF_SMDI> fr;           // window marked as reference; none once it is gone
    QPointer<TF_SMDI> fs;           // window marked as sample
    QString OldDatagram;            // text of the last message accepted

    // What the link calls to open files; the main window sets them. Each returns the new window or
    // none. Unset, an OPEN of a file that is not open yet is reported as a failure in the log.
    std::function<TF_SMDI*(const QString&)> LoadProject;   // a project file (ProcessLoadProject)
    std::function<TF_SMDI*(const QString&)> ImportProject; // an older project file
    // Picture `index` of the main window's image list (8 reference, 9 sample).
    std::function<QIcon(int)> Glyph;

    // Address and port; refused (false, with a log line) while connected, and a port outside 1 to 65535.
    QString Address() const { return m_address; }
    int Port() const { return m_port; }
    bool SetAddress(const QString& address);
    bool SetPort(int port);

    // What the link holds of RAXO's input and has not acted on yet.
    const RAXOMessageParser& Parser() const { return m_parser; }

    // Milliseconds on a steady clock; a turn's MaxTurnMs is read on it. Tests step it by hand.
    std::function<qint64()> Clock;
    // Runs QuietInterval after the input stops while a line or message is unfinished.
    QTimer* QuietTimer() const { return m_quiet; }

    // Status panel text and which icon shows. Widgets given here follow them.
    QString StatusText() const { return m_statusText; }
    bool Connected() const;
    void SetStatusWidgets(QLabel* panel, QWidget* connectedIcon, QWidget* disconnectedIcon);

    // ---- requests ----
    // Sends bytes as they are. False when the link is not connected (nothing is sent then).
    bool Send(const QByteArray& bytes);
    // "JEX", "REQUESTUPDATE" and an empty line, each ending in CR LF.
    bool RequestR5Update();
    static QByteArray UpdateRequest();

    // ---- handlers ----
    void T_TCPTimer();
    void TCPConnecting();
    void TCPConnect();
    void TCPDisconnect();
    void TCPError();
    void TCPRead();

    // ---- actions, one per command ----
    // Handles one complete message: duplicates and other senders are ignored.
    void HandleMessage(const RAXOMessage& message);
    void DoOpen(const QString& fileName, const QString& guid);
    void DoDragRing(const QStringList& lines);
    void DoRefSam(const QStringList& lines);
    // The window and path a (file name, identifier) pair names: the path with that identifier in
    // any window, else the window holding that project file with no path. False when neither.
    static bool FindWindow(const QString& fileName, const QString& guid, TF_SMDI*& window, TPath*& path);

signals:
    void statusChanged();

private:
    void setStatus(const QString& text, bool connected);
    void postDrain();
    void drain();          // acts on the messages received, a bounded number per turn
    void dropInput();      // reads and forgets what arrived while a project loads
    void reportProblems(); // what was skipped and ignored since the last report, summed up
    void showWindow(TF_SMDI* window);
    void markWindow(TF_SMDI* window, const QString& caption, int glyph);

    QString m_address = QStringLiteral("127.0.0.1");
    int m_port = 13000;
    QString m_statusText;
    bool m_connected = false;
    QPointer<QLabel> m_panel;
    QPointer<QWidget> m_connectedIcon;
    QPointer<QWidget> m_disconnectedIcon;
    RAXOMessageParser m_parser;
    QTimer* m_quiet = nullptr; // completes a message whose last line came without a line break
    bool m_handling = false;   // a message is being acted on: nothing more is read meanwhile
    bool m_drainPosted = false;
    bool m_dropLogged = false; // the current project load's dropped input is in the log
    qint64 m_unknownCommands = 0; // ignored since the last report
    QString m_lastUnknown;
};
