// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialportdescription.h"

#include "comports.h"
#include "portholders.h"
#include "profiles/pellixini.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace pellix {
namespace {

// USB string descriptors are whatever the maker burnt in: a control character would break the
// one-line description, and a blank-only string says nothing.
QString cleanText(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (QChar c : text)
        clean += c.isPrint() ? c : QLatin1Char(' ');
    return clean.simplified();
}

bool sameDevice(const QString &a, const QString &b)
{
    if (QDir::cleanPath(a) == QDir::cleanPath(b))
        return true;
    // A [Ports] entry may name the device through a link (/dev/serial/by-id/..., /dev/modem).
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

SerialPortDescription withFacts(int comNumber, const QString &devicePath, const SerialMachine &machine)
{
    SerialPortDescription port;
    port.comNumber = comNumber;
    port.devicePath = devicePath;
    const auto facts = std::find_if(machine.devices.cbegin(), machine.devices.cend(),
                                    [&](const SerialDeviceFacts &device) { return sameDevice(device.devicePath, devicePath); });
    if (facts == machine.devices.cend())
        return port;
    port.vendorId = facts->vendorId;
    port.productId = facts->productId;
    port.manufacturer = cleanText(facts->manufacturer);
    port.product = cleanText(facts->product);
    port.serialNumber = cleanText(facts->serialNumber);
    return port;
}

// The ports present, without the facts that cost a look at the file system or /proc.
QList<SerialPortDescription> listPorts(const PellixIni &ini, const SerialMachine &machine)
{
    QStringList present;
    for (const SerialDeviceFacts &device : machine.devices)
        present << device.devicePath;
    const QMap<int, QString> overrides = portOverrides(ini);

    QList<SerialPortDescription> ports;
    for (const int n : comPorts(ini, present))
        ports << withFacts(n, overrides.value(n, numberedDevicePath(n)), machine);
    for (const SerialDeviceFacts &device : machine.devices) {
        const bool reachable = std::any_of(ports.cbegin(), ports.cend(), [&](const SerialPortDescription &port) {
            return sameDevice(port.devicePath, device.devicePath);
        });
        if (!reachable)
            ports << withFacts(0, device.devicePath, machine);
    }
    return ports;
}

QString byIdLink(const QString &folder, const QString &devicePath)
{
    const QDir dir(folder);
    // System: the links of devices that are gone dangle, and still must not hide the others.
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QString link = dir.filePath(name);
        const QString target = QFileInfo(link).symLinkTarget();
        if (!target.isEmpty() && sameDevice(target, devicePath))
            return link;
    }
    return QString();
}

// The facts that cost a look at the file system and /proc, for all ports at once.
void complete(QList<SerialPortDescription> &ports, const SerialMachine &machine)
{
    QStringList paths;
    for (const SerialPortDescription &port : std::as_const(ports))
        paths << port.devicePath;
    const QHash<QString, QStringList> clients = machine.holders ? QHash<QString, QStringList>() : portClients(paths);
    for (SerialPortDescription &port : ports) {
        port.byIdPath = byIdLink(machine.byIdFolder, port.devicePath);
        port.holders = machine.holders ? machine.holders(port.devicePath) : clients.value(port.devicePath);
    }
}

// "HUAWEI Mobile" rather than "HUAWEI HUAWEI Mobile": udev's model string often starts with
// the vendor's name.
QString deviceName(const SerialPortDescription &port)
{
    if (port.product.isEmpty())
        return port.manufacturer;
    if (port.manufacturer.isEmpty() || port.product.contains(port.manufacturer, Qt::CaseInsensitive))
        return port.product;
    return port.manufacturer + QLatin1Char(' ') + port.product;
}

} // namespace

SerialDeviceFacts SerialDeviceFacts::from(const QSerialPortInfo &info)
{
    SerialDeviceFacts facts;
    facts.devicePath = info.systemLocation();
    if (info.hasVendorIdentifier())
        facts.vendorId = info.vendorIdentifier();
    if (info.hasProductIdentifier())
        facts.productId = info.productIdentifier();
    facts.manufacturer = info.manufacturer();
    facts.product = info.description();
    facts.serialNumber = info.serialNumber();
    return facts;
}

SerialMachine SerialMachine::current()
{
    SerialMachine machine;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        machine.devices << SerialDeviceFacts::from(info);
    return machine;
}

QList<SerialPortDescription> describeSerialPorts(const PellixIni &ini, const SerialMachine &machine)
{
    QList<SerialPortDescription> ports = listPorts(ini, machine);
    complete(ports, machine);
    return ports;
}

QList<SerialPortDescription> describeSerialPorts()
{
    return describeSerialPorts(PellixIni::loadDefault(), SerialMachine::current());
}

std::optional<SerialPortDescription> describeSerialPort(int n, const PellixIni &ini, const SerialMachine &machine)
{
    if (n <= 0)
        return std::nullopt;
    const QList<SerialPortDescription> ports = listPorts(ini, machine);
    const auto found = std::find_if(ports.cbegin(), ports.cend(), [n](const SerialPortDescription &port) {
        return port.comNumber == n;
    });
    if (found == ports.cend())
        return std::nullopt;
    QList<SerialPortDescription> port{*found};
    complete(port, machine);
    return port.first();
}

QString describe(const SerialPortDescription &port)
{
    QStringList parts;
    QString identity;
    if (port.vendorId && port.productId)
        identity = QStringLiteral("USB %1:%2")
                       .arg(*port.vendorId, 4, 16, QLatin1Char('0'))
                       .arg(*port.productId, 4, 16, QLatin1Char('0'));
    const QString name = deviceName(port);
    if (!name.isEmpty())
        identity += (identity.isEmpty() ? QString() : QStringLiteral(" ")) + name;
    if (!identity.isEmpty())
        parts << identity;
    if (!port.serialNumber.isEmpty())
        parts << QStringLiteral("serial ") + port.serialNumber;
    if (!port.byIdPath.isEmpty())
        parts << port.byIdPath;

    QString text = port.devicePath;
    if (!parts.isEmpty())
        text += QStringLiteral(": ") + parts.join(QStringLiteral(", "));
    if (!port.holders.isEmpty())
        text += QStringLiteral("; in use by ") + port.holders.join(QStringLiteral(", "));
    return text;
}

} // namespace pellix
