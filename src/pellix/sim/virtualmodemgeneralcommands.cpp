// SPDX-License-Identifier: GPL-3.0-or-later
#include "virtualmodem.h"
#include "virtualmodem_p.h"

namespace pellix::sim {

using detail::addressType;
using detail::digitCount;
using detail::isDialString;
using detail::num;
using detail::OperatorNames;
using detail::quote;
using detail::registrationState;

VirtualModem::Outcome VirtualModem::cmee(const AtCommand &c)
{
    return numericSetting(c, "+CMEE", 2, m_settings.cmee);
}

VirtualModem::Outcome VirtualModem::identity(const AtCommand &c)
{
    // 27.007 5.1-5.4: the bare value, no prefix.
    const QByteArray name = c.name.mid(c.name.startsWith("+CG") ? 3 : 2);
    if (name == "MI")
        m_info << Manufacturer;
    else if (name == "MM")
        m_info << Model;
    else if (name == "MR")
        m_info << Revision;
    else
        m_info << Imei;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cimi(const AtCommand &)
{
    m_info << Imsi;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cpin(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        const VirtualSim::Lock lock = m_sim.lock();
        m_info << QByteArray("+CPIN: ")
                + (lock == VirtualSim::Lock::Ready ? "READY" : lock == VirtualSim::Lock::Pin ? "SIM PIN" : "SIM PUK");
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    if (!args || !args->present(0) || args->count() > 2)
        return Outcome{Outcome::Error};
    VirtualSim::PinResult result;
    if (m_sim.lock() == VirtualSim::Lock::Puk) {
        if (!args->present(1))
            return Outcome{Outcome::Cme, 12};
        result = m_sim.enterPuk(QString::fromLatin1(args->text(0)), QString::fromLatin1(args->text(1)));
    } else {
        result = m_sim.enterPin(QString::fromLatin1(args->text(0)));
    }
    if (result == VirtualSim::PinResult::NotExpected)
        return Outcome{Outcome::Cme, 3};
    if (result == VirtualSim::PinResult::Wrong) {
        note(QStringLiteral("wrong PIN/PUK, %1 attempts left").arg(m_sim.attemptsLeft()));
        return Outcome{Outcome::Cme, 16};
    }
    note(QStringLiteral("SIM unlocked"));
    // Modules start their message and phonebook stacks only once the SIM is open.
    if (m_options.field.simBusySeconds > 0)
        m_simBusy.start(false);
    updateRegistration();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cfun(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CFUN: " + num(m_functionality);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto fun = args ? args->integer(0, 0, 4) : std::nullopt;
    const auto restart = args ? args->integerOr(1, 0, 1, 0) : std::nullopt;
    if (!fun || !restart || *fun == 2 || *fun == 3 || args->count() > 2)
        return Outcome{Outcome::Error};
    if (*restart == 1) {
        m_calls.hangUp(QStringLiteral("restart"));
        reset();
    }
    m_functionality = *fun;
    updateRegistration();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cscs(const AtCommand &c)
{
    // The sets this modem offers (--charsets): modems without UCS2, or with GSM alone, exist.
    const QList<QByteArray> offered = m_options.field.charsets.split(',');
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

VirtualModem::Outcome VirtualModem::csca(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CSCA: " + quote(m_centre.address().toLatin1()) + ',' + num(addressType(m_centre.address()));
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
    m_centre.setAddress(number);
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::creg(const AtCommand &c)
{
    return registration(c, "+CREG", m_settings.creg);
}

// Packet-domain registration (27.007 10.1.20) follows the circuit one: one network, one cell.
VirtualModem::Outcome VirtualModem::cgreg(const AtCommand &c)
{
    return registration(c, "+CGREG", m_settings.cgreg);
}

VirtualModem::Outcome VirtualModem::cgatt(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        m_info << "+CGATT: " + num(m_attached && m_registered ? 1 : 0);
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const auto state = args ? args->integer(0, 0, 1) : std::nullopt;
    if (!state || args->count() > 1)
        return Outcome{Outcome::Error};
    if (*state == 1 && !m_registered)
        return Outcome{Outcome::Cme, 30};
    m_attached = *state == 1;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::registration(const AtCommand &c, const QByteArray &prefix, int &presentation)
{
    if (c.form != AtCommand::Form::Read)
        return numericSetting(c, prefix, 2, presentation);
    m_info << prefix + ": " + num(presentation) + ',' + registrationState(presentation, m_registered);
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::numericSetting(const AtCommand &c, const QByteArray &prefix, int high, int &value,
                                                   const QByteArray &readTail)
{
    switch (c.form) {
    case AtCommand::Form::Test:
        m_info << prefix + ": " + (high == 1 ? QByteArray("(0,1)") : "(0-" + num(high) + ')');
        return Outcome{};
    case AtCommand::Form::Read:
        m_info << prefix + ": " + num(value) + readTail;
        return Outcome{};
    case AtCommand::Form::Set: {
        const auto args = AtArguments::parse(c.argument);
        const auto n = args ? args->integerOr(0, 0, high, 0) : std::nullopt;
        if (!n || args->count() > 1)
            return Outcome{Outcome::Error};
        value = *n;
        return Outcome{};
    }
    case AtCommand::Form::Action:
        break;
    }
    return Outcome{Outcome::Error};
}

VirtualModem::Outcome VirtualModem::csq(const AtCommand &)
{
    // The walk runs on whether or not the radio is on, so turning it off does not shift it.
    const VirtualNetwork::Signal signal = m_network.signalAt(nowMs());
    if (m_functionality != 1)
        m_info << "+CSQ: 99,99";
    else
        m_info << "+CSQ: " + num(signal.rssi) + ',' + num(signal.ber);
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cops(const AtCommand &c)
{
    if (c.form == AtCommand::Form::Read) {
        if (m_registered)
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

VirtualModem::Outcome VirtualModem::clip(const AtCommand &c)
{
    // <m> 1: the network provides the caller's number.
    return numericSetting(c, "+CLIP", 1, m_settings.clip, ",1");
}

VirtualModem::Outcome VirtualModem::crc(const AtCommand &c)
{
    return numericSetting(c, "+CRC", 1, m_settings.crc);
}

VirtualModem::Outcome VirtualModem::cusd(const AtCommand &c)
{
    if (c.form != AtCommand::Form::Set)
        return numericSetting(c, "+CUSD", 2, m_settings.cusd);
    const auto args = AtArguments::parse(c.argument);
    const auto n = args ? args->integerOr(0, 0, 2, 0) : std::nullopt;
    const auto dcs = args ? args->integerOr(2, 0, 255, 15) : std::nullopt;
    if (!n || !dcs || args->count() > 3)
        return Outcome{Outcome::Error};
    if (*n == 2)
        return Outcome{};  // no session stays open, so there is nothing to cancel
    m_settings.cusd = *n;
    if (!args->present(1))
        return Outcome{};
    const auto request = fromCharset(args->text(1));
    if (!request)
        return Outcome{Outcome::Cme, 25};
    if (!reachable())
        return Outcome{Outcome::Cme, 30};
    const QString text = *request;
    note(QStringLiteral("USSD request %1").arg(text));
    schedule(VirtualNetwork::UssdDelayMs, [this, text] { answerUssd(text); });
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::chup(const AtCommand &)
{
    m_calls.hangUp(QStringLiteral("hung up by the client"));
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::clcc(const AtCommand &)
{
    if (const auto line = m_calls.listing())
        m_info << *line;
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cbc(const AtCommand &)
{
    m_info << "+CBC: 0," + num(m_network.batteryAt(nowMs()));
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cclk(const AtCommand &c)
{
    // 27.007 8.15: "yy/MM/dd,hh:mm:ss±zz", the zone in quarter hours.
    if (c.form == AtCommand::Form::Read) {
        QDateTime now = m_clock->wallTime(nowMs()).addSecs(m_clockOffsetSecs);
        if (m_clockZoneSecs)
            now = now.toOffsetFromUtc(*m_clockZoneSecs);
        const int quarters = now.offsetFromUtc() / 900;
        m_info << "+CCLK: \"" + now.toString(QStringLiteral("yy/MM/dd,hh:mm:ss")).toLatin1()
                + (quarters < 0 ? '-' : '+') + QByteArray::number(qAbs(quarters)).rightJustified(2, '0') + '"';
        return Outcome{};
    }
    const auto args = AtArguments::parse(c.argument);
    const QByteArray text = args && args->count() == 1 ? args->text(0) : QByteArray();
    if (text.size() != 20 || (text.at(17) != '+' && text.at(17) != '-'))
        return Outcome{Outcome::Error};
    bool ok = false;
    const int quarters = text.mid(18).toInt(&ok);
    QDateTime set = QDateTime::fromString(QString::fromLatin1(text.left(17)), QStringLiteral("yy/MM/dd,hh:mm:ss"));
    if (!ok || !set.isValid() || quarters > 56)
        return Outcome{Outcome::Error};
    // Two-digit years are this century's.
    set = QDateTime(set.date().addYears(set.date().year() < 2000 ? 100 : 0), set.time(), Qt::OffsetFromUTC,
                    (text.at(17) == '-' ? -quarters : quarters) * 900);
    m_clockOffsetSecs = m_clock->wallTime(nowMs()).secsTo(set);
    m_clockZoneSecs = set.offsetFromUtc();
    return Outcome{};
}

VirtualModem::Outcome VirtualModem::cnum(const AtCommand &)
{
    m_info << "+CNUM: " + quote(toCharset(QStringLiteral("Own number"))) + ','
            + quote(QByteArray(VirtualNetwork::OwnNumber)) + ",145";
    return Outcome{};
}

} // namespace pellix::sim
