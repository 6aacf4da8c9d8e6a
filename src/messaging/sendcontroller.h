// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modemreference.h"

#include <QObject>
#include <QString>

class ComposerController;
class GsmUtilities;
class ModUtils;
class RecentPhones;
class ReportLog;
class frmVendrel;
struct SmsMessage;

// Sending the composed message: one SmsMessage for every alphabet, or the library's long-message
// operation for a 7-bit text of more than one SMS; each send logged, each failure reported.
class SendController : public QObject
{
    Q_OBJECT

public:
    SendController(frmVendrel &view, ModemReference modem, GsmUtilities &gsmUtilities, ModUtils &modUtils,
                   ReportLog &log, RecentPhones &recentPhones, ComposerController &composer,
                   QObject *parent = nullptr);

    void cmdSend_Click();
    void SendLongSms();
    // "Message sent (<reference>) to <number>:  " and the content: the user data in bracketed hex
    // for 8-bit, else the bracketed header (if any) followed by the text.
    void ReportMessageSent(const SmsMessage &message);
    // "Long message sent (<result>) to <number>:  " and the text as typed.
    void ReportLongMessageSent(qint32 result, const QString &number, const QString &text);

    static constexpr char NotConnectedMessage[] = "Please open modem connection before!";

private:
    void send();

    frmVendrel &m_view;
    ModemReference m_modem;
    GsmUtilities &m_gsmUtilities;
    ModUtils &m_modUtils;
    ReportLog &m_log;
    RecentPhones &m_recentPhones;
    ComposerController &m_composer;
};
