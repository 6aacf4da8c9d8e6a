// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "at/atreplies.h"
#include "pellixerror.h"
#include "profiles/modemprofile.h"

namespace pellix {

using detail::checkDialString;
using detail::decodeItem;
using detail::DecodedItem;
using detail::num;
using detail::undecodable;

namespace {

// A listing's cap: its silence window once more, and this per item the modem announced. An entry
// of +CMGL is up to about 390 bytes: 2 s carry it at 2400 baud.
constexpr int ListingMsPerItem = 2000;
// When the modem did not say how many items it holds.
constexpr int ItemsNotAnnounced = 255;

ReceivedMessage toReceived(const pdu::DeliverPdu &deliver, int location, bool isNew)
{
    ReceivedMessage message;
    message.Originator = PhoneNumber{deliver.originator.number, 1};
    message.Alphabet = deliver.dcs.alphabet;
    message.Timestamp = deliver.timestamp;
    message.Text = deliver.text;
    message.Udh = deliver.udh;
    message.UserData = deliver.userData;
    message.SimLocation = qint16(location);
    message.IsNew = isNew;
    message.MessageClass = deliver.dcs.messageClass;
    message.ServiceCenter = deliver.smsc.number;
    return message;
}

// The modem turned a storage down (ERROR, +CMS ERROR: 302/303, ...), as opposed to "not now":
// SIM busy (CMS 314, CME 14) and a missing SIM (CMS 310, CME 10) are no answer about the storage.
bool storageRefused(const RaisedError &error)
{
    const qint32 base = libraryErrorNumber(0);
    const qint32 code = error.number() - base;
    if (code == qint32(ErrorCode::ModemAnsweredError))
        return true;
    const qint32 cme = code - qint32(ErrorCode::CmeErrorBase);
    const qint32 cms = code - qint32(ErrorCode::CmsErrorBase);
    if (cme >= 0 && cme < 1000)
        return cme != 10 && cme != 14;
    if (cms >= 0 && cms < 1000)
        return cms != 310 && cms != 314;
    return false;
}

SmsStatusReport toReport(const pdu::StatusReportPdu &report, int location)
{
    SmsStatusReport result;
    result.Reference = report.messageReference;
    result.Recipient = PhoneNumber{report.recipient.number, 1};
    result.StatusText = report.statusText;
    result.SimLocation = qint16(location);
    result.Status = report.status;
    result.Timestamp = report.timestamp;
    result.DischargeTime = report.dischargeTime;
    return result;
}

} // namespace

ReceivedMessage detail::undecodable(const QByteArray &hex, int location, bool isNew)
{
    ReceivedMessage message;
    message.Alphabet = pdu::Bit8;
    message.UserData = QByteArray::fromHex(hex);
    message.Text = QString::fromLatin1(message.UserData);
    message.SimLocation = qint16(location);
    message.IsNew = isNew;
    return message;
}

DecodedItem detail::decodeItem(const QByteArray &hex, int location, bool isNew)
{
    DecodedItem item;
    try {
        item.type = pdu::pduType(hex);
        if (item.type == pdu::PduType::Deliver)
            item.message = toReceived(pdu::decodeDeliver(hex), location, isNew);
        else if (item.type == pdu::PduType::StatusReport)
            item.report = toReport(pdu::decodeStatusReport(hex), location);
    } catch (const RaisedError &error) {
        item.error = error.description();
    }
    return item;
}

qint32 PellixGsmModem::sendPdu(const QByteArray &hex, int tpduLength)
{
    // In text mode (a modem that restarted with +CMGF=1 stored) AT+CMGS=<length> is a message to
    // the number <length>, and the PDU its text: nothing is written before PDU mode is confirmed.
    confirmPduMode();
    const AtResponse answer = exec(AtCommand::sendingPdu("AT+CMGS=" + num(tpduLength), hex, "+CMGS:", m_networkTimeoutMs),
                                   true);
    const auto reference = answer.lines.isEmpty() ? std::nullopt : replies::messageReference(answer.lines.first());
    if (!reference)
        raise(ErrorCode::UnexpectedAnswer, QStringLiteral("AT+CMGS gave no message reference"));
    return *reference;
}

qint32 PellixGsmModem::SendMessage(SmsMessage &message)
{
    Operation op(*this);
    requireConnected();
    if (message.Alphabet != pdu::Gsm7 && message.Alphabet != pdu::Bit8 && message.Alphabet != pdu::Ucs2)
        raise(ErrorCode::InvalidAlphabet, QStringLiteral("%1 (7, 8 or 16)").arg(message.Alphabet));
    if (message.MessageClass < -1 || message.MessageClass > 3)
        raise(ErrorCode::InvalidMessageClass, QStringLiteral("%1 (-1 none, 0 to 3)").arg(message.MessageClass));
    checkDialString(message.Recipient.Number);

    pdu::SubmitPdu submit;
    submit.destination = message.Recipient.Number;
    submit.alphabet = message.Alphabet;
    submit.text = message.Text;
    submit.udh = message.Udh;
    submit.messageClass = message.MessageClass;
    submit.validityMinutes = message.Validity;
    submit.statusReportRequest = message.RequestStatusReport;
    const pdu::EncodedPdu encoded = pdu::encodeSubmit(submit);

    message.Reference = sendPdu(encoded.hex, encoded.tpduLength);
    message.UserData = encoded.userData;
    return message.Reference;
}

qint32 PellixGsmModem::SendLongMessage(const QString &number, const QString &text, bool statusReport)
{
    Operation op(*this);
    requireConnected();
    checkDialString(number);
    pdu::SubmitPdu base;
    base.destination = number;
    base.text = text;
    base.statusReportRequest = statusReport;
    const QList<pdu::EncodedPdu> parts = pdu::encodeLongSubmit(base, ++m_concatReference);
    for (int i = 0; i < parts.size(); ++i) {
        try {
            sendPdu(parts.at(i).hex, parts.at(i).tpduLength);
        } catch (const RaisedError &error) {
            if (parts.size() == 1)
                throw;
            throw RaisedError(error.number(), error.source(),
                              QStringLiteral("%1 (part %2 of %3; %4 sent)").arg(error.description()).arg(i + 1)
                                  .arg(parts.size()).arg(i));
        }
    }
    return qint32(parts.size());
}

void PellixGsmModem::selectStorage(const QByteArray &storage, bool counted)
{
    if (storage == m_storages.selected() && !counted)
        return;
    // Until the modem confirms, what it has selected is not known: an answer lost to a timeout may
    // follow a change that the modem made all the same.
    m_storages.selectionUnknown();
    // Only the read/delete storage changes; writing and receiving stay where Connect put them.
    AtCommand select = AtCommand::prefixed("AT+CPMS=\"" + storage + '"', "+CPMS:", localTimeout());
    select.finalMayBeMissing = m_profile->cpmsWithoutOk;
    const AtResponse answer = exec(listingCommand(select, 1), true);
    m_storages.select(storage);
    // How long the listing of this storage may take.
    m_storages.setStoredItems(MessageStorages::announcedItems(answer.lines));
}

AtCommand PellixGsmModem::listingCommand(const AtCommand &command, int items) const
{
    const int count = items >= 0 ? items : ItemsNotAnnounced;
    return command.listing(int(qMin<qint64>(qint64(command.timeoutMs) + qint64(count) * ListingMsPerItem, 1 << 30)));
}

bool PellixGsmModem::selectReportStorage(const QByteArray &storage, bool counted)
{
    if (storage == m_profile->messageStorage) {
        selectStorage(storage, counted);
        return true;
    }
    // A modem that turns "SR" down keeps its reports with the messages: those are read there,
    // and the refusal costs nothing else. The same holds for a phone memory it does not let us read.
    try {
        selectStorage(storage, counted);
        return true;
    } catch (const RaisedError &error) {
        if (!storageRefused(error) || m_status != Connected)
            throw;
        note(QStringLiteral("report storage %1 refused (%2); reports are read among the messages")
                 .arg(QString::fromLatin1(storage), error.description()));
        return false;
    }
}

QList<QByteArray> PellixGsmModem::storages() const
{
    QList<QByteArray> result{m_profile->messageStorage};
    if (m_profile->reportStorage != m_profile->messageStorage)
        result << m_profile->reportStorage;
    return result;
}

QList<QByteArray> PellixGsmModem::messageStorages()
{
    const QByteArray own = m_profile->messageStorage;
    // "MT" is the SIM and the phone memory together (27.005 3.2.2): reading it reads both.
    if (own == "MT")
        return {own};
    if (!m_storages.listsKnown()) {
        // A full SIM makes many modems keep a new message in the phone memory (protocol notes 7):
        // the <mem3> list says where the modem may keep one.
        AtResponse test;
        try {
            test = tryCommand("AT+CPMS=?", "+CPMS:", localTimeout());
        } catch (const RaisedError &error) {
            if (error.number() != libraryErrorNumber(quint16(ErrorCode::Timeout)))
                throw;
        }
        m_storages.setLists(test.ok() && !test.lines.isEmpty() ? replies::storageLists(test.lines.first())
                                                               : QList<QList<QByteArray>>());
    }
    return m_storages.receiving(own, m_profile->receiveStorage);
}

namespace {

// The range of a storage: the message storage has the plain indexes below ReportLocationBase;
// the range of a storage that is the message storage goes to "SM".
std::optional<PellixGsmModem::LocationRange> rangeOf(const QByteArray &storage, const QByteArray &messageStorage)
{
    if (storage == messageStorage)
        return PellixGsmModem::LocationRange{"", 0, PellixGsmModem::ReportLocationBase};
    for (const PellixGsmModem::LocationRange &range : PellixGsmModem::OtherStorages) {
        const QByteArray name = range.storage == messageStorage ? QByteArray("SM") : QByteArray(range.storage);
        if (storage == name)
            return range;
    }
    return std::nullopt;
}

} // namespace

qint16 PellixGsmModem::locationIn(const QByteArray &storage, int index) const
{
    const auto range = rangeOf(storage, m_profile->messageStorage);
    if (!range || index < 0 || index >= range->size)
        return -1;
    return qint16(range->base + index);
}

std::optional<StoredRef> PellixGsmModem::storedAt(qint16 location) const
{
    const QByteArray own = m_profile->messageStorage;
    if (location >= 0 && location < ReportLocationBase)
        return StoredRef{own, location};
    for (const LocationRange &range : OtherStorages) {
        if (location >= range.base && location - range.base < range.size)
            return StoredRef{range.storage == own ? QByteArray("SM") : QByteArray(range.storage), location - range.base};
    }
    return std::nullopt;
}

QList<PellixGsmModem::StoredItem> PellixGsmModem::listStored(qint32 filter)
{
    // 27.005 3.1 <stat>: 0 REC UNREAD, 1 REC READ, 4 ALL.
    static constexpr int StatOf[] = {4, 0, 1};
    if (filter < 0 || filter > 2)
        raise(ErrorCode::InvalidArgument, QStringLiteral("filter %1 (0 all, 1 unread, 2 read)").arg(filter));
    const QByteArray line = "AT+CMGL=" + num(StatOf[filter]);
    const AtResponse answer = exec(listingCommand(AtCommand::withPdus(line, "+CMGL:", listTimeout()), m_storages.storedItems()), false);
    QList<StoredItem> items;
    // 27.005 leaves the answer on an empty storage open: most modems say OK, some +CMS ERROR:
    // 321 (invalid memory index). 314 (SIM busy) and 310 (SIM not inserted) say nothing about
    // the storage: they stay errors, the first one for the caller to try again.
    if (answer.final == FinalCode::CmsError && answer.errorCode == 321) {
        note(QStringLiteral("%1: nothing stored (+CMS ERROR: 321)").arg(QString::fromLatin1(line)));
        return items;
    }
    if (answer.final != FinalCode::Ok)
        AtChannel::raiseFor(answer, line);
    for (int i = 0; i < answer.lines.size(); ++i) {
        const auto header = replies::listedMessage(answer.lines.at(i));
        if (!header) {
            note(QStringLiteral("listing line not understood: %1").arg(QString::fromLatin1(answer.lines.at(i))));
            continue;
        }
        items << StoredItem{header->index, header->stat, answer.pdus.value(i)};
    }
    return items;
}

PellixGsmModem::Deletion PellixGsmModem::deleteRead(const QList<StoredRef> &items, quint64 connection)
{
    // The items were decoded and are being handed over: nothing here may fail the read, or those
    // already deleted would be lost with the error. A refused delete leaves its item on the SIM,
    // which loses nothing; a closed connection (or a new one) ends the deleting. After a restart
    // the rest are deleted once the modem is set up again: a restart moves no stored item. The
    // delete it interrupted is not sent again, since its place may hold a new message by now.
    // What was left is told, so that nobody reports as deleted what is still stored.
    Deletion result;
    for (const StoredRef &item : items) {
        const qint16 location = locationIn(item.storage, item.index);
        if (m_connection != connection || m_status != Connected) {
            result.remaining << location;
            if (!result.failure)
                result.failure = libraryError(ErrorCode::NotConnected, QStringLiteral("the connection was closed"));
            continue;
        }
        bool sent = false;
        try {
            recoverIfRestarted();
            selectStorage(item.storage);
            sent = true;
            command("AT+CMGD=" + num(item.index), localTimeout());
            result.deleted << location;
        } catch (const RaisedError &error) {
            note(QStringLiteral("could not delete %1 %2: %3")
                     .arg(QString::fromLatin1(item.storage)).arg(item.index).arg(error.description()));
            // A delete that got no answer may have been carried out all the same.
            const bool unanswered = error.number() == libraryErrorNumber(quint16(ErrorCode::Timeout))
                || error.number() == libraryErrorNumber(quint16(ErrorCode::ConnectionLost));
            (sent && unanswered ? result.unconfirmed : result.remaining) << location;
            // The end of the connection explains what is left better than a refusal before it.
            if (!result.failure || error.number() == libraryErrorNumber(quint16(ErrorCode::ConnectionLost)))
                result.failure = error;
        }
    }
    return result;
}

QList<ReceivedMessage> PellixGsmModem::ReadMessages(qint32 filter, bool deleteAfterReading)
{
    return ReadMessages(filter, deleteAfterReading, HandOver<ReceivedMessage>());
}

QList<ReceivedMessage> PellixGsmModem::ReadMessages(qint32 filter, bool deleteAfterReading,
                                                    const HandOver<ReceivedMessage> &handOver, Deletion *deletion)
{
    Operation op(*this);
    requireConnected();
    const quint64 connection = m_connection;
    QList<ReceivedMessage> messages;
    QList<StoredRef> decoded;
    for (const QByteArray &storage : messageStorages()) {
        if (!selectReportStorage(storage, true))
            continue;
        for (const StoredItem &item : listStored(filter)) {
            const qint16 location = locationIn(storage, item.index);
            const DecodedItem d = decodeItem(item.pdu, location, item.stat == 0);
            if (d.message) {
                messages << *d.message;
                decoded << StoredRef{storage, item.index};
            } else if (!d.type || d.type == pdu::PduType::Deliver) {
                note(QStringLiteral("message %1 in %2 does not decode: %3")
                         .arg(item.index).arg(QString::fromLatin1(storage), d.error));
                messages << undecodable(item.pdu, location, item.stat == 0);
            }
            // Status reports and stored outgoing messages have their own readers.
        }
    }
    const bool handedOver = !handOver || handOver(messages);
    if (deleteAfterReading && handedOver) {
        Deletion done = deleteRead(decoded, connection);
        if (deletion)
            *deletion = std::move(done);
    }
    return messages;
}

QList<SmsStatusReport> PellixGsmModem::ReadStatusReports(qint32 filter, bool deleteAfterReading)
{
    return ReadStatusReports(filter, deleteAfterReading, HandOver<SmsStatusReport>());
}

QList<SmsStatusReport> PellixGsmModem::ReadStatusReports(qint32 filter, bool deleteAfterReading,
                                                         const HandOver<SmsStatusReport> &handOver, Deletion *deletion)
{
    Operation op(*this);
    requireConnected();
    const quint64 connection = m_connection;
    // Modems that have a report storage do not all use it: some keep reports among the messages
    // until the client has chosen "SR". Both are read, so that no report is left unseen, and only
    // then is anything deleted: a failure on the second must not lose what the first gave.
    QList<SmsStatusReport> reports;
    QList<StoredRef> decoded;
    for (const QByteArray &storage : storages()) {
        if (!selectReportStorage(storage, true))
            continue;
        // Listing REC UNREAD marks every unread message read (27.005 3.4.2), those of the
        // operator among the reports; ALL leaves them so on most modems, and the unread reports
        // are picked out here.
        const bool unreadOnly = filter == 1;
        for (const StoredItem &item : listStored(unreadOnly ? 0 : filter)) {
            if (unreadOnly && item.stat != 0)
                continue;
            const DecodedItem d = decodeItem(item.pdu, locationIn(storage, item.index), item.stat == 0);
            if (d.report) {
                reports << *d.report;
                decoded << StoredRef{storage, item.index};
            } else if (d.type == pdu::PduType::StatusReport || (!d.type && storage != m_profile->messageStorage)) {
                // A report that does not decode stays where it is; ReadMessages shows nothing of
                // it either, so it is named in the trace.
                note(QStringLiteral("report %1 in %2 does not decode: %3")
                         .arg(item.index).arg(QString::fromLatin1(storage), d.error));
            }
        }
    }
    const bool handedOver = !handOver || handOver(reports);
    if (deleteAfterReading && handedOver) {
        Deletion done = deleteRead(decoded, connection);
        if (deletion)
            *deletion = std::move(done);
    }
    return reports;
}

void PellixGsmModem::DeleteMessage(qint16 simLocation)
{
    Operation op(*this);
    requireConnected();
    const std::optional<StoredRef> item = storedAt(simLocation);
    if (!item)
        raise(ErrorCode::InvalidArgument, QStringLiteral("location %1 names no stored message").arg(simLocation));
    const QString where = QStringLiteral("%1 %2").arg(QString::fromLatin1(item->storage)).arg(item->index);
    selectStorage(item->storage);
    // Most modems answer OK to +CMGD of an empty place (27.005 leaves it open): only a read tells
    // whether the location holds an item, and a number that names none is the operator's mistake.
    const QByteArray read = "AT+CMGR=" + num(item->index);
    const AtResponse held = exec(AtCommand::withPdus(read, "+CMGR:", listTimeout()), false);
    const auto header = held.lines.isEmpty() ? std::nullopt : replies::readMessage(held.lines.first());
    // An empty place answers +CMS ERROR: 321, OK alone (Cinterion), or "+CMGR: 0,,0" with no PDU
    // (Siemens MC35, as gammu and smstools know it).
    const bool empty = (held.final == FinalCode::CmsError && held.errorCode == 321)
        || (held.ok() && (held.lines.isEmpty() || (header && header->length == 0 && held.pdus.value(0).isEmpty())));
    if (empty)
        raise(ErrorCode::InvalidArgument, QStringLiteral("location %1 holds no message (%2 is empty)").arg(simLocation).arg(where));
    if (!held.ok())
        AtChannel::raiseFor(held, read);
    try {
        command("AT+CMGD=" + num(item->index), localTimeout());
    } catch (const RaisedError &error) {
        // Reading an unread message marks it read (27.005 3.4.3), and no command marks it unread
        // again: the operator learns why it no longer shows as new.
        if (!header || header->stat != 0)
            throw;
        throw RaisedError(error.number(), error.source(),
                          QStringLiteral("%1; the message is still stored, but the read that checked the location "
                                         "has marked it read").arg(error.description()));
    }
}

void PellixGsmModem::DeleteAllMessages()
{
    Operation op(*this);
    requireConnected();
    // Reports in a storage of their own are stored items as well: "all" leaves none behind, as on
    // modems that keep them among the messages; nor does it leave what ReadMessages shows from
    // the phone memory.
    QList<QByteArray> all = storages();
    for (const QByteArray &storage : messageStorages()) {
        if (!all.contains(storage))
            all << storage;
    }
    for (const QByteArray &storage : all) {
        if (!selectReportStorage(storage, true))
            continue;
        // <delflag> 4 (27.005 3.5.4) is missing on older phones; they get one delete per listed item.
        if (tryCommand("AT+CMGD=1,4", QByteArray(), listTimeout()).final == FinalCode::Ok)
            continue;
        for (const StoredItem &item : listStored(0))
            command("AT+CMGD=" + num(item.index), localTimeout());
    }
}

} // namespace pellix
