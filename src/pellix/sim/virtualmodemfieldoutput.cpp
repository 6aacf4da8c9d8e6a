// SPDX-License-Identifier: GPL-3.0-or-later
// What field modems do to their output that the standard does not promise: vendor lines at any
// moment (also between a header and its PDU line), and answers that come after the client's
// deadline while the modem stays usable (protocol notes 7).
#include "virtualmodem.h"
#include "virtualmodem_p.h"

namespace pellix::sim {

QByteArray VirtualModem::vendorLines(int percent)
{
    // Only with V1: a vendor's own codes are verbose lines, and with V0 a client would read
    // them as digits of a numeric result.
    if (!m_options.field.vendorNoise || !m_settings.verbose)
        return {};
    return m_vendorNoise.lines(percent, eol());
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

void VirtualModem::holdLateAnswer(qsizetype answerStart)
{
    // What the line's commands answered, information lines and final code, waits on the clock
    // (a modem busy with the network); the echo had gone out as the line was typed.
    m_lateAnswer.hold(m_output.mid(answerStart));
    m_output.truncate(answerStart);
}

void VirtualModem::takeInput(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (m_lateAnswer.holding()) {
            m_lateAnswer.buffer(bytes.mid(i));
            return;
        }
        takeByte(bytes.at(i));
    }
}

} // namespace pellix::sim
