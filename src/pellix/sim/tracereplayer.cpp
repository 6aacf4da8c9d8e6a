// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracereplayer.h"

#include "transport/tracelog.h"

#include <cmath>

namespace pellix::sim {
namespace {

constexpr char CtrlZ = 0x1A;
constexpr char Esc = 0x1B;
// A client that never ends its line cannot make the replayer grow.
constexpr qsizetype MaxInput = 4096;

QString shown(const QByteArray &bytes)
{
    return QString::fromLatin1(TraceLog::printable(bytes));
}

} // namespace

QString ReplayMismatch::text() const
{
    if (pastEnd)
        return QStringLiteral("%1: past the end of the recording (its last command is at line %2): received \"%3\"")
            .arg(file).arg(traceLine).arg(shown(received));
    return QStringLiteral("%1 line %2: recorded \"%3\", received \"%4\"")
        .arg(file).arg(traceLine).arg(shown(recorded), shown(received));
}

TraceReplayer::TraceReplayer(RecordedSession session, double speed)
    : m_session(std::move(session))
    , m_scale(speed > 0 ? 1.0 / speed : 0.0)
{
}

void TraceReplayer::start(qint64 nowMs)
{
    for (const RecordedLine &line : m_session.preamble)
        schedule(line, nowMs, std::nullopt, QByteArray());
}

QByteArray TraceReplayer::normalised(const QByteArray &command)
{
    QByteArray out;
    bool quoted = false;
    for (const char c : command) {
        if (c == '"')
            quoted = !quoted;
        if (!quoted && (c == ' ' || c == '\t'))
            continue;
        out += quoted ? c : char(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

void TraceReplayer::feed(const QByteArray &bytes, qint64 nowMs)
{
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            // CR ends a command line (V.250 5.2.1); the LF some clients add is nothing.
            if (!m_input.isEmpty())
                command(RecordedExchange::End::Cr, std::exchange(m_input, {}), nowMs);
        } else if (c == CtrlZ) {
            command(RecordedExchange::End::CtrlZ, std::exchange(m_input, {}), nowMs);
        } else if (c == Esc) {
            command(RecordedExchange::End::Esc, std::exchange(m_input, {}), nowMs);
        } else if (m_input.size() < MaxInput) {
            m_input += c;
        }
    }
}

bool TraceReplayer::matches(const RecordedExchange &recorded, RecordedExchange::End end, const QByteArray &text) const
{
    if (recorded.end != end)
        return false;
    if (recorded.command == text)
        return true;
    // The trace shows the PIN as ****: any PIN was the one the recorded session gave.
    const QByteArray masked = TraceLog::masked(text);
    return normalised(recorded.command) == normalised(text) || normalised(recorded.command) == normalised(masked);
}

void TraceReplayer::command(RecordedExchange::End end, const QByteArray &text, qint64 nowMs)
{
    if (atEnd()) {
        ReplayMismatch m;
        m.pastEnd = true;
        m.received = text;
        m.traceLine = m_session.exchanges.isEmpty() ? m_session.traceLine : m_session.exchanges.last().traceLine;
        mismatch(m, nowMs);
        return;
    }
    const RecordedExchange &recorded = m_session.exchanges.at(m_next);
    if (!matches(recorded, end, text)) {
        ReplayMismatch m;
        m.traceLine = recorded.traceLine;
        m.recorded = recorded.command;
        m.received = text;
        mismatch(m, nowMs);
        return;
    }
    ++m_next;
    // What the modem said before this command in the recording goes out before its answer.
    releaseAll(nowMs);
    for (const RecordedLine &line : recorded.replies)
        schedule(line, nowMs, recorded.gaveUpMs, recorded.command != text ? text : QByteArray());
}

void TraceReplayer::schedule(const RecordedLine &line, qint64 baseMs, std::optional<qint64> gaveUpMs,
                             const QByteArray &echo)
{
    qint64 at = baseMs + qint64(std::llround(double(line.delayMs) * m_scale));
    // A late answer must come after the driver's deadline, not at it: the trace's times are whole
    // milliseconds, each cut down, so the recorded gap can be a millisecond short of the real one.
    if (line.late && gaveUpMs)
        at = std::max(at, baseMs + *gaveUpMs + 2);
    if (!m_queue.isEmpty())
        at = std::max(at, m_queue.last().atMs);
    QByteArray bytes = line.bytes;
    // The echo of a command whose secret the trace masks is the command as it came.
    if (!echo.isEmpty() && line.discarded && (bytes == TraceLog::masked(echo) || normalised(bytes) == normalised(TraceLog::masked(echo))))
        bytes = echo;
    m_queue.append(Due{line.prompt ? QByteArray("> ") : bytes + "\r\n", at});
}

void TraceReplayer::releaseAll(qint64 nowMs)
{
    for (Due &due : m_queue)
        due.atMs = std::min(due.atMs, nowMs);
}

void TraceReplayer::mismatch(ReplayMismatch m, qint64 nowMs)
{
    m.file = m_session.file;
    releaseAll(nowMs);
    m_queue.append(Due{"\r\nERROR\r\n", nowMs});
    m_mismatches.append(m);
    if (m_onMismatch)
        m_onMismatch(m);
}

QByteArray TraceReplayer::takeDue(qint64 nowMs)
{
    QByteArray out;
    qsizetype n = 0;
    while (n < m_queue.size() && m_queue.at(n).atMs <= nowMs)
        out += m_queue.at(n++).bytes;
    m_queue.remove(0, n);
    return out;
}

std::optional<qint64> TraceReplayer::nextDueMs() const
{
    if (m_queue.isEmpty())
        return std::nullopt;
    return m_queue.first().atMs;
}

} // namespace pellix::sim
