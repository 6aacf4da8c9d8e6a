// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakegsmmodem.h"

FakeGsmModem::FakeGsmModem(QObject *parent)
    : GsmModem(parent)
{
}

void FakeGsmModem::raiseOn(const QString &member, const RaisedError &error, int times)
{
    for (int i = 0; i < times; ++i)
        m_errors[member].append(error);
}

void FakeGsmModem::onCall(const QString &member, std::function<void()> hook)
{
    m_hooks.insert(member, std::move(hook));
}

void FakeGsmModem::setStatus(qint32 newStatus, const QString &text)
{
    status = newStatus;
    statusText = text;
    Q_EMIT NewStatus(newStatus);
}

QStringList FakeGsmModem::members() const
{
    QStringList names;
    for (const Call &call : m_calls)
        names << call.member;
    return names;
}

QList<FakeGsmModem::Call> FakeGsmModem::callsOf(const QString &member) const
{
    QList<Call> found;
    for (const Call &call : m_calls)
        if (call.member == member)
            found << call;
    return found;
}

void FakeGsmModem::enter(const QString &member, const QVariantList &args) const
{
    m_calls.append(Call{member, args});
    if (auto hook = m_hooks.value(member))
        hook();
    auto it = m_errors.find(member);
    if (it != m_errors.end() && !it->isEmpty())
        throw it->takeFirst();
}

qint32 FakeGsmModem::Status() const { enter(QStringLiteral("Status")); return status; }
QString FakeGsmModem::StatusText() const { enter(QStringLiteral("StatusText")); return statusText; }
QString FakeGsmModem::Manufacturer() const { enter(QStringLiteral("Manufacturer")); return manufacturer; }
QString FakeGsmModem::Model() const { enter(QStringLiteral("Model")); return model; }
QString FakeGsmModem::Revision() const { enter(QStringLiteral("Revision")); return revision; }
QString FakeGsmModem::IMEI() const { enter(QStringLiteral("IMEI")); return imei; }
qint16 FakeGsmModem::PhonebookCount() { enter(QStringLiteral("PhonebookCount")); return phonebookCount; }
bool FakeGsmModem::AutoDelete() const { enter(QStringLiteral("AutoDelete")); return autoDelete; }

void FakeGsmModem::setAutoDelete(bool on)
{
    enter(QStringLiteral("set AutoDelete"), {on});
    autoDelete = on;
}

void FakeGsmModem::setConnectOptionA(bool on)
{
    enter(QStringLiteral("set ConnectOptionA"), {on});
    connectOptionA = on;
}

void FakeGsmModem::setConnectOptionB(bool on)
{
    enter(QStringLiteral("set ConnectOptionB"), {on});
    connectOptionB = on;
}

void FakeGsmModem::Connect(qint32 modemType, qint16 port, const QString &pin, qint32 receiveMode,
                           qint32 timeout, qint32 baudRate)
{
    enter(QStringLiteral("Connect"), {modemType, port, pin, receiveMode, timeout, baudRate});
    setStatus(Connecting, QStringLiteral("Connecting"));
    if (!connectSucceeds) {
        setStatus(Disconnected, QStringLiteral("Disconnected"));
        throw connectError;
    }
    setStatus(Connected, QStringLiteral("Ready"));
}

void FakeGsmModem::Disconnect()
{
    enter(QStringLiteral("Disconnect"));
    if (status != Disconnected)
        setStatus(Disconnected, QStringLiteral("Disconnected"));
}

bool FakeGsmModem::GetSignalQuality(qint16 &rssiOut, qint16 &berOut)
{
    enter(QStringLiteral("GetSignalQuality"));
    rssiOut = rssi;
    berOut = ber;
    return signalSufficient;
}

qint32 FakeGsmModem::SendMessage(SmsMessage &message)
{
    enter(QStringLiteral("SendMessage"), {message.Recipient.Number, message.Alphabet, message.Text});
    sentMessages.append(message);
    message.Reference = nextReference++;
    if (message.Alphabet == 8)
        message.UserData = message.Text.toLatin1();
    else
        message.UserData = message.Udh + message.Text.toUtf8();
    return message.Reference;
}

qint32 FakeGsmModem::SendLongMessage(const QString &number, const QString &text, bool statusReport)
{
    enter(QStringLiteral("SendLongMessage"), {number, text, statusReport});
    return longMessageResult;
}

QList<ReceivedMessage> FakeGsmModem::ReadMessages(qint32 filter, bool deleteAfterReading)
{
    enter(QStringLiteral("ReadMessages"), {filter, deleteAfterReading});
    return messages;
}

QList<SmsStatusReport> FakeGsmModem::ReadStatusReports(qint32 filter, bool deleteAfterReading)
{
    enter(QStringLiteral("ReadStatusReports"), {filter, deleteAfterReading});
    return statusReports;
}

void FakeGsmModem::DeleteMessage(qint16 simLocation)
{
    enter(QStringLiteral("DeleteMessage"), {simLocation});
}

void FakeGsmModem::DeleteAllMessages()
{
    enter(QStringLiteral("DeleteAllMessages"));
}

QList<PhonebookEntry> FakeGsmModem::ReadPhonebook(qint32 first, qint32 last)
{
    enter(QStringLiteral("ReadPhonebook"), {first, last});
    return phonebook;
}

void FakeGsmModem::WritePhonebookEntry(PhonebookEntry &entry)
{
    enter(QStringLiteral("WritePhonebookEntry"), {entry.Index, entry.Name, entry.Number});
}

void FakeGsmModem::DeletePhonebookEntry(qint16 position)
{
    enter(QStringLiteral("DeletePhonebookEntry"), {position});
}

QString FakeGsmModem::ForwardCalls(qint32 mode, qint32 callClass, qint32 reason, const QString &number)
{
    enter(QStringLiteral("ForwardCalls"), {mode, callClass, reason, number});
    if (mode == 3)
        forwardedTo = number;
    else if (mode == 4)
        forwardedTo.clear();
    return forwardAnswer ? *forwardAnswer : forwardedTo;
}
