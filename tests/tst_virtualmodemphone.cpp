// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodemfixture.h"

class TestVirtualModemPhone : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ringing_data();
    void ringing();
    void answerAndHangUp();
    void phonebook_data();
    void phonebook();
    void phonebookFull();
    void phonebookCharsets_data();
    void phonebookCharsets();
    void callForwarding_data();
    void callForwarding();
    void startingSimContents();
};

void TestVirtualModemPhone::ringing_data()
{
    QTest::addColumn<QByteArrayList>("setup");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArrayList>("expected");  // "<second> <line>"
    using L = QByteArrayList;
    const QByteArray clip = "+CLIP: \"+393470001234\",145";
    QTest::newRow("three rings") << L{} << QStringLiteral("RING me") << L{"3 RING", "6 RING", "9 RING"};
    QTest::newRow("caller id after each ring")
        << L{"AT+CLIP=1"} << QStringLiteral("call me back")
        << L{"3 RING", "3 " + clip, "6 RING", "6 " + clip, "9 RING", "9 " + clip};
    QTest::newRow("cellular result code") << L{"AT+CRC=1"} << QStringLiteral("  ring")
                                          << L{"3 +CRING: VOICE", "6 +CRING: VOICE", "9 +CRING: VOICE"};
    QTest::newRow("text that only mentions it") << L{} << QStringLiteral("Please RING me") << L{};
    QTest::newRow("unconditional forwarding takes the call")
        << L{"AT+CCFC=0,3,\"+390000111\",145"} << QStringLiteral("RING") << L{};
    QTest::newRow("forwarding for data only does not")
        << L{"AT+CCFC=0,3,\"+390000111\",145,2"} << QStringLiteral("RING") << L{"3 RING", "6 RING", "9 RING"};
    QTest::newRow("forwarding when busy does not")
        << L{"AT+CCFC=1,3,\"+390000111\",145"} << QStringLiteral("RING") << L{"3 RING", "6 RING", "9 RING"};
    QTest::newRow("cancelled forwarding does not")
        << L{"AT+CCFC=0,3,\"+390000111\",145", "AT+CCFC=4,4"} << QStringLiteral("RING")
        << L{"3 RING", "6 RING", "9 RING"};
    QTest::newRow("auto-answer after two rings")
        << L{"ATS0=2"} << QStringLiteral("RING") << L{"3 RING", "6 RING", "11 NO CARRIER"};
}

void TestVirtualModemPhone::ringing()
{
    QFETCH(QByteArrayList, setup);
    QFETCH(QString, text);
    QFETCH(QByteArrayList, expected);
    Rig rig;
    rig.plain();
    for (const QByteArray &command : setup)
        QCOMPARE(rig.at(command), QList<QByteArray>{"OK"});
    QVERIFY(rig.sendReference(submitPdu(QStringLiteral("+393470001234"), text)) > 0);
    QByteArrayList seen;
    for (const auto &[ms, line] : rig.collect(20000))
        seen << QByteArray::number(ms / 1000) + ' ' + line;
    QCOMPARE(seen, expected);
}

void TestVirtualModemPhone::answerAndHangUp()
{
    Rig rig;
    rig.plain();
    rig.modem.incomingCall(QStringLiteral("+39111"));
    QCOMPARE(rig.advance(0), QList<QByteArray>{"RING"});
    QCOMPARE(rig.at("AT+CLCC"), (QList<QByteArray>{"+CLCC: 1,1,4,0,0,\"+39111\",145", "OK"}));
    QCOMPARE(rig.at("ATA"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CLCC"), (QList<QByteArray>{"+CLCC: 1,1,0,0,0,\"+39111\",145", "OK"}));
    // Answered: no more rings; the caller hangs up after five seconds.
    QCOMPARE(rig.advance(4999), QList<QByteArray>{});
    QCOMPARE(rig.advance(1), QList<QByteArray>{"NO CARRIER"});
    QCOMPARE(rig.at("AT+CLCC"), QList<QByteArray>{"OK"});

    rig.modem.incomingCall(QStringLiteral("+39222"));
    QCOMPARE(rig.advance(0), QList<QByteArray>{"RING"});
    QCOMPARE(rig.at("AT+CHUP"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.advance(20000), QList<QByteArray>{});
    QCOMPARE(rig.at("ATA"), QList<QByteArray>{"NO CARRIER"});

    // A second caller while the first rings gets busy.
    rig.modem.incomingCall(QStringLiteral("+39333"));
    rig.modem.incomingCall(QStringLiteral("+39444"));
    QCOMPARE(rig.advance(0), QList<QByteArray>{"RING"});
    QCOMPARE(rig.at("AT+CLCC").value(0), QByteArray("+CLCC: 1,1,4,0,0,\"+39333\",145"));
}

void TestVirtualModemPhone::phonebook_data()
{
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QByteArrayList>("entries");
    using L = QByteArrayList;
    QTest::newRow("write at an index") << QByteArray("AT+CPBW=10,\"+391234\",145,\"Test\"") << QByteArray("OK")
                                       << QByteArray("AT+CPBR=10") << L{"+CPBR: 10,\"+391234\",145,\"Test\""};
    QTest::newRow("overwrite") << QByteArray("AT+CPBW=1,\"555\",129,\"New\"") << QByteArray("OK")
                               << QByteArray("AT+CPBR=1") << L{"+CPBR: 1,\"555\",129,\"New\""};
    QTest::newRow("first free place") << QByteArray("AT+CPBW=,\"555\",129,\"Free\"") << QByteArray("OK")
                                      << QByteArray("AT+CPBR=4") << L{"+CPBR: 4,\"555\",129,\"Free\""};
    QTest::newRow("international type adds the plus") << QByteArray("AT+CPBW=7,\"391234\",145,\"Intl\"")
                                                      << QByteArray("OK") << QByteArray("AT+CPBR=7")
                                                      << L{"+CPBR: 7,\"+391234\",145,\"Intl\""};
    QTest::newRow("a plus makes it international") << QByteArray("AT+CPBW=7,\"+391234\",129,\"Intl\"")
                                                   << QByteArray("OK") << QByteArray("AT+CPBR=7")
                                                   << L{"+CPBR: 7,\"+391234\",145,\"Intl\""};
    QTest::newRow("type from the number") << QByteArray("AT+CPBW=8,\"+391234\",,\"T\"") << QByteArray("OK")
                                          << QByteArray("AT+CPBR=8") << L{"+CPBR: 8,\"+391234\",145,\"T\""};
    QTest::newRow("delete by index") << QByteArray("AT+CPBW=2") << QByteArray("OK") << QByteArray("AT+CPBR=1,3")
                                     << L{"+CPBR: 1,\"+393471234567\",145,\"Anna Rossi\"", "+CPBR: 3,\"4242\",129,\"Voicemail\""};
    QTest::newRow("delete an empty place") << QByteArray("AT+CPBW=50") << QByteArray("OK")
                                           << QByteArray("AT+CPBR=50") << L{};
    QTest::newRow("name of 20 characters") << QByteArray("AT+CPBW=9,\"1\",129,\"ABCDEFGHIJKLMNOPQRST\"")
                                           << QByteArray("OK") << QByteArray("AT+CPBR=9")
                                           << L{"+CPBR: 9,\"1\",129,\"ABCDEFGHIJKLMNOPQRST\""};
    QTest::newRow("name too long") << QByteArray("AT+CPBW=9,\"1\",129,\"ABCDEFGHIJKLMNOPQRSTU\"")
                                   << QByteArray("+CME ERROR: 24") << QByteArray("AT+CPBR=9") << L{};
    QTest::newRow("number of 20 digits") << QByteArray("AT+CPBW=9,\"+12345678901234567890\",145,\"N\"")
                                         << QByteArray("OK") << QByteArray("AT+CPBR=9")
                                         << L{"+CPBR: 9,\"+12345678901234567890\",145,\"N\""};
    QTest::newRow("number too long") << QByteArray("AT+CPBW=9,\"123456789012345678901\",129,\"N\"")
                                     << QByteArray("+CME ERROR: 26") << QByteArray("AT+CPBR=9") << L{};
    QTest::newRow("letters in the number") << QByteArray("AT+CPBW=9,\"12AB\",129,\"N\"") << QByteArray("+CME ERROR: 27")
                                           << QByteArray("AT+CPBR=9") << L{};
    QTest::newRow("index zero") << QByteArray("AT+CPBW=0,\"1\",129,\"N\"") << QByteArray("+CME ERROR: 21")
                                << QByteArray("AT+CPBR=1") << L{"+CPBR: 1,\"+393471234567\",145,\"Anna Rossi\""};
    QTest::newRow("index past the end") << QByteArray("AT+CPBW=101,\"1\",129,\"N\"") << QByteArray("+CME ERROR: 21")
                                        << QByteArray("AT+CPBR=100") << L{};
    QTest::newRow("read past the end") << QByteArray("AT") << QByteArray("OK") << QByteArray("AT+CPBR=1,101")
                                       << L{"+CME ERROR: 21"};
    QTest::newRow("read a reversed range") << QByteArray("AT") << QByteArray("OK") << QByteArray("AT+CPBR=5,4")
                                           << L{"+CME ERROR: 21"};
}

void TestVirtualModemPhone::phonebook()
{
    QFETCH(QByteArray, write);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, read);
    QFETCH(QByteArrayList, entries);
    Rig rig;
    rig.plain();
    QCOMPARE(rig.at(write), QList<QByteArray>{answer});
    QList<QByteArray> lines = rig.at(read);
    if (lines.value(lines.size() - 1) == "OK")
        lines.removeLast();
    QCOMPARE(lines, entries);
}

void TestVirtualModemPhone::phonebookFull()
{
    Rig rig;
    rig.plain();
    for (int i = 0; i < 95; ++i)
        QCOMPARE(rig.at("AT+CPBW=,\"12345\",129,\"Filler\""), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CPBS?"), (QList<QByteArray>{"+CPBS: \"SM\",100,100", "OK"}));
    QCOMPARE(rig.at("AT+CPBW=,\"12345\",129,\"One more\""), QList<QByteArray>{"+CME ERROR: 20"});
    // Writing over a used place still works.
    QCOMPARE(rig.at("AT+CPBW=100,\"999\",129,\"Last\""), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at("AT+CPBR=100").value(0), QByteArray("+CPBR: 100,\"999\",129,\"Last\""));
}

void TestVirtualModemPhone::phonebookCharsets_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("name");      // as read back in IRA
    QTest::addColumn<QByteArray>("readBack"); // the text field read back in the same set
    QTest::newRow("UCS2 hex") << QByteArray("UCS2") << QByteArray("004A00FC0072006700650006E") << QByteArray("+CME ERROR: 25")
                              << QString() << QByteArray();
    QTest::newRow("UCS2") << QByteArray("UCS2") << QByteArray("004A00FC007200670065006E") << QByteArray("OK")
                          << QStringLiteral("Jürgen") << QByteArray("004A00FC007200670065006E");
    QTest::newRow("GSM") << QByteArray("GSM") << QByteArray("J~rgen") << QByteArray("OK") << QStringLiteral("Jürgen")
                         << QByteArray("J~rgen");
    QTest::newRow("IRA keeps UTF-8") << QByteArray("IRA") << QByteArray("J\xC3\xBCrgen") << QByteArray("OK")
                                     << QStringLiteral("Jürgen") << QByteArray("J\xC3\xBCrgen");
}

void TestVirtualModemPhone::phonebookCharsets()
{
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, written);
    QFETCH(QByteArray, answer);
    QFETCH(QString, name);
    QFETCH(QByteArray, readBack);
    Rig rig;
    rig.plain();
    rig.at("AT+CSCS=\"" + charset + '"');
    QCOMPARE(rig.at("AT+CPBW=20,\"123\",129,\"" + written + '"'), QList<QByteArray>{answer});
    if (answer != "OK")
        return;
    QCOMPARE(rig.at("AT+CPBR=20").value(0), "+CPBR: 20,\"123\",129,\"" + readBack + '"');
    rig.at("AT+CSCS=\"IRA\"");
    QCOMPARE(rig.at("AT+CPBR=20").value(0), "+CPBR: 20,\"123\",129,\"" + name.toUtf8() + '"');
}

void TestVirtualModemPhone::callForwarding_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArrayList>("answer");  // of the last command
    using L = QByteArrayList;
    QTest::newRow("nothing forwarded") << L{"AT+CCFC=0,2"} << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("registered for all three classes")
        << L{"AT+CCFC=0,3,\"+391234\",145", "AT+CCFC=0,2"}
        << L{"+CCFC: 1,1,\"+391234\",145", "+CCFC: 1,2,\"+391234\",145", "+CCFC: 1,4,\"+391234\",145", "OK"};
    QTest::newRow("registered for voice") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,2"}
                                          << L{"+CCFC: 1,1,\"+391234\",145", "OK"};
    QTest::newRow("query of one class") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,2,,,2"}
                                        << L{"+CCFC: 0,2", "OK"};
    QTest::newRow("each reason on its own") << L{"AT+CCFC=1,3,\"+391234\",145,1", "AT+CCFC=0,2"}
                                            << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("no reply shows its time") << L{"AT+CCFC=2,3,\"+391234\",145,1,,,15", "AT+CCFC=2,2"}
                                             << L{"+CCFC: 1,1,\"+391234\",145,,,15", "OK"};
    QTest::newRow("disabled keeps the number") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,0", "AT+CCFC=0,2"}
                                               << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("enabled again") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,0", "AT+CCFC=0,1", "AT+CCFC=0,2"}
                                   << L{"+CCFC: 1,1,\"+391234\",145", "OK"};
    QTest::newRow("erased cannot be enabled") << L{"AT+CCFC=0,3,\"+391234\",145,1", "AT+CCFC=0,4", "AT+CCFC=0,1"}
                                              << L{"+CME ERROR: 3"};
    QTest::newRow("all conditional covers busy")
        << L{"AT+CCFC=5,3,\"391234\",129,1", "AT+CCFC=1,2"} << L{"+CCFC: 1,1,\"391234\",129", "OK"};
    QTest::newRow("all conditional leaves unconditional alone")
        << L{"AT+CCFC=5,3,\"391234\",129,1", "AT+CCFC=0,2"} << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("erasing all") << L{"AT+CCFC=0,3,\"+391\",145", "AT+CCFC=3,3,\"+392\",145", "AT+CCFC=4,4",
                                      "AT+CCFC=4,2"}
                                 << L{"+CCFC: 0,7", "OK"};
    QTest::newRow("query of all reasons") << L{"AT+CCFC=3,3,\"+392\",145,1", "AT+CCFC=4,2"}
                                          << L{"+CCFC: 1,1,\"+392\",145", "OK"};
    QTest::newRow("registration needs a number") << L{"AT+CCFC=0,3"} << L{"+CME ERROR: 3"};
    QTest::newRow("number too long") << L{"AT+CCFC=0,3,\"123456789012345678901\""} << L{"+CME ERROR: 26"};
    QTest::newRow("no reply time out of range") << L{"AT+CCFC=2,3,\"+391234\",145,1,,,31"} << L{"ERROR"};
}

void TestVirtualModemPhone::callForwarding()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, answer);
    QCOMPARE(Rig().plain().lastOf(commands), answer);
}

void TestVirtualModemPhone::startingSimContents()
{
    const auto listing = [](quint64 seed) {
        VirtualModemOptions options;
        options.seed = seed;
        Rig rig(options);
        rig.plain();
        return rig.at("AT+CMGL=4");
    };
    const QList<QByteArray> lines = listing(1);
    QCOMPARE(listing(1), lines);
    QVERIFY(listing(2) != lines);  // other time stamps
    QCOMPARE(lines.size(), 17);

    QMap<int, int> alphabets;
    QStringList texts;
    int reports = 0;
    int unread = 0;
    for (int i = 0; i + 1 < lines.size(); i += 2) {
        unread += lines.at(i).split(',').value(1) == "0" ? 1 : 0;
        const QByteArray hex = lines.at(i + 1);
        if (pdu::pduType(hex) == pdu::PduType::StatusReport) {
            ++reports;
            continue;
        }
        const pdu::DeliverPdu deliver = pdu::decodeDeliver(hex);
        ++alphabets[deliver.dcs.alphabet];
        texts << deliver.text;
        QVERIFY(deliver.timestamp < ManualClock::defaultStart());
    }
    QCOMPARE(reports, 1);
    QCOMPARE(unread, 6);
    QCOMPARE(alphabets.value(pdu::Gsm7), 5);
    QCOMPARE(alphabets.value(pdu::Ucs2), 1);
    QCOMPARE(alphabets.value(pdu::Bit8), 1);
    QVERIFY(texts.join(QString()).contains(QStringLiteral("München")));
    QVERIFY(texts.join(QString()).contains(QStringLiteral("€")));
    QVERIFY(texts.join(QString()).contains(QStringLiteral("+3934811111111")));
}

QTEST_GUILESS_MAIN(TestVirtualModemPhone)
#include "tst_virtualmodemphone.moc"
