// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>

#include <optional>

namespace pellix::sim {

// The module's own real-time clock (27.007 8.15 +CCLK): it runs with the network's time until a
// client sets it, and then keeps the offset and the zone it was given.
class ModuleClock
{
public:
    // <time> as "yy/MM/dd,hh:mm:ss±zz", the zone in quarter hours, quoted.
    QByteArray read(const QDateTime &networkTime) const;
    // Takes a <time> as read() gives it; false when it is not one.
    bool set(const QByteArray &text, const QDateTime &networkTime);

private:
    qint64 m_offsetSecs = 0;
    std::optional<int> m_zoneSecs;
};

} // namespace pellix::sim
