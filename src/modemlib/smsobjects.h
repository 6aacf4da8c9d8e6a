// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

#include <optional>

// The objects the library and the console hand each other. They are plain values: the console
// fills an outgoing message per click, and received items live only while their line is built.
//
// Byte texts: Udh and UserData hold raw octets. The Text of an 8-bit message holds one character
// per octet (U+0000..U+00FF), so QString::toLatin1() gives the octets back unchanged.

// The alphabet codes of SmsMessage and ReceivedMessage (TS 23.038 character sets).
inline constexpr qint32 AlphabetGsm7 = 7;    // GSM 7-bit default alphabet
inline constexpr qint32 AlphabetBinary = 8;  // 8-bit data
inline constexpr qint32 AlphabetUcs2 = 16;   // UCS-2

// A phone number as dialled. GsmUtilities::CreatePhoneNumber makes one from the operator's text.
struct PhoneNumber
{
    QString Number;
    // Numbering plan of TS 23.040 9.1.2.5 (1 = ISDN/E.164). A number starting with "+" is
    // international, any other numeric one national/unknown, anything else alphanumeric.
    int NumberingPlan = 1;
};

// An outgoing message. The console sets the first block; SendMessage fills the second.
struct SmsMessage
{
    PhoneNumber Recipient;
    qint32 Alphabet = AlphabetGsm7;
    QString Text;                   // alphabet 8: one character per octet
    QByteArray Udh;                 // user data header including its length octet; empty = none
    qint32 MessageClass = -1;       // -1 no class, 0..3 message class
    std::optional<qint32> Validity; // minutes; unset = no validity period in the PDU
    bool RequestStatusReport = false;

    qint32 Reference = -1;          // TP-MR the network gave (+CMGS), -1 before sending
    QByteArray UserData;            // TP-UD exactly as sent: header, fill bits and packed septets
};

// A message delivered by the network (SMS-DELIVER), live or read from the SIM.
struct ReceivedMessage
{
    PhoneNumber Originator;
    qint32 Alphabet = AlphabetGsm7;
    QDateTime Timestamp;            // service-centre time stamp, with its time-zone offset
    QString Text;                   // alphabet 8: one character per octet
    QByteArray Udh;                 // including its length octet; empty = none
    QByteArray UserData;            // TP-UD exactly as received
    qint16 SimLocation = -1;        // index in the SIM storage; negative when delivered live
    bool IsNew = false;             // REC UNREAD on the SIM, or delivered live
    qint32 MessageClass = -1;
    QString ServiceCenter;
};

// A delivery report (SMS-STATUS-REPORT), live or read from the SIM.
struct SmsStatusReport
{
    qint16 Reference = 0;           // TP-MR of the message it reports on
    PhoneNumber Recipient;
    QString StatusText;             // TP-ST in words (TS 23.040 9.2.3.15)
    // Index in the storage; reports the modem keeps in a storage of their own ("SR") are numbered
    // 10000 + index there, so that DeleteMessage finds them. Negative when delivered live.
    qint16 SimLocation = -1;
    qint32 Status = 0;              // TP-ST
    QDateTime Timestamp;            // TP-SCTS: when the centre took the message
    QDateTime DischargeTime;        // TP-DT: when it was delivered, or failed
};

struct PhonebookEntry
{
    qint16 Index = 0;
    QString Name;
    QString Number;
};

Q_DECLARE_METATYPE(PhoneNumber)
Q_DECLARE_METATYPE(ReceivedMessage)
Q_DECLARE_METATYPE(SmsStatusReport)
