// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "modem/pellixgsmmodem.h"
#include "modem/pellixutilities.h"
#include "raisederror.h"
#include "usageerror.h"

#include <algorithm>
#include <optional>

namespace cli {
namespace {

enum class Kind { Flag, Value, OptionalNumber, Repeated };

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
    {"probe", Kind::Flag},      {"version", Kind::Flag},   {"liveness", Kind::Value},
    {"reply", Kind::Repeated},  {"cancel", Kind::Flag},    {"force-pin", Kind::Flag},
    {"min-rssi", Kind::Value},  {"own-number", Kind::Value}, {"within", Kind::Value},
    {"ussd", Kind::Value},      {"junit", Kind::Value},    {"listen", Kind::Value},
    {"interval", Kind::Value},  {"check-every", Kind::Value}, {"forward-to", Kind::Value},
    {"reopen-after", Kind::Value}, {"loopback", Kind::Flag},
};

// The options that name a modem: check takes several modems, each named by one of them.
bool namesModem(const QString &name)
{
    return name == QLatin1String("port") || name == QLatin1String("device") || name == QLatin1String("type");
}

const OptionKind *find(const QString &name)
{
    for (const OptionKind &option : Options) {
        if (name == QLatin1String(option.name))
            return &option;
    }
    return nullptr;
}

// Edits from a to b, a swap of neighbours counting as one (optimal string alignment).
qsizetype editDistance(const QString &a, const QString &b)
{
    QList<QList<qsizetype>> d(a.size() + 1, QList<qsizetype>(b.size() + 1, 0));
    for (qsizetype i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (qsizetype j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype change = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a.at(i - 1) == b.at(j - 2) && a.at(i - 2) == b.at(j - 1))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// The offset of the first byte that does not belong to a well-formed UTF-8 sequence (RFC 3629:
// no overlong forms, no surrogates, nothing above U+10FFFF), or -1.
qsizetype invalidUtf8At(const QByteArray &bytes)
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes.at(i));
        int follow = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            follow = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            follow = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            follow = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return i;
        }
        for (int k = 1; k <= follow; ++k) {
            if (i + k >= bytes.size())
                return i;
            const auto next = static_cast<unsigned char>(bytes.at(i + k));
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF))
                return i;
        }
        i += 1 + follow;
    }
    return -1;
}

QString hexByte(unsigned char byte)
{
    return QString::number(byte, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

// An argument as it can be shown: printable ASCII as it is, every other byte as \xHH.
QString printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x") + hexByte(byte);
    }
    return text;
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
        if (!option) {
            const QString meant = nearest(QStringLiteral("--") + name, knownOptions());
            throw UsageError(QStringLiteral("unknown option --%1%2")
                                 .arg(name, meant.isEmpty() ? QString() : QStringLiteral(" (did you mean %1?)").arg(meant)));
        }
        if (line.m_options.contains(name) && option->kind != Kind::Repeated && !namesModem(name))
            throw UsageError(QStringLiteral("--%1 is given twice").arg(name));
        switch (option->kind) {
        case Kind::Flag:
            if (value)
                throw UsageError(QStringLiteral("--%1 takes no value").arg(name));
            line.m_options.insert(name, QString());
            break;
        case Kind::Value:
        case Kind::Repeated:
            if (!value) {
                if (i + 1 >= arguments.size())
                    throw UsageError(QStringLiteral("--%1 needs a value").arg(name));
                value = arguments.at(++i);
            }
            if (option->kind == Kind::Repeated) {
                line.m_repeated[name].append(*value);
                if (line.m_options.contains(name))
                    break;
            }
            if (namesModem(name))
                line.m_modems.append({name, *value});
            if (!line.m_options.contains(name))
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

QStringList CommandLine::knownOptions()
{
    QStringList names;
    for (const OptionKind &option : Options)
        names << QStringLiteral("--") + QLatin1String(option.name);
    return names;
}

QStringList CommandLine::decode(const QList<QByteArray> &arguments)
{
    QStringList decoded;
    for (qsizetype n = 0; n < arguments.size(); ++n) {
        const QByteArray &argument = arguments.at(n);
        const qsizetype at = invalidUtf8At(argument);
        if (at >= 0)
            throw UsageError(QStringLiteral("argument %1 (\"%2\") is not valid UTF-8: byte offset %3 (0x%4)")
                                 .arg(n + 1)
                                 .arg(printable(argument))
                                 .arg(at)
                                 .arg(hexByte(static_cast<unsigned char>(argument.at(at)))));
        decoded << QString::fromUtf8(argument);
    }
    return decoded;
}

QString CommandLine::nearest(const QString &word, const QStringList &names)
{
    QString best;
    qsizetype bestDistance = 0;
    for (const QString &name : names) {
        const qsizetype distance = editDistance(word, name);
        if (best.isEmpty() || distance < bestDistance) {
            best = name;
            bestDistance = distance;
        }
    }
    // One slip in a short name, two in a longer one; more is another word.
    if (!best.isEmpty() && bestDistance <= (best.size() > 5 ? 2 : 1))
        return best;
    QStringList starting;
    for (const QString &name : names) {
        if (word.size() >= 2 && name.startsWith(word))
            starting << name;
    }
    return starting.size() == 1 ? starting.first() : QString();
}

int CommandLine::integerWord(const QString &word, int min, int max, const QString &what)
{
    bool ok = false;
    const int n = word.toInt(&ok);
    if (!ok || n < min || n > max)
        throw UsageError(QStringLiteral("%1 must be a whole number from %2 to %3, not \"%4\"").arg(what).arg(min).arg(max).arg(word));
    return n;
}

PhoneNumber CommandLine::recipientWord(const QString &word, const QString &what)
{
    try {
        return pellix::PellixUtilities().CreatePhoneNumber(word, true, 1);
    } catch (const RaisedError &error) {
        throw UsageError(QStringLiteral("%1: %2").arg(what, error.description()));
    }
}

QString CommandLine::dialStringWord(const QString &word, const QString &what)
{
    const QString why = pellix::PellixGsmModem::dialStringRefusal(word);
    if (!why.isEmpty())
        throw UsageError(QStringLiteral("%1: %2").arg(what, why));
    return word;
}

CommandLine::Connection CommandLine::connection() const
{
    Connection connection;
    connection.baudRate = integer(QStringLiteral("baud"), 1, 4000000, 0);
    connection.timeoutSeconds = integer(QStringLiteral("timeout"), 1, 600, connection.timeoutSeconds);
    connection.timeoutGiven = has(QStringLiteral("timeout"));
    connection.pin = value(QStringLiteral("pin"));
    connection.forcePin = has(QStringLiteral("force-pin"));
    if (has(QStringLiteral("pin")) && connection.pin.isEmpty())
        throw UsageError(QStringLiteral("--pin needs the PIN"));
    if (connection.forcePin && connection.pin.isEmpty())
        throw UsageError(QStringLiteral("--force-pin goes with --pin"));
    return connection;
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
        QStringLiteral("help"), QStringLiteral("version"), QStringLiteral("force-pin"),
    };
    return names;
}

void CommandLine::requireSingleModem() const
{
    for (const QString &name : {QStringLiteral("port"), QStringLiteral("device"), QStringLiteral("type")}) {
        if (std::count_if(m_modems.cbegin(), m_modems.cend(), [&](const auto &option) { return option.first == name; }) > 1)
            throw UsageError(QStringLiteral("--%1 is given twice").arg(name));
    }
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
