// SPDX-License-Identifier: GPL-3.0-or-later
#include "smspdufixture.h"

class TestSmsPduFields : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validityRounding_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("vp");
        QTest::newRow("0 takes the shortest, 5 min") << 0 << 0x00;
        QTest::newRow("1 min up to 5") << 1 << 0x00;
        QTest::newRow("5 min") << 5 << 0x00;
        QTest::newRow("6 min up to 10") << 6 << 0x01;
        QTest::newRow("60 min") << 60 << 0x0B;
        QTest::newRow("61 min up to 65") << 61 << 0x0C;
        QTest::newRow("12 h, last 5-minute step") << 720 << 0x8F;
        QTest::newRow("12 h 1 min up to 12 h 30") << 721 << 0x90;
        QTest::newRow("1 day") << 1440 << 0xA7;
        QTest::newRow("1 day 1 min up to 2 days") << 1441 << 0xA8;
        QTest::newRow("4 days") << 4 * 1440 << 0xAA;
        QTest::newRow("30 days") << 30 * 1440 << 0xC4;
        QTest::newRow("30 days 1 min up to 5 weeks") << 30 * 1440 + 1 << 0xC5;
        QTest::newRow("5 weeks") << 5 * 10080 << 0xC5;
        QTest::newRow("63 weeks") << 63 * 10080 << 0xFF;
        QTest::newRow("beyond 63 weeks kept at 63") << 10'000'000 << 0xFF;
    }

    void validityRounding()
    {
        QFETCH(int, minutes);
        QFETCH(int, vp);
        QCOMPARE(int(validityToRelative(minutes)), vp);
        SubmitPdu pdu = submitTo(QStringLiteral("1"), QStringLiteral("x"));
        pdu.validityMinutes = minutes;
        const QByteArray hex = encodeSubmit(pdu).hex;
        QCOMPARE(hex.mid(2, 2), QByteArray("11"));   // VPF relative
        QCOMPARE(hex.mid(16, 2), hexOf(QByteArray(1, char(vp))));
    }

    void validityIsSmallestStepNotShorter()
    {
        for (int m = 0; m <= 63 * 10080; ++m) {
            const quint8 vp = validityToRelative(m);
            if (relativeToMinutes(vp) < m || (vp > 0 && relativeToMinutes(vp - 1) >= qMax(m, 5)))
                QFAIL(qPrintable(QStringLiteral("%1 minutes gave VP %2").arg(m).arg(vp)));
        }
        EXPECT_ERROR(ErrorCode::InvalidValidity, validityToRelative(-1));
    }

    void noValidityNoVpOctet()
    {
        const QByteArray hex = encodeSubmit(submitTo(QStringLiteral("1"), QStringLiteral("x"))).hex;
        QCOMPARE(hex, QByteArray("0001000181F1000001" "78"));
    }

    void absoluteValidity()
    {
        // python-gsmmodem "Timestamp validity test": VP 31700131930080, VPF 11.
        SubmitPdu pdu = submitTo(QStringLiteral("1"), QStringLiteral("x"));
        pdu.validityUntil = iso("2013-07-10T13:39:00+02:00");
        const QByteArray hex = encodeSubmit(pdu).hex;
        QCOMPARE(hex, QByteArray("0019000181F1000031700131930080" "0178"));
        compareTime(decodeSubmit(hex).validityUntil, pdu.validityUntil);
        QVERIFY(!decodeSubmit(hex).validityMinutes);
    }

    void enhancedValidity_data()
    {
        QTest::addColumn<QByteArray>("vp");
        QTest::addColumn<int>("minutes");
        QTest::newRow("relative octet") << QByteArray("01AA0000000000") << 5760;
        QTest::newRow("seconds, rounded up") << QByteArray("025B0000000000") << 2;
        QTest::newRow("hh:mm:ss semi-octets, 1 h 3 min") << QByteArray("03103000000000") << 63;
        QTest::newRow("no period") << QByteArray("00000000000000") << -1;
    }

    void enhancedValidity()
    {
        QFETCH(QByteArray, vp);
        QFETCH(int, minutes);
        const QByteArray hex = "0009000181F10000" + vp + "0178";
        QCOMPARE(decodeSubmit(hex).validityMinutes.value_or(-1), minutes);
    }

    // ------------------------------------------------------------------------- data coding

    void dataCodingDecoded_data()
    {
        QTest::addColumn<int>("dcs");
        QTest::addColumn<int>("alphabet");
        QTest::addColumn<int>("messageClass");
        QTest::addColumn<bool>("compressed");
        QTest::addColumn<int>("waitingKind");
        QTest::addColumn<bool>("waitingActive");
        QTest::newRow("00 GSM 7-bit") << 0x00 << 7 << -1 << false << -1 << false;
        QTest::newRow("04 8-bit") << 0x04 << 8 << -1 << false << -1 << false;
        QTest::newRow("08 UCS-2") << 0x08 << 16 << -1 << false << -1 << false;
        QTest::newRow("0C reserved alphabet is 7-bit") << 0x0C << 7 << -1 << false << -1 << false;
        QTest::newRow("03 class bits without bit 4 mean nothing") << 0x03 << 7 << -1 << false << -1 << false;
        QTest::newRow("10 class 0") << 0x10 << 7 << 0 << false << -1 << false;
        QTest::newRow("16 8-bit class 2") << 0x16 << 8 << 2 << false << -1 << false;
        QTest::newRow("1B UCS-2 class 3") << 0x1B << 16 << 3 << false << -1 << false;
        QTest::newRow("20 compressed") << 0x20 << 7 << -1 << true << -1 << false;
        QTest::newRow("49 automatic deletion, UCS-2 class 1") << 0x49 << 16 << -1 << false << -1 << false;
        QTest::newRow("59 automatic deletion with class") << 0x59 << 16 << 1 << false << -1 << false;
        QTest::newRow("80 reserved group") << 0x80 << 7 << -1 << false << -1 << false;
        QTest::newRow("C0 discard, voicemail off") << 0xC0 << 7 << -1 << false << 0 << false;
        QTest::newRow("C8 discard, voicemail on") << 0xC8 << 7 << -1 << false << 0 << true;
        QTest::newRow("D1 store, fax off") << 0xD1 << 7 << -1 << false << 1 << false;
        QTest::newRow("EA store UCS-2, e-mail on") << 0xEA << 16 << -1 << false << 2 << true;
        QTest::newRow("F0 7-bit class 0") << 0xF0 << 7 << 0 << false << -1 << false;
        QTest::newRow("F7 8-bit class 3") << 0xF7 << 8 << 3 << false << -1 << false;
    }

    void dataCodingDecoded()
    {
        QFETCH(int, dcs);
        QFETCH(int, alphabet);
        QFETCH(int, messageClass);
        QFETCH(bool, compressed);
        QFETCH(int, waitingKind);
        QFETCH(bool, waitingActive);
        const DataCoding c = decodeDataCoding(quint8(dcs));
        QCOMPARE(int(c.raw), dcs);
        QCOMPARE(c.alphabet, alphabet);
        QCOMPARE(c.messageClass, messageClass);
        QCOMPARE(c.compressed, compressed);
        QCOMPARE(c.messageWaiting, waitingKind >= 0);
        QCOMPARE(c.messageWaitingKind, waitingKind);
        QCOMPARE(c.messageWaitingActive, waitingActive);
    }

    void dataCodingEncoded()
    {
        const int expected[3][5] = {{0x00, 0xF0, 0xF1, 0xF2, 0xF3}, {0x04, 0xF4, 0xF5, 0xF6, 0xF7}, {0x08, 0x18, 0x19, 0x1A, 0x1B}};
        const int alphabets[3] = {Gsm7, Bit8, Ucs2};
        for (int a = 0; a < 3; ++a) {
            for (int c = -1; c <= 3; ++c) {
                QCOMPARE(int(encodeDataCoding(alphabets[a], c)), expected[a][c + 1]);
                const DataCoding back = decodeDataCoding(encodeDataCoding(alphabets[a], c));
                QCOMPARE(back.alphabet, alphabets[a]);
                QCOMPARE(back.messageClass, c);
            }
        }
        EXPECT_ERROR(ErrorCode::InvalidAlphabet, encodeDataCoding(0, -1));
        EXPECT_ERROR(ErrorCode::InvalidMessageClass, encodeDataCoding(7, -2));
    }

    void compressedTextIsNotGuessed()
    {
        // DCS 20: compressed 7-bit; TP-UDL then counts octets, and the text is left undecoded.
        const DeliverPdu pdu = decodeDeliver("0004039121F3002099209251619580" "03AABBCC");
        QVERIFY(pdu.dcs.compressed);
        QVERIFY(pdu.text.isEmpty());
        QCOMPARE(hexOf(pdu.userData), QByteArray("AABBCC"));
    }

    // --------------------------------------------------------------------------- headers

    void headerValidation_data()
    {
        QTest::addColumn<QByteArray>("udh");
        QTest::addColumn<QString>("says");
        QTest::newRow("8-bit concatenation") << QByteArray("050003010201") << QString();
        QTest::newRow("16-bit concatenation") << QByteArray("0608040001 0201").replace(' ', "") << QString();
        QTest::newRow("ports and concatenation") << QByteArray("0B05040B8423F00003AA0201") << QString();
        QTest::newRow("no elements") << QByteArray("00") << QString();
        QTest::newRow("unknown element of any length") << QByteArray("0480021234") << QString();
        QTest::newRow("length octet too large") << QByteArray("0600030102 01").replace(' ', "") << "says 6 octets follow, but 5 do";
        QTest::newRow("length octet too small") << QByteArray("040003010201") << "says 4 octets follow, but 5 do";
        QTest::newRow("element data cut") << QByteArray("0400030102") << "says 3 octets of data, but 2 remain";
        QTest::newRow("element without length") << QByteArray("06000301020108") << "no length octet";
        QTest::newRow("concatenation of wrong length") << QByteArray("0400020102") << "it takes 3";
        QTest::newRow("16-bit ports of wrong length") << QByteArray("0405021234") << "it takes 4";
    }

    void headerValidation()
    {
        QFETCH(QByteArray, udh);
        QFETCH(QString, says);
        SubmitPdu pdu = submitTo(QStringLiteral("1"), QStringLiteral("x"));
        pdu.udh = QByteArray::fromHex(udh);
        if (says.isEmpty()) {
            const SubmitPdu back = decodeSubmit(encodeSubmit(pdu).hex);
            QCOMPARE(back.udh, pdu.udh);
            QCOMPARE(back.text, pdu.text);
            return;
        }
        const auto e = raisedBy([&] { encodeSubmit(pdu); });
        QVERIFY(e);
        QCOMPARE(e->number(), code(ErrorCode::InvalidUserDataHeader));
        QVERIFY2(e->description().contains(says), qPrintable(e->description()));
    }

    void headerFillBits_data()
    {
        QTest::addColumn<QByteArray>("udh");
        QTest::addColumn<int>("headerSeptets");
        // One element of an SME-specific IEI padded out to the size wanted; every fill from 0 to 6.
        QTest::newRow("1 header octet") << QByteArray(1, 0) << 2;
        for (int octets = 3; octets <= 16; ++octets) {
            QByteArray udh(octets, 0);
            udh[0] = char(octets - 1);
            udh[1] = char(0x80);
            udh[2] = char(octets - 3);
            QTest::addRow("%d header octets", octets) << udh << (octets * 8 + 6) / 7;
        }
    }

    void headerFillBits()
    {
        QFETCH(QByteArray, udh);
        QFETCH(int, headerSeptets);
        SubmitPdu pdu = submitTo(QStringLiteral("1"), QStringLiteral("Hello [x]"));
        pdu.udh = udh;
        const EncodedPdu e = encodeSubmit(pdu);
        const QByteArray bytes = QByteArray::fromHex(e.hex);
        QCOMPARE(int(quint8(bytes.at(bytes.size() - e.userData.size() - 1))), headerSeptets + 11);
        QCOMPARE(e.userData.size(), (7 * (headerSeptets + 11) + 7) / 8);
        const SubmitPdu back = decodeSubmit(e.hex);
        QCOMPARE(back.text, pdu.text);
        QCOMPARE(back.udh, udh);
    }

    void concatenationElement_data()
    {
        QTest::addColumn<QByteArray>("udh");
        QTest::addColumn<int>("reference");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("sequence");
        QTest::addColumn<bool>("reference16");
        // python-gsmmodem: (ref 23, part 1 of 3) and (ref 384, part 2 of 4).
        QTest::newRow("8-bit") << QByteArray("050003170301") << 23 << 3 << 1 << false;
        QTest::newRow("16-bit") << QByteArray("06080401800402") << 384 << 4 << 2 << true;
        QTest::newRow("behind a port element") << QByteArray("0B05040B8423F00003AA0201") << 0xAA << 2 << 1 << false;
        QTest::newRow("the last of two counts") << QByteArray("0A000301020100030703 02") << 7 << 3 << 2 << false;
        QTest::newRow("none") << QByteArray("0605040B8423F0") << -1 << 0 << 0 << false;
        QTest::newRow("total 0 is ignored") << QByteArray("050003010001") << -1 << 0 << 0 << false;
        QTest::newRow("part beyond total is ignored") << QByteArray("050003010203") << -1 << 0 << 0 << false;
        QTest::newRow("part 0 is ignored") << QByteArray("050003010200") << -1 << 0 << 0 << false;
        QTest::newRow("cut short") << QByteArray("0500030102") << -1 << 0 << 0 << false;
        QTest::newRow("empty") << QByteArray() << -1 << 0 << 0 << false;
    }

    void concatenationElement()
    {
        QFETCH(QByteArray, udh);
        QFETCH(int, reference);
        QFETCH(int, total);
        QFETCH(int, sequence);
        QFETCH(bool, reference16);
        const auto c = concatenation(QByteArray::fromHex(udh.replace(' ', "")));
        QCOMPARE(bool(c), reference >= 0);
        if (!c)
            return;
        QCOMPARE(c->reference, reference);
        QCOMPARE(c->total, total);
        QCOMPARE(c->sequence, sequence);
        QCOMPARE(c->reference16, reference16);
    }

    // ------------------------------------------------------------------------- timestamps

    void timestamps_data()
    {
        QTest::addColumn<QByteArray>("scts");
        QTest::addColumn<QDateTime>("expected");
        // python-gsmmodem TestTimestamp vectors.
        QTest::newRow("GMT+8") << QByteArray("70402132522423") << iso("2007-04-12T23:25:42+08:00");
        QTest::newRow("GMT-8") << QByteArray("7040213252242B") << iso("2007-04-12T23:25:42-08:00");
        QTest::newRow("GMT+2") << QByteArray("51117200000080") << iso("2015-11-27T00:00:00+02:00");
        QTest::newRow("GMT-4 (69)") << QByteArray("51117200000069") << iso("2015-11-27T00:00:00-04:00");
        QTest::newRow("year 00 is 2000") << QByteArray("00101010101000") << iso("2000-01-01T01:01:01Z");
        QTest::newRow("year 89 is 2089") << QByteArray("98101010101000") << iso("2089-01-01T01:01:01Z");
        QTest::newRow("year 90 is 1990") << QByteArray("09101010101000") << iso("1990-01-01T01:01:01Z");
        QTest::newRow("non-BCD month gives no time") << QByteArray("11A01010101000") << QDateTime();
        QTest::newRow("30 February gives no time") << QByteArray("11200301010100") << QDateTime();
        // A zone octet that does not read costs the zone, not the time stamp: the centre's clock.
        const QDateTime wallClock(QDate(2011, 1, 1), QTime(1, 1, 1));
        QTest::newRow("non-BCD zone loses the zone only") << QByteArray("111010101010A0") << wallClock;
        QTest::newRow("zone padded with FF") << QByteArray("111010101010FF") << wallClock;
        QTest::newRow("zone of 79 quarters, beyond any") << QByteArray("111010101010" "9F") << wallClock;
    }

    void timestamps()
    {
        QFETCH(QByteArray, scts);
        QFETCH(QDateTime, expected);
        const DeliverPdu pdu = decodeDeliver("0004039121F30000" + scts + "02C834");
        QCOMPARE(pdu.text, QStringLiteral("Hi"));   // a bad time stamp does not cost the message
        QCOMPARE(pdu.timestamp.isValid(), expected.isValid());
        if (expected.isValid())
            compareTime(pdu.timestamp, expected);
        QCOMPARE(pdu.timestamp.timeSpec() == Qt::LocalTime, expected.timeSpec() == Qt::LocalTime);
    }

    void timestampEncoding()
    {
        DeliverPdu pdu;
        pdu.originator.number = QStringLiteral("+1");
        pdu.text = QStringLiteral("x");
        for (const char *t : {"2007-04-12T23:25:42+08:00", "2015-11-27T00:00:00-04:00", "1990-12-31T23:59:59-09:45",
                              "2089-06-01T12:00:00+13:45"}) {
            pdu.timestamp = iso(t);
            compareTime(decodeDeliver(encodeDeliver(pdu)).timestamp, pdu.timestamp);
        }
        pdu.timestamp = iso("2090-01-01T00:00:00Z");
        EXPECT_ERROR(ErrorCode::InvalidArgument, encodeDeliver(pdu));
        pdu.timestamp = QDateTime();
        EXPECT_ERROR(ErrorCode::InvalidArgument, encodeDeliver(pdu));
    }

    // ---------------------------------------------------------------------- status reports

    void statusTexts_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("00") << 0x00 << "Short message received by the SME";
        QTest::newRow("01") << 0x01 << "Short message forwarded by the SC to the SME but the SC is unable to confirm delivery";
        QTest::newRow("02") << 0x02 << "Short message replaced by the SC";
        QTest::newRow("03 reserved") << 0x03 << "Reserved (transaction completed)";
        QTest::newRow("0F reserved") << 0x0F << "Reserved (transaction completed)";
        QTest::newRow("10 SC specific") << 0x10 << "SC specific (transaction completed)";
        QTest::newRow("20") << 0x20 << "Congestion (temporary error, SC still trying)";
        QTest::newRow("25") << 0x25 << "Error in SME (temporary error, SC still trying)";
        QTest::newRow("26 reserved") << 0x26 << "Reserved (temporary error, SC still trying)";
        QTest::newRow("3F SC specific") << 0x3F << "SC specific (temporary error, SC still trying)";
        QTest::newRow("40") << 0x40 << "Remote procedure error (permanent error)";
        QTest::newRow("46") << 0x46 << "SM validity period expired (permanent error)";
        QTest::newRow("49") << 0x49 << "SM does not exist (permanent error)";
        QTest::newRow("4A reserved") << 0x4A << "Reserved (permanent error)";
        QTest::newRow("5F SC specific") << 0x5F << "SC specific (permanent error)";
        QTest::newRow("61") << 0x61 << "SME busy (temporary error, SC not trying any more)";
        QTest::newRow("66 reserved") << 0x66 << "Reserved (temporary error, SC not trying any more)";
        QTest::newRow("70 SC specific") << 0x70 << "SC specific (temporary error, SC not trying any more)";
        QTest::newRow("80 reserved") << 0x80 << "Reserved";
        QTest::newRow("FF reserved") << 0xFF << "Reserved";
    }

    void statusTexts()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        QCOMPARE(statusText(quint8(status)), text);
    }

    void statusReportOptionalTail()
    {
        // TP-PI 07: PID, DCS and user data follow TP-ST; a PI of 04 alone, user data only.
        StatusReportPdu pdu;
        pdu.messageReference = 7;
        pdu.recipient.number = QStringLiteral("+4917012345");
        pdu.timestamp = iso("2024-02-29T12:00:00+01:00");
        pdu.dischargeTime = iso("2024-02-29T12:00:05+01:00");
        pdu.status = 0x46;
        pdu.fromCommand = true;
        pdu.protocolId = 0x41;
        pdu.dcs.alphabet = Ucs2;
        pdu.text = QStringLiteral("ok");
        const QByteArray hex = encodeStatusReport(pdu);
        QVERIFY(hex.contains("46074108" "04006F006B"));
        const StatusReportPdu back = decodeStatusReport(hex);
        QCOMPARE(back.status, quint8(0x46));
        QCOMPARE(back.statusText, QStringLiteral("SM validity period expired (permanent error)"));
        QVERIFY(back.fromCommand);
        QCOMPARE(int(back.protocolId), 0x41);
        QCOMPARE(back.dcs.alphabet, int(Ucs2));
        QCOMPARE(back.text, QStringLiteral("ok"));
        compareTime(back.dischargeTime, pdu.dischargeTime);
        // A TP-PI that announces user data which is not there costs that tail, not the report.
        QCOMPARE(decodeStatusReport(QByteArray(GammuStatusReport) + "04").messageReference, quint8(54));
        // Extension TP-PI octets are skipped.
        QCOMPARE(decodeStatusReport(QByteArray(GammuStatusReport) + "8000").status, quint8(0));
    }
};

QTEST_APPLESS_MAIN(TestSmsPduFields)
#include "tst_smspdufields.moc"
