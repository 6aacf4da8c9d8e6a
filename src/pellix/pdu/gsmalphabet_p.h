// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVarLengthArray>

// The codec's own septet routines over raw buffers, so that the PDU coder packs and unpacks
// without a QByteArray per step.
namespace pellix::pdu::detail {

// One message of septets (160, or 2 x 160 while escape pairs are sized) stays on the stack.
using SeptetBuffer = QVarLengthArray<quint8, 336>;

// Appends the septet codes of text; raises TextNotRepresentable naming the first character that
// neither table holds. Returns the septets appended.
qsizetype encodeGsm7Into(const QString &text, SeptetBuffer &out);
void decodeGsm7Into(const quint8 *septets, qsizetype count, QString &out);

// Packs count septets behind fillBits zero bits; out needs (fillBits + 7 * count + 7) / 8 octets.
int packInto(const quint8 *septets, qsizetype count, int fillBits, quint8 *out);
// Unpacks up to count septets (fewer when the octets end first); out needs count octets.
qsizetype unpackInto(const quint8 *octets, qsizetype size, qsizetype count, int fillBits, quint8 *out);

// "'ж' (U+0436) at position 3": the character at index (a surrogate pair as one), 1-based.
QString describeCharacter(const QString &text, qsizetype index);

} // namespace pellix::pdu::detail
