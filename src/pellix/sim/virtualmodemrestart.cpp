// SPDX-License-Identifier: GPL-3.0-or-later
// A modem that restarts under the client's feet (protocol notes 7: brown-out, watchdog, a USB hub
// cycling its power): silence, boot lines, and the profile stored with AT&W instead of what the
// client had set. Also text mode, which a restart may bring back.
#include "virtualmodem.h"
#include "virtualmodem_p.h"

#include "pdu/smspdu.h"
#include "pellixerror.h"

namespace pellix::sim {

using detail::isDialString;
using detail::num;
using detail::quote;

namespace {

// 27.005 3.1 <stat> in text mode.
const char *const StatNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};

} // namespace

void VirtualModem::restart()
{
    m_restarts.begin();
}

void VirtualModem::loseBoot()
{
    // Everything of the old boot is gone: a half-typed line or PDU, answers not yet sent, codes
    // held back, a call, the settings.
    m_reader.abandon();
    m_prompt = Prompt{};
    m_info.clear();
    m_out.clear();
    m_bootLines.clear();
    m_lateAnswer.drop();
    m_calls.drop();
    m_simBusy.cancel();
    // A routed item that was never acknowledged is delivered again by the centre.
    m_centre.forgetAcknowledgement();
    updateRegistration();
}

void VirtualModem::wakeWithStoredProfile()
{
    reset();
    m_functionality = 1;
    m_sim.powerCycle();
    note(QStringLiteral("restarted with the stored profile (echo %1, +CMGF=%2)")
             .arg(m_settings.echo ? QStringLiteral("on") : QStringLiteral("off"))
             .arg(m_settings.cmgf));
}

void VirtualModem::sayBootLine(const QByteArray &line)
{
    if (line == "+CPIN: READY" && m_sim.lock() != VirtualSim::Lock::Ready)
        m_out.unsolicited(m_sim.lock() == VirtualSim::Lock::Pin ? "+CPIN: SIM PIN" : "+CPIN: SIM PUK");
    else
        m_out.unsolicited(line);
}

VirtualModem::Outcome VirtualModem::cmgf(const AtCommand &c)
{
    const bool textOffered = m_options.field.storedTextMode;
    if (c.form == AtCommand::Form::Test) {
        m_info << (textOffered ? QByteArray("+CMGF: (0,1)") : QByteArray("+CMGF: (0)"));
        return Outcome{};
    }
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CMGF: " + num(m_settings.cmgf);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto mode = args ? args->integerOr(0, 0, 1, 0) : std::nullopt;
    if (!mode || args->count() > 1)
        return Outcome{Outcome::Error};
    // A modem without text mode answers 303 "operation not supported".
    if (*mode == 1 && !textOffered)
        return Outcome{Outcome::Cms, 303};
    m_settings.cmgf = *mode;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::textCmgs(const AtCommand &c)
{
    // 27.005 3.5.1 text mode: +CMGS=<da>[,<toda>]. Many modems take <da> unquoted as well, so
    // "AT+CMGS=23" meant as a PDU length becomes a message to the number 23.
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    const QString destination = QString::fromLatin1(args->text(0));
    if (!isDialString(destination))
        return Outcome{Outcome::Cms, 304};
    m_prompt = Prompt{};
    m_prompt.text = true;
    m_prompt.destination = destination;
    return Outcome{Outcome::Prompt};
}

void VirtualModem::sendText(const Prompt &prompt, Outcome &outcome)
{
    if (prompt.tooLong) {
        outcome = Outcome{Outcome::Cms, 304};
        return;
    }
    if (!reachable()) {
        outcome = Outcome{Outcome::Cms, 331};
        return;
    }
    const QString text = QString::fromLatin1(prompt.hex);
    const quint8 reference = m_network.nextMessageReference();
    m_centre.record(prompt.destination, text, true);
    note(QStringLiteral("text-mode message %1 to %2 taken by the centre: \"%3\"")
             .arg(reference).arg(prompt.destination, text.left(40)));
    m_info << "+CMGS: " + num(reference);
    outcome = Outcome{Outcome::Ok};
}

VirtualModem::Outcome VirtualModem::textCmgr(const StoredMessage &message)
{
    // 27.005 3.4.3 text mode: +CMGR: <stat>,<oa>,[<alpha>],<scts> and the text on the next line.
    QByteArray header = "+CMGR: " + quote(StatNames[int(message.stat)]);
    QByteArray text;
    try {
        if (pdu::pduType(message.pdu) == pdu::PduType::Deliver) {
            const pdu::DeliverPdu deliver = pdu::decodeDeliver(message.pdu);
            header += ',' + quote(deliver.originator.number.toLatin1()) + ",,"
                + quote(deliver.timestamp.toString(QStringLiteral("yy/MM/dd,hh:mm:ss")).toLatin1());
            text = toCharset(deliver.text);
        }
    } catch (const RaisedError &) {
        // shown without its fields, as modems show what they cannot render
    }
    m_info << header << text;
    return Outcome{};
}

} // namespace pellix::sim
