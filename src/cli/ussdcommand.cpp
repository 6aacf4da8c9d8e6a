// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "factitems.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "pellixerror.h"
#include "session.h"
#include "usageerror.h"

#include <QJsonArray>

#include <algorithm>

namespace cli {
namespace {

int ussd(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("reply"), QStringLiteral("cancel")});
    const QStringList replies = line.values(QStringLiteral("reply"));
    const bool cancel = line.has(QStringLiteral("cancel"));
    if (line.words().size() == 1 && cancel && replies.isEmpty()) {
        // Ends a session another program left open.
        pellix::PellixGsmModem &modem = session.connect();
        modem.cancelUssd();
        session.close();
        output.result(QStringLiteral("USSD: cancelled"), QJsonObject{{QLatin1String("cancelled"), true}});
        return ExitSuccess;
    }
    line.requireWords(2, QStringLiteral("ussd CODE [--reply TEXT]... [--cancel]"));
    const QString code = line.word(1);
    if (code.isEmpty() || !std::all_of(code.begin(), code.end(), [](QChar c) {
            return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('*') || c == QLatin1Char('#')
                || c == QLatin1Char('+');
        }))
        throw UsageError(QStringLiteral("\"%1\" is no USSD code: the digits 0 to 9, * and # (as *100#)").arg(code));
    for (const QString &reply : replies) {
        if (reply.isEmpty())
            throw UsageError(QStringLiteral("--reply needs the text of the answer"));
    }
    pellix::PellixGsmModem &modem = session.connect();
    const int timeoutMs = session.networkTimeoutSeconds() * 1000;
    QList<pellix::UssdAnswer> answers{modem.sendUssd(code, timeoutMs)};
    for (const QString &reply : replies) {
        if (answers.last().status != pellix::UssdStatus::MoreExpected)
            break;
        answers << modem.replyUssd(reply, timeoutMs);
    }
    // A menu still open when we are gone would hold the modem's USSD until the network gives up.
    const bool stillOpen = answers.last().status == pellix::UssdStatus::MoreExpected;
    if (stillOpen)
        modem.cancelUssd();
    session.close();

    QString text;
    QJsonArray shown;
    for (const pellix::UssdAnswer &answer : answers) {
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + items::ussdText(answer);
        shown.append(items::ussd(answer));
    }
    const qsizetype unanswered = replies.size() - (answers.size() - 1);
    if (stillOpen)
        text += QStringLiteral("\n(menu left unanswered: session cancelled)");
    else if (unanswered > 0 && answers.last().status != pellix::UssdStatus::NoAnswer)
        text += QStringLiteral("\n(the network asked for no more: %1 --reply not sent)").arg(unanswered);
    QJsonObject object = items::ussd(answers.last());
    object.insert(QLatin1String("answers"), shown);
    object.insert(QLatin1String("cancelled"), stillOpen);
    output.result(text, object);
    switch (answers.last().status) {
    case pellix::UssdStatus::NoAnswer: return ExitTimedOut;
    case pellix::UssdStatus::NotSupported:
    case pellix::UssdStatus::NetworkTimeout: return ExitModemError;
    default: return ExitSuccess;
    }
}

} // namespace

const CommandInfo UssdCommand = {
    "ussd", "a USSD code (*100#): the network's answer, menus answered with --reply",
    "pellix ussd CODE [--reply TEXT]... [--cancel]\n"
    "  Sends CODE (digits, * and #) and prints the network's answer, decoded whatever coding the\n"
    "  modem gives it in. When the answer is a menu (more expected), each --reply answers the\n"
    "  next one, in order. A menu still open at the end is cancelled, so that no session is left\n"
    "  behind; pellix ussd --cancel alone ends one another program left open. Waits up to\n"
    "  --timeout seconds for each answer.\n"
    "  Exit status 5 when no answer came in time (the session is cancelled), 3 when the network\n"
    "  says the code is not supported or timed out.\n"
    "  JSON: {\"status\", \"code\", \"text\", \"dcs\", \"answers\": [{\"status\", \"code\", \"text\", \"dcs\"}],\n"
    "  \"cancelled\"} for the last answer and all of them; code 0 done, 1 more expected, 2\n"
    "  terminated by the network, 3 answered by another client, 4 not supported, 5 network\n"
    "  timeout, -1 no answer.\n",
    ussd,
};

} // namespace cli
