// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "environment.h"
#include "exportermetrics.h"

#include <QHash>

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
// when it appears. One that does not answer is probed again after 1, 2, 4, 8 and 16 looks, then
// left alone: a modem's port appears seconds before its firmware answers AT, while another
// device (a GPS on a ttyUSB) is not sent AT every interval. A port that another program held was
// not reached, so it is tried again at the next look.
class ExporterScanner
{
public:
    using ListPorts = std::function<QList<pellix::SerialPortDescription>()>;
    using ProbePort = std::function<pellix::PortProbeResult(const pellix::SerialPortDescription &, qint32 baudRate)>;
    using Watched = std::function<QList<ModemMetrics>()>;

    // Empty listPorts, probePort: this machine's ports, opened for real.
    ExporterScanner(ListPorts listPorts, ProbePort probePort, qint32 baudRate);

    // Ports probed already (at the start): the ones that did not answer are probed again as if
    // this had been the first look.
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
    // A port looked at, by its device key.
    struct Seen
    {
        int silentProbes = 0;   // probes without an answer
        qint64 nextLook = 0;    // the look at which it is probed again
        bool done = false;      // answered, held by a watched modem, or silent too often
    };
    static constexpr int SilentRetries = 5;

    QHash<QString, Seen> m_seen;
    qint64 m_look = 0;
};

// Whether port is the one a watched modem's label names: "COM5", the device path or a link to it.
bool portHeld(const ModemMetrics &modem, const pellix::SerialPortDescription &port);

} // namespace cli
