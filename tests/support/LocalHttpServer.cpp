// Scripted HTTP server for the network tests.
#include "support/LocalHttpServer.h"

#include <QTcpSocket>
#include <QUrl>

namespace testhelpers {

bool LocalHttpServer::listen()
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = m_server.nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                m_buffers.remove(s);
                s->deleteLater();
            });
        }
    });
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void LocalHttpServer::serve(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        buffer.remove(0, end + 4);
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        Request request;
        request.method = first.value(0);
        request.target = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
        }
        requests << request;

        const QString path = QUrl(QString::fromLatin1(request.target)).path();
        Response response = m_routes.value(path, Response{404, "not here", {}, false, false});
        if (!m_proxyLogin.isEmpty() && request.headers.value("proxy-authorization") != m_proxyLogin)
            response = Response{407, "who are you", {{"Proxy-Authenticate", "Basic realm=\"jex4\""}}, false, false};
        if (response.silent)
            return;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n";
        for (auto it = response.headers.begin(); it != response.headers.end(); ++it)
            out += it.key() + ": " + it.value() + "\r\n";
        if (response.withoutLength)
            out += "Connection: close\r\n";
        else
            out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        out += "\r\n";
        if (request.method != "HEAD")
            out += response.body;
        socket->write(out);
        if (response.withoutLength) {
            socket->disconnectFromHost();
            return;
        }
    }
}

} // namespace testhelpers
