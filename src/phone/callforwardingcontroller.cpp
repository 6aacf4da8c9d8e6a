// SPDX-License-Identifier: GPL-3.0-or-later
#include "callforwardingcontroller.h"

#include "busypointer.h"
#include "dialogs.h"
#include "frmvendrel.h"
#include "gsmmodem.h"
#include "raisederror.h"
#include "reportlog.h"

#include <QPushButton>

CallForwardingController::CallForwardingController(frmVendrel &view, ModemReference modem, Dialogs &dialogs,
                                                   ReportLog &log, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_modem(std::move(modem))
    , m_dialogs(dialogs)
    , m_log(log)
{
    connect(m_view.cmdCallForward, &QPushButton::clicked, this, &CallForwardingController::cmdCallForward_Click);
}

QString CallForwardingController::activePrompt(const QString &currentNumber)
{
    return QLatin1String("Voice calls are currently forwarded to phone number ") + currentNumber
        + QLatin1String(".\r\n\r\nInsert a different phone number, or an empty string to disable this function:");
}

QString CallForwardingController::disabledPrompt()
{
    return QStringLiteral("Voice calls forwarding is currently disabled.\r\n\r\nInsert a phone number to activate voice calls forwarding:");
}

void CallForwardingController::cmdCallForward_Click()
{
    try {
        // Set for the whole exchange, the box included: the click is one operation with the network.
        BusyPointer busy;
        const QString current = m_modem->ForwardCalls(Query, VoiceClass, Unconditional, QString());
        bool cancelled = false;
        const QString answer = m_dialogs.inputBox(current.isEmpty() ? disabledPrompt() : activePrompt(current),
                                                  QString::fromLatin1(Caption), current, &cancelled);
        // Cancel is no answer: taking its empty text as one would erase forwarding the operator
        // meant to keep. An unchanged number needs no request to the network either.
        if (cancelled || answer == current)
            return;
        // As typed: the library checks the number, and a blank at its end makes it another one.
        const QString now = answer.isEmpty() ? m_modem->ForwardCalls(Erase, VoiceClass, Unconditional, QString())
                                             : m_modem->ForwardCalls(Register, VoiceClass, Unconditional, answer);
        // What the network reports after the change, which need not be what was asked for.
        if (now.isEmpty())
            m_log.AddReport(QStringLiteral("Voice calls forwarding has been deactivated"));
        else
            m_log.AddReport(QLatin1String("Voice calls forwarding has been activated to phone number ") + now);
    } catch (const RaisedError &error) {
        m_log.ReportError(error);
    }
}
