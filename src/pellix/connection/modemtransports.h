// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/pellixgsmmodem.h"

#include <QtGlobal>

#include <functional>
#include <memory>

namespace pellix {

class ByteTransport;
struct ModemProfile;
namespace sim { class VirtualModem; }

// The transport of a connection: the in-process virtual modem for type -1 (made on demand by
// virtualModem, so that one modem, and its SIM, serves every connection of a run), the serial
// port of COM `port` for any other type. Raises the library's open errors.
std::unique_ptr<ByteTransport> openModemTransport(qint32 modemType, const ModemProfile &profile, qint16 port,
                                                  qint32 baudRate,
                                                  const std::function<std::shared_ptr<sim::VirtualModem>()> &virtualModem);

// The virtual modem of modem type -1, seeded from the time so that runs differ.
std::shared_ptr<sim::VirtualModem> makeVirtualModem();

// openModemTransport as a modem's factory, with a virtual modem of its own made on first use and
// kept across its connections, so that its SIM keeps what it stored.
PellixGsmModem::TransportFactory modemTransports();

} // namespace pellix
