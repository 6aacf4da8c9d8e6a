// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/portprobe.h"
#include "transport/serialportdescription.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;

namespace pellix {
class PellixGsmModem;
}

namespace cli {

// What a modem is asked for: the modem-type code, and --device / --baud as given (empty, 0 when
// not). A --port goes to Connect, not here.
struct ModemRequest
{
    static constexpr qint32 VirtualModemType = -1;
    // The profile of a modem that a --port or --device names without --type: the built-in one
    // that keeps every standard setting (27.007/27.005 as written, SIM storage, 115200 baud).
    static constexpr qint32 StandardModemType = 1;

    // Standard unless asked: a request that forgot its type opens its port, never the virtual
    // modem in the port's place.
    qint32 modemType = StandardModemType;
    QString devicePath;
    qint32 baudRate = 0;
};

// Everything pellix takes from outside, so that tests run it in-process: the streams, the modem
// (the real library on a real port, or a virtual modem of the test's), and how time passes while a
// command waits for the modem's events.
struct Environment
{
    QIODevice *out = nullptr;
    QIODevice *err = nullptr;
    // Lines of progress on stderr (only when it is a terminal).
    bool progress = false;
    std::function<std::unique_ptr<pellix::PellixGsmModem>(const ModemRequest &)> makeModem;
    // Empty: waiting runs the event loop in real time. Set: each step of a wait calls it with the
    // milliseconds that should pass (a test moves the virtual modem's manual clock), then delivers
    // the events that became due.
    std::function<void(int ms)> passTime;
    // The serial ports present, and the probe of one at a speed. Empty: this machine's ports,
    // opened for real.
    std::function<QList<pellix::SerialPortDescription>()> listPorts;
    std::function<pellix::PortProbeResult(const pellix::SerialPortDescription &, qint32 baudRate)> probePort;
};

// The real library: PellixGsmModem on a COM port or the in-process virtual modem, or, for a
// --device, on that device opened directly at --baud or the profile's speed.
std::unique_ptr<pellix::PellixGsmModem> makeLibraryModem(const ModemRequest &request);

} // namespace cli
