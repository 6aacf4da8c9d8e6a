// SPDX-License-Identifier: GPL-3.0-or-later
#include "atlinesplitter.h"

#include <algorithm>

namespace pellix {
namespace {

inline bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// First CR or LF in [from, end), or end. One pass: a memchr per terminator would rescan the
// whole input for a CR that never comes when a modem ends its lines with LF alone.
const char *findLineEnd(const char *from, const char *end)
{
    while (from < end && !isLineEnd(*from))
        ++from;
    return from;
}

QByteArrayView trimmed(const char *begin, const char *end)
{
    while (begin < end && isBlank(*begin))
        ++begin;
    while (end > begin && isBlank(end[-1]))
        --end;
    return QByteArrayView(begin, end - begin);
}

} // namespace

AtLineSplitter::AtLineSplitter(qsizetype maxLineLength)
    : m_maxLineLength(std::max<qsizetype>(maxLineLength, 16))
{
    m_buffer.reserve(m_maxLineLength + 1024);
}

void AtLineSplitter::feed(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    m_line = {};
    if (m_pos > 0) {
        // Only the unfinished line stays behind (next() ran to None), so this moves little.
        m_buffer.remove(0, m_pos);
        m_scanFrom -= m_pos;
        m_pos = 0;
    }
    m_buffer.append(bytes.data(), bytes.size());
}

AtLineSplitter::Token AtLineSplitter::next()
{
    m_line = {};
    m_lineCut = false;
    const char *const data = m_buffer.constData();
    const qsizetype size = m_buffer.size();
    for (;;) {
        if (m_pos >= size)
            return Token::None;
        if (m_skipSpaceAfterPrompt) {
            m_skipSpaceAfterPrompt = false;
            if (data[m_pos] == ' ')
                ++m_pos;
            m_scanFrom = m_pos;
            continue;
        }
        if (m_discarding) {
            const char *end = findLineEnd(data + m_pos, data + size);
            m_pos = end - data;
            m_scanFrom = m_pos;
            if (m_pos < size)
                m_discarding = false;
            continue;
        }
        if (isLineEnd(data[m_pos])) {
            ++m_pos;
            m_scanFrom = m_pos;
            m_blankRun = 0;
            continue;
        }
        if (m_promptExpected) {
            // Blanks before the prompt carry nothing (a line's own are trimmed anyway): taken as
            // they come, so that a modem sending nothing else keeps neither the buffer growing
            // nor each read scanning it again from the start.
            const qsizetype runStart = m_pos;
            qsizetype i = m_pos;
            while (i < size && isBlank(data[i]))
                ++i;
            m_blankRun += i - runStart;
            m_pos = i;
            m_scanFrom = std::max(m_scanFrom, i);
            if (m_blankRun > m_maxLineLength) {
                // No prompt but a run of blanks longer than any line: handed out as a cut line.
                m_line = QByteArrayView(data + runStart, i - runStart);
                m_lineCut = true;
                ++m_cutLines;
                m_blankRun = 0;
                return Token::Line;
            }
            if (i == size)
                return Token::None;
            m_blankRun = 0;
            if (data[i] == '>') {
                m_pos = i + 1;
                m_scanFrom = m_pos;
                m_skipSpaceAfterPrompt = true;
                return Token::Prompt;
            }
        }
        const char *end = findLineEnd(data + std::max(m_pos, m_scanFrom), data + size);
        const qsizetype length = (end - data) - m_pos;
        if (end == data + size) {
            if (length <= m_maxLineLength) {
                m_scanFrom = size;
                return Token::None;
            }
            // No line end within the bound: hand out the bound and drop the rest of the line.
            m_line = trimmed(data + m_pos, data + m_pos + m_maxLineLength);
            m_lineCut = true;
            ++m_cutLines;
            m_discarding = true;
            m_pos = size;
            m_scanFrom = size;
            return Token::Line;
        }
        const char *begin = data + m_pos;
        m_pos = (end - data) + 1;
        m_scanFrom = m_pos;
        if (length > m_maxLineLength) {
            m_line = trimmed(begin, begin + m_maxLineLength);
            m_lineCut = true;
            ++m_cutLines;
            return Token::Line;
        }
        m_line = trimmed(begin, end);
        if (!m_line.isEmpty())
            return Token::Line;
    }
}

bool AtLineSplitter::hasPartialLine() const
{
    if (m_discarding)
        return true;
    for (qsizetype i = m_pos; i < m_buffer.size(); ++i) {
        const char c = m_buffer.at(i);
        if (!isBlank(c) && !isLineEnd(c))
            return true;
    }
    return false;
}

void AtLineSplitter::clear()
{
    m_buffer.resize(0);
    m_pos = 0;
    m_scanFrom = 0;
    m_line = {};
    m_lineCut = false;
    m_discarding = false;
    m_skipSpaceAfterPrompt = false;
    m_blankRun = 0;
}

} // namespace pellix
