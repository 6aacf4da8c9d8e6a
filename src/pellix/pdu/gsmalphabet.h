// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// GSM 7-bit default alphabet and its extension table (TS 23.038 6.2.1), and septet packing.
namespace pellix::pdu {

// Septet codes (one per byte, 0..127), extension characters as the pair 0x1B, code. A character
// neither table holds raises TextNotRepresentable naming the character and its position (from 1).
QByteArray encodeGsm7(const QString &text);
// Septet codes (top bit ignored) back to text; an escape followed by a code the extension table
// does not hold gives the base-table character (TS 23.038 6.2.1.1), a trailing lone escape and
// an escape to a further table a space.
QString decodeGsm7(const QByteArray &septets);
// Septets the text takes, extension characters counted twice; -1 when it is not representable.
int gsm7Length(const QString &text);

// Septets packed LSB first behind fillBits zero bits (TS 23.040 9.2.3.24 fill after a header);
// fillBits outside 0..7 raise InvalidArgument.
QByteArray packSeptets(const QByteArray &septets, int fillBits = 0);
// count septets from packed octets, skipping fillBits; stops at the end of the input.
QByteArray unpackSeptets(const QByteArray &octets, int count, int fillBits = 0);

} // namespace pellix::pdu
