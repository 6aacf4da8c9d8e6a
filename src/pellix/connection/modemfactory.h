// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/pellixgsmmodem.h"

#include <memory>

namespace pellix {

// The library's modem on the transports of modemTransports: the serial port, or the virtual
// modem for type -1.
std::unique_ptr<PellixGsmModem> makePellixGsmModem(QObject *parent = nullptr);

// The modem object the console creates.
std::unique_ptr<GsmModem> createGsmModem(QObject *parent = nullptr);

} // namespace pellix
