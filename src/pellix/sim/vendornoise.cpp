// SPDX-License-Identifier: GPL-3.0-or-later
#include "vendornoise.h"

namespace pellix::sim {

VendorNoise::VendorNoise(quint64 seed)
    : m_random(seed)
{
}

QByteArray VendorNoise::lines(int percent, const QByteArray &eol)
{
    if (!m_random.chance(percent))
        return {};
    QByteArray lines;
    for (int i = m_random.between(1, 2); i > 0; --i) {
        // Huawei (^RSSI, ^MODE, ^BOOT) and Quectel (+QIND) status lines, as such modules send them.
        QByteArray line;
        switch (m_random.between(0, 3)) {
        case 0: line = "^RSSI:" + QByteArray::number(m_random.between(0, 31)); break;
        case 1: line = "^MODE:5," + QByteArray::number(m_random.between(4, 8)); break;
        case 2: line = "+QIND: \"csq\"," + QByteArray::number(m_random.between(0, 31)) + ",99"; break;
        default: line = "^BOOT:" + QByteArray::number(m_random.between(10000000, 99999999)) + ",0,0,0,6"; break;
        }
        lines += eol + line + eol;
    }
    return lines;
}

} // namespace pellix::sim
