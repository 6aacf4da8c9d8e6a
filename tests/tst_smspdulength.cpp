// SPDX-License-Identifier: GPL-3.0-or-later
#include "smspdufixture.h"

class TestSmsPduLength : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void singleMessageBoundaries_data()
    {
        QTest::addColumn<int>("alphabet");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("udh");
        QTest::addColumn<bool>("fits");
        const QByteArray concat = QByteArray::fromHex("050003010201");
        const QString a = QStringLiteral("a");
        QTest::newRow("7-bit 160") << 7 << a.repeated(160) << QByteArray() << true;
        QTest::newRow("7-bit 161") << 7 << a.repeated(161) << QByteArray() << false;
        QTest::newRow("7-bit 153 behind a header") << 7 << a.repeated(153) << concat << true;
        QTest::newRow("7-bit 154 behind a header") << 7 << a.repeated(154) << concat << false;
        QTest::newRow("escape pair ending on 160") << 7 << a.repeated(158) + QStringLiteral("€") << QByteArray() << true;
        QTest::newRow("escape pair crossing 160") << 7 << a.repeated(159) + QStringLiteral("€") << QByteArray() << false;
        QTest::newRow("UCS-2 70") << 16 << QStringLiteral("ж").repeated(70) << QByteArray() << true;
        QTest::newRow("UCS-2 71") << 16 << QStringLiteral("ж").repeated(71) << QByteArray() << false;
        QTest::newRow("UCS-2 67 behind a header") << 16 << QStringLiteral("ж").repeated(67) << concat << true;
        QTest::newRow("UCS-2 68 behind a header") << 16 << QStringLiteral("ж").repeated(68) << concat << false;
        QTest::newRow("35 emoji are 70 code units") << 16 << QStringLiteral("\U0001F600").repeated(35) << QByteArray() << true;
        QTest::newRow("35 emoji and a letter") << 16 << QStringLiteral("\U0001F600").repeated(35) + a << QByteArray() << false;
        QTest::newRow("8-bit 140") << 8 << QString(140, QChar(0xFF)) << QByteArray() << true;
        QTest::newRow("8-bit 141") << 8 << QString(141, QChar(0xFF)) << QByteArray() << false;
        QTest::newRow("8-bit 134 behind a header") << 8 << QString(134, QChar(0)) << concat << true;
        QTest::newRow("8-bit 135 behind a header") << 8 << QString(135, QChar(0)) << concat << false;
    }

    void singleMessageBoundaries()
    {
        QFETCH(int, alphabet);
        QFETCH(QString, text);
        QFETCH(QByteArray, udh);
        QFETCH(bool, fits);
        SubmitPdu pdu = submitTo(QStringLiteral("+4917012345"), text, alphabet);
        pdu.udh = udh;
        if (!fits) {
            const auto e = raisedBy([&] { encodeSubmit(pdu); });
            QVERIFY(e);
            QCOMPARE(e->number(), code(ErrorCode::PduTooLong));
            QVERIFY2(e->description().contains(alphabet == 7 ? QLatin1String("160") : QLatin1String("140")),
                     qPrintable(e->description()));
            return;
        }
        const EncodedPdu encoded = encodeSubmit(pdu);
        QVERIFY(encoded.userData.size() <= 140);
        const SubmitPdu back = decodeSubmit(encoded.hex);
        QCOMPARE(back.text, text);
        QCOMPARE(hexOf(back.udh), hexOf(udh));
    }

    void tooLongSaysHowLong()
    {
        const auto e = raisedBy([] { encodeSubmit(submitTo(QStringLiteral("1"), QString(165, QLatin1Char('a')))); });
        QVERIFY(e);
        QVERIFY2(e->description().contains(QLatin1String("165 septets")), qPrintable(e->description()));
        SubmitPdu ucs = submitTo(QStringLiteral("1"), QString(71, QChar(0x436)), Ucs2);
        const auto u = raisedBy([&] { encodeSubmit(ucs); });
        QVERIFY(u);
        QVERIFY2(u->description().contains(QLatin1String("142 octets")), qPrintable(u->description()));
    }

    // Every encoder writes through one fixed buffer: a field that would run past it is refused
    // whole with the library's error, naming the field and where it starts, and what was written
    // before it is left as it was.
    void writerBound_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("field");
        QTest::addColumn<bool>("oneOctet");
        QTest::addColumn<bool>("fits");
        const int capacity = detail::PduWriter::Capacity;
        QTest::newRow("octet into the last place") << capacity - 1 << 1 << true << true;
        QTest::newRow("octet past the end") << capacity << 1 << true << false;
        QTest::newRow("field ending on the last octet") << capacity - 10 << 10 << false << true;
        QTest::newRow("empty field on a full buffer") << capacity << 0 << false << true;
        QTest::newRow("field one longer than the room left") << capacity - 10 << 11 << false << false;
        QTest::newRow("field longer than the whole buffer") << 0 << capacity + 1 << false << false;
        QTest::newRow("negative field length") << 0 << -1 << false << false;
    }

    void writerBound()
    {
        QFETCH(int, before);
        QFETCH(int, field);
        QFETCH(bool, oneOctet);
        QFETCH(bool, fits);
        detail::PduWriter w;
        const QByteArray filler(before, '\x11');
        w.put(reinterpret_cast<const quint8 *>(filler.constData()), filler.size(), "filler");
        const QByteArray data(qMax(field, 0), '\x22');
        const auto e = raisedBy([&] {
            if (oneOctet)
                w.put(quint8(0x22), "TP-UD");
            else
                w.put(reinterpret_cast<const quint8 *>(data.constData()), field, "TP-UD");
        });
        if (fits) {
            QVERIFY2(!e, qPrintable(e ? e->description() : QString()));
            QCOMPARE(w.size(), before + field);
            QCOMPARE(w.hex(), hexOf(filler + data));
            return;
        }
        QVERIFY(e);
        QCOMPARE(e->number(), code(ErrorCode::PduTooLong));
        const QString says = QStringLiteral("TP-UD needs %1 octet").arg(field);
        QVERIFY2(e->description().contains(says), qPrintable(e->description()));
        QVERIFY2(e->description().contains(QStringLiteral("at octet %1").arg(before)), qPrintable(e->description()));
        QCOMPARE(w.size(), before);
        QCOMPARE(w.hex(), hexOf(filler));
    }

    void longSubmitSplit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("partSeptets");
        const QString a = QStringLiteral("a");
        QTest::newRow("160: one PDU, no header") << a.repeated(160) << QList<int>{160};
        QTest::newRow("161: 153 + 8") << a.repeated(161) << QList<int>{153, 8};
        QTest::newRow("306: two full parts") << a.repeated(306) << QList<int>{153, 153};
        QTest::newRow("307: three parts") << a.repeated(307) << QList<int>{153, 153, 1};
        QTest::newRow("escape pair at septets 153/154 moves whole") << a.repeated(152) + QStringLiteral("€") + a.repeated(10)
                                                                   << QList<int>{152, 12};
        QTest::newRow("escape pair ending on 153 stays") << a.repeated(151) + QStringLiteral("€") + a.repeated(10)
                                                        << QList<int>{153, 10};
        QTest::newRow("all escape pairs") << QStringLiteral("€").repeated(100) << QList<int>{152, 48};
        QTest::newRow("empty text") << QString() << QList<int>{0};
    }

    void longSubmitSplit()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, partSeptets);
        SubmitPdu base = submitTo(QStringLiteral("+3934811111111"), text);
        base.statusReportRequest = true;
        base.validityMinutes = 1440;
        base.messageClass = 1;
        const QList<EncodedPdu> parts = encodeLongSubmit(base, 0xA7);
        QCOMPARE(parts.size(), partSeptets.size());
        QString joined;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const SubmitPdu part = decodeSubmit(parts[i].hex);
            joined += part.text;
            QVERIFY(part.statusReportRequest);
            QCOMPARE(part.validityMinutes.value_or(-1), 1440);
            QCOMPARE(part.messageClass, 1);
            if (parts.size() == 1) {
                QVERIFY(part.udh.isEmpty());
                QCOMPARE(int(QByteArray::fromHex(parts[i].hex.mid(2, 2)).at(0)) & 0x40, 0);
                QCOMPARE(part.text.size(), text.size());
                continue;
            }
            QCOMPARE(hexOf(part.udh), QByteArray("050003A7") + hexOf(QByteArray(1, char(parts.size())))
                                          + hexOf(QByteArray(1, char(i + 1))));
            const auto c = concatenation(part.udh);
            QVERIFY(c);
            QCOMPARE(c->reference, 0xA7);
            QCOMPARE(c->sequence, int(i + 1));
            QCOMPARE(c->total, int(parts.size()));
            // TP-UDL: 7 septets of header and fill, then the part's text.
            const int udl = quint8(QByteArray::fromHex(parts[i].hex).at(parts[i].hex.size() / 2 - parts[i].userData.size() - 1));
            QCOMPARE(udl - 7, partSeptets[i]);
        }
        QCOMPARE(joined, text);
    }

    void longSubmitLimits()
    {
        SubmitPdu base = submitTo(QStringLiteral("1"), QString(153 * 255, QLatin1Char('x')));
        QCOMPARE(encodeLongSubmit(base, 1).size(), 255);
        base.text += QLatin1Char('x');
        const auto e = raisedBy([&] { encodeLongSubmit(base, 1); });
        QVERIFY(e);
        QCOMPARE(e->number(), code(ErrorCode::TooManyParts));
        QVERIFY2(e->description().contains(QLatin1String("256 parts")), qPrintable(e->description()));

        SubmitPdu withHeader = submitTo(QStringLiteral("1"), QStringLiteral("x"));
        withHeader.udh = QByteArray::fromHex("050003010201");
        EXPECT_ERROR(ErrorCode::InvalidUserDataHeader, encodeLongSubmit(withHeader, 1));
        EXPECT_ERROR(ErrorCode::InvalidAlphabet, encodeLongSubmit(submitTo(QStringLiteral("1"), QStringLiteral("x"), Ucs2), 1));
        EXPECT_ERROR(ErrorCode::TextNotRepresentable, encodeLongSubmit(submitTo(QStringLiteral("1"), QString(300, QChar(0x436))), 1));
    }

    void surrogatePairs()
    {
        const QString text = QStringLiteral("a\U0001F600b\U00010348");
        SubmitPdu pdu = submitTo(QStringLiteral("1"), text, Ucs2);
        const EncodedPdu e = encodeSubmit(pdu);
        QCOMPARE(hexOf(e.userData), QByteArray("0061D83DDE000062D800DF48"));
        QCOMPARE(decodeSubmit(e.hex).text, text);
        pdu.text = QString(QChar(0xD83D)) + QLatin1Char('x');
        EXPECT_ERROR(ErrorCode::TextNotRepresentable, encodeSubmit(pdu));
        pdu.text = QLatin1Char('x') + QString(QChar(0xDE00));
        EXPECT_ERROR(ErrorCode::TextNotRepresentable, encodeSubmit(pdu));
    }

    void otherAlphabetErrors()
    {
        SubmitPdu pdu = submitTo(QStringLiteral("1"), QStringLiteral("ж"), Bit8);
        EXPECT_ERROR(ErrorCode::TextNotRepresentable, encodeSubmit(pdu));
        pdu.alphabet = 9;
        EXPECT_ERROR(ErrorCode::InvalidAlphabet, encodeSubmit(pdu));
        pdu = submitTo(QStringLiteral("1"), QStringLiteral("x"));
        pdu.messageClass = 4;
        EXPECT_ERROR(ErrorCode::InvalidMessageClass, encodeSubmit(pdu));
        pdu.messageClass = -1;
        pdu.validityMinutes = -1;
        EXPECT_ERROR(ErrorCode::InvalidValidity, encodeSubmit(pdu));
        pdu = submitTo(QStringLiteral("1"), QStringLiteral("ok \U0001F600"));
        const auto e = raisedBy([&] { encodeSubmit(pdu); });
        QVERIFY(e);
        QVERIFY2(e->description().contains(QLatin1String("U+1F600")), qPrintable(e->description()));
    }

    // ----------------------------------------------------------------------------- validity
};

QTEST_APPLESS_MAIN(TestSmsPduLength)
#include "tst_smspdulength.moc"
