// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

namespace pellix {

enum class UnsolicitedKind {
    Ring,    // RING, +CRING: <type> (V.250 6.3.4, TS 27.007 6.11)
    Clip,    // +CLIP: <number>,<type>,... (TS 27.007 7.6)
    Cmti,    // +CMTI: <mem>,<index> (TS 27.005 3.4.1)
    Cdsi,    // +CDSI: <mem>,<index>
    Cmt,     // +CMT: [<alpha>],<length> then the PDU line
    Cds,     // +CDS: <length> then the PDU line
    Creg,    // +CREG: <stat>[,<lac>,<ci>] (TS 27.007 7.2)
    Cusd,    // +CUSD: <m>[,<str>,<dcs>] (TS 27.007 7.15)
    Unknown, // vendor codes and noise: logged and ignored by the owner
};

// An unsolicited result code as the modem sent it, with the fields the owner acts on.
struct Unsolicited
{
    UnsolicitedKind kind = UnsolicitedKind::Unknown;
    QByteArray line;    // the whole line (trimmed)
    QByteArray pdu;     // the second line of +CMT / +CDS (empty when none followed)
    QByteArray number;  // +CLIP
    QByteArray storage; // +CMTI / +CDSI
    int index = -1;     // +CMTI / +CDSI

    friend bool operator==(const Unsolicited &, const Unsolicited &) = default;
};

} // namespace pellix
