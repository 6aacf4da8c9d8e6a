// SPDX-License-Identifier: GPL-3.0-or-later
// The secrets of a command line, found as the modem finds them. V.250 5.2.1: outside quoted
// strings a modem ignores blanks and case, so "at + cpin = 1234" is AT+CPIN=1234; a mask that
// looked for the written form would let any other form through into the trace and error texts.
#include "tracelog.h"

#include <QList>

#include <algorithm>
#include <optional>
#include <utility>

namespace pellix {
namespace {

constexpr char Mask[] = "****";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool isNameChar(char c)
{
    return isDigit(c) || (upper(c) >= 'A' && upper(c) <= 'Z');
}

using Span = std::pair<qsizetype, qsizetype>; // [from, to) of the original line

qsizetype skipBlanks(const QByteArray &line, qsizetype at)
{
    while (at < line.size() && isBlank(line.at(at)))
        ++at;
    return at;
}

// [from, to) without its leading and trailing blanks; empty when nothing is left.
Span trimmedSpan(const QByteArray &line, qsizetype from, qsizetype to)
{
    while (from < to && isBlank(line.at(from)))
        ++from;
    while (to > from && isBlank(line.at(to - 1)))
        --to;
    return {from, to};
}

// Which arguments of an extended command are secrets: -1 every one (they are replaced as one
// span), n the n-th alone, none for a command without secrets.
std::optional<int> secretField(char lead, const QByteArray &name)
{
    if (lead == '+') {
        // 27.007 8.3 +CPIN=<pin>[,<newpin>], 7.5 +CPWD=<fac>,<oldpwd>,<newpwd>; +CPIN2 of
        // phones that take PIN2 in a command of its own.
        if (name == "CPIN" || name == "CPIN2" || name == "CPWD")
            return -1;
        // 27.007 7.4 +CLCK=<fac>,<mode>[,<passwd>[,<class>]].
        if (name == "CLCK")
            return 2;
    }
    // Huawei ^CPIN=<pin>[,<newpin>] (PUK and new PIN).
    if (lead == '^' && name == "CPIN")
        return -1;
    return std::nullopt;
}

// The arguments of an extended command whose '=' is at `equals`: spans of its secrets. Returns
// where the command ends (its ';', or the end of the line).
qsizetype extendedSecrets(const QByteArray &line, qsizetype equals, int field, bool balanced, QList<Span> &secrets)
{
    // Quotes that do not pair tell no field from another: every argument is masked.
    if (!balanced)
        field = -1;
    QList<Span> fields;
    bool quoted = false;
    qsizetype start = equals + 1;
    qsizetype at = start;
    for (; at < line.size(); ++at) {
        const char c = line.at(at);
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == ',' || c == ';')) {
            fields.append({start, at});
            start = at + 1;
            if (c == ';')
                break;
        }
    }
    if (at >= line.size())
        fields.append({start, line.size()});
    if (field < 0) {
        const Span all = trimmedSpan(line, equals + 1, fields.last().second);
        if (all.first < all.second)
            secrets.append(all);
    } else if (field < fields.size()) {
        const Span one = trimmedSpan(line, fields.at(field).first, fields.at(field).second);
        if (one.first < one.second)
            secrets.append(one);
    }
    return at;
}

// 22.030 6.5.2 supplementary-service strings, dialled (ATD) or sent as USSD: "*", "#", "*#",
// "**" or "##", a service code, fields after '*', '#'. Those that carry passwords: 6.6.5 PIN and
// PUK (**04*OLD*NEW*NEW#, **042*, **05*PUK*NEW*NEW#, **052*), 6.5.4 call barring (**03*ZZ*OLD*
// NEW*NEW# and *33*PW[*BS]# for each barring code). A dialled number is no such string, however
// much its digits look like a PIN.
void serviceStringSecrets(const QByteArray &line, qsizetype at, QList<Span> &secrets)
{
    qsizetype p = at;
    int marks = 0;
    while (p < line.size() && marks < 2 && (line.at(p) == '*' || line.at(p) == '#')) {
        ++marks;
        p = skipBlanks(line, p + 1);
    }
    QByteArray code;
    while (p < line.size() && isDigit(line.at(p))) {
        code += line.at(p);
        p = skipBlanks(line, p + 1);
    }
    if (marks == 0 || code.isEmpty() || p >= line.size() || line.at(p) != '*')
        return;
    static const QList<QByteArray> pinCodes = {"04", "042", "05", "052"};
    static const QList<QByteArray> barringCodes = {"33", "331", "332", "35", "351", "330", "333", "353"};
    int keep = 0;       // leading fields that are no secret
    int secretCount = 0; // -1: every field after the kept ones
    if (pinCodes.contains(code)) {
        secretCount = -1;
    } else if (code == "03") {
        keep = 1;
        secretCount = -1;
    } else if (barringCodes.contains(code)) {
        secretCount = 1;
    } else {
        return;
    }
    // Fields: digits and blanks between '*'s, up to '#' or anything else.
    QList<Span> fields;
    while (p < line.size() && line.at(p) == '*') {
        const qsizetype from = p + 1;
        qsizetype to = from;
        while (to < line.size() && (isDigit(line.at(to)) || isBlank(line.at(to))))
            ++to;
        fields.append({from, to});
        p = to;
    }
    if (fields.size() <= keep)
        return;
    const qsizetype last = secretCount < 0 ? fields.size() - 1 : std::min<qsizetype>(fields.size(), keep + secretCount) - 1;
    const Span span = trimmedSpan(line, fields.at(keep).first, fields.at(last).second);
    if (span.first < span.second)
        secrets.append(span);
}

} // namespace

QByteArray TraceLog::masked(const QByteArray &line)
{
    QList<Span> secrets;
    // A line whose quotes do not pair (a typing slip the modem refuses) has no telling inside
    // from outside: its secrets are looked for everywhere, as if nothing were quoted.
    const bool balanced = line.count('"') % 2 == 0;
    bool quoted = false;
    for (qsizetype at = 0; at < line.size(); ++at) {
        const char c = line.at(at);
        // A service string starts a dial string or a quoted USSD string: never inside digits.
        const char before = at > 0 ? line.at(at - 1) : '\0';
        if ((c == '*' || c == '#') && !isDigit(before) && before != '*' && before != '#')
            serviceStringSecrets(line, at, secrets);
        if (c == '"') {
            quoted = balanced && !quoted;
            continue;
        }
        if (quoted || (c != '+' && c != '^'))
            continue;
        QByteArray name;
        qsizetype p = skipBlanks(line, at + 1);
        while (p < line.size() && isNameChar(line.at(p))) {
            name += upper(line.at(p));
            p = skipBlanks(line, p + 1);
        }
        const std::optional<int> field = secretField(c, name);
        if (!field || p >= line.size() || line.at(p) != '=')
            continue;
        at = extendedSecrets(line, p, *field, balanced, secrets);
    }
    if (secrets.isEmpty())
        return line;
    std::sort(secrets.begin(), secrets.end());
    QByteArray out;
    out.reserve(line.size());
    qsizetype from = 0;
    for (const Span &secret : std::as_const(secrets)) {
        if (secret.first < from) {
            from = std::max(from, secret.second); // overlaps one already masked
            continue;
        }
        out += QByteArrayView(line).sliced(from, secret.first - from);
        out += Mask;
        from = secret.second;
    }
    out += QByteArrayView(line).sliced(from);
    return out;
}

} // namespace pellix
