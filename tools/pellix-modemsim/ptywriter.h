// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSocketNotifier>

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

// Writes what the modem said to the master side, keeping what the terminal cannot take yet.
class PtyWriter
{
public:
    explicit PtyWriter(int fd) : m_fd(fd), m_notifier(fd, QSocketNotifier::Write)
    {
        m_notifier.setEnabled(false);
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] { flush(); });
    }

    void send(const QByteArray &bytes)
    {
        // A client that never reads must not make the tool grow without bound.
        if (m_pending.size() + bytes.size() > 1 << 20)
            m_pending.clear();
        m_pending += bytes;
        flush();
    }

private:
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
    QSocketNotifier m_notifier;
    QByteArray m_pending;
};
