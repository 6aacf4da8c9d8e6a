// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdubytes_p.h"
#include "smspdu.h"

// TP-DCS (TS 23.038 4) and TP-PID (TS 23.040 9.2.3.9) in PDUs.
namespace pellix::pdu::detail {

// Raises InvalidAlphabet unless alphabet is 7, 8 or 16.
void checkAlphabet(int alphabet);

quint8 readPid(PduReader &r);

DataCoding readDcs(PduReader &r);

// The raw TP-DCS is kept when it agrees with the alphabet and class asked for (so that a
// message-waiting or automatic-deletion coding survives), else built from them.
quint8 writtenDataCoding(const DataCoding &dcs);

} // namespace pellix::pdu::detail
