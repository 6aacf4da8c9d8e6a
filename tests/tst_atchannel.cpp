// SPDX-License-Identifier: GPL-3.0-or-later
// The AT channel against a scripted modem: answers in every delivery (whole, byte by byte, split
// at every position), unsolicited codes in the middle of answers, echo, the PDU prompt, late
// replies, floods, failures. Deadlines are short; no test asserts a duration beyond "it timed
// out, and not before its deadline".
#include "at/atchannel.h"
#include "pellixerror.h"
#include "raisederrorcode.h"
#include "scriptedtransport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

using namespace pellix;
using Delivery = ScriptedTransport::Delivery;

Q_DECLARE_METATYPE(pellix::AtCommand)

namespace {

struct Rig
{
    ScriptedTransport transport;
    AtChannel channel{transport};
    Rig() { channel.setStaleGraceMs(50); }
};

// The number a call raised, 0 when it returned.
qint32 raised(const std::function<void()> &call, QString *description = nullptr)
{
    try {
        call();
    } catch (const RaisedError &e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}


QString describe(const Unsolicited &u)
{
    static const char *const names[] = {"Ring", "Clip", "Cmti", "Cdsi", "Cmt", "Cds", "Creg", "Cusd", "Unknown"};
    QString s = QLatin1String(names[int(u.kind)]) + QLatin1Char(':') + QString::fromLatin1(u.line);
    if (!u.pdu.isEmpty())
        s += QLatin1Char('|') + QString::fromLatin1(u.pdu);
    return s;
}

QStringList describe(const QList<Unsolicited> &codes)
{
    QStringList out;
    for (const Unsolicited &u : codes)
        out << describe(u);
    return out;
}

ScriptedTransport::Reply delivered(const QByteArray &bytes, Delivery how, int splitAt = 0)
{
    ScriptedTransport::Reply r{bytes};
    r.delivery = how;
    r.splitAt = splitAt;
    return r;
}

const QByteArray Pdu1 = "07919730071111F1040B919730123456F70000026011419303400AC8329BFD6681EE6F399B1C03";
const QByteArray Pdu2 = "07919730071111F1040B919730123456F80000026011419313400441E19058";
const QByteArray PduX = "07919730071111F1000B919730654321F900000260114193534004D4F29C0E";
const QByteArray SubmitPdu = "0011000B919730123456F70000AA05E8329BFD06";

} // namespace

class TestAtChannel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<AtCommand>("command");
        QTest::addColumn<QByteArray>("reply");       // to the command line
        QTest::addColumn<QByteArray>("pduReply");    // to the PDU, when the command has one
        QTest::addColumn<int>("final");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<QByteArray>>("pdus");
        QTest::addColumn<QStringList>("unsolicited");

        const AtCommand csq = AtCommand::prefixed("AT+CSQ", "+CSQ:");
        const AtCommand cmgl = AtCommand::withPdus("AT+CMGL=4", "+CMGL:");
        const AtCommand cmgs = AtCommand::sendingPdu("AT+CMGS=19", SubmitPdu, "+CMGS:");
        const QList<QByteArray> none;

        QTest::newRow("prefixed answer") << csq << QByteArray("\r\n+CSQ: 21,99\r\n\r\nOK\r\n") << QByteArray() << 0
                                         << QList<QByteArray>{"+CSQ: 21,99"} << none << QStringList{};
        QTest::newRow("echo on") << csq << QByteArray("AT+CSQ\r\r\n+CSQ: 21,99\r\n\r\nOK\r\n") << QByteArray() << 0
                                 << QList<QByteArray>{"+CSQ: 21,99"} << none << QStringList{};
        QTest::newRow("lone LF and CR CR LF") << csq << QByteArray("\n+CSQ: 5,99\r\r\nOK\n") << QByteArray() << 0
                                              << QList<QByteArray>{"+CSQ: 5,99"} << none << QStringList{};
        QTest::newRow("noise and registration between lines")
            << csq << QByteArray("\r\n\x01\x7f garbage\r\n+CREG: 1\r\n+CSQ: 1,1\r\n+CUSD: 0,\"x\",15\r\nOK\r\n") << QByteArray() << 0
            << QList<QByteArray>{"+CSQ: 1,1"} << none
            << QStringList{"Unknown:\x01\x7f garbage", "Creg:+CREG: 1", "Cusd:+CUSD: 0,\"x\",15"};
        QTest::newRow("listing with +CMTI inside")
            << cmgl << "\r\n+CMGL: 1,1,,31\r\n" + Pdu1 + "\r\n+CMTI: \"SM\",3\r\n+CMGL: 2,0,,23\r\n" + Pdu2 + "\r\n\r\nOK\r\n"
            << QByteArray() << 0 << QList<QByteArray>{"+CMGL: 1,1,,31", "+CMGL: 2,0,,23"} << QList<QByteArray>{Pdu1, Pdu2}
            << QStringList{"Cmti:+CMTI: \"SM\",3"};
        QTest::newRow("listing with +CMT and its PDU inside")
            << cmgl << "\r\n+CMGL: 1,1,,31\r\n" + Pdu1 + "\r\n+CMT: ,23\r\n" + PduX + "\r\n+CMGL: 2,0,,23\r\n" + Pdu2 + "\r\nOK\r\n"
            << QByteArray() << 0 << QList<QByteArray>{"+CMGL: 1,1,,31", "+CMGL: 2,0,,23"} << QList<QByteArray>{Pdu1, Pdu2}
            << QStringList{"Cmt:+CMT: ,23|" + QString::fromLatin1(PduX)};
        QTest::newRow("listing with echo, RING, and a +CDS after its end")
            << cmgl << "AT+CMGL=4\r\r\nRING\r\n+CMGL: 7,1,,31\r\n" + Pdu1 + "\r\nOK\r\n+CDS: 23\r\n" + PduX + "\r\n"
            << QByteArray() << 0 << QList<QByteArray>{"+CMGL: 7,1,,31"} << QList<QByteArray>{Pdu1}
            << QStringList{"Ring:RING", "Cds:+CDS: 23|" + QString::fromLatin1(PduX)};
        QTest::newRow("listing cut short by the final code")
            << cmgl << QByteArray("\r\n+CMGL: 1,1,,31\r\nOK\r\n") << QByteArray() << 0
            << QList<QByteArray>{"+CMGL: 1,1,,31"} << QList<QByteArray>{QByteArray()} << QStringList{};
        QTest::newRow("bare answer with blanks")
            << AtCommand::bare("AT+CGMI") << QByteArray("\r\n WAVECOM MODEM\r\n\r\nOK\r\n") << QByteArray() << 0
            << QList<QByteArray>{"WAVECOM MODEM"} << none << QStringList{};
        QTest::newRow("bare answer with echo and RING")
            << AtCommand::bare("AT+CGMM") << QByteArray("AT+CGMM\r\r\nRING\r\n MULTIBAND  900E  1800 \r\n\r\nOK\r\n")
            << QByteArray() << 0 << QList<QByteArray>{"MULTIBAND  900E  1800"} << none << QStringList{"Ring:RING"};
        QTest::newRow("sending a PDU") << cmgs << QByteArray("\r\n> ") << QByteArray("\r\n+CMGS: 42\r\n\r\nOK\r\n") << 0
                                       << QList<QByteArray>{"+CMGS: 42"} << none << QStringList{};
        QTest::newRow("RING while the prompt is awaited")
            << cmgs << QByteArray("\r\nRING\r\n+CLIP: \"+3912\",145\r\n\r\n> ") << QByteArray("\r\n+CMGS: 43\r\n\r\nOK\r\n") << 0
            << QList<QByteArray>{"+CMGS: 43"} << none << QStringList{"Ring:RING", "Clip:+CLIP: \"+3912\",145"};
        QTest::newRow("echo of command and PDU")
            << cmgs << QByteArray("AT+CMGS=19\r\r\n> ") << SubmitPdu + "\x1a\r\n+CMGS: 7\r\n\r\nOK\r\n" << 0
            << QList<QByteArray>{"+CMGS: 7"} << none << QStringList{};
        QTest::newRow("prompt as a lone '>'") << cmgs << QByteArray("\r\n>") << QByteArray("\r\n+CMGS: 8\r\nOK\r\n") << 0
                                              << QList<QByteArray>{"+CMGS: 8"} << none << QStringList{};
        QTest::newRow("+CMS ERROR instead of the prompt")
            << cmgs << QByteArray("\r\n+CMS ERROR: 304\r\n") << QByteArray() << int(FinalCode::CmsError) << none << none
            << QStringList{};
    }
    void answers()
    {
        QFETCH(AtCommand, command);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, pduReply);
        QFETCH(int, final);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<QByteArray>, pdus);
        QFETCH(QStringList, unsolicited);

        // Every way the two replies can reach the parser: whole, byte by byte, and each split at
        // every position while the other comes whole.
        struct Way { Delivery how; int replyAt; int pduReplyAt; };
        QList<Way> ways{{Delivery::Whole, 0, 0}, {Delivery::ByteByByte, 0, 0}};
        for (int i = 1; i < reply.size(); ++i)
            ways.append({Delivery::SplitAt, i, 0});
        for (int i = 1; i < pduReply.size(); ++i)
            ways.append({Delivery::SplitAt, 0, i});

        for (const Way &way : std::as_const(ways)) {
            const QString where = QStringLiteral("delivery %1, split %2/%3").arg(int(way.how)).arg(way.replyAt).arg(way.pduReplyAt);
            Rig rig;
            rig.transport.script(command.line + '\r', delivered(reply, way.how, way.replyAt));
            if (!command.pdu.isEmpty())
                rig.transport.script(command.pdu + '\x1a', delivered(pduReply, way.how, way.pduReplyAt));
            QSignalSpy arrived(&rig.channel, &AtChannel::unsolicitedArrived);
            const AtResponse response = rig.channel.run(command);
            QVERIFY2(int(response.final) == final, qPrintable(where));
            QVERIFY2(response.lines == lines, qPrintable(where));
            QVERIFY2(response.pdus == pdus, qPrintable(where));
            const QStringList got = describe(rig.channel.takeUnsolicited());
            QVERIFY2(got == unsolicited, qPrintable(where + QStringLiteral(": ") + got.join(QLatin1Char('|'))));
            QCOMPARE(arrived.count(), 0);
            // The PDU goes out only after a prompt.
            QCOMPARE(rig.transport.writes().size(), pduReply.isEmpty() ? 1 : 2);
            QVERIFY(rig.transport.unmatchedWrites().isEmpty());
        }
    }

    void finalCodes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("final");
        QTest::addColumn<int>("errorCode");
        QTest::addColumn<qint32>("raisedByExecute");
        const qint32 answeredError = code(ErrorCode::ModemAnsweredError);
        QTest::newRow("OK") << QByteArray("OK") << int(FinalCode::Ok) << -1 << 0;
        QTest::newRow("ERROR") << QByteArray("ERROR") << int(FinalCode::Error) << -1 << answeredError;
        QTest::newRow("CME numeric") << QByteArray("+CME ERROR: 11") << int(FinalCode::CmeError) << 11 << LibraryBase + 1011;
        QTest::newRow("CME verbose") << QByteArray("+CME ERROR: SIM PIN required") << int(FinalCode::CmeError) << 11 << LibraryBase + 1011;
        QTest::newRow("CME vendor text") << QByteArray("+CME ERROR: radio jammed") << int(FinalCode::CmeError) << -1 << answeredError;
        QTest::newRow("CMS numeric") << QByteArray("+CMS ERROR: 500") << int(FinalCode::CmsError) << 500 << LibraryBase + 2500;
        QTest::newRow("CMS verbose") << QByteArray("+CMS ERROR: invalid memory index") << int(FinalCode::CmsError) << 321 << LibraryBase + 2321;
        QTest::newRow("NO CARRIER") << QByteArray("NO CARRIER") << int(FinalCode::NoCarrier) << -1 << answeredError;
        QTest::newRow("BUSY") << QByteArray("BUSY") << int(FinalCode::Busy) << -1 << answeredError;
        QTest::newRow("NO ANSWER") << QByteArray("NO ANSWER") << int(FinalCode::NoAnswer) << -1 << answeredError;
        QTest::newRow("NO DIALTONE") << QByteArray("NO DIALTONE") << int(FinalCode::NoDialtone) << -1 << answeredError;
        QTest::newRow("COMMAND NOT SUPPORT") << QByteArray("COMMAND NOT SUPPORT") << int(FinalCode::CommandNotSupport) << -1 << answeredError;
    }
    void finalCodes()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, final);
        QFETCH(int, errorCode);
        QFETCH(qint32, raisedByExecute);
        const AtCommand command = AtCommand::plain("ATD+391234;");
        Rig rig;
        rig.transport.script("ATD+391234;\r", "\r\n" + line + "\r\n");
        rig.transport.script("ATD+391234;\r", "\r\n" + line + "\r\n");
        const AtResponse response = rig.channel.run(command);
        QCOMPARE(int(response.final), final);
        QCOMPARE(response.errorCode, errorCode);
        QCOMPARE(response.finalLine, line);
        QString description;
        QCOMPARE(raised([&] { rig.channel.execute(command); }, &description), raisedByExecute);
        if (raisedByExecute == code(ErrorCode::ModemAnsweredError)) {
            QVERIFY2(description.contains(QLatin1String("ATD+391234;")), qPrintable(description));
            QVERIFY2(description.contains(QString::fromLatin1(line)), qPrintable(description));
        }
        QVERIFY(!rig.channel.linkLost());
    }

    // A reply that misses its deadline must never become the next command's answer.
    void lateReply_data()
    {
        QTest::addColumn<int>("lateAfterMs");
        QTest::addColumn<int>("splitAt");      // 0: whole
        QTest::addColumn<int>("restAfterMs");
        QTest::addColumn<int>("idleMs");       // event loop between the two commands
        QTest::addColumn<int>("graceMs");
        const QByteArray late = "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n";
        QTest::newRow("arrives while idle") << 450 << 0 << 0 << 400 << 50;
        QTest::newRow("arrives during the grace before the next command") << 400 << 0 << 0 << 0 << 400;
        QTest::newRow("its final completes after the next command was sent") << 350 << int(late.size() - 3) << 350 << 0 << 100;
        QTest::newRow("never arrives") << -1 << 0 << 0 << 0 << 50;
    }
    void lateReply()
    {
        QFETCH(int, lateAfterMs);
        QFETCH(int, splitAt);
        QFETCH(int, restAfterMs);
        QFETCH(int, idleMs);
        QFETCH(int, graceMs);
        Rig rig;
        rig.channel.setStaleGraceMs(graceMs);
        ScriptedTransport::Reply late{"\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", lateAfterMs};
        if (splitAt > 0) {
            late.delivery = Delivery::SplitAt;
            late.splitAt = splitAt;
            late.restDelayMs = restAfterMs;
        }
        rig.transport.script("AT+CPIN?\r", lateAfterMs < 0 ? QList<ScriptedTransport::Reply>{} : QList{late});
        // The AT sent after the timeout, answered once the modem has said what it still owed.
        rig.transport.script("AT\r", ScriptedTransport::Reply{"\r\nOK\r\n", 450});
        rig.transport.script("AT+CPIN?\r", ScriptedTransport::Reply{"\r\n+CPIN: READY\r\n\r\nOK\r\n", 450});
        const AtCommand cpin = AtCommand::prefixed("AT+CPIN?", "+CPIN:", 300);
        QCOMPARE(raised([&] { rig.channel.run(cpin); }), code(ErrorCode::Timeout));
        if (idleMs > 0)
            QTest::qWait(idleMs);
        AtCommand again = cpin;
        again.timeoutMs = 2000;
        const AtResponse response = rig.channel.run(again);
        QCOMPARE(response.lines, QList<QByteArray>{"+CPIN: READY"});
        QCOMPARE(response.final, FinalCode::Ok);
        QVERIFY(describe(rig.channel.takeUnsolicited()).isEmpty());
    }

    // Field modems put vendor lines between a header and its PDU line: the PDU is the next line
    // of whole hex octets that fits the header's <length> (+ the SMSC part), the rest is noise
    // for the unsolicited queue. A header whose PDU never comes gives up (listing: at the next
    // entry or the final code; +CMT/+CDS: after the PDU wait) and swallows nothing.
    void pduAfterVendorLines_data()
    {
        QTest::addColumn<AtCommand>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<QByteArray>>("pdus");
        QTest::addColumn<QStringList>("unsolicited");

        const AtCommand csq = AtCommand::prefixed("AT+CSQ", "+CSQ:");
        const AtCommand cmgl = AtCommand::withPdus("AT+CMGL=4", "+CMGL:");
        const AtCommand cmgr = AtCommand::withPdus("AT+CMGR=1", "+CMGR:");
        const QString pduX = QString::fromLatin1(PduX);
        const QList<QByteArray> csqLine{"+CSQ: 5,5"};
        const QByteArray csqAnswer = "\r\n+CSQ: 5,5\r\n\r\nOK\r\n";
        for (const QByteArray &noise : {QByteArray("^RSSI:17"), QByteArray("^BOOT:12345678,0,0,0,6"), QByteArray("^MODE:5,4"),
                                        QByteArray("+QIND: \"csq\",20,99"), QByteArray("SMS Ready")}) {
            const QString seen = QStringLiteral("Unknown:") + QString::fromLatin1(noise);
            const QByteArray between = "\r\n" + noise + "\r\n";
            QTest::addRow("%s between +CMT and its PDU", noise.constData())
                << csq << "\r\n+CMT: ,23" + between + PduX + csqAnswer << csqLine << QList<QByteArray>{}
                << QStringList{seen, "Cmt:+CMT: ,23|" + pduX};
            QTest::addRow("%s between +CDS and its PDU", noise.constData())
                << csq << "\r\n+CDS:23" + between + PduX + csqAnswer << csqLine << QList<QByteArray>{}
                << QStringList{seen, "Cds:+CDS:23|" + pduX};
            QTest::addRow("%s between +CMGL and its PDU", noise.constData())
                << cmgl << "\r\n+CMGL: 1,1,,31" + between + Pdu1 + "\r\n+CMGL: 2,0,,23\r\n" + Pdu2 + between + "\r\nOK\r\n"
                << QList<QByteArray>{"+CMGL: 1,1,,31", "+CMGL: 2,0,,23"} << QList<QByteArray>{Pdu1, Pdu2}
                << QStringList{seen, seen};
            QTest::addRow("%s between +CMGR and its PDU", noise.constData())
                << cmgr << "\r\n+CMGR: 1,,23" + between + Pdu2 + "\r\n\r\nOK\r\n" << QList<QByteArray>{"+CMGR: 1,,23"}
                << QList<QByteArray>{Pdu2} << QStringList{seen};
        }
        QTest::newRow("listing entry whose PDU never comes")
            << cmgl << "\r\n+CMGL: 1,1,,31\r\n^RSSI:17\r\n+CMGL: 2,0,,23\r\n^RSSI:18\r\n" + Pdu2 + "\r\nOK\r\n"
            << QList<QByteArray>{"+CMGL: 1,1,,31", "+CMGL: 2,0,,23"} << QList<QByteArray>{QByteArray(), Pdu2}
            << QStringList{"Unknown:^RSSI:17", "Unknown:^RSSI:18"};
        QTest::newRow("+CMT whose PDU never comes, then a hex answer that does not fit it")
            << AtCommand::bare("AT+CGSN") << QByteArray("\r\n+CMT: ,23\r\n^RSSI:17\r\n3520990017614823\r\n\r\nOK\r\n")
            << QList<QByteArray>{"3520990017614823"} << QList<QByteArray>{} << QStringList{"Unknown:^RSSI:17", "Cmt:+CMT: ,23"};
        QTest::newRow("+CMT slipped between a listing entry and its PDU")
            << cmgl << "\r\n+CMGL: 1,1,,31\r\n+CMT: ,23\r\n^MODE:5,4\r\n" + PduX + "\r\n" + Pdu1 + "\r\nOK\r\n"
            << QList<QByteArray>{"+CMGL: 1,1,,31"} << QList<QByteArray>{Pdu1}
            << QStringList{"Unknown:^MODE:5,4", "Cmt:+CMT: ,23|" + pduX};
        for (const char bad : {'G', '\x15', '\xb0'}) {
            QByteArray almost = PduX;
            almost[41] = bad;
            QTest::addRow("a line of the PDU's length with 0x%02x in it", quint8(bad))
                << csq << "\r\n+CMT: ,23\r\n" + almost + "\r\n" + PduX + csqAnswer << csqLine << QList<QByteArray>{}
                << QStringList{"Unknown:" + QString::fromLatin1(almost), "Cmt:+CMT: ,23|" + pduX};
        }
        QTest::newRow("vendor codes in a bare answer")
            << AtCommand::bare("AT+CGMI") << QByteArray("\r\n^RSSI:17\r\nPellix\r\n+QIND: \"csq\",20,99\r\n\r\nOK\r\n")
            << QList<QByteArray>{"Pellix"} << QList<QByteArray>{} << QStringList{"Unknown:^RSSI:17", "Unknown:+QIND: \"csq\",20,99"};
        QTest::newRow("answers of every command on a joined line are the answer")
            << AtCommand::bare("ATE0Q0V1+CMEE=1;+CNMI=?;+CSMS=?")
            << QByteArray("\r\n+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)\r\n^RSSI:17\r\n+CSMS: 0,(0,1)\r\n+CSMSX: 1\r\n\r\nOK\r\n")
            << QList<QByteArray>{"+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)", "+CSMS: 0,(0,1)"} << QList<QByteArray>{}
            << QStringList{"Unknown:^RSSI:17", "Unknown:+CSMSX: 1"};
    }
    void pduAfterVendorLines()
    {
        QFETCH(AtCommand, command);
        QFETCH(QByteArray, reply);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<QByteArray>, pdus);
        QFETCH(QStringList, unsolicited);
        for (const Delivery how : {Delivery::Whole, Delivery::ByteByByte}) {
            Rig rig;
            rig.channel.setPduWaitMs(100);
            rig.transport.script(command.line + '\r', delivered(reply, how));
            const AtResponse response = rig.channel.run(command);
            QCOMPARE(response.final, FinalCode::Ok);
            QCOMPARE(response.lines, lines);
            QCOMPARE(response.pdus, pdus);
            // A header still waiting for its PDU is handed on when it gives up.
            QTRY_COMPARE(rig.channel.queuedUnsolicited(), unsolicited.size());
            QCOMPARE(describe(rig.channel.takeUnsolicited()), unsolicited);
        }
    }

    // A reply that comes after its deadline (and after the stale grace) belongs to the command
    // that timed out: an AT goes first and everything up to its own final code is dropped.
    void lateReplyIsDrainedByAnAt_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<bool>("echoAtOnce");  // the modem echoes the AT before its late reply
        QTest::addColumn<QStringList>("trace");
        QTest::newRow("echo off") << false << false
                                  << QStringList{"0 AT+CSQ", "0 AT", "2 +CSQ: 9,9", "2 OK", "1 OK",
                                                 "0 AT+CSQ", "1 +CSQ: 3,3", "1 OK"};
        QTest::newRow("echo on") << true << false
                                 << QStringList{"0 AT+CSQ", "2 AT+CSQ", "0 AT", "2 +CSQ: 9,9", "2 OK", "2 AT", "1 OK",
                                                "0 AT+CSQ", "2 AT+CSQ", "1 +CSQ: 3,3", "1 OK"};
        QTest::newRow("echo on, the AT echoed before the late reply")
            << true << true
            << QStringList{"0 AT+CSQ", "2 AT+CSQ", "0 AT", "2 AT", "2 +CSQ: 9,9", "2 OK", "1 OK",
                           "0 AT+CSQ", "2 AT+CSQ", "1 +CSQ: 3,3", "1 OK"};
    }
    void lateReplyIsDrainedByAnAt()
    {
        QFETCH(bool, echo);
        QFETCH(bool, echoAtOnce);
        QFETCH(QStringList, trace);
        Rig rig;
        // Without echo only timing tells the late reply's OK from the AT's: the AT's comes 50 ms
        // after the late one here, and a loaded machine that sends the AT late must not stretch
        // that gap past the grace in which a second final code is awaited.
        if (!echo)
            rig.channel.setStaleGraceMs(1000);
        QStringList seen;
        rig.channel.setTrace([&](TraceDirection d, const QByteArray &line) {
            seen << QStringLiteral("%1 %2").arg(int(d)).arg(QString::fromLatin1(line));
        });
        const QByteArray csqEcho = echo ? "AT+CSQ\r" : "";
        using Reply = ScriptedTransport::Reply;
        rig.transport.script("AT+CSQ\r", {Reply{csqEcho}, Reply{"\r\n+CSQ: 9,9\r\n\r\nOK\r\n", 450}});
        // Each command in turn: the AT is answered after what the modem still owed.
        rig.transport.script("AT\r", {Reply{echoAtOnce ? "AT\r" : ""}, Reply{(echo && !echoAtOnce ? "AT\r" : "") + QByteArray("\r\nOK\r\n"), 200}});
        rig.transport.script("AT+CSQ\r", Reply{csqEcho + "\r\n+CSQ: 3,3\r\n\r\nOK\r\n", 30});
        QCOMPARE(raised([&] { rig.channel.run(AtCommand::prefixed("AT+CSQ", "+CSQ:", 300)); }), code(ErrorCode::Timeout));
        const AtResponse response = rig.channel.run(AtCommand::prefixed("AT+CSQ", "+CSQ:", 2000));
        QCOMPARE(response.lines, QList<QByteArray>{"+CSQ: 3,3"});
        QCOMPARE(response.final, FinalCode::Ok);
        QCOMPARE(seen, trace);
        QCOMPARE(rig.channel.statistics().resyncs, 1);
        QVERIFY(rig.channel.takeUnsolicited().isEmpty());
        QVERIFY(rig.transport.unmatchedWrites().isEmpty());
    }

    void unsolicitedFloodDoesNotExtendDeadline()
    {
        Rig rig;
        rig.transport.injectEvery("\r\n+CREG: 1\r\n", 100, 50);
        QSignalSpy arrived(&rig.channel, &AtChannel::unsolicitedArrived);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(raised([&] { rig.channel.run(AtCommand::prefixed("AT+COPS?", "+COPS:", 400)); }), code(ErrorCode::Timeout));
        QVERIFY(clock.elapsed() >= 400);
        // It gave up while the modem was still chattering, not when the chatter stopped.
        QVERIFY(rig.transport.pendingChunks() > 0);
        QCOMPARE(arrived.count(), 0);
        const QList<Unsolicited> codes = rig.channel.takeUnsolicited();
        QVERIFY(!codes.isEmpty());
        QCOMPARE(codes.first().kind, UnsolicitedKind::Creg);
        rig.transport.close();
    }

    // A listing ends by the silence of its answer, under its cap (a slow line may take longer
    // than any fixed deadline): the modem's status lines, which go on whether or not it still
    // answers, keep it waiting no more than for a short command; entries that never end stop at
    // the cap.
    void listingEndsWhenItsAnswerFallsSilent_data()
    {
        QTest::addColumn<QByteArray>("chatter");  // every 100 ms for 6 s once the listing has begun
        QTest::addColumn<int>("capMs");
        const QByteArray entry = "\r\n+CMGL: 2,1,,31\r\n" + Pdu1 + "\r\n";
        QTest::newRow("answer stops, line quiet") << QByteArray() << 30000;
        QTest::newRow("answer stops, status lines go on") << QByteArray("\r\n^RSSI:17\r\n") << 30000;
        QTest::newRow("entries that never end") << entry << 1500;
    }
    void listingEndsWhenItsAnswerFallsSilent()
    {
        QFETCH(QByteArray, chatter);
        QFETCH(int, capMs);
        Rig rig;
        const AtCommand cmgl = AtCommand::withPdus("AT+CMGL=4", "+CMGL:", 400).listing(capMs);
        rig.transport.script(cmgl.line + '\r', "\r\n+CMGL: 1,1,,31\r\n" + Pdu1 + "\r\n");
        if (!chatter.isEmpty())
            rig.transport.injectEvery(chatter, 100, 60);
        QCOMPARE(raised([&] { rig.channel.run(cmgl); }), code(ErrorCode::Timeout));
        // It gave up while the modem was still talking, not when the talk stopped.
        if (!chatter.isEmpty())
            QVERIFY(rig.transport.pendingChunks() > 0);
        rig.transport.close();
    }

    void idleUnsolicited_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks"); // 60 ms apart
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("new message index") << QList<QByteArray>{"\r\n+CMTI: \"SM\",4\r\n"} << QStringList{"Cmti:+CMTI: \"SM\",4"};
        QTest::newRow("+CMT whose PDU comes later")
            << QList<QByteArray>{"\r\n+CMT: ,23\r\n", PduX + "\r\n"} << QStringList{"Cmt:+CMT: ,23|" + QString::fromLatin1(PduX)};
        QTest::newRow("stray final code dropped, other lines queued")
            << QList<QByteArray>{"\r\nOK\r\n\r\n> \r\nRING\r\n"} << QStringList{"Unknown:>", "Ring:RING"};
    }
    void idleUnsolicited()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, expected);
        Rig rig;
        QSignalSpy arrived(&rig.channel, &AtChannel::unsolicitedArrived);
        for (int i = 0; i < chunks.size(); ++i)
            rig.transport.inject(chunks.at(i), 60 * i);
        QTRY_COMPARE(arrived.count(), 1);
        QCOMPARE(describe(rig.channel.takeUnsolicited()), expected);
    }

    void notificationAfterRun_data()
    {
        QTest::addColumn<bool>("ownerTakes");
        QTest::newRow("owner takes the codes after the command") << true;
        QTest::newRow("owner leaves them: told from the event loop") << false;
    }
    void notificationAfterRun()
    {
        QFETCH(bool, ownerTakes);
        Rig rig;
        rig.transport.script("AT\r", "\r\nRING\r\n\r\nOK\r\n");
        QSignalSpy arrived(&rig.channel, &AtChannel::unsolicitedArrived);
        bool firedInsideRun = false;
        connect(&rig.channel, &AtChannel::unsolicitedArrived, this, [&] { firedInsideRun |= rig.channel.running(); });
        rig.channel.run(AtCommand::plain("AT"));
        QCOMPARE(arrived.count(), 0);
        if (ownerTakes)
            QCOMPARE(rig.channel.takeUnsolicited().size(), 1);
        QTest::qWait(50);
        QCOMPARE(arrived.count(), ownerTakes ? 0 : 1);
        QVERIFY(!firedInsideRun);
    }

    void staleInputBeforeCommand_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("unsolicited");
        QTest::newRow("a whole stale answer") << QByteArray("\r\n+CSQ: 9,9\r\nOK\r\n") << QByteArray("\r\n+CSQ: 3,3\r\n\r\nOK\r\n")
                                              << QStringList{"Unknown:+CSQ: 9,9"};
        QTest::newRow("a stale line completed after sending") << QByteArray("\r\nO") << QByteArray("K\r\n\r\n+CSQ: 3,3\r\n\r\nOK\r\n")
                                                              << QStringList{};
        QTest::newRow("an unsolicited code") << QByteArray("\r\nRING\r\n") << QByteArray("\r\n+CSQ: 3,3\r\n\r\nOK\r\n")
                                             << QStringList{"Ring:RING"};
    }
    void staleInputBeforeCommand()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, unsolicited);
        Rig rig;
        rig.transport.inject(before); // arrived, but no event loop ran since
        rig.transport.script("AT+CSQ\r", ScriptedTransport::Reply{reply, 30});
        const AtResponse response = rig.channel.run(AtCommand::prefixed("AT+CSQ", "+CSQ:", 1000));
        QCOMPARE(response.lines, QList<QByteArray>{"+CSQ: 3,3"});
        QCOMPARE(response.final, FinalCode::Ok);
        QCOMPARE(describe(rig.channel.takeUnsolicited()), unsolicited);
    }

    void transportFailure_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("unplugged in the middle of the answer") << "mid-answer";
        QTest::newRow("unplugged before any answer") << "silent";
        QTest::newRow("write fails") << "write";
        QTest::newRow("unplugged while idle") << "idle";
    }
    void transportFailure()
    {
        QFETCH(QString, how);
        Rig rig;
        QSignalSpy lost(&rig.channel, &AtChannel::linkLostChanged);
        const AtCommand csq = AtCommand::prefixed("AT+CSQ", "+CSQ:", 2000);
        if (how == QLatin1String("mid-answer")) {
            ScriptedTransport::Reply r{"\r\n+CSQ: 2"};
            r.failAfter = true;
            rig.transport.script("AT+CSQ\r", r);
        } else if (how == QLatin1String("silent")) {
            rig.transport.failAt(100);
        } else if (how == QLatin1String("write")) {
            rig.transport.setWriteFails(true);
        } else {
            rig.transport.failAt(0);
            QTRY_COMPARE(lost.count(), 1);
        }
        QCOMPARE(raised([&] { rig.channel.run(csq); }), code(ErrorCode::ConnectionLost));
        QVERIFY(rig.channel.linkLost());
        QCOMPARE(lost.count(), 1);
        QCOMPARE(lost.first().first().toBool(), true);
        // Afterwards every command fails at once, without touching the port.
        const auto writes = rig.transport.writes().size();
        QCOMPARE(raised([&] { rig.channel.run(csq); }), code(ErrorCode::ConnectionLost));
        QCOMPARE(rig.transport.writes().size(), writes);
    }

    void repeatedTimeouts_data()
    {
        QTest::addColumn<QString>("pattern"); // T: the modem stays silent, A: it answers, U: it sends other lines
        QTest::addColumn<bool>("lost");
        QTest::newRow("three silent commands in a row") << "TTT" << true;
        QTest::newRow("no answers from a modem that keeps talking") << "UUUU" << false;
        QTest::newRow("silent, then talking") << "TTUT" << false;
        QTest::newRow("an answer in between") << "TTATT" << false;
        QTest::newRow("two silent commands") << "TT" << false;
    }
    void repeatedTimeouts()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, lost);
        Rig rig;
        rig.channel.setStaleGraceMs(10);
        QSignalSpy changed(&rig.channel, &AtChannel::linkLostChanged);
        const AtCommand at = AtCommand::plain("AT", 150);
        qint32 last = 0;
        for (QChar step : pattern) {
            const QByteArray reply = step == QLatin1Char('A') ? QByteArray("\r\nOK\r\n")
                                   : step == QLatin1Char('U') ? QByteArray("\r\nRING\r\n")
                                                              : QByteArray();
            // After a timeout an AT goes first: a silent (or only talking) modem leaves it
            // unanswered (and the command unsent), an answering one answers both.
            if (last != 0 && step == QLatin1Char('A'))
                rig.transport.script("AT\r", reply);
            rig.transport.script("AT\r", reply);
            last = raised([&] { rig.channel.run(at); });
        }
        QCOMPARE(rig.channel.linkLost(), lost);
        QCOMPARE(last, lost ? code(ErrorCode::ConnectionLost) : code(ErrorCode::Timeout));
        if (!lost)
            return;
        QCOMPARE(raised([&] { rig.channel.run(at); }), code(ErrorCode::ConnectionLost));
        rig.channel.reset();
        QVERIFY(!rig.channel.linkLost());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.last().first().toBool(), false);
        rig.transport.script("AT\r", "\r\nOK\r\n");
        QCOMPARE(rig.channel.run(at).final, FinalCode::Ok);
    }

    void boundedInput_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("chunk");
        QTest::newRow("overlong line") << QByteArray(10000, 'A') + "\r\n+CSQ: 1,1\r\nOK\r\n" << 0;
        QTest::newRow("100 kB without line end in small chunks") << QByteArray(100000, 'Z') + "\r\n+CSQ: 1,1\r\nOK\r\n" << 512;
        QTest::newRow("overlong line where a listing's PDU belongs")
            << "\r\n+CSQ: 1,1\r\n" + QByteArray(5000, '0') + "\r\nOK\r\n" << 0;
    }
    void boundedInput()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, chunk);
        Rig rig;
        rig.transport.script("AT+CSQ\r", delivered(reply, chunk ? Delivery::Chunked : Delivery::Whole, chunk));
        const AtResponse response = rig.channel.run(AtCommand::withPdus("AT+CSQ", "+CSQ:"));
        QCOMPARE(response.lines, QList<QByteArray>{"+CSQ: 1,1"});
        QCOMPARE(response.pdus, QList<QByteArray>{QByteArray()});
        QCOMPARE(rig.channel.statistics().cutLines, 1);
        QVERIFY(rig.channel.takeUnsolicited().isEmpty());
    }

    // Nothing the modem says is dropped, however much of it comes while a command runs or while
    // nobody takes it: a modem routing +CMT without acknowledgements says each message once.
    void unsolicitedFloodKeepsEveryCode_data()
    {
        QTest::addColumn<bool>("duringCommand");
        QTest::newRow("during a command") << true;
        QTest::newRow("while idle") << false;
    }
    void unsolicitedFloodKeepsEveryCode()
    {
        QFETCH(bool, duringCommand);
        constexpr int Count = 5000;
        Rig rig;
        QByteArray flood;
        for (int i = 0; i < Count; ++i)
            flood += "\r\n+CMTI: \"SM\"," + QByteArray::number(i) + "\r\n";
        if (duringCommand) {
            rig.transport.script("AT+CSQ\r", flood + "\r\n+CSQ: 1,1\r\n\r\nOK\r\n");
            rig.channel.run(AtCommand::prefixed("AT+CSQ", "+CSQ:"));
        } else {
            rig.transport.inject(flood);
            QTRY_COMPARE(rig.channel.queuedUnsolicited(), qsizetype(Count));
        }
        const QList<Unsolicited> codes = rig.channel.takeUnsolicited();
        QCOMPARE(codes.size(), qsizetype(Count));
        for (int i = 0; i < Count; ++i)
            QCOMPARE(codes.at(i).index, i);
    }

    void missingFinal_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("modem leaves out OK") << QByteArray("\r\n+CPIN: READY\r\n");
        QTest::newRow("modem sends OK") << QByteArray("\r\n+CPIN: READY\r\n\r\nOK\r\n");
    }
    void missingFinal()
    {
        QFETCH(QByteArray, reply);
        Rig rig;
        rig.transport.script("AT+CPIN?\r", reply);
        AtCommand cpin = AtCommand::prefixed("AT+CPIN?", "+CPIN:", 3000);
        cpin.finalMayBeMissing = true;
        const AtResponse response = rig.channel.run(cpin);
        QCOMPARE(response.final, FinalCode::Ok);
        QCOMPARE(response.lines, QList<QByteArray>{"+CPIN: READY"});
    }

    void promptTimeoutCancelsEntry()
    {
        Rig rig;
        rig.transport.script("AT+CMGS=19\r", QByteArray());
        QCOMPARE(raised([&] { rig.channel.run(AtCommand::sendingPdu("AT+CMGS=19", SubmitPdu, "+CMGS:", 200)); }),
                 code(ErrorCode::Timeout));
        QCOMPARE(rig.transport.writes(), (QList<QByteArray>{"AT+CMGS=19\r", "\x1b"}));
    }

    // A modem that answers AT+CMGS with blanks and never a prompt: the send ends with its own
    // error long before the network deadline, the entry cancelled, the PDU never written.
    void blanksInsteadOfPromptEndTheSend()
    {
        Rig rig;
        rig.transport.script("AT+CMGS=19\r", ScriptedTransport::Reply{QByteArray(200000, ' '), 0, Delivery::Chunked, 512});
        QString why;
        QCOMPARE(raised([&] { rig.channel.run(AtCommand::sendingPdu("AT+CMGS=19", SubmitPdu, "+CMGS:", 60000)); }, &why),
                 code(ErrorCode::UnexpectedAnswer));
        QVERIFY2(why.contains(QLatin1String("instead of the prompt")), qPrintable(why));
        QCOMPARE(rig.transport.writes(), (QList<QByteArray>{"AT+CMGS=19\r", "\x1b"}));
    }

    void traceSeesEveryLine()
    {
        Rig rig;
        QStringList seen;
        rig.channel.setTrace([&](TraceDirection d, const QByteArray &line) {
            seen << QStringLiteral("%1 %2").arg(int(d)).arg(QString::fromLatin1(line));
        });
        rig.transport.script("AT+CSQ\r", "AT+CSQ\r\r\nRING\r\n+CSQ: 1,1\r\n\r\nOK\r\n");
        rig.channel.run(AtCommand::prefixed("AT+CSQ", "+CSQ:"));
        QCOMPARE(seen, (QStringList{"0 AT+CSQ", "2 AT+CSQ", "1 RING", "1 +CSQ: 1,1", "1 OK"}));
    }

    void refusesBytesThatBreakFraming_data()
    {
        QTest::addColumn<AtCommand>("command");
        QTest::newRow("CR in the command line") << AtCommand::plain("AT+CPBW=1\rATD112;");
        QTest::newRow("Ctrl-Z in the PDU") << AtCommand::sendingPdu("AT+CMGS=1", "00\x1a" "00", "+CMGS:");
        QTest::newRow("ESC outside a quoted string") << AtCommand::plain("AT+CPBW=1,\"1\",129,\"a\"\x1b");
        QTest::newRow("empty command line") << AtCommand::plain("");
    }
    void refusesBytesThatBreakFraming()
    {
        QFETCH(AtCommand, command);
        Rig rig;
        QCOMPARE(raised([&] { rig.channel.run(command); }), code(ErrorCode::InvalidArgument));
        QVERIFY(rig.transport.writes().isEmpty());
    }
};

QTEST_MAIN(TestAtChannel)
#include "tst_atchannel.moc"
