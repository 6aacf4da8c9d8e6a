// SPDX-License-Identifier: GPL-3.0-or-later
#include "clifixture.h"

class TestCliMonitor : public CliFixture
{
    Q_OBJECT

private Q_SLOTS:
    void waitReportEnds_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("interrupted") << false << int(cli::ExitTimedOut) << "interrupted while waiting";
        QTest::newRow("link dropped") << true << int(cli::ExitConnectionLost) << "Connection to the modem lost";
    }

    // The modem hands over what arrives during the wait and keeps no copy: however the wait ends,
    // the message that came is printed.
    void waitReportEnds()
    {
        QFETCH(bool, unplug);
        QFETCH(int, status);
        QFETCH(QString, err);
        bool delivered = false;
        const Run result = run({QStringLiteral("--type=-1"), QStringLiteral("send"), QStringLiteral("+15550100"), QStringLiteral("hi"),
                                QStringLiteral("--wait-report"), QStringLiteral("100")},
                               [&](int step) {
                                   if (step == 1)
                                       delivered = m_virtual->incomingMessage(DeliverPdu);
                                   if (step == 5 && unplug)
                                       m_transport->setFault(sim::VirtualModemTransport::Fault::Unplugged);
                                   if (step == 5 && !unplug)
                                       std::raise(SIGINT);
                               });
        QVERIFY(delivered);
        QCOMPARE(result.status, status);
        QVERIFY2(result.err.contains(err), qPrintable(result.err));
        QVERIFY2(result.out.contains(QLatin1String("message: ")) && result.out.contains(QLatin1String("hellohello")),
                 qPrintable(result.out));
    }

    // A line without a final code ends the run with its error; the lines before it were carried
    // out, and their answers are printed all the same.
    void rawAnswersBeforeATimeout()
    {
        sim::VirtualModemOptions options;
        options.seed = 11;
        options.field.lateReplyMs = 60000;
        options.field.lateCommands = {"+CSQ"};
        m_virtual = std::make_shared<sim::VirtualModem>(options, m_clock);
        const Run result = run({QStringLiteral("--type=-1"), QStringLiteral("--timeout=1"), QStringLiteral("at"), QStringLiteral("AT+CGMI"),
                                QStringLiteral("AT+CSQ")});
        QCOMPARE(result.status, int(cli::ExitModemError));
        QVERIFY2(result.err.contains(QLatin1String("Timeout")), qPrintable(result.err));
        QVERIFY2(result.out.startsWith(QLatin1String("Pellix\nOK\n")), qPrintable(result.out));
    }

    // A PIN or password typed in any form the modem takes appears nowhere: not in the output,
    // not in the error on stderr or in JSON, not in Pellix.log.
    void secretsNeverShown_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("lateCommand");
        QTest::addColumn<int>("status");
        const QString v = QStringLiteral("--type=-1");
        QTest::newRow("PIN behind a blank, refused by the modem")
            << QStringList{v, "--json", "at", "AT+CPIN =\"7391\""} << QByteArray() << int(cli::ExitModemError);
        QTest::newRow("PIN change dialled, no answer in time")
            << QStringList{v, "--timeout=1", "at", "atd**04*7391*1111*1111#;"} << QByteArray("D") << int(cli::ExitModemError);
        QTest::newRow("lock password in JSON and on the trace")
            << QStringList{v, "--json", "--trace", "at", "AT+CLCK = \"SC\",1,\"7391\""} << QByteArray() << int(cli::ExitModemError);
    }

    void secretsNeverShown()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, lateCommand);
        QFETCH(int, status);
        if (!lateCommand.isEmpty()) {
            sim::VirtualModemOptions options;
            options.seed = 11;
            options.field.lateReplyMs = 60000;
            options.field.lateCommands = {lateCommand};
            m_virtual = std::make_shared<sim::VirtualModem>(options, m_clock);
        }
        const QString trace = m_dir.filePath(QStringLiteral("Pellix.log"));
        QFile::remove(trace);
        const Run result = run(arguments);
        QCOMPARE(result.status, status);
        QVERIFY2(!result.err.isEmpty(), "the error is said");
        QVERIFY2(result.err.contains(QLatin1String("****")), qPrintable(result.err));
        QFile file(trace);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray logged = file.readAll();
        QVERIFY(logged.contains("****"));
        for (const QString &where : {result.out, result.err, QString::fromLatin1(logged)})
            QVERIFY2(!where.contains(QLatin1String("7391")), qPrintable(where));
    }

    // Messages that arrive all at once, faster than any acknowledgement: every one is reported,
    // in order, once.
    void monitorFlood_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("routed (+CMT)") << false;
        QTest::newRow("stored and indicated (+CMTI)") << true;
    }

    void monitorFlood()
    {
        QFETCH(bool, stored);
        constexpr int Count = 1000;
        sim::VirtualModemOptions options;
        options.seed = 11;
        options.field.floodMessages = Count;
        options.field.strictCnmi = stored;
        m_virtual = std::make_shared<sim::VirtualModem>(options, m_clock);
        const Run result = run({QStringLiteral("--type=-1"), QStringLiteral("monitor")}, [](int step) {
            if (step == 50)
                std::raise(SIGINT);
        });
        QCOMPARE(result.status, 0);
        QStringList floods;
        for (const QString &line : result.out.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("message: ")) && line.contains(QLatin1String(": flood ")))
                floods << line.section(QLatin1String(": flood "), 1);
        }
        QCOMPARE(floods.size(), Count);
        for (int i = 0; i < Count; ++i)
            QCOMPARE(floods.at(i), QString::number(i + 1));
    }

    // A modem that stops answering while its port stays open: a quiet spell, a plain AT without
    // an answer, and the monitor ends saying so.
    void monitorFindsAFrozenModem()
    {
        sim::VirtualModemOptions options;
        options.seed = 11;
        options.field.freezeAfterSeconds = 2;
        m_virtual = std::make_shared<sim::VirtualModem>(options, m_clock);
        const Run result = run({QStringLiteral("--type=-1"), QStringLiteral("monitor"), QStringLiteral("--liveness"), QStringLiteral("1")},
                               [](int step) {
                                   // A monitor that never finds out ends here, with the wrong status.
                                   if (step == 400)
                                       std::raise(SIGINT);
                               });
        QCOMPARE(result.status, int(cli::ExitConnectionLost));
        QVERIFY2(result.err.startsWith(QLatin1String("pellix: error 5: ")) && result.err.contains(QLatin1String("stopped answering")),
                 qPrintable(result.err));
        QVERIFY2(result.out.contains(QLatin1String("status: 0")), qPrintable(result.out));
    }

    void watchIntervals_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("readings"); // before Ctrl-C at 2 s
        QTest::newRow("half a second") << "0.5" << 0 << 4;
        QTest::newRow("a tenth, no leading zero") << ".1" << 0 << 20;
        QTest::newRow("whole seconds") << "1" << 0 << 2;
        QTest::newRow("below a tenth") << "0.05" << int(cli::ExitUsage) << 0;
        QTest::newRow("exponent") << "1e1" << int(cli::ExitUsage) << 0;
        QTest::newRow("comma") << "0,5" << int(cli::ExitUsage) << 0;
    }

    void watchIntervals()
    {
        QFETCH(QString, interval);
        QFETCH(int, status);
        QFETCH(int, readings);
        const Run result = run({QStringLiteral("--type=-1"), QStringLiteral("signal"), QStringLiteral("--watch"), interval},
                               [](int step) {
                                   if (step == 20)
                                       std::raise(SIGINT);
                               });
        QCOMPARE(result.status, status);
        QCOMPARE(int(result.out.count(QLatin1String(" dBm)"))), readings);
        if (status == int(cli::ExitUsage))
            QVERIFY2(result.err.contains(QLatin1String("--watch must be a number of seconds from 0.1 to 86400")), qPrintable(result.err));
    }

    // A trace that cannot be written is said once on stderr; the command does what it did.
    void unwritableTraceIsSaidOnce()
    {
        m_tracePath = m_dir.filePath(QStringLiteral("no-such-folder/Pellix.log"));
        const Run result = run({QStringLiteral("--type=-1"), QStringLiteral("at"), QStringLiteral("AT"), QStringLiteral("AT+CSQ")});
        m_tracePath.clear();
        QCOMPARE(result.status, 0);
        QCOMPARE(result.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(result.err.startsWith(QLatin1String("pellix: warning: ") + m_dir.filePath(QStringLiteral("no-such-folder/Pellix.log"))),
                 qPrintable(result.err));
    }

    void monitor_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::newRow("until interrupted") << false << 0 << "";
        QTest::newRow("link dropped") << true << int(cli::ExitConnectionLost) << "pellix: error 5: Connection to the modem lost";
    }

    void monitor()
    {
        QFETCH(bool, unplug);
        QFETCH(int, status);
        QFETCH(QString, err);
        bool secondSignalEnds = unplug;
        const Run result = run({QStringLiteral("--type=-1"), QStringLiteral("--json"), QStringLiteral("monitor")}, [&](int step) {
            if (step == 1)
                m_virtual->incomingCall(QStringLiteral("+15550001"));
            if (step == 30 && unplug)
                m_transport->setFault(sim::VirtualModemTransport::Fault::Unplugged);
            if (step == 30 && !unplug) {
                std::raise(SIGINT);
                // A library call in progress may hold the clean end back: a second Ctrl-C is not
                // swallowed by it.
                struct sigaction now {};
                ::sigaction(SIGINT, nullptr, &now);
                secondSignalEnds = now.sa_handler == SIG_DFL;
            }
        });
        QVERIFY(secondSignalEnds);
        QCOMPARE(result.status, status);
        QVERIFY2(err.isEmpty() ? result.err.isEmpty() : result.err.startsWith(err), qPrintable(result.err));
        const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(!lines.isEmpty(), qPrintable(result.out));
        const QJsonObject ring = QJsonDocument::fromJson(lines.first().toUtf8()).object();
        QCOMPARE(ring.value(QLatin1String("event")).toString(), QStringLiteral("ring"));
        QCOMPARE(ring.value(QLatin1String("from")).toString(), QStringLiteral("+15550001"));
        // The dropped link is an event too; the end of an interrupted monitor is not.
        QVERIFY2(result.out.contains(QLatin1String("{\"event\":\"status\",\"status\":0")) == unplug, qPrintable(result.out));
    }
};

QTEST_GUILESS_MAIN(TestCliMonitor)
#include "tst_climonitor.moc"
