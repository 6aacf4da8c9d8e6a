// SPDX-License-Identifier: GPL-3.0-or-later
#include "portholders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace pellix {
namespace {

QString processName(const QString &pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

bool isNumber(const QString &name)
{
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// True when the process holds the master side of pseudo-terminal `index`: it serves that terminal.
bool servesTerminal(const QDir &fds, const QString &pid, const QStringList &entries, const QString &index)
{
    for (const QString &fd : entries) {
        if (!QFile::symLinkTarget(fds.filePath(fd)).endsWith(QLatin1String("/ptmx")))
            continue;
        QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid, fd));
        if (!info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : info.readAll().split('\n'))
            if (line.startsWith("tty-index:") && QString::fromLatin1(line.mid(10).trimmed()) == index)
                return true;
    }
    return false;
}

// "minicom (pid 4242)" for each process whose descriptors we may read (our own user's) and that
// has one of the devices open, by device as given; at most three a device. Other users'
// processes (ModemManager runs as root) keep theirs hidden. One pass over /proc for all devices:
// on a desktop it holds hundreds of processes with thousands of descriptors.
QHash<QString, QStringList> holders(const QStringList &devicePaths, bool clientsOnly)
{
    QHash<QString, QString> asGiven; // canonical path -> path as given
    for (const QString &path : devicePaths) {
        const QString target = QFileInfo(path).canonicalFilePath();
        if (!target.isEmpty())
            asGiven.insert(target, path);
    }
    QHash<QString, QStringList> found;
    if (asGiven.isEmpty())
        return found;
    const QLatin1String ptsFolder("/dev/pts/");
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        if (!isNumber(pid))
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const QStringList entries = fds.entryList(QDir::System | QDir::NoDotAndDotDot);
        QSet<QString> seen; // a process counts once a device, however many descriptors it has on it
        for (const QString &fd : entries) {
            const QString target = QFileInfo(fds.filePath(fd)).symLinkTarget();
            const auto device = asGiven.constFind(target);
            if (device == asGiven.cend() || seen.contains(target))
                continue;
            seen.insert(target);
            QStringList &who = found[device.value()];
            if (who.size() >= 3)
                continue;
            const QString ptyIndex = clientsOnly && target.startsWith(ptsFolder) ? target.mid(ptsFolder.size()) : QString();
            if (ptyIndex.isEmpty() || !servesTerminal(fds, pid, entries, ptyIndex))
                who << QStringLiteral("%1 (pid %2)").arg(processName(pid), pid);
        }
    }
    return found;
}

QStringList holders(const QString &devicePath, bool clientsOnly)
{
    return holders(QStringList{devicePath}, clientsOnly).value(devicePath);
}

bool modemManagerRuns()
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return std::any_of(pids.begin(), pids.end(), [](const QString &pid) {
        return isNumber(pid) && processName(pid) == QLatin1String("ModemManager");
    });
}

} // namespace

QStringList portHolders(const QString &devicePath)
{
    return holders(devicePath, false);
}

QStringList portClients(const QString &devicePath)
{
    return holders(devicePath, true);
}

QHash<QString, QStringList> portClients(const QStringList &devicePaths)
{
    return holders(devicePaths, true);
}

QString busyPortText(const QString &devicePath)
{
    const QString text = QLatin1String(BusyPortLead);
    const QString help = QStringLiteral("(see the help topic \"Modem ports\")");
    const QStringList who = holders(devicePath, false);
    if (!who.isEmpty())
        return QStringLiteral("%1: %2. Close it, then connect again %3").arg(text, who.join(QStringLiteral(", ")), help);
    if (modemManagerRuns())
        return QStringLiteral("%1, probably ModemManager, which opens USB modems as they are plugged in (mmcli -L lists "
                              "the ones it holds): stop it (sudo systemctl stop ModemManager) or make it leave this "
                              "modem alone with a udev rule setting ID_MM_DEVICE_IGNORE %2")
            .arg(text, help);
    return QStringLiteral("%1 (a terminal program, a second copy of this program, or ModemManager, which opens USB "
                          "modems as they are plugged in): close it, then connect again %2")
        .arg(text, help);
}

} // namespace pellix
