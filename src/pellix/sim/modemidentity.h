// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pellix::sim {

// What the modem says it is (V.250 6.1.3, 27.007 5.1-5.4 and 5.6).
struct ModemIdentity
{
    static constexpr char Manufacturer[] = "Pellix";
    static constexpr char Model[] = "PVM-1";
    static constexpr char Revision[] = "PVM-1 2.6.0";
    static constexpr char Imei[] = "357920061482624";
    static constexpr char Imsi[] = "001011234567890";
    // 27.007 8.x has no ICCID command; modules answer AT+CCID, AT+ICCID or AT^ICCID with it.
    static constexpr char Iccid[] = "8900101234567890127";
};

} // namespace pellix::sim
