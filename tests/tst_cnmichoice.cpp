// SPDX-License-Identifier: GPL-3.0-or-later
// The +CNMI setting Connect takes from what a modem's AT+CNMI=? offers, for real answers.
#include "modem/cnmichoice.h"

#include <QtTest>

using namespace pellix;

class TestCnmiChoice : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void closestOffered_data()
    {
        QTest::addColumn<QByteArray>("offered");  // the modem's answer to AT+CNMI=?
        QTest::addColumn<QByteArray>("wanted");
        QTest::addColumn<int>("purpose");
        QTest::addColumn<bool>("acknowledged");
        QTest::addColumn<QByteArray>("expected");
        const int live = int(CnmiPurpose::Live);
        const int stored = int(CnmiPurpose::Stored);
        const int closing = int(CnmiPurpose::Closing);
        const QByteArray full = "+CNMI: (0-3),(0-3),(0,2),(0-2),(0,1)";
        // Phones of gammu tests/at-cnmi: no <mt> 2, no <ds> 2.
        const QByteArray phone = "+CNMI: (2),(0-1,3),(0,2),(0-1),(0)";
        QTest::newRow("all offered, routing acknowledged") << full << QByteArray("2,2,0,1,0") << live << true
                                                           << QByteArray("2,2,0,1,0");
        QTest::newRow("routing not acknowledged: store and indicate") << full << QByteArray("2,2,0,1,0") << live
                                                                      << false << QByteArray("2,1,0,2,0");
        QTest::newRow("phone without <mt> 2") << phone << QByteArray("2,2,0,1,1") << live << true
                                              << QByteArray("2,1,0,1,0");
        QTest::newRow("phone, storing mode") << phone << QByteArray("2,1,0,2,0") << stored << true
                                             << QByteArray("2,1,0,1,0");
        QTest::newRow("store-and-indicate only") << QByteArray("+CNMI: (0-3),(0,1),(0,2),(0,2),(0,1)")
                                                 << QByteArray("2,2,0,1,0") << live << true << QByteArray("2,1,0,2,0");
        QTest::newRow("answer without parentheses") << QByteArray("+CNMI: 1-2,0-1,0,0-2,0") << QByteArray("3,2,2,1,1")
                                                    << live << true << QByteArray("2,1,0,1,0");
        QTest::newRow("closing a routing session") << full << QByteArray("2,2,0,1,0") << closing << true
                                                   << QByteArray("2,1,0,2,0");
        QTest::newRow("closing where reports cannot be stored") << phone << QByteArray("2,2")
                                                                << closing << true << QByteArray("2,1,0,0");
        QTest::newRow("nothing offered: the wish as it is") << QByteArray("ERROR") << QByteArray("2,2,0,1,0") << live
                                                            << true << QByteArray("2,2,0,1,0");
    }
    void closestOffered()
    {
        QFETCH(QByteArray, offered);
        QFETCH(QByteArray, wanted);
        QFETCH(int, purpose);
        QFETCH(bool, acknowledged);
        QFETCH(QByteArray, expected);
        const TestRanges support = TestRanges::parse(offered, "+CNMI:");
        QCOMPARE(cnmiText(closestCnmi(cnmiValues(wanted), support, CnmiPurpose(purpose), acknowledged)), expected);
    }
};

QTEST_GUILESS_MAIN(TestCnmiChoice)
#include "tst_cnmichoice.moc"
