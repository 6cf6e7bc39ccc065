// The stand-in RAXO server and the waits of the link tests.
#include "support/FakeRaxo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QThread>

namespace testhelpers {

bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void settle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

QByteArray message(std::initializer_list<const char*> lines)
{
    QByteArray bytes;
    for (const char* l : lines)
        bytes += QByteArray(l) + "\r\n";
    return bytes;
}

bool FakeRaxo::listen()
{
    return server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
}

bool FakeRaxo::accept()
{
    if (!waitFor([this] { return server.hasPendingConnections(); }))
        return false;
    peer = server.nextPendingConnection();
    received.clear();
    QObject::connect(peer, &QTcpSocket::readyRead, peer, [this] { received += peer->readAll(); });
    return true;
}

void FakeRaxo::send(const QByteArray& bytes)
{
    peer->write(bytes);
    peer->flush();
}

bool FakeRaxo::expect(const QByteArray& bytes)
{
    // Bytes that came before anyone listened to readyRead wait in the socket.
    const bool ok = waitFor([&] {
        if (peer)
            received += peer->readAll();
        return received.endsWith(bytes);
    });
    received.clear();
    return ok;
}

bool FakeRaxo::expectOnly(const QByteArray& bytes)
{
    const bool ok = waitFor([&] {
        if (peer)
            received += peer->readAll();
        return received.endsWith(bytes);
    });
    const bool alone = ok && received == bytes;
    received.clear();
    return alone;
}

} // namespace testhelpers
