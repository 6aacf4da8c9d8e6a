// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <functional>

namespace pellix::sim {

// The modem's input, byte by byte (V.250 5.2): "AT" and a command line up to S3, with S5 as
// backspace, "A/" to repeat the last line, and after a "> " prompt the text of a message up to
// Ctrl-Z (27.005 3.5.1).
class CommandLineReader
{
public:
    struct Links
    {
        std::function<bool()> echo;                      // ATE1
        std::function<int(int number)> reg;              // S-registers
        std::function<qint64()> elapsedMs;
        std::function<void(char)> echoByte;
        std::function<void(const QByteArray &body)> execute;
        std::function<void(const QByteArray &start)> refuseTooLong;
        // Ctrl-Z after a prompt: the text typed, and whether some of it was cut.
        std::function<void(const QByteArray &typed, bool tooLong)> promptSent;
        // ESC after a prompt.
        std::function<void()> promptCancelled;
    };

    explicit CommandLineReader(Links links);

    void take(char c);
    // Text after "> ": a PDU in hex (spaces and line breaks skipped) or, in text mode, the
    // message itself.
    void enterPrompt(bool textMode);
    bool inPrompt() const { return m_state == State::Prompt; }
    // Something half-typed whose bytes keep coming.
    bool typing(qint64 pauseMs) const;
    // A half-typed line or prompt text is dropped.
    void abandon();

private:
    enum class State { Idle, AfterA, Line, Prompt };

    void takeLineByte(char c);
    void takePromptByte(char c);
    void keep(QByteArray &buffer, bool &tooLong, char c, qsizetype limit);

    Links m_links;
    State m_state = State::Idle;
    QByteArray m_line;
    bool m_lineTooLong = false;
    QByteArray m_lastLine;
    qint64 m_lastInputMs = 0;
    QByteArray m_typed;
    bool m_typedTooLong = false;
    bool m_textMode = false;
};

} // namespace pellix::sim
