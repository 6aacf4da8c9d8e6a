// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gsmmodem.h"
#include "raisederror.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

// A scripted GsmModem for the console's tests. Every member, property reads and writes included,
// is recorded with its arguments ("Status", "set AutoDelete", "Connect", ...). Results come from
// the public fields; a member can be made to raise, and a hook can run inside any member (to
// emit an event while a call is under way, as the library does).
class FakeGsmModem : public GsmModem
{
    Q_OBJECT

public:
    struct Call
    {
        QString member;
        QVariantList args;
    };

    explicit FakeGsmModem(QObject *parent = nullptr);

    // --- what the modem reports
    qint32 status = 0;
    QString statusText = QStringLiteral("Disconnected");
    QString manufacturer;
    QString model;
    QString revision;
    QString imei;
    qint16 phonebookCount = 0;
    bool autoDelete = false;
    bool connectOptionA = false;
    bool connectOptionB = false;

    // --- results of the operations
    qint16 rssi = 18;
    qint16 ber = 0;
    bool signalSufficient = true;
    qint32 nextReference = 1;           // SendMessage sets message.Reference to it, then counts up
    qint32 longMessageResult = 2;
    QList<ReceivedMessage> messages;    // ReadMessages
    QList<SmsStatusReport> statusReports;
    QList<PhonebookEntry> phonebook;
    QString forwardedTo;                // ForwardCalls: 2 returns it, 3 sets it, 4 clears it
    std::optional<QString> forwardAnswer; // when set, every ForwardCalls returns this instead
    // Connect: goes 0 -> 1 -> 2 with a NewStatus each, and identifies as "Ready"; Disconnect
    // goes to 0. connectSucceeds false: 0 -> 1 -> 0, then raises connectError.
    bool connectSucceeds = true;
    RaisedError connectError{qint32(0x80040004), QStringLiteral("Pellix"), QStringLiteral("Cannot open the serial port")};
    // ConnectionEndReason (a plain read of the reason, not recorded as a call).
    std::optional<RaisedError> endReason;

    // --- scripting
    // The next `times` calls of member raise error (after being recorded).
    void raiseOn(const QString &member, const RaisedError &error, int times = 1);
    // Runs inside member, after it was recorded and before its result.
    void onCall(const QString &member, std::function<void()> hook);

    // --- events on demand
    void setStatus(qint32 newStatus, const QString &text);  // sets and emits NewStatus
    void emitMessageReceived(const ReceivedMessage &message) { Q_EMIT MessageReceived(message); }
    void emitStatusReport(const SmsStatusReport &report) { Q_EMIT StatusReport(report); }
    void emitRing(const QString &number) { Q_EMIT Ring(PhoneNumber{number, 1}); }

    // --- what was called
    const QList<Call> &calls() const { return m_calls; }
    QStringList members() const;                  // names in call order
    QList<Call> callsOf(const QString &member) const;
    int count(const QString &member) const { return int(callsOf(member).size()); }
    void clearCalls() { m_calls.clear(); }

    // GsmModem
    qint32 Status() const override;
    QString StatusText() const override;
    QString Manufacturer() const override;
    QString Model() const override;
    QString Revision() const override;
    QString IMEI() const override;
    qint16 PhonebookCount() override;
    bool AutoDelete() const override;
    void setAutoDelete(bool on) override;
    void setConnectOptionA(bool on) override;
    void setConnectOptionB(bool on) override;
    void Connect(qint32 modemType, qint16 port, const QString &pin, qint32 receiveMode, qint32 timeout,
                 qint32 baudRate) override;
    void Disconnect() override;
    std::optional<RaisedError> ConnectionEndReason() const override { return endReason; }
    bool GetSignalQuality(qint16 &rssi, qint16 &ber) override;
    qint32 SendMessage(SmsMessage &message) override;
    qint32 SendLongMessage(const QString &number, const QString &text, bool statusReport) override;
    QList<ReceivedMessage> ReadMessages(qint32 filter, bool deleteAfterReading) override;
    QList<SmsStatusReport> ReadStatusReports(qint32 filter, bool deleteAfterReading) override;
    void DeleteMessage(qint16 simLocation) override;
    void DeleteAllMessages() override;
    QList<PhonebookEntry> ReadPhonebook(qint32 first, qint32 last) override;
    void WritePhonebookEntry(PhonebookEntry &entry) override;
    void DeletePhonebookEntry(qint16 position) override;
    QString ForwardCalls(qint32 mode, qint32 callClass, qint32 reason, const QString &number) override;

    // The message objects SendMessage received, as they were when it was called.
    QList<SmsMessage> sentMessages;

private:
    // Records the call, runs its hook, raises a scripted error.
    void enter(const QString &member, const QVariantList &args = {}) const;

    mutable QList<Call> m_calls;
    mutable QHash<QString, QList<RaisedError>> m_errors;
    QHash<QString, std::function<void()>> m_hooks;
};
