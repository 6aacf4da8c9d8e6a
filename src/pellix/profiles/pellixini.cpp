// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixini.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace pellix {
namespace {

QString unquoted(const QString &value)
{
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        return value.mid(1, value.size() - 2);
    return value;
}

QString executableDir()
{
    // applicationDirPath() needs the application object; a library can be used before (or
    // without) one, and must not print Qt's warning then.
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

} // namespace

PellixIni PellixIni::parse(const QByteArray &text, const QString &path)
{
    PellixIni ini;
    ini.m_path = path;
    ini.m_exists = true;

    QByteArray bytes = text;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);

    Section *current = nullptr;
    for (const QByteArray &rawLine : bytes.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            if (close < 0) {
                current = nullptr; // a broken header must not let its keys land in the previous section
                continue;
            }
            const QString name = line.mid(1, close - 1).trimmed();
            current = nullptr;
            for (Section &section : ini.m_sections)
                if (section.name.compare(name, Qt::CaseInsensitive) == 0)
                    current = &section;
            if (!current) {
                ini.m_sections.append(Section{name, {}});
                current = &ini.m_sections.last();
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || !current)
            continue;
        current->entries.append(Entry{line.left(eq).trimmed(), unquoted(line.mid(eq + 1).trimmed())});
    }
    return ini;
}

PellixIni PellixIni::load(const QString &path)
{
    PellixIni ini;
    ini.m_path = path;
    QFile file(path);
    if (!file.exists())
        return ini;
    if (!file.open(QIODevice::ReadOnly)) {
        ini.m_error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return ini;
    }
    if (file.size() > MaxFileBytes) {
        ini.m_error = QStringLiteral("%1: larger than %2 bytes; not a settings file").arg(path).arg(MaxFileBytes);
        return ini;
    }
    const QByteArray text = file.read(MaxFileBytes + 1);
    if (text.size() > MaxFileBytes) {
        ini.m_error = QStringLiteral("%1: larger than %2 bytes; not a settings file").arg(path).arg(MaxFileBytes);
        return ini;
    }
    return parse(text, path);
}

QString PellixIni::locate(const QString &configDir, const QString &appDir)
{
    if (!configDir.isEmpty()) {
        const QString user = QDir(configDir).filePath(QStringLiteral("Pellix/Pellix.ini"));
        if (QFileInfo(user).isFile())
            return user;
    }
    return QDir(appDir).filePath(QStringLiteral("Pellix.ini"));
}

QString PellixIni::defaultPath()
{
    return locate(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation), executableDir());
}

PellixIni PellixIni::loadDefault()
{
    return load(defaultPath());
}

const PellixIni::Section *PellixIni::findSection(const QString &name) const
{
    for (const Section &section : m_sections)
        if (section.name.compare(name, Qt::CaseInsensitive) == 0)
            return &section;
    return nullptr;
}

bool PellixIni::hasSection(const QString &section) const
{
    return findSection(section) != nullptr;
}

std::optional<QString> PellixIni::value(const QString &section, const QString &key) const
{
    if (const Section *s = findSection(section))
        for (const Entry &entry : s->entries)
            if (entry.key.compare(key, Qt::CaseInsensitive) == 0)
                return entry.value;
    return std::nullopt;
}

QList<PellixIni::Entry> PellixIni::entries(const QString &section) const
{
    if (const Section *s = findSection(section))
        return s->entries;
    return {};
}

} // namespace pellix
