// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "smsobjects.h"

#include <QMap>
#include <QString>
#include <QStringList>

namespace cli {

// pellix's arguments: options (anywhere, "--name value", "--name=value"; "--" ends them) and the
// words that are left (the command, its subcommand, its arguments). Every option is known by name
// before reading, so that a value is never taken for a word; an unknown one is a usage error.
class CommandLine
{
public:
    // Raises UsageError for an unknown option or a missing value.
    static CommandLine parse(const QStringList &arguments);
    // The arguments as the program got them: each must be UTF-8, since a byte that is not would
    // reach the modem as U+FFFD. Raises UsageError naming the argument and the byte offset.
    static QStringList decode(const QList<QByteArray> &arguments);
    // The name among names that word was most likely meant to be (a letter left out, added,
    // changed or two swapped, or the start of one name alone); empty when none is close.
    static QString nearest(const QString &word, const QStringList &names);

    const QStringList &words() const { return m_words; }
    QString word(qsizetype i) const { return m_words.value(i); }
    bool has(const QString &name) const { return m_options.contains(name); }
    QString value(const QString &name) const { return m_options.value(name); }
    // Every value of an option that may be given more than once (--reply), in order.
    QStringList values(const QString &name) const { return m_repeated.value(name); }
    QStringList optionNames() const { return m_options.keys(); }
    // Every --port, --device and --type in the order given (value() has the first of each): pellix
    // check takes many modems; every other command one (requireSingleModem).
    const QList<std::pair<QString, QString>> &modemOptions() const { return m_modems; }
    void requireSingleModem() const;

    // The option's value as a whole number in min..max, fallback when the option is absent;
    // anything else is a usage error naming the option.
    int integer(const QString &name, int min, int max, int fallback) const;
    // A word as a whole number in min..max; what names it in the usage error.
    static int integerWord(const QString &word, int min, int max, const QString &what);
    // A word as the number of a recipient or a forwarding target, by the library's rules
    // (PellixUtilities::CreatePhoneNumber), or as a number to store (a dial string); a number
    // the library would refuse is a usage error naming what, before any modem is asked.
    static PhoneNumber recipientWord(const QString &word, const QString &what);
    static QString dialStringWord(const QString &word, const QString &what);

    // How every command connects: --baud (0: the profile's), --timeout S, --pin and --force-pin.
    // An empty --pin and --force-pin without --pin are usage errors.
    struct Connection
    {
        qint32 baudRate = 0;
        int timeoutSeconds = 60;
        bool timeoutGiven = false;
        QString pin;
        bool forcePin = false;
    };
    Connection connection() const;

    // Raise UsageError: an option that is neither global nor allowed; a count of words (the
    // command's included) other than count, with usage as the text.
    void allowOnly(const QStringList &allowed) const;
    void requireWords(qsizetype count, const QString &usage) const;

    // The options every command takes.
    static const QStringList &globalOptions();
    // Every option of every command, as typed ("--port").
    static QStringList knownOptions();

private:
    QMap<QString, QString> m_options;
    QMap<QString, QStringList> m_repeated;
    QList<std::pair<QString, QString>> m_modems;
    QStringList m_words;
};

} // namespace cli
