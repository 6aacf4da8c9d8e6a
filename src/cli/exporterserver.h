// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <functional>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;
class QTimer;

namespace cli {

// The exporter's HTTP/1.1 endpoint, in the thread that makes it: GET or HEAD of /metrics and /
// (origin or absolute form, any query), 404 for other paths, 405 for other methods; every answer
// closes its connection. The pages come from callbacks that only read memory, so that a request
// never waits for a modem. Clients that send nothing cannot crowd out a scrape: at most
// MaxClients are held, and the oldest one still without a whole request makes room for a new one.
class ExporterServer : public QObject
{
    Q_OBJECT

public:
    struct Pages
    {
        std::function<QByteArray()> metrics;
        std::function<QByteArray()> index;
    };

    // Clients held at once: far below the usual 1024 descriptors, which the modems' ports and
    // their threads share.
    static constexpr int MaxClients = 64;
    // The pause before accepting again when the system refuses a connection (descriptors out).
    static constexpr int AcceptRetryMs = 250;

    explicit ExporterServer(Pages pages, QObject *parent = nullptr);
    ~ExporterServer() override;

    // "127.0.0.1:9878", "[::]:9878", "0.0.0.0:9878", "[::1]:0"; false with why when the text is
    // not one of them.
    static bool parseListen(const QString &text, QHostAddress *address, quint16 *port, QString *why);
    // false with why when the address cannot be bound (in use, not this host's, not permitted).
    bool listen(const QHostAddress &address, quint16 port, QString *why);
    quint16 port() const;
    int clientCount() const { return int(m_clients.size()); }
    // Where a trouble of the endpoint itself is said (stderr unless set), one line each time it
    // begins, never once per refused connection.
    void setWarn(std::function<void(const QString &)> warn) { m_warn = std::move(warn); }

    // The answer to one request's head (request line and headers), as it goes on the wire.
    QByteArray answer(const QByteArray &head) const;

private:
    struct Client
    {
        QTcpSocket *socket = nullptr;
        QByteArray head;
        bool answered = false;
    };

    void onConnection();
    void onAcceptError(int error);
    void onReadable(QTcpSocket *socket);
    bool dropOldestClient(bool idleOnly);
    Client *client(QTcpSocket *socket);
    void forget(QTcpSocket *socket);

    Pages m_pages;
    QTcpServer *m_server = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_resume = nullptr;
    QList<Client> m_clients; // oldest first
    std::function<void(const QString &)> m_warn;
    QElapsedTimer m_lastRefusal;
};

} // namespace cli
