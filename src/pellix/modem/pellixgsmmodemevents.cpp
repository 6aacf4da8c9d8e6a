// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixgsmmodem.h"
#include "pellixgsmmodem_p.h"

#include "at/atchannel.h"
#include "at/atreplies.h"
#include "hexdigits.h"
#include "pellixerror.h"
#include "profiles/modemprofile.h"
#include "raisederror.h"

#include <QMetaObject>
#include <QScopedValueRollback>

#include <algorithm>

namespace pellix {

using detail::decodeItem;
using detail::DecodedItem;
using detail::num;
using detail::undecodable;

namespace {

// The data line of a +CMT/+CDS or +CMGR: whole octets in hex. Anything else is not a PDU but a line
// that came where one was awaited (noise, or the PDU was cut).
bool isPduLine(const QByteArray &line)
{
    return !line.isEmpty() && line.size() % 2 == 0 && allHexDigits(line);
}

// A <mem> of 27.005 3.1 ("SM", "ME", "SR", ...): two letters. The name goes into AT+CPMS; from a
// noisy line it could carry anything into the command.
bool isStorageName(const QByteArray &name)
{
    return name.size() == 2 && std::all_of(name.begin(), name.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

} // namespace

void PellixGsmModem::absorbUnsolicited()
{
    if (!m_channel)
        return;
    const QList<Unsolicited> codes = m_channel->takeUnsolicited();
    for (const Unsolicited &code : codes)
        handle(code);
    // A restart that ended a command is taken care of from the event loop, once the channel is idle.
    if (m_inbound.hasEvents() || m_inbound.hasIndicated() || restartToCheck())
        scheduleDelivery();
}

void PellixGsmModem::handle(const Unsolicited &code)
{
    switch (code.kind) {
    case UnsolicitedKind::Cmt:
    case UnsolicitedKind::Cds:
        handleRouted(code);
        break;
    case UnsolicitedKind::Cmti:
    case UnsolicitedKind::Cdsi:
        // Stored and indicated: fetched once no command runs. In receive mode 0 they stay put.
        if (code.index < 0)
            note(QStringLiteral("indication without a location ignored: %1").arg(QString::fromLatin1(code.line)));
        else if (!code.storage.isEmpty() && !isStorageName(code.storage.toUpper()))
            note(QStringLiteral("indication with a malformed storage name ignored: %1").arg(QString::fromLatin1(code.line)));
        else {
            // A message kept where the storages asked for were full: listings look there too.
            if (code.kind == UnsolicitedKind::Cmti && !code.storage.isEmpty())
                m_storages.indicatedIn(code.storage.toUpper());
            if (m_receiveMode == 2)
                m_inbound.indicated(StoredRef{code.storage.toUpper(), code.index});
        }
        break;
    case UnsolicitedKind::Ring:
        m_inbound.ring(m_callerId);
        break;
    case UnsolicitedKind::Clip:
        if (!m_inbound.callerNumber(callerNumber(code.line)))
            note(QStringLiteral("caller number without a ring ignored: %1").arg(QString::fromLatin1(code.line)));
        break;
    default:
        break;
    }
}

QString PellixGsmModem::callerNumber(const QByteArray &clip) const
{
    // +CLIP: <number>,<type>,...: in the modem's own set (hex in UCS2 on most modems), and
    // type 145 without its "+" on some (27.007 7.6).
    const QList<QByteArray> f = replies::fields(clip, "+CLIP");
    const QByteArray field = f.value(0);
    const bool own = m_text && m_text->connection == m_connection;
    const phonebook::Charset set = !own ? phonebook::Charset::Unknown : m_text->inSet ? m_text->set : m_text->own;
    const QString number = phonebook::decodeNumber(field, set);
    const int type = replies::number(f, 1).value_or(number.startsWith(QLatin1Char('+')) ? 145 : 129);
    return replies::internationalNumber(number, type);
}

void PellixGsmModem::handleRouted(const Unsolicited &code)
{
    const bool report = code.kind == UnsolicitedKind::Cds;
    // A modem that waits for acknowledgements waits for one per routed code, whatever follows:
    // positive for what is handed over, negative (RP-ERROR, the network delivers it again) for
    // what is not. A positive one for an item nobody got would lose it.
    bool handedOver = false;
    // A code without a PDU line behind it is noise, or its PDU was cut: there is nothing to hand over.
    if (!isPduLine(code.pdu)) {
        note(QStringLiteral("%1 without a PDU ignored").arg(QString::fromLatin1(code.line)));
    } else if (const DecodedItem d = decodeItem(code.pdu, -1, true); report && d.report) {
        m_inbound.queue(*d.report);
        handedOver = true;
    } else if (report) {
        note(QStringLiteral("routed status report does not decode: %1").arg(d.error));
    } else if (d.message) {
        m_inbound.queue(*d.message);
        handedOver = true;
    } else {
        note(QStringLiteral("routed message does not decode: %1").arg(d.error));
        m_inbound.queue(undecodable(code.pdu, -1, true));
        handedOver = true;
    }
    if (m_acknowledge)
        m_inbound.oweAcknowledgement(handedOver);
}

void PellixGsmModem::scheduleDelivery()
{
    if (!m_inbound.requestDelivery())
        return;
    QMetaObject::invokeMethod(this, &PellixGsmModem::deliverEvents, Qt::QueuedConnection);
}

void PellixGsmModem::fetchIndicated()
{
    // After a restart the modem is set up again first (the next delivery): its storage selection
    // is gone.
    while (m_inbound.hasIndicated() && m_status == Connected && !restartToCheck()) {
        const StoredRef indicated = m_inbound.takeIndicated();
        const QByteArray storage = indicated.storage.isEmpty() ? m_profile->messageStorage : indicated.storage;
        const quint64 connection = m_connection;
        Operation op(*this);
        try {
            selectStorage(storage);
            const AtResponse answer =
                exec(AtCommand::withPdus("AT+CMGR=" + num(indicated.index), "+CMGR:", listTimeout()), true);
            const QByteArray hex = answer.pdus.value(0);
            if (!isPduLine(hex)) {
                note(QStringLiteral("indicated item %1 came without a PDU").arg(indicated.index));
                continue;
            }
            const DecodedItem d = decodeItem(hex, locationIn(storage, indicated.index), true);
            if (d.report)
                m_inbound.queue(*d.report);
            else if (d.message)
                m_inbound.queue(*d.message);
            else if (d.type == pdu::PduType::StatusReport)
                note(QStringLiteral("report %1 does not decode: %2").arg(indicated.index).arg(d.error));
            else
                m_inbound.queue(undecodable(hex, locationIn(storage, indicated.index), true));
            // Queued, it is handed over in this same delivery, before anything else can run.
            const bool handedOver = d.report || d.message;
            if (handedOver && m_autoDelete)
                deleteRead({StoredRef{storage, indicated.index}}, connection);
        } catch (const RaisedError &error) {
            note(QStringLiteral("could not fetch indicated item %1: %2").arg(indicated.index).arg(error.description()));
            // Fetched once the modem is set up again, unless its unread items are handed over then.
            if (error.number() == libraryErrorNumber(quint16(ErrorCode::ModemRestarted)))
                m_inbound.fetchAgain(indicated);
        }
    }
}

void PellixGsmModem::acknowledgeRouted()
{
    // 27.005 3.4.4: with +CSMS=1 the network waits for the TE's acknowledgement of each routed
    // message; without it the modem stops routing and the network retries. The events queued
    // with these codes are handed over in this same delivery, before anything else can run.
    while (m_status == Connected) {
        const std::optional<bool> handedOver = m_inbound.takeAcknowledgement();
        if (!handedOver)
            break;
        Operation op(*this);
        try {
            command(*handedOver ? QByteArray("AT+CNMA") : QByteArray("AT+CNMA=2"), localTimeout());
        } catch (const RaisedError &error) {
            note(QStringLiteral("acknowledgement refused: %1").arg(error.description()));
        }
    }
    m_inbound.forgetAcknowledgements();
}

void PellixGsmModem::deliverEvents()
{
    m_inbound.deliveryStarts();
    if (m_depth > 0 || m_inbound.delivering()) {
        // An operation or a delivery is under way (a handler called back into the modem, or runs
        // an event loop of its own); what is pending is delivered once it has finished.
        return;
    }
    const QScopedValueRollback delivering(m_inbound.delivering(), true);
    {
        // The library's own work: an error here reaches nobody but ConnectionEndReason.
        const QScopedValueRollback background(m_background, true);
        if (m_channel) {
            for (const Unsolicited &code : m_channel->takeUnsolicited())
                handle(code);
        }
        if (restartToCheck()) {
            Operation op(*this);
            try {
                recoverIfRestarted();
            } catch (const RaisedError &error) {
                note(QStringLiteral("after the restart: %1").arg(error.description()));
            }
        }
        acknowledgeRouted();
        fetchIndicated();
    }
    while (const std::optional<InboundEvents::Event> next = m_inbound.takeEvent()) {
        const InboundEvents::Event &event = *next;
        if (const auto *message = std::get_if<ReceivedMessage>(&event))
            Q_EMIT MessageReceived(*message);
        else if (const auto *report = std::get_if<SmsStatusReport>(&event))
            Q_EMIT StatusReport(*report);
        else if (const auto *caller = std::get_if<PhoneNumber>(&event))
            Q_EMIT Ring(*caller);
    }
    // What came while the handlers ran, and was turned away above, is delivered in turn.
    if (m_inbound.hasIndicated() || (m_channel && m_channel->queuedUnsolicited() > 0) || restartToCheck())
        scheduleDelivery();
}

} // namespace pellix
