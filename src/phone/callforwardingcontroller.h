// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modemreference.h"

#include <QObject>
#include <QString>

class Dialogs;
class ReportLog;
class frmVendrel;

// The "Voice calls" group: asks the network where voice calls are forwarded to, shows it, and
// forwards them to the number the operator types, cancels forwarding on an empty answer, or
// leaves it as it is. The state is asked afresh on every click; nothing is kept between clicks.
class CallForwardingController : public QObject
{
    Q_OBJECT

public:
    CallForwardingController(frmVendrel &view, ModemReference modem, Dialogs &dialogs, ReportLog &log,
                             QObject *parent = nullptr);

    // One query, at most one input box, at most one change and one report line. Cancel leaves
    // forwarding as the network holds it: only an empty answer confirmed with OK cancels it.
    void cmdCallForward_Click();

    // +CCFC (27.007 7.11): modes, the voice class, the unconditional reason.
    enum Mode : qint32 { Query = 2, Register = 3, Erase = 4 };
    static constexpr qint32 VoiceClass = 1;
    static constexpr qint32 Unconditional = 0;

    static constexpr char Caption[] = "Voice calls forwarding";
    static QString activePrompt(const QString &currentNumber);
    static QString disabledPrompt();

private:
    frmVendrel &m_view;
    ModemReference m_modem;
    Dialogs &m_dialogs;
    ReportLog &m_log;
};
