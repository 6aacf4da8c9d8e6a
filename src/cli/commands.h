// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace cli {

struct Environment;
class CommandLine;
class Output;
class Session;

// A command of pellix: its name (the first word), the line pellix --help shows, its own --help,
// and what it does. run checks its words and options before it connects (a usage error sends
// nothing), returns an exit status, and raises the library's errors.
struct CommandInfo
{
    const char *name;
    const char *summary;
    const char *help;
    int (*run)(Session &session, const CommandLine &line, Output &output);
    // Instead of run, for a command that talks to no modem of its own choosing (it takes none of
    // the modem options' checks).
    int (*runWithoutModem)(Environment &environment, const CommandLine &line, Output &output) = nullptr;
};

extern const CommandInfo PortsCommand;
extern const CommandInfo IdentifyCommand;
extern const CommandInfo SignalCommand;
extern const CommandInfo SendCommand;
extern const CommandInfo SmsCommand;
extern const CommandInfo ReportsCommand;
extern const CommandInfo PhonebookCommand;
extern const CommandInfo ForwardCommand;
extern const CommandInfo MonitorCommand;
extern const CommandInfo RawAtCommand;
extern const CommandInfo NetworkCommand;
extern const CommandInfo SimCommand;
extern const CommandInfo SmscCommand;
extern const CommandInfo UssdCommand;
extern const CommandInfo CheckCommand;
extern const CommandInfo ExporterCommand;

} // namespace cli
