// SPDX-License-Identifier: GPL-3.0-or-later
// The library against what field modems do in the middle of a session (protocol notes 7): a
// restart that brings back the stored profile, new messages kept in a storage other than the SIM,
// long answers on a slow line, a connection that ends by itself. Each behaviour is a switch of the
// virtual modem, and each switch a row.
#include "at/atchannel.h"
#include "modem/pellixgsmmodem.h"
#include "networkpdus.h"
#include "raisederrorcode.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace pellix;

Q_DECLARE_METATYPE(pellix::sim::FieldBehaviour)
Q_DECLARE_METATYPE(pellix::sim::FieldBehaviour::EmptyRead)

namespace {

// Makes the modem's phone memory ("ME") look like another storage to the library, in both
// directions: its indications and the storage it is asked to select.
class RenamingTransport : public ByteTransport
{
public:
    RenamingTransport(std::unique_ptr<ByteTransport> inner, QByteArray shownAs)
        : m_inner(std::move(inner))
        , m_shownAs(std::move(shownAs))
    {
        connect(m_inner.get(), &ByteTransport::bytesArrived, this, &ByteTransport::bytesArrived);
        connect(m_inner.get(), &ByteTransport::failed, this, &ByteTransport::failed);
    }
    bool isOpen() const override { return m_inner->isOpen(); }
    bool write(const QByteArray &bytes) override
    {
        return m_inner->write(QByteArray(bytes).replace("\"" + m_shownAs + "\"", "\"ME\""));
    }
    QByteArray takeAvailable() override
    {
        return m_inner->takeAvailable().replace("\"ME\"", "\"" + m_shownAs + "\"");
    }
    bool waitForBytes(QDeadlineTimer deadline) override { return m_inner->waitForBytes(deadline); }
    void close() override { m_inner->close(); }
    void pause(int ms) override { m_inner->pause(ms); }
    QString errorText() const override { return m_inner->errorText(); }

private:
    std::unique_ptr<ByteTransport> m_inner;
    QByteArray m_shownAs;
};

sim::FieldBehaviour restartingModem(const QList<QByteArray> &lines)
{
    sim::FieldBehaviour field;
    field.storedTextMode = true;
    field.restartLines = lines;
    field.restartSilenceMs = 200;
    return field;
}

const QString Recipient = QStringLiteral("+3955512345");

} // namespace

class TestModemRestart : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<sim::VirtualModem> m_virtual;
    sim::VirtualModemTransport *m_transport = nullptr;
    QByteArray m_storageShownAs;
    QTemporaryDir m_dir;

    // The modem on the real clock: a restart's silence ends while the library waits.
    void useModem(const sim::FieldBehaviour &field, const QString &pin = QString())
    {
        sim::VirtualModemOptions options;
        options.field = field;
        options.pin = pin;
        m_virtual = std::make_shared<sim::VirtualModem>(options);
    }

    std::unique_ptr<PellixGsmModem> connectedModem(qint32 receiveMode = 2, const QString &pin = QString())
    {
        auto modem = std::make_unique<PellixGsmModem>([this](qint32, const ModemProfile &, qint16, qint32) {
            auto transport = std::make_unique<sim::VirtualModemTransport>(m_virtual);
            m_transport = transport.get();
            std::unique_ptr<ByteTransport> result = std::move(transport);
            if (!m_storageShownAs.isEmpty())
                result = std::make_unique<RenamingTransport>(std::move(result), m_storageShownAs);
            return result;
        });
        modem->setTracePath(m_dir.filePath(QStringLiteral("Pellix.log")));
        modem->setConnectOptionA(true);
        modem->setConnectOptionB(true);
        modem->Connect(-1, 0, pin, receiveMode, 60, 0);
        return modem;
    }

    QByteArray trace() const
    {
        QFile file(m_dir.filePath(QStringLiteral("Pellix.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    bool sentAsText() const
    {
        const auto &sent = m_virtual->submissions();
        return std::any_of(sent.begin(), sent.end(), [](const sim::VirtualModem::Submission &s) { return s.textMode; });
    }

    SmsMessage message(const QString &text) const
    {
        SmsMessage m;
        m.Recipient = PhoneNumber{Recipient, 1};
        m.Text = text;
        return m;
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(m_dir.filePath(QStringLiteral("Pellix.log")));
        m_storageShownAs.clear();
    }

    // The modem restarts into text mode while the connection is idle, and a message arrives
    // meanwhile. However the restart shows (boot lines, readiness lines only, nothing but the
    // echo of the next command), the modem is set up again before a PDU is written, the message
    // that came meanwhile is handed over, and the next message goes out as a PDU.
    void restartIsRecognisedAndTheModemSetUpAgain_data()
    {
        QTest::addColumn<sim::FieldBehaviour>("field");
        QTest::addColumn<int>("restarts");        // back to back
        QTest::addColumn<QByteArray>("duringSetup"); // a command of the setting up that restarts it once more
        QTest::addColumn<QString>("pin");            // the SIM's, given to Connect
        const QList<QByteArray> simcom{"RDY", "+CFUN: 1", "+CPIN: READY", "Call Ready", "SMS Ready"};
        QTest::newRow("RDY and the rest") << restartingModem(simcom) << 1 << QByteArray() << QString();
        QTest::newRow("^SYSSTART") << restartingModem({"^SYSSTART"}) << 1 << QByteArray() << QString();
        QTest::newRow("readiness lines only") << restartingModem({"SMS Ready", "PB DONE"}) << 1 << QByteArray() << QString();
        QTest::newRow("nothing said: only the echo tells") << restartingModem({}) << 1 << QByteArray() << QString();
        QTest::newRow("twice in a row") << restartingModem(simcom) << 2 << QByteArray() << QString();
        QTest::newRow("again while being set up") << restartingModem(simcom) << 1 << QByteArray("+CNMI") << QString();
        QTest::newRow("into a SIM that wants the PIN given to Connect") << restartingModem(simcom) << 1 << QByteArray()
                                                                        << QStringLiteral("1234");
        // As a module says them while its SIM and message stacks start: one restart, one setting up.
        sim::FieldBehaviour spread = restartingModem(simcom);
        spread.restartSpreadMs = 250;
        QTest::newRow("boot lines seconds apart") << spread << 1 << QByteArray() << QString();
    }
    void restartIsRecognisedAndTheModemSetUpAgain()
    {
        QFETCH(sim::FieldBehaviour, field);
        QFETCH(int, restarts);
        QFETCH(QByteArray, duringSetup);
        QFETCH(QString, pin);
        useModem(field, pin);
        auto modem = connectedModem(2, pin);
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        if (!duringSetup.isEmpty()) {
            m_virtual->field().restartOn = {duringSetup};
            m_virtual->field().restartCount = 1;
        }
        // A second restart comes once the modem is up from the first.
        for (int i = 0; i < restarts; ++i) {
            m_virtual->restart();
            QTest::qWait(field.restartSilenceMs + 100);
        }
        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("while it restarted"))));
        QTRY_VERIFY_WITH_TIMEOUT(!m_virtual->restarting(), 2000);
        QTest::qWait(int(field.restartSpreadMs * field.restartLines.size()));

        SmsMessage sent = message(QStringLiteral("after the restart"));
        QCOMPARE(errorOf([&] { modem->SendMessage(sent); }), 0);
        QCOMPARE(modem->Status(), 2);
        QVERIFY(!sentAsText());
        QCOMPARE(m_virtual->submissions().last().destination, Recipient);
        QCOMPARE(m_virtual->submissions().last().text, QStringLiteral("after the restart"));
        QVERIFY(status.count() >= 2);
        QCOMPARE(status.first().first().toInt(), 1);
        QCOMPARE(status.last().first().toInt(), 2);
        // Handed over once; the modem cannot tell it from messages that were unread before.
        const auto arrivedMeanwhile = [&received] {
            return std::count_if(received.begin(), received.end(), [](const QList<QVariant> &args) {
                return args.first().value<ReceivedMessage>().Text == QLatin1String("while it restarted");
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(arrivedMeanwhile(), 1, 3000);
        QCOMPARE(trace().count("setting it up again"), restarts);
        QCOMPARE(m_virtual->sim().attemptsLeft(), sim::VirtualSim::PinAttempts);
    }

    // A restart in the middle of a command ends that command at once with its own error (the
    // command's deadline is seconds away), the modem is set up again from the event loop, and the
    // same operation then works. The message whose AT+CMGS was lost never went out, as text least
    // of all.
    void commandInterruptedByARestartFailsAtOnce_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<std::function<void(PellixGsmModem &)>>("operation");
        QTest::newRow("sending") << QByteArray("+CMGS") << std::function<void(PellixGsmModem &)>([](PellixGsmModem &m) {
            SmsMessage sent;
            sent.Recipient = PhoneNumber{Recipient, 1};
            sent.Text = QStringLiteral("interrupted");
            m.SendMessage(sent);
        });
        QTest::newRow("listing messages") << QByteArray("+CMGL")
                                          << std::function<void(PellixGsmModem &)>([](PellixGsmModem &m) { m.ReadMessages(0, false); });
        QTest::newRow("signal") << QByteArray("+CSQ") << std::function<void(PellixGsmModem &)>([](PellixGsmModem &m) {
            qint16 rssi = 0;
            qint16 ber = 0;
            m.GetSignalQuality(rssi, ber);
        });
        QTest::newRow("phonebook") << QByteArray("+CPBR")
                                   << std::function<void(PellixGsmModem &)>([](PellixGsmModem &m) { m.ReadPhonebook(1, 5); });
        QTest::newRow("call forwarding") << QByteArray("+CCFC") << std::function<void(PellixGsmModem &)>([](PellixGsmModem &m) {
            m.ForwardCalls(2, 1, 0, QString());
        });
        QTest::newRow("deleting") << QByteArray("+CMGD")
                                  << std::function<void(PellixGsmModem &)>([](PellixGsmModem &m) { m.DeleteMessage(1); });
        QTest::newRow("writing a phonebook entry") << QByteArray("+CPBW") << std::function<void(PellixGsmModem &)>([](PellixGsmModem &m) {
            PhonebookEntry entry{7, QStringLiteral("Restart"), QStringLiteral("+3955500007")};
            m.WritePhonebookEntry(entry);
        });
        QTest::newRow("selecting the report storage") << QByteArray("+CPMS")
                                                      << std::function<void(PellixGsmModem &)>([](PellixGsmModem &m) { m.ReadStatusReports(0, false); });
    }
    void commandInterruptedByARestartFailsAtOnce()
    {
        QFETCH(QByteArray, command);
        QFETCH(std::function<void(PellixGsmModem &)>, operation);
        useModem(restartingModem({"RDY", "+CFUN: 1", "+CPIN: READY", "SMS Ready"}));
        auto modem = connectedModem(0);
        m_virtual->field().restartOn = {command};
        m_virtual->field().restartCount = 1;
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        const int storedBefore = m_virtual->sim().sm().used();

        QCOMPARE(errorOf([&] { operation(*modem); }), code(ErrorCode::ModemRestarted));
        QTRY_COMPARE_WITH_TIMEOUT(status.count(), 2, 3000);
        QCOMPARE(modem->Status(), 2);
        QCOMPARE(errorOf([&] { operation(*modem); }), 0);
        QVERIFY(!sentAsText());
        if (command == "+CMGS")
            QCOMPARE(m_virtual->submissions().size(), 1);
        if (command == "+CMGD")
            QCOMPARE(m_virtual->sim().sm().used(), storedBefore - 1);  // the first delete was lost with the restart
    }

    // A restart among the deletes after a read: the messages were handed over, and every one but
    // the one whose delete the restart took is deleted once the modem is set up again.
    void deletingAfterReadingGoesOnAfterARestart()
    {
        useModem(restartingModem({"RDY", "+CFUN: 1", "+CPIN: READY", "SMS Ready"}));
        auto modem = connectedModem(0);
        m_virtual->field().restartOn = {"+CMGD"};
        m_virtual->field().restartCount = 1;
        const int stored = m_virtual->sim().sm().used() + m_virtual->sim().me().used();

        QList<ReceivedMessage> read;
        QCOMPARE(errorOf([&] { read = modem->ReadMessages(0, true); }), 0);
        QVERIFY(read.size() > 2);
        QCOMPARE(modem->Status(), 2);
        // The stored status report is no message and stays, as does the one the restart took.
        QCOMPARE(m_virtual->sim().sm().used() + m_virtual->sim().me().used(), stored - read.size() + 1);
    }

    // A restart in the middle of Connect (a modem plugged in a moment ago, a failing supply):
    // what was set before it is set again, and Connect succeeds.
    void connectSurvivesARestart_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("echo and errors") << QByteArray("+CMEE");
        QTest::newRow("identity") << QByteArray("+CGMM");
        QTest::newRow("message settings") << QByteArray("+CNMI");
    }
    void connectSurvivesARestart()
    {
        QFETCH(QByteArray, command);
        sim::FieldBehaviour field = restartingModem({"RDY", "+CFUN: 1", "+CPIN: READY", "SMS Ready"});
        field.restartOn = {command};
        field.restartCount = 1;
        useModem(field);
        std::unique_ptr<PellixGsmModem> modem;
        QCOMPARE(errorOf([&] { modem = connectedModem(2); }), 0);
        QCOMPARE(modem->Model(), QString::fromLatin1(sim::VirtualModem::Model));
        QVERIFY(trace().contains("starting over"));
        SmsMessage sent = message(QStringLiteral("after a restart in Connect"));
        QCOMPARE(errorOf([&] { modem->SendMessage(sent); }), 0);
        QVERIFY(!sentAsText());
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("announced"))));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 3000);
    }

    // When the connection ends by itself while nobody waits on a call (the device goes away, the
    // modem restarts into a SIM that wants a PIN that was not given), the reason is kept for the
    // console; a Disconnect keeps none. No PIN is sent that was not given to this Connect.
    void connectionEndingByItselfKeepsItsReason_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("words");
        QTest::newRow("device unplugged while idle") << QStringLiteral("unplug") << code(ErrorCode::ConnectionLost)
                                                     << QStringLiteral("Connection to the modem lost: the virtual modem was unplugged");
        QTest::newRow("restarted into a SIM that asks for a PIN nobody gave")
            << QStringLiteral("restart") << code(ErrorCode::PinRequired) << QStringLiteral("pellix --pin");
        QTest::newRow("disconnected") << QStringLiteral("disconnect") << 0 << QString();
    }
    void connectionEndingByItselfKeepsItsReason()
    {
        QFETCH(QString, end);
        QFETCH(int, expected);
        QFETCH(QString, words);
        // Unlocked once with its PIN (pellix --pin), then connected without one, as the console does.
        useModem(restartingModem({"RDY", "+CPIN: READY"}), QStringLiteral("1234"));
        connectedModem(0, QStringLiteral("1234"))->Disconnect();
        auto modem = connectedModem(2);
        const int attempts = m_virtual->sim().attemptsLeft();
        if (end == QLatin1String("unplug"))
            m_transport->setFault(sim::VirtualModemTransport::Fault::Unplugged);
        else if (end == QLatin1String("restart"))
            m_virtual->restart();
        else
            modem->Disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(modem->Status(), 0, 3000);
        const std::optional<RaisedError> reason = modem->ConnectionEndReason();
        QCOMPARE(reason ? reason->number() : 0, expected);
        if (reason)
            QVERIFY2(reason->description().contains(words), qPrintable(reason->description()));
        QCOMPARE(m_virtual->sim().attemptsLeft(), attempts);
        QCOMPARE(m_virtual->sim().lock(), end == QLatin1String("restart") ? sim::VirtualSim::Lock::Pin : sim::VirtualSim::Lock::Ready);
    }

    // A SIM that asks for its PIN when none is given: the error says what an operator can do, and
    // no PIN goes to the SIM.
    void simAskingForItsPinSaysWhatToDo()
    {
        useModem(sim::FieldBehaviour(), QStringLiteral("1234"));
        QList<QByteArray> commands;
        m_virtual->setTrace([&commands](sim::VirtualModem::TraceKind kind, const QByteArray &text) {
            if (kind == sim::VirtualModem::TraceKind::Command)
                commands << text;
        });
        try {
            connectedModem(0);
            QFAIL("Connect succeeded");
        } catch (const RaisedError &error) {
            QCOMPARE(error.number(), code(ErrorCode::PinRequired));
            QVERIFY2(error.description().contains(QLatin1String("pellix --pin")), qPrintable(error.description()));
        }
        QVERIFY(std::none_of(commands.begin(), commands.end(), [](const QByteArray &c) { return c.startsWith("AT+CPIN="); }));
    }

    // With the SIM full, the modem keeps a new message in another storage and names it in +CMTI.
    // The message carries a location in that storage's own range: deleting it deletes that
    // message and not the SIM's message with the same index, a location that holds nothing is an
    // error, and the automatic deletion after reading takes the same message.
    void itemsOfOtherStoragesHaveTheirOwnLocations_data()
    {
        QTest::addColumn<QByteArray>("storage");
        QTest::addColumn<int>("base");
        QTest::newRow("phone memory") << QByteArray("ME") << 20000;
        QTest::newRow("SIM and phone memory") << QByteArray("MT") << 25000;
        QTest::newRow("broadcast storage") << QByteArray("BM") << 30000;
    }
    void itemsOfOtherStoragesHaveTheirOwnLocations()
    {
        QFETCH(QByteArray, storage);
        QFETCH(int, base);
        sim::FieldBehaviour field;
        field.simFull = true;
        field.strictCnmi = true;  // stored and indicated, never routed
        useModem(field);
        m_storageShownAs = storage == "ME" ? QByteArray() : storage;
        auto modem = connectedModem(2);
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        const QByteArray simFirst = m_virtual->sim().sm().find(1)->pdu;
        const int phoneBefore = m_virtual->sim().me().used();

        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("kept in the phone"))));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 3000);
        const ReceivedMessage kept = received.first().first().value<ReceivedMessage>();
        QCOMPARE(kept.Text, QStringLiteral("kept in the phone"));
        const int index = kept.SimLocation - base;
        QVERIFY2(index >= 1 && m_virtual->sim().me().find(index), QByteArray::number(kept.SimLocation).constData());

        QCOMPARE(errorOf([&] { modem->DeleteMessage(kept.SimLocation); }), 0);
        QVERIFY(!m_virtual->sim().me().find(index));
        QCOMPARE(m_virtual->sim().me().used(), phoneBefore);
        QVERIFY(m_virtual->sim().sm().find(1) && m_virtual->sim().sm().find(1)->pdu == simFirst);
        QCOMPARE(errorOf([&] { modem->DeleteMessage(kept.SimLocation); }), code(ErrorCode::InvalidArgument));
        QVERIFY(m_virtual->sim().sm().isFull());

        modem->setAutoDelete(true);
        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("read and deleted"))));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, 3000);
        QCOMPARE(received.last().first().value<ReceivedMessage>().SimLocation, kept.SimLocation);
        QCOMPARE(m_virtual->sim().me().used(), phoneBefore);
        QVERIFY(m_virtual->sim().sm().isFull());
    }

    // DeleteMessage reads the location first, since most modems answer OK to deleting an empty
    // place. An empty place is an error however the modem words it, and nothing is deleted; an
    // unread message whose delete fails after that read is still there, and the error says it is
    // marked read now.
    void deletingNamesWhatHappenedToTheLocation_data()
    {
        QTest::addColumn<sim::FieldBehaviour::EmptyRead>("emptyRead");
        QTest::addColumn<bool>("lostToARestart");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("words");
        const int invalid = code(ErrorCode::InvalidArgument);
        const QString empty = QStringLiteral("holds no message");
        QTest::newRow("empty place: +CMS ERROR: 321") << sim::FieldBehaviour::EmptyRead::Error << false << invalid << empty;
        QTest::newRow("empty place: OK alone") << sim::FieldBehaviour::EmptyRead::Ok << false << invalid << empty;
        QTest::newRow("empty place: +CMGR: 0,,0") << sim::FieldBehaviour::EmptyRead::Header << false << invalid << empty;
        QTest::newRow("unread message, delete lost to a restart")
            << sim::FieldBehaviour::EmptyRead::Error << true << code(ErrorCode::ModemRestarted) << QStringLiteral("marked it read");
    }
    void deletingNamesWhatHappenedToTheLocation()
    {
        QFETCH(sim::FieldBehaviour::EmptyRead, emptyRead);
        QFETCH(bool, lostToARestart);
        QFETCH(int, expected);
        QFETCH(QString, words);
        sim::FieldBehaviour field = restartingModem({"RDY", "+CPIN: READY"});
        field.emptyRead = emptyRead;
        if (lostToARestart) {
            field.restartOn = {"+CMGD"};
            field.restartCount = 1;
        }
        useModem(field);
        auto modem = connectedModem(0);
        sim::MessageStore &sm = m_virtual->sim().sm();
        int index = 1;
        while (lostToARestart ? !(sm.find(index) && sm.find(index)->stat == sim::MessageStat::RecUnread) : sm.find(index) != nullptr)
            ++index;
        const int storedBefore = sm.used();
        QList<QByteArray> commands;
        m_virtual->setTrace([&commands](sim::VirtualModem::TraceKind kind, const QByteArray &text) {
            if (kind == sim::VirtualModem::TraceKind::Command)
                commands << text;
        });

        QString description;
        try {
            modem->DeleteMessage(qint16(index));
            QFAIL("DeleteMessage succeeded");
        } catch (const RaisedError &error) {
            QCOMPARE(error.number(), expected);
            description = error.description();
        }
        QVERIFY2(description.contains(words), qPrintable(description));
        QCOMPARE(sm.used(), storedBefore);
        if (lostToARestart)
            QVERIFY(sm.find(index) && sm.find(index)->stat == sim::MessageStat::RecRead);
        else
            QVERIFY(std::none_of(commands.begin(), commands.end(), [](const QByteArray &c) { return c.startsWith("AT+CMGD"); }));
    }

    // With the SIM full, new messages go to the phone memory, announced or not: in receive mode 0
    // the operator reads them and deletes them by their locations; after a restart (which
    // announces nothing) they are handed over, and the automatic deletion takes them. Each shows
    // once, and what deletes it touches nothing else; "delete all" leaves nothing a read would show.
    void everyMessageIsFoundWhereverTheModemKeptIt_data()
    {
        QTest::addColumn<qint32>("receiveMode");
        QTest::addColumn<bool>("restart");
        QTest::newRow("read by the operator") << 0 << false;
        QTest::newRow("arrived while the modem restarted") << 2 << true;
    }
    void everyMessageIsFoundWhereverTheModemKeptIt()
    {
        QFETCH(qint32, receiveMode);
        QFETCH(bool, restart);
        sim::FieldBehaviour field = restartingModem({"RDY", "+CFUN: 1", "+CPIN: READY", "SMS Ready"});
        field.simFull = true;
        useModem(field);
        auto modem = connectedModem(receiveMode);
        QSignalSpy received(modem.get(), &GsmModem::MessageReceived);
        const QByteArray simFirst = m_virtual->sim().sm().find(1)->pdu;
        const int phoneBefore = m_virtual->sim().me().used();
        modem->setAutoDelete(restart);
        if (restart)
            m_virtual->restart();
        const QStringList texts{QStringLiteral("kept in the phone 1"), QStringLiteral("kept in the phone 2")};
        for (const QString &text : texts)
            QVERIFY(m_virtual->incomingMessage(deliverPdu(text)));
        QTRY_VERIFY_WITH_TIMEOUT(!m_virtual->restarting(), 3000);

        QList<ReceivedMessage> found;
        if (restart) {
            // The unread messages of the full SIM come along: the modem cannot tell them apart.
            const auto arrived = [&received] {
                QStringList seen;
                for (const QList<QVariant> &args : received)
                    seen << args.first().value<ReceivedMessage>().Text;
                return seen;
            };
            QTRY_VERIFY_WITH_TIMEOUT(arrived().contains(texts.last()), 3000);
            QTest::qWait(100);
            for (const QList<QVariant> &args : received)
                found << args.first().value<ReceivedMessage>();
        } else {
            QCOMPARE(m_virtual->sim().me().used(), phoneBefore + 2);
            found = modem->ReadMessages(0, false);
        }
        QList<qint16> locations;
        for (const QString &text : texts) {
            const auto isIt = [&text](const ReceivedMessage &m) { return m.Text == text; };
            QCOMPARE(std::count_if(found.begin(), found.end(), isIt), 1);
            locations << std::find_if(found.begin(), found.end(), isIt)->SimLocation;
        }
        for (qint16 location : locations) {
            QVERIFY2(location > 20000 && location < 25000, QByteArray::number(location).constData());
            if (!restart)
                QCOMPARE(errorOf([&] { modem->DeleteMessage(location); }), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_virtual->sim().me().used(), phoneBefore, 1000);
        // The SIM's first message is a read one: neither a delete nor the automatic deletion of
        // the unread ones handed over with them touches it.
        QVERIFY(m_virtual->sim().sm().find(1) && m_virtual->sim().sm().find(1)->pdu == simFirst);

        QCOMPARE(errorOf([&] { modem->DeleteAllMessages(); }), 0);
        QCOMPARE(modem->ReadMessages(0, false).size(), 0);
    }

    // At a line speed where the whole answer takes longer than the profile's listing deadline
    // (ListTimeout 1 s), a listing still completes: it ends by silence, not by its size.
    void listingOnASlowLineCompletes_data()
    {
        QTest::addColumn<QString>("listing");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("afterConnect");  // stored while connected: Connect's count is stale
        QTest::newRow("messages (+CMGL)") << QStringLiteral("messages") << 20 << false;
        QTest::newRow("messages that came after Connect") << QStringLiteral("messages") << 20 << true;
        QTest::newRow("phonebook (+CPBR)") << QStringLiteral("phonebook") << 40 << false;
    }
    void listingOnASlowLineCompletes()
    {
        QFETCH(QString, listing);
        QFETCH(int, count);
        QFETCH(bool, afterConnect);
        QDir(m_dir.path()).mkpath(QStringLiteral("Pellix"));
        QFile ini(m_dir.filePath(QStringLiteral("Pellix/Pellix.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Modem]\nName=Slow line\nListTimeout=1\n");
        ini.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        const auto restoreConfig = qScopeGuard([] { qunsetenv("XDG_CONFIG_HOME"); });

        sim::FieldBehaviour field;
        field.lineSpeed = 1200;
        useModem(field);
        m_virtual->sim().sm().items().clear();
        m_virtual->sim().me().items().clear();
        m_virtual->sim().phonebook().clear();
        const auto store = [this, count] {
            for (int i = 0; i < count; ++i) {
                const QByteArray hex = deliverPdu(QStringLiteral("Stored message %1 of a long listing on a slow line").arg(i));
                m_virtual->sim().sm().add(sim::StoredMessage{sim::MessageStat::RecRead, hex, sim::tpduLengthOf(hex)});
                m_virtual->sim().phonebook()[i + 1] = sim::PhonebookRecord{
                    QStringLiteral("+3955500%1").arg(i, 3, 10, QLatin1Char('0')), 145, QStringLiteral("Phonebook entry %1").arg(i)};
            }
        };
        if (!afterConnect)
            store();
        PellixGsmModem modem([this](qint32, const ModemProfile &, qint16, qint32) {
            return std::make_unique<sim::VirtualModemTransport>(m_virtual);
        });
        modem.setTracePath(QString());
        modem.Connect(0, 1, QString(), 0, 60, 0);
        if (afterConnect)
            store();
        QElapsedTimer clock;
        clock.start();
        qsizetype listed = 0;
        QCOMPARE(errorOf([&] {
            listed = listing == QLatin1String("messages") ? modem.ReadMessages(0, false).size() : modem.ReadPhonebook(1, count).size();
        }), 0);
        QCOMPARE(listed, qsizetype(count));
        QVERIFY2(clock.elapsed() > 1000, "the answer came faster than the listing deadline: the test shows nothing");
    }
};

QTEST_GUILESS_MAIN(TestModemRestart)
#include "tst_modemrestart.moc"
