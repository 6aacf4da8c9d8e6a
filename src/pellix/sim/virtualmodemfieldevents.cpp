// SPDX-License-Identifier: GPL-3.0-or-later
// Field behaviours of the network and the firmware: a burst of messages after coverage returns,
// pushed faster than any acknowledgement, and a modem that hangs with its port still open.
#include "virtualmodem.h"
#include "virtualmodem_p.h"

namespace pellix::sim {

void VirtualModem::flood()
{
    m_centre.flood(m_options.field.floodMessages);
}

bool VirtualModem::frozen()
{
    const int after = m_options.field.freezeAfterSeconds;
    if (m_frozen || after <= 0 || m_clock->elapsedMs() < qint64(after) * 1000)
        return m_frozen;
    m_frozen = true;
    note(QStringLiteral("frozen: no more answers, the port stays open"));
    return true;
}

} // namespace pellix::sim
