// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualnetwork.h"

namespace pellix::sim {

VirtualNetwork::VirtualNetwork(quint64 seed, const QString &ownNumber)
    : m_random(seed)
    , m_ownNumber(ownNumber.isEmpty() ? QLatin1String(OwnNumber) : ownNumber)
{
    m_rssi = m_random.between(14, 26);
    m_ber = m_random.between(0, 2);
    m_battery = m_random.between(70, 100);
}

void VirtualNetwork::step()
{
    if (m_fadeLeft > 0) {
        --m_fadeLeft;
        m_rssi = m_random.between(5, 9);
        m_ber = m_random.between(4, 7);
        if (m_fadeLeft == 0)
            m_rssi = m_random.between(12, 16);
        return;
    }
    if (m_random.chance(4)) {
        m_fadeLeft = m_random.between(2, 5);
        m_rssi = m_random.between(5, 9);
        m_ber = m_random.between(4, 7);
        return;
    }
    m_rssi = qBound(12, m_rssi + m_random.between(-2, 2), 28);
    m_ber = m_random.chance(10) ? 99 : m_random.between(0, 3);
}

VirtualNetwork::Signal VirtualNetwork::signalAt(qint64 ms)
{
    const qint64 steps = qMax<qint64>(0, ms / SignalStepMs);
    // A clock left running for days must not cost minutes here; the walk has no memory anyway.
    if (steps - m_signalSteps > 100000)
        m_signalSteps = steps - 100000;
    while (m_signalSteps < steps) {
        step();
        ++m_signalSteps;
    }
    return Signal{m_rssi, m_ber};
}

int VirtualNetwork::batteryAt(qint64 ms) const
{
    return qMax(5, m_battery - int(ms / 180000));
}

quint8 VirtualNetwork::nextMessageReference()
{
    m_lastReference = m_lastReference == 255 ? 1 : quint8(m_lastReference + 1);
    return m_lastReference;
}

bool VirtualNetwork::isOwnNumber(const QString &number) const
{
    QString digits = number;
    if (digits.startsWith(QLatin1Char('+')))
        digits.remove(0, 1);
    else if (digits.startsWith(QLatin1String("00")))
        digits.remove(0, 2);
    const QString own = m_ownNumber.startsWith(QLatin1Char('+')) ? m_ownNumber.mid(1) : m_ownNumber;
    if (digits.isEmpty())
        return false;
    return digits == own || (own.startsWith(QLatin1String("39")) && digits == own.mid(2));
}

int VirtualNetwork::refusal(const QString &number, quint8 typeOfAddress)
{
    if ((typeOfAddress & 0x70) == 0x50)
        return 195;
    QString digits = number;
    if (digits.startsWith(QLatin1Char('+')))
        digits.remove(0, 1);
    if (digits.isEmpty())
        return 195;
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 195;
    const bool international = number.startsWith(QLatin1Char('+')) || (typeOfAddress & 0x70) == 0x10;
    if (international && digits.startsWith(QLatin1Char('0')))
        return 1;
    return 0;
}

QList<VirtualNetwork::ReportStep> VirtualNetwork::deliveryReports(const QString &number)
{
    if (number.endsWith(QLatin1String("666")))
        return {{ReportDelayMs, 0x41}};
    if (number.endsWith(QLatin1String("999")))
        return {{ReportDelayMs, 0x21}, {FinalReportDelayMs, 0x00}};
    if (number.endsWith(QLatin1String("888")))
        return {{ReportDelayMs, 0x62}};
    return {{ReportDelayMs, 0x00}};
}

bool VirtualNetwork::asksForCall(const QString &text)
{
    const QString start = text.trimmed().left(7).toUpper();
    return start.startsWith(QLatin1String("RING")) || start == QLatin1String("CALL ME");
}

} // namespace pellix::sim
