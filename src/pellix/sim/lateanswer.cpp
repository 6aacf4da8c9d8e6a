// SPDX-License-Identifier: GPL-3.0-or-later
#include "lateanswer.h"

#include "atcommandline.h"
#include "fieldbehaviour.h"

namespace pellix::sim {

namespace {

// Input that arrives while an answer is held back waits in the modem's buffer; a client that
// keeps writing overflows it, as a real one's does.
constexpr qsizetype MaxLateInput = 4096;

} // namespace

LateAnswer::LateAnswer(const FieldBehaviour &field, Links links)
    : m_field(field)
    , m_links(std::move(links))
{
}

bool LateAnswer::due(const QList<AtCommand> &commands) const
{
    if (m_field.lateReplyMs <= 0 || (m_field.lateReplyCount > 0 && m_count >= m_field.lateReplyCount))
        return false;
    for (const AtCommand &command : commands) {
        for (const QByteArray &name : m_field.lateCommands) {
            if (name.toUpper() == command.name || '+' + name.toUpper() == command.name)
                return true;
        }
    }
    return false;
}

void LateAnswer::hold(const QByteArray &answer)
{
    m_answer = answer;
    ++m_count;
    m_links.note(QStringLiteral("answer held back %1 ms").arg(m_field.lateReplyMs));
    const quint64 generation = ++m_generation;
    m_links.schedule(m_field.lateReplyMs, [this, generation] { release(generation); });
}

void LateAnswer::release(quint64 generation)
{
    if (generation != m_generation || !m_answer)
        return;
    m_links.note(QStringLiteral("late answer sent"));
    const QByteArray answer = *std::exchange(m_answer, std::nullopt);
    // Then the command lines that came meanwhile, in order, as a modem reads its input buffer.
    m_links.release(answer, std::exchange(m_input, {}));
}

void LateAnswer::buffer(const QByteArray &bytes)
{
    m_input += bytes;
    if (m_input.size() > MaxLateInput)
        m_input.remove(0, m_input.size() - MaxLateInput);
}

void LateAnswer::drop()
{
    if (m_answer)
        m_links.note(QStringLiteral("late answer dropped: a new client opened the line"));
    m_answer.reset();
    m_input.clear();
    ++m_generation;
}

} // namespace pellix::sim
