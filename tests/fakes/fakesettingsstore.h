// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settingsstore.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// An in-memory settings store. Values are addressed as the real store addresses them
// (application, section, key); every read and write is logged in order. Keys named in
// failingReads throw Unreadable, stored or not; keys in failingWrites refuse the write and keep
// the old value.
class FakeSettingsStore : public SettingsStore
{
public:
    struct Access
    {
        bool write = false;
        QString application;
        QString section;
        QString key;
        QString value;      // written value; for reads what was returned (empty when absent)
        bool succeeded = true;
    };

    // --- contents
    void set(const QString &application, const QString &section, const QString &key, const QString &value);
    void remove(const QString &application, const QString &section, const QString &key);
    std::optional<QString> value(const QString &application, const QString &section, const QString &key) const;
    int size() const { return int(m_values.size()); }

    // --- scripting (by key name, in any application and section)
    QSet<QString> failingReads;
    QSet<QString> failingWrites;

    // --- what was done
    const QList<Access> &log() const { return m_log; }
    QStringList readKeys() const;   // keys read, in order
    QStringList writtenKeys() const; // keys written (failed ones included), in order
    void clearLog() { m_log.clear(); }

    // SettingsStore
    std::optional<QString> read(const QString &application, const QString &section, const QString &key) override;
    bool write(const QString &application, const QString &section, const QString &key, const QString &value) override;

private:
    static QString address(const QString &application, const QString &section, const QString &key);

    QHash<QString, QString> m_values;
    QList<Access> m_log;
};
