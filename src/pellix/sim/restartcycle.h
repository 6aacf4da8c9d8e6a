// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace pellix::sim {

struct AtCommand;
struct FieldBehaviour;

// A modem that restarts under the client's feet (brown-out, watchdog, a USB hub cycling its
// power): deaf and mute for FieldBehaviour::restartSilenceMs, then its boot lines, spread over
// time as some modules say them, and the profile stored with AT&W.
class RestartCycle
{
public:
    struct Links
    {
        std::function<void(const QString &)> note;
        std::function<void(qint64 delayMs, std::function<void()>)> schedule;
        // Everything of the old boot is gone; restarting() is already true.
        std::function<void()> lose;
        // Up again with the stored profile, before the first boot line.
        std::function<void()> wake;
        std::function<void(const QByteArray &)> bootLine;
        // After the first boot line: what the new boot starts (SIM, registration).
        std::function<void()> settle;
    };

    RestartCycle(const FieldBehaviour &field, Links links);

    // Whether this command line brings a restart about (FieldBehaviour::restartOn).
    bool triggeredBy(const QList<AtCommand> &commands);
    void begin();
    bool restarting() const { return m_restarting; }
    // FieldBehaviour::bootNoise: the lines a module says once it is up, spread one before each of
    // the first answers, as a client that starts talking at once sees them.
    void powerUp(bool simReady);
    // Before a command line's answer: the next boot line still to come, if any.
    void sayPendingBootLine();

private:
    void finish(quint64 generation);

    const FieldBehaviour &m_field;
    Links m_links;
    bool m_restarting = false;
    quint64 m_generation = 0;
    int m_byCommand = 0;
    QList<QByteArray> m_bootNoise;   // still to come, one before each answer
};

} // namespace pellix::sim
