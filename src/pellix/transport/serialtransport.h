// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bytetransport.h"

#include <QSerialPort>

namespace pellix {

class PellixIni;
struct ModemProfile;

// A modem on a serial device (a UART, a USB serial converter, a CDC-ACM modem, a Bluetooth
// rfcomm link, or the pseudo-terminal of pellix-modemsim), over QSerialPort.
//
// The port is opened for this program alone (QSerialPort's lock file, and TIOCEXCL so that any
// other opener fails with EBUSY), raw 8N1 without flow control. Waiting works without an event
// loop (QSerialPort::waitForReadyRead); bytes that arrive while nobody waits are announced by
// bytesArrived() from the event loop.
//
// When the device goes away (a USB modem unplugged, the other side of a pseudo-terminal closed)
// isOpen() turns false at once, errorText() says why, and failed() is emitted once from the
// event loop. It is never emitted from inside write() or waitForBytes() (whose caller learns of
// the failure from their result), nor from inside QSerialPort's notification code, so the owner
// may destroy the transport in its slot.
class SerialTransport : public ByteTransport
{
    Q_OBJECT

public:
    static constexpr int SlowWritePauseMs = 1;

    explicit SerialTransport(QObject *parent = nullptr);
    ~SerialTransport() override;

    // Opens COM n as Pellix.ini maps it ([Ports] first, then the numbering). baudRate 0 takes
    // the profile's speed. Raises InvalidArgument (n or the speed out of range) or
    // PortCannotOpen with a text naming both names and the remedy.
    void open(int comNumber, qint32 baudRate, const ModemProfile &profile, const PellixIni &ini);
    void open(int comNumber, qint32 baudRate, const ModemProfile &profile); // default Pellix.ini
    // Opens a device by path; displayName names it in texts ("COM3 (/dev/ttyS2)").
    void openDevice(const QString &devicePath, const QString &displayName, qint32 baudRate, bool slowWrite = false);

    bool isOpen() const override;
    bool write(const QByteArray &bytes) override;
    QByteArray takeAvailable() override;
    bool waitForBytes(QDeadlineTimer deadline) override;
    void close() override;
    QString errorText() const override;

    QString devicePath() const { return m_devicePath; }
    QString displayName() const { return m_displayName; }
    qint32 baudRate() const { return m_baudRate; }
    // True when the device is a pseudo-terminal, which takes but does not honour line settings.
    bool isPseudoTerminal() const { return m_pseudoTerminal; }

private:
    [[noreturn]] void raiseOpenError(const QString &devicePath, const QString &displayName);
    QString openProblem(const QString &devicePath);
    void applySettings(qint32 baudRate);
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    // True when the device is gone; then fails the transport.
    bool checkGone(QSerialPort::SerialPortError error);
    void fail(const QString &reason);
    void announceLeftovers();

    QSerialPort m_port;
    QString m_devicePath;
    QString m_displayName;
    qint32 m_baudRate = 0;
    bool m_slowWrite = false;
    bool m_pseudoTerminal = false;
    quint64 m_generation = 0; // one per openDevice(): queued work of an earlier opening is void
    bool m_inCall = false;    // inside write() or waitForBytes(): no signals to the caller
    bool m_failed = false;
    bool m_failureQueued = false;
    bool m_leftoverCheckQueued = false;
    QByteArray m_leftover;    // read before the device went away, not yet taken
    QString m_error;
};

} // namespace pellix
