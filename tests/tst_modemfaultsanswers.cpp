// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemfaultsfixture.h"

class TestModemFaultsAnswers : public ModemFaultsFixture
{
    Q_OBJECT

private Q_SLOTS:
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
        // Every other storage empty too, so that what is read can only come from the refused listing
        // (the test must not lean on a test before it having emptied the shared modem).
        modem->DeleteAllMessages();
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
};

QTEST_GUILESS_MAIN(TestModemFaultsAnswers)
#include "tst_modemfaultsanswers.moc"
