// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixerror.h"
#include "raisederrorcode.h"
#include "profiles/modemprofile.h"
#include "profiles/pellixini.h"
#include "transport/serialtransport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace pellix;

namespace {

constexpr int PtyCom = 201;
constexpr uid_t Nobody = 65534;

// The modem side of a pseudo-terminal pair: the transport opens the slave, the test plays the
// modem on the master.
class PtyPair
{
public:
    PtyPair()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_slave = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0 && !m_slave.isEmpty(); }
    const QString &slave() const { return m_slave; }
    int master() const { return m_master; }

    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    bool write(const QByteArray &bytes) const
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            pollfd pfd{m_master, POLLOUT, 0};
            ::poll(&pfd, 1, 100);
        }
        return true;
    }

    // Reads until `count` bytes came or the time is up.
    QByteArray read(qsizetype count, int timeoutMs = 3000) const
    {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (got.size() < count && timer.elapsed() < timeoutMs) {
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
        }
        return got;
    }

private:
    int m_master = -1;
    QString m_slave;
};

// Pellix.ini with [Ports] COM<n>=<device>.
class PortsIni
{
public:
    explicit PortsIni(const QList<QPair<int, QString>> &ports)
    {
        QByteArray text = "[Ports]\n";
        for (const auto &port : ports)
            text += "COM" + QByteArray::number(port.first) + '=' + port.second.toUtf8() + '\n';
        m_path = m_dir.filePath(QStringLiteral("Pellix.ini"));
        QFile f(m_path);
        if (f.open(QIODevice::WriteOnly))
            f.write(text);
    }
    PellixIni ini() const { return PellixIni::load(m_path); }
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// Runs a piece of code with the effective user of "nobody", so that file permissions apply to a
// test running as root; a no-op for other users.
class AsUnprivileged
{
public:
    AsUnprivileged()
    {
        if (::geteuid() == 0)
            m_switched = ::seteuid(Nobody) == 0;
    }
    ~AsUnprivileged()
    {
        if (m_switched)
            (void)::seteuid(0);
    }
    bool ok() const { return ::geteuid() != 0; }

private:
    bool m_switched = false;
};

QByteArray receiveAll(SerialTransport &t, qsizetype count, int timeoutMs = 3000)
{
    QByteArray got;
    const QDeadlineTimer deadline(timeoutMs);
    while (got.size() < count && t.waitForBytes(deadline))
        got += t.takeAvailable();
    return got;
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

} // namespace

class tst_SerialTransport : public QObject
{
    Q_OBJECT

private:
    ModemProfile m_profile = modemProfile(-1);

    // Opens the transport on the pty's slave as COM PtyCom.
    bool openOn(SerialTransport &t, const PtyPair &pty, qint32 baud = 0, ModemProfile profile = ModemProfile())
    {
        if (profile.name.isEmpty())
            profile = m_profile;
        PortsIni ports({{PtyCom, pty.slave()}});
        try {
            t.open(PtyCom, baud, profile, ports.ini());
        } catch (const RaisedError &e) {
            qWarning("%s", qPrintable(e.description()));
            return false;
        }
        return t.isOpen();
    }

private Q_SLOTS:
    void exchangeBothWays_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("command line") << QByteArray("AT+CSQ\r");
        QTest::newRow("every byte value passes raw (no CR/LF mapping, no XON/XOFF, no signals)") << allByteValues();
        QTest::newRow("block larger than one read") << QByteArray(6000, 'U') + allByteValues();
    }
    void exchangeBothWays()
    {
        QFETCH(QByteArray, payload);
        PtyPair pty;
        QVERIFY(pty.isValid());
        SerialTransport t;
        QVERIFY(openOn(t, pty));

        QVERIFY(t.write(payload));
        QCOMPARE(pty.read(payload.size()), payload);

        std::thread modem([&pty, payload]() { pty.write(payload); });
        const QByteArray got = receiveAll(t, payload.size());
        modem.join();
        QCOMPARE(got.size(), payload.size());
        QCOMPARE(got, payload);
    }

    void lineSettings_data()
    {
        QTest::addColumn<qint32>("requested");
        QTest::addColumn<qint32>("profileBaud");
        QTest::addColumn<qint32>("expected");
        QTest::addColumn<speed_t>("termiosSpeed");
        QTest::newRow("0 takes the profile's speed") << 0 << 19200 << 19200 << speed_t(B19200);
        QTest::newRow("explicit speed wins") << 9600 << 19200 << 9600 << speed_t(B9600);
        QTest::newRow("default profile speed") << 0 << 115200 << 115200 << speed_t(B115200);
    }
    void lineSettings()
    {
        QFETCH(qint32, requested);
        QFETCH(qint32, profileBaud);
        QFETCH(qint32, expected);
        QFETCH(speed_t, termiosSpeed);
        PtyPair pty;
        QVERIFY(pty.isValid());
        ModemProfile profile = m_profile;
        profile.baudRate = profileBaud;
        SerialTransport t;
        QVERIFY(openOn(t, pty, requested, profile));
        QCOMPARE(t.baudRate(), expected);
        QVERIFY(t.isPseudoTerminal());

        // On Linux the master's termios requests act on the slave: what the port was set to.
        termios tio{};
        QCOMPARE(::tcgetattr(pty.master(), &tio), 0);
        QCOMPARE(::cfgetospeed(&tio), termiosSpeed);
        QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(tio.c_iflag & (IXON | IXOFF | ICRNL), tcflag_t(0));
        QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    }

    void negativeSpeedIsRefused()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        PortsIni ports({{PtyCom, pty.slave()}});
        SerialTransport t;
        try {
            t.open(PtyCom, -9600, m_profile, ports.ini());
            QFAIL("no error raised");
        } catch (const RaisedError &e) {
            QCOMPARE(e.number(), code(ErrorCode::InvalidArgument));
        }
        QVERIFY(!t.isOpen());
    }

    void slowWriteDeliversEveryByte()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        ModemProfile profile = m_profile;
        profile.slowWrite = true;
        SerialTransport t;
        QVERIFY(openOn(t, pty, 0, profile));
        const QByteArray line("AT+CMGF=0\r");
        QElapsedTimer timer;
        timer.start();
        QVERIFY(t.write(line));
        // One pause between bytes: a burst would have taken no measurable time.
        QVERIFY(timer.elapsed() >= (line.size() - 1) * SerialTransport::SlowWritePauseMs);
        QCOMPARE(pty.read(line.size()), line);
    }

    void waitHonoursDeadlineWithoutEventLoop_data()
    {
        QTest::addColumn<int>("deadlineMs");
        QTest::addColumn<int>("modemAnswersAfterMs"); // -1: never, 0: before the wait
        QTest::addColumn<bool>("expectBytes");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::newRow("silence lasts until the deadline") << 300 << -1 << false << 280 << 2000;
        QTest::newRow("bytes already there return at once") << 3000 << 0 << true << 0 << 1000;
        QTest::newRow("bytes in the middle end the wait early") << 5000 << 150 << true << 100 << 3000;
        QTest::newRow("expired deadline still looks once") << 0 << 0 << true << 0 << 1000;
        QTest::newRow("expired deadline and silence") << 0 << -1 << false << 0 << 1000;
    }
    void waitHonoursDeadlineWithoutEventLoop()
    {
        QFETCH(int, deadlineMs);
        QFETCH(int, modemAnswersAfterMs);
        QFETCH(bool, expectBytes);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        PtyPair pty;
        QVERIFY(pty.isValid());
        SerialTransport t;
        QVERIFY(openOn(t, pty));
        QSignalSpy arrived(&t, &ByteTransport::bytesArrived);

        if (modemAnswersAfterMs == 0) {
            QVERIFY(pty.write("OK\r\n"));
            QTest::qSleep(50);
        }
        std::thread modem;
        if (modemAnswersAfterMs > 0)
            modem = std::thread([&pty, modemAnswersAfterMs]() {
                std::this_thread::sleep_for(std::chrono::milliseconds(modemAnswersAfterMs));
                pty.write("OK\r\n");
            });
        QElapsedTimer timer;
        timer.start();
        const bool got = t.waitForBytes(QDeadlineTimer(deadlineMs));
        const qint64 elapsed = timer.elapsed();
        if (modem.joinable())
            modem.join();

        QCOMPARE(got, expectBytes);
        QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
        if (expectBytes)
            QCOMPARE(receiveAll(t, 4), QByteArray("OK\r\n"));
        // The waiter took the bytes: the idle signal must not announce them as well.
        QCoreApplication::processEvents();
        QCOMPARE(arrived.count(), 0);
        QVERIFY(t.isOpen());
    }

    void idleBytesAreAnnounced()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        SerialTransport t;
        QVERIFY(openOn(t, pty));
        QSignalSpy arrived(&t, &ByteTransport::bytesArrived);
        QVERIFY(pty.write("\r\nRING\r\n"));
        QVERIFY(arrived.wait(3000));
        QCOMPARE(receiveAll(t, 8), QByteArray("\r\nRING\r\n"));
    }

    void peerClosing_data()
    {
        QTest::addColumn<bool>("duringWait");
        QTest::newRow("found by a waiting command") << true;
        QTest::newRow("found while idle") << false;
    }
    void peerClosing()
    {
        QFETCH(bool, duringWait);
        PtyPair pty;
        QVERIFY(pty.isValid());
        SerialTransport t;
        QVERIFY(openOn(t, pty));
        QSignalSpy failed(&t, &ByteTransport::failed);
        pty.closeMaster();

        if (duringWait) {
            QElapsedTimer timer;
            timer.start();
            QVERIFY(!t.waitForBytes(QDeadlineTimer(5000)));
            QVERIFY2(timer.elapsed() < 2000, "the wait ran into its deadline instead of seeing the hang-up");
            QVERIFY(!t.isOpen());
            QCOMPARE(failed.count(), 0); // never from inside the caller's wait
            QVERIFY(failed.wait(2000));
        } else {
            QVERIFY(failed.wait(3000));
        }
        QVERIFY(!t.isOpen());
        QVERIFY2(t.errorText().contains(QStringLiteral("COM%1 (%2)").arg(PtyCom).arg(pty.slave())), qPrintable(t.errorText()));
        QVERIFY(t.errorText().contains(QStringLiteral("went away")));
        QCOMPARE(failed.first().first().toString(), t.errorText());

        // After the failure every call fails cleanly and nothing is signalled again.
        QVERIFY(!t.write("AT\r"));
        QVERIFY(!t.waitForBytes(QDeadlineTimer(100)));
        QTest::qWait(100);
        QCOMPARE(failed.count(), 1);
    }

    void bytesReadBeforeHangUpAreKept()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        SerialTransport t;
        QVERIFY(openOn(t, pty));
        QSignalSpy arrived(&t, &ByteTransport::bytesArrived);
        QSignalSpy failed(&t, &ByteTransport::failed);
        QVERIFY(pty.write("+CMTI: \"SM\",3\r\n"));
        QVERIFY(arrived.wait(3000)); // in the port's buffer, not yet taken by the owner
        pty.closeMaster();
        QVERIFY(failed.wait(3000));
        QVERIFY(!t.isOpen());
        QCOMPARE(t.takeAvailable(), QByteArray("+CMTI: \"SM\",3\r\n"));
        QCOMPARE(t.takeAvailable(), QByteArray());
    }

    void openErrors_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing device") << "missing" << "no such device; is the modem plugged in?";
        QTest::newRow("missing Bluetooth link") << "rfcomm" << "rfcomm bind";
        QTest::newRow("plain file") << "file" << "not a serial device";
        QTest::newRow("held by another opener") << "busy" << "busy; another program holds it";
        // Here the holder is this very process: it is named, with the remedy.
        QTest::newRow("held by another opener, named")
            << "busy" << QStringLiteral("(pid %1). Close it").arg(QCoreApplication::applicationPid());
        QTest::newRow("no permission") << "permission" << "permission denied";
    }
    void openErrors()
    {
        QFETCH(QString, situation);
        QFETCH(QString, expected);
        PtyPair pty;
        QVERIFY(pty.isValid());
        QTemporaryDir dir;
        QString device;
        SerialTransport holder;
        if (situation == QLatin1String("missing")) {
            device = dir.filePath(QStringLiteral("ttyUSB-gone"));
        } else if (situation == QLatin1String("rfcomm")) {
            device = QStringLiteral("/dev/rfcomm31");
            if (QFile::exists(device))
                QSKIP("this machine has /dev/rfcomm31");
        } else if (situation == QLatin1String("file")) {
            device = dir.filePath(QStringLiteral("plain"));
            QFile f(device);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (situation == QLatin1String("busy")) {
            device = pty.slave();
            QVERIFY(openOn(holder, pty));
        } else {
            device = pty.slave();
            // Nobody may use it, owner included (root is exempt, hence the unprivileged user).
            QCOMPARE(::chmod(QFile::encodeName(device).constData(), 0000), 0);
        }

        PortsIni ports({{PtyCom, device}});
        const PellixIni ini = ports.ini();
        SerialTransport t;
        QString description;
        qint32 number = 0;
        {
            std::optional<AsUnprivileged> unprivileged;
            if (situation == QLatin1String("permission")) {
                unprivileged.emplace();
                if (!unprivileged->ok())
                    QSKIP("running as root without the right to switch to an unprivileged user");
            }
            try {
                t.open(PtyCom, 0, m_profile, ini);
            } catch (const RaisedError &e) {
                description = e.description();
                number = e.number();
            }
        }
        QCOMPARE(number, code(ErrorCode::PortCannotOpen));
        QVERIFY2(description.contains(QStringLiteral("COM%1 (%2): ").arg(PtyCom).arg(device)), qPrintable(description));
        QVERIFY2(description.contains(expected), qPrintable(description));
        QVERIFY(!t.isOpen());
        if (situation == QLatin1String("busy"))
            QVERIFY(holder.isOpen()); // the refused opener did not disturb the holder
    }

    void numberWithoutDeviceIsInvalid()
    {
        SerialTransport t;
        try {
            t.open(0, 0, m_profile, PellixIni());
            QFAIL("no error raised");
        } catch (const RaisedError &e) {
            QCOMPARE(e.number(), code(ErrorCode::InvalidArgument));
            QVERIFY(e.description().contains(QStringLiteral("COM0")));
        }
    }

    void kernelRefusesSecondOpener()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        SerialTransport t;
        QVERIFY(openOn(t, pty));
        // Open to everyone, so that only the exclusive mode (TIOCEXCL) can refuse; root is exempt
        // from it, hence the unprivileged user.
        QCOMPARE(::chmod(QFile::encodeName(pty.slave()).constData(), 0666), 0);
        int fd = -1;
        int err = 0;
        {
            AsUnprivileged unprivileged;
            if (!unprivileged.ok())
                QSKIP("running as root without the right to switch to an unprivileged user");
            fd = ::open(QFile::encodeName(pty.slave()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            err = errno;
        }
        if (fd >= 0)
            ::close(fd);
        QCOMPARE(fd, -1);
        QCOMPARE(err, EBUSY);

        t.close();
        AsUnprivileged unprivileged;
        fd = ::open(QFile::encodeName(pty.slave()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY2(fd >= 0, "closing must give the device free again");
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(tst_SerialTransport)
#include "tst_serialtransport.moc"
