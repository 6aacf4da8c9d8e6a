// SPDX-License-Identifier: GPL-3.0-or-later
#include "ussdtext.h"

#include "at/atreplies.h"
#include "hexdigits.h"
#include "modem/phonebooktext.h"
#include "pdu/gsmalphabet.h"

#include <algorithm>

namespace pellix::ussd {
namespace {

bool isHex(const QByteArray &str)
{
    return !str.isEmpty() && str.size() % 2 == 0 && allHexDigits(str);
}

std::optional<QString> ucs2(const QByteArray &hex)
{
    return hex.isEmpty() ? std::nullopt : textFromUcs2Hex(hex);
}

bool isCommon(QChar c)
{
    if (c.unicode() < 0x80)
        return (c >= QLatin1Char(' ') && c <= QLatin1Char('~')) || c == QLatin1Char('\r') || c == QLatin1Char('\n');
    // Latin-1 letters, and the accented letters of the GSM table.
    return c.unicode() <= 0x17F && c.isLetter();
}

// How much of a candidate reads as text a network sends: a hex string that is in truth plain
// text decodes, packed, into a scatter of Greek capitals and control codes.
double readability(const QString &text)
{
    if (text.isEmpty())
        return 0;
    const auto common = std::count_if(text.begin(), text.end(), isCommon);
    return double(common) / double(text.size());
}

bool readable(const QString &text)
{
    const bool controls = std::any_of(text.begin(), text.end(), [](QChar c) {
        return (c.unicode() < 0x20 && c != QLatin1Char('\r') && c != QLatin1Char('\n')) || c.isSurrogate()
            || c == QChar::ReplacementCharacter;
    });
    return !text.isEmpty() && !controls;
}

constexpr double ReadableShare = 0.8;

QString inSet(const QByteArray &str, const QByteArray &charset)
{
    if (charset == "GSM")
        return phonebook::decodeText(str, phonebook::Charset::Gsm);
    if (charset == "UCS2")
        return phonebook::decodeText(str, phonebook::Charset::Ucs2);
    return replies::modemText(str);
}

QString gsm7(const QByteArray &str, const QByteArray &charset)
{
    // A modem in UCS2 converts every text to it.
    if (charset == "UCS2") {
        if (const auto text = ucs2(str); text && readable(*text))
            return *text;
    }
    if (isHex(str)) {
        const std::optional<QString> packed = unpackedText(str);
        const double packedShare = packed && readable(*packed) ? readability(*packed) : 0;
        // Some modems ("HEX" on ZTE and others) write each septet as an octet of its own. Packed
        // text of more than a few octets almost always sets a top bit somewhere; septets never do.
        const QByteArray octets = QByteArray::fromHex(str);
        const bool septets = std::all_of(octets.begin(), octets.end(), [](char c) { return (c & 0x80) == 0; });
        const QString unpacked = septets ? pdu::decodeGsm7(octets) : QString();
        const double unpackedShare = septets && readable(unpacked) ? readability(unpacked) : 0;
        const bool preferSeptets = septets && octets.size() >= 3;
        if (unpackedShare >= ReadableShare && (unpackedShare > packedShare || (preferSeptets && unpackedShare == packedShare)))
            return unpacked;
        if (packedShare >= ReadableShare)
            return *packed;
    }
    return inSet(str, charset);
}

} // namespace

Scheme scheme(int dcs)
{
    Scheme s;
    if (dcs < 0 || dcs > 0xFF)
        return s;
    const int group = dcs >> 4;
    if (group == 0x1) {
        // 0001 0000: 7-bit with its language first; 0001 0001: UCS2 with its language first.
        s.languagePrefix = (dcs & 0x0F) <= 1;
        s.coding = (dcs & 0x0F) == 1 ? Coding::Ucs2 : Coding::Gsm7;
        return s;
    }
    const int alphabet = (dcs >> 2) & 0x3;
    if ((group & 0xC) == 0x4 || group == 0x9) {
        // General data coding, and messages with a header: bits 3..2 give the alphabet.
        s.coding = alphabet == 1 ? Coding::EightBit : alphabet == 2 ? Coding::Ucs2 : Coding::Gsm7;
    } else if (group == 0xF) {
        s.coding = (dcs & 0x04) ? Coding::EightBit : Coding::Gsm7;
    }
    return s;
}

std::optional<QString> unpackedText(const QByteArray &hex)
{
    if (!isHex(hex))
        return std::nullopt;
    const QByteArray octets = QByteArray::fromHex(hex);
    const int count = int(octets.size() * 8 / 7);
    QByteArray septets = pdu::unpackSeptets(octets, count);
    // 23.038 6.1.2.3.1: seven spare bits at the end carry a CR (older senders: zeros), which is
    // no character of the text.
    if ((octets.size() * 8) % 7 == 0 && !septets.isEmpty() && (septets.back() == 0x0D || septets.back() == 0x00))
        septets.chop(1);
    return pdu::decodeGsm7(septets);
}

QByteArray packedHex(const QString &text)
{
    QByteArray septets = pdu::encodeGsm7(text);
    if (septets.size() % 8 == 7)
        septets.append(char(0x0D));
    return pdu::packSeptets(septets).toHex().toUpper();
}

QString decode(const QByteArray &str, int dcs, const QByteArray &charsetName)
{
    const QByteArray charset = charsetName.toUpper();
    if (dcs < 0) {
        if (charset == "UCS2") {
            if (const auto text = ucs2(str); text && readable(*text))
                return *text;
        }
        return inSet(str, charset);
    }
    const Scheme s = scheme(dcs);
    switch (s.coding) {
    case Coding::Ucs2: {
        // The language comes first as two septets packed into two octets.
        const QByteArray units = s.languagePrefix && str.size() > 4 && isHex(str) ? str.mid(4) : str;
        if (const auto text = ucs2(units); text && readable(*text))
            return *text;
        // A modem that converted the text to its own set.
        return inSet(str, charset);
    }
    case Coding::EightBit:
        return isHex(str) ? replies::modemText(QByteArray::fromHex(str)) : replies::modemText(str);
    case Coding::Gsm7:
        break;
    }
    QString text = gsm7(str, charset);
    // "en\r": the language, then the text (the CR a line break on the way, when sent plain).
    if (s.languagePrefix && text.size() >= 3 && (text.at(2) == QLatin1Char('\r') || text.at(2) == QLatin1Char('\n')))
        text.remove(0, 3);
    return text;
}

} // namespace pellix::ussd
