// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <optional>

// How many messages a text takes: the one rule behind the console's length caption and the
// choice of the console and the command line to send a text as a long message.
struct MessageSize
{
    // Characters; for the 8-bit alphabet octets, the text being hex digits.
    qint64 length = 0;
    // Characters one message holds: the whole of it alone, 8 less in parts (the concatenation header).
    qint64 room = 0;
    qint64 messages = 1;

    // Counted in 64 bits: a paste of any size is measured as it is, without overflowing.
    static std::optional<MessageSize> of(qint32 alphabet, qsizetype characters);

    // A text of the GSM alphabet over one message's 160 characters is sent as a long message, in
    // parts; the library sends no long message in the other alphabets.
    static bool goesInParts(qint32 alphabet, qsizetype characters);

    // What one message of the GSM alphabet holds: 160 septets (TS 23.038).
    static constexpr qint64 Gsm7Characters = 160;
};
