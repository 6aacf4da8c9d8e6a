// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "vendrelsettings.h"

#include <QString>

#include <variant>

class SettingsStore;

// The main window's variables and their keys in the per-user store: one table of key, default
// and variable, read at start-up and written back at close.
class SettingsPersistence
{
public:
    // section: the executable's base name, as the store files the settings of each program apart.
    SettingsPersistence(VendrelSettings &settings, SettingsStore &store, QString section);

    // Each key on its own: absent gives the default; one that cannot be read, or does not
    // convert, leaves its variable as it was.
    void load();
    // Each key on its own: one that cannot be written is passed over, the others are still written.
    void save();

    // The store's application name for the settings.
    static constexpr char Application[] = "Pellix";

private:
    using Variable = std::variant<qint32 VendrelSettings::*, qint16 VendrelSettings::*, QString VendrelSettings::*>;
    struct Entry
    {
        const char *key;
        const char *defaultText;
        Variable variable;
    };
    static const Entry Table[];

    void read(const Entry &entry);
    void write(const Entry &entry);

    VendrelSettings &m_settings;
    SettingsStore &m_store;
    QString m_section;
};
