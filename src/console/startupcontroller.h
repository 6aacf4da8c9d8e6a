// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "appfacts.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class Desktop;
class GsmModem;
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

    StartupController(frmVendrel &view, VendrelSettings &settings, SettingsStore &store, Desktop &desktop,
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
    // The compiled help file, located by InitForm; read by every help button.
    const QString &HelpFilePath() const { return m_helpFilePath; }

    // The store's address of the settings.
    static constexpr char SettingsApplication[] = "Pellix";
    static constexpr int HelpTopic = 10011;

    // A stored number or boolean as a 16-bit integer, strictly: blanks around a whole or decimal
    // number (a decimal rounded half to even) and nothing else; nullopt when it does not convert.
    static std::optional<qint16> settingToInteger(const QString &text);
    // exe folder + "/../Doc/Pellix.CHM" when a file is there, else exe folder +
    // "/../../../Doc/Pellix.CHM" untested; joined as text.
    static QString locateHelpFile(const QString &exeFolder);

private:
    // Reads one key: absent gives the default; nullopt when the read or the conversion failed.
    std::optional<qint16> readNumber(const QString &key, const QString &defaultText);
    void readText(const QString &key, const QString &defaultText, QString &variable);
    void writeValue(const QString &key, const QString &value);
    std::optional<QString> readValue(const QString &key, bool &failed);

    frmVendrel &m_view;
    VendrelSettings &m_settings;
    SettingsStore &m_store;
    Desktop &m_desktop;
    AppFacts m_facts;
    ModemLifetime m_modemLifetime;
    Parts m_parts;
    GsmModem *m_modem = nullptr;

    bool m_isLoading = false;
    QString m_helpFilePath;
};
