// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// Per-user text values addressed by application, section and key.
class SettingsStore
{
public:
    // Thrown by read() when the key may be there but cannot be read: the caller must not take
    // that for an absent key and apply its default.
    struct Unreadable
    {
    };

    virtual ~SettingsStore() = default;

    // The stored text, or nullopt when the key is absent. Throws Unreadable when the store or the
    // value cannot be read.
    virtual std::optional<QString> read(const QString &application, const QString &section, const QString &key) = 0;
    // false when the value could not be written.
    virtual bool write(const QString &application, const QString &section, const QString &key, const QString &value) = 0;
};
