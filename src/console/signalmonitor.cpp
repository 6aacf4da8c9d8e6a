// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalmonitor.h"

#include "frmvendrel.h"
#include "gsmmodem.h"
#include "raisederror.h"
#include "reportlog.h"
#include "vendrelsettings.h"

#include <QCheckBox>
#include <QTimer>

SignalMonitor::SignalMonitor(frmVendrel &view, GsmModem &modem, ReportLog &log, VendrelSettings &settings)
    : QObject(nullptr)
    , m_view(view)
    , m_modem(modem)
    , m_log(log)
    , m_settings(settings)
{
    connect(m_view.chkGSMSignal, &QCheckBox::toggled, this, &SignalMonitor::chkGSMSignal_Click);
    connect(m_view.TimerGSMSignal, &QTimer::timeout, this, &SignalMonitor::TimerGSMSignal_Timer);
}

void SignalMonitor::setTimerInterval(int ms)
{
    m_view.TimerGSMSignal->setInterval(ms);
}

void SignalMonitor::chkGSMSignal_Click()
{
    const bool on = m_view.chkGSMSignal->isChecked();
    m_settings.CheckGSMSignal = on ? -1 : 0;
    QTimer &timer = *m_view.TimerGSMSignal;
    if (on)
        timer.start();
    else
        timer.stop();
    if (timer.isActive())
        TimerGSMSignal_Timer();
}

void SignalMonitor::TimerGSMSignal_Timer()
{
    // A status that cannot be read does not stop the tick: the reading is tried as when the
    // modem is connected.
    try {
        if (m_modem.Status() != GsmModem::Connected)
            return;
    } catch (const RaisedError &) {
    }

    // A reading that fails counts as too low, with whatever values it delivered before failing.
    qint16 rssi = 0;
    qint16 ber = 0;
    bool sufficient = false;
    try {
        sufficient = m_modem.GetSignalQuality(rssi, ber);
    } catch (const RaisedError &) {
        sufficient = false;
    }

    const QString values = QStringLiteral("(RSSI=") + QString::number(rssi) + QStringLiteral(", BER=") + QString::number(ber);
    if (sufficient)
        m_log.AddReport(QStringLiteral("GSM signal OK  ") + values + QLatin1Char(')'));
    else
        m_log.AddReport(QStringLiteral("GSM signal too low  ") + values
                        + QStringLiteral("; required value for RSSI is [11..31])"));
}
