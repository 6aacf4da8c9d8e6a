// SPDX-License-Identifier: GPL-3.0-or-later
#include "simbusy.h"

#include "atcommandline.h"
#include "fieldbehaviour.h"

namespace pellix::sim {

SimBusy::SimBusy(const FieldBehaviour &field, Links links)
    : m_field(field)
    , m_links(std::move(links))
{
}

void SimBusy::start(bool atPowerUp)
{
    const qint64 ms = qint64(m_field.simBusySeconds) * 1000;
    m_until = m_links.elapsedMs() + ms;
    m_atPowerUp = atPowerUp;
    const quint64 token = ++m_token;
    m_links.note(QStringLiteral("SIM busy for %1 s").arg(m_field.simBusySeconds));
    // The readiness lines of Quectel/SIMCom modules once their SMS and phonebook stacks are up.
    m_links.schedule(ms, [this, token] {
        if (token != m_token)
            return;
        m_links.note(QStringLiteral("SIM ready"));
        m_links.unsolicited("SMS Ready");
        m_links.unsolicited("PB DONE");
    });
}

void SimBusy::cancel()
{
    m_until = -1;
    ++m_token;
}

std::optional<AtOutcome> SimBusy::answer(const AtCommand &command, SimNeed needs) const
{
    if (m_links.elapsedMs() >= m_until)
        return std::nullopt;
    // While the SIM itself starts, even its state is unknown: +CPIN? is busy too. After the PIN
    // it is READY at once, and only the message and phonebook stacks take their time.
    const bool pinQuery = command.name == "+CPIN" && command.form == AtCommand::Form::Read;
    if (needs == SimNeed::SimForCme || (pinQuery && m_atPowerUp))
        return AtOutcome{AtOutcome::Cme, 14};
    if (needs == SimNeed::SimForCms || command.name == "+CNMI")
        return AtOutcome{AtOutcome::Cms, 314};
    return std::nullopt;
}

} // namespace pellix::sim
