// SPDX-License-Identifier: GPL-3.0-or-later
#include "smspdufixture.h"

class TestSmsPduDecoding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deliverGolden_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("smsc");
        QTest::addColumn<QString>("originator");
        QTest::addColumn<int>("toa");
        QTest::addColumn<int>("pid");
        QTest::addColumn<int>("dcs");
        QTest::addColumn<int>("alphabet");
        QTest::addColumn<int>("messageClass");
        QTest::addColumn<QDateTime>("timestamp");
        QTest::addColumn<QByteArray>("udh");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("moreMessages");

        // SMSC 07 91 +27381000015 | FO 04 | OA 0B C8 (subscriber, national) | PID 00 | DCS 00 |
        // SCTS 99-03-29 15:16:59 +08 quarters | UDL 0A septets.
        QTest::newRow("dreamfabric hellohello, year 99 is 1999")
            << QByteArray(DreamfabricDeliver) << "+27381000015" << "27838890001" << 0xC8 << 0 << 0x00 << 7 << -1
            << iso("1999-03-29T15:16:59+02:00") << QByteArray() << "hellohello" << false;
        // TZ octet 0A: sign bit set, 20 quarters. 106 septets with six escape pairs.
        QTest::newRow("ModemManager pdu1: extension characters, UTC-5")
            << QByteArray(MmPdu1) << "+12404492164" << "+16175927198" << 0x91 << 0 << 0x00 << 7 << -1
            << iso("2011-02-28T11:50:50-05:00") << QByteArray() << MmPdu1Text << false;
        // OA 14 D0: 20 semi-octets of packed GSM 7-bit; DCS 08 UCS-2; TZ 61 = +16 quarters.
        QTest::newRow("ModemManager pdu2: alphanumeric sender, UCS-2")
            << QByteArray(MmPdu2) << "+79037011111" << "InternetSMS" << 0xD0 << 0 << 0x08 << 16 << -1
            << iso("2011-03-29T19:20:04+04:00") << QByteArray() << QStringLiteral("тест") << false;
        QTest::newRow("ModemManager pdu3: international, UTC")
            << QByteArray(MmPdu3) << "+12345678901" << "+18005551212" << 0x91 << 0 << 0x00 << 7 << -1
            << iso("2011-01-01T12:34:56Z") << QByteArray() << "hellohello" << false;
        QTest::newRow("ModemManager pdu3-natl: TOA 81, no plus")
            << QByteArray("07912143658709F1040B818100551512F20000111010214365000AE8329BFD4697D9EC37") << "+12345678901"
            << "18005551212" << 0x81 << 0 << 0x00 << 7 << -1 << iso("2011-01-01T12:34:56Z") << QByteArray() << "hellohello"
            << false;
        QTest::newRow("ModemManager pdu3-mms: FO 00, more messages waiting")
            << QByteArray("07912143658709F1000B918100551512F20000111010214365000AE8329BFD4697D9EC37") << "+12345678901"
            << "+18005551212" << 0x91 << 0 << 0x00 << 7 << -1 << iso("2011-01-01T12:34:56Z") << QByteArray() << "hellohello"
            << true;
        QTest::newRow("ModemManager pdu3-nzpid: PID FF")
            << QByteArray("07912143658709F1040B918100551512F2FF00111010214365000AE8329BFD4697D9EC37") << "+12345678901"
            << "+18005551212" << 0x91 << 0xFF << 0x00 << 7 << -1 << iso("2011-01-01T12:34:56Z") << QByteArray()
            << "hellohello" << false;
        QTest::newRow("ModemManager pdu3-8bit: octets as Latin-1 characters")
            << QByteArray("07912143658709F1040B918100551512F20004111010214365000AE8329BFD4697D9EC37DE") << "+12345678901"
            << "+18005551212" << 0x91 << 0 << 0x04 << 8 << -1 << iso("2011-01-01T12:34:56Z") << QByteArray()
            << QString::fromLatin1(QByteArray::fromHex("E8329BFD4697D9EC37DE")) << false;
        QTest::newRow("ModemManager dcs-f-8bit: group 1111, 8-bit, class 0")
            << QByteArray("07912143658709F1040B918100551512F200F4111010214365000AE8329BFD4697D9EC37DE") << "+12345678901"
            << "+18005551212" << 0x91 << 0 << 0xF4 << 8 << 0 << iso("2011-01-01T12:34:56Z") << QByteArray()
            << QString::fromLatin1(QByteArray::fromHex("E8329BFD4697D9EC37DE")) << false;
        // OA 04 85 "1800"; DCS F1: group 1111, 7-bit, class 1; UDL A0 = the full 160 septets.
        QTest::newRow("ModemManager dcsf1: class 1, 160 septets")
            << QByteArray(MmDcsF1) << "+33609001390" << "1800" << 0x85 << 0 << 0xF1 << 7 << 1
            << iso("2011-06-24T13:08:15+02:00") << QByteArray() << MmDcsF1Text << false;
        // FO 40 (UDHI, more messages), PID 39; UDH 06 | 08 04 0010 02 01: 16-bit reference 16,
        // part 1 of 2; 7 header octets take 8 septets with no fill.
        QTest::newRow("ModemManager KPN welcome: 16-bit concatenation, PID 39")
            << QByteArray(MmUdhi) << "+31653131316" << "1002" << 0x85 << 0x39 << 0x00 << 7 << -1
            << iso("2011-06-29T23:32:19+02:00") << QByteArray::fromHex("06080400100201") << MmUdhiText << true;
        // UDH 05 | 00 03 4C 02 01, then one fill bit that this sender set to 1.
        QTest::newRow("ModemManager multipart 1/2: 8-bit concatenation, UTC-4")
            << QByteArray(MmMultipart1) << "+12063130025" << "+16175046925" << 0x91 << 0 << 0x00 << 7 << -1
            << iso("2012-04-25T19:56:50-04:00") << QByteArray::fromHex("0500034C0201") << MmMultipartText << false;
        // gammu 1.42 EncodePDU Deliver: FO 00, TZ octet always 00.
        QTest::newRow("gammu deliver 'Hi there'")
            << QByteArray("07917283010010F5000D91934318111111F100004210203040500008C834888E2ECBCB") << "+27381000015"
            << "+3934811111111" << 0x91 << 0 << 0x00 << 7 << -1 << iso("2024-01-02T03:04:05Z") << QByteArray() << "Hi there"
            << true;
    }

    void deliverGolden()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, smsc);
        QFETCH(QString, originator);
        QFETCH(int, toa);
        QFETCH(int, pid);
        QFETCH(int, dcs);
        QFETCH(int, alphabet);
        QFETCH(int, messageClass);
        QFETCH(QDateTime, timestamp);
        QFETCH(QByteArray, udh);
        QFETCH(QString, text);
        QFETCH(bool, moreMessages);

        QCOMPARE(pduType(hex), PduType::Deliver);
        const DeliverPdu pdu = decodeDeliver(hex);
        QCOMPARE(pdu.smsc.number, smsc);
        QCOMPARE(pdu.originator.number, originator);
        QCOMPARE(int(pdu.originator.typeOfAddress), toa);
        QCOMPARE(int(pdu.protocolId), pid);
        QCOMPARE(int(pdu.dcs.raw), dcs);
        QCOMPARE(pdu.dcs.alphabet, alphabet);
        QCOMPARE(pdu.dcs.messageClass, messageClass);
        compareTime(pdu.timestamp, timestamp);
        QCOMPARE(hexOf(pdu.udh), hexOf(udh));
        QCOMPARE(pdu.text, text);
        QCOMPARE(pdu.moreMessagesToSend, moreMessages);
        QVERIFY(pdu.userData.startsWith(udh));

        // The same TPDU without its SMSC field.
        const int smscChars = 2 + 2 * QByteArray::fromHex(hex.left(2)).at(0);
        const DeliverPdu bare = decodeDeliver(hex.mid(smscChars), false);
        QCOMPARE(bare.text, text);
        QVERIFY(bare.smsc.number.isEmpty());
        QCOMPARE(tpduLength(hex), (hex.size() - smscChars) / 2);
    }

    void submitGolden_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("smsc");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<bool>("statusReport");
        QTest::addColumn<int>("validity");
        QTest::addColumn<int>("alphabet");
        QTest::addColumn<int>("messageClass");
        QTest::addColumn<QByteArray>("udh");
        QTest::addColumn<QString>("text");

        // SMSC 06 91 +448888888 | FO 11 (VPF relative) | MR 00 | DA 0C 91 | DCS 00 | VP 0B = 60 min | UDL 20.
        QTest::newRow("Nordic AT+CMGS example") << QByteArray(NordicSubmit) << "+448888888" << "+358401234567" << false << 60
                                                << 7 << -1 << QByteArray() << "Testing a sms messaging over lte";
        // FO 21: SRR, VPF 00 (no TP-VP); DA 09 81 national; DCS 08; UDL 22 = 17 UCS-2 characters.
        QTest::newRow("ModemManager stored-by-us: no validity, UCS-2")
            << QByteArray(MmStoredSubmit) << "" << "639337937" << true << -1 << 16 << -1 << QByteArray()
            << QStringLiteral("你好你好你好你好你好你好你好你好你");
        QTest::newRow("gammu SRR, VP AA = 4 days") << QByteArray(GammuSubmitSrr4Days) << "" << "+3934811111111" << true << 5760
                                                  << 7 << -1 << QByteArray() << "Hello";
        QTest::newRow("gammu class 0, VP FF = 63 weeks") << QByteArray(GammuSubmitClass0) << "" << "+3934811111111" << false
                                                        << 63 * 7 * 1440 << 7 << 0 << QByteArray() << "Hello";
        // gammu writes an empty SMSC as 01 81: a TOA and no digits.
        QTest::newRow("gammu concatenation header, SMSC 0181")
            << QByteArray(GammuSubmitConcat) << "" << "+3934811111111" << false << 63 * 7 * 1440 << 7 << -1
            << QByteArray::fromHex("050003070302") << "Hello";
    }

    void submitGolden()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, smsc);
        QFETCH(QString, destination);
        QFETCH(bool, statusReport);
        QFETCH(int, validity);
        QFETCH(int, alphabet);
        QFETCH(int, messageClass);
        QFETCH(QByteArray, udh);
        QFETCH(QString, text);

        QCOMPARE(pduType(hex), PduType::Submit);
        const SubmitPdu pdu = decodeSubmit(hex);
        QCOMPARE(pdu.smsc, smsc);
        QCOMPARE(pdu.destination, destination);
        QCOMPARE(pdu.statusReportRequest, statusReport);
        QCOMPARE(pdu.validityMinutes.value_or(-1), validity);
        QCOMPARE(pdu.alphabet, alphabet);
        QCOMPARE(pdu.messageClass, messageClass);
        QCOMPARE(hexOf(pdu.udh), hexOf(udh));
        QCOMPARE(pdu.text, text);
    }

    void statusReportGolden_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("smsc");
        QTest::addColumn<int>("reference");
        QTest::addColumn<QString>("recipient");
        QTest::addColumn<QDateTime>("timestamp");
        QTest::addColumn<QDateTime>("discharge");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("statusText");

        // FO 06 | MR 36 | RA 0B 91 | SCTS | DT | ST 00, no TP-PI.
        QTest::newRow("gammu smsd-incoming-cds: delivered")
            << QByteArray(GammuStatusReport) << "+84571265250" << 54 << "+84294357723" << iso("2018-07-30T10:18:40+02:00")
            << iso("2018-07-30T10:18:44+02:00") << 0 << "Short message received by the SME";
        QTest::newRow("ModemManager pdu-not-stored: SC-specific status 30")
            << QByteArray(MmStatusReport) << "+34656000311" << 90 << "639337937" << iso("2012-09-11T07:40:36+02:00")
            << iso("2012-09-11T07:40:36+02:00") << 0x30 << "SC specific (temporary error, SC still trying)";
    }

    void statusReportGolden()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, smsc);
        QFETCH(int, reference);
        QFETCH(QString, recipient);
        QFETCH(QDateTime, timestamp);
        QFETCH(QDateTime, discharge);
        QFETCH(int, status);
        QFETCH(QString, statusText);

        QCOMPARE(pduType(hex), PduType::StatusReport);
        const StatusReportPdu pdu = decodeStatusReport(hex);
        QCOMPARE(pdu.smsc.number, smsc);
        QCOMPARE(int(pdu.messageReference), reference);
        QCOMPARE(pdu.recipient.number, recipient);
        compareTime(pdu.timestamp, timestamp);
        compareTime(pdu.dischargeTime, discharge);
        QCOMPARE(int(pdu.status), status);
        QCOMPARE(pdu.statusText, statusText);
        QVERIFY(!pdu.fromCommand);
    }

    // Every cut of a valid PDU, mid-octet cuts included, is refused as malformed, never read past.
    void truncatedPrefixes_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("type");
        const std::pair<const char *, const char *> golden[] = {
            {"dreamfabric deliver", DreamfabricDeliver}, {"ModemManager pdu1", MmPdu1},
            {"ModemManager pdu2", MmPdu2},               {"ModemManager dcsf1", MmDcsF1},
            {"ModemManager KPN UDH", MmUdhi},            {"ModemManager multipart", MmMultipart1},
            {"Nordic submit", NordicSubmit},             {"ModemManager submit", MmStoredSubmit},
            {"gammu submit SRR", GammuSubmitSrr4Days},   {"gammu submit UDH", GammuSubmitConcat},
            {"gammu status report", GammuStatusReport},  {"ModemManager status report", MmStatusReport},
        };
        for (const auto &[name, hex] : golden) {
            const QByteArray h(hex);
            QTest::newRow(name) << h << int(pduType(h));
        }
    }

    void truncatedPrefixes()
    {
        QFETCH(QByteArray, hex);
        QFETCH(int, type);
        for (qsizetype cut = 0; cut < hex.size(); ++cut) {
            const QByteArray prefix = hex.left(cut);
            const auto e = raisedBy([&] {
                switch (PduType(type)) {
                case PduType::Deliver: decodeDeliver(prefix); break;
                case PduType::Submit: decodeSubmit(prefix); break;
                case PduType::StatusReport: decodeStatusReport(prefix); break;
                }
            });
            QVERIFY2(e, qPrintable(QStringLiteral("a prefix of %1 hex digits decoded").arg(cut)));
            QVERIFY2(e->number() == code(ErrorCode::MalformedPdu), qPrintable(e->description()));
            QVERIFY(raisedBy([&] { describePdu(prefix); }));
        }
    }

    void truncationIsExplained()
    {
        const QByteArray cut = QByteArray(DreamfabricDeliver).left(60);
        const auto e = raisedBy([&] { decodeDeliver(cut); });
        QVERIFY(e);
        QVERIFY2(e->description().contains(QLatin1String("TP-UD needs 9 octets at octet 27")), qPrintable(e->description()));
    }

    void malformedInput_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("says");
        QTest::newRow("empty") << QByteArray() << "empty";
        QTest::newRow("odd length") << QByteArray("0011000") << "odd number of hex digits";
        QTest::newRow("not hex") << QByteArray("00G1") << "'G' at position 3";
        QTest::newRow("blank inside") << QByteArray("00 11") << "' ' at position 3";
        QTest::newRow("reserved TP-MTI 3") << QByteArray("0003") << "not an SMS-DELIVER";
        QTest::newRow("SMSC length beyond 11 octets") << QByteArray("0C91") + QByteArray(22, '1') + "04" << "SMSC length";
        QTest::newRow("address of 21 semi-octets") << QByteArray("0004159111111111111111111111") << "at most 20";
        QTest::newRow("7-bit TP-UDL above 160") << QByteArray("0004039121F3000099209251619580") + "A1" + QByteArray(282, '0')
                                                << "exceeds 160 septets";
        QTest::newRow("UCS-2 TP-UDL above 140") << QByteArray("0004039121F3000899209251619580") + "8D" + QByteArray(282, '0')
                                                << "exceeds 140 octets";
        QTest::newRow("header longer than the user data") << QByteArray("0044039121F3000499209251619580") + "03" + "05000301"
                                                          << "user data header";
        QTest::newRow("7-bit header septets beyond TP-UDL")
            << QByteArray("0044039121F3000099209251619580") + "06" + "050003010201" << "more than TP-UDL";
    }

    void malformedInput()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, says);
        const auto e = raisedBy([&] { decodeDeliver(hex); });
        QVERIFY(e);
        QCOMPARE(e->number(), code(ErrorCode::MalformedPdu));
        QVERIFY2(e->description().contains(says), qPrintable(e->description()));
    }

    // Real phones store and route reports that are slightly off: what does not read in the optional
    // tail (TS 23.040 9.2.2.3) is dropped, the mandatory fields stay.
    void statusReportKeepsItsMandatoryPart_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("text");  // of the tail, when it reads
        QTest::newRow("padded with FF to the SIM record") << QByteArray(40, 'F') << QString();
        QTest::newRow("TP-UDL beyond the octets there are") << QByteArray("0700000AC8329B") << QString();
        QTest::newRow("TP-PI extension with nothing behind it") << QByteArray("81") << QString();
        QTest::newRow("reserved TP-PI bits: ignored with what follows") << QByteArray("0C05C8329BFD06") << QString();
        QTest::newRow("a well-formed tail is still read") << QByteArray("070000" "05C8329BFD06") << "Hello";
    }

    void statusReportKeepsItsMandatoryPart()
    {
        QFETCH(QByteArray, tail);
        QFETCH(QString, text);
        const QByteArray hex = GammuStatusReport + tail;
        const StatusReportPdu pdu = decodeStatusReport(hex);
        QCOMPARE(int(pdu.messageReference), 54);
        QCOMPARE(pdu.recipient.number, QStringLiteral("+84294357723"));
        compareTime(pdu.timestamp, iso("2018-07-30T10:18:40+02:00"));
        compareTime(pdu.dischargeTime, iso("2018-07-30T10:18:44+02:00"));
        QCOMPARE(int(pdu.status), 0);
        QCOMPARE(pdu.text, text);
        if (text.isEmpty())
            QCOMPARE(describePdu(hex).last().name, QStringLiteral("Optional part"));
    }

    // Some centres set TP-UDHI on a message without user data: an empty message, no header.
    void udhiWithoutUserData()
    {
        const DeliverPdu pdu = decodeDeliver(QByteArray("0044039121F3000499209251619580") + "00");
        QVERIFY(pdu.udh.isEmpty());
        QVERIFY(pdu.text.isEmpty());
        QCOMPARE(pdu.originator.number, QStringLiteral("+123"));
    }

    void wrongTypeIsMalformed()
    {
        EXPECT_ERROR(ErrorCode::MalformedPdu, decodeSubmit(DreamfabricDeliver));
        EXPECT_ERROR(ErrorCode::MalformedPdu, decodeDeliver(GammuStatusReport));
        EXPECT_ERROR(ErrorCode::MalformedPdu, decodeStatusReport(NordicSubmit));
        EXPECT_ERROR(ErrorCode::MalformedPdu, pduType("0003"));
        QCOMPARE(pduType("11000C9153481032547600000B00", false), PduType::Submit);
    }

    // --------------------------------------------------------------------- golden encoding
};

QTEST_APPLESS_MAIN(TestSmsPduDecoding)
#include "tst_smspdudecoding.moc"
