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
    const int every = line.integer(QStringLiteral("watch"), 1, 86400, 0);
    pellix::PellixGsmModem &modem = session.connect();
    if (every == 0) {
        printSignal(modem, output);
        session.close();
        return ExitSuccess;
    }
    StopSignals stop;
    for (;;) {
        printSignal(modem, output);
        session.waitUntil([&] { return stop.stopRequested() || !session.connected(); }, every * 1000);
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
    "  31 = -51 dBm or more) and ber 0..7 (99 unknown). --watch repeats every SECONDS until Ctrl-C\n"
    "  (SIGINT) or SIGTERM, then disconnects cleanly.\n"
    "  JSON: {\"rssi\", \"ber\", \"dbm\"} (dbm null when unknown); with --watch one object per line.\n",
    signal,
};

} // namespace cli
