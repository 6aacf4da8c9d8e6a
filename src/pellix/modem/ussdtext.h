// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The <str> of +CUSD (27.007 7.15) both ways. The standard says <str> is in the coding of <dcs>
// (23.038 5, the cell broadcast data coding scheme), written in the +CSCS set; modems do as they
// please: GSM 7-bit packed and written as hex (Qualcomm, Huawei, under "GSM", "IRA" and "HEX"
// alike), the septets unpacked as hex, UCS2 as hex, or the text converted to the +CSCS set.
// The decoder therefore goes by what the string is, with <dcs> and the set as hints.
namespace pellix::ussd {

enum class Coding { Gsm7, EightBit, Ucs2 };

struct Scheme
{
    Coding coding = Coding::Gsm7;
    // 23.038 5, group 0001: the text starts with its language ("en\r" in 7-bit; two packed
    // septets filling two octets before UCS2).
    bool languagePrefix = false;
};

// The alphabet of a cell broadcast data coding scheme; reserved values read as GSM 7-bit, as
// 23.038 5 asks of a receiver.
Scheme scheme(int dcs);

// dcs -1: the modem gave none. charset: the modem's +CSCS ("GSM", "IRA", "UCS2", "HEX", others
// as plain text); empty when not known.
QString decode(const QByteArray &str, int dcs, const QByteArray &charset);

// GSM 7-bit septets packed into octets, written as hex: the form of a request that modems which
// want it coded take, and that the network answers in. Raises TextNotRepresentable.
QByteArray packedHex(const QString &text);
// Septets packed into the given hex, the 23.038 6.1.2.3.1 padding (a CR, or a zero septet, in
// the last seven spare bits) dropped; nullopt when the hex is not whole octets.
std::optional<QString> unpackedText(const QByteArray &hex);

} // namespace pellix::ussd
