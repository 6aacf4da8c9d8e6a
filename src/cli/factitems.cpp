// SPDX-License-Identifier: GPL-3.0-or-later
#include "factitems.h"

#include "items.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace cli::items {

using pellix::RegistrationState;
using pellix::UssdStatus;

QString registrationName(RegistrationState state)
{
    switch (state) {
    case RegistrationState::NotRegistered: return QStringLiteral("not registered");
    case RegistrationState::Home: return QStringLiteral("home");
    case RegistrationState::Searching: return QStringLiteral("searching");
    case RegistrationState::Denied: return QStringLiteral("denied");
    case RegistrationState::Unknown: break;
    case RegistrationState::Roaming: return QStringLiteral("roaming");
    }
    return QStringLiteral("unknown");
}

QString technologyName(int act)
{
    // 27.007 7.3 <AcT>.
    static const char *const names[] = {"GSM",   "GSM Compact", "UTRAN", "GSM with EGPRS", "UTRAN with HSDPA",
                                        "UTRAN with HSUPA", "UTRAN with HSDPA and HSUPA", "E-UTRAN", "EC-GSM-IoT",
                                        "E-UTRAN NB-S1", "E-UTRA 5GCN", "NR 5GCN", "NG-RAN", "E-UTRA-NR"};
    if (act < 0)
        return QString();
    if (act < int(std::size(names)))
        return QLatin1String(names[act]);
    return QStringLiteral("AcT %1").arg(act);
}

QJsonValue known(int value)
{
    return value < 0 ? QJsonValue() : QJsonValue(value);
}

QJsonValue known(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonObject network(const pellix::NetworkFacts &facts)
{
    QJsonArray domains;
    for (const pellix::Registration &r : facts.registrations) {
        domains.append(QJsonObject{
            {QLatin1String("command"), QString::fromLatin1(r.command)},
            {QLatin1String("state"), registrationName(r.state)},
            {QLatin1String("area"), known(r.area)},
            {QLatin1String("cell"), known(r.cellId)},
            {QLatin1String("act"), known(r.accessTechnology)},
        });
    }
    const auto best = facts.best();
    return QJsonObject{
        {QLatin1String("registered"), facts.registered()},
        {QLatin1String("state"), registrationName(best ? best->state : RegistrationState::Unknown)},
        {QLatin1String("area"), known(best ? best->area : QString())},
        {QLatin1String("cell"), known(best ? best->cellId : QString())},
        {QLatin1String("operator"), known(facts.operatorName)},
        {QLatin1String("mccmnc"), known(facts.operatorNumeric)},
        {QLatin1String("act"), known(facts.accessTechnology)},
        {QLatin1String("technology"), known(technologyName(facts.accessTechnology))},
        {QLatin1String("domains"), domains},
    };
}

QString networkText(const pellix::NetworkFacts &facts)
{
    const auto best = facts.best();
    QString text = QStringLiteral("Registration: %1").arg(registrationName(best ? best->state : RegistrationState::Unknown));
    if (best && !best->area.isEmpty())
        text += QStringLiteral(" (%1 %2, cell %3)")
                    .arg(best->command == "+CEREG" ? QStringLiteral("TAC") : QStringLiteral("LAC"), best->area,
                         best->cellId.isEmpty() ? QStringLiteral("?") : best->cellId);
    QString op = facts.operatorName;
    if (!facts.operatorNumeric.isEmpty())
        op += op.isEmpty() ? facts.operatorNumeric : QStringLiteral(" (%1)").arg(facts.operatorNumeric);
    text += QStringLiteral("\nOperator: %1").arg(op.isEmpty() ? QStringLiteral("none") : oneLine(op));
    if (facts.accessTechnology >= 0)
        text += QStringLiteral("\nTechnology: %1").arg(technologyName(facts.accessTechnology));
    QStringList domains;
    for (const pellix::Registration &r : facts.registrations)
        domains << QStringLiteral("%1 %2").arg(QString::fromLatin1(r.command), registrationName(r.state));
    text += QStringLiteral("\nDomains: %1").arg(domains.join(QStringLiteral(", ")));
    return text;
}

QJsonObject sim(const pellix::SimFacts &facts)
{
    return QJsonObject{
        {QLatin1String("pinState"), facts.pinState},
        {QLatin1String("pinAttempts"), known(facts.pinAttempts)},
        {QLatin1String("pukAttempts"), known(facts.pukAttempts)},
        {QLatin1String("iccid"), known(facts.iccid)},
        {QLatin1String("imsi"), known(facts.imsi)},
        {QLatin1String("ownNumbers"), QJsonArray::fromStringList(facts.ownNumbers)},
    };
}

QString simText(const pellix::SimFacts &facts)
{
    const auto count = [](int n) { return n < 0 ? QStringLiteral("not told") : QString::number(n); };
    const auto given = [](const QString &s) { return s.isEmpty() ? QStringLiteral("not told") : s; };
    return QStringLiteral("SIM: %1\nPIN attempts left: %2\nPUK attempts left: %3\nICCID: %4\nIMSI: %5\nOwn number: %6")
        .arg(oneLine(facts.pinState), count(facts.pinAttempts), count(facts.pukAttempts), given(facts.iccid),
             given(facts.imsi),
             facts.ownNumbers.isEmpty() ? QStringLiteral("none on the SIM") : facts.ownNumbers.join(QStringLiteral(", ")));
}

QJsonObject smsc(const pellix::SmscFacts &facts)
{
    return QJsonObject{{QLatin1String("number"), known(facts.number)}, {QLatin1String("type"), known(facts.typeOfAddress)}};
}

QString smscText(const pellix::SmscFacts &facts)
{
    if (facts.number.isEmpty())
        return QStringLiteral("SMS centre: not set");
    return QStringLiteral("SMS centre: %1%2")
        .arg(oneLine(facts.number),
             facts.typeOfAddress < 0 ? QString() : QStringLiteral(" (type %1)").arg(facts.typeOfAddress));
}

QString ussdStatusName(UssdStatus status)
{
    switch (status) {
    case UssdStatus::Done: return QStringLiteral("done");
    case UssdStatus::MoreExpected: return QStringLiteral("more expected");
    case UssdStatus::TerminatedByNetwork: return QStringLiteral("terminated by the network");
    case UssdStatus::OtherClientResponded: return QStringLiteral("answered by another client");
    case UssdStatus::NotSupported: return QStringLiteral("not supported");
    case UssdStatus::NetworkTimeout: return QStringLiteral("network timeout");
    case UssdStatus::NoAnswer: break;
    }
    return QStringLiteral("no answer");
}

QJsonObject ussd(const pellix::UssdAnswer &answer)
{
    return QJsonObject{
        {QLatin1String("status"), ussdStatusName(answer.status)},
        {QLatin1String("code"), int(answer.status)},
        {QLatin1String("text"), answer.text},
        {QLatin1String("dcs"), known(answer.dcs)},
    };
}

QString ussdText(const pellix::UssdAnswer &answer)
{
    // A menu keeps its lines; each stays one line of ours, indented under the status.
    QString text = QStringLiteral("USSD: %1").arg(ussdStatusName(answer.status));
    if (!answer.text.isEmpty()) {
        for (const QString &line : answer.text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n"))))
            text += QStringLiteral("\n  ") + oneLine(line);
    }
    return text;
}

} // namespace cli::items
