// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gsmmodem.h"

#include <QByteArray>
#include <QList>
#include <QTimer>

#include <functional>
#include <optional>
#include <variant>

namespace pellix {

// An item the modem keeps: its storage (empty: the message storage) and its index there.
struct StoredRef
{
    QByteArray storage;
    int index;
};

// What the modem says unasked, on its way to the handlers of the GsmModem events: the events in
// the order they came, the acknowledgement each routed item is owed, the indicated items still to
// fetch, and a RING that waits for its +CLIP. The handlers hear it from the event loop only, so
// that none runs inside an operation; the modem that owns this asks for that delivery.
class InboundEvents
{
public:
    using Event = std::variant<ReceivedMessage, SmsStatusReport, PhoneNumber>;

    // ringGivenUp: a RING waited for its number in vain and is queued without one.
    explicit InboundEvents(std::function<void()> ringGivenUp);

    void queue(Event event) { m_events.append(std::move(event)); }
    bool hasEvents() const { return !m_events.isEmpty(); }
    std::optional<Event> takeEvent();

    // A RING; waitForNumber: +CLIP was asked for, so its number may still come. A ring that was
    // still waiting had none.
    void ring(bool waitForNumber);
    // A +CLIP with the caller's number; false, and nothing queued, when no RING waits for one.
    bool callerNumber(const QString &number);

    // A routed +CMT/+CDS owes its acknowledgement: positive when handed over, negative else.
    void oweAcknowledgement(bool handedOver) { m_acks.append(handedOver); }
    std::optional<bool> takeAcknowledgement();
    // A modem that restarted, or a connection that ended, waits for none.
    void forgetAcknowledgements() { m_acks.clear(); }

    void indicated(StoredRef item) { m_indicated.append(std::move(item)); }
    bool hasIndicated() const { return !m_indicated.isEmpty(); }
    StoredRef takeIndicated() { return m_indicated.takeFirst(); }
    // A fetch that a restart interrupted: first again once the modem is set up.
    void fetchAgain(StoredRef item) { m_indicated.prepend(std::move(item)); }
    // Items handed over another way are fetched no more.
    void forgetIndicated(const std::function<bool(const StoredRef &)> &handedOver) { m_indicated.removeIf(handedOver); }

    // The connection ends: what was said before is still said (a waiting ring rings without its
    // number), but nothing is owed to a modem nor fetched from it any more.
    void endConnection();

    // Whether a delivery is asked for already; true when this call asked for it.
    bool requestDelivery() { return !std::exchange(m_deliveryRequested, true); }
    void deliveryStarts() { m_deliveryRequested = false; }
    // Set while the handlers run: a handler's own event loop delivers nothing in between.
    bool &delivering() { return m_delivering; }

private:
    QList<Event> m_events;
    QList<bool> m_acks;              // per routed item still to acknowledge, in order
    QList<StoredRef> m_indicated;    // +CMTI/+CDSI storage and index still to fetch
    bool m_ringPending = false;      // a RING whose +CLIP may still come
    QTimer m_ringTimer;
    std::function<void()> m_ringGivenUp;
    bool m_deliveryRequested = false;
    bool m_delivering = false;
};

} // namespace pellix
