// SPDX-License-Identifier: GPL-3.0-or-later
#include "exporterscanner.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace cli {
namespace {

bool sameDevice(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (QDir::cleanPath(a) == QDir::cleanPath(b))
        return true;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

// One device on one path. A path taken by another device since the last look (a replugged
// ttyUSB0 that is now another modem, a link that names a new pseudo-terminal) is another port,
// probed in its turn.
QString deviceKey(const pellix::SerialPortDescription &port)
{
    return QStringList{port.devicePath, QFileInfo(port.devicePath).canonicalFilePath(),
                       port.vendorId ? QString::number(*port.vendorId) : QString(),
                       port.productId ? QString::number(*port.productId) : QString(), port.serialNumber}
        .join(QLatin1Char('\n'));
}

} // namespace

bool portHeld(const ModemMetrics &modem, const pellix::SerialPortDescription &port)
{
    if (port.comNumber > 0 && modem.port == QStringLiteral("COM%1").arg(port.comNumber))
        return true;
    return sameDevice(modem.port, port.devicePath) || sameDevice(modem.port, port.byIdPath);
}

ExporterScanner::ExporterScanner(ListPorts listPorts, ProbePort probePort, qint32 baudRate)
    : m_listPorts(std::move(listPorts))
    , m_probePort(std::move(probePort))
    , m_baudRate(baudRate)
{
}

void ExporterScanner::probedAlready(const QList<pellix::SerialPortDescription> &ports)
{
    for (const pellix::SerialPortDescription &port : ports)
        m_seen.insert(deviceKey(port), Seen{1, m_look + 1, false});
}

QList<FoundModem> ExporterScanner::look(const Watched &watched)
{
    const QList<pellix::SerialPortDescription> ports = m_listPorts ? m_listPorts() : pellix::describeSerialPorts();
    QSet<QString> present;
    QList<FoundModem> found;
    const auto held = [&](const pellix::SerialPortDescription &port, const QString &imei) {
        const QList<ModemMetrics> modems = watched();
        return std::any_of(modems.cbegin(), modems.cend(), [&](const ModemMetrics &modem) {
            return portHeld(modem, port) || (!imei.isEmpty() && modem.imei == imei);
        });
    };
    for (const pellix::SerialPortDescription &port : ports) {
        const QString key = deviceKey(port);
        present.insert(key);
        if (const auto seen = m_seen.constFind(key); seen != m_seen.cend() && (seen->done || m_look < seen->nextLook))
            continue;
        if (held(port, QString())) {
            m_seen[key].done = true;
            continue;
        }
        const pellix::PortProbeResult probe = m_probePort ? m_probePort(port, m_baudRate)
                                                          : pellix::probePort(port, pellix::DefaultProbeDeadlineMs, m_baudRate);
        if (probe.outcome == pellix::PortProbeResult::Outcome::Skipped)
            continue;
        Seen &seen = m_seen[key];
        if (probe.outcome != pellix::PortProbeResult::Outcome::Answered) {
            ++seen.silentProbes;
            seen.done = seen.silentProbes > SilentRetries;
            seen.nextLook = m_look + (qint64(1) << (seen.silentProbes - 1));
            continue;
        }
        seen.done = true;
        if (held(port, probe.imei))
            continue;
        // A modem with two AT ports (Huawei's ttyUSB0 and ttyUSB2) is one modem: one connection.
        const bool twice = !probe.imei.isEmpty() && std::any_of(found.cbegin(), found.cend(), [&](const FoundModem &other) {
            return other.imei == probe.imei;
        });
        if (!twice)
            found << FoundModem{port, probe.imei};
    }
    // A port that went away and comes back is probed again: it may be another device by then.
    m_seen.removeIf([&](const auto &seen) { return !present.contains(seen.key()); });
    ++m_look;
    return found;
}

} // namespace cli
