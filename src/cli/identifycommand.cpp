// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "items.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "session.h"

namespace cli {
namespace {

int identify(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({});
    line.requireWords(1, QStringLiteral("identify takes no arguments"));
    pellix::PellixGsmModem &modem = session.connect();
    qint16 rssi = 99;
    qint16 ber = 99;
    modem.GetSignalQuality(rssi, ber);
    QJsonObject object{
        {QLatin1String("manufacturer"), modem.Manufacturer()},
        {QLatin1String("model"), modem.Model()},
        {QLatin1String("revision"), modem.Revision()},
        {QLatin1String("imei"), modem.IMEI()},
    };
    const QJsonObject signal = items::signal(rssi, ber);
    for (auto it = signal.begin(); it != signal.end(); ++it)
        object.insert(it.key(), it.value());
    session.close();
    output.result(QStringLiteral("Manufacturer: %1\nModel: %2\nRevision: %3\nIMEI: %4\nSignal: %5")
                      .arg(modem.Manufacturer(), modem.Model(), modem.Revision(), modem.IMEI(), items::signalLine(rssi, ber)),
                  object);
    return ExitSuccess;
}

} // namespace

const CommandInfo IdentifyCommand = {
    "identify", "manufacturer, model, revision, IMEI and signal of the modem",
    "pellix identify\n"
    "  Connects, and prints the modem's manufacturer, model, revision and IMEI (as read during the\n"
    "  connection) and the signal: rssi 0..31 (99 unknown), its dBm, and ber 0..7 (99 unknown).\n"
    "  JSON: {\"manufacturer\", \"model\", \"revision\", \"imei\", \"rssi\", \"ber\", \"dbm\"}\n",
    identify,
};

} // namespace cli
