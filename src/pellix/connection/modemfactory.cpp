// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemfactory.h"

#include "modemtransports.h"

namespace pellix {

std::unique_ptr<PellixGsmModem> makePellixGsmModem(QObject *parent)
{
    return std::make_unique<PellixGsmModem>(modemTransports(), parent);
}

std::unique_ptr<GsmModem> createGsmModem(QObject *parent)
{
    return makePellixGsmModem(parent);
}

} // namespace pellix
