// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The main window's variables that persist between runs, each named after its key in the store.
// Booleans are 16-bit integers, -1 true and 0 false; any non-zero value counts as true. Until the
// settings are loaded the numbers hold 0 and the texts are empty.
struct VendrelSettings
{
    qint32 ModemType = 0;
    qint16 CommPort = 0;
    qint16 CheckGSMSignal = 0;
    qint16 AutoReceive = 0;
    qint16 AutoDelete = 0;
    QString RecentPhones;
    QString MessageText;
    qint16 StatusReport = 0;
};
