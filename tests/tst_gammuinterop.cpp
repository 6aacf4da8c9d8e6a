// SPDX-License-Identifier: GPL-3.0-or-later
// An independent AT client (the gammu command line of Debian) against pellix-modemsim on a
// pseudo-terminal: if gammu can identify the modem, send, read, and manage the phonebook and
// forwarding through it, real clients can talk to the virtual modem.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

// Every external process is killed after this long, so that the test cannot hang.
constexpr int ProcessLimitMs = 60000;
constexpr char Gammu[] = "/usr/bin/gammu";

} // namespace

class TestGammuInterop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void gammuCommands_data();
    void gammuCommands();

private:
    QProcess m_simulator;
    QTemporaryDir m_dir;
    QString m_config;
};

void TestGammuInterop::initTestCase()
{
    if (!QFile::exists(QLatin1String(Gammu)))
        QSKIP("the gammu command line is not installed (apt-get install gammu)");
    QVERIFY(m_dir.isValid());
    const QString link = m_dir.filePath(QStringLiteral("modem"));
    m_simulator.setProgram(QStringLiteral(PELLIX_MODEMSIM));
    m_simulator.setArguments({QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--link"), link});
    m_simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_simulator.start();
    QVERIFY2(m_simulator.waitForStarted(10000), qPrintable(m_simulator.errorString()));
    QByteArray path;
    while (!path.contains('\n') && m_simulator.waitForReadyRead(10000))
        path += m_simulator.readAllStandardOutput();
    path = path.trimmed();
    QVERIFY2(path.startsWith("/dev/pts/"), path.constData());
    QCOMPARE(QFileInfo(link).symLinkTarget(), QString::fromLocal8Bit(path));

    // Protocol notes 4.3: gammu reaches an AT modem on a terminal as "at19200".
    m_config = m_dir.filePath(QStringLiteral("gammurc"));
    QFile config(m_config);
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[gammu]\ndevice = " + QFile::encodeName(link) + "\nconnection = at19200\n");
}

void TestGammuInterop::cleanupTestCase()
{
    if (m_simulator.state() == QProcess::NotRunning)
        return;
    m_simulator.terminate();
    if (!m_simulator.waitForFinished(5000)) {
        m_simulator.kill();
        m_simulator.waitForFinished(5000);
    }
    QCOMPARE(m_simulator.exitStatus(), QProcess::NormalExit);
    // The link goes with the simulator.
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("modem"))));
}

void TestGammuInterop::gammuCommands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("waitBeforeMs");   // for the network to act on what came before
    QTest::addColumn<QStringList>("expected"); // pieces of gammu's output
    using S = QStringList;
    // The rows run in order against one simulator, each building on the one before.
    QTest::newRow("identify names the modem")
        << S{"identify"} << 0
        << S{"Manufacturer         : Pellix", "PVM-1", "IMEI                 : 357920061482624",
             "SIM IMSI             : 001011234567890"};
    QTest::newRow("send to the own number") << S{"sendsms", "TEXT", "+3934811111111", "-text", "hello from gammu"} << 0
                                            << S{"OK, message reference=1"};
    QTest::newRow("send with a report to a failing number")
        << S{"sendsms", "TEXT", "+393470000666", "-text", "report please", "-report"} << 0
        << S{"OK, message reference=2"};
    QTest::newRow("read back the message and the report")
        << S{"getallsms"} << 2500
        << S{"hello from gammu", "Remote number        : \"+3934811111111\"", "Grüße aus München",
             "Привет из Москвы", "Remote number        : \"+393470000666\"", "Delivery status      : Failed"};
    QTest::newRow("phonebook") << S{"getmemory", "SM", "1", "3"} << 0
                               << S{"\"Anna Rossi\"", "\"Jürgen Müller\"", "\"+4915112345678\"", "\"Voicemail\""};
    QTest::newRow("forward voice calls") << S{"divert", "set", "all", "voice", "+393470001234", "20"} << 0 << S{"Changed"};
    QTest::newRow("forwarding is remembered") << S{"divert", "get", "all", "voice"} << 0 << S{"+393470001234"};
    QTest::newRow("cancel forwarding") << S{"canceldiverts"} << 0 << S{};
    QTest::newRow("network") << S{"networkinfo"} << 0 << S{"Pellix Net", "home network"};
    QTest::newRow("monitor") << S{"monitor", "1"} << 0 << S{"Signal strength", "SIM SMS status"};
}

void TestGammuInterop::gammuCommands()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, waitBeforeMs);
    QFETCH(QStringList, expected);
    QVERIFY(m_simulator.state() == QProcess::Running);
    QThread::msleep(waitBeforeMs);

    QProcess gammu;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    gammu.setProcessEnvironment(environment);
    gammu.setProcessChannelMode(QProcess::MergedChannels);
    gammu.start(QLatin1String(Gammu), QStringList{QStringLiteral("-c"), m_config} + arguments);
    QVERIFY2(gammu.waitForStarted(10000), qPrintable(gammu.errorString()));
    if (!gammu.waitForFinished(ProcessLimitMs)) {
        gammu.kill();
        gammu.waitForFinished(5000);
        QFAIL("gammu did not finish within a minute");
    }
    const QString output = QString::fromUtf8(gammu.readAll());
    QVERIFY2(gammu.exitStatus() == QProcess::NormalExit && gammu.exitCode() == 0,
             qPrintable(QStringLiteral("exit %1:\n%2").arg(gammu.exitCode()).arg(output)));
    for (const QString &piece : expected)
        QVERIFY2(output.contains(piece), qPrintable(QStringLiteral("missing \"%1\" in:\n%2").arg(piece, output)));
}

QTEST_GUILESS_MAIN(TestGammuInterop)
#include "tst_gammuinterop.moc"
