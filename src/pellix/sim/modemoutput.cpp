// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemoutput.h"

#include "pellixerror.h"

namespace pellix::sim {

namespace {

// Bounds for codes waiting on a client that never finishes its line or never leaves +CNMI mode
// 0; beyond them the oldest go, as from a modem's full buffer.
constexpr qsizetype MaxHeldCodes = 1000;
constexpr qsizetype MaxBufferedIndications = 100;

QByteArray num(qint64 value)
{
    return QByteArray::number(value);
}

} // namespace

ModemOutput::ModemOutput(Links links)
    : m_links(std::move(links))
{
}

void ModemOutput::write(const QByteArray &bytes)
{
    m_bytes += bytes;
    if (!m_links.tracing())
        return;
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.isEmpty())
            m_links.trace(text);
    }
}

QByteArray ModemOutput::take()
{
    QByteArray out;
    out.swap(m_bytes);
    return out;
}

QByteArray ModemOutput::cut(qsizetype position)
{
    const QByteArray tail = m_bytes.mid(position);
    m_bytes.truncate(position);
    return tail;
}

void ModemOutput::clear()
{
    m_bytes.clear();
    m_held.clear();
    m_buffered.clear();
}

QByteArray ModemOutput::eol() const
{
    // V.250 6.2.1/6.2.2: S3 ends a line, S4 follows it.
    const Framing framing = m_links.framing();
    return QByteArray(1, framing.s3) + framing.s4;
}

void ModemOutput::info(const QList<QByteArray> &lines)
{
    if (lines.isEmpty())
        return;
    const QByteArray eol = this->eol();
    // V.250 5.7.1: <CR><LF> text <CR><LF> with V1; without the leading pair with V0.
    write((m_links.framing().verbose ? eol : QByteArray()) + infoWithVendorLines(lines, eol));
}

QByteArray ModemOutput::infoWithVendorLines(const QList<QByteArray> &info, const QByteArray &eol)
{
    QByteArray text;
    for (qsizetype i = 0; i < info.size(); ++i) {
        text += info.at(i) + eol;
        // A listing entry's header and its PDU line are two lines that other tasks' output can
        // fall between (27.005 3.4.2, 3.4.3).
        const bool header = info.at(i).startsWith("+CMGL:") || info.at(i).startsWith("+CMGR:");
        if (header && i + 1 < info.size())
            text += m_links.vendorLines(100);
    }
    return text;
}

void ModemOutput::final(const AtOutcome &outcome)
{
    const Framing framing = m_links.framing();
    if (framing.quiet)
        return;
    const QByteArray eol = this->eol();
    AtOutcome shown = outcome;
    // +CMEE=0: every +CME/+CMS error is a plain ERROR (27.007 9.1).
    if ((shown.kind == AtOutcome::Cme || shown.kind == AtOutcome::Cms) && framing.cmee == 0)
        shown = AtOutcome{AtOutcome::Error};
    QByteArray text;
    int numeric = 0;
    switch (shown.kind) {
    case AtOutcome::Ok:
        text = "OK";
        numeric = 0;
        break;
    case AtOutcome::Error:
        text = "ERROR";
        numeric = 4;
        break;
    case AtOutcome::NoCarrier:
        text = "NO CARRIER";
        numeric = 3;
        break;
    case AtOutcome::Busy:
        text = "BUSY";
        numeric = 7;
        break;
    case AtOutcome::Cme:
        text = "+CME ERROR: " + (framing.cmee == 2 ? cmeErrorText(shown.code).toLatin1() : num(shown.code));
        numeric = -1;
        break;
    case AtOutcome::Cms:
        text = "+CMS ERROR: " + (framing.cmee == 2 ? cmsErrorText(shown.code).toLatin1() : num(shown.code));
        numeric = -1;
        break;
    case AtOutcome::Prompt:
        return;
    }
    if (framing.verbose)
        write(m_links.vendorLines(33) + eol + text + eol);
    else if (numeric >= 0)
        write(num(numeric) + framing.s3);
    else
        write(text + eol);
}

void ModemOutput::unsolicited(const QByteArray &line, const QByteArray &pduLine)
{
    if (m_links.muted())
        return;
    const QByteArray eol = this->eol();
    QByteArray text = (m_links.framing().verbose ? eol : QByteArray()) + line + eol;
    if (!pduLine.isEmpty())
        text += m_links.vendorLines(100) + pduLine + eol;
    // Codes wait while the client is typing a line or a PDU, so that they never split its echo
    // (27.005 3.4.1 <mode> 2: buffered while the link is reserved, flushed afterwards).
    if (!m_links.linkBusy()) {
        write(text);
        return;
    }
    if (m_held.size() >= MaxHeldCodes)
        m_held.removeFirst();
    m_held << text;
}

void ModemOutput::indication(const QByteArray &line)
{
    if (m_links.framing().cnmiMode == 0) {
        const QByteArray eol = this->eol();
        if (m_buffered.size() >= MaxBufferedIndications)
            m_buffered.removeFirst();
        m_buffered << eol + line + eol;
        return;
    }
    unsolicited(line);
}

void ModemOutput::leaveBuffering(bool flush)
{
    const QList<QByteArray> buffered = std::exchange(m_buffered, {});
    if (flush)
        for (const QByteArray &text : buffered)
            m_held << text;
}

void ModemOutput::flushHeld()
{
    if (m_held.isEmpty() || m_links.linkBusy())
        return;
    const QList<QByteArray> held = std::exchange(m_held, {});
    for (const QByteArray &text : held)
        write(text);
}

} // namespace pellix::sim
