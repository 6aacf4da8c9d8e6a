// SPDX-License-Identifier: GPL-3.0-or-later
// Messages that leave the modem (27.005 3.5): +CMGS and +CMGW with the PDU or text typed after
// their prompt, and +CMSS from a storage.
#include "commandinterpreter.h"
#include "virtualmodem_p.h"

#include "fieldbehaviour.h"
#include "messagecentre.h"
#include "modemoutput.h"
#include "networkregistration.h"
#include "virtualnetwork.h"

#include "pdu/smspdu.h"
#include "pellixerror.h"

namespace pellix::sim {

using detail::digitCount;
using detail::isDialString;
using detail::num;

namespace {

// Type of address of TP-DA in an SMS-SUBMIT: the decoder gives the number, not its type.
quint8 destinationType(const QByteArray &hexPdu)
{
    const QByteArray octets = QByteArray::fromHex(hexPdu);
    if (octets.isEmpty())
        return 0x81;
    const int tpdu = 1 + quint8(octets.at(0));
    return octets.size() > tpdu + 3 ? quint8(octets.at(tpdu + 3)) : 0x81;
}

} // namespace

CommandInterpreter::Outcome CommandInterpreter::cmgs(const AtCommand &c)
{
    if (m_settings.cmgf == 1)
        return textCmgs(c);
    const auto args = AtArguments::parse(c.argument);
    if (!args || args->count() != 1 || !args->present(0))
        return Outcome{Outcome::Error};
    const auto length = args->integer(0, 0, 999);
    if (!length || *length < 7 || *length > 164)
        return Outcome{Outcome::Cms, 304};
    m_prompt = Prompt{};
    m_prompt.length = *length;
    return Outcome{Outcome::Prompt};
}

CommandInterpreter::Outcome CommandInterpreter::textCmgs(const AtCommand &c)
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

CommandInterpreter::Outcome CommandInterpreter::cmgw(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    const auto length = args->integer(0, 0, 999);
    const auto stat = args->integerOr(1, 0, 3, 2);
    if (!length || !stat || *length < 7 || *length > 176)
        return Outcome{Outcome::Cms, 304};
    if (m_rooms.sim.store(m_settings.mem2)->isFull())
        return Outcome{Outcome::Cms, 322};
    m_prompt = Prompt{};
    m_prompt.write = true;
    m_prompt.length = *length;
    m_prompt.stat = MessageStat(*stat);
    return Outcome{Outcome::Prompt};
}

void CommandInterpreter::finishPrompt(const QByteArray &typed, bool tooLong)
{
    Prompt prompt = std::exchange(m_prompt, Prompt{});
    prompt.hex = typed;
    prompt.tooLong = tooLong;
    const QByteArray hex = prompt.hex.toUpper();
    m_links.traceData(hex);
    Outcome outcome{Outcome::Ok};
    m_running = true;
    if (prompt.text) {
        sendText(prompt, outcome);
    } else if (prompt.tooLong) {
        outcome = Outcome{Outcome::Cms, 304};
    } else if (!prompt.write) {
        quint8 reference = 0;
        sendSubmit(hex, prompt.length, reference, outcome);
        if (outcome.kind == Outcome::Ok)
            m_info << "+CMGS: " + num(reference);
    } else if (hex.isEmpty() || !allHexDigits(hex) || tpduLengthOf(hex) != prompt.length) {
        outcome = Outcome{Outcome::Cms, 304};
    } else {
        try {
            const pdu::PduType type = pdu::pduType(hex);
            if (type == pdu::PduType::Submit)
                pdu::decodeSubmit(hex);
            else if (type == pdu::PduType::Deliver)
                pdu::decodeDeliver(hex);
            else
                outcome = Outcome{Outcome::Cms, 304};
        } catch (const RaisedError &) {
            outcome = Outcome{Outcome::Cms, 304};
        }
        if (outcome.kind == Outcome::Ok) {
            const int index = m_rooms.sim.store(m_settings.mem2)->add(StoredMessage{prompt.stat, hex, prompt.length});
            if (index < 0)
                outcome = Outcome{Outcome::Cms, 322};
            else
                m_info << "+CMGW: " + num(index);
        }
    }
    m_rooms.out.info(std::exchange(m_info, {}));
    m_running = false;
    m_rooms.out.final(outcome);
    m_rooms.out.flushHeld();
}

CommandInterpreter::Outcome CommandInterpreter::cmss(const AtCommand &c)
{
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 3)
        return Outcome{Outcome::Error};
    MessageStore &store = *m_rooms.sim.store(m_settings.mem2);
    const auto index = args->integer(0, 0, 999);
    StoredMessage *message = index && store.validIndex(*index) ? store.find(*index) : nullptr;
    if (!message)
        return Outcome{Outcome::Cms, 321};
    QByteArray hex = message->pdu;
    try {
        if (pdu::pduType(hex) != pdu::PduType::Submit)
            return Outcome{Outcome::Cms, 302};
        if (args->present(1)) {
            pdu::SubmitPdu submit = pdu::decodeSubmit(hex);
            submit.destination = QString::fromLatin1(args->text(1));
            if (!isDialString(submit.destination) || digitCount(submit.destination) > VirtualSim::NumberLength)
                return Outcome{Outcome::Cms, 304};
            hex = pdu::encodeSubmit(submit).hex;
        }
    } catch (const RaisedError &) {
        return Outcome{Outcome::Cms, 304};
    }
    quint8 reference = 0;
    Outcome outcome;
    sendSubmit(hex, tpduLengthOf(hex), reference, outcome);
    if (outcome.kind != Outcome::Ok)
        return outcome;
    if (StoredMessage *sent = store.find(*index))
        sent->stat = MessageStat::StoSent;
    m_info << "+CMSS: " + num(reference);
    return Outcome{};
}

void CommandInterpreter::sendSubmit(const QByteArray &hex, int length, quint8 &reference, Outcome &outcome)
{
    // 27.005 3.5.1: <length> counts the TPDU octets; a PDU that is not whole hex octets, does not
    // match it, or is not an SMS-SUBMIT is an invalid PDU mode parameter.
    if (hex.isEmpty() || !allHexDigits(hex) || tpduLengthOf(hex) != length) {
        outcome = Outcome{Outcome::Cms, 304};
        return;
    }
    pdu::SubmitPdu submit;
    try {
        if (pdu::pduType(hex) != pdu::PduType::Submit) {
            outcome = Outcome{Outcome::Cms, 304};
            return;
        }
        submit = pdu::decodeSubmit(hex);
    } catch (const RaisedError &error) {
        note(QStringLiteral("PDU refused: %1").arg(error.description()));
        outcome = Outcome{Outcome::Cms, 304};
        return;
    }
    if (!reachable()) {
        outcome = Outcome{Outcome::Cms, 331};
        return;
    }
    // 27.005 3.2.5: a PDU without a centre goes to the one of +CSCA; with none there either,
    // the modem does not know where to send it.
    if (submit.smsc.isEmpty() && m_rooms.centre.address().isEmpty()) {
        note(QStringLiteral("no service centre address: the message cannot go"));
        outcome = Outcome{Outcome::Cms, 330};
        return;
    }
    if (const int refused = VirtualNetwork::refusal(submit.destination, destinationType(hex))) {
        note(QStringLiteral("the centre refuses destination \"%1\"").arg(submit.destination));
        outcome = Outcome{Outcome::Cms, refused};
        return;
    }
    QByteArray loopBackPdu;
    if (m_rooms.network.isOwnNumber(submit.destination)) {
        try {
            loopBackPdu = m_rooms.centre.loopBack(submit, m_rooms.network.ownNumber());
        } catch (const RaisedError &error) {
            note(QStringLiteral("PDU refused: %1").arg(error.description()));
            outcome = Outcome{Outcome::Cms, 304};
            return;
        }
    }
    reference = m_rooms.network.nextMessageReference();
    m_rooms.centre.record(submit.destination, submit.text, false);
    m_rooms.centre.accept(submit, loopBackPdu, reference);
    outcome = Outcome{Outcome::Ok};
}

void CommandInterpreter::sendText(const Prompt &prompt, Outcome &outcome)
{
    if (prompt.tooLong) {
        outcome = Outcome{Outcome::Cms, 304};
        return;
    }
    if (!reachable()) {
        outcome = Outcome{Outcome::Cms, 331};
        return;
    }
    if (m_rooms.centre.address().isEmpty()) {
        outcome = Outcome{Outcome::Cms, 330};
        return;
    }
    const QString text = QString::fromLatin1(prompt.hex);
    const quint8 reference = m_rooms.network.nextMessageReference();
    m_rooms.centre.record(prompt.destination, text, true);
    note(QStringLiteral("text-mode message %1 to %2 taken by the centre: \"%3\"")
             .arg(reference).arg(prompt.destination, text.left(40)));
    m_info << "+CMGS: " + num(reference);
    outcome = Outcome{Outcome::Ok};
}

} // namespace pellix::sim
