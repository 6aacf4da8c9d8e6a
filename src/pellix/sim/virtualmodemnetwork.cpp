// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodem.h"
#include "virtualmodem_p.h"

#include "pdu/smspdu.h"
#include "pellixerror.h"

namespace pellix::sim {

using detail::addressType;
using detail::isHex;
using detail::num;
using detail::quote;
using detail::registrationState;

namespace {

// 27.005 3.4.4: without +CNMA in time the network gives up on the routed message.
constexpr qint64 AckTimeoutMs = 15000;

// The number as an address field of a PDU (23.040 9.1.2.5: 0x91 international, 0x81 unknown).
pdu::Address addressOf(const QString &number)
{
    return pdu::Address{number, quint8(addressType(number) == 145 ? 0x91 : 0x81)};
}

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
    return m_eventTime.value_or(m_clock->elapsedMs());
}

void VirtualModem::schedule(qint64 delayMs, std::function<void()> action)
{
    m_events.emplace(std::make_pair(nowMs() + delayMs, m_eventSequence++), std::move(action));
}

std::optional<qint64> VirtualModem::nextEventDue() const
{
    if (m_events.empty())
        return std::nullopt;
    return m_events.begin()->first.first;
}

void VirtualModem::poll()
{
    if (frozen())
        return;
    const qint64 now = m_clock->elapsedMs();
    while (!m_events.empty() && m_events.begin()->first.first <= now) {
        auto node = m_events.extract(m_events.begin());
        m_eventTime = node.key().first;
        node.mapped()();
    }
    m_eventTime.reset();
    flushHeld();
}

bool VirtualModem::reachable() const
{
    return !m_restarting && m_functionality == 1 && m_sim.lock() == VirtualSim::Lock::Ready;
}

void VirtualModem::updateRegistration()
{
    const bool registered = reachable();
    if (registered == m_registered)
        return;
    m_registered = registered;
    note(registered ? QStringLiteral("registered on the network") : QStringLiteral("left the network"));
    if (m_settings.creg != 0)
        unsolicited("+CREG: " + registrationState(m_settings.creg, registered));
    if (m_settings.cgreg != 0)
        unsolicited("+CGREG: " + registrationState(m_settings.cgreg, registered));
    if (registered)
        deliverWaiting();
}

void VirtualModem::offer(Incoming item)
{
    m_waiting.append(std::move(item));
    deliverWaiting();
}

void VirtualModem::deliverWaiting()
{
    if (m_delivering)
        return;
    m_delivering = true;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (tryDeliver(*it))
            it = m_waiting.erase(it);
        else
            ++it;
    }
    m_delivering = false;
}

bool VirtualModem::tryDeliver(Incoming &item)
{
    // The centre keeps what the modem cannot take and tries again when it can (23.040 3.8:
    // memory capacity exceeded, then "memory available"): nothing is lost.
    if (!reachable())
        return false;
    const int length = tpduLengthOf(item.pdu);
    const Settings &s = m_settings;
    if (!item.report) {
        const bool route = s.cnmiMode != 0
            && ((s.cnmiMt == 2 && item.messageClass != 2) || (s.cnmiMt == 3 && item.messageClass == 3));
        if (route && routesIntoTheVoid()) {
            note(QStringLiteral("message routed to a closed line (+CMT): acknowledged to the network and lost"));
        } else if (route) {
            if (m_ackPending && !m_flooding)
                return false;
            unsolicited("+CMT: ," + num(length), item.pdu);
            note(QStringLiteral("message routed to the client (+CMT)"));
            // FieldBehaviour::floodMessages: pushed without waiting; each takes its +CNMA later.
            if (s.csmsService == 1 && m_flooding)
                ++m_floodAcks;
            else if (s.csmsService == 1)
                expectAck(item);
        } else {
            MessageStore *store = m_sim.store(s.mem3);
            int index = store->add(StoredMessage{MessageStat::RecUnread, item.pdu, length});
            // FieldBehaviour::simFull: a storage without room sends the message to the phone
            // memory, and the indication names that storage.
            if (index < 0 && m_options.field.simFull && store != &m_sim.me()) {
                store = &m_sim.me();
                index = store->add(StoredMessage{MessageStat::RecUnread, item.pdu, length});
            }
            if (index < 0) {
                note(QStringLiteral("%1 is full: the centre keeps the message").arg(QString::fromLatin1(store->name())));
                return false;
            }
            note(QStringLiteral("message stored at %1 %2").arg(QString::fromLatin1(store->name())).arg(index));
            if (s.cnmiMt != 0)
                smsIndication("+CMTI: " + quote(store->name()) + ',' + num(index));
        }
    } else {
        const bool route = s.cnmiMode != 0 && s.cnmiDs == 1;
        if (route && routesIntoTheVoid()) {
            note(QStringLiteral("status report routed to a closed line (+CDS): acknowledged to the network and lost"));
        } else if (route) {
            if (m_ackPending)
                return false;
            unsolicited("+CDS: " + num(length), item.pdu);
            note(QStringLiteral("status report routed to the client (+CDS)"));
            if (s.csmsService == 1)
                expectAck(item);
        } else {
            MessageStore &store = m_srSelected ? m_sim.sr() : m_sim.sm();
            const int index = store.add(StoredMessage{MessageStat::RecUnread, item.pdu, length});
            if (index < 0) {
                note(QStringLiteral("%1 is full: the centre keeps the status report").arg(QString::fromLatin1(store.name())));
                return false;
            }
            note(QStringLiteral("status report stored at %1 %2").arg(QString::fromLatin1(store.name())).arg(index));
            if (s.cnmiDs != 0)
                smsIndication("+CDSI: " + quote(store.name()) + ',' + num(index));
        }
    }
    if (item.onDelivered)
        std::exchange(item.onDelivered, nullptr)();
    return true;
}

bool VirtualModem::routesIntoTheVoid() const
{
    // FieldBehaviour::loseRoutedMessages: the modem hands the item to a line nobody reads and
    // tells the network it was delivered, whatever +CSMS says.
    return m_options.field.loseRoutedMessages && !m_lineOpen;
}

void VirtualModem::expectAck(const Incoming &item)
{
    m_ackPending = true;
    m_unacked = item;
    m_unacked->onDelivered = nullptr;
    const quint64 token = ++m_ackToken;
    schedule(AckTimeoutMs, [this, token] { ackTimedOut(token); });
}

void VirtualModem::ackTimedOut(quint64 token)
{
    if (!m_ackPending || token != m_ackToken)
        return;
    // 27.005 3.4.4: no acknowledgement in time turns direct routing off (<mt> and <ds> 0); the
    // centre delivers the message again, which now goes to the storage.
    note(QStringLiteral("no +CNMA in time: routing switched off, the item is delivered again"));
    m_ackPending = false;
    m_settings.cnmiMt = 0;
    m_settings.cnmiDs = 0;
    if (m_unacked)
        m_waiting.prepend(*std::exchange(m_unacked, std::nullopt));
    deliverWaiting();
}

bool VirtualModem::incomingMessage(const QByteArray &hexPdu)
{
    try {
        if (pdu::pduType(hexPdu) != pdu::PduType::Deliver)
            return false;
        const pdu::DeliverPdu deliver = pdu::decodeDeliver(hexPdu);
        offer(Incoming{false, hexPdu.toUpper(), deliver.dcs.messageClass, nullptr});
        return true;
    } catch (const RaisedError &) {
        return false;
    }
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
            loopBackPdu = loopBack(submit);
        } catch (const RaisedError &error) {
            note(QStringLiteral("PDU refused: %1").arg(error.description()));
            outcome = Outcome{Outcome::Cms, 304};
            return;
        }
    }
    reference = m_network.nextMessageReference();
    recordSubmission(submit.destination, submit.text, false);
    acceptSubmit(submit, loopBackPdu, reference);
    outcome = Outcome{Outcome::Ok};
}

QByteArray VirtualModem::loopBack(const pdu::SubmitPdu &submit) const
{
    // The centre hands the message on as it came: coding, class, header and text (23.040 9.2.2.1).
    pdu::DeliverPdu deliver;
    deliver.smsc = addressOf(m_serviceCentre);
    deliver.originator = pdu::Address{QLatin1String(VirtualNetwork::OwnNumber), 0x91};
    deliver.protocolId = submit.protocolId;
    deliver.dcs.alphabet = submit.alphabet;
    deliver.dcs.messageClass = submit.messageClass;
    deliver.dcs.raw = pdu::encodeDataCoding(submit.alphabet, submit.messageClass);
    deliver.timestamp = m_clock->wallTime(nowMs());
    deliver.udh = submit.udh;
    deliver.text = submit.text;
    deliver.statusReportIndication = submit.statusReportRequest;
    deliver.replyPath = submit.replyPath;
    return pdu::encodeDeliver(deliver);
}

void VirtualModem::acceptSubmit(const pdu::SubmitPdu &submit, const QByteArray &loopBackPdu, quint8 reference)
{
    const qint64 submittedAt = nowMs();
    const QString destination = submit.destination;
    note(QStringLiteral("message %1 to %2 taken by the centre%3").arg(reference).arg(destination,
         submit.statusReportRequest ? QStringLiteral(", report requested") : QString()));

    if (!loopBackPdu.isEmpty()) {
        Incoming item{false, loopBackPdu, submit.messageClass, nullptr};
        if (submit.statusReportRequest) {
            // The report tells of the delivery, so it follows it, however long the modem's full
            // storage held it up.
            item.onDelivered = [this, reference, destination, submittedAt] {
                const qint64 wait = qMax<qint64>(0, submittedAt + VirtualNetwork::ReportDelayMs - nowMs());
                schedule(wait, [this, reference, destination, submittedAt] {
                    reportDelivery(reference, destination, submittedAt, 0x00);
                });
            };
        }
        schedule(VirtualNetwork::LoopBackDelayMs, [this, item] { offer(item); });
    } else if (submit.statusReportRequest) {
        for (const VirtualNetwork::ReportStep &step : VirtualNetwork::deliveryReports(destination)) {
            const quint8 status = step.status;
            schedule(step.delayMs, [this, reference, destination, submittedAt, status] {
                reportDelivery(reference, destination, submittedAt, status);
            });
        }
    }
    if (VirtualNetwork::asksForCall(submit.text)) {
        schedule(VirtualNetwork::CallDelayMs, [this, destination] { incomingCall(destination); });
    }
}

void VirtualModem::reportDelivery(quint8 reference, const QString &recipient, qint64 submittedAt, quint8 status)
{
    pdu::StatusReportPdu report;
    report.smsc = addressOf(m_serviceCentre);
    report.messageReference = reference;
    report.recipient = addressOf(recipient);
    report.timestamp = m_clock->wallTime(submittedAt);
    report.dischargeTime = m_clock->wallTime(nowMs());
    report.status = status;
    report.statusText = pdu::statusText(status);
    note(QStringLiteral("delivery report for message %1: status 0x%2").arg(reference).arg(status, 2, 16, QLatin1Char('0')));
    try {
        offer(Incoming{true, pdu::encodeStatusReport(report), -1, nullptr});
    } catch (const RaisedError &error) {
        note(QStringLiteral("no report: %1").arg(error.description()));
    }
}

void VirtualModem::incomingCall(const QString &callerNumber)
{
    const CallForwarding &forwarding = m_network.forwarding();
    const auto forwardedBy = [&](int reason, const QString &why) {
        if (const auto target = forwarding.target(reason, CallForwarding::VoiceClass)) {
            note(QStringLiteral("call from %1 forwarded to %2 (%3)").arg(callerNumber, *target, why));
            return true;
        }
        return false;
    };
    if (!reachable()) {
        if (!forwardedBy(CallForwarding::NotReachable, QStringLiteral("not reachable")))
            note(QStringLiteral("call from %1 lost: the modem is not reachable").arg(callerNumber));
        return;
    }
    if (forwardedBy(CallForwarding::Unconditional, QStringLiteral("unconditional")))
        return;
    if (m_call) {
        if (!forwardedBy(CallForwarding::Busy, QStringLiteral("busy")))
            note(QStringLiteral("call from %1 gets busy").arg(callerNumber));
        return;
    }
    m_call = Call{callerNumber, true, false, ++m_callIds, 0};
    note(QStringLiteral("call from %1").arg(callerNumber));
    ring(m_call->id);
}

void VirtualModem::ring(quint64 callId)
{
    if (!m_call || m_call->id != callId || m_call->active)
        return;
    ++m_call->rings;
    unsolicited(m_settings.crc ? "+CRING: VOICE" : "RING");
    // 27.007 7.6: +CLIP follows every RING.
    if (m_settings.clip)
        unsolicited("+CLIP: " + quote(m_call->number.toLatin1()) + ',' + num(addressType(m_call->number)));
    const int autoAnswer = reg(0);
    if (autoAnswer > 0 && m_call->rings >= autoAnswer) {
        m_call->active = true;
        note(QStringLiteral("answered automatically (S0)"));
        const quint64 id = m_call->id;
        schedule(VirtualNetwork::AnsweredCallMs, [this, id] { endCall(id, "NO CARRIER", QStringLiteral("caller hung up")); });
        return;
    }
    if (m_call->rings < VirtualNetwork::RingCount) {
        schedule(VirtualNetwork::RingIntervalMs, [this, callId] { ring(callId); });
        return;
    }
    schedule(VirtualNetwork::RingIntervalMs, [this, callId] {
        if (!m_call || m_call->id != callId || m_call->active)
            return;
        const auto target = m_network.forwarding().target(CallForwarding::NoReply, CallForwarding::VoiceClass);
        endCall(callId, QByteArray(),
                target ? QStringLiteral("no answer: forwarded to %1").arg(*target)
                       : QStringLiteral("no answer: the caller gave up"));
    });
}

void VirtualModem::endCall(quint64 callId, const QByteArray &resultCode, const QString &why)
{
    if (!m_call || m_call->id != callId)
        return;
    note(QStringLiteral("call with %1 ended: %2").arg(m_call->number, why));
    m_call.reset();
    if (!resultCode.isEmpty())
        unsolicited(resultCode);
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
        unsolicited("+CUSD: 4");  // 27.007 7.15: operation not supported
        return;
    }
    unsolicited("+CUSD: 0," + quote(toCharset(answer)) + ",15");
}

} // namespace pellix::sim
