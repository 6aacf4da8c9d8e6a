// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandinterpreter.h"
#include "virtualmodem_p.h"

#include "callcontrol.h"
#include "charsetcodec.h"
#include "messagecentre.h"
#include "modemidentity.h"
#include "modemoutput.h"
#include "moduleclock.h"
#include "networkregistration.h"
#include "simbusy.h"
#include "virtualclock.h"
#include "fieldbehaviour.h"

#include <QRegularExpression>

namespace pellix::sim {

using detail::addressType;
using detail::digitCount;
using detail::isDialString;
using detail::num;
using detail::OperatorNames;
using detail::quote;

CommandInterpreter::Outcome CommandInterpreter::cmee(const AtCommand &c)
{
    return numericSetting(c, "+CMEE", 2, m_settings.cmee);
}

CommandInterpreter::Outcome CommandInterpreter::identity(const AtCommand &c)
{
    // 27.007 5.1-5.4: the bare value, no prefix.
    const QByteArray name = c.name.mid(c.name.startsWith("+CG") ? 3 : 2);
    if (name == "MI")
        m_info << ModemIdentity::Manufacturer;
    else if (name == "MM")
        m_info << ModemIdentity::Model;
    else if (name == "MR")
        m_info << ModemIdentity::Revision;
    else
        m_info << (m_rooms.field.imei.isEmpty() ? QByteArray(ModemIdentity::Imei) : m_rooms.field.imei);
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cimi(const AtCommand &)
{
    m_info << ModemIdentity::Imsi;
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::ccid(const AtCommand &c)
{
    m_info << (c.name == "+ICCID" ? "+ICCID: " : "+CCID: ") + QByteArray(ModemIdentity::Iccid);
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cpinr(const AtCommand &c)
{
    // 27.007 8.65: +CPINR: <code>,<retries>,<default retries>, for the codes the selection
    // matches ('*' and '?' wildcards); the SIM has no PIN2 this modem knows of.
    QString selection = QStringLiteral("*");
    if (c.form == AtCommand::Form::Set) {
        const auto args = AtArguments::parse(c.argument);
        if (!args || args->count() != 1 || !args->present(0))
            return Outcome{Outcome::Error};
        selection = QString::fromLatin1(args->text(0));
    }
    QString pattern;
    for (const QChar ch : selection)
        pattern += ch == QLatin1Char('*') ? QStringLiteral(".*") : ch == QLatin1Char('?') ? QStringLiteral(".")
                                                                                    : QRegularExpression::escape(QString(ch));
    const QRegularExpression match(QRegularExpression::anchoredPattern(pattern), QRegularExpression::CaseInsensitiveOption);
    const struct { QByteArray code; int left; int full; } codes[] = {
        {"SIM PIN", m_rooms.sim.attemptsLeft(), VirtualSim::PinAttempts},
        {"SIM PUK", m_rooms.sim.pukAttemptsLeft(), VirtualSim::PukAttempts},
    };
    for (const auto &code : codes) {
        if (match.match(QString::fromLatin1(code.code)).hasMatch())
            m_info << "+CPINR: " + quote(code.code) + ',' + num(code.left) + ',' + num(code.full);
    }
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cpin(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        const VirtualSim::Lock lock = m_rooms.sim.lock();
        m_info << QByteArray("+CPIN: ")
                + (lock == VirtualSim::Lock::Ready ? "READY" : lock == VirtualSim::Lock::Pin ? "SIM PIN" : "SIM PUK");
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    VirtualSim::PinResult result;
    if (m_rooms.sim.lock() == VirtualSim::Lock::Puk) {
        if (!args->present(1))
            return Outcome{Outcome::Cme, 12};
        result = m_rooms.sim.enterPuk(QString::fromLatin1(args->text(0)), QString::fromLatin1(args->text(1)));
    } else {
        result = m_rooms.sim.enterPin(QString::fromLatin1(args->text(0)));
    }
    if (result == VirtualSim::PinResult::NotExpected)
        return Outcome{Outcome::Cme, 3};
    if (result == VirtualSim::PinResult::Wrong) {
        note(QStringLiteral("wrong PIN/PUK, %1 attempts left").arg(m_rooms.sim.attemptsLeft()));
        return Outcome{Outcome::Cme, 16};
    }
    note(QStringLiteral("SIM unlocked"));
    // Modules start their message and phonebook stacks only once the SIM is open.
    if (m_rooms.field.simBusySeconds > 0)
        m_rooms.simBusy.start(false);
    m_rooms.registration.update();
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cfun(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CFUN: " + num(m_rooms.registration.functionality());
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto fun = args ? args->integer(0, 0, 4) : std::nullopt;
    const auto restart = args ? args->integerOr(1, 0, 1, 0) : std::nullopt;
    if (!fun || !restart || *fun == 2 || *fun == 3 || args->count() > 2)
        return Outcome{Outcome::Error};
    if (*restart == 1) {
        m_rooms.calls.hangUp(QStringLiteral("restart"));
        reset();
    }
    m_rooms.registration.setFunctionality(*fun);
    m_rooms.registration.update();
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cscs(const AtCommand &c)
{
    // The sets this modem offers (--charsets): modems without UCS2, or with GSM alone, exist.
    const QList<QByteArray> offered = m_rooms.field.charsets.split(',');
    if (c.form == AtCommand::Form::Test) {
        QByteArrayList quoted;
        for (const QByteArray &set : offered)
            quoted << quote(set);
        m_info << "+CSCS: (" + quoted.join(',') + ')';
        return Outcome{};
    }
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CSCS: " + quote(m_settings.charset);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const QByteArray set = args ? args->text(0).toUpper() : QByteArray();
    if (!args || args->count() != 1 || !offered.contains(set))
        return Outcome{Outcome::Error};
    m_settings.charset = set;
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::csca(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        // An empty address still says a type, as modems do: "",129.
        m_info << "+CSCA: " + quote(m_rooms.centre.address().toLatin1()) + ',' + num(addressType(m_rooms.centre.address()));
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    QString number = QString::fromLatin1(args->text(0));
    const auto type = args->integerOr(1, 128, 255, addressType(number));
    if (!type || number.isEmpty() || !isDialString(number) || digitCount(number) > VirtualSim::NumberLength)
        return Outcome{Outcome::Error};
    if (*type == 145 && !number.startsWith(QLatin1Char('+')))
        number.prepend(QLatin1Char('+'));
    m_rooms.centre.setAddress(number);
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::creg(const AtCommand &c)
{
    return registration(c, "+CREG", m_settings.creg);
}

// Packet-domain registration (27.007 10.1.20) follows the circuit one: one network, one cell.
CommandInterpreter::Outcome CommandInterpreter::cgreg(const AtCommand &c)
{
    return registration(c, "+CGREG", m_settings.cgreg);
}

// EPS registration (27.007 10.1.22): the same cell, seen as E-UTRAN.
CommandInterpreter::Outcome CommandInterpreter::cereg(const AtCommand &c)
{
    return registration(c, "+CEREG", m_settings.cereg);
}

CommandInterpreter::Outcome CommandInterpreter::cgatt(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CGATT: " + num(m_rooms.registration.attached() ? 1 : 0);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto state = args ? args->integer(0, 0, 1) : std::nullopt;
    if (!state || args->count() > 1)
        return Outcome{Outcome::Error};
    if (!m_rooms.registration.setAttached(*state == 1))
        return Outcome{Outcome::Cme, 30};
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::registration(const AtCommand &c, const QByteArray &prefix, int &presentation)
{
    if (c.form != AtCommand::Form::Read)
        return numericSetting(c, prefix, 2, presentation);
    m_info << m_rooms.registration.answer(prefix, presentation, false);
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::csq(const AtCommand &)
{
    // The walk runs on whether or not the radio is on, so turning it off does not shift it.
    const VirtualNetwork::Signal signal = m_rooms.network.signalAt(nowMs());
    if (m_rooms.registration.functionality() != 1)
        m_info << "+CSQ: 99,99";
    else
        m_info << "+CSQ: " + num(signal.rssi) + ',' + num(signal.ber);
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cops(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        if (m_rooms.registration.registered())
            m_info << "+COPS: 0," + num(m_settings.copsFormat) + ',' + quote(OperatorNames[m_settings.copsFormat]);
        else
            m_info << "+COPS: 0";
        return Outcome{};
    }
    // 27.007 7.3: mode 3 sets the format only; any other choice ends on the one network there is.
    const auto args = AtArguments::parse(c.argument);
    const auto mode = args ? args->integer(0, 0, 4) : std::nullopt;
    const auto format = args ? args->integerOr(1, 0, 2, m_settings.copsFormat) : std::nullopt;
    if (!mode || !format || args->count() > 4)
        return Outcome{Outcome::Error};
    if (*mode == 1 || *mode == 4) {
        const QByteArray wanted = args->text(2);
        if (args->present(2) && wanted != OperatorNames[*format])
            return *mode == 1 ? Outcome{Outcome::Cme, 32} : Outcome{};
    }
    m_settings.copsFormat = *format;
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::clip(const AtCommand &c)
{
    // <m> 1: the network provides the caller's number.
    return numericSetting(c, "+CLIP", 1, m_settings.clip, ",1");
}

CommandInterpreter::Outcome CommandInterpreter::crc(const AtCommand &c)
{
    return numericSetting(c, "+CRC", 1, m_settings.crc);
}

CommandInterpreter::Outcome CommandInterpreter::chup(const AtCommand &)
{
    m_rooms.calls.hangUp(QStringLiteral("hung up by the client"));
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::clcc(const AtCommand &)
{
    if (const auto line = m_rooms.calls.listing())
        m_info << *line;
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cbc(const AtCommand &)
{
    m_info << "+CBC: 0," + num(m_rooms.network.batteryAt(nowMs()));
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cclk(const AtCommand &c)
{
    // 27.007 8.15: the module's clock, set apart from the network's time.
    const QDateTime networkTime = m_rooms.clock.wallTime(nowMs());
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CCLK: " + m_rooms.moduleClock.read(networkTime);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const QByteArray text = args && args->count() == 1 ? args->text(0) : QByteArray();
    if (!m_rooms.moduleClock.set(text, networkTime))
        return Outcome{Outcome::Error};
    return Outcome{};
}

CommandInterpreter::Outcome CommandInterpreter::cnum(const AtCommand &)
{
    // A SIM without an MSISDN (most prepaid ones): no line at all, only OK.
    if (m_rooms.field.noCnum)
        return Outcome{};
    const QString &own = m_rooms.network.ownNumber();
    m_info << "+CNUM: " + quote(toCharset(QStringLiteral("Own number"))) + ',' + quote(own.toLatin1()) + ','
            + num(addressType(own));
    return Outcome{};
}

} // namespace pellix::sim
