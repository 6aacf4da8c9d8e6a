// SPDX-License-Identifier: GPL-3.0-or-later
#include "hexdigits.h"

#include <QTest>

// A hex digit as PDUs, traces, hex text boxes and &H numbers read it.
class TestHexDigits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hexDigitValues_data()
    {
        QTest::addColumn<QChar>("c");
        QTest::addColumn<int>("value");
        QTest::newRow("0") << QChar(u'0') << 0;
        QTest::newRow("9") << QChar(u'9') << 9;
        QTest::newRow("A") << QChar(u'A') << 10;
        QTest::newRow("f") << QChar(u'f') << 15;
        QTest::newRow("g") << QChar(u'g') << -1;
        QTest::newRow("blank") << QChar(u' ') << -1;
        QTest::newRow("ÿ, a byte past ASCII") << QChar(u'\u00FF') << -1;
        QTest::newRow("U+0130, whose low byte is '0'") << QChar(u'\u0130') << -1;
        QTest::newRow("U+0141, whose low byte is 'A'") << QChar(u'\u0141') << -1;
        QTest::newRow("U+FF11, a fullwidth 1") << QChar(u'\uFF11') << -1;
    }
    void hexDigitValues()
    {
        QFETCH(QChar, c);
        QFETCH(int, value);
        QCOMPARE(hexDigitValue(c), value);
        if (c.unicode() < 0x100)
            QCOMPARE(hexDigitValue(char(c.unicode())), value);
    }

    // Names, numbers and USSD answers of a modem in UCS2; what is not whole units stays undecoded.
    void ucs2Hex_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::newRow("Jü") << QByteArray("004A00FC") << std::optional<QString>(QStringLiteral("J\u00FC"));
        QTest::newRow("lower-case digits, a Cyrillic letter") << QByteArray("041f") << std::optional<QString>(QStringLiteral("\u041F"));
        QTest::newRow("a surrogate pair kept as its two units") << QByteArray("D83DDE00")
                                                               << std::optional<QString>(QStringLiteral("\U0001F600"));
        QTest::newRow("empty field") << QByteArray() << std::optional<QString>(QString());
        QTest::newRow("half a unit") << QByteArray("004A00") << std::optional<QString>();
        QTest::newRow("plain text of four letters") << QByteArray("Anna") << std::optional<QString>();
        QTest::newRow("a sign among the digits") << QByteArray("+04A") << std::optional<QString>();
    }
    void ucs2Hex()
    {
        QFETCH(QByteArray, hex);
        QFETCH(std::optional<QString>, text);
        QCOMPARE(textFromUcs2Hex(hex), text);
    }
};

QTEST_GUILESS_MAIN(TestHexDigits)
#include "tst_hexdigits.moc"
