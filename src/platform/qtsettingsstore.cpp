// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtsettingsstore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

namespace {

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// Decodes one value as QSettings' ini writer escapes it: "..." quoting, \" \\ \n \r \t and the
// other C escapes, \xHH and octal codes; ';' outside quotes begins a comment. Commas and the
// blanks around them are kept: the store holds texts, never lists.
QString unescapeValue(const QString &raw)
{
    QString out;
    bool quoted = false;
    int lastSignificant = 0; // length of out up to its last character that is not an unquoted blank
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            lastSignificant = int(out.size());
            continue;
        }
        if (!quoted && c == QLatin1Char(';'))
            break;
        if (c == QLatin1Char('\\') && i + 1 < raw.size()) {
            const QChar e = raw.at(++i);
            switch (e.unicode()) {
            case 'a': out += QChar(7); break;
            case 'b': out += QChar(8); break;
            case 'f': out += QChar(12); break;
            case 'n': out += QChar(10); break;
            case 'r': out += QChar(13); break;
            case 't': out += QChar(9); break;
            case 'v': out += QChar(11); break;
            case 'x': {
                uint code = 0;
                while (i + 1 < raw.size() && isHexDigit(raw.at(i + 1))) {
                    code = code * 16 + uint(QString(raw.at(++i)).toUInt(nullptr, 16));
                    if (code > 0x10FFFF)
                        break;
                }
                out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
                break;
            }
            case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
                uint code = uint(e.unicode() - '0');
                while (i + 1 < raw.size() && raw.at(i + 1) >= QLatin1Char('0') && raw.at(i + 1) <= QLatin1Char('7')
                       && code < 0x10000)
                    code = code * 8 + uint(raw.at(++i).unicode() - '0');
                out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
                break;
            }
            default: out += e; break; // \" \\ \' \? and anything unknown stand for themselves
            }
            lastSignificant = int(out.size());
            continue;
        }
        out += c;
        if (quoted || (c != QLatin1Char(' ') && c != QLatin1Char('\t')))
            lastSignificant = int(out.size());
    }
    out.truncate(lastSignificant);
    return out;
}

} // namespace

QString QtSettingsStore::fileName(const QString &application)
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, organisation(), application);
    return settings.fileName();
}

std::optional<QString> QtSettingsStore::rawValue(const QString &file, const QString &section, const QString &key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    bool inSection = false;
    std::optional<QString> found;
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            inSection = trimmed.compare(QLatin1Char('[') + section + QLatin1Char(']'), Qt::CaseSensitive) == 0;
            continue;
        }
        if (!inSection || trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0 || line.left(eq).trimmed() != key)
            continue;
        QString value = line.mid(eq + 1);
        while (!value.isEmpty() && (value.front() == QLatin1Char(' ') || value.front() == QLatin1Char('\t')))
            value.remove(0, 1);
        found = unescapeValue(value); // the last line of a key wins, as in QSettings
    }
    return found;
}

std::optional<QString> QtSettingsStore::read(const QString &application, const QString &section, const QString &key)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, organisation(), application);
    // QSettings finds an unreadable file empty and says nothing of it: a file that is there must
    // open, or every key would look absent.
    const QFileInfo file(settings.fileName());
    if (file.exists()) {
        QFile probe(file.filePath());
        if (!file.isFile() || !probe.open(QIODevice::ReadOnly))
            throw Unreadable();
    }
    if (settings.status() != QSettings::NoError)
        throw Unreadable();
    settings.beginGroup(section);
    if (!settings.contains(key))
        return std::nullopt;
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    // A hand-edited value with an unquoted comma comes back from QSettings as a list, with the
    // blanks around the commas gone (and "@Type(...)" as some other type): the line itself holds
    // the text the operator wrote.
    if (auto raw = rawValue(settings.fileName(), section, key))
        return raw;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    if (value.canConvert<QString>())
        return value.toString();
    throw Unreadable();
}

bool QtSettingsStore::write(const QString &application, const QString &section, const QString &key, const QString &value)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, organisation(), application);
    if (!settings.isWritable())
        return false;
    settings.beginGroup(section);
    // Always a text: QSettings quotes commas and escapes '@', so the value reads back as written.
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}
