// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "appfacts.h"
#include "startupcontroller.h"
#include "vendrelsettings.h"

#include <QObject>

#include <functional>
#include <memory>

class CallForwardingController;
class ComposerController;
class ConnectionController;
class Desktop;
class Dialogs;
class GsmModem;
class GsmUtilities;
class HelpService;
class InboxController;
class IncomingCalls;
class ModUtils;
class ModemPortController;
class PhonebookController;
class RecentPhones;
class RaisedError;
class ReportLog;
class SendController;
class SettingsStore;
class SignalMonitor;
class SupportController;
class frmVendrel;

// What the console is built from. main() passes the real ones; tests pass fakes (keeping raw
// pointers to inspect them, since the console owns what it is given).
struct ConsoleServices
{
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<SettingsStore> settingsStore;
    std::unique_ptr<GsmUtilities> utilities;
    AppFacts facts;
    // Makes the one modem object when the window loads.
    std::function<std::unique_ptr<GsmModem>()> createModem;
};

// The composition root of the main window: owns the view, the modem, the platform services, the
// settings variables and every controller, and wires them. Constructing it loads the window
// (Form_Load); show() then shows it.
class VendrelConsole : public QObject
{
    Q_OBJECT

public:
    explicit VendrelConsole(ConsoleServices services, QObject *parent = nullptr);
    ~VendrelConsole() override;

    void show();

    frmVendrel &view() const { return *m_view; }
    // The modem object; null once the window has unloaded.
    GsmModem *modem() const { return m_modem.get(); }
    VendrelSettings &settings() { return m_settings; }
    ModUtils &modUtils() const { return *m_modUtils; }
    StartupController &startup() const { return *m_startup; }
    HelpService &help() const { return *m_help; }
    SupportController &support() const { return *m_support; }
    ReportLog &reportLog() const { return *m_reportLog; }
    ModemPortController &modemPort() const { return *m_modemPort; }
    // These two live as long as the modem object: null once the window has unloaded.
    ConnectionController *connection() const { return m_connection.get(); }
    SignalMonitor *signalMonitor() const { return m_signalMonitor.get(); }
    ComposerController &composer() const { return *m_composer; }
    RecentPhones &recentPhones() const { return *m_recentPhones; }
    SendController &sending() const { return *m_sending; }
    InboxController &inbox() const { return *m_inbox; }
    PhonebookController &phonebook() const { return *m_phonebook; }
    CallForwardingController &callForwarding() const { return *m_callForwarding; }
    IncomingCalls &incomingCalls() const { return *m_incomingCalls; }

    // An error that no handler caught: number and description reach the operator, and the
    // program goes on.
    void showUncaughtError(const RaisedError &error);

private:
    StartupController::Parts startupParts();
    GsmModem &createModem();
    void releaseModem();

    // Destroyed in the reverse of this order: every controller before the modem, the view and the
    // services it holds by reference.
    ConsoleServices m_services;
    VendrelSettings m_settings;
    std::unique_ptr<ModUtils> m_modUtils;
    std::unique_ptr<HelpService> m_help;
    std::unique_ptr<frmVendrel> m_view;
    std::unique_ptr<GsmModem> m_modem;
    std::unique_ptr<ReportLog> m_reportLog;
    std::unique_ptr<StartupController> m_startup;
    std::unique_ptr<ModemPortController> m_modemPort;
    std::unique_ptr<SignalMonitor> m_signalMonitor;
    std::unique_ptr<ConnectionController> m_connection;
    std::unique_ptr<SupportController> m_support;
    std::unique_ptr<ComposerController> m_composer;
    std::unique_ptr<RecentPhones> m_recentPhones;
    std::unique_ptr<SendController> m_sending;
    std::unique_ptr<InboxController> m_inbox;
    std::unique_ptr<PhonebookController> m_phonebook;
    std::unique_ptr<CallForwardingController> m_callForwarding;
    std::unique_ptr<IncomingCalls> m_incomingCalls;
};
