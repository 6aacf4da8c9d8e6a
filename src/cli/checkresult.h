// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

namespace cli {

enum class CheckVerdict { Pass, Fail, Skip };

QString verdictName(CheckVerdict verdict); // "PASS", "FAIL", "SKIP"

// One step of a modem's check. reason: on FAIL why, on SKIP why not run; remedy: on FAIL what a
// field engineer does about it; detail: what was found (also on PASS: "home, 22210, cell 00C3").
struct CheckStep
{
    QString name;
    CheckVerdict verdict = CheckVerdict::Skip;
    double seconds = 0;
    QString reason;
    QString remedy;
    QString detail;
};

// The check of one modem: how it was named (port "COM5", device path, or "virtual"), what it said
// it is, where its AT trace went, and its steps in the order run.
struct ModemCheck
{
    QString port;
    QString device;
    QString identity;
    QString trace;
    QList<CheckStep> steps;

    // FAIL when any step failed, else PASS (skipped steps fail nothing).
    CheckVerdict verdict() const;
};

CheckVerdict overallVerdict(const QList<ModemCheck> &modems);

} // namespace cli
