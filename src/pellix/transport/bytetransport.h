// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QThread>

namespace pellix {

// A byte pipe to a modem: a serial port, a pseudo-terminal, or the in-process virtual modem.
// The AT channel writes commands, takes what has arrived, and waits for more until a deadline.
class ByteTransport : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~ByteTransport() override = default;

    virtual bool isOpen() const = 0;
    // Queues bytes for the modem; false when the transport has failed (see errorText).
    virtual bool write(const QByteArray &bytes) = 0;
    // Everything that has arrived and was not taken yet.
    virtual QByteArray takeAvailable() = 0;
    // Blocks until bytes are available, the transport fails or the deadline passes; true when
    // bytes are available. Returns at once when some already are.
    virtual bool waitForBytes(QDeadlineTimer deadline) = 0;
    virtual void close() = 0;
    // Lets ms pass on the modem's time without reading (a back-off between retries, the quiet
    // of a drain); what arrives meanwhile stays available. A device waits in real time; the
    // in-process virtual modem lets its own clock run, so that a manual clock skips the wait.
    virtual void pause(int ms)
    {
        if (ms > 0)
            QThread::msleep(quint64(ms));
    }
    // Why the transport failed or could not open; empty while it is fine.
    virtual QString errorText() const = 0;

Q_SIGNALS:
    // Bytes arrived while nobody was waiting for them (unsolicited codes of an idle modem).
    void bytesArrived();
    // The device went away or failed (unplugged, closed by the peer).
    void failed(const QString &reason);
};

} // namespace pellix
