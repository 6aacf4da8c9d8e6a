// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class GsmModem;
class ReportLog;
class frmVendrel;
struct VendrelSettings;

// The GSM signal monitor: with chkGSMSignal on, the connected modem's signal is read every
// TimerGSMSignal tick and logged as good enough or too low, as the library judges it.
class SignalMonitor : public QObject
{
    Q_OBJECT

public:
    // Lives as long as the modem object.
    SignalMonitor(frmVendrel &view, GsmModem &modem, ReportLog &log, VendrelSettings &settings);

    // Stores CheckGSMSignal, starts or stops the timer from the box, and reads at once when on.
    void chkGSMSignal_Click();
    // One reading and one report line, only while the modem is connected; failures pass.
    void TimerGSMSignal_Timer();

    // The period of the readings (TimerGSMSignal's interval); tests shorten it.
    void setTimerInterval(int ms);
    static constexpr int TimerInterval = 10000;

private:
    frmVendrel &m_view;
    GsmModem &m_modem;
    ReportLog &m_log;
    VendrelSettings &m_settings;
};
