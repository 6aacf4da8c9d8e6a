// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace pellix::sim {

class CallForwarding;

// The one voice call a modem has at a time: an incoming one that rings until it is answered,
// forwarded or given up, and one the client dials, which nobody answers.
class CallControl
{
public:
    // How the modem presents a ring, as the client set it (+CRC, +CLIP, S0).
    struct Presentation
    {
        bool extendedRing = false;
        bool callerId = false;
        int autoAnswerRings = 0;
    };
    struct Links
    {
        std::function<bool()> reachable;
        std::function<Presentation()> presentation;
        std::function<void(const QByteArray &)> unsolicited;
        std::function<void(const QString &)> note;
        std::function<void(qint64 delayMs, std::function<void()>)> schedule;
    };

    CallControl(const CallForwarding &forwarding, Links links);

    // The network calls from callerNumber now, forwarding and reachability applied.
    void incoming(const QString &callerNumber);
    // ATA: false when no call is waiting to be answered.
    bool answer();
    bool inCall() const { return m_call.has_value(); }
    // ATD of a voice call; the caller has checked that none is under way.
    void dial(const QString &number);
    // The client, a reset or a restart ends the call; no result code follows.
    void hangUp(const QString &why);
    // A restart loses the call without a word to anyone.
    void drop() { m_call.reset(); }
    // The call as +CLCC lists it (27.007 7.18), nullopt without one.
    std::optional<QByteArray> listing() const;

private:
    struct Call
    {
        QString number;
        bool incoming = true;
        bool active = false;
        quint64 id = 0;
        int rings = 0;
    };

    void ring(quint64 callId);
    void end(quint64 callId, const QByteArray &resultCode, const QString &why);
    bool forwarded(int reason, const QString &caller, const QString &why) const;

    const CallForwarding &m_forwarding;
    Links m_links;
    std::optional<Call> m_call;
    quint64 m_ids = 0;
};

} // namespace pellix::sim
