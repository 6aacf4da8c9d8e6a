// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace pellix::sim {

struct AtCommand;
struct FieldBehaviour;

// FieldBehaviour::lateReplyMs: a modem busy with the network answers some commands after the
// client's deadline and stays usable. The answer waits on the clock; what the client sends
// meanwhile waits in the modem's input buffer and is read once the answer has gone out.
class LateAnswer
{
public:
    struct Links
    {
        std::function<void(const QString &)> note;
        std::function<void(qint64 delayMs, std::function<void()>)> schedule;
        // The held answer is due, followed by the input that waited behind it.
        std::function<void(const QByteArray &answer, const QByteArray &input)> release;
    };

    LateAnswer(const FieldBehaviour &field, Links links);

    // Whether the answer to this command line comes late.
    bool due(const QList<AtCommand> &commands) const;
    bool holding() const { return m_answer.has_value(); }
    void hold(const QByteArray &answer);
    // Input that arrives while an answer is held.
    void buffer(const QByteArray &bytes);
    // A new client opened the line: the held answer and its input are gone.
    void drop();

private:
    void release(quint64 generation);

    const FieldBehaviour &m_field;
    Links m_links;
    std::optional<QByteArray> m_answer;
    QByteArray m_input;
    int m_count = 0;
    quint64 m_generation = 0;
};

} // namespace pellix::sim
