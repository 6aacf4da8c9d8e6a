// SPDX-License-Identifier: GPL-3.0-or-later
#include "modemreference.h"

#include "modutils.h"
#include "raisederror.h"

ModemReference::ModemReference(std::function<GsmModem *()> current)
    : m_current(std::move(current))
{
}

GsmModem *ModemReference::get() const
{
    return m_current ? m_current() : nullptr;
}

GsmModem &ModemReference::operator*() const
{
    GsmModem *modem = get();
    if (!modem)
        throw RaisedError(91, QString::fromLatin1(ModUtils::ErrorSource), QStringLiteral("Object variable not set"));
    return *modem;
}
