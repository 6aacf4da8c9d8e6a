// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <memory>

// pellix exporter as an operator runs it, on pellix-modemsim pseudo-terminals, scraped over HTTP.
class TestExporterPty : public QObject
{
    Q_OBJECT

private:
    // Starts pellix-modemsim with its link at path; null when it did not come up.
    static std::unique_ptr<QProcess> startSimulator(const QString &path, const QStringList &switches = {})
    {
        auto sim = std::make_unique<QProcess>();
        sim->setProgram(QStringLiteral(PELLIX_MODEMSIM));
        sim->setArguments(QStringList{QStringLiteral("--link"), path} + switches);
        sim->start();
        if (!sim->waitForStarted(5000) || !sim->waitForReadyRead(5000))
            return nullptr;
        return sim;
    }

    // Starts pellix-modemsim with its link at the test's path; true when it is up.
    bool simulator(const QStringList &switches = {})
    {
        m_sim = startSimulator(link(), switches);
        return m_sim != nullptr;
    }

    QString link() const { return m_dir.filePath(QStringLiteral("modem")); }

    // The machine's port list as the exporter sees it: its own ports and these COM numbers
    // ([Ports] of a Pellix.ini of the test's), each listed while its path exists.
    void listPorts(const QMap<int, QString> &ports)
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("config/Pellix"));
        QFile ini(m_dir.filePath(QStringLiteral("config/Pellix/Pellix.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Ports]\n");
        for (auto it = ports.cbegin(); it != ports.cend(); ++it)
            ini.write("COM" + QByteArray::number(it.key()) + '=' + QFile::encodeName(it.value()) + '\n');
        m_config = true;
    }

    // Starts the exporter on the simulator's link; its port, 0 when it did not start serving.
    quint16 exporter(const QStringList &more = {})
    {
        return exporterWith(QStringList{QStringLiteral("--device"), link()} + more);
    }

    quint16 exporterWith(const QStringList &arguments)
    {
        m_exporter = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), m_dir.path());
        if (m_config)
            environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        m_exporter->setProcessEnvironment(environment);
        m_exporter->setProgram(QStringLiteral(PELLIX_CLI));
        m_exporter->setArguments(QStringList{QStringLiteral("exporter"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                             QStringLiteral("--interval"), QStringLiteral("1")}
                                 + arguments);
        m_exporter->start();
        static const QRegularExpression serving(QStringLiteral("serving http://127\\.0\\.0\\.1:(\\d+)/metrics"));
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            m_exporter->waitForReadyRead(100);
            m_err += m_exporter->readAllStandardError();
            const QRegularExpressionMatch match = serving.match(QString::fromUtf8(m_err));
            if (match.hasMatch())
                return quint16(match.captured(1).toUInt());
            if (m_exporter->state() == QProcess::NotRunning)
                break;
        }
        m_err += "\n(exit status " + QByteArray::number(m_exporter->exitCode()) + ")";
        return 0;
    }

    // One GET; the whole reply, empty when none came.
    static QByteArray get(quint16 port, const QByteArray &path = "/metrics")
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(5000))
            return {};
        socket.write("GET " + path + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
        QByteArray reply;
        while (socket.state() != QAbstractSocket::UnconnectedState && socket.waitForReadyRead(5000))
            reply += socket.readAll();
        return reply + socket.readAll();
    }

    // The value of the first sample of name in a scrape, empty when there is none.
    static QString value(const QByteArray &reply, const QString &name)
    {
        const QRegularExpression line(QStringLiteral("^%1(\\{[^\\n]*\\})? (\\S+)$").arg(QRegularExpression::escape(name)),
                                      QRegularExpression::MultilineOption);
        return line.match(QString::fromUtf8(reply)).captured(2);
    }

    // Scrapes until name has the value, within ms.
    bool waitFor(quint16 port, const QString &name, const QString &wanted, int ms = 20000)
    {
        QDeadlineTimer deadline(ms);
        do {
            m_last = get(port);
            if (value(m_last, name) == wanted)
                return true;
            QTest::qWait(200);
        } while (!deadline.hasExpired());
        return false;
    }

    // The sample of name for the modem of this IMEI: its value, and its port label in port.
    static QString ofModem(const QByteArray &reply, const QString &name, const QString &imei, QString *port = nullptr)
    {
        const QRegularExpression line(QStringLiteral("^%1\\{([^\\n]*)\\} (\\S+)$").arg(QRegularExpression::escape(name)),
                                      QRegularExpression::MultilineOption);
        static const QRegularExpression portLabel(QStringLiteral("port=\"([^\"]*)\""));
        for (auto it = line.globalMatch(QString::fromUtf8(reply)); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            if (!match.captured(1).contains(QStringLiteral("imei=\"%1\"").arg(imei)))
                continue;
            if (port)
                *port = portLabel.match(match.captured(1)).captured(1);
            return match.captured(2);
        }
        return {};
    }

    QTemporaryDir m_dir;
    bool m_config = false;
    std::unique_ptr<QProcess> m_sim;
    std::unique_ptr<QProcess> m_other;
    std::unique_ptr<QProcess> m_exporter;
    QByteArray m_err;
    QByteArray m_last;

private Q_SLOTS:
    void cleanup()
    {
        for (auto *process : {m_exporter.get(), m_sim.get(), m_other.get()}) {
            if (process && process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(10000))
                    process->kill();
            }
        }
        m_exporter.reset();
        m_sim.reset();
        m_other.reset();
        m_err.clear();
        m_config = false;
        QFile::remove(m_dir.filePath(QStringLiteral("config/Pellix/Pellix.ini")));
    }

    // The values follow the modem: up with its signal, and a message that arrives is counted
    // (and, with --forward-to, written and taken off the SIM).
    void followsModem_data()
    {
        QTest::addColumn<bool>("forward");
        QTest::newRow("counted, left on the SIM") << false;
        QTest::newRow("forwarded") << true;
    }

    void followsModem()
    {
        QFETCH(bool, forward);
        QVERIFY(simulator());
        const QString folder = m_dir.filePath(QStringLiteral("inbox"));
        QDir().mkpath(folder);
        const quint16 port = exporter(forward ? QStringList{QStringLiteral("--forward-to"), folder} : QStringList());
        QVERIFY2(port != 0, m_err.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("1")), m_last.constData());
        QTRY_VERIFY_WITH_TIMEOUT(!value(get(port), QStringLiteral("pellix_modem_signal_rssi")).isEmpty(), 10000);
        const int rssi = value(get(port), QStringLiteral("pellix_modem_signal_rssi")).toInt();
        QVERIFY(rssi >= 0 && rssi <= 31);
        // The virtual SIM starts with read and unread messages of its own: the unread ones are
        // counted at the first connection either way; with --forward-to all are forwarded at once.
        const int before = value(get(port), QStringLiteral("pellix_modem_sms_received_total")).toInt();
        QVERIFY(before > 0);
        const auto files = [&] { return int(QDir(folder).entryList(QDir::Files).size()); };
        if (forward)
            QTRY_VERIFY_WITH_TIMEOUT(files() > before, 10000);
        else
            QCOMPARE(files(), 0);
        const int forwarded = files();

        m_sim->write("sms +15551234567 hello from the field\n");
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_sms_received_total"), QString::number(before + 1)), m_last.constData());
        if (forward) {
            QTRY_COMPARE_WITH_TIMEOUT(files(), forwarded + 1, 10000);
            QStringList texts;
            for (const QString &name : QDir(folder).entryList(QDir::Files)) {
                QFile file(QDir(folder).filePath(name));
                QVERIFY(file.open(QIODevice::ReadOnly));
                texts << QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("text")).toString();
            }
            QVERIFY2(texts.contains(QStringLiteral("hello from the field")), qPrintable(texts.join(QLatin1Char('|'))));
            // Each was deleted from the SIM once written: an exporter started again finds none.
            m_exporter->terminate();
            QVERIFY(m_exporter->waitForFinished(30000));
            m_err.clear();
            const QString again = m_dir.filePath(QStringLiteral("again"));
            QDir().mkpath(again);
            const quint16 second = exporter({QStringLiteral("--forward-to"), again});
            QVERIFY2(second != 0, m_err.constData());
            QVERIFY2(waitFor(second, QStringLiteral("pellix_modem_up"), QStringLiteral("1")), m_last.constData());
            QCOMPARE(value(m_last, QStringLiteral("pellix_modem_sms_received_total")), QStringLiteral("0"));
            QCOMPARE(QDir(again).entryList(QDir::Files).size(), 0);
            return;
        } else {
            QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 0);
        }
        QCOMPARE(value(get(port), QStringLiteral("pellix_modem_forward_failures_total")), QStringLiteral("0"));
    }

    // Unplugged (the simulator killed), the modem is down and the loss counted; back on the
    // same path, it is up again.
    void unplugAndReplug()
    {
        QVERIFY(simulator());
        const quint16 port = exporter();
        QVERIFY2(port != 0, m_err.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("1")), m_last.constData());
        m_sim->kill();
        m_sim->waitForFinished();
        QFile::remove(link());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("0")), m_last.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_connection_losses_total"), QStringLiteral("1")), m_last.constData());
        QVERIFY(value(m_last, QStringLiteral("pellix_modem_signal_rssi")).isEmpty());
        QVERIFY(simulator());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("1")), m_last.constData());
        QCOMPARE(value(m_last, QStringLiteral("pellix_modem_connection_losses_total")), QStringLiteral("1"));
    }

    // A modem that restarts is counted once and is up again when the library has set it up.
    void restart()
    {
        QVERIFY(simulator());
        const quint16 port = exporter();
        QVERIFY2(port != 0, m_err.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("1")), m_last.constData());
        QCOMPARE(value(m_last, QStringLiteral("pellix_modem_restarts_total")), QStringLiteral("0"));
        m_sim->write("restart\n");
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_restarts_total"), QStringLiteral("1")), m_last.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("1")), m_last.constData());
        QCOMPARE(value(m_last, QStringLiteral("pellix_modem_connection_losses_total")), QStringLiteral("0"));
    }

    // A modem that stops answering holds no scrape: a scrape is answered while the poll is
    // waiting for the modem (the scrape itself says so), and the port is opened again.
    void hungModem()
    {
        QVERIFY(simulator({QStringLiteral("--freeze-after"), QStringLiteral("3")}));
        const quint16 port = exporter({QStringLiteral("--reopen-after"), QStringLiteral("1")});
        QVERIFY2(port != 0, m_err.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("1")), m_last.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_poll_in_progress"), QStringLiteral("1"), 30000), m_last.constData());
        QVERIFY(m_last.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("0"), 60000), m_last.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_reopens_total"), QStringLiteral("1"), 60000), m_last.constData());
    }

    // SIGTERM (a service stopped) and SIGHUP (its terminal closed) end it with status 0 after the
    // modems are disconnected; the simulator ends on them too, with its link removed.
    void stopSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void stopSignals()
    {
        QFETCH(int, signal);
        QVERIFY(simulator());
        const quint16 port = exporter();
        QVERIFY2(port != 0, m_err.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("1")), m_last.constData());
        ::kill(pid_t(m_exporter->processId()), signal);
        QVERIFY(m_exporter->waitForFinished(30000));
        QCOMPARE(m_exporter->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_exporter->exitCode(), 0);
        ::kill(pid_t(m_sim->processId()), signal);
        QVERIFY(m_sim->waitForFinished(10000));
        QCOMPARE(m_sim->exitStatus(), QProcess::NormalExit);
        QVERIFY(!QFileInfo(link()).isSymLink());
    }

    // What Prometheus's own checker says of a real scrape.
    void promtool()
    {
        const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
        if (promtool.isEmpty())
            QSKIP("promtool is not installed (the prometheus package; scripts/prepare installs it)");
        QVERIFY(simulator());
        const quint16 port = exporter({QStringLiteral("--check-every"), QStringLiteral("5")});
        QVERIFY2(port != 0, m_err.constData());
        QTRY_VERIFY_WITH_TIMEOUT(!value(get(port), QStringLiteral("pellix_modem_check_timestamp_seconds")).isEmpty(), 60000);
        const QByteArray reply = get(port);
        const QByteArray body = reply.mid(reply.indexOf("\r\n\r\n") + 4);
        QProcess check;
        check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
        check.write(body);
        check.closeWriteChannel();
        QVERIFY(check.waitForFinished(30000));
        QVERIFY2(check.exitCode() == 0, (check.readAllStandardOutput() + check.readAllStandardError()).constData());
    }

    // Two modems, one unplugged and back on another path: found again by its IMEI (its port
    // label follows it), never added a second time by --all, and the other modem's values stay
    // with the other modem.
    void foundAgainByImei()
    {
        const QString imeiA = QStringLiteral("351111111111111");
        const QString imeiB = QStringLiteral("352222222222222");
        const QString pathA = m_dir.filePath(QStringLiteral("a"));
        const QString pathB = m_dir.filePath(QStringLiteral("b"));
        const QString movedA = m_dir.filePath(QStringLiteral("a-moved"));
        listPorts({{201, movedA}});
        m_sim = startSimulator(pathA, {QStringLiteral("--imei"), imeiA});
        m_other = startSimulator(pathB, {QStringLiteral("--imei"), imeiB, QStringLiteral("--seed"), QStringLiteral("7")});
        QVERIFY(m_sim && m_other);
        const quint16 port = exporterWith({QStringLiteral("--device"), pathA, QStringLiteral("--device"), pathB, QStringLiteral("--all")});
        QVERIFY2(port != 0, m_err.constData());

        // Every scrape: each IMEI on its own port, two modems, B's messages counted for B alone.
        // Each simulator's SIM starts with unread messages, counted when its modem is connected.
        int receivedB = 0;
        int allowedA = -1;  // -1: until both are up, each counts what its own SIM holds
        int baseB = -1;
        const auto until = [&](const std::function<bool()> &done) {
            QDeadlineTimer deadline(30000);
            while (!deadline.hasExpired()) {
                m_last = get(port);
                QString labelA;
                QString labelB;
                const QString upA = ofModem(m_last, QStringLiteral("pellix_modem_up"), imeiA, &labelA);
                const QString upB = ofModem(m_last, QStringLiteral("pellix_modem_up"), imeiB, &labelB);
                if (!upA.isEmpty() && labelA != pathA && labelA != movedA)
                    return QStringLiteral("A on %1").arg(labelA);
                if (!upB.isEmpty() && labelB != pathB)
                    return QStringLiteral("B on %1").arg(labelB);
                if (value(m_last, QStringLiteral("pellix_exporter_modems")) != QLatin1String("2"))
                    return QStringLiteral("not two modems");
                const QString inA = ofModem(m_last, QStringLiteral("pellix_modem_sms_received_total"), imeiA);
                const QString inB = ofModem(m_last, QStringLiteral("pellix_modem_sms_received_total"), imeiB);
                if ((allowedA >= 0 && inA.toInt() > allowedA) || (baseB >= 0 && inB.toInt() > baseB + receivedB))
                    return QStringLiteral("messages counted for the wrong modem: A %1, B %2").arg(inA, inB);
                if (done())
                    return QString();
                QTest::qWait(200);
            }
            return QStringLiteral("timed out");
        };
        const auto is = [&](const QString &name, const QString &imei, const QString &wanted, const QString &onPort = {}) {
            return [&, name, imei, wanted, onPort] {
                QString label;
                return ofModem(m_last, name, imei, &label) == wanted && (onPort.isEmpty() || label == onPort);
            };
        };
        QString broken = until([&] {
            return is(QStringLiteral("pellix_modem_up"), imeiA, QStringLiteral("1"))() && is(QStringLiteral("pellix_modem_up"), imeiB, QStringLiteral("1"))();
        });
        QVERIFY2(broken.isEmpty(), qPrintable(broken + QLatin1Char('\n') + QString::fromUtf8(m_last)));
        const int startA = ofModem(m_last, QStringLiteral("pellix_modem_sms_received_total"), imeiA).toInt();
        allowedA = startA;
        baseB = ofModem(m_last, QStringLiteral("pellix_modem_sms_received_total"), imeiB).toInt();
        m_other->write("sms +15551234567 for B\n");
        receivedB = 1;
        broken = until(is(QStringLiteral("pellix_modem_sms_received_total"), imeiB, QString::number(baseB + 1)));
        QVERIFY2(broken.isEmpty(), qPrintable(broken + QLatin1Char('\n') + QString::fromUtf8(m_last)));

        m_sim->kill();
        m_sim->waitForFinished();
        QFile::remove(pathA);
        broken = until(is(QStringLiteral("pellix_modem_up"), imeiA, QStringLiteral("0")));
        QVERIFY2(broken.isEmpty(), qPrintable(broken + QLatin1Char('\n') + QString::fromUtf8(m_last)));
        m_sim = startSimulator(movedA, {QStringLiteral("--imei"), imeiA});
        QVERIFY(m_sim);
        allowedA = 2 * startA;  // the new simulator's SIM holds the same unread messages again
        broken = until(is(QStringLiteral("pellix_modem_up"), imeiA, QStringLiteral("1"), movedA));
        QVERIFY2(broken.isEmpty(), qPrintable(broken + QLatin1Char('\n') + QString::fromUtf8(m_last)));
        m_other->write("sms +15551234567 for B again\n");
        receivedB = 2;
        broken = until(is(QStringLiteral("pellix_modem_sms_received_total"), imeiB, QString::number(baseB + 2)));
        QVERIFY2(broken.isEmpty(), qPrintable(broken + QLatin1Char('\n') + QString::fromUtf8(m_last)));
        QCOMPARE(ofModem(m_last, QStringLiteral("pellix_modem_up"), imeiB), QStringLiteral("1"));
        QCOMPARE(ofModem(m_last, QStringLiteral("pellix_modem_connection_losses_total"), imeiB), QStringLiteral("0"));
    }

    // --all with no modem yet serves from the start, and watches a modem plugged in later: once,
    // however many intervals pass.
    void allFindsModemPluggedInLater()
    {
        const QString late = m_dir.filePath(QStringLiteral("late"));
        listPorts({{202, late}});
        const quint16 port = exporterWith({QStringLiteral("--all")});
        QVERIFY2(port != 0, m_err.constData());
        QVERIFY2(waitFor(port, QStringLiteral("pellix_exporter_modems"), QStringLiteral("0")), m_last.constData());
        QVERIFY(m_sim = startSimulator(late, {QStringLiteral("--imei"), QStringLiteral("353333333333333")}));
        QVERIFY2(waitFor(port, QStringLiteral("pellix_modem_up"), QStringLiteral("1")), m_last.constData());
        QString label;
        QCOMPARE(ofModem(m_last, QStringLiteral("pellix_modem_up"), QStringLiteral("353333333333333"), &label), QStringLiteral("1"));
        QCOMPARE(label, QStringLiteral("COM202"));
        QTest::qWait(3000);
        QCOMPARE(value(get(port), QStringLiteral("pellix_exporter_modems")), QStringLiteral("1"));
    }

    // Failures before serving: a usage error is 2, an address that cannot be bound 3.
    void statuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("no modem") << QStringList{} << 2 << "give the modems";
        QTest::newRow("bad listen") << QStringList{QStringLiteral("--listen"), QStringLiteral("9878"), QStringLiteral("--type"), QStringLiteral("-1")}
                                    << 2 << "--listen";
        QTest::newRow("interval 0") << QStringList{QStringLiteral("--interval"), QStringLiteral("0"), QStringLiteral("--type"), QStringLiteral("-1")}
                                    << 2 << "--interval";
        QTest::newRow("forward to nowhere") << QStringList{QStringLiteral("--forward-to"), QStringLiteral("/nonexistent/x"), QStringLiteral("--type"), QStringLiteral("-1")}
                                            << 2 << "--forward-to";
        QTest::newRow("loopback without a check") << QStringList{QStringLiteral("--loopback"), QStringLiteral("--type"), QStringLiteral("-1")}
                                                  << 2 << "go with --check-every";
        QTest::newRow("own number without the loopback")
            << QStringList{QStringLiteral("--check-every"), QStringLiteral("60"), QStringLiteral("--own-number"), QStringLiteral("+15550100"),
                           QStringLiteral("--type"), QStringLiteral("-1")}
            << 2 << "give --loopback too";
        QTest::newRow("address not this host's") << QStringList{QStringLiteral("--listen"), QStringLiteral("192.0.2.1:9878"), QStringLiteral("--type"), QStringLiteral("-1")}
                                                 << 3 << "cannot listen on 192.0.2.1:9878";
    }

    void statuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, says);
        QProcess process;
        process.start(QStringLiteral(PELLIX_CLI), QStringList{QStringLiteral("exporter")} + arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), status);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(err.contains(says), qPrintable(err));
    }
};

QTEST_MAIN(TestExporterPty)
#include "tst_exporterpty.moc"
