// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdubytes_p.h"
#include "smspdu.h"

#include <QDateTime>
#include <QString>

// The words for each field of a PDU, for describePdu() and the decoders' traces.
namespace pellix::pdu::detail {

QString toaMeaning(quint8 toa);

QString timestampMeaning(const QDateTime &t);

QString dcsMeaning(const DataCoding &c);

QString pidMeaning(quint8 pid);

const char *ieName(quint8 iei);

const char *mtiName(int mti);

QString firstOctetMeaning(quint8 fo);

// The header at `start` of the reader's octets, element by element, and its fault if any.
void traceHeader(PduReader &r, qsizetype start, qsizetype size);

} // namespace pellix::pdu::detail
