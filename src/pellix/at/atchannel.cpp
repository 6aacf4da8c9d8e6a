// SPDX-License-Identifier: GPL-3.0-or-later
#include "atchannel.h"
#include "atchannel_p.h"

#include "pduline.h"
#include "pellixerror.h"
#include "transport/bytetransport.h"
#include "transport/tracelog.h"

#include <QMetaObject>

#include <utility>

namespace pellix {

namespace {

constexpr qsizetype MaxBytesPerPump = 64 * 1024;
constexpr char CtrlZ = 0x1A;
constexpr char Esc = 0x1B;

// A CR or LF inside a command ends it early and runs the rest as a second command; Ctrl-Z or
// ESC would end or cancel a PDU entry. Such bytes never come from a well-formed request, except
// an ESC inside a quoted string of a command line: in the GSM set (27.007 5.5) it begins an
// extension-table pair.
bool breaksFraming(const QByteArray &bytes, bool escInQuotes = false)
{
    bool quoted = false;
    for (char c : bytes) {
        if (c == '"')
            quoted = !quoted;
        if (c == '\r' || c == '\n' || c == CtrlZ || (c == Esc && !(quoted && escInQuotes)))
            return true;
    }
    return false;
}

// A command line as error texts show it: with its secrets masked, as in the trace.
QString shown(const QByteArray &commandLine)
{
    return QString::fromLatin1(TraceLog::masked(commandLine));
}

// Modems echo the PDU with (or without) the Ctrl-Z that ended it.
QByteArrayView withoutControlTail(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == CtrlZ || line.back() == Esc || line.back() == ' '))
        line.chop(1);
    return line;
}

// Field modems send vendor codes at any moment ("^RSSI:17", "^MODE:5,4", "+QIND: ..."): such a
// line is never part of a bare answer (identity texts), unless it carries the name of a command on
// the line ("+CGMI: Quectel" to AT+CGMI, "+CSMS: (0,1)" to AT...;+CNMI=?;+CSMS=?).
bool isForeignCode(QByteArrayView line, QByteArrayView commandLine)
{
    if (line.size() < 3 || (line.front() != '+' && line.front() != '^'))
        return false;
    qsizetype end = 1;
    while (end < line.size() && ((line.at(end) >= 'A' && line.at(end) <= 'Z') || (line.at(end) >= '0' && line.at(end) <= '9')))
        ++end;
    if (end == 1 || end >= line.size() || line.at(end) != ':')
        return false;
    const QByteArrayView name = line.first(end);
    for (qsizetype at = commandLine.indexOf(name); at >= 0; at = commandLine.indexOf(name, at + 1)) {
        const qsizetype after = at + name.size();
        const char next = after < commandLine.size() ? commandLine.at(after) : '\0';
        if (!((next >= 'A' && next <= 'Z') || (next >= '0' && next <= '9')))
            return false;
    }
    return true;
}

} // namespace

AtChannel::AtChannel(ByteTransport &transport, QObject *parent)
    : QObject(parent)
    , m_transport(transport)
{
    connect(&m_transport, &ByteTransport::bytesArrived, this, &AtChannel::onBytesArrived);
    connect(&m_transport, &ByteTransport::failed, this, &AtChannel::onTransportFailed);
    m_pendingTimer.setSingleShot(true);
    connect(&m_pendingTimer, &QTimer::timeout, this, &AtChannel::onPendingTimeout);
}

AtChannel::~AtChannel() = default;

AtResponse AtChannel::run(const AtCommand &command)
{
    if (m_running)
        raise(ErrorCode::InvalidArgument, QStringLiteral("%1 issued while another command runs").arg(shown(command.line)));
    if (command.line.isEmpty() || breaksFraming(command.line, true) || breaksFraming(command.pdu))
        raise(ErrorCode::InvalidArgument, QStringLiteral("command line or PDU with control characters: %1")
                                              .arg(QString::fromLatin1(TraceLog::masked(command.line).toPercentEncoding(" +=?,\"'"))));
    if (m_linkLost)
        raise(ErrorCode::ConnectionLost, m_failure);
    if (transportGone())
        loseLink(transportFailure(QStringLiteral("the port is closed")));

    struct RunningGuard
    {
        AtChannel *channel;
        ~RunningGuard()
        {
            channel->m_running = false;
            channel->m_splitter.setPromptExpected(false);
            channel->armPendingTimer();
            channel->postNotification();
        }
    };
    m_running = true;
    RunningGuard guard{this};

    drainBeforeCommand(command);
    // A modem that has restarted holds none of the settings the command relies on.
    if (m_restartWatch != RestartWatch::Off && !m_restartEvidence.isEmpty())
        raiseRestartedBefore(command);

    Exchange exchange(command);
    exchange.firstLineStale = m_splitter.hasPartialLine();
    exchange.awaitingPrompt = !command.pdu.isEmpty();
    m_splitter.setPromptExpected(exchange.awaitingPrompt);
    // The deadline is fixed here: bytes that arrive later (unsolicited codes) do not extend it,
    // except in a listing, which ends by silence under its cap.
    exchange.deadline = QDeadlineTimer(std::max(0, command.timeoutMs));
    if (command.capMs > 0)
        exchange.cap = QDeadlineTimer(std::max(command.capMs, command.timeoutMs));
    writeOrLose(command.line + '\r', command.line);

    for (;;) {
        if (pump(&exchange))
            break;
        if (transportGone())
            loseLink(transportFailure(QStringLiteral("the port was closed")));
        if (exchange.deadline.hasExpired()) {
            if (exchange.quietEnds) {
                exchange.response.final = FinalCode::Ok;
                if (exchange.responseAwaitsData)
                    exchange.response.pdus.append(QByteArray());
                break;
            }
            if (exchange.echoSeen)
                m_echoOn = true;
            if (exchange.awaitingPrompt) {
                // The modem may still open the PDU entry and take the next command for PDU text;
                // ESC cancels the entry (TS 27.005 3.5.1).
                trace(TraceDirection::Sent, QByteArrayView(&Esc, 1));
                m_transport.write(QByteArray(1, Esc));
            }
            timedOut(command.line, shown(command.line), exchange.heard);
        }
        m_transport.waitForBytes(exchange.deadline);
    }
    if (exchange.restarted)
        raiseRestarted(exchange);

    m_consecutiveTimeouts = 0;
    m_echoOn = exchange.echoSeen;
    // What came after the final code is the idle modem's: queue it now rather than leave it
    // buffered until the next byte arrives.
    m_splitter.setPromptExpected(false);
    processTokens(nullptr);
    pump(nullptr);
    return exchange.response;
}

AtResponse AtChannel::execute(const AtCommand &command)
{
    AtResponse response = run(command);
    if (response.final != FinalCode::Ok)
        raiseFor(response, command.line);
    return response;
}

void AtChannel::raiseFor(const AtResponse &response, const QByteArray &commandLine)
{
    const QString name = shown(commandLine);
    if (response.final == FinalCode::CmeError && response.errorCode >= 0)
        throw cmeError(response.errorCode, name);
    if (response.final == FinalCode::CmsError && response.errorCode >= 0)
        throw cmsError(response.errorCode, name);
    raise(ErrorCode::ModemAnsweredError, QStringLiteral("%1 to %2").arg(QString::fromLatin1(response.finalLine), name));
}

void AtChannel::timedOut(const QByteArray &commandLine, const QString &what, bool heard)
{
    ++m_stats.timeouts;
    // A modem that kept sending while the command waited (a flood of unacknowledged +CMT on a
    // slow line holds its answer back) is there: the command failed, the link did not.
    m_consecutiveTimeouts = heard ? 0 : m_consecutiveTimeouts + 1;
    m_lastTimeoutHeard = heard;
    m_staleExpected = true;
    m_resyncNeeded = true;
    if (m_consecutiveTimeouts >= m_maxConsecutiveTimeouts) {
        m_failure = QStringLiteral("no answer to %1 commands in a row (last %2)")
                        .arg(m_consecutiveTimeouts)
                        .arg(shown(commandLine));
        markLinkLost();
        raise(ErrorCode::ConnectionLost, m_failure);
    }
    raise(ErrorCode::Timeout, what);
}

void AtChannel::abandonPrompt(const QByteArray &commandLine, QByteArrayView line)
{
    // Before its prompt a modem sends nothing longer than a line. One that sends blanks or noise
    // without end instead would hold the command to its deadline (a network one, a minute) for
    // nothing: it ends now, the entry cancelled should the prompt still come (27.005 3.5.1), and
    // whatever else comes is drained by an AT before the next command.
    ++m_stats.cutLines;
    discard(line);
    trace(TraceDirection::Sent, QByteArrayView(&Esc, 1));
    m_transport.write(QByteArray(1, Esc));
    m_staleExpected = true;
    m_resyncNeeded = true;
    raise(ErrorCode::UnexpectedAnswer,
          QStringLiteral("%1: the modem sent more than %2 bytes without a line end instead of the prompt for the "
                         "PDU; nothing was sent")
              .arg(shown(commandLine))
              .arg(m_splitter.maxLineLength()));
}

void AtChannel::reset()
{
    m_splitter.clear();
    m_splitter.setPromptExpected(false);
    m_queue.clear();
    m_pendingUnsolicited.reset();
    m_pendingTimer.stop();
    m_stats = {};
    m_failure.clear();
    m_consecutiveTimeouts = 0;
    m_transportFailed = false;
    m_staleExpected = false;
    m_resyncNeeded = false;
    m_echoOn = false;
    m_queuedSinceNotify = false;
    if (m_linkLost) {
        m_linkLost = false;
        Q_EMIT linkLostChanged(false);
    }
}

QList<Unsolicited> AtChannel::takeUnsolicited()
{
    m_queuedSinceNotify = false;
    return std::exchange(m_queue, {});
}

void AtChannel::setTrace(std::function<void(TraceDirection, const QByteArray &)> trace)
{
    m_trace = std::move(trace);
}

void AtChannel::onBytesArrived()
{
    // During run() the command loop takes the bytes itself.
    if (m_running)
        return;
    pump(nullptr);
    if (m_queuedSinceNotify && !m_queue.isEmpty()) {
        m_queuedSinceNotify = false;
        Q_EMIT unsolicitedArrived();
    }
}

void AtChannel::onTransportFailed(const QString &reason)
{
    m_transportFailed = true;
    m_failure = reason;
    // In a command, run() notices and raises; idle, the owner learns it from the signal.
    if (!m_running)
        markLinkLost();
}

bool AtChannel::pump(Exchange *exchange)
{
    // Bounded, so that a modem that never stops talking cannot keep the caller from its deadline
    // check: each read takes everything that has arrived, and the caller comes back for more.
    for (qsizetype taken = 0; taken < MaxBytesPerPump;) {
        const QByteArray bytes = m_transport.takeAvailable();
        taken += std::max<qsizetype>(bytes.size(), 1);
        if (bytes.isEmpty())
            return false;
        m_splitter.feed(bytes);
        if (processTokens(exchange))
            return true;
    }
    return false;
}

bool AtChannel::processTokens(Exchange *exchange)
{
    for (;;) {
        switch (m_splitter.next()) {
        case AtLineSplitter::Token::None:
            return false;
        case AtLineSplitter::Token::Prompt:
            if (exchange && exchange->awaitingPrompt) {
                trace(TraceDirection::Received, "> ");
                exchange->awaitingPrompt = false;
                m_splitter.setPromptExpected(false);
                writeOrLose(exchange->command.pdu + CtrlZ, exchange->command.pdu);
                exchange->pduSent = true;
            } else {
                discard("> ");
            }
            break;
        case AtLineSplitter::Token::Line:
            // The echo of the command is no sign of life beyond the port (a loop-back echoes).
            if (exchange && m_splitter.line() != QByteArrayView(exchange->command.line))
                exchange->heard = true;
            if (exchange) {
                const qsizetype answered = exchange->response.lines.size() + exchange->response.pdus.size();
                if (handleCommandLine(*exchange, m_splitter.line(), m_splitter.lineWasCut())) {
                    exchange->ended = true;
                    return true;
                }
                // Only the answer's own lines show that the modem is still at it: status lines
                // (^RSSI, +CREG) come whether or not it answers.
                if (exchange->cap && exchange->response.lines.size() + exchange->response.pdus.size() != answered)
                    extendForLine(*exchange);
            } else {
                handleIdleLine(m_splitter.line(), m_splitter.lineWasCut());
            }
            break;
        }
    }
}

bool AtChannel::handleCommandLine(Exchange &exchange, QByteArrayView line, bool cut)
{
    if (exchange.resync)
        return handleResyncLine(exchange, line, cut);
    const AtCommand &command = exchange.command;
    AtResponse &response = exchange.response;
    if (cut && exchange.awaitingPrompt)
        abandonPrompt(exchange.command.line, line);
    if (cut) {
        ++m_stats.cutLines;
        discard(line);
        // Whoever waited for a data line gets an empty one rather than the next header.
        giveUpLatestPdu(&exchange);
        return false;
    }
    if (exchange.firstLineStale) {
        exchange.firstLineStale = false;
        handleIdleLine(line, false);
        // A boot line that had begun before the command was sent: the command went to a modem
        // that was restarting.
        exchange.restarted = m_restartWatch != RestartWatch::Off && !m_restartEvidence.isEmpty();
        return exchange.restarted;
    }

    const AtLineClass cls = AtLineClassifier::classify(line);
    if (takePduLine(&exchange, line))
        return false;
    // The listing went on (or ended) without this entry's PDU. Any other line is noise between
    // the entry and its PDU: it goes where it would go anyway, and the entry keeps waiting.
    if (exchange.responseAwaitsData && (cls.isFinal() || AtLineClassifier::hasPrefix(line, command.prefix))) {
        exchange.responseAwaitsData = false;
        response.pdus.append(QByteArray());
    }
    if (!exchange.echoSeen && response.lines.isEmpty() && line == QByteArrayView(command.line)) {
        exchange.echoSeen = true;
        discard(line);
        exchange.restarted = noticeEcho();
        return exchange.restarted;
    }
    if (exchange.pduSent && !exchange.pduEchoSeen && withoutControlTail(line) == QByteArrayView(command.pdu)) {
        exchange.pduEchoSeen = true;
        discard(line);
        return false;
    }
    if (cls.isFinal()) {
        trace(TraceDirection::Received, line);
        response.final = cls.final;
        response.errorCode = cls.errorCode;
        response.finalLine = line.toByteArray();
        return true;
    }
    if (AtLineClassifier::hasPrefix(line, command.prefix)) {
        trace(TraceDirection::Received, line);
        response.lines.append(line.toByteArray());
        if (command.shape == ResponseShape::PrefixedWithPdu) {
            exchange.responseAwaitsData = true;
            exchange.awaitedLength = pduline::announcedLength(line);
            exchange.awaitedOrder = ++m_headerOrder;
        }
        if (command.finalMayBeMissing && !exchange.quietEnds) {
            exchange.quietEnds = true;
            const QDeadlineTimer quiet(m_staleGraceMs);
            if (quiet < exchange.deadline)
                exchange.deadline = quiet;
        }
        return false;
    }
    if (cls.isUnsolicited()) {
        handleUnsolicited(cls, line);
        return false;
    }
    if (const BootLine boot = noticeBootLine(line); boot != BootLine::None) {
        // Never part of an answer (an identity, a bare listing): the modem's own news.
        trace(TraceDirection::Received, line);
        enqueue(AtLineClassifier::unsolicited(line.toByteArray(), UnsolicitedKind::Unknown));
        exchange.restarted = boot == BootLine::Evidence;
        return exchange.restarted;
    }
    if (command.shape == ResponseShape::Bare && !isForeignCode(line, command.line)) {
        trace(TraceDirection::Received, line);
        response.lines.append(line.toByteArray());
        return false;
    }
    trace(TraceDirection::Received, line);
    enqueue(AtLineClassifier::unsolicited(line.toByteArray(), UnsolicitedKind::Unknown));
    return false;
}

void AtChannel::handleIdleLine(QByteArrayView line, bool cut)
{
    if (cut) {
        ++m_stats.cutLines;
        discard(line);
        flushPendingUnsolicited();
        return;
    }
    expirePendingUnsolicited();
    const AtLineClass cls = AtLineClassifier::classify(line);
    if (takePduLine(nullptr, line))
        return;
    if (cls.isFinal()) {
        // The end of a reply whose command is gone (timed out): nobody may take it.
        discard(line);
        m_staleExpected = false;
        return;
    }
    if (cls.isUnsolicited()) {
        handleUnsolicited(cls, line);
        return;
    }
    noticeBootLine(line);
    if (m_staleExpected) {
        discard(line);
        return;
    }
    trace(TraceDirection::Received, line);
    enqueue(AtLineClassifier::unsolicited(line.toByteArray(), UnsolicitedKind::Unknown));
}

void AtChannel::handleUnsolicited(const AtLineClass &cls, QByteArrayView line)
{
    trace(TraceDirection::Received, line);
    Unsolicited code = AtLineClassifier::unsolicited(line.toByteArray(), cls.unsolicited);
    if (cls.takesDataLine()) {
        // A new header means the previous one's PDU is not coming: a modem sends a code's two
        // lines together, only other tasks' lines fall between them.
        flushPendingUnsolicited();
        m_pendingUnsolicited = PendingCode{std::move(code), pduline::announcedLength(line), ++m_headerOrder,
                                           QDeadlineTimer(m_pduWaitMs)};
        // In a command, its end looks at the header again (the PDU is nearly always there by then).
        if (!m_running)
            armPendingTimer();
    } else {
        enqueue(std::move(code));
    }
}

bool AtChannel::takePduLine(Exchange *exchange, QByteArrayView line)
{
    const bool entryWaits = exchange && exchange->responseAwaitsData;
    const bool codeWaits = m_pendingUnsolicited.has_value();
    if (!entryWaits && !codeWaits)
        return false;
    // The latest header first: what the modem slips between a header and its PDU comes whole,
    // so a PDU belongs to the header it fits that came last.
    const bool entryFirst = entryWaits && (!codeWaits || exchange->awaitedOrder > m_pendingUnsolicited->order);
    for (const bool entry : {entryFirst, !entryFirst}) {
        if (entry && entryWaits && pduline::fits(line, exchange->awaitedLength)) {
            trace(TraceDirection::Received, line);
            exchange->responseAwaitsData = false;
            exchange->response.pdus.append(line.toByteArray());
            return true;
        }
        if (!entry && codeWaits && pduline::fits(line, m_pendingUnsolicited->length)) {
            trace(TraceDirection::Received, line);
            m_pendingUnsolicited->code.pdu = line.toByteArray();
            enqueue(std::move(m_pendingUnsolicited->code));
            m_pendingUnsolicited.reset();
            m_pendingTimer.stop();
            return true;
        }
    }
    return false;
}

void AtChannel::giveUpLatestPdu(Exchange *exchange)
{
    const bool entryWaits = exchange && exchange->responseAwaitsData;
    if (entryWaits && (!m_pendingUnsolicited || exchange->awaitedOrder > m_pendingUnsolicited->order)) {
        exchange->responseAwaitsData = false;
        exchange->response.pdus.append(QByteArray());
    } else {
        flushPendingUnsolicited();
    }
}

void AtChannel::flushPendingUnsolicited()
{
    if (!m_pendingUnsolicited)
        return;
    enqueue(std::move(m_pendingUnsolicited->code));
    m_pendingUnsolicited.reset();
    m_pendingTimer.stop();
}

void AtChannel::expirePendingUnsolicited()
{
    if (m_pendingUnsolicited && m_pendingUnsolicited->giveUp.hasExpired())
        flushPendingUnsolicited();
}

void AtChannel::armPendingTimer()
{
    if (!m_pendingUnsolicited) {
        m_pendingTimer.stop();
        return;
    }
    m_pendingTimer.start(int(std::clamp<qint64>(m_pendingUnsolicited->giveUp.remainingTime(), 0, 1 << 30)));
}

void AtChannel::onPendingTimeout()
{
    // During run() the header is given up on by the next line or when the command ends.
    if (m_running || !m_pendingUnsolicited)
        return;
    if (!m_pendingUnsolicited->giveUp.hasExpired()) {
        armPendingTimer();
        return;
    }
    flushPendingUnsolicited();
    if (m_queuedSinceNotify && !m_queue.isEmpty()) {
        m_queuedSinceNotify = false;
        Q_EMIT unsolicitedArrived();
    }
}

void AtChannel::enqueue(Unsolicited &&code)
{
    // No bound: what the modem says may be a message it will not say again (a +CMT routed
    // without acknowledgement, a +CMTI), and a queue grows only while a command runs, at the
    // line's speed, for at most its deadline.
    m_queue.append(std::move(code));
    m_queuedSinceNotify = true;
}

void AtChannel::drainBeforeCommand(const AtCommand &next)
{
    // Whatever arrived before the command is sent is not its answer.
    pump(nullptr);
    if (m_resyncNeeded)
        resynchronise(next);
}

void AtChannel::writeOrLose(const QByteArray &bytes, const QByteArray &traceText)
{
    trace(TraceDirection::Sent, traceText);
    if (!m_transport.write(bytes)) {
        m_transportFailed = true;
        loseLink(transportFailure(QStringLiteral("writing to the port failed")));
    }
}

bool AtChannel::transportGone() const
{
    return m_transportFailed || !m_transport.isOpen();
}

QString AtChannel::transportFailure(const QString &fallback) const
{
    const QString text = m_transport.errorText();
    if (!text.isEmpty())
        return text;
    return m_failure.isEmpty() ? fallback : m_failure;
}

void AtChannel::loseLink(const QString &reason)
{
    if (!reason.isEmpty())
        m_failure = reason;
    markLinkLost();
    raise(ErrorCode::ConnectionLost, m_failure);
}

void AtChannel::markLinkLost()
{
    if (m_linkLost)
        return;
    m_linkLost = true;
    Q_EMIT linkLostChanged(true);
}

void AtChannel::postNotification()
{
    if (m_notificationPosted || !m_queuedSinceNotify || m_queue.isEmpty())
        return;
    m_notificationPosted = true;
    // Codes found during a command are told after it, from the event loop, never inside run().
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_notificationPosted = false;
            if (m_running || !m_queuedSinceNotify || m_queue.isEmpty())
                return;
            m_queuedSinceNotify = false;
            Q_EMIT unsolicitedArrived();
        },
        Qt::QueuedConnection);
}

void AtChannel::trace(TraceDirection direction, QByteArrayView line)
{
    if (m_trace)
        m_trace(direction, line.toByteArray());
}

void AtChannel::discard(QByteArrayView line)
{
    ++m_stats.discardedLines;
    trace(TraceDirection::Discarded, line);
}

} // namespace pellix
