// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagecentre.h"
#include "virtualmodem_p.h"

#include "fieldbehaviour.h"
#include "virtualclock.h"
#include "virtualnetwork.h"
#include "virtualsim.h"

#include "pdu/smspdu.h"
#include "pellixerror.h"

namespace pellix::sim {

using detail::addressType;
using detail::num;
using detail::quote;

namespace {

// 27.005 3.4.4: without +CNMA in time the network gives up on the routed message.
constexpr qint64 AckTimeoutMs = 15000;
constexpr qsizetype MaxSubmissions = 100;

// The number as an address field of a PDU (23.040 9.1.2.5: 0x91 international, 0x81 unknown).
pdu::Address addressOf(const QString &number)
{
    return pdu::Address{number, quint8(addressType(number) == 145 ? 0x91 : 0x81)};
}

} // namespace

MessageCentre::MessageCentre(VirtualSim &sim, const VirtualClock &clock, const FieldBehaviour &field, Links links)
    : m_sim(sim)
    , m_clock(clock)
    , m_field(field)
    , m_links(std::move(links))
    , m_address(QLatin1String(VirtualNetwork::ServiceCentre))
{
}

void MessageCentre::offer(Incoming item)
{
    m_waiting.append(std::move(item));
    deliverWaiting();
}

void MessageCentre::deliverWaiting()
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

bool MessageCentre::tryDeliver(Incoming &item)
{
    // The centre keeps what the modem cannot take and tries again when it can (23.040 3.8:
    // memory capacity exceeded, then "memory available"): nothing is lost.
    if (!m_links.reachable())
        return false;
    const int length = tpduLengthOf(item.pdu);
    const Routing routing = m_links.routing();
    if (!(item.report ? tryDeliverReport(item, length, routing) : tryDeliverMessage(item, length, routing)))
        return false;
    if (item.onDelivered)
        std::exchange(item.onDelivered, nullptr)();
    return true;
}

bool MessageCentre::tryDeliverMessage(const Incoming &item, int length, const Routing &s)
{
    const bool route = s.mode != 0 && ((s.mt == 2 && item.messageClass != 2) || (s.mt == 3 && item.messageClass == 3));
    if (route && routesIntoTheVoid()) {
        m_links.note(QStringLiteral("message routed to a closed line (+CMT): acknowledged to the network and lost"));
        return true;
    }
    if (route) {
        if (m_ackPending && !m_flooding)
            return false;
        m_links.unsolicited("+CMT: ," + num(length), item.pdu);
        m_links.note(QStringLiteral("message routed to the client (+CMT)"));
        // FieldBehaviour::floodMessages: pushed without waiting; each takes its +CNMA later.
        if (s.service == 1 && m_flooding)
            ++m_floodAcks;
        else if (s.service == 1)
            expectAck(item);
        return true;
    }
    MessageStore *store = m_sim.store(s.storage);
    int index = store->add(StoredMessage{MessageStat::RecUnread, item.pdu, length});
    // FieldBehaviour::simFull: a storage without room sends the message to the phone memory,
    // and the indication names that storage.
    if (index < 0 && m_field.simFull && store != &m_sim.me()) {
        store = &m_sim.me();
        index = store->add(StoredMessage{MessageStat::RecUnread, item.pdu, length});
    }
    if (index < 0) {
        m_links.note(QStringLiteral("%1 is full: the centre keeps the message").arg(QString::fromLatin1(store->name())));
        return false;
    }
    m_links.note(QStringLiteral("message stored at %1 %2").arg(QString::fromLatin1(store->name())).arg(index));
    if (s.mt != 0)
        m_links.indication("+CMTI: " + quote(store->name()) + ',' + num(index));
    return true;
}

bool MessageCentre::tryDeliverReport(const Incoming &item, int length, const Routing &s)
{
    const bool route = s.mode != 0 && s.ds == 1;
    if (route && routesIntoTheVoid()) {
        m_links.note(QStringLiteral("status report routed to a closed line (+CDS): acknowledged to the network and lost"));
        return true;
    }
    if (route) {
        if (m_ackPending)
            return false;
        m_links.unsolicited("+CDS: " + num(length), item.pdu);
        m_links.note(QStringLiteral("status report routed to the client (+CDS)"));
        if (s.service == 1)
            expectAck(item);
        return true;
    }
    MessageStore &store = m_reportsInSr ? m_sim.sr() : m_sim.sm();
    const int index = store.add(StoredMessage{MessageStat::RecUnread, item.pdu, length});
    if (index < 0) {
        m_links.note(QStringLiteral("%1 is full: the centre keeps the status report").arg(QString::fromLatin1(store.name())));
        return false;
    }
    m_links.note(QStringLiteral("status report stored at %1 %2").arg(QString::fromLatin1(store.name())).arg(index));
    if (s.ds != 0)
        m_links.indication("+CDSI: " + quote(store.name()) + ',' + num(index));
    return true;
}

bool MessageCentre::routesIntoTheVoid() const
{
    // FieldBehaviour::loseRoutedMessages: the modem hands the item to a line nobody reads and
    // tells the network it was delivered, whatever +CSMS says.
    return m_field.loseRoutedMessages && !m_links.lineOpen();
}

void MessageCentre::expectAck(const Incoming &item)
{
    m_ackPending = true;
    m_unacked = item;
    m_unacked->onDelivered = nullptr;
    const quint64 token = ++m_ackToken;
    m_links.schedule(AckTimeoutMs, [this, token] { ackTimedOut(token); });
}

void MessageCentre::ackTimedOut(quint64 token)
{
    if (!m_ackPending || token != m_ackToken)
        return;
    // 27.005 3.4.4: no acknowledgement in time turns direct routing off (<mt> and <ds> 0); the
    // centre delivers the message again, which now goes to the storage.
    m_links.note(QStringLiteral("no +CNMA in time: routing switched off, the item is delivered again"));
    m_ackPending = false;
    m_links.routingOff();
    if (m_unacked)
        m_waiting.prepend(*std::exchange(m_unacked, std::nullopt));
    deliverWaiting();
}

int MessageCentre::acknowledge(int n)
{
    if (!m_ackPending && m_floodAcks > 0) {
        --m_floodAcks;
        return 0;
    }
    if (!m_ackPending)
        return 340;
    m_ackPending = false;
    ++m_ackToken;
    auto item = std::exchange(m_unacked, std::nullopt);
    if (n == 2 && item) {
        // RP-ERROR: the centre tries again a little later.
        m_links.note(QStringLiteral("negative acknowledgement: the centre retries"));
        m_links.schedule(VirtualNetwork::ReportDelayMs, [this, again = *item] { offer(again); });
    }
    deliverWaiting();
    return 0;
}

void MessageCentre::forgetAcknowledgement()
{
    if (!m_ackPending)
        return;
    m_ackPending = false;
    ++m_ackToken;
    if (m_unacked)
        m_waiting.prepend(*std::exchange(m_unacked, std::nullopt));
}

bool MessageCentre::deliverMessage(const QByteArray &hexPdu)
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

void MessageCentre::routingChosen(int mode, int mt)
{
    if (m_field.floodMessages <= 0 || m_flooded || mode == 0 || mt == 0)
        return;
    // After this command's OK, as a network that has been waiting for the modem.
    m_flooded = true;
    m_links.schedule(0, [this] { flood(m_field.floodMessages); });
}

void MessageCentre::flood(int count)
{
    m_links.note(QStringLiteral("flood: %1 messages arrive at once").arg(count));
    if (MessageStore *store = m_sim.store(m_links.routing().storage))
        store->grow(store->used() + count);
    m_flooding = true;
    for (int i = 1; i <= count; ++i) {
        pdu::DeliverPdu deliver;
        deliver.smsc = {QLatin1String(VirtualNetwork::ServiceCentre), 0x91};
        deliver.originator = {QStringLiteral("+15550001"), 0x91};
        deliver.timestamp = m_clock.wallTime(m_links.nowMs());
        deliver.text = QStringLiteral("flood %1").arg(i);
        deliverMessage(pdu::encodeDeliver(deliver));
    }
    m_flooding = false;
}

QByteArray MessageCentre::loopBack(const pdu::SubmitPdu &submit, const QString &ownNumber) const
{
    // The centre hands the message on as it came: coding, class, header and text (23.040 9.2.2.1).
    pdu::DeliverPdu deliver;
    deliver.smsc = addressOf(m_address.isEmpty() ? submit.smsc : m_address);
    deliver.originator = pdu::Address{ownNumber, quint8(ownNumber.startsWith(QLatin1Char('+')) ? 0x91 : 0x81)};
    deliver.protocolId = submit.protocolId;
    deliver.dcs.alphabet = submit.alphabet;
    deliver.dcs.messageClass = submit.messageClass;
    deliver.dcs.raw = pdu::encodeDataCoding(submit.alphabet, submit.messageClass);
    deliver.timestamp = m_clock.wallTime(m_links.nowMs());
    deliver.udh = submit.udh;
    deliver.text = submit.text;
    deliver.statusReportIndication = submit.statusReportRequest;
    deliver.replyPath = submit.replyPath;
    return pdu::encodeDeliver(deliver);
}

void MessageCentre::accept(const pdu::SubmitPdu &submit, const QByteArray &loopBackPdu, quint8 reference)
{
    const qint64 submittedAt = m_links.nowMs();
    const QString destination = submit.destination;
    m_links.note(QStringLiteral("message %1 to %2 taken by the centre%3").arg(reference).arg(destination,
                 submit.statusReportRequest ? QStringLiteral(", report requested") : QString()));

    if (!loopBackPdu.isEmpty()) {
        Incoming item{false, loopBackPdu, submit.messageClass, nullptr};
        if (submit.statusReportRequest) {
            // The report tells of the delivery, so it follows it, however long the modem's full
            // storage held it up.
            item.onDelivered = [this, reference, destination, submittedAt] {
                const qint64 wait = qMax<qint64>(0, submittedAt + VirtualNetwork::ReportDelayMs - m_links.nowMs());
                m_links.schedule(wait, [this, reference, destination, submittedAt] {
                    reportDelivery(reference, destination, submittedAt, 0x00);
                });
            };
        }
        m_links.schedule(VirtualNetwork::LoopBackDelayMs, [this, item] { offer(item); });
    } else if (submit.statusReportRequest) {
        for (const VirtualNetwork::ReportStep &step : VirtualNetwork::deliveryReports(destination)) {
            const quint8 status = step.status;
            m_links.schedule(step.delayMs, [this, reference, destination, submittedAt, status] {
                reportDelivery(reference, destination, submittedAt, status);
            });
        }
    }
    if (VirtualNetwork::asksForCall(submit.text))
        m_links.schedule(VirtualNetwork::CallDelayMs, [this, destination] { m_links.callFrom(destination); });
}

void MessageCentre::reportDelivery(quint8 reference, const QString &recipient, qint64 submittedAt, quint8 status)
{
    pdu::StatusReportPdu report;
    report.smsc = addressOf(m_address);
    report.messageReference = reference;
    report.recipient = addressOf(recipient);
    report.timestamp = m_clock.wallTime(submittedAt);
    report.dischargeTime = m_clock.wallTime(m_links.nowMs());
    report.status = status;
    report.statusText = pdu::statusText(status);
    m_links.note(QStringLiteral("delivery report for message %1: status 0x%2").arg(reference).arg(status, 2, 16, QLatin1Char('0')));
    try {
        offer(Incoming{true, pdu::encodeStatusReport(report), -1, nullptr});
    } catch (const RaisedError &error) {
        m_links.note(QStringLiteral("no report: %1").arg(error.description()));
    }
}

void MessageCentre::record(const QString &destination, const QString &text, bool textMode)
{
    if (m_submissions.size() >= MaxSubmissions)
        m_submissions.removeFirst();
    m_submissions.append(Submission{destination, text, textMode});
}

} // namespace pellix::sim
