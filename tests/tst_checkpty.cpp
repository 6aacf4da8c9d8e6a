// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// pellix check as an operator runs it, on pellix-modemsim pseudo-terminals.
class TestCheckPty : public QObject
{
    Q_OBJECT

private:
    // Starts pellix-modemsim with the switches and returns its device path.
    QString simulator(const QStringList &switches)
    {
        auto sim = std::make_unique<QProcess>();
        sim->setProgram(QStringLiteral(PELLIX_MODEMSIM));
        sim->setArguments(switches);
        sim->start();
        if (!sim->waitForStarted(5000) || !sim->waitForReadyRead(5000))
            return QString();
        const QString device = QString::fromLocal8Bit(sim->readLine()).trimmed();
        m_simulators.push_back(std::move(sim));
        return device;
    }

    struct Run
    {
        int status = -1;
        QJsonObject json;
        QString err;
        double seconds = 0;
    };

    Run check(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), m_dir.path());
        process.setProcessEnvironment(environment);
        process.setProgram(QStringLiteral(PELLIX_CLI));
        process.setArguments(QStringList{QStringLiteral("--json"), QStringLiteral("check")} + arguments);
        QElapsedTimer clock;
        clock.start();
        process.start();
        Run run;
        if (!process.waitForFinished(240000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.seconds = double(clock.elapsed()) / 1000;
        run.status = process.exitCode();
        run.json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_simulators;

private Q_SLOTS:
    void cleanup()
    {
        for (auto &sim : m_simulators) {
            sim->terminate();
            if (!sim->waitForFinished(5000))
                sim->kill();
        }
        m_simulators.clear();
    }

    // A verdict per switch of pellix-modemsim: the steps' verdicts in order, what the first one
    // that did not pass says, and how often a PIN went to the SIM (never in clear in the trace).
    void verdicts_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("verdicts");
        QTest::addColumn<QString>("said");
        QTest::addColumn<int>("pinsEntered");
        // Steps: AT, SIM, identity, registered, signal, SMSC, storage, phonebook, loopback, USSD.
        QTest::newRow("all pass") << QStringList{} << QStringList{}
                                  << "PASS PASS PASS PASS PASS PASS PASS PASS PASS PASS" << "" << 0;
        QTest::newRow("storage full") << QStringList{"--sim-full"} << QStringList{}
                                      << "PASS PASS PASS PASS PASS PASS FAIL PASS PASS PASS" << "SM 50 of 50" << 0;
        QTest::newRow("storage refusing writes") << QStringList{"--storage-full"} << QStringList{}
                                                 << "PASS PASS PASS PASS PASS PASS FAIL PASS PASS PASS"
                                                 << "full: SM 50 of 50 -> Delete messages" << 0;
        QTest::newRow("PIN wanted") << QStringList{"--pin", "4321"} << QStringList{}
                                    << "PASS FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP" << "--pin NNNN" << 0;
        QTest::newRow("PIN given") << QStringList{"--pin", "4321"} << QStringList{"--pin", "4321"}
                                   << "PASS PASS PASS PASS PASS PASS PASS PASS PASS PASS" << "" << 1;
        QTest::newRow("PIN on its last attempt")
            << QStringList{"--pin", "4321", "--pin-attempts", "1"} << QStringList{"--pin", "4321"}
            << "PASS FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP" << "1 attempt left" << 0;
        QTest::newRow("PIN forced on its last attempt")
            << QStringList{"--pin", "4321", "--pin-attempts", "1"} << QStringList{"--pin", "4321", "--force-pin"}
            << "PASS PASS PASS PASS PASS PASS PASS PASS PASS PASS" << "" << 1;
        QTest::newRow("wrong PIN costs one attempt")
            << QStringList{"--pin", "4321", "--pin-attempts", "2"} << QStringList{"--pin", "1357"}
            << "PASS FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP" << "refused the PIN given" << 1;
        QTest::newRow("registration denied") << QStringList{"--registration", "denied"} << QStringList{}
                                             << "PASS PASS PASS FAIL PASS PASS PASS PASS SKIP SKIP"
                                             << "registration denied -> The network refuses this SIM" << 0;
        QTest::newRow("still searching") << QStringList{"--registration", "searching"} << QStringList{}
                                         << "PASS PASS PASS FAIL PASS PASS PASS PASS SKIP SKIP"
                                         << "searching -> Check the antenna" << 0;
        QTest::newRow("no SMS centre") << QStringList{"--no-smsc"} << QStringList{}
                                       << "PASS PASS PASS PASS PASS FAIL PASS PASS SKIP PASS"
                                       << "no SMS centre is set -> Set the SMS centre: pellix smsc set" << 0;
        QTest::newRow("no own number") << QStringList{"--no-cnum"} << QStringList{}
                                       << "PASS PASS PASS PASS PASS PASS PASS PASS SKIP PASS" << "no own number" << 0;
        QTest::newRow("USSD never answered") << QStringList{"--ussd", "silent"} << QStringList{"--within", "3"}
                                             << "PASS PASS PASS PASS PASS PASS PASS PASS PASS FAIL"
                                             << "no answer to *100# within 3 s" << 0;
        QTest::newRow("USSD refused by the modem") << QStringList{"--ussd", "notsupported"} << QStringList{}
                                                   << "PASS PASS PASS PASS PASS PASS PASS PASS PASS SKIP"
                                                   << "not supported by this modem" << 0;
        QTest::newRow("frozen while the loopback waits")
            << QStringList{"--freeze-after", "2"} << QStringList{"--within", "5"}
            << "PASS PASS PASS PASS PASS PASS PASS PASS FAIL FAIL" << "stopped answering while the loopback waited" << 0;
        QTest::newRow("silent port") << QStringList{"--freeze-after", "1"} << QStringList{}
                                     << "FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP" << "does not answer AT" << 0;
    }

    void verdicts()
    {
        QFETCH(QStringList, switches);
        QFETCH(QStringList, options);
        QFETCH(QString, verdicts);
        QFETCH(QString, said);
        QFETCH(int, pinsEntered);
        const QString device = simulator(switches + QStringList{QStringLiteral("--seed"), QStringLiteral("3")});
        QVERIFY(device.startsWith(QLatin1String("/dev/")));
        // A modem frozen at its first second is frozen before pellix comes.
        if (const qsizetype freeze = switches.indexOf(QLatin1String("--freeze-after")); freeze >= 0 && switches.value(freeze + 1) == QLatin1String("1"))
            QTest::qWait(1500);
        QStringList arguments = options + QStringList{QStringLiteral("--device"), device, QStringLiteral("--min-rssi"), QStringLiteral("0"),
                                                      QStringLiteral("--ussd"), QStringLiteral("*100#")};
        if (!options.contains(QLatin1String("--within")))
            arguments << QStringLiteral("--within") << QStringLiteral("30");
        // Pseudo-terminals are numbered again for each row: the trace read below is this check's.
        QDir traces(m_dir.path());
        for (const QString &file : traces.entryList({QStringLiteral("pellix-check-*.log")}, QDir::Files))
            QVERIFY(traces.remove(file));
        const Run run = check(arguments);
        const QJsonObject modem = run.json.value(QLatin1String("modems")).toArray().at(0).toObject();
        const QJsonArray steps = modem[QLatin1String("steps")].toArray();
        QStringList got;
        QString first;
        for (const QJsonValue &step : steps) {
            got << step[QLatin1String("verdict")].toString();
            if (first.isEmpty() && got.last() != QLatin1String("PASS"))
                first = step[QLatin1String("reason")].toString() + QStringLiteral(" -> ") + step[QLatin1String("remedy")].toString();
        }
        QCOMPARE(got.join(QLatin1Char(' ')), verdicts);
        QVERIFY2(first.contains(said), qPrintable(first));
        QCOMPARE(run.status, verdicts.contains(QLatin1String("FAIL")) ? 6 : 0);

        QFile trace(modem.value(QLatin1String("trace")).toString());
        QVERIFY2(trace.open(QIODevice::ReadOnly), qPrintable(trace.fileName()));
        const QByteArray recorded = trace.readAll();
        QCOMPARE(int(recorded.count("-> AT+CPIN=")), pinsEntered);
        QCOMPARE(int(recorded.count("AT+CPIN=\"")), 0);
    }

    // One modem that answers, one that froze before pellix came and one that stops answering in
    // the middle (its +CSQ answer comes far too late): those two fail their own steps, the other
    // passes in its own time, each with its trace, and the JUnit file says the same.
    void frozenModemHoldsNoneBack()
    {
        const QString good = simulator({QStringLiteral("--seed"), QStringLiteral("3")});
        const QString frozen = simulator({QStringLiteral("--freeze-after"), QStringLiteral("1")});
        const QString late = simulator({QStringLiteral("--late-reply"), QStringLiteral("30000"), QStringLiteral("--late-command"),
                                        QStringLiteral("+CSQ")});
        QVERIFY(good.startsWith(QLatin1String("/dev/")) && frozen.startsWith(QLatin1String("/dev/")) && late.startsWith(QLatin1String("/dev/")));
        // Frozen before pellix comes: its port is open and silent.
        QTest::qWait(1500);
        const QString junit = m_dir.filePath(QStringLiteral("check.xml"));
        const Run run = check({QStringLiteral("--device"), frozen, QStringLiteral("--device"), late, QStringLiteral("--device"), good,
                               QStringLiteral("--ussd"), QStringLiteral("*100#"), QStringLiteral("--own-number"),
                               QStringLiteral("+3934811111111"), QStringLiteral("--within"), QStringLiteral("30"),
                               QStringLiteral("--junit"), junit});
        QCOMPARE(run.status, 6);
        QCOMPARE(run.json.value(QLatin1String("verdict")).toString(), QStringLiteral("FAIL"));
        const QJsonArray modems = run.json.value(QLatin1String("modems")).toArray();
        QCOMPARE(modems.size(), 3);
        const QJsonObject stuck = modems.at(0).toObject();
        const QJsonObject slow = modems.at(1).toObject();
        const QJsonObject fine = modems.at(2).toObject();
        QCOMPARE(stuck.value(QLatin1String("device")).toString(), frozen);
        QCOMPARE(stuck.value(QLatin1String("verdict")).toString(), QStringLiteral("FAIL"));
        QCOMPARE(stuck.value(QLatin1String("steps")).toArray().at(0)[QLatin1String("verdict")].toString(), QStringLiteral("FAIL"));
        QVERIFY2(fine.value(QLatin1String("verdict")).toString() == QLatin1String("PASS"), qPrintable(QJsonDocument(fine).toJson()));
        QVERIFY(fine.value(QLatin1String("identity")).toString().contains(QLatin1String("PVM-1")));
        const auto secondsOf = [](const QJsonObject &modem) {
            double sum = 0;
            for (const QJsonValue &step : modem.value(QLatin1String("steps")).toArray())
                sum += step[QLatin1String("seconds")].toDouble();
            return sum;
        };
        const QJsonArray slowSteps = slow.value(QLatin1String("steps")).toArray();
        QCOMPARE(slowSteps.at(4)[QLatin1String("name")].toString(), QStringLiteral("signal"));
        QCOMPARE(slowSteps.at(4)[QLatin1String("verdict")].toString(), QStringLiteral("FAIL"));
        QCOMPARE(slowSteps.last()[QLatin1String("verdict")].toString(), QStringLiteral("SKIP"));
        // The good modem ran while the slow one waited: the whole run took less than the two one
        // after the other.
        QVERIFY2(run.seconds < secondsOf(slow) + secondsOf(fine) - 1.0,
                 qPrintable(QStringLiteral("%1 s in all, %2 s and %3 s").arg(run.seconds).arg(secondsOf(slow)).arg(secondsOf(fine))));
        for (const QJsonObject &modem : {stuck, slow, fine}) {
            const QString trace = modem.value(QLatin1String("trace")).toString();
            QVERIFY2(QFile(trace).size() > 0, qPrintable(trace));
        }
        QVERIFY(stuck.value(QLatin1String("trace")) != fine.value(QLatin1String("trace")));
        QVERIFY(slow.value(QLatin1String("trace")) != fine.value(QLatin1String("trace")));

        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sys, xml.etree.ElementTree as E\n"
                                     "print([(s.get('name'), s.get('failures')) for s in E.parse(sys.argv[1]).getroot().iter('testsuite')])"),
                      junit});
        QVERIFY(python.waitForFinished(30000));
        const QString suites = QString::fromUtf8(python.readAllStandardOutput()).trimmed();
        QVERIFY2(suites.startsWith(QStringLiteral("[('%1', '").arg(frozen)) && suites.endsWith(QStringLiteral("('%1', '0')]").arg(good)),
                 qPrintable(suites));
    }
};

QTEST_GUILESS_MAIN(TestCheckPty)
#include "tst_checkpty.moc"
