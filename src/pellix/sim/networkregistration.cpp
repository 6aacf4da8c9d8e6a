// SPDX-License-Identifier: GPL-3.0-or-later
#include "networkregistration.h"
#include "virtualmodem_p.h"

#include "fieldbehaviour.h"

namespace pellix::sim {

using detail::num;

namespace {

// The one cell of the network: 27.007 <lac>/<tac> two octets, <ci> two octets on GERAN and
// 28 bits on E-UTRAN, all in hex.
constexpr char Area[] = "\"1A2B\"";
constexpr char CellId[] = "\"00C3D4\"";
constexpr char EutranCellId[] = "\"01A2C3D4\"";
constexpr int Eutran = 7;

} // namespace

NetworkRegistration::NetworkRegistration(const FieldBehaviour &field, Links links)
    : m_field(field)
    , m_links(std::move(links))
{
}

NetworkRegistration::Stat NetworkRegistration::currentStat() const
{
    if (m_links.restarting() || m_functionality != 1 || !m_links.simReady())
        return NotRegistered;
    switch (m_field.registration) {
    case FieldBehaviour::Registration::Home:
        return Home;
    case FieldBehaviour::Registration::Roaming:
        return Roaming;
    case FieldBehaviour::Registration::Searching:
        return Searching;
    case FieldBehaviour::Registration::Denied:
        return Denied;
    case FieldBehaviour::Registration::None:
        break;
    }
    return NotRegistered;
}

bool NetworkRegistration::reachable() const
{
    const Stat stat = currentStat();
    return stat == Home || stat == Roaming;
}

QByteArray NetworkRegistration::answer(const QByteArray &prefix, int presentation, bool unsolicited) const
{
    QByteArray line = prefix + ": ";
    if (!unsolicited)
        line += num(presentation) + ',';
    line += num(m_stat);
    // The cell is known only where the modem camps on it.
    if (presentation == 2 && registered()) {
        if (prefix == "+CEREG")
            line += QByteArray(",") + Area + ',' + EutranCellId + ',' + num(Eutran);
        else
            line += QByteArray(",") + Area + ',' + CellId;
    }
    return line;
}

void NetworkRegistration::update()
{
    const Stat stat = currentStat();
    if (stat == m_stat)
        return;
    const bool was = registered();
    m_stat = stat;
    if (registered() != was)
        m_links.note(registered() ? QStringLiteral("registered on the network") : QStringLiteral("left the network"));
    else
        m_links.note(QStringLiteral("registration state %1").arg(int(stat)));
    if (const int creg = m_links.cregPresentation())
        m_links.unsolicited(answer("+CREG", creg, true));
    if (const int cgreg = m_links.cgregPresentation())
        m_links.unsolicited(answer("+CGREG", cgreg, true));
    if (const int cereg = m_links.ceregPresentation())
        m_links.unsolicited(answer("+CEREG", cereg, true));
    if (registered() && !was)
        m_links.registered();
}

bool NetworkRegistration::setAttached(bool attached)
{
    if (attached && !registered())
        return false;
    m_attached = attached;
    return true;
}

} // namespace pellix::sim
