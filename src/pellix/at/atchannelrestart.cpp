// SPDX-License-Identifier: GPL-3.0-or-later
// A modem that restarts during a session (protocol notes 7) goes silent, then announces its new
// boot, and comes back with its stored profile: echo on, no +CMEE, no +CNMI routing, +CMGF as
// stored. A command sent to the old boot is never answered, and one answered by the new boot ran
// without the settings it relies on (text mode takes the length of AT+CMGS for a number). So the
// command during which the modem shows a restart ends at once, and none is sent until the owner
// has set the modem up again.
#include "atchannel.h"
#include "atchannel_p.h"

#include "pellixerror.h"
#include "transport/bytetransport.h"

#include <algorithm>
#include <iterator>

namespace pellix {

namespace {

constexpr char Esc = 0x1B;

// What modules say once a new boot has started: SIMCom and Quectel "RDY", Cinterion and Huawei
// "^SYSSTART" (with " AIRPLANE MODE" when the radio starts off), and the power-down notices of
// SIMCom, Quectel and Cinterion that come before a restart or a switch-off.
bool startsABoot(QByteArrayView line)
{
    static const char *const Lines[] = {"RDY", "NORMAL POWER DOWN", "POWERED DOWN", "POWER DOWN",
                                        "UNDER-VOLTAGE POWER DOWN", "OVER-VOLTAGE POWER DOWN", "^SHUTDOWN"};
    return line.startsWith("^SYSSTART")
        || std::any_of(std::begin(Lines), std::end(Lines), [line](const char *known) { return line == known; });
}

// What follows in a boot: the radio switched on, and the SIM state. Once connected, nothing else
// brings them unasked: the PIN was settled during Connect, and the library switches no radio.
bool reportsANewBoot(QByteArrayView line)
{
    return line == "+CFUN: 1" || line == "+CPIN: READY" || line == "+CPIN: SIM PIN" || line == "+CPIN: SIM PUK"
        || line == "+CPIN: NOT READY";
}

// Readiness of the message and phonebook stacks (SIMCom, Quectel, Telit): after a restart, and as
// well when a SIM that was busy after power-up or the PIN has settled.
bool announcesReadiness(QByteArrayView line)
{
    static const char *const Lines[] = {"Call Ready", "SMS Ready", "PB DONE", "+QIND: SMS DONE", "+QIND: PB DONE",
                                        "+PBREADY"};
    return std::any_of(std::begin(Lines), std::end(Lines), [line](const char *known) { return line == known; });
}

} // namespace

void AtChannel::setRestartWatch(RestartWatch watch)
{
    m_restartWatch = watch;
    // The norm is what the modem does now: one that echoes in spite of ATE0 keeps doing so.
    m_echoOffSeen = watch == RestartWatch::Full && !m_echoOn;
}

void AtChannel::clearRestartEvidence()
{
    m_restartEvidence.clear();
    m_readinessLine.clear();
}

bool AtChannel::pollRestart()
{
    if (!m_running && !m_linkLost && !transportGone())
        pump(nullptr);
    return !m_restartEvidence.isEmpty();
}

AtChannel::BootLine AtChannel::noticeBootLine(QByteArrayView line)
{
    const bool start = startsABoot(line);
    m_bootsAnnounced = m_bootsAnnounced || start;
    if (m_restartWatch == RestartWatch::Off)
        return BootLine::None;
    const bool boot = start || reportsANewBoot(line);
    // A module that announces its boots goes on for seconds with the rest of the same boot (the
    // radio, the SIM) after it has been set up again: those lines start no new boot, and the
    // settings are checked instead. A SIM that asks for its PIN again always needs the setting up.
    const bool newBoot = !m_bootsAnnounced || line.startsWith("+CPIN: SIM");
    if (start || (boot && newBoot && m_restartWatch == RestartWatch::Full)) {
        if (m_restartEvidence.isEmpty())
            m_restartEvidence = QStringLiteral("it said \"%1\"").arg(QString::fromLatin1(line));
        return BootLine::Evidence;
    }
    if (boot || announcesReadiness(line)) {
        if (m_restartWatch == RestartWatch::Full)
            m_readinessLine = QString::fromLatin1(line);
        return BootLine::Readiness;
    }
    return BootLine::None;
}

bool AtChannel::noticeEcho()
{
    // After ATE0 a modem echoes again only once something has put its stored profile back: a
    // restart, or a reset.
    if (m_restartWatch != RestartWatch::Full || !m_echoOffSeen)
        return false;
    if (m_restartEvidence.isEmpty())
        m_restartEvidence = QStringLiteral("it echoes commands again after echo was switched off");
    return true;
}

void AtChannel::raiseRestarted(Exchange &exchange)
{
    const AtCommand &command = exchange.command;
    if (exchange.awaitingPrompt) {
        // The new boot may still open a prompt for the command (in text mode for a message to the
        // "number" it was given): ESC closes it without sending (27.005 3.5.1).
        trace(TraceDirection::Sent, QByteArrayView(&Esc, 1));
        m_transport.write(QByteArray(1, Esc));
    }
    // Whatever the new boot still answers to the command is not the next command's answer.
    m_staleExpected = true;
    m_resyncNeeded = true;
    QString text = QStringLiteral("The modem restarted during %1 (%2)")
                       .arg(QString::fromLatin1(command.line), m_restartEvidence);
    if (exchange.pduSent)
        text += QStringLiteral("; the PDU had been sent, so the message may have gone out");
    throw RaisedError(libraryErrorNumber(quint16(ErrorCode::ModemRestarted)), QString::fromLatin1(ErrorSource), text);
}

void AtChannel::raiseRestartedBefore(const AtCommand &command)
{
    throw RaisedError(libraryErrorNumber(quint16(ErrorCode::ModemRestarted)), QString::fromLatin1(ErrorSource),
                      QStringLiteral("The modem restarted before %1 was sent (%2)")
                          .arg(QString::fromLatin1(command.line), m_restartEvidence));
}

void AtChannel::extendForLine(Exchange &exchange)
{
    // Silence, not the size of the answer, tells a dead modem from a long listing on a slow line
    // (protocol notes 7).
    if (exchange.quietEnds)
        return;  // the answer is complete but for a final code the modem may leave out
    const QDeadlineTimer quiet(std::max(0, exchange.command.timeoutMs));
    exchange.deadline = *exchange.cap < quiet ? *exchange.cap : quiet;
}

} // namespace pellix
