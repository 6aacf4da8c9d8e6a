// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

#include <functional>

class QTcpServer;
class QTcpSocket;

namespace cli {

// The exporter's HTTP/1.1 endpoint, in the thread that makes it: GET or HEAD of /metrics and /,
// 404 for other paths, 405 for other methods; every answer closes its connection. The pages come
// from callbacks that only read memory, so that a request never waits for a modem.
class ExporterServer : public QObject
{
    Q_OBJECT

public:
    struct Pages
    {
        std::function<QByteArray()> metrics;
        std::function<QByteArray()> index;
    };

    explicit ExporterServer(Pages pages, QObject *parent = nullptr);
    ~ExporterServer() override;

    // "127.0.0.1:9878", "[::]:9878", "0.0.0.0:9878", "[::1]:0"; false with why when the text is
    // not one of them.
    static bool parseListen(const QString &text, QHostAddress *address, quint16 *port, QString *why);
    // false with why when the address cannot be bound (in use, not this host's, not permitted).
    bool listen(const QHostAddress &address, quint16 port, QString *why);
    quint16 port() const;

    // The answer to one request's head (request line and headers), as it goes on the wire.
    QByteArray answer(const QByteArray &head) const;

private:
    void onConnection();
    void onReadable(QTcpSocket *socket);

    Pages m_pages;
    QTcpServer *m_server = nullptr;
};

} // namespace cli
