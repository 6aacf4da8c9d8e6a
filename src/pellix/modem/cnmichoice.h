// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

#include <array>

namespace pellix {

// The values of the test form of a setting, one list per parameter, as in
// "+CNMI: (0-3),(0-1,3),(0,2),(0-2),(0,1)" or "+CSMS: (0,1)". A parameter whose list is empty
// (left out, or not understood) accepts any value: the modem did not say.
struct TestRanges
{
    QList<QList<int>> values;

    static TestRanges parse(const QByteArray &line, const QByteArray &prefix);
    bool known() const { return !values.isEmpty(); }
    bool accepts(int parameter, int value) const;
};

// +CNMI <mode>,<mt>,<bm>,<ds>,<bfr> (TS 27.005 3.4.1) as numbers; a profile may give fewer.
using CnmiValues = QList<int>;

CnmiValues cnmiValues(const QByteArray &setting);
QByteArray cnmiText(const CnmiValues &values);
// Direct routing of messages (<mt> 2 or 3) or of status reports (<ds> 1): what is routed to a
// port nobody reads is gone unless the modem waits for +CNMA.
bool cnmiRoutes(const CnmiValues &values);

enum class CnmiPurpose {
    Live,    // receive mode 2: items signalled as they arrive
    Stored,  // receive mode 0: items stay on the storage
    Closing, // the connection ends: the modem must store whatever comes
};

// The setting the modem offers that comes closest to `wanted` for the purpose. For Live, when
// the modem cannot be made to wait for acknowledgements (`acknowledged` false), direct routing
// gives way to store-and-indicate (<mt> 1, <ds> 2) where the modem has it. For Closing, <mt> 1
// (or 0) and <ds> 2 (or 0) whatever was wanted. Each parameter falls back along the order of
// preference of its purpose; one the modem did not describe keeps the wanted value.
CnmiValues closestCnmi(const CnmiValues &wanted, const TestRanges &support, CnmiPurpose purpose,
                       bool acknowledged = true);

} // namespace pellix
