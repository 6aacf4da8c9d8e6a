// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandinterpreter.h"
#include "virtualmodem_p.h"

#include "callcontrol.h"
#include "modemidentity.h"

namespace pellix::sim {

using detail::isDialString;

CommandInterpreter::Outcome CommandInterpreter::basicE(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0" && c.argument != "1")
        return Outcome{Outcome::Error};
    m_settings.echo = c.argument == "1";
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::basicV(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0" && c.argument != "1")
        return Outcome{Outcome::Error};
    m_settings.verbose = c.argument == "1";
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::basicQ(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0" && c.argument != "1")
        return Outcome{Outcome::Error};
    m_settings.quiet = c.argument == "1";
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::basicZ(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0")
        return Outcome{Outcome::Error};
    m_rooms.calls.hangUp(QStringLiteral("reset"));
    reset();
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::basicI(const AtCommand &)
{
    m_info << QByteArray(ModemIdentity::Manufacturer) + ' ' + ModemIdentity::Model + " virtual GSM modem" << "Revision: " + QByteArray(ModemIdentity::Revision);
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::basicAccepted(const AtCommand &)
{
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::basicS(const AtCommand &c)
{
    const int number = c.name.mid(1).toInt();
    if (number > 255)
        return Outcome{Outcome::Error};
    if (c.form == AtCommand::Form::Read) {
        // V.250 6.1.1: the value in three decimal digits.
        m_info << QByteArray::number(m_settings.reg(number)).rightJustified(3, '0');
        return Outcome{};
    }
    bool ok = false;
    const int value = c.argument.isEmpty() ? 0 : c.argument.toInt(&ok);
    if ((!ok && !c.argument.isEmpty()) || value > 255)
        return Outcome{Outcome::Error};
    // A line terminator, line feed or backspace of 0 would leave the line unusable.
    if ((number == 3 || number == 4 || number == 5) && value == 0)
        return Outcome{Outcome::Error};
    m_settings.registers[number] = value;
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::basicA(const AtCommand &)
{
    return m_rooms.calls.answer() ? Outcome{} : Outcome{Outcome::NoCarrier};
}

CommandInterpreter::Outcome CommandInterpreter::basicD(const AtCommand &c)
{
    QString number = QString::fromLatin1(c.argument).remove(QLatin1Char(' '));
    // Only voice calls (27.007 6.2: a trailing ';'); data calls find no carrier.
    if (!number.endsWith(QLatin1Char(';')))
        return Outcome{Outcome::NoCarrier};
    number.chop(1);
    if (number.isEmpty() || !isDialString(number))
        return Outcome{Outcome::Error};
    if (!reachable())
        return Outcome{Outcome::NoCarrier};
    if (m_rooms.calls.inCall())
        return Outcome{Outcome::Cme, 3};
    if (m_rooms.network.isOwnNumber(number))
        return Outcome{Outcome::Busy};
    m_rooms.calls.dial(number);
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::basicH(const AtCommand &c)
{
    if (c.argument != "" && c.argument != "0")
        return Outcome{Outcome::Error};
    m_rooms.calls.hangUp(QStringLiteral("hung up by the client"));
    return Outcome{};
}

} // namespace pellix::sim
