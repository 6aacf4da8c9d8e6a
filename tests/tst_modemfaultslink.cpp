// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemfaultsfixture.h"

class TestModemFaultsLink : public ModemFaultsFixture
{
    Q_OBJECT

private Q_SLOTS:
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
};

QTEST_GUILESS_MAIN(TestModemFaultsLink)
#include "tst_modemfaultslink.moc"
