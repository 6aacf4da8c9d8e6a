// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "session.h"
#include "usageerror.h"

namespace cli {
namespace {

// +CCFC modes and the voice class (27.007 7.11).
constexpr qint32 Query = 2;
constexpr qint32 Register = 3;
constexpr qint32 Erase = 4;
constexpr qint32 VoiceClass = 1;

const char *const ReasonNames[] = {"unconditional", "busy", "no reply", "not reachable"};

int forward(Session &session, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("reason")});
    const qint32 reason = line.integer(QStringLiteral("reason"), 0, 3, 0);
    const QString action = line.word(1);
    qint32 mode = Query;
    QString number;
    if (action == QLatin1String("get")) {
        line.requireWords(2, QStringLiteral("forward get [--reason 0-3]"));
    } else if (action == QLatin1String("set")) {
        line.requireWords(3, QStringLiteral("forward set NUMBER [--reason 0-3]"));
        mode = Register;
        number = CommandLine::recipientWord(line.word(2), QStringLiteral("NUMBER")).Number;
    } else if (action == QLatin1String("off")) {
        line.requireWords(2, QStringLiteral("forward off [--reason 0-3]"));
        mode = Erase;
    } else {
        throw UsageError(QStringLiteral("forward get, set NUMBER or off (pellix forward --help)"));
    }
    pellix::PellixGsmModem &modem = session.connect();
    const QString target = modem.ForwardCalls(mode, VoiceClass, reason, number);
    session.close();
    const QString name = QLatin1String(ReasonNames[reason]);
    output.result(target.isEmpty() ? QStringLiteral("Forwarding (%1): off").arg(name)
                                   : QStringLiteral("Forwarding (%1): to %2").arg(name, target),
                  {{QLatin1String("reason"), reason},
                   {QLatin1String("active"), !target.isEmpty()},
                   {QLatin1String("number"), target}});
    return ExitSuccess;
}

} // namespace

const CommandInfo ForwardCommand = {
    "forward", "query, set or cancel call forwarding of voice calls",
    "pellix forward get|off [--reason 0-3]\n"
    "pellix forward set NUMBER [--reason 0-3]\n"
    "  Voice calls; --reason 0 unconditional (default), 1 busy, 2 no reply, 3 not reachable.\n"
    "  Prints where calls now go, or that forwarding is off; the network's deadline is --timeout.\n"
    "  JSON: {\"reason\", \"active\", \"number\"} (number empty when off)\n",
    forward,
};

} // namespace cli
