// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class Desktop;
class ReportLog;
struct PhoneNumber;

// A voice call coming in: one report line and one beep per Ring event. The console never answers
// and makes no library call in response, so every call is logged as rejected.
class IncomingCalls : public QObject
{
    Q_OBJECT

public:
    IncomingCalls(ReportLog &log, Desktop &desktop, QObject *parent = nullptr);

    // The modem's Ring event; the composition root connects it when it makes the modem.
    void Modem_Ring(const PhoneNumber &Originator);
    // "RING!  Incoming call from <number> (rejected)", then the beep.
    void ReportIncomingCall(const PhoneNumber &originator);

private:
    ReportLog &m_log;
    Desktop &m_desktop;
};
