// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pellix::sim {

// How a command ends (V.250 5.7.1, 27.007 9.2, 27.005 3.2.5), or that it waits for text after "> ".
struct AtOutcome
{
    enum Kind { Ok, Error, Cme, Cms, NoCarrier, Busy, Prompt };
    Kind kind = Ok;
    int code = 0;
};

// What a command needs of the SIM, and so which error it gets while the SIM is locked or busy.
enum class SimNeed { Nothing, SimForCme, SimForCms };

} // namespace pellix::sim
