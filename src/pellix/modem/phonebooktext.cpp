// SPDX-License-Identifier: GPL-3.0-or-later
#include "phonebooktext.h"

#include "at/atreplies.h"
#include "hexdigits.h"
#include "pdu/gsmalphabet.h"
#include "pdu/gsmalphabet_p.h"
#include "pellixerror.h"

#include <algorithm>

namespace pellix::phonebook {
namespace {


bool isDialCharacter(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') || c == QLatin1Char('*')
        || c == QLatin1Char('#');
}

// What GSM and IRA write with the same byte: sent when the modem's set is not known.
bool sameInGsmAndIra(char16_t c)
{
    if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
        return true;
    return c == u' ' || (c >= u'!' && c <= u'?' && c != u'$' && c != u'"');
}

[[noreturn]] void refuse(const QString &text, qsizetype index, const QString &why)
{
    raise(ErrorCode::TextNotRepresentable, QStringLiteral("the character %1 %2").arg(pdu::detail::describeCharacter(text, index), why));
}

} // namespace

QByteArray name(Charset set)
{
    switch (set) {
    case Charset::Ira: return "IRA";
    case Charset::Gsm: return "GSM";
    case Charset::Ucs2: return "UCS2";
    case Charset::Unknown: break;
    }
    return "unknown";
}

Charset charsetNamed(const QByteArray &name)
{
    for (Charset set : {Charset::Ucs2, Charset::Gsm, Charset::Ira}) {
        if (name == phonebook::name(set))
            return set;
    }
    return Charset::Unknown;
}

QList<QByteArray> offeredSets(const QByteArray &line)
{
    QList<QByteArray> sets;
    for (QByteArray item : replies::fields(line, "+CSCS")) {
        item.replace('(', "").replace(')', "");
        item = item.trimmed().toUpper();
        if (const auto decoded = textFromUcs2Hex(item); decoded && !item.isEmpty()) {
            const QByteArray ascii = decoded->toLatin1();
            if (std::all_of(ascii.begin(), ascii.end(), [](char c) { return c > 0x20 && c < 0x7F; }))
                item = ascii.toUpper();
        }
        if (!item.isEmpty())
            sets << item;
    }
    return sets;
}

QByteArray currentSet(const QByteArray &line)
{
    return offeredSets(line).value(0);
}

QByteArray encodeText(const QString &text, Charset set)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        // V.250 5.4.2.2: a string parameter has no escape for its own quote.
        if (c == u'"' && set != Charset::Ucs2)
            refuse(text, i, QStringLiteral("cannot be written inside a quoted AT parameter"));
        switch (set) {
        case Charset::Ucs2:
            out += QByteArray::number(c, 16).rightJustified(4, '0').toUpper();
            break;
        case Charset::Gsm: {
            QByteArray septets;
            try {
                septets = pdu::encodeGsm7(QString(QChar(c)));
            } catch (const RaisedError &) {
                refuse(text, i, QStringLiteral("is not in the GSM default alphabet or its extension table"));
            }
            // Bytes that end, edit or cancel a command line (S3 CR, S4 LF, S5 backspace = "ò",
            // Ctrl-Z = "Ξ") cannot travel inside one; the escape of an extension pair can.
            for (char b : septets) {
                if (b == '\r' || b == '\n' || b == 0x08 || b == 0x1A)
                    refuse(text, i, QStringLiteral("cannot travel on an AT command line in the GSM set"));
            }
            out += septets;
            break;
        }
        case Charset::Ira:
            if (c < 0x20 || c > 0x7E)
                refuse(text, i, QStringLiteral("is not ASCII, and the modem offers neither UCS2 nor GSM"));
            out += char(c);
            break;
        case Charset::Unknown:
            if (!sameInGsmAndIra(c))
                refuse(text, i, QStringLiteral("is written differently in the modem's possible character sets, and it "
                                               "does not say which one it uses"));
            out += char(c);
            break;
        }
    }
    return out;
}

int textLength(const QString &text, Charset set)
{
    if (set == Charset::Gsm) {
        const int septets = pdu::gsm7Length(text);
        return septets < 0 ? int(text.size()) : septets;
    }
    return int(text.size());
}

QString decodeText(const QByteArray &field, Charset set)
{
    if (set == Charset::Ucs2) {
        if (const auto text = textFromUcs2Hex(field))
            return *text;
    } else if (set == Charset::Gsm && std::all_of(field.begin(), field.end(), [](char c) { return quint8(c) < 0x80; })) {
        return pdu::decodeGsm7(field);
    }
    return replies::modemText(field);
}

bool isHexNumber(const QByteArray &field)
{
    const auto text = textFromUcs2Hex(field);
    return text && !text->isEmpty() && std::all_of(text->begin(), text->end(), isDialCharacter);
}

QString decodeNumber(const QByteArray &field, Charset set)
{
    if (set == Charset::Ucs2 && isHexNumber(field))
        return *textFromUcs2Hex(field);
    return QString::fromLatin1(field);
}

QByteArray hexNumber(const QString &number)
{
    return encodeText(number, Charset::Ucs2);
}

} // namespace pellix::phonebook
