// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodem.h"

namespace pellix::sim {

qint64 VirtualModem::nowMs() const
{
    return m_schedule.nowMs(m_clock->elapsedMs());
}

void VirtualModem::schedule(qint64 delayMs, std::function<void()> action)
{
    m_schedule.at(nowMs() + delayMs, std::move(action));
}

std::optional<qint64> VirtualModem::nextEventDue() const
{
    return m_schedule.nextDue();
}

void VirtualModem::poll()
{
    if (m_hang.hung(m_clock->elapsedMs()))
        return;
    m_schedule.runDue(m_clock->elapsedMs());
    m_out.flushHeld();
}

bool VirtualModem::incomingMessage(const QByteArray &hexPdu)
{
    return m_centre.deliverMessage(hexPdu);
}

void VirtualModem::incomingCall(const QString &callerNumber)
{
    m_calls.incoming(callerNumber);
}

} // namespace pellix::sim
