// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "librarycheckedmodem.h"

namespace cli {

class CommandLine;
class Output;

// The modems a command of many modems names, in the line's order (--port, --device, --type -1,
// each repeatable); --all adds every port that answers AT. A port named twice is a usage error:
// one connection per modem.
QList<CheckTarget> readModemTargets(Environment &environment, const CommandLine &line, Output &output);

} // namespace cli
