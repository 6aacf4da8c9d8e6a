// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

#include <optional>

namespace pellix::sim {

// One command of a command line (V.250 5.3 / 5.4).
struct AtCommand
{
    enum class Form { Action, Set, Read, Test };

    QByteArray name;        // upper case: "E", "&F", "S7", "D", "+CMGS", "^SBNR"
    Form form = Form::Action;
    QByteArray argument;    // basic: the number (may be empty); D: the dial string; extended Set: after '='
    bool basic = false;
};

// The body of a command line, i.e. what follows "AT" up to the terminator.
class AtCommandLine
{
public:
    // Basic commands may follow each other directly ("E1V1"); an extended command ends at ';' or at
    // the end of the line, and a basic command may follow an extended one only after ';'.
    // Blanks outside quoted strings do not count. nullopt when the line is not well formed.
    static std::optional<QList<AtCommand>> parse(const QByteArray &body);
};

// The parameters of an extended command: comma-separated values, strings in double quotes
// (V.250 5.4.2.2: a string cannot hold '"'), omitted values allowed.
class AtArguments
{
public:
    struct Value
    {
        QByteArray text;
        bool quoted = false;
        bool present = false;  // false for an omitted value (",,")
    };

    // nullopt for an unterminated string or text after a closing quote.
    static std::optional<AtArguments> parse(const QByteArray &text);

    int count() const { return int(m_values.size()); }
    bool present(int index) const { return index < count() && m_values.at(index).present; }
    bool quoted(int index) const { return index < count() && m_values.at(index).quoted; }

    // A present, unquoted decimal value in [low, high]; nullopt otherwise (absent included).
    std::optional<int> integer(int index, int low, int high) const;
    // Like integer(), but an absent value gives fallback; nullopt only for a bad present value.
    std::optional<int> integerOr(int index, int low, int high, int fallback) const;
    // The text of a value, quoted or not; empty when absent.
    QByteArray text(int index) const;

private:
    QList<Value> m_values;
};

} // namespace pellix::sim
