// SPDX-License-Identifier: GPL-3.0-or-later
#include "comports.h"

#include "pellixerror.h"
#include "profiles/pellixini.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSet>

#include <algorithm>
#include <array>

namespace pellix {
namespace {

struct DeviceKind
{
    const char *prefix;
    int base; // COM number of k = 0
};

constexpr std::array<DeviceKind, 4> Kinds{{
    {"/dev/ttyS", 1},
    {"/dev/ttyUSB", 33},
    {"/dev/ttyACM", 65},
    {"/dev/rfcomm", 97},
}};

// The kernel writes the index in plain decimal: "ttyS01" or "ttyS+1" are not its names.
int kernelIndex(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 2)
        return -1;
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    if (digits.size() == 2 && digits.front() == QLatin1Char('0'))
        return -1;
    return digits.toInt();
}

// "COM12" (any case, blanks trimmed) -> 12; 0 when the key is anything else.
int overrideNumber(const QString &key)
{
    if (!key.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        return 0;
    const QStringView digits = QStringView(key).mid(3);
    if (digits.isEmpty() || digits.size() > 5)
        return 0;
    for (QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    const int n = digits.toInt();
    return n >= 1 && n <= comports::LastOverride ? n : 0;
}

} // namespace

int comNumberForDevice(const QString &devicePath)
{
    for (const DeviceKind &kind : Kinds) {
        const QLatin1String prefix(kind.prefix);
        if (!devicePath.startsWith(prefix))
            continue;
        const int k = kernelIndex(QStringView(devicePath).mid(prefix.size()));
        if (k >= 0 && k < comports::BlockSize)
            return kind.base + k;
    }
    return 0;
}

QString numberedDevicePath(int n)
{
    if (n < 1 || n > comports::LastNumbered)
        return QString();
    const DeviceKind &kind = Kinds[std::size_t((n - 1) / comports::BlockSize)];
    return QLatin1String(kind.prefix) + QString::number(n - kind.base);
}

QMap<int, QString> portOverrides(const PellixIni &ini)
{
    QMap<int, QString> overrides;
    for (const PellixIni::Entry &entry : ini.entries(QLatin1String(comports::PortsSection))) {
        const int n = overrideNumber(entry.key);
        // A relative path would depend on the working folder of whoever starts the console.
        if (n == 0 || !entry.value.startsWith(QLatin1Char('/')))
            continue;
        if (!overrides.contains(n))
            overrides.insert(n, entry.value);
    }
    return overrides;
}

QString devicePathForCom(int n, const PellixIni &ini)
{
    const QMap<int, QString> overrides = portOverrides(ini);
    if (const auto it = overrides.constFind(n); it != overrides.constEnd())
        return it.value();
    const QString path = numberedDevicePath(n);
    if (path.isEmpty())
        raise(ErrorCode::InvalidArgument,
              QStringLiteral("COM%1 does not exist: ports are numbered 1 to %2 (higher numbers need a [Ports] "
                             "entry COM%1=<device> in %3)")
                  .arg(n)
                  .arg(comports::LastNumbered)
                  .arg(ini.path().isEmpty() ? QStringLiteral("Pellix.ini") : ini.path()));
    return path;
}

QString devicePathForCom(int n)
{
    return devicePathForCom(n, PellixIni::loadDefault());
}

QString portDisplayName(int n, const QString &devicePath)
{
    return QStringLiteral("COM%1 (%2)").arg(n).arg(devicePath);
}

QList<int> comPorts(const PellixIni &ini, const QStringList &presentDevices)
{
    const QMap<int, QString> overrides = portOverrides(ini);
    QSet<int> numbers;
    for (const QString &device : presentDevices) {
        const int n = comNumberForDevice(device);
        if (n != 0 && !overrides.contains(n))
            numbers.insert(n);
    }
    for (auto it = overrides.constBegin(); it != overrides.constEnd(); ++it)
        if (QFileInfo::exists(it.value()))
            numbers.insert(it.key());
    QList<int> sorted(numbers.cbegin(), numbers.cend());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

QList<int> comPorts(const PellixIni &ini)
{
    QStringList present;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        present.append(info.systemLocation());
    return comPorts(ini, present);
}

QList<int> comPorts()
{
    return comPorts(PellixIni::loadDefault());
}

} // namespace pellix
