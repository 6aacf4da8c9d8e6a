// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace pellix::sim {

// What the network and the firmware will do, each at its time on the clock. Actions due at the
// same moment run in the order they were scheduled; while one runs, "now" is its due time, so
// that what it schedules in turn keeps the network's pace however late poll() came.
class EventSchedule
{
public:
    // The due time of the running action, else the clock's time given.
    qint64 nowMs(qint64 clockMs) const { return m_running.value_or(clockMs); }
    void at(qint64 dueMs, std::function<void()> action);
    std::optional<qint64> nextDue() const;
    // Runs everything due at clockMs, what the actions schedule for then included.
    void runDue(qint64 clockMs);

private:
    std::map<std::pair<qint64, quint64>, std::function<void()>> m_events;
    quint64 m_sequence = 0;
    std::optional<qint64> m_running;
};

} // namespace pellix::sim
