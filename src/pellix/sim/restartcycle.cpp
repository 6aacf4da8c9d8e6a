// SPDX-License-Identifier: GPL-3.0-or-later
#include "restartcycle.h"

#include "atcommandline.h"
#include "fieldbehaviour.h"

namespace pellix::sim {

RestartCycle::RestartCycle(const FieldBehaviour &field, Links links)
    : m_field(field)
    , m_links(std::move(links))
{
}

bool RestartCycle::triggeredBy(const QList<AtCommand> &commands)
{
    if (m_field.restartOn.isEmpty() || (m_field.restartCount > 0 && m_byCommand >= m_field.restartCount))
        return false;
    for (const AtCommand &command : commands) {
        for (const QByteArray &name : m_field.restartOn) {
            if (name.toUpper() == command.name || '+' + name.toUpper() == command.name) {
                ++m_byCommand;
                return true;
            }
        }
    }
    return false;
}

void RestartCycle::begin()
{
    if (m_restarting)
        return;
    m_links.note(QStringLiteral("restart: deaf and mute for %1 ms").arg(m_field.restartSilenceMs));
    m_restarting = true;
    m_bootNoise.clear();
    const quint64 generation = ++m_generation;
    m_links.lose();
    m_links.schedule(m_field.restartSilenceMs, [this, generation] { finish(generation); });
}

void RestartCycle::powerUp(bool simReady)
{
    if (m_field.bootNoise)
        m_bootNoise = {"RDY", "+CFUN: 1", simReady ? QByteArray("+CPIN: READY") : QByteArray("+CPIN: SIM PIN"),
                       "Call Ready", "SMS Ready"};
}

void RestartCycle::sayPendingBootLine()
{
    if (!m_bootNoise.isEmpty())
        m_links.bootLine(m_bootNoise.takeFirst());
}

void RestartCycle::finish(quint64 generation)
{
    if (generation != m_generation || !m_restarting)
        return;
    m_restarting = false;
    m_links.wake();
    const QList<QByteArray> &lines = m_field.restartLines;
    const int spread = m_field.restartSpreadMs;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i == 0 || spread <= 0) {
            m_links.bootLine(lines.at(i));
            continue;
        }
        m_links.schedule(i * spread, [this, generation, line = lines.at(i)] {
            if (generation == m_generation && !m_restarting)
                m_links.bootLine(line);
        });
    }
    m_links.settle();
}

} // namespace pellix::sim
