// SPDX-License-Identifier: GPL-3.0-or-later
#include "callcontrol.h"
#include "virtualmodem_p.h"

#include "callforwarding.h"
#include "virtualnetwork.h"

namespace pellix::sim {

using detail::addressType;
using detail::num;
using detail::quote;

CallControl::CallControl(const CallForwarding &forwarding, Links links)
    : m_forwarding(forwarding)
    , m_links(std::move(links))
{
}

bool CallControl::forwarded(int reason, const QString &caller, const QString &why) const
{
    if (const auto target = m_forwarding.target(reason, CallForwarding::VoiceClass)) {
        m_links.note(QStringLiteral("call from %1 forwarded to %2 (%3)").arg(caller, *target, why));
        return true;
    }
    return false;
}

void CallControl::incoming(const QString &callerNumber)
{
    if (!m_links.reachable()) {
        if (!forwarded(CallForwarding::NotReachable, callerNumber, QStringLiteral("not reachable")))
            m_links.note(QStringLiteral("call from %1 lost: the modem is not reachable").arg(callerNumber));
        return;
    }
    if (forwarded(CallForwarding::Unconditional, callerNumber, QStringLiteral("unconditional")))
        return;
    if (m_call) {
        if (!forwarded(CallForwarding::Busy, callerNumber, QStringLiteral("busy")))
            m_links.note(QStringLiteral("call from %1 gets busy").arg(callerNumber));
        return;
    }
    m_call = Call{callerNumber, true, false, ++m_ids, 0};
    m_links.note(QStringLiteral("call from %1").arg(callerNumber));
    ring(m_call->id);
}

void CallControl::ring(quint64 callId)
{
    if (!m_call || m_call->id != callId || m_call->active)
        return;
    ++m_call->rings;
    const Presentation shown = m_links.presentation();
    m_links.unsolicited(shown.extendedRing ? "+CRING: VOICE" : "RING");
    // 27.007 7.6: +CLIP follows every RING.
    if (shown.callerId)
        m_links.unsolicited("+CLIP: " + quote(m_call->number.toLatin1()) + ',' + num(addressType(m_call->number)));
    if (shown.autoAnswerRings > 0 && m_call->rings >= shown.autoAnswerRings) {
        m_call->active = true;
        m_links.note(QStringLiteral("answered automatically (S0)"));
        const quint64 id = m_call->id;
        m_links.schedule(VirtualNetwork::AnsweredCallMs,
                         [this, id] { end(id, "NO CARRIER", QStringLiteral("caller hung up")); });
        return;
    }
    if (m_call->rings < VirtualNetwork::RingCount) {
        m_links.schedule(VirtualNetwork::RingIntervalMs, [this, callId] { ring(callId); });
        return;
    }
    m_links.schedule(VirtualNetwork::RingIntervalMs, [this, callId] {
        if (!m_call || m_call->id != callId || m_call->active)
            return;
        const auto target = m_forwarding.target(CallForwarding::NoReply, CallForwarding::VoiceClass);
        end(callId, QByteArray(),
            target ? QStringLiteral("no answer: forwarded to %1").arg(*target)
                   : QStringLiteral("no answer: the caller gave up"));
    });
}

bool CallControl::answer()
{
    if (!m_call || !m_call->incoming || m_call->active)
        return false;
    m_call->active = true;
    m_links.note(QStringLiteral("call from %1 answered").arg(m_call->number));
    const quint64 id = m_call->id;
    m_links.schedule(VirtualNetwork::AnsweredCallMs, [this, id] { end(id, "NO CARRIER", QStringLiteral("caller hung up")); });
    return true;
}

void CallControl::dial(const QString &number)
{
    m_call = Call{number, false, false, ++m_ids, 0};
    m_links.note(QStringLiteral("dialling %1").arg(number));
    const quint64 id = m_call->id;
    m_links.schedule(VirtualNetwork::DialledCallMs, [this, id] { end(id, "NO ANSWER", QStringLiteral("no answer")); });
}

void CallControl::hangUp(const QString &why)
{
    if (m_call)
        end(m_call->id, QByteArray(), why);
}

void CallControl::end(quint64 callId, const QByteArray &resultCode, const QString &why)
{
    if (!m_call || m_call->id != callId)
        return;
    m_links.note(QStringLiteral("call with %1 ended: %2").arg(m_call->number, why));
    m_call.reset();
    if (!resultCode.isEmpty())
        m_links.unsolicited(resultCode);
}

std::optional<QByteArray> CallControl::listing() const
{
    if (!m_call)
        return std::nullopt;
    // 27.007 7.18: <stat> 0 active, 3 alerting, 4 incoming.
    const int stat = m_call->active ? 0 : m_call->incoming ? 4 : 3;
    return "+CLCC: 1," + num(m_call->incoming ? 1 : 0) + ',' + num(stat) + ",0,0," + quote(m_call->number.toLatin1())
        + ',' + num(addressType(m_call->number));
}

} // namespace pellix::sim
