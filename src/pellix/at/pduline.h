// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>

#include <optional>

namespace pellix {

// The data line that follows a +CMT/+CDS/+CMGL/+CMGR header in PDU mode (TS 27.005 3.4.1,
// 3.4.2, 3.4.3): the SMSC field and the TPDU in hex. Field modems put vendor lines (^RSSI:,
// ^MODE:, +QIND:, SMS Ready) between a header and its PDU, so a line is taken for the PDU only
// when it has that shape and the length the header announced.
namespace pduline {

// <length> of the header: the TPDU octets, the last field in every PDU-mode form ("+CMT: ,23",
// "+CDS:25", "+CMGL: 1,0,,23", "+CMGR: 0,23"); nullopt when the header holds no number there.
std::optional<int> announcedLength(QByteArrayView header);

// Whether line is whole octets in hex whose count is 1 + <SMSC length octet> + tpduLength.
// Without an announced length, any hex line whose SMSC field fits inside it.
bool fits(QByteArrayView line, std::optional<int> tpduLength);

} // namespace pduline
} // namespace pellix
