// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The library's modem against misbehaving modems: silent, chattering, answering with garbage,
// unplugged (also inside a command), and a pseudo-terminal whose modem dies in the middle of a
// command. Every case must end in an error within the command's deadline and a clean state: never
// a hang, never a crash, nothing read lost, no event from inside a call.
#include "at/atchannel.h"
#include "modem/pellixgsmmodem.h"
#include "networkpdus.h"
#include "pdu/smspdu.h"
#include "raisederrorcode.h"
#include "sim/virtualclock.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"
#include "sim/virtualnetwork.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QScopeGuard>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

using namespace pellix;
using Fault = sim::VirtualModemTransport::Fault;

Q_DECLARE_METATYPE(pellix::sim::FieldBehaviour)


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
    void pause(int ms) override { m_inner->pause(ms); }
    QString errorText() const override { return m_inner->errorText(); }

private:
    std::unique_ptr<ByteTransport> m_inner;
    int m_next = 0;
};

// A hand between the library and the modem that brings about what a real modem does only now and
// then: an answer of our choosing in place of the modem's, an answer lost although the modem acted
// on the command, the device failing inside a command, codes arriving while the line is idle.
class InterceptingTransport : public ByteTransport
{
public:
    enum class Act {
        Answer,        // the command does not reach the modem; `bytes` come back instead
        LoseAnswer,    // the modem acts on the command; its answer is lost on the way
        AnswerAndFail, // `bytes` come back, then the device fails inside the wait that follows
        FailInWrite,   // the device fails while the command is being written
    };

    explicit InterceptingTransport(std::unique_ptr<ByteTransport> inner) : m_inner(std::move(inner))
    {
        connect(m_inner.get(), &ByteTransport::bytesArrived, this, &ByteTransport::bytesArrived);
        connect(m_inner.get(), &ByteTransport::failed, this, &ByteTransport::failed);
    }

    // The next `times` writes that start with `written` get `act`.
    void on(const QByteArray &written, Act act, const QByteArray &bytes = QByteArray(), int times = 1)
    {
        m_rules.append(Rule{written, act, bytes, times});
    }
    // Bytes from an idle modem, signalled as a real transport signals them.
    void inject(const QByteArray &bytes)
    {
        m_extra += bytes;
        Q_EMIT bytesArrived();
    }
    int sent(const QByteArray &start) const
    {
        return int(std::count_if(m_writes.begin(), m_writes.end(),
                                 [&start](const QByteArray &w) { return w.startsWith(start); }));
    }

    bool isOpen() const override { return !m_failed && m_inner->isOpen(); }
    bool write(const QByteArray &bytes) override
    {
        if (!isOpen())
            return false;
        m_writes << bytes;
        for (Rule &rule : m_rules) {
            if (rule.times == 0 || !bytes.startsWith(rule.written))
                continue;
            --rule.times;
            switch (rule.act) {
            case Act::Answer:
                m_extra += rule.bytes;
                return true;
            case Act::LoseAnswer:
                m_inner->write(bytes);
                m_inner->takeAvailable();
                return true;
            case Act::AnswerAndFail:
                m_extra += rule.bytes;
                m_failInWait = true;
                return true;
            case Act::FailInWrite:
                fail();
                return false;
            }
        }
        return m_inner->write(bytes);
    }
    QByteArray takeAvailable() override
    {
        if (m_failed)
            return {};
        return std::exchange(m_extra, {}) + m_inner->takeAvailable();
    }
    bool waitForBytes(QDeadlineTimer deadline) override
    {
        if (m_failed)
            return false;
        if (!m_extra.isEmpty())
            return true;
        if (m_failInWait) {
            fail();
            return false;
        }
        return m_inner->waitForBytes(deadline);
    }
    void close() override { m_inner->close(); }
    void pause(int ms) override { m_inner->pause(ms); }
    QString errorText() const override { return m_failed ? QStringLiteral("device unplugged") : m_inner->errorText(); }

private:
    struct Rule
    {
        QByteArray written;
        Act act;
        QByteArray bytes;
        int times;
    };

    // As a device that goes away under a blocking call: the failure is told at once, from inside
    // the call, while the library's command is still on the stack.
    void fail()
    {
        m_failed = true;
        m_inner->close();
        Q_EMIT failed(QStringLiteral("device unplugged"));
    }

    std::unique_ptr<ByteTransport> m_inner;
    QList<Rule> m_rules;
    QList<QByteArray> m_writes;
    QByteArray m_extra;
    bool m_failInWait = false;
    bool m_failed = false;
};

// A status report as the modem keeps it among the messages.
inline sim::StoredMessage storedReport(quint8 reference, sim::MessageStat stat)
{
    pdu::StatusReportPdu report;
    report.smsc = pdu::Address{QString::fromLatin1(sim::VirtualNetwork::ServiceCentre), 0x91};
    report.messageReference = reference;
    report.recipient = pdu::Address{QStringLiteral("+3955512345"), 0x91};
    report.timestamp = QDateTime(QDate(2024, 5, 2), QTime(10, 0), Qt::OffsetFromUTC, 7200);
    report.dischargeTime = report.timestamp.addSecs(5);
    const QByteArray hex = pdu::encodeStatusReport(report);
    return sim::StoredMessage{stat, hex, sim::tpduLengthOf(hex)};
}

// "+CMT: ,<length>" and the PDU line, as a modem routes a message (27.005 3.4.1, <mt> 2).
inline QByteArray routed(const QString &text)
{
    const QByteArray hex = deliverPdu(text);
    return "\r\n+CMT: ," + QByteArray::number(pdu::tpduLength(hex)) + "\r\n" + hex + "\r\n";
}

// What every part of these tests starts from and leaves behind.
class ModemFaultsFixture : public QObject
{
    Q_OBJECT

protected:
    const std::shared_ptr<sim::VirtualModem> m_shared = std::make_shared<sim::VirtualModem>();
    std::shared_ptr<sim::VirtualModem> m_virtual = m_shared;
    std::shared_ptr<sim::ManualClock> m_clock;
    sim::VirtualModemTransport *m_transport = nullptr;
    InterceptingTransport *m_hand = nullptr;
    bool m_garbage = false;

    PellixGsmModem::TransportFactory factory()
    {
        return [this](qint32, const ModemProfile &, qint16, qint32) -> std::unique_ptr<ByteTransport> {
            auto transport = std::make_unique<sim::VirtualModemTransport>(m_virtual);
            m_transport = transport.get();
            std::unique_ptr<ByteTransport> inner = std::move(transport);
            if (m_garbage)
                inner = std::make_unique<GarbageTransport>(std::move(inner));
            auto hand = std::make_unique<InterceptingTransport>(std::move(inner));
            m_hand = hand.get();
            return hand;
        };
    }

    std::unique_ptr<PellixGsmModem> connectedModem(qint32 receiveMode = 2, bool callerId = true)
    {
        auto modem = std::make_unique<PellixGsmModem>(factory());
        modem->setTracePath(QString());
        modem->setConnectOptionA(true);
        modem->setConnectOptionB(callerId);
        modem->Connect(-1, 0, QString(), receiveMode, 60, 0);
        return modem;
    }

    // For one test, a virtual modem of its own with the behaviours of a field modem, on a manual
    // clock: the library's pauses let that clock run instead of real time.
    void useFieldModem(const sim::FieldBehaviour &field, const QString &pin = QString())
    {
        sim::VirtualModemOptions options;
        options.field = field;
        options.pin = pin;
        m_clock = std::make_shared<sim::ManualClock>();
        m_virtual = std::make_shared<sim::VirtualModem>(options, m_clock);
    }

    // Three messages on the SIM at locations 1, 2 and 3, nothing else in the message storage.
    void storeThreeMessages(PellixGsmModem &modem)
    {
        modem.DeleteAllMessages();
        for (const char *text : {"one", "two", "three"})
            QVERIFY(m_virtual->incomingMessage(deliverPdu(QString::fromLatin1(text))));
        QCOMPARE(modem.ReadMessages(0, false).size(), 3);
    }

private Q_SLOTS:
    void cleanup()
    {
        m_virtual = m_shared;
        m_clock.reset();
    }
};
