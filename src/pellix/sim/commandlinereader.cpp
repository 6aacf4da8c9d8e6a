// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandlinereader.h"

namespace pellix::sim {

namespace {

constexpr char CtrlZ = 0x1A;
constexpr char Esc = 0x1B;
// Longest command line kept; real modems take a few hundred characters.
constexpr qsizetype MaxLineLength = 1024;
// A TPDU has at most 164 octets and the SMSC field 12: anything longer is not a PDU.
constexpr qsizetype MaxPduHexLength = 2 * (176 + 12);

} // namespace

CommandLineReader::CommandLineReader(Links links)
    : m_links(std::move(links))
{
}

void CommandLineReader::enterPrompt(bool textMode)
{
    m_state = State::Prompt;
    m_textMode = textMode;
    m_typed.clear();
    m_typedTooLong = false;
}

bool CommandLineReader::typing(qint64 pauseMs) const
{
    return m_state != State::Idle && m_links.elapsedMs() - m_lastInputMs < pauseMs;
}

void CommandLineReader::abandon()
{
    m_state = State::Idle;
    m_line.clear();
    m_typed.clear();
    m_typedTooLong = false;
}

void CommandLineReader::keep(QByteArray &buffer, bool &tooLong, char c, qsizetype limit)
{
    if (buffer.size() < limit)
        buffer += c;
    else
        tooLong = true;
}

void CommandLineReader::take(char c)
{
    m_lastInputMs = m_links.elapsedMs();
    if (m_state == State::Prompt) {
        takePromptByte(c);
        return;
    }
    // V.250 5.2.1 (ATE1): every character of command state is echoed as it arrives.
    if (m_links.echo())
        m_links.echoByte(c);
    switch (m_state) {
    case State::Idle:
        if (c == 'A' || c == 'a')
            m_state = State::AfterA;
        break;
    case State::AfterA:
        if (c == 'T' || c == 't') {
            m_state = State::Line;
            m_line.clear();
            m_lineTooLong = false;
        } else if (c == '/') {
            // V.250 5.2.4: "A/" repeats the previous command line at once.
            m_state = State::Idle;
            m_links.execute(m_lastLine);
        } else if (c != 'A' && c != 'a') {
            m_state = State::Idle;
        }
        break;
    case State::Line:
        takeLineByte(c);
        break;
    case State::Prompt:
        break;
    }
}

void CommandLineReader::takeLineByte(char c)
{
    if (c == char(m_links.reg(3))) {
        m_state = State::Idle;
        if (m_lineTooLong) {
            m_links.refuseTooLong(m_line.left(40));
        } else {
            m_lastLine = m_line;
            m_links.execute(m_line);
        }
    } else if (c == char(m_links.reg(5))) {
        if (!m_line.isEmpty())
            m_line.chop(1);
    } else if (m_line.count('"') % 2 == 1) {
        // Inside a string every byte is text: names in the GSM set (27.007 5.5) are septet
        // values, 0x00..0x1F among them and ESC before an extension character.
        keep(m_line, m_lineTooLong, c, MaxLineLength);
    } else if (c == Esc) {
        m_state = State::Idle;  // an escape abandons the line (gammu sends ESC before it starts)
    } else if (quint8(c) >= 0x20) {
        keep(m_line, m_lineTooLong, c, MaxLineLength);
    }
}

void CommandLineReader::takePromptByte(char c)
{
    if (c == CtrlZ) {
        m_state = State::Idle;
        const bool tooLong = std::exchange(m_typedTooLong, false);
        m_links.promptSent(std::exchange(m_typed, {}), tooLong);
        return;
    }
    if (c == Esc) {
        // 27.005 3.5.1: <ESC> quits without sending; the command still ends with OK.
        m_state = State::Idle;
        m_links.promptCancelled();
        return;
    }
    if (m_links.echo())
        m_links.echoByte(c);
    if (m_textMode) {
        // Text mode: every character is the message's, line breaks included.
        keep(m_typed, m_typedTooLong, c, MaxPduHexLength);
        return;
    }
    if (c == '\r' || c == '\n' || c == ' ')
        return;
    if (c == char(m_links.reg(5))) {
        if (!m_typed.isEmpty())
            m_typed.chop(1);
        return;
    }
    keep(m_typed, m_typedTooLong, c, MaxPduHexLength);
}

} // namespace pellix::sim
