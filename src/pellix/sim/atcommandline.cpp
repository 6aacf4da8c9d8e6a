// SPDX-License-Identifier: GPL-3.0-or-later
#include "atcommandline.h"

namespace pellix::sim {
namespace {

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// V.250 5.4.1: characters of an extended command name after its prefix.
bool isNameChar(char c)
{
    return isLetter(c) || isDigit(c) || c == '!' || c == '%' || c == '-' || c == '.' || c == '/' || c == ':'
        || c == '_';
}

// Extended prefixes: '+' of V.250, and the ones vendors use for their own commands.
bool isExtendedPrefix(char c)
{
    return c == '+' || c == '^' || c == '$' || c == '%' || c == '*' || c == '#' || c == '!';
}

} // namespace

std::optional<QList<AtCommand>> AtCommandLine::parse(const QByteArray &body)
{
    QList<AtCommand> commands;
    int i = 0;
    const int n = int(body.size());
    auto skipBlanks = [&] {
        while (i < n && body.at(i) == ' ')
            ++i;
    };
    auto digits = [&] {
        QByteArray number;
        skipBlanks();
        while (i < n && (isDigit(body.at(i)) || body.at(i) == ' ')) {
            if (body.at(i) != ' ')
                number += body.at(i);
            ++i;
        }
        return number;
    };

    while (true) {
        skipBlanks();
        if (i >= n)
            break;
        const char c = body.at(i);
        AtCommand command;
        if (c == ';') {
            ++i;
            continue;
        }
        if (isExtendedPrefix(c)) {
            command.name += c;
            ++i;
            while (i < n && isNameChar(body.at(i)))
                command.name += upper(body.at(i++));
            if (command.name.size() < 2)
                return std::nullopt;
            skipBlanks();
            if (i < n && body.at(i) == '=') {
                ++i;
                skipBlanks();
                if (i < n && body.at(i) == '?') {
                    ++i;
                    command.form = AtCommand::Form::Test;
                } else {
                    command.form = AtCommand::Form::Set;
                    bool inString = false;
                    while (i < n && (inString || body.at(i) != ';')) {
                        if (body.at(i) == '"')
                            inString = !inString;
                        command.argument += body.at(i++);
                    }
                    if (inString)
                        return std::nullopt;
                }
            } else if (i < n && body.at(i) == '?') {
                ++i;
                command.form = AtCommand::Form::Read;
            }
            skipBlanks();
            if (i < n && body.at(i) != ';')
                return std::nullopt;
            commands << command;
            continue;
        }

        command.basic = true;
        if (c == '&') {
            ++i;
            skipBlanks();
            if (i >= n || !isLetter(body.at(i)))
                return std::nullopt;
            command.name = QByteArray("&") + upper(body.at(i++));
            command.argument = digits();
        } else if (isLetter(c)) {
            const char letter = upper(c);
            ++i;
            command.name = QByteArray(1, letter);
            if (letter == 'D') {
                // The dial string runs to the end of the line; a trailing ';' makes it a voice call.
                command.argument = body.mid(i).trimmed();
                i = n;
            } else if (letter == 'S') {
                const QByteArray reg = digits();
                if (reg.isEmpty())
                    return std::nullopt;
                command.name += reg;
                skipBlanks();
                if (i < n && body.at(i) == '?') {
                    ++i;
                    command.form = AtCommand::Form::Read;
                } else if (i < n && body.at(i) == '=') {
                    ++i;
                    command.form = AtCommand::Form::Set;
                    command.argument = digits();
                } else {
                    return std::nullopt;
                }
            } else {
                command.argument = digits();
            }
        } else {
            return std::nullopt;
        }
        commands << command;
    }
    return commands;
}

std::optional<AtArguments> AtArguments::parse(const QByteArray &text)
{
    AtArguments args;
    if (text.trimmed().isEmpty())
        return args;
    int i = 0;
    const int n = int(text.size());
    while (true) {
        Value value;
        while (i < n && text.at(i) == ' ')
            ++i;
        if (i < n && text.at(i) == '"') {
            const int close = int(text.indexOf('"', i + 1));
            if (close < 0)
                return std::nullopt;
            value.text = text.mid(i + 1, close - i - 1);
            value.quoted = true;
            value.present = true;
            i = close + 1;
            while (i < n && text.at(i) == ' ')
                ++i;
            if (i < n && text.at(i) != ',')
                return std::nullopt;
        } else {
            const int comma = int(text.indexOf(',', i));
            const int end = comma < 0 ? n : comma;
            value.text = text.mid(i, end - i).trimmed();
            value.present = !value.text.isEmpty();
            i = end;
        }
        args.m_values << value;
        if (i >= n)
            break;
        ++i;  // the comma
    }
    return args;
}

std::optional<int> AtArguments::integer(int index, int low, int high) const
{
    if (!present(index) || quoted(index))
        return std::nullopt;
    const QByteArray &t = m_values.at(index).text;
    if (t.size() > 9)
        return std::nullopt;
    for (char c : t)
        if (!isDigit(c))
            return std::nullopt;
    const int v = t.toInt();
    if (v < low || v > high)
        return std::nullopt;
    return v;
}

std::optional<int> AtArguments::integerOr(int index, int low, int high, int fallback) const
{
    if (!present(index))
        return fallback;
    return integer(index, low, high);
}

QByteArray AtArguments::text(int index) const
{
    return present(index) ? m_values.at(index).text : QByteArray();
}

} // namespace pellix::sim
