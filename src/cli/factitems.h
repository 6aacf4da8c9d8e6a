// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "modem/modemfacts.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// The modem facts as pellix shows them: words for a person, and JSON whose field names are
// documented in help/commandline.html and never renamed.
namespace cli::items {

// "home", "roaming", "searching", "denied", "not registered", "unknown".
QString registrationName(pellix::RegistrationState state);
// 27.007 <AcT>: "GSM", "UTRAN", "E-UTRAN", ...; empty for -1, "AcT n" for one 27.007 does not name.
QString technologyName(int accessTechnology);
// A number, or null for the -1 of "the modem does not say".
QJsonValue known(int value);
QJsonValue known(const QString &text);

QJsonObject network(const pellix::NetworkFacts &facts);
QString networkText(const pellix::NetworkFacts &facts);
QJsonObject sim(const pellix::SimFacts &facts);
QString simText(const pellix::SimFacts &facts);
QJsonObject smsc(const pellix::SmscFacts &facts);
QString smscText(const pellix::SmscFacts &facts);
// "done", "more expected", "terminated by the network", "answered by another client",
// "not supported", "network timeout", "no answer".
QString ussdStatusName(pellix::UssdStatus status);
QJsonObject ussd(const pellix::UssdAnswer &answer);
QString ussdText(const pellix::UssdAnswer &answer);

} // namespace cli::items
