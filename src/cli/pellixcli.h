// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "environment.h"

#include <QStringList>

namespace cli {

// pellix with these arguments (without the program name): reads them, runs the command on the
// modem the environment makes, writes results and errors, and returns the exit status
// (exitstatus.h). Needs a QCoreApplication; enters the event loop only where a command waits.
int runPellix(const QStringList &arguments, Environment &environment);
// The same with the arguments as the program got them: an argument that is not UTF-8 is a usage
// error, never text with replacement characters.
int runPellix(const QList<QByteArray> &arguments, Environment &environment);

} // namespace cli
