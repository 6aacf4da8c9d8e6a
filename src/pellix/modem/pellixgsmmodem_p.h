// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pellixgsmmodem.h"

#include "pdu/smspdu.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What the files of PellixGsmModem share and nothing outside them needs.
namespace pellix {
namespace detail {

inline QByteArray num(int value)
{
    return QByteArray::number(value);
}

inline int numberType(const QString &number)
{
    return number.startsWith(QLatin1Char('+')) ? 145 : 129;
}

// Dial strings of 27.007 6.1: digits, "+" first, * and #. Anything else would either be refused by
// the modem with a less helpful error or, for '"', break the command line.
void checkDialString(const QString &number);

// A stored or routed PDU that does not decode is still handed over, as its raw octets in an 8-bit
// message, so that the operator sees it; it is never deleted.
ReceivedMessage undecodable(const QByteArray &hex, int location, bool isNew);

// A stored or routed PDU, decoded as far as it goes.
struct DecodedItem
{
    std::optional<pdu::PduType> type;  // none: not even the message type could be read
    std::optional<ReceivedMessage> message;
    std::optional<SmsStatusReport> report;
    QString error;                     // why it did not decode
};

DecodedItem decodeItem(const QByteArray &hex, int location, bool isNew);

} // namespace detail

// Brackets every public operation: events found meanwhile are delivered once the outermost
// operation has returned to the event loop, never from inside it.
class PellixGsmModem::Operation
{
public:
    explicit Operation(PellixGsmModem &modem) : m_modem(modem) { ++m_modem.m_depth; }
    ~Operation()
    {
        if (--m_modem.m_depth == 0 && m_modem.m_channel)
            m_modem.absorbUnsolicited();
    }
    Operation(const Operation &) = delete;
    Operation &operator=(const Operation &) = delete;

private:
    PellixGsmModem &m_modem;
};

} // namespace pellix
