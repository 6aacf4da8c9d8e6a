// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdudatacoding_p.h"

#include "pdudescription_p.h"
#include "pellixerror.h"

namespace pellix::pdu {

using namespace detail;

namespace detail {

void checkAlphabet(int alphabet)
{
    if (alphabet != Gsm7 && alphabet != Bit8 && alphabet != Ucs2)
        raise(ErrorCode::InvalidAlphabet, QStringLiteral("alphabet %1; the codes are 7, 8 and 16").arg(alphabet));
}

quint8 readPid(PduReader &r)
{
    const qsizetype start = r.pos();
    const quint8 pid = r.octet("TP-PID");
    if (r.tracing())
        r.note(start, QStringLiteral("TP-PID"), pidMeaning(pid));
    return pid;
}

DataCoding readDcs(PduReader &r)
{
    const qsizetype start = r.pos();
    const DataCoding c = decodeDataCoding(r.octet("TP-DCS"));
    if (r.tracing())
        r.note(start, QStringLiteral("TP-DCS"), dcsMeaning(c));
    return c;
}

// The raw TP-DCS is kept when it agrees with the alphabet and class asked for (so that a
// message-waiting or automatic-deletion coding survives), else built from them.
quint8 writtenDataCoding(const DataCoding &dcs)
{
    checkAlphabet(dcs.alphabet);
    const DataCoding asRaw = decodeDataCoding(dcs.raw);
    return (asRaw.alphabet == dcs.alphabet && asRaw.messageClass == dcs.messageClass && !asRaw.compressed)
        ? dcs.raw
        : encodeDataCoding(dcs.alphabet, dcs.messageClass);
}

} // namespace detail

DataCoding decodeDataCoding(quint8 dcs)
{
    DataCoding c;
    c.raw = dcs;
    const int group = dcs >> 4;
    if (group <= 0x7) {
        // 00xx general data coding, 01xx the same with automatic deletion (TS 23.038 4).
        c.compressed = dcs & 0x20;
        if (dcs & 0x10)
            c.messageClass = dcs & 0x03;
        static constexpr int Alphabets[4] = {Gsm7, Bit8, Ucs2, Gsm7};   // 11 reserved: 7-bit
        c.alphabet = Alphabets[(dcs >> 2) & 0x03];
    } else if (group <= 0xB) {
        c.alphabet = Gsm7;   // reserved groups: "assumed to be the GSM 7 bit default alphabet"
    } else if (group <= 0xE) {
        c.alphabet = group == 0xE ? Ucs2 : Gsm7;
        c.messageWaiting = true;
        c.messageWaitingActive = dcs & 0x08;
        c.messageWaitingKind = dcs & 0x03;
    } else {
        c.alphabet = (dcs & 0x04) ? Bit8 : Gsm7;
        c.messageClass = dcs & 0x03;
    }
    return c;
}

quint8 encodeDataCoding(int alphabet, int messageClass)
{
    checkAlphabet(alphabet);
    if (messageClass < -1 || messageClass > 3)
        raise(ErrorCode::InvalidMessageClass, QStringLiteral("message class %1; the classes are 0..3, -1 for none").arg(messageClass));
    if (messageClass < 0)
        return alphabet == Gsm7 ? 0x00 : alphabet == Bit8 ? 0x04 : 0x08;
    // Group 1111 for 7-bit and 8-bit as gammu writes it; UCS-2 exists only in the general group.
    return quint8((alphabet == Gsm7 ? 0xF0 : alphabet == Bit8 ? 0xF4 : 0x18) | messageClass);
}

} // namespace pellix::pdu
