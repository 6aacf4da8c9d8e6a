// SPDX-License-Identifier: GPL-3.0-or-later
#include "incomingcalls.h"

#include "desktop.h"
#include "reportlog.h"
#include "smsobjects.h"

IncomingCalls::IncomingCalls(ReportLog &log, Desktop &desktop, QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_desktop(desktop)
{
}

void IncomingCalls::Modem_Ring(const PhoneNumber &Originator)
{
    ReportIncomingCall(Originator);
}

void IncomingCalls::ReportIncomingCall(const PhoneNumber &originator)
{
    // The number as the library delivers it: empty when the network withholds it (no +CLIP).
    m_log.AddReport(QLatin1String("RING!  Incoming call from ") + originator.Number + QLatin1String(" (rejected)"));
    // After the line, so that the operator who looks up at the sound finds it already there.
    m_desktop.beep();
}
