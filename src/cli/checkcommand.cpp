// SPDX-License-Identifier: GPL-3.0-or-later
#include "checkreport.h"
#include "checkrunner.h"
#include "commandline.h"
#include "commands.h"
#include "environment.h"
#include "exitstatus.h"
#include "librarycheckedmodem.h"
#include "modemtargets.h"
#include "modem/pellixgsmmodem.h"
#include "output.h"
#include "usageerror.h"


#include <sys/resource.h>

namespace cli {
namespace {

// What a modem's check holds open: its port, its trace, its thread's event notifier, and a
// lock file while the port opens; and what the program holds besides.
constexpr rlim_t FilesPerModem = 4;
constexpr rlim_t FilesBesides = 32;

// A bench of many modems meets the open-files limit: the soft limit is raised as far as the hard
// one allows, and what is still short is said once before any modem fails for it.
QString makeRoomForFiles(qsizetype modems)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return QString();
    const rlim_t needed = rlim_t(modems) * FilesPerModem + FilesBesides;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed)
        return QString();
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? needed : qMin(needed, limit.rlim_max);
    if (wanted > limit.rlim_cur) {
        limit.rlim_cur = wanted;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur >= needed)
        return QString();
    return QStringLiteral("checking %1 modems at once needs about %2 open files, and this program may open %3 "
                          "(ulimit -n): modems beyond that fail to open; raise the limit or check fewer at once")
        .arg(modems).arg(qulonglong(needed)).arg(qulonglong(limit.rlim_cur));
}


int check(Environment &environment, const CommandLine &line, Output &output)
{
    line.allowOnly({QStringLiteral("all"), QStringLiteral("min-rssi"), QStringLiteral("own-number"),
                    QStringLiteral("within"), QStringLiteral("ussd"), QStringLiteral("junit")});
    line.requireWords(1, QStringLiteral("check takes no arguments"));
    if (line.has(QStringLiteral("trace")))
        throw UsageError(QStringLiteral("check writes each modem's AT trace to a file of its own (named in the results), "
                                        "not to stderr: drop --trace"));
    if (line.has(QStringLiteral("junit")) && line.value(QStringLiteral("junit")).isEmpty())
        throw UsageError(QStringLiteral("--junit needs a file name"));
    if (line.modemOptions().isEmpty() && !line.has(QStringLiteral("all")))
        throw UsageError(QStringLiteral("give the modems with --port COMn, --device PATH or --type -1 (each may be repeated), or --all"));
    const CheckSettings settings = readCheckSettings(line);
    QList<CheckTarget> targets = readModemTargets(environment, line, output);
    const bool onlyType = !targets.isEmpty() || line.has(QStringLiteral("all"));
    if (!onlyType)
        throw UsageError(QStringLiteral("--type %1 needs --port COMn or --device PATH").arg(line.value(QStringLiteral("type"))));

    if (const QString files = makeRoomForFiles(targets.size()); !files.isEmpty())
        output.warning(files);
    QString problem;
    const QString folder = CheckRunner::traceFolder(&problem);
    if (!problem.isEmpty())
        output.warning(QStringLiteral("the traces cannot be written: %1").arg(problem));
    // A folder that is not this user's (planted by another) gets no trace: the results name none
    // rather than a file someone else may hold.
    for (CheckTarget &target : targets)
        target.tracePath = problem.isEmpty() ? CheckRunner::tracePathFor(folder, target.name) : QString();

    const auto makeModem = environment.makeModem;
    CheckRunner runner(settings, [makeModem](const CheckTarget &target) -> std::unique_ptr<CheckedModem> {
        return std::make_unique<LibraryCheckedModem>(target, makeModem(target.request));
    });
    const QList<ModemCheck> checks = runner.run(targets, [&](int modem, const CheckStep &step) {
        output.progress(QStringLiteral("%1: %2 %3").arg(targets.at(modem).name, verdictName(step.verdict), step.name));
    });

    int status = overallVerdict(checks) == CheckVerdict::Pass && !checks.isEmpty() ? ExitSuccess : ExitCheckFailed;
    QString table = checkTable(checks);
    if (checks.isEmpty())
        table = QStringLiteral("No modem to check: no port answers AT (pellix ports --probe shows what each said).");
    QJsonObject json = checkJson(checks);
    if (checks.isEmpty())
        json.insert(QLatin1String("verdict"), verdictName(CheckVerdict::Fail));
    if (line.has(QStringLiteral("junit"))) {
        const QString why = writeCheckJunit(line.value(QStringLiteral("junit")), checks);
        if (!why.isEmpty()) {
            output.warning(QStringLiteral("the JUnit file %1 could not be written: %2").arg(line.value(QStringLiteral("junit")), why));
            if (status == ExitSuccess)
                status = ExitOutputFailed;
        }
    }
    output.result(table, json);
    return status;
}

} // namespace

const CommandInfo CheckCommand = {
    "check", "a modem test with verdicts: PASS, FAIL, SKIP per step, on many modems at once",
    "pellix check [--port COMn | --device PATH | --type -1]... [--all] [--min-rssi N]\n"
    "             [--own-number NUMBER] [--within S] [--ussd CODE] [--junit FILE]\n"
    "             [--pin NNNN [--force-pin]]\n"
    "  Checks each modem named (repeat --port, --device or --type -1; --all adds every port that\n"
    "  answers AT, as ports --probe finds them), all at once, each over a connection of its own.\n"
    "  Steps: port answers AT; SIM ready (and the PIN attempts left); identity; registered (home\n"
    "  or roaming); signal at or above --min-rssi (0..31, default 10 = -93 dBm); SMS centre set;\n"
    "  storage not full; phonebook readable; loopback: an SMS with a status report to the own\n"
    "  number (--own-number, else the SIM's +CNUM), its report and its return within --within S\n"
    "  (default 60); with --ussd CODE, an answer to it within --within S.\n"
    "  Each step is PASS, FAIL (with the reason and the remedy) or SKIP: a command the modem does\n"
    "  not support, or a step that depends on one that failed (named). A modem that hangs fails\n"
    "  its own steps when its time is up and holds no other back. Each modem's AT trace goes to a\n"
    "  file of its own beside Pellix.log (pellix-check-COM5.log), named in the results. A PIN\n"
    "  (--pin) is never entered when the SIM has one attempt left, unless --force-pin is given.\n"
    "  --junit FILE also writes JUnit XML (a testsuite per modem, a testcase per step), whole or\n"
    "  not at all.\n"
    "  Exit status 0 when every modem passes, 6 when any step failed (or no modem was found).\n"
    "  JSON: {\"modems\": [{\"port\", \"device\", \"identity\", \"trace\", \"verdict\", \"steps\": [{\"name\",\n"
    "  \"verdict\", \"seconds\", \"reason\", \"remedy\", \"detail\"}]}], \"verdict\"}\n",
    nullptr,
    check,
};

} // namespace cli
