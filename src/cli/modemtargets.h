// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "librarycheckedmodem.h"

namespace cli {

class CommandLine;
class Output;

// What --all saw, for a command that keeps looking for modems plugged in later: the ports the
// probe reached (answered or not; a port another program held was not reached), the speed of the
// probe, and the line's settings (type, --baud, --timeout, PIN) for a port found later.
struct PortSurvey
{
    QList<pellix::SerialPortDescription> probed;
    qint32 probeBaudRate = pellix::DefaultProbeBaudRate;
    CheckTarget settings;
};

// The modems a command of many modems names, in the line's order (--port, --device, --type -1,
// each repeatable); --all adds every port that answers AT. A port named twice is a usage error:
// one connection per modem. survey: filled with what --all saw.
QList<CheckTarget> readModemTargets(Environment &environment, const CommandLine &line, Output &output,
                                    PortSurvey *survey = nullptr);

// The check's settings of the line: --min-rssi, --own-number, --within, --ussd.
CheckSettings readCheckSettings(const CommandLine &line);

// The target of a port --all found, with the line's settings.
CheckTarget targetForPort(const PortSurvey &survey, const pellix::SerialPortDescription &port);

} // namespace cli
