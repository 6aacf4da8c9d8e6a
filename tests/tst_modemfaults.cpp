// SPDX-License-Identifier: GPL-3.0-or-later
// The library's modem against misbehaving modems: silent, chattering, answering with garbage,
// unplugged (also inside a command), and a pseudo-terminal whose modem dies in the middle of a
// command. Every case must end in an error within the command's deadline and a clean state: never
// a hang, never a crash, nothing read lost, no event from inside a call.
#include "at/atchannel.h"
#include "modem/pellixgsmmodem.h"
#include "networkpdus.h"
#include "pdu/smspdu.h"
#include "raisederrorcode.h"
#include "sim/virtualclock.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"
#include "sim/virtualnetwork.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

using namespace pellix;
using Fault = sim::VirtualModemTransport::Fault;

Q_DECLARE_METATYPE(pellix::sim::FieldBehaviour)

namespace {

// Puts noise lines in front of everything the modem says: bytes of every value, blank lines,
// half result codes, text that looks like a code but is not one.
class GarbageTransport : public ByteTransport
{
public:
    explicit GarbageTransport(std::unique_ptr<ByteTransport> inner) : m_inner(std::move(inner))
    {
        connect(m_inner.get(), &ByteTransport::bytesArrived, this, &ByteTransport::bytesArrived);
        connect(m_inner.get(), &ByteTransport::failed, this, &ByteTransport::failed);
    }
    bool isOpen() const override { return m_inner->isOpen(); }
    bool write(const QByteArray &bytes) override { return m_inner->write(bytes); }
    QByteArray takeAvailable() override
    {
        const QByteArray real = m_inner->takeAvailable();
        if (real.isEmpty())
            return real;
        static const QByteArray noise[] = {
            QByteArray("\r\n\x01\x02\xff\xfe\x7f\r\n", 9),
            QByteArray("\r\n\x1b[0m\x1b[2J\r\n"),
            QByteArray("\r\n+CME ERRO\r\n"),
            QByteArray("\r\n^BOOT:12345,0,0,0,72\r\n"),
            QByteArray("\r\n\r\n\r\n"),
            QByteArray("\r\n+CMT: garbage\r\n"),
        };
        return noise[m_next++ % std::size(noise)] + real;
    }
    bool waitForBytes(QDeadlineTimer deadline) override { return m_inner->waitForBytes(deadline); }
    void close() override { m_inner->close(); }
    void pause(int ms) override { m_inner->pause(ms); }
    QString errorText() const override { return m_inner->errorText(); }

private:
    std::unique_ptr<ByteTransport> m_inner;
    int m_next = 0;
};

// A hand between the library and the modem that brings about what a real modem does only now and
// then: an answer of our choosing in place of the modem's, an answer lost although the modem acted
// on the command, the device failing inside a command, codes arriving while the line is idle.
class InterceptingTransport : public ByteTransport
{
public:
    enum class Act {
        Answer,        // the command does not reach the modem; `bytes` come back instead
        LoseAnswer,    // the modem acts on the command; its answer is lost on the way
        AnswerAndFail, // `bytes` come back, then the device fails inside the wait that follows
        FailInWrite,   // the device fails while the command is being written
    };

    explicit InterceptingTransport(std::unique_ptr<ByteTransport> inner) : m_inner(std::move(inner))
    {
        connect(m_inner.get(), &ByteTransport::bytesArrived, this, &ByteTransport::bytesArrived);
        connect(m_inner.get(), &ByteTransport::failed, this, &ByteTransport::failed);
    }

    // The next `times` writes that start with `written` get `act`.
    void on(const QByteArray &written, Act act, const QByteArray &bytes = QByteArray(), int times = 1)
    {
        m_rules.append(Rule{written, act, bytes, times});
    }
    // Bytes from an idle modem, signalled as a real transport signals them.
    void inject(const QByteArray &bytes)
    {
        m_extra += bytes;
        Q_EMIT bytesArrived();
    }
    int sent(const QByteArray &start) const
    {
        return int(std::count_if(m_writes.begin(), m_writes.end(),
                                 [&start](const QByteArray &w) { return w.startsWith(start); }));
    }

    bool isOpen() const override { return !m_failed && m_inner->isOpen(); }
    bool write(const QByteArray &bytes) override
    {
        if (!isOpen())
            return false;
        m_writes << bytes;
        for (Rule &rule : m_rules) {
            if (rule.times == 0 || !bytes.startsWith(rule.written))
                continue;
            --rule.times;
            switch (rule.act) {
            case Act::Answer:
                m_extra += rule.bytes;
                return true;
            case Act::LoseAnswer:
                m_inner->write(bytes);
                m_inner->takeAvailable();
                return true;
            case Act::AnswerAndFail:
                m_extra += rule.bytes;
                m_failInWait = true;
                return true;
            case Act::FailInWrite:
                fail();
                return false;
            }
        }
        return m_inner->write(bytes);
    }
    QByteArray takeAvailable() override
    {
        if (m_failed)
            return {};
        return std::exchange(m_extra, {}) + m_inner->takeAvailable();
    }
    bool waitForBytes(QDeadlineTimer deadline) override
    {
        if (m_failed)
            return false;
        if (!m_extra.isEmpty())
            return true;
        if (m_failInWait) {
            fail();
            return false;
        }
        return m_inner->waitForBytes(deadline);
    }
    void close() override { m_inner->close(); }
    void pause(int ms) override { m_inner->pause(ms); }
    QString errorText() const override { return m_failed ? QStringLiteral("device unplugged") : m_inner->errorText(); }

private:
    struct Rule
    {
        QByteArray written;
        Act act;
        QByteArray bytes;
        int times;
    };

    // As a device that goes away under a blocking call: the failure is told at once, from inside
    // the call, while the library's command is still on the stack.
    void fail()
    {
        m_failed = true;
        m_inner->close();
        Q_EMIT failed(QStringLiteral("device unplugged"));
    }

    std::unique_ptr<ByteTransport> m_inner;
    QList<Rule> m_rules;
    QList<QByteArray> m_writes;
    QByteArray m_extra;
    bool m_failInWait = false;
    bool m_failed = false;
};

// A status report as the modem keeps it among the messages.
sim::StoredMessage storedReport(quint8 reference, sim::MessageStat stat)
{
    pdu::StatusReportPdu report;
    report.smsc = pdu::Address{QString::fromLatin1(sim::VirtualNetwork::ServiceCentre), 0x91};
    report.messageReference = reference;
    report.recipient = pdu::Address{QStringLiteral("+3955512345"), 0x91};
    report.timestamp = QDateTime(QDate(2024, 5, 2), QTime(10, 0), Qt::OffsetFromUTC, 7200);
    report.dischargeTime = report.timestamp.addSecs(5);
    const QByteArray hex = pdu::encodeStatusReport(report);
    return sim::StoredMessage{stat, hex, sim::tpduLengthOf(hex)};
}

// "+CMT: ,<length>" and the PDU line, as a modem routes a message (27.005 3.4.1, <mt> 2).
QByteArray routed(const QString &text)
{
    const QByteArray hex = deliverPdu(text);
    return "\r\n+CMT: ," + QByteArray::number(pdu::tpduLength(hex)) + "\r\n" + hex + "\r\n";
}

} // namespace

class TestModemFaults : public QObject
{
    Q_OBJECT

private:
    const std::shared_ptr<sim::VirtualModem> m_shared = std::make_shared<sim::VirtualModem>();
    std::shared_ptr<sim::VirtualModem> m_virtual = m_shared;
    std::shared_ptr<sim::ManualClock> m_clock;
    sim::VirtualModemTransport *m_transport = nullptr;
    InterceptingTransport *m_hand = nullptr;
    bool m_garbage = false;

    PellixGsmModem::TransportFactory factory()
    {
        return [this](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
            auto transport = std::make_unique<sim::VirtualModemTransport>(m_virtual);
            m_transport = transport.get();
            std::unique_ptr<ByteTransport> inner = std::move(transport);
            if (m_garbage)
                inner = std::make_unique<GarbageTransport>(std::move(inner));
            auto hand = std::make_unique<InterceptingTransport>(std::move(inner));
            m_hand = hand.get();
            return hand;
        };
    }

    std::unique_ptr<PellixGsmModem> connectedModem(qint32 receiveMode = 2, bool callerId = true)
    {
        auto modem = std::make_unique<PellixGsmModem>(factory());
        modem->setTracePath(QString());
        modem->setConnectOptionA(true);
        modem->setConnectOptionB(callerId);
        modem->Connect(-1, 0, QString(), receiveMode, 60, 0);
        return modem;
    }

    // For one test, a virtual modem of its own with the behaviours of a field modem, on a manual
    // clock: the library's pauses let that clock run instead of real time.
    void useFieldModem(const sim::FieldBehaviour &field, const QString &pin = QString())
    {
        sim::VirtualModemOptions options;
        options.field = field;
        options.pin = pin;
        m_clock = std::make_shared<sim::ManualClock>();
        m_virtual = std::make_shared<sim::VirtualModem>(options, m_clock);
    }

    // Three messages on the SIM at locations 1, 2 and 3, nothing else in the message storage.
    void storeThreeMessages(PellixGsmModem &modem)
    {
        modem.DeleteAllMessages();
        for (const char *text : {"one", "two", "three"})
            QVERIFY(m_virtual->incomingMessage(deliverPdu(QString::fromLatin1(text))));
        QCOMPARE(modem.ReadMessages(0, false).size(), 3);
    }

private Q_SLOTS:
    void cleanup()
    {
        m_virtual = m_shared;
        m_clock.reset();
    }

    void silentModemTimesOutThenTheLinkIsLost()
    {
        auto modem = connectedModem();
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        m_transport->setFault(Fault::Silent);
        qint16 rssi = 0;
        qint16 ber = 0;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::Timeout));
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(modem->Status(), 2);  // one timeout is not yet a lost modem
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::Timeout));
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::ConnectionLost));
        QCOMPARE(modem->Status(), 0);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.first().first().toInt(), 0);
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::NotConnected));
    }

    void silentModemFailsConnect()
    {
        PellixGsmModem modem([this](qint32 type, const ModemProfile &profile, qint16 port, qint32 baud) {
            auto transport = factory()(type, profile, port, baud);
            m_transport->setFault(Fault::Silent);
            return transport;
        });
        modem.setTracePath(QString());
        QList<qint32> seen;
        connect(&modem, &GsmModem::NewStatus, this, [&seen](qint32 s) { seen << s; });
        QString description;
        QCOMPARE(errorOf([&] {
                     try {
                         modem.Connect(-1, 0, QString(), 2, 60, 0);
                     } catch (const RaisedError &error) {
                         description = error.description();
                         throw;
                     }
                 }),
                 code(ErrorCode::Timeout));
        QCOMPARE(seen, (QList<qint32>{1, 0}));
        QCOMPARE(modem.Status(), 0);
        // Given up after the wake-up and one more line, naming the port and what usually causes it.
        QCOMPARE(m_hand->sent("AT"), 2);
        for (const char *part : {"the virtual modem does not answer", "wrong port", "speed", "diagnostics", "help topic \"Modem ports\""})
            QVERIFY2(description.contains(QLatin1String(part)), qPrintable(description));
    }

    void chatteringAndGarbageAreIgnored_data()
    {
        QTest::addColumn<bool>("garbage");
        QTest::newRow("vendor status lines") << false;
        QTest::newRow("garbage lines") << true;
    }
    void chatteringAndGarbageAreIgnored()
    {
        QFETCH(bool, garbage);
        m_garbage = garbage;
        auto modem = connectedModem();
        if (!garbage)
            m_transport->setFault(Fault::Chatter);
        qint16 rssi = -1;
        qint16 ber = -1;
        modem->GetSignalQuality(rssi, ber);
        QVERIFY(rssi >= 0);
        QCOMPARE(modem->Manufacturer(), QString::fromLatin1(sim::VirtualModem::Manufacturer));
        modem->ForwardCalls(3, 1, 0, QStringLiteral("+3955501"));
        QCOMPARE(modem->ForwardCalls(2, 1, 0, QString()), QStringLiteral("+3955501"));
        modem->ForwardCalls(4, 1, 0, QString());
        SmsMessage msg;
        msg.Recipient.Number = QStringLiteral("+3955502");
        msg.Text = QStringLiteral("still fine");
        QVERIFY(modem->SendMessage(msg) >= 0);
        QVERIFY(modem->ReadPhonebook(0, 0).size() > 0);
        QCOMPARE(modem->Status(), 2);
        m_garbage = false;
    }

    void unpluggedModemEndsTheConnectionAndComesBack()
    {
        auto modem = connectedModem();
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        m_transport->setFault(Fault::Unplugged);
        QCoreApplication::processEvents();
        SmsMessage msg;
        msg.Recipient.Number = QStringLiteral("+3955503");
        msg.Text = QStringLiteral("lost");
        QCOMPARE(modem->Status(), 0);
        QCOMPARE(status.count(), 1);
        QCOMPARE(errorOf([&] { modem->SendMessage(msg); }), code(ErrorCode::NotConnected));
        QCoreApplication::processEvents();  // a late failed() of the old transport changes nothing
        QCOMPARE(status.count(), 1);

        modem->setConnectOptionA(true);
        modem->Connect(-1, 0, QString(), 2, 60, 0);  // the device is back: a new transport
        QCOMPARE(modem->Status(), 2);
        QVERIFY(modem->SendMessage(msg) >= 0);
    }

    void unpluggedWhileIdleIsNoticed()
    {
        auto modem = connectedModem();
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        m_transport->setFault(Fault::Unplugged);
        QTRY_COMPARE_WITH_TIMEOUT(modem->Status(), 0, 3000);
        QCOMPARE(status.count(), 1);
    }

    // A device that reports its end from inside the library's own call (the transport's failed()
    // while the command is on the stack) must not take the command's state away under it.
    void unpluggedInsideACommand_data()
    {
        QTest::addColumn<int>("act");
        QTest::newRow("while the answer is awaited") << int(InterceptingTransport::Act::AnswerAndFail);
        QTest::newRow("while the command is written") << int(InterceptingTransport::Act::FailInWrite);
    }
    void unpluggedInsideACommand()
    {
        QFETCH(int, act);
        auto modem = connectedModem();
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        m_hand->on("AT+CSQ", InterceptingTransport::Act(act));
        qint16 rssi = 0;
        qint16 ber = 0;
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::ConnectionLost));
        QCOMPARE(modem->Status(), 0);
        QCOMPARE(status.count(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(status.count(), 1);
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::NotConnected));

        modem->Connect(-1, 0, QString(), 2, 60, 0);  // the device is back: a new transport
        QCOMPARE(modem->Status(), 2);
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), 0);
    }

    // A message the modem routed before it went away was received: it is handed over.
    void messageRoutedJustBeforeTheLinkDropsIsHandedOver()
    {
        auto modem = connectedModem();
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        m_hand->on("AT+CSQ", InterceptingTransport::Act::AnswerAndFail, routed(QStringLiteral("last words")));
        qint16 rssi = 0;
        qint16 ber = 0;
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::ConnectionLost));
        QCOMPARE(received.count(), 0);  // never from inside the call
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 2000);
        QCOMPARE(received.first().first().value<ReceivedMessage>().Text, QStringLiteral("last words"));
    }

    void readWithDeleteKeepsWhatALostLinkInterrupts()
    {
        auto modem = connectedModem(0);
        storeThreeMessages(*modem);
        m_hand->on("AT+CMGD=2\r", InterceptingTransport::Act::AnswerAndFail);
        QList<ReceivedMessage> read;
        QCOMPARE(errorOf([&] { read = modem->ReadMessages(0, true); }), 0);
        QCOMPARE(read.size(), 3);  // the first is deleted: it must be among those returned
        QCOMPARE(modem->Status(), 0);

        modem->Connect(-1, 0, QString(), 0, 60, 0);
        const auto left = modem->ReadMessages(0, false);
        QCOMPARE(left.size(), 2);
        QCOMPARE(left.first().Text, QStringLiteral("two"));
    }

    // After a lost answer to a storage selection the modem may have switched or not: the next read
    // must select again rather than list whatever storage happens to be selected.
    void storageIsSelectedAgainAfterALostAnswer()
    {
        auto modem = connectedModem(0);
        modem->DeleteAllMessages();
        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("in SM"))));
        QCOMPARE(modem->ReadMessages(0, false).size(), 1);
        m_hand->on("AT+CPMS=\"SR\"", InterceptingTransport::Act::LoseAnswer);
        QCOMPARE(errorOf([&] { modem->ReadStatusReports(0, false); }), code(ErrorCode::Timeout));
        QCOMPARE(modem->Status(), 2);
        const auto messages = modem->ReadMessages(0, false);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().Text, QStringLiteral("in SM"));
    }

    // 27.005 leaves the answer to +CMGL on an empty storage open; 321 is "nothing there" on some
    // modems. SIM busy and a missing SIM say nothing about the storage.
    void listingErrors_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<qint32>("error");  // 0: an empty list
        QTest::newRow("321 invalid memory index: empty") << QByteArray("+CMS ERROR: 321") << 0;
        QTest::newRow("314 SIM busy: raised for a retry") << QByteArray("+CMS ERROR: 314")
                                                          << code(ErrorCode::CmsErrorBase) + 314;
        QTest::newRow("310 SIM not inserted: raised") << QByteArray("+CMS ERROR: 310") << code(ErrorCode::CmsErrorBase) + 310;
    }
    void listingErrors()
    {
        QFETCH(QByteArray, answer);
        QFETCH(qint32, error);
        auto modem = connectedModem();
        m_hand->on("AT+CMGL=", InterceptingTransport::Act::Answer, "\r\n" + answer + "\r\n");
        QList<ReceivedMessage> read{ReceivedMessage{}};
        QCOMPARE(errorOf([&] { read = modem->ReadMessages(0, false); }), error);
        if (!error)
            QVERIFY(read.isEmpty());
        QCOMPARE(modem->Status(), 2);
    }

    // --empty-list-error end to end.
    void emptyStorageIsAnEmptyList()
    {
        sim::VirtualModemOptions options;
        options.field.emptyListError = true;
        const auto saved = std::exchange(m_virtual, std::make_shared<sim::VirtualModem>(options));
        const auto restore = qScopeGuard([&] { m_virtual = saved; });
        auto modem = connectedModem(0);
        modem->DeleteAllMessages();
        QList<ReceivedMessage> messages{ReceivedMessage{}};
        QList<SmsStatusReport> reports{SmsStatusReport{}};
        QCOMPARE(errorOf([&] { messages = modem->ReadMessages(0, true); }), 0);
        QCOMPARE(errorOf([&] { reports = modem->ReadStatusReports(0, true); }), 0);
        QVERIFY(messages.isEmpty());
        QVERIFY(reports.isEmpty());
        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("after all"))));
        QCOMPARE(modem->ReadMessages(0, false).size(), 1);
    }

    // A modem that turns "SR" down keeps its reports with the messages: they are read there.
    void refusedReportStorageStillReadsReportsAmongMessages()
    {
        auto modem = connectedModem();
        modem->DeleteAllMessages();
        m_virtual->sim().sm().add(storedReport(0x5A, sim::MessageStat::RecUnread));
        m_hand->on("AT+CPMS=\"SR\"", InterceptingTransport::Act::Answer, "\r\n+CMS ERROR: 302\r\n", 2);
        const int asked = m_hand->sent("AT+CPMS=\"SR\"");
        QList<SmsStatusReport> reports;
        QCOMPARE(errorOf([&] { reports = modem->ReadStatusReports(0, false); }), 0);
        QCOMPARE(reports.size(), 1);
        QCOMPARE(int(reports.first().Reference), 0x5A);
        QCOMPARE(m_hand->sent("AT+CPMS=\"SR\""), asked + 1);
        QCOMPARE(errorOf([&] { modem->DeleteAllMessages(); }), 0);
        QCOMPARE(modem->ReadStatusReports(0, false).size(), 0);
    }

    // Reports kept among the messages are found by listing ALL: REC UNREAD would mark every
    // unread message read on every modem (27.005 3.4.2).
    void readingReportsNeverListsUnreadMessages_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QList<int>>("references");
        QTest::newRow("all") << 0 << QList<int>{0x51, 0x52};
        QTest::newRow("unread") << 1 << QList<int>{0x52};
        QTest::newRow("read") << 2 << QList<int>{0x51};
    }
    void readingReportsNeverListsUnreadMessages()
    {
        QFETCH(int, filter);
        QFETCH(QList<int>, references);
        auto modem = connectedModem();
        modem->DeleteAllMessages();
        m_virtual->sim().sm().add(storedReport(0x51, sim::MessageStat::RecRead));
        m_virtual->sim().sm().add(storedReport(0x52, sim::MessageStat::RecUnread));
        QList<int> seen;
        for (const SmsStatusReport &report : modem->ReadStatusReports(filter, false))
            seen << report.Reference;
        QCOMPARE(seen, references);
        QCOMPARE(m_hand->sent("AT+CMGL=0"), 0);
    }

    // A storage name from +CMTI/+CDSI goes into AT+CPMS: anything but two letters is not sent.
    void indicatedStorageIsChecked_data()
    {
        QTest::addColumn<QByteArray>("storage");
        QTest::addColumn<bool>("fetched");
        QTest::newRow("SM") << QByteArray("\"SM\"") << true;
        QTest::newRow("lower case") << QByteArray("\"sm\"") << true;
        QTest::newRow("three letters") << QByteArray("\"SMS\"") << false;
        QTest::newRow("a digit") << QByteArray("\"S1\"") << false;
        QTest::newRow("a command behind it") << QByteArray("\"SM;+CMGD=1,4\"") << false;
    }
    void indicatedStorageIsChecked()
    {
        QFETCH(QByteArray, storage);
        QFETCH(bool, fetched);
        auto modem = connectedModem(2);
        m_hand->inject("\r\n+CMTI: " + storage + ",1\r\n");
        QTest::qWait(300);
        QCOMPARE(m_hand->sent("AT+CMGR=1") == 1, fetched);
        QCOMPARE(m_hand->sent("AT+CPMS="), 0);
        QCOMPARE(modem->Status(), 2);
    }

    // Some modems answer +CPBS? without counts: the count is that of the entries, not 0 (which
    // would have the console propose position 1, over an entry).
    void phonebookCountWithoutCounts()
    {
        auto modem = connectedModem();
        const int entries = int(modem->ReadPhonebook(0, 0).size());
        QVERIFY(entries > 0);
        m_hand->on("AT+CPBS?", InterceptingTransport::Act::Answer, "\r\n+CPBS: \"SM\"\r\n\r\nOK\r\n");
        QCOMPARE(int(modem->PhonebookCount()), entries);
    }

    // In UCS2 most modems write numbers in hex as well, some plainly: a number refused plainly
    // is written in hex, and numbers are read in either form.
    void ucs2NumbersInEitherForm()
    {
        auto modem = connectedModem();
        m_hand->on("AT+CPBW=60,\"+3912\"", InterceptingTransport::Act::Answer, "\r\n+CME ERROR: 27\r\n");
        m_hand->on("AT+CPBW=60,\"002B0033003900310032\"", InterceptingTransport::Act::Answer, "\r\nOK\r\n");
        PhonebookEntry entry{60, QStringLiteral("Anna"), QStringLiteral("+3912")};
        QCOMPARE(errorOf([&] { modem->WritePhonebookEntry(entry); }), 0);
        QCOMPARE(m_hand->sent("AT+CPBW=60,\"002B0033003900310032\",145,\"0041006E006E0061\""), 1);
        m_hand->on("AT+CPBR=7,7", InterceptingTransport::Act::Answer,
                   "\r\n+CPBR: 7,\"002B0033003900310032\",145,\"0041006E006E0061\"\r\n\r\nOK\r\n");
        const auto read = modem->ReadPhonebook(7, 7);
        QCOMPARE(read.size(), 1);
        QCOMPARE(read.first().Number, QStringLiteral("+3912"));
        QCOMPARE(read.first().Name, QStringLiteral("Anna"));
    }

    void phonebookErrorIsRaisedAsAnswered()
    {
        auto modem = connectedModem();
        m_hand->on("AT+CPBR=1,5", InterceptingTransport::Act::Answer, "\r\n+CME ERROR: 14\r\n");
        try {
            modem->ReadPhonebook(1, 5);
            QFAIL("the modem's error was not raised");
        } catch (const RaisedError &error) {
            QCOMPARE(error.number(), code(ErrorCode::CmeErrorBase) + 14);
            QVERIFY2(error.description().contains(QStringLiteral("SIM busy")), qPrintable(error.description()));
        }
        QCOMPARE(m_hand->sent("AT+CPBR=1,5"), 1);  // asked once: a second answer could differ
        QCOMPARE(modem->Status(), 2);
    }

    void ringsPairWithTheirCallerNumber_data()
    {
        QTest::addColumn<bool>("callerId");
        QTest::addColumn<QByteArrayList>("chunks");  // arriving some time apart
        QTest::addColumn<QStringList>("rings");
        const QByteArray ring = "\r\nRING\r\n";
        const QByteArray clip = "\r\n+CLIP: \"+39555\",145\r\n";
        QTest::newRow("the number follows its ring") << true << QByteArrayList{ring + clip} << QStringList{"+39555"};
        QTest::newRow("caller not identified") << true << QByteArrayList{ring} << QStringList{""};
        QTest::newRow("two rings of one call") << true << QByteArrayList{ring + clip, ring + clip}
                                               << QStringList{"+39555", "+39555"};
        QTest::newRow("ring code with call type") << true << QByteArrayList{"\r\n+CRING: VOICE\r\n" + clip}
                                                  << QStringList{"+39555"};
        QTest::newRow("a late number is no second call") << true << QByteArrayList{ring, clip} << QStringList{""};
        QTest::newRow("type 145 without its plus") << true << QByteArrayList{ring + "\r\n+CLIP: \"39555\",145\r\n"}
                                                   << QStringList{"+39555"};
        QTest::newRow("a number without a ring") << true << QByteArrayList{clip} << QStringList{};
        QTest::newRow("caller id off, the modem names the caller anyway") << false << QByteArrayList{ring + clip}
                                                                          << QStringList{""};
    }
    void ringsPairWithTheirCallerNumber()
    {
        QFETCH(bool, callerId);
        QFETCH(QByteArrayList, chunks);
        QFETCH(QStringList, rings);
        auto modem = connectedModem(2, callerId);
        QStringList seen;
        connect(modem.get(), &GsmModem::Ring, this, [&seen](const PhoneNumber &caller) { seen << caller.Number; });
        for (const QByteArray &chunk : chunks) {
            m_hand->inject(chunk);
            QTest::qWait(600);  // longer than any wait for a +CLIP
        }
        QCOMPARE(seen, rings);
    }

    void noiseIsNotAMessage_data()
    {
        QTest::addColumn<QByteArray>("noise");
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("reports");
        // The modem routes with +CSMS=1: what reached nobody is refused (+CNMA=2, delivered again).
        QTest::addColumn<QByteArray>("acknowledgement");
        QTest::newRow("+CMT without its PDU") << QByteArray("\r\n+CMT: garbage\r\n\r\n+CREG: 1\r\n") << 0 << 0
                                              << QByteArray("AT+CNMA=2");
        QTest::newRow("+CDS without its PDU") << QByteArray("\r\n+CDS: 25\r\n\r\n+CREG: 1\r\n") << 0 << 0
                                              << QByteArray("AT+CNMA=2");
        QTest::newRow("+CMTI without an index") << QByteArray("\r\n+CMTI: \"SM\"\r\n") << 0 << 0 << QByteArray();
        // A PDU line that does not decode is still the modem's message: shown as its octets.
        QTest::newRow("+CMT whose PDU does not decode") << QByteArray("\r\n+CMT: ,3\r\n00FF0102\r\n") << 1 << 0
                                                        << QByteArray("AT+CNMA\r");
    }
    void noiseIsNotAMessage()
    {
        QFETCH(QByteArray, noise);
        QFETCH(int, messages);
        QFETCH(int, reports);
        QFETCH(QByteArray, acknowledgement);
        auto modem = connectedModem();
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        QSignalSpy reported(modem.get(), &GsmModem::StatusReport);
        m_hand->inject(noise);
        // A header whose PDU line never comes is given up only after the channel's PDU wait.
        if (acknowledgement.isEmpty())
            QTest::qWait(300);
        else
            QTRY_COMPARE_WITH_TIMEOUT(m_hand->sent(acknowledgement), 1, 2 * AtChannel::DefaultPduWaitMs);
        QCOMPARE(received.count(), messages);
        QCOMPARE(reported.count(), reports);
        QCOMPARE(m_hand->sent("AT+CMGR"), 0);
        QCOMPARE(m_hand->sent("AT+CNMA"), acknowledgement.isEmpty() ? 0 : 1);
        QCOMPARE(modem->Status(), 2);
        if (messages)
            QCOMPARE(received.first().first().value<ReceivedMessage>().UserData, QByteArray::fromHex("00FF0102"));
    }

    // The trace shows every line, and which ones the driver did not use: noise, a late reply.
    void linesNotUsedAreLoggedAsSuch()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Pellix.log"));
        PellixGsmModem modem(factory());
        modem.setTracePath(path);
        modem.Connect(-1, 0, QString(), 2, 60, 0);
        m_hand->inject("\r\n^BOOT:12345,0,0,0,72\r\n");
        QTest::qWait(100);
        m_hand->on("AT+CSQ", InterceptingTransport::Act::Answer, QByteArray());
        qint16 rssi = 0;
        qint16 ber = 0;
        QCOMPARE(errorOf([&] { modem.GetSignalQuality(rssi, ber); }), code(ErrorCode::Timeout));
        m_hand->inject("\r\n+CSQ: 20,0\r\n\r\nOK\r\n");
        QTest::qWait(100);
        QCOMPARE(modem.Status(), 2);
        QFile trace(path);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QByteArray text = trace.readAll();
        QVERIFY2(text.contains("<- ^BOOT:12345,0,0,0,72"), text.constData());
        QVERIFY2(text.contains("<- (discarded) +CSQ: 20,0"), text.constData());
        QVERIFY2(text.contains("<- (discarded) OK"), text.constData());
    }

    // A handler that runs an event loop of its own (a message box) while more arrives: what came
    // meanwhile is delivered once it returns, not left waiting for the next code.
    void messagesArrivingWhileAHandlerWaitsAreDelivered()
    {
        auto modem = connectedModem();
        QStringList texts;
        connect(modem.get(), &GsmModem::MessageReceived, this, [&](const ReceivedMessage &message) {
            texts << message.Text;
            if (texts.size() > 1)
                return;
            QTimer::singleShot(50, this, [this] { m_hand->inject(routed(QStringLiteral("second"))); });
            QEventLoop loop;
            QTimer::singleShot(300, &loop, &QEventLoop::quit);
            loop.exec();
        });
        m_hand->inject(routed(QStringLiteral("first")));
        QTRY_COMPARE_WITH_TIMEOUT(texts, (QStringList{"first", "second"}), 2000);
    }

    // The console closes (and may reopen) the connection from a handler: what had arrived with the
    // event being handled is still handed over, once, and the modem ends as the handler left it.
    void disconnectFromAHandlerLosesNothing_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("disconnect") << false;
        QTest::newRow("disconnect and connect again") << true;
    }
    void disconnectFromAHandlerLosesNothing()
    {
        QFETCH(bool, reconnect);
        auto modem = connectedModem();
        QStringList texts;
        QList<qint32> seen;
        connect(modem.get(), &GsmModem::NewStatus, this, [&seen](qint32 s) { seen << s; });
        connect(modem.get(), &GsmModem::MessageReceived, this, [&](const ReceivedMessage &message) {
            texts << message.Text;
            if (texts.size() > 1)
                return;
            modem->Disconnect();
            if (reconnect)
                modem->Connect(-1, 0, QString(), 2, 60, 0);
        });
        m_hand->inject(routed(QStringLiteral("first")) + routed(QStringLiteral("second")));
        QTRY_COMPARE_WITH_TIMEOUT(texts.size(), 2, 2000);
        QTest::qWait(200);
        QCOMPARE(texts, (QStringList{"first", "second"}));
        QCOMPARE(seen, reconnect ? (QList<qint32>{0, 1, 2}) : QList<qint32>{0});
        QCOMPARE(modem->Status(), reconnect ? 2 : 0);
    }

    void disconnectWhileConnectingCancelsTheConnect()
    {
        PellixGsmModem modem(factory());
        modem.setTracePath(QString());
        QList<qint32> seen;
        connect(&modem, &GsmModem::NewStatus, this, [&](qint32 s) {
            seen << s;
            if (s == GsmModem::Connecting)
                modem.Disconnect();
        });
        QCOMPARE(errorOf([&] { modem.Connect(-1, 0, QString(), 2, 60, 0); }), code(ErrorCode::NotConnected));
        QCOMPARE(seen, (QList<qint32>{1, 0}));
        QCOMPARE(modem.Status(), 0);
    }

    void failedConnectLeavesNothingBehind()
    {
        // A modem without PDU mode the first time: refused on the combined line and alone.
        int attempts = 0;
        PellixGsmModem modem([&](qint32 type, const ModemProfile &profile, qint16 port, qint32 baud) {
            auto transport = factory()(type, profile, port, baud);
            if (++attempts == 1)
                m_hand->on("AT+CMGF=0", InterceptingTransport::Act::Answer, "\r\nERROR\r\n", 2);
            return transport;
        });
        modem.setTracePath(QString());
        QList<qint32> seen;
        connect(&modem, &GsmModem::NewStatus, this, [&seen](qint32 s) { seen << s; });
        QCOMPARE(errorOf([&] { modem.Connect(-1, 0, QString(), 2, 60, 0); }), code(ErrorCode::ModemAnsweredError));
        QCOMPARE(seen, (QList<qint32>{1, 0}));
        QCOMPARE(modem.StatusText(), QStringLiteral("Disconnected"));
        QCOMPARE(modem.Manufacturer(), QString());
        QCOMPARE(modem.Model(), QString());
        QCOMPARE(modem.IMEI(), QString());

        modem.Connect(-1, 0, QString(), 2, 60, 0);
        QCOMPARE(modem.Status(), 2);
        QCOMPARE(modem.Manufacturer(), QString::fromLatin1(sim::VirtualModem::Manufacturer));
    }

    // 27.005 3.4.4: an acknowledgement belongs to the connection that received the message.
    void acknowledgementsOwedDieWithTheirConnection()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QDir(dir.path()).mkpath(QStringLiteral("Pellix"));
        QFile ini(dir.filePath(QStringLiteral("Pellix/Pellix.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Modem]\nName=Acknowledging modem\nCnma=1\n");
        ini.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));

        PellixGsmModem modem(factory());
        modem.setTracePath(QString());
        QSignalSpy received(&modem, &GsmModem::MessageReceived);
        modem.Connect(0, 1, QString(), 2, 60, 0);
        qint16 rssi = 0;
        qint16 ber = 0;
        // A routed message comes with one answer; the link is gone with the next, before the
        // event loop could acknowledge it.
        m_hand->on("AT+CSQ", InterceptingTransport::Act::Answer, routed(QStringLiteral("owed")) + "\r\n+CSQ: 20,0\r\n\r\nOK\r\n");
        m_hand->on("AT+CSQ", InterceptingTransport::Act::AnswerAndFail);
        modem.GetSignalQuality(rssi, ber);
        QCOMPARE(errorOf([&] { modem.GetSignalQuality(rssi, ber); }), code(ErrorCode::ConnectionLost));
        modem.Connect(0, 1, QString(), 2, 60, 0);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 2000);
        QCOMPARE(m_hand->sent("AT+CNMA"), 0);
        qunsetenv("XDG_CONFIG_HOME");
    }

    // A modem that puts vendor lines between every header and its PDU, and now and then before a
    // final code: the messages read are those of a quiet modem, and a routed one (+CMT) arrives.
    void vendorNoiseEndToEnd()
    {
        const auto keep = m_virtual;
        const auto read = [this] {
            auto modem = connectedModem(2);
            QStringList seen;
            for (const ReceivedMessage &m : modem->ReadMessages(0, false))
                seen << QStringLiteral("%1 %2 %3").arg(m.SimLocation).arg(m.Text, QString::fromLatin1(m.UserData.toHex()));
            return std::make_pair(std::move(modem), seen);
        };
        m_virtual = std::make_shared<sim::VirtualModem>();
        const QStringList quiet = read().second;
        sim::VirtualModemOptions noisy;
        noisy.field.vendorNoise = true;
        m_virtual = std::make_shared<sim::VirtualModem>(noisy);
        auto [modem, seen] = read();
        QCOMPARE(seen, quiet);
        QVERIFY(!seen.isEmpty());

        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        SmsMessage msg;
        msg.Recipient.Number = QString::fromLatin1(sim::VirtualNetwork::OwnNumber);
        msg.Text = QStringLiteral("through the noise");
        QVERIFY(modem->SendMessage(msg) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 5000);
        QCOMPARE(received.first().first().value<ReceivedMessage>().Text, msg.Text);
        QCOMPARE(modem->Status(), 2);
        m_virtual = keep;
    }

    // A modem under load answers +CSQ once after the deadline: the call times out, and the late
    // answer is dropped before the next command (the AT that drains it is in the trace) instead of
    // ending that command; the signal is read again once the modem has recovered.
    void lateReplyEndToEnd()
    {
        const auto keep = m_virtual;
        sim::VirtualModemOptions late;
        late.field.lateReplyMs = 2500;  // past the simulator profile's 2 s
        late.field.lateCommands = {"+CSQ"};
        late.field.lateReplyCount = 1;
        m_virtual = std::make_shared<sim::VirtualModem>(late);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Pellix.log"));
        PellixGsmModem modem(factory());
        modem.setTracePath(path);
        modem.Connect(-1, 0, QString(), 2, 60, 0);
        qint16 rssi = -1;
        qint16 ber = -1;
        QCOMPARE(errorOf([&] { modem.GetSignalQuality(rssi, ber); }), code(ErrorCode::Timeout));
        SmsMessage msg;
        msg.Recipient.Number = QStringLiteral("+3955504");
        msg.Text = QStringLiteral("after a late answer");
        QVERIFY(modem.SendMessage(msg) >= 0);
        QCOMPARE(errorOf([&] { modem.GetSignalQuality(rssi, ber); }), 0);
        QVERIFY(rssi >= 0 && rssi <= 31);
        QCOMPARE(modem.Status(), 2);
        QFile trace(path);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QByteArray text = trace.readAll();
        QVERIFY2(text.contains("<- (discarded) +CSQ:"), text.constData());
        QVERIFY2(text.contains("-> AT\n"), text.constData());
        m_virtual = keep;
    }

    void pseudoTerminalModemDiesMidCommand()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess simulator;
        simulator.setProgram(QStringLiteral(PELLIX_MODEMSIM));
        simulator.start();
        QVERIFY(simulator.waitForStarted(5000));
        QVERIFY(simulator.waitForReadyRead(5000));
        const QByteArray device = simulator.readLine().trimmed();
        QDir(dir.path()).mkpath(QStringLiteral("Pellix"));
        QFile ini(dir.filePath(QStringLiteral("Pellix/Pellix.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Ports]\nCOM41=" + device + "\n");
        ini.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));

        PellixGsmModem modem;
        modem.setTracePath(QString());
        modem.Connect(2, 41, QString(), 2, 60, 0);  // a serial profile (Wavecom) on the terminal
        QCOMPARE(modem.Status(), 2);
        QSignalSpy status(&modem, &GsmModem::NewStatus);

        // Freeze the modem so that the next command waits, and let it die while it does.
        const qint64 pid = simulator.processId();
        ::kill(pid_t(pid), SIGSTOP);
        QVERIFY(QProcess::startDetached(QStringLiteral("/bin/sh"),
                                        {QStringLiteral("-c"), QStringLiteral("sleep 0.5; kill -9 %1").arg(pid)}));
        QElapsedTimer clock;
        clock.start();
        qint16 rssi = 0;
        qint16 ber = 0;
        const qint32 error = errorOf([&] { modem.GetSignalQuality(rssi, ber); });
        QVERIFY2(error == code(ErrorCode::ConnectionLost) || error == code(ErrorCode::Timeout),
                 QByteArray::number(error - LibraryBase).constData());
        QVERIFY(clock.elapsed() < 11000);  // the Wavecom profile's deadline is 10 s
        QVERIFY(simulator.waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(modem.Status(), 0, 3000);
        QCOMPARE(status.count(), 1);
        QCOMPARE(errorOf([&] { modem.GetSignalQuality(rssi, ber); }), code(ErrorCode::NotConnected));
        qunsetenv("XDG_CONFIG_HOME");
    }

    // Field modems (protocol notes 7): each behaviour of the virtual modem against a whole
    // Connect, the SIM commands after it and a message that arrives while connected.
    void fieldModemsConnectAndReceive_data()
    {
        QTest::addColumn<sim::FieldBehaviour>("field");
        QTest::addColumn<QString>("pin");
        QTest::addColumn<QString>("traced");  // a note the trace must hold
        const auto with = [](const std::function<void(sim::FieldBehaviour &)> &set) {
            sim::FieldBehaviour field;
            set(field);
            return field;
        };
        QTest::newRow("healthy") << sim::FieldBehaviour() << QString() << QString();
        QTest::newRow("left inside a +CMGS prompt")
            << with([](sim::FieldBehaviour &f) { f.stuckPrompt = true; }) << QString() << QString();
        QTest::newRow("left in quiet mode") << with([](sim::FieldBehaviour &f) { f.quiet = true; }) << QString()
                                            << QStringLiteral("quiet mode");
        QTest::newRow("boot lines between the first answers")
            << with([](sim::FieldBehaviour &f) { f.bootNoise = true; }) << QString() << QString();
        QTest::newRow("SIM busy after power-up") << with([](sim::FieldBehaviour &f) { f.simBusySeconds = 8; })
                                                 << QString() << QStringLiteral("SIM not ready");
        QTest::newRow("SIM busy after the PIN") << with([](sim::FieldBehaviour &f) { f.simBusySeconds = 8; })
                                                << QStringLiteral("1234") << QStringLiteral("SIM not ready");
        QTest::newRow("store-and-indicate only")
            << with([](sim::FieldBehaviour &f) { f.strictCnmi = true; }) << QString() << QString();
    }
    void fieldModemsConnectAndReceive()
    {
        QFETCH(sim::FieldBehaviour, field);
        QFETCH(QString, pin);
        QFETCH(QString, traced);
        useFieldModem(field, pin);
        int lines = 0;
        m_virtual->setTrace([&lines](sim::VirtualModem::TraceKind kind, const QByteArray &) {
            lines += kind == sim::VirtualModem::TraceKind::Command;
        });
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        PellixGsmModem modem(factory());
        modem.setTracePath(dir.filePath(QStringLiteral("Pellix.log")));
        modem.setConnectOptionA(true);
        modem.setConnectOptionB(true);
        modem.setAutoDelete(true);
        QSignalSpy received(&modem, &GsmModem::MessageReceived);
        QCOMPARE(errorOf([&] { modem.Connect(-1, 0, pin, 2, 60, 0); }), 0);
        QCOMPARE(modem.Status(), 2);
        // Nothing the modem said of itself is taken for its identity.
        QCOMPARE(modem.Manufacturer(), QString::fromLatin1(sim::VirtualModem::Manufacturer));
        QCOMPARE(modem.Model(), QString::fromLatin1(sim::VirtualModem::Model));
        QCOMPARE(modem.Revision(), QString::fromLatin1(sim::VirtualModem::Revision));
        QCOMPARE(modem.IMEI(), QString::fromLatin1(sim::VirtualModem::Imei));
        if (field.simBusySeconds == 0)
            QVERIFY2(lines <= 10, QByteArray::number(lines).constData());
        else
            QVERIFY(m_clock->elapsedMs() >= field.simBusySeconds * 1000);  // waited on the modem's time
        QVERIFY(modem.ReadMessages(0, false).size() > 0);

        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("while connected"))));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 2000);
        QCOMPARE(received.first().first().value<ReceivedMessage>().Text, QStringLiteral("while connected"));
        if (!traced.isEmpty()) {
            QFile trace(dir.filePath(QStringLiteral("Pellix.log")));
            QVERIFY(trace.open(QIODevice::ReadOnly));
            QVERIFY2(trace.readAll().contains(traced.toLatin1()), qPrintable(traced));
        }
    }

    // After a Connect that found the SIM starting, its first storage commands wait for it too.
    void firstSimCommandAfterABusyStartIsRetried()
    {
        sim::FieldBehaviour field;
        field.simBusySeconds = 4;
        useFieldModem(field);
        std::unique_ptr<PellixGsmModem> modem;
        QCOMPARE(errorOf([&] { modem = connectedModem(); }), 0);
        m_hand->on("AT+CPBR=1,5", InterceptingTransport::Act::Answer, "\r\n+CME ERROR: 14\r\n");
        QCOMPARE(errorOf([&] { modem->ReadPhonebook(1, 5); }), 0);
        QCOMPARE(m_hand->sent("AT+CPBR=1,5"), 2);
    }

    // A modem that takes no +CNMI at all: receive mode 0 does without indications, receive mode 2
    // cannot.
    void refusedCnmi_data()
    {
        QTest::addColumn<int>("receiveMode");
        QTest::addColumn<int>("expected");
        QTest::newRow("receive mode 0") << 0 << 0;
        QTest::newRow("receive mode 2") << 2 << code(ErrorCode::CmsErrorBase) + 303;
    }
    void refusedCnmi()
    {
        QFETCH(int, receiveMode);
        QFETCH(int, expected);
        PellixGsmModem modem([&](qint32 type, const ModemProfile &profile, qint16 port, qint32 baud) {
            auto transport = factory()(type, profile, port, baud);
            m_hand->on("AT+CMGF=0;", InterceptingTransport::Act::Answer, "\r\n+CMS ERROR: 303\r\n");
            m_hand->on("AT+CNMI=", InterceptingTransport::Act::Answer, "\r\n+CMS ERROR: 303\r\n", 5);
            return transport;
        });
        modem.setTracePath(QString());
        QCOMPARE(errorOf([&] { modem.Connect(-1, 0, QString(), receiveMode, 60, 0); }), expected);
        QCOMPARE(modem.Status(), expected == 0 ? 2 : 0);
    }

    // A modem left routing new messages to the port (+CNMI <mt> 2) acknowledges what arrives once
    // nobody reads, and the message is gone: every end of a connection leaves it storing.
    void messagesArrivingAfterTheConnectionEndsAreKept_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("Disconnect") << QStringLiteral("disconnect");
        QTest::newRow("the modem object destroyed") << QStringLiteral("destroyed");
        QTest::newRow("a Connect that fails") << QStringLiteral("failed connect");
    }
    void messagesArrivingAfterTheConnectionEndsAreKept()
    {
        QFETCH(QString, end);
        sim::FieldBehaviour field;
        field.loseRoutedMessages = true;
        useFieldModem(field);
        bool failIdentity = false;
        auto modem = std::make_unique<PellixGsmModem>([&](qint32 type, const ModemProfile &profile, qint16 port, qint32 baud) {
            auto transport = factory()(type, profile, port, baud);
            if (failIdentity)
                m_hand->on("AT+CGMI", InterceptingTransport::Act::Answer, "\r\nERROR\r\n");
            return transport;
        });
        modem->setTracePath(QString());
        modem->Connect(-1, 0, QString(), 2, 60, 0);
        if (end == QLatin1String("disconnect")) {
            modem->Disconnect();
        } else if (end == QLatin1String("destroyed")) {
            modem.reset();
        } else {
            // The link went before the modem could be told (nothing can be sent then); the next
            // Connect sets the modem storing even though it fails.
            m_transport->setFault(Fault::Unplugged);
            QCoreApplication::processEvents();
            failIdentity = true;
            QCOMPARE(errorOf([&] { modem->Connect(-1, 0, QString(), 2, 60, 0); }), code(ErrorCode::ModemAnsweredError));
        }
        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("kept for later"))));

        PellixGsmModem next(factory());
        next.setTracePath(QString());
        next.Connect(-1, 0, QString(), 0, 60, 0);
        const auto stored = next.ReadMessages(1, false);
        QVERIFY(std::any_of(stored.begin(), stored.end(),
                            [](const ReceivedMessage &m) { return m.Text == QLatin1String("kept for later"); }));
    }

    // The PIN never shows in an error, and only what a SIM can take is sent as one.
    void pinIsNeitherShownNorWasted_data()
    {
        QTest::addColumn<QString>("pin");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("attemptsUsed");
        QTest::newRow("wrong PIN") << QStringLiteral("9876") << code(ErrorCode::CmeErrorBase) + 16 << 1;
        QTest::newRow("Arabic-Indic digits") << QStringLiteral("\u0661\u0662\u0663\u0664")
                                             << code(ErrorCode::InvalidArgument) << 0;
    }
    void pinIsNeitherShownNorWasted()
    {
        QFETCH(QString, pin);
        QFETCH(int, expected);
        QFETCH(int, attemptsUsed);
        useFieldModem(sim::FieldBehaviour(), QStringLiteral("1234"));
        const int attempts = m_virtual->sim().attemptsLeft();
        PellixGsmModem modem(factory());
        modem.setTracePath(QString());
        modem.setConnectOptionA(true);
        try {
            modem.Connect(-1, 0, pin, 2, 60, 0);
            QFAIL("Connect succeeded");
        } catch (const RaisedError &error) {
            QCOMPARE(error.number(), expected);
            QVERIFY2(!error.description().contains(pin), qPrintable(error.description()));
        }
        QCOMPARE(m_virtual->sim().attemptsLeft(), attempts - attemptsUsed);
    }
};

QTEST_GUILESS_MAIN(TestModemFaults)
#include "tst_modemfaults.moc"
