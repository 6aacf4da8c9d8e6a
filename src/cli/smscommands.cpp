// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "items.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "pellixerror.h"
#include "raisederror.h"
#include "session.h"
#include "usageerror.h"

#include <QJsonArray>

namespace cli {
namespace {

// The end of a listing: what the operator is told on a terminal, and the status when the
// listing could not be written (then nothing was deleted for it).
int finishListing(Output &output, qsizetype count, const QString &what, bool remove)
{
    if (!output.written()) {
        output.failure(QStringLiteral("the listing could not be written to the output%1")
                           .arg(remove ? QStringLiteral("; nothing was deleted") : QString()));
        return ExitOutputFailed;
    }
    output.progress(QStringLiteral("%1 %2%3").arg(count).arg(what, remove ? QStringLiteral(", deleted") : QString()));
    return ExitSuccess;
}

QString locations(const QList<qint16> &list)
{
    QStringList numbers;
    for (const qint16 location : list)
        numbers << QString::number(location);
    return numbers.isEmpty() ? QStringLiteral("none") : numbers.join(QStringLiteral(", "));
}

QJsonArray locationArray(const QList<qint16> &list)
{
    QJsonArray array;
    for (const qint16 location : list)
        array.append(location);
    return array;
}

// A listing whose items were written but not all deleted (a delete refused, the connection lost
// on the way) is no success: the error names what was deleted and what is still stored. -1 when
// everything handed over was deleted.
int deletionFailure(const Session &session, Output &output, const pellix::PellixGsmModem::Deletion &deletion)
{
    if (deletion.complete())
        return -1;
    const RaisedError failure = deletion.failure.value_or(
        pellix::libraryError(pellix::ErrorCode::NotConnected, QStringLiteral("the connection was closed")));
    const qint32 lost = pellix::libraryErrorNumber(quint16(pellix::ErrorCode::ConnectionLost));
    const int status = session.linkLost() || failure.number() == lost ? ExitConnectionLost : ExitModemError;
    QString text = QStringLiteral("%1; deleted: %2; still stored: %3")
                       .arg(failure.description(), locations(deletion.deleted), locations(deletion.remaining));
    if (!deletion.unconfirmed.isEmpty())
        text += QStringLiteral("; deleted or not (no answer came): %1").arg(locations(deletion.unconfirmed));
    output.error(RaisedError(failure.number(), failure.source(), text), status, QString(),
                 {{QLatin1String("deleted"), locationArray(deletion.deleted)},
                  {QLatin1String("remaining"), locationArray(deletion.remaining)},
                  {QLatin1String("unconfirmed"), locationArray(deletion.unconfirmed)}});
    return status;
}

int listMessages(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("all"), QStringLiteral("unread"), QStringLiteral("read"), QStringLiteral("delete")});
    line.requireWords(2, QStringLiteral("sms list [--all|--unread|--read] [--delete]"));
    const int filters = int(line.has(QStringLiteral("all"))) + int(line.has(QStringLiteral("unread")))
        + int(line.has(QStringLiteral("read")));
    if (filters > 1)
        throw UsageError(QStringLiteral("give one of --all, --unread, --read"));
    const qint32 filter = line.has(QStringLiteral("unread")) ? 1 : line.has(QStringLiteral("read")) ? 2 : 0;
    const bool remove = line.has(QStringLiteral("delete"));

    pellix::PellixGsmModem &modem = session.connect();
    output.progress(QStringLiteral("reading messages..."));
    // Printed before anything is deleted: a message goes only once its line is out.
    pellix::PellixGsmModem::Deletion deletion;
    const QList<ReceivedMessage> messages = modem.ReadMessages(filter, remove, [&](const QList<ReceivedMessage> &read) {
        QStringList lines;
        QJsonArray array;
        for (const ReceivedMessage &message : read) {
            lines << items::messageLine(message);
            array.append(items::message(message));
        }
        output.result(lines.join(QLatin1Char('\n')), {{QLatin1String("messages"), array}, {QLatin1String("deleted"), remove}});
        return output.written();
    }, &deletion);
    session.close();
    if (const int status = deletionFailure(session, output, deletion); status >= 0)
        return status;
    return finishListing(output, messages.size(), QStringLiteral("message(s)"), remove);
}

int deleteMessages(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({});
    line.requireWords(3, QStringLiteral("sms delete LOCATION|all"));
    const bool all = line.word(2) == QLatin1String("all");
    const int location = all ? 0 : CommandLine::integerWord(line.word(2), 0, 32767, QStringLiteral("LOCATION"));
    pellix::PellixGsmModem &modem = session.connect();
    if (all)
        modem.DeleteAllMessages();
    else
        modem.DeleteMessage(qint16(location));
    session.close();
    output.result(all ? QStringLiteral("Deleted all messages and reports") : QStringLiteral("Deleted %1").arg(location),
                  {{QLatin1String("deleted"), all ? QJsonValue(QStringLiteral("all")) : QJsonValue(location)}});
    return ExitSuccess;
}

int sms(Session &session, const CommandLine &line, Output &output)
{
    if (line.word(1) == QLatin1String("list"))
        return listMessages(session, line, output);
    if (line.word(1) == QLatin1String("delete"))
        return deleteMessages(session, line, output);
    throw UsageError(QStringLiteral("sms list or sms delete (pellix sms --help)"));
}

int reports(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("delete")});
    if (line.word(1) != QLatin1String("list"))
        throw UsageError(QStringLiteral("reports list [--delete]"));
    line.requireWords(2, QStringLiteral("reports list [--delete]"));
    const bool remove = line.has(QStringLiteral("delete"));
    pellix::PellixGsmModem &modem = session.connect();
    output.progress(QStringLiteral("reading status reports..."));
    pellix::PellixGsmModem::Deletion deletion;
    const QList<SmsStatusReport> reports = modem.ReadStatusReports(0, remove, [&](const QList<SmsStatusReport> &read) {
        QStringList lines;
        QJsonArray array;
        for (const SmsStatusReport &report : read) {
            lines << items::reportLine(report);
            array.append(items::report(report));
        }
        output.result(lines.join(QLatin1Char('\n')), {{QLatin1String("reports"), array}, {QLatin1String("deleted"), remove}});
        return output.written();
    }, &deletion);
    session.close();
    if (const int status = deletionFailure(session, output, deletion); status >= 0)
        return status;
    return finishListing(output, reports.size(), QStringLiteral("report(s)"), remove);
}

} // namespace

const CommandInfo SmsCommand = {
    "sms", "list or delete the messages stored on the SIM",
    "pellix sms list [--all|--unread|--read] [--delete]\n"
    "  Lists the stored messages (all by default), one a line: location, new or read, sender,\n"
    "  time stamp, [user data header in hex] and text (the octets in hex for 8-bit messages).\n"
    "  --delete deletes each message once it was read, decoded and written out; one that does not\n"
    "  decode stays, and nothing goes when the listing cannot be written (exit status 1). A delete\n"
    "  the modem refuses (exit status 3) or a connection lost while deleting (exit status 4) is an\n"
    "  error after the listing that names the locations deleted, those still stored and any whose\n"
    "  delete got no answer (JSON: \"deleted\", \"remaining\", \"unconfirmed\" in the error object).\n"
    "  JSON: {\"messages\": [{\"location\", \"new\", \"from\", \"time\", \"alphabet\", \"class\", \"udh\",\n"
    "  \"text\", \"serviceCenter\"}], \"deleted\"}\n"
    "pellix sms delete LOCATION|all\n"
    "  Deletes the message (or the report) at LOCATION, or every stored message and report.\n"
    "  JSON: {\"deleted\": LOCATION or \"all\"}\n",
    sms,
};

const CommandInfo ReportsCommand = {
    "reports", "list the status reports stored on the SIM",
    "pellix reports list [--delete]\n"
    "  Lists the stored status reports, one a line: location, the reference of the message, its\n"
    "  recipient, the status in words and its number, the discharge time. --delete deletes each once\n"
    "  it was read; a delete that fails is an error as for sms list --delete.\n"
    "  JSON: {\"reports\": [{\"location\", \"reference\", \"recipient\", \"status\", \"statusText\",\n"
    "  \"time\", \"discharged\"}], \"deleted\"}\n",
    reports,
};

} // namespace cli
