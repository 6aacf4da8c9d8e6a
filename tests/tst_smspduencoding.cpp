// SPDX-License-Identifier: GPL-3.0-or-later
#include "smspdufixture.h"

class TestSmsPduEncoding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void submitEncodingGolden_data()
    {
        QTest::addColumn<QString>("smsc");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<int>("alphabet");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("udh");
        QTest::addColumn<int>("messageClass");
        QTest::addColumn<int>("validity");
        QTest::addColumn<bool>("statusReport");
        QTest::addColumn<QByteArray>("hex");

        const QString russian = QStringLiteral("Да здравствует король, детка!");
        const QString gmt = QStringLiteral("Hi there...Tue 17th Jan 2012 05:30.18 pm (GMT+1) ΔΔΔΔΔ");
        const QString cool = QStringLiteral("This is really cool ΔΔΔΔΔ");
        // ModemManager's PDU creator tests (validity 5 minutes = VP 00).
        QTest::newRow("ModemManager UCS-2 with SMSC")
            << "+19037029920" << "+15555551234" << 16 << russian << QByteArray() << -1 << 5 << false
            << QByteArray("07919130079229F011000B915155551532F40008003A041404300020043704340440043004320441044204320443043504"
                          "420020043A043E0440043E043B044C002C0020043404350442043A04300021");
        QTest::newRow("ModemManager UCS-2 without SMSC")
            << "" << "+15555551234" << 16 << russian << QByteArray() << -1 << 5 << false
            << QByteArray("0011000B915155551532F40008003A041404300020043704340440043004320441044204320443043504"
                          "420020043A043E0440043E043B044C002C0020043404350442043A04300021");
        QTest::newRow("ModemManager GSM with SMSC")
            << "+19037029920" << "+15555551234" << 7 << gmt << QByteArray() << -1 << 5 << false
            << QByteArray("07919130079229F011000B915155551532F400000036C834888E2ECBCB2E978B5A2F8362373A1AA40CBB4132584C"
                          "0682D57433982B8603C1DB20D4B1495DC552200804028100");
        QTest::newRow("ModemManager GSM-3: last septet alone") << "" << "+15556661234" << 7 << cool << QByteArray() << -1 << 5 << false
                                                             << QByteArray("0011000B915155661632F40000001954747A0E4ACF41F27298CDCE83C6EF371B0481402010");
        QTest::newRow("ModemManager GSM without validity: VPF 00")
            << "" << "+15556661234" << 7 << cool << QByteArray() << -1 << -1 << false
            << QByteArray("0001000B915155661632F400001954747A0E4ACF41F27298CDCE83C6EF371B0481402010");
        QTest::newRow("Nordic example, 60 minutes") << "+448888888" << "+358401234567" << 7 << "Testing a sms messaging over lte"
                                                    << QByteArray() << -1 << 60 << false << QByteArray(NordicSubmit);
        // gammu 1.42 EncodePDU (the SMSC field 01 81 it writes for none replaced by 00).
        QTest::newRow("gammu SRR, 4 days") << "" << "+3934811111111" << 7 << "Hello" << QByteArray() << -1 << 4 * 1440 << true
                                          << QByteArray(GammuSubmitSrr4Days);
        QTest::newRow("gammu SMSC, 1 day") << "+31624000000" << "+3934811111111" << 7 << "Hello" << QByteArray() << -1 << 1440
                                          << true << QByteArray("07911326040000F031000D91934318111111F10000A705C8329BFD06");
        QTest::newRow("gammu sendsms wire trace, 3 days") << "+27381000015" << "+3934811111111" << 7 << "Hello" << QByteArray()
                                                         << -1 << 3 * 1440 << true
                                                         << QByteArray("07917283010010F531000D91934318111111F10000A905C8329BFD06");
        QTest::newRow("gammu class 0 is F0") << "" << "+3934811111111" << 7 << "Hello" << QByteArray() << 0 << 63 * 10080
                                            << false << QByteArray(GammuSubmitClass0);
        QTest::newRow("gammu UCS-2") << "" << "+3934811111111" << 16 << "Hello" << QByteArray() << -1 << 63 * 10080 << false
                                    << QByteArray("0011000D91934318111111F10008FF0A00480065006C006C006F");
        QTest::newRow("gammu 8-bit") << "" << "+3934811111111" << 8 << QString::fromLatin1("\x01\x02\xFF") << QByteArray() << -1
                                    << 63 * 10080 << false << QByteArray("0011000D91934318111111F10004FF030102FF");
        QTest::newRow("gammu extension characters, 18 septets")
            << "" << "+3934811111111" << 7 << QStringLiteral("[{€}]~^|\\") << QByteArray() << -1 << 63 * 10080 << false
            << QByteArray("0011000D91934318111111F10000FF121BDE06B5296F521BDFA6B7A16C809B17");
        QTest::newRow("gammu header and fill bit") << "" << "+3934811111111" << 7 << "Hello" << QByteArray::fromHex("050003070302")
                                                  << -1 << 63 * 10080 << false
                                                  << QByteArray("0051000D91934318111111F10000FF0C050003070302906536FB0D");
    }

    void submitEncodingGolden()
    {
        QFETCH(QString, smsc);
        QFETCH(QString, destination);
        QFETCH(int, alphabet);
        QFETCH(QString, text);
        QFETCH(QByteArray, udh);
        QFETCH(int, messageClass);
        QFETCH(int, validity);
        QFETCH(bool, statusReport);
        QFETCH(QByteArray, hex);

        SubmitPdu pdu = submitTo(destination, text, alphabet);
        pdu.smsc = smsc;
        pdu.udh = udh;
        pdu.messageClass = messageClass;
        if (validity >= 0)
            pdu.validityMinutes = validity;
        pdu.statusReportRequest = statusReport;
        const EncodedPdu encoded = encodeSubmit(pdu);
        QCOMPARE(encoded.hex, hex);
        QCOMPARE(encoded.tpduLength, tpduLength(hex));
        // The user data is the tail of the PDU, after TP-UDL.
        QVERIFY(!encoded.userData.isEmpty());
        QVERIFY(encoded.hex.endsWith(hexOf(encoded.userData)));
        QCOMPARE(decodeSubmit(encoded.hex).text, text);
    }

    void nordicLengthForCmgs()
    {
        SubmitPdu pdu = submitTo(QStringLiteral("+358401234567"), QStringLiteral("Testing a sms messaging over lte"));
        pdu.smsc = QStringLiteral("+448888888");
        pdu.validityMinutes = 60;
        QCOMPARE(encodeSubmit(pdu).tpduLength, 42);   // AT+CMGS=42 in the example
    }

    void deliverEncodingGolden()
    {
        // gammu's 'Hi there' deliver: FO 00 (more messages), TZ 00.
        DeliverPdu pdu;
        pdu.smsc.number = QStringLiteral("+27381000015");
        pdu.originator.number = QStringLiteral("+3934811111111");
        pdu.timestamp = iso("2024-01-02T03:04:05Z");
        pdu.text = QStringLiteral("Hi there");
        pdu.moreMessagesToSend = true;
        QCOMPARE(encodeDeliver(pdu), QByteArray("07917283010010F5000D91934318111111F100004210203040500008C834888E2ECBCB"));
    }

    void statusReportEncodingGolden()
    {
        StatusReportPdu pdu;
        pdu.smsc.number = QStringLiteral("+84571265250");
        pdu.messageReference = 54;
        pdu.recipient.number = QStringLiteral("+84294357723");
        pdu.timestamp = iso("2018-07-30T10:18:40+02:00");
        pdu.dischargeTime = iso("2018-07-30T10:18:44+02:00");
        pdu.status = 0;
        QCOMPARE(encodeStatusReport(pdu), QByteArray(GammuStatusReport));
    }

    // --------------------------------------------------------------------------- addresses

    void addressEncoding_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QByteArray>("field");
        // ModemManager address encoder tests.
        QTest::newRow("international") << "+19037029920" << QByteArray("0B919130079229F0");
        QTest::newRow("national/unknown") << "9037029920" << QByteArray("0A810973209902");
        QTest::newRow("star and hash as BCD A and B") << "*100#" << QByteArray("05811A00FB");
        QTest::newRow("20 digits, the most") << "12345678901234567890" << QByteArray("148121436587092143658709");
    }

    void addressEncoding()
    {
        QFETCH(QString, number);
        QFETCH(QByteArray, field);
        const EncodedPdu e = encodeSubmit(submitTo(number, QStringLiteral("x")));
        // SMSC 00, FO, MR, then the destination field.
        QCOMPARE(e.hex.mid(6, field.size()), field);
        QCOMPARE(decodeSubmit(e.hex).destination, number);
    }

    void smscEncoding()
    {
        // ModemManager: the SMSC length counts octets, not digits.
        SubmitPdu pdu = submitTo(QStringLiteral("1"), QStringLiteral("x"));
        pdu.smsc = QStringLiteral("+19037029920");
        QVERIFY(encodeSubmit(pdu).hex.startsWith("07919130079229F0"));
        pdu.smsc = QStringLiteral("9037029920");
        QVERIFY(encodeSubmit(pdu).hex.startsWith("06810973209902"));
        pdu.smsc = QStringLiteral("+49x");
        EXPECT_ERROR(ErrorCode::InvalidPhoneNumber, encodeSubmit(pdu));
    }

    void invalidNumbers_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty") << "" << "empty";
        QTest::newRow("plus alone") << "+" << "no digits";
        QTest::newRow("letter") << "12a4" << "'a' (U+0061) at position 3";
        QTest::newRow("blank") << "+49 170" << "' ' (U+0020) at position 4";
        QTest::newRow("second plus") << "+49+170" << "'+' (U+002B) at position 4";
        QTest::newRow("21 digits") << "123456789012345678901" << "21 digits";
    }

    void invalidNumbers()
    {
        QFETCH(QString, number);
        QFETCH(QString, says);
        const auto e = raisedBy([&] { encodeSubmit(submitTo(number, QStringLiteral("x"))); });
        QVERIFY(e);
        QCOMPARE(e->number(), code(ErrorCode::InvalidPhoneNumber));
        QVERIFY2(e->description().contains(says), qPrintable(e->description()));
    }

    void alphanumericPadding_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QString>("sender");
        // python-gsmmodem test vectors.
        QTest::newRow("abc") << QByteArray("06D061F118") << "abc";
        QTest::newRow("FRANCOIS, 8 septets fill 7 octets") << QByteArray("0ED04669D0397C26A7") << "FRANCOIS";
        QTest::newRow("escape pairs") << QByteArray("14D0E10D6FE3DBA036A94D19") << QStringLiteral("a[]{}€");
        // Seven characters in 7 octets, the length counting whole octets: the 8th septet is padding.
        QTest::newRow("zero padding septet dropped") << QByteArray("0ED0D0329B9DC6C700") << "Pellix1";
        QTest::newRow("CR padding septet dropped") << QByteArray("0ED0D0329B9DC6C71A") << "Pellix1";
        // gammu tests/at-sms/04.dump: "O2" sent with 6 semi-octets; the third septet (0x11) is
        // carried in full, so it is read as the '_' it encodes.
        QTest::newRow("gammu O2 capture: a whole third septet") << QByteArray("06D04F5904") << "O2_";
    }

    void alphanumericPadding()
    {
        QFETCH(QByteArray, field);
        QFETCH(QString, sender);
        const QByteArray hex = "0004" + field + "00004210203040500002C834";
        const DeliverPdu pdu = decodeDeliver(hex);
        QCOMPARE(pdu.originator.number, sender);
        QVERIFY(pdu.originator.isAlphanumeric());
        QCOMPARE(pdu.text, QStringLiteral("Hi"));
    }

    void alphanumericOriginatorRoundTrip()
    {
        DeliverPdu pdu;
        pdu.originator.number = QStringLiteral("Pellix1");
        pdu.originator.typeOfAddress = 0xD0;
        pdu.timestamp = iso("2024-05-06T07:08:09+01:00");
        pdu.text = QStringLiteral("Hi");
        const QByteArray hex = encodeDeliver(pdu);
        QCOMPARE(hex.mid(4, 4), QByteArray("0DD0"));   // 13 useful semi-octets
        QCOMPARE(decodeDeliver(hex).originator.number, QStringLiteral("Pellix1"));
        pdu.originator.number = QStringLiteral("Twelve chars");
        EXPECT_ERROR(ErrorCode::InvalidPhoneNumber, encodeDeliver(pdu));
    }

    // ------------------------------------------------------------------------- boundaries

    void deliverRoundTrip()
    {
        DeliverPdu pdu;
        pdu.smsc.number = QStringLiteral("+27381000015");
        pdu.originator.number = QStringLiteral("0170123");
        pdu.originator.typeOfAddress = 0xA1;   // national
        pdu.protocolId = 0x41;
        pdu.dcs.alphabet = Ucs2;
        pdu.dcs.messageClass = 2;
        pdu.timestamp = iso("2011-02-28T11:50:50-05:00");
        pdu.udh = QByteArray::fromHex("050003100201");
        pdu.text = QStringLiteral("Grüße \U0001F600");
        pdu.statusReportIndication = true;
        pdu.replyPath = true;
        const DeliverPdu back = decodeDeliver(encodeDeliver(pdu));
        QCOMPARE(back.smsc.number, pdu.smsc.number);
        QCOMPARE(back.originator.number, pdu.originator.number);
        QCOMPARE(int(back.originator.typeOfAddress), 0xA1);
        QCOMPARE(int(back.protocolId), 0x41);
        QCOMPARE(int(back.dcs.raw), 0x1A);
        QCOMPARE(back.udh, pdu.udh);
        QCOMPARE(back.text, pdu.text);
        QVERIFY(back.statusReportIndication);
        QVERIFY(back.replyPath);
        QVERIFY(!back.moreMessagesToSend);
        compareTime(back.timestamp, pdu.timestamp);

        // A message-waiting coding given raw survives when it agrees with the alphabet.
        pdu.dcs = decodeDataCoding(0xC8);
        pdu.udh.clear();
        pdu.text = QStringLiteral("1 new voicemail");
        QCOMPARE(int(decodeDeliver(encodeDeliver(pdu)).dcs.raw), 0xC8);
    }

    void describedFields()
    {
        const QList<PduField> fields = describePdu(MmUdhi);
        QStringList names;
        for (const auto &f : fields)
            names << f.name;
        QCOMPARE(names, (QStringList{"SMSC length", "SMSC TOA", "SMSC number", "First octet", "TP-OA length", "TP-OA TOA",
                                     "TP-OA number", "TP-PID", "TP-DCS", "TP-SCTS", "TP-UDL", "UDH length", "UDH IE 0x08",
                                     "TP-UD"}));
        QCOMPARE(fields[11].raw, QByteArray("06"));
        QCOMPARE(fields[12].raw, QByteArray("080400100201"));
        QVERIFY(fields[12].meaning.contains(QLatin1String("reference 16, part 1 of 2")));
        QVERIFY(fields[3].meaning.contains(QLatin1String("TP-UDHI 1")));
        QVERIFY(fields[9].meaning.contains(QLatin1String("2011-06-29T23:32:19+02:00")));
        const QList<PduField> tail = describePdu(QByteArray(GammuSubmitSrr4Days) + "ABCD");
        QCOMPARE(tail.last().name, QStringLiteral("Trailing"));
        QCOMPARE(tail.last().raw, QByteArray("ABCD"));
    }
};

QTEST_APPLESS_MAIN(TestSmsPduEncoding)
#include "tst_smspduencoding.moc"
