// SPDX-License-Identifier: GPL-3.0-or-later
// The built pellix program against pellix-modemsim on a pseudo-terminal: one session of the
// commands a tester scripts, and the two ways a port fails (nobody answers, somebody else has it).
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QSerialPort>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

} // namespace

class TestCliPty : public QObject
{
    Q_OBJECT

private:
    // tempDir: where this run writes Pellix.log; empty: the test's own temporary folder.
    Run pellix(const QStringList &arguments, const QString &tempDir = QString())
    {
        QProcess process;
        if (!tempDir.isEmpty()) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("TMPDIR"), tempDir);
            process.setProcessEnvironment(environment);
        }
        process.setProgram(QStringLiteral(PELLIX_CLI));
        process.setArguments(arguments);
        process.start();
        Run run;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            run.err = QStringLiteral("pellix did not end");
            return run;
        }
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    QProcess m_simulator;
    QString m_device;

private Q_SLOTS:
    void initTestCase()
    {
        // Pellix.log goes to a temporary folder of the test's own.
        qputenv("TMPDIR", QFile::encodeName(QDir::tempPath()));
        m_simulator.setProgram(QStringLiteral(PELLIX_MODEMSIM));
        m_simulator.setArguments({QStringLiteral("--seed"), QStringLiteral("5")});
        m_simulator.start();
        QVERIFY2(m_simulator.waitForStarted(5000), qPrintable(m_simulator.errorString()));
        QVERIFY(m_simulator.waitForReadyRead(5000));
        m_device = QString::fromLocal8Bit(m_simulator.readLine()).trimmed();
        QVERIFY2(m_device.startsWith(QStringLiteral("/dev/")), qPrintable(m_device));
    }

    void cleanupTestCase()
    {
        m_simulator.terminate();
        if (!m_simulator.waitForFinished(5000))
            m_simulator.kill();
    }

    void session()
    {
        const QStringList port{QStringLiteral("--device"), m_device};
        Run run = pellix(port + QStringList{"identify"});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QStringLiteral("Manufacturer: Pellix")), qPrintable(run.out + run.err));

        // To the modem's own number: the message comes back a second later, the report after two.
        // The connection waiting for the report gets both, and the message is shown, not lost.
        run = pellix(port + QStringList{"send", "+3934811111111", "over the terminal", "--wait-report", "20"});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QStringLiteral("Short message received by the SME"))
                     && run.out.contains(QStringLiteral("message: -1 new from +3934811111111 at ")),
                 qPrintable(run.out + run.err));
        run = pellix(port + QStringList{"sms", "list"});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QStringLiteral("Welcome to the virtual network")), qPrintable(run.out + run.err));

        run = pellix(port + QStringList{"phonebook", "write", "7", "Terminal", "+15550177"});
        QCOMPARE(run.status, 0);
        run = pellix(port + QStringList{"--json", "phonebook", "list"});
        QVERIFY2(run.out.contains(QStringLiteral("{\"index\":7,\"name\":\"Terminal\",\"number\":\"+15550177\"}")),
                 qPrintable(run.out + run.err));
        run = pellix(port + QStringList{"phonebook", "delete", "7"});
        QCOMPARE(run.status, 0);
        run = pellix(port + QStringList{"phonebook", "list"});
        QVERIFY2(!run.out.contains(QStringLiteral("Terminal")), qPrintable(run.out));
    }

    // The rest of the commands, each once over the terminal.
    // A program killed while its listing still comes over a slow line: the next one takes the
    // rest of it for nothing of its own, and reads its answers in step (the IMEI as the IMEI).
    void leftoverOfAKilledSession()
    {
        QProcess slow;
        slow.setProgram(QStringLiteral(PELLIX_MODEMSIM));
        slow.setArguments({QStringLiteral("--line-speed"), QStringLiteral("2400"), QStringLiteral("--imei"),
                           QStringLiteral("354444444444444")});
        slow.start();
        QVERIFY(slow.waitForReadyRead(5000));
        const QByteArray device = slow.readLine().trimmed();
        const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        QVERIFY(::write(fd, "ATE0\r", 5) == 5);
        QTest::qWait(300);
        QVERIFY(::write(fd, "AT+CMGL=4\r", 10) == 10);
        QTest::qWait(300);
        ::close(fd);
        const Run run = pellix({QStringLiteral("--device"), QString::fromLocal8Bit(device), QStringLiteral("identify")});
        slow.terminate();
        slow.waitForFinished(5000);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QStringLiteral("IMEI: 354444444444444")), qPrintable(run.out + run.err));
    }

    void command_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("out");
        QTest::newRow("signal") << QStringList{"signal"} << " dBm), ber ";
        QTest::newRow("reports") << QStringList{"reports", "list"} << "Short message received by the SME";
        QTest::newRow("forwarding set") << QStringList{"forward", "set", "+15550123"} << "to +15550123";
        QTest::newRow("forwarding asked") << QStringList{"forward", "get"} << "to +15550123";
        QTest::newRow("forwarding off") << QStringList{"forward", "off"} << "off";
        QTest::newRow("raw lines") << QStringList{"at", "AT+CGMM", "AT+CPBS?"} << "PVM-1\nOK\n+CPBS: \"SM\"";
        QTest::newRow("delete a message") << QStringList{"sms", "delete", "1"} << "Deleted 1";
    }

    void command()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        const Run run = pellix(QStringList{QStringLiteral("--device"), m_device} + arguments);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(out), qPrintable(run.out + run.err));
    }

    // Two users on one machine, neither with TMPDIR: each gets a trace of their own, in a folder
    // of their own that nobody else can read.
    void eachUserHasATrace()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run pellix as a second user");
        constexpr uid_t Second = 65534;
        const QString secondFolder = QStringLiteral("/tmp/pellix-%1").arg(Second);
        QDir(secondFolder).removeRecursively();
        const auto cleanup = qScopeGuard([&] { QDir(secondFolder).removeRecursively(); });
        for (const bool second : {false, true}) {
            QProcess process;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove(QStringLiteral("TMPDIR"));
            environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
            if (second)
                environment.insert(QStringLiteral("HOME"), QStringLiteral("/nonexistent"));
            process.setProcessEnvironment(environment);
            if (second) {
                process.setChildProcessModifier([] {
                    if (::setgid(Second) != 0 || ::setuid(Second) != 0)
                        ::_exit(99);
                });
            }
            process.start(QStringLiteral(PELLIX_CLI), {QStringLiteral("--type=-1"), QStringLiteral("identify")});
            QVERIFY(process.waitForFinished(60000));
            const QByteArray err = process.readAllStandardError();
            QCOMPARE(process.exitCode(), 0);
            QVERIFY2(!err.contains("pellix: warning"), err.constData());
        }
        struct stat folder {};
        struct stat file {};
        QCOMPARE(::lstat(QFile::encodeName(secondFolder).constData(), &folder), 0);
        QCOMPARE(::lstat(QFile::encodeName(secondFolder + QStringLiteral("/Pellix.log")).constData(), &file), 0);
        QCOMPARE(folder.st_uid, Second);
        QCOMPARE(folder.st_mode & 0077, mode_t(0));
        QCOMPARE(file.st_uid, Second);
        QCOMPARE(file.st_mode & 0077, mode_t(0));
        QVERIFY(file.st_size > 0);
    }

    // monitor prints a call as it rings, and ends cleanly on the signal a service manager sends.
    void monitor()
    {
        QProcess monitor;
        monitor.start(QStringLiteral(PELLIX_CLI), {QStringLiteral("--device"), m_device, QStringLiteral("monitor")});
        QVERIFY(monitor.waitForStarted(5000));
        // The simulator's network calls until monitor has connected and shows the call.
        QByteArray out;
        for (int tries = 0; tries < 20 && !out.contains("+15550999"); ++tries) {
            m_simulator.write("ring +15550999\n");
            m_simulator.waitForBytesWritten(1000);
            monitor.waitForReadyRead(500);
            out += monitor.readAllStandardOutput();
        }
        monitor.terminate();
        QVERIFY(monitor.waitForFinished(10000));
        out += monitor.readAllStandardOutput();
        QVERIFY2(out.contains("ring: from +15550999"), out.constData());
        QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(monitor.exitCode(), 0);
    }

    // The simulator's terminal under a COM number of Pellix.ini: ports --probe finds that it is
    // the one that answers AT, with its identity, without disturbing it.
    void portsProbe()
    {
        QTemporaryDir config;
        QVERIFY(config.isValid() && QDir(config.path()).mkpath(QStringLiteral("Pellix")));
        QFile ini(config.filePath(QStringLiteral("Pellix/Pellix.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Ports]\nCOM200=" + QFile::encodeName(m_device) + "\n");
        ini.close();
        const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const Run run = pellix({QStringLiteral("--json"), QStringLiteral("ports"), QStringLiteral("--probe")});
        qputenv("XDG_CONFIG_HOME", previous);
        QCOMPARE(run.status, 0);
        const QJsonArray ports = QJsonDocument::fromJson(run.out.toUtf8()).object().value(QLatin1String("ports")).toArray();
        QJsonObject simulator;
        for (const QJsonValue &port : ports) {
            if (port.toObject().value(QLatin1String("com")).toInt() == 200)
                simulator = port.toObject();
        }
        QCOMPARE(simulator.value(QLatin1String("device")).toString(), m_device);
        const QJsonObject probe = simulator.value(QLatin1String("probe")).toObject();
        QCOMPARE(probe.value(QLatin1String("outcome")).toString(), QStringLiteral("answered"));
        QCOMPARE(probe.value(QLatin1String("model")).toString(), QStringLiteral("PVM-1"));
        // Still the simulator's: the next program connects as before.
        QCOMPARE(pellix({QStringLiteral("--device"), m_device, QStringLiteral("identify")}).status, 0);
    }

    // What a command did against the live simulator, recorded in Pellix.log, comes back line for
    // line when the same command runs against pellix-modemsim playing that trace, and the replay
    // finds no departure from the recording.
    void replayedSession_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("identify") << QStringList{"identify"};
        QTest::newRow("stored messages") << QStringList{"--json", "sms", "list", "--all"};
        QTest::newRow("send, report and the message back")
            << QStringList{"send", "+3934811111111", "replayed", "--receipt", "--wait-report", "20"};
        QTest::newRow("forwarding") << QStringList{"forward", "set", "+15550123"};
    }

    void replayedSession()
    {
        QFETCH(QStringList, command);
        QTemporaryDir recording;
        QTemporaryDir replaying;
        QVERIFY(recording.isValid() && replaying.isValid());
        const Run recorded = pellix(QStringList{QStringLiteral("--device"), m_device} + command, recording.path());
        QCOMPARE(recorded.status, 0);

        QProcess replay;
        replay.setProgram(QStringLiteral(PELLIX_MODEMSIM));
        replay.setArguments({QStringLiteral("--replay"), recording.filePath(QStringLiteral("Pellix.log")),
                             QStringLiteral("--as-fast-as-possible")});
        replay.start();
        QVERIFY(replay.waitForStarted(5000) && replay.waitForReadyRead(5000));
        const QString device = QString::fromLocal8Bit(replay.readLine()).trimmed();
        QVERIFY2(device.startsWith(QStringLiteral("/dev/")), qPrintable(device));
        const Run replayed = pellix(QStringList{QStringLiteral("--device"), device} + command, replaying.path());
        replay.terminate();
        replay.waitForFinished(5000);
        const QString diagnostics = QString::fromLocal8Bit(replay.readAllStandardError());

        QCOMPARE(replayed.status, recorded.status);
        QCOMPARE(replayed.out, recorded.out);
        QVERIFY2(!diagnostics.contains(QStringLiteral("mismatch")) && !diagnostics.contains(QStringLiteral("past the end")),
                 qPrintable(diagnostics));
    }

    void failingPort_data()
    {
        QTest::addColumn<bool>("held");
        QTest::addColumn<QString>("err");
        QTest::newRow("nobody answers") << false << "does not answer AT commands";
        QTest::newRow("held by another program") << true << "busy";
    }

    void failingPort()
    {
        QFETCH(bool, held);
        QFETCH(QString, err);
        // A terminal of the test's own whose other end nobody reads, or the simulator's terminal
        // opened here first (QSerialPort takes it exclusively, as pellix does).
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0);
        QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
        QString device = QString::fromLocal8Bit(::ptsname(master));
        QSerialPort holder;
        if (held) {
            device = m_device;
            holder.setPortName(device);
            QVERIFY2(holder.open(QIODevice::ReadWrite), qPrintable(holder.errorString()));
        }
        const Run run = pellix({QStringLiteral("--device"), device, QStringLiteral("identify")});
        ::close(master);
        QCOMPARE(run.status, 3);
        QVERIFY2(run.err.startsWith(QStringLiteral("pellix: error ")) && run.err.contains(err), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCliPty)
#include "tst_clipty.moc"
