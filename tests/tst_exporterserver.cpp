// SPDX-License-Identifier: GPL-3.0-or-later
#include "exporterserver.h"

#include <QTcpSocket>
#include <QTest>

using namespace cli;

// The exporter's HTTP endpoint as clients reach it: well-behaved scrapes, odd but lawful request
// forms, and clients that send nothing, too much, or something else.
class TestExporterServer : public QObject
{
    Q_OBJECT

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
};

QTEST_MAIN(TestExporterServer)
#include "tst_exporterserver.moc"
