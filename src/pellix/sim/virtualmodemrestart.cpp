// SPDX-License-Identifier: GPL-3.0-or-later
// Power-up with the field behaviours of FieldBehaviour, and a modem that restarts under the
// client's feet (protocol notes 7: brown-out, watchdog, a USB hub cycling its power): silence,
// boot lines, and the profile stored with AT&W instead of what the client had set.
#include "virtualmodem.h"

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
        m_interpreter.settings().quiet = true;
        m_interpreter.settings().echo = true;
    }
    if (field.stuckPrompt) {
        // A program killed between AT+CMGS and its Ctrl-Z leaves the modem taking PDU text:
        // every command line sent now is swallowed until Ctrl-Z or ESC (27.005 3.5.1).
        m_reader.enterPrompt(false);
        m_interpreter.awaitPdu(StuckPromptLength);
        note(QStringLiteral("powered up inside a +CMGS prompt"));
    }
    m_restarts.powerUp(m_sim.lock() == VirtualSim::Lock::Ready);
    if (field.simBusySeconds > 0)
        m_simBusy.start(true);
    if (field.simFull) {
        m_sim.fillMessageStorage(m_clock->now(), m_centre.address());
        note(QStringLiteral("the SIM's message storage is full: new messages go to ME"));
    }
    if (field.storageFull && !field.simFull) {
        m_sim.fillMessageStorage(m_clock->now(), m_centre.address().isEmpty() ? QLatin1String(VirtualNetwork::ServiceCentre)
                                                                              : m_centre.address());
        note(QStringLiteral("the SIM's message storage is full: writing is refused, the centre keeps new messages"));
    }
}

void VirtualModem::restart()
{
    m_restarts.begin();
}

void VirtualModem::loseBoot()
{
    // Everything of the old boot is gone: a half-typed line or PDU, answers not yet sent, codes
    // held back, a call, the settings.
    m_reader.abandon();
    m_interpreter.abandon();
    m_out.clear();
    m_lateAnswer.drop();
    m_calls.drop();
    m_simBusy.cancel();
    // A routed item that was never acknowledged is delivered again by the centre.
    m_centre.forgetAcknowledgement();
    m_registration.update();
}

void VirtualModem::wakeWithStoredProfile()
{
    m_interpreter.reset();
    m_registration.setFunctionality(1);
    m_sim.powerCycle();
    note(QStringLiteral("restarted with the stored profile (echo %1, +CMGF=%2)")
             .arg(m_interpreter.settings().echo ? QStringLiteral("on") : QStringLiteral("off"))
             .arg(m_interpreter.settings().cmgf));
}

void VirtualModem::sayBootLine(const QByteArray &line)
{
    if (line == "+CPIN: READY" && m_sim.lock() != VirtualSim::Lock::Ready)
        m_out.unsolicited(m_sim.lock() == VirtualSim::Lock::Pin ? "+CPIN: SIM PIN" : "+CPIN: SIM PUK");
    else
        m_out.unsolicited(line);
}

} // namespace pellix::sim
