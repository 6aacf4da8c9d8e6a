// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modemreference.h"

#include <QDateTime>
#include <QObject>
#include <QString>

class Dialogs;
class ReportLog;
class frmVendrel;
struct ReceivedMessage;
struct SmsStatusReport;

// Received messages and delivery reports: read from the SIM on demand or signalled live by the
// modem, one report line each; and deleting SIM messages by location.
class InboxController : public QObject
{
    Q_OBJECT

public:
    InboxController(frmVendrel &view, ModemReference modem, Dialogs &dialogs, ReportLog &log,
                    QObject *parent = nullptr);

    void cmdReceive_Click();
    void cmdReadStatusReports_Click();
    void cmdDeleteSim_Click();
    // The library's events; the composition root connects them when it makes the modem.
    void Modem_MessageReceived(const ReceivedMessage &Message);
    void Modem_StatusReport(const SmsStatusReport &statusRpt);

    // "[SIM loc.n] " when stored, "NEW " when unread, "Message received from <n> at <time>:  "
    // and the content: the user data in bracketed hex for 8-bit, else the bracketed header (if
    // any) followed by the text.
    void ReportMessageReceived(const ReceivedMessage &message);
    // "[SIM loc.n] " when stored, "Status report (<reference>) for <n>:  <status text>".
    void ReportStatusReport(const SmsStatusReport &report);

    // dd/mm/yyyy hh:nn:ss on the 24-hour clock, in the time of the stamp's own zone, with the
    // date and time separators of the default locale.
    static QString formatTimestamp(const QDateTime &timestamp);

    static constexpr char DeletePrompt[] = "Insert SIM location to delete (-1 for all):";

private:
    frmVendrel &m_view;
    ModemReference m_modem;
    Dialogs &m_dialogs;
    ReportLog &m_log;
};
