// SPDX-License-Identifier: GPL-3.0-or-later
#include "raisederror.h"

#include <utility>

RaisedError::RaisedError(qint32 number, QString source, QString description)
    : m_number(number)
    , m_source(std::move(source))
    , m_description(std::move(description))
    , m_what(QStringLiteral("Error %1 from %2: %3").arg(number).arg(m_source, m_description).toUtf8())
{
}
