// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace pellix {

// Pellix.ini, the library's own settings file: [Ports] (COM number overrides) and [Modem] (the
// profile of modem type 0).
//
// Read by a small parser of our own rather than QSettings: QSettings' IniFormat turns a value
// with commas into a list and decodes '%' escapes, while a device path or an AT command line must
// come back exactly as written. Rules, as Windows profile files have them:
//   - sections and keys are matched without regard to case; the first occurrence of a key wins;
//   - a line whose first non-blank character is ';' or '#' is a comment; there are no comments
//     after a value (AT command lines contain ';');
//   - blanks around keys and values are dropped, and one pair of double quotes enclosing the
//     whole value is removed; everything else (commas, '%', quotes inside) is kept as written;
//   - UTF-8, with or without a byte-order mark, LF or CRLF line ends.
class PellixIni
{
public:
    static constexpr qint64 MaxFileBytes = 1024 * 1024;

    struct Entry
    {
        QString key;    // as written
        QString value;
    };

    PellixIni() = default;

    // Reads the file. A missing file gives an empty PellixIni (exists() false); an unreadable or
    // oversized one the same with errorText() saying why.
    static PellixIni load(const QString &path);
    static PellixIni parse(const QByteArray &text, const QString &path = QString());

    // Where Pellix.ini is: <configDir>/Pellix/Pellix.ini when that file exists, else
    // <appDir>/Pellix.ini (which may not exist either).
    static QString locate(const QString &configDir, const QString &appDir);
    // locate() with $XDG_CONFIG_HOME (QStandardPaths::GenericConfigLocation) and the folder of
    // the executable.
    static QString defaultPath();
    // load(defaultPath()).
    static PellixIni loadDefault();

    const QString &path() const { return m_path; }
    bool exists() const { return m_exists; }
    const QString &errorText() const { return m_error; }

    bool hasSection(const QString &section) const;
    std::optional<QString> value(const QString &section, const QString &key) const;
    // Every key=value line of the section in file order, duplicates included.
    QList<Entry> entries(const QString &section) const;

private:
    struct Section
    {
        QString name;
        QList<Entry> entries;
    };
    const Section *findSection(const QString &name) const;

    QString m_path;
    bool m_exists = false;
    QString m_error;
    QList<Section> m_sections;
};

} // namespace pellix
