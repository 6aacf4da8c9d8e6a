// SPDX-License-Identifier: GPL-3.0-or-later
#include "networkregistration.h"
#include "virtualmodem_p.h"

namespace pellix::sim {

using detail::registrationState;

NetworkRegistration::NetworkRegistration(Links links)
    : m_links(std::move(links))
{
}

bool NetworkRegistration::reachable() const
{
    return !m_links.restarting() && m_functionality == 1 && m_links.simReady();
}

void NetworkRegistration::update()
{
    const bool registered = reachable();
    if (registered == m_registered)
        return;
    m_registered = registered;
    m_links.note(registered ? QStringLiteral("registered on the network") : QStringLiteral("left the network"));
    if (const int creg = m_links.cregPresentation())
        m_links.unsolicited("+CREG: " + registrationState(creg, registered));
    if (const int cgreg = m_links.cgregPresentation())
        m_links.unsolicited("+CGREG: " + registrationState(cgreg, registered));
    if (registered)
        m_links.registered();
}

bool NetworkRegistration::setAttached(bool attached)
{
    if (attached && !m_registered)
        return false;
    m_attached = attached;
    return true;
}

} // namespace pellix::sim
