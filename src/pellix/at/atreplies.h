// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Readers of the information lines of 27.005/27.007 answers. Modems differ in blanks after the
// colon and around commas, in quoting, and in trailing empty fields; these readers accept all of
// them and return nothing (rather than guessing) when a line does not have the promised shape.
namespace pellix::replies {

// The fields after "<prefix>:" split at commas outside quotes, blanks trimmed, quotes removed.
// A line that does not start with the prefix gives an empty list.
QList<QByteArray> fields(const QByteArray &line, const QByteArray &prefix);
// A field as a whole number; nullopt when empty or not a number.
std::optional<int> number(const QList<QByteArray> &fields, int index);

struct SignalQuality { int rssi = 99; int ber = 99; };
std::optional<SignalQuality> signalQuality(const QByteArray &line);         // +CSQ: 21,99

std::optional<int> messageReference(const QByteArray &line);                // +CMGS: 42

struct ListedMessage { int index = -1; int stat = -1; int length = -1; };
std::optional<ListedMessage> listedMessage(const QByteArray &line);         // +CMGL: 1,0,,23 / +CMGL: 1,0,"",23
std::optional<ListedMessage> readMessage(const QByteArray &line);           // +CMGR: 1,,23 (index -1)

// number and text as plain text; numberField and textField as the modem sent them, for callers
// that read them in the +CSCS set.
struct PhonebookRow { int index = 0; QString number; int type = 129; QString text; QByteArray numberField; QByteArray textField; };
std::optional<PhonebookRow> phonebookRow(const QByteArray &line);           // +CPBR: 1,"+39...",145,"Anna"
struct IndexRange { int first = 1; int last = 0; int numberLength = -1; int textLength = -1; };
std::optional<IndexRange> phonebookRange(const QByteArray &line);           // +CPBR: (1-250),40,18
// used and total -1 when the modem leaves them out (+CPBS: "SM", as some answer).
struct StorageUse { QByteArray storage; int used = -1; int total = -1; };
std::optional<StorageUse> phonebookStorage(const QByteArray &line);         // +CPBS: "SM",3,250
// The storage lists of the test form, <mem1>s first; the upper-case names of each list, extra
// outer parentheses (Wavecom) and blanks (gammu dumps) taken as they come. Empty when the modem
// names none (Samsung answers "+CPMS: ").
QList<QList<QByteArray>> storageLists(const QByteArray &line);              // +CPMS: ("SM","ME"),("SM"),("SM","ME")

struct ForwardingRow { int status = 0; int callClass = 7; QString number; int type = 129; };
std::optional<ForwardingRow> forwardingRow(const QByteArray &line);         // +CCFC: 1,1,"+39...",145

// A number of <type> 145 (international, 27.007 7.1) with its "+", which some phones store and
// show without it. Without a type the "+" decides.
QString internationalNumber(const QString &number, int type);

// A received phonebook or forwarding text: the modem's bytes read as UTF-8 when they are valid
// UTF-8, else as Latin-1, so that nothing is lost or replaced.
QString modemText(const QByteArray &bytes);

// Quotes a text for a command argument. A '"' cannot be escaped in the AT syntax (V.250 5.4.2.2
// strings have no escape), so it is refused by the callers before this is used.
QByteArray quoted(const QString &text);

} // namespace pellix::replies
