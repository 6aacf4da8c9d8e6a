// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "modem/pellixgsmmodem.h"
#include "modem/rawatanswer.h"
#include "output.h"
#include "raisederror.h"
#include "session.h"
#include "transport/tracelog.h"
#include "usageerror.h"

#include <QJsonArray>

namespace cli {
namespace {

// The line as pellix shows it (errors, JSON): a PIN or password in it is masked as in the trace.
QString shown(const QString &command)
{
    return QString::fromUtf8(pellix::TraceLog::masked(command.toUtf8()));
}

int rawAt(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({});
    if (line.words().size() < 2)
        throw UsageError(QStringLiteral("at LINE... (pellix at --help)"));
    const QStringList commands = line.words().mid(1);
    // Every line is checked before the first goes out: a refused third line must not leave the
    // first two done.
    for (const QString &command : commands) {
        const QString why = pellix::PellixGsmModem::rawCommandRefusal(command.toLatin1());
        if (!why.isEmpty() || command.toLatin1() != command.toUtf8())
            throw UsageError(QStringLiteral("at: %1").arg(why.isEmpty() ? QStringLiteral("\"%1\" is not ASCII").arg(shown(command)) : why));
    }
    pellix::PellixGsmModem &modem = session.connect();
    const int timeoutMs = session.timeoutGiven() ? session.networkTimeoutSeconds() * 1000 : 0;
    QStringList text;
    QJsonArray answers;
    for (const QString &command : commands) {
        pellix::RawAtAnswer answer;
        try {
            answer = modem.rawCommand(command.toLatin1(), timeoutMs);
        } catch (const RaisedError &) {
            // A line that got no final code (a timeout, the link dropped): the answers of the lines
            // before it were carried out and are the operator's record of what changed.
            if (!answers.isEmpty())
                output.result(text.join(QLatin1Char('\n')), {{QLatin1String("answers"), answers}});
            throw;
        }
        QJsonArray lines;
        for (const QByteArray &l : answer.lines) {
            text << QString::fromLatin1(l);
            lines.append(QString::fromLatin1(l));
        }
        text << QString::fromLatin1(answer.finalLine);
        QJsonObject object{{QLatin1String("command"), shown(command)},
                           {QLatin1String("lines"), lines},
                           {QLatin1String("final"), QString::fromLatin1(answer.finalLine)},
                           {QLatin1String("ok"), answer.ok}};
        if (!answer.ok) {
            const RaisedError error(answer.errorNumber, QStringLiteral("Pellix"), answer.errorText);
            object[QLatin1String("error")] = Output::shownNumber(answer.errorNumber);
            object[QLatin1String("description")] = answer.errorText;
            answers.append(object);
            session.close();
            output.result(text.join(QLatin1Char('\n')), {{QLatin1String("answers"), answers}});
            // The answer is the result; the error line says why the exit status is not 0. The
            // lines after the failed one are not sent.
            output.errorLine(error);
            return ExitModemError;
        }
        answers.append(object);
    }
    session.close();
    output.result(text.join(QLatin1Char('\n')), {{QLatin1String("answers"), answers}});
    return ExitSuccess;
}

} // namespace

const CommandInfo RawAtCommand = {
    "at", "send AT command lines through the library's connection and print the answers",
    "pellix at LINE...\n"
    "  Connects as every command does, then sends each LINE (\"AT+CSQ\", \"ATI\") through the\n"
    "  library's AT channel and prints the answer's lines and its final code. Unsolicited codes\n"
    "  are handled as in any other command. A final code other than OK is printed, the lines after\n"
    "  it are not sent, and the exit status is 3; so is a line that gets no final code in time,\n"
    "  after the answers of the lines before it. Lines that would break the session are refused\n"
    "  before anything is sent (exit status 2): not starting with AT, control characters, ATQ1,\n"
    "  ATV0, ATO, ATD without ';', AT+CMGS/+CMGW/+CMGC (a PDU prompt), AT+IPR, AT+ICF, AT+CMUX;\n"
    "  and what would break later sessions too: setting S3, S4 or S5 (the characters that end a\n"
    "  command line and frame the answers; the modem would understand no command until it is\n"
    "  power-cycled), also as a bare \"=\" after a register was named (ATS3?=65), and AT&W\n"
    "  (stores the settings as the power-up profile); also behind \\ and % commands (AT\\Q3&W).\n"
    "  Reading them (ATS3?) is allowed. A line's deadline is the profile's for local commands,\n"
    "  or --timeout when given.\n"
    "  JSON: {\"answers\": [{\"command\", \"lines\", \"final\", \"ok\"}]} (a failed one also \"error\",\n"
    "  \"description\")\n",
    rawAt,
};

} // namespace cli
