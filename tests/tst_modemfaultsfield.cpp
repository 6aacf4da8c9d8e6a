// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemfaultsfixture.h"

class TestModemFaultsField : public ModemFaultsFixture
{
    Q_OBJECT

private Q_SLOTS:
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

    // A client that dies without a Disconnect (kill -9, power loss) cannot restore +CNMI: with
    // store-first, what arrives meanwhile is on the storage, and so is what arrived while it
    // watched; the setting holds through the set-up after a modem restart.
    void storeFirstKeepsWhatArrivesAfterTheClientDies_data()
    {
        QTest::addColumn<bool>("storeFirst");
        QTest::addColumn<bool>("restartFirst");
        QTest::newRow("routed: lost") << false << false;
        QTest::newRow("store-first: kept") << true << false;
        QTest::newRow("store-first after a modem restart: kept") << true << true;
    }

    void storeFirstKeepsWhatArrivesAfterTheClientDies()
    {
        QFETCH(bool, storeFirst);
        QFETCH(bool, restartFirst);
        sim::VirtualModemOptions options;
        options.field.loseRoutedMessages = true;
        options.field.restartSilenceMs = 200;
        m_virtual = std::make_shared<sim::VirtualModem>(options);
        PellixGsmModem modem(factory());
        modem.setTracePath(QString());
        modem.setStoreFirst(storeFirst);
        modem.Connect(-1, 0, QString(), 2, 60, 0);
        modem.DeleteAllMessages();
        QSignalSpy statuses(&modem, &GsmModem::NewStatus);
        QSignalSpy received(&modem, &GsmModem::MessageReceived);
        if (restartFirst) {
            m_virtual->restart();
            QTRY_VERIFY_WITH_TIMEOUT(statuses.count() >= 2 && modem.Status() == GsmModem::Connected, 5000);
        }
        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("while watched"))));
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 2000);
        // The process is gone: the line closes with nothing said to the modem.
        m_transport->setFault(Fault::Unplugged);
        QVERIFY(m_virtual->incomingMessage(deliverPdu(QStringLiteral("while nobody watched"))));

        PellixGsmModem next(factory());
        next.setTracePath(QString());
        next.Connect(-1, 0, QString(), 0, 60, 0);
        QStringList texts;
        for (const ReceivedMessage &m : next.ReadMessages(0, false))
            texts << m.Text;
        QCOMPARE(texts.contains(QStringLiteral("while nobody watched")), storeFirst);
        QCOMPARE(texts.contains(QStringLiteral("while watched")), storeFirst);
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

QTEST_GUILESS_MAIN(TestModemFaultsField)
#include "tst_modemfaultsfield.moc"
