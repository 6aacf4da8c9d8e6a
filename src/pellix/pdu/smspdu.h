// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

#include "smsobjects.h"

// SMS TPDUs of TS 23.040 in the hex form of 27.005 PDU mode (SMSC address field first).
// Every decoder raises the MalformedPdu library error on input it cannot read to the end of
// what its header promises; none reads past the end of its input.
namespace pellix::pdu {

enum class PduType { Deliver, Submit, StatusReport };

// Alphabet codes as the contract uses them.
inline constexpr int Gsm7 = AlphabetGsm7;
inline constexpr int Bit8 = AlphabetBinary;
inline constexpr int Ucs2 = AlphabetUcs2;

// TP-DA / TP-OA / TP-RA and the SMSC address.
struct Address
{
    QString number;          // "+" prefix when international; alphanumeric senders decoded as text
    quint8 typeOfAddress = 0x81;
    bool isAlphanumeric() const { return (typeOfAddress & 0x70) == 0x50; }
};

// TP-DCS as far as TS 23.038 gives it a meaning.
struct DataCoding
{
    quint8 raw = 0;
    int alphabet = Gsm7;     // 7, 8 or 16; reserved codings count as 7
    int messageClass = -1;   // -1 none, 0..3
    bool compressed = false;
    bool messageWaiting = false;       // groups 1100..1110
    bool messageWaitingActive = false;
    int messageWaitingKind = -1;       // 0 voicemail, 1 fax, 2 e-mail, 3 other
};

struct SubmitPdu
{
    QString smsc;                       // empty: length octet 00, the SIM's centre is used
    QString destination;                // "+..." international, other digits national/unknown
    int alphabet = Gsm7;
    QString text;                       // alphabet 8: one character (U+0000..U+00FF) per octet
    QByteArray udh;                     // complete header including its length octet; empty = none
    int messageClass = -1;              // -1 no class
    std::optional<int> validityMinutes; // relative TP-VP, rounded up to the next expressible value
    bool statusReportRequest = false;   // TP-SRR
    bool rejectDuplicates = false;      // TP-RD
    bool replyPath = false;             // TP-RP
    quint8 messageReference = 0;        // TP-MR; 0 lets the modem choose
    quint8 protocolId = 0;              // TP-PID
    // Absolute TP-VP (TP-VPF 11): filled by decodeSubmit; encodeSubmit writes it when set and
    // validityMinutes is not.
    QDateTime validityUntil;
};

struct EncodedPdu
{
    QByteArray hex;          // SMSC field + TPDU, upper-case hex, as written after AT+CMGS
    int tpduLength = 0;      // octets after the SMSC field: the <length> of AT+CMGS
    QByteArray userData;     // TP-UD octets as encoded (header, fill bits, packed septets)
};

struct DeliverPdu
{
    Address smsc;
    Address originator;
    quint8 protocolId = 0;
    DataCoding dcs;
    QDateTime timestamp;     // TP-SCTS with its time-zone offset; invalid when not BCD or no date
    QByteArray udh;          // including its length octet; empty = none
    QByteArray userData;     // TP-UD octets exactly as carried
    QString text;            // decoded; alphabet 8: one character per octet
    bool moreMessagesToSend = false;    // TP-MMS inverted: true when bit 2 is 0
    bool statusReportIndication = false;
    bool replyPath = false;
};

struct StatusReportPdu
{
    Address smsc;
    quint8 messageReference = 0;
    Address recipient;
    QDateTime timestamp;     // TP-SCTS
    QDateTime dischargeTime; // TP-DT
    quint8 status = 0;       // TP-ST
    QString statusText;      // TP-ST in words
    bool fromCommand = false; // TP-SRQ
    bool moreMessagesToSend = false;    // TP-MMS inverted, as in DeliverPdu
    // The optional tail behind TP-PI (TS 23.040 9.2.2.3). encodeStatusReport writes TP-PI only
    // when one of them differs from its default.
    quint8 protocolId = 0;
    DataCoding dcs;
    QByteArray udh;
    QByteArray userData;     // decoded: TP-UD octets as carried
    QString text;
};

// Concatenation information element (IEI 0x00 or 0x08) of a header, when present.
struct Concatenation
{
    int reference = 0;
    int total = 0;
    int sequence = 0;
    bool reference16 = false;
};

// The message type of a PDU (SMSC field first, or TPDU alone when hasSmsc is false).
PduType pduType(const QByteArray &hex, bool hasSmsc = true);

EncodedPdu encodeSubmit(const SubmitPdu &pdu);
SubmitPdu decodeSubmit(const QByteArray &hex, bool hasSmsc = true);

DeliverPdu decodeDeliver(const QByteArray &hex, bool hasSmsc = true);
// For the virtual modem: SMSC field (00 when smsc.number is empty) and TPDU in hex. The text is
// coded by dcs.alphabet and dcs.messageClass; dcs.raw is written when it agrees with them.
// An invalid timestamp or one outside 1990..2089 raises InvalidArgument.
QByteArray encodeDeliver(const DeliverPdu &pdu);

StatusReportPdu decodeStatusReport(const QByteArray &hex, bool hasSmsc = true);
QByteArray encodeStatusReport(const StatusReportPdu &pdu);   // for the virtual modem

// A 7-bit text of any length as SMS-SUBMITs: one PDU when it fits 160 septets, otherwise parts of
// at most 153 septets behind an 8-bit-reference concatenation header; an escape pair is never
// split. More than 255 parts raise TooManyParts. base.udh must be empty.
QList<EncodedPdu> encodeLongSubmit(const SubmitPdu &base, quint8 concatReference);

// None when the header holds no such element or one a receiver ignores (no parts, part 0 or
// beyond the total, TS 23.040 9.2.3.24.1); the last one counts when it repeats.
std::optional<Concatenation> concatenation(const QByteArray &udh);

// TP-VP relative octet for a validity in minutes (rounded up; at most 63 weeks) and back.
// 0 minutes gives the shortest period, 5 minutes; a negative one raises InvalidValidity.
quint8 validityToRelative(int minutes);
int relativeToMinutes(quint8 vp);

// TP-ST in words.
QString statusText(quint8 status);

// TP-DCS both ways. encodeDataCoding raises InvalidAlphabet / InvalidMessageClass; class c gives
// 0xF0|c (7-bit), 0xF4|c (8-bit), 0x18|c (UCS2), no class 0x00 / 0x04 / 0x08.
DataCoding decodeDataCoding(quint8 dcs);
quint8 encodeDataCoding(int alphabet, int messageClass);

// Raises InvalidUserDataHeader unless udh is empty or a length octet followed by exactly that
// many octets of well-formed information elements.
void validateUserDataHeader(const QByteArray &udh);

// Octets behind the SMSC field of a PDU in hex: the <length> of +CMGS, +CMT, +CMGL.
int tpduLength(const QByteArray &hex);

// Every field of a PDU with its raw octets and their meaning, in PDU order (for pdudump).
struct PduField
{
    QString name;
    QByteArray raw;          // the field's octets in hex
    QString meaning;
};
QList<PduField> describePdu(const QByteArray &hex, bool hasSmsc = true);

} // namespace pellix::pdu
