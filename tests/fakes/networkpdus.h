// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdu/smspdu.h"
#include "sim/virtualnetwork.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// An SMS-DELIVER from the network as the modem would store or route it.
inline QByteArray deliverPdu(const QString &text)
{
    pellix::pdu::DeliverPdu deliver;
    deliver.smsc = pellix::pdu::Address{QString::fromLatin1(pellix::sim::VirtualNetwork::ServiceCentre), 0x91};
    deliver.originator = pellix::pdu::Address{QStringLiteral("+3955512345"), 0x91};
    deliver.timestamp = QDateTime(QDate(2024, 5, 2), QTime(10, 0), Qt::OffsetFromUTC, 7200);
    deliver.text = text;
    return pellix::pdu::encodeDeliver(deliver);
}
