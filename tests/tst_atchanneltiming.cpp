// SPDX-License-Identifier: GPL-3.0-or-later
#include "atchannelfixture.h"

class TestAtChannelTiming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
};

QTEST_MAIN(TestAtChannelTiming)
#include "tst_atchanneltiming.moc"
