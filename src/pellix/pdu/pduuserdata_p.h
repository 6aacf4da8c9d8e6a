// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdubytes_p.h"
#include "smspdu.h"

#include <QByteArray>
#include <QString>

// TP-UDL and TP-UD: the user data header, 7-bit packing behind it, 8-bit and UCS-2 text.
namespace pellix::pdu::detail {

constexpr int MaxUserDataOctets = 140;  // TS 23.040 9.2.3.24
constexpr int MaxSeptets = 160;

// The structural fault of a header (its length octet included), or an empty text.
QString headerFault(const quint8 *h, qsizetype size);

struct UserDataIn
{
    QByteArray udh;
    QByteArray userData;
    QString text;
};

// TP-UDL and TP-UD (TS 23.040 9.2.3.16, 9.2.3.24): the length counts septets for uncompressed
// 7-bit text, octets otherwise, header and fill bits included.
UserDataIn readUserData(PduReader &r, const DataCoding &dcs, bool udhi);

struct UserDataOut
{
    quint8 udl = 0;
    int size = 0;
    quint8 octets[MaxUserDataOctets];
};

// Header, fill bits up to the next septet boundary (TS 23.040 9.2.3.24), packed septets.
void packGsm7(UserDataOut &ud, const QByteArray &udh, const quint8 *septets, qsizetype count);

void buildUserData(UserDataOut &ud, int alphabet, const QString &text, const QByteArray &udh);

} // namespace pellix::pdu::detail
