// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodem.h"
#include "virtualmodem_p.h"

namespace pellix::sim {

namespace {

// The length a killed program had announced with AT+CMGS=<length> before its PDU.
constexpr int StuckPromptLength = 24;

} // namespace

void VirtualModem::powerUp()
{
    const FieldBehaviour &field = m_options.field;
    if (field.quiet) {
        // A modem whose stored profile says Q1 (or that a previous program left so): no result
        // codes at all, and echo on as after any reset.
        m_settings.quiet = true;
        m_settings.echo = true;
    }
    if (field.stuckPrompt) {
        // A program killed between AT+CMGS and its Ctrl-Z leaves the modem taking PDU text:
        // every command line sent now is swallowed until Ctrl-Z or ESC (27.005 3.5.1).
        m_input = Input::Prompt;
        m_prompt = Prompt{};
        m_prompt.length = StuckPromptLength;
        note(QStringLiteral("powered up inside a +CMGS prompt"));
    }
    if (field.bootNoise) {
        m_bootLines = {"RDY", "+CFUN: 1",
                       m_sim.lock() == VirtualSim::Lock::Ready ? QByteArray("+CPIN: READY") : QByteArray("+CPIN: SIM PIN"),
                       "Call Ready", "SMS Ready"};
    }
    if (field.simBusySeconds > 0)
        startSimBusy(true);
    if (field.simFull)
        fillSim();
}

void VirtualModem::startSimBusy(bool atPowerUp)
{
    const qint64 ms = qint64(m_options.field.simBusySeconds) * 1000;
    m_simBusyUntil = m_clock->elapsedMs() + ms;
    m_simBusyAtPowerUp = atPowerUp;
    const quint64 token = ++m_simBusyToken;
    note(QStringLiteral("SIM busy for %1 s").arg(m_options.field.simBusySeconds));
    // The readiness lines of Quectel/SIMCom modules once their SMS and phonebook stacks are up.
    schedule(ms, [this, token] {
        if (token != m_simBusyToken)
            return;
        note(QStringLiteral("SIM ready"));
        unsolicited("SMS Ready");
        unsolicited("PB DONE");
    });
}

std::optional<VirtualModem::Outcome> VirtualModem::simBusyAnswer(const AtCommand &command, Needs needs) const
{
    if (m_clock->elapsedMs() >= m_simBusyUntil)
        return std::nullopt;
    // While the SIM itself starts, even its state is unknown: +CPIN? is busy too. After the PIN
    // it is READY at once, and only the message and phonebook stacks take their time.
    const bool pinQuery = command.name == "+CPIN" && command.form == AtCommand::Form::Read;
    if (needs == Needs::SimForCme || (pinQuery && m_simBusyAtPowerUp))
        return Outcome{Outcome::Cme, 14};
    if (needs == Needs::SimForCms || command.name == "+CNMI")
        return Outcome{Outcome::Cms, 314};
    return std::nullopt;
}

void VirtualModem::emitBootLine()
{
    if (!m_bootLines.isEmpty())
        unsolicited(m_bootLines.takeFirst());
}

} // namespace pellix::sim
