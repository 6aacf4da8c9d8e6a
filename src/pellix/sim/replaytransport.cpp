// SPDX-License-Identifier: GPL-3.0-or-later
#include "replaytransport.h"

#include "virtualclock.h"

#include <QElapsedTimer>
#include <QThread>

namespace pellix::sim {
namespace {

constexpr int IdlePollMs = 20;
// Longest real sleep inside waitForBytes between looks at the clock.
constexpr qint64 WaitStepMs = 20;

} // namespace

ReplayTransport::ReplayTransport(RecordedSession session, double speed, std::shared_ptr<VirtualClock> clock,
                                 QObject *parent)
    : ByteTransport(parent)
    , m_replayer(std::move(session), speed)
    , m_clock(clock ? std::move(clock) : std::make_shared<ManualClock>())
{
    m_idleTimer.setInterval(IdlePollMs);
    connect(&m_idleTimer, &QTimer::timeout, this, &ReplayTransport::pollNow);
    m_idleTimer.start();
    m_replayer.start(m_clock->elapsedMs());
}

ReplayTransport::~ReplayTransport() = default;

bool ReplayTransport::manualClock() const
{
    return dynamic_cast<const ManualClock *>(m_clock.get()) != nullptr;
}

void ReplayTransport::collect()
{
    if (m_open)
        m_pending += m_replayer.takeDue(m_clock->elapsedMs());
}

bool ReplayTransport::write(const QByteArray &bytes)
{
    if (!m_open)
        return false;
    for (const char c : bytes) {
        if (c == '\r' || c == '\n' || c == 0x1A || c == 0x1B) {
            if (c == 0x1B)
                m_received << m_partial + "<ESC>";
            else if (!m_partial.isEmpty() || c == 0x1A)
                m_received << m_partial;
            m_partial.clear();
        } else {
            m_partial += c;
        }
    }
    m_replayer.feed(bytes, m_clock->elapsedMs());
    return true;
}

QByteArray ReplayTransport::takeAvailable()
{
    collect();
    m_signalled = false;
    return std::exchange(m_pending, {});
}

bool ReplayTransport::waitForBytes(QDeadlineTimer deadline)
{
    QElapsedTimer real;
    while (m_open) {
        collect();
        if (!m_pending.isEmpty())
            return true;
        if (deadline.hasExpired())
            return false;
        const qint64 remaining = deadline.remainingTime(); // -1: for ever
        const std::optional<qint64> next = m_replayer.nextDueMs();
        if (manualClock() && next) {
            const qint64 wait = std::max<qint64>(0, *next - m_clock->elapsedMs());
            // The line came within the driver's deadline in the recording: it comes now.
            if (remaining < 0 || wait < remaining) {
                m_clock->wait(wait);
                continue;
            }
        }
        // The driver waits in real time; a manual clock keeps pace so that what came later in
        // the recording stays later.
        real.start();
        QThread::msleep(quint64(remaining < 0 ? WaitStepMs : std::clamp<qint64>(remaining, 0, WaitStepMs)));
        if (manualClock())
            m_clock->wait(real.elapsed());
    }
    return false;
}

void ReplayTransport::close()
{
    m_open = false;
    m_idleTimer.stop();
    m_pending.clear();
}

void ReplayTransport::pause(int ms)
{
    if (ms > 0)
        m_clock->wait(ms);
}

void ReplayTransport::pollNow()
{
    if (!m_open)
        return;
    // Nobody waits inside a command: the next recorded line (a ring, a report) is not held for
    // a time that would pass in the same way anyway.
    if (manualClock() && m_pending.isEmpty()) {
        if (const auto next = m_replayer.nextDueMs(); next && *next > m_clock->elapsedMs())
            m_clock->wait(*next - m_clock->elapsedMs());
    }
    const qsizetype before = m_pending.size();
    collect();
    if (m_pending.size() > before && !m_signalled) {
        m_signalled = true;
        Q_EMIT bytesArrived();
    }
}

} // namespace pellix::sim
