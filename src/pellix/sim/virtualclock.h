// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QElapsedTimer>

namespace pellix::sim {

// The time every delayed behaviour of the virtual modem runs on (delivery reports, loop-back
// messages, rings, signal drift). Real time for operators; a manual clock makes tests exact and
// independent of the machine's speed.
class VirtualClock
{
public:
    explicit VirtualClock(QDateTime start);
    virtual ~VirtualClock() = default;
    VirtualClock(const VirtualClock &) = delete;
    VirtualClock &operator=(const VirtualClock &) = delete;

    // Milliseconds since the clock started; never decreases.
    virtual qint64 elapsedMs() const = 0;
    // Lets ms go by for someone who waits on this clock (a driver's back-off): a real clock
    // sleeps, a manual one moves on at once, so that tests never really wait.
    virtual void wait(qint64 ms) = 0;

    // The wall time at a point of the clock, with the clock's UTC offset (service-centre time
    // stamps carry their zone, TS 23.040 9.2.3.11).
    QDateTime wallTime(qint64 elapsedMs) const;
    QDateTime now() const { return wallTime(elapsedMs()); }

private:
    QDateTime m_start;
};

class RealClock final : public VirtualClock
{
public:
    RealClock();
    qint64 elapsedMs() const override;
    void wait(qint64 ms) override;

private:
    QElapsedTimer m_timer;
};

// Stands still until advanced; the modem runs what fell due when it is next polled.
class ManualClock final : public VirtualClock
{
public:
    // 2024-05-02 10:00:00 +02:00: a fixed start keeps time stamps reproducible.
    static QDateTime defaultStart();

    explicit ManualClock(QDateTime start = defaultStart());
    qint64 elapsedMs() const override { return m_now; }
    void wait(qint64 ms) override { advance(ms); }
    void advance(qint64 ms);

private:
    qint64 m_now = 0;
};

} // namespace pellix::sim
