// SPDX-License-Identifier: GPL-3.0-or-later
#include "vendrelconsole.h"

#include "callforwardingcontroller.h"
#include "composercontroller.h"
#include "connectioncontroller.h"
#include "desktop.h"
#include "dialogs.h"
#include "frmvendrel.h"
#include "gsmmodem.h"
#include "gsmutilities.h"
#include "helpservice.h"
#include "inboxcontroller.h"
#include "incomingcalls.h"
#include "modemportcontroller.h"
#include "modutils.h"
#include "modemreference.h"
#include "phonebookcontroller.h"
#include "raisederror.h"
#include "recentphones.h"
#include "reportlog.h"
#include "sendcontroller.h"
#include "settingsstore.h"
#include "signalmonitor.h"
#include "startupcontroller.h"
#include "supportcontroller.h"

VendrelConsole::VendrelConsole(ConsoleServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_modUtils(std::make_unique<ModUtils>(*m_services.dialogs, *m_services.desktop))
    , m_help(std::make_unique<HelpService>(*m_services.desktop, m_services.facts.exeFolder))
    , m_view(std::make_unique<frmVendrel>())
{
    m_reportLog = std::make_unique<ReportLog>(*m_view, *m_modUtils);
    m_startup = std::make_unique<StartupController>(
        *m_view, m_settings, *m_services.settingsStore, *m_help, m_services.facts,
        StartupController::ModemLifetime{[this]() -> GsmModem & { return createModem(); },
                                         [this] { releaseModem(); }},
        startupParts());
    // The support window; Form_Load lends it the modem, Form_Unload closes it first.
    m_support = std::make_unique<SupportController>(
        *m_view, SupportController::MainWindowButtons{m_view->cmdShowSupport, m_view->cmdShowLogFile, m_view->imgLogo},
        *m_modUtils, *m_services.desktop, *m_help, m_services.facts);
    // The modem type and port lists; the connection and the signal monitor come with the modem.
    m_modemPort = std::make_unique<ModemPortController>(*m_view, m_settings, *m_services.utilities, *m_modUtils,
                                                        *m_services.dialogs, *m_help);
    const ModemReference modem([this] { return m_modem.get(); });
    m_composer = std::make_unique<ComposerController>(*m_view, m_settings, *m_modUtils,
                                                      [this] { return m_startup->IsLoading(); });
    m_recentPhones = std::make_unique<RecentPhones>(*m_view, m_settings);
    m_sending = std::make_unique<SendController>(*m_view, modem, *m_services.utilities, *m_modUtils, *m_reportLog,
                                                 *m_recentPhones, *m_composer);
    m_inbox = std::make_unique<InboxController>(*m_view, modem, *m_services.dialogs, *m_reportLog);
    m_phonebook = std::make_unique<PhonebookController>(
        *m_view, modem, *m_services.dialogs, *m_reportLog,
        [this](const QString &entry, bool atTop) { m_recentPhones->AddRecentPhone(entry, atTop); });
    m_callForwarding = std::make_unique<CallForwardingController>(*m_view, modem, *m_services.dialogs, *m_reportLog);
    m_incomingCalls = std::make_unique<IncomingCalls>(*m_reportLog, *m_services.desktop);

    m_startup->Form_Load();
}

VendrelConsole::~VendrelConsole() = default;

StartupController::Parts VendrelConsole::startupParts()
{
    // Start-up runs at the end of the constructor, when every part below exists; the connection
    // exists while the modem does.
    StartupController::Parts parts;
    parts.lendModemToSupport = [this](GsmModem &modem) { m_support->SetModem(modem); };
    parts.loadRecentPhones = [this] { m_recentPhones->LoadRecentPhones(); };
    parts.applyReceiveOptions = [this] {
        if (m_connection) {
            m_connection->chkAutoDelete_Click();
            m_connection->chkAutoReceive_Click();
        }
    };
    parts.fillModemLists = [this] {
        m_modemPort->SelectModemType();
        m_modemPort->FillPortList();
    };
    parts.unloadSupport = [this] {
        // The view may still close while the console is being taken apart.
        if (m_support)
            m_support->unload();
    };
    parts.disconnectModem = [this] {
        if (m_connection)
            m_connection->Modem_Disconnect();
    };
    return parts;
}

void VendrelConsole::show()
{
    m_view->show();
}

GsmModem &VendrelConsole::createModem()
{
    m_modem = m_services.createModem();
    // The window handles the modem's events from here on:
    // The connection and the signal monitor hold the modem for its whole life; NewStatus ->
    // Modem_NewStatus.
    m_signalMonitor = std::make_unique<SignalMonitor>(*m_view, *m_modem, *m_reportLog, m_settings);
    m_connection = std::make_unique<ConnectionController>(*m_view, *m_modem, *m_reportLog, *m_services.desktop,
                                                          m_settings, *m_signalMonitor,
                                                          [this](const RaisedError &error) { showUncaughtError(error); });
    connect(m_modem.get(), &GsmModem::MessageReceived, m_inbox.get(), &InboxController::Modem_MessageReceived);
    connect(m_modem.get(), &GsmModem::StatusReport, m_inbox.get(), &InboxController::Modem_StatusReport);
    connect(m_modem.get(), &GsmModem::Ring, m_incomingCalls.get(), &IncomingCalls::Modem_Ring);
    // The library's trace is what a support request needs: when it cannot be written, the
    // operator reads so in the report log, once, before sending one without it.
    connect(m_modem.get(), &GsmModem::TraceFailed, m_reportLog.get(),
            [this](const QString &why) { m_reportLog->AddReport(QStringLiteral("Trace not written: %1").arg(why)); });
    return *m_modem;
}

void VendrelConsole::releaseModem()
{
    m_connection.reset();
    m_signalMonitor.reset();
    m_modem.reset();
}

void VendrelConsole::showUncaughtError(const RaisedError &error)
{
    // A negative number is shown with its hexadecimal form too, as the library's are known by it.
    QString number = QString::number(error.number());
    if (error.number() < 0)
        number += QStringLiteral(" (%1)").arg(quint32(error.number()), 8, 16, QLatin1Char('0')).toUpper();
    m_modUtils->ShowMessageBox(QStringLiteral("Run-time error '%1' from %2:\n\n%3").arg(number, error.source(), error.description()),
                            Dialogs::Exclamation);
}
