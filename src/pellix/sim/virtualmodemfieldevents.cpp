// SPDX-License-Identifier: GPL-3.0-or-later
// Field behaviours of the network and the firmware: a burst of messages after coverage returns,
// pushed faster than any acknowledgement, and a modem that hangs with its port still open.
#include "virtualmodem.h"
#include "virtualmodem_p.h"

#include "pdu/smspdu.h"

namespace pellix::sim {

void VirtualModem::flood()
{
    const int count = m_options.field.floodMessages;
    note(QStringLiteral("flood: %1 messages arrive at once").arg(count));
    if (MessageStore *store = m_sim.store(m_settings.mem3))
        store->grow(store->used() + count);
    m_flooding = true;
    for (int i = 1; i <= count; ++i) {
        pdu::DeliverPdu deliver;
        deliver.smsc = {QLatin1String(VirtualNetwork::ServiceCentre), 0x91};
        deliver.originator = {QStringLiteral("+15550001"), 0x91};
        deliver.timestamp = m_clock->wallTime(nowMs());
        deliver.text = QStringLiteral("flood %1").arg(i);
        incomingMessage(pdu::encodeDeliver(deliver));
    }
    m_flooding = false;
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
