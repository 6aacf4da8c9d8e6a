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

constexpr int DefaultLivenessSeconds = 60;

int monitor(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("liveness")});
    line.requireWords(1, QStringLiteral("monitor takes no arguments"));
    // A hung modem keeps its port open and says nothing, just like a quiet one: after this long
    // without an event a plain AT tells them apart.
    const int livenessSeconds = line.integer(QStringLiteral("liveness"), 0, 86400, DefaultLivenessSeconds);
    // Signals first: a Ctrl-C while connecting still ends in a clean Disconnect.
    StopSignals stop;
    pellix::PellixGsmModem &modem = session.connect(2, true);
    bool heard = false;
    QObject::connect(&modem, &GsmModem::MessageReceived, &modem, [&](const ReceivedMessage &message) {
        heard = true;
        output.result(QStringLiteral("message: ") + items::messageLine(message),
                      {{QLatin1String("event"), QStringLiteral("message")}, {QLatin1String("message"), items::message(message)}});
    });
    QObject::connect(&modem, &GsmModem::StatusReport, &modem, [&](const SmsStatusReport &report) {
        heard = true;
        output.result(QStringLiteral("report: ") + items::reportLine(report),
                      {{QLatin1String("event"), QStringLiteral("report")}, {QLatin1String("report"), items::report(report)}});
    });
    QObject::connect(&modem, &GsmModem::Ring, &modem, [&](const PhoneNumber &caller) {
        heard = true;
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
    for (;;) {
        heard = false;
        const bool woken = session.waitUntil([&] { return stop.stopRequested() || !session.connected() || heard; },
                                             livenessSeconds > 0 ? livenessSeconds * 1000 : -1);
        if (stop.stopRequested() || !session.connected())
            break;
        if (!woken)
            modem.checkAlive();
    }
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
    "pellix monitor [--liveness SECONDS]\n"
    "  Connects for automatic reception (messages and status reports are handed over as they\n"
    "  arrive, callers named) and prints each event on a line until Ctrl-C (SIGINT) or SIGTERM;\n"
    "  then disconnects, leaving the modem storing new messages, and exits 0. A dropped link ends\n"
    "  it with exit status 4. After SECONDS without an event (default 60; 0 never) a plain AT\n"
    "  checks that the modem still answers: one that has stopped answering (hung, its port still\n"
    "  open) ends the monitor with exit status 4 as well, saying so.\n"
    "  JSON, one object per line: {\"event\": \"message\", \"message\": {...as sms list}},\n"
    "  {\"event\": \"report\", \"report\": {...as reports list}}, {\"event\": \"ring\", \"from\"},\n"
    "  {\"event\": \"status\", \"status\", \"text\"}\n",
    monitor,
};

} // namespace cli
