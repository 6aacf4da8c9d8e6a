// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace pellix {

// Cuts modem output into lines and the "> " prompt. Any CR or LF ends a line and empty lines are
// skipped, so CR LF, lone LF, lone CR and CR CR LF (Huawei "&C\r\r\n") all give the same lines;
// leading and trailing blanks are removed (Wavecom " WAVECOM MODEM"). The prompt is the one
// thing a modem sends without a line end (TS 27.005 3.5.1: CR LF '>' ' '), so it is recognised
// only while one is expected, and a '>' alone at the start of a line is taken for it too.
//
// Use: feed() what arrived, then call next() until it returns None. Lines are views into the
// splitter's buffer, valid until the next feed() or clear(). The buffer keeps at most the
// unfinished line, and a line longer than maxLineLength is cut there (the rest up to its line
// end is dropped) and reported with lineWasCut(). While a prompt is expected, blanks are taken as
// they come, and a run of them longer than maxLineLength is a cut line as well.
class AtLineSplitter
{
public:
    enum class Token { None, Line, Prompt };

    static constexpr qsizetype DefaultMaxLineLength = 4096;

    explicit AtLineSplitter(qsizetype maxLineLength = DefaultMaxLineLength);

    void feed(QByteArrayView bytes);
    Token next();

    // The line of the last Line token.
    QByteArrayView line() const { return m_line; }
    bool lineWasCut() const { return m_lineCut; }

    void setPromptExpected(bool expected) { m_promptExpected = expected; }
    bool promptExpected() const { return m_promptExpected; }

    // Something other than blanks has arrived of a line not yet ended.
    bool hasPartialLine() const;
    // Forgets everything buffered (a new connection).
    void clear();

    qsizetype maxLineLength() const { return m_maxLineLength; }
    // Bytes held and not yet handed out.
    qsizetype buffered() const { return m_buffer.size() - m_pos; }
    qint64 cutLines() const { return m_cutLines; }

private:
    QByteArray m_buffer;
    qsizetype m_pos = 0;      // start of the bytes not yet consumed
    qsizetype m_scanFrom = 0; // where the search for the line end resumes
    QByteArrayView m_line;
    qsizetype m_maxLineLength;
    qsizetype m_blankRun = 0;        // blanks taken while a prompt is expected, since the last other byte
    qint64 m_cutLines = 0;
    bool m_lineCut = false;
    bool m_discarding = false;       // dropping the rest of a cut line
    bool m_skipSpaceAfterPrompt = false;
    bool m_promptExpected = false;
};

} // namespace pellix
