// SPDX-License-Identifier: GPL-3.0-or-later
// What field modems do to their output that the standard does not promise: vendor lines at any
// moment (also between a header and its PDU line), and answers that come after the client's
// deadline while the modem stays usable (protocol notes 7).
#include "virtualmodem.h"
#include "virtualmodem_p.h"

namespace pellix::sim {

using detail::num;

namespace {

// Input that arrives while an answer is held back waits in the modem's buffer; a client that
// keeps writing overflows it, as a real one's does.
constexpr qsizetype MaxLateInput = 4096;

} // namespace

QByteArray VirtualModem::vendorLines(int percent)
{
    // Only with V1: a vendor's own codes are verbose lines, and with V0 a client would read
    // them as digits of a numeric result.
    if (!m_options.field.vendorNoise || !m_settings.verbose || !m_vendorRandom.chance(percent))
        return {};
    const QByteArray eol = this->eol();
    QByteArray lines;
    for (int i = m_vendorRandom.between(1, 2); i > 0; --i) {
        // Huawei (^RSSI, ^MODE, ^BOOT) and Quectel (+QIND) status lines, as such modules send them.
        QByteArray line;
        switch (m_vendorRandom.between(0, 3)) {
        case 0: line = "^RSSI:" + num(m_vendorRandom.between(0, 31)); break;
        case 1: line = "^MODE:5," + num(m_vendorRandom.between(4, 8)); break;
        case 2: line = "+QIND: \"csq\"," + num(m_vendorRandom.between(0, 31)) + ",99"; break;
        default: line = "^BOOT:" + num(m_vendorRandom.between(10000000, 99999999)) + ",0,0,0,6"; break;
        }
        lines += eol + line + eol;
    }
    return lines;
}

QByteArray VirtualModem::infoWithVendorLines(const QList<QByteArray> &info, const QByteArray &eol)
{
    QByteArray text;
    for (qsizetype i = 0; i < info.size(); ++i) {
        text += info.at(i) + eol;
        // A listing entry's header and its PDU line are two lines that other tasks' output can
        // fall between (27.005 3.4.2, 3.4.3).
        const bool header = info.at(i).startsWith("+CMGL:") || info.at(i).startsWith("+CMGR:");
        if (header && i + 1 < info.size())
            text += vendorLines(100);
    }
    return text;
}

bool VirtualModem::answersLate(const QList<AtCommand> &commands) const
{
    const FieldBehaviour &field = m_options.field;
    if (field.lateReplyMs <= 0 || (field.lateReplyCount > 0 && m_lateAnswers >= field.lateReplyCount))
        return false;
    for (const AtCommand &command : commands) {
        for (const QByteArray &name : field.lateCommands) {
            if (name.toUpper() == command.name || '+' + name.toUpper() == command.name)
                return true;
        }
    }
    return false;
}

void VirtualModem::holdLateAnswer(qsizetype answerStart)
{
    // What the line's commands answered, information lines and final code, waits on the clock
    // (a modem busy with the network); the echo had gone out as the line was typed.
    m_lateAnswer = m_output.mid(answerStart);
    m_output.truncate(answerStart);
    ++m_lateAnswers;
    note(QStringLiteral("answer held back %1 ms").arg(m_options.field.lateReplyMs));
    const quint64 generation = ++m_lateGeneration;
    schedule(m_options.field.lateReplyMs, [this, generation] { releaseLateAnswer(generation); });
}

void VirtualModem::releaseLateAnswer(quint64 generation)
{
    if (generation != m_lateGeneration || !m_lateAnswer)
        return;
    note(QStringLiteral("late answer sent"));
    m_output += *std::exchange(m_lateAnswer, std::nullopt);
    flushHeld();
    // Then the command lines that came meanwhile, in order, as a modem reads its input buffer.
    takeInput(std::exchange(m_lateInput, {}));
}

void VirtualModem::takeInput(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (m_lateAnswer) {
            m_lateInput += bytes.mid(i);
            if (m_lateInput.size() > MaxLateInput)
                m_lateInput.remove(0, m_lateInput.size() - MaxLateInput);
            return;
        }
        takeByte(bytes.at(i));
    }
}

void VirtualModem::dropLateAnswer()
{
    if (m_lateAnswer)
        note(QStringLiteral("late answer dropped: a new client opened the line"));
    m_lateAnswer.reset();
    m_lateInput.clear();
    ++m_lateGeneration;
}

} // namespace pellix::sim
