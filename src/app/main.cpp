// SPDX-License-Identifier: GPL-3.0-or-later
#include "appfacts.h"
#include "modem/pellixgsmmodem.h"
#include "modem/pellixutilities.h"
#include "qtdesktop.h"
#include "qtdialogs.h"
#include "qtsettingsstore.h"
#include "raisederror.h"
#include "vendrelapplication.h"
#include "vendrelconsole.h"

#include <QGuiApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    VendrelApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Pellix"));
    QCoreApplication::setApplicationName(QStringLiteral("Vendrel"));
    // Wayland and the window managers match the windows to vendrel.desktop by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("vendrel"));

    const AppFacts facts = AppFacts::current();
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3").arg(facts.major).arg(facts.minor).arg(facts.revision));

    ConsoleServices services;
    services.dialogs = std::make_unique<QtDialogs>();
    services.desktop = std::make_unique<QtDesktop>();
    services.settingsStore = std::make_unique<QtSettingsStore>();
    services.utilities = std::make_unique<pellix::PellixUtilities>();
    services.facts = facts;
    services.createModem = [] { return pellix::createGsmModem(); };

    std::unique_ptr<VendrelConsole> console;
    try {
        console = std::make_unique<VendrelConsole>(std::move(services));
    } catch (const RaisedError &error) {
        // Without its modem object the window cannot start.
        QMessageBox::critical(nullptr, facts.title,
                              QStringLiteral("Error %1 from %2: %3").arg(error.number()).arg(error.source(), error.description()));
        return 1;
    }
    app.setUncaughtErrorHandler([&console](const RaisedError &error) { console->showUncaughtError(error); });
    console->show();
    const int exitCode = app.exec();
    app.setUncaughtErrorHandler({});
    return exitCode;
}
