// A small HTTP/1.1 server on 127.0.0.1 with a free port for the network tests: each path answers as
// scripted (status, headers, body, with or without a length, or not at all), and every request is
// recorded. Requests in proxy form (an absolute address) are answered by path the same way, so the
// server also stands in for a proxy.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

namespace testhelpers {

class LocalHttpServer : public QObject {
    Q_OBJECT
public:
    struct Response {
        int status = 200;
        QByteArray body;
        QMap<QByteArray, QByteArray> headers;
        bool withoutLength = false; // the body ends when the connection closes
        bool silent = false;        // the request is read and never answered
    };
    struct Request {
        QByteArray method;
        QByteArray target; // as sent: a path, or an absolute address through a proxy
        QMap<QByteArray, QByteArray> headers; // names in lower case
    };

    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }

    void on(const QString& path, const Response& response) { m_routes[path] = response; }
    // As a proxy that wants basic authentication: requests without these credentials get 407.
    void requireProxyLogin(const QByteArray& user, const QByteArray& password)
    {
        m_proxyLogin = "Basic " + (user + ':' + password).toBase64();
    }
    // Unscripted paths answer 404.
    QList<Request> requests;

private:
    void serve(QTcpSocket* socket);
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QHash<QString, Response> m_routes;
    QByteArray m_proxyLogin;
};

} // namespace testhelpers
