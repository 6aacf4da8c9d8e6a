// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "raisederror.h"
#include "smsobjects.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// The modem object as the console holds it. Every member either does its work or raises a
// RaisedError (library numbers 0x80040000 + the codes of pellixerror.h); no return code is ever
// a failure. Calls block the calling (user-interface) thread until the modem answers or the
// command's deadline passes.
//
// Events are signals on the thread that owns the object. NewStatus is emitted at once on every
// change of Status, also while Connect or Disconnect runs. MessageReceived, StatusReport and Ring
// found while a command runs are queued and emitted when that command has finished, never from
// inside another member.
class GsmModem : public QObject
{
    Q_OBJECT

public:
    enum StatusValue : qint32 { Disconnected = 0, Connecting = 1, Connected = 2 };

    using QObject::QObject;
    ~GsmModem() override = default;

    // 0 disconnected, 1 connecting, 2 connected and ready.
    virtual qint32 Status() const = 0;
    // The state in words ("Disconnected", "Connecting", "Ready", ...), as the modem is now.
    virtual QString StatusText() const = 0;
    // Identity read during Connect (+CGMI, +CGMM, +CGMR, +CGSN); empty until then.
    virtual QString Manufacturer() const = 0;
    virtual QString Model() const = 0;
    virtual QString Revision() const = 0;
    virtual QString IMEI() const = 0;
    // Number of used entries of the SIM phonebook; asks the modem.
    virtual qint16 PhonebookCount() = 0;

    // Delete messages and reports from the SIM once they were read and handed over (also those
    // the library fetches itself to signal them live). Takes effect at once, in any state.
    virtual bool AutoDelete() const = 0;
    virtual void setAutoDelete(bool on) = 0;
    // ConnectOptionA: check the SIM during Connect (+CPIN?) and, when it asks for a PIN, enter
    // the PIN given as Connect's text argument. Off: the SIM is assumed ready.
    virtual void setConnectOptionA(bool on) = 0;
    // ConnectOptionB: ask for the caller's number during Connect (+CLIP=1), so that Ring names
    // the caller. Off: Ring carries an empty number.
    virtual void setConnectOptionB(bool on) = 0;

    // Opens the modem and makes it ready (Status 0 -> 1 -> 2).
    //   modemType   the modem-type code: -1 the built-in virtual modem (port not used), 0 the
    //               profile of Pellix.ini, any other code a built-in modem profile
    //   port        the number n of serial port "COM"n
    //   pin         SIM PIN entered when the SIM asks for it (ConnectOptionA); empty = none
    //   receiveMode 2: messages and status reports are signalled as they arrive
    //               (MessageReceived, StatusReport); 0: they stay on the SIM
    //   timeout     deadline in seconds of commands that wait for the network (sending,
    //               call forwarding); local commands keep their short deadlines
    //   baudRate    serial speed; 0 = the profile's speed
    // On failure Status is 0 again and the error says what failed.
    virtual void Connect(qint32 modemType, qint16 port, const QString &pin, qint32 receiveMode,
                         qint32 timeout, qint32 baudRate) = 0;
    // Closes the connection; does nothing when none is open.
    virtual void Disconnect() = 0;
    // Why the connection ended by itself while no call was under way to hear of it (the device
    // went away, the modem stopped answering, it restarted and could not be set up again): the
    // error such a call would have raised. None while a connection is open or opening, after
    // Disconnect, and after an end that a call reported itself.
    virtual std::optional<RaisedError> ConnectionEndReason() const { return std::nullopt; }

    // RSSI 0..31 (99 unknown) and BER 0..7 (99 unknown) of +CSQ; true when RSSI is 11..31.
    virtual bool GetSignalQuality(qint16 &rssi, qint16 &ber) = 0;

    // Sends one message (one PDU); fills message.Reference and message.UserData and returns the
    // reference.
    virtual qint32 SendMessage(SmsMessage &message) = 0;
    // Sends a 7-bit text of any length as concatenated parts of at most 153 septets (one PDU when
    // it fits 160); returns the number of parts sent.
    virtual qint32 SendLongMessage(const QString &number, const QString &text, bool statusReport) = 0;

    // Messages or status reports stored on the SIM; messages also where else the modem keeps
    // received ones (the phone memory of a full SIM). filter: 0 all, 1 unread only, 2 read only.
    // deleteAfterReading: each item is deleted once it was decoded; one that does not decode is
    // returned as far as it goes and stays on the SIM.
    virtual QList<ReceivedMessage> ReadMessages(qint32 filter, bool deleteAfterReading) = 0;
    virtual QList<SmsStatusReport> ReadStatusReports(qint32 filter, bool deleteAfterReading) = 0;
    // simLocation as ReadMessages, ReadStatusReports and the events give it (the index on the SIM;
    // an item kept in another storage has a range of its own, 10000 + index for a report kept
    // apart). A location that holds nothing is an error. DeleteAllMessages empties every storage
    // that ReadMessages and ReadStatusReports read.
    virtual void DeleteMessage(qint16 simLocation) = 0;
    virtual void DeleteAllMessages() = 0;

    // SIM phonebook entries from index first to last; 0, 0 reads every used entry.
    virtual QList<PhonebookEntry> ReadPhonebook(qint32 first, qint32 last) = 0;
    // Writes the entry at entry.Index; the entry is read back into the object afterwards.
    virtual void WritePhonebookEntry(PhonebookEntry &entry) = 0;
    virtual void DeletePhonebookEntry(qint16 position) = 0;

    // Call forwarding (+CCFC). mode: 2 query, 3 forward to number, 4 cancel; callClass: the
    // +CCFC class sum (1 voice); reason: 0 unconditional, 1 busy, 2 no reply, 3 not reachable.
    // Returns the number calls of that class now go to, empty when forwarding is off.
    virtual QString ForwardCalls(qint32 mode, qint32 callClass, qint32 reason, const QString &number) = 0;

Q_SIGNALS:
    void NewStatus(qint32 Status);
    void MessageReceived(const ReceivedMessage &Message);
    void StatusReport(const SmsStatusReport &statusRpt);
    void Ring(const PhoneNumber &Originator);
    // The library's communication log (Pellix.log) cannot be written: the file cannot be
    // opened or the disk is full. Told once, with a sentence that names the file and why, so that
    // the operator knows before sending a support request without it.
    void TraceFailed(const QString &why);
};
