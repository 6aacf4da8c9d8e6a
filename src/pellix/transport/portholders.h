// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace pellix {

// How busyPortText() begins, for callers that tell a busy port from other open failures.
inline constexpr char BusyPortLead[] = "busy; another program holds it";

// The processes of this user that hold the device open, as "minicom (pid 4242)", at most three;
// for a pseudo-terminal, not the one serving it (holding its master side). Other users'
// processes (ModemManager runs as root) keep theirs hidden: empty is no proof that the device
// is free.
QStringList portHolders(const QString &devicePath);

// Why a serial device is busy, and what to do: the processes of this user that hold it open
// (found in /proc), else ModemManager when it runs (it probes every new USB modem and keeps the
// ones it recognises), else the usual suspects. Starts with "busy; another program holds it".
QString busyPortText(const QString &devicePath);

} // namespace pellix
