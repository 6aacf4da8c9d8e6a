// SPDX-License-Identifier: GPL-3.0-or-later
#include "exporterserver.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace cli {
namespace {

// A request head larger than this is no scrape: it is refused, not buffered.
constexpr qsizetype MaxHeadBytes = 16 * 1024;
// A client that sends no complete head in this time holds no socket longer.
constexpr int ClientDeadlineMs = 10000;

QByteArray response(const QByteArray &status, const QByteArray &type, const QByteArray &body, bool withBody,
                    const QByteArray &extra = QByteArray())
{
    QByteArray head = "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extra + "\r\n";
    return withBody ? head + body : head;
}

} // namespace

ExporterServer::ExporterServer(Pages pages, QObject *parent)
    : QObject(parent)
    , m_pages(std::move(pages))
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &ExporterServer::onConnection);
}

ExporterServer::~ExporterServer() = default;

bool ExporterServer::parseListen(const QString &text, QHostAddress *address, quint16 *port, QString *why)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QString() : text.left(colon);
    const QString portText = colon < 0 ? QString() : text.mid(colon + 1);
    bool ok = false;
    const int number = portText.toInt(&ok);
    if (colon <= 0 || !ok || number < 0 || number > 65535 || portText.startsWith(QLatin1Char('+'))) {
        *why = QStringLiteral("--listen takes ADDRESS:PORT (127.0.0.1:9878, [::]:9878, 0.0.0.0:9878), not \"%1\"").arg(text);
        return false;
    }
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':'))) {
        *why = QStringLiteral("--listen: an IPv6 address goes in brackets ([::1]:9878), not \"%1\"").arg(text);
        return false;
    }
    QHostAddress parsed;
    if (host == QLatin1String("localhost"))
        parsed = QHostAddress(QHostAddress::LocalHost);
    else if (!parsed.setAddress(host)) {
        *why = QStringLiteral("--listen: \"%1\" is not an IP address").arg(host);
        return false;
    }
    *address = parsed;
    *port = quint16(number);
    return true;
}

bool ExporterServer::listen(const QHostAddress &address, quint16 port, QString *why)
{
    if (m_server->listen(address, port))
        return true;
    *why = m_server->errorString();
    return false;
}

quint16 ExporterServer::port() const
{
    return m_server->serverPort();
}

QByteArray ExporterServer::answer(const QByteArray &head) const
{
    const QByteArray requestLine = head.left(head.indexOf("\r\n") < 0 ? head.indexOf('\n') : head.indexOf("\r\n"));
    const QList<QByteArray> words = requestLine.trimmed().split(' ');
    if (words.size() != 3 || !words.at(2).startsWith("HTTP/1."))
        return response("400 Bad Request", "text/plain; charset=utf-8", "bad request\n", true);
    const QByteArray &method = words.at(0);
    QByteArray path = words.at(1);
    // The query of a scrape (Prometheus sends none, a browser may) names no other page.
    if (const qsizetype question = path.indexOf('?'); question >= 0)
        path.truncate(question);
    const bool head_ = method == "HEAD";
    if (path != "/metrics" && path != "/")
        return response("404 Not Found", "text/plain; charset=utf-8", "not found: try /metrics\n", !head_);
    if (method != "GET" && !head_)
        return response("405 Method Not Allowed", "text/plain; charset=utf-8", "only GET and HEAD\n", true, "Allow: GET, HEAD\r\n");
    if (path == "/metrics")
        return response("200 OK", "text/plain; version=0.0.4; charset=utf-8", m_pages.metrics(), !head_);
    return response("200 OK", "text/html; charset=utf-8", m_pages.index(), !head_);
}

void ExporterServer::onConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        QTimer::singleShot(ClientDeadlineMs, socket, [socket] { socket->abort(); socket->deleteLater(); });
        onReadable(socket);
    }
}

void ExporterServer::onReadable(QTcpSocket *socket)
{
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray buffer = socket->property("head").toByteArray() + socket->readAll();
    qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        end = buffer.indexOf("\n\n");
    if (end < 0 && buffer.size() <= MaxHeadBytes) {
        socket->setProperty("head", buffer);
        return;
    }
    socket->setProperty("answered", true);
    socket->setProperty("head", QVariant());
    const QByteArray reply = end < 0
        ? response("431 Request Header Fields Too Large", "text/plain; charset=utf-8", "request head too large\n", true)
        : answer(buffer.left(end + 2));
    socket->write(reply);
    socket->disconnectFromHost();
}

} // namespace cli
