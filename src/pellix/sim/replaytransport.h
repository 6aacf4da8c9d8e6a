// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tracereplayer.h"
#include "transport/bytetransport.h"

#include <QTimer>

#include <memory>

namespace pellix::sim {

class VirtualClock;

// A recorded session as an in-process modem: the driver writes commands, the recorded answers
// come back at their recorded delays on `clock`. On a manual clock (the default) the delays cost
// no real time: a wait for bytes moves the clock on to the next recorded line when that line came
// within the driver's deadline, and an idle driver gets waiting lines (a ring, a report) from the
// idle timer at once. A line that came after the driver's deadline in the recording still makes
// this driver wait out its real deadline: that is the late answer being replayed.
class ReplayTransport : public ByteTransport
{
    Q_OBJECT

public:
    ReplayTransport(RecordedSession session, double speed = 1.0, std::shared_ptr<VirtualClock> clock = nullptr,
                    QObject *parent = nullptr);
    ~ReplayTransport() override;

    bool isOpen() const override { return m_open; }
    bool write(const QByteArray &bytes) override;
    QByteArray takeAvailable() override;
    bool waitForBytes(QDeadlineTimer deadline) override;
    void close() override;
    void pause(int ms) override;
    QString errorText() const override { return m_open ? QString() : QStringLiteral("the replay connection is closed"); }

    TraceReplayer &replayer() { return m_replayer; }
    const QList<ReplayMismatch> &mismatches() const { return m_replayer.mismatches(); }
    // Every command and PDU the driver sent, in order (ESC as "<ESC>").
    const QList<QByteArray> &received() const { return m_received; }
    VirtualClock &clock() const { return *m_clock; }

    // What the idle timer does: lines that are due (on a manual clock: the next waiting one)
    // become available and bytesArrived() is signalled.
    void pollNow();

private:
    bool manualClock() const;
    void collect();

    TraceReplayer m_replayer;
    std::shared_ptr<VirtualClock> m_clock;
    QTimer m_idleTimer;
    QByteArray m_pending;
    QByteArray m_partial;
    QList<QByteArray> m_received;
    bool m_open = true;
    bool m_signalled = false;
};

} // namespace pellix::sim
