// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "smsobjects.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// The contract's objects as pellix shows them: one text line each, and a JSON object whose field
// names are documented in help/commandline.html and never renamed.
namespace cli::items {

// The octets of a byte text (8-bit message text, user data header) as upper-case hex.
QString hex(const QByteArray &bytes);
// A text of the modem's (a message, a name) on one line of the text output: a message may hold
// line breaks, and one that could start a line of its own could pass for another item. CR, LF
// and the other control characters but tab are written \r, \n, \xNN. JSON keeps them as they are.
QString oneLine(const QString &text);
// The text of an 8-bit message as hex, any other as it is.
QString messageText(qint32 alphabet, const QString &text);
// ISO 8601 with the zone offset; null when the time is not valid.
QJsonValue time(const QDateTime &time);
QString timeText(const QDateTime &time);

QJsonObject message(const ReceivedMessage &message);
QString messageLine(const ReceivedMessage &message);
QJsonObject report(const SmsStatusReport &report);
QString reportLine(const SmsStatusReport &report);
QJsonObject entry(const PhonebookEntry &entry);
QString entryLine(const PhonebookEntry &entry);

// 27.007 8.5: rssi 0 is -113 dBm or less, 2..30 are -109..-53 dBm, 31 is -51 dBm or more; 99
// (not known) has none.
QJsonValue dbm(qint16 rssi);
QString signalLine(qint16 rssi, qint16 ber);
QJsonObject signal(qint16 rssi, qint16 ber);

} // namespace cli::items
