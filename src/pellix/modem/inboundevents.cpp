// SPDX-License-Identifier: GPL-3.0-or-later
#include "inboundevents.h"

#include <utility>

namespace pellix {

namespace {

// A RING is followed by its +CLIP within a few milliseconds; waiting longer would only delay the
// event of a modem that does not send one.
constexpr int ClipGraceMs = 250;

const PhoneNumber UnknownCaller{QString(), 1};

} // namespace

InboundEvents::InboundEvents(std::function<void()> ringGivenUp)
    : m_ringGivenUp(std::move(ringGivenUp))
{
    m_ringTimer.setSingleShot(true);
    m_ringTimer.setInterval(ClipGraceMs);
    QObject::connect(&m_ringTimer, &QTimer::timeout, &m_ringTimer, [this] {
        if (!std::exchange(m_ringPending, false))
            return;
        queue(UnknownCaller);
        if (m_ringGivenUp)
            m_ringGivenUp();
    });
}

std::optional<InboundEvents::Event> InboundEvents::takeEvent()
{
    if (m_events.isEmpty())
        return std::nullopt;
    return m_events.takeFirst();
}

void InboundEvents::ring(bool waitForNumber)
{
    if (m_ringPending)
        queue(UnknownCaller);
    m_ringPending = waitForNumber;
    if (waitForNumber)
        m_ringTimer.start();
    else
        queue(UnknownCaller);
}

bool InboundEvents::callerNumber(const QString &number)
{
    // 27.007 7.6: +CLIP follows the RING it belongs to. One that comes alone, after its ring was
    // given up on, or although it was not asked for, is no call of its own.
    if (!m_ringPending)
        return false;
    m_ringTimer.stop();
    m_ringPending = false;
    queue(PhoneNumber{number, 1});
    return true;
}

std::optional<bool> InboundEvents::takeAcknowledgement()
{
    if (m_acks.isEmpty())
        return std::nullopt;
    return m_acks.takeFirst();
}

void InboundEvents::endConnection()
{
    if (std::exchange(m_ringPending, false))
        queue(UnknownCaller);
    m_ringTimer.stop();
    m_indicated.clear();
    m_acks.clear();
}

} // namespace pellix
