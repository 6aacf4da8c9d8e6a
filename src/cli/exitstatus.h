// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The exit statuses of pellix. Scripts test them, so they never change meaning; a new failure
// gets a new number.
namespace cli {

enum ExitStatus : int {
    ExitSuccess = 0,
    // The result could not be written (stdout closed, disk full); nothing was deleted for it.
    ExitOutputFailed = 1,
    // Unknown command or option, bad number, missing or extra argument: nothing was sent.
    ExitUsage = 2,
    // The library or the modem refused (the library's error number is printed).
    ExitModemError = 3,
    // The link to the modem dropped during the command (unplugged, the other end closed).
    ExitConnectionLost = 4,
    // What was waited for did not come in time (send --wait-report).
    ExitTimedOut = 5,
    // pellix check: a step of some modem failed (the output says which, why and what to do).
    ExitCheckFailed = 6,
};

} // namespace cli
