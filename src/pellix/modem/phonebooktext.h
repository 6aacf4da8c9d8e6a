// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Names and numbers of the phonebook commands (and of +CLIP) in the character set chosen with
// +CSCS (27.007 5.5): what goes between the quotes of a command, and what comes back.
namespace pellix::phonebook {

enum class Charset {
    Unknown,  // +CSCS refused or not offered: only what GSM and IRA write alike is sent
    Ira,      // ASCII (T.50)
    Gsm,      // 23.038 default alphabet, one byte per septet, extension characters as 0x1B pairs
    Ucs2,     // hex of UTF-16 units: "004A00FC" is "Jü"
};

QByteArray name(Charset set);
Charset charsetNamed(const QByteArray &name);

// The names of a +CSCS=? answer, ("GSM","IRA","UCS2") or without the parentheses. A modem still
// in UCS2 may give each name as UCS2 hex ("0047"...); those are read too.
QList<QByteArray> offeredSets(const QByteArray &line);
// The set a +CSCS? answer names ("IRA", or "0055004300530032" from a modem that encodes
// everything in UCS2); empty when there is none.
QByteArray currentSet(const QByteArray &line);

// The name as it goes between the quotes of +CPBW. Raises TextNotRepresentable naming the first
// character the set cannot carry on a command line.
QByteArray encodeText(const QString &text, Charset set);
// The length the storage's <tlength> counts: UTF-16 units, septets (an extension character
// takes two) or characters.
int textLength(const QString &text, Charset set);
// A name as the modem sent it in the set; a modem that answers in plain text although it was
// asked for UCS2 is read as plain text.
QString decodeText(const QByteArray &field, Charset set);

// In UCS2 most modems write numbers as hex too ("002B0033" for "+3"), some plainly: a field that
// is hex of dialling characters is read as hex, anything else as it stands.
QString decodeNumber(const QByteArray &field, Charset set);
// Whether the field is a number in hex (then the modem writes its numbers so).
bool isHexNumber(const QByteArray &field);
QByteArray hexNumber(const QString &number);

// What one connection has learnt of the modem's character sets, at the first phonebook operation.
struct Session
{
    quint64 connection = 0;           // the connection it belongs to
    Charset set = Charset::Unknown;   // the set names and numbers travel in
    Charset own = Charset::Unknown;   // the modem's set outside phonebook operations
    QByteArray restore;               // that set's name, put back after each operation; empty: none
    bool inSet = false;               // the modem is in `set` now
    int nameLength = -1;              // <tlength> of +CPBR=?; -1 not known
    bool nameLengthAsked = false;
    std::optional<bool> hexNumbers;   // UCS2: whether this modem writes numbers as hex
};

} // namespace pellix::phonebook
