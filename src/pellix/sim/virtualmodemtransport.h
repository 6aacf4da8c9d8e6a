// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/bytetransport.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

namespace pellix::sim {

class VirtualModem;

// The virtual modem as a byte pipe inside the process (modem type -1). Answers to commands are
// there as soon as write() returns; network events (returning messages, reports, rings) run when
// the clock says so: inside waitForBytes(), and from an idle timer that signals bytesArrived() so
// that an idle GsmModem sees them too. The modem stays with its owner, so its SIM outlives a
// disconnect.
class VirtualModemTransport : public ByteTransport
{
    Q_OBJECT

public:
    // Faults for testing a driver against a misbehaving modem.
    enum class Fault {
        None,
        Silent,     // takes everything, answers nothing (a hung modem)
        Chatter,    // adds a vendor status line to every read (^RSSI / ^BOOT noise of some sticks)
        Unplugged,  // the device went away: closed, failed() signalled, writes refused
    };

    explicit VirtualModemTransport(std::shared_ptr<VirtualModem> modem, QObject *parent = nullptr);
    ~VirtualModemTransport() override;

    bool isOpen() const override { return m_open; }
    bool write(const QByteArray &bytes) override;
    QByteArray takeAvailable() override;
    bool waitForBytes(QDeadlineTimer deadline) override;
    void close() override;
    void pause(int ms) override;
    QString errorText() const override { return m_error; }

    void setFault(Fault fault);
    Fault fault() const { return m_fault; }
    VirtualModem &modem() const { return *m_modem; }

    // What the idle timer does: runs due events and signals bytesArrived() for new output.
    void pollNow();

private:
    void pump();
    // FieldBehaviour::lineSpeed: what the modem said reaches m_pending as fast as the line
    // carries it, on real time (the deadlines of the driver are real time too).
    void pace(const QByteArray &said);

    std::shared_ptr<VirtualModem> m_modem;
    QTimer m_idleTimer;
    QByteArray m_pending;
    QByteArray m_onLine;          // said, still travelling
    QElapsedTimer m_lineBusy;     // since the line began carrying m_onLine's first byte
    qint64 m_lineCarried = 0;     // bytes carried since then
    bool m_open = true;
    bool m_signalled = false;
    QString m_error;
    Fault m_fault = Fault::None;
    quint32 m_noise = 0;
};

} // namespace pellix::sim
