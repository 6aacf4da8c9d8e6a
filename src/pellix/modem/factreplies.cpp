// SPDX-License-Identifier: GPL-3.0-or-later
#include "factreplies.h"

#include "at/atreplies.h"
#include "hexdigits.h"
#include "modem/phonebooktext.h"

#include <algorithm>

namespace pellix::facts {
namespace {

struct Field
{
    QByteArray text;
    bool quoted = false;
};

// The fields after "<prefix>:", with whether each was quoted: the read form of +CREG and its
// unsolicited form differ by one leading field, and a quoted one is never <n> or <stat>.
QList<Field> split(const QByteArray &line, const QByteArray &prefix)
{
    QList<Field> result;
    QByteArray body = line.trimmed();
    if (!body.startsWith(prefix + ':'))
        return result;
    body = body.mid(prefix.size() + 1);
    Field field;
    bool inQuotes = false;
    for (char c : body) {
        if (c == '"') {
            inQuotes = !inQuotes;
            field.quoted = true;
        } else if (c == ',' && !inQuotes) {
            if (!field.quoted)
                field.text = field.text.trimmed();
            result << field;
            field = Field();
        } else if (inQuotes || !(c == ' ' && field.text.isEmpty())) {
            field.text += c;
        }
    }
    if (!field.quoted)
        field.text = field.text.trimmed();
    result << field;
    return result;
}

std::optional<int> decimal(const QByteArray &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })
        ? std::optional<int>(value) : std::nullopt;
}

bool isHex(const QByteArray &text)
{
    return !text.isEmpty() && allHexDigits(text);
}

// <n> or <stat>: an unquoted number of one or two digits.
bool isSmallNumber(const Field &field)
{
    const auto value = field.quoted || field.text.size() > 2 ? std::nullopt : decimal(field.text);
    return value && *value <= 10;
}

std::optional<RegistrationState> state(int stat)
{
    switch (stat) {
    case 0: return RegistrationState::NotRegistered;
    // 6 and 9 (E-UTRAN: SMS only, CSFB not preferred) are home registrations with less service;
    // 7 and 10 their roaming counterparts.
    case 1: case 6: case 9: return RegistrationState::Home;
    case 2: return RegistrationState::Searching;
    case 3: return RegistrationState::Denied;
    case 4: return RegistrationState::Unknown;
    case 5: case 7: case 10: return RegistrationState::Roaming;
    // Attached for emergency bearer services only: no service for us.
    case 8: return RegistrationState::NotRegistered;
    default: return std::nullopt;
    }
}

int numberOr(const QList<Field> &f, qsizetype index, int fallback = -1)
{
    return index < f.size() ? decimal(f.at(index).text).value_or(fallback) : fallback;
}

// An ICCID always starts with the telecom industry's 89 (E.118); the SIM stores it as BCD with
// the nibbles of each octet swapped, which some modems hand on as they read it.
QString iccidDigits(QByteArray digits)
{
    if (digits.startsWith("98")) {
        for (qsizetype i = 0; i + 1 < digits.size(); i += 2)
            std::swap(digits[i], digits[i + 1]);
    }
    while (digits.endsWith('F') || digits.endsWith('f'))
        digits.chop(1);
    const bool ok = digits.size() >= 18 && digits.size() <= 22
        && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    return ok ? QString::fromLatin1(digits) : QString();
}

} // namespace

std::optional<Registration> registration(const QByteArray &line, const QByteArray &command)
{
    const QList<Field> f = split(line, command);
    if (f.isEmpty())
        return std::nullopt;
    qsizetype stat = 0;
    if (f.size() == 2 || (f.size() >= 4 && isSmallNumber(f.at(0)) && isSmallNumber(f.at(1))))
        stat = 1;
    if (!isSmallNumber(f.at(stat)))
        return std::nullopt;
    const auto s = state(decimal(f.at(stat).text).value_or(-1));
    if (!s)
        return std::nullopt;
    Registration r;
    r.command = command;
    r.state = *s;
    const auto hexField = [&](qsizetype index) {
        return index < f.size() && isHex(f.at(index).text) ? QString::fromLatin1(f.at(index).text.toUpper()) : QString();
    };
    r.area = hexField(stat + 1);
    r.cellId = hexField(stat + 2);
    r.accessTechnology = numberOr(f, stat + 3);
    return r;
}

std::optional<OperatorAnswer> operatorAnswer(const QByteArray &line)
{
    const QList<Field> f = split(line, "+COPS");
    if (f.isEmpty() || f.first().quoted)
        return std::nullopt;
    const auto mode = decimal(f.first().text);
    if (!mode)
        return std::nullopt;
    OperatorAnswer a;
    a.mode = *mode;
    if (f.size() >= 3 && !f.at(2).text.isEmpty()) {
        a.format = numberOr(f, 1);
        a.name = replies::modemText(f.at(2).text).trimmed();
        a.accessTechnology = numberOr(f, 3);
    }
    return a;
}

std::optional<PinAttempts> pinAttempts(const QList<QByteArray> &lines)
{
    std::optional<PinAttempts> found;
    const auto take = [&](int pin, int puk) {
        if (!found)
            found = PinAttempts{};
        if (pin >= 0)
            found->pin = pin;
        if (puk >= 0)
            found->puk = puk;
    };
    for (const QByteArray &line : lines) {
        if (const QList<Field> f = split(line, "+CPINR"); f.size() >= 2) {
            const QByteArray code = f.at(0).text.trimmed().toUpper();
            if (code == "SIM PIN")
                take(numberOr(f, 1), -1);
            else if (code == "SIM PUK")
                take(-1, numberOr(f, 1));
        } else if (const QList<Field> h = split(line, "^CPIN"); h.size() >= 4) {
            take(numberOr(h, 3), numberOr(h, 2));
        } else if (const QList<Field> q = split(line, "+QPINC"); q.size() >= 3) {
            if (q.at(0).text.toUpper() == "SC")
                take(numberOr(q, 1), numberOr(q, 2));
        } else if (const QList<Field> x = split(line, "+XPINCNT"); x.size() >= 3) {
            take(numberOr(x, 0), numberOr(x, 2));
        } else if (const QList<Field> s = split(line, "+SPIC"); s.size() >= 2) {
            take(numberOr(s, 0), numberOr(s, 1));
        }
    }
    return found;
}

QString iccid(const QList<QByteArray> &lines)
{
    for (QByteArray line : lines) {
        line = line.trimmed();
        if (const qsizetype colon = line.indexOf(':'); colon >= 0 && (line.startsWith('+') || line.startsWith('^')
                                                                     || line.startsWith("ICCID")))
            line = line.mid(colon + 1).trimmed();
        line.replace('"', "");
        const QString digits = iccidDigits(line.trimmed());
        if (!digits.isEmpty())
            return digits;
    }
    return QString();
}

QString iccidFromRecord(const QByteArray &crsmLine)
{
    const QList<Field> f = split(crsmLine, "+CRSM");
    // 51.011 9.4.1: 90 00 (and 91 xx, a proactive command pending) is a normal ending.
    const int sw1 = numberOr(f, 0);
    if (f.size() < 3 || (sw1 != 0x90 && sw1 != 0x91))
        return QString();
    QByteArray data = f.at(2).text;
    if (!isHex(data))
        return QString();
    for (qsizetype i = 0; i + 1 < data.size(); i += 2)
        std::swap(data[i], data[i + 1]);
    return iccidDigits(data);
}

QString plainNumber(const QByteArray &field)
{
    return phonebook::decodeNumber(field, phonebook::isHexNumber(field) && field.size() >= 8
                                              ? phonebook::Charset::Ucs2 : phonebook::Charset::Unknown);
}

QStringList ownNumbers(const QList<QByteArray> &lines)
{
    QStringList numbers;
    for (const QByteArray &line : lines) {
        const QList<Field> f = split(line, "+CNUM");
        // "+CNUM: <alpha>,<number>,<type>"; a few leave the alpha out altogether.
        const bool withoutAlpha = f.size() == 2 && !f.at(1).quoted && decimal(f.at(1).text);
        const qsizetype at = withoutAlpha ? 0 : 1;
        if (at >= f.size())
            continue;
        const QString number = plainNumber(f.at(at).text.trimmed());
        if (number.isEmpty())
            continue;
        const int type = numberOr(f, at + 1, number.startsWith(QLatin1Char('+')) ? 145 : 129);
        numbers << replies::internationalNumber(number, type);
    }
    return numbers;
}

std::optional<SmscFacts> smsc(const QByteArray &line)
{
    const QList<Field> f = split(line, "+CSCA");
    if (f.isEmpty())
        return std::nullopt;
    SmscFacts facts;
    facts.typeOfAddress = numberOr(f, 1);
    const QString number = plainNumber(f.first().text.trimmed());
    facts.number = number.isEmpty() ? number : replies::internationalNumber(number, facts.typeOfAddress);
    return facts;
}

QList<StorageUse> storageUse(const QByteArray &line)
{
    QList<StorageUse> uses;
    const QList<Field> f = split(line, "+CPMS");
    for (qsizetype i = 0; i + 2 < f.size(); ++i) {
        const QByteArray name = f.at(i).text.trimmed().toUpper();
        const auto used = decimal(f.at(i + 1).text);
        const auto total = decimal(f.at(i + 2).text);
        if (name.isEmpty() || decimal(name) || !used || !total)
            continue;
        uses << StorageUse{name, *used, *total};
        i += 2;
    }
    return uses;
}

std::optional<UssdCode> ussdCode(const QByteArray &line)
{
    const QList<Field> f = split(line, "+CUSD");
    if (f.isEmpty() || f.first().quoted)
        return std::nullopt;
    const auto status = decimal(f.first().text);
    if (!status || *status > 5)
        return std::nullopt;
    UssdCode code;
    code.status = *status;
    if (f.size() >= 2)
        code.str = f.at(1).text;
    code.dcs = numberOr(f, 2);
    return code;
}

} // namespace pellix::facts
