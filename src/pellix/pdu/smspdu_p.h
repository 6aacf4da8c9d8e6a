// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdubytes_p.h"
#include "smspdu.h"

// The three message types read from their octets (the describer traces them the same way).
namespace pellix::pdu::detail {

SubmitPdu readSubmit(PduReader &r, bool hasSmsc);

DeliverPdu readDeliver(PduReader &r, bool hasSmsc);

StatusReportPdu readStatusReport(PduReader &r, bool hasSmsc);

} // namespace pellix::pdu::detail
