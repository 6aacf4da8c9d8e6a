// SPDX-License-Identifier: GPL-3.0-or-later
#include "atchannelfixture.h"

class TestAtChannelAnswers : public QObject
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

QTEST_MAIN(TestAtChannelAnswers)
#include "tst_atchannelanswers.moc"
