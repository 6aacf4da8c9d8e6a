// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// pellix exporter as a site's Prometheus sees it: a real server scrapes it and answers queries,
// promtool reads its exposition, and the example alert rules the package ships are proven on
// series of their own.
class TestPrometheus : public QObject
{
    Q_OBJECT

private:
    struct Reply
    {
        int status = 0;
        QByteArray body;
    };

    // One HTTP/1.1 GET; the exporter and Prometheus both close or bound the answer.
    static Reply get(quint16 port, const QByteArray &target)
    {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        Reply reply;
        if (!socket.waitForConnected(2000))
            return reply;
        socket.write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QByteArray raw;
        QElapsedTimer clock;
        clock.start();
        while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 5000) {
            socket.waitForReadyRead(200);
            raw += socket.readAll();
        }
        raw += socket.readAll();
        const qsizetype end = raw.indexOf("\r\n\r\n");
        if (!raw.startsWith("HTTP/1.") || end < 0)
            return reply;
        reply.status = raw.mid(9, 3).toInt();
        reply.body = raw.mid(end + 4);
        // Prometheus answers its API in chunks when it does not know the length beforehand.
        if (raw.left(end).toLower().contains("transfer-encoding: chunked")) {
            QByteArray body;
            qsizetype at = 0;
            const QByteArray &chunked = reply.body;
            while (at < chunked.size()) {
                const qsizetype line = chunked.indexOf("\r\n", at);
                const qsizetype size = line < 0 ? 0 : chunked.mid(at, line - at).toLongLong(nullptr, 16);
                if (size <= 0)
                    break;
                body += chunked.mid(line + 2, size);
                at = line + 2 + size + 2;
            }
            reply.body = body;
        }
        return reply;
    }

    // A port nobody listens on now: the kernel's choice, released for the program to take.
    static quint16 freePort()
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        return probe.serverPort();
    }

    QProcess *start(const QString &program, const QStringList &arguments)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), m_dir.path());
        process->setProcessEnvironment(environment);
        process->start(program, arguments);
        if (!process->waitForStarted(5000))
            return nullptr;
        m_processes.push_back(std::move(process));
        return m_processes.back().get();
    }

    // pellix-modemsim on a pty, and the exporter polling it every second; waits for a scrape that
    // names the modem.
    quint16 exporterOnVirtualModem(QString *device)
    {
        QProcess *sim = start(QStringLiteral(PELLIX_MODEMSIM), {QStringLiteral("--seed"), QStringLiteral("5")});
        if (!sim || !sim->waitForReadyRead(5000))
            return 0;
        *device = QString::fromLocal8Bit(sim->readLine()).trimmed();
        const quint16 port = freePort();
        QProcess *exporter = start(QStringLiteral(PELLIX_CLI),
                                   {QStringLiteral("exporter"), QStringLiteral("--device"), *device, QStringLiteral("--listen"),
                                    QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--interval"), QStringLiteral("1")});
        if (!exporter)
            return 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 30000 && exporter->state() == QProcess::Running) {
            const Reply scrape = get(port, "/metrics");
            if (scrape.status == 200 && scrape.body.contains("pellix_modem_up{") && scrape.body.contains("} 1"))
                return port;
            QTest::qWait(200);
        }
        qWarning("exporter: %s", exporter->readAll().constData());
        return 0;
    }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;

private Q_SLOTS:
    void cleanup()
    {
        // The newest first: Prometheus and the exporter before the modem they watch.
        while (!m_processes.empty()) {
            QProcess &process = *m_processes.back();
            process.terminate();
            if (!process.waitForFinished(10000))
                process.kill();
            process.waitForFinished(2000);
            m_processes.pop_back();
        }
    }

    void serverReadsTheModemBack()
    {
        const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
        if (prometheus.isEmpty())
            QSKIP("the prometheus server is not installed (scripts/prepare installs the package prometheus)");
        QString device;
        const quint16 exporterPort = exporterOnVirtualModem(&device);
        QVERIFY(exporterPort != 0);

        const QString config = m_dir.filePath(QStringLiteral("prometheus.yml"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                                  "scrape_configs:\n  - job_name: pellix\n    static_configs:\n"
                                  "      - targets: ['127.0.0.1:%1']\n")
                       .arg(exporterPort)
                       .toUtf8());
        file.close();
        const quint16 webPort = freePort();
        QProcess *server = start(prometheus, {QStringLiteral("--config.file=") + config,
                                              QStringLiteral("--storage.tsdb.path=") + m_dir.filePath(QStringLiteral("data")),
                                              QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(webPort)});
        QVERIFY(server);

        // The first scrape lands a second or two after the server is ready.
        QJsonArray result;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000 && server->state() == QProcess::Running) {
            const Reply answer = get(webPort, "/api/v1/query?query=pellix_modem_up");
            result = QJsonDocument::fromJson(answer.body).object()[QLatin1String("data")][QLatin1String("result")].toArray();
            if (answer.status == 200 && !result.isEmpty())
                break;
            QTest::qWait(500);
        }
        QVERIFY2(result.size() == 1, server->readAll().constData());
        const QJsonObject series = result.first().toObject();
        // "value": [<unix time>, "1"]: Prometheus keeps sample values as strings.
        QCOMPARE(series[QLatin1String("value")].toArray().at(1).toString(), QStringLiteral("1"));
        const QJsonObject labels = series[QLatin1String("metric")].toObject();
        QCOMPARE(labels[QLatin1String("job")].toString(), QStringLiteral("pellix"));
        QCOMPARE(labels[QLatin1String("port")].toString(), device);
        QVERIFY2(labels[QLatin1String("imei")].toString().size() >= 14, qPrintable(labels[QLatin1String("imei")].toString()));
        QVERIFY(!labels[QLatin1String("model")].toString().isEmpty());
        // Prometheus's own verdict on the target: scraped and parsed without error.
        const Reply up = get(webPort, "/api/v1/query?query=up%7Bjob%3D%22pellix%22%7D");
        const QJsonArray target = QJsonDocument::fromJson(up.body).object()[QLatin1String("data")][QLatin1String("result")].toArray();
        QCOMPARE(target.size(), 1);
        QCOMPARE(target.first()[QLatin1String("value")].toArray().at(1).toString(), QStringLiteral("1"));
    }

    void promtoolReadsTheScrape()
    {
        const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
        if (promtool.isEmpty())
            QSKIP("promtool is not installed (scripts/prepare installs the package prometheus)");
        QString device;
        const quint16 port = exporterOnVirtualModem(&device);
        QVERIFY(port != 0);
        const Reply scrape = get(port, "/metrics");
        QCOMPARE(scrape.status, 200);
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
        QVERIFY(check.waitForStarted());
        check.write(scrape.body);
        check.closeWriteChannel();
        QVERIFY(check.waitForFinished(30000));
        // Exit 0 only when the text parses and breaks none of the naming conventions.
        const QByteArray said = check.readAll();
        QVERIFY2(check.exitCode() == 0 && said.trimmed().isEmpty(), (said + "\n" + scrape.body).constData());
    }

    // The package's examples as Prometheus loads them, and the alert rules on series that must
    // and must not fire them (tests/prometheus/pellix-alerts.test.yml).
    void packagedExamples_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString packaging = QStringLiteral(PELLIX_SOURCE_DIR "/packaging/");
        QTest::newRow("alert rules") << QStringList{QStringLiteral("check"), QStringLiteral("rules"), packaging + QStringLiteral("pellix-alerts.yml")};
        QTest::newRow("scrape job with its rules") << QStringList{QStringLiteral("check"), QStringLiteral("config"),
                                                                 packaging + QStringLiteral("prometheus-pellix.yml")};
        QTest::newRow("alerts fire when they should and only then")
            << QStringList{QStringLiteral("test"), QStringLiteral("rules"), QStringLiteral(PELLIX_SOURCE_DIR "/tests/prometheus/pellix-alerts.test.yml")};
    }

    void packagedExamples()
    {
        QFETCH(QStringList, arguments);
        const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
        if (promtool.isEmpty())
            QSKIP("promtool is not installed (scripts/prepare installs the package prometheus)");
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(promtool, arguments);
        QVERIFY(check.waitForFinished(60000));
        QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0, check.readAll().constData());
    }
};

QTEST_GUILESS_MAIN(TestPrometheus)
#include "tst_prometheus.moc"
