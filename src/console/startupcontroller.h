// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "appfacts.h"
#include "settingspersistence.h"

#include <QObject>
#include <QString>

#include <functional>

class GsmModem;
class HelpService;
class SettingsStore;
class frmVendrel;
struct VendrelSettings;

// Brings the main window to life and takes it down: the modem object's lifetime, the eight
// settings (store -> variables -> controls, and back at close), the caption with the version,
// the help file and its button, and the Exit button.
class StartupController : public QObject
{
    Q_OBJECT

public:
    // How the one modem object comes and goes; its owner (the composition root) wires its events
    // to the window's handlers when it makes it.
    struct ModemLifetime
    {
        std::function<GsmModem &()> create;
        std::function<void()> release;
    };

    // What start-up and shut-down call in the window's other parts, set once by the composition
    // root; every hook is required.
    struct Parts
    {
        // Form_Load, last: the support window keeps the modem and stays hidden.
        std::function<void(GsmModem &)> lendModemToSupport;
        // ApplySettings step 5: RecentPhones into the list of cmbPhoneNumber.
        std::function<void()> loadRecentPhones;
        // ApplySettings step 8: chkAutoDelete_Click, then chkAutoReceive_Click.
        std::function<void()> applyReceiveOptions;
        // ApplySettings steps 10 and 11: select the modem type, then fill the port list.
        std::function<void()> fillModemLists;
        // Form_Unload, first: closes the support window, which holds the modem.
        std::function<void()> unloadSupport;
        // Form_Unload, while the modem still exists; ignores every failure.
        std::function<void()> disconnectModem;
    };

    StartupController(frmVendrel &view, VendrelSettings &settings, SettingsStore &store, HelpService &help,
                      AppFacts facts, ModemLifetime modem, Parts parts, QObject *parent = nullptr);

    void Form_Load();
    void InitForm();
    void LoadSettings();
    void ApplySettings();
    void SaveSettings();
    void Form_Activate();
    void Form_Unload();
    void cmdClose_Click();
    void cmdHelp_Click();

    // From the start of Form_Load until the first activation of the window.
    bool IsLoading() const { return m_isLoading; }

    // The console's topic in the help file.
    static constexpr int HelpTopic = 10011;

private:
    frmVendrel &m_view;
    VendrelSettings &m_settings;
    SettingsPersistence m_persistence;
    HelpService &m_help;
    AppFacts m_facts;
    ModemLifetime m_modemLifetime;
    Parts m_parts;
    GsmModem *m_modem = nullptr;

    bool m_isLoading = false;
};
