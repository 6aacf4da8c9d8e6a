// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "hexdigits.h"
#include "items.h"
#include "messagesize.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "pellixerror.h"
#include "session.h"
#include "stopsignals.h"
#include "usageerror.h"

#include <QJsonArray>

#include <algorithm>
#include <limits>
#include <optional>

namespace cli {
namespace {

// Hex octets as the console's text boxes take them: pairs of hex digits, nothing else.
QByteArray octets(const QString &hex, const QString &what)
{
    const QByteArray latin = hex.toLatin1();
    const bool digitsOnly = std::all_of(latin.cbegin(), latin.cend(), [](char c) { return hexDigitValue(c) >= 0; });
    if (latin.size() % 2 != 0 || !digitsOnly || QString::fromLatin1(latin) != hex)
        throw UsageError(QStringLiteral("%1 must be pairs of hex digits, not \"%2\"").arg(what, hex));
    return QByteArray::fromHex(latin);
}

int send(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("alphabet"), QStringLiteral("udh"), QStringLiteral("class"), QStringLiteral("validity"),
                    QStringLiteral("receipt"), QStringLiteral("wait-report")});
    line.requireWords(3, QStringLiteral("send NUMBER TEXT"));
    const QString text = line.word(2);
    const int alphabet = line.integer(QStringLiteral("alphabet"), AlphabetGsm7, AlphabetUcs2, AlphabetGsm7);
    if (alphabet != AlphabetGsm7 && alphabet != AlphabetBinary && alphabet != AlphabetUcs2)
        throw UsageError(QStringLiteral("--alphabet is 7, 8 or 16, not %1").arg(alphabet));
    const bool waitReport = line.has(QStringLiteral("wait-report"));
    const int waitSeconds = line.integer(QStringLiteral("wait-report"), 1, 86400, session.networkTimeoutSeconds());
    const bool receipt = line.has(QStringLiteral("receipt")) || waitReport;
    // By septets: a text of extension characters ("€") fills a message at 80 of them.
    const int septets = alphabet == AlphabetGsm7 ? pellix::PellixGsmModem::gsm7Septets(text) : -1;
    const bool longText = MessageSize::goesInParts(alphabet, septets >= 0 ? septets : text.size());
    if (longText) {
        for (const char *option : {"udh", "class", "validity", "wait-report"}) {
            if (line.has(QLatin1String(option)))
                throw UsageError(QStringLiteral("a text over %1 characters (\u20AC and the other extension characters count two) goes as a long message, which takes no --%2")
                                     .arg(MessageSize::Gsm7Characters).arg(QLatin1String(option)));
        }
    }

    SmsMessage message;
    message.Recipient = CommandLine::recipientWord(line.word(1), QStringLiteral("NUMBER"));
    // A character the GSM alphabet lacks would be refused by the library, but only once connected.
    if (const QString why = pellix::PellixGsmModem::textRefusal(text, alphabet); !why.isEmpty())
        throw UsageError(QStringLiteral("TEXT: %1 (--alphabet 16 sends any text)").arg(why));
    message.Alphabet = alphabet;
    message.Text = alphabet == AlphabetBinary ? QString::fromLatin1(octets(text, QStringLiteral("TEXT with --alphabet 8"))) : text;
    if (line.has(QStringLiteral("udh")))
        message.Udh = octets(line.value(QStringLiteral("udh")), QStringLiteral("--udh"));
    message.MessageClass = line.integer(QStringLiteral("class"), 0, 3, -1);
    if (line.has(QStringLiteral("validity")))
        message.Validity = line.integer(QStringLiteral("validity"), 0, std::numeric_limits<int>::max(), 0);
    message.RequestStatusReport = receipt;

    // While a report is waited for, the modem hands over what arrives and keeps no copy: a Ctrl-C
    // must end in a clean Disconnect (the modem storing again) with what came printed, never kill
    // the program with both lost.
    std::optional<StopSignals> stop;
    if (waitReport)
        stop.emplace();
    pellix::PellixGsmModem &modem = session.connect(waitReport ? 2 : 0);
    if (longText) {
        const qint32 parts = modem.SendLongMessage(message.Recipient.Number, text, receipt);
        session.close();
        output.result(QStringLiteral("Long message sent (%1 parts) to %2").arg(parts).arg(message.Recipient.Number),
                      {{QLatin1String("to"), message.Recipient.Number},
                       {QLatin1String("reference"), QJsonValue()},
                       {QLatin1String("parts"), parts}});
        return ExitSuccess;
    }

    // Reports are collected from before the send: one may be delivered as soon as the send has
    // returned to the event loop. In automatic reception the modem hands over whatever arrives
    // and keeps no copy: other messages and reports are printed too, never dropped.
    std::optional<SmsStatusReport> report;
    qint32 reference = -1;
    QStringList otherLines;
    QJsonArray otherMessages;
    QJsonArray otherReports;
    QObject::connect(&modem, &GsmModem::StatusReport, &modem, [&](const SmsStatusReport &r) {
        if (!report && reference >= 0 && r.Reference == reference) {
            report = r;
            return;
        }
        otherLines << QStringLiteral("report: ") + items::reportLine(r);
        otherReports.append(items::report(r));
    });
    QObject::connect(&modem, &GsmModem::MessageReceived, &modem, [&](const ReceivedMessage &m) {
        otherLines << QStringLiteral("message: ") + items::messageLine(m);
        otherMessages.append(items::message(m));
    });
    const auto withOthers = [&](QString text, QJsonObject object) {
        for (const QString &l : std::as_const(otherLines))
            text += QLatin1Char('\n') + l;
        object[QLatin1String("messages")] = otherMessages;
        object[QLatin1String("otherReports")] = otherReports;
        output.result(text, object);
    };
    reference = modem.SendMessage(message);
    QString textResult = QStringLiteral("Message sent (%1) to %2").arg(reference).arg(message.Recipient.Number);
    QJsonObject object{{QLatin1String("to"), message.Recipient.Number},
                       {QLatin1String("reference"), reference},
                       {QLatin1String("parts"), 1}};
    if (waitReport) {
        const bool came = session.waitUntil(
            [&] { return report.has_value() || !session.connected() || stop->stopRequested(); }, waitSeconds * 1000);
        if (session.linkLost()) {
            // What arrived before the drop is nowhere else any more: printed before the error.
            withOthers(textResult, object);
            pellix::raise(pellix::ErrorCode::ConnectionLost, QStringLiteral("the link dropped while waiting for the status report"));
        }
        if (!came || !report) {
            session.close();
            withOthers(textResult, object);
            const QString why = stop->stopRequested()
                ? QStringLiteral("interrupted while waiting for the status report of message %1").arg(reference)
                : QStringLiteral("no status report for message %1 within %2 s").arg(reference).arg(waitSeconds);
            output.error(pellix::libraryError(pellix::ErrorCode::Timeout, why), ExitTimedOut);
            return ExitTimedOut;
        }
        textResult += QLatin1Char('\n') + items::reportLine(*report);
        object[QLatin1String("report")] = items::report(*report);
        session.close();
        withOthers(textResult, object);
        return ExitSuccess;
    }
    session.close();
    output.result(textResult, object);
    return ExitSuccess;
}

} // namespace

const CommandInfo SendCommand = {
    "send", "send an SMS (any length in 7-bit), optionally waiting for its status report",
    "pellix send NUMBER TEXT [--alphabet 7|8|16] [--udh HEX] [--class 0-3] [--validity MINUTES]\n"
    "                        [--receipt] [--wait-report [SECONDS]]\n"
    "  Sends TEXT to NUMBER (digits, a leading +, * and #). --alphabet 7 (default) the GSM alphabet,\n"
    "  16 UCS-2, 8 binary: TEXT is then the octets in hex (\"48656C6C6F\"). --udh a user data header\n"
    "  in hex, its length octet included. --class the message class, --validity a relative validity\n"
    "  period, --receipt asks for a status report. A 7-bit TEXT over 160 characters is sent as a\n"
    "  long message in parts of 153 (no --udh, --class, --validity or --wait-report then).\n"
    "  --wait-report connects for automatic reception, asks for a report and waits for the one\n"
    "  whose reference is the message's, up to SECONDS (default: --timeout, 60); none in time, or\n"
    "  Ctrl-C (SIGINT) or SIGTERM while waiting: exit status 5, after a clean disconnect.\n"
    "  JSON: {\"to\", \"reference\", \"parts\"} (reference null for a long message), with\n"
    "  --wait-report also \"report\": {\"location\", \"reference\", \"recipient\", \"status\",\n"
    "  \"statusText\", \"time\", \"discharged\"}. Messages and other reports that arrive meanwhile are\n"
    "  handed over by the modem and not kept: they are printed as well (\"message: ...\",\n"
    "  \"report: ...\" lines; JSON \"messages\" and \"otherReports\", as in sms list and reports list).\n",
    send,
};

} // namespace cli
