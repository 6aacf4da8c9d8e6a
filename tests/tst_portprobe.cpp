// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/portprobe.h"
#include "scriptedtransport.h"
#include "sim/virtualmodem.h"
#include "transport/portholders.h"
#include "transport/serialportdescription.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace pellix;
using Outcome = PortProbeResult::Outcome;
using Script = QList<QPair<QByteArray, QByteArray>>;

namespace {

// A pseudo-terminal whose other side never answers: a data or GPS port that ignores AT.
class SilentTerminal
{
public:
    SilentTerminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_path = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~SilentTerminal()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    SilentTerminal(const SilentTerminal &) = delete;
    SilentTerminal &operator=(const SilentTerminal &) = delete;

    QString path() const { return m_path; }
    // What the probe wrote to the port.
    QByteArray received() const
    {
        QByteArray bytes;
        pollfd pfd{m_master, POLLIN, 0};
        while (::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN)) {
            char buffer[256];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, n);
        }
        return bytes;
    }

private:
    int m_master = -1;
    QString m_path;
};

SerialPortDescription portAt(const QString &path)
{
    SerialPortDescription port;
    port.devicePath = path;
    return port;
}

} // namespace

// Which of a USB modem's ports answers AT: the conversation over a scripted port, then whole
// probes of pseudo-terminals (the virtual modem, a silent port, a port another program holds).
class tst_PortProbe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void conversation_data();
    void conversation();
    void pseudoTerminals();
};

void tst_PortProbe::conversation_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QByteArray>("noise");  // sent by the port every 40 ms, unasked
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("reason");    // a pattern
    QTest::addColumn<QStringList>("identity");
    QTest::addColumn<QList<QByteArray>>("written");

    const QList<QByteArray> identityCommands{"AT\r", "AT+CGMI\r", "AT+CGMM\r", "AT+CGMR\r", "AT+CGSN\r"};
    QTest::newRow("a modem: identity read, a refused +CGMR tolerated, nothing set")
        << Script{{"AT\r", "AT\r\r\nOK\r\n"},
                  {"AT+CGMI\r", "AT+CGMI\r\r\nhuawei\r\n\r\nOK\r\n"},
                  {"AT+CGMM\r", "AT+CGMM\r\r\n+CGMM: E173\r\n\r\nOK\r\n"},
                  {"AT+CGMR\r", "AT+CGMR\r\r\n+CME ERROR: 4\r\n"},
                  {"AT+CGSN\r", "AT+CGSN\r\r\n357920061482624\r\n\r\nOK\r\n"}}
        << QByteArray() << int(Outcome::Answered) << QString()
        << QStringList{"huawei", "E173", "", "357920061482624"} << identityCommands;
    QTest::newRow("a half-typed line earns ERROR; the second AT starts clean")
        << Script{{"AT\r", "\r\nERROR\r\n"}, {"AT\r", "\r\nOK\r\n"},
                  {"AT+CGMI\r", "\r\nSIMCOM_Ltd\r\n\r\nOK\r\n"}, {"AT+CGMM\r", "\r\nSIMCOM_SIM800L\r\n\r\nOK\r\n"},
                  {"AT+CGMR\r", "\r\nRevision:1418B04SIM800L24\r\n\r\nOK\r\n"}, {"AT+CGSN\r", "\r\nERROR\r\n"}}
        << QByteArray() << int(Outcome::Answered) << QString()
        << QStringList{"SIMCOM_Ltd", "SIMCOM_SIM800L", "Revision:1418B04SIM800L24", ""}
        << QList<QByteArray>{"AT\r", "AT\r", "AT+CGMI\r", "AT+CGMM\r", "AT+CGMR\r", "AT+CGSN\r"};
    QTest::newRow("ERROR to every AT is an AT interpreter all the same")
        << Script{{"AT\r", "\r\nERROR\r\n"}, {"AT\r", "\r\nERROR\r\n"}} << QByteArray() << int(Outcome::Answered)
        << QStringLiteral("^answers ERROR$") << QStringList{"", "", "", ""} << QList<QByteArray>{"AT\r", "AT\r"};
    QTest::newRow("silent") << Script{} << QByteArray() << int(Outcome::NoAnswer) << QStringLiteral("^silent$")
                            << QStringList{"", "", "", ""} << QList<QByteArray>{"AT\r"};
    QTest::newRow("a GPS port's sentences")
        << Script{} << QByteArray("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n")
        << int(Outcome::NoAnswer) << QStringLiteral("^\\d+ bytes of other data: \\$GPGGA,123519,4807\\.038,N,01131\\.000,E,1,08,0\\.9,54\\.\\.\\.$")
        << QStringList{"", "", "", ""} << QList<QByteArray>{"AT\r"};
    QTest::newRow("a diagnostics port's binary")
        << Script{{"AT\r", QByteArray("\x7e\x00\x01\xff\x7e", 5)}} << QByteArray() << int(Outcome::NoAnswer)
        << QStringLiteral("^5 bytes of other data: ~\\.\\.\\.~$") << QStringList{"", "", "", ""} << QList<QByteArray>{"AT\r"};
    QTest::newRow("a loopback only echoes")
        << Script{{"AT\r", "AT\r"}} << QByteArray() << int(Outcome::NoAnswer) << QStringLiteral("^it only echoed what was sent$")
        << QStringList{"", "", "", ""} << QList<QByteArray>{"AT\r"};
}

void tst_PortProbe::conversation()
{
    QFETCH(Script, script);
    QFETCH(QByteArray, noise);
    QFETCH(int, outcome);
    QFETCH(QString, reason);
    QFETCH(QStringList, identity);
    QFETCH(QList<QByteArray>, written);

    ScriptedTransport port;
    for (const auto &[command, reply] : script)
        port.script(command, reply);
    if (!noise.isEmpty())
        port.injectEvery(noise, 40, 20);
    const PortProbeResult result = probeTransport(port, 400);

    QCOMPARE(int(result.outcome), outcome);
    if (reason.isEmpty())
        QCOMPARE(result.reason, QString());
    else
        QVERIFY2(QRegularExpression(reason).match(result.reason).hasMatch(), qPrintable(result.reason));
    QCOMPARE((QStringList{result.manufacturer, result.model, result.revision, result.imei}), identity);
    QCOMPARE(port.writes(), written);
}

void tst_PortProbe::pseudoTerminals()
{
    QProcess simulator;
    simulator.setProgram(QStringLiteral(PELLIX_MODEMSIM));
    simulator.start();
    QVERIFY(simulator.waitForStarted(5000));
    QVERIFY(simulator.waitForReadyRead(5000));
    const QString modem = QString::fromLocal8Bit(simulator.readLine().trimmed());
    SilentTerminal silent;
    QVERIFY(!silent.path().isEmpty());

    QElapsedTimer clock;
    clock.start();
    const PortProbeResult answered = probePort(portAt(modem));
    const qint64 answeredMs = clock.restart();
    const PortProbeResult quiet = probePort(portAt(silent.path()));
    const qint64 quietMs = clock.elapsed();
    qInfo("probe of the virtual modem: %lld ms; of the silent port: %lld ms (deadline %d ms)", answeredMs, quietMs,
          DefaultProbeDeadlineMs);

    QCOMPARE(describe(answered),
             QStringLiteral("answers AT: %1 %2, revision %3, IMEI %4")
                 .arg(QLatin1String(sim::VirtualModem::Manufacturer), QLatin1String(sim::VirtualModem::Model),
                      QLatin1String(sim::VirtualModem::Revision), QLatin1String(sim::VirtualModem::Imei)));
    QCOMPARE(describe(quiet), QStringLiteral("no AT answer (silent)"));
    QCOMPARE(silent.received(), QByteArray("AT\r"));

    // Held by another program: never opened, not a byte sent.
    QProcess holder;
    holder.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec sleep 30 <\"$0\""), silent.path()});
    QVERIFY(holder.waitForStarted(5000));
    QTRY_VERIFY(!portClients(silent.path()).isEmpty());
    const PortProbeResult skipped = probePort(portAt(silent.path()));
    QCOMPARE(describe(skipped), QStringLiteral("skipped: in use by sleep (pid %1)").arg(holder.processId()));
    QCOMPARE(silent.received(), QByteArray());
    // One look at the processes for several ports finds each port's own programs: the held
    // terminal's, and none for the simulator's (its server holding both sides is no client).
    const QHash<QString, QStringList> clients = portClients(QStringList{modem, silent.path()});
    QCOMPARE(clients.value(silent.path()), QStringList{QStringLiteral("sleep (pid %1)").arg(holder.processId())});
    QCOMPARE(clients.value(modem), QStringList());
    holder.kill();
    holder.waitForFinished(5000);

    simulator.kill();
    simulator.waitForFinished(5000);
}

QTEST_GUILESS_MAIN(tst_PortProbe)
#include "tst_portprobe.moc"
