// A stand-in for the analysis program RAXO: a TCP server on 127.0.0.1 with a free port that
// accepts the program's link, sends it messages and collects what the program writes back.
// Also the event-loop waits the link tests need.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <initializer_list>

namespace testhelpers {

// Runs the event loop until `done` holds; `ms` is only a fuse against a hang, generous enough for
// a loaded machine.
bool waitFor(const std::function<bool()>& done, int ms = 30000);
// Events only, for a fixed time. Only for checks that something does not happen: a check that
// something does happen waits for it with waitFor.
void settle(int ms);
// The lines, each ended by CR LF.
QByteArray message(std::initializer_list<const char*> lines);

class FakeRaxo {
public:
    bool listen();
    quint16 port() const { return server.serverPort(); }
    // Takes the next connection (waiting for it); false when none came.
    bool accept();
    void send(const QByteArray& bytes);
    // Waits until what arrived ends with `bytes`, then forgets it.
    bool expect(const QByteArray& bytes);
    // As expect, and nothing came before `bytes`: sent last, they show that nothing else was sent.
    bool expectOnly(const QByteArray& bytes);

    QTcpServer server;
    QPointer<QTcpSocket> peer;
    QByteArray received;
};

} // namespace testhelpers
