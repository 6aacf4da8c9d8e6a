// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdubytes_p.h"
#include "smspdu.h"

#include <QDateTime>
#include <QString>

// Time stamps (TS 23.040 9.2.3.11) and validity periods (TS 23.040 9.2.3.12) in their octets.
namespace pellix::pdu::detail {

QDateTime readTimestamp(PduReader &r, const char *field, const QString &name);

void writeTimestamp(PduWriter &w, const QDateTime &t, const char *what);

void readValidity(PduReader &r, int format, SubmitPdu &pdu);

} // namespace pellix::pdu::detail
