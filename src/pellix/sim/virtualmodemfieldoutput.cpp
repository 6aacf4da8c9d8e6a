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
    return m_vendorNoise.lines(percent, m_out.eol());
}

void VirtualModem::holdLateAnswer(qsizetype answerStart)
{
    // What the line's commands answered, information lines and final code, waits on the clock
    // (a modem busy with the network); the echo had gone out as the line was typed.
    m_lateAnswer.hold(m_out.cut(answerStart));
}

void VirtualModem::takeInput(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (m_lateAnswer.holding()) {
            m_lateAnswer.buffer(bytes.mid(i));
            return;
        }
        m_reader.take(bytes.at(i));
    }
}

} // namespace pellix::sim
