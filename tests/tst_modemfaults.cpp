// SPDX-License-Identifier: GPL-3.0-or-later
// The library's modem against misbehaving modems: silent, chattering, answering with garbage,
// unplugged, and a pseudo-terminal whose modem dies in the middle of a command. Every case must end
// in an error within the command's deadline and a clean state: never a hang, never a crash.
#include "pellixerror.h"
#include "pellixgsmmodem.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace pellix;
using Fault = sim::VirtualModemTransport::Fault;

namespace {

constexpr qint32 LibraryBase = qint32(0x80040000u);
qint32 code(ErrorCode c) { return LibraryBase + qint32(c); }

qint32 errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const RaisedError &error) {
        return error.number();
    }
    return 0;
}

// Puts noise lines in front of everything the modem says: bytes of every value, blank lines,
// half result codes, text that looks like a code but is not one.
class GarbageTransport : public ByteTransport
{
public:
    explicit GarbageTransport(std::unique_ptr<ByteTransport> inner) : m_inner(std::move(inner))
    {
        connect(m_inner.get(), &ByteTransport::bytesArrived, this, &ByteTransport::bytesArrived);
        connect(m_inner.get(), &ByteTransport::failed, this, &ByteTransport::failed);
    }
    bool isOpen() const override { return m_inner->isOpen(); }
    bool write(const QByteArray &bytes) override { return m_inner->write(bytes); }
    QByteArray takeAvailable() override
    {
        const QByteArray real = m_inner->takeAvailable();
        if (real.isEmpty())
            return real;
        static const QByteArray noise[] = {
            QByteArray("\r\n\x01\x02\xff\xfe\x7f\r\n", 9),
            QByteArray("\r\n\x1b[0m\x1b[2J\r\n"),
            QByteArray("\r\n+CME ERRO\r\n"),
            QByteArray("\r\n^BOOT:12345,0,0,0,72\r\n"),
            QByteArray("\r\n\r\n\r\n"),
            QByteArray("\r\n+CMT: garbage\r\n"),
        };
        return noise[m_next++ % std::size(noise)] + real;
    }
    bool waitForBytes(QDeadlineTimer deadline) override { return m_inner->waitForBytes(deadline); }
    void close() override { m_inner->close(); }
    QString errorText() const override { return m_inner->errorText(); }

private:
    std::unique_ptr<ByteTransport> m_inner;
    int m_next = 0;
};

} // namespace

class TestModemFaults : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<sim::VirtualModem> m_virtual = std::make_shared<sim::VirtualModem>();
    sim::VirtualModemTransport *m_transport = nullptr;
    bool m_garbage = false;

    std::unique_ptr<PellixGsmModem> connectedModem()
    {
        auto modem = std::make_unique<PellixGsmModem>(
            [this](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
                auto transport = std::make_unique<sim::VirtualModemTransport>(m_virtual);
                m_transport = transport.get();
                if (m_garbage)
                    return std::make_unique<GarbageTransport>(std::move(transport));
                return transport;
            });
        modem->setTracePath(QString());
        modem->setConnectOptionA(true);
        modem->setConnectOptionB(true);
        modem->Connect(-1, 0, QString(), 2, 60, 0);
        return modem;
    }

private Q_SLOTS:
    void silentModemTimesOutThenTheLinkIsLost()
    {
        auto modem = connectedModem();
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        m_transport->setFault(Fault::Silent);
        qint16 rssi = 0;
        qint16 ber = 0;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::Timeout));
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(modem->Status(), 2);  // one timeout is not yet a lost modem
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::Timeout));
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::ConnectionLost));
        QCOMPARE(modem->Status(), 0);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.first().first().toInt(), 0);
        QCOMPARE(errorOf([&] { modem->GetSignalQuality(rssi, ber); }), code(ErrorCode::NotConnected));
    }

    void silentModemFailsConnect()
    {
        PellixGsmModem modem([this](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
            auto transport = std::make_unique<sim::VirtualModemTransport>(m_virtual);
            transport->setFault(Fault::Silent);
            return transport;
        });
        modem.setTracePath(QString());
        QList<qint32> seen;
        connect(&modem, &GsmModem::NewStatus, this, [&seen](qint32 s) { seen << s; });
        QCOMPARE(errorOf([&] { modem.Connect(-1, 0, QString(), 2, 60, 0); }), code(ErrorCode::Timeout));
        QCOMPARE(seen, (QList<qint32>{1, 0}));
        QCOMPARE(modem.Status(), 0);
    }

    void chatteringAndGarbageAreIgnored_data()
    {
        QTest::addColumn<bool>("garbage");
        QTest::newRow("vendor status lines") << false;
        QTest::newRow("garbage lines") << true;
    }
    void chatteringAndGarbageAreIgnored()
    {
        QFETCH(bool, garbage);
        m_garbage = garbage;
        auto modem = connectedModem();
        if (!garbage)
            m_transport->setFault(Fault::Chatter);
        qint16 rssi = -1;
        qint16 ber = -1;
        modem->GetSignalQuality(rssi, ber);
        QVERIFY(rssi >= 0);
        QCOMPARE(modem->Manufacturer(), QString::fromLatin1(sim::VirtualModem::Manufacturer));
        modem->ForwardCalls(3, 1, 0, QStringLiteral("+3955501"));
        QCOMPARE(modem->ForwardCalls(2, 1, 0, QString()), QStringLiteral("+3955501"));
        modem->ForwardCalls(4, 1, 0, QString());
        SmsMessage msg;
        msg.Recipient.Number = QStringLiteral("+3955502");
        msg.Text = QStringLiteral("still fine");
        QVERIFY(modem->SendMessage(msg) >= 0);
        QVERIFY(modem->ReadPhonebook(0, 0).size() > 0);
        QCOMPARE(modem->Status(), 2);
        m_garbage = false;
    }

    void unpluggedModemEndsTheConnectionAndComesBack()
    {
        auto modem = connectedModem();
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        m_transport->setFault(Fault::Unplugged);
        QCoreApplication::processEvents();
        SmsMessage msg;
        msg.Recipient.Number = QStringLiteral("+3955503");
        msg.Text = QStringLiteral("lost");
        QCOMPARE(modem->Status(), 0);
        QCOMPARE(status.count(), 1);
        QCOMPARE(errorOf([&] { modem->SendMessage(msg); }), code(ErrorCode::NotConnected));
        QCoreApplication::processEvents();  // a late failed() of the old transport changes nothing
        QCOMPARE(status.count(), 1);

        modem->setConnectOptionA(true);
        modem->Connect(-1, 0, QString(), 2, 60, 0);  // the device is back: a new transport
        QCOMPARE(modem->Status(), 2);
        QVERIFY(modem->SendMessage(msg) >= 0);
    }

    void unpluggedWhileIdleIsNoticed()
    {
        auto modem = connectedModem();
        QSignalSpy status(modem.get(), &GsmModem::NewStatus);
        m_transport->setFault(Fault::Unplugged);
        QTRY_COMPARE_WITH_TIMEOUT(modem->Status(), 0, 3000);
        QCOMPARE(status.count(), 1);
    }

    void pseudoTerminalModemDiesMidCommand()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess simulator;
        simulator.setProgram(QStringLiteral(PELLIX_MODEMSIM));
        simulator.start();
        QVERIFY(simulator.waitForStarted(5000));
        QVERIFY(simulator.waitForReadyRead(5000));
        const QByteArray device = simulator.readLine().trimmed();
        QDir(dir.path()).mkpath(QStringLiteral("Pellix"));
        QFile ini(dir.filePath(QStringLiteral("Pellix/Pellix.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Ports]\nCOM41=" + device + "\n");
        ini.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));

        PellixGsmModem modem;
        modem.setTracePath(QString());
        modem.Connect(2, 41, QString(), 2, 60, 0);  // a serial profile (Wavecom) on the terminal
        QCOMPARE(modem.Status(), 2);
        QSignalSpy status(&modem, &GsmModem::NewStatus);

        // Freeze the modem so that the next command waits, and let it die while it does.
        const qint64 pid = simulator.processId();
        ::kill(pid_t(pid), SIGSTOP);
        QVERIFY(QProcess::startDetached(QStringLiteral("/bin/sh"),
                                        {QStringLiteral("-c"), QStringLiteral("sleep 0.5; kill -9 %1").arg(pid)}));
        QElapsedTimer clock;
        clock.start();
        qint16 rssi = 0;
        qint16 ber = 0;
        const qint32 error = errorOf([&] { modem.GetSignalQuality(rssi, ber); });
        QVERIFY2(error == code(ErrorCode::ConnectionLost) || error == code(ErrorCode::Timeout),
                 QByteArray::number(error - LibraryBase).constData());
        QVERIFY(clock.elapsed() < 11000);  // the Wavecom profile's deadline is 10 s
        QVERIFY(simulator.waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(modem.Status(), 0, 3000);
        QCOMPARE(status.count(), 1);
        QCOMPARE(errorOf([&] { modem.GetSignalQuality(rssi, ber); }), code(ErrorCode::NotConnected));
        qunsetenv("XDG_CONFIG_HOME");
    }
};

QTEST_GUILESS_MAIN(TestModemFaults)
#include "tst_modemfaults.moc"
