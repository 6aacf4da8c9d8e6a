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

int sim(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({});
    line.requireWords(1, QStringLiteral("sim takes no arguments"));
    pellix::PellixGsmModem &modem = session.connect();
    const pellix::SimFacts facts = modem.readSim();
    session.close();
    output.result(items::simText(facts), items::sim(facts));
    return ExitSuccess;
}

} // namespace

const CommandInfo SimCommand = {
    "sim", "SIM state, PIN and PUK attempts left, ICCID, IMSI and own number",
    "pellix sim\n"
    "  Reads the SIM: its state (+CPIN), the PIN and PUK attempts left where the modem tells them\n"
    "  (+CPINR, or the vendor's own command), the ICCID, the IMSI and the own numbers (+CNUM;\n"
    "  most SIMs hold none). What the modem does not tell is shown as \"not told\".\n"
    "  JSON: {\"pinState\", \"pinAttempts\", \"pukAttempts\", \"iccid\", \"imsi\", \"ownNumbers\": [...]};\n"
    "  what the modem does not tell is null.\n",
    sim,
};

} // namespace cli
