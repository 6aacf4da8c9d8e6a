// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "factitems.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "session.h"

namespace cli {
namespace {

int network(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({});
    line.requireWords(1, QStringLiteral("network takes no arguments"));
    pellix::PellixGsmModem &modem = session.connect();
    const pellix::NetworkFacts facts = modem.readNetwork();
    session.close();
    output.result(items::networkText(facts), items::network(facts));
    return ExitSuccess;
}

} // namespace

const CommandInfo NetworkCommand = {
    "network", "registration, location, cell, operator and access technology",
    "pellix network\n"
    "  Reads the registration of each domain the modem has (+CREG circuit switched, +CGREG\n"
    "  GPRS, +CEREG LTE; the others are left out) and the operator (+COPS, its name and\n"
    "  MCC+MNC). The state shown is the best of the domains: home or roaming, else denied,\n"
    "  searching, not registered, unknown. Not being registered is a fact, not a failure: the\n"
    "  exit status is 0; a modem with none of the commands gives error 13.\n"
    "  JSON: {\"registered\", \"state\", \"area\", \"cell\", \"operator\", \"mccmnc\", \"act\",\n"
    "  \"technology\", \"domains\": [{\"command\", \"state\", \"area\", \"cell\", \"act\"}]}; what the modem\n"
    "  does not say is null.\n",
    network,
};

} // namespace cli
