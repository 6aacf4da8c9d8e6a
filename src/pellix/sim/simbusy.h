// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "atoutcome.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace pellix::sim {

struct AtCommand;
struct FieldBehaviour;

// FieldBehaviour::simBusySeconds: after power-up, a restart or the PIN, the SIM's message and
// phonebook stacks take seconds to come up, and commands that need them are refused meanwhile.
class SimBusy
{
public:
    struct Links
    {
        std::function<qint64()> elapsedMs;
        std::function<void(const QString &)> note;
        std::function<void(qint64 delayMs, std::function<void()>)> schedule;
        std::function<void(const QByteArray &)> unsolicited;
    };

    SimBusy(const FieldBehaviour &field, Links links);

    void start(bool atPowerUp);
    // A restart: the window and its readiness lines are gone.
    void cancel();
    // The answer of a SIM that is still busy to a command; nullopt when it may run.
    std::optional<AtOutcome> answer(const AtCommand &command, SimNeed needs) const;

private:
    const FieldBehaviour &m_field;
    Links m_links;
    qint64 m_until = -1;             // clock time until which the SIM answers "busy"
    bool m_atPowerUp = false;        // then +CPIN? itself is busy too
    quint64 m_token = 0;
};

} // namespace pellix::sim
