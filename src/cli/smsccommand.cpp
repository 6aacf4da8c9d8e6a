// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "factitems.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "session.h"
#include "usageerror.h"

namespace cli {
namespace {

int smsc(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({});
    const QString usage = QStringLiteral("smsc [set NUMBER]");
    QString number;
    if (line.words().size() > 1) {
        if (line.word(1) != QLatin1String("set"))
            throw UsageError(QStringLiteral("unknown subcommand \"%1\" (%2)").arg(line.word(1), usage));
        line.requireWords(3, usage);
        number = line.word(2);
        if (const QString why = pellix::PellixGsmModem::smscRefusal(number); !why.isEmpty())
            throw UsageError(QStringLiteral("the SMS centre: %1").arg(why));
    }
    pellix::PellixGsmModem &modem = session.connect();
    if (!number.isEmpty())
        modem.setSmsc(number);
    // What the modem took, read back: the only proof that it took it.
    const pellix::SmscFacts facts = modem.readSmsc();
    session.close();
    output.result(items::smscText(facts), items::smsc(facts));
    return ExitSuccess;
}

} // namespace

const CommandInfo SmscCommand = {
    "smsc", "the SMS centre (service centre) number, read or set",
    "pellix smsc [set NUMBER]\n"
    "  Prints the SMS centre the modem sends messages through (+CSCA), or \"not set\". With set,\n"
    "  stores NUMBER (up to 20 digits with an optional leading +; type 145 with the +, else 129) and\n"
    "  prints what the modem then says. Most modems keep it on the SIM.\n"
    "  JSON: {\"number\", \"type\"} (number null when none is set).\n",
    smsc,
};

} // namespace cli
