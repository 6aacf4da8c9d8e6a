// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "transport/bytetransport.h"

#include <QElapsedTimer>
#include <QList>
#include <QTimer>

// A ByteTransport that answers written commands from a script, in real time. Replies arrive
// whole, byte by byte, split at a given position or in chunks, optionally after a delay; bytes
// can also be injected at given times (unsolicited codes) and the device can be made to fail.
// takeAvailable() hands out one arrived chunk per call, so that a reply delivered byte by byte
// reaches the parser byte by byte. While nobody waits (no command running), a timer on the event
// loop emits bytesArrived when scheduled bytes come due.
class ScriptedTransport : public pellix::ByteTransport
{
    Q_OBJECT

public:
    enum class Delivery { Whole, ByteByByte, SplitAt, Chunked };

    struct Reply
    {
        QByteArray bytes;
        int delayMs = 0;                      // after the write that triggers it
        Delivery delivery = Delivery::Whole;
        int splitAt = 0;                      // SplitAt: size of the first part; Chunked: chunk size
        int restDelayMs = 0;                  // SplitAt: the second part comes this much later
        bool failAfter = false;               // the device goes away after the last byte
    };

    explicit ScriptedTransport(QObject *parent = nullptr);

    // The next write equal to `written` (script steps are matched in order) schedules the replies.
    void script(const QByteArray &written, const QList<Reply> &replies);
    void script(const QByteArray &written, const Reply &reply) { script(written, QList<Reply>{reply}); }
    void script(const QByteArray &written, const QByteArray &reply) { script(written, Reply{reply}); }

    // Bytes from the modem at atMs from now, unrelated to any command.
    void inject(const QByteArray &bytes, int atMs = 0);
    void injectEvery(const QByteArray &bytes, int periodMs, int count);
    // The device fails (unplugged) atMs from now, after the bytes scheduled before then.
    void failAt(int atMs, const QString &reason = QStringLiteral("device unplugged"));
    // write() returns false from now on, as on a port whose device is gone.
    void setWriteFails(bool fails) { m_writeFails = fails; }

    QList<QByteArray> writes() const { return m_writes; }
    QList<QByteArray> unmatchedWrites() const { return m_unmatched; }
    qsizetype pendingSteps() const { return m_steps.size(); }
    qsizetype pendingChunks() const { return m_chunks.size(); }

    bool isOpen() const override { return m_open; }
    bool write(const QByteArray &bytes) override;
    QByteArray takeAvailable() override;
    bool waitForBytes(QDeadlineTimer deadline) override;
    void close() override;
    QString errorText() const override { return m_error; }

private:
    struct Chunk
    {
        qint64 dueMs = 0;
        QByteArray bytes;
        bool fail = false;
        QString reason;
    };
    struct Step
    {
        QByteArray written;
        QList<Reply> replies;
    };

    void schedule(Chunk chunk);
    void scheduleReply(const Reply &reply, qint64 base);
    void fail(const QString &reason);
    void armTimer();
    void onTimer();
    bool firstDue() const { return !m_chunks.isEmpty() && m_chunks.first().dueMs <= m_clock.elapsed(); }

    QElapsedTimer m_clock;
    QTimer m_timer;
    QList<Step> m_steps;
    QList<Chunk> m_chunks; // in order of arrival
    QList<QByteArray> m_writes;
    QList<QByteArray> m_unmatched;
    QString m_error;
    bool m_open = true;
    bool m_writeFails = false;
};
