// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualclock.h"

#include <QThread>
#include <QTimeZone>

namespace pellix::sim {

VirtualClock::VirtualClock(QDateTime start)
    : m_start(std::move(start))
{
}

QDateTime VirtualClock::wallTime(qint64 elapsedMs) const
{
    return m_start.addMSecs(elapsedMs);
}

namespace {

QDateTime localNowWithOffset()
{
    const QDateTime local = QDateTime::currentDateTime();
    return local.toOffsetFromUtc(local.offsetFromUtc());
}

} // namespace

RealClock::RealClock()
    : VirtualClock(localNowWithOffset())
{
    m_timer.start();
}

qint64 RealClock::elapsedMs() const
{
    return m_timer.elapsed();
}

void RealClock::wait(qint64 ms)
{
    if (ms > 0)
        QThread::msleep(quint64(ms));
}

QDateTime ManualClock::defaultStart()
{
    return QDateTime(QDate(2024, 5, 2), QTime(10, 0), Qt::OffsetFromUTC, 2 * 3600);
}

ManualClock::ManualClock(QDateTime start)
    : VirtualClock(std::move(start))
{
}

void ManualClock::advance(qint64 ms)
{
    if (ms > 0)
        m_now += ms;
}

} // namespace pellix::sim
