// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace pellix {

struct ModemProfile;

// Every value of a profile on one line, "name=Wavecom; baudRate=115200; init=AT+CSMS=1|...", for
// the trace: a support engineer replaying an operator's Pellix.log needs the profile the
// operator's driver ran with, also when it came from the operator's own Pellix.ini.
QString profileDescription(const ModemProfile &profile);

} // namespace pellix
