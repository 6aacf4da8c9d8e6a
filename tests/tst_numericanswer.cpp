// SPDX-License-Identifier: GPL-3.0-or-later
#include "numericanswer.h"
#include "raisederror.h"

#include <QTest>

#include <cmath>
#include <limits>

class tst_NumericAnswer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain integer") << "12" << 12.0;
        QTest::newRow("blanks anywhere are ignored") << " 1 2" << 12.0;
        QTest::newRow("tabs and line feeds are ignored") << "\t1\n2 " << 12.0;
        QTest::newRow("carriage return ends the number") << "1\r2" << 1.0;
        QTest::newRow("stops at the first other character") << "12abc" << 12.0;
        QTest::newRow("exponent then garbage") << "1.5e1x" << 15.0;
        QTest::newRow("negative exponent") << "25E-1" << 2.5;
        QTest::newRow("exponent with plus") << "1e+2" << 100.0;
        QTest::newRow("BASIC exponent letter D") << "1d2" << 100.0;
        QTest::newRow("exponent letter without digits is not read") << "12e" << 12.0;
        QTest::newRow("exponent sign without digits is not read") << "12e-" << 12.0;
        QTest::newRow("blanks inside the exponent") << "1 e 2" << 100.0;
        QTest::newRow("hexadecimal") << "&HFF" << 255.0;
        QTest::newRow("hexadecimal lower case") << "&hff" << 255.0;
        QTest::newRow("hexadecimal stops at a non-digit") << "&H1G" << 1.0;
        QTest::newRow("hex reads no fraction") << "&H10.8" << 16.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("octal stops at 8") << "&o178" << 15.0;
        QTest::newRow("ampersand alone") << "&" << 0.0;
        QTest::newRow("unknown radix") << "&X10" << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("two signs") << "--5" << 0.0;
        QTest::newRow("sign then blank then digits") << "- 5" << -5.0;
        QTest::newRow("plus sign") << "+7" << 7.0;
        QTest::newRow("no number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("only blanks") << "   " << 0.0;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("trailing point") << "5." << 5.0;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("second point ends the number") << "1.5.3" << 1.5;
        QTest::newRow("comma is not a decimal point") << "1,5" << 1.0;
        QTest::newRow("negative fraction") << "-12.5" << -12.5;
        QTest::newRow("port name rest with a remark") << "3 (USB)" << 3.0;
        QTest::newRow("leading zeros") << "007" << 7.0;
        QTest::newRow("tiny exponent reads as zero") << "1e-400" << 0.0;
        QTest::newRow("many digits") << "123456789012345678901234567890" << 1.2345678901234568e29;
    }
    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(NumericAnswer::leadingNumber(text), value);
    }

    void hugeNumbersAreInfinite_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("sign");
        QTest::newRow("exponent beyond a double") << "1e400" << 1.0;
        QTest::newRow("negative beyond a double") << "-1e400" << -1.0;
        QTest::newRow("absurd exponent") << "9e99999999999999999999" << 1.0;
        QTest::newRow("leading zeros do not hide the size") << "0000.0001e400" << 1.0;
    }
    void hugeNumbersAreInfinite()
    {
        QFETCH(QString, text);
        QFETCH(double, sign);
        const double v = NumericAnswer::leadingNumber(text);
        QVERIFY(std::isinf(v));
        QCOMPARE(v > 0 ? 1.0 : -1.0, sign);
    }

    void toInteger16_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("rounded");
        QTest::newRow("2.5 to the even 2") << 2.5 << 2;
        QTest::newRow("3.5 to the even 4") << 3.5 << 4;
        QTest::newRow("0.5 to 0") << 0.5 << 0;
        QTest::newRow("1.5 to 2") << 1.5 << 2;
        QTest::newRow("-2.5 to -2") << -2.5 << -2;
        QTest::newRow("-3.5 to -4") << -3.5 << -4;
        QTest::newRow("-0.5 to 0") << -0.5 << 0;
        QTest::newRow("below a half rounds down") << 12.4999 << 12;
        QTest::newRow("above a half rounds up") << 12.5001 << 13;
        QTest::newRow("negative above a half") << -12.6 << -13;
        QTest::newRow("upper limit") << 32767.0 << 32767;
        QTest::newRow("lower limit") << -32768.0 << -32768;
        QTest::newRow("half above the top goes to the even 32766") << 32766.5 << 32766;
        QTest::newRow("half below the bottom goes to the even -32768") << -32768.5 << -32768;
        QTest::newRow("just under the top") << 32767.4 << 32767;
    }
    void toInteger16()
    {
        QFETCH(double, value);
        QFETCH(int, rounded);
        QCOMPARE(int(NumericAnswer::toInteger16(value)), rounded);
    }

    void overflow_data()
    {
        QTest::addColumn<double>("value");
        QTest::newRow("one above the top") << 32768.0;
        QTest::newRow("32767.5 rounds to the even 32768, out of range") << 32767.5;
        QTest::newRow("one below the bottom") << -32769.0;
        QTest::newRow("just below the bottom") << -32768.6;
        QTest::newRow("large") << 1e10;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
        QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity();
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN();
    }
    void overflow()
    {
        QFETCH(double, value);
        try {
            NumericAnswer::toInteger16(value);
            QFAIL("no overflow raised");
        } catch (const RaisedError &e) {
            QCOMPARE(e.number(), 6);
            QCOMPARE(e.source(), QStringLiteral("Vendrel"));
            QCOMPARE(e.description(), QStringLiteral("Overflow"));
        }
    }

    void readInteger16_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("overflows");
        QTest::newRow("position 12.5 selects 12") << "12.5" << 12 << false;
        QTest::newRow("position 13.5 selects 14") << "13.5" << 14 << false;
        QTest::newRow("validity 1.5 gives 2") << "1.5" << 2 << false;
        QTest::newRow("cancelled box reads 0") << "" << 0 << false;
        QTest::newRow("delete all") << "-1" << -1 << false;
        QTest::newRow("hex position") << "&H7FFF" << 32767 << false;
        QTest::newRow("hex beyond 16 bits") << "&HFFFF" << 0 << true;
        QTest::newRow("validity above 32,767 minutes") << "40000" << 0 << true;
        QTest::newRow("exponent beyond a double") << "1e400" << 0 << true;
        QTest::newRow("tiny exponent") << "1e-400" << 0 << false;
        QTest::newRow("port beyond 16 bits") << "99999" << 0 << true;
        QTest::newRow("blanks inside a number") << " 3 2 7 6 7 " << 32767 << false;
    }
    void readInteger16()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(bool, overflows);
        try {
            QCOMPARE(int(NumericAnswer::readInteger16(text)), value);
            QVERIFY(!overflows);
        } catch (const RaisedError &e) {
            QVERIFY2(overflows, qPrintable(e.description()));
            QCOMPARE(e.number(), 6);
        }
    }
};

QTEST_GUILESS_MAIN(tst_NumericAnswer)
#include "tst_numericanswer.moc"
