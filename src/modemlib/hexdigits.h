// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QChar>
#include <QString>

#include <algorithm>
#include <array>
#include <optional>

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

// Whether every character is a hex digit; an empty text is: a caller that needs digits says so.
inline bool allHexDigits(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return hexDigitValue(c) >= 0; });
}

// The text of UCS2 hex, four digits a UTF-16 unit, as a modem in +CSCS "UCS2" writes names,
// numbers and USSD answers (27.007 5.5); nullopt when it is not whole units of hex.
inline std::optional<QString> textFromUcs2Hex(QByteArrayView hex)
{
    if (hex.size() % 4 != 0 || !allHexDigits(hex))
        return std::nullopt;
    QString text;
    text.reserve(hex.size() / 4);
    for (qsizetype i = 0; i < hex.size(); i += 4) {
        char16_t unit = 0;
        for (qsizetype j = i; j < i + 4; ++j)
            unit = char16_t(unit << 4 | hexDigitValue(hex[j]));
        text += QChar(unit);
    }
    return text;
}
