// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMap>
#include <QStringList>
#include <QString>

namespace pellix {

class PellixIni;

// The console counts serial ports as COM1, COM2, ... Linux names them by driver, so each kind of
// device gets a block of 32 numbers:
//   /dev/ttyS<k>    = COM k+1     (on-board and PCI UARTs)
//   /dev/ttyUSB<k>  = COM k+33    (USB serial converters, most USB modems)
//   /dev/ttyACM<k>  = COM k+65    (USB CDC-ACM modems and phones)
//   /dev/rfcomm<k>  = COM k+97    (Bluetooth serial links)
// k runs 0..31. [Ports] in Pellix.ini maps COM<n>=<device path> explicitly; such an entry
// takes the number over, and may use numbers above 128.
namespace comports {
inline constexpr int BlockSize = 32;
inline constexpr int LastNumbered = 128;
inline constexpr int LastOverride = 32767; // the console holds port numbers as 16-bit
inline constexpr char PortsSection[] = "Ports";
} // namespace comports

// The COM number of a device path by the numbering alone; 0 when it has none.
int comNumberForDevice(const QString &devicePath);
// The device path of COM n by the numbering alone; empty when n is outside 1..128.
QString numberedDevicePath(int n);
// The valid [Ports] entries (COM<n>=<absolute path>, n in 1..32767), by number.
QMap<int, QString> portOverrides(const PellixIni &ini);

// The device of COM n: the [Ports] entry first, then the numbering. Raises InvalidArgument
// naming COM n when n is out of range and not overridden.
QString devicePathForCom(int n, const PellixIni &ini);
QString devicePathForCom(int n); // with Pellix.ini from its default location

// "COM3 (/dev/ttyS2)": how error texts and the trace name a port.
QString portDisplayName(int n, const QString &devicePath);

// The numbers of the ports present, ascending and unique: the serial devices the system lists
// (QSerialPortInfo, which leaves out ttyS nodes without a UART behind them) that have a number,
// plus the [Ports] entries whose device exists. A number taken over by [Ports] counts only when
// its own device exists.
QList<int> comPorts(const PellixIni &ini);
QList<int> comPorts(); // with Pellix.ini from its default location
// The same rule over an explicit list of present device paths (the system's list).
QList<int> comPorts(const PellixIni &ini, const QStringList &presentDevices);

} // namespace pellix
