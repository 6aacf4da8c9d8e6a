// SPDX-License-Identifier: GPL-3.0-or-later
#include "exporterserver.h"

#include <QScopeGuard>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace cli;

// The exporter's HTTP endpoint as clients reach it: well-behaved scrapes, odd but lawful request
// forms, and clients that send nothing, too much, or something else.
class TestExporterServer : public QObject
{
    Q_OBJECT

private:
    static ExporterServer *makeServer(QObject *parent)
    {
        auto *server = new ExporterServer({[] { return QByteArray("pellix_exporter_modems 0\n"); }, [] { return QByteArray("I"); }}, parent);
        QString why;
        if (!server->listen(QHostAddress::LocalHost, 0, &why))
            qFatal("cannot listen: %s", qPrintable(why));
        return server;
    }

private Q_SLOTS:
    // The answer to a request head: status line, type, and whether a body follows.
    void http_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("type");
        QTest::addColumn<QByteArray>("body");

        const QByteArray text = "text/plain; version=0.0.4; charset=utf-8";
        QTest::newRow("scrape") << QByteArray("GET /metrics HTTP/1.1\r\nHost: x\r\n") << QByteArray("200 OK") << text << QByteArray("M");
        QTest::newRow("scrape, HTTP/1.0 and a query") << QByteArray("GET /metrics?x=1 HTTP/1.0\r\n") << QByteArray("200 OK") << text << QByteArray("M");
        QTest::newRow("HEAD has no body") << QByteArray("HEAD /metrics HTTP/1.1\r\n") << QByteArray("200 OK") << text << QByteArray();
        QTest::newRow("page") << QByteArray("GET / HTTP/1.1\r\n") << QByteArray("200 OK") << QByteArray("text/html; charset=utf-8") << QByteArray("I");
        QTest::newRow("other path") << QByteArray("GET /metricsx HTTP/1.1\r\n") << QByteArray("404 Not Found") << QByteArray() << QByteArray();
        QTest::newRow("POST") << QByteArray("POST /metrics HTTP/1.1\r\n") << QByteArray("405 Method Not Allowed") << QByteArray() << QByteArray();
        QTest::newRow("not HTTP") << QByteArray("hello\r\n") << QByteArray("400 Bad Request") << QByteArray() << QByteArray();
        // The absolute form proxies send (RFC 9112 3.2.2) names the same pages.
        QTest::newRow("absolute form") << QByteArray("GET http://127.0.0.1:9878/metrics HTTP/1.1\r\n") << QByteArray("200 OK") << text << QByteArray("M");
        QTest::newRow("absolute form, scheme in capitals, query") << QByteArray("GET HTTP://[::1]:9878/metrics?x=1 HTTP/1.1\r\n") << QByteArray("200 OK") << text << QByteArray("M");
        QTest::newRow("absolute form without a path") << QByteArray("GET http://host:9878 HTTP/1.1\r\n") << QByteArray("200 OK") << QByteArray("text/html; charset=utf-8") << QByteArray("I");
        QTest::newRow("absolute form, other path") << QByteArray("GET http://host/metrics/x HTTP/1.1\r\n") << QByteArray("404 Not Found") << QByteArray() << QByteArray();
        QTest::newRow("asterisk form") << QByteArray("OPTIONS * HTTP/1.1\r\n") << QByteArray("404 Not Found") << QByteArray() << QByteArray();
        QTest::newRow("two spaces") << QByteArray("GET  /metrics HTTP/1.1\r\n") << QByteArray("400 Bad Request") << QByteArray() << QByteArray();
    }

    void http()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, type);
        QFETCH(QByteArray, body);
        const ExporterServer server({[] { return QByteArray("M"); }, [] { return QByteArray("I"); }});
        const QByteArray answer = server.answer(head);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + status + "\r\n"), answer.constData());
        if (!type.isEmpty()) {
            QVERIFY2(answer.contains("\r\nContent-Type: " + type + "\r\n"), answer.constData());
            QVERIFY(answer.endsWith("\r\n\r\n" + body));
        }
    }

    // One scrape over a real socket, and a port that is taken refused with the reason.
    void servesOverTcp()
    {
        ExporterServer server({[] { return QByteArray("pellix_exporter_modems 0\n"); }, [] { return QByteArray(); }});
        QString why;
        QVERIFY2(server.listen(QHostAddress::LocalHost, 0, &why), qPrintable(why));
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(socket.waitForConnected(5000));
        // The head in two pieces, as a slow client sends it.
        socket.write("GET /metrics HTTP/1.1\r\n");
        QTRY_VERIFY(socket.bytesToWrite() == 0 || socket.waitForBytesWritten(100));
        socket.write("Host: localhost\r\n\r\n");
        QByteArray reply;
        QTRY_VERIFY_WITH_TIMEOUT((reply += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState), 5000);
        reply += socket.readAll();
        QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\n"), reply.constData());
        QVERIFY(reply.endsWith("\r\n\r\npellix_exporter_modems 0\n"));

        ExporterServer second({[] { return QByteArray(); }, [] { return QByteArray(); }});
        QVERIFY(!second.listen(QHostAddress::LocalHost, server.port(), &why));
        QVERIFY(!why.isEmpty());
    }

    void parseListen_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::newRow("default") << "127.0.0.1:9878" << "127.0.0.1" << 9878;
        QTest::newRow("every IPv4") << "0.0.0.0:9878" << "0.0.0.0" << 9878;
        QTest::newRow("every IPv6") << "[::]:9878" << "::" << 9878;
        QTest::newRow("IPv6 loopback") << "[::1]:80" << "::1" << 80;
        QTest::newRow("no port") << "127.0.0.1" << "" << -1;
        QTest::newRow("port too large") << "127.0.0.1:65536" << "" << -1;
        QTest::newRow("IPv6 without brackets") << "::1:80" << "" << -1;
        QTest::newRow("a name") << "example.com:80" << "" << -1;
        QTest::newRow("port alone") << ":9878" << "" << -1;
    }

    void parseListen()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QFETCH(int, port);
        QHostAddress parsed;
        quint16 parsedPort = 0;
        QString why;
        const bool ok = ExporterServer::parseListen(text, &parsed, &parsedPort, &why);
        QCOMPARE(ok, port >= 0);
        if (ok) {
            QCOMPARE(parsed, QHostAddress(address));
            QCOMPARE(int(parsedPort), port);
        } else {
            QVERIFY(why.contains(QLatin1String("--listen")));
        }
    }

    // The bytes a client sends, as the TCP segments they come in, and the one answer it gets
    // before the endpoint closes the connection (well within the idle client's deadline).
    void wire_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<bool>("halfClose");
        QTest::addColumn<QByteArray>("status");

        const QByteArray ok("200 OK");
        QTest::newRow("head in many segments") << QByteArrayList{"GET /met", "rics HT", "TP/1.1\r\nHo", "st: x\r", "\n", "\r\n"} << false << ok;
        QTest::newRow("bare LF line ends") << QByteArrayList{"GET /metrics HTTP/1.1\nHost: x\n\n"} << false << ok;
        QTest::newRow("empty line before the request") << QByteArrayList{"\r\nGET /metrics HTTP/1.1\r\n\r\n"} << false << ok;
        QTest::newRow("second request pipelined") << QByteArrayList{"GET /metrics HTTP/1.1\r\n\r\nGET / HTTP/1.1\r\n\r\n"} << false << ok;
        QTest::newRow("half-closed after the head") << QByteArrayList{"GET /metrics HTTP/1.1\r\n\r\n"} << true << ok;
        QTest::newRow("head too large") << QByteArrayList{"GET /metrics HTTP/1.1\r\nX: " + QByteArray(17 * 1024, 'a')} << false
                                        << QByteArray("431 Request Header Fields Too Large");
        QTest::newRow("TLS hello") << QByteArrayList{QByteArray::fromHex("160301020001000001fc0303")} << false << QByteArray("400 Bad Request");
        QTest::newRow("binary after a request line") << QByteArrayList{QByteArray("GET /metrics HTTP/1.1\r\n\x01\x02")} << false
                                                     << QByteArray("400 Bad Request");
    }

    void wire()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(bool, halfClose);
        QFETCH(QByteArray, status);
        QObject owner;
        ExporterServer *server = makeServer(&owner);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server->port());
        QVERIFY(socket.waitForConnected(5000));
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0)
                QTest::qWait(20);
            socket.write(pieces.at(i));
            QVERIFY(socket.waitForBytesWritten(5000));
        }
        // Before the endpoint has run: it sees the head and the end of the stream together.
        if (halfClose)
            QCOMPARE(::shutdown(int(socket.socketDescriptor()), SHUT_WR), 0);
        QByteArray reply;
        QTRY_VERIFY_WITH_TIMEOUT((reply += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState), 5000);
        reply += socket.readAll();
        QVERIFY2(reply.startsWith("HTTP/1.1 " + status + "\r\n"), reply.left(200).constData());
        QCOMPARE(reply.count("HTTP/1.1 "), 1);
        if (status == "200 OK")
            QVERIFY(reply.endsWith("\r\n\r\npellix_exporter_modems 0\n"));
    }

    // More idle clients than are held: the oldest make room, and a scrape still gets through.
    void idleFlood()
    {
        QObject owner;
        ExporterServer *server = makeServer(&owner);
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        const int extra = 16;
        for (int i = 0; i < ExporterServer::MaxClients + extra; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, server->port());
            QVERIFY(idle.back()->waitForConnected(5000));
            if (i % 2)
                idle.back()->write("GET /metr");
            QTest::qWait(1);
            QVERIFY(server->clientCount() <= ExporterServer::MaxClients);
        }
        QTRY_COMPARE(server->clientCount(), ExporterServer::MaxClients);
        QTcpSocket scrape;
        scrape.connectToHost(QHostAddress::LocalHost, server->port());
        QVERIFY(scrape.waitForConnected(5000));
        scrape.write("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
        QByteArray reply;
        QTRY_VERIFY_WITH_TIMEOUT((reply += scrape.readAll(), scrape.state() == QAbstractSocket::UnconnectedState), 5000);
        reply += scrape.readAll();
        QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\n"), reply.constData());
        // The oldest were closed, the newest are still held.
        QTRY_COMPARE(idle.front()->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(idle.at(extra)->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(idle.back()->state(), QAbstractSocket::ConnectedState);
    }

    // Out of descriptors: accepting fails. The endpoint says so once, spends the descriptors of
    // idle clients on new ones, and a scrape behind an idle flood is answered. The flood and the
    // scrape come from a child process, whose descriptors the lowered limit does not bind.
    void outOfDescriptors()
    {
        QObject owner;
        ExporterServer *server = makeServer(&owner);
        QStringList warnings;
        server->setWarn([&warnings](const QString &text) { warnings << text; });
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        // Descriptors below the highest one open are taken up, so that the limit leaves an
        // exact room.
        int highest = 0;
        for (int fd = 0; fd < 4096; ++fd)
            if (fcntl(fd, F_GETFD) >= 0)
                highest = fd;
        std::vector<int> fillers;
        for (int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC); fd >= 0; fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) {
            fillers.push_back(fd);
            if (fd > highest)
                break;
        }
        highest = std::max(highest, fillers.empty() ? 0 : fillers.back());
        const auto closeFillers = qScopeGuard([&fillers] {
            for (int fd : fillers)
                ::close(fd);
        });
        // One client first: the accept after it meets EAGAIN, which must not mask the refusals.
        QTcpSocket first;
        first.connectToHost(QHostAddress::LocalHost, server->port());
        QVERIFY(first.waitForConnected(5000));
        QTRY_COMPARE(server->clientCount(), 1);
        const quint16 port = server->port();
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            // Only what is safe after fork() in a threaded program.
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            for (int i = 0; i < 30; ++i) {
                const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
                    _exit(2);
                if (i % 2 && ::write(fd, "GET /metr", 9) != 9)
                    _exit(2);
            }
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            const char request[] = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
            if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
                || ::write(fd, request, sizeof request - 1) != ssize_t(sizeof request - 1))
                _exit(2);
            timeval wait{6, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
            char reply[32] = {};
            ssize_t got = 0;
            while (got < 15) {
                const ssize_t n = ::read(fd, reply + got, size_t(15 - got));
                if (n <= 0)
                    break;
                got += n;
            }
            _exit(std::memcmp(reply, "HTTP/1.1 200 OK", 15) == 0 ? 0 : 1);
        }
        // Room for a few clients only, from the child's first connections on.
        rlimit low = saved;
        low.rlim_cur = rlim_t(highest + 1 + 4);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &low), 0);
        int status = -1;
        const bool ended = QTest::qWaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 9000);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        if (!ended) {
            ::kill(child, SIGKILL);
            waitpid(child, &status, 0);
        }
        QVERIFY2(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0, "the scrape behind the flood was not answered");
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().contains(QLatin1String("limit of open files")), qPrintable(warnings.first()));
    }
};

QTEST_MAIN(TestExporterServer)
#include "tst_exporterserver.moc"
