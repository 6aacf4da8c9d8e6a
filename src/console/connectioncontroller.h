// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class Desktop;
class GsmModem;
class ModemPortController;
class RaisedError;
class ReportLog;
class SignalMonitor;
class frmVendrel;
struct VendrelSettings;

// The modem connection: cmdConnect opens and closes it, the receive options are its parameters,
// and every status change of the modem shows on the button, the status label and the log.
class ConnectionController : public QObject
{
    Q_OBJECT

public:
    // Where an error goes that a handler without its own error handling meets (the status
    // display, the two check boxes): shown with its number, and the program goes on.
    using UncaughtError = std::function<void(const RaisedError &)>;

    // Lives as long as the modem object; handles the modem's NewStatus from construction on.
    ConnectionController(frmVendrel &view, GsmModem &modem, ReportLog &log, Desktop &desktop,
                         VendrelSettings &settings, SignalMonitor &signalMonitor, UncaughtError uncaught);

    // Connects when the button reads exactly "&Connect", else disconnects.
    void cmdConnect_Click();
    // Opens the connection with the type, port and receive options of the window; a failure
    // becomes two log lines and the error box.
    void Modem_Connect();
    // Closes the connection; every failure is ignored.
    void Modem_Disconnect();
    // Disconnect, a blocking pause of ResetPauseMs, connect: a new receive mode takes effect.
    void Modem_Reset();
    void Modem_NewStatus(qint32 Status);
    // Button caption, status label and log line from the modem's state, painted at once.
    void ShowModemStatus();
    void chkAutoReceive_Click();
    void chkAutoDelete_Click();

    static constexpr int ResetPauseMs = 1000;
    // Fixed arguments of Connect: no PIN, the network deadline in seconds, the profile's speed.
    static constexpr int ConnectTimeoutSeconds = 60;
    static constexpr int ConnectBaudRate = 0;

private:
    QString modemName() const;
    void connectOrRaise();

    frmVendrel &m_view;
    GsmModem &m_modem;
    ReportLog &m_log;
    Desktop &m_desktop;
    VendrelSettings &m_settings;
    SignalMonitor &m_signalMonitor;
    UncaughtError m_uncaught;
};
