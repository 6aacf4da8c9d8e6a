// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemtransports.h"

#include "profiles/modemprofile.h"
#include "sim/virtualmodem.h"
#include "sim/virtualmodemtransport.h"
#include "transport/serialtransport.h"

#include <QDateTime>

namespace pellix {

std::unique_ptr<ByteTransport> openModemTransport(qint32 modemType, const ModemProfile &profile, qint16 port,
                                                  qint32 baudRate,
                                                  const std::function<std::shared_ptr<sim::VirtualModem>()> &virtualModem)
{
    if (modemType == -1)
        return std::make_unique<sim::VirtualModemTransport>(virtualModem());
    auto serial = std::make_unique<SerialTransport>();
    serial->open(port, baudRate, profile);
    return serial;
}

std::shared_ptr<sim::VirtualModem> makeVirtualModem()
{
    sim::VirtualModemOptions options;
    options.seed = quint64(QDateTime::currentMSecsSinceEpoch());
    return std::make_shared<sim::VirtualModem>(options);
}

PellixGsmModem::TransportFactory modemTransports()
{
    auto virtualModem = std::make_shared<std::shared_ptr<sim::VirtualModem>>();
    return [virtualModem](qint32 modemType, const ModemProfile &profile, qint16 port, qint32 baudRate) {
        return openModemTransport(modemType, profile, port, baudRate, [virtualModem] {
            if (!*virtualModem)
                *virtualModem = makeVirtualModem();
            return *virtualModem;
        });
    };
}

} // namespace pellix
