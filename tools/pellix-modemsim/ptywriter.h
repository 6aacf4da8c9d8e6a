// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

// Hands everything the client has written so far to take, in the pieces read(2) gives (the
// master is non-blocking).
template <typename Take>
void readClient(int master, Take take)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            take(QByteArray(buffer, n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
}

// Writes what the modem said to the master side, keeping what the terminal cannot take yet. With
// a line speed, no faster than that many bytes per second, as a serial line carries them.
class PtyWriter
{
public:
    explicit PtyWriter(int fd, int bytesPerSecond = 0)
        : m_fd(fd)
        , m_bytesPerSecond(bytesPerSecond)
        , m_notifier(fd, QSocketNotifier::Write)
    {
        m_notifier.setEnabled(false);
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { flush(); });
        m_lineTimer.setInterval(5);
        QObject::connect(&m_lineTimer, &QTimer::timeout, [this] { carry(); });
    }

    void send(const QByteArray &bytes)
    {
        // A client that never reads must not make the tool grow without bound.
        if (m_pending.size() + m_onLine.size() + bytes.size() > 1 << 20) {
            m_pending.clear();
            m_onLine.clear();
        }
        if (m_bytesPerSecond <= 0) {
            m_pending += bytes;
            flush();
            return;
        }
        if (m_onLine.isEmpty()) {
            m_lineBusy.start();
            m_carried = 0;
            m_lineTimer.start();
        }
        m_onLine += bytes;
        carry();
    }

private:
    void carry()
    {
        const qint64 due = m_lineBusy.elapsed() * m_bytesPerSecond / 1000 - m_carried;
        const qsizetype n = qsizetype(qBound<qint64>(0, due, m_onLine.size()));
        m_pending += m_onLine.left(n);
        m_onLine.remove(0, n);
        m_carried += n;
        if (m_onLine.isEmpty())
            m_lineTimer.stop();
        flush();
    }

    void flush()
    {
        while (!m_pending.isEmpty()) {
            const ssize_t n = ::write(m_fd, m_pending.constData(), size_t(m_pending.size()));
            if (n > 0) {
                m_pending.remove(0, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            break;  // EAGAIN (buffer full) or no reader: try again when writable
        }
        m_notifier.setEnabled(!m_pending.isEmpty());
    }

    int m_fd;
    int m_bytesPerSecond;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
    QByteArray m_onLine;      // said, still travelling at the line's speed
    QElapsedTimer m_lineBusy;
    qint64 m_carried = 0;
    QTimer m_lineTimer;
};
