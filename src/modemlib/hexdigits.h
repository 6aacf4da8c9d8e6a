// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QChar>

#include <array>

// Hex digits as both sides of the contract read them: PDUs on the AT line, the trace's byte
// escapes, the console's hex text boxes and its &H numbers. A table, because a listing holds
// hundreds of PDU lines of up to 376 characters and each character is tested.
inline constexpr std::array<signed char, 256> HexDigitValues = [] {
    std::array<signed char, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 10; ++i)
        values['0' + i] = static_cast<signed char>(i);
    for (int i = 0; i < 6; ++i)
        values['A' + i] = values['a' + i] = static_cast<signed char>(10 + i);
    return values;
}();

// The value of a hex digit in either case, -1 for any other character.
constexpr int hexDigitValue(char c)
{
    return HexDigitValues[static_cast<unsigned char>(c)];
}

constexpr int hexDigitValue(QChar c)
{
    return c.unicode() < 0x80 ? HexDigitValues[c.unicode()] : -1;
}
