// SPDX-License-Identifier: GPL-3.0-or-later
#include "exporterserver.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace cli {
namespace {

// A request head larger than this is no scrape: it is refused, not buffered.
constexpr qsizetype MaxHeadBytes = 16 * 1024;
// A client that sends no complete head in this time holds no socket longer.
constexpr int ClientDeadlineMs = 10000;
// Refusals closer together than this are one episode, said once.
constexpr qint64 RefusalQuietMs = 60000;

QByteArray response(const QByteArray &status, const QByteArray &type, const QByteArray &body, bool withBody,
                    const QByteArray &extra = QByteArray())
{
    QByteArray head = "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extra + "\r\n";
    return withBody ? head + body : head;
}

// RFC 9112 2.2: empty lines before the request line are ignored.
qsizetype requestStart(const QByteArray &bytes)
{
    qsizetype start = 0;
    while (start < bytes.size() && (bytes.at(start) == '\r' || bytes.at(start) == '\n'))
        ++start;
    return start;
}

// The end of the head (past its empty line) or -1. Lines end in CRLF, or in a bare LF as some
// hand-written clients send.
qsizetype headEnd(const QByteArray &bytes)
{
    for (qsizetype at = bytes.indexOf('\n', requestStart(bytes)); at >= 0; at = bytes.indexOf('\n', at + 1)) {
        if (at + 1 < bytes.size() && bytes.at(at + 1) == '\n')
            return at + 2;
        if (at + 2 < bytes.size() && bytes.at(at + 1) == '\r' && bytes.at(at + 2) == '\n')
            return at + 3;
    }
    return -1;
}

// The request line, whole or as far as it came, without its line end.
QByteArray firstLine(const QByteArray &bytes, qsizetype start)
{
    const qsizetype end = bytes.indexOf('\n', start);
    QByteArray line = bytes.mid(start, end < 0 ? -1 : end - start);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// A request line holds printable ASCII only, header fields no control byte but tab (RFC 9110
// 5.5); anything else is another protocol.
bool isRequestText(const QByteArray &line)
{
    return std::all_of(line.cbegin(), line.cend(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

bool isHeadText(const QByteArray &head)
{
    return std::none_of(head.cbegin(), head.cend(), [](char c) { return (c >= 0 && c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7f; });
}

// The path a request names: origin form "/metrics?x", or the absolute form
// "http://host:9878/metrics" proxies send (RFC 9112 3.2.2); query and fragment name no other page.
QByteArray targetPath(QByteArray target)
{
    const auto firstOf = [](const QByteArray &text, const char *stops) {
        const auto at = std::find_if(text.cbegin(), text.cend(), [stops](char c) { return std::strchr(stops, c) && c; });
        return at == text.cend() ? qsizetype(-1) : qsizetype(at - text.cbegin());
    };
    for (const char *scheme : {"http://", "https://"}) {
        if (target.toLower().startsWith(scheme)) {
            target.remove(0, qsizetype(std::strlen(scheme)));
            const qsizetype authorityEnd = firstOf(target, "/?#");
            target = authorityEnd < 0 ? QByteArray() : target.mid(authorityEnd);
            if (!target.startsWith('/'))
                target.prepend('/');
            break;
        }
    }
    if (const qsizetype cut = firstOf(target, "?#"); cut >= 0)
        target.truncate(cut);
    return target;
}

} // namespace

ExporterServer::ExporterServer(Pages pages, QObject *parent)
    : QObject(parent)
    , m_pages(std::move(pages))
    , m_server(new QTcpServer(this))
    , m_resume(new QTimer(this))
    , m_warn([](const QString &text) { std::fputs(qPrintable(QStringLiteral("pellix exporter: ") + text + QLatin1Char('\n')), stderr); })
{
    m_resume->setSingleShot(true);
    connect(m_resume, &QTimer::timeout, this, [this] { m_notifier->setEnabled(true); });
}

// The clients go while the list they leave is still here.
ExporterServer::~ExporterServer()
{
    qDeleteAll(findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly));
    delete m_server;
}

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
    if (m_server->listen(address, port)) {
        // Accepting is done here, not by QTcpServer: once its engine has met EAGAIN it reports
        // every later EMFILE as temporary too, and retries at once without a word.
        m_server->pauseAccepting();
        m_notifier = new QSocketNotifier(m_server->socketDescriptor(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &ExporterServer::onConnection);
        return true;
    }
    *why = m_server->errorString();
    return false;
}

quint16 ExporterServer::port() const
{
    return m_server->serverPort();
}

QByteArray ExporterServer::answer(const QByteArray &head) const
{
    const QByteArray requestLine = firstLine(head, requestStart(head));
    const QList<QByteArray> words = requestLine.split(' ');
    if (words.size() != 3 || !words.at(2).startsWith("HTTP/1.") || !isRequestText(requestLine) || !isHeadText(head))
        return response("400 Bad Request", "text/plain; charset=utf-8", "bad request\n", true);
    const QByteArray &method = words.at(0);
    const QByteArray path = targetPath(words.at(1));
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
    // A batch at a time, so that a flood of connections cannot hold the event loop.
    for (int batch = 0; batch < MaxClients; ++batch) {
        const int fd = ::accept4(int(m_server->socketDescriptor()), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            const int error = errno;
            if (error == EINTR || error == ECONNABORTED)
                continue;
            if (error != EAGAIN && error != EWOULDBLOCK)
                onAcceptError(error);
            return;
        }
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            ::close(fd);
            delete socket;
            continue;
        }
        if (m_clients.size() >= MaxClients && !dropOldestClient(true))
            dropOldestClient(false);
        m_clients.append({socket, {}, false});
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { forget(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        // Also bounds a client that never reads its answer: nothing holds a descriptor longer.
        QTimer::singleShot(ClientDeadlineMs, socket, [socket] { socket->abort(); socket->deleteLater(); });
        onReadable(socket);
    }
}

void ExporterServer::onAcceptError(int error)
{
    const bool outOfDescriptors = error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
    if (!m_lastRefusal.isValid() || m_lastRefusal.elapsed() > RefusalQuietMs)
        m_warn(QStringLiteral("cannot accept a connection on port %1 (%2); trying again every %3 ms%4")
                   .arg(m_server->serverPort())
                   .arg(QString::fromLocal8Bit(std::strerror(error)))
                   .arg(AcceptRetryMs)
                   .arg(outOfDescriptors ? QStringLiteral(" (raise the limit of open files)") : QString()));
    m_lastRefusal.restart();
    // The listening socket stays readable: accepting again at once would spin a core until
    // some client's deadline frees a descriptor. One held by a client that has sent no request
    // is better spent on the next one, which may be the scrape.
    m_notifier->setEnabled(false);
    m_resume->start(outOfDescriptors && dropOldestClient(true) ? 0 : AcceptRetryMs);
}

void ExporterServer::onReadable(QTcpSocket *socket)
{
    Client *held = client(socket);
    if (!held || held->answered) {
        // One request per connection: what follows the first (pipelined, or a body) is dropped.
        socket->readAll();
        return;
    }
    held->head += socket->readAll();
    const qsizetype end = headEnd(held->head);
    QByteArray reply;
    if (end > MaxHeadBytes || (end < 0 && held->head.size() > MaxHeadBytes))
        reply = response("431 Request Header Fields Too Large", "text/plain; charset=utf-8", "request head too large\n", true);
    else if (end >= 0)
        reply = answer(held->head.left(end));
    else if (!isRequestText(firstLine(held->head, requestStart(held->head))) || !isHeadText(held->head))
        // Not HTTP (a TLS hello, a stray protocol): said at once, not after the deadline.
        reply = response("400 Bad Request", "text/plain; charset=utf-8", "bad request\n", true);
    else
        return;
    held->answered = true;
    held->head.clear();
    socket->write(reply);
    socket->disconnectFromHost();
}

bool ExporterServer::dropOldestClient(bool idleOnly)
{
    for (qsizetype i = 0; i < m_clients.size(); ++i) {
        if (idleOnly && m_clients.at(i).answered)
            continue;
        QTcpSocket *socket = m_clients.takeAt(i).socket;
        socket->abort();
        socket->deleteLater();
        return true;
    }
    return false;
}

ExporterServer::Client *ExporterServer::client(QTcpSocket *socket)
{
    for (Client &held : m_clients)
        if (held.socket == socket)
            return &held;
    return nullptr;
}

void ExporterServer::forget(QTcpSocket *socket)
{
    m_clients.removeIf([socket](const Client &held) { return held.socket == socket; });
}

} // namespace cli
