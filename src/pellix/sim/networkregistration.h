// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace pellix::sim {

// The radio and its place on the network: +CFUN, the circuit and packet registration of 27.007
// 7.2 and 10.1.20 (one network, one cell) and the packet attach. The modem is reachable with the
// radio on, the SIM open and no restart under way.
class NetworkRegistration
{
public:
    struct Links
    {
        std::function<bool()> restarting;
        std::function<bool()> simReady;
        // The presentation <n> of +CREG and +CGREG the client chose.
        std::function<int()> cregPresentation;
        std::function<int()> cgregPresentation;
        std::function<void(const QByteArray &)> unsolicited;
        std::function<void(const QString &)> note;
        // On the network again: what the centre kept may come now.
        std::function<void()> registered;
    };

    explicit NetworkRegistration(Links links);

    bool reachable() const;
    // Follows reachable(), saying so with +CREG/+CGREG where the client asked for it.
    void update();
    // At power-up the modem starts where it is, without announcing it.
    void settle() { m_registered = reachable(); }
    bool registered() const { return m_registered; }

    int functionality() const { return m_functionality; }
    void setFunctionality(int fun) { m_functionality = fun; }
    bool attached() const { return m_attached && m_registered; }
    // 27.007 10.1.9: attaching needs the circuit registration; false when refused.
    bool setAttached(bool attached);

private:
    Links m_links;
    int m_functionality = 1;
    bool m_registered = false;
    bool m_attached = true;
};

} // namespace pellix::sim
