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
        m_reader.enterPrompt(false);
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
        m_simBusy.start(true);
    if (field.simFull) {
        m_sim.fillMessageStorage(m_clock->now(), m_centre.address());
        note(QStringLiteral("the SIM's message storage is full: new messages go to ME"));
    }
}

void VirtualModem::emitBootLine()
{
    if (!m_bootLines.isEmpty())
        m_out.unsolicited(m_bootLines.takeFirst());
}

} // namespace pellix::sim
