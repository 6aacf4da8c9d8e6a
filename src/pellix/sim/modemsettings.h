// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <map>

namespace pellix::sim {

// What a client sets with commands and ATZ, AT&F, a restart or +CFUN=1,1 take back to the stored
// profile.
struct ModemSettings
{
    bool echo = true;
    bool verbose = true;          // V1
    bool quiet = false;           // Q1
    int cmee = 0;
    int cmgf = 0;                 // 0 PDU mode, 1 text mode (27.005 3.2.3)
    QByteArray charset = "IRA";
    int cnmiMode = 0;
    int cnmiMt = 0;
    int cnmiBm = 0;
    int cnmiDs = 0;
    int cnmiBfr = 0;
    int clip = 0;
    int crc = 0;
    int creg = 0;
    int cgreg = 0;
    int cereg = 0;
    int copsFormat = 0;           // 0 long name, 1 short name, 2 numeric
    int csmsService = 0;
    int cusd = 0;
    QByteArray mem1 = "SM";
    QByteArray mem2 = "SM";
    QByteArray mem3 = "SM";
    int csmp[4] = {17, 167, 0, 0};
    // V.250 6.2: S0 auto-answer, S3 line terminator, S4 line feed, S5 backspace, S6-S10 dialling.
    std::map<int, int> registers = {{0, 0}, {3, 13}, {4, 10}, {5, 8}, {6, 2}, {7, 50}, {8, 2}, {10, 14}};

    int reg(int number) const
    {
        const auto it = registers.find(number);
        return it == registers.end() ? 0 : it->second;
    }
};

} // namespace pellix::sim
