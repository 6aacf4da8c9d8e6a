// SPDX-License-Identifier: GPL-3.0-or-later
#include "appfacts.h"
#include "connection/modemfactory.h"
#include "modem/pellixutilities.h"
#include "qtdesktop.h"
#include "qtdialogs.h"
#include "qtsettingsstore.h"
#include "raisederror.h"
#include "vendrelapplication.h"
#include "vendrelconsole.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstring>

namespace {

constexpr char Help[] =
    "Usage: Vendrel [--help] [--version] [Qt options]\n"
    "The Pellix Test utility: a desktop console with which an operator tests a GSM modem or mobile\n"
    "phone on a serial port through the Pellix library: text messages and delivery reports, the SIM\n"
    "phonebook, call forwarding, incoming calls and the signal. The modem type \"No modem (use\n"
    "simulator)\" is a virtual modem that needs no hardware. The \"?\" buttons open the help.\n"
    "\n"
    "Options:\n"
    "  --help, -h       this text\n"
    "  --version        the program's version\n"
    "  -platform NAME   Qt's window system plugin (xcb, wayland, offscreen); Qt's other options,\n"
    "                   such as -style NAME, work as in every Qt program\n"
    "\n"
    "Files:\n"
    "  Pellix.conf      the settings, section [Vendrel], in $XDG_CONFIG_HOME/Pellix (~/.config/Pellix\n"
    "                   when XDG_CONFIG_HOME is unset)\n"
    "  Pellix.ini       modem profiles (modem type 0) and [Ports] COMn=device, in the same folder,\n"
    "                   else beside the program\n"
    "  Pellix.CHM       the help, in ../share/vendrel beside the program (../Doc in a build tree)\n"
    "  Pellix.log       the library's AT trace, in $TMPDIR or else /tmp/pellix-UID; the support\n"
    "                   window shows where it is and opens it\n"
    "\n"
    "Exit statuses:\n"
    "  0  the window was closed\n"
    "  1  the modem library could not be started (a message box says why)\n";

// --help and --version answer on stdout and start nothing: no window, no display needed.
bool answered(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Help, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Vendrel %s\n", PELLIX_VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (answered(argc, argv))
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
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
