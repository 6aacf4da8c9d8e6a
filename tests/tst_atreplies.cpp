// SPDX-License-Identifier: GPL-3.0-or-later
// Answers as real modems give them (captures quoted in gammu's and python-gsmmodem's test dumps):
// blanks or none after the colon, empty and missing fields, type 145 without "+".
#include "at/atreplies.h"

#include <QtTest>

using namespace pellix::replies;

class TestAtReplies : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fieldsSplitting_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("comma inside quotes") << QByteArray("+CPBR: 1,\"+39 1,2\",145,\"Doe, John\"") << QByteArray("+CPBR")
                                             << QList<QByteArray>{"1", "+39 1,2", "145", "Doe, John"};
        QTest::newRow("no blank after colon") << QByteArray("+CCFC:1,7,\"+420800123456\",129,\"\",128,0") << QByteArray("+CCFC")
                                              << QList<QByteArray>{"1", "7", "+420800123456", "129", "", "128", "0"};
        QTest::newRow("trailing empty fields") << QByteArray("+CCFC: 1,1,\"+420123456678\",145,,,") << QByteArray("+CCFC")
                                               << QList<QByteArray>{"1", "1", "+420123456678", "145", "", "", ""};
        QTest::newRow("blanks kept inside quotes") << QByteArray("+CPBR: 2,\"123\",129,\" Anna \"") << QByteArray("+CPBR")
                                                   << QList<QByteArray>{"2", "123", "129", " Anna "};
        QTest::newRow("other prefix") << QByteArray("+CSQ: 1,2") << QByteArray("+CPBR") << QList<QByteArray>{};
    }
    void fieldsSplitting()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, prefix);
        QFETCH(QList<QByteArray>, expected);
        QCOMPARE(fields(line, prefix), expected);
    }

    // The storages of +CPMS=?, as the protocol notes quote them: where a received message may be.
    void storageListsOfTheTestForm_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QList<QList<QByteArray>>>("expected");
        QTest::newRow("blanks between the lists") << QByteArray("+CPMS: (\"SM\",\"ME\"), (\"SM\",\"ME\"), (\"sm\",\"me\")")
                                                  << QList<QList<QByteArray>>{{"SM", "ME"}, {"SM", "ME"}, {"SM", "ME"}};
        QTest::newRow("outer parentheses, two lists (Wavecom)") << QByteArray("+CPMS: ((\"SM\",\"BM\",\"SR\"),(\"SM\"))")
                                                                << QList<QList<QByteArray>>{{"SM", "BM", "SR"}, {"SM"}};
        QTest::newRow("nothing named (Samsung)") << QByteArray("+CPMS: ") << QList<QList<QByteArray>>{};
    }
    void storageListsOfTheTestForm()
    {
        QFETCH(QByteArray, line);
        QFETCH(QList<QList<QByteArray>>, expected);
        QCOMPARE(storageLists(line), expected);
    }

    void listings_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("stat");
        QTest::addColumn<int>("length");
        QTest::newRow("empty alpha") << QByteArray("+CMGL: 1,0,,23") << 1 << 0 << 23;
        QTest::newRow("quoted empty alpha") << QByteArray("+CMGL: 1,0,\"\",23") << 1 << 0 << 23;
        QTest::newRow("alpha left out") << QByteArray("+CMGL: 12,1,28") << 12 << 1 << 28;
        QTest::newRow("not a listing") << QByteArray("+CMGL: x") << -2 << 0 << 0;
    }
    void listings()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, index);
        QFETCH(int, stat);
        QFETCH(int, length);
        const auto row = listedMessage(line);
        if (index == -2) {
            QVERIFY(!row);
            return;
        }
        QVERIFY(row);
        QCOMPARE(row->index, index);
        QCOMPARE(row->stat, stat);
        QCOMPARE(row->length, length);
    }

    void readHeaders()
    {
        QCOMPARE(readMessage("+CMGR: 3,,29")->length, 29);
        QCOMPARE(readMessage("+CMGR: 0,23")->stat, 0);
        QCOMPARE(readMessage("+CMGR: 1,\"\",23")->length, 23);
        QVERIFY(!readMessage("+CMGR:"));
    }

    void signalAndReference()
    {
        QCOMPARE(signalQuality("+CSQ: 21,99")->rssi, 21);
        QCOMPARE(signalQuality("+CSQ: 31, 99")->ber, 99);
        QVERIFY(!signalQuality("+CSQ: ,"));
        QCOMPARE(*messageReference("+CMGS: 42"), 42);
        QVERIFY(!messageReference("+CMGS: 300"));
        QVERIFY(!messageReference("+CMGS:"));
    }

    void phonebook()
    {
        const auto row = phonebookRow("+CPBR: 241,\"420603123456\",145,\"O2 AsistZahr\",0");
        QVERIFY(row);
        QCOMPARE(row->index, 241);
        QCOMPARE(row->number, QStringLiteral("+420603123456"));
        QCOMPARE(row->text, QStringLiteral("O2 AsistZahr"));
        QCOMPARE(phonebookRow("+CPBR: 3,\"123\",129,\"Ren\xc3\xa9\"")->text, QStringLiteral("René"));
        QCOMPARE(phonebookRow("+CPBR: 3,\"123\",129,\"Ren\xe9\"")->text, QStringLiteral("René"));
        QVERIFY(!phonebookRow("+CPBR: 3,\"123\""));

        const auto range = phonebookRange("+CPBR: (1-250),40,18");
        QVERIFY(range);
        QCOMPARE(range->first, 1);
        QCOMPARE(range->last, 250);
        QCOMPARE(range->numberLength, 40);
        QCOMPARE(range->textLength, 18);
        QVERIFY(!phonebookRange("+CPBR: (9-1)"));

        const auto use = phonebookStorage("+CPBS: \"SM\",3,250");
        QVERIFY(use);
        QCOMPARE(use->used, 3);
        QCOMPARE(use->total, 250);
    }

    // The phonebook and forwarding readers share the reading of a number and its <type>.
    void numbersAndTheirType_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("type");
        const struct
        {
            const char *name;
            QByteArray fields;   // <number>,<type>
            QString number;
            int type;
        } cases[] = {
            {"international without its plus", "\"391234\",145", QStringLiteral("+391234"), 145},
            {"international with its plus", "\"+391234\",145", QStringLiteral("+391234"), 145},
            {"unknown type keeps the digits", "\"391234\",129", QStringLiteral("391234"), 129},
            {"a plus under type 129 stays", "\"+420800123456\",129", QStringLiteral("+420800123456"), 129},
            {"no type: the plus decides", "\"+391234\",", QStringLiteral("+391234"), 145},
            {"no type and no plus", "\"391234\",", QStringLiteral("391234"), 129},
            {"empty number stays empty", "\"\",145", QString(), 145},
        };
        for (const auto &c : cases) {
            QTest::addRow("phonebook: %s", c.name) << "+CPBR: 1," + c.fields + ",\"N\"" << c.number << c.type;
            QTest::addRow("forwarding: %s", c.name) << "+CCFC: 1,1," + c.fields << c.number << c.type;
        }
    }
    void numbersAndTheirType()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, number);
        QFETCH(int, type);
        if (line.startsWith("+CPBR")) {
            const auto row = phonebookRow(line);
            QVERIFY(row);
            QCOMPARE(row->number, number);
            QCOMPARE(row->type, type);
        } else {
            const auto row = forwardingRow(line);
            QVERIFY(row);
            QCOMPARE(row->number, number);
            QCOMPARE(row->type, type);
        }
    }

    void forwarding()
    {
        const auto on = forwardingRow("+CCFC: 1,1,\"+420123456678\",145,,,");
        QVERIFY(on);
        QCOMPARE(on->status, 1);
        QCOMPARE(on->callClass, 1);
        QCOMPARE(on->number, QStringLiteral("+420123456678"));
        const auto off = forwardingRow("+CCFC:0,7");
        QVERIFY(off);
        QCOMPARE(off->status, 0);
        QCOMPARE(off->number, QString());
        QCOMPARE(forwardingRow("+CCFC: 1,1,\"3934811111111\",145")->number, QStringLiteral("+3934811111111"));
    }
};

QTEST_GUILESS_MAIN(TestAtReplies)
#include "tst_atreplies.moc"
