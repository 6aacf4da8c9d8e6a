// SPDX-License-Identifier: GPL-3.0-or-later
// The library's modem end to end, through every operation and event of the contract, twice: on the
// virtual modem in-process (on a manual clock) and over the serial transport to pellix-modemsim on
// a pseudo-terminal (real time), so that the serial path and the Pellix.ini profile are proven too.
#include "modem/pellixgsmmodem.h"
#include "profiles/modemprofile.h"
#include "raisederrorcode.h"
#include "sim/virtualclock.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"
#include "sim/virtualnetwork.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace pellix;

namespace {

const QString OwnNumber = QString::fromLatin1(sim::VirtualNetwork::OwnNumber);

} // namespace

class TestPellixGsmModem : public QObject
{
    Q_OBJECT

private:
    enum class Path { InProcess, PseudoTerminal };

    Path path() const
    {
        QFETCH_GLOBAL(int, transport);
        return transport == 1 ? Path::PseudoTerminal : Path::InProcess;
    }

    // A modem, connected in the given receive mode, on the path of the current row.
    std::unique_ptr<PellixGsmModem> connected(qint32 receiveMode, bool callerId = true)
    {
        auto modem = std::make_unique<PellixGsmModem>(factory());
        modem->setTracePath(m_dir.filePath(QStringLiteral("Pellix.log")));
        modem->setConnectOptionA(true);
        modem->setConnectOptionB(callerId);
        if (path() == Path::InProcess)
            modem->Connect(-1, 0, QString(), receiveMode, 60, 0);
        else
            modem->Connect(0, 40, QString(), receiveMode, 60, 0);
        return modem;
    }

    PellixGsmModem::TransportFactory factory()
    {
        if (path() == Path::PseudoTerminal)
            return PellixGsmModem::TransportFactory();  // the real one: serial port of COM40
        return [this](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
            auto transport = std::make_unique<sim::VirtualModemTransport>(m_virtual);
            m_transport = transport.get();
            return transport;
        };
    }

    // Lets the network's time pass: the manual clock in-process, real time on the terminal.
    void passTime(qint64 ms)
    {
        if (path() == Path::InProcess) {
            m_clock->advance(ms);
            if (m_transport)
                m_transport->pollNow();
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
        } else {
            QTest::qWait(int(ms) + 400);
        }
    }

    // A message to the own number with a report requested; both are stored by the time it returns.
    qint32 sendWithReport(PellixGsmModem &modem)
    {
        SmsMessage msg;
        msg.Recipient.Number = OwnNumber;
        msg.Text = QStringLiteral("report kept apart");
        msg.RequestStatusReport = true;
        const qint32 reference = modem.SendMessage(msg);
        passTime(3000);
        return reference;
    }

    QTemporaryDir m_dir;
    QProcess m_simulator;
    std::shared_ptr<sim::ManualClock> m_clock;
    std::shared_ptr<sim::VirtualModem> m_virtual;
    sim::VirtualModemTransport *m_transport = nullptr;

private Q_SLOTS:
    void initTestCase_data()
    {
        QTest::addColumn<int>("transport");
        QTest::newRow("in-process") << 0;
        QTest::newRow("pseudo-terminal") << 1;
    }

    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_clock = std::make_shared<sim::ManualClock>();
        m_virtual = std::make_shared<sim::VirtualModem>(sim::VirtualModemOptions{}, m_clock);

        m_simulator.setProgram(QStringLiteral(PELLIX_MODEMSIM));
        m_simulator.setArguments({QStringLiteral("--seed"), QStringLiteral("7")});
        m_simulator.start();
        QVERIFY2(m_simulator.waitForStarted(5000), qPrintable(m_simulator.errorString()));
        QVERIFY(m_simulator.waitForReadyRead(5000));
        const QString device = QString::fromLocal8Bit(m_simulator.readLine()).trimmed();
        QVERIFY2(device.startsWith(QStringLiteral("/dev/")), qPrintable(device));

        // Pellix.ini in $XDG_CONFIG_HOME/Pellix: COM40 is the terminal, and modem type 0 gets a
        // profile written the way an operator would.
        QDir(m_dir.path()).mkpath(QStringLiteral("Pellix"));
        QFile ini(m_dir.filePath(QStringLiteral("Pellix/Pellix.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Ports]\nCOM40=" + device.toLocal8Bit()
                  + "\n\n[Modem]\nName=Terminal test modem\nBaudRate=115200\nMessageStorage=SM\n"
                    "CnmiLive=2,2,0,1,0\nCnmiStored=2,1,0,2,0\n");
        ini.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
    }

    void cleanupTestCase()
    {
        m_simulator.terminate();
        if (!m_simulator.waitForFinished(5000))
            m_simulator.kill();
    }

    void connectsInFewCommandsAndIdentifies()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("Pellix.log")));
        auto modem = std::make_unique<PellixGsmModem>(factory());
        modem->setTracePath(m_dir.filePath(QStringLiteral("Pellix.log")));
        modem->setConnectOptionA(true);
        modem->setConnectOptionB(true);
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        QList<qint32> seen;
        connect(modem.get(), &GsmModem::NewStatus, this, [&seen](qint32 s) { seen << s; });
        if (path() == Path::InProcess)
            modem->Connect(-1, 0, QString(), 2, 60, 0);
        else
            modem->Connect(0, 40, QString(), 2, 60, 0);
        QCOMPARE(seen, (QList<qint32>{1, 2}));
        QCOMPARE(modem->Status(), 2);
        QCOMPARE(modem->StatusText(), QStringLiteral("Ready"));
        QCOMPARE(modem->Manufacturer(), QString::fromLatin1(sim::VirtualModem::Manufacturer));
        QCOMPARE(modem->Model(), QString::fromLatin1(sim::VirtualModem::Model));
        QCOMPARE(modem->Revision(), QString::fromLatin1(sim::VirtualModem::Revision));
        QCOMPARE(modem->IMEI(), QString::fromLatin1(sim::VirtualModem::Imei));

        // The trace holds every command; from opening the port to ready it takes at most eight.
        QFile trace(m_dir.filePath(QStringLiteral("Pellix.log")));
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = trace.readAll().split('\n');
        int commands = 0;
        for (const QByteArray &line : lines)
            if (line.contains("-> AT"))
                ++commands;
        QVERIFY2(commands >= 5 && commands <= 8, QByteArray::number(commands).constData());

        modem->Disconnect();
        QCOMPARE(seen, (QList<qint32>{1, 2, 0}));
        QCOMPARE(modem->Status(), 0);
        modem->Disconnect();  // nothing open: no error, no event
        QCOMPARE(seen.size(), 3);
    }

    void refusesWhatItCannotDo_data()
    {
        QTest::addColumn<int>("expected");
        QTest::addColumn<std::function<void(PellixGsmModem &)>>("call");
        using Call = std::function<void(PellixGsmModem &)>;
        QTest::newRow("connect twice") << code(ErrorCode::AlreadyConnected)
                                       << Call([](PellixGsmModem &m) { m.Connect(-1, 0, QString(), 2, 60, 0); });
        QTest::newRow("invalid number") << code(ErrorCode::InvalidPhoneNumber) << Call([](PellixGsmModem &m) {
            SmsMessage msg;
            msg.Recipient.Number = QStringLiteral("+39 abc");
            msg.Text = QStringLiteral("x");
            m.SendMessage(msg);
        });
        QTest::newRow("unrepresentable 7-bit text") << code(ErrorCode::TextNotRepresentable) << Call([](PellixGsmModem &m) {
            SmsMessage msg;
            msg.Recipient.Number = OwnNumber;
            msg.Text = QStringLiteral("snow \u2603");
            m.SendMessage(msg);
        });
        QTest::newRow("alphabet 9") << code(ErrorCode::InvalidAlphabet) << Call([](PellixGsmModem &m) {
            SmsMessage msg;
            msg.Recipient.Number = OwnNumber;
            msg.Alphabet = 9;
            m.SendMessage(msg);
        });
        QTest::newRow("header of wrong length") << code(ErrorCode::InvalidUserDataHeader) << Call([](PellixGsmModem &m) {
            SmsMessage msg;
            msg.Recipient.Number = OwnNumber;
            msg.Text = QStringLiteral("x");
            msg.Udh = QByteArray::fromHex("0600030A0201");
            m.SendMessage(msg);
        });
        QTest::newRow("location beyond the SIM") << code(ErrorCode::InvalidArgument)
                                                  << Call([](PellixGsmModem &m) { m.DeleteMessage(999); });
        QTest::newRow("location with nothing stored") << code(ErrorCode::InvalidArgument)
                                                      << Call([](PellixGsmModem &m) { m.DeleteMessage(40); });
        QTest::newRow("forwarding mode 7") << code(ErrorCode::InvalidArgument)
                                           << Call([](PellixGsmModem &m) { m.ForwardCalls(7, 1, 0, QString()); });
    }
    void refusesWhatItCannotDo()
    {
        QFETCH(int, expected);
        QFETCH(std::function<void(PellixGsmModem &)>, call);
        auto modem = connected(2);
        QCOMPARE(errorOf([&] { call(*modem); }), expected);
        QCOMPARE(modem->Status(), 2);  // a refused request leaves the connection as it was
    }

    // The driver alone opens serial ports: the virtual modem of type -1 comes with the modems
    // the programs make, and without it type -1 is a port that cannot be opened.
    void driverAloneHasNoVirtualModem()
    {
        PellixGsmModem modem;
        modem.setTracePath(QString());
        QCOMPARE(errorOf([&] { modem.Connect(-1, 0, QString(), 2, 60, 0); }), code(ErrorCode::PortCannotOpen));
        QCOMPARE(modem.Status(), 0);
    }

    void failsCleanlyWhenNotConnected()
    {
        PellixGsmModem modem(factory());
        qint16 rssi = 0;
        qint16 ber = 0;
        SmsMessage msg;
        msg.Recipient.Number = OwnNumber;
        const qint32 notConnected = code(ErrorCode::NotConnected);
        QCOMPARE(errorOf([&] { modem.GetSignalQuality(rssi, ber); }), notConnected);
        QCOMPARE(errorOf([&] { modem.SendMessage(msg); }), notConnected);
        QCOMPARE(errorOf([&] { modem.ReadMessages(0, false); }), notConnected);
        QCOMPARE(errorOf([&] { modem.ReadPhonebook(0, 0); }), notConnected);
        QCOMPARE(errorOf([&] { modem.ForwardCalls(2, 1, 0, QString()); }), notConnected);
        QCOMPARE(errorOf([&] { modem.Connect(77, 1, QString(), 2, 60, 0); }), code(ErrorCode::UnknownModemType));
        QCOMPARE(modem.Status(), 0);
    }

    void signalQuality()
    {
        auto modem = connected(2);
        for (int i = 0; i < 5; ++i) {
            qint16 rssi = -1;
            qint16 ber = -1;
            const bool sufficient = modem->GetSignalQuality(rssi, ber);
            QVERIFY(rssi == 99 || (rssi >= 0 && rssi <= 31));
            QVERIFY(ber == 99 || (ber >= 0 && ber <= 7));
            QCOMPARE(sufficient, rssi >= 11 && rssi <= 31);
            passTime(2000);
        }
    }

    void messageToOwnNumberArrivesLiveWithItsReport()
    {
        auto modem = connected(2);
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        QSignalSpy reports(modem.get(), &GsmModem::StatusReport);
        SmsMessage msg;
        msg.Recipient.Number = OwnNumber;
        msg.Text = QStringLiteral("Hello [live] \u20ac");
        msg.RequestStatusReport = true;
        const qint32 reference = modem->SendMessage(msg);
        QCOMPARE(msg.Reference, reference);
        QVERIFY(reference >= 0 && reference <= 255);
        QVERIFY(!msg.UserData.isEmpty());
        QCOMPARE(received.count(), 0);  // never from inside the call

        passTime(1000);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 5000);
        const auto message = received.first().first().value<ReceivedMessage>();
        QCOMPARE(message.Text, msg.Text);
        QCOMPARE(message.Originator.Number, OwnNumber);
        QCOMPARE(message.Alphabet, 7);
        QVERIFY(message.SimLocation < 0);
        QVERIFY(message.Timestamp.isValid());

        passTime(2000);
        QTRY_COMPARE_WITH_TIMEOUT(reports.count(), 1, 5000);
        const auto report = reports.first().first().value<SmsStatusReport>();
        QCOMPARE(qint32(report.Reference), reference);
        QCOMPARE(report.Recipient.Number, OwnNumber);
        QCOMPARE(report.Status, 0);
        QVERIFY(!report.StatusText.isEmpty());
    }

    void alphabetsClassAndHeaderComeBackIntact_data()
    {
        QTest::addColumn<int>("alphabet");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("udh");
        QTest::addColumn<int>("messageClass");
        QTest::newRow("8-bit") << 8 << QString::fromLatin1(QByteArray::fromHex("00FF7F80410D0A")) << QByteArray() << -1;
        QTest::newRow("unicode with a surrogate pair") << 16 << QStringLiteral("Привет 😀") << QByteArray() << 1;
        QTest::newRow("7-bit with header") << 7 << QStringLiteral("part") << QByteArray::fromHex("050003AA0101") << -1;
        QTest::newRow("flash") << 7 << QStringLiteral("flash") << QByteArray() << 0;
    }
    void alphabetsClassAndHeaderComeBackIntact()
    {
        QFETCH(int, alphabet);
        QFETCH(QString, text);
        QFETCH(QByteArray, udh);
        QFETCH(int, messageClass);
        auto modem = connected(2);
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        SmsMessage msg;
        msg.Recipient.Number = OwnNumber;
        msg.Alphabet = alphabet;
        msg.Text = text;
        msg.Udh = udh;
        msg.MessageClass = messageClass;
        msg.Validity = 1440;
        modem->SendMessage(msg);
        passTime(1000);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 5000);
        const auto message = received.first().first().value<ReceivedMessage>();
        QCOMPARE(message.Alphabet, alphabet);
        QCOMPARE(message.Text, text);
        QCOMPARE(message.Udh, udh);
        QCOMPARE(message.MessageClass, messageClass);
        if (alphabet == 8)
            QCOMPARE(message.UserData, text.toLatin1());
    }

    void longMessageGoesInParts()
    {
        auto modem = connected(2);
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        QString text;
        for (int i = 0; text.size() < 400; ++i)
            text += QStringLiteral("Part of a long text %1. ").arg(i);
        text.truncate(400);
        QCOMPARE(modem->SendLongMessage(OwnNumber, text, false), 3);
        QCOMPARE(modem->SendLongMessage(OwnNumber, QStringLiteral("short"), false), 1);
        passTime(1000);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 4, 5000);
        QString joined;
        for (int i = 0; i < 3; ++i) {
            const auto part = received.at(i).first().value<ReceivedMessage>();
            QCOMPARE(part.Udh.size(), 6);
            QCOMPARE(quint8(part.Udh.at(4)), quint8(3));
            QCOMPARE(quint8(part.Udh.at(5)), quint8(i + 1));
            joined += part.Text;
        }
        QCOMPARE(joined, text);
        QCOMPARE(received.at(3).first().value<ReceivedMessage>().Udh, QByteArray());
    }

    void storedMessagesAndReportsAreReadAndDeleted()
    {
        auto modem = connected(0);
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        QSignalSpy reports(modem.get(), &GsmModem::StatusReport);
        modem->DeleteAllMessages();
        QCOMPARE(modem->ReadMessages(0, false).size(), 0);

        SmsMessage msg;
        msg.Recipient.Number = OwnNumber;
        msg.Text = QStringLiteral("kept on the SIM");
        msg.RequestStatusReport = true;
        const qint32 reference = modem->SendMessage(msg);
        passTime(3000);
        QTest::qWait(100);
        QCOMPARE(received.count(), 0);  // receive mode 0: nothing is signalled
        QCOMPARE(reports.count(), 0);

        const auto unread = modem->ReadMessages(1, false);
        QCOMPARE(unread.size(), 1);
        QCOMPARE(unread.first().Text, msg.Text);
        QVERIFY(unread.first().IsNew);
        QVERIFY(unread.first().SimLocation >= 0);
        const auto stored = modem->ReadStatusReports(0, false);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(qint32(stored.first().Reference), reference);
        QVERIFY(stored.first().SimLocation >= 0);

        // Reading marks it read; deleting after reading removes exactly what was returned.
        QCOMPARE(modem->ReadMessages(1, false).size(), 0);
        QCOMPARE(modem->ReadMessages(2, true).size(), 1);
        QCOMPARE(modem->ReadMessages(0, false).size(), 0);
        QCOMPARE(modem->ReadStatusReports(0, true).size(), 1);
        QCOMPARE(modem->ReadStatusReports(0, false).size(), 0);

        msg.RequestStatusReport = false;
        modem->SendMessage(msg);
        passTime(1500);
        const auto again = modem->ReadMessages(0, false);
        QCOMPARE(again.size(), 1);
        modem->DeleteMessage(again.first().SimLocation);
        QCOMPARE(modem->ReadMessages(0, false).size(), 0);
    }

    // Where reports have a storage of their own ("SR" on the virtual modem), a report's location
    // must name the report: the message with the same index there stays.
    void storedReportsAreDeletedByTheirLocation()
    {
        auto modem = connected(0);
        modem->ReadStatusReports(0, true);  // a modem that has "SR" keeps reports there from now on
        modem->DeleteAllMessages();
        const qint32 reference = sendWithReport(*modem);
        const auto messages = modem->ReadMessages(0, false);
        const auto reports = modem->ReadStatusReports(0, false);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(reports.size(), 1);
        QCOMPARE(qint32(reports.first().Reference), reference);
        QVERIFY(reports.first().SimLocation != messages.first().SimLocation);
        modem->DeleteMessage(reports.first().SimLocation);
        QCOMPARE(modem->ReadStatusReports(0, false).size(), 0);
        QCOMPARE(modem->ReadMessages(0, false).size(), 1);
        modem->DeleteMessage(messages.first().SimLocation);
        QCOMPARE(modem->ReadMessages(0, false).size(), 0);
    }

    void deleteAllLeavesNoReportEither()
    {
        auto modem = connected(0);
        modem->ReadStatusReports(0, true);
        sendWithReport(*modem);
        QCOMPARE(modem->ReadStatusReports(0, false).size(), 1);
        modem->DeleteAllMessages();
        QCOMPARE(modem->ReadMessages(0, false).size(), 0);
        QCOMPARE(modem->ReadStatusReports(0, false).size(), 0);
    }

    void phonebookWriteReadDelete()
    {
        auto modem = connected(2);
        const qint16 before = modem->PhonebookCount();
        QCOMPARE(modem->ReadPhonebook(0, 0).size(), int(before));
        PhonebookEntry entry{77, QStringLiteral("Anna"), QStringLiteral("+391234567")};
        modem->WritePhonebookEntry(entry);
        QCOMPARE(entry.Index, qint16(77));
        QCOMPARE(entry.Name, QStringLiteral("Anna"));
        QCOMPARE(modem->PhonebookCount(), qint16(before + 1));
        const auto entries = modem->ReadPhonebook(0, 0);
        const auto it = std::find_if(entries.begin(), entries.end(), [](const PhonebookEntry &e) { return e.Index == 77; });
        QVERIFY(it != entries.end());
        QCOMPARE(it->Number, QStringLiteral("+391234567"));
        modem->DeletePhonebookEntry(77);
        QCOMPARE(modem->PhonebookCount(), before);
        QCOMPARE(errorOf([&] {
                     PhonebookEntry quoted{78, QStringLiteral("A \"B\""), QStringLiteral("1")};
                     modem->WritePhonebookEntry(quoted);
                 }),
                 code(ErrorCode::InvalidArgument));
    }

    void callForwardingIsRememberedAndCancelled()
    {
        auto modem = connected(2);
        modem->ForwardCalls(4, 1, 0, QString());
        QCOMPARE(modem->ForwardCalls(2, 1, 0, QString()), QString());
        QCOMPARE(modem->ForwardCalls(3, 1, 0, QStringLiteral("+3912345")), QStringLiteral("+3912345"));
        QCOMPARE(modem->ForwardCalls(2, 1, 0, QString()), QStringLiteral("+3912345"));
        QCOMPARE(modem->ForwardCalls(4, 1, 0, QString()), QString());
        QCOMPARE(modem->ForwardCalls(2, 1, 0, QString()), QString());
    }

    void ringsNameTheCaller_data()
    {
        QTest::addColumn<bool>("callerId");
        QTest::addColumn<QString>("expected");
        QTest::newRow("caller id on") << true << QStringLiteral("+39555123");
        QTest::newRow("caller id off") << false << QString();
    }
    void ringsNameTheCaller()
    {
        QFETCH(bool, callerId);
        QFETCH(QString, expected);
        auto modem = connected(2, callerId);
        modem->ForwardCalls(4, 1, 0, QString());
        QSignalSpy rings(modem.get(), &GsmModem::Ring);
        SmsMessage msg;
        msg.Recipient.Number = QStringLiteral("+39555123");
        msg.Text = QStringLiteral("RING me please");
        modem->SendMessage(msg);
        passTime(3000);
        QTRY_VERIFY_WITH_TIMEOUT(rings.count() >= 1, 5000);
        passTime(3000);
        QTRY_VERIFY_WITH_TIMEOUT(rings.count() >= 2, 5000);
        // The caller gives up after its third ring, and no later call is held up behind it.
        passTime(4000);
        QTRY_COMPARE_WITH_TIMEOUT(rings.count(), int(sim::VirtualNetwork::RingCount), 5000);
        passTime(4000);
        QCOMPARE(rings.count(), int(sim::VirtualNetwork::RingCount));
        for (const auto &ring : rings)
            QCOMPARE(ring.first().value<PhoneNumber>().Number, expected);
    }
};

QTEST_GUILESS_MAIN(TestPellixGsmModem)
#include "tst_pellixgsmmodem.moc"
