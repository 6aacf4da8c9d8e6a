// SPDX-License-Identifier: GPL-3.0-or-later
// The GSM 7-bit default alphabet and its extension table as TS 23.038 6.2.1 lists them (and as
// libgammu decodes every septet), and septet packing against python-gsmmodem's test vectors.
#include "pdu/gsmalphabet.h"
#include "pellixerror.h"
#include "raisederrorcode.h"

#include <QtTest>

#include <optional>

using namespace pellix::pdu;
using pellix::ErrorCode;

namespace {


} // namespace

class TestGsmAlphabet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each row is 16 consecutive septet codes; U+FFFF stands for the escape 0x1B.
    void baseTableBothWays_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<QString>("characters");
        QTest::newRow("0x00 accented Latin, LF, CR") << 0x00 << QStringLiteral("@£$¥èéùìòÇ\nØø\rÅå");
        QTest::newRow("0x10 Greek capitals, escape") << 0x10 << QStringLiteral("Δ_ΦΓΛΩΠΨΣΘΞ\uFFFFÆæßÉ");
        QTest::newRow("0x20 currency sign at 0x24") << 0x20 << QStringLiteral(" !\"#¤%&'()*+,-./");
        QTest::newRow("0x30 digits") << 0x30 << QStringLiteral("0123456789:;<=>?");
        QTest::newRow("0x40 inverted exclamation") << 0x40 << QStringLiteral("¡ABCDEFGHIJKLMNO");
        QTest::newRow("0x50 section sign at 0x5F") << 0x50 << QStringLiteral("PQRSTUVWXYZÄÖÑÜ§");
        QTest::newRow("0x60 inverted question") << 0x60 << QStringLiteral("¿abcdefghijklmno");
        QTest::newRow("0x70 a grave at 0x7F") << 0x70 << QStringLiteral("pqrstuvwxyzäöñüà");
    }
    void baseTableBothWays()
    {
        QFETCH(int, first);
        QFETCH(QString, characters);
        QCOMPARE(characters.size(), 16);
        for (int i = 0; i < 16; ++i) {
            const QChar c = characters.at(i);
            if (c == QChar(0xFFFF))
                continue;
            const QByteArray code(1, char(first + i));
            QCOMPARE(encodeGsm7(QString(c)), code);
            QCOMPARE(decodeGsm7(code), QString(c));
        }
    }

    void extensionTableBothWays_data()
    {
        QTest::addColumn<QString>("character");
        QTest::addColumn<int>("code");
        QTest::newRow("form feed") << QStringLiteral("\f") << 0x0A;
        QTest::newRow("circumflex") << QStringLiteral("^") << 0x14;
        QTest::newRow("left brace") << QStringLiteral("{") << 0x28;
        QTest::newRow("right brace") << QStringLiteral("}") << 0x29;
        QTest::newRow("backslash") << QStringLiteral("\\") << 0x2F;
        QTest::newRow("left bracket") << QStringLiteral("[") << 0x3C;
        QTest::newRow("tilde") << QStringLiteral("~") << 0x3D;
        QTest::newRow("right bracket") << QStringLiteral("]") << 0x3E;
        QTest::newRow("vertical bar") << QStringLiteral("|") << 0x40;
        QTest::newRow("euro sign") << QStringLiteral("€") << 0x65;
    }
    void extensionTableBothWays()
    {
        QFETCH(QString, character);
        QFETCH(int, code);
        const QByteArray pair = QByteArray("\x1B") + char(code);
        QCOMPARE(encodeGsm7(character), pair);
        QCOMPARE(decodeGsm7(pair), character);
        QCOMPARE(gsm7Length(character), 2);
    }

    void packing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("fillBits");
        QTest::addColumn<QByteArray>("packed");
        QTest::newRow("Hello") << QStringLiteral("Hello") << 0 << QByteArray::fromHex("C8329BFD06");
        QTest::newRow("hellohello") << QStringLiteral("hellohello") << 0 << QByteArray::fromHex("E8329BFD4697D9EC37");
        QTest::newRow("Hello World!") << QStringLiteral("Hello World!") << 0 << QByteArray::fromHex("C8329BFD065DDF72363904");
        QTest::newRow("escapes [{abc}]~") << QStringLiteral("[{abc}]~") << 0 << QByteArray::fromHex("1BDE061516 8F37A98D6FD303");
        // ModemManager test_create_pdu_gsm_3: the 25th septet sits alone in the last octet.
        QTest::newRow("last septet alone in an octet") << QStringLiteral("This is really cool ΔΔΔΔΔ") << 0
                                                     << QByteArray::fromHex("54747A0E4ACF41F27298CDCE83C6EF371B0481402010");
        // gammu 1.42, "Hello" behind the 6-octet concatenation header: one fill bit.
        QTest::newRow("one fill bit after a 6-octet header") << QStringLiteral("Hello") << 1 << QByteArray::fromHex("906536FB0D");
        // 6 header octets + 1 fill bit = 7 septets = 49 bits: the fill takes an octet of its own.
        QTest::newRow("empty text, the fill octet stays") << QString() << 1 << QByteArray(1, 0);
        QTest::newRow("empty text, no fill") << QString() << 0 << QByteArray();
    }
    void packing()
    {
        QFETCH(QString, text);
        QFETCH(int, fillBits);
        QFETCH(QByteArray, packed);
        const QByteArray septets = encodeGsm7(text);
        QCOMPARE(packSeptets(septets, fillBits).toHex().toUpper(), packed.toHex().toUpper());
        QCOMPARE(decodeGsm7(unpackSeptets(packed, int(septets.size()), fillBits)), text);
    }

    void fillBitsRoundTrip_data()
    {
        QTest::addColumn<int>("fillBits");
        for (int fill = 0; fill <= 7; ++fill)
            QTest::addRow("%d fill bits", fill) << fill;
    }
    void fillBitsRoundTrip()
    {
        QFETCH(int, fillBits);
        QByteArray septets;
        for (int i = 0; i < 160; ++i)
            septets.append(char((i * 37 + 11) & 0x7F));
        const QByteArray packed = packSeptets(septets, fillBits);
        QCOMPARE(packed.size(), (fillBits + 7 * 160 + 7) / 8);
        // The fill bits are zero: they belong to whatever precedes the septets.
        QCOMPARE(quint8(packed.at(0)) & ((1 << fillBits) - 1), 0);
        QCOMPARE(unpackSeptets(packed, 160, fillBits), septets);
    }

    void unpackingStopsAtTheEnd()
    {
        QCOMPARE(unpackSeptets(QByteArray::fromHex("C8"), 5), QByteArray("\x48", 1));
        QCOMPARE(unpackSeptets(QByteArray(), 10, 3), QByteArray());
        QCOMPARE(unpackSeptets(QByteArray::fromHex("C8329BFD06"), 1000).size(), 5);
        QVERIFY(unpackSeptets(QByteArray::fromHex("C8329BFD06"), -1).isEmpty());
    }

    void fillBitsOutOfRange()
    {
        const auto e = raisedBy([] { packSeptets("abc", 8); });
        QVERIFY(e);
        QCOMPARE(e->number(), code(ErrorCode::InvalidArgument));
        QVERIFY(raisedBy([] { unpackSeptets("abc", 3, -1); }));
    }

    void unrepresentableNamed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
        QTest::newRow("Cyrillic") << QStringLiteral("abжc") << QStringLiteral("'ж' (U+0436) at position 3");
        QTest::newRow("lower-case c cedilla is not Ç") << QStringLiteral("ç") << QStringLiteral("'ç' (U+00E7) at position 1");
        QTest::newRow("grave accent") << QStringLiteral("a`b") << QStringLiteral("'`' (U+0060) at position 2");
        QTest::newRow("tab, by code only") << QStringLiteral("x\ty") << QStringLiteral("(U+0009) at position 2");
        QTest::newRow("emoji as one character") << QStringLiteral("ok \U0001F600") << QStringLiteral("'\U0001F600' (U+1F600) at position 4");
        QTest::newRow("first of several") << QStringLiteral("€ёж") << QStringLiteral("'ё' (U+0451) at position 2");
    }
    void unrepresentableNamed()
    {
        QFETCH(QString, text);
        QFETCH(QString, named);
        const auto e = raisedBy([&] { encodeGsm7(text); });
        QVERIFY(e);
        QCOMPARE(e->number(), code(ErrorCode::TextNotRepresentable));
        QVERIFY2(e->description().contains(named), qPrintable(e->description()));
        QCOMPARE(gsm7Length(text), -1);
    }

    void escapeDecoding_data()
    {
        QTest::addColumn<QByteArray>("septets");
        QTest::addColumn<QString>("text");
        QTest::newRow("euro") << QByteArray("\x1B\x65", 2) << QStringLiteral("€");
        QTest::newRow("unknown extension code gives the base character") << QByteArray("\x1B\x41", 2) << QStringLiteral("A");
        QTest::newRow("CR2 gives CR") << QByteArray("\x1B\x0D", 2) << QStringLiteral("\r");
        QTest::newRow("trailing lone escape is a space") << QByteArray("\x41\x1B", 2) << QStringLiteral("A ");
        QTest::newRow("escape to a further table is a space") << QByteArray("\x1B\x1B\x41", 3) << QStringLiteral(" A");
        QTest::newRow("escape code is not text") << QByteArray("\x1B\x1B", 2) << QStringLiteral(" ");
        QTest::newRow("@ is septet zero") << QByteArray("\x00\x00", 2) << QStringLiteral("@@");
    }
    void escapeDecoding()
    {
        QFETCH(QByteArray, septets);
        QFETCH(QString, text);
        QCOMPARE(decodeGsm7(septets), text);
    }

    void lengthsCountEscapesTwice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("length");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("plain") << QStringLiteral("abc") << 3;
        QTest::newRow("brackets") << QStringLiteral("[x]") << 5;
        QTest::newRow("160 euro signs") << QString(160, QChar(0x20AC)) << 320;
    }
    void lengthsCountEscapesTwice()
    {
        QFETCH(QString, text);
        QFETCH(int, length);
        QCOMPARE(gsm7Length(text), length);
        QCOMPARE(int(encodeGsm7(text).size()), length);
    }
};

QTEST_APPLESS_MAIN(TestGsmAlphabet)
#include "tst_gsmalphabet.moc"
