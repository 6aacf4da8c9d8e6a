// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "environment.h"
#include "exportermetrics.h"

#include <QSet>

#include <functional>

namespace cli {

// A modem that answered AT on a port that appeared while the exporter ran.
struct FoundModem
{
    pellix::SerialPortDescription port;
    QString imei; // empty when the modem did not tell it
};

// The serial ports for exporter --all, looked at every interval: a modem plugged in after the
// start (a service started before USB enumerates, a bench that grows) is found. A port is probed
// once, when it appears, and not every interval after: another device (a GPS on a ttyUSB) is not
// sent AT every interval. A port that another program held was not reached, so it is tried again.
class ExporterScanner
{
public:
    using ListPorts = std::function<QList<pellix::SerialPortDescription>()>;
    using ProbePort = std::function<pellix::PortProbeResult(const pellix::SerialPortDescription &, qint32 baudRate)>;
    using Watched = std::function<QList<ModemMetrics>()>;

    // Empty listPorts, probePort: this machine's ports, opened for real.
    ExporterScanner(ListPorts listPorts, ProbePort probePort, qint32 baudRate);

    // Ports probed already (at the start): not probed again while they stay.
    void probedAlready(const QList<pellix::SerialPortDescription> &ports);

    // One look at the ports. watched: the modems watched now, asked again before each probe, as a
    // poller may take a port meanwhile. A port a watched modem holds is not probed (AT there
    // would cut into its connection); a modem whose IMEI is watched already is not found again:
    // it came back on another port, and its own poller finds it there.
    QList<FoundModem> look(const Watched &watched);

private:
    ListPorts m_listPorts;
    ProbePort m_probePort;
    qint32 m_baudRate;
    QSet<QString> m_seen;
};

// Whether port is the one a watched modem's label names: "COM5", the device path or a link to it.
bool portHeld(const ModemMetrics &modem, const pellix::SerialPortDescription &port);

} // namespace cli
