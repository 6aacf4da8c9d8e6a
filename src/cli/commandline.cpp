// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "usageerror.h"

#include <optional>

namespace cli {
namespace {

enum class Kind { Flag, Value, OptionalNumber };

struct OptionKind
{
    const char *name;
    Kind kind;
};

// Every option of every command. One table, so that "--class 1" is read the same wherever it
// stands; which command takes which is checked after reading (allowOnly).
constexpr OptionKind Options[] = {
    {"port", Kind::Value},      {"device", Kind::Value},   {"type", Kind::Value},
    {"pin", Kind::Value},       {"baud", Kind::Value},     {"timeout", Kind::Value},
    {"json", Kind::Flag},       {"trace", Kind::Flag},     {"help", Kind::Flag},
    {"alphabet", Kind::Value},  {"udh", Kind::Value},      {"class", Kind::Value},
    {"validity", Kind::Value},  {"receipt", Kind::Flag},   {"wait-report", Kind::OptionalNumber},
    {"all", Kind::Flag},        {"unread", Kind::Flag},    {"read", Kind::Flag},
    {"delete", Kind::Flag},     {"watch", Kind::Value},    {"reason", Kind::Value},
    {"probe", Kind::Flag},      {"liveness", Kind::Value},
};

const OptionKind *find(const QString &name)
{
    for (const OptionKind &option : Options) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

bool isNumber(const QString &text)
{
    bool ok = false;
    text.toInt(&ok);
    return ok && !text.startsWith(QLatin1Char('+'));
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine line;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-") || isNumber(arg)) {
            line.m_words.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (arg == QLatin1String("-h")) {
            line.m_options.insert(QStringLiteral("help"), QString());
            continue;
        }
        if (!arg.startsWith(QLatin1String("--")))
            throw UsageError(QStringLiteral("unknown option %1").arg(arg));
        QString name = arg.mid(2);
        std::optional<QString> value;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
            value = name.mid(eq + 1);
            name.truncate(eq);
        }
        const OptionKind *option = find(name);
        if (!option)
            throw UsageError(QStringLiteral("unknown option --%1").arg(name));
        if (line.m_options.contains(name))
            throw UsageError(QStringLiteral("--%1 is given twice").arg(name));
        switch (option->kind) {
        case Kind::Flag:
            if (value)
                throw UsageError(QStringLiteral("--%1 takes no value").arg(name));
            line.m_options.insert(name, QString());
            break;
        case Kind::Value:
            if (!value) {
                if (i + 1 >= arguments.size())
                    throw UsageError(QStringLiteral("--%1 needs a value").arg(name));
                value = arguments.at(++i);
            }
            line.m_options.insert(name, *value);
            break;
        case Kind::OptionalNumber:
            // The value may follow as its own word only when it is a number, so that a message
            // text after the option is never taken for it.
            if (!value && i + 1 < arguments.size() && isNumber(arguments.at(i + 1)))
                value = arguments.at(++i);
            line.m_options.insert(name, value.value_or(QString()));
            break;
        }
    }
    return line;
}

int CommandLine::integerWord(const QString &word, int min, int max, const QString &what)
{
    bool ok = false;
    const int n = word.toInt(&ok);
    if (!ok || n < min || n > max)
        throw UsageError(QStringLiteral("%1 must be a whole number from %2 to %3, not \"%4\"").arg(what).arg(min).arg(max).arg(word));
    return n;
}

int CommandLine::integer(const QString &name, int min, int max, int fallback) const
{
    if (!has(name) || value(name).isEmpty()) {
        if (has(name) && find(name)->kind == Kind::Value)
            throw UsageError(QStringLiteral("--%1 needs a value").arg(name));
        return fallback;
    }
    return integerWord(value(name), min, max, QStringLiteral("--") + name);
}

const QStringList &CommandLine::globalOptions()
{
    static const QStringList names = {
        QStringLiteral("port"), QStringLiteral("device"), QStringLiteral("type"), QStringLiteral("pin"),
        QStringLiteral("baud"), QStringLiteral("timeout"), QStringLiteral("json"), QStringLiteral("trace"),
        QStringLiteral("help"),
    };
    return names;
}

void CommandLine::allowOnly(const QStringList &allowed) const
{
    for (auto it = m_options.cbegin(); it != m_options.cend(); ++it) {
        if (!globalOptions().contains(it.key()) && !allowed.contains(it.key()))
            throw UsageError(QStringLiteral("%1 does not take --%2").arg(m_words.value(0), it.key()));
    }
}

void CommandLine::requireWords(qsizetype count, const QString &usage) const
{
    if (m_words.size() != count)
        throw UsageError(QStringLiteral("%1 (pellix %2 --help)").arg(usage, m_words.value(0)));
}

} // namespace cli
