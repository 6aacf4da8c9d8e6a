// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptedtransport.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

ScriptedTransport::ScriptedTransport(QObject *parent)
    : ByteTransport(parent)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ScriptedTransport::onTimer);
}

void ScriptedTransport::script(const QByteArray &written, const QList<Reply> &replies)
{
    m_steps.append(Step{written, replies});
}

void ScriptedTransport::inject(const QByteArray &bytes, int atMs)
{
    schedule(Chunk{m_clock.elapsed() + atMs, bytes, false, {}});
}

void ScriptedTransport::injectEvery(const QByteArray &bytes, int periodMs, int count)
{
    const qint64 now = m_clock.elapsed();
    for (int i = 1; i <= count; ++i)
        schedule(Chunk{now + qint64(i) * periodMs, bytes, false, {}});
}

void ScriptedTransport::failAt(int atMs, const QString &reason)
{
    schedule(Chunk{m_clock.elapsed() + atMs, {}, true, reason});
}

bool ScriptedTransport::write(const QByteArray &bytes)
{
    if (!m_open || m_writeFails) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("write failed");
        return false;
    }
    m_writes.append(bytes);
    if (!m_steps.isEmpty() && m_steps.first().written == bytes) {
        const Step step = m_steps.takeFirst();
        const qint64 now = m_clock.elapsed();
        for (const Reply &reply : step.replies)
            scheduleReply(reply, now);
    } else {
        m_unmatched.append(bytes);
    }
    return true;
}

QByteArray ScriptedTransport::takeAvailable()
{
    if (!m_open || !firstDue())
        return {};
    Chunk chunk = m_chunks.takeFirst();
    if (chunk.fail) {
        fail(chunk.reason);
        return {};
    }
    return chunk.bytes;
}

bool ScriptedTransport::waitForBytes(QDeadlineTimer deadline)
{
    for (;;) {
        if (!m_open)
            return false;
        if (firstDue()) {
            if (!m_chunks.first().fail)
                return true;
            fail(m_chunks.takeFirst().reason);
            return false;
        }
        if (deadline.hasExpired() || (m_chunks.isEmpty() && deadline.isForever()))
            return false;
        qint64 wait = deadline.isForever() ? std::numeric_limits<qint64>::max() : deadline.remainingTime();
        if (!m_chunks.isEmpty())
            wait = std::min(wait, m_chunks.first().dueMs - m_clock.elapsed());
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max<qint64>(wait, 1)));
    }
}

void ScriptedTransport::close()
{
    m_open = false;
    m_timer.stop();
}

void ScriptedTransport::schedule(Chunk chunk)
{
    if (chunk.bytes.isEmpty() && !chunk.fail)
        return;
    // Stable: chunks due at the same time keep the order they were scheduled in.
    const auto at = std::upper_bound(m_chunks.begin(), m_chunks.end(), chunk.dueMs,
                                     [](qint64 due, const Chunk &c) { return due < c.dueMs; });
    m_chunks.insert(at, std::move(chunk));
    armTimer();
}

void ScriptedTransport::scheduleReply(const Reply &reply, qint64 base)
{
    const qint64 due = base + reply.delayMs;
    qint64 last = due;
    switch (reply.delivery) {
    case Delivery::Whole:
        schedule(Chunk{due, reply.bytes, false, {}});
        break;
    case Delivery::ByteByByte:
        for (char c : reply.bytes)
            schedule(Chunk{due, QByteArray(1, c), false, {}});
        break;
    case Delivery::SplitAt: {
        const qsizetype at = std::clamp<qsizetype>(reply.splitAt, 0, reply.bytes.size());
        if (at > 0)
            schedule(Chunk{due, reply.bytes.left(at), false, {}});
        last = due + reply.restDelayMs;
        if (at < reply.bytes.size())
            schedule(Chunk{last, reply.bytes.mid(at), false, {}});
        break;
    }
    case Delivery::Chunked: {
        const qsizetype size = std::max(1, reply.splitAt);
        for (qsizetype i = 0; i < reply.bytes.size(); i += size)
            schedule(Chunk{due, reply.bytes.mid(i, size), false, {}});
        break;
    }
    }
    if (reply.failAfter)
        schedule(Chunk{last, {}, true, QStringLiteral("device unplugged")});
}

void ScriptedTransport::fail(const QString &reason)
{
    if (!m_open)
        return;
    m_open = false;
    m_error = reason;
    m_timer.stop();
    Q_EMIT failed(reason);
}

void ScriptedTransport::armTimer()
{
    if (!m_open || m_chunks.isEmpty())
        return;
    const qint64 interval = std::max<qint64>(0, m_chunks.first().dueMs - m_clock.elapsed());
    if (!m_timer.isActive() || m_timer.remainingTime() > interval)
        m_timer.start(int(std::min<qint64>(interval, 1 << 30)));
}

void ScriptedTransport::onTimer()
{
    if (!m_open)
        return;
    if (firstDue()) {
        if (m_chunks.first().fail) {
            fail(m_chunks.takeFirst().reason);
            return;
        }
        Q_EMIT bytesArrived();
    }
    // Arm for the next chunk that is still to come.
    const qint64 now = m_clock.elapsed();
    for (const Chunk &chunk : std::as_const(m_chunks)) {
        if (chunk.dueMs > now) {
            m_timer.start(int(chunk.dueMs - now));
            return;
        }
    }
}
