// SPDX-License-Identifier: GPL-3.0-or-later
#include "environment.h"

#include "connection/modemfactory.h"
#include "profiles/modemprofile.h"
#include "transport/serialtransport.h"

namespace cli {

std::unique_ptr<pellix::PellixGsmModem> makeLibraryModem(const ModemRequest &request)
{
    if (request.devicePath.isEmpty())
        return pellix::makePellixGsmModem();
    const QString path = request.devicePath;
    return std::make_unique<pellix::PellixGsmModem>(
        [path](qint32, const pellix::ModemProfile &profile, qint16, qint32 baudRate) -> std::unique_ptr<pellix::ByteTransport> {
            auto serial = std::make_unique<pellix::SerialTransport>();
            serial->openDevice(path, path, baudRate > 0 ? baudRate : profile.baudRate, profile.slowWrite);
            return serial;
        });
}

} // namespace cli
