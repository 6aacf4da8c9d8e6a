// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "environment.h"
#include "exitstatus.h"
#include "output.h"
#include "usageerror.h"

#include <QJsonArray>
#include <QJsonObject>

namespace cli {
namespace {

using pellix::PortProbeResult;
using pellix::SerialPortDescription;

QString hexId(const std::optional<quint16> &id)
{
    return id ? QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')) : QString();
}

QString outcomeName(PortProbeResult::Outcome outcome)
{
    switch (outcome) {
    case PortProbeResult::Outcome::Answered:
        return QStringLiteral("answered");
    case PortProbeResult::Outcome::Skipped:
        return QStringLiteral("skipped");
    case PortProbeResult::Outcome::NoAnswer:
        break;
    }
    return QStringLiteral("no answer");
}

QJsonObject portObject(const SerialPortDescription &port)
{
    QJsonObject object{
        {QLatin1String("com"), port.comNumber},
        {QLatin1String("device"), port.devicePath},
        {QLatin1String("vendorId"), hexId(port.vendorId)},
        {QLatin1String("productId"), hexId(port.productId)},
        {QLatin1String("manufacturer"), port.manufacturer},
        {QLatin1String("product"), port.product},
        {QLatin1String("serialNumber"), port.serialNumber},
        {QLatin1String("byId"), port.byIdPath},
        {QLatin1String("holders"), QJsonArray::fromStringList(port.holders)},
        {QLatin1String("description"), pellix::describe(port)},
    };
    return object;
}

QJsonObject probeObject(const PortProbeResult &probe)
{
    return {
        {QLatin1String("outcome"), outcomeName(probe.outcome)},
        {QLatin1String("reason"), probe.reason},
        {QLatin1String("manufacturer"), probe.manufacturer},
        {QLatin1String("model"), probe.model},
        {QLatin1String("revision"), probe.revision},
        {QLatin1String("imei"), probe.imei},
    };
}

QString portName(const SerialPortDescription &port)
{
    // A device without a number cannot be opened by the library until [Ports] names it.
    return port.comNumber > 0 ? QStringLiteral("COM%1").arg(port.comNumber) : QStringLiteral("-");
}

int ports(Environment &environment, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("probe")});
    line.requireWords(1, QStringLiteral("ports takes no arguments"));
    for (const char *modemOption : {"port", "device", "type", "pin", "timeout", "trace"}) {
        if (line.has(QLatin1String(modemOption)))
            throw UsageError(QStringLiteral("ports looks at every port and takes no --%1").arg(QLatin1String(modemOption)));
    }
    const bool probe = line.has(QStringLiteral("probe"));
    const qint32 baudRate = line.integer(QStringLiteral("baud"), 1, 4000000, pellix::DefaultProbeBaudRate);

    const QList<SerialPortDescription> found =
        environment.listPorts ? environment.listPorts() : pellix::describeSerialPorts();
    QJsonArray array;
    QStringList lines;
    for (const SerialPortDescription &port : found) {
        QJsonObject object = portObject(port);
        QString text = QStringLiteral("%1  %2").arg(portName(port), -6).arg(pellix::describe(port));
        if (port.comNumber == 0)
            text += QStringLiteral(" (no COM number: give it one in [Ports] of Pellix.ini)");
        if (probe) {
            output.progress(QStringLiteral("probing %1 (%2)...").arg(portName(port), port.devicePath));
            const PortProbeResult result = environment.probePort ? environment.probePort(port, baudRate)
                                                                 : pellix::probePort(port, pellix::DefaultProbeDeadlineMs, baudRate);
            object.insert(QLatin1String("probe"), probeObject(result));
            text += QStringLiteral("\n        %1").arg(pellix::describe(result));
        }
        array.append(object);
        lines.append(text);
    }
    if (lines.isEmpty())
        lines.append(QStringLiteral("No serial ports found (is the modem plugged in? \"dmesg\" shows what the kernel saw)."));
    output.result(lines.join(QLatin1Char('\n')), QJsonObject{{QLatin1String("ports"), array}});
    return ExitSuccess;
}

} // namespace

const CommandInfo PortsCommand = {
    "ports", "the serial ports of this machine, and with --probe which of them answer AT",
    "pellix ports [--probe] [--baud N]\n"
    "  Lists every serial device with its COM number as the library numbers it (what --port and\n"
    "  the console's port list take), its device path, and what the system knows of it: USB\n"
    "  vendor:product, manufacturer and product, serial number, its /dev/serial/by-id name, and the\n"
    "  programs that hold it. A device without a number needs a [Ports] entry in Pellix.ini.\n"
    "  --probe also opens each free port for a moment, for pellix alone, sends a plain AT and reads\n"
    "  the identity of those that answer (about a second at most per port). A port another program\n"
    "  holds is never opened. Nothing is changed on the modem. --baud sets the speed (115200).\n"
    "  JSON: {\"ports\": [{\"com\", \"device\", \"vendorId\", \"productId\", \"manufacturer\", \"product\",\n"
    "  \"serialNumber\", \"byId\", \"holders\", \"description\", \"probe\": {\"outcome\" (\"answered\",\n"
    "  \"no answer\", \"skipped\"), \"reason\", \"manufacturer\", \"model\", \"revision\", \"imei\"}}]}\n",
    nullptr,
    ports,
};

} // namespace cli
