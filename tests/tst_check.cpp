// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkreport.h"
#include "commandline.h"
#include "modemtargets.h"
#include "output.h"
#include "environment.h"
#include "modem/pellixgsmmodem.h"
#include "pellixcli.h"
#include "transport/serialportdescription.h"
#include "checkrunner.h"
#include "checksteps.h"
#include "pellixerror.h"
#include "raisederror.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSemaphore>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace cli;
using pellix::ErrorCode;

namespace {

// A modem of the test's own for the steps' decisions: each fault makes one answer what a field
// modem says in that case.
class FakeModem final : public CheckedModem
{
public:
    explicit FakeModem(QString fault) : m_fault(std::move(fault)) {}

    void connect() override
    {
        if (m_fault == QLatin1String("silent"))
            pellix::raise(ErrorCode::Timeout, QStringLiteral("no answer to AT"));
        if (m_fault == QLatin1String("pin"))
            pellix::raise(ErrorCode::PinRequired, QStringLiteral("the SIM asks for its PIN, and none was given"));
        if (m_fault == QLatin1String("one attempt"))
            pellix::raise(ErrorCode::PinRequired, QStringLiteral("the SIM asks for its PIN: 1 attempt left"));
        if (m_fault == QLatin1String("no files"))
            pellix::raise(ErrorCode::PortCannotOpen, QStringLiteral("/dev/pts/9: ") + QString::fromLocal8Bit(std::strerror(EMFILE)));
        if (m_fault == QLatin1String("wrong pin"))
            throw pellix::cmeError(16, QStringLiteral("AT+CPIN=****"));
        if (m_fault == QLatin1String("no sim"))
            throw pellix::cmeError(10, QStringLiteral("AT+CPIN?"));
        if (m_fault == QLatin1String("sim busy"))
            throw pellix::cmeError(14, QStringLiteral("AT+CPMS?"));
    }
    QString identity() override { return QStringLiteral("Pellix PVM-1 IMEI 357920061482624"); }
    int phonebookSize() override { return 250; }
    pellix::SimFacts readSim() override
    {
        pellix::SimFacts sim;
        sim.pinState = QStringLiteral("READY");
        sim.pinAttempts = 3;
        if (m_fault != QLatin1String("no cnum"))
            sim.ownNumbers << QStringLiteral("+3934811111111");
        return sim;
    }
    pellix::NetworkFacts readNetwork() override
    {
        if (m_fault == QLatin1String("slow network"))
            pellix::raise(ErrorCode::Timeout, QStringLiteral("AT+CREG?"));
        pellix::NetworkFacts facts;
        pellix::Registration registration;
        registration.command = "+CREG";
        registration.state = m_fault == QLatin1String("denied")      ? pellix::RegistrationState::Denied
                             : m_fault == QLatin1String("searching") ? pellix::RegistrationState::Searching
                             : m_fault == QLatin1String("roaming")   ? pellix::RegistrationState::Roaming
                                                                     : pellix::RegistrationState::Home;
        facts.registrations << registration;
        facts.operatorNumeric = QStringLiteral("22210");
        return facts;
    }
    int rssi() override
    {
        if (m_fault == QLatin1String("unplugged")) {
            m_lost = true;
            pellix::raise(ErrorCode::ConnectionLost, QStringLiteral("the link dropped"));
        }
        return m_fault == QLatin1String("weak") ? 5 : 20;
    }
    pellix::SmscFacts readSmsc() override
    {
        if (m_fault == QLatin1String("no csca"))
            throw pellix::notSupportedError(QStringLiteral("AT+CSCA?"), QStringLiteral("ERROR"));
        return {m_fault == QLatin1String("no smsc") ? QString() : QStringLiteral("+393492000200"), 145};
    }
    QList<pellix::StorageUse> readStorage() override
    {
        return {{"SM", m_fault == QLatin1String("full") ? 30 : 2, 30}, {"SM", 2, 30}, {"SM", 2, 30}};
    }
    LoopbackResult loopback(const QString &number, int) override
    {
        m_loopbackTo = number;
        LoopbackResult result;
        result.reference = 7;
        if (m_fault != QLatin1String("no report")) {
            result.report = SmsStatusReport{};
            result.report->Status = 0;
        }
        result.arrived = m_fault != QLatin1String("lost message");
        return result;
    }
    pellix::UssdAnswer ussd(const QString &, int) override
    {
        if (m_fault == QLatin1String("frozen"))
            pellix::raise(ErrorCode::Timeout, QStringLiteral("AT+CSCS?"));
        if (m_fault == QLatin1String("ussd unknown"))
            throw pellix::notSupportedError(QStringLiteral("AT+CUSD"));
        pellix::UssdAnswer answer;
        if (m_fault != QLatin1String("ussd silent")) {
            answer.status = pellix::UssdStatus::Done;
            answer.text = QStringLiteral("Credit: 5.00 EUR");
        }
        return answer;
    }
    bool connectionLost() const override { return m_lost; }
    void close() override { m_closed = true; }

    QString m_fault;
    QString m_loopbackTo;
    bool m_lost = false;
    bool m_closed = false;
};

// A modem whose signal reading takes long (waitMs), or never returns until the test lets it go.
class SlowModem final : public CheckedModem
{
public:
    SlowModem(int waitMs, QSemaphore *release, std::atomic<qint64> *closedAt, QElapsedTimer *clock)
        : m_fake(QString()), m_waitMs(waitMs), m_release(release), m_closedAt(closedAt), m_clock(clock)
    {
    }
    void connect() override { m_fake.connect(); }
    QString identity() override { return m_fake.identity(); }
    pellix::SimFacts readSim() override { return m_fake.readSim(); }
    pellix::NetworkFacts readNetwork() override { return m_fake.readNetwork(); }
    int rssi() override
    {
        if (m_release)
            m_release->acquire();
        else
            QThread::msleep(m_waitMs);
        return m_fake.rssi();
    }
    pellix::SmscFacts readSmsc() override { return m_fake.readSmsc(); }
    QList<pellix::StorageUse> readStorage() override { return m_fake.readStorage(); }
    int phonebookSize() override { return m_fake.phonebookSize(); }
    LoopbackResult loopback(const QString &number, int withinMs) override { return m_fake.loopback(number, withinMs); }
    pellix::UssdAnswer ussd(const QString &code, int timeoutMs) override { return m_fake.ussd(code, timeoutMs); }
    bool connectionLost() const override { return false; }
    void close() override { *m_closedAt = m_clock->elapsed(); }

private:
    FakeModem m_fake;
    int m_waitMs;
    QSemaphore *m_release;
    std::atomic<qint64> *m_closedAt;
    QElapsedTimer *m_clock;
};

QList<ModemCheck> sampleChecks()
{
    ModemCheck good;
    good.port = QStringLiteral("COM33");
    good.device = QStringLiteral("/dev/ttyUSB0");
    good.identity = QStringLiteral("Pellix PVM-1");
    good.trace = QStringLiteral("/tmp/pellix-1000/pellix-check-COM33.log");
    good.steps << CheckStep{QStringLiteral("port answers AT"), CheckVerdict::Pass, 0.25, {}, {}, QStringLiteral("ok")};
    ModemCheck bad = good;
    bad.port = QStringLiteral("/dev/pts/7");
    bad.device = bad.port;
    // What a network may put into a USSD or operator text: markup and control characters.
    bad.steps << CheckStep{QStringLiteral("SMS centre"), CheckVerdict::Fail, 1.5, QStringLiteral("no <SMS> centre & \"set\"\x01"),
                           QStringLiteral("Set the SMS centre: pellix smsc set +NUMBER"), {}};
    bad.steps << CheckStep{QStringLiteral("loopback"), CheckVerdict::Skip, 0, QStringLiteral("depends on \"SMS centre\", which failed"), {}, {}};
    return {good, bad};
}

QString verdicts(const QList<CheckStep> &steps)
{
    QStringList words;
    for (const CheckStep &step : steps)
        words << verdictName(step.verdict);
    return words.join(QLatin1Char(' '));
}

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void steps_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("ownNumber");
        QTest::addColumn<QString>("verdicts");
        QTest::addColumn<QString>("said"); // in the first non-passing step's reason and remedy

        // Steps: AT, SIM, identity, registered, signal, SMSC, storage, phonebook, loopback, USSD.
        QTest::newRow("all pass") << "" << "" << "PASS PASS PASS PASS PASS PASS PASS PASS PASS PASS" << "";
        QTest::newRow("roaming passes") << "roaming" << "" << "PASS PASS PASS PASS PASS PASS PASS PASS PASS PASS" << "";
        QTest::newRow("silent port: the rest skipped, naming it")
            << "silent" << "" << "FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP" << "ports --probe";
        QTest::newRow("out of open files: this program's limit, not the port")
            << "no files" << "" << "FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP" << "-> Raise the limit of open files (ulimit -n)";
        QTest::newRow("PIN wanted: the port answered")
            << "pin" << "" << "PASS FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP" << "--pin NNNN";
        QTest::newRow("one PIN attempt left") << "one attempt" << "" << "PASS FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP"
                                              << "1 attempt left -> Unlock the SIM in a phone, or check the PIN and give --force-pin";
        QTest::newRow("wrong PIN: the SIM's failure, not the port's")
            << "wrong pin" << "" << "PASS FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP" << "refused the PIN given (incorrect password";
        QTest::newRow("no SIM: the port answered") << "no sim" << "" << "PASS FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP"
                                                   << "SIM not inserted (+CME ERROR: 10, AT+CPIN?) -> Insert a SIM";
        QTest::newRow("SIM busy for good") << "sim busy" << "" << "PASS FAIL SKIP SKIP SKIP SKIP SKIP SKIP SKIP SKIP"
                                           << "SIM busy (+CME ERROR: 14, AT+CPMS?) -> The SIM is still starting";
        QTest::newRow("registration denied: loopback and USSD wait on it")
            << "denied" << "" << "PASS PASS PASS FAIL PASS PASS PASS PASS SKIP SKIP" << "registration denied -> The network refuses";
        QTest::newRow("searching") << "searching" << "" << "PASS PASS PASS FAIL PASS PASS PASS PASS SKIP SKIP"
                                   << "searching -> Check the antenna";
        QTest::newRow("weak signal") << "weak" << "" << "PASS PASS PASS PASS FAIL PASS PASS PASS PASS PASS"
                                     << "below --min-rssi 10";
        QTest::newRow("no SMS centre") << "no smsc" << "" << "PASS PASS PASS PASS PASS FAIL PASS PASS SKIP PASS"
                                       << "no SMS centre is set -> Set the SMS centre: pellix smsc set +NUMBER";
        QTest::newRow("SMS centre unsupported skips, loopback still runs")
            << "no csca" << "" << "PASS PASS PASS PASS PASS SKIP PASS PASS PASS PASS" << "not supported by this modem";
        QTest::newRow("storage full") << "full" << "" << "PASS PASS PASS PASS PASS PASS FAIL PASS PASS PASS"
                                      << "SM 30 of 30 -> Delete messages";
        QTest::newRow("a refusal without a foreseen remedy still gets one")
            << "slow network" << "" << "PASS PASS PASS FAIL PASS PASS PASS PASS SKIP SKIP" << "AT+CREG? -> Check this modem alone";
        QTest::newRow("no own number") << "no cnum" << "" << "PASS PASS PASS PASS PASS PASS PASS PASS SKIP PASS"
                                       << "no own number";
        QTest::newRow("--own-number stands in for +CNUM")
            << "no cnum" << "+3934822222222" << "PASS PASS PASS PASS PASS PASS PASS PASS PASS PASS" << "";
        QTest::newRow("no status report") << "no report" << "" << "PASS PASS PASS PASS PASS PASS PASS PASS FAIL PASS"
                                          << "no status report for message 7";
        QTest::newRow("message not back") << "lost message" << "" << "PASS PASS PASS PASS PASS PASS PASS PASS FAIL PASS"
                                          << "did not come back within 5 s";
        QTest::newRow("USSD silent") << "ussd silent" << "" << "PASS PASS PASS PASS PASS PASS PASS PASS PASS FAIL"
                                     << "no answer to *100# within 5 s";
        QTest::newRow("frozen in the USSD step: the modem's remedy, not the code's")
            << "frozen" << "" << "PASS PASS PASS PASS PASS PASS PASS PASS PASS FAIL" << "AT+CSCS? -> Check this modem alone: it stopped";
        QTest::newRow("USSD not offered by the modem")
            << "ussd unknown" << "" << "PASS PASS PASS PASS PASS PASS PASS PASS PASS SKIP" << "not supported by this modem";
        QTest::newRow("unplugged: no more questions")
            << "unplugged" << "" << "PASS PASS PASS PASS FAIL SKIP SKIP SKIP SKIP SKIP" << "the link dropped -> Check the cable";
    }

    void steps()
    {
        QFETCH(QString, fault);
        QFETCH(QString, ownNumber);
        QFETCH(QString, verdicts);
        QFETCH(QString, said);
        FakeModem modem(fault);
        CheckSettings settings;
        settings.withinSeconds = 5;
        settings.ussdCode = QStringLiteral("*100#");
        settings.ownNumber = ownNumber;
        QList<CheckStep> steps;
        runCheckSteps(modem, settings, QDeadlineTimer(60000), [&](const CheckStep &step) { steps << step; });
        QCOMPARE(::verdicts(steps), verdicts);
        QCOMPARE(steps.size(), checkStepNames(settings).size());
        QVERIFY(modem.m_closed);
        for (const CheckStep &step : std::as_const(steps)) {
            if (step.verdict == CheckVerdict::Pass)
                continue;
            const QString text = step.reason + QStringLiteral(" -> ") + step.remedy;
            QVERIFY2(text.contains(said), qPrintable(text));
            // A failure always says what to do; a skip never asks for anything.
            QCOMPARE(step.remedy.isEmpty(), step.verdict == CheckVerdict::Skip);
            break;
        }
        // A skip for a failed step names the step at the root of it.
        for (const CheckStep &step : std::as_const(steps)) {
            if (step.verdict == CheckVerdict::Skip && step.reason.startsWith(QLatin1String("depends on"))) {
                const QString root = step.reason.section(QLatin1Char('"'), 1, 1);
                const auto failed = std::find_if(steps.cbegin(), steps.cend(), [&](const CheckStep &s) { return s.name == root; });
                QVERIFY2(failed != steps.cend() && failed->verdict == CheckVerdict::Fail, qPrintable(step.reason));
            }
        }
        if (!ownNumber.isEmpty())
            QCOMPARE(modem.m_loopbackTo, ownNumber);
    }

    // Two modems side by side: a slow one finishes after the quick one, and a hung one fails its
    // own remaining steps at its deadline while the other passes in its own time.
    void modemsRunSideBySide_data()
    {
        QTest::addColumn<bool>("hung");
        QTest::newRow("slow") << false;
        QTest::newRow("hung") << true;
    }

    void modemsRunSideBySide()
    {
        QFETCH(bool, hung);
        CheckSettings settings;
        settings.withinSeconds = 1;
        settings.localStepsMs = 1000;
        settings.graceMs = 300;
        QSemaphore release;
        std::atomic<qint64> closedAt[2] = {-1, -1};
        QElapsedTimer clock;
        clock.start();
        CheckRunner runner(settings, [&](const CheckTarget &target) -> std::unique_ptr<CheckedModem> {
            const int i = target.name == QLatin1String("quick") ? 0 : 1;
            return std::make_unique<SlowModem>(i == 0 ? 0 : 1200, i == 1 && hung ? &release : nullptr, &closedAt[i], &clock);
        });
        CheckTarget quick;
        quick.name = QStringLiteral("quick");
        CheckTarget slow;
        slow.name = QStringLiteral("slow");
        slow.request.devicePath = QStringLiteral("/dev/pts/9");
        QList<int> heard;
        const QList<ModemCheck> checks = runner.run({slow, quick}, [&](int modem, const CheckStep &) { heard << modem; });
        const qint64 returnedAt = clock.elapsed();
        release.release();

        QCOMPARE(checks.size(), 2);
        QCOMPARE(checks.at(0).port, QStringLiteral("slow"));
        QCOMPARE(checks.at(0).device, QStringLiteral("/dev/pts/9"));
        QCOMPARE(checks.at(1).verdict(), CheckVerdict::Pass);
        QCOMPARE(checks.at(1).identity, QStringLiteral("Pellix PVM-1 IMEI 357920061482624"));
        QCOMPARE(heard.count(0) + heard.count(1), checks.at(0).steps.size() + checks.at(1).steps.size() - (hung ? 5 : 0));
        // The quick modem was done while the other still measured its signal.
        QVERIFY(closedAt[1] < 0 || closedAt[0] < closedAt[1]);
        QVERIFY(closedAt[0] >= 0 && closedAt[0] < 1000);
        if (hung) {
            QCOMPARE(checks.at(0).verdict(), CheckVerdict::Fail);
            QCOMPARE(::verdicts(checks.at(0).steps), QStringLiteral("PASS PASS PASS PASS FAIL FAIL FAIL FAIL FAIL"));
            QVERIFY2(checks.at(0).steps.at(4).reason.contains(QLatin1String("did not finish within its time")),
                     qPrintable(checks.at(0).steps.at(4).reason));
            // The runner gave up at the modem's deadline and grace, not at the end of the hang.
            QVERIFY(returnedAt < settings.deadlineMs() + settings.graceMs + 1000);
        } else {
            QCOMPARE(checks.at(0).verdict(), CheckVerdict::Pass);
            QVERIFY(closedAt[1] >= 1200);
        }
    }

    // The command as a script runs it, on the library's virtual modems: exit statuses, what
    // --all picks, and usage errors before any modem is opened.
    void command_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("modems");
        QTest::addColumn<QString>("said"); // in stdout, or stderr for a usage error

        const QString v = QStringLiteral("--type=-1");
        QTest::newRow("two virtual modems pass")
            << QStringList{"--json", "check", v, v, "--within", "20"} << 0 << 2 << "\"verdict\":\"PASS\"";
        QTest::newRow("a signal bar too high fails")
            << QStringList{"check", v, "--min-rssi", "31"} << 6 << 1 << "below --min-rssi 31";
        QTest::newRow("--all checks the ports that answer AT")
            << QStringList{"--json", "check", "--all", "--min-rssi", "31"} << 6 << 1 << "\"port\":\"COM34\"";
        QTest::newRow("no modem named") << QStringList{"check"} << 2 << 0 << "give the modems with --port";
        QTest::newRow("a port twice") << QStringList{"check", "--port", "3", "--port", "COM3"} << 2 << 0 << "COM3 is named twice";
        QTest::newRow("two profiles") << QStringList{"check", "--type", "2", "--type", "3", "--port", "3"} << 2 << 0 << "one --type";
        QTest::newRow("--trace") << QStringList{"check", v, "--trace"} << 2 << 0 << "drop --trace";
        QTest::newRow("rssi out of range") << QStringList{"check", v, "--min-rssi", "32"} << 2 << 0 << "--min-rssi must be";
        QTest::newRow("other commands take one modem")
            << QStringList{"identify", "--port", "3", "--port", "4"} << 2 << 0 << "--port is given twice";
    }

    void command()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(int, modems);
        QFETCH(QString, said);
        QTemporaryDir dir;
        qputenv("TMPDIR", QFile::encodeName(dir.path()));
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        Environment environment;
        environment.out = &out;
        environment.err = &err;
        std::atomic<int> made = 0;
        environment.makeModem = [&](const ModemRequest &request) {
            ++made;
            // The port --all found answers as the virtual modem would.
            ModemRequest virtualModem = request;
            virtualModem.modemType = -1;
            virtualModem.devicePath.clear();
            return makeLibraryModem(virtualModem);
        };
        pellix::SerialPortDescription answers;
        answers.devicePath = QStringLiteral("/dev/ttyUSB1");
        answers.comNumber = 34;
        pellix::SerialPortDescription silent = answers;
        silent.devicePath = QStringLiteral("/dev/ttyUSB0");
        silent.comNumber = 33;
        environment.listPorts = [&] { return QList<pellix::SerialPortDescription>{silent, answers}; };
        environment.probePort = [&](const pellix::SerialPortDescription &port, qint32) {
            pellix::PortProbeResult result;
            if (port.devicePath == answers.devicePath)
                result.outcome = pellix::PortProbeResult::Outcome::Answered;
            return result;
        };
        QCOMPARE(runPellix(arguments, environment), status);
        QCOMPARE(made.load(), modems);
        const QString text = QString::fromUtf8(status == 2 ? err.data() : out.data());
        QVERIFY2(text.contains(said), qPrintable(text));
        qunsetenv("TMPDIR");
    }

    // Every modem named keeps what it is: a port or a device is opened as the modem type given
    // (or the standard one), and only --type -1 is the virtual modem.
    void targetsKeepTheirModemType_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<int>>("types");
        QTest::newRow("a port") << QStringList{QStringLiteral("check"), QStringLiteral("--port"), QStringLiteral("COM121")}
                                << QList<int>{1};
        QTest::newRow("a device and a virtual modem")
            << QStringList{QStringLiteral("check"), QStringLiteral("--device"), QStringLiteral("/dev/ttyUSB7"),
                           QStringLiteral("--type"), QStringLiteral("-1")}
            << QList<int>{1, -1};
        QTest::newRow("a type for the ports") << QStringList{QStringLiteral("check"), QStringLiteral("--type"), QStringLiteral("3"),
                                                             QStringLiteral("--port"), QStringLiteral("5"), QStringLiteral("--all")}
                                              << QList<int>{3, 3};
    }

    void targetsKeepTheirModemType()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QList<int>, types);
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        Output output(out, err, false, false);
        Environment environment;
        pellix::SerialPortDescription answers;
        answers.devicePath = QStringLiteral("/dev/ttyUSB1");
        environment.listPorts = [&] { return QList<pellix::SerialPortDescription>{answers}; };
        environment.probePort = [](const pellix::SerialPortDescription &, qint32) {
            pellix::PortProbeResult result;
            result.outcome = pellix::PortProbeResult::Outcome::Answered;
            return result;
        };
        QList<int> found;
        for (const CheckTarget &target : readModemTargets(environment, CommandLine::parse(arguments), output))
            found << target.request.modemType;
        QCOMPARE(found, types);
    }

    void outputsParse()
    {
        const QList<ModemCheck> checks = sampleChecks();
        const QJsonObject json = QJsonDocument::fromJson(QJsonDocument(checkJson(checks)).toJson()).object();
        QCOMPARE(json.value(QLatin1String("verdict")).toString(), QStringLiteral("FAIL"));
        const QJsonArray modems = json.value(QLatin1String("modems")).toArray();
        QCOMPARE(modems.size(), 2);
        QCOMPARE(modems.at(0)[QLatin1String("verdict")].toString(), QStringLiteral("PASS"));
        QCOMPARE(modems.at(1)[QLatin1String("trace")].toString(), checks.at(1).trace);
        const QJsonObject failed = modems.at(1)[QLatin1String("steps")].toArray().at(1).toObject();
        QCOMPARE(failed.value(QLatin1String("seconds")).toDouble(), 1.5);
        QCOMPARE(failed.value(QLatin1String("remedy")).toString(), checks.at(1).steps.at(1).remedy);

        // JUnit, written over an older file, read back by an XML parser of another make.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("check.xml"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("stale");
        old.close();
        QCOMPARE(writeCheckJunit(path, checks), QString());
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import sys, xml.etree.ElementTree as E\n"
                                     "r = E.parse(sys.argv[1]).getroot()\n"
                                     "for s in r.iter('testsuite'):\n"
                                     "  print(s.get('name'), s.get('tests'), s.get('failures'), s.get('skipped'), "
                                     "[(c.get('name'), c.get('time'), [(x.tag, x.get('message')) for x in c]) for c in s.iter('testcase')])\n"),
                      path});
        QVERIFY(python.waitForFinished(30000));
        QCOMPARE(python.exitCode(), 0);
        const QStringList suites = QString::fromUtf8(python.readAllStandardOutput()).trimmed().split(QLatin1Char('\n'));
        QCOMPARE(suites.size(), 2);
        QCOMPARE(suites.at(0), QStringLiteral("COM33 1 0 0 [('port answers AT', '0.250', [('system-out', None)])]"));
        QCOMPARE(suites.at(1), QStringLiteral("/dev/pts/7 3 1 1 [('port answers AT', '0.250', [('system-out', None)]), "
                                              "('SMS centre', '1.500', [('failure', 'no <SMS> centre & \"set\"\uFFFD')]), "
                                              "('loopback', '0.000', [('skipped', 'depends on \"SMS centre\", which failed')])]"));
        // A folder that is not there: the reason, and no file.
        QVERIFY(!writeCheckJunit(dir.filePath(QStringLiteral("none/check.xml")), checks).isEmpty());
    }

    // The JUnit file wherever a CI job points it: a disk that fills up keeps the old file and
    // says why; a pipe (as a device, never tried here: a fault would replace the machine's own
    // /dev/null) gets the XML and stays what it is.
    void junitTargets_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("written");
        QTest::newRow("a full disk keeps the old file") << "full disk" << false;
        QTest::newRow("a pipe a job reads") << "fifo" << true;
    }

    void junitTargets()
    {
        QFETCH(QString, target);
        QFETCH(bool, written);
        const QList<ModemCheck> checks = sampleChecks();
        QTemporaryDir dir;
        QString path;
        QProcess reader;
        QString why;
        if (target == QLatin1String("full disk")) {
            path = dir.filePath(QStringLiteral("check.xml"));
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("stale");
            old.close();
            // A file size limit fails the write as a full disk does (EFBIG instead of ENOSPC).
            rlimit before{};
            QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = before;
            small.rlim_cur = 64;
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
            why = writeCheckJunit(path, checks);
            setrlimit(RLIMIT_FSIZE, &before);
            std::signal(SIGXFSZ, oldHandler);
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), QByteArray("stale"));
        } else if (target == QLatin1String("fifo")) {
            path = dir.filePath(QStringLiteral("junit.pipe"));
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            reader.start(QStringLiteral("timeout"), {QStringLiteral("20"), QStringLiteral("cat"), path});
            QVERIFY(reader.waitForStarted());
            why = writeCheckJunit(path, checks);
            QVERIFY(reader.waitForFinished(30000));
            QCOMPARE(reader.readAllStandardOutput(), checkJunit(checks));
        }
        QCOMPARE(why.isEmpty(), written);
        if (target == QLatin1String("fifo"))
            QVERIFY2(!QFileInfo(path).isFile(), "a plain file took the place of the pipe");
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), target == QLatin1String("full disk") ? 1 : 0);
    }

    void tableAligns()
    {
        const QString table = checkTable(sampleChecks());
        const QStringList lines = table.split(QLatin1Char('\n'));
        // What each step found or why it failed starts in one column, over both modems' blocks;
        // the remedy stands under it.
        QSet<qsizetype> columns;
        for (const QString &line : lines) {
            for (const char *said : {"ok", "no <SMS>", "depends on", "-> Set the SMS centre"}) {
                if (const qsizetype at = line.indexOf(QLatin1String(said)); at > 0 && line.at(at - 1) == QLatin1Char(' '))
                    columns << at;
            }
        }
        QCOMPARE(columns.size(), 1);
        QVERIFY2(table.contains(QLatin1String("FAIL  /dev/pts/7: Pellix PVM-1")), qPrintable(table));
        QVERIFY2(table.contains(QLatin1String("trace /tmp/pellix-1000/pellix-check-COM33.log")), qPrintable(table));
        QCOMPARE(lines.last(), QStringLiteral("FAIL: 2 modem(s) checked, 1 passed, 1 failed"));
        // The control character the network put in a text reaches no terminal.
        for (QChar c : table)
            QVERIFY2(c == QLatin1Char('\n') || c.unicode() >= 0x20, qPrintable(table));
        QVERIFY(table.contains(QStringLiteral("no <SMS> centre & \"set\"\uFFFD")));
        // A trace that was not written (its folder is not this user's) is named as none.
        QList<ModemCheck> untraced = sampleChecks();
        untraced[0].trace.clear();
        QVERIFY2(checkTable(untraced).contains(QLatin1String("0 skipped; no trace\n")), qPrintable(checkTable(untraced)));
    }
};

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
