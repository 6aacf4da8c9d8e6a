// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakesettingsstore.h"

#include <QStringList>

QString FakeSettingsStore::address(const QString &application, const QString &section, const QString &key)
{
    // A separator no name holds, so that ("a/b", "c") and ("a", "b/c") stay apart.
    return application + QChar(0) + section + QChar(0) + key;
}

void FakeSettingsStore::set(const QString &application, const QString &section, const QString &key, const QString &value)
{
    m_values.insert(address(application, section, key), value);
}

void FakeSettingsStore::remove(const QString &application, const QString &section, const QString &key)
{
    m_values.remove(address(application, section, key));
}

std::optional<QString> FakeSettingsStore::value(const QString &application, const QString &section,
                                                const QString &key) const
{
    const auto it = m_values.constFind(address(application, section, key));
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

QStringList FakeSettingsStore::readKeys() const
{
    QStringList keys;
    for (const Access &a : m_log) {
        if (!a.write)
            keys.append(a.key);
    }
    return keys;
}

QStringList FakeSettingsStore::writtenKeys() const
{
    QStringList keys;
    for (const Access &a : m_log) {
        if (a.write)
            keys.append(a.key);
    }
    return keys;
}

std::optional<QString> FakeSettingsStore::read(const QString &application, const QString &section, const QString &key)
{
    const bool fails = failingReads.contains(key);
    const std::optional<QString> result = fails ? std::nullopt : value(application, section, key);
    m_log.append({false, application, section, key, result.value_or(QString()), !fails});
    if (fails)
        throw Unreadable();
    return result;
}

bool FakeSettingsStore::write(const QString &application, const QString &section, const QString &key,
                              const QString &value)
{
    const bool fails = failingWrites.contains(key);
    m_log.append({true, application, section, key, value, !fails});
    if (fails)
        return false;
    set(application, section, key, value);
    return true;
}
