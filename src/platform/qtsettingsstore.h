// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settingsstore.h"

// The per-user store as QSettings in native format, user scope, organisation "Pellix":
// $XDG_CONFIG_HOME/Pellix/<application>.conf, one group per section, every value written as text.
class QtSettingsStore : public SettingsStore
{
public:
    std::optional<QString> read(const QString &application, const QString &section, const QString &key) override;
    bool write(const QString &application, const QString &section, const QString &key, const QString &value) override;

    static QString organisation() { return QStringLiteral("Pellix"); }
    // Where the store of an application lives.
    static QString fileName(const QString &application);

    // The text of a value line of the file as written by hand, "key=" taken off: blanks around it
    // dropped, quoted parts and backslash escapes decoded as QSettings writes them, everything
    // else (commas, blanks between pieces) kept. nullopt when the file has no such line.
    static std::optional<QString> rawValue(const QString &file, const QString &section, const QString &key);
};
