// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodem.h"
#include "virtualmodem_p.h"

#include "pdu/smspdu.h"
#include "pellixerror.h"

namespace pellix::sim {

using detail::isHex;
using detail::num;
using detail::quote;
using detail::registrationState;

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
    if (frozen())
        return;
    m_schedule.runDue(m_clock->elapsedMs());
    m_out.flushHeld();
}

bool VirtualModem::reachable() const
{
    return !m_restarts.restarting() && m_functionality == 1 && m_sim.lock() == VirtualSim::Lock::Ready;
}

void VirtualModem::updateRegistration()
{
    const bool registered = reachable();
    if (registered == m_registered)
        return;
    m_registered = registered;
    note(registered ? QStringLiteral("registered on the network") : QStringLiteral("left the network"));
    if (m_settings.creg != 0)
        m_out.unsolicited("+CREG: " + registrationState(m_settings.creg, registered));
    if (m_settings.cgreg != 0)
        m_out.unsolicited("+CGREG: " + registrationState(m_settings.cgreg, registered));
    if (registered)
        m_centre.deliverWaiting();
}

bool VirtualModem::incomingMessage(const QByteArray &hexPdu)
{
    return m_centre.deliverMessage(hexPdu);
}

void VirtualModem::sendSubmit(const QByteArray &hex, int length, quint8 &reference, Outcome &outcome)
{
    // 27.005 3.5.1: <length> counts the TPDU octets; a PDU that is not whole hex octets, does not
    // match it, or is not an SMS-SUBMIT is an invalid PDU mode parameter.
    if (hex.isEmpty() || !isHex(hex) || tpduLengthOf(hex) != length) {
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
    if (const int refused = VirtualNetwork::refusal(submit.destination, destinationType(hex))) {
        note(QStringLiteral("the centre refuses destination \"%1\"").arg(submit.destination));
        outcome = Outcome{Outcome::Cms, refused};
        return;
    }
    QByteArray loopBackPdu;
    if (VirtualNetwork::isOwnNumber(submit.destination)) {
        try {
            loopBackPdu = m_centre.loopBack(submit);
        } catch (const RaisedError &error) {
            note(QStringLiteral("PDU refused: %1").arg(error.description()));
            outcome = Outcome{Outcome::Cms, 304};
            return;
        }
    }
    reference = m_network.nextMessageReference();
    m_centre.record(submit.destination, submit.text, false);
    m_centre.accept(submit, loopBackPdu, reference);
    outcome = Outcome{Outcome::Ok};
}

void VirtualModem::incomingCall(const QString &callerNumber)
{
    m_calls.incoming(callerNumber);
}

void VirtualModem::answerUssd(const QString &request)
{
    if (m_settings.cusd != 1)
        return;
    QString answer;
    if (request == QLatin1String("*100#"))
        answer = QStringLiteral("Credit: 12.34 EUR, valid until 31/12");
    else if (request == QLatin1String("*101#") || request == QLatin1String("*#100#"))
        answer = QStringLiteral("Your number is %1").arg(QLatin1String(VirtualNetwork::OwnNumber));
    if (answer.isEmpty()) {
        m_out.unsolicited("+CUSD: 4");  // 27.007 7.15: operation not supported
        return;
    }
    m_out.unsolicited("+CUSD: 0," + quote(toCharset(answer)) + ",15");
}

} // namespace pellix::sim
