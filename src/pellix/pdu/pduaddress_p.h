// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdubytes_p.h"
#include "smspdu.h"

#include <QString>

// Address fields (TS 23.040 9.1.2.5) and the SMSC field (TS 24.011 8.2.5.1) both ways.
namespace pellix::pdu::detail {

Address readSmsc(PduReader &r);

Address readAddress(PduReader &r, const char *field, const char *name);

void writeSubmitSmsc(PduWriter &w, const QString &smsc);

void writeDestination(PduWriter &w, const QString &number);

// Originator, recipient or SMSC of a PDU the virtual modem fabricates: numeric with the TOA
// following the '+', or alphanumeric when the TOA says so.
void writeAddress(PduWriter &w, const Address &a, bool smscField, const char *role);

} // namespace pellix::pdu::detail
