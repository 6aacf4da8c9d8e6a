// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QSerialPortInfo;

namespace pellix {

class PellixIni;

// One serial device as the system lists it: QSerialPortInfo's facts as plain values, so that a
// test can describe a machine of its own.
struct SerialDeviceFacts
{
    QString devicePath;              // "/dev/ttyUSB0"
    std::optional<quint16> vendorId; // USB ids, when the device sits on USB
    std::optional<quint16> productId;
    QString manufacturer;            // "HUAWEI"
    QString product;                 // the product or model string: "HUAWEI Mobile"
    QString serialNumber;

    static SerialDeviceFacts from(const QSerialPortInfo &info);
};

// Everything describeSerialPorts() asks of the machine.
struct SerialMachine
{
    QList<SerialDeviceFacts> devices;
    // udev's stable names: one link per USB serial interface, named after vendor, product, serial
    // number and interface, which stay the same whichever ttyUSB number the kernel hands out. A
    // folder that does not exist (no USB serial device plugged in) gives no names.
    QString byIdFolder = QStringLiteral("/dev/serial/by-id");
    // The programs using a device; portClients() by default.
    std::function<QStringList(const QString &devicePath)> holders;

    // This machine: QSerialPortInfo::availablePorts(), the real by-id folder, /proc.
    static SerialMachine current();
};

// What the system knows of one port, for an operator who must find which of a USB modem's
// several ports answers AT.
struct SerialPortDescription
{
    // COM n as the library numbers it (comports.h), [Ports] included. 0: a device the system
    // lists that has no number (a ttyAMA UART, a device whose number [Ports] gave to another
    // path); a [Ports] entry makes it usable.
    int comNumber = 0;
    QString devicePath; // what COM n opens: "/dev/ttyUSB2", or the [Ports] path as written
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
    QString manufacturer;
    QString product;
    QString serialNumber;
    QString byIdPath;    // "/dev/serial/by-id/usb-..." linking to the device; empty when none
    QStringList holders; // "minicom (pid 4242)": this user's programs that use it (portClients())
};

// Every port present: the numbers comPorts() gives, in its order, then the listed devices
// without a number. A machine without serial devices gives an empty list.
QList<SerialPortDescription> describeSerialPorts(const PellixIni &ini, const SerialMachine &machine);
QList<SerialPortDescription> describeSerialPorts(); // this machine, Pellix.ini from its default location

// COM n alone (n > 0); nullopt when n is not among the ports present. Looks for holders of that
// one device only.
std::optional<SerialPortDescription> describeSerialPort(int n, const PellixIni &ini, const SerialMachine &machine);

// One line for the operator, without the COM number (the console's list and the command line
// show it already):
//   /dev/ttyUSB2: USB 12d1:1506 HUAWEI Mobile, serial 0123456789, /dev/serial/by-id/usb-...; in use by minicom (pid 4242)
// Parts the system does not know are left out; a plain UART is its device path alone.
QString describe(const SerialPortDescription &port);

} // namespace pellix
