// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pellix {

class PellixIni;

// What the driver needs to know of one kind of modem or phone. Every profile is plain AT
// (TS 27.005/27.007 in PDU mode); the fields say which of the standard's choices this kind
// accepts, and which of its known deviations to tolerate.
struct ModemProfile
{
    qint32 code = 0;                 // the modem-type code of the console's list
    QString name;

    // Serial speed when Connect is given 0. USB CDC-ACM and Bluetooth links ignore it.
    qint32 baudRate = 115200;

    // Complete command lines sent after echo and error reporting are set; each must end OK.
    QList<QByteArray> initCommands;
    // Complete command lines tried after those; ERROR is expected from some models and fine.
    QList<QByteArray> optionalInitCommands;

    // Keep echo on (ATE1) instead of turning it off: some phones misbehave with ATE0, and the
    // channel reads answers either way.
    bool echo = false;
    // Write one byte at a time with a short pause, as gammu does for phones whose serial input
    // buffers overrun on a burst.
    bool slowWrite = false;

    // +CPMS <mem1>,<mem2>,<mem3> (TS 27.005 3.2.2): where messages are read and deleted, where
    // they are written, and where received ones are stored. Two upper-case letters each.
    QByteArray messageStorage = "SM";
    QByteArray writeStorage = "SM";
    QByteArray receiveStorage = "SM";
    // Where stored status reports are read from ("SR" where the modem keeps them apart).
    QByteArray reportStorage = "SM";

    // +CNMI parameters (TS 27.005 3.4.1) without "AT+CNMI=". They are what is wished for: Connect
    // takes the closest setting the modem's AT+CNMI=? offers.
    // Receive mode 2, messages signalled as they arrive: direct routing (+CMT, +CDS) where the
    // modem has it, else store and indicate (+CMTI, +CDSI) and the driver fetches the message.
    // Direct routing is used only where routed items are acknowledged (AT+CSMS=? offers 1, or
    // cnmaRequired): otherwise it gives way to store and indicate, since a modem with +CSMS 0
    // acknowledges what it routes to a port nobody reads, and the message is gone.
    QByteArray cnmiLive = "2,2,0,1,0";
    // Receive mode 0, messages stay on the storage: store and indicate (mt=1, ds=2), or ds=1 where
    // the modem cannot store status reports.
    QByteArray cnmiStored = "2,1,0,2,0";
    // A routed +CMT/+CDS must be acknowledged with AT+CNMA even where AT+CSMS=? does not offer
    // service 1 (with AT+CSMS=1 among the initCommands; without it the modem acknowledges to
    // the network itself). Where AT+CSMS=? offers it, Connect sets AT+CSMS=1 by itself.
    bool cnmaRequired = false;

    // +CPBS storage of the phonebook operations (TS 27.007 8.11).
    QByteArray phonebookStorage = "SM";

    // +CMEE mode to set: 1 numeric, 2 verbose (some phones accept only one of them).
    int cmeeMode = 1;

    // Known deviations from the standard's answer shapes.
    bool cpinWithoutOk = false;      // +CPIN? answered without OK after the +CPIN: line
    bool cpmsWithoutOk = false;      // +CPMS set/read answered without OK
    bool cgmrUnsupported = false;    // +CGMR answers ERROR; the revision stays empty
    bool identitySpaces = false;     // +CGMI/+CGMM/+CGMR answers carry leading or trailing blanks

    // Deadlines of commands that the modem answers by itself (no network involved), and of
    // listings that take long on large storages (+CMGL, +CPBR ranges).
    int commandTimeoutMs = 5000;
    int listTimeoutMs = 30000;

    // "\"SM\",\"SM\",\"SM\"": the arguments of AT+CPMS= for messageStorage, writeStorage and
    // receiveStorage.
    QByteArray cpmsArguments() const;
};

// The built-in codes in the order of the console's list, 0 ("Others") last.
QList<qint32> modemTypeCodes();

// The profile of a modem-type code. Code 0 reads [Modem] of Pellix.ini (ProfileError when it
// is missing or unusable); an unknown code raises UnknownModemType naming it.
ModemProfile modemProfile(qint32 code);
ModemProfile modemProfile(qint32 code, const PellixIni &ini);

// The profile of code 0 from the [Modem] section (keys documented in help/profiles.html).
ModemProfile profileFromIni(const PellixIni &ini);

} // namespace pellix
