// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace pellix {

// How busyPortText() begins, for callers that tell a busy port from other open failures.
inline constexpr char BusyPortLead[] = "busy; another program holds it";

// The processes of this user that hold the device open, as "minicom (pid 4242)", at most three.
// Other users' processes (ModemManager runs as root) keep theirs hidden: empty is no proof
// that the device is free.
QStringList portHolders(const QString &devicePath);
// The same without the program serving a pseudo-terminal (holding its master side; pellix-modemsim
// keeps the slave open too, so that the terminal keeps its settings between clients): the
// programs using the port as a client would, which a probe must leave alone.
QStringList portClients(const QString &devicePath);
// portClients of each device, by device as given, in one look at the processes.
QHash<QString, QStringList> portClients(const QStringList &devicePaths);

// Why a serial device is busy, and what to do: the processes of this user that hold it open
// (found in /proc), else ModemManager when it runs (it probes every new USB modem and keeps the
// ones it recognises), else the usual suspects. Starts with "busy; another program holds it".
QString busyPortText(const QString &devicePath);

} // namespace pellix
