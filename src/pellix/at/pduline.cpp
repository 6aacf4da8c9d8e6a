// SPDX-License-Identifier: GPL-3.0-or-later
#include "pduline.h"

#include "hexdigits.h"

#include <cstring>

namespace pellix::pduline {
namespace {

// Eight characters at a time: a listing is mostly PDU text, and testing it must not cost more
// than cutting it into lines. Per byte, with no carry between bytes (all values stay below
// 0x100): b + (0x80 - lo) has its top bit set when b >= lo, b + (0x7F - hi) when b > hi.
bool allHex(QByteArrayView text)
{
    constexpr quint64 Ones = 0x0101010101010101ull;
    constexpr quint64 Top = 0x80 * Ones;
    const auto inRange = [](quint64 bytes, quint64 lo, quint64 hi) {
        return (bytes + (0x80 - lo) * Ones) & ~(bytes + (0x7F - hi) * Ones) & Top;
    };
    qsizetype i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        quint64 word;
        std::memcpy(&word, text.data() + i, sizeof word);
        if (word & Top)
            return false;
        // Digits as they are; letters folded to lower case ('A' | 0x20 == 'a').
        const quint64 digits = inRange(word, '0', '9');
        const quint64 letters = inRange(word | (0x20 * Ones), 'a', 'f');
        if ((digits | letters) != Top)
            return false;
    }
    for (; i < text.size(); ++i) {
        if (hexDigitValue(text.at(i)) < 0)
            return false;
    }
    return true;
}

} // namespace

std::optional<int> announcedLength(QByteArrayView header)
{
    const qsizetype colon = header.indexOf(':');
    if (colon < 0)
        return std::nullopt;
    // <alpha> comes before <length> and may hold commas, the length never does.
    QByteArrayView field = header.sliced(colon + 1);
    const qsizetype comma = field.lastIndexOf(',');
    if (comma >= 0)
        field = field.sliced(comma + 1);
    field = field.trimmed();
    if (field.isEmpty() || field.size() > 4)
        return std::nullopt;
    int value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool fits(QByteArrayView line, std::optional<int> tpduLength)
{
    if (line.size() < 2 || line.size() % 2 != 0)
        return false;
    const int high = hexDigitValue(line.at(0));
    const int low = hexDigitValue(line.at(1));
    if (high < 0 || low < 0)
        return false;
    // The length first: it costs nothing and settles nearly every line that is not the PDU.
    const qsizetype octets = line.size() / 2;
    const int smsc = high * 16 + low;
    if (tpduLength ? octets != 1 + smsc + *tpduLength : octets <= 1 + smsc)
        return false;
    return allHex(line.sliced(2));
}

} // namespace pellix::pduline
