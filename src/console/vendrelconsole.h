// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "appfacts.h"
#include "vendrelsettings.h"

#include <QObject>

#include <functional>
#include <memory>

class Desktop;
class Dialogs;
class GsmModem;
class GsmUtilities;
class ModUtils;
class RaisedError;
class ReportLog;
class SettingsStore;
class StartupController;
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
    ModUtils &utils() const { return *m_utils; }
    StartupController &startup() const { return *m_startup; }
    ReportLog &reportLog() const { return *m_reportLog; }

    // An error that no handler caught: number and description reach the operator, and the
    // program goes on.
    void ShowUncaughtError(const RaisedError &error);

private:
    GsmModem &createModem();
    void releaseModem();

    ConsoleServices m_services;
    VendrelSettings m_settings;
    std::unique_ptr<frmVendrel> m_view;
    std::unique_ptr<ModUtils> m_utils;
    std::unique_ptr<GsmModem> m_modem;
    std::unique_ptr<ReportLog> m_reportLog;
    std::unique_ptr<StartupController> m_startup;
};
