// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "checkresult.h"

#include <QJsonObject>

namespace cli {

// The check's results as a person reads them: a block per modem, its steps in aligned columns
// (verdict, time, name, what was found or why not, the remedy under a failure), and a summary.
QString checkTable(const QList<ModemCheck> &modems);

// {"modems": [{"port", "device", "identity", "trace", "verdict", "steps": [{"name", "verdict",
// "seconds", "reason", "remedy", "detail"}]}], "verdict"}
QJsonObject checkJson(const QList<ModemCheck> &modems);

// JUnit XML as CI servers read it: a <testsuite> per modem, a <testcase> per step.
QByteArray checkJunit(const QList<ModemCheck> &modems);

// Writes the JUnit file whole or not at all (a temporary file renamed over it; a device or a
// pipe is written as it is); the reason when it could not be written, else empty.
QString writeCheckJunit(const QString &path, const QList<ModemCheck> &modems);

} // namespace cli
