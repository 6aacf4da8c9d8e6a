// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "hexdigits.h"
#include "virtualnetwork.h"

#include <QByteArray>
#include <QString>

#include <algorithm>

// The answer-building helpers that the files of VirtualModem share.
namespace pellix::sim::detail {

inline QByteArray num(qint64 value)
{
    return QByteArray::number(value);
}

inline QByteArray quote(const QByteArray &text)
{
    return '"' + text + '"';
}

inline int addressType(const QString &number)
{
    return number.startsWith(QLatin1Char('+')) ? 145 : 129;
}

// <oper> of 27.007 7.3 in its formats: 0 long alphanumeric, 1 short alphanumeric, 2 numeric.
inline const QByteArray OperatorNames[3] = {QByteArray(VirtualNetwork::OperatorName), "Pellix", "00101"};

// Digits (and the dialling characters of 27.007 8.14) with an optional leading "+".
inline bool isDialString(const QString &number)
{
    for (int i = 0; i < number.size(); ++i) {
        const QChar c = number.at(i);
        if (c == QLatin1Char('+') && i == 0)
            continue;
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!digit && c != QLatin1Char('*') && c != QLatin1Char('#') && c.toLower() != QLatin1Char('p')
            && c.toLower() != QLatin1Char('w'))
            return false;
    }
    return true;
}

inline int digitCount(const QString &number)
{
    return int(number.startsWith(QLatin1Char('+')) ? number.size() - 1 : number.size());
}

} // namespace pellix::sim::detail
