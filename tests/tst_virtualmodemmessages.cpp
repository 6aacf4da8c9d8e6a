// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodemfixture.h"

class TestVirtualModemMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageReferencesCount();
    void ownNumberComesBack_data();
    void ownNumberComesBack();
    void readingMarksRead();
    void deleteFlags_data();
    void deleteFlags();
    void statusReportRouting_data();
    void statusReportRouting();
    void deliveryOutcomes_data();
    void deliveryOutcomes();
    void storageFullHoldsIncoming();
    void codesWaitWhileTyping();
    void cnmiModeZeroBuffers_data();
    void cnmiModeZeroBuffers();
    void acknowledgement();
    void sendFromStorage();
};

void TestVirtualModemMessages::messageReferencesCount()
{
    Rig rig;
    // With echo on, the PDU characters come back as typed (27.005 3.5.1).
    QCOMPARE(rig.raw("AT+CMGS=20\r"), QByteArray("AT+CMGS=20\r\r\n> "));
    QCOMPARE(rig.raw("0011000D91934318111111F10000FF05C8329BFD06\x1A"),
             QByteArray("0011000D91934318111111F10000FF05C8329BFD06\r\n+CMGS: 1\r\n\r\nOK\r\n"));
    rig.plain();
    // The modem numbers messages itself: the reference in the PDU (here 0x77) is not used, and a
    // cancelled message takes no number.
    QCOMPARE(rig.sendReference("0011770D91934318111111F10000FF05C8329BFD06"), 2);
    rig.raw("AT+CMGS=20\r");
    QCOMPARE(linesOf(rig.raw("00\x1B")), QList<QByteArray>{"OK"});
    QCOMPARE(rig.sendReference(submitPdu("+393470001234", "x")), 3);
    for (int i = 4; i <= 255; ++i)
        rig.sendReference(submitPdu("+393470001234", "x"));
    QCOMPARE(rig.sendReference(submitPdu("+393470001234", "x")), 1);
}

void TestVirtualModemMessages::ownNumberComesBack_data()
{
    QTest::addColumn<QByteArray>("cnmi");
    QTest::addColumn<QString>("indication");  // "+CMT", "+CMTI" or empty
    QTest::addColumn<int>("messageClass");
    QTest::newRow("routed (mt 2)") << QByteArray("2,2,0,0,0") << QStringLiteral("+CMT") << -1;
    QTest::newRow("stored and indicated (mt 1)") << QByteArray("2,1,0,0,0") << QStringLiteral("+CMTI") << -1;
    QTest::newRow("stored silently (mt 0)") << QByteArray("2,0,0,0,0") << QString() << -1;
    QTest::newRow("class 2 is stored even with mt 2") << QByteArray("2,2,0,0,0") << QStringLiteral("+CMTI") << 2;
    QTest::newRow("class 3 routed with mt 3") << QByteArray("2,3,0,0,0") << QStringLiteral("+CMT") << 3;
    QTest::newRow("other classes stored with mt 3") << QByteArray("2,3,0,0,0") << QStringLiteral("+CMTI") << 1;
}

void TestVirtualModemMessages::ownNumberComesBack()
{
    QFETCH(QByteArray, cnmi);
    QFETCH(QString, indication);
    QFETCH(int, messageClass);
    Rig rig;
    rig.plain();
    QCOMPARE(rig.at("AT+CNMI=" + cnmi), QList<QByteArray>{"OK"});
    const QString text = QStringLiteral("Grüße €");
    QVERIFY(rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), text, false, pdu::Ucs2, messageClass)) > 0);
    QCOMPARE(rig.advance(999), QList<QByteArray>{});
    const QList<QByteArray> arrived = rig.advance(1);

    QByteArray hex;
    if (indication == QLatin1String("+CMT")) {
        QCOMPARE(arrived.size(), 2);
        QVERIFY(arrived.at(0).startsWith("+CMT: ,"));
        hex = arrived.at(1);
        QCOMPARE(arrived.at(0).mid(7).toInt(), tpduLength(hex));
        // Routed, not stored.
        QCOMPARE(rig.at("AT+CPMS?").value(0), QByteArray("+CPMS: \"SM\",8,50,\"SM\",8,50,\"SM\",8,50"));
    } else {
        QCOMPARE(arrived, indication.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{"+CMTI: \"SM\",9"});
        const QList<QByteArray> read = rig.at("AT+CMGR=9");
        QCOMPARE(read.size(), 3);
        QCOMPARE(read.at(0), "+CMGR: 0,," + QByteArray::number(tpduLength(read.at(1))));
        hex = read.at(1);
    }
    const pdu::DeliverPdu deliver = pdu::decodeDeliver(hex);
    QCOMPARE(deliver.originator.number, QStringLiteral("+3934811111111"));
    QCOMPARE(deliver.text, text);
    QCOMPARE(deliver.dcs.messageClass, messageClass);
    QCOMPARE(deliver.smsc.number, QStringLiteral("+3934800000001"));
    // The centre's time stamp is the time it took the message, with the clock's zone.
    QCOMPARE(deliver.timestamp, ManualClock::defaultStart());
    QCOMPARE(deliver.timestamp.offsetFromUtc(), 7200);
}

void TestVirtualModemMessages::readingMarksRead()
{
    Rig rig;
    rig.plain();
    // 27.005 3.4.2/3.4.3: listing or reading a received unread message makes it read.
    QList<QByteArray> unread = rig.at("AT+CMGL=0");
    QCOMPARE(unread.size(), 2 * 6 + 1);  // 6 unread items (one with its PDU line each) and OK
    QCOMPARE(rig.at("AT+CMGL=0"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CMGL=1").size(), 2 * 8 + 1);
    QCOMPARE(rig.at("AT+CMGL=4").size(), 2 * 8 + 1);
}

void TestVirtualModemMessages::deleteFlags_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("left");  // +CPMS used counts after it
    // Starting SIM: 2 read and 6 unread received items; two stored unsent/sent are added below.
    QTest::newRow("one index") << QByteArray("AT+CMGD=1") << QByteArray("9,50");
    QTest::newRow("flag 1 deletes the read") << QByteArray("AT+CMGD=1,1") << QByteArray("8,50");
    QTest::newRow("flag 2 also the sent") << QByteArray("AT+CMGD=1,2") << QByteArray("7,50");
    QTest::newRow("flag 3 also the unsent") << QByteArray("AT+CMGD=1,3") << QByteArray("6,50");
    QTest::newRow("flag 4 deletes everything") << QByteArray("AT+CMGD=1,4") << QByteArray("0,50");
    QTest::newRow("flag out of range") << QByteArray("AT+CMGD=1,5") << QByteArray("10,50");
}

void TestVirtualModemMessages::deleteFlags()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, left);
    Rig rig;
    rig.plain();
    const QByteArray pdu = "0011000D91934318111111F10000FF05C8329BFD06";
    rig.raw("AT+CMGW=20,2\r");
    QCOMPARE(linesOf(rig.raw(pdu + '\x1A')), (QList<QByteArray>{"+CMGW: 9", "OK"}));
    rig.raw("AT+CMGW=20,3\r");
    QCOMPARE(linesOf(rig.raw(pdu + '\x1A')), (QList<QByteArray>{"+CMGW: 10", "OK"}));
    rig.at(command);
    QVERIFY(rig.at("AT+CPMS?").value(0).startsWith("+CPMS: \"SM\"," + left + ','));
}

void TestVirtualModemMessages::statusReportRouting_data()
{
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<QByteArray>("cnmi");
    QTest::addColumn<QByteArray>("indication");  // expected first line, or empty
    QTest::addColumn<QByteArray>("storage");     // where the report is then found, or empty
    QTest::newRow("routed (ds 1)") << QByteArray() << QByteArray("2,0,0,1,0") << QByteArray("+CDS: ") << QByteArray();
    QTest::newRow("stored on SM (ds 2)") << QByteArray() << QByteArray("2,0,0,2,0") << QByteArray("+CDSI: \"SM\",9")
                                         << QByteArray("SM");
    QTest::newRow("stored in SR once chosen") << QByteArray("AT+CPMS=\"SR\"") << QByteArray("2,0,0,2,0")
                                              << QByteArray("+CDSI: \"SR\",1") << QByteArray("SR");
    QTest::newRow("stored silently (ds 0)") << QByteArray() << QByteArray("2,0,0,0,0") << QByteArray() << QByteArray("SM");
}

void TestVirtualModemMessages::statusReportRouting()
{
    QFETCH(QByteArray, setup);
    QFETCH(QByteArray, cnmi);
    QFETCH(QByteArray, indication);
    QFETCH(QByteArray, storage);
    Rig rig;
    rig.plain();
    rig.at("AT+CMGL=4");  // the starting SIM's unread items become read
    if (!setup.isEmpty())
        rig.at(setup);
    rig.at("AT+CNMI=" + cnmi);
    const int reference = rig.sendReference(submitPdu(QStringLiteral("+393470001234"), QStringLiteral("hi"), true));
    QVERIFY(reference > 0);
    QCOMPARE(rig.advance(1999), QList<QByteArray>{});
    const QList<QByteArray> arrived = rig.advance(1);
    QByteArray hex;
    if (indication.isEmpty()) {
        QCOMPARE(arrived, QList<QByteArray>{});
    } else if (indication.startsWith("+CDS: ")) {
        QCOMPARE(arrived.size(), 2);
        hex = arrived.at(1);
        QCOMPARE(arrived.at(0), "+CDS: " + QByteArray::number(tpduLength(hex)));
    } else {
        QCOMPARE(arrived, QList<QByteArray>{indication});
    }
    if (!storage.isEmpty()) {
        rig.at("AT+CPMS=\"" + storage + '"');
        const QList<QByteArray> listed = rig.at("AT+CMGL=0");
        QCOMPARE(listed.size(), 3);
        hex = listed.at(1);
    }
    const pdu::StatusReportPdu report = pdu::decodeStatusReport(hex);
    QCOMPARE(int(report.messageReference), reference);
    QCOMPARE(report.recipient.number, QStringLiteral("+393470001234"));
    QCOMPARE(int(report.status), 0);
    QCOMPARE(report.timestamp, ManualClock::defaultStart());
    QCOMPARE(report.dischargeTime, ManualClock::defaultStart().addSecs(2));
}

void TestVirtualModemMessages::deliveryOutcomes_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QList<int>>("seconds");
    QTest::addColumn<QList<int>>("statuses");
    QTest::newRow("delivered") << QStringLiteral("+393470001234") << QList<int>{2} << QList<int>{0x00};
    QTest::newRow("national number delivered") << QStringLiteral("3470001234") << QList<int>{2} << QList<int>{0x00};
    QTest::newRow("666 fails for good") << QStringLiteral("+393470000666") << QList<int>{2} << QList<int>{0x41};
    QTest::newRow("999 busy, then delivered") << QStringLiteral("+393470000999") << QList<int>{2, 6}
                                             << QList<int>{0x21, 0x00};
    QTest::newRow("888 never answers") << QStringLiteral("+393470000888") << QList<int>{2} << QList<int>{0x62};
    QTest::newRow("own number after the message") << QStringLiteral("+3934811111111") << QList<int>{2}
                                                 << QList<int>{0x00};
}

void TestVirtualModemMessages::deliveryOutcomes()
{
    QFETCH(QString, number);
    QFETCH(QList<int>, seconds);
    QFETCH(QList<int>, statuses);
    Rig rig;
    rig.plain();
    rig.at("AT+CNMI=2,1,0,1,0");
    const int reference = rig.sendReference(submitPdu(number, QStringLiteral("report please"), true));
    QList<int> when;
    QList<int> seen;
    const auto lines = rig.collect(10000);
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines.at(i).second.startsWith("+CDS: "))
            continue;
        const pdu::StatusReportPdu report = pdu::decodeStatusReport(lines.value(i + 1).second);
        QCOMPARE(int(report.messageReference), reference);
        QCOMPARE(report.recipient.number, number);
        when << int(lines.at(i).first / 1000);
        seen << report.status;
    }
    QCOMPARE(when, seconds);
    QCOMPARE(seen, statuses);
}

void TestVirtualModemMessages::storageFullHoldsIncoming()
{
    Rig rig;
    rig.plain();
    rig.at("AT+CNMI=2,1,0,2,0");
    const QByteArray stored = "0011000D91934318111111F10000FF05C8329BFD06";
    for (int i = 9; i <= 50; ++i) {
        rig.raw("AT+CMGW=20\r");
        QCOMPARE(linesOf(rig.raw(stored + '\x1A')), (QList<QByteArray>{"+CMGW: " + QByteArray::number(i), "OK"}));
    }
    QCOMPARE(rig.at("AT+CMGW=20"), QList<QByteArray>{"+CMS ERROR: 322"});
    // Sending needs no storage; the message that comes back and its report wait in the centre.
    QVERIFY(rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("back"), true)) > 0);
    QCOMPARE(rig.advance(10000), QList<QByteArray>{});
    // The freed place takes the message at once, its indication after the OK; the report
    // follows once there is room again.
    QCOMPARE(rig.at("AT+CMGD=17"), (QList<QByteArray>{"OK", "+CMTI: \"SM\",17"}));
    QCOMPARE(rig.advance(5000), QList<QByteArray>{});
    QCOMPARE(rig.at("AT+CMGD=18"), (QList<QByteArray>{"OK", "+CDSI: \"SM\",18"}));
    QCOMPARE(pdu::decodeDeliver(rig.at("AT+CMGR=17").value(1)).text, QStringLiteral("back"));
    QCOMPARE(int(pdu::decodeStatusReport(rig.at("AT+CMGR=18").value(1)).status), 0);
}

void TestVirtualModemMessages::codesWaitWhileTyping()
{
    Rig rig;
    rig.plain();
    rig.at("AT+CNMI=2,1,0,0,0");
    rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("x")));
    QCOMPARE(rig.raw("AT+CS"), QByteArray());
    // The indication falls due while the client is half-way through its line.
    QCOMPARE(rig.advance(1000), QList<QByteArray>{});
    const QList<QByteArray> answer = linesOf(rig.raw("Q\r"));
    QCOMPARE(answer.size(), 3);
    QVERIFY(answer.at(0).startsWith("+CSQ: "));
    QCOMPARE(answer.at(1), QByteArray("OK"));
    QCOMPARE(answer.at(2), QByteArray("+CMTI: \"SM\",9"));

    // Same during the PDU prompt: nothing comes between the prompt and the answer.
    Rig prompt;
    prompt.plain();
    prompt.at("AT+CNMI=2,1,0,0,0");
    prompt.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("x")));
    QCOMPARE(prompt.raw("AT+CMGS=20\r"), QByteArray("\r\n> "));
    QCOMPARE(prompt.advance(5000), QList<QByteArray>{});
    QCOMPARE(linesOf(prompt.raw("0011000D91934318111111F10000FF05C8329BFD06\x1A")),
             (QList<QByteArray>{"+CMGS: 2", "OK", "+CMTI: \"SM\",9"}));
    // A client that stopped typing does not hold them back for ever.
    Rig stalled;
    stalled.plain();
    stalled.raw("AT+CG");
    stalled.modem.incomingCall(QStringLiteral("+39111"));
    QCOMPARE(stalled.advance(0), QList<QByteArray>{});
    QCOMPARE(stalled.advance(2500), QList<QByteArray>{"RING"});
}

void TestVirtualModemMessages::cnmiModeZeroBuffers_data()
{
    QTest::addColumn<QByteArray>("then");
    QTest::addColumn<QByteArrayList>("answer");
    using L = QByteArrayList;
    QTest::newRow("flushed after OK") << QByteArray("AT+CNMI=2,1,0,0,0") << L{"OK", "+CMTI: \"SM\",9"};
    QTest::newRow("cleared") << QByteArray("AT+CNMI=2,1,0,0,1") << L{"OK"};
}

void TestVirtualModemMessages::cnmiModeZeroBuffers()
{
    QFETCH(QByteArray, then);
    QFETCH(QByteArrayList, answer);
    Rig rig;
    rig.plain();
    // Mode 0 buffers in the modem; a message meant to be routed is stored instead, so that
    // clearing the buffer loses no message.
    rig.at("AT+CNMI=0,2,0,0,0");
    rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("x")));
    QCOMPARE(rig.advance(2000), QList<QByteArray>{});
    QCOMPARE(rig.at(then), answer);
    QCOMPARE(rig.at("AT+CPMS?").value(0), QByteArray("+CPMS: \"SM\",9,50,\"SM\",9,50,\"SM\",9,50"));
}

void TestVirtualModemMessages::acknowledgement()
{
    Rig rig;
    rig.plain();
    rig.at("AT+CSMS=1");
    rig.at("AT+CNMI=2,2,0,1,0");
    rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("one")));
    rig.sendReference(submitPdu(QStringLiteral("+3934811111111"), QStringLiteral("two")));
    QList<QByteArray> lines = rig.advance(1000);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(pdu::decodeDeliver(lines.at(1)).text, QStringLiteral("one"));
    // 27.005 3.4.4: no second +CMT before the first is acknowledged.
    QCOMPARE(rig.advance(3000), QList<QByteArray>{});
    lines = rig.at("AT+CNMA");
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QByteArray("OK"));
    QCOMPARE(pdu::decodeDeliver(lines.at(2)).text, QStringLiteral("two"));
    // Left unacknowledged, routing is switched off and the message goes to the storage.
    QCOMPARE(rig.advance(14999), QList<QByteArray>{});
    QCOMPARE(rig.advance(1), QList<QByteArray>{});
    QCOMPARE(rig.at("AT+CNMI?").value(0), QByteArray("+CNMI: 2,0,0,0,0"));
    QCOMPARE(pdu::decodeDeliver(rig.at("AT+CMGR=9").value(1)).text, QStringLiteral("two"));
    QCOMPARE(rig.at("AT+CNMA"), QList<QByteArray>{"+CMS ERROR: 340"});
}

void TestVirtualModemMessages::sendFromStorage()
{
    Rig rig;
    rig.plain();
    rig.at("AT+CNMI=2,1,0,2,0");
    rig.raw("AT+CMGW=20\r");
    QCOMPARE(linesOf(rig.raw("0011000D91934318111111F10000FF05C8329BFD06\x1A")), (QList<QByteArray>{"+CMGW: 9", "OK"}));
    QCOMPARE(rig.at("AT+CMGL=2").value(0), QByteArray("+CMGL: 9,2,,20"));
    QCOMPARE(rig.at("AT+CMSS=9"), (QList<QByteArray>{"+CMSS: 1", "OK"}));
    QCOMPARE(rig.at("AT+CMGL=3").value(0), QByteArray("+CMGL: 9,3,,20"));
    // Stored to the own number, so it comes back.
    QCOMPARE(rig.advance(1000), QList<QByteArray>{"+CMTI: \"SM\",10"});
    // Sent again to another destination, with the stored message left as it is.
    QCOMPARE(rig.at("AT+CMSS=9,\"+393470001234\",145"), (QList<QByteArray>{"+CMSS: 2", "OK"}));
    QCOMPARE(rig.advance(5000), QList<QByteArray>{});
    QCOMPARE(rig.at("AT+CMSS=30"), QList<QByteArray>{"+CMS ERROR: 321"});
    // A received message is not sent.
    QCOMPARE(rig.at("AT+CMSS=1"), QList<QByteArray>{"+CMS ERROR: 302"});
}

QTEST_GUILESS_MAIN(TestVirtualModemMessages)
#include "tst_virtualmodemmessages.moc"
