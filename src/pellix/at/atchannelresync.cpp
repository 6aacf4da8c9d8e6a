// SPDX-License-Identifier: GPL-3.0-or-later
// Resynchronising after a timeout. V.250 gives a reply nothing that names its command: a modem
// under load may answer after the deadline, and that answer would end the next command. A plain
// AT is answered only after everything the modem owed before it, so whatever comes before the
// AT's own final code is the late reply, and is dropped.
#include "atchannel.h"
#include "atchannel_p.h"

#include "pellixerror.h"
#include "transport/bytetransport.h"
#include "transport/tracelog.h"

#include <utility>

namespace pellix {

void AtChannel::resynchronise(const AtCommand &next)
{
    static const AtCommand probe = AtCommand::plain("AT");
    Exchange exchange(probe);
    exchange.resync = true;
    exchange.firstLineStale = m_splitter.hasPartialLine();
    exchange.deadline = QDeadlineTimer(std::min(m_resyncTimeoutMs, std::max(1, next.timeoutMs)));
    ++m_stats.resyncs;
    writeOrLose(probe.line + '\r', probe.line);
    for (;;) {
        pump(&exchange);
        if (transportGone())
            loseLink(transportFailure(QStringLiteral("the port was closed")));
        const QDeadlineTimer until = exchange.finalHeld && exchange.settle < exchange.deadline ? exchange.settle
                                                                                                : exchange.deadline;
        // The transport says no more once `until` has passed.
        if (!until.hasExpired() && m_transport.waitForBytes(until))
            continue;
        pump(&exchange);
        if (transportGone())
            loseLink(transportFailure(QStringLiteral("the port was closed")));
        if (exchange.finalHeld)
            break;
        timedOut(probe.line, QStringLiteral("%1 (no answer to the AT sent after the last timeout)")
                                 .arg(QString::fromLatin1(TraceLog::masked(next.line))),
                 exchange.heard);
    }
    trace(TraceDirection::Received, exchange.response.finalLine);
    m_echoOn = exchange.echoSeen;
    m_resyncNeeded = false;
    m_staleExpected = false;
    // Lines after the AT's final code came before the next command was sent.
    processTokens(nullptr);
}

bool AtChannel::handleResyncLine(Exchange &exchange, QByteArrayView line, bool cut)
{
    if (cut) {
        ++m_stats.cutLines;
        discard(line);
        flushPendingUnsolicited();
        return false;
    }
    if (exchange.firstLineStale) {
        exchange.firstLineStale = false;
        handleIdleLine(line, false);
        return false;
    }
    if (takePduLine(nullptr, line))
        return false;
    if (!exchange.echoSeen && line == QByteArrayView(exchange.command.line)) {
        exchange.echoSeen = true;
        // A final code before the AT's echo ended the late reply.
        if (std::exchange(exchange.finalHeld, false))
            discard(exchange.response.finalLine);
        discard(line);
        noticeEcho();
        return false;
    }
    const AtLineClass cls = AtLineClassifier::classify(line);
    if (cls.isFinal()) {
        // A final code held before this one ended the late reply.
        if (exchange.finalHeld)
            discard(exchange.response.finalLine);
        exchange.finalHeld = true;
        exchange.response.final = cls.final;
        exchange.response.finalLine = line.toByteArray();
        // With echo on, the AT's own final comes after its echo: one before it is the late
        // reply's, unless the modem has stopped echoing, which only the deadline can tell.
        // Otherwise the AT's final is the last one, after which the modem falls silent; a modem
        // that echoes at once while still busy, or has echo off, sends two finals that look alike.
        exchange.settle = m_echoOn && !exchange.echoSeen ? exchange.deadline : QDeadlineTimer(m_staleGraceMs);
        return false;
    }
    if (cls.isUnsolicited()) {
        handleUnsolicited(cls, line);
        return false;
    }
    // A boot line here is kept as evidence: the command after this AT is then not sent.
    noticeBootLine(line);
    discard(line);
    return false;
}

} // namespace pellix
