// SPDX-License-Identifier: GPL-3.0-or-later
#include "eventschedule.h"

namespace pellix::sim {

void EventSchedule::at(qint64 dueMs, std::function<void()> action)
{
    m_events.emplace(std::make_pair(dueMs, m_sequence++), std::move(action));
}

std::optional<qint64> EventSchedule::nextDue() const
{
    if (m_events.empty())
        return std::nullopt;
    return m_events.begin()->first.first;
}

void EventSchedule::runDue(qint64 clockMs)
{
    while (!m_events.empty() && m_events.begin()->first.first <= clockMs) {
        auto node = m_events.extract(m_events.begin());
        m_running = node.key().first;
        node.mapped()();
    }
    m_running.reset();
}

} // namespace pellix::sim
