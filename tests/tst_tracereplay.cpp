// SPDX-License-Identifier: GPL-3.0-or-later
// A session recorded into Pellix.log on the virtual modem (plain, and with each field behaviour)
// is replayed to a fresh driver: the same operations give the same results and the same commands,
// a departure is named at its trace line, and files that are no trace are refused clearly.
#include "connection/replaymodem.h"
#include "networkpdus.h"
#include "pdu/smspdu.h"
#include "profiles/modemprofile.h"
#include "raisederrorcode.h"
#include "sim/replaytransport.h"
#include "sim/tracerecording.h"
#include "sim/virtualclock.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"
#include "sim/virtualnetwork.h"
#include "transport/serialtransport.h"
#include "transport/tracelog.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace pellix;

Q_DECLARE_METATYPE(pellix::sim::FieldBehaviour)

namespace {

const QString OwnNumber = QString::fromLatin1(sim::VirtualNetwork::OwnNumber);

// The commands of a trace file, in order, without their times.
QList<QByteArray> sentLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> sent;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.mid(24, 3) == "-> ")
            sent << line.mid(27);
    return sent;
}

// What one side of the test does to let time pass and bring about network events; the replaying
// side has them in the recording.
struct Side
{
    std::function<void(qint64)> passTime;
    std::function<void()> callIn;
};

// The whole session: connect with the PIN, signal, read, send with a report and receive it,
// phonebook write and read, forwarding set, get and cancel, a ring. Returns what the caller saw.
QStringList runSession(PellixGsmModem &modem, const Side &side)
{
    QStringList seen;
    QSignalSpy received(&modem, &GsmModem::MessageReceived);
    QSignalSpy reports(&modem, &GsmModem::StatusReport);
    QSignalSpy rings(&modem, &GsmModem::Ring);
    modem.setConnectOptionA(true);
    modem.setConnectOptionB(true);
    seen << QStringLiteral("connect %1").arg(errorOf([&] { modem.Connect(-1, 0, QStringLiteral("1234"), 2, 60, 0); }));
    seen << modem.Manufacturer() + modem.Model() + modem.Revision() + modem.IMEI();
    qint16 rssi = -1;
    qint16 ber = -1;
    seen << QStringLiteral("signal %1 %2").arg(errorOf([&] { modem.GetSignalQuality(rssi, ber); })).arg(rssi);
    side.passTime(3000); // a late answer comes now, after the driver gave up on it
    QTest::qWait(50);
    seen << QStringLiteral("signal %1 %2").arg(errorOf([&] { modem.GetSignalQuality(rssi, ber); })).arg(rssi);
    seen << QStringLiteral("read %1").arg(errorOf([&] {
        for (const ReceivedMessage &m : modem.ReadMessages(0, false))
            seen << QStringLiteral("stored %1 %2").arg(m.SimLocation).arg(m.Text);
    }));
    SmsMessage msg;
    msg.Recipient.Number = OwnNumber;
    msg.Text = QStringLiteral("replayed [text]");
    msg.RequestStatusReport = true;
    seen << QStringLiteral("send %1 %2").arg(errorOf([&] { modem.SendMessage(msg); })).arg(msg.Reference);
    side.passTime(3000);
    if (!QTest::qWaitFor([&] { return received.count() >= 1 && reports.count() >= 1; }, 5000))
        seen << QStringLiteral("no message or report");
    for (const QList<QVariant> &r : std::as_const(received))
        seen << QStringLiteral("received %1").arg(r.first().value<ReceivedMessage>().Text);
    for (const QList<QVariant> &r : std::as_const(reports)) {
        const auto report = r.first().value<SmsStatusReport>();
        seen << QStringLiteral("report %1 %2").arg(report.Reference).arg(report.Status);
    }
    PhonebookEntry entry;
    entry.Index = 3;
    entry.Name = QStringLiteral("Replay");
    entry.Number = QStringLiteral("+3955507");
    seen << QStringLiteral("write %1").arg(errorOf([&] { modem.WritePhonebookEntry(entry); }));
    seen << QStringLiteral("phonebook %1").arg(errorOf([&] {
        for (const PhonebookEntry &e : modem.ReadPhonebook(1, 10))
            seen << QStringLiteral("entry %1 %2 %3").arg(e.Index).arg(e.Name, e.Number);
    }));
    for (const auto &[mode, number] : {std::pair{3, QStringLiteral("+3955508")}, std::pair{2, QString()}, std::pair{4, QString()}})
        seen << QStringLiteral("forward %1 %2").arg(mode).arg(errorOf([&] { seen << modem.ForwardCalls(mode, 1, 0, number); }));
    side.callIn();
    side.passTime(500);
    if (QTest::qWaitFor([&] { return rings.count() >= 1; }, 5000))
        seen << QStringLiteral("ring %1").arg(rings.first().first().value<PhoneNumber>().Number);
    modem.Disconnect();
    return seen;
}

} // namespace

class TestTraceReplay : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // Records runSession on a virtual modem with `field` into a trace file; returns its path.
    QString record(const sim::FieldBehaviour &field, QStringList &seen, const QString &name)
    {
        sim::VirtualModemOptions options;
        options.field = field;
        options.pin = QStringLiteral("1234");
        auto clock = std::make_shared<sim::ManualClock>();
        auto modemSim = std::make_shared<sim::VirtualModem>(options, clock);
        modemSim->incomingMessage(deliverPdu(QStringLiteral("waiting on the SIM")));
        sim::VirtualModemTransport *transport = nullptr;
        PellixGsmModem modem([&](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
            auto t = std::make_unique<sim::VirtualModemTransport>(modemSim);
            transport = t.get();
            return t;
        });
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        modem.setTracePath(path);
        Side side;
        side.passTime = [&](qint64 ms) {
            clock->advance(ms);
            if (transport)
                transport->pollNow();
            QCoreApplication::processEvents();
        };
        side.callIn = [&] { modemSim->incomingCall(QStringLiteral("+3955509")); };
        seen = runSession(modem, side);
        return path;
    }

    QStringList replay(ReplayModem &modem, const QString &tracePath = QString())
    {
        Side side;
        side.passTime = [](qint64) { QCoreApplication::processEvents(); };
        side.callIn = [] {};
        if (!tracePath.isEmpty())
            modem.setTracePath(tracePath);
        return runSession(modem, side);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void replayGivesTheRecordedSession_data()
    {
        QTest::addColumn<sim::FieldBehaviour>("field");
        const auto with = [](const std::function<void(sim::FieldBehaviour &)> &set) {
            sim::FieldBehaviour field;
            set(field);
            return field;
        };
        QTest::newRow("plain modem") << sim::FieldBehaviour();
        QTest::newRow("sim-busy") << with([](sim::FieldBehaviour &f) { f.simBusySeconds = 8; });
        QTest::newRow("vendor-noise") << with([](sim::FieldBehaviour &f) { f.vendorNoise = true; });
        QTest::newRow("late-reply") << with([](sim::FieldBehaviour &f) {
            f.lateReplyMs = 2500; // past the simulator profile's 2 s
            f.lateCommands = {"+CSQ"};
            f.lateReplyCount = 1;
        });
        QTest::newRow("strict-cnmi") << with([](sim::FieldBehaviour &f) { f.strictCnmi = true; });
        QTest::newRow("charsets GSM") << with([](sim::FieldBehaviour &f) { f.charsets = "GSM"; });
        QTest::newRow("empty-list-error") << with([](sim::FieldBehaviour &f) { f.emptyListError = true; });
        QTest::newRow("stuck-prompt") << with([](sim::FieldBehaviour &f) { f.stuckPrompt = true; });
        QTest::newRow("quiet") << with([](sim::FieldBehaviour &f) { f.quiet = true; });
        QTest::newRow("boot-noise") << with([](sim::FieldBehaviour &f) { f.bootNoise = true; });
        QTest::newRow("lose-routed") << with([](sim::FieldBehaviour &f) { f.loseRoutedMessages = true; });
    }
    void replayGivesTheRecordedSession()
    {
        QFETCH(sim::FieldBehaviour, field);
        QStringList recorded;
        const QString path = record(field, recorded, QStringLiteral("recorded.log"));
        QVERIFY2(recorded.contains(QStringLiteral("ring +3955509")), qPrintable(recorded.join(u'\n')));

        auto modem = replayModem(path);
        const QString replayPath = m_dir.filePath(QStringLiteral("replayed.log"));
        QFile::remove(replayPath);
        const QStringList replayed = replay(*modem, replayPath);
        QStringList mismatches;
        for (const auto &m : modem->mismatches())
            mismatches << m.text();
        QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(u'\n')));
        QCOMPARE(replayed, recorded);
        QCOMPARE(sentLines(replayPath), sentLines(path));
    }

    // The replaying driver does something else than the recorded one: the ERROR it gets and the
    // mismatch name the command that was due, at its line of the trace.
    void departureIsNamedAtItsTraceLine()
    {
        QStringList recorded;
        const QString path = record(sim::FieldBehaviour(), recorded, QStringLiteral("departure.log"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        const int csqLine = int(std::find_if(lines.begin(), lines.end(), [](const QByteArray &l) {
                                    return l.endsWith("-> AT+CSQ");
                                }) - lines.begin()) + 1;

        auto modem = replayModem(path);
        modem->connectAsRecorded();
        QCOMPARE(modem->Status(), 2);
        // Recorded next: AT+CSQ. Sent instead: a phonebook read.
        QVERIFY(errorOf([&] { modem->ReadPhonebook(1, 1); }) != 0);
        QVERIFY(!modem->mismatches().isEmpty());
        const sim::ReplayMismatch first = modem->mismatches().first();
        QCOMPARE(first.traceLine, csqLine);
        QCOMPARE(first.recorded, QByteArray("AT+CSQ"));
        QVERIFY2(first.text().contains(QStringLiteral("line %1: recorded \"AT+CSQ\", received \"AT+CSCS").arg(csqLine)),
                 qPrintable(first.text()));
        // The recorded command still comes in its turn.
        qint16 rssi = -1;
        qint16 ber = -1;
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), 0);
    }

    // pellix-modemsim --replay on a pseudo-terminal: a driver on the serial port gets what the
    // recorded one got; a session the file does not have is an error before any terminal exists.
    void replayOnAPseudoTerminal()
    {
        QStringList recorded;
        const QString path = record(sim::FieldBehaviour(), recorded, QStringLiteral("pty.log"));
        // A session the file does not have; a speed whose pauses would overflow the clock.
        for (const auto &[option, value, error] : {std::tuple{"--session", "2", "holds sessions 1 to 1"},
                                                   std::tuple{"--speed", "1e-9", "--speed needs a number from 0.001"}}) {
            QProcess refused;
            refused.start(QStringLiteral(PELLIX_MODEMSIM), {QStringLiteral("--replay"), path, QLatin1String(option),
                                                             QLatin1String(value)});
            QVERIFY(refused.waitForFinished(5000));
            QCOMPARE(refused.exitCode(), 1);
            QVERIFY2(refused.readAllStandardError().contains(error), error);
        }

        QProcess tool;
        tool.start(QStringLiteral(PELLIX_MODEMSIM),
                   {QStringLiteral("--replay"), path, QStringLiteral("--as-fast-as-possible"), QStringLiteral("--exit-on-eof")});
        QVERIFY(tool.waitForStarted(5000));
        QVERIFY(tool.waitForReadyRead(5000));
        const QString device = QString::fromLocal8Bit(tool.readLine().trimmed());
        PellixGsmModem modem([&](qint32, const ModemProfile &profile, qint16, qint32) -> std::unique_ptr<ByteTransport> {
            auto serial = std::make_unique<SerialTransport>();
            serial->openDevice(device, device, 115200, profile.slowWrite);
            return serial;
        });
        modem.setTracePath(QString());
        Side side;
        side.passTime = [](qint64) { QCoreApplication::processEvents(); };
        side.callIn = [] {};
        const QStringList replayed = runSession(modem, side);
        // --exit-on-eof: the end of its stdin ends the replay, as it ends the simulation.
        tool.closeWriteChannel();
        QVERIFY(tool.waitForFinished(5000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 0);
        const QByteArray diagnostics = tool.readAllStandardError();
        QVERIFY2(!diagnostics.contains("mismatch"), diagnostics.constData());
        QCOMPARE(replayed, recorded);
    }

    void unreadableFilesAreRefusedClearly_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        const QByteArray good = "2024-05-02 10:00:00.000 == connect: modem type -1 (Virtual modem), port COM0\n"
                                "2024-05-02 10:00:00.010 -> AT\n"
                                "2024-05-02 10:00:00.020 <- OK\n";
        QTest::newRow("empty file") << QByteArray() << QStringLiteral("the file is empty");
        QTest::newRow("a text file") << QByteArray("Dear support,\nthe modem does not work.\n")
                                     << QStringLiteral("line 1: not a trace line");
        QTest::newRow("binary") << QByteArray("\x7F" "ELF\x02\x01\x01\0\0\n", 10) << QStringLiteral("line 1: byte 0x7f");
        QTest::newRow("no session") << QByteArray("2024-05-02 10:00:00.010 -> AT\n2024-05-02 10:00:00.020 <- OK\n")
                                    << QStringLiteral("no session");
        QTest::newRow("bad time in the middle") << good + "2024-13-02 10:00:00.030 -> AT\n"
                                                << QStringLiteral("line 4: not a trace line");
        QTest::newRow("unknown direction") << good + "2024-05-02 10:00:00.030 <> AT\n"
                                           << QStringLiteral("line 4: not a trace line");
        QTest::newRow("newer format") << "2024-05-02 10:00:00.000 == Pellix trace 9\n" + good
                                      << QStringLiteral("line 1: written in trace format 9");
    }
    void unreadableFilesAreRefusedClearly()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        const QString path = m_dir.filePath(QStringLiteral("customer.log"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        QString why;
        QVERIFY(!sim::TraceRecording::fromFile(path, why));
        QVERIFY2(why.startsWith(path) && why.contains(error), qPrintable(why));
        QCOMPARE(errorOf([&] { replayModem(path); }), code(ErrorCode::InvalidArgument));
    }

    // A trace whose last record a full disk cut short: the stump is left out with a note, and
    // what came before it replays.
    void tornLastLineIsLeftOut()
    {
        const QByteArray good = "2024-05-02 10:00:00.000 == connect: modem type -1 (Virtual modem), port COM0\n"
                                "2024-05-02 10:00:00.010 -> AT\n"
                                "2024-05-02 10:00:00.020 <- OK\n";
        QString why;
        const auto recording = sim::TraceRecording::fromText(good + "2024-05-02 10:00:00.030 -> AT+C", QStringLiteral("full.log"), why);
        QVERIFY2(recording, qPrintable(why));
        QCOMPARE(recording->notes(), QStringList{QStringLiteral("full.log, line 4: the file ends in the middle of this line "
                                                                "(cut off?); the line is left out")});
        QCOMPARE(recording->sessions().size(), 1);
        QCOMPARE(recording->sessions().first().exchanges.size(), 1);
        QCOMPARE(recording->sessions().first().exchanges.first().replies.first().bytes, QByteArray("OK"));
    }

    // A field trace kept as a regression test: a Wavecom on ttyUSB0 with boot and vendor noise
    // and a SIM that stays busy for seconds after the PIN.
    void fieldTraceReplays()
    {
        auto modem = replayModem(QStringLiteral(PELLIX_TRACES "/wavecom-ttyusb0-busy-sim.log"));
        QCOMPARE(errorOf([&] { modem->connectAsRecorded(); }), 0);
        qint16 rssi = -1;
        qint16 ber = -1;
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), 0);
        QCOMPARE(modem->Model(), QStringLiteral("MULTIBAND  900E  1800"));
        modem->Disconnect();
        QCOMPARE(rssi, qint16(19));
        // The recording predates the question for the PIN attempts left, asked before the PIN
        // goes in: those commands, refused as a modem without them refuses them, are the only
        // departures, all at the PIN, and the rest of the session replays as recorded.
        const QList<QByteArray> attemptQueries{"AT+CPINR", "AT^CPIN?", "AT+QPINC?", "AT+XPINCNT", "AT+SPIC"};
        for (const sim::ReplayMismatch &m : modem->mismatches())
            QVERIFY2(m.recorded == "AT+CPIN=****" && attemptQueries.contains(m.received), qPrintable(m.text()));
    }
};

QTEST_GUILESS_MAIN(TestTraceReplay)
#include "tst_tracereplay.moc"
