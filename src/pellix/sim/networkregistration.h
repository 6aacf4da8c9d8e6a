// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace pellix::sim {

struct FieldBehaviour;

// The radio and its place on the network: +CFUN, the circuit and packet registration of 27.007
// 7.2 and 10.1.20 (one network, one cell) and the packet attach. The modem is reachable with the
// radio on, the SIM open, no restart under way and a network that takes it (FieldBehaviour::
// registration: a denied or searching modem stays off the network with its radio on).
class NetworkRegistration
{
public:
    struct Links
    {
        std::function<bool()> restarting;
        std::function<bool()> simReady;
        // The presentation <n> of +CREG, +CGREG and +CEREG the client chose.
        std::function<int()> cregPresentation;
        std::function<int()> cgregPresentation;
        std::function<int()> ceregPresentation;
        std::function<void(const QByteArray &)> unsolicited;
        std::function<void(const QString &)> note;
        // On the network again: what the centre kept may come now.
        std::function<void()> registered;
    };

    // 27.007 7.2 <stat>.
    enum Stat { NotRegistered = 0, Home = 1, Searching = 2, Denied = 3, Unknown = 4, Roaming = 5 };

    NetworkRegistration(const FieldBehaviour &field, Links links);

    bool reachable() const;
    // Follows reachable(), saying so with +CREG/+CGREG/+CEREG where the client asked for it.
    void update();
    // At power-up the modem starts where it is, without announcing it.
    void settle() { m_stat = currentStat(); }
    bool registered() const { return m_stat == Home || m_stat == Roaming; }
    Stat stat() const { return m_stat; }
    // The read answer of prefix ("+CREG", "+CGREG", "+CEREG") for presentation <n>: "n,stat"
    // and with n = 2 the cell; unsolicited, the same without n.
    QByteArray answer(const QByteArray &prefix, int presentation, bool unsolicited) const;

    int functionality() const { return m_functionality; }
    void setFunctionality(int fun) { m_functionality = fun; }
    bool attached() const { return m_attached && registered(); }
    // 27.007 10.1.9: attaching needs the circuit registration; false when refused.
    bool setAttached(bool attached);

private:
    Stat currentStat() const;

    const FieldBehaviour &m_field;
    Links m_links;
    int m_functionality = 1;
    Stat m_stat = NotRegistered;
    bool m_attached = true;
};

} // namespace pellix::sim
