// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/modemfacts.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Readers of the answers behind the modem facts, in the forms field modems give them: fields
// quoted or not, blanks around commas, vendor commands for what 27.007 leaves out. Each returns
// nothing (rather than a guess) for a line that does not have the shape.
namespace pellix::facts {

// A +CREG/+CGREG/+CEREG line of the read form ("+CREG: <n>,<stat>[,<lac>,<ci>[,<AcT>...]]") or
// of the unsolicited one ("+CREG: <stat>[,<lac>,<ci>[,<AcT>]]"), which some modems give to the
// read command too. command: "+CREG", "+CGREG" or "+CEREG".
std::optional<Registration> registration(const QByteArray &line, const QByteArray &command);

// +COPS: <mode>[,<format>,<oper>[,<AcT>]] (27.007 7.3).
struct OperatorAnswer
{
    int mode = -1;
    int format = -1;       // 0 long, 1 short, 2 numeric; -1 no operator
    QString name;
    int accessTechnology = -1;
};
std::optional<OperatorAnswer> operatorAnswer(const QByteArray &line);

// The PIN and PUK attempts left, from +CPINR (27.007 8.65: "+CPINR: SIM PIN,3,3") or the vendor
// forms: ^CPIN (Huawei: code,[times],puk,pin,puk2,pin2), +QPINC (Quectel: "SC",pin,puk),
// +XPINCNT (Intel: pin1,pin2,puk1,puk2), +SPIC (SIMCom: pin1,puk1,pin2,puk2). -1 where the
// answer does not say.
struct PinAttempts
{
    int pin = -1;
    int puk = -1;
};
std::optional<PinAttempts> pinAttempts(const QList<QByteArray> &lines);

// The ICCID of +CCID, ^ICCID, +ICCID, +QCCID or a bare line: 18 to 22 digits, a trailing F
// (the filler of an odd length) dropped. Empty when no line holds one.
QString iccid(const QList<QByteArray> &lines);
// The ICCID from the SIM's EF ICCID read with +CRSM (TS 51.011 10.1.1: BCD, nibbles swapped).
QString iccidFromRecord(const QByteArray &crsmLine);

// The numbers of +CNUM lines ("+CNUM: [<alpha>],<number>,<type>"); a modem in UCS2 writes
// them as hex, which is read back.
QStringList ownNumbers(const QList<QByteArray> &lines);

// +CSCA: <sca>[,<tosca>] (27.005 3.3.1).
std::optional<SmscFacts> smsc(const QByteArray &line);

// +CPMS: <mem1>,<used1>,<total1>,<mem2>,... (27.005 3.2.2), the memories in order.
QList<StorageUse> storageUse(const QByteArray &line);

// +CUSD: <m>[,<str>[,<dcs>]] (27.007 7.15); str as the modem sent it.
struct UssdCode
{
    int status = -1;
    QByteArray str;
    int dcs = -1;
};
std::optional<UssdCode> ussdCode(const QByteArray &line);

// A number as the modem wrote it: plain, or hex of UCS2 dialling characters.
QString plainNumber(const QByteArray &field);

} // namespace pellix::facts
