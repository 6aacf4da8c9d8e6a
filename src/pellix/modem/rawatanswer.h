// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pellix {

// The answer to a typed command line (PellixGsmModem::rawCommand).
struct RawAtAnswer
{
    QList<QByteArray> lines;   // information lines, as the modem sent them (echo left out)
    QByteArray finalLine;      // "OK", "ERROR", "+CME ERROR: 10", ...
    bool ok = false;
    // Not OK: the library error the same final code raises for the library's own commands
    // (ModemAnsweredError, 1000 + n for +CME ERROR, 2000 + n for +CMS ERROR), as the raised
    // number and its description.
    qint32 errorNumber = 0;
    QString errorText;
};

} // namespace pellix
