// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// Per-user text values addressed by application, section and key.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The stored text, or nullopt when the key is absent (or the store cannot be read).
    virtual std::optional<QString> read(const QString &application, const QString &section, const QString &key) = 0;
    // false when the value could not be written.
    virtual bool write(const QString &application, const QString &section, const QString &key, const QString &value) = 0;
};
