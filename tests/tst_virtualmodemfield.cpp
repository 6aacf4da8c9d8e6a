// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodemfixture.h"

class TestVirtualModemField : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transportPassesBytesAndEvents();
    void transportFaults();
    void vendorLines_data();
    void vendorLines();
    void lateAnswers_data();
    void lateAnswers();
    void floodComesAtOnce_data();
    void floodComesAtOnce();
    void freezesWithThePortOpen();
};

void TestVirtualModemField::transportPassesBytesAndEvents()
{
    auto clock = std::make_shared<ManualClock>();
    auto modem = std::make_shared<VirtualModem>(VirtualModemOptions(), clock);
    VirtualModemTransport transport(modem);
    QSignalSpy arrived(&transport, &ByteTransport::bytesArrived);
    QVERIFY(transport.isOpen());
    QVERIFY(transport.write("ATE0\r"));
    // Answered at once, without waiting.
    QCOMPARE(transport.takeAvailable(), QByteArray("ATE0\r\r\nOK\r\n"));
    QVERIFY(!transport.waitForBytes(QDeadlineTimer(30)));

    modem->incomingCall(QStringLiteral("+39111"));
    transport.pollNow();
    QCOMPARE(arrived.count(), 1);
    transport.pollNow();
    QCOMPARE(arrived.count(), 1);  // once per new output, not per tick
    QVERIFY(transport.waitForBytes(QDeadlineTimer(0)));
    QCOMPARE(linesOf(transport.takeAvailable()), QList<QByteArray>{"RING"});

    // Events that fall due are run inside the wait.
    clock->advance(3000);
    QVERIFY(transport.waitForBytes(QDeadlineTimer(1000)));
    QCOMPARE(linesOf(transport.takeAvailable()), QList<QByteArray>{"RING"});
    clock->advance(3000);
    QTRY_COMPARE(arrived.count(), 2);  // the idle timer found it
    QCOMPARE(linesOf(transport.takeAvailable()), QList<QByteArray>{"RING"});

    transport.close();
    QVERIFY(!transport.isOpen());
    QVERIFY(!transport.write("AT\r"));
    QVERIFY(!transport.waitForBytes(QDeadlineTimer(10)));
}

void TestVirtualModemField::transportFaults()
{
    {
        // A client that left the prompt open does not swallow the next one's first command.
        auto modem = std::make_shared<VirtualModem>(VirtualModemOptions(), std::make_shared<ManualClock>());
        VirtualModemTransport first(modem);
        first.write("AT+CMGS=20\r00");
        first.close();
        VirtualModemTransport second(modem);
        second.write("AT\r");
        QCOMPARE(linesOf(second.takeAvailable()), (QList<QByteArray>{"AT", "OK"}));
    }

    auto modem = std::make_shared<VirtualModem>(VirtualModemOptions(), std::make_shared<ManualClock>());
    VirtualModemTransport transport(modem);
    QSignalSpy failed(&transport, &ByteTransport::failed);

    transport.setFault(VirtualModemTransport::Fault::Silent);
    QVERIFY(transport.write("AT\r"));
    QVERIFY(!transport.waitForBytes(QDeadlineTimer(20)));
    QCOMPARE(transport.takeAvailable(), QByteArray());

    transport.setFault(VirtualModemTransport::Fault::Chatter);
    QVERIFY(transport.waitForBytes(QDeadlineTimer(0)));
    const QByteArray noise = transport.takeAvailable();
    QVERIFY(noise.contains("^RSSI:") || noise.contains("^BOOT:"));

    transport.setFault(VirtualModemTransport::Fault::None);
    transport.write("AT\r");
    QCOMPARE(linesOf(transport.takeAvailable()), (QList<QByteArray>{"AT", "OK"}));

    transport.setFault(VirtualModemTransport::Fault::Unplugged);
    QCOMPARE(failed.count(), 1);
    QVERIFY(!transport.isOpen());
    QVERIFY(!transport.write("AT\r"));
    QVERIFY(!transport.errorText().isEmpty());
    QVERIFY(!transport.waitForBytes(QDeadlineTimer(10)));
}

using Script = std::function<QByteArray(Rig &)>;

void TestVirtualModemField::vendorLines_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<QByteArray>("header");  // each is followed by vendor lines, then its PDU
    const QByteArray own = VirtualNetwork::OwnNumber;
    QTest::newRow("+CMGL") << Script([](Rig &r) { return r.raw("AT+CMGL=4\r"); }) << QByteArray("+CMGL:");
    QTest::newRow("+CMGR") << Script([](Rig &r) { return r.raw("AT+CMGR=2\r"); }) << QByteArray("+CMGR:");
    QTest::newRow("+CMT") << Script([own](Rig &r) {
        r.at("AT+CNMI=2,2,0,0,0");
        r.send(submitPdu(QString::fromLatin1(own), QStringLiteral("back")));
        r.clock->advance(3000);
        r.modem.poll();
        return r.modem.takeOutput();
    }) << QByteArray("+CMT:");
    QTest::newRow("+CDS") << Script([own](Rig &r) {
        r.at("AT+CNMI=2,1,0,1,0");
        r.send(submitPdu(QString::fromLatin1(own), QStringLiteral("report"), true));
        r.clock->advance(3000);
        r.modem.poll();
        return r.modem.takeOutput();
    }) << QByteArray("+CDS:");
    QTest::newRow("now and then before a final code") << Script([](Rig &r) {
        QByteArray out;
        for (int i = 0; i < 20; ++i)
            out += r.raw("AT+CSQ\r");
        return out;
    }) << QByteArray();
}

void TestVirtualModemField::vendorLines()
{
    QFETCH(Script, script);
    QFETCH(QByteArray, header);
    VirtualModemOptions noisy;
    noisy.field.vendorNoise = true;
    Rig quiet;
    Rig loud(noisy);
    Rig again(noisy);
    for (Rig *rig : {&quiet, &loud, &again})
        rig->plain();
    const QList<QByteArray> expected = linesOf(script(quiet));
    const QByteArray out = script(loud);
    QCOMPARE(script(again), out);  // the seed decides where they go

    const auto vendor = [](const QByteArray &line) { return line.startsWith('^') || line.startsWith("+QIND:"); };
    const QList<QByteArray> lines = linesOf(out);
    QList<QByteArray> withoutVendor;
    int headers = 0;
    int finals = 0;
    int finalsAfterVendor = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (vendor(lines.at(i)))
            continue;
        withoutVendor << lines.at(i);
        if (!header.isEmpty() && lines.at(i).startsWith(header)) {
            ++headers;
            QVERIFY2(vendor(lines.value(i + 1)), lines.value(i + 1).constData());
        }
        if (lines.at(i) == "OK") {
            ++finals;
            finalsAfterVendor += i > 0 && vendor(lines.at(i - 1));
        }
    }
    // Nothing else changes: the same answers, codes and PDUs, in the same order.
    QCOMPARE(withoutVendor, expected);
    if (!header.isEmpty()) {
        QVERIFY(headers > 0);
    } else {
        QVERIFY(finalsAfterVendor > 0);
        QVERIFY(finalsAfterVendor < finals);
    }
}

void TestVirtualModemField::lateAnswers_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("lateCount");
    QTest::newRow("echo on, every +CSQ late") << true << 0;
    QTest::newRow("echo off, the first +CSQ late") << false << 1;
}

void TestVirtualModemField::lateAnswers()
{
    QFETCH(bool, echo);
    QFETCH(int, lateCount);
    VirtualModemOptions options;
    options.echo = echo;
    options.field.lateReplyMs = 3000;
    options.field.lateCommands = {"+CSQ"};
    options.field.lateReplyCount = lateCount;
    Rig rig(options);
    const QList<QByteArray> csqEcho = echo ? QList<QByteArray>{"AT+CSQ"} : QList<QByteArray>{};
    const QList<QByteArray> atEcho = echo ? QList<QByteArray>{"AT"} : QList<QByteArray>{};
    QCOMPARE(rig.at("AT+CGMI").mid(echo ? 1 : 0), (QList<QByteArray>{"Pellix", "OK"}));  // others at once
    // The line is echoed as typed; its answer waits on the clock, and so does the next line.
    QCOMPARE(rig.at("AT+CSQ"), csqEcho);
    QCOMPARE(rig.at("AT"), QList<QByteArray>{});
    QCOMPARE(rig.advance(2999), QList<QByteArray>{});
    const QList<QByteArray> late = rig.advance(1);
    QCOMPARE(late.size(), 3 + atEcho.size());
    QVERIFY(late.at(0).startsWith("+CSQ: "));
    QCOMPARE(late.mid(1), QList<QByteArray>{"OK"} + atEcho + QList<QByteArray>{"OK"});
    // A modem that has recovered answers at once; one still under load stays late.
    const QList<QByteArray> next = rig.at("AT+CSQ");
    QCOMPARE(next.size(), lateCount ? csqEcho.size() + 2 : csqEcho.size());
}

void TestVirtualModemField::floodComesAtOnce_data()
{
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QByteArray>("code");
    QTest::newRow("routed, acknowledged afterwards") << QByteArray("AT+CSMS=1;+CNMI=2,2,0,0,0") << QByteArray("+CMT: ");
    QTest::newRow("stored beyond a SIM's size") << QByteArray("AT+CNMI=2,1,0,0,0") << QByteArray("+CMTI: ");
}

void TestVirtualModemField::floodComesAtOnce()
{
    QFETCH(QByteArray, setting);
    QFETCH(QByteArray, code);
    constexpr int Count = 200;
    VirtualModemOptions options;
    options.echo = false;
    options.field.floodMessages = Count;
    Rig rig(options);
    QCOMPARE(rig.at("AT+CMEE=1"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.at(setting).last(), QByteArray("OK"));
    const QList<QByteArray> lines = rig.advance(0);
    QList<QByteArray> codes;
    for (const QByteArray &line : lines) {
        if (line.startsWith(code))
            codes << line;
    }
    QCOMPARE(codes.size(), Count);
    QByteArray last;
    if (code == "+CMT: ") {
        last = lines.last();
        // Pushed without waiting, each one acknowledged afterwards; no more than were pushed.
        for (int i = 0; i < Count; ++i)
            QCOMPARE(rig.at("AT+CNMA"), QList<QByteArray>{"OK"});
        QCOMPARE(rig.at("AT+CNMA"), QList<QByteArray>{"+CMS ERROR: 340"});
    } else {
        const QByteArray index = codes.last().mid(codes.last().indexOf(',') + 1);
        last = rig.at("AT+CMGR=" + index).value(1);
    }
    QCOMPARE(pdu::decodeDeliver(last).text, QStringLiteral("flood %1").arg(Count));
}

void TestVirtualModemField::freezesWithThePortOpen()
{
    VirtualModemOptions options;
    options.echo = false;
    options.field.freezeAfterSeconds = 5;
    Rig rig(options);
    QCOMPARE(rig.at("AT"), QList<QByteArray>{"OK"});
    QCOMPARE(rig.advance(5000), QList<QByteArray>{});
    QCOMPARE(rig.at("AT"), QList<QByteArray>{});
    rig.modem.incomingCall(QStringLiteral("+15550001"));
    QCOMPARE(rig.advance(10000), QList<QByteArray>{});
}

QTEST_GUILESS_MAIN(TestVirtualModemField)
#include "tst_virtualmodemfield.moc"
