// SPDX-License-Identifier: GPL-3.0-or-later
#include "settingspersistence.h"

#include "settingconversion.h"
#include "settingsstore.h"

#include <optional>

// The order is the order of reading and writing.
const SettingsPersistence::Entry SettingsPersistence::Table[] = {
    {"ModemType", "-1", &VendrelSettings::ModemType},
    {"CommPort", "1", &VendrelSettings::CommPort},
    {"CheckGSMSignal", "0", &VendrelSettings::CheckGSMSignal},
    {"AutoReceive", "1", &VendrelSettings::AutoReceive},
    {"AutoDelete", "0", &VendrelSettings::AutoDelete},
    {"RecentPhones", "+", &VendrelSettings::RecentPhones},
    {"MessageText", "Hi, this is a test message", &VendrelSettings::MessageText},
    {"StatusReport", "0", &VendrelSettings::StatusReport},
};

SettingsPersistence::SettingsPersistence(VendrelSettings &settings, SettingsStore &store, QString section)
    : m_settings(settings)
    , m_store(store)
    , m_section(std::move(section))
{
}

void SettingsPersistence::load()
{
    for (const Entry &entry : Table)
        read(entry);
}

void SettingsPersistence::save()
{
    for (const Entry &entry : Table)
        write(entry);
}

void SettingsPersistence::read(const Entry &entry)
{
    std::optional<QString> stored;
    try {
        stored = m_store.read(QString::fromLatin1(Application), m_section, QString::fromLatin1(entry.key));
    } catch (const SettingsStore::Unreadable &) {
        return; // only an absent key takes the default
    } catch (...) {
        return;
    }
    const QString text = stored.value_or(QString::fromLatin1(entry.defaultText));
    std::visit(
        [&](auto member) {
            auto &variable = m_settings.*member;
            if constexpr (std::is_same_v<std::decay_t<decltype(variable)>, QString>) {
                variable = text;
            } else if (const std::optional<qint16> value = SettingConversion::toInteger16(text)) {
                variable = *value; // ModemType too is read as 16-bit, then widened
            }
        },
        entry.variable);
}

void SettingsPersistence::write(const Entry &entry)
{
    const QString text = std::visit(
        [&](auto member) {
            const auto &variable = m_settings.*member;
            if constexpr (std::is_same_v<std::decay_t<decltype(variable)>, QString>)
                return variable;
            else
                return QString::number(variable);
        },
        entry.variable);
    try {
        (void)m_store.write(QString::fromLatin1(Application), m_section, QString::fromLatin1(entry.key), text);
    } catch (...) {
    }
}
