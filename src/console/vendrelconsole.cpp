// SPDX-License-Identifier: GPL-3.0-or-later
#include "vendrelconsole.h"

#include "desktop.h"
#include "dialogs.h"
#include "frmvendrel.h"
#include "gsmmodem.h"
#include "gsmutilities.h"
#include "modutils.h"
#include "raisederror.h"
#include "reportlog.h"
#include "settingsstore.h"
#include "startupcontroller.h"

VendrelConsole::VendrelConsole(ConsoleServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_view(std::make_unique<frmVendrel>())
    , m_utils(std::make_unique<ModUtils>(*m_services.dialogs, *m_services.desktop))
{
    m_reportLog = std::make_unique<ReportLog>(*m_view, *m_utils);
    m_startup = std::make_unique<StartupController>(
        *m_view, m_settings, *m_services.settingsStore, *m_services.desktop, m_services.facts,
        StartupController::ModemLifetime{[this]() -> GsmModem & { return createModem(); },
                                         [this] { releaseModem(); }});
    // Further controllers, each given the view, the report log and the services they use:
    // PENDING(connection, modem type and port, signal monitor, composer, sending, recent numbers,
    // received messages, phonebook, call forwarding, incoming calls, support window).

    m_startup->Form_Load();
}

VendrelConsole::~VendrelConsole()
{
    // Controllers go before the modem and the view they hold by reference.
    m_startup.reset();
    m_reportLog.reset();
    m_modem.reset();
    m_view.reset();
}

void VendrelConsole::show()
{
    m_view->show();
}

GsmModem &VendrelConsole::createModem()
{
    m_modem = m_services.createModem();
    // The window handles the modem's events from here on:
    // PENDING(connection): NewStatus -> Modem_NewStatus.
    // PENDING(received messages): MessageReceived -> Modem_MessageReceived, StatusReport -> Modem_StatusReport.
    // PENDING(incoming calls): Ring -> Modem_Ring.
    return *m_modem;
}

void VendrelConsole::releaseModem()
{
    m_modem.reset();
}

void VendrelConsole::ShowUncaughtError(const RaisedError &error)
{
    // A negative number is shown with its hexadecimal form too, as the library's are known by it.
    QString number = QString::number(error.number());
    if (error.number() < 0)
        number += QStringLiteral(" (%1)").arg(quint32(error.number()), 8, 16, QLatin1Char('0')).toUpper();
    m_utils->ShowMessageBox(QStringLiteral("Run-time error '%1' from %2:\n\n%3").arg(number, error.source(), error.description()),
                            Dialogs::Exclamation);
}
