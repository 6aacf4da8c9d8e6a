// SPDX-License-Identifier: GPL-3.0-or-later
#include "messagesize.h"

#include "smsobjects.h"

namespace {

// One message holds 140 octets or 70 UCS-2 characters besides the 160 septets (TS 23.038).
constexpr qint64 BinaryRoom = 140;
constexpr qint64 Ucs2Room = 70;
// A part of a long message gives up this many characters to the concatenation header.
constexpr qint64 PartHeaderCost = 8;

} // namespace

std::optional<MessageSize> MessageSize::of(qint32 alphabet, qsizetype characters)
{
    MessageSize size;
    size.length = characters;
    qint64 limit = 0;
    switch (alphabet) {
    case AlphabetGsm7:
        limit = Gsm7Characters;
        break;
    case AlphabetBinary: {
        // Two hex digits a byte; an odd digit counts as half a byte, rounded half to even.
        limit = BinaryRoom;
        const qint64 whole = characters / 2;
        size.length = (characters % 2 != 0 && whole % 2 != 0) ? whole + 1 : whole;
        break;
    }
    case AlphabetUcs2:
        limit = Ucs2Room;
        break;
    default:
        return std::nullopt;
    }
    size.room = size.length > limit ? limit - PartHeaderCost : limit;
    size.messages = size.length / size.room + (size.length % size.room != 0 ? 1 : 0);
    if (size.messages == 0)
        size.messages = 1;
    return size;
}

bool MessageSize::goesInParts(qint32 alphabet, qsizetype characters)
{
    return alphabet == AlphabetGsm7 && of(alphabet, characters)->messages > 1;
}
