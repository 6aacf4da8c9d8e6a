// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixcli.h"

#include "commandline.h"
#include "commands.h"
#include "exitstatus.h"
#include "output.h"
#include "pellixerror.h"
#include "raisederror.h"
#include "session.h"
#include "usageerror.h"

namespace cli {
namespace {

// The commands in the order pellix --help lists them.
const CommandInfo *const Commands[] = {
    &PortsCommand, &IdentifyCommand, &SignalCommand, &SendCommand,  &SmsCommand,    &ReportsCommand,
    &PhonebookCommand, &ForwardCommand, &MonitorCommand, &RawAtCommand,
    &NetworkCommand, &SimCommand, &SmscCommand, &UssdCommand, &CheckCommand,
    &ExporterCommand,
};

const CommandInfo *findCommand(const QString &name)
{
    for (const CommandInfo *command : Commands) {
        if (name == QLatin1String(command->name))
            return command;
    }
    return nullptr;
}

QString generalHelp()
{
    QString text = QStringLiteral(
        "Usage: pellix [OPTIONS] COMMAND [ARGUMENTS]\n"
        "Drives a GSM modem through the Pellix library from the command line.\n"
        "\n"
        "Commands (pellix COMMAND --help for each):\n");
    for (const CommandInfo *command : Commands)
        text += QStringLiteral("  %1%2\n").arg(QLatin1String(command->name), -11).arg(QLatin1String(command->summary));
    text += QStringLiteral(
        "\n"
        "Options:\n"
        "  --port COMn      the modem on COM port n (the library's numbering: /dev/ttyS<k> = COM k+1,\n"
        "                   ttyUSB<k> = COM k+33, ttyACM<k> = COM k+65, rfcomm<k> = COM k+97,\n"
        "                   [Ports] of Pellix.ini first)\n"
        "  --device PATH    the modem on this serial device, opened directly\n"
        "  --type CODE      modem-type code: -1 the built-in virtual modem (no port), 0 the profile of\n"
        "                   Pellix.ini, others the built-in profiles; default with a port: 1 (standard)\n"
        "  --pin PIN        the SIM PIN, entered when the SIM asks for it (never prompted for)\n"
        "  --force-pin      enter it even when the modem says one attempt is left (a wrong PIN then\n"
        "                   locks the SIM behind its PUK; without it pellix refuses, error 11)\n"
        "  --baud N         serial speed (default: the profile's)\n"
        "  --timeout S      deadline of network operations in seconds, 1..600 (default 60)\n"
        "  --json           one JSON document per result on stdout (per event for monitor and\n"
        "                   signal --watch, one a line); field names as in each command's --help\n"
        "  --trace          the AT trace on stderr as it happens (Pellix.log is written as always,\n"
        "                   in $TMPDIR or else /tmp/pellix-UID; when it cannot be, a warning says so)\n"
        "  --help, -h       this text, or a command's\n"
        "  --version        pellix's version\n"
        "\n"
        "Exit statuses:\n"
        "  0  success\n"
        "  1  the result could not be written (its reader went away); a listing deletes nothing then\n"
        "  2  usage error: unknown command or option, bad number, missing argument (nothing sent)\n"
        "  3  the library or the modem failed: \"pellix: error N: description\" on stderr, N the\n"
        "     library's error number as the console shows it\n"
        "  4  the connection to the modem was lost during the command (or the modem stopped\n"
        "     answering)\n"
        "  5  timed out waiting (send --wait-report)\n"
        "  6  check: a step of some modem failed (the results say which, why and what to do)\n"
        "With --json an error is also an object on stdout: {\"error\": N, \"description\", \"source\",\n"
        "\"exit\"}, a usage error {\"usage\", \"exit\"}.\n");
    return text;
}

int exitStatusFor(const RaisedError &error, const Session &session)
{
    const qint32 lost = pellix::libraryErrorNumber(quint16(pellix::ErrorCode::ConnectionLost));
    return session.linkLost() || error.number() == lost ? ExitConnectionLost : ExitModemError;
}

QString hintFor(const RaisedError &error, const Session &session)
{
    if (error.number() == pellix::libraryErrorNumber(quint16(pellix::ErrorCode::PinRequired)) && !session.pinGiven())
        return QStringLiteral("give the PIN with --pin");
    return QString();
}

// Whether errors too go out as JSON, decided before the line is known to be right: --json as the
// option, never a "--json" that is a word (after "--", a message text) or another option's value.
bool jsonWanted(const QStringList &arguments)
{
    try {
        return CommandLine::parse(arguments).has(QStringLiteral("json"));
    } catch (const UsageError &) {
        const qsizetype end = arguments.indexOf(QStringLiteral("--"));
        return arguments.first(end < 0 ? arguments.size() : end).contains(QStringLiteral("--json"));
    }
}

int runLine(const QStringList &arguments, Environment &environment, Output &output)
{
    try {
        const CommandLine line = CommandLine::parse(arguments);
        const bool help = line.has(QStringLiteral("help"));
        if (line.has(QStringLiteral("version")) && !help) {
            output.text(QStringLiteral("pellix %1\n").arg(QLatin1String(PELLIX_VERSION)));
            return ExitSuccess;
        }
        if (line.words().isEmpty()) {
            if (!help)
                throw UsageError(QStringLiteral("no command given (pellix --help lists them)"));
            output.text(generalHelp());
            return ExitSuccess;
        }
        const CommandInfo *command = findCommand(line.word(0));
        if (!command) {
            QStringList names;
            for (const CommandInfo *known : Commands)
                names << QLatin1String(known->name);
            const QString meant = CommandLine::nearest(line.word(0), names);
            throw UsageError(meant.isEmpty()
                                 ? QStringLiteral("unknown command \"%1\" (pellix --help lists them)").arg(line.word(0))
                                 : QStringLiteral("unknown command \"%1\"; did you mean \"%2\"? (pellix --help lists them)")
                                       .arg(line.word(0), meant));
        }
        if (help) {
            output.text(QString::fromUtf8(command->help));
            return ExitSuccess;
        }
        if (command->runWithoutModem)
            return command->runWithoutModem(environment, line, output);
        Session session(environment, line, output);
        try {
            return command->run(session, line, output);
        } catch (const RaisedError &error) {
            const int status = exitStatusFor(error, session);
            output.error(error, status, hintFor(error, session));
            return status;
        }
    } catch (const UsageError &error) {
        output.usage(error.text());
        return ExitUsage;
    }
}

} // namespace

int runPellix(const QStringList &arguments, Environment &environment)
{
    Output output(*environment.out, *environment.err, jsonWanted(arguments), environment.progress);
    const int status = runLine(arguments, environment, output);
    // A result that did not reach its reader (a full disk, a closed pipe) is no success: a script
    // would take it for a done command whose answer it has. The help and --version too.
    if (status == ExitSuccess && !output.written()) {
        output.failure(QStringLiteral("the result could not be written to the output"));
        return ExitOutputFailed;
    }
    return status;
}

int runPellix(const QList<QByteArray> &arguments, Environment &environment)
{
    QStringList decoded;
    try {
        decoded = CommandLine::decode(arguments);
    } catch (const UsageError &error) {
        QStringList lossy;
        for (const QByteArray &argument : arguments)
            lossy << QString::fromUtf8(argument);
        Output(*environment.out, *environment.err, jsonWanted(lossy), environment.progress).usage(error.text());
        return ExitUsage;
    }
    return runPellix(decoded, environment);
}

} // namespace cli
