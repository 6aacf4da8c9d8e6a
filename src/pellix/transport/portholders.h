// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace pellix {

// Why a serial device is busy, and what to do: the processes of this user that hold it open
// (found in /proc), else ModemManager when it runs (it probes every new USB modem and keeps the
// ones it recognises), else the usual suspects. Starts with "busy; another program holds it".
QString busyPortText(const QString &devicePath);

} // namespace pellix
