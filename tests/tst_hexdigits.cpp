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
};

QTEST_GUILESS_MAIN(TestHexDigits)
#include "tst_hexdigits.moc"
