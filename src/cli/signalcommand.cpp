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
#include "usageerror.h"

#include <QRegularExpression>

namespace cli {
namespace {

// --watch SECONDS in milliseconds, 0 when not given: decimal, with a point, from 0.1 to a day.
int watchIntervalMs(const CommandLine &line)
{
    if (!line.has(QStringLiteral("watch")))
        return 0;
    static const QRegularExpression decimal(QStringLiteral("^(\\d{1,5}(\\.\\d*)?|\\.\\d+)$"));
    const QString text = line.value(QStringLiteral("watch"));
    const qint64 ms = decimal.match(text).hasMatch() ? qRound64(text.toDouble() * 1000) : -1;
    if (ms < 100 || ms > 86400 * 1000)
        throw UsageError(QStringLiteral("--watch must be a number of seconds from 0.1 to 86400 (\"%1\")").arg(text));
    return int(ms);
}

void printSignal(pellix::PellixGsmModem &modem, Output &output)
{
    qint16 rssi = 99;
    qint16 ber = 99;
    modem.GetSignalQuality(rssi, ber);
    output.result(items::signalLine(rssi, ber), items::signal(rssi, ber));
}

int signal(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("watch")});
    line.requireWords(1, QStringLiteral("signal takes no arguments"));
    const int everyMs = watchIntervalMs(line);
    pellix::PellixGsmModem &modem = session.connect();
    if (everyMs == 0) {
        printSignal(modem, output);
        session.close();
        return ExitSuccess;
    }
    StopSignals stop;
    for (;;) {
        printSignal(modem, output);
        session.waitUntil([&] { return stop.stopRequested() || !session.connected(); }, everyMs);
        if (session.linkLost())
            pellix::raise(pellix::ErrorCode::ConnectionLost, QStringLiteral("the link dropped while watching"));
        if (stop.stopRequested())
            break;
    }
    session.close();
    return ExitSuccess;
}

} // namespace

const CommandInfo SignalCommand = {
    "signal", "signal quality (rssi, ber, dBm), once or every few seconds",
    "pellix signal [--watch SECONDS]\n"
    "  Prints rssi 0..31 (99 unknown), the dBm it stands for (27.007 +CSQ: 0 = -113 dBm or less,\n"
    "  31 = -51 dBm or more) and ber 0..7 (99 unknown). --watch repeats every SECONDS (0.1 to\n"
    "  86400, fractions with a point: 0.5) until Ctrl-C (SIGINT) or SIGTERM, then disconnects\n"
    "  cleanly.\n"
    "  JSON: {\"rssi\", \"ber\", \"dbm\"} (dbm null when unknown); with --watch one object per line.\n",
    signal,
};

} // namespace cli
