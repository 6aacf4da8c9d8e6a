// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "items.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "pellixerror.h"
#include "session.h"
#include "stopsignals.h"

namespace cli {
namespace {

int monitor(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({});
    line.requireWords(1, QStringLiteral("monitor takes no arguments"));
    // Signals first: a Ctrl-C while connecting still ends in a clean Disconnect.
    StopSignals stop;
    pellix::PellixGsmModem &modem = session.connect(2, true);
    QObject::connect(&modem, &GsmModem::MessageReceived, &modem, [&](const ReceivedMessage &message) {
        output.result(QStringLiteral("message: ") + items::messageLine(message),
                      {{QLatin1String("event"), QStringLiteral("message")}, {QLatin1String("message"), items::message(message)}});
    });
    QObject::connect(&modem, &GsmModem::StatusReport, &modem, [&](const SmsStatusReport &report) {
        output.result(QStringLiteral("report: ") + items::reportLine(report),
                      {{QLatin1String("event"), QStringLiteral("report")}, {QLatin1String("report"), items::report(report)}});
    });
    QObject::connect(&modem, &GsmModem::Ring, &modem, [&](const PhoneNumber &caller) {
        output.result(QStringLiteral("ring: from %1").arg(caller.Number.isEmpty() ? QStringLiteral("(unknown)") : caller.Number),
                      {{QLatin1String("event"), QStringLiteral("ring")}, {QLatin1String("from"), caller.Number}});
    });
    QObject::connect(&modem, &GsmModem::NewStatus, &modem, [&](qint32 status) {
        output.result(QStringLiteral("status: %1 %2").arg(status).arg(modem.StatusText()),
                      {{QLatin1String("event"), QStringLiteral("status")},
                       {QLatin1String("status"), status},
                       {QLatin1String("text"), modem.StatusText()}});
    });
    output.progress(QStringLiteral("monitoring %1 %2; Ctrl-C ends").arg(modem.Manufacturer(), modem.Model()));
    session.waitUntil([&] { return stop.stopRequested() || !session.connected(); }, -1);
    if (session.linkLost())
        pellix::raise(pellix::ErrorCode::ConnectionLost, QStringLiteral("the link dropped while monitoring"));
    // Disconnect sets the modem back to storing what arrives; its status change is not news.
    QObject::disconnect(&modem, &GsmModem::NewStatus, &modem, nullptr);
    session.close();
    return ExitSuccess;
}

} // namespace

const CommandInfo MonitorCommand = {
    "monitor", "print messages, status reports, rings and status changes as they arrive",
    "pellix monitor\n"
    "  Connects for automatic reception (messages and status reports are handed over as they\n"
    "  arrive, callers named) and prints each event on a line until Ctrl-C (SIGINT) or SIGTERM;\n"
    "  then disconnects, leaving the modem storing new messages, and exits 0. A dropped link ends\n"
    "  it with exit status 4.\n"
    "  JSON, one object per line: {\"event\": \"message\", \"message\": {...as sms list}},\n"
    "  {\"event\": \"report\", \"report\": {...as reports list}}, {\"event\": \"ring\", \"from\"},\n"
    "  {\"event\": \"status\", \"status\", \"text\"}\n",
    monitor,
};

} // namespace cli
